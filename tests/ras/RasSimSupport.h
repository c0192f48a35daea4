// Shared by the RAS simulator's tests: the simulator loaded from the build's bin folder as
// Wine loads it for the dialer, a notifier that records what it gets, the state files, and the
// test fixture, for the one test program that the three files make.
#pragma once
#include <windows.h>

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include "rassim_paths.h"
#include "RasRecords400.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace rassimtest {

inline constexpr char kEntry[] = "Tessory Connection";
inline constexpr DWORD kConnected = 0x2000, kDisconnected = 0x2001;
inline const std::vector<DWORD> kWalk = {0, 1, 2, 3, 4, 5, 6, 14, 18, kConnected};

struct RasApi {
  HMODULE module = nullptr;
  decltype(&RasEnumDevicesA) EnumDevices = nullptr;
  decltype(&RasValidateEntryNameA) ValidateEntryName = nullptr;
  decltype(&RasSetEntryPropertiesA) SetEntryProperties = nullptr;
  decltype(&RasGetEntryPropertiesA) GetEntryProperties = nullptr;
  decltype(&RasGetEntryDialParamsA) GetEntryDialParams = nullptr;
  decltype(&RasSetEntryDialParamsA) SetEntryDialParams = nullptr;
  decltype(&RasDialA) Dial = nullptr;
  decltype(&RasHangUpA) HangUp = nullptr;
  decltype(&RasEnumConnectionsA) EnumConnections = nullptr;
  decltype(&RasGetConnectStatusA) GetConnectStatus = nullptr;
  BOOL(WINAPI* IsIdle)() = nullptr; // the simulator's own: no dial thread left to notify

  template <class F> void Bind(F& f, const char* name) {
    f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }
  bool Load(const std::string& path) {
    module = LoadLibraryA(path.c_str());
    if (!module) return false;
    Bind(EnumDevices, "RasEnumDevicesA");
    Bind(ValidateEntryName, "RasValidateEntryNameA");
    Bind(SetEntryProperties, "RasSetEntryPropertiesA");
    Bind(GetEntryProperties, "RasGetEntryPropertiesA");
    Bind(GetEntryDialParams, "RasGetEntryDialParamsA");
    Bind(SetEntryDialParams, "RasSetEntryDialParamsA");
    Bind(Dial, "RasDialA");
    Bind(HangUp, "RasHangUpA");
    Bind(EnumConnections, "RasEnumConnectionsA");
    Bind(GetConnectStatus, "RasGetConnectStatusA");
    Bind(IsIdle, "RasSimIsIdle");
    return Dial && HangUp && EnumDevices && ValidateEntryName && SetEntryProperties && GetEntryProperties &&
           GetEntryDialParams && SetEntryDialParams && EnumConnections && GetConnectStatus && IsIdle;
  }
};
inline RasApi g_ras;

inline std::string ExeDir() {
  char buf[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
  std::string p(buf, n);
  return p.substr(0, p.find_last_of('\\') + 1);
}

// TZ_BIN_DIR is a Unix path; Wine shows the Unix root as drive Z:.
inline std::string BinDir() {
  char buf[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("TZ_BIN_DIR", buf, sizeof buf);
  if (n == 0 || n >= sizeof buf) return ExeDir();
  std::string dir(buf, n);
  if (dir[0] == '/') dir = "Z:" + dir;
  for (char& c : dir)
    if (c == '/') c = '\\';
  return dir.back() == '\\' ? dir : dir + "\\";
}

inline std::string StateFile(const char* name) {
  char buf[MAX_PATH * 2];
  return RasSimStateFile(name, buf, sizeof buf) ? buf : "";
}

inline std::string ReadText(const std::string& path) {
  std::string out;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return out;
  char buf[65536];
  DWORD got = 0;
  while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
  CloseHandle(h);
  return out;
}

inline void WriteText(const std::string& path, const std::string& text) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h) << path;
  DWORD put = 0;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
  CloseHandle(h);
}

// Lines of calls.log that start with prefix.
inline std::vector<std::string> LogLines(const std::string& prefix) {
  std::vector<std::string> out;
  std::string log = ReadText(StateFile(RASSIM_CALL_LOG_FILE));
  size_t pos = 0;
  while (pos < log.size()) {
    size_t end = log.find('\n', pos);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(pos, end - pos);
    if (line.compare(0, prefix.size(), prefix) == 0) out.push_back(line);
    pos = end + 1;
  }
  return out;
}

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

inline std::string HandleText(HRASCONN h) {
  char buf[32];
  snprintf(buf, sizeof buf, "handle=0x%08llX", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(h)));
  return buf;
}

// What the notifier saw.
struct Note {
  HRASCONN handle;
  UINT msg;
  DWORD state, error, extended, thread;
  bool handleStored; // the caller's HRASCONN already held this handle
};
inline std::mutex g_notesLock;
inline std::condition_variable g_notesChanged;
inline std::vector<Note> g_notes;
inline HRASCONN volatile g_dialHandle = nullptr;      // where the test's RasDialA stores its handle
inline std::function<void(const Note&)> g_onNote;     // runs inside the notifier

inline void WINAPI Notifier(HRASCONN h, UINT msg, RASCONNSTATE state, DWORD error, DWORD extended) {
  Note n{h, msg, static_cast<DWORD>(state), error, extended, GetCurrentThreadId(), g_dialHandle == h};
  std::function<void(const Note&)> hook;
  {
    std::lock_guard<std::mutex> lock(g_notesLock);
    g_notes.push_back(n);
    hook = g_onNote;
  }
  g_notesChanged.notify_all();
  if (hook) hook(n);
}

inline void SetHook(std::function<void(const Note&)> hook) {
  std::lock_guard<std::mutex> lock(g_notesLock);
  g_onNote = std::move(hook);
}

inline std::vector<Note> NotesFor(HRASCONN h) {
  std::lock_guard<std::mutex> lock(g_notesLock);
  std::vector<Note> out;
  for (const Note& n : g_notes)
    if (n.handle == h) out.push_back(n);
  return out;
}

// Waits until handle h got a notification with this state (or any error); false on timeout.
inline bool WaitForState(HRASCONN h, DWORD state, int timeoutMs = 10000) {
  std::unique_lock<std::mutex> lock(g_notesLock);
  return g_notesChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    for (const Note& n : g_notes)
      if (n.handle == h && (n.state == state || n.error != 0)) return true;
    return false;
  });
}

// Nothing more can happen: every dial thread of the simulator has ended (bounded).
inline bool WaitSimIdle(int timeoutMs = 10000) {
  for (DWORD start = GetTickCount(); !g_ras.IsIdle(); Sleep(5))
    if (GetTickCount() - start > static_cast<DWORD>(timeoutMs)) return false;
  return true;
}

inline RASENTRYA_400 EntryTemplate() {
  RASENTRYA_400 e = {};
  e.dwSize = sizeof e;
  e.dwfOptions = RASEO_RemoteDefaultGateway;
  e.dwfNetProtocols = RASNP_Ip;
  e.dwFramingProtocol = RASFP_Ppp;
  strcpy(e.szLocalPhoneNumber, "1.1.1.1");
  strcpy(e.szDeviceType, "vpn");
  strcpy(e.szDeviceName, "Velmora PPPoE Adapter");
  return e;
}

inline RASDIALPARAMSA_400 DialParams(const char* user, const char* password, const char* entry = kEntry) {
  RASDIALPARAMSA_400 p = {};
  p.dwSize = sizeof p;
  strcpy(p.szEntryName, entry);
  strcpy(p.szUserName, user);
  strcpy(p.szPassword, password);
  return p;
}

inline DWORD Dial(RasApi& ras, RASDIALPARAMSA_400 p, HRASCONN* h, bool async = true) {
  g_dialHandle = nullptr;
  DWORD rc = ras.Dial(nullptr, nullptr, reinterpret_cast<LPRASDIALPARAMSA>(&p), 1,
                      async ? reinterpret_cast<LPVOID>(&Notifier) : nullptr, const_cast<HRASCONN*>(&g_dialHandle));
  *h = g_dialHandle;
  return rc;
}

inline int ThreadCount() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 te = {};
  te.dwSize = sizeof te;
  int count = 0;
  for (BOOL ok = Thread32First(snap, &te); ok; ok = Thread32Next(snap, &te))
    if (te.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  CloseHandle(snap);
  return count;
}

inline std::vector<RASCONNA_400> Connections(RasApi& ras) {
  std::vector<RASCONNA_400> list(8);
  list[0].dwSize = sizeof(RASCONNA_400);
  DWORD cb = static_cast<DWORD>(list.size() * sizeof(RASCONNA_400)), count = 0;
  EXPECT_EQ(0u, ras.EnumConnections(reinterpret_cast<LPRASCONNA>(list.data()), &cb, &count));
  list.resize(count);
  return list;
}

// The child process of the cross-process test: dials, waits for the connection and ends, leaving
// it up. Runs before GoogleTest starts.
inline const int g_childExit = [] {
  if (!strstr(GetCommandLineA(), "--rassim-child-dial")) return 0;
  HRASCONN h = nullptr;
  bool ok = g_ras.Load(BinDir() + "rasapi32.dll") && Dial(g_ras, DialParams("alice", "secret"), &h) == 0 &&
            WaitForState(h, kConnected) && NotesFor(h).back().state == kConnected;
  ExitProcess(ok ? 0 : 1);
}();

class RasSim : public testing::Test {
protected:
  static void SetUpTestSuite() { ASSERT_TRUE(g_ras.Load(BinDir() + "rasapi32.dll")) << BinDir(); }

  void SetUp() override {
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    m_config = std::string(tmp) + "rassim-test.ini";
    SetEnvironmentVariableA(RASSIM_CONFIG_ENV, m_config.c_str());
    for (const char* f : {RASSIM_PHONEBOOK_FILE, RASSIM_DIALPARAMS_FILE, RASSIM_CONNECTIONS_FILE, RASSIM_CALL_LOG_FILE})
      DeleteFileA(StateFile(f).c_str());
    Config();
    SetHook(nullptr);
    std::lock_guard<std::mutex> lock(g_notesLock);
    g_notes.clear();
  }

  void TearDown() override {
    for (const RASCONNA_400& c : Connections(g_ras)) g_ras.HangUp(c.hrasconn);
    SetHook(nullptr);
  }

  void Config(const std::string& faults = "", const std::string& timing = "StepMs=20") {
    WriteText(m_config, "[Devices]\nCount=2\nDevice1=Standard Modem|modem\nDevice2=Velmora PPPoE Adapter|vpn\n"
                        "[Accounts]\nalice=secret\n[Timing]\n" + timing + "\n[Faults]\n" + faults + "\n");
  }

  void CreateEntry(const char* name = kEntry) {
    RASENTRYA_400 e = EntryTemplate();
    ASSERT_EQ(0u, g_ras.SetEntryProperties(nullptr, name, reinterpret_cast<LPRASENTRYA>(&e), sizeof e, nullptr, 0));
  }

  std::string m_config;
};


}  // namespace rassimtest
