// Dialling and hang-up: the asynchronous RasDialA, its notifier on RAS's thread, and what
// happens once the link is up.
#include <windows.h>
#include <mmsystem.h>

#include "CWinApp.h"
#include "CallGate.h"
#include "DialerDialog.h"
#include "DialerRas.h"
#include "MachineRegistry.h"
#include "resource.h"

DialerDialog* g_pDialerDialog = nullptr;

namespace {

// The dial lock: guards g_pDialerDialog, the count of notifier calls inside the dialog,
// m_hRasConn and m_strStatus. Held only for assignments to those; never across a window call
// or a RAS call, either of which may wait for the other thread. Never destroyed: a late RAS
// thread may still enter it while the process ends.
GateLock& DialLock() {
  static GateLock* lock = new GateLock();
  return *lock;
}

CallGate<DialerDialog>& DialerGate() {
  static CallGate<DialerDialog>* gate = new CallGate<DialerDialog>(g_pDialerDialog, DialLock());
  return *gate;
}

// Made before WinMain runs, so before any RAS thread exists.
CallGate<DialerDialog>& g_gateInit = DialerGate();

class Locked : public GateLocked {
 public:
  Locked() : GateLocked(DialLock()) {}
};

}  // namespace

void PublishDialerDialog(DialerDialog* dialog) { DialerGate().Open(dialog); }

DialerDialog* WithdrawDialerDialog() { return DialerGate().Close(); }

void WINAPI RasDialNotifier(HRASCONN conn, UINT message, RASCONNSTATE state, DWORD error, DWORD extendedError) {
  DialerDialog* dialog = DialerGate().Enter();
  if (dialog == nullptr) return;  // start-up not done, or the dialer is ending
  // RAS's thread must not see an exception; the gate is left in any case, or the dialog
  // could never close.
  try {
    dialog->OnRasDialEvent(conn, message, state, error, extendedError);
  } catch (...) {
    AfxReportCurrentException();
  }
  DialerGate().Leave();
}

HRASCONN DialerDialog::TakeRasConn() {
  Locked lock;
  HRASCONN conn = m_hRasConn;
  m_hRasConn = nullptr;
  return conn;
}

bool DialerDialog::TakeRasConnIf(HRASCONN conn) {
  Locked lock;
  if (conn == nullptr || m_hRasConn != conn) return false;
  m_hRasConn = nullptr;
  return true;
}

bool DialerDialog::IsCurrentRasConn(HRASCONN conn) {
  Locked lock;
  return conn != nullptr && m_hRasConn == conn;
}

bool DialerDialog::MarkConnectedIf(HRASCONN conn) {
  Locked lock;
  if (conn == nullptr || m_hRasConn != conn) return false;
  m_bConnected = true;
  return true;
}

HRASCONN DialerDialog::TakeRasConnForCancel(bool& connected) {
  Locked lock;
  connected = m_bConnected;
  if (connected) return nullptr;
  HRASCONN conn = m_hRasConn;
  m_hRasConn = nullptr;
  return conn;
}

void DialerDialog::SetStatus(const std::string& text) {
  Locked lock;
  m_strStatus = text;
}

std::string DialerDialog::StatusCopy() {
  Locked lock;
  return m_strStatus;
}

void DialerDialog::ShowStatus(bool invalidate) {
  HWND status = GetDlgItem(IDC_STATUS);
  if (status == nullptr) return;  // the window is gone: nothing to show
  if (invalidate) ::InvalidateRect(status, nullptr, TRUE);
  ::SetWindowTextA(status, StatusCopy().c_str());
}

bool DialerDialog::StartDial() {
  {
    Locked lock;
    if (m_hRasConn != nullptr) return true;  // an attempt is already live
  }
  RASDIALPARAMSA_400 params{};
  params.dwSize = sizeof(params);
  lstrcpynA(params.szEntryName, kEntryName, sizeof(params.szEntryName));
  lstrcpynA(params.szUserName, m_strUserName.c_str(), sizeof(params.szUserName));
  lstrcpynA(params.szPassword, m_strPassword.c_str(), sizeof(params.szPassword));
  // RAS stores the handle through the pointer before it reports the first state, so the
  // notifier finds it in m_hRasConn.
  DWORD rc = RasDialA(nullptr, nullptr, reinterpret_cast<LPRASDIALPARAMSA>(&params), 1,
                      reinterpret_cast<LPVOID>(&RasDialNotifier), &m_hRasConn);
  SecureZeroMemory(params.szPassword, sizeof(params.szPassword));
  if (rc == 0) return true;

  // RAS may have stored a handle before refusing: release it, or Connect would find a stale
  // attempt and never dial again.
  HRASCONN stale = TakeRasConn();
  if (stale != nullptr) HangUpAndWatch(stale);
  SetErrorText(rc, 0);
  ShowStatus(true);
  return false;
}

void DialerDialog::HangUp() {
  HRASCONN conn = TakeRasConn();
  if (conn != nullptr) HangUpAndWatch(conn);
}

void DialerDialog::HangUpAndWatch(HRASCONN conn) {
  RasHangUpA(conn);
  Locked lock;
  m_hClosingConn = conn;
  m_closingSince = GetTickCount();
}

bool DialerDialog::PortClosed() {
  HRASCONN conn;
  DWORD since;
  {
    Locked lock;
    conn = m_hClosingConn;
    since = m_closingSince;
  }
  if (conn == nullptr) return true;
  // RAS forgets the handle once the port is closed; a RAS that never does is not waited for
  // longer than the documented pause.
  bool closed = GetTickCount() - since >= kPortCloseWaitMs;
  if (!closed) {
    RASCONNSTATUSA_400 status{};
    status.dwSize = sizeof(status);
    closed = RasGetConnectStatusA(conn, reinterpret_cast<LPRASCONNSTATUSA>(&status)) == ERROR_INVALID_HANDLE;
  }
  if (!closed) return false;
  Locked lock;
  if (m_hClosingConn == conn) m_hClosingConn = nullptr;
  return true;
}

void DialerDialog::AfterPortClosed(AfterClose action) {
  m_afterClose = action;
  SetTimer(m_hWnd, kPortTimerId, kPortPollMs, nullptr);
}

LRESULT DialerDialog::OnTimer(WPARAM wParam, LPARAM) {
  if (wParam != kPortTimerId) return Default();
  if (!PortClosed()) return 0;
  KillTimer(m_hWnd, kPortTimerId);
  AfterClose action = m_afterClose;
  m_afterClose = AfterClose::kNothing;
  if (action == AfterClose::kDial) {
    if (!StartDial()) EnableInputs(TRUE);
  } else if (action == AfterClose::kEnd) {
    EndDialog(IDCANCEL);
  }
  return 0;
}

void DialerDialog::PostShowStatus(WPARAM what) { PostMessage(WM_DIALER_SHOW_STATUS, what, 0); }

LRESULT DialerDialog::OnShowStatus(WPARAM wParam, LPARAM) {
  ShowStatus((wParam & kShowInvalidate) != 0);
  if ((wParam & kShowEnableInputs) != 0) EnableInputs(TRUE);
  return 0;
}

void DialerDialog::OnRasDialEvent(HRASCONN conn, UINT, RASCONNSTATE state, DWORD error, DWORD extendedError) {
  // Window calls from here would wait for the dialog's thread, which may itself be waiting in
  // RasHangUpA for this very call to return: the dialog's window work is posted to it.
  if (error != 0) {
    // Whoever takes the handle hangs it up: Cancel and this notification never both do.
    if (!TakeRasConnIf(conn)) return;
    SetErrorText(error, extendedError);
    PostShowStatus(0);
    HangUpAndWatch(conn);  // RAS allows the hang-up from inside the notifier
    PostShowStatus(kShowEnableInputs);
    return;
  }
  if (!IsCurrentRasConn(conn)) return;  // hung up already, or another attempt's handle

  if (state == RASCS_Disconnected) {
    // The line dropped: release the handle as well, so that Connect dials again.
    if (!TakeRasConnIf(conn)) return;
    SetStateText(state);
    PostShowStatus(kShowInvalidate);
    HangUpAndWatch(conn);
    PostShowStatus(kShowEnableInputs);
    return;
  }

  // Up is final: from here Cancel cannot hang the line up, so "Connected." stays true, and
  // the dialer ends once the sound has played whatever was pressed meanwhile. A Cancel that
  // came first has taken the handle: then this notification is stale.
  if (state == RASCS_Connected && !MarkConnectedIf(conn)) return;
  SetStateText(state);
  PostShowStatus(kShowInvalidate);
  if (state != RASCS_Connected) return;

  SaveDialParams();
  LaunchRasMonitor();
  PlayConnectSound();
  PostMessage(WM_DIALER_CONNECTED, 0, 0);
}

void DialerDialog::LaunchRasMonitor() {
  OSVERSIONINFOA version;
  ZeroMemory(&version, sizeof(version));
  version.dwOSVersionInfoSize = sizeof(version);
  static_assert(sizeof(OSVERSIONINFOA) == 148);
  if (!GetVersionExA(&version)) return;
  if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) WinExec("RASMON.EXE", SW_SHOW);
}

void DialerDialog::PlayConnectSound() {
  std::string file;
  if (!ReadMachineString(kMachineSettingsKey, "SoundFile", file) || file.empty()) return;
  // Synchronous: the status line shows "Connected." while the sound plays.
  if (!sndPlaySoundA(file.c_str(), SND_NODEFAULT | SND_SYNC)) MessageBeep(MB_ICONEXCLAMATION);
}
