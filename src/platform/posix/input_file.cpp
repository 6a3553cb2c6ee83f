#include "platform/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/app_error.h"
#include "platform/posix/long_path.h"

namespace delvora {

namespace {

std::int64_t Modified(const struct stat& info) {
  return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

std::int64_t Changed(const struct stat& info) {
  return static_cast<std::int64_t>(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
}

}  // namespace

InputFile::InputFile(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) throw ErrorFromErrno(ENOENT);
  int fd;
  // Non-blocking, so that a named pipe cannot hold the open up; only
  // regular files get further.
  do {
    fd = posix::OpenAnyLength(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
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
  modified_ = Modified(info);
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
  const std::size_t ask = Cap(size);
  if (!change_taken_) {
    struct stat info;
    if (::fstat(fd, &info) != 0) throw ErrorFromErrno(errno);
    changed_ = Changed(info);
    change_taken_ = true;
  }
  for (;;) {
    const ssize_t n = ask == 0 ? 0 : ::read(fd, buffer, ask);
    if (n > 0) {
      read_ += static_cast<std::uint64_t>(n);
      return static_cast<std::size_t>(n);
    }
    if (n == 0) {
      struct stat info;
      if (::fstat(fd, &info) != 0) throw ErrorFromErrno(errno);
      if (static_cast<std::uint64_t>(info.st_size) != size_ || Modified(info) != modified_ ||
          Changed(info) != changed_ || (size_ != 0 && read_ != size_))
        throw StandardError(kErrPathFileAccess, ErrorReason::kInputChanged);
      return 0;
    }
    if (errno != EINTR) throw ErrorFromErrno(errno);
  }
}

}  // namespace delvora
