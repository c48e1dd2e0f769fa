// The shipped glyph table keeps every point of the file contract, and the
// promises of its content: Han glyphs and two shades besides the blank and
// the full block, levels spread by the tone curve, no vector that could win
// twice.
#include <gtest/gtest.h>

#include <QList>
#include <QString>
#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/gbk.h"
#include "glyphs/glyph_table.h"
#include "support/files.h"

namespace zindrel {
namespace {

using testing::ReadBytes;
using testing::ShippedTablePath;

struct RawRecord {
  std::string glyph;
  std::array<int, 10> values{};
};

// Splits the file on CR LF and reads every record as "glyph" then
// "v1,...,v9,level"; fails the test on any other shape.
std::vector<RawRecord> ParseStrict(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    const size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "the file does not end with CR LF";
      break;
    }
    lines.push_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  EXPECT_EQ(lines.size() % 2, 0u);
  std::vector<RawRecord> records;
  for (size_t i = 0; i + 1 < lines.size(); i += 2) {
    RawRecord r;
    r.glyph = lines[i];
    const std::string& numbers = lines[i + 1];
    size_t pos = 0;
    for (int m = 0; m < 10; ++m) {
      size_t used = 0;
      r.values[m] = std::stoi(numbers.substr(pos), &used);
      pos += used;
      if (m < 9) {
        EXPECT_EQ(numbers[pos], ',') << "record " << records.size() + 1;
        ++pos;
      }
    }
    EXPECT_EQ(pos, numbers.size()) << "record " << records.size() + 1 << ": text after the level";
    records.push_back(r);
  }
  return records;
}

class ShippedTable : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    bytes_ = new std::string(ReadBytes(ShippedTablePath()));
    records_ = new std::vector<RawRecord>(ParseStrict(*bytes_));
  }
  static void TearDownTestSuite() {
    delete bytes_;
    delete records_;
  }
  static const std::vector<RawRecord>& records() { return *records_; }
  static const std::string& bytes() { return *bytes_; }
  static std::string* bytes_;
  static std::vector<RawRecord>* records_;
};
std::string* ShippedTable::bytes_ = nullptr;
std::vector<RawRecord>* ShippedTable::records_ = nullptr;

TEST_F(ShippedTable, HasExactlyTheRecordsTheLoaderReadsWithCrLfLineEndsOnly) {
  ASSERT_FALSE(bytes().empty()) << "cannot read " << ShippedTablePath();
  EXPECT_EQ(records().size(), size_t(GLYPH_COUNT));
  for (size_t i = 0; i < bytes().size(); ++i) {
    if (bytes()[i] == '\n') {
      ASSERT_TRUE(i > 0 && bytes()[i - 1] == '\r') << "bare LF at byte " << i;
    }
    if (bytes()[i] == '\r') {
      ASSERT_TRUE(i + 1 < bytes().size() && bytes()[i + 1] == '\n') << "bare CR at byte " << i;
    }
  }
}

TEST_F(ShippedTable, LoaderAgreesWithTheFileAndIndexesEveryLevelPresent) {
  const GlyphTable table = LoadGlyphTable(ShippedTablePath());
  ASSERT_EQ(records().size(), size_t(GLYPH_COUNT));
  std::map<int, int> firstOfLevel;
  for (int i = 1; i <= GLYPH_COUNT; ++i) {
    const RawRecord& r = records()[i - 1];
    ASSERT_EQ(table.GlyphText(i), r.glyph) << "record " << i;
    for (int m = 1; m <= 10; ++m) ASSERT_EQ(table.GlyphDensity(i, m), r.values[m - 1]) << "record " << i;
    firstOfLevel.emplace(r.values[9], i);
  }
  for (int level = 1; level <= LEVEL_COUNT; ++level) {
    const auto it = firstOfLevel.find(level);
    EXPECT_EQ(table.LevelStart(level), it == firstOfLevel.end() ? 0 : it->second) << "level " << level;
  }
  EXPECT_EQ(table.LevelStart(1), 1);
  EXPECT_EQ(table.LevelStart(LEVEL_COUNT), GLYPH_COUNT);
}

TEST_F(ShippedTable, LevelsAscendWithinRangeAndValuesStayOnTheScale) {
  int previous = 1;
  for (size_t i = 0; i < records().size(); ++i) {
    const RawRecord& r = records()[i];
    for (int m = 0; m < 9; ++m) ASSERT_TRUE(r.values[m] >= 0 && r.values[m] <= 15) << "record " << i + 1;
    const int level = r.values[9];
    ASSERT_GE(level, previous) << "record " << i + 1 << " breaks the order";
    ASSERT_LE(level, LEVEL_COUNT);
    previous = level;
    if (level == LEVEL_COUNT) continue;
    // A Han glyph's level is the sum of its values, folded into 1..83.
    int sum = 0;
    for (int m = 0; m < 9; ++m) sum += r.values[m];
    EXPECT_EQ(level, std::clamp(sum, 1, LEVEL_COUNT - 1)) << "record " << i + 1;
  }
}

TEST_F(ShippedTable, BlankOpensLevelOneAndTheFullBlockAloneIsLevel84) {
  ASSERT_EQ(records().size(), size_t(GLYPH_COUNT));
  EXPECT_EQ(records().front().glyph, "\xA1\xA1");
  EXPECT_EQ(GbkToUtf8(records().front().glyph), "\u3000");
  EXPECT_EQ(records().front().values, (std::array<int, 10>{0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(records().back().glyph, "\xA8\x80");
  EXPECT_EQ(GbkToUtf8(records().back().glyph), "\u2588");
  EXPECT_EQ(records().back().values, (std::array<int, 10>{15, 15, 15, 15, 15, 15, 15, 15, 15, 84}));
  EXPECT_LT(records()[records().size() - 2].values[9], LEVEL_COUNT);
}

// Besides the blank and the full block, the art is written with Han
// characters and two shades of more ink than any of them, U+2593 DARK SHADE
// and U+25A0 BLACK SQUARE, which stand for the light tones between the
// densest Han glyphs and white.
TEST_F(ShippedTable, EveryOtherGlyphIsOneDistinctHanCharacterOrShade) {
  std::set<std::string> seen;
  std::map<uint, std::array<int, 10>> shades;
  int densestHan = 0;
  for (size_t i = 1; i + 1 < records().size(); ++i) {
    const std::string& gbk = records()[i].glyph;
    ASSERT_EQ(gbk.size(), 2u) << "record " << i + 1;
    const QList<uint> ucs = QString::fromStdString(GbkToUtf8(gbk)).toUcs4();
    ASSERT_EQ(ucs.size(), 1) << "record " << i + 1;
    const uint c = ucs[0];
    EXPECT_TRUE(seen.insert(gbk).second) << "record " << i + 1 << " repeats a glyph";
    if (c == 0x2593 || c == 0x25A0) {
      shades[c] = records()[i].values;
      continue;
    }
    EXPECT_TRUE((c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0xF900 && c <= 0xFAFF))
        << "record " << i + 1 << " is U+" << std::hex << c;
    densestHan = std::max(densestHan, records()[i].values[9]);
  }
  ASSERT_EQ(shades.size(), 2u);
  for (const auto& [code, values] : shades) EXPECT_GT(values[9], densestHan) << "U+" << std::hex << code;
}

// A glyph whose vector repeats an earlier one can never win, so such glyphs
// only trail their level after every distinct one. (Which glyph leads each
// level is checked on rendered glyphs, in art_render_test.)
TEST_F(ShippedTable, RepeatedVectorsOnlyTrailTheirLevel) {
  std::set<std::array<int, 9>> vectors;
  size_t distinct = 0;
  for (size_t i = 0; i < records().size();) {
    const int level = records()[i].values[9];
    size_t end = i;
    while (end < records().size() && records()[end].values[9] == level) ++end;
    bool repeating = false;
    for (size_t j = i; j < end; ++j) {
      std::array<int, 9> v;
      std::copy_n(records()[j].values.begin(), 9, v.begin());
      const bool repeat = !vectors.insert(v).second;
      if (!repeat) ++distinct;
      EXPECT_FALSE(repeating && !repeat) << "record " << j + 1 << " is distinct but follows a repeat";
      repeating = repeating || repeat;
    }
    EXPECT_FALSE(repeating && end - i == 1) << "level " << level << " holds only a repeat";
    i = end;
  }
  // The face gives far more distinct vectors than a degenerate measurement
  // (a misplaced em square or a wrong scale) would.
  EXPECT_GT(distinct, 12000u);
}

// The tone curve spreads the Han glyphs over the levels: cells of every
// brightness up to about half of white find Han glyphs of their own level,
// and the levels above are reached by the few densest glyphs, the shades and
// the full block.
TEST_F(ShippedTable, HanGlyphsSpreadOverTheLevelsUpToHalfOfWhite) {
  std::map<int, int> perLevel;
  for (const RawRecord& r : records()) ++perLevel[r.values[9]];
  int gaps = 0;
  for (int level = 1; level <= 67; ++level) gaps += perLevel.count(level) ? 0 : 1;
  EXPECT_LE(gaps, 3) << "levels between 1 and 67 without a glyph";
  for (int level = 25; level <= 60; ++level) EXPECT_GE(perLevel[level], 90) << "level " << level;
}

}  // namespace
}  // namespace zindrel
