#pragma once

// An input file opened for reading in large blocks. Only files on disk
// open: a pipe, socket or device may never end or never answer. Others may
// keep reading and writing the file while it is read. Paths are UTF-8 text.

#include <cstddef>
#include <cstdint>
#include <string>

namespace delvora {

class InputFile {
 public:
  // Throws AppError with the platform's number and description.
  explicit InputFile(const std::string& path);
  ~InputFile() { Close(); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Reads up to size bytes; returns 0 only at the end. Throws AppError.
  std::size_t Read(void* buffer, std::size_t size);
  // The size when opened.
  std::uint64_t size() const { return size_; }
  void Close();

 private:
  static constexpr std::intptr_t kClosed = -1;
  std::intptr_t handle_ = kClosed;  // a descriptor, or a HANDLE on Windows
  std::uint64_t size_ = 0;
};

}  // namespace delvora
