// TzOSControl: the load state of the protocol components. The state belongs to the process
// that loaded them; it is published in a volatile registry key (gone at the next start of
// Windows, like loaded components) so that other processes can see it.
#include <TzOSControl.h>

#include <string>

#include "CallLog.h"
#include "ScopedLock.h"
#include "RegistryValue.h"

namespace {

constexpr char kLogFile[] = "TzOSControl.log";
constexpr char kBaseKey[] = "SOFTWARE\\Velmora\\TzOS";
constexpr char kStateSubkey[] = "State";
constexpr char kTestKey[] = "SOFTWARE\\Velmora\\TzOS\\Test";
constexpr std::size_t kMaxProgramName = 255;

bool g_initialized = false;
bool g_loaded = false;
std::string g_loadedBy;
CRITICAL_SECTION g_lock;


// Test switch: a non-zero DWORD makes the call fail without changing anything.
bool FailureInjected(const char* switchName) {
  return tz::ReadRegDword(HKEY_LOCAL_MACHINE, kTestKey, switchName) != 0;
}

// A usable program name: present, non-empty and of bounded length (read no further).
bool ReadProgramName(const char* name, std::string& out) {
  if (name == nullptr) return false;
  std::size_t length = 0;
  while (length <= kMaxProgramName && name[length] != '\0') ++length;
  if (length == 0 || length > kMaxProgramName) return false;
  out.assign(name, length);
  return true;
}

void SetDword(HKEY key, const char* name, DWORD value) {
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

void PublishState() {
  // The parent is created non-volatile first: created along with the volatile subkey it
  // would become volatile too, and a volatile key refuses the non-volatile keys that other
  // software (the tray program's settings) keeps under SOFTWARE\Velmora.
  HKEY base = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kBaseKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_CREATE_SUB_KEY, nullptr,
                      &base, nullptr) != ERROR_SUCCESS) {
    return;
  }
  HKEY state = nullptr;
  if (RegCreateKeyExA(base, kStateSubkey, 0, nullptr, REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &state, nullptr) ==
      ERROR_SUCCESS) {
    SetDword(state, "Initialized", g_initialized ? 1 : 0);
    SetDword(state, "Loaded", g_loaded ? 1 : 0);
    const std::string& by = g_loaded ? g_loadedBy : std::string();
    RegSetValueExA(state, "LoadedBy", 0, REG_SZ, reinterpret_cast<const BYTE*>(by.c_str()),
                   static_cast<DWORD>(by.size() + 1));
    SetDword(state, "ProcessId", GetCurrentProcessId());
    RegFlushKey(state);
    RegCloseKey(state);
  }
  RegCloseKey(base);
}

BOOL Logged(const std::string& call, bool result) {
  tz::AppendCallLog(kLogFile, call + " -> " + (result ? "1" : "0"));
  return result ? TRUE : FALSE;
}

// No exception (only out of memory is possible) may cross the library's boundary.
template <typename Body>
BOOL Exported(Body body) noexcept {
  try {
    return body();
  } catch (...) {
    return FALSE;
  }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&g_lock);
  if (reason == DLL_PROCESS_DETACH) DeleteCriticalSection(&g_lock);
  return TRUE;
}

extern "C" BOOL TZOSAPI TzOSInitialize(void) {
  return Exported([]() {
    bool ok = false;
    {
      ScopedLock lock(g_lock);
      if (!FailureInjected("FailInitialize")) {
        g_initialized = true;
        ok = true;
        PublishState();
      }
    }
    return Logged("TzOSInitialize", ok);
  });
}

extern "C" BOOL TZOSAPI TzOSLoadAll(const char* pszProgramName) {
  return Exported([pszProgramName]() {
    std::string name;
    bool valid = ReadProgramName(pszProgramName, name);
    bool ok = false;
    {
      ScopedLock lock(g_lock);
      if (!FailureInjected("FailLoadAll") && valid && g_initialized) {
        if (!g_loaded) {
          g_loaded = true;
          g_loadedBy = name;
          PublishState();
          ok = true;
        } else {
          // Loaded already: fine for the same program, refused for another.
          ok = g_loadedBy == name;
        }
      }
    }
    return Logged("TzOSLoadAll(" + tz::LoggableText(pszProgramName, kMaxProgramName + 1) + ")", ok);
  });
}

extern "C" BOOL TZOSAPI TzOSUnloadAll(const char* pszProgramName) {
  return Exported([pszProgramName]() {
    std::string name;
    bool valid = ReadProgramName(pszProgramName, name);
    bool ok = false;
    {
      ScopedLock lock(g_lock);
      if (!FailureInjected("FailUnloadAll") && valid && g_loaded && g_loadedBy == name) {
        g_loaded = false;
        g_loadedBy.clear();
        PublishState();
        ok = true;
      }
    }
    return Logged("TzOSUnloadAll(" + tz::LoggableText(pszProgramName, kMaxProgramName + 1) + ")", ok);
  });
}

extern "C" BOOL TZOSAPI TzOSExit(void) {
  return Exported([]() {
    bool ok = false;
    {
      ScopedLock lock(g_lock);
      // Loaded components must be unloaded first.
      if (!FailureInjected("FailExit") && g_initialized && !g_loaded) {
        g_initialized = false;
        PublishState();
        ok = true;
      }
    }
    return Logged("TzOSExit", ok);
  });
}
