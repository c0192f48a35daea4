# The runtime of the shipping build (TZ_SHIPPING, i686), for every processor Windows 95/98/NT 4
# ran on and for a Windows 95 without msvcrt.dll:
# - tz_crt: start-up, atexit and the few C functions needed, of our own, on kernel32 and user32
#   (crt.c, libc.c, format.c; crt_program.c and crt_library.c are the entry points), in place of
#   the MinGW-w64 runtime (crt2.o, libmingw32, libmingwex, libmsvcrt);
# - tz_gcc_runtime: GCC's exception runtime (libsupc++) and its unwinder and emutls (libgcc_eh)
#   compiled here for the i486 from GCC's own source (Debian's gcc-12-source), linked ahead of the
#   compiler's prebuilt copies, which are built for the Pentium Pro.
# What else the link takes from the compiler's libraries (libgcc's helpers, a few libstdc++
# members) is checked by tests/harness/check-i486 on the outputs, and the imports by
# tests/harness/check-imports.
#
# tz_shipping_runtime(TARGET) links TARGET (a program or a library) against them.

string(REGEX MATCH "^[0-9]+" tz_gcc_major "${CMAKE_CXX_COMPILER_VERSION}")
# Debian's MinGW-w64 compilers are built from the gcc-N-source package of their major version.
file(GLOB tz_gcc_tarballs "/usr/src/gcc-${tz_gcc_major}/gcc-${tz_gcc_major}.*.tar.xz")
list(SORT tz_gcc_tarballs)
list(GET tz_gcc_tarballs -1 tz_gcc_tarball)
set(TZ_GCC_SOURCE "${tz_gcc_tarball}"
    CACHE FILEPATH "GCC's source tarball, of the shipping compiler's major version (package gcc-${tz_gcc_major}-source)")
if(NOT EXISTS "${TZ_GCC_SOURCE}")
  message(FATAL_ERROR "The shipping build compiles GCC's exception runtime for the i486 from ${TZ_GCC_SOURCE}, "
                      "which is missing: install gcc-${tz_gcc_major}-source (scripts/bootstrap does).")
endif()

# The few folders needed, unpacked once per tarball (about half a minute).
set(tz_gcc_dir "${CMAKE_BINARY_DIR}/gcc-runtime-src")
file(SIZE "${TZ_GCC_SOURCE}" tz_gcc_size)
set(tz_gcc_stamp_text "${TZ_GCC_SOURCE} ${tz_gcc_size}")
set(tz_gcc_stamp "${tz_gcc_dir}/.unpacked-from")
set(tz_gcc_stamp_old "")
if(EXISTS "${tz_gcc_stamp}")
  file(READ "${tz_gcc_stamp}" tz_gcc_stamp_old)
endif()
if(NOT tz_gcc_stamp_old STREQUAL tz_gcc_stamp_text)
  message(STATUS "Unpacking GCC's runtime sources from ${TZ_GCC_SOURCE}")
  file(REMOVE_RECURSE "${tz_gcc_dir}")
  file(MAKE_DIRECTORY "${tz_gcc_dir}")
  string(REGEX REPLACE "(-dfsg)?\\.tar\\.xz$" "" tz_gcc_top "${TZ_GCC_SOURCE}")
  get_filename_component(tz_gcc_top "${tz_gcc_top}" NAME)
  execute_process(
    COMMAND tar xJf "${TZ_GCC_SOURCE}" --strip-components=1 --wildcards
            "${tz_gcc_top}/libgcc/*" "${tz_gcc_top}/libstdc++-v3/libsupc++/*" "${tz_gcc_top}/include/*"
            "${tz_gcc_top}/gcc/tsystem.h"
    WORKING_DIRECTORY "${tz_gcc_dir}" RESULT_VARIABLE tz_tar_result)
  if(NOT tz_tar_result EQUAL 0 OR NOT EXISTS "${tz_gcc_dir}/libgcc/unwind-dw2.c")
    message(FATAL_ERROR "Could not unpack GCC's runtime sources from ${TZ_GCC_SOURCE}")
  endif()
  file(WRITE "${tz_gcc_stamp}" "${tz_gcc_stamp_text}")
endif()

# libsupc++: all of it but the ARM EH ABI, the vtable-verification stubs, and the verbose
# terminate handler (lean_runtime.cpp has its own).
file(GLOB tz_supcxx_sources "${tz_gcc_dir}/libstdc++-v3/libsupc++/*.cc")
list(FILTER tz_supcxx_sources EXCLUDE REGEX "/(atexit_arm|eh_arm|vterminate|vtv_stubs)\\.cc$")
set(tz_libgcc_sources unwind-dw2.c unwind-dw2-fde.c unwind-c.c emutls.c)
list(TRANSFORM tz_libgcc_sources PREPEND "${tz_gcc_dir}/libgcc/")

add_library(tz_gcc_runtime STATIC ${tz_supcxx_sources} ${tz_libgcc_sources})
# As GCC's own build compiles them, less its -O2 (size here) and its warnings; no link-time
# optimisation, so that the linker sees them as the ordinary objects they replace.
set_target_properties(tz_gcc_runtime PROPERTIES INTERPROCEDURAL_OPTIMIZATION OFF CXX_STANDARD 17 CXX_EXTENSIONS ON)
target_compile_options(tz_gcc_runtime PRIVATE -march=i486 -Os -w -ffunction-sections -fdata-sections
  $<$<COMPILE_LANGUAGE:CXX>:-fno-implicit-templates>
  $<$<COMPILE_LANGUAGE:C>:-fbuilding-libgcc -fexceptions -fno-stack-protector -fno-omit-frame-pointer>)
target_compile_definitions(tz_gcc_runtime PRIVATE
  $<$<COMPILE_LANGUAGE:C>:IN_GCC CROSS_DIRECTORY_STRUCTURE IN_LIBGCC2 HAVE_GETIPINFO>)
target_include_directories(tz_gcc_runtime PRIVATE
  "${tz_gcc_dir}/libstdc++-v3/libsupc++"
  "$<$<COMPILE_LANGUAGE:C>:${CMAKE_CURRENT_LIST_DIR}/libgcc-config>"
  "${tz_gcc_dir}/libgcc"
  "$<$<COMPILE_LANGUAGE:C>:${tz_gcc_dir}/libgcc/config/i386;${tz_gcc_dir}/gcc;${tz_gcc_dir}/include>")

add_library(tz_crt STATIC ${CMAKE_CURRENT_LIST_DIR}/crt.c ${CMAKE_CURRENT_LIST_DIR}/libc.c ${CMAKE_CURRENT_LIST_DIR}/format.c)
set_target_properties(tz_crt PROPERTIES INTERPROCEDURAL_OPTIMIZATION OFF)
# A copying loop must not become a call of memcpy inside memcpy.
target_compile_options(tz_crt PRIVATE -march=i486 -Os -ffunction-sections -fdata-sections -fno-builtin
  -fno-tree-loop-distribute-patterns -Wall -Wextra)

execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=crtbegin.o OUTPUT_VARIABLE tz_crtbegin OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=crtend.o OUTPUT_VARIABLE tz_crtend OUTPUT_STRIP_TRAILING_WHITESPACE)

function(tz_shipping_runtime target)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(entry ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/crt_program.c)
  else()
    set(entry ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/crt_library.c)
  endif()
  target_sources(${target} PRIVATE ${entry})
  # The entry point and the TLS directory are found by the linker by name: outside link-time
  # optimisation, which would make them local.
  set_source_files_properties(${entry} TARGET_DIRECTORY ${target} PROPERTIES COMPILE_OPTIONS "-fno-lto")
  add_dependencies(${target} tz_gcc_runtime tz_crt)
  # GCC's crtbegin.o first (the start of the unwind tables, and their registration), crtend.o
  # last (their end): both are free of P6 instructions and of msvcrt. In between, the rebuilt
  # runtime ahead of the compiler's prebuilt libraries, all in one group so that whichever
  # needs which is found; no msvcrt, no MinGW start-up. Data imported from a DLL would need the
  # MinGW runtime's pseudo-relocations: refused at link time instead.
  target_link_options(${target} PRIVATE -nostartfiles -nodefaultlibs ${tz_crtbegin}
    -Wl,--disable-runtime-pseudo-reloc)
  target_link_libraries(${target} PRIVATE
    -Wl,--start-group $<TARGET_FILE:tz_gcc_runtime> -lstdc++ -lgcc -lgcc_eh $<TARGET_FILE:tz_crt>
    -lkernel32 -luser32 -Wl,--end-group ${tz_crtend})
endfunction()
