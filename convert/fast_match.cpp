#include "convert/fast_match.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>

#include "simd.h"

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define ZINDREL_AVX2_KERNELS 1
#include <immintrin.h>
#else
#define ZINDREL_AVX2_KERNELS 0
#endif
#include "core/numeric.h"

namespace zindrel {

namespace {

// Keys compare (distance, glyph index) in one number: the distance in the
// high 16 bits, the index in the low 16 bits.
constexpr int32_t kNoChoiceKey = int32_t{kNoMatchDistance} << 16;

// Largest difference between a rounded block and a glyph value for which nine
// squares always fit the 16-bit sum (9 * 60 * 60 = 32400).
constexpr int kSafeDifference = 60;

std::atomic<uint64_t> gNextIndexId{1};

}  // namespace

GlyphSearchIndex::GlyphSearchIndex(const GlyphTable& table) : id_(gNextIndexId.fetch_add(1)) {
  startPos_.fill(-1);
  valueMin_ = INT_MAX;
  valueMax_ = INT_MIN;
  for (int n = 1; n <= GLYPH_COUNT; ++n) {
    const auto& row = table.Row(n);
    for (int m = 1; m <= 9; ++m) {
      valueMin_ = std::min<int>(valueMin_, row[m]);
      valueMax_ = std::max<int>(valueMax_, row[m]);
    }
  }
  usable_ = true;
  for (int level = 1; level <= LEVEL_COUNT; ++level) {
    const int16_t s = table.LevelStart(level);
    if (s == 0) continue;
    if (s < 1 || s > GLYPH_COUNT) usable_ = false;  // the plain search raises the index error
    starts_.push_back(s);
  }
  if (!usable_) return;
  std::sort(starts_.begin(), starts_.end());
  starts_.erase(std::unique(starts_.begin(), starts_.end()), starts_.end());
  for (int level = 1; level <= LEVEL_COUNT; ++level) {
    const int16_t s = table.LevelStart(level);
    if (s != 0)
      startPos_[level] = static_cast<int>(std::lower_bound(starts_.begin(), starts_.end(), s) - starts_.begin());
  }
  std::vector<int> glyphs;
  for (size_t p = 0; p < starts_.size(); ++p) {
    firstGroup_.push_back(static_cast<int>(groupBegin_.size()));
    if (p + 1 < starts_.size()) {
      glyphs.clear();
      for (int n = starts_[p]; n < starts_[p + 1]; ++n) glyphs.push_back(n);
      const int before = bucketCount();
      BuildRun(table, glyphs, 0, static_cast<int>(glyphs.size()));
      CloseGroups(before);
    }
  }
  groupBegin_.push_back(bucketCount());
  // Vector loops read boxes in blocks of 16, past the last one.
  for (int m = 0; m < 9; ++m) {
    boxLow_[m].resize(boxLow_[m].size() + 16, 0);
    boxHigh_[m].resize(boxHigh_[m].size() + 16, 0);
    groupLow_[m].resize(groupLow_[m].size() + 16, 0);
    groupHigh_[m].resize(groupHigh_[m].size() + 16, 0);
  }
  boxFirstIndex_.resize(boxFirstIndex_.size() + 16, 0);
  groupFirstIndex_.resize(groupFirstIndex_.size() + 16, 0);
}

// Groups the buckets from fromBucket on (one run's) by kGroup neighbours,
// with the box around their boxes.
void GlyphSearchIndex::CloseGroups(int fromBucket) {
  for (int b = fromBucket; b < bucketCount(); b += kGroup) {
    const int end = std::min(b + kGroup, bucketCount());
    groupBegin_.push_back(b);
    uint16_t first = UINT16_MAX;
    for (int m = 0; m < 9; ++m) {
      int16_t low = INT16_MAX, high = INT16_MIN;
      for (int i = b; i < end; ++i) {
        low = std::min(low, boxLow_[m][i]);
        high = std::max(high, boxHigh_[m][i]);
      }
      groupLow_[m].push_back(low);
      groupHigh_[m].push_back(high);
    }
    for (int i = b; i < end; ++i) first = std::min(first, boxFirstIndex_[i]);
    groupFirstIndex_.push_back(first);
  }
}

// Splits glyphs[begin, end) along its widest dimension until every part fits
// one bucket; parts are whole buckets where possible.
void GlyphSearchIndex::BuildRun(const GlyphTable& table, std::vector<int>& glyphs, int begin, int end) {
  const int count = end - begin;
  if (count <= kLanes) {
    AddBucket(table, glyphs.data() + begin, count);
    return;
  }
  long sum[10] = {}, sumSq[10] = {};
  for (int i = begin; i < end; ++i) {
    const auto& row = table.Row(glyphs[i]);
    for (int m = 1; m <= 9; ++m) {
      const long v = row[m];
      sum[m] += v;
      sumSq[m] += v * v;
    }
  }
  int bestDim = 1;
  long bestSpread = -1;
  for (int m = 1; m <= 9; ++m) {
    const long spread = sumSq[m] * count - sum[m] * sum[m];  // count^2 times the variance
    if (spread > bestSpread) {
      bestSpread = spread;
      bestDim = m;
    }
  }
  const int halves = (count + kLanes - 1) / kLanes;  // buckets needed
  const int left = std::max(1, halves / 2) * kLanes;
  // Only the split matters (a bucket sorts its own lanes), so a partition
  // around the left part's size will do.
  std::nth_element(glyphs.begin() + begin, glyphs.begin() + begin + left, glyphs.begin() + end, [&](int a, int b) {
    const int16_t va = table.Row(a)[bestDim], vb = table.Row(b)[bestDim];
    return va < vb || (va == vb && a < b);
  });
  BuildRun(table, glyphs, begin, begin + left);
  BuildRun(table, glyphs, begin + left, end);
}

void GlyphSearchIndex::AddBucket(const GlyphTable& table, int* glyphs, int count) {
  // Lanes in ascending glyph order: the first lane of the least distance is
  // then the lowest index among the equally near.
  std::sort(glyphs, glyphs + count);
  Bucket b{};
  std::array<int16_t, 9> low, high;
  low.fill(INT16_MAX);
  high.fill(INT16_MIN);
  for (int l = 0; l < kLanes; ++l) {
    // Unused lanes repeat the first glyph's values, so that their distances
    // stay within 16 bits like the others', and are then masked out.
    const bool used = l < count;
    const auto& row = table.Row(glyphs[used ? l : 0]);
    for (int m = 0; m < 9; ++m) {
      b.value[m][l] = row[m + 1];
      low[m] = std::min(low[m], row[m + 1]);
      high[m] = std::max(high[m], row[m + 1]);
    }
    b.index[l] = used ? static_cast<uint16_t>(glyphs[l]) : uint16_t{0};
    b.unused[l] = used ? int16_t{0} : int16_t{0x7FFF};
  }
  buckets_.push_back(b);
  for (int m = 0; m < 9; ++m) {
    boxLow_[m].push_back(low[m]);
    boxHigh_[m].push_back(high[m]);
  }
  boxFirstIndex_.push_back(static_cast<uint16_t>(glyphs[0]));
}

std::shared_ptr<const GlyphSearchIndex> SearchIndexFor(const GlyphTable& table) {
  auto cache = table.Cache().Get(
      [&]() -> std::shared_ptr<const GlyphTableCache> { return std::make_shared<GlyphSearchIndex>(table); });
  return std::static_pointer_cast<const GlyphSearchIndex>(cache);
}

MatchMemo::MatchMemo() : entries_(size_t{1} << kBits) {}

size_t MatchMemo::Slot(uint64_t k1, uint64_t k2) {
  const uint64_t h = (k1 * 0x9E3779B97F4A7C15ull) ^ (k2 * 0xC2B2AE3D27D4EB4Full);
  return static_cast<size_t>((h ^ (h >> 29)) >> (64 - kBits));
}

bool MatchMemo::Find(uint64_t owner, uint64_t k1, uint64_t k2, int& glyph) const {
  if (owner != owner_) return false;
  const Entry& e = entries_[Slot(k1, k2)];
  if (e.k1 != k1 || e.k2 != k2) return false;
  glyph = e.glyph;
  return true;
}

void MatchMemo::Store(uint64_t owner, uint64_t k1, uint64_t k2, int glyph) {
  if (owner != owner_) {
    std::fill(entries_.begin(), entries_.end(), Entry{});
    owner_ = owner;
  }
  Entry& e = entries_[Slot(k1, k2)];
  e.k1 = k1;
  e.k2 = k2;
  e.glyph = glyph;
}

bool MatchMemo::Window(const GlyphSearchIndex& index, float total, int16_t quality, int& lowerLevel, int& upperLevel) {
  if (!index.usable() || !(total >= 1.0f && total <= 84.0f) || quality < 0 || quality > 1000) return false;
  // For a total that is not within 2^-16 of a half, both ends round as the
  // rounded total plus or minus a whole number: the lower end is an exact
  // difference, and the upper end's sum, stored as float below 128, moves by
  // less than 2^-18 and crosses no rounding boundary. The window then
  // depends only on the rounded total.
  const int whole = static_cast<int>(total);  // the floor, as total >= 1
  const float frac = total - static_cast<float>(whole);
  if (std::fabs(frac - 0.5f) <= 1.0f / 65536.0f) return false;
  const int rounded = whole + (frac > 0.5f ? 1 : 0);
  if (windowOwner_ != index.id() || windowQuality_ != quality) {
    for (int r = 1; r <= LEVEL_COUNT; ++r) {
      windowLower_[r] = windowUpper_[r] = 0;
      for (int w = 0; w < 32767; ++w) {
        const int lower = std::max(r - quality - w, 1);
        const int upper = std::min(r + quality + w, LEVEL_COUNT);
        if (index.HasLevel(lower) && index.HasLevel(upper)) {
          windowLower_[r] = static_cast<int16_t>(lower);
          windowUpper_[r] = static_cast<int16_t>(upper);
          break;
        }
        if (lower == 1 && upper == LEVEL_COUNT) break;  // it never closes
      }
    }
    windowOwner_ = index.id();
    windowQuality_ = quality;
  }
  if (windowLower_[rounded] == 0) return false;
  lowerLevel = windowLower_[rounded];
  upperLevel = windowUpper_[rounded];
  return true;
}

namespace {

bool MakeCellKeyPortable(const GlyphSearchIndex& index, const CellDensity& cell, CellKey& key) {
  // Branch-free over the nine blocks: floor by truncation and correction,
  // then the fraction decides between the two neighbours or a half.
  int valid = 1, highest = INT_MIN, lowest = INT_MAX;
  unsigned halves = 0;
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
  }
  key.halves = static_cast<uint16_t>(halves);
  return valid && highest - index.valueMin() <= kSafeDifference && index.valueMax() - lowest <= kSafeDifference;
}

#if ZINDREL_AVX2_KERNELS
// The same in double lanes, four blocks at a time.
__attribute__((target("avx2"))) bool MakeCellKeyAvx2(const GlyphSearchIndex& index, const CellDensity& cell,
                                                     CellKey& key) {
  const float* b = cell.Block.data();
  const __m256d v[3] = {_mm256_cvtps_pd(_mm_loadu_ps(b)), _mm256_cvtps_pd(_mm_loadu_ps(b + 4)),
                        _mm256_cvtps_pd(_mm_set_ps(0.0f, 0.0f, 0.0f, b[8]))};
  const __m256d limit = _mm256_set1_pd(1024.0), half = _mm256_set1_pd(0.5), one = _mm256_set1_pd(1.0);
  const __m256d sign = _mm256_set1_pd(-0.0);
  int valid = 1;
  unsigned halves = 0;
  __m128i highest = _mm_set1_epi32(INT_MIN), lowest = _mm_set1_epi32(INT_MAX);
  alignas(16) int32_t low[12];
  for (int k = 0; k < 3; ++k) {
    const __m256d inRange = _mm256_cmp_pd(_mm256_andnot_pd(sign, v[k]), limit, _CMP_LT_OQ);
    valid &= _mm256_movemask_pd(inRange) == 0xF;
    const __m256d x = _mm256_and_pd(v[k], inRange);  // 0 where out of range or not a number
    const __m256d floor = _mm256_floor_pd(x);
    const __m256d frac = _mm256_sub_pd(x, floor);  // exact
    const __m256d up = _mm256_and_pd(_mm256_cmp_pd(frac, half, _CMP_GT_OQ), one);
    const __m256d isHalf = _mm256_cmp_pd(frac, half, _CMP_EQ_OQ);
    const __m128i r = _mm256_cvtpd_epi32(_mm256_add_pd(floor, up));  // whole numbers: exact
    const __m128i h = _mm256_cvtpd_epi32(_mm256_and_pd(isHalf, one));
    halves |= static_cast<unsigned>(_mm256_movemask_pd(isHalf)) << (4 * k);
    _mm_store_si128(reinterpret_cast<__m128i*>(low + 4 * k), r);
    highest = _mm_max_epi32(highest, _mm_add_epi32(r, h));
    lowest = _mm_min_epi32(lowest, r);
  }
  alignas(16) int32_t hi[4], lo[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(hi), highest);
  _mm_store_si128(reinterpret_cast<__m128i*>(lo), lowest);
  // Lanes 9..11 hold 0 from the padding; they only widen the range checked.
  for (int m = 0; m < 9; ++m) key.low[m] = static_cast<int16_t>(low[m]);
  key.halves = static_cast<uint16_t>(halves & 0x1FF);
  const int high = std::max(std::max(hi[0], hi[1]), std::max(hi[2], hi[3]));
  const int lowMost = std::min(std::min(lo[0], lo[1]), std::min(lo[2], lo[3]));
  return valid && high - index.valueMin() <= kSafeDifference && index.valueMax() - lowMost <= kSafeDifference;
}
#endif

}  // namespace

namespace {
std::atomic<bool> gVectorKernels{true};

bool UseAvx2() {
#if ZINDREL_AVX2_KERNELS
  static const bool have = __builtin_cpu_supports("avx2");
  return have && gVectorKernels.load(std::memory_order_relaxed);
#else
  return false;
#endif
}
}  // namespace

void SetVectorKernels(bool enabled) { gVectorKernels.store(enabled); }

bool MakeCellKey(const GlyphSearchIndex& index, const CellDensity& cell, CellKey& key) {
#if ZINDREL_AVX2_KERNELS
  if (UseAvx2()) return MakeCellKeyAvx2(index, cell, key);
#endif
  return MakeCellKeyPortable(index, cell, key);
}

bool FastLevelWindow(const GlyphSearchIndex& index, float total, int16_t quality, int& lowerLevel, int& upperLevel) {
  if (!index.usable() || !(total >= 1.0f && total <= 84.0f) || quality < 0 || quality > 1000) return false;
  for (int w = 0; w < 32767; ++w) {
    // The same double expressions, stores and comparisons as FindLevelWindow.
    const float x = static_cast<float>(static_cast<double>(total) - quality - w);
    lowerLevel = x > 1.0f ? static_cast<int>(RoundHalfEven(x)) : 1;
    const float y = static_cast<float>(static_cast<double>(quality) + total + w);
    const float high = y < 84.0f ? y : 84.0f;
    upperLevel = static_cast<int>(RoundHalfEven(high > 1.0f ? high : 1.0f));
    if (index.HasLevel(lowerLevel) && index.HasLevel(upperLevel)) return true;
  }
  return false;
}

namespace {

// The distance of one glyph row to the key, as the plain search computes it
// for blocks within the safe range.
ZINDREL_INLINE int32_t KeyDistance(const CellKey& key, const std::array<int16_t, 11>& row) {
  int32_t d = 0;
  for (int m = 0; m < 9; ++m) {
    const int32_t lo = key.low[m], g = row[m + 1];
    const int32_t r = lo + (((key.halves >> m) & 1) & ((lo ^ g) & 1));
    d += (r - g) * (r - g);
  }
  return d;
}

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
  for (;;) {
    int pick = 0;
    for (int i = 1; i < kGroup; ++i)
      if (bound[i] < bound[pick]) pick = i;
    if (bound[pick] >= best) return best;
    best = BucketBest(index.bucket(b0 + pick), q.low, q.half, best);
    bound[pick] = INT32_MAX;
  }
}

// The least (distance, index) key over groups [g0, g1), starting from best.
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
  // The most promising group first, for a tight bound; then every group
  // that might still hold a nearer glyph (or an equally near one of lower
  // index).
  int start = 0;
  for (int i = 1; i < n; ++i)
    if (gb[i] < gb[start]) start = i;
  if (gb[start] < best) best = SearchGroup(index, g0 + start, q, best);
  for (int i = 0; i < n; ++i)
    if (gb[i] < best && i != start) best = SearchGroup(index, g0 + i, q, best);
  return best;
}

#if ZINDREL_AVX2_KERNELS
// The same search with AVX2 instructions: a bucket's 16 distances, or the
// bounds of 16 boxes, in one register per block.
#define ZINDREL_AVX2 __attribute__((target("avx2")))

struct QueryAvx2 {
  __m256i low[9], high[9], half[9];
};

ZINDREL_AVX2 inline int32_t BucketBestAvx2(const GlyphSearchIndex::Bucket& b, const QueryAvx2& q, int32_t best) {
  const __m256i one = _mm256_set1_epi16(1);
  __m256i d = _mm256_setzero_si256();
  for (int m = 0; m < 9; ++m) {
    const __m256i g = _mm256_load_si256(reinterpret_cast<const __m256i*>(b.value[m]));
    const __m256i parity = _mm256_and_si256(_mm256_xor_si256(q.low[m], g), one);
    const __m256i r = _mm256_add_epi16(q.low[m], _mm256_and_si256(q.half[m], parity));
    const __m256i diff = _mm256_sub_epi16(r, g);
    d = _mm256_add_epi16(d, _mm256_mullo_epi16(diff, diff));
  }
  d = _mm256_or_si256(d, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b.unused)));
  // Distances are 0..32767, so the unsigned minimum is the least.
  const __m128i half8 = _mm_min_epu16(_mm256_castsi256_si128(d), _mm256_extracti128_si256(d, 1));
  const int least = _mm_cvtsi128_si32(_mm_minpos_epu16(half8)) & 0xFFFF;
  if ((least << 16) >= best) return best;
  const unsigned lanes = static_cast<unsigned>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi16(d, _mm256_set1_epi16(static_cast<int16_t>(least)))));
  const int lane = __builtin_ctz(lanes) / 2;
  const int32_t k = (least << 16) | b.index[lane];
  return k < best ? k : best;
}

// Bound keys of the 16 boxes from offset on.
ZINDREL_AVX2 inline void Bounds16Avx2(const int16_t* const* boxLow, const int16_t* const* boxHigh,
                                      const uint16_t* first, int offset, const QueryAvx2& q, int32_t* out) {
  const __m256i zero = _mm256_setzero_si256();
  __m256i acc = zero;
  for (int m = 0; m < 9; ++m) {
    const __m256i bl = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(boxLow[m] + offset));
    const __m256i bh = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(boxHigh[m] + offset));
    __m256i t = _mm256_max_epi16(_mm256_sub_epi16(q.low[m], bh), _mm256_sub_epi16(bl, q.high[m]));
    t = _mm256_max_epi16(t, zero);
    acc = _mm256_add_epi16(acc, _mm256_mullo_epi16(t, t));
  }
  const __m256i idx = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(first + offset));
  // Interleave (index, bound) pairs into 32-bit keys bound << 16 | index.
  const __m256i lo = _mm256_unpacklo_epi16(idx, acc);
  const __m256i hi = _mm256_unpackhi_epi16(idx, acc);
  // unpack works within 128-bit halves: lanes 0-3, 8-11 | 4-7, 12-15.
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(lo, hi, 0x20));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 8), _mm256_permute2x128_si256(lo, hi, 0x31));
}

ZINDREL_AVX2 inline int32_t SearchGroupAvx2(const GlyphSearchIndex& index, int g, const QueryAvx2& q, int32_t best) {
  constexpr int kGroup = GlyphSearchIndex::kGroup;
  const int b0 = index.GroupBegin(g), n = index.GroupBegin(g + 1) - b0;
  const int16_t* boxLow[9];
  const int16_t* boxHigh[9];
  for (int m = 0; m < 9; ++m) {
    boxLow[m] = index.boxLow(m);
    boxHigh[m] = index.boxHigh(m);
  }
  alignas(32) int32_t bound[16];
  Bounds16Avx2(boxLow, boxHigh, index.boxFirstIndex(), b0, q, bound);
  for (int i = n; i < kGroup; ++i) bound[i] = INT32_MAX;
  for (;;) {
    int pick = 0;
    for (int i = 1; i < kGroup; ++i)
      if (bound[i] < bound[pick]) pick = i;
    if (bound[pick] >= best) return best;
    best = BucketBestAvx2(index.bucket(b0 + pick), q, best);
    bound[pick] = INT32_MAX;
  }
}

ZINDREL_AVX2 int32_t SearchGroupsAvx2(const GlyphSearchIndex& index, const CellKey& key, int g0, int g1, int32_t best,
                                      std::vector<int32_t>& bound) {
  const int n = g1 - g0;
  if (n <= 0) return best;
  if (static_cast<int>(bound.size()) < n + 16) bound.resize(n + 16);
  QueryAvx2 q;
  for (int m = 0; m < 9; ++m) {
    const int h = (key.halves >> m) & 1;
    q.low[m] = _mm256_set1_epi16(key.low[m]);
    q.high[m] = _mm256_set1_epi16(static_cast<int16_t>(key.low[m] + h));
    q.half[m] = _mm256_set1_epi16(static_cast<int16_t>(h));
  }
  const int16_t* groupLow[9];
  const int16_t* groupHigh[9];
  for (int m = 0; m < 9; ++m) {
    groupLow[m] = index.groupLow(m);
    groupHigh[m] = index.groupHigh(m);
  }
  int32_t* gb = bound.data();
  for (int i = 0; i < n; i += 16) Bounds16Avx2(groupLow, groupHigh, index.groupFirstIndex(), g0 + i, q, gb + i);
  int start = 0;
  for (int i = 1; i < n; ++i)
    if (gb[i] < gb[start]) start = i;
  if (gb[start] < best) best = SearchGroupAvx2(index, g0 + start, q, best);
  for (int i = 0; i < n; ++i)
    if (gb[i] < best && i != start) best = SearchGroupAvx2(index, g0 + i, q, best);
  return best;
}
#endif

int32_t SearchGroups(const GlyphSearchIndex& index, const CellKey& key, int g0, int g1, int32_t best,
                     std::vector<int32_t>& bound, std::vector<int16_t>& acc) {
#if ZINDREL_AVX2_KERNELS
  if (UseAvx2()) return SearchGroupsAvx2(index, key, g0, g1, best, bound);
#endif
  return SearchGroupsPortable(index, key, g0, g1, best, bound, acc);
}

}  // namespace

int MatchGlyphIndexed(const GlyphSearchIndex& index, const GlyphTable& table, const CellDensity& cell, int16_t quality,
                      MatchMemo* memo) {
  if (!index.usable()) return MatchGlyphPlain(table, cell, quality);
  int lowerLevel, upperLevel;
  if (!(memo && memo->Window(index, cell.Total, quality, lowerLevel, upperLevel)) &&
      !FastLevelWindow(index, cell.Total, quality, lowerLevel, upperLevel)) {
    const LevelWindow window = FindLevelWindow(table, cell.Total, quality);  // raises if it never closes
    lowerLevel = window.lowerLevel;
    upperLevel = window.upperLevel;
  }
  CellKey key;
  if (!MakeCellKey(index, cell, key)) return MatchGlyphPlain(table, cell, quality);
  const int i = index.StartPosition(lowerLevel);
  const int j = index.StartPosition(upperLevel);
  if (i > j) return 0;  // no candidates: the lower start lies above the upper start

  uint64_t k1 = 0, k2 = 0;
  bool memoable = memo != nullptr;
  if (memoable) {
    for (int m = 0; m < 9; ++m) {
      if (key.low[m] < -128 || key.low[m] > 127) memoable = false;
      const uint64_t byte = static_cast<uint8_t>(static_cast<int8_t>(key.low[m]));
      if (m < 8)
        k1 |= byte << (8 * m);
      else
        k2 = byte;
    }
    k2 |= uint64_t{key.halves} << 8 | uint64_t(i) << 17 | uint64_t(j) << 25 | uint64_t{1} << 40;
    int glyph = 0;
    if (memoable && memo->Find(index.id(), k1, k2, glyph)) return glyph;
  }

  // The first glyph of the upper level is a candidate on its own.
  const int16_t upper = index.Start(j);
  int32_t best = kNoChoiceKey;
  const int32_t dUpper = KeyDistance(key, table.Row(upper));
  const int32_t kUpper = (dUpper << 16) | upper;
  if (kUpper < best) best = kUpper;
  // Neighbouring cells tend to match the same glyph: the last answer, when it
  // is a candidate, gives a tight bound from the start.
  const int hint = memo ? memo->last() : 0;
  if (hint >= index.Start(i) && hint < upper) {
    const int32_t kHint = (KeyDistance(key, table.Row(hint)) << 16) | hint;
    if (kHint < best) best = kHint;
  }
  thread_local std::vector<int32_t> bound;
  thread_local std::vector<int16_t> acc;
  best = SearchGroups(index, key, index.FirstGroup(i), index.FirstGroup(j), best, bound, acc);
  const int glyph = best & 0xFFFF;  // 0 when nothing beat the initial key
  if (memoable) memo->Store(index.id(), k1, k2, glyph);
  if (memo) memo->set_last(glyph);
  return glyph;
}

}  // namespace zindrel
