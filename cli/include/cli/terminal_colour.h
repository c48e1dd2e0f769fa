// Colours in a terminal: ANSI SGR foreground codes, 24-bit or from the
// 256-colour palette.
#pragma once

#include <cstdint>
#include <string>

#include "convert/cell_colour.h"

namespace zindrel::cli {

enum class ColourMode { None, Palette256, TrueColour };

// The palette index nearest to a colour, by squared distance in RGB, ties
// to the lower index. Only the palette's fixed colours compete: the 6x6x6
// cube (16..231, levels 0, 95, 135, 175, 215, 255) and the grey ramp
// (232..255, 8 + 10 n). The first 16 entries are left out, because every
// terminal theme sets them its own way.
int NearestPaletteIndex(CellColour colour);

// The colour of a palette index 16..255.
CellColour PaletteColour(int index);

// The colour a glyph is shown in: the colour itself in TrueColour, its
// nearest palette colour in Palette256.
CellColour ShownColour(CellColour colour, ColourMode mode);

// The SGR sequence that sets the foreground: ESC [ 38;2;R;G;B m in
// TrueColour, ESC [ 38;5;N m in Palette256 (empty in None).
std::string ForegroundCode(CellColour colour, ColourMode mode);

// ESC [ 0 m: back to the terminal's own colours.
inline const char* const kResetCode = "\x1b[0m";

}  // namespace zindrel::cli
