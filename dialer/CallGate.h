// Calls from another thread into an object that this thread will delete: a call gets the
// object only while the gate is open, and Close() returns once every call that got it has
// left. One critical section guards the pointer and the count of calls inside; it is never
// held while a caller works with the object, so a call may wait on the closing thread (a
// window call) without a deadlock: Close() keeps handling sent messages while it waits.
#pragma once
#include <windows.h>

class GateLock {
 public:
  GateLock() { InitializeCriticalSection(&m_cs); }
  ~GateLock() { DeleteCriticalSection(&m_cs); }
  GateLock(const GateLock&) = delete;
  GateLock& operator=(const GateLock&) = delete;
  void Enter() { EnterCriticalSection(&m_cs); }
  void Leave() { LeaveCriticalSection(&m_cs); }

 private:
  CRITICAL_SECTION m_cs;
};

class GateLocked {
 public:
  explicit GateLocked(GateLock& lock) : m_lock(lock) { m_lock.Enter(); }
  ~GateLocked() { m_lock.Leave(); }
  GateLocked(const GateLocked&) = delete;
  GateLocked& operator=(const GateLocked&) = delete;

 private:
  GateLock& m_lock;
};

// |slot| is the pointer the gate guards (it stays readable under the gate's name, for example
// as a program's global); |lock| also serves the object's own short assignments.
template <class T>
class CallGate {
 public:
  CallGate(T*& slot, GateLock& lock) : m_slot(slot), m_lock(lock) {}

  void Open(T* target) {
    GateLocked locked(m_lock);
    m_slot = target;
  }

  // The object, counted as a call inside, or nullptr when the gate is closed. Every
  // non-null result must be followed by Leave().
  T* Enter() {
    GateLocked locked(m_lock);
    if (m_slot != nullptr) ++m_inside;
    return m_slot;
  }

  void Leave() {
    GateLocked locked(m_lock);
    --m_inside;
  }

  // Closes the gate and returns what it held once no call is inside any more.
  T* Close() {
    T* target;
    {
      GateLocked locked(m_lock);
      target = m_slot;
      m_slot = nullptr;
    }
    for (;;) {
      {
        GateLocked locked(m_lock);
        if (m_inside == 0) break;
      }
      MSG msg;
      PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // delivers messages sent by other threads
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_SENDMESSAGE);
    }
    return target;
  }

  LONG Inside() {
    GateLocked locked(m_lock);
    return m_inside;
  }

 private:
  T*& m_slot;
  GateLock& m_lock;
  LONG m_inside = 0;
};
