// The child window that fills a frame's client area and shows its document. The frame
// creates it from its run-time class; the object deletes itself with its window.
#pragma once
#include <windows.h>
#include "CRuntimeClass.h"
#include "CWnd.h"

class CDocument;
class CFrameWnd;
struct CCreateContext;

class CView : public CWnd {
 public:
  CView() = default;
  ~CView() override;

  CDocument* GetDocument() const { return m_pDocument; }
  CFrameWnd* GetParentFrame() const { return m_pFrame; }

  // Creates the window as child |id| of |parent| and joins the context's document.
  // On failure the object is gone (as after its window's destruction).
  BOOL Create(CFrameWnd* parent, UINT id, CCreateContext* context);
  virtual BOOL PreCreateWindow(CREATESTRUCTA& cs);
  virtual void OnDraw(HDC dc) = 0;
  virtual void OnInitialUpdate() { Invalidate(); }

  void PostNcDestroy() override { delete this; }

  CDocument* m_pDocument = nullptr;

 private:
  CFrameWnd* m_pFrame = nullptr;  // the parent frame, which outlives this object

 public:
  DECLARE_MESSAGE_MAP()
 protected:
  LRESULT OnPaint(WPARAM, LPARAM);
};
