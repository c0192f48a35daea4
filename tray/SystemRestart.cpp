#include "SystemRestart.h"

const SystemRestart& SystemRestart::System() {
  static const SystemRestart table = {&LookupPrivilegeValueA, &OpenProcessToken, &AdjustTokenPrivileges,
                                      &CloseHandle, &ExitWindowsEx};
  return table;
}

bool SystemRestart::Request(const std::function<void()>& recordDone) const {
  LUID luid{};
  if (!pfnLookupPrivilegeValue(nullptr, "SeShutdownPrivilege", &luid)) return false;
  HANDLE token = nullptr;
  if (!pfnOpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) return false;
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Luid = luid;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  static_assert(sizeof(TOKEN_PRIVILEGES) == 16, "one privilege entry");
  SetLastError(ERROR_SUCCESS);
  BOOL adjusted = pfnAdjustTokenPrivileges(token, FALSE, &privileges, sizeof(privileges), nullptr, nullptr);
  bool enabled = adjusted && GetLastError() != ERROR_NOT_ALL_ASSIGNED;
  pfnCloseHandle(token);
  if (!enabled) return false;
  recordDone();
  pfnExitWindowsEx(EWX_REBOOT, 0);
  return true;
}
