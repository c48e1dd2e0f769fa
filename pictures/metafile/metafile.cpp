#include "metafile/metafile.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <optional>
#include <string>

#include "core/errors.h"
#include "parsers.h"
#include "render.h"

namespace zindrel {

namespace metafile {

namespace {

constexpr int kMaxSide = 16384;
constexpr qint64 kMaxBytes = qint64(1) << 30;
constexpr double kUnplacedMaxSide = 4096;

Bytes View(const QByteArray& data) {
  return Bytes(reinterpret_cast<const uint8_t*>(data.constData()), static_cast<size_t>(data.size()));
}

QSize PictureSize(double w, double h, const Limits& limits) {
  w = std::fabs(w), h = std::fabs(h);
  if (limits.fitSide > 0 && std::max(w, h) > limits.fitSide) {
    const double fit = limits.fitSide / std::max(w, h);
    w *= fit, h *= fit;
  }
  if (!std::isfinite(w) || !std::isfinite(h) || w < 0.5 || h < 0.5)
    Raise(ErrorKind::InvalidPicture, "(the metafile's picture has no size)");
  const double rw = std::round(w), rh = std::round(h);
  if (rw > kMaxSide || rh > kMaxSide || rw * rh * 4 > static_cast<double>(kMaxBytes)) {
    char text[160];
    std::snprintf(text, sizeof text, "(the picture would be %.0f x %.0f pixels, more than %d x %d)", rw, rh, kMaxSide,
                  kMaxSide);
    Raise(ErrorKind::InvalidPicture, text);
  }
  return QSize(static_cast<int>(rw), static_cast<int>(rh));
}

// A file shorter than its header says has been cut short: it is refused
// rather than played in part, which would leave the missing records' part of
// the picture made-up white.
void CheckNotCutShort(uint64_t promised, size_t holds) {
  if (promised > holds)
    Raise(ErrorKind::InvalidPicture, "(the metafile is cut short: its header gives " + std::to_string(promised) +
                                         " bytes, the file holds " + std::to_string(holds) + ")");
}

QImage WhitePicture(QSize size) {
  QImage image(size, QImage::Format_RGB32);
  if (image.isNull()) Raise(ErrorKind::InvalidPicture, "(not enough memory for the metafile's picture)");
  image.fill(Qt::white);
  return image;
}

// Raster operations may leave the unused top byte of a pixel changed.
void Opaque(QImage& image) {
  for (int y = 0; y < image.height(); ++y) {
    QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) row[x] |= 0xFF000000u;
  }
}

// Ends the drawing and hands on what was not drawn.
void Finish(GdiPlayer& player, QImage& image, std::vector<std::string>* warnings) {
  player.End();
  Opaque(image);
  if (warnings) warnings->insert(warnings->end(), player.warnings().begin(), player.warnings().end());
}

// Maps the window (logical box) onto the whole picture, the way a viewer
// places a metafile into a rectangle before playing it.
void PlaceWindow(GdiPlayer& player, const QRectF& window, QSize picture) {
  player.SetMapMode(kMmAnisotropic);
  player.SetWindowOrg(window.left(), window.top());
  player.SetWindowExt(window.width(), window.height());
  player.SetViewportOrg(0, 0);
  player.SetViewportExt(picture.width(), picture.height());
}

QImage RenderEmf(const QByteArray& data, double dpi, const Limits& limits, std::vector<std::string>* warnings,
                 QSize fit = QSize());

// A WMF that carries the enhanced metafile it was made from is drawn from
// that, as Windows does when it turns such a WMF back into an EMF (the way
// programs show a WMF they insert): the EMF keeps what the WMF records lose,
// such as transparency. It fills the picture the WMF's header gives. A
// damaged EMF leaves the WMF's own records to draw.
std::optional<QImage> FromEmbeddedEmf(Bytes file, const WmfHeader& header, double dpi, const Limits& limits,
                                      std::vector<std::string>* warnings, QSize size) {
  const QByteArray emf = FindEmbeddedEmf(file, header);
  if (emf.isEmpty()) return std::nullopt;
  std::vector<std::string> inner;
  try {
    QImage image = RenderEmf(emf, dpi, limits, &inner, size);
    if (warnings) warnings->insert(warnings->end(), inner.begin(), inner.end());
    return image;
  } catch (const RuntimeError&) {
    return std::nullopt;
  }
}

QImage RenderWmf(const QByteArray& data, double dpi, const Limits& limits, std::vector<std::string>* warnings) {
  const Bytes file = View(data);
  WmfHeader header;
  if (!ReadWmfHeader(file, &header)) Raise(ErrorKind::InvalidPicture, "(damaged metafile header)");
  // The standard header's size counts 16-bit words from its own start.
  const size_t standard = header.firstRecord - 18;
  const uint64_t promised = standard + uint64_t{file.U32(standard + 6)} * 2;
  // A header that overstates the size of a file whose records are all there,
  // up to the end record, loses nothing: it plays, as libwmf plays it.
  if (promised > file.size() && WmfRecordsReachEnd(file, header)) {
    if (warnings)
      warnings->push_back("metafile header gives " + std::to_string(promised) + " bytes, the file holds " +
                          std::to_string(file.size()) + " (its records are complete)");
  } else {
    CheckNotCutShort(promised, file.size());
  }
  const QPointF pxPerMm(dpi / 25.4, dpi / 25.4);
  if (header.placeable) {
    const double inch = header.inch > 0 ? header.inch : 1440;
    const QSize size = PictureSize(header.bbox.width() * dpi / inch, header.bbox.height() * dpi / inch, limits);
    if (std::optional<QImage> embedded = FromEmbeddedEmf(file, header, dpi, limits, warnings, size)) return *embedded;
    QImage image = WhitePicture(size);
    GdiPlayer player(&image, QTransform(), pxPerMm, limits);
    PlaceWindow(player, header.bbox, size);
    PlayWmf(file, header, player);
    Finish(player, image, warnings);
    return image;
  }
  if (const std::optional<QRectF> window = FindWmfWindow(file, header)) {
    double w = std::fabs(window->width()) * dpi / 96, h = std::fabs(window->height()) * dpi / 96;
    const double fit = std::min(1.0, kUnplacedMaxSide / std::max(w, h));
    const QSize size = PictureSize(std::max(1.0, w * fit), std::max(1.0, h * fit), limits);
    if (std::optional<QImage> embedded = FromEmbeddedEmf(file, header, dpi, limits, warnings, size)) return *embedded;
    QImage image = WhitePicture(size);
    GdiPlayer player(&image, QTransform(), pxPerMm, limits);
    PlaceWindow(player, *window, size);
    PlayWmf(file, header, player);
    Finish(player, image, warnings);
    return image;
  }
  // No window: measure what the file draws in device units, then play it again.
  QRectF drawn;
  {
    GdiPlayer measure(nullptr, QTransform(), pxPerMm, limits);
    PlayWmf(file, header, measure);
    drawn = measure.drawn_bounds();
  }
  if (drawn.isEmpty()) Raise(ErrorKind::InvalidPicture, "(the metafile's picture has no size)");
  double scale = dpi / 96;
  const double longest = limits.fitSide > 0 ? std::min(kUnplacedMaxSide, limits.fitSide) : kUnplacedMaxSide;
  scale = std::min(scale, longest / std::max(drawn.width(), drawn.height()) * 1.0);
  const QSize size = PictureSize(std::max(1.0, drawn.width() * scale), std::max(1.0, drawn.height() * scale), limits);
  QImage image = WhitePicture(size);
  GdiPlayer player(&image, QTransform::fromTranslate(-drawn.left(), -drawn.top()) * QTransform::fromScale(scale, scale),
                   pxPerMm, limits);
  PlayWmf(file, header, player);
  Finish(player, image, warnings);
  return image;
}

// `fit`: the picture's size when another header has set it.
QImage RenderEmf(const QByteArray& data, double dpi, const Limits& limits, std::vector<std::string>* warnings,
                 QSize fit) {
  const Bytes file = View(data);
  EmfHeader header;
  if (!ReadEmfHeader(file, &header)) Raise(ErrorKind::InvalidPicture, "(damaged enhanced metafile header)");
  if (file.Has(48, 4)) CheckNotCutShort(file.U32(48), file.size());
  QPointF pxPerMm(96 / 25.4, 96 / 25.4);
  if (header.devicePx.width() > 0 && header.devicePx.height() > 0 && header.deviceMm.width() > 0 &&
      header.deviceMm.height() > 0) {
    pxPerMm = QPointF(double(header.devicePx.width()) / header.deviceMm.width(),
                      double(header.devicePx.height()) / header.deviceMm.height());
  }
  QRectF frameDevice;
  QSize size;
  const QRect& f = header.frame;
  const double fw = double(f.right()) - f.left(), fh = double(f.bottom()) - f.top();
  if (fw > 0 && fh > 0) {
    size = PictureSize(fw * dpi / 2540, fh * dpi / 2540, limits);
    frameDevice = QRectF(f.left() / 100.0 * pxPerMm.x(), f.top() / 100.0 * pxPerMm.y(), fw / 100.0 * pxPerMm.x(),
                         fh / 100.0 * pxPerMm.y());
  } else {
    const QRect& b = header.bounds;
    const double bw = double(b.right()) - b.left() + 1, bh = double(b.bottom()) - b.top() + 1;
    if (bw <= 0 || bh <= 0 || b.right() < b.left() || b.bottom() < b.top())
      Raise(ErrorKind::InvalidPicture, "(the metafile's picture has no size)");
    size = PictureSize(bw / pxPerMm.x() / 25.4 * dpi, bh / pxPerMm.y() / 25.4 * dpi, limits);
    frameDevice = QRectF(b.left(), b.top(), bw, bh);
  }
  if (fit.isValid()) size = fit;
  QImage image = WhitePicture(size);
  const QTransform deviceToImage =
      QTransform::fromTranslate(-frameDevice.left(), -frameDevice.top()) *
      QTransform::fromScale(size.width() / frameDevice.width(), size.height() / frameDevice.height());
  GdiPlayer player(&image, deviceToImage, pxPerMm, limits);
  PlayEmf(file, player);
  Finish(player, image, warnings);
  return image;
}

bool IsEmf(const QByteArray& data) {
  const Bytes b = View(data);
  return b.Has(0, 44) && b.U32(0) == 1 && b.U32(40) == 0x464D4520u;
}

bool IsWmf(const QByteArray& data) {
  const Bytes b = View(data);
  if (b.Has(0, 4) && b.U32(0) == 0x9AC6CDD7u) return true;
  return b.Has(0, 4) && (b.U16(0) == 1 || b.U16(0) == 2) && b.U16(2) == 9;
}

}  // namespace

QImage RenderWithLimits(const QByteArray& data, double dpi, const Limits& limits, std::vector<std::string>* warnings) {
  if (!(dpi >= 1 && dpi <= 4800)) dpi = 96;
  if (limits.nesting > 1) Raise(ErrorKind::InvalidPicture, "(metafiles nested more than one deep)");
  try {
    if (IsEmf(data)) return RenderEmf(data, dpi, limits, warnings);
    if (IsWmf(data)) return RenderWmf(data, dpi, limits, warnings);
  } catch (const WorkExhausted&) {
    Raise(ErrorKind::InvalidPicture, "(the metafile asks for more drawing work than any picture needs)");
  } catch (const std::bad_alloc&) {
    Raise(ErrorKind::InvalidPicture, "(not enough memory to play the metafile)");
  }
  Raise(ErrorKind::InvalidPicture, "(not a metafile)");
}

}  // namespace metafile

bool IsMetafile(const QByteArray& data) { return metafile::IsEmf(data) || metafile::IsWmf(data); }

QImage RenderMetafile(const QByteArray& data, double dpi, std::vector<std::string>* warnings) {
  return metafile::RenderWithLimits(data, dpi, metafile::Limits{}, warnings);
}

}  // namespace zindrel
