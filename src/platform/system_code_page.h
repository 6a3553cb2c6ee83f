#pragma once

// The narrow code pages as the system knows them. Windows has the user's
// code page (GetACP) and converts every installed code page itself; Qt 6 and
// every current Unix desktop take text as UTF-8, and there the engine's own
// tables serve for the few other code pages it knows.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace delvora {

// The system's narrow code page: GetACP() on Windows, UTF-8 (65001)
// elsewhere.
unsigned SystemCodePage();

// True where every code page comes from the system (Windows).
bool SystemConvertsCodePages();

struct LeadBytes {
  std::array<bool, 256> bytes{};  // bytes that start a two-byte character
  bool any = false;               // the code page has two-byte characters
};
// The lead bytes of an installed code page; nullopt when the system does not
// know the code page (always where it converts none).
std::optional<LeadBytes> InstalledCodePageLeadBytes(unsigned id);

// Non-empty, valid UTF-8 text in an installed code page, with no best fit;
// nullopt when one of its characters has no representation there.
std::optional<std::string> EncodeInInstalledCodePage(unsigned id, std::string_view utf8);

}  // namespace delvora
