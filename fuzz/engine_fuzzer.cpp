// Differential fuzzing: the streaming engine against the plain reference
// converter (testing::DifferentialCase, where the unit tests replay the
// inputs that once found a fault).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "conversion/reference_converter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string difference = delvora::testing::DifferentialCase(
      std::string_view(reinterpret_cast<const char*>(data), size));
  if (!difference.empty()) {
    std::fprintf(stderr, "engine and reference differ: %s\n", difference.c_str());
    std::abort();
  }
  return 0;
}
