// zindrel: the desktop program. It takes no command line.
#include <QApplication>

#include "window/form1.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("zindrel"));
  // No display name: Qt would add it to every window title, and the open
  // dialog would read "Open Pictures — Zindrel".
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/zindrel/zindrel.png")));
  zindrel::Form1 form;
  if (!zindrel::StartForm(form)) return 1;
  return QApplication::exec();
}
