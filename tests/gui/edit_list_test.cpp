// The file list on the real window, offscreen: what an entry is, removing,
// clearing and reordering by dragging.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>

#include "app/main_window.h"
#include "gui/edit_drag.h"
#include "support/fake_seams.h"

namespace delvora {
namespace {

namespace fs = std::filesystem;

class EditListTest : public ::testing::Test {
 protected:
  EditListTest() : form(h.CreateAndLoad()) {}

  void Fill(const QStringList& texts) {
    for (const QString& text : texts) form.List().Add(text);
  }
  QStringList Entries() {
    QStringList texts;
    for (int i = 1; i <= form.List().Count(); ++i) texts << form.List().Text(i);
    return texts;
  }
  void ShowWindow() {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  }
  QWidget* Viewport() { return form.ListView1->viewport(); }
  // A pointer move without a button held, as the pointer crossing the list.
  void Hover(const QPoint& at) {
    QMouseEvent move(QEvent::MouseMove, at, Viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(Viewport(), &move);
  }

  testing::WindowHarness h;
  Form1& form;
};

TEST_F(EditListTest, EntriesAreAppendedInOrderRepeatAndMatchExactly) {
  Fill({"C:\\Data\\a.csv", "C:\\Data\\b.csv", "C:\\Data\\a.csv"});
  EXPECT_EQ(Entries(), (QStringList{"C:\\Data\\a.csv", "C:\\Data\\b.csv", "C:\\Data\\a.csv"}));
  EXPECT_TRUE(form.List().ContainsText("C:\\Data\\b.csv"));
  EXPECT_FALSE(form.List().ContainsText("c:\\data\\a.csv"));
  EXPECT_FALSE(form.List().ContainsText("C:\\Data\\a"));
  form.List().Remove(1);
  EXPECT_EQ(Entries(), (QStringList{"C:\\Data\\b.csv", "C:\\Data\\a.csv"}));
  form.List().Clear();
  EXPECT_FALSE(form.List().ContainsText(""));
}

TEST_F(EditListTest, DoubleClickAndDeleteRemoveTheSelectedEntry) {
  ShowWindow();
  Fill({"A", "B", "C", "D", "E"});
  form.List().Select(2);
  // A double-click anywhere removes the selected entry, not the one under it.
  QTest::mouseDClick(Viewport(), Qt::LeftButton, {}, testing::EntryCentre(form, 4));
  QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, testing::EntryCentre(form, 4));
  EXPECT_EQ(Entries(), (QStringList{"A", "C", "D", "E"}));
  // The blank space below the entries, as a real mouse double-clicks there:
  // its first press must not take the selection away.
  form.List().Select(3);
  testing::RealDoubleClick(Viewport(), QPoint(10, Viewport()->height() - 3));
  EXPECT_EQ(Entries(), (QStringList{"A", "C", "E"}));
  EXPECT_TRUE(form.ListView1->hasFocus());
  // On an entry the first press selects it, so that is the one removed.
  testing::RealDoubleClick(Viewport(), testing::EntryCentre(form, 2));
  EXPECT_EQ(Entries(), (QStringList{"A", "E"}));
  form.List().Clear();
  Fill({"A", "C", "E"});
  form.List().Select(1);
  QTest::keyClick(form.ListView1, Qt::Key_Delete);
  EXPECT_EQ(Entries(), (QStringList{"C", "E"}));
  form.List().Select(2);
  QTest::keyClick(form.ListView1, Qt::Key_Delete, Qt::ShiftModifier);
  EXPECT_EQ(Entries(), (QStringList{"C"}));
  // Other keys leave the list alone.
  form.List().Select(1);
  QTest::keyClick(form.ListView1, Qt::Key_Backspace);
  QTest::keyClick(form.ListView1, Qt::Key_X);
  EXPECT_EQ(Entries(), (QStringList{"C"}));
}

TEST_F(EditListTest, RemovingDoesNothingOnAnEmptyListWithoutSelectionOrWhenBusy) {
  form.ListView1_DblClick();
  form.ListView1_KeyDown(46, 0);
  EXPECT_EQ(form.List().Count(), 0);
  Fill({"A", "B"});
  form.ListView1->clearSelection();
  form.ListView1_DblClick();
  EXPECT_EQ(form.List().Count(), 2);
  form.List().Select(1);
  form.SetMousePointer(kPointerHourglass);
  form.ListView1_DblClick();
  form.ListView1_KeyDown(46, 1);
  QTest::mouseClick(form.PushButton4, Qt::LeftButton);
  EXPECT_EQ(Entries(), (QStringList{"A", "B"}));
  form.SetMousePointer(kPointerDefault);
  form.ListView1_KeyDown(46, 0);
  EXPECT_EQ(Entries(), (QStringList{"B"}));
}

TEST_F(EditListTest, ClearListEmptiesTheListUnlessBusy) {
  Fill({"A", "B", "C"});
  QTest::mouseClick(form.PushButton4, Qt::LeftButton);
  EXPECT_EQ(form.List().Count(), 0);
  QTest::mouseClick(form.PushButton4, Qt::LeftButton);
  EXPECT_EQ(form.List().Count(), 0);
  EXPECT_TRUE(h.boxes.shown.empty());
}

TEST_F(EditListTest, DraggingWalksTheEntryThroughTheList) {
  ShowWindow();
  Fill({"A", "B", "C", "D"});
  form.List().Select(1);
  testing::DragEntry(form, 1, 4);
  EXPECT_EQ(Entries(), (QStringList{"B", "C", "D", "A"}));
  EXPECT_EQ(form.List().SelectedItem(), 4);
  EXPECT_FALSE(form.IsDragging);
  // And back up again, over entries while the window is busy: reordering is
  // not guarded.
  form.SetMousePointer(kPointerHourglass);
  testing::DragEntry(form, 4, 2);
  EXPECT_EQ(Entries(), (QStringList{"B", "A", "C", "D"}));
  EXPECT_EQ(form.List().SelectedItem(), 2);
  EXPECT_EQ(form.MousePointer(), kPointerHourglass);
}

TEST_F(EditListTest, EqualTextsAreNeverExchanged) {
  ShowWindow();
  Fill({"A", "A", "B"});
  testing::DragEntry(form, 1, 2);
  EXPECT_EQ(Entries(), (QStringList{"A", "A", "B"}));
  testing::DragEntry(form, 2, 3);
  EXPECT_EQ(Entries(), (QStringList{"A", "B", "A"}));
  EXPECT_EQ(form.List().SelectedItem(), 3);
}

TEST_F(EditListTest, APressBesideTheEntriesDragsNothing) {
  ShowWindow();
  Fill({"A", "B", "C"});
  testing::DragEntry(form, 1, 2);
  ASSERT_EQ(Entries(), (QStringList{"B", "A", "C"}));
  const QPoint below(10, Viewport()->height() - 3);
  ASSERT_EQ(form.List().HitTest(below), 0);
  QTest::mousePress(Viewport(), Qt::LeftButton, {}, below);
  QTest::mouseMove(Viewport(), testing::EntryCentre(form, 3));
  QTest::mouseMove(Viewport(), testing::EntryCentre(form, 1));
  QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, testing::EntryCentre(form, 1));
  EXPECT_EQ(Entries(), (QStringList{"B", "A", "C"}));
}

TEST_F(EditListTest, TheListShowsTheDragPointerWhileDraggingAndTheArrowAfter) {
  ShowWindow();
  Fill({"A", "B"});
  const QString icon = QDir(h.program_folder).filePath("drag.ico");
  QImage picture(32, 32, QImage::Format_ARGB32);
  picture.fill(Qt::darkBlue);
  ASSERT_TRUE(picture.save(icon, "ICO"));

  QTest::mousePress(Viewport(), Qt::LeftButton, {}, testing::EntryCentre(form, 1));
  EXPECT_TRUE(form.IsDragging);
  EXPECT_EQ(form.DragItem, 1);
  EXPECT_EQ(Viewport()->cursor().shape(), Qt::BitmapCursor);
  QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, testing::EntryCentre(form, 1));
  EXPECT_FALSE(form.IsDragging);
  EXPECT_FALSE(Viewport()->testAttribute(Qt::WA_SetCursor));
  EXPECT_EQ(Viewport()->cursor().shape(), Qt::ArrowCursor);

  // Unreadable or missing: dragging goes on with the standard pointer.
  for (int attempt = 0; attempt < 4; ++attempt) {
    fs::remove_all(icon.toStdString());
    if (attempt == 1) testing::WriteFile(icon.toStdString(), "not an icon");
    if (attempt == 2) fs::create_directory(icon.toStdString());
#ifndef _WIN32
    // A pipe would hold the press waiting for a writer.
    if (attempt == 3) {
      ASSERT_EQ(mkfifo(icon.toStdString().c_str(), 0600), 0);
    }
#endif
    QTest::mousePress(Viewport(), Qt::LeftButton, {}, testing::EntryCentre(form, 1));
    EXPECT_EQ(Viewport()->cursor().shape(), Qt::ArrowCursor);
    QTest::mouseMove(Viewport(), testing::EntryCentre(form, 2));
    QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, testing::EntryCentre(form, 2));
  }
  // Four exchanges: back where they started.
  EXPECT_EQ(Entries(), (QStringList{"A", "B"}));
}

TEST_F(EditListTest, PointerMovesOverTheListEndTheHandButKeepTheHourglass) {
  ShowWindow();
  Fill({"A", "B"});
  form.SetMousePointer(kPointerCustom);
  Hover(testing::EntryCentre(form, 1));
  EXPECT_EQ(form.MousePointer(), kPointerDefault);
  form.SetMousePointer(kPointerHourglass);
  Hover(testing::EntryCentre(form, 2));
  EXPECT_EQ(form.MousePointer(), kPointerHourglass);
  // Without a press nothing is dragged.
  EXPECT_EQ(Entries(), (QStringList{"A", "B"}));
}

TEST_F(EditListTest, DraggingNearAnEdgeBringsTheNextEntryIntoView) {
  ShowWindow();
  for (int i = 1; i <= 60; ++i) form.List().Add(QString("entry %1").arg(i, 2, 10, QChar('0')));
  // The view lays out new rows on its next turn of the event loop.
  QApplication::processEvents();
  QScrollBar* bar = form.ListView1->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0);
  ASSERT_EQ(bar->value(), 0);
  auto row_at = [&](int y) { return form.List().HitTest(QPoint(5, y)); };
  // The row at the bottom edge, dragged onto from the row above it.
  const int bottom = row_at(Viewport()->height() - 2);
  ASSERT_GT(bottom, 1);
  testing::DragEntry(form, bottom - 1, bottom);
  EXPECT_EQ(form.List().Text(bottom), QString("entry %1").arg(bottom - 1, 2, 10, QChar('0')));
  EXPECT_GT(bar->value(), 0);
  const int scrolled = bar->value();
  // Back at the top edge the entry above comes into view.
  const int top = row_at(1);
  ASSERT_GT(top, 1);
  testing::DragEntry(form, top + 1, top);
  EXPECT_LT(bar->value(), scrolled);
  // In the middle of the view nothing scrolls.
  const int before = bar->value();
  const int middle = row_at(Viewport()->height() / 2);
  testing::DragEntry(form, middle, middle + 1);
  EXPECT_EQ(bar->value(), before);
}

}  // namespace
}  // namespace delvora
