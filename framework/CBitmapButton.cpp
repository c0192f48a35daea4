#include "CBitmapButton.h"

#include <string>

#include "CWinApp.h"

CBitmapButton::~CBitmapButton() { FreeBitmaps(); }

void CBitmapButton::FreeBitmaps() {
  for (HBITMAP* bmp : {&m_bitmapUp, &m_bitmapDown, &m_bitmapFocus, &m_bitmapDisabled}) {
    if (*bmp != nullptr) DeleteObject(*bmp);
    *bmp = nullptr;
  }
}

static HBITMAP LoadNamedBitmap(const std::string& name) {
  HINSTANCE inst = AfxGetResourceHandle();
  return LoadBitmapA(inst, name.c_str());
}

bool CBitmapButton::LoadBitmaps(const char* up, const char* down, const char* focus, const char* disabled) {
  FreeBitmaps();
  m_bitmapUp = LoadNamedBitmap(up);
  if (m_bitmapUp == nullptr) return false;
  if (down) m_bitmapDown = LoadNamedBitmap(down);
  if (focus) m_bitmapFocus = LoadNamedBitmap(focus);
  if (disabled) m_bitmapDisabled = LoadNamedBitmap(disabled);
  return true;
}

bool CBitmapButton::AutoLoad(UINT id, CWnd* parent) {
  if (!SubclassDlgItem(id, parent)) return false;
  std::string caption = GetWindowText();
  if (!LoadBitmaps((caption + "U").c_str(), (caption + "D").c_str(), (caption + "F").c_str(),
                   (caption + "X").c_str())) {
    return false;
  }
  SizeToContent();
  return true;
}

void CBitmapButton::SizeToContent() {
  BITMAP bm{};
  if (m_bitmapUp == nullptr || GetObjectA(m_bitmapUp, sizeof(bm), &bm) == 0) return;
  SetWindowPos(m_hWnd, nullptr, 0, 0, bm.bmWidth, bm.bmHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CBitmapButton::DrawItem(LPDRAWITEMSTRUCT dis) {
  HBITMAP bmp = m_bitmapUp;
  if ((dis->itemState & ODS_SELECTED) && m_bitmapDown) {
    bmp = m_bitmapDown;
  } else if ((dis->itemState & ODS_FOCUS) && m_bitmapFocus) {
    bmp = m_bitmapFocus;
  } else if ((dis->itemState & ODS_DISABLED) && m_bitmapDisabled) {
    bmp = m_bitmapDisabled;
  }
  if (bmp == nullptr) return;
  HDC mem = CreateCompatibleDC(dis->hDC);
  if (mem == nullptr) return;
  HGDIOBJ old = SelectObject(mem, bmp);
  const RECT& r = dis->rcItem;
  BitBlt(dis->hDC, r.left, r.top, r.right - r.left, r.bottom - r.top, mem, 0, 0, SRCCOPY);
  SelectObject(mem, old);
  DeleteDC(mem);
}
