#include "MtuSetting.h"

#include <TzSetupUtils.h>

#include <string>
#include <vector>

#include "AdapterRegistry.h"

namespace tz {

namespace {

constexpr char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services\\";

// The service name becomes part of a key path: a backslash would lead elsewhere.
bool IsPlainKeyName(const std::string& name) {
  return !name.empty() && name.size() < 256 && name.find('\\') == std::string::npos;
}

}  // namespace

DWORD StoreTolvekMtu(DWORD mtu) {
  std::vector<std::string> keys;
  if (!ListAdapterKeys(NetPlatform::WindowsNT, keys)) return TZSU_E_REGISTRY;
  bool stored = false;
  bool failed = false;
  for (const std::string& keyName : keys) {
    AdapterEntry entry;
    if (!ReadAdapterEntry(NetPlatform::WindowsNT, keyName, entry)) continue;
    if (entry.description.find(kTolvekMarker) == std::string::npos || !IsPlainKeyName(entry.service)) continue;
    // Only an installed service is adjusted: creating its key would leave a half service behind.
    HKEY service = nullptr;
    std::string servicePath = kServicesKey + entry.service;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, servicePath.c_str(), 0, KEY_CREATE_SUB_KEY, &service) != ERROR_SUCCESS) continue;
    HKEY tcpip = nullptr;
    LONG rc = RegCreateKeyExA(service, "Parameters\\Tcpip", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                              &tcpip, nullptr);
    if (rc == ERROR_SUCCESS) {
      rc = RegSetValueExA(tcpip, "MTU", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&mtu), sizeof mtu);
      RegFlushKey(tcpip);
      RegCloseKey(tcpip);
    }
    RegCloseKey(service);
    if (rc == ERROR_SUCCESS) {
      stored = true;
    } else {
      failed = true;
    }
  }
  if (failed) return TZSU_E_REGISTRY;
  return stored ? TZSU_OK : TZSU_E_NO_ADAPTER;
}

}  // namespace tz
