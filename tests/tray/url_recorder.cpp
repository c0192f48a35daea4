// Stands in for the web browser in the tray program's tests: registered as the open
// command of http and https in the test prefix, it appends the address it is asked to open
// to a log file, one line per call.
//   tray_url_recorder.exe <log file> <address>
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  FILE* log = std::fopen(argv[1], "ab");
  if (log == nullptr) return 1;
  std::fprintf(log, "%s\r\n", argv[2]);
  std::fclose(log);
  return 0;
}
