// End to end, under Wine: the sign-in picture as it appears on the screen.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "DialFixture.h"

using namespace uidriver;
using namespace dialertest;

namespace {

// --- the sign-in picture on the screen

struct Screen {
  int width = 0, height = 0;
  std::vector<BYTE> rows;  // 24-bit, top row first
  COLORREF At(int x, int y) const {
    const BYTE* p = &rows[(static_cast<size_t>(y) * width + x) * 3];
    return RGB(p[2], p[1], p[0]);
  }
};

std::optional<Screen> Grab(const std::string& tag) {
  const std::string path = MakeFolder("shots") + "\\" + tag + ".bmp";
  if (!SaveScreenshot(path)) return std::nullopt;
  auto data = ReadTextFile(path, 16 << 20);
  if (!data || data->size() < 54) return std::nullopt;
  const auto* bytes = reinterpret_cast<const BYTE*>(data->data());
  Screen s;
  s.width = *reinterpret_cast<const LONG*>(bytes + 18);
  LONG h = *reinterpret_cast<const LONG*>(bytes + 22);
  const DWORD off = *reinterpret_cast<const DWORD*>(bytes + 10);
  s.height = h < 0 ? -h : h;
  const size_t stride = (static_cast<size_t>(s.width) * 3 + 3) & ~size_t{3};
  if (*reinterpret_cast<const WORD*>(bytes + 28) != 24 || off + stride * s.height > data->size()) return std::nullopt;
  s.rows.resize(static_cast<size_t>(s.width) * 3 * s.height);
  for (int y = 0; y < s.height; ++y) {
    const int src = h < 0 ? y : s.height - 1 - y;
    std::memcpy(&s.rows[static_cast<size_t>(y) * s.width * 3], bytes + off + stride * src, s.width * 3);
  }
  return s;
}

// A picture file of |w| x |h| in |bpp| bits per pixel: its upper half |top|, its lower half
// |bottom|, stored bottom-up or (|topDown|, negative height) top-down.
bool WritePicture(const std::string& path, int w, int h, int bpp, COLORREF top, COLORREF bottom, bool topDown = false) {
  const int entries = bpp == 8 ? 256 : 0;
  const int stride = ((w * bpp + 31) / 32) * 4;
  const DWORD off = 54 + 4 * entries, size = off + stride * h;
  std::vector<BYTE> f(size, 0);
  f[0] = 'B';
  f[1] = 'M';
  std::memcpy(&f[2], &size, 4);
  std::memcpy(&f[10], &off, 4);
  BITMAPINFOHEADER bih{};
  bih.biSize = 40;
  bih.biWidth = w;
  bih.biHeight = topDown ? -h : h;
  bih.biPlanes = 1;
  bih.biBitCount = static_cast<WORD>(bpp);
  std::memcpy(&f[14], &bih, 40);
  for (int y = 0; y < h; ++y) {  // y: the row as seen, 0 at the top
    const bool upper = y < h / 2;
    const COLORREF colour = upper ? top : bottom;
    const int stored = topDown ? y : h - 1 - y;
    for (int x = 0; x < w; ++x) {
      BYTE* p = &f[off + stride * stored + x * (bpp / 8)];
      if (bpp == 8) {
        *p = upper ? 7 : 8;  // entries 7 and 8 of the table
      } else {
        p[0] = GetBValue(colour);
        p[1] = GetGValue(colour);
        p[2] = GetRValue(colour);
      }
    }
  }
  if (bpp == 8) {
    for (int i : {7, 8}) {
      const COLORREF c = i == 7 ? top : bottom;
      f[54 + 4 * i] = GetBValue(c);
      f[54 + 4 * i + 1] = GetGValue(c);
      f[54 + 4 * i + 2] = GetRValue(c);
    }
  }
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(file, f.data(), size, &written, nullptr);
  CloseHandle(file);
  return written == size;
}

TEST_F(DialerDial, ThePictureFillsTheFrameLessTwoPixelsOnEachSide) {
  const COLORREF magenta = RGB(250, 0, 250), teal = RGB(0, 130, 140);
  struct Case {
    const char* what;
    int bpp;
    COLORREF colour;  // the upper half
    COLORREF bottom;  // the lower half
    bool topDown;
    bool damaged;
  };
  for (const Case& c : {Case{"8-bit", 8, magenta, magenta, false, false}, Case{"24-bit", 24, teal, teal, false, false},
                        Case{"top-down 24-bit", 24, teal, magenta, true, false},
                        Case{"top-down 8-bit", 8, magenta, teal, true, false},
                        Case{"damaged", 8, magenta, magenta, false, true}}) {
    SCOPED_TRACE(c.what);
    const std::string dir = MakeFolder(std::string("pic-") + c.what);
    ASSERT_TRUE(WritePicture(dir + "\\signin_zn.bmp", 37, 12, c.bpp, c.colour, c.bottom, c.topDown));
    if (c.damaged) {  // a bit count the loader refuses
      HANDLE f = CreateFileA((dir + "\\signin_zn.bmp").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      SetFilePointer(f, 28, nullptr, FILE_BEGIN);
      const WORD bad = 7;
      DWORD w = 0;
      WriteFile(f, &bad, 2, &w, nullptr);
      CloseHandle(f);
    }
    DialerOptions o;
    o.workDir = dir;
    DialerRun run = StartDialer(o);
    ASSERT_TRUE(run.dialog) << LastError();
    ASSERT_TRUE(WaitStartupDone(run.dialog));
    RECT frame = WindowRect(GetDlgItem(run.dialog, kPictureFrame));
    const int l = frame.left + 2, t = frame.top + 2, r = frame.right - 3, b = frame.bottom - 3;
    // The first paint comes some time after the dialog shows: wait for the picture (or, for
    // the damaged file, for the bound of a paint that must not bring one).
    std::optional<Screen> shot;
    auto pictureShown = [&] {
      shot = Grab(c.what);
      return shot && shot->At((l + r) / 2, t + 1) == c.colour;
    };
    if (c.damaged) {
      EXPECT_TRUE(StaysFalse(pictureShown, "a picture from a damaged file")) << LastError();
    } else {
      EXPECT_TRUE(WaitFor(pictureShown, kTimeout, "the picture on screen")) << LastError();
    }
    ASSERT_TRUE(shot) << LastError();
    if (c.damaged) {
      EXPECT_NE(c.colour, shot->At((l + r) / 2, (t + b) / 2)) << "no picture";
    } else {
      // Upright: the upper half of the picture at the top of the frame.
      for (POINT p : {POINT{l, t}, POINT{r, t}, POINT{(l + r) / 2, t + (b - t) / 4}}) {
        EXPECT_EQ(c.colour, shot->At(p.x, p.y)) << "upper half at " << p.x << "," << p.y;
      }
      for (POINT p : {POINT{l, b}, POINT{r, b}, POINT{(l + r) / 2, b - (b - t) / 4}}) {
        EXPECT_EQ(c.bottom, shot->At(p.x, p.y)) << "lower half at " << p.x << "," << p.y;
      }
      for (POINT p : {POINT{l - 1, t + 1}, POINT{r + 1, t + 1}, POINT{(l + r) / 2, t - 1}}) {
        EXPECT_NE(c.colour, shot->At(p.x, p.y)) << "outside at " << p.x << "," << p.y;
      }
      for (POINT p : {POINT{l - 1, b - 1}, POINT{r + 1, b - 1}, POINT{(l + r) / 2, b + 1}}) {
        EXPECT_NE(c.bottom, shot->At(p.x, p.y)) << "outside at " << p.x << "," << p.y;
      }
    }
    ASSERT_TRUE(ClickControl(run.dialog, IDCANCEL));
    ASSERT_TRUE(run.process.WaitExit().has_value());
  }
}

}  // namespace
