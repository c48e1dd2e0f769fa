#include "emf_plus.h"

#include <QFontMetricsF>
#include <QLineF>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QRawFont>
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/errors.h"
#include "fonts.h"
#include "render.h"

namespace zindrel::metafile {

namespace {

constexpr uint32_t kPlusSignature = 0x2B464D45;  // "EMF+"
constexpr uint32_t kComment = 70;
constexpr int kSlots = 64;
constexpr size_t kMaxObjectBytes = size_t(64) << 20;
constexpr int kMaxRegionDepth = 32;
constexpr int kMaxRegionElements = 20000;
// Longer strings are drawn without word wrapping (which measures each line
// again for every word).
constexpr int kMaxWrappedText = 4096;
// Text is laid out in a face of this many pixels to the em, then scaled.
constexpr double kReferenceEm = 256;

enum : uint16_t {
  kHeader = 0x4001,
  kEndOfFile = 0x4002,
  kPlusComment = 0x4003,
  kGetDc = 0x4004,
  kMultiFormatStart = 0x4005,
  kMultiFormatSection = 0x4006,
  kMultiFormatEnd = 0x4007,
  kObject = 0x4008,
  kClear = 0x4009,
  kFillRects = 0x400A,
  kDrawRects = 0x400B,
  kFillPolygon = 0x400C,
  kDrawLines = 0x400D,
  kFillEllipse = 0x400E,
  kDrawEllipse = 0x400F,
  kFillPie = 0x4010,
  kDrawPie = 0x4011,
  kDrawArc = 0x4012,
  kFillRegion = 0x4013,
  kFillPath = 0x4014,
  kDrawPath = 0x4015,
  kFillClosedCurve = 0x4016,
  kDrawClosedCurve = 0x4017,
  kDrawCurve = 0x4018,
  kDrawBeziers = 0x4019,
  kDrawImage = 0x401A,
  kDrawImagePoints = 0x401B,
  kDrawString = 0x401C,
  kSetRenderingOrigin = 0x401D,
  kSetAntiAliasMode = 0x401E,
  kSetTextRenderingHint = 0x401F,
  kSetTextContrast = 0x4020,
  kSetInterpolationMode = 0x4021,
  kSetPixelOffsetMode = 0x4022,
  kSetCompositingMode = 0x4023,
  kSetCompositingQuality = 0x4024,
  kSave = 0x4025,
  kRestore = 0x4026,
  kBeginContainer = 0x4027,
  kBeginContainerNoParams = 0x4028,
  kEndContainer = 0x4029,
  kSetWorldTransform = 0x402A,
  kResetWorldTransform = 0x402B,
  kMultiplyWorldTransform = 0x402C,
  kTranslateWorldTransform = 0x402D,
  kScaleWorldTransform = 0x402E,
  kRotateWorldTransform = 0x402F,
  kSetPageTransform = 0x4030,
  kResetClip = 0x4031,
  kSetClipRect = 0x4032,
  kSetClipPath = 0x4033,
  kSetClipRegion = 0x4034,
  kOffsetClip = 0x4035,
  kDrawDriverString = 0x4036,
  kStrokeFillPath = 0x4037,
  kSerializableObject = 0x4038,
  kSetTsGraphics = 0x4039,
  kSetTsClip = 0x403A,
};

enum ObjectKind { kBrush = 1, kPen, kPath, kRegion, kImage, kFont, kStringFormat, kImageAttributes, kCustomLineCap };

// Record flags.
constexpr uint16_t kSolidColour = 0x8000;  // S: the brush field is a colour
constexpr uint16_t kCompressed = 0x4000;   // C: 16-bit integer coordinates
constexpr uint16_t kRelative = 0x0800;     // P: relative, packed coordinates
constexpr uint16_t kClosedOrAppend = 0x2000;

const char* KindName(uint16_t type) {
  static const char* const kNames[] = {"Header",
                                       "EndOfFile",
                                       "Comment",
                                       "GetDC",
                                       "MultiFormatStart",
                                       "MultiFormatSection",
                                       "MultiFormatEnd",
                                       "Object",
                                       "Clear",
                                       "FillRects",
                                       "DrawRects",
                                       "FillPolygon",
                                       "DrawLines",
                                       "FillEllipse",
                                       "DrawEllipse",
                                       "FillPie",
                                       "DrawPie",
                                       "DrawArc",
                                       "FillRegion",
                                       "FillPath",
                                       "DrawPath",
                                       "FillClosedCurve",
                                       "DrawClosedCurve",
                                       "DrawCurve",
                                       "DrawBeziers",
                                       "DrawImage",
                                       "DrawImagePoints",
                                       "DrawString",
                                       "SetRenderingOrigin",
                                       "SetAntiAliasMode",
                                       "SetTextRenderingHint",
                                       "SetTextContrast",
                                       "SetInterpolationMode",
                                       "SetPixelOffsetMode",
                                       "SetCompositingMode",
                                       "SetCompositingQuality",
                                       "Save",
                                       "Restore",
                                       "BeginContainer",
                                       "BeginContainerNoParams",
                                       "EndContainer",
                                       "SetWorldTransform",
                                       "ResetWorldTransform",
                                       "MultiplyWorldTransform",
                                       "TranslateWorldTransform",
                                       "ScaleWorldTransform",
                                       "RotateWorldTransform",
                                       "SetPageTransform",
                                       "ResetClip",
                                       "SetClipRect",
                                       "SetClipPath",
                                       "SetClipRegion",
                                       "OffsetClip",
                                       "DrawDriverString",
                                       "StrokeFillPath",
                                       "SerializableObject",
                                       "SetTSGraphics",
                                       "SetTSClip"};
  const int index = type - kHeader;
  if (index >= 0 && index < static_cast<int>(sizeof kNames / sizeof kNames[0])) return kNames[index];
  return nullptr;
}

bool Finite(double v) { return std::isfinite(v) && std::fabs(v) < 1e9; }

bool SaneTransform(const QTransform& t) {
  for (double v : {t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()})
    if (!Finite(v)) return false;
  return std::fabs(t.determinant()) > 1e-12;
}

QColor Argb(const Bytes& b, size_t at) { return QColor::fromRgba(b.U32(at)); }

QTransform Matrix(const Bytes& b, size_t at) {
  return QTransform(b.F32(at), b.F32(at + 4), b.F32(at + 8), b.F32(at + 12), b.F32(at + 16), b.F32(at + 20));
}

QRectF RectF(const Bytes& b, size_t at) { return QRectF(b.F32(at), b.F32(at + 4), b.F32(at + 8), b.F32(at + 12)); }

// A rectangle in the record's form: four 16-bit integers or four floats.
QRectF ReadRect(const Bytes& b, size_t at, bool compressed, size_t* end) {
  if (compressed) {
    *end = at + 8;
    return QRectF(b.I16(at), b.I16(at + 2), b.I16(at + 4), b.I16(at + 6));
  }
  *end = at + 16;
  return RectF(b, at);
}

// One coordinate of the packed relative form: 7 bits in one byte, or 15
// bits in two when the first byte's top bit is set.
int PackedCoordinate(const Bytes& b, size_t* at) {
  const uint8_t first = b.U8(*at);
  if (!(first & 0x80)) {
    *at += 1;
    return (first & 0x40) ? first - 0x80 : first;
  }
  const int value = ((first & 0x7F) << 8) | b.U8(*at + 1);
  *at += 2;
  return (value & 0x4000) ? value - 0x8000 : value;
}

std::vector<QPointF> ReadPoints(const Bytes& b, size_t at, size_t count, uint16_t flags, size_t* end) {
  if (count > b.size()) throw ShortRecord{};
  std::vector<QPointF> points;
  points.reserve(count);
  if (flags & kRelative) {
    QPointF last;
    for (size_t i = 0; i < count; ++i) {
      const int dx = PackedCoordinate(b, &at);
      const int dy = PackedCoordinate(b, &at);
      last += QPointF(dx, dy);
      points.push_back(last);
    }
  } else if (flags & kCompressed) {
    b.Need(at, count * 4);
    for (size_t i = 0; i < count; ++i, at += 4) points.emplace_back(b.I16(at), b.I16(at + 2));
  } else {
    b.Need(at, count * 8);
    for (size_t i = 0; i < count; ++i, at += 8) points.emplace_back(b.F32(at), b.F32(at + 4));
  }
  *end = at;
  return points;
}

// An EMF+ path object: points, then their types (plain or run-length), as a
// path in world units.
QPainterPath ReadPath(const Bytes& b, size_t at, size_t* end) {
  const size_t count = b.U32(at + 4);
  const uint32_t flags = b.U32(at + 8);
  size_t pos = 0;
  const std::vector<QPointF> points =
      ReadPoints(b, at + 12, count, static_cast<uint16_t>(flags & (kCompressed | kRelative)), &pos);
  std::vector<uint8_t> types;
  types.reserve(count);
  if (flags & 0x1000) {  // run-length encoded types
    while (types.size() < count) {
      const uint8_t run = b.U8(pos) & 0x3F, type = b.U8(pos + 1);
      pos += 2;
      if (run == 0) continue;
      for (int k = 0; k < run && types.size() < count; ++k) types.push_back(type);
    }
  } else {
    b.Need(pos, count);
    for (size_t i = 0; i < count; ++i) types.push_back(b.U8(pos + i));
    pos += count;
  }
  *end = (pos + 3) & ~size_t(3);
  QPainterPath path;
  for (size_t i = 0; i < count; ++i) {
    const int kind = types[i] & 0x07;
    bool close = (types[i] & 0x80) != 0;
    if (kind == 0 || path.elementCount() == 0) {
      path.moveTo(points[i]);
    } else if (kind == 3 && i + 2 < count) {
      path.cubicTo(points[i], points[i + 1], points[i + 2]);
      close = (types[i + 2] & 0x80) != 0;
      i += 2;
    } else {
      path.lineTo(points[i]);
    }
    if (close) path.closeSubpath();
  }
  path.setFillRule(Qt::OddEvenFill);
  return path;
}

// A cardinal spline through the points as Bezier segments: the control
// points around each point lie along the line between its neighbours, 0.3
// times the tension of that distance away. An open curve draws `segments`
// segments from `first`; a closed one every segment and its closing one.
QPainterPath CardinalSpline(const std::vector<QPointF>& p, double tension, bool closed, size_t first = 0,
                            size_t segments = SIZE_MAX) {
  QPainterPath path;
  const size_t n = p.size();
  if (n < 2 || !Finite(tension)) return path;
  const double k = 0.3 * std::clamp(tension, 0.0, 10.0);
  auto at = [&](long i) {
    if (closed) return p[static_cast<size_t>((i % static_cast<long>(n) + static_cast<long>(n)) % static_cast<long>(n))];
    return p[static_cast<size_t>(std::clamp(i, 0L, static_cast<long>(n) - 1))];
  };
  const size_t total = closed ? n : n - 1;
  if (first >= total) return path;
  const size_t last = std::min(total, first + std::min(segments, total));
  path.moveTo(at(static_cast<long>(first)));
  for (size_t i = first; i < last; ++i) {
    const long j = static_cast<long>(i);
    const QPointF c1 = at(j) + (at(j + 1) - at(j - 1)) * k;
    const QPointF c2 = at(j + 1) - (at(j + 2) - at(j)) * k;
    path.cubicTo(c1, c2, at(j + 1));
  }
  if (closed) path.closeSubpath();
  return path;
}

QPainterPath RectPath(const QRectF& r) {
  QPainterPath p;
  p.addRect(r.normalized());
  return p;
}

QPainterPath Everything() { return RectPath(QRectF(-1e7, -1e7, 2e7, 2e7)); }

// A region node and, for combinations, its two children.
QPainterPath ReadRegionNode(const Bytes& b, size_t* at, int depth, int* nodes) {
  if (depth > kMaxRegionDepth || ++*nodes > 4096) throw ShortRecord{};
  const uint32_t type = b.U32(*at);
  *at += 4;
  switch (type) {
    case 0x10000000: {
      const QRectF r = RectF(b, *at);
      *at += 16;
      return RectPath(r);
    }
    case 0x10000001: {
      const size_t size = b.U32(*at);
      const Bytes data = b.Sub(*at + 4, size);
      size_t end = 0;
      QPainterPath path = ReadPath(data, 0, &end);
      *at += 4 + size;
      return path;
    }
    case 0x10000002: return QPainterPath();
    case 0x10000003: return Everything();
    case 1:
    case 2:
    case 3:
    case 4:
    case 5: {
      const QPainterPath left = ReadRegionNode(b, at, depth + 1, nodes);
      const QPainterPath right = ReadRegionNode(b, at, depth + 1, nodes);
      // Combining outlines costs more than their length; a region that big
      // is no drawing's.
      if (left.elementCount() + right.elementCount() > kMaxRegionElements) throw ShortRecord{};
      switch (type) {
        case 1: return left.intersected(right);
        case 2: return left.united(right);
        case 3: return left.subtracted(right).united(right.subtracted(left));
        case 4: return left.subtracted(right);
        default: return right.subtracted(left);
      }
    }
    default: throw ShortRecord{};
  }
}

QImage HatchTile(int style, QColor fore, QColor back) {
  QImage tile(8, 8, QImage::Format_ARGB32_Premultiplied);
  tile.fill(back);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      bool on;
      switch (style) {
        case 0: on = y == 0; break;                     // horizontal
        case 1: on = x == 0; break;                     // vertical
        case 2: on = x == y; break;                     // forward diagonal
        case 3: on = x == 7 - y; break;                 // backward diagonal
        case 4: on = x == 0 || y == 0; break;           // cross
        case 5: on = x == y || x == 7 - y; break;       // diagonal cross
        default: on = ((x + y) & 1) && (y & 1); break;  // the many others: a fine dot pattern
      }
      if (on) tile.setPixelColor(x, y, fore);
    }
  return tile;
}

// Pixels of an EMF+ bitmap object.
QImage DecodePlusBitmap(const Bytes& b, size_t at, qint64 maxPixels) {
  const int64_t width = b.I32(at), height = b.I32(at + 4), stride = b.I32(at + 8);
  const uint32_t format = b.U32(at + 12), type = b.U32(at + 16);
  const Bytes data = b.From(at + 20);
  if (type == 1) {  // a compressed file: PNG, JPEG, GIF, BMP, ...
    QImage image = QImage::fromData(
        QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size())));
    if (image.isNull() || qint64(image.width()) * image.height() > maxPixels) return {};
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  }
  if (type != 0 || width <= 0 || height <= 0 || width > 65535 || height > 65535 || width * height > maxPixels)
    return {};
  size_t pos = 0;
  QVector<QRgb> palette;
  if (format & 0x00010000) {  // indexed: a palette comes first
    const size_t count = data.U32(4);
    if (count > 256) return {};
    for (size_t i = 0; i < count; ++i) palette.push_back(data.U32(8 + 4 * i));
    pos = 8 + 4 * count;
  }
  const int bits = static_cast<int>((format >> 8) & 0xFF);
  if (stride < (width * bits + 7) / 8 || stride > 4 * width + 64) return {};
  data.Need(pos, static_cast<size_t>(stride) * static_cast<size_t>(height));
  QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_ARGB32);
  if (image.isNull()) return {};
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = data.data() + pos + static_cast<size_t>(stride) * static_cast<size_t>(y);
    QRgb* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      QRgb c = 0xFF000000;
      switch (format) {
        case 0x00030101: {  // 1 bit, indexed
          const int i = (row[x / 8] >> (7 - (x & 7))) & 1;
          c = i < palette.size() ? palette[i] : (i ? 0xFFFFFFFF : 0xFF000000);
          break;
        }
        case 0x00030402: {  // 4 bits, indexed
          const int i = (x & 1) ? (row[x / 2] & 15) : (row[x / 2] >> 4);
          c = i < palette.size() ? palette[i] : 0xFF000000;
          break;
        }
        case 0x00030803: c = row[x] < palette.size() ? palette[row[x]] : 0xFF000000; break;
        case 0x00021005: {  // 16 bits, 5-5-5
          const int v = row[2 * x] | (row[2 * x + 1] << 8);
          c = qRgb(((v >> 10) & 31) * 255 / 31, ((v >> 5) & 31) * 255 / 31, (v & 31) * 255 / 31);
          break;
        }
        case 0x00021006: {  // 16 bits, 5-6-5
          const int v = row[2 * x] | (row[2 * x + 1] << 8);
          c = qRgb(((v >> 11) & 31) * 255 / 31, ((v >> 5) & 63) * 255 / 63, (v & 31) * 255 / 31);
          break;
        }
        case 0x00061007: {  // 16 bits, 1-5-5-5
          const int v = row[2 * x] | (row[2 * x + 1] << 8);
          c = qRgba(((v >> 10) & 31) * 255 / 31, ((v >> 5) & 31) * 255 / 31, (v & 31) * 255 / 31,
                    (v & 0x8000) ? 255 : 0);
          break;
        }
        case 0x00021808: c = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]); break;
        case 0x00022009: c = qRgb(row[4 * x + 2], row[4 * x + 1], row[4 * x]); break;
        case 0x0026200A: c = qRgba(row[4 * x + 2], row[4 * x + 1], row[4 * x], row[4 * x + 3]); break;
        case 0x000E200B: {  // premultiplied
          const int a = row[4 * x + 3];
          c = a == 0 ? 0
                     : qRgba(std::min(255, row[4 * x + 2] * 255 / a), std::min(255, row[4 * x + 1] * 255 / a),
                             std::min(255, row[4 * x] * 255 / a), a);
          break;
        }
        default: return {};
      }
      out[x] = c;
    }
  }
  return image;
}

QGradient::Spread SpreadOf(int wrap) {
  switch (wrap) {
    case 0: return QGradient::RepeatSpread;
    case 1:
    case 2:
    case 3: return QGradient::ReflectSpread;
    default: return QGradient::PadSpread;
  }
}

}  // namespace

// ---------------------------------------------------------------- objects

struct EmfPlusPlayer::Object {
  int kind = 0;
  QBrush brush;           // brush
  bool brushOk = false;   // a brush drawn here (a texture may be missing)
  uint32_t penFlags = 0;  // pen
  int penUnit = 0;
  double penWidth = 0;
  int lineStyle = 0, startCap = 0, join = 0;
  double miter = 10;
  QVector<qreal> dashes;
  QPainterPath path;    // path and region, world units
  QImage image;         // image (null: not drawn here)
  QByteArray metafile;  // or a metafile (WMF, EMF) to draw in its place
  double em = 0;        // font
  int fontUnit = 0, fontStyle = 0;
  QString family;
  uint32_t formatFlags = 0;  // string format
  int align = 0, lineAlign = 0;
  double leading = 1.0 / 6, trailing = 1.0 / 6;  // margins in ems; GDI+'s default format has a sixth
};

namespace {

// Reads a brush object's data; false for a brush not drawn here.
bool ReadBrush(const Bytes& b, size_t at, GdiPlayer& gdi, QBrush* brush, size_t* end) {
  const uint32_t type = b.U32(at + 4);
  *end = b.size();
  switch (type) {
    case 0: *brush = QBrush(Argb(b, at + 8)); return true;
    case 1:
      *brush = QBrush(HatchTile(static_cast<int>(b.U32(at + 8)), Argb(b, at + 12), Argb(b, at + 16)));
      return true;
    case 2: {  // texture
      const uint32_t flags = b.U32(at + 8);
      size_t pos = at + 16;
      QTransform transform;
      if (flags & 0x02) transform = Matrix(b, pos), pos += 24;
      // The image object: version, type (1: bitmap), then the bitmap.
      if (b.U32(pos + 4) != 1) return false;
      QImage image = DecodePlusBitmap(b, pos + 8, gdi.max_bitmap_pixels());
      if (!gdi.ChargeBitmap(image)) return false;
      *brush = QBrush(image);
      if (SaneTransform(transform)) brush->setTransform(transform);
      return true;
    }
    case 3: {  // path gradient: from the centre colour to the surrounding one
      const uint32_t flags = b.U32(at + 8);
      const QColor centreColour = Argb(b, at + 16);
      const QPointF centre(b.F32(at + 20), b.F32(at + 24));
      const size_t colours = b.U32(at + 28);
      if (colours > b.size() / 4) return false;
      const QColor surround = colours ? Argb(b, at + 32) : centreColour;
      size_t pos = at + 32 + 4 * colours;
      double radius = 0;
      if (flags & 0x01) {
        const size_t size = b.U32(pos);
        size_t pathEnd = 0;
        const QRectF box = ReadPath(b.Sub(pos + 4, size), 0, &pathEnd).boundingRect();
        radius = std::max(box.width(), box.height()) / 2;
      } else {
        const size_t count = b.U32(pos);
        size_t pointsEnd = 0;
        for (const QPointF& p : ReadPoints(b, pos + 4, count, 0, &pointsEnd))
          radius = std::max(radius, std::hypot(p.x() - centre.x(), p.y() - centre.y()));
      }
      if (!(radius > 0) || !Finite(radius)) {
        *brush = QBrush(surround);
        return true;
      }
      QRadialGradient gradient(centre, radius);
      gradient.setColorAt(0, centreColour);
      gradient.setColorAt(1, surround);
      *brush = QBrush(gradient);
      return true;
    }
    case 4: {  // linear gradient along the rectangle's width
      const uint32_t flags = b.U32(at + 8);
      const int wrap = static_cast<int>(b.U32(at + 12));
      const QRectF rect = RectF(b, at + 16);
      const QColor start = Argb(b, at + 32), finish = Argb(b, at + 36);
      size_t pos = at + 48;
      QTransform transform;
      if (flags & 0x02) transform = Matrix(b, pos), pos += 24;
      QLinearGradient gradient(rect.topLeft(), rect.topRight());
      if (flags & 0x04) {  // preset colours at positions
        const size_t count = b.U32(pos);
        if (count > 1024) return false;
        for (size_t i = 0; i < count; ++i) {
          const double position = b.F32(pos + 4 + 4 * i);
          if (Finite(position))
            gradient.setColorAt(std::clamp(position, 0.0, 1.0), Argb(b, pos + 4 + 4 * count + 4 * i));
        }
      } else if (flags & 0x08) {  // blend factors between the two colours
        const size_t count = b.U32(pos);
        if (count > 1024) return false;
        for (size_t i = 0; i < count; ++i) {
          const double position = b.F32(pos + 4 + 4 * i), factor = b.F32(pos + 4 + 4 * count + 4 * i);
          if (!Finite(position) || !Finite(factor)) continue;
          const double f = std::clamp(factor, 0.0, 1.0);
          auto channel = [f](float from, float to) { return static_cast<float>(from + (to - from) * f); };
          const QColor mix =
              QColor::fromRgbF(channel(start.redF(), finish.redF()), channel(start.greenF(), finish.greenF()),
                               channel(start.blueF(), finish.blueF()), channel(start.alphaF(), finish.alphaF()));
          gradient.setColorAt(std::clamp(position, 0.0, 1.0), mix);
        }
      } else {
        gradient.setColorAt(0, start);
        gradient.setColorAt(1, finish);
      }
      gradient.setSpread(SpreadOf(wrap));
      *brush = QBrush(gradient);
      if (SaneTransform(transform)) brush->setTransform(transform);
      return true;
    }
    default: return false;
  }
}

}  // namespace

EmfPlusPlayer::EmfPlusPlayer(GdiPlayer& gdi) : gdi_(gdi) { objects_.resize(kSlots); }

EmfPlusPlayer::~EmfPlusPlayer() = default;

bool EmfPlusPlayer::IsPlusComment(const Bytes& record) {
  return record.Has(0, 16) && record.U32(0) == kComment && record.U32(12) == kPlusSignature;
}

void EmfPlusPlayer::Comment(const Bytes& record) {
  const size_t length = std::min<size_t>(record.U32(8), record.size() - 12);
  if (length < 4) return;
  const Bytes records = record.Sub(16, length - 4);
  size_t pos = 0;
  while (records.Has(pos, 12)) {
    const uint16_t type = records.U16(pos), flags = records.U16(pos + 2);
    const uint32_t size = records.U32(pos + 4), dataSize = records.U32(pos + 8);
    if (size < 12 || size > records.size() - pos || dataSize > size - 12) break;
    gdi_.CountRecord();
    try {
      Record(type, flags, records.Sub(pos + 12, dataSize));
    } catch (const ShortRecord&) {
      // a record shorter than its fields: skipped
    }
    pos += size;
  }
}

void EmfPlusPlayer::Finish() {
  for (const auto& [kind, count] : undrawn_)
    gdi_.Warn(std::to_string(count) + " EMF+ " + kind + (count == 1 ? " record" : " records") + " not drawn");
}

void EmfPlusPlayer::Record(uint16_t type, uint16_t flags, const Bytes& data) {
  if (type == kHeader) {
    headerSeen_ = true;
    dual_ = (flags & 1) != 0;
    gdiOpen_ = false;
    const double x = data.U32(8), y = data.U32(12);
    if (x >= 1 && x <= 100000) dpiX_ = x;
    if (y >= 1 && y <= 100000) dpiY_ = y;
    return;
  }
  if (!headerSeen_) return;
  if (type == kGetDc) {
    gdiOpen_ = true;
    return;
  }
  if (type == kEndOfFile || type == kPlusComment || (type >= kMultiFormatStart && type <= kMultiFormatEnd)) return;
  if (type == kObject) {
    ObjectRecord(flags, data);
    return;
  }
  const bool drawn = Draw(type, flags, data);
  if (drawn) {
    gdiOpen_ = false;
    return;
  }
  // Not drawn here: a dual file's GDI records that follow draw it instead.
  gdiOpen_ = dual_;
  if (!dual_) {
    const char* name = KindName(type);
    ++undrawn_[name ? name : "record kind " + std::to_string(type)];
  }
}

void EmfPlusPlayer::ObjectRecord(uint16_t flags, const Bytes& data) {
  const int id = flags & 0xFF, kind = (flags >> 8) & 0x7F;
  if (flags & 0x8000) {  // one part of an object spread over records
    const size_t total = data.U32(0);
    if (pendingId_ != id || pendingKind_ != kind) pending_.clear();
    pendingId_ = id, pendingKind_ = kind;
    if (total > kMaxObjectBytes || pending_.size() + data.size() - 4 > total) {
      pending_.clear();
      pendingId_ = -1;
      return;
    }
    gdi_.ChargeWork(static_cast<double>(data.size()));
    pending_.insert(pending_.end(), data.data() + 4, data.data() + data.size());
    return;
  }
  if (pendingId_ == id && pendingKind_ == kind && !pending_.empty()) {
    if (pending_.size() + data.size() <= kMaxObjectBytes) {
      pending_.insert(pending_.end(), data.data(), data.data() + data.size());
      const std::vector<uint8_t> whole = std::move(pending_);
      pending_.clear();
      pendingId_ = -1;
      Store(id, kind, Bytes(whole.data(), whole.size()));
      return;
    }
  }
  pending_.clear();
  pendingId_ = -1;
  Store(id, kind, data);
}

void EmfPlusPlayer::Store(int id, int kind, const Bytes& data) {
  if (id >= kSlots) return;
  auto object = std::make_unique<Object>();
  object->kind = kind;
  size_t end = 0;
  try {
    switch (kind) {
      case kBrush: object->brushOk = ReadBrush(data, 0, gdi_, &object->brush, &end); break;
      case kPen: {
        object->penFlags = data.U32(8);
        object->penUnit = static_cast<int>(data.U32(12));
        object->penWidth = data.F32(16);
        size_t pos = 20;
        const uint32_t f = object->penFlags;
        if (f & 0x01) pos += 24;
        if (f & 0x02) object->startCap = data.I32(pos), pos += 4;
        if (f & 0x04) pos += 4;
        if (f & 0x08) object->join = data.I32(pos), pos += 4;
        if (f & 0x10) object->miter = data.F32(pos), pos += 4;
        if (f & 0x20) object->lineStyle = data.I32(pos), pos += 4;
        if (f & 0x40) pos += 4;
        if (f & 0x80) pos += 4;
        if (f & 0x100) {
          const size_t count = data.U32(pos);
          if (count > 256) throw ShortRecord{};
          for (size_t i = 0; i < count; ++i) object->dashes.push_back(data.F32(pos + 4 + 4 * i));
          pos += 4 + 4 * count;
        }
        if (f & 0x200) pos += 4;
        if (f & 0x400) pos += 4 + 4 * static_cast<size_t>(data.U32(pos));
        if (f & 0x800) pos += 4 + static_cast<size_t>(data.U32(pos));
        if (f & 0x1000) pos += 4 + static_cast<size_t>(data.U32(pos));
        object->brushOk = ReadBrush(data, pos, gdi_, &object->brush, &end);
        break;
      }
      case kPath:
        object->path = ReadPath(data, 0, &end);
        gdi_.ChargeWork(object->path.elementCount() * 4.0);
        break;
      case kRegion: {
        size_t at = 8;
        int nodes = 0;
        object->path = ReadRegionNode(data, &at, 0, &nodes);
        gdi_.ChargeWork(nodes * 1000.0 + object->path.elementCount() * 16.0);
        break;
      }
      case kImage: {
        const uint32_t type = data.U32(4);
        if (type == 1) {
          object->image = DecodePlusBitmap(data, 8, gdi_.max_bitmap_pixels());
          if (!gdi_.ChargeBitmap(object->image)) object->image = QImage();
        } else if (type == 2) {
          const size_t size = data.U32(12);
          if (size <= kMaxObjectBytes) {
            const Bytes file = data.Sub(16, size);
            object->metafile = QByteArray(reinterpret_cast<const char*>(file.data()), static_cast<qsizetype>(size));
          }
        }
        break;
      }
      case kFont: {
        object->em = data.F32(4);
        object->fontUnit = static_cast<int>(data.U32(8));
        object->fontStyle = data.I32(12);
        const size_t length = std::min<size_t>(data.U32(20), 64);
        for (size_t i = 0; i < length && data.Has(24 + 2 * i, 2); ++i) object->family += QChar(data.U16(24 + 2 * i));
        break;
      }
      case kStringFormat:
        object->formatFlags = data.U32(4);
        object->align = static_cast<int>(data.U32(12));
        object->lineAlign = static_cast<int>(data.U32(16));
        if (data.Has(36, 8)) object->leading = data.F32(36), object->trailing = data.F32(40);
        if (!Finite(object->leading) || std::fabs(object->leading) > 10) object->leading = 0;
        if (!Finite(object->trailing) || std::fabs(object->trailing) > 10) object->trailing = 0;
        break;
      default: break;
    }
  } catch (const ShortRecord&) {
    object->kind = 0;  // a damaged object: drawing with it draws nothing
  }
  objects_[static_cast<size_t>(id)] = std::move(object);
}

const EmfPlusPlayer::Object* EmfPlusPlayer::Get(int id) const {
  return id >= 0 && id < kSlots ? objects_[static_cast<size_t>(id)].get() : nullptr;
}

// ---------------------------------------------------------------- mapping

double EmfPlusPlayer::UnitPixels(int unit, bool vertical) const {
  const double dpi = vertical ? dpiY_ : dpiX_;
  switch (unit) {
    case 3: return dpi / 72;    // point
    case 4: return dpi;         // inch
    case 5: return dpi / 300;   // document
    case 6: return dpi / 25.4;  // millimetre
    default: return 1;          // world, display, pixel
  }
}

QTransform EmfPlusPlayer::PageTransform() const {
  return QTransform::fromScale(UnitPixels(s_.pageUnit, false) * s_.pageScale,
                               UnitPixels(s_.pageUnit, true) * s_.pageScale);
}

QTransform EmfPlusPlayer::ToImage() const { return s_.world * PageTransform() * gdi_.device_to_image(); }

// World units in one device pixel, for sizes given in other units.
double EmfPlusPlayer::WorldPerPixel() const {
  const double scale = std::sqrt(std::fabs((s_.world * PageTransform()).determinant()));
  return scale > 1e-12 ? 1 / scale : 1;
}

QPainter* EmfPlusPlayer::BeginPaint() {
  QPainter* painter = gdi_.PlainPainter();
  if (!painter) return nullptr;
  if (s_.clip) painter->setClipPath(*s_.clip);
  painter->setTransform(ToImage());
  painter->setRenderHint(QPainter::Antialiasing, s_.antialias);
  if (s_.sourceCopy) painter->setCompositionMode(QPainter::CompositionMode_Source);
  return painter;
}

void EmfPlusPlayer::Fill(const QPainterPath& worldPath, const QBrush& brush) {
  const QTransform t = ToImage();
  if (!SaneTransform(t)) return;
  const QRectF box = t.mapRect(worldPath.boundingRect());
  gdi_.ChargeWork(worldPath.elementCount() * (1 + std::clamp(box.height(), 0.0, 1e5)));
  gdi_.AccountArea(box, brush.style() == Qt::SolidPattern ? 1 : 3);
  if (QPainter* painter = BeginPaint()) painter->fillPath(worldPath, brush);
}

void EmfPlusPlayer::Stroke(const QPainterPath& worldPath, int penId) {
  const Object* pen = Get(penId);
  if (!pen || pen->kind != kPen || !pen->brushOk) return;
  const QTransform t = ToImage();
  if (!SaneTransform(t)) return;
  // The width in world units; zero draws one pixel wide.
  double width = pen->penWidth;
  if (pen->penUnit != 0) width *= UnitPixels(pen->penUnit, false) * WorldPerPixel();
  if (!Finite(width) || width < 0) width = 0;
  QPen q(pen->brush, width);
  if (width * std::sqrt(std::fabs(t.determinant())) < 1) q.setCosmetic(true), q.setWidthF(1);
  q.setCapStyle(pen->startCap == 1 ? Qt::SquareCap : pen->startCap == 2 ? Qt::RoundCap : Qt::FlatCap);
  q.setJoinStyle(pen->join == 1 ? Qt::BevelJoin : pen->join == 2 ? Qt::RoundJoin : Qt::MiterJoin);
  if (Finite(pen->miter) && pen->miter > 0) q.setMiterLimit(pen->miter);
  static const QVector<qreal> kStyles[4] = {{3, 1}, {1, 1}, {3, 1, 1, 1}, {3, 1, 1, 1, 1, 1}};
  if (pen->lineStyle >= 1 && pen->lineStyle <= 4) {
    q.setDashPattern(kStyles[pen->lineStyle - 1]);
  } else if (pen->lineStyle == 5 && !pen->dashes.isEmpty()) {
    QVector<qreal> dashes;
    for (qreal d : pen->dashes) dashes.push_back(Finite(d) ? std::max(0.01, d) : 1);
    if (dashes.size() % 2) dashes.push_back(dashes.back());
    q.setDashPattern(dashes);
  }
  const double grow = q.isCosmetic() ? 1 : width;
  const QRectF box = t.mapRect(worldPath.boundingRect().adjusted(-grow, -grow, grow, grow));
  gdi_.ChargeWork(worldPath.elementCount() * (1 + std::clamp(box.height(), 0.0, 1e5)));
  gdi_.AccountArea(box, 1);
  if (QPainter* painter = BeginPaint()) painter->strokePath(worldPath, q);
}

bool EmfPlusPlayer::BrushOf(uint16_t flags, uint32_t brushField, QBrush* brush) const {
  if (flags & kSolidColour) {
    *brush = QBrush(QColor::fromRgba(brushField));
    return true;
  }
  const Object* object = brushField < kSlots ? Get(static_cast<int>(brushField)) : nullptr;
  if (!object || object->kind != kBrush || !object->brushOk) return false;
  *brush = object->brush;
  return true;
}

void EmfPlusPlayer::CombineClip(const QPainterPath& imageArea, int mode) {
  const QPainterPath base = s_.clip ? *s_.clip : Everything();
  // Combining outlines takes more than linear time in their length.
  const double elements = base.elementCount() + imageArea.elementCount();
  gdi_.ChargeWork(1000 + elements * (1 + std::sqrt(elements)) * 16);
  switch (mode) {
    case 0: s_.clip = imageArea; break;
    case 1: s_.clip = base.intersected(imageArea); break;
    case 2: s_.clip = base.united(imageArea); break;
    case 3: s_.clip = base.subtracted(imageArea).united(imageArea.subtracted(base)); break;
    case 4: s_.clip = base.subtracted(imageArea); break;
    case 5: s_.clip = imageArea.subtracted(base); break;
    default: break;
  }
}

// ---------------------------------------------------------------- drawing

bool EmfPlusPlayer::Draw(uint16_t type, uint16_t flags, const Bytes& d) {
  const bool compressed = (flags & kCompressed) != 0;
  size_t end = 0;
  switch (type) {
    case kClear: {
      QPainter* painter = gdi_.PlainPainter();
      gdi_.AccountArea(QRectF(0, 0, 1e5, 1e5), 1);
      if (painter) {
        // The picture is opaque: a translucent colour mixes with what is there.
        if (s_.clip) painter->setClipPath(*s_.clip);
        painter->fillRect(QRectF(0, 0, 1e5, 1e5), Argb(d, 0));
      }
      return true;
    }
    case kFillRects:
    case kDrawRects: {
      const bool fill = type == kFillRects;
      QBrush brush;
      if (fill && !BrushOf(flags, d.U32(0), &brush)) return false;
      const size_t first = fill ? 4 : 0;
      const size_t count = d.U32(first);
      if (count > d.size()) throw ShortRecord{};
      QPainterPath path;
      size_t at = first + 4;
      for (size_t i = 0; i < count; ++i) path.addRect(ReadRect(d, at, compressed, &at));
      if (fill)
        Fill(path, brush);
      else
        Stroke(path, flags & 0xFF);
      return true;
    }
    case kFillPolygon: {
      QBrush brush;
      if (!BrushOf(flags, d.U32(0), &brush)) return false;
      const std::vector<QPointF> points = ReadPoints(d, 8, d.U32(4), flags, &end);
      QPainterPath path;
      path.addPolygon(QPolygonF(QVector<QPointF>(points.begin(), points.end())));
      path.closeSubpath();
      path.setFillRule(Qt::OddEvenFill);
      Fill(path, brush);
      return true;
    }
    case kDrawLines:
    case kDrawBeziers: {
      const std::vector<QPointF> points = ReadPoints(d, 4, d.U32(0), flags, &end);
      if (points.size() < 2) return true;
      QPainterPath path;
      path.moveTo(points[0]);
      if (type == kDrawLines) {
        for (size_t i = 1; i < points.size(); ++i) path.lineTo(points[i]);
        if (flags & kClosedOrAppend) path.closeSubpath();
      } else {
        for (size_t i = 1; i + 2 < points.size(); i += 3) path.cubicTo(points[i], points[i + 1], points[i + 2]);
      }
      Stroke(path, flags & 0xFF);
      return true;
    }
    case kDrawCurve: {
      const double tension = d.F32(0);
      const size_t first = d.U32(4), segments = d.U32(8);
      const std::vector<QPointF> points = ReadPoints(d, 16, d.U32(12), flags & kCompressed, &end);
      Stroke(CardinalSpline(points, tension, false, first, segments), flags & 0xFF);
      return true;
    }
    case kDrawClosedCurve:
    case kFillClosedCurve: {
      const bool fill = type == kFillClosedCurve;
      QBrush brush;
      if (fill && !BrushOf(flags, d.U32(0), &brush)) return false;
      const size_t at = fill ? 4 : 0;
      const std::vector<QPointF> points = ReadPoints(d, at + 8, d.U32(at + 4), flags, &end);
      QPainterPath path = CardinalSpline(points, d.F32(at), true);
      path.setFillRule(fill && (flags & kClosedOrAppend) ? Qt::WindingFill : Qt::OddEvenFill);
      fill ? Fill(path, brush) : Stroke(path, flags & 0xFF);
      return true;
    }
    case kFillEllipse:
    case kDrawEllipse: {
      const bool fill = type == kFillEllipse;
      QBrush brush;
      if (fill && !BrushOf(flags, d.U32(0), &brush)) return false;
      QPainterPath path;
      path.addEllipse(ReadRect(d, fill ? 4 : 0, compressed, &end));
      fill ? Fill(path, brush) : Stroke(path, flags & 0xFF);
      return true;
    }
    case kFillPie:
    case kDrawPie:
    case kDrawArc: {
      const bool fill = type == kFillPie;
      QBrush brush;
      if (fill && !BrushOf(flags, d.U32(0), &brush)) return false;
      const size_t at = fill ? 4 : 0;
      const double start = d.F32(at), sweep = d.F32(at + 4);
      const QRectF box = ReadRect(d, at + 8, compressed, &end);
      if (!Finite(start) || !Finite(sweep)) return true;
      // GDI+ angles run clockwise on the page, Qt's counter-clockwise.
      QPainterPath path;
      if (type == kDrawArc) {
        path.arcMoveTo(box, -start);
        path.arcTo(box, -start, -std::clamp(sweep, -360.0, 360.0));
      } else {
        path.moveTo(box.center());
        path.arcTo(box, -start, -std::clamp(sweep, -360.0, 360.0));
        path.closeSubpath();
      }
      fill ? Fill(path, brush) : Stroke(path, flags & 0xFF);
      return true;
    }
    case kFillPath:
    case kDrawPath:
    case kFillRegion: {
      const Object* shape = Get(flags & 0xFF);
      const int wanted = type == kFillRegion ? kRegion : kPath;
      if (!shape || shape->kind != wanted) return !(shape && shape->kind == 0);
      if (type == kDrawPath) {
        Stroke(shape->path, static_cast<int>(d.U32(0) & 0xFF));
        return true;
      }
      QBrush brush;
      if (!BrushOf(flags, d.U32(0), &brush)) return false;
      Fill(shape->path, brush);
      return true;
    }
    case kDrawImage:
    case kDrawImagePoints: {
      const int id = flags & 0xFF;
      if (id >= kSlots) return true;
      const QRectF source = RectF(d, 8);
      QPolygonF dest;
      if (type == kDrawImage) {
        const QRectF r = ReadRect(d, 24, compressed, &end);
        dest << r.topLeft() << r.topRight() << r.bottomLeft();
      } else {
        const std::vector<QPointF> points = ReadPoints(d, 28, d.U32(24), flags, &end);
        if (points.size() != 3) return true;
        dest << points[0] << points[1] << points[2];
      }
      const Object* image = Get(id);
      if (image && image->kind == kImage && !image->metafile.isEmpty()) return DrawMetafile(id, dest);
      if (!image || image->kind != kImage || image->image.isNull()) return true;
      DrawImage(id, source, dest);
      return true;
    }
    case kDrawString: {
      QBrush brush;
      if (!BrushOf(flags, d.U32(0), &brush)) return false;
      const size_t length = d.U32(8);
      const QRectF layout = RectF(d, 12);
      if (length > d.size()) throw ShortRecord{};
      d.Need(28, length * 2);
      QString text;
      for (size_t i = 0; i < length; ++i) text += QChar(d.U16(28 + 2 * i));
      DrawText(flags & 0xFF, brush, text, layout, static_cast<int>(d.U32(4)));
      return true;
    }
    case kDrawDriverString: {
      QBrush brush;
      if (!BrushOf(flags, d.U32(0), &brush)) return false;
      const uint32_t options = d.U32(4);
      const bool hasMatrix = d.U32(8) != 0;
      const size_t count = d.U32(12);
      if (count > d.size() / 2) throw ShortRecord{};
      // Without the "cmap lookup" option the units are glyph numbers of the
      // font's face.
      const bool glyphNumbers = !(options & 1);
      QString text;
      for (size_t i = 0; i < count; ++i) text += QChar(d.U16(16 + 2 * i));
      const std::vector<QPointF> at = ReadPoints(d, 16 + 2 * count, count, 0, &end);
      const QTransform glyph = hasMatrix ? Matrix(d, end) : QTransform();
      std::vector<QPointF> places = at;
      if (options & 4) places.resize(std::min<size_t>(1, places.size()));  // only the first position is given
      return DrawGlyphs(flags & 0xFF, brush, text, places, SaneTransform(glyph) ? glyph : QTransform(), glyphNumbers);
    }

    case kStrokeFillPath:
      // No pen, brush or path of its own: the device context's path is
      // closed, stroked with its pen and filled with its brush.
      gdi_.StrokeAndFillPath();
      return true;

    case kSetAntiAliasMode: s_.antialias = (flags & 1) != 0; return true;
    case kSetCompositingMode: s_.sourceCopy = (flags & 0xFF) == 1; return true;
    case kSetRenderingOrigin:
    case kSetTextRenderingHint:
    case kSetTextContrast:
    case kSetInterpolationMode:
    case kSetPixelOffsetMode:
    case kSetCompositingQuality: return true;

    case kSave:
    case kBeginContainerNoParams:
      if (saved_.size() < 4096) saved_[d.U32(0)] = s_;
      return true;
    case kBeginContainer: {
      if (saved_.size() < 4096) saved_[d.U32(32)] = s_;
      // The container maps its source rectangle (in its unit) onto the
      // destination rectangle (in world units).
      const QRectF dest = RectF(d, 0), source = RectF(d, 16);
      const double unit = UnitPixels(flags & 0xFF, false) * WorldPerPixel();
      if (source.width() != 0 && source.height() != 0 && Finite(unit)) {
        const QTransform inner =
            QTransform::fromTranslate(-source.left(), -source.top()) *
            QTransform::fromScale(dest.width() / source.width() * unit, dest.height() / source.height() * unit) *
            QTransform::fromTranslate(dest.left(), dest.top());
        if (SaneTransform(inner * s_.world)) s_.world = inner * s_.world;
      }
      return true;
    }
    case kRestore:
    case kEndContainer: {
      const auto found = saved_.find(d.U32(0));
      if (found != saved_.end()) {
        s_ = found->second;
        saved_.erase(found, saved_.end());
      }
      return true;
    }

    case kSetWorldTransform: {
      const QTransform m = Matrix(d, 0);
      if (SaneTransform(m)) s_.world = m;
      return true;
    }
    case kResetWorldTransform: s_.world = QTransform(); return true;
    case kMultiplyWorldTransform:
    case kTranslateWorldTransform:
    case kScaleWorldTransform:
    case kRotateWorldTransform: {
      QTransform m;
      if (type == kMultiplyWorldTransform)
        m = Matrix(d, 0);
      else if (type == kTranslateWorldTransform)
        m = QTransform::fromTranslate(d.F32(0), d.F32(4));
      else if (type == kScaleWorldTransform)
        m = QTransform::fromScale(d.F32(0), d.F32(4));
      else if (Finite(d.F32(0)))
        m.rotate(d.F32(0));
      // Without the append flag the new matrix comes first (acts in the
      // current world space); with it, after the current transform.
      const QTransform next = (flags & kClosedOrAppend) ? s_.world * m : m * s_.world;
      if (SaneTransform(next)) s_.world = next;
      return true;
    }
    case kSetPageTransform: {
      const double scale = d.F32(0);
      s_.pageUnit = flags & 0xFF;
      if (Finite(scale) && scale > 0) s_.pageScale = scale;
      return true;
    }

    case kResetClip: s_.clip.reset(); return true;
    case kSetClipRect: {
      const QTransform t = ToImage();
      if (SaneTransform(t)) CombineClip(t.map(RectPath(RectF(d, 0))), (flags >> 8) & 0x0F);
      return true;
    }
    case kSetClipPath:
    case kSetClipRegion: {
      const Object* shape = Get(flags & 0xFF);
      const QTransform t = ToImage();
      if (shape && (shape->kind == kPath || shape->kind == kRegion) && SaneTransform(t))
        CombineClip(t.map(shape->path), (flags >> 8) & 0x0F);
      return true;
    }
    case kOffsetClip: {
      if (s_.clip) {
        const QTransform t = ToImage();
        const QPointF offset = t.map(QPointF(d.F32(0), d.F32(4))) - t.map(QPointF(0, 0));
        if (Finite(offset.x()) && Finite(offset.y())) s_.clip->translate(offset);
      }
      return true;
    }
    default: return false;  // serialized effects, terminal-server records
  }
}

void EmfPlusPlayer::DrawImage(int imageId, const QRectF& source, const QPolygonF& dest) {
  const QImage& image = Get(imageId)->image;
  const QRectF part = source.normalized().intersected(QRectF(image.rect()));
  if (part.isEmpty() || source.width() == 0 || source.height() == 0) return;
  const QPointF p0 = dest[0], p1 = dest[1], p2 = dest[2];
  const double sw = source.width(), sh = source.height();
  // Source pixels to world units: the parallelogram the three points span.
  const QTransform place((p1.x() - p0.x()) / sw, (p1.y() - p0.y()) / sw, (p2.x() - p0.x()) / sh, (p2.y() - p0.y()) / sh,
                         p0.x() - source.left() * (p1.x() - p0.x()) / sw - source.top() * (p2.x() - p0.x()) / sh,
                         p0.y() - source.left() * (p1.y() - p0.y()) / sw - source.top() * (p2.y() - p0.y()) / sh);
  const QTransform t = place * ToImage();
  if (!SaneTransform(t)) return;
  gdi_.AccountArea(t.mapRect(part), 2);
  QPainter* painter = BeginPaint();
  if (!painter) return;
  painter->setTransform(t);
  painter->setRenderHint(QPainter::SmoothPixmapTransform, true);
  painter->drawImage(part, image, part);
}

bool EmfPlusPlayer::DrawMetafile(int imageId, const QPolygonF& dest) {
  const QTransform t = ToImage();
  if (!SaneTransform(t) || !gdi_.picture()) return true;
  const QPointF p0 = t.map(dest[0]), p1 = t.map(dest[1]), p2 = t.map(dest[2]);
  const double w = QLineF(p0, p1).length(), h = QLineF(p0, p2).length();
  if (!(w >= 0.5 && h >= 0.5) || !Finite(w) || !Finite(h)) return true;
  // The inner metafile is drawn at about the size it takes here (at most
  // twice the picture's side and 4096 pixels), within what is left of the
  // work allowed.
  Limits inner = gdi_.limits();
  inner.nesting += 1;
  const double largest = std::min(4096.0, 2.0 * std::max(gdi_.picture()->width(), gdi_.picture()->height()));
  inner.fitSide = std::clamp(std::max(w, h), 1.0, std::max(1.0, largest));
  inner.maxWork = std::max(0.0, gdi_.limits().maxWork - gdi_.work());
  std::vector<std::string> warnings;
  QImage drawn;
  try {
    drawn = RenderWithLimits(Get(imageId)->metafile, 96, inner, &warnings);
  } catch (const RuntimeError&) {
    return false;  // a metafile that cannot be drawn: not drawn here
  }
  gdi_.ChargeWork(static_cast<double>(drawn.width()) * drawn.height() * 4);
  for (const std::string& warning : warnings) gdi_.Warn("inside an EMF+ image: " + warning);
  const QRectF r(drawn.rect());
  const QPolygonF whole({r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft()});
  QTransform place;
  if (!QTransform::quadToQuad(whole, QPolygonF({dest[0], dest[1], dest[1] + dest[2] - dest[0], dest[2]}), place))
    return true;
  const QTransform onto = place * t;
  if (!SaneTransform(onto)) return true;
  gdi_.AccountArea(onto.mapRect(QRectF(drawn.rect())), 2);
  if (QPainter* painter = BeginPaint()) {
    painter->setTransform(onto);
    painter->setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter->drawImage(QPointF(0, 0), drawn);
  }
  return true;
}

double EmfPlusPlayer::EmOf(const Object& font) const {
  double em = font.em;
  if (font.fontUnit != 0) em *= UnitPixels(font.fontUnit, true) * WorldPerPixel();
  return Finite(em) && em > 0 ? em : 0;
}

// The face of a font object at the reference size, its style flags applied.
QFont EmfPlusPlayer::ReferenceFont(const Object& font) {
  QFont q;
  q.setFamilies(FamiliesFor(font.family, 0));
  q.setPixelSize(static_cast<int>(kReferenceEm));
  q.setBold(font.fontStyle & 1);
  q.setItalic(font.fontStyle & 2);
  q.setUnderline(font.fontStyle & 4);
  q.setStrikeOut(font.fontStyle & 8);
  return q;
}

void EmfPlusPlayer::DrawText(int fontId, const QBrush& brush, const QString& text, const QRectF& layout, int formatId) {
  const Object* font = Get(fontId);
  if (text.isEmpty() || !font || font->kind != kFont) return;
  const Object* format = Get(formatId);
  const uint32_t formatFlags = format && format->kind == kStringFormat ? format->formatFlags : 0;
  const int align = format && format->kind == kStringFormat ? format->align : 0;
  const int lineAlign = format && format->kind == kStringFormat ? format->lineAlign : 0;
  const Object defaults;
  const double leading = (format && format->kind == kStringFormat ? format : &defaults)->leading * kReferenceEm;
  const double trailing = (format && format->kind == kStringFormat ? format : &defaults)->trailing * kReferenceEm;
  if (!CanDrawText()) return;
  // The glyphs are laid out at a reference size and scaled to the em.
  const double em = EmOf(*font);
  if (em <= 0) return;
  const double scale = em / kReferenceEm;
  const QFont qfont = ReferenceFont(*font);
  const QFontMetricsF metrics(qfont);
  // Lines: the text's own line ends, then words wrapped to the layout width.
  const double width = layout.width() / scale;
  const bool wrap = width > 0 && !(formatFlags & 0x1000) && text.size() <= kMaxWrappedText;
  QStringList lines;
  for (const QString& paragraph : text.split(QChar('\n'))) {
    QString line = paragraph;
    line.remove(QChar('\r'));
    if (!wrap || metrics.horizontalAdvance(line) <= width - leading - trailing) {
      lines << line;
      continue;
    }
    QString current;
    for (const QString& word : line.split(QChar(' '))) {
      const QString next = current.isEmpty() ? word : current + QChar(' ') + word;
      if (!current.isEmpty() && metrics.horizontalAdvance(next) > width - leading - trailing) {
        lines << current;
        current = word;
      } else {
        current = next;
      }
    }
    lines << current;
  }
  gdi_.ChargeWork(5000 + static_cast<double>(text.size()) * 64);
  const double lineHeight = metrics.lineSpacing(), total = lineHeight * static_cast<double>(lines.size());
  const double height = layout.height() / scale;
  double top = 0;
  if (lineAlign == 1) top = height > 0 ? (height - total) / 2 : -total / 2;
  if (lineAlign == 2) top = height > 0 ? height - total : -total;
  QPainterPath shapes;
  for (int i = 0; i < lines.size(); ++i) {
    const double advance = metrics.horizontalAdvance(lines[i]);
    double x = leading;
    if (align == 1) x = width > 0 ? (width - advance) / 2 : -advance / 2;
    if (align == 2) x = width > 0 ? width - advance - trailing : -advance - trailing;
    shapes.addText(QPointF(x, top + i * lineHeight + metrics.ascent()), qfont, lines[i]);
  }
  const QTransform place = QTransform::fromScale(scale, scale) * QTransform::fromTranslate(layout.left(), layout.top());
  const std::optional<QPainterPath> clip = s_.clip;
  if (layout.width() > 0 && layout.height() > 0 && !(formatFlags & 0x4000)) {
    const QTransform t = ToImage();
    if (SaneTransform(t)) CombineClip(t.map(RectPath(layout)), 1);
  }
  const bool antialias = s_.antialias;
  s_.antialias = true;
  Fill(place.map(shapes), brush);
  s_.antialias = antialias;
  s_.clip = clip;
}

bool EmfPlusPlayer::DrawGlyphs(int fontId, const QBrush& brush, const QString& text, const std::vector<QPointF>& at,
                               const QTransform& glyphTransform, bool glyphNumbers) {
  const Object* font = Get(fontId);
  if (text.isEmpty() || at.empty() || !font || font->kind != kFont || !CanDrawText()) return true;
  const double em = EmOf(*font);
  if (em <= 0) return true;
  const QFont qfont = ReferenceFont(*font);
  const QFontMetricsF metrics(qfont);
  QRawFont raw;
  if (glyphNumbers) {
    raw = QRawFont::fromFont(qfont);
    if (!GlyphNumbersCarryOver(font->family, raw)) return false;  // the numbers would pick other glyphs
  }
  const QTransform scale = QTransform::fromScale(em / kReferenceEm, em / kReferenceEm) * glyphTransform;
  gdi_.ChargeWork(5000 + static_cast<double>(text.size()) * 64);
  QPainterPath shapes;
  QPointF pen = at[0];
  for (int i = 0; i < text.size(); ++i) {
    if (static_cast<size_t>(i) < at.size()) pen = at[static_cast<size_t>(i)];
    QPainterPath glyph;
    double advance = 0;
    if (glyphNumbers) {
      glyph = raw.pathForGlyph(text[i].unicode());
      const QVector<QPointF> natural = raw.advancesForGlyphIndexes(QVector<quint32>{text[i].unicode()});
      advance = natural.isEmpty() ? 0 : natural[0].x();
    } else {
      glyph.addText(QPointF(0, 0), qfont, text.mid(i, 1));
      advance = metrics.horizontalAdvance(text[i]);
    }
    shapes.addPath((scale * QTransform::fromTranslate(pen.x(), pen.y())).map(glyph));
    pen += scale.map(QPointF(advance, 0)) - scale.map(QPointF(0, 0));
  }
  const bool antialias = s_.antialias;
  s_.antialias = true;
  Fill(shapes, brush);
  s_.antialias = antialias;
  return true;
}

}  // namespace zindrel::metafile
