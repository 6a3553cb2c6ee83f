#include "platform/file_identity.h"

#include <windows.h>

#include <filesystem>

#include "platform/utf8_path.h"

namespace delvora {

namespace {

std::optional<PathIdentity> Identify(const std::string& path, bool follow_links) {
  if (path.empty() || path.find('\0') != std::string::npos) return std::nullopt;
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

}  // namespace

std::optional<PathIdentity> FileIdentity(const std::string& path) { return Identify(path, true); }

std::optional<PathIdentity> LinkIdentity(const std::string& path) { return Identify(path, false); }

// Windows compares names without regard to case, by upper-casing each unit.
std::string FoldedName(const std::string& name, const PathIdentity& /*folder_id*/,
                       const std::string& /*folder*/) {
  std::wstring wide = PathFromUtf8(name).wstring();
  if (!wide.empty()) CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
  return PathToUtf8(std::filesystem::path(wide));
}

}  // namespace delvora
