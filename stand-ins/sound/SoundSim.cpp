// A winmm.dll with the one function the dialer calls, for tests under Wine: it "plays" a
// WAV file by waiting as long as the file's samples last, so that a test can act while the
// connection sound plays, on a machine without an audio device. Each call appends
// "start|<file>" and "end|<file>" (or "fail|<file>") to the file named by SOUNDSIM_LOG.
#include <windows.h>

#include <cstring>
#include <string>

namespace {

void Log(const char* what, const char* file) {
  char path[MAX_PATH] = {};
  DWORD n = GetEnvironmentVariableA("SOUNDSIM_LOG", path, sizeof(path));
  if (n == 0 || n >= sizeof(path)) return;
  HANDLE f = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  std::string line = std::string(what) + "|" + (file ? file : "") + "\r\n";
  DWORD written = 0;
  WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(f);
}

DWORD Le32(const BYTE* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<DWORD>(p[3]) << 24); }

// Length in milliseconds of the PCM data of a RIFF WAVE file; false when it is none.
bool WaveLength(const char* path, DWORD& ms) {
  HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  BYTE head[4096] = {};
  DWORD got = 0;
  const BOOL read = ReadFile(f, head, sizeof(head), &got, nullptr);
  CloseHandle(f);
  if (!read || got < 12 || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return false;
  DWORD byteRate = 0;
  for (DWORD at = 12; at + 8 <= got;) {
    const DWORD size = Le32(head + at + 4);
    if (std::memcmp(head + at, "fmt ", 4) == 0 && at + 8 + 16 <= got && size >= 16) {
      byteRate = Le32(head + at + 8 + 8);
    } else if (std::memcmp(head + at, "data", 4) == 0) {
      if (byteRate == 0) return false;
      ms = static_cast<DWORD>(static_cast<ULONGLONG>(size) * 1000 / byteRate);
      return true;
    }
    if (size > got) return false;
    at += 8 + size + (size & 1);
  }
  return false;
}

}  // namespace

extern "C" BOOL WINAPI sndPlaySoundA(LPCSTR sound, UINT flags) {
  DWORD ms = 0;
  if (sound == nullptr || !WaveLength(sound, ms)) {
    Log("fail", sound);
    return FALSE;
  }
  Log("start", sound);
  if ((flags & 0x0001) == 0) Sleep(ms);  // SND_ASYNC not set: the call lasts as the sound does
  Log("end", sound);
  return TRUE;
}
