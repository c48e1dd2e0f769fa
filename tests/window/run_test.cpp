// Conversions in the window: the text matches the converter's, and cancel,
// parameter changes, resizing and exit in the middle of a run behave.
#include <QProcess>
#include <QStringDecoder>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include "support/process.h"
#include "window_fixture.h"

namespace zindrel::testing {
namespace {

class Conversion : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_TRUE(Start(*form_));
  }

  // The text a finished run of the current picture writes.
  QString FullRun() {
    form_->CmdProcess->click();
    EXPECT_FALSE(form_->Running());
    return form_->OutputText();
  }

  // Rows written so far and the length of the unfinished last one.
  qsizetype Rows() const { return testing::Rows(form_->OutputText()).size(); }
  qsizetype LastRowLength() const { return testing::Rows(form_->OutputText()).last().size(); }
};

struct ParityCase {
  const char* name;
  int width, height, cellSize, quality, brightness;
  int rows, columns;  // of the grid, as the run's rounding gives them
};

class SameTextAsTheConverter : public Conversion, public ::testing::WithParamInterface<ParityCase> {};

TEST_P(SameTextAsTheConverter, ForTheSamePictureAndSettings) {
  const ParityCase& c = GetParam();
  const QString path = WritePicture(TestPicture(c.width, c.height), "same.png");
  Load(path);
  form_->HScCellsize->SetValue(static_cast<int16_t>(c.cellSize));
  form_->HscQuality->SetValue(static_cast<int16_t>(c.quality));
  form_->HScBright->SetValue(static_cast<int16_t>(c.brightness));
  const QString windowText = FullRun();

  const testing::ProgramResult cli = testing::RunProgram(
      testing::ProgramPath("zindrel-convert"),
      {"-s", QString::number(c.cellSize), "-q", QString::number(c.quality), "-b", QString::number(c.brightness), path});
  ASSERT_TRUE(cli.finished);
  ASSERT_EQ(cli.exitCode, 0) << cli.err.toStdString();
  const QByteArray& bytes = cli.out;
  QStringDecoder utf8(QStringDecoder::Utf8);
  QString cliText = utf8.decode(bytes);
  if (utf8.hasError()) cliText = QStringDecoder("GBK").decode(bytes);

  EXPECT_EQ(windowText, cliText);
  const QStringList rows = testing::Rows(windowText);
  ASSERT_EQ(rows.size(), c.rows + 1);
  EXPECT_TRUE(rows.last().isEmpty());
  for (int i = 0; i < c.rows; ++i) EXPECT_EQ(rows[i].size(), c.columns) << i;
  EXPECT_EQ(form_->CmdProcess->text(), "Convert 2 chinese");
  EXPECT_TRUE(form_->CmdProcess->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Settings, SameTextAsTheConverter,
                         ::testing::Values(
                             // 150 / 12 - 1 = 11.5 rounds to 12: 13 cells; 110 / 12 - 1 = 8.17: 9 rows.
                             ParityCase{"defaults", 150, 110, 12, 2, 100, 9, 13},
                             // Many cells: the output reaches the box in several pieces.
                             ParityCase{"small_cells", 600, 240, 3, 0, 73, 80, 200},
                             ParityCase{"large_cells", 200, 95, 30, 10, 40, 3, 7}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(Conversion, ButtonShowsProcessingWhileRunning) {
  Load(WritePicture(TestPicture(60, 60), "state.png"));
  bool seen = false;
  DuringRun([&] {
    seen = form_->Running() && form_->CmdProcess->text() == "Processing..." && !form_->CmdProcess->isEnabled();
    return true;
  });
  FullRun();
  EXPECT_TRUE(seen);
}

TEST_F(Conversion, CancelInTheMiddleOfRowThree) {
  Load(WritePicture(TestPicture(120, 120), "cancel.png"));
  const QString full = FullRun();
  DuringRun([&] {
    if (Rows() == 3 && LastRowLength() == 4) {
      form_->CmdCancel->click();
      return true;
    }
    return false;
  });
  form_->CmdProcess->click();
  EXPECT_FALSE(form_->Running());
  const QString cancelled = form_->OutputText();
  EXPECT_TRUE(full.startsWith(cancelled));
  const QStringList rows = testing::Rows(cancelled);
  ASSERT_EQ(rows.size(), 3);  // two rows with CR LF, the third without
  EXPECT_EQ(rows[2].size(), 4);
  EXPECT_TRUE(form_->CancelRequested());
  EXPECT_EQ(form_->CmdProcess->text(), "Convert 2 chinese");
  EXPECT_TRUE(form_->CmdProcess->isEnabled());
  // A new run clears the request and runs to the end.
  EXPECT_EQ(FullRun(), full);
  EXPECT_FALSE(form_->CancelRequested());
}

TEST_F(Conversion, CancelThenConvertInOnePumpNeverResumesTheCancelledRun) {
  Load(WritePicture(TestPicture(96, 96), "twice.png"));
  const QString full = FullRun();
  int nestedRuns = 0;
  DuringRun([&] {
    form_->CmdCancel->click();
    form_->CmdProcess->click();  // a whole new run, inside the first one's pump
    ++nestedRuns;
    return true;
  });
  form_->CmdProcess->click();
  EXPECT_EQ(nestedRuns, 1);
  EXPECT_FALSE(form_->Running());
  // Only the second run's text: the first one wrote nothing after it.
  EXPECT_EQ(form_->OutputText(), full);
  EXPECT_EQ(form_->CmdProcess->text(), "Convert 2 chinese");
  EXPECT_TRUE(form_->CmdProcess->isEnabled());
}

TEST_F(Conversion, TextTypedDuringARunStaysBetweenTheGlyphsAroundIt) {
  Load(WritePicture(TestPicture(120, 120), "typed.png"));
  const QString full = FullRun();
  qsizetype typedAt = -1;
  DuringRun([&] {
    if (Rows() == 2 && LastRowLength() == 3) {
      typedAt = form_->OutputText().size();
      QTest::keyClick(form_->Txt1, Qt::Key_End, Qt::ControlModifier);
      QTest::keyClicks(form_->Txt1, "X");
      return true;
    }
    return false;
  });
  form_->CmdProcess->click();
  ASSERT_GE(typedAt, 0);
  EXPECT_EQ(form_->OutputText(), full.left(typedAt) + "X" + full.mid(typedAt));
}

TEST_F(Conversion, CellSizeChangeTakesEffectFromTheNextCell) {
  Load(WritePicture(TestPicture(120, 120), "size.png"));
  DuringRun([&] {
    if (Rows() == 2 && LastRowLength() == 1) {
      form_->HScCellsize->SetValue(24);
      return true;
    }
    return false;
  });
  form_->CmdProcess->click();
  EXPECT_EQ(form_->CellSize(), 24);
  EXPECT_EQ(form_->TxtSize->text(), QString::fromUtf8("5\u00D75"));
  const QStringList rows = testing::Rows(form_->OutputText());
  // The row count is fixed at the start (10); row 1 had its 10 columns fixed
  // at its start; later rows have 120 / 24 = 5 cells.
  ASSERT_EQ(rows.size(), 11);
  EXPECT_EQ(rows[0].size(), 10);
  EXPECT_EQ(rows[1].size(), 10);
  for (int i = 2; i < 10; ++i) EXPECT_EQ(rows[i].size(), 5) << i;
}

TEST_F(Conversion, QualityAndBrightnessChangesApplyToTheRestOfTheRun) {
  Load(WritePicture(TestPicture(120, 120), "quality.png"));
  const QString before = FullRun();
  form_->HscQuality->SetValue(10);
  form_->HScBright->SetValue(40);
  const QString after = FullRun();
  ASSERT_NE(before, after);
  form_->HscQuality->SetValue(2);
  form_->HScBright->SetValue(100);
  QString atChange;
  DuringRun([&] {
    if (Rows() == 5 && LastRowLength() == 0 + 1) {
      atChange = form_->OutputText();
      form_->HscQuality->SetValue(10);
      form_->HScBright->SetValue(40);
      return true;
    }
    return false;
  });
  const QString mixed = FullRun();
  ASSERT_FALSE(atChange.isEmpty());
  // Up to the change it is the first run's text; the last row only the
  // second run's.
  EXPECT_EQ(mixed.left(atChange.size()), before.left(atChange.size()));
  EXPECT_EQ(testing::Rows(mixed)[9], testing::Rows(after)[9]);
  EXPECT_EQ(form_->BrightnessFactor(), 0.4f);
}

TEST_F(Conversion, ResizeDuringARunChangesNothingInTheText) {
  Load(WritePicture(TestPicture(400, 300), "resize.png"));
  const QString full = FullRun();
  form_->Pic1_MouseDown(1, 0, 50, 50);
  form_->Pic1_MouseMove(1, 0, 40, 40);
  const float widthBefore = form_->PicOutBox().Width();
  DuringRun([&] {
    if (Rows() == 3) {
      form_->resize(form_->width() + 150, form_->height() + 60);
      return true;
    }
    return false;
  });
  EXPECT_EQ(FullRun(), full);
  EXPECT_GT(form_->PicOutBox().Width(), widthBefore);
  EXPECT_FLOAT_EQ(form_->Pic1->Left(), 0);
}

TEST_F(Conversion, LoadingDuringARunChangesThePixelsFromTheNextCell) {
  Load(WritePicture(TestPicture(120, 120), "first.png"));
  const QString small = WritePicture(TestPicture(30, 30), "small.png");
  DuringRun([&] {
    if (Rows() == 2 && LastRowLength() == 3) {
      Load(small);
      return true;
    }
    return false;
  });
  form_->CmdProcess->click();
  EXPECT_TRUE(reports_.empty());
  EXPECT_EQ(form_->Pic1->size(), QSize(30, 30));
  EXPECT_EQ(form_->HScCellsize->maximum(), 30);
  // Ten rows as fixed at the start; row 1 keeps its ten columns, later rows
  // have the new picture's 30 / 12 - 1 = 1.5 -> 2, so 3 cells.
  const QStringList rows = testing::Rows(form_->OutputText());
  ASSERT_EQ(rows.size(), 11);
  EXPECT_EQ(rows[1].size(), 10);
  for (int i = 2; i < 10; ++i) EXPECT_EQ(rows[i].size(), 3) << i;
  // Cells past the new picture's edge read as white: all the same glyph.
  EXPECT_EQ(QString(rows[1].right(5)), QString(5, rows[1].back()));
}

TEST_F(Conversion, ADropDuringARunLoadsLikeTheDialog) {
  Load(WritePicture(TestPicture(120, 120), "first.png"));
  std::unique_ptr<QMimeData> small(Files({WritePicture(TestPicture(30, 30), "small.png")}));
  DuringRun([&] {
    if (Rows() == 2 && LastRowLength() == 3) {
      EXPECT_TRUE(DropOn(form_->Pic1, *small));
      return true;
    }
    return false;
  });
  form_->CmdProcess->click();
  EXPECT_TRUE(reports_.empty());
  EXPECT_EQ(form_->Pic1->size(), QSize(30, 30));
  // The run reads the new picture from the next cell, as after a load.
  const QStringList rows = testing::Rows(form_->OutputText());
  ASSERT_EQ(rows.size(), 11);
  EXPECT_EQ(rows[1].size(), 10);
  for (int i = 2; i < 10; ++i) EXPECT_EQ(rows[i].size(), 3) << i;
}

TEST_F(Conversion, ExitDuringARunStopsItAndClosesTheWindow) {
  Load(WritePicture(TestPicture(120, 120), "exit.png"));
  qsizetype lengthAtExit = -1;
  DuringRun([&] {
    if (Rows() == 2) {
      form_->CmdExit->click();
      lengthAtExit = form_->OutputText().size();
      return true;
    }
    return false;
  });
  form_->CmdProcess->click();
  EXPECT_FALSE(form_->Running());
  EXPECT_FALSE(form_->isVisible());
  EXPECT_EQ(form_->OutputText().size(), lengthAtExit);
  EXPECT_EQ(form_->Txt1->toPlainText().size() + Rows() - 1, lengthAtExit);  // all of it shown
  EXPECT_TRUE(reports_.empty());
}

TEST_F(Conversion, AnErrorInARunIsReportedAndTheTextStays) {
  // 40000 pixels wide: at cell size 30 the column of pixel 32768 overflows.
  QImage wide(40000, 30, QImage::Format_RGB32);
  wide.fill(Qt::white);
  Load(WritePicture(wide, "wide.png"));
  form_->HScCellsize->SetValue(30);
  form_->CmdProcess->click();
  EXPECT_FALSE(form_->Running());
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].number, 6);
  EXPECT_EQ(reports_[0].description, "Overflow");
  EXPECT_EQ(form_->CmdProcess->text(), "Convert 2 chinese");
  EXPECT_TRUE(form_->CmdProcess->isEnabled());
  EXPECT_TRUE(form_->isVisible());
  // Every whole cell before pixel 32768 was written (1092 cells of 30).
  EXPECT_EQ(form_->Txt1->toPlainText().size(), 1092);
  // The program goes on: a smaller picture converts normally.
  Load(WritePicture(TestPicture(60, 60), "after.png"));
  FullRun();
  EXPECT_EQ(reports_.size(), 1u);
}

TEST_F(Conversion, EmptyBoxConvertsItsBackground) {
  // Before any load Pic1 is 281 x 329 pixels: 23 x 27 cells of 12.
  if (form_->logicalDpiX() != 96) GTEST_SKIP() << "screen is not at 96 dpi";
  const QStringList rows = testing::Rows(FullRun());
  ASSERT_EQ(rows.size(), 28);
  EXPECT_EQ(rows[0].size(), 23);
}

// At the program's own pace the run handles events about every millisecond,
// not after every cell; what a pump handles still applies from the next cell.
class ConversionAtItsPace : public Conversion {
 protected:
  ConversionAtItsPace() { pumpMicroseconds_ = FormOptions{}.pumpMicroseconds; }
  // A picture whose run lasts long enough for many pumps.
  void LoadLarge() {
    Load(WritePicture(TestPicture(900, 600), "pace.png"));
    form_->HScCellsize->SetValue(3);
  }
};

TEST_F(ConversionAtItsPace, CancelStopsRightAfterThePumpThatHandledIt) {
  LoadLarge();
  const QString full = FullRun();
  QString atCancel;
  int pumps = 0;
  DuringRun([&] {
    ++pumps;
    // A fast machine may write 20 rows before the first pump: cancel at a
    // later one, so the run has shown that it pumps at its pace.
    if (Rows() < 20 || pumps < 2) return false;
    form_->CmdCancel->click();
    atCancel = form_->OutputText();
    return true;
  });
  form_->CmdProcess->click();
  EXPECT_GT(pumps, 1);
  ASSERT_FALSE(atCancel.isEmpty());
  EXPECT_EQ(form_->OutputText(), atCancel);  // not one cell more
  EXPECT_TRUE(full.startsWith(atCancel));
  EXPECT_EQ(form_->CmdProcess->text(), "Convert 2 chinese");
}

TEST_F(ConversionAtItsPace, BarsApplyFromTheNextCellAndTypedTextKeepsItsPlace) {
  LoadLarge();
  const QString before = FullRun();
  form_->HscQuality->SetValue(10);
  form_->HScBright->SetValue(40);
  const QString after = FullRun();
  form_->HscQuality->SetValue(2);
  form_->HScBright->SetValue(100);
  QString atChange;
  DuringRun([&] {
    if (Rows() < 10) return false;
    atChange = form_->OutputText();
    form_->HscQuality->SetValue(10);
    form_->HScBright->SetValue(40);
    QTest::keyClick(form_->Txt1, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(form_->Txt1, "X");
    return true;
  });
  const QString mixed = FullRun();
  ASSERT_FALSE(atChange.isEmpty());
  EXPECT_EQ(mixed.left(atChange.size()), before.left(atChange.size()));
  EXPECT_EQ(mixed.mid(atChange.size(), 1), "X");
  const QStringList rows = testing::Rows(mixed), afterRows = testing::Rows(after);
  EXPECT_EQ(rows[rows.size() - 2], afterRows[afterRows.size() - 2]);  // the last row: the new settings only
}

TEST_F(ConversionAtItsPace, TheBoxShowsTheArtWhileItIsWritten) {
  Load(WritePicture(TestPicture(1500, 1200), "live.png"));
  form_->HScCellsize->SetValue(3);
  bool shownBeforeTheEnd = false;
  DuringRun([&] {
    shownBeforeTheEnd = !form_->Txt1->toPlainText().isEmpty() && form_->Running();
    return shownBeforeTheEnd;
  });
  const QString full = FullRun();
  EXPECT_TRUE(shownBeforeTheEnd);
  EXPECT_EQ(form_->Txt1->toPlainText().size() + testing::Rows(full).size() - 1, full.size());
}

}  // namespace
}  // namespace zindrel::testing
