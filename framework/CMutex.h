// A named or unnamed kernel mutex, owned by the object: the handle closes with it.
#pragma once
#include <windows.h>

class CMutex {
 public:
  // A failed creation leaves m_hObject null; every wait on it then fails.
  explicit CMutex(BOOL initiallyOwn = FALSE, const char* name = nullptr);
  ~CMutex();
  CMutex(const CMutex&) = delete;
  CMutex& operator=(const CMutex&) = delete;

  BOOL Unlock() { return m_hObject != nullptr && ReleaseMutex(m_hObject); }

  HANDLE m_hObject = nullptr;
};
