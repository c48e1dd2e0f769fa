// zindrel-convert as a user runs it: the built program in a child process,
// on pictures and tables the tests write, checked for its output bytes,
// exit codes, messages and how it treats an output file.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QRect>

#include <random>

#include "cli_run.h"
#include "glyphs/glyph_table.h"
#include "pictures/picture.h"
#include "support/picture_bytes.h"
#include "support/process.h"
#include "support/sample_files.h"
#include "support/tables.h"

#include "support/metafile_writer.h"

namespace zindrel {
namespace {

using testing::Record;

using clitest::Expected;
using clitest::Outcome;
using clitest::RunCli;
using clitest::Str;

class ConvertCli : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new testing::TempFolder;
    table_ = clitest::WriteDistinctTable(*folder_);
    loaded_ = new GlyphTable(LoadGlyphTable(table_));
    picture_ = new QImage(clitest::NoisePicture());
    png_ = folder_->Path("picture.png");
    bmp_ = folder_->Path("picture.bmp");
    ASSERT_TRUE(picture_->save(QString::fromStdString(png_)));
    ASSERT_TRUE(picture_->save(QString::fromStdString(bmp_)));
  }
  static void TearDownTestSuite() {
    delete loaded_;
    delete picture_;
    delete folder_;
  }
  static QString Q(const std::string& s) { return QString::fromStdString(s); }
  // A fresh folder for one test's output files.
  static QString Folder(const char* name) {
    const QString path = Q(folder_->Path(name));
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    return path;
  }
  static QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  }

  static testing::TempFolder* folder_;
  static std::string table_, png_, bmp_;
  static GlyphTable* loaded_;
  static QImage* picture_;
};

testing::TempFolder* ConvertCli::folder_ = nullptr;
std::string ConvertCli::table_, ConvertCli::png_, ConvertCli::bmp_;
GlyphTable* ConvertCli::loaded_ = nullptr;
QImage* ConvertCli::picture_ = nullptr;

struct ParameterCase {
  const char* name;
  QStringList args;
  int size, quality, brightness;
  bool gbk, lf;
};

class ConvertParameters : public ConvertCli, public ::testing::WithParamInterface<ParameterCase> {};

TEST_P(ConvertParameters, OutputIsTheEnginesArtByteForByte) {
  const ParameterCase& c = GetParam();
  const Outcome o = RunCli(QStringList{"-t", Q(table_)} + c.args + QStringList{Q(png_)});
  EXPECT_EQ(o.code, 0) << Str(o.err);
  EXPECT_EQ(Str(o.err), "");
  const std::string expected = Expected(*loaded_, *picture_, c.size, c.quality, c.brightness, c.gbk, c.lf);
  EXPECT_EQ(Str(o.out), expected);
  EXPECT_FALSE(expected.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Options, ConvertParameters,
    ::testing::Values(
        ParameterCase{"Defaults", {}, 12, 2, 100, false, false},
        ParameterCase{"ShortGbk", {"-s", "5", "-q", "0", "-b", "40", "-e", "gbk"}, 5, 0, 40, true, false},
        ParameterCase{"LongWithEquals",
                      {"--size=30", "--quality=10", "--brightness=120", "--newline", "lf"},
                      30,
                      10,
                      120,
                      false,
                      true},
        ParameterCase{"Attached", {"-s3", "-q7", "-b73", "--encoding=GBK", "--newline=lf"}, 3, 7, 73, true, true},
        ParameterCase{
            "Utf8Spelled", {"--encoding", "utf-8", "--newline", "crlf", "-s", "11"}, 11, 2, 100, false, false}),
    [](const ::testing::TestParamInfo<ParameterCase>& p) { return std::string(p.param.name); });

TEST_F(ConvertCli, GbkAndUtf8CarryTheSameGlyphs) {
  const Outcome gbk = RunCli({"-t", Q(table_), "-e", "gbk", Q(png_)});
  const Outcome utf8 = RunCli({"-t", Q(table_), Q(png_)});
  ASSERT_EQ(gbk.code, 0);
  ASSERT_EQ(utf8.code, 0);
  EXPECT_NE(gbk.out, utf8.out);
  // GB2312 characters are two bytes in GBK and three in UTF-8.
  const int lines = static_cast<int>(utf8.out.count("\r\n"));
  EXPECT_EQ((gbk.out.size() - 2 * lines) * 3, (utf8.out.size() - 2 * lines) * 2);
}

TEST_F(ConvertCli, StandardInputGivesTheSameArt) {
  QFile bmp(Q(bmp_));
  ASSERT_TRUE(bmp.open(QIODevice::ReadOnly));
  const Outcome fromPipe = RunCli({"-t", Q(table_), "-e", "gbk", "-"}, bmp.readAll());
  const Outcome fromFile = RunCli({"-t", Q(table_), "-e", "gbk", Q(png_)});
  EXPECT_EQ(fromPipe.code, 0) << Str(fromPipe.err);
  EXPECT_EQ(fromPipe.out, fromFile.out);
  EXPECT_FALSE(fromPipe.out.isEmpty());
}

TEST_F(ConvertCli, OutputFileIsWrittenWhole) {
  const QString dir = Folder("out-ok");
  const QString target = dir + "/art.txt";
  QFile old(target);
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("old content");
  old.close();
  const Outcome o = RunCli({"-t", Q(table_), "-o", target, Q(png_)});
  EXPECT_EQ(o.code, 0) << Str(o.err);
  EXPECT_TRUE(o.out.isEmpty());
  QFile art(target);
  ASSERT_TRUE(art.open(QIODevice::ReadOnly));
  EXPECT_EQ(Str(art.readAll()), Expected(*loaded_, *picture_, 12, 2, 100, false, false));
  EXPECT_EQ(Entries(dir), QStringList{"art.txt"});
}

struct FailedOutputCase {
  const char* name;
  QStringList args;  // %PNG% stands for the good picture
  const char* message;
};

class FailedOutput : public ConvertCli, public ::testing::WithParamInterface<FailedOutputCase> {};

TEST_P(FailedOutput, LeavesTheExistingFileAndNoTemporaryFile) {
  const QString dir = Folder(GetParam().name);
  const QString target = dir + "/art.txt";
  QFile old(target);
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("old content\r\n");
  old.close();
  QStringList args = {"-t", Q(table_), "-o", target};
  for (QString a : GetParam().args) args << a.replace("%PNG%", Q(png_)).replace("%DIR%", dir);
  const Outcome o = RunCli(args);
  EXPECT_EQ(o.code, 1);
  EXPECT_NE(Str(o.err).find(GetParam().message), std::string::npos) << Str(o.err);
  QFile art(target);
  ASSERT_TRUE(art.open(QIODevice::ReadOnly));
  EXPECT_EQ(art.readAll(), QByteArray("old content\r\n"));
  EXPECT_EQ(Entries(dir), QStringList{"art.txt"});
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FailedOutput,
    ::testing::Values(FailedOutputCase{"MissingPicture", {"%DIR%/none.png"}, "none.png: file not found"},
                      FailedOutputCase{"NotAPicture", {"%DIR%/art.txt"}, "art.txt: invalid picture"},
                      // The drawing fails after the text is ready: the text file stays as it was.
                      FailedOutputCase{
                          "PngIntoMissingFolder", {"--png", "%DIR%/no/such/art.png", "%PNG%"}, "art.png: "}),
    [](const ::testing::TestParamInfo<FailedOutputCase>& p) { return std::string(p.param.name); });

TEST_F(ConvertCli, OutputIntoAMissingFolderOrAFolderFails) {
  const QString dir = Folder("out-missing");
  const Outcome missing = RunCli({"-t", Q(table_), "-o", dir + "/nope/art.txt", Q(png_)});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(Str(missing.err), "zindrel-convert: " + (dir + "/nope/art.txt").toStdString() +
                                  ": path/File access error (no such folder)\n");
  const Outcome folder = RunCli({"-t", Q(table_), "-o", dir, Q(png_)});
  EXPECT_EQ(folder.code, 1);
  EXPECT_NE(Str(folder.err).find("path/File access error"), std::string::npos) << Str(folder.err);
  EXPECT_TRUE(Entries(dir).isEmpty());
}

TEST_F(ConvertCli, UnwritableStandardOutputIsAFailure) {
  if (!QFile::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  const Outcome o = RunCli({"-t", Q(table_), Q(png_)}, {}, "/dev/full");
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(Str(o.err).rfind("zindrel-convert: standard output: device I/O error", 0), 0u) << Str(o.err);
}

struct UsageCase {
  QStringList args;
  const char* message;
};

class UsageErrors : public ConvertCli, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(UsageErrors, ExitTwoWithOneLineNamingTheOption) {
  QStringList args;
  for (QString a : GetParam().args) args << a.replace("%PNG%", Q(png_));
  const Outcome o = RunCli(args);
  EXPECT_EQ(o.code, 2);
  EXPECT_TRUE(o.out.isEmpty());
  const std::string err = Str(o.err);
  EXPECT_EQ(err.rfind(std::string("zindrel-convert: ") + GetParam().message, 0), 0u) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

INSTANTIATE_TEST_SUITE_P(
    Table, UsageErrors,
    ::testing::Values(
        UsageCase{{}, "a PICTURE to convert is missing"},
        UsageCase{{"--frobnicate", "%PNG%"}, "unknown option '--frobnicate'"},
        UsageCase{{"-x", "%PNG%"}, "unknown option '-x'"},
        UsageCase{{"-s", "2", "%PNG%"}, "--size: 2 is out of range 3..30"},
        UsageCase{{"--size", "31", "%PNG%"}, "--size: 31 is out of range 3..30"},
        UsageCase{{"-s", "twelve", "%PNG%"}, "--size: 'twelve' is not a number (a whole number 3..30)"},
        UsageCase{{"-s", "12.5", "%PNG%"}, "--size: '12.5' is not a number"},
        UsageCase{{"-s", "99999999999999999999", "%PNG%"}, "--size: 99999999999999999999 is out of range"},
        UsageCase{{"-q", "-1", "%PNG%"}, "--quality: -1 is out of range 0..10"},
        UsageCase{{"--quality=11", "%PNG%"}, "--quality: 11 is out of range 0..10"},
        UsageCase{{"-b", "39", "%PNG%"}, "--brightness: 39 is out of range 40..120"},
        UsageCase{{"-b", "121", "%PNG%"}, "--brightness: 121 is out of range 40..120"},
        UsageCase{{"-b", "", "%PNG%"}, "--brightness: '' is not a number"},
        UsageCase{{"-e", "latin1", "%PNG%"}, "--encoding: 'latin1' is not an encoding (utf-8 or gbk)"},
        UsageCase{{"--newline", "cr", "%PNG%"}, "--newline: 'cr' is not a line end (crlf or lf)"},
        UsageCase{{"--png-cell", "3", "--png", "a.png", "%PNG%"}, "--png-cell: 3 is out of range 4..64"},
        UsageCase{{"--png-cell", "8", "%PNG%"}, "--png-cell: there is no --png or --html FILE"},
        UsageCase{{"%PNG%", "-s"}, "--size: a value is missing"},
        UsageCase{{"--version=2"}, "--version takes no value"},
        UsageCase{{"-o", "", "%PNG%"}, "--output: the file name is empty"},
        UsageCase{{"--color", "red", "%PNG%"}, "--color: 'red' is not a colour mode (none, 256 or truecolor)"},
        UsageCase{{"--width", "0", "%PNG%"}, "--width: 0 is out of range 1..10000"},
        UsageCase{{"--width=10001", "%PNG%"}, "--width: 10001 is out of range 1..10000"},
        UsageCase{{"--width", "wide", "%PNG%"}, "--width: 'wide' is not a number (a whole number 1..10000)"},
        UsageCase{{"--fit", "--width", "5", "%PNG%"}, "--fit and --width exclude each other"},
        UsageCase{{"--invert=yes", "%PNG%"}, "--invert takes no value"},
        UsageCase{{"--html", "", "%PNG%"}, "--html: the file name is empty"},
        UsageCase{{"-", "%PNG%", "-"}, "standard input (-) can be read once only"},
        UsageCase{{"%PNG%", ""}, "a PICTURE file name is empty"},
        // Each picture's files in the folders need a name of their own.
        UsageCase{{"--png", "out", "a/x.png", "b/X.jpg"}, "'a/x.png' and 'b/X.jpg' would write the same files (X.*)"},
        UsageCase{{"--png", "out", "--save-picture", "./out/", "a.png", "b.png"},
                  "--png and --save-picture name the same folder 'out'"}));

struct FailureCase {
  const char* name;
  QStringList args;
  std::string message;  // the start of the one line; %...% replaced
};

class ConversionFailures : public ConvertCli, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ConversionFailures, ExitOneWithFileAndReason) {
  const QString dir = Folder(GetParam().name);
  // Files some cases need.
  testing::TempFolder& f = *folder_;
  const std::string shortTable =
      f.Write(std::string(GetParam().name) + "-short.han", testing::TableBytes(GLYPH_COUNT - 1));
  const std::string noTop =
      f.Write(std::string(GetParam().name) + "-notop.han",
              testing::TableBytes(GLYPH_COUNT, testing::NumberLayout::Commas, "\r\n",
                                  [](int, Record& r) { r.values[9] = std::min<int16_t>(r.values[9], 83); }));
  QImage wide(32768, 2, QImage::Format_RGB32);
  wide.fill(Qt::white);
  const QString widePath = dir + "/wide.png";
  ASSERT_TRUE(wide.save(widePath));
  QFile text(dir + "/text.png");
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("this is not a picture");
  text.close();

  auto fill = [&](QString s) {
    return s.replace("%PNG%", Q(png_))
        .replace("%TABLE%", Q(table_))
        .replace("%DIR%", dir)
        .replace("%SHORT%", Q(shortTable))
        .replace("%NOTOP%", Q(noTop));
  };
  QStringList args;
  for (const QString& a : GetParam().args) args << fill(a);
  const Outcome o = RunCli(args);
  EXPECT_EQ(o.code, 1) << Str(o.err);
  EXPECT_TRUE(o.out.isEmpty());
  const std::string err = Str(o.err);
  const std::string expected = "zindrel-convert: " + fill(QString::fromStdString(GetParam().message)).toStdString();
  EXPECT_EQ(err.rfind(expected, 0), 0u) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConversionFailures,
    ::testing::Values(
        FailureCase{"MissingPicture", {"-t", "%TABLE%", "%DIR%/none.png"}, "%DIR%/none.png: file not found"},
        FailureCase{"NotAPicture", {"-t", "%TABLE%", "%DIR%/text.png"}, "%DIR%/text.png: invalid picture"},
        FailureCase{"PictureIsAFolder", {"-t", "%TABLE%", "%DIR%"}, "%DIR%: path/File access error"},
        FailureCase{"EmptyInput", {"-t", "%TABLE%", "-"}, "standard input: invalid picture"},
        FailureCase{"MissingTable", {"-t", "%DIR%/Data.han", "%PNG%"}, "%DIR%/Data.han: file not found"},
        FailureCase{"ShortTable", {"-t", "%SHORT%", "%PNG%"}, "%SHORT%: input past end of file in record 14924\n"},
        // A table that fails is reported before a picture that fails too,
        // whether the picture would have streamed or been decoded whole.
        FailureCase{
            "MissingTableAndPicture", {"-t", "%DIR%/Data.han", "%DIR%/none.png"}, "%DIR%/Data.han: file not found\n"},
        FailureCase{"MissingTableAndNotAPicture",
                    {"-t", "%DIR%/Data.han", "%DIR%/text.png"},
                    "%DIR%/Data.han: file not found\n"},
        FailureCase{"MissingTableAndWidePicture",
                    {"-t", "%DIR%/Data.han", "%DIR%/wide.png"},
                    "%DIR%/Data.han: file not found\n"},
        FailureCase{"ShortTableAndWideScaling",
                    {"-t", "%SHORT%", "--width", "10000", "-s", "30", "%PNG%"},
                    "%SHORT%: input past end of file in record 14924\n"},
        FailureCase{"TableWithoutLevel84",
                    {"-t", "%NOTOP%", "-b", "120", "%PNG%"},
                    "%NOTOP%: overflow (the table has no glyph of level 1 or of level 84)\n"},
        FailureCase{"WidePicture",
                    {"-t", "%TABLE%", "%DIR%/wide.png"},
                    "%DIR%/wide.png: overflow (the picture is 32768x2 pixels; at most 32767 on a side)\n"}),
    [](const ::testing::TestParamInfo<FailureCase>& p) { return std::string(p.param.name); });

// Files other readers open although something is odd about them: the art of
// the clean file, exit 0, and one warning line naming the file and the fault.
TEST_F(ConvertCli, OddFilesGiveTheirArtAndOneWarningLine) {
  namespace s = samples;
  const QString dir = Folder("odd");
  const QByteArray jpeg = s::EncodeWithQt(*picture_, "jpeg", 90);
  s::BmpLayout layout;
  layout.width = layout.height = 32;
  picture_bytes::IconImage entry{64, 64, 1, 24, s::MakeIconDib(layout)};
  struct Odd {
    const char* name;
    QByteArray clean, odd;
    std::string warning;
  };
  const Odd cases[] = {
      {"stray.jpg", jpeg, s::InsertBeforeJpegMarker(jpeg, 0xDB, QByteArray(16, '\0')),
       "JPEG: 16 stray bytes before marker 0xDB"},
      {"overstated.wmf", s::MakeWmf(true), s::WithWmfSizeOverstated(s::MakeWmf(true), 3),
       "metafile header gives " + std::to_string(s::MakeWmf(true).size() + 6) + " bytes, the file holds " +
           std::to_string(s::MakeWmf(true).size()) + " (its records are complete)"},
      {"directory.ico", picture_bytes::IconFile(1, {{32, 32, 1, 24, entry.data}}), picture_bytes::IconFile(1, {entry}),
       "icon directory gives 64 x 64 pixels, its image holds 32 x 32"},
  };
  for (const Odd& c : cases) {
    const QString clean = dir + "/clean-" + c.name, odd = dir + "/" + c.name;
    for (const auto& [path, bytes] : {std::pair{clean, c.clean}, std::pair{odd, c.odd}}) {
      QFile file(path);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
      file.write(bytes);
    }
    const Outcome want = RunCli({"-t", Q(table_), "-s", "4", clean});
    const Outcome got = RunCli({"-t", Q(table_), "-s", "4", odd});
    EXPECT_EQ(want.code, 0) << Str(want.err);
    EXPECT_TRUE(want.err.isEmpty()) << Str(want.err);
    EXPECT_EQ(got.code, 0) << c.name;
    EXPECT_FALSE(got.out.isEmpty()) << c.name;
    EXPECT_EQ(got.out, want.out) << c.name;
    EXPECT_EQ(Str(got.err), "zindrel-convert: " + odd.toStdString() + ": warning: " + c.warning + "\n");
  }
}

TEST_F(ConvertCli, HelpAndVersion) {
  for (const char* flag : {"-h", "--help"}) {
    const Outcome o = RunCli({flag});
    EXPECT_EQ(o.code, 0);
    const std::string help = Str(o.out);
    for (const char* part : {"Usage: zindrel-convert [OPTIONS] PICTURE",
                             "-s, --size N",
                             "3..30 (default 12)",
                             "-q, --quality N",
                             "0..10 (default 2)",
                             "-b, --brightness N",
                             "40..120 (default 100)",
                             "-t, --table FILE",
                             "-e, --encoding",
                             "(default utf-8)",
                             "--newline",
                             "(default crlf)",
                             "-o, --output FILE",
                             "--png FILE",
                             "--png-cell PX",
                             "--save-picture FILE",
                             "4..64 (default 16)",
                             "--version",
                             "Examples:",
                             "Exit status"})
      EXPECT_NE(help.find(part), std::string::npos) << part;
    EXPECT_TRUE(o.err.isEmpty());
  }
  const Outcome v = RunCli({"--version"});
  EXPECT_EQ(v.code, 0);
  EXPECT_EQ(Str(v.out).rfind("zindrel-convert ", 0), 0u);
  EXPECT_NE(Str(v.out).find('.'), std::string::npos);
}

TEST_F(ConvertCli, PngOfTheArtAlongsideTheText) {
  const QString dir = Folder("png");
  // Without a display and without a platform chosen, as in a plain terminal
  // session on a server.
  const Outcome o = RunCli({"-t", Q(table_), "--png", dir + "/art.png", "--png-cell", "8", Q(png_)}, {}, {},
                           {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"});
  EXPECT_EQ(o.code, 0) << Str(o.err);
  EXPECT_TRUE(o.err.isEmpty()) << Str(o.err);
  EXPECT_EQ(Str(o.out), Expected(*loaded_, *picture_, 12, 2, 100, false, false));
  const QImage art(dir + "/art.png");
  ASSERT_FALSE(art.isNull());
  // 100 x 70 at cell size 12: 8 columns and 6 rows of 8-pixel cells.
  EXPECT_EQ(art.width(), 8 * 8);
  EXPECT_EQ(art.height(), 6 * 8);
}

TEST_F(ConvertCli, DefaultTableBesideTheProgram) {
  const QString shipped = QString::fromStdString(testing::BinDir() + "/Data.han");
  if (!QFile::exists(shipped)) GTEST_SKIP() << "no Data.han beside the program in this build";
  const Outcome o = RunCli({"-e", "gbk", Q(png_)});
  EXPECT_EQ(o.code, 0) << Str(o.err);
  const GlyphTable table = LoadGlyphTable(shipped.toStdString());
  EXPECT_EQ(Str(o.out), Expected(table, *picture_, 12, 2, 100, true, false));
}

}  // namespace
}  // namespace zindrel

namespace zindrel {
namespace {

// Text in a metafile needs fonts, which plain text output would otherwise
// start without: the words must reach the art, from a file and from a pipe.
TEST_F(ConvertCli, MetafileTextReachesTheArt) {
  auto wmf = [](bool withText) {
    mftest::Wmf w(true, QRect(0, 0, 240, 96), 96);
    w.Font(-80, 0, "DejaVu Sans").Select(0).Colour(0x0209, Qt::black);
    if (withText) w.TextOut(0, 0, "WWWW");
    return w.Finish();
  };
  const QString dir = Folder("metafile_text");
  auto write = [&](const char* name, const QByteArray& bytes) {
    QFile f(dir + "/" + name);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return f.fileName();
  };
  const Outcome blank = RunCli({"-t", Q(table_), "-s", "6", write("blank.wmf", wmf(false))});
  const Outcome text = RunCli({"-t", Q(table_), "-s", "6", write("text.wmf", wmf(true))});
  const Outcome piped = RunCli({"-t", Q(table_), "-s", "6", "-"}, wmf(true));
  ASSERT_EQ(blank.code, 0) << Str(blank.err);
  ASSERT_EQ(text.code, 0) << Str(text.err);
  EXPECT_NE(text.out, blank.out);
  EXPECT_EQ(piped.out, text.out);
}

// --save-picture writes what the art was made from, like -o: through a
// temporary file, and nothing new is left behind when the run fails.
TEST_F(ConvertCli, SavePictureWritesThePictureTheArtWasMadeFrom) {
  const QString dir = Folder("save_picture");
  const Outcome o = RunCli({"-t", Q(table_), "--save-picture", dir + "/seen.png", Q(png_)});
  EXPECT_EQ(o.code, 0) << Str(o.err);
  EXPECT_TRUE(o.err.isEmpty()) << Str(o.err);
  EXPECT_EQ(Str(o.out), Expected(*loaded_, *picture_, 12, 2, 100, false, false));
  EXPECT_EQ(QImage(dir + "/seen.png").convertToFormat(QImage::Format_RGB32), *picture_);
  EXPECT_EQ(Entries(dir), QStringList{"seen.png"});

  // A later failure (the art's folder is missing) removes the new picture
  // and keeps an existing one as it was.
  QFile old(dir + "/old.png");
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("keep me");
  old.close();
  for (const char* name : {"/new.png", "/old.png"}) {
    const Outcome failed =
        RunCli({"-t", Q(table_), "--save-picture", dir + name, "-o", dir + "/no/such/art.txt", Q(png_)});
    EXPECT_EQ(failed.code, 1);
    EXPECT_NE(Str(failed.err).find("art.txt"), std::string::npos) << Str(failed.err);
  }
  EXPECT_FALSE(QFile::exists(dir + "/new.png"));
  ASSERT_TRUE(old.open(QIODevice::ReadOnly));
  EXPECT_EQ(old.readAll(), QByteArray("keep me"));
  const Outcome missing = RunCli({"-t", Q(table_), "--save-picture", dir + "/no/such/seen.png", Q(png_)});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(Str(missing.err).find("seen.png: "), std::string::npos) << Str(missing.err);
}

// A metafile whose drawing is EMF+ the player does not draw: one warning
// line naming the file and the record kinds, and the conversion goes on.
TEST_F(ConvertCli, UndrawnEmfPlusContentIsReported) {
  mftest::EmfPlus plus;
  plus.Header(false)
      .Rec(0x400A, 0x8000,
           mftest::EmfPlus::Argb(Qt::black) + mftest::EmfPlus::U32({1}) + mftest::EmfPlus::Floats({0, 0, 50, 100}))
      .Rec(0x4038, 0, mftest::EmfPlus::U32({0, 0, 0, 0, 0}));
  mftest::Emf e;
  e.Plus(plus);
  const QString dir = Folder("emf_plus");
  QFile file(dir + "/chart.emf");
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(e.Finish());
  file.close();
  const Outcome o = RunCli({"-t", Q(table_), "--save-picture", dir + "/drawn.png", file.fileName()});
  EXPECT_EQ(o.code, 0) << Str(o.err);
  EXPECT_EQ(Str(o.err), "zindrel-convert: " + file.fileName().toStdString() +
                            ": warning: 1 EMF+ SerializableObject record not drawn\n");
  EXPECT_FALSE(o.out.isEmpty());
  const QImage drawn(dir + "/drawn.png");
  ASSERT_FALSE(drawn.isNull());
  EXPECT_EQ(qGray(drawn.pixel(drawn.width() / 4, drawn.height() / 2)), 0);
  EXPECT_EQ(qGray(drawn.pixel(drawn.width() * 3 / 4, drawn.height() / 2)), 255);
}

}  // namespace
}  // namespace zindrel
