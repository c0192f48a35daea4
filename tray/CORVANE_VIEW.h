// The view of the tray program's template, in the hidden frame: it draws nothing.
#pragma once
#include "Framework.h"

class CORVANE_VIEW : public CView {
  DECLARE_DYNCREATE(CORVANE_VIEW)

 public:
  BOOL PreCreateWindow(CREATESTRUCTA& cs) override;
  void OnDraw(HDC dc) override;

  DECLARE_MESSAGE_MAP()
};
