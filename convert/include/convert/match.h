// Glyph matching: the glyph whose nine values lie nearest to a cell's, among
// the glyphs of a window of levels around the cell's total.
#pragma once

#include <cstdint>

#include "convert/measure.h"
#include "core/min_max.h"
#include "core/numeric.h"
#include "glyphs/glyph_table.h"

namespace zindrel {

// Distance below which a candidate can be chosen at all.
constexpr int16_t kNoMatchDistance = 25535;

struct LevelWindow {
  int32_t lowerLevel = 0, upperLevel = 0;
  int16_t lowerStart = 0, upperStart = 0;
};

// Pass w of the level window: Quality + w levels either side of the total,
// each end formed in double, stored as a float and rounded half to even; the
// lower end at least 1, the upper end within 1..84. The one statement of the
// rule: the plain search and the indexed search both take their windows
// from it. Raises the overflow error for an end that is not a finite number
// or does not fit 32 bits.
inline void LevelWindowPass(float total, int16_t quality, int16_t w, int32_t& lowerLevel, int32_t& upperLevel) {
  lowerLevel = ToInt32(MaxOf(StoreF32(static_cast<double>(total) - quality - w), 1));
  upperLevel = ToInt32(MaxOf(MinOf(StoreF32(static_cast<double>(quality) + total + w), 84), 1));
}

// The level window for a total: passes w = 0, 1, ... until both ends are
// levels the table indexes (the overflow error when w passes 32767).
LevelWindow FindLevelWindow(const GlyphTable& table, float total, int16_t quality);

// Squared distance between a cell and glyph n, in checked 16-bit arithmetic.
int16_t GlyphDistance(const GlyphTable& table, const CellDensity& cell, int n);

// The index (1..14924) of the chosen glyph, or 0 when no candidate lies
// nearer than kNoMatchDistance; ties go to the lower index. Measures every
// candidate in turn: the literal rule, the reference the indexed search
// (Matcher, convert/matcher.h) is checked against, and its answer where it
// cannot be sure.
int MatchGlyphPlain(const GlyphTable& table, const CellDensity& cell, int16_t quality);

}  // namespace zindrel
