#include "RegistryValue.h"

#include <vector>

namespace tz {

namespace {

// The values read here are short texts; anything larger is not what we look for.
constexpr DWORD kMaxTextBytes = 64 * 1024;

bool IsTextType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

}  // namespace

bool ReadRegText(HKEY key, const char* valueName, std::string& text) {
  // The value may change between the size query and the read: retry a few times.
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    if (!IsTextType(type) || size > kMaxTextBytes) return false;
    std::vector<char> buffer(size + 1, '\0');
    DWORD got = size;
    LONG rc = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &got);
    if (rc == ERROR_MORE_DATA) continue;
    if (rc != ERROR_SUCCESS || !IsTextType(type)) return false;
    if (got > size) got = size;
    std::size_t length = 0;
    while (length < got && buffer[length] != '\0') ++length;
    text.assign(buffer.data(), length);
    return true;
  }
  return false;
}

bool ReadRegText(HKEY root, const char* subkey, const char* valueName, std::string& text) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subkey ? subkey : "", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  bool found = ReadRegText(key, valueName, text);
  RegCloseKey(key);
  return found;
}

DWORD ReadRegDword(HKEY root, const char* subkey, const char* valueName) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subkey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
  DWORD type = 0;
  DWORD data = 0;
  DWORD size = sizeof data;
  LONG rc = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data) return 0;
  return data;
}

void CopyToArea(const std::string& text, char* area, std::size_t size) {
  if (area == nullptr || size == 0) return;
  std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
  text.copy(area, n);
  area[n] = '\0';
}

std::string LoggableText(const char* text, std::size_t maxChars) {
  if (text == nullptr) return "null";
  std::string out;
  for (std::size_t i = 0; i < maxChars && text[i] != '\0'; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    out += c < 0x20 ? ' ' : static_cast<char>(c);
  }
  return out;
}

}  // namespace tz
