// The RAS simulator, loaded from the build's bin folder like Wine loads it for the dialer.
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

namespace {

constexpr char kEntry[] = "Tessory Connection";
constexpr DWORD kConnected = 0x2000, kDisconnected = 0x2001;
const std::vector<DWORD> kWalk = {0, 1, 2, 3, 4, 5, 6, 14, 18, kConnected};

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
RasApi g_ras;

std::string ExeDir() {
  char buf[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
  std::string p(buf, n);
  return p.substr(0, p.find_last_of('\\') + 1);
}

// TZ_BIN_DIR is a Unix path; Wine shows the Unix root as drive Z:.
std::string BinDir() {
  char buf[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("TZ_BIN_DIR", buf, sizeof buf);
  if (n == 0 || n >= sizeof buf) return ExeDir();
  std::string dir(buf, n);
  if (dir[0] == '/') dir = "Z:" + dir;
  for (char& c : dir)
    if (c == '/') c = '\\';
  return dir.back() == '\\' ? dir : dir + "\\";
}

std::string StateFile(const char* name) {
  char buf[MAX_PATH * 2];
  return RasSimStateFile(name, buf, sizeof buf) ? buf : "";
}

std::string ReadText(const std::string& path) {
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

void WriteText(const std::string& path, const std::string& text) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h) << path;
  DWORD put = 0;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
  CloseHandle(h);
}

// Lines of calls.log that start with prefix.
std::vector<std::string> LogLines(const std::string& prefix) {
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

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string HandleText(HRASCONN h) {
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
std::mutex g_notesLock;
std::condition_variable g_notesChanged;
std::vector<Note> g_notes;
HRASCONN volatile g_dialHandle = nullptr;       // where the test's RasDialA stores its handle
std::function<void(const Note&)> g_onNote;      // runs inside the notifier

void WINAPI Notifier(HRASCONN h, UINT msg, RASCONNSTATE state, DWORD error, DWORD extended) {
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

void SetHook(std::function<void(const Note&)> hook) {
  std::lock_guard<std::mutex> lock(g_notesLock);
  g_onNote = std::move(hook);
}

std::vector<Note> NotesFor(HRASCONN h) {
  std::lock_guard<std::mutex> lock(g_notesLock);
  std::vector<Note> out;
  for (const Note& n : g_notes)
    if (n.handle == h) out.push_back(n);
  return out;
}

// Waits until handle h got a notification with this state (or any error); false on timeout.
bool WaitForState(HRASCONN h, DWORD state, int timeoutMs = 10000) {
  std::unique_lock<std::mutex> lock(g_notesLock);
  return g_notesChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    for (const Note& n : g_notes)
      if (n.handle == h && (n.state == state || n.error != 0)) return true;
    return false;
  });
}

// Nothing more can happen: every dial thread of the simulator has ended (bounded).
bool WaitSimIdle(int timeoutMs = 10000) {
  for (DWORD start = GetTickCount(); !g_ras.IsIdle(); Sleep(5))
    if (GetTickCount() - start > static_cast<DWORD>(timeoutMs)) return false;
  return true;
}

RASENTRYA_400 EntryTemplate() {
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

RASDIALPARAMSA_400 DialParams(const char* user, const char* password, const char* entry = kEntry) {
  RASDIALPARAMSA_400 p = {};
  p.dwSize = sizeof p;
  strcpy(p.szEntryName, entry);
  strcpy(p.szUserName, user);
  strcpy(p.szPassword, password);
  return p;
}

DWORD Dial(RasApi& ras, RASDIALPARAMSA_400 p, HRASCONN* h, bool async = true) {
  g_dialHandle = nullptr;
  DWORD rc = ras.Dial(nullptr, nullptr, reinterpret_cast<LPRASDIALPARAMSA>(&p), 1,
                      async ? reinterpret_cast<LPVOID>(&Notifier) : nullptr, const_cast<HRASCONN*>(&g_dialHandle));
  *h = g_dialHandle;
  return rc;
}

int ThreadCount() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 te = {};
  te.dwSize = sizeof te;
  int count = 0;
  for (BOOL ok = Thread32First(snap, &te); ok; ok = Thread32Next(snap, &te))
    if (te.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  CloseHandle(snap);
  return count;
}

std::vector<RASCONNA_400> Connections(RasApi& ras) {
  std::vector<RASCONNA_400> list(8);
  list[0].dwSize = sizeof(RASCONNA_400);
  DWORD cb = static_cast<DWORD>(list.size() * sizeof(RASCONNA_400)), count = 0;
  EXPECT_EQ(0u, ras.EnumConnections(reinterpret_cast<LPRASCONNA>(list.data()), &cb, &count));
  list.resize(count);
  return list;
}

// The child process of the cross-process test: dials, waits for the connection and ends, leaving
// it up. Runs before GoogleTest starts.
const int g_childExit = [] {
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

TEST_F(RasSim, EnumeratesDevicesAndChecksRecordSizes) {
  DWORD cb = 0, count = 0;
  EXPECT_EQ(603u, g_ras.EnumDevices(nullptr, &cb, &count));
  EXPECT_EQ(2u * 152, cb);
  EXPECT_EQ(2u, count);

  std::vector<RASDEVINFOA_400> devs(2);
  devs[0].dwSize = 152;
  DWORD small = 152;
  EXPECT_EQ(603u, g_ras.EnumDevices(reinterpret_cast<LPRASDEVINFOA>(devs.data()), &small, &count));
  EXPECT_EQ(304u, small);
  ASSERT_EQ(0u, g_ras.EnumDevices(reinterpret_cast<LPRASDEVINFOA>(devs.data()), &cb, &count));
  EXPECT_STREQ("Standard Modem", devs[0].szDeviceName);
  EXPECT_STREQ("modem", devs[0].szDeviceType);
  EXPECT_STREQ("Velmora PPPoE Adapter", devs[1].szDeviceName);
  EXPECT_STREQ("vpn", devs[1].szDeviceType);
  EXPECT_EQ(152u, devs[1].dwSize);

  devs[0].dwSize = 100;
  EXPECT_EQ(632u, g_ras.EnumDevices(reinterpret_cast<LPRASDEVINFOA>(devs.data()), &cb, &count));
  EXPECT_EQ(87u, g_ras.EnumDevices(nullptr, nullptr, &count));
  EXPECT_TRUE(Contains(LogLines("RasEnumDevicesA").front(), "buffer=no dwSize=152 cb=0 cbOut=304 devices=2 rc=603"))
      << LogLines("RasEnumDevicesA").front();

  // No configuration file: no devices, and the first call already succeeds.
  DeleteFileA(m_config.c_str());
  cb = 99;
  EXPECT_EQ(0u, g_ras.EnumDevices(nullptr, &cb, &count));
  EXPECT_EQ(0u, cb);
  EXPECT_EQ(0u, count);
}

TEST_F(RasSim, ValidatesNamesAndStoresEveryEntryField) {
  EXPECT_EQ(0u, g_ras.ValidateEntryName(nullptr, kEntry));
  for (const std::string& bad : std::vector<std::string>{"", "a|b", "x:y", "a/b", ".hidden", "   ", std::string(257, 'n')})
    EXPECT_EQ(123u, g_ras.ValidateEntryName(nullptr, bad.c_str())) << bad;
  EXPECT_EQ(87u, g_ras.ValidateEntryName(nullptr, nullptr));

  RASENTRYA_400 e = EntryTemplate();
  e.dwSize = 1000;
  EXPECT_EQ(632u, g_ras.SetEntryProperties(nullptr, kEntry, reinterpret_cast<LPRASENTRYA>(&e), sizeof e, nullptr, 0));
  e.dwSize = sizeof e;
  EXPECT_EQ(610u, g_ras.SetEntryProperties(nullptr, kEntry, reinterpret_cast<LPRASENTRYA>(&e), 1000, nullptr, 0));
  e.szDeviceName[0] = '\0';
  EXPECT_EQ(87u, g_ras.SetEntryProperties(nullptr, kEntry, reinterpret_cast<LPRASENTRYA>(&e), sizeof e, nullptr, 0));
  EXPECT_EQ(0u, g_ras.ValidateEntryName(nullptr, kEntry)) << "refused records write nothing";

  CreateEntry();
  EXPECT_EQ(183u, g_ras.ValidateEntryName(nullptr, kEntry));
  EXPECT_EQ(183u, g_ras.ValidateEntryName(nullptr, "TESSORY connection"));

  // Read back: the template and nothing else, every other field zero or empty.
  RASENTRYA_400 back;
  memset(&back, 0xCC, sizeof back);
  back.dwSize = sizeof back;
  DWORD size = sizeof back;
  ASSERT_EQ(0u, g_ras.GetEntryProperties(nullptr, kEntry, reinterpret_cast<LPRASENTRYA>(&back), &size, nullptr, nullptr));
  RASENTRYA_400 want = EntryTemplate();
  EXPECT_EQ(0, memcmp(&want, &back, sizeof want));
  EXPECT_EQ(0x10u, back.dwfOptions);
  EXPECT_EQ(4u, back.dwfNetProtocols);
  EXPECT_EQ(1u, back.dwFramingProtocol);
  EXPECT_STREQ("1.1.1.1", back.szLocalPhoneNumber);
  EXPECT_STREQ("vpn", back.szDeviceType);
  EXPECT_STREQ("Velmora PPPoE Adapter", back.szDeviceName);
  size = 0;
  EXPECT_EQ(603u, g_ras.GetEntryProperties(nullptr, kEntry, nullptr, &size, nullptr, nullptr));
  EXPECT_GE(size, 1768u);
  EXPECT_EQ(623u, g_ras.GetEntryProperties(nullptr, "Nobody", reinterpret_cast<LPRASENTRYA>(&back), &size, nullptr,
                                           nullptr));

  std::string pb = ReadText(StateFile(RASSIM_PHONEBOOK_FILE));
  for (const char* line : {"[Tessory Connection]\n", "\ndwfOptions=16\n", "\nszDeviceName=Velmora PPPoE Adapter\n",
                           "\nszLocalPhoneNumber=1.1.1.1\n", "\nipaddrDns=0.0.0.0\n", "\nszScript=\n"})
    EXPECT_TRUE(Contains(pb, line)) << line << " in\n" << pb;
  EXPECT_TRUE(Contains(LogLines("RasSetEntryPropertiesA").back(),
                       "entry=\"Tessory Connection\" dwSize=1768 size=1768 devinfo=0 rc=0"));

  // MinGW's larger layout, alternate numbers after the record and a device block also keep.
  std::vector<BYTE> big(sizeof(RASENTRYA) + 16);
  RASENTRYA_400 head = EntryTemplate();
  head.dwSize = sizeof(RASENTRYA);
  head.dwAlternateOffset = sizeof(RASENTRYA);
  memcpy(big.data(), &head, sizeof head);
  const char alternates[] = "555-1\0" "555-2\0"; // and the empty string that ends the list
  memcpy(big.data() + sizeof(RASENTRYA), alternates, sizeof alternates);
  BYTE devinfo[3] = {1, 0, 0xFF};
  ASSERT_EQ(0u, g_ras.SetEntryProperties(nullptr, "Other", reinterpret_cast<LPRASENTRYA>(big.data()),
                                         static_cast<DWORD>(big.size()), devinfo, sizeof devinfo));
  std::vector<BYTE> got(big.size() + 64);
  memcpy(got.data(), &head, sizeof(DWORD));
  size = static_cast<DWORD>(got.size());
  BYTE devBack[8] = {};
  DWORD devSize = sizeof devBack;
  ASSERT_EQ(0u, g_ras.GetEntryProperties(nullptr, "Other", reinterpret_cast<LPRASENTRYA>(got.data()), &size, devBack,
                                         &devSize));
  EXPECT_EQ(sizeof(RASENTRYA) + sizeof alternates, size);
  EXPECT_EQ(0, memcmp(got.data() + sizeof(RASENTRYA), alternates, sizeof alternates));
  EXPECT_EQ(3u, devSize);
  EXPECT_EQ(0, memcmp(devinfo, devBack, 3));
}

TEST_F(RasSim, DialParamsRoundTripHonoursRemovePassword) {
  RASDIALPARAMSA_400 p = DialParams("alice", "secret");
  BOOL has = TRUE;
  auto params = [&] { return reinterpret_cast<LPRASDIALPARAMSA>(&p); };
  EXPECT_EQ(623u, g_ras.GetEntryDialParams(nullptr, params(), &has));
  EXPECT_EQ(623u, g_ras.SetEntryDialParams(nullptr, params(), FALSE));
  CreateEntry();

  ASSERT_EQ(0u, g_ras.GetEntryDialParams(nullptr, params(), &has));
  EXPECT_FALSE(has);
  EXPECT_STREQ("", p.szUserName);

  p = DialParams("alice", "secret");
  ASSERT_EQ(0u, g_ras.SetEntryDialParams(nullptr, params(), FALSE));
  p = DialParams("", "");
  ASSERT_EQ(0u, g_ras.GetEntryDialParams(nullptr, params(), &has));
  EXPECT_TRUE(has);
  EXPECT_STREQ("alice", p.szUserName);
  EXPECT_STREQ("secret", p.szPassword);
  EXPECT_STREQ("", p.szDomain);

  p = DialParams("alice", "typed but not saved");
  ASSERT_EQ(0u, g_ras.SetEntryDialParams(nullptr, params(), TRUE));
  p = DialParams("", "");
  ASSERT_EQ(0u, g_ras.GetEntryDialParams(nullptr, params(), &has));
  EXPECT_FALSE(has);
  EXPECT_STREQ("alice", p.szUserName);
  EXPECT_STREQ("", p.szPassword);

  p.dwSize = 1000;
  EXPECT_EQ(632u, g_ras.SetEntryDialParams(nullptr, params(), FALSE));
  EXPECT_EQ(632u, g_ras.GetEntryDialParams(nullptr, params(), &has));

  std::vector<std::string> sets = LogLines("RasSetEntryDialParamsA");
  ASSERT_EQ(4u, sets.size());
  EXPECT_TRUE(Contains(sets[1], "entry=\"Tessory Connection\" dwSize=1052 user=\"alice\" domain=\"\" remove=0 "
                                "password=stored rc=0")) << sets[1];
  EXPECT_TRUE(Contains(sets[2], "remove=1 password=empty rc=0")) << sets[2];
  std::string log = ReadText(StateFile(RASSIM_CALL_LOG_FILE));
  EXPECT_FALSE(Contains(log, "secret"));
  EXPECT_FALSE(Contains(log, "typed but"));
}

TEST_F(RasSim, DialWalksPppoeStatesToConnected) {
  Config("", "");  // default timing
  CreateEntry();
  HRASCONN h = nullptr;
  DWORD start = GetTickCount();
  ASSERT_EQ(0u, Dial(g_ras, DialParams("alice", "secret"), &h));
  ASSERT_NE(nullptr, h);
  ASSERT_TRUE(WaitForState(h, kConnected));
  DWORD took = GetTickCount() - start;
  EXPECT_GE(took, 1500u);
  EXPECT_LE(took, 6000u);

  std::vector<Note> notes = NotesFor(h);
  ASSERT_EQ(kWalk.size(), notes.size());
  for (size_t i = 0; i < notes.size(); ++i) {
    EXPECT_EQ(kWalk[i], notes[i].state);
    EXPECT_EQ(0u, notes[i].error);
    EXPECT_EQ(static_cast<UINT>(WM_RASDIALEVENT), notes[i].msg);
    EXPECT_TRUE(notes[i].handleStored);
    EXPECT_NE(GetCurrentThreadId(), notes[i].thread);
    EXPECT_EQ(notes[0].thread, notes[i].thread);
  }
  EXPECT_TRUE(Contains(LogLines("RasDialA").back(), "entry=\"Tessory Connection\" dwSize=1052 user=\"alice\" "
                                                    "password=given domain=\"\" notifierType=1 notifier=yes "
                                                    "number=\"1.1.1.1\" " + HandleText(h) + " rc=0"));
  EXPECT_EQ(10u, LogLines("notify").size());

  std::vector<RASCONNA_400> conns = Connections(g_ras);
  ASSERT_EQ(1u, conns.size());
  EXPECT_EQ(h, conns[0].hrasconn);
  EXPECT_STREQ(kEntry, conns[0].szEntryName);
  RASCONNSTATUSA_400 st = {};
  st.dwSize = sizeof st;
  ASSERT_EQ(0u, g_ras.GetConnectStatus(h, reinterpret_cast<LPRASCONNSTATUSA>(&st)));
  EXPECT_EQ(kConnected, st.rasconnstate);
  EXPECT_STREQ("Velmora PPPoE Adapter", st.szDeviceName);
  st.dwSize = 7;
  EXPECT_EQ(632u, g_ras.GetConnectStatus(h, reinterpret_cast<LPRASCONNSTATUSA>(&st)));

  EXPECT_EQ(0u, g_ras.HangUp(h));
  EXPECT_EQ(6u, g_ras.HangUp(h));
  st.dwSize = sizeof st;
  EXPECT_EQ(6u, g_ras.GetConnectStatus(h, reinterpret_cast<LPRASCONNSTATUSA>(&st)));
  EXPECT_TRUE(Connections(g_ras).empty());
}

TEST_F(RasSim, FailuresAtAStateEndTheAttempt) {
  CreateEntry();
  struct Case {
    const char* faults;
    const char* user;
    const char* password;
    DWORD state, error, extended;
  } cases[] = {
      {"", "alice", "wrong", 5, 691, 0},
      {"", "mallory", "secret", 5, 691, 0},
      {"ErrorState=3\nErrorCode=678\nExtendedError=12", "alice", "secret", 3, 678, 12},
      {"ErrorState=0x2000\nErrorCode=734", "alice", "secret", kConnected, 734, 0},
  };
  for (const Case& c : cases) {
    Config(c.faults);
    HRASCONN h = nullptr;
    ASSERT_EQ(0u, Dial(g_ras, DialParams(c.user, c.password), &h));
    ASSERT_TRUE(WaitForState(h, 0xFFFF));
    ASSERT_TRUE(WaitSimIdle());
    std::vector<Note> notes = NotesFor(h);
    auto at = std::find(kWalk.begin(), kWalk.end(), c.state);
    ASSERT_EQ(static_cast<size_t>(at - kWalk.begin()) + 1, notes.size()) << c.faults;
    EXPECT_EQ(c.state, notes.back().state);
    EXPECT_EQ(c.error, notes.back().error);
    EXPECT_EQ(c.extended, notes.back().extended);
    EXPECT_TRUE(Connections(g_ras).empty());
    EXPECT_EQ(0u, g_ras.HangUp(h)) << "the handle stays valid until hung up";
  }
  EXPECT_TRUE(Contains(LogLines("notify").back(), "state=8192 error=734 ext=0"));
}

TEST_F(RasSim, RefusalsAreSynchronous) {
  HRASCONN h = nullptr;
  EXPECT_EQ(623u, Dial(g_ras, DialParams("alice", "secret"), &h));
  EXPECT_EQ(nullptr, h);
  CreateEntry();
  Config("RefuseCode=633\nRefuseStoresHandle=1");
  EXPECT_EQ(633u, Dial(g_ras, DialParams("alice", "secret"), &h));
  EXPECT_NE(nullptr, h);
  EXPECT_EQ(0u, g_ras.HangUp(h));
  Config("RefuseCode=8");
  EXPECT_EQ(8u, Dial(g_ras, DialParams("alice", "secret"), &h));
  EXPECT_EQ(nullptr, h);
  RASDIALPARAMSA_400 p = DialParams("alice", "secret");
  p.dwSize = 1040;
  EXPECT_EQ(632u, Dial(g_ras, p, &h));
  ASSERT_TRUE(WaitSimIdle());
  EXPECT_TRUE(LogLines("notify").empty());
}

TEST_F(RasSim, DropsDuringDiallingAndAfterConnecting) {
  CreateEntry();
  Config("DropAtState=14");
  HRASCONN h = nullptr;
  ASSERT_EQ(0u, Dial(g_ras, DialParams("alice", "secret"), &h));
  ASSERT_TRUE(WaitForState(h, kDisconnected));
  std::vector<Note> notes = NotesFor(h);
  ASSERT_EQ(9u, notes.size());
  EXPECT_EQ(14u, notes[7].state);
  EXPECT_EQ(kDisconnected, notes[8].state);
  EXPECT_EQ(0u, notes[8].error);
  EXPECT_EQ(0u, g_ras.HangUp(h));

  Config("DropAfterConnectMs=300");
  ASSERT_EQ(0u, Dial(g_ras, DialParams("alice", "secret"), &h));
  ASSERT_TRUE(WaitForState(h, kConnected));
  EXPECT_EQ(1u, Connections(g_ras).size());
  ASSERT_TRUE(WaitForState(h, kDisconnected));
  EXPECT_EQ(kDisconnected, NotesFor(h).back().state);
  EXPECT_TRUE(Connections(g_ras).empty());
  RASCONNSTATUSA_400 st = {};
  st.dwSize = sizeof st;
  ASSERT_EQ(0u, g_ras.GetConnectStatus(h, reinterpret_cast<LPRASCONNSTATUSA>(&st)));
  EXPECT_EQ(kDisconnected, st.rasconnstate);
  EXPECT_EQ(0u, g_ras.HangUp(h));
}

TEST_F(RasSim, HangUpStopsNotificationsExceptConfiguredLateOnes) {
  CreateEntry();
  Config("", "StepMs=100");
  HRASCONN h = nullptr;
  ASSERT_EQ(0u, Dial(g_ras, DialParams("alice", "secret"), &h));
  ASSERT_TRUE(WaitForState(h, 2));
  EXPECT_EQ(0u, g_ras.HangUp(h));
  size_t seen = NotesFor(h).size();
  ASSERT_TRUE(WaitSimIdle());
  EXPECT_LE(NotesFor(h).size(), seen + 1) << "at most the one already on its way";
  EXPECT_NE(kConnected, NotesFor(h).back().state);

  Config("LateNotifications=3", "StepMs=100");
  ASSERT_EQ(0u, Dial(g_ras, DialParams("alice", "secret"), &h));
  ASSERT_TRUE(WaitForState(h, 1));
  EXPECT_EQ(0u, g_ras.HangUp(h));
  ASSERT_TRUE(WaitSimIdle());
  std::vector<std::string> notes = LogLines("notify");
  std::vector<std::string> late;
  for (const std::string& l : notes)
    if (Contains(l, HandleText(h)) && Contains(l, "late=1")) late.push_back(l);
  ASSERT_EQ(3u, late.size());
  // They carry on the walk where the hang-up stopped it.
  size_t ontime = NotesFor(h).size() - 3;
  for (size_t i = 0; i < 3; ++i)
    EXPECT_TRUE(Contains(late[i], "state=" + std::to_string(kWalk[ontime + i]) + " ")) << late[i];
}

// Status of |h| once it answers |rc|, within a bound.
bool WaitStatusCode(HRASCONN h, DWORD rc, RASCONNSTATUSA_400* st, int timeoutMs = 5000) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < static_cast<DWORD>(timeoutMs); Sleep(10)) {
    st->dwSize = sizeof *st;
    if (g_ras.GetConnectStatus(h, reinterpret_cast<LPRASCONNSTATUSA>(st)) == rc) return true;
  }
  return false;
}

TEST_F(RasSim, AHungUpPortStaysInUseForPortCloseMs) {
  CreateEntry();
  Config("", "StepMs=10\nPortCloseMs=500");
  HRASCONN h = nullptr, again = nullptr;
  ASSERT_EQ(0u, Dial(g_ras, DialParams("alice", "secret"), &h));
  ASSERT_TRUE(WaitForState(h, 2));
  ASSERT_EQ(0u, g_ras.HangUp(h));
  RASCONNSTATUSA_400 st = {};
  ASSERT_TRUE(WaitStatusCode(h, 0, &st)) << "the handle still answers while its port closes";
  EXPECT_EQ(kDisconnected, st.rasconnstate);
  EXPECT_EQ(6u, g_ras.HangUp(h)) << "a second hang-up";
  // A dial on the same device meanwhile: the port is in use.
  ASSERT_EQ(0u, Dial(g_ras, DialParams("alice", "secret"), &again));
  ASSERT_TRUE(WaitForState(again, 0xFFFF));
  ASSERT_EQ(1u, NotesFor(again).size());
  EXPECT_EQ(0u, NotesFor(again)[0].state);
  EXPECT_EQ(633u, NotesFor(again)[0].error);
  ASSERT_EQ(0u, g_ras.HangUp(again));
  ASSERT_TRUE(WaitStatusCode(h, 6, &st)) << "the port never closed";
  ASSERT_TRUE(WaitStatusCode(again, 6, &st));
  std::vector<std::string> closed = LogLines("port ");
  ASSERT_EQ(2u, closed.size());
  EXPECT_TRUE(Contains(closed[0], HandleText(h)) && Contains(closed[0], " closed")) << closed[0];
  // Closed: the device dials again.
  Config("", "StepMs=10");
  ASSERT_EQ(0u, Dial(g_ras, DialParams("alice", "secret"), &again));
  ASSERT_TRUE(WaitForState(again, kConnected));
  EXPECT_EQ(0u, NotesFor(again).back().error);
  EXPECT_EQ(0u, g_ras.HangUp(again));
}

TEST_F(RasSim, HangUpWaitsForTheNotifierCallInProgress) {
  CreateEntry();
  Config("", "StepMs=10\nHangUpWaitsForNotifier=1");
  HANDLE entered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetHook([entered, release](const Note& n) {
    if (n.state != 2) return;
    SetEvent(entered);
    WaitForSingleObject(release, 10000);
  });
  HRASCONN h = nullptr;
  ASSERT_EQ(0u, Dial(g_ras, DialParams("alice", "secret"), &h));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(entered, 10000));
  struct HangUpCall {
    HRASCONN h;
    DWORD rc = 0xFFFF;
  } call{h};
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](void* p) -> DWORD {
        auto* c = static_cast<HangUpCall*>(p);
        c->rc = g_ras.HangUp(c->h);
        return 0;
      },
      &call, 0, nullptr);
  ASSERT_NE(nullptr, thread);
  // The hang-up is logged once it has begun; it must not return while the notifier runs.
  ASSERT_TRUE([&] {
    for (int i = 0; i < 500 && LogLines("RasHangUpA").empty(); ++i) Sleep(10);
    return !LogLines("RasHangUpA").empty();
  }()) << "the hang-up never began";
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(thread, 100)) << "returned with the notifier still running";
  SetEvent(release);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000)) << "still waiting after the notifier returned";
  EXPECT_EQ(0u, call.rc);
  CloseHandle(thread);
  SetHook(nullptr);
  CloseHandle(entered);
  CloseHandle(release);
}

TEST_F(RasSim, HangUpFromInsideTheNotifier) {
  CreateEntry();
  // Notifications race RasDialA's return: the handle must be stored first. A hang-up that waits
  // for the notifier must not wait for the very call it is made from.
  Config("", "StepMs=0\nHangUpWaitsForNotifier=1");
  std::atomic<DWORD> inside{0xFFFF};
  SetHook([&](const Note& n) {
    if (n.state == 3) inside = g_ras.HangUp(n.handle);
  });
  HRASCONN h = nullptr;
  ASSERT_EQ(0u, Dial(g_ras, DialParams("alice", "secret"), &h));
  ASSERT_TRUE(WaitForState(h, 3));
  ASSERT_TRUE(WaitSimIdle());
  EXPECT_EQ(0u, inside);
  ASSERT_EQ(4u, NotesFor(h).size());
  for (const Note& n : NotesFor(h)) EXPECT_TRUE(n.handleStored);
  EXPECT_EQ(6u, g_ras.HangUp(h));
  std::vector<std::string> lines = LogLines("");
  auto it = std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return Contains(l, "state=3 "); });
  ASSERT_NE(lines.end(), it);
  ASSERT_NE(lines.end(), it + 1);
  EXPECT_TRUE(Contains(*(it + 1), "RasHangUpA") && Contains(*(it + 1), "rc=0")) << *(it + 1);
}

TEST_F(RasSim, ConcurrentDialAndHangUpRaces) {
  CreateEntry();
  Config("LateNotifications=2", "StepMs=1");
  int baseline = ThreadCount();
  std::mutex lock;
  std::map<HRASCONN, int> successes; // RasHangUpA calls that returned 0, per handle
  auto count = [&](HRASCONN h, DWORD rc) {
    EXPECT_TRUE(rc == 0 || rc == 6) << rc;
    std::lock_guard<std::mutex> l(lock);
    successes[h] += rc == 0 ? 1 : 0;
  };
  SetHook([&](const Note& n) {
    if (n.state == 2 && (reinterpret_cast<ULONG_PTR>(n.handle) & 4)) count(n.handle, g_ras.HangUp(n.handle));
  });
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 25; ++i) {
        RASDIALPARAMSA_400 p = DialParams("alice", "secret");
        HRASCONN h = nullptr;
        DWORD rc = g_ras.Dial(nullptr, nullptr, reinterpret_cast<LPRASDIALPARAMSA>(&p), 1,
                              reinterpret_cast<LPVOID>(&Notifier), &h);
        EXPECT_EQ(0u, rc);
        Sleep((t + i) % 7);
        count(h, g_ras.HangUp(h));
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(150u, successes.size());
  for (const auto& s : successes) EXPECT_EQ(1, s.second) << s.first;
  // Every attempt's thread ends on its own.
  for (int i = 0; i < 100 && ThreadCount() > baseline; ++i) Sleep(50);
  EXPECT_LE(ThreadCount(), baseline);
  EXPECT_TRUE(Connections(g_ras).empty());
}

TEST_F(RasSim, ConnectionOutlivesTheDiallingProcess) {
  CreateEntry();
  std::string cmd = "\"" + ExeDir() + "ras_simulator_test.exe\" --rassim-child-dial";
  char module[MAX_PATH];
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(CreateProcessA(module, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 20000));
  DWORD code = 99;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  ASSERT_EQ(0u, code);

  std::vector<RASCONNA_400> conns = Connections(g_ras);
  ASSERT_EQ(1u, conns.size());
  EXPECT_STREQ(kEntry, conns[0].szEntryName);
  EXPECT_STREQ("Velmora PPPoE Adapter", conns[0].szDeviceName);
  RASCONNSTATUSA_400 st = {};
  st.dwSize = sizeof st;
  ASSERT_EQ(0u, g_ras.GetConnectStatus(conns[0].hrasconn, reinterpret_cast<LPRASCONNSTATUSA>(&st)));
  EXPECT_EQ(kConnected, st.rasconnstate);
  EXPECT_TRUE(Contains(ReadText(StateFile(RASSIM_CONNECTIONS_FILE)), "Pid=" + std::to_string(pi.dwProcessId) + "\n"));
  EXPECT_EQ(0u, g_ras.HangUp(conns[0].hrasconn));
  EXPECT_TRUE(Connections(g_ras).empty());
  EXPECT_EQ(6u, g_ras.HangUp(conns[0].hrasconn));
}

TEST_F(RasSim, UnloadWhileDiallingKeepsTheModuleUntilTheWalkEnds) {
  CreateEntry();
  // A copy of the simulator with rassim.ini beside it, and no RASSIM_CONFIG.
  char tmp[MAX_PATH];
  GetTempPathA(MAX_PATH, tmp);
  std::string dir = std::string(tmp) + "rassimcopy\\";
  CreateDirectoryA(dir.c_str(), nullptr);
  ASSERT_TRUE(CopyFileA((BinDir() + "rasapi32.dll").c_str(), (dir + "rassimcopy.dll").c_str(), FALSE));
  WriteText(dir + "rassim.ini", "[Devices]\nDevice1=Velmora PPPoE Adapter|vpn\n[Accounts]\nbob=pw\n[Timing]\nStepMs=50\n");
  SetEnvironmentVariableA(RASSIM_CONFIG_ENV, nullptr);

  RasApi copy;
  ASSERT_TRUE(copy.Load(dir + "rassimcopy.dll"));
  HRASCONN h = nullptr;
  ASSERT_EQ(0u, Dial(copy, DialParams("bob", "pw"), &h));
  EXPECT_TRUE(FreeLibrary(copy.module));
  EXPECT_NE(nullptr, GetModuleHandleA("rassimcopy.dll")) << "the dialling thread holds the module";
  ASSERT_TRUE(WaitForState(h, kConnected));
  EXPECT_EQ(kConnected, NotesFor(h).back().state) << "the accounts came from the rassim.ini beside the copy";
  for (int i = 0; i < 100 && GetModuleHandleA("rassimcopy.dll"); ++i) Sleep(50);
  EXPECT_EQ(nullptr, GetModuleHandleA("rassimcopy.dll"));
  // The connection outlives the module that dialled it; another load hangs it up.
  EXPECT_EQ(0u, g_ras.HangUp(h));
}

TEST_F(RasSim, SynchronousDialWithoutNotifier) {
  CreateEntry();
  HRASCONN h = nullptr;
  EXPECT_EQ(0u, Dial(g_ras, DialParams("alice", "secret"), &h, false));
  ASSERT_NE(nullptr, h);
  EXPECT_EQ(10u, LogLines("notify").size());
  EXPECT_EQ(1u, Connections(g_ras).size());
  EXPECT_EQ(0u, g_ras.HangUp(h));
  EXPECT_EQ(691u, Dial(g_ras, DialParams("alice", "nope"), &h, false));
  EXPECT_NE(nullptr, h);
  EXPECT_EQ(0u, g_ras.HangUp(h));
}

TEST_F(RasSim, MalformedFilesAreSurvived) {
  const char junkBytes[] = "\x00\xff[\n=\n[broken\nszDeviceName\n";
  std::string junk(junkBytes, sizeof junkBytes - 1);
  WriteText(StateFile(RASSIM_PHONEBOOK_FILE),
            junk + "[ok]\ndwfOptions=zzz\nipaddr=300.1.2.3\nszLocalPhoneNumber=" + std::string(5000, 'x') + "\n" +
                std::string(3 * 1024 * 1024, 'y'));
  EXPECT_EQ(183u, g_ras.ValidateEntryName(nullptr, "ok"));
  RASENTRYA_400 e = {};
  e.dwSize = sizeof e;
  DWORD size = sizeof e;
  ASSERT_EQ(0u, g_ras.GetEntryProperties(nullptr, "ok", reinterpret_cast<LPRASENTRYA>(&e), &size, nullptr, nullptr));
  EXPECT_EQ(0u, e.dwfOptions);
  EXPECT_EQ(0, e.ipaddr.a);
  EXPECT_EQ(std::string(128, 'x'), e.szLocalPhoneNumber);

  // Unterminated texts in a record are refused, not read past their field.
  RASDIALPARAMSA_400 p = DialParams("alice", "secret", "ok");
  memset(p.szUserName, 'u', sizeof p.szUserName);
  EXPECT_EQ(87u, g_ras.SetEntryDialParams(nullptr, reinterpret_cast<LPRASDIALPARAMSA>(&p), FALSE));

  WriteText(m_config, "[Devices]\nCount=-5\nDevice1=" + std::string(300, 'd') + "\nDevice2=|\n[Timing]\nStepMs=abc\n");
  std::vector<RASDEVINFOA_400> devs(2);
  devs[0].dwSize = 152;
  DWORD cb = 2 * 152, count = 0;
  ASSERT_EQ(0u, g_ras.EnumDevices(reinterpret_cast<LPRASDEVINFOA>(devs.data()), &cb, &count));
  EXPECT_EQ(2u, count);
  EXPECT_EQ(std::string(128, 'd'), devs[0].szDeviceName);
  EXPECT_STREQ("modem", devs[0].szDeviceType);

  // A connection whose time is up is gone; odd sections are ignored.
  ULONGLONG past = 116444736000000000ull; // 1970
  WriteText(StateFile(RASSIM_CONNECTIONS_FILE),
            "[0x00005000]\nEntry=Old\nDropAt=" + std::to_string(past) + "\n[0x00005004]\nEntry=Live\nDropAt=0\n"
            "[nonsense]\nEntry=X\n[0xZZ]\nEntry=Y\n");
  std::vector<RASCONNA_400> conns = Connections(g_ras);
  ASSERT_EQ(1u, conns.size());
  EXPECT_STREQ("Live", conns[0].szEntryName);
  EXPECT_FALSE(Contains(ReadText(StateFile(RASSIM_CONNECTIONS_FILE)), "Old"));
}

} // namespace
