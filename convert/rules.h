// Rules of the measurement that every path follows, written once: the
// luminance of a pixel and the finish of a cell (the brightness step and the
// clamp). The plain path (MeasureCellByPoint), MeasureCell and the row-wise
// MeasureCellRow all call these.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>

#include "convert/measure.h"
#include "simd.h"

namespace zindrel::rules {

// 0.6 green + 0.3 red + 0.1 blue, in double and in that order, stored as a
// 32-bit float.
ZINDREL_INLINE float Luminance(uint32_t red, uint32_t green, uint32_t blue) {
  return static_cast<float>(0.6 * green + 0.3 * red + 0.1 * blue);
}

// The luminance depends on a colour only through its weight 6 green + 3 red +
// blue (0..2550): the exact value is weight / 10, which never lies near enough
// to a point halfway between two floats for the double arithmetic's own
// rounding to matter. So every colour of one weight stores the same float,
// and so does weight / 10.0 in double, which the row measurement computes
// (in vector instructions); a test checks all 2^24 colours against
// Luminance.
inline uint32_t LuminanceWeight(uint32_t argb) {
  return 6 * ((argb >> 8) & 0xFF) + 3 * ((argb >> 16) & 0xFF) + (argb & 0xFF);
}

// The brightness step and the clamp. values are the nine sub-blocks on the
// 0..15 scale; the total is their sum times the brightness factor, held
// within 1..84, and each block is its value times the factor (not clamped).
// Float additions and multiplications give exactly the float that the double
// operation stored as float gives (double has more than twice float's
// precision plus two bits). Returns false, with *bad the first result that is
// not a finite float (the plain path raises the floating-point error for it),
// and leaves cell unfinished.
ZINDREL_INLINE bool FinishCell(const float* values, float brightnessFactor, CellDensity& cell, float* bad) {
  float total = 0.0f;
  for (int b = 0; b < 9; ++b) total += values[b];
  total *= brightnessFactor;
  if (!std::isfinite(total)) {
    *bad = total;
    return false;
  }
  for (int b = 0; b < 9; ++b) {
    const float value = values[b] * brightnessFactor;
    if (!std::isfinite(value)) {
      *bad = value;
      return false;
    }
    cell.Block[b] = value;
  }
  if (!(total >= 1.0f)) total = 1.0f;
  if (total > 84.0f) total = 84.0f;
  cell.Total = total;
  return true;
}

}  // namespace zindrel::rules
