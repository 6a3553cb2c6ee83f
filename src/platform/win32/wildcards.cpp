#include "platform/wildcards.h"

#include <shlwapi.h>
#include <windows.h>

#include <algorithm>
#include <string_view>

#include "platform/utf8_path.h"

namespace delvora {

namespace {

struct Match {
  std::wstring name;
  std::string utf8;
};

std::string ToUtf8(const std::wstring& wide) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(std::max(size, 1)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, utf8.data(), size, nullptr, nullptr);
  utf8.pop_back();
  return utf8;
}

}  // namespace

std::optional<std::vector<std::string>> ExpandWildcards(const std::string& argument) {
  // The "?" of a \\?\ prefix is no wildcard.
  const std::size_t start = argument.rfind("\\\\?\\", 0) == 0 ? 4 : 0;
  if (argument.find_first_of("*?", start) == std::string::npos) return std::nullopt;
  const std::wstring pattern = PathFromUtf8(argument).native();
  if (GetFileAttributesW(pattern.c_str()) != INVALID_FILE_ATTRIBUTES) return std::nullopt;

  // The folder part as written: up to the last separator, or a drive's colon.
  const std::size_t cut = argument.find_last_of("\\/:") + 1;  // 0 when none
  const std::string folder = argument.substr(0, cut);
  const std::wstring last = PathFromUtf8(argument.substr(cut)).native();

  std::vector<Match> matches;
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                 nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      // The find functions also match the short 8.3 names ("*.csv" finds
      // "a.csvx" through "A~1.CSV"): the long name must match too.
      if (!PathMatchSpecW(name.c_str(), last.c_str())) continue;
      matches.push_back({name, folder + ToUtf8(name)});
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  std::sort(matches.begin(), matches.end(), [](const Match& a, const Match& b) {
    return StrCmpLogicalW(a.name.c_str(), b.name.c_str()) < 0;
  });
  std::vector<std::string> names;
  for (Match& match : matches) names.push_back(std::move(match.utf8));
  return names;
}

}  // namespace delvora
