#pragma once

// Where the engine's bytes go. A file target is written through a temporary
// file created in the target's own folder, which replaces the target in one
// rename once everything is written: nobody ever sees half an output, an
// older output stays whole until the new one is complete, and an input can
// be converted onto its own path.

#include <cstddef>
#include <string>

namespace delvora {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes all size bytes or throws AppError.
  virtual void Write(const void* data, std::size_t size) = 0;
};

// Failures throw ConversionFailure at the write stage. Destroying the
// writer without Commit removes the temporary file and leaves the target
// as it was.
class AtomicFileWriter : public ByteSink {
 public:
  explicit AtomicFileWriter(const std::string& target_path);
  ~AtomicFileWriter() override;
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  void Write(const void* data, std::size_t size) override;
  // Puts the written file in the target's place.
  void Commit();

  const std::string& temp_path() const { return temp_path_; }

 private:
  void Discard();

  std::string target_path_;
  std::string temp_path_;
#ifdef _WIN32
  void* handle_;
#else
  int fd_;
#endif
  bool committed_ = false;
};

}  // namespace delvora
