// zindrel-convert against hostile files: damaged, forged and odd pictures,
// broken tables, and outputs that cannot be written. Each run ends by itself
// with exit 1 and one line naming the file and the reason (or succeeds), and
// an existing output file keeps its content.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <functional>

#include "glyphs/glyph_table.h"
#include "support/process.h"
#include "support/sample_files.h"
#include "support/tables.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#endif

namespace zindrel {
namespace {

namespace s = samples;
using hostile::Scratch;

std::string Program() { return testing::ProgramPath("zindrel-convert"); }

QByteArray Cut(const QByteArray& whole) { return whole.left(whole.size() / 2); }

QByteArray ForgedBmp(int32_t width, int32_t height, int bpp = 24) {
  s::BmpLayout layout;
  layout.bpp = bpp;
  s::Bytes b;
  b.data = s::MakeBmp(layout);
  b.put32(s::kBmpWidthAt, static_cast<uint32_t>(width));
  b.put32(s::kBmpHeightAt, static_cast<uint32_t>(height));
  return b.data;
}

// A 1-bit BMP: a very long side costs few bytes.
QByteArray LongBmp(int width, int height) {
  s::BmpLayout layout;
  layout.width = width;
  layout.height = height;
  layout.bpp = 1;
  return s::MakeBmp(layout);
}

// One run's set-up: the picture and table paths it uses, made in `dir`.
struct RunFiles {
  std::string picture;
  std::string table;
  std::string skip;  // non-empty: the case cannot be made here, and why
};

struct CliCase {
  const char* name;
  std::function<RunFiles(const Scratch&, const std::string& goodPicture, const std::string& goodTable)> setup;
  const char* subject;  // "picture" or "table": which file the message names
  const char* reason;   // the start of the reason after "file: "
};

RunFiles PictureFile(const Scratch& sc, const std::string& table, const char* name, const QByteArray& bytes) {
  return {sc.Write(name, bytes), table, {}};
}

const CliCase kCases[] = {
    {"EmptyPicture", [](const Scratch& sc, auto&, auto& t) { return PictureFile(sc, t, "empty.bmp", {}); }, "picture",
     "invalid picture"},
    {"GarbagePicture",
     [](const Scratch& sc, auto&, auto& t) { return PictureFile(sc, t, "garbage.jpg", hostile::Garbage(5000, 7)); },
     "picture", "invalid picture"},
    {"CutBmp", [](const Scratch& sc, auto&, auto& t) { return PictureFile(sc, t, "cut.bmp", Cut(LongBmp(300, 200))); },
     "picture", "invalid picture"},
    {"CutRle",
     [](const Scratch& sc, auto&, auto& t) {
       s::BmpLayout layout;
       layout.width = 60;
       layout.height = 40;
       layout.bpp = 8;
       layout.compression = s::BmpCompression::Rle8;
       return PictureFile(sc, t, "cut.rle", Cut(s::MakeBmp(layout)));
     },
     "picture", "invalid picture"},
    {"CutGif",
     [](const Scratch& sc, auto&, auto& t) { return PictureFile(sc, t, "cut.gif", Cut(s::MakeGif(60, 40, 16))); },
     "picture", "invalid picture"},
    {"CutJpeg",
     [](const Scratch& sc, auto&, auto& t) {
       return PictureFile(sc, t, "cut.jpg", Cut(s::EncodeWithQt(s::TestPicture(64, 48), "jpeg", 90)));
     },
     "picture", "invalid picture"},
    {"CutPng",
     [](const Scratch& sc, auto&, auto& t) {
       return PictureFile(sc, t, "cut.png", Cut(s::EncodeWithQt(s::TestPicture(64, 48), "png")));
     },
     "picture", "invalid picture"},
    {"CutIcon",
     [](const Scratch& sc, auto&, auto& t) { return PictureFile(sc, t, "cut.ico", Cut(s::MakeIcon(32, 32, false))); },
     "picture", "invalid picture"},
    {"CutWmf", [](const Scratch& sc, auto&, auto& t) { return PictureFile(sc, t, "cut.wmf", Cut(s::MakeWmf(true))); },
     "picture", "invalid picture"},
    {"CutEmf", [](const Scratch& sc, auto&, auto& t) { return PictureFile(sc, t, "cut.emf", Cut(s::MakeEmf())); },
     "picture", "invalid picture"},
    {"BmpClaiming100000Squared",
     [](const Scratch& sc, auto&, auto& t) { return PictureFile(sc, t, "huge.bmp", ForgedBmp(100000, 100000)); },
     "picture", "invalid picture"},
    {"BmpNegativeWidth",
     [](const Scratch& sc, auto&, auto& t) { return PictureFile(sc, t, "negative.bmp", ForgedBmp(-8, 6)); }, "picture",
     "invalid picture"},
    {"BmpLowestHeight",
     [](const Scratch& sc, auto&, auto& t) {
       return PictureFile(sc, t, "lowest.bmp", ForgedBmp(8, static_cast<int32_t>(0x80000000u)));
     },
     "picture", "invalid picture"},
    {"BmpWiderThan32767",
     [](const Scratch& sc, auto&, auto& t) { return PictureFile(sc, t, "wide.bmp", LongBmp(40000, 1)); }, "picture",
     "overflow"},
    {"BmpHigherThan32767",
     [](const Scratch& sc, auto&, auto& t) { return PictureFile(sc, t, "high.bmp", LongBmp(1, 40000)); }, "picture",
     "overflow"},
    {"PictureIsAFolder",
     [](const Scratch& sc, auto&, auto& t) {
       return RunFiles{sc.MakeFolder("folder.bmp"), t, {}};
     },
     "picture", "path/File access error"},
#ifndef _WIN32
    {"PictureIsAnEndlessDevice",
     [](const Scratch&, auto&, auto& t) {
       return RunFiles{"/dev/zero", t, {}};
     },
     "picture", "path/File access error"},
    {"PictureIsAFifo",
     [](const Scratch& sc, auto&, auto& t) {
       const std::string p = sc.Path("fifo.bmp");
       if (mkfifo(p.c_str(), 0600) != 0) return RunFiles{{}, {}, "cannot make a FIFO here"};
       return RunFiles{p, t, {}};
     },
     "picture", "path/File access error"},
    {"PictureUnreadable",
     [](const Scratch& sc, auto& good, auto& t) {
       if (hostile::RunningAsRoot())
         return RunFiles{{}, {}, "running as root: permissions do not stop root from reading"};
       const std::string p = sc.Write("locked.bmp", hostile::ReadAll(good));
       chmod(p.c_str(), 0);
       return RunFiles{p, t, {}};
     },
     "picture", "path/File access error"},
#endif
    {"TableEmpty",
     [](const Scratch& sc, auto& p, auto&) {
       return RunFiles{p, sc.Write("empty.han", QByteArray()), {}};
     },
     "table", "input past end of file in record 1"},
    {"TableLfOnly",
     [](const Scratch& sc, auto& p, auto&) {
       return RunFiles{
           p, sc.Write("lf.han", testing::TableBytes(GLYPH_COUNT, testing::NumberLayout::Commas, "\n")), {}};
     },
     "table", "input past end of file in record 1"},
    {"TableOf14923Records",
     [](const Scratch& sc, auto& p, auto&) {
       return RunFiles{p, sc.Write("short.han", testing::TableBytes(14923)), {}};
     },
     "table", "input past end of file in record 14924"},
    {"TableWithLevel85",
     [](const Scratch& sc, auto& p, auto&) {
       std::string t = testing::TableBytes(GLYPH_COUNT);
       t.replace(t.find(",1\r\n"), 4, ",85\r\n");
       return RunFiles{p, sc.Write("level85.han", t), {}};
     },
     "table", "subscript out of range in record 1"},
    {"TableWith32768",
     [](const Scratch& sc, auto& p, auto&) {
       std::string t = testing::TableBytes(GLYPH_COUNT);
       t.replace(t.find(",1\r\n"), 4, ",32768\r\n");
       return RunFiles{p, sc.Write("big.han", t), {}};
     },
     "table", "overflow in record 1"},
    {"TableOfGarbage",
     [](const Scratch& sc, auto& p, auto&) {
       return RunFiles{p, sc.Write("garbage.han", hostile::Garbage(70000, 3)), {}};
     },
     "table", ""},
    {"TableWithEndlessLine",
     [](const Scratch& sc, auto& p, auto&) {
       return RunFiles{p, sc.Write("endless.han", testing::TableBytes(2) + std::string(8 << 20, 'x') + "\r\n"), {}};
     },
     "table", "invalid file format in record 3 (a line longer than 64 KiB)"},
#ifndef _WIN32
    {"TableIsAnEndlessDevice",
     [](const Scratch&, auto& p, auto&) {
       return RunFiles{p, "/dev/zero", {}};
     },
     "table", "path/File access error"},
#endif
};

// A good table and picture shared by every run.
class CliFixture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    hostile::EnsureGuiApp();
    shared_ = new Scratch;
    table_ = shared_->Write("Data.han", testing::TableBytes(GLYPH_COUNT));
    picture_ = shared_->Write("good.bmp", LongBmp(48, 36));
  }
  static void TearDownTestSuite() {
    delete shared_;
    shared_ = nullptr;
  }
  static Scratch* shared_;
  static std::string table_, picture_;
};
Scratch* CliFixture::shared_ = nullptr;
std::string CliFixture::table_, CliFixture::picture_;

class HostileCli : public CliFixture, public ::testing::WithParamInterface<CliCase> {};

std::string Str(const QByteArray& b) { return b.toStdString(); }

TEST_P(HostileCli, ExitOneWithOneLineAndTheOutputFileUntouched) {
  const CliCase& c = GetParam();
  Scratch scratch;
  const RunFiles setup = c.setup(scratch, picture_, table_);
  if (!setup.skip.empty()) GTEST_SKIP() << setup.skip;
  const std::string outDir = scratch.MakeFolder("out");
  const std::string target = scratch.Write("out/art.txt", QByteArray("old art\r\n"));

  const hostile::ProgramResult r =
      hostile::RunProgram(Program(), {"-t", QString::fromStdString(setup.table), "-o", QString::fromStdString(target),
                                      QString::fromStdString(setup.picture)});
  ASSERT_TRUE(r.finished) << "hangs";
  ASSERT_FALSE(r.crashed) << Str(r.err);
  EXPECT_EQ(r.exitCode, 1) << Str(r.err);
  EXPECT_TRUE(r.out.isEmpty());
  const std::string err = Str(r.err);
  const std::string named = std::string(c.subject) == "table" ? setup.table : setup.picture;
  const std::string expected = "zindrel-convert: " + named + ": " + c.reason;
  EXPECT_EQ(err.rfind(expected, 0), 0u) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_EQ(hostile::ReadAll(target), QByteArray("old art\r\n"));
  EXPECT_EQ(QDir(QString::fromStdString(outDir)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList{"art.txt"});
}

INSTANTIATE_TEST_SUITE_P(Hostile, HostileCli, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<CliCase>& p) { return std::string(p.param.name); });

#ifndef _WIN32
// Outputs that are devices: written straight into, never replaced by a plain
// file (as root a rename over /dev/null would do just that). Device nodes
// made in a scratch folder stand in for /dev/null and /dev/full.
struct DeviceCase {
  const char* name;
  unsigned minor;  // 3: null, 7: full
  const char* option;
  int exitCode;
  const char* reason;
};

class DeviceOutput : public CliFixture, public ::testing::WithParamInterface<DeviceCase> {};

TEST_P(DeviceOutput, IsWrittenIntoAndStaysADevice) {
  const DeviceCase& c = GetParam();
  Scratch scratch;
  std::string device = scratch.Path(c.name);
  if (!hostile::RunningAsRoot() || mknod(device.c_str(), S_IFCHR | 0666, makedev(1, c.minor)) != 0) {
    // Without the right to make nodes, the real device serves: nobody but
    // root could replace it anyway.
    device = c.minor == 3 ? "/dev/null" : "/dev/full";
  }
  const hostile::ProgramResult r =
      hostile::RunProgram(Program(), {"-t", QString::fromStdString(table_), "-s", "3", c.option,
                                      QString::fromStdString(device), QString::fromStdString(picture_)});
  ASSERT_TRUE(r.finished);
  ASSERT_FALSE(r.crashed);
  EXPECT_EQ(r.exitCode, c.exitCode) << Str(r.err);
  if (c.exitCode) {
    EXPECT_EQ(Str(r.err).rfind("zindrel-convert: " + device + ": " + c.reason, 0), 0u) << Str(r.err);
  }
  struct stat st {};
  ASSERT_EQ(stat(device.c_str(), &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode)) << device << " is no longer a device";
  EXPECT_EQ(QDir(QString::fromStdString(scratch.Path(""))).entryList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList{})
      << "a temporary file was left";
}

INSTANTIATE_TEST_SUITE_P(Hostile, DeviceOutput,
                         ::testing::Values(DeviceCase{"null", 3, "-o", 0, ""},
                                           DeviceCase{"full", 7, "-o", 1, "device I/O error"},
                                           DeviceCase{"pngnull", 3, "--png", 0, ""},
                                           DeviceCase{"pngfull", 7, "--png", 1, "device I/O error"}),
                         [](const ::testing::TestParamInfo<DeviceCase>& p) { return std::string(p.param.name); });
#endif

}  // namespace
}  // namespace zindrel
