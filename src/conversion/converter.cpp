#include "conversion/converter.h"

// Converting one file: the mark picks the reader and the output encoding,
// the record rule runs over large blocks, and the output goes through a
// temporary file that replaces the target only when all of it is written.
//
// Memory stays the same whatever the file size: one input block, its
// decoded units and its converted output (at most twice the input, when
// every line ends in a bare LF) plus a few units carried between blocks.

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <vector>

#include "conversion/code_page.h"
#include "conversion/record_rule.h"
#include "conversion/text_reader.h"
#include "conversion/text_writer.h"

namespace delvora {

namespace {

constexpr std::size_t kMinimumBlock = 16;

[[noreturn]] void Rethrow(ConversionFailure::Stage stage) {
  try {
    throw;
  } catch (const ConversionFailure&) {
    throw;
  } catch (const AppError& error) {
    throw ConversionFailure(stage, error);
  }
}

// Source and sink calls with their failures labelled by side.
std::size_t ReadBlock(ByteSource& source, void* buffer, std::size_t size) {
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

 private:
  ByteSink& sink_;
};

[[noreturn]] void BadDelimiter() {
  throw ConversionFailure(ConversionFailure::Stage::kRead,
                          AppError(kErrInvalidArgument, "Invalid procedure call or argument"));
}

// Room for the units carried between blocks: a partial delimiter, a CR
// that may precede an LF, a split two-byte character, a split mark.
std::size_t CarryRoom(std::size_t delimiter_units) { return delimiter_units + 8; }

template <typename Unit>
Unit* OutputOf(WriteBehind& output) {
  return reinterpret_cast<Unit*>(output.buffer());
}

template <typename Unit>
std::size_t OutputBytes(std::size_t input_units) {
  return (LineConverter<Unit>::MaxOutput(input_units) + 2) * sizeof(Unit);
}

// Files without a mark and UTF-8 files: bytes in, bytes out.
void ConvertBytes(ByteSource& source, ByteSink& sink, bool background,
                  LineConverter<char>& converter, const unsigned char* head, std::size_t head_size,
                  std::size_t block, std::size_t carry_room) {
  std::vector<char> in(block + carry_room);
  WriteBehind output(sink, OutputBytes<char>(in.size()), background);
  std::memcpy(in.data(), head, head_size);
  std::size_t pending = head_size;
  for (;;) {
    const std::size_t got = ReadBlock(source, in.data() + pending, block);
    const bool at_end = got == 0;
    const std::size_t size = pending + got;
    char* out = OutputOf<char>(output);
    auto step = converter.Feed(in.data(), size, at_end, out);
    if (at_end) step.produced += converter.Finish(out + step.produced);
    output.Submit(step.produced);
    if (at_end) break;
    pending = size - step.consumed;
    std::memmove(in.data(), in.data() + step.consumed, pending);
  }
  output.Finish();
}

// Marked 16- and 32-bit input: decoded to UTF-16 units, written as UTF-16LE.
void ConvertUnits(ByteSource& source, ByteSink& sink, bool background,
                  LineConverter<char16_t>& converter, UnitDecoder& decoder,
                  const unsigned char* head, std::size_t head_size, std::size_t block,
                  std::size_t carry_room) {
  std::vector<unsigned char> raw(block);
  std::vector<char16_t> units(UnitDecoder::MaxUnits(block) + carry_room);
  WriteBehind output(sink, OutputBytes<char16_t>(units.size()), background);
  std::size_t pending = decoder.Decode(head, head_size, units.data());
  for (;;) {
    const std::size_t got = ReadBlock(source, raw.data(), block);
    const bool at_end = got == 0;
    std::size_t size = pending + decoder.Decode(raw.data(), got, units.data() + pending);
    if (at_end) size += decoder.Finish(units.data() + size);
    char16_t* out = OutputOf<char16_t>(output);
    auto step = converter.Feed(units.data(), size, at_end, out);
    if (at_end) step.produced += converter.Finish(out + step.produced);
    if constexpr (std::endian::native == std::endian::big) {
      for (std::size_t i = 0; i < step.produced; ++i)
        out[i] = static_cast<char16_t>((out[i] >> 8) | (out[i] << 8));
    }
    output.Submit(step.produced * sizeof(char16_t));
    if (at_end) break;
    pending = size - step.consumed;
    std::memmove(units.data(), units.data() + step.consumed, pending * sizeof(char16_t));
  }
  output.Finish();
}

// UTF-16LE on a little-endian machine: the file's bytes already are the
// units, so they are read straight into the unit buffer.
void ConvertNativeUtf16(ByteSource& source, ByteSink& sink, bool background,
                        LineConverter<char16_t>& converter, const unsigned char* head,
                        std::size_t head_size, std::size_t block, std::size_t carry_room) {
  const std::size_t read_size = block & ~std::size_t{1};
  std::vector<char16_t> units((read_size + 2 * carry_room) / 2 + 2);
  WriteBehind output(sink, OutputBytes<char16_t>(units.size()), background);
  auto* bytes = reinterpret_cast<unsigned char*>(units.data());
  std::memcpy(bytes, head, head_size);
  std::size_t filled = head_size;  // bytes held, an odd last byte included
  for (;;) {
    const std::size_t got = ReadBlock(source, bytes + filled, read_size);
    const bool at_end = got == 0;
    filled += got;
    std::size_t count = filled / 2;
    if (at_end && filled % 2 != 0) units[count++] = u'\uFFFD';
    char16_t* out = OutputOf<char16_t>(output);
    auto step = converter.Feed(units.data(), count, at_end, out);
    if (at_end) step.produced += converter.Finish(out + step.produced);
    output.Submit(step.produced * sizeof(char16_t));
    if (at_end) break;
    filled -= 2 * step.consumed;
    std::memmove(bytes, bytes + 2 * step.consumed, filled);
  }
  output.Finish();
}

}  // namespace

UnicodeMark ConvertStream(ByteSource& source, ByteSink& sink, const ConversionOptions& options) {
  const std::size_t block = std::max(options.block_size, kMinimumBlock);
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
  const bool background = options.write_behind;
  if (!Utf8ToCodePoints(options.delimiter)) BadDelimiter();

  if (WritesUtf16(mark.encoding)) {
    const std::u16string delimiter = *Utf8ToUtf16(options.delimiter);
    LineConverter<char16_t> converter(delimiter, true);
    output.Write(output_mark.data(), output_mark.size());
    if (mark.encoding == TextEncoding::kUtf16Le && std::endian::native == std::endian::little) {
      ConvertNativeUtf16(source, output, background, converter, rest, rest_size, block,
                         CarryRoom(delimiter.size()));
    } else {
      UnitDecoder decoder(mark.encoding);
      ConvertUnits(source, output, background, converter, decoder, rest, rest_size, block,
                   CarryRoom(delimiter.size()));
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
  LineConverter<char> converter(matches ? *delimiter : std::string(), matches, lead_bytes);
  output.Write(output_mark.data(), output_mark.size());
  ConvertBytes(source, output, background, converter, rest, rest_size, block,
               CarryRoom(matches ? delimiter->size() : 0));
  return mark;
}

void ConvertFile(const std::string& input_path, const std::string& output_path,
                 const ConversionOptions& options) {
  FileSource source(input_path);
  AtomicFileWriter writer(output_path);
  // A result replacing its own input is then the only copy of the data: it
  // goes to disk before the input's name is given to it. Other results can
  // be made again from their inputs and keep their speed.
  if (writer.Replaces(input_path)) writer.MakeDurable();
  ConvertStream(source, writer, options);
  // Let go of the input first: it may be the very file being replaced, and
  // Windows does not replace a file that is still open.
  source.Close();
  writer.Commit();
}

}  // namespace delvora
