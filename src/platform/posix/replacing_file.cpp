#include "platform/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>

#include "platform/app_error.h"
#include "platform/interrupt_cleanup.h"
#include "platform/posix/long_path.h"
#include "platform/writer_hooks.h"

namespace delvora {

namespace {

[[noreturn]] void Fail(int err) { throw ErrorFromErrno(err); }

[[noreturn]] void FailFolder() {
  throw StandardError(kErrPathFileAccess, ErrorReason::kResultIsFolder);
}

// The umask, read where Linux shows it, so that it is never changed to be
// read. Without /proc it is set and put back: our own files are all created
// with explicit modes, so the moment between harms none.
mode_t ReadUmask() {
  if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    std::optional<mode_t> mask;
    while (!mask && std::fgets(line, sizeof line, status) != nullptr) {
      constexpr std::string_view kKey = "Umask:";
      const std::string_view text(line);
      if (text.substr(0, kKey.size()) != kKey) continue;
      const std::size_t digits = text.find_first_of("01234567", kKey.size());
      unsigned value = 0;
      if (digits != std::string_view::npos &&
          std::from_chars(text.data() + digits, text.data() + text.size(), value, 8).ec ==
              std::errc())
        mask = static_cast<mode_t>(value);
    }
    (void)std::fclose(status);  // read only
    if (mask) return *mask;
  }
  static std::mutex mutex;
  const std::lock_guard<std::mutex> lock(mutex);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

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
  bool direct = false;  // a device, pipe or descriptor, written into as it is
  mode_t mode = 0;      // the result's permission bits
  TemporaryGuard guard;
};

namespace {

constexpr int kNameAttempts = 100;

std::optional<int> DescriptorNumber(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  int number = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9' || number > 100000000) return std::nullopt;
    number = number * 10 + (c - '0');
  }
  return number;
}

std::optional<int> StandardStream(std::string_view name) {
  if (name == "stdin") return 0;
  if (name == "stdout") return 1;
  if (name == "stderr") return 2;
  return std::nullopt;
}

// The names by which a shell user hands the program one of its own open
// descriptors. Following them would reach whatever the descriptor stands
// for (a terminal, a pipe, a file redirected into) and replace it by name.
std::optional<int> OwnDescriptor(const std::string& path) {
  constexpr std::string_view kDevices = "/dev/";
  if (path.compare(0, kDevices.size(), kDevices) == 0) {
    if (const std::optional<int> stream = StandardStream(path.substr(kDevices.size())))
      return stream;
  }
  for (const std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    if (path.compare(0, prefix.size(), prefix) == 0)
      return DescriptorNumber(std::string_view(path).substr(prefix.size()));
  }
  return std::nullopt;
}

// The folders where a name stands for something of the system's (a device,
// a process's descriptor) rather than a file: a result is never made or
// replaced there, however the user spelled the way in ("/dev/../dev",
// a link to /dev, /proc/thread-self/fd).
struct SystemFolder {
  bool devices = false;      // /dev itself
  bool descriptors = false;  // this process's or this thread's descriptors
  bool any = false;          // those, or anywhere in /proc
};

struct FolderMark {
  bool known = false;
  dev_t device = 0;
  ino_t inode = 0;
  bool Is(const struct stat& info) const {
    return known && info.st_dev == device && info.st_ino == inode;
  }
};

FolderMark MarkOf(const char* path) {
  struct stat info;
  if (::stat(path, &info) != 0 || !S_ISDIR(info.st_mode)) return {};
  return {true, info.st_dev, info.st_ino};
}

SystemFolder ClassifyFolder(int folder_fd) {
  struct Marks {
    FolderMark devices = MarkOf("/dev");
    FolderMark descriptors = MarkOf("/proc/self/fd");
    FolderMark processes = MarkOf("/proc");
    FolderMark root = MarkOf("/");
  };
  // The system's folders stay where they are for the program's life; a
  // look per result would cost several lookups through /proc.
  static const Marks kMarks;
  struct stat folder;
  if (::fstat(folder_fd, &folder) != 0) return {};
  SystemFolder kind;
  kind.devices = kMarks.devices.Is(folder);
  // /proc is a file system of its own only where it is mounted.
  const bool in_proc = kMarks.processes.known && kMarks.processes.device != kMarks.root.device &&
                       folder.st_dev == kMarks.processes.device;
  kind.descriptors =
      kMarks.descriptors.Is(folder) || (in_proc && MarkOf("/proc/thread-self/fd").Is(folder));
  kind.any = kind.devices || kind.descriptors || in_proc;
  return kind;
}

// What stands at the result's name, seen through a descriptor of the entry
// itself: a link is not followed. False when nothing does.
bool Inspect(int folder_fd, const std::string& name, struct stat& info) {
#ifdef O_PATH
  const int fd = ::openat(folder_fd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return false;
    Fail(errno);
  }
  const int status = ::fstat(fd, &info);
  const int err = errno;
  ::close(fd);
  if (status != 0) Fail(err);
  return true;
#else
  if (::fstatat(folder_fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) return true;
  if (errno == ENOENT) return false;
  Fail(errno);
#endif
}

// The bits a new result gets: its input's, as cp gives them, less the
// umask; never the execute bits, as a result is text.
mode_t NewResultMode(int source_mode) {
  const mode_t base = source_mode >= 0 ? static_cast<mode_t>(source_mode) & 0666 : 0666;
  // Read when the first result is made, not while the program starts, and
  // kept: a read takes about 20 us, a few percent of a small file's whole
  // conversion.
  static const mode_t kUmask = ReadUmask();
  return base & ~kUmask;
}

// The user's own regular result keeps what the user chose for it.
void TakeOwnersChoice(ReplacingFile::State& s, const struct stat& old) {
  // Whoever took the owner's write permission away meant "keep this"; a
  // rename would replace it anyway, even as root.
  if ((old.st_mode & S_IWUSR) == 0) Fail(EACCES);
  // Only the permission bits, and only from a file of the user's own:
  // another user who may write in the folder could otherwise plant a mode
  // that lets them rewrite the result.
  if (old.st_uid == ::geteuid()) s.mode = old.st_mode & 0777;
}

void WriteIntoDescriptor(ReplacingFile::State& s, int number) {
  s.fd = ::fcntl(number, F_DUPFD_CLOEXEC, 3);
  if (s.fd < 0) Fail(errno == EBADF ? ENOENT : errno);
  s.direct = true;
}

// A device, pipe, socket or terminal the user named is written into, as a
// shell's redirection would, links followed. Whether it is one is decided
// by what the open gave; false when that is a regular file after all
// (swapped in meanwhile), which is then replaced as any other.
bool WriteIntoNamed(ReplacingFile::State& s) {
  const auto open_as = [&](int flags) {
    int fd;
    do {
      fd = ::openat(s.folder_fd, s.name.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
  };
  int fd = open_as(O_NONBLOCK);
  // A pipe nobody reads yet: wait for its reader, as the shell does.
  if (fd < 0 && errno == ENXIO) fd = open_as(0);
  if (fd < 0) {
    if (errno == EISDIR) FailFolder();
    Fail(errno);
  }
  struct stat info;
  if (::fstat(fd, &info) != 0 || S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) {
    ::close(fd);
    return false;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    const int err = errno;
    ::close(fd);
    Fail(err);
  }
  s.fd = fd;
  s.direct = true;
  s.target_exists = false;
  return true;
}

// Gives the temporary a fresh name through make (which creates or links
// it), registered for the interrupt clean-up before it exists.
void NameTemporary(ReplacingFile::State& s, const std::function<bool(const char*)>& make) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string candidate = TemporaryName();
    int err = 0;
    const bool made = s.guard.Register(s.folder_fd, candidate.c_str(), [&] {
      const bool ok = make(candidate.c_str());
      err = ok ? 0 : errno;
      return ok;
    });
    if (made) {
      s.temp_name = std::move(candidate);
      s.temp_path = s.folder + s.temp_name;
      return;
    }
    // Nothing was tried: the interrupt clean-up has begun.
    if (err == 0) throw StandardError(kErrPathFileAccess, ErrorReason::kInterrupted);
    if (err != EEXIST && err != EINTR) Fail(err);
  }
  Fail(EEXIST);
}

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

void CreateTemporary(ReplacingFile::State& s, bool unnamed_wanted) {
#ifdef O_TMPFILE
  if (CanNameUnnamedFiles(unnamed_wanted)) {
    // Nobody else can open an unnamed file: it gets its bits at once.
    s.fd = ::openat(s.folder_fd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, s.mode);
    // File systems without unnamed files say so in one of these ways.
    if (s.fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) Fail(errno);
    // The umask narrowed the bits the open asked for.
    if (s.fd >= 0 && ::fchmod(s.fd, s.mode) != 0) Fail(errno);
    if (s.fd >= 0) return;
  }
#else
  (void)unnamed_wanted;
#endif
  // A named temporary is only the user's until it is complete.
  NameTemporary(s, [&s](const char* name) {
    s.fd = ::openat(s.folder_fd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
    return s.fd >= 0;
  });
}

}  // namespace

ReplacingFile::ReplacingFile(const std::string& target_path, ResultTarget target) {
  if (target_path.empty() || target_path.find('\0') != std::string::npos)
    throw StandardError(kErrPathNotFound);
  // Anything failing below leaves through the state's destructor.
  auto state = std::make_unique<State>();
  State& s = *state;
  if (target.named) {
    if (const std::optional<int> own = OwnDescriptor(target_path)) {
      WriteIntoDescriptor(s, *own);
      state_ = std::move(state);
      return;
    }
  }
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

  if (const SystemFolder system = ClassifyFolder(s.folder_fd); system.any) {
    if (target.named) {
      const std::optional<int> own = system.devices       ? StandardStream(s.name)
                                     : system.descriptors ? DescriptorNumber(s.name)
                                                          : std::nullopt;
      if (own) {
        WriteIntoDescriptor(s, *own);
        state_ = std::move(state);
        return;
      }
      // A device there (/dev/null, a terminal) as a shell's redirection
      // would take it; nothing new.
      struct stat entry;
      if (Inspect(s.folder_fd, s.name, entry) && !S_ISDIR(entry.st_mode) && WriteIntoNamed(s)) {
        state_ = std::move(state);
        return;
      }
    }
    throw StandardError(kErrPathFileAccess, ErrorReason::kSystemFolder);
  }

  s.mode = NewResultMode(target.source_mode);
  struct stat old;
  s.target_exists = Inspect(s.folder_fd, s.name, old);
  if (s.target_exists) {
    s.target_device = static_cast<unsigned long long>(old.st_dev);
    s.target_inode = static_cast<unsigned long long>(old.st_ino);
    // Refuse a folder before converting anything: the rename at the end
    // would fail anyway.
    if (S_ISDIR(old.st_mode)) FailFolder();
    if (S_ISREG(old.st_mode)) {
      TakeOwnersChoice(s, old);
    } else if (target.named) {
      // A link the user named may lead to a device or pipe; to anything
      // else it is replaced like a link in a made-up path.
      if (WriteIntoNamed(s)) {
        state_ = std::move(state);
        return;
      }
    } else if (!S_ISLNK(old.st_mode)) {
      // Someone else's device, pipe or socket must not receive the data,
      // nor hold the batch up, nor be taken away from its programs.
      throw StandardError(kErrPathFileAccess, ErrorReason::kResultIsNotAFile);
    }
  }
  CreateTemporary(s, writer_hooks::use_unnamed_files);
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
    ++writer_hooks::file_flushes;
  }
  // The unnamed file gets its name only now that it is complete, and loses
  // it to the rename at once.
  if (s.temp_name.empty()) {
    char link[32];
    (void)std::snprintf(link, sizeof link, "/proc/self/fd/%d", s.fd);  // always fits
    NameTemporary(s, [&](const char* name) {
      return ::linkat(AT_FDCWD, link, s.folder_fd, name, AT_SYMLINK_FOLLOW) == 0;
    });
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
      ++writer_hooks::folder_flushes;
    } else if (errno != EBADF) {
      Fail(errno);
    }
  }
}

}  // namespace delvora
