// Both programs must carry the manifest that makes them long-path aware;
// Wine ignores it, so this reads it back out of the executables.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

namespace {

std::filesystem::path ProgramFolder() {
  std::wstring buffer(32768, L'\0');
  const DWORD length =
      GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  buffer.resize(length);
  return std::filesystem::path(buffer).parent_path();
}

// The text of the manifest Windows reads at process start, or "" if none.
std::string EmbeddedManifest(const std::filesystem::path& program) {
  HMODULE module = LoadLibraryExW(program.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return "";
  std::string text;
  // CREATEPROCESS_MANIFEST_RESOURCE_ID of type RT_MANIFEST.
  if (HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
    if (HGLOBAL loaded = LoadResource(module, resource)) {
      text.assign(static_cast<const char*>(LockResource(loaded)), SizeofResource(module, resource));
    }
  }
  FreeLibrary(module);
  return text;
}

TEST(WindowsManifestTest, BothProgramsAreLongPathAware) {
  const std::filesystem::path folder = ProgramFolder();
#ifdef DELVORA_WITH_WINDOW
  const auto programs = {"delvora.exe", "delvora-convert.exe"};
#else
  const auto programs = {"delvora-convert.exe"};
#endif
  for (const char* name : programs) {
    SCOPED_TRACE(name);
    const std::filesystem::path program = folder / name;
    const std::string manifest = EmbeddedManifest(program);
    ASSERT_FALSE(manifest.empty()) << "no manifest in " << program.string();
    EXPECT_NE(manifest.find("<longPathAware"), std::string::npos);
    EXPECT_NE(manifest.find(">true</longPathAware>"), std::string::npos);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  }
}

}  // namespace
