// The drawing machine both metafile parsers feed: a small model of a GDI
// device context (object table, saved states, window and viewport mapping,
// world transform, pen, brush, font, colours, alignment, modes, current
// position, path and clipping) that paints with QPainter into a QImage.
//
// Coordinates handed in are logical. They go through the world transform,
// then the page mapping (map mode, window and viewport), to device units,
// and from there through a fixed placement transform onto the picture.
// Geometry is carried onwards in picture pixels, so a path survives a change
// of mapping between its records and the clip is kept in picture pixels too.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QRegion>
#include <QString>
#include <QTransform>
#include <QVector>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

namespace zindrel::metafile {

// GDI constants the parsers and the player share.
enum MapMode {
  kMmText = 1,
  kMmLoMetric,
  kMmHiMetric,
  kMmLoEnglish,
  kMmHiEnglish,
  kMmTwips,
  kMmIsotropic,
  kMmAnisotropic
};
enum BkMode { kTransparent = 1, kOpaque = 2 };
enum FillMode { kAlternate = 1, kWinding = 2 };
enum BrushStyle { kBsSolid = 0, kBsNull = 1, kBsHatched = 2, kBsPattern = 3, kBsDibPattern = 5, kBsDibPatternPt = 6 };
enum PenStyle {
  kPsSolid = 0,
  kPsDash,
  kPsDot,
  kPsDashDot,
  kPsDashDotDot,
  kPsNull,
  kPsInsideFrame,
  kPsUserStyle,
  kPsAlternate
};
enum TextAlign : uint32_t { kTaUpdateCp = 1, kTaRight = 2, kTaCenter = 6, kTaBottom = 8, kTaBaseline = 24 };
enum TextOptions : uint32_t { kEtoOpaque = 2, kEtoClipped = 4, kEtoGlyphIndex = 0x10, kEtoNoRect = 0x100 };
enum RegionMode { kRgnAnd = 1, kRgnOr = 2, kRgnXor = 3, kRgnDiff = 4, kRgnCopy = 5 };
enum ArcDirection { kCounterClockwise = 1, kClockwise = 2 };
enum StretchMode { kBlackOnWhite = 1, kWhiteOnBlack, kColorOnColor, kHalftone };
enum class Arc { kArc, kChord, kPie, kArcTo };

// A COLORREF (red in the low byte) as a colour.
QColor ColourRef(uint32_t value);

struct PenSpec {
  int style = kPsSolid;  // low four bits of the pen style
  uint32_t fullStyle = 0;
  double width = 0;        // logical units; 0 is one pixel
  bool geometric = false;  // wide pens keep their dashes
  QColor colour = Qt::black;
  QVector<qreal> userDashes;  // logical units, for PS_USERSTYLE
};

struct BrushSpec {
  int style = kBsSolid;
  QColor colour = Qt::white;
  int hatch = 0;
  QImage pattern;            // BS_DIBPATTERN / BS_PATTERN
  bool monoPattern = false;  // drawn in text and background colour
};

struct FontSpec {
  double height = 0;  // logical; negative is the em height, positive the cell
  double width = 0;
  int escapement = 0;  // tenths of a degree, counter-clockwise
  int weight = 400;
  bool italic = false, underline = false, strikeOut = false;
  int charset = 0;
  int pitchAndFamily = 0;  // the generic family in the high four bits
  QString face;
};

struct RegionSpec {
  QRegion device;  // in device units
};

// The union of many rectangles, built pairwise so that it stays fast for a
// region of a hundred thousand rectangles.
QRegion UniteRects(std::vector<QRect> rects);
// A region through a transform: rectangle by rectangle for scales and
// translations, through its outline otherwise.
QRegion MapRegion(const QRegion& region, const QTransform& t);

struct PaletteSpec {
  QVector<QRgb> colours;
};

using GdiObject = std::variant<std::monostate, PenSpec, BrushSpec, FontSpec, RegionSpec, PaletteSpec>;

// Hard limits that keep a hostile file from running forever or eating memory.
struct Limits {
  uint64_t maxRecords = uint64_t(1) << 24;
  double maxWork = 1.0e9;                   // about the pixels touched, plus edges times rows for fills
  qint64 maxBitmapBytes = qint64(1) << 30;  // decoded bitmaps, added up over the file
  int maxObjects = 65536;
  int maxSavedStates = 4096;
  // A metafile drawn inside another: its picture is scaled down to this
  // longer side (0: no such fitting), and how deep it sits.
  double fitSide = 0;
  int nesting = 0;
};

// Thrown when a file asks for more than Limits allows.
struct WorkExhausted {};

class GdiPlayer {
 public:
  // image: the picture to paint on (already filled white), or null for a
  // measuring pass that only gathers the bounds of what would be drawn.
  // device_to_image places device units on the picture; px_per_mm is the
  // device resolution the metric map modes use.
  GdiPlayer(QImage* image, QTransform deviceToImage, QPointF devicePxPerMm, Limits limits = {});
  ~GdiPlayer();
  GdiPlayer(const GdiPlayer&) = delete;
  GdiPlayer& operator=(const GdiPlayer&) = delete;

  // Ends painting; the picture is complete once this returns (also done by
  // the destructor).
  void End();

  // Bounds (picture pixels) of everything drawn so far.
  QRectF drawn_bounds() const { return bounds_; }

  // What the file holds that is not drawn, one short phrase each.
  void Warn(const std::string& phrase);
  const std::vector<std::string>& warnings() const { return warnings_; }

  // For the EMF+ player, which draws with its own state: the picture's
  // painter reset to a plain state (null when measuring), where device
  // units land on the picture, and the bounds and cost of a drawing.
  QPainter* PlainPainter() { return Painter(); }
  const QImage* picture() const { return image_; }
  const QTransform& device_to_image() const { return deviceToImage_; }
  void AccountArea(const QRectF& imageRect, double factor) { Account(imageRect, factor); }

  // Work accounting; throws WorkExhausted past the limits.
  void CountRecord();
  void ChargeWork(double units);
  bool ChargeBitmap(const QImage& image);  // false (and nothing kept) past the limit
  qint64 max_bitmap_pixels() const;
  const Limits& limits() const { return limits_; }
  double work() const { return work_; }

  // Object table.
  int AddObject(GdiObject object);                   // lowest free slot; -1 when full
  void SetObject(uint32_t index, GdiObject object);  // at a given slot
  void SelectObject(uint32_t index);
  void SelectStockObject(uint32_t stock);
  void DeleteObject(uint32_t index);
  const GdiObject* Object(uint32_t index) const;
  QVector<QRgb> SelectedPalette() const { return palette_; }

  // Saved states.
  void SaveDc();
  void RestoreDc(int which);  // negative: relative to the current level

  // Mapping.
  void SetMapMode(int mode);
  void SetWindowOrg(double x, double y);
  void SetWindowExt(double x, double y);
  void SetViewportOrg(double x, double y);
  void SetViewportExt(double x, double y);
  void OffsetWindowOrg(double dx, double dy);
  void OffsetViewportOrg(double dx, double dy);
  void ScaleWindowExt(double xnum, double xden, double ynum, double yden);
  void ScaleViewportExt(double xnum, double xden, double ynum, double yden);
  void SetWorldTransform(const QTransform& t);
  void ModifyWorldTransform(const QTransform& t, int mode);
  QPointF window_ext() const { return s_.windowExt; }
  // Logical to device units with the mapping in force now.
  QRegion ToDevice(const QRegion& logical) const { return MapRegion(logical, s_.world * PageTransform()); }

  // Attributes.
  void SetTextColour(QColor c) { s_.textColour = c; }
  void SetBkColour(QColor c) { s_.bkColour = c; }
  void SetBkMode(int mode) { s_.bkMode = mode; }
  void SetTextAlign(uint32_t align) { s_.textAlign = align; }
  void SetPolyFillMode(int mode) { s_.fillMode = mode; }
  void SetRop2(int rop) { s_.rop2 = rop; }
  void SetArcDirection(int dir) { s_.arcDirection = dir; }
  void SetStretchMode(int mode) { s_.stretchMode = mode; }
  void SetTextCharExtra(double extra) { s_.charExtra = extra; }
  int bk_mode() const { return s_.bkMode; }

  // Drawing (logical coordinates).
  void MoveTo(QPointF p);
  void LineTo(QPointF p);
  void Polyline(const QVector<QPointF>& points);
  void PolylineTo(const QVector<QPointF>& points);
  void Polygon(const QVector<QPointF>& points);
  void PolyPolygon(const std::vector<QVector<QPointF>>& polygons);
  void PolyPolyline(const std::vector<QVector<QPointF>>& lines);
  void PolyBezier(const QVector<QPointF>& points);
  void PolyBezierTo(const QVector<QPointF>& points);
  void PolyDraw(const QVector<QPointF>& points, const QVector<uint8_t>& types);
  void Rectangle(QRectF box);
  void RoundRect(QRectF box, double cornerW, double cornerH);
  void Ellipse(QRectF box);
  void ArcShape(Arc kind, QRectF box, QPointF start, QPointF end);
  void AngleArc(QPointF centre, double radius, double startDeg, double sweepDeg);
  void SetPixel(QPointF p, QColor colour);
  // Text: one entry per character in advances (logical units) or none.
  // `advanced`: the record was made in the advanced graphics mode, where the
  // glyphs go through the whole mapping.
  // `glyph_ids`: the text is given as glyph numbers of the face (the text
  // itself is then ignored). Inside a path bracket the glyph outlines join
  // the path and nothing is painted.
  void TextOut(QPointF ref, const QString& text, const QVector<double>& advances, uint32_t options,
               std::optional<QRectF> rect, bool advanced = false, const FontSpec* fontOverride = nullptr,
               const QVector<quint32>* glyphIds = nullptr);
  // Block transfers; rop is a ternary raster operation code.
  void StretchBlt(QRectF dest, const QImage& source, QRectF sourceRect, uint32_t rop);
  void PatBlt(QRectF dest, uint32_t rop);
  // The source laid over the destination through its alpha, times opacity.
  void AlphaBlend(QRectF dest, const QImage& source, QRectF sourceRect, double opacity);

  // Shading (logical coordinates): a rectangle from one colour to another
  // across (or down), a triangle from its corners' colours.
  void GradientRect(QRectF box, QColor from, QColor to, bool vertical);
  void GradientTriangle(const std::array<QPointF, 3>& corners, const std::array<QColor, 3>& colours);

  // Regions (device units) and clipping.
  void FillRegion(const QRegion& deviceRegion, const BrushSpec& brush);
  void FrameRegion(const QRegion& deviceRegion, const BrushSpec& brush, double w, double h);
  void InvertRegion(const QRegion& deviceRegion);
  void PaintRegion(const QRegion& deviceRegion) { FillRegion(deviceRegion, s_.brush); }
  void IntersectClipRect(QRectF r);
  void ExcludeClipRect(QRectF r);
  void OffsetClip(double dx, double dy);
  void SelectClipRegion(const QRegion* deviceRegion, int mode);  // null: no clip (with kRgnCopy)
  void SelectClipPath(int mode);

  // Paths.
  void BeginPath();
  void EndPath();
  void AbortPath();
  void CloseFigure();
  void FillPath();
  void StrokePath();
  void StrokeAndFillPath();
  void FlattenPath();

  const BrushSpec& brush() const { return s_.brush; }
  const FontSpec& font() const { return s_.font; }

 private:
  struct State {
    int mapMode = kMmText;
    QPointF windowOrg{0, 0}, windowExt{1, 1}, viewportOrg{0, 0}, viewportExt{1, 1};
    QTransform world;
    PenSpec pen;
    BrushSpec brush;
    FontSpec font;
    QColor textColour = Qt::black, bkColour = Qt::white;
    int bkMode = kOpaque;
    uint32_t textAlign = 0;
    int fillMode = kAlternate;
    int rop2 = 13;  // R2_COPYPEN
    int arcDirection = kCounterClockwise;
    int stretchMode = kBlackOnWhite;
    double charExtra = 0;
    QPointF position;             // logical
    std::optional<QRegion> clip;  // picture pixels
  };

  QTransform PageTransform() const;
  QTransform ToImage() const;  // logical to picture pixels
  double LinearScale() const;
  QPainterPath Mapped(const QPainterPath& logical) const;
  QPointF Map(QPointF p) const;
  QPen MakePen() const;
  QBrush MakeBrush(const BrushSpec& def) const;
  // The one painter on the picture, reset to plain state; null when measuring.
  QPainter* Painter();
  // The painter with the clip applied (text and its opaque box, which the
  // binary raster operation leaves alone); null when measuring.
  QPainter* ClippedPainter();
  // The painter with the clip and the binary raster operation of pens and
  // brushes applied; null: draw nothing.
  QPainter* BeginPaint();
  struct ResolvedFont {
    QFont font;
    double ascent = 0, descent = 0;
  };
  const ResolvedFont& Resolve(const FontSpec& f, double px, double sx);
  void Draw(const QPainterPath& imagePath, bool fill, bool stroke, bool insideFrame = false);
  void AddOrDraw(const QPainterPath& imagePath, bool closedShape);
  void Account(const QRectF& imageRect, double factor = 1);
  QPainterPath ArcPath(Arc kind, QRectF box, QPointF start, QPointF end, QPointF* endPoint) const;
  void Blit(QRectF dest, const QImage& source, QRectF sourceRect, QPainter::CompositionMode mode, double opacity);
  void CombineClip(const QRegion& imageArea, int mode);
  QRegion ImageRegion() const;
  QRegion LogicalRectRegion(QRectF r) const;
  QRegion ImageRegionOf(const QRegion& deviceRegion);

  QImage* image_;
  std::unique_ptr<QPainter> painter_;
  std::unordered_map<std::string, ResolvedFont> fonts_;
  QTransform deviceToImage_;
  QPointF pxPerMm_;
  Limits limits_;
  uint64_t records_ = 0;
  double work_ = 0;
  qint64 bitmapBytes_ = 0;
  QRectF bounds_;
  State s_;
  std::vector<State> saved_;
  std::vector<GdiObject> objects_;
  size_t lowestFree_ = 0;  // no free slot below this one
  QVector<QRgb> palette_;
  bool inPath_ = false;
  QPainterPath path_;  // picture pixels
  bool figureOpen_ = false;
  std::vector<std::string> warnings_;
};

}  // namespace zindrel::metafile
