// End to end, under Wine with the RAS simulator: Cancel, Esc and Close while dialling, a
// dropped line, and what a hang-up leaves behind: the port closes on RAS's time, and the dialer
// neither dials again nor ends before it has, whatever the order of events: Cancel inside the
// notifier's own hang-up, Connect while an end waits for the port, a notification before RAS
// has written the handle back, and the end of the session.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DialFixture.h"

using namespace uidriver;
using namespace dialertest;

namespace {

// 300 ms a state: a walk slow enough for a test to act while it dials, on a slower machine too.
int SlowStep() { return static_cast<int>(Scaled(300)); }

TEST_F(DialerDial, CancelWhileDiallingHangsUpAndASecondCancelEnds) {
  WriteConfig(StandardConfig("[Faults]\nLateNotifications=3\n", SlowStep()));
  DialerRun run = Ready();
  ASSERT_TRUE(run.dialog);
  ASSERT_TRUE(ClickControl(run.dialog, IDOK));
  ASSERT_TRUE(WaitStatus(run.dialog, "Communication port successfully opened.")) << LastError();
  ASSERT_TRUE(ClickControl(run.dialog, IDCANCEL)) << LastError();
  ExpectInputsBackAndOneHangUp(run);
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
  WriteConfig(StandardConfig("", SlowStep()));
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
  // The dropped attempt's handle is released.
  ExpectInputsBackAndOneHangUp(run);
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
  WriteConfig(StandardConfig("PortCloseMs=800\n", SlowStep()));
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
  WriteConfig(StandardConfig("PortCloseMs=1000\n", SlowStep()));
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

// The port closing line of |handle| after its hang-up, and a later status answer 6: the
// dialer waited for the port before it ended.
void ExpectPortWaitedFor(const std::string& handle) {
  const std::vector<std::string> log = CallLog();
  const size_t hangUp = FindLine(log, "RasHangUpA", handle);
  ASSERT_LT(hangUp, log.size()) << "never hung up\n" << Join(log);
  EXPECT_EQ("0", Field(log[hangUp], "rc"));
  const size_t closed = FindLine(log, "port", handle, hangUp);
  ASSERT_LT(closed, log.size()) << "the dialer ended before the port closed\n" << Join(log);
  const size_t status = FindLine(log, "RasGetConnectStatusA", handle, closed);
  ASSERT_LT(status, log.size()) << Join(log);
  EXPECT_EQ("6", Field(log[status], "rc"));
}

// An error: the notifier hangs the attempt up itself, and RAS takes its time over it. A Cancel
// made while that RasHangUpA is still under way finds no handle left, but the port is closing
// all the same: the dialer ends only once it has closed.
TEST_F(DialerDial, CancelWhileTheNotifierHangsUpEndsOnlyOnceThePortHasClosed) {
  WriteConfig(StandardConfig("HangUpDelayMs=3000\nPortCloseMs=500\n[Faults]\nErrorState=4\nErrorCode=678\n"));
  DialerRun run = Ready();
  ASSERT_TRUE(run.dialog);
  ASSERT_TRUE(ClickControl(run.dialog, IDOK));
  // The notifier's RasHangUpA has begun and lasts 3 s: Cancel comes inside it (checked below).
  ASSERT_TRUE(WaitFor([] { return !CallsOf("hangup").empty(); }, kTimeout, "the notifier's hang-up")) << Join(CallLog());
  ASSERT_TRUE(ClickAndWait(GetDlgItem(run.dialog, IDCANCEL))) << LastError();
  ASSERT_TRUE(CallsOf("RasHangUpA").empty()) << "Cancel came after the hang-up: the test proves nothing";
  auto code = run.process.WaitExit(15000);
  ASSERT_TRUE(code.has_value()) << "the dialer did not end; status: " << ControlText(run.dialog, kStatus);
  EXPECT_EQ(0u, *code);
  const auto hangUps = CallsOf("RasHangUpA");
  ASSERT_EQ(1u, hangUps.size()) << Join(CallLog());
  ExpectPortWaitedFor(Field(hangUps[0], "handle"));
}

// Cancel hangs up, a second Cancel waits for the port to end the dialer; the port closes and
// Connect comes before the port timer's next tick (the test stops the dialog's thread, closes
// the port and queues Connect, so the order is certain). Connect dials: the end that was
// waiting is dropped, never ending the dialer with the new attempt under way.
TEST_F(DialerDial, ConnectWhileAnEndWaitsForThePortDropsTheEnd) {
  const char kPortEvent[] = "TzTestPortClose";
  HANDLE port = CreateEventA(nullptr, TRUE, FALSE, kPortEvent);
  ASSERT_NE(nullptr, port);
  ResetEvent(port);
  struct Closer {
    HANDLE h;
    ~Closer() { CloseHandle(h); }
  } closer{port};
  // The first attempt must still be dialling when the two Cancels come: the slow walk.
  WriteConfig(StandardConfig(std::string("PortCloseEvent=") + kPortEvent + "\n", SlowStep()));
  DialerRun run = Ready();
  ASSERT_TRUE(run.dialog);
  ASSERT_TRUE(ClickControl(run.dialog, IDOK));
  ASSERT_TRUE(WaitStatus(run.dialog, "Communication port successfully opened.")) << LastError();
  ASSERT_TRUE(ClickAndWait(GetDlgItem(run.dialog, IDCANCEL))) << LastError();
  ASSERT_TRUE(ClickAndWait(GetDlgItem(run.dialog, IDCANCEL))) << LastError();
  ASSERT_TRUE(run.process.Running()) << "the end did not wait for the port";
  ThreadWatch watch(GetDlgItem(run.dialog, kStatus));
  ASSERT_TRUE(watch) << LastError();
  ASSERT_TRUE(watch.Stall()) << LastError();
  ASSERT_TRUE(SetEvent(port));
  HWND connect = GetDlgItem(run.dialog, IDOK);
  ASSERT_TRUE(Post(run.dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(connect)));
  ASSERT_TRUE(watch.Release()) << LastError();
  auto code = run.process.WaitExit(20000);
  ASSERT_TRUE(code.has_value()) << "the dialer did not end; status: " << ControlText(run.dialog, kStatus);
  EXPECT_EQ(0u, *code);
  const auto dials = CallsOf("RasDialA");
  ASSERT_EQ(2u, dials.size()) << Join(CallLog());
  EXPECT_EQ("0", Field(dials[1], "rc"));
  // The second attempt ended the dialer by connecting; nothing was left dialling.
  const std::string second = Field(dials[1], "handle");
  bool up = false;
  for (const std::string& line : CallsOf("notify")) up = up || (Field(line, "handle") == second && Field(line, "state") == "8192");
  EXPECT_TRUE(up) << "the dialer ended with its second attempt under way\n" << Join(CallLog());
  EXPECT_EQ(1u, CallsOf("RasHangUpA").size()) << Join(CallLog());
}

// Windows does not promise that RasDialA writes the handle back before the first notification;
// the notifier gets it as its first argument. An error in that first notification is shown,
// hung up and gives the inputs back; a state in it is shown like any other.
TEST_F(DialerDial, ANotificationBeforeTheHandleIsWrittenBackIsHandled) {
  WriteConfig(StandardConfig("NotifyBeforeHandle=1\n[Faults]\nErrorState=0\nErrorCode=678\n"));
  DialerRun run = Ready();
  ASSERT_TRUE(run.dialog);
  ASSERT_TRUE(ClickControl(run.dialog, IDOK));
  EXPECT_TRUE(WaitStatus(run.dialog, "Error 678: There is no answer.")) << LastError();
  ExpectInputsBackAndOneHangUp(run);

  WriteConfig(StandardConfig("NotifyBeforeHandle=1\n"));
  ThreadWatch watch(GetDlgItem(run.dialog, kStatus));
  ASSERT_TRUE(watch) << LastError();
  ConnectAndEnd(run);
  EXPECT_EQ(kWalk, watch.Texts()) << Join(watch.Texts());
  EXPECT_EQ(1u, CallsOf("RasHangUpA").size()) << "the line that came up stays up\n" << Join(CallLog());
}

// The session ends (log-off or shutdown) while the dialer dials: the attempt is hung up and
// its port waited for before WM_ENDSESSION is answered, as Windows may end the process then.
TEST_F(DialerDial, TheEndOfTheSessionHangsUpAnAttemptAndWaitsForItsPort) {
  WriteConfig(StandardConfig("PortCloseMs=800\n", SlowStep()));
  DialerRun run = Ready();
  ASSERT_TRUE(run.dialog);
  ASSERT_TRUE(ClickControl(run.dialog, IDOK));
  ASSERT_TRUE(WaitStatus(run.dialog, "Communication port successfully opened.")) << LastError();
  auto query = Send(run.dialog, WM_QUERYENDSESSION, 0, 0, 5000);
  ASSERT_TRUE(query.has_value()) << LastError();
  EXPECT_NE(0, *query) << "the dialer refused the end of the session";
  ASSERT_TRUE(Send(run.dialog, WM_ENDSESSION, TRUE, 0, 10000).has_value()) << LastError();
  const auto dials = CallsOf("RasDialA");
  ASSERT_EQ(1u, dials.size()) << Join(CallLog());
  ExpectPortWaitedFor(Field(dials[0], "handle"));
  auto code = run.process.WaitExit();
  ASSERT_TRUE(code.has_value()) << "the dialer stayed after the end of the session";
  EXPECT_EQ(0u, *code);
  EXPECT_EQ(1u, CallsOf("RasHangUpA").size()) << Join(CallLog());
}

}  // namespace
