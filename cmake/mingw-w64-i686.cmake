# Shipping build for 32-bit Windows (95/98/NT 4 and later). The win32 thread model keeps the
# static runtime free of imports those systems lack.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TZ_TRIPLE i686-w64-mingw32)
set(TZ_THREADS win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
