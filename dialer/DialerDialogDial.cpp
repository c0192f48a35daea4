// Dialling and hang-up: the asynchronous RasDialA, what its notifications do on RAS's thread,
// and what happens once the link is up.
#include <windows.h>
#include <mmsystem.h>

#include "CWinApp.h"
#include "DialerDialog.h"
#include "DialerRas.h"
#include "MachineRegistry.h"
#include "resource.h"

void DialerDialog::ShowStatus(bool invalidate) {
  HWND status = GetDlgItem(IDC_STATUS);
  if (status == nullptr) return;  // the window is gone: nothing to show
  if (invalidate) ::InvalidateRect(status, nullptr, TRUE);
  ::SetWindowTextA(status, m_dial.StatusCopy().c_str());
}

bool DialerDialog::StartDial() {
  HRASCONN* target = m_dial.DialTarget();
  if (target == nullptr) return true;  // an attempt is already live
  RASDIALPARAMSA_400 params{};
  params.dwSize = sizeof(params);
  lstrcpynA(params.szEntryName, kEntryName, sizeof(params.szEntryName));
  lstrcpynA(params.szUserName, m_strUserName.c_str(), sizeof(params.szUserName));
  lstrcpynA(params.szPassword, m_strPassword.c_str(), sizeof(params.szPassword));
  DWORD rc = RasDialA(nullptr, nullptr, reinterpret_cast<LPRASDIALPARAMSA>(&params), 1,
                      reinterpret_cast<LPVOID>(&RasDialNotifier), target);
  SecureZeroMemory(params.szPassword, sizeof(params.szPassword));
  if (rc == 0) return true;

  // RAS may have stored a handle before refusing: release it, or Connect would find a stale
  // attempt and never dial again.
  HangUp();
  SetErrorText(rc, 0);
  ShowStatus(true);
  return false;
}

void DialerDialog::HangUp() {
  HRASCONN conn = m_dial.Take();
  if (conn != nullptr) m_dial.HangUp(conn);
}

void DialerDialog::AfterPortClosed(AfterClose action) {
  m_afterClose = action;
  SetTimer(m_hWnd, kPortTimerId, kPortPollMs, nullptr);
}

LRESULT DialerDialog::OnTimer(WPARAM wParam, LPARAM) {
  if (wParam != kPortTimerId) return Default();
  if (!m_dial.PortClosed()) return 0;
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
    if (!m_dial.TakeIf(conn)) return;
    SetErrorText(error, extendedError);
    PostShowStatus(0);
    m_dial.HangUp(conn);  // RAS allows the hang-up from inside the notifier
    PostShowStatus(kShowEnableInputs);
    return;
  }
  if (!m_dial.IsCurrent(conn)) return;  // hung up already, or another attempt's handle

  if (state == RASCS_Disconnected) {
    // The line dropped: release the handle as well, so that Connect dials again.
    if (!m_dial.TakeIf(conn)) return;
    SetStateText(state);
    PostShowStatus(kShowInvalidate);
    m_dial.HangUp(conn);
    PostShowStatus(kShowEnableInputs);
    return;
  }

  // Up is final: from here Cancel cannot hang the line up, so "Connected." stays true, and
  // the dialer ends once the sound has played whatever was pressed meanwhile. A Cancel that
  // came first has taken the handle: then this notification is stale.
  if (state == RASCS_Connected && !m_dial.MarkConnectedIf(conn)) return;
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
