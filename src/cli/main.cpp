// delvora-convert: see cli/cli.h.

#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/console.h"
#include "platform/interrupt_cleanup.h"

namespace {

int ConvertMain(int argc, delvora::ArgumentChar** argv) {
  delvora::InstallInterruptCleanup();
  std::vector<std::string> args;
  if (const int bad = delvora::ArgumentsAsUtf8(argc, argv, args)) {
    std::cerr << "delvora-convert: argument " << bad
              << " is not valid Unicode text (it holds an unpaired surrogate)\n"
              << "Try 'delvora-convert --help' for more information.\n";
    return delvora::kCliUsageError;
  }
  const delvora::Utf8Console console;
  const int status =
      delvora::RunConvertCommand(args, std::cout, std::cerr, delvora::StandardErrorIsTerminal());
  std::cout.flush();
  std::cerr.flush();
  return status;
}

}  // namespace

// The entry point's name is the system's choice: Windows hands the
// arguments over as UTF-16 only to wmain.
#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return ConvertMain(argc, argv); }
#else
int main(int argc, char** argv) { return ConvertMain(argc, argv); }
#endif
