#include "cli/cli.h"

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <iterator>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "cli/standard_streams.h"
#include "conversion/batch_plan.h"
#include "conversion/check.h"
#include "conversion/converter.h"
#include "conversion/delimiter.h"
#include "conversion/encoding.h"
#include "conversion/paths.h"
#include "conversion/text_reader.h"
#include "conversion/text_writer.h"
#include "filelist/folder_walk.h"
#include "platform/file_system.h"
#include "platform/product.h"
#include "platform/utf8.h"
#include "platform/utf8_path.h"

namespace delvora {

namespace {

constexpr const char* kProgram = "delvora-convert";
// As a PATH: the standard input, its result the standard output. As the
// value of -o: the standard output.
constexpr std::string_view kStdStream = "-";

// Two files at once: on two cores, a batch of small files then takes about
// 40% less time than one at a time (a file waits mostly on its folder's
// rename, not on the processor) and a few large ones about 20% less. Four
// were as fast or a little faster in some rounds and a third slower for
// large files in others; two never lost.
constexpr unsigned kDefaultJobs = 2;
constexpr unsigned kMaxJobs = 256;

constexpr const char* kUsage =
    "Usage: delvora-convert [options] PATH...\n"
    "Converts delimited text files into tab-separated .tsv files.\n"
    "\n"
    "A PATH that is a file is converted whatever its extension; a .tsv input\n"
    "is converted in place. A folder adds every *.csv file in it and in all\n"
    "folders below it, breadth-first, skipping names that begin with \"~\" and\n"
    "names that are not valid UTF-8. A PATH \"-\" reads the standard input and\n"
    "writes its result to the standard output.\n"
    "\n"
    "Options:\n"
    "  -d, --delimiter NAME  comma (default), comma-space, semicolon or tab\n"
    "      --other TEXT      any delimiter text; wins over -d\n"
    "      --quotes          read quoted fields: a delimiter or line break inside\n"
    "                        double quotes belongs to its field\n"
    "      --escape          as --quotes, but write tabs, line breaks and\n"
    "                        backslashes inside fields as \\t \\n \\r \\\\\n"
    "      --check           write nothing; print for each file whether the\n"
    "                        plain conversion reads it right or it needs --quotes\n"
    "      --out DIR         write every result into DIR (default: beside its input)\n"
    "  -o, --output FILE     write the result of the single PATH to FILE\n"
    "                        (\"-\": the standard output)\n"
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
    "ends in CR LF.\n"
    "\n"
    "Progress lines go to the standard error, and only when it is a terminal.\n"
    "Control characters in names are shown as \\n, \\t, \\xHH.\n"
    "\n"
    "Exit status: 0 when every input converted (with --check: when every file\n"
    "is safe for the chosen mode), 1 otherwise, 2 for a usage error.\n";

struct CliOptions {
  std::size_t named_delimiter = 0;  // index into kDelimiterNames
  std::optional<std::string> other;
  std::optional<std::string> out_folder;
  std::optional<std::string> output_file;
  unsigned jobs = kDefaultJobs;
  bool quotes = false;
  bool escape = false;
  bool check = false;
  bool dry_run = false;
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

// A name as messages show it: one line, nothing a terminal would act on.
// Control characters (C0, DEL, C1) and bytes that are not UTF-8 become
// escapes; everything else, the platform's separators included, stays.
std::string Shown(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string shown;
  shown.reserve(text.size());
  while (!text.empty()) {
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = Utf8SequenceLength(text);
    const bool c1 = length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[1]) < 0xA0;
    if (length == 1 && lead >= 0x20 && lead != 0x7F) {
      shown += text[0];
    } else if (lead == '\n') {
      shown += "\\n";
    } else if (lead == '\t') {
      shown += "\\t";
    } else if (lead == '\r') {
      shown += "\\r";
    } else if (c1) {
      const auto unit = static_cast<unsigned char>(text[1]);
      shown += "\\u00";
      shown += kHex[unit >> 4];
      shown += kHex[unit & 15];
    } else if (length <= 1) {
      shown += "\\x";
      shown += kHex[lead >> 4];
      shown += kHex[lead & 15];
    } else {
      shown.append(text.substr(0, length));
    }
    text.remove_prefix(std::max<std::size_t>(length, 1));
  }
  return shown;
}

std::string Quoted(std::string_view text) { return "'" + Shown(text) + "'"; }

enum class OptionId {
  kDelimiter,
  kOther,
  kOut,
  kOutput,
  kJobs,
  kQuotes,
  kEscape,
  kCheck,
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
    {0, "quotes", false, OptionId::kQuotes},
    {0, "escape", false, OptionId::kEscape},
    {0, "check", false, OptionId::kCheck},
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

// "--name=value", "--name value", "-n value", "-nvalue" and clusters of
// short options ("-qj2"), the way getopt reads them; "--" ends the options
// and "-" alone is a PATH.
CliOptions Parse(const std::vector<std::string>& args) {
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

// The list holds full paths, and the output path is made from the input's
// folder, so a relative PATH is made absolute first. Every path of the run
// goes through here.
std::string FullPath(const std::string& utf8) { return AbsolutePath(utf8); }

// A full path with doubled separators and "." steps taken out, as the walk
// lists its files: what messages show is the file the run opens. ".." stays,
// since it may climb out of a linked folder; the literal "\\?\" and device
// "\\.\" forms stay whole.
std::string NormalPath(const std::string& full) {
  if (full.rfind("\\\\?\\", 0) == 0 || full.rfind("\\\\.\\", 0) == 0) return full;
  const std::string collapsed = NormalizeBackslashes(full, kNativeSeparator);
  std::size_t start = collapsed.find_first_not_of(kNativeSeparator);
  if (start == std::string::npos) return collapsed;
  std::string normal = collapsed.substr(0, start);
  bool ends_folder = false;
  while (start < collapsed.size()) {
    std::size_t end = collapsed.find(kNativeSeparator, start);
    if (end == std::string::npos) end = collapsed.size();
    const std::string_view step(collapsed.data() + start, end - start);
    ends_folder = step == "." || end < collapsed.size();
    if (step != ".") {
      normal.append(step);
      if (end < collapsed.size()) normal += kNativeSeparator;
    }
    start = end + 1;
  }
  if (ends_folder && !normal.empty() && normal.back() != kNativeSeparator)
    normal += kNativeSeparator;
  return normal;
}

std::string RunPath(const std::string& utf8) { return NormalPath(FullPath(utf8)); }

bool IsStdStream(std::string_view path) { return path == kStdStream; }

// The combinations that cannot mean anything, refused before any work.
void Validate(const CliOptions& options) {
  if (options.paths.empty()) throw UsageError{"no PATH given"};
  const auto std_inputs = std::count_if(options.paths.begin(), options.paths.end(),
                                        [](const std::string& p) { return IsStdStream(p); });
  if (std_inputs > 1) throw UsageError{"the standard input ('-') can be read only once"};
  if (options.check && (options.out_folder || options.output_file || options.dry_run))
    throw UsageError{"--check writes nothing: it takes no --out, -o or --dry-run"};
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
    if (options.paths.size() != 1) throw UsageError{"-o takes a single PATH"};
    if (!IsStdStream(options.paths[0]) && FolderExists(RunPath(options.paths[0])))
      throw UsageError{"-o takes a file, and " + Quoted(options.paths[0]) + " is a folder"};
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
    err_ << kProgram << ": " << Shown(folder_) << ": " << error.description() << "\n";
    failed_ = true;
  }
  std::ostream& err_;
  const std::string& folder_;
  std::vector<std::string>& files_;
  bool failed_ = false;
};

// One input of the run and where its result goes; "-" for the standard
// streams.
struct Item {
  std::string input;
  std::string output;
  std::optional<std::string> refusal;  // why it is not converted
};

struct Batch {
  std::vector<Item> items;
  bool failed = false;  // a folder could not be walked
};

Batch Collect(const CliOptions& options, std::ostream& err) {
  Batch batch;
  const std::string out_folder = options.out_folder ? RunPath(*options.out_folder) : "";
  const auto output_of = [&](const std::string& input) -> std::string {
    if (options.output_file)
      return IsStdStream(*options.output_file) ? std::string(kStdStream)
                                               : RunPath(*options.output_file);
    if (IsStdStream(input)) return std::string(kStdStream);
    if (options.out_folder)
      return OutputPathFor(input, OutputLocation::kFolder, out_folder, kNativeSeparator);
    return OutputPathFor(input, OutputLocation::kBesideInput, "", kNativeSeparator);
  };
  std::vector<std::string> inputs;
  for (const std::string& path : options.paths) {
    const std::string full = IsStdStream(path) ? path : RunPath(path);
    if (IsStdStream(path) || !FolderExists(full)) {
      inputs.push_back(full);
      continue;
    }
    const std::size_t before = inputs.size();
    WalkReporter walk(err, full, inputs);
    CollectFolderFiles(full, "*.csv", walk, walk, walk);
    batch.failed = batch.failed || walk.failed();
    if (inputs.size() == before)
      err << kProgram << ": warning: " << Shown(full)
          << ": no *.csv file in this folder or below it\n";
  }
  for (std::string& input : inputs) {
    std::string output = output_of(input);
    batch.items.push_back({std::move(input), std::move(output), std::nullopt});
  }
  return batch;
}

// Refuses, before any work starts, every result that would destroy an input
// still to be read or a result written earlier from another input. The
// standard streams take no part: they are no file of the run.
void PlanCollisions(std::vector<Item>& items) {
  std::vector<BatchItem> files;
  std::vector<std::size_t> index;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (IsStdStream(items[i].input) || IsStdStream(items[i].output)) continue;
    files.push_back({items[i].input, items[i].output});
    index.push_back(i);
  }
  const std::vector<std::optional<Collision>> plan = PlanBatch(files);
  const AppError exists(kErrFileExists, "File already exists");
  for (std::size_t k = 0; k < plan.size(); ++k) {
    if (!plan[k]) continue;
    Item& item = items[index[k]];
    const std::string other = Shown(files[plan[k]->other].input);
    item.refusal = std::string(kProgram) + ": " + Shown(item.input) + ": cannot write " +
                   Shown(item.output) + ": " + exists.description() +
                   (plan[k]->kind == Collision::Kind::kPendingInput
                        ? " (it is the input " + other + ", not yet converted)"
                        : " (written from " + other + " earlier in this run)") +
                   "\n";
  }
}

// Items that read or write the same file as an earlier one wait for it, so
// that every file is read and written in the order a one-at-a-time run
// would: an input listed twice, a result converted again in place.
std::vector<std::vector<std::size_t>> Dependencies(const std::vector<Item>& items) {
  std::vector<std::vector<std::size_t>> waits(items.size());
  std::unordered_map<PathIdentity, std::size_t, PathIdentityHash> last_user;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].refusal) continue;
    std::vector<PathIdentity> files;
    if (!IsStdStream(items[i].input)) {
      files.push_back(EntryIdentity(items[i].input));
      if (auto read = FileIdentity(items[i].input)) files.push_back(std::move(*read));
    }
    if (!IsStdStream(items[i].output)) files.push_back(EntryIdentity(items[i].output));
    for (const PathIdentity& file : files)
      if (auto found = last_user.find(file); found != last_user.end())
        waits[i].push_back(found->second);
    for (const PathIdentity& file : files) last_user[file] = i;
  }
  return waits;
}

struct ItemResult {
  std::string out;  // for the standard output (--check lines)
  std::string err;  // error lines
  bool failed = false;
};

// Runs job for every item on up to jobs threads; started and finished are
// called on the calling thread in item order, started once the item is
// being worked on and finished once it is done, so that what the user reads
// comes in the order of the inputs whatever the order of the work.
void RunInOrder(std::size_t count, unsigned jobs,
                const std::vector<std::vector<std::size_t>>& waits,
                const std::function<ItemResult(std::size_t)>& job,
                const std::function<void(std::size_t)>& started,
                const std::function<void(const ItemResult&)>& finished) {
  enum class State { kQueued, kRunning, kDone };
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<State> states(count, State::kQueued);
  std::vector<ItemResult> results(count);
  std::size_t next = 0;
  const auto worker = [&] {
    std::unique_lock lock(mutex);
    while (next < count) {
      const std::size_t i = next++;
      changed.wait(lock, [&] {
        return std::all_of(waits[i].begin(), waits[i].end(),
                           [&](std::size_t w) { return states[w] == State::kDone; });
      });
      states[i] = State::kRunning;
      changed.notify_all();
      lock.unlock();
      ItemResult result = job(i);
      lock.lock();
      results[i] = std::move(result);
      states[i] = State::kDone;
      changed.notify_all();
    }
  };
  std::vector<std::thread> pool;
  const std::size_t wanted = std::min<std::size_t>(jobs, count);
  try {
    while (pool.size() < wanted) pool.emplace_back(worker);
  } catch (const std::system_error&) {
    // Fewer threads than asked: the ones running share the work.
  }
  if (pool.empty()) worker();
  for (std::size_t i = 0; i < count; ++i) {
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return states[i] != State::kQueued; });
    }
    started(i);
    ItemResult result;
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return states[i] == State::kDone; });
      result = std::move(results[i]);
    }
    finished(result);
  }
  for (std::thread& thread : pool) thread.join();
}

// Counts what reaches the standard output: after a failure the user must
// know whether a partial result went out.
class CountingSink : public ByteSink {
 public:
  explicit CountingSink(ByteSink& sink) : sink_(sink) {}
  void Write(const void* data, std::size_t size) override {
    sink_.Write(data, size);
    written_ += size;
  }
  std::size_t written() const { return written_; }

 private:
  ByteSink& sink_;
  std::size_t written_ = 0;
};

std::string FailureLine(const Item& item, const AppError& failure, bool write_stage,
                        bool partial_output) {
  std::string line = std::string(kProgram) + ": " + Shown(item.input) + ": ";
  if (write_stage)
    line += "cannot write " +
            (IsStdStream(item.output) ? std::string("the standard output") : Shown(item.output)) +
            ": ";
  line += failure.description();
  if (partial_output) line += " (the standard output holds an incomplete result)";
  return line + "\n";
}

// stdin_bytes and stdout_bytes are set when the item reads or writes "-".
ItemResult Convert(const Item& item, const ConversionOptions& conversion, ByteSource* stdin_bytes,
                   ByteSink* stdout_bytes) {
  ItemResult result;
  if (item.refusal) {
    result.err = *item.refusal;
    result.failed = true;
    return result;
  }
  std::optional<CountingSink> to_stdout;
  if (stdout_bytes && IsStdStream(item.output)) to_stdout.emplace(*stdout_bytes);
  const auto partial = [&] { return to_stdout && to_stdout->written() > 0; };
  try {
    try {
      if (IsStdStream(item.input) && IsStdStream(item.output)) {
        ConvertStream(*stdin_bytes, *to_stdout, conversion);
      } else if (IsStdStream(item.input)) {
        AtomicFileWriter writer(item.output);
        ConvertStream(*stdin_bytes, writer, conversion);
        writer.Commit();
      } else if (IsStdStream(item.output)) {
        FileSource source(item.input);
        ConvertStream(source, *to_stdout, conversion);
      } else {
        ConvertFile(item.input, item.output, conversion);
      }
    } catch (const ConversionFailure& failure) {
      result.err = FailureLine(item, failure, failure.stage() == ConversionFailure::Stage::kWrite,
                               partial());
      result.failed = true;
    } catch (const AppError& failure) {
      result.err = FailureLine(item, failure, false, partial());
      result.failed = true;
    }
  } catch (const std::exception& failure) {
    result.err = std::string(kProgram) + ": " + Shown(item.input) + ": " + failure.what() + "\n";
    result.failed = true;
  }
  return result;
}

// One --check line on the standard output; safe or not decides the status.
ItemResult Check(const Item& item, const ConversionOptions& conversion, ByteSource* stdin_bytes) {
  ItemResult result;
  try {
    const CheckReport report = IsStdStream(item.input) ? CheckStream(*stdin_bytes, conversion)
                                                       : CheckFile(item.input, conversion);
    result.out = Shown(item.input) + ": " + FormatCheckReport(report, conversion.quoting) + "\n";
    result.failed = !CheckIsSafe(report, conversion.quoting);
  } catch (const AppError& failure) {
    result.err = FailureLine(item, failure, false, false);
    result.failed = true;
  } catch (const std::exception& failure) {
    result.err = std::string(kProgram) + ": " + Shown(item.input) + ": " + failure.what() + "\n";
    result.failed = true;
  }
  return result;
}

int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               bool err_is_terminal, const std::function<ByteSource&()>& stdin_bytes,
               const std::function<ByteSink&()>& stdout_bytes) {
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
    Validate(options);
  } catch (const UsageError& usage) {
    err << kProgram << ": " << usage.message << "\n"
        << "Try '" << kProgram << " --help' for more information.\n";
    return kCliUsageError;
  }

  Batch batch = Collect(options, err);
  bool any_failed = batch.failed;
  std::vector<Item>& items = batch.items;
  if (!options.check) PlanCollisions(items);

  if (options.dry_run) {
    for (const Item& item : items)
      out << Shown(item.input) << " \xE2\x86\x92 " << Shown(item.output) << "\n";
    for (const Item& item : items) {
      if (!item.refusal) continue;
      err << *item.refusal;
      any_failed = true;
    }
    out.flush();
    return any_failed ? kCliSomeFailed : kCliAllConverted;
  }

  ConversionOptions conversion;
  conversion.delimiter = ResolveDelimiter(ChoiceOf(options));
  conversion.quoting = options.escape   ? Quoting::kEscaped
                       : options.quotes ? Quoting::kQuoted
                                        : Quoting::kTextual;
  // The standard streams are taken over only when "-" asks for them.
  const bool uses_stdin = std::any_of(items.begin(), items.end(),
                                      [](const Item& item) { return IsStdStream(item.input); });
  const bool uses_stdout =
      !options.check && std::any_of(items.begin(), items.end(),
                                    [](const Item& item) { return IsStdStream(item.output); });
  ByteSource* input = uses_stdin ? &stdin_bytes() : nullptr;
  ByteSink* output = uses_stdout ? &stdout_bytes() : nullptr;

  const bool progress = err_is_terminal && !options.quiet;
  RunInOrder(
      items.size(), options.jobs,
      // One at a time keeps the order by itself.
      options.jobs > 1 ? Dependencies(items) : std::vector<std::vector<std::size_t>>(items.size()),
      [&](std::size_t i) {
        return options.check ? Check(items[i], conversion, input)
                             : Convert(items[i], conversion, input, output);
      },
      [&](std::size_t i) {
        if (progress)
          err << "file " << i + 1 << " of " << items.size() << ": " << Shown(items[i].input) << "\n"
              << std::flush;
      },
      [&](const ItemResult& result) {
        out << result.out;
        err << result.err << std::flush;
        any_failed = any_failed || result.failed;
      });
  out.flush();
  return any_failed ? kCliSomeFailed : kCliAllConverted;
}

}  // namespace

int RunConvertCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      bool err_is_terminal, ByteSource& stdin_bytes, ByteSink& stdout_bytes) {
  return RunCommand(
      args, out, err, err_is_terminal, [&]() -> ByteSource& { return stdin_bytes; },
      [&]() -> ByteSink& { return stdout_bytes; });
}

int RunConvertCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      bool err_is_terminal) {
  std::optional<StandardInput> stdin_bytes;
  std::optional<StandardOutput> stdout_bytes;
  return RunCommand(
      args, out, err, err_is_terminal, [&]() -> ByteSource& { return stdin_bytes.emplace(); },
      [&]() -> ByteSink& {
        out.flush();  // nothing of ours may land inside the result
        return stdout_bytes.emplace();
      });
}

}  // namespace delvora
