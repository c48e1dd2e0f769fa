// The inner loops of the indexed search, in two builds: portable C++ that
// every compiler and processor runs (kernels_portable.cpp), and AVX2
// versions (kernels_avx2.cpp) for x86-64 with GCC or clang, chosen at run
// time when the processor has AVX2 (matcher.cpp). Both give the same keys.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <vector>

#include "convert/measure.h"
#include "convert/search_index.h"
#include "simd.h"

namespace zindrel::kernels {

// Largest difference between a rounded block and a glyph value for which nine
// squares always fit the 16-bit sum (9 * 60 * 60 = 32400).
constexpr int kSafeDifference = 60;

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

// The order in which both searches visit the groups of a candidate range,
// given each group's lower bound: the most promising group first, for a
// tight bound, then every group that might still hold a nearer glyph (or an
// equally near one of lower index). search(i, best) searches group i.
template <class Search>
ZINDREL_INLINE int32_t VisitGroups(const int32_t* bound, int n, int32_t best, Search&& search) {
  int start = 0;
  for (int i = 1; i < n; ++i)
    if (bound[i] < bound[start]) start = i;
  if (bound[start] < best) best = search(start, best);
  for (int i = 0; i < n; ++i)
    if (bound[i] < best && i != start) best = search(i, best);
  return best;
}

// The order in which both searches visit the buckets of one group, given the
// group's kGroup bucket bounds (INT32_MAX past its last bucket): ascending
// bounds, while a bound can still beat best. search(i, best) searches
// bucket i of the group.
template <class Search>
ZINDREL_INLINE int32_t VisitBuckets(int32_t* bound, int32_t best, Search&& search) {
  constexpr int kGroup = GlyphSearchIndex::kGroup;
  for (;;) {
    int pick = 0;
    for (int i = 1; i < kGroup; ++i)
      if (bound[i] < bound[pick]) pick = i;
    if (bound[pick] >= best) return best;
    best = search(pick, best);
    bound[pick] = INT32_MAX;
  }
}

// The memo's form of a key: blocks 0..7 as bytes (block m in bits 8m to
// 8m + 7), block 8's byte with the halves above it, and whether every
// rounded block fits a byte (-128..127); the bytes mean nothing otherwise.
struct KeyBytes {
  uint64_t blocks;
  uint32_t rest;
  bool fits;
};

// The cell's key and its bytes; false when a block lies too far off the
// glyphs' values.
bool MakeCellKeyPortable(const GlyphSearchIndex& index, const CellDensity& cell, CellKey& key, KeyBytes& bytes);
// The least (distance, index) key over groups [g0, g1), starting from best.
int32_t SearchGroupsPortable(const GlyphSearchIndex& index, const CellKey& key, int g0, int g1, int32_t best,
                             std::vector<int32_t>& bound, std::vector<int16_t>& acc);

#if ZINDREL_AVX2_KERNELS
// The same with AVX2 instructions; only for processors that have them.
bool MakeCellKeyAvx2(const GlyphSearchIndex& index, const CellDensity& cell, CellKey& key, KeyBytes& bytes);
int32_t SearchGroupsAvx2(const GlyphSearchIndex& index, const CellKey& key, int g0, int g1, int32_t best,
                         std::vector<int32_t>& bound);
// Whether this processor runs AVX2 instructions.
bool ProcessorHasAvx2();
#endif

}  // namespace zindrel::kernels
