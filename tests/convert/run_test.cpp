// The conversion run: grid bounds, row ends, the previous glyph repeated,
// cancellation, parameters read at every cell, coordinate overflow, and a
// whole run on the fast and the plain pixel path.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

#include "convert/run.h"
#include "core/errors.h"
#include "support/tables.h"

namespace zindrel {
namespace {

using testing::Flat;
using testing::Record;
using testing::TableOf;

uint32_t Grey(int v) { return 0xFF000000u | (uint32_t(v) << 16) | (uint32_t(v) << 8) | uint32_t(v); }

struct Picture {
  int width, height;
  std::vector<uint32_t> pixels;
  Picture(int w, int h, uint32_t fill) : width(w), height(h), pixels(std::size_t(w) * h, fill) {}
  void Fill(int x0, int y0, int w, int h, uint32_t v) {
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) pixels[std::size_t(y) * width + x] = v;
  }
};

// Records what the run appends: the glyph texts and CR LF, and the glyph
// indices row by row.
class RecordingHost : public RunHost {
 public:
  RecordingHost(const GlyphTable& glyphs, const PixelSource& source, int16_t size, int16_t q = 2, float f = 1.0f)
      : table(glyphs), picture(&source), cellSize(size), quality(q), factor(f) {}

  int16_t CellSize() override { return cellSize; }
  int16_t Quality() override { return quality; }
  float BrightnessFactor() override { return factor; }
  const PixelSource& Picture() override { return *picture; }
  void AppendGlyph(int glyph) override {
    if (glyph) text += table.GlyphText(glyph);
    if (rows.empty() || rowEnded_) rows.emplace_back(), rowEnded_ = false;
    rows.back().push_back(glyph);
  }
  void EndRow() override {
    text += "\r\n";
    if (rows.empty() || rowEnded_) rows.emplace_back();
    rowEnded_ = true;
  }
  bool AfterCell() override {
    ++cells;
    return afterCell ? afterCell(*this) : false;
  }

  std::string text;
  std::vector<std::vector<int>> rows;
  int cells = 0;
  std::function<bool(RecordingHost&)> afterCell;
  const GlyphTable& table;
  const PixelSource* picture;
  int16_t cellSize, quality;
  float factor;

 private:
  bool rowEnded_ = false;
};

// A table with one glyph for black cells ("B", level 1) and one for white
// cells ("W", level 84); with Quality 0 black cells match B and white W.
GlyphTable BlackWhite() { return TableOf({Flat("B", 0, 1), Flat("W", 15, 84)}); }

struct GridCase {
  int width, height;
  int16_t cellSize;
  int rows, columns;
};

class Grids : public ::testing::TestWithParam<GridCase> {};

TEST_P(Grids, BoundsRoundHalfToEven) {
  const GridCase& c = GetParam();
  const GlyphTable table = BlackWhite();
  const Picture picture(c.width, c.height, Grey(255));
  const RowsPixelSource source(picture.pixels.data(), c.width, c.height, c.width);
  RecordingHost host(table, source, c.cellSize, 0);
  EXPECT_EQ(RunConversion(table, host), RunResult::Finished);
  std::string line;
  for (int i = 0; i < c.columns; ++i) line += "W";
  std::string expected;
  for (int i = 0; i < c.rows; ++i) expected += line + "\r\n";
  EXPECT_EQ(host.text, expected);
}

INSTANTIATE_TEST_SUITE_P(Examples, Grids,
                         ::testing::Values(GridCase{120, 96, 12, 8, 10}, GridCase{102, 60, 12, 5, 9},
                                           GridCase{90, 60, 12, 5, 7},
                                           GridCase{30, 18, 12, 1, 3},  // 1.5 -> 2 (two whole), 0.5 -> 0 (one)
                                           GridCase{42, 54, 12, 5, 3},  // 2.5 -> 2, 3.5 -> 4
                                           GridCase{5, 36, 12, 3, 0},   // narrower than half a cell
                                           GridCase{6, 24, 12, 2, 1},   // exactly half: -0.5 -> 0, one cell
                                           GridCase{36, 5, 12, 0, 3},   // lower than half a cell: nothing
                                           GridCase{1, 1, 3, 0, 0}, GridCase{2, 2, 3, 1, 1},
                                           GridCase{100, 60, 30, 2, 3}));

TEST(Run, CellWithoutChoiceRepeatsThePreviousGlyph) {
  // Black cells find no glyph near enough (54 per block away); white cells
  // match W. The first cell of the run adds nothing.
  const GlyphTable table = TableOf({Flat("B", 54, 1), Flat("W", 15, 84)});
  Picture picture(36, 24, Grey(0));
  picture.Fill(12, 0, 12, 12, Grey(255));  // row 0: black, white, black
  const RowsPixelSource source(picture.pixels.data(), 36, 24, 36);
  RecordingHost host(table, source, 12, 0);
  RunConversion(table, host);
  EXPECT_EQ(host.text, "WW\r\nWWW\r\n");
  EXPECT_EQ(host.rows[0], (std::vector<int>{0, 2, 2}));
}

TEST(Run, CancelLeavesTheUnfinishedRowWithoutLineEnd) {
  const GlyphTable table = BlackWhite();
  const Picture picture(48, 60, Grey(255));
  const RowsPixelSource source(picture.pixels.data(), 48, 60, 48);
  RecordingHost host(table, source, 12, 0);
  host.afterCell = [](RecordingHost& h) { return h.cells == 3 * 4 + 2; };  // second cell of row 3
  EXPECT_EQ(RunConversion(table, host), RunResult::Stopped);
  EXPECT_EQ(host.text, "WWWW\r\nWWWW\r\nWWWW\r\nWW");
}

TEST(Run, ParametersAndPictureAreReadAtEveryCell) {
  const GlyphTable table = BlackWhite();
  const Picture white(48, 24, Grey(255));
  const Picture black(48, 24, Grey(0));
  const RowsPixelSource whiteSource(white.pixels.data(), 48, 24, 48);
  const RowsPixelSource blackSource(black.pixels.data(), 48, 24, 48);
  {
    // A new cell size applies from the next cell; the columns change at the
    // next row; the number of rows stays as computed at the start.
    RecordingHost host(table, whiteSource, 12, 0);
    host.afterCell = [](RecordingHost& h) {
      if (h.cells == 1) h.cellSize = 24;
      return false;
    };
    RunConversion(table, host);
    EXPECT_EQ(host.text, "WWWW\r\nWW\r\n");
  }
  {
    // A new picture is sampled from the next cell on.
    RecordingHost host(table, whiteSource, 12, 0);
    host.afterCell = [&](RecordingHost& h) {
      if (h.cells == 2) h.picture = &blackSource;
      return false;
    };
    RunConversion(table, host);
    EXPECT_EQ(host.text, "WWBB\r\nBBBB\r\n");
  }
}

TEST(Run, PictureWiderThan32767OverflowsWhenReached) {
  const GlyphTable table = BlackWhite();
  const Picture picture(32768, 3, Grey(255));
  const RowsPixelSource source(picture.pixels.data(), 32768, 3, 32768);
  RecordingHost host(table, source, 3, 0);
  try {
    RunConversion(table, host);
    ADD_FAILURE();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::Overflow);
  }
  // Everything before the failing cell was appended.
  ASSERT_EQ(host.rows.size(), 1u);
  EXPECT_EQ(host.rows[0].size(), 10922u);
  EXPECT_EQ(LastCellIndex(32768, 3), 10922);
  EXPECT_THROW(LastCellIndex(400000, 3), RuntimeError);
}

// A random sorted table holding levels 1 and 84.
GlyphTable RandomTable(std::mt19937& rng, int count) {
  std::vector<Record> records;
  std::vector<int16_t> levels = {1, 84};
  for (int i = 2; i < count; ++i)
    levels.push_back(static_cast<int16_t>(std::uniform_int_distribution<int>(1, 84)(rng)));
  std::sort(levels.begin(), levels.end());
  for (int16_t level : levels) {
    Record r{"", {}};
    r.glyph = std::string(1, static_cast<char>('A' + records.size() % 26));
    for (int m = 0; m < 9; ++m) r.values[m] = static_cast<int16_t>(std::uniform_int_distribution<int>(0, 15)(rng));
    r.values[9] = level;
    records.push_back(r);
  }
  return TableOf(records);
}

TEST(RunProperty, FastAndPlainPathsGiveTheSameRun) {
  std::mt19937 rng(7);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int round = 0; round < 40; ++round) {
    const GlyphTable table = RandomTable(rng, pick(2, 400));
    Picture picture(pick(1, 160), pick(1, 120), 0);
    // Smooth gradients with noise, so that cells spread over many levels.
    for (int y = 0; y < picture.height; ++y)
      for (int x = 0; x < picture.width; ++x)
        picture.pixels[std::size_t(y) * picture.width + x] =
            Grey(std::clamp((x * 255) / picture.width + pick(-40, 40), 0, 255)) ^ uint32_t(pick(0, 0x070707));
    const RowsPixelSource rows(picture.pixels.data(), picture.width, picture.height, picture.width);
    const PointOnlySource points(rows);
    const int16_t cellSize = static_cast<int16_t>(pick(3, 30));
    const int16_t quality = static_cast<int16_t>(pick(0, 10));
    const float factor = static_cast<float>(pick(40, 120) / 100.0);
    RecordingHost fast(table, rows, cellSize, quality, factor);
    RecordingHost plain(table, points, cellSize, quality, factor);
    RunConversion(table, fast);
    RunConversion(table, plain);
    ASSERT_EQ(fast.rows, plain.rows) << "round " << round;
    ASSERT_EQ(fast.text, plain.text);
  }
}

}  // namespace
}  // namespace zindrel
