#include "convert/measure.h"

#include "core/numeric.h"
#include "rules.h"

namespace zindrel {

int16_t SubBlockEdge(int16_t cellSize) { return Add16(ToInt16(static_cast<double>(cellSize) / 3.0 - 1.0), 1); }

namespace {

// Turns the nine sums into the cell's result: each sum scaled to the 0..15
// scale (times 9, divided by the cell size twice, times 15 / 255, every step
// stored as a float), then the brightness step and the clamp.
CellDensity Finish(const std::array<float, 9>& sums, int16_t cellSize, float brightnessFactor) {
  std::array<float, 9> values{};
  for (int b = 0; b < 9; ++b) {
    const float scaled = StoreF32(DivideF(DivideF(static_cast<double>(sums[b]) * 9.0, cellSize), cellSize));
    values[b] = StoreF32(static_cast<double>(scaled) * 15.0 / 255.0);
  }
  CellDensity cell;
  float bad = 0.0f;
  if (!rules::FinishCell(values.data(), brightnessFactor, cell, &bad)) StoreF32(bad);  // raises
  return cell;
}

}  // namespace

float Luminance(int32_t colour) {
  // floor division and AND on two's-complement bits: an arithmetic shift.
  const int32_t q = colour >> 8;
  const uint32_t red = static_cast<uint32_t>(colour) & 255u;
  const uint32_t green = static_cast<uint32_t>(q) & 255u;
  const uint32_t blue = static_cast<uint32_t>(q >> 8) & 255u;
  return rules::Luminance(red, green, blue);
}

CellDensity MeasureCellByPoint(const PixelSource& picture, int16_t row, int16_t column, int16_t cellSize,
                               float brightnessFactor) {
  const int16_t e = SubBlockEdge(cellSize);
  std::array<float, 9> sums{};
  for (int16_t g = 0; g <= 2; ++g) {
    for (int16_t k = 0; k <= 2; ++k) {
      float sum = 0.0f;
      for (int16_t l = 0; l < e; ++l) {
        for (int16_t c = 0; c < e; ++c) {
          const int16_t x = Add16(Add16(Mul16(cellSize, column), Mul16(k, e)), c);
          const int16_t y = Add16(Add16(Mul16(cellSize, row), Mul16(g, e)), l);
          sum = StoreF32(static_cast<double>(sum) + Luminance(picture.Point(x, y)));
        }
      }
      sums[3 * g + k] = sum;
    }
  }
  return Finish(sums, cellSize, brightnessFactor);
}

CellDensity MeasureCell(const PixelSource& picture, int16_t row, int16_t column, int16_t cellSize,
                        float brightnessFactor) {
  if (cellSize < 1 || row < 0 || column < 0 || picture.Height() <= 0 || picture.Row(0) == nullptr)
    return MeasureCellByPoint(picture, row, column, cellSize, brightnessFactor);
  const int16_t e = SubBlockEdge(cellSize);
  // The largest coordinate the plain path forms; if it overflows, so does the
  // plain path (and with the same error).
  const int16_t x0 = Mul16(cellSize, column);
  const int16_t y0 = Mul16(cellSize, row);
  Add16(Add16(x0, Mul16(2, e)), static_cast<int16_t>(e - 1));
  Add16(Add16(y0, Mul16(2, e)), static_cast<int16_t>(e - 1));

  const int width = picture.Width(), height = picture.Height();
  std::array<float, 9> sums{};
  for (int g = 0; g < 3; ++g) {
    for (int k = 0; k < 3; ++k) {
      float sum = 0.0f;
      const int xs = x0 + k * e;
      for (int l = 0; l < e; ++l) {
        const int y = y0 + g * e + l;
        const uint32_t* line = y < height ? picture.Row(y) : nullptr;
        for (int c = 0; c < e; ++c) {
          const int x = xs + c;
          float lum = 255.0f;
          if (line && x < width) {
            const uint32_t p = line[x];
            lum = rules::Luminance((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
          }
          sum = static_cast<float>(static_cast<double>(sum) + lum);
        }
      }
      sums[3 * g + k] = sum;
    }
  }
  return Finish(sums, cellSize, brightnessFactor);
}

}  // namespace zindrel
