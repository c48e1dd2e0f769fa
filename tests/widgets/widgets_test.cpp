// The Qt Widgets services: dialog filter form, Qt's file dialog as the
// window opens it, the open dialog's cancel error, the scroll bar's Change
// event and twips at the logical DPI.
#include <gtest/gtest.h>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QWidget>

#include "support/raises.h"
#include "widgets/events.h"
#include "widgets/file_dialog.h"
#include "widgets/scroll_bar.h"
#include "widgets/twips.h"

namespace zindrel {
namespace {

TEST(DialogFilter, PatternsInTheDescriptionCountOnlyWhenTheyAreTheFilter) {
  // Qt filters by the last brackets of an entry, so other brackets in a
  // description keep the real patterns after them.
  EXPECT_EQ(DialogFilterToQt("Pictures (bmp, jpg)|*.bmp;*.jpg"), "Pictures (bmp, jpg) (*.bmp *.jpg)");
  EXPECT_EQ(DialogFilterToQt("Both (*.bmp *.jpg)|*.bmp;*.jpg"), "Both (*.bmp *.jpg)");
  EXPECT_EQ(DialogFilterToQt("Wrong (*.gif)|*.bmp"), "Wrong (*.gif) (*.bmp)");
  EXPECT_EQ(DialogFilterToQt("Text, GBK (*.txt)|*.txt|Odd"), "Text, GBK (*.txt);;Odd (*)");
}

// Qt's own file dialog as the window opens it: its title, its filters, the
// start file, and detail columns in which names, sizes, types and dates can
// be read.
TEST(FileDialog, OpensWithTitleFiltersStartFileAndReadableColumns) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString name = QStringLiteral("a picture with a rather long name of its own.bmp");
  QImage picture(40, 30, QImage::Format_RGB32);
  picture.fill(Qt::gray);
  ASSERT_TRUE(picture.save(folder.filePath(name), "BMP"));
  QWidget parent;
  QFileDialog dialog(&parent);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  const QString filter = DialogFilterToQt("All pictures|*.bmp;*.jpg;*.gif|bitmap(*.bmp)|*.bmp|All files|*.*");
  PrepareFileDialog(dialog, "Open Pictures", filter, folder.filePath(name));
  EXPECT_EQ(dialog.windowTitle(), "Open Pictures");
  EXPECT_EQ(dialog.nameFilters(), filter.split(";;"));
  EXPECT_EQ(dialog.selectedNameFilter(), "All pictures (*.bmp *.jpg *.gif)");
  EXPECT_EQ(QDir(dialog.directory()).canonicalPath(), QDir(folder.path()).canonicalPath());
  EXPECT_EQ(QFileInfo(dialog.selectedFiles().value(0)).fileName(), name);
  if (parent.logicalDpiX() == 96) {
    EXPECT_EQ(dialog.size(), QSize(800, 500));
  }
  // Shown first on a folder without pictures, then moved to the picture as a
  // person would: the columns follow what the folder holds.
  ASSERT_TRUE(QDir(folder.path()).mkdir("empty"));
  dialog.setDirectory(folder.filePath("empty"));
  dialog.show();
  auto* details = dialog.findChild<QTreeView*>("treeView");
  ASSERT_NE(details, nullptr);
  QTest::qWait(50);
  dialog.setDirectory(folder.path());
  QTRY_VERIFY(details->model()->rowCount(details->rootIndex()) == 1);
  QCoreApplication::processEvents();
  QHeaderView* header = details->header();
  for (int column = 0; column < 4; ++column) {
    const QModelIndex cell = details->model()->index(0, column, details->rootIndex());
    const QString text = cell.data().toString();
    const int needed = details->fontMetrics().horizontalAdvance(text);
    EXPECT_GE(header->sectionSize(column), needed) << "column " << column << ": " << text.toStdString();
  }
}

struct DialogCase {
  const char* name;
  bool cancelError;
  std::optional<QString> answer;
  bool raises;
  QString fileNameAfter;
};

class OpenDialogCases : public ::testing::TestWithParam<DialogCase> {};

TEST_P(OpenDialogCases, CancelAndChoice) {
  const DialogCase& c = GetParam();
  QString startSeen;
  OpenFileDialog dialog(nullptr, [&](QWidget*, const QString&, const QString&, const QString& start) {
    startSeen = start;
    return c.answer;
  });
  dialog.FileName = "/dir/Varnock.bmp";
  dialog.CancelError = c.cancelError;
  if (c.raises) {
    EXPECT_RAISES(ErrorKind::Cancelled, "", dialog.ShowOpen());
  } else {
    dialog.ShowOpen();
  }
  EXPECT_EQ(startSeen, "/dir/Varnock.bmp");
  EXPECT_EQ(dialog.FileName, c.fileNameAfter);
}

INSTANTIATE_TEST_SUITE_P(All, OpenDialogCases,
                         ::testing::Values(DialogCase{"cancel_raises", true, std::nullopt, true, "/dir/Varnock.bmp"},
                                           DialogCase{"cancel_quiet", false, std::nullopt, false, "/dir/Varnock.bmp"},
                                           DialogCase{"empty_is_cancel", true, QString(), true, "/dir/Varnock.bmp"},
                                           DialogCase{"chosen", true, QString("/p/a.gif"), false, "/p/a.gif"}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(ChangeScrollBar, ChangeFiresOnEveryValueChangeOnly) {
  ChangeScrollBar bar(3, 30, 12, 1, 1);
  QSignalSpy spy(&bar, &ChangeScrollBar::Change);
  bar.SetValue(12);  // unchanged
  EXPECT_EQ(spy.count(), 0);
  bar.SetValue(25);
  EXPECT_EQ(spy.count(), 1);
  bar.SetMax(20);  // moves the value into range
  EXPECT_EQ(bar.Value(), 20);
  EXPECT_EQ(spy.count(), 2);
  bar.SetMin(3);  // nothing moves
  bar.SetMax(30);
  EXPECT_EQ(spy.count(), 2);
  bar.triggerAction(QAbstractSlider::SliderSingleStepAdd);  // an arrow click
  EXPECT_EQ(bar.Value(), 21);
  EXPECT_EQ(spy.count(), 3);
  bar.triggerAction(QAbstractSlider::SliderPageStepSub);  // a click in the trough
  EXPECT_EQ(bar.Value(), 20);
  EXPECT_EQ(spy.count(), 4);
}

TEST(ChangeScrollBar, DragReportsOnlyOnRelease) {
  ChangeScrollBar bar(40, 120, 100, 1, 10);
  QSignalSpy spy(&bar, &ChangeScrollBar::Change);
  bar.setSliderDown(true);
  bar.setSliderPosition(60);
  bar.setSliderPosition(73);
  EXPECT_EQ(spy.count(), 0);
  EXPECT_EQ(bar.Value(), 100);
  bar.setSliderDown(false);
  EXPECT_EQ(spy.count(), 1);
  EXPECT_EQ(bar.Value(), 73);
}

TEST(ChangeScrollBar, MaximumBelowMinimumHoldsTheMaximum) {
  ChangeScrollBar bar(3, 30, 12, 1, 1);
  bar.SetMin(3);
  bar.SetMax(2);
  EXPECT_EQ(bar.Value(), 2);
  bar.SetMin(3);
  bar.SetMax(30);
  EXPECT_EQ(bar.Value(), 3);
}

TEST(Twips, FifteenTwipsPerPixelAtNinetySixDpi) {
  QWidget parent;
  if (parent.logicalDpiX() != 96) GTEST_SKIP() << "screen is not at 96 dpi";
  EXPECT_DOUBLE_EQ(TwipsPerPixelX(&parent), 15.0);
  QWidget child(&parent);
  TwipsBox box(&child, 120, 960, 4215, 4935);
  EXPECT_EQ(child.geometry(), QRect(8, 64, 281, 329));
  box.SetWidth(4270);  // 284.67 px: edges round, so the width is 285
  EXPECT_EQ(child.geometry(), QRect(8, 64, 285, 329));
}

}  // namespace
}  // namespace zindrel
