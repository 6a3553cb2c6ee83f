#pragma once

// An input file opened for reading in large blocks. Others may keep reading
// and writing the file while it is read. A pipe or device the user named
// (<(find ...), /dev/stdin, a named pipe) is read to its end on POSIX; on
// Windows only files on disk open, as a pipe or device there may never end
// or never answer. Paths are UTF-8 text.

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
  // The size when opened; for a file on disk only.
  std::uint64_t size() const { return size_; }
  bool on_disk() const { return on_disk_; }
  // The permission bits, -1 where the system has none to give.
  int permissions() const { return permissions_; }
  void Close();

 private:
  static constexpr std::intptr_t kClosed = -1;
  std::intptr_t handle_ = kClosed;  // a descriptor, or a HANDLE on Windows
  std::uint64_t size_ = 0;
  std::uint64_t read_ = 0;
  std::int64_t modified_ = 0;  // the system's own clock units
  bool on_disk_ = true;        // a regular file, not a pipe or device
  int permissions_ = -1;
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
