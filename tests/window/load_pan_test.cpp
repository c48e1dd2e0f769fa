// Loading pictures through the dialog, and panning them by dragging.
#include <QCoreApplication>
#include <QFile>
#include <QMouseEvent>

#include "pictures/picture.h"
#include "support/picture_bytes.h"
#include "support/sample_files.h"
#include "window_fixture.h"

namespace zindrel::testing {
namespace {

class LoadPan : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_TRUE(Start(*form_));
  }

  // A picture whose size is the frame's inner size plus the given extra.
  void LoadFrameSized(int extraWidth, int extraHeight) {
    const int w = static_cast<int>(form_->PicOut->ScaleWidth()) + extraWidth;
    const int h = static_cast<int>(form_->PicOut->ScaleHeight()) + extraHeight;
    Load(WritePicture(TestPicture(w, h), QString("frame%1x%2.png").arg(w).arg(h)));
  }

  void Move(float x, float y, int16_t button = 1) { form_->Pic1_MouseMove(button, 0, x, y); }

  struct Snapshot {
    QSize picture;
    QPointF offset;
    int min, max, value, pointer;
    QString size, text, fileName;
    bool operator==(const Snapshot& o) const {
      return picture == o.picture && offset == o.offset && min == o.min && max == o.max && value == o.value &&
             pointer == o.pointer && size == o.size && text == o.text && fileName == o.fileName;
    }
  };
  Snapshot Take() const {
    return {form_->Pic1->size(),           QPointF(form_->Pic1->Left(), form_->Pic1->Top()),
            form_->HScCellsize->minimum(), form_->HScCellsize->maximum(),
            form_->HScCellsize->value(),   form_->Pic1->MousePointer(),
            form_->TxtSize->text(),        form_->Txt1->toPlainText(),
            form_->CommonDialog1.FileName};
  }

  // A loaded, panned picture and some output, to see that nothing changes.
  void PrepareState() {
    Load(WritePicture(TestPicture(500, 450), "old.png"));
    form_->HScCellsize->SetValue(20);
    form_->Pic1_MouseDown(1, 0, 100, 100);
    Move(90, 95);
    form_->Txt1->setPlainText("kept text");
  }
};

TEST_F(LoadPan, DialogIsAskedWithTitleFilterAndTheLastFile) {
  const QString first = WritePicture(TestPicture(50, 40), "first.png");
  Load(first);
  Load(first);
  ASSERT_EQ(asked_.size(), 2u);
  EXPECT_EQ(asked_[0].title, "Open Pictures");
  EXPECT_EQ(asked_[0].filter, DialogFilterToQt(QString::fromUtf8(kOpenFilter)));
  EXPECT_EQ(asked_[0].start, DataDir() + "/Varnock.bmp");
  EXPECT_EQ(asked_[1].start, first);
}

// The window's filter list as Qt's dialog shows it: ten entries, in order.
TEST(DialogFilter, OpenFilterBecomesTenQtEntriesInOrder) {
  const QString qt = DialogFilterToQt(QString::fromUtf8(kOpenFilter));
  const QStringList entries = qt.split(QStringLiteral(";;"));
  const QStringList expected = {
      "All pictures (*.bmp *.jpg *.gif)",
      "bitmap(*.bmp)",
      "GIF (*.gif)",
      "JPEG (*.jpg)",
      "icon (*.ico)",
      "cursor (*.cur)",
      "run-length encoded (*.rle)",
      "metafile (*.wmf)",
      "enhanced metafiles (*.emf)",
      "All files (*.*)",
  };
  EXPECT_EQ(entries, expected);
}

TEST_F(LoadPan, CancelledDialogChangesNothingAndShowsNothing) {
  PrepareState();
  const Snapshot before = Take();
  answer_ = std::nullopt;
  form_->CmdLoad->click();
  EXPECT_TRUE(Take() == before);
  EXPECT_TRUE(reports_.empty());
  EXPECT_TRUE(form_->isVisible());
}

struct BadFile {
  const char* name;
  QByteArray content;  // written as the file; "<dir>" makes a directory, "<none>" nothing
  int number;
};

class LoadFailures : public LoadPan, public ::testing::WithParamInterface<BadFile> {};

TEST_P(LoadFailures, MessageNamesTheFileAndTheWindowKeepsItsState) {
  const BadFile& c = GetParam();
  PrepareState();
  const Snapshot before = Take();
  const QString path = temp_.filePath(QString("bad-%1.bmp").arg(c.name));
  if (c.content == "<dir>") {
    ASSERT_TRUE(QDir().mkpath(path));
  } else if (c.content != "<none>") {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(c.content);
  }
  Load(path);
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].number, c.number);
  EXPECT_EQ(reports_[0].file, path);
  EXPECT_FALSE(reports_[0].description.isEmpty());
  Snapshot after = Take();
  after.fileName = before.fileName;  // the dialog remembers the name chosen
  EXPECT_TRUE(after == before);
  EXPECT_TRUE(form_->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Files, LoadFailures,
                         ::testing::Values(BadFile{"garbage", "this is not a picture", 481}, BadFile{"empty", "", 481},
                                           BadFile{"missing", "<none>", 53}, BadFile{"directory", "<dir>", 75}),
                         [](const auto& p) { return std::string(p.param.name); });

struct RangeCase {
  int width, height, sizeBefore;
  int max, value;
  const char* shown;
};

class CellSizeRange : public LoadPan, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(CellSizeRange, FollowsThePicture) {
  const RangeCase& c = GetParam();
  form_->HScCellsize->SetValue(static_cast<int16_t>(c.sizeBefore));
  Load(WritePicture(TestPicture(c.width, c.height), "range.png"));
  EXPECT_EQ(form_->HScCellsize->maximum(), c.max);
  EXPECT_EQ(form_->HScCellsize->value(), c.value);
  EXPECT_EQ(form_->CellSize(), c.value);  // always the bar's value
  EXPECT_EQ(form_->TxtSize->text(), QString::fromUtf8(c.shown));
  EXPECT_EQ(form_->Pic1->size(), QSize(c.width, c.height));
  EXPECT_FLOAT_EQ(form_->Pic1->Left(), 0);
  EXPECT_FLOAT_EQ(form_->Pic1->Top(), 0);
}

INSTANTIATE_TEST_SUITE_P(Pictures, CellSizeRange,
                         ::testing::Values(RangeCase{500, 400, 12, 30, 12, "41\u00D733"},
                                           RangeCase{20, 400, 25, 20, 20, "1\u00D720"},
                                           RangeCase{400, 25, 12, 25, 12, "33\u00D72"},
                                           RangeCase{2, 50, 12, 2, 2, "1\u00D725"},
                                           RangeCase{1, 1, 30, 1, 1, "1\u00D71"}));

TEST_F(LoadPan, SmallPictureThenNormalOneRestoresTheRange) {
  Load(WritePicture(TestPicture(2, 2), "tiny.png"));
  EXPECT_EQ(form_->CellSize(), form_->HScCellsize->Value());
  Load(WritePicture(TestPicture(100, 60), "normal.png"));
  EXPECT_EQ(form_->HScCellsize->minimum(), 3);
  EXPECT_EQ(form_->HScCellsize->maximum(), 30);
  EXPECT_EQ(form_->CellSize(), 3);
  EXPECT_EQ(form_->TxtSize->text(), QString::fromUtf8("33\u00D720"));
}

TEST_F(LoadPan, EqualSizeGivesTheArrowAndNoMove) {
  LoadFrameSized(0, 0);
  EXPECT_EQ(form_->Pic1->MousePointer(), kPointerArrow);
  form_->Pic1_MouseDown(1, 0, 50, 50);
  Move(45, 45);
  Move(55, 55);
  EXPECT_FLOAT_EQ(form_->Pic1->Left(), 0);
  EXPECT_FLOAT_EQ(form_->Pic1->Top(), 0);
}

TEST_F(LoadPan, OnePixelTallerMovesUpByExactlyOneAndBack) {
  LoadFrameSized(0, 1);
  EXPECT_EQ(form_->Pic1->MousePointer(), kPointerMove);
  form_->Pic1_MouseDown(1, 0, 50, 50);
  Move(50, 49);  // up one: accepted
  EXPECT_FLOAT_EQ(form_->Pic1->Top(), -1);
  EXPECT_FLOAT_EQ(form_->DragAnchorY(), 50);
  Move(50, 49);  // one more up is refused; the grip becomes 49
  EXPECT_FLOAT_EQ(form_->Pic1->Top(), -1);
  EXPECT_FLOAT_EQ(form_->DragAnchorY(), 49);
  Move(50, 50);  // back down one
  EXPECT_FLOAT_EQ(form_->Pic1->Top(), 0);
  EXPECT_FLOAT_EQ(form_->Pic1->Left(), 0);
}

TEST_F(LoadPan, StepOfEightAgainstAnOffsetOfFiveIsRefusedWhole) {
  LoadFrameSized(100, 100);
  form_->Pic1_MouseDown(1, 0, 50, 50);
  Move(50, 45);
  ASSERT_FLOAT_EQ(form_->Pic1->Top(), -5);
  Move(50, 58);  // 8 down from the grip: would go to +3
  EXPECT_FLOAT_EQ(form_->Pic1->Top(), -5);
  EXPECT_FLOAT_EQ(form_->DragAnchorY(), 58);  // the grip moves to the pointer
  Move(50, 61);                               // 3 down from the new grip: accepted
  EXPECT_FLOAT_EQ(form_->Pic1->Top(), -2);
  Move(50, 60);  // 2 more: exactly at the edge, accepted
  EXPECT_FLOAT_EQ(form_->Pic1->Top(), 0);
}

TEST_F(LoadPan, AxesAreDecidedApart) {
  // Taller but narrower than the frame: only vertical moves.
  const int h = static_cast<int>(form_->PicOut->ScaleHeight()) + 60;
  Load(WritePicture(TestPicture(40, h), "narrow.png"));
  EXPECT_EQ(form_->Pic1->MousePointer(), kPointerMove);
  form_->Pic1_MouseDown(1, 0, 20, 20);
  Move(10, 10);
  EXPECT_FLOAT_EQ(form_->Pic1->Top(), -10);
  EXPECT_FLOAT_EQ(form_->Pic1->Left(), 0);
  EXPECT_FLOAT_EQ(form_->DragAnchorX(), 10);  // follows the pointer
  EXPECT_FLOAT_EQ(form_->DragAnchorY(), 20);
  // Towards the bottom-right from offset 0 is refused on both axes.
  Load(WritePicture(TestPicture(900, 900), "big.png"));
  form_->Pic1_MouseDown(1, 0, 20, 20);
  Move(30, 30);
  EXPECT_FLOAT_EQ(form_->Pic1->Top(), 0);
  EXPECT_FLOAT_EQ(form_->Pic1->Left(), 0);
  EXPECT_FLOAT_EQ(form_->DragAnchorX(), 30);
  EXPECT_FLOAT_EQ(form_->DragAnchorY(), 30);
}

TEST_F(LoadPan, RightButtonSetsTheAnchorButDoesNotMove) {
  LoadFrameSized(100, 100);
  form_->Pic1_MouseDown(2, 0, 60, 70);
  EXPECT_FLOAT_EQ(form_->DragAnchorX(), 60);
  EXPECT_FLOAT_EQ(form_->DragAnchorY(), 70);
  Move(30, 30, 2);
  EXPECT_FLOAT_EQ(form_->Pic1->Top(), 0);
  EXPECT_FLOAT_EQ(form_->DragAnchorX(), 60);
  Move(30, 30, 1 | 2);  // left held with the right: moves
  EXPECT_FLOAT_EQ(form_->Pic1->Left(), -30);
  EXPECT_FLOAT_EQ(form_->Pic1->Top(), -40);
}

TEST_F(LoadPan, RealMouseEventsDragThePicture) {
  LoadFrameSized(200, 200);
  PictureBox* pic = form_->Pic1;
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(100, 100), pic->mapToGlobal(QPointF(100, 100)), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(pic, &press);
  QMouseEvent move(QEvent::MouseMove, QPointF(70, 80), pic->mapToGlobal(QPointF(70, 80)), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QCoreApplication::sendEvent(pic, &move);
  EXPECT_FLOAT_EQ(form_->Pic1->Left(), -30);
  EXPECT_FLOAT_EQ(form_->Pic1->Top(), -20);
  EXPECT_EQ(pic->pos(), QPoint(-30, -20));
  QMouseEvent rightMove(QEvent::MouseMove, QPointF(10, 10), pic->mapToGlobal(QPointF(10, 10)), Qt::NoButton,
                        Qt::RightButton, Qt::NoModifier);
  QCoreApplication::sendEvent(pic, &rightMove);
  EXPECT_EQ(pic->pos(), QPoint(-30, -20));
}

// Files other readers open although something about them is odd load
// without a message, as the picture they hold.
TEST_F(LoadPan, OddFilesOtherReadersOpenLoadWithoutAMessage) {
  namespace s = samples;
  s::BmpLayout layout;
  layout.width = layout.height = 32;
  const QByteArray jpeg = s::EncodeWithQt(TestPicture(60, 40), "jpeg", 90);
  const std::pair<const char*, QByteArray> files[] = {
      {"stray.jpg", s::InsertBeforeJpegMarker(jpeg, 0xDB, QByteArray(16, '\0'))},
      {"overstated.wmf", s::WithWmfSizeOverstated(s::MakeWmf(true), 11)},
      {"directory.ico", picture_bytes::IconFile(1, {{64, 64, 1, 24, s::MakeIconDib(layout)}})},
      {"header56.bmp", [] {
         s::BmpLayout variant;
         variant.headerSize = 56;
         return s::MakeBmp(variant);
       }()}};
  for (const auto& [name, bytes] : files) {
    const QString path = temp_.filePath(name);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    Load(path);
    EXPECT_TRUE(reports_.empty()) << name;
    EXPECT_EQ(form_->Pic1->size(), DecodePictureFile(path.toStdString()).size()) << name;
    reports_.clear();
  }
}

TEST_F(LoadPan, LoadReturnsToTheCornerEvenForTheSameFile) {
  const QString path = WritePicture(TestPicture(700, 700), "again.png");
  Load(path);
  form_->Pic1_MouseDown(1, 0, 100, 100);
  Move(50, 50);
  ASSERT_FLOAT_EQ(form_->Pic1->Left(), -50);
  Load(path);
  EXPECT_FLOAT_EQ(form_->Pic1->Left(), 0);
  EXPECT_FLOAT_EQ(form_->Pic1->Top(), 0);
}

// ---- Drag and drop ----

class Drop : public LoadPan, public ::testing::WithParamInterface<bool> {
 protected:
  // The picture itself, or the frame around it.
  QWidget* Target() const { return GetParam() ? static_cast<QWidget*>(form_->Pic1) : form_->PicOut; }
};

TEST_P(Drop, APictureLoadsAsIfChosenInTheDialog) {
  PrepareState();  // a panned picture at cell size 20
  const QString path = WritePicture(TestPicture(300, 200), "dropped.png");
  std::unique_ptr<QMimeData> data(Files({path}));
  ASSERT_TRUE(DropOn(Target(), *data));
  EXPECT_TRUE(reports_.empty());
  EXPECT_EQ(form_->Pic1->size(), QSize(300, 200));
  EXPECT_FLOAT_EQ(form_->Pic1->Left(), 0);
  EXPECT_FLOAT_EQ(form_->Pic1->Top(), 0);
  EXPECT_EQ(form_->HScCellsize->maximum(), 30);
  EXPECT_EQ(form_->TxtSize->text(), QString::fromUtf8("15×10"));
  EXPECT_EQ(form_->Txt1->toPlainText(), "kept text");
  // The next dialog starts from the dropped file.
  answer_ = std::nullopt;
  form_->CmdLoad->click();
  ASSERT_FALSE(asked_.empty());
  EXPECT_EQ(asked_.back().start, path);
}

TEST_P(Drop, SeveralFilesLoadTheFirst) {
  const QString first = WritePicture(TestPicture(90, 80), "first.png");
  const QString second = WritePicture(TestPicture(70, 60), "second.png");
  std::unique_ptr<QMimeData> data(Files({first, second}));
  ASSERT_TRUE(DropOn(Target(), *data));
  EXPECT_EQ(form_->Pic1->size(), QSize(90, 80));
  EXPECT_EQ(form_->CommonDialog1.FileName, first);
}

TEST_P(Drop, AFileThatIsNoPictureIsReportedAndChangesNothingElse) {
  PrepareState();
  const Snapshot before = Take();
  const QString path = temp_.filePath("notes.bmp");
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("this is not a picture");
  file.close();
  std::unique_ptr<QMimeData> data(Files({path}));
  ASSERT_TRUE(DropOn(Target(), *data));
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].number, 481);
  EXPECT_EQ(reports_[0].file, path);
  Snapshot after = Take();
  EXPECT_EQ(after.fileName, path);  // as the dialog remembers the name chosen
  after.fileName = before.fileName;
  EXPECT_TRUE(after == before);
}

TEST_P(Drop, FoldersAndTextAreRefused) {
  PrepareState();
  const Snapshot before = Take();
  ASSERT_TRUE(QDir(temp_.path()).mkdir("folder.png"));
  const QString picture = WritePicture(TestPicture(40, 40), "after-folder.png");
  std::unique_ptr<QMimeData> folder(Files({temp_.filePath("folder.png"), picture}));
  QMimeData text;
  text.setText(picture);
  QMimeData link;
  link.setUrls({QUrl("https://example.org/picture.png")});
  for (const QMimeData* data : std::initializer_list<const QMimeData*>{folder.get(), &text, &link})
    EXPECT_FALSE(DropOn(Target(), *data));
  EXPECT_TRUE(reports_.empty());
  EXPECT_TRUE(Take() == before);
}

INSTANTIATE_TEST_SUITE_P(Targets, Drop, ::testing::Values(false, true),
                         [](const auto& p) { return std::string(p.param ? "Pic1" : "PicOut"); });

}  // namespace
}  // namespace zindrel::testing
