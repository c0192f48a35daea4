// The RAS simulator: the dial walk, failures, refusals, drops, and what a hang-up stops.
#include "RasSimSupport.h"

namespace {

using namespace rassimtest;

TEST_F(RasSim, DialWalksPppoeStatesToConnected) {
  Config("", "");  // default timing
  CreateEntry();
  HRASCONN h = nullptr;
  DWORD start = GetTickCount();
  ASSERT_EQ(0u, Dial(g_ras, DialParams("alice", "secret"), &h));
  ASSERT_NE(nullptr, h);
  ASSERT_TRUE(WaitForState(h, kConnected));
  DWORD took = GetTickCount() - start;
  EXPECT_GE(took, 1500u);
  EXPECT_LE(took, 6000u);

  std::vector<Note> notes = NotesFor(h);
  ASSERT_EQ(kWalk.size(), notes.size());
  for (size_t i = 0; i < notes.size(); ++i) {
    EXPECT_EQ(kWalk[i], notes[i].state);
    EXPECT_EQ(0u, notes[i].error);
    EXPECT_EQ(static_cast<UINT>(WM_RASDIALEVENT), notes[i].msg);
    EXPECT_TRUE(notes[i].handleStored);
    EXPECT_NE(GetCurrentThreadId(), notes[i].thread);
    EXPECT_EQ(notes[0].thread, notes[i].thread);
  }
  EXPECT_TRUE(Contains(LogLines("RasDialA").back(), "entry=\"Tessory Connection\" dwSize=1052 user=\"alice\" "
                                                    "password=given domain=\"\" notifierType=1 notifier=yes "
                                                    "number=\"1.1.1.1\" " + HandleText(h) + " rc=0"));
  EXPECT_EQ(10u, LogLines("notify").size());

  std::vector<RASCONNA_400> conns = Connections(g_ras);
  ASSERT_EQ(1u, conns.size());
  EXPECT_EQ(h, conns[0].hrasconn);
  EXPECT_STREQ(kEntry, conns[0].szEntryName);
  RASCONNSTATUSA_400 st = {};
  st.dwSize = sizeof st;
  ASSERT_EQ(0u, g_ras.GetConnectStatus(h, reinterpret_cast<LPRASCONNSTATUSA>(&st)));
  EXPECT_EQ(kConnected, st.rasconnstate);
  EXPECT_STREQ("Velmora PPPoE Adapter", st.szDeviceName);
  st.dwSize = 7;
  EXPECT_EQ(632u, g_ras.GetConnectStatus(h, reinterpret_cast<LPRASCONNSTATUSA>(&st)));

  EXPECT_EQ(0u, g_ras.HangUp(h));
  EXPECT_EQ(6u, g_ras.HangUp(h));
  st.dwSize = sizeof st;
  EXPECT_EQ(6u, g_ras.GetConnectStatus(h, reinterpret_cast<LPRASCONNSTATUSA>(&st)));
  EXPECT_TRUE(Connections(g_ras).empty());
}

TEST_F(RasSim, FailuresAtAStateEndTheAttempt) {
  CreateEntry();
  struct Case {
    const char* faults;
    const char* user;
    const char* password;
    DWORD state, error, extended;
  } cases[] = {
      {"", "alice", "wrong", 5, 691, 0},
      {"", "mallory", "secret", 5, 691, 0},
      {"ErrorState=3\nErrorCode=678\nExtendedError=12", "alice", "secret", 3, 678, 12},
      {"ErrorState=0x2000\nErrorCode=734", "alice", "secret", kConnected, 734, 0},
  };
  for (const Case& c : cases) {
    Config(c.faults);
    HRASCONN h = nullptr;
    ASSERT_EQ(0u, Dial(g_ras, DialParams(c.user, c.password), &h));
    ASSERT_TRUE(WaitForState(h, 0xFFFF));
    ASSERT_TRUE(WaitSimIdle());
    std::vector<Note> notes = NotesFor(h);
    auto at = std::find(kWalk.begin(), kWalk.end(), c.state);
    ASSERT_EQ(static_cast<size_t>(at - kWalk.begin()) + 1, notes.size()) << c.faults;
    EXPECT_EQ(c.state, notes.back().state);
    EXPECT_EQ(c.error, notes.back().error);
    EXPECT_EQ(c.extended, notes.back().extended);
    EXPECT_TRUE(Connections(g_ras).empty());
    EXPECT_EQ(0u, g_ras.HangUp(h)) << "the handle stays valid until hung up";
  }
  EXPECT_TRUE(Contains(LogLines("notify").back(), "state=8192 error=734 ext=0"));
}

TEST_F(RasSim, RefusalsAreSynchronous) {
  HRASCONN h = nullptr;
  EXPECT_EQ(623u, Dial(g_ras, DialParams("alice", "secret"), &h));
  EXPECT_EQ(nullptr, h);
  CreateEntry();
  Config("RefuseCode=633\nRefuseStoresHandle=1");
  EXPECT_EQ(633u, Dial(g_ras, DialParams("alice", "secret"), &h));
  EXPECT_NE(nullptr, h);
  EXPECT_EQ(0u, g_ras.HangUp(h));
  Config("RefuseCode=8");
  EXPECT_EQ(8u, Dial(g_ras, DialParams("alice", "secret"), &h));
  EXPECT_EQ(nullptr, h);
  RASDIALPARAMSA_400 p = DialParams("alice", "secret");
  p.dwSize = 1040;
  EXPECT_EQ(632u, Dial(g_ras, p, &h));
  ASSERT_TRUE(WaitSimIdle());
  EXPECT_TRUE(LogLines("notify").empty());
}

TEST_F(RasSim, DropsDuringDiallingAndAfterConnecting) {
  CreateEntry();
  Config("DropAtState=14");
  HRASCONN h = nullptr;
  ASSERT_EQ(0u, Dial(g_ras, DialParams("alice", "secret"), &h));
  ASSERT_TRUE(WaitForState(h, kDisconnected));
  std::vector<Note> notes = NotesFor(h);
  ASSERT_EQ(9u, notes.size());
  EXPECT_EQ(14u, notes[7].state);
  EXPECT_EQ(kDisconnected, notes[8].state);
  EXPECT_EQ(0u, notes[8].error);
  EXPECT_EQ(0u, g_ras.HangUp(h));

  Config("DropAfterConnectMs=300");
  ASSERT_EQ(0u, Dial(g_ras, DialParams("alice", "secret"), &h));
  ASSERT_TRUE(WaitForState(h, kConnected));
  EXPECT_EQ(1u, Connections(g_ras).size());
  ASSERT_TRUE(WaitForState(h, kDisconnected));
  EXPECT_EQ(kDisconnected, NotesFor(h).back().state);
  EXPECT_TRUE(Connections(g_ras).empty());
  RASCONNSTATUSA_400 st = {};
  st.dwSize = sizeof st;
  ASSERT_EQ(0u, g_ras.GetConnectStatus(h, reinterpret_cast<LPRASCONNSTATUSA>(&st)));
  EXPECT_EQ(kDisconnected, st.rasconnstate);
  EXPECT_EQ(0u, g_ras.HangUp(h));
}

TEST_F(RasSim, HangUpStopsNotificationsExceptConfiguredLateOnes) {
  CreateEntry();
  Config("", "StepMs=100");
  HRASCONN h = nullptr;
  ASSERT_EQ(0u, Dial(g_ras, DialParams("alice", "secret"), &h));
  ASSERT_TRUE(WaitForState(h, 2));
  EXPECT_EQ(0u, g_ras.HangUp(h));
  size_t seen = NotesFor(h).size();
  ASSERT_TRUE(WaitSimIdle());
  EXPECT_LE(NotesFor(h).size(), seen + 1) << "at most the one already on its way";
  EXPECT_NE(kConnected, NotesFor(h).back().state);

  Config("LateNotifications=3", "StepMs=100");
  ASSERT_EQ(0u, Dial(g_ras, DialParams("alice", "secret"), &h));
  ASSERT_TRUE(WaitForState(h, 1));
  EXPECT_EQ(0u, g_ras.HangUp(h));
  ASSERT_TRUE(WaitSimIdle());
  std::vector<std::string> notes = LogLines("notify");
  std::vector<std::string> late;
  for (const std::string& l : notes)
    if (Contains(l, HandleText(h)) && Contains(l, "late=1")) late.push_back(l);
  ASSERT_EQ(3u, late.size());
  // They carry on the walk where the hang-up stopped it.
  size_t ontime = NotesFor(h).size() - 3;
  for (size_t i = 0; i < 3; ++i)
    EXPECT_TRUE(Contains(late[i], "state=" + std::to_string(kWalk[ontime + i]) + " ")) << late[i];
}

// Status of |h| once it answers |rc|, within a bound.

}  // namespace
