// The gate through which RAS's thread reaches the dialog: no call gets the object once the
// gate is closing, Close() waits for calls inside, and it keeps answering window messages
// that those calls send to the closing thread.
#include <windows.h>
#include <gtest/gtest.h>

#include <atomic>

#include "CallGate.h"

namespace {

struct Object {
  std::atomic<int> alive{1};
};

TEST(CallGate, ClosedGateLetsNoCallIn) {
  GateLock lock;
  Object* slot = nullptr;
  CallGate<Object> gate(slot, lock);
  EXPECT_EQ(nullptr, gate.Enter());
  Object o;
  gate.Open(&o);
  EXPECT_EQ(&o, slot) << "the slot is the pointer the program reads";
  Object* in = gate.Enter();
  EXPECT_EQ(&o, in);
  EXPECT_EQ(1, gate.Inside());
  gate.Leave();
  EXPECT_EQ(&o, gate.Close());
  EXPECT_EQ(nullptr, slot);
  EXPECT_EQ(nullptr, gate.Enter());
  EXPECT_EQ(nullptr, gate.Close());
}

struct Hammer {
  CallGate<Object>* gate;
  std::atomic<bool> stop{false};
  std::atomic<int> entered{0};
  std::atomic<int> violations{0};
};

DWORD WINAPI HammerThread(void* p) {
  auto* h = static_cast<Hammer*>(p);
  unsigned spin = GetCurrentThreadId();
  while (!h->stop) {
    Object* o = h->gate->Enter();
    if (o == nullptr) {
      Sleep(0);
      continue;
    }
    ++h->entered;
    if (o->alive != 1) ++h->violations;
    spin = spin * 1103515245u + 12345u;
    if (spin % 7 == 0) Sleep(1);
    if (o->alive != 1) ++h->violations;
    h->gate->Leave();
  }
  return 0;
}

TEST(CallGate, NoCallIsInsideOnceCloseHasReturned) {
  for (int round = 0; round < 50; ++round) {
    GateLock lock;
    Object* slot = nullptr;
    CallGate<Object> gate(slot, lock);
    Object o;
    Hammer h;
    h.gate = &gate;
    gate.Open(&o);
    HANDLE threads[4];
    for (HANDLE& t : threads) t = CreateThread(nullptr, 0, HammerThread, &h, 0, nullptr);
    Sleep(round % 5);
    ASSERT_EQ(&o, gate.Close());
    o.alive = 0;  // what deleting the object would do
    Sleep(2);
    h.stop = true;
    WaitForMultipleObjects(4, threads, TRUE, 10000);
    for (HANDLE t : threads) CloseHandle(t);
    ASSERT_EQ(0, h.violations.load()) << "round " << round;
    ASSERT_EQ(0, gate.Inside());
  }
}

struct Sender {
  CallGate<Object>* gate;
  HWND window;
  GateLock* lock;
  Object** slot;
  std::atomic<bool> inside{false};
  std::atomic<bool> answered{false};
};

DWORD WINAPI SenderThread(void* p) {
  auto* s = static_cast<Sender*>(p);
  if (s->gate->Enter() == nullptr) return 1;
  s->inside = true;
  // Close() empties the slot before it waits for the calls inside: from then on it is waiting.
  for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(1)) {
    GateLocked locked(*s->lock);
    if (*s->slot == nullptr) break;
  }
  DWORD_PTR result = 0;
  // A window call of the notifier: it waits for the window's thread, which is closing the gate.
  s->answered = SendMessageTimeoutA(s->window, WM_USER + 7, 0, 0, SMTO_NORMAL, 10000, &result) && result == 42;
  s->gate->Leave();
  return 0;
}

LRESULT CALLBACK AnswerProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_USER + 7) return 42;
  return DefWindowProcA(w, msg, wp, lp);
}

TEST(CallGate, CloseAnswersMessagesSentByCallsInside) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = AnswerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "TzGateTestWindow";
  RegisterClassA(&wc);
  HWND window = CreateWindowA("TzGateTestWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(nullptr, window);
  GateLock lock;
  Object* slot = nullptr;
  CallGate<Object> gate(slot, lock);
  Object o;
  gate.Open(&o);
  Sender s{&gate, window, &lock, &slot};
  HANDLE t = CreateThread(nullptr, 0, SenderThread, &s, 0, nullptr);
  for (DWORD start = GetTickCount(); !s.inside && GetTickCount() - start < 10000;) Sleep(1);
  ASSERT_TRUE(s.inside.load()) << "the sender never got inside";
  const DWORD start = GetTickCount();
  EXPECT_EQ(&o, gate.Close());
  EXPECT_LT(GetTickCount() - start, 5000u) << "Close waited for the sender's time-out";
  EXPECT_TRUE(s.answered.load()) << "the message sent from inside was not answered";
  WaitForSingleObject(t, 10000);
  CloseHandle(t);
  DestroyWindow(window);
}

}  // namespace
