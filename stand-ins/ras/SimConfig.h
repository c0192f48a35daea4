// The simulator's configuration (devices, accounts, timing, faults), read from rassim.ini at
// every call that needs it, so that a test may change it between calls.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

struct SimDevice {
  std::string name; // at most 128 characters, as a RASDEVINFOA holds
  std::string type; // at most 16
};

struct SimConfig {
  static constexpr DWORD kNoState = 0xFFFFFFFF;
  static constexpr size_t kMaxDevices = 64;

  std::string source; // the file read, or empty when the defaults apply
  std::vector<SimDevice> devices;
  std::vector<std::pair<std::string, std::string>> accounts; // user name, password

  DWORD stepMs = 200;     // before each of the ten notifications of a dial: about 2 s in all
  DWORD lateDelayMs = 0;  // between late notifications
  DWORD portCloseMs = 0;  // a hung-up port stays in use this long
  bool hangUpWaitsForNotifier = false; // RasHangUpA returns after a notifier call in progress
  DWORD hangUpDelayMs = 0;     // RasHangUpA takes this long before it acts
  std::string portCloseEvent;  // a hung-up port stays in use until this named event is set
  bool notifyBeforeHandle = false; // RasDialA writes the handle back after the first notification

  DWORD errorState = kNoState; // a notification with this state carries errorCode instead
  DWORD errorCode = 0;
  DWORD extendedError = 0;
  DWORD refuseCode = 0;        // RasDialA returns this at once
  bool refuseStoresHandle = false;
  DWORD dropAtState = kNoState;      // RASCS_Disconnected follows this state
  LONG dropAfterConnectMs = -1;      // RASCS_Disconnected this long after RASCS_Connected
  DWORD lateNotifications = 0;       // still delivered after RasHangUpA
  DWORD outOfMemoryState = kNoState; // the program's allocations fail in this state's notifier call

  std::vector<std::pair<std::string, DWORD>> failCalls; // function name, code it returns

  // The code a [FailCalls] line forces the named function to return, or 0.
  DWORD ForcedFailure(const char* function) const;
  bool AccountAccepts(const std::string& user, const std::string& password) const;
  const SimDevice* FindDevice(const std::string& name) const;
};

// RASSIM_CONFIG when set (a missing file then gives the defaults), else rassim.ini beside the
// simulator DLL, else the defaults: no devices, no accounts, no faults.
SimConfig LoadSimConfig();
// Module of the simulator, set by DllMain; used to find rassim.ini beside it.
extern HMODULE g_simModule;
