// End to end, under Wine with the RAS simulator: dialling. Every state on the status line,
// what a connection stores and starts, the connection sound, and errors in words.
#include <windows.h>
#include <gtest/gtest.h>
#include <mmsystem.h>

#include <fstream>
#include <string>
#include <vector>

#include "DialFixture.h"

using namespace uidriver;
using namespace dialertest;

namespace {

// --- a connection
TEST_F(DialerDial, ConnectShowsEveryStateStoresTheAccountAndEndsWithTheLineUp) {
  ASSERT_TRUE(InstallMark("C:\\windows\\RASMON.EXE"));
  DialerRun run = Ready();
  ASSERT_TRUE(run.dialog);
  ASSERT_TRUE(WaitStatus(run.dialog, kPromptConnect)) << LastError();
  ASSERT_TRUE(ClickAndWait(GetDlgItem(run.dialog, kSavePassword))) << LastError();
  StatusRecorder recorder(run.dialog);
  // Enter with the focus in the password edit presses the default button, Connect.
  ASSERT_TRUE(PressKey(GetDlgItem(run.dialog, kPassword), VK_RETURN)) << LastError();
  EXPECT_TRUE(WaitFor([&] { return InputsDisabled(run.dialog); }, kTimeout, "inputs disabled")) << LastError();
  EXPECT_TRUE(IsEnabled(GetDlgItem(run.dialog, IDCANCEL)));
  auto code = run.process.WaitExit(20000);
  ASSERT_TRUE(code.has_value()) << "still running";
  EXPECT_EQ(0u, *code);
  std::vector<std::string> texts = recorder.Stop();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(kPromptConnect, texts.front());
  EXPECT_EQ(kWalk, std::vector<std::string>(texts.begin() + 1, texts.end())) << Join(texts);

  auto dial = CallsOf("RasDialA");
  ASSERT_EQ(1u, dial.size()) << Join(CallLog());
  EXPECT_EQ("1052", Field(dial[0], "dwSize"));
  EXPECT_EQ(kEntry, Field(dial[0], "entry"));
  EXPECT_EQ("demo", Field(dial[0], "user"));
  EXPECT_EQ("given", Field(dial[0], "password"));
  EXPECT_EQ("", Field(dial[0], "domain"));
  EXPECT_EQ("1", Field(dial[0], "notifierType"));
  EXPECT_EQ("1.1.1.1", Field(dial[0], "number"));
  // The line stays up after the dialer has ended: nothing hung it up.
  EXPECT_TRUE(CallsOf("RasHangUpA").empty()) << Join(CallLog());
  auto connections = Connections();
  bool up = false;
  for (auto& [name, values] : connections) up = up || (values["Entry"] == kEntry && values["User"] == "demo");
  EXPECT_TRUE(up) << ReadStateFile("connections.ini");

  auto set = CallsOf("RasSetEntryDialParamsA");
  ASSERT_EQ(1u, set.size()) << Join(CallLog());
  EXPECT_EQ("0", Field(set[0], "remove"));
  EXPECT_EQ("1052", Field(set[0], "dwSize"));
  auto params = DialParams()[kEntry];
  EXPECT_EQ("demo", params["UserName"]);
  EXPECT_EQ("tessory", params["Password"]);
  EXPECT_EQ("1", params["HasPassword"]);
  EXPECT_EQ(1u, GetRegDword(HKEY_CURRENT_USER, kProfileKey, "SavePassword").value_or(99));
  EXPECT_TRUE(WaitFor([] { return !Marks().empty(); }, 5000, "RASMON.EXE")) << LastError();
}

// A machine much slower than RAS: the dialog's thread stops right after it has shown the first
// state and goes on only once RAS has reported the connection. Every state's text is still
// shown, once and in order.
TEST_F(DialerDial, EveryStateIsShownOnceAndInOrderHoweverFarTheDialogLags) {
  DialerRun run = Ready();
  ASSERT_TRUE(run.dialog);
  ASSERT_TRUE(WaitStatus(run.dialog, kPromptConnect)) << LastError();
  ThreadWatch watch(GetDlgItem(run.dialog, kStatus));
  ASSERT_TRUE(watch) << LastError();
  watch.StallAtText(1);
  ASSERT_TRUE(ClickControl(run.dialog, IDOK)) << LastError();
  ASSERT_TRUE(watch.WaitStalled()) << LastError();
  // The credentials are stored after "Connected." was handed to the dialog.
  ASSERT_TRUE(WaitFor([] { return !CallsOf("RasSetEntryDialParamsA").empty(); }, 20000, "the connection"))
      << Join(CallLog());
  ASSERT_TRUE(watch.Release()) << LastError();
  auto code = run.process.WaitExit(20000);
  ASSERT_TRUE(code.has_value()) << "still running";
  EXPECT_EQ(0u, *code);
  EXPECT_EQ(kWalk, watch.Texts()) << Join(watch.Texts());
}

TEST_F(DialerDial, WithoutSavePasswordTheUserIsStoredAndTheStoredPasswordForgotten) {
  PresetEntry("1.1.1.1", "Velmora PPPoE Adapter", "vpn");
  PresetDialParams("old-user", "old-pw", true);
  SetRegDword(HKEY_CURRENT_USER, kProfileKey, "SavePassword", 1);
  DialerRun run = Ready();
  ASSERT_TRUE(run.dialog);
  HWND save = GetDlgItem(run.dialog, kSavePassword);
  ASSERT_EQ(BST_CHECKED, CheckState(save)) << "restored";
  ASSERT_TRUE(ClickAndWait(save)) << LastError();
  ASSERT_EQ(BST_UNCHECKED, CheckState(save));
  ConnectAndEnd(run);
  auto set = CallsOf("RasSetEntryDialParamsA");
  ASSERT_EQ(1u, set.size()) << Join(CallLog());
  EXPECT_EQ("1", Field(set[0], "remove"));
  auto params = DialParams()[kEntry];
  EXPECT_EQ("demo", params["UserName"]);
  EXPECT_EQ("", params["Password"]);
  EXPECT_EQ("0", params["HasPassword"]);
  EXPECT_EQ(0u, GetRegDword(HKEY_CURRENT_USER, kProfileKey, "SavePassword").value_or(99));
}

TEST_F(DialerDial, CredentialsThatRasCannotStoreAreNotReported) {
  WriteConfig(StandardConfig("[FailCalls]\nRasSetEntryDialParamsA=610\n"));
  DialerRun run = Ready();
  ASSERT_TRUE(run.dialog);
  ASSERT_TRUE(ClickAndWait(GetDlgItem(run.dialog, kSavePassword))) << LastError();
  ConnectAndEnd(run);
  // The flag is written first; RAS's refusal is not shown (the dialer ended without a box,
  // ConnectAndEnd checked) and the line is up.
  EXPECT_EQ(1u, GetRegDword(HKEY_CURRENT_USER, kProfileKey, "SavePassword").value_or(99));
  auto set = CallsOf("RasSetEntryDialParamsA");
  ASSERT_EQ(1u, set.size()) << Join(CallLog());
  EXPECT_EQ("610", Field(set[0], "rc"));
  EXPECT_TRUE(DialParams().empty());
  EXPECT_TRUE(CallsOf("RasHangUpA").empty());
}

struct Platform {
  const char* version;
  bool rasmon;
};
class RasMonitor : public DialerDial, public ::testing::WithParamInterface<Platform> {};

TEST_P(RasMonitor, StartsOnWindowsNtOnly) {
  ASSERT_TRUE(InstallMark("C:\\windows\\RASMON.EXE"));
  DialerOptions o;
  o.windowsVersion = GetParam().version;
  DialerRun run = Ready("demo", "tessory", o);
  ASSERT_TRUE(run.dialog);
  ConnectAndEnd(run);
  if (GetParam().rasmon) {
    ASSERT_TRUE(WaitFor([] { return !Marks().empty(); }, 5000, "RASMON.EXE")) << LastError();
    EXPECT_EQ(0u, Marks()[0].rfind("RASMON.EXE|", 0)) << Marks()[0];
  } else {
    // Started before the dialog closes, had it been: watched for a while after the end.
    EXPECT_TRUE(StaysFalse([] { return !Marks().empty(); }, "RASMON.EXE started")) << LastError();
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, RasMonitor,
                         ::testing::Values(Platform{"nt40", true}, Platform{"winxp", true}, Platform{"win98", false},
                                           Platform{"win95", false}));

// A WAV file of |ms| milliseconds of silence.
bool WriteSilence(const std::string& path, DWORD ms) {
  const DWORD rate = 8000, bytes = rate * ms / 1000;
  std::string wav = "RIFF";
  auto put32 = [&](DWORD v) { wav.append(reinterpret_cast<const char*>(&v), 4); };
  auto put16 = [&](WORD v) { wav.append(reinterpret_cast<const char*>(&v), 2); };
  put32(36 + bytes);
  wav += "WAVEfmt ";
  put32(16);
  put16(1);  // PCM
  put16(1);
  put32(rate);
  put32(rate);
  put16(1);
  put16(8);
  wav += "data";
  put32(bytes);
  wav.append(bytes, static_cast<char>(0x80));
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(f, wav.data(), static_cast<DWORD>(wav.size()), &written, nullptr);
  CloseHandle(f);
  return written == wav.size();
}

TEST_F(DialerDial, ConnectSoundPlaysOrBeepsWhenItCannotBePlayed) {
  BellObserver bells(120);
  if (!bells.Available()) {
    std::printf("note: no X bell observer here; the beep is not observed\n");
  }
  const std::string wav = MakeFolder("sounds") + "\\connected.wav";
  ASSERT_TRUE(WriteSilence(wav, 800));
  // Under Wine on a machine without an audio device (as in CI) no file can be played: there
  // the documented fallback, the exclamation beep, is what shows, also for a good file.
  const bool canPlay = waveOutGetNumDevs() > 0;
  struct Case {
    const char* what;
    const char* value;  // nullptr: no value
    bool beep;
  };
  const Case cases[] = {
      {"no SoundFile", nullptr, false},
      {"blank SoundFile", "   ", false},
      {"missing file", "C:\\sounds\\nosuch.wav", true},
      {"good file", wav.c_str(), !canPlay},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.value) {
      ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, kMachineKey, "SoundFile", c.value));
    } else {
      DeleteRegValue(HKEY_LOCAL_MACHINE, kMachineKey, "SoundFile");
    }
    if (bells.Available()) {
      ASSERT_TRUE(bells.Reset()) << LastError();
    }
    DialerRun run = Ready();
    ASSERT_TRUE(run.dialog);
    ASSERT_TRUE(ClickControl(run.dialog, IDOK)) << LastError();
    // The sound is played synchronously, before the dialog closes. Without one the dialog
    // ends right after showing "Connected.", too soon for a poll to be sure to see it.
    const bool plays = canPlay && c.value == wav.c_str();
    if (plays) {
      ASSERT_TRUE(WaitStatus(run.dialog, "Connected.")) << LastError();
    }
    const DWORD connectedAt = GetTickCount();
    ASSERT_TRUE(WaitWindowGone(run.dialog, 20000)) << LastError();
    const DWORD shownFor = GetTickCount() - connectedAt;
    ASSERT_TRUE(run.process.WaitExit().has_value());
    if (plays) {
      EXPECT_GE(shownFor, 700u);
    }
    if (bells.Available()) {
      ASSERT_TRUE(bells.Settle()) << LastError();
      EXPECT_EQ(c.beep ? 1 : 0, bells.Count());
    }
  }
}

// Cancel, and then the end of the session, while the connection sound plays: the link is up
// and stays up, the status line's "Connected." stays true, and the dialer ends once the sound
// is over. Machines without an
// audio device (CI) cannot play a sound at all; there the sound stand-in, a winmm.dll whose
// sndPlaySoundA lasts as long as the file, plays it. Wine loads it only from the program's
// own folder and with the override, so the dialer runs from a folder of its own.
TEST_F(DialerDial, CancelWhileTheConnectionSoundPlaysLeavesTheLineUpAndTheDialerEnds) {
  const std::string dir = MakeFolder("soundsim");
  const std::pair<std::string, std::string> files[] = {
      {"TzDialer.exe", "TzDialer.exe"}, {"rasapi32.dll", "rasapi32.dll"}, {"soundsim\\winmm.dll", "winmm.dll"}};
  for (const auto& [from, to] : files) {
    ASSERT_TRUE(CopyFileA(BinPath(from).c_str(), (dir + "\\" + to).c_str(), FALSE)) << from;
  }
  const std::string wav = dir + "\\connected.wav", log = "C:\\soundsim.log";
  ASSERT_TRUE(WriteSilence(wav, 3000));
  ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, kMachineKey, "SoundFile", wav));
  DeleteFileA(log.c_str());
  auto logged = [&](const std::string& what) {
    std::ifstream in(log);
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind(what + "|", 0) == 0) return true;
    }
    return false;
  };
  // Wine's override for this program only (a winmm.dll missing beside it falls back to Wine's).
  const std::string overrides = "Software\\Wine\\AppDefaults\\TzDialer.exe\\DllOverrides";
  ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, overrides, "winmm", "native,builtin"));
  struct Undo {
    std::string key;
    ~Undo() { DeleteRegValue(HKEY_CURRENT_USER, key, "winmm"); }
  } undo{overrides};
  DialerOptions o;
  o.program = dir + "\\TzDialer.exe";
  o.env = {{"SOUNDSIM_LOG", log}};
  DialerRun run = Ready("demo", "tessory", o);
  ASSERT_TRUE(run.dialog);
  ASSERT_TRUE(ClickControl(run.dialog, IDOK)) << LastError();
  ASSERT_TRUE(WaitFor([&] { return logged("start"); }, kTimeout, "the connection sound")) << LastError();
  ASSERT_EQ("Connected.", ControlText(run.dialog, kStatus));
  ASSERT_TRUE(ClickAndWait(GetDlgItem(run.dialog, IDCANCEL))) << LastError();
  EXPECT_FALSE(logged("end")) << "Cancel came after the sound: the test proves nothing";
  EXPECT_EQ("Connected.", ControlText(run.dialog, kStatus));
  EXPECT_TRUE(InputsDisabled(run.dialog)) << "the dialer is ending, not back to idle";
  // The session ends now: the line that is up stays up.
  auto query = Send(run.dialog, WM_QUERYENDSESSION, 0, 0, 5000);
  ASSERT_TRUE(query.has_value()) << LastError();
  EXPECT_NE(0, *query);
  ASSERT_TRUE(Send(run.dialog, WM_ENDSESSION, TRUE, 0, 5000).has_value()) << LastError();
  EXPECT_TRUE(CallsOf("RasHangUpA").empty()) << Join(CallLog());
  auto code = run.process.WaitExit(20000);
  ASSERT_TRUE(code.has_value()) << "the dialer stayed open; status: " << ControlText(run.dialog, kStatus);
  EXPECT_EQ(0u, *code);
  EXPECT_TRUE(logged("end"));
  EXPECT_TRUE(CallsOf("RasHangUpA").empty()) << Join(CallLog());
  bool up = false;
  for (auto& [name, values] : Connections()) up = up || (values["Entry"] == kEntry && values["User"] == "demo");
  EXPECT_TRUE(up) << ReadStateFile("connections.ini");
}

// --- errors

TEST_F(DialerDial, WrongPasswordShowsError691AndLetsTheUserTryAgain) {
  DialerRun run = Ready("demo", "wrong");
  ASSERT_TRUE(run.dialog);
  ASSERT_TRUE(ClickControl(run.dialog, IDOK)) << LastError();
  ASSERT_TRUE(WaitStatus(run.dialog,
                         "Error 691: Access denied because username and/or password is invalid on the domain."))
      << LastError();
  EXPECT_TRUE(WaitFor([&] { return InputsEnabled(run.dialog); }, kTimeout, "inputs enabled")) << LastError();
  EXPECT_TRUE(run.process.Running());
  EXPECT_TRUE(WaitFor([] { return HangUpsWith("0") == 1; }, kTimeout, "one hang-up")) << Join(CallLog());
  EXPECT_TRUE(CallsOf("RasSetEntryDialParamsA").empty());
  EXPECT_TRUE(DialParams().empty());
  EXPECT_FALSE(GetRegDword(HKEY_CURRENT_USER, kProfileKey, "SavePassword").has_value());
  // Corrected at once, the next Connect dials again and connects.
  ASSERT_TRUE(SetControlText(run.dialog, kPassword, "tessory"));
  ConnectAndEnd(run);
  EXPECT_EQ(2u, CallsOf("RasDialA").size());
}

// The dialer runs out of memory inside the notifier, with a RAS whose hang-up waits for the
// notifier call in progress. At an error the line is still hung up and the inputs come back;
// once connected the failure is reported by the dialog's own thread (a box from RAS's thread
// would wait for the dialog's), and the dialer still ends, leaving the line up.
TEST_F(DialerDial, OutOfMemoryInTheNotifierStillHangsUpAndIsReportedByTheDialog) {
  WriteConfig(StandardConfig("HangUpWaitsForNotifier=1\n[Faults]\nErrorState=4\nErrorCode=678\nOutOfMemoryState=4\n"));
  DialerRun run = Ready();
  ASSERT_TRUE(run.dialog);
  ASSERT_TRUE(ClickControl(run.dialog, IDOK)) << LastError();
  ASSERT_TRUE(WaitFor([] { return !CallsOf("notify").empty() && Field(CallsOf("notify").back(), "state") == "4"; },
                      kTimeout, "the error notification"))
      << Join(CallLog());
  ASSERT_EQ("1", Field(CallsOf("notify").back(), "outOfMemory")) << "the allocations could not be made to fail";
  EXPECT_TRUE(WaitStatus(run.dialog, "Error 678: There is no answer.")) << LastError();
  ExpectInputsBackAndOneHangUp(run);
  EXPECT_EQ(std::vector<HWND>{run.dialog}, VisibleTopWindows(run.process.Pid())) << "a box came up";

  WriteConfig(StandardConfig("HangUpWaitsForNotifier=1\n[Faults]\nOutOfMemoryState=8192\n"));
  ASSERT_TRUE(ClickControl(run.dialog, IDOK)) << LastError();
  HWND box = nullptr;
  ASSERT_TRUE(WaitFor(
      [&] {
        for (HWND w : VisibleTopWindows(run.process.Pid()))
          if (w != run.dialog) box = w;
        return box != nullptr;
      },
      20000, "the report"))
      << Join(CallLog());
  EXPECT_EQ(ThreadOf(run.dialog), ThreadOf(box)) << "reported from RAS's thread";
  auto info = ReadMessageBox(box);
  ASSERT_TRUE(info) << LastError();
  EXPECT_EQ(BoxIcon::Exclamation, info->icon) << IconName(info->icon);
  ASSERT_TRUE(DismissMessageBox(box)) << LastError();
  auto code = run.process.WaitExit(20000);
  ASSERT_TRUE(code.has_value()) << "the dialer stayed after the connection; status: " << ControlText(run.dialog, kStatus);
  EXPECT_EQ(0u, *code);
  EXPECT_EQ(1u, CallsOf("RasHangUpA").size()) << Join(CallLog());
  bool up = false;
  for (auto& [name, values] : Connections()) up = up || values["Entry"] == kEntry;
  EXPECT_TRUE(up) << ReadStateFile("connections.ini");
}

TEST_F(DialerDial, AnUnlistedCodeShowsBothNumbers) {
  WriteConfig(StandardConfig("[Faults]\nErrorState=4\nErrorCode=682\nExtendedError=31\n"));
  DialerRun run = Ready();
  ASSERT_TRUE(run.dialog);
  ASSERT_TRUE(ClickControl(run.dialog, IDOK));
  EXPECT_TRUE(WaitStatus(run.dialog, "Error occurred during dialing. Error code = 682. Extended error code = 31."))
      << LastError();
  EXPECT_TRUE(WaitFor([&] { return InputsEnabled(run.dialog); }, kTimeout, "inputs enabled")) << LastError();
  WriteConfig(StandardConfig("[Faults]\nErrorState=6\nErrorCode=644\nExtendedError=0\n"));
  ASSERT_TRUE(ClickControl(run.dialog, IDOK));
  EXPECT_TRUE(WaitStatus(run.dialog, "Error 644: You will not receive network message popups.")) << LastError();
}

TEST_F(DialerDial, ASynchronousRefusalShowsItsCodeWithExtendedCodeZero) {
  DialerRun run = Ready();
  ASSERT_TRUE(run.dialog);
  // The entry disappears after start-up: RasDialA refuses with 623.
  DeleteFileA((std::string(kStateDir) + "phonebook.ini").c_str());
  ASSERT_TRUE(ClickControl(run.dialog, IDOK));
  EXPECT_TRUE(WaitStatus(run.dialog, "Error 623: Cannot find the phone book entry.")) << LastError();
  EXPECT_TRUE(WaitFor([&] { return InputsEnabled(run.dialog); }, kTimeout, "inputs enabled")) << LastError();
  EXPECT_TRUE(CallsOf("notify").empty());

  // A refusal with a code without text shows the extended code as 0; a handle RAS stored
  // before refusing is released, so the next Connect dials again.
  PresetEntry("1.1.1.1", "Velmora PPPoE Adapter", "vpn");
  WriteConfig(StandardConfig("[Faults]\nRefuseCode=682\nRefuseStoresHandle=1\n"));
  ASSERT_TRUE(ClickControl(run.dialog, IDOK));
  EXPECT_TRUE(WaitStatus(run.dialog, "Error occurred during dialing. Error code = 682. Extended error code = 0."))
      << LastError();
  auto refused = CallsOf("RasDialA").back();
  EXPECT_EQ("682", Field(refused, "rc"));
  const std::string handle = Field(refused, "handle");
  ASSERT_FALSE(handle.empty()) << refused;
  auto hangups = CallsOf("RasHangUpA");
  ASSERT_EQ(1u, hangups.size()) << Join(CallLog());
  EXPECT_EQ(handle, Field(hangups[0], "handle"));
  EXPECT_EQ("0", Field(hangups[0], "rc"));
  WriteConfig(StandardConfig());
  ConnectAndEnd(run);
}

}  // namespace
