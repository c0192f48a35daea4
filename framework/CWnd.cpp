#include "CWnd.h"

#include "CWinApp.h"
#include "FwStrings.h"

namespace {
const char kObjectProp[] = "TzFw.Object";
// Window creation hook state; only the user-interface thread creates framework windows.
CWnd* g_pWndInit = nullptr;
HHOOK g_hCbtHook = nullptr;
}  // namespace

CWnd::~CWnd() {
  // An object that dies before its window detaches, so no message reaches freed memory.
  if (m_hWnd != nullptr && FromHandlePermanent(m_hWnd) == this) UnsubclassWindow();
}

CWnd* CWnd::FromHandlePermanent(HWND wnd) {
  if (wnd == nullptr) return nullptr;
  return static_cast<CWnd*>(GetPropA(wnd, kObjectProp));
}

void CWnd::Attach(HWND wnd) {
  m_hWnd = wnd;
  SetPropA(wnd, kObjectProp, this);
}

bool CWnd::SubclassWindow(HWND wnd) {
  if (wnd == nullptr || m_hWnd != nullptr || FromHandlePermanent(wnd) != nullptr) return false;
  Attach(wnd);
  m_pfnSuper = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::WndProcThunk)));
  return true;
}

bool CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
  if (parent == nullptr) return false;
  return SubclassWindow(::GetDlgItem(parent->m_hWnd, static_cast<int>(id)));
}

HWND CWnd::UnsubclassWindow() {
  HWND wnd = m_hWnd;
  if (wnd == nullptr) return nullptr;
  if (m_pfnSuper != nullptr) {
    SetWindowLongPtrA(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
  }
  RemovePropA(wnd, kObjectProp);
  m_pfnSuper = nullptr;
  m_hWnd = nullptr;
  return wnd;
}

void CWnd::HookWindowCreate(CWnd* wnd) {
  g_pWndInit = wnd;
  if (g_hCbtHook == nullptr) {
    g_hCbtHook = SetWindowsHookExA(WH_CBT, &CWnd::CbtHook, nullptr, GetCurrentThreadId());
  }
}

bool CWnd::UnhookWindowCreate() {
  if (g_hCbtHook != nullptr) {
    UnhookWindowsHookEx(g_hCbtHook);
    g_hCbtHook = nullptr;
  }
  bool attached = g_pWndInit == nullptr;
  g_pWndInit = nullptr;
  return attached;
}

namespace {
// Windows of an input method (the class "IME", or a class with CS_IME), which East Asian
// Windows creates on the thread of its own accord, also while a framework window is created.
bool IsInputMethodWindow(HWND wnd) {
  char name[8] = "";
  if (GetClassNameA(wnd, name, sizeof name) > 0 && lstrcmpiA(name, "IME") == 0) return true;
  return (GetClassLongPtrA(wnd, GCL_STYLE) & CS_IME) != 0;
}
}  // namespace

LRESULT CALLBACK CWnd::CbtHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND && g_pWndInit != nullptr && !IsInputMethodWindow(reinterpret_cast<HWND>(wParam))) {
    CWnd* wnd = g_pWndInit;
    g_pWndInit = nullptr;
    try {
      wnd->SubclassWindow(reinterpret_cast<HWND>(wParam));
    } catch (...) {
      AfxReportCurrentException();
    }
  }
  return CallNextHookEx(g_hCbtHook, code, wParam, lParam);
}

LRESULT CALLBACK CWnd::WndProcThunk(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  CWnd* obj = FromHandlePermanent(wnd);
  if (obj == nullptr) return ::DefWindowProcA(wnd, msg, wParam, lParam);
  ++obj->m_nDispatchDepth;
  LRESULT r = 0;
  // No exception may unwind through the system's code that called this procedure: it is
  // reported here and the window decides what the message answers.
  try {
    r = obj->WindowProc(msg, wParam, lParam);
  } catch (...) {
    AfxReportCurrentException();
    r = 0;
    try {
      obj->OnHandlerException(msg, &r);
    } catch (...) {
      AfxReportCurrentException();
    }
  }
  if (msg == WM_NCDESTROY) {
    // Detach first: PostNcDestroy may delete the object.
    if (obj->m_hWnd == wnd) obj->UnsubclassWindow();
    CWinApp* app = AfxGetApp();
    if (app != nullptr && app->m_pMainWnd == obj) {
      app->m_pMainWnd = nullptr;
      PostQuitMessage(0);
    }
    // A handler of this object further up the stack (a command that closed its own window)
    // still runs on it: PostNcDestroy waits until the outermost dispatch has returned.
    obj->m_bNcDestroyPending = true;
  }
  if (--obj->m_nDispatchDepth == 0 && obj->m_bNcDestroyPending) {
    obj->m_bNcDestroyPending = false;
    obj->PostNcDestroy();
  }
  return r;
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  // The message being handled goes back to the outer one however this dispatch ends.
  struct Restore {
    CurrentMsg& current;
    CurrentMsg saved;
    ~Restore() { current = saved; }
  } restore{m_current, m_current};
  m_current = {msg, wParam, lParam};
  LRESULT result = 0;
  bool handled = OnWndMsg(msg, wParam, lParam, &result);
  if (!handled && msg == WM_COMMAND) {
    handled = RouteCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
    result = 0;
  }
  if (!handled) result = DefWindowProc(msg, wParam, lParam);
  return result;
}

void CWnd::OnHandlerException(UINT msg, LRESULT* result) {
  switch (msg) {
    case WM_NCCREATE:
      *result = FALSE;  // the window is not created
      break;
    case WM_CREATE:
      *result = -1;
      break;
    case WM_PAINT:
      // Unvalidated, the window would be sent WM_PAINT again at once, for ever.
      ::ValidateRect(m_hWnd, nullptr);
      break;
    default:
      break;
  }
}

LRESULT CWnd::Default() { return DefWindowProc(m_current.msg, m_current.wParam, m_current.lParam); }

LRESULT CWnd::DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (m_pfnSuper != nullptr) return CallWindowProcA(m_pfnSuper, m_hWnd, msg, wParam, lParam);
  return ::DefWindowProcA(m_hWnd, msg, wParam, lParam);
}

bool CWnd::RouteCommand(UINT id, UINT code, HWND control) {
  CWinApp* app = AfxGetApp();
  return app != nullptr && app->OnCmdMsg(id, code, control);
}

bool CWnd::OnWndMsg(UINT msg, WPARAM, LPARAM lParam, LRESULT* result) {
  switch (msg) {
    case WM_DRAWITEM: {
      auto* dis = reinterpret_cast<LPDRAWITEMSTRUCT>(lParam);
      CWnd* child = dis ? FromHandlePermanent(dis->hwndItem) : nullptr;
      if (child == nullptr || child == this) return false;
      child->DrawItem(dis);
      *result = TRUE;
      return true;
    }
    case WM_HELP: {
      // The help key becomes the standard help command, which the application routes.
      CWinApp* app = AfxGetApp();
      CWnd* target = (app && app->m_pMainWnd) ? app->m_pMainWnd : this;
      ::SendMessageA(target->m_hWnd, WM_COMMAND, ID_HELP, 0);
      *result = TRUE;
      return true;
    }
    default:
      return false;
  }
}

void CWnd::WinHelp(DWORD_PTR data, UINT cmd) {
  CWinApp* app = AfxGetApp();
  if (app == nullptr || app->m_strHelpFilePath.empty()) return;
  ::WinHelpA(m_hWnd, app->m_strHelpFilePath.c_str(), cmd, data);
}

BOOL CWnd::DestroyWindow() {
  if (m_hWnd == nullptr) return FALSE;
  return ::DestroyWindow(m_hWnd);
}

std::string CWnd::GetWindowText() const { return fw::GetWindowString(m_hWnd); }
