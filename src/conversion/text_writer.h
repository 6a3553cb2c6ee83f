#pragma once

// Where the engine's bytes go. A file target is written through a temporary
// file created in the target's own folder, which replaces the target in one
// rename once everything is written: nobody ever sees half an output, an
// older output stays whole until the new one is complete, and an input can
// be converted onto its own path.

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

// Hands filled buffers to a sink. With background set, once a second buffer
// comes, a second thread writes one buffer while the caller fills the
// other: writing is the slowest part of a conversion, and this lets it
// overlap with reading and converting. The sink is then called from that
// thread.
class WriteBehind {
 public:
  WriteBehind(ByteSink& sink, std::size_t capacity, bool background);
  ~WriteBehind();  // stops the writer; whatever was not written is dropped
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // The buffer to fill next, capacity bytes.
  unsigned char* buffer() { return buffers_[current_].data(); }
  // Hands size bytes of buffer() over. Throws what an earlier write threw.
  void Submit(std::size_t size);
  // Returns once everything is written; throws a write failure.
  void Finish();

 private:
  bool StartWriter();
  void WriterLoop();
  void WaitIdle(std::unique_lock<std::mutex>& lock);

  ByteSink& sink_;
  bool background_;  // a writer thread is wanted and not yet tried
  std::size_t submitted_ = 0;
  std::vector<unsigned char> buffers_[2];
  int current_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  int queued_ = -1;  // buffer waiting for the writer, or -1
  std::size_t queued_size_ = 0;
  bool stop_ = false;
  std::exception_ptr failure_;
  std::thread writer_;
};

}  // namespace delvora
