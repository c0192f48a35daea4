// Shared by the tray program's end-to-end tests: starting Corvane.exe with a Windows version,
// its hidden frame, the component libraries' call records, the registry of a scenario.
#pragma once
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "UiDriver.h"

namespace traye2e {

using namespace uidriver;

inline constexpr char kExe[] = "Corvane.exe";
inline constexpr char kFrameCaption[] = "Corvane";
inline constexpr char kAppKey[] = "SOFTWARE\\Velmora\\Corvane";
inline constexpr char kPoEKey[] = "SOFTWARE\\Velmora\\Corvane\\PoE";
inline constexpr char kTrayKey[] = "SOFTWARE\\Velmora\\Tessory\\Corvane";
inline constexpr char kOsTestKey[] = "SOFTWARE\\Velmora\\TzOS\\Test";
inline constexpr char kNtClass[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
inline constexpr char k9xClass[] = "System\\CurrentControlSet\\Services\\Class\\Net";
inline constexpr UINT WM_TRAY_NOTIFY = WM_USER;
inline constexpr UINT kTrayId = 131;
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_SERVICE_NAME = 32773;
inline constexpr int ID_SHUTDOWN = 32774;
inline constexpr int ID_CLOSE_APP = 32775;
inline constexpr int ID_TRAY_HELP = 32777;
inline constexpr int ID_STATUS = 32778;

inline std::string WindowsDir() {
  char buf[MAX_PATH + 1] = {};
  UINT n = GetWindowsDirectoryA(buf, MAX_PATH);
  std::string dir(buf, n < MAX_PATH ? n : 0);
  if (dir.empty() || dir.back() != '\\') dir += '\\';
  return dir;
}
inline std::string OsLogPath() { return WindowsDir() + "TzOSControl.log"; }
inline std::string SetupLogPath() { return WindowsDir() + "TzSetupUtils.log"; }
inline std::string RuntimeFilePath() { return WindowsDir() + "Tessory_Runtime.txt"; }

inline std::vector<std::string> LogLines(const std::string& path) {
  auto text = ReadTextFile(path);
  return text ? SplitLines(*text) : std::vector<std::string>{};
}
inline std::vector<std::string> OsLog() { return LogLines(OsLogPath()); }
inline std::vector<std::string> SetupLog() { return LogLines(SetupLogPath()); }

// The call numbers of the setup library's record ("7(1) -> 0 ..." gives "7").
inline std::vector<std::string> SetupOrdinals() {
  std::vector<std::string> out;
  for (const std::string& line : SetupLog()) out.push_back(line.substr(0, line.find('(')));
  return out;
}

inline std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += "[" + l + "]";
  return out;
}

// "Installs" the adapter where the setup library looks for it on this platform family.
inline void InstallAdapter(bool win9x, const std::string& description = "Velmora Tolvek PPPoE Adapter") {
  std::string key = std::string(win9x ? k9xClass : kNtClass) + "\\0007";
  ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, key, "DriverDesc", description)) << LastError();
}
inline void RemoveAdapters() {
  DeleteRegTree(HKEY_LOCAL_MACHINE, std::string(kNtClass) + "\\0007");
  DeleteRegTree(HKEY_LOCAL_MACHINE, std::string(k9xClass) + "\\0007");
}

// A clean machine for the next scenario: no Corvane running, no settings, no records.
inline void ResetMachine() {
  KillAllNamed(kExe);
  DeleteRegTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmora");
  DeleteRegTree(HKEY_CURRENT_USER, "Software\\Velmora");
  RemoveAdapters();
  DeleteFileA(OsLogPath().c_str());
  DeleteFileA(SetupLogPath().c_str());
  DeleteFileA(RuntimeFilePath().c_str());
}

// |heapCheck|: Wine's heap checking fills freed memory, so that a use after release shows
// as a crash instead of passing unnoticed.
inline Process StartCorvane(const std::string& version, const std::string& args = "", bool heapCheck = false,
                            const std::string& workDir = "") {
  LaunchOptions options;
  options.workDir = workDir;  // empty: the program's own folder
  options.windowsVersion = version;
  options.args = args;
  if (heapCheck) options.env.push_back({"WINEDEBUG", "warn+heap"});
  return Launch(kExe, options);
}

// The hidden frame of process |pid|.
inline HWND WaitFrame(DWORD pid, Ms timeout = kTimeout) {
  WindowQuery frameSpec;
  frameSpec.caption = kFrameCaption;
  frameSpec.pid = pid;
  frameSpec.visibleOnly = false;
  return WaitWindow(frameSpec, timeout);
}

// The About dialogs of process |pid| that are shown.
inline std::vector<HWND> AboutDialogs(DWORD pid) {
  return FindTopWindows(WindowQuery{"About Tessory", pid, "#32770", true});
}
// True while process |pid| shows its tray menu or an About dialog: what a click may open.
inline bool MenuOrAboutShown(DWORD pid) { return FindPopupMenu(pid) != nullptr || !AboutDialogs(pid).empty(); }

inline bool Contains(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

// True once the frame's thread answers messages. That alone does not mean the start-up has
// finished: a thread answers sent messages while it waits in a call of its own (the shell
// call that adds the icon).
inline bool WaitRunning(HWND frame, Ms timeout = kTimeout) {
  return WaitFor([&] { return Send(frame, WM_NULL, 0, 0, 200).has_value(); }, timeout, "the frame to answer");
}

// True once the start-up has finished: the frame answers, the setup library's two handles
// (runtime file, adapter check) are closed, and on Windows 95/98 the components are loaded.
inline bool WaitStarted(HWND frame, bool win9x, Ms timeout = kTimeout) {
  return WaitFor(
      [&] {
        if (!Send(frame, WM_NULL, 0, 0, 200)) return false;
        int closes = 0;
        for (const std::string& line : SetupLog()) closes += line.rfind("2(", 0) == 0 ? 1 : 0;
        if (closes < 2) return false;
        return !win9x || Contains(OsLog(), "TzOSLoadAll(Corvane) -> 1");
      },
      timeout, "the start-up to finish");
}


}  // namespace traye2e
