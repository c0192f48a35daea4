// Text helpers shared by both programs: resource strings, %1 insertion, trimming.
#pragma once
#include <windows.h>
#include <string>

namespace fw {

// Loads string |id| from the module's string table; empty when it does not exist.
std::string LoadStr(UINT id, HINSTANCE inst = nullptr);

// Replaces every "%1" in |format| with |arg| (the framework's message formatting).
std::string FormatPercent1(const std::string& format, const std::string& arg);

// Removes leading and trailing white space (blank, tab, CR, LF, VT, FF).
std::string Trim(const std::string& text);

// Text of a zero-terminated buffer that may lack its terminator: stops at the first zero
// byte within |size| bytes.
std::string FromBuffer(const char* data, size_t size);

// Text of a window, bounded by the length the window reports. The buffer it is read through
// is wiped before it is freed (the window may be a password edit).
std::string GetWindowString(HWND wnd);

// Zeroes the whole buffer of |text| (its capacity, not only its length) and empties it.
void WipeString(std::string& text);
// Wipes |dest|, then copies |src| into it: the text |dest| held does not stay behind in a
// freed buffer.
void AssignSecret(std::string& dest, const std::string& src);

}  // namespace fw
