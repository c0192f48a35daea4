// The recent-file list of the per-user profile: |size| entries in the profile section
// |section|, named by |entryFormat| with the entry's number from 1 ("File%d").
#pragma once
#include <windows.h>
#include <string>
#include <vector>

class CRecentFileList {
 public:
  CRecentFileList(UINT start, const char* section, const char* entryFormat, int size);

  int GetSize() const { return static_cast<int>(m_arrNames.size()); }
  // Entry |index| from 0; empty when the place is free.
  const std::string& operator[](int index) const { return m_arrNames[static_cast<size_t>(index)]; }

  // Puts |path| first; an entry with the same path (letter case ignored) moves up.
  void Add(const std::string& path);
  void Remove(int index);

  void ReadList();
  // Rewrites the section: the old values go, the non-empty entries are written.
  void WriteList();

  UINT m_nStart;  // command id of the first entry
  std::string m_strSectionName;
  std::string m_strEntryFormat;

 private:
  std::string EntryName(int index) const;
  std::vector<std::string> m_arrNames;
};

// Command of the first recent-file entry.
constexpr UINT ID_FILE_MRU_FILE1 = 0xE110;  // 57616
