#include "DialerApp.h"

#include <new>

#include "CommandLine.h"
#include "DialerDialog.h"
#include "FwStrings.h"

namespace {
DialerApp theApp;
}

BEGIN_MESSAGE_MAP(DialerApp, CWinApp)
  ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

BOOL DialerApp::InitInstance() {
  ::ParseCommandLine(m_strCmdLine);
  // The dialer reads nothing else from its command line: the copy holding /P goes now.
  fw::WipeString(m_strCmdLine);
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
    // However the dialog ended, no attempt is left dialling and no port closing.
    dialog->FinishAttempt();
    dialog->DestroyWindow();
    delete dialog;
  }
  ForgetCommandLine();  // /P of a start-up that never got as far as applying it
  return CWinApp::ExitInstance();
}
