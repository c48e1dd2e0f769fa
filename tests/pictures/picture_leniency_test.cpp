// Files that other readers open although something about them is odd, and
// the BMP variants real programs write: each decodes to the pixels it holds,
// with one warning per fault a reader recovers from (none for a variant), and
// the same file cut short or damaged where the leniency ends stays refused.
#include <gtest/gtest.h>

#include <QImage>
#include <functional>
#include <string>
#include <vector>

#include "core/errors.h"
#include "pictures/picture.h"
#include "support/gui_app.h"
#include "support/picture_bytes.h"
#include "support/sample_files.h"

namespace zindrel {
namespace {

namespace s = samples;
using picture_bytes::IconFile;
using picture_bytes::Set32;
using C = s::BmpCompression;

QImage Decode(const QByteArray& bytes, PictureWarnings* warnings = nullptr) {
  return DecodePictureBytes(bytes, "picture", warnings);
}

using s::Layout;

s::BmpLayout WithHeader(s::BmpLayout layout, int headerSize) {
  layout.headerSize = headerSize;
  return layout;
}

QImage Whitened(QImage image, const std::function<bool(int, int)>& hidden) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (hidden(x, y)) image.setPixel(x, y, qRgb(255, 255, 255));
  return image;
}

// The picture of an icon image: the same layout as a plain BMP, which Qt's
// reader decodes, with the points the mask hides white.
QImage IconExpected(const s::BmpLayout& layout) {
  return Whitened(Decode(s::MakeBmp(layout)), [&](int x, int y) { return s::IconMaskHides(x, y, layout.width); });
}

picture_bytes::IconImage Entry(const s::BmpLayout& layout) {
  return {layout.width, layout.height, 1, layout.bpp, s::MakeIconDib(layout)};
}

// An icon (type 1) or cursor (2) of one image whose directory entry gives
// another size than the image holds.
QByteArray Listed(int type, const s::BmpLayout& layout, int width, int height) {
  picture_bytes::IconImage entry = Entry(layout);
  entry.width = width;
  entry.height = height;
  return IconFile(type, {entry});
}

QByteArray Jpeg() { return s::EncodeWithQt(s::TestPicture(16, 12), "jpeg", 90); }

struct LenientCase {
  const char* name;
  std::function<QByteArray()> make;
  std::function<QImage()> expected;
  std::vector<std::string> warnings;
};

void PrintTo(const LenientCase& c, std::ostream* out) { *out << c.name; }

std::vector<LenientCase> LenientCases() {
  const s::BmpLayout mono1x4 = Layout(1, 4, 1), eight1x4 = Layout(1, 4, 8), icon16 = Layout(16, 16, 24);
  return {
      // libjpeg skips bytes that are no marker and decodes the whole picture.
      {"JpegStrayBytesBeforeApp1",
       [] { return s::InsertBeforeJpegMarker(s::WithApp1Segment(Jpeg()), 0xE1, QByteArray(16, '\0')); },
       [] { return Decode(s::WithApp1Segment(Jpeg())); },
       {"JPEG: 16 stray bytes before marker 0xE1"}},
      {"JpegStrayByteBeforeQuantTable",
       [] { return s::InsertBeforeJpegMarker(Jpeg(), 0xDB, QByteArray("\x42", 1)); },
       [] { return Decode(Jpeg()); },
       {"JPEG: 1 stray byte before marker 0xDB"}},
      // FF 00 is a stuffed zero, not a marker: skipped with the stray bytes.
      {"JpegStuffedZeroBeforeFrame",
       [] { return s::InsertBeforeJpegMarker(Jpeg(), 0xC0, QByteArray("\x01\xFF\x00\x02\x03", 5)); },
       [] { return Decode(Jpeg()); },
       {"JPEG: 5 stray bytes before marker 0xC0"}},
      // A header size over a file whose records run whole to the end record.
      {"WmfHeaderOverstatesItsSize",
       [] { return s::WithWmfSizeOverstated(s::MakeWmf(true), 11); },
       [] { return Decode(s::MakeWmf(true)); },
       {"metafile header gives " + std::to_string(s::MakeWmf(true).size() + 22) + " bytes, the file holds " +
        std::to_string(s::MakeWmf(true).size()) + " (its records are complete)"}},
      {"WmfWithoutPlaceableHeaderOverstates",
       [] { return s::WithWmfSizeOverstated(s::MakeWmf(false), 1); },
       [] { return Decode(s::MakeWmf(false)); },
       {"metafile header gives " + std::to_string(s::MakeWmf(false).size() + 2) + " bytes, the file holds " +
        std::to_string(s::MakeWmf(false).size()) + " (its records are complete)"}},
      // Directories that disagree with the bitmap they point at: the bitmap
      // decides (a directory counting the mask's rows in the height, as the
      // bitmap header does).
      {"CursorOneByFourMonoDirectoryDoubled",
       [=] { return Listed(2, mono1x4, 1, 8); },
       [=] { return IconExpected(mono1x4); },
       {"icon directory gives 1 x 8 pixels, its image holds 1 x 4"}},
      {"CursorOneByFourEightBitDirectoryDoubled",
       [=] { return Listed(2, eight1x4, 1, 8); },
       [=] { return IconExpected(eight1x4); },
       {"icon directory gives 1 x 8 pixels, its image holds 1 x 4"}},
      {"Icon16DirectorySays32",
       [=] { return Listed(1, icon16, 32, 32); },
       [=] { return IconExpected(icon16); },
       {"icon directory gives 32 x 32 pixels, its image holds 16 x 16"}},
      {"IconDirectoryByteCountShort",
       [=] {
         QByteArray file = IconFile(1, {Entry(icon16)});
         Set32(file, 6 + 8, 40);
         return file;
       },
       [=] { return IconExpected(icon16); },
       {"icon directory gives 40 bytes, its image takes " + std::to_string(s::MakeIconDib(icon16).size())}},
      {"IconDirectoryByteCountPastTheEnd",
       [=] {
         QByteArray file = IconFile(1, {Entry(icon16)});
         Set32(file, 6 + 8, 100000);
         return file;
       },
       [=] { return IconExpected(icon16); },
       {"icon directory gives 100000 bytes, its image takes " + std::to_string(s::MakeIconDib(icon16).size())}},
  };
}

class LenientFiles : public ::testing::TestWithParam<LenientCase> {
 protected:
  void SetUp() override { testing::EnsureGuiApp(); }
};

TEST_P(LenientFiles, DecodeToTheirPixelsWithOneWarningEach) {
  const LenientCase& c = GetParam();
  PictureWarnings warnings;
  const QImage image = Decode(c.make(), &warnings);
  const QImage expected = c.expected();
  ASSERT_EQ(image.size(), expected.size());
  EXPECT_EQ(image, expected.convertToFormat(QImage::Format_RGB32));
  EXPECT_EQ(warnings, c.warnings);
  EXPECT_EQ(Decode(c.make()), image);  // without a list to fill, the same picture
}

// The leniency covers a wrong size or stray bytes, never missing data.
TEST_P(LenientFiles, EveryCutIsRefused) {
  const QByteArray whole = GetParam().make();
  for (int cut = 0; cut < whole.size(); cut += cut < 300 ? 1 : 17) {
    try {
      const QImage image = Decode(whole.left(cut));
      ADD_FAILURE() << "cut at " << cut << " of " << whole.size() << " decoded as " << image.width() << "x"
                    << image.height();
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.kind(), ErrorKind::InvalidPicture) << e.message();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Pictures, LenientFiles, ::testing::ValuesIn(LenientCases()),
                         [](const ::testing::TestParamInfo<LenientCase>& p) { return std::string(p.param.name); });

// ---- Icons with several images: most pixels, then most colours.

QImage IconPicture(const std::vector<s::BmpLayout>& layouts) {
  std::vector<picture_bytes::IconImage> entries;
  for (const s::BmpLayout& layout : layouts) entries.push_back(Entry(layout));
  PictureWarnings warnings;
  const QImage image = Decode(IconFile(1, entries), &warnings);
  EXPECT_TRUE(warnings.empty()) << warnings.front();
  return image;
}

TEST(IconChoice, MostPixelsThenMostColoursThenFirstListed) {
  s::BmpLayout small = Layout(16, 16, 32), large4 = Layout(32, 32, 4), large24 = Layout(32, 32, 24),
               large8 = Layout(32, 32, 8), wide = Layout(48, 16, 1);
  small.alpha = true;
  EXPECT_EQ(IconPicture({small, large24, large4}), IconExpected(large24));
  EXPECT_EQ(IconPicture({large4, small, large8}), IconExpected(large8));
  EXPECT_EQ(IconPicture({large8, large4}), IconExpected(large8));
  // 48 x 16 has fewer pixels than 32 x 32, whatever its width.
  EXPECT_EQ(IconPicture({wide, large4}), IconExpected(large4));
  s::BmpLayout other8 = large8;
  other8.topDown = true;
  EXPECT_EQ(IconPicture({large8, other8}), IconExpected(large8));
}

TEST(IconChoice, PngImagesCountBySizeAndDepth) {
  const QImage big = s::TestPicture(40, 30);
  const QByteArray png = s::EncodeWithQt(big, "png");
  const s::BmpLayout bitmap = Layout(32, 32, 24);
  EXPECT_EQ(Decode(IconFile(1, {Entry(bitmap), {40, 30, 1, 32, png}})), big);
  EXPECT_EQ(Decode(IconFile(1, {{40, 30, 1, 32, png}, Entry(Layout(48, 48, 1))})), IconExpected(Layout(48, 48, 1)));
}

// Masks at every depth; 32-bit images use their alpha, or their mask when
// every alpha is 0.
TEST(IconMasks, HidePointsAtEveryDepthButThirtyTwoWithAlpha) {
  for (int bpp : {1, 2, 4, 8, 16, 24, 32}) {
    const s::BmpLayout layout = Layout(12, 12, bpp);
    EXPECT_EQ(Decode(IconFile(1, {Entry(layout)})), IconExpected(layout)) << bpp << " bits";
  }
  s::BmpLayout alpha = Layout(12, 12, 32);
  alpha.alpha = true;
  QImage expected = Decode(s::MakeBmp(Layout(12, 12, 24)));
  expected.setPixel(0, 0, qRgb(255, 255, 255));  // alpha 0; the mask is not looked at
  const QRgb half = expected.pixel(1, 0);
  auto over = [](int c) { return (c * 128 + 255 * 127 + 127) / 255; };
  expected.setPixel(1, 0, qRgb(over(qRed(half)), over(qGreen(half)), over(qBlue(half))));
  EXPECT_EQ(Decode(IconFile(1, {Entry(alpha)})), expected);
}

// ---- BMP variants: the same points as the plain file Qt's reader decodes.

struct VariantCase {
  const char* name;
  s::BmpLayout variant;
  s::BmpLayout plain;
};

void PrintTo(const VariantCase& c, std::ostream* out) { *out << c.name; }

s::BmpLayout WithAlpha(s::BmpLayout layout) {
  layout.alpha = true;
  return layout;
}

s::BmpLayout WithExtraPalette(s::BmpLayout layout, int extra) {
  layout.extraPaletteEntries = extra;
  return layout;
}

std::vector<VariantCase> VariantCases() {
  std::vector<VariantCase> cases = {
      {"Os2Header16Bytes8Bits", WithHeader(Layout(9, 5, 8), 16), Layout(9, 5, 8)},
      {"Os2Header16Bytes24Bits", WithHeader(Layout(9, 5, 24), 16), Layout(9, 5, 24)},
      {"Os2Header16Bytes1Bit", WithHeader(Layout(19, 3, 1), 16), Layout(19, 3, 1)},
      {"Os2Header24Bytes4Bits", WithHeader(Layout(9, 5, 4), 24), Layout(9, 5, 4)},
      {"Os2Header20BytesRle8", WithHeader(Layout(9, 5, 8, C::Rle8), 20), Layout(9, 5, 8, C::Rle8)},
      // 16 bits come out as Qt's reader makes them from a 40-byte header.
      {"Header52SixteenBits", WithHeader(Layout(9, 5, 16, C::Bitfields), 52), Layout(9, 5, 16, C::Bitfields)},
      {"Header56SixteenBitsWithoutFields", WithHeader(Layout(9, 5, 16), 56), Layout(9, 5, 16)},
      {"AlphaBitFieldsSixteenBits", Layout(9, 5, 16, C::AlphaBitfields), Layout(9, 5, 16, C::Bitfields)},
      {"Header52BitFields", WithHeader(Layout(9, 5, 32, C::Bitfields), 52), Layout(9, 5, 32, C::Bitfields)},
      {"Header56BitFieldsAlpha", WithHeader(WithAlpha(Layout(9, 5, 32, C::Bitfields)), 56),
       WithHeader(WithAlpha(Layout(9, 5, 32, C::Bitfields)), 108)},
      {"Header40AlphaBitFields", WithAlpha(Layout(9, 5, 32, C::AlphaBitfields)),
       WithHeader(WithAlpha(Layout(9, 5, 32, C::Bitfields)), 108)},
      {"Header56AlphaBitFields", WithHeader(WithAlpha(Layout(9, 5, 32, C::AlphaBitfields)), 56),
       WithHeader(WithAlpha(Layout(9, 5, 32, C::Bitfields)), 108)},
      {"Header52Plain24Bits", WithHeader(Layout(9, 5, 24), 52), Layout(9, 5, 24)},
      {"Header56Plain8Bits", WithHeader(Layout(9, 5, 8), 56), Layout(9, 5, 8)},
      {"Palette300For8Bits", WithExtraPalette(Layout(9, 5, 8), 44), Layout(9, 5, 8)},
      {"Palette16For1Bit", WithExtraPalette(Layout(9, 5, 1), 14), Layout(9, 5, 1)},
  };
  s::BmpLayout topDown = WithHeader(Layout(9, 5, 8), 56);
  topDown.topDown = true;
  s::BmpLayout plainTopDown = Layout(9, 5, 8);
  plainTopDown.topDown = true;
  cases.push_back({"Header56TopDown", topDown, plainTopDown});
  return cases;
}

class BmpVariants : public ::testing::TestWithParam<VariantCase> {
 protected:
  void SetUp() override { testing::EnsureGuiApp(); }
};

TEST_P(BmpVariants, GiveThePointsOfThePlainFile) {
  const VariantCase& c = GetParam();
  PictureWarnings warnings;
  const QImage image = Decode(s::MakeBmp(c.variant), &warnings);
  EXPECT_EQ(image, Decode(s::MakeBmp(c.plain)));
  EXPECT_TRUE(warnings.empty());
}

TEST_P(BmpVariants, EveryCutIsRefused) {
  const QByteArray whole = s::MakeBmp(GetParam().variant);
  // A run-length stream may leave out its end mark once every row is written.
  const int tail = GetParam().variant.compression == C::Rle8 ? 2 : 0;
  for (int cut = 0; cut < whole.size() - tail; ++cut) EXPECT_THROW(Decode(whole.left(cut)), RuntimeError) << cut;
}

INSTANTIATE_TEST_SUITE_P(Pictures, BmpVariants, ::testing::ValuesIn(VariantCases()),
                         [](const ::testing::TestParamInfo<VariantCase>& p) { return std::string(p.param.name); });

// 2 bits: Qt's reader has no such depth, so the points are spelled out.
TEST(BmpTwoBits, EveryPointTakesItsPaletteEntry) {
  const s::BmpLayout layout = Layout(11, 3, 2);
  const QImage image = Decode(s::MakeBmp(layout));
  const std::vector<uint32_t> palette = s::GreyPalette(4);
  ASSERT_EQ(image.size(), QSize(11, 3));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 11; ++x)
      EXPECT_EQ(image.pixel(x, y), 0xFF000000u | palette[static_cast<size_t>(s::PatternIndex(x, y, 4))])
          << x << "," << y;
}

// A 1-bit alpha channel: set is opaque, clear is transparent; all clear is
// an alpha mask not in use.
TEST(BmpBitFields, OneBitAlphaIsOpaqueOrTransparent) {
  s::Bytes b;
  b.raw("BM").u32(14 + 56 + 4).u16(0).u16(0).u32(14 + 56);
  b.u32(56).i32(2).i32(1).u16(1).u16(16).u32(3).u32(4).i32(0).i32(0).u32(0).u32(0);
  b.u32(0x7C00).u32(0x03E0).u32(0x001F).u32(0x8000);
  b.u16(0x8000 | (3 << 10) | (16 << 5) | 31).u16(0x7FFF);
  QImage image = Decode(b.data);
  EXPECT_EQ(image.pixel(0, 0), qRgb(3 << 3, 16 << 3, 31 << 3));
  EXPECT_EQ(image.pixel(1, 0), qRgb(255, 255, 255));  // transparent: white
  b.put16(14 + 56, (3 << 10) | (16 << 5) | 31);       // no alpha bit set anywhere
  image = Decode(b.data);
  EXPECT_EQ(image.pixel(0, 0), qRgb(3 << 3, 16 << 3, 31 << 3));
  EXPECT_EQ(image.pixel(1, 0), qRgb(248, 248, 248));
}

TEST(BmpBitFields, MasksWiderThanEightBitsKeepTheirTopBits) {
  // 10-10-10 in a 40-byte header (Qt's reader turns such masks black).
  s::Bytes b;
  b.raw("BM").u32(14 + 40 + 12 + 8).u16(0).u16(0).u32(14 + 40 + 12);
  b.u32(40).i32(2).i32(1).u16(1).u16(32).u32(3).u32(8).i32(0).i32(0).u32(0).u32(0);
  b.u32(0x3FF00000).u32(0x000FFC00).u32(0x000003FF);
  b.u32(0x3FFFFFFF).u32((0x200u << 20) | (0x0FFu << 10) | 0x3FF);
  const QImage image = Decode(b.data);
  EXPECT_EQ(image.pixel(0, 0), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(1, 0), qRgb(0x80, 0x3F, 0xFF));
}

// ---- Where the leniency ends: still refused, with the reason.

struct RefusedCase {
  const char* name;
  std::function<QByteArray()> make;
  const char* reason;  // a piece of the error's detail
};

void PrintTo(const RefusedCase& c, std::ostream* out) { *out << c.name; }

QByteArray Patched32(QByteArray bytes, int at, uint32_t value) {
  Set32(bytes, at, value);
  return bytes;
}

const RefusedCase kRefused[] = {
    {"JpegStrayBytesToTheEnd",
     [] {
       const QByteArray jpeg = Jpeg();
       return jpeg.left(20) + QByteArray(60, '\x11');
     },
     "JPEG file cut short before its image data"},
    {"JpegStrayBytesHoldingTheEndMarker",
     [] { return s::InsertBeforeJpegMarker(Jpeg(), 0xDB, QByteArray("\x10\xFF\xD9", 3)); },
     "JPEG file has no image data"},
    {"WmfOverstatedWithoutItsEndRecord",
     [] {
       const QByteArray wmf = s::WithWmfSizeOverstated(s::MakeWmf(true), 11);
       return wmf.left(wmf.size() - 6);
     },
     "the metafile is cut short"},
    {"WmfOverstatedEndRecordCut",
     [] {
       const QByteArray wmf = s::WithWmfSizeOverstated(s::MakeWmf(true), 11);
       return wmf.left(wmf.size() - 1);
     },
     "the metafile is cut short"},
    {"IconImagePastTheEnd",
     [] {
       QByteArray file = IconFile(1, {Entry(Layout(16, 16, 8))});
       Set32(file, 6 + 12, 1 << 20);
       return file;
     },
     "icon image 1 lies past the end of the file"},
    {"IconWithoutItsMask",
     [] {
       const s::BmpLayout layout = Layout(16, 16, 8);
       const QByteArray file = IconFile(1, {Entry(layout)});
       return file.left(file.size() - 4 * 16);
     },
     "icon image of 16 x 16 cut short: its mask needs 64 bytes, 0 are present"},
    {"IconLargestImageCutShort",
     [] {
       const QByteArray file = IconFile(1, {Entry(Layout(16, 16, 8)), Entry(Layout(32, 32, 24))});
       return file.left(file.size() - 200);
     },
     "icon image of 32 x 32 cut short: its rows need 3072 bytes"},
    {"IconOneImageUnreadable",
     [] {
       QByteArray file = IconFile(1, {Entry(Layout(16, 16, 8)), Entry(Layout(8, 8, 8))});
       const int second = static_cast<int>(file.size() - s::MakeIconDib(Layout(8, 8, 8)).size());
       Set32(file, second, 7);  // the second image's header size
       return file;
     },
     "unknown BMP header size 7"},
    {"BmpJpegInside", [] { return Patched32(s::MakeBmp(Layout(4, 4, 24)), s::kBmpCompressionAt, 4); },
     "BMP compression 4 (a JPEG picture inside the bitmap, meant for printers) is not supported"},
    {"BmpPngInside", [] { return Patched32(s::MakeBmp(Layout(4, 4, 24)), s::kBmpCompressionAt, 5); },
     "BMP compression 5 (a PNG picture inside the bitmap, meant for printers) is not supported"},
    {"BmpOs2Huffman", [] { return Patched32(s::MakeBmp(WithHeader(Layout(8, 4, 1), 24)), s::kBmpCompressionAt, 3); },
     "BMP compression 3 (OS/2 Huffman coding) is not supported"},
    {"BmpMaskWithAGap",
     [] { return Patched32(s::MakeBmp(WithHeader(Layout(4, 4, 32, C::Bitfields), 52)), 14 + 40, 0x00F0F000); },
     "BMP colour mask 0x00F0F000 is not one run of bits"},
    {"BmpPaletteLongerThanTheRoomForIt",
     [] { return Patched32(s::MakeBmp(Layout(4, 4, 8)), s::kBmpColoursUsedAt, 300); },
     "BMP palette of 300 colours does not fit before its pixel data"},
    {"BmpTwoBitsCutShort",
     [] {
       const QByteArray bmp = s::MakeBmp(Layout(11, 3, 2));
       return bmp.left(bmp.size() - 1);
     },
     "BMP file cut short"},
    {"BmpAlphaBitFieldsMasksCutShort",
     [] { return s::MakeBmp(Layout(4, 4, 32, C::AlphaBitfields)).left(14 + 40 + 14); }, "BMP colour masks cut short"},
};

class RefusedFiles : public ::testing::TestWithParam<RefusedCase> {
 protected:
  void SetUp() override { testing::EnsureGuiApp(); }
};

TEST_P(RefusedFiles, GiveTheReason) {
  const RefusedCase& c = GetParam();
  try {
    const QImage image = Decode(c.make());
    FAIL() << "decoded as " << image.width() << "x" << image.height();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::InvalidPicture);
    EXPECT_NE(e.detail().find(c.reason), std::string::npos) << e.detail();
  }
}

INSTANTIATE_TEST_SUITE_P(Pictures, RefusedFiles, ::testing::ValuesIn(kRefused),
                         [](const ::testing::TestParamInfo<RefusedCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace zindrel
