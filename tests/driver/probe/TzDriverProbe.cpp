// The probe DLL: loaded by Windows into the process that owns a window when the driver hooks
// that window's thread, it answers the driver's questions from inside that process (see
// ProbeProtocol.h). It does nothing for any other message.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>

#include "ProbeProtocol.h"

using namespace uidriver::probe;

namespace {

// Bounded writer over the answer area of the mapping.
struct Answer {
  char* text;
  DWORD capacity;
  DWORD length = 0;
  void Add(const char* fmt, ...) {
    if (length >= capacity) return;
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(text + length, capacity - length, fmt, ap);
    va_end(ap);
    if (n < 0) return;
    length += static_cast<DWORD>(n) < capacity - length ? static_cast<DWORD>(n) : capacity - length - 1;
  }
};

// A line end inside a text would break the line format.
void Clean(char* s) {
  for (; *s; ++s)
    if (*s == '\n' || *s == '\r') *s = ' ';
}

DWORD ListMenu(HMENU menu, Answer& out) {
  if (!menu || !IsMenu(menu)) return ERROR_INVALID_MENU_HANDLE;
  int count = GetMenuItemCount(menu);
  if (count < 0) return GetLastError() ? GetLastError() : ERROR_INVALID_MENU_HANDLE;
  for (int i = 0; i < count; ++i) {
    char text[256] = "";
    MENUITEMINFOA mi{};
    mi.cbSize = sizeof mi;
    mi.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_STRING;
    mi.dwTypeData = text;
    mi.cch = sizeof text;
    if (!GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &mi)) continue;
    text[sizeof text - 1] = 0;
    Clean(text);
    // The tab in "Close\tAlt+F4" stays: the driver splits at the first four tabs only.
    out.Add("%u\t%u\t%u\t%d\t%s\n", mi.wID, mi.fType, mi.fState, mi.hSubMenu ? 1 : 0,
            (mi.fType & MFT_SEPARATOR) ? "" : text);
  }
  return 0;
}

// A message box loads its icon with LoadIcon(NULL, IDI_...), which hands out one shared handle
// per process, so comparing handles inside the box's own process names the icon exactly.
DWORD IconKind(HWND stat, Answer& out) {
  HICON icon = reinterpret_cast<HICON>(SendMessageA(stat, STM_GETICON, 0, 0));
  if (!icon) {
    out.Add("none\n");
    return 0;
  }
  struct Known {
    LPCSTR id;
    const char* name;
  };
  const Known known[] = {
      {reinterpret_cast<LPCSTR>(IDI_HAND), "stop"},
      {reinterpret_cast<LPCSTR>(IDI_EXCLAMATION), "exclamation"},
      {reinterpret_cast<LPCSTR>(IDI_ASTERISK), "information"},
      {reinterpret_cast<LPCSTR>(IDI_QUESTION), "question"},
      {reinterpret_cast<LPCSTR>(IDI_APPLICATION), "application"},
  };
  for (const Known& k : known) {
    if (LoadIconA(nullptr, k.id) == icon) {
      out.Add("%s\n", k.name);
      return 0;
    }
  }
  out.Add("other\n");
  return 0;
}

DWORD ListTools(HWND tip, Answer& out) {
  int count = static_cast<int>(SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    char text[256] = "";
    TTTOOLINFOA ti{};
    ti.cbSize = sizeof ti;
    ti.lpszText = text;
    if (!SendMessageA(tip, TTM_ENUMTOOLSA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&ti))) continue;
    text[sizeof text - 1] = 0;
    Clean(text);
    out.Add("%llx\t%llx\t%x\t%ld\t%ld\t%ld\t%ld\t%s\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(ti.hwnd)),
            static_cast<unsigned long long>(ti.uId), ti.uFlags, ti.rect.left, ti.rect.top, ti.rect.right,
            ti.rect.bottom, text);
  }
  return 0;
}

void HandleQuery(HWND hwnd, DWORD driverPid, DWORD seq) {
  char name[64];
  MappingName(name, sizeof name, driverPid, seq);
  HANDLE map = OpenFileMappingA(FILE_MAP_WRITE | FILE_MAP_READ, FALSE, name);
  if (!map) return;
  auto* head = static_cast<ProbeHeader*>(MapViewOfFile(map, FILE_MAP_WRITE | FILE_MAP_READ, 0, 0, kMappingSize));
  if (head && head->magic == kMagic && !head->done) {
    Answer out{reinterpret_cast<char*>(head + 1), kMappingSize - sizeof(ProbeHeader)};
    DWORD status = ERROR_NOT_SUPPORTED;
    switch (head->kind) {
      case kSystemMenu: status = ListMenu(GetSystemMenu(hwnd, FALSE), out); break;
      case kPopupMenu: status = ListMenu(reinterpret_cast<HMENU>(SendMessageA(hwnd, MN_GETHMENU, 0, 0)), out); break;
      case kMenuBar: status = ListMenu(GetMenu(hwnd), out); break;
      case kIconKind: status = IconKind(hwnd, out); break;
      case kTooltips: status = ListTools(hwnd, out); break;
    }
    head->status = status;
    head->length = out.length;
    MemoryBarrier();
    head->done = 1;
  }
  if (head) UnmapViewOfFile(head);
  CloseHandle(map);
}

}  // namespace

namespace {

// --- the thread watch (ProbeProtocol.h)

// The watch of this thread, mapped; nullptr when the driver watches no thread of ours. Mapped
// afresh at every call: Wine may load and unload the probe around each hook call.
WatchHeader* OpenWatch(HANDLE& map) {
  char name[64];
  WatchMappingName(name, sizeof name, GetCurrentThreadId());
  map = OpenFileMappingA(FILE_MAP_WRITE | FILE_MAP_READ, FALSE, name);
  if (!map) return nullptr;
  auto* head = static_cast<WatchHeader*>(MapViewOfFile(map, FILE_MAP_WRITE | FILE_MAP_READ, 0, 0, kWatchMappingSize));
  if (!head || head->magic != kWatchMagic) {
    if (head) UnmapViewOfFile(head);
    CloseHandle(map);
    return nullptr;
  }
  return head;
}

void CloseWatch(WatchHeader* head, HANDLE map) {
  UnmapViewOfFile(head);
  CloseHandle(map);
}

// Stops this thread until the driver releases it (or the cap has passed).
void Stall(WatchHeader* head) {
  char name[64];
  WatchReleaseName(name, sizeof name, GetCurrentThreadId());
  HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, name);
  InterlockedExchange(&head->stalled, 1);
  if (release) {
    WaitForSingleObject(release, head->stallCapMs);
    CloseHandle(release);
  }
  InterlockedExchange(&head->stalled, 2);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK TzDriverWatchRetHook(int code, WPARAM wp, LPARAM lp) {
  if (code == HC_ACTION && lp) {
    const auto* cwp = reinterpret_cast<const CWPRETSTRUCT*>(lp);
    if (cwp->message == WM_SETTEXT) {
      HANDLE map = nullptr;
      if (WatchHeader* head = OpenWatch(map)) {
        if (static_cast<DWORD>(reinterpret_cast<UINT_PTR>(cwp->hwnd)) == head->control) {
          char text[1024] = "";
          GetWindowTextA(cwp->hwnd, text, sizeof text);
          Clean(text);
          const DWORD room = kWatchMappingSize - sizeof(WatchHeader);
          const DWORD n = static_cast<DWORD>(std::strlen(text));
          char* area = reinterpret_cast<char*>(head + 1);
          if (head->length + n + 1 < room) {
            std::memcpy(area + head->length, text, n);
            area[head->length + n] = '\n';
            head->length += n + 1;
            MemoryBarrier();
            const LONG count = InterlockedIncrement(&head->count);
            if (count == head->stallAtText) Stall(head);
          }
        }
        CloseWatch(head, map);
      }
    }
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

extern "C" __declspec(dllexport) LRESULT CALLBACK TzDriverWatchHook(int code, WPARAM wp, LPARAM lp) {
  static const UINT stallMessage = RegisterWindowMessageA(kWatchStall);
  if (code == HC_ACTION && lp) {
    const auto* cwp = reinterpret_cast<const CWPSTRUCT*>(lp);
    if (stallMessage && cwp->message == stallMessage) {
      HANDLE map = nullptr;
      if (WatchHeader* head = OpenWatch(map)) {
        Stall(head);
        CloseWatch(head, map);
      }
    }
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

extern "C" __declspec(dllexport) LRESULT CALLBACK TzDriverProbeHook(int code, WPARAM wp, LPARAM lp) {
  static const UINT probeMessage = RegisterWindowMessageA(kProbeMessage);
  if (code == HC_ACTION && lp) {
    const auto* cwp = reinterpret_cast<const CWPSTRUCT*>(lp);
    if (probeMessage && cwp->message == probeMessage)
      HandleQuery(cwp->hwnd, static_cast<DWORD>(cwp->wParam), static_cast<DWORD>(cwp->lParam));
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}
