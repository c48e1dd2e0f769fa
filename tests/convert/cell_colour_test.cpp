// The colour of a cell: the mean of exactly the pixels MeasureCell reads
// (the 3e square from the cell's corner, outside points white), the
// brightness applied and held within 0..255, the same from raw rows and from
// Point.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "convert/cell_colour.h"
#include "convert/measure.h"
#include "test_picture.h"

namespace zindrel {
namespace {

using testing::Argb;
using testing::Picture;

// The colours of a row of cells from raw rows, checked against Point.
std::vector<CellColour> Colours(const Picture& picture, int row, int count, int16_t cellSize, float factor) {
  const RowsPixelSource rows = picture.Source();
  const PointOnlySource points(rows);
  std::vector<CellColour> fromRows(static_cast<size_t>(count)), fromPoints(static_cast<size_t>(count));
  MeasureCellColours(rows, row, count, cellSize, factor, fromRows.data());
  MeasureCellColours(points, row, count, cellSize, factor, fromPoints.data());
  EXPECT_EQ(fromRows, fromPoints);
  return fromRows;
}

TEST(CellColour, FlatCellsGiveTheirColour) {
  Picture picture(24, 12, Argb(200, 30, 7));
  for (int x = 12; x < 24; ++x)
    for (int y = 0; y < 12; ++y) picture.Set(x, y, Argb(0, 128, 255));
  const std::vector<CellColour> c = Colours(picture, 0, 2, 12, 1.0f);
  EXPECT_EQ(c[0], (CellColour{200, 30, 7}));
  EXPECT_EQ(c[1], (CellColour{0, 128, 255}));
}

struct FactorCase {
  float factor;
  CellColour expected;
};

class ColourBrightness : public ::testing::TestWithParam<FactorCase> {};

TEST_P(ColourBrightness, MeanTimesTheFactorRoundedAndHeld) {
  // Mean (101, 50.5, 250) from two halves of the cell's square.
  Picture picture(6, 6, Argb(100, 50, 250));
  for (int x = 0; x < 6; ++x)
    for (int y = 0; y < 3; ++y) picture.Set(x, y, Argb(102, 51, 250));
  EXPECT_EQ(Colours(picture, 0, 1, 6, GetParam().factor)[0], GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Factors, ColourBrightness,
                         ::testing::Values(FactorCase{1.0f, {101, 51, 250}},  // 50.5 rounds up
                                           FactorCase{0.5f, {51, 25, 125}},   // 50.5, 25.25, 125
                                           FactorCase{1.2f, {121, 61, 255}},  // 300 held at 255
                                           FactorCase{0.4f, {40, 20, 100}}));

// Cell size 10 reads a 9-pixel square: its tenth column and row are left
// out.
TEST(CellColour, CellSizeTenLeavesItsLastColumnAndRowOut) {
  Picture picture(20, 10, Argb(255, 255, 255));
  for (int x = 0; x < 20; ++x)
    for (int y = 0; y < 9; ++y) picture.Set(x, y, x < 9 ? Argb(255, 0, 0) : x == 9 ? Argb(255, 255, 255) : 0);
  const std::vector<CellColour> c = Colours(picture, 0, 2, 10, 1.0f);
  EXPECT_EQ(c[0], (CellColour{255, 0, 0}));
  EXPECT_EQ(c[1], (CellColour{0, 0, 0}));
}

// Cell size 11 reads a 12-pixel square, one column into the next cell; the
// points outside the picture count as white.
TEST(CellColour, CellSizeElevenReachesIntoTheNextCellAndOutside) {
  Picture picture(22, 11, 0);
  for (int y = 0; y < 11; ++y) picture.Set(11, y, Argb(0, 255, 0));
  const std::vector<CellColour> c = Colours(picture, 0, 2, 11, 1.0f);
  // Of 144 pixels: the row below the picture (12 white), column 11 (11 green).
  EXPECT_EQ(c[0], (CellColour{21, 41, 21}));
  // Also the column right of the picture (11 more white).
  EXPECT_EQ(c[1], (CellColour{41, 60, 41}));
}

TEST(CellColour, RawRowsAndPointAgreeOnNoise) {
  std::mt19937 rng(11);
  Picture picture(97, 61, 0);
  for (uint32_t& p : picture.pixels) p = 0xFF000000u | (rng() & 0xFFFFFFu);
  for (const int16_t size : {int16_t{3}, int16_t{7}, int16_t{12}, int16_t{30}})
    for (int row = 0; row * size < picture.height; ++row)
      Colours(picture, row, (picture.width + size - 1) / size, size, 0.73f);
}

}  // namespace
}  // namespace zindrel
