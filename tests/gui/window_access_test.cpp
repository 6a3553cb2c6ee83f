// The window for keyboard, pointer and screen-reader users: Tab through the
// option groups, the design's white, the list's tip and header divider,
// visible focus, accessible names, a first start without a desktop folder
// and a settings store that cannot be written.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QImage>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolTip>
#include <QTreeWidget>
#include <filesystem>

#include "gui/edit_drag.h"
#include "gui/window_test_support.h"
#include "platform/progress_bar.h"
#include "platform/qt_seams.h"

namespace delvora::testing {
namespace {

QString Focused() {
  QWidget* focus = QApplication::focusWidget();
  return focus != nullptr ? focus->objectName() : QString();
}

TEST(WindowAccess, TabEntersEachOptionGroupAtItsSelectedOptionAndLeavesItWithTheNextPress) {
  WindowHarness harness;
  Form1& window = harness.CreateAndLoad();
  window.Option3->click();
  ShowActive(window);
  window.PushButton2->setFocus(Qt::OtherFocusReason);
  QStringList walked;
  for (int i = 0; i < 6; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    walked << Focused();
  }
  EXPECT_EQ(walked,
            QStringList({"Option3", "Text2", "Option6", "Text1", "PushButton1", "ListView1"}))
      << walked.join(' ').toStdString();
  window.Text1->setFocus(Qt::OtherFocusReason);
  walked.clear();
  for (int i = 0; i < 3; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    walked << Focused();
  }
  EXPECT_EQ(walked, QStringList({"Option6", "Text2", "Option3"})) << walked.join(' ').toStdString();

  // With the other output option selected the folder row is off, and Tab
  // goes from that option on to the list.
  window.Option7->click();
  ASSERT_TRUE(window.Option7->isChecked());
  window.Text2->setFocus(Qt::OtherFocusReason);
  QTest::keyClick(window.Text2, Qt::Key_Tab);
  EXPECT_EQ(Focused(), "Option7");
  QTest::keyClick(window.Option7, Qt::Key_Tab);
  EXPECT_EQ(Focused(), "ListView1");
  EXPECT_TRUE(harness.boxes.shown.empty());
}

// Pixels of blank places inside each frame and option: the window's white.
TEST(WindowAccess, WithoutASkinFramesAndOptionsPaintTheWindowsWhite) {
  WindowHarness harness;
  Form1& window = harness.CreateAndLoad();
  ShowActive(window);
  struct Spot {
    QWidget* widget;
    QPoint at;
  };
  const Spot spots[] = {
      {window.Frame2, {350, 42}}, {window.Frame5, {400, 91}}, {window.Frame6, {6, 48}},
      {window.Option1, {73, 7}},  {window.Option6, {235, 8}}, {window.Option7, {235, 8}},
      {&window, {4, 4}},          {window.Frame2, {20, 40}},  {window.Frame5, {500, 40}},
  };
  for (const Spot& spot : spots) {
    SCOPED_TRACE(spot.widget->objectName().toStdString());
    const QImage image = spot.widget->grab().toImage();
    ASSERT_TRUE(image.rect().contains(spot.at));
    EXPECT_EQ(image.pixelColor(spot.at), QColor(Qt::white))
        << image.pixelColor(spot.at).name().toStdString();
  }
}

TEST(WindowAccess, TheListsTipShowsOverAnEntryAndOverTheBlankSpace) {
  WindowHarness harness;
  Form1& window = harness.CreateAndLoad();
  window.List().Add("/data/a.csv");
  ShowActive(window);
  QWidget* viewport = window.ListView1->viewport();
  for (const QPoint& at : {EntryCentre(window, 1), QPoint(20, viewport->height() - 5)}) {
    QHelpEvent help(QEvent::ToolTip, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &help);
    ASSERT_TRUE(QTest::qWaitFor([] { return QToolTip::isVisible(); }));
    EXPECT_EQ(QToolTip::text(), window.ListView1->toolTip());
    QToolTip::hideText();
    ASSERT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }));
  }
}

TEST(WindowAccess, TheHeaderDividerIsDrawnAndTakenEitherSideOfTheLine) {
  for (const bool skinned : {false, true}) {
    SCOPED_TRACE(skinned ? "skin" : "no skin");
    WindowHarness harness;
    Form1& window = OpenWindow(harness, skinned);
    ShowActive(window);
    QHeaderView* header = window.ListView1->header();
    QWidget* strip = header->viewport();
    const int edge = header->sectionSize(0);
    const QImage image = strip->grab().toImage();
    const int y = strip->height() / 2;
    EXPECT_NE(image.pixelColor(edge - 1, y), image.pixelColor(edge - 8, y));
    EXPECT_NE(image.pixelColor(edge - 1, y), image.pixelColor(edge + 8, y));

    // Right of the line, beyond the last column, and left of it.
    for (const int side : {+4, -4}) {
      const int before = header->sectionSize(0);
      const int grab_at = before + side;
      QTest::mousePress(strip, Qt::LeftButton, {}, QPoint(grab_at, y));
      QTest::mouseMove(strip, QPoint(grab_at + 60, y));
      QTest::mouseRelease(strip, Qt::LeftButton, {}, QPoint(grab_at + 60, y));
      EXPECT_EQ(header->sectionSize(0), before + 60);
    }
    // Well away from the line nothing moves.
    const int before = header->sectionSize(0);
    QTest::mousePress(strip, Qt::LeftButton, {}, QPoint(40, y));
    QTest::mouseMove(strip, QPoint(100, y));
    QTest::mouseRelease(strip, Qt::LeftButton, {}, QPoint(100, y));
    EXPECT_EQ(header->sectionSize(0), before);
  }
}

TEST(WindowAccess, ScreenReadersHearANameForControlsWithoutACaptionOfTheirOwn) {
  WindowHarness harness;
  Form1& window = harness.Create();
  const std::pair<QWidget*, const char*> names[] = {
      {window.Text1, "Save results to this folder"},
      {window.Text2, "Other delimiter"},
      {window.PushButton1, "Browse for the output folder"},
      {window.ListView1, "CSV files to convert"},
      {window.ProgressBar1, "Conversion progress"}};
  for (const auto& [widget, name] : names) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->text(QAccessible::Name), QString::fromUtf8(name));
  }
  EXPECT_EQ(window.PushButton1->text(), "...");  // nothing visible changes
}

#ifndef _WIN32
TEST(WindowAccess, FirstStartWithoutADesktopFolderStoresTheHomeFolderAsText1) {
  WindowHarness harness;
  const QByteArray old_home = qgetenv("HOME");
  const QString home = QString::fromStdString(harness.temp.Utf8() + "/home");
  std::filesystem::create_directories(harness.temp.path() / "home");
  qputenv("HOME", home.toUtf8());
  harness.shell.desktop_folder = QtShell().DesktopFolder();
  qputenv("HOME", old_home);
  Form1& window = harness.CreateAndLoad();
  // The restore writes the default back: the home folder is what the next
  // start shows, even once a desktop folder exists. That is intended.
  EXPECT_EQ(window.Text1->text(), home + "/");
  EXPECT_EQ(Setting(harness, "Text1"), home + "/");
  EXPECT_TRUE(harness.boxes.shown.empty());
}
#endif

TEST(WindowAccess, AnUnwritableStoreIsToldOnceAfterTheWindowAppears) {
  WindowHarness harness;
  WriteFile(harness.temp.path() / "plain-file", "x");
  harness.settings_file = QString::fromStdString(harness.temp.Utf8() + "/plain-file/s.ini");
  harness.ReopenSettings();
  Form1& window = harness.CreateAndLoad();
  QApplication::processEvents();
  EXPECT_TRUE(harness.boxes.shown.empty());  // not before the window is there

  ShowActive(window);
  QApplication::processEvents();
  ASSERT_EQ(harness.boxes.shown.size(), 1u);
  const ShownBox& box = harness.boxes.shown[0];
  EXPECT_EQ(box.caption, window.ApplicationTitle());
  EXPECT_EQ(box.icon, MsgIcon::kExclamation);
  EXPECT_EQ(box.buttons, MsgButtons::kOk);
  EXPECT_EQ(box.text, "Your choices cannot be saved:\r\r" +
                          QDir::toNativeSeparators(harness.settings_file) + "\r\rPath not found");
  QTest::keyClicks(window.Text1, "more");
  QApplication::processEvents();
  EXPECT_EQ(harness.boxes.shown.size(), 1u);
}

TEST(WindowAccess, AStoreThatFailsLaterIsToldAfterTheChangeHandlerReturns) {
  WindowHarness harness;
  Form1& window = harness.CreateAndLoad();
  ShowActive(window);
  QApplication::processEvents();
  ASSERT_TRUE(harness.boxes.shown.empty());
  // Another program takes the store's place.
  std::filesystem::remove(harness.temp.path() / "settings.ini");
  std::filesystem::create_directories(harness.temp.path() / "settings.ini");
  window.Text2->setFocus(Qt::OtherFocusReason);
  QTest::keyClick(window.Text2, Qt::Key_Backspace);
  EXPECT_TRUE(harness.boxes.shown.empty());  // the keystroke's handler is done first
  QApplication::processEvents();
  ASSERT_EQ(harness.boxes.shown.size(), 1u);
  EXPECT_TRUE(harness.boxes.shown[0].text.startsWith("Your choices cannot be saved:\r\r"));
  EXPECT_TRUE(window.Text2->hasFocus());
}

}  // namespace
}  // namespace delvora::testing
