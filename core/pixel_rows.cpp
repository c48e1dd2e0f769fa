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
  // Merge the source pixels' edges with the target pixels' edges.
  int x = 0, t = 0;
  while (x < sourceWidth && t < targetWidth) {
    const int64_t sourceEnd = int64_t{x + 1} * targetWidth, targetEnd = int64_t{t + 1} * sourceWidth;
    const int64_t begin = std::max(int64_t{x} * targetWidth, int64_t{t} * sourceWidth);
    spans_.push_back({x, t, std::min(sourceEnd, targetEnd) - begin});
    if (sourceEnd <= targetEnd) ++x;
    if (targetEnd <= sourceEnd) ++t;
  }
  line_.assign(static_cast<size_t>(targetWidth) * 3, 0);
  sums_.assign(static_cast<size_t>(targetWidth) * 3, 0);
  out_.assign(static_cast<size_t>(targetWidth), 0);
}

void BoxScaler::PushRow(const uint32_t* row) {
  if (sourceY_ >= sourceHeight_) Raise(ErrorKind::InvalidCall, "(more rows than the picture has)");
  std::fill(line_.begin(), line_.end(), 0);
  for (const Span& s : spans_) {
    const uint32_t p = row[s.source];
    int64_t* l = &line_[static_cast<size_t>(s.target) * 3];
    l[0] += s.weight * ((p >> 16) & 0xFF);
    l[1] += s.weight * ((p >> 8) & 0xFF);
    l[2] += s.weight * (p & 0xFF);
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
    for (int t = 0; t < targetWidth_; ++t) {
      const int64_t* s = &sums_[static_cast<size_t>(t) * 3];
      uint32_t pixel = 0xFF000000u;
      for (int c = 0; c < 3; ++c) pixel |= static_cast<uint32_t>((2 * s[c] + total) / (2 * total)) << (16 - 8 * c);
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
