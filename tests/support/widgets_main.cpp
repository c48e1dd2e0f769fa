// The one QApplication a widget test process needs, on the offscreen
// platform unless a display is asked for.
#include <gtest/gtest.h>
#include <QApplication>

int main(int argc, char** argv) {
  // Real widgets on the offscreen platform unless a display is asked for.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
