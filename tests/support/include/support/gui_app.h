// The one GUI application object a test process needs for fonts, painting
// and widgets: made on first use, on the offscreen platform unless the
// environment names another, and kept for the whole run.
#pragma once

#include <QGuiApplication>

namespace zindrel::testing {

// A QGuiApplication (fonts and painting), unless an application exists.
inline void EnsureGuiApp() {
  if (QCoreApplication::instance()) return;
  static int argc = 1;
  static char name[] = "zindrel_tests";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  new QGuiApplication(argc, argv);
}

}  // namespace zindrel::testing
