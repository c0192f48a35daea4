// Menus, the Wine desktop with a taskbar and the notification area: what needs a look from
// inside another process goes through the probe DLL (probe/ProbeProtocol.h).
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "DriverInternal.h"
#include "UiDriver.h"
#include "probe/ProbeProtocol.h"

namespace uidriver {

using namespace detail;

// ---- Probe client ---------------------------------------------------------------------------

namespace {

// The probe lies beside the driver's program; the programs under test load it from there.
HMODULE ProbeModule() {
  static HMODULE dll = nullptr;
  if (!dll) {
    char self[MAX_PATH] = "";
    DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
    std::string path = n > 0 && n < sizeof self ? std::string(self, n) : std::string();
    path = path.substr(0, path.find_last_of("\\/") + 1) + probe::kProbeDll;
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) path = BinPath(probe::kProbeDll);
    dll = LoadLibraryA(path.c_str());
  }
  return dll;
}

}  // namespace

std::optional<std::string> detail::Probe(HWND window, DWORD kind, Ms timeout) {
  static HMODULE dll = nullptr;
  static HOOKPROC hook = nullptr;
  if (!dll) {
    dll = ProbeModule();
    if (!dll) {
      Fail("cannot load the probe " + Quote(probe::kProbeDll) + " (error " + std::to_string(GetLastError()) + ")");
      return std::nullopt;
    }
    hook = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(dll, probe::kHookProcName)));
  }
  if (!hook) {
    Fail("the probe DLL lacks " + std::string(probe::kHookProcName));
    return std::nullopt;
  }
  if (!IsWindow(window)) {
    Fail("probe: window is gone: " + Describe(window));
    return std::nullopt;
  }
  static LONG sequence = 0;
  const DWORD seq = static_cast<DWORD>(InterlockedIncrement(&sequence));
  char name[64];
  probe::MappingName(name, sizeof name, GetCurrentProcessId(), seq);
  HANDLE map = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, probe::kMappingSize, name);
  if (!map) {
    Fail("probe: no shared memory (error " + std::to_string(GetLastError()) + ")");
    return std::nullopt;
  }
  auto* head = static_cast<probe::ProbeHeader*>(MapViewOfFile(map, FILE_MAP_WRITE | FILE_MAP_READ, 0, 0, probe::kMappingSize));
  if (!head) {
    CloseHandle(map);
    Fail("probe: cannot map shared memory");
    return std::nullopt;
  }
  std::memset(head, 0, sizeof *head);
  head->magic = probe::kMagic;
  head->kind = kind;

  std::optional<std::string> answer;
  HHOOK hk = SetWindowsHookExA(WH_CALLWNDPROC, hook, dll, ThreadOf(window));
  if (!hk) {
    Fail("probe: cannot hook the thread of " + Describe(window) + " (error " + std::to_string(GetLastError()) + ")");
  } else {
    const UINT msg = RegisterWindowMessageA(probe::kProbeMessage);
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutA(window, msg, GetCurrentProcessId(), seq, SMTO_NORMAL, Scaled(timeout), &ignored)) {
      Fail("probe: " + Describe(window) + " did not answer within " + std::to_string(Scaled(timeout)) + " ms");
    } else if (!head->done) {
      Fail("probe: the probe was not loaded into the process of " + Describe(window));
    } else if (head->status != 0) {
      Fail("probe: asking " + Describe(window) + " failed with error " + std::to_string(head->status));
    } else {
      const DWORD len = std::min<DWORD>(head->length, probe::kMappingSize - sizeof *head);
      answer = std::string(reinterpret_cast<const char*>(head + 1), len);
    }
    UnhookWindowsHookEx(hk);
  }
  UnmapViewOfFile(head);
  CloseHandle(map);
  return answer;
}

// ---- Thread watch ----------------------------------------------------------------------------

namespace {

probe::WatchHeader* Head(void* p) { return static_cast<probe::WatchHeader*>(p); }

}  // namespace

ThreadWatch::ThreadWatch(HWND control, Ms stallCap) : m_control(control) {
  HMODULE dll = ProbeModule();
  auto proc = dll ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(dll, probe::kWatchProcName))) : nullptr;
  auto retProc = dll ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(dll, probe::kWatchRetProcName)))
                     : nullptr;
  if (!proc || !retProc || !IsWindow(control)) {
    Fail("watch: no probe, or the window is gone: " + Describe(control));
    return;
  }
  m_thread = ThreadOf(control);
  char name[64];
  probe::WatchMappingName(name, sizeof name, m_thread);
  m_map = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, probe::kWatchMappingSize, name);
  probe::WatchReleaseName(name, sizeof name, m_thread);
  m_release = CreateEventA(nullptr, TRUE, FALSE, name);
  void* view = m_map ? MapViewOfFile(m_map, FILE_MAP_WRITE | FILE_MAP_READ, 0, 0, probe::kWatchMappingSize) : nullptr;
  if (!view || !m_release) {
    Fail("watch: no shared memory or event (error " + std::to_string(GetLastError()) + ")");
    if (view) UnmapViewOfFile(view);
    return;
  }
  auto* head = static_cast<probe::WatchHeader*>(view);
  std::memset(head, 0, sizeof *head);
  head->control = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(control));
  head->stallCapMs = stallCap;
  MemoryBarrier();
  head->magic = probe::kWatchMagic;
  m_hook = SetWindowsHookExA(WH_CALLWNDPROC, proc, dll, m_thread);
  m_retHook = SetWindowsHookExA(WH_CALLWNDPROCRET, retProc, dll, m_thread);
  if (!m_hook || !m_retHook) {
    Fail("watch: cannot hook the thread of " + Describe(control) + " (error " + std::to_string(GetLastError()) + ")");
    UnmapViewOfFile(view);
    return;
  }
  m_head = view;
}

ThreadWatch::~ThreadWatch() {
  if (m_release) SetEvent(m_release);
  if (m_hook) UnhookWindowsHookEx(m_hook);
  if (m_retHook) UnhookWindowsHookEx(m_retHook);
  if (m_head) {
    Head(m_head)->magic = 0;
    UnmapViewOfFile(m_head);
  }
  if (m_map) CloseHandle(m_map);
  if (m_release) CloseHandle(m_release);
}

std::vector<std::string> ThreadWatch::Texts() const {
  if (!m_head) return {};
  const probe::WatchHeader* head = Head(m_head);
  const DWORD len = std::min<DWORD>(head->length, probe::kWatchMappingSize - sizeof *head);
  std::vector<std::string> out;
  std::string text(reinterpret_cast<const char*>(head + 1), len);
  size_t start = 0;
  for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) out.push_back(text.substr(start, nl - start));
  return out;
}

void ThreadWatch::StallAtText(int n) {
  if (!m_head) return;
  ResetEvent(m_release);
  InterlockedExchange(&Head(m_head)->stalled, 0);
  InterlockedExchange(&Head(m_head)->stallAtText, n);
}

bool ThreadWatch::Stall(Ms timeout) {
  if (!m_head) return Fail("watch: not watching");
  ResetEvent(m_release);
  InterlockedExchange(&Head(m_head)->stalled, 0);
  // Sent, not posted: handled before any posted message, and without waiting for an answer.
  if (!SendNotifyMessageA(m_control, RegisterWindowMessageA(probe::kWatchStall), 0, 0))
    return Fail("watch: cannot send to " + Describe(m_control));
  return WaitStalled(timeout);
}

bool ThreadWatch::WaitStalled(Ms timeout) {
  if (!m_head) return Fail("watch: not watching");
  return WaitFor([&] { return InterlockedCompareExchange(&Head(m_head)->stalled, 0, 0) == 1; }, timeout,
                 "the watched thread stopped");
}

bool ThreadWatch::Release(Ms timeout) {
  if (!m_head) return Fail("watch: not watching");
  InterlockedExchange(&Head(m_head)->stallAtText, 0);
  SetEvent(m_release);
  return WaitFor([&] { return InterlockedCompareExchange(&Head(m_head)->stalled, 0, 0) != 1; }, timeout,
                 "the watched thread going on");
}

namespace {

std::vector<std::string> SplitTabs(const std::string& line, size_t maxFields) {
  std::vector<std::string> f;
  size_t start = 0;
  while (f.size() + 1 < maxFields) {
    size_t tab = line.find('\t', start);
    if (tab == std::string::npos) break;
    f.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
  f.push_back(line.substr(start));
  return f;
}

std::optional<std::vector<MenuItem>> ReadMenu(HWND window, DWORD kind) {
  std::optional<std::string> text = Probe(window, kind, 5000);
  if (!text) return std::nullopt;
  std::vector<MenuItem> items;
  for (const std::string& line : SplitLines(*text)) {
    std::vector<std::string> f = SplitTabs(line, 5);
    if (f.size() != 5) continue;
    MenuItem item;
    item.id = static_cast<UINT>(std::strtoul(f[0].c_str(), nullptr, 10));
    const UINT type = static_cast<UINT>(std::strtoul(f[1].c_str(), nullptr, 10));
    const UINT state = static_cast<UINT>(std::strtoul(f[2].c_str(), nullptr, 10));
    item.separator = (type & MFT_SEPARATOR) != 0;
    item.popup = f[3] == "1";
    item.grayed = (state & MFS_GRAYED) != 0;
    item.checked = (state & MFS_CHECKED) != 0;
    item.highlighted = (state & MFS_HILITE) != 0;
    item.text = f[4];
    items.push_back(item);
  }
  return items;
}

}  // namespace

std::string PlainText(const std::string& menuText) {
  std::string out;
  for (size_t i = 0; i < menuText.size(); ++i) {
    char c = menuText[i];
    if (c == '\t') break;
    if (c == '&') {
      if (i + 1 < menuText.size() && menuText[i + 1] == '&') out += '&', ++i;
      continue;
    }
    out += c;
  }
  return out;
}

// ---- Menus ----------------------------------------------------------------------------------

std::optional<std::vector<MenuItem>> ReadSystemMenu(HWND window) { return ReadMenu(window, probe::kSystemMenu); }
std::optional<std::vector<MenuItem>> ReadMenuBar(HWND window) { return ReadMenu(window, probe::kMenuBar); }

bool PostSysCommand(HWND window, UINT command) { return Post(window, WM_SYSCOMMAND, command, 0); }

bool OpenSystemMenu(HWND window) { return Post(window, WM_SYSCOMMAND, SC_KEYMENU, ' '); }

namespace {
std::vector<HWND> PopupMenus(DWORD pid) {
  WindowQuery query;
  query.cls = "#32768";
  query.pid = pid;
  return FindTopWindows(query);
}
}  // namespace

HWND FindPopupMenu(DWORD pid) {
  std::vector<HWND> all = PopupMenus(pid);
  if (all.empty()) {
    Fail("no open popup menu" + (pid ? " of pid " + std::to_string(pid) : std::string()) +
         "; visible windows: " + VisibleWindowList());
    return nullptr;
  }
  return all.front();
}

HWND WaitPopupMenu(Ms timeout, DWORD pid) {
  HWND found = nullptr;
  if (!WaitFor(
          [&] {
            std::vector<HWND> all = PopupMenus(pid);
            found = all.empty() ? nullptr : all.front();
            return found != nullptr;
          },
          timeout, ""))
    Fail("no popup menu opened within " + std::to_string(Scaled(timeout)) + " ms; visible windows: " + VisibleWindowList());
  return found;
}

std::optional<std::vector<MenuItem>> ReadPopupMenu(HWND popup) {
  if (ClassOf(popup) != "#32768") {
    Fail("not a popup menu: " + Describe(popup));
    return std::nullopt;
  }
  return ReadMenu(popup, probe::kPopupMenu);
}

bool ChoosePopupItem(HWND popup, UINT id, Ms timeout) {
  std::optional<std::vector<MenuItem>> items = ReadPopupMenu(popup);
  if (!items) return false;
  int target = -1, current = -1;
  for (size_t i = 0; i < items->size(); ++i) {
    if ((*items)[i].id == id && !(*items)[i].separator) target = static_cast<int>(i);
    if ((*items)[i].highlighted) current = static_cast<int>(i);
  }
  if (target < 0) return Fail("popup menu has no item " + std::to_string(id));
  if ((*items)[target].grayed) return Fail("popup menu item " + Quote((*items)[target].text) + " is grayed");
  // Down moves to the next item that is not a separator and wraps around, from no selection to
  // the first one; count the presses from the current selection.
  const int n = static_cast<int>(items->size());
  int presses = 0;
  for (int i = current; i != target;) {
    i = (i + 1) % n;
    if (!(*items)[i].separator) ++presses;
  }
  for (int i = 0; i < presses; ++i)
    if (!PressKey(popup, VK_DOWN)) return false;
  if (!PressKey(popup, VK_RETURN)) return false;
  return WaitWindowGone(popup, timeout);
}

bool ClosePopupMenu(HWND popup, Ms timeout) {
  // Esc closes one level; a system menu opened from the keyboard leaves the menu mode on a
  // second Esc.
  if (!PressKey(popup, VK_ESCAPE)) return false;
  return WaitWindowGone(popup, timeout);
}

// ---- Desktops -------------------------------------------------------------------------------

std::string CurrentDesktop() {
  char name[256] = "";
  DWORD needed = 0;
  if (!GetUserObjectInformationA(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, name, sizeof name, &needed)) return "";
  name[sizeof name - 1] = 0;
  return name;
}

bool UseDesktop(const std::string& name) {
  HDESK desk = OpenDesktopA(name.c_str(), 0, FALSE, GENERIC_ALL);
  if (!desk) return Fail("no desktop " + Quote(name) + " (error " + std::to_string(GetLastError()) + ")");
  if (!SetThreadDesktop(desk)) {
    DWORD err = GetLastError();
    CloseDesktop(desk);
    return Fail("cannot move this thread to desktop " + Quote(name) + " (error " + std::to_string(err) +
                "); it must not own windows or hooks yet");
  }
  return true;
}

namespace {
// Desktop window enumeration callback (a plain function: a lambda has the wrong calling
// convention on x86): sets the bool at |lp| when the window is the taskbar.
BOOL CALLBACK NoteTaskbar(HWND h, LPARAM lp) {
  char cls[64] = "";
  GetClassNameA(h, cls, sizeof cls);
  if (std::strcmp(cls, "Shell_TrayWnd") == 0) *reinterpret_cast<bool*>(lp) = true;
  return TRUE;
}
}  // namespace

Process StartShellDesktop(int width, int height, Ms timeout) {
  LaunchOptions opt;
  opt.args = "/desktop=" + std::string(kShellDesktop) + "," + std::to_string(width) + "x" + std::to_string(height);
  // Explorer of the driver's own bitness, which then owns the taskbar: the probe that reads the
  // notification area can only be hooked into a process of its own bitness. For a 32-bit
  // driver in a 64-bit prefix, the system folder is redirected to the 32-bit one (SysWOW64).
  char sysdir[MAX_PATH] = "";
  UINT n = GetSystemDirectoryA(sysdir, sizeof sysdir);
  std::string explorer = (n > 0 && n < sizeof sysdir ? std::string(sysdir, n) : std::string("C:\\windows\\system32")) + "\\explorer.exe";
  opt.workDir = "C:\\";
  opt.desktop = "Default";
  Process p = Launch(explorer, opt);
  if (!p) return p;
  // The desktop exists once explorer has made it; its taskbar then appears in it.
  bool ok = WaitFor(
      [&] {
        HDESK d = OpenDesktopA(kShellDesktop, 0, FALSE, GENERIC_READ | DESKTOP_ENUMERATE);
        if (!d) return false;
        bool taskbar = false;
        EnumDesktopWindows(
            d,
            NoteTaskbar,
            reinterpret_cast<LPARAM>(&taskbar));
        CloseDesktop(d);
        return taskbar;
      },
      timeout, "");
  if (!ok) {
    Fail("the Wine desktop " + Quote(kShellDesktop) + " with its taskbar did not appear within " + std::to_string(Scaled(timeout)) + " ms");
    return {};
  }
  if (!UseDesktop(kShellDesktop)) return {};
  return p;
}

// ---- Notification area ------------------------------------------------------------------------

std::optional<std::vector<TrayIcon>> FindTrayIcons() {
  // Wine 8's explorer draws every icon into its tray window (class Shell_TrayWnd) and gives
  // each one a tool in a tooltip control that the tray window owns; the tool rectangle is the
  // icon's place in the tray window, its text the icon's tip. There is no window per icon, and
  // the owner window stays inside explorer.
  std::vector<TrayIcon> icons;
  std::vector<HWND> trays;
  for (HWND h = FindWindowExA(nullptr, nullptr, "Shell_TrayWnd", nullptr); h; h = FindWindowExA(nullptr, h, "Shell_TrayWnd", nullptr))
    trays.push_back(h);
  if (trays.empty()) {
    Fail("no tray window (Shell_TrayWnd) on desktop " + Quote(CurrentDesktop()));
    return std::nullopt;
  }
  for (HWND tray : trays) {
    for (HWND tip = FindWindowExA(nullptr, nullptr, "tooltips_class32", nullptr); tip;
         tip = FindWindowExA(nullptr, tip, "tooltips_class32", nullptr)) {
      if (GetWindow(tip, GW_OWNER) != tray) continue;
      std::optional<std::string> text = Probe(tip, probe::kTooltips, 5000);
      if (!text) return std::nullopt;
      for (const std::string& line : SplitLines(*text)) {
        std::vector<std::string> f = SplitTabs(line, 8);
        if (f.size() != 8) continue;
        if (reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(f[0].c_str(), nullptr, 16))) != tray) continue;
        TrayIcon icon;
        icon.tray = tray;
        icon.tool = static_cast<UINT_PTR>(std::strtoull(f[1].c_str(), nullptr, 16));
        RECT r{std::atol(f[3].c_str()), std::atol(f[4].c_str()), std::atol(f[5].c_str()), std::atol(f[6].c_str())};
        // Explorer keeps the tool of a deleted or hidden icon, with an empty rectangle.
        if (IsRectEmpty(&r)) continue;
        icon.clientCenter = POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        MapWindowPoints(tray, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
        icon.rect = r;
        icon.tip = f[7];
        icons.push_back(icon);
      }
    }
  }
  return icons;
}

std::optional<TrayIcon> WaitTrayIcon(const std::string& tip, Ms timeout) {
  std::optional<TrayIcon> found;
  std::string seen;
  WaitFor(
      [&] {
        std::optional<std::vector<TrayIcon>> icons = FindTrayIcons();
        if (!icons) return false;
        seen.clear();
        for (const TrayIcon& i : *icons) {
          seen += (seen.empty() ? "" : ", ") + Quote(i.tip);
          if (i.tip == tip) found = i;
        }
        return found.has_value();
      },
      timeout, "");
  if (!found) Fail("no tray icon " + Quote(tip) + " within " + std::to_string(Scaled(timeout)) + " ms; icons: " + (seen.empty() ? "none" : seen));
  return found;
}

bool WaitTrayIconGone(const std::string& tip, Ms timeout) {
  bool ok = WaitFor(
      [&] {
        std::optional<std::vector<TrayIcon>> icons = FindTrayIcons();
        return icons && std::none_of(icons->begin(), icons->end(), [&](const TrayIcon& i) { return i.tip == tip; });
      },
      timeout, "");
  return ok || Fail("tray icon " + Quote(tip) + " still shown after " + std::to_string(Scaled(timeout)) + " ms");
}

bool ClickTrayIcon(const TrayIcon& icon, TrayClick how) {
  const LPARAM at = MAKELPARAM(icon.clientCenter.x, icon.clientCenter.y);
  // Programs place their icon menu at the cursor (GetCursorPos), so put it where a user's is.
  SetCursorPos((icon.rect.left + icon.rect.right) / 2, (icon.rect.top + icon.rect.bottom) / 2);
  switch (how) {
    case TrayClick::Left:
      return Post(icon.tray, WM_LBUTTONDOWN, MK_LBUTTON, at) && Post(icon.tray, WM_LBUTTONUP, 0, at);
    case TrayClick::Right:
      return Post(icon.tray, WM_RBUTTONDOWN, MK_RBUTTON, at) && Post(icon.tray, WM_RBUTTONUP, 0, at);
    case TrayClick::Double:
      return Post(icon.tray, WM_LBUTTONDOWN, MK_LBUTTON, at) && Post(icon.tray, WM_LBUTTONUP, 0, at) &&
             Post(icon.tray, WM_LBUTTONDBLCLK, MK_LBUTTON, at) && Post(icon.tray, WM_LBUTTONUP, 0, at);
  }
  return Fail("unknown click");
}

}  // namespace uidriver
