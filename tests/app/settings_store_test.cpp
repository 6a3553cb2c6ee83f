// The settings store: defaults, exact round trips, write-through, Boolean
// reading and a store that cannot be written.

#include "app/settings_store.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <filesystem>

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

#include "platform/app_error.h"
#include "support/test_support.h"

namespace delvora::testing {
namespace {

QString Path(const TempDir& dir, const char* name) {
  return QString::fromStdString(dir.Utf8()) + "/" + name;
}

TEST(SettingsStore, AbsentKeysGiveTheDefaultAndNothingIsWrittenByReading) {
  TempDir dir;
  SettingsStore store(Path(dir, "s.ini"));
  EXPECT_EQ(store.GetSetting("Option1", "1"), "1");
  EXPECT_EQ(store.GetSetting("LastFolder", ""), "");
  EXPECT_FALSE(store.Contains("Option1"));
  EXPECT_FALSE(QFile::exists(Path(dir, "s.ini")));
}

TEST(SettingsStore, EveryTextComesBackExactlyAfterARestart) {
  TempDir dir;
  const QString file = Path(dir, "s.ini");
  const QStringList texts = {
      ",",        ", ",        ";",           "\t",        "|",           " ; ", "",
      "\"",       "a=b",       "#x",          "[General]", "@Variant(x)", "@",   "C:\\Data\\",
      "/home/u/", "Ünïcødé ✓", "line\nbreak", "  lead",    "trail  ",     "True"};
  {
    SettingsStore store(file);
    for (int i = 0; i < texts.size(); ++i) store.SaveSetting(QString("K%1").arg(i), texts[i]);
  }
  SettingsStore again(file);
  for (int i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(again.GetSetting(QString("K%1").arg(i), "<absent>"), texts[i]) << i;
  }
  // An empty text is a stored value, not an absent key.
  EXPECT_TRUE(again.Contains("K6"));
}

TEST(SettingsStore, EveryWriteIsOnDiskBeforeSaveReturns) {
  TempDir dir;
  const QString file = Path(dir, "s.ini");
  SettingsStore store(file);
  store.SaveSetting("Text1", "/a");
  // Another reader of the file, as a second copy of the program or the next
  // start after a kill, sees it at once.
  SettingsStore other(file);
  EXPECT_EQ(other.GetSetting("Text1", ""), "/a");
  store.SaveSetting("Text1", "/ab");
  QSettings raw(file, QSettings::IniFormat);
  EXPECT_EQ(raw.value("Text1").toString(), "/ab");
  EXPECT_FALSE(store.WriteFailed());
}

TEST(SettingsStore, BatchedWritesReachTheDiskTogetherWhenTheBatchEnds) {
  TempDir dir;
  const QString file = Path(dir, "s.ini");
  SettingsStore store(file);
  store.SaveSetting("Text1", "/before");
  {
    const SettingsStore::Batch batch(store);
    store.SaveSetting("Option1", "True");
    {
      const SettingsStore::Batch inner(store);
      store.SaveSetting("Option2", "False");
    }
    EXPECT_EQ(store.GetSetting("Option2", ""), "False");  // readable at once
    EXPECT_FALSE(QString::fromStdString(ReadFile(dir / "s.ini")).contains("Option"));
  }
  const QString on_disk = QString::fromStdString(ReadFile(dir / "s.ini"));
  EXPECT_TRUE(on_disk.contains("Option1=True"));
  EXPECT_TRUE(on_disk.contains("Option2=False"));
  EXPECT_TRUE(on_disk.contains("Text1=/before"));
  EXPECT_FALSE(store.WriteFailed());
}

TEST(SettingsStore, LastWriterWinsBetweenTwoRunningCopies) {
  TempDir dir;
  const QString file = Path(dir, "s.ini");
  SettingsStore first(file);
  first.SaveSetting("Option1", "True");
  // Another copy of the program writes the key meanwhile.
  WriteFile(dir / "s.ini", "[General]\nOption1=False\nOption2=True\n");
  // The value equals what this copy last wrote, but not what is on disk
  // now: it must still be written.
  first.SaveSetting("Option1", "True");
  QSettings raw(file, QSettings::IniFormat);
  EXPECT_EQ(raw.value("Option1").toString(), "True");
  EXPECT_EQ(raw.value("Option2").toString(), "True");  // the other copy's key stays
}

TEST(SettingsStore, HandEditedListLikeValueReadsAsOneText) {
  TempDir dir;
  const QString file = Path(dir, "s.ini");
  WriteFile(dir / "s.ini", "[General]\nOther=a,b\nOption1=True\n");
  SettingsStore store(file);
  EXPECT_EQ(store.GetSetting("Other", ""), "a,b");
  EXPECT_EQ(store.GetSetting("Option1", ""), "True");
}

TEST(SettingsStore, HandEditedStoreWithABrokenLineIsStillWrittenThrough) {
  TempDir dir;
  const QString file = Path(dir, "s.ini");
  WriteFile(dir / "s.ini", "[General\nText1=/old\n");
  SettingsStore store(file);
  EXPECT_EQ(store.GetSetting("Text1", ""), "/old");
  store.SaveSetting("Option3", "True");
  // What the store could not parse is no failure to write.
  EXPECT_FALSE(store.WriteFailed());
  SettingsStore next_start(file);
  EXPECT_EQ(next_start.GetSetting("Option3", ""), "True");
  EXPECT_EQ(next_start.GetSetting("Text1", ""), "/old");
}

TEST(SettingsStore, UnwritableStoreKeepsValuesForTheRunAndNeverThrows) {
  TempDir dir;
  WriteFile(dir / "plain-file", "x");
  // A store whose folder would have to live under a regular file.
  SettingsStore store(Path(dir, "plain-file/sub/s.ini"));
  int told = 0;
  store.OnFirstWriteFailure([&] { ++told; });
  EXPECT_NO_THROW(store.SaveSetting("Text1", "/kept"));
  EXPECT_TRUE(store.WriteFailed());
  EXPECT_EQ(store.WriteFailureReason(), "Path not found");
  EXPECT_EQ(store.GetSetting("Text1", ""), "/kept");
  EXPECT_NO_THROW(store.SaveSetting("Text1", "/kept2"));
  EXPECT_EQ(store.GetSetting("Text1", ""), "/kept2");
  {
    const SettingsStore::Batch batch(store);
    store.SaveSetting("Option1", "True");
  }
  EXPECT_EQ(store.GetSetting("Option1", ""), "True");
  EXPECT_EQ(told, 1);

  // A folder where the file should be: said so, once.
  std::filesystem::create_directories(dir / "taken.ini");
  SettingsStore taken(Path(dir, "taken.ini"));
  taken.OnFirstWriteFailure([&] { ++told; });
  taken.SaveSetting("Text1", "/a");
  taken.SaveSetting("Text1", "/b");
  EXPECT_EQ(taken.WriteFailureReason(), "A folder stands at the file's place");
  EXPECT_EQ(told, 2);
}

#ifndef _WIN32
// A full disk (a file-size limit, as root) is named for what it is.
TEST(SettingsStore, AFullDiskUnderTheStoreSaysSo) {
  TempDir dir;
  SettingsStore store(Path(dir, "s.ini"));
  const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit previous;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
  const rlimit limit{64, previous.rlim_max};
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  store.SaveSetting("Text1", QString(200, QLatin1Char('x')));
  setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, previous_handler);
  EXPECT_TRUE(store.WriteFailed());
  EXPECT_EQ(store.WriteFailureReason(), "Disk full");
}
#endif

TEST(SettingsStore, UserStoreIsQuorvaneDelvora) {
  TempDir dir;
  const QString root = QString::fromStdString(dir.Utf8());
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, root);
  {
    SettingsStore store;
#ifdef Q_OS_WIN
    EXPECT_TRUE(store.FileName().endsWith("Software\\Quorvane\\Delvora"));
#else
    EXPECT_EQ(store.FileName(), root + "/Quorvane/Delvora.conf");
    store.SaveSetting("Option1", "True");
    EXPECT_TRUE(QFile::exists(root + "/Quorvane/Delvora.conf"));
#endif
  }
}

TEST(BooleanFromText, TrueFalseWordsAndNumbers) {
  EXPECT_TRUE(BooleanFromText("True"));
  EXPECT_FALSE(BooleanFromText("False"));
  EXPECT_TRUE(BooleanFromText("true"));
  EXPECT_FALSE(BooleanFromText("FALSE"));
  EXPECT_TRUE(BooleanFromText("1"));
  EXPECT_TRUE(BooleanFromText("-1"));
  EXPECT_TRUE(BooleanFromText(" 2 "));
  EXPECT_TRUE(BooleanFromText("0.5"));
  EXPECT_FALSE(BooleanFromText("0"));
  EXPECT_FALSE(BooleanFromText("-0"));
  EXPECT_FALSE(BooleanFromText("0.0"));
  for (const char* bad : {"", " ", "yes", "Maybe", "nan", "inf", "-inf", "1x", "0x1", "Tru"}) {
    try {
      BooleanFromText(bad);
      ADD_FAILURE() << "accepted " << bad;
    } catch (const AppError& e) {
      EXPECT_EQ(e.number(), 13) << bad;
      EXPECT_EQ(e.description(), "Type mismatch");
    }
  }
  EXPECT_EQ(BooleanText(true), "True");
  EXPECT_EQ(BooleanText(false), "False");
}

}  // namespace
}  // namespace delvora::testing
