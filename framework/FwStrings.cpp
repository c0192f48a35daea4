#include "FwStrings.h"

#include <cstring>
#include <vector>

namespace fw {

std::string LoadStr(UINT id, HINSTANCE inst) {
  if (inst == nullptr) inst = GetModuleHandleA(nullptr);
  // Resource strings are at most 4095 characters (the table's length field limit is larger,
  // but none of ours comes close); a longer one is cut rather than overrun.
  char buf[4096];
  int n = LoadStringA(inst, id, buf, sizeof(buf));
  if (n <= 0) return std::string();
  return std::string(buf, static_cast<size_t>(n));
}

std::string FormatPercent1(const std::string& format, const std::string& arg) {
  std::string out;
  out.reserve(format.size() + arg.size());
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '1') {
      out += arg;
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

static bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string Trim(const std::string& text) {
  size_t b = 0, e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  return text.substr(b, e - b);
}

std::string FromBuffer(const char* data, size_t size) {
  if (data == nullptr) return std::string();
  const void* zero = std::memchr(data, 0, size);
  size_t n = zero ? static_cast<size_t>(static_cast<const char*>(zero) - data) : size;
  return std::string(data, n);
}

std::string GetWindowString(HWND wnd) {
  int len = GetWindowTextLengthA(wnd);
  if (len <= 0) return std::string();
  std::vector<char> buf(static_cast<size_t>(len) + 1);
  int got = GetWindowTextA(wnd, buf.data(), len + 1);
  std::string text = got <= 0 ? std::string() : FromBuffer(buf.data(), static_cast<size_t>(got));
  SecureZeroMemory(buf.data(), buf.size());
  return text;
}

void WipeString(std::string& text) {
  // Growing to the capacity never reallocates, and makes every byte of the buffer one that
  // may be written.
  text.resize(text.capacity());
  if (!text.empty()) SecureZeroMemory(text.data(), text.size());
  text.clear();
}

void AssignSecret(std::string& dest, const std::string& src) {
  if (&dest == &src) return;
  WipeString(dest);
  dest.assign(src);
}

}  // namespace fw
