// The resident frame of Corvane.exe under Wine, without a taskbar: web addresses, the URL
// poll, the icon's notifications, the end of the Windows session, Shutdown and Close.
#include "TrayFrameE2E.h"

#include <cstdio>

#include "DriverInternal.h"
#include "probe/ProbeProtocol.h"

namespace {

using namespace traye2e;

// ---- URL poll and web pages ---------------------------------------------------------------------

TEST_F(Frame, UrlToLaunchDeletedThenOpenedOnce) {
  ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, kAppKey, "URLTimerPeriod", "300"));
  Start();
  const std::string address = "https://portal.example/welcome?from=tray";
  ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, kPoEKey, "URLToLaunch", "  " + address + " "));
  ASSERT_TRUE(WaitFileLine(UrlLogPath(), address)) << LastError();
  EXPECT_FALSE(GetRegString(HKEY_LOCAL_MACHINE, kPoEKey, "URLToLaunch").has_value()) << "deleted when taken";
  // Five more ticks of 300 ms.
  EXPECT_TRUE(StaysFalse([] { return UrlLog().size() > 1; }, "the address opened again")) << LastError();
  EXPECT_EQ(std::vector<std::string>{address}, UrlLog()) << "opened exactly once";

  // Empty and blank values stay and open nothing.
  for (const char* value : {"", "   \t "}) {
    ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, kPoEKey, "URLToLaunch", value));
    EXPECT_TRUE(StaysFalse(
        [&] {
          return GetRegString(HKEY_LOCAL_MACHINE, kPoEKey, "URLToLaunch") != std::optional<std::string>(value) ||
                 UrlLog().size() != 1;
        },
        "a blank value taken or opened"))
        << LastError();
    EXPECT_EQ(std::optional<std::string>(value), GetRegString(HKEY_LOCAL_MACHINE, kPoEKey, "URLToLaunch"));
    EXPECT_EQ(std::vector<std::string>{address}, UrlLog());
  }
  Stop();
}

// Time between two ticks that took a value: the second value is written as soon as the first
// has gone, so it is taken at the next tick.
DWORD MeasureTick() {
  SetRegString(HKEY_LOCAL_MACHINE, kPoEKey, "URLToLaunch", "http://tick.example/1");
  if (!WaitFor([] { return !GetRegString(HKEY_LOCAL_MACHINE, kPoEKey, "URLToLaunch"); }, 8000, "tick 1")) return 0;
  DWORD t1 = GetTickCount();
  SetRegString(HKEY_LOCAL_MACHINE, kPoEKey, "URLToLaunch", "http://tick.example/2");
  if (!WaitFor([] { return !GetRegString(HKEY_LOCAL_MACHINE, kPoEKey, "URLToLaunch"); }, 8000, "tick 2")) return 0;
  return GetTickCount() - t1;
}

TEST_F(Frame, PollPeriodFromUrlTimerPeriod) {
  ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, kAppKey, "URLTimerPeriod", "2500ms"));
  Start();
  DWORD period = MeasureTick();
  std::printf("measured: poll period with \"2500ms\": %lu ms\n", static_cast<unsigned long>(period));
  EXPECT_GE(period, 2100u);
  EXPECT_LE(period, 3300u);
  Stop();

  // Missing: every 5000 ms.
  DeleteRegValue(HKEY_LOCAL_MACHINE, kAppKey, "URLTimerPeriod");
  Start();
  period = MeasureTick();
  std::printf("measured: poll period without URLTimerPeriod: %lu ms\n", static_cast<unsigned long>(period));
  EXPECT_GE(period, 4600u);
  EXPECT_LE(period, 5800u);
  Stop();
}

TEST_F(Frame, WebPageCommandsOpenTheirAddresses) {
  // Started from another folder: the program makes its own folder the working folder, which
  // the browser it starts inherits.
  CreateDirectoryA("C:\\elsewhere", nullptr);
  Start("winxp", true, false, "C:\\elsewhere");
  PostCommand(frame_, 32782);
  ASSERT_TRUE(WaitFileLine(UrlLogPath(), "https://www.velmora.example/")) << LastError();
  PostCommand(frame_, 32780);
  ASSERT_TRUE(WaitFileLine(UrlLogPath(), "https://www.velmora.example/tessory/news/")) << LastError();
  PostCommand(frame_, 32772);
  ASSERT_TRUE(WaitFileLine(UrlLogPath(), "https://www.velmora.example/tessory/")) << LastError();
  EXPECT_EQ((std::vector<std::string>{"https://www.velmora.example/", "https://www.velmora.example/tessory/news/",
                                      "https://www.velmora.example/tessory/"}),
            UrlLog());
  // The recorder writes its working folder after the address: wait for the third one too.
  EXPECT_TRUE(WaitFor([] { return LogLines(UrlLogPath() + ".cwd").size() >= 3; }, kTimeout, "3 working-folder lines"))
      << LastError();
  for (const std::string& dir : LogLines(UrlLogPath() + ".cwd")) {
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((dir + "\\Corvane.exe").c_str()))
        << "working folder " << dir << " is not the program's";
  }
  EXPECT_EQ(3u, LogLines(UrlLogPath() + ".cwd").size());
  // Help asks WinHelp for the help file; under Wine that starts winhlp32.
  PostCommand(frame_, ID_TRAY_HELP);
  EXPECT_TRUE(WaitFor([] { return !ProcessesNamed("winhlp32.exe").empty(); }, 8000, "winhlp32 to start"));
  EXPECT_TRUE(WaitRunning(frame_)) << "the frame goes on";
  KillAllNamed("winhlp32.exe");
  Stop();
}

TEST_F(Frame, RestoringTheFrameIsRefused) {
  Start();
  EXPECT_EQ(std::optional<LRESULT>(0), Send(frame_, WM_QUERYOPEN));
  EXPECT_FALSE(IsVisible(frame_));
  EXPECT_TRUE(IsIconic(frame_));
  EXPECT_EQ(static_cast<LONG>(WS_OVERLAPPEDWINDOW | WS_MINIMIZE),
            GetWindowLongA(frame_, GWL_STYLE) & ~(WS_CLIPSIBLINGS | WS_CLIPCHILDREN));
  Stop();
}

// ---- Notifications ------------------------------------------------------------------------------

TEST_F(Frame, OtherNotificationsAreIgnored) {
  Start("win98");
  struct Case {
    WPARAM id;
    LPARAM mouse;
  } ignored[] = {{130, WM_RBUTTONUP},      {0, WM_RBUTTONUP},    {kTrayId, WM_RBUTTONDOWN}, {kTrayId, WM_LBUTTONUP},
                 {kTrayId, WM_LBUTTONDOWN}, {kTrayId, WM_MOUSEMOVE}, {kTrayId, WM_RBUTTONDBLCLK}, {130, WM_LBUTTONDBLCLK}};
  for (const Case& c : ignored) {
    EXPECT_EQ(std::optional<LRESULT>(0), Send(frame_, WM_TRAY_NOTIFY, c.id, c.mouse, 3000))
        << "id " << c.id << " mouse " << std::hex << c.mouse;
  }
  // The notifications were sent, so handled; what they must not open is watched for a while.
  EXPECT_TRUE(StaysFalse([&] { return FindPopupMenu(proc_.Pid()) != nullptr || CountDialogs("About Tessory") != 0; },
                         "a menu or About from an ignored notification"))
      << LastError();

  HWND menu = OpenTrayMenu();
  ASSERT_NE(nullptr, menu) << LastError();
  auto items = ReadPopupMenu(menu);
  ASSERT_TRUE(items.has_value()) << LastError();
  std::vector<std::string> texts;
  for (const MenuItem& i : *items) texts.push_back(i.separator ? "-" : i.text);
  EXPECT_EQ((std::vector<std::string>{"&About Tessory...", "-", "&Configure Service Name...", "-", "Sh&utdown", "-",
                                      "&Help", "-", "Velmora on the &Web"}),
            texts);
  // About is the default item (drawn bold). The driver's MenuItem does not carry MFS_DEFAULT:
  // ask its probe for the raw states.
  auto raw = uidriver::detail::Probe(menu, uidriver::probe::kPopupMenu, 5000);
  ASSERT_TRUE(raw.has_value()) << LastError();
  std::vector<std::string> lines = SplitLines(*raw);
  ASSERT_FALSE(lines.empty());
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string state = lines[i].substr(0, lines[i].find('\t', lines[i].find('\t') + 1));
    state = state.substr(state.find('\t') + 1);
    UINT fState = static_cast<UINT>(std::strtoul(lines[i].substr(lines[i].find('\t', lines[i].find('\t') + 1) + 1).c_str(), nullptr, 10));
    (void)state;
    EXPECT_EQ(i == 0, (fState & MFS_DEFAULT) != 0) << "item " << i << ": " << lines[i];
  }
  ClosePopupMenu(menu);
  Stop();
}

TEST_F(Frame, WithoutTheIconNoNotificationIsHandled) {
  Start("win98", /*icon=*/false);
  for (WPARAM id : {WPARAM(0), WPARAM(kTrayId)}) {
    EXPECT_EQ(std::optional<LRESULT>(0), Send(frame_, WM_TRAY_NOTIFY, id, WM_RBUTTONUP, 3000)) << id;
    EXPECT_EQ(std::optional<LRESULT>(0), Send(frame_, WM_TRAY_NOTIFY, id, WM_LBUTTONDBLCLK, 3000)) << id;
  }
  EXPECT_EQ(nullptr, FindPopupMenu(proc_.Pid()));
  EXPECT_TRUE(WaitRunning(frame_)) << "the program runs on without any visible element";
  Stop();
}

// ---- End of the Windows session ------------------------------------------------------------------

TEST_F(Frame, EndSessionUnloadsAndReloadsOnWin98) {
  Start("win98");
  const std::vector<std::string> loaded = {"TzOSInitialize -> 1", "TzOSLoadAll(Corvane) -> 1"};
  const std::vector<std::string> unloaded = {"TzOSUnloadAll(Corvane) -> 1", "TzOSExit -> 1"};
  auto plus = [](std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  EXPECT_EQ(loaded, OsLog());
  EXPECT_EQ(std::optional<LRESULT>(1), Send(frame_, WM_QUERYENDSESSION, 0, 0));
  EXPECT_EQ(plus(loaded, unloaded), OsLog()) << "unloaded as soon as Windows asks";
  Send(frame_, WM_ENDSESSION, FALSE, 0);
  EXPECT_EQ(plus(plus(loaded, unloaded), loaded), OsLog()) << "loaded again after a cancelled ending";
  EXPECT_EQ(std::optional<LRESULT>(1), Send(frame_, WM_QUERYENDSESSION, 0, 0));
  Send(frame_, WM_ENDSESSION, TRUE, 0);
  EXPECT_EQ(plus(plus(plus(loaded, unloaded), loaded), unloaded), OsLog()) << "nothing more at the confirmed end";
  // The ending ran the application's termination: the instance lock is free already.
  Process next = StartCorvane("win98");
  HWND frame2 = WaitFrame(next.Pid(), 5000);
  EXPECT_NE(nullptr, frame2) << "a new instance starts";
  next.Kill();
  proc_.Kill();
}

TEST_F(Frame, EndSessionLeavesComponentsAloneOnNt) {
  for (const char* version : {"nt40", "winxp"}) {
    ResetMachine();
    RegisterUrlRecorder();
    Start(version);
    EXPECT_EQ(std::optional<LRESULT>(1), Send(frame_, WM_QUERYENDSESSION, 0, 0));
    Send(frame_, WM_ENDSESSION, FALSE, 0);
    Send(frame_, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(std::vector<std::string>{}, OsLog()) << version;
    proc_.Kill();
  }
}

// ---- Shutdown, Close and teardown ---------------------------------------------------------------

TEST_F(Frame, ShutdownAndCloseEndTheProgramAndFreeTheLock) {
  struct Case {
    const char* version;
    int command;
  } cases[] = {{"win98", ID_SHUTDOWN}, {"winxp", ID_CLOSE_APP}, {"nt40", ID_CLOSE_APP}};
  for (const Case& c : cases) {
    ResetMachine();
    Start(c.version);
    HWND menu = OpenTrayMenu();
    ASSERT_NE(nullptr, menu) << c.version << ": " << LastError();
    ASSERT_TRUE(ChoosePopupItem(menu, c.command)) << c.version << ": " << LastError();
    auto code = proc_.WaitExit();
    ASSERT_TRUE(code.has_value()) << c.version;
    EXPECT_EQ(0u, *code) << c.version;
    if (std::string(c.version) == "win98") {
      EXPECT_EQ((std::vector<std::string>{"TzOSInitialize -> 1", "TzOSLoadAll(Corvane) -> 1",
                                          "TzOSUnloadAll(Corvane) -> 1", "TzOSExit -> 1"}),
                OsLog());
    }
    // The lock is free at once: a new instance does not wait for it.
    DWORD t0 = GetTickCount();
    Start(c.version);
    EXPECT_LT(GetTickCount() - t0, 8000u);
    proc_.Kill();
  }
}

// Shutdown chosen from the icon's menu while one of the frame's modal dialogs runs.
void ShutdownWhileDialogOpen(Frame* t, Process& proc, HWND frame, const char* caption, int openHow) {
  if (openHow == 0) PostCommand(frame, ID_SERVICE_NAME);
  if (openHow == 1) PostCommand(frame, ID_STATUS);
  if (openHow == 2) Post(frame, WM_TRAY_NOTIFY, kTrayId, WM_LBUTTONDBLCLK);  // About
  HWND dlg = WaitWindow(WindowQuery{caption, proc.Pid(), "#32770", true});
  ASSERT_NE(nullptr, dlg) << caption << ": " << LastError();
  ASSERT_TRUE(Post(frame, WM_TRAY_NOTIFY, kTrayId, WM_RBUTTONUP));
  HWND menu = WaitPopupMenu(kTimeout, proc.Pid());
  ASSERT_NE(nullptr, menu) << caption << ": " << LastError();
  ASSERT_TRUE(ChoosePopupItem(menu, ID_SHUTDOWN)) << caption << ": " << LastError();
  auto code = proc.WaitExit();
  ASSERT_TRUE(code.has_value()) << caption << ": the process did not end";
  EXPECT_EQ(0u, *code) << caption << ": ended cleanly (an access violation would show as 0xc0000005)";
  EXPECT_EQ((std::vector<std::string>{"TzOSInitialize -> 1", "TzOSLoadAll(Corvane) -> 1", "TzOSUnloadAll(Corvane) -> 1",
                                      "TzOSExit -> 1"}),
            OsLog())
      << caption;
  (void)t;
}

TEST_F(Frame, ShutdownWhileServiceNameDialogOpen) {
  Start("win98", true, /*heapCheck=*/true);
  ShutdownWhileDialogOpen(this, proc_, frame_, "Tessory - Service Name", 0);
  Start("win98");  // the lock was released
}

TEST_F(Frame, ShutdownWhileStatusDialogOpen) {
  Start("win98", true, /*heapCheck=*/true);
  ShutdownWhileDialogOpen(this, proc_, frame_, "Status", 1);
  Start("win98");
}

TEST_F(Frame, ShutdownWhileAboutDialogOpen) {
  Start("win98", true, /*heapCheck=*/true);
  ShutdownWhileDialogOpen(this, proc_, frame_, "About Tessory", 2);
  Start("win98");
}

}  // namespace
