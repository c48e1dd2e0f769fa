#include "dib/bmp_rle.h"

#include <string>

#include "core/errors.h"
#include "dib/bmp_file.h"
#include "dib/rle.h"

namespace zindrel {

namespace {}  // namespace

bool IsRunLengthBmp(const unsigned char* data, size_t size) {
  if (!LooksLikeBmp(data, size) || size < 14 + 20) return false;
  const uint32_t headerSize =
      static_cast<uint32_t>(data[14] | (data[15] << 8) | (data[16] << 16)) | (static_cast<uint32_t>(data[17]) << 24);
  if (headerSize < 20) return false;  // the core header and the shortest OS/2 2.x ones have no compression field
  const uint32_t compression =
      static_cast<uint32_t>(data[30] | (data[31] << 8) | (data[32] << 16)) | (static_cast<uint32_t>(data[33]) << 24);
  return compression == kBmpRle8 || compression == kBmpRle4;
}

QImage DecodeRunLengthBmp(const unsigned char* data, size_t size) {
  const BmpHeader header = ReadBmpHeader(data, size);
  if (!header.IsRunLength()) RaiseInvalidPicture("not a run-length bitmap");
  if (header.height < 0) RaiseInvalidPicture("a run-length bitmap cannot be stored top-down (negative height)");

  QRgb colours[256];
  for (QRgb& c : colours) c = qRgb(0, 0, 0);
  for (int i = 0; i < header.paletteCount; ++i) {
    const unsigned char* e = data + header.paletteOffset + static_cast<size_t>(i) * header.paletteEntrySize;
    colours[i] = qRgb(e[2], e[1], e[0]);
  }

  // The stream is checked whole before any pixel memory is taken, then
  // walked again to write the pixels.
  const bool nibbles = header.compression == kBmpRle4;
  dib::WalkRle(data, header.pixelOffset, size, header.width, header.height, nibbles, dib::RleMode::Strict,
               [](int64_t, int64_t, unsigned) {});
  QImage image(static_cast<int>(header.width), static_cast<int>(header.height), QImage::Format_RGB32);
  if (image.isNull())
    Raise(ErrorKind::OutOfMemory, "(no memory for a picture of " + std::to_string(header.width) + " x " +
                                      std::to_string(header.height) + " pixels)");
  image.fill(colours[0]);
  const int height = image.height();
  dib::WalkRle(data, header.pixelOffset, size, header.width, header.height, nibbles, dib::RleMode::Strict,
               [&](int64_t x, int64_t row, unsigned index) {
                 reinterpret_cast<QRgb*>(image.scanLine(height - 1 - static_cast<int>(row)))[x] = colours[index];
               });
  return image;
}

}  // namespace zindrel
