#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/utf8_path.h"
#include "support/test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace delvora {
namespace {

TEST(FileSystem, FilesFoldersAndMissingPaths) {
  testing::TempDir dir;
  testing::WriteFile(dir / "a.csv", "x");
  std::filesystem::create_directory(dir / "sub");
  const std::string file = dir.Utf8("a.csv");
  const std::string folder = dir.Utf8("sub");
  const std::string missing = dir.Utf8("missing.csv");
  const std::string under_file = dir.Utf8("a.csv/x.csv");

  EXPECT_TRUE(IsExistingFile(file));
  EXPECT_FALSE(IsExistingFile(folder));
  EXPECT_FALSE(IsExistingFile(missing));
  EXPECT_FALSE(IsExistingFile(under_file));
  EXPECT_FALSE(IsExistingFile(""));

  EXPECT_TRUE(FolderExists(folder));
  EXPECT_TRUE(FolderExists(folder + kNativeSeparator));
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
  testing::WriteFile(dir / name, "x");
  const std::string path = dir.Utf8(name);
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

#ifdef _WIN32
// Another program holding the file open without sharing: a look that opens
// the file would be refused, and the file would seem not to be there.
TEST(FileSystem, AFileHeldOpenWithoutSharingStillExists) {
  testing::TempDir dir;
  testing::WriteFile(dir / "held.csv", "x");
  const HANDLE held = CreateFileW((dir / "held.csv").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(IsExistingFile(dir.Utf8("held.csv")));
  CloseHandle(held);
}
#endif

TEST(FileSystem, AbsolutePathKeepsEveryRootForm) {
  testing::TempDir dir;
  const std::string here = PathToUtf8(std::filesystem::current_path());
  EXPECT_EQ(AbsolutePath("a.csv"), here + kNativeSeparator + "a.csv");
  EXPECT_EQ(AbsolutePath(dir.Utf8("x.csv")), dir.Utf8("x.csv"));
  EXPECT_EQ(AbsolutePath(""), "");
#ifdef _WIN32
  // No server is needed: the forms are resolved as text, as the system does.
  for (const char* kept : {"\\\\server\\share\\x.csv", "\\\\?\\C:\\in\\x.csv",
                           "\\\\?\\UNC\\server\\share\\x.csv", "C:\\in\\x.csv"}) {
    EXPECT_EQ(AbsolutePath(kept), kept);
  }
  EXPECT_EQ(AbsolutePath("\\\\server\\share\\in\\..\\x.csv"), "\\\\server\\share\\x.csv");
  EXPECT_EQ(AbsolutePath("//server/share/x.csv"), "\\\\server\\share\\x.csv");
  EXPECT_EQ(AbsolutePath("\\x.csv"), here.substr(0, 2) + "\\x.csv");  // the current drive
#else
  EXPECT_EQ(AbsolutePath("//server/share/x.csv"), "//server/share/x.csv");
#endif
}

TEST(FileSystem, RootLengthOfEveryForm) {
  const std::pair<const char*, std::size_t> backslash[] = {{"C:\\in\\x.csv", 3},
                                                           {"c:x.csv", 2},
                                                           {"\\x.csv", 1},
                                                           {"\\\\server\\share\\x.csv", 15},
                                                           {"\\\\server\\share", 14},
                                                           {"\\\\?\\C:\\x.csv", 7},
                                                           {"\\\\?\\unc\\server\\share\\x.csv", 21},
                                                           {"\\\\.\\pipe\\x", 9},
                                                           {"in\\x.csv", 0},
                                                           {"/in/x.csv", 0},
                                                           {"", 0}};
  for (const auto& [path, length] : backslash) EXPECT_EQ(RootLength(path, '\\'), length) << path;
  const std::pair<const char*, std::size_t> slash[] = {
      {"/in/x.csv", 1}, {"//server/x", 2}, {"in/x.csv", 0}, {"C:/x", 0}, {"\\\\server", 0}};
  for (const auto& [path, length] : slash) EXPECT_EQ(RootLength(path, '/'), length) << path;
}

}  // namespace
}  // namespace delvora
