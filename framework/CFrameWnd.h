// Frame window of a document template: created at run time from its class by the template,
// with its menu, icon and title from the template's resource id, and one view filling its
// client area. Commands go to the frame's own tables, then the active view, the document
// and the application. Closing the frame closes its document; the object deletes itself
// with its window, and when it is the main window the message loop ends.
#pragma once
#include <windows.h>
#include <string>
#include "CRuntimeClass.h"
#include "CWnd.h"

class CDocTemplate;
class CDocument;
class CView;

// Frame style flag: the document's title goes into the caption. Never passed to Windows.
constexpr DWORD FWS_ADDTOTITLE = 0x00008000;
// Child identifier of a frame's view.
constexpr UINT AFX_IDW_PANE_FIRST = 0xE900;

// What the template hands a new frame: the view to create and the document it shows.
struct CCreateContext {
  const CRuntimeClass* m_pNewViewClass = nullptr;
  CDocument* m_pCurrentDoc = nullptr;
  CDocTemplate* m_pNewDocTemplate = nullptr;
};

class CFrameWnd : public CWnd {
 public:
  CFrameWnd() = default;

  // Creates the window. On failure the object is gone (as after its window's destruction).
  BOOL LoadFrame(UINT idResource, DWORD style = WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE, CWnd* parent = nullptr,
                 CCreateContext* context = nullptr);
  // Hook before creation: the style, class and position may be changed here. The base
  // registers the frame's window class and supplies it.
  virtual BOOL PreCreateWindow(CREATESTRUCTA& cs);

  CView* GetActiveView() const { return m_pViewActive; }
  void SetActiveView(CView* view) { m_pViewActive = view; }
  CDocument* GetActiveDocument() const;

  // After the document is ready: the view's initial update, then the show state (for the
  // main window the application's m_nCmdShow, which is then used up).
  virtual void InitialUpdateFrame(CDocument* doc, BOOL makeVisible);
  virtual void OnUpdateFrameTitle();

  bool RouteCommand(UINT id, UINT code, HWND control) override;
  void PostNcDestroy() override { delete this; }

  std::string m_strTitle;  // the window title, field 0 of the template string
  UINT m_nIDHelp = 0;      // the resource id the frame was loaded from
  bool m_bAddToTitle = false;

  DECLARE_MESSAGE_MAP()
 protected:
  // Default handlers, which derived frames call from their own.
  LRESULT OnCreate(WPARAM, LPARAM lParam);
  LRESULT OnClose(WPARAM, LPARAM);
  LRESULT OnSize(WPARAM, LPARAM);
  // TRUE unless this is the main window and a document refused to be saved.
  LRESULT OnQueryEndSession(WPARAM, LPARAM);
  // With the ending confirmed, the main window closes the documents without prompting and
  // runs the application's ExitInstance; the windows stay until Windows ends the process.
  LRESULT OnEndSession(WPARAM ending, LPARAM);

 private:
  CView* m_pViewActive = nullptr;
  friend class CView;
};
