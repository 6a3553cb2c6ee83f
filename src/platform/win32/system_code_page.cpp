#include "platform/system_code_page.h"

#include <windows.h>

#include "platform/utf8.h"

namespace delvora {

unsigned SystemCodePage() { return GetACP(); }

bool SystemConvertsCodePages() { return true; }

std::optional<LeadBytes> InstalledCodePageLeadBytes(unsigned id) {
  CPINFO info;
  if (!GetCPInfo(id, &info)) return std::nullopt;
  LeadBytes lead;
  for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
    for (unsigned b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b) lead.bytes[b] = true;
    lead.any = true;
  }
  return lead;
}

std::optional<std::string> EncodeInInstalledCodePage(unsigned id, std::string_view utf8) {
  const auto wide = Utf8ToUtf16(utf8);
  if (!wide) return std::nullopt;
  const auto* w = reinterpret_cast<const wchar_t*>(wide->data());
  const int w_size = static_cast<int>(wide->size());
  // No best fit: a delimiter that only looks like a character of the code
  // page must not match that character.
  BOOL used_default = FALSE;
  const int size =
      WideCharToMultiByte(id, WC_NO_BEST_FIT_CHARS, w, w_size, nullptr, 0, nullptr, &used_default);
  if (size <= 0 || used_default) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(id, WC_NO_BEST_FIT_CHARS, w, w_size, bytes.data(), size, nullptr,
                      &used_default);
  if (used_default) return std::nullopt;
  return bytes;
}

}  // namespace delvora
