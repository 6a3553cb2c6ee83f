#include "cli/standard_streams.h"

#include <algorithm>
#include <cerrno>

#include "platform/app_error.h"

// Windows's C runtime spells the POSIX calls with an underscore and keeps a
// text mode that must be turned off; everything else is the same.
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define DELVORA_READ _read
#define DELVORA_WRITE _write
using IoCount = unsigned int;
#else
#include <unistd.h>
#define DELVORA_READ ::read
#define DELVORA_WRITE ::write
using IoCount = std::size_t;
#endif

namespace delvora {

namespace {

constexpr int kInputFd = 0;
constexpr int kOutputFd = 1;
// Small enough for the count types of every platform.
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;

}  // namespace

StandardInput::StandardInput() {
#ifdef _WIN32
  _setmode(kInputFd, _O_BINARY);
#endif
}

std::size_t StandardInput::Read(void* buffer, std::size_t size) {
  const auto ask = static_cast<IoCount>(std::min(size, kMaxChunk));
  for (;;) {
    const auto got = DELVORA_READ(kInputFd, buffer, ask);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) throw ErrorFromErrno(errno);
  }
}

StandardOutput::StandardOutput() {
#ifdef _WIN32
  _setmode(kOutputFd, _O_BINARY);
#endif
}

void StandardOutput::Write(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const auto put =
        DELVORA_WRITE(kOutputFd, bytes, static_cast<IoCount>(std::min(size, kMaxChunk)));
    if (put < 0) {
      if (errno == EINTR) continue;
      throw ErrorFromErrno(errno);
    }
    bytes += put;
    size -= static_cast<std::size_t>(put);
  }
}

}  // namespace delvora
