#pragma once

#include <filesystem>
#include <string>

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

}  // namespace delvora
