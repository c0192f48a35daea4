// Bounded registry reads shared by both component libraries.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace tz {

// Reads a text value (REG_SZ, or REG_EXPAND_SZ left unexpanded) of an open key. The data is
// taken up to the byte count the registry returns and cut at its first zero byte, so a
// missing terminator does no harm. Missing values and other types report false.
bool ReadRegText(HKEY key, const char* valueName, std::string& text);

// Same, for a value of subkey (may be null or empty: the key itself) of root.
bool ReadRegText(HKEY root, const char* subkey, const char* valueName, std::string& text);

// A REG_DWORD value of root\subkey, or 0 when it is missing or of another type or size.
DWORD ReadRegDword(HKEY root, const char* subkey, const char* valueName);

// Copies text into a fixed area of size bytes, cut to fit and always zero-terminated.
// A null area is skipped.
void CopyToArea(const std::string& text, char* area, std::size_t size);

// A caller's zero-terminated text, read no further than maxChars (null gives "null"), with
// control characters replaced so that it fits on one log line.
std::string LoggableText(const char* text, std::size_t maxChars = 512);

}  // namespace tz
