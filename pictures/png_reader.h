// Our own PNG reader on libpng, giving exactly the pixels of Qt's PNG reader
// followed by the picture room's flattening on white: grey, palette, RGB and
// their alpha and transparent-colour forms at 1 to 8 bits, grey and RGB at
// 16 bits (scaled to 8 bits with rounding, as Qt converts them), interlaced
// or not. The file's gamma is not applied, as Qt does not apply it. Private
// to the picture room.
#pragma once

#include <QByteArray>
#include <memory>

#include "core/row_stream.h"

namespace zindrel {

// Reads the header of a PNG that CheckPngComplete has accepted. Returns
// nullptr for the forms we leave to Qt (16 bits with alpha or a transparent
// colour). A file that libpng cannot read raises the error Qt's reader gives
// for it.
std::unique_ptr<RowStream> OpenPngRows(QByteArray data);

}  // namespace zindrel
