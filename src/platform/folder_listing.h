#pragma once

// The entries of one folder, straight from the system's directory stream:
// the kind of each entry comes with its name, so a large tree costs little
// more than reading its folders. Paths and names are the file system's bytes
// on POSIX, UTF-8 text on Windows.

#include <functional>
#include <string>

namespace delvora {

struct FolderEntry {
  std::string name;
  bool is_folder = false;      // after following a symbolic link
  bool is_plain_file = false;  // a regular file, not a link: known to exist
};

// Calls each for the folder's entries, in the file system's order.
// POSIX: every folder and regular file; links stand for what they point at,
// but in a sticky folder everyone may write in only the user's or the
// folder owner's links are followed. Pipes, devices, sockets and broken
// links are passed over.
// Windows: every entry, links and junctions included, with no rule for
// shared folders: a link to a folder counts as a folder, any other link,
// broken or not, as neither a folder nor a plain file. A name with no UTF-8
// form (an unpaired surrogate) is left out.
// Throws AppError when the folder cannot be listed: a vanished folder is
// "Path not found" (76); the entries passed before a failure stay passed.
void ListFolder(const std::string& folder, const std::function<void(const FolderEntry&)>& each);

// True when a path is short enough to be walked and listed: under the
// classic limit of 260 units on Windows; elsewhere the file system's own
// limit is the only one.
bool WithinPathLimit(const std::string& path);

}  // namespace delvora
