#pragma once

// Where the engine's bytes come from: a file, read in large blocks, or any
// other source a test or tool supplies.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/input_file.h"

namespace delvora {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to size bytes; returns 0 only at the end. Throws AppError.
  virtual std::size_t Read(void* buffer, std::size_t size) = 0;
  // How many bytes there are to read, when known beforehand: a small input
  // then gets small buffers. Only a hint; Read decides where the end is.
  virtual std::optional<std::uint64_t> SizeHint() const { return std::nullopt; }
};

// Reads until size bytes are in or the source ends; returns how many.
std::size_t ReadUpTo(ByteSource& source, void* buffer, std::size_t size);

// An input file, opened for reading. Failures throw ConversionFailure at the
// read stage, with the platform's number and description.
class FileSource : public ByteSource {
 public:
  explicit FileSource(const std::string& path);

  std::size_t Read(void* buffer, std::size_t size) override;
  std::optional<std::uint64_t> SizeHint() const override {
    if (!file_.on_disk()) return std::nullopt;
    return file_.size();
  }
  // The input's permission bits, which its result does not exceed.
  int permissions() const { return file_.permissions(); }
  void Close() { file_.Close(); }

 private:
  InputFile file_;
};

}  // namespace delvora
