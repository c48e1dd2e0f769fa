// The window's conversion against the engine's own time: a 1000 x 1000
// picture at cell size 3 (333 x 333 = 110,889 cells) converted through
// "Convert 2 Chinese" in a real window on the offscreen platform, then the
// same run with a host that does nothing after a cell, and one that only
// pumps events. Prints seconds and the window's cost per cell.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "convert/run.h"
#include "pictures/picture.h"
#include "widgets/events.h"
#include "window/form1.h"

namespace {

// Parameters as in the window; output and event pump optional.
class BenchHost : public zindrel::RunHost {
 public:
  BenchHost(const zindrel::PixelSource& picture, bool pump) : picture_(picture), pump_(pump) {}
  int16_t CellSize() override { return 3; }
  int16_t Quality() override { return 2; }
  float BrightnessFactor() override { return 1.0f; }
  const zindrel::PixelSource& Picture() override { return picture_; }
  void AppendGlyph(int glyph) override { lastGlyph = glyph; }
  void EndRow() override {}
  bool AfterCell() override {
    if (pump_) zindrel::PumpEvents();
    return false;
  }
  int lastGlyph = 0;

 private:
  const zindrel::PixelSource& picture_;
  bool pump_;
};

QImage Picture(int size) {
  QImage image(size, size, QImage::Format_RGB32);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const int v = ((x / 37 + y / 23) % 2) ? (x * 255 / size) : (y * 255 / size);
      image.setPixel(x, y, qRgb(v, (v * 3 + x) % 256, (255 - v + y) % 256));
    }
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir temp;
  const QString path = temp.filePath("bench.png");
  // The picture's edge in pixels: 1000 unless given.
  const int edge = argc > 1 ? std::max(3, std::atoi(argv[1])) : 1000;
  const QImage image = Picture(edge);
  if (!image.save(path)) return 1;

  zindrel::FormOptions options;
  options.programDirectory = QStringLiteral(ZINDREL_BENCH_DATA_DIR);
  options.asker = [&](QWidget*, const QString&, const QString&, const QString&) -> std::optional<QString> {
    return path;
  };
  options.reporter = [](QWidget*, const zindrel::ErrorReport& report) {
    std::fprintf(stderr, "%s\n", qPrintable(zindrel::ReportText(report)));
  };
  zindrel::Form1 form(options);
  if (!zindrel::StartForm(form)) return 1;
  form.CmdLoad->click();
  form.HScCellsize->SetValue(3);
  QApplication::processEvents();

  const double cells = std::pow(std::round(edge / 3.0 - 1.0) + 1.0, 2.0);
  QElapsedTimer timer;
  timer.start();
  form.CmdProcess->click();
  const double window = static_cast<double>(timer.nsecsElapsed()) / 1e9;
  const qsizetype written = form.Txt1->toPlainText().size();

  const zindrel::ImagePixelSource source(image);
  BenchHost plain(source, false);
  timer.restart();
  zindrel::RunConversion(form.Table(), plain);
  const double engine = static_cast<double>(timer.nsecsElapsed()) / 1e9;

  BenchHost pumping(source, true);
  timer.restart();
  zindrel::RunConversion(form.Table(), pumping);
  const double pumped = static_cast<double>(timer.nsecsElapsed()) / 1e9;

  std::printf("window conversion, %d x %d at cell size 3 (%.0f cells, %lld characters written)\n", edge, edge, cells,
              static_cast<long long>(written));
  std::printf("  in the window:                 %8.3f s  %7.2f us/cell\n", window, window / cells * 1e6);
  std::printf("  engine alone (null host):      %8.3f s  %7.2f us/cell\n", engine, engine / cells * 1e6);
  std::printf("  engine + event pump only:      %8.3f s  %7.2f us/cell\n", pumped, pumped / cells * 1e6);
  std::printf("  window overhead beyond engine: %8.3f s  %7.2f us/cell\n", window - engine,
              (window - engine) / cells * 1e6);
  return 0;
}
