// Both programs must carry the manifest that makes them long-path aware,
// their icon and their version block; Wine ignores the first and Explorer
// shows the rest, so this reads them back out of the executables.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

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

// Windows's four numbers of this build, from its text ("7.0.0.12").
std::vector<WORD> WindowsVersionNumbers() {
  std::vector<WORD> numbers;
  std::string text = DELVORA_WINDOWS_VERSION;
  for (std::size_t at = 0; at <= text.size();) {
    const std::size_t end = std::min(text.find('.', at), text.size());
    numbers.push_back(static_cast<WORD>(std::stoi(text.substr(at, end - at))));
    at = end + 1;
  }
  return numbers;
}

// The sides of the images in the program's first icon group, as the group
// directory lists them (0 stands for 256).
std::vector<int> IconSides(HMODULE module) {
  std::vector<int> sides;
  HRSRC group = FindResourceW(module, L"IDI_ICON1", MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
  if (group == nullptr) return sides;
  const auto* bytes = static_cast<const unsigned char*>(LockResource(LoadResource(module, group)));
  const int count = bytes[4] | bytes[5] << 8;
  for (int i = 0; i < count; ++i) {
    const unsigned char* entry = bytes + 6 + 14 * i;  // GRPICONDIRENTRY
    const int bits = entry[6] | entry[7] << 8;
    sides.push_back(bits == 32 ? (entry[0] == 0 ? 256 : entry[0]) : -entry[0]);
  }
  return sides;
}

TEST(WindowsManifestTest, BothProgramsCarryTheirVersionAndIcon) {
  const std::filesystem::path folder = ProgramFolder();
  const std::vector<WORD> numbers = WindowsVersionNumbers();
  ASSERT_EQ(numbers.size(), 4u) << DELVORA_WINDOWS_VERSION;
  const DWORD expected_ms = MAKELONG(numbers[1], numbers[0]);
  const DWORD expected_ls = MAKELONG(numbers[3], numbers[2]);
  for (const char* name : kPrograms) {
    SCOPED_TRACE(name);
    const std::filesystem::path program = folder / name;
    const VersionBlock block(program);
    ASSERT_FALSE(block.Empty()) << "no version block in " << program.string();
    EXPECT_EQ(block.Text(L"FileVersion"), DELVORA_WINDOWS_VERSION);
    EXPECT_EQ(block.Text(L"ProductVersion"), DELVORA_WINDOWS_VERSION);
    EXPECT_EQ(block.Text(L"CompanyName"), "Quorvane");
    EXPECT_EQ(block.Text(L"OriginalFilename"), name);
    EXPECT_EQ(block.Text(L"InternalName") + ".exe", name);
    EXPECT_NE(block.Text(L"FileDescription").find("Delvora"), std::string::npos);
    EXPECT_NE(block.Text(L"LegalCopyright").find("Quorvane"), std::string::npos);
    const VS_FIXEDFILEINFO fixed = block.Fixed();
    EXPECT_EQ(fixed.dwFileVersionMS, expected_ms);
    EXPECT_EQ(fixed.dwFileVersionLS, expected_ls);
    EXPECT_EQ(fixed.dwProductVersionMS, expected_ms);
    EXPECT_EQ(fixed.dwProductVersionLS, expected_ls);

    // Explorer shows the first icon group of the file; title bars and
    // lists take the size nearest theirs, which must have an alpha channel
    // (a negative side is an image without one).
    HMODULE module = LoadLibraryExW(program.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(IconSides(module), std::vector<int>({16, 20, 24, 32, 48, 128, 256}));
    FreeLibrary(module);
  }
}

}  // namespace
