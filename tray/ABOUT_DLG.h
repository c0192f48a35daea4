// Product name, version and build of the tray program. The build stamp and its
// initialisation are the framework's CAboutDialog.
#pragma once
#include "Framework.h"

class ABOUT_DLG : public CAboutDialog {
 public:
  ABOUT_DLG();

  DECLARE_MESSAGE_MAP()
};
