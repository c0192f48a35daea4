// The picture button that opens the maker's home page: a bitmap button that shows the
// pointing-hand cursor while the mouse is over it.
#pragma once
#include <windows.h>
#include "CBitmapButton.h"

class LinkBitmapButton : public CBitmapButton {
 public:
  // Loads m_hCursor (cursor resource 135). The cursor is a shared resource: never destroyed.
  LinkBitmapButton();

  HCURSOR m_hCursor = nullptr;

  // Sets the hand over the button's client area. Always true, so the default cursor
  // handling never runs over the button.
  BOOL OnSetCursor(HWND wnd, UINT hitTest, UINT message);

 private:
  LRESULT OnSetCursorMessage(WPARAM wParam, LPARAM lParam);
  DECLARE_MESSAGE_MAP()
};
