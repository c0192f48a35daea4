// Windows, controls, keys and message boxes.
#include "UiDriver.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "DriverInternal.h"
#include "probe/ProbeProtocol.h"

namespace uidriver {

namespace detail {

namespace {
thread_local std::string t_lastError;
}

bool Fail(const std::string& message) {
  t_lastError = message;
  return false;
}

void ClearError() { t_lastError.clear(); }

std::string Hex(UINT_PTR value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(value));
  return buf;
}

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else out += c;
  }
  return out + "\"";
}

namespace {
std::string CaptionOf(HWND window) {
  char buf[512] = "";
  int n = GetWindowTextA(window, buf, sizeof buf);
  if (n < 0) n = 0;
  if (n >= static_cast<int>(sizeof buf)) n = sizeof buf - 1;
  return std::string(buf, static_cast<size_t>(n));
}

}  // namespace

std::string VisibleWindowList(DWORD pid) {
  std::string out;
  int shown = 0;
  for (HWND h : TopWindows()) {
    if (!IsWindowVisible(h)) continue;
    if (pid && PidOf(h) != pid) continue;
    if (shown == 12) {
      out += ", ...";
      break;
    }
    if (shown++) out += ", ";
    out += Quote(CaptionOf(h)) + " (" + ClassOf(h) + ", pid " + std::to_string(PidOf(h)) + ")";
  }
  return shown ? out : std::string("none");
}

}  // namespace detail

namespace {
// Window enumeration callback (a plain function: a lambda has the wrong calling convention on
// x86): adds every window to the std::vector<HWND> at |lp|.
BOOL CALLBACK CollectWindow(HWND h, LPARAM lp) {
  reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
  return TRUE;
}
}  // namespace

std::vector<HWND> TopWindows() {
  std::vector<HWND> all;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
  return all;
}

std::vector<HWND> ChildrenOf(HWND parent) {
  std::vector<HWND> all;
  EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&all));
  return all;
}

using namespace detail;

const std::string& LastError() { return t_lastError; }

Ms Scaled(Ms ms) {
  static const Ms scale = [] {
    char v[16] = {};
    DWORD n = GetEnvironmentVariableA("TZ_TIME_SCALE", v, sizeof v);
    unsigned long k = n > 0 && n < sizeof v ? std::strtoul(v, nullptr, 10) : 1;
    return static_cast<Ms>(k < 1 ? 1 : k > 20 ? 20 : k);
  }();
  if (ms == INFINITE || scale == 1) return ms;
  return ms >= (INFINITE - 1) / scale ? INFINITE - 1 : ms * scale;
}

bool WaitFor(const std::function<bool()>& done, Ms timeout, const std::string& what) {
  timeout = Scaled(timeout);
  const DWORD start = GetTickCount();
  for (;;) {
    if (done()) return true;
    if (GetTickCount() - start >= timeout) return Fail("timed out after " + std::to_string(timeout) + " ms waiting for " + what);
    Sleep(kPollInterval);
  }
}

bool StaysFalse(const std::function<bool()>& happened, const std::string& what, Ms bound) {
  const DWORD start = GetTickCount();
  do {
    if (happened()) {
      Fail("happened within " + std::to_string(bound) + " ms, and must not: " + what);
      return false;
    }
    Sleep(kPollInterval);
  } while (GetTickCount() - start < bound);
  if (happened()) return Fail("happened, and must not: " + what);
  return true;
}

// ---- Windows --------------------------------------------------------------------------------

std::string ClassOf(HWND window) {
  char buf[256] = "";
  int n = GetClassNameA(window, buf, sizeof buf);
  if (n <= 0) return "";
  return std::string(buf, std::min(static_cast<size_t>(n), sizeof buf - 1));
}

DWORD PidOf(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid;
}

DWORD ThreadOf(HWND window) { return GetWindowThreadProcessId(window, nullptr); }

std::string Describe(HWND window) {
  if (!window) return "(no window)";
  if (!IsWindow(window)) return Hex(reinterpret_cast<UINT_PTR>(window)) + " (destroyed)";
  return Hex(reinterpret_cast<UINT_PTR>(window)) + " " + ClassOf(window) + " " + Quote(CaptionOf(window)) + " pid " +
         std::to_string(PidOf(window)) + (IsWindowVisible(window) ? "" : " hidden");
}

std::vector<HWND> FindTopWindows(const WindowQuery& query) {
  std::vector<HWND> found;
  for (HWND h : TopWindows()) {
    if (query.visibleOnly && !IsWindowVisible(h)) continue;
    if (query.pid && PidOf(h) != query.pid) continue;
    if (!query.cls.empty() && ClassOf(h) != query.cls) continue;
    if (CaptionOf(h) != query.caption) continue;
    found.push_back(h);
  }
  return found;
}

HWND FindTopWindow(const WindowQuery& query) {
  std::vector<HWND> all = FindTopWindows(query);
  if (all.empty()) {
    Fail("no " + std::string(query.visibleOnly ? "visible " : "") + "window " + Quote(query.caption) +
         (query.cls.empty() ? "" : " of class " + query.cls) + (query.pid ? " of pid " + std::to_string(query.pid) : "") +
         "; visible windows: " + VisibleWindowList());
    return nullptr;
  }
  return all.front();
}

HWND WaitWindow(const WindowQuery& query, Ms timeout) {
  HWND found = nullptr;
  WaitFor(
      [&] {
        std::vector<HWND> all = FindTopWindows(query);
        found = all.empty() ? nullptr : all.front();
        return found != nullptr;
      },
      timeout, "a window");
  if (!found) {
    Fail("no " + std::string(query.visibleOnly ? "visible " : "") + "window " + Quote(query.caption) +
         (query.cls.empty() ? "" : " of class " + query.cls) + (query.pid ? " of pid " + std::to_string(query.pid) : "") +
         " within " + std::to_string(Scaled(timeout)) + " ms; visible windows: " + VisibleWindowList());
  }
  return found;
}

HWND WaitWindow(const std::string& caption, Ms timeout, DWORD pid) {
  WindowQuery query;
  query.caption = caption;
  query.pid = pid;
  return WaitWindow(query, timeout);
}

bool WaitWindowGone(HWND window, Ms timeout) {
  if (WaitFor([&] { return !IsWindow(window) || !IsWindowVisible(window); }, timeout, "")) return true;
  return Fail("window still shown after " + std::to_string(Scaled(timeout)) + " ms: " + Describe(window));
}

bool WaitWindowGone(const WindowQuery& query, Ms timeout) {
  std::vector<HWND> left;
  if (WaitFor([&] { return (left = FindTopWindows(query)).empty(); }, timeout, "")) return true;
  return Fail("window " + Quote(query.caption) + " still there after " + std::to_string(Scaled(timeout)) + " ms: " + Describe(left.front()));
}

// ---- Controls -------------------------------------------------------------------------------

HWND Control(HWND parent, int id) {
  if (!IsWindow(parent)) {
    Fail("control " + std::to_string(id) + ": parent window is gone: " + Describe(parent));
    return nullptr;
  }
  HWND c = GetDlgItem(parent, id);
  if (!c) Fail("no control " + std::to_string(id) + " in " + Describe(parent));
  return c;
}

HWND WaitControl(HWND parent, int id, Ms timeout) {
  HWND c = nullptr;
  if (!WaitFor([&] { return (c = GetDlgItem(parent, id)) != nullptr; }, timeout, "control"))
    Fail("no control " + std::to_string(id) + " in " + Describe(parent) + " within " + std::to_string(Scaled(timeout)) + " ms");
  return c;
}

std::optional<LRESULT> Send(HWND window, UINT msg, WPARAM wp, LPARAM lp, Ms timeout) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(window, msg, wp, lp, SMTO_NORMAL, Scaled(timeout), &result)) {
    DWORD err = GetLastError();
    Fail("message " + Hex(msg) + " to " + Describe(window) + " not handled within " + std::to_string(Scaled(timeout)) +
         " ms (error " + std::to_string(err) + ")");
    return std::nullopt;
  }
  return static_cast<LRESULT>(result);
}

bool Post(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
  if (PostMessageA(window, msg, wp, lp)) return true;
  return Fail("cannot post " + Hex(msg) + " to " + Describe(window) + " (error " + std::to_string(GetLastError()) + ")");
}

std::string Text(HWND window) {
  if (!IsWindow(window)) {
    Fail("no text: window is gone: " + Describe(window));
    return "";
  }
  std::optional<LRESULT> len = Send(window, WM_GETTEXTLENGTH, 0, 0, 5000);
  if (!len) return "";
  // Room for the terminator and for a text that grew in the meantime.
  size_t size = std::min<size_t>(static_cast<size_t>(*len) + 64, 1 << 20);
  std::string buf(size, '\0');
  std::optional<LRESULT> got = Send(window, WM_GETTEXT, size, reinterpret_cast<LPARAM>(buf.data()), 5000);
  if (!got) return "";
  size_t n = std::min(static_cast<size_t>(std::max<LRESULT>(*got, 0)), size - 1);
  buf.resize(n);
  // The count may cover bytes after an early terminator; the text ends at the first zero.
  size_t zero = buf.find('\0');
  if (zero != std::string::npos) buf.resize(zero);
  return buf;
}

std::string ControlText(HWND parent, int id) {
  HWND c = Control(parent, id);
  return c ? Text(c) : std::string();
}

bool WaitText(HWND window, const std::string& expected, Ms timeout) {
  std::string seen;
  if (WaitFor([&] { return (seen = Text(window)) == expected; }, timeout, "")) return true;
  return Fail("text of " + Describe(window) + " is " + Quote(seen) + ", not " + Quote(expected) + " after " +
              std::to_string(Scaled(timeout)) + " ms");
}

bool WaitControlText(HWND parent, int id, const std::string& expected, Ms timeout) {
  HWND c = Control(parent, id);
  return c && WaitText(c, expected, timeout);
}

bool SetEditText(HWND edit, const std::string& text) {
  std::optional<LRESULT> r = Send(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  if (!r) return false;
  if (!*r) return Fail("WM_SETTEXT refused by " + Describe(edit));
  return true;
}

bool SetControlText(HWND parent, int id, const std::string& text) {
  HWND c = Control(parent, id);
  return c && SetEditText(c, text);
}

bool TypeChars(HWND target, const std::string& chars) {
  for (char c : chars) {
    if (!Send(target, WM_CHAR, static_cast<unsigned char>(c), 1)) return false;
  }
  return true;
}

namespace {
HWND FocusOrSelf(HWND window) {
  HWND focus = FocusOf(window);
  return focus ? focus : window;
}

LPARAM KeyLParam(UINT vk, bool up) {
  LPARAM lp = 1 | (static_cast<LPARAM>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC)) << 16);
  if (up) lp |= static_cast<LPARAM>(0xC0000000u);
  return lp;
}
}  // namespace

bool PressKey(HWND window, UINT vk) {
  if (!IsWindow(window)) return Fail("key " + std::to_string(vk) + ": window is gone: " + Describe(window));
  HWND target = FocusOrSelf(window);
  if (!Post(target, WM_KEYDOWN, vk, KeyLParam(vk, false))) return false;
  // The press may already have done its work by now: Esc or Enter can end a dialog before the
  // release is posted. A keyboard sends the release whatever became of the window, so a target
  // that is gone by then is no failure; any other refusal still is.
  if (PostMessageA(target, WM_KEYUP, vk, KeyLParam(vk, true))) return true;
  DWORD err = GetLastError();
  if (!IsWindow(target)) return true;
  return Fail("cannot post " + Hex(WM_KEYUP) + " to " + Describe(target) + " (error " + std::to_string(err) + ")");
}

bool SendKeyInput(HWND window, UINT vk) {
  if (!IsWindow(window)) return Fail("key " + std::to_string(vk) + ": window is gone: " + Describe(window));
  HWND top = GetAncestor(window, GA_ROOT);
  SetForegroundWindow(top);
  if (!WaitFor([&] { return GetForegroundWindow() == top; }, 2000, "foreground"))
    return Fail("cannot bring " + Describe(top) + " to the foreground; foreground is " + Describe(GetForegroundWindow()));
  INPUT in[2] = {};
  for (int i = 0; i < 2; ++i) {
    in[i].type = INPUT_KEYBOARD;
    in[i].ki.wVk = static_cast<WORD>(vk);
    in[i].ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
  }
  in[1].ki.dwFlags = KEYEVENTF_KEYUP;
  if (SendInput(2, in, sizeof(INPUT)) != 2) return Fail("SendInput failed (error " + std::to_string(GetLastError()) + ")");
  return true;
}

bool Click(HWND button) {
  if (!IsWindow(button)) return Fail("click: button is gone: " + Describe(button));
  if (!IsWindowVisible(button)) return Fail("click: button is hidden: " + Describe(button));
  if (!IsWindowEnabled(button)) return Fail("click: button is disabled: " + Describe(button));
  return Post(button, BM_CLICK);
}

bool ClickControl(HWND parent, int id) {
  HWND c = Control(parent, id);
  return c && Click(c);
}

bool ClickAndWait(HWND button, Ms timeout) {
  if (!IsWindow(button)) return Fail("click: button is gone: " + Describe(button));
  if (!IsWindowVisible(button)) return Fail("click: button is hidden: " + Describe(button));
  if (!IsWindowEnabled(button)) return Fail("click: button is disabled: " + Describe(button));
  return Send(button, BM_CLICK, 0, 0, timeout).has_value();
}

bool PostCommand(HWND window, int id) { return Post(window, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

bool IsEnabled(HWND window) { return IsWindow(window) && IsWindowEnabled(window); }
bool IsVisible(HWND window) { return IsWindow(window) && IsWindowVisible(window); }

int CheckState(HWND button) {
  std::optional<LRESULT> r = Send(button, BM_GETCHECK);
  return r ? static_cast<int>(*r) : -1;
}

RECT WindowRect(HWND window) {
  RECT r{};
  if (!GetWindowRect(window, &r)) Fail("no rectangle: " + Describe(window));
  return r;
}

RECT ClientRect(HWND window) {
  RECT r{};
  if (!GetClientRect(window, &r)) Fail("no client rectangle: " + Describe(window));
  return r;
}

RECT ClientRectOnScreen(HWND window) {
  RECT r = ClientRect(window);
  MapWindowPoints(window, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

HWND FocusOf(HWND window) {
  GUITHREADINFO gti{};
  gti.cbSize = sizeof gti;
  if (!GetGUIThreadInfo(ThreadOf(window), &gti)) {
    Fail("no thread information for " + Describe(window));
    return nullptr;
  }
  return gti.hwndFocus;
}

HWND ActiveOf(HWND window) {
  GUITHREADINFO gti{};
  gti.cbSize = sizeof gti;
  if (!GetGUIThreadInfo(ThreadOf(window), &gti)) {
    Fail("no thread information for " + Describe(window));
    return nullptr;
  }
  return gti.hwndActive;
}

// ---- Message boxes --------------------------------------------------------------------------

const char* IconName(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::None: return "none";
    case BoxIcon::Stop: return "stop";
    case BoxIcon::Exclamation: return "exclamation";
    case BoxIcon::Information: return "information";
    case BoxIcon::Question: return "question";
    case BoxIcon::Other: return "other";
    case BoxIcon::Unknown: break;
  }
  return "unknown";
}

namespace {
std::string WithoutAmpersands(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    else if (text[i] == '&') continue;
    out += text[i];
  }
  return out;
}

bool SameTextNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

BoxIcon IconFromWord(const std::string& word) {
  if (word == "none") return BoxIcon::None;
  if (word == "stop") return BoxIcon::Stop;
  if (word == "exclamation") return BoxIcon::Exclamation;
  if (word == "information") return BoxIcon::Information;
  if (word == "question") return BoxIcon::Question;
  if (word == "application" || word == "other") return BoxIcon::Other;
  return BoxIcon::Unknown;
}
}  // namespace

namespace {
// Dialogs of the programs are #32770 windows too, maybe with the same caption as their message
// boxes. A message box has only statics and buttons, one text, and buttons with the standard
// ids (IDOK to IDCONTINUE).
bool LooksLikeMessageBox(HWND w) {
  int texts = 0, buttons = 0;
  for (HWND c : ChildrenOf(w)) {
    if (GetParent(c) != w || !IsWindowVisible(c)) continue;
    const std::string cls = ClassOf(c);
    if (SameTextNoCase(cls, "Button")) {
      const int id = GetDlgCtrlID(c);
      if (id < IDOK || id > IDCONTINUE) return false;
      ++buttons;
    } else if (SameTextNoCase(cls, "Static")) {
      if ((GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) ++texts;
    } else {
      return false;
    }
  }
  return buttons > 0 && texts == 1;
}

std::vector<HWND> MessageBoxes(const std::string& caption, DWORD pid) {
  WindowQuery query;
  query.caption = caption;
  query.pid = pid;
  query.cls = "#32770";
  std::vector<HWND> boxes = FindTopWindows(query);
  boxes.erase(std::remove_if(boxes.begin(), boxes.end(), [](HWND h) { return !LooksLikeMessageBox(h); }), boxes.end());
  return boxes;
}
}  // namespace

HWND FindMessageBox(const std::string& caption, DWORD pid) {
  std::vector<HWND> boxes = MessageBoxes(caption, pid);
  if (boxes.empty()) {
    Fail("no message box " + Quote(caption) + (pid ? " of pid " + std::to_string(pid) : "") +
         "; visible windows: " + VisibleWindowList());
    return nullptr;
  }
  return boxes.front();
}

std::optional<MessageBoxInfo> ReadMessageBox(HWND box) {
  if (!IsWindow(box)) {
    Fail("message box is gone: " + Describe(box));
    return std::nullopt;
  }
  if (ClassOf(box) != "#32770") {
    Fail("not a message box: " + Describe(box));
    return std::nullopt;
  }
  MessageBoxInfo info;
  info.hwnd = box;
  info.caption = CaptionOf(box);
  HWND iconStatic = nullptr;
  HWND textStatic = nullptr;
  std::vector<std::pair<LONG, HWND>> buttons;
  for (HWND c : ChildrenOf(box)) {
    if (GetParent(c) != box || !IsWindowVisible(c)) continue;
    const std::string cls = ClassOf(c);
    const LONG style = GetWindowLongA(c, GWL_STYLE);
    if (SameTextNoCase(cls, "Static")) {
      if ((style & SS_TYPEMASK) == SS_ICON) iconStatic = c;
      // Windows and Wine give the text static the id 0xFFFF; otherwise take the first text.
      else if (GetDlgCtrlID(c) == 0xFFFF || !textStatic) textStatic = c;
    } else if (SameTextNoCase(cls, "Button")) {
      buttons.emplace_back(WindowRect(c).left, c);
    }
  }
  if (textStatic) info.text = Text(textStatic);
  std::sort(buttons.begin(), buttons.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& b : buttons) {
    info.buttons.push_back(WithoutAmpersands(Text(b.second)));
    info.buttonIds.push_back(GetDlgCtrlID(b.second));
  }
  if (!iconStatic) {
    info.icon = BoxIcon::None;
  } else if (std::optional<std::string> word = detail::Probe(iconStatic, probe::kIconKind, 5000)) {
    info.icon = IconFromWord(word->substr(0, word->find('\n')));
  } else {
    info.icon = BoxIcon::Unknown;  // LastError() says why the probe failed
  }
  return info;
}

std::optional<MessageBoxInfo> WaitMessageBox(const std::string& caption, Ms timeout, DWORD pid) {
  HWND box = nullptr;
  if (!WaitFor(
          [&] {
            std::vector<HWND> boxes = MessageBoxes(caption, pid);
            box = boxes.empty() ? nullptr : boxes.front();
            return box != nullptr;
          },
          timeout, "")) {
    Fail("no message box " + Quote(caption) + (pid ? " of pid " + std::to_string(pid) : "") + " within " +
         std::to_string(Scaled(timeout)) + " ms; visible windows: " + VisibleWindowList());
    return std::nullopt;
  }
  // The box is shown once its buttons and texts are in place.
  return ReadMessageBox(box);
}

bool DismissMessageBox(HWND box, const std::string& button, Ms timeout) {
  std::optional<MessageBoxInfo> info = ReadMessageBox(box);
  if (!info) return false;
  int id = -1;
  if (button.empty()) {
    std::optional<LRESULT> def = Send(box, DM_GETDEFID);
    if (def && HIWORD(*def) == DC_HASDEFID) id = LOWORD(*def);
    if (id < 0 && !info->buttonIds.empty()) id = info->buttonIds.front();
  } else {
    for (size_t i = 0; i < info->buttons.size(); ++i)
      if (SameTextNoCase(info->buttons[i], button)) id = info->buttonIds[i];
  }
  if (id < 0) {
    std::string names;
    for (const std::string& b : info->buttons) names += (names.empty() ? "" : ", ") + Quote(b);
    return Fail("message box " + Quote(info->caption) + " has no button " + Quote(button) + "; it has " + names);
  }
  HWND b = Control(box, id);
  if (!b || !Click(b)) return false;
  return WaitWindowGone(box, timeout);
}

}  // namespace uidriver
