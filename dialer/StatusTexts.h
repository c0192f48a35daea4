// Which string the status line shows for a RAS connection state or error code, and how its
// numbers are put in.
#pragma once
#include <windows.h>
#include <initializer_list>
#include <string>

// String id of the text of connection state |state|; 0 for a state without a text.
UINT StateTextId(DWORD state);

// String id of the text of RAS error |code|: "Error %u: ..." for the codes that have one,
// IDS_ERROR_GENERIC (246, with the code and the extended code) for every other.
UINT ErrorTextId(DWORD code);

// Replaces the "%u" markers of |format|, in order, with |values| in unsigned decimal. Markers
// beyond the values given stay as they are; nothing else in |format| is interpreted.
std::string FormatUnsigned(const std::string& format, std::initializer_list<DWORD> values);

// The status text of error |code| with extended code |extended|, from the string |format|
// of ErrorTextId(code): the generic text shows both numbers, the others only the code.
std::string FormatErrorText(const std::string& format, DWORD code, DWORD extended);
