# Cross build for 64-bit Windows with the posix thread model (needed by GoogleTest).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TZ_TRIPLE x86_64-w64-mingw32)
set(TZ_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
