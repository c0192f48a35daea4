// The parts of the shipping C runtime (crt.c) that its two entry points use.
#pragma once
#include <windows.h>

// Runs the global constructors and registers the destructors with atexit.
void tz_crt_start(void);
// Runs the atexit functions, newest first.
void tz_crt_run_atexit(void);
// Destroys the calling thread's values of the thread-local keys that have a destructor.
void tz_crt_thread_ended(void);
// Runs the atexit functions, then ends the process with |code|.
void exit(int code) __attribute__((noreturn));
