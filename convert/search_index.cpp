// The search index: the glyphs between consecutive level starts reordered
// into buckets of 16 and groups of 8 buckets, each with its bounding box.
#include "convert/search_index.h"

#include <algorithm>
#include <atomic>
#include <climits>

namespace zindrel {

namespace {
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
  buckets_.reserve(GLYPH_COUNT / kLanes + 2 * starts_.size());
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
  // around the left part's size will do. The order is by value, then by
  // glyph index, packed into one number: a value in the high half, the
  // index (below 2^16) in the low one.
  keys_.resize(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const int n = glyphs[begin + i];
    keys_[i] = (static_cast<uint32_t>(table.Row(n)[bestDim] + 32768) << 16) | static_cast<uint32_t>(n);
  }
  std::nth_element(keys_.begin(), keys_.begin() + left, keys_.end());
  for (int i = 0; i < count; ++i) glyphs[begin + i] = static_cast<int>(keys_[i] & 0xFFFF);
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

}  // namespace zindrel
