#include "conversion/text_writer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "conversion/converter.h"
#include "conversion/reference_converter.h"
#include "conversion/text_reader.h"
#include "platform/interrupt_cleanup.h"
#include "platform/writer_hooks.h"
#include "support/test_support.h"

namespace delvora {
namespace {

namespace fs = std::filesystem;

std::size_t EntryCount(const fs::path& folder) {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(AtomicFileWriter, TheTargetChangesOnlyOnCommit) {
  testing::TempDir dir;
  testing::WriteFile(dir / "out.tsv", "old");
  {
    AtomicFileWriter writer((dir / "out.tsv").string());
    if (!writer.temp_path().empty()) {
      EXPECT_EQ(fs::path(writer.temp_path()).parent_path(), dir.path());
    }
    writer.Write("new ", 4);
    writer.Write("text", 4);
    EXPECT_EQ(testing::ReadFile(dir / "out.tsv"), "old");  // still whole while writing
    writer.Commit();
  }
  EXPECT_EQ(testing::ReadFile(dir / "out.tsv"), "new text");
  EXPECT_EQ(EntryCount(dir.path()), 1u);

  {
    AtomicFileWriter abandoned((dir / "out.tsv").string());
    abandoned.Write("half", 4);
  }
  EXPECT_EQ(testing::ReadFile(dir / "out.tsv"), "new text");
  EXPECT_EQ(EntryCount(dir.path()), 1u);
}

TEST(AtomicFileWriter, AFailedReplaceLeavesNoTemporaryFile) {
  testing::TempDir dir;
  std::string temp_path;
  {
    AtomicFileWriter writer((dir / "out.tsv").string());
    temp_path = writer.temp_path();
    writer.Write("x", 1);
    // The target turns into a folder holding a file before the output is
    // put in its place: the replace fails, and nothing of the output stays.
    std::filesystem::create_directory(dir / "out.tsv");
    testing::WriteFile(dir / "out.tsv" / "keep", "k");
    try {
      writer.Commit();
      FAIL() << "replaced a folder";
    } catch (const ConversionFailure& failure) {
      EXPECT_EQ(failure.stage(), ConversionFailure::Stage::kWrite);
      EXPECT_EQ(failure.description(), ReasonDescription(ErrorReason::kResultIsFolder));
    }
  }
  EXPECT_FALSE(fs::exists(temp_path));
  EXPECT_EQ(EntryCount(dir.path()), 1u);
  EXPECT_EQ(testing::ReadFile(dir / "out.tsv" / "keep"), "k");
}

TEST(AtomicFileWriter, NewFilesAndLongNames) {
  testing::TempDir dir;
  // A name at the file system's limit still leaves room for the temporary
  // file's name.
  const std::string name = std::string(251, 'n') + ".tsv";
  AtomicFileWriter writer((dir / name).string());
  writer.Write("x", 1);
  writer.Commit();
  EXPECT_EQ(testing::ReadFile(dir / name), "x");
}

#ifndef _WIN32
TEST(AtomicFileWriter, AReplacedOutputKeepsItsPermissions) {
  testing::TempDir dir;
  testing::WriteFile(dir / "out.tsv", "old");
  fs::permissions(dir / "out.tsv",
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  AtomicFileWriter writer((dir / "out.tsv").string());
  writer.Commit();
  EXPECT_EQ(fs::status(dir / "out.tsv").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}
#endif

// Every writer test runs once with unnamed files and once with named
// temporaries, as on a file system without O_TMPFILE.
class WriterModes : public ::testing::TestWithParam<bool> {
 protected:
  WriterModes() { writer_hooks::use_unnamed_files = GetParam(); }
  ~WriterModes() override { writer_hooks::use_unnamed_files = true; }
  std::string Path(const char* name) const { return (dir / name).string(); }
  void Replace(const char* name, std::string_view bytes) {
    AtomicFileWriter writer(Path(name));
    writer.Write(bytes.data(), bytes.size());
    writer.Commit();
  }
  testing::TempDir dir;
};

INSTANTIATE_TEST_SUITE_P(Unnamed, WriterModes, ::testing::Values(true));
INSTANTIATE_TEST_SUITE_P(Named, WriterModes, ::testing::Values(false));

TEST_P(WriterModes, TheResultIsWholeAndAloneWhateverStoodInItsPlace) {
  testing::WriteFile(dir / "old.tsv", "old");
  Replace("new.tsv", "1");
  Replace("old.tsv", "2");
  EXPECT_EQ(testing::ReadFile(dir / "new.tsv"), "1");
  EXPECT_EQ(testing::ReadFile(dir / "old.tsv"), "2");
  std::error_code no_links;
  testing::WriteFile(dir / "pointed.txt", "pointed");
  fs::create_symlink(dir / "pointed.txt", dir / "link.tsv", no_links);
  if (no_links) GTEST_SKIP() << "no symbolic links here: " << no_links.message();
  // A link is replaced by a regular file; what it pointed to stays.
  Replace("link.tsv", "3");
  EXPECT_FALSE(fs::is_symlink(dir / "link.tsv"));
  EXPECT_EQ(testing::ReadFile(dir / "link.tsv"), "3");
  EXPECT_EQ(testing::ReadFile(dir / "pointed.txt"), "pointed");
  EXPECT_EQ(EntryCount(dir.path()), 4u);
}

#ifdef _WIN32
TEST_P(WriterModes, AttributesAreCarriedAndReadOnlyResultsAreKept) {
  const std::wstring out = (dir / "out.tsv").wstring();
  testing::WriteFile(dir / "out.tsv", "old");
  ASSERT_TRUE(SetFileAttributesW(out.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  Replace("out.tsv", "new");
  EXPECT_EQ(testing::ReadFile(dir / "out.tsv"), "new");
  EXPECT_EQ(GetFileAttributesW(out.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE),
            DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE});
  ASSERT_TRUE(SetFileAttributesW(out.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(testing::ThrownNumber([&] { Replace("out.tsv", "newer"); }), kErrPermissionDenied);
  EXPECT_EQ(testing::ReadFile(dir / "out.tsv"), "new");
  SetFileAttributesW(out.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(EntryCount(dir.path()), 1u);
}
#endif

#ifndef _WIN32
TEST_P(WriterModes, OnlyPermissionBitsAreCarriedAndReadOnlyResultsAreKept) {
  struct Case {
    mode_t old_mode;
    mode_t new_mode;  // 0: refused
  };
  for (const Case c :
       {Case{06755, 0755}, Case{01640, 0640}, Case{0600, 0600}, Case{0444, 0}, Case{0077, 0}}) {
    SCOPED_TRACE(c.old_mode);
    testing::WriteFile(dir / "out.tsv", "old");
    ASSERT_EQ(chmod(Path("out.tsv").c_str(), c.old_mode), 0);
    if (c.new_mode == 0) {
      // Even root, whom no permission stops, leaves it as it is.
      EXPECT_EQ(testing::ThrownNumber([&] { Replace("out.tsv", "new"); }), kErrPermissionDenied);
      EXPECT_EQ(testing::ReadFile(dir / "out.tsv"), "old");
    } else {
      Replace("out.tsv", "new");
      EXPECT_EQ(testing::ReadFile(dir / "out.tsv"), "new");
    }
    struct stat info;
    ASSERT_EQ(stat(Path("out.tsv").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, c.new_mode == 0 ? c.old_mode : c.new_mode);
    EXPECT_EQ(EntryCount(dir.path()), 1u);
    chmod(Path("out.tsv").c_str(), 0600);
    fs::remove(dir / "out.tsv");
  }
}

// In a folder others may write in, what another user left in the result's
// place (a file, or a link to a file of theirs) gives its mode to no result:
// a 0666 file would let them rewrite it. The user's own files keep theirs.
TEST_P(WriterModes, OnlyTheUsersOwnResultGivesItsMode) {
  ASSERT_EQ(chmod(dir.path().c_str(), 01777), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(126);
    umask(0);
    for (const char* name : {"planted.tsv", "theirs.txt"}) {
      const int fd = open(Path(name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
      if (fd < 0) _exit(125);
      close(fd);
    }
    _exit(symlink(Path("theirs.txt").c_str(), Path("linked.tsv").c_str()) == 0 ? 0 : 124);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  testing::WriteFile(dir / "mine.tsv", "mine");
  ASSERT_EQ(chmod(Path("mine.tsv").c_str(), 0664), 0);
  const mode_t mask = umask(0);
  umask(mask);  // the program's own, read when the first result is made
  if ((mask & 0002) == 0) GTEST_SKIP() << "a umask that lets others write proves nothing";
  const mode_t fresh = 0666 & ~mask;
  for (const auto& [name, mode] : {std::pair<const char*, mode_t>{"planted.tsv", fresh},
                                   {"linked.tsv", fresh},
                                   {"mine.tsv", 0664}}) {
    SCOPED_TRACE(name);
    Replace(name, "new");
    struct stat info;
    ASSERT_EQ(lstat(Path(name).c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_uid, geteuid());
    EXPECT_EQ(info.st_mode & 07777, mode);
  }
}

// A named temporary is the user's alone until it is complete.
TEST_P(WriterModes, ANamedTemporaryOpensToOthersOnlyWhenComplete) {
  const mode_t mask = umask(0);
  umask(mask);
  AtomicFileWriter writer(Path("out.tsv"));
  writer.Write("x", 1);
  struct stat info;
  if (!writer.temp_path().empty()) {
    ASSERT_EQ(stat(writer.temp_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
  }
  writer.Commit();
  ASSERT_EQ(stat(Path("out.tsv").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
}

// What stands in a result's place decides nothing by its name: a made-up
// result name never leads into a device, pipe or socket (refused, or a link
// to one replaced), while a name the user typed is written into as a
// shell's redirection would. Nothing hangs on a pipe that nobody reads.
TEST_P(WriterModes, OnlyANamedPathIsWrittenIntoADeviceOrPipe) {
  ASSERT_EQ(mknod(Path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
  ASSERT_EQ(symlink(Path("null").c_str(), Path("to-null").c_str()), 0);
  ASSERT_EQ(symlink(Path("pipe").c_str(), Path("to-pipe").c_str()), 0);
  const auto write = [&](const char* name, bool named) {
    AtomicFileWriter writer(Path(name), {named, -1});
    writer.Write("data", 4);
    writer.Commit();
  };
  for (const char* name : {"null", "pipe"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(testing::ThrownNumber([&] { write(name, false); }), kErrPathFileAccess);
  }
  for (const char* name : {"to-null", "to-pipe"}) {
    SCOPED_TRACE(name);
    write(name, false);
    EXPECT_EQ(testing::ReadFile(dir / name), "data");
  }
  write("null", true);
  std::string got;
  std::thread reader([&] { got = testing::ReadFile(dir / "pipe"); });
  write("pipe", true);
  reader.join();
  EXPECT_EQ(got, "data");
  struct stat info;
  ASSERT_EQ(lstat(Path("null").c_str(), &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));
  ASSERT_EQ(lstat(Path("pipe").c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  EXPECT_EQ(EntryCount(dir.path()), 4u);
}

// Several workers keep making named temporaries (unnamed files refused)
// when the interrupt comes: whatever each is doing, nothing is left.
TEST(InterruptCleanup, ParallelNamedTemporariesLeaveNothing) {
  testing::TempDir dir;
  for (int round = 0; round < 24; ++round) {
    SCOPED_TRACE(round);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(ready[0]);
      InstallInterruptCleanup();
      writer_hooks::use_unnamed_files = false;
      std::vector<std::thread> workers;
      for (int w = 0; w < 4; ++w) {
        workers.emplace_back([&, w] {
          const std::string target = (dir / ("r" + std::to_string(w) + ".tsv")).string();
          for (bool told = false;; told = true) {
            try {
              AtomicFileWriter writer(target);
              writer.Write("abc", 3);
              writer.Commit();
            } catch (const ConversionFailure&) {
            }
            if (!told && write(ready[1], "x", 1) != 1) _exit(3);
          }
        });
      }
      for (std::thread& worker : workers) worker.join();
      _exit(0);
    }
    close(ready[1]);
    char byte;
    for (int w = 0; w < 4; ++w) ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    const int signal_number = round % 2 ? SIGTERM : SIGINT;
    kill(child, signal_number);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), signal_number);
    for (const auto& entry : fs::directory_iterator(dir.path()))
      EXPECT_EQ(entry.path().extension(), ".tsv") << entry.path();
  }
}

// A result's path a few bytes short of the longest path the system takes:
// a temporary's path beside it, with a longer name, would not fit.
TEST_P(WriterModes, TheTemporaryFitsWhereverTheResultFits) {
  constexpr std::size_t kFolderLength = PATH_MAX - 16;
  fs::path deep = dir.path();
  while (deep.string().size() + 101 < kFolderLength) deep /= std::string(100, 'd');
  deep /= std::string(kFolderLength - deep.string().size() - 1, 'e');
  ASSERT_EQ(deep.string().size(), kFolderLength);
  fs::create_directories(deep);
  const std::string result = (deep / "a.tsv").string();
  AtomicFileWriter writer(result);
  writer.Write("x", 1);
  writer.Commit();
  EXPECT_EQ(testing::ReadFile(result), "x");
  EXPECT_EQ(EntryCount(deep), 1u);
  // A name the file system cannot take says so.
  try {
    AtomicFileWriter too_long((dir / std::string(300, 'n')).string());
    FAIL() << "a 300-byte name was taken";
  } catch (const ConversionFailure& failure) {
    EXPECT_EQ(failure.description(), "Path/File access error (file name too long)");
  }
}

// SIGINT, SIGTERM and SIGHUP in the middle of several writes remove every
// temporary and end the program as the signal does.
TEST_P(WriterModes, AnInterruptRemovesEveryTemporaryInFlight) {
  fs::create_directory(dir / "other");
  testing::WriteFile(dir / "a.tsv", "old a");
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      InstallInterruptCleanup();
      AtomicFileWriter a(Path("a.tsv")), b(Path("b.tsv")), c((dir / "other" / "c.tsv").string());
      std::thread third([&] {
        AtomicFileWriter d((dir / "other" / "d.tsv").string());
        d.Write("d", 1);
        raise(signal_number);
      });
      third.join();
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), signal_number);
    EXPECT_EQ(EntryCount(dir.path()), 2u);  // a.tsv and other
    EXPECT_EQ(EntryCount(dir / "other"), 0u);
    EXPECT_EQ(testing::ReadFile(dir / "a.tsv"), "old a");
  }
}
#else
TEST_P(WriterModes, AnInterruptRemovesEveryTemporaryInFlight) {
  GTEST_SKIP() << "needs fork and signals; on Windows the Ctrl+Break test of "
                  "delvora-convert.exe (WindowsConverterExe) checks the clean-up";
}
#endif

TEST(ConvertFile, OnlyAResultReplacingItsOwnInputIsForcedToDisk) {
  testing::TempDir dir;
  testing::WriteFile(dir / "x.tsv", "a,b\n");
  testing::WriteFile(dir / "y.csv", "c,d\n");
  ConversionOptions options;
  options.delimiter = ",";
  const int files = writer_hooks::file_flushes.load();
  const int folders = writer_hooks::folder_flushes.load();
  ConvertFile((dir / "y.csv").string(), (dir / "y.tsv").string(), options);
  ConvertFile((dir / "y.csv").string(), (dir / "y.tsv").string(), options);
  EXPECT_EQ(writer_hooks::file_flushes.load(), files);
  ConvertFile((dir / "x.tsv").string(), (dir / "x.tsv").string(), options);
  EXPECT_EQ(testing::ReadFile(dir / "x.tsv"), "a\tb\r\n");
  EXPECT_EQ(writer_hooks::file_flushes.load(), files + 1);
  EXPECT_EQ(writer_hooks::folder_flushes.load(), folders + 1);
}

// Records which thread writes each piece.
class ThreadRecordingSink : public ByteSink {
 public:
  void Write(const void* data, std::size_t size) override {
    bytes.append(static_cast<const char*>(data), size);
    threads.insert(std::this_thread::get_id());
  }
  std::string bytes;
  std::set<std::thread::id> threads;
};

TEST(WriteBehind, OneBlockIsWrittenOnTheCallersThreadAndManyInOrder) {
  ConversionOptions options;
  options.delimiter = ",";
  options.block_size = 64;
  for (const std::size_t lines : {1, 12, 2000}) {
    SCOPED_TRACE(lines);
    std::string input;
    for (std::size_t i = 0; i < lines; ++i) input += std::to_string(i) + ",x\n";
    testing::ChoppySource source(input, 1 << 20, 1);
    ThreadRecordingSink sink;
    ConvertStream(source, sink, options);
    EXPECT_EQ(sink.bytes, testing::ReferenceConvert(input, ",", 65001));
    const bool one_block = input.size() <= options.block_size;
    EXPECT_EQ(sink.threads.count(std::this_thread::get_id()) == 1 && sink.threads.size() == 1,
              one_block);
  }
}

TEST(FileSource, ReadsAFileInPiecesAndRefusesFolders) {
  testing::TempDir dir;
  testing::WriteFile(dir / "in.csv", "abcdef");
  FileSource source((dir / "in.csv").string());
  char buffer[4];
  EXPECT_EQ(ReadUpTo(source, buffer, 4), 4u);
  EXPECT_EQ(std::string(buffer, 4), "abcd");
  EXPECT_EQ(ReadUpTo(source, buffer, 4), 2u);
  EXPECT_EQ(source.Read(buffer, 4), 0u);

  try {
    FileSource folder(dir.Utf8());
    FAIL() << "a folder opened as input";
  } catch (const ConversionFailure& failure) {
    EXPECT_EQ(failure.stage(), ConversionFailure::Stage::kRead);
    EXPECT_EQ(failure.number(), kErrPathFileAccess);
  }
#ifndef _WIN32
  // A pipe the user names is read to its end, as the standard input is,
  // whether its writer came first or comes later.
  ASSERT_EQ(mkfifo((dir / "pipe.csv").c_str(), 0600), 0);
  std::thread writer([&] { testing::WriteFile(dir / "pipe.csv", std::string(100000, 'x')); });
  FileSource piped((dir / "pipe.csv").string());
  EXPECT_EQ(piped.SizeHint(), std::nullopt);
  std::size_t total = 0;
  while (const std::size_t got = piped.Read(buffer, 4)) total += got;
  writer.join();
  EXPECT_EQ(total, 100000u);
#else
  // The null device opens like a file but never is one.
  EXPECT_THROW(FileSource("NUL"), ConversionFailure);
#endif
}

// An input truncated, appended to or rewritten while it is read fails at
// its end; what was read is never taken for the whole file.
TEST(FileSource, AnInputThatChangesWhileReadFails) {
  testing::TempDir dir;
  const std::string input = (dir / "in.csv").string();
  const std::string text(64, 'a');
  const std::function<void()> changes[] = {
      [&] { fs::resize_file(input, 8); },
      [&] {
        std::FILE* file = std::fopen(input.c_str(), "ab");
        std::fputs("more", file);
        std::fclose(file);
      },
      [&] {
        const auto when = fs::last_write_time(input);
        fs::last_write_time(input, when + std::chrono::seconds(5));
      },
      // Rewritten in place with its size and modification time put back:
      // only the change time tells.
      [&] {
        const auto when = fs::last_write_time(input);
        testing::WriteFile(input, std::string(64, 'b'));
        fs::last_write_time(input, when);
      },
  };
  for (const auto& change : changes) {
    testing::WriteFile(input, text);
    FileSource source(input);
    char buffer[16];
    ASSERT_EQ(ReadUpTo(source, buffer, sizeof buffer), sizeof buffer);
    change();
    try {
      while (source.Read(buffer, sizeof buffer) != 0) {
      }
      ADD_FAILURE() << "a changed input read to its end";
    } catch (const ConversionFailure& failure) {
      EXPECT_EQ(failure.stage(), ConversionFailure::Stage::kRead);
      EXPECT_EQ(failure.description(), ReasonDescription(ErrorReason::kInputChanged));
    }
  }
  // Unchanged, it reads to its end as before.
  testing::WriteFile(input, text);
  FileSource source(input);
  char buffer[100];
  EXPECT_EQ(ReadUpTo(source, buffer, sizeof buffer), text.size());
}

// The engine sees the change through its source: the sink truncates the
// input after the first block, and the conversion fails as a read.
TEST(ConvertStream, AnInputTruncatedMidwayFailsTheConversion) {
  testing::TempDir dir;
  const std::string input = (dir / "in.csv").string();
  std::string text;
  for (int i = 0; i < 200; ++i) text += "a,b\n";
  testing::WriteFile(input, text);
  class TruncatingSink : public ByteSink {
   public:
    explicit TruncatingSink(std::string path) : path_(std::move(path)) {}
    void Write(const void*, std::size_t) override {
      if (!done_) fs::resize_file(path_, 10);
      done_ = true;
    }

   private:
    std::string path_;
    bool done_ = false;
  } sink(input);
  ConversionOptions options;
  options.delimiter = ",";
  options.block_size = 64;
  options.write_behind = false;
  FileSource source(input);
  try {
    ConvertStream(source, sink, options);
    FAIL() << "a truncated input converted";
  } catch (const ConversionFailure& failure) {
    EXPECT_EQ(failure.stage(), ConversionFailure::Stage::kRead);
    EXPECT_EQ(failure.description(), ReasonDescription(ErrorReason::kInputChanged));
  }
}

#ifdef _WIN32
// A result a few characters short of MAX_PATH, with a name shorter than a
// temporary's: its temporary must fit too.
TEST(AtomicFileWriter, TheTemporaryFitsWhereverTheResultFits) {
  testing::TempDir dir;
  fs::path deep = dir.path();
  const std::size_t folder_length = MAX_PATH - 8;  // then a separator, "a.tsv", the end
  while (deep.native().size() + 101 < folder_length) deep /= std::wstring(100, L'd');
  deep /= std::wstring(folder_length - deep.native().size() - 1, L'e');
  fs::create_directories(deep);
  const fs::path result = deep / L"a.tsv";
  ASSERT_LT(result.native().size(), std::size_t{MAX_PATH});
  AtomicFileWriter writer(result.string());
  writer.Write("x", 1);
  writer.Commit();
  EXPECT_EQ(testing::ReadFile(result), "x");
  EXPECT_EQ(EntryCount(deep), 1u);
}

// The everyday locked file: another program holds the result open without
// sharing. It is refused before anything is converted; the older result stays.
TEST(AtomicFileWriter, AResultOpenElsewhereWithoutSharingIsRefused) {
  testing::TempDir dir;
  testing::WriteFile(dir / "out.tsv", "old");
  HANDLE held = CreateFileW((dir / "out.tsv").wstring().c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  try {
    AtomicFileWriter writer((dir / "out.tsv").string());
    ADD_FAILURE() << "a locked result was taken";
  } catch (const ConversionFailure& failure) {
    EXPECT_EQ(failure.number(), kErrPermissionDenied);
    EXPECT_EQ(failure.description(), ReasonDescription(ErrorReason::kFileInUse));
  }
  CloseHandle(held);
  EXPECT_EQ(testing::ReadFile(dir / "out.tsv"), "old");
  EXPECT_EQ(EntryCount(dir.path()), 1u);
}
#endif

}  // namespace
}  // namespace delvora
