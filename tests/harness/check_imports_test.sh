#!/usr/bin/env bash
# check-imports on small i686 programs built here: what the static runtime imports passes,
# imports Windows 95/NT 4 lack are named, imports by ordinal are read, imports from the
# deliverables' own DLLs are not checked.
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
exit $((failures > 0))
