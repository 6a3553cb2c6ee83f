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

AppError ErrorFromErrno(int err) {
  switch (err) {
    case ENOENT:
      return AppError(kErrFileNotFound, "File not found");
    case ENOTDIR:
      return AppError(kErrPathNotFound, "Path not found");
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
      return AppError(kErrPermissionDenied, "Permission denied");
    case EISDIR:
      return AppError(kErrPathFileAccess, "Path/File access error");
    case ENOSPC:
    case EFBIG:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return AppError(kErrDiskFull, "Disk full");
    case ENAMETOOLONG:
      return AppError(kErrPathFileAccess, "Path/File access error (file name too long)");
    case EINVAL:
      return AppError(kErrInvalidArgument, "Invalid procedure call or argument");
    default:
      return AppError(kErrPathFileAccess,
                      std::string("Path/File access error (") + std::strerror(err) + ")");
  }
}

#ifdef _WIN32
AppError ErrorFromWin32(unsigned long code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
      return AppError(kErrFileNotFound, "File not found");
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
      return AppError(kErrPathNotFound, "Path not found");
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return AppError(kErrPermissionDenied, "Permission denied");
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return AppError(kErrDiskFull, "Disk full");
    case ERROR_FILENAME_EXCED_RANGE:
      return AppError(kErrPathFileAccess, "Path/File access error (file name too long)");
    case ERROR_INVALID_NAME:
      return AppError(kErrInvalidArgument, "Invalid procedure call or argument");
    default:
      return AppError(kErrPathFileAccess,
                      "Path/File access error (code " + std::to_string(code) + ")");
  }
}
#endif

namespace {

// Only errno values and the system's own codes have a known meaning; the
// number of another category (a stream's, a future's) says nothing of a file.
AppError ErrorFromCode(const std::error_code& code, const char* what) {
  if (code.category() == std::generic_category()) return ErrorFromErrno(code.value());
#ifdef _WIN32
  if (code.category() == std::system_category())
    return ErrorFromWin32(static_cast<unsigned long>(code.value()));
#else
  if (code.category() == std::system_category()) return ErrorFromErrno(code.value());
#endif
  return AppError(kErrInvalidArgument, what);
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

void StepRunner::Report(int step) {
  // Called from inside a catch block: turn whatever was thrown into the one
  // error type the message knows.
  try {
    throw;
  } catch (const AppError& e) {
    reporter_.ReportError(e, location_, step);
  } catch (const std::bad_alloc&) {
    reporter_.ReportError(AppError(7, "Out of memory"), location_, step);
  } catch (const std::system_error& e) {
    reporter_.ReportError(ErrorFromCode(e.code(), e.what()), location_, step);
  } catch (const std::exception& e) {
    reporter_.ReportError(AppError(kErrInvalidArgument, e.what()), location_, step);
  } catch (...) {
    reporter_.ReportError(AppError(kErrInvalidArgument, "Unexpected failure"), location_, step);
  }
}

}  // namespace delvora
