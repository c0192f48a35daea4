/*
 * TzSetupUtils: network configuration helpers of the protocol components.
 *
 * Exported by ordinal only (TzSetupUtils.def, NONAME); the names below exist only in this
 * header and in the import library, which imports every function by its ordinal.
 * Calling convention: WINAPI (__stdcall).
 *
 * Every function returns a 32-bit status: 0 = success, otherwise one of TZSU_E_* below.
 * A configuration handle is a 32-bit value, never 0 while open. Texts are zero-terminated
 * 8-bit strings; every output text is cut to fit its area and always zero-terminated.
 *
 * Sequences: adapter check 1, 3, 5, 6, 7 (up to count times), 8, 2;
 *            runtime file 1, 3, 11, 2.  Every successful 1 is followed by a 2.
 */
#ifndef TZ_SETUPUTILS_H
#define TZ_SETUPUTILS_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A test build of the library may define it as the other convention, to prove that the
   tray program copes with either. */
#ifndef TZSUAPI
#define TZSUAPI WINAPI
#endif

typedef DWORD TZSU_HANDLE;
typedef DWORD TZSU_STATUS;

/* Sizes of the text areas of TzSuNextEntry, terminating zero included. */
#define TZSU_SHORT_TEXT 32
#define TZSU_LONG_TEXT 128

/* Status codes. Callers need only tell 0 from non-zero; the numbers are for diagnosis. */
#define TZSU_OK 0
#define TZSU_E_INVALID_ARG 1        /* null pointer, empty path, MTU out of range */
#define TZSU_E_INVALID_HANDLE 2     /* handle not open (never opened, or closed) */
#define TZSU_E_TOO_MANY_HANDLES 3   /* all handles of the process are open */
#define TZSU_E_NOT_PREPARED 4       /* 5, 6, 7 or 11 before 3 */
#define TZSU_E_NOT_ENUMERATING 5    /* 7 or 8 without a 6 */
#define TZSU_E_NO_MORE_ENTRIES 6    /* 7 after the last entry */
#define TZSU_E_PLATFORM 7           /* platform unknown, or the call does not apply to it */
#define TZSU_E_NO_ADAPTER 8         /* 34: no Velmora Tolvek adapter with a service to adjust */
#define TZSU_E_REGISTRY 9           /* a registry key could not be read or written */
#define TZSU_E_FILE 10              /* the runtime file could not be written */
#define TZSU_E_OUT_OF_MEMORY 11
#define TZSU_E_INJECTED 99          /* failure requested by the test switch FailOrdinal */

/* Ordinal 1: opens a configuration handle into *phConfig (set only on success). */
TZSU_STATUS TZSUAPI TzSuOpen(TZSU_HANDLE* phConfig);

/* Ordinal 2: closes *phConfig and sets it to 0. */
TZSU_STATUS TZSUAPI TzSuClose(TZSU_HANDLE* phConfig);

/* Ordinal 3: prepares the handle (detects the platform); needed before 5, 6, 7 and 11. */
TZSU_STATUS TZSUAPI TzSuPrepare(TZSU_HANDLE hConfig);

/* Ordinal 5: number of installed network adapter entries into *plCount. */
TZSU_STATUS TZSUAPI TzSuGetEntryCount(TZSU_HANDLE hConfig, LONG* plCount);

/* Ordinal 6: begins (or restarts) the enumeration of the entries. */
TZSU_STATUS TZSUAPI TzSuBeginEnum(TZSU_HANDLE hConfig);

/*
 * Ordinal 7: fetches the next entry. Any output may be null (it is then skipped); on failure
 * the outputs are left untouched. Outputs in order:
 *   pdwNumber       number of the entry's registry key ("0003" gives 3)
 *   szKeyName       the key name itself, e.g. "0003"
 *   szDescription   DriverDesc, the adapter's description
 *   szService       NT: Ndi\Service (the driver's service); 95/98: DeviceVxDs
 *   szProvider      ProviderName
 *   szDriverDate    DriverDate
 *   szDriverVersion DriverVersion
 *   szInfPath       InfPath
 *   szInfSection    InfSection
 *   szHardwareId    NT: MatchingDeviceId; 95/98: Ndi\DeviceID
 * A value that is missing or not a text gives the empty text.
 */
TZSU_STATUS TZSUAPI TzSuNextEntry(TZSU_HANDLE hConfig, DWORD* pdwNumber,
                                  char szKeyName[TZSU_SHORT_TEXT],
                                  char szDescription[TZSU_LONG_TEXT],
                                  char szService[TZSU_SHORT_TEXT],
                                  char szProvider[TZSU_SHORT_TEXT],
                                  char szDriverDate[TZSU_SHORT_TEXT],
                                  char szDriverVersion[TZSU_SHORT_TEXT],
                                  char szInfPath[TZSU_LONG_TEXT],
                                  char szInfSection[TZSU_SHORT_TEXT],
                                  char szHardwareId[TZSU_LONG_TEXT]);

/* Ordinal 8: ends the enumeration. */
TZSU_STATUS TZSUAPI TzSuEndEnum(TZSU_HANDLE hConfig);

/* Ordinal 11: writes the runtime text file at pszPath (replacing it); a non-empty
   pszComment is added as a line of its own. */
TZSU_STATUS TZSUAPI TzSuWriteRuntimeFile(TZSU_HANDLE hConfig, const char* pszPath,
                                         const char* pszComment);

/* Ordinal 34: stores the IP MTU (68..65535) for the Velmora Tolvek adapter where the
   Windows NT TCP/IP stack reads it; takes effect after a restart. Windows NT only. */
TZSU_STATUS TZSUAPI TzSuAdjustNetworkSettings(DWORD dwMtu);

#ifdef __cplusplus
}
#endif

#endif /* TZ_SETUPUTILS_H */
