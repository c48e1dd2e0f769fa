// Damaged, forged and odd picture files: every one is either decoded into a
// picture within the limits or refused with the invalid-picture error and a
// reason; nothing crashes, hangs or allocates past the loading limit.
#include <gtest/gtest.h>

#include <QImage>
#include <cstring>
#include <functional>

#include "fuzz/seed_files.h"
#include "hostile_support.h"
#include "platform/errors.h"
#include "platform/picture.h"

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

QByteArray Bmp(int w, int h, int bpp, s::BmpCompression c = s::BmpCompression::None, bool topDown = false,
               bool core = false, bool delta = false) {
  s::BmpSpec spec;
  spec.width = w;
  spec.height = h;
  spec.bpp = bpp;
  spec.compression = c;
  spec.topDown = topDown;
  spec.coreHeader = core;
  spec.rleDelta = delta;
  return s::MakeBmp(spec);
}

using C = s::BmpCompression;
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
    const std::string what = std::string(p.name) + " cut to " + std::to_string(n) + " of " +
                             std::to_string(whole.size()) + " bytes";
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

}  // namespace
}  // namespace zindrel
