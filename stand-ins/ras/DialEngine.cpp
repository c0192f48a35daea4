// Dialling, hang-up and connection status. Each asynchronous RasDialA gets a thread of its own
// that walks the states of a PPPoE connection and calls the RasDialFunc1 notifier.
//
// Locking: g_lock guards the table of attempts and the mutable fields of each attempt. It is
// never held while a notifier runs, so a notifier may call RasHangUpA (or RasDialA). It may be
// held while the state files are written (StoreLock is always taken after it, never before).
// Lifetime: an attempt is shared by the table and its thread, each holding one reference; the
// thread also holds a reference to this module, so FreeLibrary cannot unload the code it runs.
// A hung-up attempt stays in the table while its port is closing (PortCloseMs): its handle
// still answers RasGetConnectStatusA and its device refuses new dials; the first call that
// looks at the table after that time forgets it and logs "port ... closed".
#include "SimCommon.h"
#include "SimConfig.h"

#include <cstdlib>
#include <iterator>

using namespace SimCommon;

namespace {

constexpr DWORD kOpenPort = RASCS_OpenPort;
constexpr DWORD kAuthenticate = RASCS_Authenticate;
constexpr DWORD kConnected = RASCS_Connected;
constexpr DWORD kDisconnected = RASCS_Disconnected;
// OpenPort, PortOpened, ConnectDevice, DeviceConnected, AllDevicesConnected, Authenticate,
// AuthNotify, Authenticated, Projected, Connected.
const DWORD kWalk[] = {0, 1, 2, 3, 4, 5, 6, 14, 18, kConnected};
constexpr size_t kWalkLength = std::size(kWalk);

struct Attempt {
  LONG refs = 1;
  Attempt* next = nullptr;
  ULONG_PTR handle = 0;
  RASDIALFUNC1 notifier = nullptr;
  HMODULE module = nullptr; // the thread's reference to this DLL
  HANDLE stop = nullptr;    // signalled by RasHangUpA
  HANDLE idle = nullptr;    // set while no notifier call of this attempt is in progress
  HANDLE firstNotified = nullptr; // NotifyBeforeHandle: set once the first notifier call returned
  HANDLE closeEvent = nullptr;    // PortCloseEvent: the port closes once this is set
  SimConfig cfg;            // as it was when RasDialA was called
  std::string entry, user, password, number, deviceType, deviceName;
  bool deviceMissing = false;
  bool portBusy = false;  // the device's port was still closing when RasDialA was called
  // Guarded by g_lock:
  bool hungUp = false;
  bool ended = false;     // failed, dropped or refused: no more notifications
  bool persisted = false; // recorded in connections.ini
  DWORD state = kOpenPort;
  DWORD error = 0;
  bool closing = false;   // hung up, port closing until closeAt (GetTickCount) or closeEvent
  DWORD closeAt = 0;
  DWORD notifierThread = 0; // thread of the notifier call in progress, or 0
};

CRITICAL_SECTION g_lock;
Attempt* g_attempts = nullptr;
LONG g_walking = 0; // dial threads that may still notify

void Release(Attempt* a) {
  if (InterlockedDecrement(&a->refs) == 0) {
    if (a->stop) CloseHandle(a->stop);
    if (a->idle) CloseHandle(a->idle);
    if (a->firstNotified) CloseHandle(a->firstNotified);
    if (a->closeEvent) CloseHandle(a->closeEvent);
    delete a;
  }
}

Attempt* FindLocked(ULONG_PTR handle) {
  for (Attempt* a = g_attempts; a; a = a->next)
    if (a->handle == handle) return a;
  return nullptr;
}

// Takes the attempt out of the table; the table's reference passes to the caller.
Attempt* UnlinkLocked(ULONG_PTR handle) {
  for (Attempt** p = &g_attempts; *p; p = &(*p)->next) {
    if ((*p)->handle == handle) {
      Attempt* a = *p;
      *p = a->next;
      a->next = nullptr;
      return a;
    }
  }
  return nullptr;
}

// Forgets the hung-up attempts whose port has closed by now.
void ExpireLocked() {
  const DWORD now = GetTickCount();
  for (Attempt** p = &g_attempts; *p;) {
    Attempt* a = *p;
    const bool closed = a->closeEvent ? WaitForSingleObject(a->closeEvent, 0) == WAIT_OBJECT_0
                                      : static_cast<LONG>(now - a->closeAt) >= 0;
    if (a->closing && closed) {
      *p = a->next;
      a->next = nullptr;
      SimStore::Log(Head("port") + " handle=" + SimStore::Hex(a->handle) + " closed");
      Release(a); // the table's reference
    } else {
      p = &a->next;
    }
  }
}

bool PortClosingLocked(const std::string& deviceName) {
  for (Attempt* a = g_attempts; a; a = a->next)
    if (a->closing && a->deviceName == deviceName) return true;
  return false;
}

// --- OutOfMemoryState: the dialling program runs out of memory inside one notifier call.
// The program's imports of the C runtime's allocators are redirected (once, in its own import
// table) to versions that fail once on a thread that is marked, and unmark it; nothing else
// changes. A program with a C runtime of its own imports no malloc: then its heap calls
// (HeapAlloc, HeapReAlloc), on which that runtime's allocators stand, are redirected instead. One failure, not all: the C++ runtime itself needs memory to throw on a thread
// that never threw before, and a program cannot do without that.
DWORD g_oomSlot = TLS_OUT_OF_INDEXES;
using AllocFn = void*(__cdecl*)(size_t);
using CallocFn = void*(__cdecl*)(size_t, size_t);
using ReallocFn = void*(__cdecl*)(void*, size_t);
AllocFn g_realMalloc = nullptr;
CallocFn g_realCalloc = nullptr;
ReallocFn g_realRealloc = nullptr;

bool OutOfMemoryHere() {
  if (g_oomSlot == TLS_OUT_OF_INDEXES || TlsGetValue(g_oomSlot) == nullptr) return false;
  TlsSetValue(g_oomSlot, nullptr);
  return true;
}
void* __cdecl FailingMalloc(size_t n) { return OutOfMemoryHere() ? nullptr : g_realMalloc(n); }
void* __cdecl FailingCalloc(size_t n, size_t size) { return OutOfMemoryHere() ? nullptr : g_realCalloc(n, size); }
void* __cdecl FailingRealloc(void* p, size_t n) { return OutOfMemoryHere() ? nullptr : g_realRealloc(p, n); }
using HeapAllocFn = LPVOID(WINAPI*)(HANDLE, DWORD, SIZE_T);
using HeapReAllocFn = LPVOID(WINAPI*)(HANDLE, DWORD, LPVOID, SIZE_T);
HeapAllocFn g_realHeapAlloc = nullptr;
HeapReAllocFn g_realHeapReAlloc = nullptr;
LPVOID WINAPI FailingHeapAlloc(HANDLE heap, DWORD flags, SIZE_T n) {
  return OutOfMemoryHere() ? nullptr : g_realHeapAlloc(heap, flags, n);
}
LPVOID WINAPI FailingHeapReAlloc(HANDLE heap, DWORD flags, LPVOID p, SIZE_T n) {
  return OutOfMemoryHere() ? nullptr : g_realHeapReAlloc(heap, flags, p, n);
}

void PatchImport(void** slot, void* replacement) {
  DWORD old = 0;
  if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old)) return;
  *slot = replacement;
  VirtualProtect(slot, sizeof *slot, old, &old);
}

// Redirects malloc, calloc and realloc of the program's import table, or where it imports no
// malloc, HeapAlloc and HeapReAlloc; true when malloc or HeapAlloc was.
bool RedirectAllocators(bool heap) {
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (dir.VirtualAddress == 0) return false;
  bool patched = false;
  for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name != 0; ++imp) {
    if (imp->OriginalFirstThunk == 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const char* name = reinterpret_cast<const char*>(
          reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name);
      void** slot = reinterpret_cast<void**>(&slots->u1.Function);
      if (heap) {
        if (strcmp(name, "HeapAlloc") == 0 && !g_realHeapAlloc) {
          g_realHeapAlloc = reinterpret_cast<HeapAllocFn>(*slot);
          PatchImport(slot, reinterpret_cast<void*>(&FailingHeapAlloc));
          patched = true;
        } else if (strcmp(name, "HeapReAlloc") == 0 && !g_realHeapReAlloc) {
          g_realHeapReAlloc = reinterpret_cast<HeapReAllocFn>(*slot);
          PatchImport(slot, reinterpret_cast<void*>(&FailingHeapReAlloc));
        }
      } else if (strcmp(name, "malloc") == 0 && !g_realMalloc) {
        g_realMalloc = reinterpret_cast<AllocFn>(*slot);
        PatchImport(slot, reinterpret_cast<void*>(&FailingMalloc));
        patched = true;
      } else if (strcmp(name, "calloc") == 0 && !g_realCalloc) {
        g_realCalloc = reinterpret_cast<CallocFn>(*slot);
        PatchImport(slot, reinterpret_cast<void*>(&FailingCalloc));
      } else if (strcmp(name, "realloc") == 0 && !g_realRealloc) {
        g_realRealloc = reinterpret_cast<ReallocFn>(*slot);
        PatchImport(slot, reinterpret_cast<void*>(&FailingRealloc));
      }
    }
  }
  return patched;
}

// Called under no lock, from a dial thread; the first call patches (dial threads of one process
// reach here one after another only by chance, hence the lock).
bool ArmOutOfMemory() {
  EnterCriticalSection(&g_lock);
  static bool tried = false, ok = false;
  if (!tried) {
    tried = true;
    g_oomSlot = TlsAlloc();
    ok = g_oomSlot != TLS_OUT_OF_INDEXES && (RedirectAllocators(false) || RedirectAllocators(true));
  }
  LeaveCriticalSection(&g_lock);
  if (ok) TlsSetValue(g_oomSlot, reinterpret_cast<void*>(1));
  return ok;
}

void Notify(Attempt* a, DWORD state, DWORD error, DWORD extended, bool late) {
  const bool oom = !late && state == a->cfg.outOfMemoryState && ArmOutOfMemory();
  SimStore::Log(Head("notify") + " handle=" + SimStore::Hex(a->handle) + " state=" + std::to_string(state) +
                " error=" + std::to_string(error) + " ext=" + std::to_string(extended) + (late ? " late=1" : "") +
                (oom ? " outOfMemory=1" : ""));
  if (a->notifier)
    a->notifier(reinterpret_cast<HRASCONN>(a->handle), WM_RASDIALEVENT, static_cast<RASCONNSTATE>(state), error,
                extended);
  if (oom) TlsSetValue(g_oomSlot, nullptr);
}

// One notification, unless the attempt has been hung up (then false).
bool Deliver(Attempt* a, DWORD state, DWORD error, DWORD extended) {
  EnterCriticalSection(&g_lock);
  bool hungUp = a->hungUp;
  if (!hungUp) {
    a->state = state;
    a->error = error;
    if (error != 0 || state == kDisconnected) a->ended = true;
    // In progress from here, so that a RasHangUpA from now on finds it (HangUpWaitsForNotifier).
    a->notifierThread = GetCurrentThreadId();
    if (a->idle) ResetEvent(a->idle);
  }
  LeaveCriticalSection(&g_lock);
  if (hungUp) return false;
  // A RasHangUpA from another thread may still come in between: as on Windows, a notification
  // already on its way is delivered.
  Notify(a, state, error, extended, false);
  EnterCriticalSection(&g_lock);
  a->notifierThread = 0;
  if (a->idle) SetEvent(a->idle);
  LeaveCriticalSection(&g_lock);
  if (a->firstNotified) SetEvent(a->firstNotified);
  return true;
}

// Waits, unless the attempt is hung up first (then false).
bool Pause(Attempt* a, DWORD ms) { return WaitForSingleObject(a->stop, ms) == WAIT_TIMEOUT; }

// Records the connection for other processes; false when it was hung up meanwhile.
bool Persist(Attempt* a) {
  SimStore::ConnectionRecord rec;
  rec.handle = a->handle;
  rec.entry = a->entry;
  rec.deviceType = a->deviceType;
  rec.deviceName = a->deviceName;
  rec.phoneNumber = a->number;
  rec.user = a->user;
  rec.pid = GetCurrentProcessId();
  if (a->cfg.dropAfterConnectMs >= 0)
    rec.dropAt = SimStore::NowFileTime() + static_cast<ULONGLONG>(a->cfg.dropAfterConnectMs) * 10000;
  EnterCriticalSection(&g_lock);
  bool live = !a->hungUp;
  if (live) a->persisted = SimStore::SaveConnection(rec);
  LeaveCriticalSection(&g_lock);
  return live;
}

// The line drops after ms: RASCS_Disconnected without an error.
void Drop(Attempt* a, DWORD ms) {
  if (!Pause(a, ms)) return;
  EnterCriticalSection(&g_lock);
  bool persisted = a->persisted && !a->hungUp;
  if (persisted) a->persisted = false;
  LeaveCriticalSection(&g_lock);
  if (persisted) SimStore::RemoveConnection(a->handle);
  Deliver(a, kDisconnected, 0, 0);
}

// Walks the states; returns the error the attempt ended with (0 when connected or hung up).
DWORD Walk(Attempt* a) {
  const SimConfig& c = a->cfg;
  size_t i = 0;
  for (; i < kWalkLength; ++i) {
    DWORD state = kWalk[i], error = 0, extended = 0;
    if (!Pause(a, c.stepMs)) break;
    if (c.errorCode != 0 && state == c.errorState) {
      error = c.errorCode;
      extended = c.extendedError;
    } else if (state == kOpenPort && (a->deviceMissing || a->portBusy)) {
      error = kPortNotAvailable;
    } else if (state == kAuthenticate && !c.AccountAccepts(a->user, a->password)) {
      error = kAuthFailure;
    }
    if (error == 0 && state == kConnected && !Persist(a)) break;
    if (!Deliver(a, state, error, extended)) break;
    if (error != 0) return error; // the handle stays valid until RasHangUpA
    if (state == c.dropAtState) {
      Drop(a, c.stepMs);
      return 0;
    }
    if (state == kConnected) {
      if (c.dropAfterConnectMs >= 0) Drop(a, static_cast<DWORD>(c.dropAfterConnectMs));
      return 0;
    }
  }
  // Hung up while dialling: the configured late notifications carry on with the walk.
  for (DWORD n = 0; n < c.lateNotifications; ++n, ++i) {
    if (n > 0 && c.lateDelayMs > 0) Sleep(c.lateDelayMs);
    Notify(a, i < kWalkLength ? kWalk[i] : kDisconnected, 0, 0, true);
  }
  return 0;
}

DWORD WINAPI AttemptThread(LPVOID param) {
  Attempt* a = static_cast<Attempt*>(param);
  HMODULE self = a->module;
  // A thread entry: nothing may unwind out of it. Out of memory ends the walk early.
  try {
    Walk(a);
  } catch (...) {
  }
  // NotifyBeforeHandle: a walk that ended without a notification still lets RasDialA return.
  if (a->firstNotified) SetEvent(a->firstNotified);
  InterlockedDecrement(&g_walking);
  Release(a);
  FreeLibraryAndExitThread(self, 0);
  return 0;
}

void AddLocked(Attempt* a) {
  a->next = g_attempts;
  g_attempts = a;
}

bool ValidDialParamsSize(DWORD size) { return size == sizeof(RASDIALPARAMSA_400) || size == sizeof(RASDIALPARAMSA); }
bool ValidExtensionsSize(DWORD size) { return size == sizeof(RASDIALEXTENSIONS_400) || size == sizeof(RASDIALEXTENSIONS); }
bool ValidConnSize(DWORD size) { return size == sizeof(RASCONNA_400) || size == sizeof(RASCONNA); }
bool ValidStatusSize(DWORD size) { return size == sizeof(RASCONNSTATUSA_400) || size == sizeof(RASCONNSTATUSA); }

} // namespace

extern "C" DWORD WINAPI RasDialA(LPRASDIALEXTENSIONS lpRasDialExtensions, LPCSTR lpszPhonebook,
                                 LPRASDIALPARAMSA lpRasDialParams, DWORD dwNotifierType, LPVOID lpvNotifier,
                                 LPHRASCONN lphRasConn) {
  SimConfig cfg = LoadSimConfig();
  std::string log = Head("RasDialA") + PhonebookTag(lpszPhonebook);
  DWORD recSize = lpRasDialParams ? RecordSize(lpRasDialParams) : 0;
  RASDIALPARAMSA_400 p = {};
  std::string entry, user, password, domain, number;
  bool fieldsOk = false;
  if (lpRasDialParams && ValidDialParamsSize(recSize)) {
    memcpy(&p, lpRasDialParams, sizeof p);
    fieldsOk = ReadField(p.szEntryName, sizeof p.szEntryName, &entry) &&
               ReadField(p.szPhoneNumber, sizeof p.szPhoneNumber, &number) &&
               ReadField(p.szUserName, sizeof p.szUserName, &user) &&
               ReadField(p.szPassword, sizeof p.szPassword, &password) &&
               ReadField(p.szDomain, sizeof p.szDomain, &domain);
  }
  log += " entry=" + SimStore::Quote(entry) + " dwSize=" + std::to_string(recSize) + " user=" + SimStore::Quote(user) +
         " password=" + (password.empty() ? "empty" : "given") + " domain=" + SimStore::Quote(domain) +
         " notifierType=" + std::to_string(dwNotifierType) + " notifier=" + (lpvNotifier ? "yes" : "no");

  DWORD rc = kOk;
  Attempt* a = nullptr;
  IniFile::Section entrySection;
  if (!lpRasDialParams || !lphRasConn) {
    rc = kInvalidParameter;
  } else if (!ValidDialParamsSize(recSize) ||
             (lpRasDialExtensions && !ValidExtensionsSize(RecordSize(lpRasDialExtensions)))) {
    rc = kInvalidSize;
  } else if ((lpvNotifier && dwNotifierType != 1) || !fieldsOk || *lphRasConn != nullptr) {
    // Only RasDialFunc1 notifiers; no resuming of paused dials.
    rc = kInvalidParameter;
  } else if (cfg.refuseCode != 0) {
    rc = cfg.refuseCode;
    if (cfg.refuseStoresHandle) {
      a = new Attempt;
      a->handle = SimStore::NextHandle();
      a->entry = entry;
      a->ended = true;
      a->error = rc;
    }
  } else {
    {
      StoreLock lock;
      IniFile pb;
      SimStore::LoadFile(RASSIM_PHONEBOOK_FILE, pb);
      if (const IniFile::Section* s = entry.empty() ? nullptr : pb.Find(entry)) entrySection = *s;
      else rc = kCannotFindEntry;
    }
    if (rc == kOk) {
      a = new Attempt;
      a->handle = SimStore::NextHandle();
      a->notifier = reinterpret_cast<RASDIALFUNC1>(lpvNotifier);
      a->cfg = cfg;
      a->entry = entrySection.name;
      a->user = user;
      a->password = password;
      const IniFile::Entry* f = entrySection.Find("szLocalPhoneNumber");
      a->number = !number.empty() ? number : (f ? f->value : std::string());
      f = entrySection.Find("szDeviceType");
      a->deviceType = f ? f->value : std::string();
      f = entrySection.Find("szDeviceName");
      a->deviceName = f ? f->value : std::string();
      a->deviceMissing = cfg.FindDevice(a->deviceName) == nullptr;
      EnterCriticalSection(&g_lock);
      ExpireLocked();
      a->portBusy = PortClosingLocked(a->deviceName);
      LeaveCriticalSection(&g_lock);
      a->stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
      a->idle = CreateEventA(nullptr, TRUE, TRUE, nullptr);
      if (cfg.notifyBeforeHandle && lpvNotifier) a->firstNotified = CreateEventA(nullptr, TRUE, FALSE, nullptr);
      if (!a->stop || !a->idle || (cfg.notifyBeforeHandle && lpvNotifier && !a->firstNotified)) {
        Release(a);
        a = nullptr;
        rc = kNotEnoughMemory;
      }
    }
  }

  HANDLE thread = nullptr;
  if (a && rc == kOk && lpvNotifier) {
    // The thread's own references: to the attempt and to this module.
    InterlockedIncrement(&a->refs);
    InterlockedIncrement(&g_walking);
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&AttemptThread),
                           &a->module))
      thread = CreateThread(nullptr, 0, AttemptThread, a, CREATE_SUSPENDED, nullptr);
    if (!thread) {
      InterlockedDecrement(&g_walking);
      if (a->module) FreeLibrary(a->module);
      Release(a);
      Release(a);
      a = nullptr;
      rc = kNotEnoughMemory;
    }
  }
  if (a) {
    EnterCriticalSection(&g_lock);
    AddLocked(a);
    LeaveCriticalSection(&g_lock);
    if (thread && a->firstNotified) {
      // Windows does not promise that the handle is written back before the first
      // notification: here it comes after the first notifier call has returned.
      ResumeThread(thread);
      CloseHandle(thread);
      thread = nullptr;
      WaitForSingleObject(a->firstNotified, INFINITE);
    }
    *lphRasConn = reinterpret_cast<HRASCONN>(a->handle); // before any notification can arrive
    log += " number=" + SimStore::Quote(a->number) + " handle=" + SimStore::Hex(a->handle);
  }
  if (a && rc == kOk && !lpvNotifier) {
    // No notifier: RasDialA itself waits for the end of the walk.
    DWORD walked = Walk(a);
    SimStore::Log(log + Code(walked));
    return walked;
  }
  SimStore::Log(log + Code(rc));
  if (thread) {
    ResumeThread(thread);
    CloseHandle(thread);
  }
  return rc;
}

extern "C" DWORD WINAPI RasHangUpA(HRASCONN hrasconn) {
  SimConfig cfg = LoadSimConfig();
  ULONG_PTR handle = reinterpret_cast<ULONG_PTR>(hrasconn);
  std::string log = Head("RasHangUpA") + " handle=" + SimStore::Hex(handle);
  if (DWORD forced = cfg.ForcedFailure("RasHangUpA")) {
    SimStore::Log(log + Code(forced));
    return forced;
  }
  if (cfg.hangUpDelayMs > 0) {
    // The call itself takes this long; the line says that it has begun.
    SimStore::Log(Head("hangup") + " handle=" + SimStore::Hex(handle) + " begins");
    Sleep(cfg.hangUpDelayMs);
  }
  EnterCriticalSection(&g_lock);
  ExpireLocked();
  Attempt* a = FindLocked(handle);
  if (a && a->hungUp) a = nullptr; // a second hang-up
  bool unlinked = false, wait = false;
  if (a) {
    InterlockedIncrement(&a->refs); // this call's own, for the wait below
    bool persisted = a->persisted;
    a->hungUp = true;
    a->persisted = false;
    if (persisted) SimStore::RemoveConnection(handle);
    if (!cfg.portCloseEvent.empty()) {
      a->closing = true;
      a->closeEvent = CreateEventA(nullptr, TRUE, FALSE, cfg.portCloseEvent.c_str());
      a->closeAt = GetTickCount() + cfg.portCloseMs;  // the fallback when no event could be made
    } else if (cfg.portCloseMs > 0) {
      a->closing = true;
      a->closeAt = GetTickCount() + cfg.portCloseMs;
    } else {
      UnlinkLocked(handle);
      unlinked = true;
    }
    // From inside the notifier the call cannot wait for itself.
    wait = cfg.hangUpWaitsForNotifier && a->notifierThread != 0 && a->notifierThread != GetCurrentThreadId();
    // Logged before the thread can wake, so late notifications follow this line.
    SimStore::Log(log + Code(kOk));
    if (a->stop) SetEvent(a->stop);
  }
  LeaveCriticalSection(&g_lock);
  if (a) {
    // As a RAS that finishes the hang-up only after the notifier has returned: no bound, so
    // a notifier that waits for this thread hangs both, as it would on Windows.
    if (wait) WaitForSingleObject(a->idle, INFINITE);
    if (unlinked) Release(a); // the table's reference
    Release(a);
    return kOk;
  }
  // A connection that another process left up.
  DWORD rc = SimStore::RemoveConnection(handle) ? kOk : kInvalidHandle;
  SimStore::Log(log + Code(rc));
  return rc;
}

extern "C" DWORD WINAPI RasEnumConnectionsA(LPRASCONNA lprasconn, LPDWORD lpcb, LPDWORD lpcConnections) {
  SimConfig cfg = LoadSimConfig();
  std::string log = Head("RasEnumConnectionsA") + " buffer=" + (lprasconn ? "yes" : "no");
  DWORD rc = kOk;
  if (!lpcb || !lpcConnections) {
    rc = kInvalidParameter;
  } else if ((rc = cfg.ForcedFailure("RasEnumConnectionsA")) != 0) {
  } else {
    DWORD cap = *lpcb;
    DWORD recSize = (lprasconn && cap >= sizeof(DWORD)) ? RecordSize(lprasconn) : sizeof(RASCONNA);
    log += " dwSize=" + std::to_string(recSize) + " cb=" + std::to_string(cap);
    if (!ValidConnSize(recSize)) {
      rc = kInvalidSize;
    } else {
      // Established connections of every process, and the dials still under way in this one.
      std::vector<SimStore::ConnectionRecord> list = SimStore::Connections();
      EnterCriticalSection(&g_lock);
      ExpireLocked();
      for (Attempt* a = g_attempts; a; a = a->next) {
        if (a->ended || a->persisted || a->hungUp || a->state == kConnected) continue;
        SimStore::ConnectionRecord r;
        r.handle = a->handle;
        r.entry = a->entry;
        r.deviceType = a->deviceType;
        r.deviceName = a->deviceName;
        list.push_back(r);
      }
      LeaveCriticalSection(&g_lock);
      DWORD count = static_cast<DWORD>(list.size());
      DWORD needed = recSize * count;
      *lpcConnections = count;
      *lpcb = needed;
      if (count > 0 && (!lprasconn || cap < needed)) {
        rc = kBufferTooSmall;
      } else {
        BYTE* out = reinterpret_cast<BYTE*>(lprasconn);
        for (DWORD i = 0; i < count; ++i) {
          RASCONNA_400 rec = {};
          rec.dwSize = recSize;
          rec.hrasconn = reinterpret_cast<HRASCONN>(list[i].handle);
          WriteField(rec.szEntryName, sizeof rec.szEntryName, list[i].entry);
          WriteField(rec.szDeviceType, sizeof rec.szDeviceType, list[i].deviceType);
          WriteField(rec.szDeviceName, sizeof rec.szDeviceName, list[i].deviceName);
          memset(out + i * recSize, 0, recSize);
          memcpy(out + i * recSize, &rec, sizeof rec);
        }
      }
      log += " connections=" + std::to_string(count);
    }
  }
  SimStore::Log(log + Code(rc));
  return rc;
}

extern "C" DWORD WINAPI RasGetConnectStatusA(HRASCONN hrasconn, LPRASCONNSTATUSA lprasconnstatus) {
  SimConfig cfg = LoadSimConfig();
  ULONG_PTR handle = reinterpret_cast<ULONG_PTR>(hrasconn);
  std::string log = Head("RasGetConnectStatusA") + " handle=" + SimStore::Hex(handle);
  DWORD recSize = lprasconnstatus ? RecordSize(lprasconnstatus) : 0;
  log += " dwSize=" + std::to_string(recSize);
  DWORD rc = kOk, state = 0, error = 0;
  std::string deviceType, deviceName, number;
  if (!lprasconnstatus) {
    rc = kInvalidParameter;
  } else if ((rc = cfg.ForcedFailure("RasGetConnectStatusA")) != 0) {
  } else if (!ValidStatusSize(recSize)) {
    rc = kInvalidSize;
  } else {
    bool found = false, persisted = false;
    EnterCriticalSection(&g_lock);
    ExpireLocked();
    if (Attempt* a = FindLocked(handle)) {
      found = true;
      persisted = a->persisted;
      state = a->closing ? kDisconnected : a->state; // hung up, port still closing
      error = a->closing ? 0 : a->error;
      deviceType = a->deviceType;
      deviceName = a->deviceName;
      number = a->number;
    }
    LeaveCriticalSection(&g_lock);
    SimStore::ConnectionRecord rec;
    bool recorded = SimStore::FindConnection(handle, &rec);
    if (found && persisted && !recorded) {
      state = kDisconnected; // hung up by another process, or its time ran out
      error = 0;
    } else if (!found && recorded) {
      found = true;
      state = kConnected;
      deviceType = rec.deviceType;
      deviceName = rec.deviceName;
      number = rec.phoneNumber;
    }
    if (!found) {
      rc = kInvalidHandle;
    } else {
      RASCONNSTATUSA full = {}; // the largest layout; the old one is its head
      RASCONNSTATUSA_400 head = {};
      head.dwSize = recSize;
      head.rasconnstate = state;
      head.dwError = error;
      WriteField(head.szDeviceType, sizeof head.szDeviceType, deviceType);
      WriteField(head.szDeviceName, sizeof head.szDeviceName, deviceName);
      memcpy(&full, &head, sizeof head);
      WriteField(full.szPhoneNumber, sizeof full.szPhoneNumber, number);
      memcpy(lprasconnstatus, &full, recSize);
      log += " state=" + std::to_string(state) + " error=" + std::to_string(error);
    }
  }
  SimStore::Log(log + Code(rc));
  return rc;
}

// Not a RAS function: for tests, TRUE once no dial thread of this process can notify any more,
// so that "nothing more happens" is waited for rather than slept on.
extern "C" BOOL WINAPI RasSimIsIdle() { return InterlockedCompareExchange(&g_walking, 0, 0) == 0 ? TRUE : FALSE; }

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_simModule = instance;
    InitializeCriticalSection(&g_lock);
    SimStore::Init();
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    // FreeLibrary: no attempt thread is left (each held a reference to this module). At process
    // exit (reserved set) other threads were stopped anywhere, so nothing is touched then.
    while (Attempt* a = g_attempts) {
      g_attempts = a->next;
      Release(a);
    }
    DeleteCriticalSection(&g_lock);
    SimStore::Shutdown();
  }
  return TRUE;
}
