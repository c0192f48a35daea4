// Corvane.exe starting and ending under Wine: one instance per machine, the ready event,
// the components on Windows 95/98 and never on NT, the adapter warning, the runtime file.
#include "TrayE2E.h"

#include <algorithm>
#include <cstdio>

namespace {

using namespace traye2e;

class Startup : public ::testing::Test {
 protected:
  void SetUp() override { ResetMachine(); }
  void TearDown() override { ResetMachine(); }

  // Starts Corvane on |version| with the adapter installed and waits until it runs.
  Process StartRunning(const std::string& version, HWND* frame, const std::string& args = "") {
    InstallAdapter(version == "win98" || version == "win95");
    Process p = StartCorvane(version, args);
    EXPECT_TRUE(p) << LastError();
    *frame = WaitFrame(p.Pid());
    EXPECT_NE(nullptr, *frame) << LastError();
    if (*frame) {
      EXPECT_TRUE(WaitStarted(*frame, version == "win98" || version == "win95")) << LastError();
    }
    return p;
  }
};

TEST_F(Startup, SecondInstanceEndsSilentlyAfterTheMutexWait) {
  HWND frame = nullptr;
  Process first = StartRunning("winxp", &frame);
  ASSERT_NE(nullptr, frame);

  DWORD t0 = GetTickCount();
  Process second = StartCorvane("winxp");
  ASSERT_TRUE(second) << LastError();
  auto code = second.WaitExit(8000);
  DWORD took = GetTickCount() - t0;
  ASSERT_TRUE(code.has_value()) << "the second instance is still running";
  EXPECT_EQ(0u, *code);
  std::printf("measured: second instance ended %lu ms after its start\n", static_cast<unsigned long>(took));
  EXPECT_GE(took, 900u) << "it waits 1000 ms for the mutex";
  EXPECT_LT(took, Scaled(5000));
  EXPECT_EQ(nullptr, FindTopWindow({"Velmora Tessory", second.Pid(), "", true})) << "no message";
  EXPECT_EQ(nullptr, FindTopWindow({"Tessory", second.Pid(), "", true}));
  EXPECT_TRUE(first.Running()) << "the first is unaffected";
  EXPECT_TRUE(Send(frame, WM_NULL).has_value());

  // Started with a ready-event name, the second creates the event but never signals it.
  t0 = GetTickCount();
  Process third = StartCorvane("winxp", "/e\"TzSecondReady\"");
  ASSERT_TRUE(third) << LastError();
  HANDLE event = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (event = OpenEventA(SYNCHRONIZE, FALSE, "TzSecondReady")) != nullptr; }, 5000,
                      "the event to exist"))
      << LastError();
  ASSERT_TRUE(third.WaitExit(8000).has_value());
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0)) << "never signalled";
  CloseHandle(event);
  EXPECT_TRUE(first.Running());
}

// Measures when the event named on the command line is signalled.
void ExpectReadyAfter15s(const std::string& args, const std::string& eventName) {
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, eventName.c_str());
  ASSERT_NE(nullptr, event);
  InstallAdapter(false);
  DWORD t0 = GetTickCount();
  Process p = StartCorvane("winxp", args);
  ASSERT_TRUE(p) << LastError();
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 13000)) << "signalled too early";
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event, Scaled(8000))) << "never signalled";
  DWORD took = GetTickCount() - t0;
  std::printf("measured: %s signalled %lu ms after the start\n", eventName.c_str(), static_cast<unsigned long>(took));
  EXPECT_GE(took, 15000u);
  EXPECT_LT(took, 15000u + Scaled(5000));
  // The message loop starts only after the signal.
  HWND frame = WaitFrame(p.Pid(), 3000);
  ASSERT_NE(nullptr, frame) << LastError();
  EXPECT_TRUE(WaitRunning(frame, 3000)) << LastError();
  CloseHandle(event);
  EXPECT_TRUE(PostCommand(frame, ID_CLOSE_APP));
  EXPECT_TRUE(p.WaitExit().has_value());
}

TEST_F(Startup, ReadyEventSignalledAfter15SecondsSlashMarker) {
  ExpectReadyAfter15s("/e\"TzReadySlash\"", "TzReadySlash");
}

TEST_F(Startup, ReadyEventSignalledAfter15SecondsDashMarker) {
  // Without a closing quote the name loses its last character.
  ExpectReadyAfter15s("-e\"TzReadyDashX", "TzReadyDash");
}

TEST_F(Startup, WithoutMarkerNoEventAndNoDelay) {
  DWORD t0 = GetTickCount();
  HWND frame = nullptr;
  Process p = StartRunning("winxp", &frame, "/E\"TzUpper\"");
  ASSERT_NE(nullptr, frame);
  // Well below the 15 seconds however slow the machine.
  EXPECT_LT(GetTickCount() - t0, std::min<DWORD>(Scaled(8000), 14000)) << "no 15-second sleep";
  HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, "TzUpper");
  EXPECT_EQ(nullptr, event) << "an upper-case E is no marker";
  if (event) CloseHandle(event);
  PostCommand(frame, ID_CLOSE_APP);
  EXPECT_TRUE(p.WaitExit().has_value());
}

TEST_F(Startup, Win98LoadsAtStartUnloadsAtEnd) {
  HWND frame = nullptr;
  Process p = StartRunning("win98", &frame);
  ASSERT_NE(nullptr, frame);
  EXPECT_EQ((std::vector<std::string>{"TzOSInitialize -> 1", "TzOSLoadAll(Corvane) -> 1"}), OsLog());
  EXPECT_EQ(std::optional<DWORD>(1), GetRegDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmora\\TzOS\\State", "Loaded"));
  EXPECT_TRUE(PostCommand(frame, ID_SHUTDOWN));
  auto code = p.WaitExit();
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(0u, *code);
  EXPECT_EQ((std::vector<std::string>{"TzOSInitialize -> 1", "TzOSLoadAll(Corvane) -> 1", "TzOSUnloadAll(Corvane) -> 1",
                                      "TzOSExit -> 1"}),
            OsLog());
}

TEST_F(Startup, Win98LoadFailureShowsMessageAndEnds) {
  for (const char* sw : {"FailLoadAll", "FailInitialize"}) {
    ResetMachine();
    ASSERT_TRUE(SetRegDword(HKEY_LOCAL_MACHINE, kOsTestKey, sw, 1));
    InstallAdapter(true);
    Process p = StartCorvane("win98");
    ASSERT_TRUE(p) << LastError();
    auto box = WaitMessageBox("Velmora Tessory", kTimeout, p.Pid());
    ASSERT_TRUE(box.has_value()) << sw << ": " << LastError();
    EXPECT_EQ("Failed to load TzOS.", box->text);
    EXPECT_EQ(BoxIcon::Exclamation, box->icon) << IconName(box->icon);
    EXPECT_EQ(std::vector<std::string>{"OK"}, box->buttons);
    EXPECT_TRUE(DismissMessageBox(box->hwnd));
    ASSERT_TRUE(p.WaitExit().has_value()) << sw << ": the process ends";
    std::vector<std::string> log = OsLog();
    EXPECT_FALSE(Contains(log, "TzOSExit -> 1")) << sw << ": nothing to exit from " << Joined(log);
    EXPECT_FALSE(Contains(log, "TzOSUnloadAll(Corvane) -> 1")) << Joined(log);
    if (std::string(sw) == "FailInitialize") {
      EXPECT_EQ(std::vector<std::string>{"TzOSInitialize -> 0"}, log) << "no load after a failed initialisation";
    }
    // The instance lock went with the process: a new one starts.
    DeleteRegTree(HKEY_LOCAL_MACHINE, kOsTestKey);
    HWND frame = nullptr;
    Process again = StartRunning("win98", &frame);
    EXPECT_NE(nullptr, frame) << sw;
    if (frame) PostCommand(frame, ID_SHUTDOWN);
    again.WaitExit();
  }
}

// NT never calls the components controller; neither does a platform that is neither
// Windows 95/98 nor NT (code 4: Win32s, as Wine's "win31" reports it), which also has no menu.
TEST_F(Startup, NtNeverCallsTheComponentsController) {
  for (const char* version : {"nt40", "winxp", "win10", "win31"}) {
    ResetMachine();
    // NT 4 with the adjustment already made.
    ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, kAppKey, "IPMTUNTFlag", "true"));
    HWND frame = nullptr;
    Process p = StartRunning(version, &frame);
    ASSERT_NE(nullptr, frame) << version;
    if (std::string(version) == "win31") {
      Post(frame, WM_TRAY_NOTIFY, kTrayId, WM_RBUTTONUP);
      Post(frame, WM_TRAY_NOTIFY, kTrayId, WM_LBUTTONDBLCLK);
      EXPECT_TRUE(StaysFalse([&] { return MenuOrAboutShown(p.Pid()); }, "a menu or a window on platform code 4"))
          << LastError();
    }
    EXPECT_EQ(1u, Send(frame, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF).value_or(99)) << version;
    Send(frame, WM_ENDSESSION, FALSE, 0);
    PostCommand(frame, ID_CLOSE_APP);
    ASSERT_TRUE(p.WaitExit().has_value()) << version;
    EXPECT_EQ(std::vector<std::string>{}, OsLog()) << version << ": " << Joined(OsLog());
    if (std::string(version) != "win31") {
      EXPECT_TRUE(Contains(SetupOrdinals(), "5")) << version << ": the adapter was checked; " << Joined(SetupLog());
    }
    EXPECT_FALSE(Contains(SetupOrdinals(), "34")) << version << ": no adjustment";
  }
}

TEST_F(Startup, AdapterWarningThenRunsOn) {
  for (const char* version : {"winxp", "win98"}) {
    ResetMachine();
    bool win9x = std::string(version) == "win98";
    InstallAdapter(win9x, "Velmora  Tolvek (not quite)");
    Process p = StartCorvane(version);
    ASSERT_TRUE(p) << LastError();
    auto box = WaitMessageBox("Tessory", kTimeout, p.Pid());
    ASSERT_TRUE(box.has_value()) << version << ": " << LastError();
    EXPECT_EQ(
        "This software requires the Velmora Tolvek adapter to function properly. To install the adapter, follow the "
        "instructions in the Tessory Installation and Troubleshooting Guide (the Tessory_InstallGuide.PDF file).",
        box->text);
    EXPECT_EQ(BoxIcon::Exclamation, box->icon) << IconName(box->icon);
    EXPECT_EQ(std::vector<std::string>{"OK"}, box->buttons);
    EXPECT_TRUE(DismissMessageBox(box->hwnd));
    HWND frame = WaitFrame(p.Pid());
    ASSERT_NE(nullptr, frame) << LastError();
    EXPECT_TRUE(WaitStarted(frame, win9x)) << "the program runs on";
    if (win9x) {
      EXPECT_TRUE(Contains(OsLog(), "TzOSLoadAll(Corvane) -> 1")) << "and still loads the components";
    }
    PostCommand(frame, win9x ? ID_SHUTDOWN : ID_CLOSE_APP);
    EXPECT_TRUE(p.WaitExit().has_value());
  }
}

TEST_F(Startup, AdapterCheckFailingToOpenWarnsToo) {
  ASSERT_TRUE(SetRegDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmora\\TzSetupUtils\\Test", "FailOrdinal", 5));
  InstallAdapter(false);
  Process p = StartCorvane("winxp");
  auto box = WaitMessageBox("Tessory", kTimeout, p.Pid());
  ASSERT_TRUE(box.has_value()) << LastError();
  DismissMessageBox(box->hwnd);
  HWND frame = WaitFrame(p.Pid());
  ASSERT_NE(nullptr, frame);
  EXPECT_EQ((std::vector<std::string>{"1", "3", "11", "2", "1", "3", "5", "2"}), SetupOrdinals()) << Joined(SetupLog());
  PostCommand(frame, ID_CLOSE_APP);
  p.WaitExit();
}

TEST_F(Startup, RuntimeFileWrittenInTheWindowsDirectory) {
  HWND frame = nullptr;
  Process p = StartRunning("winxp", &frame);
  ASSERT_NE(nullptr, frame);
  auto text = ReadTextFile(RuntimeFilePath());
  ASSERT_TRUE(text.has_value()) << RuntimeFilePath();
  EXPECT_NE(std::string::npos, text->find("Velmora Tolvek adapter: installed")) << *text;
  std::vector<std::string> log = SetupLog();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ("11(1, \"" + RuntimeFilePath() + "\", \"\") -> 0", log[2]);
  EXPECT_EQ((std::vector<std::string>{"1", "3", "11", "2", "1", "3", "5", "6", "7", "8", "2"}), SetupOrdinals())
      << Joined(log);
  PostCommand(frame, ID_CLOSE_APP);
  p.WaitExit();
}

TEST_F(Startup, ProfileRecentFilesRewrittenAtExit) {
  const std::string profile = "Software\\Velmora\\Velmora Tessory";
  ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, profile + "\\Recent File List", "File2", "C:\\two.dravik"));
  ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, profile + "\\Recent File List", "File7", "C:\\stale.dravik"));
  HWND frame = nullptr;
  Process p = StartRunning("winxp", &frame);
  ASSERT_NE(nullptr, frame);
  PostCommand(frame, ID_CLOSE_APP);
  ASSERT_TRUE(p.WaitExit().has_value());
  // The section is rewritten from the list of 4 read at start: File2 stays, File7 goes.
  EXPECT_EQ(std::optional<std::string>("C:\\two.dravik"),
            GetRegString(HKEY_CURRENT_USER, profile + "\\Recent File List", "File2"));
  EXPECT_FALSE(GetRegString(HKEY_CURRENT_USER, profile + "\\Recent File List", "File7").has_value());
}

}  // namespace
