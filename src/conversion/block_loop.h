#pragma once

// The engine's reading side, shared by the conversion and the check: reads
// the mark, picks the units the text is handled in, and runs a rule over the
// input block after block, writing what the rule produces.
//
// A rule has Feed(data, size, at_end, out) -> {consumed, produced},
// Finish(out) -> units and a static MaxOutput(units); what Feed leaves
// unconsumed (at most the carry room given with the rule) is passed again
// ahead of the next block.
//
// Buffers belong to the calling thread and serve one file after another:
// a batch of small files neither allocates nor clears memory per file, and
// threads converting files side by side share nothing (a thread runs one
// conversion or check at a time). They are sized to
// the input (a few KB at least, the block size at most) and never cleared:
// every byte is written before it is read.

#include <algorithm>
#include <bit>
#include <concepts>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "conversion/code_page.h"
#include "conversion/converter.h"
#include "conversion/encoding.h"
#include "conversion/text_reader.h"
#include "conversion/text_writer.h"
#include "conversion/unit_scan.h"
#include "platform/utf8.h"

namespace delvora::engine {

inline constexpr std::size_t kMinimumBlock = 16;
// Smaller inputs still get this much, so that a file that grows while it is
// read takes few reads.
inline constexpr std::size_t kSmallBlock = 4096;
inline constexpr std::size_t kLine = 64;  // bytes in a cache line

class Buffer {
 public:
  unsigned char* Get(std::size_t size) {
    if (size > size_) {
      data_.reset();
      data_.reset(new unsigned char[size]);  // not value-initialised: not cleared
      size_ = size;
    }
    return data_.get();
  }

 private:
  std::unique_ptr<unsigned char[]> data_;
  std::size_t size_ = 0;
};

struct ThreadBuffers {
  Buffer input;
  Buffer input_other;  // the next block's, while a block converted in place is written
  Buffer raw;
  Buffer output[2];
  static ThreadBuffers& Get() {
    thread_local ThreadBuffers buffers;
    return buffers;
  }
};

[[noreturn]] inline void Rethrow(ConversionFailure::Stage stage) {
  try {
    throw;
  } catch (const ConversionFailure&) {
    throw;
  } catch (const AppError& error) {
    throw ConversionFailure(stage, error);
  }
}

[[noreturn]] inline void BadArgument() {
  throw ConversionFailure(ConversionFailure::Stage::kRead, StandardError(kErrInvalidArgument));
}

// Source calls with their failures labelled as reading.
inline std::size_t ReadBlock(ByteSource& source, void* buffer, std::size_t size) {
  try {
    return source.Read(buffer, size);
  } catch (const AppError&) {
    Rethrow(ConversionFailure::Stage::kRead);
  }
}

// The sink as the engine sees it: its failures are write failures.
class LabelledSink : public ByteSink {
 public:
  explicit LabelledSink(ByteSink& sink) : sink_(sink) {}
  void Write(const void* data, std::size_t size) override {
    if (size == 0) return;
    try {
      sink_.Write(data, size);
    } catch (const AppError&) {
      Rethrow(ConversionFailure::Stage::kWrite);
    }
  }
  void WriteMark(std::string_view mark) {
    Write(mark.data(), mark.size());
    mark_bytes_ = mark.size();
  }
  std::size_t mark_bytes() const { return mark_bytes_; }

 private:
  ByteSink& sink_;
  std::size_t mark_bytes_ = 0;
};

class DiscardSink : public ByteSink {
 public:
  void Write(const void*, std::size_t) override {}
};

// Room for the units the textual rule carries between blocks: a partial
// delimiter, a CR that may precede an LF, a split two-byte character.
inline std::size_t TextualCarry(std::size_t delimiter_units) { return delimiter_units + 8; }

// The first cache-line boundary at or after p.
inline unsigned char* LineAligned(unsigned char* p) {
  return p + (kLine - reinterpret_cast<std::uintptr_t>(p) % kLine) % kLine;
}

template <typename Unit, typename Rule>
std::size_t OutputBytes(std::size_t input_units) {
  return (Rule::MaxOutput(input_units) + 4 + scan::kSlackUnits) * sizeof(Unit) + kLine;
}

template <typename Unit, typename Rule>
class Output {
 public:
  Output(LabelledSink& sink, std::size_t input_units, bool background)
      : bytes_(OutputBytes<Unit, Rule>(input_units)),
        skew_(sink.mark_bytes() % kLine),
        output_(sink, LineAligned(ThreadBuffers::Get().output[0].Get(bytes_ + kLine)),
                LineAligned(ThreadBuffers::Get().output[1].Get(bytes_ + kLine)), bytes_,
                background) {}
  // Where the next units go: as far past a cache-line boundary as the
  // result's offset lies past one (see RunBytes).
  Unit* units() { return reinterpret_cast<Unit*>(output_.buffer() + skew_); }
  void Submit(std::size_t units, bool last) {
    if (units == 0 && !last) return;
    if constexpr (sizeof(Unit) == 2 && std::endian::native == std::endian::big) {
      Unit* out = this->units();
      for (std::size_t i = 0; i < units; ++i)
        out[i] = static_cast<Unit>((out[i] >> 8) | (out[i] << 8));
    }
    const std::size_t offset = skew_;
    Advance(units);
    output_.Submit(units * sizeof(Unit), last, offset);
  }
  // A block converted where it was read, written from there (the caller's
  // until the next Submit or SubmitOwn returns).
  void SubmitOwn(const Unit* data, std::size_t units) {
    static_assert(sizeof(Unit) == 1 || std::endian::native == std::endian::little);
    Advance(units);
    output_.SubmitOwn(reinterpret_cast<const unsigned char*>(data), units * sizeof(Unit));
  }
  void Finish() { output_.Finish(); }

 private:
  void Advance(std::size_t units) { skew_ = (skew_ + units * sizeof(Unit)) % kLine; }

  std::size_t bytes_;
  std::size_t skew_;
  WriteBehind output_;
};

// The kernel copies a read into an aligned buffer about twice as fast as
// into one a few bytes off. Returns a cache-line boundary in the thread's
// input buffer with at least `lead` bytes before it (room for the units
// carried from the previous block) and `after` bytes from it on.
inline unsigned char* AlignedInput(std::size_t lead, std::size_t after,
                                   Buffer& from = ThreadBuffers::Get().input) {
  lead = (lead + kLine - 1) & ~(kLine - 1);
  return LineAligned(from.Get(lead + after + kLine)) + lead;
}

// A rule that can convert a block where it lies (see
// LineConverter::FeedInPlace): the block is then written from the input
// buffer while it is still in the cache, and no output buffer is touched.
template <typename Rule, typename Unit>
concept ConvertsInPlace = requires(Rule& rule, Unit* data, std::size_t size,
                                   typename Rule::Step& step) {
  { rule.FeedInPlace(data, size, step) } -> std::same_as<bool>;
};

// The two input buffers of a loop whose rule converts in place: a block
// written from one while the next is read into the other.
class InputBuffers {
 public:
  InputBuffers(std::size_t lead_bytes, std::size_t block_bytes)
      : lead_(lead_bytes), block_(block_bytes), at_{AlignedInput(lead_, block_), nullptr} {}
  // Where the next block is read to; carried units go right before it.
  unsigned char* at() const { return at_[current_]; }
  // The block at at() is being written: the next goes to the other buffer,
  // with the pending bytes that end at from, to end `after` bytes past at().
  void Switch(const unsigned char* from, std::size_t pending_bytes, std::size_t after = 0) {
    current_ ^= 1;
    if (at_[current_] == nullptr)
      at_[current_] = AlignedInput(lead_, block_, ThreadBuffers::Get().input_other);
    std::memcpy(at_[current_] + after - pending_bytes, from - pending_bytes, pending_bytes);
  }

 private:
  std::size_t lead_;
  std::size_t block_;
  unsigned char* at_[2];
  int current_ = 0;
};

// Files without a mark and UTF-8 files: bytes in, bytes out.
template <typename Rule>
void RunBytes(ByteSource& source, LabelledSink& sink, bool background, Rule& rule,
              const unsigned char* head, std::size_t head_size, std::size_t block,
              std::size_t carry_room) {
  // The carried units go right before the boundary each block is read to.
  const std::size_t lead = std::max(carry_room, head_size);
  InputBuffers inputs(lead, block + kLine);
  Output<char, Rule> output(sink, lead + block, background);
  std::size_t pending = head_size;
  // Where each block is read to lies as far past a cache-line boundary as
  // the file's offset lies past one, and so does each unit written from
  // there: the kernel's copies between its pages and ours then run with
  // both sides aligned alike (a few bytes of mark read ahead cost a third
  // of the copy time otherwise).
  std::size_t skew = head_size % kLine;
  std::memcpy(inputs.at() + skew - pending, head, head_size);
  for (;;) {
    char* const aligned = reinterpret_cast<char*>(inputs.at()) + skew;
    const std::size_t got = ReadBlock(source, aligned, block);
    const bool at_end = got == 0;
    char* in = aligned - pending;
    const std::size_t size = pending + got;
    skew = (skew + got) % kLine;
    if constexpr (ConvertsInPlace<Rule, char>) {
      typename Rule::Step step;
      if (!at_end && rule.FeedInPlace(in, size, step)) {
        pending = size - step.consumed;
        if (step.produced != 0) {
          output.SubmitOwn(in, step.produced);
          inputs.Switch(reinterpret_cast<unsigned char*>(in + size), pending, skew);
        } else {
          std::memmove(reinterpret_cast<char*>(inputs.at()) + skew - pending, in + step.consumed,
                       pending);
        }
        continue;
      }
    }
    char* out = output.units();
    auto step = rule.Feed(in, size, at_end, out);
    if (at_end) step.produced += rule.Finish(out + step.produced);
    output.Submit(step.produced, at_end);
    if (at_end) break;
    pending = size - step.consumed;
    std::memmove(reinterpret_cast<char*>(inputs.at()) + skew - pending, in + step.consumed,
                 pending);
  }
  output.Finish();
}

// Marked 16- and 32-bit input: decoded to UTF-16 units, written as UTF-16LE.
template <typename Rule>
void RunUnits(ByteSource& source, LabelledSink& sink, bool background, Rule& rule,
              UnitDecoder& decoder, const unsigned char* head, std::size_t head_size,
              std::size_t block, std::size_t carry_room) {
  ThreadBuffers& buffers = ThreadBuffers::Get();
  unsigned char* raw = buffers.raw.Get(block);
  const std::size_t capacity = UnitDecoder::MaxUnits(block) + carry_room;
  auto* units = reinterpret_cast<char16_t*>(buffers.input.Get(capacity * sizeof(char16_t)));
  Output<char16_t, Rule> output(sink, capacity, background);
  std::size_t pending = decoder.Decode(head, head_size, units);
  for (;;) {
    const std::size_t got = ReadBlock(source, raw, block);
    const bool at_end = got == 0;
    std::size_t size = pending + decoder.Decode(raw, got, units + pending);
    if (at_end) size += decoder.Finish(units + size);
    char16_t* out = output.units();
    auto step = rule.Feed(units, size, at_end, out);
    if (at_end) step.produced += rule.Finish(out + step.produced);
    output.Submit(step.produced, at_end);
    if (at_end) break;
    pending = size - step.consumed;
    std::memmove(units, units + step.consumed, pending * sizeof(char16_t));
  }
  output.Finish();
}

// UTF-16LE on a little-endian machine: the file's bytes already are the
// units, so they are read straight into the unit buffer.
template <typename Rule>
void RunNativeUtf16(ByteSource& source, LabelledSink& sink, bool background, Rule& rule,
                    MalformedLog& log, std::size_t mark_length, const unsigned char* head,
                    std::size_t head_size, std::size_t block, std::size_t carry_room) {
  const std::size_t read_size = std::max<std::size_t>(block & ~std::size_t{1}, 2);
  const std::size_t capacity = (read_size + 2 * carry_room) / 2 + 2;
  // As for bytes: each block is read to as far past a cache-line boundary
  // as the file's offset lies past one, the carried units right before it
  // (the units stay aligned, as the mark and every unit consumed are whole
  // units).
  InputBuffers inputs(2 * carry_room + head_size + 2, capacity * sizeof(char16_t) + kLine);
  Output<char16_t, Rule> output(sink, capacity, background);
  std::size_t filled = head_size;  // bytes held, an odd last byte included
  std::size_t skew = (mark_length + head_size) % kLine;
  std::memcpy(inputs.at() + skew - filled, head, head_size);
  // The units come straight from the file: their surrogates are paired
  // here, each unit once (first_unit: units consumed before units[0]).
  SurrogatePairs pairs(log);
  std::uint64_t first_unit = 0;
  std::uint64_t checked = 0;  // units paired so far
  for (;;) {
    unsigned char* const base = inputs.at() + skew;
    unsigned char* const bytes = base - filled;
    auto* units = reinterpret_cast<char16_t*>(bytes);
    const std::size_t got = ReadBlock(source, base, read_size);
    const bool at_end = got == 0;
    filled += got;
    skew = (skew + got) % kLine;
    std::size_t count = filled / 2;
    const auto fresh = static_cast<std::size_t>(checked - first_unit);
    pairs.Check(units + fresh, count - fresh, mark_length + 2 * checked);
    checked = first_unit + count;
    if (at_end) {
      pairs.Finish();
      if (filled % 2 != 0) {
        log.Found(mark_length + 2 * checked, "an odd last byte");
        units[count++] = u'\uFFFD';
      }
    }
    if constexpr (ConvertsInPlace<Rule, char16_t>) {
      typename Rule::Step step;
      if (!at_end && rule.FeedInPlace(units, count, step)) {
        first_unit += step.consumed;
        filled -= 2 * step.consumed;
        if (step.produced != 0) {
          output.SubmitOwn(units, step.produced);
          inputs.Switch(bytes + 2 * step.consumed + filled, filled, skew);
        } else {
          std::memmove(inputs.at() + skew - filled, bytes + 2 * step.consumed, filled);
        }
        continue;
      }
    }
    char16_t* out = output.units();
    auto step = rule.Feed(units, count, at_end, out);
    if (at_end) step.produced += rule.Finish(out + step.produced);
    output.Submit(step.produced, at_end);
    if (at_end) break;
    first_unit += step.consumed;
    filled -= 2 * step.consumed;
    std::memmove(inputs.at() + skew - filled, bytes + 2 * step.consumed, filled);
  }
  output.Finish();
}

// The block for this input: the size asked for, or less for a small input.
inline std::size_t BlockFor(const ByteSource& source, std::size_t block_size) {
  std::size_t block = std::max(block_size, kMinimumBlock);
  if (const auto size = source.SizeHint())
    block = static_cast<std::size_t>(
        std::min<std::uint64_t>(block, std::max<std::uint64_t>(*size + 1, kSmallBlock)));
  return block;
}

// Reads the mark, writes the output's mark, and calls
//   make(delimiter, matches, lead_bytes, block, run)
// with the delimiter in the input's units (std::string or std::u16string);
// make builds its rule and calls run(rule, carry_room). Marked text that
// cannot be decoded fails the stream, or is counted in malformed when given
// (see MalformedLog).
template <typename Make>
UnicodeMark RunStream(ByteSource& source, ByteSink& sink, const ConversionOptions& options,
                      bool background, Make&& make, MalformedText* malformed = nullptr) {
  const std::size_t block = BlockFor(source, options.block_size);
  unsigned char head[4] = {};
  std::size_t head_size = 0;
  for (;;) {
    const std::size_t got = ReadBlock(source, head + head_size, sizeof head - head_size);
    if (got == 0) break;
    head_size += got;
    if (head_size == sizeof head) break;
  }
  const UnicodeMark mark = DetectUnicode(head, head_size);
  const unsigned char* rest = head + mark.mark_length;
  const std::size_t rest_size = head_size - mark.mark_length;
  const std::string_view output_mark = OutputMarkFor(mark.encoding);
  LabelledSink output(sink);
  if (!Utf8ToCodePoints(options.delimiter)) BadArgument();
  if (options.quoting != Quoting::kTextual && options.delimiter.find('"') != std::string::npos)
    BadArgument();

  if (WritesUtf16(mark.encoding)) {
    const std::u16string delimiter = *Utf8ToUtf16(options.delimiter);
    output.WriteMark(output_mark);
    MalformedLog log(mark.encoding, malformed);
    if (mark.encoding == TextEncoding::kUtf16Le && std::endian::native == std::endian::little) {
      make(delimiter, true, nullptr, block, [&](auto& rule, std::size_t carry) {
        RunNativeUtf16(source, output, background, rule, log, mark.mark_length, rest, rest_size,
                       block, carry);
      });
    } else {
      UnitDecoder decoder(mark.encoding, mark.mark_length, log);
      make(delimiter, true, nullptr, block, [&](auto& rule, std::size_t carry) {
        RunUnits(source, output, background, rule, decoder, rest, rest_size, block, carry);
      });
    }
    return mark;
  }

  std::optional<std::string> delimiter = options.delimiter;
  std::optional<CodePage> page;
  if (mark.encoding == TextEncoding::kNarrow) {
    try {
      page = CodePage::For(options.code_page.id);
    } catch (const AppError&) {
      Rethrow(ConversionFailure::Stage::kRead);
    }
    delimiter = page->Encode(options.delimiter);
  }
  const std::array<bool, 256>* lead_bytes = page ? page->lead_bytes() : nullptr;
  // A delimiter that the code page cannot write matches nothing.
  const bool matches = delimiter.has_value();
  output.WriteMark(output_mark);
  make(matches ? *delimiter : std::string(), matches, lead_bytes, block,
       [&](auto& rule, std::size_t carry) {
         RunBytes(source, output, background, rule, rest, rest_size, block, carry);
       });
  return mark;
}

}  // namespace delvora::engine
