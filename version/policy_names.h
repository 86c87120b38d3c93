// The administrator's policy for the version service's site lock, by name:
// the module reads these under HKEY_LOCAL_MACHINE, and the administrative
// template (installer/policy/GNLauncher.admx with its en-US .adml) writes
// them. A version test reads the template and fails when it names any other
// key or value. Plain data, no platform header.
#pragma once

#define GN_VERSION_POLICY_KEY "Software\\Policies\\Quor Software\\GNLauncher\\VersionService"

namespace gn {

// The policy's key.
inline constexpr char kVersionPolicyKey[] = GN_VERSION_POLICY_KEY;
// Its DWORD value: 1 turns the site lock off (any page may change the map).
inline constexpr char kAllowAllSitesValue[] = "AllowAllSites";
// Its subkey: every string value is a host or a "*.name" pattern allowed to
// change the map.
inline constexpr char kAllowedSitesKey[] = GN_VERSION_POLICY_KEY "\\AllowedSites";

}  // namespace gn

#undef GN_VERSION_POLICY_KEY
