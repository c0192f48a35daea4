// The common part of both programs' About dialogs: after "Build" a static control shows the
// fixed build stamp whenever the machine-wide "BuildInfo" holds any text; the value's own
// text is never shown. Each program derives its dialog with its own template and control.
#pragma once
#include <string>
#include "CDialog.h"

class CAboutDialog : public CDialog {
 public:
  // |buildInfoId| is the template's static control of the stamp; |settingsKey| the key under
  // HKEY_LOCAL_MACHINE that holds "BuildInfo".
  CAboutDialog(UINT idTemplate, int buildInfoId, const char* settingsKey, CWnd* parent);

  void DoDataExchange(CDataExchange* dx) override;
  // The standard initialisation (which already empties the stamp's control), LoadBuildInfo,
  // the members into the controls again; TRUE: the focus goes to the OK button.
  BOOL OnInitDialog() override;

  // Sets m_strBuildInfo to the stamp when "BuildInfo", read into a 16-byte buffer, is not
  // blank; a missing value or one of 16 bytes and more leaves it empty.
  void LoadBuildInfo();

  std::string m_strBuildInfo;

 private:
  int m_nBuildInfoId;
  const char* m_pszSettingsKey;
};
