#include "CORVANE.h"

#include <new>

#include "ABOUT_DLG.h"
#include "CORVANE_DOC.h"
#include "CORVANE_VIEW.h"
#include "MAIN_FRAME.h"
#include "SettingsStore.h"
#include "ComponentCall.h"
#include "SetupUtilsTable.h"
#include "SystemRestart.h"
#include "TzOSControl.h"
#include "res/resource.h"

CORVANE theApp;

namespace {
const char kMutexName[] = "Corvane_Mutex";
const char kProgramName[] = "Corvane";
const char kRuntimeFileName[] = "Tessory_Runtime.txt";
const char kAdapterMarker[] = "Velmora Tolvek";
const char kMtuFlagValue[] = "IPMTUNTFlag";
constexpr DWORD kInstanceWaitMs = 1000;
constexpr DWORD kReadyDelayMs = 15000;
constexpr DWORD kNt4Mtu = 1400;
}  // namespace

BEGIN_MESSAGE_MAP(CORVANE, CWinApp)
  ON_COMMAND(ID_APP_ABOUT_CMD, &CORVANE::OnAppAbout)
  ON_COMMAND(ID_FILE_NEW_CMD, &CWinApp::OnFileNew)
  ON_COMMAND(ID_FILE_OPEN_CMD, &CWinApp::OnFileOpen)
END_MESSAGE_MAP()

BOOL CORVANE::InitInstance() {
  // 1. The program's folder is the working folder: the help file is found by its bare name.
  char path[1000];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof(path));
  std::string folder = fw::FromBuffer(path, n < sizeof(path) ? n : sizeof(path));
  size_t slash = folder.find_last_of('\\');
  if (slash != std::string::npos) {
    folder.resize(slash);
    SetCurrentDirectoryA(folder.c_str());
  }

  // 2. The event an outside starter waits on.
  std::string eventName = GetReadyEventName();
  if (!eventName.empty()) m_hReadyEvent = CreateEventA(nullptr, FALSE, FALSE, eventName.c_str());

  // 3. One instance per machine; a second one ends silently.
  m_pInstanceMutex = new (std::nothrow) CMutex(FALSE, kMutexName);
  if (m_pInstanceMutex != nullptr) m_pInstanceLock = new (std::nothrow) CSingleLock(m_pInstanceMutex);
  if (m_pInstanceLock == nullptr || !m_pInstanceLock->Lock(kInstanceWaitMs)) {
    delete m_pInstanceLock;
    delete m_pInstanceMutex;
    m_pInstanceLock = nullptr;
    m_pInstanceMutex = nullptr;
    return FALSE;
  }

  // 4. Framework set-up: profile under HKCU\Software\Velmora\<title>.
  Enable3dControls();
  SetRegistryKey("Velmora");
  LoadStdProfileSettings(4);

  // 5. The document template that creates the hidden frame.
  auto* tmpl = new (std::nothrow) CSingleDocTemplate(IDR_MAINFRAME, RUNTIME_CLASS(CORVANE_DOC),
                                                     RUNTIME_CLASS(MAIN_FRAME), RUNTIME_CLASS(CORVANE_VIEW));
  if (tmpl == nullptr) return FALSE;
  AddDocTemplate(tmpl);

  // 6. Standard command line (the ready-event marker is an unknown flag to it); the frame
  // starts hidden.
  CCommandLineInfo cmdInfo;
  ParseCommandLine(cmdInfo);
  m_nCmdShow = SW_HIDE;
  if (!ProcessShellCommand(cmdInfo)) return FALSE;

  // 7.
  if (m_pMainWnd == nullptr) return FALSE;
  m_pMainWnd->ShowWindow(SW_HIDE);
  UpdateWindow(m_pMainWnd->m_hWnd);

  // 8.
  if (!DetectPlatform()) {
    AfxMessageBox(IDS_PLATFORM_FAILED, MB_OK | MB_ICONEXCLAMATION);
    return FALSE;
  }

  // 9. Windows NT 4 needs a one-time network adjustment and a restart before anything else.
  if (m_nPlatform == kPlatformNT4 && !IsMtuAdjusted()) {
    ComponentCall(SetupUtilsTable::System().pfnAdjustNetworkSettings, kNt4Mtu);
    AfxMessageBox(IDS_RESTART_PROMPT, MB_OK | MB_ICONEXCLAMATION);
    RestartSystem();
    return FALSE;
  }

  // 10.
  WriteRuntimeFile();

  // 11. A missing adapter is worth a warning, not an end.
  if (!IsAdapterInstalled()) {
    MessageBoxA(nullptr, fw::LoadStr(IDS_ADAPTER_MISSING).c_str(), fw::LoadStr(IDS_TRAY_TIP).c_str(),
                MB_OK | MB_ICONEXCLAMATION);
  }

  // 12.
  if (!LoadComponents()) return FALSE;

  // 13. The starter learns that the program is up. The message loop has not started, so
  // the icon does not react meanwhile.
  if (m_hReadyEvent != nullptr) {
    Sleep(kReadyDelayMs);
    SetEvent(m_hReadyEvent);
  }
  return TRUE;
}

int CORVANE::ExitInstance() {
  UnloadComponents();
  if (m_pInstanceMutex != nullptr && m_pInstanceLock != nullptr && m_pInstanceLock->IsLocked()) {
    m_pInstanceLock->Unlock();
    delete m_pInstanceLock;
    delete m_pInstanceMutex;
    m_pInstanceLock = nullptr;
    m_pInstanceMutex = nullptr;
  }
  return CWinApp::ExitInstance();
}

std::string CORVANE::GetReadyEventName() const { return ReadyEventNameFrom(m_strCmdLine.c_str()); }

bool CORVANE::DetectPlatform() { return DetectPlatformCode(&GetVersionExA, m_nPlatform); }

bool CORVANE::IsMtuAdjusted() const {
  std::string flag;
  return fw::ReadRegistryText(HKEY_LOCAL_MACHINE, settings::kAppKey, kMtuFlagValue, settings::kFlagLimit, flag) &&
         IsAdjustedFlag(flag);
}

void CORVANE::SetMtuAdjusted() { WriteRegistryText(settings::kAppKey, kMtuFlagValue, "true"); }

bool CORVANE::WriteRuntimeFile() {
  return SetupUtilsTable::System().WriteRuntimeFile([this](std::string& dir) { return GetWindowsDir(dir); },
                                                   kRuntimeFileName);
}

bool CORVANE::IsAdapterInstalled() { return SetupUtilsTable::System().FindAdapter(kAdapterMarker); }

bool CORVANE::GetWindowsDir(std::string& dir) {
  try {
    std::string buffer(261, '\0');
    UINT n = GetWindowsDirectoryA(buffer.data(), 261);
    if (n > 260) {
      buffer.assign(n + 1, '\0');
      n = GetWindowsDirectoryA(buffer.data(), n + 1);
    }
    // No directory at all would put the file in the root of the current drive.
    if (n == 0 || n >= buffer.size()) return false;
    dir = fw::FromBuffer(buffer.data(), n);
    if (dir.empty() || dir.back() != '\\') dir += '\\';
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void CORVANE::RestartSystem() {
  SystemRestart::System().Request([this] { SetMtuAdjusted(); });
}

bool CORVANE::LoadComponents() {
  if (m_nPlatform != kPlatformWin9x || m_bComponentsLoaded) return true;
  bool loaded = ComponentCall(TzOSInitialize) != FALSE;
  if (loaded) loaded = ComponentCall(TzOSLoadAll, kProgramName) != FALSE;
  if (!loaded) {
    AfxMessageBox(IDS_TZOS_LOAD_FAILED, MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  m_bComponentsLoaded = 1;
  return true;
}

void CORVANE::UnloadComponents() {
  if (m_nPlatform != kPlatformWin9x || m_bComponentsLoaded != 1) return;
  ComponentCall(TzOSUnloadAll, kProgramName);
  ComponentCall(TzOSExit);
  m_bComponentsLoaded = 0;
}

void CORVANE::OnAppAbout() {
  if (m_pAboutDlg != nullptr) {
    // Asked again from the tray menu while it is open: one About is enough.
    SetForegroundWindow(m_pAboutDlg->m_hWnd);
    return;
  }
  ABOUT_DLG dlg;
  m_pAboutDlg = &dlg;
  dlg.DoModal();
  m_pAboutDlg = nullptr;
}
