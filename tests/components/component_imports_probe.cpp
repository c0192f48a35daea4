// Linked like the tray program, never run: the build inspects its import table.
#include <TzOSControl.h>
#include <TzSetupUtils.h>

int main() {
  TZSU_HANDLE handle = 0;
  LONG count = 0;
  DWORD number = 0;
  char small[9][TZSU_LONG_TEXT] = {};
  TzSuOpen(&handle);
  TzSuPrepare(handle);
  TzSuGetEntryCount(handle, &count);
  TzSuBeginEnum(handle);
  TzSuNextEntry(handle, &number, small[0], small[1], small[2], small[3], small[4], small[5], small[6], small[7], small[8]);
  TzSuEndEnum(handle);
  TzSuWriteRuntimeFile(handle, "runtime.txt", "");
  TzSuClose(&handle);
  TzSuAdjustNetworkSettings(1400);
  if (TzOSInitialize() && TzOSLoadAll("Corvane")) {
    TzOSUnloadAll("Corvane");
    TzOSExit();
  }
  return 0;
}
