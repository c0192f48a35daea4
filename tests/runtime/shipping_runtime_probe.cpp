// Built by the shipping build with its own runtime (cmake/shipping: start-up, C functions, GCC's
// exception runtime compiled for the i486) and run by the 32-bit leg (shipping_runtime): what
// the shipping programs rely on of that runtime, including what they reach only on a defect or
// when memory runs out. Prints one line per case to the standard output; the last line, written
// by a global destructor after every atexit function has run, is "runtime probe: all passed" or
// "runtime probe: N failed".
//   tz_runtime_probe.exe tail-check "x y" z
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

int g_failures = 0;
int g_atexitOrder = 0;  // 0, then 2 after the second function, then 21 after the first

void Write(const std::string& text) {
  DWORD written = 0;
  std::string line = text + "\n";
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void Check(bool good, const std::string& what, const std::string& saw) {
  if (!good) ++g_failures;
  Write((good ? "ok   " : "FAIL ") + what + (good ? std::string() : ": saw " + saw));
}

std::string Num(long long v) {
  char text[32];
  wsprintfA(text, "%ld", static_cast<long>(v));
  return text;
}

// Global objects: constructed before WinMain in the order of their definitions; the last one
// destroyed reports.
int g_constructed = 0;
struct First {
  int order;
  First() : order(++g_constructed) {}
} g_first;
struct Reporter {
  int order;
  Reporter() : order(++g_constructed) {}
  ~Reporter() {
    Check(g_atexitOrder == 21, "atexit functions ran newest first, before the global destructors", Num(g_atexitOrder));
    Write(g_failures == 0 ? "runtime probe: all passed" : "runtime probe: " + Num(g_failures) + " failed");
  }
} g_reporter;

void AtExitFirst() { g_atexitOrder = g_atexitOrder * 10 + 1; }
void AtExitSecond() { g_atexitOrder = g_atexitOrder * 10 + 2; }

struct Failure {
  int code;
};
struct DerivedFailure : Failure {
  const char* where;
};

int g_unwound = 0;
struct Guard {
  ~Guard() { ++g_unwound; }
};

[[gnu::noinline]] void ThrowDeep(int depth) {
  Guard guard;
  if (depth == 0) throw DerivedFailure{{42}, "deep"};
  ThrowDeep(depth - 1);
}

DWORD WINAPI ThreadBody(void*) {
  // Exceptions on a second thread: their state is per thread (emutls), made on first use.
  int caught = 0;
  for (int i = 0; i < 3; ++i) {
    try {
      ThrowDeep(2);
    } catch (const Failure& f) {
      caught += f.code == 42;
    }
  }
  return static_cast<DWORD>(caught);
}

void Exceptions() {
  g_unwound = 0;
  int code = 0;
  try {
    ThrowDeep(3);
  } catch (const Failure& f) {
    code = f.code;
  }
  Check(code == 42 && g_unwound == 4, "a throw through four frames is caught by its base, each frame unwound",
        Num(code) + " " + Num(g_unwound));

  bool rethrown = false;
  try {
    try {
      throw std::bad_alloc();
    } catch (...) {
      throw;
    }
  } catch (const std::bad_alloc&) {
    rethrown = true;
  }
  Check(rethrown, "a rethrown bad_alloc is caught as bad_alloc", "not caught");

  // Out of memory: the runtime's operator new throws std::bad_alloc when the heap refuses.
  // Kept in a volatile pointer: an unused new/delete pair may be left out by the compiler.
  volatile size_t huge = 0x7FFFFFF0u;
  static char* volatile block = nullptr;
  bool outOfMemory = false;
  try {
    block = new char[huge];
  } catch (const std::bad_alloc&) {
    outOfMemory = true;
  }
  delete[] block;
  Check(outOfMemory, "operator new throws std::bad_alloc when the heap refuses", "no exception");

  HANDLE thread = CreateThread(nullptr, 0, ThreadBody, nullptr, 0, nullptr);
  DWORD caught = 0;
  if (thread != nullptr) {
    WaitForSingleObject(thread, 30000);
    GetExitCodeThread(thread, &caught);
    CloseHandle(thread);
  }
  Check(caught == 3, "exceptions thrown and caught on a second thread", Num(caught));
}

void CFunctions() {
  errno = 0;
  long v = std::strtol("2147483648", nullptr, 10);
  Check(v == LONG_MAX && errno == ERANGE, "strtol: overflow gives LONG_MAX and ERANGE", Num(v) + " errno " + Num(errno));
  errno = 0;
  v = std::strtol("-2147483648", nullptr, 10);
  Check(v == LONG_MIN && errno == 0, "strtol: LONG_MIN is in range", Num(v) + " errno " + Num(errno));
  char* end = nullptr;
  const char* text = " \t-12abc";
  v = std::strtol(text, &end, 10);
  Check(v == -12 && end == text + 5, "strtol: blanks, sign, digits, the end after them", Num(v) + " at " + Num(end - text));
  v = std::strtol("xyz", &end, 10);
  Check(v == 0, "strtol: no digits gives 0", Num(v));
  Check(std::strtol("0x1f", nullptr, 16) == 31 && std::strtol("017", nullptr, 0) == 15,
        "strtol: base 16 with 0x, base 0 octal", Num(std::strtol("0x1f", nullptr, 16)));

  char buffer[8];
  std::memset(buffer, '#', sizeof(buffer));
  int n = _snprintf(buffer, 7, "File%d", 12);
  Check(n == 6 && std::strcmp(buffer, "File12") == 0, "_snprintf: a text that fits is terminated", Num(n));
  std::memset(buffer, '#', sizeof(buffer));
  n = _snprintf(buffer, 6, "File%d", 12);
  Check(n == 6 && std::memcmp(buffer, "File12#", 7) == 0, "_snprintf: a text that fills the buffer is not terminated",
        Num(n));
  std::memset(buffer, '#', sizeof(buffer));
  n = _snprintf(buffer, 3, "File%d", 12);
  Check(n == -1 && std::memcmp(buffer, "Fil#", 4) == 0, "_snprintf: a longer text is cut and gives -1", Num(n));

  char overlap[] = "abcdef";
  std::memmove(overlap + 1, overlap, 4);
  Check(std::strcmp(overlap, "aabcdf") == 0, "memmove: overlapping forward", overlap);
  std::memmove(overlap, overlap + 1, 4);
  Check(std::strcmp(overlap, "abcddf") == 0, "memmove: overlapping backward", overlap);
  Check(std::strcmp("\x80", "\x01") > 0 && std::memcmp("\x80", "\x01", 1) > 0 && std::strncmp("ab", "abc", 2) == 0,
        "strcmp, memcmp: bytes compare unsigned; strncmp stops at the count", "wrong sign");

  auto* zeroed = static_cast<unsigned char*>(std::calloc(1000, 4));
  bool allZero = zeroed != nullptr;
  for (int i = 0; allZero && i < 4000; ++i) allZero = zeroed[i] == 0;
  Check(allZero, "calloc: zeroed", "not zeroed");
  std::memset(zeroed, 7, 4000);
  auto* grown = static_cast<unsigned char*>(std::realloc(zeroed, 100000));
  Check(grown != nullptr && grown[0] == 7 && grown[3999] == 7, "realloc: grows and keeps the contents", "lost");
  Check(std::realloc(grown, 0) == nullptr, "realloc to 0 frees", "not null");
  volatile size_t count = 0x10000, size = 0x10000;
  Check(std::calloc(count, size) == nullptr, "calloc: a count times size beyond the address space fails", "allocated");
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int) {
  Check(g_first.order == 1 && g_reporter.order == 2, "global constructors ran before WinMain, in order",
        Num(g_first.order) + " " + Num(g_reporter.order));
  Check(instance == GetModuleHandleA(nullptr), "WinMain's instance is the program's module", "another");
  Check(std::strcmp(cmdLine, "tail-check \"x y\" z") == 0, "the command line after the program's name", cmdLine);
  Exceptions();
  CFunctions();
  std::atexit(AtExitFirst);
  std::atexit(AtExitSecond);
  return g_failures;
}
