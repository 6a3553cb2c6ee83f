#include "platform/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/app_error.h"
#include "platform/interrupt_cleanup.h"
#include "platform/posix/long_path.h"

namespace delvora {

namespace {

[[noreturn]] void Fail(int err) { throw ErrorFromErrno(err); }

[[noreturn]] void FailFolder() {
  throw StandardError(kErrPathFileAccess, ErrorReason::kResultIsFolder);
}

// Read once, before any thread could create a file under a changed mask.
const mode_t kUmask = [] {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}();

}  // namespace

struct ReplacingFile::State {
  ~State() {
    if (fd >= 0) ::close(fd);
    if (!committed && !temp_name.empty()) ::unlinkat(folder_fd, temp_name.c_str(), 0);
    guard.Release();
    if (folder_fd >= 0) ::close(folder_fd);
  }

  std::string temp_path;
  std::string folder;  // with its separator, or "" for the current folder
  std::string name;    // the target's name within the folder
  std::string temp_name;
  int folder_fd = -1;
  int fd = -1;
  bool target_exists = false;
  unsigned long long target_device = 0;
  unsigned long long target_inode = 0;
  bool committed = false;
  bool direct = false;  // a device or pipe, written into as it is
  mode_t mode = 0;      // the result's permission bits
  TemporaryGuard guard;
};

namespace {

// Linux names an unnamed file through its descriptor's link in /proc,
// which any user may do (AT_EMPTY_PATH would need a privilege).
bool CanNameUnnamedFiles(bool wanted) {
#ifdef O_TMPFILE
  static const bool proc = ::access("/proc/self/fd", X_OK) == 0;
  return proc && wanted;
#else
  (void)wanted;
  return false;
#endif
}

}  // namespace

ReplacingFile::ReplacingFile(const std::string& target_path) {
  if (target_path.empty() || target_path.find('\0') != std::string::npos)
    throw StandardError(kErrPathNotFound);
  // Anything failing below leaves through the state's destructor.
  auto state = std::make_unique<State>();
  State& s = *state;
  const std::size_t cut = target_path.rfind('/');
  if (cut != std::string::npos) s.folder = target_path.substr(0, cut + 1);
  s.name = target_path.substr(cut == std::string::npos ? 0 : cut + 1);
  if (s.name.empty()) FailFolder();
  const char* folder = s.folder.empty() ? "." : s.folder.c_str();
  s.folder_fd = posix::OpenFolder(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#ifdef O_PATH
  // A folder one may write in but not list still takes the result.
  if (s.folder_fd < 0 && errno == EACCES)
    s.folder_fd = posix::OpenFolder(folder, O_PATH | O_DIRECTORY | O_CLOEXEC);
#endif
  if (s.folder_fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) throw StandardError(kErrPathNotFound);
    Fail(errno);
  }

  struct stat entry;
  s.target_exists = ::fstatat(s.folder_fd, s.name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0;
  if (!s.target_exists && errno != ENOENT) Fail(errno);
  // A new file's bits, unless the old result's are carried over.
  s.mode = 0666 & ~kUmask;
  if (s.target_exists) {
    s.target_device = static_cast<unsigned long long>(entry.st_dev);
    s.target_inode = static_cast<unsigned long long>(entry.st_ino);
    // A link is replaced, not followed; what it points to decides the
    // rest, as it is what the user sees as the result.
    struct stat target = entry;
    const bool seen =
        !S_ISLNK(entry.st_mode) || ::fstatat(s.folder_fd, s.name.c_str(), &target, 0) == 0;
    // Refuse a folder before converting anything: the rename at the end
    // would fail anyway.
    if (seen && S_ISDIR(target.st_mode)) FailFolder();
    if (seen && S_ISREG(target.st_mode)) {
      // Whoever took the owner's write permission away meant "keep this";
      // a rename would replace it anyway, even as root.
      if ((target.st_mode & S_IWUSR) == 0) Fail(EACCES);
      // Only the permission bits (a planted setuid or setgid bit must not
      // come to a file that someone else's run wrote), and only from a file
      // of the user's own: another user who may write in the folder could
      // otherwise plant a mode that lets them rewrite the result.
      if (target.st_uid == ::geteuid()) s.mode = target.st_mode & 0777;
    } else if (seen) {
      // A device, pipe or socket (/dev/null, /dev/stdout, a FIFO) is
      // written into, as a shell's redirection would; replacing it would
      // take it away from every other program.
      do {
        s.fd = ::openat(s.folder_fd, s.name.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
      } while (s.fd < 0 && errno == EINTR);
      if (s.fd < 0) Fail(errno);
      s.direct = true;
      s.target_exists = false;
      state_ = std::move(state);
      return;
    }
  }

#ifdef O_TMPFILE
  if (CanNameUnnamedFiles(use_unnamed_files_)) {
    // Nobody else can open an unnamed file: it gets its bits at once.
    s.fd = ::openat(s.folder_fd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, s.mode);
    // File systems without unnamed files say so in one of these ways.
    if (s.fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) Fail(errno);
    if (s.fd >= 0) ::fchmod(s.fd, s.mode);
  }
#endif
  // A named temporary is only the user's until it is complete, and its
  // name is registered for the interrupt clean-up before the file exists.
  for (int attempt = 0; s.fd < 0 && attempt < 100; ++attempt) {
    std::string candidate = TemporaryName();
    int err = 0;
    const bool made = s.guard.Register(s.folder_fd, candidate.c_str(), [&] {
      s.fd = ::openat(s.folder_fd, candidate.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
      err = errno;
      return s.fd >= 0;
    });
    if (made) {
      s.temp_name = std::move(candidate);
      s.temp_path = s.folder + s.temp_name;
      break;
    }
    if (err == 0) throw StandardError(kErrPathFileAccess, ErrorReason::kInterrupted);
    if (err != EEXIST && err != EINTR) Fail(err);
  }
  if (s.fd < 0) Fail(EEXIST);
  state_ = std::move(state);
}

ReplacingFile::~ReplacingFile() = default;

const std::string& ReplacingFile::temp_path() const { return state_->temp_path; }

void ReplacingFile::Write(const void* data, std::size_t size) {
  const int fd = state_->fd;
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, bytes, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
    }
    if (n == 0) Fail(ENOSPC);
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
}

bool ReplacingFile::Replaces(const std::string& path) const {
  const State& s = *state_;
  struct stat info;
  return s.target_exists && !path.empty() && path.find('\0') == std::string::npos &&
         posix::StatAnyLength(path, &info) == 0 &&
         static_cast<unsigned long long>(info.st_dev) == s.target_device &&
         static_cast<unsigned long long>(info.st_ino) == s.target_inode;
}

void ReplacingFile::Commit(bool durable) {
  State& s = *state_;
  if (s.direct) {
    const int fd = s.fd;
    s.fd = -1;
    s.committed = true;
    if (::close(fd) != 0 && errno != EINTR) Fail(errno);
    return;
  }
  if (!s.temp_name.empty() && ::fchmod(s.fd, s.mode) != 0) Fail(errno);
  if (durable) {
    if (::fsync(s.fd) != 0) Fail(errno);
    ++file_flushes_;
  }
  // The unnamed file gets its name only now that it is complete, and loses
  // it to the rename at once.
  if (s.temp_name.empty()) {
    char link[32];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", s.fd);
    for (int attempt = 0; s.temp_name.empty(); ++attempt) {
      std::string candidate = TemporaryName();
      int err = 0;
      const bool named = s.guard.Register(s.folder_fd, candidate.c_str(), [&] {
        const bool linked =
            ::linkat(AT_FDCWD, link, s.folder_fd, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0;
        err = errno;
        return linked;
      });
      if (named) {
        s.temp_name = std::move(candidate);
        s.temp_path = s.folder + s.temp_name;
        break;
      }
      if (err == 0) throw StandardError(kErrPathFileAccess, ErrorReason::kInterrupted);
      if ((err != EEXIST && err != EINTR) || attempt == 100) Fail(err);
    }
  }
  const int fd = s.fd;
  s.fd = -1;
  // A delayed write error (a full disk on a network share) shows up here.
  if (::close(fd) != 0 && errno != EINTR) Fail(errno);
  if (::renameat(s.folder_fd, s.temp_name.c_str(), s.folder_fd, s.name.c_str()) != 0) {
    // A folder that took the result's name meanwhile.
    if (errno == EISDIR || errno == ENOTEMPTY || errno == EEXIST) FailFolder();
    Fail(errno);
  }
  s.committed = true;
  s.guard.Release();
  if (durable) {
    // A folder opened only to be written in cannot be flushed; its rename
    // then rests on the file system's own journal.
    if (::fsync(s.folder_fd) == 0) {
      ++folder_flushes_;
    } else if (errno != EBADF) {
      Fail(errno);
    }
  }
}

}  // namespace delvora
