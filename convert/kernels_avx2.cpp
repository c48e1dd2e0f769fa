// The search loops with AVX2 instructions (see kernels.h). Only these
// functions are compiled for AVX2 (a target attribute, not a flag for the
// whole file), so nothing that other files share is, and a processor
// without AVX2 never runs them: matcher.cpp asks ProcessorHasAvx2 first.
#include "kernels.h"

#if ZINDREL_AVX2_KERNELS

#include <immintrin.h>

#include <algorithm>
#include <climits>

#define ZINDREL_AVX2 __attribute__((target("avx2")))

namespace zindrel::kernels {

bool ProcessorHasAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

namespace {

// The same search with AVX2 instructions: a bucket's 16 distances, or the
// bounds of 16 boxes, in one register per block.

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
  return VisitBuckets(bound, best, [&](int i, int32_t b) { return BucketBestAvx2(index.bucket(b0 + i), q, b); });
}

}  // namespace

namespace {

// Eight blocks' rounding, as MakeCellKeyPortable does it one by one: the
// floor f is exact, and so is f + 0.5 below 1024, so comparing the block
// with f + 0.5 tells the nearer neighbour or a half exactly. Out of range
// or not a number counts as 0 and clears valid's lanes.
struct RoundedAvx2 {
  __m256i low, highest;  // the rounded blocks, and the upper end of a half
  unsigned valid, halves;
};
ZINDREL_AVX2 inline RoundedAvx2 RoundBlocksAvx2(__m256 x) {
  const __m256 inRange = _mm256_cmp_ps(_mm256_andnot_ps(_mm256_set1_ps(-0.0f), x), _mm256_set1_ps(1024.0f), _CMP_LT_OQ);
  x = _mm256_and_ps(x, inRange);
  const __m256 floor = _mm256_floor_ps(x);
  const __m256 mid = _mm256_add_ps(floor, _mm256_set1_ps(0.5f));
  const __m256i up = _mm256_castps_si256(_mm256_cmp_ps(x, mid, _CMP_GT_OQ));    // -1 or 0
  const __m256i half = _mm256_castps_si256(_mm256_cmp_ps(x, mid, _CMP_EQ_OQ));  // -1 or 0
  const __m256i low = _mm256_sub_epi32(_mm256_cvtps_epi32(floor), up);          // whole numbers: exact
  return {low, _mm256_sub_epi32(low, half), static_cast<unsigned>(_mm256_movemask_ps(inRange)),
          static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(half)))};
}

// Lanes of v outside lo..hi, as a mask.
ZINDREL_AVX2 inline __m256i Outside(__m256i v, int lo, int hi) {
  return _mm256_or_si256(_mm256_cmpgt_epi32(v, _mm256_set1_epi32(hi)), _mm256_cmpgt_epi32(_mm256_set1_epi32(lo), v));
}

}  // namespace

// The same key as MakeCellKeyPortable: blocks 0..7 in one register, block 8
// in every lane of another (so that its lanes change no end of the range).
// The range is checked lane by lane: every block's upper end within
// valueMin + kSafeDifference and every rounded block at least valueMax -
// kSafeDifference.
ZINDREL_AVX2 bool MakeCellKeyAvx2(const GlyphSearchIndex& index, const CellDensity& cell, CellKey& key,
                                  KeyBytes& bytes) {
  const float* b = cell.Block.data();
  const RoundedAvx2 first = RoundBlocksAvx2(_mm256_loadu_ps(b));
  const RoundedAvx2 last = RoundBlocksAvx2(_mm256_set1_ps(b[8]));
  const __m128i low16 = _mm_packs_epi32(_mm256_castsi256_si128(first.low), _mm256_extracti128_si256(first.low, 1));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(key.low.data()), low16);
  const int low8 = _mm_cvtsi128_si32(_mm256_castsi256_si128(last.low));
  key.low[8] = static_cast<int16_t>(low8);
  key.halves = static_cast<uint16_t>(first.halves | (last.halves & 1u) << 8);
  const int top = index.valueMin() + kSafeDifference, bottom = index.valueMax() - kSafeDifference;
  const __m256i far = _mm256_or_si256(_mm256_or_si256(_mm256_cmpgt_epi32(first.highest, _mm256_set1_epi32(top)),
                                                      _mm256_cmpgt_epi32(_mm256_set1_epi32(bottom), first.low)),
                                      _mm256_or_si256(_mm256_cmpgt_epi32(last.highest, _mm256_set1_epi32(top)),
                                                      _mm256_cmpgt_epi32(_mm256_set1_epi32(bottom), last.low)));
  bytes.blocks = static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_packs_epi16(low16, low16)));
  bytes.rest = static_cast<uint32_t>(static_cast<uint8_t>(low8)) | uint32_t{key.halves} << 8;
  bytes.fits = _mm256_testz_si256(_mm256_or_si256(Outside(first.low, -128, 127), Outside(last.low, -128, 127)),
                                  _mm256_set1_epi32(-1));
  return first.valid == 0xFF && last.valid == 0xFF && _mm256_testz_si256(far, far);
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
  return VisitGroups(gb, n, best, [&](int i, int32_t b) { return SearchGroupAvx2(index, g0 + i, q, b); });
}

}  // namespace zindrel::kernels

#endif
