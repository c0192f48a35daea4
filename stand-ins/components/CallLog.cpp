#include "CallLog.h"

#include <windows.h>

#include <vector>

namespace tz {

namespace {

// Past this size the record starts over, so that it cannot fill a disk.
constexpr DWORD kMaxLogBytes = 1024 * 1024;

}  // namespace

std::string WindowsDirectory() {
  char small[MAX_PATH + 1];
  UINT length = GetWindowsDirectoryA(small, sizeof small);
  std::string dir;
  if (length == 0) return dir;
  if (length < sizeof small) {
    dir.assign(small, length);
  } else {
    // Too long for the buffer: length is then the size needed, terminator included.
    std::vector<char> large(length + 1, '\0');
    UINT again = GetWindowsDirectoryA(large.data(), length + 1);
    if (again == 0 || again > length) return std::string();
    dir.assign(large.data(), again);
  }
  if (dir.back() != '\\') dir += '\\';
  return dir;
}

#if defined(TZ_TEST_HOOKS) && TZ_TEST_HOOKS
void AppendCallLog(const char* fileName, const std::string& line) {
  try {
    std::string path = WindowsDirectory();
    if (path.empty()) return;
    path += fileName;
    // Programs and tests may write at the same time: one writer at a time keeps lines whole.
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Velmora_TzComponents_CallLog");
    bool owned = mutex != nullptr && WaitForSingleObject(mutex, 2000) == WAIT_OBJECT_0;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD high = 0;
      DWORD low = GetFileSize(file, &high);
      if (low != INVALID_FILE_SIZE && (high != 0 || low > kMaxLogBytes)) {
        SetFilePointer(file, 0, nullptr, FILE_BEGIN);
        SetEndOfFile(file);
      }
      SetFilePointer(file, 0, nullptr, FILE_END);
      std::string record = line + "\r\n";
      DWORD written = 0;
      WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
      CloseHandle(file);
    }
    if (owned) ReleaseMutex(mutex);
    if (mutex != nullptr) CloseHandle(mutex);
  } catch (...) {
    // Out of memory: the record is lost, the call's result stands.
  }
}

#endif  // TZ_TEST_HOOKS

}  // namespace tz
