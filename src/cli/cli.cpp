#include "cli/cli.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string_view>

#include "conversion/converter.h"
#include "conversion/delimiter.h"
#include "conversion/encoding.h"
#include "conversion/paths.h"
#include "filelist/folder_walk.h"
#include "platform/file_system.h"
#include "platform/product.h"
#include "platform/utf8_path.h"

namespace delvora {

namespace {

constexpr const char* kProgram = "delvora-convert";

constexpr const char* kUsage =
    "Usage: delvora-convert [options] PATH...\n"
    "Converts delimited text files into tab-separated .tsv files.\n"
    "\n"
    "A PATH that is a file is converted whatever its extension. A folder adds\n"
    "every *.csv file in it and in all folders below it, breadth-first,\n"
    "skipping names that begin with \"~\".\n"
    "\n"
    "Options:\n"
    "  -d, --delimiter NAME  comma (default), comma-space, semicolon or tab\n"
    "      --other TEXT      any delimiter text; wins over -d\n"
    "      --out DIR         write every result into DIR (default: beside its input)\n"
    "  -q, --quiet           no progress lines\n"
    "  -h, --help            show this help and exit\n"
    "      --version         show the version and exit\n"
    "\n"
    "Each result takes its input's name with the last extension replaced by\n"
    "\".tsv\" and replaces an earlier result. Files with a UTF-16 or UTF-32\n"
    "mark give UTF-16 output, files with the UTF-8 mark UTF-8 output, others\n"
    "the same bytes with the delimiters replaced. Every line ends in CR LF.\n"
    "\n"
    "Exit status: 0 when every input converted, 1 when any failed, 2 for a\n"
    "usage error.\n";

struct CliOptions {
  std::size_t named_delimiter = 0;  // index into kDelimiterNames
  std::optional<std::string> other;
  std::optional<std::string> out_folder;
  bool quiet = false;
  bool help = false;
  bool version = false;
  std::vector<std::string> paths;
};

struct UsageError {
  std::string message;
};

// -d names, in the order of the window's options Option1 to Option4.
constexpr const char* kDelimiterNames[] = {"comma", "comma-space", "semicolon", "tab"};

// The same choice the window would hold: one option selected, "Other"
// (Option5) when --other is given, whatever -d says.
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

CliOptions Parse(const std::vector<std::string>& args) {
  CliOptions options;
  bool only_paths = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (only_paths || arg.empty() || arg[0] != '-' || arg == "-") {
      options.paths.push_back(arg);
      continue;
    }
    if (arg == "--") {
      only_paths = true;
      continue;
    }
    // "--name=value", "--name value", "-d value" and "-dvalue".
    std::string name = arg;
    std::optional<std::string> value;
    if (arg.rfind("--", 0) == 0) {
      const std::size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        name = arg.substr(0, eq);
        value = arg.substr(eq + 1);
      }
    } else if (arg.size() > 2) {
      name = arg.substr(0, 2);
      value = arg.substr(2);
    }
    const auto take_value = [&]() -> std::string {
      if (value) return *value;
      if (i + 1 >= args.size()) throw UsageError{"option '" + name + "' needs a value"};
      return args[++i];
    };
    const auto no_value = [&] {
      if (value) throw UsageError{"option '" + name + "' takes no value"};
    };
    if (name == "-d" || name == "--delimiter") {
      const std::string choice = take_value();
      const auto* found = std::find(std::begin(kDelimiterNames), std::end(kDelimiterNames), choice);
      if (found == std::end(kDelimiterNames))
        throw UsageError{"unknown delimiter '" + choice +
                         "' (use comma, comma-space, semicolon or tab, or --other TEXT)"};
      options.named_delimiter = static_cast<std::size_t>(found - std::begin(kDelimiterNames));
    } else if (name == "--other") {
      options.other = take_value();
      if (!Utf8ToCodePoints(*options.other))
        throw UsageError{"the --other text is not valid UTF-8"};
    } else if (name == "--out") {
      options.out_folder = take_value();
    } else if (name == "-q" || name == "--quiet") {
      no_value();
      options.quiet = true;
    } else if (name == "-h" || name == "--help") {
      no_value();
      options.help = true;
    } else if (name == "--version") {
      no_value();
      options.version = true;
    } else {
      throw UsageError{"unknown option '" + arg + "'"};
    }
  }
  return options;
}

// The list holds full paths, and the output path is made from the input's
// folder, so a relative PATH is made absolute first.
std::string FullPath(const std::string& utf8) {
  std::error_code error;
  std::filesystem::path full = std::filesystem::absolute(PathFromUtf8(utf8), error);
  if (error) return utf8;
  full.make_preferred();
  return PathToUtf8(full);
}

// Walk failures: one line each, and the batch counts as failed.
class WalkReporter : public ErrorReporter, public Pump, public FolderFileSink {
 public:
  WalkReporter(std::ostream& err, const std::string& folder, std::vector<std::string>& files)
      : err_(err), folder_(folder), files_(files) {}
  void ReportError(const AppError& error, std::string_view, int) override { Fail(error); }
  void ProcessPendingMessages() override {}
  void AddFile(const std::string& path) override { files_.push_back(path); }
  void ListingFailed(const AppError& error, int) override { Fail(error); }
  bool failed() const { return failed_; }

 private:
  void Fail(const AppError& error) {
    err_ << kProgram << ": " << folder_ << ": " << error.description() << "\n";
    failed_ = true;
  }
  std::ostream& err_;
  const std::string& folder_;
  std::vector<std::string>& files_;
  bool failed_ = false;
};

}  // namespace

int RunConvertCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      bool err_is_terminal) {
  CliOptions options;
  try {
    options = Parse(args);
    if (options.help) {
      out << kUsage;
      return kCliAllConverted;
    }
    if (options.version) {
      out << kProgram << " " << kProductVersion << "\n";
      return kCliAllConverted;
    }
    if (options.paths.empty()) throw UsageError{"no PATH given"};
    if (options.out_folder && !FolderExists(*options.out_folder))
      throw UsageError{"the --out folder '" + *options.out_folder + "' does not exist"};
  } catch (const UsageError& usage) {
    err << kProgram << ": " << usage.message << "\n"
        << "Try '" << kProgram << " --help' for more information.\n";
    return kCliUsageError;
  }

  bool any_failed = false;
  std::vector<std::string> inputs;
  for (const std::string& path : options.paths) {
    const std::string full = FullPath(path);
    if (!FolderExists(full)) {
      inputs.push_back(full);
      continue;
    }
    WalkReporter walk(err, path, inputs);
    CollectFolderFiles(full, "*.csv", walk, walk, walk);
    any_failed = any_failed || walk.failed();
  }

  ConversionOptions conversion;
  conversion.delimiter = ResolveDelimiter(ChoiceOf(options));
  const bool progress = err_is_terminal && !options.quiet;
  const std::string out_folder = options.out_folder ? FullPath(*options.out_folder) : "";
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const std::string& input = inputs[i];
    if (progress)
      err << "file " << i + 1 << " of " << inputs.size() << ": " << input << "\n" << std::flush;
    const std::string output =
        options.out_folder
            ? OutputPathFor(input, OutputLocation::kFolder, out_folder, kNativeSeparator)
            : OutputPathFor(input, OutputLocation::kBesideInput, "", kNativeSeparator);
    try {
      ConvertFile(input, output, conversion);
    } catch (const ConversionFailure& failure) {
      any_failed = true;
      err << kProgram << ": " << input << ": ";
      if (failure.stage() == ConversionFailure::Stage::kWrite)
        err << "cannot write " << output << ": ";
      err << failure.description() << "\n";
    } catch (const std::exception& failure) {
      any_failed = true;
      err << kProgram << ": " << input << ": " << failure.what() << "\n";
    }
  }
  return any_failed ? kCliSomeFailed : kCliAllConverted;
}

}  // namespace delvora
