// The generator: the same font gives the same bytes as the shipped table,
// and bad input is refused with a message and without touching the output.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/process.h"

namespace zindrel {
namespace {

using testing::BinDir;
using testing::kTableFontFile;
using testing::ReadBytes;

struct ToolRun {
  int exitCode = -1;
  std::string errors;
};

ToolRun MakeTable(const QStringList& arguments) {
  const testing::ProgramResult result = testing::RunProgram(testing::ProgramPath("zindrel-make-table"), arguments, 120);
  ToolRun run;
  if (!result.finished) return run;
  run.exitCode = result.crashed ? -1 : result.exitCode;
  run.errors = result.err.toStdString();
  return run;
}

bool HaveGenerator() { return QFile::exists(QString::fromStdString(testing::ProgramPath("zindrel-make-table"))); }

// The table the generator writes from the installed face with these extra
// arguments; a failure of the generator fails the test.
std::string TableFromFace(const QStringList& extra) {
  QTemporaryDir dir;
  EXPECT_TRUE(dir.isValid());
  const QString out = dir.filePath("Data.han");
  const ToolRun run = MakeTable(QStringList{"--font", kTableFontFile, "-o", out} + extra);
  EXPECT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_FALSE(QFile::exists(out + ".tmp"));
  return ReadBytes(out.toStdString());
}

TEST(MakeTable, RegeneratingFromTheInstalledFaceGivesTheShippedBytes) {
  if (!HaveGenerator()) GTEST_SKIP() << "zindrel-make-table is not built";
  if (!QFile::exists(kTableFontFile))
    GTEST_SKIP() << "the table's face is not installed (" << kTableFontFile << ", Debian package fonts-arphic-uming)";
  const std::string made = TableFromFace({"--face-index", "0"});
  const std::string shipped = ReadBytes(testing::ShippedTablePath());
  ASSERT_EQ(made.size(), shipped.size());
  EXPECT_TRUE(made == shipped) << "the regenerated table differs from data/Data.han";
}

// Another glyph on top takes level 84 alone, and the full block joins the
// densest level below it, where the quality window still reaches it.
TEST(MakeTable, AnotherTopGlyphMovesTheFullBlockIntoLevel83) {
  if (!HaveGenerator()) GTEST_SKIP() << "zindrel-make-table is not built";
  if (!QFile::exists(kTableFontFile)) GTEST_SKIP() << "the table's face is not installed";
  const std::string made = TableFromFace({"--top", "2593"});
  // GBK A8 88 is U+2593 DARK SHADE, A8 80 the full block.
  const size_t block = made.find("\xA8\x80\r\n15,15,15,15,15,15,15,15,15,83\r\n");
  EXPECT_NE(block, std::string::npos);
  // The shade is the last record and the only one of level 84.
  const size_t top = made.find("\xA8\x88\r\n");
  ASSERT_NE(top, std::string::npos);
  EXPECT_GT(top, block);
  EXPECT_EQ(made.find(",84\r\n"), made.size() - 5);
}

struct BadCall {
  const char* name;
  std::vector<std::string> arguments;  // "@OUT" stands for the output path
  int exitCode;
  const char* message;
};

class MakeTableRefuses : public ::testing::TestWithParam<BadCall> {};

TEST_P(MakeTableRefuses, WithAMessageAndTheOldOutputKept) {
  if (!HaveGenerator()) GTEST_SKIP() << "zindrel-make-table is not built";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString out = dir.filePath("Data.han");
  {
    QFile old(out);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old table");
  }
  QStringList arguments;
  for (const std::string& a : GetParam().arguments)
    arguments << (a == "@OUT" ? out : a == "@DIR" ? dir.filePath("none/x.ttf") : QString::fromStdString(a));
  const ToolRun run = MakeTable(arguments);
  EXPECT_EQ(run.exitCode, GetParam().exitCode);
  EXPECT_NE(run.errors.find(GetParam().message), std::string::npos) << run.errors;
  EXPECT_EQ(ReadBytes(out.toStdString()), "old table");
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, MakeTableRefuses,
    ::testing::Values(
        BadCall{"NoFont", {"-o", "@OUT"}, 2, "usage"},
        BadCall{"UnknownOption", {"--fonts", "x", "-o", "@OUT"}, 2, "unknown argument"},
        BadCall{"MissingValue", {"-o", "@OUT", "--font"}, 2, "usage"},
        BadCall{"FontNotThere", {"--font", "@DIR", "-o", "@OUT"}, 1, "cannot open"},
        BadCall{"NotAFont", {"--font", "@OUT", "-o", "@OUT"}, 1, "cannot open"},
        BadCall{
            "FaceNotThere", {"--font", kTableFontFile, "--face-index", "99", "-o", "@OUT"}, 1, "cannot open face 99"},
        BadCall{"ThinTopNotANumber", {"--font", kTableFontFile, "--thin-top", "-1", "-o", "@OUT"}, 2, "--thin-top"},
        BadCall{"ToneFalling", {"--font", kTableFontFile, "--tone", "0:0,0.5:10,1:9", "-o", "@OUT"}, 2, "--tone"},
        BadCall{"ToneNotFromBlack", {"--font", kTableFontFile, "--tone", "0.1:0,1:15", "-o", "@OUT"}, 2, "--tone"},
        BadCall{"ToneTooFine", {"--font", kTableFontFile, "--tone", "0:0,0.1234:2,1:15", "-o", "@OUT"}, 2, "--tone"},
        BadCall{"SymbolNotInGbk", {"--font", kTableFontFile, "--symbols", "2591", "-o", "@OUT"}, 1, "U+2591"},
        BadCall{"SymbolIsHan", {"--font", kTableFontFile, "--symbols", "2593,4E00", "-o", "@OUT"}, 1, "U+4E00"},
        BadCall{"SymbolsNotHex", {"--font", kTableFontFile, "--symbols", "25A0,x", "-o", "@OUT"}, 2, "--symbols"},
        BadCall{"TopTooLight", {"--font", kTableFontFile, "--top", "2581", "-o", "@OUT"}, 1, "too little for level 84"},
        BadCall{"FaceIndexNotANumber", {"--font", kTableFontFile, "--face-index", "x", "-o", "@OUT"}, 2, "face index"}),
    [](const ::testing::TestParamInfo<BadCall>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace zindrel
