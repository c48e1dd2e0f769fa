// The conversion run: walks the picture's grid of cells row by row, measures
// and matches every cell, and hands the chosen glyphs to its host.
//
// The host owns everything the run reads or writes: the parameters (read at
// every use, so a change applies from the next cell), the picture (asked for
// at every cell and every row, so a new picture is sampled from the next
// cell on), the output, and what happens after every cell (the window pumps
// its events there and reports a cancel).
#pragma once

#include <cstdint>

#include "convert/matcher.h"
#include "core/pixel_source.h"
#include "glyphs/glyph_table.h"

namespace zindrel {

class RunHost {
 public:
  virtual ~RunHost() = default;
  virtual int16_t CellSize() = 0;
  virtual int16_t Quality() = 0;
  virtual float BrightnessFactor() = 0;
  virtual const PixelSource& Picture() = 0;

  // Append the current glyph: glyph index 1..14924, or 0 for the empty text
  // (no glyph has been chosen yet in this run).
  virtual void AppendGlyph(int glyph) = 0;
  // Append the end of a row: CR LF.
  virtual void EndRow() = 0;
  // Called after every cell, once the glyph is appended. Return true to end
  // the run at once (a cancel): the unfinished row gets no CR LF.
  virtual bool AfterCell() { return false; }
};

enum class RunResult { Finished, Stopped };

// The number of rows or columns of the grid minus one: extent / CellSize - 1,
// rounded half to even into a 16-bit integer (overflow error outside it).
int16_t LastCellIndex(double extent, int16_t cellSize);

// Runs one conversion, matching with matcher (MeasureCell, then
// Matcher::MatchGlyph, which picks MatchGlyphPlain's glyph). Errors (16-bit
// overflow, a level window that never closes, an error of the host)
// propagate to the caller; what was appended before stays appended.
RunResult RunConversion(Matcher& matcher, RunHost& host);
// The same with a Matcher made for this run.
RunResult RunConversion(const GlyphTable& table, RunHost& host);

}  // namespace zindrel
