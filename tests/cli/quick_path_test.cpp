// zindrel-convert does one JPEG or PNG file to standard output itself,
// without Qt, and starts zindrel-convert-full for everything else. To the
// user the two are one program: for every command line both give the same
// output, messages and exit status. A copy of zindrel-convert alone, without
// the full converter beside it, shows which command lines stay on the quick
// path.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <filesystem>

#include "cli_run.h"
#include "support/jpeg_png.h"

namespace zindrel {
namespace {

using clitest::Str;

// The standard CRC-32 of PNG chunks.
uint32_t Crc32(const char* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= static_cast<unsigned char>(data[i]);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// A PNG whose first IDAT chunk has a broken compression header but a right
// checksum: its structure passes the checks, and libpng refuses it only when
// the rows are read, after the quick path has begun.
QByteArray BreakImageData(QByteArray png) {
  const qsizetype type = png.indexOf("IDAT");
  png[type + 4] = '\x00';  // the zlib header's method: 0 is no method
  const auto length = static_cast<uint32_t>(
      static_cast<unsigned char>(png[type - 4]) << 24 | static_cast<unsigned char>(png[type - 3]) << 16 |
      static_cast<unsigned char>(png[type - 2]) << 8 | static_cast<unsigned char>(png[type - 1]));
  const uint32_t crc = Crc32(png.constData() + type, length + 4);
  for (int i = 0; i < 4; ++i) png[type + 4 + length + i] = static_cast<char>(crc >> (24 - 8 * i));
  return png;
}

// A JPEG with bytes that are no marker after its first header segment.
QByteArray WithStrayBytes(const QByteArray& jpeg) {
  const int first = 4 + (static_cast<unsigned char>(jpeg[4]) << 8 | static_cast<unsigned char>(jpeg[5]));
  return jpeg.left(first) + QByteArray("junk") + jpeg.mid(first);
}

QByteArray BmpOf(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "BMP");
  return bytes;
}

class QuickPath : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    namespace s = samples;
    folder_ = new testing::Scratch;
    table_ = clitest::WriteDistinctTable(*folder_);
    s::JpegSpec photo;
    photo.width = 301;
    photo.height = 203;
    s::JpegSpec grey = photo;
    grey.colour = s::JpegSpec::Colour::Grey;
    grey.progressive = true;
    s::JpegSpec cmyk = photo;
    cmyk.colour = s::JpegSpec::Colour::Cmyk;
    s::PngSpec rgba;
    rgba.colour = s::PngSpec::Colour::Rgba;
    rgba.width = 190;
    rgba.height = 133;
    s::PngSpec interlaced = rgba;
    interlaced.colour = s::PngSpec::Colour::Rgb;
    interlaced.interlaced = true;
    s::PngSpec deepAlpha = rgba;  // 16 bits with alpha: read by Qt
    deepAlpha.depth = 16;
    const QByteArray jpeg = s::EncodeJpeg(photo, 3);
    QByteArray cut = jpeg.left(jpeg.size() / 2);
    quick_ = new std::vector<std::string>{
        folder_->Write("photo.jpg", jpeg),
        folder_->Write("grey.jpg", s::EncodeJpeg(grey, 4)),
        folder_->Write("cmyk.jpg", s::EncodeJpeg(cmyk, 5)),
        folder_->Write("alpha.png", s::EncodePng(rgba, 6)),
        folder_->Write("interlaced.png", s::EncodePng(interlaced, 7)),
        // Stray bytes after the first segment: converted, with a warning.
        folder_->Write("stray.jpg", WithStrayBytes(jpeg)),
    };
    full_ = new std::vector<std::string>{
        folder_->Write("deep-alpha.png", s::EncodePng(deepAlpha, 8)),
        folder_->Write("broken-data.png", BreakImageData(s::EncodePng(rgba, 9))),
        folder_->Write("cut.jpg", cut),
        folder_->Write("picture.bmp", BmpOf(QImage::fromData(jpeg))),
        folder_->Write("empty.png", QByteArray()),
        folder_->MakeFolder("folder.jpg"),
        folder_->Path("missing.jpg"),
    };
  }
  static void TearDownTestSuite() {
    delete quick_;
    delete full_;
    delete folder_;
  }
  static QString Q(const std::string& s) { return QString::fromStdString(s); }
  static testing::ProgramResult Run(const std::string& program, const QStringList& args) {
    testing::RunOptions options;
    options.seconds = 120;
    return testing::RunProgram(program, args, options);
  }
  // Both programs on one command line: the same in every respect.
  static void ExpectTheSame(const QStringList& args) {
    const testing::ProgramResult quick = Run(testing::ProgramPath("zindrel-convert"), args);
    const testing::ProgramResult full = Run(testing::ProgramPath("zindrel-convert-full"), args);
    const std::string line = Str(args.join(' ').toUtf8());
    ASSERT_TRUE(quick.finished && full.finished) << line;
    EXPECT_FALSE(quick.crashed) << line;
    EXPECT_EQ(quick.exitCode, full.exitCode) << line;
    EXPECT_TRUE(quick.out == full.out) << line;
    EXPECT_EQ(Str(quick.err), Str(full.err)) << line;
  }

  static testing::Scratch* folder_;
  static std::string table_;
  static std::vector<std::string>* quick_;  // files the quick path converts
  static std::vector<std::string>* full_;   // files it leaves to the full converter
};

testing::Scratch* QuickPath::folder_ = nullptr;
std::string QuickPath::table_;
std::vector<std::string>* QuickPath::quick_ = nullptr;
std::vector<std::string>* QuickPath::full_ = nullptr;

TEST_F(QuickPath, EveryFileAndOptionGivesWhatTheFullConverterGives) {
  const QStringList optionSets[] = {
      {},
      {"--invert", "--width", "37"},
      {"-s", "3", "-q", "0", "-b", "70"},
      {"--color", "truecolor", "-e", "gbk", "--newline", "lf", "-s", "7"},
      {"--color", "256", "--invert", "-o", "-"},
  };
  for (const QStringList& options : optionSets)
    for (const std::vector<std::string>* files : {quick_, full_})
      for (const std::string& file : *files)
        ExpectTheSame(QStringList{"-t", Q(table_)} + options + QStringList{Q(file)});
}

TEST_F(QuickPath, CommandLinesBeyondItGiveWhatTheFullConverterGives) {
  const QString photo = Q(quick_->front());
  const QString table = Q(table_);
  const QStringList lines[] = {
      {"-t", table, photo, photo},                      // several pictures
      {"-t", Q(folder_->Path("no-table.han")), photo},  // no table
      {"-t", Q(quick_->at(1)), photo},                  // not a table
      {"-t", table, "--fit", photo},                    // standard output is no terminal
      {"-t", table, "--width", "0", photo},             // a bad option
      {"-t", table},                                    // no picture
      {"--help"},
      {"--version"},
  };
  for (const QStringList& line : lines) ExpectTheSame(line);
}

// The default table is the one beside the program, on either path.
TEST_F(QuickPath, BothFindTheTableBesideThemselves) {
  ExpectTheSame(QStringList{Q(quick_->front())});
  ExpectTheSame(QStringList{"--width", "20", Q(full_->at(3))});
}

// zindrel-convert copied alone into a folder: what the quick path takes
// converts there as in the build; everything else needs the full converter,
// which is missing, and says so.
TEST_F(QuickPath, TakesOnlyOneJpegOrPngFileToStandardOutput) {
  namespace fs = std::filesystem;
  const fs::path alone =
      fs::path(folder_->MakeFolder("alone")) / fs::path(testing::ProgramPath("zindrel-convert")).filename();
  fs::copy_file(testing::ProgramPath("zindrel-convert"), alone, fs::copy_options::overwrite_existing);
  const std::string copy = alone.string();
  const QStringList table{"-t", Q(table_)};
  for (const std::string& file : *quick_) {
    const testing::ProgramResult there = Run(copy, table + QStringList{"--color", "256", Q(file)});
    const testing::ProgramResult here =
        Run(testing::ProgramPath("zindrel-convert"), table + QStringList{"--color", "256", Q(file)});
    EXPECT_EQ(there.exitCode, 0) << file << " " << Str(there.err);
    EXPECT_TRUE(there.out == here.out) << file;
    EXPECT_EQ(Str(there.err), Str(here.err)) << file;
  }
  // The picture's warnings are told on the quick path too.
  EXPECT_NE(Str(Run(copy, table + QStringList{Q(quick_->back())}).err).find(": warning: JPEG"), std::string::npos);
  const QString photo = Q(quick_->front());
  const QString out = Q(folder_->Path("art.txt"));
  std::vector<QStringList> beyond;
  for (const std::string& file : *full_) beyond.push_back(table + QStringList{Q(file)});
  beyond.push_back(table + QStringList{"-o", out, photo});
  beyond.push_back(table + QStringList{"--png", Q(folder_->Path("art.png")), photo});
  beyond.push_back(table + QStringList{photo, photo});
  beyond.push_back(table + QStringList{"-"});
  beyond.push_back(QStringList{"--help"});
  for (const QStringList& args : beyond) {
    const testing::ProgramResult r = Run(copy, args);
    const std::string line = Str(args.join(' ').toUtf8());
    EXPECT_EQ(r.exitCode, 1) << line;
    EXPECT_TRUE(r.out.isEmpty()) << line;
    EXPECT_NE(Str(r.err).find("zindrel-convert-full: cannot be started"), std::string::npos) << line << Str(r.err);
  }
  EXPECT_FALSE(fs::exists(Str(out.toUtf8())));
}

}  // namespace
}  // namespace zindrel
