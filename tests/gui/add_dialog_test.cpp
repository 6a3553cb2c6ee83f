// "Add CSV File(s)": the dialog's settings, its answers and what the list
// makes of them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QChar>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "app/main_window.h"
#include "gui/add_support.h"
#include "platform/qt_seams.h"
#include "support/fake_seams.h"

namespace delvora {
namespace {

using ::testing::ElementsAre;
using testing::Entries;
using ::testing::IsEmpty;
using testing::Native;
using testing::WindowHarness;

const QString kBadCharacters =
    QStringLiteral("\r\rwas not added because it has bad characters in the filename.");

// A folder and its names as the dialog answers for several files.
QString Selection(const QString& folder, const QStringList& names) {
  return (QStringList{folder} + names).join(QChar(u'\0'));
}

class AddDialogTest : public ::testing::Test {
 protected:
  AddDialogTest() : window(harness.CreateAndLoad()) {
    folder = Native(QString::fromStdString(harness.temp.Utf8()) + QStringLiteral("/in"));
    std::filesystem::create_directories(harness.temp / "in");
    for (const char* name : {"a.csv", "b.csv", "c.csv", "notes.txt"}) {
      testing::WriteFile(harness.temp / "in" / name, "x,y\r\n");
    }
    harness.boxes.shown.clear();
  }
  WindowHarness harness;
  Form1& window;
  QString folder;
};

TEST_F(AddDialogTest, CancelAddsNothingAndTheDialogGetsItsFourSettings) {
  window.PushButton8->click();
  EXPECT_EQ(window.List().Count(), 0);
  EXPECT_THAT(harness.boxes.shown, IsEmpty());
  ASSERT_EQ(harness.file_dialog.requests.size(), 1u);
  const FileDialogRequest& request = harness.file_dialog.requests[0];
  EXPECT_EQ(request.file_name, QString());
  EXPECT_EQ(request.flags, 2621953);
  EXPECT_EQ(request.title, QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"));
  EXPECT_EQ(request.filter, QStringLiteral("CSV Files (*.csv)|*.csv|"));
}

TEST_F(AddDialogTest, OneFileIsAddedExactlyAsGivenAndAgainWhenChosenAgain) {
  // Not normalised: the single answer goes in as the dialog wrote it.
  const QString as_given = Native(folder + QStringLiteral("//a.csv"));
  harness.file_dialog.next_result = as_given;
  window.PushButton8_Click();
  window.PushButton8_Click();
  EXPECT_THAT(Entries(window), ElementsAre(as_given, as_given));
  EXPECT_THAT(harness.boxes.shown, IsEmpty());
}

TEST_F(AddDialogTest, SeveralFilesAreJoinedToTheFolderWithOneSeparator) {
  // A root folder ends in its separator; the join must not double it.
  harness.file_dialog.next_result =
      Selection(folder + QDir::separator(),
                {QStringLiteral("b.csv"), QStringLiteral("a.csv"), QStringLiteral("notes.txt")});
  window.PushButton8_Click();
  EXPECT_THAT(Entries(window), ElementsAre(Native(folder + QStringLiteral("/b.csv")),
                                           Native(folder + QStringLiteral("/a.csv")),
                                           Native(folder + QStringLiteral("/notes.txt"))));
  EXPECT_THAT(harness.boxes.shown, IsEmpty());
}

TEST_F(AddDialogTest, UnresolvableNamesAreReportedOneByOneAndTheOthersAdded) {
  harness.file_dialog.next_result =
      Selection(folder, {QStringLiteral("a.csv"), QStringLiteral("missing.csv"),
                         QStringLiteral("c.csv"), QStringLiteral("gone.csv")});
  window.PushButton8_Click();
  EXPECT_THAT(Entries(window), ElementsAre(Native(folder + QStringLiteral("/a.csv")),
                                           Native(folder + QStringLiteral("/c.csv"))));
  ASSERT_EQ(harness.boxes.shown.size(), 2u);
  EXPECT_EQ(harness.boxes.shown[0].text,
            Native(folder + QStringLiteral("/missing.csv")) + kBadCharacters);
  EXPECT_EQ(harness.boxes.shown[1].text,
            Native(folder + QStringLiteral("/gone.csv")) + kBadCharacters);
  EXPECT_EQ(harness.boxes.shown[0].caption, window.ApplicationTitle());
  EXPECT_FALSE(window.ApplicationTitle().isEmpty());
  EXPECT_EQ(harness.boxes.shown[0].icon, MsgIcon::kNone);
  EXPECT_EQ(harness.boxes.shown[0].buttons, MsgButtons::kOk);

  // A single typed name that does not exist is refused the same way.
  harness.boxes.shown.clear();
  harness.file_dialog.next_result = Native(folder + QStringLiteral("/typed.csv"));
  window.PushButton8_Click();
  EXPECT_EQ(window.List().Count(), 2);
  ASSERT_EQ(harness.boxes.shown.size(), 1u);
  EXPECT_EQ(harness.boxes.shown[0].text,
            Native(folder + QStringLiteral("/typed.csv")) + kBadCharacters);

  // A name cannot disguise itself: "x\u202Evsc.exe" would read "xexe.csv".
  harness.boxes.shown.clear();
  harness.file_dialog.next_result = Native(folder + QString::fromUtf8("/x\u202Evsc.exe"));
  window.PushButton8_Click();
  ASSERT_EQ(harness.boxes.shown.size(), 1u);
  EXPECT_EQ(harness.boxes.shown[0].text,
            Native(folder + QStringLiteral("/x\\u202Evsc.exe")) + kBadCharacters);
}

TEST_F(AddDialogTest, SelectionOverTheBufferSaysTooManyFilesAndAddsNothing) {
  window.List().Add(QStringLiteral("kept.csv"));
  harness.file_dialog.throw_buffer_too_small = true;
  window.PushButton8_Click();
  EXPECT_THAT(Entries(window), ElementsAre(QStringLiteral("kept.csv")));
  ASSERT_EQ(harness.boxes.shown.size(), 1u);
  EXPECT_EQ(harness.boxes.shown[0].text,
            QStringLiteral("You've selected too many files to add.\r\rPlease try adding via the "
                           "\"Add All\" button."));
  EXPECT_EQ(harness.boxes.shown[0].icon, MsgIcon::kNone);
  EXPECT_EQ(harness.boxes.shown[0].caption, window.ApplicationTitle());
}

// Types into the real dialog's file-name box as a user does: the folder,
// Enter, then the names, Enter or a click on "Open".
void TypeIntoTheDialog(const QString& folder, const QString& names, bool by_mouse) {
  QFileDialog* dialog = nullptr;
  ASSERT_TRUE(QTest::qWaitFor([&] {
    return (dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) != nullptr;
  }));
  auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  ASSERT_NE(edit, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
  QTest::keyClicks(edit, folder);
  QTest::keyClick(edit, Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return QDir::toNativeSeparators(dialog->directory().absolutePath()) == folder; }));
  QTest::keyClicks(edit, names);
  // A box of Qt's own, had the dialog refused the names, is closed and failed.
  QTimer::singleShot(0, [] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      ADD_FAILURE() << "the dialog said " << box->text().toStdString();
      box->reject();
    }
  });
  if (by_mouse) {
    QTest::mouseClick(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open),
                      Qt::LeftButton);
  } else {
    QTest::keyClick(edit, Qt::Key_Return);
  }
}

TEST_F(AddDialogTest, TypedNamesAreAddedWhateverTheirExtensionAndMissingOnesReported) {
  for (const char* name : {"b.tsv", "B.CSV"}) testing::WriteFile(harness.temp / "in" / name, "x");
  QtFileDialog real;
  harness.file_dialog.real = &real;
  const auto in = [&](const char* name) { return Native(folder + u'/' + QLatin1String(name)); };
  const struct {
    QString typed;
    QStringList entries;
    QStringList missing;
    bool by_mouse = false;
  } cases[] = {
      {QStringLiteral("\"b.tsv\" \"B.CSV\""), {in("b.tsv"), in("B.CSV")}, {}},
      {QStringLiteral("typed.csv"), {}, {in("typed.csv")}, true},
      {QStringLiteral("notes.txt"), {in("notes.txt")}, {}},
      {QStringLiteral("\"a.csv\" \"gone.csv\" \"c.csv\" \"lost\""),
       {in("a.csv"), in("c.csv")},
       {in("gone.csv"), in("lost")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed.toStdString());
    window.List().Clear();
    harness.boxes.shown.clear();
    QTimer::singleShot(0, [&] {
      TypeIntoTheDialog(folder, c.typed, c.by_mouse);
      // A dialog still open fails the test rather than hanging it.
      if (auto* open = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
        ADD_FAILURE() << "the dialog stayed open";
        open->reject();
      }
    });
    window.PushButton8->click();
    EXPECT_EQ(Entries(window).join(u'|').toStdString(), c.entries.join(u'|').toStdString());
    QStringList expected_boxes;
    for (const QString& path : c.missing) expected_boxes << path + kBadCharacters;
    EXPECT_EQ(harness.boxes.Texts().join(u'|').toStdString(),
              expected_boxes.join(u'|').toStdString());
  }
}

}  // namespace
}  // namespace delvora
