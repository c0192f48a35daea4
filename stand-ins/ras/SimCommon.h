// Helpers shared by the simulator's exported functions: bounded copies between RAS records and
// strings, entry names, and the head of a call-log line.
#pragma once

#include "IniFile.h"
#include "SimStore.h"
#include "rassim_paths.h"
#include "RasRecords400.h"

#include <cstring>
#include <string>

namespace SimCommon {

// RAS codes the simulator returns (raserror.h / winerror.h).
constexpr DWORD kOk = 0;
constexpr DWORD kInvalidHandle = 6;        // ERROR_INVALID_HANDLE
constexpr DWORD kNotEnoughMemory = 8;      // ERROR_NOT_ENOUGH_MEMORY
constexpr DWORD kInvalidParameter = 87;    // ERROR_INVALID_PARAMETER
constexpr DWORD kInvalidName = 123;        // ERROR_INVALID_NAME
constexpr DWORD kAlreadyExists = 183;      // ERROR_ALREADY_EXISTS
constexpr DWORD kBufferTooSmall = 603;     // ERROR_BUFFER_TOO_SMALL
constexpr DWORD kBufferInvalid = 610;      // ERROR_BUFFER_INVALID
constexpr DWORD kCannotFindEntry = 623;    // ERROR_CANNOT_FIND_PHONEBOOK_ENTRY
constexpr DWORD kCannotWritePhonebook = 624; // ERROR_CANNOT_WRITE_PHONEBOOK
constexpr DWORD kInvalidSize = 632;        // ERROR_INVALID_SIZE
constexpr DWORD kPortNotAvailable = 633;   // ERROR_PORT_NOT_AVAILABLE
constexpr DWORD kAuthFailure = 691;        // ERROR_AUTHENTICATION_FAILURE

// The text of a fixed-size field, bounded by the field; false when no terminator lies inside.
inline bool ReadField(const char* field, size_t size, std::string* out) {
  const void* nul = memchr(field, 0, size);
  if (!nul) return false;
  out->assign(field, static_cast<const char*>(nul) - field);
  return true;
}

// Copies text into a field, cut to fit, always terminated.
inline void WriteField(char* field, size_t size, const std::string& text) {
  size_t n = text.size() < size ? text.size() : size - 1;
  memcpy(field, text.data(), n);
  field[n] = '\0';
}

// Reads a DWORD at the start of a caller's record without assuming its alignment.
inline DWORD RecordSize(const void* record) {
  DWORD v;
  memcpy(&v, record, sizeof v);
  return v;
}

// "RasDialA pid=1234" and so on.
inline std::string Head(const char* function) {
  return std::string(function) + " pid=" + std::to_string(GetCurrentProcessId());
}

inline std::string Code(DWORD rc) { return " rc=" + std::to_string(rc); }

inline std::string PhonebookTag(LPCSTR phonebook) {
  if (!phonebook || !*phonebook) return " phonebook=default";
  return " phonebook=" + SimStore::Quote(std::string(phonebook, strnlen(phonebook, MAX_PATH)));
}

// True when the phonebook holds the entry (names compare ignoring case).
inline bool EntryExists(const std::string& name) {
  StoreLock lock;
  IniFile pb;
  SimStore::LoadFile(RASSIM_PHONEBOOK_FILE, pb);
  return pb.Find(name) != nullptr;
}

} // namespace SimCommon
