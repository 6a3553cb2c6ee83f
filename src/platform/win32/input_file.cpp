#include "platform/input_file.h"

#include <windows.h>

#include "platform/app_error.h"
#include "platform/utf8_path.h"

namespace delvora {

namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

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
  LARGE_INTEGER size;
  if (GetFileSizeEx(h, &size)) size_ = static_cast<std::uint64_t>(size.QuadPart);
}

void InputFile::Close() {
  if (handle_ != kClosed) CloseHandle(AsHandle(handle_));
  handle_ = kClosed;
}

std::size_t InputFile::Read(void* buffer, std::size_t size) {
  const DWORD ask = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
  DWORD got = 0;
  if (!ReadFile(AsHandle(handle_), buffer, ask, &got, nullptr))
    throw ErrorFromWin32(GetLastError());
  return got;
}

}  // namespace delvora
