// The application framework layer shared by both programs.
#pragma once
#include "CBitmapButton.h"
#include "CCmdTarget.h"
#include "CDataExchange.h"
#include "CDialog.h"
#include "CWinApp.h"
#include "CWnd.h"
#include "FwStrings.h"
