// Shared set-up of the benchmarks: the glyph table and a test picture.
#pragma once

#include <QImage>
#include <QString>
#include <string>

#include "glyphs/glyph_table.h"

namespace zindrel::bench {

// data/Data.han when present (and loadable), else a synthetic table of the
// same size whose levels follow a bell curve like a real table's.
const GlyphTable& BenchTable();
bool BenchTableIsShipped();

// The sample picture (data/Varnock.bmp) scaled smoothly to width x height,
// as Format_RGB32; a synthetic picture if the sample is missing.
QImage BenchPicture(int width, int height);

}  // namespace zindrel::bench
