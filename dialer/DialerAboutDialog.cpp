#include "DialerAboutDialog.h"

#include "MachineRegistry.h"
#include "resource.h"

namespace {
constexpr char kBuildStamp[] = "19990929";
// "BuildInfo" is read into a 16-byte buffer: a value of 16 bytes or more counts as missing.
constexpr DWORD kBuildInfoBufferSize = 16;
}  // namespace

DialerAboutDialog::DialerAboutDialog(CWnd* parent) : CDialog(IDD_ABOUTBOX, parent) {}

void DialerAboutDialog::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Text(dx, IDC_BUILDINFO, m_strBuildInfo);
}

BOOL DialerAboutDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  LoadBuildInfo();
  UpdateData(false);
  return TRUE;
}

void DialerAboutDialog::LoadBuildInfo() {
  m_strBuildInfo.clear();
  std::string value;
  if (!ReadMachineText(kMachineSettingsKey, "BuildInfo", kBuildInfoBufferSize, value)) return;
  if (!value.empty()) m_strBuildInfo = kBuildStamp;
}
