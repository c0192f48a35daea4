// The fixtures of the dialer's end-to-end tests: DialerSetup starts the dialer and waits for
// its start-up; DialerDial starts it against the RAS simulator with the demo account typed
// in, and knows the words of the states it walks through.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DialerHarness.h"
#include "UiDriver.h"

namespace dialertest {

using namespace uidriver;  // the driver's calls, as every test file here uses them

inline const char kPromptUser[] = "Enter your user name.";
inline const char kPromptPassword[] = "Enter your password.";
inline const char kPromptConnect[] = "Click Connect to start the connection process.";
inline const std::vector<std::string> kWalk = {
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

  // After an error, a drop or a Cancel: the inputs come back and the attempt was hung up once.
  void ExpectInputsBackAndOneHangUp(const DialerRun& run) {
    EXPECT_TRUE(WaitFor([&] { return InputsEnabled(run.dialog); }, kTimeout, "inputs enabled")) << LastError();
    EXPECT_TRUE(WaitFor([] { return HangUpsWith("0") == 1; }, kTimeout, "the hang-up")) << Join(CallLog());
  }

  static int HangUpsWith(const std::string& rc) {
    int n = 0;
    for (const std::string& line : CallsOf("RasHangUpA")) n += Field(line, "rc") == rc;
    return n;
  }
};

}  // namespace dialertest
