#include "SimStore.h"

#include "rassim_paths.h"

#include <cstdio>

namespace {

HANDLE g_stateMutex = nullptr;
constexpr DWORD kLockWaitMs = 10000;
constexpr char kSimSection[] = "Simulator";
constexpr ULONG_PTR kHandleBase = 0x1000;

std::string StateDir() {
  char dir[MAX_PATH * 2 + 16];
  if (!RasSimStateDir(dir, sizeof dir)) return std::string();
  CreateDirectoryA(dir, nullptr); // fails harmlessly when it exists
  return dir;
}

std::string Field(const IniFile::Section& s, const char* key) {
  const IniFile::Entry* e = s.Find(key);
  return e ? e->value : std::string();
}

bool ParseHandleName(const std::string& name, ULONG_PTR* handle) {
  if (name.size() < 3 || name[0] != '0' || (name[1] != 'x' && name[1] != 'X')) return false;
  long long v = ParseNumber(name, 0);
  if (v <= 0) return false;
  *handle = static_cast<ULONG_PTR>(v);
  return true;
}

SimStore::ConnectionRecord FromSection(const IniFile::Section& s, ULONG_PTR handle) {
  SimStore::ConnectionRecord r;
  r.handle = handle;
  r.entry = Field(s, "Entry");
  r.deviceType = Field(s, "DeviceType");
  r.deviceName = Field(s, "DeviceName");
  r.phoneNumber = Field(s, "PhoneNumber");
  r.user = Field(s, "User");
  r.pid = static_cast<DWORD>(ParseNumber(Field(s, "Pid"), 0));
  long long drop = ParseNumber(Field(s, "DropAt"), 0);
  r.dropAt = drop > 0 ? static_cast<ULONGLONG>(drop) : 0;
  return r;
}

// Loads connections.ini and drops the records whose time is up; true when any was dropped.
bool LoadLiveConnections(IniFile& ini) {
  SimStore::LoadFile(RASSIM_CONNECTIONS_FILE, ini);
  ULONGLONG now = SimStore::NowFileTime();
  std::vector<std::string> expired;
  for (const IniFile::Section& s : ini.Sections()) {
    ULONG_PTR h = 0;
    if (!ParseHandleName(s.name, &h)) continue;
    SimStore::ConnectionRecord r = FromSection(s, h);
    if (r.dropAt != 0 && r.dropAt <= now) expired.push_back(s.name);
  }
  for (const std::string& name : expired) ini.Remove(name);
  return !expired.empty();
}

} // namespace

StoreLock::StoreLock() {
  if (!g_stateMutex) return;
  DWORD r = WaitForSingleObject(g_stateMutex, kLockWaitMs);
  m_held = (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED); // a holder that died left the files whole
}

StoreLock::~StoreLock() {
  if (m_held) ReleaseMutex(g_stateMutex);
}

namespace SimStore {

void Init() {
  // One name for every process of the Wine session; per-session isolation comes from the prefix.
  g_stateMutex = CreateMutexA(nullptr, FALSE, "RasSimulatorStateLock");
}

void Shutdown() {
  if (g_stateMutex) CloseHandle(g_stateMutex);
  g_stateMutex = nullptr;
}

std::string PathOf(const char* fileName) {
  std::string dir = StateDir();
  return dir.empty() ? dir : dir + fileName;
}

bool LoadFile(const char* fileName, IniFile& ini) {
  std::string path = PathOf(fileName);
  if (path.empty()) {
    ini.Parse(std::string(), true);
    return false;
  }
  return ini.Load(path, true);
}

bool SaveFile(const char* fileName, const IniFile& ini) {
  std::string path = PathOf(fileName);
  return !path.empty() && ini.Save(path);
}

void Log(const std::string& line) {
  std::string path = PathOf(RASSIM_CALL_LOG_FILE);
  if (path.empty()) return;
  std::string text = line + "\n";
  StoreLock lock;
  HANDLE h = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  SetFilePointer(h, 0, nullptr, FILE_END);
  DWORD written = 0;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(h);
}

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Hex(ULONG_PTR value) {
  char buf[32];
  snprintf(buf, sizeof buf, "0x%08llX", static_cast<unsigned long long>(value));
  return buf;
}

ULONGLONG NowFileTime() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

ULONG_PTR NextHandle() {
  StoreLock lock;
  IniFile ini;
  if (lock.Held()) {
    LoadFile(RASSIM_CONNECTIONS_FILE, ini);
    long long n = ParseNumber(ini.Get(kSimSection, "NextHandle"), 1);
    if (n < 1 || n > 0x3FFFFFF) n = 1;
    ini.Set(kSimSection, "NextHandle", std::to_string(n + 1));
    if (SaveFile(RASSIM_CONNECTIONS_FILE, ini)) return kHandleBase + static_cast<ULONG_PTR>(n) * 4;
  }
  // No shared counter: a value of this process's own, outside the shared range.
  static LONG local = 0;
  return 0x10000000 + ((GetCurrentProcessId() & 0xFFFF) << 12) + (InterlockedIncrement(&local) & 0xFFF) * 4;
}

bool SaveConnection(const ConnectionRecord& rec) {
  StoreLock lock;
  if (!lock.Held()) return false;
  IniFile ini;
  LoadLiveConnections(ini);
  std::string name = Hex(rec.handle);
  ini.Remove(name);
  ini.Set(name, "Entry", rec.entry);
  ini.Set(name, "DeviceType", rec.deviceType);
  ini.Set(name, "DeviceName", rec.deviceName);
  ini.Set(name, "PhoneNumber", rec.phoneNumber);
  ini.Set(name, "User", rec.user);
  ini.Set(name, "Pid", std::to_string(rec.pid));
  SYSTEMTIME st;
  GetLocalTime(&st);
  char when[64];
  snprintf(when, sizeof when, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
           st.wSecond);
  ini.Set(name, "ConnectedAt", when);
  ini.Set(name, "DropAt", std::to_string(rec.dropAt));
  return SaveFile(RASSIM_CONNECTIONS_FILE, ini);
}

bool RemoveConnection(ULONG_PTR handle) {
  StoreLock lock;
  if (!lock.Held()) return false;
  IniFile ini;
  bool expired = LoadLiveConnections(ini);
  bool found = ini.Remove(Hex(handle));
  if (found || expired) SaveFile(RASSIM_CONNECTIONS_FILE, ini);
  return found;
}

bool FindConnection(ULONG_PTR handle, ConnectionRecord* out) {
  for (const ConnectionRecord& r : Connections()) {
    if (r.handle == handle) {
      if (out) *out = r;
      return true;
    }
  }
  return false;
}

std::vector<ConnectionRecord> Connections() {
  StoreLock lock;
  IniFile ini;
  if (LoadLiveConnections(ini) && lock.Held()) SaveFile(RASSIM_CONNECTIONS_FILE, ini);
  std::vector<ConnectionRecord> out;
  for (const IniFile::Section& s : ini.Sections()) {
    ULONG_PTR h = 0;
    if (ParseHandleName(s.name, &h)) out.push_back(FromSection(s, h));
  }
  return out;
}

} // namespace SimStore
