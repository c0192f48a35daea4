#include "CDialog.h"

#include "CWinApp.h"

CDialog::CDialog(UINT idTemplate, CWnd* parent) : m_nIDTemplate(idTemplate), m_pParentWnd(parent) {}

INT_PTR CALLBACK CDialog::DialogProc(HWND, UINT msg, WPARAM, LPARAM) {
  // Everything is handled by the subclassed window procedure; the system's dialog procedure
  // only needs to accept initialisation.
  return msg == WM_INITDIALOG ? TRUE : FALSE;
}

INT_PTR CDialog::DoModal() {
  HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  if (owner == nullptr) {
    CWinApp* app = AfxGetApp();
    if (app != nullptr && app->m_pMainWnd != nullptr && app->m_pMainWnd != this) {
      owner = app->m_pMainWnd->m_hWnd;
    }
  }
  HINSTANCE inst = AfxGetResourceHandle();
  // The creation hook goes however the dialog ends.
  struct Unhook {
    ~Unhook() { UnhookWindowCreate(); }
  } unhook;
  HookWindowCreate(this);
  return DialogBoxParamA(inst, MAKEINTRESOURCEA(m_nIDTemplate), owner, &CDialog::DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(int result) {
  if (m_hWnd != nullptr) ::EndDialog(m_hWnd, result);
}

BOOL CDialog::OnInitDialog() {
  UpdateData(false);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(true)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::DoDataExchange(CDataExchange*) {}

bool CDialog::UpdateData(bool saveAndValidate) {
  if (m_hWnd == nullptr) return false;
  CDataExchange dx(this, saveAndValidate);
  struct Writing {
    int& count;
    bool on;
    ~Writing() { if (on) --count; }
  } writing{m_nWriting, !saveAndValidate};
  if (!saveAndValidate) ++m_nWriting;
  DoDataExchange(&dx);
  return !dx.m_bFailed;
}

void CDialog::OnHandlerException(UINT msg, LRESULT* result) {
  CWnd::OnHandlerException(msg, result);
  // A dialog whose initialisation failed is not shown half set up.
  if (msg == WM_INITDIALOG) EndDialog(-1);
}

bool CDialog::OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (CWnd::OnWndMsg(msg, wParam, lParam, result)) return true;
  switch (msg) {
    case WM_INITDIALOG:
      *result = OnInitDialog();
      return true;
    case WM_COMMAND:
      if (lParam == 0 || HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDOK) {
          OnOK();
          *result = 0;
          return true;
        }
        if (LOWORD(wParam) == IDCANCEL) {
          OnCancel();
          *result = 0;
          return true;
        }
      }
      return false;
    default:
      return false;
  }
}
