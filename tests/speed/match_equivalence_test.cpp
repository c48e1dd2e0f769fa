// The indexed glyph search against the plain one: same glyph or same error
// for random tables and cells, with and without the memo.
#include <gtest/gtest.h>

#include "convert/fast_match.h"
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
  const auto index = SearchIndexFor(table);
  MatchMemo memo;
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
    const auto fast = Capture([&] { return MatchGlyphIndexed(*index, table, cell, quality, nullptr); });
    const auto memoised = Capture([&] { return MatchGlyphIndexed(*index, table, cell, quality, &memo); });
    const auto public_ = Capture([&] { return MatchGlyph(table, cell, quality); });
    ASSERT_TRUE(plain == fast && plain == memoised && plain == public_)
        << "cell " << k << " quality " << quality << " total " << cell.Total << ": plain " << Describe(plain)
        << ", indexed " << Describe(fast) << ", memo " << Describe(memoised) << ", MatchGlyph "
        << Describe(public_);
  }
}

INSTANTIATE_TEST_SUITE_P(
    RandomTables, MatchEquivalence,
    ::testing::Combine(::testing::Values(TableCase{TableKind::Plain, 1, 300}, TableCase{TableKind::Gaps, 3, 300},
                                         TableCase{TableKind::Duplicates, 5, 300}, TableCase{TableKind::Narrow, 6, 300},
                                         TableCase{TableKind::FarValues, 8, 200}, TableCase{TableKind::Unsorted, 10, 200},
                                         TableCase{TableKind::Unsorted, 11, 200}, TableCase{TableKind::NoTopLevel, 13, 30},
                                         TableCase{TableKind::Distant, 14, 300}),
                       ::testing::Bool()));

// A table changed after its index was built gets a fresh index.
TEST(SearchIndex, FollowsChangesToTheTable) {
  GlyphTable table = speedtest::RandomTable(TableKind::Plain, 21);
  CellDensity cell;
  cell.Block.fill(3.0f);
  cell.Total = 27.0f;
  const int before = MatchGlyph(table, cell, 2);
  ASSERT_NE(before, 0);
  const auto first = SearchIndexFor(table);
  std::array<int16_t, 10> values{};
  values.fill(3);
  values[9] = table.GlyphDensity(before, 10);
  // An exact copy of the cell at a lower index of the same run wins.
  const int lowest = table.LevelStart(values[9]);
  table.SetGlyph(lowest, "x", values);
  EXPECT_NE(SearchIndexFor(table).get(), first.get());
  EXPECT_EQ(MatchGlyph(table, cell, 2), MatchGlyphPlain(table, cell, 2));
  EXPECT_EQ(MatchGlyph(table, cell, 2), lowest);
}

}  // namespace
}  // namespace zindrel
