// The tray program's application object: one instance per machine, platform detection,
// the Windows NT 4 adjustment with its restart, the adapter check and, on Windows 95/98,
// the protocol components' lifetime.
#pragma once
#include <windows.h>
#include <string>
#include "Framework.h"
#include "StartupRules.h"

class ABOUT_DLG;

class CORVANE : public CWinApp {
 public:
  CORVANE() = default;

  BOOL InitInstance() override;
  // Unloads the components and releases the instance lock; safe to run more than once
  // (the end of the Windows session runs it before the process ends).
  int ExitInstance() override;

  // Both act only on Windows 95/98 and only when the components are in the other state.
  bool LoadComponents();
  void UnloadComponents();

  void OnAppAbout();

  int m_bComponentsLoaded = 0;
  CSingleLock* m_pInstanceLock = nullptr;  // owned
  CMutex* m_pInstanceMutex = nullptr;      // owned
  int m_nPlatform = kPlatformUnknown;
  ABOUT_DLG* m_pAboutDlg = nullptr;        // the About dialog while it is open
  HANDLE m_hReadyEvent = nullptr;

  DECLARE_MESSAGE_MAP()

 private:
  std::string GetReadyEventName() const;
  bool DetectPlatform();
  bool IsMtuAdjusted() const;
  void SetMtuAdjusted();
  bool WriteRuntimeFile();
  bool IsAdapterInstalled();
  bool GetWindowsDir(std::string& dir);
  void RestartSystem();
};

extern CORVANE theApp;
