// The program's icon in the notification area: shows, changes and removes it, and turns
// the mouse on it into commands for its window (a right click opens the platform's menu,
// a double click runs the menu's first command).
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <cstddef>
#include "Framework.h"

// NOTIFYICONDATAA in the layout with the 128-character tooltip (shell 5). Declared here
// because the system headers choose the layout by the target version.
struct TrayIconRecord {
  DWORD cbSize;
  HWND hWnd;
  UINT uID;
  UINT uFlags;
  UINT uCallbackMessage;
  HICON hIcon;
  CHAR szTip[128];
  DWORD dwState;
  DWORD dwStateMask;
  CHAR szInfo[256];
  UINT uTimeoutOrVersion;
  CHAR szInfoTitle[64];
  DWORD dwInfoFlags;
};
static_assert(sizeof(void*) != 4 || sizeof(TrayIconRecord) == 488, "the 488-byte layout on 32-bit Windows");
static_assert(sizeof(void*) != 4 || offsetof(TrayIconRecord, szTip) == 24);

class SYSTEM_TRAY_ICON : public CCmdTarget {
 public:
  SYSTEM_TRAY_ICON();
  // Removes a shown icon.
  ~SYSTEM_TRAY_ICON() override;

  BOOL Init(UINT iconId);
  void SetCallbackWindow(CWnd* wnd, UINT callbackMessage);
  // Shows or changes the icon from resource |id| (its tooltip from string |id|); 0 removes it.
  BOOL ShowResourceIcon(UINT id);
  // Shows the icon of resource |id| to a shell that may have forgotten it (it restarted, or
  // was not there yet): added afresh, or changed when the shell still has it.
  BOOL ShowAgain(UINT id);
  // The one place that talks to the shell. |tip|, when given, replaces the tooltip first.
  BOOL ApplyIcon(HICON icon, const char* tip = nullptr);
  // 1 when it showed the menu or sent a command, else 0.
  LRESULT HandleNotification(WPARAM wParam, LPARAM lParam);

  bool IsShown() const { return m_nid.hIcon != nullptr; }
  // Where the platform code is read when the icon is clicked: the application detects the
  // platform after the icon has appeared. Unset, or a platform without a menu: no menu.
  void SetPlatformSource(const int* platform) { m_pPlatform = platform; }

  TrayIconRecord m_nid;
  // The shell call (Shell_NotifyIconA); the icon's tests put a shell of their own here.
  using ShellNotifyFn = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAA);
  ShellNotifyFn m_pfnShellNotify;

  DECLARE_MESSAGE_MAP()

 private:
  const int* m_pPlatform = nullptr;
};
