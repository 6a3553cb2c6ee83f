#include "platform/file_system.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "platform/posix/long_path.h"
#include "platform/utf8_path.h"

namespace delvora {

namespace {

// A name with an embedded NUL would be cut short by the system call and
// answer for a different path.
bool Stat(const std::string& path, struct stat& info) {
  return !path.empty() && path.find('\0') == std::string::npos &&
         posix::StatAnyLength(path, &info) == 0;
}

}  // namespace

bool PathIsUnreadable(const std::string& path) {
  struct stat info;
  return !Stat(path, info);
}

bool IsExistingFile(const std::string& path) {
  // Opening with no access at all has no POSIX equivalent; what the question
  // needs is that the name resolves to something that is not a folder,
  // which stat answers without needing read permission.
  struct stat info;
  return Stat(path, info) && !S_ISDIR(info.st_mode);
}

bool IsDeviceOrPipe(const std::string& path) {
  struct stat info;
  return Stat(path, info) && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

bool FolderExists(const std::string& path) {
  struct stat info;
  return Stat(path, info) && S_ISDIR(info.st_mode);
}

bool PathExists(const std::string& path) {
  struct stat info;
  return Stat(path, info);
}

std::string AbsolutePath(const std::string& utf8_path) {
  if (utf8_path.empty() || utf8_path.find('\0') != std::string::npos) return utf8_path;
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(PathFromUtf8(utf8_path), error);
  return error ? utf8_path : PathToUtf8(full);
}

}  // namespace delvora
