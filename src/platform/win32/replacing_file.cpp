#include "platform/replacing_file.h"

#include <windows.h>

#include <algorithm>

#include "platform/app_error.h"
#include "platform/file_identity.h"
#include "platform/interrupt_cleanup.h"
#include "platform/utf8_path.h"
#include "platform/writer_hooks.h"

namespace delvora {

namespace {

// The folder part of the target, as text that a name can be appended to.
std::string FolderOf(const std::string& target) {
  const std::size_t cut = target.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : target.substr(0, cut + 1);
}

}  // namespace

struct ReplacingFile::State {
  ~State() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    if (!committed && !temp_path.empty()) DeleteFileW(PathFromUtf8(temp_path).c_str());
    guard.Release();
  }

  std::string target_path;
  std::string temp_path;
  HANDLE handle = INVALID_HANDLE_VALUE;
  bool committed = false;
  bool linked_folder = false;  // a junction or folder link in the result's place
  TemporaryGuard guard;
};

namespace {

// What stands in the result's place, seen through a handle of the entry
// itself (a link or junction is not followed); false when nothing does. A
// result another program holds open without sharing (the everyday locked
// file) could not be replaced at the end: it is refused before converting
// anything, the older result kept.
bool Inspect(const std::string& target_path, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE entry =
      CreateFileW(PathFromUtf8(target_path).c_str(), DELETE | FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (entry == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) throw ErrorFromWin32(code);
    if (code == ERROR_FILE_NOT_FOUND) return false;
    // Another failure (no right to delete it, say) is decided by the
    // attributes alone, as the replace itself will tell.
    const DWORD attributes = GetFileAttributesW(PathFromUtf8(target_path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    info = {};
    info.dwFileAttributes = attributes;
    return true;
  }
  const bool known = GetFileInformationByHandle(entry, &info);
  const DWORD code = GetLastError();
  CloseHandle(entry);
  if (!known) throw ErrorFromWin32(code);
  return true;
}

}  // namespace

ReplacingFile::ReplacingFile(const std::string& target_path, ResultTarget /*target*/) {
  if (target_path.empty() || target_path.find('\0') != std::string::npos)
    throw StandardError(kErrPathNotFound);
  auto state = std::make_unique<State>();
  state->target_path = target_path;
  DWORD carried = FILE_ATTRIBUTE_NORMAL;
  BY_HANDLE_FILE_INFORMATION old;
  if (Inspect(target_path, old)) {
    const DWORD attributes = old.dwFileAttributes;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      // A link or junction is replaced, never written through, and gives
      // the result none of what it points at.
      state->linked_folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    } else {
      if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        throw StandardError(kErrPathFileAccess, ErrorReason::kResultIsFolder);
      // Whoever made a result read-only meant "keep this".
      if (attributes & FILE_ATTRIBUTE_READONLY) throw StandardError(kErrPermissionDenied);
      // The replaced result keeps what the user set on it.
      const DWORD kept = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                       FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
      if (kept != 0) carried = kept;
    }
  }
  const std::string folder = FolderOf(target_path);
  // Without the long-path opt-in Windows takes paths shorter than MAX_PATH:
  // a result that fits there must not be refused for its temporary's longer
  // name, which then is cut to the result's length (in UTF-16 units).
  const std::size_t folder_units = PathFromUtf8(folder).native().size();
  const std::size_t result_units = PathFromUtf8(target_path).native().size() - folder_units;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = TemporaryName();
    if (folder_units + name.size() >= MAX_PATH && result_units < name.size())
      name.resize(std::max<std::size_t>(result_units, 5));
    std::string candidate = folder + name;
    const std::wstring wide = PathFromUtf8(candidate).wstring();
    DWORD code = ERROR_SUCCESS;
    // Delete sharing lets the interrupt clean-up remove it while open.
    const bool made = state->guard.Register(-1, wide.c_str(), [&] {
      state->handle = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                  CREATE_NEW, carried | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
      code = GetLastError();
      return state->handle != INVALID_HANDLE_VALUE;
    });
    if (made) {
      state->temp_path = std::move(candidate);
      state_ = std::move(state);
      return;
    }
    if (code == ERROR_SUCCESS) throw StandardError(kErrPathFileAccess, ErrorReason::kInterrupted);
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
      if (code == ERROR_FILE_NOT_FOUND) throw StandardError(kErrPathNotFound);
      throw ErrorFromWin32(code);
    }
  }
  throw ErrorFromWin32(ERROR_FILE_EXISTS);
}

ReplacingFile::~ReplacingFile() = default;

const std::string& ReplacingFile::temp_path() const { return state_->temp_path; }

void ReplacingFile::Write(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const DWORD ask = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD done = 0;
    if (!WriteFile(state_->handle, bytes, ask, &done, nullptr) || done == 0)
      throw ErrorFromWin32(GetLastError());
    bytes += done;
    size -= done;
  }
}

bool ReplacingFile::Replaces(const std::string& path) const {
  const std::optional<PathIdentity> file = FileIdentity(path);
  return file && EntryIdentity(state_->target_path) == *file;
}

void ReplacingFile::Commit(bool durable) {
  State& s = *state_;
  HANDLE h = s.handle;
  if (durable) {
    if (!FlushFileBuffers(h)) throw ErrorFromWin32(GetLastError());
    ++writer_hooks::file_flushes;
  }
  s.handle = INVALID_HANDLE_VALUE;
  if (!CloseHandle(h)) throw ErrorFromWin32(GetLastError());
  // A folder link cannot be renamed over; taking it away leaves what it
  // points at as it was (a real folder there now still refuses the result).
  if (s.linked_folder) RemoveDirectoryW(PathFromUtf8(s.target_path).c_str());
  // Write-through returns only once the rename is on disk: the folder's
  // flush on Windows.
  if (!MoveFileExW(PathFromUtf8(s.temp_path).c_str(), PathFromUtf8(s.target_path).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD code = GetLastError();
    // A folder that took the result's name meanwhile.
    const DWORD now = GetFileAttributesW(PathFromUtf8(s.target_path).c_str());
    if (now != INVALID_FILE_ATTRIBUTES && (now & FILE_ATTRIBUTE_DIRECTORY))
      throw StandardError(kErrPathFileAccess, ErrorReason::kResultIsFolder);
    throw ErrorFromWin32(code);
  }
  if (durable) ++writer_hooks::folder_flushes;
  s.committed = true;
  s.guard.Release();
}

}  // namespace delvora
