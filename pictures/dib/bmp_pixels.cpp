#include "dib/bmp_pixels.h"

#include <array>
#include <string>
#include <vector>

#include "core/errors.h"

namespace zindrel {

namespace {

// One bit-field channel: where its bits lie and how they become 8 bits.
// Colour channels put their bits at the top of the byte, as Qt's reader does
// for the bitmaps it reads (5 bits abcde give abcde000), so that the same
// pixels give the same colours whichever header holds them; wider channels
// keep their top 8 bits. Alpha repeats its bits to fill the byte (abcdeabc),
// so that a set alpha bit of a 1-bit alpha channel is fully opaque.
class Channel {
 public:
  Channel(uint32_t mask, bool repeatBits) : mask_(mask) {
    if (mask == 0) return;
    while (((mask >> shift_) & 1) == 0) ++shift_;
    while (bits_ < 32 && ((mask >> shift_) >> bits_) & 1) ++bits_;
    if (bits_ > 8) return;
    for (uint32_t v = 0; v < (1u << bits_); ++v) {
      uint32_t wide = v << (8 - bits_);
      if (repeatBits)
        for (int at = 8 - 2 * bits_; at > -bits_; at -= bits_) wide |= at >= 0 ? v << at : v >> -at;
      widened_[v] = static_cast<uint8_t>(wide);
    }
  }
  bool present() const { return mask_ != 0; }
  int Of(uint32_t pixel) const {
    if (mask_ == 0) return 0;
    const uint32_t v = (pixel & mask_) >> shift_;
    return bits_ > 8 ? static_cast<int>(v >> (bits_ - 8)) : widened_[v];
  }

 private:
  uint32_t mask_;
  int shift_ = 0;
  int bits_ = 0;
  std::array<uint8_t, 256> widened_{};
};

uint32_t Pixel16(const unsigned char* p) { return static_cast<uint32_t>(p[0] | (p[1] << 8)); }
uint32_t Pixel32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

QImage DecodeBmpRows(const BmpHeader& h, const unsigned char* data, size_t size) {
  if (h.IsRunLength() || h.compression > kBmpAlphaBitFields || h.compression == kBmpJpeg || h.compression == kBmpPng)
    Raise(ErrorKind::InvalidPicture, "(not an uncompressed bitmap)");
  CheckBmpPixelData(h, size);
  const int width = static_cast<int>(h.width), rows = static_cast<int>(h.Rows());
  const size_t stride = static_cast<size_t>(h.Stride());

  std::vector<QRgb> palette(256, qRgb(0, 0, 0));
  for (int i = 0; i < h.paletteCount; ++i) {
    const unsigned char* e = data + h.paletteOffset + static_cast<size_t>(i) * h.paletteEntrySize;
    palette[static_cast<size_t>(i)] = qRgb(e[2], e[1], e[0]);
  }
  uint32_t masks[4] = {h.masks[0], h.masks[1], h.masks[2], h.masks[3]};
  if (!h.IsBitFields()) {
    masks[0] = h.bitCount == 16 ? 0x7C00 : 0xFF0000;
    masks[1] = h.bitCount == 16 ? 0x03E0 : 0x00FF00;
    masks[2] = h.bitCount == 16 ? 0x001F : 0x0000FF;
    masks[3] = 0;
  }
  const Channel red(masks[0], false), green(masks[1], false), blue(masks[2], false), alpha(masks[3], true);

  QImage image(width, rows, alpha.present() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  if (image.isNull())
    Raise(ErrorKind::OutOfMemory,
          "(no memory for a picture of " + std::to_string(width) + " x " + std::to_string(rows) + " pixels)");
  bool anyAlpha = false;
  for (int r = 0; r < rows; ++r) {
    const unsigned char* src = data + h.pixelOffset + stride * static_cast<size_t>(r);
    QRgb* out = reinterpret_cast<QRgb*>(image.scanLine(h.height < 0 ? r : rows - 1 - r));
    switch (h.bitCount) {
      case 1:
      case 2:
      case 4:
      case 8: {
        const int bits = h.bitCount, perByte = 8 / bits, last = (1 << bits) - 1;
        for (int x = 0; x < width; ++x) {
          const int shift = 8 - bits * (x % perByte + 1);
          out[x] = palette[static_cast<size_t>((src[x / perByte] >> shift) & last)];
        }
        break;
      }
      case 24:
        for (int x = 0; x < width; ++x) out[x] = qRgb(src[3 * x + 2], src[3 * x + 1], src[3 * x]);
        break;
      default:
        for (int x = 0; x < width; ++x) {
          const uint32_t p = h.bitCount == 16 ? Pixel16(src + 2 * x) : Pixel32(src + 4 * x);
          const int a = alpha.present() ? alpha.Of(p) : 255;
          anyAlpha = anyAlpha || a != 0;
          out[x] = qRgba(red.Of(p), green.Of(p), blue.Of(p), a);
        }
    }
  }
  // An alpha mask over pixels that all have alpha 0 is not in use.
  if (alpha.present() && !anyAlpha) {
    for (int y = 0; y < rows; ++y) {
      QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < width; ++x) line[x] |= 0xFF000000u;
    }
    image.reinterpretAsFormat(QImage::Format_RGB32);
  }
  return image;
}

}  // namespace zindrel
