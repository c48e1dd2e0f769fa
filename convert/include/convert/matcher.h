// Glyph matching on the search index: a Matcher owns the index of one table
// and a memo of recent answers, and picks exactly the glyph MatchGlyphPlain
// picks (the same result, and the same errors).
//
// A Matcher is for one thread: the window holds one for its runs, and the
// fast run gives each of its threads a copy. Copies share the index, which
// never changes once built, and each starts with a memo of its own, so no
// lock is taken per cell. The index reflects the table as it was when the
// Matcher was made: after changing a table, make a new Matcher.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "convert/match.h"
#include "convert/measure.h"
#include "convert/search_index.h"

namespace zindrel {

// Remembers recent answers by exact key (the rounded cell and the candidate
// range), and the level windows of one quality. One per thread; it belongs
// to one index at a time.
class MatchMemo {
 public:
  MatchMemo();
  // The level window of a total whose rounding is clear (see
  // MatchGlyphIndexed), from a table made for this index and quality.
  bool Window(const GlyphSearchIndex& index, float total, int16_t quality, int& lowerLevel, int& upperLevel);
  // Returns true and sets glyph when the answer is known. k2 uses bits 0..47
  // only and is never 0.
  bool Find(uint64_t owner, uint64_t k1, uint64_t k2, int& glyph);
  void Store(uint64_t owner, uint64_t k1, uint64_t k2, int glyph);
  // Asks the processor for the entry of a key ahead of Find.
  void Prefetch(uint64_t k1, uint64_t k2) const;
  // The last glyph the search chose with this memo (a starting bound only;
  // the caller checks it is a candidate).
  int last() const { return last_; }
  void set_last(int glyph) { last_ = glyph; }

  // Bits of a slot's number: 2^17 entries of 16 bytes, 2 MiB.
  static constexpr int kBits = 17;

 private:
  // All zero bits: an empty entry. The glyph (0..65535) rides in the top
  // 16 bits of k2, so that an entry takes 16 bytes.
  struct Entry {
    uint64_t k1, k2;
  };
  struct Free {
    void operator()(Entry* entries) const;
  };
  static constexpr uint64_t kKeyMask = (uint64_t{1} << 48) - 1;
  static size_t Slot(uint64_t k1, uint64_t k2);
  void FillWindows(const GlyphSearchIndex& index, int16_t quality);
  uint64_t owner_ = 0;
  int last_ = 0;
  // The key asked for last and its answer: neighbouring cells often share
  // their key, and this check costs no trip to the table's memory.
  uint64_t recentK1_ = 0, recentK2_ = 0;
  int recentGlyph_ = 0;
  // Zeroed by the system, whose fresh pages cost nothing until a slot on
  // them is used.
  std::unique_ptr<Entry[], Free> entries_;
  bool clean_ = true;  // no entry stored since the memory was zeroed
  uint64_t windowOwner_ = 0;
  int windowQuality_ = -1;
  // By rounded total 1..84: the window's ends, or 0 when it never closes.
  std::array<int16_t, LEVEL_COUNT + 1> windowLower_{}, windowUpper_{};
};

// Whether the AVX2 versions of the search loops run on processors that have
// AVX2 (the default). Tests switch them off to check the portable loops,
// which every other processor and compiler runs.
void SetVectorKernels(bool enabled);
// Whether the AVX2 loops run now: built in, the processor has AVX2 and they
// are not switched off.
bool VectorKernelsActive();

// The cell's key, or false when a block is too far off the glyphs' scale for
// the indexed search to be sure of no 16-bit overflow.
bool MakeCellKey(const GlyphSearchIndex& index, const CellDensity& cell, CellKey& key);

// FindLevelWindow's passes (LevelWindowPass) against the index's levels, for
// a total within 1..84 and a quality within 0..1000: there none of the checks
// can fire before the pass with w = 32767, which never ends the search.
// Returns false when it cannot decide (FindLevelWindow then gives the answer
// or the error).
bool FastLevelWindow(const GlyphSearchIndex& index, float total, int16_t quality, int& lowerLevel, int& upperLevel);

// Same result, and the same errors, as MatchGlyphPlain. memo may be null.
int MatchGlyphIndexed(const GlyphSearchIndex& index, const GlyphTable& table, const CellDensity& cell, int16_t quality,
                      MatchMemo* memo);

class Matcher {
 public:
  // Builds the table's search index; the table must outlive the Matcher.
  explicit Matcher(const GlyphTable& table);
  // Shares the index; the memo starts empty.
  Matcher(const Matcher& other);
  Matcher& operator=(const Matcher&) = delete;

  // The index (1..14924) of the chosen glyph, or 0 when no candidate lies
  // nearer than kNoMatchDistance; ties go to the lower index.
  int MatchGlyph(const CellDensity& cell, int16_t quality) {
    return MatchGlyphIndexed(*index_, table_, cell, quality, &memo_);
  }

  // MatchGlyph for count cells in order, into glyphs (which hold every
  // index): done counts the cells answered, so that when a cell raises, the
  // error is that of cell done and the cells before it are answered.
  void MatchGlyphs(const CellDensity* cells, int count, int16_t quality, int16_t* glyphs, int& done);

  const GlyphTable& table() const { return table_; }
  const GlyphSearchIndex& index() const { return *index_; }

 private:
  const GlyphTable& table_;
  std::shared_ptr<const GlyphSearchIndex> index_;
  MatchMemo memo_;
};

}  // namespace zindrel
