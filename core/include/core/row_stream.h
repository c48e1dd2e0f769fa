// A picture that arrives row by row, top to bottom, as a decoder delivers
// it: the seam between a picture reader and a conversion that measures each
// row of cells as soon as its pixel rows are there. A per-row transform (a
// negative, a scaling that reads a few rows and writes one) is a RowStream
// that reads another.
#pragma once

#include <cstdint>

namespace zindrel {

class RowStream {
 public:
  virtual ~RowStream() = default;

  // The picture's size in pixels, known before any row is read.
  virtual int Width() const = 0;
  virtual int Height() const = 0;

  // Delivers the next `count` rows (count >= 1, no more than remain), each
  // into its own buffer of Width() pixels of 0xAARRGGBB (red in bits
  // 16..23, blue in the low byte; alpha 0xFF). Raises RuntimeError when the
  // picture turns out to be damaged; nothing more is read after that.
  virtual void ReadRows(uint32_t* const* rows, int count) = 0;
};

}  // namespace zindrel
