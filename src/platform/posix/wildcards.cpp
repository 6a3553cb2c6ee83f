#include "platform/wildcards.h"

namespace delvora {

// The shell has expanded them already; what is left is a name.
std::optional<std::vector<std::string>> ExpandWildcards(const std::string&) { return std::nullopt; }

}  // namespace delvora
