#include "MachineRegistry.h"

#include <memory>
#include <new>

#include "FwStrings.h"

std::string TextFromRegistryData(const BYTE* data, DWORD size) {
  return fw::Trim(fw::FromBuffer(reinterpret_cast<const char*>(data), size));
}

bool ReadMachineText(const char* subkey, const char* valueName, DWORD bufferSize, std::string& out) {
  if (subkey == nullptr || valueName == nullptr || bufferSize == 0) return false;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[bufferSize]());
  DWORD size = bufferSize;
  LONG rc = buffer ? RegQueryValueExA(key, valueName, nullptr, nullptr, buffer.get(), &size)
                   : ERROR_NOT_ENOUGH_MEMORY;
  RegCloseKey(key);
  // A value too long for the buffer fails with ERROR_MORE_DATA and counts as missing.
  if (rc != ERROR_SUCCESS) return false;
  out = TextFromRegistryData(buffer.get(), size < bufferSize ? size : bufferSize);
  return true;
}

bool ReadMachineString(const char* subkey, const char* valueName, std::string& out) {
  return ReadMachineText(subkey, valueName, 256, out);
}
