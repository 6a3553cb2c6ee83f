#include "platform/file_identity.h"

#include <functional>
#include <utility>

#include "platform/utf8_path.h"

namespace delvora {

namespace {

// The folder part, with its separator, and the name. Windows takes either
// slash as a separator.
std::pair<std::string, std::string> SplitPath(const std::string& path) {
  const std::size_t cut = kNativeSeparator == '\\' ? path.find_last_of("\\/") : path.rfind('/');
  if (cut == std::string::npos) return {".", path};
  return {path.substr(0, cut + 1), path.substr(cut + 1)};
}

// A missing path's identity: its folder's and its name as the folder
// compares names. The leading separator keeps it apart from an existing
// file's (empty) name.
PathIdentity Named(const PathIdentity& folder, const std::string& folded_name) {
  PathIdentity id{folder.volume, folder.index, std::string(1, '/')};
  id.name.append(folded_name);
  return id;
}

PathIdentity Spelled(const std::string& path) {
  PathIdentity id{0, 0, std::string(2, '/')};
  id.name.append(path);
  return id;
}

}  // namespace

std::size_t PathIdentityHash::operator()(const PathIdentity& id) const {
  std::size_t hash = std::hash<std::uint64_t>()(id.index);
  hash ^= std::hash<std::uint64_t>()(id.volume) + 0x9e3779b97f4a7c15ULL + (hash << 6) + (hash >> 2);
  if (!id.name.empty()) hash ^= std::hash<std::string>()(id.name) + (hash << 6);
  return hash;
}

PathIdentity EntryIdentity(const std::string& path) {
  if (auto existing = LinkIdentity(path)) return *existing;
  const auto [folder, name] = SplitPath(path);
  const std::optional<PathIdentity> folder_id = FileIdentity(folder);
  if (!folder_id || name.empty()) return Spelled(path);
  return Named(*folder_id, FoldedName(name, *folder_id, folder));
}

}  // namespace delvora
