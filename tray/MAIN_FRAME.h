// The tray program's main window. Never shown: created minimised through the document
// template and hidden at once, it owns the notification-area icon, carries out the icon
// menu's commands, polls the registry for a web address to open, and ties the protocol
// components to the Windows log-on.
#pragma once
#include <windows.h>
#include "Framework.h"
#include "SYSTEM_TRAY_ICON.h"

class SERVICE_NAME_DIALOG;

constexpr UINT WM_TRAY_NOTIFY = WM_USER;  // callback message of the icon
constexpr UINT ID_URL_TIMER = 1002;
constexpr UINT kDefaultUrlPeriodMs = 5000;
// The shell's registered message "TaskbarCreated", sent to every top-level window when the
// taskbar is created (at log-on, or after Explorer restarted).
UINT TaskbarCreatedMessage();
constexpr DWORD kMainFrameStyle = 0x20CF0000;  // WS_OVERLAPPEDWINDOW | WS_MINIMIZE
static_assert(kMainFrameStyle == (WS_OVERLAPPEDWINDOW | WS_MINIMIZE));

class MAIN_FRAME : public CFrameWnd {
  DECLARE_DYNCREATE(MAIN_FRAME)

 public:
  MAIN_FRAME() = default;
  ~MAIN_FRAME() override;

  BOOL PreCreateWindow(CREATESTRUCTA& cs) override;

  SYSTEM_TRAY_ICON m_trayIcon;
  SERVICE_NAME_DIALOG* m_pServiceNameDialog = nullptr;  // owned while the dialog is open
  UINT m_nURLTimer = 0;
  bool m_bWantTrayIcon = false;  // ShowSysTrayIcon asked for the icon at creation

  DECLARE_MESSAGE_MAP()

 protected:
  LRESULT OnCreate(WPARAM wParam, LPARAM lParam);
  LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
  LRESULT OnTaskbarCreated(WPARAM wParam, LPARAM lParam);
  void OnShutdown();
  LRESULT OnTimer(WPARAM wParam, LPARAM lParam);
  void OnCloseApp();
  void OnHelp();
  void OnWebProduct();
  void OnWebNews();
  void OnWebHome();
  void OnServiceName();
  LRESULT OnQueryEndSession(WPARAM wParam, LPARAM lParam);
  LRESULT OnEndSession(WPARAM wParam, LPARAM lParam);
  LRESULT OnQueryOpen(WPARAM wParam, LPARAM lParam);
  void OnStatus();

 private:
  void OpenWebPage(UINT idString);
};
