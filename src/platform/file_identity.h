#pragma once

// Who a path is, as the file system sees it: an existing file by its volume
// and file number (so a hard link, a linked folder or another spelling is
// still the same file), a path that does not exist yet by its folder and its
// name compared as that folder compares names (ignoring case on Windows and
// on case-insensitive Linux file systems). Paths are UTF-8 text.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace delvora {

struct PathIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  std::string name;  // empty for an existing file; else its folded spelling
  bool operator==(const PathIdentity&) const = default;
};

struct PathIdentityHash {
  std::size_t operator()(const PathIdentity& id) const;
};

// The directory entry a result replaces: a symbolic link itself, not what
// it points to. A missing path is named by its folder and folded name.
PathIdentity EntryIdentity(const std::string& path);
// The file that reading the path reads (links followed); nullopt when
// there is none.
std::optional<PathIdentity> FileIdentity(const std::string& path);
// The entry itself (a link not followed); nullopt when there is none.
std::optional<PathIdentity> LinkIdentity(const std::string& path);

// name as the folder (identified by folder_id, reached through folder)
// compares names: folded where it ignores case.
std::string FoldedName(const std::string& name, const PathIdentity& folder_id,
                       const std::string& folder);

}  // namespace delvora
