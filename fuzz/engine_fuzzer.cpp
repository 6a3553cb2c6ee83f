// Differential fuzzing: the streaming engine against the plain reference
// converter, on any input, with a delimiter, code page, block size, read
// size and reading mode taken from the first bytes.

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
constexpr delvora::Quoting kModes[] = {delvora::Quoting::kTextual, delvora::Quoting::kTextual,
                                       delvora::Quoting::kQuoted, delvora::Quoting::kEscaped};

[[noreturn]] void Differ(const char* what, const std::string& delimiter, unsigned page,
                         delvora::Quoting mode) {
  std::fprintf(stderr,
               "engine and reference differ: %s (delimiter %zu bytes, code page %u, mode %d)\n",
               what, delimiter.size(), page, static_cast<int>(mode));
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::string delimiter = kDelimiters[data[0] % std::size(kDelimiters)];
  const delvora::Quoting mode = kModes[(data[2] >> 5) % std::size(kModes)];
  unsigned page = kPages[(data[0] >> 4) % std::size(kPages)];
  // The quote-aware reference reads no two-byte code page.
  if (mode != delvora::Quoting::kTextual && page == 932) page = 1252;
  const std::size_t block = 16 + data[1] % 64;
  const std::size_t piece = 1 + data[2] % 32;
  const std::string_view input(reinterpret_cast<const char*>(data + 3), size - 3);

  std::string expected;
  try {
    expected = delvora::testing::ReferenceConvert(input, delimiter, page, mode);
  } catch (const delvora::testing::ReferenceUnclosedQuote& unclosed) {
    try {
      delvora::testing::EngineConvert(input, delimiter, page, block, piece, data[2], data[1] & 0x80,
                                      mode);
    } catch (const delvora::ConversionFailure& failure) {
      if (failure.description().find("line " + std::to_string(unclosed.line) + " ") ==
          std::string::npos)
        Differ("line of an unclosed quote", delimiter, page, mode);
      return 0;
    }
    Differ("unclosed quote not reported", delimiter, page, mode);
  }
  const std::string actual = delvora::testing::EngineConvert(input, delimiter, page, block, piece,
                                                             data[2], data[1] & 0x80, mode);
  // A field longer than a block may come out quoted without needing it.
  const bool same = mode == delvora::Quoting::kQuoted
                        ? delvora::testing::TsvRows(actual) == delvora::testing::TsvRows(expected)
                        : actual == expected;
  if (!same) Differ("output", delimiter, page, mode);
  return 0;
}
