// Glyph matching: the glyph whose nine values lie nearest to a cell's, among
// the glyphs of a window of levels around the cell's total.
#pragma once

#include <cstdint>

#include "convert/measure.h"
#include "core/min_max.h"
#include "glyphs/glyph_table.h"

namespace zindrel {

// Distance below which a candidate can be chosen at all.
constexpr int16_t kNoMatchDistance = 25535;

struct LevelWindow {
  int32_t lowerLevel = 0, upperLevel = 0;
  int16_t lowerStart = 0, upperStart = 0;
};

// The level window for a total: Quality levels either side, widened one level
// at a time until both ends are levels the table indexes.
LevelWindow FindLevelWindow(const GlyphTable& table, float total, int16_t quality);

// Squared distance between a cell and glyph n, in checked 16-bit arithmetic.
int16_t GlyphDistance(const GlyphTable& table, const CellDensity& cell, int n);

// The index (1..14924) of the chosen glyph, or 0 when no candidate lies
// nearer than kNoMatchDistance. Ties go to the lower index. Uses the table's
// search index (convert/fast_match.h), built on first use.
int MatchGlyph(const GlyphTable& table, const CellDensity& cell, int16_t quality);

// The same choice by measuring every candidate in turn: the reference the
// indexed search is checked against, and its answer where it cannot be sure.
int MatchGlyphPlain(const GlyphTable& table, const CellDensity& cell, int16_t quality);

}  // namespace zindrel
