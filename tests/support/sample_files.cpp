#include "support/sample_files.h"

#include <QBuffer>
#include <QColor>
#include <QImageWriter>
#include <cstring>
#include <string>

namespace zindrel::samples {

std::vector<uint32_t> GreyPalette(int colours) {
  std::vector<uint32_t> palette;
  for (int i = 0; i < colours; ++i) {
    const uint32_t g = colours > 1 ? static_cast<uint32_t>(i * 255 / (colours - 1)) : 0;
    // A slight tint per entry so that channel mix-ups show.
    const uint32_t r = g, b = (g + 40 * (i & 1)) & 0xFF;
    palette.push_back((r << 16) | (g << 8) | b);
  }
  return palette;
}

namespace {

std::vector<uint8_t> PatternIndices(int width, int height, int colours) {
  std::vector<uint8_t> out;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) out.push_back(static_cast<uint8_t>(PatternIndex(x, y, colours)));
  return out;
}

uint32_t TrueColour(int x, int y) {
  return (static_cast<uint32_t>((x * 37) & 0xFF) << 16) | (static_cast<uint32_t>((y * 53) & 0xFF) << 8) |
         static_cast<uint32_t>(((x + y) * 19) & 0xFF);
}

// Absolute runs of at least three indices; shorter stretches go as encoded
// runs of one. A row ends with 0 0, the picture with 0 1.
template <class EmitAbsolute>
void EncodeRows(QByteArray& out, const std::vector<uint8_t>& indices, int width, int height, bool delta, int maxRun,
                EmitAbsolute emitAbsolute, bool packTwo) {
  Bytes b;
  for (int row = height - 1; row >= 0; --row) {
    const uint8_t* p = &indices[static_cast<size_t>(row) * width];
    int x = 0;
    if (delta && row == height - 2 && width > 2) {
      // Skip two points of this row and no rows: those points stay background.
      b.u8(0).u8(2).u8(2).u8(0);
      x = 2;
    }
    while (x < width) {
      int run = 1;
      if (packTwo) {
        // RLE4 runs alternate two indices: extend while the pattern repeats.
        while (x + run < width && run < maxRun && p[x + run] == p[x + (run % 2)]) ++run;
      } else {
        while (x + run < width && run < maxRun && p[x + run] == p[x]) ++run;
      }
      if (run >= 2 || width - x < 3) {
        b.u8(run);
        b.u8(packTwo ? ((p[x] << 4) | (run > 1 ? p[x + 1] : 0)) : p[x]);
        x += run;
        continue;
      }
      // Literal stretch up to the next run of two.
      int n = 1;
      while (x + n < width && n < maxRun && !(x + n + 1 < width && p[x + n] == p[x + n + 1])) ++n;
      if (n < 3) {
        b.u8(1).u8(packTwo ? (p[x] << 4) : p[x]);
        x += 1;
        continue;
      }
      emitAbsolute(b, p + x, n);
      x += n;
    }
    b.u8(0).u8(row == 0 ? 1 : 0);
  }
  out = b.data;
}

}  // namespace

QByteArray EncodeRle8(const std::vector<uint8_t>& indices, int width, int height, bool delta) {
  QByteArray out;
  EncodeRows(
      out, indices, width, height, delta, 255,
      [](Bytes& b, const uint8_t* p, int n) {
        b.u8(0).u8(n);
        for (int i = 0; i < n; ++i) b.u8(p[i]);
        if (n & 1) b.u8(0);
      },
      false);
  return out;
}

QByteArray EncodeRle4(const std::vector<uint8_t>& indices, int width, int height, bool delta) {
  QByteArray out;
  EncodeRows(
      out, indices, width, height, delta, 255,
      [](Bytes& b, const uint8_t* p, int n) {
        b.u8(0).u8(n);
        const int bytes = (n + 1) / 2;
        for (int i = 0; i < bytes; ++i) {
          const int hi = p[2 * i], lo = 2 * i + 1 < n ? p[2 * i + 1] : 0;
          b.u8((hi << 4) | lo);
        }
        if (bytes & 1) b.u8(0);
      },
      true);
  return out;
}

int PatternAlpha(int x, int y) { return x == 0 && y == 0 ? 0 : x == 1 && y == 0 ? 128 : 255; }

QByteArray MakeDib(const BmpLayout& s) {
  const int colours = s.bpp <= 8 ? (1 << s.bpp) : 0;
  const bool fields = s.compression == BmpCompression::Bitfields || s.compression == BmpCompression::AlphaBitfields;
  const std::vector<uint8_t> indices = PatternIndices(s.width, s.height, colours ? colours : 1);
  QByteArray pixels;
  if (s.compression == BmpCompression::Rle8) {
    pixels = EncodeRle8(indices, s.width, s.height, s.rleDelta);
  } else if (s.compression == BmpCompression::Rle4) {
    pixels = EncodeRle4(indices, s.width, s.height, s.rleDelta);
  } else {
    const int stride = ((s.width * s.bpp + 31) / 32) * 4;
    for (int r = 0; r < s.height; ++r) {
      const int y = s.topDown ? r : s.height - 1 - r;
      QByteArray row(stride, '\0');
      for (int x = 0; x < s.width; ++x) {
        const uint32_t c = TrueColour(x, y);
        const int idx = colours ? indices[static_cast<size_t>(y) * s.width + x] : 0;
        switch (s.bpp) {
          case 1: row[x / 8] = static_cast<char>(row[x / 8] | (idx << (7 - x % 8))); break;
          case 2: row[x / 4] = static_cast<char>(row[x / 4] | (idx << (6 - 2 * (x % 4)))); break;
          case 4: row[x / 2] = static_cast<char>(row[x / 2] | (idx << (x % 2 ? 0 : 4))); break;
          case 8: row[x] = static_cast<char>(idx); break;
          case 16: {  // 5-6-5 with bit fields, 5-5-5 without
            const uint32_t r5 = (c >> 19) & 0x1F, b5 = (c >> 3) & 0x1F;
            const uint32_t v =
                fields ? (r5 << 11) | (((c >> 10) & 0x3F) << 5) | b5 : (r5 << 10) | (((c >> 11) & 0x1F) << 5) | b5;
            row[2 * x] = static_cast<char>(v & 0xFF);
            row[2 * x + 1] = static_cast<char>(v >> 8);
            break;
          }
          case 24:
            row[3 * x] = static_cast<char>(c & 0xFF);
            row[3 * x + 1] = static_cast<char>((c >> 8) & 0xFF);
            row[3 * x + 2] = static_cast<char>((c >> 16) & 0xFF);
            break;
          case 32:
            for (int k = 0; k < 4; ++k)
              row[4 * x + k] = static_cast<char>(k < 3 ? (c >> (8 * k)) & 0xFF : s.alpha ? PatternAlpha(x, y) : 0);
            break;
        }
      }
      pixels.append(row);
    }
  }

  Bytes b;
  if (s.coreHeader) {
    b.u32(12).u16(s.width).u16(s.height).u16(1).u16(s.bpp);
    for (uint32_t c : GreyPalette(colours)) b.u8(c & 0xFF).u8((c >> 8) & 0xFF).u8((c >> 16) & 0xFF);
  } else {
    const int entries = colours ? colours + s.extraPaletteEntries : 0;
    b.u32(static_cast<uint32_t>(s.headerSize)).i32(s.width).i32(s.topDown ? -s.height : s.height).u16(1).u16(s.bpp);
    b.u32(static_cast<uint32_t>(s.compression)).u32(static_cast<uint32_t>(pixels.size()));
    b.i32(2835).i32(2835).u32(static_cast<uint32_t>(entries)).u32(0);
    const uint32_t alphaMask = s.alpha ? 0xFF000000u : 0;
    const std::vector<uint32_t> masks = s.bpp == 16 ? std::vector<uint32_t>{0xF800, 0x07E0, 0x001F, 0}
                                                    : std::vector<uint32_t>{0xFF0000, 0xFF00, 0xFF, alphaMask};
    if (s.headerSize >= 52)
      for (int i = 0; i < 4; ++i) b.u32(fields ? masks[static_cast<size_t>(i)] : 0);
    b.data.truncate(s.headerSize);
    while (b.size() < s.headerSize) b.u8(0);
    if (fields && s.headerSize < 52)
      for (int i = 0; i < (s.compression == BmpCompression::AlphaBitfields ? 4 : 3); ++i)
        b.u32(masks[static_cast<size_t>(i)]);
    std::vector<uint32_t> palette = GreyPalette(colours);
    for (int i = 0; i < s.extraPaletteEntries && colours; ++i)
      palette.push_back(0x00FF00FFu - static_cast<uint32_t>(i));
    for (uint32_t c : palette) b.u32(c);
  }
  b.raw(pixels);
  return b.data;
}

QByteArray MakeBmp(const BmpLayout& layout) {
  const QByteArray dib = MakeDib(layout);
  const int colours = layout.bpp <= 8 ? (1 << layout.bpp) + layout.extraPaletteEntries : 0;
  int headerBytes = layout.coreHeader ? 12 + 3 * colours : layout.headerSize + 4 * colours;
  if (!layout.coreHeader && layout.headerSize < 52) {
    if (layout.compression == BmpCompression::Bitfields) headerBytes += 12;
    if (layout.compression == BmpCompression::AlphaBitfields) headerBytes += 16;
  }
  Bytes b;
  b.raw("BM").u32(static_cast<uint32_t>(14 + dib.size())).u16(0).u16(0).u32(static_cast<uint32_t>(14 + headerBytes));
  b.raw(dib);
  return b.data;
}

BmpLayout Layout(int width, int height, int bpp, BmpCompression compression) {
  BmpLayout layout;
  layout.width = width;
  layout.height = height;
  layout.bpp = bpp;
  layout.compression = compression;
  return layout;
}

QByteArray Bmp(int width, int height, int bpp, BmpCompression compression, bool topDown, bool coreHeader,
               bool rleDelta) {
  BmpLayout layout = Layout(width, height, bpp, compression);
  layout.topDown = topDown;
  layout.coreHeader = coreHeader;
  layout.rleDelta = rleDelta;
  return MakeBmp(layout);
}

QByteArray MakeIconDib(const BmpLayout& layout) {
  Bytes h;
  h.data = MakeDib(layout);
  // The header's height counts the colour image and the mask.
  h.put32(8, static_cast<uint32_t>(2 * layout.height));
  // AND mask: 1 bit per point, rows padded to 4 bytes, bottom row first.
  const int maskStride = ((layout.width + 31) / 32) * 4;
  for (int r = 0; r < layout.height; ++r) {
    const int y = layout.topDown ? r : layout.height - 1 - r;
    QByteArray row(maskStride, '\0');
    for (int x = 0; x < layout.width; ++x)
      if (IconMaskHides(x, y, layout.width)) row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
    h.raw(row);
  }
  return h.data;
}

QByteArray MakeIcon(int size, int bpp, bool cursor) {
  BmpLayout layout;
  layout.width = size;
  layout.height = size;
  layout.bpp = bpp;
  const QByteArray dib = MakeIconDib(layout);
  const int colours = bpp <= 8 ? (1 << bpp) : 0;
  Bytes b;
  b.u16(0).u16(cursor ? 2 : 1).u16(1);
  b.u8(size >= 256 ? 0 : size).u8(size >= 256 ? 0 : size).u8(colours >= 256 ? 0 : colours).u8(0);
  if (cursor)
    b.u16(size / 2).u16(size / 2);
  else
    b.u16(1).u16(bpp);
  b.u32(static_cast<uint32_t>(dib.size())).u32(22);
  b.raw(dib);
  return b.data;
}

QByteArray InsertBeforeJpegMarker(const QByteArray& jpeg, int marker, const QByteArray& bytes) {
  const char code[2] = {'\xFF', static_cast<char>(marker)};
  const qsizetype at = jpeg.indexOf(QByteArray(code, 2), 2);
  return at < 0 ? jpeg : jpeg.left(at) + bytes + jpeg.mid(at);
}

QByteArray WithApp1Segment(const QByteArray& jpeg) {
  // APP0 starts at 2: marker, then its length (big-endian, counting itself).
  const int app0End = 4 + ((static_cast<uint8_t>(jpeg[4]) << 8) | static_cast<uint8_t>(jpeg[5]));
  const QByteArray app1(
      "\xFF\xE1\x00\x0A"
      "Exif\0\0\0\0",
      12);
  return jpeg.left(app0End) + app1 + jpeg.mid(app0End);
}

QByteArray WithWmfSizeOverstated(const QByteArray& wmf, int extraWords) {
  Bytes b;
  b.data = wmf;
  // The standard header follows the 22-byte placeable header, if any; its
  // size in words is at +6.
  const int standard = static_cast<uint8_t>(wmf[0]) == 0xD7 ? 22 : 0;
  const uint32_t words =
      static_cast<uint32_t>(static_cast<uint8_t>(wmf[standard + 6]) | (static_cast<uint8_t>(wmf[standard + 7]) << 8) |
                            (static_cast<uint8_t>(wmf[standard + 8]) << 16));
  b.put32(standard + 6, words + static_cast<uint32_t>(extraWords));
  return b.data;
}

QByteArray MakeGif(int width, int height, int colours, bool interlaced) {
  int bits = 1;
  while ((1 << bits) < colours) ++bits;
  Bytes b;
  b.raw("GIF89a").u16(width).u16(height).u8(0xF0 | (bits - 1)).u8(0).u8(0);
  const std::vector<uint32_t> palette = GreyPalette(1 << bits);
  for (uint32_t c : palette) b.u8((c >> 16) & 0xFF).u8((c >> 8) & 0xFF).u8(c & 0xFF);
  // Graphic control extension without transparency, then the image.
  b.u8(0x21).u8(0xF9).u8(4).u8(0).u16(0).u8(0).u8(0);
  b.u8(0x2C).u16(0).u16(0).u16(width).u16(height).u8(interlaced ? 0x40 : 0);

  // Eight-bit literal codes at a constant width of nine bits: a clear code
  // comes before the code table would grow past 511 entries.
  const int minCode = 8, clear = 256, eoi = 257;
  b.u8(minCode);
  std::vector<int> codes{clear};
  int sinceClear = 0;
  std::vector<int> order;
  if (interlaced) {
    for (int y = 0; y < height; y += 8) order.push_back(y);
    for (int y = 4; y < height; y += 8) order.push_back(y);
    for (int y = 2; y < height; y += 4) order.push_back(y);
    for (int y = 1; y < height; y += 2) order.push_back(y);
  } else {
    for (int y = 0; y < height; ++y) order.push_back(y);
  }
  for (int y : order)
    for (int x = 0; x < width; ++x) {
      if (sinceClear == 250) {
        codes.push_back(clear);
        sinceClear = 0;
      }
      codes.push_back(PatternIndex(x, y, colours));
      ++sinceClear;
    }
  codes.push_back(eoi);
  QByteArray packed;
  uint32_t acc = 0;
  int nbits = 0;
  for (int c : codes) {
    acc |= static_cast<uint32_t>(c) << nbits;
    nbits += 9;
    while (nbits >= 8) {
      packed.append(static_cast<char>(acc & 0xFF));
      acc >>= 8;
      nbits -= 8;
    }
  }
  if (nbits) packed.append(static_cast<char>(acc & 0xFF));
  for (int at = 0; at < packed.size(); at += 255) {
    const int n = std::min<int>(255, static_cast<int>(packed.size()) - at);
    b.u8(n).raw(packed.mid(at, n));
  }
  b.u8(0).u8(0x3B);
  return b.data;
}

QByteArray EncodeWithQt(const QImage& image, const char* format, int quality) {
  QByteArray out;
  QBuffer buffer(&out);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  if (quality >= 0) writer.setQuality(quality);
  writer.write(image);
  return out;
}

QImage TestPicture(int width, int height, bool alpha) {
  QImage image(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t a = alpha ? static_cast<uint32_t>((x * 255) / std::max(1, width - 1)) : 0xFF;
      image.setPixel(x, y, (a << 24) | TrueColour(x, y));
    }
  return image;
}

// ---- Windows metafiles ----

QByteArray MakeWmfFrom(const std::vector<WmfRecord>& records, bool placeable, int width, int height) {
  Bytes body;
  int maxRecord = 3;
  int objects = 0;
  for (const WmfRecord& r : records) {
    const int words = 3 + static_cast<int>(r.params.size());
    maxRecord = std::max(maxRecord, words);
    body.u32(static_cast<uint32_t>(words)).u16(r.function);
    for (int p : r.params) body.u16(p);
    if ((r.function & 0xFF) == 0xFA || (r.function & 0xFF) == 0xFC || r.function == 0x02FB) ++objects;
  }
  body.u32(3).u16(0);  // META_EOF
  Bytes b;
  if (placeable) {
    Bytes h;
    h.u32(0x9AC6CDD7u).u16(0).i16(0).i16(0).i16(width).i16(height).u16(96).u32(0);
    int sum = 0;
    for (int i = 0; i < 10; ++i)
      sum ^= (static_cast<uint8_t>(h.data[2 * i]) | (static_cast<uint8_t>(h.data[2 * i + 1]) << 8));
    h.u16(sum);
    b.raw(h.data);
  }
  const uint32_t totalWords = static_cast<uint32_t>(9 + body.size() / 2);
  b.u16(1).u16(9).u16(0x0300).u32(totalWords).u16(objects).u32(static_cast<uint32_t>(maxRecord)).u16(0);
  b.raw(body.data);
  return b.data;
}

namespace {
std::vector<int> DibWords(const QByteArray& dib) {
  QByteArray d = dib;
  if (d.size() & 1) d.append('\0');
  std::vector<int> w;
  for (int i = 0; i < d.size(); i += 2) w.push_back(static_cast<uint8_t>(d[i]) | (static_cast<uint8_t>(d[i + 1]) << 8));
  return w;
}
std::vector<int> TextWords(const char* s) {
  QByteArray t(s);
  std::vector<int> w{static_cast<int>(t.size())};
  for (int v : DibWords(t)) w.push_back(v);
  return w;
}
}  // namespace

QByteArray MakeWmf(bool placeable) {
  std::vector<WmfRecord> r;
  r.push_back({0x0103, {8}});                          // SETMAPMODE anisotropic
  r.push_back({0x020B, {0, 0}});                       // SETWINDOWORG y x
  r.push_back({0x020C, {80, 100}});                    // SETWINDOWEXT y x
  r.push_back({0x0102, {1}});                          // SETBKMODE transparent
  r.push_back({0x02FA, {0, 2, 0, 0x0000, 0x0000}});    // CREATEPENINDIRECT solid, width 2, black
  r.push_back({0x012D, {0}});                          // SELECTOBJECT pen
  r.push_back({0x02FC, {0, 0x4080, 0x00C0, 0}});       // CREATEBRUSHINDIRECT solid
  r.push_back({0x012D, {1}});                          // SELECTOBJECT brush
  r.push_back({0x041B, {40, 50, 5, 5}});               // RECTANGLE b r t l
  r.push_back({0x0418, {75, 95, 45, 55}});             // ELLIPSE
  r.push_back({0x0324, {3, 10, 70, 40, 50, 30, 75}});  // POLYGON 3 points
  r.push_back({0x0325, {3, 60, 5, 90, 20, 60, 35}});   // POLYLINE
  r.push_back({0x0214, {78, 2}});                      // MOVETO y x
  r.push_back({0x0213, {2, 98}});                      // LINETO y x
  r.push_back({0x001E, {}});                           // SAVEDC
  r.push_back({0x0209, {0x00FF, 0x0000}});             // SETTEXTCOLOR
  std::vector<int> text = TextWords("Zi");
  text.push_back(60);               // y
  text.push_back(10);               // x
  r.push_back({0x0521, text});      // TEXTOUT
  r.push_back({0x0127, {0xFFFF}});  // RESTOREDC -1
  BmpLayout layout;
  layout.width = 6;
  layout.height = 4;
  layout.bpp = 24;
  std::vector<int> stretch{0x0020, 0x00CC, 0, 4, 6, 0, 0, 20, 30, 50, 60};  // SRCCOPY, DIB_RGB_COLORS
  for (int w : DibWords(MakeDib(layout))) stretch.push_back(w);
  r.push_back({0x0F43, stretch});  // STRETCHDIB
  r.push_back({0x01F0, {1}});      // DELETEOBJECT
  return MakeWmfFrom(r, placeable);
}

// ---- Enhanced metafiles ----

QByteArray MakeEmfFrom(const std::vector<EmfRecord>& records, int width, int height) {
  Bytes body;
  for (const EmfRecord& r : records) {
    body.u32(r.type).u32(static_cast<uint32_t>(8 + r.params.size())).raw(r.params);
  }
  body.u32(14).u32(20).u32(0).u32(16).u32(20);  // EMR_EOF
  const uint32_t headerSize = 88;
  const uint32_t total = headerSize + static_cast<uint32_t>(body.size());
  Bytes b;
  b.u32(1).u32(headerSize);
  b.i32(0).i32(0).i32(width - 1).i32(height - 1);                    // bounds, device units
  b.i32(0).i32(0).i32(width * 2646 / 100).i32(height * 2646 / 100);  // frame, 0.01 mm at 96 dpi
  b.u32(0x464D4520).u32(0x10000).u32(total).u32(static_cast<uint32_t>(records.size() + 2));
  b.u16(4).u16(0).u32(0).u32(0).u32(0);
  b.i32(1024).i32(768).i32(271).i32(203);  // device pixels and millimetres (96 dpi)
  b.raw(body.data);
  return b.data;
}

namespace {
QByteArray Params(std::initializer_list<int32_t> v) {
  Bytes b;
  for (int32_t x : v) b.i32(x);
  return b.data;
}
}  // namespace

QByteArray MakeEmf() {
  std::vector<EmfRecord> r;
  r.push_back({17, Params({8})});                     // SETMAPMODE anisotropic
  r.push_back({9, Params({100, 80})});                // SETWINDOWEXTEX
  r.push_back({10, Params({0, 0})});                  // SETWINDOWORGEX
  r.push_back({11, Params({100, 80})});               // SETVIEWPORTEXTEX
  r.push_back({18, Params({1})});                     // SETBKMODE transparent
  r.push_back({38, Params({1, 0, 2, 0, 0x000000})});  // CREATEPEN ih 1, solid, width 2, black
  r.push_back({37, Params({1})});                     // SELECTOBJECT
  r.push_back({39, Params({2, 0, 0x00C04080, 0})});   // CREATEBRUSHINDIRECT ih 2
  r.push_back({37, Params({2})});
  r.push_back({43, Params({5, 5, 50, 40})});    // RECTANGLE
  r.push_back({42, Params({55, 45, 95, 75})});  // ELLIPSE
  {
    Bytes p;
    p.i32(10).i32(50).i32(40).i32(75).u32(3).i16(10).i16(70).i16(40).i16(50).i16(30).i16(75);
    r.push_back({86, p.data});  // POLYGON16
  }
  {
    Bytes p;
    p.i32(60).i32(5).i32(90).i32(35).u32(3).i16(60).i16(5).i16(90).i16(20).i16(60).i16(35);
    r.push_back({87, p.data});  // POLYLINE16
  }
  r.push_back({27, Params({2, 78})});     // MOVETOEX
  r.push_back({54, Params({98, 2})});     // LINETO
  r.push_back({33, {}});                  // SAVEDC
  r.push_back({24, Params({0x0000FF})});  // SETTEXTCOLOR
  {
    // EXTTEXTOUTW "Zi" at (10, 50).
    Bytes p;
    p.i32(10).i32(50).i32(30).i32(62).u32(1).f32(1.0f).f32(1.0f);
    p.i32(10).i32(50).u32(2);
    // Offsets count from the record's start: 8 bytes type and size, 28 bytes
    // bounds and scales, 40 bytes of the text's fixed part.
    const uint32_t offString = 8 + 28 + 40;
    p.u32(offString).u32(0).i32(0).i32(0).i32(0).i32(0);
    p.u32(offString + 4);  // offDx
    p.u16('Z').u16('i');
    p.u32(8).u32(8);
    r.push_back({84, p.data});
  }
  r.push_back({34, Params({-1})});  // RESTOREDC
  {
    BmpLayout layout;
    layout.width = 6;
    layout.height = 4;
    layout.bpp = 24;
    const QByteArray dib = MakeDib(layout);
    const uint32_t bmiSize = 40, fixed = 80;
    Bytes p;
    p.i32(60).i32(50).i32(89).i32(69);              // bounds
    p.i32(60).i32(50).i32(0).i32(0).i32(6).i32(4);  // dest x y, src x y cx cy
    p.u32(fixed).u32(bmiSize).u32(fixed + bmiSize).u32(static_cast<uint32_t>(dib.size()) - bmiSize);
    p.u32(0).u32(0x00CC0020).i32(30).i32(20);  // DIB_RGB_COLORS, SRCCOPY, dest size
    p.raw(dib);
    r.push_back({81, p.data});  // STRETCHDIBITS
  }
  r.push_back({40, Params({2})});  // DELETEOBJECT
  return MakeEmfFrom(r);
}

namespace {

// One EMF+ record: type, flags, sizes, data padded to four bytes.
void PlusRecord(Bytes& out, int type, int flags, const Bytes& data) {
  Bytes padded = data;
  padded.pad(4);
  out.u16(type).u16(flags).u32(static_cast<uint32_t>(12 + padded.size())).u32(static_cast<uint32_t>(data.size()));
  out.raw(padded.data);
}

Bytes PlusObjectHeader() {
  Bytes b;
  b.u32(0xDBC01002);
  return b;
}

}  // namespace

QByteArray MakeEmfPlus(bool dual) {
  const uint32_t red = 0xFFFF0000, blue = 0xFF0000FF, green = 0x8000A000;
  Bytes r;
  PlusRecord(r, 0x4001, dual ? 1 : 0, Bytes().u32(0xDBC01002).u32(1).u32(96).u32(96));  // header
  PlusRecord(r, 0x4030, 2, Bytes().f32(1.0f));                                          // page: pixels
  PlusRecord(r, 0x401E, 1, Bytes());                                                    // antialiasing on
  PlusRecord(r, 0x4009, 0, Bytes().u32(0x10FFFF00));                                    // clear, faint
  // Objects: 0 solid brush, 1 hatch brush, 2 linear gradient, 3 path gradient,
  // 4 dashed pen, 5 path, 6 region, 7 bitmap, 8 font, 9 string format,
  // 10 texture brush.
  PlusRecord(r, 0x4008, 0 | (1 << 8), PlusObjectHeader().u32(0).u32(red));
  PlusRecord(r, 0x4008, 1 | (1 << 8), PlusObjectHeader().u32(1).u32(4).u32(blue).u32(0xFFFFFFFF));
  PlusRecord(r, 0x4008, 2 | (1 << 8),
             PlusObjectHeader()
                 .u32(1)
                 .u32(8 | 2)
                 .u32(0)
                 .f32(0)
                 .f32(0)
                 .f32(50)
                 .f32(10)
                 .u32(red)
                 .u32(blue)
                 .u32(0)
                 .u32(0)
                 .f32(1)
                 .f32(0)
                 .f32(0)
                 .f32(1)
                 .f32(0)
                 .f32(0)  // transform
                 .u32(2)
                 .f32(0)
                 .f32(1)
                 .f32(0)
                 .f32(1));  // blend factors
  PlusRecord(r, 0x4008, 3 | (1 << 8),
             PlusObjectHeader()
                 .u32(3)
                 .u32(0)
                 .u32(0)
                 .u32(red)
                 .f32(50)
                 .f32(40)
                 .u32(1)
                 .u32(blue)
                 .u32(3)
                 .f32(30)
                 .f32(30)
                 .f32(70)
                 .f32(30)
                 .f32(50)
                 .f32(60));
  PlusRecord(r, 0x4008, 4 | (2 << 8),
             PlusObjectHeader()
                 .u32(0)
                 .u32(0x20 | 0x100 | 0x02 | 0x08)
                 .u32(2)
                 .f32(2.5f)
                 .u32(2)
                 .u32(2)
                 .u32(5)
                 .u32(2)
                 .f32(2)
                 .f32(1)
                 .u32(0xDBC01002)
                 .u32(0)
                 .u32(green));
  PlusRecord(r, 0x4008, 5 | (3 << 8),
             PlusObjectHeader()
                 .u32(4)
                 .u32(0x4000)
                 .i16(10)
                 .i16(60)
                 .i16(30)
                 .i16(60)
                 .i16(30)
                 .i16(75)
                 .i16(10)
                 .i16(75)
                 .u8(0)
                 .u8(1)
                 .u8(3 | 0)
                 .u8(0x83));
  {
    Bytes path = PlusObjectHeader();
    path.u32(3).u32(0).f32(60).f32(60).f32(90).f32(60).f32(75).f32(78).u8(0).u8(1).u8(0x81).pad(4);
    Bytes region = PlusObjectHeader();
    region.u32(2)
        .u32(4)
        .u32(0x10000000)
        .f32(55)
        .f32(55)
        .f32(40)
        .f32(20)
        .u32(0x10000001)
        .u32(static_cast<uint32_t>(path.size()))
        .raw(path.data);
    PlusRecord(r, 0x4008, 6 | (4 << 8), region);
  }
  // A 2 x 2 bitmap of 32-bit ARGB pixels, as an image object and inside a
  // texture brush.
  auto bitmap = [](Bytes b, std::initializer_list<uint32_t> pixels) {
    b.u32(0xDBC01002).u32(1).i32(2).i32(2).i32(8).u32(0x0026200A).u32(0);
    for (uint32_t p : pixels) b.u32(p);
    return b;
  };
  PlusRecord(r, 0x4008, 7 | (5 << 8), bitmap(Bytes(), {red, blue, 0x80FFFFFF, green}));
  {
    Bytes font = PlusObjectHeader();
    font.f32(12).u32(3).i32(1).u32(0).u32(5);
    for (char c : std::string("Arial")) font.u16(c);
    PlusRecord(r, 0x4008, 8 | (6 << 8), font);
  }
  {
    // String format: centred, no margins.
    Bytes format = PlusObjectHeader();
    format.u32(0).u32(0).u32(1).u32(1).u32(0).u32(0).f32(0).u32(0).f32(0).f32(0).f32(0);
    format.u32(0).u32(0).u32(0);
    PlusRecord(r, 0x4008, 9 | (7 << 8), format);
  }
  PlusRecord(r, 0x4008, 10 | (1 << 8), bitmap(PlusObjectHeader().u32(2).u32(0).u32(0), {red, blue, blue, red}));
  {
    // 11: a metafile image, the sample WMF.
    const QByteArray inner = MakeWmf(true);
    Bytes meta = PlusObjectHeader();
    meta.u32(2).u32(2).u32(static_cast<uint32_t>(inner.size())).raw(inner);
    PlusRecord(r, 0x4008, 11 | (5 << 8), meta);
  }
  // Drawing.
  PlusRecord(r, 0x400A, 0x8000, Bytes().u32(blue).u32(1).f32(2).f32(2).f32(20).f32(10));          // fill rects
  PlusRecord(r, 0x400A, 0x4000, Bytes().u32(1).u32(1).i16(25).i16(2).i16(20).i16(10));            // hatched, 16-bit
  PlusRecord(r, 0x400C, 0, Bytes().u32(2).u32(3).f32(50).f32(2).f32(95).f32(2).f32(70).f32(15));  // gradient polygon
  PlusRecord(r, 0x400E, 0, Bytes().u32(3).f32(30).f32(20).f32(40).f32(40));  // path gradient ellipse
  PlusRecord(r, 0x4010, 0x8000, Bytes().u32(green).f32(0).f32(270).f32(2).f32(30).f32(20).f32(20));  // pie
  PlusRecord(r, 0x4011, 4, Bytes().f32(45).f32(90).f32(2).f32(30).f32(20).f32(20));                  // pie outline
  PlusRecord(r, 0x4012, 4, Bytes().f32(90).f32(180).f32(60).f32(20).f32(30).f32(30));                // arc
  PlusRecord(r, 0x400D, 4 | 0x2000 | 0x0800,
             Bytes().u32(3).u8(5).u8(5).u8(20).u8(0).u8(0x7F).u8(10));  // relative, closed
  PlusRecord(r, 0x4019, 4, Bytes().u32(4).f32(5).f32(50).f32(20).f32(40).f32(40).f32(60).f32(55).f32(50));  // Beziers
  PlusRecord(r, 0x400B, 4, Bytes().u32(1).f32(4).f32(4).f32(90).f32(70));  // draw rects
  PlusRecord(r, 0x4014, 5 | 0x8000, Bytes().u32(red));                     // fill path
  PlusRecord(r, 0x4015, 5, Bytes().u32(4));                                // draw path
  PlusRecord(r, 0x4013, 6, Bytes().u32(10));                               // fill region, texture
  PlusRecord(r, 0x4025, 0, Bytes().u32(1));                                // save
  PlusRecord(r, 0x402F, 0, Bytes().f32(30));                               // rotate
  PlusRecord(r, 0x402E, 0x2000, Bytes().f32(1.5f).f32(1.5f));              // scale, appended
  PlusRecord(r, 0x4032, 0x0100, Bytes().f32(0).f32(0).f32(60).f32(60));    // clip: intersect
  PlusRecord(r, 0x4033, 5 | 0x0200, Bytes());                              // clip: union path
  PlusRecord(r, 0x4034, 6 | 0x0300, Bytes());                              // clip: xor region
  PlusRecord(r, 0x4035, 0, Bytes().f32(1).f32(1));                         // offset clip
  PlusRecord(r, 0x401A, 7, Bytes().u32(0xFFFFFFFF).u32(2).f32(0).f32(0).f32(2).f32(2).f32(40).f32(5).f32(20).f32(20));
  PlusRecord(r, 0x401B, 7,
             Bytes()
                 .u32(0xFFFFFFFF)
                 .u32(2)
                 .f32(0)
                 .f32(0)
                 .f32(2)
                 .f32(2)
                 .u32(3)
                 .f32(70)
                 .f32(40)
                 .f32(90)
                 .f32(45)
                 .f32(65)
                 .f32(60));
  PlusRecord(r, 0x401A, 11, Bytes().u32(0xFFFFFFFF).u32(2).f32(0).f32(0).f32(10).f32(8).f32(48).f32(3).f32(15).f32(12));
  PlusRecord(r, 0x4026, 0, Bytes().u32(1));                                                                // restore
  PlusRecord(r, 0x4027, 2, Bytes().f32(0).f32(40).f32(50).f32(40).f32(0).f32(0).f32(100).f32(80).u32(2));  // container
  PlusRecord(r, 0x402A, 0, Bytes().f32(1).f32(0).f32(0.2f).f32(1).f32(0).f32(0));                          // set world
  {
    Bytes text = Bytes().u32(0xFF000000).u32(9).u32(2).f32(5).f32(5).f32(90).f32(30);
    text.u16('Z').u16('i');
    PlusRecord(r, 0x401C, 8 | 0x8000, text);  // string
    Bytes glyphs = Bytes().u32(0xFF0000FF).u32(1 | 4).u32(0).u32(2).u16('O').u16('k').f32(10).f32(60).f32(0).f32(0);
    PlusRecord(r, 0x4036, 8 | 0x8000, glyphs);  // driver string
  }
  PlusRecord(r, 0x4029, 0, Bytes().u32(2));  // end container
  PlusRecord(r, 0x4031, 0, Bytes());         // reset clip
  PlusRecord(r, 0x4018, 4, Bytes().f32(0.5f).u32(0).u32(2).u32(3).f32(5).f32(40).f32(20).f32(30).f32(35).f32(40));
  PlusRecord(r, 0x4016, 0x8000 | 0x2000,
             Bytes().u32(0x4000FF00).f32(0.7f).u32(3).f32(60).f32(60).f32(95).f32(70).f32(70).f32(78));
  PlusRecord(r, 0x4017, 4, Bytes().f32(0.5f).u32(3).f32(60).f32(60).f32(95).f32(70).f32(70).f32(78));
  PlusRecord(r, 0x4038, 0, Bytes().u32(0).u32(0).u32(0).u32(0).u32(0));  // an image effect: not drawn
  PlusRecord(r, 0x4004, 0, Bytes());                                     // GetDC
  Bytes comment;
  comment.u32(static_cast<uint32_t>(4 + r.size())).u32(0x2B464D45).raw(r.data);
  std::vector<EmfRecord> records;
  records.push_back({70, comment.data});
  Bytes brush;
  brush.u32(1).u32(0).u32(0x0000C0C0).u32(0);
  records.push_back({39, brush.data});               // CREATEBRUSHINDIRECT
  records.push_back({37, Params({1})});              // SELECTOBJECT
  records.push_back({43, Params({70, 5, 95, 20})});  // RECTANGLE, after GetDC
  Bytes end;
  Bytes eofRecord;
  PlusRecord(eofRecord, 0x4002, 0, Bytes());
  end.u32(static_cast<uint32_t>(4 + eofRecord.size())).u32(0x2B464D45).raw(eofRecord.data);
  records.push_back({70, end.data});
  return MakeEmfFrom(records);
}

}  // namespace zindrel::samples
