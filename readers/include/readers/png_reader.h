// Our own PNG reader on libpng, giving exactly the pixels of Qt's PNG reader
// followed by the picture room's flattening on white: grey, palette, RGB and
// their alpha and transparent-colour forms at 1 to 8 bits, grey and RGB at
// 16 bits (scaled to 8 bits with rounding, as Qt converts them), interlaced
// or not. The file's gamma is not applied, as Qt does not apply it.
#pragma once

#include <functional>
#include <memory>

#include "core/row_stream.h"
#include "readers/picture_kinds.h"

namespace zindrel {

// Reads the header of a PNG that CheckPngComplete has accepted. Returns
// nullptr for the forms we leave to Qt (16 bits with alpha or a transparent
// colour). When libpng cannot read the file, at its header or later in its
// rows, `refusal` is given the bytes and raises the error to report (the
// picture room asks Qt's reader, so that the reason is Qt's own); without
// one, or when it returns, InvalidPicture is raised with libpng's reason,
// "(PNG: ...)".
using PngRefusal = std::function<void(const PictureBytes&)>;
std::unique_ptr<RowStream> OpenPngRows(PictureBytes data, PngRefusal refusal);

}  // namespace zindrel
