#include "convert/cell_colour.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "convert/measure.h"

namespace zindrel {

namespace {

uint8_t Finish(int64_t sum, int64_t pixels, float brightnessFactor) {
  const double value = static_cast<double>(sum) / static_cast<double>(pixels) * brightnessFactor;
  return static_cast<uint8_t>(std::clamp(std::floor(value + 0.5), 0.0, 255.0));
}

}  // namespace

void MeasureCellColours(const PixelSource& picture, int row, int count, int16_t cellSize, float brightnessFactor,
                        CellColour* out) {
  if (count <= 0) return;
  const int span = 3 * SubBlockEdge(cellSize);
  const int width = picture.Width(), height = picture.Height();
  const bool rows = height > 0 && picture.Row(0) != nullptr;
  std::vector<int64_t> sums(static_cast<size_t>(count) * 3, 0);
  const int y0 = row * cellSize;
  for (int y = y0; y < y0 + span; ++y) {
    const uint32_t* line = rows && y < height ? picture.Row(y) : nullptr;
    for (int j = 0; j < count; ++j) {
      int64_t* s = &sums[static_cast<size_t>(j) * 3];
      const int x0 = j * cellSize;
      for (int x = x0; x < x0 + span; ++x) {
        uint32_t r = 255, g = 255, b = 255;
        if (line) {
          if (x < width) {
            const uint32_t p = line[x];
            r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
          }
        } else if (!rows) {
          const int32_t colour = picture.Point(x, y);
          if (colour != -1) r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
        }
        s[0] += r, s[1] += g, s[2] += b;
      }
    }
  }
  const int64_t pixels = int64_t{span} * span;
  for (int j = 0; j < count; ++j) {
    const int64_t* s = &sums[static_cast<size_t>(j) * 3];
    out[j] = {Finish(s[0], pixels, brightnessFactor), Finish(s[1], pixels, brightnessFactor),
              Finish(s[2], pixels, brightnessFactor)};
  }
}

}  // namespace zindrel
