#include "support/test_support.h"

#include <atomic>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "platform/utf8_path.h"

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

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
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
