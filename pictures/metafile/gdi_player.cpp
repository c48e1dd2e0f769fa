#include "gdi_player.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QLineF>
#include <QLinearGradient>
#include <QPainterPathStroker>
#include <QRawFont>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "fonts.h"

namespace zindrel::metafile {

namespace {

constexpr double kPi = 3.14159265358979323846;

bool Finite(double v) { return std::isfinite(v); }

bool SaneTransform(const QTransform& t) {
  const double values[] = {t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()};
  for (double v : values)
    if (!Finite(v) || std::fabs(v) > 1e12) return false;
  return std::fabs(t.determinant()) > 1e-12;
}

// The composition mode for the source-using ternary raster operations.
QPainter::CompositionMode BlitMode(int index) {
  switch (index) {
    case 0xEE: return QPainter::RasterOp_SourceOrDestination;
    case 0x88: return QPainter::RasterOp_SourceAndDestination;
    case 0x66: return QPainter::RasterOp_SourceXorDestination;
    case 0x44: return QPainter::RasterOp_SourceAndNotDestination;
    case 0x33: return QPainter::RasterOp_NotSource;
    case 0x11: return QPainter::RasterOp_NotSourceAndNotDestination;
    case 0xBB: return QPainter::RasterOp_NotSourceOrDestination;
    case 0x99: return QPainter::RasterOp_NotSourceXorDestination;
    case 0x22: return QPainter::RasterOp_NotSourceAndDestination;
    case 0xDD: return QPainter::RasterOp_SourceOrNotDestination;
    case 0x77: return QPainter::RasterOp_NotSourceOrNotDestination;
    default: return QPainter::CompositionMode_SourceOver;
  }
}

bool UsesSource(int index) { return (((index >> 2) ^ index) & 0x33) != 0; }
bool UsesPattern(int index) { return (((index >> 4) ^ index) & 0x0F) != 0; }

QPainterPath RectPath(const QRectF& r) {
  QPainterPath p;
  p.addRect(r);
  return p;
}

}  // namespace

QColor ColourRef(uint32_t value) {
  return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>((value >> 16) & 0xFF));
}

GdiPlayer::GdiPlayer(QImage* image, QTransform deviceToImage, QPointF devicePxPerMm, Limits limits)
    : image_(image), deviceToImage_(deviceToImage), pxPerMm_(devicePxPerMm), limits_(limits) {
  s_.font.height = 0;
}

GdiPlayer::~GdiPlayer() { End(); }

void GdiPlayer::End() {
  if (painter_) painter_->end();
  painter_.reset();
}

QPainter* GdiPlayer::Painter() {
  if (!image_) return nullptr;
  if (!painter_) painter_ = std::make_unique<QPainter>(image_);
  QPainter* p = painter_.get();
  p->resetTransform();
  p->setOpacity(1);
  p->setCompositionMode(QPainter::CompositionMode_SourceOver);
  p->setClipping(false);
  p->setRenderHint(QPainter::Antialiasing, false);
  p->setRenderHint(QPainter::TextAntialiasing, true);
  p->setPen(Qt::NoPen);
  p->setBrush(Qt::NoBrush);
  return p;
}

// ---------------------------------------------------------------- accounting

void GdiPlayer::Warn(const std::string& phrase) {
  if (std::find(warnings_.begin(), warnings_.end(), phrase) == warnings_.end() && warnings_.size() < 64)
    warnings_.push_back(phrase);
}

void GdiPlayer::CountRecord() {
  if (++records_ > limits_.maxRecords) throw WorkExhausted{};
  ChargeWork(1);
}

void GdiPlayer::ChargeWork(double units) {
  work_ += units;
  if (!(work_ <= limits_.maxWork)) throw WorkExhausted{};
}

bool GdiPlayer::ChargeBitmap(const QImage& image) {
  if (image.isNull()) return false;
  const qint64 bytes = image.sizeInBytes();
  if (bitmapBytes_ + bytes > limits_.maxBitmapBytes) return false;
  bitmapBytes_ += bytes;
  ChargeWork(static_cast<double>(image.width()) * image.height());
  return true;
}

qint64 GdiPlayer::max_bitmap_pixels() const {
  return std::min<qint64>(qint64(1) << 26, (limits_.maxBitmapBytes - bitmapBytes_) / 4);
}

void GdiPlayer::Account(const QRectF& imageRect, double factor) {
  QRectF r = imageRect.normalized();
  if (!r.isValid() && r.isNull()) r = QRectF(imageRect.topLeft(), QSizeF(1, 1));
  bounds_ = bounds_.isNull() ? r : bounds_.united(r);
  double area = 0;
  if (image_) {
    const QRectF visible = r.intersected(QRectF(0, 0, image_->width(), image_->height()));
    area = visible.width() * visible.height();
  }
  // Each drawing call costs some microseconds of set-up whatever its size.
  ChargeWork(1000 + (std::isfinite(area) ? area * factor : 0));
}

// ---------------------------------------------------------------- objects

int GdiPlayer::AddObject(GdiObject object) {
  // Every slot below lowest_free_ is taken, so the search starts there.
  for (size_t i = lowestFree_; i < objects_.size(); ++i) {
    if (std::holds_alternative<std::monostate>(objects_[i])) {
      objects_[i] = std::move(object);
      lowestFree_ = i + 1;
      return static_cast<int>(i);
    }
  }
  lowestFree_ = objects_.size();
  if (static_cast<int>(objects_.size()) >= limits_.maxObjects) return -1;
  objects_.push_back(std::move(object));
  lowestFree_ = objects_.size();
  return static_cast<int>(objects_.size() - 1);
}

void GdiPlayer::SetObject(uint32_t index, GdiObject object) {
  if (index >= static_cast<uint32_t>(limits_.maxObjects)) return;
  if (index >= objects_.size()) {
    lowestFree_ = std::min(lowestFree_, objects_.size());
    objects_.resize(index + 1);
  }
  objects_[index] = std::move(object);
}

const GdiObject* GdiPlayer::Object(uint32_t index) const {
  if (index >= objects_.size() || std::holds_alternative<std::monostate>(objects_[index])) return nullptr;
  return &objects_[index];
}

void GdiPlayer::SelectObject(uint32_t index) {
  if (index & 0x80000000u) {
    SelectStockObject(index);
    return;
  }
  const GdiObject* object = Object(index);
  if (!object) return;
  if (auto* pen = std::get_if<PenSpec>(object))
    s_.pen = *pen;
  else if (auto* brush = std::get_if<BrushSpec>(object))
    s_.brush = *brush;
  else if (auto* font = std::get_if<FontSpec>(object))
    s_.font = *font;
  else if (auto* region = std::get_if<RegionSpec>(object))
    SelectClipRegion(&region->device, kRgnCopy);
  else if (auto* palette = std::get_if<PaletteSpec>(object))
    palette_ = palette->colours;
}

void GdiPlayer::SelectStockObject(uint32_t stock) {
  const uint32_t id = stock & 0x7FFFFFFFu;
  auto solid = [this](int grey) {
    s_.brush = BrushSpec{};
    s_.brush.colour = QColor(grey, grey, grey);
  };
  switch (id) {
    case 0: solid(255); break;
    case 1: solid(192); break;
    case 2: solid(128); break;
    case 3: solid(64); break;
    case 4: solid(0); break;
    case 5:
      s_.brush = BrushSpec{};
      s_.brush.style = kBsNull;
      break;
    case 6:
      s_.pen = PenSpec{};
      s_.pen.colour = Qt::white;
      break;
    case 7: s_.pen = PenSpec{}; break;
    case 8:
      s_.pen = PenSpec{};
      s_.pen.style = kPsNull;
      break;
    case 0x12: solid(255); break;
    case 0x13: s_.pen = PenSpec{}; break;
    default:
      if (id >= 0x0A && id <= 0x11 && id != 0x0F) s_.font = FontSpec{};
      break;
  }
}

void GdiPlayer::DeleteObject(uint32_t index) {
  if (index >= objects_.size()) return;
  objects_[index] = std::monostate{};
  lowestFree_ = std::min<size_t>(lowestFree_, index);
}

// ---------------------------------------------------------------- states

void GdiPlayer::SaveDc() {
  if (static_cast<int>(saved_.size()) < limits_.maxSavedStates) saved_.push_back(s_);
}

void GdiPlayer::RestoreDc(int which) {
  const int depth = static_cast<int>(saved_.size());
  int keep;  // saved states left after the restore
  if (which < 0) {
    if (-static_cast<int64_t>(which) > depth) return;
    keep = depth + which;
  } else if (which > 0) {
    if (which > depth) return;
    keep = which - 1;
  } else {
    return;
  }
  s_ = saved_[static_cast<size_t>(keep)];
  saved_.resize(static_cast<size_t>(keep));
}

// ---------------------------------------------------------------- mapping

void GdiPlayer::SetMapMode(int mode) {
  if (mode >= kMmText && mode <= kMmAnisotropic) s_.mapMode = mode;
}

void GdiPlayer::SetWindowOrg(double x, double y) { s_.windowOrg = QPointF(x, y); }
void GdiPlayer::SetViewportOrg(double x, double y) { s_.viewportOrg = QPointF(x, y); }

void GdiPlayer::SetWindowExt(double x, double y) {
  if (x == 0 || y == 0 || !Finite(x) || !Finite(y)) return;  // refused, as the device context does
  if (s_.mapMode == kMmIsotropic || s_.mapMode == kMmAnisotropic) s_.windowExt = QPointF(x, y);
}

void GdiPlayer::SetViewportExt(double x, double y) {
  if (x == 0 || y == 0 || !Finite(x) || !Finite(y)) return;
  if (s_.mapMode == kMmIsotropic || s_.mapMode == kMmAnisotropic) s_.viewportExt = QPointF(x, y);
}

void GdiPlayer::OffsetWindowOrg(double dx, double dy) { s_.windowOrg += QPointF(dx, dy); }
void GdiPlayer::OffsetViewportOrg(double dx, double dy) { s_.viewportOrg += QPointF(dx, dy); }

void GdiPlayer::ScaleWindowExt(double xnum, double xden, double ynum, double yden) {
  if (xden == 0 || yden == 0) return;
  SetWindowExt(s_.windowExt.x() * xnum / xden, s_.windowExt.y() * ynum / yden);
}

void GdiPlayer::ScaleViewportExt(double xnum, double xden, double ynum, double yden) {
  if (xden == 0 || yden == 0) return;
  SetViewportExt(s_.viewportExt.x() * xnum / xden, s_.viewportExt.y() * ynum / yden);
}

void GdiPlayer::SetWorldTransform(const QTransform& t) {
  if (SaneTransform(t)) s_.world = t;
}

void GdiPlayer::ModifyWorldTransform(const QTransform& t, int mode) {
  QTransform next = s_.world;
  switch (mode) {
    case 1: next = QTransform(); break;
    case 2: next = t * s_.world; break;
    case 3: next = s_.world * t; break;
    case 4: next = t; break;
    default: return;
  }
  if (SaneTransform(next)) s_.world = next;
}

QTransform GdiPlayer::PageTransform() const {
  double sx = 1, sy = 1;
  const double mmx = pxPerMm_.x(), mmy = pxPerMm_.y();
  switch (s_.mapMode) {
    case kMmLoMetric: sx = 0.1 * mmx, sy = -0.1 * mmy; break;
    case kMmHiMetric: sx = 0.01 * mmx, sy = -0.01 * mmy; break;
    case kMmLoEnglish: sx = 0.254 * mmx, sy = -0.254 * mmy; break;
    case kMmHiEnglish: sx = 0.0254 * mmx, sy = -0.0254 * mmy; break;
    case kMmTwips: sx = 25.4 / 1440 * mmx, sy = -25.4 / 1440 * mmy; break;
    case kMmIsotropic:
    case kMmAnisotropic:
      sx = s_.viewportExt.x() / s_.windowExt.x();
      sy = s_.viewportExt.y() / s_.windowExt.y();
      if (s_.mapMode == kMmIsotropic) {
        const double m = std::min(std::fabs(sx), std::fabs(sy));
        sx = std::copysign(m, sx);
        sy = std::copysign(m, sy);
      }
      break;
    default: break;
  }
  return QTransform(sx, 0, 0, sy, s_.viewportOrg.x() - s_.windowOrg.x() * sx,
                    s_.viewportOrg.y() - s_.windowOrg.y() * sy);
}

QTransform GdiPlayer::ToImage() const { return s_.world * PageTransform() * deviceToImage_; }

double GdiPlayer::LinearScale() const { return std::sqrt(std::fabs(ToImage().determinant())); }

QPointF GdiPlayer::Map(QPointF p) const { return ToImage().map(p); }

QPainterPath GdiPlayer::Mapped(const QPainterPath& logical) const { return ToImage().map(logical); }

// ---------------------------------------------------------------- pens and brushes

QPen GdiPlayer::MakePen() const {
  const PenSpec& def = s_.pen;
  if (def.style == kPsNull) return QPen(Qt::NoPen);
  double width = def.width > 0 ? def.width * LinearScale() : 1.0;
  if (!Finite(width) || width < 1) width = 1;
  width = std::min(width, 1e5);
  QPen pen(def.colour, width);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  if (def.geometric) {
    const uint32_t cap = def.fullStyle & 0x0F00, join = def.fullStyle & 0xF000;
    pen.setCapStyle(cap == 0x100 ? Qt::SquareCap : cap == 0x200 ? Qt::FlatCap : Qt::RoundCap);
    pen.setJoinStyle(join == 0x1000 ? Qt::BevelJoin : join == 0x2000 ? Qt::MiterJoin : Qt::RoundJoin);
  }
  // Styled lines: thin pens dash in pixels; wide ones only when geometric.
  if (def.style >= kPsDash && def.style <= kPsDashDotDot && (def.geometric || width <= 1.5)) {
    QVector<qreal> dashes;
    if (def.geometric) {
      static const QVector<qreal> kGeo[4] = {{3, 1}, {1, 1}, {3, 1, 1, 1}, {3, 1, 1, 1, 1, 1}};
      dashes = kGeo[def.style - kPsDash];
    } else {
      static const QVector<qreal> kThin[4] = {{18, 6}, {3, 3}, {9, 6, 3, 6}, {9, 3, 3, 3, 3, 3}};
      for (qreal d : kThin[def.style - kPsDash]) dashes.push_back(d / width);
    }
    pen.setCapStyle(Qt::FlatCap);
    pen.setDashPattern(dashes);
  } else if (def.style == kPsAlternate) {
    pen.setCapStyle(Qt::FlatCap);
    pen.setDashPattern({1 / width, 1 / width});
  } else if (def.style == kPsUserStyle && !def.userDashes.isEmpty()) {
    QVector<qreal> dashes;
    for (qreal d : def.userDashes) dashes.push_back(std::max(0.01, d * LinearScale() / width));
    if (dashes.size() % 2) dashes.push_back(dashes.back());
    pen.setCapStyle(Qt::FlatCap);
    pen.setDashPattern(dashes);
  }
  return pen;
}

QBrush GdiPlayer::MakeBrush(const BrushSpec& def) const {
  switch (def.style) {
    case kBsNull: return QBrush(Qt::NoBrush);
    case kBsHatched: {
      QImage tile(8, 8, QImage::Format_ARGB32_Premultiplied);
      tile.fill(s_.bkMode == kOpaque ? s_.bkColour : QColor(Qt::transparent));
      const QRgb ink = def.colour.rgb();
      for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
          bool on = false;
          switch (def.hatch) {
            case 0: on = y == 0; break;                // horizontal
            case 1: on = x == 0; break;                // vertical
            case 2: on = x == y; break;                // top-left to bottom-right
            case 3: on = x == 7 - y; break;            // bottom-left to top-right
            case 4: on = x == 0 || y == 0; break;      // cross
            case 5: on = x == y || x == 7 - y; break;  // diagonal cross
            default: on = y == 0; break;
          }
          if (on) tile.setPixel(x, y, ink);
        }
      }
      return QBrush(tile);
    }
    case kBsPattern:
    case kBsDibPattern:
    case kBsDibPatternPt: {
      if (def.pattern.isNull()) return QBrush(def.colour);
      if (!def.monoPattern || def.pattern.format() != QImage::Format_Indexed8) return QBrush(def.pattern);
      QImage tile = def.pattern;  // a two-colour pattern takes the text and background colours
      tile.setColorTable({s_.textColour.rgb(), s_.bkColour.rgb()});
      return QBrush(tile.convertToFormat(QImage::Format_RGB32));
    }
    default: return QBrush(def.colour);
  }
}

QPainter* GdiPlayer::ClippedPainter() {
  if (!image_) return nullptr;
  QPainter* painter = Painter();
  if (s_.clip) painter->setClipRegion(*s_.clip);
  return painter;
}

QPainter* GdiPlayer::BeginPaint() {
  if (s_.rop2 == 11) return nullptr;  // R2_NOP draws nothing
  QPainter* const painter = ClippedPainter();
  if (!painter) return nullptr;
  // The sixteen binary raster operations of pen and brush (P) with the
  // pixels beneath (D); R2_COPYPEN (13) and unknown codes draw plainly.
  static constexpr QPainter::CompositionMode kModes[17] = {
      QPainter::CompositionMode_SourceOver,
      QPainter::RasterOp_ClearDestination,            // 1 black
      QPainter::RasterOp_NotSourceAndNotDestination,  // 2 ~(P | D)
      QPainter::RasterOp_NotSourceAndDestination,     // 3 ~P & D
      QPainter::RasterOp_NotSource,                   // 4 ~P
      QPainter::RasterOp_SourceAndNotDestination,     // 5 P & ~D
      QPainter::RasterOp_NotDestination,              // 6 ~D
      QPainter::RasterOp_SourceXorDestination,        // 7 P ^ D
      QPainter::RasterOp_NotSourceOrNotDestination,   // 8 ~(P & D)
      QPainter::RasterOp_SourceAndDestination,        // 9 P & D
      QPainter::RasterOp_NotSourceXorDestination,     // 10 ~(P ^ D)
      QPainter::CompositionMode_SourceOver,           // 11 D (handled above)
      QPainter::RasterOp_NotSourceOrDestination,      // 12 ~P | D
      QPainter::CompositionMode_SourceOver,           // 13 P
      QPainter::RasterOp_SourceOrNotDestination,      // 14 P | ~D
      QPainter::RasterOp_SourceOrDestination,         // 15 P | D
      QPainter::RasterOp_SetDestination,              // 16 white
  };
  if (s_.rop2 >= 1 && s_.rop2 <= 16) painter->setCompositionMode(kModes[s_.rop2]);
  return painter;
}

// ---------------------------------------------------------------- drawing core

void GdiPlayer::Draw(const QPainterPath& imagePath, bool fill, bool stroke, bool insideFrame) {
  (void)insideFrame;
  const bool hasPen = stroke && s_.pen.style != kPsNull;
  const bool hasBrush = fill && s_.brush.style != kBsNull;
  if (!hasPen && !hasBrush) return;
  QPen pen = hasPen ? MakePen() : QPen(Qt::NoPen);
  const double grow = hasPen ? pen.widthF() / 2 : 0;
  const QRectF bounds = imagePath.boundingRect().adjusted(-grow, -grow, grow, grow);
  // Filling (and stroking wide) costs about one edge per row it crosses;
  // a thin stroke costs about its segments.
  double rows = std::min(bounds.height(), 1e5);
  if (image_) rows = std::clamp(bounds.intersected(QRectF(image_->rect())).height(), 0.0, double(image_->height()));
  const double edges = imagePath.elementCount();
  const bool rasterised = hasBrush || (hasPen && pen.widthF() > 1.5);
  ChargeWork(edges * (rasterised ? 1 + rows : 8));
  const bool textured = hasBrush && s_.brush.style != kBsSolid;
  Account(bounds, textured ? 3 : 1);
  if (!image_) return;
  QPainter* const painter = BeginPaint();
  if (!painter) return;
  QPainterPath path = imagePath;
  path.setFillRule(s_.fillMode == kWinding ? Qt::WindingFill : Qt::OddEvenFill);
  if (hasBrush) painter->fillPath(path, MakeBrush(s_.brush));
  if (hasPen) {
    if (s_.bkMode == kOpaque && !pen.dashPattern().isEmpty() && pen.style() == Qt::CustomDashLine) {
      QPen gaps(s_.bkColour, pen.widthF());
      gaps.setCapStyle(Qt::FlatCap);
      painter->strokePath(path, gaps);
    }
    painter->strokePath(path, pen);
  }
}

void GdiPlayer::AddOrDraw(const QPainterPath& imagePath, bool closedShape) {
  if (inPath_) {
    ChargeWork(imagePath.elementCount());
    path_.addPath(imagePath);
    figureOpen_ = false;
    return;
  }
  Draw(imagePath, closedShape, true);
}

// ---------------------------------------------------------------- lines

void GdiPlayer::MoveTo(QPointF p) {
  s_.position = p;
  figureOpen_ = false;
}

void GdiPlayer::LineTo(QPointF p) {
  const QPointF a = Map(s_.position), b = Map(p);
  if (inPath_) {
    if (!figureOpen_) path_.moveTo(a);
    path_.lineTo(b);
    figureOpen_ = true;
  } else {
    QPainterPath line;
    line.moveTo(a);
    line.lineTo(b);
    Draw(line, false, true);
  }
  s_.position = p;
}

void GdiPlayer::Polyline(const QVector<QPointF>& points) {
  if (points.size() < 2) return;
  QPainterPath path;
  path.moveTo(points[0]);
  for (int i = 1; i < points.size(); ++i) path.lineTo(points[i]);
  AddOrDraw(Mapped(path), false);
}

void GdiPlayer::PolylineTo(const QVector<QPointF>& points) {
  if (points.isEmpty()) return;
  const QTransform t = ToImage();
  if (inPath_) {
    if (!figureOpen_) path_.moveTo(t.map(s_.position));
    for (const QPointF& p : points) path_.lineTo(t.map(p));
    figureOpen_ = true;
    ChargeWork(static_cast<double>(points.size()));
  } else {
    QPainterPath path;
    path.moveTo(s_.position);
    for (const QPointF& p : points) path.lineTo(p);
    Draw(t.map(path), false, true);
  }
  s_.position = points.back();
}

void GdiPlayer::Polygon(const QVector<QPointF>& points) {
  if (points.size() < 2) return;
  QPainterPath path;
  path.addPolygon(QPolygonF(points));
  path.closeSubpath();
  AddOrDraw(Mapped(path), true);
}

void GdiPlayer::PolyPolygon(const std::vector<QVector<QPointF>>& polygons) {
  QPainterPath path;
  for (const auto& points : polygons) {
    if (points.size() < 2) continue;
    path.addPolygon(QPolygonF(points));
    path.closeSubpath();
  }
  if (!path.isEmpty()) AddOrDraw(Mapped(path), true);
}

void GdiPlayer::PolyPolyline(const std::vector<QVector<QPointF>>& lines) {
  QPainterPath path;
  for (const auto& points : lines) {
    if (points.size() < 2) continue;
    path.moveTo(points[0]);
    for (int i = 1; i < points.size(); ++i) path.lineTo(points[i]);
  }
  if (!path.isEmpty()) AddOrDraw(Mapped(path), false);
}

void GdiPlayer::PolyBezier(const QVector<QPointF>& points) {
  if (points.size() < 4) return;
  QPainterPath path;
  path.moveTo(points[0]);
  for (int i = 1; i + 2 < points.size(); i += 3) path.cubicTo(points[i], points[i + 1], points[i + 2]);
  AddOrDraw(Mapped(path), false);
}

void GdiPlayer::PolyBezierTo(const QVector<QPointF>& points) {
  if (points.size() < 3) return;
  const QTransform t = ToImage();
  QPainterPath path;
  path.moveTo(s_.position);
  int i = 0;
  for (; i + 2 < points.size(); i += 3) path.cubicTo(points[i], points[i + 1], points[i + 2]);
  const QPainterPath mapped = t.map(path);
  if (inPath_) {
    if (!figureOpen_) path_.moveTo(mapped.elementAt(0));
    for (int e = 1; e + 2 < mapped.elementCount(); e += 3)
      path_.cubicTo(mapped.elementAt(e), mapped.elementAt(e + 1), mapped.elementAt(e + 2));
    figureOpen_ = true;
    ChargeWork(static_cast<double>(points.size()));
  } else {
    Draw(mapped, false, true);
  }
  s_.position = points[i - 1];
}

void GdiPlayer::PolyDraw(const QVector<QPointF>& points, const QVector<uint8_t>& types) {
  QPainterPath path;
  path.moveTo(s_.position);
  QPointF start = s_.position;
  for (int i = 0; i < points.size() && i < types.size(); ++i) {
    const int kind = types[i] & 6;
    if (kind == 6) {
      path.moveTo(points[i]);
      start = points[i];
    } else if (kind == 2) {
      path.lineTo(points[i]);
    } else if (kind == 4 && i + 2 < points.size() && i + 2 < types.size()) {
      path.cubicTo(points[i], points[i + 1], points[i + 2]);
      i += 2;
    }
    if (types[i] & 1) {
      path.closeSubpath();
      path.moveTo(start);
    }
    s_.position = points[i];
  }
  AddOrDraw(Mapped(path), false);
}

// ---------------------------------------------------------------- shapes

void GdiPlayer::Rectangle(QRectF box) {
  box = box.normalized();
  if (s_.pen.style == kPsInsideFrame && s_.pen.width > 1) {
    const double h = s_.pen.width / 2;
    box.adjust(h, h, -h, -h);
  }
  QPainterPath path;
  path.addRect(box);
  AddOrDraw(Mapped(path), true);
}

void GdiPlayer::RoundRect(QRectF box, double cornerW, double cornerH) {
  box = box.normalized();
  QPainterPath path;
  path.addRoundedRect(box, std::min(std::fabs(cornerW) / 2, box.width() / 2),
                      std::min(std::fabs(cornerH) / 2, box.height() / 2), Qt::AbsoluteSize);
  AddOrDraw(Mapped(path), true);
}

void GdiPlayer::Ellipse(QRectF box) {
  box = box.normalized();
  if (s_.pen.style == kPsInsideFrame && s_.pen.width > 1) {
    const double h = s_.pen.width / 2;
    box.adjust(h, h, -h, -h);
  }
  QPainterPath path;
  path.addEllipse(box);
  AddOrDraw(Mapped(path), true);
}

QPainterPath GdiPlayer::ArcPath(Arc kind, QRectF box, QPointF start, QPointF end, QPointF* endPoint) const {
  box = box.normalized();
  const QPointF c = box.center();
  const double rx = box.width() / 2, ry = box.height() / 2;
  QPainterPath path;
  if (rx <= 0 || ry <= 0) return path;
  auto angle = [&](QPointF p) { return std::atan2(-(p.y() - c.y()) / ry, (p.x() - c.x()) / rx) * 180 / kPi; };
  const double a0 = angle(start), a1 = angle(end);
  double sweep = a1 - a0;
  if (s_.arcDirection == kClockwise) {
    sweep = -std::fmod(std::fmod(a0 - a1, 360.0) + 360.0, 360.0);
    if (sweep == 0) sweep = -360;
  } else {
    sweep = std::fmod(std::fmod(sweep, 360.0) + 360.0, 360.0);
    if (sweep == 0) sweep = 360;
  }
  if (kind == Arc::kPie) {
    path.moveTo(c);
    path.arcTo(box, a0, sweep);
    path.closeSubpath();
  } else {
    if (kind == Arc::kArcTo) {
      path.moveTo(s_.position);
      QPainterPath probe;
      probe.arcMoveTo(box, a0);
      path.lineTo(probe.currentPosition());
    } else {
      path.arcMoveTo(box, a0);
    }
    path.arcTo(box, a0, sweep);
    if (kind == Arc::kChord) path.closeSubpath();
  }
  if (endPoint) {
    QPainterPath probe;
    probe.arcMoveTo(box, a0 + sweep);
    *endPoint = probe.currentPosition();
  }
  return path;
}

void GdiPlayer::ArcShape(Arc kind, QRectF box, QPointF start, QPointF end) {
  QPointF endPoint;
  const QPainterPath path = ArcPath(kind, box, start, end, &endPoint);
  if (path.isEmpty()) return;
  const QPainterPath mapped = Mapped(path);
  if (kind == Arc::kArcTo && inPath_) {
    if (!figureOpen_) path_.moveTo(mapped.elementAt(0));
    path_.connectPath(mapped);
    figureOpen_ = true;
  } else {
    AddOrDraw(mapped, kind == Arc::kChord || kind == Arc::kPie);
  }
  if (kind == Arc::kArcTo) s_.position = endPoint;
}

void GdiPlayer::AngleArc(QPointF centre, double radius, double startDeg, double sweepDeg) {
  if (!Finite(radius) || !Finite(startDeg) || !Finite(sweepDeg) || radius > 1e9) return;
  const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
  QPainterPath path;
  path.moveTo(s_.position);
  QPainterPath probe;
  probe.arcMoveTo(box, startDeg);
  path.lineTo(probe.currentPosition());
  path.arcTo(box, startDeg, std::clamp(sweepDeg, -3600.0, 3600.0));
  s_.position = path.currentPosition();
  const QPainterPath mapped = Mapped(path);
  if (inPath_) {
    if (!figureOpen_) path_.moveTo(mapped.elementAt(0));
    path_.connectPath(mapped);
    figureOpen_ = true;
  } else {
    Draw(mapped, false, true);
  }
}

void GdiPlayer::SetPixel(QPointF p, QColor colour) {
  const double size = std::max(1.0, LinearScale());
  const QRectF r(Map(p), QSizeF(size, size));
  Account(r);
  if (!image_) return;
  QPainter* const painter = ClippedPainter();
  if (!painter) return;
  painter->fillRect(r, colour);
}

const GdiPlayer::ResolvedFont& GdiPlayer::Resolve(const FontSpec& f, double px, double sx) {
  const double width = f.width != 0 ? std::fabs(f.width) * sx : 0;
  char tail[160];
  std::snprintf(tail, sizeof tail, "|%.3f|%.3f|%d|%d%d%d%d|%d", px, width, f.weight, f.italic, f.underline, f.strikeOut,
                f.height > 0, f.pitchAndFamily & 0xF0);
  const std::string key = f.face.toStdString() + tail;
  auto found = fonts_.find(key);
  if (found != fonts_.end()) return found->second;
  // Finding a face can mean a search of every installed font: each new font
  // counts as real work, and the cache stays small.
  ChargeWork(4e5);
  if (fonts_.size() >= 1024) fonts_.clear();
  ResolvedFont r;
  QFont& font = r.font;
  font.setFamilies(FamiliesFor(f.face, f.pitchAndFamily));
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(px))));
  if (f.height > 0) {  // a cell height: the em is the cell less its leading
    const QFontMetricsF cell(font);
    if (cell.height() > px) font.setPixelSize(std::max(1, static_cast<int>(std::lround(px * px / cell.height()))));
  }
  font.setWeight(static_cast<QFont::Weight>(std::clamp(f.weight == 0 ? 400 : f.weight, 100, 900)));
  font.setItalic(f.italic);
  font.setUnderline(f.underline);
  font.setStrikeOut(f.strikeOut);
  if (width > 0 && Finite(width)) {  // an average character width narrows or widens the face
    const double average = QFontMetricsF(font).averageCharWidth();
    if (average > 0) font.setStretch(static_cast<int>(std::clamp(std::lround(width / average * 100), 1L, 4000L)));
  }
  const QFontMetricsF m(font);
  r.ascent = m.ascent();
  r.descent = m.descent();
  return fonts_.emplace(key, std::move(r)).first->second;
}

// ---------------------------------------------------------------- text

void GdiPlayer::TextOut(QPointF ref, const QString& givenText, const QVector<double>& givenAdvances, uint32_t options,
                        std::optional<QRectF> rect, bool advanced, const FontSpec* fontOverride,
                        const QVector<quint32>* glyphIds) {
  const FontSpec& f = fontOverride ? *fontOverride : s_.font;
  // Symbol faces draw their code pages' pictures, not the letters; glyph
  // numbers are the face's own and stay as they are.
  QVector<double> advances = givenAdvances;
  const QString text = glyphIds ? QString() : MapSymbolText(SymbolFaceOf(f.face), givenText, &advances);
  const int count = glyphIds ? static_cast<int>(glyphIds->size()) : static_cast<int>(text.size());
  const QTransform t = ToImage();
  const double sx = std::hypot(t.m11(), t.m12()), sy = std::hypot(t.m21(), t.m22());
  std::optional<QPainterPath> rectImage;
  if (rect) rectImage = t.map(RectPath(rect->normalized()));
  // Inside a path bracket text adds its outlines to the path and paints
  // nothing, its opaque box included.
  if (rectImage && (options & kEtoOpaque) && !inPath_) {
    Account(rectImage->boundingRect());
    if (image_) {
      if (QPainter* const painter = ClippedPainter()) painter->fillPath(*rectImage, s_.bkColour);
    }
  }
  if (count == 0) return;

  const QPointF anchor = (s_.textAlign & kTaUpdateCp) ? s_.position : ref;
  const QPointF origin = t.map(anchor);
  const double deviceScale = std::hypot(deviceToImage_.m21(), deviceToImage_.m22());
  double px = f.height != 0 ? std::fabs(f.height) * sy : 16 * deviceScale;
  if (!Finite(px) || !Finite(origin.x()) || !Finite(origin.y())) return;
  const double limit = image_ ? 2.0 * std::max(image_->width(), image_->height()) + 64 : 1e5;
  px = std::clamp(px, 1.0, limit);

  // Advances along the baseline in picture pixels.
  QVector<double> adv;
  double total = 0;
  const bool perChar = advances.size() >= count;
  QFont font;
  QRawFont raw;  // glyph numbers only
  const bool canDraw = CanDrawText();
  double ascent = px * 0.8, descent = px * 0.2;
  if (canDraw) {
    const ResolvedFont& resolved = Resolve(f, px, sx);
    font = resolved.font;
    ascent = resolved.ascent;
    descent = resolved.descent;
    if (glyphIds) {
      raw = QRawFont::fromFont(font);
      if (!GlyphNumbersCarryOver(f.face, raw)) {
        Warn("text in glyph numbers of " + (f.face.isEmpty() ? std::string("an unnamed face") : f.face.toStdString()) +
             " not drawn (the face is not installed)");
        return;
      }
    }
    if (!perChar && glyphIds) {
      for (const QPointF& a : raw.advancesForGlyphIndexes(*glyphIds)) total += a.x() + s_.charExtra * sx;
    } else if (!perChar) {
      total = QFontMetricsF(font).horizontalAdvance(text) + s_.charExtra * sx * static_cast<double>(count);
    }
  } else if (!perChar) {
    total = px * 0.6 * static_cast<double>(count);
  }
  if (perChar) {
    for (int i = 0; i < count; ++i) {
      const double a = advances[i] * (advanced ? sy : sx);
      adv.push_back(Finite(a) ? a : 0);
      total += adv.back();
    }
  }
  double x0 = 0;
  const uint32_t horizontal = s_.textAlign & 6;
  if (horizontal == kTaCenter)
    x0 = -total / 2;
  else if (horizontal == kTaRight)
    x0 = -total;
  const uint32_t vertical = s_.textAlign & kTaBaseline;
  const double baseline = vertical == kTaBaseline ? 0 : vertical == kTaBottom ? -descent : ascent;
  // The escapement turns counter-clockwise as the logical axes see it, so
  // under a mapping that flips one axis (y up) it turns the other way on the
  // picture: 270 degrees then runs up the page, as axis titles do.
  double angle = (s_.world * PageTransform()).determinant() < 0 ? -f.escapement / 10.0 : f.escapement / 10.0;

  QTransform place;
  place.translate(origin.x(), origin.y());
  if (advanced) {
    // The advanced graphics mode draws the glyphs through the whole mapping,
    // turns, slants and mirrors included; the escapement turns in logical
    // space before it.
    angle = f.escapement / 10.0;
    const QTransform linear(t.m11() / sy, t.m12() / sy, t.m21() / sy, t.m22() / sy, 0, 0);
    place = QTransform().rotate(-angle) * linear * QTransform::fromTranslate(origin.x(), origin.y());
  } else {
    place.rotate(-angle);
  }
  const QRectF box(x0, baseline - ascent, total, std::max(ascent + descent, px));
  ChargeWork(5000 + static_cast<double>(count) * 16);
  if (!inPath_) Account(place.mapRect(box));

  // Where each character or glyph starts on the baseline.
  QVector<QPointF> starts;
  if (perChar || glyphIds) {
    const QVector<QPointF> natural =
        glyphIds && canDraw && !perChar ? raw.advancesForGlyphIndexes(*glyphIds) : QVector<QPointF>();
    double x = x0;
    for (int i = 0; i < count; ++i) {
      starts.push_back(QPointF(x, baseline));
      x += perChar ? adv[i] : i < natural.size() ? natural[i].x() + s_.charExtra * sx : 0;
    }
  }
  // Characters drawn together: a surrogate pair, and a character with the
  // zero-advance characters after it (a ligature a writer laid out as one
  // glyph, or combining marks), which then shape as one run.
  auto cluster = [&](int i) {
    int length = (text[i].isHighSurrogate() && i + 1 < count) ? 2 : 1;
    while (perChar && i + length < count && adv[i + length] == 0 && !text[i + length].isLowSurrogate() &&
           (i + length + 1 < count || text[i + length].isMark()))
      ++length;
    return length;
  };
  // The glyphs as outlines, in the text's own space.
  auto outlines = [&] {
    QPainterPath shapes;
    if (glyphIds) {
      for (int i = 0; i < count; ++i) shapes.addPath(raw.pathForGlyph((*glyphIds)[i]).translated(starts[i]));
    } else if (perChar) {
      for (int i = 0; i < count;) {
        const int length = text[i].isLowSurrogate() ? 1 : cluster(i);
        if (!text[i].isLowSurrogate()) shapes.addText(starts[i], font, text.mid(i, length));
        i += length;
      }
    } else {
      shapes.addText(QPointF(x0, baseline), font, text);
    }
    ChargeWork(shapes.elementCount() * 4.0);
    return shapes;
  };

  if (inPath_) {
    if (canDraw) {
      path_.addPath(place.map(outlines()));
      figureOpen_ = false;
    }
  } else if (image_ && canDraw) {
    if (QPainter* const painter = ClippedPainter()) {
      if (rect && (options & kEtoClipped)) painter->setClipRegion(LogicalRectRegion(*rect), Qt::IntersectClip);
      painter->setTransform(place);
      if (s_.bkMode == kOpaque && !(options & kEtoOpaque)) painter->fillRect(box, s_.bkColour);
      painter->setFont(font);
      painter->setPen(s_.textColour);
      // Turned or stretched glyphs are drawn as outlines: Qt's glyph cache
      // can fail on them (a FreeType raster overflow it does not survive).
      if (place.type() > QTransform::TxTranslate || (font.stretch() != 0 && font.stretch() != 100)) {
        painter->setRenderHint(QPainter::Antialiasing, true);
        painter->fillPath(outlines(), s_.textColour);
      } else if (glyphIds) {
        QGlyphRun run;
        run.setRawFont(raw);
        run.setGlyphIndexes(*glyphIds);
        run.setPositions(starts);
        painter->drawGlyphRun(QPointF(0, 0), run);
      } else if (perChar) {
        for (int i = 0; i < count;) {
          const int length = text[i].isLowSurrogate() ? 1 : cluster(i);
          if (!text[i].isLowSurrogate()) painter->drawText(starts[i], text.mid(i, length));
          i += length;
        }
      } else {
        painter->drawText(QPointF(x0, baseline), text);
      }
    }
  }
  if (s_.textAlign & kTaUpdateCp) {
    double logical = 0;
    if (perChar) {
      for (int i = 0; i < count; ++i) logical += advances[i];
    } else if (sx > 0) {
      logical = total / sx * (t.m11() < 0 ? -1 : 1);
    }
    s_.position.rx() += logical;
  }
}

// ---------------------------------------------------------------- shading

void GdiPlayer::GradientRect(QRectF box, QColor from, QColor to, bool vertical) {
  const QPainterPath area = Mapped(RectPath(box));
  Account(area.boundingRect(), 2);
  QPainter* const painter = ClippedPainter();
  if (!painter) return;
  // The colours run from the rectangle's first corner to its second.
  const QPointF a = Map(box.topLeft()), b = Map(vertical ? box.bottomLeft() : box.topRight());
  QLinearGradient gradient(a, b);
  gradient.setColorAt(0, from);
  gradient.setColorAt(1, to);
  painter->fillPath(area, gradient);
}

void GdiPlayer::GradientTriangle(const std::array<QPointF, 3>& corners, const std::array<QColor, 3>& colours) {
  QPainterPath triangle;
  triangle.addPolygon(QPolygonF({corners[0], corners[1], corners[2]}));
  triangle.closeSubpath();
  const QPainterPath area = Mapped(triangle);
  const QRectF box = area.boundingRect();
  Account(box, 2);
  QPainter* const painter = ClippedPainter();
  if (!painter) return;
  // Shaded in small pieces: each of a grid of sub-triangles takes the colour
  // its centre has, mixed from the corners' colours.
  const int steps = static_cast<int>(std::clamp(std::max(box.width(), box.height()) / 4, 1.0, 32.0));
  ChargeWork(double(steps) * steps * 64);
  const QPointF p[3] = {Map(corners[0]), Map(corners[1]), Map(corners[2])};
  auto point = [&](double u, double v) { return p[0] + (p[1] - p[0]) * u + (p[2] - p[0]) * v; };
  auto colour = [&](double u, double v) {
    const double w = 1 - u - v;
    auto mix = [&](float (QColor::*channel)() const) {
      return static_cast<float>(std::clamp(
          w * (colours[0].*channel)() + u * (colours[1].*channel)() + v * (colours[2].*channel)(), 0.0, 1.0));
    };
    return QColor::fromRgbF(mix(&QColor::redF), mix(&QColor::greenF), mix(&QColor::blueF));
  };
  painter->setClipPath(area, s_.clip ? Qt::IntersectClip : Qt::ReplaceClip);
  const double n = steps;
  for (int i = 0; i < steps; ++i)
    for (int j = 0; i + j < steps; ++j) {
      const double u = i / n, v = j / n, d = 1 / n;
      QPolygonF up({point(u, v), point(u + d, v), point(u, v + d)});
      painter->setPen(Qt::NoPen);
      painter->setBrush(colour(u + d / 3, v + d / 3));
      painter->drawPolygon(up);
      if (i + j + 1 < steps) {
        const QPolygonF down({point(u + d, v), point(u + d, v + d), point(u, v + d)});
        painter->setBrush(colour(u + 2 * d / 3, v + 2 * d / 3));
        painter->drawPolygon(down);
      }
    }
}

// ---------------------------------------------------------------- blits

void GdiPlayer::PatBlt(QRectF dest, uint32_t rop) {
  const int index = static_cast<int>((rop >> 16) & 0xFF);
  const QPainterPath area = Mapped(RectPath(dest));
  Account(area.boundingRect());
  if (!image_ || index == 0xAA) return;
  QPainter* const painter = Painter();
  if (s_.clip) painter->setClipRegion(*s_.clip);
  QBrush brush = MakeBrush(s_.brush);
  switch (index) {
    case 0x00: brush = QBrush(Qt::black); break;
    case 0xFF: brush = QBrush(Qt::white); break;
    case 0x55:
      painter->setCompositionMode(QPainter::RasterOp_NotDestination);
      brush = QBrush(Qt::black);
      break;
    case 0x5A: painter->setCompositionMode(QPainter::RasterOp_SourceXorDestination); break;
    case 0x0F: painter->setCompositionMode(QPainter::RasterOp_NotSource); break;
    case 0xA0: painter->setCompositionMode(QPainter::RasterOp_SourceAndDestination); break;
    case 0xFA: painter->setCompositionMode(QPainter::RasterOp_SourceOrDestination); break;
    default: break;  // PATCOPY and the rest: the brush as it is
  }
  if (brush.style() == Qt::NoBrush) return;
  painter->fillPath(area, brush);
}

void GdiPlayer::StretchBlt(QRectF dest, const QImage& source, QRectF sourceRect, uint32_t rop) {
  const int index = static_cast<int>((rop >> 16) & 0xFF);
  if (!UsesSource(index)) {
    if (UsesPattern(index) || index == 0x00 || index == 0xFF || index == 0x55) PatBlt(dest, rop);
    return;
  }
  Blit(dest, source, sourceRect, BlitMode(index), 1.0);
}

void GdiPlayer::AlphaBlend(QRectF dest, const QImage& source, QRectF sourceRect, double opacity) {
  Blit(dest, source, sourceRect, QPainter::CompositionMode_SourceOver, std::clamp(opacity, 0.0, 1.0));
}

void GdiPlayer::Blit(QRectF dest, const QImage& source, QRectF sourceRect, QPainter::CompositionMode mode,
                     double opacity) {
  if (source.isNull()) return;
  // The source rectangle maps onto the whole destination; only its part
  // inside the bitmap is drawn, at its own place there, and the rest of the
  // destination keeps what it had.
  const QRectF whole = sourceRect.normalized();
  const QRectF part = whole.intersected(QRectF(source.rect()));
  if (whole.width() <= 0 || whole.height() <= 0 || part.width() <= 0 || part.height() <= 0) return;
  const QTransform t = ToImage();
  const QPointF p0 = t.map(dest.topLeft()), p1 = t.map(dest.topRight()), p2 = t.map(dest.bottomLeft());
  const QPainterPath area = t.map(RectPath(dest));
  Account(area.boundingRect(), 2);
  if (!image_) return;
  const double sw = whole.width(), sh = whole.height();
  const QTransform place((p1.x() - p0.x()) / sw, (p1.y() - p0.y()) / sw, (p2.x() - p0.x()) / sh, (p2.y() - p0.y()) / sh,
                         p0.x(), p0.y());
  if (!SaneTransform(place)) return;
  const QRectF to(part.topLeft() - whole.topLeft(), part.size());
  QImage picture = source;
  QRectF from = part;
  if (s_.stretchMode == kHalftone) {
    // HALFTONE: a shrinking copy averages the source pixels that fall on one
    // picture pixel (the other modes keep one of them).
    const double w = QLineF(p0, p1).length() * part.width() / sw, h = QLineF(p0, p2).length() * part.height() / sh;
    if (w >= 0.5 && h >= 0.5 && (w < part.width() - 0.5 || h < part.height() - 0.5)) {
      const QRect cut = part.toAlignedRect().intersected(source.rect());
      const int tw = static_cast<int>(std::lround(std::min(w, double(cut.width()))));
      const int th = static_cast<int>(std::lround(std::min(h, double(cut.height()))));
      ChargeWork(static_cast<double>(cut.width()) * cut.height());
      picture =
          source.copy(cut).scaled(std::max(1, tw), std::max(1, th), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
      from = QRectF(picture.rect());
    }
  }
  QPainter* const painter = Painter();
  if (s_.clip) painter->setClipRegion(*s_.clip);
  painter->setCompositionMode(mode);
  painter->setOpacity(opacity);
  painter->setTransform(place);
  painter->drawImage(to, picture, from);
}

// ---------------------------------------------------------------- regions and clipping

QRegion UniteRects(std::vector<QRect> rects) {
  std::vector<QRegion> layer;
  layer.reserve(rects.size());
  for (const QRect& r : rects)
    if (!r.isEmpty()) layer.emplace_back(r);
  while (layer.size() > 1) {
    std::vector<QRegion> next;
    next.reserve(layer.size() / 2 + 1);
    for (size_t i = 0; i + 1 < layer.size(); i += 2) next.push_back(layer[i].united(layer[i + 1]));
    if (layer.size() % 2) next.push_back(layer.back());
    layer.swap(next);
  }
  return layer.empty() ? QRegion() : layer.front();
}

namespace {

// The pixels a rectangle covers once mapped: edges rounded to pixel borders.
QRect PixelRect(const QRectF& r) {
  const QRectF n = r.normalized();
  const double left = std::clamp(std::round(n.left()), -1e8, 1e8), top = std::clamp(std::round(n.top()), -1e8, 1e8);
  const double right = std::clamp(std::round(n.right()), -1e8, 1e8),
               bottom = std::clamp(std::round(n.bottom()), -1e8, 1e8);
  return QRect(QPoint(static_cast<int>(left), static_cast<int>(top)),
               QPoint(static_cast<int>(right) - 1, static_cast<int>(bottom) - 1));
}

}  // namespace

// The pixels inside a path, within a limit box. Scan conversion works row by
// row over the polygon's whole height, so the path is cut to the box first.
QRegion PathRegion(const QPainterPath& path, Qt::FillRule rule, const QRectF& limit) {
  QPainterPath shape = path;
  shape.setFillRule(rule);
  QPainterPath box;
  box.addRect(limit);
  if (!limit.contains(shape.boundingRect())) shape = shape.intersected(box);
  return QRegion(shape.toFillPolygon().toPolygon(), rule);
}

QRegion MapRegion(const QRegion& region, const QTransform& t) {
  if (t.type() <= QTransform::TxScale) {
    std::vector<QRect> rects;
    rects.reserve(static_cast<size_t>(region.rectCount()));
    for (const QRect& r : region) rects.push_back(PixelRect(t.mapRect(QRectF(r))));
    return UniteRects(std::move(rects));
  }
  QPainterPath outline;
  outline.addRegion(region);
  return PathRegion(t.map(outline), Qt::WindingFill, QRectF(-1e6, -1e6, 2e6, 2e6));
}

QRegion GdiPlayer::ImageRegion() const { return image_ ? QRegion(image_->rect()) : QRegion(0, 0, 1, 1); }

QRegion GdiPlayer::LogicalRectRegion(QRectF r) const {
  const QTransform t = ToImage();
  r = r.normalized();
  if (t.type() <= QTransform::TxScale) return QRegion(PixelRect(t.mapRect(r)));
  QPainterPath outline;
  outline.addPolygon(t.map(QPolygonF(r)));
  return PathRegion(outline, Qt::OddEvenFill, QRectF(ImageRegion().boundingRect()).adjusted(-2, -2, 2, 2));
}

QRegion GdiPlayer::ImageRegionOf(const QRegion& deviceRegion) {
  ChargeWork(static_cast<double>(deviceRegion.rectCount()) * 4);
  return MapRegion(deviceRegion, deviceToImage_);
}

void GdiPlayer::FillRegion(const QRegion& deviceRegion, const BrushSpec& brush) {
  QRegion area = ImageRegionOf(deviceRegion);
  Account(area.boundingRect(), brush.style == kBsSolid ? 1 : 3);
  if (!image_ || brush.style == kBsNull) return;
  if (s_.clip) area &= *s_.clip;
  QPainter* const painter = BeginPaint();  // regions paint with the mix mode too
  if (!painter) return;
  painter->setClipRegion(area);
  painter->fillRect(area.boundingRect(), MakeBrush(brush));
}

void GdiPlayer::FrameRegion(const QRegion& deviceRegion, const BrushSpec& brush, double w, double h) {
  const QRegion area = ImageRegionOf(deviceRegion);
  Account(area.boundingRect());
  if (!image_ || brush.style == kBsNull) return;
  const double scale = LinearScale();
  const int fw = static_cast<int>(std::clamp(std::fabs(w) * scale, 1.0, 1e4));
  const int fh = static_cast<int>(std::clamp(std::fabs(h) * scale, 1.0, 1e4));
  // The frame: the region less the region shrunk by the frame's width and height.
  const QRegion inner = area.intersected(area.translated(fw, 0))
                            .intersected(area.translated(-fw, 0))
                            .intersected(area.translated(0, fh))
                            .intersected(area.translated(0, -fh));
  QRegion frame = area.subtracted(inner);
  if (s_.clip) frame &= *s_.clip;
  QPainter* const painter = BeginPaint();  // regions paint with the mix mode too
  if (!painter) return;
  painter->setClipRegion(frame);
  painter->fillRect(frame.boundingRect(), MakeBrush(brush));
}

void GdiPlayer::InvertRegion(const QRegion& deviceRegion) {
  QRegion area = ImageRegionOf(deviceRegion);
  Account(area.boundingRect());
  if (!image_) return;
  if (s_.clip) area &= *s_.clip;
  QPainter* const painter = Painter();
  painter->setClipRegion(area);
  painter->setCompositionMode(QPainter::RasterOp_NotDestination);
  painter->fillRect(area.boundingRect(), Qt::black);
}

void GdiPlayer::CombineClip(const QRegion& imageArea, int mode) {
  if (!image_) return;  // a measuring pass draws no pixels, so it needs no clip
  const QRegion base = s_.clip ? *s_.clip : ImageRegion();
  ChargeWork(4.0 * (base.rectCount() + imageArea.rectCount()));
  switch (mode) {
    case kRgnAnd: s_.clip = base.intersected(imageArea); break;
    case kRgnOr: s_.clip = base.united(imageArea); break;
    case kRgnXor: s_.clip = base.xored(imageArea); break;
    case kRgnDiff: s_.clip = base.subtracted(imageArea); break;
    case kRgnCopy: s_.clip = imageArea; break;
    default: break;
  }
}

void GdiPlayer::IntersectClipRect(QRectF r) { CombineClip(LogicalRectRegion(r), kRgnAnd); }

void GdiPlayer::ExcludeClipRect(QRectF r) { CombineClip(LogicalRectRegion(r), kRgnDiff); }

void GdiPlayer::OffsetClip(double dx, double dy) {
  if (!s_.clip) return;
  const QPointF d = Map(QPointF(dx, dy)) - Map(QPointF(0, 0));
  if (!Finite(d.x()) || !Finite(d.y()) || std::fabs(d.x()) > 1e8 || std::fabs(d.y()) > 1e8) return;
  s_.clip->translate(static_cast<int>(std::lround(d.x())), static_cast<int>(std::lround(d.y())));
}

void GdiPlayer::SelectClipRegion(const QRegion* deviceRegion, int mode) {
  if (!deviceRegion) {
    if (mode == kRgnCopy) s_.clip.reset();
    return;
  }
  CombineClip(ImageRegionOf(*deviceRegion), mode);
}

void GdiPlayer::SelectClipPath(int mode) {
  ChargeWork(path_.elementCount() * 16.0);
  if (image_) {
    const Qt::FillRule rule = s_.fillMode == kWinding ? Qt::WindingFill : Qt::OddEvenFill;
    CombineClip(PathRegion(path_, rule, QRectF(image_->rect()).adjusted(-2, -2, 2, 2)), mode);
  }
  path_ = QPainterPath();
  inPath_ = false;
}

// ---------------------------------------------------------------- paths

void GdiPlayer::BeginPath() {
  inPath_ = true;
  path_ = QPainterPath();
  figureOpen_ = false;
}

void GdiPlayer::EndPath() { inPath_ = false; }

void GdiPlayer::AbortPath() {
  inPath_ = false;
  path_ = QPainterPath();
}

void GdiPlayer::CloseFigure() {
  if (!inPath_) return;
  path_.closeSubpath();
  figureOpen_ = false;
}

void GdiPlayer::FillPath() {
  inPath_ = false;
  Draw(path_, true, false);
  path_ = QPainterPath();
}

void GdiPlayer::StrokePath() {
  inPath_ = false;
  Draw(path_, false, true);
  path_ = QPainterPath();
}

void GdiPlayer::StrokeAndFillPath() {
  inPath_ = false;
  // Every open figure is closed first, so its outline is stroked closed.
  QPainterPath closed;
  for (int i = 0; i < path_.elementCount(); ++i) {
    const QPainterPath::Element e = path_.elementAt(i);
    if (e.isMoveTo()) {
      if (i > 0) closed.closeSubpath();
      closed.moveTo(e);
    } else if (e.isLineTo()) {
      closed.lineTo(e);
    } else if (e.isCurveTo() && i + 2 < path_.elementCount()) {
      closed.cubicTo(e, path_.elementAt(i + 1), path_.elementAt(i + 2));
      i += 2;
    }
  }
  closed.closeSubpath();
  Draw(closed, true, true);
  path_ = QPainterPath();
}

void GdiPlayer::FlattenPath() {
  QPainterPath flat;
  for (const QPolygonF& polygon : path_.toSubpathPolygons()) flat.addPolygon(polygon);
  path_ = flat;
}

}  // namespace zindrel::metafile
