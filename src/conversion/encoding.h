#pragma once

// Byte-order marks and the decoders that turn marked input into UTF-16 code
// units.
//
// What each input becomes:
//   no mark           -> read in the narrow code page, byte for byte; the
//                        output holds the same bytes with the delimiters
//                        replaced and no mark
//   FF FE 00 00       -> UTF-32LE  -> UTF-16LE with FF FE
//   00 00 FE FF       -> UTF-32BE  -> UTF-16LE with FF FE
//   EF BB BF          -> UTF-8     -> UTF-8 with EF BB BF (never narrowed:
//                        that would turn every character outside the code
//                        page into "?")
//   FF FE             -> UTF-16LE  -> UTF-16LE with FF FE
//   FE FF             -> UTF-16BE  -> UTF-16LE with FF FE
// The marks are tested in that order on the first four bytes, zero-filled
// when the input is shorter, each only when the input is long enough to
// hold it.
//
// Nothing is dropped silently: invalid UTF-8 and bytes of the narrow code
// page pass through unchanged, as the file's own bytes. Marked 16- and
// 32-bit text is another matter: its output is re-encoded, so a place that
// cannot be decoded (an odd last byte of UTF-16, an unpaired surrogate, a
// UTF-32 value above U+10FFFF or in the surrogate range, a cut last UTF-32
// unit) would have to be guessed at. Such text is malformed: converting it
// fails, naming the byte offset of the first such place, and the check
// counts the places (MalformedText).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace delvora {

enum class TextEncoding { kNarrow, kUtf8, kUtf16Le, kUtf16Be, kUtf32Le, kUtf32Be };

struct UnicodeMark {
  TextEncoding encoding = TextEncoding::kNarrow;
  std::size_t mark_length = 0;
  // The two flags of the reader: FileIsUnicode selects 16-bit text (any
  // UTF-16 or UTF-32 mark), FileIsUtf8 the UTF-8 reader.
  bool file_is_unicode = false;
  bool file_is_utf8 = false;
};

// first_bytes holds the input's first bytes, zero-filled to four; length is
// how many bytes the input has (anything from 4 up counts as 4).
UnicodeMark DetectUnicode(const unsigned char (&first_bytes)[4], std::uint64_t length);
// Looks at a file's first bytes. Throws AppError when it cannot be read.
UnicodeMark DetectUnicode(const std::string& path);

// What the output starts with for an input in this encoding.
std::string_view OutputMarkFor(TextEncoding encoding);
bool WritesUtf16(TextEncoding encoding);

// The places of marked text that cannot be decoded.
struct MalformedText {
  std::uint64_t count = 0;
  std::uint64_t first_offset = 0;  // byte offset in the file of the first
};

// Where a decoder reports a malformed place: with a tally, it is counted
// there (and the place is read as U+FFFD); without one, the first place
// throws ConversionFailure (read stage, kErrInvalidFormat) naming the
// encoding and the byte offset.
class MalformedLog {
 public:
  MalformedLog(TextEncoding encoding, MalformedText* tally) : encoding_(encoding), tally_(tally) {}
  // offset: of the place's first byte in the file; what: a few words.
  void Found(std::uint64_t offset, const char* what);

 private:
  TextEncoding encoding_;
  MalformedText* tally_;
};

const char* EncodingName(TextEncoding encoding);  // "UTF-16LE"; "none" for kNarrow

// Pairs the surrogates of UTF-16 code units, block after block; a high
// surrogate last in a block waits for the next. Text without surrogates is
// passed over a vector at a time.
class SurrogatePairs {
 public:
  explicit SurrogatePairs(MalformedLog& log) : log_(log) {}
  // units[i] starts at byte offset + 2 * i of the file.
  void Check(const char16_t* units, std::size_t count, std::uint64_t offset);
  // At the end of the input: a high surrogate still waiting is unpaired.
  void Finish();

 private:
  MalformedLog& log_;
  bool high_waiting_ = false;
  std::uint64_t high_offset_ = 0;
};

// Turns UTF-16 or UTF-32 bytes of either order into UTF-16 code units,
// block after block; bytes that do not complete a unit wait for the next
// block. Malformed places go to the log (see MalformedLog).
class UnitDecoder {
 public:
  // mark_length: the bytes of the file before the first unit.
  UnitDecoder(TextEncoding encoding, std::size_t mark_length, MalformedLog& log);

  // Units that size input bytes can produce at most (plus what waits).
  static std::size_t MaxUnits(std::size_t size) { return size / 2 + 4; }

  // Decodes size bytes into out (room for MaxUnits(size)); returns the count.
  std::size_t Decode(const unsigned char* data, std::size_t size, char16_t* out);
  // At the end of the input: a waiting partial unit is malformed (U+FFFD
  // when counted), and so is a high surrogate still unpaired.
  std::size_t Finish(char16_t* out);

 private:
  std::size_t DecodeOne(const unsigned char* unit, std::uint64_t offset, char16_t* out) const;

  TextEncoding encoding_;
  std::size_t unit_size_;
  MalformedLog& log_;
  SurrogatePairs pairs_;
  std::uint64_t offset_;  // of the next byte given to Decode
  unsigned char pending_[4] = {};
  std::size_t pending_size_ = 0;
};

}  // namespace delvora
