#include "LinkBitmapButton.h"

#include "CWinApp.h"
#include "resource.h"

BEGIN_MESSAGE_MAP(LinkBitmapButton, CBitmapButton)
  ON_MESSAGE(WM_SETCURSOR, &LinkBitmapButton::OnSetCursorMessage)
END_MESSAGE_MAP()

LinkBitmapButton::LinkBitmapButton() {
  HINSTANCE inst = AfxGetResourceHandle();
  m_hCursor = LoadCursorA(inst, MAKEINTRESOURCEA(IDC_HAND_CURSOR));
}

LRESULT LinkBitmapButton::OnSetCursorMessage(WPARAM wParam, LPARAM lParam) {
  return OnSetCursor(reinterpret_cast<HWND>(wParam), LOWORD(lParam), HIWORD(lParam));
}

BOOL LinkBitmapButton::OnSetCursor(HWND wnd, UINT hitTest, UINT) {
  if (wnd == m_hWnd && hitTest == HTCLIENT) ::SetCursor(m_hCursor);
  return TRUE;
}
