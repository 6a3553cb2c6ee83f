#include "platform/file_attributes.h"

#include <sys/stat.h>

#include <cerrno>
#include <string_view>

#include "platform/app_error.h"
#include "platform/posix/long_path.h"

namespace delvora {

namespace {

// The system call would stop at an embedded NUL and answer for another path.
bool HoldsNul(const std::string& path) { return path.find('\0') != std::string::npos; }

[[noreturn]] void RefuseNul() { throw StandardError(kErrInvalidArgument); }

bool NameIsHidden(const std::string& path) {
  // The last name of the path, ignoring trailing separators.
  std::size_t end = path.find_last_not_of('/');
  if (end == std::string::npos) return false;
  const std::size_t slash = path.find_last_of('/', end);
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  const std::string_view name(path.data() + start, end - start + 1);
  return name.size() > 0 && name.front() == '.' && name != "." && name != "..";
}

int FromMode(mode_t mode) {
  int attributes = 0;
  if (S_ISDIR(mode)) attributes |= kAttrDirectory;
  if (S_ISREG(mode)) attributes |= kAttrArchive;
  if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= kAttrReadOnly;
  return attributes;
}

}  // namespace

int FileAttributes(const std::string& path) {
  if (HoldsNul(path)) RefuseNul();
  struct stat link_info {};
  if (posix::StatAnyLength(path, &link_info, false) != 0) throw ErrorFromErrno(errno);
  int attributes = NameIsHidden(path) ? kAttrHidden : 0;
  if (S_ISLNK(link_info.st_mode)) {
    attributes |= kAttrReparsePoint;
    // A link stands for what it points at; a dangling one is just the link.
    struct stat target {};
    if (posix::StatAnyLength(path, &target) == 0) attributes |= FromMode(target.st_mode);
    return attributes;
  }
  return attributes | FromMode(link_info.st_mode);
}

std::optional<int> ExistingFileAttributes(const std::string& path) {
  if (HoldsNul(path)) return std::nullopt;
  struct stat info {};
  if (posix::StatAnyLength(path, &info, false) != 0) return std::nullopt;
  int attributes = NameIsHidden(path) ? kAttrHidden : 0;
  if (S_ISLNK(info.st_mode)) {
    attributes |= kAttrReparsePoint;
    if (posix::StatAnyLength(path, &info) != 0) return std::nullopt;  // dangling
  }
  // Pipes, sockets and devices are no files to convert: reading a pipe
  // would wait for a writer that never comes.
  if (!S_ISREG(info.st_mode)) return std::nullopt;
  return attributes | FromMode(info.st_mode);
}

}  // namespace delvora
