// Where the RAS simulator keeps its configuration and state. Shared by the simulator and by
// the tests that set it up or inspect what it recorded.
#pragma once

#include <windows.h>

#include <cstring>

// Full path of the configuration file; when set (even to a missing file) it is the only one read.
#define RASSIM_CONFIG_ENV "RASSIM_CONFIG"
// Otherwise this file name is looked for in the folder of rasapi32.dll itself.
#define RASSIM_CONFIG_FILE "rassim.ini"
// Overrides the state folder (default: %WINDIR%\rassim\).
#define RASSIM_STATE_DIR_ENV "RASSIM_STATE_DIR"
#define RASSIM_STATE_SUBDIR "rassim"

#define RASSIM_PHONEBOOK_FILE "phonebook.ini"
#define RASSIM_DIALPARAMS_FILE "dialparams.ini"
#define RASSIM_CONNECTIONS_FILE "connections.ini"
#define RASSIM_CALL_LOG_FILE "calls.log"

// Writes the state folder, with a trailing backslash, into out. False when it does not fit.
// The folder is not created here.
inline bool RasSimStateDir(char* out, size_t cap) {
  if (!out || cap == 0) return false;
  out[0] = '\0';
  char dir[MAX_PATH * 2];
  DWORD n = GetEnvironmentVariableA(RASSIM_STATE_DIR_ENV, dir, sizeof dir);
  if (n == 0 || n >= sizeof dir) {
    UINT w = GetWindowsDirectoryA(dir, MAX_PATH);
    if (w == 0 || w >= MAX_PATH) return false;
    size_t len = strlen(dir);
    if (len > 0 && dir[len - 1] != '\\') strcat(dir, "\\");
    strcat(dir, RASSIM_STATE_SUBDIR);
  }
  size_t len = strlen(dir);
  bool slash = len > 0 && (dir[len - 1] == '\\' || dir[len - 1] == '/');
  if (len + (slash ? 0 : 1) + 1 > cap) return false;
  memcpy(out, dir, len);
  if (!slash) out[len++] = '\\';
  out[len] = '\0';
  return true;
}

// Full path of one of the RASSIM_*_FILE names inside the state folder.
inline bool RasSimStateFile(const char* name, char* out, size_t cap) {
  if (!name || !RasSimStateDir(out, cap)) return false;
  size_t len = strlen(out), add = strlen(name);
  if (len + add + 1 > cap) {
    out[0] = '\0';
    return false;
  }
  memcpy(out + len, name, add + 1);
  return true;
}
