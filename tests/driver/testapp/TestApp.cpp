// A small dialog program that the driver's self-tests launch and drive. Every event it sees is
// shown in its status line and, with --log FILE, appended to FILE as one line, so a test can
// check both what a user would see and what the program received.
//
// Options: --log FILE, --title TEXT (dialog caption), --tray (notification-area icon),
// --restart (asks Windows for a restart once the dialog is up).
// Exit code: 1 after OK, 2 after Cancel/Esc/close, 3 when a restart request left it running.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "resource.h"

namespace {

constexpr UINT WM_APP_TRAY = WM_APP + 1;
constexpr UINT WM_APP_RESTART = WM_APP + 2;
constexpr UINT_PTR kRestartTimer = 1;

std::string g_logPath;
std::string g_title = "Driver Test App";
bool g_tray = false;
bool g_restart = false;

void Log(const std::string& line) {
  if (g_logPath.empty()) return;
  FILE* f = std::fopen(g_logPath.c_str(), "ab");
  if (!f) return;
  std::fprintf(f, "%s\r\n", line.c_str());
  std::fclose(f);
}

void Status(HWND dlg, const std::string& text) {
  SetDlgItemTextA(dlg, IDC_STATUS, text.c_str());
  Log(text);
}

std::string ControlText(HWND dlg, int id) {
  char buf[256] = "";
  UINT n = GetDlgItemTextA(dlg, id, buf, sizeof buf);
  return std::string(buf, n < sizeof buf ? n : sizeof buf - 1);
}

// The icon of the "Fail" box follows the name field, so one button covers every icon kind.
UINT IconFor(const std::string& name) {
  if (name == "excl") return MB_ICONEXCLAMATION;
  if (name == "info") return MB_ICONINFORMATION;
  if (name == "quest") return MB_ICONQUESTION;
  if (name == "none") return 0;
  return MB_ICONSTOP;
}

void ShowInfo(HWND dlg) {
  char cwd[MAX_PATH] = "";
  DWORD n = GetCurrentDirectoryA(sizeof cwd, cwd);
  if (n >= sizeof cwd) n = 0;
  char env[128] = "";
  DWORD e = GetEnvironmentVariableA("TZ_TESTAPP_VALUE", env, sizeof env);
  if (e >= sizeof env) e = 0;
  OSVERSIONINFOA vi{};
  vi.dwOSVersionInfoSize = sizeof vi;
  GetVersionExA(&vi);
  char info[600];
  std::snprintf(info, sizeof info, "cwd=%.*s;env=%.*s;ver=%lu.%lu", static_cast<int>(n), cwd,
                static_cast<int>(e), env, vi.dwPlatformId, vi.dwMajorVersion);
  SetDlgItemTextA(dlg, IDC_INFO, info);
  Log(info);
}

void AddTrayIcon(HWND dlg, DWORD message) {
  NOTIFYICONDATAA nid{};
  nid.cbSize = sizeof nid;
  nid.hWnd = dlg;
  nid.uID = 1;
  nid.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
  nid.uCallbackMessage = WM_APP_TRAY;
  nid.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  std::strcpy(nid.szTip, "Driver Test Tip");
  Shell_NotifyIconA(message, &nid);
}

void ShowPopup(HWND dlg) {
  HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING, ID_POPUP_FIRST, "&First");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING | MF_GRAYED, ID_POPUP_SECOND, "&Second");
  AppendMenuA(menu, MF_STRING | MF_CHECKED, ID_POPUP_THIRD, "&Third");
  POINT pt;
  GetCursorPos(&pt);
  // Without the foreground the menu would not close when the user clicks elsewhere.
  SetForegroundWindow(dlg);
  TrackPopupMenu(menu, TPM_RIGHTBUTTON, pt.x, pt.y, 0, dlg, nullptr);
  PostMessageA(dlg, WM_NULL, 0, 0);
  DestroyMenu(menu);
}

INT_PTR CALLBACK DialogProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowTextA(dlg, g_title.c_str());
      SendDlgItemMessageA(dlg, IDC_NAME, EM_LIMITTEXT, NAME_LIMIT, 0);
      HMENU sys = GetSystemMenu(dlg, FALSE);
      AppendMenuA(sys, MF_SEPARATOR, 0, nullptr);
      AppendMenuA(sys, MF_STRING, IDM_ABOUT, "&About Test App...");
      ShowInfo(dlg);
      if (g_tray) AddTrayIcon(dlg, NIM_ADD);
      if (g_restart) PostMessageA(dlg, WM_APP_RESTART, 0, 0);
      Status(dlg, "started");
      return TRUE;
    }
    case WM_APP_RESTART: {
      BOOL ok = ExitWindowsEx(EWX_REBOOT, 0);
      Status(dlg, ok ? "restart requested" : "restart refused");
      // A Windows restart ends this process; if nothing ends it, say so by the exit code.
      SetTimer(dlg, kRestartTimer, 10000, nullptr);
      return TRUE;
    }
    case WM_TIMER:
      if (wp == kRestartTimer) {
        KillTimer(dlg, kRestartTimer);
        EndDialog(dlg, 3);
      }
      return TRUE;
    case WM_APP_TRAY:
      if (lp == WM_RBUTTONUP) {
        Status(dlg, "tray menu");
        ShowPopup(dlg);
      } else if (lp == WM_LBUTTONDBLCLK) {
        Status(dlg, "tray double-click");
      }
      return TRUE;
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == IDM_ABOUT) {
        Status(dlg, "about");
        SetWindowLongPtrA(dlg, DWLP_MSGRESULT, 0);
        return TRUE;
      }
      return FALSE;
    case WM_HELP:
      Status(dlg, "help");
      return TRUE;
    case WM_QUERYENDSESSION: {
      char line[64];
      std::snprintf(line, sizeof line, "queryendsession %lx", static_cast<unsigned long>(lp));
      Log(line);
      SetWindowLongPtrA(dlg, DWLP_MSGRESULT, TRUE);
      return TRUE;
    }
    case WM_ENDSESSION:
      Log(wp ? "endsession 1" : "endsession 0");
      return TRUE;
    case WM_COMMAND: {
      const int id = LOWORD(wp);
      const int code = HIWORD(wp);
      if (id == IDC_NAME && code == EN_CHANGE) {
        const std::string name = ControlText(dlg, IDC_NAME);
        SetDlgItemTextA(dlg, IDC_ECHO, ("changed: " + name).c_str());
        EnableWindow(GetDlgItem(dlg, IDC_GO), !name.empty());
        Log("en_change " + name);
        return TRUE;
      }
      if (id == IDC_BOX) {
        const std::string name = ControlText(dlg, IDC_NAME);
        int r = MessageBoxA(dlg, ("Icon: " + name).c_str(), "Driver Test Box", MB_OKCANCEL | IconFor(name));
        Status(dlg, "box " + std::to_string(r));
        return TRUE;
      }
      if (id == IDC_MENU) {
        ShowPopup(dlg);
        return TRUE;
      }
      if (id == IDC_GO) {
        Status(dlg, "go");
        return TRUE;
      }
      if (id == IDC_CHECK) {
        Status(dlg, IsDlgButtonChecked(dlg, IDC_CHECK) ? "checked" : "unchecked");
        return TRUE;
      }
      if (id >= ID_POPUP_FIRST && id <= ID_POPUP_THIRD) {
        Status(dlg, "command " + std::to_string(id));
        return TRUE;
      }
      if (id == IDOK || id == IDCANCEL) {
        Log(id == IDOK ? "exit 1" : "exit 2");
        if (g_tray) AddTrayIcon(dlg, NIM_DELETE);
        EndDialog(dlg, id == IDOK ? 1 : 2);
        return TRUE;
      }
      return FALSE;
    }
  }
  return FALSE;
}

void ParseArgs(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--log" && i + 1 < argc) g_logPath = argv[++i];
    else if (a == "--title" && i + 1 < argc) g_title = argv[++i];
    else if (a == "--tray") g_tray = true;
    else if (a == "--restart") g_restart = true;
  }
}

}  // namespace

int main(int argc, char** argv) {
  ParseArgs(argc, argv);
  INT_PTR r = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_TESTAPP), nullptr, DialogProc, 0);
  return static_cast<int>(r);
}
