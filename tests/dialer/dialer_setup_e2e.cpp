// End to end, under Wine with the RAS simulator: the dialer's start-up (adapter detection,
// phonebook entry, stored credentials, command line), its input rules, its About dialog and
// the ways it ends without dialling.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "DialerHarness.h"
#include "UiDriver.h"

using namespace uidriver;
using namespace dialertest;

namespace {

const char kNoAdapter[] = "Failed to detect Velmora adapter. Verify that Velmora adapter is installed.";
const char kEntryFailed[] = "Failed to create Tessory Connection phone book entry.";
const char kPromptUser[] = "Enter your user name.";
const char kPromptPassword[] = "Enter your password.";
const char kPromptConnect[] = "Click Connect to start the connection process.";

class DialerSetup : public ::testing::Test {
 protected:
  void SetUp() override { ResetState(); }
  void TearDown() override { KillAllNamed("TzDialer.exe"); }

  // Starts the dialer and waits until its start-up sequence is over.
  DialerRun Start(const DialerOptions& options = {}) {
    DialerRun run = StartDialer(options);
    EXPECT_TRUE(run.dialog) << LastError();
    if (run.dialog) {
      EXPECT_TRUE(WaitStartupDone(run.dialog)) << LastError();
    }
    return run;
  }

  // A set-up failure: the stop box with |text|, and the dialer ending once it is dismissed.
  void ExpectFailureBox(DialerRun& run, const std::string& text) {
    HWND box = WaitDialerBox(run.process.Pid());
    ASSERT_NE(nullptr, box) << LastError();
    auto info = ReadMessageBox(box);
    ASSERT_TRUE(info) << LastError();
    EXPECT_EQ(kCaption, info->caption);
    EXPECT_EQ(text, info->text);
    EXPECT_EQ(BoxIcon::Stop, info->icon) << IconName(info->icon);
    EXPECT_EQ(std::vector<std::string>{"OK"}, info->buttons);
    ASSERT_TRUE(DismissMessageBox(box)) << LastError();
    auto code = run.process.WaitExit();
    ASSERT_TRUE(code.has_value()) << "the dialer did not end after the box";
    EXPECT_EQ(0u, *code);
  }

  std::string Status(HWND dialog) { return ControlText(dialog, kStatus); }
};

// --- adapter detection and the phonebook entry

TEST_F(DialerSetup, WithoutAVelmoraDeviceTheStopBoxEndsTheDialerAndNothingIsWritten) {
  // Case matters: neither an all-lower-case nor an all-upper-case marker is the adapter.
  WriteConfig("[Devices]\nDevice1=Standard Modem|modem\nDevice2=velmora soft adapter|vpn\n"
              "Device3=VELMORA HARDWARE|vpn\n");
  DialerRun run = StartDialer();
  ASSERT_TRUE(run.dialog) << LastError();
  ExpectFailureBox(run, kNoAdapter);
  EXPECT_TRUE(Phonebook().empty()) << ReadStateFile("phonebook.ini");
  EXPECT_TRUE(CallsOf("RasSetEntryPropertiesA").empty()) << Join(CallLog());
  auto enums = CallsOf("RasEnumDevicesA");
  ASSERT_EQ(2u, enums.size()) << Join(CallLog());
  EXPECT_EQ("no", Field(enums[0], "buffer"));
  EXPECT_EQ("152", Field(enums[1], "dwSize"));
  EXPECT_FALSE(GetRegDword(HKEY_CURRENT_USER, kProfileKey, "SavePassword").has_value());
}

TEST_F(DialerSetup, NoDeviceListOrAFailingListIsAFailedDetection) {
  WriteConfig("[Devices]\n");  // RAS has no devices: the first call already succeeds
  DialerRun run = StartDialer();
  ASSERT_TRUE(run.dialog) << LastError();
  ExpectFailureBox(run, kNoAdapter);
  ASSERT_EQ(1u, CallsOf("RasEnumDevicesA").size()) << Join(CallLog());

  // A first call that fails for another reason reports no size: nothing is allocated or read.
  ResetState();
  WriteConfig(StandardConfig("[FailCalls]\nRasEnumDevicesA=610\n"));
  DialerRun second = StartDialer();
  ASSERT_TRUE(second.dialog) << LastError();
  ExpectFailureBox(second, kNoAdapter);
  EXPECT_EQ(1u, CallsOf("RasEnumDevicesA").size()) << Join(CallLog());
  EXPECT_TRUE(Phonebook().empty());
}

TEST_F(DialerSetup, EntryIsCreatedForTheFirstVelmoraDeviceWithTheTemplate) {
  WriteConfig("[Devices]\nDevice1=Standard Modem|modem\nDevice2=velmora soft adapter|vpn\n"
              "Device3=Velmora PPPoE Adapter|VpN\nDevice4=Velmora Backup Adapter|modem\n");
  DialerRun run = Start();
  ASSERT_TRUE(run.dialog);
  EXPECT_EQ(nullptr, WaitDialerBox(run.process.Pid(), kCaption, 300)) << "no box expected";
  auto pb = Phonebook();
  ASSERT_EQ(1u, pb.count(kEntry)) << ReadStateFile("phonebook.ini");
  auto& e = pb[kEntry];
  EXPECT_EQ("Velmora PPPoE Adapter", e["szDeviceName"]);
  EXPECT_EQ("VpN", e["szDeviceType"]) << "copied as RAS reported it";
  EXPECT_EQ("1.1.1.1", e["szLocalPhoneNumber"]) << "vpn in any letter case";
  EXPECT_EQ("16", e["dwfOptions"]);
  EXPECT_EQ("4", e["dwfNetProtocols"]);
  EXPECT_EQ("1", e["dwFramingProtocol"]);
  EXPECT_EQ("1768", e["RecordSize"]);
  for (const char* zero : {"dwCountryID", "dwCountryCode", "dwFrameSize", "dwChannels", "dwReserved1", "dwReserved2"}) {
    EXPECT_EQ("0", e[zero]) << zero;
  }
  for (const char* empty : {"szAreaCode", "szScript", "szAutodialDll", "szAutodialFunc", "szX25PadType", "szX25Address",
                            "szX25Facilities", "szX25UserData", "AlternatePhoneNumbers", "DeviceInfo"}) {
    EXPECT_EQ("", e[empty]) << empty;
  }
  for (const char* ip : {"ipaddr", "ipaddrDns", "ipaddrDnsAlt", "ipaddrWins", "ipaddrWinsAlt"}) {
    EXPECT_EQ("0.0.0.0", e[ip]) << ip;
  }
  auto set = CallsOf("RasSetEntryPropertiesA");
  ASSERT_EQ(1u, set.size());
  EXPECT_EQ("phonebook=default", "phonebook=" + Field(set[0], "phonebook"));
  EXPECT_EQ("1768", Field(set[0], "size"));
  EXPECT_EQ("0", Field(set[0], "devinfo"));
  EXPECT_EQ(kPromptUser, Status(run.dialog));
}

struct TypeCase {
  const char* type;
  const char* number;
};
class EntryNumber : public DialerSetup, public ::testing::WithParamInterface<TypeCase> {};

TEST_P(EntryNumber, FollowsTheDeviceType) {
  WriteConfig(std::string("[Devices]\nDevice1=The Velmora Adapter|") + GetParam().type + "\n");
  DialerRun run = Start();
  ASSERT_TRUE(run.dialog);
  auto pb = Phonebook();
  EXPECT_EQ(GetParam().number, pb[kEntry]["szLocalPhoneNumber"]) << GetParam().type;
  EXPECT_EQ(GetParam().type, pb[kEntry]["szDeviceType"]);
}

INSTANTIATE_TEST_SUITE_P(Types, EntryNumber,
                         ::testing::Values(TypeCase{"vpn", "1.1.1.1"}, TypeCase{"VPN", "1.1.1.1"},
                                           TypeCase{"isdn", "000-0000"}, TypeCase{"modem", "000-0000"},
                                           TypeCase{"vpn2", "000-0000"}));

TEST_F(DialerSetup, AnExistingEntryIsUsedUnchangedWithoutLookingForDevices) {
  PresetEntry("555-0100", "Retired Velmora Adapter", "modem");
  const std::string before = ReadStateFile("phonebook.ini");
  WriteConfig("[Devices]\nDevice1=Standard Modem|modem\n");  // no adapter any more
  DialerRun run = Start();
  ASSERT_TRUE(run.dialog);
  EXPECT_EQ(nullptr, WaitDialerBox(run.process.Pid(), kCaption, 500)) << "no box expected";
  EXPECT_EQ(before, ReadStateFile("phonebook.ini"));
  EXPECT_TRUE(CallsOf("RasEnumDevicesA").empty()) << Join(CallLog());
  EXPECT_TRUE(CallsOf("RasSetEntryPropertiesA").empty()) << Join(CallLog());
  auto validate = CallsOf("RasValidateEntryNameA");
  ASSERT_EQ(1u, validate.size());
  EXPECT_EQ(kEntry, Field(validate[0], "entry"));
  EXPECT_EQ("183", Field(validate[0], "rc"));
}

TEST_F(DialerSetup, AnEntryThatCannotBeWrittenShowsTheStopBox) {
  WriteConfig(StandardConfig("[FailCalls]\nRasSetEntryPropertiesA=624\n"));
  DialerRun run = StartDialer();
  ASSERT_TRUE(run.dialog) << LastError();
  ExpectFailureBox(run, kEntryFailed);
  EXPECT_TRUE(Phonebook().empty());
}

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

// --- stored credentials and the command line

TEST_F(DialerSetup, StoredCredentialsAreRestoredOnlyWithSavePassword) {
  WriteConfig(StandardConfig());
  PresetEntry("1.1.1.1", "Velmora PPPoE Adapter", "vpn");
  PresetDialParams("stored-user", "stored-pw", true);
  HWND save = nullptr;

  for (int value : {-1, 0, 5}) {  // absent, 0, and a number other than 1
    SCOPED_TRACE("SavePassword " + std::to_string(value));
    if (value >= 0) SetRegDword(HKEY_CURRENT_USER, kProfileKey, "SavePassword", static_cast<DWORD>(value));
    DialerRun run = Start();
    ASSERT_TRUE(run.dialog);
    EXPECT_EQ("", ControlText(run.dialog, kUserName));
    EXPECT_EQ(kPromptUser, Status(run.dialog));
    EXPECT_EQ(BST_UNCHECKED, CheckState(GetDlgItem(run.dialog, kSavePassword)));
    EXPECT_TRUE(CallsOf("RasGetEntryDialParamsA").empty()) << Join(CallLog());
    run.process.Kill();
  }

  SetRegDword(HKEY_CURRENT_USER, kProfileKey, "SavePassword", 1);
  DialerRun run = Start();
  ASSERT_TRUE(run.dialog);
  // The user name survives the writing of the password, whose change notice comes first.
  EXPECT_EQ("stored-user", ControlText(run.dialog, kUserName));
  EXPECT_EQ(9, Send(GetDlgItem(run.dialog, kPassword), WM_GETTEXTLENGTH).value_or(-1));
  EXPECT_EQ(kPromptConnect, Status(run.dialog));
  save = GetDlgItem(run.dialog, kSavePassword);
  EXPECT_EQ(BST_CHECKED, CheckState(save));
  EXPECT_TRUE(IsEnabled(save));
  EXPECT_TRUE(IsEnabled(GetDlgItem(run.dialog, IDOK)));
  auto get = CallsOf("RasGetEntryDialParamsA");
  ASSERT_EQ(1u, get.size());
  EXPECT_EQ("1052", Field(get[0], "dwSize"));
  run.process.Kill();

  // RAS cannot give the stored credentials: the edits stay empty, nothing is said, and the
  // dialog works as on a first start.
  WriteConfig(StandardConfig("[FailCalls]\nRasGetEntryDialParamsA=623\n"));
  DialerRun failing = Start();
  ASSERT_TRUE(failing.dialog);
  EXPECT_EQ("", ControlText(failing.dialog, kUserName));
  EXPECT_EQ(0, Send(GetDlgItem(failing.dialog, kPassword), WM_GETTEXTLENGTH).value_or(-1));
  EXPECT_EQ(kPromptUser, Status(failing.dialog));
  EXPECT_EQ(BST_UNCHECKED, CheckState(GetDlgItem(failing.dialog, kSavePassword)));
  EXPECT_EQ(1u, VisibleTopWindows(failing.process.Pid()).size()) << "no message";
  ASSERT_TRUE(SetControlText(failing.dialog, kUserName, "demo"));
  ASSERT_TRUE(SetControlText(failing.dialog, kPassword, "tessory"));
  ASSERT_TRUE(WaitControlText(failing.dialog, kStatus, kPromptConnect)) << LastError();
  ASSERT_TRUE(ClickControl(failing.dialog, IDOK)) << LastError();
  auto code = failing.process.WaitExit(20000);
  ASSERT_TRUE(code.has_value()) << "not connected; status: " << Status(failing.dialog);
  EXPECT_EQ(0u, *code);
}

TEST_F(DialerSetup, SavedUserWithoutPasswordLeavesSavePasswordOff) {
  WriteConfig(StandardConfig());
  PresetEntry("1.1.1.1", "Velmora PPPoE Adapter", "vpn");
  PresetDialParams("only-user", "", false);
  SetRegDword(HKEY_CURRENT_USER, kProfileKey, "SavePassword", 1);
  DialerRun run = Start();
  ASSERT_TRUE(run.dialog);
  EXPECT_EQ("only-user", ControlText(run.dialog, kUserName));
  EXPECT_EQ(0, Send(GetDlgItem(run.dialog, kPassword), WM_GETTEXTLENGTH).value_or(-1));
  EXPECT_EQ(kPromptPassword, Status(run.dialog));
  HWND save = GetDlgItem(run.dialog, kSavePassword);
  EXPECT_EQ(BST_UNCHECKED, CheckState(save));
  EXPECT_FALSE(IsEnabled(save));
}

TEST_F(DialerSetup, CommandLineValuesReplaceTheStoredOnes) {
  WriteConfig(StandardConfig());
  PresetEntry("1.1.1.1", "Velmora PPPoE Adapter", "vpn");
  PresetDialParams("stored-user", "stored-pw", true);
  SetRegDword(HKEY_CURRENT_USER, kProfileKey, "SavePassword", 1);
  {
    DialerOptions o;
    o.args = "/U\"cmd user\" /P\"cmd-pw\"";
    DialerRun run = Start(o);
    ASSERT_TRUE(run.dialog);
    EXPECT_EQ("cmd user", ControlText(run.dialog, kUserName));
    EXPECT_EQ(6, Send(GetDlgItem(run.dialog, kPassword), WM_GETTEXTLENGTH).value_or(-1));
    EXPECT_EQ(kPromptConnect, Status(run.dialog));
    run.process.Kill();
  }
  {
    // An empty /U and a lower-case /p leave the stored values in place.
    DialerOptions o;
    o.args = "/U\"\" /p\"lower\"";
    DialerRun run = Start(o);
    ASSERT_TRUE(run.dialog);
    EXPECT_EQ("stored-user", ControlText(run.dialog, kUserName));
    EXPECT_EQ(9, Send(GetDlgItem(run.dialog, kPassword), WM_GETTEXTLENGTH).value_or(-1));
    run.process.Kill();
  }
  {
    // Without stored credentials the command line alone fills the edits.
    DeleteRegValue(HKEY_CURRENT_USER, kProfileKey, "SavePassword");
    DialerOptions o;
    o.args = "/U\"only-cmd\"";
    DialerRun run = Start(o);
    ASSERT_TRUE(run.dialog);
    EXPECT_EQ("only-cmd", ControlText(run.dialog, kUserName));
    EXPECT_EQ(kPromptPassword, Status(run.dialog));
  }
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
