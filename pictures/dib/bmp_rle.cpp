#include "dib/bmp_rle.h"

#include <string>

#include "core/errors.h"
#include "dib/bmp_file.h"

namespace zindrel {

namespace {

[[noreturn]] void Invalid(const std::string& why) { Raise(ErrorKind::InvalidPicture, "(" + why + ")"); }

[[noreturn]] void BadStream(size_t at, const std::string& why) {
  Invalid("run-length data at byte " + std::to_string(at) + ": " + why);
}

// Walks the stream once. Without a picture it only checks the stream, so a
// malformed file is refused before any pixel memory is taken; with one it
// writes the pixels, rows counted from the bottom as the stream stores them.
void WalkStream(const BmpHeader& header, const unsigned char* data, size_t size, const QRgb* colours, QImage* image) {
  const int64_t width = header.width, height = header.height;
  const bool nibbles = header.compression == kBmpRle4;
  uchar* bits = image ? image->bits() : nullptr;
  const qsizetype stride = image ? image->bytesPerLine() : 0;
  int64_t x = 0, row = 0;
  QRgb* line = nullptr;

  // Checks that count pixels fit at the current position.
  auto reserve = [&](size_t at, int64_t count) {
    if (row >= height) BadStream(at, "pixels past the last row");
    if (x + count > width)
      BadStream(at,
                "a run of " + std::to_string(count) + " pixels passes the end of a row of " + std::to_string(width));
    if (bits) line = reinterpret_cast<QRgb*>(bits + static_cast<qsizetype>(height - 1 - row) * stride);
  };
  auto put = [&](unsigned index) {
    if (line) line[x] = colours[index];
    ++x;
  };

  size_t pos = header.pixelOffset;
  for (;;) {
    const size_t at = pos;
    if (size - pos < 2) {
      // A stream may stop without its end mark once every row is written.
      if (row >= height || (row == height - 1 && x == width)) return;
      BadStream(at, "the data ends before the end of the bitmap");
    }
    const unsigned count = data[pos], code = data[pos + 1];
    pos += 2;
    if (count > 0) {
      reserve(at, count);
      for (unsigned i = 0; i < count; ++i) put(!nibbles ? code : (i & 1) ? (code & 15) : (code >> 4));
    } else if (code == 0) {  // end of line
      x = 0;
      ++row;
    } else if (code == 1) {  // end of bitmap
      return;
    } else if (code == 2) {  // delta
      if (size - pos < 2) BadStream(at, "a delta cut short");
      x += data[pos];
      row += data[pos + 1];
      pos += 2;
      if (x > width) BadStream(at, "a delta moves past the end of the row");
      if (row >= height) BadStream(at, "a delta moves past the last row");
    } else {  // absolute mode
      const size_t bytes = nibbles ? (code + 1) / 2 : code;
      reserve(at, code);
      if (size - pos < bytes) BadStream(at, "an absolute run of " + std::to_string(code) + " pixels cut short");
      for (unsigned i = 0; i < code; ++i) {
        const unsigned char b = data[pos + (nibbles ? i / 2 : i)];
        put(!nibbles ? b : (i & 1) ? (b & 15) : (b >> 4));
      }
      pos += bytes + (bytes & 1);  // absolute runs keep 16-bit alignment
      if (pos > size) pos = size;
    }
  }
}

}  // namespace

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
  if (!header.IsRunLength()) Invalid("not a run-length bitmap");
  if (header.height < 0) Invalid("a run-length bitmap cannot be stored top-down (negative height)");

  QRgb colours[256];
  for (QRgb& c : colours) c = qRgb(0, 0, 0);
  for (int i = 0; i < header.paletteCount; ++i) {
    const unsigned char* e = data + header.paletteOffset + static_cast<size_t>(i) * header.paletteEntrySize;
    colours[i] = qRgb(e[2], e[1], e[0]);
  }

  WalkStream(header, data, size, colours, nullptr);
  QImage image(static_cast<int>(header.width), static_cast<int>(header.height), QImage::Format_RGB32);
  if (image.isNull())
    Raise(ErrorKind::OutOfMemory, "(no memory for a picture of " + std::to_string(header.width) + " x " +
                                      std::to_string(header.height) + " pixels)");
  image.fill(colours[0]);
  WalkStream(header, data, size, colours, &image);
  return image;
}

}  // namespace zindrel
