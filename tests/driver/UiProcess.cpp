// Processes, registry, files and screenshots.
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "DriverInternal.h"
#include "UiDriver.h"

namespace uidriver {

using namespace detail;

namespace {

bool SameNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string FileNameOf(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string EnvVar(const char* name) {
  char buf[1024];
  DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
  if (n == 0 || n >= sizeof buf) return "";
  return std::string(buf, n);
}

// The driver's environment with `extra` added or replaced (names compare without case, as
// Windows does), as a block for CreateProcessA.
std::string EnvironmentBlock(const std::vector<std::pair<std::string, std::string>>& extra) {
  std::vector<std::string> vars;
  if (char* env = GetEnvironmentStringsA()) {
    for (const char* p = env; *p; p += std::strlen(p) + 1) vars.emplace_back(p);
    FreeEnvironmentStringsA(env);
  }
  for (const auto& [name, value] : extra) {
    vars.erase(std::remove_if(vars.begin(), vars.end(),
                              [&](const std::string& v) {
                                // Entries such as "=C:=C:\" start with '=': never a match.
                                size_t eq = v.find('=', 1);
                                return eq != std::string::npos && SameNoCase(v.substr(0, eq), name);
                              }),
               vars.end());
    vars.push_back(name + "=" + value);
  }
  std::string block;
  for (const std::string& v : vars) block += v + '\0';
  block += '\0';
  return block;
}

}  // namespace

// ---- Process --------------------------------------------------------------------------------

Process::Process(HANDLE process, DWORD pid, std::string name) : handle_(process), pid_(pid), name_(std::move(name)) {}

Process::Process(Process&& other) noexcept
    : handle_(other.handle_), pid_(other.pid_), name_(std::move(other.name_)), detached_(other.detached_) {
  other.handle_ = nullptr;
  other.pid_ = 0;
}

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    Reset();
    handle_ = other.handle_;
    pid_ = other.pid_;
    name_ = std::move(other.name_);
    detached_ = other.detached_;
    other.handle_ = nullptr;
    other.pid_ = 0;
  }
  return *this;
}

Process::~Process() { Reset(); }

void Process::Reset() {
  if (handle_ && !detached_ && Running()) Kill();
  if (handle_) CloseHandle(handle_);
  handle_ = nullptr;
  pid_ = 0;
}

bool Process::Running() const { return handle_ && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT; }

std::optional<DWORD> Process::WaitExit(Ms timeout) {
  if (!handle_) {
    Fail("no process to wait for");
    return std::nullopt;
  }
  if (WaitForSingleObject(handle_, Scaled(timeout)) != WAIT_OBJECT_0) {
    Fail(name_ + " (pid " + std::to_string(pid_) + ") still running after " + std::to_string(Scaled(timeout)) +
         " ms; its visible windows: " + VisibleWindowList(pid_));
    return std::nullopt;
  }
  DWORD code = 0;
  GetExitCodeProcess(handle_, &code);
  return code;
}

bool Process::Kill() {
  if (!handle_) return Fail("no process to kill");
  if (!Running()) return true;
  TerminateProcess(handle_, 1);
  if (WaitForSingleObject(handle_, 5000) != WAIT_OBJECT_0)
    return Fail(name_ + " (pid " + std::to_string(pid_) + ") did not end after TerminateProcess");
  return true;
}

void Process::Detach() { detached_ = true; }

// ---- Launching ------------------------------------------------------------------------------

std::string BinDir() {
  std::string dir = EnvVar("TZ_BIN_DIR");
  if (dir.empty()) {
    char self[MAX_PATH] = "";
    DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
    if (n > 0 && n < sizeof self) dir = FolderOf(std::string(self, n));
  }
  while (!dir.empty() && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
  return dir;
}

std::string BinPath(const std::string& file) { return BinDir() + "\\" + file; }

Process Launch(const std::string& program, const LaunchOptions& options) {
  const std::string path = program.find_first_of("\\/") == std::string::npos ? BinPath(program) : program;
  const std::string exe = FileNameOf(path);
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    Fail("cannot launch " + Quote(path) + ": no such file");
    return {};
  }
  const std::string versionKey = "Software\\Wine\\AppDefaults\\" + exe;
  if (!options.windowsVersion.empty()) {
    if (!SetRegString(HKEY_CURRENT_USER, versionKey, "Version", options.windowsVersion)) return {};
  } else if (!DeleteRegValue(HKEY_CURRENT_USER, versionKey, "Version")) {
    return {};
  }
  std::string cmd = "\"" + path + "\"";
  if (!options.args.empty()) cmd += " " + options.args;
  std::string dir = options.workDir.empty() ? FolderOf(path) : options.workDir;
  std::string desktop = options.desktop.empty() ? CurrentDesktop() : options.desktop;
  std::string env = EnvironmentBlock(options.env);

  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.lpDesktop = desktop.empty() ? nullptr : desktop.data();
  HANDLE nul = INVALID_HANDLE_VALUE;
  if (!options.keepOutput) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);
    if (nul != INVALID_HANDLE_VALUE) {
      si.dwFlags |= STARTF_USESTDHANDLES;
      si.hStdInput = si.hStdOutput = si.hStdError = nul;
    }
  }
  PROCESS_INFORMATION pi{};
  BOOL started = FALSE;
  DWORD err = 0;
  // Wine only: when the new process dies in Wine's own start-up, before any of its code runs
  // (the preloader cannot reserve its address range, the exec fails under load), CreateProcess
  // fails with ERROR_INTERNAL_ERROR. Windows never reports that, and a program of ours that
  // fails to load gives a status of its own (a missing DLL, an entry point), so only this
  // error is tried again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (attempt > 0) Sleep(200);
    started = CreateProcessA(path.c_str(), cmd.data(), nullptr, nullptr, nul != INVALID_HANDLE_VALUE, 0, env.data(),
                             dir.empty() ? nullptr : dir.c_str(), &si, &pi);
    err = GetLastError();
    if (started || err != ERROR_INTERNAL_ERROR) break;
  }
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  if (!started) {
    Fail("cannot launch " + Quote(cmd) + " in " + Quote(dir) + " (error " + std::to_string(err) + ")");
    return {};
  }
  CloseHandle(pi.hThread);
  return Process(pi.hProcess, pi.dwProcessId, exe);
}

std::vector<DWORD> ProcessesNamed(const std::string& exeName) {
  std::vector<DWORD> pids;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) {
    Fail("no process snapshot (error " + std::to_string(GetLastError()) + ")");
    return pids;
  }
  PROCESSENTRY32 pe{};
  pe.dwSize = sizeof pe;
  for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe)) {
    pe.szExeFile[sizeof pe.szExeFile - 1] = 0;
    if (pe.th32ProcessID != GetCurrentProcessId() && SameNoCase(FileNameOf(pe.szExeFile), exeName))
      pids.push_back(pe.th32ProcessID);
  }
  CloseHandle(snap);
  return pids;
}

int KillAllNamed(const std::string& exeName) {
  int killed = 0;
  for (DWORD pid : ProcessesNamed(exeName)) {
    HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!h) continue;
    if (TerminateProcess(h, 1) && WaitForSingleObject(h, 5000) == WAIT_OBJECT_0) ++killed;
    CloseHandle(h);
  }
  return killed;
}

// ---- Registry -------------------------------------------------------------------------------

namespace {
std::string RootName(HKEY root) {
  if (root == HKEY_LOCAL_MACHINE) return "HKLM";
  if (root == HKEY_CURRENT_USER) return "HKCU";
  if (root == HKEY_CLASSES_ROOT) return "HKCR";
  if (root == HKEY_USERS) return "HKU";
  return "HKEY";
}

std::string ValuePath(HKEY root, const std::string& key, const std::string& name) {
  return RootName(root) + "\\" + key + " " + Quote(name);
}

bool SetValue(HKEY root, const std::string& key, const std::string& name, DWORD type, const void* data, DWORD size) {
  HKEY k = nullptr;
  LONG r = RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr);
  if (r != ERROR_SUCCESS) return Fail("cannot create " + RootName(root) + "\\" + key + " (error " + std::to_string(r) + ")");
  r = RegSetValueExA(k, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
  RegFlushKey(k);
  RegCloseKey(k);
  if (r != ERROR_SUCCESS) return Fail("cannot write " + ValuePath(root, key, name) + " (error " + std::to_string(r) + ")");
  return true;
}
}  // namespace

bool SetRegString(HKEY root, const std::string& key, const std::string& name, const std::string& value) {
  return SetValue(root, key, name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

bool SetRegDword(HKEY root, const std::string& key, const std::string& name, DWORD value) {
  return SetValue(root, key, name, REG_DWORD, &value, sizeof value);
}

std::optional<std::string> GetRegString(HKEY root, const std::string& key, const std::string& name) {
  HKEY k = nullptr;
  LONG r = RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &k);
  if (r != ERROR_SUCCESS) {
    Fail("no key " + RootName(root) + "\\" + key + " (error " + std::to_string(r) + ")");
    return std::nullopt;
  }
  DWORD type = 0, size = 0;
  r = RegQueryValueExA(k, name.c_str(), nullptr, &type, nullptr, &size);
  std::string data;
  if (r == ERROR_SUCCESS) {
    data.resize(size);
    r = RegQueryValueExA(k, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
  }
  RegCloseKey(k);
  if (r != ERROR_SUCCESS) {
    Fail("no value " + ValuePath(root, key, name) + " (error " + std::to_string(r) + ")");
    return std::nullopt;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) {
    Fail(ValuePath(root, key, name) + " has type " + std::to_string(type) + ", not a string");
    return std::nullopt;
  }
  data.resize(std::min<size_t>(size, data.size()));
  size_t zero = data.find('\0');
  if (zero != std::string::npos) data.resize(zero);
  return data;
}

std::optional<DWORD> GetRegDword(HKEY root, const std::string& key, const std::string& name) {
  DWORD value = 0, size = sizeof value, type = 0;
  HKEY k = nullptr;
  LONG r = RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &k);
  if (r == ERROR_SUCCESS) {
    r = RegQueryValueExA(k, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(k);
  }
  if (r != ERROR_SUCCESS) {
    Fail("no value " + ValuePath(root, key, name) + " (error " + std::to_string(r) + ")");
    return std::nullopt;
  }
  if (type != REG_DWORD || size != sizeof value) {
    Fail(ValuePath(root, key, name) + " has type " + std::to_string(type) + " and " + std::to_string(size) + " bytes, not a DWORD");
    return std::nullopt;
  }
  return value;
}

bool DeleteRegValue(HKEY root, const std::string& key, const std::string& name) {
  HKEY k = nullptr;
  LONG r = RegOpenKeyExA(root, key.c_str(), 0, KEY_SET_VALUE, &k);
  if (r == ERROR_FILE_NOT_FOUND) return true;
  if (r != ERROR_SUCCESS) return Fail("cannot open " + RootName(root) + "\\" + key + " (error " + std::to_string(r) + ")");
  r = RegDeleteValueA(k, name.c_str());
  RegFlushKey(k);
  RegCloseKey(k);
  if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND)
    return Fail("cannot delete " + ValuePath(root, key, name) + " (error " + std::to_string(r) + ")");
  return true;
}

bool DeleteRegTree(HKEY root, const std::string& key) {
  LONG r = RegDeleteTreeA(root, key.c_str());
  if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND)
    return Fail("cannot delete " + RootName(root) + "\\" + key + " (error " + std::to_string(r) + ")");
  return true;
}

// ---- Files ----------------------------------------------------------------------------------

std::optional<std::string> ReadTextFile(const std::string& path, size_t maxBytes) {
  // Share everything: the program under test may be writing the file right now.
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    Fail("cannot open " + Quote(path) + " (error " + std::to_string(GetLastError()) + ")");
    return std::nullopt;
  }
  std::string data;
  char buf[4096];
  DWORD got = 0;
  bool tooBig = false;
  while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0) {
    if (data.size() + got > maxBytes) {
      tooBig = true;
      break;
    }
    data.append(buf, got);
  }
  CloseHandle(f);
  if (tooBig) {
    Fail(Quote(path) + " holds more than " + std::to_string(maxBytes) + " bytes");
    return std::nullopt;
  }
  return data;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

bool WaitFileLine(const std::string& path, const std::string& line, Ms timeout) {
  std::string last;
  bool found = WaitFor(
      [&] {
        std::optional<std::string> text = ReadTextFile(path);
        if (!text) return false;
        last = *text;
        std::vector<std::string> lines = SplitLines(*text);
        return std::find(lines.begin(), lines.end(), line) != lines.end();
      },
      timeout, "");
  if (found) return true;
  std::vector<std::string> lines = SplitLines(last);
  std::string tail;
  for (size_t i = lines.size() > 5 ? lines.size() - 5 : 0; i < lines.size(); ++i) tail += (tail.empty() ? "" : " | ") + lines[i];
  return Fail("no line " + Quote(line) + " in " + Quote(path) + " after " + std::to_string(Scaled(timeout)) + " ms; " +
              (last.empty() ? std::string("the file is empty or missing") : "last lines: " + tail));
}

// ---- Screenshots ----------------------------------------------------------------------------

namespace {
// A window just shown may still be painting: let every shown window finish its pending paints
// first (a hung one is skipped after a short wait).
void FinishPainting() {
  for (HWND h : TopWindows()) {
    DWORD_PTR ignored = 0;
    if (IsWindowVisible(h) && SendMessageTimeoutA(h, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored))
      RedrawWindow(h, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  }
}
}  // namespace

bool SaveScreenshot(const std::string& bmpPath, HWND window) {
  FinishPainting();
  RECT r{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (window && !GetWindowRect(window, &r)) return Fail("screenshot: no rectangle for " + Describe(window));
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return Fail("screenshot: empty rectangle");
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;  // bottom-up, as a .bmp file stores it
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (dib && bits) {
    HGDIOBJ old = SelectObject(mem, dib);
    ok = BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY | CAPTUREBLT);
    GdiFlush();
    SelectObject(mem, old);
  }
  const DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) & ~3u);
  const DWORD imageSize = stride * static_cast<DWORD>(h);
  bool written = false;
  if (ok) {
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;  // "BM"
    fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
    fh.bfSize = fh.bfOffBits + imageSize;
    HANDLE f = CreateFileA(bmpPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
      DWORD n1 = 0, n2 = 0, n3 = 0;
      written = WriteFile(f, &fh, sizeof fh, &n1, nullptr) && WriteFile(f, &bi.bmiHeader, sizeof bi.bmiHeader, &n2, nullptr) &&
                WriteFile(f, bits, imageSize, &n3, nullptr) && n3 == imageSize;
      CloseHandle(f);
    }
  }
  if (dib) DeleteObject(dib);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  if (!ok) return Fail("screenshot: BitBlt from the desktop failed");
  if (!written) return Fail("screenshot: cannot write " + Quote(bmpPath));
  return true;
}

}  // namespace uidriver
