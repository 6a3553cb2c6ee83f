#pragma once

// Fixed values of the product, kept together so that every message and
// action names the same addresses.
namespace delvora {

inline constexpr const char* kProductTitle = "Delvora";
inline constexpr const char* kProductVersion = "7.00";
inline constexpr const char* kSupportEmail = "support@quorvane.example";
inline constexpr const char* kVendorHomePage = "https://www.quorvane.example/delvora";
inline constexpr const char* kSettingsOrganisation = "Quorvane";

}  // namespace delvora
