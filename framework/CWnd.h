// Thin wrapper of a window handle with message-table dispatch. A CWnd is attached to its
// window while the window exists; the window never owns the object (PostNcDestroy lets a
// class that wants it delete itself).
#pragma once
#include <windows.h>
#include <string>
#include "CCmdTarget.h"

// Standard command of the help key and the Help menu.
constexpr UINT ID_HELP = 0xE146;  // 57670

class CWnd : public CCmdTarget {
 public:
  CWnd() = default;
  ~CWnd() override;

  HWND m_hWnd = nullptr;
  HWND GetSafeHwnd() const { return m_hWnd; }

  // The framework object attached to |wnd|, or nullptr.
  static CWnd* FromHandlePermanent(HWND wnd);

  // Attaches this object to an existing window and routes its messages through the tables;
  // the window's own procedure becomes the default handling.
  bool SubclassWindow(HWND wnd);
  bool SubclassDlgItem(UINT id, CWnd* parent);
  HWND UnsubclassWindow();

  // Dispatches one message: message tables first, then the default handling.
  virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
  // The default handling of the message being dispatched.
  LRESULT Default();
  virtual LRESULT DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam);

  // Command routing when the window's own tables do not bind a command: here the
  // application object; frames add their view and document.
  virtual bool RouteCommand(UINT id, UINT code, HWND control);

  // Help hook: the framework's help handling ends here. The default opens the
  // application's help file.
  virtual void WinHelp(DWORD_PTR data, UINT cmd = HELP_CONTEXT);

  // Owner-drawn controls draw themselves: the parent passes WM_DRAWITEM on.
  virtual void DrawItem(LPDRAWITEMSTRUCT) {}

  // Called after the window is gone (WM_NCDESTROY), with the object detached, once no
  // message handler of the object is running any more.
  virtual void PostNcDestroy() {}

  // A handler of this window let an exception out while handling |msg|; the framework has
  // already reported it. Sets what the message answers (preset 0). The default fails the
  // creation messages and validates a paint; the window otherwise goes on.
  virtual void OnHandlerException(UINT msg, LRESULT* result);

  BOOL DestroyWindow();
  HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
  void SetWindowText(const std::string& text) { ::SetWindowTextA(m_hWnd, text.c_str()); }
  std::string GetWindowText() const;
  BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
  BOOL EnableWindow(BOOL enable) { return ::EnableWindow(m_hWnd, enable); }
  void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
  LRESULT SendMessage(UINT msg, WPARAM w = 0, LPARAM l = 0) { return ::SendMessageA(m_hWnd, msg, w, l); }
  BOOL PostMessage(UINT msg, WPARAM w = 0, LPARAM l = 0) { return ::PostMessageA(m_hWnd, msg, w, l); }

  bool OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

  static LRESULT CALLBACK WndProcThunk(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

 protected:
  // Makes the next window this thread creates belong to |wnd| from its very first message
  // (WM_NCCREATE, WM_CREATE), as dialogs created by the system need.
  static void HookWindowCreate(CWnd* wnd);
  // True when the hooked window was created (the object got attached to it).
  static bool UnhookWindowCreate();

  void Attach(HWND wnd);

 private:
  struct CurrentMsg { UINT msg; WPARAM wParam; LPARAM lParam; };
  CurrentMsg m_current{0, 0, 0};
  WNDPROC m_pfnSuper = nullptr;
  int m_nDispatchDepth = 0;          // nested WindowProc calls running on this object
  bool m_bNcDestroyPending = false;  // window gone while a handler was still running

  static LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam);
};
