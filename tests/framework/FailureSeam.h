// Test seams shared by the framework's test programs: an allocation that fails on request,
// and a watcher that reads and closes a message box of this process.
#pragma once
#include <windows.h>

#include <string>

namespace seam {

// The next allocation of the calling thread throws std::bad_alloc (the program's global
// operator new is replaced in FailureSeam.cpp).
void FailNextAllocation();
// True while the failure asked for has not happened yet; clears the request.
bool TakePendingFailure();

// Finds a message box of this process by caption, records its text and closes it; runs on
// a thread of its own because the box is modal on the window's thread.
struct BoxWatcher {
  std::string caption;
  std::string text;
  int seen = 0;
  int expected = 1;  // how many boxes to close before the watcher ends
  int polls = 500;   // how many times it looks (every 20 ms) before it gives up
  HANDLE thread = nullptr;

  void Start();
  // Waits for the watcher to end (its looking is bounded by |polls|).
  void Join();
};

}  // namespace seam
