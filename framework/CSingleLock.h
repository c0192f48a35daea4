// Holds one mutex for its owner; a lock still held when the object dies is released.
#pragma once
#include <windows.h>
#include "CMutex.h"

class CSingleLock {
 public:
  explicit CSingleLock(CMutex* object, BOOL initialLock = FALSE);
  ~CSingleLock() { Unlock(); }
  CSingleLock(const CSingleLock&) = delete;
  CSingleLock& operator=(const CSingleLock&) = delete;

  // Only a wait that reports the mutex signalled takes it: a time-out, an abandoned mutex
  // or a failed wait does not.
  BOOL Lock(DWORD timeoutMs = INFINITE);
  BOOL Unlock();
  BOOL IsLocked() const { return m_bAcquired; }

 private:
  CMutex* m_pObject;
  BOOL m_bAcquired = FALSE;
};
