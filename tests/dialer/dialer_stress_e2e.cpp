// End to end, under Wine with the RAS simulator: races between the dialog's thread and the
// thread on which RAS reports. Connect and Cancel at random moments against fast state walks,
// injected errors, drops and notifications that keep arriving after the hang-up, and the
// dialer ending while they arrive. The program must never crash, hang, or hang up one
// handle twice (the simulator answers a second hang-up with 6).
#include <windows.h>
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "DialerHarness.h"
#include "UiDriver.h"

using namespace uidriver;
using namespace dialertest;

namespace {

class DialerStress : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetState();
    WriteConfig(StandardConfig());
  }
  void TearDown() override { KillAllNamed("TzDialer.exe"); }

  DialerRun Ready() {
    DialerRun run = StartDialer();
    EXPECT_TRUE(run.dialog) << LastError();
    if (!run.dialog) return run;
    EXPECT_TRUE(WaitStartupDone(run.dialog)) << LastError();
    EXPECT_TRUE(SetControlText(run.dialog, kUserName, "demo")) << LastError();
    EXPECT_TRUE(SetControlText(run.dialog, kPassword, "tessory")) << LastError();
    return run;
  }

  // The dialer ended on its own: it must have ended cleanly.
  static void ExpectCleanExit(DialerRun& run) {
    auto code = run.process.WaitExit(15000);
    ASSERT_TRUE(code.has_value()) << "the dialer hangs";
    ASSERT_EQ(0u, *code) << "the dialer crashed";
  }

  static void ExpectNoDoubleHangUp() {
    int ok = 0;
    for (const std::string& line : CallsOf("RasHangUpA")) {
      EXPECT_EQ("0", Field(line, "rc")) << "a handle hung up twice or unknown: " << line;
      ok += Field(line, "rc") == "0";
    }
    std::printf("hang-ups: %d\n", ok);
  }
};

TEST_F(DialerStress, CancelRacesStatesErrorsAndDrops) {
  std::mt19937 rng(4242);
  const int walk[] = {0, 1, 2, 3, 4, 5, 6, 14, 18};
  DialerRun run = Ready();
  ASSERT_TRUE(run.dialog);
  int dials = 0, restarts = 0;
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::string faults = "[Faults]\nLateNotifications=" + std::to_string(rng() % 5) + "\n";
    switch (rng() % 3) {
      case 0:
        faults += "ErrorState=" + std::to_string(walk[rng() % 9]) + "\nErrorCode=678\nExtendedError=2\n";
        break;
      case 1:
        faults += "DropAtState=" + std::to_string(walk[rng() % 8]) + "\n";
        break;
      default:
        break;  // a walk that would connect, cancelled on its way
    }
    WriteConfig(StandardConfig(faults, 1 + static_cast<int>(rng() % 4)));

    // A dialog that is no longer shown is ending (a connection came up): wait for that.
    if (!run.process.Running() || !IsVisible(run.dialog)) {
      ExpectCleanExit(run);
      run = Ready();
      ASSERT_TRUE(run.dialog);
      ++restarts;
    }
    if (!WaitFor([&] { return IsEnabled(GetDlgItem(run.dialog, IDOK)) || !run.process.Running(); }, kTimeout,
                 "Connect enabled")) {
      FAIL() << "Connect never came back; status: " << ControlText(run.dialog, kStatus);
    }
    if (!run.process.Running() || !IsVisible(run.dialog)) continue;
    // Sent, not posted: the dial has started (and Connect is disabled) when this returns. A
    // posted click could still wait in the queue while the next round already finds Connect
    // enabled, and would then disable it under that round's click.
    // The click may still meet a dialog that a late connection is ending; the next round
    // then waits for the clean exit.
    if (!ClickAndWait(GetDlgItem(run.dialog, IDOK), kTimeout)) {
      ASSERT_FALSE(IsVisible(run.dialog)) << LastError();
      continue;
    }
    ++dials;
    Sleep(rng() % 30);
    Click(GetDlgItem(run.dialog, IDCANCEL));
    // Answering a sent message proves the dialog's thread is not stuck (unless the Cancel
    // came after an error and closed the dialog).
    if (IsWindow(run.dialog)) {
      auto alive = Send(run.dialog, WM_NULL, 0, 0, 5000);
      ASSERT_TRUE(alive.has_value() || !IsWindow(run.dialog)) << "the dialog does not answer";
    }
  }
  if (run.process.Running()) {
    WaitFor([&] { return IsEnabled(GetDlgItem(run.dialog, kUserName)); }, kTimeout, "idle");
    Click(GetDlgItem(run.dialog, IDCANCEL));
    Click(GetDlgItem(run.dialog, IDCANCEL));
  }
  ExpectCleanExit(run);
  std::printf("dials: %d, restarts: %d\n", dials, restarts);
  EXPECT_GE(static_cast<int>(CallsOf("RasDialA").size()), dials / 2);
  ExpectNoDoubleHangUp();
}

TEST_F(DialerStress, EndingWhileNotificationsKeepArriving) {
  std::mt19937 rng(99);
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    WriteConfig(StandardConfig("LateDelayMs=1\n[Faults]\nLateNotifications=40\n", 1 + round % 3));
    DialerRun run = Ready();
    ASSERT_TRUE(run.dialog);
    ASSERT_TRUE(ClickControl(run.dialog, IDOK)) << LastError();
    Sleep(rng() % 25);
    // The first Cancel hangs up (late notifications start), the second ends the dialer
    // while they are still arriving. Posted back to back: no waiting between them.
    HWND cancel = GetDlgItem(run.dialog, IDCANCEL);
    Post(cancel, BM_CLICK);
    Post(cancel, BM_CLICK);
    auto code = run.process.WaitExit(15000);
    if (!code.has_value() && run.process.Running()) {
      // The connection came up before the Cancels, or an error ended the attempt first and the
      // first Cancel closed the dialog: either way one more Cancel must end it.
      Click(cancel);
      code = run.process.WaitExit(15000);
    }
    ASSERT_TRUE(code.has_value()) << "the dialer hangs";
    ASSERT_EQ(0u, *code) << "the dialer crashed";
  }
  ExpectNoDoubleHangUp();
}

TEST_F(DialerStress, ErrorsAtEveryStateWithLateNotificationsLeaveAConsistentDialog) {
  DialerRun run = Ready();
  ASSERT_TRUE(run.dialog);
  const int walk[] = {0, 1, 2, 3, 4, 5, 6, 14, 18};
  for (int state : walk) {
    SCOPED_TRACE("error at state " + std::to_string(state));
    WriteConfig(StandardConfig("[Faults]\nErrorState=" + std::to_string(state) +
                                   "\nErrorCode=678\nExtendedError=0\nLateNotifications=6\n",
                               2));
    ASSERT_TRUE(WaitEnabled(GetDlgItem(run.dialog, IDOK), true)) << LastError();
    ASSERT_TRUE(ClickControl(run.dialog, IDOK)) << LastError();
    ASSERT_TRUE(WaitControlText(run.dialog, kStatus, "Error 678: There is no answer.")) << LastError() << "\n" << Join(CallLog());
    ASSERT_TRUE(WaitFor([&] { return InputsEnabled(run.dialog); }, kTimeout, "inputs enabled")) << LastError();
    Sleep(100);  // late notifications of the failed attempt change nothing
    EXPECT_EQ("Error 678: There is no answer.", ControlText(run.dialog, kStatus));
  }
  ASSERT_TRUE(ClickControl(run.dialog, IDCANCEL));
  ExpectCleanExit(run);
  ExpectNoDoubleHangUp();
  EXPECT_EQ(9u, CallsOf("RasHangUpA").size()) << "each failed attempt hung up once";
}

}  // namespace
