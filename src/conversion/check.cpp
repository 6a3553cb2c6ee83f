#include "conversion/check.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

#include "conversion/block_loop.h"
#include "conversion/field_tally.h"
#include "conversion/quoted_rule.h"
#include "conversion/side_thread.h"
#include "conversion/unit_scan.h"

namespace delvora {

namespace {

constexpr std::size_t kDifferingShown = 5;

// A second thread for the check's two counts, started with the first
// large block and kept for the rest of the file.
class Helper {
 public:
  // Runs beside on the second thread and here on this one; returns when
  // both are done (beside must not throw). Without a thread to be had,
  // both run here.
  template <typename Beside, typename Here>
  void Run(Beside&& beside, Here&& here) {
    Settle();
    if (!side_.Start()) {
      beside();
      here();
      return;
    }
    side_.Post(beside);
    struct Wait {
      SideThread& side;
      ~Wait() { side.Wait(); }
    } wait{side_};
    here();
  }

  // Starts job on the second thread and returns at once (job must not
  // throw); Settle waits for it. Without a thread to be had, job runs here.
  template <typename Job>
  void Post(Job&& job) {
    Settle();
    if (!side_.Start()) {
      job();
      return;
    }
    side_.Post(std::forward<Job>(job));
    posted_ = true;
  }
  void Settle() {
    if (posted_) side_.Wait();
    posted_ = false;
  }

 private:
  SideThread side_;
  bool posted_ = false;
};

FieldCounts FieldCountsOf(const FieldTally& tally) {
  return {tally.Common(), tally.Differing(), tally.FirstDiffering()};
}

// What the bytes of a file without a mark are. UTF-16 without a mark shows
// as a zero byte in every other position of the text's start; the rest is
// decided over the whole file, a vector at a time: each byte's class (ASCII,
// continuation, lead of two, three or four), the continuations the leads
// before it call for, and the few second bytes a lead rules out, from
// compares and shifts of whole vectors. A vector of ASCII costs one test.
class ByteClassifier {
 public:
  // The bytes from offset `at` of the file on, those not yet added.
  void Add(const unsigned char* p, const unsigned char* end, std::uint64_t at) {
    if (at < offset_)
      p += std::min<std::uint64_t>(offset_ - at, static_cast<std::uint64_t>(end - p));
    if (p == end) return;
    const std::uint64_t sampled = offset_;
    offset_ += static_cast<std::uint64_t>(end - p);
    for (std::uint64_t o = sampled; o < std::min(offset_, kSample); ++o) {
      const unsigned char b = p[o - sampled];
      if (b == 0) ++zeros_[o % 2];
      last_ = b;
    }
    Validate(p, end);
  }

  // Whether [p, end), from offset `at` on, holds a double quote, adding
  // the bytes on the way: all of them when it holds none, else some (what
  // is added is never added again).
  bool AddUnlessQuote(const unsigned char* p, const unsigned char* end, std::uint64_t at) {
#ifdef DELVORA_HAVE_SSE2
    if (staged_ != 0 && at == offset_) {
      // The vector begun by the last call first.
      const auto n = std::min<std::size_t>(16 - staged_, static_cast<std::size_t>(end - p));
      if (std::memchr(p, '"', n) != nullptr) return true;
      Add(p, p + n, at);
      p += n;
      at += n;
    }
    if (staged_ == 0 && at == offset_ && offset_ >= kSample) {
      // A span at a time: the quote test and the ASCII test of all of it,
      // then the classes of each vector only where it is not ASCII.
      constexpr std::size_t kSpan = 1024;
      const __m128i quote = _mm_set1_epi8('"');
      const unsigned char* q = p;
      while (static_cast<std::size_t>(end - q) >= kSpan) {
        __m128i marks = _mm_setzero_si128();
        __m128i any = _mm_setzero_si128();
        for (std::size_t i = 0; i < kSpan; i += 16) {
          const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + i));
          marks = _mm_or_si128(marks, _mm_cmpeq_epi8(x, quote));
          any = _mm_or_si128(any, x);
        }
        if (_mm_movemask_epi8(marks) != 0) break;
        if (_mm_movemask_epi8(any) == 0) {
          AsciiAfter(lanes_);
        } else {
          Validate(q, q + kSpan);
        }
        q += kSpan;
      }
      offset_ += static_cast<std::uint64_t>(q - p);
      at = offset_;
      p = q;
    }
#endif
    static constexpr char kQuote[] = {'"'};
    const auto* text = reinterpret_cast<const char*>(p);
    if (scan::FindAny(text, text + (end - p), kQuote) != text + (end - p)) return true;
    Add(p, end, at);
    return false;
  }

  // After the last Add.
  NarrowText Result() {
    const std::uint64_t sampled = std::min(offset_, kSample);
    const std::uint64_t pairs = sampled / 2;
    // Whole pairs only: an odd last byte of a short file is no half of one.
    std::uint64_t zeros[2] = {zeros_[0], zeros_[1]};
    if (sampled % 2 != 0 && last_ == 0) --zeros[0];
    if (pairs >= 2) {
      if (zeros[1] * 2 >= pairs && zeros[0] * 8 <= zeros[1]) return NarrowText::kUtf16LeNoMark;
      if (zeros[0] * 2 >= pairs && zeros[1] * 8 <= zeros[0]) return NarrowText::kUtf16BeNoMark;
    }
#ifdef DELVORA_HAVE_SSE2
    // What is staged, then nothing (as ASCII), which no continuation is.
    std::memset(stage_ + staged_, 0, 16 - staged_);
    Vectors(stage_, stage_ + 16);
    staged_ = 0;
    AsciiAfter(lanes_);
    const bool valid =
        _mm_movemask_epi8(_mm_cmpeq_epi8(lanes_.errors, _mm_setzero_si128())) == 0xFFFF;
#else
    const bool valid = valid_ && need_ == 0;
#endif
    if (!high_) return NarrowText::kAscii;
    return valid ? NarrowText::kUtf8 : NarrowText::kEightBit;
  }

 private:
  static constexpr std::uint64_t kSample = 4096;

  void Validate(const unsigned char* p, const unsigned char* end) {
#ifdef DELVORA_HAVE_SSE2
    if (staged_ != 0) {
      const auto n = std::min<std::size_t>(16 - staged_, static_cast<std::size_t>(end - p));
      std::memcpy(stage_ + staged_, p, n);
      staged_ += n;
      p += n;
      if (staged_ < 16) return;
      Vectors(stage_, stage_ + 16);
      staged_ = 0;
    }
    const unsigned char* const whole = p + (end - p) / 16 * 16;
    Vectors(p, whole);
    staged_ = static_cast<std::size_t>(end - whole);
    if (staged_ != 0) std::memcpy(stage_, whole, staged_);
#else
    for (; p != end; ++p) Byte(*p);
#endif
  }

#ifdef DELVORA_HAVE_SSE2
  // Whole vectors from p to end (Vector's one caller, so that it is inlined).
  void Vectors(const unsigned char* p, const unsigned char* end) {
    // In locals: the bytes read could be any object, members too.
    Lanes lanes = lanes_;
    bool high = high_;
    bool after_high = true;  // the vector before may want continuations
    for (; p != end; p += 16) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      if (_mm_movemask_epi8(x) != 0) {
        Vector(lanes, x, high);
        after_high = true;
      } else if (after_high) {
        AsciiAfter(lanes);
        after_high = false;
      }
    }
    lanes_ = lanes;
    high_ = high;
  }

  // The bytes of a vector, each after the last `shift` of the one before.
  template <int kShift>
  static __m128i After(__m128i now, __m128i before) {
    return _mm_or_si128(_mm_slli_si128(now, kShift), _mm_srli_si128(before, 16 - kShift));
  }

  struct Lanes {
    __m128i errors = _mm_setzero_si128();  // a lane not zero: a byte found wrong
    __m128i before = _mm_setzero_si128();  // the vector before
  };

  // Not zero where a continuation byte (80-BF) must be: after a lead of two
  // bytes or more (C0-FF), two after one of three or more (E0-FF), three
  // after one of four (F0-FF).
  static __m128i Wanted(__m128i x, __m128i before, __m128i after1) {
    return _mm_or_si128(
        _mm_or_si128(_mm_subs_epu8(after1, _mm_set1_epi8(static_cast<char>(0xBF))),
                     _mm_subs_epu8(After<2>(x, before), _mm_set1_epi8(static_cast<char>(0xDF)))),
        _mm_subs_epu8(After<3>(x, before), _mm_set1_epi8(static_cast<char>(0xEF))));
  }

  // The continuations an ASCII vector after `before` lacks.
  static void AsciiAfter(Lanes& v) {
    const __m128i zero = _mm_setzero_si128();
    v.errors = _mm_or_si128(v.errors, Wanted(zero, v.before, After<1>(zero, v.before)));
    v.before = zero;
  }

  // A vector holding a byte above 127.
  static void Vector(Lanes& v, __m128i x, bool& any_high) {
    any_high = true;
    const __m128i zero = _mm_setzero_si128();
    const __m128i after1 = After<1>(x, v.before);
    // 80-BF are -128..-65 as signed bytes.
    const __m128i continuation = _mm_cmplt_epi8(x, _mm_set1_epi8(-64));
    // A continuation where none is due, or none where one is.
    __m128i bad = _mm_cmpeq_epi8(_mm_cmpeq_epi8(Wanted(x, v.before, after1), zero), continuation);
    // C0 and C1 (overlong), F5-FF (beyond U+10FFFF).
    bad = _mm_or_si128(bad, _mm_cmpeq_epi8(_mm_and_si128(x, _mm_set1_epi8(-2)),
                                           _mm_set1_epi8(static_cast<char>(0xC0))));
    bad = _mm_or_si128(bad, _mm_subs_epu8(x, _mm_set1_epi8(static_cast<char>(0xF4))));
    // Second bytes: E0 needs A0-BF, ED 80-9F, F0 90-BF, F4 80-8F; those
    // leads are rare, and tested for once.
    const auto is = [&](unsigned char lead) {
      return _mm_cmpeq_epi8(after1, _mm_set1_epi8(static_cast<char>(lead)));
    };
    const __m128i e0 = is(0xE0), ed = is(0xED), f0 = is(0xF0), f4 = is(0xF4);
    if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(e0, ed), _mm_or_si128(f0, f4))) != 0) {
      bad = _mm_or_si128(bad, _mm_and_si128(e0, _mm_cmplt_epi8(x, _mm_set1_epi8(-96))));
      bad = _mm_or_si128(bad, _mm_and_si128(ed, _mm_cmpgt_epi8(x, _mm_set1_epi8(-97))));
      bad = _mm_or_si128(bad, _mm_and_si128(f0, _mm_cmplt_epi8(x, _mm_set1_epi8(-112))));
      bad = _mm_or_si128(bad, _mm_and_si128(f4, _mm_cmpgt_epi8(x, _mm_set1_epi8(-113))));
    }
    v.errors = _mm_or_si128(v.errors, bad);
    v.before = x;
  }

  Lanes lanes_;
  unsigned char stage_[16] = {};  // the bytes of a vector not yet whole
  std::size_t staged_ = 0;
#else
  void Byte(unsigned char b) {
    if (b < 0x80) {
      if (need_ != 0) valid_ = false, need_ = 0;
      return;
    }
    high_ = true;
    if (need_ != 0) {
      if (b < low_ || b > high_limit_)
        valid_ = false, need_ = 0;
      else
        --need_, low_ = 0x80, high_limit_ = 0xBF;
      return;
    }
    low_ = 0x80, high_limit_ = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
      need_ = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need_ = 2;
      if (b == 0xE0) low_ = 0xA0;
      if (b == 0xED) high_limit_ = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      need_ = 3;
      if (b == 0xF0) low_ = 0x90;
      if (b == 0xF4) high_limit_ = 0x8F;
    } else {
      valid_ = false;
    }
  }

  bool valid_ = true;
  int need_ = 0;  // continuation bytes still due
  unsigned char low_ = 0x80, high_limit_ = 0xBF;
#endif

  std::uint64_t offset_ = 0;
  std::uint64_t zeros_[2] = {};  // zero bytes at even and odd offsets of the sample
  unsigned char last_ = 0;       // the sample's last byte
  bool high_ = false;
};

#ifdef DELVORA_HAVE_SSE2
// 32 bytes of units, asked for the units equal to one value as a mask of a
// bit a byte (two a unit of two bytes): two 16-byte vectors.
template <typename Unit>
struct NarrowPair {
  __m128i x0, x1;

  explicit NarrowPair(const Unit* p)
      : x0(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
        x1(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + scan::Vector<Unit>::kUnits))) {}

  std::uint64_t Mask(Unit c) const {
    return scan::MaskOf(x0, c) | std::uint64_t{scan::MaskOf(x1, c)} << 16;
  }
};
#endif

#ifdef DELVORA_WIDE_CHUNKS
// The same in one 32-byte vector, where the processor has them.
template <typename Unit>
struct WidePair {
  __m256i x;

  DELVORA_AVX2 explicit WidePair(const Unit* p)
      : x(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))) {}

  DELVORA_AVX2 std::uint64_t Mask(Unit c) const {
    const __m256i equal = sizeof(Unit) == 1
                              ? _mm256_cmpeq_epi8(x, _mm256_set1_epi8(static_cast<char>(c)))
                              : _mm256_cmpeq_epi16(x, _mm256_set1_epi16(static_cast<short>(c)));
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(equal));
  }
};
#endif

// The textual rule's lines and fields, over the units the quote-aware rule
// has consumed, looking ahead into the rest for a delimiter or a CR LF
// that straddles that point.
template <typename Unit>
class TextualCounter {
 public:
  TextualCounter(std::basic_string<Unit> delimiter, bool matches,
                 const std::array<bool, 256>* lead_bytes, CheckReport& report)
      : delimiter_(std::move(delimiter)),
        active_(matches && !delimiter_.empty() && !scan::HoldsLineEnd(delimiter_)),
        lead_bytes_(lead_bytes),
        report_(report) {}

  // Counts the units from p up to limit (and past it, for a delimiter or a
  // CR LF that starts before it), looking no further than end; returns
  // where it stopped.
  const Unit* Run(const Unit* p, const Unit* limit, const Unit* end) {
    const std::size_t length = delimiter_.size();
    const Unit first = active_ ? delimiter_[0] : Unit('\n');
    // A tab is data unless it starts the delimiter (when it does, the branch
    // below tells the two apart).
    const Unit stops[] = {Unit('\r'), Unit('\n'), first, Unit('\t')};
    while (p < limit) {
      if (lead_bytes_ == nullptr) {
        if (active_ && length == 1) {
          p = RunVectors(p, limit, end, first);
          if (p >= limit) break;  // past it by the LF of a CR LF
        }
        const Unit* hit = scan::FindAny(p, limit, stops);
        if (hit != p) line_open_ = true;
        p = hit;
        if (p == limit) break;
      }
      const Unit c = *p;
      if (c == Unit('\n')) {
        EndLine(report_.lf_ends);
        ++p;
      } else if (c == Unit('\r')) {
        const bool pair = p + 1 < end && p[1] == Unit('\n');
        EndLine(pair ? report_.crlf_ends : report_.cr_ends);
        p += pair ? 2 : 1;
      } else if (active_ && c == first &&
                 (length == 1 || (static_cast<std::size_t>(end - p) >= length &&
                                  std::equal(delimiter_.begin(), delimiter_.end(), p)))) {
        ++delimiters_;
        line_open_ = true;
        p += length;
      } else if (c == Unit('\t')) {
        tab_ = true;
        line_open_ = true;
        ++p;
      } else {
        line_open_ = true;
        // The textual rule knows no quotes: only a line end breaks a pair.
        static constexpr Unit kLineEnds[] = {Unit('\r'), Unit('\n')};
        p += scan::CharUnits(lead_bytes_, p, end, kLineEnds);
      }
    }
    return p;
  }

  // Whole vectors from p for a one-unit delimiter: the lines a vector ends,
  // its delimiters and tabs are counted from its masks. A CR that ends a
  // vector looks at the unit after it when there is one: limit lies Reach()
  // before end while the quote-aware rule runs beside, but at the end of the
  // input the count runs up to the last unit, and the unit after it is no
  // data of this file (the buffer's stale bytes from an earlier one).
  const Unit* RunVectors(const Unit* p, const Unit* limit, const Unit* end, Unit first) {
#ifdef DELVORA_HAVE_SSE2
    using V = scan::Vector<Unit>;
    constexpr unsigned kStep = sizeof(Unit);  // mask bits a unit
    const bool tab_is_data = first != Unit('\t');
    // The state the loop changes, in locals: the compiler keeps members in
    // memory, and the runs are most of the lines.
    std::uint64_t delimiters_now = delimiters_;
    std::uint64_t run = run_lines_;
    std::uint64_t run_ends[3] = {run_ends_[0], run_ends_[1], run_ends_[2]};
    bool open = line_open_;
    const auto store = [&] {
      delimiters_ = delimiters_now;
      run_lines_ = run;
      std::copy(run_ends, run_ends + 3, run_ends_);
      line_open_ = open;
    };
    while (limit - p >= static_cast<std::ptrdiff_t>(V::kUnits)) {
      p = RunOfLike(p, limit, delimiters_now, run, run_ends, open);
      if (limit - p < static_cast<std::ptrdiff_t>(V::kUnits)) break;
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const unsigned crs = scan::MaskOf(x, Unit('\r'));
      const unsigned lfs = scan::MaskOf(x, Unit('\n'));
      const unsigned delimiters = scan::MaskOf(x, first);
      const unsigned tabs = tab_is_data ? scan::MaskOf(x, Unit('\t')) : 0;
      unsigned from = 0;  // the first bit not yet counted
      for (unsigned ends = crs | lfs; ends != 0; ends &= ~((1u << from) - 1)) {
        const unsigned k = static_cast<unsigned>(std::countr_zero(ends));
        const unsigned before = ((1u << k) - 1) & ~((1u << from) - 1);
        const std::uint64_t count = delimiters_now + scan::Bits(delimiters & before) / kStep;
        const bool cr = (crs >> k & 1u) != 0;
        // The bound is tested only for a CR in the last lane: the loop's
        // cost is unchanged.
        const bool pair =
            cr && (k + kStep < 16 ? (lfs >> (k + kStep) & 1u) != 0
                                  : p + V::kUnits < end && p[V::kUnits] == Unit('\n'));
        from = k + kStep * (pair ? 2 : 1);
        if (count == last_delimiters_ && !tab_ && (tabs & before) == 0) {
          // Like the line before: counted in the run.
          ++run;
          ++run_ends[pair ? 0 : cr ? 2 : 1];
          delimiters_now = 0;
          open = false;
          continue;
        }
        store();
        ApplyRun();
        delimiters_ = count;
        if ((tabs & before) != 0) tab_ = true;
        if (before != 0) line_open_ = true;
        EndLine(pair ? report_.crlf_ends : cr ? report_.cr_ends : report_.lf_ends);
        delimiters_now = delimiters_;
        run = run_lines_;
        std::copy(run_ends_, run_ends_ + 3, run_ends);
        open = line_open_;
      }
      if (from < 16) {
        const unsigned after = 0xFFFFu & ~((1u << from) - 1);
        delimiters_now += scan::Bits(delimiters & after) / kStep;
        if ((tabs & after) != 0) tab_ = true;
        open = true;
      }
      p += from > 16 ? V::kUnits + 1 : V::kUnits;
    }
    store();
    ApplyRun();
#else
    (void)limit, (void)end, (void)first;
#endif
    return p;
  }

  // Most vectors: no tab that is data, every line end an LF or a CR LF
  // whole within the vector. Counts such vectors from p on, each tested
  // first and then counted at once, while every line they end is like the
  // one before (the run goes on); returns the first that is not one. A
  // pair of vectors that ends a line unlike the one before (quoted line
  // breaks make them common) is counted line by line, outside the loop.
  const Unit* RunOfLike(const Unit* p, const Unit* limit, std::uint64_t& in_line,
                        std::uint64_t& run, std::uint64_t (&run_ends)[3], bool& open) {
#ifdef DELVORA_WIDE_CHUNKS
    if (wide_) return RunOfLike32(p, limit, in_line, run, run_ends, open);
#endif
#ifdef DELVORA_HAVE_SSE2
    return RunPairs<NarrowPair<Unit>>(p, limit, in_line, run, run_ends, open);
#else
    (void)limit, (void)in_line, (void)run, (void)run_ends, (void)open;
    return p;
#endif
  }

#ifdef DELVORA_WIDE_CHUNKS
  DELVORA_AVX2 const Unit* RunOfLike32(const Unit* p, const Unit* limit, std::uint64_t& in_line,
                                       std::uint64_t& run, std::uint64_t (&run_ends)[3],
                                       bool& open) {
    return RunPairs<WidePair<Unit>>(p, limit, in_line, run, run_ends, open);
  }
#endif

#ifdef DELVORA_HAVE_SSE2
  // RunOfLike with the vectors of one width, compiled for its instructions
  // by each caller.
  template <typename Pair>
  DELVORA_ALWAYS_INLINE const Unit* RunPairs(const Unit* p, const Unit* limit,
                                             std::uint64_t& in_line, std::uint64_t& run,
                                             std::uint64_t (&run_ends)[3], bool& open) {
    using V = scan::Vector<Unit>;
    constexpr unsigned kStep = sizeof(Unit);
    if (tab_ || last_delimiters_ == UINT64_MAX) return p;
    const Unit first = delimiter_[0];
    const bool tab_is_data = first != Unit('\t');
    const auto bits = [](std::uint64_t m) {
      return scan::Bits(static_cast<unsigned>(m & 0xFFFF)) +
             scan::Bits(static_cast<unsigned>(m >> 16 & 0xFFFF));
    };
    for (;;) {
      const std::uint64_t like = last_delimiters_;
      std::uint64_t crlf = 0, lf = 0;
      std::uint64_t now = in_line;
      bool is_open = open;
      bool unlike = false;  // the pair at p ends a line unlike the one before
      for (; limit - p >= static_cast<std::ptrdiff_t>(2 * V::kUnits); p += 2 * V::kUnits) {
        const Pair x(p);
        const std::uint64_t crs = x.Mask(Unit('\r'));
        const std::uint64_t lfs = x.Mask(Unit('\n'));
        const std::uint64_t tabs = tab_is_data ? x.Mask(Unit('\t')) : 0;
        if (tabs != 0 || (crs != 0 && crs << kStep != lfs)) break;
        std::uint64_t rest = x.Mask(first);  // delimiters not yet in a line
        std::uint64_t ends = lfs;
        std::uint64_t through = 0;  // the bits up to the last end
        std::uint64_t count = now;
        std::uint64_t lines = 0;
        while (ends != 0) {
          const std::uint64_t low = ends & (0u - ends);
          if (count + bits(rest & (low - 1)) / kStep != like) break;
          through = (low << kStep) - 1;
          rest &= ~through;
          ends &= ~through;
          count = 0;
          ++lines;
        }
        if (ends != 0) {
          unlike = true;
          break;
        }
        (crs == 0 ? lf : crlf) += lines;
        now = count + bits(rest) / kStep;
        is_open = lines == 0 || through != 0xFFFFFFFFu;
      }
      run += crlf + lf;
      run_ends[0] += crlf;
      run_ends[1] += lf;
      in_line = now;
      open = is_open;
      if (!unlike) break;
      // The pair at p line by line: a line unlike the one before ends the
      // run and starts the next.
      const Pair x(p);
      const bool pairs = x.Mask(Unit('\r')) != 0;
      std::uint64_t rest = x.Mask(first);
      std::uint64_t through = 0;
      std::uint64_t count = in_line;
      for (std::uint64_t ends = x.Mask(Unit('\n')); ends != 0; ends &= ~through) {
        const std::uint64_t low = ends & (0u - ends);
        const std::uint64_t delimiters = count + bits(rest & (low - 1)) / kStep;
        through = (low << kStep) - 1;
        rest &= ~through;
        count = 0;
        if (delimiters == last_delimiters_) {
          ++run;
          ++run_ends[pairs ? 0 : 1];
          continue;
        }
        run_lines_ = run;
        std::copy(run_ends, run_ends + 3, run_ends_);
        ApplyRun();
        delimiters_ = delimiters;
        EndLine(pairs ? report_.crlf_ends : report_.lf_ends);
        run = 0;
        std::fill(run_ends, run_ends + 3, 0);
      }
      in_line = count + bits(rest) / kStep;
      open = through != 0xFFFFFFFFu;
      p += 2 * V::kUnits;
    }
    return p;
  }
#endif

  // Where the count stands between lines or fields, for the quote-aware
  // rule to take the reading up from (see CheckRule).
  struct Standing {
    std::uint64_t lines;  // ended so far
    bool line_open;
    std::uint64_t delimiters;  // in the open line
    std::uint64_t min_fields, max_fields;
    FieldTally tally;
  };
  Standing Where() const {
    return {report_.lines,           line_open_, delimiters_, report_.min_line_fields,
            report_.max_line_fields, tally_};
  }

  // How far before the end of the units a count must stop for everything it
  // starts to end within them.
  std::size_t Reach() const { return std::max<std::size_t>(delimiter_.size(), 2); }

  // The standard delimiters of the lines in [p, limit), each unit once.
  void GuessOver(const Unit* p, const Unit* limit) {
    if (guessing_) Guess(p, limit);
  }

  void Finish() {
    std::uint64_t none = 0;
    if (line_open_ || report_.lines == 0) EndLine(none);
    if (guessing_ && guess_line_open_) EndGuessLine();
    report_.textual_counts = FieldCountsOf(tally_);
    if (report_.delimiters == 0 && report_.lines > 1) {
      for (std::size_t i = 0; i < std::size(kCandidates); ++i) {
        if (candidate_alive_[i] && candidate_first_[i] > 0 && delimiter_ != Candidate(i)) {
          report_.likely_delimiter = kCandidateNames[i];
          break;
        }
      }
    }
  }

 private:
  static std::basic_string<Unit> Candidate(std::size_t i) {
    std::basic_string<Unit> text;
    for (const char* c = kCandidates[i]; *c != 0; ++c) text.push_back(Unit(*c));
    return text;
  }

  // While the chosen delimiter has not occurred, counts the standard ones
  // on each line, to name one that occurs equally often on every line.
  void Guess(const Unit* p, const Unit* limit) {
    for (; p < limit; ++p) {
      const Unit c = *p;
      if (c == Unit('\n') && after_cr_) {
        after_cr_ = false;
        continue;
      }
      after_cr_ = c == Unit('\r');
      if (c == Unit('\r') || c == Unit('\n')) {
        EndGuessLine();
        continue;
      }
      if (c == Unit(' ') && after_comma_) ++candidate_count_[0];
      after_comma_ = c == Unit(',');
      if (c == Unit(',')) ++candidate_count_[1];
      if (c == Unit(';')) ++candidate_count_[2];
      if (c == Unit('\t')) ++candidate_count_[3];
      guess_line_open_ = true;
    }
  }

  void EndGuessLine() {
    for (std::size_t i = 0; i < std::size(kCandidates); ++i) {
      if (guess_lines_ == 0) {
        candidate_first_[i] = candidate_count_[i];
      } else if (candidate_count_[i] != candidate_first_[i]) {
        candidate_alive_[i] = false;
      }
      candidate_count_[i] = 0;
    }
    ++guess_lines_;
    after_comma_ = false;
    guess_line_open_ = false;
  }

  // Applies the lines of the run, each with as many delimiters as the line
  // before it, to the report at once.
  void ApplyRun() {
    const std::uint64_t n = run_lines_;
    if (n == 0) return;
    const std::uint64_t fields = last_delimiters_ + 1;
    const std::uint64_t first = report_.lines + 1;
    report_.lines += n;
    report_.crlf_ends += run_ends_[0];
    report_.lf_ends += run_ends_[1];
    report_.cr_ends += run_ends_[2];
    tally_.AddRun(fields, first, n);
    report_.delimiters += n * last_delimiters_;
    if (guessing_ && report_.delimiters != 0) guessing_ = false;
    if (fields != first_fields_) {
      for (std::uint64_t i = 0; i < n && report_.differing_lines + i < kDifferingShown; ++i)
        report_.first_differing.push_back(first + i);
      report_.differing_lines += n;
    }
    run_lines_ = 0;
    run_ends_[0] = run_ends_[1] = run_ends_[2] = 0;
  }

  void EndLine(std::uint64_t& kind) {
    last_delimiters_ = delimiters_;
    ++kind;
    const std::uint64_t fields = delimiters_ + 1;
    ++report_.lines;
    tally_.Add(fields, report_.lines);
    if (tab_) {
      if (report_.tab_lines++ == 0) report_.first_tab_line = report_.lines;
      tab_ = false;
    }
    report_.delimiters += delimiters_;
    if (guessing_ && report_.delimiters != 0) guessing_ = false;

    if (report_.lines == 1) {
      first_fields_ = fields;
      report_.min_line_fields = report_.max_line_fields = fields;
    } else {
      report_.min_line_fields = std::min(report_.min_line_fields, fields);
      report_.max_line_fields = std::max(report_.max_line_fields, fields);
      if (fields != first_fields_ && report_.differing_lines++ < kDifferingShown)
        report_.first_differing.push_back(report_.lines);
    }
    delimiters_ = 0;
    line_open_ = false;
  }

  std::basic_string<Unit> delimiter_;
  bool active_;
  // RunOfLike reads 32-byte vectors: the processor has them.
  bool wide_ = scan::HasAvx2();
  const std::array<bool, 256>* lead_bytes_;
  CheckReport& report_;
  std::uint64_t delimiters_ = 0;
  std::uint64_t first_fields_ = 0;
  // The vector count's run of lines like the last one ended (see ApplyRun):
  // how many, and how many of them end in CR LF, LF and CR.
  std::uint64_t last_delimiters_ = UINT64_MAX;
  std::uint64_t run_lines_ = 0;
  std::uint64_t run_ends_[3] = {};
  bool line_open_ = false;
  bool tab_ = false;  // a tab in the current line's data
  FieldTally tally_;
  // The likely delimiter, by -d's names; comma-space before comma, which
  // would leave the spaces in the fields.
  static constexpr const char* kCandidates[] = {", ", ",", ";", "\t"};
  static constexpr const char* kCandidateNames[] = {"comma-space", "comma", "semicolon", "tab"};
  bool guessing_ = true;
  bool guess_line_open_ = false;
  bool after_cr_ = false;
  bool after_comma_ = false;
  std::uint64_t guess_lines_ = 0;
  std::uint64_t candidate_count_[4] = {};
  std::uint64_t candidate_first_[4] = {};
  bool candidate_alive_[4] = {true, true, true, true};
};

// Both rules over the same units; the quote-aware one decides how far each
// block is consumed, and its output is dropped.
template <typename Unit>
class CheckRule {
 public:
  using Step = typename QuotedRule<Unit>::Step;

  CheckRule(const std::basic_string<Unit>& delimiter, bool matches,
            const std::array<bool, 256>* lead_bytes, std::size_t block, CheckReport& report)
      : quoted_(delimiter, matches, Quoting::kQuoted, lead_bytes, block, &counts_),
        textual_(delimiter, matches, lead_bytes, report),
        report_(report),
        delimiter_holds_tab_(delimiter.find(Unit('\t')) != std::basic_string<Unit>::npos),
        plain_(matches && lead_bytes == nullptr && delimiter.size() == 1 &&
               !scan::HoldsLineEnd(delimiter)),
        delimiter_(delimiter.empty() ? Unit('\n') : delimiter[0]),
        vector_quotes_(plain_ && sizeof(Unit) == 1 && delimiter_ != Unit('\t')) {}

  static std::size_t MaxOutput(std::size_t size) { return QuotedRule<Unit>::MaxOutput(size); }
  std::size_t MaxCarry() const { return quoted_.MaxCarry(); }

  // Text without a quote, while the next block is read: the quote search
  // and the byte classes here, the textual count on the other thread. It
  // reads the block where it lies, which the loop leaves alone until the
  // block after next is read there, and the next call waits for it. Leaves
  // the block to Feed once a quote or a field longer than a block comes.
  bool FeedInPlace(Unit* data, std::size_t size, Step& step) {
    const Unit* const end = data + size;
    const Unit* const cut = plain_ && size > kBesideFrom ? LastBoundary(data, end) : data;
    if (cut == data || HoldsQuote(data, cut)) {
      helper_.Settle();
      return false;
    }
    helper_.Post([this, data, cut] {
      textual_.Run(data, cut, cut);
      textual_.GuessOver(data, cut);
    });
    const auto counted = static_cast<std::size_t>(cut - data);
    at_ += counted;
    // Something produced, so that the next block is read into the other
    // buffer; what is written of this one goes nowhere.
    step = {counted, counted};
    return true;
  }

  Step Feed(const Unit* data, std::size_t size, bool at_end, Unit* out) {
    helper_.Settle();
    if (plain_) {
      if (const std::optional<Step> step = FeedPlain(data, size, at_end)) return *step;
    }
    if (vector_quotes_) {
      if (const std::optional<Step> step = FeedQuoted(data, size, at_end)) return *step;
    }
    const std::optional<std::size_t> consumed = Beside(data, size, [&] {
      return std::optional<std::size_t>(quoted_.Feed(data, size, at_end, out).consumed);
    });
    return {*consumed, 0};
  }

  std::size_t Finish(Unit* out) {
    helper_.Settle();
    if (plain_) {
      // No quote at all: the quote-aware reading is the textual one, but for
      // an input without a single unit, which has no record.
      const typename TextualCounter<Unit>::Standing where = textual_.Where();
      if (where.lines != 0 || where.line_open) Resume(where);
    }
    // The vector reading counted the last record itself.
    if (plain_ || !vector_quotes_) quoted_.Finish(out);
    textual_.Finish();
    report_.records = counts_.records;
    report_.min_fields = counts_.min_fields;
    report_.max_fields = counts_.max_fields;
    report_.quoted_delimiters = counts_.quoted_delimiters;
    report_.quoted_line_breaks = counts_.quoted_line_breaks;
    report_.unclosed_quote_line = counts_.unclosed_quote_line;
    report_.quoted_counts = FieldCountsOf(counts_.tally);
    // Tabs inside fields of the quote-aware reading. Only a delimiter that
    // holds a tab makes them differ from the textual reading's (a tab
    // inside quotes is then data there and a delimiter here); with any
    // other, every tab is data in both, and the textual count has them all.
    if (delimiter_holds_tab_) {
      report_.quoted_tab_lines = counts_.tab_lines;
      report_.first_quoted_tab_line = counts_.first_tab_line;
    } else {
      report_.quoted_tab_lines = report_.tab_lines;
      report_.first_quoted_tab_line = report_.first_tab_line;
    }
    if constexpr (sizeof(Unit) == 1) report_.text = bytes_.Result();
    return 0;
  }

 private:
  // Blocks smaller than this are counted one rule after the other.
  static constexpr std::size_t kBesideFrom = std::size_t{1} << 16;

  // Until the first quote the quote-aware reading is the textual one: the
  // textual count reads alone, up to the last field boundary (where the
  // quote-aware rule would stop), while the other thread looks for a quote
  // and classifies the bytes. A block that holds a quote is read by both
  // from its start, the quote-aware rule taking the reading up where the
  // textual count stood there. Returns nothing when it leaves that to Feed.
  std::optional<Step> FeedPlain(const Unit* data, std::size_t size, bool at_end) {
    const Unit* const end = data + size;
    const Unit* const cut = at_end ? end : LastBoundary(data, end);
    if (cut == data && !at_end) {
      plain_ = false;  // one field fills the block: the general reading
      Resume(textual_.Where());
      return std::nullopt;
    }
    const typename TextualCounter<Unit>::Standing where = textual_.Where();
    bool quote = false;
    const auto look = [&] { quote = HoldsQuote(data, cut); };
    const auto count = [&] { textual_.Run(data, cut, end); };
    if (size > kBesideFrom) {
      helper_.Run(look, count);
    } else {
      look();
      count();
    }
    if (quote) {
      // The textual count has read [data, cut); the quote-aware rule reads
      // the block from its start, and Feed goes on from what it consumes.
      plain_ = false;
      Resume(where);
      skip_ = static_cast<std::size_t>(cut - data);
      return std::nullopt;
    }
    textual_.GuessOver(data, cut);
    at_ += static_cast<std::size_t>(cut - data);
    return Step{static_cast<std::size_t>(cut - data), 0};
  }

  // After the last delimiter or line end in [data, end), or data: where a
  // field starts that the block may not hold whole. A CR last in view may
  // be half of a CR LF.
  const Unit* LastBoundary(const Unit* data, const Unit* end) const {
    const Unit* q = end;
    if (q != data && q[-1] == Unit('\r')) --q;
    while (q != data && q[-1] != delimiter_ && q[-1] != Unit('\n') && q[-1] != Unit('\r')) --q;
    return q;
  }

  // Quoted text read a vector at a time by CountQuotes, the textual count
  // beside it as in Feed. Returns nothing when it leaves the block, from
  // its start, to the quote-aware rule, which reads the rest of the file.
  std::optional<Step> FeedQuoted(const Unit* data, std::size_t size, bool at_end) {
    const QuoteCounts before = counts_;
    // On wide vectors the reading takes less time than the textual count:
    // the byte classes go on this thread then.
    const std::optional<std::size_t> consumed = Beside(
        data, size,
        [&]() -> std::optional<std::size_t> {
          const Unit* upto = nullptr;
          if (!CountQuotes(data, data + size, at_end, upto)) return std::nullopt;
          return static_cast<std::size_t>(upto - data);
        },
        wide_);
    if (consumed) return Step{*consumed, 0};
    counts_ = before;
    vector_quotes_ = false;
    quoted_.ResumeAt(at_record_.line, at_record_.open, at_record_.delimiters);
    return std::nullopt;
  }

  // The textual count beside a quote-aware reading of the block, read(),
  // which returns the units it consumes, or nothing when it leaves the
  // block. The count runs up to where no straddling delimiter or CR LF can
  // reach beyond the block, and on after the reading to what it consumed;
  // the byte classes too (those past what is consumed are not added
  // again), beside the count or, classify_here, after the reading. When
  // the reading leaves the block, what the count read of it stays counted.
  template <typename Read>
  std::optional<std::size_t> Beside(const Unit* data, std::size_t size, Read&& read,
                                    bool classify_here = false) {
    const Unit* const end = data + size;
    const Unit* p = data + skip_;
    const std::size_t reach = textual_.Reach();
    std::optional<std::size_t> consumed;
    if (size - skip_ > kBesideFrom && size - skip_ > reach) {
      const Unit* const limit = end - reach;
      helper_.Run(
          [&] {
            p = textual_.Run(p, limit, end);
            if (!classify_here) Classify(data, limit);
          },
          [&] {
            consumed = read();
            if (classify_here) Classify(data, limit);
          });
    } else {
      consumed = read();
    }
    if (!consumed) {
      skip_ = static_cast<std::size_t>(p - data);
      return std::nullopt;
    }
    const Unit* const upto = data + *consumed;
    if (p < upto) p = textual_.Run(p, upto, end);
    skip_ = static_cast<std::size_t>(p - upto);
    textual_.GuessOver(data, upto);
    Classify(data, upto);
    at_ += *consumed;
    return consumed;
  }

  // The quote-aware reading of [data, end) where every quote is where the
  // toggling of quotes reads it alike: a quote that opens starts a field
  // (or follows one that closes: a doubled quote), one that closes ends
  // its field (or precedes one that opens), and every quote closes. Then
  // the units inside quotes are those after an odd number of quotes, found
  // for a chunk of units at once, and the per-record steps run only where
  // a record ends. Counts the records that end in the block (the rest is
  // carried) and returns true with where the last ended, or everything at
  // the end; false, with nothing counted, where a quote is read otherwise,
  // a quote is still open at the end, or no record ends.
  bool CountQuotes(const Unit* data, const Unit* end, bool at_end, const Unit*& consumed) {
#ifdef DELVORA_HAVE_SSE2
    if constexpr (sizeof(Unit) == 1) {
#ifdef DELVORA_WIDE_CHUNKS
      if (wide_) return CountQuotes32(data, end, at_end, consumed);
#endif
      return CountChunks<scan::NarrowChunk<Unit>>(data, end, at_end, consumed);
    }
#endif
    (void)data, (void)end, (void)at_end, (void)consumed;
    return false;
  }

#ifdef DELVORA_WIDE_CHUNKS
  DELVORA_TARGET("avx2,bmi,popcnt,pclmul")
  bool CountQuotes32(const Unit* data, const Unit* end, bool at_end, const Unit*& consumed) {
    return CountChunks<scan::Chunk32>(data, end, at_end, consumed);
  }
#endif

#ifdef DELVORA_HAVE_SSE2
  // CountQuotes with the chunks of one width, compiled for its
  // instructions by each caller.
  template <typename Chunk>
  DELVORA_ALWAYS_INLINE bool CountChunks(const Unit* data, const Unit* end, bool at_end,
                                         const Unit*& consumed) {
    using scan::kChunkUnits;
    const Unit d = delimiter_;
    std::uint64_t line = at_record_.line;
    std::uint64_t record_line = line;
    std::uint64_t delimiters = at_record_.delimiters;
    // In the current record, counted once it ends: line breaks inside
    // quotes, quoted fields holding the delimiter.
    std::uint64_t breaks = 0;
    std::uint64_t held = 0;
    bool holds = false;          // the current field holds the delimiter inside quotes
    std::uint64_t may_open = 1;  // the unit before a chunk's first may precede an opening quote
    const Unit* last_end = data;
    const auto record_ends = [&] {
      const std::uint64_t fields = delimiters + 1;
      counts_.min_fields = counts_.records == 0 ? fields : std::min(counts_.min_fields, fields);
      counts_.max_fields = std::max(counts_.max_fields, fields);
      ++counts_.records;
      counts_.tally.Add(fields, record_line);
      counts_.quoted_line_breaks += breaks;
      counts_.quoted_delimiters += held;
      line += breaks + 1;
      record_line = line;
      delimiters = breaks = held = 0;
    };
    const auto is_stop = [d](Unit c) {
      return c == d || c == Unit('"') || c == Unit('\n') || c == Unit('\r');
    };
    constexpr std::uint64_t kAll = ~std::uint64_t{0};
    constexpr std::uint64_t kTop = std::uint64_t{1} << (kChunkUnits - 1);
    std::uint64_t inside_mask = 0;  // all bits when inside quotes after the last unit read
    // One chunk from v (data + i) of `units` units, all of them when kFull
    // (the unit after them then read from v[kChunkUnits]); false where the
    // quotes are not read alike.
    const auto chunk = [&](const Unit* v, std::size_t i, std::size_t units,
                           auto full) DELVORA_ALWAYS_INLINE {
      constexpr bool kFull = decltype(full)::value;
      const Chunk x(v);
      const std::uint64_t valid = kFull ? kAll : kAll >> (kChunkUnits - units);
      const std::uint64_t top = kFull ? kTop : std::uint64_t{1} << (units - 1);
      const std::uint64_t all_quotes = x.Equal(Unit('"'));
      const std::uint64_t all_delimiters = x.Equal(d);
      const std::uint64_t all_lfs = x.Equal(Unit('\n'));
      const std::uint64_t all_crs = x.Equal(Unit('\r'));
      // Bit k: what unit k + 1 is; a short chunk holds the unit after its
      // last.
      std::uint64_t follows = (all_quotes | all_delimiters | all_lfs | all_crs) >> 1;
      std::uint64_t lf_follows = all_lfs >> 1;
      if constexpr (kFull) {
        follows |= is_stop(v[kChunkUnits]) ? kTop : 0;
        lf_follows |= v[kChunkUnits] == Unit('\n') ? kTop : 0;
      }
      const std::uint64_t quotes = all_quotes & valid;
      const std::uint64_t ends = (all_lfs | (all_crs & ~lf_follows)) & valid;
      // Inside quotes after each unit: the quotes up to it, toggling.
      const std::uint64_t in = (Chunk::Parity(quotes) ^ inside_mask) & valid;
      const std::uint64_t closes = quotes & ~in;
      const std::uint64_t record_ends_here = ends & ~in;
      const std::uint64_t field_ends = (all_delimiters & valid & ~in) | record_ends_here;
      if ((quotes & in & ~((field_ends | closes) << 1 | may_open)) != 0 || (closes & ~follows) != 0)
        return false;
      inside_mask = (in & top) != 0 ? kAll : 0;
      may_open = ((field_ends | closes) & top) != 0 ? 1 : 0;
      const std::uint64_t held_delimiters = all_delimiters & in;
      const std::uint64_t inner_breaks = ends & in;
      // The field ends of fields holding the delimiter inside quotes: a
      // carry from each such delimiter (and from before the chunk, when
      // its first field holds one) runs up through the units that end no
      // field and stops at the first that does.
      const std::uint64_t held_ends =
          (~field_ends + held_delimiters + (holds ? 1 : 0)) & field_ends;
      holds = field_ends == 0 ? holds || held_delimiters != 0
                              : (held_delimiters & ~(std::bit_floor(field_ends) - 1)) != 0;
      std::uint64_t open = kAll;  // the units not yet counted into a record
      for (std::uint64_t rest = record_ends_here; rest != 0; rest &= rest - 1) {
        const std::uint64_t low = rest & (std::uint64_t{0} - rest);
        const std::uint64_t record = open & (low | (low - 1));
        delimiters += Chunk::Count(field_ends & record & ~low);
        breaks += Chunk::Count(inner_breaks & record);
        held += Chunk::Count(held_ends & record);
        open &= ~record;
        record_ends();
        last_end = data + i + static_cast<std::size_t>(std::countr_zero(low)) + 1;
      }
      delimiters += Chunk::Count(field_ends & open);
      breaks += Chunk::Count(inner_breaks & open);
      held += Chunk::Count(held_ends & open);
      return true;
    };
    const auto n = static_cast<std::size_t>(end - data);
    // The last unit waits for the next block, which says what follows it.
    const std::size_t stop = at_end ? n : n - (n != 0);
    std::size_t i = 0;
    for (; i + kChunkUnits < n && i + kChunkUnits <= stop; i += kChunkUnits) {
      if (!chunk(data + i, i, kChunkUnits, std::true_type{})) return false;
    }
    if (i < stop) {
      // The last units, with the one after them: the next block's first,
      // or at the end one that a closing quote may precede and no CR
      // pairs with.
      Unit pad[2 * kChunkUnits] = {};
      std::memcpy(pad, data + i, n - i);
      if (at_end) pad[n - i] = d;
      if (!chunk(pad, i, stop - i, std::false_type{})) return false;
    }
    const bool inside = inside_mask != 0;
    if (at_end) {
      if (inside) return false;
      // The last record, when it has no line end.
      if (end != last_end || (last_end == data && at_record_.open)) {
        if (holds) ++held;
        record_ends();
      }
      consumed = end;
    } else {
      if (last_end == data || static_cast<std::size_t>(end - last_end) > MaxCarry()) return false;
      consumed = last_end;
    }
    at_record_ = {line, 0, false};
    return true;
  }
#endif

  void Resume(const typename TextualCounter<Unit>::Standing& where) {
    quoted_.ResumeAt(where.lines + 1, where.line_open, where.delimiters);
    at_record_ = {where.lines + 1, where.delimiters, where.line_open};
    counts_.records = where.lines;
    counts_.min_fields = where.min_fields;
    counts_.max_fields = where.max_fields;
    counts_.tally = where.tally;
  }

  // Whether [data, end), which starts at_ units into the input, holds a
  // quote; its bytes are classified when it does not.
  bool HoldsQuote(const Unit* data, const Unit* end) {
    if constexpr (sizeof(Unit) == 1) {
      const auto* bytes = reinterpret_cast<const unsigned char*>(data);
      return bytes_.AddUnlessQuote(bytes, bytes + (end - data), at_);
    } else {
      static constexpr Unit kQuote[] = {Unit('"')};
      return scan::FindAny(data, end, kQuote) != end;
    }
  }

  // The bytes of [data, end), which starts at_ units into the input.
  void Classify(const Unit* data, const Unit* end) {
    if constexpr (sizeof(Unit) == 1) {
      const auto* bytes = reinterpret_cast<const unsigned char*>(data);
      bytes_.Add(bytes, bytes + (end - data), at_);
    }
  }

  ByteClassifier bytes_;
  QuoteCounts counts_;
  QuotedRule<Unit> quoted_;
  TextualCounter<Unit> textual_;
  CheckReport& report_;
  bool delimiter_holds_tab_;
  // A one-unit delimiter, no two-byte characters: text without quotes is
  // read by the textual count alone (FeedPlain) until a quote comes.
  bool plain_;
  Unit delimiter_;
  // Bytes, a one-byte delimiter other than a tab: quoted text is read by
  // CountQuotes until it meets what only the quote-aware rule reads.
  bool vector_quotes_;
  // CountQuotes reads 32-byte vectors: the processor has them.
  bool wide_ = scan::HasAvx2();
  // Where CountQuotes stands at the start of the next call: the line of
  // the current record (the next unit's), its delimiters, whether some of
  // it was read.
  struct AtRecord {
    std::uint64_t line = 1;
    std::uint64_t delimiters = 0;
    bool open = false;
  } at_record_;
  std::size_t skip_ = 0;  // units of the next call already counted
  std::uint64_t at_ = 0;  // units consumed before the next call's
  Helper helper_;
};

std::string LineEnds(const CheckReport& r) {
  const int kinds = (r.crlf_ends != 0) + (r.lf_ends != 0) + (r.cr_ends != 0);
  if (kinds == 0) return "none";
  if (kinds > 1) return "mixed";
  return r.crlf_ends != 0 ? "CRLF" : r.lf_ends != 0 ? "LF" : "CR";
}

std::string Range(std::uint64_t low, std::uint64_t high) {
  return std::to_string(low) + "-" + std::to_string(high);
}

std::string Plural(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

CheckReport CheckStream(ByteSource& source, const ConversionOptions& options) {
  if (options.delimiter.find('"') != std::string::npos) engine::BadArgument();
  CheckReport report;
  engine::DiscardSink discard;
  MalformedText malformed;
  const UnicodeMark mark = engine::RunStream(
      source, discard, options, false,
      [&report](const auto& delimiter, bool matches, const std::array<bool, 256>* lead_bytes,
                std::size_t block, auto&& run) {
        using Unit = typename std::decay_t<decltype(delimiter)>::value_type;
        CheckRule<Unit> rule(delimiter, matches, lead_bytes, block, report);
        run(rule, rule.MaxCarry());
      },
      &malformed);
  report.encoding = mark.encoding;
  report.malformed = malformed.count;
  report.first_malformed = malformed.first_offset;
  return report;
}

CheckReport CheckFile(const std::string& path, const ConversionOptions& options) {
  FileSource source(path);
  return CheckStream(source, options);
}

namespace {

const char* TextName(const CheckReport& r) {
  if (r.encoding != TextEncoding::kNarrow) return "marked";
  switch (r.text) {
    case NarrowText::kAscii:
      return "ascii";
    case NarrowText::kUtf8:
      return "utf-8";
    case NarrowText::kEightBit:
      return "8-bit";
    case NarrowText::kUtf16LeNoMark:
      return "utf-16le-no-mark";
    case NarrowText::kUtf16BeNoMark:
      break;
  }
  return "utf-16be-no-mark";
}

bool LooksUtf16(const CheckReport& r) {
  return r.encoding == TextEncoding::kNarrow &&
         (r.text == NarrowText::kUtf16LeNoMark || r.text == NarrowText::kUtf16BeNoMark);
}

const FieldCounts& Chosen(const CheckReport& r, Quoting mode) {
  return mode == Quoting::kTextual ? r.textual_counts : r.quoted_counts;
}

std::string Lines(const std::vector<std::uint64_t>& lines, const char* none) {
  std::string text;
  for (std::uint64_t line : lines) {
    if (!text.empty()) text += ',';
    text += std::to_string(line);
  }
  return text.empty() ? none : text;
}

std::string JsonLines(const std::vector<std::uint64_t>& lines) {
  // Appended, not "[" + ...: g++ 12 warns wrongly about that form.
  std::string json = "[";
  json += Lines(lines, "");
  json += ']';
  return json;
}

std::string JsonLine(std::uint64_t line) { return line == 0 ? "null" : std::to_string(line); }

struct Judgement {
  bool safe;
  std::string verdict;
};

std::uint64_t TabLines(const CheckReport& r, Quoting mode) {
  return mode == Quoting::kTextual ? r.tab_lines : r.quoted_tab_lines;
}

std::uint64_t FirstTabLine(const CheckReport& r, Quoting mode) {
  return mode == Quoting::kTextual ? r.first_tab_line : r.first_quoted_tab_line;
}

Judgement Judge(const CheckReport& r, Quoting mode, bool strict) {
  if (r.malformed != 0) {
    std::string why = Plural(r.malformed, "place", "places") + " that cannot be read as " +
                      EncodingName(r.encoding) + ", the first at byte " +
                      std::to_string(r.first_malformed);
    // The mark rule reads FF FE 00 00 as UTF-32LE, also where a UTF-16LE
    // file starts with U+0000.
    if (r.encoding == TextEncoding::kUtf32Le)
      why += "; a UTF-16LE file whose first character is U+0000 starts with this mark too";
    return {false, "malformed text (" + why + ")"};
  }
  if (r.unclosed_quote_line != 0) {
    return {false, "unclosed quote (the quote opened on line " +
                       std::to_string(r.unclosed_quote_line) + " never closes)"};
  }
  if (LooksUtf16(r)) {
    return {false, std::string("not text of one byte a character (it looks like ") +
                       (r.text == NarrowText::kUtf16LeNoMark ? "UTF-16LE" : "UTF-16BE") +
                       " without a mark; the conversion would write one-byte line ends into it)"};
  }
  // What the chosen mode would get wrong. Every quote closes here, so
  // --escape reads any such file right; --quotes only where no field holds
  // a tab or a line break.
  std::vector<std::string> reasons;
  if (mode == Quoting::kTextual && r.quoted_delimiters != 0) {
    reasons.push_back(Plural(r.quoted_delimiters, "quoted field holds", "quoted fields hold") +
                      " the delimiter");
  }
  if (mode != Quoting::kEscaped && r.quoted_line_breaks != 0) {
    reasons.push_back(Plural(r.quoted_line_breaks, "line break lies", "line breaks lie") +
                      " inside quotes");
  }
  if (mode != Quoting::kEscaped && TabLines(r, mode) != 0) {
    reasons.push_back(Plural(TabLines(r, mode), "line holds", "lines hold") +
                      " a tab inside a field, first line " + std::to_string(FirstTabLine(r, mode)));
  }
  // The plain reading may see no tab where the quote-aware one does (a
  // tab delimiter inside quotes): that is what rules --quotes out.
  if (mode == Quoting::kTextual && r.tab_lines == 0 && r.quoted_tab_lines != 0) {
    reasons.push_back(Plural(r.quoted_tab_lines, "line holds", "lines hold") +
                      " a tab inside a quoted field, first line " +
                      std::to_string(r.first_quoted_tab_line));
  }
  const bool misread = !reasons.empty();
  const FieldCounts& counts = Chosen(r, mode);
  if (strict && counts.differing != 0) {
    reasons.push_back(Plural(counts.differing, "line has", "lines have") +
                      " another field count than the most common " + std::to_string(counts.common));
  }
  if (reasons.empty()) {
    return {true, mode == Quoting::kTextual ? "safe for the plain conversion"
                                            : "safe, every quote closes"};
  }
  std::string why;
  for (const std::string& reason : reasons) why += (why.empty() ? "" : ", ") + reason;
  // The mode named is one that reads the file right: --quotes only when its
  // own verdict would be safe.
  const char* head = !misread ? "field counts differ"
                     : mode == Quoting::kTextual && CheckIsSafe(r, Quoting::kQuoted)
                         ? "needs --quotes"
                         : "needs --escape";
  return {false, std::string(head) + " (" + why + ")"};
}

}  // namespace

bool CheckIsSafe(const CheckReport& report, Quoting mode, bool strict) {
  return Judge(report, mode, strict).safe;
}

std::string FormatCheckReport(const CheckReport& r, Quoting mode, bool strict) {
  const FieldCounts& counts = Chosen(r, mode);
  const std::string text =
      std::string("mark=") + EncodingName(r.encoding) + " line-ends=" + LineEnds(r) +
      " records=" + std::to_string(r.records) + " fields=" + Range(r.min_fields, r.max_fields) +
      " textual-records=" + std::to_string(r.lines) +
      " textual-fields=" + Range(r.min_line_fields, r.max_line_fields) +
      " quoted-delimiters=" + std::to_string(r.quoted_delimiters) +
      " quoted-line-breaks=" + std::to_string(r.quoted_line_breaks) + " unclosed-quote=" +
      (r.unclosed_quote_line != 0 ? std::to_string(r.unclosed_quote_line) : "none") +
      " textual-differs-at=" + Lines(r.first_differing, "none") + " text=" + TextName(r) +
      " crlf=" + std::to_string(r.crlf_ends) + " lf=" + std::to_string(r.lf_ends) +
      " cr=" + std::to_string(r.cr_ends) + " tab-lines=" + std::to_string(TabLines(r, mode)) +
      " first-tab-line=" +
      (FirstTabLine(r, mode) != 0 ? std::to_string(FirstTabLine(r, mode)) : "none") +
      " delimiters=" + std::to_string(r.delimiters) +
      " likely-delimiter=" + (r.likely_delimiter.empty() ? "none" : r.likely_delimiter) +
      " common-fields=" + std::to_string(counts.common) +
      " differing-lines=" + std::to_string(counts.differing) +
      " differs-at=" + Lines(counts.first_differing, "none") +
      " malformed=" + std::to_string(r.malformed) +
      " first-malformed=" + (r.malformed != 0 ? std::to_string(r.first_malformed) : "none");
  return text + " verdict: " + Judge(r, mode, strict).verdict;
}

std::string FormatCheckJson(const CheckReport& r, Quoting mode, bool strict) {
  const FieldCounts& counts = Chosen(r, mode);
  const Judgement judgement = Judge(r, mode, strict);
  const auto n = [](std::uint64_t v) { return std::to_string(v); };
  // Every value but the verdict is a number, a fixed word or a list: only
  // the verdict needs escaping, and it holds no quote or backslash.
  return std::string("\"mark\":\"") + EncodingName(r.encoding) + "\",\"text\":\"" + TextName(r) +
         "\",\"line_ends\":\"" + LineEnds(r) + "\",\"crlf\":" + n(r.crlf_ends) +
         ",\"lf\":" + n(r.lf_ends) + ",\"cr\":" + n(r.cr_ends) + ",\"records\":" + n(r.records) +
         ",\"min_fields\":" + n(r.min_fields) + ",\"max_fields\":" + n(r.max_fields) +
         ",\"textual_records\":" + n(r.lines) + ",\"textual_min_fields\":" + n(r.min_line_fields) +
         ",\"textual_max_fields\":" + n(r.max_line_fields) +
         ",\"quoted_delimiters\":" + n(r.quoted_delimiters) +
         ",\"quoted_line_breaks\":" + n(r.quoted_line_breaks) +
         ",\"unclosed_quote_line\":" + JsonLine(r.unclosed_quote_line) +
         ",\"textual_differs_at\":" + JsonLines(r.first_differing) +
         ",\"tab_lines\":" + n(TabLines(r, mode)) +
         ",\"first_tab_line\":" + JsonLine(FirstTabLine(r, mode)) +
         ",\"delimiters\":" + n(r.delimiters) + ",\"likely_delimiter\":" +
         (r.likely_delimiter.empty() ? std::string("null") : "\"" + r.likely_delimiter + "\"") +
         ",\"common_fields\":" + n(counts.common) + ",\"differing_lines\":" + n(counts.differing) +
         ",\"differs_at\":" + JsonLines(counts.first_differing) +
         ",\"malformed\":" + n(r.malformed) +
         ",\"first_malformed\":" + (r.malformed != 0 ? n(r.first_malformed) : std::string("null")) +
         ",\"safe\":" + (judgement.safe ? "true" : "false") + ",\"verdict\":\"" +
         judgement.verdict + "\"";
}

}  // namespace delvora
