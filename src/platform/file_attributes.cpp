#include "platform/file_attributes.h"

#include <algorithm>

#include "platform/utf8_path.h"

namespace delvora {

bool IsRootFolder(const std::string& path) {
  // The text decides, so that a share and the long forms (\\?\C:\) count
  // as roots too; a drive without its separator (C:) is a current folder.
  std::string text = path;
  if constexpr (kNativeSeparator == '\\') std::replace(text.begin(), text.end(), '/', '\\');
  const std::size_t root = RootLength(text, kNativeSeparator);
  return root > 0 && text[root - 1] != ':' &&
         text.find_first_not_of(kNativeSeparator, root) == std::string::npos;
}

}  // namespace delvora
