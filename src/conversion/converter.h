#pragma once

// Converts one delimited text file into a tab-separated one.
//
// Reading. The first bytes decide how the file is read and written (the
// table is in conversion/encoding.h): no mark means the narrow code page,
// byte for byte, and the output keeps those bytes; a UTF-8 mark gives UTF-8
// output with the mark (narrowing it would turn every character outside
// the code page into "?"); any UTF-16 or UTF-32 mark, of either byte order,
// is decoded as that mark says and written as UTF-16LE with FF FE.
//
// Lines. One rule for every encoding: a line ends at LF, at CR LF (one
// terminator) and at a lone CR (files saved on classic Mac systems), so CR
// CR LF is a line and an empty line; a terminator at the very end makes no
// further empty line. An empty file, or one holding only its mark, is one
// empty line. Every output line ends in CR LF.
//
// Records, textual (the default). Within a line each occurrence of the
// delimiter, found left to right without overlapping and compared exactly,
// becomes one tab; an empty delimiter changes nothing, and so does one
// holding CR or LF (it can never lie inside a line). Quotes mean nothing. In
// the narrow code page the delimiter is put into that code page first, a
// match never starts inside a two-byte character, and a delimiter the code
// page cannot hold matches nothing.
//
// Records, quote-aware (Quoting::kQuoted and kEscaped; quoted_rule.h has the
// details). Fields are read as RFC 4180 has them with the chosen delimiter:
// a field starting with a double quote runs to its closing quote, "" within
// it is one quote, and delimiters and line breaks inside it belong to the
// field. kQuoted writes a field holding a tab, CR, LF or quote in double
// quotes (quotes doubled), every other field bare; kEscaped writes no quotes
// and escapes tab, LF, CR and backslash as \t \n \r \\. A quote left open at the
// end fails the file naming the line where it opened. An empty input gives
// no record at all.
//
// Nothing is dropped silently: invalid UTF-8 passes through unchanged;
// marked text that cannot be decoded (an odd last byte of UTF-16, an
// unpaired surrogate, a UTF-32 value beyond U+10FFFF or a surrogate, a cut
// last UTF-32 unit) fails the file at the read stage (kErrInvalidFormat),
// naming the byte offset of the first such place, and nothing is written.
//
// Streaming. The input is read in large blocks and each converted block is
// written before the next is read, so memory stays the same whatever the
// file size. The buffers are the calling thread's, sized to the input and
// kept for its next file: several threads may convert files at once. The output goes to a temporary
// file beside the target, which replaces the target only when complete: a failure leaves no partial
// output, an older output whole, and one error for the whole file.

#include <cstddef>
#include <string>

#include "conversion/encoding.h"
#include "platform/app_error.h"

namespace delvora {

// The system's narrow code page, in which files without a mark are read.
// UTF-8 on Linux and macOS; GetACP() on Windows.
struct NarrowCodePage {
  unsigned id = 65001;  // Windows code page number; 65001 is UTF-8
  static NarrowCodePage System();
};

// How fields are read and written.
enum class Quoting {
  kTextual,  // every delimiter becomes a tab; quotes are ordinary text
  kQuoted,   // quote-aware reading; TSV with double quotes where needed
  kEscaped,  // quote-aware reading; TSV with \t \n \r \\ escapes, no quotes
};

// What each written line ends in. CR LF, as the window writes; LF for Unix
// pipelines, where a last field ending in CR is a nuisance.
enum class LineEnd { kCrLf, kLf };

struct ConversionOptions {
  std::string delimiter;  // UTF-8 text; empty leaves every line unchanged
  // With kQuoted or kEscaped, a delimiter holding a double quote is refused
  // (kErrInvalidArgument).
  Quoting quoting = Quoting::kTextual;
  LineEnd line_end = LineEnd::kCrLf;
  NarrowCodePage code_page = NarrowCodePage::System();
  std::size_t block_size = 1 << 20;
  // Write each converted block on a second thread while the next one is
  // read and converted. The sink is then called from that thread.
  bool write_behind = true;
};

// Which side failed: the run reports reading and writing at different steps.
class ConversionFailure : public AppError {
 public:
  enum class Stage { kRead, kWrite };
  ConversionFailure(Stage stage, const AppError& error) : AppError(error), stage_(stage) {}
  Stage stage() const { return stage_; }

 private:
  Stage stage_;
};

// Throws ConversionFailure. On failure nothing partial is left and an older
// file at output_path is untouched. output_path may equal input_path. A
// named output (one the user typed) may be a device or pipe to write into;
// a made-up one is only ever a regular file.
void ConvertFile(const std::string& input_path, const std::string& output_path,
                 const ConversionOptions& options, bool named_output = false);

class ByteSource;
class ByteSink;

// The engine between any source and sink: reads the mark, converts every
// line and writes the output in the encoding that the mark calls for.
// Failures of the source come out at the read stage, failures of the sink
// at the write stage. Returns what the mark said.
UnicodeMark ConvertStream(ByteSource& source, ByteSink& sink, const ConversionOptions& options);

}  // namespace delvora
