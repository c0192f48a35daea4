// TzSetupUtils: configuration handles over the installed network adapters, the runtime file
// and the NT MTU adjustment. Exported by ordinal only (components/TzSetupUtils.def).
#include <TzSetupUtils.h>

#include <string>
#include <vector>

#include "AdapterRegistry.h"
#include "CallLog.h"
#include "ScopedLock.h"
#include "MtuSetting.h"
#include "RegistryValue.h"
#include "RuntimeFile.h"

namespace {

constexpr char kLogFile[] = "TzSetupUtils.log";
constexpr char kTestKey[] = "SOFTWARE\\Velmora\\TzSetupUtils\\Test";

// Lowest and highest IP MTU the NT TCP/IP stack accepts.
constexpr DWORD kMinMtu = 68;
constexpr DWORD kMaxMtu = 0xFFFF;

struct Session {
  TZSU_HANDLE handle = 0;  // 0: slot free
  bool prepared = false;
  tz::NetPlatform platform = tz::NetPlatform::WindowsNT;
  bool enumerating = false;
  std::vector<std::string> keys;  // taken when the enumeration begins
  std::size_t next = 0;
};

constexpr std::size_t kMaxSessions = 16;
Session g_sessions[kMaxSessions];
TZSU_HANDLE g_lastHandle = 0;
CRITICAL_SECTION g_lock;


Session* FindSession(TZSU_HANDLE handle) {
  if (handle == 0) return nullptr;
  for (Session& s : g_sessions) {
    if (s.handle == handle) return &s;
  }
  return nullptr;
}

// Test switch: the ordinal named by FailOrdinal fails before doing anything.
bool FailureInjected(DWORD ordinal) {
  if constexpr (!tz::kTestHooks) return false;
  return tz::ReadRegDword(HKEY_LOCAL_MACHINE, kTestKey, "FailOrdinal") == ordinal;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string HandleText(const TZSU_HANDLE* handle) {
  return handle == nullptr ? std::string("null") : std::to_string(*handle);
}

// Records "call -> status[ detail]"; call() and detail() build their texts only when calls
// are recorded.
template <typename Call, typename Detail>
TZSU_STATUS Logged(Call call, TZSU_STATUS status, Detail detail) {
  if constexpr (tz::kTestHooks) {
    std::string line = call() + " -> " + std::to_string(status);
    std::string more = detail();
    if (!more.empty()) line += " " + more;
    tz::AppendCallLog(kLogFile, line);
  }
  return status;
}

template <typename Call>
TZSU_STATUS Logged(Call call, TZSU_STATUS status) {
  return Logged(call, status, [] { return std::string(); });
}

// Runs an ordinal's work under the lock.
template <typename Body>
TZSU_STATUS Locked(Body body) {
  ScopedLock lock(g_lock);
  return body();
}

// No exception (only out of memory is possible) may cross the library's boundary. The
// shipping library is built without exception support: there running out of memory ends the
// process (see cmake/shipping/lean_runtime.cpp).
template <typename Body>
TZSU_STATUS Exported(Body body) noexcept {
#if defined(TZ_TEST_HOOKS) && TZ_TEST_HOOKS
  try {
    return body();
  } catch (...) {
    return TZSU_E_OUT_OF_MEMORY;
  }
#else
  return body();
#endif
}

// Looks up the session of a call that needs a prepared handle.
TZSU_STATUS PreparedSession(TZSU_HANDLE handle, Session*& session) {
  session = FindSession(handle);
  if (session == nullptr) return TZSU_E_INVALID_HANDLE;
  return session->prepared ? TZSU_OK : TZSU_E_NOT_PREPARED;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&g_lock);
  if (reason == DLL_PROCESS_DETACH) DeleteCriticalSection(&g_lock);
  return TRUE;
}

// Ordinal 1
extern "C" TZSU_STATUS TZSUAPI TzSuOpen(TZSU_HANDLE* phConfig) {
  return Exported([&]() -> TZSU_STATUS {
    TZSU_HANDLE opened = 0;
    TZSU_STATUS status = Locked([&]() -> TZSU_STATUS {
      if (FailureInjected(1)) return TZSU_E_INJECTED;
      if (phConfig == nullptr) return TZSU_E_INVALID_ARG;
      Session* slot = nullptr;
      for (Session& s : g_sessions) {
        if (s.handle == 0) {
          slot = &s;
          break;
        }
      }
      if (slot == nullptr) return TZSU_E_TOO_MANY_HANDLES;
      // Handles are not reused soon after a close, so a stale handle is recognised as such.
      do {
        ++g_lastHandle;
      } while (g_lastHandle == 0 || FindSession(g_lastHandle) != nullptr);
      *slot = Session();
      slot->handle = g_lastHandle;
      opened = g_lastHandle;
      *phConfig = opened;
      return TZSU_OK;
    });
    return Logged([] { return std::string("1()"); }, status,
                  [&] { return status == TZSU_OK ? "handle=" + std::to_string(opened) : std::string(); });
  });
}

// Ordinal 2
extern "C" TZSU_STATUS TZSUAPI TzSuClose(TZSU_HANDLE* phConfig) {
  return Exported([&]() -> TZSU_STATUS {
    // Shown as passed: the call sets the handle to 0.
    std::string call;
    if constexpr (tz::kTestHooks) call = "2(" + HandleText(phConfig) + ")";
    TZSU_STATUS status = Locked([&]() -> TZSU_STATUS {
      if (FailureInjected(2)) return TZSU_E_INJECTED;
      if (phConfig == nullptr) return TZSU_E_INVALID_ARG;
      Session* session = FindSession(*phConfig);
      if (session == nullptr) return TZSU_E_INVALID_HANDLE;
      *session = Session();
      *phConfig = 0;
      return TZSU_OK;
    });
    return Logged([&] { return call; }, status);
  });
}

// Ordinal 3
extern "C" TZSU_STATUS TZSUAPI TzSuPrepare(TZSU_HANDLE hConfig) {
  return Exported([&]() -> TZSU_STATUS {
    TZSU_STATUS status = Locked([&]() -> TZSU_STATUS {
      if (FailureInjected(3)) return TZSU_E_INJECTED;
      Session* session = FindSession(hConfig);
      if (session == nullptr) return TZSU_E_INVALID_HANDLE;
      tz::NetPlatform platform;
      if (!tz::DetectNetPlatform(platform)) return TZSU_E_PLATFORM;
      session->platform = platform;
      session->prepared = true;
      session->enumerating = false;
      session->keys.clear();
      return TZSU_OK;
    });
    return Logged([&] { return "3(" + std::to_string(hConfig) + ")"; }, status);
  });
}

// Ordinal 5
extern "C" TZSU_STATUS TZSUAPI TzSuGetEntryCount(TZSU_HANDLE hConfig, LONG* plCount) {
  return Exported([&]() -> TZSU_STATUS {
    LONG count = 0;
    TZSU_STATUS status = Locked([&]() -> TZSU_STATUS {
      if (FailureInjected(5)) return TZSU_E_INJECTED;
      if (plCount == nullptr) return TZSU_E_INVALID_ARG;
      Session* session = nullptr;
      if (TZSU_STATUS s = PreparedSession(hConfig, session); s != TZSU_OK) return s;
      std::vector<std::string> keys;
      if (!tz::ListAdapterKeys(session->platform, keys)) return TZSU_E_REGISTRY;
      count = static_cast<LONG>(keys.size());
      *plCount = count;
      return TZSU_OK;
    });
    return Logged([&] { return "5(" + std::to_string(hConfig) + ")"; }, status,
                  [&] { return status == TZSU_OK ? "count=" + std::to_string(count) : std::string(); });
  });
}

// Ordinal 6
extern "C" TZSU_STATUS TZSUAPI TzSuBeginEnum(TZSU_HANDLE hConfig) {
  return Exported([&]() -> TZSU_STATUS {
    TZSU_STATUS status = Locked([&]() -> TZSU_STATUS {
      if (FailureInjected(6)) return TZSU_E_INJECTED;
      Session* session = nullptr;
      if (TZSU_STATUS s = PreparedSession(hConfig, session); s != TZSU_OK) return s;
      std::vector<std::string> keys;
      if (!tz::ListAdapterKeys(session->platform, keys)) return TZSU_E_REGISTRY;
      session->keys.swap(keys);
      session->next = 0;
      session->enumerating = true;
      return TZSU_OK;
    });
    return Logged([&] { return "6(" + std::to_string(hConfig) + ")"; }, status);
  });
}

// Ordinal 7
extern "C" TZSU_STATUS TZSUAPI TzSuNextEntry(TZSU_HANDLE hConfig, DWORD* pdwNumber, char szKeyName[TZSU_SHORT_TEXT],
                                             char szDescription[TZSU_LONG_TEXT], char szService[TZSU_SHORT_TEXT],
                                             char szProvider[TZSU_SHORT_TEXT], char szDriverDate[TZSU_SHORT_TEXT],
                                             char szDriverVersion[TZSU_SHORT_TEXT], char szInfPath[TZSU_LONG_TEXT],
                                             char szInfSection[TZSU_SHORT_TEXT], char szHardwareId[TZSU_LONG_TEXT]) {
  return Exported([&]() -> TZSU_STATUS {
    std::string description;
    TZSU_STATUS status = Locked([&]() -> TZSU_STATUS {
      if (FailureInjected(7)) return TZSU_E_INJECTED;
      Session* session = nullptr;
      if (TZSU_STATUS s = PreparedSession(hConfig, session); s != TZSU_OK) return s;
      if (!session->enumerating) return TZSU_E_NOT_ENUMERATING;
      // An adapter removed since the enumeration began is passed over.
      while (session->next < session->keys.size()) {
        tz::AdapterEntry entry;
        if (!tz::ReadAdapterEntry(session->platform, session->keys[session->next++], entry)) continue;
        if (pdwNumber != nullptr) *pdwNumber = entry.number;
        tz::CopyToArea(entry.keyName, szKeyName, TZSU_SHORT_TEXT);
        tz::CopyToArea(entry.description, szDescription, TZSU_LONG_TEXT);
        tz::CopyToArea(entry.service, szService, TZSU_SHORT_TEXT);
        tz::CopyToArea(entry.provider, szProvider, TZSU_SHORT_TEXT);
        tz::CopyToArea(entry.driverDate, szDriverDate, TZSU_SHORT_TEXT);
        tz::CopyToArea(entry.driverVersion, szDriverVersion, TZSU_SHORT_TEXT);
        tz::CopyToArea(entry.infPath, szInfPath, TZSU_LONG_TEXT);
        tz::CopyToArea(entry.infSection, szInfSection, TZSU_SHORT_TEXT);
        tz::CopyToArea(entry.hardwareId, szHardwareId, TZSU_LONG_TEXT);
        if constexpr (tz::kTestHooks) description = entry.description;
        return TZSU_OK;
      }
      return TZSU_E_NO_MORE_ENTRIES;
    });
    return Logged([&] { return "7(" + std::to_string(hConfig) + ")"; }, status,
                  [&] { return status == TZSU_OK ? Quoted(tz::LoggableText(description.c_str())) : std::string(); });
  });
}

// Ordinal 8
extern "C" TZSU_STATUS TZSUAPI TzSuEndEnum(TZSU_HANDLE hConfig) {
  return Exported([&]() -> TZSU_STATUS {
    TZSU_STATUS status = Locked([&]() -> TZSU_STATUS {
      if (FailureInjected(8)) return TZSU_E_INJECTED;
      Session* session = FindSession(hConfig);
      if (session == nullptr) return TZSU_E_INVALID_HANDLE;
      if (!session->enumerating) return TZSU_E_NOT_ENUMERATING;
      session->enumerating = false;
      session->keys.clear();
      session->next = 0;
      return TZSU_OK;
    });
    return Logged([&] { return "8(" + std::to_string(hConfig) + ")"; }, status);
  });
}

// Ordinal 11
extern "C" TZSU_STATUS TZSUAPI TzSuWriteRuntimeFile(TZSU_HANDLE hConfig, const char* pszPath, const char* pszComment) {
  return Exported([&]() -> TZSU_STATUS {
    auto call = [&] {
      return "11(" + std::to_string(hConfig) + ", " + (pszPath ? Quoted(tz::LoggableText(pszPath)) : std::string("null")) +
             ", " + (pszComment ? Quoted(tz::LoggableText(pszComment)) : std::string("null")) + ")";
    };
    TZSU_STATUS status = Locked([&]() -> TZSU_STATUS {
      if (FailureInjected(11)) return TZSU_E_INJECTED;
      if (pszPath == nullptr || pszPath[0] == '\0') return TZSU_E_INVALID_ARG;
      Session* session = nullptr;
      if (TZSU_STATUS s = PreparedSession(hConfig, session); s != TZSU_OK) return s;
      return tz::WriteRuntimeFile(pszPath, pszComment ? std::string(pszComment) : std::string(), session->platform);
    });
    return Logged(call, status);
  });
}

// Ordinal 34
extern "C" TZSU_STATUS TZSUAPI TzSuAdjustNetworkSettings(DWORD dwMtu) {
  return Exported([&]() -> TZSU_STATUS {
    TZSU_STATUS status = Locked([&]() -> TZSU_STATUS {
      if (FailureInjected(34)) return TZSU_E_INJECTED;
      if (dwMtu < kMinMtu || dwMtu > kMaxMtu) return TZSU_E_INVALID_ARG;
      tz::NetPlatform platform;
      // The setting belongs to the NT TCP/IP stack; Windows 95/98 keep theirs elsewhere.
      if (!tz::DetectNetPlatform(platform) || platform != tz::NetPlatform::WindowsNT) return TZSU_E_PLATFORM;
      return tz::StoreTolvekMtu(dwMtu);
    });
    return Logged([&] { return "34(" + std::to_string(dwMtu) + ")"; }, status);
  });
}
