// Our own decoder of uncompressed and bit-field bitmap rows, for the BMP
// variants that Qt's reader does not take (2-bit palettes, the 52- and
// 56-byte info headers, short OS/2 2.x headers, palettes longer than the
// depth needs, alpha bit fields) and for the images inside icons and
// cursors. Every row is read from bytes the header check has found in the
// file, so no pixel is made up.
//
// Colours: palette entries as stored; an index past the palette's end is
// black. A bit-field colour channel of n bits becomes the top n bits of its
// 8-bit value, as Qt's reader makes it for the headers it reads (5 bits: 31
// is 248), so one set of rows gives one picture under every header; a wider
// channel keeps its top 8 bits. 16-bit pixels without bit fields are 5-5-5,
// 32-bit ones 8-8-8 with the fourth byte unused. The alpha mask, where there
// is one, gives each pixel's opacity (its bits repeated to fill 8, so a set
// 1-bit alpha is opaque), unless every pixel has alpha 0: then the mask is
// taken as unused and the picture is opaque, as web browsers show such files.
#pragma once

#include <QImage>
#include <cstddef>

#include "dib/bmp_file.h"

namespace zindrel {

// Decodes the rows of an uncompressed (0) or bit-field (3, 6) bitmap whose
// header ReadBmpHeader or ReadDibHeader gave, after CheckBmpPixelData. The
// result is Format_RGB32, or Format_ARGB32 when it has an alpha channel.
QImage DecodeBmpRows(const BmpHeader& header, const unsigned char* data, size_t size);

}  // namespace zindrel
