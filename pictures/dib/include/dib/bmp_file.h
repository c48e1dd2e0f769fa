// The header of a BMP file, read and checked before any pixel memory is
// allocated: sizes, bit depth, compression, palette, colour masks and where
// the pixel data starts, all checked against the file's length.
//
// Header kinds read: the 12-byte OS/2 1.x core header (16-bit sizes, palette
// of B, G, R triples); the OS/2 2.x header of 16 to 64 bytes (fields past its
// length count as zero, palette of B, G, R, 0); the Windows info header of 40
// bytes and its later versions of 52 (colour masks), 56 (colour and alpha
// masks), 108 and 124 bytes and any other length of at least 40.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "readers/picture_kinds.h"

namespace zindrel {

enum BmpCompression : uint32_t {
  kBmpRgb = 0,
  kBmpRle8 = 1,
  kBmpRle4 = 2,
  kBmpBitFields = 3,
  kBmpJpeg = 4,  // a whole JPEG file as the pixel data, meant for printers
  kBmpPng = 5,   // the same with a PNG file
  kBmpAlphaBitFields = 6,
};

struct BmpHeader {
  uint32_t headerSize = 0;  // 12 (OS/2 core header), 16..64 (OS/2 2.x) or 40 and more
  int64_t width = 0;
  int64_t height = 0;  // as stored: negative for rows stored top-down
  int bitCount = 0;
  uint32_t compression = kBmpRgb;
  uint32_t colorsUsed = 0;     // the header's count of palette entries (0: as many as the depth has)
  uint32_t pixelOffset = 0;    // where the pixel data starts in the file
  uint32_t paletteOffset = 0;  // where the colour table starts
  int paletteEntrySize = 4;    // 3 for the core header (B, G, R), else 4
  int paletteCount = 0;        // entries present and used (at most 2^bitCount)
  // Red, green, blue and alpha masks of bit-field pixels (compression 3 and
  // 6; zero otherwise, and the alpha mask zero when there is none).
  uint32_t masks[4] = {0, 0, 0, 0};

  bool IsRunLength() const { return compression == kBmpRle8 || compression == kBmpRle4; }
  bool IsBitFields() const { return compression == kBmpBitFields || compression == kBmpAlphaBitFields; }
  // The OS/2 headers: the core header and the 2.x header shorter than 64
  // bytes (a 64-byte header is read as the Windows headers are).
  bool IsOs2() const {
    return headerSize == 12 || (headerSize < 64 && headerSize != 40 && headerSize != 52 && headerSize != 56);
  }
  int64_t Rows() const { return height < 0 ? -height : height; }
  int64_t Stride() const { return (width * bitCount + 31) / 32 * 4; }
};

// True when the bytes begin like a BMP file ("BM").
bool LooksLikeBmp(const unsigned char* data, size_t size);

// Reads and checks the file and info headers. Raises InvalidPicture with the
// reason for a header that is cut short, a size of zero or a negative width,
// a depth that does not go with its compression, a compression that is not
// read (4 and 5, a JPEG or PNG inside the bitmap; the OS/2 Huffman and 24-bit
// run-length kinds), a colour mask that is not one run of bits, a palette or
// pixel offset outside the file, or a picture over the size limit.
BmpHeader ReadBmpHeader(const unsigned char* data, size_t size);

// The same for a bitmap without the file header, as icons and cursors hold
// them: the info header starts at `at` in `data`, the palette follows it and
// the pixel rows follow the palette. Offsets in the result count from the
// start of `data`. `rows` replaces the header's height (an icon's header
// counts the mask's rows too); the mask rows, if any, follow at
// pixelOffset + Stride() * Rows().
BmpHeader ReadDibHeader(const unsigned char* data, size_t size, size_t at, int64_t rows);

// For an uncompressed or bit-field BMP: raises InvalidPicture when the file
// is too short for the rows its header promises.
void CheckBmpPixelData(const BmpHeader& header, size_t size);

}  // namespace zindrel
