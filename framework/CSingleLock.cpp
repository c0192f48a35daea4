#include "CSingleLock.h"

CSingleLock::CSingleLock(CMutex* object, BOOL initialLock) : m_pObject(object) {
  if (initialLock) Lock();
}

BOOL CSingleLock::Lock(DWORD timeoutMs) {
  if (m_pObject == nullptr || m_pObject->m_hObject == nullptr) return FALSE;
  DWORD rc = WaitForSingleObject(m_pObject->m_hObject, timeoutMs);
  if (rc == WAIT_ABANDONED) {
    // The wait made this thread the owner even though it does not count as taken.
    ReleaseMutex(m_pObject->m_hObject);
  }
  m_bAcquired = rc == WAIT_OBJECT_0;
  return m_bAcquired;
}

BOOL CSingleLock::Unlock() {
  if (!m_bAcquired) return TRUE;
  m_bAcquired = FALSE;
  return m_pObject->Unlock();
}
