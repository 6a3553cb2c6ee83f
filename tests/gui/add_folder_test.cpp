// "Add All CSV File(s) In Folder": the picker, "LastFolder", the hourglass
// and the breadth-first selection as the window shows it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QMimeData>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <filesystem>

#include "app/main_window.h"
#include "gui/add_support.h"
#include "support/fake_seams.h"

namespace delvora {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using testing::Entries;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;
using testing::WindowHarness;

class AddFolderTest : public ::testing::Test {
 protected:
  AddFolderTest() : window(harness.CreateAndLoad()) {
    root = QString::fromStdString(harness.temp.Utf8()) + QStringLiteral("/tree");
    harness.boxes.shown.clear();
  }
  void Make(const std::vector<std::string>& files) {
    for (const std::string& file : files) {
      const fs::path path = harness.temp / "tree" / file;
      fs::create_directories(path.parent_path());
      testing::WriteFile(path, "x,y\r\n");
    }
  }
  QStringList Relative() {
    QStringList relative;
    for (const QString& entry : Entries(window)) {
      EXPECT_TRUE(entry.startsWith(root + u'/')) << entry.toStdString();
      relative << entry.mid(root.size() + 1);
    }
    return relative;
  }
  WindowHarness harness;
  Form1& window;
  QString root;
};

TEST_F(AddFolderTest, CancelKeepsLastFolderAndAddsNothing) {
  harness.settings().SaveSetting(QStringLiteral("LastFolder"), QStringLiteral("/earlier"));
  window.PushButton9->click();
  ASSERT_EQ(harness.folder_picker.calls.size(), 1u);
  EXPECT_EQ(harness.folder_picker.calls[0].title, QStringLiteral("Please select folder:"));
  EXPECT_EQ(harness.folder_picker.calls[0].initial_folder, QStringLiteral("/earlier"));
  EXPECT_EQ(harness.settings().GetSetting(QStringLiteral("LastFolder"), {}),
            QStringLiteral("/earlier"));
  EXPECT_EQ(window.List().Count(), 0);
  EXPECT_EQ(window.MousePointer(), kPointerDefault);
}

TEST_F(AddFolderTest, AddsTheTreeLevelByLevelUnderTheHourglass) {
  Make({"top.csv", "a/in-a.csv", "b/in-b.CSV", "a/c/in-c.csv", "a/c/skip.txt", "~$report.csv",
        "~tmp.csv", ".owner.csv"});
  fs::create_directory_symlink(harness.temp / "tree", harness.temp / "tree" / "a" / "c" / "loop");
  harness.folder_picker.results.push_back(root);
  QList<int> pointers;
  harness.pump.on_pump = [&] { pointers << window.MousePointer(); };
  window.PushButton9_Click();

  const QStringList added = Relative();
  ASSERT_EQ(added.size(), 4);
  EXPECT_EQ(added[0], QStringLiteral("top.csv"));
  EXPECT_THAT((QStringList{added[1], added[2]}),
              UnorderedElementsAre(QStringLiteral("a/in-a.csv"), QStringLiteral("b/in-b.CSV")));
  EXPECT_EQ(added[3], QStringLiteral("a/c/in-c.csv"));
  EXPECT_THAT(harness.boxes.shown, IsEmpty());
  EXPECT_EQ(harness.settings().GetSetting(QStringLiteral("LastFolder"), {}), root);
  ASSERT_FALSE(pointers.isEmpty());
  EXPECT_EQ(pointers.count(kPointerHourglass), pointers.size());
  EXPECT_EQ(window.MousePointer(), kPointerDefault);
}

TEST_F(AddFolderTest, FolderWithoutMatchesIsStillRememberedAndRootsJoinCleanly) {
  Make({"only.txt"});
  harness.folder_picker.results.push_back(root + u'/');  // as a root comes back
  window.PushButton9_Click();
  EXPECT_EQ(window.List().Count(), 0);
  EXPECT_EQ(harness.settings().GetSetting(QStringLiteral("LastFolder"), {}), root + u'/');

  Make({"x.csv"});
  harness.folder_picker.results.push_back(root + u'/');
  window.PushButton9_Click();
  EXPECT_THAT(Entries(window), ElementsAre(root + QStringLiteral("/x.csv")));
}

TEST_F(AddFolderTest, FolderThatVanishesBeforeItsFilesAreListedIsReportedAtItsStep) {
  Make({"top.csv", "a/in-a.csv", "b/in-b.csv"});
  harness.folder_picker.results.push_back(root);
  // Once the top folder's file is in, both subfolders disappear.
  harness.pump.on_pump = [&] {
    if (window.List().Count() == 1 && fs::exists(harness.temp / "tree" / "a")) {
      fs::remove_all(harness.temp / "tree" / "a");
      fs::remove_all(harness.temp / "tree" / "b");
    }
  };
  window.PushButton9_Click();
  EXPECT_THAT(Relative(), ElementsAre(QStringLiteral("top.csv")));
  ASSERT_EQ(harness.boxes.shown.size(), 2u);
  for (const auto& box : harness.boxes.shown) {
    EXPECT_TRUE(
        box.text.startsWith(QStringLiteral("Path not found\r\nin Velmark2021/08/31.Form1."
                                           "PushButton9_Click at line 126\r\r")))
        << box.text.toStdString();
    EXPECT_EQ(box.caption, QStringLiteral("Application Error"));
    EXPECT_EQ(box.icon, MsgIcon::kExclamation);
  }
  EXPECT_EQ(window.MousePointer(), kPointerDefault);
}

TEST_F(AddFolderTest, ClosingTheWindowEndsTheWalkWithoutGoingFurther) {
  Make({"top.csv", "a/in-a.csv", "a/c/in-c.csv", "b/in-b.csv"});
  harness.folder_picker.results.push_back(root);
  harness.pump.on_pump = [&] { window.close(); };
  window.PushButton9_Click();
  EXPECT_EQ(window.List().Count(), 0);
  EXPECT_THAT(harness.boxes.shown, IsEmpty());

  // The same for a dropped folder.
  WindowHarness dropping;
  Form1& other = dropping.CreateAndLoad();
  dropping.pump.on_pump = [&] { other.close(); };
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(root)});
  other.ListView1_OLEDragDrop(&data);
  EXPECT_EQ(other.List().Count(), 0);
}

}  // namespace
}  // namespace delvora
