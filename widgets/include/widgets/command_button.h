// A command button: clicked with the mouse, with Space, or with Enter while it
// has the focus. It is never the window's default button, so Enter with the
// focus elsewhere clicks nothing.
#pragma once

#include <QPushButton>

namespace zindrel {

class CommandButton : public QPushButton {
  Q_OBJECT
 public:
  explicit CommandButton(const QString& caption, QWidget* parent = nullptr);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace zindrel
