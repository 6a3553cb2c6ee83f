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

  // Reads up to size bytes; returns 0 only at the end. Throws AppError,
  // also at the end when the file changed while it was read (its size or
  // modification time differs from when it was opened, or its change time
  // from the first read: a rewrite that puts the modification time back
  // still moves the change time): truncated, its result would end in a cut
  // line; appended to, it could run for ever. A file that grows is read no
  // further than its size when opened.
  std::size_t Read(void* buffer, std::size_t size);
  // The size when opened.
  std::uint64_t size() const { return size_; }
  void Close();

 private:
  static constexpr std::intptr_t kClosed = -1;
  std::intptr_t handle_ = kClosed;  // a descriptor, or a HANDLE on Windows
  std::uint64_t size_ = 0;
  std::uint64_t read_ = 0;
  std::int64_t modified_ = 0;  // the system's own clock units
  // The change time (inode change on POSIX, ChangeTime on Windows), taken
  // at the first read; no program can set it back.
  std::int64_t changed_ = 0;
  bool change_taken_ = false;
  // Files that claim no size (Linux's /proc) are read to their end as told.
  std::size_t Cap(std::size_t size) const {
    if (size_ == 0 || size_ - read_ >= size) return size;
    return static_cast<std::size_t>(size_ - read_);
  }
};

}  // namespace delvora
