// Measuring tool of scripts/bench, built by it with the i686 compiler and run under Wine.
//
//   tzbench ready RUNS CAPTION HIDDEN COMMAND-LINE
//       Starts COMMAND-LINE RUNS times. Each time measures from CreateProcess to "ready": a
//       top-level window of that process with caption CAPTION (visible, unless HIDDEN is 1)
//       that answers a sent message, i.e. whose thread runs a message loop. Then closes it
//       (WM_CLOSE, or ends the process after 3 s). Prints the median in milliseconds.
//   tzbench idle SECONDS CAPTION HIDDEN COMMAND-LINE
//       Starts the program once, waits until it is ready and 2 s more, then prints the CPU it
//       uses over SECONDS as a percentage of one processor.
//   tzbench dialog MODULE ID
//       The minimal dialog program: shows dialog template ID of MODULE (loaded as data only),
//       with a dialog procedure that does nothing but close.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Target {
  DWORD pid;
  const char* caption;
  bool hidden;
  HWND found;
};

BOOL CALLBACK FindTarget(HWND wnd, LPARAM param) {
  auto* t = reinterpret_cast<Target*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  if (pid != t->pid) return TRUE;
  if (!t->hidden && !IsWindowVisible(wnd)) return TRUE;
  char text[256] = "";
  GetWindowTextA(wnd, text, sizeof text);
  if (std::string(text) != t->caption) return TRUE;
  t->found = wnd;
  return FALSE;
}

double Now() {
  static LARGE_INTEGER freq = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
}

// Starts the program and waits (up to 60 s) until it is ready; returns the milliseconds, or a
// negative number. pi receives the process.
double StartAndWaitReady(const std::string& commandLine, const char* caption, bool hidden, PROCESS_INFORMATION& pi,
                         HWND& window) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  std::vector<char> cmd(commandLine.begin(), commandLine.end());
  cmd.push_back('\0');
  double t0 = Now();
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
  Target t{pi.dwProcessId, caption, hidden, nullptr};
  while (Now() - t0 < 60000) {
    t.found = nullptr;
    EnumWindows(FindTarget, reinterpret_cast<LPARAM>(&t));
    DWORD_PTR result = 0;
    if (t.found != nullptr && SendMessageTimeoutA(t.found, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result)) {
      window = t.found;
      return Now() - t0;
    }
    if (WaitForSingleObject(pi.hProcess, 2) == WAIT_OBJECT_0) return -2;
  }
  return -3;
}

void Close(PROCESS_INFORMATION& pi, HWND window) {
  PostMessageA(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(pi.hProcess, 3000) != WAIT_OBJECT_0) {
    TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, 5000);
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}

INT_PTR CALLBACK BareDialog(HWND dlg, UINT msg, WPARAM wParam, LPARAM) {
  if (msg == WM_INITDIALOG) return TRUE;
  if (msg == WM_CLOSE || (msg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL))) {
    EndDialog(dlg, 0);
    return TRUE;
  }
  return FALSE;
}

std::string Rest(int argc, char** argv, int from) {
  std::string line;
  for (int i = from; i < argc; ++i) {
    if (!line.empty()) line += ' ';
    line += argv[i];
  }
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  std::string cmd = argc > 1 ? argv[1] : "";
  if (cmd == "dialog" && argc == 4) {
    HMODULE module = LoadLibraryExA(argv[2], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) return 2;
    return DialogBoxParamA(module, MAKEINTRESOURCEA(std::atoi(argv[3])), nullptr, BareDialog, 0) == -1 ? 3 : 0;
  }
  if ((cmd == "ready" || cmd == "idle") && argc >= 6) {
    int count = std::max(1, std::atoi(argv[2]));
    const char* caption = argv[3];
    bool hidden = std::atoi(argv[4]) != 0;
    std::string line = Rest(argc, argv, 5);
    if (cmd == "ready") {
      std::vector<double> times;
      for (int i = 0; i < count; ++i) {
        PROCESS_INFORMATION pi{};
        HWND window = nullptr;
        double ms = StartAndWaitReady(line, caption, hidden, pi, window);
        if (ms < 0) {
          std::fprintf(stderr, "tzbench: %s did not get ready (%.0f)\n", line.c_str(), ms);
          return 1;
        }
        times.push_back(ms);
        Close(pi, window);
      }
      std::sort(times.begin(), times.end());
      std::printf("%.0f\n", times[times.size() / 2]);
      return 0;
    }
    PROCESS_INFORMATION pi{};
    HWND window = nullptr;
    if (StartAndWaitReady(line, caption, hidden, pi, window) < 0) return 1;
    Sleep(2000);
    FILETIME created, ended, kernel0, user0, kernel1, user1;
    GetProcessTimes(pi.hProcess, &created, &ended, &kernel0, &user0);
    double t0 = Now();
    Sleep(static_cast<DWORD>(count) * 1000);
    GetProcessTimes(pi.hProcess, &created, &ended, &kernel1, &user1);
    double wall = Now() - t0;
    auto ticks = [](const FILETIME& f) { return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    double cpuMs = static_cast<double>((ticks(kernel1) - ticks(kernel0)) + (ticks(user1) - ticks(user0))) / 10000.0;
    std::printf("%.2f\n", 100.0 * cpuMs / wall);
    Close(pi, window);
    return 0;
  }
  std::fprintf(stderr, "usage: tzbench ready RUNS CAPTION HIDDEN CMD... | idle SECONDS CAPTION HIDDEN CMD... | dialog MODULE ID\n");
  return 2;
}
