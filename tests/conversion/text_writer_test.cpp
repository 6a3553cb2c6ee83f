#include "conversion/text_writer.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <filesystem>
#include <set>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "conversion/converter.h"
#include "conversion/reference_converter.h"
#include "conversion/text_reader.h"
#include "platform/interrupt_cleanup.h"
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
  WriterModes() { AtomicFileWriter::UseUnnamedFiles(GetParam()); }
  ~WriterModes() override { AtomicFileWriter::UseUnnamedFiles(true); }
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
#endif

TEST(ConvertFile, OnlyAResultReplacingItsOwnInputIsForcedToDisk) {
  testing::TempDir dir;
  testing::WriteFile(dir / "x.tsv", "a,b\n");
  testing::WriteFile(dir / "y.csv", "c,d\n");
  ConversionOptions options;
  options.delimiter = ",";
  const int files = AtomicFileWriter::FileFlushes();
  const int folders = AtomicFileWriter::FolderFlushes();
  ConvertFile((dir / "y.csv").string(), (dir / "y.tsv").string(), options);
  ConvertFile((dir / "y.csv").string(), (dir / "y.tsv").string(), options);
  EXPECT_EQ(AtomicFileWriter::FileFlushes(), files);
  ConvertFile((dir / "x.tsv").string(), (dir / "x.tsv").string(), options);
  EXPECT_EQ(testing::ReadFile(dir / "x.tsv"), "a\tb\r\n");
  EXPECT_EQ(AtomicFileWriter::FileFlushes(), files + 1);
  EXPECT_EQ(AtomicFileWriter::FolderFlushes(), folders + 1);
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
  // A named pipe without a writer would hold the conversion up forever.
  ASSERT_EQ(mkfifo((dir / "pipe.csv").c_str(), 0600), 0);
  EXPECT_THROW(FileSource((dir / "pipe.csv").string()), ConversionFailure);
  EXPECT_THROW(FileSource("/dev/zero"), ConversionFailure);
#else
  // The null device opens like a file but never is one.
  EXPECT_THROW(FileSource("NUL"), ConversionFailure);
#endif
}

}  // namespace
}  // namespace delvora
