#include "FailureSeam.h"

#include <cstdlib>
#include <new>

#include "FwStrings.h"

namespace {
thread_local bool t_failNext = false;

void* Allocate(std::size_t size) {
  if (t_failNext) {
    t_failNext = false;
    throw std::bad_alloc();
  }
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}

BOOL CALLBACK FindText(HWND child, LPARAM self) {
  auto* w = reinterpret_cast<seam::BoxWatcher*>(self);
  char cls[32] = {};
  GetClassNameA(child, cls, sizeof(cls));
  std::string t = fw::GetWindowString(child);
  if (lstrcmpiA(cls, "Static") == 0 && !t.empty()) w->text = t;
  return TRUE;
}

DWORD WINAPI Watch(void* p) {
  auto* w = static_cast<seam::BoxWatcher*>(p);
  for (int i = 0; i < w->polls && w->seen < w->expected; ++i) {
    HWND box = FindWindowA("#32770", w->caption.c_str());
    if (box != nullptr && IsWindowVisible(box)) {
      EnumChildWindows(box, &FindText, reinterpret_cast<LPARAM>(w));
      ++w->seen;
      PostMessageA(box, WM_COMMAND, IDOK, 0);
      // The box goes before the next one is looked for.
      for (int j = 0; j < 250 && IsWindow(box); ++j) Sleep(20);
    } else {
      Sleep(20);
    }
  }
  return 0;
}
}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace seam {

void FailNextAllocation() { t_failNext = true; }

bool TakePendingFailure() {
  const bool pending = t_failNext;
  t_failNext = false;
  return pending;
}

void BoxWatcher::Start() { thread = CreateThread(nullptr, 0, &Watch, this, 0, nullptr); }

void BoxWatcher::Join() {
  if (thread) {
    // The watcher reads this object: it must have ended before the object goes. Its loop is
    // bounded by |polls|.
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    thread = nullptr;
  }
}

}  // namespace seam
