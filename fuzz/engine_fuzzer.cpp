// Differential fuzzing: the streaming engine against the plain reference
// converter (testing::DifferentialCase, where the unit tests replay the
// inputs that once found a fault), and --check's reading of the same input
// against the reference's (testing::CheckDifferentialCase).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "conversion/reference_converter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string difference = delvora::testing::DifferentialCase(input);
  if (!difference.empty()) {
    std::fprintf(stderr, "engine and reference differ: %s\n", difference.c_str());
    std::abort();
  }
  const std::string check = delvora::testing::CheckDifferentialCase(input);
  if (!check.empty()) {
    std::fprintf(stderr, "check and reference differ: %s\n", check.c_str());
    std::abort();
  }
  return 0;
}
