// Small metafile writers for the tests: they emit headers and records byte
// by byte, so every test builds exactly the file it talks about.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "support/bytes.h"

namespace mftest {

using zindrel::testing::Put16;
using zindrel::testing::Put32;
using zindrel::testing::PutF32;

inline uint32_t Ref(QColor c) { return static_cast<uint32_t>(c.red() | (c.green() << 8) | (c.blue() << 16)); }

// A packed bitmap: info header, colour table, rows (bottom-up unless the
// height is negative). Pixels are given top row first as palette indices
// (bpp <= 8) or as 0xRRGGBB.
inline QByteArray Dib(int width, int height, int bpp, const std::vector<uint32_t>& pixels,
                      const std::vector<QColor>& palette = {}, uint32_t compression = 0,
                      const QByteArray& rawBits = {}) {
  QByteArray b;
  const int rows = height < 0 ? -height : height;
  const int stride = ((width * bpp + 31) / 32) * 4;
  Put32(b, 40);
  Put32(b, width);
  Put32(b, height);
  Put16(b, 1);
  Put16(b, bpp);
  Put32(b, compression);
  Put32(b, rawBits.isEmpty() ? stride * rows : rawBits.size());
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, static_cast<int64_t>(palette.size()));
  Put32(b, 0);
  if (compression == 3) {  // masks for 32 bits: red, green, blue
    Put32(b, 0x00FF0000);
    Put32(b, 0x0000FF00);
    Put32(b, 0x000000FF);
  }
  for (const QColor& c : palette) {
    b.append(static_cast<char>(c.blue()));
    b.append(static_cast<char>(c.green()));
    b.append(static_cast<char>(c.red()));
    b.append('\0');
  }
  if (!rawBits.isEmpty()) return b + rawBits;
  for (int r = 0; r < rows; ++r) {
    const int y = height < 0 ? r : rows - 1 - r;  // file row r holds picture row y
    QByteArray row(stride, '\0');
    for (int x = 0; x < width; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y * width + x)];
      if (bpp == 24) {
        row[3 * x] = static_cast<char>(p & 0xFF);
        row[3 * x + 1] = static_cast<char>((p >> 8) & 0xFF);
        row[3 * x + 2] = static_cast<char>((p >> 16) & 0xFF);
      } else if (bpp == 32) {
        for (int k = 0; k < 4; ++k) row[4 * x + k] = static_cast<char>((p >> (8 * k)) & 0xFF);
      } else if (bpp == 16) {  // 5-5-5
        const uint32_t v = (((p >> 19) & 31) << 10) | (((p >> 11) & 31) << 5) | ((p >> 3) & 31);
        row[2 * x] = static_cast<char>(v & 0xFF);
        row[2 * x + 1] = static_cast<char>(v >> 8);
      } else if (bpp == 8) {
        row[x] = static_cast<char>(p);
      } else if (bpp == 4) {
        row[x / 2] = static_cast<char>(row[x / 2] | (x % 2 ? p : p << 4));
      } else if (bpp == 1) {
        if (p) row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
      }
    }
    b += row;
  }
  return b;
}

class Wmf {
 public:
  // Placeable header box (logical units) and units per inch; placeable=false
  // writes only the standard header.
  explicit Wmf(bool placeable = true, QRect box = QRect(0, 0, 100, 100), int inch = 96)
      : placeable_(placeable), box_(box), inch_(inch) {}

  Wmf& Rec(int function, std::initializer_list<int> words) {
    QByteArray payload;
    for (int w : words) Put16(payload, w);
    return Raw(function, payload);
  }
  Wmf& Raw(int function, QByteArray payload) {
    if (payload.size() % 2) payload.append('\0');
    Put32(records_, 3 + payload.size() / 2);
    Put16(records_, function);
    records_ += payload;
    return *this;
  }
  // Appends bytes as they are (for damaged records).
  Wmf& Bytes(const QByteArray& raw) {
    records_ += raw;
    return *this;
  }

  // Common records, arguments in call order.
  Wmf& MapMode(int m) { return Rec(0x0103, {m}); }
  Wmf& WindowOrg(int x, int y) { return Rec(0x020B, {y, x}); }
  Wmf& WindowExt(int x, int y) { return Rec(0x020C, {y, x}); }
  Wmf& ViewportOrg(int x, int y) { return Rec(0x020D, {y, x}); }
  Wmf& ViewportExt(int x, int y) { return Rec(0x020E, {y, x}); }
  Wmf& Pen(int style, int width, QColor c) {
    const uint32_t r = Ref(c);
    return Rec(0x02FA, {style, width, 0, static_cast<int>(r & 0xFFFF), static_cast<int>(r >> 16)});
  }
  Wmf& Brush(int style, QColor c, int hatch = 0) {
    const uint32_t r = Ref(c);
    return Rec(0x02FC, {style, static_cast<int>(r & 0xFFFF), static_cast<int>(r >> 16), hatch});
  }
  Wmf& Select(int index) { return Rec(0x012D, {index}); }
  Wmf& Delete(int index) { return Rec(0x01F0, {index}); }
  Wmf& Colour(int function, QColor c) {
    const uint32_t r = Ref(c);
    return Rec(function, {static_cast<int>(r & 0xFFFF), static_cast<int>(r >> 16)});
  }
  Wmf& Rectangle(int l, int t, int r, int b) { return Rec(0x041B, {b, r, t, l}); }
  Wmf& Ellipse(int l, int t, int r, int b) { return Rec(0x0418, {b, r, t, l}); }
  Wmf& MoveTo(int x, int y) { return Rec(0x0214, {y, x}); }
  Wmf& LineTo(int x, int y) { return Rec(0x0213, {y, x}); }
  Wmf& Poly(int function, std::initializer_list<int> xy) {
    std::vector<int> words{static_cast<int>(xy.size() / 2)};
    words.insert(words.end(), xy.begin(), xy.end());
    QByteArray payload;
    for (int w : words) Put16(payload, w);
    return Raw(function, payload);
  }
  Wmf& Font(int height, int charset, const QByteArray& face, int escapement = 0) {
    QByteArray p;
    Put16(p, height);
    Put16(p, 0);
    Put16(p, escapement);
    Put16(p, 0);
    Put16(p, 400);
    p.append('\0').append('\0').append('\0').append(static_cast<char>(charset));
    p.append('\0').append('\0').append('\0').append('\0');
    p += face;
    p.append('\0');
    return Raw(0x02FB, p);
  }
  Wmf& TextOut(int x, int y, const QByteArray& text) {
    QByteArray p;
    Put16(p, static_cast<int>(text.size()));
    p += text;
    if (text.size() % 2) p.append('\0');
    Put16(p, y);
    Put16(p, x);
    return Raw(0x0521, p);
  }

  QByteArray Finish(bool withEof = true) const {
    QByteArray body = records_;
    if (withEof) {
      Put32(body, 3);
      Put16(body, 0);
    }
    QByteArray out;
    if (placeable_) {
      Put32(out, 0x9AC6CDD7);
      Put16(out, 0);
      Put16(out, box_.left());
      Put16(out, box_.top());
      Put16(out, box_.left() + box_.width());
      Put16(out, box_.top() + box_.height());
      Put16(out, inch_);
      Put32(out, 0);
      uint16_t sum = 0;
      for (int i = 0; i < 20; i += 2)
        sum = static_cast<uint16_t>(sum ^ (static_cast<uint8_t>(out[i]) | (static_cast<uint8_t>(out[i + 1]) << 8)));
      Put16(out, sum);
    }
    Put16(out, 1);
    Put16(out, 9);
    Put16(out, 0x0300);
    Put32(out, (18 + body.size()) / 2);
    Put16(out, 16);
    Put32(out, 0);
    Put16(out, 0);
    return out + body;
  }

 private:
  bool placeable_;
  QRect box_;
  int inch_;
  QByteArray records_;
};

// EMF+ records, gathered for one EMR_COMMENT (Emf::Plus). Coordinates
// are floats unless a record's flags say otherwise.
class EmfPlus {
 public:
  // A record: its size counts the padding to four bytes, its data size not.
  EmfPlus& Rec(uint16_t type, uint16_t flags, QByteArray data = {}) {
    const int dataSize = static_cast<int>(data.size());
    while (data.size() % 4) data.append('\0');
    Put16(records_, type);
    Put16(records_, flags);
    Put32(records_, 12 + data.size());
    Put32(records_, dataSize);
    records_ += data;
    return *this;
  }
  // The header: dual files carry GDI records beside every EMF+ drawing.
  EmfPlus& Header(bool dual, int dpi = 96) { return Rec(0x4001, dual ? 1 : 0, U32({0xDBC01002, 0, dpi, dpi})); }
  // An object record: id in the low byte, kind in the next seven bits.
  EmfPlus& Object(int id, int kind, const QByteArray& data, bool continued = false) {
    return Rec(0x4008, static_cast<uint16_t>(id | (kind << 8) | (continued ? 0x8000 : 0)), data);
  }
  EmfPlus& SolidBrush(int id, QColor c) { return Object(id, 1, U32({0xDBC01002, 0}) + Argb(c)); }
  EmfPlus& Pen(int id, float width, QColor c) {
    return Object(id, 2, U32({0xDBC01002, 0, 0, 2}) + Floats({width}) + U32({0xDBC01002, 0}) + Argb(c));
  }
  // A path of straight lines through the points, closed.
  EmfPlus& Polygon(int id, std::initializer_list<float> xy) {
    const int n = static_cast<int>(xy.size() / 2);
    QByteArray types;
    for (int i = 0; i < n; ++i) types.append(static_cast<char>(i == 0 ? 0 : i == n - 1 ? 0x81 : 1));
    return Object(id, 3, U32({0xDBC01002, n, 0}) + Floats(xy) + types);
  }
  EmfPlus& Font(int id, float emPixels, const QString& family) {
    QByteArray name;
    for (QChar c : family) Put16(name, c.unicode());
    return Object(id, 6, U32({0xDBC01002}) + Floats({emPixels}) + U32({2, 0, 0, family.size()}) + name);
  }

  static QByteArray U32(std::initializer_list<int64_t> values) {
    QByteArray b;
    for (int64_t v : values) Put32(b, v);
    return b;
  }
  static QByteArray Floats(std::initializer_list<float> values) {
    QByteArray b;
    for (float f : values) PutF32(b, f);
    return b;
  }
  static QByteArray Argb(QColor c) {
    QByteArray b;
    Put32(b, static_cast<int64_t>(c.rgba()));
    return b;
  }
  static QByteArray Utf16(const QString& text) {
    QByteArray b;
    for (QChar c : text) Put16(b, c.unicode());
    return b;
  }
  const QByteArray& records() const { return records_; }

 private:
  QByteArray records_;
};

// Enhanced metafile writer. The defaults make one device unit one picture
// pixel when played at 254 dpi: a frame of 0..1000 (0.01 mm) is 100 pixels
// and the reference device has 10 pixels per millimetre.
class Emf {
 public:
  explicit Emf(QRect frame = QRect(0, 0, 1000, 1000)) : frame_(frame) {}

  Emf& Rec(uint32_t type, std::initializer_list<int64_t> values) {
    QByteArray p;
    for (int64_t v : values) Put32(p, v);
    return Raw(type, p);
  }
  Emf& Raw(uint32_t type, QByteArray payload) {
    while (payload.size() % 4) payload.append('\0');
    Put32(records_, type);
    Put32(records_, 8 + payload.size());
    records_ += payload;
    ++count_;
    return *this;
  }
  Emf& Bytes(const QByteArray& raw) {
    records_ += raw;
    return *this;
  }
  // EMR_COMMENT holding EMF+ records.
  Emf& Plus(const EmfPlus& plus) {
    QByteArray p;
    Put32(p, 4 + plus.records().size());
    Put32(p, 0x2B464D45);  // "EMF+"
    return Raw(70, p + plus.records());
  }
  Emf& Brush(uint32_t slot, int style, QColor c, int hatch = 0) { return Rec(39, {slot, style, Ref(c), hatch}); }
  Emf& Pen(uint32_t slot, int style, int width, QColor c) { return Rec(38, {slot, style, width, 0, Ref(c)}); }
  Emf& Select(uint32_t slot) { return Rec(37, {slot}); }
  Emf& Rectangle(int l, int t, int r, int b) { return Rec(43, {l, t, r, b}); }
  Emf& Ellipse(int l, int t, int r, int b) { return Rec(42, {l, t, r, b}); }
  Emf& Transform(int type, float m11, float m12, float m21, float m22, float dx, float dy, int mode = -1) {
    QByteArray p;
    for (float f : {m11, m12, m21, m22, dx, dy}) PutF32(p, f);
    if (mode >= 0) Put32(p, mode);
    return Raw(static_cast<uint32_t>(type), p);
  }
  // A polygon-like record of 32-bit points (bounds left empty).
  Emf& Poly(uint32_t type, std::initializer_list<int> xy) {
    QByteArray p;
    for (int i = 0; i < 4; ++i) Put32(p, 0);
    Put32(p, static_cast<int64_t>(xy.size() / 2));
    for (int v : xy) Put32(p, v);
    return Raw(type, p);
  }
  Emf& Poly16(uint32_t type, std::initializer_list<int> xy) {
    QByteArray p;
    for (int i = 0; i < 4; ++i) Put32(p, 0);
    Put32(p, static_cast<int64_t>(xy.size() / 2));
    for (int v : xy) Put16(p, v);
    return Raw(type, p);
  }
  // EMR_EXTCREATEFONTINDIRECTW: a LOGFONTW with the given face.
  Emf& Font(uint32_t slot, int height, const QString& face, int escapement = 0, int charset = 0,
            int pitchAndFamily = 0) {
    QByteArray p;
    for (int v : {static_cast<int>(slot), height, 0, escapement, escapement, 400}) Put32(p, v);
    p.append('\0').append('\0').append('\0').append(static_cast<char>(charset));
    p.append('\0').append('\0').append('\0').append(static_cast<char>(pitchAndFamily));
    QByteArray name;
    for (QChar c : face) Put16(name, c.unicode());
    while (name.size() < 64) name.append('\0');
    return Raw(82, p + name);
  }
  // EMR_EXTTEXTOUTW; graphics mode 1 is GM_COMPATIBLE, 2 GM_ADVANCED.
  Emf& TextW(int x, int y, const QString& text, uint32_t options = 0, int graphicsMode = 1) {
    QByteArray p;
    for (int i = 0; i < 4; ++i) Put32(p, 0);  // bounds
    Put32(p, graphicsMode);
    PutF32(p, 1);
    PutF32(p, 1);
    Put32(p, x);
    Put32(p, y);
    Put32(p, text.size());
    const int offString = 76;
    Put32(p, offString);
    Put32(p, options);
    for (int i = 0; i < 4; ++i) Put32(p, 0);  // rectangle
    Put32(p, 0);                              // no advances
    for (QChar c : text) Put16(p, c.unicode());
    return Raw(84, p);
  }
  // EMR_STRETCHDIBITS of a packed bitmap.
  Emf& StretchDib(QRect dest, QRect src, const QByteArray& packed, uint32_t rop = 0x00CC0020, int infoSize = -1) {
    const int header = infoSize >= 0 ? infoSize : 40 + (packed.size() > 40 ? PaletteBytes(packed) : 0);
    QByteArray p;
    for (int i = 0; i < 4; ++i) Put32(p, 0);
    for (int v : {dest.x(), dest.y(), src.x(), src.y(), src.width(), src.height()}) Put32(p, v);
    const int fixed = 80;
    Put32(p, fixed);
    Put32(p, header);
    Put32(p, fixed + header);
    Put32(p, packed.size() - header);
    Put32(p, 0);
    Put32(p, rop);
    Put32(p, dest.width());
    Put32(p, dest.height());
    return Raw(81, p + packed);
  }

  QByteArray Finish(bool withEof = true) const {
    QByteArray body = records_;
    int records = count_ + 1;
    if (withEof) {
      Put32(body, 14);
      Put32(body, 20);
      Put32(body, 0);
      Put32(body, 0);
      Put32(body, 20);
      ++records;
    }
    QByteArray h;
    Put32(h, 1);
    Put32(h, 88);
    for (int v : {0, 0, 100, 100}) Put32(h, v);  // bounds (device)
    for (int v : {frame_.left(), frame_.top(), frame_.left() + frame_.width(), frame_.top() + frame_.height()})
      Put32(h, v);
    Put32(h, 0x464D4520);
    Put32(h, 0x10000);
    Put32(h, 88 + body.size());
    Put32(h, records);
    Put16(h, 64);
    Put16(h, 0);
    Put32(h, 0);
    Put32(h, 0);
    Put32(h, 0);
    Put32(h, 2540);  // reference device: 2540 x 2540 pixels
    Put32(h, 2540);
    Put32(h, 254);  // over 254 x 254 mm
    Put32(h, 254);
    return h + body;
  }

 private:
  static int PaletteBytes(const QByteArray& packed) {
    const uint8_t* d = reinterpret_cast<const uint8_t*>(packed.constData());
    const int colours = d[32] | (d[33] << 8);
    const int compression = d[16];
    return colours * 4 + (compression == 3 ? 12 : 0);
  }
  QRect frame_;
  QByteArray records_;
  int count_ = 0;
};

// The layout EMR_ALPHABLEND, EMR_TRANSPARENTBLT and EMR_STRETCHBLT share
// (EMR_BITBLT reads the same fields up to the bitmap offsets): `fourth` is
// the raster operation, blend function or key colour.
inline QByteArray StretchLayout(QRect dest, QRect src, uint32_t fourth, const QByteArray& packed, int infoSize) {
  QByteArray p;
  for (int i = 0; i < 4; ++i) Put32(p, 0);
  for (int v : {dest.x(), dest.y(), dest.width(), dest.height()}) Put32(p, v);
  Put32(p, fourth);
  Put32(p, src.x());
  Put32(p, src.y());
  for (float f : {1.f, 0.f, 0.f, 1.f, 0.f, 0.f}) PutF32(p, f);
  Put32(p, 0);    // background colour
  Put32(p, 0);    // usage
  Put32(p, 108);  // bitmap header right after the fixed part
  Put32(p, infoSize);
  Put32(p, 108 + infoSize);
  Put32(p, packed.size() - infoSize);
  Put32(p, src.width());
  Put32(p, src.height());
  return p + packed;
}

// Picture helpers.
inline bool Near(QRgb a, QColor b, int tolerance = 8) {
  return std::abs(qRed(a) - b.red()) <= tolerance && std::abs(qGreen(a) - b.green()) <= tolerance &&
         std::abs(qBlue(a) - b.blue()) <= tolerance;
}
inline int CountNear(const QImage& image, QRect area, QColor colour, int tolerance) {
  int n = 0;
  area = area.intersected(image.rect());
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) n += Near(image.pixel(x, y), colour, tolerance);
  return n;
}
inline int InkIn(const QImage& image, QRect area) {
  int ink = 0;
  area = area.intersected(image.rect());
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if ((image.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) ++ink;
  return ink;
}

}  // namespace mftest
