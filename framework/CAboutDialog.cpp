#include "CAboutDialog.h"

#include "FwRegistry.h"

namespace {
// The build both programs' About dialogs have always named, shown whenever an installer has
// recorded any build at all.
constexpr char kBuildStamp[] = "19990929";
constexpr DWORD kBuildInfoBufferSize = 16;
}  // namespace

CAboutDialog::CAboutDialog(UINT idTemplate, int buildInfoId, const char* settingsKey, CWnd* parent)
    : CDialog(idTemplate, parent), m_nBuildInfoId(buildInfoId), m_pszSettingsKey(settingsKey) {}

void CAboutDialog::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Text(dx, m_nBuildInfoId, m_strBuildInfo);
}

BOOL CAboutDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  LoadBuildInfo();
  UpdateData(false);
  return TRUE;
}

void CAboutDialog::LoadBuildInfo() {
  m_strBuildInfo.clear();
  std::string build;
  if (fw::ReadRegistryText(HKEY_LOCAL_MACHINE, m_pszSettingsKey, "BuildInfo", kBuildInfoBufferSize, build) &&
      !build.empty()) {
    m_strBuildInfo = kBuildStamp;
  }
}
