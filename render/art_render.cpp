#include "render/art_render.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QSaveFile>
#include <QStringList>
#include <QVector>
#include <QtEndian>
#include <algorithm>

#include "core/errors.h"
#include "render/art_font.h"

namespace zindrel {

namespace {

// The art text split into lines of code points.
QVector<QVector<char32_t>> SplitArt(const QString& text) {
  QString normal = text;
  normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QStringList lines = normal.split(QLatin1Char('\n'));
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  QVector<QVector<char32_t>> result;
  result.reserve(lines.size());
  for (const QString& line : lines) {
    QVector<char32_t> cells;
    for (uint c : line.toUcs4()) cells.push_back(static_cast<char32_t>(c));
    result.push_back(cells);
  }
  return result;
}

// Fraction of the cell above the baseline. The em square of a CJK face is
// its ideographic body, given by the typographic ascender and descender
// when they span exactly one em; otherwise the line's ascent and descent.
double BaselineFraction(const QFont& font) {
  QFont big = font;
  big.setPixelSize(1024);
  const QRawFont raw = QRawFont::fromFont(big);
  const QByteArray os2 = raw.fontTable("OS/2");
  const QByteArray head = raw.fontTable("head");
  if (os2.size() >= 72 && head.size() >= 20) {
    const auto* o = reinterpret_cast<const uchar*>(os2.constData());
    const auto* h = reinterpret_cast<const uchar*>(head.constData());
    const int ascender = qFromBigEndian<qint16>(o + 68);
    const int descender = qFromBigEndian<qint16>(o + 70);
    const int unitsPerEm = qFromBigEndian<quint16>(h + 18);
    if (unitsPerEm > 0 && ascender - descender == unitsPerEm) return double(ascender) / unitsPerEm;
  }
  const double ascent = raw.ascent(), descent = raw.descent();
  if (ascent + descent > 0) return ascent / (ascent + descent);
  return 0.88;
}

}  // namespace

QImage RenderArt(const QString& text, int cellPx) {
  if (cellPx < 1 || cellPx > kMaxArtCell)
    Raise(ErrorKind::InvalidCall,
          "cell size " + std::to_string(cellPx) + " px is outside 1.." + std::to_string(kMaxArtCell));
  const QVector<QVector<char32_t>> lines = SplitArt(text);
  qsizetype columns = 0;
  for (const auto& line : lines) columns = std::max(columns, line.size());
  if (columns == 0) return QImage();
  const qsizetype limit = kMaxArtPixels / cellPx;
  if (columns > limit || lines.size() > limit)
    Raise(ErrorKind::OutOfMemory, "the art picture would be " + std::to_string(columns * cellPx) + " x " +
                                      std::to_string(lines.size() * cellPx) + " pixels, more than " +
                                      std::to_string(kMaxArtPixels) + " on a side");

  QImage image(int(columns) * cellPx, int(lines.size()) * cellPx, QImage::Format_Grayscale8);
  if (image.isNull()) Raise(ErrorKind::OutOfMemory, "no memory for the art picture");
  image.fill(Qt::black);

  const QFont font = ArtFontPixels(cellPx);
  const double baseline = BaselineFraction(font) * cellPx;
  QPainter painter(&image);
  // Glyphs are filled as outlines, anti-aliased and placed to the fraction
  // of a pixel: hinting would snap the baseline to whole pixels and move the
  // ink between the sub-blocks the table measured.
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  QHash<char32_t, QPainterPath> outlines;
  for (qsizetype row = 0; row < lines.size(); ++row) {
    const int top = int(row) * cellPx;
    for (qsizetype column = 0; column < lines[row].size(); ++column) {
      const char32_t c = lines[row][column];
      const int left = int(column) * cellPx;
      if (c == 0x3000 || c == U' ') continue;
      if (c == 0x2588) {  // the full block is exactly its cell
        painter.fillRect(left, top, cellPx, cellPx, Qt::white);
        continue;
      }
      auto it = outlines.find(c);
      if (it == outlines.end()) {
        QPainterPath path;
        path.addText(QPointF(0, baseline), font, QString::fromUcs4(&c, 1));
        // Each glyph keeps to its own cell: a neighbour never bleeds in.
        QPainterPath cell;
        cell.addRect(0, 0, cellPx, cellPx);
        if (!cell.contains(path.boundingRect())) path = path.intersected(cell);
        it = outlines.insert(c, path);
      }
      painter.drawPath(it->translated(left, top));
    }
  }
  painter.end();
  return image;
}

ArtColours BlackOnWhite() {
  ArtColours colours;
  colours.background = 0xFFFFFFFFu;
  colours.foreground = 0xFF000000u;
  return colours;
}

QImage RenderArt(const QString& text, int cellPx, const ArtColours& colours) {
  QImage coverage = RenderArt(text, cellPx);
  if (coverage.isNull() || colours.plain()) return coverage;
  const ArtColours blackOnWhite = BlackOnWhite();
  if (colours.background == blackOnWhite.background && colours.foreground == blackOnWhite.foreground &&
      colours.characters.empty()) {
    coverage.invertPixels();
    return coverage;
  }
  QImage image(coverage.size(), QImage::Format_RGB32);
  if (image.isNull()) Raise(ErrorKind::OutOfMemory, "no memory for the art picture");
  const QRgb back = colours.background;
  for (int y = 0; y < image.height(); ++y) {
    const uchar* ink = coverage.constScanLine(y);
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    const size_t line = static_cast<size_t>(y / cellPx);
    for (int x = 0; x < image.width(); ++x) {
      const QRgb fore = colours.At(line, static_cast<size_t>(x / cellPx));
      const int a = ink[x];
      // back + (fore - back) * a / 255, rounded, per channel.
      auto mix = [a](int b, int f) { return (b * (255 - a) + f * a + 127) / 255; };
      out[x] = qRgb(mix(qRed(back), qRed(fore)), mix(qGreen(back), qGreen(fore)), mix(qBlue(back), qBlue(fore)));
    }
  }
  return image;
}

void RenderArtPng(const std::string& utf8Text, int cellPx, const std::string& path) {
  RenderArtPng(utf8Text, cellPx, path, ArtColours());
}

void RenderArtPng(const std::string& utf8Text, int cellPx, const std::string& path, const ArtColours& colours) {
  const QImage image = RenderArt(QString::fromStdString(utf8Text), cellPx, colours);
  if (image.isNull()) Raise(ErrorKind::InvalidCall, "the art has no characters to draw");
  // Encoded in memory first: a write that fails (a full disk) is then ours to
  // report, and libpng prints nothing of its own.
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) Raise(ErrorKind::WriteFailed, "cannot encode the PNG picture " + path);
  const QFileInfo target(QString::fromStdString(path));
  if (target.exists() && !target.isFile() && !target.isDir()) {
    // A device or a FIFO is written straight into: a temporary file renamed
    // over it would replace the device itself with a plain file.
    QFile stream(QString::fromStdString(path));
    if (!stream.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || stream.write(png) != png.size())
      Raise(ErrorKind::WriteFailed, "cannot write " + path + ": " + stream.errorString().toStdString());
    return;
  }
  QSaveFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly))
    Raise(ErrorKind::WriteFailed, "cannot write " + path + ": " + file.errorString().toStdString());
  if (file.write(png) != png.size()) {
    const std::string reason = file.errorString().toStdString();
    file.cancelWriting();
    Raise(ErrorKind::WriteFailed, "cannot write " + path + ": " + reason);
  }
  if (!file.commit()) Raise(ErrorKind::WriteFailed, "cannot write " + path + ": " + file.errorString().toStdString());
}

}  // namespace zindrel
