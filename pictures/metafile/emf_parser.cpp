// Enhanced metafile records: 32-bit sizes counted in bytes, explicit object
// slots, 32- and 16-bit coordinate forms, text in UTF-16.
#include <map>
#include <string>

#include "dib.h"
#include "emf_plus.h"
#include "parsers.h"

namespace zindrel::metafile {

namespace {

enum : uint32_t {
  kHeader = 1,
  kPolyBezier = 2,
  kPolygon = 3,
  kPolyline = 4,
  kPolyBezierTo = 5,
  kPolylineTo = 6,
  kPolyPolyline = 7,
  kPolyPolygon = 8,
  kSetWindowExtEx = 9,
  kSetWindowOrgEx = 10,
  kSetViewportExtEx = 11,
  kSetViewportOrgEx = 12,
  kEof = 14,
  kExtFloodFill = 53,
  kComment = 70,
  kMaskBlt = 78,
  kPlgBlt = 79,
  kPolyTextOutA = 96,
  kPolyTextOutW = 97,
  kSetPixelV = 15,
  kSetMapMode = 17,
  kSetBkMode = 18,
  kSetPolyFillMode = 19,
  kSetRop2 = 20,
  kSetStretchBltMode = 21,
  kSetTextAlign = 22,
  kSetTextColor = 24,
  kSetBkColor = 25,
  kOffsetClipRgn = 26,
  kMoveToEx = 27,
  kExcludeClipRect = 29,
  kIntersectClipRect = 30,
  kScaleViewportExtEx = 31,
  kScaleWindowExtEx = 32,
  kSaveDc = 33,
  kRestoreDc = 34,
  kSetWorldTransform = 35,
  kModifyWorldTransform = 36,
  kSelectObject = 37,
  kCreatePen = 38,
  kCreateBrushIndirect = 39,
  kDeleteObject = 40,
  kAngleArc = 41,
  kEllipse = 42,
  kRectangle = 43,
  kRoundRect = 44,
  kArc = 45,
  kChord = 46,
  kPie = 47,
  kSelectPalette = 48,
  kCreatePalette = 49,
  kLineTo = 54,
  kArcTo = 55,
  kPolyDraw = 56,
  kSetArcDirection = 57,
  kBeginPath = 59,
  kEndPath = 60,
  kCloseFigure = 61,
  kFillPath = 62,
  kStrokeAndFillPath = 63,
  kStrokePath = 64,
  kFlattenPath = 65,
  kSelectClipPath = 67,
  kAbortPath = 68,
  kFillRgn = 71,
  kFrameRgn = 72,
  kInvertRgn = 73,
  kPaintRgn = 74,
  kExtSelectClipRgn = 75,
  kBitBlt = 76,
  kStretchBlt = 77,
  kSetDiBitsToDevice = 80,
  kStretchDiBits = 81,
  kExtCreateFontIndirectW = 82,
  kExtTextOutA = 83,
  kExtTextOutW = 84,
  kPolyBezier16 = 85,
  kPolygon16 = 86,
  kPolyline16 = 87,
  kPolyBezierTo16 = 88,
  kPolylineTo16 = 89,
  kPolyPolyline16 = 90,
  kPolyPolygon16 = 91,
  kPolyDraw16 = 92,
  kCreateMonoBrush = 93,
  kCreateDibPatternBrushPt = 94,
  kExtCreatePen = 95,
  kSmallTextOut = 108,
  kAlphaBlend = 114,
  kTransparentBlt = 116,
  kGradientFill = 118,
};

// The records that put pixels on the picture (the rest set up state). In a
// file with EMF+ content GDI+ skips these unless a GetDC let them through.
bool DrawsPixels(uint32_t type) {
  switch (type) {
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 7:
    case 8:
    case 15:
    case 41:
    case 42:
    case 43:
    case 44:
    case 45:
    case 46:
    case 47:
    case 53:
    case 54:
    case 55:
    case 56:
    case 62:
    case 63:
    case 64:
    case 71:
    case 72:
    case 73:
    case 74:
    case 76:
    case 77:
    case 78:
    case 79:
    case 80:
    case 81:
    case 83:
    case 84:
    case 85:
    case 86:
    case 87:
    case 88:
    case 89:
    case 90:
    case 91:
    case 92:
    case 96:
    case 97:
    case 108:
    case 114:
    case 116:
    case 118: return true;
    default: return false;
  }
}

QPointF PointL(const Bytes& r, size_t at) { return QPointF(r.I32(at), r.I32(at + 4)); }

QRectF RectL(const Bytes& r, size_t at) {
  return QRectF(QPointF(r.I32(at), r.I32(at + 4)), QPointF(r.I32(at + 8), r.I32(at + 12)));
}

QVector<QPointF> ReadPoints(const Bytes& r, size_t at, size_t count, bool shortForm) {
  const size_t each = shortForm ? 4 : 8;
  if (count > r.size() / each) throw ShortRecord{};
  r.Need(at, count * each);
  QVector<QPointF> points;
  points.reserve(static_cast<int>(count));
  for (size_t i = 0; i < count; ++i) {
    const size_t p = at + i * each;
    points.push_back(shortForm ? QPointF(r.I16(p), r.I16(p + 2)) : PointL(r, p));
  }
  return points;
}

QTransform XForm(const Bytes& r, size_t at) {
  return QTransform(r.F32(at), r.F32(at + 4), r.F32(at + 8), r.F32(at + 12), r.F32(at + 16), r.F32(at + 20));
}

// Region data: a 32-byte header, then rectangles in device units (their
// right and bottom edges outside).
QRegion ReadRegionData(const Bytes& data) {
  const uint32_t header = data.U32(0);
  const uint32_t count = data.U32(8);
  if (header < 32 || count > data.size() / 16) throw ShortRecord{};
  data.Need(header, static_cast<size_t>(count) * 16);
  std::vector<QRect> rects;
  rects.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const size_t at = header + 16 * static_cast<size_t>(i);
    const int64_t left = data.I32(at), top = data.I32(at + 4), right = data.I32(at + 8), bottom = data.I32(at + 12);
    auto clamp = [](int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, -100000000, 100000000)); };
    rects.push_back(QRect(QPoint(clamp(left), clamp(top)), QPoint(clamp(right) - 1, clamp(bottom) - 1)).normalized());
  }
  return UniteRects(std::move(rects));
}

// A bitmap a record points at with offset and size pairs.
QImage RecordBitmap(const Bytes& r, size_t offBmiAt, size_t offBitsAt, uint32_t usage, GdiPlayer& p,
                    bool* bottomUp = nullptr, bool keepAlpha = false) {
  const uint32_t offBmi = r.U32(offBmiAt), cbBmi = r.U32(offBmiAt + 4);
  const uint32_t offBits = r.U32(offBitsAt), cbBits = r.U32(offBitsAt + 4);
  if (cbBmi == 0 || !r.Has(offBmi, cbBmi) || !r.Has(offBits, cbBits)) return {};
  DibOptions options;
  options.paletteIndices = usage == 1;
  options.palette = p.SelectedPalette();
  options.maxPixels = p.max_bitmap_pixels();
  options.keepAlpha = keepAlpha;
  const Bytes info = r.Sub(offBmi, cbBmi);
  if (bottomUp) *bottomUp = DibIsBottomUp(info);
  QImage image = DecodeDib(info, r.Sub(offBits, cbBits), options);
  if (!p.ChargeBitmap(image)) return {};
  return image;
}

class EmfPlayback {
 public:
  explicit EmfPlayback(GdiPlayer& player) : p_(player) {}

  void Record(uint32_t type, const Bytes& r) {
    switch (type) {
      case kPolyBezier:
      case kPolygon:
      case kPolyline:
      case kPolyBezierTo:
      case kPolylineTo: Poly(type, ReadPoints(r, 28, r.U32(24), false)); break;
      case kPolyBezier16:
      case kPolygon16:
      case kPolyline16:
      case kPolyBezierTo16:
      case kPolylineTo16: Poly(type - kPolyBezier16 + kPolyBezier, ReadPoints(r, 28, r.U32(24), true)); break;
      case kPolyPolyline:
      case kPolyPolygon: PolyPoly(type == kPolyPolygon, r, false); break;
      case kPolyPolyline16:
      case kPolyPolygon16: PolyPoly(type == kPolyPolygon16, r, true); break;
      case kPolyDraw:
      case kPolyDraw16: {
        const bool shortForm = type == kPolyDraw16;
        const size_t count = r.U32(24);
        const QVector<QPointF> points = ReadPoints(r, 28, count, shortForm);
        const size_t typesAt = 28 + count * (shortForm ? 4 : 8);
        r.Need(typesAt, count);
        QVector<uint8_t> kinds;
        for (size_t i = 0; i < count; ++i) kinds.push_back(r.U8(typesAt + i));
        p_.PolyDraw(points, kinds);
        break;
      }

      case kSetWindowExtEx: p_.SetWindowExt(r.I32(8), r.I32(12)); break;
      case kSetWindowOrgEx: p_.SetWindowOrg(r.I32(8), r.I32(12)); break;
      case kSetViewportExtEx: p_.SetViewportExt(r.I32(8), r.I32(12)); break;
      case kSetViewportOrgEx: p_.SetViewportOrg(r.I32(8), r.I32(12)); break;
      case kScaleViewportExtEx: p_.ScaleViewportExt(r.I32(8), r.I32(12), r.I32(16), r.I32(20)); break;
      case kScaleWindowExtEx: p_.ScaleWindowExt(r.I32(8), r.I32(12), r.I32(16), r.I32(20)); break;
      case kSetMapMode: p_.SetMapMode(static_cast<int>(r.U32(8))); break;
      case kSetBkMode: p_.SetBkMode(static_cast<int>(r.U32(8))); break;
      case kSetPolyFillMode: p_.SetPolyFillMode(static_cast<int>(r.U32(8))); break;
      case kSetRop2: p_.SetRop2(static_cast<int>(r.U32(8))); break;
      case kSetStretchBltMode: p_.SetStretchMode(static_cast<int>(r.U32(8))); break;
      case kSetTextAlign: p_.SetTextAlign(r.U32(8)); break;
      case kSetTextColor: p_.SetTextColour(ColourRef(r.U32(8))); break;
      case kSetBkColor: p_.SetBkColour(ColourRef(r.U32(8))); break;
      case kSetArcDirection: p_.SetArcDirection(static_cast<int>(r.U32(8))); break;
      case kSaveDc: p_.SaveDc(); break;
      case kRestoreDc: p_.RestoreDc(r.I32(8)); break;
      case kSetWorldTransform: p_.SetWorldTransform(XForm(r, 8)); break;
      case kModifyWorldTransform: p_.ModifyWorldTransform(XForm(r, 8), static_cast<int>(r.U32(32))); break;

      case kSetPixelV: p_.SetPixel(PointL(r, 8), ColourRef(r.U32(16))); break;
      case kMoveToEx: p_.MoveTo(PointL(r, 8)); break;
      case kLineTo: p_.LineTo(PointL(r, 8)); break;
      case kEllipse: p_.Ellipse(RectL(r, 8)); break;
      case kRectangle: p_.Rectangle(RectL(r, 8)); break;
      case kRoundRect: p_.RoundRect(RectL(r, 8), r.I32(24), r.I32(28)); break;
      case kArc: p_.ArcShape(Arc::kArc, RectL(r, 8), PointL(r, 24), PointL(r, 32)); break;
      case kChord: p_.ArcShape(Arc::kChord, RectL(r, 8), PointL(r, 24), PointL(r, 32)); break;
      case kPie: p_.ArcShape(Arc::kPie, RectL(r, 8), PointL(r, 24), PointL(r, 32)); break;
      case kArcTo: p_.ArcShape(Arc::kArcTo, RectL(r, 8), PointL(r, 24), PointL(r, 32)); break;
      case kAngleArc: p_.AngleArc(PointL(r, 8), r.U32(16), r.F32(20), r.F32(24)); break;

      case kBeginPath: p_.BeginPath(); break;
      case kEndPath: p_.EndPath(); break;
      case kCloseFigure: p_.CloseFigure(); break;
      case kFillPath: p_.FillPath(); break;
      case kStrokeAndFillPath: p_.StrokeAndFillPath(); break;
      case kStrokePath: p_.StrokePath(); break;
      case kFlattenPath: p_.FlattenPath(); break;
      case kAbortPath: p_.AbortPath(); break;
      case kSelectClipPath: p_.SelectClipPath(static_cast<int>(r.U32(8))); break;

      case kExcludeClipRect: p_.ExcludeClipRect(RectL(r, 8)); break;
      case kIntersectClipRect: p_.IntersectClipRect(RectL(r, 8)); break;
      case kOffsetClipRgn: p_.OffsetClip(r.I32(8), r.I32(12)); break;
      case kExtSelectClipRgn: {
        const uint32_t size = r.U32(8), mode = r.U32(12);
        if (size == 0) {
          p_.SelectClipRegion(nullptr, static_cast<int>(mode));
        } else {
          const QRegion region = ReadRegionData(r.Sub(16, size));
          p_.SelectClipRegion(&region, static_cast<int>(mode));
        }
        break;
      }
      case kFillRgn: {
        const BrushSpec* brush = Brush(r.U32(28));
        if (brush) p_.FillRegion(ReadRegionData(r.Sub(32, r.U32(24))), *brush);
        break;
      }
      case kFrameRgn: {
        const BrushSpec* brush = Brush(r.U32(28));
        if (brush) p_.FrameRegion(ReadRegionData(r.Sub(40, r.U32(24))), *brush, r.I32(32), r.I32(36));
        break;
      }
      case kPaintRgn: p_.PaintRegion(ReadRegionData(r.Sub(28, r.U32(24)))); break;
      case kInvertRgn: p_.InvertRegion(ReadRegionData(r.Sub(28, r.U32(24)))); break;

      case kSelectObject: p_.SelectObject(r.U32(8)); break;
      case kSelectPalette: p_.SelectObject(r.U32(8)); break;
      case kDeleteObject: p_.DeleteObject(r.U32(8)); break;
      case kCreatePen: {
        PenSpec pen;
        pen.fullStyle = r.U32(12);
        pen.style = static_cast<int>(pen.fullStyle & 0x0F);
        pen.width = std::abs(r.I32(16));
        pen.colour = ColourRef(r.U32(24));
        p_.SetObject(r.U32(8), pen);
        break;
      }
      case kExtCreatePen: {
        PenSpec pen;
        pen.fullStyle = r.U32(28);
        pen.style = static_cast<int>(pen.fullStyle & 0x0F);
        pen.geometric = (pen.fullStyle & 0x00010000) != 0;
        pen.width = pen.geometric ? r.U32(32) : 0;
        pen.colour = ColourRef(r.U32(40));
        if (r.U32(36) == kBsNull) pen.style = kPsNull;
        const uint32_t entries = r.U32(48);
        if (pen.style == kPsUserStyle && entries <= 64 && r.Has(52, entries * 4))
          for (uint32_t i = 0; i < entries; ++i) pen.userDashes.push_back(r.U32(52 + 4 * i));
        p_.SetObject(r.U32(8), pen);
        break;
      }
      case kCreateBrushIndirect: {
        BrushSpec brush;
        brush.style = static_cast<int>(r.U32(12));
        brush.colour = ColourRef(r.U32(16));
        brush.hatch = static_cast<int>(r.U32(20));
        if (brush.style != kBsSolid && brush.style != kBsNull && brush.style != kBsHatched) brush.style = kBsSolid;
        p_.SetObject(r.U32(8), brush);
        break;
      }
      case kCreateMonoBrush:
      case kCreateDibPatternBrushPt: {
        BrushSpec brush;
        brush.style = kBsDibPatternPt;
        brush.pattern = RecordBitmap(r, 16, 24, r.U32(12), p_);
        brush.monoPattern = type == kCreateMonoBrush;
        if (!brush.monoPattern) brush.pattern = brush.pattern.convertToFormat(QImage::Format_RGB32);
        if (brush.pattern.isNull()) brush.style = kBsSolid, brush.colour = Qt::black;
        p_.SetObject(r.U32(8), brush);
        break;
      }
      case kCreatePalette: {
        PaletteSpec palette;
        const size_t count = r.U16(14);
        for (size_t i = 0; i < count && r.Has(16 + 4 * i, 4); ++i)
          palette.colours.push_back(qRgb(r.U8(16 + 4 * i), r.U8(17 + 4 * i), r.U8(18 + 4 * i)));
        p_.SetObject(r.U32(8), palette);
        break;
      }
      case kExtCreateFontIndirectW: {
        FontSpec font;
        font.height = r.I32(12);
        font.width = r.I32(16);
        font.escapement = r.I32(20);
        font.weight = r.I32(28);
        font.italic = r.U8(32) != 0;
        font.underline = r.U8(33) != 0;
        font.strikeOut = r.U8(34) != 0;
        font.charset = r.U8(35);
        font.pitchAndFamily = r.U8(39);
        QString face;
        for (size_t i = 0; i < 32 && r.Has(40 + 2 * i, 2); ++i) {
          const uint16_t unit = r.U16(40 + 2 * i);
          if (unit == 0) break;
          face += QChar(unit);
        }
        font.face = face;
        p_.SetObject(r.U32(8), font);
        break;
      }
      case kExtTextOutA:
      case kExtTextOutW: TextOut(type == kExtTextOutW, r); break;
      case kSmallTextOut: SmallTextOut(r); break;

      case kBitBlt:
      case kStretchBlt: {
        const QRectF dest(r.I32(24), r.I32(28), r.I32(32), r.I32(36));
        const uint32_t rop = r.U32(40);
        const int index = static_cast<int>((rop >> 16) & 0xFF);
        if ((((index >> 2) ^ index) & 0x33) == 0) {
          p_.PatBlt(dest, rop);
          break;
        }
        const QImage image = RecordBitmap(r, 84, 92, r.U32(80), p_);
        QRectF src(r.I32(44), r.I32(48), dest.width(), dest.height());
        if (type == kStretchBlt) src.setSize(QSizeF(r.I32(100), r.I32(104)));
        // The source transform maps the record's source rectangle into the bitmap.
        const QTransform toBitmap = XForm(r, 52);
        if (toBitmap.isInvertible() && !toBitmap.isIdentity()) src = toBitmap.mapRect(src);
        p_.StretchBlt(dest, image, src, rop);
        break;
      }
      case kAlphaBlend:
      case kTransparentBlt: {
        // The stretch layout, with a blend function or a key colour where the
        // raster operation would be.
        const QRectF dest(r.I32(24), r.I32(28), r.I32(32), r.I32(36));
        const bool blend = type == kAlphaBlend;
        const bool sourceAlpha = blend && r.U8(43) == 1;
        QImage image = RecordBitmap(r, 84, 92, r.U32(80), p_, nullptr, sourceAlpha);
        QRectF src(r.I32(44), r.I32(48), r.I32(100), r.I32(104));
        const QTransform toBitmap = XForm(r, 52);
        if (toBitmap.isInvertible() && !toBitmap.isIdentity()) src = toBitmap.mapRect(src);
        if (blend) {
          p_.AlphaBlend(dest, image, src, r.U8(42) / 255.0);
        } else if (!image.isNull()) {
          const QRgb key = ColourRef(r.U32(40)).rgb();
          image = image.convertToFormat(QImage::Format_ARGB32);
          for (int y = 0; y < image.height(); ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
              if ((row[x] & 0xFFFFFF) == (key & 0xFFFFFF)) row[x] = 0;
          }
          p_.AlphaBlend(dest, image, src, 1.0);
        }
        break;
      }
      case kStretchDiBits: {
        const QRectF dest(r.I32(24), r.I32(28), r.I32(72), r.I32(76));
        const uint32_t rop = r.U32(68);
        bool bottomUp = false;
        const QImage image = RecordBitmap(r, 48, 56, r.U32(64), p_, &bottomUp);
        QRectF src(r.I32(32), r.I32(36), r.I32(40), r.I32(44));
        if (bottomUp && !image.isNull()) src.moveTop(image.height() - src.top() - src.height());
        const int index = static_cast<int>((rop >> 16) & 0xFF);
        if ((((index >> 2) ^ index) & 0x33) == 0)
          p_.PatBlt(dest, rop);
        else
          p_.StretchBlt(dest, image, src, rop);
        break;
      }
      case kSetDiBitsToDevice: {
        bool bottomUp = false;
        const QImage image = RecordBitmap(r, 48, 56, r.U32(64), p_, &bottomUp);
        const double w = r.I32(40), h = r.I32(44);
        QRectF src(r.I32(32), r.I32(36), w, h);
        if (bottomUp && !image.isNull()) src.moveTop(image.height() - src.top() - src.height());
        p_.StretchBlt(QRectF(r.I32(24), r.I32(28), w, h), image, src, 0x00CC0020);
        break;
      }
      case kGradientFill: GradientFill(r); break;
      case kExtFloodFill: ++undrawn_["ExtFloodFill"]; break;
      case kMaskBlt: ++undrawn_["MaskBlt"]; break;
      case kPlgBlt: ++undrawn_["PlgBlt"]; break;
      case kPolyTextOutA:
      case kPolyTextOutW: ++undrawn_["PolyTextOut"]; break;
      default: break;  // comments, colour management, palettes and the rest
    }
  }

  // Names the drawing records that were skipped.
  void Finish() {
    for (const auto& [kind, count] : undrawn_)
      p_.Warn(std::to_string(count) + " EMF " + kind + (count == 1 ? " record" : " records") + " not drawn");
  }

 private:
  const BrushSpec* Brush(uint32_t index) {
    const GdiObject* object = p_.Object(index);
    return object ? std::get_if<BrushSpec>(object) : nullptr;
  }

  void Poly(uint32_t type, const QVector<QPointF>& points) {
    switch (type) {
      case kPolyBezier: p_.PolyBezier(points); break;
      case kPolygon: p_.Polygon(points); break;
      case kPolyline: p_.Polyline(points); break;
      case kPolyBezierTo: p_.PolyBezierTo(points); break;
      case kPolylineTo: p_.PolylineTo(points); break;
      default: break;
    }
  }

  void PolyPoly(bool polygon, const Bytes& r, bool shortForm) {
    const size_t figures = r.U32(24), total = r.U32(28);
    if (figures > r.size() / 4) throw ShortRecord{};
    r.Need(32, figures * 4);
    const size_t pointsAt = 32 + figures * 4;
    const QVector<QPointF> points = ReadPoints(r, pointsAt, total, shortForm);
    std::vector<QVector<QPointF>> all;
    size_t used = 0;
    for (size_t i = 0; i < figures; ++i) {
      const size_t count = r.U32(32 + 4 * i);
      if (count > total - used) throw ShortRecord{};
      all.push_back(points.mid(static_cast<int>(used), static_cast<int>(count)));
      used += count;
    }
    polygon ? p_.PolyPolygon(all) : p_.PolyPolyline(all);
  }

  void TextOut(bool wide, const Bytes& r) {
    const QPointF ref = PointL(r, 36);
    const size_t chars = r.U32(44);
    const size_t offString = r.U32(48);
    const uint32_t options = r.U32(52);
    std::optional<QRectF> rect;
    size_t offDxAt = 72;
    if (options & kEtoNoRect) {
      offDxAt = 56;
    } else {
      const QRectF box = RectL(r, 56);
      if (!box.normalized().isEmpty()) rect = box;
    }
    const size_t offDx = r.U32(offDxAt);
    if (chars > r.size()) throw ShortRecord{};
    QString text;
    if (wide) {
      r.Need(offString, chars * 2);
      for (size_t i = 0; i < chars; ++i) text += QChar(r.U16(offString + 2 * i));
    } else {
      const Bytes bytes = r.Sub(offString, chars);
      text = QString::fromLatin1(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(chars));
    }
    QVector<double> dx;
    const size_t step = (options & 0x2000) ? 8 : 4;  // ETO_PDY: x and y advances in pairs
    if (offDx != 0 && r.Has(offDx, chars * step))
      for (size_t i = 0; i < chars; ++i) dx.push_back(r.I32(offDx + step * i));
    Text(ref, text, dx, options, rect, r.U32(24) == 2);
  }

  // Text given as characters, or as glyph numbers of the face
  // (ETO_GLYPH_INDEX), which the 16-bit units of the string then hold.
  void Text(QPointF ref, const QString& text, const QVector<double>& dx, uint32_t options, std::optional<QRectF> rect,
            bool advanced) {
    if (!(options & kEtoGlyphIndex)) {
      p_.TextOut(ref, text, dx, options, rect, advanced);
      return;
    }
    QVector<quint32> glyphs;
    glyphs.reserve(text.size());
    for (QChar unit : text) glyphs.push_back(unit.unicode());
    p_.TextOut(ref, QString(), dx, options, rect, advanced, nullptr, &glyphs);
  }

  // EMR_GRADIENTFILL: vertices with 16-bit colour channels, then rectangles
  // shaded across or down, or triangles.
  void GradientFill(const Bytes& r) {
    const size_t vertices = r.U32(24), pieces = r.U32(28);
    const uint32_t mode = r.U32(32);
    if (vertices > r.size() / 16 || pieces > r.size() / 8) throw ShortRecord{};
    r.Need(36, vertices * 16);
    QVector<QPointF> at;
    QVector<QColor> colour;
    for (size_t i = 0; i < vertices; ++i) {
      const size_t v = 36 + 16 * i;
      at.push_back(PointL(r, v));
      colour.push_back(QColor(r.U16(v + 8) >> 8, r.U16(v + 10) >> 8, r.U16(v + 12) >> 8));
    }
    const size_t indices = 36 + 16 * vertices;
    const size_t each = mode == 2 ? 12 : 8;
    r.Need(indices, pieces * each);
    for (size_t k = 0; k < pieces; ++k) {
      const size_t base = indices + each * k;
      const uint32_t a = r.U32(base), b = r.U32(base + 4), c = mode == 2 ? r.U32(base + 8) : 0;
      if (a >= vertices || b >= vertices || c >= vertices) continue;
      if (mode == 2)
        p_.GradientTriangle({at[int(a)], at[int(b)], at[int(c)]}, {colour[int(a)], colour[int(b)], colour[int(c)]});
      else if (mode <= 1)
        p_.GradientRect(QRectF(at[int(a)], at[int(b)]), colour[int(a)], colour[int(b)], mode == 1);
    }
  }

  // EMR_SMALLTEXTOUT: the reference point, then the text in 8-bit
  // characters (ETO_SMALL_CHARS) or UTF-16, after a clip box unless
  // ETO_NO_RECT; no advances.
  void SmallTextOut(const Bytes& r) {
    const QPointF ref = PointL(r, 8);
    const size_t chars = r.U32(16);
    const uint32_t options = r.U32(20);
    size_t at = 36;
    std::optional<QRectF> rect;
    if (!(options & kEtoNoRect)) {
      const QRectF box = RectL(r, 36);
      if (!box.normalized().isEmpty()) rect = box;
      at = 52;
    }
    if (chars > r.size()) throw ShortRecord{};
    QString text;
    if (options & 0x200) {
      const Bytes bytes = r.Sub(at, chars);
      text = QString::fromLatin1(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(chars));
    } else {
      r.Need(at, chars * 2);
      for (size_t i = 0; i < chars; ++i) text += QChar(r.U16(at + 2 * i));
    }
    Text(ref, text, {}, options, rect, r.U32(24) == 2);
  }

  GdiPlayer& p_;
  std::map<std::string, int> undrawn_;
};

}  // namespace

bool ReadEmfHeader(Bytes file, EmfHeader* header) {
  try {
    if (file.U32(0) != kHeader || file.U32(40) != 0x464D4520u) return false;
    const uint32_t size = file.U32(4);
    if (size < 88 || size > file.size()) return false;
    header->bounds = QRect(QPoint(file.I32(8), file.I32(12)), QPoint(file.I32(16), file.I32(20)));
    header->frame = QRect(QPoint(file.I32(24), file.I32(28)), QPoint(file.I32(32), file.I32(36)));
    header->handles = file.U16(56);
    header->devicePx = QSize(file.I32(72), file.I32(76));
    header->deviceMm = QSize(file.I32(80), file.I32(84));
    return true;
  } catch (const ShortRecord&) {
    return false;
  }
}

void PlayEmf(Bytes file, GdiPlayer& player) {
  EmfPlayback playback(player);
  EmfPlusPlayer plus(player);
  size_t pos = 0;
  while (file.Has(pos, 8)) {
    const uint32_t type = file.U32(pos), size = file.U32(pos + 4);
    if (size < 8 || size % 4 != 0 || size > file.size() - pos) break;  // a size of 0 or past the end stops the walk
    if (type == kEof) break;
    player.CountRecord();
    if (type != kHeader) {
      try {
        const Bytes record = file.Sub(pos, size);
        if (EmfPlusPlayer::IsPlusComment(record))
          plus.Comment(record);
        else if (plus.GdiDraws() || !DrawsPixels(type))
          playback.Record(type, record);
      } catch (const ShortRecord&) {
        // a record shorter than its fields: skipped
      }
    }
    pos += size;
  }
  playback.Finish();
  plus.Finish();
}

}  // namespace zindrel::metafile
