# 32-bit test build: the i686 compilers with the posix thread model, which GoogleTest needs
# (std::mutex). Only the tests, the UI driver and the stand-ins of this build are run; the
# programs under test are the shipping ones of the win32 build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TZ_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${TZ_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TZ_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${TZ_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TZ_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
