// Differential fuzzing: the streaming engine against the plain reference
// converter, on any input, with a delimiter, code page, block size and read
// size taken from the first bytes.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "conversion/converter.h"
#include "conversion/reference_converter.h"

namespace {

constexpr const char* kDelimiters[] = {
    ",",    ", ",       ";", "\t", "|",  "::", "\r",           "\n",
    "\r\n", "\xC3\xA9", "",  "ab", ",,", "a",  "\xE2\x82\xAC", "\xF0\x9F\x98\x80"};
constexpr unsigned kPages[] = {65001, 1252, 932};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::string delimiter = kDelimiters[data[0] % std::size(kDelimiters)];
  const unsigned page = kPages[(data[0] >> 4) % std::size(kPages)];
  const std::size_t block = 16 + data[1] % 64;
  const std::size_t piece = 1 + data[2] % 32;
  const std::string_view input(reinterpret_cast<const char*>(data + 3), size - 3);

  const std::string expected = delvora::testing::ReferenceConvert(input, delimiter, page);
  const std::string actual = delvora::testing::EngineConvert(input, delimiter, page, block, piece,
                                                             data[2], data[1] & 0x80);
  if (actual != expected) {
    std::fprintf(stderr, "engine and reference differ (delimiter %zu bytes, code page %u)\n",
                 delimiter.size(), page);
    std::abort();
  }
  return 0;
}
