// The RAS simulator: the port after a hang-up, hang-ups against the notifier, races, a
// connection outliving its process, unloading, and dialling without a notifier.
#include "RasSimSupport.h"

namespace {

using namespace rassimtest;

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

// The orders of events a dialer must cope with, made certain: the first notification before
// RasDialA has written the handle back, a hang-up that takes its time, and a port that closes
// at the moment the test chooses.
TEST_F(RasSim, EarlyFirstNotificationSlowHangUpAndAPortClosedOnEvent) {
  CreateEntry();
  const char kPort[] = "RasSimTestPortClose";
  HANDLE port = CreateEventA(nullptr, TRUE, FALSE, kPort);
  ASSERT_NE(nullptr, port);
  ResetEvent(port);
  Config("", std::string("StepMs=10\nNotifyBeforeHandle=1\nHangUpDelayMs=300\nPortCloseEvent=") + kPort);
  HRASCONN h = nullptr;
  ASSERT_EQ(0u, Dial(g_ras, DialParams("alice", "secret"), &h));
  ASSERT_NE(nullptr, h);
  std::vector<Note> notes = NotesFor(h);
  ASSERT_FALSE(notes.empty()) << "RasDialA returned before the first notification";
  EXPECT_EQ(0u, notes[0].state);
  EXPECT_FALSE(notes[0].handleStored) << "the handle was written back before the first notification";
  ASSERT_TRUE(WaitForState(h, 2));
  EXPECT_TRUE(NotesFor(h).back().handleStored);

  const DWORD start = GetTickCount();
  ASSERT_EQ(0u, g_ras.HangUp(h));
  EXPECT_GE(GetTickCount() - start, 280u) << "HangUpDelayMs";
  std::vector<std::string> begun = LogLines("hangup ");
  ASSERT_EQ(1u, begun.size());
  EXPECT_TRUE(Contains(begun[0], HandleText(h)) && Contains(begun[0], " begins")) << begun[0];
  RASCONNSTATUSA_400 st = {};
  st.dwSize = sizeof st;
  EXPECT_EQ(0u, g_ras.GetConnectStatus(h, reinterpret_cast<LPRASCONNSTATUSA>(&st))) << "the port closed without the event";
  EXPECT_EQ(kDisconnected, st.rasconnstate);
  ASSERT_TRUE(SetEvent(port));
  EXPECT_EQ(6u, g_ras.GetConnectStatus(h, reinterpret_cast<LPRASCONNSTATUSA>(&st))) << "the event closes the port";
  ASSERT_EQ(1u, LogLines("port ").size());
  CloseHandle(port);
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
      [](void* p) WINAPI -> DWORD {
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
  char module[MAX_PATH];
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  std::string cmd = "\"" + std::string(module) + "\" --rassim-child-dial";  // this very program
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

}  // namespace
