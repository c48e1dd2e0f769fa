// The art of one picture: the glyph chosen for every cell, row by row, and
// the text written from it.
#pragma once

#include <string>
#include <vector>

#include "cli/options.h"
#include "convert/matcher.h"
#include "core/pixel_source.h"
#include "glyphs/glyph_table.h"

namespace zindrel::cli {

struct ArtParameters {
  int16_t cellSize = 12;
  int16_t quality = 2;
  float brightnessFactor = 1.0f;  // percent / 100, stored as a 32-bit float
};

// The parameters of the command line: brightness percent / 100 computed in
// double and stored as a 32-bit float ("73" gives 0.73f).
ArtParameters ParametersOf(const Options& options);

// Glyph indices per row of cells (0: no glyph chosen yet, the empty text).
using GlyphRows = std::vector<std::vector<int>>;

// Converts the whole picture with the matcher of the table. Raises
// RuntimeError (overflow for a picture whose pixel coordinates or cell
// counts pass 32767, and so on).
GlyphRows ConvertPicture(const Matcher& matcher, const PixelSource& picture, const ArtParameters& parameters);

// The text of the art: the glyphs of each row without separators, each row
// ended by the line end. GBK gives the table's bytes unchanged; UTF-8 their
// decoded text.
std::string ArtText(const GlyphTable& table, const GlyphRows& rows, Encoding encoding, Newline newline);

}  // namespace zindrel::cli
