// Cell density sampling: one square cell of the picture as nine sub-block
// brightness values on the 0..15 scale and a total level in 1..84.
#pragma once

#include <array>
#include <cstdint>

#include "core/pixel_source.h"

namespace zindrel {

struct CellDensity {
  // Sub-blocks in reading order: Block[0..2] the top row from the left,
  // Block[3..5] the middle row, Block[6..8] the bottom row. Multiplied by the
  // brightness factor and not clamped.
  std::array<float, 9> Block{};
  // Sum of the nine values before the brightness step, times the factor,
  // held within 1..84.
  float Total = 0;
};

// Edge in pixels of one sub-block for a cell size: round(CellSize / 3 - 1) + 1.
int16_t SubBlockEdge(int16_t cellSize);

// The luminance of one colour 0x00BBGGRR (or -1, white) as a 32-bit float:
// 0.6 green + 0.3 red + 0.1 blue in double, then stored.
float Luminance(int32_t colour);

// Measures cell (row, column). Pixel coordinates are 16-bit: a coordinate
// past 32767 raises the overflow error. Reads raw rows when the picture has
// them and Point otherwise; both give the same result to the bit.
CellDensity MeasureCell(const PixelSource& picture, int16_t row, int16_t column, int16_t cellSize,
                        float brightnessFactor);

// The plain path, one Point per pixel, kept as the reference.
CellDensity MeasureCellByPoint(const PixelSource& picture, int16_t row, int16_t column, int16_t cellSize,
                               float brightnessFactor);

}  // namespace zindrel
