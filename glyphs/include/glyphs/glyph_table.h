// The glyph table: 14924 glyphs, each a short text in the Chinese code page
// with nine sub-block values and a level, and the index from each of the 84
// levels to the first glyph of that level.
//
// Indices are 1-based as in the table file: glyphs 1..14924, density columns
// 1..10 (1..9 the sub-blocks in reading order, 10 the level), levels 1..84.
// Access outside those bounds raises the out-of-range index error.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/errors.h"

namespace zindrel {

constexpr int GLYPH_COUNT = 14924;
constexpr int LEVEL_COUNT = 84;

class GlyphTable {
 public:
  // An empty table: empty strings and zeros everywhere.
  GlyphTable();
  // A copy decodes its UTF-8 texts afresh.
  GlyphTable(const GlyphTable& other);
  GlyphTable& operator=(const GlyphTable& other);
  GlyphTable(GlyphTable&&) noexcept = default;
  GlyphTable& operator=(GlyphTable&&) noexcept = default;
  ~GlyphTable();

  const std::string& GlyphText(int i) const { return text_[CheckGlyph(i)]; }
  // The same glyph decoded to UTF-8, on its first use (safe from several
  // threads); the reference stays valid as long as the table.
  const std::string& GlyphUtf8(int i) const;
  int16_t GlyphDensity(int i, int m) const {
    if (m < 1 || m > 10) Raise(ErrorKind::OutOfRange);
    return density_[CheckGlyph(i)][m];
  }
  int16_t LevelStart(int level) const {
    if (level < 1 || level > LEVEL_COUNT) Raise(ErrorKind::OutOfRange);
    return levelStart_[level];
  }

  // Unchecked rows for hot loops: row(i)[m] for m = 1..10.
  const std::array<int16_t, 11>& Row(int i) const { return density_[i]; }

  // Used by the loader and by tests that build small tables in code.
  void SetGlyph(int i, std::string gbkText, const std::array<int16_t, 10>& values);
  void SetLevelStart(int level, int16_t index);
  // Decodes every glyph's UTF-8 text now rather than on first use.
  void DecodeTexts() const;

 private:
  static int CheckGlyph(int i) {
    if (i < 1 || i > GLYPH_COUNT) Raise(ErrorKind::OutOfRange);
    return i;
  }

  // UTF-8 texts, made at the first GlyphUtf8: a table opens without
  // decoding all its glyphs, and a run decodes only the glyphs it writes.
  struct Utf8Texts {
    std::atomic<bool> made{false};
    std::mutex mutex;
    std::unique_ptr<std::string[]> text;
    std::unique_ptr<std::atomic<bool>[]> ready;
  };

  std::vector<std::string> text_;
  mutable std::unique_ptr<Utf8Texts> utf8_;
  std::vector<std::array<int16_t, 11>> density_;
  std::array<int16_t, LEVEL_COUNT + 1> levelStart_{};
};

// Reads the table file at path: one pass, exactly GLYPH_COUNT records, the
// level index built on the way. Raises:
//   FileNotFound   no such file;
//   ReadPastEnd    the file ends before record 14924 is complete;
//   Overflow       a number outside -32768..32767;
//   OutOfRange     a level above 84;
//   TypeMismatch   a number field that is not a whole number;
//   InvalidFormat  a glyph line longer than 64 KiB.
// Every error's detail names the record ("in record 14924").
GlyphTable LoadGlyphTable(const std::string& path);

// The table file beside a program: its directory joined with "Data.han".
std::string DefaultTablePath(const std::string& programDirectory);

}  // namespace zindrel
