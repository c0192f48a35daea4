#include "StartupRules.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

std::string ReadyEventNameFrom(const char* cmdLine) {
  if (cmdLine == nullptr) return std::string();
  const std::string line(cmdLine);
  size_t marker = line.find("/e\"");
  if (marker == std::string::npos) marker = line.find("-e\"");
  if (marker == std::string::npos) return std::string();
  std::string name;
  for (size_t i = marker + 3; i + 1 < line.size() && line[i] != '"'; ++i) name += line[i];
  return name;
}

int PlatformCodeFor(DWORD platformId, DWORD majorVersion) {
  switch (platformId) {
    case VER_PLATFORM_WIN32_WINDOWS:
      return kPlatformWin9x;
    case VER_PLATFORM_WIN32_NT:
      return majorVersion > 4 ? kPlatformNT5 : kPlatformNT4;
    default:
      return kPlatformOther;
  }
}

bool DetectPlatformCode(GetVersionFn getVersion, int& platform) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof(info);
  static_assert(sizeof(OSVERSIONINFOA) == 148, "the size Windows 95 and NT 4 accept");
  if (getVersion == nullptr || !getVersion(&info)) return false;
  platform = PlatformCodeFor(info.dwPlatformId, info.dwMajorVersion);
  return true;
}

UINT UrlPollPeriodFrom(const std::string& text) {
  // strtol has atoi's rules but a defined result for numbers out of range.
  errno = 0;
  long value = std::strtol(text.c_str(), nullptr, 10);
  if (value > INT_MAX) value = INT_MAX;
  if (value < INT_MIN) value = INT_MIN;
  if (value == 0) return 5000;
  return static_cast<UINT>(static_cast<int>(value));
}

bool IsAdjustedFlag(const std::string& trimmedText) { return trimmedText == "true"; }
