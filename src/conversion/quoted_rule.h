#pragma once

// The quote-aware record rule, applied to a stream of text units block after
// block, like the textual one (record_rule.h).
//
// Reading (RFC 4180 with any delimiter text):
// - A field whose first unit is a double quote runs to the matching closing
//   quote; "" inside it is one quote; delimiters, CR and LF inside it belong
//   to the field. Text after the closing quote up to the next delimiter or
//   line end stays part of the field, as spreadsheet programs read it.
// - A quote inside a field that does not start with one is ordinary text.
// - Outside quotes a record ends at LF, CR LF or a lone CR. An empty line is
//   a record of no fields; an input with no units at all has no records.
// - A delimiter holding CR or LF never matches (line ends come first).
//
// Writing, fields joined by one tab and records ended by CR LF:
// - kQuoted: a field holding a tab, CR, LF or quote is written in double
//   quotes with its quotes doubled, every other field bare. A record made of
//   one empty quoted field ("") is written as "" so that it stays one empty
//   field rather than becoming an empty line.
// - kEscaped: no quotes; tab, LF, CR and backslash become \t \n \r \\.
//
// Memory stays constant: a field is held (carried back to the caller) until
// its end is seen, so that it can be written bare when it may be; a field
// longer than hold_limit units is instead written as it streams, in quotes
// (kQuoted) whether it needs them or not.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "conversion/converter.h"
#include "conversion/field_tally.h"

namespace delvora {

// What the check wants to know of the quote-aware reading.
struct QuoteCounts {
  std::uint64_t records = 0;
  std::uint64_t min_fields = 0;  // fields per record; an empty line counts one
  std::uint64_t max_fields = 0;
  std::uint64_t quoted_delimiters = 0;    // quoted fields holding the delimiter
  std::uint64_t quoted_line_breaks = 0;   // line breaks inside quoted fields
  std::uint64_t unclosed_quote_line = 0;  // line where a never-closed quote opened
  FieldTally tally;                       // fields per record, by its first line
  // Lines holding a tab inside a field. Complete only for a delimiter that
  // holds a tab: with any other, a tab outside quotes is passed over by the
  // fast count, and the textual count (every tab then being data in both
  // readings) says the same.
  std::uint64_t tab_lines = 0;
  std::uint64_t first_tab_line = 0;
  std::uint64_t last_tab_line = 0;  // not counted twice
};

template <typename Unit>
class QuotedRule {
 public:
  using Units = std::basic_string<Unit>;

  // counts: when given, the rule counts instead of failing on an unclosed
  // quote (the output is still produced). quoting: kQuoted or kEscaped.
  QuotedRule(Units delimiter, bool delimiter_matches, Quoting quoting,
             const std::array<bool, 256>* lead_bytes, std::size_t hold_limit,
             QuoteCounts* counts = nullptr);

  // Room that out must offer for a call with size units.
  static std::size_t MaxOutput(std::size_t size) { return 3 * size + 8; }
  // Units a call may leave unconsumed at most (the caller carries them).
  std::size_t MaxCarry() const { return hold_limit_ + delimiter_.size() + 8; }

  struct Step {
    std::size_t consumed;
    std::size_t produced;
  };

  // Converts what can be decided of data[0, size); the caller passes the
  // rest again ahead of the next units. With at_end everything is consumed.
  // Throws ConversionFailure (read stage) for a quote still open at the end.
  Step Feed(const Unit* data, std::size_t size, bool at_end, Unit* out);

  // Converts a block where it lies when, up to a field boundary, it holds
  // no quote, no tab and no line end but CR LF (nor a backslash, with
  // kEscaped): such text is written as the textual rule writes it. Returns
  // true with what Feed would return, the output being data[0, produced);
  // false, with data unchanged, when Feed must read the block. Never at the
  // end, never for the check.
  bool FeedInPlace(Unit* data, std::size_t size, Step& step);

  // After the last Feed: closes an open field and record. Returns units
  // written (<= 3).
  std::size_t Finish(Unit* out);

  // Takes the reading up at the start of a field after text without a
  // quote that was read elsewhere (the check's textual count, which reads
  // such text alike): the current record is on line `line`, open when some
  // of it was read, with `delimiters` read in it. The counts are the
  // caller's to set.
  void ResumeAt(std::uint64_t line, bool open, std::uint64_t delimiters) {
    state_ = State::kFieldStart;
    line_ = record_line_ = line;
    record_open_ = open;
    delimiters_ = delimiters;
  }

 private:
  // Where the reading stands between units:
  //   kFieldStart  at the first unit of a field (or of a record);
  //   kFieldEnd    at the delimiter, CR or LF after a field;
  //   kInQuotes    inside a field too long to hold, after its opening quote;
  //   kTail        in such a field, unquoted or after its closing quote.
  enum class State { kFieldStart, kFieldEnd, kInQuotes, kTail };
  struct Scan;

  // The steps Feed runs, one for each state: StartField for kFieldStart
  // (FastFields or FastCount instead when fast_), EndField for kFieldEnd,
  // Stream for kInQuotes and kTail. A step takes units from p up to end and
  // writes to o, moving both past what it did, and returns "more": true when
  // it has moved to another state and Feed should go on; false when it
  // cannot decide without units beyond end (p is then where the next Feed
  // resumes, the rest being carried) or has nothing left to do. first says
  // whether the field at p starts a record.
  bool StartField(const Unit*& p, const Unit* end, bool at_end, bool first, Unit*& o);
  // The one general path: a field scanned from p is written, held for more
  // units, streamed or reported unclosed. StartField and every field the
  // fast steps cannot copy end here.
  bool TakeField(const Unit*& p, const Scan& scan, const Unit* end, bool first, Unit*& o);
  bool FastFields(const Unit*& p, const Unit* end, bool at_end, Unit*& o);
  bool FastCount(const Unit*& p, const Unit* end, bool at_end, Unit*& o);
  const Unit* CountVectors(const Unit* p, const Unit* end, Unit*& o);
  bool EndField(const Unit*& p, const Unit* end, bool at_end, Unit*& o);
  bool Stream(const Unit*& p, const Unit* end, bool at_end, Unit*& o);

  // A field from p, found whole (complete) or not yet; Emit writes a
  // complete one.
  Scan ScanField(const Unit* p, const Unit* end, bool at_end) const;
  void Emit(const Unit* p, const Scan& scan, const Unit* data_end, bool first, Unit*& o);
  void EndRecord(Unit*& o);
  void FieldDone(bool quoted, bool holds_delimiter);
  void TabOn(std::uint64_t line);
  void Unclosed(std::uint64_t line);
  bool DelimiterAt(const Unit* p) const;  // needs delimiter_.size() units
  bool AtCharStart(const Unit* begin, const Unit* at, const Unit* end) const;
  Unit* Escape(const Unit* begin, const Unit* end, bool unquote, Unit* o) const;

  Units delimiter_;
  bool active_;
  Quoting quoting_;
  const std::array<bool, 256>* lead_bytes_;
  std::size_t hold_limit_;
  QuoteCounts* counts_;
  // One-unit delimiter, no two-byte characters: runs of plain fields are
  // copied (or counted) a vector at a time.
  bool fast_;
  unsigned vector_bytes_;  // the widest vectors it reads chunks with
  // Fields to write one by one before chunks are tried again, and how many
  // after the next time they stop short.
  unsigned chunk_wait_ = 0;
  unsigned chunk_pause_ = 1;

  State state_ = State::kFieldStart;
  bool record_open_ = false;       // some of the current record is consumed
  std::uint64_t delimiters_ = 0;   // in the current record
  std::uint64_t line_ = 1;         // line of the next unit
  std::uint64_t record_line_ = 1;  // line the current record started on
  // The field being streamed (kInQuotes, kTail).
  std::uint64_t quote_line_ = 0;
  bool streamed_quoted_ = false;
  bool streamed_delimiter_ = false;
  // Line breaks and tabs inside the quotes of a streamed field, counted only
  // once its quote closes: a quote that never closes counts nothing, as
  // when its field is held (the check's counts do not depend on blocks).
  std::uint64_t streamed_breaks_ = 0;
  std::uint64_t streamed_tab_lines_ = 0;
  std::uint64_t streamed_first_tab_ = 0;
  std::uint64_t streamed_last_tab_ = 0;
  bool finished_ = false;  // an unclosed quote ended the reading early
  bool in_place_;          // FeedInPlace may still help (no other line end met)
};

// The widest vectors (16, 32 or 64 bytes) that rules made from now on read
// quoted text with: the processor's widest, which is the default, or
// narrower (so that tests reach every width on one machine).
void LimitQuotedVectors(unsigned bytes);

extern template class QuotedRule<char>;
extern template class QuotedRule<char16_t>;

}  // namespace delvora
