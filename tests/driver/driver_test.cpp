// The driver's own tests: each capability against the small dialog program in testapp/, which
// shows and logs every event it receives.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "UiDriver.h"
#include "testapp/resource.h"

using namespace uidriver;

namespace {

const char kApp[] = "DriverTestApp.exe";
const char kCaption[] = "Driver Test App";
const char kBox[] = "Driver Test Box";

std::string TempFile(const std::string& name) {
  char dir[MAX_PATH] = "";
  DWORD n = GetTempPathA(sizeof dir, dir);
  return std::string(dir, n < sizeof dir ? n : 0) + name;
}

// One running test program with its dialog and log file.
class App : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = TempFile("driver-app-" + std::to_string(GetTickCount()) + ".log");
    LaunchOptions opt;
    opt.args = "--log \"" + log_ + "\"";
    app_ = Launch(kApp, opt);
    ASSERT_TRUE(app_) << LastError();
    dlg_ = WaitWindow(kCaption, kTimeout, app_.Pid());
    ASSERT_NE(dlg_, nullptr) << LastError();
    ASSERT_TRUE(WaitFileLine(log_, "started")) << LastError();
  }
  void TearDown() override { DeleteFileA(log_.c_str()); }

  std::string Status() { return ControlText(dlg_, IDC_STATUS); }
  bool WaitStatus(const std::string& text) { return WaitControlText(dlg_, IDC_STATUS, text); }

  Process app_;
  HWND dlg_ = nullptr;
  std::string log_;
};

TEST_F(App, SetEditTextRaisesChangeAndIgnoresLimitLikeWindows) {
  HWND edit = Control(dlg_, IDC_NAME);
  ASSERT_NE(edit, nullptr) << LastError();
  EXPECT_FALSE(IsEnabled(Control(dlg_, IDC_GO)));
  ASSERT_TRUE(SetEditText(edit, "user")) << LastError();
  EXPECT_TRUE(WaitControlText(dlg_, IDC_ECHO, "changed: user")) << LastError();
  EXPECT_TRUE(WaitFileLine(log_, "en_change user")) << LastError();
  EXPECT_TRUE(IsEnabled(Control(dlg_, IDC_GO)));
  // WM_SETTEXT is not bound by EM_LIMITTEXT (documented so for Windows; Wine agrees).
  ASSERT_TRUE(SetEditText(edit, "0123456789ab")) << LastError();
  EXPECT_EQ("0123456789ab", Text(edit));
  ASSERT_TRUE(SetEditText(edit, "")) << LastError();
  EXPECT_TRUE(WaitControlText(dlg_, IDC_ECHO, "changed: ")) << LastError();
  EXPECT_FALSE(IsEnabled(Control(dlg_, IDC_GO)));
}

TEST_F(App, TypedCharactersStopAtTheEditLimit) {
  HWND edit = Control(dlg_, IDC_NAME);
  ASSERT_TRUE(TypeChars(edit, "abcdefghij")) << LastError();
  EXPECT_EQ(std::string("abcdefghij").substr(0, NAME_LIMIT), Text(edit));
  EXPECT_TRUE(WaitControlText(dlg_, IDC_ECHO, "changed: abcdefgh")) << LastError();
  // Backspace is a character too.
  ASSERT_TRUE(TypeChars(edit, "\b\b")) << LastError();
  EXPECT_EQ("abcdef", Text(edit));
}

TEST_F(App, ButtonsCheckBoxAndVisibility) {
  HWND check = Control(dlg_, IDC_CHECK);
  EXPECT_EQ(BST_UNCHECKED, CheckState(check));
  ASSERT_TRUE(Click(check)) << LastError();
  EXPECT_TRUE(WaitStatus("checked")) << LastError();
  EXPECT_EQ(BST_CHECKED, CheckState(check));

  EXPECT_FALSE(IsVisible(Control(dlg_, IDC_HIDDEN)));
  EXPECT_EQ("hidden", ControlText(dlg_, IDC_HIDDEN));
  EXPECT_FALSE(Click(Control(dlg_, IDC_HIDDEN)));
  EXPECT_NE(LastError().find("hidden"), std::string::npos) << LastError();

  HWND go = Control(dlg_, IDC_GO);
  EXPECT_FALSE(Click(go));
  EXPECT_NE(LastError().find("disabled"), std::string::npos) << LastError();
  ASSERT_TRUE(SetControlText(dlg_, IDC_NAME, "x")) << LastError();
  ASSERT_TRUE(WaitFor([&] { return IsEnabled(go); }, kTimeout, "Go enabled")) << LastError();
  // The blocking click returns only after the dialog has handled the command.
  ASSERT_TRUE(ClickAndWait(go)) << LastError();
  EXPECT_EQ("go", Status());

  EXPECT_EQ(nullptr, Control(dlg_, 4242));
  EXPECT_NE(LastError().find("4242"), std::string::npos) << LastError();
}

TEST_F(App, MessageBoxTextButtonsAndEveryIcon) {
  struct Case {
    const char* name;
    BoxIcon icon;
  };
  const Case cases[] = {{"", BoxIcon::Stop},
                        {"excl", BoxIcon::Exclamation},
                        {"info", BoxIcon::Information},
                        {"quest", BoxIcon::Question},
                        {"none", BoxIcon::None}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(SetControlText(dlg_, IDC_NAME, c.name)) << LastError();
    ASSERT_TRUE(ClickControl(dlg_, IDC_BOX)) << LastError();
    std::optional<MessageBoxInfo> box = WaitMessageBox(kBox, kTimeout, app_.Pid());
    ASSERT_TRUE(box) << LastError();
    EXPECT_EQ(kBox, box->caption);
    EXPECT_EQ(std::string("Icon: ") + c.name, box->text);
    EXPECT_EQ((std::vector<std::string>{"OK", "Cancel"}), box->buttons);
    EXPECT_EQ((std::vector<int>{IDOK, IDCANCEL}), box->buttonIds);
    EXPECT_STREQ(IconName(c.icon), IconName(box->icon)) << LastError();
    ASSERT_TRUE(DismissMessageBox(box->hwnd, "cancel")) << LastError();
    EXPECT_TRUE(WaitStatus("box 2")) << LastError();
  }
  // No button name: the default button (OK).
  ASSERT_TRUE(ClickControl(dlg_, IDC_BOX)) << LastError();
  std::optional<MessageBoxInfo> box = WaitMessageBox(kBox, kTimeout, app_.Pid());
  ASSERT_TRUE(box) << LastError();
  EXPECT_FALSE(DismissMessageBox(box->hwnd, "Retry"));
  EXPECT_NE(LastError().find("\"OK\", \"Cancel\""), std::string::npos) << LastError();
  ASSERT_TRUE(DismissMessageBox(box->hwnd)) << LastError();
  EXPECT_TRUE(WaitStatus("box 1")) << LastError();
  EXPECT_EQ(nullptr, FindMessageBox(kBox));
}

TEST(MessageBoxes, ADialogWithTheBoxCaptionIsNotTakenForTheBox) {
  LaunchOptions opt;
  opt.args = std::string("--title \"") + kBox + "\"";
  Process app = Launch(kApp, opt);
  ASSERT_TRUE(app) << LastError();
  HWND dlg = WaitWindow(kBox, kTimeout, app.Pid());
  ASSERT_NE(dlg, nullptr) << LastError();
  EXPECT_EQ(nullptr, FindMessageBox(kBox, app.Pid()));
  ASSERT_TRUE(ClickControl(dlg, IDC_BOX)) << LastError();
  std::optional<MessageBoxInfo> box = WaitMessageBox(kBox, kTimeout, app.Pid());
  ASSERT_TRUE(box) << LastError();
  EXPECT_NE(dlg, box->hwnd);
  EXPECT_EQ("Icon: ", box->text);
  EXPECT_TRUE(DismissMessageBox(box->hwnd, "OK")) << LastError();
  EXPECT_TRUE(WaitControlText(dlg, IDC_STATUS, "box 1")) << LastError();
}

TEST_F(App, SystemMenuItemsAndCommand) {
  std::optional<std::vector<MenuItem>> items = ReadSystemMenu(dlg_);
  ASSERT_TRUE(items) << LastError();
  auto has = [&](UINT id, const std::string& text) {
    return std::any_of(items->begin(), items->end(), [&](const MenuItem& i) { return i.id == id && i.text == text; });
  };
  EXPECT_TRUE(has(IDM_ABOUT, "&About Test App..."));
  EXPECT_TRUE(std::any_of(items->begin(), items->end(), [](const MenuItem& i) { return i.id == SC_CLOSE; }));
  ASSERT_GE(items->size(), 2u);
  EXPECT_EQ(IDM_ABOUT, items->back().id);
  EXPECT_TRUE((*items)[items->size() - 2].separator);
  EXPECT_EQ("About Test App...", PlainText(items->back().text));
  EXPECT_EQ("Close", PlainText("&Close\tAlt+F4"));

  ASSERT_TRUE(PostSysCommand(dlg_, IDM_ABOUT)) << LastError();
  EXPECT_TRUE(WaitStatus("about")) << LastError();
}

TEST_F(App, SystemMenuOpenedFromTheKeyboard) {
  ASSERT_TRUE(OpenSystemMenu(dlg_)) << LastError();
  HWND popup = WaitPopupMenu(kTimeout, app_.Pid());
  ASSERT_NE(popup, nullptr) << LastError();
  std::optional<std::vector<MenuItem>> items = ReadPopupMenu(popup);
  ASSERT_TRUE(items) << LastError();
  ASSERT_FALSE(items->empty());
  EXPECT_EQ(IDM_ABOUT, items->back().id);
  ASSERT_TRUE(ChoosePopupItem(popup, IDM_ABOUT)) << LastError();
  EXPECT_TRUE(WaitStatus("about")) << LastError();
}

TEST_F(App, PopupMenuItemsChoiceAndEscape) {
  ASSERT_TRUE(ClickControl(dlg_, IDC_MENU)) << LastError();
  HWND popup = WaitPopupMenu(kTimeout, app_.Pid());
  ASSERT_NE(popup, nullptr) << LastError();
  std::optional<std::vector<MenuItem>> items = ReadPopupMenu(popup);
  ASSERT_TRUE(items) << LastError();
  ASSERT_EQ(4u, items->size());
  EXPECT_EQ(ID_POPUP_FIRST, (*items)[0].id);
  EXPECT_EQ("&First", (*items)[0].text);
  EXPECT_TRUE((*items)[1].separator);
  EXPECT_TRUE((*items)[2].grayed);
  EXPECT_TRUE((*items)[3].checked);
  EXPECT_FALSE(ChoosePopupItem(popup, ID_POPUP_SECOND));
  EXPECT_NE(LastError().find("grayed"), std::string::npos) << LastError();
  ASSERT_TRUE(ChoosePopupItem(popup, ID_POPUP_THIRD)) << LastError();
  EXPECT_TRUE(WaitStatus("command 202")) << LastError();

  ASSERT_TRUE(ClickControl(dlg_, IDC_MENU)) << LastError();
  popup = WaitPopupMenu(kTimeout, app_.Pid());
  ASSERT_NE(popup, nullptr) << LastError();
  ASSERT_TRUE(ClosePopupMenu(popup)) << LastError();
  EXPECT_EQ(nullptr, FindPopupMenu(app_.Pid()));
  EXPECT_EQ("command 202", Status());
}

TEST_F(App, FocusAndRectangles) {
  EXPECT_EQ(Control(dlg_, IDC_NAME), FocusOf(dlg_)) << Describe(FocusOf(dlg_));
  EXPECT_EQ(dlg_, ActiveOf(dlg_));
  RECT w = WindowRect(dlg_), c = ClientRect(dlg_), cs = ClientRectOnScreen(dlg_);
  EXPECT_EQ(0, c.left);
  EXPECT_GT(c.right, 200);
  EXPECT_GT(c.bottom, 100);
  EXPECT_EQ(c.right, cs.right - cs.left);
  EXPECT_TRUE(cs.left >= w.left && cs.top > w.top && cs.right <= w.right && cs.bottom <= w.bottom);
  // Tab goes through the dialog's own message loop (IsDialogMessage) to the next control.
  ASSERT_TRUE(PressKey(dlg_, VK_TAB)) << LastError();
  EXPECT_TRUE(WaitFor([&] { return FocusOf(dlg_) == Control(dlg_, IDC_CHECK); }, kTimeout, "focus on the check box"))
      << Describe(FocusOf(dlg_));
}

TEST_F(App, F1IsHelpOnlyAsRealInput) {
  // A posted WM_KEYDOWN of F1 is not hardware input, so no WM_HELP (as on Windows). The
  // command posted after it shows when the program has got that far in its queue.
  ASSERT_TRUE(PressKey(dlg_, VK_F1)) << LastError();
  ASSERT_TRUE(PostCommand(dlg_, IDC_GO)) << LastError();
  ASSERT_TRUE(WaitStatus("go")) << LastError();
  ASSERT_TRUE(SendKeyInput(dlg_, VK_F1)) << LastError();
  EXPECT_TRUE(WaitStatus("help")) << LastError();
  std::optional<std::string> log = ReadTextFile(log_);
  ASSERT_TRUE(log) << LastError();
  std::vector<std::string> lines = SplitLines(*log);
  EXPECT_EQ(1, std::count(lines.begin(), lines.end(), "help"));
  EXPECT_LT(std::find(lines.begin(), lines.end(), "go"), std::find(lines.begin(), lines.end(), "help"));
}

TEST_F(App, EnterEndsWithOkAndEscapeWithCancel) {
  ASSERT_TRUE(PressKey(dlg_, VK_RETURN)) << LastError();
  std::optional<DWORD> code = app_.WaitExit();
  ASSERT_TRUE(code) << LastError();
  EXPECT_EQ(1u, *code);

  Process second = Launch(kApp);
  ASSERT_TRUE(second) << LastError();
  HWND dlg = WaitWindow(kCaption, kTimeout, second.Pid());
  ASSERT_NE(dlg, nullptr) << LastError();
  ASSERT_TRUE(PressKey(dlg, VK_ESCAPE)) << LastError();
  code = second.WaitExit();
  ASSERT_TRUE(code) << LastError();
  EXPECT_EQ(2u, *code);
  EXPECT_TRUE(WaitWindowGone(dlg)) << LastError();
}

TEST(Launching, ArgumentsFolderEnvironmentAndWindowsVersion) {
  struct Case {
    const char* version;
    const char* expect;
  };
  const Case cases[] = {{"nt40", "ver=2.4"}, {"win98", "ver=1.4"}, {"win95", "ver=1.4"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    LaunchOptions opt;
    opt.args = "--title \"Version Probe\"";
    opt.workDir = "C:\\windows";
    opt.env = {{"TZ_TESTAPP_VALUE", "two words"}};
    opt.windowsVersion = c.version;
    Process p = Launch(kApp, opt);
    ASSERT_TRUE(p) << LastError();
    HWND dlg = WaitWindow("Version Probe", kTimeout, p.Pid());
    ASSERT_NE(dlg, nullptr) << LastError();
    std::string info = ControlText(dlg, IDC_INFO);
    EXPECT_EQ(0, lstrcmpiA(info.substr(0, 15).c_str(), "cwd=C:\\windows;")) << info;
    EXPECT_NE(info.find(";env=two words;"), std::string::npos) << info;
    EXPECT_NE(info.find(c.expect), std::string::npos) << info;
  }
  // Without a version the one written before is gone: the program sees what the driver sees.
  Process p = Launch(kApp);
  ASSERT_TRUE(p) << LastError();
  HWND dlg = WaitWindow(kCaption, kTimeout, p.Pid());
  ASSERT_NE(dlg, nullptr) << LastError();
  OSVERSIONINFOA vi{};
  vi.dwOSVersionInfoSize = sizeof vi;
  GetVersionExA(&vi);
  std::string own = "ver=" + std::to_string(vi.dwPlatformId) + "." + std::to_string(vi.dwMajorVersion);
  std::string info = ControlText(dlg, IDC_INFO);
  EXPECT_NE(info.find(own), std::string::npos) << info;
  EXPECT_FALSE(GetRegString(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\DriverTestApp.exe", "Version"));
}

TEST(Launching, MissingProgramAndMissingWindowSayWhatTheySaw) {
  Process p = Launch("NoSuchProgram.exe");
  EXPECT_FALSE(p);
  EXPECT_NE(LastError().find("NoSuchProgram.exe"), std::string::npos) << LastError();
  EXPECT_EQ(nullptr, WaitWindow("No Such Window", 100));
  // The limit the message gives is the one waited: scaled on a slower machine.
  const std::string within = "\"No Such Window\" within " + std::to_string(Scaled(100)) + " ms";
  EXPECT_NE(LastError().find(within), std::string::npos) << LastError();
  EXPECT_NE(LastError().find("visible windows"), std::string::npos) << LastError();
}

TEST(Processes, KillAllNamedAndKillAtScopeEnd) {
  std::vector<Process> apps;
  for (const char* title : {"First Copy", "Second Copy"}) {
    LaunchOptions opt;
    opt.args = std::string("--title \"") + title + "\"";
    apps.push_back(Launch(kApp, opt));
    ASSERT_TRUE(apps.back()) << LastError();
    ASSERT_NE(WaitWindow(title, kTimeout, apps.back().Pid()), nullptr) << LastError();
  }
  EXPECT_EQ(2u, ProcessesNamed(kApp).size());
  EXPECT_EQ(2, KillAllNamed("drivertestapp.EXE"));
  EXPECT_TRUE(ProcessesNamed(kApp).empty());
  for (Process& p : apps) EXPECT_FALSE(p.Running());

  DWORD pid = 0;
  {
    Process scoped = Launch(kApp);
    ASSERT_TRUE(scoped) << LastError();
    pid = scoped.Pid();
    ASSERT_NE(WaitWindow(kCaption, kTimeout, pid), nullptr) << LastError();
  }
  EXPECT_TRUE(ProcessesNamed(kApp).empty());
  EXPECT_TRUE(WaitWindowGone(WindowQuery{kCaption, pid, "", true}, 2000)) << LastError();
}

TEST(Registry, StringsDwordsAndTrees) {
  const std::string key = "SOFTWARE\\TzDriverTest\\Sub";
  ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, key, "Name", "value one")) << LastError();
  ASSERT_TRUE(SetRegDword(HKEY_LOCAL_MACHINE, key, "Count", 42)) << LastError();
  EXPECT_EQ("value one", GetRegString(HKEY_LOCAL_MACHINE, key, "Name").value_or("?"));
  EXPECT_EQ(42u, GetRegDword(HKEY_LOCAL_MACHINE, key, "Count").value_or(0));
  EXPECT_FALSE(GetRegString(HKEY_LOCAL_MACHINE, key, "Count"));
  EXPECT_NE(LastError().find("not a string"), std::string::npos) << LastError();
  EXPECT_FALSE(GetRegDword(HKEY_LOCAL_MACHINE, key, "Name"));

  // A value written without its terminator is cut at the size returned.
  HKEY k = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, &k));
  RegSetValueExA(k, "Raw", 0, REG_SZ, reinterpret_cast<const BYTE*>("abcdef"), 3);
  RegCloseKey(k);
  EXPECT_EQ("abc", GetRegString(HKEY_LOCAL_MACHINE, key, "Raw").value_or("?"));

  EXPECT_TRUE(DeleteRegValue(HKEY_LOCAL_MACHINE, key, "Name")) << LastError();
  EXPECT_FALSE(GetRegString(HKEY_LOCAL_MACHINE, key, "Name"));
  EXPECT_TRUE(DeleteRegValue(HKEY_LOCAL_MACHINE, key, "Name")) << LastError();
  ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, "Software\\TzDriverTest", "User", "u")) << LastError();
  EXPECT_EQ("u", GetRegString(HKEY_CURRENT_USER, "Software\\TzDriverTest", "User").value_or("?"));
  EXPECT_TRUE(DeleteRegTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\TzDriverTest")) << LastError();
  EXPECT_FALSE(GetRegDword(HKEY_LOCAL_MACHINE, key, "Count"));
  EXPECT_TRUE(DeleteRegTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\TzDriverTest")) << LastError();
  EXPECT_TRUE(DeleteRegTree(HKEY_CURRENT_USER, "Software\\TzDriverTest")) << LastError();
}

// Reads a .bmp written by SaveScreenshot: width, height and the number of distinct pixels.
struct Bmp {
  int width = 0, height = 0;
  size_t colours = 0;
};

std::optional<Bmp> ReadBmp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::string data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (data.size() < sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) || data.compare(0, 2, "BM") != 0) return std::nullopt;
  BITMAPINFOHEADER h;
  std::memcpy(&h, data.data() + sizeof(BITMAPFILEHEADER), sizeof h);
  const size_t stride = (static_cast<size_t>(h.biWidth) * 3 + 3) & ~size_t{3};
  const size_t offset = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  if (h.biBitCount != 24 || data.size() < offset + stride * static_cast<size_t>(h.biHeight)) return std::nullopt;
  std::vector<unsigned> pixels;
  for (int y = 0; y < h.biHeight; y += 4)
    for (int x = 0; x < h.biWidth; x += 4) {
      const unsigned char* p = reinterpret_cast<const unsigned char*>(data.data()) + offset + y * stride + x * 3;
      pixels.push_back(p[0] | p[1] << 8 | p[2] << 16);
    }
  std::sort(pixels.begin(), pixels.end());
  return Bmp{h.biWidth, h.biHeight, static_cast<size_t>(std::unique(pixels.begin(), pixels.end()) - pixels.begin())};
}

TEST_F(App, ScreenshotsOfScreenAndWindow) {
  const std::string screen = TempFile("driver-screen.bmp"), window = TempFile("driver-window.bmp");
  ASSERT_TRUE(SaveScreenshot(screen)) << LastError();
  ASSERT_TRUE(SaveScreenshot(window, dlg_)) << LastError();
  std::optional<Bmp> s = ReadBmp(screen), w = ReadBmp(window);
  ASSERT_TRUE(s && w);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), s->width);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), s->height);
  RECT r = WindowRect(dlg_);
  EXPECT_EQ(r.right - r.left, w->width);
  EXPECT_EQ(r.bottom - r.top, w->height);
  // The dialog's face, texts and buttons: more than a flat colour.
  EXPECT_GT(w->colours, 3u);
  EXPECT_GT(s->colours, 3u);
  if (const char* keep = std::getenv("TZ_SHOT_DIR")) {
    CopyFileA(screen.c_str(), (std::string(keep) + "\\driver-screen.bmp").c_str(), FALSE);
  }
  DeleteFileA(screen.c_str());
  DeleteFileA(window.c_str());
}

TEST(Files, ReadBoundedAndWaitForLine) {
  const std::string path = TempFile("driver-lines.txt");
  {
    std::ofstream f(path, std::ios::binary);
    f << "first\r\nsecond\nthird";
  }
  EXPECT_EQ((std::vector<std::string>{"first", "second", "third"}), SplitLines(ReadTextFile(path).value_or("")));
  EXPECT_FALSE(ReadTextFile(path, 5));
  EXPECT_NE(LastError().find("more than 5 bytes"), std::string::npos) << LastError();
  EXPECT_TRUE(WaitFileLine(path, "second", 100)) << LastError();
  EXPECT_FALSE(WaitFileLine(path, "fourth", 100));
  EXPECT_NE(LastError().find("last lines: first | second | third"), std::string::npos) << LastError();
  DeleteFileA(path.c_str());
  EXPECT_FALSE(ReadTextFile(path));
}

// Last, since it ends the Wine session of this prefix: what a restart request does under Wine 8.
TEST(SessionEnd, RestartRequestEndsWindowProcessesButNotTheDriver) {
  const std::string runOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
  const std::string marker = TempFile("driver-runonce.txt");
  ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, runOnce, "TzDriverTest", "cmd.exe /c echo ran> \"" + marker + "\"")) << LastError();
  const std::string bystanderLog = TempFile("driver-bystander.log"), requesterLog = TempFile("driver-requester.log");
  LaunchOptions opt;
  opt.args = "--title Bystander --log \"" + bystanderLog + "\"";
  Process bystander = Launch(kApp, opt);
  ASSERT_TRUE(bystander) << LastError();
  ASSERT_NE(WaitWindow("Bystander", kTimeout, bystander.Pid()), nullptr) << LastError();

  opt.args = "--restart --log \"" + requesterLog + "\"";
  Process requester = Launch(kApp, opt);
  ASSERT_TRUE(requester) << LastError();
  // Both are terminated with exit code 0 after WM_QUERYENDSESSION (lParam 0: not a log-off) and
  // WM_ENDSESSION; the requester would exit with 3 if it were left running.
  EXPECT_EQ(0u, requester.WaitExit(20000).value_or(99)) << LastError();
  EXPECT_EQ(0u, bystander.WaitExit(20000).value_or(99)) << LastError();
  for (const std::string& log : {requesterLog, bystanderLog}) {
    EXPECT_TRUE(WaitFileLine(log, "queryendsession 0", 1000)) << LastError();
    EXPECT_TRUE(WaitFileLine(log, "endsession 1", 1000)) << LastError();
  }
  EXPECT_TRUE(WaitFileLine(requesterLog, "restart requested", 1000)) << LastError();
  // wineboot then acts as at a system start: the RunOnce entries run and are removed.
  EXPECT_TRUE(WaitFileLine(marker, "ran", 20000)) << LastError();
  EXPECT_FALSE(GetRegString(HKEY_LOCAL_MACHINE, runOnce, "TzDriverTest"));
  // This process owns no window: it was left alone and goes on.
}

}  // namespace
