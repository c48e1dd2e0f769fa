// The art of one picture: the glyph chosen for every cell, row by row, and
// the text written from it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "convert/cell_colour.h"
#include "convert/matcher.h"
#include "core/pixel_source.h"
#include "core/row_stream.h"
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

// The colour of every cell, row by row, as the glyphs are.
using ColourRows = std::vector<std::vector<CellColour>>;

// Converts the whole picture with the matcher of the table. Raises
// RuntimeError (overflow for a picture whose pixel coordinates or cell
// counts pass 32767, and so on). With colours, each row's cells are also
// measured for their colour (MeasureCellColours) as the row is finished.
GlyphRows ConvertPicture(const Matcher& matcher, const PixelSource& picture, const ArtParameters& parameters,
                         ColourRows* colours = nullptr);

// The same for a picture that a decoder delivers row by row: each row of
// cells is converted (and its colours measured, when `colours` is given) as
// soon as its rows are decoded, in memory that does not grow with the
// picture's height. Decoding starts at once; `matcher` is asked for once,
// and may wait for a table still loading (an error it raises ends the
// conversion first). Every row is read, so a damaged picture raises its own
// error (InvalidPicture) rather than any error of the conversion. The same
// glyphs and colours as ConvertPicture on the decoded picture. `onRow`, when
// given, sees each row of glyphs as it is finished, in order, on the calling
// thread, once the matcher is there; without keepRows the rows go only to
// onRow, and the result holds none.
using GlyphRowSink = std::function<void(const std::vector<int>& row)>;
GlyphRows ConvertPictureRows(const std::function<const Matcher&()>& matcher, RowStream& picture,
                             const ArtParameters& parameters, ColourRows* colours = nullptr,
                             const GlyphRowSink& onRow = {}, bool keepRows = true);

// The art of a picture that streams: its glyphs and colours as
// ConvertPictureRows gives them (the colours turned back with --invert, see
// TurnColoursBack), and its text as ArtText or ColouredArtText gives it. Plain
// text is written row by row while the rest decodes, so that little is left
// to do after the last row; without keepRows its glyphs are not kept then
// (only the text is wanted). Raises as ConvertPictureRows.
struct StreamedArt {
  GlyphRows rows;
  ColourRows colours;
  std::string text;
  int widest = 0;  // glyphs in the widest row
};
StreamedArt ConvertStreamedArt(const std::function<const Matcher&()>& matcher, RowStream& picture,
                               const Options& options, bool keepRows = true);

// The text of the art: the glyphs of each row without separators, each row
// ended by the line end. GBK gives the table's bytes unchanged; UTF-8 their
// decoded text.
std::string ArtText(const GlyphTable& table, const GlyphRows& rows, Encoding encoding, Newline newline);

// Appends one row of ArtText to `text`: so the text of a picture that
// streams is written while the decoder is still at work.
void AppendArtRow(const GlyphTable& table, const std::vector<int>& row, Encoding encoding, Newline newline,
                  std::string& text);

// The same with every glyph in its cell's colour (ShownColour): the colour's
// code before each run of glyphs of one colour, and the reset code before
// every line end. The codes are ASCII, so the glyphs' bytes are those of
// ArtText in either encoding.
std::string ColouredArtText(const GlyphTable& table, const GlyphRows& rows, const ColourRows& colours, ColourMode mode,
                            Encoding encoding, Newline newline);

// With --invert the cells are measured on the negative, and so are their
// colours: this turns them back (255 - each channel), so the glyphs show the
// picture's own colours on the light page.
void TurnColoursBack(ColourRows& colours);

// The colour of every character of the art text (UTF-8, as ArtText writes
// it), line by line: its cell's shown colour (ShownColour), opaque, as
// 0xFFRRGGBB. For the art's PNG picture and HTML page.
std::vector<std::vector<uint32_t>> CharacterColours(const GlyphTable& table, const GlyphRows& rows,
                                                    const ColourRows& colours, ColourMode mode);

}  // namespace zindrel::cli
