#include "conversion/text_writer.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "conversion/converter.h"
#include "conversion/text_reader.h"
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
