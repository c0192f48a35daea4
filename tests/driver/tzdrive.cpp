// tzdrive: the UI driver from the shell, for scenario scripts and the demo. One command per
// run, one line of output, exit code 0 on success and 1 on failure (the reason on stderr).
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "UiDriver.h"

using namespace uidriver;

namespace {

const char kUsage[] =
    "usage: tzdrive [--desktop NAME] [--hidden] [--wait SECONDS] COMMAND ARGS...\n"
    "A WINDOW is an exact caption (a shown window, or any with --hidden) or hwnd:0xHEX; it is\n"
    "waited for --wait seconds. SECONDS default to 10.\n"
    "  wait-window WINDOW [SECONDS]        wait until shown; prints handle and pid\n"
    "  wait-gone WINDOW [SECONDS]          wait until hidden or destroyed\n"
    "  text WINDOW [ID]                    prints the window's or control's text\n"
    "  wait-text WINDOW ID TEXT [SECONDS]  wait until the control shows TEXT\n"
    "  settext WINDOW ID TEXT              WM_SETTEXT (the edit raises EN_CHANGE)\n"
    "  type WINDOW ID TEXT                 WM_CHAR per character\n"
    "  click WINDOW ID                     posts BM_CLICK (refuses hidden/disabled buttons)\n"
    "  command WINDOW ID                   posts WM_COMMAND\n"
    "  key WINDOW enter|esc|tab|space|up|down|left|right|f1\n"
    "  state WINDOW ID                     prints enabled=, visible=, checked=\n"
    "  rect WINDOW [ID]                    prints window and client rectangles\n"
    "  focus WINDOW                        prints the focus window of its thread\n"
    "  msgbox CAPTION [SECONDS]            prints icon, buttons and text of a message box\n"
    "  dismiss CAPTION [BUTTON] [SECONDS]  clicks BUTTON (default button if omitted)\n"
    "  sysmenu WINDOW                      prints the system menu items\n"
    "  syscommand WINDOW ID                posts WM_SYSCOMMAND\n"
    "  popup [SECONDS]                     prints the items of the open popup menu\n"
    "  choose ID [SECONDS]                 chooses an item of the open popup menu\n"
    "  post|send WINDOW MSG WPARAM LPARAM  numbers in decimal or 0x hex\n"
    "  tray [SECONDS]                      lists the notification-area icons\n"
    "  tray-click TIP [left|right|double] [SECONDS]\n"
    "  shot FILE.bmp [WINDOW]              screenshot of the screen or a window\n"
    "  launch [--version V] [--cwd DIR] PROGRAM [ARGS...]  starts a program, prints its pid\n"
    "  run [--version V] [--cwd DIR] PROGRAM [ARGS...]     starts it, waits, exits with its code\n"
    "  kill-all NAME.exe                   ends every process of that name\n"
    "  wait-line FILE LINE [SECONDS]       wait until FILE has the line LINE\n"
    "  hold FILE [SECONDS]                 keeps FILE open as a program using it would (others\n"
    "                                      may read and write it, not delete or rename it);\n"
    "                                      prints \"holding\" once open, ends after SECONDS\n"
    "  shell-desktop [WIDTH HEIGHT]        starts the Wine desktop with a taskbar (\"shell\")\n"
    "  sentinel FILE                       hidden window that records end-of-session messages\n";

bool g_hidden = false;
Ms g_wait = kTimeout;  // how long a WINDOW argument is waited for

int Failed(const std::string& what) {
  std::fprintf(stderr, "tzdrive: %s\n", what.c_str());
  return 1;
}

int Usage() {
  std::fputs(kUsage, stderr);
  return 1;
}

bool ParseNumber(const std::string& s, unsigned long long* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  unsigned long long v = std::strtoull(s.c_str(), &end, 0);
  if (!end || *end) return false;
  *out = v;
  return true;
}

Ms Seconds(const std::vector<std::string>& a, size_t i) {
  unsigned long long s = 10;
  if (i < a.size() && !ParseNumber(a[i], &s)) s = 10;
  if (s > 3600) s = 3600;
  return static_cast<Ms>(s * 1000);
}

HWND ResolveWindow(const std::string& designator) {
  if (designator.rfind("hwnd:", 0) == 0) {
    unsigned long long v = 0;
    if (ParseNumber(designator.substr(5), &v) && IsWindow(reinterpret_cast<HWND>(static_cast<UINT_PTR>(v))))
      return reinterpret_cast<HWND>(static_cast<UINT_PTR>(v));
    std::fprintf(stderr, "tzdrive: no window %s\n", designator.c_str());
    return nullptr;
  }
  WindowQuery query;
  query.caption = designator;
  query.visibleOnly = !g_hidden;
  return WaitWindow(query, g_wait);
}

HWND ResolveControl(const std::vector<std::string>& a, size_t windowArg, size_t idArg) {
  HWND w = ResolveWindow(a[windowArg]);
  if (!w) return nullptr;
  if (idArg >= a.size()) return w;
  unsigned long long id = 0;
  if (!ParseNumber(a[idArg], &id)) return nullptr;
  // A caption may name several windows (a dialog and its message box): take the one that
  // has the control.
  if (GetDlgItem(w, static_cast<int>(id)) == nullptr && a[windowArg].rfind("hwnd:", 0) != 0) {
    WindowQuery query;
    query.caption = a[windowArg];
    query.visibleOnly = !g_hidden;
    for (HWND other : FindTopWindows(query)) {
      if (GetDlgItem(other, static_cast<int>(id)) != nullptr) {
        w = other;
        break;
      }
    }
  }
  return Control(w, static_cast<int>(id));
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else out += c;
  }
  return out;
}

std::string HexOf(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(p)));
  return buf;
}

std::string RectText(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," + std::to_string(r.bottom);
}

std::string MenuLine(const std::vector<MenuItem>& items) {
  std::string out;
  for (const MenuItem& i : items) {
    if (!out.empty()) out += " | ";
    if (i.separator) {
      out += "-";
      continue;
    }
    out += std::to_string(i.id) + "=\"" + Escaped(i.text) + "\"";
    if (i.grayed) out += "(grayed)";
    if (i.checked) out += "(checked)";
  }
  return out;
}

UINT KeyCode(const std::string& name) {
  if (name == "enter") return VK_RETURN;
  if (name == "esc") return VK_ESCAPE;
  if (name == "tab") return VK_TAB;
  if (name == "space") return VK_SPACE;
  if (name == "up") return VK_UP;
  if (name == "down") return VK_DOWN;
  if (name == "left") return VK_LEFT;
  if (name == "right") return VK_RIGHT;
  if (name == "f1") return VK_F1;
  return 0;
}

// One argument as the C runtime's command-line parser reads it back: quoted when it holds
// blanks or quotes, inner quotes and the backslashes before them escaped.
std::string QuoteArg(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t slashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    out.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, '\\');
  return out + "\"";
}

// [--version V] [--cwd DIR] PROGRAM [ARGS...] from a[*i]; leaves *i at PROGRAM.
bool ParseLaunch(const std::vector<std::string>& a, size_t* i, LaunchOptions* opt) {
  const size_t n = a.size();
  for (; *i + 1 < n && a[*i].rfind("--", 0) == 0; *i += 2) {
    if (a[*i] == "--version") opt->windowsVersion = a[*i + 1];
    else if (a[*i] == "--cwd") opt->workDir = a[*i + 1];
    else return false;
  }
  if (*i >= n) return false;
  for (size_t j = *i + 1; j < n; ++j) opt->args += (opt->args.empty() ? "" : " ") + QuoteArg(a[j]);
  return true;
}

// ---- sentinel: a hidden window that notes what the end of the session sends it --------------

std::string g_sentinelFile;

void SentinelLog(const char* line) {
  if (FILE* f = std::fopen(g_sentinelFile.c_str(), "ab")) {
    std::fprintf(f, "%s\r\n", line);
    std::fclose(f);
  }
}

LRESULT CALLBACK SentinelProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_QUERYENDSESSION) {
    char line[64];
    std::snprintf(line, sizeof line, "queryendsession %lx", static_cast<unsigned long>(lp));
    SentinelLog(line);
    return TRUE;
  }
  if (msg == WM_ENDSESSION) {
    SentinelLog(wp ? "endsession 1" : "endsession 0");
    return 0;
  }
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(w, msg, wp, lp);
}

int Sentinel(const std::string& file) {
  g_sentinelFile = file;
  WNDCLASSA wc{};
  wc.lpfnWndProc = SentinelProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "TzDriveSentinel";
  if (!RegisterClassA(&wc)) return Failed("sentinel: cannot register its window class");
  HWND w = CreateWindowA("TzDriveSentinel", "tzdrive sentinel", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
  if (!w) return Failed("sentinel: cannot create its window");
  SentinelLog("sentinel up");
  std::printf("sentinel %s\n", HexOf(w).c_str());
  std::fflush(stdout);
  MSG m;
  while (GetMessageA(&m, nullptr, 0, 0) > 0) DispatchMessageA(&m);
  return 0;
}

int Run(const std::vector<std::string>& a) {
  const std::string& cmd = a[0];
  const size_t n = a.size();
  if (cmd == "wait-window" && n >= 2) {
    WindowQuery query;
    query.caption = a[1];
    query.visibleOnly = !g_hidden;
    HWND w = WaitWindow(query, Seconds(a, 2));
    if (!w) return Failed(LastError());
    std::printf("%s pid %lu\n", HexOf(w).c_str(), static_cast<unsigned long>(PidOf(w)));
    return 0;
  }
  if (cmd == "wait-gone" && n >= 2) {
    WindowQuery query;
    query.caption = a[1];
    query.visibleOnly = !g_hidden;
    if (!WaitWindowGone(query, Seconds(a, 2))) return Failed(LastError());
    std::printf("gone\n");
    return 0;
  }
  if (cmd == "text" && n >= 2) {
    HWND w = ResolveControl(a, 1, 2);
    if (!w) return Failed(LastError());
    std::string t = Text(w);
    if (!IsWindow(w)) return Failed(LastError());
    std::printf("%s\n", Escaped(t).c_str());
    return 0;
  }
  if (cmd == "wait-text" && n >= 4) {
    HWND w = ResolveControl(a, 1, 2);
    if (!w || !WaitText(w, a[3], Seconds(a, 4))) return Failed(LastError());
    std::printf("%s\n", Escaped(a[3]).c_str());
    return 0;
  }
  if ((cmd == "settext" || cmd == "type") && n >= 4) {
    HWND w = ResolveControl(a, 1, 2);
    if (!w) return Failed(LastError());
    if (!(cmd == "settext" ? SetEditText(w, a[3]) : TypeChars(w, a[3]))) return Failed(LastError());
    std::printf("%s\n", Escaped(Text(w)).c_str());
    return 0;
  }
  if (cmd == "click" && n >= 3) {
    HWND w = ResolveControl(a, 1, 2);
    if (!w || !Click(w)) return Failed(LastError());
    std::printf("clicked %s\n", a[2].c_str());
    return 0;
  }
  if (cmd == "command" && n >= 3) {
    HWND w = ResolveWindow(a[1]);
    unsigned long long id = 0;
    if (!w || !ParseNumber(a[2], &id) || !PostCommand(w, static_cast<int>(id))) return Failed(LastError());
    std::printf("posted command %llu\n", id);
    return 0;
  }
  if (cmd == "key" && n >= 3) {
    UINT vk = KeyCode(a[2]);
    if (!vk) return Failed("unknown key " + a[2]);
    HWND w = ResolveWindow(a[1]);
    if (!w) return Failed(LastError());
    // F1 turns into WM_HELP only as real keyboard input.
    if (!(vk == VK_F1 ? SendKeyInput(w, vk) : PressKey(w, vk))) return Failed(LastError());
    std::printf("pressed %s\n", a[2].c_str());
    return 0;
  }
  if (cmd == "state" && n >= 3) {
    HWND w = ResolveControl(a, 1, 2);
    if (!w) return Failed(LastError());
    std::printf("enabled=%d visible=%d checked=%d\n", IsEnabled(w) ? 1 : 0, IsVisible(w) ? 1 : 0, CheckState(w));
    return 0;
  }
  if (cmd == "rect" && n >= 2) {
    HWND w = ResolveControl(a, 1, 2);
    if (!w) return Failed(LastError());
    RECT c = ClientRect(w);
    std::printf("window=%s client=%ldx%ld\n", RectText(WindowRect(w)).c_str(), c.right, c.bottom);
    return 0;
  }
  if (cmd == "focus" && n >= 2) {
    HWND w = ResolveWindow(a[1]);
    if (!w) return Failed(LastError());
    HWND f = FocusOf(w);
    std::printf("%s id %d\n", Describe(f).c_str(), f ? GetDlgCtrlID(f) : 0);
    return 0;
  }
  if (cmd == "msgbox" && n >= 2) {
    std::optional<MessageBoxInfo> box = WaitMessageBox(a[1], Seconds(a, 2));
    if (!box) return Failed(LastError());
    std::string buttons;
    for (const std::string& b : box->buttons) buttons += (buttons.empty() ? "" : ",") + b;
    std::printf("icon=%s buttons=%s text=\"%s\"\n", IconName(box->icon), buttons.c_str(), Escaped(box->text).c_str());
    return 0;
  }
  if (cmd == "dismiss" && n >= 2) {
    std::string button = n >= 3 ? a[2] : "";
    std::optional<MessageBoxInfo> box = WaitMessageBox(a[1], Seconds(a, 3));
    if (!box || !DismissMessageBox(box->hwnd, button, Seconds(a, 3))) return Failed(LastError());
    std::printf("dismissed %s\n", button.empty() ? "(default)" : button.c_str());
    return 0;
  }
  if (cmd == "sysmenu" && n >= 2) {
    HWND w = ResolveWindow(a[1]);
    if (!w) return Failed(LastError());
    std::optional<std::vector<MenuItem>> items = ReadSystemMenu(w);
    if (!items) return Failed(LastError());
    std::printf("%s\n", MenuLine(*items).c_str());
    return 0;
  }
  if (cmd == "syscommand" && n >= 3) {
    HWND w = ResolveWindow(a[1]);
    unsigned long long id = 0;
    if (!w || !ParseNumber(a[2], &id) || !PostSysCommand(w, static_cast<UINT>(id))) return Failed(LastError());
    std::printf("posted syscommand %llu\n", id);
    return 0;
  }
  if (cmd == "popup") {
    HWND p = WaitPopupMenu(Seconds(a, 1));
    if (!p) return Failed(LastError());
    std::optional<std::vector<MenuItem>> items = ReadPopupMenu(p);
    if (!items) return Failed(LastError());
    std::printf("%s\n", MenuLine(*items).c_str());
    return 0;
  }
  if (cmd == "choose" && n >= 2) {
    unsigned long long id = 0;
    if (!ParseNumber(a[1], &id)) return Usage();
    HWND p = WaitPopupMenu(Seconds(a, 2));
    if (!p || !ChoosePopupItem(p, static_cast<UINT>(id))) return Failed(LastError());
    std::printf("chose %llu\n", id);
    return 0;
  }
  if ((cmd == "post" || cmd == "send") && n >= 5) {
    HWND w = ResolveWindow(a[1]);
    unsigned long long msg = 0, wp = 0, lp = 0;
    if (!w) return Failed(LastError());
    if (!ParseNumber(a[2], &msg) || !ParseNumber(a[3], &wp) || !ParseNumber(a[4], &lp)) return Usage();
    if (cmd == "post") {
      if (!Post(w, static_cast<UINT>(msg), static_cast<WPARAM>(wp), static_cast<LPARAM>(lp))) return Failed(LastError());
      std::printf("posted\n");
    } else {
      std::optional<LRESULT> r = Send(w, static_cast<UINT>(msg), static_cast<WPARAM>(wp), static_cast<LPARAM>(lp));
      if (!r) return Failed(LastError());
      std::printf("%lld\n", static_cast<long long>(*r));
    }
    return 0;
  }
  if (cmd == "tray") {
    std::optional<std::vector<TrayIcon>> icons;
    WaitFor([&] { return (icons = FindTrayIcons()) && !icons->empty(); }, Seconds(a, 1), "a tray icon");
    if (!icons) return Failed(LastError());
    std::string line;
    for (const TrayIcon& i : *icons) line += (line.empty() ? "" : " | ") + ("\"" + Escaped(i.tip) + "\" at " + RectText(i.rect));
    std::printf("%s\n", line.empty() ? "none" : line.c_str());
    return icons->empty() ? 1 : 0;
  }
  if (cmd == "tray-click" && n >= 2) {
    TrayClick how = TrayClick::Right;
    if (n >= 3 && a[2] == "left") how = TrayClick::Left;
    else if (n >= 3 && a[2] == "double") how = TrayClick::Double;
    else if (n >= 3 && a[2] != "right") return Usage();
    std::optional<TrayIcon> icon = WaitTrayIcon(a[1], Seconds(a, 3));
    if (!icon || !ClickTrayIcon(*icon, how)) return Failed(LastError());
    std::printf("clicked \"%s\"\n", Escaped(icon->tip).c_str());
    return 0;
  }
  if (cmd == "shot" && n >= 2) {
    HWND w = n >= 3 ? ResolveWindow(a[2]) : nullptr;
    if (n >= 3 && !w) return Failed(LastError());
    if (!SaveScreenshot(a[1], w)) return Failed(LastError());
    std::printf("%s\n", a[1].c_str());
    return 0;
  }
  if (cmd == "launch" && n >= 2) {
    LaunchOptions opt;
    size_t i = 1;
    if (!ParseLaunch(a, &i, &opt)) return Usage();
    Process p = Launch(a[i], opt);
    if (!p) return Failed(LastError());
    p.Detach();
    std::printf("pid %lu\n", static_cast<unsigned long>(p.Pid()));
    return 0;
  }
  if (cmd == "run" && n >= 2) {
    LaunchOptions opt;
    size_t i = 1;
    if (!ParseLaunch(a, &i, &opt)) return Usage();
    Process p = Launch(a[i], opt);
    if (!p) return Failed(LastError());
    std::optional<DWORD> code = p.WaitExit(INFINITE);
    if (!code) return Failed(LastError());
    std::printf("exit %lu\n", static_cast<unsigned long>(*code));
    return static_cast<int>(*code);
  }
  if (cmd == "kill-all" && n >= 2) {
    std::printf("killed %d\n", KillAllNamed(a[1]));
    return 0;
  }
  if (cmd == "wait-line" && n >= 3) {
    if (!WaitFileLine(a[1], a[2], Seconds(a, 3))) return Failed(LastError());
    std::printf("%s\n", a[2].c_str());
    return 0;
  }
  if (cmd == "hold" && n >= 2) {
    // No FILE_SHARE_DELETE: an open for writing succeeds, a delete or rename is refused with a
    // sharing violation, as for a document an editor keeps open.
    HANDLE f = CreateFileA(a[1].c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return Failed("cannot open " + a[1] + " (error " + std::to_string(GetLastError()) + ")");
    std::printf("holding\n");
    std::fflush(stdout);
    Sleep(n >= 3 ? Seconds(a, 2) : kTimeout);
    CloseHandle(f);
    return 0;
  }
  if (cmd == "shell-desktop") {
    unsigned long long w = 1024, h = 768;
    if (n >= 3 && (!ParseNumber(a[1], &w) || !ParseNumber(a[2], &h))) return Usage();
    Process explorer = StartShellDesktop(static_cast<int>(w), static_cast<int>(h));
    if (!explorer) return Failed(LastError());
    explorer.Detach();
    std::printf("desktop %s %llux%llu\n", kShellDesktop, w, h);
    return 0;
  }
  if (cmd == "sentinel" && n >= 2) return Sentinel(a[1]);
  return Usage();
}

}  // namespace

int main(int argc, char** argv) {
  // "\n" rather than "\r\n": the output is read by shell scripts.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  std::vector<std::string> a(argv + 1, argv + argc);
  while (!a.empty() && a[0].rfind("--", 0) == 0) {
    if (a[0] == "--hidden") {
      g_hidden = true;
      a.erase(a.begin());
    } else if (a[0] == "--wait" && a.size() >= 2) {
      g_wait = Seconds(a, 1);
      a.erase(a.begin(), a.begin() + 2);
    } else if (a[0] == "--desktop" && a.size() >= 2) {
      if (!UseDesktop(a[1])) return Failed(LastError());
      a.erase(a.begin(), a.begin() + 2);
    } else {
      return Usage();
    }
  }
  if (a.empty()) return Usage();
  return Run(a);
}
