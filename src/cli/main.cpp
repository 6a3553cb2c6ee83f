// delvora-convert: see cli/cli.h.

#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/interrupt_cleanup.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

// Arguments arrive as UTF-16 so that every file name reaches the program.
int wmain(int argc, wchar_t** argv) {
  delvora::InstallInterruptCleanup();
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    // An unpaired surrogate has no UTF-8 form: replaced, it would name
    // another file (or none), so the argument is refused instead.
    const int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, argv[i], -1, nullptr, 0,
                                         nullptr, nullptr);
    if (size <= 0) {
      std::cerr << "delvora-convert: argument " << i
                << " is not valid Unicode text (it holds an unpaired surrogate)\n"
                << "Try 'delvora-convert --help' for more information.\n";
      return delvora::kCliUsageError;
    }
    std::string arg(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, argv[i], -1, arg.data(), size, nullptr,
                        nullptr);
    arg.pop_back();  // the terminating NUL
    args.push_back(std::move(arg));
  }
  // The console belongs to the shell that started us too: give its code
  // page back when done.
  const UINT shell_code_page = GetConsoleOutputCP();
  SetConsoleOutputCP(CP_UTF8);
  const int status =
      delvora::RunConvertCommand(args, std::cout, std::cerr, _isatty(_fileno(stderr)) != 0);
  std::cout.flush();
  std::cerr.flush();
  if (shell_code_page != 0) SetConsoleOutputCP(shell_code_page);
  return status;
}
#else
#include <unistd.h>

int main(int argc, char** argv) {
  delvora::InstallInterruptCleanup();
  std::vector<std::string> args(argv + 1, argv + argc);
  return delvora::RunConvertCommand(args, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
}
#endif
