#pragma once

// A file written under a temporary name in its target's own folder, which
// takes the target's place in one rename once everything is written: nobody
// ever sees half an output, an older output stays whole until the new one is
// complete, and an input can be converted onto its own path.
//
// What it guards against, in a folder other users may write in too: every
// decision is taken from what was opened, never from an earlier look at the
// name, so nothing swapped in between is written through. A result path the
// program made up is only ever a regular file of its own: a symbolic link
// there is replaced, a device, pipe or socket refused. Only a path the user
// named (ResultTarget::named) is written into as it is when it is a device,
// pipe, terminal or one of the program's own descriptors (/dev/stdout,
// /dev/fd/N), as a shell's redirection would. The old result's permission
// bits (never setuid, setgid or sticky) are carried over only when it is a
// regular file of the user's own; a new result gets its input's bits less
// the umask, so it is never more open than its input. A result whose owner
// may not write it (read-only on Windows, or held open there without
// sharing) is refused, not replaced. On Linux the file is written unnamed
// (O_TMPFILE) and named only when complete, so even a killed program leaves
// nothing; a named temporary, where one is needed, is registered for the
// interrupt clean-up before it exists and is the user's alone (0600) until
// complete; names are opened relative to the open folder, so the
// temporary's short name never makes a path too long.

#include <cstddef>
#include <memory>
#include <string>

namespace delvora {

// Where a result's path came from and what it replaces.
struct ResultTarget {
  // The user typed the path (delvora-convert -o): what stands there may be
  // written into. A path derived from an input's name never is.
  bool named = false;
  // The input's permission bits, which a new result never exceeds; -1 for
  // an input without them (the standard input, or Windows).
  int source_mode = -1;
};

class ReplacingFile {
 public:
  // Throws AppError; nothing is left behind then.
  explicit ReplacingFile(const std::string& target_path, ResultTarget target = {});
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

  struct State;  // the system's handles and names, per system

 private:
  std::unique_ptr<State> state_;
};

// A temporary's name: short and of fixed length whatever the target's
// name, so the temporary fits wherever the result does.
std::string TemporaryName();

}  // namespace delvora
