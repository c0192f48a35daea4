// The frame's modal dialogs in Corvane.exe under Wine: the service name, Status and About,
// each opened from the frame as its menu commands open them.
#include "TrayFrameE2E.h"

namespace {

using namespace traye2e;

// ---- Service name -------------------------------------------------------------------------------

TEST_F(Frame, ServiceNameRoundTrip) {
  Start();
  // No PoE key: the field starts empty; OK creates the key and writes the text as typed.
  PostCommand(frame_, ID_SERVICE_NAME);
  HWND dlg = Dialog("Tessory - Service Name");
  ASSERT_NE(nullptr, dlg) << LastError();
  EXPECT_EQ("", ControlText(dlg, 1002));
  EXPECT_EQ(std::optional<LRESULT>(127), Send(Control(dlg, 1002), EM_GETLIMITTEXT));
  ASSERT_TRUE(SetControlText(dlg, 1002, "  My ISP  "));
  ASSERT_TRUE(ClickControl(dlg, IDOK));
  ASSERT_TRUE(WaitWindowGone(dlg)) << LastError();
  EXPECT_EQ(std::optional<std::string>("  My ISP  "), GetRegString(HKEY_LOCAL_MACHINE, kPoEKey, "ServiceName"));

  // Shown trimmed; OK then writes the trimmed text.
  PostCommand(frame_, ID_SERVICE_NAME);
  dlg = Dialog("Tessory - Service Name");
  ASSERT_NE(nullptr, dlg);
  EXPECT_EQ("My ISP", ControlText(dlg, 1002));
  ClickControl(dlg, IDOK);
  ASSERT_TRUE(WaitWindowGone(dlg));
  EXPECT_EQ(std::optional<std::string>("My ISP"), GetRegString(HKEY_LOCAL_MACHINE, kPoEKey, "ServiceName"));

  // 127 characters are shown; 128 read as missing, and OK writes what the field holds.
  const std::string n127(127, 'k'), n128(128, 'm');
  SetRegString(HKEY_LOCAL_MACHINE, kPoEKey, "ServiceName", n127);
  PostCommand(frame_, ID_SERVICE_NAME);
  dlg = Dialog("Tessory - Service Name");
  ASSERT_NE(nullptr, dlg);
  EXPECT_EQ(n127, ControlText(dlg, 1002));
  ClickControl(dlg, IDCANCEL);
  ASSERT_TRUE(WaitWindowGone(dlg));
  SetRegString(HKEY_LOCAL_MACHINE, kPoEKey, "ServiceName", n128);
  PostCommand(frame_, ID_SERVICE_NAME);
  dlg = Dialog("Tessory - Service Name");
  ASSERT_NE(nullptr, dlg);
  EXPECT_EQ("", ControlText(dlg, 1002));
  ASSERT_TRUE(TypeChars(Control(dlg, 1002), "fresh"));
  EXPECT_TRUE(WaitControlText(dlg, 1002, "fresh"));
  ClickControl(dlg, IDOK);
  ASSERT_TRUE(WaitWindowGone(dlg));
  EXPECT_EQ(std::optional<std::string>("fresh"), GetRegString(HKEY_LOCAL_MACHINE, kPoEKey, "ServiceName"));

  // An empty field stores the empty text; the value stays.
  PostCommand(frame_, ID_SERVICE_NAME);
  dlg = Dialog("Tessory - Service Name");
  ASSERT_NE(nullptr, dlg);
  SetControlText(dlg, 1002, "");
  ClickControl(dlg, IDOK);
  ASSERT_TRUE(WaitWindowGone(dlg));
  EXPECT_EQ(std::optional<std::string>(""), GetRegString(HKEY_LOCAL_MACHINE, kPoEKey, "ServiceName"));
  Stop();
}

TEST_F(Frame, ServiceNameAtMost127Characters) {
  Start();
  SetRegString(HKEY_LOCAL_MACHINE, kPoEKey, "ServiceName", "kept");
  PostCommand(frame_, ID_SERVICE_NAME);
  HWND dlg = Dialog("Tessory - Service Name");
  ASSERT_NE(nullptr, dlg);
  // Typing stops at the limit.
  SetControlText(dlg, 1002, "");
  ASSERT_TRUE(TypeChars(Control(dlg, 1002), std::string(130, 't')));
  EXPECT_EQ(std::string(127, 't'), ControlText(dlg, 1002));
  // A longer text put there otherwise is refused; nothing is written and the dialog stays.
  SetControlText(dlg, 1002, std::string(140, 'u'));
  ClickControl(dlg, IDOK);
  auto box = WaitMessageBox("Velmora Tessory", kTimeout, proc_.Pid());
  ASSERT_TRUE(box.has_value()) << LastError();
  EXPECT_EQ("Please enter no more than 127 characters.", box->text);
  DismissMessageBox(box->hwnd);
  EXPECT_TRUE(IsWindow(dlg));
  EXPECT_EQ(std::optional<std::string>("kept"), GetRegString(HKEY_LOCAL_MACHINE, kPoEKey, "ServiceName"));
  ClickControl(dlg, IDCANCEL);
  EXPECT_TRUE(WaitWindowGone(dlg));
  Stop();
}

TEST_F(Frame, ServiceNameCancelEscCloseBoxWriteNothing) {
  Start();
  for (int way = 0; way < 3; ++way) {
    PostCommand(frame_, ID_SERVICE_NAME);
    HWND dlg = Dialog("Tessory - Service Name");
    ASSERT_NE(nullptr, dlg) << way;
    SetControlText(dlg, 1002, "not to be stored");
    if (way == 0) ClickControl(dlg, IDCANCEL);
    if (way == 1) PressKey(dlg, VK_ESCAPE);
    if (way == 2) PostSysCommand(dlg, SC_CLOSE);
    ASSERT_TRUE(WaitWindowGone(dlg)) << way;
    EXPECT_FALSE(GetRegString(HKEY_LOCAL_MACHINE, kPoEKey, "ServiceName").has_value()) << way;
  }
  HKEY key = nullptr;
  EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPoEKey, 0, KEY_READ, &key)) << "no key created";
  if (key) RegCloseKey(key);
  Stop();
}

TEST_F(Frame, ServiceNameOneDialogAtATime) {
  Start();
  PostCommand(frame_, ID_SERVICE_NAME);
  HWND dlg = Dialog("Tessory - Service Name");
  ASSERT_NE(nullptr, dlg);
  // Again from the icon's menu while it is open.
  HWND menu = OpenTrayMenu();
  ASSERT_NE(nullptr, menu) << LastError();
  ASSERT_TRUE(ChoosePopupItem(menu, ID_SERVICE_NAME)) << LastError();
  EXPECT_TRUE(StaysFalse([&] { return CountDialogs("Tessory - Service Name") != 1; }, "a second dialog")) << LastError();
  EXPECT_EQ(1u, CountDialogs("Tessory - Service Name"));
  EXPECT_TRUE(IsWindow(dlg));
  EXPECT_EQ(dlg, GetForegroundWindow()) << "brought to the front";
  ClickControl(dlg, IDCANCEL);
  ASSERT_TRUE(WaitWindowGone(dlg));
  // A later command opens a new one.
  PostCommand(frame_, ID_SERVICE_NAME);
  dlg = Dialog("Tessory - Service Name");
  EXPECT_NE(nullptr, dlg);
  ClickControl(dlg, IDCANCEL);
  WaitWindowGone(dlg);
  Stop();
}

// ---- Status and About ---------------------------------------------------------------------------

TEST_F(Frame, StatusCountsSecondsRightAligned) {
  Start();
  for (int round = 0; round < 2; ++round) {
    // Counted from before the command: the dialog cannot count sooner, however slowly the
    // machine shows it.
    DWORD t0 = GetTickCount();
    PostCommand(frame_, ID_STATUS);
    HWND dlg = Dialog("Status");
    ASSERT_NE(nullptr, dlg) << LastError();
    EXPECT_EQ("0", ControlText(dlg, 1004)) << "round " << round << ": starts at 0";
    ASSERT_TRUE(WaitControlText(dlg, 1004, "1", 2500)) << LastError();
    DWORD t1 = GetTickCount() - t0;
    ASSERT_TRUE(WaitControlText(dlg, 1004, "2", 2500)) << LastError();
    DWORD t2 = GetTickCount() - t0;
    EXPECT_GE(t1, 700u);
    EXPECT_GE(t2, 1700u);
    EXPECT_EQ(static_cast<LONG>(SS_RIGHT), GetWindowLongA(Control(dlg, 1004), GWL_STYLE) & SS_TYPEMASK);
    EXPECT_EQ("Timer:", Text(GetWindow(Control(dlg, IDOK), GW_HWNDNEXT)));
    ClickControl(dlg, IDOK);
    ASSERT_TRUE(WaitWindowGone(dlg));
  }
  Stop();
}

TEST_F(Frame, AboutShowsTheBuildStampOnlyWithBuildInfo) {
  struct Case {
    const char* value;  // nullptr: missing
    const char* shown;
  } cases[] = {
      {nullptr, ""},          {"", ""},
      {"  \t ", ""},          {"1", "19990929"},
      {" 2.0.1234 ", "19990929"}, {"123456789012345", "19990929"},
      {"1234567890123456", ""},  // 16 characters need 17 bytes: read as missing
  };
  Start();
  for (const Case& c : cases) {
    if (c.value)
      SetRegString(HKEY_LOCAL_MACHINE, kAppKey, "BuildInfo", c.value);
    else
      DeleteRegValue(HKEY_LOCAL_MACHINE, kAppKey, "BuildInfo");
    PostCommand(frame_, ID_APP_ABOUT);
    HWND dlg = Dialog("About Tessory");
    ASSERT_NE(nullptr, dlg) << LastError();
    EXPECT_EQ(c.shown, ControlText(dlg, 1000)) << "BuildInfo " << (c.value ? c.value : "(missing)");
    ClickControl(dlg, IDOK);
    ASSERT_TRUE(WaitWindowGone(dlg));
  }
  Stop();
}

TEST_F(Frame, AboutOneDialogAtATime) {
  Start();
  // A double click on the icon runs About directly.
  Post(frame_, WM_TRAY_NOTIFY, kTrayId, WM_LBUTTONDBLCLK);
  HWND dlg = Dialog("About Tessory");
  ASSERT_NE(nullptr, dlg) << LastError();
  EXPECT_EQ(nullptr, FindPopupMenu(proc_.Pid())) << "no menu on a double click";
  Post(frame_, WM_TRAY_NOTIFY, kTrayId, WM_LBUTTONDBLCLK);
  PostCommand(frame_, ID_APP_ABOUT);
  EXPECT_TRUE(StaysFalse([&] { return CountDialogs("About Tessory") != 1; }, "a second About")) << LastError();
  EXPECT_EQ(1u, CountDialogs("About Tessory"));
  EXPECT_EQ(dlg, GetForegroundWindow()) << "brought to the front";
  ClickControl(dlg, IDOK);
  ASSERT_TRUE(WaitWindowGone(dlg));
  Stop();
}

}  // namespace
