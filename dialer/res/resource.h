// Resource identifiers of TzDialer.exe.
#pragma once

// Dialogs
#define IDD_ABOUTBOX 100
#define IDD_DIALER_DIALOG 102

// Icon, cursor
#define IDR_MAINFRAME 128
#define IDC_HAND_CURSOR 135

// System menu item of the main dialog
#define IDM_ABOUTBOX 0x0010

// Controls of the main dialog
#define IDC_USERNAME 1000
#define IDC_PASSWORD 1001
#define IDC_SAVEPASSWORD 1002
#define IDC_PICTURE_FRAME 1003
#define IDC_STATUS 1004
#define IDC_DOMAIN 1005
#define IDC_DOMAIN_LABEL 1006
#define IDC_WEB_BUTTON 1008
// Control of the About dialog
#define IDC_BUILDINFO 1009

// Strings
#define IDS_ABOUTBOX 101
#define IDS_PROMPT_CONNECT 102
#define IDS_PROMPT_PASSWORD 103
#define IDS_PROMPT_USERNAME 104
#define IDS_STATE_FIRST 105  // 105..120: connection states
#define IDS_STATE_CONNECTED 119
#define IDS_STATE_DISCONNECTED 120
#define IDS_ERROR_FIRST 121  // 121..245: "Error %u: ..." for the RAS codes that have a text
#define IDS_ERROR_LAST 245
#define IDS_ERROR_GENERIC 246
#define IDS_HOMEPAGE_URL 247
#define IDS_NO_ADAPTER 248
#define IDS_ENTRY_FAILED 249
#define IDS_DIALER_CAPTION 250
