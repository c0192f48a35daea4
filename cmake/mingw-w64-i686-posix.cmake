# 32-bit test build: the i686 compilers with the posix thread model, which GoogleTest needs
# (std::mutex). Only the tests, the UI driver and the stand-ins of this build are run; the
# programs under test are the shipping ones of the win32 build.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TZ_TRIPLE i686-w64-mingw32)
set(TZ_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
