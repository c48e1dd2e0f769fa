// The numeric rules the conversion follows to the bit:
//  - 16-bit signed integers whose arithmetic and conversions raise the
//    overflow error instead of wrapping;
//  - conversions from fractions round to the nearest integer, ties to even;
//  - fractions are stored as 32-bit floats at every store, with the
//    arithmetic between stores done in double precision.
#pragma once

#include <cmath>
#include <cstdint>

#include "core/errors.h"

namespace zindrel {

// Round to the nearest integer, ties to even (independent of the FPU mode).
inline double RoundHalfEven(double v) {
  double r = std::floor(v);
  double diff = v - r;
  if (diff > 0.5) return r + 1.0;
  if (diff < 0.5) return r;
  return std::fmod(r, 2.0) == 0.0 ? r : r + 1.0;
}

// A fraction turned into a 16-bit integer: rounded half to even, range checked.
inline int16_t ToInt16(double v) {
  if (std::isnan(v)) Raise(ErrorKind::Overflow);
  double r = RoundHalfEven(v);
  if (r < -32768.0 || r > 32767.0) Raise(ErrorKind::Overflow);
  return static_cast<int16_t>(r);
}

// The same into a 32-bit integer.
inline int32_t ToInt32(double v) {
  if (std::isnan(v)) Raise(ErrorKind::Overflow);
  double r = RoundHalfEven(v);
  if (r < -2147483648.0 || r > 2147483647.0) Raise(ErrorKind::Overflow);
  return static_cast<int32_t>(r);
}

inline int16_t Checked16(int32_t v) {
  if (v < -32768 || v > 32767) Raise(ErrorKind::Overflow);
  return static_cast<int16_t>(v);
}
inline int16_t Add16(int16_t a, int16_t b) { return Checked16(int32_t{a} + int32_t{b}); }
inline int16_t Sub16(int16_t a, int16_t b) { return Checked16(int32_t{a} - int32_t{b}); }
inline int16_t Mul16(int16_t a, int16_t b) { return Checked16(int32_t{a} * int32_t{b}); }

// Store a double result as a 32-bit float (round to nearest, ties to even).
// A result that is not a number or does not fit raises the floating-point
// error, as every floating-point step is checked.
inline float StoreF32(double v) {
  float f = static_cast<float>(v);
  if (!std::isfinite(f)) {
    if (std::isnan(f)) Raise(ErrorKind::InvalidCall, "(invalid floating-point operation)");
    Raise(ErrorKind::Overflow, "(floating-point overflow)");
  }
  return f;
}

// Checked floating-point division.
inline double DivideF(double a, double b) {
  if (b == 0.0) Raise(ErrorKind::DivisionByZero);
  return a / b;
}

}  // namespace zindrel
