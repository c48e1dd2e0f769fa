// The colour of a cell: the mean colour of the pixels MeasureCell reads for
// it, so that a glyph can be shown in the colour of the part of the picture
// it stands for. Measured per row of cells, beside the glyph choice.
#pragma once

#include <cstdint>

#include "core/pixel_source.h"

namespace zindrel {

struct CellColour {
  uint8_t red = 0, green = 0, blue = 0;
  friend bool operator==(const CellColour& a, const CellColour& b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
  }
  friend bool operator!=(const CellColour& a, const CellColour& b) { return !(a == b); }
};

// The colours of cells (row, 0) .. (row, count - 1). A cell's pixels are the
// square of 3 x SubBlockEdge(cellSize) pixels from its corner, the nine
// sub-blocks MeasureCell reads; points outside the picture count as white,
// as they do there. Each channel's mean is multiplied by the brightness
// factor, rounded to the nearest whole value (halves up) and held within
// 0..255. Reads raw rows when the picture has them and Point otherwise.
// cellSize of at least 1.
void MeasureCellColours(const PixelSource& picture, int row, int count, int16_t cellSize, float brightnessFactor,
                        CellColour* out);

}  // namespace zindrel
