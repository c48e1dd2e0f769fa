// The header of a BMP file, read and checked before any pixel memory is
// allocated: sizes, bit depth, compression, palette and where the pixel data
// starts, all checked against the file's length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zindrel {

// Largest decoded picture accepted, in bytes of 32-bit pixels: 1 GiB.
constexpr int64_t kMaxPictureBytes = int64_t{1} << 30;

// Raises InvalidPicture when a picture of width x height pixels (as claimed
// by a header) is empty or would take more than kMaxPictureBytes decoded.
void CheckPictureSize(int64_t width, int64_t height);

enum BmpCompression : uint32_t {
  kBmpRgb = 0,
  kBmpRle8 = 1,
  kBmpRle4 = 2,
  kBmpBitFields = 3,
};

struct BmpHeader {
  uint32_t headerSize = 0;  // 12 (OS/2 core header) or 40 and more
  int64_t width = 0;
  int64_t height = 0;  // as stored: negative for rows stored top-down
  int bitCount = 0;
  uint32_t compression = kBmpRgb;
  uint32_t pixelOffset = 0;    // where the pixel data starts in the file
  uint32_t paletteOffset = 0;  // where the colour table starts
  int paletteEntrySize = 4;    // 3 for the core header (B, G, R), else 4
  int paletteCount = 0;        // entries present and used (at most 2^bitCount)

  bool IsRunLength() const { return compression == kBmpRle8 || compression == kBmpRle4; }
  int64_t Rows() const { return height < 0 ? -height : height; }
};

// True when the bytes begin like a BMP file ("BM").
bool LooksLikeBmp(const unsigned char* data, size_t size);

// Reads and checks the file and info headers. Raises InvalidPicture with the
// reason for a header that is cut short, a size of zero or a negative width,
// a depth that does not go with its compression, a palette or pixel offset
// outside the file, or a picture over the size limit.
BmpHeader ReadBmpHeader(const unsigned char* data, size_t size);

// For an uncompressed or bit-field BMP: raises InvalidPicture when the file
// is too short for the rows its header promises.
void CheckBmpPixelData(const BmpHeader& header, size_t size);

}  // namespace zindrel
