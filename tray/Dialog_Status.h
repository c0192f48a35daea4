// Counts the seconds it has been open (one per WM_TIMER of its 1-second timer).
#pragma once
#include <string>
#include "Framework.h"

class Dialog_Status : public CDialog {
 public:
  explicit Dialog_Status(CWnd* parent = nullptr);
  ~Dialog_Status() override = default;

  void DoDataExchange(CDataExchange* dx) override;

  std::string m_strTimer;  // the counter as decimal text

  DECLARE_MESSAGE_MAP()

 protected:
  LRESULT OnCreate(WPARAM wParam, LPARAM lParam);
  LRESULT OnTimer(WPARAM wParam, LPARAM lParam);
  LRESULT OnDestroy(WPARAM wParam, LPARAM lParam);
};
