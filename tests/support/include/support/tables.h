// Helpers that build glyph tables for the tests: table files written into a
// temporary folder in several layouts, and small tables made in code.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "glyphs/glyph_table.h"
#include "support/files.h"

namespace zindrel::testing {

enum class NumberLayout { Commas, Blanks, OnePerLine };

struct Record {
  std::string glyph;               // GBK bytes
  std::array<int16_t, 10> values;  // nine sub-block values, then the level
};

// The level of record i (1-based) in a sorted table that covers every level:
// levels 1..84 spread evenly over the records.
inline int16_t SpreadLevel(int i, int records = GLYPH_COUNT) {
  return static_cast<int16_t>(1 + static_cast<long>(i - 1) * LEVEL_COUNT / records);
}

// A plausible record i: a GBK glyph chosen from a small set, nine values
// that vary with i, and the spread level.
inline Record SampleRecord(int i) {
  static const char* const kGlyphs[] = {"\xB0\xA1", "\xD6\xD0", "\xCE\xC4", "\xA1\xA1", "\xC8\xCB"};
  Record r;
  r.glyph = kGlyphs[i % 5];
  for (int m = 0; m < 9; ++m) r.values[m] = static_cast<int16_t>((i * 7 + m * 3) % 16);
  r.values[9] = SpreadLevel(i);
  return r;
}

inline std::string RecordBytes(const Record& r, NumberLayout layout, const std::string& eol) {
  std::string s = r.glyph + eol;
  for (int m = 0; m < 10; ++m) {
    s += std::to_string(r.values[m]);
    if (m == 9) break;
    switch (layout) {
      case NumberLayout::Commas: s += ","; break;
      case NumberLayout::Blanks: s += "  "; break;
      case NumberLayout::OnePerLine: s += eol; break;
    }
  }
  return s + eol;
}

// The bytes of a table file with `count` records; `edit` may change any
// record before it is written.
inline std::string TableBytes(int count, NumberLayout layout = NumberLayout::Commas, const std::string& eol = "\r\n",
                              const std::function<void(int, Record&)>& edit = {}) {
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(count) * 40);
  for (int i = 1; i <= count; ++i) {
    Record r = SampleRecord(i);
    if (edit) edit(i, r);
    bytes += RecordBytes(r, layout, eol);
  }
  return bytes;
}

// Sets the level starts of the first `records` glyphs the way the loader
// does: a record whose level rises above every level before it starts that
// level (a level above 84 starts nothing). keep, when given, may leave a
// level unindexed.
inline void IndexLevels(GlyphTable& table, int records, const std::function<bool(int16_t)>& keep = {}) {
  int16_t next = 1;
  for (int i = 1; i <= records; ++i) {
    const int16_t level = table.Row(i)[10];
    if (level >= next && level <= LEVEL_COUNT) {
      if (!keep || keep(level)) table.SetLevelStart(level, static_cast<int16_t>(i));
      next = static_cast<int16_t>(level + 1);
    }
  }
}

// A small table in code: glyph i gets the text and values given, and the
// level index is built the way the loader builds it.
inline GlyphTable TableOf(const std::vector<Record>& records) {
  GlyphTable table;
  for (std::size_t k = 0; k < records.size(); ++k)
    table.SetGlyph(static_cast<int>(k + 1), records[k].glyph, records[k].values);
  IndexLevels(table, static_cast<int>(records.size()));
  table.DecodeTexts();
  return table;
}

// A record whose nine values are all v.
inline Record Flat(std::string glyph, int16_t v, int16_t level) {
  Record r{std::move(glyph), {}};
  for (int m = 0; m < 9; ++m) r.values[m] = v;
  r.values[9] = level;
  return r;
}

}  // namespace zindrel::testing
