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

// Each promise of the check, the lists and the names, as a user meets it:
// files made by the shell, the real program, its status and what it says.
TEST(CheckReport, VerdictsListsAndNamesHoldTheirPromises) {
  testing::TempDir dir;
  struct Case {
    std::string setup;      // shell commands run first, in the folder
    std::string arguments;  // to delvora-convert
    int status;
    std::vector<std::string> said;  // each found in what it prints
  };
  const std::string tab_quoted = "printf 'id\\tnote\\n1\\t\"a\\tb\"\\n' > qt.csv; ";
  const Case cases[] = {
      // A tab inside quotes is data for --quotes whatever the delimiter.
      {tab_quoted,
       "-d tab --quotes --check qt.csv",
       1,
       {"tab-lines=1 first-tab-line=2", "verdict: needs --escape"}},
      {tab_quoted,
       "-d tab --check qt.csv",
       1,
       {"tab-lines=0", "verdict: needs --escape (1 quoted field holds the delimiter"}},
      {"printf 'a\\t\\tb\\n\"x\\t\\ty\"\\tz\\n' > t2.csv; ",
       "--other \"$(printf '\\t\\t')\" --quotes --check t2.csv",
       1,
       {"tab-lines=1 first-tab-line=2", "needs --escape"}},
      {"printf 'a\\t,b\\n\"x\\t,y\"\\t,z\\n' > t3.csv; ",
       "--other \"$(printf '\\t,')\" --quotes --check t3.csv",
       1,
       {"tab-lines=1 first-tab-line=2", "needs --escape"}},
      {"printf 'a\\t,b\\n\"x\\t,y\"\\t,z\\n' > t3.csv; ",
       "--other \"$(printf '\\t,')\" --escape --check t3.csv",
       0,
       {"verdict: safe, every quote closes"}},
      // Quoted line breaks: the plain verdict sends the user to --escape.
      {"printf 'a,\"x\\ny\"\\n' > lb.csv; ", "--check lb.csv", 1, {"verdict: needs --escape"}},
      {"printf 'a,\"x,y\"\\n' > qd.csv; ", "--check qd.csv", 1, {"verdict: needs --quotes"}},
      // A lone CR last in a vector's last lane, nothing read past the input.
      {"printf 'b\\t\"b\\n\"ta,| \\na\\ta\\taa\\t,\\r' > cr.csv; ",
       "--check cr.csv",
       1,
       {"crlf=0 lf=2 cr=1"}},
      // Malformed marked text: loud, nothing written, the older result kept.
      {"printf '\\377\\376a\\0,\\0b\\0\\n\\0c' > x.csv; echo old > x.tsv; ",
       "x.csv; s=$?; cat x.tsv; exit $s",
       1,
       {"x.csv: Invalid file format (malformed UTF-16LE text at byte 10: an odd last byte)",
        "\nold"}},
      {"printf '\\377\\376a\\0,\\0b\\0\\n\\0c' > x.csv; ",
       "--check x.csv",
       1,
       {"malformed=1 first-malformed=10 verdict: malformed text (1 place that cannot be read as "
        "UTF-16LE, the first at byte 10)"}},
      {"printf '\\377\\376a\\0\\0\\334' > s.csv; ",
       "--check --json s.csv",
       1,
       {"\"malformed\":1,\"first_malformed\":4,\"safe\":false"}},
      {"printf '\\0\\0\\376\\377\\0\\21\\0\\0' > big.csv; ",
       "big.csv; s=$?; ls; exit $s",
       1,
       {"malformed UTF-32BE text at byte 4: a value above U+10FFFF", "big.csv\n"}},
      // FF FE 00 00 is the UTF-32LE mark, also where UTF-16LE starts with
      // U+0000: the verdict says so.
      {"printf '\\377\\376\\0\\0a\\0,\\0b\\0\\n\\0' > z.csv; ",
       "--check z.csv",
       1,
       {"mark=UTF-32LE", "a UTF-16LE file whose first character is U+0000"}},
      // Lists: bytes that are not UTF-8, a mark, several lists, "-".
      {"printf 'a,b\\n' > \"$(printf 'n\\377.csv')\"; printf '\\357\\273\\277qt.csv\\n' > l1; "
       "printf 'n\\377.csv\\r\\n' > l2; echo x > qt.csv; ",
       "--dry-run --files-from l1 --files-from l2",
       0,
       {"/qt.csv \xE2\x86\x92 ", "/n\\xFF.csv \xE2\x86\x92 "}},
      {"printf 'a.csv\\n-\\n' > l3; ", "--files-from l3", 2, {"names '-'"}},
      {"mkdir -p d; ", "--files-from d", 2, {"'d' is a folder"}},
      {"printf 'a\\0b\\n' > l4; ", "--dry-run --files-from l4", 1, {"a\\x00b: File not found"}},
      // One escaping rule: a backslash cannot pass for a byte's escape, and
      // hidden characters show.
      {"touch '\\xFF.csv' \"$(printf 'w\\342\\201\\240.csv')\"; ",
       "--dry-run '\\xFF.csv' w*.csv",
       0,
       {"/\\\\xFF.csv", "/w\\u2060.csv"}},
      {"printf 'a\\n' > \"$(printf 'p\\342\\200\\250.csv')\"; ",
       "--check --json p*.csv",
       0,
       {"/p\\u2028.csv\""}},
      // Small promises.
      {"", "--check --line-end crlf qt.csv", 2, {"--check writes nothing"}},
      {"", "--quotes --escape qt.csv", 2, {"--quotes and --escape"}},
      {"", "--check qt.csv > /dev/full", 1, {"the standard output: Disk full"}},
      {": > empty.csv; ", "empty.csv && od -c empty.tsv", 0, {"\\r  \\n"}},
  };
  for (const Case& c : cases) {
    const ShellRun run = Shell(dir.path(), c.arguments, c.setup);
    EXPECT_EQ(run.status, c.status) << c.arguments << "\n" << run.out;
    for (const std::string& part : c.said)
      EXPECT_TRUE(Has(run.out, part)) << part << "\n" << run.out;
  }
}

// A result written straight into a pipe cannot be taken back: an input that
// changes under it is not reported as "nothing was written".
TEST(CheckReport, AChangedInputIntoAPipeSaysTheOutputIsCut) {
  testing::TempDir dir;
  std::string big;
  while (big.size() < (8u << 20)) big += "aaaaaaaa,bbbbbbbb,cccccccc,dddddddd\n";
  testing::WriteFile(dir.path() / "in.csv", big);
  // The converter fills the pipe and waits; the input is cut; the pipe is
  // drained and the converter reads on to the changed end.
  const ShellRun run =
      Shell(dir.path(),
            "-o p in.csv 2> err & exec 3< p; head -c 100000 <&3 > /dev/null; "
            "truncate -s 1000 in.csv; cat <&3 > /dev/null; wait $!; echo status $?; cat err",
            "mkfifo p; ");
  EXPECT_TRUE(Has(run.out, "status 1")) << run.out;
  EXPECT_TRUE(Has(run.out,
                  "in.csv: The file changed while it was converted; the output holds an "
                  "incomplete result"))
      << run.out;
}

}  // namespace
}  // namespace delvora
#endif
