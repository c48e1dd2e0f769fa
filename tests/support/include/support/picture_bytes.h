// Hand-built picture files for the picture tests: BMP (plain and run-length),
// ICO/CUR and GIF byte arrays put together field by field, so every case is
// made here and nothing comes from elsewhere.
#pragma once

#include <QByteArray>
#include <QColor>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "support/bytes.h"

namespace picture_bytes {

using zindrel::testing::Bytes;
using zindrel::testing::Put16;
using zindrel::testing::Put32;
using zindrel::testing::PutBig32;
using zindrel::testing::Set32;

// BITMAPINFOHEADER (40 bytes) followed by the palette as B, G, R, 0.
inline QByteArray InfoHeader(int width, int height, int bpp, int compression, int imageSize,
                             const std::vector<QRgb>& palette) {
  QByteArray out;
  Put32(out, 40);
  Put32(out, width);
  Put32(out, height);
  Put16(out, 1);
  Put16(out, bpp);
  Put32(out, compression);
  Put32(out, imageSize);
  Put32(out, 2835);
  Put32(out, 2835);
  Put32(out, static_cast<int64_t>(palette.size()));
  Put32(out, 0);
  for (QRgb c : palette) {
    out.append(static_cast<char>(qBlue(c)));
    out.append(static_cast<char>(qGreen(c)));
    out.append(static_cast<char>(qRed(c)));
    out.append('\0');
  }
  return out;
}

// A whole BMP file: file header, info header, palette and pixel data.
inline QByteArray BmpFile(int width, int height, int bpp, int compression, const std::vector<QRgb>& palette,
                          const QByteArray& pixels) {
  const QByteArray info = InfoHeader(width, height, bpp, compression, static_cast<int>(pixels.size()), palette);
  QByteArray out("BM");
  Put32(out, 14 + info.size() + pixels.size());
  Put32(out, 0);
  Put32(out, 14 + info.size());
  out += info;
  out += pixels;
  return out;
}

// Four clearly different colours for palette tests; index 0 is the colour
// every skipped pixel of a run-length bitmap must get.
inline std::vector<QRgb> TestPalette(int count) {
  static const QRgb base[] = {qRgb(10, 20, 30),  qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(0, 0, 255),
                              qRgb(255, 255, 0), qRgb(0, 255, 255), qRgb(255, 0, 255), qRgb(128, 128, 128)};
  std::vector<QRgb> out;
  for (int i = 0; i < count; ++i) {
    if (i < 8)
      out.push_back(base[i]);
    else
      out.push_back(qRgb(i, 255 - i, (i * 7) & 0xFF));
  }
  return out;
}

// A run-length BMP (compression 1 for 8 bits, 2 for 4 bits).
inline QByteArray RleBmp(int width, int height, int bpp, const QByteArray& stream, int paletteSize = 16) {
  return BmpFile(width, height, bpp, bpp == 8 ? 1 : 2, TestPalette(paletteSize), stream);
}

struct IconImage {
  int width = 0, height = 0;
  int hotspotX = 0, hotspotY = 0;  // planes and bit count for type 1
  QByteArray data;                 // the DIB (header with doubled height, XOR, AND) or a PNG
};

// An ICO (type 1) or CUR (type 2) file with its directory.
inline QByteArray IconFile(int type, const std::vector<IconImage>& images) {
  QByteArray out;
  Put16(out, 0);
  Put16(out, type);
  Put16(out, static_cast<int>(images.size()));
  int offset = 6 + 16 * static_cast<int>(images.size());
  for (const IconImage& image : images) {
    out.append(static_cast<char>(image.width & 0xFF));
    out.append(static_cast<char>(image.height & 0xFF));
    out.append('\0');
    out.append('\0');
    Put16(out, image.hotspotX);
    Put16(out, image.hotspotY);
    Put32(out, image.data.size());
    Put32(out, offset);
    offset += static_cast<int>(image.data.size());
  }
  for (const IconImage& image : images) out += image.data;
  return out;
}

// A 1-bit icon DIB: xorBits and andBits give one bit per pixel, rows top to
// bottom, 1 meaning palette entry 1 / masked. Rows are stored bottom-up and
// padded to 32 bits as the format wants.
inline QByteArray MonoIconDib(int width, int height, const std::vector<std::vector<int>>& xorBits,
                              const std::vector<std::vector<int>>& andBits, QRgb colour0, QRgb colour1) {
  QByteArray out = InfoHeader(width, height * 2, 1, 0, 0, {colour0, colour1});
  const int stride = ((width + 31) / 32) * 4;
  for (const auto* plane : {&xorBits, &andBits}) {
    for (int y = height - 1; y >= 0; --y) {
      QByteArray row(stride, '\0');
      for (int x = 0; x < width; ++x)
        if ((*plane)[y][x]) row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
      out += row;
    }
  }
  return out;
}

// A GIF89a of one frame. The LZW stream sends every pixel as a literal code
// and a clear code before the table would grow, which every decoder reads.
inline QByteArray GifFile(int width, int height, const std::vector<QRgb>& palette, const std::vector<int>& indices,
                          int transparentIndex = -1) {
  int bits = 1;
  while ((1 << bits) < static_cast<int>(palette.size())) ++bits;
  QByteArray out("GIF89a");
  Put16(out, width);
  Put16(out, height);
  out.append(static_cast<char>(0x80 | 0x70 | (bits - 1)));
  out.append('\0');
  out.append('\0');
  for (int i = 0; i < (1 << bits); ++i) {
    const QRgb c = i < static_cast<int>(palette.size()) ? palette[i] : 0;
    out.append(static_cast<char>(qRed(c)));
    out.append(static_cast<char>(qGreen(c)));
    out.append(static_cast<char>(qBlue(c)));
  }
  if (transparentIndex >= 0) {
    out += Bytes({0x21, 0xF9, 4, 1, 0, 0, transparentIndex, 0});
  }
  out += Bytes({0x2C, 0, 0, 0, 0});
  Put16(out, width);
  Put16(out, height);
  out.append('\0');
  const int minCode = bits < 2 ? 2 : bits;
  out.append(static_cast<char>(minCode));
  const int clear = 1 << minCode, end = clear + 1, codeSize = minCode + 1;
  QByteArray lzw;
  uint32_t acc = 0;
  int accBits = 0;
  auto putCode = [&](int code) {
    acc |= static_cast<uint32_t>(code) << accBits;
    accBits += codeSize;
    while (accBits >= 8) {
      lzw.append(static_cast<char>(acc & 0xFF));
      acc >>= 8;
      accBits -= 8;
    }
  };
  const int perClear = clear - 2;
  for (size_t i = 0; i < indices.size(); ++i) {
    if (i % perClear == 0) putCode(clear);
    putCode(indices[i]);
  }
  putCode(end);
  if (accBits > 0) lzw.append(static_cast<char>(acc & 0xFF));
  for (int pos = 0; pos < lzw.size(); pos += 255) {
    const int n = static_cast<int>(lzw.size()) - pos < 255 ? static_cast<int>(lzw.size()) - pos : 255;
    out.append(static_cast<char>(n));
    out += lzw.mid(pos, n);
  }
  out.append('\0');
  out.append(';');
  return out;
}

// CRC-32 as PNG chunks carry it.
inline uint32_t Crc32(const QByteArray& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (char ch : bytes) {
    crc ^= static_cast<unsigned char>(ch);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return crc ^ 0xFFFFFFFFu;
}

inline void PutChunk(QByteArray& out, const char* type, const QByteArray& data) {
  PutBig32(out, static_cast<uint32_t>(data.size()));
  const QByteArray chunk = QByteArray(type) + data;
  out += chunk;
  PutBig32(out, Crc32(chunk));
}

// A PNG claiming width x height RGB pixels, with a few bytes of image data
// that do not hold them.
inline QByteArray PngClaiming(uint32_t width, uint32_t height) {
  QByteArray out("\x89PNG\r\n\x1a\n", 8);
  QByteArray header;
  PutBig32(header, width);
  PutBig32(header, height);
  header += Bytes({8, 2, 0, 0, 0});
  PutChunk(out, "IHDR", header);
  PutChunk(out, "IDAT", Bytes({0x78, 0x9C, 0x63, 0, 0, 0, 1, 0, 1}));
  PutChunk(out, "IEND", QByteArray());
  return out;
}

// A metafile that draws nothing, with the placeable header: its box in
// units of 1/inch inch.
inline QByteArray BlankWmf(int right, int bottom, int inch) {
  QByteArray out;
  Put32(out, 0x9AC6CDD7);
  Put16(out, 0);  // handle
  for (int v : {0, 0, right, bottom}) Put16(out, v);
  Put16(out, inch);
  Put32(out, 0);
  int checksum = 0;
  for (int i = 0; i < 20; i += 2)
    checksum ^= static_cast<unsigned char>(out[i]) | (static_cast<unsigned char>(out[i + 1]) << 8);
  Put16(out, checksum);
  // Standard header (9 words), then the end record (3 words).
  Put16(out, 1);
  Put16(out, 9);
  Put16(out, 0x0300);
  Put32(out, 9 + 3);
  Put16(out, 0);
  Put32(out, 3);
  Put16(out, 0);
  Put32(out, 3);
  Put16(out, 0);
  return out;
}

// An enhanced metafile that draws nothing: its frame in 0.01 mm.
inline QByteArray BlankEmf(int frameRight, int frameBottom) {
  QByteArray out;
  Put32(out, 1);  // header record
  Put32(out, 88);
  for (int v : {0, 0, frameRight * 96 / 2540, frameBottom * 96 / 2540}) Put32(out, v);  // bounds
  for (int v : {0, 0, frameRight, frameBottom}) Put32(out, v);                          // frame
  Put32(out, 0x464D4520);                                                               // " EMF"
  Put32(out, 0x10000);
  Put32(out, 88 + 20);
  Put32(out, 2);  // records
  Put16(out, 1);  // handles
  Put16(out, 0);
  Put32(out, 0);  // description
  Put32(out, 0);
  Put32(out, 0);  // palette entries
  Put32(out, 1920);
  Put32(out, 1080);  // device in pixels
  Put32(out, 508);
  Put32(out, 286);  // device in millimetres
  Put32(out, 14);   // end record
  Put32(out, 20);
  Put32(out, 0);
  Put32(out, 16);
  Put32(out, 20);
  return out;
}

}  // namespace picture_bytes
