// Pictures read row by row by our own readers, JPEG on libjpeg and PNG on
// libpng, straight into the engine's 0xFFRRGGBB pixels: for a conversion that
// measures each row of cells as soon as its rows are decoded and keeps only
// the rows it still needs. Their pixels are exactly the ones the picture
// room's whole decode gives for the same file. No Qt: the converter's quick
// path reads JPEG and PNG files with these alone.
#pragma once

#include <memory>

#include "core/row_stream.h"
#include "readers/picture_kinds.h"
#include "readers/png_reader.h"

namespace zindrel {

// Opens a JPEG or PNG picture that our own readers take. Returns nullptr for
// every other picture and for the few kinds of JPEG and PNG left to Qt.
// Checks the file's structure first and raises InvalidPicture with the
// reasons the whole decode gives.
//
// No decoded picture is held, so the 1 GiB limit of the whole decode
// applies only to a picture with a side over 32767 pixels (one the
// conversion refuses anyway), whose message stays the same, and to an
// interlaced PNG, which is held whole before its first row is known.
//
// Warnings go to `warnings` as with the whole decode: those of the file's
// structure here, libjpeg's as the rows are read. A PNG that libpng refuses
// goes to `refusal` (see OpenPngRows).
std::unique_ptr<RowStream> OpenPictureRows(PictureBytes data, PictureWarnings* warnings, PngRefusal refusal = {});

}  // namespace zindrel
