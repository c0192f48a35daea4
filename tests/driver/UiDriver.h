// UI driver for the end-to-end tests: starts the programs under test and drives them through
// the real Win32 API from another process of the same Wine prefix, as a user would.
//
// Conventions:
// - Every wait takes a timeout in milliseconds and polls about every 20 ms.
// - A call that fails returns false / null / an empty optional and leaves a one-line account
//   of what it saw in LastError() (per thread), e.g. for `ASSERT_TRUE(x) << LastError()`.
// - Captions are matched exactly. Texts are ANSI, as the programs use the ...A functions.
// - Windows are looked up on the desktop of the calling thread (see UseDesktop).
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace uidriver {

using Ms = DWORD;
inline constexpr Ms kTimeout = 10000;
inline constexpr Ms kPollInterval = 20;

// ---- Failures and waiting -------------------------------------------------------------------

// What the last failing call of this thread saw.
const std::string& LastError();
// |ms| as a time limit on this machine: TZ_TIME_SCALE (a whole number, 1 to 20; 1 when unset)
// times |ms|. An emulated machine runs the programs several times slower, and its tests say
// so there. Every wait of the driver is scaled; quiet bounds (StaysFalse) are not.
Ms Scaled(Ms ms);
// Polls `done` until it holds or `timeout` passes; on time-out LastError() names `what`.
bool WaitFor(const std::function<bool()>& done, Ms timeout, const std::string& what);

// How long a test watches for something that must NOT happen, counted from the last event
// that could cause it (a message handled, a process started): far above the time the
// programs take to react under Wine here (a window or a started process shows within
// ~300 ms), so a wrong reaction is seen.
inline constexpr Ms kQuietBound = 1500;
// Watches for kQuietBound (or |bound|): true when `happened` never held; on failure
// LastError() names `what`.
bool StaysFalse(const std::function<bool()>& happened, const std::string& what, Ms bound = kQuietBound);

// ---- Processes ------------------------------------------------------------------------------

struct LaunchOptions {
  std::string args;     // command line after the quoted program path, passed as given
  std::string workDir;  // empty: the program's own folder
  std::vector<std::pair<std::string, std::string>> env;  // added to the driver's environment
  // Windows version that Wine reports to this program only ("win95", "win98", "nt40",
  // "winxp", "win10"...), written to HKCU\Software\Wine\AppDefaults\<exe name>\Version before
  // the start. Empty: a version left there by an earlier launch is removed.
  std::string windowsVersion;
  std::string desktop;  // empty: the calling thread's desktop
  // false: the program's standard handles are NUL. Under Wine a child otherwise keeps the
  // driver's Unix stdout/stderr, and a shell pipe reading the driver would wait for the child.
  // true: the program (and Wine's debug output for it) writes where the driver writes.
  bool keepOutput = false;
};

// A started process. Kills the process at scope end unless it has ended or was detached.
class Process {
 public:
  Process() = default;
  Process(HANDLE process, DWORD pid, std::string name);
  Process(Process&& other) noexcept;
  Process& operator=(Process&& other) noexcept;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process();

  explicit operator bool() const { return handle_ != nullptr; }
  DWORD Pid() const { return pid_; }
  HANDLE Handle() const { return handle_; }
  const std::string& Name() const { return name_; }
  bool Running() const;
  // Exit code once the process has ended; empty on time-out.
  std::optional<DWORD> WaitExit(Ms timeout = kTimeout);
  // Terminates the process and waits for it; true when it is gone.
  bool Kill();
  // Leaves the process running at scope end.
  void Detach();

 private:
  void Reset();
  HANDLE handle_ = nullptr;
  DWORD pid_ = 0;
  std::string name_;
  bool detached_ = false;
};

// Folder of the programs under test: TZ_BIN_DIR, else the driver's own folder (no final '\').
std::string BinDir();
// `file` inside BinDir().
std::string BinPath(const std::string& file);
// Starts `program`; a bare file name is taken from BinDir().
Process Launch(const std::string& program, const LaunchOptions& options = {});
// Ids of the running processes with this executable name (case-insensitive), this one excluded.
std::vector<DWORD> ProcessesNamed(const std::string& exeName);
// Terminates every such process and waits for each; returns how many were ended.
int KillAllNamed(const std::string& exeName);

// ---- Windows and controls -------------------------------------------------------------------

struct WindowQuery {
  std::string caption;       // exact
  DWORD pid = 0;             // 0: any process
  std::string cls;           // empty: any class
  bool visibleOnly = true;   // false also finds hidden windows (a tray program's frame)
};

HWND FindTopWindow(const WindowQuery& query);
std::vector<HWND> FindTopWindows(const WindowQuery& query);
HWND WaitWindow(const WindowQuery& query, Ms timeout = kTimeout);
HWND WaitWindow(const std::string& caption, Ms timeout = kTimeout, DWORD pid = 0);
// Gone: destroyed or hidden.
bool WaitWindowGone(HWND window, Ms timeout = kTimeout);
bool WaitWindowGone(const WindowQuery& query, Ms timeout = kTimeout);

// Every top-level window of the thread's desktop, shown or not, in Z order.
std::vector<HWND> TopWindows();
// Every descendant of |parent|: its children, theirs, and so on.
std::vector<HWND> ChildrenOf(HWND parent);

// Child control by id (GetDlgItem); null with a message when missing.
HWND Control(HWND parent, int id);
HWND WaitControl(HWND parent, int id, Ms timeout = kTimeout);
// Text by WM_GETTEXT, which works across processes (GetWindowText does not read controls).
std::string Text(HWND window);
std::string ControlText(HWND parent, int id);
bool WaitText(HWND window, const std::string& expected, Ms timeout = kTimeout);
bool WaitControlText(HWND parent, int id, const std::string& expected, Ms timeout = kTimeout);
std::string ClassOf(HWND window);
DWORD PidOf(HWND window);
DWORD ThreadOf(HWND window);
// "0x1234 #32770 "Caption" pid 32" for messages.
std::string Describe(HWND window);

// Sets an edit's whole text with WM_SETTEXT: the edit raises EN_CHANGE as after typing, but
// (as on Windows) its EM_LIMITTEXT limit does not apply. Use TypeChars to test a limit.
bool SetEditText(HWND edit, const std::string& text);
bool SetControlText(HWND parent, int id, const std::string& text);
// Sends WM_CHAR for each character, as typing does: the edit applies its limit.
bool TypeChars(HWND target, const std::string& chars);
// Posts WM_KEYDOWN/WM_KEYUP for `vk` (VK_RETURN, VK_ESCAPE, VK_TAB, ...) to the focus window of
// `window`'s thread, through the program's own message loop (dialogs act on Enter and Esc).
bool PressKey(HWND window, UINT vk);
// Real keyboard input (SendInput) after bringing `window` to the foreground. Needed where only
// hardware input counts: F1 becomes WM_HELP only from real input, on Windows and under Wine.
bool SendKeyInput(HWND window, UINT vk);

// Posts BM_CLICK and returns at once (the click may open a modal box). Refuses a button that a
// user could not click: hidden or disabled.
bool Click(HWND button);
bool ClickControl(HWND parent, int id);
// Sends BM_CLICK and returns when the program has handled it (or the timeout passed).
bool ClickAndWait(HWND button, Ms timeout = kTimeout);
// Posts WM_COMMAND as a menu or accelerator sends it (notify code 0, no control).
bool PostCommand(HWND window, int id);

bool IsEnabled(HWND window);
bool IsVisible(HWND window);
// BST_UNCHECKED, BST_CHECKED or BST_INDETERMINATE (BM_GETCHECK); -1 when it cannot be read.
int CheckState(HWND button);
RECT WindowRect(HWND window);       // screen pixels
RECT ClientRect(HWND window);       // client pixels: (0, 0, width, height)
RECT ClientRectOnScreen(HWND window);

// SendMessageTimeout; empty on time-out or failure.
std::optional<LRESULT> Send(HWND window, UINT msg, WPARAM wp = 0, LPARAM lp = 0, Ms timeout = kTimeout);
bool Post(HWND window, UINT msg, WPARAM wp = 0, LPARAM lp = 0);
// Focus and active window of the thread that owns `window` (GetGUIThreadInfo).
HWND FocusOf(HWND window);
HWND ActiveOf(HWND window);

// ---- Message boxes ----------------------------------------------------------------------------

enum class BoxIcon { None, Stop, Exclamation, Information, Question, Other, Unknown };
const char* IconName(BoxIcon icon);

struct MessageBoxInfo {
  HWND hwnd = nullptr;
  std::string caption;
  std::string text;
  std::vector<std::string> buttons;  // visible buttons, left to right, without '&'
  std::vector<int> buttonIds;        // IDOK, IDCANCEL, ... in the same order
  BoxIcon icon = BoxIcon::Unknown;
};

// A message box is a dialog of class #32770 with this caption (of process `pid` when not 0)
// holding only statics and buttons: one text, and buttons with the ids IDOK to IDCONTINUE. A
// dialog of the program with the same caption is not taken for one.
HWND FindMessageBox(const std::string& caption, DWORD pid = 0);
std::optional<MessageBoxInfo> ReadMessageBox(HWND box);
std::optional<MessageBoxInfo> WaitMessageBox(const std::string& caption, Ms timeout = kTimeout, DWORD pid = 0);
// Clicks `button` (text without '&', case-insensitive, or "" for the default button) and waits
// until the box has gone.
bool DismissMessageBox(HWND box, const std::string& button = "", Ms timeout = kTimeout);

// ---- Menus ------------------------------------------------------------------------------------

struct MenuItem {
  UINT id = 0;
  std::string text;  // as stored, with '&' and any "\tShortcut"
  bool separator = false;
  bool popup = false;
  bool grayed = false;
  bool checked = false;
  bool highlighted = false;
};
// "&About Test App...\tF1" -> "About Test App..."
std::string PlainText(const std::string& menuText);

// Read from inside the owning process (see README: Wine keeps menus per process).
std::optional<std::vector<MenuItem>> ReadSystemMenu(HWND window);
std::optional<std::vector<MenuItem>> ReadMenuBar(HWND window);
bool PostSysCommand(HWND window, UINT command);
// Opens the system menu as Alt+Space does (WM_SYSCOMMAND SC_KEYMENU ' ').
bool OpenSystemMenu(HWND window);

// Open popup menu window (#32768) of process `pid` (0: any).
HWND FindPopupMenu(DWORD pid = 0);
HWND WaitPopupMenu(Ms timeout = kTimeout, DWORD pid = 0);
std::optional<std::vector<MenuItem>> ReadPopupMenu(HWND popup);
// Chooses the item with this command id with the keyboard (arrows, then Enter) and waits until
// the menu has closed. Refuses a grayed item.
bool ChoosePopupItem(HWND popup, UINT id, Ms timeout = kTimeout);
bool ClosePopupMenu(HWND popup, Ms timeout = kTimeout);

// ---- Registry ---------------------------------------------------------------------------------

bool SetRegString(HKEY root, const std::string& key, const std::string& name, const std::string& value);
bool SetRegDword(HKEY root, const std::string& key, const std::string& name, DWORD value);
// REG_SZ or REG_EXPAND_SZ, cut at the first zero within the size returned.
std::optional<std::string> GetRegString(HKEY root, const std::string& key, const std::string& name);
std::optional<DWORD> GetRegDword(HKEY root, const std::string& key, const std::string& name);
// True when the value (key) is absent afterwards, also when it was absent before.
bool DeleteRegValue(HKEY root, const std::string& key, const std::string& name);
bool DeleteRegTree(HKEY root, const std::string& key);

// ---- Screenshots and files --------------------------------------------------------------------

// 24-bit .bmp of the calling thread's screen (desktop DC), or of `window`'s rectangle on it.
bool SaveScreenshot(const std::string& bmpPath, HWND window = nullptr);
// Whole file, if it exists and holds at most `maxBytes`.
std::optional<std::string> ReadTextFile(const std::string& path, size_t maxBytes = 1 << 20);
// Lines without their "\r\n" / "\n".
std::vector<std::string> SplitLines(const std::string& text);
// Waits until the file has a line equal to `line`.
bool WaitFileLine(const std::string& path, const std::string& line, Ms timeout = kTimeout);

// ---- Watching a program's thread from inside ------------------------------------------------

// Hooks the thread that owns |control| (with the probe DLL, which Wine loads into that process)
// for as long as the object lives: records every text WM_SETTEXT gives |control|, in order and
// without missing one however fast they come, and stops that thread on request (the thread then
// handles nothing at all until Release, or until the cap has passed), so that a test can make
// the program's thread slow at a moment it chooses.
class ThreadWatch {
 public:
  explicit ThreadWatch(HWND control, Ms stallCap = 20000);
  ~ThreadWatch();
  ThreadWatch(const ThreadWatch&) = delete;
  ThreadWatch& operator=(const ThreadWatch&) = delete;
  explicit operator bool() const { return m_head != nullptr; }

  std::vector<std::string> Texts() const;
  // The thread stops right after it has shown the n-th text counted from the watch's start.
  void StallAtText(int n);
  // Stops the thread now (a sent message, handled as soon as the thread looks at its queue);
  // returns once it has stopped.
  bool Stall(Ms timeout = kTimeout);
  bool WaitStalled(Ms timeout = kTimeout);
  // Lets a stopped thread go on; returns once it has.
  bool Release(Ms timeout = kTimeout);

 private:
  HWND m_control = nullptr;
  DWORD m_thread = 0;
  HANDLE m_map = nullptr;
  HANDLE m_release = nullptr;
  void* m_head = nullptr;
  HHOOK m_hook = nullptr, m_retHook = nullptr;
};

// ---- Wine desktop with a taskbar, notification area -------------------------------------------

inline constexpr char kShellDesktop[] = "shell";
// Starts "explorer /desktop=shell,WxH" (a Wine desktop with a taskbar that shows tray icons),
// waits for its taskbar and moves the calling thread to it (UseDesktop), so that later lookups,
// launches and screenshots happen there. Call it before any other driver call in that thread.
Process StartShellDesktop(int width = 1024, int height = 768, Ms timeout = kTimeout);
// SetThreadDesktop to the named desktop; fails if the thread already owns windows or hooks.
bool UseDesktop(const std::string& name);
std::string CurrentDesktop();

enum class TrayClick { Left, Right, Double };

struct TrayIcon {
  HWND tray = nullptr;  // the window that draws the icon (Wine: Shell_TrayWnd)
  UINT_PTR tool = 0;    // the tooltip tool of the icon
  std::string tip;      // tooltip text
  RECT rect{};          // on screen
  POINT clientCenter{}; // centre in the tray window's client pixels, where a click goes
  HWND owner = nullptr; // not observable under Wine 8 (kept inside explorer): always null
};
// The icons of the notification area of the calling thread's desktop.
std::optional<std::vector<TrayIcon>> FindTrayIcons();
std::optional<TrayIcon> WaitTrayIcon(const std::string& tip, Ms timeout = kTimeout);
bool WaitTrayIconGone(const std::string& tip, Ms timeout = kTimeout);
// Posts the mouse messages of a click to the tray window, which passes them to the icon's owner
// as its callback message.
bool ClickTrayIcon(const TrayIcon& icon, TrayClick how = TrayClick::Right);

}  // namespace uidriver
