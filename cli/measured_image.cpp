#include "cli/measured_image.h"

#include <cstring>
#include <vector>

#include "core/errors.h"
#include "core/pixel_rows.h"

namespace zindrel::cli {

QImage MeasuredPicture(QImage decoded, bool invert, PictureSize target) {
  const bool scale = target.width > 0 && target.height > 0;
  const PictureSize size = MeasuredSize(decoded.width(), decoded.height(), target);
  const int width = size.width, height = size.height;
  if (decoded.format() != QImage::Format_RGB32) decoded = decoded.convertToFormat(QImage::Format_RGB32);
  if (!scale) {
    if (invert)
      for (int y = 0; y < decoded.height(); ++y)
        NegateRow(reinterpret_cast<uint32_t*>(decoded.scanLine(y)), decoded.width());
    return decoded;
  }
  QImage scaled(width, height, QImage::Format_RGB32);
  if (scaled.isNull()) Raise(ErrorKind::OutOfMemory, "(no memory for the scaled picture)");
  BoxScaler scaler(decoded.width(), decoded.height(), width, height, [&](int y, const uint32_t* row) {
    std::memcpy(scaled.scanLine(y), row, static_cast<size_t>(width) * sizeof(uint32_t));
  });
  std::vector<uint32_t> row(invert ? static_cast<size_t>(decoded.width()) : 0);
  for (int y = 0; y < decoded.height(); ++y) {
    const auto* line = reinterpret_cast<const uint32_t*>(decoded.constScanLine(y));
    if (invert) {
      std::memcpy(row.data(), line, row.size() * sizeof(uint32_t));
      NegateRow(row.data(), decoded.width());
      line = row.data();
    }
    scaler.PushRow(line);
  }
  return scaled;
}

}  // namespace zindrel::cli
