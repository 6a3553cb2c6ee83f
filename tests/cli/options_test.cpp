#include "cli/options.h"

#include <gtest/gtest.h>

#include "cli/name_list.h"

namespace delvora {
namespace {

TEST(ParseOptions, ReadsTheCommandLineAsGetoptWould) {
  const auto with = [](auto change) {
    CliOptions options;
    options.paths = {"a"};
    change(options);
    return options;
  };
  const std::vector<std::pair<std::vector<std::string>, CliOptions>> accepted = {
      {{"-qj3", "--dry-run", "a"}, with([](CliOptions& o) {
         o.quiet = o.dry_run = true;
         o.jobs = 3;
       })},
      {{"-dtab", "a"}, with([](CliOptions& o) { o.named_delimiter = 3; })},
      {{"--delimiter=semicolon", "a"}, with([](CliOptions& o) { o.named_delimiter = 2; })},
      {{"-d", "comma-space", "--other", "::", "a"}, with([](CliOptions& o) {
         o.named_delimiter = 1;
         o.other = "::";
       })},
      {{"-o-", "--out", "d", "--jobs=256", "a"}, with([](CliOptions& o) {
         o.output_file = "-";
         o.out_folder = "d";
         o.jobs = 256;
       })},
      {{"--quotes", "--escape", "--check", "-h", "--version", "a"},
       with([](CliOptions& o) { o.quotes = o.escape = o.check = o.help = o.version = true; })},
      {{"-q0", "--files-from=-", "--line-end", "lf", "--json", "--strict", "--files-from", "l",
        "a"},
       with([](CliOptions& o) {
         o.quiet = o.null_separated = o.line_end_lf = o.line_end_given = o.json = o.strict = true;
         o.files_from = {"-", "l"};
       })},
      {{"--line-end=crlf", "a"}, with([](CliOptions& o) { o.line_end_given = true; })},
      {{"-", "--", "-q", "--"}, with([](CliOptions& o) {
         o.paths = {"-", "-q", "--"};
       })},
  };
  for (const auto& [args, options] : accepted) {
    try {
      EXPECT_TRUE(ParseOptions(args) == options) << ::testing::PrintToString(args);
    } catch (const UsageError& usage) {
      ADD_FAILURE() << ::testing::PrintToString(args) << usage.message;
    }
  }

  const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"--bo\ngus"}, "unknown option '--bo\\ngus'"},
      {{"-qx"}, "unknown option '-x'"},
      {{"-q=1"}, "unknown option '-='"},
      {{"--dry-run=yes"}, "option '--dry-run' takes no value"},
      {{"-d"}, "option '-d' needs a value"},
      {{"a", "--jobs"}, "option '--jobs' needs a value"},
      {{"-d", "pipe"}, "unknown delimiter 'pipe'"},
      {{""}, "an empty PATH"},
      {{"--other="}, "the --other text is empty"},
      {{"--other", ""}, "the --other text is empty"},
      {{"--other", "\xFF"}, "the --other text is not valid UTF-8"},
      {{"-j0"}, "from 1 to 256, not '0'"},
      {{"-j257"}, "from 1 to 256, not '257'"},
      {{"--jobs", "two"}, "from 1 to 256, not 'two'"},
      {{"-j", "2x"}, "from 1 to 256, not '2x'"},
      {{"--line-end", "CR"}, "unknown line end 'CR' (use crlf or lf)"},
      {{"--files-from="}, "the --files-from file name is empty"},
  };
  for (const auto& [args, error] : refused) {
    try {
      ParseOptions(args);
      ADD_FAILURE() << ::testing::PrintToString(args);
    } catch (const UsageError& usage) {
      EXPECT_NE(usage.message.find(error), std::string::npos)
          << ::testing::PrintToString(args) << usage.message;
    }
  }
}

TEST(ParseFileList, NamesOneALineOrNulSeparated) {
  EXPECT_EQ(ParseFileList("a.csv\r\n\nb c.csv\nlast", false),
            (std::vector<std::string>{"a.csv", "b c.csv", "last"}));
  EXPECT_EQ(ParseFileList(std::string("a\nb\0\0c\r\0", 8), true),
            (std::vector<std::string>{"a\nb", "c\r"}));
  // Names are bytes, as on the command line; a mark at the start of the
  // list is no part of its first name; "-" is no file a list can name.
  EXPECT_EQ(ParseFileList("\xEF\xBB\xBFok\n\xFF.csv\n", false),
            (std::vector<std::string>{"ok", "\xFF.csv"}));
  EXPECT_EQ(ParseFileList("a\n\xEF\xBB\xBF", false),
            (std::vector<std::string>{"a", "\xEF\xBB\xBF"}));
  EXPECT_EQ(ParseFileList("\xEF\xBB", false), (std::vector<std::string>{"\xEF\xBB"}));
  EXPECT_THROW(ParseFileList("a\n-\r\nb", false), UsageError);
  // The mark arriving a byte at a time.
  FileListReader reader(true);
  std::vector<std::string> names;
  const auto add = [&](std::string_view name) { names.emplace_back(name); };
  for (const char c : std::string("\xEF\xBB\xBF"
                                  "a\0b",
                                  6))
    reader.Feed(std::string_view(&c, 1), add);
  reader.Finish(add);
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b"}));
}

// The run's store of names: in order, by number, across its chunks, with
// names of every length (empty, holding NUL, longer than a chunk).
TEST(NameList, GivesBackEveryNameInOrderAndByNumber) {
  NameList names;
  std::vector<std::string> kept;
  for (std::size_t i = 0; i < 70000; ++i) {
    std::string name = "name" + std::to_string(i) + std::string(i % 300, 'x');
    if (i == 5) name = std::string("a\0b", 3);
    if (i == 6) name.clear();
    if (i == 40000) name = std::string(3u << 20, 'y');
    names.Add(name);
    kept.push_back(std::move(name));
  }
  ASSERT_EQ(names.size(), kept.size());
  NameList::Cursor cursor(names, 0);
  for (const std::string& name : kept) ASSERT_EQ(cursor.Next(), name);
  for (const std::size_t i : {0u, 5u, 6u, 63u, 64u, 65u, 39999u, 40000u, 40001u, 69999u})
    EXPECT_EQ(names[i], kept[i]) << i;
  NameList::Cursor from(names, 40001);
  EXPECT_EQ(from.Next(), kept[40001]);
  const NameList empty;
  NameList::Cursor none(empty, 0);  // an empty list has nothing to read
}

}  // namespace
}  // namespace delvora
