#include "conversion/record_rule.h"

#include <cstring>

#include "conversion/unit_scan.h"

#ifdef DELVORA_HAVE_AVX2_PATH
#include <immintrin.h>
#endif

namespace delvora {

namespace {

using scan::Copy;

inline const char* FindUnit(const char* begin, const char* end, char unit) {
  const void* hit =
      std::memchr(begin, static_cast<unsigned char>(unit), static_cast<std::size_t>(end - begin));
  return hit ? static_cast<const char*>(hit) : end;
}

inline const char16_t* FindUnit(const char16_t* begin, const char16_t* end, char16_t unit) {
  const char16_t stops[] = {unit};
  return scan::FindAny(begin, end, stops);
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
// kReplace) and the result says whether any line end is other than CR LF
// (an LF without a CR before it, a CR without an LF after it). A plain loop
// in the width of the unit, so that the compiler turns it into vector code;
// for files with CR LF endings this is all the work there is.
template <typename Unit, bool kReplace>
inline bool CopyFindingOtherEnds(const Unit* __restrict in, std::size_t size, Unit* __restrict out,
                                 Unit from, Unit before) {
  if (size == 0) return false;
  const Unit cr = Unit('\r');
  const Unit lf = Unit('\n');
  Unit other =
      static_cast<Unit>(((in[0] == lf) & (before != cr)) | ((before == cr) & (in[0] != lf)));
  out[0] = kReplace && in[0] == from ? Unit('\t') : in[0];
  for (std::size_t i = 1; i < size; ++i) {
    const Unit c = in[i];
    const Unit b = in[i - 1];
    other |= static_cast<Unit>(((c == lf) & (b != cr)) | ((b == cr) & (c != lf)));
    out[i] = kReplace && c == from ? Unit('\t') : c;
  }
  return other != 0;
}

// The same where the block lies: the delimiter unit becomes a tab (when
// kReplace), and the result says whether any line end is other than CR LF.
// A vector at a time, each unit compared with the one after it, loaded
// ahead of the stores (a load of the units before would wait on the last
// store).
template <typename Unit, bool kReplace>
inline bool ReplaceFindingOtherEnds(Unit* data, std::size_t size, Unit from, Unit before) {
  const Unit cr = Unit('\r');
  const Unit lf = Unit('\n');
  // An LF not after a CR, or a CR not before an LF.
  bool other = (data[0] == lf) != (before == cr);
  std::size_t i = 0;
#ifdef DELVORA_HAVE_SSE2
  using V = scan::Vector<Unit>;
  const __m128i crs = V::Splat(cr);
  const __m128i lfs = V::Splat(lf);
  const __m128i froms = V::Splat(from);
  const __m128i flip = V::Splat(static_cast<Unit>(from ^ Unit('\t')));
  __m128i odd = _mm_setzero_si128();
  const auto step = [&](std::size_t at) {
    auto* p = reinterpret_cast<__m128i*>(data + at);
    const __m128i x = _mm_loadu_si128(p);
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + 1));
    odd = _mm_or_si128(odd, _mm_xor_si128(V::Equal(x, crs), V::Equal(next, lfs)));
    if constexpr (kReplace)
      _mm_storeu_si128(p, _mm_xor_si128(x, _mm_and_si128(V::Equal(x, froms), flip)));
  };
  // The unit after each vector is read: one more than a vector must be left.
  for (; size - i > 2 * V::kUnits; i += 2 * V::kUnits) {
    step(i);
    step(i + V::kUnits);
  }
  for (; size - i > V::kUnits; i += V::kUnits) step(i);
  other |= _mm_movemask_epi8(odd) != 0;
#endif
  for (; i < size; ++i) {
    const Unit c = data[i];
    if (i + 1 < size) other |= (c == cr) != (data[i + 1] == lf);
    if (kReplace && c == from) data[i] = Unit('\t');
  }
  return other;
}

#ifdef DELVORA_HAVE_AVX2_PATH
// The same pass two vectors wide, for processors that have AVX2 (most since
// 2013): the in-place pass is all a block of CR LF lines costs beyond its
// copies, and half the instructions per byte show in the whole run's time.
template <typename Unit>
DELVORA_AVX2 __attribute__((always_inline)) inline __m256i Splat256(Unit c) {
  if constexpr (sizeof(Unit) == 1)
    return _mm256_set1_epi8(static_cast<char>(c));
  else
    return _mm256_set1_epi16(static_cast<short>(c));
}

template <typename Unit>
DELVORA_AVX2 __attribute__((always_inline)) inline __m256i Equal256(__m256i a, __m256i b) {
  if constexpr (sizeof(Unit) == 1)
    return _mm256_cmpeq_epi8(a, b);
  else
    return _mm256_cmpeq_epi16(a, b);
}

template <typename Unit, bool kReplace>
DELVORA_AVX2 bool ReplaceFindingOtherEndsWide(Unit* data, std::size_t size, Unit from,
                                              Unit before) {
  constexpr std::size_t kUnits = 32 / sizeof(Unit);
  const Unit cr = Unit('\r');
  const Unit lf = Unit('\n');
  bool other = (data[0] == lf) != (before == cr);
  const __m256i crs = Splat256(cr);
  const __m256i lfs = Splat256(lf);
  const __m256i froms = Splat256(from);
  const __m256i flip = Splat256(static_cast<Unit>(from ^ Unit('\t')));
  __m256i odd = _mm256_setzero_si256();
  std::size_t i = 0;
  // The unit after each vector is read: one more than a vector must be left.
  for (; size - i > kUnits; i += kUnits) {
    auto* p = reinterpret_cast<__m256i*>(data + i);
    const __m256i x = _mm256_loadu_si256(p);
    const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + 1));
    odd = _mm256_or_si256(odd, _mm256_xor_si256(Equal256<Unit>(x, crs), Equal256<Unit>(next, lfs)));
    if constexpr (kReplace)
      _mm256_storeu_si256(p, _mm256_xor_si256(x, _mm256_and_si256(Equal256<Unit>(x, froms), flip)));
  }
  other |= _mm256_testz_si256(odd, odd) == 0;
  for (; i < size; ++i) {
    const Unit c = data[i];
    if (i + 1 < size) other |= (c == cr) != (data[i + 1] == lf);
    if (kReplace && c == from) data[i] = Unit('\t');
  }
  return other;
}

// Lines ending in a bare LF, as most files made on Linux and macOS have:
// sixteen units at a time, each LF written as CR LF by a shuffle that
// spreads eight units over up to sixteen (the CR taken from the half of
// the source vector that holds only CRs), rather than line by line.
struct LineFeedShuffles {
  alignas(16) unsigned char order[256][16];
  unsigned char length[256];
  constexpr LineFeedShuffles() : order{}, length{} {
    for (int mask = 0; mask < 256; ++mask) {
      int k = 0;
      for (int j = 0; j < 8; ++j) {
        if ((mask >> j & 1) != 0) order[mask][k++] = 8;
        order[mask][k++] = static_cast<unsigned char>(j);
      }
      length[mask] = static_cast<unsigned char>(k);
      while (k < 16) order[mask][k++] = 0x80;
    }
  }
};
inline constexpr LineFeedShuffles kLineFeedShuffles;

// Writes the sixteen units of x to out with a CR before each LF (ends: a
// bit per LF); moves out on.
DELVORA_AVX2 __attribute__((always_inline)) inline void SpreadLineFeeds(__m128i x, unsigned ends,
                                                                        char*& out) {
  if (ends == 0) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), x);
    out += 16;
    return;
  }
  const __m128i crs = _mm_set1_epi8('\r');
  const unsigned low = ends & 0xFF;
  const unsigned high = ends >> 8;
  const auto order = [](unsigned mask) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(kLineFeedShuffles.order[mask]));
  };
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                   _mm_shuffle_epi8(_mm_unpacklo_epi64(x, crs), order(low)));
  out += kLineFeedShuffles.length[low];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                   _mm_shuffle_epi8(_mm_unpackhi_epi64(x, crs), order(high)));
  out += kLineFeedShuffles.length[high];
}

// Converts from p on up to the first 32 units that hold a CR (or fewer
// than 32 are left); returns where it stopped, out moved on by what it
// wrote. May write up to eight units past that.
template <bool kReplace>
DELVORA_AVX2 const char* ExpandLineFeeds(const char* p, const char* end, char*& out, char from) {
  const __m256i crs = _mm256_set1_epi8('\r');
  const __m256i lfs = _mm256_set1_epi8('\n');
  const __m256i froms = _mm256_set1_epi8(from);
  const __m256i flip = _mm256_set1_epi8(static_cast<char>(from ^ '\t'));
  char* o = out;
  for (; end - p >= 32; p += 32) {
    __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(x, crs)) != 0) break;
    const auto ends = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(x, lfs)));
    if constexpr (kReplace)
      x = _mm256_xor_si256(x, _mm256_and_si256(_mm256_cmpeq_epi8(x, froms), flip));
    if (ends == 0) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), x);
      o += 32;
      continue;
    }
    SpreadLineFeeds(_mm256_castsi256_si128(x), ends & 0xFFFF, o);
    SpreadLineFeeds(_mm256_extracti128_si256(x, 1), ends >> 16, o);
  }
  out = o;
  return p;
}
#endif

template <typename Unit, bool kReplace>
inline bool ReplaceInPlace(Unit* data, std::size_t size, Unit from, Unit before) {
#ifdef DELVORA_HAVE_AVX2_PATH
  if (scan::HasAvx2()) return ReplaceFindingOtherEndsWide<Unit, kReplace>(data, size, from, before);
#endif
  return ReplaceFindingOtherEnds<Unit, kReplace>(data, size, from, before);
}

template <typename Unit>
inline const Unit* CopyToLineEnd(bool replace, const Unit* p, const Unit* end, Unit*& out,
                                 Unit from) {
  static constexpr Unit kLineEnds[] = {Unit('\r'), Unit('\n')};
  return replace ? scan::CopyUntilAny<true>(p, end, out, from, kLineEnds)
                 : scan::CopyUntilAny<false>(p, end, out, from, kLineEnds);
}

}  // namespace

template <typename Unit>
LineConverter<Unit>::LineConverter(Units delimiter, bool delimiter_matches,
                                   const std::array<bool, 256>* lead_bytes)
    : delimiter_(std::move(delimiter)),
      // A delimiter holding a line end can never lie inside a line.
      active_(delimiter_matches && !delimiter_.empty() && !scan::HoldsLineEnd(delimiter_)),
      lead_bytes_(lead_bytes),
      whole_blocks_(lead_bytes == nullptr && (!active_ || delimiter_.size() == 1)) {}

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
    // While lines end in CR LF and the delimiter is one unit, lines need not
    // be told apart at all.
    bool other = active_
                     ? CopyFindingOtherEnds<Unit, true>(data, size, out, delimiter_[0], last_unit_)
                     : CopyFindingOtherEnds<Unit, false>(data, size, out, Unit(0), last_unit_);
    // A CR at the very end waits for the next block, where it may turn out
    // to be followed by an LF; at the end of the input it ends a line alone.
    const bool cr_last = data[size - 1] == Unit('\r');
    other |= at_end && cr_last;
    if (!other) {
      const std::size_t taken = cr_last ? size - 1 : size;
      if (taken == 0) return {0, 0};
      last_unit_ = data[taken - 1];
      line_open_ = last_unit_ != Unit('\n');
      return {taken, taken};
    }
    // Other line ends: go line by line from here on.
    whole_blocks_ = false;
  }
  static constexpr Unit kLineEnds[] = {Unit('\r'), Unit('\n')};
  const bool copy = lead_bytes_ == nullptr && (!active_ || delimiter_.size() == 1);
  Unit* o = out;
  const Unit* p = data;
  const Unit* const end = data + size;
#ifdef DELVORA_HAVE_AVX2_PATH
  if constexpr (sizeof(Unit) == 1) {
    if (copy && scan::HasAvx2()) {
      p = active_ ? ExpandLineFeeds<true>(p, end, o, delimiter_[0])
                  : ExpandLineFeeds<false>(p, end, o, 0);
      if (o != out) line_open_ = o[-1] != '\n';
    }
  }
#endif
  for (;;) {
    if (copy) {
      // Short lines are the common case: copy a vector at a time, stopping
      // at the line end, rather than searching first and copying after.
      const Unit* stop = CopyToLineEnd(active_, p, end, o, active_ ? delimiter_[0] : Unit(0));
      if (stop != p) line_open_ = true;
      p = stop;
      if (p == end) break;
    } else {
      const Unit* stop = scan::FindAny(p, end, kLineEnds);
      if (stop == end) {
        const Unit* done = Convert(p, end, at_end, o);
        if (done != p) line_open_ = true;
        p = done;
        break;
      }
      Convert(p, stop, true, o);
      p = stop;
    }
    if (*p == Unit('\r')) {
      if (p + 1 == end) {
        if (!at_end) break;  // an LF may follow in the next block
        ++p;
      } else {
        p += p[1] == Unit('\n') ? 2 : 1;
      }
    } else {
      ++p;
    }
    *o++ = Unit('\r');
    *o++ = Unit('\n');
    line_open_ = false;
  }
  if (p != data) last_unit_ = p[-1];
  return {static_cast<std::size_t>(p - data), static_cast<std::size_t>(o - out)};
}

template <typename Unit>
bool LineConverter<Unit>::FeedInPlace(Unit* data, std::size_t size, Step& step) {
  if (!whole_blocks_) return false;
  step = {0, 0};
  if (size == 0) return true;
  const bool other = active_ ? ReplaceInPlace<Unit, true>(data, size, delimiter_[0], last_unit_)
                             : ReplaceInPlace<Unit, false>(data, size, Unit(0), last_unit_);
  if (other) {
    // Feed goes line by line over the same units; a tab where the
    // delimiter was is written as the delimiter would have been.
    whole_blocks_ = false;
    return false;
  }
  // A CR at the very end waits for the next block (see Feed).
  const std::size_t taken = data[size - 1] == Unit('\r') ? size - 1 : size;
  if (taken != 0) {
    last_unit_ = data[taken - 1];
    line_open_ = last_unit_ != Unit('\n');
  }
  step = {taken, taken};
  return true;
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
