// Test stand-in for programs the dialer starts (the RAS monitor, the web browser): records
// that it ran, with its command line, and ends at once.
#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR cmdLine, int) {
  char path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string name(path, n < MAX_PATH ? n : 0);
  size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name = name.substr(slash + 1);
  std::string line = name + "|" + (cmdLine ? cmdLine : "") + "\r\n";
  // Several starts may race: retry while another holds the file.
  for (int attempt = 0; attempt < 100; ++attempt) {
    HANDLE f = CreateFileA("C:\\tz-marks.txt", FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
      CloseHandle(f);
      return 0;
    }
    Sleep(20);
  }
  return 1;
}
