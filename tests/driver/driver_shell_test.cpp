// The driver in the Wine desktop with a taskbar: finding, clicking and watching a
// notification-area icon. A test program of its own, since the desktop is chosen per thread
// before anything else happens in it.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>

#include "UiDriver.h"
#include "testapp/resource.h"

using namespace uidriver;

namespace {

const char kApp[] = "DriverTestApp.exe";
const char kCaption[] = "Driver Test App";
const char kTip[] = "Driver Test Tip";

TEST(ShellDesktop, TrayIconTipClicksMenuAndRemoval) {
  Process desktop = StartShellDesktop(1024, 768);
  ASSERT_TRUE(desktop) << LastError();
  EXPECT_EQ(kShellDesktop, CurrentDesktop());

  LaunchOptions opt;
  opt.args = "--tray";
  Process app = Launch(kApp, opt);
  ASSERT_TRUE(app) << LastError();
  HWND dlg = WaitWindow(kCaption, kTimeout, app.Pid());
  ASSERT_NE(dlg, nullptr) << LastError();

  std::optional<TrayIcon> icon = WaitTrayIcon(kTip);
  ASSERT_TRUE(icon) << LastError();
  EXPECT_EQ("Shell_TrayWnd", ClassOf(icon->tray));
  // The notification area sits at the right end of the taskbar, along the bottom edge.
  EXPECT_GT(icon->rect.left, 900);
  EXPECT_LE(icon->rect.right, 1024);
  EXPECT_GT(icon->rect.top, 700);
  EXPECT_LE(icon->rect.bottom, 768);
  EXPECT_EQ(nullptr, icon->owner);

  ASSERT_TRUE(ClickTrayIcon(*icon, TrayClick::Right)) << LastError();
  HWND popup = WaitPopupMenu(kTimeout, app.Pid());
  ASSERT_NE(popup, nullptr) << LastError();
  std::optional<std::vector<MenuItem>> items = ReadPopupMenu(popup);
  ASSERT_TRUE(items) << LastError();
  ASSERT_EQ(4u, items->size());
  EXPECT_EQ("&Third", items->back().text);
  if (const char* dir = std::getenv("TZ_SHOT_DIR")) {
    EXPECT_TRUE(SaveScreenshot(std::string(dir) + "\\driver-shell-desktop.bmp")) << LastError();
  }
  ASSERT_TRUE(ChoosePopupItem(popup, ID_POPUP_FIRST)) << LastError();
  EXPECT_TRUE(WaitControlText(dlg, IDC_STATUS, "command 200")) << LastError();

  ASSERT_TRUE(ClickTrayIcon(*icon, TrayClick::Double)) << LastError();
  EXPECT_TRUE(WaitControlText(dlg, IDC_STATUS, "tray double-click")) << LastError();

  ASSERT_TRUE(PressKey(dlg, VK_ESCAPE)) << LastError();
  EXPECT_EQ(2u, app.WaitExit().value_or(0)) << LastError();
  EXPECT_TRUE(WaitTrayIconGone(kTip)) << LastError();
  std::optional<std::vector<TrayIcon>> left = FindTrayIcons();
  ASSERT_TRUE(left) << LastError();
  EXPECT_TRUE(left->empty());
}

}  // namespace
