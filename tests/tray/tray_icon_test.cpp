// The notification-area icon class on its own, against a shell of the test's: a refused add
// or change leaves no icon counted as shown and the next show adds it afresh; removing when
// nothing is shown makes no shell call; a platform without a menu (or none known yet) gets
// no menu.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Framework.h"
#include "StartupRules.h"
#include "SYSTEM_TRAY_ICON.h"
#include "res/resource.h"

namespace {

class TestApp : public CWinApp {};
TestApp g_app;

std::vector<std::string> g_calls;
bool g_refuse = false;

BOOL WINAPI FakeShell(DWORD operation, PNOTIFYICONDATAA data) {
  const char* names[] = {"add", "modify", "delete"};
  std::string call = operation <= NIM_DELETE ? names[operation] : "other";
  const auto* record = reinterpret_cast<const TrayIconRecord*>(data);
  call += record->hIcon != nullptr ? " icon" : " no-icon";
  g_calls.push_back(call);
  return g_refuse ? FALSE : TRUE;
}

struct Icon : ::testing::Test {
  void SetUp() override {
    g_app.m_hInstance = GetModuleHandleA(nullptr);
    g_calls.clear();
    g_refuse = false;
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

}  // namespace
