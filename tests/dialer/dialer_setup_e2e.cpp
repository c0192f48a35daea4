// End to end, under Wine with the RAS simulator: the dialer's start-up: adapter detection,
// the phonebook entry, stored credentials and the command line.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "DialFixture.h"

using namespace uidriver;
using namespace dialertest;

namespace {

const char kNoAdapter[] = "Failed to detect Velmora adapter. Verify that Velmora adapter is installed.";
const char kEntryFailed[] = "Failed to create Tessory Connection phone book entry.";

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

}  // namespace
