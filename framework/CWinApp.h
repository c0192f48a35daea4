// The application object: start-up, the message loop, exit, the per-user profile and the
// framework's message boxes. Exactly one exists per program, as a global.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "CCmdTarget.h"

class CCommandLineInfo;
class CDocTemplate;
class CDocument;
class CRecentFileList;
class CWnd;

class CWinApp : public CCmdTarget {
 public:
  CWinApp();
  ~CWinApp() override;

  HINSTANCE m_hInstance = nullptr;
  // The command line after the program name.
  std::string m_strCmdLine;
  int m_nCmdShow = SW_SHOWNORMAL;
  CWnd* m_pMainWnd = nullptr;
  // The title (string 57344 when the program has one, else the program file's base name).
  std::string m_strAppName;
  // Vendor key of the profile: HKEY_CURRENT_USER\Software\<key>\<profile name>.
  std::string m_strRegistryKey;
  std::string m_strProfileName;
  std::string m_strHelpFilePath;

  virtual BOOL InitInstance();
  // Returns the process exit code: the code of the WM_QUIT that ended the loop, else 0.
  virtual int ExitInstance();
  virtual int Run();

  // Standard help handler: hands the request to the main window's help hook.
  void OnHelp();

  // Turns on the 3-D look of dialog controls where the system offers the facility.
  bool Enable3dControls();
  void SetRegistryKey(const char* company);

  // Per-user profile: sections are subkeys of the profile key; integers are REG_DWORD.
  UINT GetProfileInt(const char* section, const char* entry, int defaultValue);
  bool WriteProfileInt(const char* section, const char* entry, int value);
  std::string GetProfileString(const char* section, const char* entry, const char* defaultValue = "");
  bool WriteProfileString(const char* section, const char* entry, const char* value);
  // The profile's key, for the program's own use; empty before SetRegistryKey.
  std::string GetProfileKeyPath() const;

  // The framework's message box: owned by the main window when it is visible, captioned
  // with the application title.
  int DoMessageBox(const std::string& text, UINT type);

  // Document templates; the application owns them.
  void AddDocTemplate(CDocTemplate* tmpl);
  // Standard handlers of the New and Open commands (ID_FILE_NEW, ID_FILE_OPEN).
  void OnFileNew();
  void OnFileOpen();
  virtual CDocument* OpenDocumentFile(const char* path);
  void CloseAllDocuments(BOOL endSession);
  BOOL SaveAllModified();
  // Asks for a file name with the system's file dialog; false when the user cancelled.
  bool DoPromptFileName(std::string& path, bool open);

  // Reads the recent-file list of |maxMru| entries and "Settings"/"PreviewPages"; the list
  // is written back by ExitInstance.
  void LoadStdProfileSettings(UINT maxMru = 4);
  virtual void AddToRecentFileList(const char* path);

  void ParseCommandLine(CCommandLineInfo& info);
  // Carries out the parsed command: FALSE when it failed (the program should end).
  BOOL ProcessShellCommand(CCommandLineInfo& info);

  std::vector<CDocTemplate*> m_templateList;
  CRecentFileList* m_pRecentFileList = nullptr;
  UINT m_nNumPreviewPages = 0;

  // Process entry (called by WinMain).
  int WinMainEntry(HINSTANCE instance, const char* cmdLine, int cmdShow);

  static CWinApp* s_pApp;

 protected:
  MSG m_msgCur{};

 private:
  HMODULE m_hCtl3d = nullptr;
};

inline CWinApp* AfxGetApp() { return CWinApp::s_pApp; }
// The module that holds the program's resources: the application's instance, or the
// process's module before the application has been given one.
inline HINSTANCE AfxGetResourceHandle() {
  CWinApp* app = CWinApp::s_pApp;
  return app && app->m_hInstance ? app->m_hInstance : GetModuleHandleA(nullptr);
}
int AfxMessageBox(const std::string& text, UINT type = MB_OK | MB_ICONEXCLAMATION);
int AfxMessageBox(UINT idText, UINT type = MB_OK | MB_ICONEXCLAMATION);

// Reports the exception being handled (call only inside a catch block): "Out of memory." for
// an allocation failure, the framework's internal-failure text otherwise. Throws nothing;
// a report that comes while another is still shown is dropped.
void AfxReportCurrentException() noexcept;

// The title string of programs that have one.
constexpr UINT AFX_IDS_APP_TITLE = 0xE000;  // 57344
// Standard commands.
constexpr UINT ID_FILE_NEW = 0xE100;   // 57600
constexpr UINT ID_FILE_OPEN = 0xE101;  // 57601
constexpr UINT ID_APP_ABOUT = 0xE140;  // 57664
// The framework's out-of-memory report.
constexpr UINT AFX_IDS_MEMORY_EXCEPTION = 0xF10E;  // 61710
// The framework's report of any other failure that reached a system callback.
constexpr UINT AFX_IDP_INTERNAL_FAILURE = 0xF108;  // 61704
