// JPEG and PNG pictures convert row by row while they decode; with
// --save-picture the program decodes the whole picture first. Both ways give
// the same bytes for every option that works on the rows (the negative, the
// scaling, the colours, the HTML page, several pictures), on pictures taller
// than the ring of rows the streaming keeps. A damage found only after the
// last row still writes nothing.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "cli_run.h"
#include "convert/fast_run.h"
#include "core/errors.h"
#include "support/jpeg_png.h"

namespace zindrel {
namespace {

using clitest::Outcome;
using clitest::RunCli;
using clitest::Str;

class StreamedCli : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    namespace s = samples;
    folder_ = new testing::TempFolder;
    table_ = clitest::WriteDistinctTable(*folder_);
    loaded_ = new GlyphTable(LoadGlyphTable(table_));
    // 1200 pixels a row: the ring holds about 220 rows, so these pictures
    // pass through it several times.
    s::JpegSpec jpeg;
    jpeg.width = 1200;
    jpeg.height = 700;
    s::JpegSpec grey;
    grey.colour = s::JpegSpec::Colour::Grey;
    grey.width = 333;
    grey.height = 250;
    grey.progressive = true;
    s::PngSpec rgba;
    rgba.colour = s::PngSpec::Colour::Rgba;
    rgba.width = 1200;
    rgba.height = 650;
    s::PngSpec palette;
    palette.colour = s::PngSpec::Colour::Palette;
    palette.depth = 4;
    palette.paletteSize = 16;
    palette.transparentEntries = 5;
    palette.width = 257;
    palette.height = 199;
    s::PngSpec deep;
    deep.depth = 16;
    deep.width = 190;
    deep.height = 321;
    files_ = new std::vector<std::string>{
        Write("photo.jpg", s::EncodeJpeg(jpeg, 3)), Write("grey.jpg", s::EncodeJpeg(grey, 4)),
        Write("alpha.png", s::EncodePng(rgba, 5)),  Write("palette.png", s::EncodePng(palette, 6)),
        Write("deep.png", s::EncodePng(deep, 7)),   Write(kDamagedScan, DamageScan(s::EncodeJpeg(jpeg, 8)))};
  }
  // A JPEG whose markers are all there but whose scan has bytes changed in
  // its middle: libjpeg decodes it with warnings that come while the rows
  // stream, after the header was read.
  static constexpr const char* kDamagedScan = "damaged-scan.jpg";
  static QByteArray DamageScan(QByteArray jpeg) {
    const qsizetype scan = jpeg.indexOf("\xFF\xDA");
    for (qsizetype at = scan + (jpeg.size() - scan) / 2, n = 0; n < 5; at += 997, ++n)
      if (jpeg[at] != '\xFF' && jpeg[at - 1] != '\xFF' && jpeg[at + 1] != '\xFF')
        jpeg[at] = static_cast<char>(jpeg[at] ^ 0x5A);
    return jpeg;
  }
  static void TearDownTestSuite() {
    delete files_;
    delete loaded_;
    delete folder_;
  }
  static QString Q(const std::string& s) { return QString::fromStdString(s); }
  static std::string Write(const std::string& name, const QByteArray& bytes) {
    return folder_->Write(name, bytes.toStdString());
  }
  static QString Folder(const std::string& name) { return clitest::FreshFolder(*folder_, name); }
  static Outcome Run(const QStringList& args) { return RunCli(QStringList{"-t", Q(table_)} + args); }
  static QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
  }

  static testing::TempFolder* folder_;
  static std::string table_;
  static GlyphTable* loaded_;
  static std::vector<std::string>* files_;
};

testing::TempFolder* StreamedCli::folder_ = nullptr;
std::string StreamedCli::table_;
GlyphTable* StreamedCli::loaded_ = nullptr;
std::vector<std::string>* StreamedCli::files_ = nullptr;

class StreamedOptions : public StreamedCli, public ::testing::WithParamInterface<QStringList> {};

TEST_P(StreamedOptions, GiveTheBytesOfTheWholePicture) {
  const QStringList options = GetParam();
  const QString dir = Folder("options");
  for (const std::string& file : *files_) {
    const Outcome streamed = Run(options + QStringList{"--html", dir + "/streamed.html", Q(file)});
    const Outcome whole =
        Run(options + QStringList{"--html", dir + "/whole.html", "--save-picture", dir + "/whole.png", Q(file)});
    EXPECT_EQ(streamed.code, 0) << file << " " << Str(streamed.err);
    EXPECT_EQ(whole.code, 0) << file << " " << Str(whole.err);
    EXPECT_FALSE(streamed.out.isEmpty()) << file;
    EXPECT_TRUE(streamed.out == whole.out) << file;
    EXPECT_EQ(Str(streamed.err), Str(whole.err)) << file;
    EXPECT_TRUE(Read(dir + "/streamed.html") == Read(dir + "/whole.html")) << file;
    if (file.find(kDamagedScan) != std::string::npos)
      EXPECT_NE(Str(streamed.err).find(": warning: JPEG"), std::string::npos) << Str(streamed.err);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Options, StreamedOptions,
    ::testing::Values(QStringList{}, QStringList{"--invert"}, QStringList{"-s", "3", "-q", "0"},
                      QStringList{"-s", "30", "--color", "256"}, QStringList{"--width", "37"},
                      QStringList{"--width", "250", "-s", "5"},  // scaled up
                      QStringList{"--invert", "--width", "50", "-s", "7", "-b", "70"},
                      QStringList{"--color", "truecolor"}, QStringList{"--color", "256", "--invert", "-s", "6"},
                      QStringList{"--color", "truecolor", "--width", "41", "-s", "9", "--invert"},
                      QStringList{"-e", "gbk", "--newline", "lf", "--color", "truecolor", "-s", "11"}),
    [](const ::testing::TestParamInfo<QStringList>& p) {
      std::string name = "Case" + std::to_string(p.index);
      for (const QString& arg : p.param)
        for (const QChar c : arg)
          if (c.isLetterOrNumber()) name += static_cast<char>(c.toLatin1());
      return name;
    });

// Several pictures in one call, streamed one after the other, give what
// each gives decoded whole, and a bad one among them fails alone.
TEST_F(StreamedCli, SeveralPicturesGiveTheBytesOfTheWholePictures) {
  const QString dir = Folder("several");
  const std::string bad = Write("bad.jpg", QByteArray("\xFF\xD8\xFF\xE0 not a JPEG", 16));
  QStringList pictures;
  for (const std::string& file : *files_) pictures << Q(file);
  pictures.insert(2, Q(bad));
  for (const QStringList& options :
       {QStringList{"-s", "8"}, QStringList{"--invert", "--color", "256", "--width", "30"}}) {
    const Outcome streamed = Run(options + pictures);
    const Outcome whole = Run(options + QStringList{"--save-picture", dir} + pictures);
    EXPECT_EQ(streamed.code, 1);
    EXPECT_EQ(whole.code, 1);
    EXPECT_TRUE(streamed.out == whole.out);
    EXPECT_EQ(Str(streamed.err), Str(whole.err));
    EXPECT_NE(Str(streamed.err).find(bad), std::string::npos) << Str(streamed.err);
  }
}

// The art of a picture read row by row is the engine's art of the whole
// decoded picture, at cell sizes whose rows of cells straddle the ring's
// turns.
TEST_F(StreamedCli, ArtIsTheEnginesArtOfTheDecodedPicture) {
  for (const std::string& file : *files_) {
    QFile in(Q(file));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QImage decoded = DecodePictureBytes(in.readAll(), file);
    const ImagePixelSource source(decoded);
    for (int size : {3, 11, 12, 30}) {
      clitest::ExpectedHost host(*loaded_, source, static_cast<int16_t>(size), 2, 1.0f, false, "\r\n");
      ConvertPictureFast(Matcher(*loaded_), source, static_cast<int16_t>(size), 2, 1.0f, host, 2);
      const Outcome o = Run({"-s", QString::number(size), Q(file)});
      EXPECT_EQ(o.code, 0) << file << " " << Str(o.err);
      EXPECT_TRUE(o.out == QByteArray::fromStdString(host.text)) << file << " at cell size " << size;
    }
  }
}

// A JPEG whose damage libjpeg finds only after its last row: nothing is
// written, to standard output or to -o's file, and the file is named.
TEST_F(StreamedCli, PictureDamagedAtItsEndWritesNothing) {
  namespace s = samples;
  const QString dir = Folder("damaged");
  s::JpegSpec recipe;
  recipe.width = 640;
  recipe.height = 480;
  QByteArray jpeg = s::EncodeJpeg(recipe, 7);
  // An unknown marker late in the scan: libjpeg fills the rest of the scan
  // and then refuses the marker, once every row is out.
  jpeg[jpeg.size() - 40] = '\xFF';
  jpeg[jpeg.size() - 39] = '\xC8';
  const QString path = Q(Write("damaged.jpg", jpeg)), out = dir + "/art.txt";
  EXPECT_THROW(DecodePictureBytes(jpeg, "damaged.jpg"), RuntimeError);
  QFile existing(out);
  ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
  existing.write("kept");
  existing.close();
  for (const QStringList& where : {QStringList{}, QStringList{"-o", out}, QStringList{"--invert", "--width", "20"}}) {
    const Outcome o = Run(where + QStringList{path});
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(o.out.isEmpty());
    EXPECT_EQ(Str(o.err).rfind("zindrel-convert: " + path.toStdString() + ": invalid picture (JPEG: ", 0), 0u)
        << Str(o.err);
  }
  EXPECT_EQ(Read(out), QByteArray("kept"));
  EXPECT_EQ(QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"art.txt"});
}

}  // namespace
}  // namespace zindrel
