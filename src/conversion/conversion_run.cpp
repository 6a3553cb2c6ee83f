#include "conversion/conversion_run.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <utility>

#include "conversion/delimiter.h"
#include "conversion/paths.h"
#include "platform/file_system.h"
#include "platform/utf8.h"

namespace delvora {

int ProgressPercent(int position, int count) {
  // Entries can only be added during a run, but a folder walk finishing
  // inside the run restores the default pointer and so lets removals
  // through; the bar must never get a value it cannot show.
  if (count <= 0) return 100;
  const double percent = static_cast<double>(position) / count * 100.0;
  return static_cast<int>(std::clamp(std::lround(percent), 0L, 100L));
}

ConversionRun::ConversionRun(RunWindow& window, RunSettings settings)
    : window_(window), settings_(std::move(settings)) {}

void ConversionRun::Start() {
  StepRunner steps(window_.Errors(), FormLocation("PushButton7_Click"));
  // 100: a second click while a run is under way returns without a word.
  if (steps.If(100, [&] { return window_.IsConverting(); })) return;
  steps.Do(102, [&] { window_.SetConverting(true); });
  collisions_ = RunCollisions();
  Run(steps);
  // 196: every path past step 102 ends here, so the guard is always cleared.
  steps.Do(196, [&] { window_.SetConverting(false); });
}

void ConversionRun::Run(StepRunner& steps) {
  if (steps.If(104, [&] { return window_.EntryCount() == 0; })) {
    steps.Do(194, [&] { window_.ShowMessage("No files added."); });
    return;
  }
  const bool no_folder = steps.If(106, [&] {
    // The folder is looked at even when results go beside the inputs.
    const bool folder_exists = FolderExists(window_.OutputFolderText());
    return !folder_exists && !window_.SaveBesideInputSelected();
  });
  if (no_folder) {
    steps.Do(192,
             [&] { window_.ShowMessage("Folder does not exist. Please select another folder."); });
    return;
  }

  ConversionOptions options;
  steps.Do(112, [&] {
    DelimiterChoice choice;
    for (int option = 1; option <= 5; ++option) {
      choice.selected[static_cast<std::size_t>(option - 1)] =
          window_.DelimiterOptionSelected(option);
    }
    if (choice.selected[4]) choice.other = window_.OtherDelimiterText();
    options.delimiter = ResolveDelimiter(choice);
  });

  // 132: the loop bound is fixed here; entries added later are left for
  // the next run.
  int count = 0;
  steps.Do(132, [&] { count = window_.EntryCount(); });
  for (int position = 1; position <= count; ++position) {
    if (!ConvertEntry(steps, position, count, options)) return;
  }
  // Closed while the last file's failure was on screen: nothing more to say.
  if (window_.Closing()) return;

  steps.Do(184, [&] { window_.ShowDefaultPointer(); });
  steps.Do(186, [&] { window_.SetProgressValue(0); });
  steps.Do(188, [&] { window_.SetProgressText("Progress Bar"); });
  steps.Do(190, [&] { window_.ShowMessage("Done."); });
}

bool ConversionRun::ConvertEntry(StepRunner& steps, int position, int count,
                                 const ConversionOptions& options) {
  const char separator = settings_.separator;
  // The window may have been closed from inside an error message.
  if (window_.Closing()) return false;
  steps.Do(134, [&] { window_.ShowHourglass(); });
  std::string input;
  // An entry that is gone (removed while a folder walk inside the run had
  // lifted the busy pointer) is reported and skipped; nothing stale is
  // converted in its place.
  if (!steps.Do(136, [&] { input = window_.EntryText(position); })) return true;
  steps.Do(138, [&] { window_.SetProgressValue(ProgressPercent(position, window_.EntryCount())); });
  steps.Do(140,
           [&] { window_.SetProgressText("Processing: " + Shown(GetFileName(input, separator))); });
  steps.Do(142, [&] { window_.ProcessPendingMessages(); });
  if (window_.Closing()) return false;
  steps.Do(144, [&] { window_.Pause(settings_.pause_seconds); });
  if (window_.Closing()) return false;

  // 156 to 168: the output location is read for every file, so a change
  // made during the run applies to the files after it.
  std::string output;
  const bool have_output = steps.Do(156, [&] {
    OutputLocation location = OutputLocation::kBareName;
    if (window_.SaveToFolderSelected()) {
      location = OutputLocation::kFolder;
    } else if (window_.SaveBesideInputSelected()) {
      location = OutputLocation::kBesideInput;
    }
    const std::string folder =
        location == OutputLocation::kFolder ? window_.OutputFolderText() : std::string();
    output = OutputPathFor(input, location, folder, separator);
  });
  // Without a sound output path there is nowhere safe to write.
  if (!have_output) return true;

  // A result that would replace an entry still to be converted (the ones
  // after this one, as the list stands now) or a result this run wrote from
  // another input would lose data: it is refused where the write would have
  // failed, and nothing is written for it.
  const bool may_write = steps.Do(178, [&] {
    const int last = std::min(count, window_.EntryCount());
    const auto entry = [&](int p) { return window_.EntryText(p); };
    if (collisions_.Check({input, output}, position, last, entry))
      throw StandardError(kErrFileExists);
  });
  if (!may_write) return true;

  // 170 to 180: the engine reads and writes the whole file. A failure is
  // reported once, at the step of the side that failed, and leaves neither
  // a partial output nor a damaged older one.
  int failed_step = 170;
  std::exception_ptr failure;
  try {
    settings_.convert(input, output, options);
    collisions_.Written({input, output});
  } catch (const ConversionFailure& e) {
    failed_step = e.stage() == ConversionFailure::Stage::kWrite ? 178 : 170;
    failure = std::current_exception();
  } catch (...) {
    failure = std::current_exception();
  }
  if (failure) steps.Do(failed_step, [&] { std::rethrow_exception(failure); });
  return true;
}

}  // namespace delvora
