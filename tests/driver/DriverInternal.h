// Helpers shared by the driver's source files.
#pragma once

#include <optional>
#include <string>

#include "UiDriver.h"

namespace uidriver::detail {

// Records `message` as this thread's LastError(); returns false for `return Fail(...)`.
bool Fail(const std::string& message);
void ClearError();
std::string Hex(UINT_PTR value);
std::string Quote(const std::string& text);
// The visible top-level windows of the thread's desktop, described, for failure messages.
std::string VisibleWindowList(DWORD pid = 0);
// Asks the probe DLL, loaded into the process that owns `window`, for an answer of `kind`
// (ProbeProtocol.h); empty with LastError() set when it could not.
std::optional<std::string> Probe(HWND window, DWORD kind, Ms timeout);

}  // namespace uidriver::detail
