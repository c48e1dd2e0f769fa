// Our own JPEG and PNG readers against Qt's, pixel for pixel, on a table of
// files of every variant written with libjpeg and libpng; whole pictures and
// rows read in bands of any height give the same pixels, and the errors of
// damaged files keep Qt's words.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageReader>
#include <algorithm>
#include <string>
#include <vector>

#include "core/errors.h"
#include "pictures/picture.h"
#include "pictures/picture_rows.h"
#include "readers/jpeg_markers.h"
#include "readers/picture_kinds.h"
#include "support/jpeg_png.h"

namespace zindrel {
namespace {

namespace s = samples;

// What the program gave before it had readers of its own: Qt's reader, the
// picture laid over white.
QImage QtPicture(QByteArray bytes, const char* format) {
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, format);
  reader.setAutoDetectImageFormat(false);
  QImage image;
  EXPECT_TRUE(reader.read(&image)) << reader.errorString().toStdString();
  return ImagePixelSource(image).image();
}

// The rows of a stream read in bands of changing height (1, 2, 3, ...).
QImage ReadInBands(RowStream& rows) {
  QImage image(rows.Width(), rows.Height(), QImage::Format_RGB32);
  int band = 1;
  for (int y = 0; y < image.height(); y += band, ++band) {
    band = std::min(band, image.height() - y);
    std::vector<uint32_t*> pointers;
    for (int i = 0; i < band; ++i) pointers.push_back(reinterpret_cast<uint32_t*>(image.scanLine(y + i)));
    rows.ReadRows(pointers.data(), band);
  }
  return image;
}

// Where two pictures first differ, for the failure message.
std::string FirstDifference(const QImage& a, const QImage& b) {
  if (a.size() != b.size())
    return std::to_string(a.width()) + "x" + std::to_string(a.height()) + " against " + std::to_string(b.width()) +
           "x" + std::to_string(b.height());
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if (a.pixel(x, y) != b.pixel(x, y)) {
        char text[96];
        std::snprintf(text, sizeof text, "(%d, %d): %08x against %08x", x, y, a.pixel(x, y), b.pixel(x, y));
        return text;
      }
  return "none";
}

void ExpectSamePixels(const QByteArray& bytes, const char* format, bool ours) {
  const QImage expected = QtPicture(bytes, format);
  const QImage whole = DecodePictureBytes(bytes, "picture");
  ASSERT_EQ(whole.format(), QImage::Format_RGB32);
  // Pixels only: Qt's picture may carry the file's colour space, which
  // nothing reads.
  EXPECT_EQ(FirstDifference(whole, expected), "none");
  const std::unique_ptr<RowStream> rows = OpenPictureRows(bytes, nullptr);
  EXPECT_EQ(rows != nullptr, ours) << "read by our own reader";
  if (rows) {
    const QImage banded = ReadInBands(*rows);
    EXPECT_EQ(FirstDifference(banded, expected), "none") << "rows";
  }
}

s::JpegSpec Jpeg(std::string name) {
  s::JpegSpec recipe;
  recipe.name = std::move(name);
  return recipe;
}

std::vector<s::JpegSpec> JpegVariants() {
  using C = s::JpegSpec::Colour;
  std::vector<s::JpegSpec> v;
  auto add = [&](std::string name, auto change) {
    s::JpegSpec recipe = Jpeg(std::move(name));
    change(recipe);
    v.push_back(recipe);
  };
  add("YCbCr420", [](s::JpegSpec&) {});
  add("YCbCr422", [](s::JpegSpec& j) { j.vSample = 1; });
  add("YCbCr440", [](s::JpegSpec& j) { j.hSample = 1; });
  add("YCbCr444", [](s::JpegSpec& j) { j.hSample = j.vSample = 1; });
  add("YCbCr411", [](s::JpegSpec& j) { j.hSample = 4, j.vSample = 1; });
  add("OnePixel", [](s::JpegSpec& j) { j.width = j.height = 1; });
  add("OneColumn", [](s::JpegSpec& j) { j.width = 1, j.height = 19; });
  add("OneRow", [](s::JpegSpec& j) { j.width = 23, j.height = 1; });
  add("Wide", [](s::JpegSpec& j) { j.width = 301, j.height = 45; });
  add("Tall", [](s::JpegSpec& j) { j.width = 35, j.height = 203; });
  add("Quality100", [](s::JpegSpec& j) { j.quality = 100; });
  add("Quality5", [](s::JpegSpec& j) { j.quality = 5; });
  add("Grey", [](s::JpegSpec& j) { j.colour = C::Grey; });
  add("Rgb", [](s::JpegSpec& j) { j.colour = C::Rgb; });
  add("AdobeInvertedCmyk", [](s::JpegSpec& j) { j.colour = C::Cmyk; });
  add("CmykWithoutAdobeMarker", [](s::JpegSpec& j) { j.colour = C::Cmyk, j.adobeMarker = false; });
  add("Ycck", [](s::JpegSpec& j) { j.colour = C::Ycck; });
  add("Progressive", [](s::JpegSpec& j) { j.progressive = true; });
  add("ProgressiveGrey", [](s::JpegSpec& j) { j.progressive = true, j.colour = C::Grey; });
  add("ProgressiveCmyk", [](s::JpegSpec& j) { j.progressive = true, j.colour = C::Cmyk; });
  add("Arithmetic", [](s::JpegSpec& j) { j.arithmetic = true; });
  add("ArithmeticProgressive", [](s::JpegSpec& j) { j.arithmetic = true, j.progressive = true; });
  add("RestartEveryRow", [](s::JpegSpec& j) { j.restartRows = 1; });
  // The program never turned pictures by their EXIF orientation.
  add("ExifRotated90", [](s::JpegSpec& j) { j.exifOrientation = 6; });
  add("ExifMirrored", [](s::JpegSpec& j) { j.exifOrientation = 2; });
  return v;
}

class OwnJpegReader : public testing::TestWithParam<s::JpegSpec> {};

TEST_P(OwnJpegReader, GivesQtsPixels) {
  for (uint32_t seed : {1u, 2u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    ExpectSamePixels(s::EncodeJpeg(GetParam(), seed), "jpeg", true);
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, OwnJpegReader, testing::ValuesIn(JpegVariants()),
                         [](const testing::TestParamInfo<s::JpegSpec>& p) { return p.param.name; });

struct PngCase {
  s::PngSpec recipe;
  bool ours = true;  // false: a form left to Qt
};

std::vector<PngCase> PngVariants() {
  using C = s::PngSpec::Colour;
  std::vector<PngCase> v;
  auto add = [&](std::string name, C colour, int depth, auto change, bool ours = true) {
    s::PngSpec recipe;
    recipe.name = std::move(name);
    recipe.colour = colour;
    recipe.depth = depth;
    change(recipe);
    v.push_back({recipe, ours});
  };
  const auto plain = [](s::PngSpec&) {};
  const auto keyed = [](s::PngSpec& p) { p.transparentKey = true; };
  for (int depth : {1, 2, 4, 8, 16}) {
    add("Grey" + std::to_string(depth), C::Grey, depth, plain);
    add("GreyKeyed" + std::to_string(depth), C::Grey, depth, keyed, depth != 16);
  }
  add("GreyAlpha8", C::GreyAlpha, 8, plain);
  add("GreyAlpha16", C::GreyAlpha, 16, plain, false);
  add("Rgb8", C::Rgb, 8, plain);
  add("Rgb16", C::Rgb, 16, plain);
  add("RgbKeyed8", C::Rgb, 8, keyed);
  add("Rgba8", C::Rgba, 8, plain);
  add("Rgba16", C::Rgba, 16, plain, false);
  for (int depth : {1, 2, 4, 8}) {
    const int full = 1 << depth;
    const std::string d = std::to_string(depth);
    add("Palette" + d, C::Palette, depth, [=](s::PngSpec& p) { p.paletteSize = full; });
    // Indices past a short palette: entry 0, or white in a 1-bit picture.
    add("ShortPalette" + d, C::Palette, depth, [=](s::PngSpec& p) { p.paletteSize = std::max(1, full / 2 - 1); });
    add("PaletteSomeTransparent" + d, C::Palette, depth, [=](s::PngSpec& p) {
      p.paletteSize = full;
      p.transparentEntries = std::max(1, full / 3);
    });
    add("PaletteAllTransparent" + d, C::Palette, depth, [=](s::PngSpec& p) {
      p.paletteSize = full;
      p.transparentEntries = full;
    });
  }
  add("InterlacedRgba8", C::Rgba, 8, [](s::PngSpec& p) { p.interlaced = true; });
  add("InterlacedPalette4", C::Palette, 4, [](s::PngSpec& p) { p.interlaced = true, p.paletteSize = 16; });
  add("InterlacedGrey16", C::Grey, 16, [](s::PngSpec& p) { p.interlaced = true; });
  add("InterlacedOnePixel", C::Rgb, 8, [](s::PngSpec& p) { p.interlaced = true, p.width = p.height = 1; });
  // The file's gamma is not applied, as Qt does not apply it.
  add("GammaGrey8", C::Grey, 8, [](s::PngSpec& p) { p.gamma = 0.45455; });
  add("GammaRgb16", C::Rgb, 16, [](s::PngSpec& p) { p.gamma = 1.0; });
  add("Large", C::Rgb, 8, [](s::PngSpec& p) { p.width = 257, p.height = 131; });
  return v;
}

void PrintTo(const PngCase& c, std::ostream* out) { *out << c.recipe.name; }

class OwnPngReader : public testing::TestWithParam<PngCase> {};

TEST_P(OwnPngReader, GivesQtsPixels) {
  for (uint32_t seed : {1u, 2u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    ExpectSamePixels(s::EncodePng(GetParam().recipe, seed), "png", GetParam().ours);
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, OwnPngReader, testing::ValuesIn(PngVariants()),
                         [](const testing::TestParamInfo<PngCase>& p) { return p.param.recipe.name; });

// Every 16-bit grey level scales to 8 bits as Qt scales it.
TEST(OwnPngReader, EverySixteenBitLevelScalesAsQtScalesIt) {
  s::PngSpec recipe;
  recipe.colour = s::PngSpec::Colour::Grey;
  recipe.depth = 16;
  recipe.width = recipe.height = 256;
  // The generator's noise covers only part of the levels; a ramp covers all.
  QImage ramp(256, 256, QImage::Format_Grayscale16);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) reinterpret_cast<quint16*>(ramp.scanLine(y))[x] = static_cast<quint16>(y * 256 + x);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(ramp.save(&buffer, "png"));
  ExpectSamePixels(bytes, "png", true);
}

// Damaged scan data: where the program refused the file before (the
// structure check, then Qt's reader), it refuses it with the same reason;
// where Qt decoded it (libjpeg recovers from much), it decodes to the same
// pixels, and libjpeg's complaints become warnings.
QString g_lastMessage;
void KeepLast(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type != QtDebugMsg) g_lastMessage = message;
}

struct Verdict {
  std::string reason;  // empty: decoded
  QImage image;
};

Verdict Before(QByteArray bytes, bool jpeg) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
  try {
    if (jpeg)
      CheckJpegComplete(data, static_cast<size_t>(bytes.size()));
    else
      CheckPngComplete(data, static_cast<size_t>(bytes.size()));
  } catch (const RuntimeError& e) {
    return {e.detail(), {}};
  }
  g_lastMessage.clear();
  const QtMessageHandler previous = qInstallMessageHandler(KeepLast);
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, jpeg ? "jpeg" : "png");
  reader.setAutoDetectImageFormat(false);
  QImage image;
  const bool read = reader.read(&image);
  qInstallMessageHandler(previous);
  if (!read) {
    const QString reason = g_lastMessage.isEmpty() ? reader.errorString() : g_lastMessage;
    return {std::string(jpeg ? "(JPEG: " : "(PNG: ") + reason.toStdString() + ")", {}};
  }
  return {{}, ImagePixelSource(image).image()};
}

TEST(OwnReaders, DamagedScansGiveTheVerdictsOfBefore) {
  int refused = 0, decoded = 0;
  for (bool jpeg : {true, false}) {
    SCOPED_TRACE(jpeg ? "jpeg" : "png");
    const QByteArray good = jpeg ? s::EncodeJpeg(Jpeg("damaged")) : s::EncodePng(s::PngSpec{});
    for (int at = static_cast<int>(good.size() / 3); at < good.size() - 16; at += 23) {
      QByteArray bad = good;
      for (int i = at; i < at + 4; ++i) bad[i] = static_cast<char>(bad[i] ^ 0x5A);
      const Verdict before = Before(bad, jpeg);
      Verdict now;
      PictureWarnings warnings;
      try {
        now.image = DecodePictureBytes(bad, "bad", &warnings);
      } catch (const RuntimeError& e) {
        now.reason = e.detail();
      }
      EXPECT_EQ(now.reason, before.reason) << "damaged at " << at;
      if (before.reason.empty()) {
        EXPECT_EQ(FirstDifference(now.image, before.image), "none") << "damaged at " << at;
        ++decoded;
      } else {
        ++refused;
      }
    }
  }
  EXPECT_GT(refused, 0);
  EXPECT_GT(decoded, 0);
}

}  // namespace
}  // namespace zindrel
