#pragma once

// "Start Converting": works through the file list in order, converting each
// entry into a tab-separated file, with the progress bar, the half-second
// pause per file and the standard error message for anything that fails.
//
// The run sees the window only through RunWindow, so the same code drives
// the real window and the tests' stand-in. Texts cross this interface as
// UTF-8.

#include <functional>
#include <string>

#include "conversion/batch_plan.h"
#include "conversion/converter.h"
#include "platform/app_error.h"
#include "platform/utf8_path.h"

namespace delvora {

class RunWindow {
 public:
  virtual ~RunWindow() = default;

  // The window's guard against a second run starting inside the first.
  virtual bool IsConverting() = 0;
  virtual void SetConverting(bool converting) = 0;

  // The file list, positions from 1. Read afresh every time: entries can
  // be added and reordered while the run lets the window process messages.
  virtual int EntryCount() = 0;
  virtual std::string EntryText(int position) = 0;

  // Delimiter options Option1 to Option5 (option 1..5) and Text2.
  virtual bool DelimiterOptionSelected(int option) = 0;
  virtual std::string OtherDelimiterText() = 0;

  // Output location: Option6, Option7 and Text1.
  virtual bool SaveToFolderSelected() = 0;
  virtual bool SaveBesideInputSelected() = 0;
  virtual std::string OutputFolderText() = 0;

  // The window-wide pointer; the hourglass is also the busy flag that
  // refuses removing and clearing entries.
  virtual void ShowHourglass() = 0;
  virtual void ShowDefaultPointer() = 0;

  virtual void SetProgressValue(int percent) = 0;
  virtual void SetProgressText(const std::string& text) = 0;

  // A box with the application title as caption, no icon and OK.
  virtual void ShowMessage(const std::string& text) = 0;
  virtual ErrorReporter& Errors() = 0;

  virtual void ProcessPendingMessages() = 0;
  virtual void Pause(double seconds) = 0;

  // True once the window has been closed: the program is ending and the
  // run stops at its next look without touching anything further.
  virtual bool Closing() = 0;
};

using ConvertFunction =
    std::function<void(const std::string& input_path, const std::string& output_path,
                       const ConversionOptions& options)>;

struct RunSettings {
  double pause_seconds = 0.5;
  char separator = kNativeSeparator;
  // The engine; tests replace it to inject failures.
  ConvertFunction convert = [](const std::string& input, const std::string& output,
                               const ConversionOptions& options) {
    ConvertFile(input, output, options);
  };
};

// The bar's whole-number value for position i of count entries.
int ProgressPercent(int position, int count);

class ConversionRun {
 public:
  explicit ConversionRun(RunWindow& window, RunSettings settings = {});

  // The click handler's body, steps 100 to 196.
  void Start();

 private:
  void Run(StepRunner& steps);
  // Returns false when the window was closed and the run must stop.
  bool ConvertEntry(StepRunner& steps, int position, int count, const ConversionOptions& options);

  RunWindow& window_;
  RunSettings settings_;
  // What this run has written, so that no result replaces another one of
  // the run or an entry still to be converted.
  RunCollisions collisions_;
};

}  // namespace delvora
