// The runtime text file of TzSetupUtils: what the components found on this machine.
#pragma once

#include <windows.h>

#include <string>

#include "AdapterRegistry.h"

namespace tz {

// The file's text (CR LF lines) for the platform, at the given local time.
std::string FormatRuntimeText(NetPlatform platform, const OSVERSIONINFOA& version, const SYSTEMTIME& now,
                              const std::string& comment);

// Writes the text to path, replacing the file. Returns a TZSU status.
DWORD WriteRuntimeFile(const char* path, const std::string& comment, NetPlatform platform);

}  // namespace tz
