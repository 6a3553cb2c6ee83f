#include "conversion/batch_plan.h"

#include <mutex>
#include <utility>

#include "platform/utf8_path.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/fs.h>
#include <sys/vfs.h>
#endif
#endif

namespace delvora {

namespace {

// The folder part, with its separator, and the name.
std::pair<std::string, std::string> SplitPath(const std::string& path) {
#ifdef _WIN32
  const std::size_t cut = path.find_last_of("\\/");
#else
  const std::size_t cut = path.rfind('/');
#endif
  if (cut == std::string::npos) return {".", path};
  return {path.substr(0, cut + 1), path.substr(cut + 1)};
}

bool Usable(const std::string& path) {
  return !path.empty() && path.find('\0') == std::string::npos;
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

#ifdef _WIN32

std::optional<PathIdentity> Identify(const std::string& path, bool follow_links) {
  if (!Usable(path)) return std::nullopt;
  const DWORD flags =
      FILE_FLAG_BACKUP_SEMANTICS | (follow_links ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  HANDLE handle = CreateFileW(PathFromUtf8(path).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = GetFileInformationByHandle(handle, &info) != 0;
  CloseHandle(handle);
  if (!known) return std::nullopt;
  return PathIdentity{info.dwVolumeSerialNumber,
                      (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow, ""};
}

// Windows compares names without regard to case, by upper-casing each unit.
std::string FoldName(const std::string& name, const PathIdentity&) {
  std::wstring wide = PathFromUtf8(name).wstring();
  if (!wide.empty()) CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
  return PathToUtf8(std::filesystem::path(wide));
}

#else

std::optional<PathIdentity> Identify(const std::string& path, bool follow_links) {
  struct stat info;
  if (!Usable(path)) return std::nullopt;
  if ((follow_links ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info)) != 0)
    return std::nullopt;
  return PathIdentity{static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino), ""};
}

// Whether a folder compares names without regard to case: the FAT family,
// NTFS, SMB shares, and folders marked case-insensitive on ext4 and f2fs.
bool IgnoresCase([[maybe_unused]] const std::string& folder) {
#ifdef __linux__
  struct statfs fs;
  if (::statfs(folder.c_str(), &fs) == 0) {
    switch (static_cast<unsigned long>(fs.f_type)) {
      case 0x4d44UL:      // vfat, msdos
      case 0x2011BAB0UL:  // exfat
      case 0x5346544eUL:  // ntfs, ntfs3
      case 0xFF534D42UL:  // cifs
      case 0xFE534D42UL:  // smb2
        return true;
      default:
        break;
    }
  }
#ifndef FS_CASEFOLD_FL
#define FS_CASEFOLD_FL 0x40000000
#endif
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  int flags = 0;
  const bool folds = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_CASEFOLD_FL) != 0;
  ::close(fd);
  return folds;
#else
  return false;
#endif
}

std::string FoldName(const std::string& name, const PathIdentity& folder_id,
                     const std::string& folder) {
  static std::mutex mutex;
  static std::unordered_map<PathIdentity, bool, PathIdentityHash> known;
  bool folds;
  {
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = known.find(folder_id);
    folds = found != known.end() ? found->second : (known[folder_id] = IgnoresCase(folder));
  }
  if (!folds) return name;
  // The letters these file systems fold beyond ASCII differ between them;
  // ASCII is what all of them agree on.
  std::string folded = name;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

#endif

}  // namespace

std::size_t PathIdentityHash::operator()(const PathIdentity& id) const {
  std::size_t hash = std::hash<std::uint64_t>()(id.index);
  hash ^= std::hash<std::uint64_t>()(id.volume) + 0x9e3779b97f4a7c15ULL + (hash << 6) + (hash >> 2);
  if (!id.name.empty()) hash ^= std::hash<std::string>()(id.name) + (hash << 6);
  return hash;
}

PathIdentity EntryIdentity(const std::string& path) {
  if (auto existing = Identify(path, false)) return *existing;
  const auto [folder, name] = SplitPath(path);
  const std::optional<PathIdentity> folder_id = Identify(folder, true);
  if (!folder_id || name.empty()) return Spelled(path);
#ifdef _WIN32
  return Named(*folder_id, FoldName(name, *folder_id));
#else
  return Named(*folder_id, FoldName(name, *folder_id, folder));
#endif
}

std::optional<PathIdentity> FileIdentity(const std::string& path) { return Identify(path, true); }

// ---- A batch planned before it starts ----

std::vector<std::optional<Collision>> PlanBatch(const std::vector<BatchItem>& items) {
  const std::size_t count = items.size();
  std::vector<std::optional<PathIdentity>> inputs(count);
  std::vector<PathIdentity> outputs(count);
  // Every existing input by what reading it reads and, for a link, by the
  // link itself: replacing either changes what the input gives.
  std::unordered_multimap<PathIdentity, std::size_t, PathIdentityHash> input_at;
  for (std::size_t i = 0; i < count; ++i) {
    inputs[i] = FileIdentity(items[i].input);
    outputs[i] = EntryIdentity(items[i].output);
    if (!inputs[i]) continue;
    input_at.emplace(*inputs[i], i);
    const PathIdentity entry = EntryIdentity(items[i].input);
    if (!(entry == *inputs[i])) input_at.emplace(entry, i);
  }
  const auto same_input = [&](std::size_t a, std::size_t b) {
    if (inputs[a] && inputs[b]) return *inputs[a] == *inputs[b];
    return items[a].input == items[b].input;
  };

  std::vector<std::optional<Collision>> plan(count);
  std::unordered_map<PathIdentity, std::size_t, PathIdentityHash> written;  // result -> item
  for (std::size_t i = 0; i < count; ++i) {
    // An input not converted yet, read after this result would replace it.
    std::size_t pending = count;
    const auto range = input_at.equal_range(outputs[i]);
    for (auto it = range.first; it != range.second; ++it) {
      if (it->second > i && it->second < pending && !same_input(i, it->second))
        pending = it->second;
    }
    if (pending < count) {
      plan[i] = Collision{Collision::Kind::kPendingInput, pending};
      continue;
    }
    const auto earlier = written.find(outputs[i]);
    if (earlier != written.end() && !same_input(i, earlier->second)) {
      plan[i] = Collision{Collision::Kind::kEarlierResult, earlier->second};
      continue;
    }
    if (earlier == written.end()) written.emplace(outputs[i], i);
  }
  return plan;
}

// ---- A run whose list may change ----

bool RunCollisions::Input::SameAs(const Input& other) const {
  if (file && other.file) return *file == *other.file;
  return text == other.text;
}

bool RunCollisions::ListChanged(int current, int last,
                                const RunCollisions::EntryReader& entry) const {
  if (!have_list_ || static_cast<int>(list_.size()) != last) return true;
  // Entries move as a block when one is dragged past the current one, so
  // the current position shows most changes; the positions looked up are
  // checked again before they count.
  return current >= 1 && current <= last && entry(current) != list_[current - 1];
}

void RunCollisions::TakeList(int last, const RunCollisions::EntryReader& entry) {
  list_.clear();
  list_inputs_.clear();
  list_by_identity_.clear();
  for (int position = 1; position <= last; ++position) {
    std::string text = entry(position);
    Input input{FileIdentity(text), text};
    if (input.file) {
      list_by_identity_.emplace(*input.file, position);
      const PathIdentity link = EntryIdentity(text);
      if (!(link == *input.file)) list_by_identity_.emplace(link, position);
    }
    list_.push_back(std::move(text));
    list_inputs_.push_back(std::move(input));
  }
  have_list_ = true;
}

int RunCollisions::DestroyedPending(const PathIdentity& output, const Input& input, int current,
                                    int last, const RunCollisions::EntryReader& entry) const {
  const auto range = list_by_identity_.equal_range(output);
  for (auto it = range.first; it != range.second; ++it) {
    const int position = it->second;
    if (position <= current || position > last) continue;
    if (entry(position) != list_[position - 1]) return -1;
    if (!list_inputs_[position - 1].SameAs(input)) return position;
  }
  return 0;
}

std::optional<Collision::Kind> RunCollisions::Check(const BatchItem& item, int current, int last,
                                                    const RunCollisions::EntryReader& entry) {
  const PathIdentity output = EntryIdentity(item.output);
  Input input{FileIdentity(item.input), item.input};
  checked_output_ = output;
  checked_input_ = input;
  const auto earlier = written_.find(output);
  if (earlier != written_.end() && !earlier->second.SameAs(input))
    return Collision::Kind::kEarlierResult;
  // A result that does not exist yet cannot be any existing input.
  if (!output.name.empty()) return std::nullopt;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (attempt > 0 || ListChanged(current, last, entry)) TakeList(last, entry);
    const int destroyed = DestroyedPending(output, input, current, last, entry);
    if (destroyed > 0) return Collision::Kind::kPendingInput;
    if (destroyed == 0) return std::nullopt;
  }
  return std::nullopt;
}

void RunCollisions::Rename(const PathIdentity& from, const PathIdentity& to) {
  for (Input& input : list_inputs_) {
    if (input.file && *input.file == from) input.file = to;
  }
  std::vector<int> moved;
  for (auto [it, end] = list_by_identity_.equal_range(from); it != end;) {
    moved.push_back(it->second);
    it = list_by_identity_.erase(it);
  }
  for (const int position : moved) list_by_identity_.emplace(to, position);
}

void RunCollisions::Written(const BatchItem& item) {
  const PathIdentity output = EntryIdentity(item.output);
  Input source = checked_input_;
  if (source.text != item.input) source = Input{FileIdentity(item.input), item.input};
  // The replaced file's number now belongs to the new result: an input that
  // was that file (converted onto itself) is the new result from now on.
  if (checked_output_ && checked_output_->name.empty() && !(*checked_output_ == output)) {
    if (source.file && *source.file == *checked_output_) source.file = output;
    written_.erase(*checked_output_);
    Rename(*checked_output_, output);
  }
  written_[output] = std::move(source);
  checked_output_.reset();
}

}  // namespace delvora
