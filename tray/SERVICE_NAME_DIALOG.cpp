#include "SERVICE_NAME_DIALOG.h"

#include "SettingsStore.h"
#include "res/resource.h"

namespace {
const char kServiceNameValue[] = "ServiceName";
}

BEGIN_MESSAGE_MAP(SERVICE_NAME_DIALOG, CDialog)
END_MESSAGE_MAP()

SERVICE_NAME_DIALOG::SERVICE_NAME_DIALOG(CWnd* parent) : CDialog(IDD_SERVICE_NAME, parent) {}

void SERVICE_NAME_DIALOG::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  // A longer name could not be shown again and would be wiped by the next OK.
  DDX_Text(dx, IDC_SERVICE_NAME, m_strServiceName, kMaxServiceName);
}

BOOL SERVICE_NAME_DIALOG::OnInitDialog() {
  CDialog::OnInitDialog();
  LoadServiceName();
  UpdateData(false);
  return TRUE;
}

void SERVICE_NAME_DIALOG::LoadServiceName() {
  std::string name;
  if (fw::ReadRegistryText(HKEY_LOCAL_MACHINE, settings::kPoEKey, kServiceNameValue, settings::kServiceNameLimit,
                           name) && !name.empty()) {
    m_strServiceName = name;
  }
}

void SERVICE_NAME_DIALOG::SaveServiceName() {
  // Exactly as typed: blanks around the name are kept.
  WriteRegistryText(settings::kPoEKey, kServiceNameValue, m_strServiceName);
}

void SERVICE_NAME_DIALOG::OnOK() {
  // The edit takes no more than the limit from the keyboard; a longer text put there by
  // other means is refused with the framework's message and the dialog stays open.
  if (!UpdateData(true)) return;
  SaveServiceName();
  EndDialog(IDOK);
}

void SERVICE_NAME_DIALOG::OnCancel() { EndDialog(IDCANCEL); }

void SERVICE_NAME_DIALOG::OnHandlerException(UINT msg, LRESULT* result) {
  CDialog::OnHandlerException(msg, result);
  // The failure has been reported: the dialog ends, and the frame deletes it and lets a
  // later command open a new one.
  EndDialog(-1);
}
