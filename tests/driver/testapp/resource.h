// Identifiers of the driver's test program.
#pragma once

#define IDD_TESTAPP 100

#define IDC_NAME 1000
#define IDC_CHECK 1001
#define IDC_BOX 1002
#define IDC_MENU 1003
#define IDC_ECHO 1004
#define IDC_STATUS 1005
#define IDC_INFO 1006
#define IDC_HIDDEN 1007
#define IDC_GO 1008

#define IDM_ABOUT 0x0010

#define ID_POPUP_FIRST 200
#define ID_POPUP_SECOND 201
#define ID_POPUP_THIRD 202

#define NAME_LIMIT 8
