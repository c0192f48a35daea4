// The About dialog, opened from the main dialog's system menu.
#pragma once
#include <string>
#include "CDialog.h"

class DialerAboutDialog : public CDialog {
 public:
  explicit DialerAboutDialog(CWnd* parent = nullptr);

  // The build stamp shown after "Build"; empty unless the system's "BuildInfo" is set.
  std::string m_strBuildInfo;

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  // Sets m_strBuildInfo to the fixed stamp when the machine-wide "BuildInfo" holds a short,
  // non-blank text; the value's own text is never shown.
  void LoadBuildInfo();
};
