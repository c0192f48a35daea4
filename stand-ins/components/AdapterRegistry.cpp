#include "AdapterRegistry.h"

#include "RegistryValue.h"

#include <algorithm>

namespace tz {

namespace {

constexpr char kNtClassKey[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
constexpr char k95ClassKey[] = "System\\CurrentControlSet\\Services\\Class\\Net";

// Adapter keys are numbered ("0000"); nine digits still fit a DWORD.
bool IsAdapterKeyName(const char* name, DWORD length) {
  if (length == 0 || length > 9) return false;
  for (DWORD i = 0; i < length; ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
  }
  return true;
}

DWORD KeyNumber(const std::string& name) {
  DWORD n = 0;
  for (char c : name) n = n * 10 + static_cast<DWORD>(c - '0');
  return n;
}

}  // namespace

const char* AdapterClassKey(NetPlatform platform) {
  return platform == NetPlatform::WindowsNT ? kNtClassKey : k95ClassKey;
}

bool DetectNetPlatform(NetPlatform& platform, OSVERSIONINFOA* info) {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return false;
  if (info != nullptr) *info = version;
  switch (version.dwPlatformId) {
    case VER_PLATFORM_WIN32_WINDOWS:
      platform = NetPlatform::Windows95;
      return true;
    case VER_PLATFORM_WIN32_NT:
      platform = NetPlatform::WindowsNT;
      return true;
    default:
      return false;
  }
}

bool ListAdapterKeys(NetPlatform platform, std::vector<std::string>& keyNames) {
  keyNames.clear();
  HKEY classKey = nullptr;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, AdapterClassKey(platform), 0, KEY_ENUMERATE_SUB_KEYS, &classKey);
  if (rc == ERROR_FILE_NOT_FOUND) return true;
  if (rc != ERROR_SUCCESS) return false;
  bool ok = true;
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD length = sizeof name;
    rc = RegEnumKeyExA(classKey, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc == ERROR_MORE_DATA) continue;  // longer than any key name may be: not ours
    if (rc != ERROR_SUCCESS) {
      ok = false;
      break;
    }
    if (length >= sizeof name) length = sizeof name - 1;
    if (IsAdapterKeyName(name, length)) keyNames.emplace_back(name, length);
  }
  RegCloseKey(classKey);
  std::sort(keyNames.begin(), keyNames.end(), [](const std::string& a, const std::string& b) {
    DWORD na = KeyNumber(a), nb = KeyNumber(b);
    return na != nb ? na < nb : a < b;
  });
  return ok;
}

bool ReadAdapterEntry(NetPlatform platform, const std::string& keyName, AdapterEntry& entry) {
  std::string path = std::string(AdapterClassKey(platform)) + "\\" + keyName;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  entry = AdapterEntry();
  entry.number = KeyNumber(keyName);
  entry.keyName = keyName;
  ReadRegText(key, "DriverDesc", entry.description);
  ReadRegText(key, "ProviderName", entry.provider);
  ReadRegText(key, "DriverDate", entry.driverDate);
  ReadRegText(key, "DriverVersion", entry.driverVersion);
  ReadRegText(key, "InfPath", entry.infPath);
  ReadRegText(key, "InfSection", entry.infSection);
  if (platform == NetPlatform::WindowsNT) {
    ReadRegText(key, "Ndi", "Service", entry.service);
    ReadRegText(key, "MatchingDeviceId", entry.hardwareId);
  } else {
    ReadRegText(key, "DeviceVxDs", entry.service);
    ReadRegText(key, "Ndi", "DeviceID", entry.hardwareId);
  }
  RegCloseKey(key);
  return true;
}

}  // namespace tz
