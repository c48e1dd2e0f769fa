// Our own JPEG reader on libjpeg, set up as Qt's JPEG plugin sets it up (the
// accurate integer IDCT, smooth upsampling, libjpeg's colour conversion), so
// that its pixels are exactly the ones Qt gives; rows go straight into
// 0xFFRRGGBB pixels. EXIF orientation is not applied, as Qt's reader does not
// apply it unless asked. Used by the picture room for a whole decode.
#pragma once

#include <memory>

#include "core/row_stream.h"
#include "readers/picture_kinds.h"

namespace zindrel {

// Walks the file's markers (CheckJpegComplete, whose stray-byte warnings go
// to `warnings`; libjpeg's own report of them is then not given twice) and
// reads the header. Returns nullptr for a colour space we leave to Qt (other
// than grey, YCbCr, RGB, CMYK and YCCK), the markers' warnings added all the
// same. Raises InvalidPicture with the walk's reason, or libjpeg's as Qt
// words it ("(JPEG: ...)"). libjpeg's warnings while decoding go to
// `warnings`, one phrase each.
std::unique_ptr<RowStream> OpenJpegRows(PictureBytes data, PictureWarnings* warnings);

}  // namespace zindrel
