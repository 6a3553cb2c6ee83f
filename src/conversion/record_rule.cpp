#include "conversion/record_rule.h"

#include <cstring>

namespace delvora {

namespace {

inline const char* FindUnit(const char* begin, const char* end, char unit) {
  const void* hit =
      std::memchr(begin, static_cast<unsigned char>(unit), static_cast<std::size_t>(end - begin));
  return hit ? static_cast<const char*>(hit) : end;
}

inline const char16_t* FindUnit(const char16_t* begin, const char16_t* end, char16_t unit) {
  // Eight units at a time without a branch per unit; the tail one by one.
  while (end - begin >= 8) {
    unsigned any = 0;
    for (int i = 0; i < 8; ++i) any |= static_cast<unsigned>(begin[i] == unit);
    if (any) break;
    begin += 8;
  }
  while (begin != end && *begin != unit) ++begin;
  return begin;
}

template <typename Unit>
inline Unit* Copy(const Unit* begin, const Unit* end, Unit* out) {
  const auto size = static_cast<std::size_t>(end - begin);
  if (size != 0) std::memcpy(out, begin, size * sizeof(Unit));
  return out + size;
}

template <typename Unit>
inline Unit* CopyReplacing(const Unit* begin, const Unit* end, Unit* __restrict out, Unit from) {
  const auto size = static_cast<std::size_t>(end - begin);
  const Unit* __restrict in = begin;
  for (std::size_t i = 0; i < size; ++i) {
    const Unit c = in[i];
    out[i] = c == from ? Unit('\t') : c;
  }
  return out + size;
}

// One pass over a whole block: the delimiter unit becomes a tab (when
// kReplace) and the result says whether any LF lacks a CR before it. A plain
// loop in the width of the unit, so that the compiler turns it into vector
// code; for files with CR LF endings this is all the work there is.
template <typename Unit, bool kReplace>
inline bool CopyFindingBareLf(const Unit* __restrict in, std::size_t size, Unit* __restrict out,
                              Unit from, Unit before) {
  if (size == 0) return false;
  Unit bare = static_cast<Unit>((in[0] == Unit('\n')) & (before != Unit('\r')));
  out[0] = kReplace && in[0] == from ? Unit('\t') : in[0];
  for (std::size_t i = 1; i < size; ++i) {
    const Unit c = in[i];
    bare |= static_cast<Unit>((c == Unit('\n')) & (in[i - 1] != Unit('\r')));
    out[i] = kReplace && c == from ? Unit('\t') : c;
  }
  return bare != 0;
}

}  // namespace

template <typename Unit>
LineConverter<Unit>::LineConverter(Units delimiter, bool delimiter_matches,
                                   const std::array<bool, 256>* lead_bytes)
    : delimiter_(std::move(delimiter)),
      active_(delimiter_matches && !delimiter_.empty()),
      lead_bytes_(lead_bytes),
      whole_blocks_(lead_bytes == nullptr &&
                    (!active_ || (delimiter_.size() == 1 && delimiter_[0] != Unit('\r') &&
                                  delimiter_[0] != Unit('\n')))) {}

template <typename Unit>
const Unit* LineConverter<Unit>::Convert(const Unit* begin, const Unit* end, bool complete,
                                         Unit*& out) const {
  if (!active_) {
    out = Copy(begin, end, out);
    return end;
  }
  const std::size_t length = delimiter_.size();
  const Unit first = delimiter_[0];
  if (length == 1 && lead_bytes_ == nullptr) {
    out = CopyReplacing(begin, end, out, first);
    return end;
  }
  const Unit* p = begin;
  if (lead_bytes_ == nullptr) {
    // Characters cannot hide a match (single bytes, UTF-8, UTF-16): jump
    // from one occurrence of the first unit to the next.
    for (;;) {
      if (static_cast<std::size_t>(end - p) < length) break;
      const Unit* last_start = end - length;
      const Unit* hit = FindUnit(p, last_start + 1, first);
      out = Copy(p, hit, out);
      p = hit;
      if (hit > last_start) break;
      if (std::memcmp(hit + 1, delimiter_.data() + 1, (length - 1) * sizeof(Unit)) == 0) {
        *out++ = Unit('\t');
        p = hit + length;
      } else {
        *out++ = *p++;
      }
    }
  } else {
    // Step character by character: a lead byte takes the next byte of the
    // line with it.
    const auto& lead = *lead_bytes_;
    while (p != end) {
      const auto remaining = static_cast<std::size_t>(end - p);
      const bool is_lead = lead[static_cast<unsigned char>(*p)];
      if (!complete && (remaining < length || (is_lead && remaining < 2))) break;
      if (remaining >= length && std::memcmp(p, delimiter_.data(), length * sizeof(Unit)) == 0) {
        *out++ = Unit('\t');
        p += length;
      } else if (is_lead && remaining >= 2) {
        *out++ = *p++;
        *out++ = *p++;
      } else {
        *out++ = *p++;
      }
    }
    return p;
  }
  if (complete) {
    out = Copy(p, end, out);
    return end;
  }
  return p;
}

template <typename Unit>
typename LineConverter<Unit>::Step LineConverter<Unit>::Feed(const Unit* data, std::size_t size,
                                                             bool at_end, Unit* out) {
  if (size == 0) return {0, 0};
  if (whole_blocks_) {
    // While lines end in CR LF and the delimiter is one unit that is not
    // part of a line end, lines need not be told apart at all.
    const bool bare =
        active_ ? CopyFindingBareLf<Unit, true>(data, size, out, delimiter_[0], last_unit_)
                : CopyFindingBareLf<Unit, false>(data, size, out, Unit(0), last_unit_);
    if (!bare) {
      // A CR at the very end waits for the next block, where it may turn
      // out to end a line, as the line-by-line path expects.
      const std::size_t taken = !at_end && data[size - 1] == Unit('\r') ? size - 1 : size;
      if (taken == 0) return {0, 0};
      last_unit_ = data[taken - 1];
      line_open_ = last_unit_ != Unit('\n');
      return {taken, taken};
    }
    // Bare LF endings: go line by line from here on.
    whole_blocks_ = false;
  }
  Unit* o = out;
  const Unit* p = data;
  const Unit* const end = data + size;
  for (;;) {
    const Unit* lf = FindUnit(p, end, Unit('\n'));
    if (lf == end) break;
    const Unit* content_end = (lf != p && lf[-1] == Unit('\r')) ? lf - 1 : lf;
    Convert(p, content_end, true, o);
    *o++ = Unit('\r');
    *o++ = Unit('\n');
    line_open_ = false;
    p = lf + 1;
  }
  if (p != end) {
    if (at_end) {
      Convert(p, end, true, o);
      line_open_ = true;
      p = end;
    } else {
      // A CR at the very end may belong to an LF in the next block.
      const Unit* limit = end[-1] == Unit('\r') ? end - 1 : end;
      const Unit* stop = Convert(p, limit, false, o);
      if (stop != p) line_open_ = true;
      p = stop;
    }
  }
  if (p != data) last_unit_ = p[-1];
  return {static_cast<std::size_t>(p - data), static_cast<std::size_t>(o - out)};
}

template <typename Unit>
std::size_t LineConverter<Unit>::Finish(Unit* out) {
  if (!line_open_) return 0;
  out[0] = Unit('\r');
  out[1] = Unit('\n');
  line_open_ = false;
  return 2;
}

template class LineConverter<char>;
template class LineConverter<char16_t>;

}  // namespace delvora
