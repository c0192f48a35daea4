#include "ABOUT_DLG.h"

#include "SettingsStore.h"
#include "res/resource.h"

BEGIN_MESSAGE_MAP(ABOUT_DLG, CAboutDialog)
END_MESSAGE_MAP()

ABOUT_DLG::ABOUT_DLG() : CAboutDialog(IDD_ABOUTBOX, IDC_BUILD_INFO, settings::kAppKey, nullptr) {}
