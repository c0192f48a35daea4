// Framework layer: message tables, data exchange rules, dialog attachment, profile.
#include <windows.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "FailureSeam.h"
#include "Framework.h"

namespace {

// The application object the framework's helpers expect; the test runs it by hand.
class TestApp : public CWinApp {};
TestApp g_app;

struct AppSetUp {
  AppSetUp() {
    g_app.m_hInstance = GetModuleHandleA(nullptr);
    g_app.m_strAppName = fw::LoadStr(AFX_IDS_APP_TITLE);
  }
} g_appSetUp;

class TestDialog : public CDialog {
 public:
  TestDialog() : CDialog(200) {}
  std::function<void(TestDialog&)> body;
  std::string first, second;
  int check = 0;
  int changeCount = 0;
  int createSeen = 0;
  int okCount = 0;
  int bindCount = 0;
  bool withLimit = true;
  bool failExchange = false;
  CWnd boundEdit;

  void DoDataExchange(CDataExchange* dx) override {
    if (boundEdit.m_hWnd == nullptr) ++bindCount;
    DDX_Control(dx, 1000, boundEdit);
    if (withLimit) {
      DDX_Text(dx, 1000, first, 10);
    } else {
      DDX_Text(dx, 1000, first);
    }
    DDX_Check(dx, 1002, check);
    DDX_Text(dx, 1001, second);
    if (failExchange) {
      failExchange = false;
      seam::FailNextAllocation();
      second = std::string(200, 'x');
    }
  }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    if (body) body(*this);
    EndDialog(IDCANCEL);
    return TRUE;
  }
  LRESULT OnCreateMsg(WPARAM, LPARAM) {
    ++createSeen;
    return Default();
  }
  void OnFirstChanged() { ++changeCount; }
  void OnOkCommand() { ++okCount; }
  void OnRewrite() { UpdateData(false); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestDialog, CDialog)
  ON_MESSAGE(WM_CREATE, &TestDialog::OnCreateMsg)
  ON_EN_CHANGE(1000, &TestDialog::OnFirstChanged)
  ON_COMMAND(IDOK, &TestDialog::OnOkCommand)
  ON_COMMAND(0x7050, &TestDialog::OnRewrite)
END_MESSAGE_MAP()

std::string Text(HWND dlg, int id) { return fw::GetWindowString(GetDlgItem(dlg, id)); }

}  // namespace

TEST(FwStrings, TrimAndBuffers) {
  EXPECT_EQ("a b", fw::Trim(" \t a b \r\n"));
  EXPECT_EQ("", fw::Trim("   "));
  const char noTerminator[3] = {'a', 'b', 'c'};
  EXPECT_EQ("abc", fw::FromBuffer(noTerminator, sizeof(noTerminator)));
  const char early[5] = {'a', 0, 'b', 'c', 0};
  EXPECT_EQ("a", fw::FromBuffer(early, sizeof(early)));
  EXPECT_EQ("no more than 100 chars, 100", fw::FormatPercent1("no more than %1 chars, %1", "100"));
  EXPECT_EQ("Please enter no more than %1 characters.", fw::LoadStr(AFX_IDP_PARSE_STRING_SIZE));
  // Wiping covers the whole buffer: what a longer earlier text left past the end goes too.
  std::string secret(40, 's');
  secret = "ab";
  const char* buffer = secret.data();
  const size_t bytes = secret.capacity();
  fw::WipeString(secret);
  EXPECT_TRUE(secret.empty());
  ASSERT_EQ(buffer, secret.data());
  EXPECT_EQ(std::string(bytes, '\0'), std::string(buffer, bytes));
}

TEST(Dialog, CreateReachesTheDialogAndInitWritesMembers) {
  TestDialog dlg;
  dlg.first = "hello";
  dlg.second = "world";
  dlg.check = 1;
  std::string seenFirst, seenSecond;
  LRESULT seenCheck = -1, seenLimit = -1;
  dlg.body = [&](TestDialog& d) {
    seenFirst = Text(d.m_hWnd, 1000);
    seenSecond = Text(d.m_hWnd, 1001);
    seenCheck = SendMessageA(d.GetDlgItem(1002), BM_GETCHECK, 0, 0);
    seenLimit = SendMessageA(d.GetDlgItem(1000), EM_GETLIMITTEXT, 0, 0);
  };
  EXPECT_EQ(IDCANCEL, dlg.DoModal());
  EXPECT_EQ(1, dlg.createSeen) << "WM_CREATE must reach the dialog's table";
  EXPECT_EQ("hello", seenFirst);
  EXPECT_EQ("world", seenSecond);
  EXPECT_EQ(BST_CHECKED, seenCheck);
  EXPECT_EQ(10, seenLimit) << "writing a limited text sets EM_LIMITTEXT";
  EXPECT_EQ(nullptr, dlg.m_hWnd) << "the object is detached once the window is gone";
}

TEST(Dialog, WriteLeavesAControlThatHoldsTheTextAlone) {
  TestDialog dlg;
  dlg.first = "same";
  int changesAfterInit = -1, changesAfterRewrite = -1, changesAfterNewText = -1;
  bool writingSeenInHandler = false;
  dlg.body = [&](TestDialog& d) {
    changesAfterInit = d.changeCount;
    d.UpdateData(false);
    changesAfterRewrite = d.changeCount;
    d.first = "other";
    d.UpdateData(false);
    changesAfterNewText = d.changeCount;
    writingSeenInHandler = !d.IsWritingControls();
  };
  dlg.DoModal();
  EXPECT_EQ(changesAfterInit, changesAfterRewrite) << "an unchanged text must not be written again";
  EXPECT_EQ(changesAfterRewrite + 1, changesAfterNewText);
  EXPECT_TRUE(writingSeenInHandler);
}

TEST(Dialog, CheckStatesOutsideTheRangeWriteZero) {
  for (int value : {0, 1, 2, 3, -1, 77}) {
    TestDialog dlg;
    dlg.check = value;
    LRESULT seen = -1;
    dlg.body = [&](TestDialog& d) { seen = SendMessageA(d.GetDlgItem(1002), BM_GETCHECK, 0, 0); };
    dlg.DoModal();
    int expected = (value >= 0 && value <= 2) ? value : 0;
    EXPECT_EQ(expected, seen) << "value " << value;
  }
}

TEST(Dialog, ReadingATooLongTextFailsWithTheMessageAndStopsTheExchange) {
  TestDialog dlg;
  bool result = true;
  HWND focusAfter = nullptr, firstEdit = nullptr;
  std::string readFirst, readSecond;
  seam::BoxWatcher watcher;
  watcher.caption = "Framework Test";
  dlg.body = [&](TestDialog& d) {
    // WM_SETTEXT ignores the limit, as a paste from another program would not.
    SetWindowTextA(d.GetDlgItem(1000), "12345678901");
    SetWindowTextA(d.GetDlgItem(1001), "second");
    firstEdit = d.GetDlgItem(1000);
    watcher.Start();
    result = d.UpdateData(true);
    watcher.Join();
    focusAfter = GetFocus();
    readFirst = d.first;
    readSecond = d.second;
  };
  dlg.DoModal();
  EXPECT_FALSE(result);
  EXPECT_EQ(1, watcher.seen);
  EXPECT_EQ("Please enter no more than 10 characters.", watcher.text);
  EXPECT_EQ(firstEdit, focusAfter) << "focus goes back to the edit that failed";
  EXPECT_EQ("12345678901", readFirst) << "members read before the check keep their values";
  EXPECT_EQ("", readSecond) << "the exchange stops at the failed check";
}

TEST(Dialog, ExactlyTheLimitIsAccepted) {
  TestDialog dlg;
  bool result = false;
  dlg.body = [&](TestDialog& d) {
    SetWindowTextA(d.GetDlgItem(1000), "1234567890");
    result = d.UpdateData(true);
  };
  dlg.DoModal();
  EXPECT_TRUE(result);
  EXPECT_EQ("1234567890", dlg.first);
}

TEST(Dialog, ControlsBindOnTheFirstExchangeOnly) {
  TestDialog dlg;
  HWND bound = nullptr;
  dlg.body = [&](TestDialog& d) {
    d.UpdateData(true);
    d.UpdateData(false);
    bound = d.boundEdit.m_hWnd;
  };
  dlg.DoModal();
  EXPECT_EQ(1, dlg.bindCount);
  EXPECT_NE(nullptr, bound);
  EXPECT_EQ(nullptr, dlg.boundEdit.m_hWnd) << "the control's object is detached with its window";
}

// Reaches the creation hook that the framework's windows use.
struct CreationHook : CWnd {
  static void Arm(CWnd* wnd) { HookWindowCreate(wnd); }
  static bool Disarm() { return UnhookWindowCreate(); }
};

LRESULT CALLBACK ImeProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(wnd, msg, wParam, lParam);
}

// An input method (East Asian Windows) creates windows of its own on the thread, also while a
// framework window is being created: the object goes to the framework's window all the same.
TEST(CreationHook, InputMethodWindowsAreSkipped) {
  const HINSTANCE inst = GetModuleHandleA(nullptr);
  struct Case {
    const char* cls;
    UINT style;
  } cases[] = {{"IME", 0}, {"TzImeUi", CS_IME}};
  for (const Case& c : cases) {
    WNDCLASSA wc{};
    wc.style = c.style;
    wc.lpfnWndProc = &ImeProc;
    wc.hInstance = inst;
    wc.lpszClassName = c.cls;
    ASSERT_NE(0, RegisterClassA(&wc)) << c.cls;
    CWnd obj;
    CreationHook::Arm(&obj);
    HWND ime = CreateWindowExA(0, c.cls, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, inst, nullptr);
    HWND mine = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, inst, nullptr);
    EXPECT_TRUE(CreationHook::Disarm()) << c.cls;
    ASSERT_NE(nullptr, ime) << c.cls;
    ASSERT_NE(nullptr, mine);
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(ime)) << c.cls;
    EXPECT_EQ(&obj, CWnd::FromHandlePermanent(mine)) << c.cls;
    EXPECT_EQ(mine, obj.m_hWnd) << c.cls;
    DestroyWindow(ime);
    DestroyWindow(mine);
    EXPECT_EQ(nullptr, obj.m_hWnd) << "detached with its window";
  }
}

TEST(MessageTables, DerivedEntriesWinAndCommandsRoute) {
  TestDialog dlg;
  dlg.withLimit = false;
  INT_PTR code = 0;
  dlg.body = [&](TestDialog& d) {
    // The derived table binds IDOK, so the base's OnOK (which would end the dialog) is not run.
    SendMessageA(d.m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(d.GetDlgItem(IDOK)));
    SendMessageA(d.m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, 1), 0);  // accelerator form
    // An edit's change notification with another code does not reach the EN_CHANGE entry.
    SendMessageA(d.m_hWnd, WM_COMMAND, MAKEWPARAM(1000, EN_SETFOCUS), reinterpret_cast<LPARAM>(d.GetDlgItem(1000)));
  };
  code = dlg.DoModal();
  EXPECT_EQ(IDCANCEL, code);
  EXPECT_EQ(2, dlg.okCount);
  EXPECT_EQ(0, dlg.changeCount);
}

TEST(Profile, IntegersAreDwordsInSectionsUnderTheVendorKey) {
  g_app.SetRegistryKey("Velmora");
  g_app.m_strProfileName = "FwProfileTest";
  EXPECT_EQ(7u, g_app.GetProfileInt("Options", "Missing", 7));
  ASSERT_TRUE(g_app.WriteProfileInt("Options", "SavePassword", 1));
  EXPECT_EQ(1u, g_app.GetProfileInt("Options", "SavePassword", 0));
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Velmora\\FwProfileTest\\Options", 0,
                                         KEY_READ, &key));
  DWORD type = 0, value = 0, size = sizeof(value);
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "SavePassword", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
  EXPECT_EQ(1u, value);
  // A value of another type is not an integer: the default applies.
  RegSetValueExA(key, "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>("5"), 2);
  RegCloseKey(key);
  EXPECT_EQ(3u, g_app.GetProfileInt("Options", "Text", 3));
  ASSERT_TRUE(g_app.WriteProfileString("Settings", "Name", "abc"));
  EXPECT_EQ("abc", g_app.GetProfileString("Settings", "Name", "x"));
  EXPECT_EQ("x", g_app.GetProfileString("Settings", "Absent", "x"));
}

// Out of memory in a handler is reported with the framework's text and goes no further than
// the window procedure: a failed initialisation ends only that dialog, a failed command
// leaves the dialog running with its state whole, and the next dialog works.
TEST(HandlerFailures, OutOfMemoryIsReportedAndStopsAtTheWindowProcedure) {
  seam::BoxWatcher watcher;
  watcher.caption = "Framework Test";
  watcher.Start();
  TestDialog failing;
  failing.body = [](TestDialog& d) {
    seam::FailNextAllocation();
    d.first = std::string(100, 'x');
  };
  EXPECT_EQ(-1, failing.DoModal()) << "a dialog whose initialisation failed ends with -1";
  watcher.Join();
  EXPECT_EQ(1, watcher.seen);
  EXPECT_EQ("Out of memory.", watcher.text);
  EXPECT_EQ(nullptr, failing.m_hWnd);

  TestDialog dlg;
  bool alive = false, writing = true;
  int seenBoxes = -1;
  std::string reportText;
  dlg.body = [&](TestDialog& d) {
    seam::BoxWatcher w;
    w.caption = "Framework Test";
    w.Start();
    d.failExchange = true;
    SendMessageA(d.m_hWnd, WM_COMMAND, 0x7050, 0);  // UpdateData(false) runs out of memory
    w.Join();
    seenBoxes = w.seen;
    reportText = w.text;
    alive = IsWindow(d.m_hWnd) != FALSE;
    writing = d.IsWritingControls();
    d.first = "after";
    d.UpdateData(false);
  };
  EXPECT_EQ(IDCANCEL, dlg.DoModal());
  EXPECT_EQ(1, seenBoxes);
  EXPECT_EQ("Out of memory.", reportText);
  EXPECT_TRUE(alive);
  EXPECT_FALSE(writing) << "the write count is balanced after the failure";
  EXPECT_EQ(1, dlg.createSeen) << "the next dialog is attached as usual";
}

// The registry text reader both programs' settings go through.
class RegistryText : public ::testing::Test {
 protected:
  static constexpr char kKey[] = "Software\\TzFrameworkRegistryTextTest";
  void SetUp() override {
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &m_key, nullptr));
  }
  void TearDown() override {
    RegCloseKey(m_key);
    RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
  }
  void Set(const char* name, DWORD type, const void* data, size_t size) {
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(m_key, name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size)));
  }
  void SetText(const char* name, const std::string& text) { Set(name, REG_SZ, text.c_str(), text.size() + 1); }
  // Reads with |out| preset, so that "left alone" shows.
  bool Read(const char* name, DWORD bufferSize, std::string& out, const char* key = kKey) {
    out = "untouched";
    return fw::ReadRegistryText(HKEY_CURRENT_USER, key, name, bufferSize, out);
  }
  HKEY m_key = nullptr;
};

TEST_F(RegistryText, MissingNullOrTooLongIsMissingAndLeavesTheOutput) {
  std::string out;
  SetText("V", "x");
  EXPECT_FALSE(Read("V", 16, out, "Software\\TzFrameworkRegistryTextTest\\NoSuchKey"));
  EXPECT_FALSE(Read("NoSuchValue", 16, out));
  EXPECT_FALSE(Read(nullptr, 16, out)) << "a null name is not the key's default value";
  EXPECT_FALSE(Read("V", 16, out, nullptr));
  EXPECT_FALSE(Read("V", 0, out));
  // The buffer counts the terminating zero, and blanks count too, for every size in use.
  for (DWORD size : {16u, 128u, 256u}) {
    SetText("V", std::string(size - 5, ' ') + "true");
    EXPECT_TRUE(Read("V", size, out)) << size;
    EXPECT_EQ("true", out) << size;
    SetText("V", std::string(size - 4, ' ') + "true");
    EXPECT_FALSE(Read("V", size, out)) << size << ": one byte over";
    EXPECT_EQ("untouched", out) << size;
  }
  SetText("V", std::string(5000, 'c'));
  EXPECT_FALSE(Read("V", 256, out));
  EXPECT_EQ("untouched", out);
}

TEST_F(RegistryText, CutAtTheFirstZeroWithinWhatTheQueryReturnedAndTrimmed) {
  std::string out;
  struct Case {
    DWORD type;
    std::string data;  // as stored, zero bytes included
    std::string text;
  } cases[] = {
      {REG_SZ, std::string(" \t Yes \r\n\0", 10), "Yes"},
      {REG_SZ, std::string("   \0", 4), ""},  // blank and empty values succeed, empty
      {REG_SZ, std::string("\0", 1), ""},
      {REG_SZ, "", ""},
      {REG_SZ, std::string("ab\0cd\0", 6), "ab"},
      {REG_MULTI_SZ, std::string("first\0second\0\0", 14), "first"},
      {REG_SZ, "abcd", "abcd"},  // no terminator: the text ends with the data
      {REG_BINARY, "xyz", "xyz"},
      {REG_BINARY, std::string(16, 'q'), std::string(16, 'q')},  // exactly the buffer, no zero
      {REG_DWORD, std::string("ABC\0", 4), "ABC"},               // the type is not looked at
      {REG_EXPAND_SZ, std::string(" %TEMP%\\x.wav \0", 15), "%TEMP%\\x.wav"},  // never expanded
  };
  for (const Case& c : cases) {
    Set("V", c.type, c.data.data(), c.data.size());
    EXPECT_TRUE(Read("V", 16, out)) << c.text;
    EXPECT_EQ(c.text, out);
  }
  Set("V", REG_BINARY, std::string(17, 'q').data(), 17);
  EXPECT_FALSE(Read("V", 16, out)) << "one byte over the buffer, without a zero";
}
