// Both programs must carry the manifest that makes them long-path aware,
// their icon and their version block; Wine ignores the first and Explorer
// shows the rest, so this reads them back out of the executables.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "delvora_version.h"

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

#ifdef DELVORA_WITH_WINDOW
const auto kPrograms = {"delvora.exe", "delvora-convert.exe"};
#else
const auto kPrograms = {"delvora-convert.exe"};
#endif

TEST(WindowsManifestTest, BothProgramsAreLongPathAware) {
  const std::filesystem::path folder = ProgramFolder();
  for (const char* name : kPrograms) {
    SCOPED_TRACE(name);
    const std::filesystem::path program = folder / name;
    const std::string manifest = EmbeddedManifest(program);
    ASSERT_FALSE(manifest.empty()) << "no manifest in " << program.string();
    EXPECT_NE(manifest.find("<longPathAware"), std::string::npos);
    EXPECT_NE(manifest.find(">true</longPathAware>"), std::string::npos);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  }
}

// The version block as Explorer's Details tab reads it.
class VersionBlock {
 public:
  explicit VersionBlock(const std::filesystem::path& program) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(program.c_str(), &ignored);
    if (size == 0) return;
    data_.resize(size);
    if (!GetFileVersionInfoW(program.c_str(), 0, size, data_.data())) data_.clear();
  }
  bool Empty() const { return data_.empty(); }
  // A value of the US English, UTF-16 string table, or "" if absent.
  std::string Text(const wchar_t* name) const {
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data_.data(), query.c_str(), &value, &length) || length == 0) return "";
    std::string text;
    for (const wchar_t* c = static_cast<const wchar_t*>(value); *c != L'\0'; ++c) {
      text += static_cast<char>(*c);  // our values are ASCII
    }
    return text;
  }
  VS_FIXEDFILEINFO Fixed() const {
    void* value = nullptr;
    UINT length = 0;
    VS_FIXEDFILEINFO fixed{};
    if (VerQueryValueW(data_.data(), L"\\", &value, &length) && length >= sizeof fixed) {
      fixed = *static_cast<const VS_FIXEDFILEINFO*>(value);
    }
    return fixed;
  }

 private:
  std::vector<char> data_;
};

TEST(WindowsManifestTest, BothProgramsCarryTheirVersionAndIcon) {
  const std::filesystem::path folder = ProgramFolder();
  const DWORD expected_ms = MAKELONG(delvora::kProductVersionMinor, delvora::kProductVersionMajor);
  const DWORD expected_ls = MAKELONG(0, delvora::kProductVersionPatch);
  for (const char* name : kPrograms) {
    SCOPED_TRACE(name);
    const std::filesystem::path program = folder / name;
    const VersionBlock block(program);
    ASSERT_FALSE(block.Empty()) << "no version block in " << program.string();
    EXPECT_EQ(block.Text(L"FileVersion"), delvora::kProductVersion);
    EXPECT_EQ(block.Text(L"ProductVersion"), delvora::kProductVersion);
    EXPECT_EQ(block.Text(L"CompanyName"), "Quorvane");
    EXPECT_EQ(block.Text(L"OriginalFilename"), name);
    EXPECT_NE(block.Text(L"FileDescription").find("Delvora"), std::string::npos);
    EXPECT_NE(block.Text(L"LegalCopyright").find("Quorvane"), std::string::npos);
    const VS_FIXEDFILEINFO fixed = block.Fixed();
    EXPECT_EQ(fixed.dwFileVersionMS, expected_ms);
    EXPECT_EQ(fixed.dwFileVersionLS, expected_ls);
    EXPECT_EQ(fixed.dwProductVersionMS, expected_ms);

    // Explorer shows the first icon group of the file.
    HMODULE module = LoadLibraryExW(program.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    EXPECT_NE(FindResourceW(module, L"IDI_ICON1", MAKEINTRESOURCEW(14)), nullptr)  // RT_GROUP_ICON
        << "no icon in " << program.string();
    FreeLibrary(module);
  }
}

}  // namespace
