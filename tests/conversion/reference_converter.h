#pragma once

// A deliberately plain converter that holds the whole input and the whole
// output in memory and follows the line and record rules step by step. The
// streaming engine must agree with it byte for byte.

#include <cstddef>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/converter.h"
#include "conversion/text_reader.h"
#include "conversion/text_writer.h"
#include "platform/app_error.h"

namespace delvora::testing {

inline constexpr unsigned kUtf8Page = 65001;

// code_page: 65001, 1252 or 932 (ASCII delimiters only for 932; not with
// quoting). A quote left open throws ReferenceUnclosedQuote, malformed
// marked text ReferenceMalformed.
std::string ReferenceConvert(std::string_view input, std::string_view delimiter, unsigned code_page,
                             Quoting quoting = Quoting::kTextual);

struct ReferenceUnclosedQuote {
  std::size_t line;
};

// Marked text that cannot be decoded; offset: the first such place's byte.
struct ReferenceMalformed {
  std::size_t offset;
};

// The fields of each record of a quote-aware TSV output (UTF-16LE fields as
// their bytes): outputs that may differ in which fields they quote compare
// equal when they hold the same records. The output's form (narrow, UTF-8
// with its mark, UTF-16LE) follows from the input it was converted from.
std::vector<std::vector<std::string>> TsvRows(std::string_view output, std::string_view input);

// Hands out a string in pieces of random length, as a slow pipe would.
class ChoppySource : public ByteSource {
 public:
  ChoppySource(std::string data, std::size_t max_piece, unsigned seed)
      : data_(std::move(data)), max_piece_(max_piece), random_(seed) {}
  std::size_t Read(void* buffer, std::size_t size) override;

 private:
  std::string data_;
  std::size_t position_ = 0;
  std::size_t max_piece_;
  std::mt19937 random_;
};

// Collects what is written; from the write numbered fail_at on it fails, as
// a full disk or a closed pipe would.
class StringSink : public ByteSink {
 public:
  void Write(const void* data, std::size_t size) override {
    if (++writes >= fail_at) throw StandardError(kErrDiskFull);
    text.append(static_cast<const char*>(data), size);
  }
  std::string text;
  int writes = 0;
  int fail_at = 1 << 30;
};

// Streams input through the engine in pieces of at most max_piece bytes
// with the given block size, writing on a second thread or not; lf: with
// LF line ends.
std::string EngineConvert(std::string_view input, std::string_view delimiter, unsigned code_page,
                          std::size_t block_size = 1 << 20, std::size_t max_piece = 1 << 20,
                          unsigned seed = 1, bool write_behind = true,
                          Quoting quoting = Quoting::kTextual, bool lf = false);

// A random input built from pieces that stress the rules: marks, CR and LF
// in every arrangement, delimiter fragments, multi-byte characters, broken
// sequences and plain bytes.
std::string RandomInput(std::mt19937& random, std::size_t max_pieces);
std::string RandomDelimiter(std::mt19937& random);

// One case of the differential fuzzer: the delimiter, code page, block and
// read size, reading mode and line end come from the first three bytes, the input is
// the rest. Empty when engine and reference agree, else what differed.
std::string DifferentialCase(std::string_view data);

// The same for --check: the report's reading of the input against the
// reference converter's (malformed text and its offset, an unclosed quote
// and its line, the quote-aware records and fields, the textual lines), and
// the same report whatever the blocks and reads. Empty when all agree.
std::string CheckDifferentialCase(std::string_view data);

}  // namespace delvora::testing
