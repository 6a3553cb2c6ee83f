#include "cli/options.h"

#include <algorithm>
#include <charconv>
#include <iterator>

#include "cli/messages.h"
#include "conversion/paths.h"
#include "platform/file_system.h"
#include "platform/utf8.h"
#include "platform/utf8_path.h"

namespace delvora {

const char* const kUsage =
    "Usage: delvora-convert [options] PATH...\n"
    "Converts delimited text files into tab-separated .tsv files.\n"
    "\n"
    "A PATH that is a file is converted whatever its extension; a .tsv input\n"
    "is converted in place. A folder adds every *.csv file in it and in all\n"
    "folders below it, breadth-first, skipping files whose names begin with\n"
    "\"~\" and folders, with all below them, whose names are not valid UTF-8 or\n"
    "hold a control character; a file is taken whatever bytes its name holds.\n"
    "A PATH \"-\" reads the standard input and writes its result to the\n"
    "standard output. On Windows, * and ? in a PATH that names no file are\n"
    "expanded, in Explorer's order.\n"
    "\n"
    "Options:\n"
    "  -d, --delimiter NAME  comma (default), comma-space, semicolon or tab\n"
    "      --other TEXT      any delimiter text; wins over -d\n"
    "      --quotes          read quoted fields: a delimiter or line break inside\n"
    "                        double quotes belongs to its field\n"
    "      --escape          as --quotes, but write tabs, line breaks and\n"
    "                        backslashes inside fields as \\t \\n \\r \\\\\n"
    "      --line-end END    crlf (default) or lf: what each written line ends in\n"
    "      --check           write nothing; print for each file what it holds\n"
    "                        (mark, text, line ends, field counts, tabs, quotes)\n"
    "                        and whether the chosen mode reads it right\n"
    "      --json            with --check: one JSON object per file\n"
    "      --strict          with --check: lines whose field count differs from\n"
    "                        the most common one make a file not safe\n"
    "      --out DIR         write every result into DIR (default: beside its input)\n"
    "  -o, --output FILE     write the result of the single PATH to FILE\n"
    "                        (\"-\": the standard output)\n"
    "      --files-from FILE also take the PATHs listed in FILE, one a line\n"
    "                        (\"-\": the standard input); lists add up\n"
    "  -0, --null            the --files-from names end in NUL, not line ends\n"
    "  -j, --jobs N          convert up to N files at once (default: 2, which on\n"
    "                        two cores beats 1 for small and large files alike)\n"
    "      --dry-run         print \"input \xE2\x86\x92 output\" for every file; write nothing\n"
    "  -q, --quiet           no progress lines\n"
    "  -h, --help            show this help and exit\n"
    "      --version         show the version and exit\n"
    "\n"
    "Short options combine (-qj2); a value follows its option as -dtab,\n"
    "--delimiter=tab or --delimiter tab; \"--\" ends the options.\n"
    "\n"
    "Each result takes its input's name with the last extension replaced by\n"
    "\".tsv\" and replaces an earlier result, but never another input of the\n"
    "same run nor a result the run wrote from another input. Files with a\n"
    "UTF-16 or UTF-32 mark give UTF-16 output, files with the UTF-8 mark UTF-8\n"
    "output, others the same bytes with the delimiters replaced. Every line\n"
    "ends in CR LF (LF with --line-end lf). Marked UTF-16 or UTF-32 text that\n"
    "cannot be decoded fails, naming the byte offset; nothing is written.\n"
    "\n"
    "Progress lines go to the standard error, and only when it is a terminal.\n"
    "In names, backslashes, control characters, bytes that are not UTF-8 and\n"
    "invisible or direction-changing characters are shown escaped (\\\\, \\n,\n"
    "\\xHH, \\u202E).\n"
    "\n"
    "Exit status: 0 when every input converted (with --check: when every file\n"
    "is safe for the chosen mode), 1 otherwise (also when the standard output\n"
    "cannot be written), 2 for a usage error.\n";

namespace {

// -d names, in the order of the window's options Option1 to Option4.
constexpr const char* kDelimiterNames[] = {"comma", "comma-space", "semicolon", "tab"};

enum class OptionId {
  kDelimiter,
  kOther,
  kOut,
  kOutput,
  kJobs,
  kFilesFrom,
  kNull,
  kLineEnd,
  kQuotes,
  kEscape,
  kCheck,
  kJson,
  kStrict,
  kDryRun,
  kQuiet,
  kHelp,
  kVersion,
};

struct OptionSpec {
  char short_name;  // 0: none
  std::string_view long_name;
  bool takes_value;
  OptionId id;
};

constexpr OptionSpec kOptions[] = {
    {'d', "delimiter", true, OptionId::kDelimiter},
    {0, "other", true, OptionId::kOther},
    {0, "out", true, OptionId::kOut},
    {'o', "output", true, OptionId::kOutput},
    {'j', "jobs", true, OptionId::kJobs},
    {0, "files-from", true, OptionId::kFilesFrom},
    {'0', "null", false, OptionId::kNull},
    {0, "line-end", true, OptionId::kLineEnd},
    {0, "quotes", false, OptionId::kQuotes},
    {0, "escape", false, OptionId::kEscape},
    {0, "check", false, OptionId::kCheck},
    {0, "json", false, OptionId::kJson},
    {0, "strict", false, OptionId::kStrict},
    {0, "dry-run", false, OptionId::kDryRun},
    {'q', "quiet", false, OptionId::kQuiet},
    {'h', "help", false, OptionId::kHelp},
    {0, "version", false, OptionId::kVersion},
};

unsigned ParseJobs(const std::string& text) {
  unsigned jobs = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, jobs);
  if (error != std::errc() || stop != end || jobs < 1 || jobs > kMaxJobs)
    throw UsageError{"the number of jobs must be a whole number from 1 to " +
                     std::to_string(kMaxJobs) + ", not " + Quoted(text)};
  return jobs;
}

void Apply(CliOptions& options, OptionId id, const std::string& value) {
  switch (id) {
    case OptionId::kDelimiter: {
      const auto* found = std::find(std::begin(kDelimiterNames), std::end(kDelimiterNames), value);
      if (found == std::end(kDelimiterNames))
        throw UsageError{"unknown delimiter " + Quoted(value) +
                         " (use comma, comma-space, semicolon or tab, or --other TEXT)"};
      options.named_delimiter = static_cast<std::size_t>(found - std::begin(kDelimiterNames));
      break;
    }
    case OptionId::kOther:
      // The window lets an empty "Other" run and change nothing; typed on a
      // command line it is always a slip.
      if (value.empty()) throw UsageError{"the --other text is empty"};
      if (!Utf8ToCodePoints(value)) throw UsageError{"the --other text is not valid UTF-8"};
      options.other = value;
      break;
    case OptionId::kOut:
      options.out_folder = value;
      break;
    case OptionId::kOutput:
      options.output_file = value;
      break;
    case OptionId::kJobs:
      options.jobs = ParseJobs(value);
      break;
    case OptionId::kFilesFrom:
      if (value.empty()) throw UsageError{"the --files-from file name is empty"};
      options.files_from.push_back(value);
      break;
    case OptionId::kNull:
      options.null_separated = true;
      break;
    case OptionId::kLineEnd:
      if (value != "crlf" && value != "lf")
        throw UsageError{"unknown line end " + Quoted(value) + " (use crlf or lf)"};
      options.line_end_lf = value == "lf";
      options.line_end_given = true;
      break;
    case OptionId::kJson:
      options.json = true;
      break;
    case OptionId::kStrict:
      options.strict = true;
      break;
    case OptionId::kQuotes:
      options.quotes = true;
      break;
    case OptionId::kEscape:
      options.escape = true;
      break;
    case OptionId::kCheck:
      options.check = true;
      break;
    case OptionId::kDryRun:
      options.dry_run = true;
      break;
    case OptionId::kQuiet:
      options.quiet = true;
      break;
    case OptionId::kHelp:
      options.help = true;
      break;
    case OptionId::kVersion:
      options.version = true;
      break;
  }
}

}  // namespace

CliOptions ParseOptions(const std::vector<std::string>& args) {
  CliOptions options;
  bool only_paths = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (only_paths || arg.size() < 2 || arg[0] != '-') {
      if (arg.empty()) throw UsageError{"an empty PATH"};
      options.paths.push_back(arg);
      continue;
    }
    if (arg == "--") {
      only_paths = true;
      continue;
    }
    const auto next_value = [&](const std::string& name) -> std::string {
      if (i + 1 >= args.size()) throw UsageError{"option '" + name + "' needs a value"};
      return args[++i];
    };
    if (arg[1] == '-') {
      const std::size_t eq = arg.find('=');
      const std::string name = arg.substr(0, eq);
      const auto* spec =
          std::find_if(std::begin(kOptions), std::end(kOptions),
                       [&](const OptionSpec& s) { return name.substr(2) == s.long_name; });
      if (spec == std::end(kOptions)) throw UsageError{"unknown option " + Quoted(name)};
      if (!spec->takes_value) {
        if (eq != std::string::npos) throw UsageError{"option '" + name + "' takes no value"};
        Apply(options, spec->id, "");
      } else {
        Apply(options, spec->id, eq != std::string::npos ? arg.substr(eq + 1) : next_value(name));
      }
      continue;
    }
    for (std::size_t at = 1; at < arg.size(); ++at) {
      const auto* spec = std::find_if(std::begin(kOptions), std::end(kOptions),
                                      [&](const OptionSpec& s) { return s.short_name == arg[at]; });
      const std::string name = std::string("-") + arg[at];
      if (spec == std::end(kOptions)) throw UsageError{"unknown option " + Quoted(name)};
      if (!spec->takes_value) {
        Apply(options, spec->id, "");
        continue;
      }
      Apply(options, spec->id, at + 1 < arg.size() ? arg.substr(at + 1) : next_value(name));
      break;
    }
  }
  return options;
}

std::vector<std::string> ParseFileList(std::string_view text, bool null_separated) {
  std::vector<std::string> names;
  FileListReader reader(null_separated);
  const auto add = [&](std::string_view name) { names.emplace_back(name); };
  reader.Feed(text, add);
  reader.Finish(add);
  return names;
}

void ValidateOptions(const CliOptions& options) {
  // A list may well be empty: the program that made it found nothing.
  if (options.paths.empty() && options.files_from.empty()) throw UsageError{"no PATH given"};
  if (options.null_separated && options.files_from.empty())
    throw UsageError{"-0 says how a --files-from list is separated: give --files-from"};
  if ((options.json || options.strict) && !options.check)
    throw UsageError{"--json and --strict shape the --check report: give --check"};
  const auto std_inputs = std::count_if(options.paths.begin(), options.paths.end(),
                                        [](const std::string& p) { return IsStdStream(p); });
  const auto std_lists = std::count_if(options.files_from.begin(), options.files_from.end(),
                                       [](const std::string& p) { return IsStdStream(p); });
  if (std_inputs + std_lists > 1)
    throw UsageError{"the standard input ('-') can be read only once"};
  if (options.quotes && options.escape)
    throw UsageError{"--quotes and --escape are two ways of writing quoted fields: give one"};
  for (const std::string& list : options.files_from) {
    if (!IsStdStream(list) && FolderExists(RunPath(list)))
      throw UsageError{"the --files-from list " + Quoted(list) +
                       " is a folder; give a file that lists names"};
  }
  if (options.check &&
      (options.out_folder || options.output_file || options.dry_run || options.line_end_given))
    throw UsageError{"--check writes nothing: it takes no --out, -o, --dry-run or --line-end"};
  if (options.out_folder && options.output_file)
    throw UsageError{"--out and -o both say where results go: give one"};
  if (options.out_folder) {
    if (std_inputs > 0)
      throw UsageError{
          "the standard input ('-') has no name to write into the --out folder; "
          "use -o FILE"};
    const std::string folder = RunPath(*options.out_folder);
    if (IsExistingFile(folder))
      throw UsageError{"the --out folder " + Quoted(*options.out_folder) +
                       " is a file, not a folder"};
    if (!FolderExists(folder))
      throw UsageError{"the --out folder " + Quoted(*options.out_folder) + " does not exist"};
  }
  if (options.output_file) {
    // With a list, the names are counted once it is read.
    if (options.files_from.empty() && options.paths.size() != 1)
      throw UsageError{"-o takes a single PATH"};
    if (options.paths.size() == 1 && !IsStdStream(options.paths[0]) &&
        FolderExists(RunPath(options.paths[0])))
      throw UsageError{"-o takes a file, and " + Quoted(options.paths[0]) + " is a folder"};
    if (options.paths.size() > 1) throw UsageError{"-o takes a single PATH"};
    if (options.output_file->empty()) throw UsageError{"the -o file name is empty"};
    if (!IsStdStream(*options.output_file) && FolderExists(RunPath(*options.output_file)))
      throw UsageError{"-o names the folder " + Quoted(*options.output_file) +
                       "; use --out for a folder"};
  }
  // Quote-aware reading (which --check does too) needs '"' to open a field.
  if ((options.quotes || options.escape || options.check) &&
      ResolveDelimiter(ChoiceOf(options)).find('"') != std::string::npos)
    throw UsageError{
        "a delimiter that contains '\"' cannot be read with --quotes, --escape "
        "or --check"};
}

DelimiterChoice ChoiceOf(const CliOptions& options) {
  DelimiterChoice choice;
  if (options.other) {
    choice.selected[4] = true;
    choice.other = *options.other;
  } else {
    choice.selected[options.named_delimiter] = true;
  }
  return choice;
}

std::string RunPath(const std::string& utf8) {
  return NormalPath(AbsolutePath(utf8), kNativeSeparator);
}

}  // namespace delvora
