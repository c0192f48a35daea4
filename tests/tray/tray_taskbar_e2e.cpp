// The icon of Corvane.exe comes back when the taskbar is created again (Explorer restarted)
// or appears only after the program has started (the Run key at log-on can start it first):
// the shell's "TaskbarCreated", and the frame's timer for shells that never send it.
#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <thread>

#include "TrayShellE2E.h"

namespace {

using namespace traye2e;

const auto* const g_env = ::testing::AddGlobalTestEnvironment(new ShellDesktop);

using Taskbar = IconTest;

// A taskbar that is not there yet, as at log-on when the Run key starts the program first: a
// tray window that Shell_NotifyIcon finds before explorer's (Wine takes the first in Z order;
// this one is topmost and newer) and that refuses every icon, on a thread of its own.
class AbsentTaskbar {
 public:
  bool Start() {
    thread_ = std::thread([this] { Run(); });
    return WaitFor([this] { return window_ != nullptr; }, kTimeout, "the stand-in tray window") &&
           FindWindowExA(nullptr, nullptr, "Shell_TrayWnd", nullptr) == window_;
  }
  // The taskbar appears: the stand-in goes, explorer's tray is found.
  void Stop() {
    if (!thread_.joinable()) return;
    if (window_) PostMessageA(window_, WM_CLOSE, 0, 0);
    thread_.join();
  }
  ~AbsentTaskbar() { Stop(); }
  LONG Refused() const { return refused_; }

 private:
  static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<AbsentTaskbar*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
    if (msg == WM_COPYDATA) {
      if (self && reinterpret_cast<COPYDATASTRUCT*>(lParam)->dwData == NIM_ADD) InterlockedIncrement(&self->refused_);
      return FALSE;
    }
    if (msg == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(wnd, msg, wParam, lParam);
  }
  void Run() {
    if (!UseDesktop(kShellDesktop)) return;
    WNDCLASSA wc{};
    wc.lpfnWndProc = &Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "Shell_TrayWnd";
    RegisterClassA(&wc);
    HWND w = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "Shell_TrayWnd", "", WS_POPUP, 0, 0, 0, 0, nullptr,
                             nullptr, wc.hInstance, nullptr);
    if (!w) return;
    SetWindowLongPtrA(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    window_ = w;
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) DispatchMessageA(&m);
    window_ = nullptr;
  }
  std::thread thread_;
  std::atomic<HWND> window_{nullptr};
  volatile LONG refused_ = 0;
};

// The menu of the icon on show: its platform's last command is |endText|.
void ExpectMenu(DWORD pid, const char* endText) {
  auto icon = WaitShownIcon("Tessory");
  ASSERT_TRUE(icon.has_value()) << LastError();
  ASSERT_TRUE(ClickTrayIcon(*icon, TrayClick::Right)) << LastError();
  HWND menu = WaitPopupMenu(kTimeout, pid);
  ASSERT_NE(nullptr, menu) << LastError();
  auto items = ReadPopupMenu(menu);
  ASSERT_TRUE(items.has_value() && items->size() == 9) << LastError();
  EXPECT_EQ("&About Tessory...", (*items)[0].text);
  EXPECT_EQ(endText, (*items)[4].text);
  EXPECT_TRUE(ClosePopupMenu(menu)) << LastError();
}

TEST_F(Taskbar, BackWhenTheTaskbarIsCreatedAgain) {
  // A timer that would not tick within the test: only the message may bring the icon back.
  SetRegString(HKEY_LOCAL_MACHINE, kAppKey, "URLTimerPeriod", "600000");
  Start("win98");
  ASSERT_TRUE(TheIcon().has_value()) << LastError();
  // Explorer restarted: the new taskbar knows no icons. Wine's taskbar cannot restart without
  // taking the desktop's windows along, so its memory of the icon is wiped from here.
  NOTIFYICONDATAA nid{};
  nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
  nid.hWnd = frame_;
  nid.uID = kTrayId;
  ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &nid));
  ASSERT_TRUE(WaitIconGone("Tessory")) << LastError();
  BroadcastTaskbarCreated();
  ExpectMenu(proc_.Pid(), "Sh&utdown");

  // The message without a restart: the shell still has the icon, which stays, once, and is
  // still removed at Shutdown.
  BroadcastTaskbarCreated();
  EXPECT_TRUE(StaysFalse([] { return ShownIcons("Tessory").size() != 1; }, "the icon gone or doubled")) << LastError();
  auto icon = TheIcon();
  ASSERT_TRUE(icon.has_value()) << LastError();
  ASSERT_TRUE(ClickTrayIcon(*icon, TrayClick::Right)) << LastError();
  HWND menu = WaitPopupMenu(kTimeout, proc_.Pid());
  ASSERT_NE(nullptr, menu) << LastError();
  ASSERT_TRUE(ChoosePopupItem(menu, ID_SHUTDOWN)) << LastError();
  EXPECT_TRUE(WaitIconGone("Tessory")) << LastError();
  EXPECT_TRUE(proc_.WaitExit().has_value());
}

// The first add refused at start; the taskbar appears later, and says so, or (Windows 95 and
// NT 4 without the Internet Explorer 4 desktop) does not: then the frame's timer tries again.
TEST_F(Taskbar, ShownWhenTheTaskbarAppearsAfterTheStart) {
  for (bool broadcast : {true, false}) {
    ResetMachine();
    // With the message, a timer that would not tick within the test; without, every 300 ms.
    SetRegString(HKEY_LOCAL_MACHINE, kAppKey, "URLTimerPeriod", broadcast ? "600000" : "300");
    AbsentTaskbar taskbar;
    ASSERT_TRUE(taskbar.Start()) << LastError();
    Start("nt40");
    ASSERT_TRUE(WaitFor([&] { return taskbar.Refused() >= 1; }, kTimeout, "the add at start")) << LastError();
    EXPECT_TRUE(ShownIcons("Tessory").empty());
    taskbar.Stop();
    if (broadcast) BroadcastTaskbarCreated();
    ExpectMenu(proc_.Pid(), "Clos&e");
    EXPECT_EQ(1u, ShownIcons("Tessory").size()) << "added once";
    PostCommand(frame_, ID_CLOSE_APP);
    EXPECT_TRUE(WaitIconGone("Tessory")) << LastError();
    EXPECT_TRUE(proc_.WaitExit().has_value());
  }
}

}  // namespace
