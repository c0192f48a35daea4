#include "SYSTEM_TRAY_ICON.h"

#include <cstring>

#include "StartupRules.h"
#include "res/resource.h"

BEGIN_MESSAGE_MAP(SYSTEM_TRAY_ICON, CCmdTarget)
END_MESSAGE_MAP()

SYSTEM_TRAY_ICON::SYSTEM_TRAY_ICON() : m_pfnShellNotify(&Shell_NotifyIconA) { std::memset(&m_nid, 0, sizeof(m_nid)); }

SYSTEM_TRAY_ICON::~SYSTEM_TRAY_ICON() { ShowResourceIcon(0); }

BOOL SYSTEM_TRAY_ICON::Init(UINT iconId) {
  std::memset(&m_nid, 0, sizeof(m_nid));
  m_nid.cbSize = sizeof(m_nid);
  m_nid.uID = iconId;
  std::string tip = fw::LoadStr(iconId, AfxGetResourceHandle());
  if (!tip.empty()) lstrcpynA(m_nid.szTip, tip.c_str(), sizeof(m_nid.szTip));
  return TRUE;
}

void SYSTEM_TRAY_ICON::SetCallbackWindow(CWnd* wnd, UINT callbackMessage) {
  m_nid.hWnd = wnd ? wnd->m_hWnd : nullptr;
  m_nid.uCallbackMessage = callbackMessage;
}

BOOL SYSTEM_TRAY_ICON::ShowResourceIcon(UINT id) {
  HICON icon = nullptr;
  if (id != 0) {
    std::string tip = fw::LoadStr(id, AfxGetResourceHandle());
    if (!tip.empty()) lstrcpynA(m_nid.szTip, tip.c_str(), sizeof(m_nid.szTip));
    icon = LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(id));
  }
  return ApplyIcon(icon, nullptr);
}

BOOL SYSTEM_TRAY_ICON::ApplyIcon(HICON icon, const char* tip) {
  m_nid.uFlags = 0;
  DWORD operation;
  if (icon != nullptr) {
    operation = m_nid.hIcon != nullptr ? NIM_MODIFY : NIM_ADD;
    m_nid.hIcon = icon;
    m_nid.uFlags = NIF_ICON;
  } else {
    if (m_nid.hIcon == nullptr) return TRUE;  // nothing shown, nothing to remove
    operation = NIM_DELETE;
  }
  if (tip != nullptr) lstrcpynA(m_nid.szTip, tip, sizeof(m_nid.szTip));
  if (m_nid.szTip[0] != 0) m_nid.uFlags |= NIF_TIP;
  if (m_nid.uCallbackMessage != 0 && m_nid.hWnd != nullptr) m_nid.uFlags |= NIF_MESSAGE;
  BOOL ok = m_pfnShellNotify(operation, reinterpret_cast<NOTIFYICONDATAA*>(&m_nid));
  // After a failed add or change the icon counts as not shown: the next one adds it anew.
  if (operation == NIM_DELETE || !ok) m_nid.hIcon = nullptr;
  return ok ? TRUE : FALSE;
}

BOOL SYSTEM_TRAY_ICON::ShowAgain(UINT id) {
  // A restarted shell has forgotten the icon that this object still counts as shown: add it.
  m_nid.hIcon = nullptr;
  if (ShowResourceIcon(id)) return TRUE;
  // Refused: the shell may still hold it (the message came without a restart, or an earlier
  // add timed out but went through), and then takes it as a change. Otherwise it stays not
  // shown and the next try adds it.
  HICON icon = LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(id));
  if (icon == nullptr) return FALSE;
  m_nid.hIcon = icon;
  return ApplyIcon(icon, nullptr);
}

LRESULT SYSTEM_TRAY_ICON::HandleNotification(WPARAM wParam, LPARAM lParam) {
  if (wParam != m_nid.uID || (lParam != WM_RBUTTONUP && lParam != WM_LBUTTONDBLCLK)) return 0;
  // An icon that was never set up has no window to show a menu for or send a command to.
  if (m_nid.hWnd == nullptr) return 0;
  UINT menuId;
  switch (m_pPlatform != nullptr ? *m_pPlatform : kPlatformUnknown) {
    case kPlatformWin9x:
      menuId = IDR_TRAY_MENU_9X;
      break;
    case kPlatformNT4:
    case kPlatformNT5:
      menuId = IDR_TRAY_MENU_NT;
      break;
    default:
      return 0;
  }
  HMENU menu = LoadMenuA(AfxGetResourceHandle(), MAKEINTRESOURCEA(menuId));
  if (menu == nullptr) return 0;
  HMENU popup = GetSubMenu(menu, 0);
  if (popup == nullptr) {
    DestroyMenu(menu);
    return 0;
  }
  // The window handle is copied: the command below may close the frame that holds this
  // object (which then lives on until the frame's handler returns).
  HWND owner = m_nid.hWnd;
  if (lParam == WM_RBUTTONUP) {
    SetMenuDefaultItem(popup, 0, TRUE);
    POINT pt{};
    GetCursorPos(&pt);
    // Without the foreground the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(owner);
    TrackPopupMenu(popup, 0, pt.x, pt.y, 0, owner, nullptr);
    // Windows requires a message to the owner after the menu of a notification icon has
    // closed (TrackPopupMenu remarks, Q135788); without it the next menu opens and closes at
    // once.
    PostMessageA(owner, WM_NULL, 0, 0);
  } else {
    SetForegroundWindow(owner);
    SendMessageA(owner, WM_COMMAND, GetMenuItemID(popup, 0), 0);
  }
  DestroyMenu(menu);
  return 1;
}
