// Registry, file and process helpers for the component library tests. Every helper works on
// the test's own Wine prefix (HKEY_LOCAL_MACHINE is writable there).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace tztest {

inline constexpr char kNtClassKey[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
inline constexpr char k95ClassKey[] = "System\\CurrentControlSet\\Services\\Class\\Net";
inline constexpr char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services";

inline void DeleteTree(const std::string& key) { RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str()); }

// Stores data as the value's bytes, exactly size bytes of them (defaults: the text and its zero).
inline void SetValue(const std::string& key, const char* name, DWORD type, const void* data, DWORD size) {
  HKEY k = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                                           nullptr))
      << key;
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(k, name, 0, type, static_cast<const BYTE*>(data), size)) << key << " " << name;
  RegCloseKey(k);
}

inline void SetText(const std::string& key, const char* name, const std::string& text) {
  SetValue(key, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

inline void SetDword(const std::string& key, const char* name, DWORD value) {
  SetValue(key, name, REG_DWORD, &value, sizeof value);
}

inline void CreateKey(const std::string& key) {
  HKEY k = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                                           nullptr));
  RegCloseKey(k);
}

inline bool KeyExists(const std::string& key) {
  HKEY k = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  RegCloseKey(k);
  return true;
}

// A DWORD value, or -1 when it is missing or not a DWORD.
inline long long QueryDword(const std::string& key, const char* name) {
  DWORD type = 0, data = 0, size = sizeof data;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_ANY, &type, &data, &size) != ERROR_SUCCESS) return -1;
  return type == REG_DWORD && size == sizeof data ? static_cast<long long>(data) : -1;
}

// A text value, or "<missing>".
inline std::string QueryText(const std::string& key, const char* name) {
  char data[1024] = {};
  DWORD size = sizeof data - 1;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) {
    return "<missing>";
  }
  return std::string(data);
}

inline std::string WindowsDir() {
  char dir[MAX_PATH] = {};
  UINT n = GetWindowsDirectoryA(dir, sizeof dir);
  std::string s(dir, n < sizeof dir ? n : 0);
  if (!s.empty() && s.back() != '\\') s += '\\';
  return s;
}

// The whole file, or "<missing>".
inline std::string ReadFileText(const std::string& path) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (f == INVALID_HANDLE_VALUE) return "<missing>";
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(f);
  return text;
}

// Lines of a text, without their CR LF or LF (a missing final line end is tolerated).
inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// The call records of a component library (TzOSControl.log, TzSetupUtils.log).
inline std::vector<std::string> LogLines(const char* fileName) {
  std::string text = ReadFileText(WindowsDir() + fileName);
  return text == "<missing>" ? std::vector<std::string>() : SplitLines(text);
}

inline void ClearLog(const char* fileName) { DeleteFileA((WindowsDir() + fileName).c_str()); }

// The folder of this test program (the build's bin folder, beside the libraries).
inline std::string OwnFolder() {
  char path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string s(path, n < sizeof path ? n : 0);
  return s.substr(0, s.find_last_of('\\') + 1);
}

struct RunResult {
  DWORD exitCode = 0xFFFFFFFF;
  std::string output;
};

// Runs a program of the bin folder with its standard output captured.
inline RunResult RunProgram(const std::string& exeName, const std::string& arguments) {
  RunResult result;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  std::string exe = OwnFolder() + exeName;
  std::string commandLine = "\"" + exe + "\" " + arguments;
  BOOL started = CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  CloseHandle(writeEnd);
  if (started) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) result.output.append(buffer, got);
    WaitForSingleObject(pi.hProcess, 30000);
    GetExitCodeProcess(pi.hProcess, &result.exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  CloseHandle(readEnd);
  return result;
}

// Makes Wine report the given Windows version ("win98", "nt40", ...) to one program.
inline void SetProgramWindowsVersion(const char* exeName, const char* version) {
  std::string key = std::string("Software\\Wine\\AppDefaults\\") + exeName;
  HKEY k = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(k, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                                          static_cast<DWORD>(strlen(version) + 1)));
  RegCloseKey(k);
}

}  // namespace tztest
