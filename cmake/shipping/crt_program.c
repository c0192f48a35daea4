// The entry point of the shipping programs (see crt.c), and their TLS directory.
#include "crt.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR cmdLine, int cmdShow);

// The image's TLS directory, with one callback: a thread of a program ends. (A library gets
// DLL_THREAD_DETACH in DllMainCRTStartup instead.) The linker points the TLS data directory at
// _tls_used and sorts the .CRT$XL* sections between the two null entries.
static void NTAPI tz_tls_callback(PVOID instance, DWORD reason, PVOID reserved) {
  (void)instance;
  (void)reserved;
  if (reason == DLL_THREAD_DETACH) tz_crt_thread_ended();
}

ULONG _tls_index = 0;
__attribute__((section(".tls"))) char _tls_start = 0;
__attribute__((section(".tls$ZZZ"))) char _tls_end = 0;
__attribute__((section(".CRT$XLA"), used)) PIMAGE_TLS_CALLBACK __xl_a = 0;
__attribute__((section(".CRT$XLC"), used)) PIMAGE_TLS_CALLBACK tz_xl_c = tz_tls_callback;
__attribute__((section(".CRT$XLZ"), used)) PIMAGE_TLS_CALLBACK __xl_z = 0;
__attribute__((used)) const IMAGE_TLS_DIRECTORY _tls_used = {
    (ULONG)(ULONG_PTR)&_tls_start, (ULONG)(ULONG_PTR)&_tls_end, (ULONG)(ULONG_PTR)&_tls_index,
    (ULONG)(ULONG_PTR)(&__xl_a + 1), 0, 0};

// The command line after the program's name, by the rules of the Windows C runtimes: a name in
// quotes ends at the closing quote, any other at the first blank; blanks after it are skipped.
static LPSTR tz_command_tail(LPSTR line) {
  if (line == NULL) return (LPSTR) "";
  if (*line == '"') {
    ++line;
    while (*line != '\0' && *line != '"') ++line;
    if (*line == '"') ++line;
  } else {
    while (*line != '\0' && *line != ' ' && *line != '\t') ++line;
  }
  while (*line == ' ' || *line == '\t') ++line;
  return line;
}

void WinMainCRTStartup(void) {
  STARTUPINFOA startup;
  startup.cb = sizeof(startup);
  GetStartupInfoA(&startup);
  int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
  // The TLS directory is named only by the linker's data directory entry: this reference keeps
  // it through --gc-sections.
  (void)*(volatile const ULONG*)&_tls_used.AddressOfIndex;
  tz_crt_start();
  exit(WinMain(GetModuleHandleA(NULL), NULL, tz_command_tail(GetCommandLineA()), show));
}

