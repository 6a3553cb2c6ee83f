// "Add CSV File(s)": the dialog's settings, its answers and what the list
// makes of them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QChar>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <filesystem>

#include "app/main_window.h"
#include "gui/add_support.h"
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

}  // namespace
}  // namespace delvora
