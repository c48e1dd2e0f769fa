#include "dib/bmp_file.h"

#include "core/errors.h"

namespace zindrel {

namespace {

[[noreturn]] void Invalid(const std::string& why) { Raise(ErrorKind::InvalidPicture, "(" + why + ")"); }

uint32_t U16(const unsigned char* p) { return static_cast<uint32_t>(p[0] | (p[1] << 8)); }

uint32_t U32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

int32_t S32(const unsigned char* p) { return static_cast<int32_t>(U32(p)); }

constexpr size_t kFileHeaderSize = 14;

bool DepthFits(uint32_t compression, int bits, bool core) {
  if (core) return bits == 1 || bits == 4 || bits == 8 || bits == 24;
  switch (compression) {
    case kBmpRgb: return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    case kBmpRle8: return bits == 8;
    case kBmpRle4: return bits == 4;
    case kBmpBitFields: return bits == 16 || bits == 32;
    default: return false;
  }
}

}  // namespace

void CheckPictureSize(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0)
    Invalid("a picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels is empty");
  if (width > kMaxPictureBytes / 4 / height)
    Invalid("a picture of " + std::to_string(width) + " x " + std::to_string(height) +
            " pixels is larger than the 1 GiB limit");
}

bool LooksLikeBmp(const unsigned char* data, size_t size) { return size >= 2 && data[0] == 'B' && data[1] == 'M'; }

BmpHeader ReadBmpHeader(const unsigned char* data, size_t size) {
  if (!LooksLikeBmp(data, size)) Invalid("not a BMP file");
  if (size < kFileHeaderSize + 4) Invalid("BMP header cut short");
  BmpHeader h;
  h.pixelOffset = U32(data + 10);
  h.headerSize = U32(data + 14);
  const bool core = h.headerSize == 12;
  if (!core && h.headerSize < 40) Invalid("unknown BMP header size " + std::to_string(h.headerSize));
  if (h.headerSize > size - kFileHeaderSize) Invalid("BMP header cut short");
  const unsigned char* info = data + kFileHeaderSize;
  uint32_t colorsUsed = 0;
  if (core) {
    h.width = U16(info + 4);
    h.height = U16(info + 6);
    h.bitCount = static_cast<int>(U16(info + 10));
    h.paletteEntrySize = 3;
  } else {
    h.width = S32(info + 4);
    h.height = S32(info + 8);
    h.bitCount = static_cast<int>(U16(info + 14));
    h.compression = U32(info + 16);
    colorsUsed = U32(info + 32);
  }
  if (h.width <= 0) Invalid("BMP width " + std::to_string(h.width) + " is not positive");
  if (h.height == 0) Invalid("BMP height is zero");
  if (h.compression > kBmpBitFields) Invalid("BMP compression " + std::to_string(h.compression) + " is not supported");
  if (!DepthFits(h.compression, h.bitCount, core))
    Invalid("BMP depth of " + std::to_string(h.bitCount) + " bits does not go with compression " +
            std::to_string(h.compression));
  CheckPictureSize(h.width, h.Rows());

  h.paletteOffset = static_cast<uint32_t>(kFileHeaderSize + h.headerSize);
  // A plain info header with bit fields keeps its three masks before the palette.
  if (h.headerSize == 40 && h.compression == kBmpBitFields) h.paletteOffset += 12;
  if (h.pixelOffset < h.paletteOffset)
    Invalid("BMP pixel data offset " + std::to_string(h.pixelOffset) + " lies inside the header");
  if (h.pixelOffset > size)
    Invalid("BMP pixel data offset " + std::to_string(h.pixelOffset) + " lies past the end of the file");
  if (h.bitCount <= 8) {
    const int64_t most = int64_t{1} << h.bitCount;
    int64_t count = colorsUsed == 0 || colorsUsed > most ? most : colorsUsed;
    // Entries that would overlap the pixel data are not part of the table.
    const int64_t room = (int64_t{h.pixelOffset} - h.paletteOffset) / h.paletteEntrySize;
    if (count > room) count = room;
    h.paletteCount = static_cast<int>(count);
  }
  return h;
}

void CheckBmpPixelData(const BmpHeader& header, size_t size) {
  const int64_t stride = (header.width * header.bitCount + 31) / 32 * 4;
  const int64_t needed = stride * header.Rows();
  const int64_t present = static_cast<int64_t>(size) - header.pixelOffset;
  if (present < needed)
    Invalid("BMP file cut short: its rows need " + std::to_string(needed) + " bytes of pixel data, " +
            std::to_string(present) + " are present");
}

}  // namespace zindrel
