// Run-length BMP decoding: what each escape does to the pixels, that pixels
// nothing writes are always palette index 0, and that every malformed
// stream is refused with a reason instead of being read past its end.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "core/errors.h"
#include "dib/bmp_rle.h"
#include "pictures/picture.h"
#include "support/picture_bytes.h"

namespace {

using picture_bytes::Bytes;
using picture_bytes::RleBmp;
using picture_bytes::TestPalette;

// Palette indices expected in each row, top row first.
using Grid = std::vector<std::vector<int>>;

QImage DecodeRle(const QByteArray& file) {
  return zindrel::DecodeRunLengthBmp(reinterpret_cast<const unsigned char*>(file.constData()),
                                     static_cast<size_t>(file.size()));
}

void ExpectGrid(const QImage& image, const Grid& expected, int paletteSize = 16) {
  const std::vector<QRgb> palette = TestPalette(paletteSize);
  ASSERT_EQ(image.format(), QImage::Format_RGB32);
  ASSERT_EQ(image.height(), static_cast<int>(expected.size()));
  for (int y = 0; y < image.height(); ++y) {
    ASSERT_EQ(image.width(), static_cast<int>(expected[y].size()));
    for (int x = 0; x < image.width(); ++x) {
      const int index = expected[y][x];
      const QRgb want = index < paletteSize ? palette[index] : qRgb(0, 0, 0);
      EXPECT_EQ(image.pixel(x, y), want) << "pixel " << x << "," << y << " should be index " << index;
    }
  }
}

struct RleCase {
  const char* name;
  int width, height, bpp;
  QByteArray stream;
  Grid expected;
  int paletteSize = 16;
};

void PrintTo(const RleCase& c, std::ostream* out) { *out << c.name; }

class RleDecodes : public testing::TestWithParam<RleCase> {};

TEST_P(RleDecodes, GivesThePixelsOfTheStream) {
  const RleCase& c = GetParam();
  const QByteArray file = RleBmp(c.width, c.height, c.bpp, c.stream, c.paletteSize);
  const QImage image = DecodeRle(file);
  ExpectGrid(image, c.expected, c.paletteSize);
  EXPECT_EQ(DecodeRle(file), image);  // nothing left to chance
}

// Streams are written bottom row first; expectations list the top row first.
INSTANTIATE_TEST_SUITE_P(
    Streams, RleDecodes,
    testing::Values(
        RleCase{"Rle8RunsAndAbsolute",
                4,
                3,
                8,
                Bytes({4, 1, 0, 0, 2, 2, 2, 3, 0, 0, 0, 4, 1, 2, 3, 0, 0, 1}),
                {{1, 2, 3, 0}, {2, 2, 3, 3}, {1, 1, 1, 1}}},
        RleCase{"Rle8DeltaSkipsToIndexZero",
                4,
                3,
                8,
                Bytes({1, 1, 0, 2, 2, 1, 1, 2, 0, 1}),
                {{0, 0, 0, 0}, {0, 0, 0, 2}, {1, 0, 0, 0}}},
        RleCase{
            "Rle8EarlyEndOfLine", 4, 3, 8, Bytes({2, 3, 0, 0, 1, 1, 0, 1}), {{0, 0, 0, 0}, {1, 0, 0, 0}, {3, 3, 0, 0}}},
        RleCase{"Rle8EndOfBitmapAtOnce", 3, 2, 8, Bytes({0, 1}), {{0, 0, 0}, {0, 0, 0}}},
        RleCase{
            "Rle8DeltaAcrossRowsThenRun", 3, 3, 8, Bytes({0, 2, 1, 2, 2, 5, 0, 1}), {{0, 5, 5}, {0, 0, 0}, {0, 0, 0}}},
        RleCase{"Rle8OddAbsoluteIsPaddedNoEndMark", 4, 1, 8, Bytes({0, 3, 5, 6, 7, 0, 1, 2}), {{5, 6, 7, 2}}},
        RleCase{"Rle8EndOfLineAfterLastRowThenEnd", 2, 1, 8, Bytes({2, 4, 0, 0, 0, 1}), {{4, 4}}},
        RleCase{"Rle8LastRowFullNoEndMark", 2, 2, 8, Bytes({2, 1, 0, 0, 2, 3}), {{3, 3}, {1, 1}}},
        RleCase{"Rle8IndexPastPaletteIsBlack", 2, 1, 8, Bytes({1, 9, 1, 2, 0, 1}), {{9, 2}}, 4},
        RleCase{"Rle4RunsAlternateNibbles",
                5,
                2,
                4,
                Bytes({5, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 1}),
                {{3, 4, 5, 0, 0}, {1, 2, 1, 2, 1}}},
        RleCase{"Rle4OddAbsoluteIsPadded", 6, 1, 4, Bytes({0, 5, 0x12, 0x34, 0x50, 0, 1, 0x70}), {{1, 2, 3, 4, 5, 7}}},
        RleCase{"Rle4DeltaAndEarlyEnd", 4, 2, 4, Bytes({0, 2, 3, 0, 1, 0xF0, 0, 1}), {{0, 0, 0, 0}, {0, 0, 0, 15}}}),
    [](const testing::TestParamInfo<RleCase>& p) { return p.param.name; });

struct BadRleCase {
  const char* name;
  QByteArray file;
  const char* reason;  // a piece of the error's detail
};

void PrintTo(const BadRleCase& c, std::ostream* out) { *out << c.name; }

class RleRefuses : public testing::TestWithParam<BadRleCase> {};

TEST_P(RleRefuses, WithInvalidPictureAndAReason) {
  const BadRleCase& c = GetParam();
  try {
    DecodeRle(c.file);
    FAIL() << "decoded a malformed file";
  } catch (const zindrel::RuntimeError& e) {
    EXPECT_EQ(e.kind(), zindrel::ErrorKind::InvalidPicture);
    EXPECT_NE(e.detail().find(c.reason), std::string::npos) << e.detail();
  }
}

QByteArray WithField(QByteArray file, int offset, int64_t value) {
  picture_bytes::Set32(file, offset, value);
  return file;
}

const QByteArray kSmall = RleBmp(4, 2, 8, Bytes({4, 1, 0, 0, 4, 2, 0, 1}));

INSTANTIATE_TEST_SUITE_P(
    Malformed, RleRefuses,
    testing::Values(
        BadRleCase{"RunPastRowEnd", RleBmp(4, 2, 8, Bytes({5, 1, 0, 1})), "passes the end of a row of 4"},
        BadRleCase{"Rle4RunPastRowEnd", RleBmp(3, 1, 4, Bytes({4, 0x11, 0, 1})), "passes the end"},
        BadRleCase{"AbsolutePastRowEnd", RleBmp(4, 1, 8, Bytes({1, 1, 0, 4, 1, 2, 3, 4, 0, 1})), "passes the end"},
        BadRleCase{"AbsoluteCutShort", RleBmp(8, 1, 8, Bytes({0, 6, 1, 2})), "cut short"},
        BadRleCase{"Rle4AbsoluteCutShort", RleBmp(8, 1, 4, Bytes({0, 6, 0x12, 0x34})), "cut short"},
        BadRleCase{"DeltaCutShort", RleBmp(4, 2, 8, Bytes({0, 2, 1})), "delta cut short"},
        BadRleCase{"DeltaPastRowEnd", RleBmp(4, 2, 8, Bytes({0, 2, 5, 0, 0, 1})), "past the end of the row"},
        BadRleCase{"DeltaPastLastRow", RleBmp(4, 2, 8, Bytes({0, 2, 0, 2, 0, 1})), "past the last row"},
        BadRleCase{"PixelsPastLastRow", RleBmp(2, 1, 8, Bytes({2, 1, 0, 0, 1, 1, 0, 1})), "past the last row"},
        BadRleCase{"DataEndsEarly", RleBmp(4, 2, 8, Bytes({2, 1})), "ends before the end of the bitmap"},
        BadRleCase{"NoDataAtAll", RleBmp(4, 2, 8, QByteArray()), "ends before the end of the bitmap"},
        BadRleCase{"TopDown", RleBmp(4, -2, 8, Bytes({0, 1})), "top-down"},
        BadRleCase{"Rle8WithFourBits", picture_bytes::BmpFile(4, 1, 4, 1, TestPalette(4), Bytes({0, 1})),
                   "does not go with compression 1"},
        BadRleCase{"ZeroWidth", RleBmp(0, 2, 8, Bytes({0, 1})), "width 0 is not positive"},
        BadRleCase{"ZeroHeight", RleBmp(3, 0, 8, Bytes({0, 1})), "height is zero"},
        BadRleCase{"HugeClaim", RleBmp(100000, 100000, 8, Bytes({0, 1})), "larger than the 1 GiB limit"},
        BadRleCase{"PixelOffsetPastEnd", WithField(kSmall, 10, 5000), "past the end of the file"},
        BadRleCase{"PixelOffsetInHeader", WithField(kSmall, 10, 20), "inside the header"},
        BadRleCase{"HeaderCutShort", kSmall.left(30), "header cut short"}),
    [](const testing::TestParamInfo<BadRleCase>& p) { return p.param.name; });

TEST(RleDecode, PicturesWiderThanSixteenBitsDecode) {
  // 40000 pixels: runs of 250 fill the row, the last pixel comes by itself.
  QByteArray stream;
  for (int i = 0; i < 159; ++i) stream += Bytes({250, 2});
  stream += Bytes({249, 3, 1, 5, 0, 1});
  const QImage image = DecodeRle(RleBmp(40000, 1, 8, stream));
  ASSERT_EQ(image.width(), 40000);
  EXPECT_EQ(image.pixel(0, 0), TestPalette(16)[2]);
  EXPECT_EQ(image.pixel(39998, 0), TestPalette(16)[3]);
  EXPECT_EQ(image.pixel(39999, 0), TestPalette(16)[5]);
}

TEST(RleDecode, RecognisedByContentOnly) {
  const QByteArray rle = RleBmp(2, 1, 8, Bytes({2, 1, 0, 1}));
  const auto* bytes = reinterpret_cast<const unsigned char*>(rle.constData());
  EXPECT_TRUE(zindrel::IsRunLengthBmp(bytes, static_cast<size_t>(rle.size())));
  const QByteArray plain = picture_bytes::BmpFile(2, 1, 8, 0, TestPalette(4), Bytes({1, 2, 0, 0}));
  EXPECT_FALSE(zindrel::IsRunLengthBmp(reinterpret_cast<const unsigned char*>(plain.constData()),
                                       static_cast<size_t>(plain.size())));
  // Named as anything at all, the content decides.
  QTemporaryDir dir;
  for (const char* name : {"picture.rle", "picture.bmp", "picture.jpg"}) {
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(rle);
    file.close();
    EXPECT_EQ(zindrel::DecodePictureFile(file.fileName().toStdString()).pixel(1, 0), TestPalette(16)[1]) << name;
  }
}

}  // namespace
