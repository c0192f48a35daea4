// End to end, under Wine with the RAS simulator: dialling. Every state on the status line,
// what a connection stores and starts, errors in words, Cancel / Esc / Close while dialling,
// a dropped line, and the sign-in picture as it appears on the screen.
#include <windows.h>
#include <gtest/gtest.h>
#include <mmsystem.h>

#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "DialerHarness.h"
#include "UiDriver.h"

using namespace uidriver;
using namespace dialertest;

namespace {

const char kPromptConnect[] = "Click Connect to start the connection process.";
const std::vector<std::string> kWalk = {
    "Opening communication port.",
    "Communication port successfully opened.",
    "Connecting to communications device.",
    "Communication device successfully connected.",
    "Physical link established.",
    "Starting authentication process.",
    "Authentication event received.",
    "Authentication successfully completed.",
    "Projection phase successfully completed.",
    "Connected.",
};

class DialerDial : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetState();
    WriteConfig(StandardConfig());
  }
  void TearDown() override { KillAllNamed("TzDialer.exe"); }

  // Starts the dialer, waits for its start-up and types the account.
  DialerRun Ready(const std::string& user = "demo", const std::string& password = "tessory",
                  const DialerOptions& options = {}) {
    DialerRun run = StartDialer(options);
    EXPECT_TRUE(run.dialog) << LastError();
    if (!run.dialog) return run;
    EXPECT_TRUE(WaitStartupDone(run.dialog)) << LastError();
    EXPECT_TRUE(SetControlText(run.dialog, kUserName, user)) << LastError();
    EXPECT_TRUE(SetControlText(run.dialog, kPassword, password)) << LastError();
    return run;
  }

  // Lets the dialer connect and end; fails the test when it does not.
  void ConnectAndEnd(DialerRun& run) {
    ASSERT_TRUE(ClickControl(run.dialog, IDOK)) << LastError();
    auto code = run.process.WaitExit(20000);
    ASSERT_TRUE(code.has_value()) << "the dialer did not end; status: " << ControlText(run.dialog, kStatus);
    EXPECT_EQ(0u, *code);
  }

  bool WaitStatus(HWND dialog, const std::string& text, Ms timeout = kTimeout) {
    return WaitControlText(dialog, kStatus, text, timeout);
  }

  static int HangUpsWith(const std::string& rc) {
    int n = 0;
    for (const std::string& line : CallsOf("RasHangUpA")) n += Field(line, "rc") == rc;
    return n;
  }
};

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
    bells.Reset();
    DialerRun run = Ready();
    ASSERT_TRUE(run.dialog);
    ASSERT_TRUE(ClickControl(run.dialog, IDOK)) << LastError();
    ASSERT_TRUE(WaitStatus(run.dialog, "Connected.")) << LastError();
    const DWORD connectedAt = GetTickCount();
    ASSERT_TRUE(WaitWindowGone(run.dialog, 20000)) << LastError();
    const DWORD shownFor = GetTickCount() - connectedAt;
    ASSERT_TRUE(run.process.WaitExit().has_value());
    // The sound is played synchronously, before the dialog closes.
    if (canPlay && c.value == wav.c_str()) {
      EXPECT_GE(shownFor, 700u);
    }
    if (bells.Available()) {
      if (c.beep) {
        EXPECT_TRUE(WaitFor([&] { return bells.Count() >= 1; }, kTimeout, "the beep")) << LastError();
      }
      EXPECT_TRUE(StaysFalse([&] { return bells.Count() > (c.beep ? 1 : 0); }, "a beep too many")) << LastError();
    }
  }
}

// Cancel while the connection sound plays: the link is up and stays up, the status line's
// "Connected." stays true, and the dialer ends once the sound is over. Machines without an
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

// --- Cancel, Esc and Close while dialling

TEST_F(DialerDial, CancelWhileDiallingHangsUpAndASecondCancelEnds) {
  WriteConfig(StandardConfig("[Faults]\nLateNotifications=3\n", 300));
  DialerRun run = Ready();
  ASSERT_TRUE(run.dialog);
  ASSERT_TRUE(ClickControl(run.dialog, IDOK));
  ASSERT_TRUE(WaitStatus(run.dialog, "Communication port successfully opened.")) << LastError();
  ASSERT_TRUE(ClickControl(run.dialog, IDCANCEL)) << LastError();
  EXPECT_TRUE(WaitFor([&] { return InputsEnabled(run.dialog); }, kTimeout, "inputs enabled")) << LastError();
  EXPECT_TRUE(WaitFor([] { return HangUpsWith("0") == 1; }, kTimeout, "the hang-up")) << Join(CallLog());
  // Late notifications of the hung-up attempt change nothing.
  EXPECT_TRUE(WaitFor([] { return CallsOf("notify").size() >= 5; }, kTimeout, "late notifications")) << Join(CallLog());
  // Each is logged just before the dialer gets it: watched from the last one on.
  EXPECT_TRUE(StaysFalse(
      [&] {
        return ControlText(run.dialog, kStatus) != "Communication port successfully opened." ||
               !InputsEnabled(run.dialog);
      },
      "a late notification changed the dialog"))
      << LastError();
  EXPECT_TRUE(run.process.Running());
  ASSERT_TRUE(ClickControl(run.dialog, IDCANCEL));
  auto code = run.process.WaitExit();
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(0u, *code);
  EXPECT_EQ(1u, CallsOf("RasHangUpA").size()) << Join(CallLog());
  EXPECT_TRUE(CallsOf("RasSetEntryDialParamsA").empty());
}

TEST_F(DialerDial, EscAndCloseWhileDiallingBehaveLikeCancel) {
  WriteConfig(StandardConfig("", 300));
  DialerRun run = Ready();
  ASSERT_TRUE(run.dialog);
  for (int way = 0; way < 2; ++way) {
    SCOPED_TRACE(way == 0 ? "Esc" : "Close");
    ASSERT_TRUE(ClickControl(run.dialog, IDOK)) << LastError();
    ASSERT_TRUE(WaitStatus(run.dialog, "Communication port successfully opened.")) << LastError();
    bool sent = way == 0 ? PressKey(run.dialog, VK_ESCAPE) : PostSysCommand(run.dialog, SC_CLOSE);
    ASSERT_TRUE(sent) << LastError();
    EXPECT_TRUE(WaitFor([&] { return InputsEnabled(run.dialog); }, kTimeout, "inputs enabled")) << LastError();
    EXPECT_TRUE(WaitFor([&] { return HangUpsWith("0") == way + 1; }, kTimeout, "the hang-up")) << Join(CallLog());
    EXPECT_TRUE(run.process.Running());
  }
  ASSERT_TRUE(PressKey(run.dialog, VK_ESCAPE));
  EXPECT_TRUE(run.process.WaitExit().has_value());
}

TEST_F(DialerDial, ADropWhileDiallingReenablesTheInputsAndConnectDialsAgain) {
  WriteConfig(StandardConfig("[Faults]\nDropAtState=4\n"));
  DialerRun run = Ready();
  ASSERT_TRUE(run.dialog);
  ASSERT_TRUE(ClickControl(run.dialog, IDOK));
  ASSERT_TRUE(WaitStatus(run.dialog, "Disconnected.")) << LastError();
  EXPECT_TRUE(WaitFor([&] { return InputsEnabled(run.dialog); }, kTimeout, "inputs enabled")) << LastError();
  // The dropped attempt's handle is released.
  EXPECT_TRUE(WaitFor([] { return HangUpsWith("0") == 1; }, kTimeout, "the hang-up")) << Join(CallLog());
  WriteConfig(StandardConfig());
  ConnectAndEnd(run);
  auto dials = CallsOf("RasDialA");
  ASSERT_EQ(2u, dials.size()) << Join(CallLog());
  EXPECT_EQ("0", Field(dials[1], "rc"));
}

// --- the sign-in picture on the screen

struct Screen {
  int width = 0, height = 0;
  std::vector<BYTE> rows;  // 24-bit, top row first
  COLORREF At(int x, int y) const {
    const BYTE* p = &rows[(static_cast<size_t>(y) * width + x) * 3];
    return RGB(p[2], p[1], p[0]);
  }
};

std::optional<Screen> Grab(const std::string& tag) {
  const std::string path = MakeFolder("shots") + "\\" + tag + ".bmp";
  if (!SaveScreenshot(path)) return std::nullopt;
  auto data = ReadTextFile(path, 16 << 20);
  if (!data || data->size() < 54) return std::nullopt;
  const auto* bytes = reinterpret_cast<const BYTE*>(data->data());
  Screen s;
  s.width = *reinterpret_cast<const LONG*>(bytes + 18);
  LONG h = *reinterpret_cast<const LONG*>(bytes + 22);
  const DWORD off = *reinterpret_cast<const DWORD*>(bytes + 10);
  s.height = h < 0 ? -h : h;
  const size_t stride = (static_cast<size_t>(s.width) * 3 + 3) & ~size_t{3};
  if (*reinterpret_cast<const WORD*>(bytes + 28) != 24 || off + stride * s.height > data->size()) return std::nullopt;
  s.rows.resize(static_cast<size_t>(s.width) * 3 * s.height);
  for (int y = 0; y < s.height; ++y) {
    const int src = h < 0 ? y : s.height - 1 - y;
    std::memcpy(&s.rows[static_cast<size_t>(y) * s.width * 3], bytes + off + stride * src, s.width * 3);
  }
  return s;
}

// A picture file of |w| x |h| in |bpp| bits per pixel: its upper half |top|, its lower half
// |bottom|, stored bottom-up or (|topDown|, negative height) top-down.
bool WritePicture(const std::string& path, int w, int h, int bpp, COLORREF top, COLORREF bottom, bool topDown = false) {
  const int entries = bpp == 8 ? 256 : 0;
  const int stride = ((w * bpp + 31) / 32) * 4;
  const DWORD off = 54 + 4 * entries, size = off + stride * h;
  std::vector<BYTE> f(size, 0);
  f[0] = 'B';
  f[1] = 'M';
  std::memcpy(&f[2], &size, 4);
  std::memcpy(&f[10], &off, 4);
  BITMAPINFOHEADER bih{};
  bih.biSize = 40;
  bih.biWidth = w;
  bih.biHeight = topDown ? -h : h;
  bih.biPlanes = 1;
  bih.biBitCount = static_cast<WORD>(bpp);
  std::memcpy(&f[14], &bih, 40);
  for (int y = 0; y < h; ++y) {  // y: the row as seen, 0 at the top
    const bool upper = y < h / 2;
    const COLORREF colour = upper ? top : bottom;
    const int stored = topDown ? y : h - 1 - y;
    for (int x = 0; x < w; ++x) {
      BYTE* p = &f[off + stride * stored + x * (bpp / 8)];
      if (bpp == 8) {
        *p = upper ? 7 : 8;  // entries 7 and 8 of the table
      } else {
        p[0] = GetBValue(colour);
        p[1] = GetGValue(colour);
        p[2] = GetRValue(colour);
      }
    }
  }
  if (bpp == 8) {
    for (int i : {7, 8}) {
      const COLORREF c = i == 7 ? top : bottom;
      f[54 + 4 * i] = GetBValue(c);
      f[54 + 4 * i + 1] = GetGValue(c);
      f[54 + 4 * i + 2] = GetRValue(c);
    }
  }
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(file, f.data(), size, &written, nullptr);
  CloseHandle(file);
  return written == size;
}

TEST_F(DialerDial, ThePictureFillsTheFrameLessTwoPixelsOnEachSide) {
  const COLORREF magenta = RGB(250, 0, 250), teal = RGB(0, 130, 140);
  struct Case {
    const char* what;
    int bpp;
    COLORREF colour;  // the upper half
    COLORREF bottom;  // the lower half
    bool topDown;
    bool damaged;
  };
  for (const Case& c : {Case{"8-bit", 8, magenta, magenta, false, false}, Case{"24-bit", 24, teal, teal, false, false},
                        Case{"top-down 24-bit", 24, teal, magenta, true, false},
                        Case{"top-down 8-bit", 8, magenta, teal, true, false},
                        Case{"damaged", 8, magenta, magenta, false, true}}) {
    SCOPED_TRACE(c.what);
    const std::string dir = MakeFolder(std::string("pic-") + c.what);
    ASSERT_TRUE(WritePicture(dir + "\\signin_zn.bmp", 37, 12, c.bpp, c.colour, c.bottom, c.topDown));
    if (c.damaged) {  // a bit count the loader refuses
      HANDLE f = CreateFileA((dir + "\\signin_zn.bmp").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      SetFilePointer(f, 28, nullptr, FILE_BEGIN);
      const WORD bad = 7;
      DWORD w = 0;
      WriteFile(f, &bad, 2, &w, nullptr);
      CloseHandle(f);
    }
    DialerOptions o;
    o.workDir = dir;
    DialerRun run = StartDialer(o);
    ASSERT_TRUE(run.dialog) << LastError();
    ASSERT_TRUE(WaitStartupDone(run.dialog));
    RECT frame = WindowRect(GetDlgItem(run.dialog, kPictureFrame));
    const int l = frame.left + 2, t = frame.top + 2, r = frame.right - 3, b = frame.bottom - 3;
    // The first paint comes some time after the dialog shows: wait for the picture (or, for
    // the damaged file, for the bound of a paint that must not bring one).
    std::optional<Screen> shot;
    auto pictureShown = [&] {
      shot = Grab(c.what);
      return shot && shot->At((l + r) / 2, t + 1) == c.colour;
    };
    if (c.damaged) {
      EXPECT_TRUE(StaysFalse(pictureShown, "a picture from a damaged file")) << LastError();
    } else {
      EXPECT_TRUE(WaitFor(pictureShown, kTimeout, "the picture on screen")) << LastError();
    }
    ASSERT_TRUE(shot) << LastError();
    if (c.damaged) {
      EXPECT_NE(c.colour, shot->At((l + r) / 2, (t + b) / 2)) << "no picture";
    } else {
      // Upright: the upper half of the picture at the top of the frame.
      for (POINT p : {POINT{l, t}, POINT{r, t}, POINT{(l + r) / 2, t + (b - t) / 4}}) {
        EXPECT_EQ(c.colour, shot->At(p.x, p.y)) << "upper half at " << p.x << "," << p.y;
      }
      for (POINT p : {POINT{l, b}, POINT{r, b}, POINT{(l + r) / 2, b - (b - t) / 4}}) {
        EXPECT_EQ(c.bottom, shot->At(p.x, p.y)) << "lower half at " << p.x << "," << p.y;
      }
      for (POINT p : {POINT{l - 1, t + 1}, POINT{r + 1, t + 1}, POINT{(l + r) / 2, t - 1}}) {
        EXPECT_NE(c.colour, shot->At(p.x, p.y)) << "outside at " << p.x << "," << p.y;
      }
      for (POINT p : {POINT{l - 1, b - 1}, POINT{r + 1, b - 1}, POINT{(l + r) / 2, b + 1}}) {
        EXPECT_NE(c.bottom, shot->At(p.x, p.y)) << "outside at " << p.x << "," << p.y;
      }
    }
    ASSERT_TRUE(ClickControl(run.dialog, IDCANCEL));
    ASSERT_TRUE(run.process.WaitExit().has_value());
  }
}

}  // namespace
