#include "widgets/twips.h"

#include <QWidget>
#include <algorithm>
#include <cmath>

namespace zindrel {

namespace {
constexpr double kTwipsPerInch = 1440.0;

double Dpi(int dpi) { return dpi > 0 ? dpi : 96; }
}  // namespace

double TwipsPerPixelX(const QWidget* widget) { return kTwipsPerInch / Dpi(widget->logicalDpiX()); }
double TwipsPerPixelY(const QWidget* widget) { return kTwipsPerInch / Dpi(widget->logicalDpiY()); }

int TwipsToPixelsX(const QWidget* widget, double twips) {
  return static_cast<int>(std::lround(twips / TwipsPerPixelX(widget)));
}
int TwipsToPixelsY(const QWidget* widget, double twips) {
  return static_cast<int>(std::lround(twips / TwipsPerPixelY(widget)));
}
double PixelsToTwipsX(const QWidget* widget, int pixels) { return pixels * TwipsPerPixelX(widget); }
double PixelsToTwipsY(const QWidget* widget, int pixels) { return pixels * TwipsPerPixelY(widget); }

TwipsBox::TwipsBox(QWidget* widget, float left, float top, float width, float height)
    : widget_(widget), left_(left), top_(top), width_(width), height_(height) {
  Apply();
}

void TwipsBox::SetLeft(float v) {
  left_ = v;
  Apply();
}
void TwipsBox::SetTop(float v) {
  top_ = v;
  Apply();
}
void TwipsBox::SetWidth(float v) {
  width_ = v;
  Apply();
}
void TwipsBox::SetHeight(float v) {
  height_ = v;
  Apply();
}

QRect TwipsBox::PixelRect() const {
  if (!widget_) return {};
  // Edges are rounded rather than sizes, so neighbours that touch in twips
  // touch in pixels too.
  const int x0 = TwipsToPixelsX(widget_, left_), y0 = TwipsToPixelsY(widget_, top_);
  const int x1 = TwipsToPixelsX(widget_, double{left_} + width_);
  const int y1 = TwipsToPixelsY(widget_, double{top_} + height_);
  return QRect(x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0));
}

void TwipsBox::Apply() {
  if (widget_) widget_->setGeometry(PixelRect());
}

}  // namespace zindrel
