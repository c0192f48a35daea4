// TzOSControl: the load state of the protocol components. The state belongs to the process
// that loaded them; it is published in a volatile registry key (gone at the next start of
// Windows, like loaded components) so that other processes can see it.
#include <TzOSControl.h>

#include <cstring>
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

// The state is kept in fixed storage: the shipping library allocates nothing, so nothing in
// it can fail for want of memory or throw.
bool g_initialized = false;
bool g_loaded = false;
char g_loadedBy[kMaxProgramName + 1] = "";
CRITICAL_SECTION g_lock;


// Test switch: a non-zero DWORD makes the call fail without changing anything.
bool FailureInjected(const char* switchName) {
  if constexpr (!tz::kTestHooks) return false;
  return tz::ReadRegDword(HKEY_LOCAL_MACHINE, kTestKey, switchName) != 0;
}

// A usable program name: present, non-empty and of bounded length (read no further).
bool ReadProgramName(const char* name, char (&out)[kMaxProgramName + 1]) {
  if (name == nullptr) return false;
  std::size_t length = 0;
  while (length <= kMaxProgramName && name[length] != '\0') ++length;
  if (length == 0 || length > kMaxProgramName) return false;
  std::memcpy(out, name, length);
  out[length] = '\0';
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
    const char* by = g_loaded ? g_loadedBy : "";
    RegSetValueExA(state, "LoadedBy", 0, REG_SZ, reinterpret_cast<const BYTE*>(by),
                   static_cast<DWORD>(std::strlen(by) + 1));
    SetDword(state, "ProcessId", GetCurrentProcessId());
    RegFlushKey(state);
    RegCloseKey(state);
  }
  RegCloseKey(base);
}

// Records "call -> result"; call() builds the text only when calls are recorded.
template <typename Call>
BOOL Logged(Call call, bool result) {
  if constexpr (tz::kTestHooks) tz::AppendCallLog(kLogFile, call() + " -> " + (result ? "1" : "0"));
  return result ? TRUE : FALSE;
}

// No exception may cross the library's boundary. Only the call record allocates (and may
// run out of memory); without it nothing here can throw, and the shipping library is built
// without exception support.
template <typename Body>
BOOL Exported(Body body) noexcept {
#if defined(TZ_TEST_HOOKS) && TZ_TEST_HOOKS
  try {
    return body();
  } catch (...) {
    return FALSE;
  }
#else
  return body();
#endif
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
    return Logged([] { return std::string("TzOSInitialize"); }, ok);
  });
}

extern "C" BOOL TZOSAPI TzOSLoadAll(const char* pszProgramName) {
  return Exported([pszProgramName]() {
    char name[kMaxProgramName + 1];
    bool valid = ReadProgramName(pszProgramName, name);
    bool ok = false;
    {
      ScopedLock lock(g_lock);
      if (!FailureInjected("FailLoadAll") && valid && g_initialized) {
        if (!g_loaded) {
          g_loaded = true;
          std::memcpy(g_loadedBy, name, sizeof name);
          PublishState();
          ok = true;
        } else {
          // Loaded already: fine for the same program, refused for another.
          ok = std::strcmp(g_loadedBy, name) == 0;
        }
      }
    }
    return Logged([&] { return "TzOSLoadAll(" + tz::LoggableText(pszProgramName, kMaxProgramName + 1) + ")"; }, ok);
  });
}

extern "C" BOOL TZOSAPI TzOSUnloadAll(const char* pszProgramName) {
  return Exported([pszProgramName]() {
    char name[kMaxProgramName + 1];
    bool valid = ReadProgramName(pszProgramName, name);
    bool ok = false;
    {
      ScopedLock lock(g_lock);
      if (!FailureInjected("FailUnloadAll") && valid && g_loaded && std::strcmp(g_loadedBy, name) == 0) {
        g_loaded = false;
        g_loadedBy[0] = '\0';
        PublishState();
        ok = true;
      }
    }
    return Logged([&] { return "TzOSUnloadAll(" + tz::LoggableText(pszProgramName, kMaxProgramName + 1) + ")"; }, ok);
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
    return Logged([] { return std::string("TzOSExit"); }, ok);
  });
}
