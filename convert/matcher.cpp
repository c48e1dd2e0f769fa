// The indexed match: the memo, the choice between the portable and the AVX2
// search loops, the level window on the index, and the search itself.
#include "convert/matcher.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "kernels.h"

namespace zindrel {

namespace {

// Keys compare (distance, glyph index) in one number: the distance in the
// high 16 bits, the index in the low 16 bits.
constexpr int32_t kNoChoiceKey = int32_t{kNoMatchDistance} << 16;

std::atomic<bool> gVectorKernels{true};

bool UseAvx2() {
#if ZINDREL_AVX2_KERNELS
  static const bool have = kernels::ProcessorHasAvx2();
  return have && gVectorKernels.load(std::memory_order_relaxed);
#else
  return false;
#endif
}

// Scratch for the portable and the vector search, per thread.
int32_t SearchGroups(const GlyphSearchIndex& index, const CellKey& key, int g0, int g1, int32_t best) {
  thread_local std::vector<int32_t> bound;
#if ZINDREL_AVX2_KERNELS
  if (UseAvx2()) return kernels::SearchGroupsAvx2(index, key, g0, g1, best, bound);
#endif
  thread_local std::vector<int16_t> acc;
  return kernels::SearchGroupsPortable(index, key, g0, g1, best, bound, acc);
}

}  // namespace

void SetVectorKernels(bool enabled) { gVectorKernels.store(enabled); }

bool VectorKernelsActive() { return UseAvx2(); }

namespace {

bool MakeKey(const GlyphSearchIndex& index, const CellDensity& cell, CellKey& key, kernels::KeyBytes& bytes) {
#if ZINDREL_AVX2_KERNELS
  if (UseAvx2()) return kernels::MakeCellKeyAvx2(index, cell, key, bytes);
#endif
  return kernels::MakeCellKeyPortable(index, cell, key, bytes);
}

}  // namespace

bool MakeCellKey(const GlyphSearchIndex& index, const CellDensity& cell, CellKey& key) {
  kernels::KeyBytes bytes;
  return MakeKey(index, cell, key, bytes);
}

bool FastLevelWindow(const GlyphSearchIndex& index, float total, int16_t quality, int& lowerLevel, int& upperLevel) {
  if (!index.usable() || !(total >= 1.0f && total <= 84.0f) || quality < 0 || quality > 1000) return false;
  for (int16_t w = 0; w < 32767; ++w) {
    int32_t lower = 0, upper = 0;
    LevelWindowPass(total, quality, w, lower, upper);
    lowerLevel = lower;
    upperLevel = upper;
    if (index.HasLevel(lower) && index.HasLevel(upper)) return true;
    // Both ends at the table's ends: every later pass is the same.
    if (lower == 1 && upper == LEVEL_COUNT) return false;
  }
  return false;
}

namespace {

constexpr size_t kMemoBytes = size_t{16} << MatchMemo::kBits;

#if defined(__linux__)
// The memo as one huge page where the system gives them: zeroed by the
// kernel, one page fault instead of 512, and one entry of the processor's
// address cache for lookups that land anywhere in it. The mapping is
// aligned to the page's size, which a huge page needs.
constexpr size_t kHugePage = size_t{2} << 20;
void* MapMemo() {
  void* base = mmap(nullptr, kMemoBytes + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<uintptr_t>(base);
  const uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
  if (aligned > start) munmap(base, aligned - start);
  const uintptr_t end = start + kMemoBytes + kHugePage;
  if (end > aligned + kMemoBytes) munmap(reinterpret_cast<void*>(aligned + kMemoBytes), end - aligned - kMemoBytes);
  madvise(reinterpret_cast<void*>(aligned), kMemoBytes, MADV_HUGEPAGE);  // a hint: without it, small pages
  return reinterpret_cast<void*>(aligned);
}
#endif

}  // namespace

MatchMemo::MatchMemo() {
#if defined(__linux__)
  entries_.reset(static_cast<Entry*>(MapMemo()));
#else
  entries_.reset(static_cast<Entry*>(std::calloc(size_t{1} << kBits, sizeof(Entry))));
#endif
  if (!entries_) throw std::bad_alloc();
}

void MatchMemo::Free::operator()(Entry* entries) const {
#if defined(__linux__)
  munmap(entries, kMemoBytes);
#else
  std::free(entries);
#endif
}

size_t MatchMemo::Slot(uint64_t k1, uint64_t k2) {
  const uint64_t h = (k1 * 0x9E3779B97F4A7C15ull) ^ (k2 * 0xC2B2AE3D27D4EB4Full);
  return static_cast<size_t>((h ^ (h >> 29)) >> (64 - kBits));
}

bool MatchMemo::Find(uint64_t owner, uint64_t k1, uint64_t k2, int& glyph) {
  if (owner != owner_) return false;
  if (k1 == recentK1_ && k2 == recentK2_) {
    glyph = recentGlyph_;
    return true;
  }
  const Entry& e = entries_[Slot(k1, k2)];
  if (e.k1 != k1 || (e.k2 & kKeyMask) != k2) return false;
  glyph = static_cast<int>(e.k2 >> 48);
  recentK1_ = k1;
  recentK2_ = k2;
  recentGlyph_ = glyph;
  return true;
}

void MatchMemo::Prefetch(uint64_t k1, uint64_t k2) const {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(&entries_[Slot(k1, k2)]);
#else
  (void)k1;
  (void)k2;
#endif
}

void MatchMemo::Store(uint64_t owner, uint64_t k1, uint64_t k2, int glyph) {
  if (owner != owner_) {
    if (!clean_) std::memset(entries_.get(), 0, kMemoBytes);
    owner_ = owner;
  }
  clean_ = false;
  Entry& e = entries_[Slot(k1, k2)];
  e.k1 = k1;
  e.k2 = k2 | uint64_t{static_cast<uint16_t>(glyph)} << 48;
  recentK1_ = k1;
  recentK2_ = k2;
  recentGlyph_ = glyph;
}

void MatchMemo::FillWindows(const GlyphSearchIndex& index, int16_t quality) {
  // The window of every whole total, as FastLevelWindow finds it; 0 where it
  // never closes.
  for (int r = 1; r <= LEVEL_COUNT; ++r) {
    int lower = 0, upper = 0;
    const bool closes = FastLevelWindow(index, static_cast<float>(r), quality, lower, upper);
    windowLower_[r] = static_cast<int16_t>(closes ? lower : 0);
    windowUpper_[r] = static_cast<int16_t>(closes ? upper : 0);
  }
  windowOwner_ = index.id();
  windowQuality_ = quality;
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
  if (windowOwner_ != index.id() || windowQuality_ != quality) FillWindows(index, quality);
  const int lower = windowLower_[rounded];
  if (lower == 0) return false;
  lowerLevel = lower;
  upperLevel = windowUpper_[rounded];
  return true;
}

namespace {

// A cell ready for the memo and the search: its key, the start positions of
// its window, and the memo's form of the key (k2 == 0: not remembered).
struct PreparedCell {
  CellKey key;
  int i, j;
  uint64_t k1, k2;
};

// The level window without FindLevelWindow, which may raise: false when
// only it can tell.
bool QuickWindow(const GlyphSearchIndex& index, float total, int16_t quality, MatchMemo* memo, int& lowerLevel,
                 int& upperLevel) {
  return (memo && memo->Window(index, total, quality, lowerLevel, upperLevel)) ||
         FastLevelWindow(index, total, quality, lowerLevel, upperLevel);
}

// The cell's key within its window; false when a block is too far off the
// glyphs' scale for the indexed search.
bool PrepareKey(const GlyphSearchIndex& index, const CellDensity& cell, int lowerLevel, int upperLevel,
                const MatchMemo* memo, PreparedCell& p) {
  kernels::KeyBytes bytes;
  if (!MakeKey(index, cell, p.key, bytes)) return false;
  p.i = index.StartPosition(lowerLevel);
  p.j = index.StartPosition(upperLevel);
  p.k1 = p.k2 = 0;
  if (memo && p.i <= p.j && bytes.fits) {
    p.k1 = bytes.blocks;
    p.k2 = uint64_t{bytes.rest} | uint64_t(p.i) << 17 | uint64_t(p.j) << 25 | uint64_t{1} << 40;
  }
  return true;
}

// The memo's answer, or the search's.
int MatchPrepared(const GlyphSearchIndex& index, const GlyphTable& table, const PreparedCell& p, MatchMemo* memo) {
  if (p.i > p.j) return 0;  // no candidates: the lower start lies above the upper start
  int glyph = 0;
  if (p.k2 != 0 && memo->Find(index.id(), p.k1, p.k2, glyph)) {
    memo->set_last(glyph);
    return glyph;
  }

  // The first glyph of the upper level is a candidate on its own.
  const int16_t upper = index.Start(p.j);
  int32_t best = kNoChoiceKey;
  const int32_t dUpper = kernels::KeyDistance(p.key, table.Row(upper));
  const int32_t kUpper = (dUpper << 16) | upper;
  if (kUpper < best) best = kUpper;
  // Neighbouring cells tend to match the same glyph: the last answer, when it
  // is a candidate, gives a tight bound from the start.
  const int hint = memo ? memo->last() : 0;
  if (hint >= index.Start(p.i) && hint < upper) {
    const int32_t kHint = (kernels::KeyDistance(p.key, table.Row(hint)) << 16) | hint;
    if (kHint < best) best = kHint;
  }
  best = SearchGroups(index, p.key, index.FirstGroup(p.i), index.FirstGroup(p.j), best);
  glyph = best & 0xFFFF;  // 0 when nothing beat the initial key
  if (p.k2 != 0) memo->Store(index.id(), p.k1, p.k2, glyph);
  if (memo) memo->set_last(glyph);
  return glyph;
}

}  // namespace

int MatchGlyphIndexed(const GlyphSearchIndex& index, const GlyphTable& table, const CellDensity& cell, int16_t quality,
                      MatchMemo* memo) {
  if (!index.usable()) return MatchGlyphPlain(table, cell, quality);
  int lowerLevel, upperLevel;
  if (!QuickWindow(index, cell.Total, quality, memo, lowerLevel, upperLevel)) {
    const LevelWindow window = FindLevelWindow(table, cell.Total, quality);  // raises if it never closes
    lowerLevel = window.lowerLevel;
    upperLevel = window.upperLevel;
  }
  PreparedCell p;
  if (!PrepareKey(index, cell, lowerLevel, upperLevel, memo, p)) return MatchGlyphPlain(table, cell, quality);
  return MatchPrepared(index, table, p, memo);
}

void Matcher::MatchGlyphs(const CellDensity* cells, int count, int16_t quality, int16_t* glyphs, int& done) {
  // Cells in batches: first every key of the batch, asking the processor
  // for each key's memo entry, then the answers in order, by which time the
  // entries have come from memory. What may raise runs in the second step,
  // in order, through MatchGlyph.
  constexpr int kBatch = 32;
  const GlyphSearchIndex& index = *index_;
  done = 0;
  if (!index.usable()) {
    for (; done < count; ++done) glyphs[done] = static_cast<int16_t>(MatchGlyph(cells[done], quality));
    return;
  }
  PreparedCell prepared[kBatch];
  bool ready[kBatch];
  while (done < count) {
    const int n = std::min(kBatch, count - done);
    for (int k = 0; k < n; ++k) {
      PreparedCell& p = prepared[k];
      const CellDensity& cell = cells[done + k];
      // A cell the same to the bit as the one before it (a flat part of the
      // picture) has the same key.
      if (k > 0 && ready[k - 1] && std::memcmp(&cell, &cells[done + k - 1], sizeof(CellDensity)) == 0) {
        p = prepared[k - 1];
        ready[k] = true;
        continue;
      }
      int lowerLevel, upperLevel;
      ready[k] = QuickWindow(index, cell.Total, quality, &memo_, lowerLevel, upperLevel) &&
                 PrepareKey(index, cell, lowerLevel, upperLevel, &memo_, p);
      // A key equal to the one before it is answered without the table.
      if (ready[k] && p.k2 != 0 && !(k > 0 && ready[k - 1] && p.k1 == prepared[k - 1].k1 && p.k2 == prepared[k - 1].k2))
        memo_.Prefetch(p.k1, p.k2);
    }
    for (int k = 0; k < n; ++k, ++done) {
      glyphs[done] = static_cast<int16_t>(ready[k] ? MatchPrepared(index, table_, prepared[k], &memo_)
                                                   : MatchGlyph(cells[done], quality));
    }
  }
}

Matcher::Matcher(const GlyphTable& table) : table_(table), index_(std::make_shared<const GlyphSearchIndex>(table)) {}

Matcher::Matcher(const Matcher& other) : table_(other.table_), index_(other.index_) {}

}  // namespace zindrel
