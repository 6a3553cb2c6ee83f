#include "conversion/paths.h"

namespace delvora {

namespace {

// Two separators in a row become one, left to right, pairs not overlapping:
// a run of n becomes ceil(n / 2).
std::string CollapsePairs(std::string_view text, char separator) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    result.push_back(text[i]);
    if (text[i] == separator && i + 1 < text.size() && text[i + 1] == separator) ++i;
  }
  return result;
}

}  // namespace

std::string GetFileName(std::string_view path, char separator) {
  const std::size_t last = path.rfind(separator);
  if (last == std::string_view::npos) return std::string(path);
  return std::string(path.substr(last + 1));
}

std::string GetFolderPath(std::string_view path, char separator) {
  const std::size_t last = path.rfind(separator);
  if (last == std::string_view::npos) return std::string();
  return std::string(path.substr(0, last + 1));
}

std::string StripExtension(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  // A dot in first place starts a name (".csv"), not an extension.
  if (dot == std::string_view::npos || dot == 0) return std::string(name);
  return std::string(name.substr(0, dot));
}

std::string NormalizeBackslashes(std::string_view path, char separator) {
  if (path.empty() || path.front() != separator) return CollapsePairs(path, separator);
  std::size_t rest = 1;
  while (rest < path.size() && path[rest] == separator) ++rest;
  // Windows keeps the two leading backslashes of a network path; POSIX has
  // no such form, and "//x" would mean something else on some systems.
  std::string result = separator == '\\' ? std::string(2, separator) : std::string(1, separator);
  result += CollapsePairs(path.substr(rest), separator);
  return result;
}

std::string NormalPath(std::string_view full, char separator) {
  if (full.rfind("\\\\?\\", 0) == 0 || full.rfind("\\\\.\\", 0) == 0) return std::string(full);
  std::string collapsed = NormalizeBackslashes(full, separator);
  std::size_t start = collapsed.find_first_not_of(separator);
  if (start == std::string::npos) return collapsed;
  std::string normal = collapsed.substr(0, start);
  bool ends_folder = false;
  while (start < collapsed.size()) {
    std::size_t end = collapsed.find(separator, start);
    if (end == std::string::npos) end = collapsed.size();
    const std::string_view step(collapsed.data() + start, end - start);
    ends_folder = step == "." || end < collapsed.size();
    if (step != ".") {
      normal.append(step);
      if (end < collapsed.size()) normal += separator;
    }
    start = end + 1;
  }
  if (ends_folder && !normal.empty() && normal.back() != separator) normal += separator;
  return normal;
}

std::string OutputPathFor(std::string_view input_path, OutputLocation location,
                          std::string_view folder_text, char separator) {
  const std::string name = StripExtension(GetFileName(input_path, separator)) + ".tsv";
  std::string path;
  switch (location) {
    case OutputLocation::kFolder:
      path.append(folder_text);
      path.push_back(separator);
      path += name;
      break;
    case OutputLocation::kBesideInput:
      path = GetFolderPath(input_path, separator);
      path.push_back(separator);
      path += name;
      break;
    case OutputLocation::kBareName:
      path = name;
      break;
  }
  return NormalizeBackslashes(path, separator);
}

}  // namespace delvora
