// Rules of the tray program's start-up that have many cases, as pure functions.
#pragma once
#include <windows.h>
#include <string>

// Platform code of the tray program.
enum PlatformCode : int {
  kPlatformUnknown = 0,  // before detection
  kPlatformNT4 = 1,      // Windows NT, major version 4 or lower
  kPlatformWin9x = 2,    // Windows 95/98: the program loads the protocol components
  kPlatformNT5 = 3,      // Windows NT, major version 5 or higher
  kPlatformOther = 4,
};

// The ready-event name that an outside starter put on the command line (without the
// program name): the text after the first "/e\"" (else the first "-e\"") up to the next
// double quote. The command line's last character is never taken, so without a closing
// quote the name loses its last character; starters rely on that. Empty when no marker.
std::string ReadyEventNameFrom(const char* cmdLine);

// Platform code of a platform id and major version as GetVersionExA reports them.
int PlatformCodeFor(DWORD platformId, DWORD majorVersion);

// Asks |getVersion| (GetVersionExA) and sets |platform|; false, with |platform| unchanged,
// when it fails.
using GetVersionFn = BOOL(WINAPI*)(LPOSVERSIONINFOA);
bool DetectPlatformCode(GetVersionFn getVersion, int& platform);

// The URL poll period in ms from the registry text: the leading decimal number by the C
// library's atoi rules (leading blanks, optional sign, digits up to the first other
// character; out-of-range numbers saturate); 5000 when that number is 0.
UINT UrlPollPeriodFrom(const std::string& text);

// The NT 4 adjustment flag: set exactly when the trimmed text is "true".
bool IsAdjustedFlag(const std::string& trimmedText);
