#include "conversion/text_writer.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <random>

#include "conversion/converter.h"
#include "platform/utf8_path.h"

#ifdef _WIN32
#include <windows.h>

#include "conversion/batch_plan.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace delvora {

namespace {

std::atomic<bool> use_unnamed_files{true};
std::atomic<int> file_flushes{0};
std::atomic<int> folder_flushes{0};

[[noreturn]] void FailWrite(const AppError& error) {
  throw ConversionFailure(ConversionFailure::Stage::kWrite, error);
}

// Short and of fixed length whatever the target's name, so the temporary
// fits wherever the result does.
std::string TempName() {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string name = ".dv-";
  std::uint64_t bits = random();
  for (int i = 0; i < 10; ++i, bits /= 36) name.push_back(kDigits[bits % 36]);
  name += ".tmp";
  return name;
}

bool Unusable(const std::string& path) {
  return path.empty() || path.find('\0') != std::string::npos;
}

#ifndef _WIN32
[[noreturn]] void FailWriteErrno(int err) { FailWrite(ErrorFromErrno(err)); }
#endif

}  // namespace

void AtomicFileWriter::UseUnnamedFiles(bool use) { use_unnamed_files = use; }
int AtomicFileWriter::FileFlushes() { return file_flushes; }
int AtomicFileWriter::FolderFlushes() { return folder_flushes; }

#ifdef _WIN32

namespace {

// The folder part of the target, as text that a name can be appended to.
std::string FolderOf(const std::string& target) {
  const std::size_t cut = target.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : target.substr(0, cut + 1);
}

}  // namespace

AtomicFileWriter::AtomicFileWriter(const std::string& target_path)
    : target_path_(target_path), handle_(INVALID_HANDLE_VALUE) {
  if (Unusable(target_path)) FailWrite(StandardError(kErrPathNotFound));
  const DWORD attributes = GetFileAttributesW(PathFromUtf8(target_path).c_str());
  DWORD carried = FILE_ATTRIBUTE_NORMAL;
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
      FailWrite(StandardError(kErrPathFileAccess));
    // Whoever made a result read-only meant "keep this".
    if (attributes & FILE_ATTRIBUTE_READONLY)
      FailWrite(StandardError(kErrPermissionDenied));
    // The replaced result keeps what the user set on it.
    const DWORD kept = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (kept != 0) carried = kept;
  }
  const std::string folder = FolderOf(target_path);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = folder + TempName();
    const std::wstring wide = PathFromUtf8(candidate).wstring();
    // Delete sharing lets the interrupt clean-up remove it while open.
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                           carried | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      handle_ = h;
      temp_path_ = std::move(candidate);
      guard_.Register(wide.c_str());
      return;
    }
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
      if (code == ERROR_FILE_NOT_FOUND) FailWrite(StandardError(kErrPathNotFound));
      FailWrite(ErrorFromWin32(code));
    }
  }
  FailWrite(ErrorFromWin32(ERROR_FILE_EXISTS));
}

void AtomicFileWriter::Write(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const DWORD ask = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD done = 0;
    if (!WriteFile(static_cast<HANDLE>(handle_), bytes, ask, &done, nullptr) || done == 0)
      FailWrite(ErrorFromWin32(GetLastError()));
    bytes += done;
    size -= done;
  }
}

bool AtomicFileWriter::Replaces(const std::string& path) const {
  const std::optional<PathIdentity> file = FileIdentity(path);
  return file && EntryIdentity(target_path_) == *file;
}

void AtomicFileWriter::Commit() {
  HANDLE h = static_cast<HANDLE>(handle_);
  if (durable_) {
    if (!FlushFileBuffers(h)) FailWrite(ErrorFromWin32(GetLastError()));
    ++file_flushes;
  }
  handle_ = INVALID_HANDLE_VALUE;
  if (!CloseHandle(h)) FailWrite(ErrorFromWin32(GetLastError()));
  // Write-through returns only once the rename is on disk: the folder's
  // flush on Windows.
  if (!MoveFileExW(PathFromUtf8(temp_path_).c_str(), PathFromUtf8(target_path_).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    FailWrite(ErrorFromWin32(GetLastError()));
  if (durable_) ++folder_flushes;
  committed_ = true;
  guard_.Release();
}

void AtomicFileWriter::Discard() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = INVALID_HANDLE_VALUE;
  if (!committed_ && !temp_path_.empty()) DeleteFileW(PathFromUtf8(temp_path_).c_str());
  guard_.Release();
}

#else

namespace {

// Linux names an unnamed file through its descriptor's link in /proc,
// which any user may do (AT_EMPTY_PATH would need a privilege).
bool CanNameUnnamedFiles() {
#ifdef O_TMPFILE
  static const bool proc = ::access("/proc/self/fd", X_OK) == 0;
  return proc && use_unnamed_files;
#else
  return false;
#endif
}

}  // namespace

AtomicFileWriter::AtomicFileWriter(const std::string& target_path) : target_path_(target_path) {
  if (Unusable(target_path)) FailWrite(StandardError(kErrPathNotFound));
  const std::size_t cut = target_path.rfind('/');
  if (cut != std::string::npos) folder_ = target_path.substr(0, cut + 1);
  name_ = target_path.substr(cut == std::string::npos ? 0 : cut + 1);
  if (name_.empty()) FailWriteErrno(EISDIR);
  const char* folder = folder_.empty() ? "." : folder_.c_str();
  folder_fd_ = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#ifdef O_PATH
  // A folder one may write in but not list still takes the result.
  if (folder_fd_ < 0 && errno == EACCES)
    folder_fd_ = ::open(folder, O_PATH | O_DIRECTORY | O_CLOEXEC);
#endif
  if (folder_fd_ < 0) {
    if (errno == ENOENT || errno == ENOTDIR)
      FailWrite(StandardError(kErrPathNotFound));
    FailWriteErrno(errno);
  }
  // Anything failing below runs no destructor: the descriptor goes here.
  struct FolderCloser {
    AtomicFileWriter& writer;
    bool armed = true;
    ~FolderCloser() {
      if (armed) writer.Discard();
    }
  } closer{*this};

  struct stat entry;
  target_exists_ = ::fstatat(folder_fd_, name_.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0;
  if (!target_exists_ && errno != ENOENT) FailWriteErrno(errno);
  mode_t carried_mode = 0;
  bool carry_mode = false;
  if (target_exists_) {
    target_device_ = static_cast<unsigned long long>(entry.st_dev);
    target_inode_ = static_cast<unsigned long long>(entry.st_ino);
    // A link is replaced, not followed; what it points to decides the
    // rest, as it is what the user sees as the result.
    struct stat target = entry;
    const bool seen =
        !S_ISLNK(entry.st_mode) || ::fstatat(folder_fd_, name_.c_str(), &target, 0) == 0;
    // Refuse a folder before converting anything: the rename at the end
    // would fail anyway.
    if (seen && S_ISDIR(target.st_mode)) FailWriteErrno(EISDIR);
    if (seen && S_ISREG(target.st_mode)) {
      // Whoever took the owner's write permission away meant "keep this";
      // a rename would replace it anyway, even as root.
      if ((target.st_mode & S_IWUSR) == 0) FailWriteErrno(EACCES);
      // Only the permission bits: a planted setuid or setgid bit must not
      // come to a file that someone else's run wrote.
      carried_mode = target.st_mode & 0777;
      carry_mode = true;
    }
  }

#ifdef O_TMPFILE
  if (CanNameUnnamedFiles()) {
    fd_ = ::openat(folder_fd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    // File systems without unnamed files say so in one of these ways.
    if (fd_ < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) FailWriteErrno(errno);
  }
#endif
  for (int attempt = 0; fd_ < 0 && attempt < 100; ++attempt) {
    std::string candidate = TempName();
    const int fd = ::openat(folder_fd_, candidate.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0) {
      fd_ = fd;
      guard_.Register(folder_fd_, candidate.c_str());
      temp_name_ = std::move(candidate);
      temp_path_ = folder_ + temp_name_;
      break;
    }
    if (errno != EEXIST && errno != EINTR) FailWriteErrno(errno);
  }
  if (fd_ < 0) FailWriteErrno(EEXIST);
  if (carry_mode) ::fchmod(fd_, carried_mode);
  closer.armed = false;
}

void AtomicFileWriter::Write(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd_, bytes, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      FailWriteErrno(errno);
    }
    if (n == 0) FailWriteErrno(ENOSPC);
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
}

bool AtomicFileWriter::Replaces(const std::string& path) const {
  struct stat info;
  return target_exists_ && !Unusable(path) && ::stat(path.c_str(), &info) == 0 &&
         static_cast<unsigned long long>(info.st_dev) == target_device_ &&
         static_cast<unsigned long long>(info.st_ino) == target_inode_;
}

void AtomicFileWriter::Commit() {
  if (durable_) {
    if (::fsync(fd_) != 0) FailWriteErrno(errno);
    ++file_flushes;
  }
  // The unnamed file gets its name only now that it is complete, and loses
  // it to the rename at once.
  if (temp_name_.empty()) {
    char link[32];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd_);
    for (int attempt = 0; temp_name_.empty(); ++attempt) {
      std::string candidate = TempName();
      guard_.Register(folder_fd_, candidate.c_str());
      if (::linkat(AT_FDCWD, link, folder_fd_, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        temp_name_ = std::move(candidate);
        temp_path_ = folder_ + temp_name_;
        break;
      }
      guard_.Release();
      if ((errno != EEXIST && errno != EINTR) || attempt == 100) FailWriteErrno(errno);
    }
  }
  const int fd = fd_;
  fd_ = -1;
  // A delayed write error (a full disk on a network share) shows up here.
  if (::close(fd) != 0 && errno != EINTR) FailWriteErrno(errno);
  if (::renameat(folder_fd_, temp_name_.c_str(), folder_fd_, name_.c_str()) != 0)
    FailWriteErrno(errno);
  committed_ = true;
  guard_.Release();
  if (durable_) {
    // A folder opened only to be written in cannot be flushed; its rename
    // then rests on the file system's own journal.
    if (::fsync(folder_fd_) == 0) {
      ++folder_flushes;
    } else if (errno != EBADF) {
      FailWriteErrno(errno);
    }
  }
}

void AtomicFileWriter::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!committed_ && !temp_name_.empty()) ::unlinkat(folder_fd_, temp_name_.c_str(), 0);
  guard_.Release();
  if (folder_fd_ >= 0) ::close(folder_fd_);
  folder_fd_ = -1;
}

#endif

AtomicFileWriter::~AtomicFileWriter() { Discard(); }

WriteBehind::WriteBehind(ByteSink& sink, unsigned char* first, unsigned char* second,
                         std::size_t capacity, bool background)
    : sink_(sink), background_(background), buffers_{first, second}, capacity_(capacity) {}

bool WriteBehind::StartWriter() {
  background_ = false;  // one attempt only
  try {
    writer_ = std::thread([this] { WriterLoop(); });
    return true;
  } catch (const std::exception&) {
    // No thread to be had: write on the caller's thread instead.
    return false;
  }
}

WriteBehind::~WriteBehind() {
  if (!writer_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  writer_.join();
}

void WriteBehind::WaitIdle(std::unique_lock<std::mutex>& lock) {
  changed_.wait(lock, [this] { return queued_ < 0; });
  if (failure_) std::rethrow_exception(failure_);
}

void WriteBehind::Submit(std::size_t size, bool last) {
  // The first buffer is written here: most files fit in one, and a thread
  // would cost more than it saves; so is a last one while no thread runs.
  const bool first = submitted_++ == 0;
  if (!writer_.joinable() && (first || last || !background_ || !StartWriter())) {
    if (size != 0) sink_.Write(buffers_[0], size);
    return;
  }
  {
    std::unique_lock<std::mutex> lock(mutex_);
    WaitIdle(lock);
    queued_ = current_;
    queued_size_ = size;
  }
  changed_.notify_all();
  current_ ^= 1;
}

void WriteBehind::Finish() {
  if (!writer_.joinable()) return;
  std::unique_lock<std::mutex> lock(mutex_);
  WaitIdle(lock);
}

void WriteBehind::WriterLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stop_ || queued_ >= 0; });
    if (stop_) return;
    const int index = queued_;
    const std::size_t size = queued_size_;
    const bool failed_before = static_cast<bool>(failure_);
    lock.unlock();
    std::exception_ptr failure;
    try {
      if (size != 0 && !failed_before) sink_.Write(buffers_[index], size);
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    if (failure) failure_ = failure;
    queued_ = -1;
    changed_.notify_all();
  }
}

}  // namespace delvora
