// The 256-colour palette: every fixed colour is its own nearest, and the
// nearest index is the one a search through all 240 fixed colours finds.
#include <gtest/gtest.h>

#include <random>

#include "cli/terminal_colour.h"

namespace zindrel::cli {
namespace {

int Distance(CellColour a, CellColour b) {
  const int r = a.red - b.red, g = a.green - b.green, bl = a.blue - b.blue;
  return r * r + g * g + bl * bl;
}

// Every fixed colour in turn; ties to the lower index.
int SearchAll(CellColour c) {
  int best = 16;
  for (int i = 17; i <= 255; ++i)
    if (Distance(c, PaletteColour(i)) < Distance(c, PaletteColour(best))) best = i;
  return best;
}

TEST(Palette, EveryFixedColourIsItsOwnNearest) {
  for (int i = 16; i <= 255; ++i) EXPECT_EQ(NearestPaletteIndex(PaletteColour(i)), i);
  EXPECT_EQ(PaletteColour(16), (CellColour{0, 0, 0}));
  EXPECT_EQ(PaletteColour(67), (CellColour{95, 135, 175}));
  EXPECT_EQ(PaletteColour(231), (CellColour{255, 255, 255}));
  EXPECT_EQ(PaletteColour(232), (CellColour{8, 8, 8}));
  EXPECT_EQ(PaletteColour(255), (CellColour{238, 238, 238}));
}

TEST(Palette, NearestAsASearchThroughAllFindsIt) {
  // A grid through the colour cube, with the values midway between the
  // cube's levels and the greys (where ties fall), and random colours.
  std::vector<int> values;
  for (int v = 0; v <= 255; v += 15) values.push_back(v);
  for (int v : {47, 48, 114, 115, 155, 195, 235, 3, 13, 123, 233, 243, 246}) values.push_back(v);
  for (int r : values)
    for (int g : values)
      for (int b : values) {
        const CellColour c{static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)};
        ASSERT_EQ(NearestPaletteIndex(c), SearchAll(c)) << r << "," << g << "," << b;
      }
  std::mt19937 rng(3);
  for (int i = 0; i < 20000; ++i) {
    const CellColour c{static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng())};
    ASSERT_EQ(NearestPaletteIndex(c), SearchAll(c)) << int(c.red) << "," << int(c.green) << "," << int(c.blue);
  }
}

TEST(Palette, CodesOfBothModes) {
  const CellColour orange{255, 128, 7};
  EXPECT_EQ(ForegroundCode(orange, ColourMode::TrueColour), "\x1b[38;2;255;128;7m");
  EXPECT_EQ(ForegroundCode(orange, ColourMode::Palette256), "\x1b[38;5;208m");
  EXPECT_EQ(ShownColour(orange, ColourMode::Palette256), (CellColour{255, 135, 0}));
  EXPECT_EQ(ShownColour(orange, ColourMode::TrueColour), orange);
  EXPECT_EQ(ForegroundCode(orange, ColourMode::None), "");
}

}  // namespace
}  // namespace zindrel::cli
