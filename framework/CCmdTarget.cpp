#include "CCmdTarget.h"

bool CCmdTarget::OnWndMsg(UINT, WPARAM, LPARAM, LRESULT*) { return false; }

bool CCmdTarget::OnCmdMsg(UINT id, UINT code, HWND control) {
  LRESULT ignored = 0;
  return OnWndMsg(WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control), &ignored);
}
