/*
 * TzOSControl: loads and unloads the protocol components (Windows 95/98).
 *
 * Calling convention: __cdecl, exported by undecorated name (TzOSControl.def), so the
 * 32-bit import is plain "TzOSInitialize" etc. Results are Win32 BOOLs: non-zero = success.
 *
 * Order expected by the library: TzOSInitialize, then TzOSLoadAll; to unload, TzOSUnloadAll
 * with the same program name, then TzOSExit. Loading may follow again.
 */
#ifndef TZ_OSCONTROL_H
#define TZ_OSCONTROL_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A test build of the library may define it as the other convention, to prove that the
   tray program copes with either. */
#ifndef TZOSAPI
#define TZOSAPI __cdecl
#endif

/* Prepares the library; must succeed before TzOSLoadAll. Calling it again is harmless. */
BOOL TZOSAPI TzOSInitialize(void);

/* Loads the components on behalf of the named program (zero-terminated, e.g. "Corvane"). */
BOOL TZOSAPI TzOSLoadAll(const char* pszProgramName);

/* Unloads them; refused unless this process loaded them under the same name. */
BOOL TZOSAPI TzOSUnloadAll(const char* pszProgramName);

/* Ends the library's use; refused while the components are still loaded. */
BOOL TZOSAPI TzOSExit(void);

#ifdef __cplusplus
}
#endif

#endif /* TZ_OSCONTROL_H */
