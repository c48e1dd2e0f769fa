#include "dib/bmp_file.h"

#include <cstdio>

#include "core/errors.h"

namespace zindrel {

namespace {

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
    case kBmpRgb: return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    case kBmpRle8: return bits == 8;
    case kBmpRle4: return bits == 4;
    case kBmpBitFields:
    case kBmpAlphaBitFields: return bits == 16 || bits == 32;
    default: return false;
  }
}

std::string CompressionName(uint32_t compression, bool os2) {
  const std::string number = "BMP compression " + std::to_string(compression);
  if (os2 && compression == 3) return number + " (OS/2 Huffman coding)";
  if (os2 && compression == 4) return number + " (OS/2 24-bit run-length coding)";
  if (compression == kBmpJpeg) return number + " (a JPEG picture inside the bitmap, meant for printers)";
  if (compression == kBmpPng) return number + " (a PNG picture inside the bitmap, meant for printers)";
  return number;
}

// A mask must be one run of set bits (or zero: no such channel).
void CheckMask(uint32_t mask) {
  if (mask == 0) return;
  uint32_t run = mask;
  while ((run & 1) == 0) run >>= 1;
  if ((run & (run + 1)) != 0) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", mask);
    RaiseInvalidPicture(std::string("BMP colour mask ") + text + " is not one run of bits");
  }
}

// The info header at `at`: everything but where the pixel data starts.
BmpHeader ReadInfo(const unsigned char* data, size_t size, size_t at) {
  if (size < at || size - at < 4) RaiseInvalidPicture("BMP header cut short");
  BmpHeader h;
  h.headerSize = U32(data + at);
  if (h.headerSize != 12 && h.headerSize < 16)
    RaiseInvalidPicture("unknown BMP header size " + std::to_string(h.headerSize));
  if (h.headerSize > size - at) RaiseInvalidPicture("BMP header cut short");
  const unsigned char* info = data + at;
  const bool core = h.headerSize == 12, os2 = h.IsOs2();
  if (core) {
    h.width = U16(info + 4);
    h.height = U16(info + 6);
    h.bitCount = static_cast<int>(U16(info + 10));
    h.paletteEntrySize = 3;
  } else {
    // Every field lies inside the header's length; a short OS/2 2.x header
    // leaves out those at its end, which then count as zero.
    h.width = S32(info + 4);
    h.height = S32(info + 8);
    h.bitCount = static_cast<int>(U16(info + 14));
    if (h.headerSize >= 20) h.compression = U32(info + 16);
    if (h.headerSize >= 36) h.colorsUsed = U32(info + 32);
  }
  if (h.width <= 0) RaiseInvalidPicture("BMP width " + std::to_string(h.width) + " is not positive");
  if (h.height == 0) RaiseInvalidPicture("BMP height is zero");
  if (h.compression > kBmpAlphaBitFields || h.compression == kBmpJpeg || h.compression == kBmpPng ||
      (os2 && h.compression > kBmpRle4))
    RaiseInvalidPicture(CompressionName(h.compression, os2 || h.headerSize == 64) + " is not supported");
  if (!DepthFits(h.compression, h.bitCount, core))
    RaiseInvalidPicture("BMP depth of " + std::to_string(h.bitCount) + " bits does not go with compression " +
                        std::to_string(h.compression));

  h.paletteOffset = static_cast<uint32_t>(at + h.headerSize);
  if (h.IsBitFields()) {
    // Headers of 52 bytes and more hold the colour masks, those of 56 and
    // more the alpha mask too; after a 40-byte header they follow it.
    const int count = h.compression == kBmpAlphaBitFields ? 4 : 3;
    if (h.headerSize >= 52) {
      for (int i = 0; i < 3; ++i) h.masks[i] = U32(info + 40 + 4 * i);
      if (h.headerSize >= 56) h.masks[3] = U32(info + 52);
    } else {
      if (size - h.paletteOffset < static_cast<size_t>(4 * count)) RaiseInvalidPicture("BMP colour masks cut short");
      for (int i = 0; i < count; ++i) h.masks[i] = U32(data + h.paletteOffset + 4 * i);
      h.paletteOffset += static_cast<uint32_t>(4 * count);
    }
    for (uint32_t mask : h.masks) CheckMask(mask);
  }
  return h;
}

// The palette's entries that lie before the pixel data, at most as many as
// the depth can index. A header may list more entries than the depth needs
// (a palette of 300 colours for 8 bits): those must be in the file, and only
// the first 2^bits are used.
void CountPalette(BmpHeader& h) {
  if (h.bitCount > 8) return;
  const int64_t most = int64_t{1} << h.bitCount;
  const int64_t room = (int64_t{h.pixelOffset} - h.paletteOffset) / h.paletteEntrySize;
  if (h.colorsUsed > most && h.colorsUsed > room)
    RaiseInvalidPicture("BMP palette of " + std::to_string(h.colorsUsed) +
                        " colours does not fit before its pixel data");
  int64_t count = h.colorsUsed == 0 || h.colorsUsed > most ? most : h.colorsUsed;
  // Entries that would overlap the pixel data are not part of the table.
  if (count > room) count = room;
  h.paletteCount = static_cast<int>(count);
}

}  // namespace

bool LooksLikeBmp(const unsigned char* data, size_t size) { return size >= 2 && data[0] == 'B' && data[1] == 'M'; }

BmpHeader ReadBmpHeader(const unsigned char* data, size_t size) {
  if (!LooksLikeBmp(data, size)) RaiseInvalidPicture("not a BMP file");
  if (size < kFileHeaderSize + 4) RaiseInvalidPicture("BMP header cut short");
  BmpHeader h = ReadInfo(data, size, kFileHeaderSize);
  CheckPictureSize(h.width, h.Rows());
  h.pixelOffset = U32(data + 10);
  if (h.pixelOffset < h.paletteOffset)
    RaiseInvalidPicture("BMP pixel data offset " + std::to_string(h.pixelOffset) + " lies inside the header");
  if (h.pixelOffset > size)
    RaiseInvalidPicture("BMP pixel data offset " + std::to_string(h.pixelOffset) + " lies past the end of the file");
  CountPalette(h);
  return h;
}

BmpHeader ReadDibHeader(const unsigned char* data, size_t size, size_t at, int64_t rows) {
  BmpHeader h = ReadInfo(data, size, at);
  if (h.IsRunLength()) RaiseInvalidPicture("a run-length bitmap cannot hold a mask");
  h.height = h.height < 0 ? -rows : rows;
  CheckPictureSize(h.width, h.Rows());
  // The palette lies between the header and the rows: as many entries as
  // the header lists, or as the depth can index.
  uint64_t entries = h.colorsUsed;
  if (entries == 0 && h.bitCount <= 8) entries = uint64_t{1} << h.bitCount;
  const uint64_t end = h.paletteOffset + entries * static_cast<uint64_t>(h.paletteEntrySize);
  if (end > size)
    RaiseInvalidPicture("bitmap palette of " + std::to_string(entries) + " colours lies past the end of the file");
  h.pixelOffset = static_cast<uint32_t>(end);
  CountPalette(h);
  return h;
}

void CheckBmpPixelData(const BmpHeader& header, size_t size) {
  const int64_t needed = header.Stride() * header.Rows();
  const int64_t present = static_cast<int64_t>(size) - header.pixelOffset;
  if (present < needed)
    RaiseInvalidPicture("BMP file cut short: its rows need " + std::to_string(needed) + " bytes of pixel data, " +
                        std::to_string(present) + " are present");
}

}  // namespace zindrel
