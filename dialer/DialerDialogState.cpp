// What the dialog's thread and RAS's thread share: the gate through which RAS's notifier
// reaches the dialog, and the dial state behind the same lock.
#include <windows.h>

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
  // could never close.
  try {
    dialog->OnRasDialEvent(conn, message, state, error, extendedError);
  } catch (...) {
    AfxReportCurrentException();
  }
  DialerGate().Leave();
}

HRASCONN* DialerDialog::DialState::DialTarget() {
  Locked lock;
  return m_hRasConn == nullptr ? &m_hRasConn : nullptr;
}

HRASCONN DialerDialog::DialState::Take() {
  Locked lock;
  HRASCONN conn = m_hRasConn;
  m_hRasConn = nullptr;
  return conn;
}

bool DialerDialog::DialState::TakeIf(HRASCONN conn) {
  Locked lock;
  if (conn == nullptr || m_hRasConn != conn) return false;
  m_hRasConn = nullptr;
  return true;
}

bool DialerDialog::DialState::IsCurrent(HRASCONN conn) {
  Locked lock;
  return conn != nullptr && m_hRasConn == conn;
}

bool DialerDialog::DialState::MarkConnectedIf(HRASCONN conn) {
  Locked lock;
  if (conn == nullptr || m_hRasConn != conn) return false;
  m_bConnected = true;
  return true;
}

HRASCONN DialerDialog::DialState::TakeForCancel(bool& connected) {
  Locked lock;
  connected = m_bConnected;
  if (connected) return nullptr;
  HRASCONN conn = m_hRasConn;
  m_hRasConn = nullptr;
  return conn;
}

void DialerDialog::DialState::HangUp(HRASCONN conn) {
  RasHangUpA(conn);
  Locked lock;
  m_hClosingConn = conn;
  m_closingSince = GetTickCount();
}

bool DialerDialog::DialState::PortClosed() {
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

void DialerDialog::DialState::SetStatus(const std::string& text) {
  Locked lock;
  m_strStatus = text;
}

std::string DialerDialog::DialState::StatusCopy() {
  Locked lock;
  return m_strStatus;
}
