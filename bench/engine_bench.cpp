// Engine throughput in MB/s of input for each input encoding, beside a
// memcpy of the same bytes as the ceiling.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "conversion/check.h"
#include "conversion/converter.h"
#include "conversion/text_reader.h"
#include "conversion/text_writer.h"

namespace delvora {
namespace {

constexpr std::size_t kTextSize = 32 << 20;

// Typical comma-separated rows: numbers, short words, quoted text.
std::string SampleText(const char* line_end = "\r\n") {
  std::string text;
  text.reserve(kTextSize + 200);
  for (unsigned row = 0; text.size() < kTextSize; ++row) {
    text += std::to_string(row);
    text += ",\"Smith, John\",2026-12-07,";
    text += std::to_string(row * 7919 % 100000);
    text += ".25,Westfield,active,,";
    text += std::to_string(row % 97);
    text += line_end;
  }
  return text;
}

std::string Encode(const std::string& ascii, const std::string& encoding) {
  if (encoding == "narrow") return ascii;
  if (encoding == "utf8") return "\xEF\xBB\xBF" + ascii;
  const bool utf32 = encoding.rfind("utf32", 0) == 0;
  const bool big = encoding.size() > 2 && encoding.compare(encoding.size() - 2, 2, "be") == 0;
  const std::size_t width = utf32 ? 4 : 2;
  std::vector<char> out;
  out.reserve(ascii.size() * width + 4);
  // The mark is the code point U+FEFF in the same form as the text.
  const auto put = [&](unsigned value) {
    for (std::size_t k = 0; k < width; ++k) {
      const std::size_t shift = 8 * (big ? width - 1 - k : k);
      out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
  };
  put(0xFEFF);
  for (char c : ascii) put(static_cast<unsigned char>(c));
  return std::string(out.begin(), out.end());
}

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(const std::string& data) : data_(data) {}
  std::size_t Read(void* buffer, std::size_t size) override {
    const std::size_t n = std::min(size, data_.size() - position_);
    std::memcpy(buffer, data_.data() + position_, n);
    position_ += n;
    return n;
  }

 private:
  const std::string& data_;
  std::size_t position_ = 0;
};

class DiscardSink : public ByteSink {
 public:
  void Write(const void* data, std::size_t size) override {
    benchmark::DoNotOptimize(data);
    written += size;
  }
  std::size_t written = 0;
};

void Convert(benchmark::State& state, const std::string& encoding, const std::string& delimiter,
             Quoting quoting = Quoting::kTextual, const char* line_end = "\r\n") {
  const std::string input = Encode(SampleText(line_end), encoding);
  ConversionOptions options;
  options.delimiter = delimiter;
  options.quoting = quoting;
  options.code_page = NarrowCodePage{65001};
  for (auto _ : state) {
    MemorySource source(input);
    DiscardSink sink;
    ConvertStream(source, sink, options);
    benchmark::DoNotOptimize(sink.written);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

// The check reads with both rules and writes nothing.
void Check(benchmark::State& state) {
  const std::string input = SampleText();
  ConversionOptions options;
  options.delimiter.push_back(',');
  options.code_page = NarrowCodePage{65001};
  for (auto _ : state) {
    MemorySource source(input);
    benchmark::DoNotOptimize(CheckStream(source, options).records);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

void Memcpy(benchmark::State& state) {
  const std::string input = SampleText();
  std::vector<char> block(1 << 20);
  for (auto _ : state) {
    for (std::size_t at = 0; at < input.size(); at += block.size()) {
      const std::size_t n = std::min(block.size(), input.size() - at);
      std::memcpy(block.data(), input.data() + at, n);
      benchmark::ClobberMemory();
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

// Whole files through the page cache, written on the calling thread or on a
// second one while the next block is read.
void ConvertFileOnDisk(benchmark::State& state) {
  std::filesystem::path folder = std::filesystem::temp_directory_path() / "delvora-bench";
  folder += std::to_string(::getpid());
  std::filesystem::create_directories(folder);
  const std::string input = (folder / "in.csv").string();
  const std::string text = SampleText();
  {
    std::ofstream out(input, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  ConversionOptions options;
  options.delimiter.push_back(',');
  options.code_page = NarrowCodePage{65001};
  options.write_behind = state.range(0) != 0;
  for (auto _ : state) ConvertFile(input, (folder / "out.tsv").string(), options);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  std::filesystem::remove_all(folder);
}

BENCHMARK(Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(Check)->Unit(benchmark::kMillisecond);
BENCHMARK(ConvertFileOnDisk)
    ->ArgName("write_behind")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Convert, narrow_comma, std::string("narrow"), std::string(","))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Convert, narrow_comma_lf, std::string("narrow"), std::string(","),
                  Quoting::kTextual, "\n")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Convert, narrow_comma_quoted, std::string("narrow"), std::string(","),
                  Quoting::kQuoted)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Convert, narrow_comma_escaped, std::string("narrow"), std::string(","),
                  Quoting::kEscaped)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Convert, utf16le_comma_quoted, std::string("utf16le"), std::string(","),
                  Quoting::kQuoted)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Convert, narrow_comma_space, std::string("narrow"), std::string(", "))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Convert, utf8_comma, std::string("utf8"), std::string(","))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Convert, utf16le_comma, std::string("utf16le"), std::string(","))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Convert, utf16be_comma, std::string("utf16be"), std::string(","))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Convert, utf32le_comma, std::string("utf32le"), std::string(","))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Convert, utf32be_comma, std::string("utf32be"), std::string(","))
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace delvora

BENCHMARK_MAIN();
