// Resource and command identifiers of the tray program (Corvane.rc and the code share them).
#ifndef CORVANE_RESOURCE_H
#define CORVANE_RESOURCE_H

// Document template: frame menu, program icon and template string.
#define IDR_MAINFRAME 128

// Notification-area icon: icon, tooltip strings and the two popup menus.
#define IDI_TRAY 130
#define IDS_TRAY_TIP 130
#define IDS_TRAY_INIT_TIP 131
#define IDR_TRAY_MENU_9X 130
#define IDR_TRAY_MENU_NT 131
#define ID_TRAY_ICON 131

// Dialogs and their controls.
#define IDD_ABOUTBOX 100
#define IDC_BUILD_INFO 1000
#define IDD_SERVICE_NAME 132
#define IDC_SERVICE_NAME 1002
#define IDD_STATUS 135
#define IDC_STATUS_TIMER 1004
#define ID_STATUS_TIMER 101

// Commands of the tray menus; each has its one-line description under the same number.
#define ID_WEB_PRODUCT 32772
#define ID_SERVICE_NAME 32773
#define ID_SHUTDOWN 32774
#define ID_CLOSE_APP 32775
#define ID_TRAY_HELP 32777
#define ID_STATUS 32778
#define ID_WEB_NEWS 32780
#define ID_WEB_HOME 32782

// Messages and web addresses.
#define IDS_PLATFORM_FAILED 32783
#define IDS_TZOS_LOAD_FAILED 32784
#define IDS_URL_PRODUCT 32786
#define IDS_URL_NEWS 32787
#define IDS_URL_HOME 32788
#define IDS_ADAPTER_MISSING 32789
#define IDS_RESTART_PROMPT 61204

// Standard commands of the framework.
#define ID_FILE_NEW_CMD 0xE100
#define ID_FILE_OPEN_CMD 0xE101
#define ID_FILE_SAVE_CMD 0xE103
#define ID_FILE_SAVE_AS_CMD 0xE104
#define ID_FILE_MRU_FILE1_CMD 0xE110
#define ID_APP_EXIT_CMD 0xE141
#define ID_EDIT_UNDO_CMD 0xE12B
#define ID_EDIT_CUT_CMD 0xE123
#define ID_EDIT_COPY_CMD 0xE122
#define ID_EDIT_PASTE_CMD 0xE125
#define ID_APP_ABOUT_CMD 0xE140

#endif
