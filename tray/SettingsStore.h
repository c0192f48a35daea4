// The tray program's registry settings under HKEY_LOCAL_MACHINE. Every read is the
// framework's fw::ReadRegistryText with one of the buffer sizes below; every write is flushed.
#pragma once
#include <windows.h>
#include <string>

namespace settings {

constexpr char kAppKey[] = "SOFTWARE\\Velmora\\Corvane";
constexpr char kPoEKey[] = "SOFTWARE\\Velmora\\Corvane\\PoE";
constexpr char kTrayKey[] = "SOFTWARE\\Velmora\\Tessory\\Corvane";

// Buffer sizes of the readers.
constexpr DWORD kFlagLimit = 16;          // IPMTUNTFlag, BuildInfo
constexpr DWORD kServiceNameLimit = 128;  // ServiceName
constexpr DWORD kTextLimit = 256;         // ReadRegistryString

}  // namespace settings

// The shared reader (256 bytes). Null names report false before any registry call; an
// empty (or all-blank) value is stored as the empty text.
bool ReadRegistryString(const char* subkey, const char* valueName, std::string& out);

// Deletes a value; true exactly when it was deleted.
bool DeleteRegistryValue(const char* subkey, const char* valueName);

// The write pattern: creates the key when missing, writes REG_SZ with its terminating zero,
// flushes. Failures are silent; false when the key could not be created.
bool WriteRegistryText(const char* subkey, const char* valueName, const std::string& text);
