// The dialer's application object: everything before and after the main dialog.
#pragma once
#include "CWinApp.h"

class DialerApp : public CWinApp {
 public:
  // Scans the command line, names the profile, runs the main dialog modally. Always false:
  // the program ends once the dialog has (the dialog runs the only message loop).
  BOOL InitInstance() override;
  // Withdraws and deletes the dialog, then the framework's exit processing.
  int ExitInstance() override;

  DECLARE_MESSAGE_MAP()
};
