#include "cli/cli.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <optional>
#include <string_view>

#include "cli/messages.h"
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
    err_ << FileLine(folder_, error.description());
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
  bool named_output = false;           // typed with -o, not made from the input's name
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
  std::vector<std::string> paths;
  for (const std::string& path : options.paths) {
    const std::optional<std::vector<std::string>> names =
        IsStdStream(path) ? std::nullopt : ExpandWildcards(path);
    if (!names) {
      paths.push_back(path);
    } else if (names->empty()) {
      err << FileLine(path, StandardError(kErrFileNotFound).description());
      batch.failed = true;
    } else {
      paths.insert(paths.end(), names->begin(), names->end());
    }
  }
  for (const std::string& path : paths) {
    const std::string full = IsStdStream(path) ? path : RunPath(path);
    if (IsStdStream(path) || !FolderExists(full)) {
      inputs.push_back(full);
      continue;
    }
    const std::size_t before = inputs.size();
    WalkReporter walk(err, full, inputs);
    CollectFolderFiles(full, "*.csv", walk, walk, walk);
    batch.failed = batch.failed || walk.failed();
    if (inputs.size() == before) err << NoCsvWarningLine(full);
  }
  for (std::string& input : inputs) {
    std::string output = output_of(input);
    batch.items.push_back(
        {std::move(input), std::move(output), std::nullopt, options.output_file.has_value()});
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
  for (std::size_t k = 0; k < plan.size(); ++k) {
    if (!plan[k]) continue;
    Item& item = items[index[k]];
    item.refusal =
        CollisionLine(item.input, item.output, plan[k]->kind, files[plan[k]->other].input);
  }
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

// A report that did not reach the standard output is a failure too.
int Reported(std::ostream& out, std::ostream& err, int status) {
  errno = 0;
  out.flush();
  if (out) return status;
  const AppError failure = errno != 0 ? ErrorFromErrno(errno) : StandardError(kErrPathFileAccess);
  err << FileLine("the standard output", failure.description()) << std::flush;
  return kCliSomeFailed;
}

std::string ReadAll(ByteSource& source) {
  std::string text;
  char buffer[1 << 16];
  while (const std::size_t got = source.Read(buffer, sizeof buffer)) text.append(buffer, got);
  return text;
}

int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               bool err_is_terminal, const std::function<ByteSource&()>& stdin_bytes,
               const std::function<ByteSink&()>& stdout_bytes) {
  CliOptions options;
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
    if (options.files_from) {
      if (IsStdStream(*options.files_from) &&
          std::any_of(options.paths.begin(), options.paths.end(), IsStdStream))
        throw UsageError{"the standard input ('-') can be read only once"};
      std::string list;
      try {
        if (IsStdStream(*options.files_from)) {
          list = ReadAll(stdin_bytes());
        } else {
          FileSource source(RunPath(*options.files_from));
          list = ReadAll(source);
        }
      } catch (const AppError& failure) {
        err << FileLine(
            IsStdStream(*options.files_from) ? "the standard input" : *options.files_from,
            failure.description());
        return kCliSomeFailed;
      }
      for (std::string& name : ParseFileList(list, options.null_separated))
        options.paths.push_back(std::move(name));
    }
    ValidateOptions(options);
  } catch (const UsageError& usage) {
    err << UsageErrorLines(usage.message);
    return kCliUsageError;
  }

  Batch batch = Collect(options, err);
  bool any_failed = batch.failed;
  std::vector<Item>& items = batch.items;
  if (!options.check) PlanCollisions(items);

  if (options.dry_run) {
    for (const Item& item : items) out << DryRunLine(item.input, item.output);
    for (const Item& item : items) {
      if (!item.refusal) continue;
      err << *item.refusal;
      any_failed = true;
    }
    return Reported(out, err, any_failed ? kCliSomeFailed : kCliAllConverted);
  }

  ConversionOptions conversion;
  conversion.delimiter = ResolveDelimiter(ChoiceOf(options));
  conversion.quoting = options.escape   ? Quoting::kEscaped
                       : options.quotes ? Quoting::kQuoted
                                        : Quoting::kTextual;
  conversion.line_end = options.line_end_lf ? LineEnd::kLf : LineEnd::kCrLf;
  // The standard streams are taken over only when "-" asks for them.
  const bool uses_stdin = std::any_of(items.begin(), items.end(),
                                      [](const Item& item) { return IsStdStream(item.input); });
  const bool uses_stdout =
      !options.check && std::any_of(items.begin(), items.end(),
                                    [](const Item& item) { return IsStdStream(item.output); });
  ByteSource* input = uses_stdin ? &stdin_bytes() : nullptr;
  ByteSink* output = uses_stdout ? &stdout_bytes() : nullptr;

  const bool progress = err_is_terminal && !options.quiet;
  std::vector<ItemResult> results(items.size());
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
        if (progress) err << ProgressLine(i + 1, items.size(), items[i].input) << std::flush;
      },
      [&](std::size_t i) {
        const ItemResult result = std::move(results[i]);
        out << result.out;
        err << result.err << std::flush;
        any_failed = any_failed || result.failed;
      });
  return Reported(out, err, any_failed ? kCliSomeFailed : kCliAllConverted);
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
