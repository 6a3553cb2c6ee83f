// Pointer feedback: the hand over push buttons, the default pointer over the
// background, frames and text boxes, and the hourglass that nothing replaces.

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "gui/window_test_support.h"
#include "platform/progress_bar.h"

namespace delvora::testing {
namespace {

class WindowPointer : public ::testing::Test {
 protected:
  void Start(bool with_hand_file) {
    if (with_hand_file) InstallResource(harness_, "HAND-M.CUR");
    window_ = &harness_.CreateAndLoad();
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_));
  }
  // Moves the real pointer over a widget; a fresh spot each time so that no
  // move is dropped as a repeat.
  void MoveOver(QWidget* widget) {
    ++nudge_;
    QTest::mouseMove(widget, QPoint(2 + nudge_ % 3, 2 + nudge_ % 2));
    QCoreApplication::processEvents();
  }
  void MoveOverBackground() {
    ++nudge_;
    QTest::mouseMove(window_, QPoint(2 + nudge_ % 3, window_->height() - 2 - nudge_ % 2));
    QCoreApplication::processEvents();
  }
  WindowHarness harness_;
  Form1* window_ = nullptr;
  int nudge_ = 0;
};

TEST_F(WindowPointer, HandOverButtonsDefaultElsewhere) {
  Start(true);
  Form1& w = *window_;
  for (QPushButton* button : {w.PushButton1, w.PushButton2, w.PushButton4, w.PushButton5,
                              w.PushButton7, w.PushButton8, w.PushButton9}) {
    SCOPED_TRACE(button->objectName().toStdString());
    MoveOver(button);
    EXPECT_EQ(w.MousePointer(), kPointerCustom);
    EXPECT_EQ(w.cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(w.cursor().hotSpot(), QPoint(11, 1));
    MoveOverBackground();
    EXPECT_EQ(w.MousePointer(), kPointerDefault);
    EXPECT_EQ(w.cursor().shape(), Qt::ArrowCursor);
  }
  for (QWidget* resetter : {static_cast<QWidget*>(w.Frame2), static_cast<QWidget*>(w.Frame5),
                            static_cast<QWidget*>(w.Frame6), static_cast<QWidget*>(w.Text1),
                            static_cast<QWidget*>(w.Text2)}) {
    SCOPED_TRACE(resetter->objectName().toStdString());
    MoveOver(w.PushButton7);
    ASSERT_EQ(w.MousePointer(), kPointerCustom);
    MoveOver(resetter);
    EXPECT_EQ(w.MousePointer(), kPointerDefault);
  }
  EXPECT_EQ(w.Text1->cursor().shape(), Qt::IBeamCursor);
}

TEST_F(WindowPointer, ControlsWithoutHandlerKeepWhateverPointerThereIs) {
  Start(true);
  Form1& w = *window_;
  MoveOver(w.PushButton8);
  for (QWidget* quiet : {static_cast<QWidget*>(w.Option1), static_cast<QWidget*>(w.Option7),
                         static_cast<QWidget*>(w.ProgressBar1)}) {
    MoveOver(quiet);
    EXPECT_EQ(w.MousePointer(), kPointerCustom) << quiet->objectName().toStdString();
  }
  MoveOver(w.Frame5);
  EXPECT_EQ(w.MousePointer(), kPointerDefault);
  MoveOver(w.Option6);
  EXPECT_EQ(w.MousePointer(), kPointerDefault);
}

TEST_F(WindowPointer, DisabledControlsLeaveTheirMovesToTheFrameAround) {
  Start(true);
  Form1& w = *window_;
  w.Option7->setChecked(true);
  ASSERT_FALSE(w.Frame6->isEnabled());
  // The "..." button cannot be used while its row is disabled: no hand over
  // it, the frame around it resets the pointer instead.
  MoveOver(w.PushButton7);
  ASSERT_EQ(w.MousePointer(), kPointerCustom);
  MoveOver(w.PushButton1);
  EXPECT_EQ(w.MousePointer(), kPointerDefault);
  MoveOver(w.PushButton7);
  MoveOver(w.Text1);
  EXPECT_EQ(w.MousePointer(), kPointerDefault);
  w.Option6->setChecked(true);
  MoveOver(w.PushButton1);
  EXPECT_EQ(w.MousePointer(), kPointerCustom);
}

TEST_F(WindowPointer, HourglassStaysEverywhereUntilTheOperationEnds) {
  Start(true);
  Form1& w = *window_;
  MoveOver(w.PushButton7);
  w.SetMousePointer(kPointerHourglass);
  EXPECT_EQ(w.cursor().shape(), Qt::WaitCursor);
  EXPECT_EQ(w.Text1->cursor().shape(), Qt::WaitCursor);
  EXPECT_EQ(w.Text2->cursor().shape(), Qt::WaitCursor);
  for (QWidget* anywhere :
       {static_cast<QWidget*>(w.PushButton1), static_cast<QWidget*>(w.PushButton9),
        static_cast<QWidget*>(w.Frame2), static_cast<QWidget*>(w.Frame6),
        static_cast<QWidget*>(w.Text1), static_cast<QWidget*>(w.Text2)}) {
    MoveOver(anywhere);
    EXPECT_EQ(w.MousePointer(), kPointerHourglass) << anywhere->objectName().toStdString();
  }
  MoveOverBackground();
  EXPECT_EQ(w.MousePointer(), kPointerHourglass);
  EXPECT_EQ(w.cursor().shape(), Qt::WaitCursor);

  // The operation ends with the pointer resting on a button: the default
  // pointer shows until the next move over a button.
  MoveOver(w.PushButton7);
  w.SetMousePointer(kPointerDefault);
  EXPECT_EQ(w.cursor().shape(), Qt::ArrowCursor);
  EXPECT_EQ(w.Text1->cursor().shape(), Qt::IBeamCursor);
  MoveOver(w.PushButton7);
  EXPECT_EQ(w.MousePointer(), kPointerCustom);
}

TEST_F(WindowPointer, WithoutTheCursorFileButtonsShowTheDefaultPointerSilently) {
  Start(false);
  Form1& w = *window_;
  MoveOver(w.PushButton2);
  EXPECT_EQ(w.MousePointer(), kPointerCustom);
  EXPECT_EQ(w.cursor().shape(), Qt::ArrowCursor);
  EXPECT_TRUE(harness_.boxes.shown.empty());
}

TEST_F(WindowPointer, PressingAButtonStillWorksWithThePointerHooks) {
  Start(true);
  Form1& w = *window_;
  MoveOver(w.PushButton2);
  QTest::mouseClick(w.PushButton2, Qt::LeftButton);
  EXPECT_EQ(harness_.boxes.shown.size(), 1u);
}

}  // namespace
}  // namespace delvora::testing
