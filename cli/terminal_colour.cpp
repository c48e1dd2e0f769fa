#include "cli/terminal_colour.h"

#include <array>

namespace zindrel::cli {

namespace {

constexpr std::array<int, 6> kCubeLevels = {0, 95, 135, 175, 215, 255};

int Distance(CellColour a, CellColour b) {
  const int r = a.red - b.red, g = a.green - b.green, bl = a.blue - b.blue;
  return r * r + g * g + bl * bl;
}

}  // namespace

CellColour PaletteColour(int index) {
  if (index >= 232) {
    const auto grey = static_cast<uint8_t>(8 + 10 * (index - 232));
    return {grey, grey, grey};
  }
  const int n = index - 16;
  return {static_cast<uint8_t>(kCubeLevels[n / 36]), static_cast<uint8_t>(kCubeLevels[n / 6 % 6]),
          static_cast<uint8_t>(kCubeLevels[n % 6])};
}

int NearestPaletteIndex(CellColour colour) {
  int best = 16, bestDistance = Distance(colour, PaletteColour(16));
  for (int index = 17; index <= 255; ++index) {
    const int d = Distance(colour, PaletteColour(index));
    if (d < bestDistance) best = index, bestDistance = d;
  }
  return best;
}

CellColour ShownColour(CellColour colour, ColourMode mode) {
  return mode == ColourMode::Palette256 ? PaletteColour(NearestPaletteIndex(colour)) : colour;
}

std::string ForegroundCode(CellColour colour, ColourMode mode) {
  switch (mode) {
    case ColourMode::None: return {};
    case ColourMode::Palette256: return "\x1b[38;5;" + std::to_string(NearestPaletteIndex(colour)) + "m";
    case ColourMode::TrueColour:
      return "\x1b[38;2;" + std::to_string(colour.red) + ";" + std::to_string(colour.green) + ";" +
             std::to_string(colour.blue) + "m";
  }
  return {};
}

}  // namespace zindrel::cli
