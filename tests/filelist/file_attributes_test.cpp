#include "platform/file_attributes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "platform/app_error.h"
#include "platform/utf8_path.h"
#include "support/test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace delvora {
namespace {

using testing::TempDir;
using testing::WriteFile;

using testing::ThrownNumber;

int Attributes(const std::filesystem::path& path) { return FileAttributes(PathToUtf8(path)); }

TEST(FileAttributesTest, MapsFilesFoldersAndLinksOntoTheWindowsBits) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows reports these bits itself: there is no mapping to test";
#else
  TempDir dir;
  WriteFile(dir / "plain.csv", "a,b\r\n");
  WriteFile(dir / ".hidden.csv", "a,b\r\n");
  WriteFile(dir / "locked.csv", "a,b\r\n");
  ASSERT_EQ(chmod((dir / "locked.csv").c_str(), 0444), 0);
  std::filesystem::create_directory(dir / "folder");
  std::filesystem::create_directory(dir / ".config");
  std::filesystem::create_symlink(dir / "plain.csv", dir / "link.csv");
  std::filesystem::create_directory_symlink(dir / "folder", dir / "folder-link");
  std::filesystem::create_symlink(dir / "nowhere.csv", dir / "dangling.csv");

  EXPECT_EQ(Attributes(dir / "plain.csv"), kAttrArchive);
  // Hidden and archive together: the value the folder walk skips.
  EXPECT_EQ(Attributes(dir / ".hidden.csv"), 34);
  EXPECT_EQ(Attributes(dir / "locked.csv"), kAttrArchive | kAttrReadOnly);
  EXPECT_EQ(Attributes(dir / "folder"), kAttrDirectory);
  EXPECT_EQ(Attributes(dir / "folder/"), kAttrDirectory);
  EXPECT_EQ(Attributes(dir / ".config"), kAttrDirectory | kAttrHidden);
  EXPECT_EQ(Attributes(dir / "link.csv"), kAttrReparsePoint | kAttrArchive);
  EXPECT_EQ(Attributes(dir / "folder-link"), kAttrReparsePoint | kAttrDirectory);
  EXPECT_EQ(Attributes(dir / "dangling.csv"), kAttrReparsePoint);
  // Nothing on this platform is a system file.
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    EXPECT_EQ(Attributes(entry.path()) & kAttrSystem, 0) << entry.path();
  }
#endif
}

TEST(FileAttributesTest, MissingOrMalformedPathsThrowWithTheirNumbers) {
  TempDir dir;
  WriteFile(dir / "file.csv", "x");
  EXPECT_EQ(ThrownNumber([&] { Attributes(dir / "missing.csv"); }), kErrFileNotFound);
  EXPECT_EQ(ThrownNumber([&] { Attributes(dir / "file.csv" / "below.csv"); }), kErrPathNotFound);
  EXPECT_THROW(FileAttributes(""), AppError);
  // An embedded NUL must not let the path pass for the part before it.
  EXPECT_EQ(ThrownNumber([&] { FileAttributes(dir.Utf8() + std::string("\0/x", 3)); }),
            kErrInvalidArgument);
  EXPECT_EQ(ExistingFileAttributes(dir.Utf8("file.csv") + std::string("\0", 1)), std::nullopt);
  EXPECT_EQ(ExistingFileAttributes(dir.Utf8("file.csv")), kAttrArchive);
}

TEST(FileAttributesTest, RootFolderIsRecognisedWhateverItsTrailingSeparators) {
  EXPECT_TRUE(IsRootFolder("/"));
  EXPECT_TRUE(IsRootFolder("//"));
  EXPECT_FALSE(IsRootFolder("/tmp"));
  EXPECT_FALSE(IsRootFolder("/tmp/"));
  EXPECT_FALSE(IsRootFolder("relative"));
  EXPECT_FALSE(IsRootFolder(""));
#ifdef _WIN32
  // Drives, shares and the long forms, which the walk takes as they are.
  for (const char* root : {"C:\\", "c:/", "C:\\\\", "\\\\server\\share", "\\\\server\\share\\",
                           "\\\\?\\C:\\", "\\\\?\\UNC\\server\\share\\"}) {
    EXPECT_TRUE(IsRootFolder(root)) << root;
  }
  for (const char* folder : {"C:", "C:\\x", "\\\\server\\share\\x", "\\\\?\\C:\\x\\"}) {
    EXPECT_FALSE(IsRootFolder(folder)) << folder;
  }
#endif
}

}  // namespace
}  // namespace delvora
