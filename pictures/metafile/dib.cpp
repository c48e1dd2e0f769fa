#include "dib.h"

#include <QByteArray>
#include <algorithm>

#include "dib/rle.h"

namespace zindrel::metafile {

namespace {

constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kJpeg = 4, kPng = 5, kAlphaBitFields = 6;

struct Header {
  int64_t width = 0;
  int64_t height = 0;  // negative: rows run top-down
  int bpp = 0;
  uint32_t compression = kRgb;
  uint32_t masks[3] = {0, 0, 0};
  int64_t tableOffset = 0;  // where the colour table starts in `info`
  int64_t tableCount = 0;   // entries present in the file
  int entrySize = 4;
  int64_t end = 0;  // where the rows start in a packed bitmap
};

bool ReadHeader(Bytes info, const DibOptions& options, Header* h) {
  try {
    const uint32_t size = info.U32(0);
    if (size == 12) {
      h->width = info.U16(4);
      h->height = info.U16(6);
      h->bpp = info.U16(10);
      h->entrySize = 3;
    } else if (size >= 40) {
      info.Need(0, size);
      h->width = info.I32(4);
      h->height = info.I32(8);
      h->bpp = info.U16(14);
      h->compression = info.U32(16);
      uint32_t used = info.U32(32);
      int64_t tableOffset = size;
      if (h->compression == kBitFields || h->compression == kAlphaBitFields) {
        if (size >= 52) {
          for (int i = 0; i < 3; ++i) h->masks[i] = info.U32(40 + 4 * i);
        } else {
          for (int i = 0; i < 3; ++i) h->masks[i] = info.U32(size + 4 * i);
          tableOffset += h->compression == kAlphaBitFields ? 16 : 12;
        }
      }
      h->tableOffset = tableOffset;
      h->tableCount = used;
      if (h->bpp <= 8 && used == 0) h->tableCount = int64_t(1) << h->bpp;
    } else {
      return false;
    }
    if (size == 12) {
      h->tableOffset = 12;
      h->tableCount = h->bpp <= 8 ? (int64_t(1) << h->bpp) : 0;
    }
    if (options.paletteIndices) h->entrySize = 2;
    if (h->tableCount > 65536) return false;
    h->end = h->tableOffset + h->tableCount * h->entrySize;
  } catch (const ShortRecord&) {
    return false;
  }
  if (h->width <= 0 || h->height == 0 || h->height == INT32_MIN) return false;
  const int64_t rows = h->height < 0 ? -h->height : h->height;
  if (h->width > 65535 || rows > 65535 || h->width * rows > options.maxPixels) return false;
  switch (h->bpp) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32: break;
    case 0: return h->compression == kJpeg || h->compression == kPng;
    default: return false;
  }
  return true;
}

QVector<QRgb> ReadColourTable(Bytes info, const Header& h, const DibOptions& options) {
  const int count = h.bpp <= 8 ? (1 << h.bpp) : 0;
  QVector<QRgb> table(count, qRgb(0, 0, 0));
  for (int i = 0; i < count && i < h.tableCount; ++i) {
    const size_t at = static_cast<size_t>(h.tableOffset + int64_t(i) * h.entrySize);
    if (!info.Has(at, static_cast<size_t>(h.entrySize))) break;
    if (options.paletteIndices) {
      const uint16_t index = info.U16(at);
      if (index < options.palette.size()) {
        table[i] = options.palette[index];
      } else {
        const int grey = count > 1 ? (index % count) * 255 / (count - 1) : 0;
        table[i] = qRgb(grey, grey, grey);
      }
    } else {
      table[i] = qRgb(info.U8(at + 2), info.U8(at + 1), info.U8(at));
    }
  }
  return table;
}

// Run-length rows, read leniently: every pixel a delta or an early end
// skips stays index 0.
QImage DecodeRle(Bytes bits, const Header& h, bool fourBit) {
  if (h.height < 0) return {};
  const int width = static_cast<int>(h.width), height = static_cast<int>(h.height);
  QImage image(width, height, QImage::Format_Indexed8);
  if (image.isNull()) return {};
  image.fill(0);
  dib::WalkRle(bits.data(), 0, bits.size(), width, height, fourBit, dib::RleMode::Lenient,
               [&](int64_t x, int64_t row, unsigned index) {
                 image.scanLine(height - 1 - static_cast<int>(row))[x] = static_cast<uchar>(index);
               });
  return image;
}

struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  uint32_t max = 0;
  int Scale(uint32_t pixel) const {
    if (max == 0) return 0;
    return static_cast<int>((((pixel & mask) >> shift) * 255u + max / 2) / max);
  }
};

Channel MakeChannel(uint32_t mask) {
  Channel c;
  c.mask = mask;
  if (mask == 0) return c;
  while (!((mask >> c.shift) & 1)) ++c.shift;
  c.max = mask >> c.shift;
  if (c.max > 0xFFFFFF) c.max = 0xFFFFFF, c.mask = c.max << c.shift;  // keep the scale in range
  return c;
}

}  // namespace

QImage DecodeDib(Bytes info, Bytes bits, const DibOptions& options) {
  Header h;
  if (!ReadHeader(info, options, &h)) return {};
  if (h.compression == kJpeg || h.compression == kPng) {
    QImage embedded = QImage::fromData(
        QByteArray::fromRawData(reinterpret_cast<const char*>(bits.data()), static_cast<qsizetype>(bits.size())));
    if (embedded.isNull() || qint64(embedded.width()) * embedded.height() > options.maxPixels) return {};
    return embedded.convertToFormat(QImage::Format_RGB32);
  }
  const QVector<QRgb> table = ReadColourTable(info, h, options);
  try {
    if (h.compression == kRle8 || h.compression == kRle4) {
      if ((h.compression == kRle8) != (h.bpp == 8) || (h.compression == kRle4) != (h.bpp == 4)) return {};
      QImage image = DecodeRle(bits, h, h.compression == kRle4);
      if (!image.isNull()) image.setColorTable(table);
      return image;
    }
    if (h.compression != kRgb && h.compression != kBitFields && h.compression != kAlphaBitFields) return {};
    const bool topDown = h.height < 0;
    const int width = static_cast<int>(h.width);
    const int height = static_cast<int>(topDown ? -h.height : h.height);
    const size_t stride = static_cast<size_t>(((h.width * h.bpp + 31) / 32) * 4);
    if (!bits.Has(0, stride * static_cast<size_t>(height))) return {};

    Channel red, green, blue;
    if (h.compression == kRgb && h.bpp == 16) {
      red = MakeChannel(0x7C00), green = MakeChannel(0x03E0), blue = MakeChannel(0x001F);
    } else if (h.compression != kRgb) {
      red = MakeChannel(h.masks[0]), green = MakeChannel(h.masks[1]), blue = MakeChannel(h.masks[2]);
    }
    const bool indexed = h.bpp <= 8;
    const bool alpha = options.keepAlpha && h.bpp == 32 && h.compression == kRgb;
    QImage image(width, height,
                 indexed ? QImage::Format_Indexed8
                 : alpha ? QImage::Format_ARGB32_Premultiplied
                         : QImage::Format_RGB32);
    if (image.isNull()) return {};
    if (indexed) image.setColorTable(table);
    for (int row = 0; row < height; ++row) {
      const uint8_t* src = bits.data() + stride * static_cast<size_t>(row);
      uchar* line = image.scanLine(topDown ? row : height - 1 - row);
      if (indexed) {
        for (int x = 0; x < width; ++x) {
          int index;
          if (h.bpp == 8)
            index = src[x];
          else if (h.bpp == 4)
            index = (x & 1) ? (src[x / 2] & 15) : (src[x / 2] >> 4);
          else
            index = (src[x / 8] >> (7 - (x & 7))) & 1;
          line[x] = static_cast<uchar>(index);
        }
        continue;
      }
      QRgb* out = reinterpret_cast<QRgb*>(line);
      for (int x = 0; x < width; ++x) {
        if (h.bpp == 24) {
          out[x] = qRgb(src[3 * x + 2], src[3 * x + 1], src[3 * x]);
        } else if (alpha) {
          const int a = src[4 * x + 3];
          out[x] = qRgba(std::min<int>(src[4 * x + 2], a), std::min<int>(src[4 * x + 1], a),
                         std::min<int>(src[4 * x], a), a);
        } else if (h.bpp == 32 && h.compression == kRgb) {
          out[x] = qRgb(src[4 * x + 2], src[4 * x + 1], src[4 * x]);
        } else {
          uint32_t pixel = h.bpp == 16
                               ? static_cast<uint32_t>(src[2 * x] | (src[2 * x + 1] << 8))
                               : static_cast<uint32_t>(src[4 * x] | (src[4 * x + 1] << 8) | (src[4 * x + 2] << 16) |
                                                       (uint32_t(src[4 * x + 3]) << 24));
          out[x] = qRgb(red.Scale(pixel), green.Scale(pixel), blue.Scale(pixel));
        }
      }
    }
    return image;
  } catch (const ShortRecord&) {
    return {};
  }
}

bool DibIsBottomUp(Bytes info) {
  if (!info.Has(0, 12)) return false;
  const uint32_t size = info.U32(0);
  return size == 12 || (size >= 40 && info.Has(8, 4) && info.I32(8) > 0);
}

QImage DecodePackedDib(Bytes packed, const DibOptions& options) {
  Header h;
  if (!ReadHeader(packed, options, &h)) return {};
  if (h.end < 0 || static_cast<uint64_t>(h.end) > packed.size()) return {};
  return DecodeDib(packed.Sub(0, static_cast<size_t>(h.end)), packed.From(static_cast<size_t>(h.end)), options);
}

}  // namespace zindrel::metafile
