// zindrel-screenshot: shows the window, loads a picture through the Load
// Picture button, converts it and saves a picture of the window. Used to
// make the screenshot in the documentation.
//   zindrel-screenshot OUTPUT.png [PICTURE] [CELLSIZE]
#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

#include "window/form1.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: zindrel-screenshot OUTPUT.png [PICTURE] [CELLSIZE]\n");
    return 2;
  }
  const QString output = QString::fromLocal8Bit(argv[1]);
  const QString picture = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
  zindrel::FormOptions options;
  options.asker = [&](QWidget*, const QString&, const QString&, const QString& start) -> std::optional<QString> {
    return picture.isEmpty() ? start : picture;
  };
  options.reporter = [](QWidget*, const zindrel::ErrorReport& report) {
    std::fprintf(stderr, "%s\n", qPrintable(zindrel::ReportText(report)));
  };
  zindrel::Form1 form(options);
  if (!zindrel::StartForm(form)) return 1;
  QApplication::processEvents();
  form.CmdLoad->click();
  if (argc > 3) form.HScCellsize->SetValue(static_cast<int16_t>(QString::fromLocal8Bit(argv[3]).toInt()));
  form.CmdProcess->click();
  QApplication::processEvents();
  // The window with its frame when a window manager draws one, else the client area.
  const QRect frame = form.frameGeometry();
  QPixmap shot = form.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
  if (shot.isNull() || shot.size() != frame.size()) shot = form.grab();
  return shot.save(output) ? 0 : 1;
}
