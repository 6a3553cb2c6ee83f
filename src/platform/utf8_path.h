#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace delvora {

// Paths travel through the program as UTF-8 text; the file system gets them
// as native paths so that every name it can resolve is reachable (on Windows
// the wide API, not the narrow code page).
std::filesystem::path PathFromUtf8(const std::string& utf8);
std::string PathToUtf8(const std::filesystem::path& path);

// The platform's path separator as text ("\\" on Windows, "/" elsewhere).
#ifdef _WIN32
inline constexpr char kNativeSeparator = '\\';
#else
inline constexpr char kNativeSeparator = '/';
#endif

// The length of the root a path begins with, its last separator included.
// With "\": a drive (C:\ or C: alone), a share (\\server\share\), either of
// them behind \\?\ or \\.\ (\\?\C:\ or \\?\UNC\server\share\), or one
// leading "\" (the current drive's root). With "/": the leading run of
// separators. 0 for a relative path.
std::size_t RootLength(std::string_view path, char separator);

}  // namespace delvora
