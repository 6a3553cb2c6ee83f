#pragma once

// Where the engine's bytes come from: a file, read in large blocks, or any
// other source a test or tool supplies.

#include <cstddef>
#include <string>

namespace delvora {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to size bytes; returns 0 only at the end. Throws AppError.
  virtual std::size_t Read(void* buffer, std::size_t size) = 0;
};

// Reads until size bytes are in or the source ends; returns how many.
std::size_t ReadUpTo(ByteSource& source, void* buffer, std::size_t size);

// An input file, opened for reading. Failures throw ConversionFailure at the
// read stage, with the platform's number and description.
class FileSource : public ByteSource {
 public:
  explicit FileSource(const std::string& path);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  std::size_t Read(void* buffer, std::size_t size) override;
  void Close();

 private:
#ifdef _WIN32
  void* handle_;
#else
  int fd_;
#endif
};

}  // namespace delvora
