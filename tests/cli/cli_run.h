// What the tests of zindrel-convert share: the built program run in a
// child process, a test table whose glyphs are all distinct, and the art
// the engine makes for a picture in this process, to compare with.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QImage>
#include <QStringList>
#include <algorithm>
#include <random>
#include <string>

#include "convert/run.h"
#include "core/numeric.h"
#include "glyphs/glyph_table.h"
#include "pictures/picture.h"
#include "support/files.h"
#include "support/process.h"
#include "support/tables.h"

namespace zindrel::clitest {

inline QString Program() { return QString::fromStdString(testing::ProgramPath("zindrel-convert")); }

struct Outcome {
  int code = -1;
  QByteArray out, err;
};

inline Outcome RunCli(const QStringList& args, const QByteArray& input = {}, const QString& stdoutFile = {},
                      const QStringList& unset = {}) {
  testing::RunOptions options;
  options.input = input;
  options.stdoutFile = stdoutFile;
  options.unset = unset;
  options.seconds = 120;
  const testing::ProgramResult r = testing::RunProgram(Program().toStdString(), args, options);
  EXPECT_TRUE(r.started) << Program().toStdString();
  EXPECT_TRUE(r.finished);
  Outcome o;
  o.code = r.crashed ? -2 : r.exitCode;
  o.out = r.out;
  o.err = r.err;
  return o;
}

inline std::string Str(const QByteArray& b) { return b.toStdString(); }

// An empty folder `name` inside folder, for one test's output files.
inline QString FreshFolder(const testing::TempFolder& folder, const std::string& name) {
  const QString path = QString::fromStdString(folder.Path(name));
  QDir(path).removeRecursively();
  QDir().mkpath(path);
  return path;
}

// Glyph i of the test table: distinct GB2312 characters, so that every
// parameter shows in the output.
inline std::string DistinctGlyph(int i) {
  const int k = (i - 1) % (72 * 94);
  return {static_cast<char>(0xB0 + k / 94), static_cast<char>(0xA1 + k % 94)};
}

// The table of DistinctGlyph, written into folder.
inline std::string WriteDistinctTable(const testing::TempFolder& folder) {
  return folder.Write("table.han", testing::TableBytes(GLYPH_COUNT, testing::NumberLayout::Commas, "\r\n",
                                                       [](int i, testing::Record& r) { r.glyph = DistinctGlyph(i); }));
}

// A gradient with noise, 100 x 70 (not a multiple of the default cell): its
// cells spread over many levels.
inline QImage NoisePicture() {
  QImage picture(100, 70, QImage::Format_RGB32);
  std::mt19937 rng(5);
  for (int y = 0; y < 70; ++y)
    for (int x = 0; x < 100; ++x) {
      const int v = std::clamp(x * 255 / 100 + static_cast<int>(rng() % 61) - 30, 0, 255);
      picture.setPixel(x, y, qRgb(v, (v + y * 3) % 256, 255 - v));
    }
  return picture;
}

// The expected art, made in this process straight from the engine.
class ExpectedHost : public RunHost {
 public:
  ExpectedHost(const GlyphTable& t, const PixelSource& p, int16_t s, int16_t q, float f, bool gbk, std::string eol)
      : table(t), picture(p), size(s), quality(q), factor(f), useGbk(gbk), lineEnd(std::move(eol)) {}
  int16_t CellSize() override { return size; }
  int16_t Quality() override { return quality; }
  float BrightnessFactor() override { return factor; }
  const PixelSource& Picture() override { return picture; }
  void AppendGlyph(int g) override {
    if (g) text += useGbk ? table.GlyphText(g) : table.GlyphUtf8(g);
  }
  void EndRow() override { text += lineEnd; }
  const GlyphTable& table;
  const PixelSource& picture;
  int16_t size, quality;
  float factor;
  bool useGbk;
  std::string lineEnd, text;
};

inline std::string Expected(const GlyphTable& table, const QImage& image, int size, int quality, int brightness,
                            bool gbk, bool lf) {
  const ImagePixelSource source(image);
  ExpectedHost host(table, source, static_cast<int16_t>(size), static_cast<int16_t>(quality),
                    StoreF32(brightness / 100.0), gbk, lf ? "\n" : "\r\n");
  RunConversion(table, host);
  return host.text;
}

}  // namespace zindrel::clitest
