#include "conversion/paths.h"

#include <gtest/gtest.h>

namespace delvora {
namespace {

TEST(NormalizeBackslashes, CollapsesPairsAndKeepsNetworkPrefixWithBackslash) {
  EXPECT_EQ(NormalizeBackslashes("C:\\\\Data\\\\x.csv", '\\'), "C:\\Data\\x.csv");
  EXPECT_EQ(NormalizeBackslashes("C:\\Data\\x.csv", '\\'), "C:\\Data\\x.csv");
  EXPECT_EQ(NormalizeBackslashes("a\\\\\\b", '\\'), "a\\\\b");    // three become two
  EXPECT_EQ(NormalizeBackslashes("a\\\\\\\\b", '\\'), "a\\\\b");  // four become two
  EXPECT_EQ(NormalizeBackslashes("\\\\\\\\server\\\\share\\\\x.csv", '\\'),
            "\\\\server\\share\\x.csv");
  EXPECT_EQ(NormalizeBackslashes("\\x.csv", '\\'), "\\\\x.csv");
  EXPECT_EQ(NormalizeBackslashes("\\\\srv\\share", '\\'), "\\\\srv\\share");
  EXPECT_EQ(NormalizeBackslashes("", '\\'), "");
  EXPECT_EQ(NormalizeBackslashes("\\\\\\", '\\'), "\\\\");  // nothing but backslashes
  EXPECT_EQ(NormalizeBackslashes("\\", '\\'), "\\\\");
  // Slashes are ordinary characters under the Windows rule.
  EXPECT_EQ(NormalizeBackslashes("a//b", '\\'), "a//b");
}

TEST(NormalizeBackslashes, SlashMakesALeadingRunExactlyOne) {
  EXPECT_EQ(NormalizeBackslashes("/home//me//x.csv", '/'), "/home/me/x.csv");
  EXPECT_EQ(NormalizeBackslashes("////srv//x.csv", '/'), "/srv/x.csv");
  EXPECT_EQ(NormalizeBackslashes("/x.csv", '/'), "/x.csv");
  EXPECT_EQ(NormalizeBackslashes("//", '/'), "/");
  EXPECT_EQ(NormalizeBackslashes("a///b", '/'), "a//b");
  EXPECT_EQ(NormalizeBackslashes("rel//x", '/'), "rel/x");
  EXPECT_EQ(NormalizeBackslashes("", '/'), "");
  EXPECT_EQ(NormalizeBackslashes("C:\\\\x", '/'), "C:\\\\x");
}

TEST(NormalPath, DropsDoubledSeparatorsAndDotStepsOnly) {
  const struct {
    const char* full;
    char separator;
    const char* normal;
  } cases[] = {
      {"/a//b/./c.csv", '/', "/a/b/c.csv"},
      {"/a/./", '/', "/a/"},
      {"/a/.", '/', "/a/"},
      {"/a/b/", '/', "/a/b/"},
      {"/a/../b", '/', "/a/../b"},
      {"//", '/', "/"},
      {"C:\\a\\\\.\\b.csv", '\\', "C:\\a\\b.csv"},
      {"C:\\a\\.", '\\', "C:\\a\\"},
      {"\\\\srv\\share\\.\\x", '\\', "\\\\srv\\share\\x"},
      {"\\\\?\\C:\\a\\.\\\\b", '\\', "\\\\?\\C:\\a\\.\\\\b"},
      {"\\\\.\\COM1", '\\', "\\\\.\\COM1"},
  };
  for (const auto& c : cases) EXPECT_EQ(NormalPath(c.full, c.separator), c.normal) << c.full;
}

TEST(PathParts, FileNameFolderAndExtension) {
  EXPECT_EQ(GetFileName("C:\\in\\report.csv", '\\'), "report.csv");
  EXPECT_EQ(GetFileName("report.csv", '\\'), "report.csv");
  EXPECT_EQ(GetFileName("C:\\in\\", '\\'), "");
  EXPECT_EQ(GetFileName("/in/report.csv", '/'), "report.csv");
  EXPECT_EQ(GetFolderPath("C:\\in\\report.csv", '\\'), "C:\\in\\");
  EXPECT_EQ(GetFolderPath("report.csv", '\\'), "");
  EXPECT_EQ(GetFolderPath("/in/x/report.csv", '/'), "/in/x/");

  EXPECT_EQ(StripExtension("report.csv"), "report");
  EXPECT_EQ(StripExtension("report.final.csv"), "report.final");
  EXPECT_EQ(StripExtension("README"), "README");
  EXPECT_EQ(StripExtension(".csv"), ".csv");
  EXPECT_EQ(StripExtension("data."), "data");
  EXPECT_EQ(StripExtension(""), "");
  EXPECT_EQ(StripExtension("a.b"), "a");
}

TEST(OutputPathFor, NamesTheResultAfterTheInput) {
  const auto beside = [](const char* input) {
    return OutputPathFor(input, OutputLocation::kBesideInput, "", '\\');
  };
  EXPECT_EQ(beside("C:\\in\\report.csv"), "C:\\in\\report.tsv");
  EXPECT_EQ(beside("C:\\in\\report.final.csv"), "C:\\in\\report.final.tsv");
  EXPECT_EQ(beside("C:\\in\\README"), "C:\\in\\README.tsv");
  EXPECT_EQ(beside("C:\\in\\.csv"), "C:\\in\\.csv.tsv");
  EXPECT_EQ(beside("C:\\in\\data."), "C:\\in\\data.tsv");
  EXPECT_EQ(beside("\\\\srv\\share\\in\\report.csv"), "\\\\srv\\share\\in\\report.tsv");
  EXPECT_EQ(beside("\\\\?\\C:\\in\\report.csv"), "\\\\?\\C:\\in\\report.tsv");
  EXPECT_EQ(beside("\\\\?\\UNC\\srv\\share\\report.csv"), "\\\\?\\UNC\\srv\\share\\report.tsv");
  // A .tsv input lands on its own path.
  EXPECT_EQ(beside("C:\\in\\x.tsv"), "C:\\in\\x.tsv");
}

TEST(OutputPathFor, ChosenFolderAndBareName) {
  const char* input = "C:\\in\\report.csv";
  EXPECT_EQ(OutputPathFor(input, OutputLocation::kFolder, "D:\\out", '\\'), "D:\\out\\report.tsv");
  EXPECT_EQ(OutputPathFor(input, OutputLocation::kFolder, "D:\\out\\", '\\'),
            "D:\\out\\report.tsv");
  EXPECT_EQ(OutputPathFor(input, OutputLocation::kFolder, "D:\\", '\\'), "D:\\report.tsv");
  EXPECT_EQ(OutputPathFor(input, OutputLocation::kFolder, "\\\\srv\\share\\", '\\'),
            "\\\\srv\\share\\report.tsv");
  EXPECT_EQ(OutputPathFor(input, OutputLocation::kBareName, "D:\\out", '\\'), "report.tsv");

  EXPECT_EQ(OutputPathFor("/in/report.csv", OutputLocation::kFolder, "/out/", '/'),
            "/out/report.tsv");
  EXPECT_EQ(OutputPathFor("/in/report.csv", OutputLocation::kFolder, "/", '/'), "/report.tsv");
  EXPECT_EQ(OutputPathFor("/in/report.csv", OutputLocation::kBesideInput, "", '/'),
            "/in/report.tsv");
  EXPECT_EQ(OutputPathFor("/a.b/report", OutputLocation::kBesideInput, "", '/'), "/a.b/report.tsv");
}

}  // namespace
}  // namespace delvora
