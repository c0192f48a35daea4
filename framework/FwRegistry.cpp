#include "FwRegistry.h"

#include <memory>
#include <new>

#include "FwStrings.h"

namespace fw {

bool ReadRegistryText(HKEY root, const char* subkey, const char* valueName, DWORD bufferSize, std::string& out) {
  if (subkey == nullptr || valueName == nullptr || bufferSize == 0) return false;
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subkey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  // A settings read fails quietly, so running out of memory here is just another "missing".
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[bufferSize]());
  DWORD size = bufferSize;
  LONG rc = buffer ? RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.get()), &size)
                   : ERROR_NOT_ENOUGH_MEMORY;
  RegCloseKey(key);
  // A value too long for the buffer fails with ERROR_MORE_DATA.
  if (rc != ERROR_SUCCESS) return false;
  // The data need not end in a zero: never look past what the query returned.
  out = Trim(FromBuffer(buffer.get(), size < bufferSize ? size : bufferSize));
  return true;
}

}  // namespace fw
