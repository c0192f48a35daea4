// The framework pieces the tray program is built on: a document template creating
// document, frame and view; command routing; closing (also from inside a command of the
// frame itself); the end of the Windows session; the recent-file list; the instance lock.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FailureSeam.h"
#include "Framework.h"

namespace {

std::vector<std::string> g_log;

class TestApp : public CWinApp {
 public:
  void OnAppCommand() { g_log.push_back("app"); }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(TestApp, CWinApp)
  ON_COMMAND(0x7001, &TestApp::OnAppCommand)
  ON_COMMAND(0x7002, &TestApp::OnAppCommand)
  ON_COMMAND(0x7003, &TestApp::OnAppCommand)
END_MESSAGE_MAP()
TestApp g_app;

struct AppSetUp {
  AppSetUp() {
    g_app.m_hInstance = GetModuleHandleA(nullptr);
    g_app.m_strAppName = "Framework Tray Test";
  }
} g_appSetUp;

int g_docs = 0, g_frames = 0, g_views = 0;

class TestDoc : public CDocument {
  DECLARE_DYNCREATE(TestDoc)
 public:
  TestDoc() { ++g_docs; }
  ~TestDoc() override { --g_docs; g_log.push_back("doc deleted"); }
  void OnDocCommand() { g_log.push_back("doc"); }
  DECLARE_MESSAGE_MAP()
};
IMPLEMENT_DYNCREATE(TestDoc)
BEGIN_MESSAGE_MAP(TestDoc, CDocument)
  ON_COMMAND(0x7002, &TestDoc::OnDocCommand)
  ON_COMMAND(0x7003, &TestDoc::OnDocCommand)
END_MESSAGE_MAP()

class TestView : public CView {
  DECLARE_DYNCREATE(TestView)
 public:
  TestView() { ++g_views; }
  ~TestView() override { --g_views; g_log.push_back("view deleted"); }
  void OnDraw(HDC) override {}
  void OnViewCommand() { g_log.push_back("view"); }
  DECLARE_MESSAGE_MAP()
};
IMPLEMENT_DYNCREATE(TestView)
BEGIN_MESSAGE_MAP(TestView, CView)
  ON_COMMAND(0x7003, &TestView::OnViewCommand)
END_MESSAGE_MAP()

class TestFrame : public CFrameWnd {
  DECLARE_DYNCREATE(TestFrame)
 public:
  TestFrame() { ++g_frames; }
  ~TestFrame() override { --g_frames; g_log.push_back("frame deleted"); }
  BOOL PreCreateWindow(CREATESTRUCTA& cs) override {
    cs.style = WS_OVERLAPPEDWINDOW | WS_MINIMIZE;
    return CFrameWnd::PreCreateWindow(cs);
  }
  // Closes its own window from inside a command, then touches its members: the object
  // must still be there.
  void OnCloseSelf() {
    ::SendMessageA(m_hWnd, WM_CLOSE, 0, 0);
    m_marker = 42;
    g_log.push_back(m_hWnd == nullptr ? "closed, still alive" : "not closed");
  }
  // Runs out of memory; with |close|, after closing its own window.
  void Fail(bool close) {
    if (close) ::SendMessageA(m_hWnd, WM_CLOSE, 0, 0);
    seam::FailNextAllocation();
    m_text = std::string(100, 'x');
    g_log.push_back("not reached");
  }
  void OnFailingCommand() { Fail(false); }
  void OnCloseSelfThenFail() { Fail(true); }
  LRESULT OnTimerMsg(WPARAM, LPARAM) {
    if (++m_ticks == 1) Fail(false);
    return 0;
  }
  int m_marker = 0;
  int m_ticks = 0;
  std::string m_text;
  DECLARE_MESSAGE_MAP()
};
IMPLEMENT_DYNCREATE(TestFrame)
BEGIN_MESSAGE_MAP(TestFrame, CFrameWnd)
  ON_COMMAND(0x7010, &TestFrame::OnCloseSelf)
  ON_COMMAND(0x7011, &TestFrame::OnFailingCommand)
  ON_COMMAND(0x7012, &TestFrame::OnCloseSelfThenFail)
  ON_MESSAGE(WM_TIMER, &TestFrame::OnTimerMsg)
END_MESSAGE_MAP()

// Runs the messages already queued; true when a WM_QUIT was among them.
bool Pump() {
  MSG msg;
  bool quit = false;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) quit = true;
    DispatchMessageA(&msg);
  }
  return quit;
}

class Framework : public ::testing::Test {
 protected:
  void SetUp() override {
    g_log.clear();
    tmpl_ = new CSingleDocTemplate(128, RUNTIME_CLASS(TestDoc), RUNTIME_CLASS(TestFrame), RUNTIME_CLASS(TestView));
    g_app.m_templateList.clear();
    g_app.AddDocTemplate(tmpl_);
    g_app.m_pMainWnd = nullptr;
    g_app.m_nCmdShow = SW_HIDE;
  }
  void TearDown() override {
    if (g_app.m_pMainWnd != nullptr) g_app.m_pMainWnd->DestroyWindow();
    Pump();
    for (CDocument* d : tmpl_->GetDocuments()) delete d;
    g_app.m_templateList.clear();
    delete tmpl_;
  }
  CSingleDocTemplate* tmpl_ = nullptr;
};

TEST_F(Framework, NewDocumentCreatesDocumentFrameAndView) {
  CCommandLineInfo info;
  ASSERT_TRUE(g_app.ProcessShellCommand(info));
  ASSERT_NE(nullptr, g_app.m_pMainWnd);
  auto* frame = dynamic_cast<TestFrame*>(g_app.m_pMainWnd);
  ASSERT_NE(nullptr, frame);
  EXPECT_EQ(1, g_docs);
  EXPECT_EQ(1, g_frames);
  EXPECT_EQ(1, g_views);
  LONG style = GetWindowLongA(frame->m_hWnd, GWL_STYLE);
  EXPECT_EQ(static_cast<LONG>(WS_OVERLAPPEDWINDOW | WS_MINIMIZE), style & ~WS_VISIBLE & ~WS_CLIPSIBLINGS)
      << std::hex << style;
  EXPECT_FALSE(IsWindowVisible(frame->m_hWnd)) << "the start-up show state was SW_HIDE";
  EXPECT_EQ(-1, g_app.m_nCmdShow) << "used up by the first window";
  ASSERT_NE(nullptr, frame->GetActiveView());
  EXPECT_EQ(frame->GetActiveDocument(), tmpl_->GetDocuments().front());
  EXPECT_EQ(frame->m_hWnd, GetParent(frame->GetActiveView()->m_hWnd));
}

TEST_F(Framework, CommandsRouteFrameViewDocumentApplication) {
  CCommandLineInfo info;
  ASSERT_TRUE(g_app.ProcessShellCommand(info));
  HWND frame = g_app.m_pMainWnd->m_hWnd;
  SendMessageA(frame, WM_COMMAND, 0x7003, 0);
  SendMessageA(frame, WM_COMMAND, 0x7002, 0);
  SendMessageA(frame, WM_COMMAND, 0x7001, 0);
  SendMessageA(frame, WM_COMMAND, 0x7004, 0);  // bound nowhere
  EXPECT_EQ((std::vector<std::string>{"view", "doc", "app"}), g_log);
}

TEST_F(Framework, CloseDestroysFrameDeletesDocumentEndsLoop) {
  CCommandLineInfo info;
  ASSERT_TRUE(g_app.ProcessShellCommand(info));
  HWND frame = g_app.m_pMainWnd->m_hWnd;
  SendMessageA(frame, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(frame));
  EXPECT_EQ(nullptr, g_app.m_pMainWnd);
  EXPECT_EQ(0, g_docs);
  EXPECT_EQ(0, g_frames);
  EXPECT_EQ(0, g_views);
  EXPECT_TRUE(Pump()) << "the main window's end posts WM_QUIT";
}

TEST_F(Framework, CommandClosingItsOwnFrameKeepsTheObjectUntilItReturns) {
  CCommandLineInfo info;
  ASSERT_TRUE(g_app.ProcessShellCommand(info));
  HWND frame = g_app.m_pMainWnd->m_hWnd;
  SendMessageA(frame, WM_COMMAND, 0x7010, 0);
  EXPECT_FALSE(IsWindow(frame));
  EXPECT_EQ(0, g_frames) << "deleted once the command had returned";
  ASSERT_GE(g_log.size(), 1u);
  auto at = [&](const char* what) {
    for (size_t i = 0; i < g_log.size(); ++i)
      if (g_log[i] == what) return static_cast<int>(i);
    return -1;
  };
  EXPECT_GE(at("closed, still alive"), 0);
  EXPECT_LT(at("closed, still alive"), at("frame deleted")) << "order: " << ::testing::PrintToString(g_log);
  EXPECT_EQ(1, static_cast<int>(std::count(g_log.begin(), g_log.end(), "frame deleted")));
  EXPECT_EQ(1, static_cast<int>(std::count(g_log.begin(), g_log.end(), "doc deleted")));
  EXPECT_TRUE(Pump());
}

// Out of memory in a frame's command or timer is reported with the framework's text and the
// program goes on; a command that closed its own frame before failing still has the frame
// deleted once, after it has returned.
TEST_F(Framework, OutOfMemoryInCommandsAndTimersIsReportedAndTheFrameGoesOn) {
  CCommandLineInfo info;
  ASSERT_TRUE(g_app.ProcessShellCommand(info));
  auto* frame = dynamic_cast<TestFrame*>(g_app.m_pMainWnd);
  ASSERT_NE(nullptr, frame);
  HWND wnd = frame->m_hWnd;
  seam::BoxWatcher watcher;
  watcher.caption = "Framework Tray Test";
  watcher.expected = 2;
  watcher.Start();
  SendMessageA(wnd, WM_COMMAND, 0x7011, 0);
  EXPECT_TRUE(IsWindow(wnd));
  SendMessageA(wnd, WM_COMMAND, 0x7002, 0);
  EXPECT_EQ((std::vector<std::string>{"doc"}), g_log) << "commands still route after the failure";

  ASSERT_NE(0u, SetTimer(wnd, 1, 10, nullptr));
  const DWORD start = GetTickCount();
  MSG msg;
  while (frame->m_ticks < 3 && GetTickCount() - start < 10000) {
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageA(&msg);
    } else {
      Sleep(5);
    }
  }
  KillTimer(wnd, 1);
  watcher.Join();
  EXPECT_GE(frame->m_ticks, 3) << "the timer goes on after the failed tick";
  EXPECT_EQ(2, watcher.seen);
  EXPECT_EQ("Out of memory.", watcher.text);

  g_log.clear();
  seam::BoxWatcher closing;
  closing.caption = "Framework Tray Test";
  closing.polls = 50;  // the box may never be seen (below)
  closing.Start();
  SendMessageA(wnd, WM_COMMAND, 0x7012, 0);
  closing.Join();
  // The main window's end has posted WM_QUIT, which ends the report's own message loop at
  // once: whether the box was seen depends on timing, so it is not counted here.
  EXPECT_FALSE(IsWindow(wnd));
  EXPECT_EQ(0, g_frames) << "deleted after the failed command returned";
  EXPECT_EQ(1, static_cast<int>(std::count(g_log.begin(), g_log.end(), "frame deleted")));
  EXPECT_EQ(0, static_cast<int>(std::count(g_log.begin(), g_log.end(), "not reached")));
  Pump();
}

TEST_F(Framework, EndSessionClosesDocumentsButKeepsTheFrame) {
  CCommandLineInfo info;
  ASSERT_TRUE(g_app.ProcessShellCommand(info));
  HWND frame = g_app.m_pMainWnd->m_hWnd;
  EXPECT_EQ(TRUE, SendMessageA(frame, WM_QUERYENDSESSION, 0, 0));
  EXPECT_EQ(1, g_docs);
  SendMessageA(frame, WM_ENDSESSION, FALSE, 0);
  EXPECT_EQ(1, g_docs) << "a cancelled ending closes nothing";
  SendMessageA(frame, WM_ENDSESSION, TRUE, 0);
  EXPECT_EQ(0, g_docs);
  EXPECT_TRUE(IsWindow(frame)) << "Windows ends the process; the frame stays until then";
  EXPECT_EQ(1, g_frames);
  EXPECT_EQ(nullptr, dynamic_cast<CFrameWnd*>(g_app.m_pMainWnd)->GetActiveDocument());
}

TEST_F(Framework, SecondNewDocumentReusesFrame) {
  CCommandLineInfo info;
  ASSERT_TRUE(g_app.ProcessShellCommand(info));
  CWnd* first = g_app.m_pMainWnd;
  g_app.OnFileNew();
  EXPECT_EQ(first, g_app.m_pMainWnd);
  EXPECT_EQ(1, g_docs);
  EXPECT_EQ(1, g_frames);
}

TEST_F(Framework, OpeningAMissingFileFails) {
  g_app.m_strCmdLine = "C:\\no\\such\\file.dravik";
  CCommandLineInfo info;
  g_app.ParseCommandLine(info);
  EXPECT_EQ(CCommandLineInfo::FileOpen, info.m_nShellCommand);
  EXPECT_FALSE(g_app.ProcessShellCommand(info));
  EXPECT_EQ(nullptr, g_app.m_pMainWnd);
  EXPECT_EQ(0, g_docs);
  EXPECT_EQ(0, g_frames);
  g_app.m_strCmdLine.clear();
}

std::string ProfileValue(const std::string& section, const char* entry) {
  std::string out = "(missing)";
  HKEY key = nullptr;
  std::string path = g_app.GetProfileKeyPath() + "\\" + section;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "(no key)";
  char buf[512] = {};
  DWORD size = sizeof(buf) - 1;
  if (RegQueryValueExA(key, entry, nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size) == ERROR_SUCCESS) out = buf;
  RegCloseKey(key);
  return out;
}

TEST(RecentFileList, ReadAtStartRewrittenAtExit) {
  g_app.SetRegistryKey("TzTrayTest");
  g_app.WriteProfileString("Recent File List", "File1", "C:\\a.txt");
  g_app.WriteProfileString("Recent File List", "File3", "C:\\c.txt");
  g_app.WriteProfileString("Recent File List", "File9", "C:\\stale.txt");
  g_app.WriteProfileInt("Settings", "PreviewPages", 2);
  g_app.LoadStdProfileSettings(4);
  ASSERT_NE(nullptr, g_app.m_pRecentFileList);
  EXPECT_EQ(4, g_app.m_pRecentFileList->GetSize());
  EXPECT_EQ("C:\\a.txt", (*g_app.m_pRecentFileList)[0]);
  EXPECT_EQ("", (*g_app.m_pRecentFileList)[1]);
  EXPECT_EQ("C:\\c.txt", (*g_app.m_pRecentFileList)[2]);
  EXPECT_EQ(2u, g_app.m_nNumPreviewPages);
  g_app.AddToRecentFileList("C:\\c.txt");
  g_app.AddToRecentFileList("C:\\new.txt");
  g_app.ExitInstance();
  EXPECT_EQ("C:\\new.txt", ProfileValue("Recent File List", "File1"));
  EXPECT_EQ("C:\\c.txt", ProfileValue("Recent File List", "File2"));
  EXPECT_EQ("C:\\a.txt", ProfileValue("Recent File List", "File3"));
  EXPECT_EQ("(missing)", ProfileValue("Recent File List", "File4"));
  EXPECT_EQ("(missing)", ProfileValue("Recent File List", "File9")) << "the section is rewritten";
  delete g_app.m_pRecentFileList;
  g_app.m_pRecentFileList = nullptr;
}

// Holds the mutex from |held| being set until |release| is (at most 5 s).
struct Holder {
  HANDLE held = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ~Holder() {
    CloseHandle(held);
    CloseHandle(release);
  }
};
DWORD WINAPI HoldMutex(void* param) {
  auto* holder = static_cast<Holder*>(param);
  CMutex mutex(FALSE, "TzTrayTestMutex");
  CSingleLock lock(&mutex);
  lock.Lock();
  SetEvent(holder->held);
  WaitForSingleObject(holder->release, 5000);
  return 0;  // the lock's destructor releases it
}

TEST(InstanceLock, OnlyASignalledWaitTakesTheMutex) {
  Holder holder;
  HANDLE thread = CreateThread(nullptr, 0, &HoldMutex, &holder, 0, nullptr);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(holder.held, 5000));
  CMutex mutex(FALSE, "TzTrayTestMutex");
  CSingleLock lock(&mutex);
  DWORD t0 = GetTickCount();
  EXPECT_FALSE(lock.Lock(300));
  DWORD waited = GetTickCount() - t0;
  EXPECT_GE(waited, 250u);
  EXPECT_FALSE(lock.IsLocked());
  SetEvent(holder.release);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
  CloseHandle(thread);
  EXPECT_TRUE(lock.Lock(1000)) << "free once the holder has gone";
  EXPECT_TRUE(lock.IsLocked());
  EXPECT_TRUE(lock.Unlock());
  EXPECT_FALSE(lock.IsLocked());

  CMutex failed(FALSE, "bad\\name\\for\\a\\mutex");
  CSingleLock noLock(&failed);
  EXPECT_FALSE(noLock.Lock(0)) << "a mutex that could not be created is never taken";
}

}  // namespace
