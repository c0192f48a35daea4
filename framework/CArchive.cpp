#include "CArchive.h"

DWORD CArchive::Read(void* buffer, DWORD size) {
  DWORD got = 0;
  if (!IsLoading() || !ReadFile(m_hFile, buffer, size, &got, nullptr)) return 0;
  return got;
}

DWORD CArchive::Write(const void* buffer, DWORD size) {
  DWORD put = 0;
  if (!IsStoring() || !WriteFile(m_hFile, buffer, size, &put, nullptr)) return 0;
  return put;
}
