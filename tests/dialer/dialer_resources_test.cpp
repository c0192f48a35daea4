// The dialer's resources as compiled from its script (linked into this test): both dialog
// templates control by control, the icon's two images, the cursor's hot spot, the button
// bitmap and the version resource.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Item {
  DWORD style = 0;
  DWORD exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  int id = 0;
  int classAtom = 0;  // 0x80 button, 0x81 edit, 0x82 static, 0x83 list box...; 0: by name
  std::string className;
  std::string text;
  int textOrdinal = -1;
};

struct Dialog {
  DWORD style = 0;
  DWORD exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  std::string caption;
  int pointSize = 0;
  std::string font;
  std::vector<Item> items;
};

class Reader {
 public:
  Reader(const BYTE* p, size_t size) : m_p(p), m_end(p + size) {}
  template <class T>
  T Get() {
    T v{};
    if (m_p + sizeof(T) <= m_end) std::memcpy(&v, m_p, sizeof(T));
    m_p += sizeof(T);
    return v;
  }
  std::string String() {
    std::string s;
    for (WORD c; (c = Get<WORD>()) != 0 && m_p <= m_end;) s += static_cast<char>(c);
    return s;
  }
  // A name or ordinal: 0xFFFF followed by a number, or a string.
  void NameOrOrdinal(std::string* name, int* ordinal) {
    WORD first = Get<WORD>();
    if (first == 0xFFFF) {
      *ordinal = Get<WORD>();
      return;
    }
    if (first == 0) return;
    m_p -= sizeof(WORD);
    *name = String();
  }
  void AlignDword(const BYTE* base) {
    while ((m_p - base) % 4 != 0) ++m_p;
  }
  const BYTE* m_p;
  const BYTE* m_end;
};

Dialog LoadDialog(int id) {
  Dialog d;
  HRSRC res = FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));  // RT_DIALOG
  if (res == nullptr) return d;
  const BYTE* base = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, res)));
  Reader r(base, SizeofResource(nullptr, res));
  const bool ex = reinterpret_cast<const WORD*>(base)[1] == 0xFFFF;
  WORD count = 0;
  if (ex) {
    r.Get<WORD>();
    r.Get<WORD>();
    r.Get<DWORD>();  // help id
    d.exStyle = r.Get<DWORD>();
    d.style = r.Get<DWORD>();
  } else {
    d.style = r.Get<DWORD>();
    d.exStyle = r.Get<DWORD>();
  }
  count = r.Get<WORD>();
  d.x = r.Get<short>();
  d.y = r.Get<short>();
  d.cx = r.Get<short>();
  d.cy = r.Get<short>();
  std::string ignored;
  int ord = 0;
  r.NameOrOrdinal(&ignored, &ord);  // menu
  r.NameOrOrdinal(&ignored, &ord);  // class
  d.caption = r.String();
  if (d.style & DS_SETFONT) {
    d.pointSize = r.Get<WORD>();
    if (ex) {
      r.Get<WORD>();
      r.Get<BYTE>();
      r.Get<BYTE>();
    }
    d.font = r.String();
  }
  for (WORD i = 0; i < count; ++i) {
    r.AlignDword(base);
    Item item;
    if (ex) {
      r.Get<DWORD>();
      item.exStyle = r.Get<DWORD>();
      item.style = r.Get<DWORD>();
    } else {
      item.style = r.Get<DWORD>();
      item.exStyle = r.Get<DWORD>();
    }
    item.x = r.Get<short>();
    item.y = r.Get<short>();
    item.cx = r.Get<short>();
    item.cy = r.Get<short>();
    item.id = ex ? static_cast<int>(r.Get<DWORD>()) : static_cast<short>(r.Get<WORD>());
    r.NameOrOrdinal(&item.className, &item.classAtom);
    // The predefined classes may be stored by name instead of by atom.
    const char* names[] = {"button", "edit", "static"};
    for (int k = 0; k < 3; ++k) {
      if (lstrcmpiA(item.className.c_str(), names[k]) == 0) item.classAtom = 0x80 + k;
    }
    r.NameOrOrdinal(&item.text, &item.textOrdinal);
    WORD extra = r.Get<WORD>();
    r.m_p += extra;
    d.items.push_back(item);
  }
  return d;
}

struct Expected {
  int id;
  int atom;
  const char* text;
  short x, y, cx, cy;
  DWORD mustHave;
  DWORD mustLack;
};

void ExpectItems(const Dialog& d, const std::vector<Expected>& want) {
  ASSERT_EQ(want.size(), d.items.size());
  for (size_t i = 0; i < want.size(); ++i) {
    const Item& got = d.items[i];
    const Expected& w = want[i];
    SCOPED_TRACE("item " + std::to_string(i) + " \"" + w.text + "\"");
    EXPECT_EQ(w.id, got.id);
    EXPECT_EQ(w.atom, got.classAtom);
    if (w.text[0] != '#') {  // '#': any text
      EXPECT_EQ(w.text, got.text);
    }
    EXPECT_EQ(w.x, got.x);
    EXPECT_EQ(w.y, got.y);
    EXPECT_EQ(w.cx, got.cx);
    EXPECT_EQ(w.cy, got.cy);
    EXPECT_EQ(w.mustHave, got.style & w.mustHave) << std::hex << got.style;
    EXPECT_EQ(0u, got.style & w.mustLack) << std::hex << got.style;
  }
}

constexpr int kButton = 0x80, kEdit = 0x81, kStatic = 0x82;

TEST(Resources, MainDialogFollowsItsTable) {
  Dialog d = LoadDialog(102);
  EXPECT_EQ("Tessory Dialer", d.caption);
  EXPECT_EQ(237, d.cx);
  EXPECT_EQ(276, d.cy);
  EXPECT_EQ(8, d.pointSize);
  EXPECT_EQ("MS Sans Serif", d.font);
  const DWORD want = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  EXPECT_EQ(want, d.style & want);
  EXPECT_EQ(0u, d.style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  EXPECT_EQ(static_cast<DWORD>(WS_EX_APPWINDOW), d.exStyle & WS_EX_APPWINDOW);
  const DWORD edit = WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP;
  ExpectItems(d, {
                     {1003, kStatic, "", 5, 5, 225, 90, SS_GRAYFRAME, 0},
                     {-1, kButton, "Account", 5, 105, 150, 85, BS_GROUPBOX, 0},
                     {-1, kStatic, "&User name:", 10, 119, 37, 8, 0, SS_NOPREFIX},
                     {1000, kEdit, "", 55, 116, 95, 14, edit, ES_PASSWORD},
                     {-1, kStatic, "&Password:", 10, 138, 34, 8, 0, SS_NOPREFIX},
                     {1001, kEdit, "", 55, 135, 95, 14, edit | ES_PASSWORD, 0},
                     {1006, kStatic, "&Domain", 10, 159, 25, 8, 0, 0},
                     {1005, kEdit, "", 55, 156, 95, 14, edit, ES_PASSWORD},
                     {1002, kButton, "&Save password", 10, 175, 65, 10, BS_AUTOCHECKBOX | WS_TABSTOP, 0},
                     {-1, kButton, "Status", 5, 200, 150, 70, BS_GROUPBOX, 0},
                     {1004, kEdit, "", 10, 210, 140, 55, ES_MULTILINE | ES_READONLY | WS_VSCROLL, WS_BORDER},
                     {IDOK, kButton, "Connect", 160, 110, 70, 15, BS_DEFPUSHBUTTON, 0},
                     {IDCANCEL, kButton, "Cancel", 160, 130, 70, 15, 0, BS_DEFPUSHBUTTON},
                     {1008, kButton, "VELMORA", 160, 205, 70, 65, BS_OWNERDRAW | WS_TABSTOP, 0},
                 });
}

TEST(Resources, AboutDialogFollowsItsTable) {
  Dialog d = LoadDialog(100);
  EXPECT_EQ("About Tessory", d.caption);
  EXPECT_EQ(252, d.cx);
  EXPECT_EQ(101, d.cy);
  EXPECT_EQ(8, d.pointSize);
  EXPECT_EQ("MS Sans Serif", d.font);
  const DWORD want = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  EXPECT_EQ(want, d.style & want);
  ASSERT_EQ(8u, d.items.size());
  EXPECT_EQ(128, d.items[0].textOrdinal) << "the icon control shows icon 128";
  EXPECT_EQ(static_cast<DWORD>(SS_ICON), d.items[0].style & 0x1F);
  EXPECT_EQ(10, d.items[0].x);
  EXPECT_EQ(10, d.items[0].y);
  EXPECT_EQ(20, d.items[0].cx);
  EXPECT_EQ(20, d.items[0].cy);
  d.items.erase(d.items.begin());
  ExpectItems(d, {
                     {-1, kStatic, "Tessory Version 2.0", 40, 10, 145, 8, SS_NOPREFIX, 0},
                     {-1, kStatic, "Build", 40, 20, 20, 8, 0, 0},
                     {1009, kStatic, "Build Info", 65, 20, 65, 8, 0, 0},
                     {-1, kStatic, "(TzDialer.exe)", 40, 35, 145, 8, 0, 0},
                     {-1, kStatic, "#support", 40, 60, 170, 10, 0, 0},
                     {-1, kStatic, "#notice", 40, 75, 170, 17, 0, 0},
                     {IDOK, kButton, "OK", 195, 10, 50, 15, BS_DEFPUSHBUTTON, 0},
                 });
  EXPECT_FALSE(d.items[4].text.empty());
  EXPECT_NE(std::string::npos, d.items[5].text.find('\n')) << "a two-line notice";
}

TEST(Resources, IconHasA24BitAndA16ColourImage) {
  HRSRC group = FindResourceA(nullptr, MAKEINTRESOURCEA(128), MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
  ASSERT_NE(nullptr, group);
  const BYTE* p = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, group)));
  const WORD count = reinterpret_cast<const WORD*>(p)[2];
  ASSERT_EQ(2, count);
  struct Entry {
    int w, h, bits;
  };
  std::vector<Entry> entries;
  for (int i = 0; i < count; ++i) {
    const BYTE* e = p + 6 + 14 * i;  // GRPICONDIRENTRY
    entries.push_back({e[0] == 0 ? 256 : e[0], e[1] == 0 ? 256 : e[1], *reinterpret_cast<const WORD*>(e + 6)});
  }
  EXPECT_EQ(32, entries[0].w);
  EXPECT_EQ(32, entries[0].h);
  EXPECT_EQ(24, entries[0].bits);
  EXPECT_EQ(16, entries[1].w);
  EXPECT_EQ(16, entries[1].h);
  EXPECT_EQ(4, entries[1].bits);
  EXPECT_NE(nullptr, LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(128)));
}

TEST(Resources, CursorIsATwoColourHandWithItsHotSpotAtTheFingertip) {
  HCURSOR cursor = LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(135));
  ASSERT_NE(nullptr, cursor);
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(cursor, &info));
  EXPECT_FALSE(info.fIcon);
  EXPECT_EQ(12u, info.xHotspot);
  EXPECT_EQ(3u, info.yHotspot);
  BITMAP mask{};
  ASSERT_NE(0, GetObjectA(info.hbmMask, sizeof mask, &mask));
  EXPECT_EQ(32, mask.bmWidth);
  EXPECT_EQ(64, mask.bmHeight) << "two-colour: AND and XOR masks, no colour bitmap";
  EXPECT_EQ(nullptr, info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  if (info.hbmColor) DeleteObject(info.hbmColor);
}

TEST(Resources, ButtonBitmapIs100By100With256Colours) {
  HRSRC res = FindResourceA(nullptr, "VELMORAU", MAKEINTRESOURCEA(2));  // RT_BITMAP
  ASSERT_NE(nullptr, res);
  const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(nullptr, res)));
  EXPECT_EQ(100, header->biWidth);
  EXPECT_EQ(100, header->biHeight);
  EXPECT_EQ(8, header->biBitCount);
  for (const char* missing : {"VELMORAD", "VELMORAF", "VELMORAX"}) {
    EXPECT_EQ(nullptr, FindResourceA(nullptr, missing, MAKEINTRESOURCEA(2))) << missing;
  }
}

std::string VersionString(const std::vector<BYTE>& block, const char* name) {
  char* value = nullptr;
  UINT len = 0;
  std::string query = std::string("\\StringFileInfo\\040904b0\\") + name;
  if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &len) || value == nullptr) {
    return "(missing)";
  }
  return std::string(value, len > 0 && value[len - 1] == '\0' ? len - 1 : len);
}

TEST(Resources, VersionResource) {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &handle);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &len));
  EXPECT_EQ(MAKELONG(4, 1), fixed->dwFileVersionMS);
  EXPECT_EQ(0u, fixed->dwFileVersionLS);
  EXPECT_EQ(MAKELONG(4, 1), fixed->dwProductVersionMS);
  EXPECT_EQ(0u, fixed->dwProductVersionLS);
  EXPECT_EQ("2.0", VersionString(block, "FileVersion"));
  EXPECT_EQ("2.0", VersionString(block, "ProductVersion"));
  EXPECT_EQ("TzDialer", VersionString(block, "InternalName"));
  EXPECT_EQ("TzDialer Application for Win95 and WinNT", VersionString(block, "FileDescription"));
  EXPECT_EQ("TzDialer Application", VersionString(block, "ProductName"));
}

}  // namespace
