#include "cli/standard_streams.h"

#include "platform/console.h"

namespace delvora {

StandardInput::StandardInput() { UseBinaryStandardInput(); }

std::size_t StandardInput::Read(void* buffer, std::size_t size) {
  return ReadStandardInput(buffer, size);
}

StandardOutput::StandardOutput() { UseBinaryStandardOutput(); }

void StandardOutput::Write(const void* data, std::size_t size) { WriteStandardOutput(data, size); }

}  // namespace delvora
