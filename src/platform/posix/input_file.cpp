#include "platform/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/app_error.h"

namespace delvora {

InputFile::InputFile(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) throw ErrorFromErrno(ENOENT);
  int fd;
  // Non-blocking, so that a named pipe cannot hold the open up; only
  // regular files get further.
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) throw ErrorFromErrno(errno);
  handle_ = fd;
  struct stat info;
  int err = 0;
  if (::fstat(fd, &info) != 0) {
    err = errno;
  } else if (S_ISDIR(info.st_mode)) {
    err = EISDIR;  // a folder opens for reading on POSIX
  } else if (!S_ISREG(info.st_mode)) {
    // A pipe, socket or device may never end or never answer.
    Close();
    throw StandardError(kErrPathFileAccess, "not a regular file");
  } else if (int flags = ::fcntl(fd, F_GETFL);
             flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    err = errno;
  }
  if (err != 0) {
    Close();
    throw ErrorFromErrno(err);
  }
  size_ = static_cast<std::uint64_t>(info.st_size);
#ifdef POSIX_FADV_SEQUENTIAL
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
}

void InputFile::Close() {
  if (handle_ != kClosed) ::close(static_cast<int>(handle_));
  handle_ = kClosed;
}

std::size_t InputFile::Read(void* buffer, std::size_t size) {
  const int fd = static_cast<int>(handle_);
  for (;;) {
    const ssize_t n = ::read(fd, buffer, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) throw ErrorFromErrno(errno);
  }
}

}  // namespace delvora
