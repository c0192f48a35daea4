// Shared by the picture tests and the fuzzer: memory that faults on every over-read, and the
// dialog's stretch call made on such memory.
#pragma once
#include <windows.h>

#include <cstring>
#include <vector>

#include "PictureFile.h"

// Little-endian fields of a picture file; a field that would not fit is left out (the fuzzer
// writes into truncated files).
inline void Put16(std::vector<BYTE>& v, size_t at, WORD x) {
  if (at + 2 > v.size()) return;
  v[at] = static_cast<BYTE>(x);
  v[at + 1] = static_cast<BYTE>(x >> 8);
}
inline void Put32(std::vector<BYTE>& v, size_t at, DWORD x) {
  if (at + 4 > v.size()) return;
  for (int i = 0; i < 4; ++i) v[at + i] = static_cast<BYTE>(x >> (8 * i));
}

// A picture file of |w| x |h| pixels (negative |h|: top-down) with |bpp| bits and |entries|
// colour-table entries: both headers written, the table and the pixels zero.
inline std::vector<BYTE> BmpSkeleton(int w, int h, int bpp, DWORD compression, int entries) {
  const int rows = h < 0 ? -h : h;
  const size_t stride = static_cast<size_t>((w * bpp + 31) / 32) * 4;
  const size_t offBits = 14 + 40 + 4 * static_cast<size_t>(entries);
  std::vector<BYTE> f(offBits + stride * rows, 0);
  f[0] = 'B';
  f[1] = 'M';
  Put32(f, 2, static_cast<DWORD>(f.size()));
  Put32(f, 10, static_cast<DWORD>(offBits));
  Put32(f, 14, 40);
  Put32(f, 18, static_cast<DWORD>(w));
  Put32(f, 22, static_cast<DWORD>(h));
  Put16(f, 26, 1);
  Put16(f, 28, static_cast<WORD>(bpp));
  Put32(f, 30, compression);
  Put32(f, 34, static_cast<DWORD>(stride * rows));
  return f;
}

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
