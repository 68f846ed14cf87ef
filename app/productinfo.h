#pragma once

// The maker's fixed texts: the product web page and the copyright notice.
namespace ProductInfo {

constexpr char WebPageUrl[] = "http://example.com/vorn";
constexpr char OrganisationName[] = "Ombrin";
constexpr char SettingsApplicationName[] = "Vorn Test App";
constexpr char GeometryKey[] = "geometry";
// Network serial ports opened before, most recent first: the scan cannot find them.
constexpr char NetworkPortsKey[] = "networkPorts";

} // namespace ProductInfo
