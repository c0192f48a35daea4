// The installed network adapters, as Windows records them in the registry: one numbered
// subkey per adapter under the network adapter class key, with its description in DriverDesc.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tz {

// Where the adapters are recorded: Windows 95/98 and Windows NT keep them in different keys.
enum class NetPlatform { Windows95, WindowsNT };

// The description marker of the adapter the components drive.
inline constexpr char kTolvekMarker[] = "Velmora Tolvek";

struct AdapterEntry {
  DWORD number = 0;       // the key name as a number
  std::string keyName;    // "0000", "0001", ...
  std::string description;
  std::string service;    // NT: Ndi\Service; 95/98: DeviceVxDs
  std::string provider;
  std::string driverDate;
  std::string driverVersion;
  std::string infPath;
  std::string infSection;
  std::string hardwareId; // NT: MatchingDeviceId; 95/98: Ndi\DeviceID
};

// The class key under HKEY_LOCAL_MACHINE for the platform.
const char* AdapterClassKey(NetPlatform platform);

// Detects the platform with GetVersionExA (info, when given, receives the version data).
// False for a failure and for platforms other than 95/98 and NT.
bool DetectNetPlatform(NetPlatform& platform, OSVERSIONINFOA* info = nullptr);

// The names of the adapter subkeys (1 to 9 decimal digits; others such as "Properties" are
// not adapters), in numeric order. A missing class key gives none. False when the class key
// exists but cannot be read.
bool ListAdapterKeys(NetPlatform platform, std::vector<std::string>& keyNames);

// Reads one adapter's values; a missing or non-text value gives an empty text.
// False when the subkey no longer exists.
bool ReadAdapterEntry(NetPlatform platform, const std::string& keyName, AdapterEntry& entry);

}  // namespace tz
