#include "CMutex.h"

CMutex::CMutex(BOOL initiallyOwn, const char* name) {
  m_hObject = CreateMutexA(nullptr, initiallyOwn, name);
}

CMutex::~CMutex() {
  if (m_hObject != nullptr) CloseHandle(m_hObject);
}
