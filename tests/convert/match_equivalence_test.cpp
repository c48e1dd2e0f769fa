// The indexed glyph search against the plain one: same glyph or same error
// for random tables and cells, with and without the memo.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "convert/matcher.h"
#include "random_tables.h"

namespace zindrel {
namespace {

using speedtest::Capture;
using speedtest::Describe;
using speedtest::TableKind;

struct TableCase {
  TableKind kind;
  uint32_t seed;
  int cells;
};

// Each table with the vector loops and with the portable ones.
class MatchEquivalence : public ::testing::TestWithParam<std::tuple<TableCase, bool>> {
 protected:
  void TearDown() override { SetVectorKernels(true); }
};

TEST_P(MatchEquivalence, IndexedSearchPicksThePlainSearchsGlyph) {
  const TableCase& c = std::get<0>(GetParam());
  SetVectorKernels(std::get<1>(GetParam()));
  const GlyphTable table = speedtest::RandomTable(c.kind, c.seed);
  const GlyphSearchIndex index(table);
  MatchMemo memo;
  Matcher matcher(table);
  std::mt19937 rng(c.seed * 7919u + 1u);
  std::vector<std::pair<CellDensity, int16_t>> seen;
  for (int k = 0; k < c.cells; ++k) {
    // Cells repeat now and then so that the memo answers some of them.
    std::pair<CellDensity, int16_t> probe;
    if (!seen.empty() && rng() % 4 == 0) {
      probe = seen[rng() % seen.size()];
    } else {
      probe.first = speedtest::RandomCell(rng);
      probe.second = static_cast<int16_t>(rng() % 8 == 0 ? static_cast<int>(rng() % 40) - 3 : rng() % 11);
      seen.push_back(probe);
    }
    const CellDensity& cell = probe.first;
    const int16_t quality = probe.second;
    const auto plain = Capture([&] { return MatchGlyphPlain(table, cell, quality); });
    const auto fast = Capture([&] { return MatchGlyphIndexed(index, table, cell, quality, nullptr); });
    const auto memoised = Capture([&] { return MatchGlyphIndexed(index, table, cell, quality, &memo); });
    const auto viaMatcher = Capture([&] { return matcher.MatchGlyph(cell, quality); });
    ASSERT_TRUE(plain == fast && plain == memoised && plain == viaMatcher)
        << "cell " << k << " quality " << quality << " total " << cell.Total << ": plain " << Describe(plain)
        << ", indexed " << Describe(fast) << ", memo " << Describe(memoised) << ", Matcher " << Describe(viaMatcher);
  }
}

INSTANTIATE_TEST_SUITE_P(
    RandomTables, MatchEquivalence,
    ::testing::Combine(::testing::Values(TableCase{TableKind::Plain, 1, 300}, TableCase{TableKind::Gaps, 3, 300},
                                         TableCase{TableKind::Duplicates, 5, 300}, TableCase{TableKind::Narrow, 6, 300},
                                         TableCase{TableKind::FarValues, 8, 200},
                                         TableCase{TableKind::Unsorted, 10, 200},
                                         TableCase{TableKind::Unsorted, 11, 200},
                                         TableCase{TableKind::NoTopLevel, 13, 30},
                                         TableCase{TableKind::Distant, 14, 300}),
                       ::testing::Bool()));

// Neighbouring cells as a picture gives them: runs of cells that round to
// the same key, the same blocks under totals of other windows, blocks just
// either side of a half, and values that do not fit the memo's bytes. One
// memo serves two tables in turn, so an answer of one table must never be
// taken for the other's.
class MemoNeighbours : public ::testing::TestWithParam<std::tuple<TableKind, bool>> {
 protected:
  void TearDown() override { SetVectorKernels(true); }
};

TEST_P(MemoNeighbours, RunsOfSimilarCellsGetThePlainGlyph) {
  SetVectorKernels(std::get<1>(GetParam()));
  const GlyphTable tables[2] = {speedtest::RandomTable(std::get<0>(GetParam()), 41),
                                speedtest::RandomTable(TableKind::Duplicates, 43)};
  const GlyphSearchIndex indexes[2] = {GlyphSearchIndex(tables[0]), GlyphSearchIndex(tables[1])};
  MatchMemo memo;
  std::mt19937 rng(99);
  auto uni = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };
  CellDensity cell = speedtest::RandomCell(rng);
  for (int k = 0; k < 3000; ++k) {
    switch (uni(0, 5)) {
      case 0: cell = speedtest::RandomCell(rng); break;
      case 1:  // the same key: a block moved within its rounding
        for (float& b : cell.Block)
          if (b != std::round(b) && std::fabs(b - std::floor(b) - 0.5f) > 0.01f)
            b = std::nextafter(b, uni(0, 1) ? 1000.0f : -1000.0f);
        break;
      case 2: cell.Total = static_cast<float>(uni(1, 84)) + (uni(0, 1) ? 0.25f : 0.0f); break;
      case 3: {  // a block onto a half, or just beside it
        float& b = cell.Block[uni(0, 8)];
        b = static_cast<float>(uni(-2, 17)) + 0.5f;
        if (uni(0, 1)) b = std::nextafter(b, uni(0, 1) ? 1000.0f : -1000.0f);
        break;
      }
      case 4: cell.Block[uni(0, 8)] = static_cast<float>(uni(0, 1) ? uni(120, 140) : uni(-140, -120)); break;
      default: break;  // the very same cell again
    }
    const int t = uni(0, 7) == 0 ? 1 : 0;
    const auto quality = static_cast<int16_t>(uni(0, 3));
    const auto plain = Capture([&] { return MatchGlyphPlain(tables[t], cell, quality); });
    const auto memoised = Capture([&] { return MatchGlyphIndexed(indexes[t], tables[t], cell, quality, &memo); });
    ASSERT_TRUE(plain == memoised) << "cell " << k << " table " << t << ": plain " << Describe(plain) << ", memo "
                                   << Describe(memoised);
  }
}

INSTANTIATE_TEST_SUITE_P(Tables, MemoNeighbours,
                         ::testing::Combine(::testing::Values(TableKind::Plain, TableKind::Narrow, TableKind::FarValues,
                                                              TableKind::Gaps),
                                            ::testing::Bool()));

// Glyph values far off the scale (130 to 133) make keys valid whose blocks
// do not fit the memo's bytes (-128..127): such keys must never share an
// entry, with either set of loops.
TEST(MatchMemo, KeysBeyondAByteAreNotConfused) {
  GlyphTable table = speedtest::RandomTable(TableKind::Narrow, 51);
  for (int g = 1; g <= GLYPH_COUNT; ++g) {
    std::array<int16_t, 10> values{};
    for (int m = 0; m < 9; ++m) values[m] = static_cast<int16_t>(table.Row(g)[m + 1] + 124);
    values[9] = table.Row(g)[10];
    table.SetGlyph(g, table.GlyphText(g), values);
  }
  std::mt19937 rng(8);
  auto uni = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };
  for (bool vector : {false, true}) {
    SetVectorKernels(vector);
    Matcher matcher(table);
    for (int k = 0; k < 4000; ++k) {
      CellDensity cell;
      for (float& b : cell.Block) b = static_cast<float>(uni(252, 274)) * 0.5f;  // 126 to 137, halves too
      cell.Total = static_cast<float>(uni(1, 84));
      const auto plain = Capture([&] { return MatchGlyphPlain(table, cell, 2); });
      const auto memoised = Capture([&] { return matcher.MatchGlyph(cell, 2); });
      ASSERT_TRUE(plain == memoised) << "cell " << k << (vector ? " (vector)" : "") << ": plain " << Describe(plain)
                                     << ", memo " << Describe(memoised);
    }
  }
  SetVectorKernels(true);
}

// A row of cells matched in batches: the glyphs MatchGlyphPlain gives, in
// order, and for a row with a cell that raises, the plain error at that
// cell with every cell before it answered. Rows are longer than a batch,
// and repeat cells within and across batches.
TEST_P(MemoNeighbours, RowsMatchedInBatchesGetThePlainGlyphsAndError) {
  SetVectorKernels(std::get<1>(GetParam()));
  const GlyphTable table = speedtest::RandomTable(std::get<0>(GetParam()), 47);
  const GlyphTable noTop = speedtest::RandomTable(TableKind::NoTopLevel, 13);
  std::mt19937 rng(5);
  int raised = 0;
  for (const GlyphTable* t : {&table, &noTop}) {
    Matcher matcher(*t);
    for (int rowLength : {1, 31, 32, 33, 100, 257}) {
      std::vector<CellDensity> row;
      // Repeats: the cell just before (as in a flat part of a picture), or
      // one further back.
      for (int k = 0; k < rowLength; ++k) {
        const auto pick = rng() % 6;
        row.push_back(k == 0 || pick > 2 ? speedtest::RandomCell(rng) : pick < 2 ? row[k - 1] : row[rng() % k]);
      }
      const int16_t quality = static_cast<int16_t>(rng() % 4);
      std::vector<int16_t> glyphs(row.size(), -1);
      int done = -1;
      const auto batch = Capture([&] {
        matcher.MatchGlyphs(row.data(), rowLength, quality, glyphs.data(), done);
        return 0;
      });
      int k = 0;
      for (; k < rowLength; ++k) {
        const auto plain = Capture([&] { return MatchGlyphPlain(*t, row[k], quality); });
        if (plain.error) {
          EXPECT_EQ(batch.error, plain.error) << "cell " << k;
          break;
        }
        ASSERT_EQ(glyphs[k], *plain.value) << "cell " << k << " of " << rowLength;
      }
      EXPECT_EQ(done, k);
      if (k == rowLength) {
        EXPECT_EQ(batch.value, 0);
      } else {
        ++raised;
      }
    }
  }
  EXPECT_GT(raised, 0);  // the table without level 84 stops some rows
}

// On x86-64 with GCC or clang the AVX2 loops are built, and they run
// exactly where the processor has AVX2 (unless switched off).
TEST(VectorKernels, RunWhereTheProcessorHasAvx2) {
#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
  __builtin_cpu_init();
  EXPECT_EQ(VectorKernelsActive(), static_cast<bool>(__builtin_cpu_supports("avx2")));
  SetVectorKernels(false);
  EXPECT_FALSE(VectorKernelsActive());
  SetVectorKernels(true);
#else
  EXPECT_FALSE(VectorKernelsActive());
#endif
}

// A Matcher reads its table as it is when made; one made after a change sees
// the change. Copies share the index and answer alike.
TEST(Matcher, SeesTheTableAsItWasWhenMade) {
  GlyphTable table = speedtest::RandomTable(TableKind::Plain, 21);
  CellDensity cell;
  cell.Block.fill(3.0f);
  cell.Total = 27.0f;
  Matcher first(table);
  const int before = first.MatchGlyph(cell, 2);
  ASSERT_NE(before, 0);
  Matcher copy(first);
  EXPECT_EQ(&copy.index(), &first.index());
  EXPECT_EQ(copy.MatchGlyph(cell, 2), before);
  std::array<int16_t, 10> values{};
  values.fill(3);
  values[9] = table.GlyphDensity(before, 10);
  // An exact copy of the cell at a lower index of the same run wins.
  const int lowest = table.LevelStart(values[9]);
  table.SetGlyph(lowest, "x", values);
  Matcher after(table);
  EXPECT_EQ(after.MatchGlyph(cell, 2), MatchGlyphPlain(table, cell, 2));
  EXPECT_EQ(after.MatchGlyph(cell, 2), lowest);
}

}  // namespace
}  // namespace zindrel

namespace zindrel {
namespace {

// The level window three ways: FindLevelWindow, the unchecked loop, and the
// memo's table by rounded total. Totals near halves are where float rounding
// of the upper end could differ.
class LevelWindowShortcuts : public ::testing::TestWithParam<TableKind> {};

TEST_P(LevelWindowShortcuts, AgreeWithFindLevelWindow) {
  const GlyphTable table = speedtest::RandomTable(GetParam(), 31);
  const GlyphSearchIndex index(table);
  MatchMemo memo;
  std::mt19937 rng(77);
  auto uni = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };
  int shortcuts = 0;
  const int count = GetParam() == TableKind::NoTopLevel ? 200 : 4000;
  for (int k = 0; k < count; ++k) {
    float total;
    switch (uni(0, 3)) {
      case 0: total = static_cast<float>(uni(1, 84)); break;
      case 1: total = static_cast<float>(uni(1, 83)) + 0.5f; break;
      case 2: {
        total = static_cast<float>(uni(1, 83)) + 0.5f;
        for (int steps = uni(1, 40); steps > 0; --steps) total = std::nextafter(total, uni(0, 1) ? 100.0f : 0.0f);
        break;
      }
      default: total = std::uniform_real_distribution<float>(1.0f, 84.0f)(rng);
    }
    const auto quality = static_cast<int16_t>(uni(0, 9) == 0 ? uni(11, 1000) : uni(0, 10));
    std::optional<LevelWindow> expected;
    try {
      expected = FindLevelWindow(table, total, quality);
    } catch (const RuntimeError&) {
    }
    int lower = 0, upper = 0;
    if (FastLevelWindow(index, total, quality, lower, upper)) {
      ASSERT_TRUE(expected) << "total " << total;
      EXPECT_EQ(lower, expected->lowerLevel) << "total " << total << " quality " << quality;
      EXPECT_EQ(upper, expected->upperLevel) << "total " << total << " quality " << quality;
    } else {
      EXPECT_FALSE(expected) << "total " << total;
    }
    if (memo.Window(index, total, quality, lower, upper)) {
      ++shortcuts;
      ASSERT_TRUE(expected) << "total " << total;
      EXPECT_EQ(lower, expected->lowerLevel) << "total " << std::hexfloat << total << " quality " << quality;
      EXPECT_EQ(upper, expected->upperLevel) << "total " << std::hexfloat << total << " quality " << quality;
    }
  }
  if (GetParam() != TableKind::NoTopLevel) {
    EXPECT_GT(shortcuts, 1000);
  }
}

INSTANTIATE_TEST_SUITE_P(Tables, LevelWindowShortcuts,
                         ::testing::Values(TableKind::Plain, TableKind::Gaps, TableKind::NoTopLevel));

}  // namespace
}  // namespace zindrel
