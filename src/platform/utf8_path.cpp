#include "platform/utf8_path.h"

namespace delvora {

namespace {

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The end of the first `count` names from `from` on, each with the
// separator after it when there is one.
std::size_t AfterNames(std::string_view path, std::size_t from, int count, char separator) {
  std::size_t end = from;
  for (int i = 0; i < count && end < path.size(); ++i) {
    const std::size_t next = path.find(separator, end);
    end = next == std::string_view::npos ? path.size() : next + 1;
  }
  return end;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const char c = text[i];
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower != prefix[i]) return false;
  }
  return true;
}

}  // namespace

std::filesystem::path PathFromUtf8(const std::string& utf8) {
  std::u8string u8(utf8.begin(), utf8.end());
  return std::filesystem::path(u8);
}

std::string PathToUtf8(const std::filesystem::path& path) {
  std::u8string u8 = path.u8string();
  return std::string(u8.begin(), u8.end());
}

std::size_t RootLength(std::string_view path, char separator) {
  const auto drive_at = [&](std::size_t at) -> std::size_t {
    if (path.size() < at + 2 || !IsDriveLetter(path[at]) || path[at + 1] != ':') return 0;
    return path.size() > at + 2 && path[at + 2] == separator ? 3 : 2;
  };
  if (separator != '\\') {
    std::size_t run = 0;
    while (run < path.size() && path[run] == separator) ++run;
    return run;
  }
  if (const std::size_t drive = drive_at(0)) return drive;
  if (path.empty() || path[0] != separator) return 0;
  if (path.size() < 2 || path[1] != separator) return 1;
  // "\\?\" and "\\.\" hand the rest to the system as it is written.
  if (path.size() >= 4 && (path[2] == '?' || path[2] == '.') && path[3] == separator) {
    if (const std::size_t drive = drive_at(4)) return 4 + drive;
    if (StartsWithNoCase(path.substr(4), "unc\\")) return AfterNames(path, 8, 2, separator);
    return AfterNames(path, 4, 1, separator);
  }
  return AfterNames(path, 2, 2, separator);
}

}  // namespace delvora
