// "Add All CSV File(s) In Folder": the picker, "LastFolder", the hourglass
// and the breadth-first selection as the window shows it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QMimeData>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTreeWidget>
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
using testing::Native;
using ::testing::UnorderedElementsAre;
using testing::WindowHarness;

class AddFolderTest : public ::testing::Test {
 protected:
  AddFolderTest() : window(harness.CreateAndLoad()) {
    root = Native(QString::fromStdString(harness.temp.Utf8()) + QStringLiteral("/tree"));
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
      EXPECT_TRUE(entry.startsWith(root + QDir::separator())) << entry.toStdString();
      relative << QDir::fromNativeSeparators(entry.mid(root.size() + 1));
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

TEST_F(AddFolderTest, AddsTheTreeLevelByLevelUnderTheHourglassOneBatchPerFolder) {
  Make({"top.csv", "a/in-a.csv", "a/also-a.csv", "b/in-b.CSV", "a/c/in-c.csv", "a/c/skip.txt",
        "~$report.csv", "~tmp.csv", ".owner.csv"});
  testing::MarkHidden(harness.temp / "tree/.owner.csv");
  // A loop back up the tree, where the system can make one (Wine cannot).
  std::error_code no_links;
  fs::create_directory_symlink(harness.temp / "tree", harness.temp / "tree/a/c/loop", no_links);
  harness.folder_picker.results.push_back(root);
  const QString earlier = root + QStringLiteral("/earlier.csv");
  window.List().Add(earlier);
  QList<int> pointers;
  QList<int> counts_while_pumping;
  harness.pump.on_pump = [&] {
    pointers << window.MousePointer();
    counts_while_pumping << window.List().Count();
  };
  QList<int> batch_sizes;
  QObject::connect(
      window.ListView1->model(), &QAbstractItemModel::rowsInserted,
      [&](const QModelIndex&, int first, int last) { batch_sizes << last - first + 1; });
  window.PushButton9_Click();

  ASSERT_EQ(window.List().Text(1), earlier);
  window.List().Remove(1);
  const QStringList added = Relative();
  ASSERT_EQ(added.size(), 5);
  EXPECT_EQ(added[0], QStringLiteral("top.csv"));
  EXPECT_THAT(added.mid(1, 3),
              UnorderedElementsAre(QStringLiteral("a/in-a.csv"), QStringLiteral("a/also-a.csv"),
                                   QStringLiteral("b/in-b.CSV")));
  EXPECT_EQ(added[4], QStringLiteral("a/c/in-c.csv"));
  EXPECT_THAT(harness.boxes.shown, IsEmpty());
  EXPECT_EQ(harness.settings().GetSetting(QStringLiteral("LastFolder"), {}), root);
  ASSERT_FALSE(pointers.isEmpty());
  EXPECT_EQ(pointers.count(kPointerHourglass), pointers.size());
  EXPECT_EQ(window.MousePointer(), kPointerDefault);
  // Messages are processed while the folders are walked, before any entry
  // goes in; then each folder's files arrive as one insertion.
  EXPECT_EQ(counts_while_pumping.count(1), counts_while_pumping.size());
  const bool a_first = added[1].startsWith(u'a');
  EXPECT_EQ(batch_sizes, a_first ? QList<int>({1, 2, 1, 1}) : QList<int>({1, 1, 2, 1}));
}

TEST_F(AddFolderTest, FolderWithoutMatchesIsStillRememberedAndRootsJoinCleanly) {
  Make({"only.txt"});
  harness.folder_picker.results.push_back(root + QDir::separator());  // as a root comes back
  window.PushButton9_Click();
  EXPECT_EQ(window.List().Count(), 0);
  EXPECT_EQ(harness.settings().GetSetting(QStringLiteral("LastFolder"), {}),
            root + QDir::separator());

  Make({"x.csv"});
  harness.folder_picker.results.push_back(root + QDir::separator());
  window.PushButton9_Click();
  EXPECT_THAT(Entries(window), ElementsAre(Native(root + QStringLiteral("/x.csv"))));
}

TEST_F(AddFolderTest, FolderThatVanishesBeforeItsFilesAreListedIsReportedAtItsStep) {
  Make({"top.csv", "a/in-a.csv", "b/in-b.csv"});
  harness.folder_picker.results.push_back(root);
  // Both subfolders disappear at the walk's last look at them (its sixth
  // pump, step 156), once both were listed and before their files are.
  harness.pump.on_pump = [&] {
    if (harness.pump.calls == 6) {
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

TEST_F(AddFolderTest, ATreeOfManyFoldersIsLaidOutOnceNotOncePerFolder) {
  // A list already long and a folder per entry: laying the whole list out
  // again for each folder made adding a large tree take minutes.
  constexpr int kFolders = 40;
  std::vector<std::string> files;
  for (int i = 0; i < kFolders; ++i) {
    files.push_back(QStringLiteral("f%1/x.csv").arg(i).toStdString());
  }
  Make(files);
  QStringList preload;
  for (int i = 0; i < 500; ++i) preload << QStringLiteral("/old/%1.csv").arg(i);
  window.List().AddMany(preload);
  window.show();
  QCoreApplication::processEvents();
  const int layouts = window.ListView1->Layouts();

  harness.folder_picker.results.push_back(root);
  window.PushButton9->click();
  QCoreApplication::processEvents();
  EXPECT_EQ(window.List().Count(), 500 + kFolders);
  EXPECT_LE(window.ListView1->Layouts() - layouts, 2);
}

}  // namespace
}  // namespace delvora
