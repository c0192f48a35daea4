#include "DialerHarness.h"

#include <cstring>
#include <sstream>

namespace dialertest {

using namespace uidriver;

namespace {

std::string EnvVar(const char* name) {
  char buf[2048];
  DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
  return (n == 0 || n >= sizeof buf) ? std::string() : std::string(buf, n);
}

bool WriteFileText(const std::string& path, const std::string& text) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(f);
  return ok && written == text.size();
}

std::string Trimmed(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

}  // namespace

std::string StandardConfig(const std::string& extra, int stepMs) {
  return "[Devices]\n"
         "Device1=Standard Modem|modem\n"
         "Device2=Velmora PPPoE Adapter|vpn\n"
         "[Accounts]\n"
         "demo=tessory\n"
         "[Timing]\n"
         "StepMs=" +
         std::to_string(stepMs) + "\n" + extra;
}

void WriteConfig(const std::string& ini) { WriteFileText(kConfigPath, ini); }

void ResetState() {
  for (const char* f : {"phonebook.ini", "dialparams.ini", "connections.ini", "calls.log"}) {
    DeleteFileA((std::string(kStateDir) + f).c_str());
  }
  DeleteRegTree(HKEY_CURRENT_USER, "Software\\Velmora");
  DeleteRegTree(HKEY_LOCAL_MACHINE, kMachineKey);
  DeleteFileA(kConfigPath);
  DeleteFileA(kMarksFile);
}

std::string ReadStateFile(const char* name) {
  return ReadTextFile(std::string(kStateDir) + name).value_or("");
}

IniSections ParseIni(const std::string& text) {
  IniSections out;
  std::string section;
  for (const std::string& raw : SplitLines(text)) {
    std::string line = Trimmed(raw);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
      out[section];
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    out[section][Trimmed(line.substr(0, eq))] = Trimmed(line.substr(eq + 1));
  }
  return out;
}

IniSections Phonebook() { return ParseIni(ReadStateFile("phonebook.ini")); }
IniSections DialParams() { return ParseIni(ReadStateFile("dialparams.ini")); }
IniSections Connections() { return ParseIni(ReadStateFile("connections.ini")); }
std::vector<std::string> CallLog() { return SplitLines(ReadStateFile("calls.log")); }

std::vector<std::string> CallsOf(const std::string& function) {
  std::vector<std::string> out;
  for (const std::string& line : CallLog()) {
    if (line.rfind(function + " ", 0) == 0) out.push_back(line);
  }
  return out;
}

std::string Field(const std::string& line, const std::string& key) {
  size_t at = 0;
  const std::string needle = " " + key + "=";
  at = line.find(needle);
  if (at == std::string::npos) return "";
  at += needle.size();
  if (at < line.size() && line[at] == '"') {
    std::string value;
    for (size_t i = at + 1; i < line.size() && line[i] != '"'; ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) ++i;
      value += line[i];
    }
    return value;
  }
  size_t end = line.find(' ', at);
  return line.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

void PresetEntry(const std::string& number, const std::string& deviceName, const std::string& deviceType) {
  CreateDirectoryA(kStateDir, nullptr);
  std::string s = std::string("[") + kEntry + "]\n" +
                  "dwfOptions=16\ndwCountryID=0\ndwCountryCode=0\nszAreaCode=\n"
                  "szLocalPhoneNumber=" + number + "\n"
                  "ipaddr=0.0.0.0\nipaddrDns=0.0.0.0\nipaddrDnsAlt=0.0.0.0\nipaddrWins=0.0.0.0\n"
                  "ipaddrWinsAlt=0.0.0.0\ndwFrameSize=0\ndwfNetProtocols=4\ndwFramingProtocol=1\n"
                  "szScript=\nszAutodialDll=\nszAutodialFunc=\n"
                  "szDeviceType=" + deviceType + "\nszDeviceName=" + deviceName + "\n"
                  "szX25PadType=\nszX25Address=\nszX25Facilities=\nszX25UserData=\n"
                  "dwChannels=0\ndwReserved1=0\ndwReserved2=0\nAlternatePhoneNumbers=\nDeviceInfo=\nRecordSize=1768\n";
  WriteFileText(std::string(kStateDir) + "phonebook.ini", s);
}

void PresetDialParams(const std::string& user, const std::string& password, bool hasPassword) {
  CreateDirectoryA(kStateDir, nullptr);
  WriteFileText(std::string(kStateDir) + "dialparams.ini", std::string("[") + kEntry + "]\nUserName=" + user +
                                                               "\nPassword=" + password +
                                                               "\nHasPassword=" + (hasPassword ? "1" : "0") + "\n");
}

std::string SourcePath(const std::string& relative) {
  std::string root = EnvVar("TZ_ROOT");
  std::string path = "Z:" + root + "/" + relative;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string MakeFolder(const std::string& name) {
  std::string dir = "C:\\" + name;
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

std::string UnixPath(const std::string& windowsPath) {
  using Fn = char*(CDECL*)(const WCHAR*);
  auto fn = reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (fn == nullptr) return "";
  WCHAR wide[MAX_PATH];
  if (MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH) == 0) return "";
  char* unix = fn(wide);
  if (unix == nullptr) return "";
  std::string out = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return out;
}

HWND FindMainDialog(DWORD pid) {
  WindowQuery spec;
  spec.caption = kCaption;
  spec.pid = pid;
  spec.cls = "#32770";
  for (HWND w : FindTopWindows(spec)) {
    if (GetDlgItem(w, kUserName) != nullptr) return w;
  }
  return nullptr;
}

std::vector<HWND> VisibleTopWindows(DWORD pid) {
  std::vector<HWND> found;
  for (HWND w : TopWindows())
    if (PidOf(w) == pid && IsWindowVisible(w)) found.push_back(w);
  return found;
}

DialerRun StartDialer(const DialerOptions& options) {
  DialerRun run;
  LaunchOptions launch;
  launch.args = options.args;
  launch.workDir = options.workDir.empty() ? MakeFolder("dialer-cwd") : options.workDir;
  launch.windowsVersion = options.windowsVersion;
  launch.env.push_back({"RASSIM_CONFIG", kConfigPath});
  launch.env.insert(launch.env.end(), options.env.begin(), options.env.end());
  run.process = Launch(options.program, launch);
  if (!run.process) return run;
  const DWORD pid = run.process.Pid();
  WaitFor([&] { return (run.dialog = FindMainDialog(pid)) != nullptr; }, kTimeout, "main dialog of the dialer");
  return run;
}

bool WaitStartupDone(HWND dialog) {
  const std::string pid = std::to_string(PidOf(dialog));
  bool seen = WaitFor(
      [&] {
        for (const std::string& line : CallsOf("RasValidateEntryNameA")) {
          if (Field(line, "pid") == pid) return true;
        }
        return false;
      },
      kTimeout, "the dialer's start-up in the call log");
  // The start-up runs in one message handler: once a sent message has been answered, it is
  // over (or a message box of it is up).
  return seen && Send(dialog, WM_NULL).has_value();
}

HWND WaitDialerBox(DWORD pid, const std::string& caption, Ms timeout) {
  HWND box = nullptr;
  WindowQuery spec;
  spec.caption = caption;
  spec.pid = pid;
  spec.cls = "#32770";
  WaitFor(
      [&] {
        for (HWND w : FindTopWindows(spec)) {
          if (GetDlgItem(w, kUserName) == nullptr) {
            box = w;
            return true;
          }
        }
        return false;
      },
      timeout, "message box \"" + caption + "\"");
  return box;
}

std::vector<std::string> Marks() { return SplitLines(ReadTextFile(kMarksFile).value_or("")); }

bool InstallMark(const std::string& windowsPath) {
  return CopyFileA(BinPath("TzMark.exe").c_str(), windowsPath.c_str(), FALSE) != 0;
}

bool WaitEnabled(HWND control, bool enabled, Ms timeout) {
  return WaitFor([&] { return IsEnabled(control) == enabled; }, timeout,
                 Describe(control) + (enabled ? " enabled" : " disabled"));
}

bool InputsEnabled(HWND dialog) {
  for (int id : {int(kUserName), int(kPassword), int(kDomain), int(kSavePassword), IDOK}) {
    if (!IsEnabled(GetDlgItem(dialog, id))) return false;
  }
  return true;
}

bool InputsDisabled(HWND dialog) {
  for (int id : {int(kUserName), int(kPassword), int(kDomain), int(kSavePassword), IDOK}) {
    if (IsEnabled(GetDlgItem(dialog, id))) return false;
  }
  return true;
}

StatusRecorder::StatusRecorder(HWND dialog) : m_status(GetDlgItem(dialog, kStatus)) {
  InitializeCriticalSection(&m_cs);
  m_thread = CreateThread(nullptr, 0, &StatusRecorder::Run, this, 0, nullptr);
}

StatusRecorder::~StatusRecorder() {
  Stop();
  DeleteCriticalSection(&m_cs);
}

DWORD WINAPI StatusRecorder::Run(void* self) {
  auto* r = static_cast<StatusRecorder*>(self);
  while (InterlockedCompareExchange(&r->m_stop, 0, 0) == 0) {
    char buf[512] = {};
    DWORD_PTR got = 0;
    if (SendMessageTimeoutA(r->m_status, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG,
                            2000, &got)) {
      std::string text(buf, got < sizeof buf ? got : sizeof buf - 1);
      EnterCriticalSection(&r->m_cs);
      if (r->m_texts.empty() || r->m_texts.back() != text) r->m_texts.push_back(text);
      LeaveCriticalSection(&r->m_cs);
    } else if (!IsWindow(r->m_status)) {
      break;
    }
    Sleep(2);
  }
  return 0;
}

std::vector<std::string> StatusRecorder::Stop() {
  if (m_thread != nullptr) {
    InterlockedExchange(&m_stop, 1);
    WaitForSingleObject(m_thread, 10000);
    CloseHandle(m_thread);
    m_thread = nullptr;
  }
  EnterCriticalSection(&m_cs);
  std::vector<std::string> out = m_texts;
  LeaveCriticalSection(&m_cs);
  return out;
}

BellObserver::BellObserver(int seconds) {
  const std::string dir = MakeFolder("tz-bells");
  m_marks = dir + "\\bells.txt";
  const std::string config = dir + "\\xkbevd.cf";
  const std::string unixMarks = UnixPath(m_marks), unixConfig = UnixPath(config);
  if (unixMarks.empty() || unixConfig.empty()) return;
  for (const char* tool : {"xkbevd", "xkbbell", "timeout"}) {
    if (GetFileAttributesA((std::string("Z:\\usr\\bin\\") + tool).c_str()) == INVALID_FILE_ATTRIBUTES) return;
  }
  // Wine's beeps are nameless bells; the fence is a bell named for it (see Reset).
  WriteFileText(config, "Bell(" + std::string(kFenceBell) + ") shell \"echo FENCE >> '" + unixMarks + "'\"\n" +
                            "Bell() shell \"echo BELL >> '" + unixMarks + "'\"\n");
  DeleteFileA(m_marks.c_str());
  // Wine starts Unix programs through CreateProcess; the daemon inherits DISPLAY. `timeout`
  // ends it however the test ends.
  std::string cmd = "Z:\\usr\\bin\\timeout " + std::to_string(seconds) + " /usr/bin/xkbevd -cfg \"" + unixConfig + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
  if (pi.hThread) CloseHandle(pi.hThread);
  if (pi.hProcess) CloseHandle(pi.hProcess);
  // Ring ourselves until the daemon is seen listening. Wine's X11 driver rings on its GDI
  // display connection without flushing it; reading a screen pixel makes the round trip that
  // sends the bell at once, so that no bell of ours is left over for later.
  m_available = WaitFor(
      [&] {
        MessageBeep(MB_OK);
        HDC screen = GetDC(nullptr);
        GetPixel(screen, 0, 0);
        ReleaseDC(nullptr, screen);
        return WaitFor([&] { return Count() > 0; }, 400, "bell");
      },
      8000, "the X bell observer");
  if (m_available) m_available = Reset();
}

int BellObserver::Count() const { return Lines("BELL") - m_base; }

int BellObserver::Lines(const char* mark) const {
  int n = 0;
  for (const std::string& line : SplitLines(ReadTextFile(m_marks).value_or(""))) n += line == mark;
  return n;
}

bool BellObserver::Settle() {
  // The daemon handles bells in the order the X server had them, one shell at a time: once
  // the fence's line is in the file, so is every bell rung before it (ours went out with a
  // round trip, and a program that has ended rings no more).
  const int fences = Lines("FENCE");
  std::string cmd = std::string("Z:\\usr\\bin\\xkbbell -nobeep ") + kFenceBell;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  if (pi.hThread) CloseHandle(pi.hThread);
  if (pi.hProcess) CloseHandle(pi.hProcess);
  return WaitFor([&] { return Lines("FENCE") > fences; }, 8000, "the bell fence");
}

bool BellObserver::Reset() {
  if (!Settle()) return false;
  m_base = Lines("BELL");
  return true;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += "  [" + l + "]\n";
  return out;
}

}  // namespace dialertest
