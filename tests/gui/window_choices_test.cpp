// The user's choices: delimiter options and "Other" text, the empty-text
// check, the output location with its folder picker, and Help.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "gui/window_test_support.h"
#include "platform/product.h"

namespace delvora::testing {
namespace {

QStringList DelimiterKeys(WindowHarness& harness) {
  QStringList values;
  for (const char* key : {"Option1", "Option2", "Option3", "Option4", "Option5"}) {
    values << Setting(harness, key);
  }
  return values;
}

class WindowChoices : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = &harness_.CreateAndLoad();
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_));
  }
  WindowHarness harness_;
  Form1* window_ = nullptr;
};

TEST_F(WindowChoices, EveryDelimiterClickStoresAllFiveOptions) {
  Form1& w = *window_;
  const QString f = "False", t = "True";
  QTest::mouseClick(w.Option3, Qt::LeftButton);
  EXPECT_EQ(DelimiterKeys(harness_), QStringList({f, f, t, f, f}));
  QTest::mouseClick(w.Option2, Qt::LeftButton);
  EXPECT_EQ(DelimiterKeys(harness_), QStringList({f, t, f, f, f}));
  QTest::mouseClick(w.Option5, Qt::LeftButton);
  EXPECT_EQ(DelimiterKeys(harness_), QStringList({f, f, f, f, t}));
  // The hidden tab option, selected by program, stores the same way.
  w.Option4->setChecked(true);
  EXPECT_EQ(DelimiterKeys(harness_), QStringList({f, f, f, t, f}));
  QTest::mouseClick(w.Option1, Qt::LeftButton);
  EXPECT_EQ(DelimiterKeys(harness_), QStringList({t, f, f, f, f}));
  // Option clicks neither touch the output keys nor Text2.
  EXPECT_EQ(Setting(harness_, "Option6"), t);
  EXPECT_TRUE(w.Text2->isEnabled());
  EXPECT_EQ(w.Text2->text(), "|");
}

TEST_F(WindowChoices, EveryKeystrokeInOtherIsStored) {
  Form1& w = *window_;
  w.Text2->clear();
  EXPECT_EQ(Setting(harness_, "Other"), "");
  QTest::keyClick(w.Text2, ':');
  EXPECT_EQ(Setting(harness_, "Other"), ":");
  QTest::keyClick(w.Text2, ':');
  EXPECT_EQ(Setting(harness_, "Other"), "::");
  w.Text2->setText(" ; ");
  harness_.ReopenSettings();  // as the next start would read it
  EXPECT_EQ(harness_.settings().GetSetting("Other", "x"), " ; ");
}

TEST_F(WindowChoices, EmptyOtherTextIsCheckedWhenLeftWhicheverOptionIsSelected) {
  Form1& w = *window_;
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  ASSERT_TRUE(w.Option1->isChecked());

  w.Text2->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == w.Text2; }));
  w.Text2->clear();
  w.Text1->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(QTest::qWaitFor([&] { return harness_.boxes.shown.size() == 1; }));
  const ShownBox box = harness_.boxes.shown[0];
  EXPECT_EQ(box.text, "You forgot to input a value.");
  EXPECT_EQ(box.caption, w.ApplicationTitle());
  EXPECT_EQ(box.icon, MsgIcon::kNone);
  EXPECT_EQ(box.buttons, MsgButtons::kOk);
  EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == w.Text2; }));
  // Giving the focus back starts no second round.
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(harness_.boxes.shown.size(), 1u);
  EXPECT_EQ(Setting(harness_, "Other"), "");

  // Leaving it again is checked again; a window losing activation is not a leave.
  QFocusEvent deactivate(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
  QCoreApplication::sendEvent(w.Text2, &deactivate);
  QCoreApplication::processEvents();
  EXPECT_EQ(harness_.boxes.shown.size(), 1u);
  w.PushButton1->setFocus(Qt::MouseFocusReason);
  ASSERT_TRUE(QTest::qWaitFor([&] { return harness_.boxes.shown.size() == 2; }));
  EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == w.Text2; }));

  // A text in the box passes.
  QTest::keyClick(w.Text2, '#');
  w.Text1->setFocus(Qt::TabFocusReason);
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(harness_.boxes.shown.size(), 2u);
  EXPECT_EQ(QApplication::focusWidget(), w.Text1);
}

TEST_F(WindowChoices, OutputOptionsStoreBothKeysAndSwitchTheFolderRow) {
  Form1& w = *window_;
  QTest::mouseClick(w.Option7, Qt::LeftButton);
  EXPECT_EQ(Setting(harness_, "Option6"), "False");
  EXPECT_EQ(Setting(harness_, "Option7"), "True");
  EXPECT_FALSE(w.Frame6->isEnabled());
  EXPECT_FALSE(w.Text1->isEnabled());
  EXPECT_FALSE(w.PushButton1->isEnabled());
  const QString kept = w.Text1->text();
  QTest::mouseClick(w.Option6, Qt::LeftButton);
  EXPECT_EQ(Setting(harness_, "Option6"), "True");
  EXPECT_EQ(Setting(harness_, "Option7"), "False");
  EXPECT_TRUE(w.Text1->isEnabled());
  EXPECT_TRUE(w.PushButton1->isEnabled());
  EXPECT_EQ(w.Text1->text(), kept);
  // The delimiter keys are not part of this group.
  harness_.settings().SaveSetting("Option1", "untouched");
  QTest::mouseClick(w.Option7, Qt::LeftButton);
  EXPECT_EQ(Setting(harness_, "Option1"), "untouched");
}

TEST_F(WindowChoices, TypingAFolderStoresItKeystrokeByKeystroke) {
  Form1& w = *window_;
  w.Text1->clear();
  QTest::keyClicks(w.Text1, "/no");
  EXPECT_EQ(Setting(harness_, "Text1"), "/no");
  QTest::keyClick(w.Text1, 'x');
  EXPECT_EQ(Setting(harness_, "Text1"), "/nox");
  harness_.ReopenSettings();
  EXPECT_EQ(harness_.settings().GetSetting("Text1", ""), "/nox");
}

TEST_F(WindowChoices, BrowseButtonCancelChangesNothing) {
  Form1& w = *window_;
  harness_.settings().SaveSetting("LastFolderDot", "/before");
  const QString text1 = w.Text1->text();
  QTest::mouseClick(w.PushButton1, Qt::LeftButton);  // no result scripted: cancel
  ASSERT_EQ(harness_.folder_picker.calls.size(), 1u);
  EXPECT_EQ(harness_.folder_picker.calls[0].title, "Please select folder:");
  EXPECT_EQ(harness_.folder_picker.calls[0].initial_folder, "/before");
  EXPECT_EQ(w.Text1->text(), text1);
  EXPECT_EQ(Setting(harness_, "Text1"), text1);
  EXPECT_EQ(Setting(harness_, "LastFolderDot"), "/before");
  EXPECT_TRUE(harness_.boxes.shown.empty());
}

TEST_F(WindowChoices, BrowseButtonAddsOneSeparatorExceptForARoot) {
  Form1& w = *window_;
  const QString folder = Sep() + "data" + Sep() + "in";
  harness_.folder_picker.results = {folder, Sep()};
  w.PushButton1_Click();
  ASSERT_EQ(harness_.folder_picker.calls.size(), 1u);
  EXPECT_EQ(harness_.folder_picker.calls[0].initial_folder, "");  // first use
  EXPECT_EQ(w.Text1->text(), folder + Sep());
  EXPECT_EQ(Setting(harness_, "Text1"), folder + Sep());
  EXPECT_EQ(Setting(harness_, "LastFolderDot"), folder);

  // Typed over since: the picker still opens on the folder picked last.
  w.Text1->setText("typed");
  w.PushButton1_Click();
  EXPECT_EQ(harness_.folder_picker.calls[1].initial_folder, folder);
  EXPECT_EQ(w.Text1->text(), Sep());
  EXPECT_EQ(Setting(harness_, "LastFolderDot"), Sep());
  EXPECT_TRUE(harness_.boxes.shown.empty());
}

TEST_F(WindowChoices, HelpShowsTheSameNoticeEveryTime) {
  Form1& w = *window_;
  QTest::mouseClick(w.PushButton2, Qt::LeftButton);
  QTest::mouseClick(w.PushButton2, Qt::LeftButton);
  ASSERT_EQ(harness_.boxes.shown.size(), 2u);
  const QString expected =
      QString(
          "Some files with complicated structure sometimes could not be converted and will "
          "require manual processing later. Please email ") +
      kSupportEmail + " if you have any questions.";
  for (const ShownBox& box : harness_.boxes.shown) {
    EXPECT_EQ(box.text, expected);
    EXPECT_EQ(box.caption, "Delvora");
    EXPECT_EQ(box.icon, MsgIcon::kNone);
    EXPECT_EQ(box.buttons, MsgButtons::kOk);
  }
  EXPECT_FALSE(expected.contains('\n') || expected.contains('\r'));
}

TEST_F(WindowChoices, HelpIsShownEvenWhileBusy) {
  Form1& w = *window_;
  w.SetMousePointer(kPointerHourglass);
  w.PushButton2_Click();
  EXPECT_EQ(harness_.boxes.shown.size(), 1u);
  EXPECT_EQ(w.MousePointer(), kPointerHourglass);
}

}  // namespace
}  // namespace delvora::testing
