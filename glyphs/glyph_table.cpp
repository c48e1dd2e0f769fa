#include "glyphs/glyph_table.h"

#include "core/gbk.h"
#include "core/text_reader.h"

namespace zindrel {

GlyphTable::GlyphTable()
    : text_(GLYPH_COUNT + 1),
      utf8_(std::make_unique<Utf8Texts>()),
      density_(GLYPH_COUNT + 1, std::array<int16_t, 11>{}) {}

GlyphTable::GlyphTable(const GlyphTable& other)
    : text_(other.text_),
      utf8_(std::make_unique<Utf8Texts>()),
      density_(other.density_),
      levelStart_(other.levelStart_) {}

GlyphTable& GlyphTable::operator=(const GlyphTable& other) {
  if (this != &other) {
    text_ = other.text_;
    utf8_ = std::make_unique<Utf8Texts>();
    density_ = other.density_;
    levelStart_ = other.levelStart_;
  }
  return *this;
}

GlyphTable::~GlyphTable() = default;

const std::string& GlyphTable::GlyphUtf8(int i) const {
  CheckGlyph(i);
  Utf8Texts& u = *utf8_;
  if (!u.made.load(std::memory_order_acquire)) {
    const std::lock_guard<std::mutex> lock(u.mutex);
    if (!u.made.load(std::memory_order_relaxed)) {
      u.text = std::make_unique<std::string[]>(GLYPH_COUNT + 1);
      u.ready = std::make_unique<std::atomic<bool>[]>(GLYPH_COUNT + 1);
      u.made.store(true, std::memory_order_release);
    }
  }
  if (!u.ready[i].load(std::memory_order_acquire)) {
    const std::lock_guard<std::mutex> lock(u.mutex);
    if (!u.ready[i].load(std::memory_order_relaxed)) {
      u.text[i] = GbkToUtf8(text_[i]);
      u.ready[i].store(true, std::memory_order_release);
    }
  }
  return u.text[i];
}

void GlyphTable::SetGlyph(int i, std::string gbkText, const std::array<int16_t, 10>& values) {
  CheckGlyph(i);
  text_[i] = std::move(gbkText);
  for (int m = 1; m <= 10; ++m) density_[i][m] = values[m - 1];
  // A text decoded before is decoded again at its next use.
  if (utf8_->ready) utf8_->ready[i].store(false, std::memory_order_relaxed);
}

void GlyphTable::SetLevelStart(int level, int16_t index) {
  if (level < 1 || level > LEVEL_COUNT) Raise(ErrorKind::OutOfRange);
  levelStart_[level] = index;
}

void GlyphTable::DecodeTexts() const {
  for (int i = 1; i <= GLYPH_COUNT; ++i) GlyphUtf8(i);
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
  return table;
}

std::string DefaultTablePath(const std::string& programDirectory) {
  if (programDirectory.empty()) return "Data.han";
  char last = programDirectory.back();
  if (last == '/' || last == '\\') return programDirectory + "Data.han";
  return programDirectory + "/Data.han";
}

}  // namespace zindrel
