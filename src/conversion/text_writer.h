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

#include "platform/interrupt_cleanup.h"

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
//
// What it guards against: the new file gets only the old one's permission
// bits (never setuid, setgid or sticky); a result whose owner may not write
// it (read-only on Windows) is refused, not replaced; on Linux the file is
// written unnamed (O_TMPFILE) and named only when complete, so even a
// killed program leaves nothing; a named temporary, where one is needed,
// is removed by the interrupt clean-up; names are opened relative to the
// open folder, so the temporary's short name never makes a path too long.
// A symbolic link in the result's place is replaced by a regular file.
class AtomicFileWriter : public ByteSink {
 public:
  explicit AtomicFileWriter(const std::string& target_path);
  ~AtomicFileWriter() override;
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  void Write(const void* data, std::size_t size) override;
  // True when the file at path (links followed) is the file the result
  // replaces: the result is then the only copy of its data.
  bool Replaces(const std::string& path) const;
  // Commit then forces the file to disk before it takes the target's place
  // and the folder after, so a power cut cannot leave an empty file.
  void MakeDurable() { durable_ = true; }
  // Puts the written file in the target's place.
  void Commit();

  // The temporary's path while it has a name ("" for an unnamed file).
  const std::string& temp_path() const { return temp_path_; }

  // Tests: force named temporaries (as on a file system without O_TMPFILE),
  // and count the flushes MakeDurable asked for (file, folder).
  static void UseUnnamedFiles(bool use);
  static int FileFlushes();
  static int FolderFlushes();

 private:
  void Discard();

  std::string target_path_;
  std::string temp_path_;
  bool durable_ = false;
  TemporaryGuard guard_;
#ifdef _WIN32
  void* handle_;
#else
  std::string folder_;  // with its separator, or "" for the current folder
  std::string name_;    // the target's name within the folder
  std::string temp_name_;
  int folder_fd_ = -1;
  int fd_ = -1;
  bool target_exists_ = false;
  unsigned long long target_device_ = 0;
  unsigned long long target_inode_ = 0;
#endif
  bool committed_ = false;
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
  // Hands size bytes of buffer() over. Throws what an earlier write threw.
  // last: nothing follows, so no thread is started for it.
  void Submit(std::size_t size, bool last = false);
  // Returns once everything is written; throws a write failure.
  void Finish();

 private:
  bool StartWriter();
  void WriterLoop();
  void WaitIdle(std::unique_lock<std::mutex>& lock);

  ByteSink& sink_;
  bool background_;  // a writer thread is wanted and not yet tried
  std::size_t submitted_ = 0;
  unsigned char* buffers_[2];
  std::size_t capacity_;
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
