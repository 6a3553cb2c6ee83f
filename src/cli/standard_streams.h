#pragma once

// Standard input and output as the engine's byte source and sink, for "-"
// on the converter's command line. Both pass bytes through exactly (see
// platform/console.h).

#include <cstddef>

#include "conversion/text_reader.h"
#include "conversion/text_writer.h"

namespace delvora {

class StandardInput : public ByteSource {
 public:
  StandardInput();
  // Throws AppError with the platform's number and description.
  std::size_t Read(void* buffer, std::size_t size) override;
};

class StandardOutput : public ByteSink {
 public:
  StandardOutput();
  // Throws AppError with the platform's number and description.
  void Write(const void* data, std::size_t size) override;
};

}  // namespace delvora
