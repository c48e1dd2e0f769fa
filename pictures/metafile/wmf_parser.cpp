// Windows metafile records: 16-bit coordinates, parameters stored in the
// reverse order of the drawing call's arguments, sizes counted in 16-bit
// words, objects kept in a table filled at its lowest free slot.
#include <QStringDecoder>

#include "dib.h"
#include "parsers.h"

namespace zindrel::metafile {

namespace {

enum : uint16_t {
  kEof = 0x0000,
  kSetBkColor = 0x0201,
  kSetBkMode = 0x0102,
  kSetMapMode = 0x0103,
  kSetRop2 = 0x0104,
  kSetPolyFillMode = 0x0106,
  kSetStretchBltMode = 0x0107,
  kSetTextCharExtra = 0x0108,
  kSetTextColor = 0x0209,
  kSetTextAlign = 0x012E,
  kSetWindowOrg = 0x020B,
  kSetWindowExt = 0x020C,
  kSetViewportOrg = 0x020D,
  kSetViewportExt = 0x020E,
  kOffsetWindowOrg = 0x020F,
  kOffsetViewportOrg = 0x0211,
  kScaleWindowExt = 0x0410,
  kScaleViewportExt = 0x0412,
  kLineTo = 0x0213,
  kMoveTo = 0x0214,
  kExcludeClipRect = 0x0415,
  kIntersectClipRect = 0x0416,
  kOffsetClipRgn = 0x0220,
  kArc = 0x0817,
  kEllipse = 0x0418,
  kPie = 0x081A,
  kChord = 0x0830,
  kRectangle = 0x041B,
  kRoundRect = 0x061C,
  kSetPixel = 0x041F,
  kPatBlt = 0x061D,
  kSaveDc = 0x001E,
  kRestoreDc = 0x0127,
  kPolygon = 0x0324,
  kPolyline = 0x0325,
  kPolyPolygon = 0x0538,
  kTextOut = 0x0521,
  kExtTextOut = 0x0A32,
  kFillRegion = 0x0228,
  kFrameRegion = 0x0429,
  kInvertRegion = 0x012A,
  kPaintRegion = 0x012B,
  kSelectClipRegion = 0x012C,
  kSelectObject = 0x012D,
  kSelectPalette = 0x0234,
  kDeleteObject = 0x01F0,
  kCreatePalette = 0x00F7,
  kCreatePatternBrush = 0x01F9,
  kCreatePenIndirect = 0x02FA,
  kCreateFontIndirect = 0x02FB,
  kCreateBrushIndirect = 0x02FC,
  kCreateRegion = 0x06FF,
  kDibCreatePatternBrush = 0x0142,
  kBitBlt = 0x0922,
  kStretchBlt = 0x0B23,
  kDibBitBlt = 0x0940,
  kDibStretchBlt = 0x0B41,
  kStretchDib = 0x0F43,
  kSetDibToDev = 0x0D33,
};

QPointF Pt(const Bytes& r, size_t xAt, size_t yAt) { return QPointF(r.I16(xAt), r.I16(yAt)); }

// A rectangle stored as bottom, right, top, left (the argument order reversed).
QRectF ReversedRect(const Bytes& r, size_t at) {
  const double bottom = r.I16(at), right = r.I16(at + 2), top = r.I16(at + 4), left = r.I16(at + 6);
  return QRectF(QPointF(left, top), QPointF(right, bottom));
}

QVector<QPointF> Points(const Bytes& r, size_t at, size_t count) {
  r.Need(at, count * 4);
  QVector<QPointF> points;
  points.reserve(static_cast<int>(count));
  for (size_t i = 0; i < count; ++i) points.push_back(Pt(r, at + 4 * i, at + 4 * i + 2));
  return points;
}

const char* CodecFor(int charset) {
  switch (charset) {
    case 0: return "windows-1252";
    case 1:
    case 134: return "GBK";  // the default charset is the system's Chinese code page
    case 128: return "Shift_JIS";
    case 129: return "windows-949";
    case 136: return "Big5";
    case 161: return "windows-1253";
    case 162: return "windows-1254";
    case 163: return "windows-1258";
    case 177: return "windows-1255";
    case 178: return "windows-1256";
    case 186: return "windows-1257";
    case 204: return "windows-1251";
    case 222: return "windows-874";
    case 238: return "windows-1250";
    case 255: return "IBM437";
    default: return nullptr;  // symbol and the rest: one byte, one character
  }
}

bool DoubleByte(int charset) {
  return charset == 1 || charset == 134 || charset == 128 || charset == 129 || charset == 136;
}

bool LeadByte(int charset, uint8_t b) {
  if (charset == 128) return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
  return b >= 0x81 && b <= 0xFE;
}

// Decodes text bytes by the font's character set. Per-byte advances, when
// given, become per-character ones (a double-byte character takes both).
QString DecodeText(const Bytes& bytes, int charset, const QVector<double>* byteDx, QVector<double>* charDx) {
  const char* codec = CodecFor(charset);
  QStringDecoder decoder(codec ? codec : "ISO-8859-1", QStringConverter::Flag::Stateless);
  const bool valid = decoder.isValid();
  QString text;
  const size_t n = bytes.size();
  for (size_t i = 0; i < n;) {
    const size_t length = (DoubleByte(charset) && LeadByte(charset, bytes.U8(i)) && i + 1 < n) ? 2 : 1;
    const QByteArray unit(reinterpret_cast<const char*>(bytes.data() + i), static_cast<qsizetype>(length));
    QString piece = valid ? decoder.decode(unit) : QString::fromLatin1(unit);
    if (piece.isEmpty()) piece = QString(QChar(0xFFFD));
    if (byteDx && charDx) {
      double advance = 0;
      for (size_t k = 0; k < length; ++k) advance += (*byteDx)[static_cast<int>(i + k)];
      charDx->push_back(advance);
      for (int extra = 1; extra < piece.size(); ++extra) charDx->push_back(0);
    }
    text += piece;
    i += length;
  }
  return text;
}

QString FaceName(const Bytes& r, size_t at, int charset) {
  const Bytes rest = r.From(at);
  size_t n = 0;
  while (n < rest.size() && n < 32 && rest.U8(n) != 0) ++n;
  return DecodeText(rest.Sub(0, n), charset, nullptr, nullptr);
}

// A region object: scans of left/right pairs between a top and a bottom.
RegionSpec ReadRegion(const Bytes& r, const GdiPlayer& player) {
  std::vector<QRect> rects;
  const int scans = r.I16(10);
  size_t at = 22;
  for (int s = 0; s < scans && r.Has(at, 6); ++s) {
    const size_t count = r.U16(at);
    const int top = r.I16(at + 2), bottom = r.I16(at + 4);
    for (size_t k = 0; k + 1 < count && r.Has(at + 6 + 2 * k, 4); k += 2) {
      const int left = r.I16(at + 6 + 2 * k), right = r.I16(at + 8 + 2 * k);
      rects.push_back(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)).normalized());
    }
    at += 6 + 2 * count + 2;
  }
  if (scans == 0)
    rects.push_back(QRect(QPoint(r.I16(14), r.I16(16)), QPoint(r.I16(18) - 1, r.I16(20) - 1)).normalized());
  return RegionSpec{player.ToDevice(UniteRects(std::move(rects)))};
}

class WmfPlayback {
 public:
  WmfPlayback(GdiPlayer& player) : p_(player) {}

  void Record(uint16_t function, const Bytes& r, size_t words) {
    switch (function) {
      case kSetBkColor: p_.SetBkColour(ColourRef(r.U32(0))); break;
      case kSetBkMode: p_.SetBkMode(r.U16(0)); break;
      case kSetMapMode: p_.SetMapMode(r.U16(0)); break;
      case kSetRop2: p_.SetRop2(r.U16(0)); break;
      case kSetPolyFillMode: p_.SetPolyFillMode(r.U16(0)); break;
      case kSetStretchBltMode: p_.SetStretchMode(r.U16(0)); break;
      case kSetTextCharExtra: p_.SetTextCharExtra(r.I16(0)); break;
      case kSetTextColor: p_.SetTextColour(ColourRef(r.U32(0))); break;
      case kSetTextAlign: p_.SetTextAlign(r.U16(0)); break;
      case kSetWindowOrg: p_.SetWindowOrg(r.I16(2), r.I16(0)); break;
      case kSetWindowExt: p_.SetWindowExt(r.I16(2), r.I16(0)); break;
      case kSetViewportOrg: p_.SetViewportOrg(r.I16(2), r.I16(0)); break;
      case kSetViewportExt: p_.SetViewportExt(r.I16(2), r.I16(0)); break;
      case kOffsetWindowOrg: p_.OffsetWindowOrg(r.I16(2), r.I16(0)); break;
      case kOffsetViewportOrg: p_.OffsetViewportOrg(r.I16(2), r.I16(0)); break;
      case kScaleWindowExt: p_.ScaleWindowExt(r.I16(6), r.I16(4), r.I16(2), r.I16(0)); break;
      case kScaleViewportExt: p_.ScaleViewportExt(r.I16(6), r.I16(4), r.I16(2), r.I16(0)); break;
      case kSaveDc: p_.SaveDc(); break;
      case kRestoreDc: p_.RestoreDc(r.I16(0)); break;

      case kMoveTo: p_.MoveTo(Pt(r, 2, 0)); break;
      case kLineTo: p_.LineTo(Pt(r, 2, 0)); break;
      case kRectangle: p_.Rectangle(ReversedRect(r, 0)); break;
      case kEllipse: p_.Ellipse(ReversedRect(r, 0)); break;
      case kRoundRect: p_.RoundRect(ReversedRect(r, 4), r.I16(2), r.I16(0)); break;
      case kArc:
      case kPie:
      case kChord: {
        const Arc kind = function == kArc ? Arc::kArc : function == kPie ? Arc::kPie : Arc::kChord;
        p_.ArcShape(kind, ReversedRect(r, 8), Pt(r, 6, 4), Pt(r, 2, 0));
        break;
      }
      case kSetPixel: p_.SetPixel(Pt(r, 6, 4), ColourRef(r.U32(0))); break;
      case kPolygon:
      case kPolyline: {
        const int16_t count = r.I16(0);
        if (count < 0) break;
        const QVector<QPointF> points = Points(r, 2, static_cast<size_t>(count));
        function == kPolygon ? p_.Polygon(points) : p_.Polyline(points);
        break;
      }
      case kPolyPolygon: {
        const size_t polygons = r.U16(0);
        r.Need(2, polygons * 2);
        size_t at = 2 + polygons * 2;
        std::vector<QVector<QPointF>> all;
        for (size_t i = 0; i < polygons; ++i) {
          const size_t count = r.U16(2 + 2 * i);
          all.push_back(Points(r, at, count));
          at += count * 4;
        }
        p_.PolyPolygon(all);
        break;
      }
      case kTextOut: {
        const int16_t length = r.I16(0);
        if (length <= 0) break;
        const size_t padded = (static_cast<size_t>(length) + 1) & ~size_t(1);
        const Bytes text = r.Sub(2, static_cast<size_t>(length));
        const QPointF at = Pt(r, 2 + padded + 2, 2 + padded);
        p_.TextOut(at, DecodeText(text, p_.font().charset, nullptr, nullptr), {}, 0, std::nullopt);
        break;
      }
      case kExtTextOut: ExtTextOut(r); break;

      case kExcludeClipRect: p_.ExcludeClipRect(ReversedRect(r, 0)); break;
      case kIntersectClipRect: p_.IntersectClipRect(ReversedRect(r, 0)); break;
      case kOffsetClipRgn: p_.OffsetClip(r.I16(2), r.I16(0)); break;
      case kSelectClipRegion: {
        const GdiObject* object = p_.Object(r.U16(0));
        const RegionSpec* region = object ? std::get_if<RegionSpec>(object) : nullptr;
        p_.SelectClipRegion(region ? &region->device : nullptr, kRgnCopy);
        break;
      }
      case kFillRegion:
      case kPaintRegion:
      case kInvertRegion:
      case kFrameRegion: Regions(function, r); break;

      case kSelectObject: {
        p_.SelectObject(r.U16(0));
        break;
      }
      case kSelectPalette: p_.SelectObject(r.U16(0)); break;
      case kDeleteObject: p_.DeleteObject(r.U16(0)); break;
      case kCreatePenIndirect: {
        PenSpec pen;
        pen.fullStyle = r.U16(0);
        pen.style = static_cast<int>(pen.fullStyle & 0x0F);
        pen.width = r.I16(2);
        if (pen.width < 0) pen.width = -pen.width;
        pen.colour = ColourRef(r.U32(6));
        p_.AddObject(pen);
        break;
      }
      case kCreateBrushIndirect: {
        BrushSpec brush;
        brush.style = r.U16(0);
        brush.colour = ColourRef(r.U32(2));
        brush.hatch = r.U16(6);
        if (brush.style != kBsSolid && brush.style != kBsNull && brush.style != kBsHatched) brush.style = kBsSolid;
        p_.AddObject(brush);
        break;
      }
      case kCreateFontIndirect: {
        FontSpec font;
        font.height = r.I16(0);
        font.width = r.I16(2);
        font.escapement = r.I16(4);
        font.weight = r.I16(8);
        font.italic = r.U8(10) != 0;
        font.underline = r.U8(11) != 0;
        font.strikeOut = r.U8(12) != 0;
        font.charset = r.U8(13);
        font.pitchAndFamily = r.U8(17);
        font.face = FaceName(r, 18, font.charset);
        p_.AddObject(font);
        break;
      }
      case kDibCreatePatternBrush: {
        BrushSpec brush;
        brush.style = kBsDibPattern;
        DibOptions options;
        options.paletteIndices = r.U16(2) == 1;
        options.palette = p_.SelectedPalette();
        options.maxPixels = p_.max_bitmap_pixels();
        brush.pattern = DecodePackedDib(r.From(4), options).convertToFormat(QImage::Format_RGB32);
        if (!p_.ChargeBitmap(brush.pattern)) brush.pattern = QImage();
        if (brush.pattern.isNull()) brush.style = kBsSolid, brush.colour = Qt::black;
        p_.AddObject(brush);
        break;
      }
      case kCreatePatternBrush: {  // device-dependent pattern: kept as a plain brush
        BrushSpec brush;
        brush.colour = Qt::black;
        p_.AddObject(brush);
        break;
      }
      case kCreatePalette: {
        PaletteSpec palette;
        const size_t count = r.U16(2);
        for (size_t i = 0; i < count && r.Has(4 + 4 * i, 4); ++i)
          palette.colours.push_back(qRgb(r.U8(4 + 4 * i), r.U8(5 + 4 * i), r.U8(6 + 4 * i)));
        p_.AddObject(palette);
        break;
      }
      case kCreateRegion: {
        RegionSpec region;
        try {
          region = ReadRegion(r, p_);
        } catch (const ShortRecord&) {
        }
        p_.AddObject(region);  // a damaged region still takes its slot
        break;
      }

      case kPatBlt: {
        const QRectF dest(r.I16(10), r.I16(8), r.I16(6), r.I16(4));
        p_.PatBlt(dest, r.U32(0));
        break;
      }
      case kDibBitBlt:
      case kDibStretchBlt:
      case kStretchDib:
      case kSetDibToDev:
      case kBitBlt:
      case kStretchBlt: Blit(function, r, words); break;
      default: break;  // anything else changes nothing we draw
    }
  }

 private:
  void ExtTextOut(const Bytes& r) {
    const QPointF at = Pt(r, 2, 0);
    const int16_t length = r.I16(4);
    const uint16_t options = r.U16(6);
    size_t pos = 8;
    std::optional<QRectF> rect;
    if (options & (kEtoOpaque | kEtoClipped)) {
      rect = QRectF(QPointF(r.I16(8), r.I16(10)), QPointF(r.I16(12), r.I16(14)));
      pos += 8;
    }
    if (length <= 0 || (options & kEtoGlyphIndex)) {
      // Glyph numbers in a WMF name no face reliably enough to draw them.
      if (length > 0) p_.Warn("WMF text in glyph numbers not drawn");
      p_.TextOut(at, QString(), {}, options, rect);
      return;
    }
    const Bytes text = r.Sub(pos, static_cast<size_t>(length));
    pos += (static_cast<size_t>(length) + 1) & ~size_t(1);
    QVector<double> byteDx, charDx;
    const bool hasDx = r.Has(pos, static_cast<size_t>(length) * 2);
    if (hasDx)
      for (int i = 0; i < length; ++i) byteDx.push_back(r.I16(pos + 2 * static_cast<size_t>(i)));
    const QString decoded = DecodeText(text, p_.font().charset, hasDx ? &byteDx : nullptr, &charDx);
    p_.TextOut(at, decoded, hasDx ? charDx : QVector<double>{}, options, rect);
  }

  void Regions(uint16_t function, const Bytes& r) {
    const GdiObject* object = p_.Object(r.U16(0));
    const RegionSpec* region = object ? std::get_if<RegionSpec>(object) : nullptr;
    if (!region) return;
    if (function == kPaintRegion) {
      p_.PaintRegion(region->device);
    } else if (function == kInvertRegion) {
      p_.InvertRegion(region->device);
    } else {
      const GdiObject* brushObject = p_.Object(r.U16(2));
      const BrushSpec* brush = brushObject ? std::get_if<BrushSpec>(brushObject) : nullptr;
      if (!brush) return;
      if (function == kFillRegion)
        p_.FillRegion(region->device, *brush);
      else
        p_.FrameRegion(region->device, *brush, r.I16(6), r.I16(4));
    }
  }

  void Blit(uint16_t function, const Bytes& r, size_t words) {
    // The forms without a bitmap are exactly three words longer than the
    // high byte of the function number says.
    const bool noBitmap = words == static_cast<size_t>((function >> 8) + 3);
    const uint32_t rop = r.U32(0);
    QRectF dest, src;
    Bytes dib;
    bool paletteIndices = false;
    switch (function) {
      case kDibBitBlt:
      case kBitBlt: {
        const size_t skip = noBitmap ? 2 : 0;
        const double ysrc = r.I16(4), xsrc = r.I16(6);
        const double h = r.I16(8 + skip), w = r.I16(10 + skip);
        dest = QRectF(r.I16(14 + skip), r.I16(12 + skip), w, h);
        src = QRectF(xsrc, ysrc, w, h);
        if (!noBitmap && function == kDibBitBlt) dib = r.From(16);
        break;
      }
      case kDibStretchBlt:
      case kStretchBlt: {
        const size_t skip = noBitmap ? 2 : 0;
        src = QRectF(r.I16(10), r.I16(8), r.I16(6), r.I16(4));
        dest = QRectF(r.I16(18 + skip), r.I16(16 + skip), r.I16(14 + skip), r.I16(12 + skip));
        if (!noBitmap && function == kDibStretchBlt) dib = r.From(20);
        break;
      }
      case kStretchDib: {
        paletteIndices = r.U16(4) == 1;
        src = QRectF(r.I16(12), r.I16(10), r.I16(8), r.I16(6));
        dest = QRectF(r.I16(20), r.I16(18), r.I16(16), r.I16(14));
        dib = r.From(22);
        break;
      }
      case kSetDibToDev: {
        // Always a copy; the first field is the colour usage, not an operation.
        paletteIndices = r.U16(0) == 1;
        const double w = r.I16(12), h = r.I16(10);
        src = QRectF(r.I16(8), r.I16(6), w, h);
        dest = QRectF(r.I16(16), r.I16(14), w, h);
        dib = r.From(18);
        DibOptions options;
        options.paletteIndices = paletteIndices;
        options.palette = p_.SelectedPalette();
        options.maxPixels = p_.max_bitmap_pixels();
        QImage image = DecodePackedDib(dib, options);
        if (!p_.ChargeBitmap(image)) return;
        // Source rows count from the bitmap's origin, its last row when bottom-up.
        if (DibIsBottomUp(dib)) src.moveTop(image.height() - src.top() - src.height());
        p_.StretchBlt(dest, image, src, 0x00CC0020);
        return;
      }
      default: return;
    }
    const int index = static_cast<int>((rop >> 16) & 0xFF);
    const bool usesSource = (((index >> 2) ^ index) & 0x33) != 0;
    if (!usesSource || noBitmap) {
      if (!usesSource) p_.PatBlt(dest, rop);
      return;
    }
    if (dib.size() == 0) return;  // device-dependent bitmaps are not drawn
    DibOptions options;
    options.paletteIndices = paletteIndices;
    options.palette = p_.SelectedPalette();
    options.maxPixels = p_.max_bitmap_pixels();
    const QImage image = DecodePackedDib(dib, options);
    if (!p_.ChargeBitmap(image)) return;
    if (function == kStretchDib && DibIsBottomUp(dib)) src.moveTop(image.height() - src.top() - src.height());
    p_.StretchBlt(dest, image, src, rop);
  }

  GdiPlayer& p_;
};

template <typename Visit>
void WalkRecords(Bytes file, const WmfHeader& header, Visit visit) {
  size_t pos = header.firstRecord;
  while (file.Has(pos, 6)) {
    const uint32_t words = file.U32(pos);
    const uint16_t function = file.U16(pos + 4);
    if (words < 3 || words > (file.size() - pos) / 2) break;  // a size of 0 or past the end stops the walk
    if (function == kEof) break;
    const size_t bytes = static_cast<size_t>(words) * 2;
    if (!visit(function, file.Sub(pos + 6, bytes - 6), static_cast<size_t>(words))) break;
    pos += bytes;
  }
}

}  // namespace

bool ReadWmfHeader(Bytes file, WmfHeader* header) {
  try {
    size_t at = 0;
    if (file.U32(0) == 0x9AC6CDD7u) {
      header->placeable = true;
      const double left = file.I16(6), top = file.I16(8), right = file.I16(10), bottom = file.I16(12);
      header->bbox = QRectF(QPointF(left, top), QPointF(right, bottom));
      header->inch = file.U16(14);
      at = 22;
    }
    const uint16_t type = file.U16(at), size = file.U16(at + 2);
    if ((type != 1 && type != 2) || size != 9) return false;
    file.Need(at, 18);
    header->firstRecord = at + 18;
    return true;
  } catch (const ShortRecord&) {
    return false;
  }
}

std::optional<QRectF> FindWmfWindow(Bytes file, const WmfHeader& header) {
  std::optional<QPointF> origin, extent;
  size_t seen = 0;
  WalkRecords(file, header, [&](uint16_t function, const Bytes& r, size_t) {
    try {
      if (function == kSetWindowOrg && !origin) origin = QPointF(r.I16(2), r.I16(0));
      if (function == kSetWindowExt && !extent) extent = QPointF(r.I16(2), r.I16(0));
    } catch (const ShortRecord&) {
    }
    return !(origin && extent) && ++seen < 100000;
  });
  if (!extent || extent->x() == 0 || extent->y() == 0) return std::nullopt;
  const QPointF o = origin.value_or(QPointF(0, 0));
  return QRectF(o, QSizeF(extent->x(), extent->y()));
}

QByteArray FindEmbeddedEmf(Bytes file, const WmfHeader& header) {
  // META_ESCAPE records of kind MFCOMMENT that start with "WMFC": each holds
  // one piece of the enhanced metafile, with the bytes still to come and
  // the whole size, so the pieces must follow each other without a gap.
  QByteArray emf;
  uint32_t total = 0;
  bool broken = false;
  WalkRecords(file, header, [&](uint16_t function, const Bytes& r, size_t) {
    try {
      if (function != 0x0626 || r.U16(0) != 0x000F || r.U16(2) < 34 || r.U32(4) != 0x43464D57u) return true;
      const uint32_t kind = r.U32(8), piece = r.U32(26), remaining = r.U32(30), whole = r.U32(34);
      if (kind != 1) return true;
      if (emf.isEmpty()) total = whole;
      if (whole != total || whole > (uint32_t(1) << 30) || uint64_t{piece} + remaining + emf.size() != whole ||
          r.U16(2) < 34 + piece) {
        broken = true;
        return false;
      }
      const Bytes part = r.Sub(38, piece);
      emf.append(reinterpret_cast<const char*>(part.data()), static_cast<qsizetype>(piece));
      return remaining != 0;
    } catch (const ShortRecord&) {
      broken = true;
      return false;
    }
  });
  if (broken || emf.isEmpty() || static_cast<uint32_t>(emf.size()) != total) return {};
  return emf;
}

bool WmfRecordsReachEnd(Bytes file, const WmfHeader& header) {
  size_t pos = header.firstRecord;
  while (file.Has(pos, 6)) {
    const uint32_t words = file.U32(pos);
    if (words < 3 || words > (file.size() - pos) / 2) return false;
    if (file.U16(pos + 4) == kEof) return words == 3;
    pos += static_cast<size_t>(words) * 2;
  }
  return false;
}

void PlayWmf(Bytes file, const WmfHeader& header, GdiPlayer& player) {
  WmfPlayback playback(player);
  WalkRecords(file, header, [&](uint16_t function, const Bytes& r, size_t words) {
    player.CountRecord();
    try {
      playback.Record(function, r, words);
    } catch (const ShortRecord&) {
      // a record shorter than its fields: skipped
    }
    return true;
  });
}

}  // namespace zindrel::metafile
