// A document's file while it is loaded or stored: the stream that Serialize reads or writes.
#pragma once
#include <windows.h>

class CArchive {
 public:
  enum Mode { store = 0, load = 1 };
  CArchive(HANDLE file, Mode mode) : m_hFile(file), m_nMode(mode) {}

  bool IsStoring() const { return m_nMode == store; }
  bool IsLoading() const { return m_nMode == load; }

  // Both report how many bytes moved; a short count means the end of the file or a failure.
  DWORD Read(void* buffer, DWORD size);
  DWORD Write(const void* buffer, DWORD size);

  HANDLE m_hFile;
  Mode m_nMode;
};
