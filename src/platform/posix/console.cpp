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

void WriteStandardOutput(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ssize_t put = ::write(STDOUT_FILENO, bytes, std::min(size, kMaxChunk));
    if (put < 0) {
      if (errno == EINTR) continue;
      throw ErrorFromErrno(errno);
    }
    bytes += put;
    size -= static_cast<std::size_t>(put);
  }
}

}  // namespace delvora
