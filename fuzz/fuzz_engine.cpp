// The conversion engine on a small decoded picture with fuzzed parameters:
// a run either finishes with one CR LF per row or raises the system's
// run-time error; it never crashes or reads outside the picture.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "convert/run.h"
#include "glyphs/glyph_table.h"
#include "support/tables.h"

namespace {

using zindrel::GlyphTable;

// A table that keeps the data file's contract: ascending levels 1..84, values
// 0..15. With `sparse` only every sixth level (and 1 and 84) is indexed, so
// level windows widen; with `empty` none is, so they never close.
GlyphTable MakeTable(bool sparse, bool empty) {
  GlyphTable table;
  for (int i = 1; i <= zindrel::GLYPH_COUNT; ++i) {
    const int16_t level = static_cast<int16_t>(1 + (static_cast<long>(i - 1) * 84) / zindrel::GLYPH_COUNT);
    std::array<int16_t, 10> v{};
    for (int m = 0; m < 9; ++m) v[m] = static_cast<int16_t>((i * 7 + m * 13) % 16);
    v[9] = level;
    table.SetGlyph(i, std::string(1, static_cast<char>('A' + i % 26)), v);
  }
  zindrel::testing::IndexLevels(table, zindrel::GLYPH_COUNT, [&](int16_t level) {
    return !empty && (!sparse || level % 6 == 0 || level == 1 || level == 84);
  });
  table.DecodeTexts();
  return table;
}

class Host : public zindrel::RunHost {
 public:
  Host(const zindrel::PixelSource& p, int16_t cell, int16_t quality, float brightness, long stopAfter)
      : picture_(p), cell_(cell), quality_(quality), brightness_(brightness), stopAfter_(stopAfter) {}
  int16_t CellSize() override { return cell_; }
  int16_t Quality() override { return quality_; }
  float BrightnessFactor() override { return brightness_; }
  const zindrel::PixelSource& Picture() override { return picture_; }
  void AppendGlyph(int glyph) override {
    if (glyph < 0 || glyph > zindrel::GLYPH_COUNT) __builtin_trap();
    ++cells;
    digest = digest * 1000003u + static_cast<uint64_t>(glyph);
  }
  void EndRow() override { ++rows; }
  bool AfterCell() override { return stopAfter_ > 0 && cells >= stopAfter_; }
  long cells = 0, rows = 0;
  uint64_t digest = 0;

 private:
  const zindrel::PixelSource& picture_;
  int16_t cell_, quality_;
  float brightness_;
  long stopAfter_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const GlyphTable full = MakeTable(false, false);
  static const GlyphTable sparse = MakeTable(true, false);
  static const GlyphTable none = MakeTable(false, true);
  // One Matcher per table for the whole process, as the window keeps one.
  static zindrel::Matcher fullMatcher(full), sparseMatcher(sparse), noneMatcher(none);
  if (size < 7) return 0;
  const int width = 1 + data[0] % 48, height = 1 + data[1] % 48;
  const int16_t cell = static_cast<int16_t>(3 + data[2] % 28);
  const int16_t quality = static_cast<int16_t>(data[3] % 11);
  const float brightness = static_cast<float>(40 + data[4] % 81) / 100.0f;
  zindrel::Matcher& matcher = data[5] % 3 == 0 ? fullMatcher : data[5] % 3 == 1 ? sparseMatcher : noneMatcher;
  const long stopAfter = data[6] % 4 == 0 ? data[6] / 4 : 0;
  data += 7;
  size -= 7;

  // Pixels from the rest, three bytes each, repeated to fill the picture.
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0xFFFFFFFFu);
  if (size >= 3) {
    for (size_t i = 0; i < pixels.size(); ++i) {
      const size_t at = (i * 3) % (size - size % 3);
      pixels[i] = 0xFF000000u | (uint32_t{data[at]} << 16) | (uint32_t{data[at + 1]} << 8) | data[at + 2];
    }
  }
  // Rows with a stride wider than the picture, as decoded images have.
  const int stride = width + 3;
  std::vector<uint32_t> padded(static_cast<size_t>(stride) * height, 0xDEADBEEFu);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      padded[static_cast<size_t>(y) * stride + x] = pixels[static_cast<size_t>(y) * width + x];
  zindrel::RowsPixelSource source(padded.data(), width, height, stride);
  zindrel::PointOnlySource plain(source);

  // The fast path (raw rows) and the plain path (Point) must agree.
  uint64_t results[2][3] = {};
  int outcome[2] = {};
  for (int pass = 0; pass < 2; ++pass) {
    Host host(pass == 0 ? static_cast<const zindrel::PixelSource&>(source) : plain, cell, quality, brightness,
              stopAfter);
    try {
      const zindrel::RunResult r = zindrel::RunConversion(matcher, host);
      outcome[pass] = r == zindrel::RunResult::Finished ? 1 : 2;
    } catch (const zindrel::RuntimeError& e) {
      outcome[pass] = 100 + e.number();
    }
    results[pass][0] = host.cells;
    results[pass][1] = host.rows;
    results[pass][2] = host.digest;
  }
  if (outcome[0] != outcome[1] || results[0][0] != results[1][0] || results[0][1] != results[1][1] ||
      results[0][2] != results[1][2])
    __builtin_trap();
  return 0;
}
