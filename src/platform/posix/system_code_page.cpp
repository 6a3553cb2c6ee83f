#include "platform/system_code_page.h"

namespace delvora {

unsigned SystemCodePage() { return 65001; }

bool SystemConvertsCodePages() { return false; }

std::optional<LeadBytes> InstalledCodePageLeadBytes(unsigned /*id*/) { return std::nullopt; }

std::optional<std::string> EncodeInInstalledCodePage(unsigned /*id*/, std::string_view /*utf8*/) {
  return std::nullopt;
}

}  // namespace delvora
