#include "CView.h"

#include "CDocument.h"
#include "CFrameWnd.h"
#include "CWinApp.h"

namespace {
const char kViewClass[] = "TzFwView";
}

BEGIN_MESSAGE_MAP(CView, CWnd)
  ON_MESSAGE(WM_PAINT, &CView::OnPaint)
END_MESSAGE_MAP()

CView::~CView() {
  if (m_pDocument != nullptr) m_pDocument->RemoveView(this);
  if (m_pFrame != nullptr && m_pFrame->m_pViewActive == this) m_pFrame->m_pViewActive = nullptr;
}

BOOL CView::PreCreateWindow(CREATESTRUCTA& cs) {
  WNDCLASSA wc{};
  if (!GetClassInfoA(cs.hInstance, kViewClass, &wc)) {
    wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = cs.hInstance;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kViewClass;
    if (!RegisterClassA(&wc)) return FALSE;
  }
  if (cs.lpszClass == nullptr) cs.lpszClass = kViewClass;
  return TRUE;
}

BOOL CView::Create(CFrameWnd* parent, UINT id, CCreateContext* context) {
  CREATESTRUCTA cs{};
  cs.hInstance = AfxGetResourceHandle();
  cs.hwndParent = parent ? parent->m_hWnd : nullptr;
  cs.hMenu = reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id));
  cs.style = WS_CHILD | WS_VISIBLE;
  cs.dwExStyle = WS_EX_CLIENTEDGE;
  cs.lpszName = "";
  cs.lpCreateParams = context;
  if (!PreCreateWindow(cs)) {
    PostNcDestroy();
    return FALSE;
  }
  HookWindowCreate(this);
  HWND wnd = CreateWindowExA(cs.dwExStyle, cs.lpszClass, cs.lpszName, cs.style, 0, 0, 0, 0, cs.hwndParent,
                             cs.hMenu, cs.hInstance, cs.lpCreateParams);
  bool attached = UnhookWindowCreate();
  if (wnd == nullptr) {
    // A window that got as far as its first message took the object with it.
    if (!attached) PostNcDestroy();
    return FALSE;
  }
  m_pFrame = parent;
  if (context != nullptr && context->m_pCurrentDoc != nullptr) context->m_pCurrentDoc->AddView(this);
  return TRUE;
}

LRESULT CView::OnPaint(WPARAM, LPARAM) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(m_hWnd, &ps);
  OnDraw(dc);
  EndPaint(m_hWnd, &ps);
  return 0;
}
