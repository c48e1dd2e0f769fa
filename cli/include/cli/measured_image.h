// The measured picture of a picture decoded whole (cli/measured_picture.h
// has the same for one that streams row by row).
#pragma once

#include <QImage>

#include "cli/measured_picture.h"

namespace zindrel::cli {

// The decoded picture (Format_RGB32) negated when invert, then scaled to
// target when target has a size (0 x 0: not scaled), as Format_RGB32.
// Raises Overflow for a result wider or higher than kMaxPictureSide, before
// any scaling is done, and OutOfMemory when its memory cannot be had.
QImage MeasuredPicture(QImage decoded, bool invert, PictureSize target);

}  // namespace zindrel::cli
