// The restart request after the Windows NT 4 adjustment: enable the shutdown privilege,
// record that the adjustment is done, ask Windows to restart. The system calls come from a
// table so that tests can make each one fail.
#pragma once
#include <windows.h>
#include <functional>

struct SystemRestart {
  BOOL(WINAPI* pfnLookupPrivilegeValue)(LPCSTR, LPCSTR, PLUID);
  BOOL(WINAPI* pfnOpenProcessToken)(HANDLE, DWORD, PHANDLE);
  BOOL(WINAPI* pfnAdjustTokenPrivileges)(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD);
  BOOL(WINAPI* pfnCloseHandle)(HANDLE);
  BOOL(WINAPI* pfnExitWindowsEx)(UINT, DWORD);

  static const SystemRestart& System();

  // Runs |recordDone| and requests the restart only when the privilege was really enabled:
  // AdjustTokenPrivileges can succeed and still report ERROR_NOT_ALL_ASSIGNED, which means
  // it was not. Returns true when the restart was requested (whatever Windows answered).
  bool Request(const std::function<void()>& recordDone) const;
};
