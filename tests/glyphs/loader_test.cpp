// The table loader: record layout, line ends, the level index and every
// failure, on table files written by the tests.
#include <gtest/gtest.h>

#include <thread>
#include <tuple>
#include <vector>

#include "core/errors.h"
#include "core/gbk.h"
#include "glyphs/glyph_table.h"
#include "support/raises.h"
#include "support/tables.h"

namespace zindrel {
namespace {

using testing::NumberLayout;
using testing::Record;
using testing::SampleRecord;
using testing::TableBytes;
using testing::TempFolder;

// Loads bytes as a table file; returns the error it raised, if any.
struct LoadOutcome {
  bool ok = false;
  GlyphTable table;
  ErrorKind kind{};
  std::string message;
};

LoadOutcome LoadBytes(const std::string& bytes) {
  TempFolder folder;
  LoadOutcome outcome;
  try {
    outcome.table = LoadGlyphTable(folder.Write("Data.han", bytes));
    outcome.ok = true;
  } catch (const RuntimeError& e) {
    outcome.kind = e.kind();
    outcome.message = e.message();
  }
  return outcome;
}

void ExpectSampleTable(const GlyphTable& table) {
  for (int i : {1, 2, 3, 777, 5000, GLYPH_COUNT - 1, GLYPH_COUNT}) {
    const Record r = SampleRecord(i);
    ASSERT_EQ(table.GlyphText(i), r.glyph) << "record " << i;
    for (int m = 1; m <= 10; ++m) ASSERT_EQ(table.GlyphDensity(i, m), r.values[m - 1]) << i << "," << m;
  }
  // Every level is present: each starts at its first record.
  for (int level = 1; level <= LEVEL_COUNT; ++level) {
    const int start = table.LevelStart(level);
    ASSERT_GT(start, 0) << "level " << level;
    EXPECT_EQ(testing::SpreadLevel(start), level);
    if (start > 1) {
      EXPECT_EQ(testing::SpreadLevel(start - 1), level - 1);
    }
  }
}

class LoaderLayouts : public ::testing::TestWithParam<std::tuple<NumberLayout, const char*>> {};

TEST_P(LoaderLayouts, EveryLayoutGivesTheSameTable) {
  const auto [layout, eol] = GetParam();
  LoadOutcome outcome = LoadBytes(TableBytes(GLYPH_COUNT, layout, eol));
  ASSERT_TRUE(outcome.ok) << outcome.message;
  ExpectSampleTable(outcome.table);
  EXPECT_EQ(outcome.table.GlyphUtf8(1), "\xE4\xB8\xAD");  // GBK D6 D0 is U+4E2D
}

INSTANTIATE_TEST_SUITE_P(LineEndsAndSeparators, LoaderLayouts,
                         ::testing::Combine(::testing::Values(NumberLayout::Commas, NumberLayout::Blanks,
                                                              NumberLayout::OnePerLine),
                                            ::testing::Values("\r\n", "\r")));

TEST(Loader, LastNumberMayEndTheFile) {
  std::string bytes = TableBytes(GLYPH_COUNT);
  bytes.resize(bytes.size() - 2);  // drop the final CR LF
  LoadOutcome outcome = LoadBytes(bytes);
  ASSERT_TRUE(outcome.ok) << outcome.message;
  ExpectSampleTable(outcome.table);
}

TEST(Loader, RecordsPastTheLastAreNeverRead) {
  const std::string rest = "garbage line\r\n1,2,x,,\r\n99999\r\n\r\nLEVEL\r\n1,1,1,1,1,1,1,1,1,85\r\n";
  LoadOutcome outcome = LoadBytes(TableBytes(GLYPH_COUNT + 3) + rest);
  ASSERT_TRUE(outcome.ok) << outcome.message;
  ExpectSampleTable(outcome.table);
}

struct FailureCase {
  const char* name;
  std::string bytes;
  ErrorKind kind;
  std::string message;
};

class LoaderFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(LoaderFailures, StopsWithTheRightError) {
  LoadOutcome outcome = LoadBytes(GetParam().bytes);
  ASSERT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.kind, GetParam().kind) << outcome.message;
  EXPECT_EQ(outcome.message.rfind(GetParam().message, 0), 0u) << outcome.message;
}

std::string WithLevel(int record, int16_t level) {
  return TableBytes(GLYPH_COUNT, NumberLayout::Commas, "\r\n", [=](int i, Record& r) {
    if (i == record) r.values[9] = level;
  });
}

std::string WithValue(int record, const std::string& field) {
  std::string bytes = TableBytes(record - 1);
  bytes += "\xB0\xA1\r\n1,2,3," + field + ",5,6,7,8,9,1\r\n";
  return bytes + TableBytes(GLYPH_COUNT);  // enough records after it
}

std::vector<FailureCase> Failures() {
  std::string lfOnly = TableBytes(GLYPH_COUNT, NumberLayout::Commas, "\n");
  std::string smallLf = TableBytes(40, NumberLayout::Commas, "\n");
  std::string cut = TableBytes(GLYPH_COUNT);
  cut.resize(cut.size() - 4);  // the last record loses its level
  return {
      {"Records14923", TableBytes(GLYPH_COUNT - 1), ErrorKind::ReadPastEnd, "input past end of file in record 14924"},
      {"LastRecordCut", cut, ErrorKind::ReadPastEnd, "input past end of file in record 14924"},
      {"Empty", "", ErrorKind::ReadPastEnd, "input past end of file in record 1"},
      // A bare LF ends no glyph line: the whole file is the first glyph line.
      {"BareLfSmall", smallLf, ErrorKind::ReadPastEnd, "input past end of file in record 1"},
      {"BareLfFullSize", lfOnly, ErrorKind::ReadPastEnd, "input past end of file in record 1"},
      {"Level85First", WithLevel(1, 85), ErrorKind::OutOfRange, "subscript out of range in record 1"},
      {"Level85Middle", WithLevel(7000, 85), ErrorKind::OutOfRange, "subscript out of range in record 7000"},
      // All 84 levels are indexed by then; 85 is still not below the next
      // expected level.
      {"Level85Last", WithLevel(GLYPH_COUNT, 85), ErrorKind::OutOfRange, "subscript out of range in record 14924"},
      {"LevelHuge", WithLevel(300, 32767), ErrorKind::OutOfRange, "subscript out of range in record 300"},
      {"Number32768", WithValue(12, "32768"), ErrorKind::Overflow, "overflow in record 12"},
      {"NumberBelowRange", WithValue(12, "-32769"), ErrorKind::Overflow, "overflow in record 12"},
      {"NumberLong", WithValue(3, "123456789012345678901234567890"), ErrorKind::Overflow, "overflow in record 3"},
      {"NotANumber", WithValue(5, "x7"), ErrorKind::TypeMismatch, "type mismatch in record 5"},
  };
}

INSTANTIATE_TEST_SUITE_P(Table, LoaderFailures, ::testing::ValuesIn(Failures()),
                         [](const ::testing::TestParamInfo<FailureCase>& p) { return std::string(p.param.name); });

TEST(Loader, MissingFileOrFolderIsReported) {
  TempFolder folder;
  EXPECT_RAISES(ErrorKind::FileNotFound, "File not found", LoadGlyphTable(folder.Path("Data.han")));
  EXPECT_RAISES(ErrorKind::FileAccess, "", LoadGlyphTable(folder.Path("")));
}

TEST(Loader, LevelIndexFollowsFirstRecordsOfRisingLevels) {
  // Levels 1 1 2 2 2 4, then level 3 after level 5, level 0 and a negative
  // level, then the rest rising to 84.
  const int16_t head[] = {1, 1, 2, 2, 2, 4, 5, 3, 0, -7, 5};
  LoadOutcome outcome = LoadBytes(TableBytes(GLYPH_COUNT, NumberLayout::Commas, "\r\n", [&](int i, Record& r) {
    if (i <= 11)
      r.values[9] = head[i - 1];
    else
      r.values[9] = std::max<int16_t>(6, testing::SpreadLevel(i));
  }));
  ASSERT_TRUE(outcome.ok) << outcome.message;
  const GlyphTable& t = outcome.table;
  EXPECT_EQ(t.LevelStart(1), 1);
  EXPECT_EQ(t.LevelStart(2), 3);
  EXPECT_EQ(t.LevelStart(3), 0);  // level 3 turned up only after level 5
  EXPECT_EQ(t.LevelStart(4), 6);
  EXPECT_EQ(t.LevelStart(5), 7);
  EXPECT_EQ(t.LevelStart(6), 12);
  EXPECT_GT(t.LevelStart(84), 0);
  // Records that are not indexed stay in the table where they stand.
  EXPECT_EQ(t.GlyphDensity(8, 10), 3);
  EXPECT_EQ(t.GlyphDensity(9, 10), 0);
  EXPECT_EQ(t.GlyphDensity(10, 10), -7);
  EXPECT_EQ(t.GlyphText(10), SampleRecord(10).glyph);
}

TEST(Loader, GlyphLinesAreKeptWhole) {
  // An empty glyph line, blanks and commas inside a glyph line, two
  // characters, a bare LF inside a line, and extreme sub-block values.
  const std::vector<std::string> glyphs = {"", "\xB0\xA1  ", "\xB0\xA1\xD6\xD0", " ,a, ", "x\ny"};
  LoadOutcome outcome = LoadBytes(TableBytes(GLYPH_COUNT, NumberLayout::Commas, "\r\n", [&](int i, Record& r) {
    if (i <= 5) r.glyph = glyphs[i - 1];
    if (i == 2) r.values[0] = -32768, r.values[1] = 32767;
  }));
  ASSERT_TRUE(outcome.ok) << outcome.message;
  const GlyphTable& t = outcome.table;
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(t.GlyphText(i), glyphs[i - 1]) << i;
  EXPECT_EQ(t.GlyphUtf8(1), "");
  EXPECT_EQ(t.GlyphUtf8(2), "\xE5\x95\x8A  ");  // U+554A and two blanks
  EXPECT_EQ(t.GlyphUtf8(3), "\xE5\x95\x8A\xE4\xB8\xAD");
  EXPECT_EQ(t.GlyphDensity(1, 1), SampleRecord(1).values[0]);  // numbers come after the empty line
  EXPECT_EQ(t.GlyphDensity(2, 1), -32768);
  EXPECT_EQ(t.GlyphDensity(2, 2), 32767);
}

TEST(GlyphTableAccess, IndicesOutsideTheBoundsRaise) {
  GlyphTable t;
  for (int i : {0, GLYPH_COUNT + 1, -1}) {
    EXPECT_THROW(t.GlyphText(i), RuntimeError) << i;
    EXPECT_THROW(t.GlyphDensity(i, 1), RuntimeError) << i;
  }
  EXPECT_THROW(t.GlyphDensity(1, 0), RuntimeError);
  EXPECT_THROW(t.GlyphDensity(1, 11), RuntimeError);
  EXPECT_THROW(t.LevelStart(0), RuntimeError);
  EXPECT_THROW(t.LevelStart(85), RuntimeError);
  EXPECT_EQ(t.LevelStart(84), 0);
  EXPECT_EQ(t.GlyphText(GLYPH_COUNT), "");
}

// A table opens without decoding its glyphs to UTF-8; each is decoded at its
// first use, also by several threads at once, and again after it changes. A
// copy decodes its own.
TEST(GlyphUtf8, DecodedOnFirstUseByAnyThreadAndAfterAChange) {
  GlyphTable table;
  for (int i = 1; i <= GLYPH_COUNT; ++i) {
    const int k = (i - 1) % (72 * 94);
    table.SetGlyph(i, {static_cast<char>(0xB0 + k / 94), static_cast<char>(0xA1 + k % 94), 'x'}, {});
  }
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = GLYPH_COUNT - t; i >= 1; i -= 3)
        if (table.GlyphUtf8(i) != GbkToUtf8(table.GlyphText(i))) ++wrong[t];
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));

  const std::string& before = table.GlyphUtf8(7);
  EXPECT_EQ(before, GbkToUtf8(table.GlyphText(7)));
  table.SetGlyph(7, "\xC4\xE3", {});
  EXPECT_EQ(table.GlyphUtf8(7), "\xE4\xBD\xA0");  // 你
  GlyphTable copy = table;
  copy.SetGlyph(8, "A", {});
  EXPECT_EQ(copy.GlyphUtf8(7), "\xE4\xBD\xA0");
  EXPECT_EQ(copy.GlyphUtf8(8), "A");
  EXPECT_EQ(table.GlyphUtf8(8), GbkToUtf8(table.GlyphText(8)));
  EXPECT_THROW(table.GlyphUtf8(0), RuntimeError);
  EXPECT_THROW(table.GlyphUtf8(GLYPH_COUNT + 1), RuntimeError);
}

}  // namespace
}  // namespace zindrel
