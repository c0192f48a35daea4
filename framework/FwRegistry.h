// The registry text reader both programs use for their settings.
#pragma once
#include <windows.h>
#include <string>

namespace fw {

// Reads value |valueName| of |root|\|subkey| as text: the key is opened for query only, the
// data read into a buffer of |bufferSize| bytes (terminating zero included), cut at its first
// zero byte within the bytes the query returned (data of any type, with or without its
// terminator) and trimmed at both ends. A null name, a missing key or value and a value too
// long for the buffer all report false and leave |out| alone; nothing is reported. An empty
// or all-blank value succeeds with the empty text.
bool ReadRegistryText(HKEY root, const char* subkey, const char* valueName, DWORD bufferSize, std::string& out);

}  // namespace fw
