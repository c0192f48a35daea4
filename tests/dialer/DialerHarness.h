// Shared by the dialer's end-to-end tests: the RAS simulator's configuration and state files
// in the test's own Wine prefix, starting TzDialer.exe against it, finding its dialog, and
// reading what it left behind (phonebook, dial parameters, call records, registry).
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "UiDriver.h"

namespace dialertest {

// Control and string identifiers of the dialer (as its resource script gives them).
enum : int {
  kUserName = 1000,
  kPassword = 1001,
  kSavePassword = 1002,
  kPictureFrame = 1003,
  kStatus = 1004,
  kDomain = 1005,
  kDomainLabel = 1006,
  kWebButton = 1008,
  kBuildInfo = 1009,
};

constexpr char kCaption[] = "Tessory Dialer";
constexpr char kEntry[] = "Tessory Connection";
constexpr char kConfigPath[] = "C:\\rassim.ini";
constexpr char kStateDir[] = "C:\\windows\\rassim\\";
constexpr char kProfileKey[] = "Software\\Velmora\\TzDialer\\Options";
constexpr char kMachineKey[] = "SOFTWARE\\Velmora\\Corvane";

// A device list with the Velmora adapter, a demo account and quick steps.
std::string StandardConfig(const std::string& extra = "", int stepMs = 60);

// Writes the simulator's configuration (read again at every call).
void WriteConfig(const std::string& ini);
// Forgets the simulator's state, the dialer's profile and the machine-wide values it reads.
void ResetState();

// --- the simulator's state files
std::string ReadStateFile(const char* name);  // "" when missing
using IniSections = std::map<std::string, std::map<std::string, std::string>>;
IniSections ParseIni(const std::string& text);
IniSections Phonebook();
IniSections DialParams();
IniSections Connections();
std::vector<std::string> CallLog();
// Lines of the call log that start with |function| followed by a blank.
std::vector<std::string> CallsOf(const std::string& function);
// Value of "key=value" (unquoted, quotes removed) in a call-log line; empty when absent.
std::string Field(const std::string& line, const std::string& key);
// Writes a phonebook entry as the simulator stores it.
void PresetEntry(const std::string& number, const std::string& deviceName, const std::string& deviceType);
void PresetDialParams(const std::string& user, const std::string& password, bool hasPassword);

// --- paths
// Windows path of a file of the source tree (TZ_ROOT seen through drive Z:).
std::string SourcePath(const std::string& relative);
// A fresh empty folder C:\<name>, for the dialer's working folder.
std::string MakeFolder(const std::string& name);
// Unix path of a Windows path (Wine's wine_get_unix_file_name); empty when unknown.
std::string UnixPath(const std::string& windowsPath);

// --- the dialer
struct DialerRun {
  uidriver::Process process;
  HWND dialog = nullptr;
};
struct DialerOptions {
  std::string args;
  std::string workDir;          // empty: a folder without a sign-in picture
  std::string windowsVersion = "winxp";
  std::string program = "TzDialer.exe";  // a bare name is taken from the bin folder
  std::vector<std::pair<std::string, std::string>> env;  // besides RASSIM_CONFIG
};
// Starts the dialer and waits for its main dialog (a "Tessory Dialer" window that has the
// user-name edit; message boxes share the caption).
DialerRun StartDialer(const DialerOptions& options = {});
HWND FindMainDialog(DWORD pid);
// Visible top-level windows of process |pid|, whatever their caption.
std::vector<HWND> VisibleTopWindows(DWORD pid);
// Waits until the start-up sequence has run (the status shows one of the three prompts).
bool WaitStartupDone(HWND dialog);

// A message box of the dialer's process: a "Tessory Dialer" (or |caption|) dialog without the
// main dialog's controls.
HWND WaitDialerBox(DWORD pid, const std::string& caption = kCaption, uidriver::Ms timeout = uidriver::kTimeout);

// Marks left by the test stand-in program (TzMark.exe, copied as RASMON.EXE and used as the
// web browser): one line "<program name>|<command line>" per start.
constexpr char kMarksFile[] = "C:\\tz-marks.txt";
std::vector<std::string> Marks();
// Copies the stand-in to |windowsPath|.
bool InstallMark(const std::string& windowsPath);

bool WaitEnabled(HWND control, bool enabled, uidriver::Ms timeout = uidriver::kTimeout);
// All five inputs (user name, password, domain, Save password, Connect) enabled or disabled.
bool InputsEnabled(HWND dialog);
bool InputsDisabled(HWND dialog);

// Records every distinct text the status edit shows, in order, on a thread of its own.
class StatusRecorder {
 public:
  explicit StatusRecorder(HWND dialog);
  ~StatusRecorder();
  StatusRecorder(const StatusRecorder&) = delete;
  StatusRecorder& operator=(const StatusRecorder&) = delete;
  std::vector<std::string> Stop();

 private:
  static DWORD WINAPI Run(void* self);
  HWND m_status;
  HANDLE m_thread = nullptr;
  volatile LONG m_stop = 0;
  CRITICAL_SECTION m_cs;
  std::vector<std::string> m_texts;
};

// Listens for X bells (MessageBeep under Wine rings the X display's bell) through the X
// server's XKB event daemon, which comes with the X server packages; a named bell from the
// same package's xkbbell is its fence. Available() is false when it cannot be started; the
// observer ends by itself after |seconds|.
class BellObserver {
 public:
  explicit BellObserver(int seconds = 60);
  bool Available() const { return m_available; }
  // Bells heard since the last Reset.
  int Count() const;
  // Returns once every bell rung so far has been heard; false when the observer stopped
  // answering.
  [[nodiscard]] bool Settle();
  // Settles, then counts afresh.
  [[nodiscard]] bool Reset();

 private:
  static constexpr char kFenceBell[] = "tzfence";
  int Lines(const char* mark) const;
  int m_base = 0;
  bool m_available = false;
  std::string m_marks;  // Windows path of the file the daemon appends a line to per bell
};

std::string Join(const std::vector<std::string>& lines);

}  // namespace dialertest
