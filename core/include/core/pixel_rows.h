// Transforms of pixel rows on their way from a decoder to the measurement.
// Rows are 0xAARRGGBB pixels, as PixelSource::Row gives them. Each transform
// works on one row at a time, in order from the top, so a decoder that
// delivers rows one by one can feed them straight through.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace zindrel {

// The negative of a row in place: every colour channel c becomes 255 - c;
// alpha is kept.
void NegateRow(uint32_t* row, int width);

// Scales a picture with a box filter: every target pixel is the mean of the
// source pixels under it, each weighted by the area it covers, rounded to
// the nearest whole value (halves up). A target of the source's own size
// gives the source unchanged. Alpha is not averaged: target pixels are
// opaque (0xFF).
class BoxScaler {
 public:
  // Called with each finished target row, top to bottom; the row is valid
  // during the call only.
  using RowSink = std::function<void(int y, const uint32_t* row)>;

  // Sizes of at least 1 on each side. Raises InvalidCall for a size below 1
  // or a source of more than 2^40 pixels (the sums would not fit 64 bits).
  BoxScaler(int sourceWidth, int sourceHeight, int targetWidth, int targetHeight, RowSink sink);

  // Takes the next source row (sourceWidth pixels); hands on every target
  // row this row completes. Raises InvalidCall past the last source row.
  void PushRow(const uint32_t* row);

  // Target rows handed on so far.
  int rowsDone() const { return targetY_; }

 private:
  // The source pixels under a target pixel: the first and the last (the
  // same one when it covers only one) with the units of them it covers.
  struct Cover {
    int first = 0, last = 0;
    int64_t firstWeight = 0, lastWeight = 0;
  };
  int sourceWidth_, sourceHeight_, targetWidth_, targetHeight_;
  RowSink sink_;
  std::vector<Cover> covers_;  // one per target pixel
  std::vector<int64_t> line_;  // one source row scaled across: 3 per target pixel
  std::vector<int64_t> sums_;  // the target row being filled: 3 per target pixel
  std::vector<uint32_t> out_;  // a finished target row
  int sourceY_ = 0, targetY_ = 0;
};

// The target height that keeps a picture's aspect ratio at a new width:
// height * newWidth / width rounded to the nearest whole pixel (halves up),
// at least 1 and at most INT32_MAX. Sizes of at least 1.
int ScaledHeight(int width, int height, int newWidth);

}  // namespace zindrel
