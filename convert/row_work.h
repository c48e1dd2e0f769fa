// One row of cells as the fast runs compute it, in two steps: measure every
// cell (reading the pixel rows of the row of cells, and nothing else), then
// match them (reading nothing of the picture). A streaming run lets the
// decoder reuse the pixel rows between the two. Private to the engine.
#pragma once

#include <cstdint>
#include <exception>
#include <vector>

#include "convert/fast_run.h"
#include "convert/matcher.h"
#include "convert/run.h"

namespace zindrel {

// The glyph MatchGlyph gives for every cell of a row, up to the first cell
// that raised an error (measuring or matching), and that error.
struct RowResult {
  int row = -1;
  std::vector<int16_t> glyphs;
  int failColumn = -1;
  std::exception_ptr error;
};

// The cells of one row as measured: the first `measured` of them, and the
// error of the next one when measuring stopped before the row's end.
struct MeasuredRow {
  std::vector<CellDensity> cells;
  int measured = 0;
  std::exception_ptr error;
};

struct RowJob {
  int16_t cellSize, quality;
  float brightness;
  int columns;
};

// Measures the cells of row `row` into out, each as MeasureCell gives it.
void MeasureRow(const RowJob& job, const PixelSource& picture, int16_t row, RowScratch& scratch, MeasuredRow& out);

// Matches the measured cells into result; a cell whose matching raises ends
// the row there, else the measuring error (if any) does.
void MatchRow(const RowJob& job, const MeasuredRow& cells, Matcher& matcher, RowResult& result);

// A thread's working memory and its own Matcher (sharing the index).
struct RowWorker {
  explicit RowWorker(const Matcher& shared) : matcher(shared) {}
  RowScratch scratch;
  MeasuredRow cells;
  Matcher matcher;
};

// Both steps.
inline void ComputeRow(const RowJob& job, const PixelSource& picture, int16_t row, RowResult& result, RowWorker& w) {
  MeasureRow(job, picture, row, w.scratch, w.cells);
  MatchRow(job, w.cells, w.matcher, result);
}

// Hands a computed row to the host as RunConversion would: the glyphs with
// the previous-glyph rule (current is the glyph appended last), AfterCell
// after each, the row's error at its cell, then the row's end. Returns true
// when the host stopped the run.
bool HandRow(const RowResult& result, int16_t lastColumn, int& current, RunHost& out);

}  // namespace zindrel
