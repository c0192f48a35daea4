// The TzSetupUtils functions the tray program calls, as a table, and the call sequences it
// runs on them. The program uses System(); tests pass a table whose calls fail on demand.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include "TzSetupUtils.h"

struct SetupUtilsTable {
  TZSU_STATUS(WINAPI* pfnOpen)(TZSU_HANDLE*);                                          // 1
  TZSU_STATUS(WINAPI* pfnClose)(TZSU_HANDLE*);                                         // 2
  TZSU_STATUS(WINAPI* pfnPrepare)(TZSU_HANDLE);                                        // 3
  TZSU_STATUS(WINAPI* pfnGetEntryCount)(TZSU_HANDLE, LONG*);                           // 5
  TZSU_STATUS(WINAPI* pfnBeginEnum)(TZSU_HANDLE);                                      // 6
  TZSU_STATUS(WINAPI* pfnNextEntry)(TZSU_HANDLE, DWORD*, char*, char*, char*, char*, char*, char*, char*,
                                    char*, char*);                                    // 7
  TZSU_STATUS(WINAPI* pfnEndEnum)(TZSU_HANDLE);                                        // 8
  TZSU_STATUS(WINAPI* pfnWriteRuntimeFile)(TZSU_HANDLE, const char*, const char*);     // 11
  TZSU_STATUS(WINAPI* pfnAdjustNetworkSettings)(DWORD);                                // 34

  // The library the program is linked against (by ordinal).
  static const SetupUtilsTable& System();

  // Adapter check, sequence 1, 3, 5, 6, 7 (up to count times), 8, 2: true when an entry's
  // description contains |marker| (case-sensitive). Any failing step means not found.
  bool FindAdapter(const char* marker) const;

  // Runtime file, sequence 1, 3, 11, 2: |windowsDir| supplies the Windows directory with
  // its trailing backslash (false: give up); |fileName| is appended to it.
  bool WriteRuntimeFile(const std::function<bool(std::string&)>& windowsDir, const char* fileName) const;
};
