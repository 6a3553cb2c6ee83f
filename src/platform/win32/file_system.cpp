#include "platform/file_system.h"

#include <windows.h>

#include <filesystem>

#include "platform/utf8_path.h"

namespace delvora {

namespace {

// A name with an embedded NUL would be cut short by the system call and
// answer for a different path.
bool Usable(const std::string& path) {
  return !path.empty() && path.find('\0') == std::string::npos;
}

DWORD Attributes(const std::string& path) {
  if (!Usable(path)) return INVALID_FILE_ATTRIBUTES;
  return GetFileAttributesW(PathFromUtf8(path).c_str());
}

}  // namespace

bool PathIsUnreadable(const std::string& path) {
  return Attributes(path) == INVALID_FILE_ATTRIBUTES;
}

bool IsExistingFile(const std::string& path) {
  if (!Usable(path)) return false;
  // No access asked and full sharing, so a file that another program holds
  // open still counts; without FILE_FLAG_BACKUP_SEMANTICS a folder fails.
  HANDLE handle =
      CreateFileW(PathFromUtf8(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  return true;
}

bool IsDeviceOrPipe(const std::string&) { return false; }

bool FolderExists(const std::string& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool PathExists(const std::string& path) {
  if (!Usable(path)) return false;
  WIN32_FILE_ATTRIBUTE_DATA data;
  return GetFileAttributesExW(PathFromUtf8(path).c_str(), GetFileExInfoStandard, &data) != 0;
}

std::string AbsolutePath(const std::string& utf8_path) {
  if (!Usable(utf8_path)) return utf8_path;
  // MinGW's std::filesystem takes "\\server\share" and "\\?\" for paths on
  // the current drive; the system's own rule knows every form.
  try {
    const std::wstring wide = PathFromUtf8(utf8_path).native();
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
      const DWORD size =
          GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
      if (size == 0) return utf8_path;
      if (size < full.size()) {
        full.resize(size);
        break;
      }
      full.resize(size);  // the length it asks for, its NUL included
    }
    return PathToUtf8(std::filesystem::path(full));
  } catch (const std::exception&) {
    // Text that is not UTF-8, or a result that has no UTF-8 form.
    return utf8_path;
  }
}

}  // namespace delvora
