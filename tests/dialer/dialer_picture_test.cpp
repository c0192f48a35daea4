// The sign-in picture loader: well-formed files of every depth drawn through GDI and checked
// pixel by pixel, malformed files rejected, and randomly damaged files that must never lead
// the drawing call outside the loader's blocks (the blocks end at a guard page here).
#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "PictureFile.h"
#include "PictureTestSupport.h"

namespace {

struct Rgb {
  BYTE r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

DWORD Get32(const std::vector<BYTE>& v, size_t at) {
  return v[at] | (v[at + 1] << 8) | (v[at + 2] << 16) | (static_cast<DWORD>(v[at + 3]) << 24);
}

// Colour of entry |i| of the test palettes: distinct and easy to recognise.
Rgb PaletteColour(int i) { return {static_cast<BYTE>(i * 7 + 3), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 13)}; }

// Index of the pixel at (x, y) (y = 0 at the top) in the test pictures.
int PixelIndex(int x, int y, int bpp) { return (x * 3 + y * 5) % (1 << bpp); }

Rgb TrueColour(int x, int y) { return {static_cast<BYTE>(x * 20), static_cast<BYTE>(y * 30), static_cast<BYTE>(x * 5 + y * 9)}; }

// A well-formed BMP file of |w| by |h| pixels, bottom-up, uncompressed.
std::vector<BYTE> MakeBmp(int w, int h, int bpp, bool topDown = false) {
  const int entries = bpp <= 8 ? (1 << bpp) : 0;
  const int stride = ((w * bpp + 31) / 32) * 4;
  const size_t offBits = 14 + 40 + 4 * entries;
  std::vector<BYTE> f = BmpSkeleton(w, topDown ? -h : h, bpp, BI_RGB, entries);
  for (int i = 0; i < entries; ++i) {
    Rgb c = PaletteColour(i);
    f[54 + 4 * i] = c.b;
    f[54 + 4 * i + 1] = c.g;
    f[54 + 4 * i + 2] = c.r;
  }
  for (int y = 0; y < h; ++y) {
    BYTE* row = &f[offBits + static_cast<size_t>(stride) * (topDown ? y : h - 1 - y)];
    for (int x = 0; x < w; ++x) {
      if (bpp == 24 || bpp == 32) {
        Rgb c = TrueColour(x, y);
        BYTE* p = row + x * (bpp / 8);
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
      } else if (bpp == 16) {
        Rgb c = TrueColour(x, y);
        WORD v = static_cast<WORD>(((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3));
        row[x * 2] = static_cast<BYTE>(v);
        row[x * 2 + 1] = static_cast<BYTE>(v >> 8);
      } else {
        int idx = PixelIndex(x, y, bpp);
        int bit = x * bpp;
        row[bit / 8] |= static_cast<BYTE>(idx << (8 - bpp - bit % 8));
      }
    }
  }
  return f;
}

// An 8-bit RLE picture: every row one run of |w| pixels of index (row % 4), then end of line.
std::vector<BYTE> MakeRle8(int w, int h) {
  std::vector<BYTE> runs;
  for (int y = 0; y < h; ++y) {  // bottom-up: the first run is the bottom row
    runs.push_back(static_cast<BYTE>(w));
    runs.push_back(static_cast<BYTE>((h - 1 - y) % 4));
    runs.push_back(0);
    runs.push_back(0);
  }
  runs.push_back(0);
  runs.push_back(1);
  std::vector<BYTE> f = MakeBmp(w, h, 8);
  const size_t offBits = 14 + 40 + 1024;
  f.resize(offBits);
  f.insert(f.end(), runs.begin(), runs.end());
  Put32(f, 2, static_cast<DWORD>(f.size()));
  Put32(f, 30, BI_RLE8);
  Put32(f, 34, static_cast<DWORD>(runs.size()));
  return f;
}

bool Parse(const std::vector<BYTE>& file, PictureFile& out) { return ParsePictureFile(file.data(), file.size(), out); }
bool Parses(const std::vector<BYTE>& file) {
  PictureFile out;
  return Parse(file, out);
}

// Lines the last Draw copied; 0 when the drawing call failed. Wine's GDI catches a fault while
// it reads the caller's pixels and fails the call, so under Wine an over-read shows as 0
// here; on Windows the guard page makes it fault.
int g_lastDrawResult = 0;

// Draws |picture| 1:1 into a 32-bit top-down DIB of its size, as the dialog's stretch call
// would, with both blocks behind guard pages; returns the drawn pixels.
std::vector<Rgb> Draw(const PictureFile& picture, int w, int h) {
  std::vector<BYTE> bgra;
  g_lastDrawResult = DrawGuarded(picture, w, h, &bgra);
  std::vector<Rgb> out;
  for (size_t i = 0; i + 3 < bgra.size(); i += 4) out.push_back({bgra[i + 2], bgra[i + 1], bgra[i]});
  return out;
}

// --- well-formed pictures

class WellFormed : public ::testing::TestWithParam<int> {};

TEST_P(WellFormed, ParsesIntoBlocksAndDrawsEveryPixel) {
  const int bpp = GetParam();
  const int w = 13, h = 7;  // odd sizes: rows padded to four bytes
  for (bool topDown : {false, true}) {  // a negative height: rows stored from the top
    SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
    std::vector<BYTE> file = MakeBmp(w, h, bpp, topDown);
    PictureFile pic;
    ASSERT_TRUE(Parse(file, pic));
    const UINT entries = bpp <= 8 ? (1u << bpp) : 0;
    EXPECT_EQ(entries, pic.paletteEntries);
    EXPECT_EQ(40u + 4 * entries, pic.info.size());
    EXPECT_EQ(Get32(file, 2) - Get32(file, 10), pic.bits.size());
    EXPECT_EQ(0, std::memcmp(pic.info.data(), &file[14], 40)) << "header kept as in the file";
    for (UINT i = 0; i < entries; ++i) {
      Rgb c = PaletteColour(static_cast<int>(i));
      EXPECT_EQ(c.r, pic.ColourTable()[i].rgbRed) << i;
      EXPECT_EQ(c.b, pic.ColourTable()[i].rgbBlue) << i;
    }
    std::vector<Rgb> drawn = Draw(pic, w, h);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        Rgb want = bpp <= 8 ? PaletteColour(PixelIndex(x, y, bpp)) : TrueColour(x, y);
        Rgb got = drawn[y * w + x];
        if (bpp == 16) {  // five bits per channel
          want = {static_cast<BYTE>(want.r & 0xF8), static_cast<BYTE>(want.g & 0xF8), static_cast<BYTE>(want.b & 0xF8)};
          got = {static_cast<BYTE>(got.r & 0xF8), static_cast<BYTE>(got.g & 0xF8), static_cast<BYTE>(got.b & 0xF8)};
        }
        ASSERT_TRUE(want == got) << "bpp " << bpp << " at " << x << "," << y << ": got " << int(got.r) << ","
                                 << int(got.g) << "," << int(got.b) << " want " << int(want.r) << "," << int(want.g)
                                 << "," << int(want.b);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, WellFormed, ::testing::Values(1, 4, 8, 16, 24, 32));

TEST(PictureFile, Rle8PictureDrawsAndKeepsItsRunLengthInTheBlock) {
  std::vector<BYTE> file = MakeRle8(10, 6);
  PictureFile pic;
  ASSERT_TRUE(Parse(file, pic));
  EXPECT_EQ(pic.bits.size(), pic.Header().biSizeImage);
  std::vector<Rgb> drawn = Draw(pic, 10, 6);
  for (int y = 0; y < 6; ++y) EXPECT_TRUE(drawn[y * 10 + 4] == PaletteColour(y % 4)) << "row " << y;
  // A run length that claims more than the block is cut to the block.
  Put32(file, 34, 1000000);
  ASSERT_TRUE(Parse(file, pic));
  EXPECT_EQ(pic.bits.size(), pic.Header().biSizeImage);
  Draw(pic, 10, 6);
}

TEST(PictureFile, ShortColourTableAndShortPixelDataReadAsZeros) {
  std::vector<BYTE> file = MakeBmp(4, 4, 8);
  const size_t announced = Get32(file, 2) - Get32(file, 10);
  file.resize(54 + 4 * 10);  // ten colours, no pixels
  PictureFile pic;
  ASSERT_TRUE(Parse(file, pic));
  EXPECT_EQ(PaletteColour(9).r, pic.ColourTable()[9].rgbRed);
  for (int i = 10; i < 256; ++i) {
    EXPECT_EQ(0, pic.ColourTable()[i].rgbRed | pic.ColourTable()[i].rgbGreen | pic.ColourTable()[i].rgbBlue) << i;
  }
  ASSERT_EQ(announced, pic.bits.size());
  for (BYTE b : pic.bits) ASSERT_EQ(0, b);
  std::vector<Rgb> drawn = Draw(pic, 4, 4);
  EXPECT_TRUE(drawn[0] == PaletteColour(0));
}

TEST(PictureFile, PixelsFollowTheTableNotBfOffBits) {
  // bfOffBits points elsewhere; the pixels are read right after the colour table.
  std::vector<BYTE> file = MakeBmp(8, 2, 8);
  Put32(file, 10, 54);  // too small, but still no greater than bfSize
  PictureFile pic;
  ASSERT_TRUE(Parse(file, pic));
  EXPECT_EQ(Get32(file, 2) - 54, pic.bits.size());
  EXPECT_EQ(0, std::memcmp(pic.bits.data(), &file[54 + 1024], 16));
}

TEST(PictureFile, ColourCountFieldNeverLeadsPastTheTable) {
  std::vector<BYTE> file = MakeBmp(4, 4, 8);
  Put32(file, 46, 16);  // biClrUsed within the table: kept
  PictureFile pic;
  ASSERT_TRUE(Parse(file, pic));
  EXPECT_EQ(16u, pic.Header().biClrUsed);
  Put32(file, 46, 100000);
  ASSERT_TRUE(Parse(file, pic));
  EXPECT_EQ(0u, pic.Header().biClrUsed);
  Draw(pic, 4, 4);
  std::vector<BYTE> deep = MakeBmp(4, 4, 24);
  Put32(deep, 46, 256);  // a 24-bit picture has no table in its block
  ASSERT_TRUE(Parse(deep, pic));
  EXPECT_EQ(0u, pic.Header().biClrUsed);
  EXPECT_EQ(40u, pic.info.size());
  Draw(pic, 4, 4);
}

TEST(PictureFile, BitfieldsPictureCarriesItsMasks) {
  std::vector<BYTE> file = MakeBmp(4, 2, 16);
  // Insert 5-6-5 masks after the header.
  const BYTE masks[12] = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
  file.insert(file.begin() + 54, masks, masks + 12);
  Put32(file, 2, static_cast<DWORD>(file.size()));
  Put32(file, 10, 66);
  Put32(file, 30, BI_BITFIELDS);
  PictureFile pic;
  ASSERT_TRUE(Parse(file, pic));
  EXPECT_EQ(52u, pic.info.size());
  EXPECT_EQ(0xF800u, Get32(pic.info, 40));
  EXPECT_EQ(0u, pic.paletteEntries);
  Draw(pic, 4, 2);
}

// --- malformed pictures

TEST(PictureFile, RejectsMalformedHeaders) {
  const std::vector<BYTE> good = MakeBmp(8, 8, 8);
  ASSERT_TRUE(Parses(good));
  struct Case {
    const char* what;
    size_t at;
    DWORD value;
  };
  const Case cases[] = {
      {"core header size", 14, 12},
      {"version 4 header size", 14, 108},
      {"version 5 header size", 14, 124},
      {"zero header size", 14, 0},
      {"two planes", 26, 2 | (8u << 16)},
      {"bfOffBits beyond bfSize", 10, 0x10000},
      {"zero width", 18, 0},
      {"negative width", 18, static_cast<DWORD>(-8)},
      {"zero height", 22, 0},
      {"top-down height beyond the limit", 22, static_cast<DWORD>(-(1 << 20))},
      {"most negative height", 22, 0x80000000u},
      {"huge width", 18, 1u << 20},
      {"huge height", 22, 1u << 20},
      {"JPEG compression", 30, BI_JPEG},
      {"PNG compression", 30, BI_PNG},
      {"unknown compression", 30, 77},
      {"RLE4 with 8 bits", 30, BI_RLE4},
      {"bitfields with 8 bits", 30, BI_BITFIELDS},
      {"bfSize smaller than the rows", 2, 54 + 1024 + 8 * 7},
      {"no pixel bytes", 2, 54 + 1024},
      {"pixel block beyond the limit", 2, 0xFFFFFFF0u},
  };
  for (const Case& c : cases) {
    std::vector<BYTE> file = good;
    Put32(file, c.at, c.value);
    EXPECT_FALSE(Parses(file)) << c.what;
  }
  std::vector<BYTE> topDownRuns = MakeRle8(6, 4);
  Put32(topDownRuns, 22, static_cast<DWORD>(-4));
  EXPECT_FALSE(Parses(topDownRuns)) << "run-length pictures are bottom-up only";
  std::vector<BYTE> topDownShort = MakeBmp(8, 8, 8, true);
  Put32(topDownShort, 2, 54 + 1024 + 8 * 7);
  EXPECT_FALSE(Parses(topDownShort)) << "the rows of a top-down picture count as well";
  for (WORD bpp : {0, 2, 3, 5, 7, 9, 12, 48, 64, 0xFFFF}) {
    std::vector<BYTE> file = good;
    Put16(file, 28, bpp);
    EXPECT_FALSE(Parses(file)) << "bit count " << bpp;
  }
}

TEST(PictureFile, RejectsShortFiles) {
  const std::vector<BYTE> good = MakeBmp(8, 8, 8);
  PictureFile pic;
  for (size_t n : {0u, 1u, 13u, 14u, 30u, 53u}) {
    EXPECT_FALSE(ParsePictureFile(good.data(), n, pic)) << n << " bytes";
  }
  EXPECT_FALSE(ParsePictureFile(nullptr, 100, pic));
  // 54 bytes: header complete, everything else reads as zeros.
  EXPECT_TRUE(ParsePictureFile(good.data(), 54, pic));
}

TEST(PictureFile, RandomlyDamagedFilesNeverLeadOutsideTheBlocks) {
  std::vector<std::vector<BYTE>> seeds = {MakeBmp(9, 5, 1), MakeBmp(9, 5, 4), MakeBmp(9, 5, 8), MakeBmp(9, 5, 24),
                                          MakeBmp(3, 3, 32), MakeRle8(6, 4), MakeBmp(7, 4, 24, true)};
  std::mt19937 rng(7);
  int accepted = 0;
  for (int round = 0; round < 3000; ++round) {
    std::vector<BYTE> file = seeds[rng() % seeds.size()];
    const int edits = 1 + static_cast<int>(rng() % 6);
    for (int e = 0; e < edits; ++e) {
      // Mostly the headers, where the sizes live; sometimes anywhere.
      size_t at = (rng() % 4 != 0) ? rng() % 54 : rng() % file.size();
      switch (rng() % 4) {
        case 0: file[at] = static_cast<BYTE>(rng()); break;
        case 1: file[at] ^= static_cast<BYTE>(1u << (rng() % 8)); break;
        case 2: if (at + 4 <= file.size()) Put32(file, at, static_cast<DWORD>(rng() % 70000)); break;
        default: file.resize(rng() % (file.size() + 1)); if (file.empty()) file.push_back(0); break;
      }
    }
    PictureFile pic;
    if (!Parse(file, pic)) continue;
    ++accepted;
    const BITMAPINFOHEADER& h = pic.Header();
    ASSERT_EQ(40u, h.biSize);
    ASSERT_GT(h.biWidth, 0);
    ASSERT_GT(pic.Rows(), 0);
    if (h.biHeight < 0) {
      ASSERT_TRUE(h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS);
    }
    if (h.biCompression == BI_RGB) {
      const ULONGLONG stride = ((static_cast<ULONGLONG>(h.biWidth) * h.biBitCount + 31) / 32) * 4;
      ASSERT_GE(pic.bits.size(), stride * static_cast<ULONGLONG>(pic.Rows())) << "round " << round;
    }
    // Small pictures are drawn for real behind guard pages; a read past a block faults (or,
    // under Wine, fails the call).
    if (static_cast<ULONGLONG>(h.biWidth) * pic.Rows() <= 4096) {
      Draw(pic, 16, 16);
      ASSERT_NE(0, g_lastDrawResult) << "round " << round << ": " << h.biWidth << "x" << h.biHeight << " bpp "
                                     << h.biBitCount << " compression " << h.biCompression;
    }
  }
  EXPECT_GT(accepted, 100) << "the damage should leave many files usable";
}

// --- reading the file

class PictureFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    m_path = std::string(dir) + "tz_picture_test.bmp";
  }
  void TearDown() override { DeleteFileA(m_path.c_str()); }
  void Write(const std::vector<BYTE>& bytes) {
    HANDLE f = CreateFileA(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    DWORD written = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(f);
  }
  std::string m_path;
};

TEST_F(PictureFileOnDisk, ReadsMakesBlocksAndPalette) {
  Write(MakeBmp(20, 10, 8));
  PictureFile pic;
  ASSERT_TRUE(ReadPictureFile(m_path.c_str(), pic));
  PictureHandles h;
  ASSERT_TRUE(MakePictureBlocks(pic, h));
  ASSERT_NE(nullptr, h.palette);
  EXPECT_EQ(pic.info.size(), GlobalSize(h.info));
  EXPECT_EQ(pic.bits.size(), GlobalSize(h.bits));
  PALETTEENTRY entries[256];
  ASSERT_EQ(256u, GetPaletteEntries(h.palette, 0, 256, entries));
  for (int i = 0; i < 256; ++i) {
    Rgb c = PaletteColour(i);
    EXPECT_EQ(c.r, entries[i].peRed) << i;
    EXPECT_EQ(c.g, entries[i].peGreen) << i;
    EXPECT_EQ(c.b, entries[i].peBlue) << i;
    EXPECT_EQ(0, entries[i].peFlags) << i;
  }
  void* info = GlobalLock(h.info);
  EXPECT_EQ(0, std::memcmp(info, pic.info.data(), pic.info.size()));
  GlobalUnlock(h.info);
  GlobalFree(h.info);
  GlobalFree(h.bits);
  DeleteObject(h.palette);
}

TEST_F(PictureFileOnDisk, TrueColourPictureHasNoPalette) {
  Write(MakeBmp(5, 5, 24));
  PictureFile pic;
  ASSERT_TRUE(ReadPictureFile(m_path.c_str(), pic));
  PictureHandles h;
  ASSERT_TRUE(MakePictureBlocks(pic, h));
  EXPECT_EQ(nullptr, h.palette);
  GlobalFree(h.info);
  GlobalFree(h.bits);
}

TEST_F(PictureFileOnDisk, MissingOrOpenElsewhereIsNoPicture) {
  PictureFile pic;
  EXPECT_FALSE(ReadPictureFile(m_path.c_str(), pic));
  EXPECT_FALSE(ReadPictureFile(nullptr, pic));
  Write(MakeBmp(4, 4, 8));
  // Another handle on the file, even a sharing one, defeats the exclusive open.
  HANDLE other = CreateFileA(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, other);
  EXPECT_FALSE(ReadPictureFile(m_path.c_str(), pic));
  CloseHandle(other);
  EXPECT_TRUE(ReadPictureFile(m_path.c_str(), pic));
}

}  // namespace
