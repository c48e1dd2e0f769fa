#include "widgets/scroll_bar.h"

#include <QKeyEvent>
#include <QPainter>

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
  // Qt's scroll bars take no focus; this one is a tab stop of the window.
  setFocusPolicy(Qt::StrongFocus);
  connect(this, &QAbstractSlider::valueChanged, this, [this] { emit Change(); });
}

void ChangeScrollBar::keyPressEvent(QKeyEvent* event) {
  // Qt's own keys run a horizontal scroll bar backwards (Right lowers the
  // value, its controls being inverted for the wheel). These are the keys of
  // a horizontal scroll bar, the same in either reading direction; each goes
  // through triggerAction, like a click on an arrow or in the trough.
  SliderAction action = SliderNoAction;
  if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
    switch (event->key()) {
      case Qt::Key_Left:
      case Qt::Key_Up: action = SliderSingleStepSub; break;
      case Qt::Key_Right:
      case Qt::Key_Down: action = SliderSingleStepAdd; break;
      case Qt::Key_PageUp: action = SliderPageStepSub; break;
      case Qt::Key_PageDown: action = SliderPageStepAdd; break;
      case Qt::Key_Home: action = SliderToMinimum; break;
      case Qt::Key_End: action = SliderToMaximum; break;
      default: break;
    }
  }
  if (action == SliderNoAction) {
    event->ignore();
    return;
  }
  event->accept();
  triggerAction(action);
}

void ChangeScrollBar::paintEvent(QPaintEvent* event) {
  QScrollBar::paintEvent(event);
  if (!hasFocus()) return;
  // Qt's styles show no focus on a scroll bar. A keyboard user has to see
  // where the keys go, so the focused bar gets a frame in the highlight
  // colour, as a focused button does (a thumb can be a few pixels wide).
  QPainter painter(this);
  painter.setPen(QPen(palette().color(QPalette::Highlight), 1));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace zindrel
