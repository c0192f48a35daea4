// The simulator's state files in the state folder (rassim_paths.h): the phonebook, the stored
// dial parameters, the established connections and the call log. Several processes use them,
// so every read-modify-write runs under one machine-wide mutex (StoreLock).
#pragma once

#include "IniFile.h"

#include <windows.h>

#include <string>

// Holds the state mutex while it lives. Callers may hold the simulator's own critical section
// first, never the other way round.
class StoreLock {
public:
  StoreLock();
  ~StoreLock();
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;
  bool Held() const { return m_held; }

private:
  bool m_held = false;
};

namespace SimStore {

void Init();     // DllMain, process attach
void Shutdown(); // DllMain, process detach by FreeLibrary

// Full path of a file in the state folder, creating the folder; empty when there is none.
std::string PathOf(const char* fileName);
bool LoadFile(const char* fileName, IniFile& ini); // under StoreLock
bool SaveFile(const char* fileName, const IniFile& ini);

// Appends one line (without its end) to calls.log.
void Log(const std::string& line);

// Pieces of log lines.
std::string Quote(const std::string& text); // "text" with \", \\ and \xHH escapes
std::string Hex(ULONG_PTR value);            // 0x00001004

// Established connections (connections.ini). Records whose drop time has passed are removed
// on every read. All under StoreLock, taken inside.
struct ConnectionRecord {
  ULONG_PTR handle = 0;
  std::string entry, deviceType, deviceName, phoneNumber, user;
  DWORD pid = 0;
  ULONGLONG dropAt = 0; // FILETIME (UTC, 100 ns) after which it is gone; 0 = never
};
ULONG_PTR NextHandle();
bool SaveConnection(const ConnectionRecord& rec);
bool RemoveConnection(ULONG_PTR handle);
bool FindConnection(ULONG_PTR handle, ConnectionRecord* out);
std::vector<ConnectionRecord> Connections();
ULONGLONG NowFileTime();

} // namespace SimStore
