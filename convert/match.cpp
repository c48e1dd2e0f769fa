#include "convert/match.h"

#include "core/numeric.h"

namespace zindrel {

LevelWindow FindLevelWindow(const GlyphTable& table, float total, int16_t quality) {
  LevelWindow window;
  int16_t w = 0;
  for (;;) {
    LevelWindowPass(total, quality, w, window.lowerLevel, window.upperLevel);
    window.lowerStart = table.LevelStart(window.lowerLevel);
    window.upperStart = table.LevelStart(window.upperLevel);
    w = Add16(w, 1);
    if (window.lowerStart != 0 && window.upperStart != 0) return window;
  }
}

int16_t GlyphDistance(const GlyphTable& table, const CellDensity& cell, int n) {
  int16_t d = 0;
  for (int m = 1; m <= 9; ++m) {
    const int16_t diff = ToInt16(static_cast<double>(cell.Block[m - 1]) - static_cast<float>(table.GlyphDensity(n, m)));
    d = Add16(d, Mul16(diff, diff));
  }
  return d;
}

int MatchGlyphPlain(const GlyphTable& table, const CellDensity& cell, int16_t quality) {
  const LevelWindow window = FindLevelWindow(table, cell.Total, quality);
  int16_t best = kNoMatchDistance;
  int choice = 0;
  for (int n = window.lowerStart; n <= window.upperStart; ++n) {
    const int16_t d = GlyphDistance(table, cell, n);
    if (d < best) {
      best = d;
      choice = n;
    }
  }
  return choice;
}

}  // namespace zindrel
