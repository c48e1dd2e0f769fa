// The fast conversion for the command line: whole rows of cells measured at
// once from raw rows, glyphs chosen by the indexed search with a memo, and
// rows shared among threads. The host sees exactly what RunConversion with
// the same fixed parameters would give it: the same AppendGlyph and EndRow
// calls in the same order, then the same result or the same error after the
// same cells.
#pragma once

#include <cstdint>
#include <vector>

#include "convert/matcher.h"
#include "convert/measure.h"
#include "convert/run.h"

namespace zindrel {

// Working memory for measuring one row of cells.
struct RowScratch {
  std::vector<float> luminance;
  std::vector<float> sums;
};

// Whether MeasureCellRow can measure this picture at this cell size; when it
// cannot, MeasureCell is the way.
bool CanMeasureRows(const PixelSource& picture, int16_t cellSize);

// How many cells of a row, from column 0, MeasureCellRow may measure: those
// whose pixel coordinates all fit 16 bits (MeasureCell raises the overflow
// error for the first one that does not).
int MeasurableColumns(int16_t cellSize, int16_t row, int columns);

// The luminance of n raw pixels as MeasureCellRow computes it: the
// colour's weight 6 green + 3 red + blue divided by 10 in double, stored as
// float, in vector instructions where the processor has them. The same float
// as 0.6 green + 0.3 red + 0.1 blue in double for every colour.
void LuminanceLine(const uint32_t* pixels, int n, float* out);

// Measures cells (row, 0) .. (row, count - 1) into out, each exactly as
// MeasureCell gives it. Requires CanMeasureRows and count <=
// MeasurableColumns. Returns how many cells from column 0 it measured: it
// stops before a cell whose brightness step does not give a finite float,
// for which MeasureCell raises the floating-point error.
int MeasureCellRow(const PixelSource& picture, int16_t row, int count, int16_t cellSize, float brightnessFactor,
                   CellDensity* out, RowScratch& scratch);

// Converts the picture with fixed parameters on `threads` threads (1 or less:
// the calling thread only; the calling thread is one of them), each thread
// matching with its own copy of matcher (sharing its index). Only
// out.AppendGlyph, out.EndRow and out.AfterCell are called, all on the
// calling thread; the parameters and the picture are the arguments, not the
// host's. out.AfterCell() is asked after every cell, as in RunConversion,
// and returning true stops the run.
RunResult ConvertPictureFast(const Matcher& matcher, const PixelSource& picture, int16_t cellSize, int16_t quality,
                             float brightness, RunHost& out, int threads);

}  // namespace zindrel
