#include "platform/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/app_error.h"
#include "platform/posix/long_path.h"

namespace delvora {

namespace {

std::int64_t Modified(const struct stat& info) {
  return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

// A named pipe whose writer has not come yet reads as empty: it is opened
// again, the same pipe through its descriptor, to wait for the writer as
// any reader of a pipe does. Returns the descriptor to read.
int WaitForWriter(int fd) {
  const std::string same = "/proc/self/fd/" + std::to_string(fd);
  int blocking;
  do {
    blocking = ::open(same.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  } while (blocking < 0 && errno == EINTR);
  if (blocking < 0) return fd;  // no /proc: read what is there
  ::close(fd);
  return blocking;
}

std::int64_t Changed(const struct stat& info) {
  return static_cast<std::int64_t>(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
}

}  // namespace

InputFile::InputFile(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) throw ErrorFromErrno(ENOENT);
  int fd;
  // Non-blocking, so that a named pipe without a writer cannot hold the
  // open up.
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
  } else if (int flags = ::fcntl(fd, F_GETFL);
             flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    err = errno;
  }
  if (err != 0) {
    Close();
    throw ErrorFromErrno(err);
  }
  permissions_ = static_cast<int>(info.st_mode & 0777);
  // A pipe or device the user named is read to its end, like the standard
  // input: it has no size to hold on to, and its times change as it runs.
  on_disk_ = S_ISREG(info.st_mode);
  if (S_ISFIFO(info.st_mode)) handle_ = WaitForWriter(fd);
  if (!on_disk_) return;
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
      if (!on_disk_) return 0;
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
