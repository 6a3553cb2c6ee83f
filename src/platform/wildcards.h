#pragma once

// Wildcards in a command line's names. A POSIX shell expands them before a
// program starts; cmd and PowerShell pass "*.csv" through as it is, so on
// Windows the program expands them itself.

#include <optional>
#include <string>
#include <vector>

namespace delvora {

// For an argument holding * or ? that names no existing file or folder
// (Windows): the names of the entries of its folder that its last part
// matches, each as the pattern's folder part written as given followed by
// the entry's name, sorted as Explorer sorts them (numbers by value,
// without regard to case); empty when nothing matches. Otherwise (and on
// every other system) nothing: the argument is a name as it stands.
std::optional<std::vector<std::string>> ExpandWildcards(const std::string& argument);

}  // namespace delvora
