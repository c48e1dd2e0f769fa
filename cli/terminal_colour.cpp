#include "cli/terminal_colour.h"

#include <array>
#include <cstdlib>

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

// The cube is a grid, so its nearest colour is the nearest level in each
// channel (the lower of two equally near, as the lower index wins); the grey
// ramp's nearest is the grey nearest the channels' mean. Of the two the cube
// wins a tie, its indices being lower.
int NearestPaletteIndex(CellColour colour) {
  auto level = [](int value) {
    int best = 0;
    for (int i = 1; i < 6; ++i)
      if (std::abs(kCubeLevels[i] - value) < std::abs(kCubeLevels[best] - value)) best = i;
    return best;
  };
  const int cube = 16 + 36 * level(colour.red) + 6 * level(colour.green) + level(colour.blue);
  // Grey 8 + 10 n is nearest the mean m = sum / 3 where |3 (8 + 10 n) - sum|
  // is least; of two equally near the lower.
  const int sum = colour.red + colour.green + colour.blue;
  int n = 0;
  for (int i = 1; i < 24; ++i)
    if (std::abs(3 * (8 + 10 * i) - sum) < std::abs(3 * (8 + 10 * n) - sum)) n = i;
  const int grey = 232 + n;
  return Distance(colour, PaletteColour(grey)) < Distance(colour, PaletteColour(cube)) ? grey : cube;
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
