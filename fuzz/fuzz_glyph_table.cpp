// The glyph table loader on arbitrary file contents: it must return a table
// or raise the system's run-time error, never crash, hang or read without
// bound.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "glyphs/glyph_table.h"

namespace {
zindrel::fuzz::ScratchCleanup cleanup;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = zindrel::fuzz::WriteScratch(data, size);
  try {
    zindrel::GlyphTable table = zindrel::LoadGlyphTable(path);
    // A loaded table keeps its promises: indexed levels ascend and point
    // into the table.
    int previous = 0;
    for (int level = 1; level <= zindrel::LEVEL_COUNT; ++level) {
      const int start = table.LevelStart(level);
      if (start == 0) continue;
      if (start <= previous || start > zindrel::GLYPH_COUNT) __builtin_trap();
      if (table.GlyphDensity(start, 10) != level) __builtin_trap();
      previous = start;
    }
  } catch (const zindrel::RuntimeError& e) {
    // Every failure names the record it stopped in.
    if (e.detail().rfind("in record ", 0) != 0) __builtin_trap();
  }
  return 0;
}
