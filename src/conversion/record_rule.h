#pragma once

// The record rule applied to a stream of text units (bytes of the narrow
// code page or UTF-8, or UTF-16 code units), one block after another.
//
// Lines: a line ends at LF, at CR LF (one terminator) or at a lone CR; a
// terminator at the very end does not start a further, empty line. An input
// with no units at all is one empty line. Every line is written followed by
// CR LF.
//
// Records: within a line, every occurrence of the delimiter, found left to
// right without overlapping and compared unit for unit, becomes one tab; an
// empty delimiter, or one holding CR or LF, leaves the line as it is. With a
// two-byte code page a match only starts where a character starts.

#include <array>
#include <cstddef>
#include <string>

namespace delvora {

template <typename Unit>
class LineConverter {
 public:
  using Units = std::basic_string<Unit>;

  // lead_bytes: for two-byte code pages only (Unit char); matches then never
  // start on the second byte of a character. An empty delimiter, or one
  // marked as not matching, leaves every line unchanged.
  LineConverter(Units delimiter, bool delimiter_matches,
                const std::array<bool, 256>* lead_bytes = nullptr);

  // Room that out must offer for a call with size units.
  static std::size_t MaxOutput(std::size_t size) { return 2 * size + 2; }

  struct Step {
    std::size_t consumed;  // units taken from data
    std::size_t produced;  // units written to out
  };

  // Converts as much of data[0, size) as can be decided without seeing what
  // follows; the caller passes the rest again, ahead of the next units (a
  // few units at most). With at_end everything is consumed.
  Step Feed(const Unit* data, std::size_t size, bool at_end, Unit* out);

  // Converts all of data[0, size) where it lies, when the rule can (lines
  // ending in CR LF, a one-unit delimiter): returns true with what Feed
  // would return, the output being data[0, produced). Returns false when
  // it cannot, from then on for the rest of the stream; the caller then
  // calls Feed with the same units, which may have been changed in ways
  // that leave Feed's output as it would have been. Never at the end.
  bool FeedInPlace(Unit* data, std::size_t size, Step& step);

  // After the last Feed: the CR LF of a last line that had no terminator,
  // or of the one empty line of an empty input. Returns units written (<= 2).
  std::size_t Finish(Unit* out);

 private:
  // Converts [begin, end) of one line; stops where a match could run past
  // end unless complete. Returns where it stopped.
  const Unit* Convert(const Unit* begin, const Unit* end, bool complete, Unit*& out) const;

  Units delimiter_;
  bool active_;
  const std::array<bool, 256>* lead_bytes_;
  // Whether whole blocks may be copied in one pass (see Feed).
  bool whole_blocks_;
  bool line_open_ = true;
  Unit last_unit_ = Unit(0);  // the unit before the next one fed
};

extern template class LineConverter<char>;
extern template class LineConverter<char16_t>;

}  // namespace delvora
