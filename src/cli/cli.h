#pragma once

// delvora-convert: the conversion run without the window, for scripts and
// large batches. It writes byte for byte what the window's run writes for the
// same delimiter and output choices.

#include <ostream>
#include <string>
#include <vector>

namespace delvora {

class ByteSource;
class ByteSink;

enum CliExitCode : int {
  kCliAllConverted = 0,
  kCliSomeFailed = 1,
  kCliUsageError = 2,
};

// args excludes the program name; all texts are UTF-8. Messages go to err,
// progress too but only when err_is_terminal (and -q is not given); out gets
// what was asked for (help, --dry-run and --check lines). A PATH "-" reads
// the standard input and writes its result to the standard output.
int RunConvertCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      bool err_is_terminal);

// The same with the bytes of "-" taken from stdin_bytes and written to
// stdout_bytes.
int RunConvertCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      bool err_is_terminal, ByteSource& stdin_bytes, ByteSink& stdout_bytes);

}  // namespace delvora
