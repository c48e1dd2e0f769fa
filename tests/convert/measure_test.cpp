// Cell measurement: the worked examples of luminance, sub-block placement,
// brightness and outside points, checked on the fast raw-row path and the
// plain Point path alike, plus a property test that the two agree to the bit.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "convert/measure.h"
#include "core/errors.h"
#include "core/numeric.h"
#include "support/raises.h"
#include "test_picture.h"

namespace zindrel {
namespace {

using testing::Argb;
using testing::Picture;

bool SameBits(const CellDensity& a, const CellDensity& b) {
  return std::memcmp(a.Block.data(), b.Block.data(), sizeof(float) * 9) == 0 &&
         std::memcmp(&a.Total, &b.Total, sizeof(float)) == 0;
}

// Measures with every path and checks they agree; returns the result.
CellDensity MeasureAllPaths(const Picture& picture, int16_t row, int16_t column, int16_t cellSize, float factor) {
  const RowsPixelSource rows = picture.Source();
  const PointOnlySource points(rows);
  const CellDensity fast = MeasureCell(rows, row, column, cellSize, factor);
  EXPECT_TRUE(SameBits(fast, MeasureCellByPoint(rows, row, column, cellSize, factor)));
  EXPECT_TRUE(SameBits(fast, MeasureCell(points, row, column, cellSize, factor)));
  return fast;
}

TEST(Luminance, WeightsAndOutsidePoints) {
  EXPECT_EQ(Luminance(0x00FFFFFF), 255.0f);
  EXPECT_EQ(Luminance(-1), 255.0f);          // outside the picture counts as white
  EXPECT_EQ(Luminance(0x000000FF), 76.5f);   // red in the low byte
  EXPECT_EQ(Luminance(0x0000FF00), 153.0f);  // green
  EXPECT_EQ(Luminance(0x00FF0000), 25.5f);   // blue
  EXPECT_EQ(Luminance(0), 0.0f);
}

TEST(SubBlockEdge, NearestWholeNumberToAThird) {
  const int16_t sizes[] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 30};
  const int16_t edges[] = {1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 10};
  for (int i = 0; i < 14; ++i) EXPECT_EQ(SubBlockEdge(sizes[i]), edges[i]) << "cell size " << sizes[i];
}

struct UniformCase {
  const char* name;
  uint32_t colour;
  int16_t cellSize;
  float factor;
  float block, total;
  float tolerance;  // 0: exact
};

class UniformCells : public ::testing::TestWithParam<UniformCase> {};

TEST_P(UniformCells, GiveTheWorkedValues) {
  const UniformCase& c = GetParam();
  const Picture picture(3 * c.cellSize, 3 * c.cellSize, c.colour);
  const CellDensity cell = MeasureAllPaths(picture, 1, 1, c.cellSize, c.factor);
  for (int b = 0; b < 9; ++b) {
    if (c.tolerance == 0)
      EXPECT_EQ(cell.Block[b], c.block) << "block " << b;
    else
      EXPECT_NEAR(cell.Block[b], c.block, c.tolerance) << "block " << b;
  }
  if (c.tolerance == 0)
    EXPECT_EQ(cell.Total, c.total);
  else
    EXPECT_NEAR(cell.Total, c.total, c.tolerance);
}

const float kF73 = StoreF32(73.0 / 100.0);

INSTANTIATE_TEST_SUITE_P(
    Examples, UniformCells,
    ::testing::Values(UniformCase{"White12", Argb(255, 255, 255), 12, 1.0f, 15.0f, 84.0f, 0},
                      UniformCase{"Black12", Argb(0, 0, 0), 12, 1.0f, 0.0f, 1.0f, 0},
                      UniformCase{"Red12", Argb(255, 0, 0), 12, 1.0f, 4.5f, 40.5f, 0},
                      UniformCase{"Green12", Argb(0, 255, 0), 12, 1.0f, 9.0f, 81.0f, 0},
                      UniformCase{"Blue12", Argb(0, 0, 255), 12, 1.0f, 1.5f, 13.5f, 0},
                      UniformCase{"Grey12", Argb(128, 128, 128), 12, 1.0f, 7.5294f, 67.765f, 1e-3f},
                      UniformCase{"White10", Argb(255, 255, 255), 10, 1.0f, 12.15f, 84.0f, 1e-4f},
                      UniformCase{"Red10", Argb(255, 0, 0), 10, 1.0f, 3.645f, 32.805f, 1e-4f},
                      UniformCase{"White11", Argb(255, 255, 255), 11, 1.0f, 17.8512f, 84.0f, 1e-3f},
                      UniformCase{"White3", Argb(255, 255, 255), 3, 1.0f, 15.0f, 84.0f, 0},
                      UniformCase{"White30", Argb(255, 255, 255), 30, 1.0f, 15.0f, 84.0f, 0},
                      UniformCase{"WhiteHalf", Argb(255, 255, 255), 12, 0.5f, 7.5f, 67.5f, 0},
                      UniformCase{"Grey120", Argb(128, 128, 128), 12, 1.2f, 9.035f, 81.318f, 1e-3f},
                      UniformCase{"Blue73", Argb(0, 0, 255), 12, kF73, 1.095f, 9.855f, 1e-4f},
                      UniformCase{"BlackBright", Argb(0, 0, 0), 12, 1.2f, 0.0f, 1.0f, 0}),
    [](const ::testing::TestParamInfo<UniformCase>& p) { return std::string(p.param.name); });

TEST(MeasureCell, BlocksAreInReadingOrder) {
  // Cell size 3: each sub-block is the single pixel at offsets 0, 1 or 2.
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) {
      Picture picture(6, 6, Argb(255, 255, 255));
      picture.Set(3 + x, 3 + y, Argb(0, 0, 0));
      const CellDensity cell = MeasureAllPaths(picture, 1, 1, 3, 1.0f);
      for (int b = 0; b < 9; ++b) EXPECT_EQ(cell.Block[b], b == 3 * y + x ? 0.0f : 15.0f) << x << "," << y << " " << b;
      EXPECT_EQ(cell.Total, 84.0f);
    }
  }
}

TEST(MeasureCell, CellSize10LeavesTheLastColumnAndRowUnsampled) {
  Picture picture(10, 10, Argb(255, 255, 255));
  for (int i = 0; i < 10; ++i) picture.Set(9, i, Argb(0, 0, 0)), picture.Set(i, 9, Argb(0, 0, 0));
  const CellDensity cell = MeasureAllPaths(picture, 0, 0, 10, 1.0f);
  for (float b : cell.Block) EXPECT_NEAR(b, 12.15f, 1e-4f);
  // Sub-block 2 starts 3 pixels in.
  picture.Set(3, 0, Argb(0, 0, 0));
  const CellDensity marked = MeasureAllPaths(picture, 0, 0, 10, 1.0f);
  EXPECT_LT(marked.Block[1], cell.Block[1]);
  EXPECT_EQ(marked.Block[0], cell.Block[0]);
  EXPECT_EQ(marked.Block[2], cell.Block[2]);
}

TEST(MeasureCell, CellSize11SamplesIntoTheNeighbour) {
  Picture picture(22, 11, Argb(255, 255, 255));
  for (int y = 0; y < 11; ++y)
    for (int x = 11; x < 22; ++x) picture.Set(x, y, Argb(0, 0, 0));
  const CellDensity cell = MeasureAllPaths(picture, 0, 0, 11, 1.0f);
  // The right sub-blocks cover x = 8..11; x = 11 lies in the black neighbour.
  const float threeQuarters = StoreF32(static_cast<double>(StoreF32(12 * 255.0 * 9 / 11 / 11)) * 15 / 255);
  EXPECT_EQ(cell.Block[2], threeQuarters);
  EXPECT_EQ(cell.Block[5], threeQuarters);
  EXPECT_NEAR(cell.Block[0], 17.8512f, 1e-3f);
}

TEST(MeasureCell, PointsOutsideThePictureCountAsWhite) {
  const Picture picture(6, 6, Argb(0, 0, 0));
  const CellDensity cell = MeasureAllPaths(picture, 0, 0, 12, 1.0f);
  const float expected[9] = {0, 7.5f, 15, 7.5f, 11.25f, 15, 15, 15, 15};
  for (int b = 0; b < 9; ++b) EXPECT_EQ(cell.Block[b], expected[b]) << b;
  EXPECT_EQ(cell.Total, 84.0f);
  // A cell wholly outside is white.
  const CellDensity beyond = MeasureAllPaths(picture, 3, 2, 12, 0.5f);
  EXPECT_EQ(beyond.Total, 67.5f);
}

struct OverflowCase {
  int16_t cellSize, row, column;
  bool overflows;
};

class CoordinateOverflow : public ::testing::TestWithParam<OverflowCase> {};

TEST_P(CoordinateOverflow, RaisesPast32767OnBothPaths) {
  const OverflowCase& c = GetParam();
  const Picture wide(32768, 1, Argb(255, 255, 255));
  const Picture tall(1, 32768, Argb(255, 255, 255));
  for (const Picture* picture : {&wide, &tall}) {
    const bool isWide = picture == &wide;
    const int16_t row = isWide ? c.row : c.column, column = isWide ? c.column : c.row;
    const RowsPixelSource rows = picture->Source();
    for (int path = 0; path < 2; ++path) {
      auto measure = [&] {
        return path == 0 ? MeasureCell(rows, row, column, c.cellSize, 1.0f)
                         : MeasureCellByPoint(rows, row, column, c.cellSize, 1.0f);
      };
      if (!c.overflows) {
        EXPECT_NO_THROW(measure());
        continue;
      }
      EXPECT_RAISES(ErrorKind::Overflow, "", measure()) << row << "," << column;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Edges, CoordinateOverflow,
                         ::testing::Values(OverflowCase{12, 0, 2729, false},  // last x 32759
                                           OverflowCase{12, 0, 2730, true},   // last x 32771
                                           OverflowCase{12, 0, 2731, true},   // the corner itself overflows
                                           OverflowCase{30, 0, 1091, false},  // last x 32759
                                           OverflowCase{3, 0, 10922, true},   // last x 32768
                                           OverflowCase{3, 0, 10921, false}));

// The fast path over raw rows and the plain path over Point agree to the
// bit on random pictures, cell sizes, factors and cells, including cells
// that reach past the picture's edges.
TEST(MeasureProperty, FastPathEqualsPointPathBitForBit) {
  std::mt19937 rng(20261207);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  int cellsCompared = 0;
  for (int round = 0; round < 250; ++round) {
    Picture picture(pick(1, 90), pick(1, 90), 0);
    const bool fewColours = round % 3 == 0;
    const uint32_t palette[4] = {Argb(0, 0, 0), Argb(255, 255, 255), Argb(128, 64, 200), static_cast<uint32_t>(rng())};
    for (uint32_t& p : picture.pixels) p = fewColours ? palette[pick(0, 3)] : static_cast<uint32_t>(rng());
    const int16_t cellSize = static_cast<int16_t>(pick(1, 33));
    const float factor = round % 2 ? StoreF32(pick(40, 120) / 100.0) : StoreF32(pick(1, 400) / 100.0);
    const RowsPixelSource rows = picture.Source();
    const PointOnlySource points(rows);
    const int lastRow = picture.height / cellSize + 1, lastColumn = picture.width / cellSize + 1;
    for (int16_t row = 0; row <= lastRow; ++row) {
      for (int16_t column = 0; column <= lastColumn; ++column) {
        const CellDensity fast = MeasureCell(rows, row, column, cellSize, factor);
        const CellDensity plain = MeasureCell(points, row, column, cellSize, factor);
        ASSERT_TRUE(SameBits(fast, plain)) << "picture " << picture.width << "x" << picture.height << " cell size "
                                           << cellSize << " factor " << factor << " cell " << row << "," << column;
        ++cellsCompared;
      }
    }
  }
  EXPECT_GT(cellsCompared, 1000);
}

}  // namespace
}  // namespace zindrel
