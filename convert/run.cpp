#include "convert/run.h"

#include "convert/measure.h"
#include "core/numeric.h"

namespace zindrel {

int16_t LastCellIndex(double extent, int16_t cellSize) {
  return ToInt16(DivideF(extent, static_cast<float>(cellSize)) - 1.0);
}

RunResult RunConversion(Matcher& matcher, RunHost& host) {
  int currentGlyph = 0;
  const int16_t lastRow = LastCellIndex(host.Picture().Height(), host.CellSize());
  // 16-bit counters: increasing one past 32767 raises the overflow error.
  for (int16_t row = 0; row <= lastRow; row = Add16(row, 1)) {
    const int16_t lastColumn = LastCellIndex(host.Picture().Width(), host.CellSize());
    for (int16_t column = 0; column <= lastColumn; column = Add16(column, 1)) {
      const CellDensity cell = MeasureCell(host.Picture(), row, column, host.CellSize(), host.BrightnessFactor());
      const int n = matcher.MatchGlyph(cell, host.Quality());
      if (n != 0) currentGlyph = n;
      host.AppendGlyph(currentGlyph);
      if (host.AfterCell()) return RunResult::Stopped;
    }
    host.EndRow();
  }
  return RunResult::Finished;
}

RunResult RunConversion(const GlyphTable& table, RunHost& host) {
  Matcher matcher(table);
  return RunConversion(matcher, host);
}

}  // namespace zindrel
