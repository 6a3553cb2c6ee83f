// Dropping files and folders onto the list: synthetic drag events sent to
// the list's viewport, as the platform delivers them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QStringList>
#include <QTreeWidget>
#include <QUrl>
#include <filesystem>

#include "app/main_window.h"
#include "gui/add_support.h"
#include "platform/qt_path_text.h"
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

class AddDropTest : public ::testing::Test {
 protected:
  AddDropTest() : window(harness.CreateAndLoad()) {
    base = Native(QString::fromStdString(harness.temp.Utf8()));
    harness.boxes.shown.clear();
  }
  QString Make(const std::string& relative) {
    const fs::path path = harness.temp / relative;
    fs::create_directories(path.parent_path());
    testing::WriteFile(path, "x,y\r\n");
    return Native(base + u'/' + QString::fromStdString(relative));
  }
  QString Folder(const std::string& relative) {
    fs::create_directories(harness.temp / relative);
    return Native(base + u'/' + QString::fromStdString(relative));
  }
  static QMimeData* Files(const QStringList& paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    data->setUrls(urls);
    return data;
  }
  // Enters, moves over and drops; returns whether the list accepted the drag.
  bool DragAndDrop(QMimeData* data, Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction) {
    std::unique_ptr<QMimeData> owned(data);
    QWidget* viewport = window.ListView1->viewport();
    QDragEnterEvent enter(QPoint(20, 20), actions, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &enter);
    QDragMoveEvent move(QPoint(25, 25), actions, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &move);
    EXPECT_EQ(enter.isAccepted(), move.isAccepted());
    QDropEvent drop(QPointF(25, 25), actions, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &drop);
    EXPECT_EQ(drop.isAccepted(), enter.isAccepted());
    if (drop.isAccepted()) last_action = drop.dropAction();
    return enter.isAccepted();
  }
  WindowHarness harness;
  Form1& window;
  QString base;
  Qt::DropAction last_action = Qt::IgnoreAction;
};

TEST_F(AddDropTest, DataWithoutFilesIsRefusedAndAddsNothing) {
  auto* text = new QMimeData;
  text->setText(QStringLiteral("/some/file.csv"));
  EXPECT_FALSE(DragAndDrop(text));
  auto* web = new QMimeData;
  web->setUrls({QUrl(QStringLiteral("https://example.com/file.csv"))});
  EXPECT_FALSE(DragAndDrop(web));
  EXPECT_EQ(window.List().Count(), 0);
  EXPECT_EQ(window.ListView1_OLEDragOver(nullptr, 1), 0);
}

TEST_F(AddDropTest, FilesAreAppendedAsSuppliedInTheDragOrder) {
  const QString b = Make("b.txt");
  const QString a = Make("a.csv");
  const QString odd =
      Native(base + QStringLiteral("/x//odd.csv"));  // not normalised, not even there
  window.List().Add(a);
  EXPECT_TRUE(DragAndDrop(Files({b, a, odd})));
  EXPECT_THAT(Entries(window), ElementsAre(a, b, a, odd));
  // The list only names the files: the source is never told they moved.
  EXPECT_EQ(last_action, Qt::CopyAction);
  EXPECT_THAT(harness.boxes.shown, IsEmpty());
}

TEST_F(AddDropTest, FolderGivesEveryFileButTildeNamesBreadthFirst) {
  Make("drop/a.csv");
  Make("drop/b.txt");
  Make("drop/~c.csv");
  Make("drop/sub/d.dat");
  const QString folder = Native(base + QStringLiteral("/drop"));
  EXPECT_TRUE(DragAndDrop(Files({folder})));
  const QStringList entries = Entries(window);
  ASSERT_EQ(entries.size(), 3);
  EXPECT_THAT((QStringList{entries[0], entries[1]}),
              UnorderedElementsAre(Native(folder + QStringLiteral("/a.csv")),
                                   Native(folder + QStringLiteral("/b.txt"))));
  EXPECT_EQ(entries[2], Native(folder + QStringLiteral("/sub/d.dat")));
  EXPECT_EQ(window.MousePointer(), kPointerDefault);  // a drop shows no hourglass
}

TEST_F(AddDropTest, SeveralItemsKeepTheirOrderAndComeInBatches) {
  Make("one/1.csv");
  Make("one/deep/2.csv");
  Make("one/deep/3.csv");
  Make("two/4.csv");
  const QString file = Make("loose.csv");
  const QString other_file = Make("other.txt");
  QList<int> batch_sizes;
  QObject::connect(
      window.ListView1->model(), &QAbstractItemModel::rowsInserted,
      [&](const QModelIndex&, int first, int last) { batch_sizes << last - first + 1; });
  QList<int> counts_while_pumping;
  harness.pump.on_pump = [&] { counts_while_pumping << window.List().Count(); };
  EXPECT_TRUE(DragAndDrop(Files({Native(base + QStringLiteral("/two")), file, other_file,
                                 Native(base + QStringLiteral("/one"))})));
  EXPECT_THAT(Entries(window), ElementsAre(Native(base + QStringLiteral("/two/4.csv")), file,
                                           other_file, Native(base + QStringLiteral("/one/1.csv")),
                                           Native(base + QStringLiteral("/one/deep/2.csv")),
                                           Native(base + QStringLiteral("/one/deep/3.csv"))));
  // Side-by-side files as one insertion, each folder's files as one; no
  // messages while a tree's entries go in.
  EXPECT_EQ(batch_sizes, QList<int>({1, 2, 1, 2}));
  for (int count : counts_while_pumping) EXPECT_TRUE(count == 0 || count == 3) << count;
}

TEST_F(AddDropTest, ItemsThatCannotBeExaminedDoNotDisturbTheOthers) {
  const QString kept = Make("kept.csv");
  const QString gone = Native(base + QStringLiteral("/vanished-folder"));
  const QString under_file = Native(kept + QStringLiteral("/below.csv"));
  const QString empty = Folder("empty");
  EXPECT_TRUE(DragAndDrop(Files({gone, under_file, empty, kept})));
  // Unreadable items count as files and go in as named.
  EXPECT_THAT(Entries(window), ElementsAre(gone, under_file, kept));
  EXPECT_THAT(harness.boxes.shown, IsEmpty());
}

TEST_F(AddDropTest, ANameThatIsNotUtf8IsListedEscapedConvertedByItsBytesAndNamedInErrors) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows names are UTF-16: every name has a text form";
#endif
  const std::string name = "bad\xFF.csv";
  testing::WriteFile(harness.temp / name, "a,b\r\nc,d\r\n");
  // As a file manager offers it: the name's bytes percent-escaped.
  auto* data = new QMimeData;
  data->setData(QStringLiteral("text/uri-list"),
                "file://" +
                    QUrl::toPercentEncoding(QByteArray::fromStdString(harness.temp.Utf8()), "/") +
                    "/bad%FF.csv\r\n");
  ASSERT_TRUE(DragAndDrop(data));
  ASSERT_EQ(window.List().Count(), 1);
  EXPECT_EQ(window.ListView1->model()->index(0, 0).data().toString(),
            Native(base + QStringLiteral("/bad\\xFF.csv")));

  window.Option7->click();  // the result goes beside its input
  window.PushButton7->click();
  EXPECT_EQ(testing::ReadFile(harness.temp / "bad\xFF.tsv"), "a\tb\r\nc\td\r\n");
  ASSERT_EQ(harness.boxes.shown.size(), 1u);
  EXPECT_EQ(harness.boxes.shown[0].text, QStringLiteral("Done."));

  // Found by the walk of a dropped folder, the same bytes.
  Folder("tree");
  testing::WriteFile(harness.temp / "tree" / "in\xFB.csv", "x");
  ASSERT_TRUE(DragAndDrop(Files({base + QStringLiteral("/tree")})));
  ASSERT_EQ(window.List().Count(), 2);
  EXPECT_EQ(PathBytes(window.List().Text(2)), (harness.temp / "tree" / "in\xFB.csv").string());
  window.List().Remove(2);

  // An output folder picked with "..." whose name is not UTF-8 receives the
  // result by its bytes too.
  fs::create_directories(harness.temp / "out\xFE");
  harness.folder_picker.results.push_back(PathText((harness.temp / "out\xFE").string()));
  window.Option6->click();
  window.PushButton1->click();
  window.PushButton7->click();
  EXPECT_EQ(testing::ReadFile(harness.temp / "out\xFE" / "bad\xFF.tsv"), "a\tb\r\nc\td\r\n");
  window.Option7->click();

  // A line break in a name is no line of the box's own.
  testing::WriteFile(harness.temp / "line\nbreak.csv", "x");
  ASSERT_TRUE(DragAndDrop(Files({base + QStringLiteral("/line\nbreak.csv")})));
  ASSERT_EQ(window.List().Count(), 2);

  // Gone from the disk: each failure names its file as the list shows it.
  fs::remove(harness.temp / name);
  fs::remove(harness.temp / "line\nbreak.csv");
  harness.boxes.shown.clear();
  window.PushButton7->click();
  QStringList failures;
  for (const auto& box : harness.boxes.shown)
    failures << box.text.section(QStringLiteral("\r\r"), 0, 0);
  EXPECT_THAT(failures, UnorderedElementsAre(
                            QStringLiteral("File not found (bad\\xFF.csv)\r\nin "
                                           "Velmark2021/08/31.Form1.PushButton7_Click at line 170"),
                            QStringLiteral("File not found (line\\nbreak.csv)\r\nin "
                                           "Velmark2021/08/31.Form1.PushButton7_Click at line 170"),
                            QStringLiteral("Done.")));
}

}  // namespace
}  // namespace delvora
