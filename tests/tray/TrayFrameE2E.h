// Shared by the end-to-end tests of Corvane's resident frame under Wine, without a taskbar:
// the icon's notifications are posted to the frame as the shell posts them, and web addresses
// open with a recorder that logs them instead of browsing.
#pragma once
#include "TrayE2E.h"

namespace traye2e {

inline std::string UrlLogPath() { return "C:\\tz-url-log.txt"; }
inline std::vector<std::string> UrlLog() { return LogLines(UrlLogPath()); }

// http and https open with the recorder, which logs the address instead of browsing.
inline void RegisterUrlRecorder() {
  std::string cmd = "\"" + BinPath("tray_url_recorder.exe") + "\" \"" + UrlLogPath() + "\" \"%1\"";
  for (const char* scheme : {"http", "https"}) {
    std::string key = std::string(scheme) + "\\shell\\open";
    DeleteRegTree(HKEY_CLASSES_ROOT, key + "\\ddeexec");
    ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, key + "\\command", "", cmd)) << LastError();
    SetRegString(HKEY_CLASSES_ROOT, scheme, "URL Protocol", "");
  }
}

class Frame : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMachine();
    DeleteFileA(UrlLogPath().c_str());
    DeleteFileA((UrlLogPath() + ".cwd").c_str());
    RegisterUrlRecorder();
  }
  void TearDown() override {
    KillAllNamed("winhlp32.exe");
    ResetMachine();
    // A recorder started by the last tick may still be on its way to the log.
    WaitFor([] { return ProcessesNamed("tray_url_recorder.exe").empty(); }, 5000, "the recorders to end");
    DeleteFileA(UrlLogPath().c_str());
  }

  void Start(const std::string& version = "winxp", bool icon = true, bool heapCheck = false,
             const std::string& workDir = "") {
    InstallAdapter(version == "win98");
    if (icon) SetRegString(HKEY_LOCAL_MACHINE, kTrayKey, "ShowSysTrayIcon", "Yes");
    if (version == "nt40") SetRegString(HKEY_LOCAL_MACHINE, kAppKey, "IPMTUNTFlag", "true");
    proc_ = StartCorvane(version, "", heapCheck, workDir);
    ASSERT_TRUE(proc_) << LastError();
    frame_ = WaitFrame(proc_.Pid());
    ASSERT_NE(nullptr, frame_) << LastError();
    ASSERT_TRUE(WaitStarted(frame_, version == "win98")) << LastError();
  }
  void Stop() {
    if (proc_ && proc_.Running()) {
      PostCommand(frame_, ID_SHUTDOWN);
      PostCommand(frame_, ID_CLOSE_APP);
      proc_.WaitExit();
    }
  }
  HWND Dialog(const std::string& caption, Ms timeout = kTimeout) {
    return WaitWindow(WindowQuery{caption, proc_.Pid(), "#32770", true}, timeout);
  }
  size_t CountDialogs(const std::string& caption) {
    return FindTopWindows(WindowQuery{caption, proc_.Pid(), "#32770", true}).size();
  }
  // The icon's menu, as a right click on the icon opens it.
  HWND OpenTrayMenu() {
    EXPECT_TRUE(Post(frame_, WM_TRAY_NOTIFY, kTrayId, WM_RBUTTONUP));
    return WaitPopupMenu(kTimeout, proc_.Pid());
  }

  Process proc_;
  HWND frame_ = nullptr;
};


}  // namespace traye2e
