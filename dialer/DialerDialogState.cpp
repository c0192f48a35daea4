// What the dialog's thread and RAS's thread share: the gate through which RAS's notifier
// reaches the dialog, and the dial state behind the same lock.
#include <windows.h>

#include <new>

#include "CWinApp.h"
#include "CallGate.h"
#include "DialerDialog.h"
#include "DialerRas.h"

DialerDialog* g_pDialerDialog = nullptr;

namespace {

// The dial lock: guards g_pDialerDialog, the count of notifier calls inside the dialog and
// the dialog's DialState. Held only for assignments to those; never across a window call or a
// RAS call, either of which may wait for the other thread. Never destroyed: a late RAS thread
// may still enter it while the process ends.
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
  // could never close. The failure is reported by the dialog's own thread: a message box
  // from here would be owned by a window of that thread and wait for it.
  try {
    dialog->OnRasDialEvent(conn, message, state, error, extendedError);
  } catch (const std::bad_alloc&) {
    dialog->PostNotifierFailure(true);
  } catch (...) {
    dialog->PostNotifierFailure(false);
  }
  DialerGate().Leave();
}

bool DialerDialog::DialState::HungUpLocked(HRASCONN conn) const {
  for (HRASCONN h : m_hungUp)
    if (h == conn) return true;
  return false;
}

bool DialerDialog::DialState::MatchLocked(HRASCONN conn) {
  if (conn == nullptr) return false;
  if (m_hRasConn == conn) return true;
  // RasDialA still runs: the first handle RAS notifies about is this attempt's, unless it is
  // one hung up before (its late notifications) or the attempt has already ended.
  if (m_bInDialCall && m_hRasConn == nullptr && !m_bTakenInDialCall && !HungUpLocked(conn)) {
    m_hRasConn = conn;
    return true;
  }
  return false;
}

void DialerDialog::DialState::TakeLocked() {
  m_hClosingConn = m_hRasConn;
  m_bHangUpInProgress = true;
  m_closingSince = GetTickCount();
  m_hungUp[m_nextHungUp] = m_hRasConn;
  m_nextHungUp = (m_nextHungUp + 1) % kHungUpKept;
  if (m_bInDialCall) m_bTakenInDialCall = true;
  m_hRasConn = nullptr;
}

bool DialerDialog::DialState::BeginDialCall() {
  Locked lock;
  if (m_hRasConn != nullptr || m_bInDialCall) return false;
  m_bInDialCall = true;
  m_bTakenInDialCall = false;
  ++m_nAttempt;
  return true;
}

HRASCONN DialerDialog::DialState::EndDialCall(HRASCONN conn, DWORD rc) {
  Locked lock;
  m_bInDialCall = false;
  const bool taken = m_bTakenInDialCall;
  m_bTakenInDialCall = false;
  if (conn == nullptr || HungUpLocked(conn) || taken) return nullptr;  // nothing (more) to keep
  if (m_hRasConn == nullptr) m_hRasConn = conn;
  if (rc == 0 || m_hRasConn != conn) return nullptr;
  // Refused, with a handle stored: released, or Connect would find a stale attempt.
  TakeLocked();
  return conn;
}

DWORD DialerDialog::DialState::TakeIf(HRASCONN conn) {
  Locked lock;
  if (!MatchLocked(conn)) return 0;
  TakeLocked();
  return m_nAttempt;
}

DWORD DialerDialog::DialState::IsCurrent(HRASCONN conn) {
  Locked lock;
  return MatchLocked(conn) ? m_nAttempt : 0;
}

DWORD DialerDialog::DialState::MarkConnectedIf(HRASCONN conn) {
  Locked lock;
  if (!MatchLocked(conn)) return 0;
  m_bConnected = true;
  return m_nAttempt;
}

bool DialerDialog::DialState::Cancelled(DWORD attempt) {
  Locked lock;
  return attempt == m_nCancelled;
}

HRASCONN DialerDialog::DialState::TakeForCancel(bool& connected) {
  Locked lock;
  connected = m_bConnected;
  if (connected || m_hRasConn == nullptr) return nullptr;
  HRASCONN conn = m_hRasConn;
  TakeLocked();
  m_nCancelled = m_nAttempt;
  return conn;
}

void DialerDialog::DialState::HangUp(HRASCONN conn) {
  RasHangUpA(conn);
  Locked lock;
  if (m_hClosingConn == conn) {
    m_bHangUpInProgress = false;
    m_closingSince = GetTickCount();
  }
}

bool DialerDialog::DialState::PortClosed() {
  HRASCONN conn;
  DWORD since;
  {
    Locked lock;
    if (m_bHangUpInProgress) return false;
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
  if (m_hClosingConn == conn && !m_bHangUpInProgress) m_hClosingConn = nullptr;
  return true;
}

bool DialerDialog::DialState::AttemptLive() {
  Locked lock;
  return m_hRasConn != nullptr || m_bInDialCall;
}

bool DialerDialog::DialState::Connected() {
  Locked lock;
  return m_bConnected;
}

void DialerDialog::DialState::SetStatus(const std::string& text) {
  Locked lock;
  m_strStatus = text;
}

std::string DialerDialog::DialState::StatusCopy() {
  Locked lock;
  return m_strStatus;
}
