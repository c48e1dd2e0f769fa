#include "widgets/scroll_bar.h"

namespace zindrel {

ChangeScrollBar::ChangeScrollBar(int min, int max, int value, int smallStep, int largeStep, QWidget* parent)
    : QScrollBar(Qt::Horizontal, parent) {
  setRange(min, max);
  setSingleStep(smallStep);
  setPageStep(largeStep);
  setValue(value);
  // Without tracking, a drag moves only the thumb; the value (and with it
  // valueChanged) follows on release. Clicks on the arrows and the trough
  // and every program-made change still change the value at once.
  setTracking(false);
  connect(this, &QAbstractSlider::valueChanged, this, [this] { emit Change(); });
}

}  // namespace zindrel
