#pragma once

// Where the engine's bytes go. A file target is written through a temporary
// file that replaces the target in one rename once everything is written
// (platform/replacing_file.h says what that guards against).

#include <cstddef>
#include <exception>
#include <string>
#include <vector>

#include "conversion/side_thread.h"
#include "platform/replacing_file.h"

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
  explicit AtomicFileWriter(const std::string& target_path, ResultTarget target = {});
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  void Write(const void* data, std::size_t size) override;
  // True when the file at path (links followed) is the file the result
  // replaces: the result is then the only copy of its data.
  bool Replaces(const std::string& path) const { return file_.Replaces(path); }
  // Commit then forces the file to disk before it takes the target's place
  // and the folder after, so a power cut cannot leave an empty file.
  void MakeDurable() { durable_ = true; }
  // Puts the written file in the target's place.
  void Commit();

  // The temporary's path while it has a name ("" for an unnamed file).
  const std::string& temp_path() const { return file_.temp_path(); }

 private:
  ReplacingFile file_;
  bool durable_ = false;
};

// Hands filled buffers to a sink. With background set, once a second buffer
// comes, a second thread writes one buffer while the caller fills the
// other: writing is the slowest part of a conversion, and this lets it
// overlap with reading and converting. The sink is then called from that
// thread. The two buffers of capacity bytes are the caller's, so that they
// can serve one file after another; the second is touched only once a
// thread writes.
class WriteBehind {
 public:
  WriteBehind(ByteSink& sink, unsigned char* first, unsigned char* second, std::size_t capacity,
              bool background);
  ~WriteBehind();  // stops the writer; whatever was not written is dropped
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // The buffer to fill next, capacity bytes.
  unsigned char* buffer() { return buffers_[current_]; }
  std::size_t capacity() const { return capacity_; }
  // Hands size bytes of buffer() over, from offset on. Throws what an
  // earlier write threw. last: nothing follows, so no thread is started
  // for it.
  void Submit(std::size_t size, bool last = false, std::size_t offset = 0);
  // Hands over size bytes of the caller's own memory instead (a block
  // converted where it was read). It stays the writer's until the next
  // Submit or SubmitOwn returns; buffer() does not change.
  void SubmitOwn(const unsigned char* data, std::size_t size, bool last = false);
  // Returns once everything is written; throws a write failure.
  void Finish();

 private:
  // Writes data here or queues it for the thread; false when written here.
  bool Queue(const unsigned char* data, std::size_t size, bool last);
  bool StartWriter();
  // Waits for the write in hand; throws what it threw.
  void WaitIdle();

  ByteSink& sink_;
  bool background_;  // a writer thread is wanted and not yet tried
  std::size_t submitted_ = 0;
  unsigned char* buffers_[2];
  std::size_t capacity_;
  int current_ = 0;
  std::exception_ptr failure_;  // the writer's, read once it is idle
  SideThread writer_;
};

}  // namespace delvora
