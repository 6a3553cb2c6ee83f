#include "cli/cli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "platform/product.h"
#include "support/test_support.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace delvora {
namespace {

namespace fs = std::filesystem;

struct Result {
  int code;
  std::string out;
  std::string err;
};

Result Cli(std::vector<std::string> args, bool terminal = false) {
  std::ostringstream out, err;
  const int code = RunConvertCommand(args, out, err, terminal);
  return {code, out.str(), err.str()};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class ConvertCliTest : public ::testing::Test {
 protected:
  std::string P(std::string_view name) const { return (dir_ / name).string(); }
  testing::TempDir dir_;
};

TEST_F(ConvertCliTest, ConvertsFilesBesideTheirInputs) {
  testing::WriteFile(dir_ / "a.csv", "x,y\n");
  testing::WriteFile(dir_ / "b.txt", "p;q\r\n");
  Result r = Cli({P("a.csv"), P("b.txt")});
  EXPECT_EQ(r.code, kCliAllConverted);
  EXPECT_EQ(r.err, "");  // not a terminal: no progress
  EXPECT_EQ(testing::ReadFile(dir_ / "a.tsv"), "x\ty\r\n");
  EXPECT_EQ(testing::ReadFile(dir_ / "b.tsv"), "p;q\r\n");  // any extension; comma by default
}

TEST_F(ConvertCliTest, DelimiterChoices) {
  testing::WriteFile(dir_ / "in.csv", "a, b,c;d\te::f\n");
  const auto convert = [&](std::vector<std::string> options) {
    options.push_back(P("in.csv"));
    EXPECT_EQ(Cli(options).code, kCliAllConverted);
    return testing::ReadFile(dir_ / "in.tsv");
  };
  EXPECT_EQ(convert({"-d", "comma"}), "a\t b\tc;d\te::f\r\n");
  EXPECT_EQ(convert({"--delimiter", "comma-space"}), "a\tb,c;d\te::f\r\n");
  EXPECT_EQ(convert({"--delimiter=semicolon"}), "a, b,c\td\te::f\r\n");
  EXPECT_EQ(convert({"-dtab"}), "a, b,c;d\te::f\r\n");
  EXPECT_EQ(convert({"--other", "::", "-d", "comma"}), "a, b,c;d\te\tf\r\n");
  EXPECT_EQ(convert({"-d", "semicolon", "--other", "::"}), "a, b,c;d\te\tf\r\n");
}

TEST_F(ConvertCliTest, FoldersGiveTheirCsvFilesBreadthFirst) {
  fs::create_directories(dir_ / "in" / "sub");
  testing::WriteFile(dir_ / "in" / "top.CSV", "1,2\n");
  testing::WriteFile(dir_ / "in" / "~lock.csv", "skip,me\n");
  testing::WriteFile(dir_ / "in" / "notes.txt", "not,me\n");
  testing::WriteFile(dir_ / "in" / "sub" / "deep.csv", "3,4\n");
  fs::create_directory(dir_ / "out");
  Result r = Cli({"--out", P("out"), "-q", P("in")}, true);
  EXPECT_EQ(r.code, kCliAllConverted) << r.err;
  EXPECT_EQ(r.err, "");  // -q silences progress on a terminal
  EXPECT_EQ(testing::ReadFile(dir_ / "out" / "top.tsv"), "1\t2\r\n");
  EXPECT_EQ(testing::ReadFile(dir_ / "out" / "deep.tsv"), "3\t4\r\n");
  EXPECT_FALSE(fs::exists(dir_ / "out" / "~lock.tsv"));
  EXPECT_FALSE(fs::exists(dir_ / "out" / "notes.tsv"));
  EXPECT_FALSE(fs::exists(dir_ / "in" / "top.tsv"));
}

TEST_F(ConvertCliTest, ProgressOnlyOnATerminal) {
  testing::WriteFile(dir_ / "a.csv", "1\n");
  testing::WriteFile(dir_ / "b.csv", "2\n");
  Result r = Cli({P("a.csv"), P("b.csv")}, true);
  EXPECT_EQ(r.code, kCliAllConverted);
  EXPECT_EQ(Lines(r.err),
            (std::vector<std::string>{"file 1 of 2: " + P("a.csv"), "file 2 of 2: " + P("b.csv")}));
  EXPECT_EQ(r.out, "");
}

TEST_F(ConvertCliTest, FailuresGiveOneLineEachAndTheBatchGoesOn) {
  testing::WriteFile(dir_ / "good.csv", "a,b\n");
  testing::WriteFile(dir_ / "plain", "x");
  fs::create_directory(dir_ / "taken.tsv");
  testing::WriteFile(dir_ / "taken.csv", "a,b\n");
  Result r = Cli({P("missing.csv"), P("taken.csv"), P("good.csv")});
  EXPECT_EQ(r.code, kCliSomeFailed);
  const auto lines = Lines(r.err);
  ASSERT_EQ(lines.size(), 2u) << r.err;
  EXPECT_EQ(lines[0], "delvora-convert: " + P("missing.csv") + ": File not found");
  EXPECT_EQ(
      lines[1].rfind(
          "delvora-convert: " + P("taken.csv") + ": cannot write " + P("taken.tsv") + ": ", 0),
      0u)
      << lines[1];
  EXPECT_EQ(testing::ReadFile(dir_ / "good.tsv"), "a\tb\r\n");
  EXPECT_TRUE(fs::is_directory(dir_ / "taken.tsv"));
}

TEST_F(ConvertCliTest, UsageErrors) {
  testing::WriteFile(dir_ / "a.csv", "a,b\n");
  for (const auto& args :
       std::vector<std::vector<std::string>>{{},
                                             {"--bogus", P("a.csv")},
                                             {"-d", "pipe", P("a.csv")},
                                             {"-d"},
                                             {"--out", P("no-such-folder"), P("a.csv")},
                                             {"--out", P("a.csv"), P("a.csv")},
                                             {"-q=1", P("a.csv")},
                                             {"--other", "\xFF", P("a.csv")}}) {
    Result r = Cli(args);
    EXPECT_EQ(r.code, kCliUsageError) << ::testing::PrintToString(args);
    EXPECT_EQ(r.err.rfind("delvora-convert: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("--help"), std::string::npos);
  }
  EXPECT_FALSE(fs::exists(dir_ / "a.tsv"));
}

TEST_F(ConvertCliTest, HelpVersionAndDashDash) {
  Result help = Cli({"--help"});
  EXPECT_EQ(help.code, kCliAllConverted);
  EXPECT_NE(help.out.find("Usage: delvora-convert"), std::string::npos);
  EXPECT_EQ(Cli({"-h"}).out, help.out);
  Result version = Cli({"--version"});
  EXPECT_EQ(version.out, std::string("delvora-convert ") + kProductVersion + "\n");

  testing::WriteFile(dir_ / "-odd.csv", "a,b\n");
  fs::current_path(dir_.path());
  EXPECT_EQ(Cli({"--", "-odd.csv"}).code, kCliAllConverted);
  EXPECT_EQ(testing::ReadFile(dir_ / "-odd.tsv"), "a\tb\r\n");
  fs::current_path(fs::temp_directory_path());
}

#ifndef _WIN32
TEST_F(ConvertCliTest, TheProgramReportsThroughItsExitStatus) {
  testing::WriteFile(dir_ / "a.csv", "a,b\n");
  const auto status = [](const std::string& command) {
    const int raw = std::system((command + " 2>/dev/null").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  };
  const std::string exe = DELVORA_CONVERT_EXE;
  EXPECT_EQ(status(exe + " '" + P("a.csv") + "'"), 0);
  EXPECT_EQ(testing::ReadFile(dir_ / "a.tsv"), "a\tb\r\n");
  EXPECT_EQ(status(exe + " '" + P("missing.csv") + "'"), 1);
  EXPECT_EQ(status(exe), 2);
  EXPECT_EQ(status(exe + " --version >/dev/null"), 0);
}
#endif

}  // namespace
}  // namespace delvora
