#include "platform/console.h"

#include <cerrno>

#include "platform/app_error.h"

namespace delvora {

void WriteStandardOutput(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const long put = WriteStandardOutputOnce(bytes, size);
    if (put < 0) {
      if (errno == EINTR) continue;
      throw ErrorFromErrno(errno);
    }
    bytes += put;
    size -= static_cast<std::size_t>(put);
  }
}

}  // namespace delvora
