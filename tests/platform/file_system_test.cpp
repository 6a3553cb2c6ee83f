#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/test_support.h"

namespace delvora {
namespace {

TEST(FileSystem, FilesFoldersAndMissingPaths) {
  testing::TempDir dir;
  testing::WriteFile(dir / "a.csv", "x");
  std::filesystem::create_directory(dir / "sub");
  const std::string file = (dir / "a.csv").string();
  const std::string folder = (dir / "sub").string();
  const std::string missing = (dir / "missing.csv").string();
  const std::string under_file = file + "/x.csv";

  EXPECT_TRUE(IsExistingFile(file));
  EXPECT_FALSE(IsExistingFile(folder));
  EXPECT_FALSE(IsExistingFile(missing));
  EXPECT_FALSE(IsExistingFile(under_file));
  EXPECT_FALSE(IsExistingFile(""));

  EXPECT_TRUE(FolderExists(folder));
  EXPECT_TRUE(FolderExists(folder + "/"));
  EXPECT_FALSE(FolderExists(file));
  EXPECT_FALSE(FolderExists(missing));
  EXPECT_FALSE(FolderExists(""));

  // A folder counts as readable: only failing to get attributes matters.
  EXPECT_FALSE(PathIsUnreadable(file));
  EXPECT_FALSE(PathIsUnreadable(folder));
  EXPECT_TRUE(PathIsUnreadable(missing));
  EXPECT_TRUE(PathIsUnreadable(under_file));
  EXPECT_TRUE(PathIsUnreadable(""));

  EXPECT_TRUE(PathExists(file));
  EXPECT_TRUE(PathExists(folder));
  EXPECT_FALSE(PathExists(missing));
  EXPECT_FALSE(PathExists(""));
}

TEST(FileSystem, UnicodeNamesAndNamesThatCannotBeRight) {
  testing::TempDir dir;
  // Characters no single narrow code page holds together.
  const std::string name = "\xCE\xB1\xCE\xB2 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80.csv";
  testing::WriteFile(dir.path() / std::u8string(name.begin(), name.end()), "x");
  const std::string path = dir.Utf8() + "/" + name;
  EXPECT_TRUE(IsExistingFile(path));
  EXPECT_FALSE(PathIsUnreadable(path));
  EXPECT_TRUE(PathExists(path));
  EXPECT_FALSE(FolderExists(path));
  EXPECT_TRUE(FolderExists(dir.Utf8()));

  // An embedded NUL must not let the name pass for its prefix.
  const std::string cut = dir.Utf8() + std::string("\0/x", 3);
  EXPECT_FALSE(FolderExists(cut));
  EXPECT_TRUE(PathIsUnreadable(cut));
  EXPECT_FALSE(PathExists(cut));
  EXPECT_FALSE(IsExistingFile(path + std::string("\0", 1)));
}

TEST(FileSystem, AFileHeldOpenByAnotherWriterStillExists) {
  testing::TempDir dir;
  std::ofstream held(dir / "held.csv");
  held << "x";
  held.flush();
  EXPECT_TRUE(IsExistingFile((dir / "held.csv").string()));
}

}  // namespace
}  // namespace delvora
