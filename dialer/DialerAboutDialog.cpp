#include "DialerAboutDialog.h"

#include "MachineRegistry.h"
#include "resource.h"

DialerAboutDialog::DialerAboutDialog(CWnd* parent)
    : CAboutDialog(IDD_ABOUTBOX, IDC_BUILDINFO, kMachineSettingsKey, parent) {}
