// What the driver and its probe DLL exchange. Wine keeps menus and icons per process: another
// process cannot read them (GetSystemMenu, GetMenuItemInfo and GetIconInfo fail on foreign
// handles), so the driver loads the probe into the process that owns a window (a
// WH_CALLWNDPROC hook on that window's thread) and lets it answer from inside.
//
// Exchange: the driver creates a named file mapping holding a ProbeHeader with the request,
// sends the registered message kProbeMessage to the window (wParam: driver process id, lParam:
// sequence number), and the hook, seeing that message, opens the mapping by name, writes its
// answer as text after the header and sets `done`.
#pragma once

#include <windows.h>

#include <cstdio>

namespace uidriver::probe {

inline constexpr char kProbeMessage[] = "TzDriverProbeQuery";
inline constexpr char kHookProcName[] = "TzDriverProbeHook";
inline constexpr char kProbeDll[] = "tzdrvprobe.dll";
inline constexpr DWORD kMagic = 0x545A5052;
inline constexpr DWORD kMappingSize = 64 * 1024;

enum ProbeKind : DWORD {
  kSystemMenu = 1,  // items of the window's system menu
  kPopupMenu = 2,   // items of the menu shown by a popup menu window (#32768)
  kMenuBar = 3,     // items of the window's menu bar
  kIconKind = 4,    // which standard icon an icon static (STM_GETICON) shows
  kTooltips = 5,    // tools of a tooltip control: owner, id, rectangle, text
};

struct ProbeHeader {
  DWORD magic;
  DWORD kind;
  DWORD done;    // set by the probe when the answer is complete
  DWORD status;  // 0: answered; otherwise a Win32 error code
  DWORD length;  // bytes of answer text after the header
};

// Answer lines (tab-separated, '\n' ended):
//   menus:    id, fType, fState, has-submenu (0/1), text
//   icon:     one word: none, stop, exclamation, information, question, application, other
//   tooltips: tool hwnd (hex), uId (hex), flags (hex), left, top, right, bottom, text

// The thread watch: a hook that stays on one thread of the program under test (WH_CALLWNDPROC
// and WH_CALLWNDPROCRET with the probe's other two procedures). The driver creates the mapping
// WatchMappingName(thread id) holding a WatchHeader; the hooks, on that thread, find it by
// their own thread id. They record every text that WM_SETTEXT gave the watched control
// (read back with GetWindowText once the control has handled it), and stop the thread on
// request: at the stallAtText-th text recorded, or on the registered message kWatchStall.
// A stopped thread waits for the event WatchReleaseName(thread id) (at most stallCapMs).
inline constexpr char kWatchProcName[] = "TzDriverWatchHook";
inline constexpr char kWatchRetProcName[] = "TzDriverWatchRetHook";
inline constexpr char kWatchStall[] = "TzDriverWatchStall";
inline constexpr DWORD kWatchMagic = 0x545A5754;
inline constexpr DWORD kWatchMappingSize = 64 * 1024;

struct WatchHeader {
  DWORD magic;
  DWORD control;      // the watched control (window handles fit 32 bits, also on Win64)
  LONG stallAtText;   // stop once this many texts are recorded; 0: never
  DWORD stallCapMs;   // longest stop
  LONG stalled;       // 1 while the thread is stopped, 2 once it went on
  LONG count;         // texts recorded
  DWORD length;       // bytes of text after the header, each text ended by '\n'
};

inline void WatchMappingName(char* out, size_t size, DWORD thread) {
  std::snprintf(out, size, "TzDriverWatch.%lu", static_cast<unsigned long>(thread));
}
inline void WatchReleaseName(char* out, size_t size, DWORD thread) {
  std::snprintf(out, size, "TzDriverWatch.release.%lu", static_cast<unsigned long>(thread));
}

inline void MappingName(char* out, size_t size, DWORD pid, DWORD seq) {
  std::snprintf(out, size, "TzDriverProbe.%lu.%lu", static_cast<unsigned long>(pid), static_cast<unsigned long>(seq));
}

}  // namespace uidriver::probe
