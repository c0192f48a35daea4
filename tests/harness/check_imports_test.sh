#!/usr/bin/env bash
# check-imports on small i686 programs built here: a program on kernel32 alone passes, the
# MinGW runtime's imports from msvcrt.dll (which retail Windows 95 lacks) are refused, imports
# Windows 95/NT 4 lack are named, imports by ordinal are read, imports from the deliverables' own
# DLLs are not checked. Then check-i486 on the same programs: Debian's static runtime is built for
# the Pentium Pro, so it is refused with the instruction named; code built for the i486 without
# that runtime passes; an SSE instruction and a long NOP are refused; the exception tables that
# GNU ld puts in .text after the constructor lists are data, not code.
set -u
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cxx="i686-w64-mingw32-g++-win32 -O1 -std=c++20 -static -static-libgcc -static-libstdc++"
failures=0
expect() {  # name expected-exit-code output-must-contain output
  if [ "$2" != "$rc" ] || [[ "$4" != *"$3"* ]]; then
    echo "FAIL $1: exit $rc, output: $4"; failures=$((failures + 1))
  else
    echo "ok   $1"
  fi
}

cd "$work"
cat >good.cpp <<'CPP'
#include <windows.h>
#include <string>
#include <vector>
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR cmd, int) {
  std::vector<std::string> v{cmd, "x"};
  v.push_back(v[0] + v[1]);
  return MessageBoxA(nullptr, v.back().c_str(), "t", MB_OK);
}
CPP
printf 'LIBRARY ordtest.dll\nEXPORTS\nByNumber@4 @34 NONAME\n' >ordtest.def
printf 'LIBRARY TzSetupUtils.dll\nEXPORTS\nOwn@4 @34 NONAME\n' >own.def
i686-w64-mingw32-dlltool -d ordtest.def -l libordtest.a -k && i686-w64-mingw32-dlltool -d own.def -l libown.a -k || exit 1
cat >bad.cpp <<'CPP'
#include <windows.h>
extern "C" int __stdcall ByNumber(int);
int main() { return static_cast<int>(GetTickCount64()) + ByNumber(1); }
CPP
cat >own.c <<'C'
#include <windows.h>
int __stdcall Own(int);
void __stdcall start(void) { ExitProcess(Own(1400)); }
C
cat >bare.c <<'C'
#include <windows.h>
void __stdcall start(void) { ExitProcess(GetTickCount() > 1 ? 0 : 1); }
C
$cxx -mwindows good.cpp -o good.exe && $cxx bad.cpp -L. -lordtest -o bad.exe || exit 1
i686-w64-mingw32-gcc-win32 -march=i486 -Os -nostdlib -e _start@0 own.c -L. -lown -lkernel32 -o own.exe &&
  i686-w64-mingw32-gcc-win32 -march=i486 -Os -nostdlib -e _start@0 bare.c -lkernel32 -o bare.exe || exit 1

out=$("$here/check-imports" "$work" bare.exe 2>&1); rc=$?
expect "kernel32 alone passes" 0 "all within the allow-list" "$out"
out=$("$here/check-imports" "$work" good.exe 2>&1); rc=$?
expect "the MinGW runtime's msvcrt.dll is refused" 1 "good.exe imports from msvcrt.dll, which retail Windows 95 lacks" "$out"
expect "its functions are named" 1 "good.exe imports msvcrt:" "$out"
out=$("$here/check-imports" "$work" bad.exe 2>&1); rc=$?
expect "GetTickCount64 is refused" 1 "bad.exe imports kernel32:GetTickCount64" "$out"
expect "an import by ordinal is read as dll:#n" 1 "bad.exe imports ordtest:#34" "$out"
out=$("$here/check-imports" "$work" own.exe 2>&1); rc=$?
expect "imports from the deliverables' DLLs are ours" 0 "all within the allow-list" "$out"
out=$("$here/check-imports" "$work" missing.exe 2>&1); rc=$?
expect "a missing file fails" 1 "missing:" "$out"

cat >p6.s <<'ASM'
  .text
  .globl _start
_start:
  cmovne %eax, %ebx
  nopl 0(%eax)
  movaps %xmm0, %xmm1
  ret
ASM
# Bytes that read as SSE (movups, cvtpi2ps) in an exception table, which ld places in .text
# after the constructor lists.
cat >table.s <<'ASM'
  .text
  .globl _start
_start:
  ret
  .section .gcc_except_table,"dr"
  .byte 0x0f, 0x10, 0x97, 0x13, 0x00, 0x82, 0x10, 0x0f, 0x2a, 0x05, 0x00, 0x00, 0x40, 0x05
ASM
i686-w64-mingw32-gcc-win32 -nostdlib -e _start p6.s -o p6.exe &&
  i686-w64-mingw32-gcc-win32 -nostdlib -e _start table.s -o table.exe || exit 1
out=$("$here/check-i486" good.exe 2>&1); rc=$?
expect "the prebuilt static runtime is refused" 1 "good.exe: " "$out"
expect "the refused instruction is named" 1 "cmov" "$out"
out=$("$here/check-i486" bare.exe 2>&1); rc=$?
expect "i486 code without that runtime passes" 0 "i486 instructions only: 1 file(s)" "$out"
out=$("$here/check-i486" p6.exe 2>&1); rc=$?
expect "cmov is refused" 1 "cmovne %eax,%ebx" "$out"
expect "the 0F 1F long NOP is refused" 1 "nopl (%eax)" "$out"
expect "SSE is refused" 1 "movaps %xmm0,%xmm1" "$out"
out=$("$here/check-i486" table.exe 2>&1); rc=$?
expect "an exception table after the constructor lists is not code" 0 "i486 instructions only: 1 file(s)" "$out"
exit $((failures > 0))
