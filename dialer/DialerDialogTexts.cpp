// The status line's words for connection states and RAS errors.
#include "CWinApp.h"
#include "DialerDialog.h"
#include "FwStrings.h"
#include "StatusTexts.h"

void DialerDialog::SetStateText(RASCONNSTATE state) {
  UINT id = StateTextId(static_cast<DWORD>(state));
  if (id == 0) return;  // a state without a text leaves the previous one on the line
  m_dial.SetStatus(fw::LoadStr(id, AfxGetResourceHandle()));
}

void DialerDialog::SetErrorText(DWORD error, DWORD extendedError) {
  m_dial.SetStatus(FormatErrorText(fw::LoadStr(ErrorTextId(error), AfxGetResourceHandle()), error, extendedError));
}
