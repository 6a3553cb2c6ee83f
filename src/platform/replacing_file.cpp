#include "platform/replacing_file.h"

#include <cstdint>
#include <random>

namespace delvora {

std::string TemporaryName() {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string name = ".dv-";
  std::uint64_t bits = random();
  for (int i = 0; i < 10; ++i, bits /= 36) name.push_back(kDigits[bits % 36]);
  name += ".tmp";
  return name;
}

}  // namespace delvora
