#include "filelist/folder_walk.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/utf8_path.h"
#include "support/test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace delvora {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::RecordingReporter;
using testing::TempDir;
using ::testing::UnorderedElementsAre;
using testing::WriteFile;

using testing::MarkHidden;
using testing::ThrownNumber;

const std::string kSep(1, kNativeSeparator);

// Creates every file named (relative, "/"-separated) with its folders.
void MakeTree(const TempDir& dir, const std::vector<std::string>& files) {
  for (const std::string& file : files) {
    fs::create_directories((dir / file).parent_path());
    WriteFile(dir / file, "a,b\r\n");
  }
}

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == kNativeSeparator) path.pop_back();
  return path;
}

// False where the system cannot make symbolic links (Wine, or Windows
// without the right to).
bool MakeLink(const fs::path& target, const fs::path& link, bool folder) {
  std::error_code error;
  if (folder) {
    fs::create_directory_symlink(target, link, error);
  } else {
    fs::create_symlink(target, link, error);
  }
  return !error;
}

class HookPump : public Pump {
 public:
  void ProcessPendingMessages() override {
    ++calls;
    if (on_call) on_call(calls);
  }
  int calls = 0;
  std::function<void(int)> on_call;
};

// Lists in reverse name order, so that tests see the walk follow the
// lister's order rather than an order of its own.
class ReverseLister : public DirectoryLister {
 public:
  void ForEachEntry(const std::string& folder,
                    const std::function<void(const Entry&)>& each) override {
    std::vector<Entry> entries;
    RealDirectoryLister().ForEachEntry(folder, [&](const Entry& e) { entries.push_back(e); });
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name > b.name; });
    for (const Entry& e : entries) each(e);
  }
};

// Fails the listing of one folder the way the system does for a locked
// folder, after letting some entries through.
class FailingLister : public ReverseLister {
 public:
  void ForEachEntry(const std::string& folder,
                    const std::function<void(const Entry&)>& each) override {
    if (WithoutTrailingSlash(folder) != target) return ReverseLister::ForEachEntry(folder, each);
    ++failures;
    int passed = 0;
    ReverseLister::ForEachEntry(folder, [&](const Entry& e) {
      if (passed++ == entries_before_failure) throw StandardError(number);
      each(e);
    });
    throw StandardError(number);
  }
  std::string target;
  ErrorNumber number = kErrPermissionDenied;
  int entries_before_failure = 0;
  int failures = 0;
};

struct Collected : FolderFileSink {
  void AddFile(const std::string& path) override { files.push_back(path); }
  void ListingFailed(const AppError& error, int step) override {
    failures.push_back({error.number(), error.description(), "", step});
  }
  std::vector<std::string> files;
  std::vector<testing::ReportedError> failures;
};

// The selection below dir, as "/"-separated paths relative to it.
std::vector<std::string> Relative(const TempDir& dir, const std::vector<std::string>& paths) {
  std::vector<std::string> relative;
  for (const std::string& path : paths) {
    EXPECT_EQ(path.rfind(dir.Utf8() + kSep, 0), 0u) << path;
    relative.push_back(path.substr(dir.Utf8().size() + 1));
    std::replace(relative.back().begin(), relative.back().end(), kNativeSeparator, '/');
  }
  return relative;
}

TEST(FolderNameTest, OnlyControlCharactersAndBrokenTextMakeANameBad) {
  EXPECT_FALSE(NameHasBadCharacters(""));
  EXPECT_FALSE(NameHasBadCharacters("Reports 2021"));
  EXPECT_FALSE(NameHasBadCharacters("what?"));
  EXPECT_FALSE(NameHasBadCharacters("Отчёты"));
  EXPECT_FALSE(NameHasBadCharacters("データ 😀"));
  EXPECT_FALSE(NameHasBadCharacters("\xC2\xA0nbsp"));  // U+00A0, just past the C1 range
  EXPECT_TRUE(NameHasBadCharacters("tab\there"));
  EXPECT_TRUE(NameHasBadCharacters("a\x01"));
  EXPECT_TRUE(NameHasBadCharacters("a\x1F"));
  EXPECT_TRUE(NameHasBadCharacters("del\x7F"));
  EXPECT_TRUE(NameHasBadCharacters("c1\xC2\x80"));  // U+0080
  EXPECT_TRUE(NameHasBadCharacters("c1\xC2\x9F"));  // U+009F
  EXPECT_TRUE(NameHasBadCharacters(std::string("nul\0x", 5)));
  EXPECT_TRUE(NameHasBadCharacters("latin1-\xE9"));   // not UTF-8
  EXPECT_TRUE(NameHasBadCharacters("\xC0\xAF"));      // overlong "/"
  EXPECT_TRUE(NameHasBadCharacters("\xED\xA0\x80"));  // surrogate
  EXPECT_TRUE(NameHasBadCharacters("cut\xE3\x81"));
}

TEST(PatternTest, CsvPatternIgnoresCaseAndStarDotStarTakesEverything) {
  EXPECT_TRUE(NameMatchesPattern("report.csv", "*.csv"));
  EXPECT_TRUE(NameMatchesPattern("REPORT.CSV", "*.csv"));
  EXPECT_TRUE(NameMatchesPattern("a.b.Csv", "*.csv"));
  EXPECT_TRUE(NameMatchesPattern(".csv", "*.csv"));
  EXPECT_FALSE(NameMatchesPattern("report.csvx", "*.csv"));
  EXPECT_FALSE(NameMatchesPattern("report.tsv", "*.csv"));
  EXPECT_FALSE(NameMatchesPattern("csv", "*.csv"));
  EXPECT_TRUE(NameMatchesPattern("README", "*.*"));
  EXPECT_TRUE(NameMatchesPattern("a.txt", "?.txt"));
  EXPECT_FALSE(NameMatchesPattern("ab.txt", "?.txt"));
  EXPECT_TRUE(NameMatchesPattern("x.csv.csv", "*.csv"));
  EXPECT_TRUE(NameMatchesPattern("aXbXc", "a*b*c"));
}

TEST(FolderWalkTest, WalksLevelByLevelInTheListersOrder) {
  TempDir dir;
  MakeTree(dir, {"top.csv", "a/in-a.csv", "b/in-b.csv", "a/c/in-c.csv", "b/d/in-d.csv",
                 "b/d/e/in-e.csv"});
  RecordingReporter reporter;
  HookPump pump;
  ReverseLister lister;
  Collected sink;
  CollectFolderFiles(dir.Utf8(), "*.csv", reporter, pump, sink, lister);
  // Level one in listing order (b, a), then level two in the order of
  // their parents (d under b before c under a), then level three.
  EXPECT_THAT(Relative(dir, sink.files),
              ElementsAre("top.csv", "b/in-b.csv", "a/in-a.csv", "b/d/in-d.csv", "a/c/in-c.csv",
                          "b/d/e/in-e.csv"));
  EXPECT_THAT(reporter.errors, IsEmpty());
  EXPECT_THAT(sink.failures, IsEmpty());
  EXPECT_GT(pump.calls, 0);

  // The real lister keeps the levels whatever order the disk gives.
  std::vector<std::string> files =
      Relative(dir, CollectFolderFiles(dir.Utf8(), "*.csv", reporter, pump));
  ASSERT_EQ(files.size(), 6u);
  EXPECT_EQ(files[0], "top.csv");
  EXPECT_THAT(std::vector<std::string>(files.begin() + 1, files.begin() + 3),
              UnorderedElementsAre("a/in-a.csv", "b/in-b.csv"));
  EXPECT_EQ(files[5], "b/d/e/in-e.csv");
}

TEST(FolderWalkTest, GetSubDirectoriesKeepsQueuedFoldersFirstAndEndsInSeparators) {
  TempDir dir;
  fs::create_directories(dir / "a/c");
  fs::create_directories(dir / "b");
  RecordingReporter reporter;
  HookPump pump;
  ReverseLister lister;
  std::vector<std::string> queue{dir.Utf8() + kSep};
  GetSubDirectories2016(queue, true, reporter, pump, lister);
  EXPECT_THAT(queue,
              ElementsAre(dir.Utf8() + kSep, dir.Utf8("b/"), dir.Utf8("a/"), dir.Utf8("a/c/")));

  std::vector<std::string> shallow{dir.Utf8() + kSep};
  GetSubDirectories2016(shallow, false, reporter, pump, lister);
  EXPECT_THAT(shallow, ElementsAre(dir.Utf8() + kSep, dir.Utf8("b/"), dir.Utf8("a/")));
}

TEST(FolderWalkTest, SkipsTildeNamesHiddenArchiveFilesAndOtherExtensions) {
  TempDir dir;
  MakeTree(dir, {"report.csv", "~$report.csv", "~tmp.csv", ".lock.csv", ".kept.csv", "LOUD.CSV",
                 "notes.txt", "x.csv/inner.csv"});
  MarkHidden(dir / ".lock.csv", false);
  // Read-only makes it 35 (hidden, archive, read-only): not the skipped 34.
  MarkHidden(dir / ".kept.csv", true);
  RecordingReporter reporter;
  HookPump pump;
  EXPECT_THAT(Relative(dir, CollectFolderFiles(dir.Utf8(), "*.csv", reporter, pump)),
              UnorderedElementsAre("report.csv", ".kept.csv", "LOUD.CSV", "x.csv/inner.csv"));
  // Every file for "*.*", still without "~" names and hidden+archive files.
  EXPECT_THAT(
      Relative(dir, CollectFolderFiles(dir.Utf8(), "*.*", reporter, pump)),
      UnorderedElementsAre("report.csv", ".kept.csv", "LOUD.CSV", "notes.txt", "x.csv/inner.csv"));
  EXPECT_THAT(reporter.errors, IsEmpty());
}

TEST(FolderWalkTest, ControlCharacterFolderIsSkippedWithEverythingBelowButOtherNamesAreWalked) {
  TempDir dir;
  MakeTree(dir, {"top.csv", "Отчёты/найдено.csv", "del\x7F/lost3.csv"});
  std::vector<std::string> expected{"top.csv", "Отчёты/найдено.csv"};
#ifndef _WIN32
  // Names Windows does not allow, and names that are not UTF-8: a folder
  // is passed over as one with a control character, a file is its bytes.
  MakeTree(dir, {"bad\x01name/lost.csv", "bad\x01name/deeper/lost2.csv", "what?/found.csv"});
  expected.push_back("what?/found.csv");
  fs::create_directories(dir.path() / "latin1-\xE9");
  WriteFile(dir.path() / "latin1-\xE9" / "lost4.csv", "x");
  WriteFile(dir.path() / "name-\xE9.csv", "x");
  expected.push_back("name-\xE9.csv");
#endif
  RecordingReporter reporter;
  HookPump pump;
  EXPECT_THAT(Relative(dir, CollectFolderFiles(dir.Utf8(), "*.csv", reporter, pump)),
              ::testing::UnorderedElementsAreArray(expected));
  EXPECT_THAT(reporter.errors, IsEmpty());
}

TEST(FolderWalkTest, SymbolicLinkLoopsEndAndNoFolderIsListedTwice) {
  TempDir dir;
  MakeTree(dir, {"top.csv", "a/in-a.csv", "b/in-b.csv"});
  if (!MakeLink(dir.path(), dir / "a/up", true)) GTEST_SKIP() << "no symbolic links here";
  MakeLink(dir / "a", dir / "a/self", true);
  MakeLink(dir / "b", dir / "b-again", true);
  MakeLink(dir / "nowhere", dir / "dangling", true);
  RecordingReporter reporter;
  HookPump pump;
  std::vector<std::string> files =
      Relative(dir, CollectFolderFiles(dir.Utf8(), "*.csv", reporter, pump));
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0], "top.csv");
  EXPECT_TRUE(std::count(files.begin(), files.end(), "a/in-a.csv") == 1);
  // b is reached once, under whichever of its two names the disk lists first.
  EXPECT_TRUE(std::count(files.begin(), files.end(), "b/in-b.csv") +
                  std::count(files.begin(), files.end(), "b-again/in-b.csv") ==
              1);
  EXPECT_THAT(reporter.errors, IsEmpty());
}

TEST(FolderWalkTest, AFolderIsKnownAsItselfWhicheverPathNamesIt) {
  TempDir dir;
  MakeTree(dir, {"a/x.csv", "b/x.csv"});
  DirectoryLister& lister = RealDirectoryLister();
  const std::string a = lister.FolderIdentity(dir.Utf8("a"));
  ASSERT_FALSE(a.empty());
  std::vector<std::string> same{dir.Utf8("a/"), dir.Utf8("b/../a")};
#ifdef _WIN32
  // Names ignore case there, and the long form names the same folder.
  same.push_back(dir.Utf8("A"));
  same.push_back("\\\\?\\" + dir.Utf8("a"));
#endif
  if (MakeLink(dir / "a", dir / "link", true)) same.push_back(dir.Utf8("link"));
  for (const std::string& path : same) EXPECT_EQ(lister.FolderIdentity(path), a) << path;
  EXPECT_NE(lister.FolderIdentity(dir.Utf8("b")), a);
  EXPECT_EQ(lister.FolderIdentity(dir.Utf8("missing")), "");
}

TEST(FolderWalkTest, LockedOrVanishedFoldersLeaveTheQueueWithoutAMessage) {
  TempDir dir;
  MakeTree(dir, {"top.csv", "a/in-a.csv", "b/in-b.csv", "b/c/in-c.csv"});
  RecordingReporter reporter;
  HookPump pump;
  FailingLister locked;
  locked.target = dir.Utf8("b");
  Collected sink;
  CollectFolderFiles(dir.Utf8(), "*.csv", reporter, pump, sink, locked);
  EXPECT_THAT(Relative(dir, sink.files), ElementsAre("top.csv", "a/in-a.csv"));
  EXPECT_EQ(locked.failures, 1);  // never listed again for its files
  EXPECT_THAT(reporter.errors, IsEmpty());
  EXPECT_THAT(sink.failures, IsEmpty());

  // Subfolders found before the failure are still walked.
  FailingLister cut;
  cut.target = dir.Utf8("b");
  cut.entries_before_failure = 2;  // in-b.csv and c, in reverse order
  Collected partial;
  CollectFolderFiles(dir.Utf8(), "*.csv", reporter, pump, partial, cut);
  EXPECT_THAT(Relative(dir, partial.files), ElementsAre("top.csv", "a/in-a.csv", "b/c/in-c.csv"));

  // A folder that disappears just before it is listed.
  struct VanishingLister : ReverseLister {
    void ForEachEntry(const std::string& folder,
                      const std::function<void(const Entry&)>& each) override {
      if (WithoutTrailingSlash(folder) == target) fs::remove_all(PathFromUtf8(target));
      ReverseLister::ForEachEntry(folder, each);
    }
    std::string target;
  } vanishing;
  vanishing.target = dir.Utf8("a");
  Collected rest;
  CollectFolderFiles(dir.Utf8(), "*.csv", reporter, pump, rest, vanishing);
  EXPECT_THAT(Relative(dir, rest.files), ElementsAre("top.csv", "b/in-b.csv", "b/c/in-c.csv"));
  EXPECT_THAT(reporter.errors, IsEmpty());
  EXPECT_THAT(rest.failures, IsEmpty());
}

TEST(FolderWalkTest, OtherListingFailuresAreReportedAtTheirSteps) {
  TempDir dir;
  MakeTree(dir, {"top.csv", "a/in-a.csv", "b/in-b.csv"});
  RecordingReporter reporter;
  HookPump pump;
  // Another failure ends the folder's walk silently but keeps it queued; its
  // file listing then fails too and is the caller's to report.
  FailingLister broken;
  broken.target = dir.Utf8("b");
  broken.number = kErrPathFileAccess;
  Collected sink;
  CollectFolderFiles(dir.Utf8(), "*.csv", reporter, pump, sink, broken);
  EXPECT_THAT(Relative(dir, sink.files), ElementsAre("top.csv", "a/in-a.csv"));
  ASSERT_EQ(sink.failures.size(), 1u);
  EXPECT_EQ(sink.failures[0].number, kErrPathFileAccess);
  EXPECT_EQ(sink.failures[0].step, kStepListFiles);
  EXPECT_THAT(reporter.errors, IsEmpty());

  // The vector form reports it with the folder button's location.
  RecordingReporter listing;
  struct : Pump {
    void ProcessPendingMessages() override {}
  } quiet;
  const auto collected = CollectFolderFiles(dir.Utf8("missing"), "*.csv", listing, quiet);
  EXPECT_THAT(collected, IsEmpty());
  ASSERT_EQ(listing.errors.size(), 1u);
  EXPECT_EQ(listing.errors[0].number, kErrPathNotFound);
  EXPECT_EQ(listing.errors[0].location, "in Velmark2021/08/31.Form1.PushButton9_Click ");
  EXPECT_EQ(listing.errors[0].step, kStepListFiles);
}

TEST(FolderWalkTest, FailingWalkStepsAreReportedWithTheWalksLocationAndTheWalkGoesOn) {
  TempDir dir;
  MakeTree(dir, {"top.csv", "a/in-a.csv", "b/in-b.csv"});
  RecordingReporter reporter;
  HookPump pump;
  ReverseLister lister;
  // Pumps: 1 before walking the top folder, 2 and 3 for its subfolders b
  // and a, 4 before walking b.
  pump.on_call = [&](int call) {
    if (call == 4) throw StandardError(kErrPathFileAccess);
  };
  Collected sink;
  CollectFolderFiles(dir.Utf8(), "*.csv", reporter, pump, sink, lister);
  EXPECT_THAT(Relative(dir, sink.files), ElementsAre("top.csv", "b/in-b.csv", "a/in-a.csv"));
  ASSERT_EQ(reporter.errors.size(), 1u);
  EXPECT_EQ(reporter.errors[0].location, kFolderWalkLocation);
  EXPECT_EQ(reporter.errors[0].step, 114);
  EXPECT_EQ(reporter.errors[0].number, kErrPathFileAccess);

  // A folder that vanishes at that moment is just gone: no message.
  RecordingReporter quiet;
  pump.calls = 0;
  pump.on_call = [&](int call) {
    if (call == 4) fs::remove_all(dir / "b");
  };
  Collected rest;
  CollectFolderFiles(dir.Utf8(), "*.csv", quiet, pump, rest, lister);
  EXPECT_THAT(Relative(dir, rest.files), ElementsAre("top.csv", "a/in-a.csv"));
  EXPECT_THAT(quiet.errors, IsEmpty());
  EXPECT_THAT(rest.failures, IsEmpty());
}

TEST(FolderWalkTest, LongPathsAreWalkedAndNamesJoinWithOneSeparator) {
  TempDir dir;
  std::string deep;
  for (int level = 0; level < 7; ++level)
    deep += std::string(50, static_cast<char>('a' + level)) + "/";
  const std::string within = deep.substr(0, 51) + "near.csv";
  MakeTree(dir, {within, deep + "deep.csv"});
  ASSERT_GT(dir.Utf8(deep).size(), 300u);
  RecordingReporter reporter;
  HookPump pump;
  std::vector<std::string> expected{dir.Utf8(within)};
  // Windows keeps its classic limit: folders of 260 characters or more are
  // neither walked nor listed.
  if (kNativeSeparator != '\\') expected.push_back(dir.Utf8(deep + "deep.csv"));
  // A chosen folder that already ends in a separator (a root does) gives
  // single separators once the paths are normalised.
  EXPECT_THAT(CollectFolderFiles(dir.Utf8() + kSep, "*.csv", reporter, pump),
              ::testing::ElementsAreArray(expected));
  EXPECT_THAT(reporter.errors, IsEmpty());
}

#ifndef _WIN32
// A chosen folder past the system's 4,096 bytes is walked like any other,
// and a link back into it is still known for the folder it points at.
TEST(FolderWalkTest, AFolderPastTheSystemsPathLengthIsWalked) {
  TempDir dir;
  const testing::DeepFolder deep(dir);
  deep.MakeFolder("sub");
  deep.Write("x.csv", "");
  deep.Write("sub/y.csv", "");
  ASSERT_EQ(symlinkat("sub", deep.fd(), "link"), 0);
  RecordingReporter reporter;
  HookPump pump;
  const std::vector<std::string> files = CollectFolderFiles(deep.path(), "*.csv", reporter, pump);
  EXPECT_THAT(files, ElementsAre(deep.path() + "/x.csv", ::testing::EndsWith("/y.csv")));
  EXPECT_THAT(reporter.errors, IsEmpty());
}
#endif

TEST(ListMatchingFilesTest, ListsOnlyExistingFilesAndFailsForMissingOrNonFolders) {
  TempDir dir;
  MakeTree(dir, {"a.csv", "b.CSV", "c.txt", "sub.csv/inner.csv"});
  std::vector<std::string> csv{"a.csv", "b.CSV"};
  if (MakeLink(dir / "a.csv", dir / "alias.csv", false)) {
    MakeLink(dir / "nowhere.csv", dir / "dangling.csv", false);
    csv.push_back("alias.csv");
  }
#ifndef _WIN32
  // A pipe would never deliver its end to a reader.
  ASSERT_EQ(mkfifo((dir / "pipe.csv").c_str(), 0644), 0);
#endif
  std::vector<std::string> all = csv;
  all.push_back("c.txt");
  EXPECT_THAT(ListMatchingFiles(dir.Utf8(), "*.csv"), ::testing::UnorderedElementsAreArray(csv));
  EXPECT_THAT(ListMatchingFiles(dir.Utf8() + kSep, "*.*"),
              ::testing::UnorderedElementsAreArray(all));
  EXPECT_EQ(ThrownNumber([&] { ListMatchingFiles(dir.Utf8("missing"), "*.csv"); }),
            kErrPathNotFound);
  EXPECT_EQ(ThrownNumber([&] { ListMatchingFiles(dir.Utf8("a.csv"), "*.csv"); }), kErrPathNotFound);
  FailingLister locked;
  locked.target = dir.Utf8();
  EXPECT_EQ(ThrownNumber([&] { ListMatchingFiles(dir.Utf8(), "*.csv", locked); }),
            kErrPermissionDenied);
}

}  // namespace
}  // namespace delvora
