// Device-independent bitmaps as metafiles carry them: a header (core or info
// header of any later version), an optional colour table or bit masks, then
// the pixel rows. 1, 4, 8, 16, 24 and 32 bits per pixel; uncompressed, bit
// fields, 8- and 4-bit run-length (skipped pixels are colour 0), and embedded
// JPEG or PNG.
#pragma once

#include <QImage>
#include <QVector>

#include "bytes.h"

namespace zindrel::metafile {

struct DibOptions {
  // The colour table holds 16-bit indices into this palette instead of
  // colours (the "palette colours" usage); an empty palette gives greys.
  bool paletteIndices = false;
  QVector<QRgb> palette;
  // A bitmap with more pixels than this is refused.
  qint64 maxPixels = qint64(1) << 26;
  // 32-bit rows carry premultiplied alpha (for alpha blending): the result is
  // Format_ARGB32_Premultiplied instead of ignoring the fourth byte.
  bool keepAlpha = false;
};

// Decodes the header and colour table in `info` and the rows in `bits`.
// Returns a null image for anything it cannot read; never reads outside the
// two spans. Bitmaps of 8 bits or fewer come back as Format_Indexed8 (so a
// caller can recolour a two-colour pattern), others as Format_RGB32.
QImage DecodeDib(Bytes info, Bytes bits, const DibOptions& options);

// True when the bitmap's rows run from the bottom up (the usual order), so
// source rows given from the bitmap's origin count from its last row.
bool DibIsBottomUp(Bytes info);

// The same for a packed bitmap: header, colour table and rows in one span.
QImage DecodePackedDib(Bytes packed, const DibOptions& options);

}  // namespace zindrel::metafile
