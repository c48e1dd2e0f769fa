// Positions and sizes of window controls are kept in twips (1/1440 inch) and
// turned into pixels at the screen's logical DPI: 15 twips per pixel at 96 dpi.
#pragma once

#include <QRect>

class QWidget;

namespace zindrel {

// Twips per pixel for a widget's screen (horizontal and vertical).
double TwipsPerPixelX(const QWidget* widget);
double TwipsPerPixelY(const QWidget* widget);

int TwipsToPixelsX(const QWidget* widget, double twips);
int TwipsToPixelsY(const QWidget* widget, double twips);
double PixelsToTwipsX(const QWidget* widget, int pixels);
double PixelsToTwipsY(const QWidget* widget, int pixels);

// A control's Left, Top, Width and Height in twips, as 32-bit floats, in its
// parent's client area. Every change moves the widget at once.
class TwipsBox {
 public:
  TwipsBox() = default;
  TwipsBox(QWidget* widget, float left, float top, float width, float height);

  float Left() const { return left_; }
  float Top() const { return top_; }
  float Width() const { return width_; }
  float Height() const { return height_; }
  void SetLeft(float v);
  void SetTop(float v);
  void SetWidth(float v);
  void SetHeight(float v);

  // Places the widget again (for instance after a change of screen).
  void Apply();
  // The pixel rectangle the twips map to.
  QRect PixelRect() const;

 private:
  QWidget* widget_ = nullptr;
  float left_ = 0, top_ = 0, width_ = 0, height_ = 0;
};

}  // namespace zindrel
