// Modal dialog from a template resource, with data exchange. The object is attached to its
// window from the window's first message, so handlers of WM_CREATE work as in other windows.
#pragma once
#include <windows.h>
#include "CDataExchange.h"
#include "CWnd.h"

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT idTemplate, CWnd* parent = nullptr);

  // Runs the dialog modally; returns the code given to EndDialog, or -1 when the dialog
  // could not be created. Without a parent the application's main window owns the dialog.
  virtual INT_PTR DoModal();
  void EndDialog(int result);

  // Standard initialisation: copies the members into the controls. TRUE lets the system
  // put the focus on the first tab stop.
  virtual BOOL OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  virtual void DoDataExchange(CDataExchange* dx);

  // Runs the exchange: true reads the controls into the members, false writes them.
  // Returns false when a check failed.
  bool UpdateData(bool saveAndValidate = true);
  // True while UpdateData(false) writes the controls (their change notifications then come
  // from the program, not from the user).
  bool IsWritingControls() const { return m_nWriting > 0; }

  bool OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  // A failed initialisation ends the dialog: DoModal returns -1.
  void OnHandlerException(UINT msg, LRESULT* result) override;

  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;

 private:
  static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
  int m_nWriting = 0;
};
