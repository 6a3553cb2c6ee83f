#include "platform/console.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/app_error.h"

namespace delvora {

namespace {

// Small enough for every platform's count types.
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;

}  // namespace

int ArgumentsAsUtf8(int argc, ArgumentChar** argv, std::vector<std::string>& args) {
  args.assign(argv + 1, argv + argc);
  return 0;
}

Utf8Console::Utf8Console() = default;
Utf8Console::~Utf8Console() = default;

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) != 0; }

void UseBinaryStandardInput() {}
void UseBinaryStandardOutput() {}

std::size_t ReadStandardInput(void* buffer, std::size_t size) {
  const std::size_t ask = std::min(size, kMaxChunk);
  for (;;) {
    const ssize_t got = ::read(STDIN_FILENO, buffer, ask);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) throw ErrorFromErrno(errno);
  }
}

long WriteStandardOutputOnce(const void* data, std::size_t size) {
  return static_cast<long>(::write(STDOUT_FILENO, data, std::min(size, kMaxChunk)));
}

}  // namespace delvora
