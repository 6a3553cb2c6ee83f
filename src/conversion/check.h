#pragma once

// What a file needs before it is converted: one pass over it with the same
// readers as the conversion, counting instead of writing, under both the
// textual rule and the quote-aware one.
//
// FormatCheckReport gives one line, stable for scripts to read:
//   mark=M line-ends=E records=N fields=A-B textual-records=N
//   textual-fields=A-B quoted-delimiters=N quoted-line-breaks=N
//   unclosed-quote=L textual-differs-at=L,L,... verdict: TEXT
// (one line; pairs separated by single spaces). M is none, UTF-8, UTF-16LE,
// UTF-16BE, UTF-32LE or UTF-32BE; E is CRLF, LF, CR, mixed or none; fields
// are the fewest and most per record (an empty line counts one);
// unclosed-quote and textual-differs-at say "none" or line numbers (the
// first five lines whose textual field count differs from the first
// line's). TEXT starts with "safe" or, when not safe, with "needs --quotes"
// or "unclosed quote".

#include <cstdint>
#include <string>
#include <vector>

#include "conversion/converter.h"
#include "conversion/encoding.h"
#include "conversion/text_reader.h"

namespace delvora {

struct CheckReport {
  TextEncoding encoding = TextEncoding::kNarrow;
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
// break, every quote closes). Safe for kQuoted and kEscaped: every quote
// closes.
bool CheckIsSafe(const CheckReport& report, Quoting mode);

// The text after "PATH: " on the check line, verdict included.
std::string FormatCheckReport(const CheckReport& report, Quoting mode);

}  // namespace delvora
