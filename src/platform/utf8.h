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

}  // namespace delvora
