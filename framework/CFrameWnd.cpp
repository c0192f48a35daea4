#include "CFrameWnd.h"

#include "CDocument.h"
#include "CView.h"
#include "CWinApp.h"
#include "FwStrings.h"

namespace {
const char kFrameClass[] = "TzFwFrame";
}

BEGIN_MESSAGE_MAP(CFrameWnd, CWnd)
  ON_MESSAGE(WM_CREATE, &CFrameWnd::OnCreate)
  ON_MESSAGE(WM_CLOSE, &CFrameWnd::OnClose)
  ON_MESSAGE(WM_SIZE, &CFrameWnd::OnSize)
  ON_MESSAGE(WM_QUERYENDSESSION, &CFrameWnd::OnQueryEndSession)
  ON_MESSAGE(WM_ENDSESSION, &CFrameWnd::OnEndSession)
END_MESSAGE_MAP()

BOOL CFrameWnd::LoadFrame(UINT idResource, DWORD style, CWnd* parent, CCreateContext* context) {
  HINSTANCE inst = AfxGetResourceHandle();
  m_nIDHelp = idResource;
  std::string strings = fw::LoadStr(idResource, inst);
  m_strTitle = strings.substr(0, strings.find('\n'));

  CREATESTRUCTA cs{};
  cs.hInstance = inst;
  cs.hwndParent = parent ? parent->m_hWnd : nullptr;
  cs.hMenu = LoadMenuA(inst, MAKEINTRESOURCEA(idResource));
  cs.style = style;
  cs.x = cs.y = cs.cx = cs.cy = CW_USEDEFAULT;
  cs.lpszName = m_strTitle.c_str();
  cs.lpCreateParams = context;
  if (!PreCreateWindow(cs)) {
    if (cs.hMenu) DestroyMenu(cs.hMenu);
    PostNcDestroy();
    return FALSE;
  }
  m_bAddToTitle = (cs.style & FWS_ADDTOTITLE) != 0;
  cs.style &= ~FWS_ADDTOTITLE;

  HookWindowCreate(this);
  HWND wnd = CreateWindowExA(cs.dwExStyle, cs.lpszClass, cs.lpszName, cs.style, cs.x, cs.y, cs.cx, cs.cy,
                             cs.hwndParent, cs.hMenu, cs.hInstance, cs.lpCreateParams);
  bool attached = UnhookWindowCreate();
  if (wnd == nullptr) {
    // The menu belongs to no window; a window that got as far as its first message took
    // the object with it.
    if (cs.hMenu && IsMenu(cs.hMenu)) DestroyMenu(cs.hMenu);
    if (!attached) PostNcDestroy();
    return FALSE;
  }
  return TRUE;
}

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCTA& cs) {
  if (cs.lpszClass != nullptr) return TRUE;
  WNDCLASSA wc{};
  if (!GetClassInfoA(cs.hInstance, kFrameClass, &wc)) {
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = cs.hInstance;
    wc.hIcon = LoadIconA(cs.hInstance, MAKEINTRESOURCEA(m_nIDHelp));
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    wc.lpszClassName = kFrameClass;
    if (!RegisterClassA(&wc)) return FALSE;
  }
  cs.lpszClass = kFrameClass;
  return TRUE;
}

CDocument* CFrameWnd::GetActiveDocument() const {
  return m_pViewActive ? m_pViewActive->GetDocument() : nullptr;
}

LRESULT CFrameWnd::OnCreate(WPARAM, LPARAM lParam) {
  if (Default() == -1) return -1;
  auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
  auto* context = cs ? static_cast<CCreateContext*>(cs->lpCreateParams) : nullptr;
  if (context == nullptr || context->m_pNewViewClass == nullptr) return 0;
  CCmdTarget* object = context->m_pNewViewClass->CreateObject();
  CView* view = dynamic_cast<CView*>(object);
  if (view == nullptr) {
    delete object;
    return -1;
  }
  if (!view->Create(this, AFX_IDW_PANE_FIRST, context)) return -1;
  m_pViewActive = view;
  return 0;
}

LRESULT CFrameWnd::OnSize(WPARAM, LPARAM) {
  Default();
  if (m_pViewActive != nullptr && m_pViewActive->m_hWnd != nullptr) {
    RECT rc;
    GetClientRect(m_hWnd, &rc);
    MoveWindow(m_pViewActive->m_hWnd, 0, 0, rc.right, rc.bottom, TRUE);
  }
  return 0;
}

LRESULT CFrameWnd::OnClose(WPARAM, LPARAM) {
  CDocument* doc = GetActiveDocument();
  if (doc != nullptr && !doc->CanCloseFrame(this)) return 0;
  CWinApp* app = AfxGetApp();
  if (app != nullptr && app->m_pMainWnd == this) {
    app->CloseAllDocuments(FALSE);
    // Closing the documents destroyed this window (it was their frame).
    if (app->m_pMainWnd != this) return 0;
  } else if (doc != nullptr) {
    doc->OnCloseDocument();
    return 0;
  }
  DestroyWindow();
  return 0;
}

LRESULT CFrameWnd::OnQueryEndSession(WPARAM, LPARAM) {
  CWinApp* app = AfxGetApp();
  if (app != nullptr && app->m_pMainWnd == this) return app->SaveAllModified() ? TRUE : FALSE;
  return TRUE;
}

LRESULT CFrameWnd::OnEndSession(WPARAM ending, LPARAM) {
  CWinApp* app = AfxGetApp();
  if (ending && app != nullptr && app->m_pMainWnd == this) {
    app->CloseAllDocuments(TRUE);
    app->ExitInstance();
  }
  return 0;
}

void CFrameWnd::InitialUpdateFrame(CDocument*, BOOL makeVisible) {
  if (m_pViewActive != nullptr) m_pViewActive->OnInitialUpdate();
  OnUpdateFrameTitle();
  if (!makeVisible) return;
  int show = SW_SHOW;
  CWinApp* app = AfxGetApp();
  if (app != nullptr && app->m_pMainWnd == this && app->m_nCmdShow != -1) {
    show = app->m_nCmdShow;
    app->m_nCmdShow = -1;  // only the first window takes the start-up state
  }
  ShowWindow(show);
  UpdateWindow(m_hWnd);
}

void CFrameWnd::OnUpdateFrameTitle() {
  if (!m_bAddToTitle || m_hWnd == nullptr) return;
  CDocument* doc = GetActiveDocument();
  std::string title = m_strTitle;
  if (doc != nullptr && !doc->m_strTitle.empty()) title = doc->m_strTitle + " - " + m_strTitle;
  SetWindowText(title);
}

bool CFrameWnd::RouteCommand(UINT id, UINT code, HWND control) {
  if (m_pViewActive != nullptr && m_pViewActive->OnCmdMsg(id, code, control)) return true;
  CDocument* doc = GetActiveDocument();
  if (doc != nullptr && doc->OnCmdMsg(id, code, control)) return true;
  return CWnd::RouteCommand(id, code, control);
}
