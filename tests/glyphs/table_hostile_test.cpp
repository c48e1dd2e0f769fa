// Broken and hostile glyph table files: the loader stops with the system's
// run-time error naming the record, reads no line whole into memory, and
// never waits on something that is not a regular file.
#include <gtest/gtest.h>

#include "core/errors.h"
#include "core/text_reader.h"
#include "glyphs/glyph_table.h"
#include "support/process.h"
#include "support/sample_files.h"
#include "support/tables.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace zindrel {
namespace {

using hostile::Scratch;
using testing::NumberLayout;
using testing::TableBytes;

const std::string& WholeTable() {
  static const std::string table = TableBytes(GLYPH_COUNT);
  return table;
}

// The whole table with record 1's glyph line replaced.
std::string WithFirstGlyphLine(const std::string& line) {
  const std::string& whole = WholeTable();
  return line + whole.substr(whole.find("\r\n"));
}

struct TableCase {
  const char* name;
  std::function<std::string()> bytes;
  bool loads;          // the table is read whole
  ErrorKind kind;      // otherwise the error
  const char* prefix;  // and the start of its message
};

class BrokenTables : public ::testing::TestWithParam<TableCase> {};

TEST_P(BrokenTables, LoadOrStopWithTheRecordNamed) {
  const TableCase& c = GetParam();
  Scratch scratch;
  const std::string path = scratch.Write("Data.han", c.bytes());
  hostile::WithinSeconds(60, c.name, [&] {
    try {
      GlyphTable table = LoadGlyphTable(path);
      EXPECT_TRUE(c.loads) << "loaded, but should stop with " << c.prefix;
    } catch (const RuntimeError& e) {
      EXPECT_FALSE(c.loads) << e.message();
      EXPECT_EQ(e.kind(), c.kind) << e.message();
      EXPECT_EQ(e.message().rfind(c.prefix, 0), 0u) << e.message();
    }
  });
}

std::string GarbageTable(uint32_t seed, int size) { return hostile::Garbage(size, seed).toStdString(); }

const TableCase kTableCases[] = {
    {"Empty", [] { return std::string(); }, false, ErrorKind::ReadPastEnd, "input past end of file in record 1"},
    {"LfOnlyLines", [] { return TableBytes(GLYPH_COUNT, NumberLayout::Commas, "\n"); }, false, ErrorKind::ReadPastEnd,
     "input past end of file in record 1"},
    {"Records14923", [] { return TableBytes(GLYPH_COUNT - 1); }, false, ErrorKind::ReadPastEnd,
     "input past end of file in record 14924"},
    {"Level85AfterAllLevels",
     [] {
       std::string t = WholeTable();
       t.replace(t.rfind(",84\r\n"), 5, ",85\r\n");
       return t;
     },
     false, ErrorKind::OutOfRange, "subscript out of range in record 14924"},
    {"Number32768",
     [] {
       std::string t = WholeTable();
       const size_t at = t.find("\r\n") + 2;  // record 1's first number
       return t.substr(0, at) + "32768" + t.substr(t.find(',', at));
     },
     false, ErrorKind::Overflow, "overflow in record 1"},
    // Binary garbage: NUL bytes, lone CRs and LFs, bytes above 0x7F.
    {"Garbage1", [] { return GarbageTable(1, 4096); }, false, ErrorKind::TypeMismatch, "type mismatch in record 1"},
    {"GarbageNoCr",
     [] {
       std::string g = GarbageTable(2, 300000);
       for (char& ch : g)
         if (ch == '\r') ch = 'x';
       return g;
     },
     false, ErrorKind::ReadPastEnd, "input past end of file in record 1"},
    // A glyph line of exactly 64 KiB is still a line; one byte more is none.
    {"GlyphLineOf64KiB", [] { return WithFirstGlyphLine(std::string(64 * 1024, 'a')); }, true, ErrorKind::InvalidCall,
     ""},
    {"GlyphLineOver64KiB", [] { return WithFirstGlyphLine(std::string(64 * 1024 + 1, 'a')); }, false,
     ErrorKind::InvalidFormat, "invalid file format in record 1 (a line longer than 64 KiB)"},
    {"EndlessGlyphLineMidway",
     [] {
       std::string t = TableBytes(500);
       t += std::string(5 * 1024 * 1024, '\x88') + "\r\n" + TableBytes(GLYPH_COUNT);
       return t;
     },
     false, ErrorKind::InvalidFormat, "invalid file format in record 501"},
    {"EndlessGlyphLineToTheEnd", [] { return TableBytes(3) + std::string(3 * 1024 * 1024, 'z'); }, false,
     ErrorKind::ReadPastEnd, "input past end of file in record 4"},
    {"NulBytesAreGlyphText", [] { return WithFirstGlyphLine(std::string("\0\0a\0", 4)); }, true, ErrorKind::InvalidCall,
     ""},
};

INSTANTIATE_TEST_SUITE_P(Hostile, BrokenTables, ::testing::ValuesIn(kTableCases),
                         [](const ::testing::TestParamInfo<TableCase>& p) { return std::string(p.param.name); });

TEST(BrokenTables, GlyphTextWithNulBytesIsKeptWhole) {
  Scratch scratch;
  const GlyphTable table = LoadGlyphTable(scratch.Write("Data.han", WithFirstGlyphLine(std::string("\0\0a\0", 4))));
  EXPECT_EQ(table.GlyphText(1), std::string("\0\0a\0", 4));
}

// Things at the table's place that are no regular file: refused at once
// rather than read (a device has no end, a FIFO waits for a writer).
struct OddFile {
  const char* name;
  std::function<std::string(const Scratch&)> make;  // empty: skip
  const char* skipReason;
};

class NotATableFile : public ::testing::TestWithParam<OddFile> {};

TEST_P(NotATableFile, IsRefusedWithoutWaiting) {
  Scratch scratch;
  const std::string path = GetParam().make(scratch);
  if (path.empty()) GTEST_SKIP() << GetParam().skipReason;
  hostile::WithinSeconds(20, GetParam().name, [&] {
    try {
      LoadGlyphTable(path);
      ADD_FAILURE() << "loaded " << path;
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.kind(), ErrorKind::FileAccess) << e.message();
    }
  });
}

const OddFile kOddFiles[] = {
    {"Folder", [](const Scratch& s) { return s.MakeFolder("Data.han"); }, ""},
#ifndef _WIN32
    {"EndlessDevice", [](const Scratch&) { return std::string("/dev/zero"); }, ""},
    {"Fifo",
     [](const Scratch& s) {
       const std::string p = s.Path("Data.han");
       return mkfifo(p.c_str(), 0600) == 0 ? p : std::string();
     },
     "cannot make a FIFO here"},
    {"Unreadable",
     [](const Scratch& s) {
       if (hostile::RunningAsRoot()) return std::string();
       const std::string p = s.Write("Data.han", TableBytes(3));
       chmod(p.c_str(), 0);
       return p;
     },
     "running as root: permissions do not stop root from reading"},
#endif
};

INSTANTIATE_TEST_SUITE_P(Hostile, NotATableFile, ::testing::ValuesIn(kOddFiles),
                         [](const ::testing::TestParamInfo<OddFile>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace zindrel
