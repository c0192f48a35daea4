// End to end, under Wine with the RAS simulator: Cancel, Esc and Close while dialling, a
// dropped line, and what a hang-up leaves behind: the port closes on RAS's time, and the dialer
// neither dials again nor ends before it has.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DialFixture.h"

using namespace uidriver;
using namespace dialertest;

namespace {

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

// --- the port after a hang-up (RAS needs time to close it; RasHangUp's documented rule)

// Index of the first line of |log| from |from| on that starts with |head| and names |handle|.
size_t FindLine(const std::vector<std::string>& log, const std::string& head, const std::string& handle, size_t from = 0) {
  for (size_t i = from; i < log.size(); ++i)
    if (log[i].rfind(head + " ", 0) == 0 && Field(log[i], "handle") == handle) return i;
  return log.size();
}

TEST_F(DialerDial, CancelThenConnectAtOnceConnectsOnceThePortHasClosed) {
  WriteConfig(StandardConfig("PortCloseMs=800\n", 300));
  DialerRun run = Ready();
  ASSERT_TRUE(run.dialog);
  ASSERT_TRUE(ClickControl(run.dialog, IDOK));
  ASSERT_TRUE(WaitStatus(run.dialog, "Communication port successfully opened.")) << LastError();
  ASSERT_TRUE(ClickAndWait(GetDlgItem(run.dialog, IDCANCEL))) << LastError();
  ASSERT_TRUE(ClickAndWait(GetDlgItem(run.dialog, IDOK))) << LastError();
  // Connect waits for the port, and the dialog keeps answering meanwhile.
  EXPECT_TRUE(Send(run.dialog, WM_NULL, 0, 0, 1000).has_value()) << "the dialog does not answer";
  EXPECT_TRUE(InputsDisabled(run.dialog));
  auto code = run.process.WaitExit(20000);
  ASSERT_TRUE(code.has_value()) << "not connected; status: " << ControlText(run.dialog, kStatus) << "\n" << Join(CallLog());
  EXPECT_EQ(0u, *code);

  const std::vector<std::string> log = CallLog();
  const auto dials = CallsOf("RasDialA");
  ASSERT_EQ(2u, dials.size()) << "Connect dialled once, after the port had closed\n" << Join(log);
  const std::string first = Field(dials[0], "handle");
  const size_t closed = FindLine(log, "port", first);
  ASSERT_LT(closed, log.size()) << Join(log);
  EXPECT_LT(closed, FindLine(log, "RasDialA", Field(dials[1], "handle"))) << Join(log);
  for (const std::string& line : CallsOf("notify")) EXPECT_EQ("0", Field(line, "error")) << Join(log);
}

TEST_F(DialerDial, CancelThenCancelEndsOnlyOnceThePortHasClosed) {
  WriteConfig(StandardConfig("PortCloseMs=1000\n", 300));
  DialerRun run = Ready();
  ASSERT_TRUE(run.dialog);
  ASSERT_TRUE(ClickControl(run.dialog, IDOK));
  ASSERT_TRUE(WaitStatus(run.dialog, "Communication port successfully opened.")) << LastError();
  ASSERT_TRUE(ClickAndWait(GetDlgItem(run.dialog, IDCANCEL))) << LastError();
  ASSERT_TRUE(ClickAndWait(GetDlgItem(run.dialog, IDCANCEL))) << LastError();
  EXPECT_TRUE(Send(run.dialog, WM_NULL, 0, 0, 1000).has_value() || !run.process.Running()) << "the dialog does not answer";
  auto code = run.process.WaitExit(10000);
  ASSERT_TRUE(code.has_value()) << "the second Cancel did not end the dialer";
  EXPECT_EQ(0u, *code);
  // The simulator records the port closing only while the process is there to ask.
  const std::vector<std::string> log = CallLog();
  const auto hangUps = CallsOf("RasHangUpA");
  ASSERT_EQ(1u, hangUps.size()) << Join(log);
  const std::string handle = Field(hangUps[0], "handle");
  const size_t closed = FindLine(log, "port", handle, FindLine(log, "RasHangUpA", handle));
  ASSERT_LT(closed, log.size()) << "the dialer ended before the port closed\n" << Join(log);
  const size_t status = FindLine(log, "RasGetConnectStatusA", handle, closed);
  ASSERT_LT(status, log.size()) << Join(log);
  EXPECT_EQ("6", Field(log[status], "rc"));
  EXPECT_EQ("160", Field(log[status], "dwSize")) << "RASCONNSTATUSA of Windows 95/NT 4.0";
}

}  // namespace
