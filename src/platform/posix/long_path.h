#pragma once

// Paths longer than the system takes in one call (PATH_MAX, 4,096 bytes on
// Linux) still name files the file system holds: such a path is walked one
// folder at a time, each opened relative to the one before.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace delvora::posix {

#ifdef O_PATH
inline constexpr int kWalkFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
inline constexpr int kWalkFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// Opens the folder path with flags (O_DIRECTORY among them); -1 and errno
// as open(2) gives them.
inline int OpenFolder(const std::string& path, int flags) {
  const int whole = ::open(path.c_str(), flags);
  if (whole >= 0 || errno != ENAMETOOLONG) return whole;
  int folder = ::open(path[0] == '/' ? "/" : ".", kWalkFlags);
  std::size_t at = 0;
  while (folder >= 0) {
    while (at < path.size() && path[at] == '/') ++at;
    std::size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    std::size_t next = end;
    while (next < path.size() && path[next] == '/') ++next;
    const bool last = next >= path.size();
    const std::string part = at < end ? path.substr(at, end - at) : std::string(".");
    const int opened = ::openat(folder, part.c_str(), last ? flags : kWalkFlags);
    const int err = errno;
    ::close(folder);
    errno = err;
    if (last) return opened;
    folder = opened;
    at = next;
  }
  return -1;
}

// Opens path's folder for the walk and sets name to what follows it; only
// for a path too long as a whole. A folder's path may end in "/": the name
// keeps it, so the last step still demands a folder. -1 and errno on
// failure.
inline int OpenParent(const std::string& path, std::string& name) {
  const std::size_t last = path.find_last_not_of('/');
  const std::size_t cut = last == std::string::npos ? std::string::npos : path.rfind('/', last);
  if (cut == std::string::npos) {
    name = path;
    return ::open(".", kWalkFlags);
  }
  name = path.substr(cut + 1);
  return OpenFolder(cut == 0 ? std::string("/") : path.substr(0, cut), kWalkFlags);
}

// open(2) for a path of any length.
inline int OpenAnyLength(const std::string& path, int flags) {
  const int whole = ::open(path.c_str(), flags);
  if (whole >= 0 || errno != ENAMETOOLONG) return whole;
  std::string name;
  const int folder = OpenParent(path, name);
  if (folder < 0) return -1;
  const int opened = ::openat(folder, name.c_str(), flags);
  const int err = errno;
  ::close(folder);
  errno = err;
  return opened;
}

// stat(2) (lstat(2) unless follow) for a path of any length.
inline int StatAnyLength(const std::string& path, struct stat* info, bool follow = true) {
  const int whole = follow ? ::stat(path.c_str(), info) : ::lstat(path.c_str(), info);
  if (whole == 0 || errno != ENAMETOOLONG) return whole;
  std::string name;
  const int folder = OpenParent(path, name);
  if (folder < 0) return -1;
  const int result = ::fstatat(folder, name.c_str(), info, follow ? 0 : AT_SYMLINK_NOFOLLOW);
  const int err = errno;
  ::close(folder);
  errno = err;
  return result;
}

}  // namespace delvora::posix
