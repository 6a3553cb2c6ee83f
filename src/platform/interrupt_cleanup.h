#pragma once

// An interrupted program leaves no temporary file behind. Both programs
// call InstallInterruptCleanup first thing; from then on SIGINT, SIGTERM and
// SIGHUP (Ctrl+C, Ctrl+Break and closing the console on Windows) remove
// every temporary file being written, by any number of threads, and end the
// program as the signal would have. SIGXFSZ is ignored, so a file-size limit
// makes a write fail like a full disk instead of killing the program.
//
// The writer registers its temporaries itself. The table is fixed and
// prepared before any signal comes: the handler only reads it and unlinks.

#include <filesystem>

namespace delvora {

void InstallInterruptCleanup();

// A temporary file on disk, registered while it exists. Slots are few
// hundred; a writer that finds none still works, only unprotected.
class TemporaryGuard {
 public:
  TemporaryGuard() = default;
  ~TemporaryGuard() { Release(); }
  TemporaryGuard(const TemporaryGuard&) = delete;
  TemporaryGuard& operator=(const TemporaryGuard&) = delete;

  // Elsewhere than Windows: `name` inside the open folder `folder_fd`,
  // which stays open while registered; at most 63 bytes. On Windows: the
  // full path, as given to the wide file functions (folder_fd unused).
  void Register(int folder_fd, const std::filesystem::path::value_type* name);
  void Release();

 private:
  int slot_ = -1;
};

}  // namespace delvora
