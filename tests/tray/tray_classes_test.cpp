// Classes of the tray program on their own. The notification-area icon, against a shell of
// the test's: a refused add or change leaves no icon counted as shown and the next show adds
// it afresh; shown again when the taskbar is created; removing when nothing is shown makes no
// shell call; a platform without a menu (or none known yet) gets no menu; a message to the
// menu's owner after it closes. The service-name dialog running out of memory.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FailureSeam.h"
#include "Framework.h"
#include "SERVICE_NAME_DIALOG.h"
#include "StartupRules.h"
#include "SYSTEM_TRAY_ICON.h"
#include "res/resource.h"

namespace {

class TestApp : public CWinApp {};
TestApp g_app;

std::vector<std::string> g_calls;
bool g_refuse = false;
bool g_refuseAdd = false;  // a shell that still has the icon refuses to add it again

BOOL WINAPI FakeShell(DWORD operation, PNOTIFYICONDATAA data) {
  const char* names[] = {"add", "modify", "delete"};
  std::string call = operation <= NIM_DELETE ? names[operation] : "other";
  const auto* record = reinterpret_cast<const TrayIconRecord*>(data);
  call += record->hIcon != nullptr ? " icon" : " no-icon";
  g_calls.push_back(call);
  return g_refuse || (g_refuseAdd && operation == NIM_ADD) ? FALSE : TRUE;
}

struct Icon : ::testing::Test {
  void SetUp() override {
    g_app.m_hInstance = GetModuleHandleA(nullptr);
    g_app.m_strAppName = fw::LoadStr(AFX_IDS_APP_TITLE);
    g_calls.clear();
    g_refuse = false;
    g_refuseAdd = false;
  }
};

TEST_F(Icon, ARefusedShowCountsAsNotShownAndTheNextShowAddsAfresh) {
  {
    SYSTEM_TRAY_ICON icon;
    icon.m_pfnShellNotify = &FakeShell;
    icon.Init(ID_TRAY_ICON);
    g_refuse = true;
    EXPECT_FALSE(icon.ShowResourceIcon(IDI_TRAY));
    EXPECT_FALSE(icon.IsShown());
    g_refuse = false;
    EXPECT_TRUE(icon.ShowResourceIcon(IDI_TRAY));
    EXPECT_TRUE(icon.IsShown());
    EXPECT_TRUE(icon.ShowResourceIcon(IDI_TRAY));  // shown: a change
    g_refuse = true;
    EXPECT_FALSE(icon.ShowResourceIcon(IDI_TRAY));  // a refused change: gone as far as we know
    EXPECT_FALSE(icon.IsShown());
    g_refuse = false;
    EXPECT_TRUE(icon.ShowResourceIcon(IDI_TRAY));
    EXPECT_NE(0, icon.m_nid.szTip[0]) << "the tooltip from the icon's string";
  }  // shown: the end removes it
  EXPECT_EQ((std::vector<std::string>{"add icon", "add icon", "modify icon", "modify icon", "add icon", "delete icon"}),
            g_calls);
}

TEST_F(Icon, RemovingWhenNothingIsShownMakesNoShellCall) {
  {
    SYSTEM_TRAY_ICON icon;
    icon.m_pfnShellNotify = &FakeShell;
    icon.Init(ID_TRAY_ICON);
    EXPECT_TRUE(icon.ShowResourceIcon(0));
    ASSERT_TRUE(icon.ShowResourceIcon(IDI_TRAY));
    EXPECT_TRUE(icon.ShowResourceIcon(0));
    EXPECT_FALSE(icon.IsShown());
    EXPECT_TRUE(icon.ShowResourceIcon(0));  // removed already
  }  // and nothing at the end
  EXPECT_EQ((std::vector<std::string>{"add icon", "delete icon"}), g_calls);
}

// When the taskbar is created: a restarted shell has forgotten the icon, so it is added
// although this object counts it as shown; a shell that still has it takes a change.
TEST_F(Icon, ShownAgainAddsAfreshOrChangesWhatTheShellStillHas) {
  {
    SYSTEM_TRAY_ICON icon;
    icon.m_pfnShellNotify = &FakeShell;
    icon.Init(ID_TRAY_ICON);
    ASSERT_TRUE(icon.ShowResourceIcon(IDI_TRAY));
    EXPECT_TRUE(icon.ShowAgain(IDI_TRAY));
    g_refuseAdd = true;
    EXPECT_TRUE(icon.ShowAgain(IDI_TRAY));
    EXPECT_TRUE(icon.IsShown()) << "so that the end removes it";
    g_refuse = true;  // no taskbar yet
    EXPECT_FALSE(icon.ShowAgain(IDI_TRAY));
    EXPECT_FALSE(icon.IsShown()) << "the next try adds it";
  }
  EXPECT_EQ((std::vector<std::string>{"add icon", "add icon", "add icon", "modify icon", "add icon", "modify icon"}),
            g_calls);
}

TEST_F(Icon, NoMenuWithoutAPlatformThatHasOne) {
  HWND owner = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, owner);
  CWnd wnd;
  wnd.m_hWnd = owner;
  SYSTEM_TRAY_ICON icon;
  icon.m_pfnShellNotify = &FakeShell;
  icon.Init(ID_TRAY_ICON);
  icon.SetCallbackWindow(&wnd, WM_USER);
  EXPECT_EQ(0, icon.HandleNotification(ID_TRAY_ICON, WM_LBUTTONDBLCLK)) << "platform not known yet";
  int platform = kPlatformOther;
  icon.SetPlatformSource(&platform);
  EXPECT_EQ(0, icon.HandleNotification(ID_TRAY_ICON, WM_LBUTTONDBLCLK));
  EXPECT_EQ(0, icon.HandleNotification(ID_TRAY_ICON, WM_RBUTTONUP));
  wnd.m_hWnd = nullptr;
  DestroyWindow(owner);
}

// The owner's messages around the icon's menu: what it saw while the menu was open, and after.
std::vector<std::string> g_owner;
LRESULT CALLBACK OwnerProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_TIMER) {
    // The menu's own loop dispatches the timer: the menu is open now; close it.
    HWND menu = FindWindowA("#32768", nullptr);
    if (menu != nullptr && IsWindowVisible(menu)) {
      g_owner.push_back("menu open");
      KillTimer(wnd, 1);
      EndMenu();
    }
    return 0;
  }
  if (msg == WM_NULL) g_owner.push_back("WM_NULL");
  return DefWindowProcA(wnd, msg, wParam, lParam);
}

// Windows wants a message posted to the owner once the menu of a notification icon has
// closed, or the next menu closes at once (TrackPopupMenu remarks, Q135788).
TEST_F(Icon, OwnerGetsAMessageAfterTheMenuCloses) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = &OwnerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "TrayMenuOwner";
  ASSERT_NE(0, RegisterClassA(&wc));
  HWND owner = CreateWindowA("TrayMenuOwner", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(nullptr, owner);
  CWnd wnd;
  wnd.m_hWnd = owner;
  SYSTEM_TRAY_ICON icon;
  icon.m_pfnShellNotify = &FakeShell;
  icon.Init(ID_TRAY_ICON);
  icon.SetCallbackWindow(&wnd, WM_USER);
  int platform = kPlatformWin9x;
  icon.SetPlatformSource(&platform);
  for (int round = 0; round < 2; ++round) {
    g_owner.clear();
    ASSERT_NE(0u, SetTimer(owner, 1, 50, nullptr));
    EXPECT_EQ(1, icon.HandleNotification(ID_TRAY_ICON, WM_RBUTTONUP));
    g_owner.push_back("returned");
    MSG m;
    while (PeekMessageA(&m, owner, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    EXPECT_EQ((std::vector<std::string>{"menu open", "returned", "WM_NULL"}), g_owner) << "round " << round;
  }
  wnd.m_hWnd = nullptr;
  DestroyWindow(owner);
}

// Out of memory while the dialog runs: the framework's report, and the dialog ends (the
// frame then deletes it and lets the next command open a new one, which works).
TEST_F(Icon, ServiceNameDialogOutOfMemoryIsReportedAndEndsIt) {
  seam::BoxWatcher report;
  report.caption = "Velmora Tessory";
  report.Start();
  // A stored name longer than a short string: reading it allocates.
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmora\\Corvane\\PoE", 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &key, nullptr));
  const char stored[] = "a service name longer than a short string";
  RegSetValueExA(key, "ServiceName", 0, REG_SZ, reinterpret_cast<const BYTE*>(stored), sizeof stored);
  RegCloseKey(key);
  {
    SERVICE_NAME_DIALOG dlg(nullptr);
    seam::FailNextAllocation();  // the first allocation of the dialog's handlers
    EXPECT_EQ(-1, dlg.DoModal());
    ASSERT_FALSE(seam::TakePendingFailure()) << "no allocation failed: the test proves nothing";
  }
  report.Join();
  EXPECT_EQ(1, report.seen);
  EXPECT_EQ("Out of memory.", report.text);

  seam::BoxWatcher closer;  // presses OK in the next dialog
  closer.caption = "Tessory - Service Name";
  closer.Start();
  SERVICE_NAME_DIALOG again(nullptr);
  EXPECT_EQ(IDOK, again.DoModal());
  closer.Join();
  EXPECT_EQ(1, closer.seen);
}

// Out of memory after the dialog is up (here while OK reads the name) ends it as well.
class OkRunsOutOfMemory : public SERVICE_NAME_DIALOG {
 public:
  BOOL OnInitDialog() override {
    SERVICE_NAME_DIALOG::OnInitDialog();
    SetDlgItemTextA(m_hWnd, IDC_SERVICE_NAME, "a name longer than any short-string buffer");
    return TRUE;
  }
  void OnOK() override {
    if (!m_bFailed) seam::FailNextAllocation();  // reading the edit's text, the first time
    m_bFailed = true;
    SERVICE_NAME_DIALOG::OnOK();
  }
  bool m_bFailed = false;
};

TEST_F(Icon, ServiceNameDialogOutOfMemoryOnOkEndsIt) {
  seam::BoxWatcher report;
  report.caption = "Velmora Tessory";
  report.Start();
  seam::BoxWatcher presser;  // OK; pressed again should the dialog have stayed open
  presser.caption = "Tessory - Service Name";
  presser.expected = 2;
  presser.polls = 300;
  presser.Start();
  OkRunsOutOfMemory dlg;
  EXPECT_EQ(-1, dlg.DoModal()) << "the dialog stayed open after the report";
  EXPECT_FALSE(seam::TakePendingFailure());
  report.Join();
  presser.Join();
  EXPECT_EQ(1, report.seen);
  EXPECT_EQ("Out of memory.", report.text);
}

}  // namespace
