// Stands in for the web browser in the tray program's tests: registered as the open
// command of http and https in the test prefix, it appends the address it is asked to open
// to a log file, one line per call, and its working folder (inherited from the program that
// opened the address) to "<log file>.cwd".
//   tray_url_recorder.exe <log file> <address>
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  FILE* log = std::fopen(argv[1], "ab");
  if (log == nullptr) return 1;
  std::fprintf(log, "%s\r\n", argv[2]);
  std::fclose(log);
  char cwd[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, cwd);
  if (FILE* dir = std::fopen((std::string(argv[1]) + ".cwd").c_str(), "ab")) {
    std::fprintf(dir, "%s\r\n", cwd);
    std::fclose(dir);
  }
  return 0;
}
