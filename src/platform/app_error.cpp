#include "platform/app_error.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <new>
#include <system_error>

#include "platform/product.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace delvora {

AppError::AppError(int number, const std::string& description)
    : std::runtime_error(description), number_(number), description_(description) {}

std::string_view StandardDescription(ErrorNumber number) {
  switch (number) {
    case kErrInvalidArgument:
      return "Invalid procedure call or argument";
    case kErrOverflow:
      return "Overflow";
    case kErrOutOfMemory:
      return "Out of memory";
    case kErrTypeMismatch:
      return "Type mismatch";
    case kErrFileNotFound:
      return "File not found";
    case kErrFileExists:
      return "File already exists";
    case kErrDiskFull:
      return "Disk full";
    case kErrInputPastEnd:
      return "Input past end of file";
    case kErrPermissionDenied:
      return "Permission denied";
    case kErrPathFileAccess:
      return "Path/File access error";
    case kErrPathNotFound:
      return "Path not found";
    case kErrInvalidFormat:
      return "Invalid file format";
    case kErrInvalidPicture:
      return "Invalid picture";
    case kErrDialogBufferTooSmall:
      return "The FileName buffer is too small to store the selected file name(s)";
    case kErrIndexOutOfBounds:
      return "Index out of bounds";
  }
  return "Unexpected failure";
}

std::string_view ReasonDescription(ErrorReason reason) {
  switch (reason) {
    case ErrorReason::kResultIsFolder:
      return "A folder has the result's name";
    case ErrorReason::kReadOnlyFileSystem:
      return "Read-only file system";
    case ErrorReason::kInputChanged:
      return "The file changed while it was converted; nothing was written";
    case ErrorReason::kInputChangedOutputCut:
      return "The file changed while it was converted; the output holds an incomplete result";
    case ErrorReason::kFileInUse:
      return "Another program has the file open";
    case ErrorReason::kInterrupted:
      return "Interrupted";
    case ErrorReason::kResultIsNotAFile:
      return "A device, pipe or socket has the result's name";
    case ErrorReason::kSystemFolder:
      return "No result is made in the system's /dev or /proc";
    case ErrorReason::kNoCommonFolder:
      return "The selected files have no folder in common";
    case ErrorReason::kUnexpected:
      return "Unexpected failure";
  }
  return "Unexpected failure";
}

AppError StandardError(ErrorNumber number, ErrorReason reason) {
  return AppError(number, std::string(ReasonDescription(reason)));
}

AppError StandardError(ErrorNumber number) {
  return AppError(number, std::string(StandardDescription(number)));
}

AppError StandardError(ErrorNumber number, std::string_view detail) {
  std::string text(StandardDescription(number));
  text.append(" (").append(detail).append(")");
  return AppError(number, text);
}

AppError UnclosedQuoteError(std::uint64_t line) {
  return AppError(kErrInputPastEnd, "Unclosed quote: the quoted field that starts on line " +
                                        std::to_string(line) + " has no closing quote");
}

AppError WithDetail(const AppError& error, std::string_view detail) {
  std::string text = error.description();
  text.append(" (").append(detail).append(")");
  return AppError(error.number(), text);
}

AppError ErrorFromErrno(int err) {
  switch (err) {
    case ENOENT:
      return StandardError(kErrFileNotFound);
    case ENOTDIR:
      return StandardError(kErrPathNotFound);
    case EROFS:
      return StandardError(kErrPermissionDenied, ErrorReason::kReadOnlyFileSystem);
    case EACCES:
    case EPERM:
    case ETXTBSY:
      return StandardError(kErrPermissionDenied);
    case EISDIR:
      return StandardError(kErrPathFileAccess);
    case ENOSPC:
    case EFBIG:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return StandardError(kErrDiskFull);
    case ENAMETOOLONG:
      return StandardError(kErrPathFileAccess, "file name too long");
    case EINVAL:
      return StandardError(kErrInvalidArgument);
    default:
      return StandardError(kErrPathFileAccess, std::strerror(err));
  }
}

#ifdef _WIN32
AppError ErrorFromWin32(unsigned long code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
      return StandardError(kErrFileNotFound);
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
      return StandardError(kErrPathNotFound);
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return StandardError(kErrPermissionDenied, ErrorReason::kFileInUse);
    case ERROR_WRITE_PROTECT:
      return StandardError(kErrPermissionDenied, ErrorReason::kReadOnlyFileSystem);
    case ERROR_ACCESS_DENIED:
      return StandardError(kErrPermissionDenied);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return StandardError(kErrDiskFull);
    case ERROR_FILENAME_EXCED_RANGE:
      return StandardError(kErrPathFileAccess, "file name too long");
    case ERROR_INVALID_NAME:
      return StandardError(kErrInvalidArgument);
    default:
      return StandardError(kErrPathFileAccess, "code " + std::to_string(code));
  }
}
#endif

namespace {

// Only errno values and the system's own codes have a known meaning; the
// number of another category (a stream's, a future's) says nothing of a file.
AppError ErrorFromCode(const std::error_code& code) {
  if (code.category() == std::generic_category()) return ErrorFromErrno(code.value());
#ifdef _WIN32
  if (code.category() == std::system_category())
    return ErrorFromWin32(static_cast<unsigned long>(code.value()));
#else
  if (code.category() == std::system_category()) return ErrorFromErrno(code.value());
#endif
  return StandardError(kErrInvalidArgument, ErrorReason::kUnexpected);
}

}  // namespace

std::string StandardErrorText(std::string_view description, std::string_view location, int step) {
  std::string text;
  text.append(description);
  text.append("\r\n");
  text.append(location);
  text.append("at line ");
  text.append(std::to_string(step));
  text.append("\r\r");
  text.append("Please email screenshot of this message to ");
  text.append(kSupportEmail);
  return text;
}

std::string FormLocation(std::string_view procedure) {
  std::string location = "in Velmark2021/08/31.Form1.";
  location.append(procedure);
  location.push_back(' ');
  return location;
}

StepRunner::StepRunner(ErrorReporter& reporter, std::string location)
    : reporter_(reporter), location_(std::move(location)) {}

bool StepRunner::Do(int step, const std::function<void()>& action) {
  try {
    action();
    return true;
  } catch (...) {
    Report(step);
    return false;
  }
}

bool StepRunner::If(int step, const std::function<bool()>& test) {
  try {
    return test();
  } catch (...) {
    Report(step);
    return true;
  }
}

AppError CurrentError() {
  try {
    throw;
  } catch (const AppError& e) {
    return e;
  } catch (const std::bad_alloc&) {
    return StandardError(kErrOutOfMemory);
  } catch (const std::system_error& e) {
    return ErrorFromCode(e.code());
  } catch (...) {
    return StandardError(kErrInvalidArgument, ErrorReason::kUnexpected);
  }
}

// Called from inside a catch block.
void StepRunner::Report(int step) { reporter_.ReportError(CurrentError(), location_, step); }

}  // namespace delvora
