// Holds a critical section for the lifetime of a scope.
#pragma once
#include <windows.h>

class ScopedLock {
 public:
  explicit ScopedLock(CRITICAL_SECTION& section) : m_section(section) { EnterCriticalSection(&m_section); }
  ~ScopedLock() { LeaveCriticalSection(&m_section); }
  ScopedLock(const ScopedLock&) = delete;
  ScopedLock& operator=(const ScopedLock&) = delete;

 private:
  CRITICAL_SECTION& m_section;
};
