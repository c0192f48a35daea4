#include "SettingsStore.h"

#include "FwRegistry.h"

bool ReadRegistryString(const char* subkey, const char* valueName, std::string& out) {
  return fw::ReadRegistryText(HKEY_LOCAL_MACHINE, subkey, valueName, settings::kTextLimit, out);
}

bool DeleteRegistryValue(const char* subkey, const char* valueName) {
  if (subkey == nullptr || valueName == nullptr) return false;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
  LONG rc = RegDeleteValueA(key, valueName);
  RegFlushKey(key);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

bool WriteRegistryText(const char* subkey, const char* valueName, const std::string& text) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>(text.size() + 1));
  RegFlushKey(key);
  RegCloseKey(key);
  return true;
}
