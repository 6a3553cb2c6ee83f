#include "conversion/quoted_rule.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>

#include "conversion/unit_scan.h"

namespace delvora {

namespace {

using scan::Copy;

// A short copy in one vector when the input has room to read it whole.
template <typename Unit>
inline Unit* CopyShort(const Unit* begin, const Unit* end, const Unit* readable_end, Unit* out) {
#ifdef DELVORA_HAVE_SSE2
  constexpr std::size_t kUnits = 16 / sizeof(Unit);
  if (end - begin <= static_cast<std::ptrdiff_t>(kUnits) &&
      readable_end - begin >= static_cast<std::ptrdiff_t>(kUnits)) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(begin)));
    return out + (end - begin);
  }
#else
  (void)readable_end;
#endif
  return Copy(begin, end, out);
}

template <typename Unit>
inline Unit* CopyDoubling(const Unit* begin, const Unit* end, Unit* out) {
  for (const Unit* p = begin; p != end; ++p) {
    if (*p == Unit('"')) *out++ = Unit('"');
    *out++ = *p;
  }
  return out;
}

template <typename Unit>
inline bool IsLineEnd(Unit c) {
  return c == Unit('\r') || c == Unit('\n');
}

// The units of the character at p (p < end) in a two-byte code page: a
// quote or line end after a lead byte is read as structure, not as the
// character's second byte.
template <typename Unit>
inline std::size_t CharUnits(const std::array<bool, 256>* lead_bytes, const Unit* p,
                             const Unit* end) {
  static constexpr Unit kBreaks[] = {Unit('\r'), Unit('\n'), Unit('"')};
  return scan::CharUnits(lead_bytes, p, end, kBreaks);
}

using scan::FewBits;

// Copies plain text from p, turning the delimiter d into a tab, up to the
// first unit of stops, lone CR or LF without CR: a CR LF pair is copied
// as it is, as the line end it is written as, and counted in lines. Stops
// also at a CR that ends a vector (its LF is not in view) and at an LF
// right at p. May write up to scan::kSlackUnits units beyond what it
// returns.
template <typename Unit>
inline const Unit* CopyPlain(const Unit* p, const Unit* end, Unit*& out, Unit d,
                             const Unit (&stops)[3], std::uint64_t& lines) {
  Unit* o = out;
#ifdef DELVORA_HAVE_SSE2
  using V = scan::Vector<Unit>;
  constexpr unsigned kBits = sizeof(Unit);  // mask bits per unit
  const __m128i needles[] = {V::Splat(stops[0]), V::Splat(stops[1]), V::Splat(stops[2])};
  bool after_cr = false;
  while (static_cast<std::size_t>(end - p) >= V::kUnits) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const auto special = static_cast<unsigned>(_mm_movemask_epi8(scan::Matches<Unit>(x, needles)));
    const auto cr = static_cast<unsigned>(_mm_movemask_epi8(V::Equal(x, V::Splat(Unit('\r')))));
    const auto lf = static_cast<unsigned>(_mm_movemask_epi8(V::Equal(x, V::Splat(Unit('\n')))));
    const unsigned lone_cr = cr & ~(lf >> kBits);
    const unsigned bare_lf = lf & ~((cr << kBits) | (after_cr ? (1u << kBits) - 1 : 0u)) & 0xFFFF;
    const unsigned stop = special | lone_cr | bare_lf;
    const __m128i is = V::Equal(x, V::Splat(d));
    x = _mm_or_si128(_mm_andnot_si128(is, x), _mm_and_si128(is, V::Splat(Unit('\t'))));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), x);
    if (stop != 0) {
      const unsigned below = (1u << std::countr_zero(stop)) - 1;
      lines += FewBits(lf & below) / kBits;
      const std::size_t k = V::Index(stop);
      out = o + k;
      return p + k;
    }
    lines += FewBits(lf) / kBits;
    after_cr = (cr >> (16 - kBits)) != 0;
    p += V::kUnits;
    o += V::kUnits;
  }
  if (after_cr && p != end && *p == Unit('\n')) {
    // The LF of a pair split across the last vector.
    *o++ = *p++;
    ++lines;
  }
#endif
  while (p != end) {
    const Unit c = *p;
    if (scan::IsAny(c, stops) || c == Unit('\n')) break;
    if (c == Unit('\r')) {
      if (p + 1 == end || p[1] != Unit('\n')) break;
      *o++ = *p++;
      *o++ = *p++;
      ++lines;
      continue;
    }
    *o++ = c == d ? Unit('\t') : c;
    ++p;
  }
  out = o;
  return p;
}

// What the content of a quoted field holds, as far as SkipQuotedContent
// looked.
struct QuotedContent {
  bool doubled = false;  // a doubled quote
  bool tab = false;
  bool delimiter = false;    // the one-unit delimiter
  std::uint64_t breaks = 0;  // line breaks, a CR LF pair being one
  bool NeedsQuotes() const { return doubled || tab || breaks != 0; }
};

// The content of a quoted field from q, a vector at a time: the scan stops
// only at quotes, and what the content holds comes from each vector's
// masks. Returns the closing quote, or where less than a vector and one
// unit is left (the unit after each vector is looked at), what it holds
// counted up to there.
template <typename Unit>
inline const Unit* SkipQuotedContent(const Unit* q, const Unit* end, Unit d, QuotedContent& c) {
#ifdef DELVORA_HAVE_SSE2
  using V = scan::Vector<Unit>;
  constexpr unsigned kBits = sizeof(Unit);  // mask bits per unit
  while (static_cast<std::size_t>(end - q) > V::kUnits) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    const unsigned quotes = scan::MaskOf(x, Unit('"'));
    const unsigned below = quotes != 0 ? (1u << std::countr_zero(quotes)) - 1 : 0xFFFFu;
    const unsigned crs = scan::MaskOf(x, Unit('\r')) & below;
    const unsigned lfs = scan::MaskOf(x, Unit('\n')) & below;
    const unsigned tabs = scan::MaskOf(x, Unit('\t')) & below;
    const unsigned delimiters = scan::MaskOf(x, d) & below;
    if ((crs | lfs | tabs | delimiters) != 0) {
      const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 1));
      const unsigned lone_crs = crs & ~scan::MaskOf(next, Unit('\n'));
      c.breaks += (scan::Bits(lfs) + scan::Bits(lone_crs)) / kBits;
      c.tab = c.tab || tabs != 0;
      c.delimiter = c.delimiter || delimiters != 0;
    }
    if (quotes == 0) {
      q += V::kUnits;
      continue;
    }
    const std::size_t k = V::Index(quotes);
    if (q[k + 1] != Unit('"')) return q + k;
    c.doubled = true;
    q += k + 2;
  }
#else
  (void)end, (void)d, (void)c;
#endif
  return q;
}

#ifdef DELVORA_HAVE_SSE2
using scan::kChunkUnits;
using scan::NarrowChunk;

// The bits below bit n (n < 64).
inline std::uint64_t BitsBelow(unsigned n) { return (std::uint64_t{1} << n) - 1; }

#ifdef DELVORA_WIDE_CHUNKS
using scan::Chunk32;
using scan::Chunk64;
#endif

// Copies n units (n < 80) a vector at a time; may write up to a vector
// beyond them and read up to a vector beyond from + n.
template <typename Unit>
inline Unit* CopyVectors(const Unit* from, std::size_t n, Unit* out) {
  constexpr std::size_t kUnits = scan::Vector<Unit>::kUnits;
  std::size_t i = 0;
  do {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
    i += kUnits;
  } while (i < n);
  return out + n;
}

// Where the reading stands at the start of a chunk.
struct ChunkStart {
  bool field = true;   // the first unit starts a field (else it ends one)
  bool record = true;  // ... and a record
};

// The quote-aware conversion (kQuoted) of whole fields, 64 units at a time,
// from p, which starts a field or ends one (the delimiter or line end after
// a closing quote). Each unit's part is read from masks: the parity of the
// quotes before it says whether it lies inside quotes, and each quoted field
// is a run of units inside quotes or quotes. A chunk is written up to the
// last delimiter or LF outside quotes in it, so that every field written
// was seen whole:
// - a quoted field holding a line break, a tab or a doubled quote as it
//   stands (the input already has the written form), any other without
//   its quotes (a lone "" that makes up its record excepted);
// - the delimiter outside quotes as a tab, an LF not after a CR as CR LF.
// Stops (at a field start) before what it cannot write so: a quote that
// neither starts a field nor is doubled or closing before a delimiter or
// line end, a tab or a lone CR outside quotes, a field of 64 units or more,
// or the last 64 units. Returns where it stopped; out, start and lines
// (line breaks passed) move on.
template <typename Chunk, typename Unit>
DELVORA_ALWAYS_INLINE inline const Unit* QuotedChunks(const Unit* p, const Unit* end, Unit d,
                                                      Unit*& out, ChunkStart& start,
                                                      std::uint64_t& lines) {
  constexpr std::uint64_t kAll = ~std::uint64_t{0};
  // A tab delimiter is its own output, and tabs outside quotes are then no
  // data.
  const std::uint64_t tabs_apart = d == Unit('\t') ? 0 : kAll;
  alignas(16) Unit tabbed[kChunkUnits + scan::Vector<Unit>::kUnits];
  Unit* o = out;
  while (static_cast<std::size_t>(end - p) >= kChunkUnits) {
    const Chunk chunk(p);
    const std::uint64_t quotes = chunk.Equal(Unit('"'));
    const std::uint64_t delimiters = chunk.Equal(d);
    const std::uint64_t lfs = chunk.Equal(Unit('\n'));
    const std::uint64_t crs = chunk.Equal(Unit('\r'));
    const std::uint64_t tabs = chunk.Any(Unit('\t')) ? chunk.Equal(Unit('\t')) : 0;
    const std::uint64_t inside = Chunk::Parity(quotes);
    const std::uint64_t after_quote = quotes << 1;
    // The boundaries a chunk may end after: delimiters and LFs outside.
    const std::uint64_t ends = (delimiters | lfs) & ~inside;
    if (ends == 0) break;
    unsigned length = 64 - static_cast<unsigned>(std::countl_zero(ends));
    const std::uint64_t opens = quotes & inside & ~after_quote;
    const std::uint64_t closes = quotes & ~inside & ~(quotes >> 1);
    const std::uint64_t field_starts = ends << 1 | (start.field ? 1 : 0);
    const std::uint64_t bad = (opens & ~field_starts) |
                              (closes & ~((delimiters | lfs | crs) >> 1)) |
                              (((tabs & tabs_apart) | (crs & ~(lfs >> 1))) & ~inside);
    std::uint64_t taken = kAll >> (64 - length);
    const bool stops = (bad & taken) != 0;
    if (stops) {
      const std::uint64_t before = ends & BitsBelow(static_cast<unsigned>(std::countr_zero(bad)));
      if (before == 0) break;
      length = 64 - static_cast<unsigned>(std::countl_zero(before));
      taken = kAll >> (64 - length);
    }
    // What makes a quoted field keep its quotes: a line break, a tab or the
    // second quote of a doubled pair inside.
    const std::uint64_t needs = ((lfs | crs | tabs) & inside) | (quotes & inside & after_quote);
    const std::uint64_t runs = inside | quotes;
    std::uint64_t events = 0;  // quotes left out, LFs that get a CR
    for (std::uint64_t open = opens & taken; open != 0; open &= open - 1) {
      const auto at = static_cast<unsigned>(std::countr_zero(open));
      const auto units = static_cast<unsigned>(std::countr_one(runs >> at));
      if ((needs >> at & BitsBelow(units)) != 0) continue;
      if (units == 2) {
        // "" alone on its line stays, so that the record keeps its field.
        const bool first = at == 0 ? start.record : (lfs >> (at - 1) & 1) != 0;
        if (first && (delimiters >> (at + 2) & 1) == 0) continue;
      }
      events |= std::uint64_t{1} << at | std::uint64_t{1} << (at + units - 1);
    }
    const std::uint64_t bare_lfs = lfs & ~inside & ~(crs << 1) & taken;
    events |= bare_lfs;
    const std::uint64_t kept = delimiters & inside & taken & tabs_apart;
    lines += Chunk::Count((lfs | (crs & ~(lfs >> 1))) & taken);
    if constexpr (Chunk::kCompresses) {
      if (bare_lfs == 0) {
        o = chunk.StoreKept(delimiters & ~inside, taken & ~events, o);
        start.field = true;
        start.record = (lfs >> (length - 1) & 1) != 0;
        p += length;
        if (stops) break;
        continue;
      }
    }
    if ((events | kept) == 0) {
      chunk.StoreTabbed(d, o);
      o += length;
    } else {
      chunk.StoreTabbed(d, tabbed);
      for (std::uint64_t k = kept; k != 0; k &= k - 1) tabbed[std::countr_zero(k)] = d;
      std::size_t from = 0;
      for (; events != 0; events &= events - 1) {
        const auto at = static_cast<std::size_t>(std::countr_zero(events));
        o = CopyVectors(tabbed + from, at - from, o);
        if ((bare_lfs >> at & 1) != 0) {
          *o++ = Unit('\r');
          from = at;
        } else {
          from = at + 1;  // a quote left out
        }
      }
      o = CopyVectors(tabbed + from, length - from, o);
    }
    start.field = true;
    start.record = (lfs >> (length - 1) & 1) != 0;
    p += length;
    if (stops) break;
  }
  out = o;
  return p;
}

// The chunk loop for each width, each compiled for the instructions it uses.
template <typename Unit>
const Unit* QuotedChunks16(const Unit* p, const Unit* end, Unit d, Unit*& out, ChunkStart& start,
                           std::uint64_t& lines) {
  return QuotedChunks<NarrowChunk<Unit>>(p, end, d, out, start, lines);
}

#ifdef DELVORA_WIDE_CHUNKS
DELVORA_TARGET("avx2,bmi,popcnt,pclmul")
const char* QuotedChunks32(const char* p, const char* end, char d, char*& out, ChunkStart& start,
                           std::uint64_t& lines) {
  return QuotedChunks<Chunk32>(p, end, d, out, start, lines);
}

DELVORA_TARGET("avx512f,avx512bw,avx512vbmi2,avx2,bmi,popcnt,pclmul")
const char* QuotedChunks64(const char* p, const char* end, char d, char*& out, ChunkStart& start,
                           std::uint64_t& lines) {
  return QuotedChunks<Chunk64>(p, end, d, out, start, lines);
}
#endif
#endif

std::atomic<unsigned> vector_limit{64};

// The widest vectors this processor reads chunks with (bytes), within the
// limit.
unsigned WidestVectors() {
#ifdef DELVORA_WIDE_CHUNKS
  const unsigned widest = scan::Simd() == scan::SimdLevel::kAvx512 ? 64u
                          : scan::Simd() == scan::SimdLevel::kAvx2 ? 32u
                                                                   : 16u;
  return std::min(widest, vector_limit.load());
#else
  return 16;
#endif
}

}  // namespace

void LimitQuotedVectors(unsigned bytes) { vector_limit.store(bytes); }

template <typename Unit>
struct QuotedRule<Unit>::Scan {
  // Neither complete nor unclosed: the field may go on past what is in view.
  bool complete = false;  // its end is in view (or the input ends)
  bool unclosed = false;  // the input ends inside its quotes
  bool quoted = false;
  bool needs_quotes = false;
  bool holds_delimiter = false;
  const Unit* close = nullptr;  // the closing quote of a quoted field
  const Unit* end = nullptr;    // at the delimiter, CR or LF after the field, or the end
  std::uint64_t line_breaks = 0;
  // Tabs in the field, for the check: the lines (counted from the field's
  // first) of the first and the last, and how many lines hold one.
  std::uint64_t tab_lines = 0;
  std::uint64_t first_tab = 0;
  std::uint64_t last_tab = 0;
  void Tab() {
    if (tab_lines != 0 && last_tab == line_breaks) return;
    if (tab_lines++ == 0) first_tab = line_breaks;
    last_tab = line_breaks;
  }
};

template <typename Unit>
QuotedRule<Unit>::QuotedRule(Units delimiter, bool delimiter_matches, Quoting quoting,
                             const std::array<bool, 256>* lead_bytes, std::size_t hold_limit,
                             QuoteCounts* counts)
    : delimiter_(std::move(delimiter)),
      active_(delimiter_matches && !delimiter_.empty() && !scan::HoldsLineEnd(delimiter_)),
      quoting_(quoting),
      lead_bytes_(lead_bytes),
      hold_limit_(std::max<std::size_t>(hold_limit, 8)),
      counts_(counts),
      fast_(lead_bytes == nullptr && active_ && delimiter_.size() == 1),
      vector_bytes_(sizeof(Unit) == 1 ? WidestVectors() : 16),
      in_place_(fast_ && counts == nullptr) {}

template <typename Unit>
bool QuotedRule<Unit>::DelimiterAt(const Unit* p) const {
  return std::memcmp(p, delimiter_.data(), delimiter_.size() * sizeof(Unit)) == 0;
}

// Whether `at` (< end) starts a character, stepping from `begin`, which does.
template <typename Unit>
bool QuotedRule<Unit>::AtCharStart(const Unit* begin, const Unit* at, const Unit* end) const {
  if (lead_bytes_ == nullptr) return true;
  const Unit* p = begin;
  while (p < at) p += CharUnits(lead_bytes_, p, end);
  return p == at;
}

template <typename Unit>
auto QuotedRule<Unit>::ScanField(const Unit* p, const Unit* end, bool at_end) const -> Scan {
  Scan s;
  const std::size_t length = delimiter_.size();
  const Unit first = active_ ? delimiter_[0] : Unit('"');  // a filler when inactive
  const Unit* q = p;
  if (*p == Unit('"')) {
    s.quoted = true;
    ++q;
    // Only the check looks for the delimiter inside quotes; a quote fills
    // its place otherwise (see scan::IsAny).
    const bool want_delimiter = counts_ != nullptr && active_;
    const Unit stops[] = {Unit('"'), Unit('\r'), Unit('\n'), Unit('\t'),
                          want_delimiter ? first : Unit('"')};
    for (;;) {
      q = scan::FindAny(q, end, stops);
      if (q == end) {
        s.unclosed = at_end;
        return s;
      }
      const Unit c = *q;
      if (c == Unit('"')) {
        if (q + 1 == end) {
          if (!at_end) return s;
          s.close = q++;
          break;
        }
        if (q[1] == Unit('"')) {
          s.needs_quotes = true;
          q += 2;
          continue;
        }
        s.close = q++;
        break;
      }
      if (IsLineEnd(c)) {
        if (q + 1 == end && !at_end) return s;
        s.needs_quotes = true;
        ++s.line_breaks;
        q += c == Unit('\r') && q + 1 != end && q[1] == Unit('\n') ? 2 : 1;
        continue;
      }
      if (c == Unit('\t')) {
        s.needs_quotes = true;
        s.Tab();
      }
      if (want_delimiter && c == first) {
        if (static_cast<std::size_t>(end - q) < length) {
          if (!at_end) return s;
        } else if (DelimiterAt(q) && AtCharStart(p + 1, q, end)) {
          s.holds_delimiter = true;
        }
      }
      ++q;
    }
  }
  // Unquoted text: the whole field, or what follows a closing quote.
  const Unit stops[] = {Unit('\r'), Unit('\n'), Unit('"'), Unit('\t'), first};
  for (;;) {
    if (lead_bytes_ == nullptr) {
      q = scan::FindAny(q, end, stops);
    } else {
      while (q != end && !scan::IsAny(*q, stops)) {
        // A lead byte last in view may take the first unit of the next block.
        if (q + 1 == end && !at_end && scan::IsLeadByte(lead_bytes_, *q)) return s;
        q += CharUnits(lead_bytes_, q, end);
      }
    }
    if (q == end) {
      if (!at_end) return s;
      break;
    }
    const Unit c = *q;
    if (IsLineEnd(c)) break;
    if (active_ && c == first) {
      if (static_cast<std::size_t>(end - q) < length) {
        if (!at_end) return s;
      } else if (DelimiterAt(q)) {
        break;
      }
    }
    if (c == Unit('"') || c == Unit('\t')) s.needs_quotes = true;
    if (c == Unit('\t')) s.Tab();
    ++q;
  }
  s.complete = true;
  s.end = q;
  return s;
}

template <typename Unit>
Unit* QuotedRule<Unit>::Escape(const Unit* begin, const Unit* end, bool unquote, Unit* o) const {
  for (const Unit* p = begin; p != end; ++p) {
    const Unit c = *p;
    Unit escaped = Unit(0);
    switch (c) {
      case Unit('\t'):
        escaped = Unit('t');
        break;
      case Unit('\n'):
        escaped = Unit('n');
        break;
      case Unit('\r'):
        escaped = Unit('r');
        break;
      case Unit('\\'):
        escaped = Unit('\\');
        break;
      case Unit('"'):
        if (unquote) ++p;  // the first of a doubled pair
        break;
      default:
        // The second byte of a two-byte character may be a backslash.
        if (CharUnits(lead_bytes_, p, end) == 2) {
          *o++ = c;
          *o++ = *++p;
          continue;
        }
    }
    if (escaped != Unit(0)) {
      *o++ = Unit('\\');
      *o++ = escaped;
    } else {
      *o++ = *p;
    }
  }
  return o;
}

template <typename Unit>
void QuotedRule<Unit>::Emit(const Unit* p, const Scan& s, const Unit* data_end, bool first,
                            Unit*& o) {
  if (quoting_ == Quoting::kEscaped) {
    if (s.quoted) {
      o = Escape(p + 1, s.close, true, o);
      o = Escape(s.close + 1, s.end, false, o);
    } else {
      o = Escape(p, s.end, false, o);
    }
  } else if (!s.quoted) {
    if (!s.needs_quotes) {
      o = Copy(p, s.end, o);
    } else {
      *o++ = Unit('"');
      o = CopyDoubling(p, s.end, o);
      *o++ = Unit('"');
    }
  } else if (s.needs_quotes) {
    // Inside the quotes the input already has the written form.
    *o++ = Unit('"');
    o = Copy(p + 1, s.close, o);
    o = CopyDoubling(s.close + 1, s.end, o);
    *o++ = Unit('"');
  } else if (first && s.close == p + 1 && s.end == s.close + 1 &&
             (s.end == data_end || IsLineEnd(*s.end))) {
    // A record of one empty quoted field stays one empty field rather
    // than becoming an empty line, which has no fields.
    *o++ = Unit('"');
    *o++ = Unit('"');
  } else {
    o = Copy(p + 1, s.close, o);
    o = Copy(s.close + 1, s.end, o);
  }
  if (counts_ != nullptr && s.tab_lines != 0) {
    TabOn(line_ + s.first_tab);
    counts_->tab_lines += s.tab_lines - 1;  // its lines after the first are new
    counts_->last_tab_line = line_ + s.last_tab;
  }
  line_ += s.line_breaks;
  if (counts_ != nullptr) counts_->quoted_line_breaks += s.line_breaks;
  FieldDone(s.quoted, s.holds_delimiter);
}

template <typename Unit>
void QuotedRule<Unit>::TabOn(std::uint64_t line) {
  if (line == counts_->last_tab_line) return;
  if (counts_->tab_lines++ == 0) counts_->first_tab_line = line;
  counts_->last_tab_line = line;
}

template <typename Unit>
void QuotedRule<Unit>::FieldDone(bool quoted, bool holds_delimiter) {
  if (counts_ != nullptr && quoted && holds_delimiter) ++counts_->quoted_delimiters;
}

template <typename Unit>
void QuotedRule<Unit>::EndRecord(Unit*& o) {
  *o++ = Unit('\r');
  *o++ = Unit('\n');
  ++line_;
  if (counts_ != nullptr) {
    const std::uint64_t fields = delimiters_ + 1;
    counts_->min_fields = counts_->records == 0 ? fields : std::min(counts_->min_fields, fields);
    counts_->max_fields = std::max(counts_->max_fields, fields);
    ++counts_->records;
    counts_->tally.Add(fields, record_line_);
    record_line_ = line_;
  }
  delimiters_ = 0;
  record_open_ = false;
  state_ = State::kFieldStart;
}

template <typename Unit>
void QuotedRule<Unit>::Unclosed(std::uint64_t line) {
  if (counts_ == nullptr) {
    throw ConversionFailure(ConversionFailure::Stage::kRead, UnclosedQuoteError(line));
  }
  counts_->unclosed_quote_line = line;
  finished_ = true;
  record_open_ = true;
  state_ = State::kFieldEnd;
}

template <typename Unit>
bool QuotedRule<Unit>::StartField(const Unit*& p, const Unit* end, bool at_end, bool first,
                                  Unit*& o) {
  if (p == end) {
    record_open_ = !first;
    return false;
  }
  return TakeField(p, ScanField(p, end, at_end), end, first, o);
}

template <typename Unit>
bool QuotedRule<Unit>::TakeField(const Unit*& p, const Scan& s, const Unit* end, bool first,
                                 Unit*& o) {
  record_open_ = !first;
  if (s.complete) {
    Emit(p, s, end, first, o);
    record_open_ = true;
    p = s.end;
    state_ = State::kFieldEnd;
    return true;
  }
  if (s.unclosed) {
    Unclosed(line_);
    return false;
  }
  if (static_cast<std::size_t>(end - p) <= hold_limit_) return false;
  // Too long to hold until its end: written as it streams.
  record_open_ = true;
  streamed_quoted_ = *p == Unit('"');
  streamed_delimiter_ = false;
  streamed_breaks_ = streamed_tab_lines_ = 0;
  quote_line_ = line_;
  if (quoting_ == Quoting::kQuoted) *o++ = Unit('"');
  if (streamed_quoted_) ++p;
  state_ = streamed_quoted_ ? State::kInQuotes : State::kTail;
  return true;
}

// Whole fields are read 64 units at a time first (QuotedChunks, kQuoted),
// plain and quoted alike. Where those stop, plain fields need nothing but
// their delimiters turned into tabs, as in the textual rule: they are
// copied a vector at a time, stopping only at quotes, line ends and units
// that need writing differently. A quoted field that needs no quotes in the
// output is handled here too; any other field goes through ScanField from
// its start.
template <typename Unit>
bool QuotedRule<Unit>::FastFields(const Unit*& p, const Unit* end, bool at_end, Unit*& o) {
  const Unit d = delimiter_[0];
  const bool escaped = quoting_ == Quoting::kEscaped;
  // A tab delimiter becomes itself, and only kEscaped writes a backslash
  // differently: a quote fills the places not wanted (see scan::IsAny).
  const Unit stops[] = {Unit('"'), d == Unit('\t') ? Unit('"') : Unit('\t'),
                        escaped ? Unit('\\') : Unit('"')};
  const Unit quoted_stops[] = {Unit('"'), Unit('\r'), Unit('\n'), Unit('\t'),
                               escaped ? Unit('\\') : Unit('"')};
  bool field_start = true;            // p starts a field
  bool record_start = !record_open_;  // p starts a record
  // Whether a field starting at `at` in the region from `region` is the
  // first of its record.
  const auto first_at = [&](const Unit* region, const Unit* at) {
    return at == region ? record_start : at[-1] == Unit('\n');
  };
  for (;;) {
#ifdef DELVORA_HAVE_SSE2
    if (chunk_wait_ != 0) {
      --chunk_wait_;
    } else if (!escaped && static_cast<std::size_t>(end - p) >= kChunkUnits) {
      ChunkStart start{field_start, record_start};
      std::uint64_t breaks = 0;
      const Unit* next = nullptr;
      if constexpr (sizeof(Unit) == 1) {
#ifdef DELVORA_WIDE_CHUNKS
        next = vector_bytes_ == 64   ? QuotedChunks64(p, end, d, o, start, breaks)
               : vector_bytes_ == 32 ? QuotedChunks32(p, end, d, o, start, breaks)
                                     : QuotedChunks16(p, end, d, o, start, breaks);
#else
        (void)vector_bytes_;
        next = QuotedChunks16(p, end, d, o, start, breaks);
#endif
      } else {
        next = QuotedChunks16(p, end, d, o, start, breaks);
      }
      // Stopped short of the end: the fields here are written field by
      // field, and where that comes again and again chunks are tried ever
      // less often (down to one field in 256).
      if (static_cast<std::size_t>(end - next) >= kChunkUnits) {
        chunk_pause_ = next - p < 4 * static_cast<std::ptrdiff_t>(kChunkUnits)
                           ? std::min(2 * chunk_pause_, 256u)
                           : 1;
        chunk_wait_ = chunk_pause_ - 1;
      }
      if (next != p) {
        line_ += breaks;
        field_start = start.field;
        record_start = start.record;
        record_open_ = !start.record;
        p = next;
      }
    }
#else
    (void)chunk_wait_, (void)chunk_pause_, (void)vector_bytes_;
#endif
    const Unit* const region = p;
    Unit* const region_out = o;
    std::uint64_t lines = 0;
    const Unit* stop = CopyPlain(p, end, o, d, stops, lines);
    line_ += lines;
    if (stop != region) record_open_ = true;
    if (stop == end) {
      p = end;
      if (at_end) {
        record_open_ = stop != region ? end[-1] != Unit('\n') : record_open_;
        return false;
      }
      // The last field may go on in the next block: hand it back.
      const Unit* last = end;
      while (last != region && last[-1] != d && last[-1] != Unit('\n')) --last;
      o = region_out + (last - region);
      p = last;
      return StartField(p, end, at_end, first_at(region, last), o);
    }
    const Unit c = *stop;
    if (c == Unit('\r') || c == Unit('\n')) {
      const Unit* after = stop + 1;
      if (c == Unit('\r')) {
        if (after == end && !at_end) {
          p = stop;  // an LF may follow
          record_open_ = true;
          state_ = State::kFieldEnd;
          return false;
        }
        if (after != end && *after == Unit('\n')) ++after;
      }
      *o++ = Unit('\r');
      *o++ = Unit('\n');
      ++line_;
      record_open_ = false;
      p = after;
      field_start = true;
      record_start = true;
      continue;
    }
    const bool starts = stop == region ? field_start : stop[-1] == d || stop[-1] == Unit('\n');
    if (c == Unit('"') && starts) {
      // A quoted field ending right at a delimiter or line end is its
      // content alone when nothing in it needs quotes, and otherwise (with
      // kQuoted) the field as it stands: its doubled quotes and line
      // breaks already have their written form.
      QuotedContent content;
      const Unit* q = escaped ? stop + 1 : SkipQuotedContent(stop + 1, end, d, content);
      bool needs_quotes = content.NeedsQuotes();
      std::uint64_t breaks = content.breaks;
      // The vector scan stops at the closing quote unless near the end.
#ifdef DELVORA_HAVE_SSE2
      const bool closed =
          !escaped && static_cast<std::size_t>(end - q) > scan::Vector<Unit>::kUnits;
#else
      const bool closed = false;
#endif
      // The loop ends at its breaks; closed only says whether it runs.
      while (!closed) {  // NOLINT(bugprone-infinite-loop)
        q = scan::FindAny(q, end, quoted_stops);
        if (q == end || q + 1 == end) break;  // what follows is not in view
        const Unit u = *q;
        if (u == Unit('"') && q[1] != Unit('"')) break;  // the closing quote
        if (escaped) break;                              // written otherwise
        needs_quotes = true;
        if (u == Unit('"')) {
          q += 2;
        } else if (u == Unit('\r') || u == Unit('\n')) {
          ++breaks;
          q += u == Unit('\r') && q[1] == Unit('\n') ? 2 : 1;
        } else {
          ++q;  // a tab
        }
      }
      if (q != end && *q == Unit('"') && q + 1 != end && q != stop + 1) {
        const Unit next = q[1];
        if (next == d || next == Unit('\r') || next == Unit('\n')) {
          o = needs_quotes ? Copy(stop, q + 1, o) : CopyShort(stop + 1, q, end, o);
          line_ += breaks;
          p = q + 1;
          field_start = false;
          record_start = false;
          record_open_ = true;
          continue;
        }
      }
      p = stop;
    } else {
      // A field that must be written differently: from its start.
      const Unit* start = stop;
      while (start != region && start[-1] != d && start[-1] != Unit('\n')) --start;
      o -= stop - start;
      p = start;
    }
    return TakeField(p, ScanField(p, end, at_end), end, first_at(region, p), o);
  }
}

// Whole vectors at a time from p, a field's start: the records and
// delimiters before a vector's first quote are counted from its masks, a
// stop at a time only where it ends a record. Stops at the quote, before a
// CR that ends a vector (its LF may lie beyond) and less than a vector
// before end; returns the start of the field it stopped in.
template <typename Unit>
const Unit* QuotedRule<Unit>::CountVectors(const Unit* p, const Unit* end, Unit*& o) {
#ifdef DELVORA_HAVE_SSE2
  using V = scan::Vector<Unit>;
  constexpr unsigned kStep = sizeof(Unit);  // mask bits a unit
  constexpr unsigned kLast = 1u << (16 - kStep);
  const Unit d = delimiter_[0];
  for (const Unit* v = p; end - v >= static_cast<std::ptrdiff_t>(V::kUnits); v += V::kUnits) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v));
    const unsigned quotes = scan::MaskOf(x, Unit('"'));
    unsigned crs = scan::MaskOf(x, Unit('\r'));
    unsigned seen = quotes != 0 ? (1u << std::countr_zero(quotes)) - 1 : 0xFFFFu;
    if ((crs & kLast) != 0) seen &= kLast - 1;
    crs &= seen;
    const unsigned lfs = scan::MaskOf(x, Unit('\n')) & seen;
    const unsigned delimiters = scan::MaskOf(x, d) & seen;
    unsigned from = 0;  // the first bit not yet counted
    for (unsigned ends = crs | lfs; ends != 0; ends &= ~((1u << from) - 1)) {
      const unsigned k = static_cast<unsigned>(std::countr_zero(ends));
      delimiters_ += FewBits(delimiters & ((1u << k) - 1) & ~((1u << from) - 1)) / kStep;
      const bool pair = (crs >> k & 1u) != 0 && (lfs >> (k + kStep) & 1u) != 0;
      from = k + kStep * (pair ? 2 : 1);
      p = v + from / kStep;
      EndRecord(o);
    }
    const unsigned rest = delimiters & ~((1u << from) - 1);
    if (rest != 0) {
      delimiters_ += FewBits(rest) / kStep;
      record_open_ = true;
      p = v + (31 - static_cast<unsigned>(std::countl_zero(rest))) / kStep + 1;
    }
    if (seen != 0xFFFFu) break;
  }
#else
  (void)end, (void)o;
#endif
  return p;
}

// The check's counterpart of FastFields: nothing needs writing, but every
// delimiter and record is counted, so it stops at each of them.
template <typename Unit>
bool QuotedRule<Unit>::FastCount(const Unit*& p, const Unit* end, bool at_end, Unit*& o) {
  const Unit d = delimiter_[0];
  const Unit stops[] = {Unit('"'), Unit('\r'), Unit('\n'), d};
  const Unit delimiter[] = {d};
  // Tabs inside quotes are data: the scan stops at each to count its line.
  const Unit quoted_stops[] = {Unit('"'), Unit('\r'), Unit('\n'), Unit('\t')};
  for (;;) {
    // p starts a field, or follows the closing quote of one.
    const bool first = !record_open_;
    p = CountVectors(p, end, o);
    const Unit* stop = scan::FindAny(p, end, stops);
    if (stop == end) {
      if (!at_end) return StartField(p, end, at_end, !record_open_, o);
      if (stop != p) record_open_ = true;
      p = end;
      return false;
    }
    const Unit c = *stop;
    if (c == d) {
      ++delimiters_;
      record_open_ = true;
      p = stop + 1;
      continue;
    }
    if (c == Unit('\r') || c == Unit('\n')) {
      if (c == Unit('\r') && stop + 1 == end && !at_end) {
        if (stop != p) record_open_ = true;
        p = stop;  // an LF may follow
        state_ = State::kFieldEnd;
        return false;
      }
      p = stop + (c == Unit('\r') && stop + 1 != end && stop[1] == Unit('\n') ? 2 : 1);
      EndRecord(o);
      continue;
    }
    if (stop == p) {
      // A quoted field ending right at a delimiter or line end, with no tab
      // inside, found a vector at a time.
      QuotedContent content;
      const Unit* close = SkipQuotedContent(stop + 1, end, d, content);
      if (!content.tab && static_cast<std::size_t>(end - close) > 1 && *close == Unit('"') &&
          (close[1] == d || close[1] == Unit('\r') || close[1] == Unit('\n'))) {
        line_ += content.breaks;
        counts_->quoted_line_breaks += content.breaks;
        if (content.delimiter) ++counts_->quoted_delimiters;
        record_open_ = true;
        p = close + 1;
        continue;
      }
      // The same with no doubled quote or line break, tabs counted.
      const Unit* q = scan::FindAny(stop + 1, end, quoted_stops);
      bool tab = false;
      while (q != end && *q == Unit('\t')) {
        tab = true;
        q = scan::FindAny(q + 1, end, quoted_stops);
      }
      if (q != end && *q == Unit('"') && q + 1 != end &&
          (q[1] == d || q[1] == Unit('\r') || q[1] == Unit('\n'))) {
        // No line break lies before q: every tab is on this line. Only a
        // quote that closes counts them (the general path counts the rest
        // once their field is whole, and nothing of one that never closes).
        if (tab) TabOn(line_);
        if (scan::FindAny(stop + 1, q, delimiter) != q) ++counts_->quoted_delimiters;
        record_open_ = true;
        p = q + 1;
        continue;
      }
    }
    // Anything else goes through the general path from the field's start.
    return TakeField(p, ScanField(p, end, at_end), end, first, o);
  }
}

template <typename Unit>
bool QuotedRule<Unit>::EndField(const Unit*& p, const Unit* end, bool at_end, Unit*& o) {
  if (p == end) return false;
  const Unit c = *p;
  if (IsLineEnd(c)) {
    if (c == Unit('\r') && p + 1 == end) {
      if (!at_end) return false;  // an LF may follow
      ++p;
    } else {
      p += c == Unit('\r') && p[1] == Unit('\n') ? 2 : 1;
    }
    EndRecord(o);
    return true;
  }
  // The scan stopped at a whole delimiter.
  *o++ = Unit('\t');
  p += delimiter_.size();
  ++delimiters_;
  state_ = State::kFieldStart;
  return true;
}

template <typename Unit>
bool QuotedRule<Unit>::Stream(const Unit*& p, const Unit* end, bool at_end, Unit*& o) {
  const std::size_t length = delimiter_.size();
  // Enough units stay behind that whoever reads the same units with another
  // rule can still see a whole delimiter or a CR LF.
  const std::size_t hold = std::max<std::size_t>(length, 1) + 1;
  const bool escaped = quoting_ == Quoting::kEscaped;
  const auto delimiter_here = [&] {
    return active_ && *p == delimiter_[0] && static_cast<std::size_t>(end - p) >= length &&
           DelimiterAt(p);
  };
  while (p != end) {
    if (!at_end && static_cast<std::size_t>(end - p) <= hold) return false;
    const Unit c = *p;
    if (state_ == State::kInQuotes) {
      if (c == Unit('"')) {
        if (p + 1 != end && p[1] == Unit('"')) {
          if (!escaped) *o++ = Unit('"');
          *o++ = Unit('"');
          p += 2;
        } else {
          ++p;
          state_ = State::kTail;
          if (counts_ != nullptr) {
            counts_->quoted_line_breaks += streamed_breaks_;
            if (streamed_tab_lines_ != 0) {
              TabOn(streamed_first_tab_);
              counts_->tab_lines += streamed_tab_lines_ - 1;  // on later lines
              counts_->last_tab_line = streamed_last_tab_;
            }
          }
        }
        continue;
      }
      if (IsLineEnd(c)) {
        const std::size_t n = c == Unit('\r') && p + 1 != end && p[1] == Unit('\n') ? 2 : 1;
        o = escaped ? Escape(p, p + n, false, o) : Copy(p, p + n, o);
        p += n;
        ++line_;
        ++streamed_breaks_;
        continue;
      }
      if (counts_ != nullptr && delimiter_here()) streamed_delimiter_ = true;
    } else {
      if (IsLineEnd(c) || delimiter_here()) {
        if (!escaped) *o++ = Unit('"');
        FieldDone(streamed_quoted_, streamed_delimiter_);
        state_ = State::kFieldEnd;
        return true;
      }
      if (!escaped && c == Unit('"')) {
        *o++ = Unit('"');
        *o++ = Unit('"');
        ++p;
        continue;
      }
    }
    if (counts_ != nullptr && c == Unit('\t')) {
      if (state_ == State::kTail) {
        TabOn(line_);
      } else if (streamed_tab_lines_ == 0 || streamed_last_tab_ != line_) {
        if (streamed_tab_lines_++ == 0) streamed_first_tab_ = line_;
        streamed_last_tab_ = line_;
      }
    }
    const std::size_t n = CharUnits(lead_bytes_, p, end);
    o = escaped ? Escape(p, p + n, false, o) : Copy(p, p + n, o);
    p += n;
  }
  if (at_end && state_ == State::kInQuotes) Unclosed(quote_line_);
  return false;
}

template <typename Unit>
auto QuotedRule<Unit>::Feed(const Unit* data, std::size_t size, bool at_end, Unit* out) -> Step {
  const Unit* p = data;
  const Unit* const end = data + size;
  Unit* o = out;
  // Each step says whether to go on (see the steps in quoted_rule.h); an
  // unclosed quote the check met ends the reading.
  bool more = !finished_;
  while (more) {
    switch (state_) {
      case State::kFieldStart:
        more = !fast_               ? StartField(p, end, at_end, !record_open_, o)
               : counts_ == nullptr ? FastFields(p, end, at_end, o)
                                    : FastCount(p, end, at_end, o);
        break;
      case State::kFieldEnd:
        more = EndField(p, end, at_end, o);
        break;
      default:
        more = Stream(p, end, at_end, o);
        break;
    }
    more = more && !finished_;
  }
  if (finished_) p = end;
  return {static_cast<std::size_t>(p - data), static_cast<std::size_t>(o - out)};
}

template <typename Unit>
bool QuotedRule<Unit>::FeedInPlace(Unit* data, std::size_t size, Step& step) {
  if (!in_place_ || state_ != State::kFieldStart || finished_) return false;
  const Unit d = delimiter_[0];
  const Unit tab = d == Unit('\t') ? Unit('"') : Unit('\t');  // data, not the delimiter
  const Unit other = quoting_ == Quoting::kEscaped ? Unit('\\') : Unit('"');
  // An LF first of all is taken for one that is not after a CR: the unit
  // before it is not in view.
  if (size == 0 || data[0] == Unit('\n')) {
    in_place_ = size == 0;
    return false;
  }
  std::size_t i = 0;
  std::uint64_t lines = 0;
  bool line_ends = false;  // stopped at a line end other than CR LF
#ifdef DELVORA_HAVE_SSE2
  using V = scan::Vector<Unit>;
  const __m128i lf = V::Splat(Unit('\n'));
  const __m128i cr = V::Splat(Unit('\r'));
  const __m128i delimiter = V::Splat(d);
  const __m128i flip = V::Splat(static_cast<Unit>(d ^ Unit('\t')));
  const __m128i needles[] = {V::Splat(Unit('"')), V::Splat(tab), V::Splat(other)};
  // Line ends counted in byte lanes (each LF subtracts its all-ones lanes),
  // summed before a lane can overflow.
  const __m128i zero = _mm_setzero_si128();
  __m128i lf_lanes = zero;
  unsigned counted = 0;
  const auto sum_lanes = [&] {
    const __m128i sums = _mm_sad_epu8(lf_lanes, zero);
    lines += static_cast<std::uint64_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<std::uint64_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
    lf_lanes = zero;
    counted = 0;
  };
  // The unit after each vector is read: one more than a vector must be left.
  for (; size - i > V::kUnits; i += V::kUnits) {
    auto* at = reinterpret_cast<__m128i*>(data + i);
    const __m128i x = _mm_loadu_si128(at);
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 1));
    const __m128i lfs = V::Equal(x, lf);
    // A CR not before an LF, an LF not after a CR.
    const __m128i odd = _mm_xor_si128(V::Equal(x, cr), V::Equal(next, lf));
    if (_mm_movemask_epi8(_mm_or_si128(scan::Matches<Unit>(x, needles), odd)) != 0) {
      line_ends = _mm_movemask_epi8(odd) != 0;
      break;
    }
    lf_lanes = _mm_sub_epi8(lf_lanes, lfs);
    if (++counted == 255) sum_lanes();
    _mm_storeu_si128(at, _mm_xor_si128(x, _mm_and_si128(V::Equal(x, delimiter), flip)));
  }
  sum_lanes();
  lines /= sizeof(Unit);  // a two-byte LF fills two lanes
#endif
  // Back to the last field boundary: the field there may hold what stopped
  // the loop, or go on in the next block. Its delimiters, turned into tabs
  // above, are put back.
  std::size_t boundary = i;
  while (boundary != 0 && data[boundary - 1] != Unit('\t') && data[boundary - 1] != Unit('\n'))
    --boundary;
  // Only worth it for most of a block: what is left is carried.
  if (boundary < size / 2) boundary = 0;
  for (std::size_t k = boundary; k < i; ++k) {
    if (data[k] == Unit('\t')) data[k] = d;
  }
  if (line_ends) in_place_ = false;
  if (boundary == 0) return false;
  record_open_ = data[boundary - 1] != Unit('\n');  // after a delimiter
  line_ += lines;
  step = {boundary, boundary};
  return true;
}

template <typename Unit>
std::size_t QuotedRule<Unit>::Finish(Unit* out) {
  Unit* o = out;
  if (state_ == State::kTail) {
    if (quoting_ == Quoting::kQuoted) *o++ = Unit('"');
    FieldDone(streamed_quoted_, streamed_delimiter_);
    state_ = State::kFieldEnd;
  }
  if (record_open_) EndRecord(o);
  return static_cast<std::size_t>(o - out);
}

template class QuotedRule<char>;
template class QuotedRule<char16_t>;

}  // namespace delvora
