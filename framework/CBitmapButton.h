// Owner-drawn push button that shows bitmaps instead of text. Its caption names the bitmap
// resources: caption + "U" (up, required), "D" (down), "F" (focused), "X" (disabled).
#pragma once
#include <windows.h>
#include "CWnd.h"

class CBitmapButton : public CWnd {
 public:
  CBitmapButton() = default;
  ~CBitmapButton() override;

  // Binds the object to button |id| of |parent|, loads its bitmaps and sizes the button to
  // the up bitmap, keeping its top-left corner. False when the up bitmap is missing (the
  // button stays bound and keeps its size).
  bool AutoLoad(UINT id, CWnd* parent);
  bool LoadBitmaps(const char* up, const char* down, const char* focus, const char* disabled);
  void SizeToContent();

  void DrawItem(LPDRAWITEMSTRUCT dis) override;

  HBITMAP m_bitmapUp = nullptr;
  HBITMAP m_bitmapDown = nullptr;
  HBITMAP m_bitmapFocus = nullptr;
  HBITMAP m_bitmapDisabled = nullptr;

 private:
  void FreeBitmaps();
};
