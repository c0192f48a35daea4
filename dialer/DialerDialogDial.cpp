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
  if (!m_dial.BeginDialCall()) return true;  // an attempt is already live
  RASDIALPARAMSA_400 params{};
  params.dwSize = sizeof(params);
  lstrcpynA(params.szEntryName, kEntryName, sizeof(params.szEntryName));
  lstrcpynA(params.szUserName, m_strUserName.c_str(), sizeof(params.szUserName));
  lstrcpynA(params.szPassword, m_strPassword.c_str(), sizeof(params.szPassword));
  // RAS writes the handle here, not into the shared state: a notification may have come
  // (and even ended the attempt) before RasDialA returns.
  HRASCONN conn = nullptr;
  DWORD rc = RasDialA(nullptr, nullptr, reinterpret_cast<LPRASDIALPARAMSA>(&params), 1,
                      reinterpret_cast<LPVOID>(&RasDialNotifier), &conn);
  SecureZeroMemory(params.szPassword, sizeof(params.szPassword));
  HRASCONN refused = m_dial.EndDialCall(conn, rc);
  if (rc == 0) return true;

  // RAS may have stored a handle before refusing: released, or Connect would find a stale
  // attempt and never dial again.
  if (refused != nullptr) m_dial.HangUp(refused);
  SetErrorText(rc, 0);
  ShowStatus(true);
  return false;
}

void DialerDialog::HangUp() {
  bool connected = false;
  HRASCONN conn = m_dial.TakeForCancel(connected);
  if (conn != nullptr) m_dial.HangUp(conn);
}

void DialerDialog::FinishAttempt() {
  CancelAfterClose();
  HangUp();  // a connection that is up stays up
  // Sent messages are still handled meanwhile, so that nothing waiting on this thread hangs.
  const DWORD start = GetTickCount();
  while (!m_dial.PortClosed() && GetTickCount() - start < DialState::kPortCloseWaitMs) {
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kPortPollMs, QS_SENDMESSAGE);
  }
}

void DialerDialog::AfterPortClosed(AfterClose action) {
  m_afterClose = action;
  if (m_hWnd != nullptr) SetTimer(m_hWnd, kPortTimerId, kPortPollMs, nullptr);
}

void DialerDialog::CancelAfterClose() {
  if (m_afterClose == AfterClose::kNothing) return;
  m_afterClose = AfterClose::kNothing;
  if (m_hWnd != nullptr) KillTimer(m_hWnd, kPortTimerId);
}

LRESULT DialerDialog::OnTimer(WPARAM wParam, LPARAM) {
  if (wParam != kPortTimerId) return Default();
  if (!m_dial.PortClosed()) return 0;
  KillTimer(m_hWnd, kPortTimerId);
  AfterClose action = m_afterClose;
  m_afterClose = AfterClose::kNothing;
  if (action == AfterClose::kDial) {
    if (!StartDial()) EnableInputs(TRUE);
  } else if (action == AfterClose::kEnd && !m_dial.AttemptLive()) {
    // An attempt started since (it cancels this end) is never left behind by it.
    EndDialog(IDCANCEL);
  }
  return 0;
}

void DialerDialog::EnableInputsAfterAttempt() {
  if (m_dial.AttemptLive() || m_afterClose == AfterClose::kDial) return;
  EnableInputs(TRUE);
}

LRESULT DialerDialog::OnShowState(WPARAM wParam, LPARAM lParam) {
  // Reported before Cancel and not shown by then: Cancel leaves the last text shown.
  const auto state = static_cast<RASCONNSTATE>(wParam);
  if (!m_dial.Cancelled(static_cast<DWORD>(lParam))) {
    SetStateText(state);
    ShowStatus(true);
    if (state == RASCS_Disconnected) EnableInputsAfterAttempt();
  }
  // The notifier plays the connection sound once this is shown (or dropped).
  if (state == RASCS_Connected && m_connectedShown != nullptr) SetEvent(m_connectedShown);
  return 0;
}

LRESULT DialerDialog::OnShowError(WPARAM wParam, LPARAM lParam) {
  SetErrorText(static_cast<DWORD>(wParam), static_cast<DWORD>(lParam));
  ShowStatus(false);
  EnableInputsAfterAttempt();
  return 0;
}

void DialerDialog::PostNotifierFailure(bool outOfMemory) {
  PostMessage(WM_DIALER_NOTIFIER_FAILED, outOfMemory ? 1 : 0, 0);
}

LRESULT DialerDialog::OnNotifierFailed(WPARAM wParam, LPARAM) {
  AfxMessageBox(wParam != 0 ? AFX_IDS_MEMORY_EXCEPTION : AFX_IDP_INTERNAL_FAILURE, MB_OK | MB_ICONEXCLAMATION);
  // The link came up but the notifier failed on its way out (credentials, sound): the dialer
  // ends as after any connection, leaving the line up.
  if (m_dial.Connected()) EndDialog(IDCANCEL);
  return 0;
}

LRESULT DialerDialog::OnQueryEndSession(WPARAM, LPARAM) { return TRUE; }

LRESULT DialerDialog::OnEndSession(WPARAM wParam, LPARAM) {
  if (wParam == FALSE) return 0;  // the end of the session was cancelled
  // Windows may end the process as soon as this returns: an attempt still dialling is hung
  // up and its port waited for now. A connection that is up stays up.
  FinishAttempt();
  EndDialog(IDCANCEL);
  return 0;
}

void DialerDialog::OnRasDialEvent(HRASCONN conn, UINT, RASCONNSTATE state, DWORD error, DWORD extendedError) {
  // Window calls from here would wait for the dialog's thread, which may itself be waiting in
  // RasHangUpA for this very call to return: each notification is posted to it with its own
  // state or error. Nothing here allocates before the hang-up, so the handle can never be left
  // behind by a failure; the handle to match is the one RAS passes, which may come before
  // RasDialA has written it back.
  if (error != 0 || state == RASCS_Disconnected) {
    // Whoever takes the handle hangs it up: Cancel and this notification never both do. A
    // dropped line is released as well, so that Connect dials again.
    const DWORD attempt = m_dial.TakeIf(conn);
    if (attempt == 0) return;
    m_dial.HangUp(conn);  // RAS allows the hang-up from inside the notifier
    if (error != 0) {
      PostMessage(WM_DIALER_SHOW_ERROR, error, static_cast<LPARAM>(extendedError));
    } else {
      PostMessage(WM_DIALER_SHOW_STATE, static_cast<WPARAM>(state), static_cast<LPARAM>(attempt));
    }
    return;
  }

  // Up is final: from here Cancel cannot hang the line up, so "Connected." stays true, and
  // the dialer ends once the sound has played whatever was pressed meanwhile. A Cancel that
  // came first has taken the handle: then this notification is stale.
  // Hung up already, or another attempt's handle: ignored.
  const DWORD attempt = state == RASCS_Connected ? m_dial.MarkConnectedIf(conn) : m_dial.IsCurrent(conn);
  if (attempt == 0) return;
  if (state == RASCS_Connected && m_connectedShown != nullptr) ResetEvent(m_connectedShown);
  PostMessage(WM_DIALER_SHOW_STATE, static_cast<WPARAM>(state), static_cast<LPARAM>(attempt));
  if (state != RASCS_Connected) return;

  SaveDialParams();
  LaunchRasMonitor();
  // The texts before it may still be on their way to the dialog (a slow machine): the sound
  // waits until "Connected." is shown. The line is up and Cancel no longer hangs it up, so the
  // dialog's thread never waits for this call meanwhile.
  if (m_connectedShown != nullptr) WaitForSingleObject(m_connectedShown, kConnectedShownWaitMs);
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
