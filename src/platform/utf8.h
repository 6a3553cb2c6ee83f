#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace delvora {

// The one strict UTF-8 decoder: no overlong forms, no surrogates, nothing
// past U+10FFFF, no truncated sequence.

// Decodes the sequence at the start of text into code; returns its length,
// or 0 when it is not valid UTF-8 (code is then unspecified).
std::size_t DecodeUtf8Sequence(std::string_view text, char32_t& code);
// Length of the valid sequence at the start of text, or 0.
inline std::size_t Utf8SequenceLength(std::string_view text) {
  char32_t code;
  return DecodeUtf8Sequence(text, code);
}
bool IsValidUtf8(std::string_view text);
// nullopt when the text is not valid UTF-8.
std::optional<std::u32string> Utf8ToCodePoints(std::string_view utf8);
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8);

// Text as the programs' messages show it, so that a name can neither break
// a line, drive a terminal nor disguise itself: control characters (C0, DEL,
// C1), bytes that are not UTF-8, and the invisible and direction-changing
// format characters (U+061C, U+200B-U+200F, U+2028-U+202E, U+2066-U+2069,
// U+FEFF) become escapes (\n, \x80, \u202E). keep_line_breaks leaves CR and LF
// alone, for a whole message whose own lines they are.
std::string Shown(std::string_view text, bool keep_line_breaks = false);

}  // namespace delvora
