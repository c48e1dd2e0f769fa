// Damaged, forged and odd picture files: every one is either decoded into a
// picture within the limits or refused with the invalid-picture error and a
// reason; nothing crashes, hangs or allocates past the loading limit.
#include <gtest/gtest.h>

#include <QImage>
#include <cstring>
#include <functional>

#include "core/errors.h"
#include "pictures/picture.h"
#include "support/picture_bytes.h"
#include "support/process.h"
#include "support/sample_files.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace zindrel {
namespace {

namespace s = samples;
using hostile::Scratch;

struct Sample {
  const char* name;
  const char* extension;
  std::function<QByteArray()> bytes;
  int width, height;  // 0: decided by the player (metafiles)
  // Bytes at the end that a decoder may do without (a trailer, an end
  // chunk): cutting only those need not be refused.
  int optionalTail;
};

using s::Bmp;

using C = s::BmpCompression;

QByteArray Variant(int width, int height, int bpp, s::BmpCompression compression, int headerSize, bool alpha = false,
                   int extraPalette = 0) {
  s::BmpLayout layout = s::Layout(width, height, bpp, compression);
  layout.headerSize = headerSize;
  layout.alpha = alpha;
  layout.extraPaletteEntries = extraPalette;
  return s::MakeBmp(layout);
}

// Three images, the largest (24 x 24, 4 bits) last.
QByteArray SeveralImages() {
  std::vector<picture_bytes::IconImage> images;
  for (int side : {16, 8, 24}) {
    const s::BmpLayout layout = s::Layout(side, side, side == 24 ? 4 : 8);
    images.push_back({side, side, 1, layout.bpp, s::MakeIconDib(layout)});
  }
  return picture_bytes::IconFile(1, images);
}
const Sample kSamples[] = {
    {"Bmp1", "bmp", [] { return Bmp(9, 5, 1); }, 9, 5, 0},
    {"Bmp4", "bmp", [] { return Bmp(9, 5, 4); }, 9, 5, 0},
    {"Bmp8", "bmp", [] { return Bmp(9, 5, 8); }, 9, 5, 0},
    {"Bmp16", "bmp", [] { return Bmp(7, 4, 16, C::Bitfields); }, 7, 4, 0},
    {"Bmp24", "bmp", [] { return Bmp(9, 5, 24); }, 9, 5, 0},
    {"Bmp32", "bmp", [] { return Bmp(9, 5, 32); }, 9, 5, 0},
    {"BmpTopDown", "bmp", [] { return Bmp(6, 4, 24, C::None, true); }, 6, 4, 0},
    {"BmpCore", "bmp", [] { return Bmp(6, 4, 8, C::None, false, true); }, 6, 4, 0},
    // A run-length stream may leave out its end mark once every row is written.
    {"Rle8", "rle", [] { return Bmp(13, 6, 8, C::Rle8, false, false, true); }, 13, 6, 2},
    {"Rle4", "rle", [] { return Bmp(13, 6, 4, C::Rle4); }, 13, 6, 2},
    {"Gif", "gif", [] { return s::MakeGif(11, 7, 4); }, 11, 7, 1},
    {"GifInterlaced", "gif", [] { return s::MakeGif(9, 10, 16, true); }, 9, 10, 1},
    {"Jpeg", "jpg", [] { return s::EncodeWithQt(s::TestPicture(16, 12), "jpeg", 80); }, 16, 12, 0},
    {"Png", "png", [] { return s::EncodeWithQt(s::TestPicture(8, 6, true), "png"); }, 8, 6, 12},
    {"Icon", "ico", [] { return s::MakeIcon(16, 8, false); }, 16, 16, 0},
    {"Cursor", "cur", [] { return s::MakeIcon(16, 1, true); }, 16, 16, 0},
    {"Wmf", "wmf", [] { return s::MakeWmf(true); }, 0, 0, 0},
    {"WmfNoPlaceableHeader", "wmf", [] { return s::MakeWmf(false); }, 0, 0, 0},
    {"Emf", "emf", [] { return s::MakeEmf(); }, 0, 0, 0},
    // What other readers open too: BMP variants our own decoder reads, odd
    // files a reader recovers from, icons with several images.
    {"Bmp2", "bmp", [] { return Bmp(13, 5, 2); }, 13, 5, 0},
    {"BmpOs2Header16", "bmp", [] { return Variant(9, 5, 8, C::None, 16); }, 9, 5, 0},
    {"BmpHeader56Alpha", "bmp", [] { return Variant(9, 5, 32, C::Bitfields, 56, true); }, 9, 5, 0},
    {"BmpAlphaBitFields", "bmp", [] { return Variant(7, 4, 32, C::AlphaBitfields, 40, true); }, 7, 4, 0},
    {"BmpPalette300", "bmp", [] { return Variant(9, 5, 8, C::None, 40, false, 44); }, 9, 5, 0},
    {"JpegStrayBytes", "jpg",
     [] {
       return s::InsertBeforeJpegMarker(s::EncodeWithQt(s::TestPicture(16, 12), "jpeg", 80), 0xDB,
                                        QByteArray(16, '\x20'));
     },
     16, 12, 0},
    {"WmfHeaderOverstates", "wmf", [] { return s::WithWmfSizeOverstated(s::MakeWmf(true), 11); }, 0, 0, 0},
    {"IconSeveralImages", "ico", SeveralImages, 24, 24, 0},
};

std::string SampleName(const ::testing::TestParamInfo<Sample>& p) { return p.param.name; }

// What decoding some bytes came to.
struct Outcome {
  bool decoded = false;
  QImage image;
  ErrorKind kind{};
  std::string message;
};

Outcome Decode(const QByteArray& bytes, const std::string& name) {
  Outcome o;
  try {
    o.image = DecodePictureBytes(bytes, name);
    o.decoded = true;
  } catch (const RuntimeError& e) {
    o.kind = e.kind();
    o.message = e.message();
  }
  return o;
}

// A decoded picture keeps the decoder's promises; a refusal says why.
void ExpectSound(const Outcome& o, const std::string& what) {
  if (o.decoded) {
    EXPECT_FALSE(o.image.isNull()) << what;
    EXPECT_EQ(o.image.format(), QImage::Format_RGB32) << what;
    EXPECT_LE(int64_t{o.image.width()} * o.image.height() * 4, int64_t{1} << 30) << what;
  } else {
    EXPECT_EQ(o.kind, ErrorKind::InvalidPicture) << what << ": " << o.message;
    // "invalid picture (reason)": the reason is never empty.
    EXPECT_GT(o.message.size(), std::strlen("invalid picture ()")) << what << ": " << o.message;
  }
}

class PictureSamples : public ::testing::TestWithParam<Sample> {
 protected:
  void SetUp() override { hostile::EnsureGuiApp(); }
};

TEST_P(PictureSamples, WholeFileDecodes) {
  const Sample& p = GetParam();
  Scratch scratch;
  const std::string path = scratch.Write(std::string("sample.") + p.extension, p.bytes());
  QImage image;
  try {
    image = DecodePictureFile(path);
  } catch (const RuntimeError& e) {
    FAIL() << e.message();
  }
  EXPECT_EQ(image.format(), QImage::Format_RGB32);
  if (p.width) {
    EXPECT_EQ(image.width(), p.width);
    EXPECT_EQ(image.height(), p.height);
  } else {
    EXPECT_GT(image.width(), 0);
    EXPECT_GT(image.height(), 0);
  }
}

// A file cut short anywhere before its optional tail is refused: a decoder
// must not make up the missing part.
TEST_P(PictureSamples, CutShortIsRefused) {
  const Sample& p = GetParam();
  const QByteArray whole = p.bytes();
  const int last = static_cast<int>(whole.size()) - p.optionalTail;
  const int step = last > 400 ? last / 200 : 1;
  for (int n = 0; n < last; n += (n < 64 ? 1 : step)) {
    const Outcome o = Decode(whole.left(n), std::string("cut.") + p.extension);
    const std::string what =
        std::string(p.name) + " cut to " + std::to_string(n) + " of " + std::to_string(whole.size()) + " bytes";
    EXPECT_FALSE(o.decoded) << what << " decoded as " << o.image.width() << "x" << o.image.height();
    if (!o.decoded) ExpectSound(o, what);
  }
}

// Flipped bits and bytes anywhere: decoded soundly or refused with a reason.
TEST_P(PictureSamples, FlippedBitsDecodeSoundlyOrAreRefused) {
  const Sample& p = GetParam();
  const QByteArray whole = p.bytes();
  uint32_t x = 12345;
  for (int round = 0; round < 300; ++round) {
    QByteArray damaged = whole;
    const int flips = 1 + round % 4;
    for (int k = 0; k < flips; ++k) {
      x = x * 1103515245u + 12345u;
      const int at = static_cast<int>((x >> 8) % static_cast<uint32_t>(damaged.size()));
      if (round % 3 == 2)
        damaged[at] = static_cast<char>(round % 2 ? 0xFF : 0x00);  // a whole byte set
      else
        damaged[at] = static_cast<char>(damaged[at] ^ (1 << ((x >> 4) % 8)));
    }
    ExpectSound(Decode(damaged, std::string("flipped.") + p.extension),
                std::string(p.name) + " damaged, round " + std::to_string(round));
  }
}

INSTANTIATE_TEST_SUITE_P(Hostile, PictureSamples, ::testing::ValuesIn(kSamples), SampleName);

// ---- Forged headers: sizes and counts that no file of its length can hold.

uint32_t Crc32(const QByteArray& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (char ch : bytes) {
    crc ^= static_cast<uint8_t>(ch);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

QByteArray Patch32(QByteArray bytes, int at, uint32_t value) {
  s::Bytes b;
  b.data = std::move(bytes);
  b.put32(at, value);
  return b.data;
}
QByteArray Patch16(QByteArray bytes, int at, int value) {
  s::Bytes b;
  b.data = std::move(bytes);
  b.put16(at, value);
  return b.data;
}
uint32_t BigEndian(uint32_t v) { return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24); }

QByteArray PngClaiming(uint32_t width, uint32_t height) {
  QByteArray png = s::EncodeWithQt(s::TestPicture(8, 6), "png");
  // IHDR: length at 8, type at 12, width at 16, height at 20, CRC at 29.
  png = Patch32(png, 16, BigEndian(width));
  png = Patch32(png, 20, BigEndian(height));
  return Patch32(png, 29, BigEndian(Crc32(png.mid(12, 17))));
}

QByteArray JpegClaiming(int width, int height) {
  QByteArray jpeg = s::EncodeWithQt(s::TestPicture(16, 12), "jpeg", 80);
  const int sof = static_cast<int>(jpeg.indexOf(QByteArray("\xFF\xC0", 2)));
  // SOF0: marker, length (2), precision (1), height (2), width (2), big-endian.
  jpeg[sof + 5] = static_cast<char>(height >> 8);
  jpeg[sof + 6] = static_cast<char>(height & 0xFF);
  jpeg[sof + 7] = static_cast<char>(width >> 8);
  jpeg[sof + 8] = static_cast<char>(width & 0xFF);
  return jpeg;
}

QByteArray GifClaiming(int width, int height) {
  QByteArray gif = s::MakeGif(11, 7, 4);
  gif = Patch16(gif, 6, width);
  gif = Patch16(gif, 8, height);
  // Image descriptor after the header (13), palette (4 x 3) and the graphic
  // control extension (8): its size at +5 and +7.
  const int image = 13 + 12 + 8;
  gif = Patch16(gif, image + 5, width);
  return Patch16(gif, image + 7, height);
}

QByteArray RleClaiming(int32_t width, int32_t height) {
  s::BmpLayout layout;
  layout.bpp = 8;
  layout.compression = s::BmpCompression::Rle8;
  QByteArray bmp = Patch32(s::MakeBmp(layout), s::kBmpWidthAt, static_cast<uint32_t>(width));
  return Patch32(bmp, s::kBmpHeightAt, static_cast<uint32_t>(height));
}

QByteArray IconClaiming(int32_t width, int32_t height) {
  // The image's own header starts at 22: width at +4, height (doubled) at +8.
  QByteArray ico = Patch32(s::MakeIcon(16, 32, false), 22 + 4, static_cast<uint32_t>(width));
  return Patch32(ico, 22 + 8, static_cast<uint32_t>(height) * 2);
}

QByteArray WmfClaiming(int right, int bottom, int inch) {
  std::vector<s::WmfRecord> records{{0x041B, {10, 10, 0, 0}}};
  QByteArray wmf = s::MakeWmfFrom(records, true, right, bottom);
  wmf = Patch16(wmf, 14, inch);
  int sum = 0;
  for (int i = 0; i < 10; ++i) sum ^= static_cast<uint8_t>(wmf[2 * i]) | (static_cast<uint8_t>(wmf[2 * i + 1]) << 8);
  return Patch16(wmf, 20, sum);
}

QByteArray EmfClaiming(int32_t right, int32_t bottom) {
  QByteArray emf = s::MakeEmf();
  // Bounds at 8..23 (device units), frame at 24..39 (0.01 mm).
  emf = Patch32(emf, 16, static_cast<uint32_t>(right));
  emf = Patch32(emf, 20, static_cast<uint32_t>(bottom));
  emf = Patch32(emf, 32, static_cast<uint32_t>(right));
  return Patch32(emf, 36, static_cast<uint32_t>(bottom));
}

QByteArray BmpWith(int at, uint32_t value, int bpp = 24) {
  s::BmpLayout layout;
  layout.bpp = bpp;
  return Patch32(s::MakeBmp(layout), at, value);
}

struct Forged {
  const char* name;
  std::function<QByteArray()> bytes;
};

const Forged kForged[] = {
    {"Bmp100000Squared", [] { return Patch32(BmpWith(s::kBmpWidthAt, 100000), s::kBmpHeightAt, 100000); }},
    {"BmpNegativeWidth", [] { return BmpWith(s::kBmpWidthAt, static_cast<uint32_t>(-8)); }},
    {"BmpLowestHeight", [] { return BmpWith(s::kBmpHeightAt, 0x80000000u); }},
    {"BmpZeroWidth", [] { return BmpWith(s::kBmpWidthAt, 0); }},
    {"BmpSevenBitsPerPixel", [] { return Patch16(BmpWith(s::kBmpCompressionAt, 0), s::kBmpBppAt, 7); }},
    {"BmpTwoBillionColours", [] { return BmpWith(s::kBmpColoursUsedAt, 0x80000000u, 8); }},
    {"BmpPixelsPastTheEnd", [] { return BmpWith(s::kBmpDataOffsetAt, 0x7FFFFFF0u); }},
    {"BmpWideRowsCutShort", [] { return BmpWith(s::kBmpWidthAt, 4000); }},
    {"Rle100000Squared", [] { return RleClaiming(100000, 100000); }},
    {"RleTopDown", [] { return RleClaiming(8, -6); }},
    {"Png100000Squared", [] { return PngClaiming(100000, 100000); }},
    {"PngWidthZero", [] { return PngClaiming(0, 6); }},
    {"Jpeg65500Squared", [] { return JpegClaiming(65500, 65500); }},
    {"Gif65535Squared", [] { return GifClaiming(65535, 65535); }},
    {"Icon100000Squared", [] { return IconClaiming(100000, 100000); }},
    {"IconNegativeSize", [] { return IconClaiming(-16, -16); }},
    {"WmfBoxOf32767InchUnits", [] { return WmfClaiming(32767, 32767, 1); }},
    {"WmfBoxWithoutSize", [] { return WmfClaiming(0, 0, 96); }},
    {"EmfFrameOf20Metres", [] { return EmfClaiming(2000000, 2000000); }},
    {"EmfUpsideDownFrame", [] { return EmfClaiming(-5000, -5000); }},
};

class ForgedHeaders : public ::testing::TestWithParam<Forged> {
 protected:
  void SetUp() override { hostile::EnsureGuiApp(); }
};

// Refused from the header alone: no picture memory for a size the file
// cannot back, and a reason that says what is wrong.
TEST_P(ForgedHeaders, AreRefusedWithAReason) {
  const Outcome o = Decode(GetParam().bytes(), "forged");
  EXPECT_FALSE(o.decoded) << GetParam().name << " decoded as " << o.image.width() << "x" << o.image.height();
  ExpectSound(o, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Hostile, ForgedHeaders, ::testing::ValuesIn(kForged),
                         [](const ::testing::TestParamInfo<Forged>& p) { return std::string(p.param.name); });

// Files that are no pictures at all, given the names of pictures.
class NotPictures : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override { hostile::EnsureGuiApp(); }
};

TEST_P(NotPictures, EmptyAndGarbageFilesAreRefused) {
  Scratch scratch;
  const std::string name = std::string("file.") + GetParam();
  for (const QByteArray& bytes : {QByteArray(), hostile::Garbage(3000, 11), QByteArray(5000, '\0')}) {
    try {
      DecodePictureFile(scratch.Write(name, bytes));
      ADD_FAILURE() << name << " of " << bytes.size() << " bytes decoded";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.kind(), ErrorKind::InvalidPicture) << e.message();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Hostile, NotPictures,
                         ::testing::Values("bmp", "rle", "dib", "gif", "jpg", "png", "ico", "cur", "wmf", "emf"));

TEST(OddPictureFiles, NoFileFolderDeviceAndFifoAreRefusedAtOnce) {
  Scratch scratch;
  struct Odd {
    std::string path;
    ErrorKind kind;
  };
  std::vector<Odd> odd{{scratch.Path("missing.bmp"), ErrorKind::FileNotFound},
                       {scratch.MakeFolder("folder.bmp"), ErrorKind::FileAccess}};
#ifndef _WIN32
  odd.push_back({"/dev/zero", ErrorKind::FileAccess});
  const std::string fifo = scratch.Path("fifo.bmp");
  if (mkfifo(fifo.c_str(), 0600) == 0) odd.push_back({fifo, ErrorKind::FileAccess});
#endif
  for (const Odd& o : odd) {
    hostile::WithinSeconds(20, o.path.c_str(), [&] {
      try {
        DecodePictureFile(o.path);
        ADD_FAILURE() << o.path << " decoded";
      } catch (const RuntimeError& e) {
        EXPECT_EQ(e.kind(), o.kind) << o.path << ": " << e.message();
      }
    });
  }
}

}  // namespace
}  // namespace zindrel
