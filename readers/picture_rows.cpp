#include "readers/picture_rows.h"

#include "core/pixel_source.h"
#include "readers/jpeg_reader.h"

namespace zindrel {

std::unique_ptr<RowStream> OpenPictureRows(PictureBytes data, PictureWarnings* warnings, PngRefusal refusal) {
  std::unique_ptr<RowStream> rows;
  switch (DetectPictureKind(data.data, data.size)) {
    case PictureKind::Jpeg: {
      const size_t before = warnings ? warnings->size() : 0;
      rows = OpenJpegRows(std::move(data), warnings);
      // Left to Qt: the whole decode walks the markers again.
      if (!rows && warnings) warnings->resize(before);
      break;
    }
    case PictureKind::Png:
      CheckPngComplete(data.data, data.size, PngSizeCheck::SidesOnly);
      rows = OpenPngRows(std::move(data), std::move(refusal));
      break;
    default: return nullptr;
  }
  // A picture the conversion refuses for its sides was refused before for
  // its decoded size when that is over the limit too; the same message (a
  // PNG's header was checked so above).
  if (rows && (rows->Width() > kMaxPictureSide || rows->Height() > kMaxPictureSide))
    CheckPictureSize(rows->Width(), rows->Height());
  return rows;
}

}  // namespace zindrel
