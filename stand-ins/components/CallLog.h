// Call records of the component libraries, kept for tests in the Windows directory.
#pragma once

#include <string>

namespace tz {

// The Windows directory with a trailing backslash, or empty when it cannot be had.
std::string WindowsDirectory();

// Appends line (and CR LF) to fileName in the Windows directory. Failures are ignored:
// the record must never change what the library reports.
void AppendCallLog(const char* fileName, const std::string& line);

}  // namespace tz
