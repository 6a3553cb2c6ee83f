// The sample files: recorded at the first start, loaded by "Load
// Sample/Example Files", and their folder offered for opening.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QPushButton>
#include <QString>
#include <QStringList>
#include <filesystem>

#include "app/main_window.h"
#include "app/samples.h"
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

const QString kQuestion = QStringLiteral(
    "Would you like this software to open the folder where these sample files are stored (so "
    "that you can view them before working with them)?");

class AddSamplesTest : public ::testing::Test {
 protected:
  AddSamplesTest() { samples = Native(harness.program_folder + QStringLiteral("/Samples")); }
  QString Sample(const std::string& name) {
    fs::create_directories(harness.temp / "program/Samples");
    testing::WriteFile(harness.temp / ("program/Samples/" + name), "a,b\r\n");
    return Native(samples + u'/' + QString::fromStdString(name));
  }
  QString Snapshot() { return harness.settings().GetSetting(QStringLiteral("Snapshot"), {}); }
  QStringList Recorded() {
    const QString decoded = DecodeSampleList(Snapshot(), QString::fromLatin1(kSampleListKey));
    return decoded.isEmpty() ? QStringList() : decoded.split(u'|');
  }
  WindowHarness harness;
  QString samples;
};

TEST_F(AddSamplesTest, FirstStartRecordsEverySampleAndTheButtonLoadsThem) {
  const QString a = Sample("a.csv");
  const QString b = Sample("b.csv");
  const QString c = Sample("c.txt");
  Form1& window = harness.CreateAndLoad();
  EXPECT_THAT(Recorded(), UnorderedElementsAre(a, b, c));

  window.PushButton5->click();
  EXPECT_EQ(Entries(window), Recorded());  // in the recorded order, whatever the extension
  ASSERT_EQ(harness.boxes.shown.size(), 1u);
  EXPECT_EQ(harness.boxes.shown[0].text, kQuestion);
  EXPECT_EQ(harness.boxes.shown[0].buttons, MsgButtons::kYesNo);
  EXPECT_EQ(harness.boxes.shown[0].icon, MsgIcon::kNone);
  EXPECT_EQ(harness.boxes.shown[0].caption, window.ApplicationTitle());
  EXPECT_THAT(harness.shell.opened_folders, ElementsAre(samples));

  // A second load adds nothing and asks again.
  harness.boxes.answers.push_back(MsgAnswer::kNo);
  window.PushButton5_Click();
  EXPECT_EQ(window.List().Count(), 3);
  EXPECT_EQ(harness.boxes.shown.size(), 2u);
  EXPECT_EQ(harness.shell.opened_folders.size(), 1);

  // Yes on a desktop without a file manager says so plainly, and where.
  harness.shell.open_fails = true;
  window.List().Clear();
  window.PushButton5_Click();
  EXPECT_EQ(window.List().Count(), 3);
  ASSERT_EQ(harness.boxes.shown.size(), 4u);
  EXPECT_EQ(harness.boxes.shown[3].caption, window.ApplicationTitle());
  EXPECT_EQ(harness.boxes.shown[3].icon, MsgIcon::kNone);
  EXPECT_EQ(harness.boxes.shown[3].text,
            QStringLiteral("No file manager was found to show the folder. The sample files are "
                           "in:\r\r") +
                harness.program_folder + QDir::separator() + QStringLiteral("Samples"));
}

TEST_F(AddSamplesTest, DeletedSamplesAreSkippedAndNoMeansNothingOpens) {
  const QString a = Sample("a.csv");
  const QString b = Sample("Отчёт 東京.csv");  // any name the file system takes
  Form1& window = harness.CreateAndLoad();
  fs::remove(harness.temp / "program" / "Samples" / "a.csv");
  harness.boxes.answers.push_back(MsgAnswer::kNo);
  window.PushButton5_Click();
  EXPECT_THAT(Entries(window), ElementsAre(b));
  EXPECT_EQ(harness.boxes.Texts(), QStringList{kQuestion});
  EXPECT_THAT(harness.shell.opened_folders, IsEmpty());
}

TEST_F(AddSamplesTest, MissingFolderIsRecordedAtTheNextStartButAListIsNeverRecordedTwice) {
  harness.CreateAndLoad();
  EXPECT_EQ(Snapshot(), QString());

  const QString a = Sample("a.csv");
  harness.ReopenSettings();
  harness.CreateAndLoad();
  EXPECT_THAT(Recorded(), ElementsAre(a));

  Sample("later.csv");
  harness.ReopenSettings();
  Form1& window = harness.CreateAndLoad();
  EXPECT_THAT(Recorded(), ElementsAre(a));
  window.PushButton5_Click();
  EXPECT_THAT(Entries(window), ElementsAre(a));
}

TEST_F(AddSamplesTest, UnwritableStoreStillLoadsTheSamplesForThisRun) {
  const QString a = Sample("a.csv");
  // A folder where the store's file should be: nothing can be written.
  fs::remove(harness.temp / "settings.ini");
  fs::create_directory(harness.temp / "settings.ini");
  Form1& window = harness.CreateAndLoad();
  harness.boxes.shown.clear();
  window.PushButton5_Click();
  EXPECT_THAT(Entries(window), ElementsAre(a));
  EXPECT_EQ(harness.boxes.Texts(), QStringList{kQuestion});
  EXPECT_TRUE(fs::is_directory(harness.temp / "settings.ini"));
}

TEST_F(AddSamplesTest, ValuesNotMadeByTheEncoderAddNothingButStillAsk) {
  Form1& window = harness.CreateAndLoad();
  // Absent: read as "False", which names no file.
  harness.settings().SaveSetting(QStringLiteral("Snapshot"), QStringLiteral("edited by hand"));
  window.PushButton5_Click();
  EXPECT_EQ(window.List().Count(), 0);
  EXPECT_EQ(harness.boxes.Texts(), QStringList{kQuestion});
}

TEST_F(AddSamplesTest, OverlongStoredListIsReportedAndSkipsTheQuestion) {
  Form1& window = harness.CreateAndLoad();
  harness.boxes.shown.clear();
  harness.settings().SaveSetting(QStringLiteral("Snapshot"),
                                 QString(kMaxSampleListLength + 1, u'q'));
  window.PushButton5_Click();
  EXPECT_EQ(window.List().Count(), 0);
  ASSERT_EQ(harness.boxes.shown.size(), 1u);
  EXPECT_TRUE(harness.boxes.shown[0].text.startsWith(
      QStringLiteral("Overflow\r\nin Velmark2021/08/31.Form1.PushButton5_Click at line 100\r\r")))
      << harness.boxes.shown[0].text.toStdString();
}

TEST_F(AddSamplesTest, TooManySamplesToRecordLeaveNothingStoredForTheNextStart) {
  // Long names push the list past its limit.
  for (int i = 0; i < 200; ++i) Sample(std::string(200, 'n') + std::to_string(i) + ".csv");
  harness.CreateAndLoad();
  EXPECT_EQ(Snapshot(), QString());
  EXPECT_TRUE(harness.boxes.Texts().join(u'\n').contains(QStringLiteral("Form_Load at line 110")));
}

}  // namespace
}  // namespace delvora
