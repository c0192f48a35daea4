// End to end, under Wine with the RAS simulator: the dialer's input rules, its About dialog
// and the ways it ends without dialling.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "DialFixture.h"

using namespace uidriver;
using namespace dialertest;

namespace {

// --- input rules

TEST_F(DialerSetup, InputRulesDecidePromptConnectAndSavePassword) {
  WriteConfig(StandardConfig());
  DialerRun run = Start();
  ASSERT_TRUE(run.dialog);
  HWND d = run.dialog;
  HWND connect = GetDlgItem(d, IDOK), save = GetDlgItem(d, kSavePassword);
  struct Row {
    const char* user;
    const char* password;
    const char* prompt;
    bool save;
    bool connect;
  };
  const Row rows[] = {
      {"", "", kPromptUser, false, false},      {"demo", "", kPromptPassword, false, false},
      {"demo", "pw", kPromptConnect, true, true}, {"", "pw", kPromptUser, true, false},
      {"", "", kPromptUser, false, false},      {"x", "y", kPromptConnect, true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string("user \"") + row.user + "\" password \"" + row.password + "\"");
    ASSERT_TRUE(SetControlText(d, kUserName, row.user)) << LastError();
    ASSERT_TRUE(SetControlText(d, kPassword, row.password)) << LastError();
    EXPECT_TRUE(WaitControlText(d, kStatus, row.prompt)) << LastError();
    EXPECT_EQ(row.save, IsEnabled(save));
    EXPECT_EQ(row.connect, IsEnabled(connect));
  }
  // The domain controls stay hidden; the picture button is 100 by 100 pixels.
  EXPECT_FALSE(IsVisible(GetDlgItem(d, kDomain)));
  EXPECT_FALSE(IsVisible(GetDlgItem(d, kDomainLabel)));
  RECT web = WindowRect(GetDlgItem(d, kWebButton));
  EXPECT_EQ(100, web.right - web.left);
  EXPECT_EQ(100, web.bottom - web.top);
  // Its top-left corner stays where the template puts it, at x = 160 dialog units, the left
  // edge of Connect.
  EXPECT_EQ(WindowRect(GetDlgItem(d, IDOK)).left, web.left);
}

TEST_F(DialerSetup, ThePointerOverThePictureButtonIsItsOwnCursor) {
  WriteConfig(StandardConfig());
  DialerRun run = Start();
  ASSERT_TRUE(run.dialog);
  // Wine keeps cursor objects per process (GetIconInfo of another process's cursor fails with
  // error 1402), so the hand's hot spot cannot be read from here (the resource test checks
  // it); the cursor shown is told apart by its handle instead.
  auto cursorAt = [](POINT p) {
    SetCursorPos(p.x, p.y);
    HCURSOR shown = nullptr;
    WaitFor(
        [&] {
          CURSORINFO ci{};
          ci.cbSize = sizeof ci;
          HCURSOR before = shown;
          Sleep(100);
          if (GetCursorInfo(&ci)) shown = ci.hCursor;
          return shown != nullptr && shown == before;
        },
        3000, "a settled cursor");
    return shown;
  };
  RECT web = WindowRect(GetDlgItem(run.dialog, kWebButton));
  RECT edit = WindowRect(GetDlgItem(run.dialog, kUserName));
  const POINT overButton = {(web.left + web.right) / 2, (web.top + web.bottom) / 2};
  const POINT overDialog = {web.left - 4, overButton.y};  // the gap left of the button
  const POINT overEdit = {(edit.left + edit.right) / 2, (edit.top + edit.bottom) / 2};
  HCURSOR arrow = cursorAt(overDialog), ibeam = cursorAt(overEdit), hand = cursorAt(overButton);
  ASSERT_NE(nullptr, hand);
  EXPECT_NE(arrow, ibeam);
  EXPECT_NE(arrow, hand);
  EXPECT_NE(ibeam, hand);
  EXPECT_EQ(hand, cursorAt({overButton.x + 30, overButton.y + 30})) << "the same cursor all over the button";
  EXPECT_EQ(arrow, cursorAt(overDialog));
}

TEST_F(DialerSetup, EmptyingThePasswordClearsAndDisablesSavePassword) {
  WriteConfig(StandardConfig());
  DialerRun run = Start();
  ASSERT_TRUE(run.dialog);
  HWND d = run.dialog, save = GetDlgItem(d, kSavePassword);
  ASSERT_TRUE(SetControlText(d, kUserName, "demo"));
  ASSERT_TRUE(SetControlText(d, kPassword, "secret"));
  ASSERT_TRUE(WaitEnabled(save, true)) << LastError();
  ASSERT_TRUE(ClickAndWait(save)) << LastError();
  ASSERT_EQ(BST_CHECKED, CheckState(save));
  ASSERT_TRUE(SetControlText(d, kPassword, ""));
  EXPECT_TRUE(WaitControlText(d, kStatus, kPromptPassword)) << LastError();
  EXPECT_EQ(BST_UNCHECKED, CheckState(save));
  EXPECT_FALSE(IsEnabled(save));
  EXPECT_FALSE(IsEnabled(GetDlgItem(d, IDOK)));
  // A password typed again leaves the box unticked until the user ticks it.
  ASSERT_TRUE(SetControlText(d, kPassword, "again"));
  EXPECT_TRUE(WaitEnabled(save, true)) << LastError();
  EXPECT_EQ(BST_UNCHECKED, CheckState(save));
}

TEST_F(DialerSetup, EditsTakeAtMost100Characters) {
  WriteConfig(StandardConfig());
  DialerRun run = Start();
  ASSERT_TRUE(run.dialog);
  HWND d = run.dialog;
  const std::string typed(101, 'k');
  for (int id : {int(kUserName), int(kPassword), int(kDomain)}) {
    HWND edit = GetDlgItem(d, id);
    ASSERT_TRUE(TypeChars(edit, typed)) << LastError();
    auto len = Send(edit, WM_GETTEXTLENGTH);
    ASSERT_TRUE(len.has_value());
    EXPECT_EQ(100, *len) << "edit " << id;
  }
  // Text put in past the limit (WM_SETTEXT ignores it) is refused when read back. The change
  // handler shows a box, so the message is not waited for.
  const std::string longText(101, 'u');
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(GetDlgItem(d, kUserName), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(longText.c_str()),
                      SMTO_NORMAL, 500, &ignored);
  HWND box = WaitDialerBox(run.process.Pid(), "TzDialer");
  ASSERT_NE(nullptr, box) << LastError();
  auto info = ReadMessageBox(box);
  ASSERT_TRUE(info);
  EXPECT_EQ("Please enter no more than 100 characters.", info->text);
  EXPECT_EQ(BoxIcon::Exclamation, info->icon) << IconName(info->icon);
  ASSERT_TRUE(DismissMessageBox(box)) << LastError();
  EXPECT_TRUE(WaitFor([&] { return FocusOf(d) == GetDlgItem(d, kUserName); }, kTimeout, "focus on the user name"))
      << LastError();
}

// --- ending, About, help

TEST_F(DialerSetup, CancelEscAndCloseEndTheDialerWhenNotDialling) {
  WriteConfig(StandardConfig());
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way == 0 ? "Cancel" : way == 1 ? "Esc" : "Close");
    DialerRun run = Start();
    ASSERT_TRUE(run.dialog);
    bool sent = way == 0 ? ClickControl(run.dialog, IDCANCEL)
                : way == 1 ? PressKey(run.dialog, VK_ESCAPE)
                           : PostSysCommand(run.dialog, SC_CLOSE);
    ASSERT_TRUE(sent) << LastError();
    auto code = run.process.WaitExit();
    ASSERT_TRUE(code.has_value()) << "still running";
    EXPECT_EQ(0u, *code);
  }
  EXPECT_TRUE(CallsOf("RasDialA").empty());
  EXPECT_TRUE(CallsOf("RasHangUpA").empty());
}

TEST_F(DialerSetup, SystemMenuEndsWithAboutWhichShowsTheBuildStampRule) {
  WriteConfig(StandardConfig());
  DialerRun run = Start();
  ASSERT_TRUE(run.dialog);
  auto menu = ReadSystemMenu(run.dialog);
  ASSERT_TRUE(menu) << LastError();
  ASSERT_GE(menu->size(), 2u);
  const MenuItem& last = menu->back();
  EXPECT_EQ(16u, last.id);
  EXPECT_EQ("&About Tessory Dialer...", last.text);
  EXPECT_TRUE((*menu)[menu->size() - 2].separator);

  struct Stamp {
    const char* value;  // nullptr: no value
    const char* shown;
  };
  const Stamp stamps[] = {{nullptr, ""},  {"1.0", "19990929"}, {"", ""},
                          {"   ", ""},    {"123456789012345", "19990929"}, {"1234567890123456", ""}};
  for (const Stamp& s : stamps) {
    SCOPED_TRACE(s.value ? std::string("BuildInfo \"") + s.value + "\"" : std::string("no BuildInfo"));
    if (s.value) {
      ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, kMachineKey, "BuildInfo", s.value));
    } else {
      DeleteRegValue(HKEY_LOCAL_MACHINE, kMachineKey, "BuildInfo");
    }
    ASSERT_TRUE(PostSysCommand(run.dialog, 16)) << LastError();
    HWND about = WaitWindow("About Tessory", kTimeout, run.process.Pid());
    ASSERT_NE(nullptr, about) << LastError();
    EXPECT_EQ(s.shown, ControlText(about, 1009));
    EXPECT_EQ(run.dialog, GetWindow(about, GW_OWNER)) << "owned by the main dialog";
    EXPECT_EQ(GetDlgItem(about, IDOK), FocusOf(about));
    ASSERT_TRUE(ClickControl(about, IDOK)) << LastError();
    ASSERT_TRUE(WaitWindowGone(about)) << LastError();
  }
  EXPECT_TRUE(IsWindow(run.dialog));
}

TEST_F(DialerSetup, HelpDoesNothing) {
  WriteConfig(StandardConfig());
  DialerRun run = Start();
  ASSERT_TRUE(run.dialog);
  ASSERT_TRUE(SendKeyInput(GetDlgItem(run.dialog, kUserName), VK_F1)) << LastError();
  ASSERT_TRUE(PostCommand(run.dialog, 57670)) << LastError();  // the standard help command
  EXPECT_TRUE(StaysFalse(
      [&] { return VisibleTopWindows(run.process.Pid()).size() != 1 || !ProcessesNamed("winhlp32.exe").empty(); },
      "a window or the help program after F1 and the help command"))
      << LastError();
  auto windows = VisibleTopWindows(run.process.Pid());
  ASSERT_EQ(1u, windows.size()) << "only the main dialog";
  EXPECT_EQ(run.dialog, windows[0]);
  EXPECT_TRUE(ProcessesNamed("winhlp32.exe").empty());
  EXPECT_TRUE(run.process.Running());
}

TEST_F(DialerSetup, EveryStartOpensItsOwnDialogAndThePictureButtonOpensTheHomePage) {
  WriteConfig(StandardConfig());
  // The shell opens https addresses with the program registered for them: the stand-in.
  ASSERT_TRUE(InstallMark("C:\\windows\\tzbrowser.exe"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, "https\\shell\\open\\command", "",
                           "\"C:\\windows\\tzbrowser.exe\" \"%1\""));
  DialerRun first = Start();
  DialerRun second = Start();
  ASSERT_TRUE(first.dialog && second.dialog);
  EXPECT_NE(first.dialog, second.dialog);
  ASSERT_TRUE(ClickControl(first.dialog, kWebButton)) << LastError();
  EXPECT_TRUE(WaitFor([] { return !Marks().empty(); }, kTimeout, "the browser stand-in")) << LastError();
  auto marks = Marks();
  ASSERT_EQ(1u, marks.size());
  EXPECT_EQ(0u, marks[0].rfind("tzbrowser.exe|", 0)) << marks[0];
  EXPECT_NE(std::string::npos, marks[0].find("https://")) << marks[0];
  ASSERT_TRUE(ClickControl(second.dialog, IDCANCEL));
  EXPECT_TRUE(second.process.WaitExit().has_value());
  EXPECT_TRUE(first.process.Running()) << "the first dialer is independent of the second";
}

}  // namespace
