#include "cli/art_text.h"

#include <algorithm>
#include <thread>

#include "cli/terminal_colour.h"
#include "convert/fast_run.h"
#include "convert/run.h"
#include "convert/stream_run.h"
#include "core/errors.h"
#include "core/numeric.h"

namespace zindrel::cli {

namespace {

// Collects the run's glyphs; the parameters never change during a run here.
class CollectingHost : public RunHost {
 public:
  // Colours, when wanted, are measured on `picture` at each row's end, or
  // taken from `measured` (every cell of every row of cells) when given.
  // Without keepRows the rows go only to onRow.
  CollectingHost(const PixelSource& picture, const ArtParameters& parameters, GlyphRows& rows, ColourRows* colours,
                 const ColourRows* measured = nullptr, const GlyphRowSink* onRow = nullptr, bool keepRows = true)
      : picture_(picture),
        parameters_(parameters),
        rows_(rows),
        colours_(colours),
        measured_(measured),
        onRow_(onRow),
        keepRows_(keepRows) {}
  int16_t CellSize() override { return parameters_.cellSize; }
  int16_t Quality() override { return parameters_.quality; }
  float BrightnessFactor() override { return parameters_.brightnessFactor; }
  const PixelSource& Picture() override { return picture_; }
  void AppendGlyph(int glyph) override { current_.push_back(glyph); }
  void EndRow() override {
    if (colours_) {
      std::vector<CellColour> row(current_.size());
      if (measured_)
        std::copy_n((*measured_)[static_cast<size_t>(ended_)].begin(), row.size(), row.begin());
      else
        MeasureCellColours(picture_, ended_, static_cast<int>(row.size()), parameters_.cellSize,
                           parameters_.brightnessFactor, row.data());
      colours_->push_back(std::move(row));
    }
    ++ended_;
    if (onRow_ && *onRow_) (*onRow_)(current_);
    if (keepRows_) rows_.push_back(std::move(current_));
    current_.clear();
  }

 private:
  const PixelSource& picture_;
  const ArtParameters& parameters_;
  GlyphRows& rows_;
  ColourRows* colours_;
  const ColourRows* measured_;
  const GlyphRowSink* onRow_;
  bool keepRows_;
  int ended_ = 0;  // rows of cells finished
  std::vector<int> current_;
};

}  // namespace

ArtParameters ParametersOf(const Options& options) {
  ArtParameters p;
  p.cellSize = Checked16(options.cellSize);
  p.quality = Checked16(options.quality);
  p.brightnessFactor = StoreF32(static_cast<double>(options.brightness) / 100.0);
  return p;
}

int Threads() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

GlyphRows ConvertPicture(const Matcher& matcher, const PixelSource& picture, const ArtParameters& parameters,
                         ColourRows* colours) {
  GlyphRows rows;
  if (colours) colours->clear();
  CollectingHost host(picture, parameters, rows, colours);
  // The fast engine hands the host exactly the glyphs, rows and errors of
  // RunConversion; rows are shared among the processor's cores.
  ConvertPictureFast(matcher, picture, parameters.cellSize, parameters.quality, parameters.brightnessFactor, host,
                     Threads());
  return rows;
}

GlyphRows ConvertPictureRows(const std::function<const Matcher&()>& matcher, RowStream& picture,
                             const ArtParameters& parameters, ColourRows* colours, const GlyphRowSink& onRow,
                             bool keepRows) {
  GlyphRows rows;
  if (colours) colours->clear();
  // The colours are measured beside the glyphs, while each row of cells'
  // pixel rows are still there, into room for every cell.
  ColourRows measured;
  RowTap tap;
  if (colours) {
    try {
      const int cellRows = LastCellIndex(picture.Height(), parameters.cellSize) + 1;
      const int columns = LastCellIndex(picture.Width(), parameters.cellSize) + 1;
      measured.assign(static_cast<size_t>(std::max(cellRows, 0)),
                      std::vector<CellColour>(static_cast<size_t>(std::max(columns, 0))));
    } catch (const RuntimeError&) {
      // No grid: the run raises the same error before measuring anything.
    }
    tap = [&](int row, const PixelSource& pixels) {
      std::vector<CellColour>& out = measured[static_cast<size_t>(row)];
      MeasureCellColours(pixels, row, static_cast<int>(out.size()), parameters.cellSize, parameters.brightnessFactor,
                         out.data());
    };
  }
  const RowsPixelSource none(nullptr, 0, 0, 0);  // the host's picture is never asked for
  CollectingHost host(none, parameters, rows, colours, &measured, &onRow, keepRows || !onRow);
  // The decoder takes a thread of its own beside the converting ones.
  ConvertRowStream(matcher, picture, parameters.cellSize, parameters.quality, parameters.brightnessFactor, host,
                   Threads(), tap);
  return rows;
}

void AppendArtRow(const GlyphTable& table, const std::vector<int>& row, Encoding encoding, Newline newline,
                  std::string& text) {
  for (int glyph : row)
    if (glyph != 0) text += encoding == Encoding::Gbk ? table.GlyphText(glyph) : table.GlyphUtf8(glyph);
  text += newline == Newline::CrLf ? "\r\n" : "\n";
}

std::string ArtText(const GlyphTable& table, const GlyphRows& rows, Encoding encoding, Newline newline) {
  std::string text;
  size_t cells = 0;
  for (const std::vector<int>& row : rows) cells += row.size() + 1;
  text.reserve(cells * 3);  // a glyph takes 2 bytes in GBK, mostly 3 in UTF-8
  for (const std::vector<int>& row : rows) AppendArtRow(table, row, encoding, newline, text);
  return text;
}

std::string ColouredArtText(const GlyphTable& table, const GlyphRows& rows, const ColourRows& colours, ColourMode mode,
                            Encoding encoding, Newline newline) {
  const char* lineEnd = newline == Newline::CrLf ? "\r\n" : "\n";
  std::string text;
  for (size_t r = 0; r < rows.size(); ++r) {
    std::string current;
    for (size_t c = 0; c < rows[r].size(); ++c) {
      const int glyph = rows[r][c];
      if (glyph == 0) continue;
      const std::string code = ForegroundCode(colours.at(r).at(c), mode);
      if (code != current) text += code, current = code;
      text += encoding == Encoding::Gbk ? table.GlyphText(glyph) : table.GlyphUtf8(glyph);
    }
    text += kResetCode;
    text += lineEnd;
  }
  return text;
}

void TurnColoursBack(ColourRows& colours) {
  for (std::vector<CellColour>& row : colours)
    for (CellColour& c : row)
      c = {static_cast<uint8_t>(255 - c.red), static_cast<uint8_t>(255 - c.green), static_cast<uint8_t>(255 - c.blue)};
}

StreamedArt ConvertStreamedArt(const std::function<const Matcher&()>& matcher, RowStream& picture,
                               const Options& options, bool keepRows) {
  StreamedArt art;
  const bool coloured = options.colour != ColourMode::None;
  const GlyphTable* table = nullptr;
  GlyphRowSink onRow;
  if (!coloured)
    onRow = [&](const std::vector<int>& row) {
      if (!table) {
        // The matcher is there before the first row is matched.
        table = &matcher().table();
        // Room for the whole text at once, as ArtText takes it: a glyph
        // takes 2 bytes in GBK, mostly 3 in UTF-8.
        const int cellRows = LastCellIndex(picture.Height(), static_cast<int16_t>(options.cellSize)) + 1;
        art.text.reserve((row.size() + 1) * 3 * static_cast<size_t>(cellRows));
      }
      AppendArtRow(*table, row, options.encoding, options.newline, art.text);
      art.widest = std::max(art.widest, static_cast<int>(row.size()));
    };
  art.rows =
      ConvertPictureRows(matcher, picture, ParametersOf(options), coloured ? &art.colours : nullptr, onRow, keepRows);
  for (const std::vector<int>& row : art.rows) art.widest = std::max(art.widest, static_cast<int>(row.size()));
  if (coloured) {
    if (options.invert) TurnColoursBack(art.colours);
    art.text =
        ColouredArtText(matcher().table(), art.rows, art.colours, options.colour, options.encoding, options.newline);
  }
  return art;
}

namespace {

// Code points in UTF-8 text: the bytes that do not continue a sequence.
size_t CodePoints(const std::string& utf8) {
  size_t n = 0;
  for (char b : utf8)
    if ((static_cast<unsigned char>(b) & 0xC0) != 0x80) ++n;
  return n;
}

}  // namespace

std::vector<std::vector<uint32_t>> CharacterColours(const GlyphTable& table, const GlyphRows& rows,
                                                    const ColourRows& colours, ColourMode mode) {
  std::vector<std::vector<uint32_t>> lines;
  for (size_t r = 0; r < rows.size(); ++r) {
    std::vector<uint32_t> line;
    for (size_t c = 0; c < rows[r].size(); ++c) {
      if (rows[r][c] == 0) continue;
      const CellColour shown = ShownColour(colours.at(r).at(c), mode);
      line.insert(line.end(), CodePoints(table.GlyphUtf8(rows[r][c])),
                  0xFF000000u | uint32_t{shown.red} << 16 | uint32_t{shown.green} << 8 | shown.blue);
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace zindrel::cli
