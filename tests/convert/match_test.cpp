// Glyph matching: the level window with its rounding and widening, the
// distance with its double-precision difference, and the choice rules.
#include <gtest/gtest.h>

#include <cmath>

#include "convert/match.h"
#include "convert/matcher.h"
#include "core/errors.h"
#include "support/raises.h"
#include "support/tables.h"

namespace zindrel {
namespace {

using testing::Flat;
using testing::Record;
using testing::TableOf;

// Three glyphs of every level 1..84, except the levels listed as missing.
GlyphTable EveryLevel(std::initializer_list<int> missing = {}) {
  std::vector<Record> records;
  for (int16_t level = 1; level <= 84; ++level) {
    if (std::find(missing.begin(), missing.end(), level) != missing.end()) continue;
    for (int k = 0; k < 3; ++k) records.push_back(Flat("g", static_cast<int16_t>(k), level));
  }
  return TableOf(records);
}

// The glyph chosen by the matcher the run uses and by the plain reference
// search over every candidate; the two must agree.
int MatchBoth(const GlyphTable& table, const CellDensity& cell, int16_t quality) {
  const int chosen = Matcher(table).MatchGlyph(cell, quality);
  EXPECT_EQ(chosen, MatchGlyphPlain(table, cell, quality)) << "total " << cell.Total << " quality " << quality;
  return chosen;
}

CellDensity Cell(float block, float total) {
  CellDensity c;
  c.Block.fill(block);
  c.Total = total;
  return c;
}

TEST(MaxMin, SecondArgumentWinsOnEquality) {
  EXPECT_TRUE(std::signbit(MaxOf(0.0f, -0.0f)));
  EXPECT_FALSE(std::signbit(MaxOf(-0.0f, 0.0f)));
  EXPECT_TRUE(std::signbit(MinOf(0.0f, -0.0f)));
  EXPECT_EQ(MaxOf(1.0f, 1), 1.0f);
  EXPECT_EQ(MinOf(84.0f, 84), 84.0f);
  EXPECT_EQ(MaxOf(int16_t{3}, int16_t{-4}), 3);
  EXPECT_EQ(MinOf(int16_t{3}, int16_t{-4}), -4);
}

struct WindowCase {
  float total;
  int16_t quality;
  int lower, upper;
};

class LevelWindows : public ::testing::TestWithParam<WindowCase> {};

TEST_P(LevelWindows, RoundHalfToEvenWithinOneTo84) {
  const GlyphTable table = EveryLevel();
  const WindowCase& c = GetParam();
  const LevelWindow w = FindLevelWindow(table, c.total, c.quality);
  EXPECT_EQ(w.lowerLevel, c.lower);
  EXPECT_EQ(w.upperLevel, c.upper);
  EXPECT_EQ(w.lowerStart, table.LevelStart(c.lower));
  EXPECT_EQ(w.upperStart, table.LevelStart(c.upper));
}

INSTANTIATE_TEST_SUITE_P(Examples, LevelWindows,
                         ::testing::Values(WindowCase{37.6f, 2, 36, 40}, WindowCase{36.5f, 2, 34, 38},
                                           WindowCase{40.0f, 2, 38, 42}, WindowCase{1.0f, 2, 1, 3},
                                           WindowCase{84.0f, 2, 82, 84}, WindowCase{40.5f, 0, 40, 40},
                                           WindowCase{41.5f, 0, 42, 42}, WindowCase{50.0f, 10, 40, 60},
                                           WindowCase{3.0f, 10, 1, 13},
                                           // 63.5 - 2^-18 plus 2 is stored as the float 65.5, which rounds to 66.
                                           WindowCase{63.5f - 0x1p-18f, 2, 61, 66}));

TEST(LevelWindow, MissingLevelsWidenBothEndsTogether) {
  {
    const LevelWindow w = FindLevelWindow(EveryLevel({38}), 40.0f, 2);
    EXPECT_EQ(w.lowerLevel, 37);
    EXPECT_EQ(w.upperLevel, 43);
  }
  {
    const LevelWindow w = FindLevelWindow(EveryLevel({40, 41, 39}), 40.0f, 0);
    EXPECT_EQ(w.lowerLevel, 38);
    EXPECT_EQ(w.upperLevel, 42);
  }
  {
    // The upper end is held at 84 while the lower end goes on moving.
    const LevelWindow w = FindLevelWindow(EveryLevel({80, 81, 82}), 84.0f, 2);
    EXPECT_EQ(w.lowerLevel, 79);
    EXPECT_EQ(w.upperLevel, 84);
  }
}

TEST(LevelWindow, ATableWithoutLevel84NeverClosesAndOverflows) {
  const GlyphTable table = TableOf({Flat("a", 0, 1)});
  EXPECT_RAISES(ErrorKind::Overflow, "", FindLevelWindow(table, 20.0f, 2));
  EXPECT_RAISES(ErrorKind::Overflow, "", Matcher(table).MatchGlyph(Cell(5.0f, 20.0f), 2));
  EXPECT_RAISES(ErrorKind::Overflow, "", MatchGlyphPlain(table, Cell(5.0f, 20.0f), 2));
}

struct DistanceCase {
  float block;
  int16_t glyph;
  int16_t distance;  // of one block; the other eight match exactly
};

class Distances : public ::testing::TestWithParam<DistanceCase> {};

TEST_P(Distances, DifferenceTakenInDoubleAndRoundedHalfToEven) {
  const DistanceCase& c = GetParam();
  Record r = Flat("g", 3, 1);
  r.values[4] = c.glyph;
  const GlyphTable table = TableOf({r});
  CellDensity cell = Cell(3.0f, 1.0f);
  cell.Block[4] = c.block;
  EXPECT_EQ(GlyphDistance(table, cell, 1), c.distance);
}

INSTANTIATE_TEST_SUITE_P(Examples, Distances,
                         ::testing::Values(DistanceCase{7.5f, 7, 0}, DistanceCase{8.5f, 7, 4}, DistanceCase{6.5f, 7, 0},
                                           DistanceCase{5.5f, 7, 4},
                                           // 1.50000012 - 15 in float would be -13.5 (-> -14);
                                           // in double it is -13.49999988 (-> -13).
                                           DistanceCase{1.50000012f, 15, 169}, DistanceCase{0.0f, 15, 225},
                                           DistanceCase{15.0f, -166, 32761}));

TEST(Distance, OverflowRaises) {
  const GlyphTable table = TableOf({Flat("g", 0, 1)});
  for (float block : {182.0f, 70.0f}) {  // a square past 32767; a sum past 32767
    CellDensity cell = Cell(0.0f, 1.0f);
    if (block == 182.0f)
      cell.Block[0] = block;
    else
      cell.Block.fill(block);
    EXPECT_RAISES(ErrorKind::Overflow, "", GlyphDistance(table, cell, 1)) << block;
    // The matchers meet the same distance and raise the same error.
    const GlyphTable both = TableOf({Flat("g", 0, 1), Flat("h", 0, 84)});
    cell.Total = 1.0f;
    EXPECT_RAISES(ErrorKind::Overflow, "", Matcher(both).MatchGlyph(cell, 0)) << block;
    EXPECT_RAISES(ErrorKind::Overflow, "", MatchGlyphPlain(both, cell, 0)) << block;
  }
}

TEST(MatchGlyph, CandidatesRunFromLowerStartToUpperStart) {
  // Glyph 1 is level 1, then two glyphs of each level 37..43 (glyphs 2..15),
  // then glyph 16 of level 84. With Quality 2 and Total 40 all glyphs of
  // levels 38 to 41 compete, and of level 42 only its first (glyph 12).
  std::vector<Record> records = {Flat("lo", 9, 1)};
  for (int16_t level = 37; level <= 43; ++level) {
    records.push_back(Flat("a", 9, level));
    records.push_back(Flat("b", 9, level));
  }
  records.push_back(Flat("hi", 9, 84));
  records[12 - 1] = Flat("first42", 4, 42);
  records[12 - 1].values[0] = 5;              // one off
  records[13 - 1] = Flat("second42", 4, 42);  // exact, but outside the window
  const CellDensity cell = Cell(4.0f, 40.0f);
  EXPECT_EQ(MatchBoth(TableOf(records), cell, 2), 12);
  records[2 - 1] = Flat("first37", 4, 37);  // exact, also outside
  EXPECT_EQ(MatchBoth(TableOf(records), cell, 2), 12);
  records[4 - 1] = Flat("first38", 4, 38);  // exact and inside
  EXPECT_EQ(MatchBoth(TableOf(records), cell, 2), 4);
}

TEST(MatchGlyph, QualityZeroTakesTheFirstGlyphOfTheLevel) {
  std::vector<Record> records = {Flat("a", 0, 1), Flat("b", 15, 20), Flat("c", 7, 20), Flat("d", 0, 84)};
  const GlyphTable table = TableOf(records);
  EXPECT_EQ(MatchBoth(table, Cell(7.0f, 20.0f), 0), 2);
  EXPECT_EQ(MatchBoth(table, Cell(7.0f, 20.0f), 1), 3);  // window 19..21 widens to 1..84
}

TEST(MatchGlyph, TiesGoToTheLowerIndex) {
  std::vector<Record> records = {Flat("a", 9, 1), Flat("b", 5, 1), Flat("c", 7, 1), Flat("d", 7, 1), Flat("e", 5, 84)};
  records[2].values[0] = 8;  // c: distance 1
  records[3].values[1] = 6;  // d: distance 1 as well
  const GlyphTable table = TableOf(records);
  EXPECT_EQ(MatchBoth(table, Cell(7.0f, 1.0f), 83), 3);
}

TEST(MatchGlyph, NoCandidateBelow25535ChoosesNothing) {
  // 54^2 * 9 = 26244 and 53^2 * 9 = 25281.
  const GlyphTable far = TableOf({Flat("a", 54, 1), Flat("b", 54, 84)});
  EXPECT_EQ(MatchBoth(far, Cell(0.0f, 1.0f), 2), 0);
  const GlyphTable near = TableOf({Flat("a", 54, 1), Flat("b", 53, 84)});
  EXPECT_EQ(MatchBoth(near, Cell(0.0f, 1.0f), 83), 2);
}

}  // namespace
}  // namespace zindrel
