#!/usr/bin/env bash
# tzdrive's commands and tests/harness/run-isolated against the driver's test program:
# a scenario driven from the shell to its end, one with a Windows version, and one that
# requests a restart (which ends the Wine session).
#   driver_cli_test.sh BIN_DIR
set -u
bin=${1:?bin folder of the 64-bit build}
here=$(cd "$(dirname "$0")" && pwd)
iso=$here/../harness/run-isolated
app=$bin/DriverTestApp.exe
export TZ_BIN_DIR=$bin
failures=0

check() {  # name expected actual
  if [ "$2" = "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected [$2], got [$3]"; failures=$((failures + 1)); fi
}

# The drive script: each tzdrive command and the one line it prints. Stops at the first surprise.
drive_script=$(mktemp)
cat >"$drive_script" <<'EOF'
set -u
W="Driver Test App"
step() {  # expected-output-pattern command...
  local want=$1; shift
  local got
  got=$($TZDRIVE "$@" 2>&1)
  if ! [[ "$got" =~ ^$want$ ]]; then echo "drive: tzdrive $* printed [$got], wanted [$want]" >&2; exit 1; fi
}
step '0x[0-9a-f]+ pid [0-9]+' wait-window "$W" 10
step 'user' settext "$W" 1000 user
step 'changed: user' wait-text "$W" 1004 "changed: user"
# WM_SETTEXT leaves the caret at the start, so typing goes in front; the limit is 8.
step 'abcduser' type "$W" 1000 abcdefgh
step 'enabled=1 visible=1 checked=0' state "$W" 1008
step 'enabled=1 visible=0 checked=0' state "$W" 1007
step 'clicked 1001' click "$W" 1001
step 'checked' wait-text "$W" 1005 checked
step 'excl' settext "$W" 1000 excl
step 'clicked 1002' click "$W" 1002
step 'icon=exclamation buttons=OK,Cancel text="Icon: excl"' msgbox "Driver Test Box" 10
step 'dismissed Cancel' dismiss "Driver Test Box" Cancel
step 'box 2' wait-text "$W" 1005 "box 2"
step '.* \| - \| 16="&About Test App..."' sysmenu "$W"
step 'posted syscommand 16' syscommand "$W" 16
step 'about' wait-text "$W" 1005 about
step 'clicked 1003' click "$W" 1003
step '200="&First" \| - \| 201="&Second"\(grayed\) \| 202="&Third"\(checked\)' popup 10
step 'chose 202' choose 202
step 'command 202' wait-text "$W" 1005 "command 202"
step 'pressed f1' key "$W" f1
step 'help' wait-text "$W" 1005 help
step 'window=-?[0-9]+,-?[0-9]+,[0-9]+,[0-9]+ client=[0-9]+x[0-9]+' rect "$W"
step '0x[0-9a-f]+ Button .* id 1003' focus "$W"
step 'C:\\shot.bmp' shot 'C:\shot.bmp' "$W"
[ "$(head -c 2 "$WINEPREFIX/drive_c/shot.bmp")" = BM ] || { echo "drive: no bitmap written" >&2; exit 1; }
out=$($TZDRIVE --wait 0 text "No Such Window" 1 2>&1) && { echo "drive: text of a missing window succeeded" >&2; exit 1; }
[[ "$out" == *'no visible window "No Such Window"'* ]] || { echo "drive: unclear failure [$out]" >&2; exit 1; }
step 'pressed esc' key "$W" esc
EOF

line=$("$iso" --timeout 15 --drive "bash $drive_script" --after 'grep -q "^exit 2" "$WINEPREFIX/drive_c/app.log"' -- "$app" --log 'C:\app.log')
check "driven to the end from the shell" "exit=2 session-ended=no restart=no drive=0 after=0" "$line"

line=$("$iso" --timeout 15 --version nt40 --drive '$TZDRIVE text "Driver Test App" 1006 | grep -q "ver=2\.4$" && $TZDRIVE key "Driver Test App" enter' -- "$app")
check "Windows version for one program" "exit=1 session-ended=no restart=no drive=0 after=0" "$line"

# The restart request ends the Wine session: every window's process is terminated with exit code
# 0 after WM_QUERYENDSESSION/WM_ENDSESSION, and the RunOnce entries run as after a start.
line=$("$iso" --timeout 30 --desktop --after 'grep -q "^queryendsession 0" "$WINEPREFIX/drive_c/app.log" && grep -q "^endsession 1" "$WINEPREFIX/drive_c/app.log"' \
  -- "$app" --tray --restart --log 'C:\app.log')
check "restart request ends the session" "exit=0 session-ended=yes restart=yes drive=0 after=0" "$line"

rm -f "$drive_script"
[ $failures -eq 0 ] && echo "all passed"
exit $((failures > 0))
