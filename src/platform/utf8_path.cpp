#include "platform/utf8_path.h"

namespace delvora {

std::filesystem::path PathFromUtf8(const std::string& utf8) {
  std::u8string u8(utf8.begin(), utf8.end());
  return std::filesystem::path(u8);
}

std::string PathToUtf8(const std::filesystem::path& path) {
  std::u8string u8 = path.u8string();
  return std::string(u8.begin(), u8.end());
}

}  // namespace delvora
