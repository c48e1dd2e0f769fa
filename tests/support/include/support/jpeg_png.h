// JPEG and PNG files of every variant, written with libjpeg and libpng
// directly (Qt's writers make only a few of them): JPEG colour spaces and
// sampling, progressive and arithmetic coding, restart markers; PNG colour
// types and depths, palettes with and without transparency, transparent
// colours, gamma, interlacing. The pixels are a seeded mix of gradients and
// noise, so that every colour conversion and rounding step is exercised.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <string>

namespace zindrel::samples {

struct JpegSpec {
  enum class Colour { YCbCr, Grey, Rgb, Cmyk, Ycck };
  std::string name;
  int width = 37;
  int height = 29;
  Colour colour = Colour::YCbCr;
  int hSample = 2, vSample = 2;  // the first component's sampling factors
  bool progressive = false;
  bool arithmetic = false;
  int restartRows = 0;      // a restart marker every n rows of blocks
  bool adobeMarker = true;  // written by libjpeg for CMYK and YCCK; false leaves it out
  int quality = 85;
  int exifOrientation = 0;  // 1..8 adds an EXIF segment with that orientation
};
QByteArray EncodeJpeg(const JpegSpec& recipe, uint32_t seed = 1);

struct PngSpec {
  enum class Colour { Grey = 0, Rgb = 2, Palette = 3, GreyAlpha = 4, Rgba = 6 };
  std::string name;
  int width = 23;
  int height = 17;
  Colour colour = Colour::Rgb;
  int depth = 8;
  bool interlaced = false;
  int paletteSize = 0;          // palette pictures: entries (indices run over all 2^depth values)
  int transparentEntries = 0;   // palette pictures: entries with an alpha of their own
  bool transparentKey = false;  // grey and RGB: one colour marked transparent (tRNS)
  double gamma = 0;             // > 0 adds a gAMA chunk
};
QByteArray EncodePng(const PngSpec& recipe, uint32_t seed = 1);

}  // namespace zindrel::samples
