// "Start Converting" on the real window, offscreen, over fakes: the clock
// jumps instead of waiting, message boxes are recorded, and the pump hook
// lets a test act while the run lets the window process its messages.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "gui/edit_drag.h"
#include "platform/progress_bar.h"
#include "support/fake_seams.h"

namespace delvora {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

QString Q(const fs::path& path) { return QString::fromStdString(path.string()); }

class RunWindowTest : public ::testing::Test {
 protected:
  RunWindowTest() : form(h.CreateAndLoad()) {
    fs::create_directories(in_dir);
    fs::create_directories(out_dir);
    form.Option1->setChecked(true);
    form.Option6->setChecked(true);
    form.Text1->setText(Q(out_dir));
    h.boxes.shown.clear();
  }

  fs::path AddInput(const std::string& name, const std::string& bytes = "a,b\r\nc,d\r\n") {
    const fs::path path = in_dir / name;
    testing::WriteFile(path, bytes);
    form.List().Add(Q(path));
    return path;
  }
  void ClickStart() { QTest::mouseClick(form.PushButton7, Qt::LeftButton); }
  int Count(const QString& text) const { return static_cast<int>(h.boxes.Texts().count(text)); }

  testing::WindowHarness h;
  Form1& form;
  fs::path in_dir = h.temp / "in";
  fs::path out_dir = h.temp / "out";
};

TEST_F(RunWindowTest, FourFilesFillTheBarInQuartersThenResetItAndSayDone) {
  for (const char* name : {"a.csv", "b.csv", "c.csv", "d.csv"}) AddInput(name);
  struct Seen {
    int value;
    QString text;
    int pointer;
  };
  std::vector<Seen> seen;
  h.pump.on_pump = [&] {
    seen.push_back({form.ProgressBar1->value(), form.ProgressBar1->text(), form.MousePointer()});
  };
  ClickStart();
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].value, 25);
  EXPECT_EQ(seen[1].value, 50);
  EXPECT_EQ(seen[2].value, 75);
  EXPECT_EQ(seen[3].value, 100);
  EXPECT_EQ(seen[2].text, "Processing: c.csv");
  EXPECT_EQ(seen[0].pointer, kPointerHourglass);
  EXPECT_EQ(form.ProgressBar1->value(), 0);
  EXPECT_EQ(form.ProgressBar1->text(), "Progress Bar");
  EXPECT_EQ(form.MousePointer(), kPointerDefault);
  ASSERT_EQ(h.boxes.shown.size(), 1u);
  EXPECT_EQ(h.boxes.shown[0].text, "Done.");
  EXPECT_EQ(h.boxes.shown[0].caption, form.ApplicationTitle());
  EXPECT_EQ(h.boxes.shown[0].icon, MsgIcon::kNone);
  EXPECT_EQ(testing::ReadFile(out_dir / "d.tsv"), "a\tb\r\nc\td\r\n");
  // Half a second per file on the clock, none of it real.
  EXPECT_DOUBLE_EQ(h.clock.total_waited, 2.0);
  EXPECT_FALSE(form.IsConverting);
  EXPECT_EQ(form.List().Count(), 4);
  EXPECT_EQ(form.List().Text(1), Q(in_dir / "a.csv"));
}

TEST_F(RunWindowTest, ValidationMessagesEndTheRunAndWriteNothing) {
  ClickStart();
  EXPECT_THAT(h.boxes.Texts(), ElementsAre("No files added."));
  EXPECT_FALSE(form.IsConverting);
  ClickStart();
  EXPECT_THAT(h.boxes.Texts(), ElementsAre("No files added.", "No files added."));
  AddInput("a.csv");
  form.Text1->setText(Q(h.temp / "nowhere"));
  ClickStart();
  EXPECT_EQ(h.boxes.Texts().last(), "Folder does not exist. Please select another folder.");
  EXPECT_EQ(h.boxes.shown.back().caption, form.ApplicationTitle());
  EXPECT_TRUE(fs::is_empty(out_dir));
  EXPECT_FALSE(form.IsConverting);
  // Beside the inputs the folder text does not matter.
  form.Option7->setChecked(true);
  ClickStart();
  EXPECT_EQ(h.boxes.Texts().last(), "Done.");
  EXPECT_EQ(testing::ReadFile(in_dir / "a.tsv"), "a\tb\r\nc\td\r\n");
}

TEST_F(RunWindowTest, GuardsHoldWhileARunIsUnderWay) {
  const fs::path a = AddInput("a.csv");
  AddInput("b.csv");
  AddInput("c.csv");
  bool help_seen_before_first_output = false;
  h.boxes.on_show = [&](const testing::ShownBox& box) {
    if (box.text != "Done.") help_seen_before_first_output = !fs::exists(out_dir / "a.tsv");
  };
  int pumps = 0;
  h.pump.on_pump = [&] {
    if (++pumps != 1) return;
    // A second "Start Converting" returns without a word.
    ClickStart();
    // Removing and clearing are refused.
    form.List().Select(2);
    QTest::keyClick(form.ListView1, Qt::Key_Delete);
    QTest::mouseDClick(form.ListView1->viewport(), Qt::LeftButton, {},
                       testing::EntryCentre(form, 2));
    QTest::mouseRelease(form.ListView1->viewport(), Qt::LeftButton, {},
                        testing::EntryCentre(form, 2));
    QTest::mouseClick(form.PushButton4, Qt::LeftButton);
    // "Help" shows its box; the run waits until it is closed.
    QTest::mouseClick(form.PushButton2, Qt::LeftButton);
  };
  ClickStart();
  EXPECT_EQ(h.pump.calls, 3);
  EXPECT_EQ(form.List().Count(), 3);
  EXPECT_TRUE(help_seen_before_first_output);
  ASSERT_EQ(h.boxes.shown.size(), 2u);
  EXPECT_EQ(h.boxes.shown[1].text, "Done.");
  EXPECT_EQ(testing::ReadFile(out_dir / "c.tsv"), "a\tb\r\nc\td\r\n");
  // Once the run is over, removing works again.
  form.List().Select(1);
  QTest::keyClick(form.ListView1, Qt::Key_Delete);
  EXPECT_EQ(form.List().Count(), 2);
  EXPECT_FALSE(form.List().ContainsText(Q(a)));
}

TEST_F(RunWindowTest, ChangesDuringARunApplyToTheLaterFiles) {
  const fs::path a = AddInput("a.csv");
  AddInput("b.csv");
  AddInput("c.csv");
  const fs::path d = AddInput("d.csv");
  std::vector<int> values;
  std::vector<QString> names;
  h.pump.on_pump = [&] {
    values.push_back(form.ProgressBar1->value());
    names.push_back(form.ProgressBar1->text());
    if (values.size() == 1) {
      // Dragging D up to the second position: B, C move down.
      form.show();
      testing::DragEntry(form, 4, 2);
      // Four more entries lower the percentage; the run still stops after four.
      for (const char* name : {"e.csv", "f.csv", "g.csv", "h.csv"}) AddInput(name);
    } else if (values.size() == 2) {
      // From the second file on, results go beside their inputs.
      QTest::mouseClick(form.Option7, Qt::LeftButton);
    }
  };
  ClickStart();
  EXPECT_EQ(values, (std::vector<int>{25, 25, 38, 50}));
  EXPECT_EQ(names, (std::vector<QString>{"Processing: a.csv", "Processing: d.csv",
                                         "Processing: b.csv", "Processing: c.csv"}));
  EXPECT_TRUE(fs::exists(out_dir / "a.tsv"));
  EXPECT_FALSE(fs::exists(out_dir / "d.tsv"));
  EXPECT_TRUE(fs::exists(in_dir / "d.tsv"));
  EXPECT_TRUE(fs::exists(in_dir / "c.tsv"));
  EXPECT_FALSE(fs::exists(in_dir / "e.tsv"));
  EXPECT_EQ(form.List().Count(), 8);
  EXPECT_EQ(form.List().Text(2), Q(d));
}

TEST_F(RunWindowTest, FailuresAreReportedOncePerFileAndTheRunGoesOn) {
  AddInput("a.csv");
  form.List().Add(Q(in_dir / "missing.csv"));
  AddInput("c.csv");
  // An output path taken by a folder cannot be written.
  AddInput("d.csv");
  fs::create_directories(out_dir / "d.tsv");
  ClickStart();
  ASSERT_EQ(h.boxes.shown.size(), 3u);
  EXPECT_EQ(h.boxes.shown[0].caption, "Application Error");
  EXPECT_EQ(h.boxes.shown[0].icon, MsgIcon::kExclamation);
  EXPECT_THAT(h.boxes.shown[0].text.toStdString(),
              HasSubstr("\r\nin Velmark2021/08/31.Form1.PushButton7_Click at line 170\r\r"));
  EXPECT_THAT(h.boxes.shown[1].text.toStdString(), HasSubstr("at line 178\r\r"));
  EXPECT_EQ(h.boxes.shown[2].text, "Done.");
  EXPECT_EQ(testing::ReadFile(out_dir / "c.tsv"), "a\tb\r\nc\td\r\n");
  EXPECT_FALSE(fs::exists(out_dir / "missing.tsv"));
  EXPECT_TRUE(fs::is_directory(out_dir / "d.tsv"));
  EXPECT_EQ(Count("Done."), 1);
}

TEST_F(RunWindowTest, EntriesRemovedAfterAFolderWalkInsideTheRunAreReportedNotReplaced) {
  AddInput("a.csv");
  AddInput("b.csv");
  AddInput("c.csv");
  fs::create_directories(h.temp / "more");
  testing::WriteFile(h.temp / "more" / "x.csv", "x,y\r\n");
  h.folder_picker.results.push_back(Q(h.temp / "more"));
  int pumps = 0;
  h.pump.on_pump = [&] {
    if (++pumps != 1) return;
    // The walk adds its file and, when it ends, puts the default pointer
    // back although the run is still under way: removing works again.
    QTest::mouseClick(form.PushButton9, Qt::LeftButton);
    ASSERT_EQ(form.List().Count(), 4);
    ASSERT_EQ(form.MousePointer(), kPointerDefault);
    for (int i = 0; i < 3; ++i) {
      form.List().Select(2);
      QTest::keyClick(form.ListView1, Qt::Key_Delete);
    }
  };
  ClickStart();
  ASSERT_EQ(form.List().Count(), 1);
  ASSERT_EQ(h.boxes.shown.size(), 3u);
  EXPECT_THAT(h.boxes.shown[0].text.toStdString(), HasSubstr("Index out of bounds\r\n"));
  EXPECT_THAT(h.boxes.shown[1].text.toStdString(), HasSubstr("at line 136\r\r"));
  EXPECT_EQ(h.boxes.shown[2].text, "Done.");
  EXPECT_TRUE(fs::exists(out_dir / "a.tsv"));
  EXPECT_EQ(std::distance(fs::directory_iterator(out_dir), fs::directory_iterator()), 1);
}

TEST_F(RunWindowTest, ClosingTheWindowEndsTheRunAtOnce) {
  AddInput("a.csv");
  AddInput("b.csv");
  AddInput("c.csv");
  int pumps = 0;
  h.pump.on_pump = [&] {
    if (++pumps == 2) form.close();
  };
  ClickStart();
  EXPECT_TRUE(fs::exists(out_dir / "a.tsv"));
  EXPECT_FALSE(fs::exists(out_dir / "b.tsv"));
  EXPECT_FALSE(fs::exists(out_dir / "c.tsv"));
  EXPECT_EQ(Count("Done."), 0);
  EXPECT_EQ(pumps, 2);
}

TEST_F(RunWindowTest, ClosingTheWindowFromAnErrorMessageEndsTheRunToo) {
  form.List().Add(Q(in_dir / "missing.csv"));
  AddInput("b.csv");
  h.boxes.on_show = [&](const testing::ShownBox&) { form.close(); };
  ClickStart();
  EXPECT_EQ(h.boxes.shown.size(), 1u);
  EXPECT_EQ(h.pump.calls, 1);
  EXPECT_FALSE(fs::exists(out_dir / "b.tsv"));
}

// A clock that passes midnight while the window waits.
class MidnightClock : public Clock {
 public:
  double SecondsSinceMidnight() override { return now; }
  void WaitUpTo(double seconds) override {
    ++waits;
    now += std::min(seconds, 0.125);
    if (now >= 86400.0) now -= 86400.0;
  }
  double now = 86399.75;
  int waits = 0;
};

TEST(Pause, WaitsThroughTheClockAndStopsAtMidnight) {
  testing::WindowHarness h;
  MidnightClock clock;
  Seams seams;
  seams.message_boxes = &h.boxes;
  seams.clock = &clock;
  seams.pump = &h.pump;
  seams.settings = &h.settings();
  seams.program_folder = h.program_folder;
  Form1 form(seams);
  // 86399.75 -> 86399.875 -> 0: the reading falls below the start.
  form.Pause(0.5);
  EXPECT_EQ(clock.waits, 2);
  EXPECT_EQ(clock.now, 0.0);
  // A whole pause away from midnight: waits until the time has passed.
  clock.now = 1000.0;
  clock.waits = 0;
  form.Pause(0.5);
  EXPECT_EQ(clock.waits, 4);
  EXPECT_EQ(clock.now, 1000.5);
  // Nothing to wait for.
  form.Pause(0);
  EXPECT_EQ(clock.waits, 4);
}

}  // namespace
}  // namespace delvora
