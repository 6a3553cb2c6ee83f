#include "support/test_support.h"

#include <atomic>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "platform/utf8_path.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
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

int ThrownNumber(const std::function<void()>& call) {
  try {
    call();
  } catch (const AppError& error) {
    return error.number();
  }
  return 0;
}

}  // namespace delvora::testing
