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
  std::vector<std::string> files_from;  // in order; "-": the standard input
  bool null_separated = false;          // --files-from names end in NUL
  bool line_end_lf = false;
  bool line_end_given = false;  // --line-end crlf or lf
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

// Reads the names of a --files-from list as its bytes arrive, so that a
// list of any length is never held whole: one name a line (CR LF or LF) or
// NUL-separated; empty entries skipped; a UTF-8 mark at the very start (as
// Windows editors write one) dropped. A name is taken by its bytes, as on
// the command line, UTF-8 or not. Throws UsageError for a name "-": the
// standard input is no file a list can name.
class FileListReader {
 public:
  explicit FileListReader(bool null_separated) : separator_(null_separated ? '\0' : '\n') {}
  template <typename Add>
  void Feed(std::string_view bytes, Add&& add) {
    std::string head;
    if (at_start_) {
      // The mark may come in pieces.
      head = std::move(pending_);
      head.append(bytes);
      pending_.clear();
      if (head.size() < kMark.size() && kMark.starts_with(head) && !finishing_) {
        pending_ = std::move(head);
        return;
      }
      at_start_ = false;
      if (head.starts_with(kMark)) head.erase(0, kMark.size());
      bytes = head;
    }
    for (std::size_t stop; (stop = bytes.find(separator_)) != std::string_view::npos;) {
      pending_.append(bytes.substr(0, stop));
      bytes.remove_prefix(stop + 1);
      Take(add);
    }
    pending_.append(bytes);
  }
  template <typename Add>
  void Finish(Add&& add) {
    finishing_ = true;
    Feed({}, add);
    Take(add);
  }

 private:
  template <typename Add>
  void Take(Add&& add) {
    std::string_view name = pending_;
    if (separator_ == '\n' && name.ends_with('\r')) name.remove_suffix(1);
    if (IsListedStdStream(name))
      throw UsageError{
          "a --files-from list names '-': only the command line can name the "
          "standard input"};
    if (!name.empty()) add(name);
    pending_.clear();
  }
  static bool IsListedStdStream(std::string_view name) { return name == "-"; }

  static constexpr std::string_view kMark = "\xEF\xBB\xBF";
  char separator_;
  bool at_start_ = true;
  bool finishing_ = false;
  std::string pending_;
};

// A whole list at once (for tests and short lists).
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
