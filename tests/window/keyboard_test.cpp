// The window from the keyboard, as a person uses it: Tab through the
// controls, the scroll bars moved by keys, buttons pressed with Enter and
// Space. Every key goes to the control that has the focus.
#include <QApplication>
#include <QSignalSpy>
#include <QTest>

#include "window_fixture.h"

namespace zindrel::testing {
namespace {

class Keyboard : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    ASSERT_TRUE(Start(*form_));
    QApplication::setActiveWindow(form_.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
  }

  // A key pressed and released where the focus is now.
  static void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr) << "nothing has the focus";
    QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
  }

  void Focus(QWidget* widget) {
    widget->setFocus(Qt::OtherFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), widget);
  }

  // The controls in the window's tab order.
  QList<QWidget*> TabOrder() const {
    Form1& f = *form_;
    return {f.PicOut,     f.CmdLoad,   f.CmdProcess, f.CmdCancel, f.TxtSize, f.HScCellsize, f.TxtQuality,
            f.HscQuality, f.TxtBright, f.HScBright,  f.Txt1,      f.CmdExit, f.Pic1};
  }
};

std::string NameOf(const Form1& form, const QWidget* w) {
  if (!w) return "(nothing)";
  const std::pair<const QWidget*, const char*> names[] = {{form.PicOut, "PicOut"},
                                                          {form.CmdLoad, "CmdLoad"},
                                                          {form.CmdProcess, "CmdProcess"},
                                                          {form.CmdCancel, "CmdCancel"},
                                                          {form.TxtSize, "TxtSize"},
                                                          {form.HScCellsize, "HScCellsize"},
                                                          {form.TxtQuality, "TxtQuality"},
                                                          {form.HscQuality, "HscQuality"},
                                                          {form.TxtBright, "TxtBright"},
                                                          {form.HScBright, "HScBright"},
                                                          {form.Txt1, "Txt1"},
                                                          {form.CmdExit, "CmdExit"},
                                                          {form.Pic1, "Pic1"}};
  for (const auto& [widget, name] : names)
    if (widget == w) return name;
  return w->metaObject()->className();
}

TEST_F(Keyboard, TabVisitsTheControlsInOrderAndTypesNothing) {
  const QList<QWidget*> order = TabOrder();
  form_->Txt1->setPlainText(QStringLiteral("art"));
  // The first control takes the focus when the window opens.
  EXPECT_EQ(NameOf(*form_, QApplication::focusWidget()), "PicOut");
  // Twice round, and then backwards with Shift+Tab.
  for (qsizetype i = 1; i <= 2 * order.size(); ++i) {
    Press(Qt::Key_Tab);
    ASSERT_EQ(NameOf(*form_, QApplication::focusWidget()), NameOf(*form_, order[i % order.size()])) << "Tab " << i;
  }
  for (qsizetype i = 2 * order.size() - 1; i >= 0; --i) {
    Press(Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_EQ(NameOf(*form_, QApplication::focusWidget()), NameOf(*form_, order[i % order.size()]))
        << "Shift+Tab to " << i;
  }
  EXPECT_EQ(form_->Txt1->toPlainText(), "art");
}

// A key on a focused bar and where it takes each bar from its start-up value
// (cell size 12 of 3..30 by 1 and 1, quality 2 of 0..10 by 1 and 2,
// brightness 100 of 40..120 by 1 and 10), with the grid the size box then
// shows for a picture of 120 x 90 pixels.
struct BarKey {
  const char* name;
  int key;
  int cellSize;
  const char* grid;
  int quality, brightness;
};

class BarKeys : public Keyboard, public ::testing::WithParamInterface<BarKey> {};

TEST_P(BarKeys, MoveTheFocusedBarAndItsBox) {
  const BarKey& c = GetParam();
  Load(WritePicture(TestPicture(120, 90), "keys.png"));  // cell sizes up to 30
  struct Bar {
    ChangeScrollBar* bar;
    QLineEdit* box;
    int value;
    QString shown;
  };
  const Bar bars[] = {
      {form_->HScCellsize, form_->TxtSize, c.cellSize, QString::fromUtf8(c.grid)},
      {form_->HscQuality, form_->TxtQuality, c.quality, QString::number(c.quality)},
      {form_->HScBright, form_->TxtBright, c.brightness, QString::number(c.brightness)},
  };
  for (const Bar& b : bars) {
    Focus(b.bar);
    QSignalSpy changes(b.bar, &ChangeScrollBar::Change);
    Press(c.key);
    EXPECT_EQ(b.bar->value(), b.value);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(b.box->text(), b.shown);
    EXPECT_EQ(QApplication::focusWidget(), b.bar);
  }
  EXPECT_EQ(form_->CellSize(), c.cellSize);
  EXPECT_EQ(form_->Quality(), c.quality);
  EXPECT_EQ(form_->BrightnessFactor(), static_cast<float>(c.brightness / 100.0));
}

INSTANTIATE_TEST_SUITE_P(Keys, BarKeys,
                         ::testing::Values(BarKey{"Right", Qt::Key_Right, 13, "9\u00D76", 3, 101},
                                           BarKey{"Down", Qt::Key_Down, 13, "9\u00D76", 3, 101},
                                           BarKey{"Left", Qt::Key_Left, 11, "10\u00D78", 1, 99},
                                           BarKey{"Up", Qt::Key_Up, 11, "10\u00D78", 1, 99},
                                           BarKey{"PageDown", Qt::Key_PageDown, 13, "9\u00D76", 4, 110},
                                           BarKey{"PageUp", Qt::Key_PageUp, 11, "10\u00D78", 0, 90},
                                           BarKey{"Home", Qt::Key_Home, 3, "40\u00D730", 0, 40},
                                           BarKey{"End", Qt::Key_End, 30, "4\u00D73", 10, 120}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(Keyboard, BarsStopAtTheirEnds) {
  // From each end a step beyond it changes nothing and fires no Change.
  for (ChangeScrollBar* bar : {form_->HScCellsize, form_->HscQuality, form_->HScBright}) {
    Focus(bar);
    Press(Qt::Key_End);
    QSignalSpy changes(bar, &ChangeScrollBar::Change);
    Press(Qt::Key_Right);
    Press(Qt::Key_PageDown);
    EXPECT_EQ(bar->value(), bar->maximum());
    Press(Qt::Key_Home);
    Press(Qt::Key_Left);
    Press(Qt::Key_PageUp);
    EXPECT_EQ(bar->value(), bar->minimum());
    EXPECT_EQ(changes.count(), 1);
  }
}

struct ButtonKey {
  const char* name;
  int key;
};

class ButtonKeys : public Keyboard, public ::testing::WithParamInterface<ButtonKey> {};

// The key clicks the focused button once, and the button does its work.
TEST_P(ButtonKeys, ClickTheFocusedButton) {
  const int key = GetParam().key;
  Load(WritePicture(TestPicture(60, 48), "small.png"));
  const std::vector<Asked> askedBefore = asked_;
  auto pressOn = [&](CommandButton* button) {
    Focus(button);
    QSignalSpy clicks(button, &QPushButton::clicked);
    Press(key);
    EXPECT_EQ(clicks.count(), 1) << button->text().toStdString();
  };
  pressOn(form_->CmdLoad);  // the dialog is asked (and cancelled)
  EXPECT_EQ(asked_.size(), askedBefore.size() + 1);
  pressOn(form_->CmdProcess);                                // a whole run
  EXPECT_EQ(Rows(form_->OutputText()).size(), 48 / 12 + 1);  // 4 rows, each ended
  EXPECT_EQ(form_->CmdProcess->text(), "Convert 2 chinese");
  pressOn(form_->CmdCancel);
  EXPECT_TRUE(form_->CancelRequested());
  pressOn(form_->CmdExit);
  EXPECT_FALSE(form_->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Keys, ButtonKeys,
                         ::testing::Values(ButtonKey{"Return", Qt::Key_Return}, ButtonKey{"Enter", Qt::Key_Enter},
                                           ButtonKey{"Space", Qt::Key_Space}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(Keyboard, NoButtonIsTheDefault) {
  QList<QSignalSpy*> spies;
  for (CommandButton* button : {form_->CmdLoad, form_->CmdProcess, form_->CmdCancel, form_->CmdExit})
    spies << new QSignalSpy(button, &QPushButton::clicked);
  // Enter on every other kind of control clicks nothing.
  for (QWidget* w : {static_cast<QWidget*>(form_->PicOut), static_cast<QWidget*>(form_->TxtSize),
                     static_cast<QWidget*>(form_->HscQuality), static_cast<QWidget*>(form_->Pic1)}) {
    Focus(w);
    Press(Qt::Key_Return);
    Press(Qt::Key_Enter);
  }
  for (QSignalSpy* spy : spies) EXPECT_EQ(spy->count(), 0);
  qDeleteAll(spies);
  EXPECT_TRUE(form_->isVisible());
}

}  // namespace
}  // namespace zindrel::testing
