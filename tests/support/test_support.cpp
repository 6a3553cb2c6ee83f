#include "support/test_support.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "platform/utf8_path.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace delvora::testing {

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path candidate =
        std::filesystem::temp_directory_path() /
        ("delvora-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory");
}

#ifdef _WIN32
namespace {

// std::filesystem stops at the classic path limit and at read-only files;
// the long form and plain attributes reach everything a test made.
void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  const HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring below = path + L"\\" + name;
      SetFileAttributesW(below.c_str(), FILE_ATTRIBUTE_NORMAL);
      const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      const bool link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      if (folder && !link) RemoveTree(below);
      if (folder) {
        RemoveDirectoryW(below.c_str());
      } else {
        DeleteFileW(below.c_str());
      }
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
}

}  // namespace
#endif

TempDir::~TempDir() {
#ifdef _WIN32
  RemoveTree(L"\\\\?\\" + path_.native());
  RemoveDirectoryW((L"\\\\?\\" + path_.native()).c_str());
#else
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
#endif
}

std::filesystem::path TempDir::operator/(std::string_view name) const {
  // Through char8_t: a plain string would be read in the ANSI code page on
  // Windows.
  std::filesystem::path below = path_ / std::u8string(name.begin(), name.end());
  below.make_preferred();
  return below;
}

std::string TempDir::Utf8() const { return PathToUtf8(path_); }

std::string TempDir::Utf8(std::string_view name) const { return PathToUtf8(*this / name); }

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write test file " + path.string());
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void MarkHidden(const std::filesystem::path& path, bool read_only) {
#ifdef _WIN32
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE |
                                       (read_only ? FILE_ATTRIBUTE_READONLY : 0));
#else
  if (read_only) chmod(path.c_str(), 0444);
#endif
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read test file " + path.string());
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

#ifndef _WIN32
namespace {

constexpr int kLevels = 22;
const std::string kStep(200, 'd');  // 22 steps of 201 bytes: past 4,096

void Check(bool done, const std::string& what) {
  if (!done) throw std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

DeepFolder::DeepFolder(const TempDir& root) : root_(root.Utf8()), path_(root_) {
  fd_ = open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  Check(fd_ >= 0, "cannot open " + root_);
  for (int level = 0; level < kLevels; ++level) {
    Check(mkdirat(fd_, kStep.c_str(), 0700) == 0, "cannot make a deep folder");
    const int next = openat(fd_, kStep.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (level == kLevels / 2) {
      middle_ = fd_;
    } else {
      close(fd_);
    }
    fd_ = next;
    Check(fd_ >= 0, "cannot open a deep folder");
    path_ += "/" + kStep;
  }
}

DeepFolder::~DeepFolder() {
  const int top = open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  renameat(middle_, kStep.c_str(), top, "lower");
  close(top);
  close(middle_);
  close(fd_);
}

void DeepFolder::MakeFolder(const std::string& name) const {
  Check(mkdirat(fd_, name.c_str(), 0700) == 0, "cannot make " + name);
}

void DeepFolder::Write(const std::string& name, std::string_view bytes) const {
  const int fd = openat(fd_, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  Check(fd >= 0, "cannot write " + name);
  const bool written = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  close(fd);
  Check(written, "cannot write " + name);
}

std::string DeepFolder::Read(const std::string& name) const {
  const int fd = openat(fd_, name.c_str(), O_RDONLY | O_CLOEXEC);
  Check(fd >= 0, "cannot read " + name);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  close(fd);
  return text;
}
#endif

int ThrownNumber(const std::function<void()>& call) {
  try {
    call();
  } catch (const AppError& error) {
    return error.number();
  }
  return 0;
}

}  // namespace delvora::testing
