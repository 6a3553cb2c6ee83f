#include "platform/folder_listing.h"

#include <windows.h>

#include <memory>
#include <string_view>

#include "platform/app_error.h"
#include "platform/file_system.h"
#include "platform/utf8_path.h"

namespace delvora {

namespace {

struct FindCloser {
  void operator()(HANDLE find) const { FindClose(find); }
};

// The wide name as UTF-8, or nothing for a name with an unpaired surrogate.
bool NameToUtf8(const wchar_t* name, std::string& utf8) {
  const int size =
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, name, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return false;
  utf8.resize(static_cast<std::size_t>(size));
  WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, name, -1, utf8.data(), size, nullptr, nullptr);
  utf8.pop_back();  // the terminating NUL
  return true;
}

}  // namespace

// Straight on FindFirstFileExW: the attributes come with the names, and the
// network and long forms of a path reach the system as they are.
void ListFolder(const std::string& folder, const std::function<void(const FolderEntry&)>& each) {
  if (folder.empty() || folder.find('\0') != std::string::npos)
    throw StandardError(kErrPathNotFound);
  std::wstring pattern = PathFromUtf8(folder).native();
  if (pattern.back() != L'\\' && pattern.back() != L'/') pattern.push_back(L'\\');
  pattern.push_back(L'*');
  WIN32_FIND_DATAW found;
  HANDLE raw = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (raw == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    // Whatever the system calls it (and Wine calls a file "an invalid
    // name" here), a folder that is not there is a path not found; no entry
    // at all (a drive root has no "." either) is an empty folder.
    if (!FolderExists(folder)) throw StandardError(kErrPathNotFound);
    if (code == ERROR_FILE_NOT_FOUND) return;
    throw ErrorFromWin32(code);
  }
  const std::unique_ptr<void, FindCloser> find(raw);
  FolderEntry entry;
  do {
    const std::wstring_view name(found.cFileName);
    if (name == L"." || name == L"..") continue;
    // A name with no UTF-8 form is left out like a name that is not text
    // elsewhere, and the listing goes on.
    if (!NameToUtf8(found.cFileName, entry.name)) continue;
    // A link to a folder carries the folder attribute itself.
    entry.is_folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.is_plain_file =
        !entry.is_folder && (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    each(entry);
  } while (FindNextFileW(find.get(), &found));
  const DWORD code = GetLastError();
  if (code != ERROR_NO_MORE_FILES) throw ErrorFromWin32(code);
}

bool WithinPathLimit(const std::string& path) { return PathFromUtf8(path).native().size() < 260; }

}  // namespace delvora
