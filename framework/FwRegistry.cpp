#include "FwRegistry.h"

#include <vector>

#include "FwStrings.h"

namespace fw {

bool ReadRegistryText(HKEY root, const char* subkey, const char* valueName, DWORD bufferSize, std::string& out) {
  if (subkey == nullptr || valueName == nullptr || bufferSize == 0) return false;
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subkey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  // The settings' buffers (16, 128, 256 bytes) live on the stack. Running out of memory is not
  // turned into "missing": a dialog that showed an empty field for a stored value would write
  // the empty text back on OK, so it reaches the framework's out-of-memory report instead.
  char small[256];
  std::vector<char> large;
  char* buffer = small;
  if (bufferSize > sizeof small) {
    large.resize(bufferSize);
    buffer = large.data();
  }
  DWORD size = bufferSize;
  LONG rc = RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  // A value too long for the buffer fails with ERROR_MORE_DATA.
  if (rc != ERROR_SUCCESS) return false;
  // The data need not end in a zero: never look past what the query returned.
  out = Trim(FromBuffer(buffer, size < bufferSize ? size : bufferSize));
  return true;
}

}  // namespace fw
