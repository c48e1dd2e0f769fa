#include "convert/fast_match.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>

#include "convert/simd.h"

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
    firstBucket_.push_back(bucketCount());
    if (p + 1 < starts_.size()) {
      glyphs.clear();
      for (int n = starts_[p]; n < starts_[p + 1]; ++n) glyphs.push_back(n);
      BuildRun(table, glyphs, 0, static_cast<int>(glyphs.size()));
    }
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
  int bestDim = 1;
  long bestSpread = -1;
  for (int m = 1; m <= 9; ++m) {
    long sum = 0, sumSq = 0;
    for (int i = begin; i < end; ++i) {
      const long v = table.Row(glyphs[i])[m];
      sum += v;
      sumSq += v * v;
    }
    const long spread = sumSq * count - sum * sum;  // count^2 times the variance
    if (spread > bestSpread) {
      bestSpread = spread;
      bestDim = m;
    }
  }
  std::stable_sort(glyphs.begin() + begin, glyphs.begin() + end,
                   [&](int a, int b) { return table.Row(a)[bestDim] < table.Row(b)[bestDim]; });
  const int halves = (count + kLanes - 1) / kLanes;  // buckets needed
  const int left = std::max(1, halves / 2) * kLanes;
  BuildRun(table, glyphs, begin, begin + left);
  BuildRun(table, glyphs, begin + left, end);
}

void GlyphSearchIndex::AddBucket(const GlyphTable& table, const int* glyphs, int count) {
  Bucket b{};
  uint16_t first = UINT16_MAX;
  std::array<int16_t, 9> low, high;
  low.fill(INT16_MAX);
  high.fill(INT16_MIN);
  for (int l = 0; l < kLanes; ++l) {
    if (l < count) {
      const auto& row = table.Row(glyphs[l]);
      for (int m = 0; m < 9; ++m) {
        b.value[m][l] = row[m + 1];
        low[m] = std::min(low[m], row[m + 1]);
        high[m] = std::max(high[m], row[m + 1]);
      }
      b.index[l] = static_cast<uint16_t>(glyphs[l]);
      first = std::min(first, b.index[l]);
      b.unused[l] = 0;
    } else {
      for (int m = 0; m < 9; ++m) b.value[m][l] = 0;
      b.index[l] = 0;
      b.unused[l] = INT32_MAX;
    }
  }
  buckets_.push_back(b);
  for (int m = 0; m < 9; ++m) {
    boxLow_[m].push_back(low[m]);
    boxHigh_[m].push_back(high[m]);
  }
  boxFirstIndex_.push_back(first);
}

std::shared_ptr<const GlyphSearchIndex> SearchIndexFor(const GlyphTable& table) {
  auto cache = table.Cache().Get([&]() -> std::shared_ptr<const GlyphTableCache> {
    return std::make_shared<GlyphSearchIndex>(table);
  });
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

bool MakeCellKey(const GlyphSearchIndex& index, const CellDensity& cell, CellKey& key) {
  key.halves = 0;
  for (int m = 0; m < 9; ++m) {
    const double b = cell.Block[m];
    if (!(b > -1024.0 && b < 1024.0)) return false;
    const double low = std::floor(b);
    const double frac = b - low;  // exact in double for a float this small
    int r = static_cast<int>(low);
    int high = r;
    if (frac > 0.5) {
      high = ++r;
    } else if (frac == 0.5) {
      high = r + 1;
      key.halves = static_cast<uint16_t>(key.halves | (1u << m));
    }
    if (high - index.valueMin() > kSafeDifference || index.valueMax() - r > kSafeDifference) return false;
    key.low[m] = static_cast<int16_t>(r);
  }
  return true;
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

// Least (distance, index) key of one bucket's 16 glyphs.
ZINDREL_INLINE int32_t BucketBest(const GlyphSearchIndex::Bucket& b, const int16_t* low, const int16_t* half) {
  int16_t d[GlyphSearchIndex::kLanes] = {};
  for (int m = 0; m < 9; ++m) {
    const int16_t lo = low[m], h = half[m];
    for (int l = 0; l < GlyphSearchIndex::kLanes; ++l) {
      const int16_t g = b.value[m][l];
      const int16_t r = static_cast<int16_t>(lo + (h & ((lo ^ g) & 1)));
      const int16_t diff = static_cast<int16_t>(r - g);
      d[l] = static_cast<int16_t>(d[l] + diff * diff);
    }
  }
  int32_t best = INT32_MAX;
  for (int l = 0; l < GlyphSearchIndex::kLanes; ++l) {
    const int32_t k = ((int32_t{d[l]} << 16) | b.index[l]) | b.unused[l];
    best = k < best ? k : best;
  }
  return best;
}

// The least (distance, index) key over buckets [b0, b1), starting from best.
ZINDREL_CLONES int32_t SearchBuckets(const GlyphSearchIndex& index, const CellKey& key, int b0, int b1,
                                     int32_t best, std::vector<int32_t>& bound, std::vector<int16_t>& acc) {
  const int n = b1 - b0;
  if (n <= 0) return best;
  if (static_cast<int>(bound.size()) < n) {
    bound.resize(n);
    acc.resize(n);
  }
  int16_t low[9], high[9], half[9];
  for (int m = 0; m < 9; ++m) {
    const int h = (key.halves >> m) & 1;
    low[m] = key.low[m];
    high[m] = static_cast<int16_t>(key.low[m] + h);
    half[m] = static_cast<int16_t>(h);
  }
  // Lower bound of every bucket: the squared distance from the key's range
  // to the bucket's box, summed over the nine blocks.
  int16_t* a = acc.data();
  for (int i = 0; i < n; ++i) a[i] = 0;
  for (int m = 0; m < 9; ++m) {
    const int16_t* bl = index.boxLow(m) + b0;
    const int16_t* bh = index.boxHigh(m) + b0;
    const int16_t lo = low[m], hi = high[m];
    for (int i = 0; i < n; ++i) {
      int16_t t = static_cast<int16_t>(lo - bh[i]);
      const int16_t u = static_cast<int16_t>(bl[i] - hi);
      t = t > u ? t : u;
      t = t > 0 ? t : int16_t{0};
      a[i] = static_cast<int16_t>(a[i] + t * t);
    }
  }
  const uint16_t* first = index.boxFirstIndex() + b0;
  int32_t* bd = bound.data();
  int32_t least = INT32_MAX;
  for (int i = 0; i < n; ++i) {
    bd[i] = (int32_t{a[i]} << 16) | first[i];
    least = bd[i] < least ? bd[i] : least;
  }
  // The most promising bucket first, for a tight bound; then every bucket
  // that might still hold a nearer glyph (or an equally near one of lower
  // index).
  int start = 0;
  while (bd[start] != least) ++start;
  if (least < best) {
    const int32_t k = BucketBest(index.bucket(b0 + start), low, half);
    best = k < best ? k : best;
  }
  for (int i = 0; i < n; ++i) {
    if (bd[i] < best && i != start) {
      const int32_t k = BucketBest(index.bucket(b0 + i), low, half);
      best = k < best ? k : best;
    }
  }
  return best;
}

}  // namespace

int MatchGlyphIndexed(const GlyphSearchIndex& index, const GlyphTable& table, const CellDensity& cell,
                      int16_t quality, MatchMemo* memo) {
  if (!index.usable()) return MatchGlyphPlain(table, cell, quality);
  const LevelWindow window = FindLevelWindow(table, cell.Total, quality);
  CellKey key;
  if (!MakeCellKey(index, cell, key)) return MatchGlyphPlain(table, cell, quality);
  const int i = index.StartPosition(window.lowerLevel);
  const int j = index.StartPosition(window.upperLevel);
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
  thread_local std::vector<int32_t> bound;
  thread_local std::vector<int16_t> acc;
  best = SearchBuckets(index, key, index.FirstBucket(i), index.FirstBucket(j), best, bound, acc);
  const int glyph = best == kNoChoiceKey ? 0 : (best & 0xFFFF);
  if (memoable) memo->Store(index.id(), k1, k2, glyph);
  return glyph;
}

}  // namespace zindrel
