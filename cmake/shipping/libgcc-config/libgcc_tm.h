// See tconfig.h: libgcc adds no target macros for i686-w64-mingw32.
