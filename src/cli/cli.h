#pragma once

// delvora-convert: the conversion run without the window, for scripts and
// large batches. It writes byte for byte what the window's run writes for the
// same delimiter and output choices.

#include <ostream>
#include <string>
#include <vector>

namespace delvora {

enum CliExitCode : int {
  kCliAllConverted = 0,
  kCliSomeFailed = 1,
  kCliUsageError = 2,
};

// args excludes the program name; all texts are UTF-8. Progress goes to err
// only when err_is_terminal (and -q is not given).
int RunConvertCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      bool err_is_terminal);

}  // namespace delvora
