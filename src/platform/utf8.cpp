#include "platform/utf8.h"

#include <algorithm>
#include <cstdint>

namespace delvora {

std::size_t DecodeUtf8Sequence(std::string_view text, char32_t& code) {
  if (text.empty()) return 0;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length;
  if (lead < 0x80) {
    code = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    code = lead & 0x1Fu;
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    code = lead & 0x0Fu;
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    code = lead & 0x07u;
    length = 4;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char next = byte(i);
    if ((next & 0xC0u) != 0x80u) return 0;
    code = (code << 6) | (next & 0x3Fu);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  if (overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

bool IsValidUtf8(std::string_view text) {
  char32_t code;
  while (!text.empty()) {
    const std::size_t length = DecodeUtf8Sequence(text, code);
    if (length == 0) return false;
    text.remove_prefix(length);
  }
  return true;
}

std::optional<std::u32string> Utf8ToCodePoints(std::string_view utf8) {
  std::u32string result;
  char32_t code;
  while (!utf8.empty()) {
    const std::size_t length = DecodeUtf8Sequence(utf8, code);
    if (length == 0) return std::nullopt;
    result.push_back(code);
    utf8.remove_prefix(length);
  }
  return result;
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8) {
  const auto points = Utf8ToCodePoints(utf8);
  if (!points) return std::nullopt;
  std::u16string result;
  for (char32_t cp : *points) {
    if (cp < 0x10000) {
      result.push_back(static_cast<char16_t>(cp));
    } else {
      cp -= 0x10000;
      result.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      result.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
  }
  return result;
}

namespace {

// On Windows a backslash separates a path's parts and no name holds one:
// it stays as it is.
#ifdef _WIN32
constexpr bool kBackslashSeparates = true;
#else
constexpr bool kBackslashSeparates = false;
#endif

// Unicode's Default_Ignorable_Code_Point set (which holds all of
// Bidi_Control) and the line and paragraph separators, which split a line
// for many readers.
constexpr char32_t kHidden[][2] = {
    {0x00AD, 0x00AD},   {0x034F, 0x034F},   {0x061C, 0x061C}, {0x115F, 0x1160}, {0x17B4, 0x17B5},
    {0x180B, 0x180F},   {0x200B, 0x200F},   {0x2028, 0x202E}, {0x2060, 0x206F}, {0x3164, 0x3164},
    {0xFE00, 0xFE0F},   {0xFEFF, 0xFEFF},   {0xFFA0, 0xFFA0}, {0xFFF0, 0xFFF8}, {0x1BCA0, 0x1BCA3},
    {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF},
};

void AppendHex(std::string& out, std::uint32_t value, int digits) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += kHex[(value >> shift) & 15];
}

void AppendJsonUnit(std::string& out, std::uint32_t unit) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(unit >> shift) & 15];
}

}  // namespace

bool IsHiddenCharacter(char32_t code) {
  if (code < 0x20 || code == 0x7F || (code >= 0x80 && code < 0xA0)) return true;
  for (const auto& range : kHidden) {
    if (code < range[0]) return false;
    if (code <= range[1]) return true;
  }
  return false;
}

std::string EscapeText(std::string_view text, EscapeStyle style, bool keep_line_breaks) {
  const bool json = style == EscapeStyle::kJson;
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const auto lead = static_cast<unsigned char>(text[0]);
    char32_t code = 0;
    const std::size_t length = DecodeUtf8Sequence(text, code);
    if (length == 0) {
      // A byte that is not UTF-8: as itself, or as the lone surrogate
      // Python's surrogateescape reads back as that byte.
      if (json) {
        AppendJsonUnit(out, 0xDC00u + lead);
      } else {
        out += "\\x";
        AppendHex(out, lead, 2);
      }
    } else if (keep_line_breaks && (code == '\r' || code == '\n')) {
      out += static_cast<char>(code);
    } else if (code == '\n') {
      out += "\\n";
    } else if (code == '\t') {
      out += "\\t";
    } else if (code == '\r') {
      out += "\\r";
    } else if (code == '\\' && (json || !kBackslashSeparates)) {
      out += "\\\\";
    } else if (code == '"' && json) {
      out += "\\\"";
    } else if (!IsHiddenCharacter(code)) {
      out.append(text.substr(0, length));
    } else if (json) {
      if (code >= 0x10000) {
        AppendJsonUnit(out, 0xD800u + ((code - 0x10000) >> 10));
        AppendJsonUnit(out, 0xDC00u + ((code - 0x10000) & 0x3FF));
      } else {
        AppendJsonUnit(out, code);
      }
    } else if (code < 0x80) {
      out += "\\x";
      AppendHex(out, code, 2);
    } else if (code < 0x10000) {
      out += "\\u";
      AppendHex(out, code, 4);
    } else {
      out += "\\U";
      AppendHex(out, code, 8);
    }
    text.remove_prefix(std::max<std::size_t>(length, 1));
  }
  return out;
}

std::string Shown(std::string_view text, bool keep_line_breaks) {
  return EscapeText(text, EscapeStyle::kShown, keep_line_breaks);
}

}  // namespace delvora
