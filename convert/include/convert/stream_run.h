// The streaming conversion: a picture that a decoder delivers row by row is
// converted while it decodes. A thread of its own reads the rows into a ring
// that holds only the rows the rows of cells still need; each row of cells is
// measured as soon as its rows are there, and matched while the next rows
// decode. Memory does not grow with the picture's height.
#pragma once

#include <cstdint>
#include <functional>

#include "convert/matcher.h"
#include "convert/run.h"
#include "core/pixel_source.h"
#include "core/row_stream.h"

namespace zindrel {

// Converts the picture `rows` delivers, with fixed parameters, on `threads`
// threads besides the decoding one. The host sees exactly what
// ConvertPictureFast on the whole decoded picture gives it: the same
// AppendGlyph, EndRow and AfterCell calls in the same order, on the calling
// thread, and the same result or error after the same cells.
//
// Every row of the picture is read before this returns, also those no cell
// needs, so that a damaged picture is always found: the picture's error then
// wins over an error of the conversion. Only a stop by the host (AfterCell
// returning true) leaves the rest unread.
RunResult ConvertRowStream(const Matcher& matcher, RowStream& rows, int16_t cellSize, int16_t quality, float brightness,
                           RunHost& out, int threads);

// Something else measured per row of cells while its pixel rows are in the
// ring (the colour of each cell): called with the row of cells and the
// picture, of which only that row of cells' pixel rows may be read, on the
// thread that measures the row (any of the run's threads, rows in any
// order), before those pixel rows are given back to the decoder. It must
// not raise.
using RowTap = std::function<void(int row, const PixelSource& picture)>;

// The same while the matcher is still being made (a table loading on
// another thread): rows are read and measured at once, and matched once
// `matcher` has returned. It is called once, on the calling thread; an
// error it raises ends the run at once, before any error of the picture.
// `tap`, when given, sees every row of cells that is measured.
RunResult ConvertRowStream(const std::function<const Matcher&()>& matcher, RowStream& rows, int16_t cellSize,
                           int16_t quality, float brightness, RunHost& out, int threads, const RowTap& tap = {});

// The number of pixel rows the ring holds for a picture of this width and
// height at this cell size: rows for at least four rows of cells, more up to
// about 1 MiB, never more than the picture has.
int StreamRingRows(int width, int height, int16_t cellSize);

}  // namespace zindrel
