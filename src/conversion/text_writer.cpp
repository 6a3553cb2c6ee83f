#include "conversion/text_writer.h"

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <random>
#include <system_error>

#include "conversion/converter.h"
#include "platform/utf8_path.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace delvora {

namespace {

[[noreturn]] void FailWrite(const AppError& error) {
  throw ConversionFailure(ConversionFailure::Stage::kWrite, error);
}

// The folder part of the target, as text that a name can be appended to.
std::string FolderOf(const std::string& target) {
  const std::filesystem::path parent = PathFromUtf8(target).parent_path();
  if (parent.empty()) return std::string();
  std::string folder = PathToUtf8(parent);
  const char last = folder.back();
  if (last != '/' && last != kNativeSeparator) folder.push_back(kNativeSeparator);
  return folder;
}

// Short on purpose: a long target name plus a suffix could exceed the
// longest name the file system takes.
std::string TempName() {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string name = ".delvora-";
  std::uint64_t bits = random();
  for (int i = 0; i < 12; ++i, bits /= 36) name.push_back(kDigits[bits % 36]);
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

#ifdef _WIN32

AtomicFileWriter::AtomicFileWriter(const std::string& target_path)
    : target_path_(target_path), handle_(INVALID_HANDLE_VALUE) {
  if (Unusable(target_path)) FailWrite(AppError(kErrPathNotFound, "Path not found"));
  const DWORD attributes = GetFileAttributesW(PathFromUtf8(target_path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    FailWrite(AppError(kErrPathFileAccess, "Path/File access error"));
  const std::string folder = FolderOf(target_path);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = folder + TempName();
    HANDLE h = CreateFileW(PathFromUtf8(candidate).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      handle_ = h;
      temp_path_ = std::move(candidate);
      return;
    }
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
      if (code == ERROR_FILE_NOT_FOUND) FailWrite(AppError(kErrPathNotFound, "Path not found"));
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

void AtomicFileWriter::Commit() {
  HANDLE h = static_cast<HANDLE>(handle_);
  handle_ = INVALID_HANDLE_VALUE;
  if (!CloseHandle(h)) FailWrite(ErrorFromWin32(GetLastError()));
  if (!MoveFileExW(PathFromUtf8(temp_path_).c_str(), PathFromUtf8(target_path_).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    FailWrite(ErrorFromWin32(GetLastError()));
  committed_ = true;
}

void AtomicFileWriter::Discard() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = INVALID_HANDLE_VALUE;
  if (!committed_ && !temp_path_.empty()) DeleteFileW(PathFromUtf8(temp_path_).c_str());
}

#else

AtomicFileWriter::AtomicFileWriter(const std::string& target_path)
    : target_path_(target_path), fd_(-1) {
  if (Unusable(target_path)) FailWrite(AppError(kErrPathNotFound, "Path not found"));
  struct stat target;
  const bool target_exists = ::stat(target_path.c_str(), &target) == 0;
  // Refuse a folder before converting anything: the rename at the end
  // would fail anyway.
  if (target_exists && S_ISDIR(target.st_mode)) FailWriteErrno(EISDIR);
  const std::string folder = FolderOf(target_path);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = folder + TempName();
    const int fd =
        ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0) {
      fd_ = fd;
      temp_path_ = std::move(candidate);
      // A replaced output keeps the permissions it had.
      if (target_exists && S_ISREG(target.st_mode)) ::fchmod(fd_, target.st_mode & 07777);
      return;
    }
    if (errno == EEXIST || errno == EINTR) continue;
    // Creating a file fails with "not found" only when its folder is missing.
    if (errno == ENOENT) FailWrite(AppError(kErrPathNotFound, "Path not found"));
    FailWriteErrno(errno);
  }
  FailWriteErrno(EEXIST);
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

void AtomicFileWriter::Commit() {
  const int fd = fd_;
  fd_ = -1;
  // A delayed write error (a full disk on a network share) shows up here.
  if (::close(fd) != 0 && errno != EINTR) FailWriteErrno(errno);
  if (::rename(temp_path_.c_str(), target_path_.c_str()) != 0) FailWriteErrno(errno);
  committed_ = true;
}

void AtomicFileWriter::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!committed_ && !temp_path_.empty()) ::unlink(temp_path_.c_str());
}

#endif

AtomicFileWriter::~AtomicFileWriter() { Discard(); }

WriteBehind::WriteBehind(ByteSink& sink, std::size_t capacity, bool background)
    : sink_(sink), background_(background) {
  buffers_[0].resize(capacity);
}

bool WriteBehind::StartWriter() {
  background_ = false;  // one attempt only
  try {
    buffers_[1].resize(buffers_[0].size());
    writer_ = std::thread([this] { WriterLoop(); });
    return true;
  } catch (const std::exception&) {
    // No thread or memory to be had: write on the caller's thread instead.
    buffers_[1] = {};
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

void WriteBehind::Submit(std::size_t size) {
  // The first buffer is written here: most files fit in one, and a thread
  // would cost more than it saves. From the second on, a thread writes.
  const bool first = submitted_++ == 0;
  if (!writer_.joinable() && (first || !background_ || !StartWriter())) {
    if (size != 0) sink_.Write(buffers_[0].data(), size);
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
      if (size != 0 && !failed_before) sink_.Write(buffers_[index].data(), size);
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
