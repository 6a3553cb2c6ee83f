#pragma once

// File attributes as the Windows file system reports them. The folder walk
// and its skip rules compare whole attribute values (34, 22, 1046), so every
// platform answers in these bits. Elsewhere one mapping stands in for them:
// read-only when nobody may write, hidden when the name begins with ".",
// folder, archive for a regular file, reparse point for a symbolic link;
// nothing is ever "system".

#include <optional>
#include <string>

namespace delvora {

// Whether hidden and system are attributes of their own (Windows), rather
// than hidden being a name that begins with "." and nothing the system's.
#ifdef _WIN32
inline constexpr bool kAttributesAreStored = true;
#else
inline constexpr bool kAttributesAreStored = false;
#endif

enum FileAttribute : int {
  kAttrReadOnly = 1,
  kAttrHidden = 2,
  kAttrSystem = 4,
  kAttrDirectory = 16,
  kAttrArchive = 32,
  kAttrReparsePoint = 1024,
};

// The attribute value of a file or folder (UTF-8 path). Throws AppError when
// the file system cannot report it.
int FileAttributes(const std::string& path);

// The attribute value of a path that names an existing file (after
// following a link; elsewhere than Windows only a regular file counts), or
// nullopt when it names none. One
// question where asking whether a file exists and then for its attributes
// would take two; a folder walk asks it for every file.
std::optional<int> ExistingFileAttributes(const std::string& path);

// True for the root folder of a drive or of the file system ("C:\", "/"),
// whatever trailing separators the path carries.
bool IsRootFolder(const std::string& path);

}  // namespace delvora
