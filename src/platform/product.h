#pragma once

// Fixed values of the product, kept together so that every message and
// action names the same addresses.

#include "delvora_version.h"  // kProductVersion, generated from CMakeLists.txt

namespace delvora {

inline constexpr const char* kProductTitle = "Delvora";
inline constexpr const char* kSupportEmail = "support@quorvane.example";
inline constexpr const char* kVendorHomePage = "https://www.quorvane.example/delvora";
inline constexpr const char* kSettingsOrganisation = "Quorvane";
// The desktop entry, icon and AppStream id (share/linux/), reverse-DNS from
// the vendor's address.
inline constexpr const char* kDesktopFileName = "example.quorvane.Delvora";

}  // namespace delvora
