#include "core/pixel_rows.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "core/errors.h"

namespace zindrel {

void NegateRow(uint32_t* row, int width) {
  for (int x = 0; x < width; ++x) row[x] ^= 0x00FFFFFFu;
}

// Both pictures are laid on one scale on which a source pixel is
// targetWidth units wide and a target pixel sourceWidth units wide (the
// same vertically): every overlap is then a whole number of units, and a
// target pixel's weights add up to sourceWidth * sourceHeight exactly.
BoxScaler::BoxScaler(int sourceWidth, int sourceHeight, int targetWidth, int targetHeight, RowSink sink)
    : sourceWidth_(sourceWidth),
      sourceHeight_(sourceHeight),
      targetWidth_(targetWidth),
      targetHeight_(targetHeight),
      sink_(std::move(sink)) {
  if (sourceWidth < 1 || sourceHeight < 1 || targetWidth < 1 || targetHeight < 1)
    Raise(ErrorKind::InvalidCall, "(a picture size below 1 pixel)");
  if (int64_t{sourceWidth} * sourceHeight > (int64_t{1} << 40))
    Raise(ErrorKind::InvalidCall, "(a picture of more than 2^40 pixels to scale)");
  // Merge the source pixels' edges with the target pixels' edges: a target
  // pixel covers part of its first and last source pixel and the whole of
  // those between, each of which weighs targetWidth.
  covers_.resize(static_cast<size_t>(targetWidth));
  int x = 0, t = 0;
  bool started = false;
  while (x < sourceWidth && t < targetWidth) {
    const int64_t sourceEnd = int64_t{x + 1} * targetWidth, targetEnd = int64_t{t + 1} * sourceWidth;
    const int64_t begin = std::max(int64_t{x} * targetWidth, int64_t{t} * sourceWidth);
    const int64_t weight = std::min(sourceEnd, targetEnd) - begin;
    Cover& c = covers_[static_cast<size_t>(t)];
    if (!started) c.first = x, c.firstWeight = weight, started = true;
    c.last = x, c.lastWeight = weight;
    if (sourceEnd <= targetEnd) ++x;
    if (targetEnd <= sourceEnd) ++t, started = false;
  }
  line_.assign(static_cast<size_t>(targetWidth) * 3, 0);
  sums_.assign(static_cast<size_t>(targetWidth) * 3, 0);
  out_.assign(static_cast<size_t>(targetWidth), 0);
}

void BoxScaler::PushRow(const uint32_t* row) {
  if (sourceY_ >= sourceHeight_) Raise(ErrorKind::InvalidCall, "(more rows than the picture has)");
  for (size_t t = 0; t < covers_.size(); ++t) {
    const Cover& c = covers_[t];
    // The whole source pixels between the first and the last, summed once.
    int64_t red = 0, green = 0, blue = 0;
    for (int x = c.first + 1; x < c.last; ++x) {
      const uint32_t p = row[x];
      red += (p >> 16) & 0xFF, green += (p >> 8) & 0xFF, blue += p & 0xFF;
    }
    const int64_t full = targetWidth_;
    red *= full, green *= full, blue *= full;
    const uint32_t p = row[c.first];
    red += c.firstWeight * ((p >> 16) & 0xFF), green += c.firstWeight * ((p >> 8) & 0xFF);
    blue += c.firstWeight * (p & 0xFF);
    if (c.last != c.first) {
      const uint32_t q = row[c.last];
      red += c.lastWeight * ((q >> 16) & 0xFF), green += c.lastWeight * ((q >> 8) & 0xFF);
      blue += c.lastWeight * (q & 0xFF);
    }
    int64_t* l = &line_[t * 3];
    l[0] = red, l[1] = green, l[2] = blue;
  }
  const int64_t begin = int64_t{sourceY_} * targetHeight_, end = begin + targetHeight_;
  const int64_t total = int64_t{sourceWidth_} * sourceHeight_;
  // A source row may finish several target rows (enlarging) or none.
  while (targetY_ < targetHeight_) {
    const int64_t targetEnd = int64_t{targetY_ + 1} * sourceHeight_;
    const int64_t overlap = std::min(end, targetEnd) - std::max(begin, int64_t{targetY_} * sourceHeight_);
    if (overlap <= 0) break;
    for (size_t i = 0; i < sums_.size(); ++i) sums_[i] += overlap * line_[i];
    if (targetEnd > end) break;
    // floor((2 sum + total) / (2 total)), the mean rounded halves up. In
    // double: both are whole numbers below 2^50, so exact, and the quotient
    // is below 256, so its rounding error (at most 2^-45) stays below the
    // distance 1 / (2 total) >= 2^-41 of any fraction from the next whole
    // number; a whole quotient comes out exact. Much quicker than 64-bit
    // integer division.
    const double divisor = 2.0 * static_cast<double>(total);
    for (int t = 0; t < targetWidth_; ++t) {
      const int64_t* s = &sums_[static_cast<size_t>(t) * 3];
      uint32_t pixel = 0xFF000000u;
      for (int c = 0; c < 3; ++c)
        pixel |= static_cast<uint32_t>(static_cast<double>(2 * s[c] + total) / divisor) << (16 - 8 * c);
      out_[t] = pixel;
    }
    std::fill(sums_.begin(), sums_.end(), 0);
    sink_(targetY_, out_.data());
    ++targetY_;
  }
  ++sourceY_;
}

int ScaledHeight(int width, int height, int newWidth) {
  const int64_t twice = 2 * int64_t{height} * newWidth + width;
  return static_cast<int>(std::clamp<int64_t>(twice / (2 * int64_t{width}), 1, INT32_MAX));
}

}  // namespace zindrel
