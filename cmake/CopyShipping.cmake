# Copies one shipping program (SRC) into a test build (DST), or says what is missing.
if(NOT EXISTS "${SRC}")
  message(FATAL_ERROR "${SRC} is missing: build the shipping programs first (cmake --preset win32 && cmake --build --preset win32)")
endif()
file(COPY_FILE "${SRC}" "${DST}" ONLY_IF_DIFFERENT)
