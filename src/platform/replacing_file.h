#pragma once

// A file written under a temporary name in its target's own folder, which
// takes the target's place in one rename once everything is written: nobody
// ever sees half an output, an older output stays whole until the new one is
// complete, and an input can be converted onto its own path.
//
// What it guards against: the new file gets only the old one's permission
// bits (never setuid, setgid or sticky), and only when the old one belongs
// to the user running (else a new file's); a result whose owner may not
// write it (read-only on Windows, or held open there without sharing) is
// refused, not replaced; on Linux the file is written unnamed (O_TMPFILE)
// and named only when complete, so even a killed program leaves nothing; a
// named temporary, where one is needed, is registered for the interrupt
// clean-up before it exists and is the user's alone (0600) until complete;
// names are opened relative to the open folder, so the temporary's short
// name never makes a path too long. A symbolic link in the result's place
// is replaced by a regular file; a device, pipe or socket there is written
// into as it is (Commit then only closes it).

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

namespace delvora {

class ReplacingFile {
 public:
  // Throws AppError; nothing is left behind then.
  explicit ReplacingFile(const std::string& target_path);
  // Removes the temporary unless committed; the target stays as it was.
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Writes all size bytes or throws AppError.
  void Write(const void* data, std::size_t size);
  // True when the file at path (links followed) is the file the result
  // replaces.
  bool Replaces(const std::string& path) const;
  // Puts the written file in the target's place; durable forces the file to
  // disk before and the folder after. Throws AppError.
  void Commit(bool durable);

  // The temporary's path while it has a name ("" for an unnamed file).
  const std::string& temp_path() const;

  // Tests: force named temporaries (as on a file system without O_TMPFILE),
  // and count the flushes a durable commit made (file, folder).
  static void UseUnnamedFiles(bool use) { use_unnamed_files_ = use; }
  static int FileFlushes() { return file_flushes_; }
  static int FolderFlushes() { return folder_flushes_; }

 private:
  struct State;  // the system's handles and names
  std::unique_ptr<State> state_;

  static inline std::atomic<bool> use_unnamed_files_{true};
  static inline std::atomic<int> file_flushes_{0};
  static inline std::atomic<int> folder_flushes_{0};
};

// A temporary's name: short and of fixed length whatever the target's
// name, so the temporary fits wherever the result does.
std::string TemporaryName();

}  // namespace delvora
