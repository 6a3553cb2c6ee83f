#include "conversion/reference_converter.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <stdexcept>

#include "conversion/check.h"
#include "conversion/converter.h"

namespace delvora::testing {

namespace {

// Code points of UTF-8 text, decoded strictly (no overlong forms, no
// surrogates); false for text that is not UTF-8. Written out here rather
// than borrowed from a platform converter, so that every platform checks the
// engine against the same rules.
bool DecodeUtf8(std::string_view text, std::u32string& code_points) {
  code_points.clear();
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80   ? 1
                               : lead < 0xC2 ? 0
                               : lead < 0xE0 ? 2
                               : lead < 0xF0 ? 3
                               : lead < 0xF5 ? 4
                                             : 0;
    if (length == 0 || i + length > text.size()) return false;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    code_points.push_back(c);
    i += length;
  }
  return true;
}

// UTF-8 text as UTF-16LE bytes; false when it is not UTF-8.
bool EncodeUtf16Le(std::string_view text, std::string& result) {
  std::u32string code_points;
  if (!DecodeUtf8(text, code_points)) return false;
  result.clear();
  const auto unit = [&](char32_t u) {
    result.push_back(static_cast<char>(u & 0xFF));
    result.push_back(static_cast<char>(u >> 8));
  };
  for (const char32_t c : code_points) {
    if (c < 0x10000) {
      unit(c);
    } else {
      unit(0xD800 + ((c - 0x10000) >> 10));
      unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  return true;
}

// UTF-8 text in Windows-1252; false when a character has no byte there.
bool EncodeCp1252(std::string_view text, std::string& result) {
  // Bytes 0x80 to 0x9F; 0 where the code page leaves the byte undefined.
  static constexpr char16_t kHigh[32] = {
      0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  std::u32string code_points;
  if (!DecodeUtf8(text, code_points)) return false;
  result.clear();
  for (const char32_t c : code_points) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      result.push_back(static_cast<char>(c));
      continue;
    }
    const char16_t* found = std::find(std::begin(kHigh), std::end(kHigh), c);
    if (found == std::end(kHigh)) return false;
    result.push_back(static_cast<char>(0x80 + (found - std::begin(kHigh))));
  }
  return true;
}

bool IsLead932(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Lines end at LF, CR LF or a lone CR.
template <typename Unit>
std::vector<std::basic_string<Unit>> SplitLines(const std::basic_string<Unit>& text) {
  std::vector<std::basic_string<Unit>> lines;
  std::basic_string<Unit> line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == Unit('\n') || text[i] == Unit('\r')) {
      if (text[i] == Unit('\r') && i + 1 < text.size() && text[i + 1] == Unit('\n')) ++i;
      lines.push_back(line);
      line.clear();
    } else {
      line.push_back(text[i]);
    }
  }
  if (text.empty() || !line.empty()) lines.push_back(line);
  return lines;
}

template <typename Unit>
std::basic_string<Unit> Record(const std::basic_string<Unit>& line,
                               const std::basic_string<Unit>& delimiter, bool matches,
                               bool lead_932) {
  std::basic_string<Unit> record;
  std::size_t i = 0;
  while (i < line.size()) {
    if (matches && !delimiter.empty() && line.compare(i, delimiter.size(), delimiter) == 0) {
      record.push_back(Unit('\t'));
      i += delimiter.size();
      continue;
    }
    std::size_t width = 1;
    if (lead_932 && IsLead932(static_cast<unsigned char>(line[i])) && i + 1 < line.size())
      width = 2;
    record.append(line, i, width);
    i += width;
  }
  return record;
}

template <typename Unit>
std::basic_string<Unit> Convert(const std::basic_string<Unit>& text,
                                const std::basic_string<Unit>& delimiter, bool matches,
                                bool lead_932) {
  std::basic_string<Unit> result;
  for (const auto& line : SplitLines(text)) {
    result += Record(line, delimiter, matches, lead_932);
    result.push_back(Unit('\r'));
    result.push_back(Unit('\n'));
  }
  return result;
}

// The quote-aware reading, one unit at a time.
template <typename Unit>
struct QuotedRecords {
  std::vector<std::vector<std::basic_string<Unit>>> rows;
  std::vector<bool> lone_quoted_empty;  // the row is "" alone
  std::size_t unclosed_line = 0;
};

template <typename Unit>
QuotedRecords<Unit> ParseQuoted(const std::basic_string<Unit>& text,
                                const std::basic_string<Unit>& delimiter, bool matches) {
  const bool active = matches && !delimiter.empty() &&
                      delimiter.find(Unit('\r')) == std::basic_string<Unit>::npos &&
                      delimiter.find(Unit('\n')) == std::basic_string<Unit>::npos;
  const auto delimiter_at = [&](std::size_t i) {
    return active && text.compare(i, delimiter.size(), delimiter) == 0;
  };
  QuotedRecords<Unit> result;
  std::size_t i = 0, line = 1;
  const std::size_t n = text.size();
  while (i < n) {
    std::vector<std::basic_string<Unit>> record;
    bool lone = false;
    for (;;) {
      std::basic_string<Unit> field;
      bool quoted = false;
      if (i < n && text[i] == Unit('"')) {
        quoted = true;
        const std::size_t open_line = line;
        ++i;
        for (;;) {
          if (i >= n) {
            result.unclosed_line = open_line;
            return result;
          }
          const Unit c = text[i];
          if (c == Unit('"')) {
            if (i + 1 < n && text[i + 1] == Unit('"')) {
              field.push_back(c);
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          if (c == Unit('\n') || (c == Unit('\r') && !(i + 1 < n && text[i + 1] == Unit('\n'))))
            ++line;
          field.push_back(c);
          ++i;
        }
      }
      while (i < n && text[i] != Unit('\r') && text[i] != Unit('\n') && !delimiter_at(i))
        field.push_back(text[i++]);
      lone = record.empty() && quoted && field.empty();
      record.push_back(field);
      if (i < n && delimiter_at(i)) {
        i += delimiter.size();
        continue;
      }
      break;
    }
    if (i < n) {
      i += text[i] == Unit('\r') && i + 1 < n && text[i + 1] == Unit('\n') ? 2 : 1;
      ++line;
    }
    result.lone_quoted_empty.push_back(lone && record.size() == 1);
    result.rows.push_back(std::move(record));
  }
  return result;
}

template <typename Unit>
std::basic_string<Unit> WriteQuoted(const QuotedRecords<Unit>& records, bool escaped) {
  std::basic_string<Unit> out;
  for (std::size_t r = 0; r < records.rows.size(); ++r) {
    const auto& row = records.rows[r];
    if (!escaped && records.lone_quoted_empty[r]) out += {Unit('"'), Unit('"')};
    for (std::size_t f = 0; f < row.size(); ++f) {
      if (f != 0) out.push_back(Unit('\t'));
      const auto& field = row[f];
      if (escaped) {
        for (Unit c : field) {
          const char* escape = c == Unit('\t')   ? "t"
                               : c == Unit('\n') ? "n"
                               : c == Unit('\r') ? "r"
                               : c == Unit('\\') ? "\\"
                                                 : nullptr;
          if (escape != nullptr) {
            out.push_back(Unit('\\'));
            out.push_back(Unit(escape[0]));
          } else {
            out.push_back(c);
          }
        }
        continue;
      }
      bool needs = false;
      for (Unit c : field)
        needs |= c == Unit('\t') || c == Unit('\r') || c == Unit('\n') || c == Unit('"');
      if (!needs) {
        out += field;
        continue;
      }
      out.push_back(Unit('"'));
      for (Unit c : field) {
        if (c == Unit('"')) out.push_back(c);
        out.push_back(c);
      }
      out.push_back(Unit('"'));
    }
    out += {Unit('\r'), Unit('\n')};
  }
  return out;
}

template <typename Unit>
std::basic_string<Unit> ConvertQuoted(const std::basic_string<Unit>& text,
                                      const std::basic_string<Unit>& delimiter, bool matches,
                                      Quoting quoting) {
  const QuotedRecords<Unit> records = ParseQuoted(text, delimiter, matches);
  if (records.unclosed_line != 0) throw ReferenceUnclosedQuote{records.unclosed_line};
  return WriteQuoted(records, quoting == Quoting::kEscaped);
}

template <typename Unit>
std::basic_string<Unit> ConvertIn(Quoting quoting, const std::basic_string<Unit>& text,
                                  const std::basic_string<Unit>& delimiter, bool matches,
                                  bool lead_932) {
  if (quoting == Quoting::kTextual) return Convert(text, delimiter, matches, lead_932);
  if (lead_932) throw std::invalid_argument("two-byte code pages not covered when quoting");
  return ConvertQuoted(text, delimiter, matches, quoting);
}

// Marked text that cannot be decoded throws ReferenceMalformed at the first
// such place: an unpaired surrogate, a UTF-32 value past U+10FFFF or in the
// surrogate range, a cut last unit. offset: the mark's length.
std::u16string DecodeUnits(std::string_view bytes, bool utf32, bool big_endian,
                           std::size_t offset) {
  std::u16string units;
  const std::size_t width = utf32 ? 4 : 2;
  std::size_t i = 0;
  std::size_t high_at = 0;
  bool high = false;
  for (; i + width <= bytes.size(); i += width) {
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < width; ++k) {
      const auto b = static_cast<unsigned char>(bytes[i + k]);
      v |= std::uint32_t{b} << (8 * (big_endian ? width - 1 - k : k));
    }
    const bool is_high = v >= 0xD800 && v <= 0xDBFF, is_low = v >= 0xDC00 && v <= 0xDFFF;
    if (utf32 && (is_high || is_low || v > 0x10FFFF)) throw ReferenceMalformed{offset + i};
    if (high && !is_low) throw ReferenceMalformed{offset + high_at};
    if (!high && is_low) throw ReferenceMalformed{offset + i};
    high = is_high;
    high_at = i;
    if (v <= 0xFFFF) {
      units.push_back(static_cast<char16_t>(v));
    } else {
      units.push_back(static_cast<char16_t>(0xD800 + ((v - 0x10000) >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + ((v - 0x10000) & 0x3FF)));
    }
  }
  if (high) throw ReferenceMalformed{offset + high_at};
  if (i < bytes.size()) throw ReferenceMalformed{offset + i};
  return units;
}

}  // namespace

namespace {

struct ReferenceMark {
  std::size_t length = 0;
  bool utf32 = false, big = false, utf8 = false, wide = false;
};

ReferenceMark MarkOf(std::string_view input) {
  unsigned char b[4] = {};
  std::memcpy(b, input.data(), std::min<std::size_t>(4, input.size()));
  const std::size_t n = input.size();
  ReferenceMark m;
  if (n >= 4 && b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0) {
    m.length = 4, m.utf32 = true, m.wide = true;
  } else if (n >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF) {
    m.length = 4, m.utf32 = true, m.big = true, m.wide = true;
  } else if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    m.length = 3, m.utf8 = true;
  } else if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    m.length = 2, m.wide = true;
  } else if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
    m.length = 2, m.big = true, m.wide = true;
  }
  return m;
}

}  // namespace

std::string ReferenceConvert(std::string_view input, std::string_view delimiter, unsigned code_page,
                             Quoting quoting) {
  const ReferenceMark m = MarkOf(input);
  const std::size_t mark = m.length;
  const bool utf32 = m.utf32, big = m.big, utf8 = m.utf8, wide = m.wide;
  const std::string_view body = input.substr(mark);

  if (wide) {
    std::string d16;
    const bool matches = EncodeUtf16Le(delimiter, d16);
    std::u16string d(d16.size() / 2, u'\0');
    std::memcpy(d.data(), d16.data(), d16.size());
    const std::u16string out =
        ConvertIn(quoting, DecodeUnits(body, utf32, big, mark), d, matches, false);
    std::string bytes = "\xFF\xFE";
    for (char16_t u : out) {
      bytes.push_back(static_cast<char>(u & 0xFF));
      bytes.push_back(static_cast<char>(u >> 8));
    }
    return bytes;
  }
  std::string d;
  bool matches = true;
  if (utf8 || code_page == 65001) {
    d = std::string(delimiter);
  } else if (code_page == 1252) {
    matches = EncodeCp1252(delimiter, d);
  } else if (code_page == 932) {
    matches = std::all_of(delimiter.begin(), delimiter.end(),
                          [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    d = std::string(delimiter);
  } else {
    throw std::invalid_argument("code page not covered by the reference");
  }
  const bool lead_932 = !utf8 && code_page == 932;
  std::string out = utf8 ? "\xEF\xBB\xBF" : "";
  return out + ConvertIn(quoting, std::string(body), d, matches, lead_932);
}

std::vector<std::vector<std::string>> TsvRows(std::string_view output, std::string_view input) {
  // The input's mark decides the output's form: a field of unmarked text
  // may itself begin with bytes that look like a mark.
  const ReferenceMark m = MarkOf(input);
  std::vector<std::vector<std::string>> rows;
  if (m.wide) {
    output.remove_prefix(std::min<std::size_t>(2, output.size()));
    std::u16string units(output.size() / 2, u'\0');
    std::memcpy(units.data(), output.data(), units.size() * 2);
    for (const auto& row : ParseQuoted(units, std::u16string(u"\t"), true).rows) {
      rows.emplace_back();
      for (const auto& field : row)
        rows.back().emplace_back(reinterpret_cast<const char*>(field.data()), field.size() * 2);
    }
    return rows;
  }
  if (m.utf8) output.remove_prefix(std::min<std::size_t>(3, output.size()));
  return ParseQuoted(std::string(output), std::string("\t"), true).rows;
}

namespace {

std::string CrLfToLf(const std::string& output, bool wide) {
  std::string lf;
  const std::string_view pair = wide ? std::string_view("\r\0\n\0", 4) : "\r\n";
  const std::size_t unit = wide ? 2 : 1;
  for (std::size_t at = 0; at < output.size();) {
    if (output.compare(at, pair.size(), pair) == 0) {
      at += unit;
      continue;
    }
    lf.append(output, at, unit);
    at += unit;
  }
  return lf;
}

constexpr const char* kFuzzDelimiters[] = {
    ",",    ", ",       ";", "\t", "|",  "::", "\r",           "\n",
    "\r\n", "\xC3\xA9", "",  "ab", ",,", "a",  "\xE2\x82\xAC", "\xF0\x9F\x98\x80"};
constexpr unsigned kFuzzPages[] = {65001, 1252, 932};
constexpr Quoting kFuzzModes[] = {Quoting::kTextual, Quoting::kTextual, Quoting::kQuoted,
                                  Quoting::kEscaped};

}  // namespace

std::string DifferentialCase(std::string_view data) {
  if (data.size() < 3) return "";
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(data[i]); };
  const std::string delimiter = kFuzzDelimiters[byte(0) % std::size(kFuzzDelimiters)];
  const Quoting mode = kFuzzModes[(byte(2) >> 5) % std::size(kFuzzModes)];
  unsigned page = kFuzzPages[(byte(0) >> 4) % std::size(kFuzzPages)];
  // The quote-aware reference reads no two-byte code page.
  if (mode != Quoting::kTextual && page == 932) page = 1252;
  const std::size_t block = 16 + byte(1) % 64;
  const std::size_t piece = 1 + byte(2) % 32;
  const bool behind = (byte(1) & 0x80) != 0;
  // LF line ends: the reference's CR LF pairs become LF. Not for kQuoted,
  // whose quoted fields keep their own line breaks.
  const bool lf = (byte(1) & 0x40) != 0 && mode != Quoting::kQuoted;
  const std::string_view input = data.substr(3);
  const std::string where = " (delimiter " + std::to_string(delimiter.size()) +
                            " bytes, code page " + std::to_string(page) + ", mode " +
                            std::to_string(static_cast<int>(mode)) + (lf ? ", LF" : "") + ")";
  std::string expected;
  try {
    expected = ReferenceConvert(input, delimiter, page, mode);
  } catch (const ReferenceMalformed& malformed) {
    try {
      EngineConvert(input, delimiter, page, block, piece, byte(2), behind, mode, lf);
    } catch (const ConversionFailure& failure) {
      if (failure.description().find(" at byte " + std::to_string(malformed.offset) + ":") ==
          std::string::npos)
        return "offset of malformed text" + where;
      return "";
    }
    return "malformed text not reported" + where;
  } catch (const ReferenceUnclosedQuote& unclosed) {
    try {
      EngineConvert(input, delimiter, page, block, piece, byte(2), behind, mode, lf);
    } catch (const ConversionFailure& failure) {
      if (failure.description().find("line " + std::to_string(unclosed.line) + " ") ==
          std::string::npos)
        return "line of an unclosed quote" + where;
      return "";
    }
    return "unclosed quote not reported" + where;
  }
  const std::string actual =
      EngineConvert(input, delimiter, page, block, piece, byte(2), behind, mode, lf);
  if (lf) expected = CrLfToLf(expected, MarkOf(input).wide);
  // A field longer than a block may come out quoted without needing it.
  const bool same = mode == Quoting::kQuoted ? TsvRows(actual, input) == TsvRows(expected, input)
                                             : actual == expected;
  return same ? "" : "output" + where;
}

std::string CheckDifferentialCase(std::string_view data) {
  if (data.size() < 3) return "";
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(data[i]); };
  std::string delimiter = kFuzzDelimiters[byte(0) % std::size(kFuzzDelimiters)];
  const std::string_view input = data.substr(3);
  const auto check = [&](std::size_t block, std::size_t piece) {
    ChoppySource source{std::string(input), piece, byte(2)};
    ConversionOptions options;
    options.delimiter = delimiter;
    options.code_page = NarrowCodePage{65001};
    options.block_size = block;
    return CheckStream(source, options);
  };
  const CheckReport report = check(16 + byte(1) % 64, 1 + byte(2) % 32);
  const CheckReport whole = check(1 << 20, 1 << 20);
  for (const Quoting mode : {Quoting::kTextual, Quoting::kQuoted, Quoting::kEscaped}) {
    if (FormatCheckJson(report, mode, true) != FormatCheckJson(whole, mode, true))
      return "report differs with the blocks: " + FormatCheckJson(report, mode, true) + " | " +
             FormatCheckJson(whole, mode, true);
  }
  std::string quoted;
  try {
    quoted = ReferenceConvert(input, delimiter, 65001, Quoting::kQuoted);
  } catch (const ReferenceMalformed& malformed) {
    return report.malformed != 0 && report.first_malformed == malformed.offset
               ? ""
               : "malformed text's offset";
  } catch (const ReferenceUnclosedQuote& unclosed) {
    return report.unclosed_quote_line == unclosed.line ? "" : "unclosed quote's line";
  }
  if (report.malformed != 0) return "malformed text where there is none";
  if (report.unclosed_quote_line != 0) return "an unclosed quote where every quote closes";
  const auto rows = TsvRows(quoted, input);
  std::size_t low = rows.empty() ? 0 : SIZE_MAX, high = 0;
  for (const auto& row : rows) low = std::min(low, row.size()), high = std::max(high, row.size());
  if (report.records != rows.size() || report.min_fields != low || report.max_fields != high)
    return "quote-aware records or fields";
  // Every textual line ends in CR LF in the reference's output.
  const std::string plain = ReferenceConvert(input, delimiter, 65001, Quoting::kTextual);
  const bool wide = MarkOf(input).wide;
  const std::string_view pair = wide ? std::string_view("\r\0\n\0", 4) : "\r\n";
  std::uint64_t lines = 0;
  for (std::size_t at = wide ? 2 : 0; at + pair.size() <= plain.size(); at += wide ? 2 : 1) {
    if (plain.compare(at, pair.size(), pair) == 0) ++lines;
  }
  if (report.lines != lines) return "textual lines";
  const std::uint64_t ends = report.crlf_ends + report.lf_ends + report.cr_ends;
  if (ends != lines && ends + 1 != lines) return "line ends";
  return "";
}

std::size_t ChoppySource::Read(void* buffer, std::size_t size) {
  const std::size_t left = data_.size() - position_;
  if (left == 0 || size == 0) return 0;
  std::uniform_int_distribution<std::size_t> piece(1, max_piece_);
  const std::size_t n = std::min({left, size, piece(random_)});
  std::memcpy(buffer, data_.data() + position_, n);
  position_ += n;
  return n;
}

std::string EngineConvert(std::string_view input, std::string_view delimiter, unsigned code_page,
                          std::size_t block_size, std::size_t max_piece, unsigned seed,
                          bool write_behind, Quoting quoting, bool lf) {
  ChoppySource source{std::string(input), max_piece, seed};
  StringSink sink;
  ConversionOptions options;
  options.delimiter = std::string(delimiter);
  options.code_page = NarrowCodePage{code_page};
  options.block_size = block_size;
  options.write_behind = write_behind;
  options.quoting = quoting;
  options.line_end = lf ? LineEnd::kLf : LineEnd::kCrLf;
  ConvertStream(source, sink, options);
  return sink.text;
}

std::string RandomInput(std::mt19937& random, std::size_t max_pieces) {
  using namespace std::literals;
  static const std::string_view kMarks[] = {""sv,
                                            ""sv,
                                            ""sv,
                                            "\xEF\xBB\xBF"sv,
                                            "\xFF\xFE"sv,
                                            "\xFE\xFF"sv,
                                            "\xFF\xFE\x00\x00"sv,
                                            "\x00\x00\xFE\xFF"sv};
  static const std::string_view kPieces[] = {","sv,
                                             ", "sv,
                                             ";"sv,
                                             "\t"sv,
                                             "\r"sv,
                                             "\n"sv,
                                             "\r\n"sv,
                                             "\r\r\n"sv,
                                             "\n\n"sv,
                                             "::"sv,
                                             "a"sv,
                                             "b"sv,
                                             "ab"sv,
                                             "|"sv,
                                             "||"sv,
                                             "x"sv,
                                             "\xC3\xA9"sv,
                                             "\xE2\x82\xAC"sv,
                                             "\xF0\x9F\x98\x80"sv,
                                             "\xE6\x97\xA5"sv,
                                             "\xC3"sv,
                                             "\xA9"sv,
                                             "\x80"sv,
                                             "\x81\x7C"sv,
                                             "\x81"sv,
                                             "\x7C"sv,
                                             "\""sv,
                                             " "sv,
                                             "\x00"sv,
                                             "\xFF"sv,
                                             "\xFE"sv,
                                             "\x00,\x00"sv,
                                             ",\x00"sv,
                                             "\n\x00"sv,
                                             "\r\x00\n\x00"sv,
                                             "\x00\x0A"sv,
                                             "\x00\xD8"sv,
                                             "\x00\xDC"sv,
                                             "\x3D\xD8\x00\xDE"sv,
                                             "\x00\x00\x00"sv};
  std::string text;
  std::uniform_int_distribution<std::size_t> mark_pick(0, std::size(kMarks) - 1);
  text.append(kMarks[mark_pick(random)]);
  std::uniform_int_distribution<std::size_t> count(0, max_pieces);
  std::uniform_int_distribution<std::size_t> pick(0, std::size(kPieces) - 1);
  std::uniform_int_distribution<int> byte(0, 255);
  const std::size_t pieces = count(random);
  for (std::size_t i = 0; i < pieces; ++i) {
    const std::size_t p = pick(random);
    if (p % 7 == 6) {
      text.push_back(static_cast<char>(byte(random)));
    } else {
      text.append(kPieces[p]);
    }
  }
  return text;
}

std::string RandomDelimiter(std::mt19937& random) {
  static const char* const kDelimiters[] = {",",
                                            ", ",
                                            ";",
                                            "\t",
                                            "|",
                                            "::",
                                            "ab",
                                            "a",
                                            "\r",
                                            "\n",
                                            "\r\n",
                                            "\xC3\xA9",
                                            "\xE2\x82\xAC",
                                            "\xF0\x9F\x98\x80",
                                            "\xE6\x97\xA5",
                                            ",,",
                                            "x,",
                                            "",
                                            "\x7C\x7C",
                                            " ",
                                            "\"",
                                            "\xC3\xA9,"};
  std::uniform_int_distribution<std::size_t> pick(0, std::size(kDelimiters) - 1);
  return kDelimiters[pick(random)];
}

}  // namespace delvora::testing
