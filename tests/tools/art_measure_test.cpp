// The figures of the art measurement on pictures whose answers are known,
// and the tool itself on hand-made picture files.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <string>

#include "support/files.h"
#include "tools/art_measure.h"

namespace zindrel::measure {
namespace {

// A picture with shapes and a gradient, grey or in colour.
QImage Shapes(int width, int height, bool negative = false) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      int v = (x * 255) / (width - 1);
      if ((x / 16 + y / 16) % 3 == 0) v = 255 - v;
      if (negative) v = 255 - v;
      image.setPixel(x, y, qRgb(v, v, v));
    }
  return image;
}

QImage Flat(int width, int height, int grey) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(qRgb(grey, grey, grey));
  return image;
}

struct PairCase {
  const char* name;
  QImage art, picture;
  double structure, ssim, brightness;
};

class KnownPairs : public ::testing::TestWithParam<PairCase> {};

TEST_P(KnownPairs, GiveTheirFigures) {
  const PairCase& c = GetParam();
  for (int cell : {3, 6, 12}) {
    const Figures f = CompareArt(c.art, c.picture, cell);
    EXPECT_NEAR(f.structure, c.structure, 1e-9) << "cell " << cell;
    if (!std::isnan(c.ssim)) {
      EXPECT_NEAR(f.ssim, c.ssim, 1e-9) << "cell " << cell;
    }
    if (!std::isnan(c.brightness)) {
      EXPECT_NEAR(f.brightness, c.brightness, 1e-9) << "cell " << cell;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Pictures, KnownPairs,
                         ::testing::Values(PairCase{"Identical", Shapes(96, 72), Shapes(96, 72), 1, 1, 1},
                                           PairCase{"Negative", Shapes(96, 72, true), Shapes(96, 72), -1, NAN, NAN},
                                           // Nothing to correlate: a flat picture or flat art.
                                           PairCase{"BlackOnBlack", Flat(96, 72, 0), Flat(96, 72, 0), 0, 1, 0},
                                           PairCase{"FlatArt", Flat(96, 72, 128), Shapes(96, 72), 0, NAN, NAN},
                                           // Art larger than the picture is compared over the picture only.
                                           PairCase{"LargerArt", Shapes(96, 72).copy(0, 0, 120, 90), Shapes(96, 72), 1,
                                                    1, 1}),
                         [](const ::testing::TestParamInfo<PairCase>& p) { return std::string(p.param.name); });

TEST(ArtMeasure, StructureIgnoresBrightnessAndContrastButSsimDoesNot) {
  const QImage picture = Shapes(90, 60);
  QImage dim(picture.size(), QImage::Format_RGB32);
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) {
      const int v = qRed(picture.pixel(x, y)) / 2;
      dim.setPixel(x, y, qRgb(v, v, v));
    }
  const Figures f = CompareArt(dim, picture, 6);
  EXPECT_NEAR(f.structure, 1, 1e-4);  // up to the rounding of the halves
  EXPECT_LT(f.ssim, 0.95);
  EXPECT_NEAR(f.brightness, 0.5, 0.01);
}

TEST(ArtMeasure, BlurKeepsTheMeanAndSmoothsAnEdge) {
  Plane p;
  p.width = 40;
  p.height = 10;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) p.values.push_back(x < 20 ? 0 : 255);
  const Plane b = GaussianBlur(p, 3);
  EXPECT_NEAR(Mean(b), Mean(p), 1e-9);
  EXPECT_NEAR(b.at(19, 5) + b.at(20, 5), 255, 1e-9);  // symmetric about the edge
  EXPECT_GT(b.at(19, 5), 50);
  EXPECT_LT(b.at(0, 5), 1e-6);
}

TEST(ArtMeasure, SharesCountHanBlankAndOtherCells) {
  const CellShares s = SharesOf("\u56FD\u3000\u2588\u4E00\r\n\u2593\u3000\u4E00\u56FD\r\n");
  EXPECT_DOUBLE_EQ(s.han, 0.5);
  EXPECT_DOUBLE_EQ(s.blank, 0.25);
  EXPECT_DOUBLE_EQ(s.symbol, 0.25);
}

// The tool on picture files made here: --pair prints the known figures, a
// conversion prints one line per setting and writes the side-by-side sheet.
class ArtMeasureTool : public ::testing::Test {
 protected:
  static std::string Run(const QStringList& arguments, int* exitCode = nullptr) {
    QProcess process;
    process.start(QString::fromStdString(testing::BinDir() + "/zindrel-art-measure"), arguments);
    EXPECT_TRUE(process.waitForFinished(120000));
    if (exitCode) *exitCode = process.exitCode();
    return process.readAllStandardOutput().toStdString() + process.readAllStandardError().toStdString();
  }
  QTemporaryDir dir_;
};

TEST_F(ArtMeasureTool, PairOfHandMadePicturesGivesOneAndMinusOne) {
  ASSERT_TRUE(dir_.isValid());
  ASSERT_TRUE(Shapes(96, 72).save(dir_.filePath("picture.png")));
  ASSERT_TRUE(Shapes(96, 72, true).save(dir_.filePath("negative.png")));
  const QString picture = dir_.filePath("picture.png");
  EXPECT_NE(
      Run({"--pair", picture, picture, "--cell", "6"}).find("structure 1.0000  blurred SSIM 1.0000  brightness 1.0000"),
      std::string::npos);
  EXPECT_NE(Run({"--pair", picture, dir_.filePath("negative.png"), "--cell", "6"}).find("structure -1.0000"),
            std::string::npos);
}

TEST_F(ArtMeasureTool, ConvertsAFolderWithTheTableAndWritesSheets) {
  ASSERT_TRUE(dir_.isValid());
  ASSERT_TRUE(QDir().mkpath(dir_.filePath("pictures")));
  ASSERT_TRUE(Shapes(96, 72).save(dir_.filePath("pictures/shapes.png")));
  const QString table = QString::fromStdString(testing::ShippedTablePath());
  int exitCode = -1;
  const std::string out = Run({"--table", table, "--table", table, "--cells", "6,12", "--qualities", "2", "--sheet",
                               dir_.filePath("sheets"), dir_.filePath("pictures")},
                              &exitCode);
  EXPECT_EQ(exitCode, 0) << out;
  EXPECT_NE(out.find("shapes.png"), std::string::npos) << out;
  EXPECT_NE(out.find("means over 1 pictures"), std::string::npos) << out;
  const QImage sheet(dir_.filePath("sheets/shapes.png-c6-q2-b100.png"));
  ASSERT_FALSE(sheet.isNull());
  EXPECT_GT(sheet.width(), 3 * 96);  // the picture and the art of both tables
  EXPECT_TRUE(QFile::exists(dir_.filePath("sheets/shapes.png-c12-q2-b100.png")));
}

TEST_F(ArtMeasureTool, RefusesBadCalls) {
  int exitCode = -1;
  Run({"--cells", "2", "x.png"}, &exitCode);
  EXPECT_EQ(exitCode, 2);
  Run({"x.png"}, &exitCode);
  EXPECT_EQ(exitCode, 2);
  Run({"--table", dir_.filePath("none.han"), dir_.filePath("none.png")}, &exitCode);
  EXPECT_EQ(exitCode, 1);
}

}  // namespace
}  // namespace zindrel::measure
