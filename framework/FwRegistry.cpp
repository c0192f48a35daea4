#include "FwRegistry.h"

#include <vector>

#include "FwStrings.h"

namespace fw {

bool ReadRegistryText(HKEY root, const char* subkey, const char* valueName, DWORD bufferSize, std::string& out) {
  if (subkey == nullptr || valueName == nullptr || bufferSize == 0) return false;
  // Running out of memory is not turned into "missing": a dialog that showed an empty field
  // for a stored value would write the empty text back on OK, so the allocation's failure
  // reaches the framework's out-of-memory report instead. Allocated before the key is open, so
  // that the failure leaves no key behind.
  std::vector<char> buffer(bufferSize);
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subkey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  DWORD size = bufferSize;
  LONG rc = RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size);
  RegCloseKey(key);
  // A value too long for the buffer fails with ERROR_MORE_DATA.
  if (rc != ERROR_SUCCESS) return false;
  // The data need not end in a zero: never look past what the query returned.
  out = Trim(FromBuffer(buffer.data(), size < bufferSize ? size : bufferSize));
  return true;
}

}  // namespace fw
