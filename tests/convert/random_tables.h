// Random glyph tables, cells and pictures for the equivalence tests of the
// fast engine against the plain one.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "convert/measure.h"
#include "core/errors.h"
#include "glyphs/glyph_table.h"
#include "support/tables.h"

namespace zindrel::speedtest {

// What a call gave: a value, or the kind of error it raised.
struct Outcome {
  std::optional<int> value;
  std::optional<ErrorKind> error;
  bool operator==(const Outcome& o) const { return value == o.value && error == o.error; }
};

inline Outcome Capture(const std::function<int()>& f) {
  Outcome o;
  try {
    o.value = f();
  } catch (const RuntimeError& e) {
    o.error = e.kind();
  }
  return o;
}

inline std::string Describe(const Outcome& o) {
  if (o.error) return "error " + std::string(ErrorDescription(*o.error));
  return "glyph " + std::to_string(*o.value);
}

enum class TableKind {
  Plain,       // values 0..15, sorted levels, every level present
  Gaps,        // many missing levels (1 and 84 kept)
  Duplicates,  // few distinct rows: ties everywhere
  Narrow,      // values 6..9 only, so that halves and ties are frequent
  FarValues,   // some values far off the scale: overflow and fallbacks
  Unsorted,    // records out of level order, odd level starts
  NoTopLevel,  // level 84 missing: high cells never find a window
  Distant,     // whole levels of glyphs near value 60: often no glyph is near enough
};

// Builds a table of the given kind from a seed. Level starts are set the way
// the loader sets them, except for Unsorted, which also plants odd ones.
inline GlyphTable RandomTable(TableKind kind, uint32_t seed) {
  std::mt19937 rng(seed);
  auto uni = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };
  GlyphTable table;
  std::vector<int> levels(GLYPH_COUNT);
  std::vector<bool> present(LEVEL_COUNT + 1, true);
  if (kind == TableKind::Gaps || kind == TableKind::NoTopLevel)
    for (int l = 2; l < LEVEL_COUNT; ++l) present[l] = uni(0, 2) == 0;
  if (kind == TableKind::NoTopLevel) present[LEVEL_COUNT] = false;
  std::vector<int> pool;
  for (int l = 1; l <= LEVEL_COUNT; ++l)
    if (present[l]) pool.push_back(l);
  for (int& l : levels) l = pool[uni(0, static_cast<int>(pool.size()) - 1)];
  // Every present level at least once.
  for (size_t k = 0; k < pool.size(); ++k) levels[k] = pool[k];
  if (kind != TableKind::Unsorted) std::sort(levels.begin(), levels.end());
  std::vector<std::array<int16_t, 9>> rows;
  if (kind == TableKind::Duplicates)
    for (int r = 0; r < 12; ++r) {
      std::array<int16_t, 9> v;
      for (auto& x : v) x = static_cast<int16_t>(uni(0, 15));
      rows.push_back(v);
    }
  for (int i = 1; i <= GLYPH_COUNT; ++i) {
    std::array<int16_t, 10> values{};
    if (kind == TableKind::Duplicates) {
      const auto& v = rows[uni(0, static_cast<int>(rows.size()) - 1)];
      std::copy(v.begin(), v.end(), values.begin());
    } else {
      for (int m = 0; m < 9; ++m) {
        int v = kind == TableKind::Narrow ? uni(6, 9) : uni(0, 15);
        if (kind == TableKind::FarValues && uni(0, 2000) == 0) v = uni(0, 1) ? uni(-32768, 32767) : uni(-200, 200);
        if (kind == TableKind::Distant && levels[i - 1] % 4 != 1) v = uni(57, 60);
        values[m] = static_cast<int16_t>(v);
      }
    }
    values[9] = static_cast<int16_t>(levels[i - 1]);
    table.SetGlyph(i, "g" + std::to_string(i), values);
  }
  testing::IndexLevels(table, GLYPH_COUNT);
  if (kind == TableKind::Unsorted) {
    // Starts no loader would make: out of order, shared, negative, too large.
    for (int k = 0; k < 6; ++k) table.SetLevelStart(uni(2, 83), static_cast<int16_t>(uni(1, GLYPH_COUNT)));
    if (seed % 3 == 0) table.SetLevelStart(uni(2, 83), static_cast<int16_t>(uni(-5, -1)));
    if (seed % 3 == 1) table.SetLevelStart(uni(2, 83), static_cast<int16_t>(GLYPH_COUNT + uni(1, 50)));
  }
  return table;
}

// A random block value: whole numbers, exact halves, quarters, fractions,
// and now and then values far off the scale.
inline float RandomBlock(std::mt19937& rng, float scale) {
  auto uni = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };
  switch (uni(0, 9)) {
    case 0: return static_cast<float>(uni(0, 15)) * scale;
    case 1:
    case 2: return static_cast<float>(uni(0, 15)) + 0.5f;
    case 3: return static_cast<float>(uni(-2, 17)) + 0.25f * static_cast<float>(uni(0, 3));
    case 4: return std::nextafter(static_cast<float>(uni(0, 15)) + 0.5f, uni(0, 1) ? 100.0f : -100.0f);
    case 5:
      if (uni(0, 20) == 0) return static_cast<float>(uni(-40000, 40000));
      return static_cast<float>(uni(-300, 300)) * 0.5f;
    default: return std::uniform_real_distribution<float>(-0.7f, 18.0f)(rng) * scale;
  }
}

inline CellDensity RandomCell(std::mt19937& rng) {
  CellDensity c;
  const float scale = std::uniform_real_distribution<float>(0.4f, 1.3f)(rng);
  for (float& b : c.Block) b = RandomBlock(rng, scale);
  auto uni = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };
  switch (uni(0, 3)) {
    case 0: c.Total = static_cast<float>(uni(1, 84)); break;
    case 1: c.Total = static_cast<float>(uni(1, 83)) + 0.5f; break;
    default: c.Total = std::uniform_real_distribution<float>(1.0f, 84.0f)(rng);
  }
  return c;
}

}  // namespace zindrel::speedtest
