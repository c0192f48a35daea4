// Calls TzSetupUtils as a separate program, so that a test can run it under another Windows
// version (Wine's per-program version). Arguments, done in order:
//   enum             1, 3, 5, 6, 7 until it fails, 8, 2; prints every status and entry
//   mtu=<n>          34(n)
//   runtime=<path>   1, 3, 11(path, ""), 2
// Output lines: "name=value"; entries as "entry=number|key|description|service|provider|
// date|version|inf|section|hardware id".
#include <TzSetupUtils.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void Enumerate() {
  TZSU_HANDLE handle = 0;
  std::printf("open=%lu\n", TzSuOpen(&handle));
  std::printf("prepare=%lu\n", TzSuPrepare(handle));
  LONG count = -1;
  TZSU_STATUS status = TzSuGetEntryCount(handle, &count);
  std::printf("count-status=%lu\ncount=%ld\n", status, count);
  std::printf("begin=%lu\n", TzSuBeginEnum(handle));
  for (int guard = 0; guard < 1000; ++guard) {
    DWORD number = 0;
    char t[9][TZSU_LONG_TEXT] = {};
    TZSU_STATUS status = TzSuNextEntry(handle, &number, t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8]);
    if (status != TZSU_OK) {
      std::printf("next=%lu\n", status);
      break;
    }
    std::printf("entry=%lu|%s|%s|%s|%s|%s|%s|%s|%s|%s\n", number, t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8]);
  }
  std::printf("end=%lu\n", TzSuEndEnum(handle));
  std::printf("close=%lu\n", TzSuClose(&handle));
}

void Runtime(const char* path) {
  TZSU_HANDLE handle = 0;
  TZSU_STATUS status = TzSuOpen(&handle);
  if (status == TZSU_OK) status = TzSuPrepare(handle);
  if (status == TZSU_OK) status = TzSuWriteRuntimeFile(handle, path, "");
  TzSuClose(&handle);
  std::printf("runtime=%lu\n", status);
}

}  // namespace

int main(int argc, char** argv) {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  std::printf("platform=%lu\n", version.dwPlatformId);
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "enum") == 0) {
      Enumerate();
    } else if (std::strncmp(argv[i], "mtu=", 4) == 0) {
      std::printf("mtu=%lu\n", TzSuAdjustNetworkSettings(std::strtoul(argv[i] + 4, nullptr, 10)));
    } else if (std::strncmp(argv[i], "runtime=", 8) == 0) {
      Runtime(argv[i] + 8);
    } else {
      std::printf("unknown=%s\n", argv[i]);
      return 2;
    }
  }
  std::fflush(stdout);
  return 0;
}
