#include "ABOUT_DLG.h"

#include "SettingsStore.h"
#include "res/resource.h"

namespace {
// The build this program's About has always named, shown whenever an installer has
// recorded any build at all.
const char kBuildStamp[] = "19990929";
}

BEGIN_MESSAGE_MAP(ABOUT_DLG, CDialog)
END_MESSAGE_MAP()

ABOUT_DLG::ABOUT_DLG() : CDialog(IDD_ABOUTBOX, nullptr) {}

void ABOUT_DLG::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Text(dx, IDC_BUILD_INFO, m_strBuildInfo);
}

BOOL ABOUT_DLG::OnInitDialog() {
  CDialog::OnInitDialog();
  LoadBuildInfo();
  UpdateData(false);
  return TRUE;
}

void ABOUT_DLG::LoadBuildInfo() {
  m_strBuildInfo.clear();
  std::string build;
  if (ReadRegistryText(settings::kAppKey, "BuildInfo", settings::kFlagLimit, build) && !build.empty()) {
    m_strBuildInfo = kBuildStamp;
  }
}
