#include "platform/utf8.h"

#include <algorithm>

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

bool IsInvisibleFormat(char32_t code) {
  return code == 0x061C || (code >= 0x200B && code <= 0x200F) ||
         (code >= 0x2028 && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069) || code == 0xFEFF;
}

}  // namespace

std::string Shown(std::string_view text, bool keep_line_breaks) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string shown;
  shown.reserve(text.size());
  while (!text.empty()) {
    const auto lead = static_cast<unsigned char>(text[0]);
    char32_t code = 0;
    const std::size_t length = DecodeUtf8Sequence(text, code);
    if (length == 0) {
      shown += "\\x";
      shown += kHex[lead >> 4];
      shown += kHex[lead & 15];
    } else if (keep_line_breaks && (code == '\r' || code == '\n')) {
      shown += static_cast<char>(code);
    } else if (code == '\n') {
      shown += "\\n";
    } else if (code == '\t') {
      shown += "\\t";
    } else if (code == '\r') {
      shown += "\\r";
    } else if (code < 0x20 || code == 0x7F) {
      shown += "\\x";
      shown += kHex[code >> 4];
      shown += kHex[code & 15];
    } else if ((code >= 0x80 && code < 0xA0) || IsInvisibleFormat(code)) {
      shown += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) shown += kHex[(code >> shift) & 15];
    } else {
      shown.append(text.substr(0, length));
    }
    text.remove_prefix(std::max<std::size_t>(length, 1));
  }
  return shown;
}

}  // namespace delvora
