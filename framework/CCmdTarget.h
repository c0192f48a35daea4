// Base of every object that receives messages or commands, and the message tables that bind
// window messages, commands and control notifications to handler methods.
//
//   class MyDialog : public CDialog { ... DECLARE_MESSAGE_MAP() };
//   BEGIN_MESSAGE_MAP(MyDialog, CDialog)
//     ON_MESSAGE(WM_PAINT, &MyDialog::OnPaintMsg)       // LRESULT (WPARAM, LPARAM)
//     ON_COMMAND(IDOK, &MyDialog::OnConnect)            // void ()
//     ON_EN_CHANGE(1000, &MyDialog::OnTextChanged)      // void ()
//   END_MESSAGE_MAP()
//
// A class's table is searched first, then its base class's.
#pragma once
#include <windows.h>

namespace fw {

enum class Sig : unsigned char { End, Msg, Cmd };

template <class T>
struct MsgEntry {
  UINT message;  // WM_xxx; WM_COMMAND for commands and control notifications
  UINT code;     // notification code of WM_COMMAND (0 for menu commands and BN_CLICKED)
  UINT id;       // command or control identifier
  Sig sig;
  LRESULT (T::*pfnMsg)(WPARAM, LPARAM);
  void (T::*pfnCmd)();
};

// Runs the first entry that matches; true when one did.
template <class T>
bool DispatchEntries(T* target, const MsgEntry<T>* e, UINT msg, WPARAM wParam, LPARAM lParam,
                     LRESULT* result) {
  for (; e->sig != Sig::End; ++e) {
    if (e->message != msg) continue;
    if (msg == WM_COMMAND) {
      UINT id = LOWORD(wParam), code = HIWORD(wParam);
      // Menu commands come with code 0, accelerators with 1; both reach an ON_COMMAND entry.
      bool codeMatches = e->code == code || (e->code == 0 && code == 1 && lParam == 0);
      if (e->id != id || !codeMatches) continue;
    }
    if (e->sig == Sig::Msg) {
      *result = (target->*(e->pfnMsg))(wParam, lParam);
    } else {
      (target->*(e->pfnCmd))();
      *result = 0;
    }
    return true;
  }
  return false;
}

}  // namespace fw

class CCmdTarget {
 public:
  CCmdTarget() = default;
  CCmdTarget(const CCmdTarget&) = delete;
  CCmdTarget& operator=(const CCmdTarget&) = delete;
  virtual ~CCmdTarget() = default;

  // Looks |msg| up in the message tables of the object's class and its bases.
  virtual bool OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);

  // Runs command |id| (with notification |code|) if this object's tables bind it.
  bool OnCmdMsg(UINT id, UINT code, HWND control = nullptr);
};

#define DECLARE_MESSAGE_MAP() \
 public:                      \
  bool OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                               \
  bool theClass::OnWndMsg(UINT msg_, WPARAM wParam_, LPARAM lParam_, LRESULT* result_) { \
    typedef theClass ThisClass;                                                              \
    typedef baseClass TheBaseClass;                                                          \
    static const fw::MsgEntry<ThisClass> entries_[] = {
#define ON_MESSAGE(msg, fn) \
  {(msg), 0, 0, fw::Sig::Msg, static_cast<LRESULT (ThisClass::*)(WPARAM, LPARAM)>(fn), nullptr},
#define ON_CONTROL(code, id, fn) \
  {WM_COMMAND, (code), (id), fw::Sig::Cmd, nullptr, static_cast<void (ThisClass::*)()>(fn)},
#define ON_COMMAND(id, fn) ON_CONTROL(0, id, fn)
#define ON_BN_CLICKED(id, fn) ON_CONTROL(BN_CLICKED, id, fn)
#define ON_EN_CHANGE(id, fn) ON_CONTROL(EN_CHANGE, id, fn)
#define END_MESSAGE_MAP()                                                                     \
  {0, 0, 0, fw::Sig::End, nullptr, nullptr}                                                   \
  }                                                                                           \
  ;                                                                                           \
  if (fw::DispatchEntries<ThisClass>(this, entries_, msg_, wParam_, lParam_, result_)) return true; \
  return TheBaseClass::OnWndMsg(msg_, wParam_, lParam_, result_);                             \
  }
