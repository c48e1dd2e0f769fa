#include "widgets/command_button.h"

#include <QKeyEvent>

namespace zindrel {

CommandButton::CommandButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {
  // Qt lets only auto-default buttons take Enter, and draws them as default
  // buttons while they have the focus; this button takes Enter by itself.
  setAutoDefault(false);
  setDefault(false);
}

void CommandButton::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  const Qt::KeyboardModifiers others = event->modifiers() & ~Qt::KeypadModifier;
  if (enter && others == Qt::NoModifier) {
    event->accept();
    // One click per press: a held key does not start one run after another.
    if (!event->isAutoRepeat()) click();
    return;
  }
  QPushButton::keyPressEvent(event);
}

}  // namespace zindrel
