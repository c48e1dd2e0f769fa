// zindrel-fast-convert: a picture to Chinese-character art (UTF-8, CR LF
// rows) on standard output through the fast conversion. Used to time the
// engine as a whole program against other tools (bench/compare.sh).
//
//   zindrel-fast-convert PICTURE [-s|--size N] [-q|--quality N] [-b|--brightness PERCENT]
//                        [--threads N] [-t|--table FILE] [--timings]
// (the option names of zindrel-convert; --cell is the same as --size)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <string>
#include <thread>

#include <QCoreApplication>
#include <QFile>

#include "convert/fast_run.h"
#include "core/errors.h"
#include "glyphs/glyph_table.h"
#include "pictures/picture.h"

namespace {

using Clock = std::chrono::steady_clock;

// Processor time of the whole process (all threads), in milliseconds.
double CpuMs() { return 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

class TextHost : public zindrel::RunHost {
 public:
  TextHost(const zindrel::GlyphTable& table, const zindrel::PixelSource& picture, std::string& out)
      : table_(table), picture_(picture), out_(out) {}
  int16_t CellSize() override { return 0; }
  int16_t Quality() override { return 0; }
  float BrightnessFactor() override { return 1.0f; }
  const zindrel::PixelSource& Picture() override { return picture_; }
  void AppendGlyph(int glyph) override {
    if (glyph) out_ += table_.GlyphUtf8(glyph);
  }
  void EndRow() override { out_ += "\r\n"; }

 private:
  const zindrel::GlyphTable& table_;
  const zindrel::PixelSource& picture_;
  std::string& out_;
};

int Usage() {
  std::fprintf(stderr,
               "usage: zindrel-fast-convert PICTURE [--size 3..30] [--quality 0..10] [--brightness 40..120]\n"
               "                            [--threads N] [--table FILE] [--timings]\n");
  return 2;
}

bool ParseInt(const char* text, long low, long high, long& value) {
  char* end = nullptr;
  value = std::strtol(text, &end, 10);
  return end && *end == '\0' && end != text && value >= low && value <= high;
}

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

}  // namespace

int main(int argc, char** argv) {
  const auto t0 = Clock::now();
  QCoreApplication app(argc, argv);
  std::string picturePath, tablePath;
  long cell = 12, quality = 2, brightness = 100;
  long threads = std::max(1u, std::thread::hardware_concurrency());
  bool timings = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto number = [&](long low, long high, long& v) { return i + 1 < argc && ParseInt(argv[++i], low, high, v); };
    if (a == "--cell" || a == "--size" || a == "-s") {
      if (!number(3, 30, cell)) return Usage();
    } else if (a == "--quality" || a == "-q") {
      if (!number(0, 10, quality)) return Usage();
    } else if (a == "--brightness" || a == "-b") {
      if (!number(40, 120, brightness)) return Usage();
    } else if (a == "--threads") {
      if (!number(1, 64, threads)) return Usage();
    } else if ((a == "--table" || a == "-t") && i + 1 < argc) {
      tablePath = argv[++i];
    } else if (a == "--timings") {
      timings = true;
    } else if (!a.empty() && a[0] != '-' && picturePath.empty()) {
      picturePath = a;
    } else {
      return Usage();
    }
  }
  if (picturePath.empty()) return Usage();
  try {
    if (tablePath.empty()) {
      tablePath = zindrel::DefaultTablePath(QCoreApplication::applicationDirPath().toStdString());
      if (!QFile::exists(QString::fromStdString(tablePath))) tablePath = ZINDREL_BENCH_DATA_DIR "/Data.han";
    }
    const auto t1 = Clock::now();
    const double c1 = CpuMs();
    // The table (with its search index) loads while the picture decodes; a
    // failing table is still reported before a failing picture.
    zindrel::GlyphTable table;
    std::exception_ptr tableError;
    double tableMs = 0;
    std::thread loader([&] {
      try {
        const auto a = Clock::now();
        table = zindrel::LoadGlyphTable(tablePath);
        zindrel::SearchIndexFor(table);
        tableMs = Ms(a, Clock::now());
      } catch (...) {
        tableError = std::current_exception();
      }
    });
    std::exception_ptr pictureError;
    zindrel::ImagePixelSource picture;
    try {
      picture = zindrel::ImagePixelSource(zindrel::DecodePictureFile(picturePath));
    } catch (...) {
      pictureError = std::current_exception();
    }
    loader.join();
    if (tableError) std::rethrow_exception(tableError);
    if (pictureError) std::rethrow_exception(pictureError);
    const auto t3 = Clock::now();
    const double c3 = CpuMs();
    std::string out;
    out.reserve(static_cast<size_t>(picture.Width() / cell + 1) * (picture.Height() / cell + 1) * 3 +
                static_cast<size_t>(picture.Height() / cell + 1) * 2);
    TextHost host(table, picture, out);
    // The brightness percentage as the scroll bar gives it: percent / 100 stored as float.
    const float factor = static_cast<float>(static_cast<double>(brightness) / 100.0);
    zindrel::ConvertPictureFast(table, picture, static_cast<int16_t>(cell), static_cast<int16_t>(quality), factor, host,
                                static_cast<int>(threads));
    const auto t4 = Clock::now();
    const double c4 = CpuMs();
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    const auto t5 = Clock::now();
    if (timings)
      std::fprintf(stderr,
                   "wall ms: start %.1f, table %.1f beside decode, table and decode %.1f, convert %.1f, write %.1f; "
                   "processor ms: table and decode %.1f, convert %.1f\n",
                   Ms(t0, t1), tableMs, Ms(t1, t3), Ms(t3, t4), Ms(t4, t5), c3 - c1, c4 - c3);
  } catch (const zindrel::RuntimeError& e) {
    std::fprintf(stderr, "zindrel-fast-convert: %s\n", e.message().c_str());
    return 1;
  }
  return 0;
}
