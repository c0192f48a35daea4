// Shared by the picture tests and the fuzzer: memory that faults on every over-read, and the
// dialog's stretch call made on such memory.
#pragma once
#include <windows.h>

#include <cstring>
#include <vector>

#include "PictureFile.h"

// Memory whose last byte is followed by an inaccessible page: a read of one byte beyond the
// data faults.
class GuardedBytes {
 public:
  GuardedBytes(const BYTE* bytes, size_t n) {
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const size_t page = si.dwPageSize;
    m_span = (n + page - 1) / page * page;
    if (m_span == 0) m_span = page;
    m_base = static_cast<BYTE*>(VirtualAlloc(nullptr, m_span + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    VirtualProtect(m_base + m_span, page, PAGE_NOACCESS, &old);
    m_data = m_base + m_span - n;
    if (n) std::memcpy(m_data, bytes, n);
  }
  explicit GuardedBytes(const std::vector<BYTE>& bytes) : GuardedBytes(bytes.data(), bytes.size()) {}
  ~GuardedBytes() { VirtualFree(m_base, 0, MEM_RELEASE); }
  GuardedBytes(const GuardedBytes&) = delete;
  GuardedBytes& operator=(const GuardedBytes&) = delete;
  BYTE* data() { return m_data; }

 private:
  BYTE* m_base = nullptr;
  BYTE* m_data = nullptr;
  size_t m_span = 0;
};

// Draws |picture| with StretchDIBits into a |w| x |h| 32-bit top-down DIB, as the dialog's
// stretch call would, with both of the picture's blocks behind guard pages. Returns the call's
// result (0: nothing drawn; under Wine also when reading the pixels faulted on the guard page,
// which on Windows ends the program); |bgra| receives the drawn pixels when given.
inline int DrawGuarded(const PictureFile& picture, int w, int h, std::vector<BYTE>* bgra = nullptr) {
  GuardedBytes info(picture.info), bits(picture.bits);
  BITMAPINFO target{};
  target.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  target.bmiHeader.biWidth = w;
  target.bmiHeader.biHeight = -h;
  target.bmiHeader.biPlanes = 1;
  target.bmiHeader.biBitCount = 32;
  void* pixels = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP dib = CreateDIBSection(dc, &target, DIB_RGB_COLORS, &pixels, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, dib);
  const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(info.data());
  const int lines = StretchDIBits(dc, 0, 0, w, h, 0, 0, header->biWidth, picture.Rows(), bits.data(),
                                  reinterpret_cast<const BITMAPINFO*>(info.data()), DIB_RGB_COLORS, SRCCOPY);
  GdiFlush();
  if (bgra != nullptr && pixels != nullptr) {
    const BYTE* p = static_cast<const BYTE*>(pixels);
    bgra->assign(p, p + static_cast<size_t>(w) * h * 4);
  }
  SelectObject(dc, old);
  DeleteObject(dib);
  DeleteDC(dc);
  return lines;
}
