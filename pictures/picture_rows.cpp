#include "pictures/picture_rows.h"

#include "qt_reader.h"

namespace zindrel {

std::unique_ptr<RowStream> OpenPictureRows(const QByteArray& data, PictureWarnings* warnings) {
  return OpenPictureRows(SharedBytes(data), warnings, QtPngVerdict());
}

}  // namespace zindrel
