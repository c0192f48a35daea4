#!/usr/bin/env bash
# check-imports on small i686 programs built here: what the static runtime imports passes,
# imports Windows 95/NT 4 lack are named, imports by ordinal are read, imports from the
# deliverables' own DLLs are not checked. Then check-i486 on the same programs: Debian's static
# runtime is built for the Pentium Pro, so it is refused with the instruction named; code built
# for the i486 without that runtime passes; an SSE instruction and a long NOP are refused.
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
cat >own.cpp <<'CPP'
extern "C" int __stdcall Own(int);
int main() { return Own(1400); }
CPP
$cxx -mwindows good.cpp -o good.exe && $cxx bad.cpp -L. -lordtest -o bad.exe && $cxx own.cpp -L. -lown -o own.exe || exit 1

out=$("$here/check-imports" "$work" good.exe 2>&1); rc=$?
expect "static C++ runtime and user32 pass" 0 "all within the allow-list" "$out"
out=$("$here/check-imports" "$work" bad.exe 2>&1); rc=$?
expect "GetTickCount64 is refused" 1 "bad.exe imports kernel32:GetTickCount64" "$out"
expect "an import by ordinal is read as dll:#n" 1 "bad.exe imports ordtest:#34" "$out"
out=$("$here/check-imports" "$work" own.exe 2>&1); rc=$?
expect "imports from the deliverables' DLLs are ours" 0 "all within the allow-list" "$out"
out=$("$here/check-imports" "$work" missing.exe 2>&1); rc=$?
expect "a missing file fails" 1 "missing:" "$out"

cat >bare.c <<'C'
#include <windows.h>
void __stdcall start(void) { ExitProcess(GetTickCount() > 1 ? 0 : 1); }
C
cat >p6.s <<'ASM'
  .text
  .globl _start
_start:
  cmovne %eax, %ebx
  nopl 0(%eax)
  movaps %xmm0, %xmm1
  ret
ASM
i686-w64-mingw32-gcc-win32 -march=i486 -Os -nostdlib -e _start@0 bare.c -lkernel32 -o bare.exe &&
  i686-w64-mingw32-gcc-win32 -nostdlib -e _start p6.s -o p6.exe || exit 1
out=$("$here/check-i486" good.exe 2>&1); rc=$?
expect "the prebuilt static runtime is refused" 1 "good.exe: " "$out"
expect "the refused instruction is named" 1 "cmov" "$out"
out=$("$here/check-i486" bare.exe 2>&1); rc=$?
expect "i486 code without that runtime passes" 0 "i486 instructions only: 1 file(s)" "$out"
out=$("$here/check-i486" p6.exe 2>&1); rc=$?
expect "cmov is refused" 1 "cmovne %eax,%ebx" "$out"
expect "the 0F 1F long NOP is refused" 1 "nopl (%eax)" "$out"
expect "SSE is refused" 1 "movaps %xmm0,%xmm1" "$out"
exit $((failures > 0))
