// End to end, under Wine with the RAS simulator: races between the dialog's thread and the
// thread on which RAS reports. Connect and Cancel at random moments against fast state walks,
// injected errors, drops and notifications that keep arriving after the hang-up, and the
// dialer ending while they arrive. The program must never crash, hang, or hang up one
// handle twice (the simulator answers a second hang-up with 6).
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>

#include "DialFixture.h"

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

  // Every hang-up found its handle (the simulator answers a second hang-up of one handle
  // with 6); returns how many there were.
  static int ExpectNoDoubleHangUp() {
    int ok = 0;
    for (const std::string& line : CallsOf("RasHangUpA")) {
      EXPECT_EQ("0", Field(line, "rc")) << "a handle hung up twice or unknown: " << line;
      ok += Field(line, "rc") == "0";
    }
    return ok;
  }

  // The seed of a randomised run: TZ_STRESS_SEED when set (to rerun a failed run), else
  // |fallback|. Printed, and kept in the test's XML record.
  static unsigned Seed(unsigned fallback) {
    const char* env = std::getenv("TZ_STRESS_SEED");
    const unsigned seed = env && *env ? static_cast<unsigned>(std::strtoul(env, nullptr, 10)) : fallback;
    std::printf("seed %u (rerun with TZ_STRESS_SEED=%u)\n", seed, seed);
    ::testing::Test::RecordProperty("seed", static_cast<int>(seed));
    return seed;
  }

  // Connect can be pressed: the dialog is shown (a dialog on its way out after a connection
  // is hidden before its process ends) and Connect is enabled. False once the process ended.
  static bool WaitIdleOrGone(DialerRun& run) {
    return WaitFor(
        [&] {
          if (!run.process.Running()) return true;
          return IsWindowVisible(run.dialog) && IsEnabled(GetDlgItem(run.dialog, IDOK));
        },
        kTimeout, "Connect enabled, or the dialer gone");
  }
};

TEST_F(DialerStress, CancelRacesStatesErrorsAndDrops) {
  const unsigned seed = Seed(4242);
  std::mt19937 rng(seed);
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

    if (!WaitIdleOrGone(run)) {
      FAIL() << "Connect never came back; status: " << ControlText(run.dialog, kStatus) << " (seed " << seed << ")";
    }
    // A Cancel after an error ends the dialer once the port has closed: the dialog may still
    // look idle here and be gone a moment later, and the process outlives it while it waits
    // for the port. Either way the dialer is started again. Both clicks are handled before
    // they return: a click still queued from one round would otherwise land in the next one.
    // The race under test is Cancel against RAS's thread.
    bool clicked = run.process.Running() && ClickAndWait(GetDlgItem(run.dialog, IDOK));
    if (!clicked) {
      ASSERT_FALSE(run.process.Running() && IsWindowVisible(run.dialog)) << LastError() << " (seed " << seed << ")";
      ExpectCleanExit(run);
      run = Ready();
      ASSERT_TRUE(run.dialog);
      ++restarts;
      ASSERT_TRUE(WaitIdleOrGone(run) && run.process.Running()) << LastError();
      ASSERT_TRUE(ClickAndWait(GetDlgItem(run.dialog, IDOK))) << LastError() << " (seed " << seed << ")";
    }
    ++dials;
    Sleep(rng() % 30);  // the race itself: Cancel at a random moment of the walk
    ClickAndWait(GetDlgItem(run.dialog, IDCANCEL));  // refused when the dialog has already gone
    // Answering a sent message proves the dialog's thread is not stuck (unless the Cancel
    // came after an error and closed the dialog).
    if (IsWindow(run.dialog)) {
      auto alive = Send(run.dialog, WM_NULL, 0, 0, 5000);
      ASSERT_TRUE(alive.has_value() || !IsWindow(run.dialog)) << "the dialog does not answer";
    }
  }
  if (run.process.Running()) {
    WaitFor([&] { return IsEnabled(GetDlgItem(run.dialog, kUserName)); }, kTimeout, "idle");
    ClickAndWait(GetDlgItem(run.dialog, IDCANCEL));
    ClickAndWait(GetDlgItem(run.dialog, IDCANCEL));
  }
  ExpectCleanExit(run);
  // Every press of an enabled Connect dialled once, and every attempt ended exactly one way:
  // hung up (by Cancel, an error or a drop) or connected, leaving its connection up and
  // ending the dialer.
  EXPECT_EQ(60, dials);
  EXPECT_EQ(static_cast<size_t>(dials), CallsOf("RasDialA").size()) << Join(CallLog());
  const int hangUps = ExpectNoDoubleHangUp();
  int up = 0;
  for (auto& [name, values] : Connections()) up += values["Entry"] == kEntry;
  EXPECT_EQ(dials, hangUps + up) << "seed " << seed << "\n" << Join(CallLog());
  EXPECT_LE(up, restarts + 1) << "a connection that did not end the dialer";
}

TEST_F(DialerStress, EndingWhileNotificationsKeepArriving) {
  const unsigned seed = Seed(99);
  std::mt19937 rng(seed);
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
  const int hangUps = ExpectNoDoubleHangUp();
  int up = 0;
  for (auto& [name, values] : Connections()) up += values["Entry"] == kEntry;
  EXPECT_EQ(12, hangUps + up) << "each of the 12 attempts hung up once or left up; seed " << seed;
}

TEST_F(DialerStress, ErrorsAtEveryStateWithLateNotificationsLeaveAConsistentDialog) {
  DialerRun run = Ready();
  ASSERT_TRUE(run.dialog);
  const int walk[] = {0, 1, 2, 3, 4, 5, 6, 14, 18};
  for (const int& state : walk) {
    SCOPED_TRACE("error at state " + std::to_string(state));
    WriteConfig(StandardConfig("[Faults]\nErrorState=" + std::to_string(state) +
                                   "\nErrorCode=678\nExtendedError=0\nLateNotifications=6\n",
                               2));
    ASSERT_TRUE(WaitEnabled(GetDlgItem(run.dialog, IDOK), true)) << LastError();
    // Handled before the waits below: until then the status and the inputs are still those
    // of the previous attempt.
    ASSERT_TRUE(ClickAndWait(GetDlgItem(run.dialog, IDOK))) << LastError();
    // An attempt ends with its error notification: once the dialer has hung it up, nothing
    // more can arrive for it, and the status line shows and keeps the error.
    const size_t attempt = &state - walk + 1;
    ASSERT_TRUE(WaitFor([&] { return CallsOf("RasHangUpA").size() == attempt; }, kTimeout, "the hang-up"))
        << Join(CallLog());
    ASSERT_TRUE(WaitControlText(run.dialog, kStatus, "Error 678: There is no answer.")) << LastError() << "\n" << Join(CallLog());
    ASSERT_TRUE(WaitFor([&] { return InputsEnabled(run.dialog); }, kTimeout, "inputs enabled")) << LastError();
    EXPECT_EQ("Error 678: There is no answer.", ControlText(run.dialog, kStatus));
  }
  ASSERT_TRUE(ClickControl(run.dialog, IDCANCEL));
  ExpectCleanExit(run);
  ExpectNoDoubleHangUp();
  EXPECT_EQ(9u, CallsOf("RasHangUpA").size()) << "each failed attempt hung up once";
}

// RAS may finish RasHangUpA only after the notifier call in progress has returned; Cancel
// arrives on the dialog's thread while notifications follow each other a millisecond or
// three apart. The dialog must never wait for the notifier's thread while that waits for it.
TEST_F(DialerStress, CancelIntoAStreamOfNotificationsNeverHangs) {
  const unsigned seed = Seed(1515);
  std::mt19937 rng(seed);
  DialerRun run = Ready();
  ASSERT_TRUE(run.dialog);
  std::vector<std::string> idle(kWalk.begin(), kWalk.end() - 1);  // every text but "Connected."
  idle.push_back(kPromptConnect);  // Cancel before the first notification
  int cancels = 0;
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    WriteConfig(StandardConfig("HangUpWaitsForNotifier=1\n", 1 + static_cast<int>(rng() % 3)));
    ASSERT_TRUE(WaitIdleOrGone(run)) << "status: " << ControlText(run.dialog, kStatus) << " (seed " << seed << ")";
    if (!run.process.Running()) {  // connected before the Cancel: the dialer ended
      ExpectCleanExit(run);
      run = Ready();
      ASSERT_TRUE(run.dialog);
      ASSERT_TRUE(WaitIdleOrGone(run) && run.process.Running()) << LastError();
    }
    ASSERT_TRUE(ClickAndWait(GetDlgItem(run.dialog, IDOK))) << LastError();
    Sleep(rng() % 25);
    const bool handled = ClickAndWait(GetDlgItem(run.dialog, IDCANCEL), 5000);
    if (!run.process.Running()) continue;
    ASSERT_TRUE(handled || !IsWindowVisible(run.dialog)) << "Cancel hangs (seed " << seed << ")";
    ASSERT_TRUE(Send(run.dialog, WM_NULL, 0, 0, 5000).has_value() || !run.process.Running())
        << "the dialog does not answer (seed " << seed << ")";
    // Cancelled while dialling: the inputs come back and the status line keeps a state's text;
    // or the line was up first, and the dialer ends.
    ASSERT_TRUE(WaitFor(
        [&] {
          if (!run.process.Running() || !IsWindowVisible(run.dialog)) return true;
          const std::string status = ControlText(run.dialog, kStatus);
          return InputsEnabled(run.dialog) && std::find(idle.begin(), idle.end(), status) != idle.end();
        },
        kTimeout, "inputs enabled and a state's text"))
        << "status: " << ControlText(run.dialog, kStatus) << " (seed " << seed << ")";
    cancels += run.process.Running() && IsWindowVisible(run.dialog);
  }
  std::printf("%d of 40 rounds cancelled while dialling\n", cancels);
  EXPECT_GT(cancels, 10) << "the Cancels came too late to test anything (seed " << seed << ")";
  if (run.process.Running()) ClickAndWait(GetDlgItem(run.dialog, IDCANCEL));
  ExpectCleanExit(run);
  ExpectNoDoubleHangUp();
}

}  // namespace
