#include "CDataExchange.h"

#include "CWinApp.h"
#include "CWnd.h"
#include "FwStrings.h"

HWND CDataExchange::PrepareCtrl(int id) {
  HWND ctl = ::GetDlgItem(m_pDlgWnd->m_hWnd, id);
  m_hLastControl = ctl;
  return ctl;
}

void CDataExchange::Fail() {
  if (m_hLastControl != nullptr) {
    ::SetFocus(m_hLastControl);
    char cls[16] = {};
    if (GetClassNameA(m_hLastControl, cls, sizeof(cls)) > 0 && lstrcmpiA(cls, "Edit") == 0) {
      ::SendMessageA(m_hLastControl, EM_SETSEL, 0, -1);
    }
  }
  m_bFailed = true;
}

void DDX_Text(CDataExchange* dx, int id, std::string& value) {
  if (dx->m_bFailed) return;
  HWND ctl = dx->PrepareCtrl(id);
  if (ctl == nullptr) return;
  // Texts pass through here from password edits too: neither the old value nor the
  // control's text is left behind in freed memory.
  std::string text = fw::GetWindowString(ctl);
  if (dx->m_bSaveAndValidate) {
    fw::AssignSecret(value, text);
  } else if (text != value) {
    ::SetWindowTextA(ctl, value.c_str());
  }
  fw::WipeString(text);
}

void DDX_Text(CDataExchange* dx, int id, std::string& value, int maxChars) {
  if (dx->m_bFailed) return;
  if (!dx->m_bSaveAndValidate) {
    HWND ctl = dx->PrepareCtrl(id);
    if (ctl != nullptr) ::SendMessageA(ctl, EM_LIMITTEXT, static_cast<WPARAM>(maxChars), 0);
  }
  DDX_Text(dx, id, value);
  if (dx->m_bSaveAndValidate && !dx->m_bFailed && value.size() > static_cast<size_t>(maxChars)) {
    std::string text = fw::FormatPercent1(fw::LoadStr(AFX_IDP_PARSE_STRING_SIZE), std::to_string(maxChars));
    AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
    dx->Fail();
  }
}

void DDX_Check(CDataExchange* dx, int id, int& value) {
  if (dx->m_bFailed) return;
  HWND ctl = dx->PrepareCtrl(id);
  if (ctl == nullptr) return;
  if (dx->m_bSaveAndValidate) {
    value = static_cast<int>(::SendMessageA(ctl, BM_GETCHECK, 0, 0));
  } else {
    int state = (value >= 0 && value <= 2) ? value : 0;
    ::SendMessageA(ctl, BM_SETCHECK, static_cast<WPARAM>(state), 0);
  }
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
  if (dx->m_bFailed || control.m_hWnd != nullptr) return;
  HWND ctl = dx->PrepareCtrl(id);
  if (ctl != nullptr) control.SubclassWindow(ctl);
}
