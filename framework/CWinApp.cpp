#include "CWinApp.h"

#include <commdlg.h>

#include <new>
#include <vector>

#include "CCommandLineInfo.h"
#include "CDocTemplate.h"
#include "CRecentFileList.h"
#include "CWnd.h"
#include "FwStrings.h"

CWinApp* CWinApp::s_pApp = nullptr;

CWinApp::CWinApp() { s_pApp = this; }

CWinApp::~CWinApp() {
  for (CDocTemplate* tmpl : m_templateList) delete tmpl;
  delete m_pRecentFileList;
  if (s_pApp == this) s_pApp = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() {
  if (m_pRecentFileList != nullptr) m_pRecentFileList->WriteList();
  if (m_hCtl3d != nullptr) {
    using Ctl3dFn = BOOL(WINAPI*)(HINSTANCE);
    auto unreg = reinterpret_cast<Ctl3dFn>(reinterpret_cast<void*>(GetProcAddress(m_hCtl3d, "Ctl3dUnregister")));
    if (unreg) unreg(m_hInstance);
    FreeLibrary(m_hCtl3d);
    m_hCtl3d = nullptr;
  }
  return m_msgCur.message == WM_QUIT ? static_cast<int>(m_msgCur.wParam) : 0;
}

int CWinApp::Run() {
  for (;;) {
    BOOL got = GetMessageA(&m_msgCur, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    // Keyboard navigation of a modeless main dialog, should a program have one.
    HWND main = m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr;
    if (main != nullptr && IsDialogMessageA(main, &m_msgCur) &&
        (GetWindowLongA(main, GWL_STYLE) & DS_MODALFRAME) == 0) {
      continue;
    }
    TranslateMessage(&m_msgCur);
    DispatchMessageA(&m_msgCur);
  }
  return ExitInstance();
}

void CWinApp::OnHelp() {
  if (m_pMainWnd != nullptr) m_pMainWnd->WinHelp(0, HELP_CONTENTS);
}

bool CWinApp::Enable3dControls() {
  // CTL3D gives dialogs the 3-D look on systems that lack it natively; where the library is
  // absent (every later system draws 3-D by itself) the dialogs keep their plain look.
  m_hCtl3d = LoadLibraryA("CTL3D32.DLL");
  if (m_hCtl3d == nullptr) return false;
  using Ctl3dFn = BOOL(WINAPI*)(HINSTANCE);
  auto reg = reinterpret_cast<Ctl3dFn>(reinterpret_cast<void*>(GetProcAddress(m_hCtl3d, "Ctl3dRegister")));
  auto autoSub = reinterpret_cast<Ctl3dFn>(reinterpret_cast<void*>(GetProcAddress(m_hCtl3d, "Ctl3dAutoSubclass")));
  if (reg == nullptr || autoSub == nullptr || !reg(m_hInstance)) {
    FreeLibrary(m_hCtl3d);
    m_hCtl3d = nullptr;
    return false;
  }
  autoSub(m_hInstance);
  return true;
}

void CWinApp::SetRegistryKey(const char* company) {
  m_strRegistryKey = company ? company : "";
  m_strProfileName = m_strAppName;
}

std::string CWinApp::GetProfileKeyPath() const {
  if (m_strRegistryKey.empty()) return std::string();
  return "Software\\" + m_strRegistryKey + "\\" + m_strProfileName;
}

namespace {
HKEY OpenSection(const std::string& root, const char* section, bool create) {
  if (root.empty() || section == nullptr) return nullptr;
  std::string path = root + "\\" + section;
  HKEY key = nullptr;
  LONG rc = create ? RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE | KEY_READ,
                                     nullptr, &key, nullptr)
                   : RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key);
  return rc == ERROR_SUCCESS ? key : nullptr;
}
}  // namespace

UINT CWinApp::GetProfileInt(const char* section, const char* entry, int defaultValue) {
  HKEY key = OpenSection(GetProfileKeyPath(), section, false);
  if (key == nullptr) return static_cast<UINT>(defaultValue);
  DWORD type = 0, value = 0, size = sizeof(value);
  LONG rc = RegQueryValueExA(key, entry, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(value)) return static_cast<UINT>(defaultValue);
  return value;
}

bool CWinApp::WriteProfileInt(const char* section, const char* entry, int value) {
  HKEY key = OpenSection(GetProfileKeyPath(), section, true);
  if (key == nullptr) return false;
  DWORD data = static_cast<DWORD>(value);
  LONG rc = RegSetValueExA(key, entry, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
  RegFlushKey(key);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

std::string CWinApp::GetProfileString(const char* section, const char* entry, const char* defaultValue) {
  std::string fallback = defaultValue ? defaultValue : "";
  HKEY key = OpenSection(GetProfileKeyPath(), section, false);
  if (key == nullptr) return fallback;
  DWORD type = 0, size = 0;
  LONG rc = RegQueryValueExA(key, entry, nullptr, &type, nullptr, &size);
  std::string out = fallback;
  if (rc == ERROR_SUCCESS && type == REG_SZ) {
    std::vector<char> buf(size + 1, 0);
    DWORD got = size;
    if (RegQueryValueExA(key, entry, nullptr, nullptr, reinterpret_cast<BYTE*>(buf.data()), &got) == ERROR_SUCCESS) {
      out = fw::FromBuffer(buf.data(), got);
    }
  }
  RegCloseKey(key);
  return out;
}

bool CWinApp::WriteProfileString(const char* section, const char* entry, const char* value) {
  HKEY key = OpenSection(GetProfileKeyPath(), section, true);
  if (key == nullptr) return false;
  LONG rc;
  if (value == nullptr) {
    rc = RegDeleteValueA(key, entry);
  } else {
    rc = RegSetValueExA(key, entry, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                        static_cast<DWORD>(lstrlenA(value) + 1));
  }
  RegFlushKey(key);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

int CWinApp::DoMessageBox(const std::string& text, UINT type) {
  HWND owner = nullptr;
  if (m_pMainWnd != nullptr && m_pMainWnd->m_hWnd != nullptr && IsWindowVisible(m_pMainWnd->m_hWnd)) {
    owner = GetLastActivePopup(m_pMainWnd->m_hWnd);
  }
  return MessageBoxA(owner, text.c_str(), m_strAppName.c_str(), type | (owner ? 0 : MB_TASKMODAL));
}

int CWinApp::WinMainEntry(HINSTANCE instance, const char* cmdLine, int cmdShow) {
  m_hInstance = instance;
  m_strCmdLine = cmdLine ? cmdLine : "";
  m_nCmdShow = cmdShow;
  m_strAppName = fw::LoadStr(AFX_IDS_APP_TITLE, instance);
  char path[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameA(instance, path, MAX_PATH);
  std::string module(path, n < MAX_PATH ? n : MAX_PATH);
  if (m_strAppName.empty()) {
    size_t slash = module.find_last_of("\\/");
    std::string base = slash == std::string::npos ? module : module.substr(slash + 1);
    size_t dot = base.find_last_of('.');
    m_strAppName = dot == std::string::npos ? base : base.substr(0, dot);
  }
  if (m_strProfileName.empty()) m_strProfileName = m_strAppName;
  size_t dot = module.find_last_of('.');
  m_strHelpFilePath = (dot == std::string::npos ? module : module.substr(0, dot)) + ".HLP";

  if (!InitInstance()) {
    if (m_pMainWnd != nullptr) m_pMainWnd->DestroyWindow();
    return ExitInstance();
  }
  return Run();
}

int AfxMessageBox(const std::string& text, UINT type) {
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return MessageBoxA(nullptr, text.c_str(), "", type);
  return app->DoMessageBox(text, type);
}

int AfxMessageBox(UINT idText, UINT type) { return AfxMessageBox(fw::LoadStr(idText), type); }

void AfxReportCurrentException() noexcept {
  static LONG reporting = 0;
  // A handler that fails on every timer tick or paint would otherwise stack box on box.
  if (InterlockedCompareExchange(&reporting, 1, 0) != 0) return;
  bool memory = false;
  try {
    throw;
  } catch (const std::bad_alloc&) {
    memory = true;
  } catch (...) {
  }
  const UINT id = memory ? AFX_IDS_MEMORY_EXCEPTION : AFX_IDP_INTERNAL_FAILURE;
  try {
    AfxMessageBox(id, MB_OK | MB_ICONEXCLAMATION);
  } catch (...) {
    // Not even the text could be loaded: the report without the program's caption.
    MessageBoxA(nullptr, memory ? "Out of memory." : "Internal application error.", nullptr,
                MB_OK | MB_ICONEXCLAMATION | MB_TASKMODAL);
  }
  InterlockedExchange(&reporting, 0);
}

void CWinApp::AddDocTemplate(CDocTemplate* tmpl) {
  if (tmpl != nullptr) m_templateList.push_back(tmpl);
}

void CWinApp::OnFileNew() {
  // One template: no choice to offer.
  if (!m_templateList.empty()) m_templateList.front()->OpenDocumentFile(nullptr);
}

void CWinApp::OnFileOpen() {
  std::string path;
  if (DoPromptFileName(path, true)) OpenDocumentFile(path.c_str());
}

CDocument* CWinApp::OpenDocumentFile(const char* path) {
  if (m_templateList.empty()) return nullptr;
  return m_templateList.front()->OpenDocumentFile(path);
}

void CWinApp::CloseAllDocuments(BOOL endSession) {
  for (CDocTemplate* tmpl : m_templateList) tmpl->CloseAllDocuments(endSession);
}

BOOL CWinApp::SaveAllModified() {
  for (CDocTemplate* tmpl : m_templateList) {
    if (!tmpl->SaveAllModified()) return FALSE;
  }
  return TRUE;
}

bool CWinApp::DoPromptFileName(std::string& path, bool open) {
  // comdlg32 is loaded only when a file name is asked for: most programs never do.
  HMODULE dll = LoadLibraryA("comdlg32.dll");
  if (dll == nullptr) return false;
  using PromptFn = BOOL(WINAPI*)(OPENFILENAMEA*);
  auto prompt = reinterpret_cast<PromptFn>(
      reinterpret_cast<void*>(GetProcAddress(dll, open ? "GetOpenFileNameA" : "GetSaveFileNameA")));
  bool chosen = false;
  if (prompt != nullptr) {
    char file[MAX_PATH + 1] = {};
    lstrcpynA(file, path.c_str(), sizeof(file));
    OPENFILENAMEA ofn{};
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;  // the size every system accepts
    ofn.hwndOwner = m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr;
    ofn.lpstrFilter = "All Files (*.*)\0*.*\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.Flags = OFN_HIDEREADONLY | (open ? OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST : OFN_OVERWRITEPROMPT);
    if (prompt(&ofn)) {
      path = fw::FromBuffer(file, sizeof(file));
      chosen = true;
    }
  }
  FreeLibrary(dll);
  return chosen;
}

void CWinApp::LoadStdProfileSettings(UINT maxMru) {
  if (maxMru > 0) {
    delete m_pRecentFileList;
    m_pRecentFileList = new CRecentFileList(ID_FILE_MRU_FILE1, "Recent File List", "File%d", static_cast<int>(maxMru));
    m_pRecentFileList->ReadList();
  }
  m_nNumPreviewPages = GetProfileInt("Settings", "PreviewPages", 0);
}

void CWinApp::AddToRecentFileList(const char* path) {
  if (m_pRecentFileList != nullptr && path != nullptr) m_pRecentFileList->Add(path);
}

void CWinApp::ParseCommandLine(CCommandLineInfo& info) {
  std::vector<std::string> args = CCommandLineInfo::SplitCommandLine(m_strCmdLine);
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    bool flag = !arg.empty() && (arg[0] == '/' || arg[0] == '-');
    info.ParseParam(flag ? arg.c_str() + 1 : arg.c_str(), flag, i + 1 == args.size());
  }
}

BOOL CWinApp::ProcessShellCommand(CCommandLineInfo& info) {
  switch (info.m_nShellCommand) {
    case CCommandLineInfo::FileNew:
      if (!OnCmdMsg(ID_FILE_NEW, 0)) OnFileNew();
      return m_pMainWnd != nullptr;
    case CCommandLineInfo::FileOpen:
      return OpenDocumentFile(info.m_strFileName.c_str()) != nullptr;
    case CCommandLineInfo::FileNothing:
    default:
      return TRUE;
  }
}
