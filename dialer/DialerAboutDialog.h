// The About dialog, opened from the main dialog's system menu. The build stamp and its
// initialisation are the framework's CAboutDialog.
#pragma once
#include "CAboutDialog.h"

class DialerAboutDialog : public CAboutDialog {
 public:
  explicit DialerAboutDialog(CWnd* parent = nullptr);
};
