#include "pictures/picture_rows.h"

#include "core/pixel_source.h"
#include "dib/bmp_file.h"
#include "jpeg_reader.h"
#include "pictures/jpeg_markers.h"
#include "pictures/picture_kinds.h"
#include "png_reader.h"

namespace zindrel {

std::unique_ptr<RowStream> OpenPictureRows(const QByteArray& data, PictureWarnings* warnings) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
  const size_t size = static_cast<size_t>(data.size());
  std::unique_ptr<RowStream> rows;
  switch (DetectPictureKind(bytes, size)) {
    case PictureKind::Jpeg: {
      const size_t before = warnings ? warnings->size() : 0;
      CheckJpegComplete(bytes, size, warnings);
      const int stray = warnings ? static_cast<int>(warnings->size() - before) : 0;
      rows = OpenJpegRows(data, warnings, stray);
      // Left to Qt: DecodePictureBytes walks the markers again.
      if (!rows && warnings) warnings->resize(before);
      break;
    }
    case PictureKind::Png:
      CheckPngComplete(bytes, size, PngSizeCheck::SidesOnly);
      rows = OpenPngRows(data);
      break;
    default: return nullptr;
  }
  // A picture the conversion refuses for its sides was refused before for
  // its decoded size when that is over the limit too; the same message (a
  // PNG's header was checked so above).
  if (rows && (rows->Width() > kMaxPictureSide || rows->Height() > kMaxPictureSide)) CheckPictureSize(rows->Width(), rows->Height());
  return rows;
}

}  // namespace zindrel
