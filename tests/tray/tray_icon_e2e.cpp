// The notification-area icon of Corvane.exe in a Wine desktop with a taskbar, clicked as a
// user clicks it: tooltip, the platform's menu, double click, ShowSysTrayIcon, removal at
// Shutdown and Close (also while a dialog is open), and the help file that Help opens.
#include <cstdlib>

#include "TrayShellE2E.h"

namespace {

using namespace traye2e;

const auto* const g_env = ::testing::AddGlobalTestEnvironment(new ShellDesktop);

using Icon = IconTest;

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
      [&] { return AboutDialogs(proc_.Pid()).size() != 1; },
      "a second About"))
      << LastError();
  EXPECT_EQ(1u, AboutDialogs(proc_.Pid()).size());
  EXPECT_EQ(about, GetForegroundWindow()) << "the open one comes to the front";
  // A single left click does nothing.
  ClickControl(about, IDOK);
  ASSERT_TRUE(WaitWindowGone(about));
  ASSERT_TRUE(ClickTrayIcon(*icon, TrayClick::Left));
  EXPECT_TRUE(StaysFalse([&] { return MenuOrAboutShown(proc_.Pid()); }, "a menu or About after a single left click"))
      << LastError();
  EXPECT_EQ(nullptr, FindPopupMenu(proc_.Pid()));
  EXPECT_EQ(0u, AboutDialogs(proc_.Pid()).size());
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
    SetRegString(HKEY_LOCAL_MACHINE, kAppKey, "URLTimerPeriod", "300");
    Start("winxp", c.value);
    if (c.shown) {
      EXPECT_TRUE(WaitShownIcon("Tessory").has_value()) << "[" << c.value << "]";
    } else {
      EXPECT_TRUE(WaitRunning(frame_)) << LastError();
      // Nor when the taskbar is created again, nor from the timer (300 ms).
      BroadcastTaskbarCreated();
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

// ---- Help ------------------------------------------------------------------------------------

// The top-level windows of process |pid|, shown or not.
std::vector<HWND> WindowsOf(DWORD pid) {
  std::vector<HWND> mine;
  for (HWND h : TopWindows())
    if (PidOf(h) == pid) mine.push_back(h);
  return mine;
}
HWND ShownWindowOf(DWORD pid, const std::string& cls) {
  for (HWND h : WindowsOf(pid))
    if (IsWindowVisible(h) && ClassOf(h) == cls) return h;
  return nullptr;
}
std::string DescribeWindowsOf(DWORD pid) {
  std::string out;
  for (HWND h : WindowsOf(pid)) out += "[" + Describe(h) + (IsWindowVisible(h) ? "]" : " hidden]");
  return out;
}

// The first descendant of |parent| whose class starts with |cls| (and whose text is |text|).
HWND Descendant(HWND parent, const std::string& cls, const std::string* text = nullptr) {
  for (HWND h : ChildrenOf(parent))
    if (ClassOf(h).rfind(cls, 0) == 0 && (!text || PlainText(Text(h)) == *text)) return h;
  return nullptr;
}

// Clicks the hot spot showing |label| in WinHelp's topic window (a rich edit control): the
// character's place comes from EM_POSFROMCHAR, whose character index counts a paragraph end as
// one character where WM_GETTEXT gives CR LF.
bool ClickHotSpot(HWND text, const std::string& label) {
  const std::string all = Text(text);
  const size_t at = all.find(label);
  if (at == std::string::npos) return false;
  size_t index = at;
  for (size_t p = all.find("\r\n"); p != std::string::npos && p < at; p = all.find("\r\n", p + 2)) --index;
  auto packed = Send(text, EM_POSFROMCHAR, index + 1, 0);
  if (!packed) return false;
  const LPARAM where = MAKELPARAM(LOWORD(*packed) + 2, HIWORD(*packed) + 4);
  return Post(text, WM_LBUTTONDOWN, MK_LBUTTON, where) && Post(text, WM_LBUTTONUP, 0, where);
}

// Screenshots of the help for people: TZ_SHOT_DIR, else the build folder.
std::string ShotPath(const std::string& name) {
  const char* dir = std::getenv("TZ_SHOT_DIR");
  return (dir ? std::string(dir) : BinDir() + "\\..") + "\\" + name;
}

TEST_F(Icon, HelpFromTheMenuShowsTheHelpFileWithJumpsAndIndex) {
  Start("winxp");
  auto icon = TheIcon();
  ASSERT_TRUE(icon.has_value()) << LastError();
  ASSERT_TRUE(ClickTrayIcon(*icon, TrayClick::Right)) << LastError();
  HWND menu = WaitPopupMenu(kTimeout, proc_.Pid());
  ASSERT_NE(nullptr, menu) << LastError();
  ASSERT_TRUE(ChoosePopupItem(menu, ID_TRAY_HELP)) << LastError();

  // WinHelp opens the file beside Corvane.exe on its contents topic, with no message box. Its
  // main window has the class through which WinHelpA finds it, and the file's caption.
  DWORD help = 0;
  ASSERT_TRUE(WaitFor(
      [&] {
        auto ids = ProcessesNamed("winhlp32.exe");
        if (!ids.empty()) help = ids.front();
        return help != 0;
      },
      kTimeout, "winhlp32 to start"));
  HWND window = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (window = ShownWindowOf(help, "MS_WINHELP")) != nullptr; }, kTimeout,
                      "the help window"))
      << DescribeWindowsOf(help);
  EXPECT_TRUE(WaitText(window, "Tessory Help")) << LastError();
  HWND text = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (text = Descendant(window, "RichEdit")) != nullptr; }, kTimeout, "the topic"));
  ASSERT_TRUE(WaitFor([&] { return Text(text).rfind("Welcome to Tessory", 0) == 0; }, kTimeout, "the contents topic"))
      << Text(text);
  EXPECT_EQ(nullptr, ShownWindowOf(help, "#32770")) << "WinHelp reports no error: " << DescribeWindowsOf(help);
  EXPECT_NE(std::string::npos, Text(text).find("Connecting with the Tessory Dialer"));
  EXPECT_TRUE(SaveScreenshot(ShotPath("help-contents.bmp"), window)) << LastError();

  // Two jumps: the contents topic to Troubleshooting, Troubleshooting to error 691.
  ASSERT_TRUE(ClickHotSpot(text, "Troubleshooting")) << Text(text);
  ASSERT_TRUE(WaitFor([&] { return Text(text).rfind("Troubleshooting\r\nFind the message", 0) == 0; }, kTimeout,
                      "the Troubleshooting topic"))
      << Text(text).substr(0, 200);
  ASSERT_TRUE(ClickHotSpot(text, "Error 691: Wrong user name or password")) << Text(text);
  ASSERT_TRUE(WaitFor([&] { return Text(text).rfind("Error 691: Wrong user name or password\r\n", 0) == 0; },
                      kTimeout, "the topic of error 691"))
      << Text(text).substr(0, 200);
  EXPECT_NE(std::string::npos,
            Text(text).find("\"Error 691: Access denied because username and/or password is invalid on the domain.\""));
  EXPECT_TRUE(SaveScreenshot(ShotPath("help-error-691.bmp"), window)) << LastError();

  // The index: every entry of the file listed; choosing one shows its topic.
  const std::string indexLabel = "Index";
  HWND indexButton = Descendant(window, "Button", &indexLabel);
  ASSERT_NE(nullptr, indexButton) << "WinHelp's Index button";
  ASSERT_TRUE(Click(indexButton)) << LastError();
  HWND sheet = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (sheet = ShownWindowOf(help, "#32770")) != nullptr; }, kTimeout, "the index"));
  HWND list = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (list = Descendant(sheet, "ListBox")) != nullptr; }, kTimeout, "the index list"));
  auto count = Send(list, LB_GETCOUNT);
  ASSERT_TRUE(count.has_value());
  EXPECT_GE(*count, 60) << "the index entries of ZnSetup.txt";
  EXPECT_TRUE(SaveScreenshot(ShotPath("help-index.bmp"), sheet)) << LastError();
  auto chosen = Send(list, LB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("service name"));
  ASSERT_TRUE(chosen && *chosen >= 0) << "the entry \"service name\"";
  ASSERT_TRUE(ClickControl(sheet, IDOK)) << LastError();
  EXPECT_TRUE(WaitWindowGone(sheet)) << LastError();
  EXPECT_TRUE(WaitFor([&] { return Text(text).rfind("The PPPoE service name\r\n", 0) == 0; }, kTimeout,
                      "the topic of the index entry"))
      << Text(text).substr(0, 200);

  // The last topic of the file, down to its last paragraph: nothing of it lies in the closing
  // topic link. WinHelp makes its buttons anew with each topic.
  indexButton = Descendant(window, "Button", &indexLabel);
  ASSERT_NE(nullptr, indexButton) << "WinHelp's Index button";
  ASSERT_TRUE(Click(indexButton)) << LastError();
  ASSERT_TRUE(WaitFor([&] { return (sheet = ShownWindowOf(help, "#32770")) != nullptr; }, kTimeout, "the index"));
  ASSERT_TRUE(WaitFor([&] { return (list = Descendant(sheet, "ListBox")) != nullptr; }, kTimeout, "the index list"));
  chosen = Send(list, LB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("uninstall"));
  ASSERT_TRUE(chosen && *chosen >= 0) << "the entry \"uninstall\"";
  ASSERT_TRUE(ClickControl(sheet, IDOK)) << LastError();
  EXPECT_TRUE(WaitWindowGone(sheet)) << LastError();
  EXPECT_TRUE(WaitFor(
      [&] {
        const std::string shown = Text(text);
        return shown.rfind("Removing Tessory\r\n", 0) == 0 &&
               shown.find("delete the \"Tessory Connection\" entry in Dial-Up Networking.") != std::string::npos;
      },
      kTimeout, "the last topic with its last paragraph"))
      << Text(text);

  EXPECT_TRUE(WaitRunning(frame_)) << "the tray program goes on";
  KillAllNamed("winhlp32.exe");
  PostCommand(frame_, ID_CLOSE_APP);
  EXPECT_TRUE(proc_.WaitExit().has_value());
}

}  // namespace
