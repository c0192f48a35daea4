#include "RuntimeFile.h"

#include <TzSetupUtils.h>

#include <string>
#include <vector>

#include "CallLog.h"
#include "RegistryValue.h"

#ifndef TZ_PRODUCT_NAME
#define TZ_PRODUCT_NAME "Velmora Tessory"
#endif
#ifndef TZ_PRODUCT_VERSION
#define TZ_PRODUCT_VERSION "2.0"
#endif

namespace tz {

namespace {

// Registry texts may hold anything; the file keeps one item per line.
std::string OneLine(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return out;
}

// A number with leading zeros to at least width digits.
std::string Padded(unsigned number, std::size_t width) {
  std::string digits = std::to_string(number);
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return digits;
}

std::string PlatformLine(NetPlatform platform, const OSVERSIONINFOA& version) {
  // Windows 95/98 keep major and minor in the high word of the build number.
  DWORD build = platform == NetPlatform::Windows95 ? LOWORD(version.dwBuildNumber) : version.dwBuildNumber;
  std::string text = std::string(platform == NetPlatform::Windows95 ? "Windows 95/98 " : "Windows NT ") +
                     std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion) + " build " +
                     std::to_string(build);
  std::size_t csd = 0;
  while (csd < sizeof version.szCSDVersion && version.szCSDVersion[csd] != '\0') ++csd;
  std::string servicePack = OneLine(std::string(version.szCSDVersion, csd));
  while (!servicePack.empty() && servicePack.back() == ' ') servicePack.pop_back();
  while (!servicePack.empty() && servicePack.front() == ' ') servicePack.erase(0, 1);
  if (!servicePack.empty()) text += " " + servicePack;
  return text;
}

}  // namespace

std::string FormatRuntimeText(NetPlatform platform, const OSVERSIONINFOA& version, const SYSTEMTIME& now,
                              const std::string& comment) {
  std::string text = "Tessory runtime information\r\n";
  text += "Product: " TZ_PRODUCT_NAME " " TZ_PRODUCT_VERSION "\r\n";
  text += "Written: " + Padded(now.wYear, 4) + "-" + Padded(now.wMonth, 2) + "-" + Padded(now.wDay, 2) + " " +
          Padded(now.wHour, 2) + ":" + Padded(now.wMinute, 2) + ":" + Padded(now.wSecond, 2) + "\r\n";
  text += "Platform: " + PlatformLine(platform, version) + "\r\n";
  text += "Windows directory: " + OneLine(WindowsDirectory()) + "\r\n";

  std::vector<std::string> keys;
  if (!ListAdapterKeys(platform, keys)) {
    text += "Network adapter entries: could not be read\r\n";
  } else {
    std::string tolvek;
    std::string lines;
    int count = 0;
    for (const std::string& key : keys) {
      AdapterEntry entry;
      if (!ReadAdapterEntry(platform, key, entry)) continue;
      ++count;
      lines += "Adapter " + key + ": " + OneLine(entry.description);
      if (!entry.service.empty()) lines += "; service " + OneLine(entry.service);
      if (!entry.provider.empty()) lines += "; provider " + OneLine(entry.provider);
      lines += "\r\n";
      if (tolvek.empty() && entry.description.find(kTolvekMarker) != std::string::npos) tolvek = key;
    }
    text += "Network adapter entries: " + std::to_string(count) + "\r\n" + lines;
    text += std::string("Velmora Tolvek adapter: ") + (tolvek.empty() ? "not installed" : "installed (" + tolvek + ")") +
            "\r\n";
  }
  if (!comment.empty()) text += "Comment: " + OneLine(comment) + "\r\n";
  return text;
}

DWORD WriteRuntimeFile(const char* path, const std::string& comment, NetPlatform platform) {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return TZSU_E_PLATFORM;
  SYSTEMTIME now;
  GetLocalTime(&now);
  std::string text = FormatRuntimeText(platform, version, now, comment);

  HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return TZSU_E_FILE;
  DWORD written = 0;
  BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  ok = CloseHandle(file) && ok;
  if (!ok || written != text.size()) {
    // A cut-off file would mislead whoever reads it.
    DeleteFileA(path);
    return TZSU_E_FILE;
  }
  return TZSU_OK;
}

}  // namespace tz
