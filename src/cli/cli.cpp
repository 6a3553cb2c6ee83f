#include "cli/cli.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <optional>
#include <string_view>

#include "cli/messages.h"
#include "cli/name_list.h"
#include "cli/options.h"
#include "cli/scheduler.h"
#include "cli/standard_streams.h"
#include "conversion/batch_plan.h"
#include "conversion/check.h"
#include "conversion/converter.h"
#include "conversion/encoding.h"
#include "conversion/paths.h"
#include "conversion/text_reader.h"
#include "conversion/text_writer.h"
#include "filelist/folder_walk.h"
#include "platform/app_error.h"
#include "platform/file_system.h"
#include "platform/product.h"
#include "platform/utf8_path.h"
#include "platform/wildcards.h"

namespace delvora {

namespace {

// The run's inputs in order, gathered before any work: each name as given
// (the full path is made when its item is), a folder replaced by the files
// its walk finds. Lists are read as they arrive and only the names are
// kept, so that a list of a million names costs little more than its bytes.
struct Inputs {
  NameList names;
  std::size_t named = 0;  // names given, before folders were walked
  std::string last_named;
  bool failed = false;  // a folder could not be walked, a pattern matched nothing
  bool stdin_used = false;
};

// Walk failures: one line each, and the batch counts as failed.
class WalkReporter : public ErrorReporter, public Pump, public FolderFileSink {
 public:
  WalkReporter(std::ostream& err, const std::string& folder, NameList& files)
      : err_(err), folder_(folder), files_(files) {}
  void ReportError(const AppError& error, std::string_view, int) override { Fail(error); }
  void ProcessPendingMessages() override {}
  void AddFile(const std::string& path) override { files_.Add(path); }
  void ListingFailed(const AppError& error, int) override { Fail(error); }
  bool failed() const { return failed_; }

 private:
  void Fail(const AppError& error) {
    err_ << FileLine(folder_, error.description());
    failed_ = true;
  }
  std::ostream& err_;
  const std::string& folder_;
  NameList& files_;
  bool failed_ = false;
};

// One PATH, from the command line or a list.
void AddPath(const std::string& given, Inputs& inputs, std::ostream& err) {
  ++inputs.named;
  inputs.last_named = given;
  const std::optional<std::vector<std::string>> names =
      IsStdStream(given) ? std::nullopt : ExpandWildcards(given);
  if (names && names->empty()) {
    err << FileLine(given, StandardError(kErrFileNotFound).description());
    inputs.failed = true;
    return;
  }
  for (const std::string& path : names ? *names : std::vector<std::string>{given}) {
    if (IsStdStream(path)) {
      inputs.stdin_used = true;
      inputs.names.Add(path);
      continue;
    }
    const std::string full = RunPath(path);
    if (!FolderExists(full)) {
      inputs.names.Add(path);
      continue;
    }
    const std::size_t before = inputs.names.size();
    WalkReporter walk(err, full, inputs.names);
    CollectFolderFiles(full, "*.csv", walk, walk, walk);
    inputs.failed = inputs.failed || walk.failed();
    if (inputs.names.size() == before) err << NoCsvWarningLine(full);
  }
}

// One input of the run and where its result goes; "-" for the standard
// streams.
struct Item {
  std::string input;
  std::string output;
  std::optional<std::string> refusal;  // why it is not converted
  bool named_output = false;           // typed with -o, not made from the input's name
};

class ItemMaker {
 public:
  ItemMaker(const CliOptions& options)
      : options_(options), out_folder_(options.out_folder ? RunPath(*options.out_folder) : "") {}
  BatchItem operator()(std::string_view given) const {
    const std::string name(given);
    const std::string input = IsStdStream(name) ? name : RunPath(name);
    return {input, OutputOf(input)};
  }

 private:
  std::string OutputOf(const std::string& input) const {
    if (options_.output_file)
      return IsStdStream(*options_.output_file) ? std::string(kStdStream)
                                                : RunPath(*options_.output_file);
    if (IsStdStream(input)) return std::string(kStdStream);
    if (options_.out_folder)
      return OutputPathFor(input, OutputLocation::kFolder, out_folder_, kNativeSeparator);
    return OutputPathFor(input, OutputLocation::kBesideInput, "", kNativeSeparator);
  }
  const CliOptions& options_;
  std::string out_folder_;
};

// Refuses, before any work starts, every result that would destroy an input
// still to be read or a result written earlier from another input. The
// standard streams take no part: they are no file of the run (at most one
// item, the one that reads "-" or writes to "-o -", is such).
std::vector<RefusedItem> PlanCollisions(const NameList& names, const ItemMaker& make) {
  std::size_t stream_item = names.size();
  {
    NameList::Cursor cursor(names, 0);
    for (std::size_t i = 0; i < names.size(); ++i) {
      const BatchItem item = make(cursor.Next());
      if (IsStdStream(item.input) || IsStdStream(item.output)) {
        stream_item = i;
        break;
      }
    }
  }
  const std::size_t count = names.size() - (stream_item < names.size() ? 1 : 0);
  const auto index = [&](std::size_t k) { return k < stream_item ? k : k + 1; };
  std::vector<RefusedItem> refused =
      PlanLongBatch(count, [&](std::size_t k) { return make(names[index(k)]); });
  for (RefusedItem& r : refused) {
    r.first = index(r.first);
    r.second.other = index(r.second.other);
  }
  return refused;
}

// The files each item reads or writes, for the order of the work: an input
// listed twice, a result converted again in place.
std::vector<std::vector<PathIdentity>> FilesOf(const std::vector<Item>& items) {
  std::vector<std::vector<PathIdentity>> files(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].refusal) continue;
    if (!IsStdStream(items[i].input)) {
      files[i].push_back(EntryIdentity(items[i].input));
      if (auto read = FileIdentity(items[i].input)) files[i].push_back(std::move(*read));
    }
    if (!IsStdStream(items[i].output)) files[i].push_back(EntryIdentity(items[i].output));
  }
  return files;
}

struct ItemResult {
  std::string out;  // for the standard output (--check lines)
  std::string err;  // error lines
  bool failed = false;
};

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

std::string ItemFailureLine(const Item& item, const AppError& failure, bool write_stage,
                            bool partial_output) {
  const std::string target = !write_stage               ? std::string()
                             : IsStdStream(item.output) ? std::string("the standard output")
                                                        : Shown(item.output);
  // "Nothing was written" holds for a result that replaces its target only
  // when complete, not for one written straight into a pipe or device.
  if (failure.description() == ReasonDescription(ErrorReason::kInputChanged) &&
      (IsStdStream(item.output) || IsDeviceOrPipe(item.output))) {
    return FailureLine(
        item.input, target,
        StandardError(kErrPathFileAccess, ErrorReason::kInputChangedOutputCut).description(),
        false);
  }
  return FailureLine(item.input, target, failure.description(), partial_output);
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
        AtomicFileWriter writer(item.output, {item.named_output, -1});
        ConvertStream(*stdin_bytes, writer, conversion);
        writer.Commit();
      } else if (IsStdStream(item.output)) {
        FileSource source(item.input);
        ConvertStream(source, *to_stdout, conversion);
      } else {
        ConvertFile(item.input, item.output, conversion, item.named_output);
      }
    } catch (const ConversionFailure& failure) {
      result.err = ItemFailureLine(item, failure,
                                   failure.stage() == ConversionFailure::Stage::kWrite, partial());
      result.failed = true;
    } catch (const AppError& failure) {
      result.err = ItemFailureLine(item, failure, false, partial());
      result.failed = true;
    }
  } catch (...) {
    result.err = FileLine(item.input, CurrentError().description());
    result.failed = true;
  }
  return result;
}

// One --check line (or JSON object) on the standard output; safe or not
// decides the status.
ItemResult Check(const Item& item, const ConversionOptions& conversion, const CliOptions& options,
                 ByteSource* stdin_bytes) {
  ItemResult result;
  try {
    const CheckReport report = IsStdStream(item.input) ? CheckStream(*stdin_bytes, conversion)
                                                       : CheckFile(item.input, conversion);
    const Quoting mode = conversion.quoting;
    result.out = options.json ? "{\"file\":" + JsonString(item.input) + "," +
                                    FormatCheckJson(report, mode, options.strict) + "}\n"
                              : CheckName(item.input) + ": " +
                                    FormatCheckReport(report, mode, options.strict) + "\n";
    result.failed = !CheckIsSafe(report, mode, options.strict);
  } catch (const AppError& failure) {
    result.err = ItemFailureLine(item, failure, false, false);
    result.failed = true;
  } catch (...) {
    result.err = FileLine(item.input, CurrentError().description());
    result.failed = true;
  }
  return result;
}

// The standard output of a report (--check, --dry-run): the first write that
// fails keeps its reason, which later writes and the final flush would
// lose ("Disk full", not a bare access error).
class Report {
 public:
  explicit Report(std::ostream& out) : out_(out) {}
  // Flushed at once: the standard error, tied to the standard output,
  // would flush it anyway, and its failure would then go unseen.
  void Write(std::string_view text) {
    if (text.empty()) return;
    errno = 0;
    out_ << text;
    out_.flush();
    Note();
  }
  // Flushes; a report that did not reach the standard output is a failure.
  int Finish(std::ostream& err, int status) {
    errno = 0;
    out_.flush();
    Note();
    if (out_) return status;
    const AppError failure =
        errno_ != 0 ? ErrorFromErrno(errno_) : StandardError(kErrPathFileAccess);
    err << FileLine("the standard output", failure.description()) << std::flush;
    return kCliSomeFailed;
  }

 private:
  void Note() {
    if (!out_ && errno_ == 0) errno_ = errno;
  }
  std::ostream& out_;
  int errno_ = 0;
};

int Reported(std::ostream& out, std::ostream& err, int status) {
  return Report(out).Finish(err, status);
}

// Reads one --files-from list as it arrives, adding each name.
void ReadList(const std::string& list, bool null_separated, Inputs& inputs, std::ostream& err,
              const std::function<ByteSource&()>& stdin_bytes) {
  FileListReader reader(null_separated);
  const auto add = [&](std::string_view name) { AddPath(std::string(name), inputs, err); };
  std::optional<FileSource> file;
  if (!IsStdStream(list)) file.emplace(RunPath(list));
  ByteSource& source = file ? static_cast<ByteSource&>(*file) : stdin_bytes();
  char buffer[1 << 16];
  while (const std::size_t got = source.Read(buffer, sizeof buffer))
    reader.Feed(std::string_view(buffer, got), add);
  reader.Finish(add);
}

// Items are made, run and reported this many at a time: what a batch holds
// at once stays small however long its list.
constexpr std::size_t kWindow = 1024;

int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               bool err_is_terminal, const std::function<ByteSource&()>& stdin_bytes,
               const std::function<ByteSink&()>& stdout_bytes) {
  CliOptions options;
  Inputs inputs;
  try {
    options = ParseOptions(args);
    if (options.help) {
      out << kUsage;
      return Reported(out, err, kCliAllConverted);
    }
    if (options.version) {
      out << kProgram << " " << kProductVersion << "\n";
      return Reported(out, err, kCliAllConverted);
    }
    ValidateOptions(options);
    for (const std::string& path : options.paths) AddPath(path, inputs, err);
    for (const std::string& list : options.files_from) {
      try {
        ReadList(list, options.null_separated, inputs, err, stdin_bytes);
      } catch (const UsageError&) {
        throw;  // a list that asks what no run could mean
      } catch (const AppError& failure) {
        err << FileLine(IsStdStream(list) ? "the standard input" : list, failure.description());
        return kCliSomeFailed;
      }
    }
    // A list may name any number of files; -o still takes one.
    if (options.output_file && !options.files_from.empty()) {
      if (inputs.named != 1) throw UsageError{"-o takes a single PATH"};
      if (!IsStdStream(inputs.last_named) && FolderExists(RunPath(inputs.last_named)))
        throw UsageError{"-o takes a file, and " + Quoted(inputs.last_named) + " is a folder"};
    }
  } catch (const UsageError& usage) {
    err << UsageErrorLines(usage.message);
    return kCliUsageError;
  }

  const NameList& names = inputs.names;
  const std::size_t count = names.size();
  const ItemMaker make(options);
  bool any_failed = inputs.failed;
  const std::vector<RefusedItem> refused =
      options.check ? std::vector<RefusedItem>() : PlanCollisions(names, make);
  auto next_refusal = refused.begin();
  const auto item_at = [&](std::size_t i, std::string_view name) {
    const BatchItem made = make(name);
    Item item{made.input, made.output, std::nullopt, options.output_file.has_value()};
    if (next_refusal != refused.end() && next_refusal->first == i) {
      const Collision& c = next_refusal->second;
      item.refusal = CollisionLine(item.input, item.output, c.kind, make(names[c.other]).input);
      ++next_refusal;
    }
    return item;
  };
  Report report(out);

  if (options.dry_run) {
    // What the real run would say of each item: its result, its refusal,
    // or that its input cannot be read (a name holding NUL, a file gone).
    NameList::Cursor cursor(names, 0);
    for (std::size_t i = 0; i < count; ++i) {
      const Item item = item_at(i, cursor.Next());
      if (item.refusal) {
        err << *item.refusal;
        any_failed = true;
      } else if (!IsStdStream(item.input) && !FileIdentity(item.input)) {
        err << FileLine(item.input, StandardError(kErrFileNotFound).description());
        any_failed = true;
      } else {
        report.Write(DryRunLine(item.input, item.output));
      }
    }
    return report.Finish(err, any_failed ? kCliSomeFailed : kCliAllConverted);
  }

  ConversionOptions conversion;
  conversion.delimiter = ResolveDelimiter(ChoiceOf(options));
  conversion.quoting = options.escape   ? Quoting::kEscaped
                       : options.quotes ? Quoting::kQuoted
                                        : Quoting::kTextual;
  conversion.line_end = options.line_end_lf ? LineEnd::kLf : LineEnd::kCrLf;
  // The standard streams are taken over only when "-" asks for them.
  const bool uses_stdout = !options.check && count > 0 &&
                           ((options.output_file && IsStdStream(*options.output_file)) ||
                            (!options.output_file && inputs.stdin_used));
  ByteSource* input = inputs.stdin_used ? &stdin_bytes() : nullptr;
  ByteSink* output = uses_stdout ? &stdout_bytes() : nullptr;

  const bool progress = err_is_terminal && !options.quiet;
  NameList::Cursor cursor(names, 0);
  for (std::size_t first = 0; first < count; first += kWindow) {
    std::vector<Item> items;
    for (std::size_t i = first; i < std::min(count, first + kWindow); ++i)
      items.push_back(item_at(i, cursor.Next()));
    std::vector<ItemResult> results(items.size());
    // Each window ends before the next starts, so files shared across
    // windows keep their order as well.
    RunInOrder(
        items.size(), options.jobs,
        // One at a time keeps the order by itself.
        options.jobs > 1 ? WaitsForSharedFiles(FilesOf(items))
                         : std::vector<std::vector<std::size_t>>(items.size()),
        [&](std::size_t i) {
          results[i] = options.check ? Check(items[i], conversion, options, input)
                                     : Convert(items[i], conversion, input, output);
        },
        [&](std::size_t i) {
          if (progress) err << ProgressLine(first + i + 1, count, items[i].input) << std::flush;
        },
        [&](std::size_t i) {
          const ItemResult result = std::move(results[i]);
          report.Write(result.out);
          err << result.err << std::flush;
          any_failed = any_failed || result.failed;
        });
  }
  return report.Finish(err, any_failed ? kCliSomeFailed : kCliAllConverted);
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
