#include "CRecentFileList.h"

#include <cstdio>

#include "CWinApp.h"

CRecentFileList::CRecentFileList(UINT start, const char* section, const char* entryFormat, int size)
    : m_nStart(start),
      m_strSectionName(section ? section : ""),
      m_strEntryFormat(entryFormat ? entryFormat : ""),
      m_arrNames(static_cast<size_t>(size > 0 ? size : 0)) {}

std::string CRecentFileList::EntryName(int index) const {
  // _snprintf (in the shipping build the runtime's small one on wvsprintfA): a C99 printf
  // family would add its whole formatting engine to the program for this one line. It leaves a
  // text that fills the buffer unterminated, hence the last byte.
  char name[64];
  _snprintf(name, sizeof(name) - 1, m_strEntryFormat.c_str(), index + 1);
  name[sizeof(name) - 1] = '\0';
  return name;
}

void CRecentFileList::Add(const std::string& path) {
  if (path.empty() || m_arrNames.empty()) return;
  size_t at = m_arrNames.size() - 1;
  for (size_t i = 0; i < m_arrNames.size(); ++i) {
    if (lstrcmpiA(m_arrNames[i].c_str(), path.c_str()) == 0) {
      at = i;
      break;
    }
  }
  for (size_t i = at; i > 0; --i) m_arrNames[i] = m_arrNames[i - 1];
  m_arrNames[0] = path;
}

void CRecentFileList::Remove(int index) {
  if (index < 0 || index >= GetSize()) return;
  for (size_t i = static_cast<size_t>(index); i + 1 < m_arrNames.size(); ++i) m_arrNames[i] = m_arrNames[i + 1];
  m_arrNames.back().clear();
}

void CRecentFileList::ReadList() {
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return;
  for (int i = 0; i < GetSize(); ++i) {
    m_arrNames[static_cast<size_t>(i)] = app->GetProfileString(m_strSectionName.c_str(), EntryName(i).c_str());
  }
}

void CRecentFileList::WriteList() {
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return;
  std::string root = app->GetProfileKeyPath();
  if (root.empty()) return;
  RegDeleteKeyA(HKEY_CURRENT_USER, (root + "\\" + m_strSectionName).c_str());
  for (int i = 0; i < GetSize(); ++i) {
    const std::string& name = m_arrNames[static_cast<size_t>(i)];
    if (!name.empty()) app->WriteProfileString(m_strSectionName.c_str(), EntryName(i).c_str(), name.c_str());
  }
}
