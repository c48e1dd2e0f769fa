// EMF+ records: GDI+ drawing kept in EMF comments. Once a file's EMF+
// header has been seen, its EMF+ records draw, and the plain GDI records
// play only where GDI+ itself plays them: after a GetDC record, up to the
// next EMF+ drawing. A file marked "dual" carries GDI records beside every
// EMF+ drawing; where an EMF+ record cannot be drawn here, those GDI records
// draw in its place. Anything left undrawn is named as a warning.
#pragma once

#include <QFont>
#include <QPainterPath>
#include <QTransform>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "bytes.h"
#include "gdi_player.h"

namespace zindrel::metafile {

class EmfPlusPlayer {
 public:
  explicit EmfPlusPlayer(GdiPlayer& gdi);
  ~EmfPlusPlayer();
  EmfPlusPlayer(const EmfPlusPlayer&) = delete;
  EmfPlusPlayer& operator=(const EmfPlusPlayer&) = delete;

  // True when an EMR_COMMENT record carries EMF+ records.
  static bool IsPlusComment(const Bytes& record);
  // Plays the EMF+ records of one such comment (the whole EMF record).
  void Comment(const Bytes& record);

  // Whether the GDI drawing record that comes next is to be drawn.
  bool GdiDraws() const { return !headerSeen_ || gdiOpen_; }
  // Called at the end: names the kinds of EMF+ records left undrawn.
  void Finish();

 private:
  struct Object;
  struct State {
    QTransform world;
    int pageUnit = 2;  // UnitPixel
    double pageScale = 1;
    std::optional<QPainterPath> clip;  // picture pixels; none: no clip
    bool antialias = false;
    bool sourceCopy = false;
  };

  const Object* Get(int id) const;  // null for an empty or out-of-range slot
  void Record(uint16_t type, uint16_t flags, const Bytes& data);
  bool Draw(uint16_t type, uint16_t flags, const Bytes& data);  // false: not drawn here
  void ObjectRecord(uint16_t flags, const Bytes& data);
  void Store(int id, int kind, const Bytes& data);

  double UnitPixels(int unit, bool vertical) const;  // device pixels per unit
  QTransform PageTransform() const;
  QTransform ToImage() const;
  double WorldPerPixel() const;

  QPainter* BeginPaint();
  void Fill(const QPainterPath& worldPath, const QBrush& brush);
  void Stroke(const QPainterPath& worldPath, int penId);
  bool BrushOf(uint16_t flags, uint32_t brushField, QBrush* brush) const;
  void CombineClip(const QPainterPath& imageArea, int mode);
  void DrawImage(int imageId, const QRectF& source, const QPolygonF& dest);
  // A metafile image drawn into the parallelogram; false when it cannot be.
  bool DrawMetafile(int imageId, const QPolygonF& dest);
  double EmOf(const Object& font) const;  // the em in world units; 0 when unusable
  static QFont ReferenceFont(const Object& font);
  void DrawText(int fontId, const QBrush& brush, const QString& text, const QRectF& layout, int formatId);
  // Characters, or glyph numbers of the font's face; false when the numbers
  // would pick other glyphs in the face drawn with.
  bool DrawGlyphs(int fontId, const QBrush& brush, const QString& text, const std::vector<QPointF>& at,
                  const QTransform& glyphTransform, bool glyphNumbers);

  GdiPlayer& gdi_;
  bool headerSeen_ = false;
  bool dual_ = false;
  bool gdiOpen_ = false;  // a GetDC (or an undrawn record of a dual file) lets GDI records draw
  double dpiX_ = 96, dpiY_ = 96;
  State s_;
  std::map<uint32_t, State> saved_;
  std::vector<std::unique_ptr<Object>> objects_;  // 64 slots
  // An object spread over several records, gathered until its last part.
  int pendingId_ = -1, pendingKind_ = 0;
  std::vector<uint8_t> pending_;
  std::map<std::string, int> undrawn_;  // record kind -> count
};

}  // namespace zindrel::metafile
