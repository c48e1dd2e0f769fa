#include "platform/picture.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

#include "platform/errors.h"

namespace zindrel {

namespace {

QImage OnWhite(const QImage& decoded) {
  if (!decoded.hasAlphaChannel()) return decoded.convertToFormat(QImage::Format_RGB32);
  QImage flat(decoded.size(), QImage::Format_RGB32);
  flat.fill(Qt::white);
  QPainter painter(&flat);
  painter.drawImage(0, 0, decoded);
  painter.end();
  return flat;
}

}  // namespace

QImage DecodePictureBytes(const QByteArray& data, const std::string& name) {
  QBuffer buffer;
  buffer.setData(data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  const QByteArray suffix = QFileInfo(QString::fromStdString(name)).suffix().toLower().toLatin1();
  if (!suffix.isEmpty() && !QImageReader::imageFormat(&buffer).size()) reader.setFormat(suffix);
  QImage image = reader.read();
  if (image.isNull())
    Raise(ErrorKind::InvalidPicture, "(" + reader.errorString().toLower().toStdString() + ")");
  return OnWhite(image);
}

QImage DecodePictureFile(const std::string& path) {
  const QString qpath = QString::fromStdString(path);
  QFileInfo info(qpath);
  if (!info.exists()) Raise(ErrorKind::FileNotFound);
  if (info.isDir()) Raise(ErrorKind::FileAccess, "(a directory)");
  QFile file(qpath);
  if (!file.open(QIODevice::ReadOnly)) Raise(ErrorKind::FileAccess, "(" + file.errorString().toStdString() + ")");
  return DecodePictureBytes(file.readAll(), path);
}

ImagePixelSource::ImagePixelSource(QImage image)
    : image_(image.format() == QImage::Format_RGB32 ? std::move(image) : OnWhite(image)) {}

int32_t ImagePixelSource::Point(int x, int y) const {
  if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return -1;
  return RawToColour(Row(y)[x]);
}

const uint32_t* ImagePixelSource::Row(int y) const {
  return reinterpret_cast<const uint32_t*>(image_.constScanLine(y));
}

}  // namespace zindrel
