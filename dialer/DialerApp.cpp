#include "DialerApp.h"

#include <new>

#include "CommandLine.h"
#include "DialerDialog.h"

namespace {
DialerApp theApp;
}

BEGIN_MESSAGE_MAP(DialerApp, CWinApp)
  ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

BOOL DialerApp::InitInstance() {
  ::ParseCommandLine(m_strCmdLine);
  Enable3dControls();
  SetRegistryKey("Velmora");

  DialerDialog* dialog = new (std::nothrow) DialerDialog(nullptr);
  PublishDialerDialog(dialog);
  if (dialog != nullptr) {
    m_pMainWnd = dialog;
    dialog->DoModal();
  }
  return FALSE;
}

int DialerApp::ExitInstance() {
  // The pointer is cleared, and notifier calls already inside the dialog have left, before
  // the object goes away.
  DialerDialog* dialog = WithdrawDialerDialog();
  if (dialog != nullptr) {
    dialog->DestroyWindow();
    delete dialog;
  }
  return CWinApp::ExitInstance();
}
