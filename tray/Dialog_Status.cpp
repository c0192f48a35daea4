#include "Dialog_Status.h"

#include <cstdlib>
#include <string>

#include "res/resource.h"

BEGIN_MESSAGE_MAP(Dialog_Status, CDialog)
  ON_MESSAGE(WM_CREATE, &Dialog_Status::OnCreate)
  ON_MESSAGE(WM_TIMER, &Dialog_Status::OnTimer)
  ON_MESSAGE(WM_DESTROY, &Dialog_Status::OnDestroy)
END_MESSAGE_MAP()

Dialog_Status::Dialog_Status(CWnd* parent) : CDialog(IDD_STATUS, parent) {}

void Dialog_Status::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Text(dx, IDC_STATUS_TIMER, m_strTimer);
}

LRESULT Dialog_Status::OnCreate(WPARAM, LPARAM) {
  if (Default() == -1) return -1;
  SetTimer(m_hWnd, ID_STATUS_TIMER, 1000, nullptr);
  return 0;
}

LRESULT Dialog_Status::OnTimer(WPARAM wParam, LPARAM) {
  if (wParam == ID_STATUS_TIMER) {
    // The shown count, read by the C library's rules (leading blanks, sign, digits), plus one.
    long count = std::strtol(m_strTimer.c_str(), nullptr, 10);
    if (count < 0 || count >= 0x7FFFFFFFL) count = 0;
    m_strTimer = std::to_string(count + 1);
    UpdateData(false);
  }
  return Default();
}

LRESULT Dialog_Status::OnDestroy(WPARAM, LPARAM) {
  LRESULT result = Default();
  KillTimer(m_hWnd, ID_STATUS_TIMER);
  return result;
}
