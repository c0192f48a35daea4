// The notification-area icon of Corvane.exe in a Wine desktop with a taskbar, clicked as a
// user clicks it: tooltip, the platform's menu, double click, ShowSysTrayIcon, removal at
// Shutdown and Close (also while a dialog is open).
#include "TrayE2E.h"

namespace {

using namespace traye2e;

Process g_desktop;

// Wine 8's explorer keeps the tooltip tool of a deleted icon, with an empty rectangle: only
// tools with an area are icons on show.
std::vector<TrayIcon> ShownIcons(const std::string& tip) {
  std::vector<TrayIcon> out;
  auto icons = FindTrayIcons();
  if (!icons) return out;
  for (const TrayIcon& i : *icons) {
    if (i.tip == tip && i.rect.right > i.rect.left && i.rect.bottom > i.rect.top) out.push_back(i);
  }
  return out;
}
std::optional<TrayIcon> WaitShownIcon(const std::string& tip, Ms timeout = kTimeout) {
  std::optional<TrayIcon> found;
  WaitFor(
      [&] {
        auto v = ShownIcons(tip);
        if (!v.empty()) found = v.front();
        return found.has_value();
      },
      timeout, "the icon \"" + tip + "\" to show");
  return found;
}
bool WaitIconGone(const std::string& tip, Ms timeout = kTimeout) {
  return WaitFor([&] { return ShownIcons(tip).empty(); }, timeout, "the icon \"" + tip + "\" to go");
}

class ShellDesktop : public ::testing::Environment {
 public:
  void SetUp() override {
    g_desktop = StartShellDesktop();
    ASSERT_TRUE(g_desktop) << LastError();
  }
  void TearDown() override { g_desktop.Kill(); }
};
const auto* const g_env = ::testing::AddGlobalTestEnvironment(new ShellDesktop);

class Icon : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMachine();
    WaitIconGone("Tessory", 5000);
  }
  void TearDown() override { ResetMachine(); }

  void Start(const std::string& version, const char* show = "Yes") {
    InstallAdapter(version == "win98");
    if (version == "nt40") SetRegString(HKEY_LOCAL_MACHINE, kAppKey, "IPMTUNTFlag", "true");
    if (show) SetRegString(HKEY_LOCAL_MACHINE, kTrayKey, "ShowSysTrayIcon", show);
    LaunchOptions options;
    options.windowsVersion = version;
    proc_ = Launch(kExe, options);
    ASSERT_TRUE(proc_) << LastError();
    frame_ = WaitFrame(proc_.Pid());
    ASSERT_NE(nullptr, frame_) << LastError();
    ASSERT_TRUE(WaitStarted(frame_, version == "win98")) << LastError();
  }
  std::optional<TrayIcon> TheIcon() { return WaitShownIcon("Tessory"); }

  Process proc_;
  HWND frame_ = nullptr;
};

TEST_F(Icon, ShownWithTooltipAndPlatformMenu) {
  struct Case {
    const char* version;
    int endCommand;
    const char* endText;
  } cases[] = {{"win98", ID_SHUTDOWN, "Sh&utdown"}, {"nt40", ID_CLOSE_APP, "Clos&e"}, {"winxp", ID_CLOSE_APP, "Clos&e"}};
  for (const Case& c : cases) {
    ResetMachine();
    Start(c.version);
    auto icon = TheIcon();
    ASSERT_TRUE(icon.has_value()) << c.version << ": " << LastError();
    EXPECT_EQ("Tessory", icon->tip);
    EXPECT_EQ(1u, ShownIcons("Tessory").size()) << "added once";

    // The click reaches the frame as its callback message with the icon's identifier: the
    // frame answers only identifier 131 (and the shell passes what the record held).
    ASSERT_TRUE(ClickTrayIcon(*icon, TrayClick::Right)) << LastError();
    HWND menu = WaitPopupMenu(kTimeout, proc_.Pid());
    ASSERT_NE(nullptr, menu) << c.version << ": " << LastError();
    auto items = ReadPopupMenu(menu);
    ASSERT_TRUE(items.has_value()) << LastError();
    ASSERT_EQ(9u, items->size());
    EXPECT_EQ("&About Tessory...", (*items)[0].text);
    EXPECT_EQ(static_cast<UINT>(ID_APP_ABOUT), (*items)[0].id);
    EXPECT_EQ(c.endText, (*items)[4].text) << c.version;
    EXPECT_EQ(static_cast<UINT>(c.endCommand), (*items)[4].id) << c.version;
    EXPECT_TRUE((*items)[8].popup);
    EXPECT_EQ("Velmora on the &Web", (*items)[8].text);

    // A command from the menu reaches the frame: the service-name dialog.
    ASSERT_TRUE(ChoosePopupItem(menu, ID_SERVICE_NAME)) << LastError();
    HWND dlg = WaitWindow(WindowQuery{"Tessory - Service Name", proc_.Pid(), "#32770", true});
    ASSERT_NE(nullptr, dlg) << LastError();
    ClickControl(dlg, IDCANCEL);
    ASSERT_TRUE(WaitWindowGone(dlg));

    // Shutdown or Close removes the icon and ends the program.
    ASSERT_TRUE(ClickTrayIcon(*icon, TrayClick::Right));
    menu = WaitPopupMenu(kTimeout, proc_.Pid());
    ASSERT_NE(nullptr, menu) << LastError();
    ASSERT_TRUE(ChoosePopupItem(menu, c.endCommand)) << LastError();
    EXPECT_TRUE(WaitIconGone("Tessory")) << c.version << ": " << LastError();
    auto code = proc_.WaitExit();
    ASSERT_TRUE(code.has_value()) << c.version;
    EXPECT_EQ(0u, *code);
  }
}

TEST_F(Icon, DoubleClickOpensAboutOnce) {
  Start("winxp");
  auto icon = TheIcon();
  ASSERT_TRUE(icon.has_value()) << LastError();
  ASSERT_TRUE(ClickTrayIcon(*icon, TrayClick::Double)) << LastError();
  HWND about = WaitWindow(WindowQuery{"About Tessory", proc_.Pid(), "#32770", true});
  ASSERT_NE(nullptr, about) << LastError();
  EXPECT_EQ(nullptr, FindPopupMenu(proc_.Pid())) << "no menu on a double click";
  ASSERT_TRUE(ClickTrayIcon(*icon, TrayClick::Double));
  EXPECT_TRUE(StaysFalse(
      [&] { return FindTopWindows(WindowQuery{"About Tessory", proc_.Pid(), "#32770", true}).size() != 1; },
      "a second About"))
      << LastError();
  EXPECT_EQ(1u, FindTopWindows(WindowQuery{"About Tessory", proc_.Pid(), "#32770", true}).size());
  EXPECT_EQ(about, GetForegroundWindow()) << "the open one comes to the front";
  // A single left click does nothing.
  ClickControl(about, IDOK);
  ASSERT_TRUE(WaitWindowGone(about));
  ASSERT_TRUE(ClickTrayIcon(*icon, TrayClick::Left));
  EXPECT_TRUE(StaysFalse(
      [&] {
        return FindPopupMenu(proc_.Pid()) != nullptr ||
               !FindTopWindows(WindowQuery{"About Tessory", proc_.Pid(), "#32770", true}).empty();
      },
      "a menu or About after a single left click"))
      << LastError();
  EXPECT_EQ(nullptr, FindPopupMenu(proc_.Pid()));
  EXPECT_EQ(0u, FindTopWindows(WindowQuery{"About Tessory", proc_.Pid(), "#32770", true}).size());
  PostCommand(frame_, ID_CLOSE_APP);
  EXPECT_TRUE(WaitIconGone("Tessory"));
  proc_.WaitExit();
}

TEST_F(Icon, ShownOnlyForExactlyYes) {
  struct Case {
    const char* value;  // nullptr: missing
    bool shown;
  } cases[] = {{" Yes\t", true}, {"yes", false}, {"YES", false}, {nullptr, false}, {"Yes please", false}};
  for (const Case& c : cases) {
    ResetMachine();
    Start("winxp", c.value);
    if (c.shown) {
      EXPECT_TRUE(WaitShownIcon("Tessory").has_value()) << "[" << c.value << "]";
    } else {
      EXPECT_TRUE(WaitRunning(frame_)) << LastError();
      EXPECT_TRUE(StaysFalse([] { return !ShownIcons("Tessory").empty(); }, "an icon")) << LastError();
      EXPECT_EQ(0u, ShownIcons("Tessory").size()) << "[" << (c.value ? c.value : "(missing)") << "]";
      EXPECT_TRUE(WaitRunning(frame_)) << "the program runs on without an icon";
    }
    PostCommand(frame_, ID_CLOSE_APP);
    EXPECT_TRUE(proc_.WaitExit().has_value());
  }
}

TEST_F(Icon, ShutdownWithADialogOpenRemovesTheIcon) {
  Start("win98");
  auto icon = TheIcon();
  ASSERT_TRUE(icon.has_value()) << LastError();
  ASSERT_TRUE(ClickTrayIcon(*icon, TrayClick::Double));
  HWND about = WaitWindow(WindowQuery{"About Tessory", proc_.Pid(), "#32770", true});
  ASSERT_NE(nullptr, about) << LastError();
  ASSERT_TRUE(ClickTrayIcon(*icon, TrayClick::Right));
  HWND menu = WaitPopupMenu(kTimeout, proc_.Pid());
  ASSERT_NE(nullptr, menu) << LastError();
  ASSERT_TRUE(ChoosePopupItem(menu, ID_SHUTDOWN)) << LastError();
  EXPECT_TRUE(WaitIconGone("Tessory")) << LastError();
  auto code = proc_.WaitExit();
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(0u, *code);
  EXPECT_EQ((std::vector<std::string>{"TzOSInitialize -> 1", "TzOSLoadAll(Corvane) -> 1", "TzOSUnloadAll(Corvane) -> 1",
                                      "TzOSExit -> 1"}),
            OsLog());
}

}  // namespace
