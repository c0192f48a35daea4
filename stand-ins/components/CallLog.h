// Call records of the component libraries, kept for tests in the Windows directory, and the
// switch that keeps them, and the failure switches, out of the shipping libraries.
#pragma once

#include <string>

namespace tz {

// True in builds with tests (TZ_TEST_HOOKS): every call is recorded and the failure switches
// in the registry are read. The shipping libraries do neither.
#if defined(TZ_TEST_HOOKS) && TZ_TEST_HOOKS
inline constexpr bool kTestHooks = true;
#else
inline constexpr bool kTestHooks = false;
#endif

// The Windows directory with a trailing backslash, or empty when it cannot be had.
std::string WindowsDirectory();

// Appends line (and CR LF) to fileName in the Windows directory. Failures are ignored:
// the record must never change what the library reports. Only in builds with test hooks.
void AppendCallLog(const char* fileName, const std::string& line);

}  // namespace tz
