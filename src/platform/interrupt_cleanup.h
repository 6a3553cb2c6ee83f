#pragma once

// An interrupted program leaves no temporary file behind. Both programs
// call InstallInterruptCleanup first thing; from then on SIGINT, SIGTERM and
// SIGHUP (Ctrl+C, Ctrl+Break and closing the console on Windows) remove
// every temporary file being written, by any number of threads, and end the
// program as the signal would have (on Windows with STATUS_CONTROL_C_EXIT,
// as the console's own handler does). SIGXFSZ is ignored, so a file-size limit
// makes a write fail like a full disk instead of killing the program.
//
// The writer registers its temporaries itself, before each one is created,
// and the name is in the table by the time the file exists. Once clean-up
// has begun no new temporary is created, so workers still running cannot
// leave one after it. The table is fixed and prepared before any signal
// comes: the handler only reads it and unlinks.

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

  // Registers the temporary, then calls create, which makes the file and
  // returns whether it did (false releases the name). The interrupt clean-up
  // waits for a create under way, so it never misses the file. Returns false
  // without calling create once clean-up has begun.
  // Elsewhere than Windows: `name` inside the open folder `folder_fd`,
  // which stays open while registered; at most 63 bytes. On Windows: the
  // full path, as given to the wide file functions (folder_fd unused).
  template <class Create>
  bool Register(int folder_fd, const std::filesystem::path::value_type* name, Create&& create) {
    if (!Begin(folder_fd, name)) return false;
    const bool made = create();
    End(made);
    return made;
  }
  void Release();

 private:
  bool Begin(int folder_fd, const std::filesystem::path::value_type* name);
  void End(bool made);

  int slot_ = -1;
};

}  // namespace delvora
