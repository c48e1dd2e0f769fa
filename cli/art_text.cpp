#include "cli/art_text.h"

#include <algorithm>
#include <thread>

#include "convert/fast_run.h"
#include "convert/run.h"
#include "core/numeric.h"

namespace zindrel::cli {

namespace {

// Collects the run's glyphs; the parameters never change during a run here.
class CollectingHost : public RunHost {
 public:
  CollectingHost(const PixelSource& picture, const ArtParameters& parameters, GlyphRows& rows)
      : picture_(picture), parameters_(parameters), rows_(rows) {}
  int16_t CellSize() override { return parameters_.cellSize; }
  int16_t Quality() override { return parameters_.quality; }
  float BrightnessFactor() override { return parameters_.brightnessFactor; }
  const PixelSource& Picture() override { return picture_; }
  void AppendGlyph(int glyph) override { current_.push_back(glyph); }
  void EndRow() override {
    rows_.push_back(std::move(current_));
    current_.clear();
  }

 private:
  const PixelSource& picture_;
  const ArtParameters& parameters_;
  GlyphRows& rows_;
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

GlyphRows ConvertPicture(const Matcher& matcher, const PixelSource& picture, const ArtParameters& parameters) {
  GlyphRows rows;
  CollectingHost host(picture, parameters, rows);
  // The fast engine hands the host exactly the glyphs, rows and errors of
  // RunConversion; rows are shared among the processor's cores.
  const int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  ConvertPictureFast(matcher, picture, parameters.cellSize, parameters.quality, parameters.brightnessFactor, host,
                     threads);
  return rows;
}

std::string ArtText(const GlyphTable& table, const GlyphRows& rows, Encoding encoding, Newline newline) {
  const char* lineEnd = newline == Newline::CrLf ? "\r\n" : "\n";
  std::string text;
  for (const std::vector<int>& row : rows) {
    for (int glyph : row)
      if (glyph != 0) text += encoding == Encoding::Gbk ? table.GlyphText(glyph) : table.GlyphUtf8(glyph);
    text += lineEnd;
  }
  return text;
}

}  // namespace zindrel::cli
