#include "conversion/delimiter.h"

#include <cstddef>

namespace delvora {

std::string ResolveDelimiter(const DelimiterChoice& choice) {
  static const char* const kFixed[] = {",", ", ", ";", "\t"};
  for (std::size_t i = 0; i < 4; ++i) {
    if (choice.selected[i]) return kFixed[i];
  }
  if (choice.selected[4]) return choice.other;
  return std::string();
}

}  // namespace delvora
