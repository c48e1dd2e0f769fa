// The Qt Widgets services: dialog filter form, the open dialog's cancel
// error, the scroll bar's Change event and twips at the logical DPI.
#include <gtest/gtest.h>
#include <QSignalSpy>
#include <QWidget>

#include "support/raises.h"
#include "widgets/events.h"
#include "widgets/file_dialog.h"
#include "widgets/scroll_bar.h"
#include "widgets/twips.h"
#include "window/form1.h"

namespace zindrel {
namespace {

TEST(DialogFilter, OpenFilterBecomesTenQtEntriesInOrder) {
  const QString qt = DialogFilterToQt(QString::fromUtf8(kOpenFilter));
  const QStringList entries = qt.split(QStringLiteral(";;"));
  const QStringList expected = {
      "All pictures (*.bmp *.jpg *.gif)",
      "bitmap(*.bmp) (*.bmp)",
      "GIF (*.gif) (*.gif)",
      "JPEG (*.jpg) (*.jpg)",
      "icon (*.ico) (*.ico)",
      "cursor (*.cur) (*.cur)",
      "run-length encoded (*.rle) (*.rle)",
      "metafile (*.wmf) (*.wmf)",
      "enhanced metafiles (*.emf) (*.emf)",
      "All files (*.*)",
  };
  EXPECT_EQ(entries, expected);
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
