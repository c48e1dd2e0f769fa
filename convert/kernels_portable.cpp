// The search loops in portable C++ (see kernels.h).
#include <algorithm>
#include <climits>

#include "kernels.h"

namespace zindrel::kernels {

namespace {

// The better of best and the least (distance, index) key of one bucket.
ZINDREL_INLINE int32_t BucketBest(const GlyphSearchIndex::Bucket& b, const int16_t* low, const int16_t* half,
                                  int32_t best) {
  constexpr int kLanes = GlyphSearchIndex::kLanes;
  int16_t d[kLanes] = {};
  for (int m = 0; m < 9; ++m) {
    const int16_t lo = low[m], h = half[m];
    for (int l = 0; l < kLanes; ++l) {
      const int16_t g = b.value[m][l];
      const int16_t r = static_cast<int16_t>(lo + (h & ((lo ^ g) & 1)));
      const int16_t diff = static_cast<int16_t>(r - g);
      d[l] = static_cast<int16_t>(d[l] + diff * diff);
    }
  }
  int16_t least = 0x7FFF;
  for (int l = 0; l < kLanes; ++l) {
    d[l] = static_cast<int16_t>(d[l] | b.unused[l]);
    least = d[l] < least ? d[l] : least;
  }
  if ((int32_t{least} << 16) >= best) return best;
  int lane = 0;
  while (d[lane] != least) ++lane;
  const int32_t k = (int32_t{least} << 16) | b.index[lane];
  return k < best ? k : best;
}

// Lower bounds of n boxes (SoA, from boxLow/boxHigh at offset 0) as keys: the
// squared distance from the key's range to each box, and the box's lowest
// glyph index.
ZINDREL_INLINE void BoxBounds(const int16_t* const* boxLow, const int16_t* const* boxHigh, const uint16_t* first, int n,
                              const int16_t* low, const int16_t* high, int16_t* acc, int32_t* out) {
  for (int i = 0; i < n; ++i) acc[i] = 0;
  for (int m = 0; m < 9; ++m) {
    const int16_t* bl = boxLow[m];
    const int16_t* bh = boxHigh[m];
    const int16_t lo = low[m], hi = high[m];
    for (int i = 0; i < n; ++i) {
      int16_t t = static_cast<int16_t>(lo - bh[i]);
      const int16_t u = static_cast<int16_t>(bl[i] - hi);
      t = t > u ? t : u;
      t = t > 0 ? t : int16_t{0};
      acc[i] = static_cast<int16_t>(acc[i] + t * t);
    }
  }
  for (int i = 0; i < n; ++i) out[i] = (int32_t{acc[i]} << 16) | first[i];
}

struct Query {
  int16_t low[9], high[9], half[9];
};

// The buckets of group g in ascending order of their bounds, while a bound
// can still beat best.
ZINDREL_INLINE int32_t SearchGroup(const GlyphSearchIndex& index, int g, const Query& q, int32_t best) {
  constexpr int kGroup = GlyphSearchIndex::kGroup;
  const int b0 = index.GroupBegin(g), n = index.GroupBegin(g + 1) - b0;
  const int16_t* boxLow[9];
  const int16_t* boxHigh[9];
  for (int m = 0; m < 9; ++m) {
    boxLow[m] = index.boxLow(m) + b0;
    boxHigh[m] = index.boxHigh(m) + b0;
  }
  int16_t acc[kGroup];
  int32_t bound[kGroup];
  BoxBounds(boxLow, boxHigh, index.boxFirstIndex() + b0, kGroup, q.low, q.high, acc, bound);
  for (int i = n; i < kGroup; ++i) bound[i] = INT32_MAX;
  return VisitBuckets(bound, best,
                      [&](int i, int32_t b) { return BucketBest(index.bucket(b0 + i), q.low, q.half, b); });
}

}  // namespace

bool MakeCellKeyPortable(const GlyphSearchIndex& index, const CellDensity& cell, CellKey& key, KeyBytes& bytes) {
  // Branch-free over the nine blocks: floor by truncation and correction,
  // then the fraction decides between the two neighbours or a half.
  int valid = 1, highest = INT_MIN, lowest = INT_MAX;
  unsigned halves = 0, outside = 0;
  uint64_t blocks = 0;
  for (int m = 0; m < 9; ++m) {
    const float b = cell.Block[m];
    valid &= (b > -1024.0f) & (b < 1024.0f);
    const float clamped = valid ? b : 0.0f;
    const int t = static_cast<int>(clamped);
    const int floor = t - (clamped < static_cast<float>(t));
    const double frac = static_cast<double>(clamped) - floor;  // exact in double
    const int up = frac > 0.5;
    const int half = frac == 0.5;
    const int r = floor + up;
    key.low[m] = static_cast<int16_t>(r);
    halves |= static_cast<unsigned>(half) << m;
    highest = std::max(highest, r + half);
    lowest = std::min(lowest, r);
    outside |= static_cast<unsigned>(r + 128);  // 0..255 exactly when r fits a byte
    if (m < 8) blocks |= uint64_t{static_cast<uint8_t>(r)} << (8 * m);
  }
  key.halves = static_cast<uint16_t>(halves);
  bytes.blocks = blocks;
  bytes.rest = static_cast<uint32_t>(static_cast<uint8_t>(key.low[8])) | halves << 8;
  bytes.fits = outside <= 255;
  return valid && highest - index.valueMin() <= kSafeDifference && index.valueMax() - lowest <= kSafeDifference;
}

int32_t SearchGroupsPortable(const GlyphSearchIndex& index, const CellKey& key, int g0, int g1, int32_t best,
                             std::vector<int32_t>& bound, std::vector<int16_t>& acc) {
  const int n = g1 - g0;
  if (n <= 0) return best;
  if (static_cast<int>(bound.size()) < n) bound.resize(n);
  if (static_cast<int>(acc.size()) < n) acc.resize(n);
  Query q;
  for (int m = 0; m < 9; ++m) {
    const int h = (key.halves >> m) & 1;
    q.low[m] = key.low[m];
    q.high[m] = static_cast<int16_t>(key.low[m] + h);
    q.half[m] = static_cast<int16_t>(h);
  }
  const int16_t* groupLow[9];
  const int16_t* groupHigh[9];
  for (int m = 0; m < 9; ++m) {
    groupLow[m] = index.groupLow(m) + g0;
    groupHigh[m] = index.groupHigh(m) + g0;
  }
  int32_t* gb = bound.data();
  BoxBounds(groupLow, groupHigh, index.groupFirstIndex() + g0, n, q.low, q.high, acc.data(), gb);
  return VisitGroups(gb, n, best, [&](int i, int32_t b) { return SearchGroup(index, g0 + i, q, b); });
}

}  // namespace zindrel::kernels
