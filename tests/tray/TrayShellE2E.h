// Shared by the end-to-end tests of the tray icon in a Wine desktop with a taskbar: the icons
// on show, the desktop for the whole program, Corvane started with its icon.
#pragma once
#include "TrayE2E.h"

namespace traye2e {

// Wine 8's explorer keeps the tooltip tool of a deleted icon, with an empty rectangle: only
// tools with an area are icons on show.
inline std::vector<TrayIcon> ShownIcons(const std::string& tip) {
  std::vector<TrayIcon> out;
  auto icons = FindTrayIcons();
  if (!icons) return out;
  for (const TrayIcon& i : *icons) {
    if (i.tip == tip && i.rect.right > i.rect.left && i.rect.bottom > i.rect.top) out.push_back(i);
  }
  return out;
}
inline std::optional<TrayIcon> WaitShownIcon(const std::string& tip, Ms timeout = kTimeout) {
  std::optional<TrayIcon> found;
  WaitFor(
      [&] {
        auto v = ShownIcons(tip);
        if (!v.empty()) found = v.front();
        return found.has_value();
      },
      timeout, "the icon \"" + tip + "\" to show");
  return found;
}
inline bool WaitIconGone(const std::string& tip, Ms timeout = kTimeout) {
  return WaitFor([&] { return ShownIcons(tip).empty(); }, timeout, "the icon \"" + tip + "\" to go");
}

// What the shell does when its taskbar is created (Wine 8's explorer never sends it).
inline void BroadcastTaskbarCreated() { PostMessageA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0); }

// The desktop "shell" with its taskbar, for the whole test program.
class ShellDesktop : public ::testing::Environment {
 public:
  void SetUp() override {
    desktop_ = StartShellDesktop();
    ASSERT_TRUE(desktop_) << LastError();
  }
  void TearDown() override { desktop_.Kill(); }

 private:
  Process desktop_;
};
// Each test program registers one: ::testing::AddGlobalTestEnvironment(new ShellDesktop).

// Corvane started on that desktop, with a clean machine before and after.
class IconTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMachine();
    WaitIconGone("Tessory", 5000);
  }
  void TearDown() override { ResetMachine(); }

  void Start(const std::string& version, const char* show = "Yes") {
    InstallAdapter(version == "win98");
    if (version == "nt40") SetRegString(HKEY_LOCAL_MACHINE, kAppKey, "IPMTUNTFlag", "true");
    if (show) SetRegString(HKEY_LOCAL_MACHINE, kTrayKey, "ShowSysTrayIcon", show);
    LaunchOptions options;
    options.windowsVersion = version;
    proc_ = Launch(kExe, options);
    ASSERT_TRUE(proc_) << LastError();
    frame_ = WaitFrame(proc_.Pid());
    ASSERT_NE(nullptr, frame_) << LastError();
    ASSERT_TRUE(WaitStarted(frame_, version == "win98")) << LastError();
  }
  std::optional<TrayIcon> TheIcon() { return WaitShownIcon("Tessory"); }

  Process proc_;
  HWND frame_ = nullptr;
};

}  // namespace traye2e
