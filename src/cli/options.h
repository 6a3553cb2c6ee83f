#pragma once

// delvora-convert's options: what the command line asks for, read the way
// getopt reads it, and the combinations refused before any work.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "conversion/delimiter.h"
#include "platform/app_error.h"

namespace delvora {

// Two files at once: on two cores, a batch of small files then takes about
// 40% less time than one at a time (a file waits mostly on its folder's
// rename, not on the processor) and a few large ones about 20% less. Four
// were as fast or a little faster in some rounds and a third slower for
// large files in others; two never lost.
inline constexpr unsigned kDefaultJobs = 2;
inline constexpr unsigned kMaxJobs = 256;

struct CliOptions {
  std::size_t named_delimiter = 0;  // index into comma, comma-space, semicolon, tab
  std::optional<std::string> other;
  std::optional<std::string> out_folder;
  std::optional<std::string> output_file;
  unsigned jobs = kDefaultJobs;
  std::optional<std::string> files_from;  // "-": the standard input
  bool null_separated = false;            // --files-from names end in NUL
  bool line_end_lf = false;
  bool json = false;
  bool strict = false;
  bool quotes = false;
  bool escape = false;
  bool check = false;
  bool dry_run = false;
  bool quiet = false;
  bool help = false;
  bool version = false;
  std::vector<std::string> paths;
  bool operator==(const CliOptions&) const = default;
};

// What is wrong with the command line, as one sentence; the program then
// ends with the usage status. An AppError like every other failure
// (kErrInvalidArgument with the sentence as its detail).
struct UsageError : AppError {
  explicit UsageError(std::string sentence)
      : AppError(StandardError(kErrInvalidArgument, sentence)), message(std::move(sentence)) {}
  std::string message;
};

// The --help text.
extern const char* const kUsage;

// "--name=value", "--name value", "-n value", "-nvalue" and clusters of
// short options ("-qj2"); "--" ends the options and "-" alone is a PATH.
// Throws UsageError for what no run could mean.
CliOptions ParseOptions(const std::vector<std::string>& args);

// Reads the names of a --files-from list (one per line, CR LF or LF, or
// NUL-separated; empty entries skipped). Throws UsageError for a name that
// is not UTF-8 text.
std::vector<std::string> ParseFileList(std::string_view text, bool null_separated);

// Refuses the combinations that cannot mean anything, and an --out folder
// or -o target the file system contradicts. Throws UsageError.
void ValidateOptions(const CliOptions& options);

// The same choice the window would hold: one option selected, "Other"
// (Option5) when --other is given, whatever -d says.
DelimiterChoice ChoiceOf(const CliOptions& options);

// As a PATH: the standard input, its result the standard output. As the
// value of -o: the standard output.
inline constexpr std::string_view kStdStream = "-";
inline bool IsStdStream(std::string_view path) { return path == kStdStream; }

// A PATH as the run uses it: absolute (the output path is made from the
// input's folder) and normal (what messages show is the file the run
// opens). Every path of the run goes through here.
std::string RunPath(const std::string& utf8);

}  // namespace delvora
