// Reading the system's machine-wide settings (HKEY_LOCAL_MACHINE), which the dialer shares
// with the tray program and never writes.
#pragma once
#include <windows.h>
#include <string>

// The key of the system's machine-wide settings.
constexpr char kMachineSettingsKey[] = "SOFTWARE\\Velmora\\Corvane";

// Text of registry data as the query returned it: cut at the first zero byte within |size|
// bytes (data without a terminator ends at |size|), white space trimmed at both ends. Data of
// any type is read this way.
std::string TextFromRegistryData(const BYTE* data, DWORD size);

// Reads value |valueName| of |subkey| under HKEY_LOCAL_MACHINE into a buffer of |bufferSize|
// bytes (terminating zero included) as text. False, with |out| untouched, when an argument is
// null, the key or the value is missing, or the data does not fit the buffer.
bool ReadMachineText(const char* subkey, const char* valueName, DWORD bufferSize, std::string& out);

// The dialer's settings reader: ReadMachineText with a buffer of 256 bytes.
bool ReadMachineString(const char* subkey, const char* valueName, std::string& out);
