#include "pictures/picture.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QScreen>
#include <QStringList>
#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>

#include "core/errors.h"
#include "dib/bmp_file.h"
#include "dib/bmp_pixels.h"
#include "dib/bmp_rle.h"
#include "icon_file.h"
#include "metafile/metafile.h"
#include "qt_reader.h"
#include "readers/jpeg_reader.h"
#include "readers/over_white.h"
#include "readers/picture_kinds.h"
#include "readers/png_reader.h"

namespace zindrel {

namespace {

// Qt's own limit on one decoded picture, in megabytes (its default is 128).
constexpr int kAllocationLimitMb = static_cast<int>(kMaxPictureBytes >> 20);

// Qt's decoders report what went wrong on the message log (as warnings, or
// as information for libpng's errors). While one runs, those messages are
// kept here instead, so that they become
// the reason of the error (and do not clutter a terminal).
// Messages from other threads pass on to the handler that was there before.
class WarningCapture {
 public:
  WarningCapture() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (active_++ == 0) previous_ = qInstallMessageHandler(&WarningCapture::Handle);
    current_ = this;
  }
  ~WarningCapture() {
    current_ = nullptr;
    const std::lock_guard<std::mutex> lock(mutex_);
    if (--active_ == 0) qInstallMessageHandler(previous_.load());
  }
  WarningCapture(const WarningCapture&) = delete;
  WarningCapture& operator=(const WarningCapture&) = delete;

  QString Last() const { return warnings_.isEmpty() ? QString() : warnings_.last(); }

 private:
  static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (WarningCapture* self = current_; self && type != QtDebugMsg) {
      self->warnings_.append(message);
      return;
    }
    if (const QtMessageHandler previous = previous_.load()) previous(type, context, message);
  }

  static thread_local WarningCapture* current_;
  static std::mutex mutex_;
  static int active_;
  static std::atomic<QtMessageHandler> previous_;
  QStringList warnings_;
};

thread_local WarningCapture* WarningCapture::current_ = nullptr;
std::mutex WarningCapture::mutex_;
int WarningCapture::active_ = 0;
std::atomic<QtMessageHandler> WarningCapture::previous_{nullptr};

const char* QtFormat(PictureKind kind) {
  switch (kind) {
    case PictureKind::Bmp: return "bmp";
    case PictureKind::Png: return "png";
    case PictureKind::Jpeg: return "jpeg";
    case PictureKind::Gif: return "gif";
    case PictureKind::Icon: return "ico";  // the same reader takes cursors
    default: return "";
  }
}

// Qt's BMP reader takes the headers of 12, 40, 64, 108 and 124 bytes, 1, 4,
// 8, 16, 24 or 32 bits, compression 0 to 3, no more palette entries than the
// depth indexes and colour masks of at most 8 bits (it turns wider ones
// black). Our own decoder reads the rest, which passed the same checks.
bool QtReadsBmp(const BmpHeader& h) {
  const uint32_t size = h.headerSize;
  if (size != 12 && size != 40 && size != 64 && size != 108 && size != 124) return false;
  if (h.compression == kBmpAlphaBitFields || h.bitCount == 2) return false;
  if (h.bitCount <= 8 && h.colorsUsed > (1u << h.bitCount)) return false;
  for (uint32_t mask : h.masks) {
    int bits = 0;
    for (; mask != 0; mask >>= 1) bits += static_cast<int>(mask & 1);
    if (bits > 8) return false;
  }
  return true;
}

// Metafiles are sized in physical units and drawn at the screen's logical
// resolution; without a screen (the command-line converter) at 96 dpi.
double MetafileDpi() {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr)
    if (const QScreen* screen = QGuiApplication::primaryScreen()) return screen->logicalDotsPerInch();
  return 96.0;
}

// One pixel laid over white.
inline QRgb OverWhite(QRgb pixel, bool premultiplied) {
  const int a = qAlpha(pixel);
  if (a == 255) return pixel | 0xFF000000u;
  auto channel = [&](int c) {
    if (!premultiplied) return static_cast<int>(ChannelOverWhite(static_cast<uint32_t>(c), static_cast<uint32_t>(a)));
    const int v = c + 255 - a;
    return v > 255 ? 255 : v;
  };
  return qRgb(channel(qRed(pixel)), channel(qGreen(pixel)), channel(qBlue(pixel)));
}

// The picture laid over white as Format_RGB32. Pictures with 32-bit alpha
// are flattened where they lie; others are converted once.
QImage FlattenOnWhite(QImage image) {
  if (image.isNull() || image.format() == QImage::Format_RGB32) return image;
  if (image.colorCount() > 0 && image.hasAlphaChannel()) {
    QList<QRgb> table = image.colorTable();
    for (QRgb& c : table) c = OverWhite(c, false);
    image.setColorTable(table);
  }
  if (!image.hasAlphaChannel()) return std::move(image).convertToFormat(QImage::Format_RGB32);
  if (image.format() != QImage::Format_ARGB32 && image.format() != QImage::Format_ARGB32_Premultiplied)
    image = std::move(image).convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const bool premultiplied = image.format() == QImage::Format_ARGB32_Premultiplied;
  for (int y = 0; y < image.height(); ++y) {
    QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) line[x] = OverWhite(line[x], premultiplied);
  }
  image.reinterpretAsFormat(QImage::Format_RGB32);
  return image;
}

// A picture our own readers deliver row by row, read whole: every row goes
// straight into the picture's memory.
QImage ReadWhole(RowStream& rows) {
  CheckPictureSize(rows.Width(), rows.Height());
  QImage image(rows.Width(), rows.Height(), QImage::Format_RGB32);
  if (image.isNull()) Raise(ErrorKind::OutOfMemory);
  constexpr int kBand = 16;
  uint32_t* band[kBand];
  for (int y = 0; y < image.height(); y += kBand) {
    const int count = std::min(kBand, image.height() - y);
    for (int i = 0; i < count; ++i) band[i] = reinterpret_cast<uint32_t*>(image.scanLine(y + i));
    rows.ReadRows(band, count);
  }
  return image;
}

// Takes the bytes by value so that they can be let go before the decoded
// picture is flattened: at most the file and one picture, or two pictures
// of which one is no deeper than 32 bits, are held at once.
QImage Decode(QByteArray data, PictureWarnings* warnings) {
  if (data.isEmpty()) RaiseInvalidPicture("the file is empty");
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
  const size_t size = static_cast<size_t>(data.size());
  const PictureKind kind = DetectPictureKind(bytes, size);
  switch (kind) {
    case PictureKind::Unknown: RaiseInvalidPicture("not a supported picture");
    case PictureKind::Wmf:
    case PictureKind::Emf: return FlattenOnWhite(RenderMetafile(data, MetafileDpi(), warnings));
    case PictureKind::Bmp: {
      if (IsRunLengthBmp(bytes, size)) return DecodeRunLengthBmp(bytes, size);
      const BmpHeader header = ReadBmpHeader(bytes, size);
      CheckBmpPixelData(header, size);
      if (!QtReadsBmp(header)) return FlattenOnWhite(DecodeBmpRows(header, bytes, size));
      break;
    }
    case PictureKind::Jpeg: {
      if (std::unique_ptr<RowStream> rows = OpenJpegRows(SharedBytes(data), warnings)) return ReadWhole(*rows);
      break;
    }
    case PictureKind::Gif: CheckGifComplete(bytes, size); break;
    case PictureKind::Png: {
      CheckPngComplete(bytes, size);
      if (std::unique_ptr<RowStream> rows = OpenPngRows(SharedBytes(data), QtPngVerdict())) return ReadWhole(*rows);
      break;
    }
    case PictureKind::Icon: return FlattenOnWhite(DecodeIconFile(bytes, size, warnings));
  }
  QImage image = ReadWithQt(data, kind);
  data = QByteArray();
  return FlattenOnWhite(std::move(image));
}

}  // namespace

PictureBytes SharedBytes(const QByteArray& data) {
  auto owner = std::make_shared<const QByteArray>(data);
  const auto* bytes = reinterpret_cast<const unsigned char*>(owner->constData());
  const auto size = static_cast<size_t>(owner->size());
  return {std::move(owner), bytes, size};
}

PngRefusal QtPngVerdict() {
  return [](const PictureBytes& refused) {
    QByteArray copy(reinterpret_cast<const char*>(refused.data), static_cast<qsizetype>(refused.size));
    ReadWithQt(copy, PictureKind::Png);
  };
}

QImage ReadWithQt(QByteArray& data, PictureKind kind) {
  QImageReader::setAllocationLimit(kAllocationLimitMb);
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, QtFormat(kind));
  reader.setAutoDetectImageFormat(false);
  WarningCapture warnings;
  const QSize claimed = reader.size();
  if (claimed.isValid()) CheckPictureSize(claimed.width(), claimed.height());
  QImage image;
  if (!reader.read(&image) || image.isNull()) {
    QString reason = warnings.Last();
    if (reason.isEmpty()) reason = reader.errorString();
    RaiseInvalidPicture(std::string(PictureKindName(kind)) + ": " + reason.toStdString());
  }
  return image;
}

QImage DecodePictureBytes(const QByteArray& data, const std::string& name, PictureWarnings* warnings) {
  (void)name;  // every kind decoded is told by its signature
  return Decode(data, warnings);
}

QByteArray ReadPictureBytes(const std::string& path) {
  const QString qpath = QString::fromStdString(path);
  QFileInfo info(qpath);
  if (!info.exists()) Raise(ErrorKind::FileNotFound);
  if (info.isDir()) Raise(ErrorKind::FileAccess, "(a directory)");
  if (!info.isFile()) Raise(ErrorKind::FileAccess, "(not a regular file)");
  QFile file(qpath);
  if (!file.open(QIODevice::ReadOnly)) Raise(ErrorKind::FileAccess, "(" + file.errorString().toStdString() + ")");
  if (file.size() > kMaxPictureFileBytes)
    RaiseInvalidPicture("a file of " + std::to_string(file.size()) + " bytes is larger than any picture accepted");
  const qint64 expected = file.size();
  QByteArray data = file.read(expected);
  if (file.error() != QFileDevice::NoError) Raise(ErrorKind::FileAccess, "(" + file.errorString().toStdString() + ")");
  if (data.size() != expected) Raise(ErrorKind::FileAccess, "(the file changed while it was read)");
  return data;
}

QImage DecodePictureFile(const std::string& path, PictureWarnings* warnings) {
  return Decode(ReadPictureBytes(path), warnings);
}

ImagePixelSource::ImagePixelSource(QImage image) : image_(FlattenOnWhite(std::move(image))) {}

int32_t ImagePixelSource::Point(int x, int y) const {
  if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return -1;
  return RawToColour(Row(y)[x]);
}

const uint32_t* ImagePixelSource::Row(int y) const {
  return reinterpret_cast<const uint32_t*>(image_.constScanLine(y));
}

}  // namespace zindrel
