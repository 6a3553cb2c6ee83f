// The pre-flight check, LF line ends, lists of files and reports that
// cannot be written, through the real delvora-convert and a shell.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

#ifndef _WIN32
#include <sys/wait.h>

namespace delvora {
namespace {

namespace fs = std::filesystem;

struct ShellRun {
  int status;
  std::string out;
};

// The converter run by the shell in folder, after before (a pipe into it);
// stderr joins what stdout was when it started.
ShellRun Shell(const fs::path& folder, const std::string& arguments,
               const std::string& before = "") {
  const std::string command =
      "cd '" + folder.string() + "' && " + before + "'" DELVORA_CONVERT_EXE "' 2>&1 " + arguments;
  FILE* pipe = popen(command.c_str(), "r");
  ShellRun run{-1, ""};
  char buffer[4096];
  while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe))
    run.out.append(buffer, got);
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(CheckReport, SaysWhatAFileHoldsBeforeItIsConverted) {
  testing::TempDir dir;
  struct Case {
    std::string input;
    std::string options;
    int status;
    std::vector<std::string> fields;  // each found on the line
  };
  using std::string_literals::operator""s;
  const Case cases[] = {
      // A tab in a field is a column break in the plain result.
      {"id,note\n1,a\tb\n", "", 1, {"tab-lines=1 first-tab-line=2", "verdict: needs --escape"}},
      {"id,note\n1,a\tb\n", "--quotes", 1, {"verdict: needs --escape"}},
      {"id,note\n1,a\tb\n", "--escape", 0, {"verdict: safe"}},
      {"a\tb\n", "-d tab", 0, {"tab-lines=0", "delimiters=1"}},
      {"x,\"a\nb\"\n", "--quotes", 1, {"verdict: needs --escape (1 line break"}},
      // What the bytes of an unmarked file are.
      {"a,b\n", "", 0, {"mark=none", "text=ascii"}},
      {"caf\xC3\xA9,b\n", "", 0, {"text=utf-8"}},
      {"caf\xE9,b\n", "", 0, {"text=8-bit"}},
      {"caf\xC3,b\n", "", 0, {"text=8-bit"}},
      {"a\0,\0b\0\r\0\n\0"s, "", 1, {"text=utf-16le-no-mark", "verdict: not text"}},
      {"\0a\0,\0b\0\n"s, "", 1, {"text=utf-16be-no-mark"}},
      {"\xEF\xBB\xBF"
       "a\n",
       "",
       0,
       {"mark=UTF-8", "text=marked"}},
      // Field counts of the chosen reading; --strict makes them count.
      {"a,b\n1,2\n3\n4,5,6\n7,8\n",
       "",
       0,
       {"common-fields=2 differing-lines=2 differs-at=3,4", "verdict: safe"}},
      {"a,b\n1,2\n3\n4,5,6\n7,8\n", "--strict", 1, {"verdict: field counts differ (2 lines"}},
      {"a,b\n\"x\ny\",2\n3\n", "--escape", 0, {"common-fields=2 differing-lines=1 differs-at=4"}},
      {"a\n1,2\n3,4\n5,6\n7,8\n9,0\n1\n",
       "",
       0,
       {"common-fields=2 differing-lines=2 differs-at=1,7"}},
      // A delimiter that never occurs, and the likely one.
      {"a;b;c\n1;2;3\n", "", 0, {"delimiters=0 likely-delimiter=semicolon"}},
      {"a, b\n1, 2\n", "-d semicolon", 0, {"likely-delimiter=comma-space"}},
      {"a;b\n1;2;3\n", "", 0, {"likely-delimiter=none"}},
      {"a;b\n", "", 0, {"likely-delimiter=none"}},
      // Line ends, each kind counted.
      {"a\r\nb\nc\rd", "", 0, {"line-ends=mixed", "crlf=1 lf=1 cr=1"}},
  };
  for (const Case& c : cases) {
    testing::WriteFile(dir.path() / "in.csv", c.input);
    const ShellRun run = Shell(dir.path(), "--check " + c.options + " in.csv");
    EXPECT_EQ(run.status, c.status) << run.out;
    EXPECT_EQ(run.out.rfind(dir.path().string() + "/in.csv: mark=", 0), 0u) << run.out;
    for (const std::string& field : c.fields)
      EXPECT_TRUE(Has(run.out, field)) << field << "\n" << run.out;
  }
}

TEST(CheckReport, NamesCannotBreakTheLineOrTheJson) {
  testing::TempDir dir;
  testing::WriteFile(dir.path() / "x: mark=y\n\"z\\.csv", "a,b\n1,2\n3\n");
  const std::string name = "'x: mark=y\n\"z\\.csv'";
  const ShellRun text = Shell(dir.path(), "--check " + name);
  EXPECT_EQ(text.status, 0);
  EXPECT_EQ(text.out, dir.path().string() + "/x:\\x20mark=y\\n\"z\\\\.csv: mark=none" +
                          text.out.substr(text.out.find(" line-ends=")));
  const ShellRun json = Shell(dir.path(), "--check --json --strict " + name + " -");
  EXPECT_EQ(json.status, 1);
  EXPECT_EQ(json.out.rfind("{\"file\":\"" + dir.path().string() +
                               "/x: mark=y\\n\\\"z\\\\.csv\",\"mark\":\"none\",\"text\":\"ascii\",",
                           0),
            0u)
      << json.out;
  EXPECT_TRUE(Has(json.out,
                  "\"common_fields\":2,\"differing_lines\":1,\"differs_at\":[3],"
                  "\"malformed\":0,\"first_malformed\":null,"
                  "\"safe\":false,\"verdict\":\"field counts differ"))
      << json.out;
  EXPECT_TRUE(Has(json.out, "}\n{\"file\":\"-\",")) << json.out;
  EXPECT_EQ(Shell(dir.path(), "--json " + name).status, 2);
}

TEST(CheckReport, LfLineEndsInEveryMode) {
  testing::TempDir dir;
  struct Case {
    std::string input;
    std::string options;
    std::string output;
  };
  using std::string_literals::operator""s;
  const Case cases[] = {
      {"a,b\r\nc\rd\n", "", "a\tb\nc\nd\n"},
      // Inside quoted fields too: every CR LF written.
      {"a,\"x\r\ny\"\r\nb\n", "--quotes", "a\t\"x\ny\"\nb\n"},
      {"a,\"x\ty\"\r\nb", "--escape", "a\tx\\ty\nb\n"},
      {"\xFF\xFE"
       "a\0,\0b\0\r\0\n\0"s,
       "",
       "\xFF\xFE"
       "a\0\t\0b\0\n\0"s},
  };
  for (const Case& c : cases) {
    testing::WriteFile(dir.path() / "in.csv", c.input);
    const ShellRun run = Shell(dir.path(), "--line-end lf " + c.options + " - < in.csv");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, c.output) << c.options;
  }
  EXPECT_EQ(Shell(dir.path(), "--line-end cr in.csv").status, 2);
}

TEST(CheckReport, ListsOfFilesAndReportsThatCannotBeWritten) {
  testing::TempDir dir;
  testing::WriteFile(dir.path() / "a.csv", "a,b\n");
  testing::WriteFile(dir.path() / "b c.csv", "c,d\n");
  ShellRun listed =
      Shell(dir.path(), "--files-from - --dry-run", "printf 'a.csv\\r\\nb c.csv\\n\\n' | ");
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(listed.out, dir.path().string() + "/a.csv \xE2\x86\x92 " + dir.path().string() +
                            "/a.tsv\n" + dir.path().string() + "/b c.csv \xE2\x86\x92 " +
                            dir.path().string() + "/b c.tsv\n");
  testing::WriteFile(dir.path() / "list", std::string("a.csv\0b c.csv\0", 14));
  EXPECT_EQ(Shell(dir.path(), "-q --null --files-from list").status, 0);
  EXPECT_EQ(testing::ReadFile(dir.path() / "b c.tsv"), "c\td\r\n");
  EXPECT_EQ(Shell(dir.path(), "--files-from missing").out,
            "delvora-convert: missing: File not found\n");
  EXPECT_EQ(Shell(dir.path(), "--files-from - - < a.csv").status, 2);
  EXPECT_EQ(Shell(dir.path(), "-0 a.csv").status, 2);
  // A report the standard output does not take fails the run.
  for (const std::string report :
       {"--help", "--version", "--check a.csv", "--dry-run a.csv", "--check --json a.csv"}) {
    for (const std::string target : {"> /dev/full", ">&-"}) {
      const ShellRun run = Shell(dir.path(), report + " " + target);
      EXPECT_EQ(run.status, 1) << report << " " << target;
      EXPECT_EQ(run.out.rfind("delvora-convert: the standard output: ", 0), 0u) << run.out;
    }
  }
}

}  // namespace
}  // namespace delvora
#endif
