# Shipping build for 32-bit Windows (95/98/NT 4 and later). The win32 thread model keeps the
# static runtime free of imports those systems lack.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TZ_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${TZ_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${TZ_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER  ${TZ_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TZ_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
