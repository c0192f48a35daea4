// Start-up and shut-down of the shipping programs and libraries (TZ_SHIPPING), in place of the
// MinGW-w64 C runtime's, which runs on msvcrt.dll: retail Windows 95 has no msvcrt.dll, and the
// runtime's prebuilt objects carry Pentium Pro instructions. Linked with -nostartfiles; GCC's
// own crtbegin.o and crtend.o stay (they register the unwind tables from a constructor).
//
// What it does, as the MinGW runtime did for these files:
// - programs (WinMainCRTStartup): run the global constructors, call WinMain with the command
//   line after the program's name and the show state of STARTUPINFO, then exit() with its
//   result: the atexit functions in reverse order (global destructors among them), then
//   ExitProcess.
// - libraries (DllMainCRTStartup): constructors before DllMain sees DLL_PROCESS_ATTACH, and the
//   library's own atexit functions and destructors after it sees DLL_PROCESS_DETACH.
// - thread-local keys with a destructor (the exception runtime's per-thread state, through
//   libgcc's gthr-win32 and emutls) are destroyed when a thread ends: in a program from a TLS
//   callback, in a library on DLL_THREAD_DETACH.
// Not done (nothing here needs it): argc/argv, the environment, pseudo-relocations (the build
// links with --disable-runtime-pseudo-reloc, so the linker refuses to need them), stdio, and the
// x87 precision that the MinGW runtime set (the programs use no floating point).
#include <windows.h>

#include <stddef.h>

#include "crt.h"

typedef void (*tz_fn)(void);

// The linker's script brackets the constructor and destructor lists: a -1 (or a count), the
// entries, then a 0.
extern tz_fn __CTOR_LIST__[];
extern tz_fn __DTOR_LIST__[];

// ---- atexit ------------------------------------------------------------------------------------

// A program or library calls atexit before it starts threads of its own (global constructors,
// function-local statics of the start-up path), so the list needs no lock beyond the one below
// for a late registration from another thread.
typedef struct tz_exit_block {
  struct tz_exit_block* next;
  int count;
  tz_fn fns[32];
} tz_exit_block;

static tz_exit_block tz_first_block;
static tz_exit_block* tz_exit_list;
static CRITICAL_SECTION tz_exit_lock;
static LONG tz_exit_lock_ready;

static void tz_lock_exit_list(void) {
  // Made once, in start-up, before any thread of ours exists.
  if (!tz_exit_lock_ready) {
    InitializeCriticalSection(&tz_exit_lock);
    tz_exit_lock_ready = 1;
  }
  EnterCriticalSection(&tz_exit_lock);
}

int atexit(tz_fn fn) {
  int result = 0;
  tz_lock_exit_list();
  if (tz_exit_list == NULL) tz_exit_list = &tz_first_block;
  if (tz_exit_list->count == 32) {
    tz_exit_block* block = (tz_exit_block*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(*block));
    if (block == NULL) {
      result = -1;
    } else {
      block->next = tz_exit_list;
      tz_exit_list = block;
    }
  }
  if (result == 0) tz_exit_list->fns[tz_exit_list->count++] = fn;
  LeaveCriticalSection(&tz_exit_lock);
  return result;
}

// Runs the atexit functions, newest first; one that registers another sees it run too.
void tz_crt_run_atexit(void) {
  for (;;) {
    tz_fn fn = NULL;
    tz_lock_exit_list();
    while (tz_exit_list != NULL && tz_exit_list->count == 0 && tz_exit_list != &tz_first_block) {
      tz_exit_block* empty = tz_exit_list;
      tz_exit_list = empty->next;
      HeapFree(GetProcessHeap(), 0, empty);
    }
    if (tz_exit_list != NULL && tz_exit_list->count > 0) fn = tz_exit_list->fns[--tz_exit_list->count];
    LeaveCriticalSection(&tz_exit_lock);
    if (fn == NULL) return;
    fn();
  }
}

// ---- constructors and destructors --------------------------------------------------------------

static void tz_run_dtors(void) {
  for (tz_fn* p = __DTOR_LIST__ + 1; *p != NULL; ++p) (*p)();
}

// The entries are run from the last to the first, as GCC's own __do_global_ctors does: the
// linker puts the unwind-table registration (crtend.o, priority 65535) last.
void tz_crt_start(void) {
  size_t count = (size_t)__CTOR_LIST__[0];
  if (count == (size_t)-1) {
    for (count = 0; __CTOR_LIST__[count + 1] != NULL; ++count) {
    }
  }
  for (size_t i = count; i >= 1; --i) __CTOR_LIST__[i]();
  atexit(tz_run_dtors);
}

// GCC calls __main at the start of main() on this target; the constructors have run by then.
void __main(void) {}

// libgcc's win32 threads test this to know whether locks are needed: always, here.
int _CRT_MT = 1;

// ---- thread-local keys ---------------------------------------------------------------------------

// libgcc's gthr-win32 registers a destructor for each TlsAlloc key it makes (emutls's one key).
typedef struct tz_key_dtor {
  DWORD key;
  void (*dtor)(void*);
} tz_key_dtor;

static tz_key_dtor tz_key_dtors[8];
static LONG tz_key_dtor_count;

// Called once per key (libgcc makes its keys under a once-flag); the atexit list's lock keeps two
// threads apart all the same. (InterlockedIncrement would not do: on Windows 95 it returns only
// the sign of the new value.)
int __mingwthr_key_dtor(DWORD key, void (*dtor)(void*)) {
  int result = 0;
  if (dtor == NULL) return 0;
  tz_lock_exit_list();
  if (tz_key_dtor_count < (LONG)(sizeof(tz_key_dtors) / sizeof(tz_key_dtors[0]))) {
    tz_key_dtors[tz_key_dtor_count].key = key;
    tz_key_dtors[tz_key_dtor_count].dtor = dtor;
    ++tz_key_dtor_count;
  } else {
    result = -1;
  }
  LeaveCriticalSection(&tz_exit_lock);
  return result;
}

void tz_crt_thread_ended(void) {
  LONG count = tz_key_dtor_count;
  for (LONG i = 0; i < count; ++i) {
    if (tz_key_dtors[i].dtor == NULL) continue;
    void* value = TlsGetValue(tz_key_dtors[i].key);
    if (value != NULL) {
      TlsSetValue(tz_key_dtors[i].key, NULL);
      tz_key_dtors[i].dtor(value);
    }
  }
}

// ---- ending ------------------------------------------------------------------------------------

void exit(int code) {
  tz_crt_run_atexit();
  ExitProcess((UINT)code);
}

void _exit(int code) { ExitProcess((UINT)code); }

// What msvcrt's abort ends with (exit code 3), without its message: the programs abort only on a
// defect (std::terminate) or on running out of memory where no handler catches it.
void abort(void) { ExitProcess(3); }

