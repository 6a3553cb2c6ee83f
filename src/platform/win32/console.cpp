#include "platform/console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/app_error.h"
#include "platform/win32/console_code_page.h"

namespace delvora {

namespace {

constexpr int kInputFd = 0;
constexpr int kOutputFd = 1;
// Small enough for the C runtime's unsigned int counts.
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;

}  // namespace

int ArgumentsAsUtf8(int argc, ArgumentChar** argv, std::vector<std::string>& args) {
  args.clear();
  for (int i = 1; i < argc; ++i) {
    const int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, argv[i], -1, nullptr, 0,
                                         nullptr, nullptr);
    if (size <= 0) return i;
    std::string arg(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, argv[i], -1, arg.data(), size, nullptr,
                        nullptr);
    arg.pop_back();  // the terminating NUL
    args.push_back(std::move(arg));
  }
  return 0;
}

std::atomic<unsigned>& CodePageToRestore() {
  static std::atomic<unsigned> code_page{0};
  return code_page;
}

Utf8Console::Utf8Console() : shell_code_page_(GetConsoleOutputCP()) {
  // Known to the interrupt handler before the console changes.
  CodePageToRestore().store(shell_code_page_);
  SetConsoleOutputCP(CP_UTF8);
}

Utf8Console::~Utf8Console() {
  if (shell_code_page_ != 0) SetConsoleOutputCP(shell_code_page_);
  CodePageToRestore().store(0);
}

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

void UseBinaryStandardInput() { _setmode(kInputFd, _O_BINARY); }
void UseBinaryStandardOutput() { _setmode(kOutputFd, _O_BINARY); }

std::size_t ReadStandardInput(void* buffer, std::size_t size) {
  const auto ask = static_cast<unsigned int>(std::min(size, kMaxChunk));
  for (;;) {
    const int got = _read(kInputFd, buffer, ask);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) throw ErrorFromErrno(errno);
  }
}

long WriteStandardOutputOnce(const void* data, std::size_t size) {
  return _write(kOutputFd, data, static_cast<unsigned int>(std::min(size, kMaxChunk)));
}

}  // namespace delvora
