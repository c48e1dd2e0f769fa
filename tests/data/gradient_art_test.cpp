// The shipped table on a gradient from black to white at brightness 100: the
// art's brightness rises with the picture's over the whole gradient, and full
// blocks appear only in its last tenth, so that light areas keep their
// shading instead of turning into patches of full blocks.
#include <gtest/gtest.h>

#include <QImage>
#include <string>
#include <vector>

#include "convert/fast_run.h"
#include "convert/matcher.h"
#include "glyphs/glyph_table.h"
#include "pictures/picture.h"
#include "render/art_render.h"
#include "support/files.h"
#include "support/gui_app.h"

namespace zindrel {
namespace {

// Collects the art of a run as UTF-8 text and the glyph of every cell.
class ArtHost : public RunHost {
 public:
  ArtHost(const GlyphTable& table, const PixelSource& picture) : table_(table), picture_(picture) {}
  int16_t CellSize() override { return 0; }
  int16_t Quality() override { return 0; }
  float BrightnessFactor() override { return 1.0f; }
  const PixelSource& Picture() override { return picture_; }
  void AppendGlyph(int glyph) override {
    if (glyph != 0) text += table_.GlyphUtf8(glyph);
    glyphs.push_back(glyph);
  }
  void EndRow() override { text += "\r\n"; }
  std::string text;
  std::vector<int> glyphs;  // row by row; every row holds the same glyphs

 private:
  const GlyphTable& table_;
  const PixelSource& picture_;
};

struct GradientCase {
  int cell, quality;
};

class GradientArt : public ::testing::TestWithParam<GradientCase> {
 protected:
  static void SetUpTestSuite() { testing::EnsureGuiApp(); }
};

TEST_P(GradientArt, RisesWithThePictureAndTurnsFullBlockOnlyInTheLastTenth) {
  const int cell = GetParam().cell, columns = 1200 / cell;
  // Every column of pixels a shade of grey, from black on the left to white.
  QImage gradient(columns * cell, 4 * cell, QImage::Format_RGB32);
  for (int x = 0; x < gradient.width(); ++x) {
    const int grey = (255 * (2 * x + 1)) / (2 * gradient.width());
    for (int y = 0; y < gradient.height(); ++y) gradient.setPixel(x, y, qRgb(grey, grey, grey));
  }
  const GlyphTable table = LoadGlyphTable(testing::ShippedTablePath());
  const ImagePixelSource source(gradient);
  ArtHost host(table, source);
  const Matcher matcher(table);
  ConvertPictureFast(matcher, source, static_cast<int16_t>(cell), static_cast<int16_t>(GetParam().quality), 1.0f, host,
                     1);
  const std::vector<int> firstRow(host.glyphs.begin(), host.glyphs.begin() + columns);
  const QImage art = RenderArt(QString::fromStdString(host.text), cell);
  ASSERT_EQ(art.width(), gradient.width());

  // The art's brightness over each twentieth of the gradient.
  std::vector<double> bands(20, 0.0);
  for (int y = 0; y < art.height(); ++y)
    for (int x = 0; x < art.width(); ++x) bands[size_t(x * 20 / art.width())] += art.constScanLine(y)[x];
  for (double& b : bands) b /= double(art.height()) * art.width() / 20;
  EXPECT_LT(bands.front(), 10);
  EXPECT_GT(bands.back(), 200);
  for (size_t i = 1; i < bands.size(); ++i)
    EXPECT_GE(bands[i], bands[i - 1] - 1.0) << "band " << i << " is darker than the band before it";
  // The dark half shades on: every band brighter than the one two before.
  for (size_t i = 2; i < bands.size() / 2; ++i) EXPECT_GT(bands[i], bands[i - 2]) << "band " << i;

  const int fullBlock = GLYPH_COUNT;
  ASSERT_EQ(table.GlyphUtf8(fullBlock), "\u2588");
  for (int column = 0; column < columns; ++column) {
    const double middle = (column + 0.5) / columns;
    if (middle < 0.9) {
      EXPECT_NE(firstRow[size_t(column)], fullBlock) << "column " << column << " of " << columns;
    }
  }
  EXPECT_EQ(firstRow.back(), fullBlock) << "white is not written white";
}

// Quality 0 takes the first glyph of level 84 for every cell brighter than
// 84/135 of white, by the matching rules; the gradient is only asked of the
// qualities that compare glyphs.
INSTANTIATE_TEST_SUITE_P(CellsAndQualities, GradientArt,
                         ::testing::Values(GradientCase{6, 2}, GradientCase{12, 2}, GradientCase{24, 2},
                                           GradientCase{12, 10}),
                         [](const ::testing::TestParamInfo<GradientCase>& p) {
                           return "Cell" + std::to_string(p.param.cell) + "Quality" + std::to_string(p.param.quality);
                         });

}  // namespace
}  // namespace zindrel
