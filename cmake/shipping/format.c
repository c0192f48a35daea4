// _snprintf for the shipping build (see libc.c), in a file of its own: it needs user32, which
// the component libraries do not import.
// These files define the functions that the C headers declare as imported from msvcrt.dll.
#define _CRTIMP
#include <windows.h>

#include <stdarg.h>
#include <stddef.h>
#include <string.h>

// _snprintf by msvcrt's rules: at most |size| characters; when the text fits with room to spare it
// is terminated and its length returned; when it fills the buffer exactly it is not terminated and
// its length returned; when it is longer, the first |size| characters and -1. The formatting is
// user32's wvsprintfA (%d %i %u %x %X %c %s with flags, width and precision, "l" and "h"; no
// floating point), which writes at most 1,024 characters: a longer text counts as cut short.
int _vsnprintf(char* buffer, size_t size, const char* format, va_list args) {
  char text[1025];
  int length = wvsprintfA(text, format, args);
  if (length < 0) length = 0;
  if (length > 1024) length = 1024;
  size_t n = (size_t)length < size ? (size_t)length : size;
  memcpy(buffer, text, n);
  if ((size_t)length < size) {
    buffer[length] = '\0';
    return length;
  }
  if ((size_t)length == size && length < 1024) return length;
  return -1;
}

int _snprintf(char* buffer, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = _vsnprintf(buffer, size, format, args);
  va_end(args);
  return result;
}

// The headers declare _snprintf as imported from a DLL: calls go through this pointer.
int (*_imp___snprintf)(char*, size_t, const char*, ...) = _snprintf;
