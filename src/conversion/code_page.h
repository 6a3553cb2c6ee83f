#pragma once

// The narrow code page of files without a mark. Such files are converted
// byte for byte; only the delimiter is put into the code page, so that it can
// be looked for among the file's bytes. In code pages with two-byte
// characters a delimiter byte can also be the second byte of a character;
// the lead-byte table lets the matcher step over whole characters.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace delvora {

class CodePage {
 public:
  // UTF-8 (65001), Windows-1252, ISO-8859-1 and the East Asian two-byte code
  // pages 932, 936, 949 and 950 are known everywhere (the two-byte ones only
  // for ASCII delimiters); on Windows every installed code page is. Throws
  // AppError for others.
  static CodePage For(unsigned id);

  unsigned id() const { return id_; }

  // The delimiter (UTF-8 text) in this code page's bytes; nullopt when one of
  // its characters has no representation here (such a delimiter matches
  // nothing) or the text is not valid UTF-8.
  std::optional<std::string> Encode(std::string_view utf8) const;

  // Bytes that start a two-byte character; null when no character is longer
  // than one byte, or (UTF-8) when no match can start inside a character.
  const std::array<bool, 256>* lead_bytes() const {
    return has_lead_bytes_ ? &lead_bytes_ : nullptr;
  }

 private:
  enum class Kind { kUtf8, kSingleByte, kAsciiOnly, kSystem };
  CodePage(unsigned id, Kind kind) : id_(id), kind_(kind) {}

  unsigned id_;
  Kind kind_;
  const char16_t* high_half_ = nullptr;  // characters of bytes 0x80..0xFF
  std::array<bool, 256> lead_bytes_{};
  bool has_lead_bytes_ = false;
};

}  // namespace delvora
