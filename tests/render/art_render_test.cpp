// The art font and the art rendered as a picture: square cells in the
// table's face, the blank staying black, the full block filling its cell,
// and rendered glyphs measuring as the table says they do.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "convert/measure.h"
#include "core/errors.h"
#include "glyphs/glyph_table.h"
#include "pictures/picture.h"
#include "render/art_font.h"
#include "render/art_render.h"
#include "support/files.h"
#include "support/gui_app.h"
#include "tools/tone_curve.h"

namespace zindrel {
namespace {

class ArtRender : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::EnsureGuiApp(); }
};

// Lowest and highest grey of one cell of a rendered art picture.
std::pair<int, int> CellRange(const QImage& art, int row, int column, int cell) {
  int low = 255, high = 0;
  for (int y = row * cell; y < (row + 1) * cell; ++y) {
    const uchar* line = art.constScanLine(y);
    for (int x = column * cell; x < (column + 1) * cell; ++x) {
      low = std::min<int>(low, line[x]);
      high = std::max<int>(high, line[x]);
    }
  }
  return {low, high};
}

bool TableFaceInstalled() { return QFontDatabase::families().contains(QString::fromLatin1(kTableFaceFamily)); }

TEST_F(ArtRender, FontListsSimSunFirstThenTheTableFace) {
  const QStringList families = ArtFontFamilies();
  ASSERT_GE(families.size(), 2);
  EXPECT_EQ(families.first(), "SimSun");
  EXPECT_TRUE(families.contains(QString::fromLatin1(kTableFaceFamily)));
  EXPECT_EQ(ArtFont(9.75).families(), families);
  EXPECT_DOUBLE_EQ(ArtFont(9.75).pointSizeF(), 9.75);
  EXPECT_EQ(ArtFontPixels(16).pixelSize(), 16);
}

// Without SimSun the box must show the table's face (not a substituted
// serif with a Hei face for the Chinese), in square 13 px cells.
TEST_F(ArtRender, WithoutSimSunTheBoxShowsTheTableFaceInSquareCells) {
  if (QFontDatabase::families().contains("SimSun")) GTEST_SKIP() << "SimSun is installed and is used instead";
  if (!TableFaceInstalled()) GTEST_SKIP() << kTableFaceFamily << " is not installed (fonts-arphic-uming)";
  QFont font = ArtFontPixels(13);
  EXPECT_EQ(QFontInfo(font).family(), kTableFaceFamily);
  const QFontMetricsF metrics(font);
  EXPECT_DOUBLE_EQ(metrics.lineSpacing(), 13.0);
  EXPECT_DOUBLE_EQ(metrics.horizontalAdvance(QString::fromUtf8("国")), 13.0);
  EXPECT_DOUBLE_EQ(metrics.horizontalAdvance(QString::fromUtf8("国国国国国国国国国国")), 130.0);
}

struct SizeCase {
  const char* name;
  const char* utf8;
  int cell, width, height;
};

class ArtRenderSize : public ArtRender, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(ArtRenderSize, HasOneCellPerCharacterAndOneRowPerLine) {
  const QImage art = RenderArt(QString::fromUtf8(GetParam().utf8), GetParam().cell);
  ASSERT_FALSE(art.isNull());
  EXPECT_EQ(art.width(), GetParam().width);
  EXPECT_EQ(art.height(), GetParam().height);
  EXPECT_EQ(art.format(), QImage::Format_Grayscale8);
}

INSTANTIATE_TEST_SUITE_P(Texts, ArtRenderSize,
                         ::testing::Values(SizeCase{"OneGlyph", "国", 12, 12, 12},
                                           SizeCase{"CrLfLines", "国一\r\n国一\r\n", 10, 20, 20},
                                           SizeCase{"LfLinesNoLastEnd", "国\n一", 7, 7, 14},
                                           SizeCase{"ShortAndEmptyLines", "一\r\n\r\n一国丁", 5, 15, 15},
                                           SizeCase{"OutsideTheBasicPlane", "\xF0\xA0\x80\x80一", 6, 12, 6},
                                           SizeCase{"OnePixelCells", "一一一\r\n", 1, 3, 1}),
                         [](const ::testing::TestParamInfo<SizeCase>& p) { return std::string(p.param.name); });

TEST_F(ArtRender, BlankStaysBlackFullBlockFillsAndInkStaysInItsCell) {
  const int cell = 16;
  const QImage art = RenderArt(QString::fromUtf8("\u3000国\u3000\r\n\u2588\u3000一"), cell);
  ASSERT_EQ(art.size(), QSize(3 * cell, 2 * cell));
  EXPECT_EQ(CellRange(art, 0, 0, cell), std::make_pair(0, 0));
  EXPECT_EQ(CellRange(art, 0, 2, cell), std::make_pair(0, 0));
  EXPECT_EQ(CellRange(art, 1, 1, cell), std::make_pair(0, 0));
  EXPECT_EQ(CellRange(art, 1, 0, cell), std::make_pair(255, 255));
  EXPECT_GE(CellRange(art, 0, 1, cell).second, 128) << "国 drew no ink";
  EXPECT_GE(CellRange(art, 1, 2, cell).second, 128) << "一 drew no ink";
}

TEST_F(ArtRender, LineEndsAndTheLastLineEndDoNotChangeThePicture) {
  const QImage crlf = RenderArt(QString::fromUtf8("国一\r\n丁\r\n"), 9);
  EXPECT_EQ(RenderArt(QString::fromUtf8("国一\n丁\n"), 9), crlf);
  EXPECT_EQ(RenderArt(QString::fromUtf8("国一\r\n丁"), 9), crlf);
}

// The renderer and the generator must agree on where the em square sits:
// glyphs drawn at a cell size and measured like picture cells give back the
// ink the table's nine values stand for (through the tone curve it was made
// with), up to the rounding of the table, and
// no row of sub-blocks gains or loses ink on average (as it would if the
// baseline were snapped to whole pixels).
class ArtRenderAgreement : public ArtRender, public ::testing::WithParamInterface<int> {};

TEST_P(ArtRenderAgreement, RenderedGlyphsMeasureAsTheTableSays) {
  if (!TableFaceInstalled()) GTEST_SKIP() << kTableFaceFamily << " is not installed (fonts-arphic-uming)";
  if (QFontDatabase::families().contains("SimSun")) GTEST_SKIP() << "SimSun is installed and draws the art";
  static const GlyphTable table = LoadGlyphTable(testing::ShippedTablePath());
  std::vector<ToneCurve::Knot> knots;
  ASSERT_TRUE(ToneCurve::Parse(kShippedTone, knots));
  const ToneCurve tone(knots);
  const int cell = GetParam();
  double totalError = 0;
  double rowError[3] = {0, 0, 0};
  int count = 0;
  for (int i = 2; i < GLYPH_COUNT; i += 97) {
    const QImage art = RenderArt(QString::fromStdString(table.GlyphUtf8(i)), cell);
    ASSERT_EQ(art.size(), QSize(cell, cell));
    const ImagePixelSource source(art.convertToFormat(QImage::Format_RGB32));
    const CellDensity measured = MeasureCell(source, 0, 0, static_cast<int16_t>(cell), 1.0f);
    for (int m = 1; m <= 9; ++m) {
      // Both on the scale 15 x ink.
      const double error = measured.Block[m - 1] - 15 * tone.InkOf(table.GlyphDensity(i, m));
      EXPECT_LT(std::fabs(error), 2.5) << "glyph " << i << " (" << table.GlyphUtf8(i) << ") block " << m;
      totalError += std::fabs(error);
      rowError[(m - 1) / 3] += error;
    }
    ++count;
  }
  EXPECT_LT(totalError / (9 * count), 0.4);
  for (int row = 0; row < 3; ++row) EXPECT_LT(std::fabs(rowError[row] / (3 * count)), 0.2) << "row " << row;
}

INSTANTIATE_TEST_SUITE_P(CellSizes, ArtRenderAgreement, ::testing::Values(6, 12, 24, 96));

// Quality 0 picks only the first glyph of a level, so that one must lay its
// ink most evenly: drawn and measured over a 6x6 grid, it is among the most
// even few of its level.
class LevelLeader : public ArtRender, public ::testing::WithParamInterface<int> {};

TEST_P(LevelLeader, IsAmongTheMostEvenGlyphsOfItsLevel) {
  if (!TableFaceInstalled()) GTEST_SKIP() << kTableFaceFamily << " is not installed (fonts-arphic-uming)";
  if (QFontDatabase::families().contains("SimSun")) GTEST_SKIP() << "SimSun is installed and draws the art";
  static const GlyphTable table = LoadGlyphTable(testing::ShippedTablePath());
  const int level = GetParam();
  const int first = table.LevelStart(level);
  ASSERT_GT(first, 0) << "level " << level << " is empty";
  auto spread = [](const QImage& art) {
    const int fine = art.width() / 6;
    double ink[36] = {0}, total = 0;
    for (int y = 0; y < art.height(); ++y)
      for (int x = 0; x < art.width(); ++x) ink[(y / fine) * 6 + x / fine] += art.constScanLine(y)[x];
    for (double v : ink) total += v;
    double s = 0;
    for (double v : ink) s += (36 * v - total) * (36 * v - total);
    return s / (total * total);
  };
  std::vector<double> spreads;
  for (int i = first; i <= GLYPH_COUNT && table.GlyphDensity(i, 10) == level; ++i)
    spreads.push_back(spread(RenderArt(QString::fromStdString(table.GlyphUtf8(i)), 48)));
  ASSERT_GE(spreads.size(), 20u);
  const double leader = spreads.front();
  std::sort(spreads.begin(), spreads.end());
  EXPECT_LE(leader, spreads[spreads.size() / 20]) << "level " << level << ": " << table.GlyphUtf8(first);
}

INSTANTIATE_TEST_SUITE_P(Levels, LevelLeader, ::testing::Values(25, 30, 40, 50, 55, 60));

struct BadRender {
  const char* name;
  std::string text;
  int cell;
  ErrorKind kind;
};

class ArtRenderRefuses : public ArtRender, public ::testing::WithParamInterface<BadRender> {};

TEST_P(ArtRenderRefuses, WithTheRightErrorAndNoFileLeft) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string path = dir.filePath("art.png").toStdString();
  {
    QFile old(QString::fromStdString(path));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old picture");
  }
  try {
    RenderArtPng(GetParam().text, GetParam().cell, path);
    ADD_FAILURE() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.kind(), GetParam().kind) << e.message();
    EXPECT_FALSE(e.detail().empty());
  }
  EXPECT_EQ(testing::ReadBytes(path), "old picture");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

INSTANTIATE_TEST_SUITE_P(BadInput, ArtRenderRefuses,
                         ::testing::Values(BadRender{"ZeroCell", "国", 0, ErrorKind::InvalidCall},
                                           BadRender{"NegativeCell", "国", -3, ErrorKind::InvalidCall},
                                           BadRender{"HugeCell", "国", kMaxArtCell + 1, ErrorKind::InvalidCall},
                                           BadRender{"NoCharacters", "\r\n\r\n", 12, ErrorKind::InvalidCall},
                                           BadRender{"EmptyText", "", 12, ErrorKind::InvalidCall},
                                           BadRender{"TooWide", std::string(40000, 'x'), 1, ErrorKind::OutOfMemory},
                                           BadRender{"TooTall",
                                                     [] {
                                                       std::string s;
                                                       for (int i = 0; i < 2000; ++i) s += "x\r\n";
                                                       return s;
                                                     }(),
                                                     20, ErrorKind::OutOfMemory}),
                         [](const ::testing::TestParamInfo<BadRender>& p) { return std::string(p.param.name); });

TEST_F(ArtRender, PngIsWrittenWholeAndReadsBackAsTheRendering) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string path = dir.filePath("art.png").toStdString();
  const std::string text = "国\u3000\r\n\u2588一\r\n";
  RenderArtPng(text, 11, path);
  QImage back(QString::fromStdString(path));
  ASSERT_FALSE(back.isNull());
  EXPECT_EQ(back.convertToFormat(QImage::Format_Grayscale8), RenderArt(QString::fromStdString(text), 11));
}

TEST_F(ArtRender, PngIntoAMissingFolderFailsAsAWriteFailure) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string path = dir.filePath("no/such/folder/art.png").toStdString();
  try {
    RenderArtPng("国", 8, path);
    ADD_FAILURE() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::WriteFailed);
    EXPECT_NE(e.detail().find("art.png"), std::string::npos) << e.detail();
  }
}

}  // namespace
}  // namespace zindrel
