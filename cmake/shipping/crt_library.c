// The entry point of the shipping libraries (see crt.c).
#include "crt.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

BOOL WINAPI DllMainCRTStartup(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  BOOL result = TRUE;
  if (reason == DLL_PROCESS_ATTACH) {
    tz_crt_start();
    result = DllMain(instance, reason, reserved);
    // A library that refuses to load is detached without a DLL_PROCESS_DETACH: end it here.
    if (!result) tz_crt_run_atexit();
    return result;
  }
  if (reason == DLL_THREAD_DETACH) tz_crt_thread_ended();
  result = DllMain(instance, reason, reserved);
  if (reason == DLL_PROCESS_DETACH) tz_crt_run_atexit();
  return result;
}
