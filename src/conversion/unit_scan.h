#pragma once

// Scanning text units (bytes or UTF-16 code units) a vector at a time: the
// loops of the record rules spend most of their time looking for the next
// unit of a small set (line ends, quotes, the delimiter), and lines and
// fields are short, so a call into memchr per line or a scalar tail per
// line would dominate. SSE2 on x86-64 (every such processor has it); a
// plain loop elsewhere.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>  // the wide chunks' (see DELVORA_WIDE_CHUNKS)
#endif
#define DELVORA_HAVE_SSE2 1
#endif

// For the one call of a loop's body that the compiler would otherwise leave
// a call (GCC and Clang; others decide alone).
#if defined(__GNUC__) || defined(__clang__)
#define DELVORA_ALWAYS_INLINE __attribute__((always_inline))
#else
#define DELVORA_ALWAYS_INLINE
#endif

namespace delvora::scan {

// Units a vector store may write past the end of what a copy returns:
// output buffers keep this much room beyond their largest output.
inline constexpr std::size_t kSlackUnits = 16;

#ifdef DELVORA_HAVE_SSE2
template <typename Unit>
struct Vector;

template <>
struct Vector<char> {
  static constexpr std::size_t kUnits = 16;
  static __m128i Splat(char c) { return _mm_set1_epi8(c); }
  static __m128i Equal(__m128i a, __m128i b) { return _mm_cmpeq_epi8(a, b); }
  static std::size_t Index(unsigned mask) {
    return static_cast<std::size_t>(std::countr_zero(mask));
  }
};

template <>
struct Vector<char16_t> {
  static constexpr std::size_t kUnits = 8;
  static __m128i Splat(char16_t c) { return _mm_set1_epi16(static_cast<short>(c)); }
  static __m128i Equal(__m128i a, __m128i b) { return _mm_cmpeq_epi16(a, b); }
  static std::size_t Index(unsigned mask) {
    return static_cast<std::size_t>(std::countr_zero(mask)) / 2;
  }
};

// The units of x equal to c, a bit per byte: a char16_t unit sets two.
template <typename Unit>
inline unsigned MaskOf(__m128i x, Unit c) {
  return static_cast<unsigned>(_mm_movemask_epi8(Vector<Unit>::Equal(x, Vector<Unit>::Splat(c))));
}

template <typename Unit, std::size_t N>
inline __m128i Matches(__m128i x, const __m128i (&needles)[N]) {
  __m128i hit = Vector<Unit>::Equal(x, needles[0]);
  for (std::size_t i = 1; i < N; ++i) hit = _mm_or_si128(hit, Vector<Unit>::Equal(x, needles[i]));
  return hit;
}
#endif

// Processors with AVX2 (most since 2013) take the hottest loops two vectors
// wide, and those with AVX-512 four where a loop has such a form; the
// build's baseline stays SSE2, so such a loop is compiled for its level
// alone and chosen while running. DELVORA_SIMD=sse2 or =avx2 in the
// environment caps the level: the tests run every level this way, and a
// user who suspects the wide loops can compare.
enum class SimdLevel { kBaseline, kAvx2, kAvx512 };

#if defined(DELVORA_HAVE_SSE2) && (defined(__GNUC__) || defined(__clang__))
#define DELVORA_HAVE_AVX2_PATH 1
#define DELVORA_TARGET(features) __attribute__((target(features)))
#define DELVORA_AVX2 DELVORA_TARGET("avx2")
inline SimdLevel Simd() {
  static const SimdLevel level = [] {
    const char* wanted = std::getenv("DELVORA_SIMD");  // read once
    const std::string_view cap = wanted ? wanted : "";
    __builtin_cpu_init();  // may be asked before the library's own start-up ran
    // The wide loops also count bits and carry-less multiply: every AVX2
    // processor has those instructions, but they are asked for all the same.
    if (cap == "sse2" || !__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("bmi") ||
        !__builtin_cpu_supports("popcnt") || !__builtin_cpu_supports("pclmul"))
      return SimdLevel::kBaseline;
    if (cap == "avx2" || !__builtin_cpu_supports("avx512f") ||
        !__builtin_cpu_supports("avx512bw") || !__builtin_cpu_supports("avx512vbmi2"))
      return SimdLevel::kAvx2;
    return SimdLevel::kAvx512;
  }();
  return level;
}
#else
inline SimdLevel Simd() { return SimdLevel::kBaseline; }
#endif

// Wider vectors than the baseline's, chosen while running where the
// processor has them (GCC and Clang on x86-64).
#if defined(DELVORA_HAVE_AVX2_PATH) && defined(__x86_64__)
#define DELVORA_WIDE_CHUNKS 1
#endif

inline bool HasAvx2() { return Simd() != SimdLevel::kBaseline; }

// Sets of stops have a fixed size, so that the compiler unrolls the
// comparisons; a stop that a case does not want is given as a repeat of
// one already in the set (a filler), which changes nothing.
template <typename Unit, std::size_t N>
inline bool IsAny(Unit c, const Unit (&stops)[N]) {
  bool any = false;
  for (std::size_t i = 0; i < N; ++i) any |= c == stops[i];
  return any;
}

// Two-byte code pages (narrow text only; lead_bytes is null otherwise): a
// lead byte and the unit after it are one character, and a delimiter match
// must not start on that second unit. A unit of `breaks` (the line ends the
// rule splits records at, and for the quote-aware rule the quote) is never
// taken as a second unit: a malformed pair then still ends its line or
// field. Returns the units of the character at p, 1 or 2 (p < end).
template <typename Unit>
inline bool IsLeadByte(const std::array<bool, 256>* lead_bytes, Unit c) {
  return lead_bytes != nullptr && (*lead_bytes)[static_cast<unsigned char>(c)];
}

template <typename Unit, std::size_t N>
inline std::size_t CharUnits(const std::array<bool, 256>* lead_bytes, const Unit* p,
                             const Unit* end, const Unit (&breaks)[N]) {
  return IsLeadByte(lead_bytes, *p) && p + 1 != end && !IsAny(p[1], breaks) ? 2 : 1;
}

// Copies [begin, end) to out; returns the end of the copy.
template <typename Unit>
inline Unit* Copy(const Unit* begin, const Unit* end, Unit* out) {
  const auto size = static_cast<std::size_t>(end - begin);
  if (size != 0) std::memcpy(out, begin, size * sizeof(Unit));
  return out + size;
}

// Counts the bits of a mask that has few (stops in a vector): without a
// population-count instruction in the baseline, a loop over them beats the
// library's general routine.
inline unsigned FewBits(unsigned mask) {
  unsigned n = 0;
  for (; mask != 0; mask &= mask - 1) ++n;
  return n;
}

// Counts the bits of a 16-bit mask (a vector's) without a branch: the
// baseline has no population-count instruction.
struct BitCounts {
  unsigned char of[256];
  constexpr BitCounts() : of{} {
    for (int i = 0; i < 256; ++i) of[i] = static_cast<unsigned char>((i & 1) + of[i / 2]);
  }
};
inline constexpr BitCounts kBitCounts;
inline unsigned Bits(unsigned mask) {
  return kBitCounts.of[mask & 0xFF] + kBitCounts.of[mask >> 8 & 0xFF];
}

// Whether a delimiter holds CR or LF: such a delimiter never matches, as
// line ends come first.
template <typename Text>
inline bool HoldsLineEnd(const Text& text) {
  for (auto c : text) {
    if (c == '\r' || c == '\n') return true;
  }
  return false;
}

// The first unit of [p, end) that equals one of stops, or end.
template <typename Unit, std::size_t N>
inline const Unit* FindAny(const Unit* p, const Unit* end, const Unit (&stops)[N]) {
#ifdef DELVORA_HAVE_SSE2
  using V = Vector<Unit>;
  __m128i needles[N];
  for (std::size_t i = 0; i < N; ++i) needles[i] = V::Splat(stops[i]);
  while (static_cast<std::size_t>(end - p) >= V::kUnits) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(Matches<Unit>(x, needles)));
    if (mask != 0) return p + V::Index(mask);
    p += V::kUnits;
  }
#endif
  while (p != end && !IsAny(*p, stops)) ++p;
  return p;
}

// Copies units from p to out up to the first one that equals one of stops
// (or end), turning each `from` into a tab on the way when kReplace. Returns
// the stop's position; out moves on by the units copied. May write up to
// kSlackUnits units beyond that.
template <bool kReplace, typename Unit, std::size_t N>
inline const Unit* CopyUntilAny(const Unit* p, const Unit* end, Unit*& out, Unit from,
                                const Unit (&stops)[N]) {
  Unit* o = out;
#ifdef DELVORA_HAVE_SSE2
  using V = Vector<Unit>;
  __m128i needles[N];
  for (std::size_t i = 0; i < N; ++i) needles[i] = V::Splat(stops[i]);
  while (static_cast<std::size_t>(end - p) >= V::kUnits) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(Matches<Unit>(x, needles)));
    if constexpr (kReplace) {
      const __m128i is = V::Equal(x, V::Splat(from));
      x = _mm_or_si128(_mm_andnot_si128(is, x), _mm_and_si128(is, V::Splat(Unit('\t'))));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), x);
    if (mask != 0) {
      const std::size_t k = V::Index(mask);
      out = o + k;
      return p + k;
    }
    p += V::kUnits;
    o += V::kUnits;
  }
#endif
  for (; p != end; ++p) {
    const Unit c = *p;
    if (IsAny(c, stops)) break;
    *o++ = kReplace && c == from ? Unit('\t') : c;
  }
  out = o;
  return p;
}

#ifdef DELVORA_HAVE_SSE2
// Units read at a time by the chunk loops (the quote-aware conversion's and
// the check's): one bit of a 64-bit mask each.
inline constexpr std::size_t kChunkUnits = 64;

// Bit i of the result is the parity of bits 0..i of x: with x the quotes of
// a stretch that starts outside quotes, the units inside quotes (an opening
// quote included, a closing one not).
inline std::uint64_t PrefixParity(std::uint64_t x) {
  x ^= x << 1;
  x ^= x << 2;
  x ^= x << 4;
  x ^= x << 8;
  x ^= x << 16;
  x ^= x << 32;
  return x;
}

// The bits of a mask that has few (line breaks in a chunk).
inline std::uint64_t FewBits64(std::uint64_t mask) {
  std::uint64_t n = 0;
  for (; mask != 0; mask &= mask - 1) ++n;
  return n;
}

// 64 units held in vectors, asked for the units equal to one value as a
// mask of 64 bits: 16-byte vectors, which every x86-64 processor has.
template <typename Unit>
struct NarrowChunk {
  using V = scan::Vector<Unit>;
  static constexpr std::size_t kVectors = kChunkUnits / V::kUnits;
  __m128i x[kVectors];

  explicit NarrowChunk(const Unit* p) {
    for (std::size_t i = 0; i < kVectors; ++i)
      x[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i * V::kUnits));
  }

  std::uint64_t Equal(Unit c) const {
    const __m128i needle = V::Splat(c);
    std::uint64_t mask = 0;
    if constexpr (sizeof(Unit) == 1) {
      for (std::size_t i = 0; i < kVectors; ++i)
        mask |= static_cast<std::uint64_t>(
                    static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x[i], needle))))
                << (16 * i);
    } else {
      // Two vectors of eight units packed into one of sixteen bytes.
      for (std::size_t i = 0; i < kVectors; i += 2) {
        const __m128i both =
            _mm_packs_epi16(_mm_cmpeq_epi16(x[i], needle), _mm_cmpeq_epi16(x[i + 1], needle));
        mask |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(both)))
                << (8 * i);
      }
    }
    return mask;
  }

  // Whether any unit equals c: cheaper than its mask for what is rare.
  bool Any(Unit c) const {
    const __m128i needle = V::Splat(c);
    __m128i hit = V::Equal(x[0], needle);
    for (std::size_t i = 1; i < kVectors; ++i) hit = _mm_or_si128(hit, V::Equal(x[i], needle));
    return _mm_movemask_epi8(hit) != 0;
  }

  // The units with d turned into a tab, stored at out (64 units).
  void StoreTabbed(Unit d, Unit* out) const {
    const __m128i delimiter = V::Splat(d);
    const __m128i flip = V::Splat(static_cast<Unit>(d ^ Unit('\t')));
    for (std::size_t i = 0; i < kVectors; ++i) {
      const __m128i y = _mm_xor_si128(x[i], _mm_and_si128(V::Equal(x[i], delimiter), flip));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i * V::kUnits), y);
    }
  }

  static constexpr bool kCompresses = false;
  static std::uint64_t Parity(std::uint64_t mask) { return PrefixParity(mask); }
  static std::uint64_t Count(std::uint64_t mask) { return FewBits64(mask); }
};

#ifdef DELVORA_WIDE_CHUNKS
// The same for bytes in two 32-byte vectors, where the processor has them
// (with a carry-less multiply for the parity and a population count).
struct Chunk32 {
  __m256i x[2];

  DELVORA_TARGET("avx2")
  explicit Chunk32(const char* p)
      : x{_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)),
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32))} {}

  DELVORA_TARGET("avx2") std::uint64_t Equal(char c) const {
    const __m256i needle = _mm256_set1_epi8(c);
    const auto low =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(x[0], needle)));
    const auto high =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(x[1], needle)));
    return low | static_cast<std::uint64_t>(high) << 32;
  }

  DELVORA_TARGET("avx2") bool Any(char c) const {
    const __m256i needle = _mm256_set1_epi8(c);
    const __m256i hit =
        _mm256_or_si256(_mm256_cmpeq_epi8(x[0], needle), _mm256_cmpeq_epi8(x[1], needle));
    return _mm256_testz_si256(hit, hit) == 0;
  }

  DELVORA_TARGET("avx2") void StoreTabbed(char d, char* out) const {
    const __m256i delimiter = _mm256_set1_epi8(d);
    const __m256i flip = _mm256_set1_epi8(static_cast<char>(d ^ '\t'));
    for (std::size_t i = 0; i < 2; ++i) {
      const __m256i y =
          _mm256_xor_si256(x[i], _mm256_and_si256(_mm256_cmpeq_epi8(x[i], delimiter), flip));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32 * i), y);
    }
  }

  static constexpr bool kCompresses = false;
  // Multiplying by all ones without carries sums (XORs) every bit below.
  DELVORA_TARGET("pclmul") static std::uint64_t Parity(std::uint64_t mask) {
    const __m128i product =
        _mm_clmulepi64_si128(_mm_cvtsi64_si128(static_cast<long long>(mask)), _mm_set1_epi8(-1), 0);
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(product));
  }
  DELVORA_TARGET("popcnt") static std::uint64_t Count(std::uint64_t mask) {
    return static_cast<std::uint64_t>(_mm_popcnt_u64(mask));
  }
};

// And in one 64-byte vector, comparisons giving the masks directly and the
// units kept gathered in one instruction.
struct Chunk64 {
  __m512i x;

  DELVORA_TARGET("avx512f,avx512bw") explicit Chunk64(const char* p) : x(_mm512_loadu_si512(p)) {}

  DELVORA_TARGET("avx512f,avx512bw") std::uint64_t Equal(char c) const {
    return _mm512_cmpeq_epi8_mask(x, _mm512_set1_epi8(c));
  }

  DELVORA_TARGET("avx512f,avx512bw") bool Any(char c) const { return Equal(c) != 0; }

  DELVORA_TARGET("avx512f,avx512bw") void StoreTabbed(char d, char* out) const {
    _mm512_storeu_si512(out, _mm512_mask_blend_epi8(_mm512_cmpeq_epi8_mask(x, _mm512_set1_epi8(d)),
                                                    x, _mm512_set1_epi8('\t')));
  }

  // The units of keep, with a tab for each unit of tabs, written together
  // at out (64 bytes written); returns the end of them.
  static constexpr bool kCompresses = true;
  DELVORA_TARGET("avx512f,avx512bw,avx512vbmi2,popcnt")
  char* StoreKept(std::uint64_t tabs, std::uint64_t keep, char* out) const {
    const __m512i tabbed = _mm512_mask_blend_epi8(tabs, x, _mm512_set1_epi8('\t'));
    _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep, tabbed));
    return out + _mm_popcnt_u64(keep);
  }

  static std::uint64_t Parity(std::uint64_t mask) { return Chunk32::Parity(mask); }
  static std::uint64_t Count(std::uint64_t mask) { return Chunk32::Count(mask); }
};
#endif
#endif

}  // namespace delvora::scan
