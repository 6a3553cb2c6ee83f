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

// The one rule for showing names (and other text from outside) in
// messages, reports and the window's boxes, so that a name can neither
// break a line, drive a terminal nor pass for another:
// - a byte that is not UTF-8 becomes \xHH (JSON: \udcHH, the lone
//   surrogate Python's surrogateescape reads back as that byte);
// - tab, LF and CR become \t, \n, \r; other C0 controls, DEL and C1
//   controls are escaped, and so is every hidden character
//   (IsHiddenCharacter): \xHH below 128, \uHHHH, \UHHHHHHHH (JSON: \u
//   units, a pair above U+FFFF);
// - a backslash becomes \\, so that an escape cannot be typed into a name
//   (except on Windows, where it separates a path's parts and no name can
//   hold one); JSON also escapes the double quote.
// Everything else is the text's own UTF-8.
enum class EscapeStyle { kShown, kJson };
// keep_line_breaks leaves CR and LF alone, for a whole message whose own
// lines they are. kJson gives the inside of a JSON string.
std::string EscapeText(std::string_view text, EscapeStyle style, bool keep_line_breaks = false);

// Controls (C0, DEL, C1) and the characters that are invisible or change
// the direction of text: Unicode's Default_Ignorable_Code_Point set (which
// includes Bidi_Control) and U+2028, U+2029.
bool IsHiddenCharacter(char32_t code);

// EscapeText for messages.
std::string Shown(std::string_view text, bool keep_line_breaks = false);

}  // namespace delvora
