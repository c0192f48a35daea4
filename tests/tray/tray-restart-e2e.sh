#!/usr/bin/env bash
# Corvane.exe on Windows NT 4 before the one-time network adjustment: the adjustment
# (TzSetupUtils ordinal 34 with 1400), the restart prompt, the restart request and the flag.
# ExitWindowsEx ends every process of the Wine session, so each case runs in a prefix of its
# own and is driven from outside with tzdrive.exe.
#
#   tray-restart-e2e.sh <bin folder>
#
# What Wine does with the request (seen with Wine 8): every top-level window of the session
# gets WM_QUERYENDSESSION (lParam 0) and WM_ENDSESSION (TRUE), every process ends and the
# wineserver exits within a few seconds; nothing starts again (no restart happens).
set -u
bin=$(cd "${1:?bin folder}" && pwd)
source "$(dirname "$0")/../harness/wine-env.sh"
TZ_XVFB_PID=""
tz_ensure_display
prefix=""

# The registry in the view of the Corvane.exe under test (32- or 64-bit).
tz_reg_view_of "$bin/Corvane.exe" || exit 1
source "$(dirname "$0")/../harness/shell-checks.sh"
w() { (cd "$bin" && wine "$@" 2>/dev/null | tr -d '\r'); }
drive() { w tzdrive.exe "$@"; }
regval_raw() {  # the data with its blanks, for REG_SZ values
  reg_view query "$1" /v "$2" | sed -n "s/^    $2    REG_SZ    //p"
}

new_case() {
  [ -n "$prefix" ] && { WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1; rm -rf "$prefix"; }
  prefix=$(tz_new_prefix)
  export WINEPREFIX=$prefix
  echo "# $1"
  local klass='HKLM\SYSTEM\CurrentControlSet\Control\Class\{4D36E972-E325-11CE-BFC1-08002BE10318}\0001'
  reg_view add 'HKCU\Software\Wine\AppDefaults\Corvane.exe' /v Version /d nt40 /f >/dev/null
  reg_view add "$klass" /v DriverDesc /d "Velmora Tolvek PPPoE Adapter" /f >/dev/null
  reg_view add "$klass\\Ndi" /v Service /d TzTolvek /f >/dev/null
  reg_view add 'HKLM\SYSTEM\CurrentControlSet\Services\TzTolvek' /v Type /t REG_DWORD /d 1 /f >/dev/null
}

winlog() { cat "$prefix/drive_c/windows/$1" 2>/dev/null | tr -d '\r'; }

# The adjustment is due: ordinal 34, the prompt, the restart request, the flag.
adjustment_case() {
  local flag_desc=$1
  (cd "$bin" && wine tzdrive.exe sentinel 'C:\sentinel.txt' >/dev/null 2>&1 &)
  # The sentinel is up, its window made, once it has written its first line.
  local i
  for ((i = 0; i < 600 * ${TZ_TIME_SCALE:-1}; i++)); do [ -s "$prefix/drive_c/sentinel.txt" ] && break; sleep 0.1; done
  (cd "$bin" && wine Corvane.exe >/dev/null 2>&1 &)
  local box
  box=$(drive msgbox "Velmora Tessory" 30)
  check "$flag_desc: restart prompt" \
    'icon=exclamation buttons=OK text="Additional setting adjustments have just been made to the system in order for Tessory to function properly.\n\nFor these adjustments to take effect, Click OK to restart your system."' \
    "$box"
  check "$flag_desc: ordinal 34 with 1400, before the prompt, and nothing else of the setup library" \
    "34(1400) -> 0" "$(winlog TzSetupUtils.log)"
  check "$flag_desc: no call into TzOSControl" "" "$(winlog TzOSControl.log)"
  check "$flag_desc: flag not yet stored while the prompt is up" "$2" "$(regval 'HKLM\SOFTWARE\Velmora\Corvane' IPMTUNTFlag)"
  local t0 t1
  t0=$(date +%s%N)
  drive dismiss "Velmora Tessory" >/dev/null
  if timeout $((40 * ${TZ_TIME_SCALE:-1})) wineserver -w; then
    t1=$(date +%s%N)
    ok "$flag_desc: the restart request ended the Wine session ($(((t1 - t0) / 1000000)) ms after OK)"
  else
    bad "$flag_desc: the Wine session did not end"
  fi
  check "$flag_desc: the other program of the session was asked and told" \
    "sentinel up|queryendsession 0|endsession 1" "$(tr -d '\r' <"$prefix/drive_c/sentinel.txt" 2>/dev/null | paste -sd'|')"
  check "$flag_desc: flag stored" "true" "$(regval_raw 'HKLM\SOFTWARE\Velmora\Corvane' IPMTUNTFlag)"
  check "$flag_desc: MTU stored for the adapter's service" "0x578" \
    "$(regval 'HKLM\SYSTEM\CurrentControlSet\Services\TzTolvek\Parameters\Tcpip' MTU | awk '{print $NF}')"
  check "$flag_desc: no runtime file in that start" "absent" \
    "$([ -e "$prefix/drive_c/windows/Tessory_Runtime.txt" ] && echo present || echo absent)"
}

new_case "IPMTUNTFlag missing"
adjustment_case "flag missing" "(missing)"

new_case "IPMTUNTFlag \"True\" (letter case counts)"
reg_view add 'HKLM\SOFTWARE\Velmora\Corvane' /v IPMTUNTFlag /d True /f >/dev/null
adjustment_case "flag True" "True"

new_case "IPMTUNTFlag \" true \" (blanks are trimmed)"
reg_view add 'HKLM\SOFTWARE\Velmora\Corvane' /v IPMTUNTFlag /d " true " /f >/dev/null
(cd "$bin" && wine Corvane.exe >/dev/null 2>&1 &)
if drive --hidden wait-window Corvane 30 >/dev/null; then ok "flag \" true \": the program runs"; else bad "flag \" true \": no frame"; fi
sleep 1
check "flag \" true \": no prompt" "" "$(drive msgbox "Velmora Tessory" 1 2>/dev/null)"
setup=$(winlog TzSetupUtils.log | cut -d'(' -f1 | paste -sd' ')
check "flag \" true \": runtime file and adapter check, no adjustment" "1 3 11 2 1 3 5 6 7 8 2" "$setup"
check "flag \" true \": no call into TzOSControl" "" "$(winlog TzOSControl.log)"
drive kill-all Corvane.exe >/dev/null

WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
rm -rf "$prefix"
[ -n "$TZ_XVFB_PID" ] && kill "$TZ_XVFB_PID" 2>/dev/null
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
