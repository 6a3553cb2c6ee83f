#pragma once

// File-system questions asked by the list, the walk and the run. Paths are
// UTF-8 text; every path the file system can resolve is accepted. None of
// these reports or throws.

#include <string>

namespace delvora {

// True when the file system cannot report the path's attributes.
bool PathIsUnreadable(const std::string& path);
// True when the path opens as an existing file (not a folder).
bool IsExistingFile(const std::string& path);
// True when the path's attributes can be read and say "folder".
bool FolderExists(const std::string& path);
// True when the path is a device, pipe or socket, which a result is written
// into as it goes rather than replaced (never on Windows, whose writer
// replaces only files).
bool IsDeviceOrPipe(const std::string& path);
// True when the last-change time of the path (file or folder) can be read.
bool PathExists(const std::string& path);

// The path made absolute against the current folder (and, on Windows, the
// current drive), with the platform's separators; network (\\server\share)
// and long (\\?\C:\) forms stay as they are. The input unchanged when it
// cannot be resolved.
std::string AbsolutePath(const std::string& utf8_path);

}  // namespace delvora
