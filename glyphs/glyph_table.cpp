#include "glyphs/glyph_table.h"

#include "core/gbk.h"
#include "core/text_reader.h"

namespace zindrel {

GlyphTable::GlyphTable()
    : text_(GLYPH_COUNT + 1), utf8_(GLYPH_COUNT + 1), density_(GLYPH_COUNT + 1, std::array<int16_t, 11>{}) {}

void GlyphTable::SetGlyph(int i, std::string gbkText, const std::array<int16_t, 10>& values) {
  CheckGlyph(i);
  text_[i] = std::move(gbkText);
  for (int m = 1; m <= 10; ++m) density_[i][m] = values[m - 1];
}

void GlyphTable::SetLevelStart(int level, int16_t index) {
  if (level < 1 || level > LEVEL_COUNT) Raise(ErrorKind::OutOfRange);
  levelStart_[level] = index;
}

void GlyphTable::DecodeTexts() {
  for (int i = 1; i <= GLYPH_COUNT; ++i) utf8_[i] = GbkToUtf8(text_[i]);
}

GlyphTable LoadGlyphTable(const std::string& path) {
  GlyphTable table;
  SequentialTextReader reader(path);
  int16_t nextLevel = 1;
  int record = 1;
  try {
    for (; record <= GLYPH_COUNT; ++record) {
      std::string text = reader.ReadLine();
      std::array<int16_t, 10> values{};
      for (int m = 0; m < 10; ++m) values[m] = reader.ReadInt16();
      table.SetGlyph(record, std::move(text), values);
      const int16_t level = values[9];
      if (level >= nextLevel) {
        if (level > LEVEL_COUNT) Raise(ErrorKind::OutOfRange, "(level " + std::to_string(level) + ")");
        table.SetLevelStart(level, static_cast<int16_t>(record));
        nextLevel = static_cast<int16_t>(level + 1);
      }
    }
  } catch (const RuntimeError& e) {
    std::string detail = "in record " + std::to_string(record);
    if (!e.detail().empty()) detail += " " + e.detail();
    throw RuntimeError(e.kind(), detail);
  }
  reader.Close();
  table.DecodeTexts();
  return table;
}

std::string DefaultTablePath(const std::string& programDirectory) {
  if (programDirectory.empty()) return "Data.han";
  char last = programDirectory.back();
  if (last == '/' || last == '\\') return programDirectory + "Data.han";
  return programDirectory + "/Data.han";
}

}  // namespace zindrel
