// Data exchange between a dialog's controls and its members. Writing (towards the
// controls) and reading (towards the members) run the same routine, DoDataExchange.
// A failed check stops the exchange: the remaining calls do nothing and UpdateData reports
// failure; the members read so far keep their new values.
#pragma once
#include <windows.h>
#include <string>

class CWnd;

class CDataExchange {
 public:
  CDataExchange(CWnd* dialog, bool saveAndValidate) : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}

  CWnd* m_pDlgWnd;
  bool m_bSaveAndValidate;  // true: controls to members
  bool m_bFailed = false;
  HWND m_hLastControl = nullptr;

  HWND PrepareCtrl(int id);
  // Shows nothing itself: puts the focus back on the last prepared control (selecting an
  // edit's text) and stops the exchange.
  void Fail();
};

// Text of control |id| with |value|. Writing leaves the control alone when it already holds
// the text, so no EN_CHANGE is raised and the caret does not move.
void DDX_Text(CDataExchange* dx, int id, std::string& value);
// With a character limit: writing sets the edit's limit (EM_LIMITTEXT); reading a longer text
// shows "Please enter no more than %1 characters." and fails.
void DDX_Text(CDataExchange* dx, int id, std::string& value, int maxChars);
// Check state (0, 1, 2) of a check box; writing any other value writes 0.
void DDX_Check(CDataExchange* dx, int id, int& value);
// Binds |control| to control |id| on the first exchange.
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

// String of the framework's size message, in each program's string table.
constexpr UINT AFX_IDP_PARSE_STRING_SIZE = 0xF113;  // 61715
