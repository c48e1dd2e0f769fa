// The window's conversion against the engine's own time: a 1000 x 1000
// picture at cell size 3 (333 x 333 = 110,889 cells) converted through
// "Convert 2 Chinese" in a real window on the offscreen platform, handling
// events at the program's pace and after every cell; then the engine with a
// host that does nothing after a cell, one that only pumps events after every
// cell, and one that only appends the glyphs to a text box as the window
// does. Prints the median of five runs of each, in seconds and per cell.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextCursor>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "convert/run.h"
#include "pictures/picture.h"
#include "widgets/events.h"
#include "window/form1.h"

namespace {

// Parameters as in the window; what happens to a glyph and after a cell is
// the benchmark's choice.
class BenchHost : public zindrel::RunHost {
 public:
  BenchHost(const zindrel::PixelSource& picture, std::function<void(int)> append, std::function<void()> after)
      : picture_(picture), append_(std::move(append)), after_(std::move(after)) {}
  int16_t CellSize() override { return 3; }
  int16_t Quality() override { return 2; }
  float BrightnessFactor() override { return 1.0f; }
  const zindrel::PixelSource& Picture() override { return picture_; }
  void AppendGlyph(int glyph) override { append_(glyph); }
  void EndRow() override { append_(-1); }
  bool AfterCell() override {
    after_();
    return false;
  }

 private:
  const zindrel::PixelSource& picture_;
  std::function<void(int)> append_;
  std::function<void()> after_;
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

double Median(std::function<void()> run) {
  std::vector<double> times;
  for (int i = 0; i < 5; ++i) {
    QElapsedTimer timer;
    timer.start();
    run();
    times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
  }
  std::sort(times.begin(), times.end());
  return times[2];
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
  const double cells = std::pow(std::round(edge / 3.0 - 1.0) + 1.0, 2.0);

  // A window handling events at the given pace.
  auto window = [&](int pumpMicroseconds, qsizetype* written) {
    zindrel::FormOptions options;
    options.programDirectory = QStringLiteral(ZINDREL_BENCH_DATA_DIR);
    options.asker = [&](QWidget*, const QString&, const QString&, const QString&) -> std::optional<QString> {
      return path;
    };
    options.reporter = [](QWidget*, const zindrel::ErrorReport& report) {
      std::fprintf(stderr, "%s\n", qPrintable(zindrel::ReportText(report)));
    };
    options.pumpMicroseconds = pumpMicroseconds;
    auto form = std::make_unique<zindrel::Form1>(options);
    if (!zindrel::StartForm(*form)) std::exit(1);
    form->CmdLoad->click();
    form->HScCellsize->SetValue(3);
    form->CmdProcess->click();  // the first run makes the matcher and decodes the glyphs
    QApplication::processEvents();
    const double seconds = Median([&] { form->CmdProcess->click(); });
    *written = form->Txt1->toPlainText().size();
    return seconds;
  };
  qsizetype written = 0;
  const double paced = window(zindrel::FormOptions{}.pumpMicroseconds, &written);
  const double everyCell = window(0, &written);

  const zindrel::ImagePixelSource source(image);
  zindrel::GlyphTable table = zindrel::LoadGlyphTable(zindrel::DefaultTablePath(ZINDREL_BENCH_DATA_DIR));
  zindrel::Matcher matcher(table);
  auto run = [&](std::function<void(int)> append, std::function<void()> after) {
    BenchHost host(source, std::move(append), std::move(after));
    zindrel::RunConversion(matcher, host);
  };
  const double engine = Median([&] { run([](int) {}, [] {}); });
  const double pumped = Median([&] { run([](int) {}, [] { zindrel::PumpEvents(); }); });
  // The window's appending: glyph texts collected and added to the end of a
  // text box every 40 ms.
  QPlainTextEdit box;
  box.setLineWrapMode(QPlainTextEdit::NoWrap);
  QString pending;
  QElapsedTimer sinceFlush;
  auto flush = [&] {
    QTextCursor cursor(box.document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(pending);
    pending.clear();
    sinceFlush.restart();
  };
  const double appended = Median([&] {
    box.clear();
    sinceFlush.start();
    run(
        [&](int glyph) {
          if (glyph < 0)
            pending += QLatin1Char('\n');
          else if (glyph > 0)
            pending += QString::fromStdString(table.GlyphUtf8(glyph));
        },
        [&] {
          if (sinceFlush.elapsed() >= 40) flush();
        });
    flush();
  });

  std::printf("window conversion, %d x %d at cell size 3 (%.0f cells, %lld characters written), median of 5\n", edge,
              edge, cells, static_cast<long long>(written));
  auto line = [&](const char* what, double seconds) {
    std::printf("  %-40s %8.3f s  %7.2f us/cell  %5.2f x engine\n", what, seconds, seconds / cells * 1e6,
                seconds / engine);
  };
  const std::string pace =
      "in the window, events every " + std::to_string(zindrel::FormOptions{}.pumpMicroseconds) + " us:";
  line(pace.c_str(), paced);
  line("in the window, events after every cell:", everyCell);
  line("engine alone (null host):", engine);
  line("engine + event pump after every cell:", pumped);
  line("engine + appending to a text box:", appended);
  return 0;
}
