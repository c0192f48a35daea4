#include "SimConfig.h"

#include "IniFile.h"
#include "rassim_paths.h"

#include <ras.h>

HMODULE g_simModule = nullptr;

namespace {

constexpr size_t kMaxConfigBytes = 256 * 1024;

std::string ConfigPath() {
  char buf[MAX_PATH * 2];
  DWORD n = GetEnvironmentVariableA(RASSIM_CONFIG_ENV, buf, sizeof buf);
  if (n > 0 && n < sizeof buf) return std::string(buf, n);
  n = GetModuleFileNameA(g_simModule, buf, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  std::string path(buf, n);
  size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return std::string();
  return path.substr(0, slash + 1) + RASSIM_CONFIG_FILE;
}

DWORD Clamp(long long v, long long lo, long long hi, DWORD fallback) {
  if (v < lo || v > hi) return fallback;
  return static_cast<DWORD>(v);
}

DWORD ReadDword(const IniFile& ini, const char* section, const char* key, DWORD fallback, long long lo = 0,
                long long hi = 0xFFFFFFFFll) {
  return Clamp(ParseNumber(ini.Get(section, key), fallback), lo, hi, fallback);
}

std::string Cut(const std::string& s, size_t max) { return s.size() > max ? s.substr(0, max) : s; }

} // namespace

SimConfig LoadSimConfig() {
  SimConfig cfg;
  std::string path = ConfigPath();
  IniFile ini;
  if (path.empty() || !ini.Load(path, false, kMaxConfigBytes)) return cfg;
  cfg.source = path;

  // Device1..DeviceN, "name|type"; without Count, as many as are numbered without a gap.
  long long count = ParseNumber(ini.Get("Devices", "Count"), -1);
  size_t limit = (count < 0 || count > static_cast<long long>(SimConfig::kMaxDevices)) ? SimConfig::kMaxDevices
                                                                                        : static_cast<size_t>(count);
  for (size_t i = 1; i <= limit; ++i) {
    std::string key = "Device" + std::to_string(i);
    if (!ini.Has("Devices", key)) {
      if (count < 0) break;
      continue;
    }
    std::string line = ini.Get("Devices", key);
    size_t bar = line.rfind('|');
    SimDevice d;
    d.name = Cut(bar == std::string::npos ? line : line.substr(0, bar), RAS_MaxDeviceName);
    d.type = Cut(bar == std::string::npos ? std::string("modem") : line.substr(bar + 1), RAS_MaxDeviceType);
    cfg.devices.push_back(d);
  }

  if (const IniFile::Section* accounts = ini.Find("Accounts"))
    for (const IniFile::Entry& e : accounts->entries) cfg.accounts.emplace_back(e.key, e.value);

  cfg.stepMs = ReadDword(ini, "Timing", "StepMs", cfg.stepMs, 0, 600000);
  cfg.lateDelayMs = ReadDword(ini, "Timing", "LateDelayMs", cfg.lateDelayMs, 0, 600000);
  cfg.portCloseMs = ReadDword(ini, "Timing", "PortCloseMs", cfg.portCloseMs, 0, 600000);
  cfg.hangUpWaitsForNotifier = ReadDword(ini, "Timing", "HangUpWaitsForNotifier", 0) != 0;
  cfg.hangUpDelayMs = ReadDword(ini, "Timing", "HangUpDelayMs", cfg.hangUpDelayMs, 0, 600000);
  cfg.portCloseEvent = Cut(ini.Get("Timing", "PortCloseEvent"), MAX_PATH);
  cfg.notifyBeforeHandle = ReadDword(ini, "Timing", "NotifyBeforeHandle", 0) != 0;

  cfg.errorState = ReadDword(ini, "Faults", "ErrorState", SimConfig::kNoState);
  cfg.errorCode = ReadDword(ini, "Faults", "ErrorCode", 0);
  cfg.extendedError = ReadDword(ini, "Faults", "ExtendedError", 0);
  cfg.refuseCode = ReadDword(ini, "Faults", "RefuseCode", 0);
  cfg.refuseStoresHandle = ReadDword(ini, "Faults", "RefuseStoresHandle", 0) != 0;
  cfg.dropAtState = ReadDword(ini, "Faults", "DropAtState", SimConfig::kNoState);
  cfg.dropAfterConnectMs = static_cast<LONG>(ReadDword(ini, "Faults", "DropAfterConnectMs", 0xFFFFFFFF, 0, 86400000));
  cfg.lateNotifications = ReadDword(ini, "Faults", "LateNotifications", 0, 0, 1000);
  cfg.outOfMemoryState = ReadDword(ini, "Faults", "OutOfMemoryState", SimConfig::kNoState);

  if (const IniFile::Section* fails = ini.Find("FailCalls"))
    for (const IniFile::Entry& e : fails->entries) {
      long long code = ParseNumber(e.value, 0);
      if (code > 0 && code <= 0xFFFFFFFFll) cfg.failCalls.emplace_back(e.key, static_cast<DWORD>(code));
    }
  return cfg;
}

DWORD SimConfig::ForcedFailure(const char* function) const {
  for (const auto& f : failCalls)
    if (IniFile::SameName(f.first, function)) return f.second;
  return 0;
}

bool SimConfig::AccountAccepts(const std::string& user, const std::string& password) const {
  for (const auto& a : accounts)
    if (a.first == user) return a.second == password;
  return false;
}

const SimDevice* SimConfig::FindDevice(const std::string& name) const {
  for (const SimDevice& d : devices)
    if (d.name == name) return &d;
  return nullptr;
}
