// The sign-in picture at the top of the dialog: read once from "signin_zn.bmp" in the current
// folder, stretched into the frame of control 1003, drawn with its own palette.
#include "DialerDialog.h"
#include "PictureFile.h"
#include "resource.h"

void DialerDialog::LoadPicture() {
  PictureFile picture;
  if (!ReadPictureFile(m_strPictureFile.c_str(), picture)) return;
  PictureHandles handles;
  MakePictureBlocks(picture, handles);
  // Whatever was made is kept, and freed at WM_DESTROY; painting needs all it requires.
  m_hPictureInfo = handles.info;
  m_hPictureBits = handles.bits;
  m_hPalette = handles.palette;
}

void DialerDialog::PaintPicture(HDC dc) {
  HWND frame = GetDlgItem(IDC_PICTURE_FRAME);
  if (frame == nullptr || m_hPictureInfo == nullptr || m_hPictureBits == nullptr) return;

  auto* info = static_cast<BITMAPINFO*>(GlobalLock(m_hPictureInfo));
  if (info == nullptr) return;
  // Pictures of 1, 4 and 8 bits per pixel need their palette; deeper ones have none.
  const bool needsPalette = info->bmiHeader.biBitCount <= 8;
  if (needsPalette && m_hPalette == nullptr) {
    GlobalUnlock(m_hPictureInfo);
    return;
  }
  void* bits = GlobalLock(m_hPictureBits);
  if (bits == nullptr) {
    GlobalUnlock(m_hPictureInfo);
    return;
  }

  RECT rect;
  ::GetWindowRect(frame, &rect);
  POINT topLeft = {rect.left + 2, rect.top + 2};
  ::ScreenToClient(m_hWnd, &topLeft);
  const int width = rect.right - rect.left - 4;
  const int height = rect.bottom - rect.top - 4;

  HPALETTE previous = needsPalette ? SelectPalette(dc, m_hPalette, TRUE) : nullptr;
  // The source is every row of the picture; a top-down picture (negative height) is still
  // drawn upright, the system reading its rows from the top.
  const LONG rows = info->bmiHeader.biHeight < 0 ? -info->bmiHeader.biHeight : info->bmiHeader.biHeight;
  StretchDIBits(dc, topLeft.x, topLeft.y, width, height, 0, 0, info->bmiHeader.biWidth, rows, bits, info,
                DIB_RGB_COLORS, SRCCOPY);
  if (previous != nullptr) SelectPalette(dc, previous, TRUE);

  GlobalUnlock(m_hPictureBits);
  GlobalUnlock(m_hPictureInfo);
}

namespace {

// Realizes |palette| in a device context of |wnd| and repaints the window when that changed
// system palette entries. A window DC, not a paint cycle: BeginPaint here would validate an
// update region that nothing repaints when the system palette did not change.
void RealizeInto(HWND wnd, HPALETTE palette, bool background) {
  HDC dc = GetDC(wnd);
  if (dc == nullptr) return;
  HPALETTE previous = SelectPalette(dc, palette, background ? TRUE : FALSE);
  if (previous != nullptr) {
    if (RealizePalette(dc) != 0) InvalidateRect(wnd, nullptr, TRUE);
    SelectPalette(dc, previous, TRUE);
  }
  ReleaseDC(wnd, dc);
}

}  // namespace

LRESULT DialerDialog::OnQueryNewPalette(WPARAM, LPARAM) {
  if (m_hPalette != nullptr) RealizeInto(m_hWnd, m_hPalette, false);
  return 0;
}

LRESULT DialerDialog::OnPaletteChanged(WPARAM wParam, LPARAM) {
  if (m_hPalette != nullptr) RealizeInto(m_hWnd, m_hPalette, reinterpret_cast<HWND>(wParam) != m_hWnd);
  return 0;
}

LRESULT DialerDialog::OnDestroy(WPARAM, LPARAM) {
  LRESULT result = Default();
  if (m_hPictureInfo != nullptr) {
    GlobalFree(m_hPictureInfo);
    m_hPictureInfo = nullptr;
  }
  if (m_hPictureBits != nullptr) {
    GlobalFree(m_hPictureBits);
    m_hPictureBits = nullptr;
  }
  if (m_hPalette != nullptr) {
    DeleteObject(m_hPalette);
    m_hPalette = nullptr;
  }
  return result;
}
