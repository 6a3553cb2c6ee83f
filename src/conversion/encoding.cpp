#include "conversion/encoding.h"

#include <algorithm>
#include <cstring>

#include "conversion/converter.h"
#include "conversion/text_reader.h"
#include "conversion/unit_scan.h"
#include "platform/app_error.h"

#ifdef DELVORA_HAVE_AVX2_PATH
#include <immintrin.h>
#endif

namespace delvora {

UnicodeMark DetectUnicode(const unsigned char (&b)[4], std::uint64_t length) {
  UnicodeMark mark;
  auto take = [&mark](TextEncoding encoding, std::size_t size) {
    mark.encoding = encoding;
    mark.mark_length = size;
    mark.file_is_utf8 = encoding == TextEncoding::kUtf8;
    mark.file_is_unicode = !mark.file_is_utf8;
    return mark;
  };
  if (length >= 4 && b[0] == 0xFF && b[1] == 0xFE && b[2] == 0x00 && b[3] == 0x00)
    return take(TextEncoding::kUtf32Le, 4);
  if (length >= 4 && b[0] == 0x00 && b[1] == 0x00 && b[2] == 0xFE && b[3] == 0xFF)
    return take(TextEncoding::kUtf32Be, 4);
  if (length >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
    return take(TextEncoding::kUtf8, 3);
  if (length >= 2 && b[0] == 0xFF && b[1] == 0xFE) return take(TextEncoding::kUtf16Le, 2);
  if (length >= 2 && b[0] == 0xFE && b[1] == 0xFF) return take(TextEncoding::kUtf16Be, 2);
  return mark;
}

UnicodeMark DetectUnicode(const std::string& path) {
  FileSource source(path);
  unsigned char head[4] = {};
  const std::size_t got = ReadUpTo(source, head, sizeof head);
  return DetectUnicode(head, got);
}

std::string_view OutputMarkFor(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kNarrow:
      return {};
    case TextEncoding::kUtf8:
      return "\xEF\xBB\xBF";
    default:
      return "\xFF\xFE";
  }
}

bool WritesUtf16(TextEncoding encoding) {
  return encoding != TextEncoding::kNarrow && encoding != TextEncoding::kUtf8;
}

const char* EncodingName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kUtf8:
      return "UTF-8";
    case TextEncoding::kUtf16Le:
      return "UTF-16LE";
    case TextEncoding::kUtf16Be:
      return "UTF-16BE";
    case TextEncoding::kUtf32Le:
      return "UTF-32LE";
    case TextEncoding::kUtf32Be:
      return "UTF-32BE";
    case TextEncoding::kNarrow:
      break;
  }
  return "none";
}

void MalformedLog::Found(std::uint64_t offset, const char* what) {
  if (tally_ == nullptr) {
    throw ConversionFailure(
        ConversionFailure::Stage::kRead,
        StandardError(kErrInvalidFormat, std::string("malformed ") + EncodingName(encoding_) +
                                             " text at byte " + std::to_string(offset) + ": " +
                                             what));
  }
  if (tally_->count++ == 0) tally_->first_offset = offset;
}

namespace {

constexpr const char* kUnpaired = "an unpaired surrogate";

bool IsHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

#ifdef DELVORA_HAVE_AVX2_PATH
namespace {

// The units from i on up to a vector holding a surrogate: sixteen at a time.
DELVORA_AVX2 std::size_t SkipWithoutSurrogates(const char16_t* units, std::size_t i,
                                               std::size_t count) {
  const __m256i range = _mm256_set1_epi16(static_cast<short>(0xF800));
  const __m256i surrogate = _mm256_set1_epi16(static_cast<short>(0xD800));
  for (; count - i >= 32; i += 32) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(units + i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(units + i + 16));
    const __m256i hits = _mm256_or_si256(_mm256_cmpeq_epi16(_mm256_and_si256(a, range), surrogate),
                                         _mm256_cmpeq_epi16(_mm256_and_si256(b, range), surrogate));
    if (_mm256_testz_si256(hits, hits) == 0) break;
  }
  return i;
}

}  // namespace
#endif

void SurrogatePairs::Check(const char16_t* units, std::size_t count, std::uint64_t offset) {
  std::size_t i = 0;
  while (i < count) {
#ifdef DELVORA_HAVE_SSE2
    // Most text holds no surrogate at all: eight units at a time.
    if (!high_waiting_) {
#ifdef DELVORA_HAVE_AVX2_PATH
      if (scan::HasAvx2()) i = SkipWithoutSurrogates(units, i, count);
#endif
      const __m128i range = _mm_set1_epi16(static_cast<short>(0xF800));
      const __m128i surrogate = _mm_set1_epi16(static_cast<short>(0xD800));
      const auto any = [&](std::size_t at) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + at));
        return _mm_cmpeq_epi16(_mm_and_si128(x, range), surrogate);
      };
      while (count - i >= 32) {
        const __m128i hits =
            _mm_or_si128(_mm_or_si128(any(i), any(i + 8)), _mm_or_si128(any(i + 16), any(i + 24)));
        if (_mm_movemask_epi8(hits) != 0) break;
        i += 32;
      }
      while (count - i >= 8 && _mm_movemask_epi8(any(i)) == 0) i += 8;
      if (i == count) break;
    }
#endif
    const char16_t u = units[i];
    const std::uint64_t at = offset + 2 * i;
    ++i;
    if (high_waiting_) {
      high_waiting_ = false;
      if (IsLow(u)) continue;
      log_.Found(high_offset_, kUnpaired);
    }
    if (IsHigh(u)) {
      high_waiting_ = true;
      high_offset_ = at;
    } else if (IsLow(u)) {
      log_.Found(at, kUnpaired);
    }
  }
}

void SurrogatePairs::Finish() {
  if (!high_waiting_) return;
  high_waiting_ = false;
  log_.Found(high_offset_, kUnpaired);
}

UnitDecoder::UnitDecoder(TextEncoding encoding, std::size_t mark_length, MalformedLog& log)
    : encoding_(encoding),
      unit_size_(encoding == TextEncoding::kUtf32Le || encoding == TextEncoding::kUtf32Be ? 4 : 2),
      log_(log),
      pairs_(log),
      offset_(mark_length) {}

std::size_t UnitDecoder::DecodeOne(const unsigned char* u, std::uint64_t offset,
                                   char16_t* out) const {
  switch (encoding_) {
    case TextEncoding::kUtf16Be:
      out[0] = static_cast<char16_t>(u[0] << 8 | u[1]);
      return 1;
    case TextEncoding::kUtf32Le:
    case TextEncoding::kUtf32Be: {
      const bool le = encoding_ == TextEncoding::kUtf32Le;
      const std::uint32_t v = le ? (std::uint32_t{u[3]} << 24 | std::uint32_t{u[2]} << 16 |
                                    std::uint32_t{u[1]} << 8 | u[0])
                                 : (std::uint32_t{u[0]} << 24 | std::uint32_t{u[1]} << 16 |
                                    std::uint32_t{u[2]} << 8 | u[3]);
      if (v >= 0xD800 && v <= 0xDFFF) {
        log_.Found(offset, "a surrogate code point");
        out[0] = u'\uFFFD';
        return 1;
      }
      if (v < 0x10000) {
        out[0] = static_cast<char16_t>(v);
        return 1;
      }
      if (v > 0x10FFFF) {
        log_.Found(offset, "a value above U+10FFFF");
        out[0] = u'\uFFFD';
        return 1;
      }
      const std::uint32_t s = v - 0x10000;
      out[0] = static_cast<char16_t>(0xD800 + (s >> 10));
      out[1] = static_cast<char16_t>(0xDC00 + (s & 0x3FF));
      return 2;
    }
    default:
      out[0] = static_cast<char16_t>(u[1] << 8 | u[0]);
      return 1;
  }
}

std::size_t UnitDecoder::Decode(const unsigned char* data, std::size_t size, char16_t* out) {
  char16_t* o = out;
  // The first byte of the first unit completed here, and of the next one.
  const std::uint64_t start = offset_ - pending_size_;
  std::uint64_t at = start;
  offset_ += size;
  // Complete the unit left over from the previous block first.
  if (pending_size_ > 0) {
    const std::size_t need = std::min(unit_size_ - pending_size_, size);
    std::memcpy(pending_ + pending_size_, data, need);
    pending_size_ += need;
    data += need;
    size -= need;
    if (pending_size_ < unit_size_) return 0;
    o += DecodeOne(pending_, at, o);
    at += unit_size_;
    pending_size_ = 0;
  }
  const std::size_t whole = size - size % unit_size_;
  if (encoding_ == TextEncoding::kUtf16Le) {
    // The common case: a straight loop the compiler turns into vector code.
    const std::size_t count = whole / 2;
    for (std::size_t i = 0; i < count; ++i)
      o[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    o += count;
  } else if (encoding_ == TextEncoding::kUtf16Be) {
    const std::size_t count = whole / 2;
    for (std::size_t i = 0; i < count; ++i)
      o[i] = static_cast<char16_t>(data[2 * i] << 8 | data[2 * i + 1]);
    o += count;
  } else {
    for (std::size_t i = 0; i < whole; i += unit_size_) o += DecodeOne(data + i, at + i, o);
  }
  // UTF-32 values were checked one by one and make only whole pairs.
  if (unit_size_ == 2) pairs_.Check(out, static_cast<std::size_t>(o - out), start);
  pending_size_ = size - whole;
  std::memcpy(pending_, data + whole, pending_size_);
  return static_cast<std::size_t>(o - out);
}

std::size_t UnitDecoder::Finish(char16_t* out) {
  if (unit_size_ == 2) pairs_.Finish();
  if (pending_size_ == 0) return 0;
  const std::uint64_t at = offset_ - pending_size_;
  pending_size_ = 0;
  log_.Found(at, unit_size_ == 2 ? "an odd last byte" : "a cut last unit");
  out[0] = u'\uFFFD';
  return 1;
}

}  // namespace delvora
