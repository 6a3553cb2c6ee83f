#include "conversion/text_reader.h"

#include <cerrno>

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

[[noreturn]] void FailRead(const AppError& error) {
  throw ConversionFailure(ConversionFailure::Stage::kRead, error);
}

#ifdef _WIN32
[[noreturn]] void FailReadWin32() { FailRead(ErrorFromWin32(GetLastError())); }
#else
[[noreturn]] void FailReadErrno(int err) { FailRead(ErrorFromErrno(err)); }
#endif

}  // namespace

std::size_t ReadUpTo(ByteSource& source, void* buffer, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t got = 0;
  while (got < size) {
    const std::size_t n = source.Read(bytes + got, size - got);
    if (n == 0) break;
    got += n;
  }
  return got;
}

#ifdef _WIN32

FileSource::FileSource(const std::string& path) : handle_(INVALID_HANDLE_VALUE) {
  if (path.empty() || path.find('\0') != std::string::npos)
    FailRead(StandardError(kErrFileNotFound));
  // Others may keep reading and writing the file while it is converted, as
  // they could with the original reader.
  HANDLE h = CreateFileW(PathFromUtf8(path).c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    // A folder refuses to open as a file with "access denied"; name it for
    // what it is, as on other systems.
    const DWORD attributes = GetFileAttributesW(PathFromUtf8(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
      FailRead(StandardError(kErrPathFileAccess));
    FailRead(ErrorFromWin32(code));
  }
  handle_ = h;
  // A pipe or a device ("CON", "COM1", "\\.\pipe\x") may never end or never
  // answer: only files on disk are read.
  if (GetFileType(h) != FILE_TYPE_DISK) {
    Close();
    FailRead(StandardError(kErrPathFileAccess, "not a regular file"));
  }
  LARGE_INTEGER size;
  if (GetFileSizeEx(h, &size)) size_ = static_cast<std::uint64_t>(size.QuadPart);
}

FileSource::~FileSource() { Close(); }

void FileSource::Close() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = INVALID_HANDLE_VALUE;
}

std::size_t FileSource::Read(void* buffer, std::size_t size) {
  const DWORD ask = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
  DWORD got = 0;
  if (!ReadFile(static_cast<HANDLE>(handle_), buffer, ask, &got, nullptr)) FailReadWin32();
  return got;
}

#else

FileSource::FileSource(const std::string& path) : fd_(-1) {
  if (path.empty() || path.find('\0') != std::string::npos) FailReadErrno(ENOENT);
  int fd;
  // Non-blocking, so that a named pipe cannot hold the open up; only
  // regular files get further.
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) FailReadErrno(errno);
  fd_ = fd;
  struct stat info;
  int err = 0;
  if (::fstat(fd_, &info) != 0) {
    err = errno;
  } else if (S_ISDIR(info.st_mode)) {
    err = EISDIR;  // a folder opens for reading on POSIX
  } else if (!S_ISREG(info.st_mode)) {
    // A pipe, socket or device may never end or never answer.
    Close();
    FailRead(StandardError(kErrPathFileAccess, "not a regular file"));
  } else if (int flags = ::fcntl(fd_, F_GETFL);
             flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    err = errno;
  }
  if (err != 0) {
    Close();
    FailReadErrno(err);
  }
  size_ = static_cast<std::uint64_t>(info.st_size);
#ifdef POSIX_FADV_SEQUENTIAL
  ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
}

FileSource::~FileSource() { Close(); }

void FileSource::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::size_t FileSource::Read(void* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) FailReadErrno(errno);
  }
}

#endif

}  // namespace delvora
