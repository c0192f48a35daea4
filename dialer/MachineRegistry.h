// Reading the system's machine-wide settings (HKEY_LOCAL_MACHINE), which the dialer shares
// with the tray program and never writes.
#pragma once
#include <windows.h>
#include <string>

// The key of the system's machine-wide settings.
constexpr char kMachineSettingsKey[] = "SOFTWARE\\Velmora\\Corvane";

// The dialer's settings reader's buffer, terminating zero included.
constexpr DWORD kMachineStringBufferSize = 256;

// Reads value |valueName| of |subkey| under HKEY_LOCAL_MACHINE by the framework's
// fw::ReadRegistryText with a buffer of 256 bytes: trimmed text, or false with |out|
// untouched when a name is null, the key or the value is missing, or the data does not fit.
bool ReadMachineString(const char* subkey, const char* valueName, std::string& out);
