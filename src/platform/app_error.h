#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace delvora {

// Error numbers that the program's behaviour depends on. Platform errors
// (errno, Win32) are mapped onto these so that handlers can tell them apart.
// Every number the program reports is here, so that the numbers and their
// standard descriptions live in one table (StandardError).
enum ErrorNumber : int {
  kErrInvalidArgument = 5,
  kErrOverflow = 6,
  kErrOutOfMemory = 7,
  kErrTypeMismatch = 13,
  kErrFileNotFound = 53,
  kErrFileExists = 58,
  kErrDiskFull = 61,
  kErrInputPastEnd = 62,
  kErrPermissionDenied = 70,
  kErrPathFileAccess = 75,
  kErrPathNotFound = 76,
  kErrInvalidFormat = 321,
  kErrInvalidPicture = 481,
  kErrDialogBufferTooSmall = 20476,
  kErrIndexOutOfBounds = 35600,
};

// Reasons plainer than their number's standard description; the error keeps
// the number handlers tell apart.
enum class ErrorReason {
  kResultIsFolder,         // kErrPathFileAccess
  kReadOnlyFileSystem,     // kErrPermissionDenied
  kInputChanged,           // kErrPathFileAccess
  kInputChangedOutputCut,  // kErrPathFileAccess: the same, written straight into a pipe or device
  kFileInUse,              // kErrPermissionDenied
  kInterrupted,            // kErrPathFileAccess
  kResultIsNotAFile,       // kErrPathFileAccess
  kSystemFolder,           // kErrPathFileAccess: a result in /dev or /proc
  kNoCommonFolder,         // kErrInvalidArgument: the file dialog's answer
  kUnexpected,             // kErrInvalidArgument: whatever else was thrown
};

class AppError;
// The error with its number's standard description ("Path not found"), and
// the same with a detail after it ("Path/File access error (file name too
// long)"). Every error is built through these and the functions below: the
// type has no other public way in.
AppError StandardError(ErrorNumber number);
AppError StandardError(ErrorNumber number, std::string_view detail);
std::string_view StandardDescription(ErrorNumber number);
// The number with the reason's description ("A folder has the result's name").
AppError StandardError(ErrorNumber number, ErrorReason reason);
std::string_view ReasonDescription(ErrorReason reason);
// A quoted field still open at the end of the input (kErrInputPastEnd).
AppError UnclosedQuoteError(std::uint64_t line);
// The same error with a detail after its description ("Disk full (a.csv)").
AppError WithDetail(const AppError& error, std::string_view detail);

// The one failure type: a number and a plain-English description, both from
// the table above.
class AppError : public std::runtime_error {
 public:
  int number() const { return number_; }
  const std::string& description() const { return description_; }

 private:
  AppError(int number, const std::string& description);
  friend AppError StandardError(ErrorNumber number);
  friend AppError StandardError(ErrorNumber number, std::string_view detail);
  friend AppError StandardError(ErrorNumber number, ErrorReason reason);
  friend AppError UnclosedQuoteError(std::uint64_t line);
  friend AppError WithDetail(const AppError& error, std::string_view detail);

  int number_;
  std::string description_;
};

// Whatever the running catch block caught, as the one error type: an
// AppError as it is, running out of memory as kErrOutOfMemory, a system
// error by its code, anything else as kErrInvalidArgument's unexpected
// failure. Never the exception's own what(), which no user should read.
AppError CurrentError();

// Builds an AppError from a C errno value (also used for std::error_code
// values of the generic category).
AppError ErrorFromErrno(int err);
#ifdef _WIN32
AppError ErrorFromWin32(unsigned long code);
#endif

// The standard failure text: description, CR LF, location, "at line ", step,
// CR CR and the support request.
std::string StandardErrorText(std::string_view description, std::string_view location, int step);

// Location texts of the handlers that report failures.
std::string FormLocation(std::string_view procedure);  // "in Velmark2021/08/31.Form1.<proc> "
inline constexpr const char* kFolderWalkLocation =
    "in Pellitor2021/08/31.AddFolder.GetSubDirectories2016 ";

// Whoever shows the standard error message (the window's message boxes, a
// test recorder).
class ErrorReporter {
 public:
  virtual ~ErrorReporter() = default;
  virtual void ReportError(const AppError& error, std::string_view location, int step) = 0;
};

// Lets the user interface process pending messages from inside a long loop.
class Pump {
 public:
  virtual ~Pump() = default;
  virtual void ProcessPendingMessages() = 0;
};

// Runs a handler's numbered steps with the resume-next rule: a failing step is
// reported at its number and the handler goes on with the next step; a
// failing test lets the statement it guards run.
class StepRunner {
 public:
  StepRunner(ErrorReporter& reporter, std::string location);

  // Runs the step; returns false when it failed (after reporting it).
  bool Do(int step, const std::function<void()>& action);
  // Evaluates a test whose true outcome runs the guarded statement; a
  // failing test is reported and counts as true.
  bool If(int step, const std::function<bool()>& test);

  const std::string& location() const { return location_; }

 private:
  void Report(int step);
  ErrorReporter& reporter_;
  std::string location_;
};

}  // namespace delvora
