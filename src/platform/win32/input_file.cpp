#include "platform/input_file.h"

#include <windows.h>

#include "platform/app_error.h"
#include "platform/utf8_path.h"

namespace delvora {

namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Size and last write time; false when the system cannot tell.
bool Stamp(HANDLE h, std::uint64_t& size, std::int64_t& modified) {
  FILE_BASIC_INFO basic;
  LARGE_INTEGER bytes;
  if (!GetFileSizeEx(h, &bytes) ||
      !GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic))
    return false;
  size = static_cast<std::uint64_t>(bytes.QuadPart);
  modified = basic.LastWriteTime.QuadPart;
  return true;
}

// The change time, which no program can set back; false when the system
// cannot tell.
bool ChangeTime(HANDLE h, std::int64_t& changed) {
  FILE_BASIC_INFO basic;
  if (!GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)) return false;
  changed = basic.ChangeTime.QuadPart;
  return true;
}

}  // namespace

InputFile::InputFile(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) throw StandardError(kErrFileNotFound);
  // Others may keep reading and writing the file while it is converted, as
  // they could with the original reader.
  HANDLE h = CreateFileW(PathFromUtf8(path).c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    // A folder refuses to open as a file with "access denied"; name it for
    // what it is, as on other systems.
    const DWORD attributes = GetFileAttributesW(PathFromUtf8(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
      throw StandardError(kErrPathFileAccess);
    throw ErrorFromWin32(code);
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  // A pipe or a device ("CON", "COM1", "\\.\pipe\x") may never end or never
  // answer: only files on disk are read.
  if (GetFileType(h) != FILE_TYPE_DISK) {
    Close();
    throw StandardError(kErrPathFileAccess, "not a regular file");
  }
  if (!Stamp(h, size_, modified_)) {
    const DWORD code = GetLastError();
    Close();
    throw ErrorFromWin32(code);
  }
}

void InputFile::Close() {
  if (handle_ != kClosed) CloseHandle(AsHandle(handle_));
  handle_ = kClosed;
}

std::size_t InputFile::Read(void* buffer, std::size_t size) {
  if (!change_taken_) {
    if (!ChangeTime(AsHandle(handle_), changed_)) throw ErrorFromWin32(GetLastError());
    change_taken_ = true;
  }
  const std::size_t capped = Cap(size);
  const DWORD ask = capped > (1u << 30) ? (1u << 30) : static_cast<DWORD>(capped);
  DWORD got = 0;
  if (ask != 0 && !ReadFile(AsHandle(handle_), buffer, ask, &got, nullptr))
    throw ErrorFromWin32(GetLastError());
  read_ += got;
  if (got == 0) {
    std::uint64_t size_now = 0;
    std::int64_t modified_now = 0;
    std::int64_t changed_now = 0;
    if (!Stamp(AsHandle(handle_), size_now, modified_now) ||
        !ChangeTime(AsHandle(handle_), changed_now))
      throw ErrorFromWin32(GetLastError());
    if (size_now != size_ || modified_now != modified_ || changed_now != changed_ ||
        (size_ != 0 && read_ != size_))
      throw StandardError(kErrPathFileAccess, ErrorReason::kInputChanged);
  }
  return got;
}

}  // namespace delvora
