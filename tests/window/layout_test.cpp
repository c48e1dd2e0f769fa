// The window's layout, start-up and parameter displays.
#include <QFile>
#include <QFontInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTest>

#include "window_fixture.h"

namespace zindrel::testing {
namespace {

// The layout reads the client area with the frame it was designed around
// (120 x 405 twips), whatever frame there is: the offscreen platform has
// none, like an X server without a window manager.
struct LayoutCase {
  const char* name;
  int clientWidthPx, clientHeightPx;  // at 15 twips per pixel
  float picOutWidth, picOutHeight, txt1Left, txt1Width;
};

class Layout : public WindowTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(Layout, FrameAndOutputFollowTheOuterSize) {
  if (form_->logicalDpiX() != 96 || form_->logicalDpiY() != 96) GTEST_SKIP() << "screen is not at 96 dpi";
  const LayoutCase& c = GetParam();
  ASSERT_TRUE(Start(*form_));
  form_->resize(c.clientWidthPx, c.clientHeightPx);
  EXPECT_FLOAT_EQ(form_->Width(), static_cast<float>(c.clientWidthPx * 15 + 120));
  EXPECT_FLOAT_EQ(form_->Height(), static_cast<float>(c.clientHeightPx * 15 + 405));
  EXPECT_FLOAT_EQ(form_->PicOutBox().Width(), c.picOutWidth);
  EXPECT_FLOAT_EQ(form_->PicOutBox().Height(), c.picOutHeight);
  EXPECT_FLOAT_EQ(form_->Txt1Box().Left(), c.txt1Left);
  EXPECT_FLOAT_EQ(form_->Txt1Box().Width(), c.txt1Width);
  EXPECT_FLOAT_EQ(form_->Txt1Box().Height(), c.picOutHeight);
  // Fixed edges stay.
  EXPECT_FLOAT_EQ(form_->PicOutBox().Left(), 120);
  EXPECT_FLOAT_EQ(form_->PicOutBox().Top(), 960);
  EXPECT_FLOAT_EQ(form_->Txt1Box().Top(), 960);
  EXPECT_EQ(form_->Label4->geometry(), QRect(376, 0, 225, 57));
  EXPECT_EQ(form_->CmdLoad->geometry(), QRect(8, 8, 129, 17));
  // The widgets are where the twips say.
  EXPECT_EQ(form_->PicOut->geometry(), form_->PicOutBox().PixelRect());
  EXPECT_EQ(form_->Txt1->geometry(), form_->Txt1Box().PixelRect());
  // The frame and the box end 95 twips above the bottom and the box 80
  // twips from the right edge, as with the frame of the design; no strip of
  // a frame's height is left empty.
  EXPECT_EQ(form_->height() - form_->PicOut->geometry().bottom() - 1, 6);
  EXPECT_EQ(form_->height() - form_->Txt1->geometry().bottom() - 1, 6);
  EXPECT_EQ(form_->width() - form_->Txt1->geometry().right() - 1, 5);
}

INSTANTIATE_TEST_SUITE_P(Sizes, Layout,
                         ::testing::Values(
                             // 9120 x 6000 twips, an outer 9240 x 6405
                             LayoutCase{"design", 608, 400, 4270, 4945, 4490, 4550},
                             // 2010 twips wider: frame and box each 1005 wider, the box 1005 to the right
                             LayoutCase{"wider", 742, 400, 5275, 4945, 5495, 5555},
                             // 1005 twips taller: both 1005 taller
                             LayoutCase{"taller", 608, 467, 4270, 5950, 4490, 4550}),
                         [](const auto& p) { return std::string(p.param.name); });

// Rows at the bottom of a picture that hold one colour only.
int EmptyRowsAtTheBottom(const QImage& image) {
  int rows = 0;
  for (int y = image.height() - 1; y >= 0; --y, ++rows)
    for (int x = 1; x < image.width(); ++x)
      if (image.pixel(x, y) != image.pixel(0, y)) return rows;
  return rows;
}

// The program under a real X server without a window manager, where the
// window has no frame: its picture ends with the frame and the output box
// 6 pixels above the bottom, not with an empty strip a frame's height.
TEST(Screenshot, NoEmptyStripUnderXvfbWithoutAWindowManager) {
  const QString xvfbRun = QStandardPaths::findExecutable("xvfb-run");
  if (xvfbRun.isEmpty()) GTEST_SKIP() << "xvfb-run is not installed";
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString shot = folder.filePath("window.png");
  QProcess run;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove("QT_QPA_PLATFORM");  // the X server's platform, not offscreen
  run.setProcessEnvironment(environment);
  run.start(xvfbRun, {"-a", "-s", "-screen 0 1024x768x24", QString::fromStdString(ProgramPath("zindrel-screenshot")),
                      shot, DataDir() + "/Varnock.bmp", "24"});
  ASSERT_TRUE(run.waitForFinished(180000));
  ASSERT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
  const QImage image(shot);
  ASSERT_FALSE(image.isNull());
  if (image.size() != QSize(608, 400)) GTEST_SKIP() << "the X server is not at 96 dpi";
  EXPECT_EQ(EmptyRowsAtTheBottom(image), 6);
}

TEST_F(WindowTest, TooSmallWindowLeavesTheControlsAsTheyWere) {
  ASSERT_TRUE(Start(*form_));
  form_->resize(608, 400);
  const QRect picOut = form_->PicOut->geometry(), txt1 = form_->Txt1->geometry();
  for (const QSize size : {QSize(32, 400), QSize(608, 63), QSize(30, 30)}) {
    form_->resize(size);
    EXPECT_EQ(form_->PicOut->geometry(), picOut);
    EXPECT_EQ(form_->Txt1->geometry(), txt1);
  }
}

TEST_F(WindowTest, ResizeAfterPanningReturnsThePictureToTheCorner) {
  ASSERT_TRUE(Start(*form_));
  Load(WritePicture(TestPicture(900, 900), "big.png"));
  form_->Pic1_MouseDown(1, 0, 100, 100);
  form_->Pic1_MouseMove(1, 0, 80, 70);
  ASSERT_FLOAT_EQ(form_->Pic1->Left(), -20);
  ASSERT_FLOAT_EQ(form_->Pic1->Top(), -30);
  form_->resize(700, 500);
  EXPECT_FLOAT_EQ(form_->Pic1->Left(), 0);
  EXPECT_FLOAT_EQ(form_->Pic1->Top(), 0);
  EXPECT_EQ(form_->Pic1->pos(), QPoint(0, 0));
  EXPECT_EQ(form_->Pic1->MousePointer(), kPointerMove);
}

TEST_F(WindowTest, StartUpState) {
  // Design state: the display boxes say "Text1", the parameters are 0.
  EXPECT_EQ(form_->TxtQuality->text(), "Text1");
  EXPECT_EQ(form_->HscQuality->Value(), 0);
  EXPECT_EQ(form_->CellSize(), 0);
  ASSERT_TRUE(Start(*form_));
  EXPECT_TRUE(form_->isVisible());
  EXPECT_TRUE(reports_.empty());
  EXPECT_EQ(form_->CellSize(), 12);
  EXPECT_EQ(form_->Quality(), 2);
  EXPECT_EQ(form_->BrightnessFactor(), 1.0f);
  EXPECT_EQ(form_->TxtQuality->text(), "2");
  EXPECT_EQ(form_->TxtBright->text(), "100");
  // The empty Pic1 is 281 x 329 pixels at 96 dpi: 23 x 27 cells of 12.
  if (form_->logicalDpiX() == 96) {
    EXPECT_EQ(form_->TxtSize->text(), QString::fromUtf8("23\u00D727"));
  }
  EXPECT_TRUE(form_->Txt1->toPlainText().isEmpty());
  EXPECT_EQ(form_->CmdProcess->text(), "Convert 2 Chinese");
  EXPECT_EQ(form_->CommonDialog1.FileName, DataDir() + "/Varnock.bmp");
  EXPECT_FALSE(form_->Table().GlyphText(1).empty());
  // Client area at design: 9120 x 6000 twips.
  EXPECT_EQ(form_->size(), QSize(608, 400));
}

TEST_F(WindowTest, OutputBoxIsWhiteOnBlackWithoutWrapping) {
  ASSERT_TRUE(Start(*form_));
  const QPalette txt = form_->Txt1->palette();
  EXPECT_EQ(txt.color(QPalette::Base), QColor(0, 0, 0));
  EXPECT_EQ(txt.color(QPalette::Text), QColor(255, 255, 255));
  EXPECT_EQ(form_->Txt1->lineWrapMode(), QPlainTextEdit::NoWrap);
}

TEST_F(WindowTest, SampleArtHasFourLinesOf149GbkBytes) {
  const QString sample = form_->Label4->text();
  const QStringList lines = sample.split('\n');
  ASSERT_EQ(lines.size(), 4);
  for (int i = 0; i < 4; ++i) {
    const QString blanks = i == 0 ? " " : "  ";
    EXPECT_TRUE(lines[i].startsWith(blanks)) << i;
    EXPECT_NE(lines[i][blanks.size()], QChar(' ')) << i;
    EXPECT_EQ(lines[i].size(), blanks.size() + 17) << i;
  }
  QStringEncoder gbk("GBK");
  const QByteArray bytes = gbk.encode(QString(sample).replace("\n", "\r\n"));
  EXPECT_FALSE(gbk.hasError());
  EXPECT_EQ(bytes.size(), 149);
}

struct StartFailure {
  const char* name;
  QByteArray table;  // empty: no file
  int number;
};

class StartUpFailures : public WindowTest, public ::testing::WithParamInterface<StartFailure> {};

TEST_P(StartUpFailures, ReportedAndTheWindowIsNotShown) {
  const StartFailure& c = GetParam();
  if (!c.table.isEmpty()) {
    QFile file(temp_.filePath("Data.han"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(c.table);
  }
  auto form = MakeForm(temp_.path());
  EXPECT_FALSE(StartForm(*form));
  EXPECT_FALSE(form->isVisible());
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].number, c.number);
  EXPECT_EQ(reports_[0].file, temp_.path() + "/Data.han");
}

INSTANTIATE_TEST_SUITE_P(Tables, StartUpFailures,
                         ::testing::Values(StartFailure{"missing", {}, 53},
                                           StartFailure{"truncated", "\xA1\xA1\r\n0,0,0,0,0,0,0,0,0,1\r\n", 62},
                                           StartFailure{"not_a_number", "\xA1\xA1\r\n0,x,0,0,0,0,0,0,0,1\r\n", 13}),
                         [](const auto& p) { return std::string(p.param.name); });

struct GridCase {
  int width, height, cellSize;
  const char* shown;
};

class GridDisplay : public WindowTest, public ::testing::WithParamInterface<GridCase> {};

TEST_P(GridDisplay, CountsWholeCells) {
  const GridCase& c = GetParam();
  ASSERT_TRUE(Start(*form_));
  Load(WritePicture(TestPicture(c.width, c.height), "grid.png"));
  form_->HScCellsize->SetValue(static_cast<int16_t>(c.cellSize));
  EXPECT_EQ(form_->CellSize(), c.cellSize);
  EXPECT_EQ(form_->TxtSize->text(), QString::fromUtf8(c.shown));
}

INSTANTIATE_TEST_SUITE_P(Pictures, GridDisplay,
                         ::testing::Values(GridCase{100, 60, 12, "8\u00D75"}, GridCase{100, 60, 30, "3\u00D72"},
                                           GridCase{100, 60, 3, "33\u00D720"}, GridCase{90, 60, 30, "3\u00D72"}));

struct ParameterCase {
  int quality, brightness;
  const char* qualityText;
  const char* brightText;
  float factor;
};

class Parameters : public WindowTest, public ::testing::WithParamInterface<ParameterCase> {};

TEST_P(Parameters, BarsSetTheirParametersAndDisplays) {
  const ParameterCase& c = GetParam();
  ASSERT_TRUE(Start(*form_));
  form_->HscQuality->SetValue(static_cast<int16_t>(c.quality));
  form_->HScBright->SetValue(static_cast<int16_t>(c.brightness));
  EXPECT_EQ(form_->Quality(), c.quality);
  EXPECT_EQ(form_->TxtQuality->text(), c.qualityText);
  EXPECT_EQ(form_->TxtBright->text(), c.brightText);
  EXPECT_EQ(form_->BrightnessFactor(), c.factor);
}

INSTANTIATE_TEST_SUITE_P(Values, Parameters,
                         ::testing::Values(ParameterCase{0, 73, "0", "73", 0.73f},
                                           ParameterCase{10, 40, "10", "40", 0.4f},
                                           ParameterCase{5, 120, "5", "120", 1.2f}));

}  // namespace
}  // namespace zindrel::testing
