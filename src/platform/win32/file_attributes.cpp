#include "platform/file_attributes.h"

#include <windows.h>

#include "platform/app_error.h"
#include "platform/file_system.h"
#include "platform/utf8_path.h"

namespace delvora {

namespace {

// The system call would stop at an embedded NUL and answer for another path.
bool HoldsNul(const std::string& path) { return path.find('\0') != std::string::npos; }

[[noreturn]] void RefuseNul() { throw StandardError(kErrInvalidArgument); }

}  // namespace

int FileAttributes(const std::string& path) {
  if (HoldsNul(path)) RefuseNul();
  const DWORD attributes = GetFileAttributesW(PathFromUtf8(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) throw ErrorFromWin32(GetLastError());
  return static_cast<int>(attributes & 0xFFFF);
}

std::optional<int> ExistingFileAttributes(const std::string& path) {
  // Existence means "opens as a file" here, which only opening can tell.
  if (!IsExistingFile(path)) return std::nullopt;
  const DWORD attributes = GetFileAttributesW(PathFromUtf8(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return static_cast<int>(attributes & 0xFFFF);
}

}  // namespace delvora
