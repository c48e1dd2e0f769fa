// The indexed glyph search: picks exactly the glyph the plain search picks,
// without measuring every candidate.
//
// The distance between a cell and a glyph only sees each block value after
// rounding: a block rounds to its nearest integer, and a block ending in
// exactly .5 rounds to whichever of its two neighbours leaves an even
// difference with the glyph's value. A cell is therefore a "key" of nine
// integers plus, per block, whether it sits on such a half.
//
// The glyphs between two consecutive level starts are always candidates
// together, so each such run is reordered freely into buckets of 16 glyphs
// with tight bounding boxes; the search skips every bucket whose box lies
// farther than the best distance found so far. Ties go to the lowest glyph
// index, as in the plain search, by comparing (distance, index) pairs.
//
// Whenever a 16-bit distance could overflow (values far off the 0..15
// scale) or the table's level starts are not usable, the plain search runs
// instead, so its result or its error is the answer.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "glyphs/glyph_table.h"

namespace zindrel {

// The rounded cell as the distance sees it.
struct CellKey {
  std::array<int16_t, 9> low{};  // floor of a half, else the rounded value
  uint16_t halves = 0;           // bit m: block m ends in exactly .5
};

class GlyphSearchIndex {
 public:
  explicit GlyphSearchIndex(const GlyphTable& table);

  static constexpr int kLanes = 16;
  struct Bucket {
    alignas(32) int16_t value[9][kLanes];
    uint16_t index[kLanes];  // glyph index, ascending; 0 in unused lanes
    int16_t unused[kLanes];  // 0 for a glyph, 0x7FFF for an unused lane
  };

  // False when the table's level starts cannot be searched this way.
  bool usable() const { return usable_; }
  // Every glyph value lies within [valueMin, valueMax].
  int valueMin() const { return valueMin_; }
  int valueMax() const { return valueMax_; }
  // Position of a level's start among the distinct starts, or -1.
  int StartPosition(int level) const { return startPos_[level]; }
  // Whether the table indexes the level (1..84).
  bool HasLevel(int level) const { return startPos_[level] >= 0; }
  int16_t Start(int position) const { return starts_[position]; }
  // Buckets of the glyphs from Start(p) up to Start(p + 1) - 1 are grouped
  // (up to kGroup neighbouring buckets) from FirstGroup(p) to
  // FirstGroup(p + 1) - 1; group g holds buckets GroupBegin(g) to
  // GroupBegin(g + 1) - 1.
  static constexpr int kGroup = 8;
  int FirstGroup(int position) const { return firstGroup_[position]; }
  int GroupBegin(int group) const { return groupBegin_[group]; }
  const int16_t* groupLow(int m) const { return groupLow_[m].data(); }
  const int16_t* groupHigh(int m) const { return groupHigh_[m].data(); }
  const uint16_t* groupFirstIndex() const { return groupFirstIndex_.data(); }
  int bucketCount() const { return static_cast<int>(buckets_.size()); }
  const Bucket& bucket(int b) const { return buckets_[b]; }
  // Bounding box of bucket b, dimension m: low[m][b]..high[m][b].
  const int16_t* boxLow(int m) const { return boxLow_[m].data(); }
  const int16_t* boxHigh(int m) const { return boxHigh_[m].data(); }
  const uint16_t* boxFirstIndex() const { return boxFirstIndex_.data(); }
  // Unique among all indexes built in this process (for memos).
  uint64_t id() const { return id_; }

 private:
  void BuildRun(const GlyphTable& table, std::vector<int>& glyphs, int begin, int end);
  void AddBucket(const GlyphTable& table, int* glyphs, int count);
  void CloseGroups(int fromBucket);

  bool usable_ = false;
  int valueMin_ = 0, valueMax_ = 0;
  std::array<int, LEVEL_COUNT + 1> startPos_{};
  std::vector<int16_t> starts_;
  std::vector<int> firstGroup_, groupBegin_;
  std::array<std::vector<int16_t>, 9> groupLow_, groupHigh_;
  std::vector<uint16_t> groupFirstIndex_;
  std::vector<Bucket> buckets_;
  std::array<std::vector<int16_t>, 9> boxLow_, boxHigh_;
  std::vector<uint16_t> boxFirstIndex_;
  std::vector<uint32_t> keys_;  // working memory of BuildRun
  uint64_t id_ = 0;
};

}  // namespace zindrel
