// Picture decoding of every raster kind, from files the tests make: what
// each kind decodes to, how transparency lands on white, the size limits,
// and that cut-short, bit-flipped and otherwise bad input only ever gives an
// error with a reason.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "core/errors.h"
#include "dib/bmp_file.h"
#include "pictures/picture.h"
#include "support/picture_bytes.h"

namespace {

using picture_bytes::Bytes;
using picture_bytes::IconFile;
using picture_bytes::MonoIconDib;

QRgb Pattern(int x, int y) { return qRgb(x * 30, y * 40, 200 - x * 10); }

QImage PatternImage(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) image.setPixel(x, y, Pattern(x, y));
  return image;
}

QByteArray Save(const QImage& image, const char* format, int quality = -1) {
  QByteArray out;
  QBuffer buffer(&out);
  buffer.open(QIODevice::WriteOnly);
  EXPECT_TRUE(image.save(&buffer, format, quality)) << format;
  return out;
}

QImage Indexed8Pattern() {
  QImage image(5, 3, QImage::Format_Indexed8);
  image.setColorTable({qRgb(0, 0, 0), qRgb(250, 10, 10), qRgb(10, 250, 10), qRgb(10, 10, 250)});
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) image.setPixel(x, y, static_cast<uint>((x + y) % 4));
  return image;
}

// Semi-transparent pixels over white: alpha 0 is white, 255 the colour itself.
QImage AlphaSample() {
  QImage image(3, 1, QImage::Format_ARGB32);
  image.setPixel(0, 0, qRgba(0, 0, 0, 0));
  image.setPixel(1, 0, qRgba(10, 20, 30, 255));
  image.setPixel(2, 0, qRgba(0, 0, 0, 128));
  return image;
}

QImage AlphaOnWhite() {
  QImage image(3, 1, QImage::Format_RGB32);
  image.setPixel(0, 0, qRgb(255, 255, 255));
  image.setPixel(1, 0, qRgb(10, 20, 30));
  image.setPixel(2, 0, qRgb(127, 127, 127));
  return image;
}

// A 1-bit cursor: XOR bits pick black or white, AND bits mask pixels out,
// and a masked pixel laid on white is white whatever its XOR bit says.
const std::vector<std::vector<int>> kXor = {{1, 0, 1, 0}, {0, 1, 0, 1}, {1, 1, 0, 0}};
const std::vector<std::vector<int>> kAnd = {{0, 0, 1, 1}, {0, 0, 1, 0}, {1, 0, 0, 0}};

QImage MaskedOnWhite() {
  QImage image(4, 3, QImage::Format_RGB32);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) image.setPixel(x, y, kAnd[y][x] || kXor[y][x] ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
  return image;
}

QByteArray MonoIcon(int type) {
  return IconFile(type,
                  {{4, 3, 1, type == 2 ? 2 : 1, MonoIconDib(4, 3, kXor, kAnd, qRgb(0, 0, 0), qRgb(255, 255, 255))}});
}

const std::vector<QRgb> kGifPalette = {qRgb(0, 0, 0), qRgb(200, 0, 0), qRgb(0, 200, 0), qRgb(0, 0, 200)};
const std::vector<int> kGifIndices = {0, 1, 2, 3, 2, 1};

QImage GifExpected(int transparent) {
  QImage image(3, 2, QImage::Format_RGB32);
  for (int i = 0; i < 6; ++i)
    image.setPixel(i % 3, i / 3, kGifIndices[i] == transparent ? qRgb(255, 255, 255) : kGifPalette[kGifIndices[i]]);
  return image;
}

// Run-length bitmaps with a delta, an early end of line and absolute runs;
// skipped pixels take palette index 0.
QByteArray Rle8Sample() {
  return picture_bytes::RleBmp(5, 3, 8, Bytes({0, 2, 2, 1, 3, 7, 0, 0, 0, 3, 1, 2, 3, 0, 2, 4, 0, 1}));
}
QByteArray Rle4Sample() { return picture_bytes::RleBmp(5, 2, 4, Bytes({5, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 1})); }
QImage FromColours(const std::vector<std::vector<QRgb>>& rows) {
  QImage image(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()), QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, rows[y][x]);
  return image;
}
QImage FromIndices(const std::vector<std::vector<int>>& rows) {
  const std::vector<QRgb> palette = picture_bytes::TestPalette(16);
  QImage image(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()), QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, palette[rows[y][x]]);
  return image;
}

// 24-bit rows of the pattern, padded to 32 bits, in the order given.
QByteArray Rows24(int width, int height, bool topDown) {
  QByteArray rows;
  for (int i = 0; i < height; ++i) {
    const int y = topDown ? i : height - 1 - i;
    for (int x = 0; x < width; ++x) {
      const QRgb c = Pattern(x, y);
      rows += Bytes({qBlue(c), qGreen(c), qRed(c)});
    }
    while (rows.size() % 4) rows += '\0';
  }
  return rows;
}

// A BMP with the 12-byte header of OS/2: 16-bit sizes, 3-byte palette.
QByteArray CoreHeaderBmp() {
  const QByteArray rows = Bytes({0x50, 0, 0, 0, 0xA0, 0, 0, 0});  // 4 x 2, 1 bit: 0101 / 1010
  QByteArray out("BM");
  picture_bytes::Put32(out, 14 + 12 + 6 + rows.size());
  picture_bytes::Put32(out, 0);
  picture_bytes::Put32(out, 14 + 12 + 6);
  picture_bytes::Put32(out, 12);
  for (int v : {4, 2, 1, 1}) picture_bytes::Put16(out, v);
  out += Bytes({0, 0, 200, 255, 255, 255});  // red 200, white
  return out + rows;
}

struct KindCase {
  const char* name;
  const char* suffix;
  std::function<QByteArray()> make;
  std::function<QImage()> expected;
  int tolerance;  // per channel, for lossy kinds
  int tail;       // bytes at the end that may be cut without losing pixels
};

std::vector<KindCase> Kinds() {
  return {
      {"Bmp24", "bmp", [] { return Save(PatternImage(7, 5), "bmp"); }, [] { return PatternImage(7, 5); }, 0, 0},
      {"Rle8", "rle", Rle8Sample,
       [] {
         return FromIndices({{1, 2, 3, 4, 4}, {0, 0, 7, 7, 7}, {0, 0, 0, 0, 0}});
       },
       0, 2},
      {"Rle4", "rle", Rle4Sample,
       [] {
         return FromIndices({{3, 4, 5, 0, 0}, {1, 2, 1, 2, 1}});
       },
       0, 2},
      {"Bmp24TopDown", "bmp", [] { return picture_bytes::BmpFile(7, -5, 24, 0, {}, Rows24(7, 5, true)); },
       [] { return PatternImage(7, 5); }, 0, 0},
      {"BmpCoreHeader", "bmp", CoreHeaderBmp,
       [] {
         return FromColours({{qRgb(255, 255, 255), qRgb(200, 0, 0), qRgb(255, 255, 255), qRgb(200, 0, 0)},
                             {qRgb(200, 0, 0), qRgb(255, 255, 255), qRgb(200, 0, 0), qRgb(255, 255, 255)}});
       },
       0, 0},
      {"Bmp8", "bmp", [] { return Save(Indexed8Pattern(), "bmp"); },
       [] { return Indexed8Pattern().convertToFormat(QImage::Format_RGB32); }, 0, 0},
      {"Png", "png", [] { return Save(PatternImage(7, 5), "png"); }, [] { return PatternImage(7, 5); }, 0, 12},
      {"PngAlpha", "png", [] { return Save(AlphaSample(), "png"); }, AlphaOnWhite, 1, 12},
      // Blocks of 16 x 16 pixels keep the colours clear of JPEG's subsampling.
      {"Jpeg", "jpg", [] { return Save(PatternImage(3, 2).scaled(48, 32), "jpg", 100); },
       [] { return PatternImage(3, 2).scaled(48, 32); }, 16, 0},
      {"Gif", "gif", [] { return picture_bytes::GifFile(3, 2, kGifPalette, kGifIndices); },
       [] { return GifExpected(-1); }, 0, 1},
      {"GifTransparent", "gif", [] { return picture_bytes::GifFile(3, 2, kGifPalette, kGifIndices, 2); },
       [] { return GifExpected(2); }, 0, 1},
      {"IconMonoMasked", "ico", [] { return MonoIcon(1); }, MaskedOnWhite, 0, 0},
      {"CursorMonoMasked", "cur", [] { return MonoIcon(2); }, MaskedOnWhite, 0, 0},
      {"IconWithPng", "ico",
       [] {
         return IconFile(1, {{7, 5, 1, 32, Save(PatternImage(7, 5), "png")}});
       },
       [] { return PatternImage(7, 5); }, 0, 12},
      {"CursorWithPng", "cur",
       [] {
         return IconFile(2, {{7, 5, 3, 4, Save(AlphaSample(), "png")}});
       },
       AlphaOnWhite, 1, 12},
  };
}

void ExpectSameImage(const QImage& got, const QImage& want, int tolerance) {
  ASSERT_EQ(got.format(), QImage::Format_RGB32);
  ASSERT_EQ(got.size(), want.size());
  for (int y = 0; y < want.height(); ++y)
    for (int x = 0; x < want.width(); ++x) {
      const QRgb g = got.pixel(x, y), w = want.pixel(x, y);
      EXPECT_LE(std::abs(qRed(g) - qRed(w)), tolerance) << x << "," << y;
      EXPECT_LE(std::abs(qGreen(g) - qGreen(w)), tolerance) << x << "," << y;
      EXPECT_LE(std::abs(qBlue(g) - qBlue(w)), tolerance) << x << "," << y;
    }
}

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
  const QString path = dir.filePath(name);
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
  return path;
}

void PrintTo(const KindCase& c, std::ostream* out) { *out << c.name; }

class KindDecodes : public testing::TestWithParam<KindCase> {};

TEST_P(KindDecodes, FromAFileOfItsKind) {
  const KindCase& c = GetParam();
  QTemporaryDir dir;
  const QByteArray bytes = c.make();
  const QString path = WriteFile(dir, QString("picture.") + c.suffix, bytes);
  const QImage image = zindrel::DecodePictureFile(path.toStdString());
  ExpectSameImage(image, c.expected(), c.tolerance);
  EXPECT_EQ(zindrel::DecodePictureBytes(bytes, "picture"), image);
  // The content decides, not the name.
  EXPECT_EQ(zindrel::DecodePictureFile(WriteFile(dir, "misnamed.rle", bytes).toStdString()), image);
}

TEST_P(KindDecodes, EveryCutLosingPixelsIsRefused) {
  const KindCase& c = GetParam();
  const QByteArray whole = c.make();
  const QImage full = zindrel::DecodePictureBytes(whole, "whole");
  for (int cut = 0; cut < whole.size(); ++cut) {
    try {
      const QImage image = zindrel::DecodePictureBytes(whole.left(cut), "cut");
      EXPECT_GE(cut, whole.size() - c.tail) << "a cut at " << cut << " of " << whole.size() << " decoded";
      EXPECT_EQ(image, full) << "cut at " << cut;
    } catch (const zindrel::RuntimeError& e) {
      EXPECT_EQ(e.kind(), zindrel::ErrorKind::InvalidPicture) << "cut at " << cut;
      EXPECT_NE(e.detail(), "") << "cut at " << cut;
    }
  }
}

TEST_P(KindDecodes, EveryFlippedBitGivesAPictureOrAReason) {
  const QByteArray whole = GetParam().make();
  // Every bit of the first 256 bytes (headers, tables), then every 7th byte.
  // A BMP's width and height are left alone: a flip there makes a valid
  // picture of up to 1 GiB, slow to fill, and the limits are tested apart.
  const bool bmp = whole.startsWith("BM");
  for (int at = 0; at < whole.size(); at += at < 256 ? 1 : 7) {
    if (bmp && at >= 18 && at < 26) continue;
    for (int bit = 0; bit < 8; ++bit) {
      QByteArray flipped = whole;
      flipped[at] = static_cast<char>(flipped[at] ^ (1 << bit));
      try {
        const QImage image = zindrel::DecodePictureBytes(flipped, "flipped");
        EXPECT_EQ(image.format(), QImage::Format_RGB32) << "byte " << at << " bit " << bit;
      } catch (const zindrel::RuntimeError& e) {
        EXPECT_NE(e.detail(), "") << "byte " << at << " bit " << bit;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, KindDecodes, testing::ValuesIn(Kinds()),
                         [](const testing::TestParamInfo<KindCase>& p) { return p.param.name; });

struct LimitCase {
  int64_t width, height;
  bool accepted;
};

void PrintTo(const LimitCase& c, std::ostream* out) { *out << c.width << " x " << c.height; }

class PictureSizeLimit : public testing::TestWithParam<LimitCase> {};

TEST_P(PictureSizeLimit, AcceptsUpToOneGibibyte) {
  const LimitCase& c = GetParam();
  if (c.accepted) {
    EXPECT_NO_THROW(zindrel::CheckPictureSize(c.width, c.height));
  } else {
    EXPECT_THROW(zindrel::CheckPictureSize(c.width, c.height), zindrel::RuntimeError);
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, PictureSizeLimit,
                         testing::Values(LimitCase{16384, 16384, true}, LimitCase{16384, 16385, false},
                                         LimitCase{268435456, 1, true}, LimitCase{268435457, 1, false},
                                         LimitCase{1, 268435456, true}, LimitCase{0, 5, false}, LimitCase{5, -1, false},
                                         LimitCase{2147483647, 2147483647, false}));

QByteArray JpegClaiming(int width, int height) {
  QByteArray jpeg = Save(PatternImage(8, 8), "jpg", 90);
  const int sof = static_cast<int>(jpeg.indexOf(QByteArray("\xFF\xC0", 2)));
  EXPECT_GT(sof, 0);
  jpeg[sof + 5] = static_cast<char>(height >> 8);
  jpeg[sof + 6] = static_cast<char>(height & 0xFF);
  jpeg[sof + 7] = static_cast<char>(width >> 8);
  jpeg[sof + 8] = static_cast<char>(width & 0xFF);
  return jpeg;
}

struct BadCase {
  const char* name;
  std::function<QByteArray()> make;
  const char* reason;  // a piece of the error's detail
};

void PrintTo(const BadCase& c, std::ostream* out) { *out << c.name; }

class BadBytes : public testing::TestWithParam<BadCase> {};

TEST_P(BadBytes, GiveInvalidPictureWithAReason) {
  const BadCase& c = GetParam();
  try {
    zindrel::DecodePictureBytes(c.make(), "bad");
    FAIL() << "decoded";
  } catch (const zindrel::RuntimeError& e) {
    EXPECT_EQ(e.kind(), zindrel::ErrorKind::InvalidPicture);
    EXPECT_NE(e.detail().find(c.reason), std::string::npos) << e.detail();
    EXPECT_EQ(e.message().rfind("invalid picture (", 0), 0u) << e.message();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Forged, BadBytes,
    testing::Values(
        BadCase{"Empty", [] { return QByteArray(); }, "empty"},
        BadCase{"Text", [] { return QByteArray("just some words, not a picture\n"); }, "not a supported picture"},
        BadCase{"BmpClaimingHugeSize",
                [] { return picture_bytes::BmpFile(100000, 100000, 24, 0, {}, QByteArray(64, 'x')); },
                "100000 x 100000 pixels is larger than the 1 GiB limit"},
        BadCase{"BmpNegativeWidth", [] { return picture_bytes::BmpFile(-4, 4, 24, 0, {}, QByteArray(64, 'x')); },
                "width -4 is not positive"},
        BadCase{"BmpTopDownCutShort", [] { return picture_bytes::BmpFile(4, -4, 24, 0, {}, QByteArray(40, 'x')); },
                "cut short"},
        BadCase{"BmpUnknownCompression", [] { return picture_bytes::BmpFile(4, 4, 24, 7, {}, QByteArray(64, 'x')); },
                "compression 7 is not supported"},
        BadCase{"BmpOddDepth", [] { return picture_bytes::BmpFile(4, 4, 7, 0, {}, QByteArray(64, 'x')); },
                "depth of 7 bits"},
        BadCase{"PngClaimingHugeSize", [] { return picture_bytes::PngClaiming(100000, 100000); },
                "larger than the 1 GiB limit"},
        BadCase{"PngWithoutItsPixels", [] { return picture_bytes::PngClaiming(40, 40); }, "PNG: "},
        BadCase{"JpegClaimingHugeSize", [] { return JpegClaiming(65000, 65000); }, "larger than the 1 GiB limit"},
        BadCase{"JpegWithoutScan",
                [] {
                  return Bytes({0xFF, 0xD8, 0xFF, 0xD9});
                },
                "no image data"},
        BadCase{"GifClaimingHugeSize", [] { return picture_bytes::GifFile(65535, 65535, kGifPalette, kGifIndices); },
                "larger than the 1 GiB limit"},
        BadCase{"GifWithoutImage", [] { return picture_bytes::GifFile(3, 2, kGifPalette, {}).left(25).append(';'); },
                "no image"},
        BadCase{"IconWithoutImages",
                [] {
                  return Bytes({0, 0, 1, 0, 0, 0}) + QByteArray(16, '\0');
                },
                "holds no images"},
        BadCase{"IconCutInDirectory", [] { return MonoIcon(1).left(12); }, "cut short in its directory"},
        BadCase{"IconHugeBitmap",
                [] {
                  QByteArray icon = MonoIcon(1);
                  picture_bytes::Set32(icon, 22 + 4, 100000);
                  picture_bytes::Set32(icon, 22 + 8, 200000);
                  return icon;
                },
                "larger than the 1 GiB limit"},
        BadCase{"IconImagePastEnd",
                [] {
                  QByteArray icon = MonoIcon(1);
                  picture_bytes::Set32(icon, 18, 100000);
                  return icon;
                },
                "past the end of the file"}),
    [](const testing::TestParamInfo<BadCase>& p) { return p.param.name; });

TEST(PictureLimits, PicturesOverQtsDefaultLimitDecode) {
  // 6000 x 6000 pixels take 137 MiB decoded, more than Qt's own default.
  const int side = 6000, stride = side * 3;
  QByteArray rows(static_cast<qsizetype>(stride) * side, '\x40');
  rows[0] = static_cast<char>(200);  // the bottom-left pixel is blue 200
  const QImage image = zindrel::DecodePictureBytes(picture_bytes::BmpFile(side, side, 24, 0, {}, rows), "big.bmp");
  ASSERT_EQ(image.size(), QSize(side, side));
  EXPECT_EQ(image.pixel(0, side - 1), qRgb(0x40, 0x40, 200));
  EXPECT_EQ(image.pixel(side - 1, 0), qRgb(0x40, 0x40, 0x40));
}

TEST(PictureLimits, BmpWiderThanSixteenBitsDecodes) {
  const int width = 40000;
  QByteArray rows(static_cast<int>((width * 3 + 3) / 4 * 4) * 2, '\0');
  rows[0] = static_cast<char>(200);  // bottom row, first pixel: blue 200
  const QImage image = zindrel::DecodePictureBytes(picture_bytes::BmpFile(width, 2, 24, 0, {}, rows), "wide.bmp");
  ASSERT_EQ(image.size(), QSize(width, 2));
  EXPECT_EQ(image.pixel(0, 1), qRgb(0, 0, 200));
  EXPECT_EQ(image.pixel(width - 1, 0), qRgb(0, 0, 0));
}

TEST(PictureFiles, BadPathsGiveTheirOwnKindOfError) {
  QTemporaryDir dir;
  const QString empty = WriteFile(dir, "empty.bmp", QByteArray());
  struct FileCase {
    QString path;
    zindrel::ErrorKind kind;
  };
  const std::vector<FileCase> cases = {
      {dir.filePath("missing.bmp"), zindrel::ErrorKind::FileNotFound},
      {dir.path(), zindrel::ErrorKind::FileAccess},
      {"/dev/null", zindrel::ErrorKind::FileAccess},  // never read: it is no regular file
      {empty, zindrel::ErrorKind::InvalidPicture},
  };
  for (const FileCase& c : cases) {
    try {
      zindrel::DecodePictureFile(c.path.toStdString());
      ADD_FAILURE() << c.path.toStdString() << " decoded";
    } catch (const zindrel::RuntimeError& e) {
      EXPECT_EQ(e.kind(), c.kind) << c.path.toStdString() << ": " << e.message();
    }
  }
}

TEST(PictureFiles, UnreadableFileGivesFileAccess) {
  QTemporaryDir dir;
  const QString locked = WriteFile(dir, "locked.png", Save(PatternImage(3, 3), "png"));
  QFile::setPermissions(locked, QFileDevice::Permissions());
  QFile probe(locked);
  if (probe.open(QIODevice::ReadOnly)) GTEST_SKIP() << "this user reads files without read permission";
  try {
    zindrel::DecodePictureFile(locked.toStdString());
    ADD_FAILURE() << "an unreadable file decoded";
  } catch (const zindrel::RuntimeError& e) {
    EXPECT_EQ(e.kind(), zindrel::ErrorKind::FileAccess) << e.message();
  }
}

struct MetafileCase {
  const char* name;
  const char* suffix;
  std::function<QByteArray()> make;
  QSize size;  // at 96 dpi, the resolution without a screen
};

void PrintTo(const MetafileCase& c, std::ostream* out) { *out << c.name; }

class MetafileDecodes : public testing::TestWithParam<MetafileCase> {};

TEST_P(MetafileDecodes, ThroughThePictureDecoderAtItsPhysicalSize) {
  const MetafileCase& c = GetParam();
  QTemporaryDir dir;
  const QImage image =
      zindrel::DecodePictureFile(WriteFile(dir, QString("picture.") + c.suffix, c.make()).toStdString());
  ASSERT_EQ(image.format(), QImage::Format_RGB32);
  EXPECT_NEAR(image.width(), c.size.width(), 1);
  EXPECT_NEAR(image.height(), c.size.height(), 1);
  EXPECT_EQ(image.pixel(image.width() / 2, image.height() / 2), qRgb(255, 255, 255));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, MetafileDecodes,
    testing::Values(
        MetafileCase{"WmfInTwips", "wmf", [] { return picture_bytes::BlankWmf(1440, 720, 1440); }, QSize(96, 48)},
        MetafileCase{"WmfInPixels", "wmf", [] { return picture_bytes::BlankWmf(120, 30, 96); }, QSize(120, 30)},
        MetafileCase{"Emf", "emf", [] { return picture_bytes::BlankEmf(2540, 1270); }, QSize(96, 48)}),
    [](const testing::TestParamInfo<MetafileCase>& p) { return p.param.name; });

QStringList g_logged;
void Record(QtMsgType, const QMessageLogContext&, const QString& message) { g_logged.append(message); }

TEST(PictureMessages, DecoderWarningsBecomeTheReasonAndTheLogIsHandedBack) {
  g_logged.clear();
  const QtMessageHandler before = qInstallMessageHandler(Record);
  // A JPEG whose scan is damaged: libjpeg complains, Qt fails or not, but
  // nothing of it reaches the log.
  QByteArray jpeg = Save(PatternImage(3, 2).scaled(48, 32), "jpg", 90);
  const int scan = static_cast<int>(jpeg.indexOf(QByteArray("\xFF\xDA", 2)));
  for (int i = scan + 20; i < jpeg.size() - 2; ++i) jpeg[i] = '\xFF';
  try {
    zindrel::DecodePictureBytes(jpeg, "damaged.jpg");
  } catch (const zindrel::RuntimeError& e) {
    EXPECT_EQ(e.detail().rfind("(JPEG: ", 0), 0u) << e.detail();
  }
  EXPECT_TRUE(g_logged.isEmpty()) << g_logged.join("; ").toStdString();
  qWarning("after decoding");
  qInstallMessageHandler(before);
  EXPECT_EQ(g_logged, QStringList{"after decoding"});
}

TEST(PixelSource, LaysTransparentPicturesOnWhite) {
  const zindrel::ImagePixelSource source(AlphaSample());
  EXPECT_EQ(source.Point(0, 0), 0xFFFFFF);
  EXPECT_EQ(source.Point(1, 0), 10 | (20 << 8) | (30 << 16));
  EXPECT_EQ(source.Point(3, 0), -1);
  EXPECT_EQ(source.image().format(), QImage::Format_RGB32);
}

}  // namespace
