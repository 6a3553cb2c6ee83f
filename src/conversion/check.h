#pragma once

// What a file needs before it is converted: one pass over it with the same
// readers as the conversion, counting instead of writing, under both the
// textual rule and the quote-aware one.
//
// FormatCheckReport gives one line, stable for scripts to read:
//   mark=M line-ends=E records=N fields=A-B textual-records=N
//   textual-fields=A-B quoted-delimiters=N quoted-line-breaks=N
//   unclosed-quote=L textual-differs-at=L,L,... text=T crlf=N lf=N cr=N
//   tab-lines=N first-tab-line=L delimiters=N likely-delimiter=NAME
//   common-fields=N differing-lines=N differs-at=L,L,... malformed=N
//   first-malformed=OFFSET verdict: TEXT
// (one line; pairs separated by single spaces; new pairs only ever go
// before the verdict). M is none, UTF-8, UTF-16LE,
// UTF-16BE, UTF-32LE or UTF-32BE; E is CRLF, LF, CR, mixed or none; fields
// are the fewest and most per record (an empty line counts one);
// unclosed-quote and textual-differs-at say "none" or line numbers (the
// first five lines whose textual field count differs from the first
// line's). TEXT starts with "safe" or, when not safe, with "needs --quotes",
// "needs --escape", "field counts differ", "not text of one byte",
// "unclosed quote" or "malformed text". T is ascii, utf-8, 8-bit,
// utf-16le-no-mark, utf-16be-no-mark, or marked; tab-lines, first-tab-line,
// common-fields and what follows it are of the mode's reading (textual or
// quote-aware), common-fields by the line a record starts on. malformed
// counts the places of marked text that cannot be decoded, and
// first-malformed is the byte offset of the first (or "none").

#include <cstdint>
#include <string>
#include <vector>

#include "conversion/converter.h"
#include "conversion/encoding.h"
#include "conversion/text_reader.h"

namespace delvora {

// The bytes of a file without a mark.
enum class NarrowText {
  kAscii,          // nothing above 127
  kUtf8,           // valid UTF-8
  kEightBit,       // 8-bit text that is not UTF-8: a code page
  kUtf16LeNoMark,  // a zero byte in every other position
  kUtf16BeNoMark,
};

// Fields per line (or record) of one reading.
struct FieldCounts {
  std::uint64_t common = 0;                    // the most common count (0: no lines)
  std::uint64_t differing = 0;                 // lines with another count
  std::vector<std::uint64_t> first_differing;  // the first five of them
};

struct CheckReport {
  TextEncoding encoding = TextEncoding::kNarrow;
  NarrowText text = NarrowText::kAscii;  // when encoding is kNarrow
  // Line ends as the textual rule sees them, inside quotes too.
  std::uint64_t crlf_ends = 0;
  std::uint64_t lf_ends = 0;
  std::uint64_t cr_ends = 0;
  // The textual rule: lines and delimiter-separated fields.
  std::uint64_t lines = 0;
  std::uint64_t min_line_fields = 0;
  std::uint64_t max_line_fields = 0;
  std::uint64_t differing_lines = 0;           // field count unlike the first line's
  std::vector<std::uint64_t> first_differing;  // their first few line numbers
  std::uint64_t delimiters = 0;                // delimiters the textual rule found
  std::uint64_t tab_lines = 0;                 // lines holding a tab that is data
  std::uint64_t first_tab_line = 0;
  // The same for the quote-aware reading, where a tab inside quotes is
  // data whatever the delimiter.
  std::uint64_t quoted_tab_lines = 0;
  std::uint64_t first_quoted_tab_line = 0;
  // Places of marked text that cannot be decoded; the first one's offset.
  std::uint64_t malformed = 0;
  std::uint64_t first_malformed = 0;
  // A standard delimiter (-d's name) that occurs equally often on every
  // line, when the chosen one never occurs in a file of several lines.
  std::string likely_delimiter;
  FieldCounts textual_counts;
  FieldCounts quoted_counts;  // by the line each record starts on
  // The quote-aware reading.
  std::uint64_t records = 0;
  std::uint64_t min_fields = 0;
  std::uint64_t max_fields = 0;
  std::uint64_t quoted_delimiters = 0;    // quoted fields holding the delimiter
  std::uint64_t quoted_line_breaks = 0;   // line breaks inside quoted fields
  std::uint64_t unclosed_quote_line = 0;  // 0: every quote closes
};

// Read failures throw ConversionFailure (read stage); a delimiter that is
// not UTF-8 or holds a double quote, kErrInvalidArgument.
CheckReport CheckStream(ByteSource& source, const ConversionOptions& options);
CheckReport CheckFile(const std::string& path, const ConversionOptions& options);

// Safe for kTextual: the textual rule splits the file exactly where the
// quote-aware reading does (no quoted field holds a delimiter or a line
// break, every quote closes) and no field holds a tab. Safe for kQuoted:
// every quote closes, and no field of the quote-aware reading holds a tab
// (inside quotes too, whatever the delimiter) or a line break (they would
// be written in quotes). Safe for kEscaped: every quote closes. Never safe:
// unmarked text that looks like UTF-16, and malformed marked text. strict:
// lines whose field count differs from the most common one (of the mode's
// reading) make it unsafe. An unsafe plain verdict names --quotes only when
// --quotes would be safe, else --escape.
bool CheckIsSafe(const CheckReport& report, Quoting mode, bool strict = false);

// The text after "PATH: " on the check line, verdict included.
std::string FormatCheckReport(const CheckReport& report, Quoting mode, bool strict = false);

// The same as the members of a JSON object (no braces), "safe" and
// "verdict" last.
std::string FormatCheckJson(const CheckReport& report, Quoting mode, bool strict = false);

}  // namespace delvora
