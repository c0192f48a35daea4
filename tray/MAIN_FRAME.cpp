#include "MAIN_FRAME.h"

#include <shellapi.h>

#include <new>
#include <string>

#include "CORVANE.h"
#include "Dialog_Status.h"
#include "SERVICE_NAME_DIALOG.h"
#include "SettingsStore.h"
#include "StartupRules.h"
#include "res/resource.h"

IMPLEMENT_DYNCREATE(MAIN_FRAME)

namespace {
const char kHelpFile[] = "ZnSetup.hlp";
}

UINT TaskbarCreatedMessage() {
  // Registration cannot fail in practice; if it did, 0 would bind WM_NULL, so a value that no
  // message carries stands in.
  static const UINT message = [] {
    UINT m = RegisterWindowMessageA("TaskbarCreated");
    return m != 0 ? m : 0xFFFFFFFFu;
  }();
  return message;
}

BEGIN_MESSAGE_MAP(MAIN_FRAME, CFrameWnd)
  ON_MESSAGE(WM_CREATE, &MAIN_FRAME::OnCreate)
  ON_MESSAGE(WM_TRAY_NOTIFY, &MAIN_FRAME::OnTrayNotify)
  ON_MESSAGE(TaskbarCreatedMessage(), &MAIN_FRAME::OnTaskbarCreated)
  ON_COMMAND(ID_SHUTDOWN, &MAIN_FRAME::OnShutdown)
  ON_MESSAGE(WM_TIMER, &MAIN_FRAME::OnTimer)
  ON_COMMAND(ID_CLOSE_APP, &MAIN_FRAME::OnCloseApp)
  ON_COMMAND(ID_TRAY_HELP, &MAIN_FRAME::OnHelp)
  ON_COMMAND(ID_WEB_PRODUCT, &MAIN_FRAME::OnWebProduct)
  ON_COMMAND(ID_WEB_NEWS, &MAIN_FRAME::OnWebNews)
  ON_COMMAND(ID_WEB_HOME, &MAIN_FRAME::OnWebHome)
  ON_COMMAND(ID_SERVICE_NAME, &MAIN_FRAME::OnServiceName)
  ON_MESSAGE(WM_QUERYENDSESSION, &MAIN_FRAME::OnQueryEndSession)
  ON_MESSAGE(WM_ENDSESSION, &MAIN_FRAME::OnEndSession)
  ON_MESSAGE(WM_QUERYOPEN, &MAIN_FRAME::OnQueryOpen)
  ON_COMMAND(ID_STATUS, &MAIN_FRAME::OnStatus)
END_MESSAGE_MAP()

MAIN_FRAME::~MAIN_FRAME() {
  // Normally the command that opened the dialog has ended it by now (the window system
  // destroyed it with its owner, this frame); this covers a frame torn down otherwise.
  if (m_pServiceNameDialog != nullptr) {
    m_pServiceNameDialog->DestroyWindow();
    delete m_pServiceNameDialog;
    m_pServiceNameDialog = nullptr;
  }
  // m_trayIcon goes next (members after the body): it removes the icon.
}

BOOL MAIN_FRAME::PreCreateWindow(CREATESTRUCTA& cs) {
  // Minimised and without the document's name in the caption; the application hides it.
  cs.style = kMainFrameStyle;
  return CFrameWnd::PreCreateWindow(cs);
}

LRESULT MAIN_FRAME::OnCreate(WPARAM wParam, LPARAM lParam) {
  if (CFrameWnd::OnCreate(wParam, lParam) == -1) return -1;

  std::string show;
  ReadRegistryString(settings::kTrayKey, "ShowSysTrayIcon", show);
  m_bWantTrayIcon = show == "Yes";
  if (m_bWantTrayIcon) {
    m_trayIcon.Init(ID_TRAY_ICON);
    m_trayIcon.SetCallbackWindow(this, WM_TRAY_NOTIFY);
    m_trayIcon.SetPlatformSource(&theApp.m_nPlatform);
    m_trayIcon.ShowResourceIcon(IDI_TRAY);
  }

  std::string period;
  ReadRegistryString(settings::kAppKey, "URLTimerPeriod", period);
  m_nURLTimer = static_cast<UINT>(SetTimer(m_hWnd, ID_URL_TIMER, UrlPollPeriodFrom(period), nullptr));
  return 0;
}

LRESULT MAIN_FRAME::OnTrayNotify(WPARAM wParam, LPARAM lParam) {
  return m_trayIcon.HandleNotification(wParam, lParam);
}

LRESULT MAIN_FRAME::OnTaskbarCreated(WPARAM, LPARAM) {
  // A new taskbar knows no icons: ours goes back, whether it was shown or its add had failed.
  if (m_bWantTrayIcon) m_trayIcon.ShowAgain(IDI_TRAY);
  return 0;
}

void MAIN_FRAME::OnShutdown() {
  // Synchronous: the frame is closed when this returns.
  ::SendMessageA(m_hWnd, WM_CLOSE, 0, 0);
}

void MAIN_FRAME::OnCloseApp() {
  // Asynchronous: the frame closes after the command has returned.
  ::PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
}

LRESULT MAIN_FRAME::OnTimer(WPARAM wParam, LPARAM) {
  if (wParam != m_nURLTimer) return 0;
  // Shells without the "TaskbarCreated" message (Windows 95 and NT 4 without the Internet
  // Explorer 4 desktop) never say when the taskbar appears: an add that failed is tried again.
  if (m_bWantTrayIcon && !m_trayIcon.IsShown()) m_trayIcon.ShowAgain(IDI_TRAY);
  std::string address;
  ReadRegistryString(settings::kPoEKey, "URLToLaunch", address);
  if (address.empty()) return 0;
  // Deleted before the shell is asked: each address is opened at most once, even when
  // opening fails.
  DeleteRegistryValue(settings::kPoEKey, "URLToLaunch");
  ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, SW_SHOW);
  return 0;
}

void MAIN_FRAME::OnHelp() { ::WinHelpA(m_hWnd, kHelpFile, HELP_FINDER, 0); }

void MAIN_FRAME::OpenWebPage(UINT idString) {
  std::string address = fw::LoadStr(idString);
  if (!address.empty()) ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, SW_SHOW);
}

void MAIN_FRAME::OnWebProduct() { OpenWebPage(IDS_URL_PRODUCT); }
void MAIN_FRAME::OnWebNews() { OpenWebPage(IDS_URL_NEWS); }
void MAIN_FRAME::OnWebHome() { OpenWebPage(IDS_URL_HOME); }

void MAIN_FRAME::OnServiceName() {
  if (m_pServiceNameDialog != nullptr) {
    // The command came again from the icon's menu while the dialog runs.
    SetForegroundWindow(m_pServiceNameDialog->m_hWnd);
    return;
  }
  // Running out of memory while the dialog runs is reported by the framework and ends the
  // dialog (SERVICE_NAME_DIALOG::OnHandlerException); here only the allocation can fail.
  try {
    m_pServiceNameDialog = new SERVICE_NAME_DIALOG(nullptr);
    m_pServiceNameDialog->DoModal();
  } catch (...) {
    AfxReportCurrentException();
  }
  // If Shutdown ran inside the dialog's loop, the dialog's window went with this frame's
  // window; this object stays until this handler has returned, so the dialog object is
  // released here, once.
  delete m_pServiceNameDialog;
  m_pServiceNameDialog = nullptr;
}

void MAIN_FRAME::OnStatus() {
  Dialog_Status dlg(nullptr);
  dlg.m_strTimer = "0";
  dlg.DoModal();
}

LRESULT MAIN_FRAME::OnQueryEndSession(WPARAM wParam, LPARAM lParam) {
  // Unload as soon as Windows asks, even if the ending is cancelled later.
  theApp.UnloadComponents();
  return CFrameWnd::OnQueryEndSession(wParam, lParam) ? TRUE : FALSE;
}

LRESULT MAIN_FRAME::OnEndSession(WPARAM wParam, LPARAM lParam) {
  CFrameWnd::OnEndSession(wParam, lParam);
  if (wParam) {
    theApp.UnloadComponents();
  } else {
    theApp.LoadComponents();  // another program cancelled the ending
  }
  return 0;
}

LRESULT MAIN_FRAME::OnQueryOpen(WPARAM, LPARAM) { return FALSE; }
