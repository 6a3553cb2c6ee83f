#include "cli/cli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "conversion/converter.h"
#include "conversion/reference_converter.h"
#include "conversion/text_reader.h"
#include "conversion/text_writer.h"
#include "platform/product.h"
#include "support/test_support.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace delvora {
namespace {

namespace fs = std::filesystem;

class StringSource : public ByteSource {
 public:
  explicit StringSource(std::string data) : data_(std::move(data)) {}
  std::size_t Read(void* buffer, std::size_t size) override {
    const std::size_t n = std::min(size, data_.size() - at_);
    std::memcpy(buffer, data_.data() + at_, n);
    at_ += n;
    return n;
  }

 private:
  std::string data_;
  std::size_t at_ = 0;
};

// The standard output.
using testing::StringSink;

struct Result {
  int code;
  std::string out;
  std::string err;
  std::string stdout_bytes;  // what "-" wrote
};

Result Cli(std::vector<std::string> args, bool terminal = false, std::string stdin_bytes = "",
           int fail_at = 1 << 30) {
  std::ostringstream out, err;
  StringSource in(std::move(stdin_bytes));
  StringSink sink;
  sink.fail_at = fail_at;
  const int code = RunConvertCommand(args, out, err, terminal, in, sink);
  return {code, out.str(), err.str(), sink.text};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class ConvertCliTest : public ::testing::Test {
 protected:
  // "/" in name stands for the platform's separator.
  std::string P(std::string_view name) const {
    return (dir_.path() / fs::path(name).make_preferred()).string();
  }
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
                                             {"--out", P("no-such-folder"), P("a.csv")},
                                             {"--out", P("a.csv"), P("a.csv")},
                                             {"-", "-"},
                                             {"--out", P(""), "-"},
                                             {"-o", P("x.tsv"), P("a.csv"), P("a.csv")},
                                             {"-o", P("x.tsv"), P("")},
                                             {"-o", P(""), P("a.csv")},
                                             {"-o", "", P("a.csv")},
                                             {"--out", P(""), "-o", P("x.tsv"), P("a.csv")},
                                             {"--check", "-o", P("x.tsv"), P("a.csv")},
                                             {"--check", "--dry-run", P("a.csv")},
                                             {"--check", "--out", P(""), P("a.csv")},
                                             {"--quotes", "--other", "\"", P("a.csv")},
                                             {"--check", "--other", "'\"", P("a.csv")},
                                             {"--escape", "--other=;\"", P("a.csv")}}) {
    Result r = Cli(args);
    EXPECT_EQ(r.code, kCliUsageError) << ::testing::PrintToString(args);
    EXPECT_EQ(r.err.rfind("delvora-convert: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("--help"), std::string::npos);
    EXPECT_EQ(r.out + r.stdout_bytes, "");
  }
  EXPECT_FALSE(fs::exists(dir_ / "a.tsv"));
  EXPECT_FALSE(fs::exists(dir_ / "x.tsv"));
  EXPECT_NE(Cli({"--out", P("a.csv"), P("a.csv")}).err.find("is a file, not a folder"),
            std::string::npos);
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

TEST_F(ConvertCliTest, HelpSaysWhatUsersTripOver) {
  const std::string help = Cli({"--help"}).out;
  for (const char* text : {"only when it is a terminal", ".tsv input\nis converted in place",
                           "not valid UTF-8", "-j, --jobs N", "--dry-run", "-o, --output FILE",
                           "--quotes", "--escape", "--check", "(default: 2,"})
    EXPECT_NE(help.find(text), std::string::npos) << text;
}

// Every encoding reads from "-" and writes to "-" exactly as it converts from
// and to files, and nothing else reaches the standard output.
TEST_F(ConvertCliTest, StandardStreamsConvertLikeFiles) {
  using namespace std::string_literals;
  for (const std::string& input :
       {"a,b\nc,d"s,
        "\xEF\xBB\xBF"
        "a,\xC3\xA9\r\n"s,
        "\xFF\xFEx\0,\0y\0\n\0"s, "\xFE\xFF\0x\0,\0y\0\n"s, "\xFF\xFE\0\0x\0\0\0,\0\0\0\n\0\0\0"s,
        "\0\0\xFE\xFF\0\0\0x\0\0\0,"s, ""s}) {
    const std::string shown = ::testing::PrintToString(input);
    testing::WriteFile(dir_ / "in.csv", input);
    ASSERT_EQ(Cli({P("in.csv")}).code, kCliAllConverted);
    const std::string expected = testing::ReadFile(dir_ / "in.tsv");

    Result piped = Cli({"-q", "-"}, true, input);
    EXPECT_EQ(piped.code, kCliAllConverted) << shown << piped.err;
    EXPECT_EQ(piped.stdout_bytes, expected) << shown;
    EXPECT_EQ(piped.out + piped.err, "") << shown;

    Result to_file = Cli({"-", "-o", P("named.tsv")}, false, input);
    EXPECT_EQ(to_file.code, kCliAllConverted) << shown;
    EXPECT_EQ(testing::ReadFile(dir_ / "named.tsv"), expected) << shown;

    Result from_file = Cli({"-o-", P("in.csv")});
    EXPECT_EQ(from_file.stdout_bytes, expected) << shown;
  }
  EXPECT_EQ(Cli({"-"}, false, "1,2\n").stdout_bytes, "1\t2\r\n");
  // "-" among files: only its result goes to the standard output.
  testing::WriteFile(dir_ / "f.csv", "3,4\n");
  Result mixed = Cli({P("f.csv"), "-"}, true, "1,2\n");
  EXPECT_EQ(mixed.stdout_bytes, "1\t2\r\n");
  EXPECT_EQ(Lines(mixed.err),
            (std::vector<std::string>{"file 1 of 2: " + P("f.csv"), "file 2 of 2: -"}));
  EXPECT_EQ(testing::ReadFile(dir_ / "f.tsv"), "3\t4\r\n");
}

TEST_F(ConvertCliTest, AFailedStandardOutputSaysWhetherPartOfTheResultWentOut) {
  Result before = Cli({"-"}, false, "1,2\n", 1);
  EXPECT_EQ(before.code, kCliSomeFailed);
  EXPECT_EQ(before.err, "delvora-convert: -: cannot write the standard output: Disk full\n");
  Result after = Cli({"-"}, false,
                     "\xEF\xBB\xBF"
                     "1,2\n",
                     2);  // the mark went out
  EXPECT_EQ(after.err,
            "delvora-convert: -: cannot write the standard output: Disk full (the standard output "
            "holds an incomplete result)\n");
  Result missing = Cli({"-o", "-", P("missing.csv")});
  EXPECT_EQ(missing.err, "delvora-convert: " + P("missing.csv") + ": File not found\n");
}

TEST_F(ConvertCliTest, OutputFileDryRunAndCombinedOptions) {
  testing::WriteFile(dir_ / "a.csv", "x;y\n");
  fs::create_directory(dir_ / "out");
  Result named = Cli({"-qdsemicolon", "--output=" + P("out/b.txt"), P("a.csv")});
  EXPECT_EQ(named.code, kCliAllConverted) << named.err;
  EXPECT_EQ(testing::ReadFile(dir_ / "out" / "b.txt"), "x\ty\r\n");
  EXPECT_FALSE(fs::exists(dir_ / "a.tsv"));
  EXPECT_EQ(Cli({"-o" + P("c.tsv"), "-dtab", "--jobs", "3", P("a.csv")}).code, kCliAllConverted);
  EXPECT_EQ(testing::ReadFile(dir_ / "c.tsv"), "x;y\r\n");

  fs::create_directories(dir_ / "in" / "sub");
  testing::WriteFile(dir_ / "in" / "sub" / "d.csv", "1\n");
  Result dry = Cli({"-qj2", "--dry-run", "--out", P("out"), P("a.csv"), P("in")}, true);
  EXPECT_EQ(dry.code, kCliAllConverted) << dry.err;
  EXPECT_EQ(dry.err, "");
  EXPECT_EQ(Lines(dry.out),
            (std::vector<std::string>{P("a.csv") + " \u2192 " + P("out/a.tsv"),
                                      P("in/sub/d.csv") + " \u2192 " + P("out/d.tsv")}));
  EXPECT_FALSE(fs::exists(dir_ / "out" / "a.tsv"));
  EXPECT_EQ(Lines(Cli({"--dry-run", "-", "-o", P("e.tsv")}).out),
            (std::vector<std::string>{"- \u2192 " + P("e.tsv")}));
}

TEST_F(ConvertCliTest, MessagesShowNormalisedNamesOnOneLine) {
  fs::create_directories(dir_ / "empty" / "sub");
  fs::create_directory(dir_ / "x");
  testing::WriteFile(dir_ / "x" / "a.csv", "1,2\n");
  std::vector<std::string> args = {"./x//a.csv", "empty/"};
  std::vector<std::string> expected = {
      "delvora-convert: warning: " + P("empty/") + ": no *.csv file in this folder or below it",
      "file 1 of 3: " + P("x/a.csv")};
#ifndef _WIN32  // Windows names hold no control characters and no broken UTF-8
  testing::WriteFile(dir_ / "x" / "b\nc\x1B[2J.csv", "1,2\n");
  args.insert(args.end(), {"x/./b\nc\x1B[2J.csv", "x/bad\xFF\xC2\x9B.csv"});
  expected.insert(
      expected.end(),
      {"file 2 of 3: " + P("x/b\\nc\\x1B[2J.csv"), "file 3 of 3: " + P("x/bad\\xFF\\u009B.csv"),
       "delvora-convert: " + P("x/bad\\xFF\\u009B.csv") + ": File not found"});
#else
  args.push_back("x/a.csv");
  args.push_back("x/gone.csv");
  expected.insert(expected.end(),
                  {"file 2 of 3: " + P("x/a.csv"), "file 3 of 3: " + P("x/gone.csv"),
                   "delvora-convert: " + P("x/gone.csv") + ": File not found"});
#endif
  args.insert(args.begin(), "-j1");
  fs::current_path(dir_.path());
  Result r = Cli(args, true);
  fs::current_path(fs::temp_directory_path());
  EXPECT_EQ(r.code, kCliSomeFailed);
  EXPECT_EQ(testing::ReadFile(dir_ / "x" / "a.tsv"), "1\t2\r\n");
  EXPECT_EQ(Lines(r.err), expected);
}

// Work in parallel, report in order: the same lines and the same bytes as
// one file at a time, also when inputs repeat or results replace inputs.
TEST_F(ConvertCliTest, JobsKeepTheOrderAndTheBytesOfOneAtATime) {
  std::vector<std::string> args;
  for (int i = 0; i < 24; ++i) {
    const std::string name = std::to_string(i) + ".csv";
    if (i % 5 != 3)
      testing::WriteFile(dir_ / name, std::string(static_cast<std::size_t>(i) * 7000, ',') + "\n");
    args.push_back(P(name));
  }
  testing::WriteFile(dir_ / "again.tsv", "a,b\n");
  for (const char* twice : {"1.csv", "again.tsv", "2.csv", "again.tsv"}) args.push_back(P(twice));
  const auto run = [&](const std::string& jobs) {
    std::vector<std::string> with = args;
    with.insert(with.begin(), jobs);
    Result r = Cli(with, true);
    std::vector<std::string> outputs;
    for (const std::string& arg : args) {
      const fs::path tsv = fs::path(arg).replace_extension(".tsv");
      outputs.push_back(fs::exists(tsv) ? testing::ReadFile(tsv) : "(none)");
      if (fs::path(arg).extension() != ".tsv") fs::remove(tsv);
    }
    return std::make_tuple(r.code, r.err, outputs);
  };
  const auto one = run("-j1");
  EXPECT_EQ(std::get<0>(one), kCliSomeFailed);
  EXPECT_EQ(Lines(std::get<1>(one)).size(), 28u + 5u);
  testing::WriteFile(dir_ / "again.tsv", "a,b\n");
  EXPECT_EQ(run("-j4"), one);
}

// A result that would destroy an input still to be read, or a result of the
// same run, is refused with one line naming both inputs; the rest converts.
TEST_F(ConvertCliTest, CollisionsAreRefusedInInputOrderWhateverTheJobs) {
  struct Case {
    std::vector<std::string> args;
    std::string line;   // "" when nothing is refused
    std::string a_tsv;  // a.tsv afterwards
  };
  const std::string exists = ": File already exists";
  const std::vector<Case> cases = {
      {{P("a.csv"), P("a.tsv")},
       "delvora-convert: " + P("a.csv") + ": cannot write " + P("a.tsv") + exists +
           " (it is the input " + P("a.tsv") + ", not yet converted)",
       "a.tsv\t1\r\n"},
      {{"--out", P("o"), P("x/a.csv"), P("y/a.csv")},
       "delvora-convert: " + P("y/a.csv") + ": cannot write " + P("o/a.tsv") + exists +
           " (written from " + P("x/a.csv") + " earlier in this run)",
       "a.tsv,1\n"},
      {{P("a.csv"), P("b.txt"), P("a.txt")},
       "delvora-convert: " + P("a.txt") + ": cannot write " + P("a.tsv") + exists +
           " (written from " + P("a.csv") + " earlier in this run)",
       "a.csv\t1\r\n"},
      {{P("b.txt"), P("a.tsv"), P("b.txt"), P("a.tsv")}, "", "a.tsv\t1\r\n"},
  };
  for (const char* jobs : {"-j1", "-j3"}) {
    for (const Case& c : cases) {
      fs::remove_all(dir_.path());
      fs::create_directories(dir_ / "x");
      fs::create_directories(dir_ / "y");
      fs::create_directories(dir_ / "o");
      for (const char* name : {"a.csv", "a.tsv", "a.txt", "b.txt", "x/a.csv", "y/a.csv"})
        testing::WriteFile(dir_ / name, std::string(name) + ",1\n");
      std::vector<std::string> args = c.args;
      args.insert(args.begin(), jobs);
      Result r = Cli(args);
      const std::string shown = jobs + ::testing::PrintToString(c.args);
      EXPECT_EQ(r.code, c.line.empty() ? kCliAllConverted : kCliSomeFailed) << shown;
      EXPECT_EQ(r.err, c.line.empty() ? "" : c.line + "\n") << shown;
      EXPECT_EQ(testing::ReadFile(dir_ / "a.tsv"), c.a_tsv) << shown;
    }
    EXPECT_EQ(testing::ReadFile(dir_ / "b.tsv"), "b.txt\t1\r\n");
  }
  EXPECT_EQ(Cli({"--dry-run", "--out", P("o"), P("x/a.csv"), P("y/a.csv")}).code, kCliSomeFailed);
}

TEST_F(ConvertCliTest, QuoteAwareModesAndTheCheck) {
  testing::WriteFile(dir_ / "plain.csv", "a,b\n1,2\n");
  testing::WriteFile(dir_ / "quoted.csv", "a,b\n\"1,5\",2\n");
  testing::WriteFile(dir_ / "open.csv", "a,b\n\"1,2\n");
  // The check: one line per file on the standard output, in order; the
  // status says whether every file is safe for the chosen mode.
  struct Case {
    std::vector<std::string> args;
    int code;
    std::vector<std::string> verdicts;  // the start of the text after "verdict: "
  };
  for (const Case& c : std::vector<Case>{
           {{P("plain.csv"), P("quoted.csv")}, kCliSomeFailed, {"safe", "needs --quotes"}},
           {{"-j2", P("plain.csv"), P("quoted.csv"), "--quotes"},
            kCliAllConverted,
            {"safe", "safe"}},
           {{"--escape", P("open.csv")}, kCliSomeFailed, {"unclosed quote"}},
           {{P("plain.csv")}, kCliAllConverted, {"safe"}},
           {{"-"}, kCliSomeFailed, {"needs --quotes"}}}) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "--check");
    Result r = Cli(args, false, "\"x,y\"\n");
    const std::string shown = ::testing::PrintToString(args);
    EXPECT_EQ(r.code, c.code) << shown << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), c.verdicts.size()) << shown;
    std::vector<std::string> paths;
    for (const std::string& arg : c.args)
      if (arg == "-" || arg[0] != '-') paths.push_back(arg);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const std::string& path = paths[i];
      EXPECT_EQ(lines[i].rfind(path + ": ", 0), 0u) << lines[i];
      EXPECT_NE(lines[i].find("verdict: " + c.verdicts[i]), std::string::npos) << lines[i];
    }
  }
  Result missing = Cli({"--check", P("missing.csv")});
  EXPECT_EQ(missing.code, kCliSomeFailed);
  EXPECT_EQ(missing.err, "delvora-convert: " + P("missing.csv") + ": File not found\n");
  EXPECT_FALSE(fs::exists(dir_ / "plain.tsv"));

  // The modes reach the engine; an unclosed quote fails its file only.
  EXPECT_EQ(Cli({"--quotes", P("quoted.csv")}).code, kCliAllConverted);
  EXPECT_EQ(testing::ReadFile(dir_ / "quoted.tsv"), "a\tb\r\n1,5\t2\r\n");
  EXPECT_EQ(Cli({"--escape", "-"}, false, "\"a\tb\",c\n").stdout_bytes, "a\\tb\tc\r\n");
  Result open = Cli({"--quotes", P("open.csv"), P("plain.csv")});
  EXPECT_EQ(open.code, kCliSomeFailed);
  EXPECT_EQ(Lines(open.err).size(), 1u) << open.err;
  EXPECT_FALSE(fs::exists(dir_ / "open.tsv"));
  EXPECT_TRUE(fs::exists(dir_ / "plain.tsv"));
  Result piped = Cli({"--quotes", "-"}, false,
                     "\xEF\xBB\xBF"
                     "a\n\"b\n");
  EXPECT_NE(piped.err.find("(the standard output holds an incomplete result)"), std::string::npos)
      << piped.err;
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
  // The real standard streams, byte for byte.
  testing::WriteFile(dir_ / "u16.csv", std::string("\xFF\xFE"
                                                   "a\0,\0\n\0",
                                                   8));
  EXPECT_EQ(status(exe + " - <'" + P("u16.csv") + "' >'" + P("piped.tsv") + "'"), 0);
  EXPECT_EQ(testing::ReadFile(dir_ / "piped.tsv"), std::string("\xFF\xFE"
                                                               "a\0\t\0\r\0\n\0",
                                                               10));
}
#endif

}  // namespace
}  // namespace delvora
