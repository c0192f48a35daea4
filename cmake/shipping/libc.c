// The few C library functions that the shipping programs and libraries, and the parts of the
// static C++ runtime they carry (exceptions, operator new, thread-local state), call. On top of
// kernel32, which every Windows 95, 98 and NT 4 has, instead of msvcrt.dll, which
// retail Windows 95 has not. Compiled without link-time optimisation and without turning loops
// into calls of these same functions (see cmake/shipping/runtime.cmake).
// These files define the functions that the C headers declare as imported from msvcrt.dll.
#define _CRTIMP
#include <windows.h>

#include <limits.h>
#include <stddef.h>

// ---- memory: the process heap -------------------------------------------------------------------
// HeapAlloc on the process heap is serialised, and its blocks are 8-byte aligned on every Windows
// version, as malloc's must be for any object type of this target.

void* malloc(size_t size) { return HeapAlloc(GetProcessHeap(), 0, size != 0 ? size : 1); }

void* calloc(size_t count, size_t size) {
  if (size != 0 && count > (size_t)-1 / size) return NULL;
  size_t total = count * size;
  return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, total != 0 ? total : 1);
}

void free(void* block) {
  if (block != NULL) HeapFree(GetProcessHeap(), 0, block);
}

void* realloc(void* block, size_t size) {
  if (block == NULL) return malloc(size);
  if (size == 0) {
    free(block);
    return NULL;
  }
  // On failure the old block stays as it was, as C requires.
  return HeapReAlloc(GetProcessHeap(), 0, block, size);
}

// ---- memory and strings ---------------------------------------------------------------------------

void* memcpy(void* to, const void* from, size_t size) {
  unsigned char* d = (unsigned char*)to;
  const unsigned char* s = (const unsigned char*)from;
  while (size-- != 0) *d++ = *s++;
  return to;
}

void* memmove(void* to, const void* from, size_t size) {
  unsigned char* d = (unsigned char*)to;
  const unsigned char* s = (const unsigned char*)from;
  if (d < s || d >= s + size) {
    while (size-- != 0) *d++ = *s++;
  } else {
    d += size;
    s += size;
    while (size-- != 0) *--d = *--s;
  }
  return to;
}

void* memset(void* to, int value, size_t size) {
  unsigned char* d = (unsigned char*)to;
  while (size-- != 0) *d++ = (unsigned char)value;
  return to;
}

int memcmp(const void* a, const void* b, size_t size) {
  const unsigned char* x = (const unsigned char*)a;
  const unsigned char* y = (const unsigned char*)b;
  for (; size != 0; --size, ++x, ++y) {
    if (*x != *y) return *x < *y ? -1 : 1;
  }
  return 0;
}

void* memchr(const void* block, int value, size_t size) {
  const unsigned char* p = (const unsigned char*)block;
  for (; size != 0; --size, ++p) {
    if (*p == (unsigned char)value) return (void*)p;
  }
  return NULL;
}

size_t strlen(const char* text) {
  const char* end = text;
  while (*end != '\0') ++end;
  return (size_t)(end - text);
}

int strcmp(const char* a, const char* b) {
  const unsigned char* x = (const unsigned char*)a;
  const unsigned char* y = (const unsigned char*)b;
  while (*x != '\0' && *x == *y) ++x, ++y;
  return *x == *y ? 0 : (*x < *y ? -1 : 1);
}

int strncmp(const char* a, const char* b, size_t size) {
  const unsigned char* x = (const unsigned char*)a;
  const unsigned char* y = (const unsigned char*)b;
  for (; size != 0; --size, ++x, ++y) {
    if (*x != *y) return *x < *y ? -1 : 1;
    if (*x == '\0') return 0;
  }
  return 0;
}

// ---- errno ---------------------------------------------------------------------------------------
// One for the process: only strtol sets it, and only the programs' main threads call strtol.
// (<errno.h> is not included: it declares _errno as imported from msvcrt.dll.)
#define ERANGE 34
static int tz_errno;
int* _errno(void) { return &tz_errno; }

// ---- numbers ------------------------------------------------------------------------------------

long strtol(const char* text, char** end, int base) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  int negative = 0;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if ((base == 0 || base == 16) && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
      ((p[2] >= '0' && p[2] <= '9') || ((p[2] | 0x20) >= 'a' && (p[2] | 0x20) <= 'f'))) {
    p += 2;
    base = 16;
  } else if (base == 0) {
    base = *p == '0' ? 8 : 10;
  }
  if (base < 2 || base > 36) {
    if (end != NULL) *end = (char*)text;
    return 0;
  }
  // The magnitude is gathered as an unsigned long, whose range holds LONG_MIN's.
  unsigned long limit = negative ? (unsigned long)LONG_MAX + 1 : (unsigned long)LONG_MAX;
  unsigned long value = 0;
  int any = 0, overflow = 0;
  for (;; ++p) {
    int digit;
    if (*p >= '0' && *p <= '9') {
      digit = *p - '0';
    } else if ((*p | 0x20) >= 'a' && (*p | 0x20) <= 'z') {
      digit = (*p | 0x20) - 'a' + 10;
    } else {
      break;
    }
    if (digit >= base) break;
    any = 1;
    if (overflow) continue;
    if (value > (limit - (unsigned long)digit) / (unsigned long)base) {
      overflow = 1;
    } else {
      value = value * (unsigned long)base + (unsigned long)digit;
    }
  }
  if (end != NULL) *end = (char*)(any ? p : text);
  if (overflow) {
    tz_errno = ERANGE;
    return negative ? LONG_MIN : LONG_MAX;
  }
  return negative ? (long)(0 - value) : (long)value;
}

// The headers declare _errno as imported from a DLL: calls go through this pointer.
int* (*_imp___errno)(void) = _errno;
