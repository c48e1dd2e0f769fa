// A horizontal scroll bar with the Change event of the window's logic:
// Change fires whenever Value changes (by the user, by the program, or when
// a new Min or Max moves it into range), but not while the thumb is being
// dragged; a drag reports its end value once, on release.
//
// The bar takes the focus by Tab and by a click. With the focus, the arrow
// keys move it by its small step (Left and Up down, Right and Down up),
// Page Up and Page Down by its large step, Home and End to Min and Max;
// every such move fires Change like a click.
#pragma once

#include <QScrollBar>
#include <cstdint>

namespace zindrel {

class ChangeScrollBar : public QScrollBar {
  Q_OBJECT
 public:
  ChangeScrollBar(int min, int max, int value, int smallStep, int largeStep, QWidget* parent = nullptr);

  int16_t Value() const { return static_cast<int16_t>(value()); }
  void SetValue(int16_t v) { setValue(v); }
  // A new bound; when the current value falls outside, it moves into range
  // and Change fires. A maximum below the minimum lowers the minimum with it
  // (the value then equals the new maximum).
  void SetMin(int16_t v) { setMinimum(v); }
  void SetMax(int16_t v) { setMaximum(v); }

 signals:
  void Change();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace zindrel
