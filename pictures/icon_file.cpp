#include "icon_file.h"

#include <QByteArray>
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/errors.h"
#include "dib/bmp_file.h"
#include "dib/bmp_pixels.h"
#include "qt_reader.h"
#include "readers/picture_kinds.h"

namespace zindrel {

namespace {

unsigned U16(const unsigned char* p) { return static_cast<unsigned>(p[0] | (p[1] << 8)); }

uint32_t U32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

uint32_t Big32(const unsigned char* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

constexpr size_t kDirectorySize = 6, kEntrySize = 16;
const char kPngSignature[] = "\x89PNG\r\n\x1a\n";

// One image as the directory lists it and as its own header describes it.
struct Image {
  int index = 0;
  int listedWidth = 0, listedHeight = 0;  // the directory's bytes, 0 meaning 256
  uint32_t listedBytes = 0;
  size_t offset = 0;
  bool png = false;
  int64_t width = 0, height = 0;
  int bitsPerPixel = 0;
  BmpHeader bitmap;  // for a bitmap
};

std::string Size(int64_t width, int64_t height) { return std::to_string(width) + " x " + std::to_string(height); }

// Bits per pixel of a PNG from its header chunk: depth times channels.
int PngBitsPerPixel(unsigned depth, unsigned colourType) {
  const unsigned channels = colourType == 2 ? 3 : colourType == 4 ? 2 : colourType == 6 ? 4 : 1;
  return static_cast<int>(depth * channels);
}

// Reads what the image's own header says; raises for one that lies past the
// end of the file or cannot be read.
Image Describe(const unsigned char* data, size_t size, int index) {
  const unsigned char* entry = data + kDirectorySize + kEntrySize * static_cast<size_t>(index);
  Image image;
  image.index = index;
  image.listedWidth = entry[0] ? entry[0] : 256;
  image.listedHeight = entry[1] ? entry[1] : 256;
  image.listedBytes = U32(entry + 8);
  image.offset = U32(entry + 12);
  const std::string which = "icon image " + std::to_string(index + 1);
  if (image.offset >= size) RaiseInvalidPicture(which + " lies past the end of the file");
  const unsigned char* start = data + image.offset;
  const size_t rest = size - image.offset;
  if (rest >= 8 && std::memcmp(start, kPngSignature, 8) == 0) {
    // The header chunk: length and type, then width, height, depth, colour type.
    if (rest < 8 + 8 + 13) RaiseInvalidPicture(which + " (a PNG) cut short in its header");
    image.png = true;
    // Sizes past 2^31 are refused later; kept there, their product fits.
    image.width = std::min<int64_t>(Big32(start + 16), INT32_MAX);
    image.height = std::min<int64_t>(Big32(start + 20), INT32_MAX);
    image.bitsPerPixel = PngBitsPerPixel(start[24], start[25]);
    return image;
  }
  if (rest < 12) RaiseInvalidPicture(which + " cut short in its header");
  // The bitmap's height counts its colour rows and the mask's.
  const int32_t doubled = static_cast<int32_t>(U32(start + 8));
  image.bitmap = ReadDibHeader(data, size, image.offset, (doubled < 0 ? -int64_t{doubled} : doubled) / 2);
  image.width = image.bitmap.width;
  image.height = image.bitmap.Rows();
  image.bitsPerPixel = image.bitmap.bitCount;
  return image;
}

// Most pixels first, then most bits per pixel; the earlier one on a tie.
bool Better(const Image& a, const Image& b) {
  const int64_t pa = a.width * a.height, pb = b.width * b.height;
  if (pa != pb) return pa > pb;
  return a.bitsPerPixel > b.bitsPerPixel;
}

QImage DecodePng(const unsigned char* data, size_t size, const Image& image) {
  CheckPngComplete(data + image.offset, size - image.offset);
  QByteArray bytes(reinterpret_cast<const char*>(data + image.offset), static_cast<qsizetype>(size - image.offset));
  return ReadWithQt(bytes, PictureKind::Png);
}

// True when some pixel of a 32-bit picture has alpha other than 0.
bool UsesAlpha(const QImage& image) {
  if (!image.hasAlphaChannel()) return false;
  for (int y = 0; y < image.height(); ++y) {
    const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x)
      if (qAlpha(line[x]) != 0) return true;
  }
  return false;
}

QImage DecodeBitmap(const unsigned char* data, size_t size, const Image& image, size_t* used) {
  BmpHeader h = image.bitmap;
  if (h.bitCount == 32 && h.compression == kBmpRgb) {
    // An icon's 32-bit pixels are blue, green, red and alpha.
    h.compression = kBmpAlphaBitFields;
    const uint32_t masks[4] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000u};
    std::memcpy(h.masks, masks, sizeof masks);
  }
  const size_t colourBytes = static_cast<size_t>(h.Stride() * h.Rows());
  const size_t maskStride = static_cast<size_t>((h.width + 31) / 32 * 4);
  const size_t maskBytes = maskStride * static_cast<size_t>(h.Rows());
  const size_t maskAt = h.pixelOffset + colourBytes;
  const std::string which = "icon image of " + Size(image.width, image.height);
  if (size - h.pixelOffset < colourBytes)
    RaiseInvalidPicture(which + " cut short: its rows need " + std::to_string(colourBytes) + " bytes, " +
                        std::to_string(size - h.pixelOffset) + " are present");
  QImage picture = DecodeBmpRows(h, data, size);
  const bool alpha = h.bitCount == 32 && UsesAlpha(picture);
  const bool haveMask = size - maskAt >= maskBytes;
  *used = maskAt + (alpha && !haveMask ? 0 : maskBytes) - image.offset;
  if (alpha) return picture;
  if (!haveMask)
    RaiseInvalidPicture(which + " cut short: its mask needs " + std::to_string(maskBytes) + " bytes, " +
                        std::to_string(size - maskAt) + " are present");
  picture = std::move(picture).convertToFormat(QImage::Format_ARGB32);
  const int width = picture.width(), rows = picture.height();
  for (int r = 0; r < rows; ++r) {
    const unsigned char* bits = data + maskAt + maskStride * static_cast<size_t>(r);
    QRgb* line = reinterpret_cast<QRgb*>(picture.scanLine(h.height < 0 ? r : rows - 1 - r));
    for (int x = 0; x < width; ++x)
      if ((bits[x / 8] >> (7 - x % 8)) & 1) line[x] &= 0x00FFFFFFu;
  }
  return picture;
}

// The bytes a PNG takes, up to the end of its end chunk.
size_t PngLength(const unsigned char* png, size_t size) {
  size_t pos = 8;
  while (size - pos >= 12) {
    const size_t length = Big32(png + pos);
    const bool end = std::memcmp(png + pos + 4, "IEND", 4) == 0;
    pos += 12 + length;
    if (end || pos > size) break;
  }
  return pos;
}

}  // namespace

QImage DecodeIconFile(const unsigned char* data, size_t size, std::vector<std::string>* warnings) {
  if (size < kDirectorySize + kEntrySize) RaiseInvalidPicture("icon file cut short in its directory");
  const int count = static_cast<int>(U16(data + 4));
  if (count == 0) RaiseInvalidPicture("icon file holds no images");
  if ((size - kDirectorySize) / kEntrySize < static_cast<size_t>(count))
    RaiseInvalidPicture("icon file cut short in its directory");

  Image best = Describe(data, size, 0);
  for (int i = 1; i < count; ++i) {
    Image other = Describe(data, size, i);
    if (Better(other, best)) best = other;
  }
  CheckPictureSize(best.width, best.height);
  size_t used = 0;
  QImage picture;
  if (best.png) {
    picture = DecodePng(data, size, best);
    used = PngLength(data + best.offset, size - best.offset);
  } else {
    picture = DecodeBitmap(data, size, best, &used);
  }

  if (warnings) {
    const std::string which = count > 1 ? "icon directory entry " + std::to_string(best.index + 1) : "icon directory";
    if (best.listedWidth != (best.width >= 256 ? 256 : best.width) ||
        best.listedHeight != (best.height >= 256 ? 256 : best.height))
      warnings->push_back(which + " gives " + Size(best.listedWidth, best.listedHeight) + " pixels, its image holds " +
                          Size(best.width, best.height));
    if (best.listedBytes < used || best.listedBytes > size - best.offset)
      warnings->push_back(which + " gives " + std::to_string(best.listedBytes) + " bytes, its image takes " +
                          std::to_string(used));
  }
  return picture;
}

}  // namespace zindrel
