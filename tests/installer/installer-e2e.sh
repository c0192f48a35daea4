#!/usr/bin/env bash
# The shipping installer end to end, as a 32-bit program in a fresh prefix per Windows version
# (win98, nt40, winxp): silent install, the files and registry values in place, the installed
# tray program started as a log-on starts it, the dialer started from its Start-menu shortcut
# with its picture, a second install over a running tray program that keeps the stored service
# name, and a silent uninstall that leaves nothing of its own but keeps what the programs made.
# Setup's refusals before any change: without Dial-Up Networking (win98, nt40), with the dialer
# running (and the question it asks, with the plug-ins it carries checked for their imports:
# winxp), with another program's file in the chosen folder; a foreign file and folder in the
# install folder survive the uninstall (winxp). Then, in one more prefix (win98): an upgrade
# in place from an older build over a running tray program, a downgrade refused, a move to a
# folder given with /D= with the adapter maker's component libraries in the system folder, and
# the uninstall that keeps those; last, a file held open there, which a repair replaces and the
# uninstaller removes at the next restart (3010), the uninstaller finishing at the next log-on.
#
#   installer-e2e.sh <TessorySetup.exe> <bin folder with tzdrive.exe> [version...]
# Environment (from the test build): TZ_SETUP_VERSION (the version Setup was built with),
# TZ_OLDER_SETUP and TZ_OLDER_VERSION (a Setup of a lower version whose files carry the line
# "Tessory older build"), TZ_MAKER_LIBS (component libraries without the project's version
# resource, standing in for the maker's). Without the last three, the upgrade case is skipped.
set -u
setup=$(cd "$(dirname "${1:?installer}")" && pwd)/$(basename "$1")
bin=$(cd "${2:?bin folder with tzdrive.exe}" && pwd)
shift 2
versions=("$@")
version=${TZ_SETUP_VERSION:?the version the installer was built with}
older=${TZ_OLDER_SETUP:-}
older_version=${TZ_OLDER_VERSION:-}
maker_libs=${TZ_MAKER_LIBS:-}
SETUP_CAPTION="Velmora Tessory $version Setup"
# Where the screenshots of Setup's messages go, when asked for.
shots=${TZ_INSTALLER_SHOTS:-}
[ ${#versions[@]} -gt 0 ] || versions=(win98 nt40 winxp)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../harness/wine-env.sh"
TZ_XVFB_PID=""
tz_ensure_display
[ -f "$setup" ] || { echo "no installer at $setup"; echo "0 passed, 1 failed"; exit 1; }
[ -f "$bin/tzdrive.exe" ] || { echo "no tzdrive.exe in $bin"; echo "0 passed, 1 failed"; exit 1; }
prefix=""
# The wineserver of a case is kept up on purpose (wineserver -p): end it whatever happens.
cleanup() {
  [ -n "$prefix" ] && { WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1; rm -rf "$prefix"; }
  [ -n "$TZ_XVFB_PID" ] && kill "$TZ_XVFB_PID" 2>/dev/null
}
trap cleanup EXIT

quiet() { "$@" </dev/null >/dev/null 2>&1; }
drive() { (cd "$bin" && wine tzdrive.exe "$@" </dev/null 2>/dev/null | tr -d '\r'); }
# The registry as the 32-bit installer and programs see it, with HKLM\SOFTWARE in Wow6432Node
# of a 64-bit prefix.
TZ_REG_BITS=32
source "$here/../harness/shell-checks.sh"
haskey() { if reg_view query "$1" >/dev/null; then echo present; else echo absent; fi; }
unix() { winepath -u "$1" 2>/dev/null; }
present() { if [ -e "$1" ]; then echo present; else echo absent; fi; }
# Pids of the running (not defunct) processes of this prefix whose Wine command line starts
# with $1 (Wine shows the Windows path of the program there).
running() {
  local p
  for p in $(pgrep -f 'Corvane|TzDialer'); do
    [ "$(cut -d' ' -f3 "/proc/$p/stat" 2>/dev/null)" = Z ] && continue
    tr '\0' '\n' 2>/dev/null <"/proc/$p/environ" | grep -qxF "WINEPREFIX=$prefix" || continue
    tr '\0' '\n' <"/proc/$p/cmdline" 2>/dev/null | head -n1 | grep -qiF "$1" && echo "$p"
  done
}
wait_until() {  # wait_until SECONDS COMMAND...: polls every 0.2 s
  local n=$(($1 * 5 * ${TZ_TIME_SCALE:-1})); shift  # longer on a slower (emulated) machine
  while [ $n -gt 0 ]; do "$@" && return 0; sleep 0.2; n=$((n - 1)); done
  return 1
}
# A fingerprint of a folder: every file's path and checksum, sorted.
fingerprint() { (cd "$1" 2>/dev/null && find . -type f -exec md5sum {} + | sort -k2); }
# The registry Setup writes, as one text.
setup_values() {
  echo "$(regval "$UNINST" DisplayVersion)|$(regval "$UNINST" InstallLocation)|$(regval "$RUN" Tessory)|$(regval "$APP" BuildInfo)"
}
# The exit code of a program in full: wine's own keeps only its low 8 bits (1157 becomes 133).
run_code() { drive run "$@" | sed -n 's/^exit //p'; }
# Runs Setup with its window: the exit code goes to $prefix/drive_c/exit-$1.
start_gui() {  # start_gui TAG PROGRAM [ARGS...]
  local tag=$1; shift
  rm -f "$prefix/drive_c/exit-$tag"
  (run_code "$@" >"$prefix/drive_c/exit-$tag.part"; mv "$prefix/drive_c/exit-$tag.part" "$prefix/drive_c/exit-$tag") &
}
exit_code() { wait_until "$2" test -s "$prefix/drive_c/exit-$1" && cat "$prefix/drive_c/exit-$1"; }
# Saves the screen (Wine's own copy, which shows a message box of a busy thread) when asked.
shot() {  # shot NAME
  [ -n "$shots" ] || return 0
  mkdir -p "$shots"
  drive shot 'C:\shot.bmp' >/dev/null && convert "$prefix/drive_c/shot.bmp" "$shots/$1.png"
}
# The message box of Setup: checks its icon, buttons and a part of its text, saves a picture.
check_box() {  # check_box DESCRIPTION CAPTION "icon=... buttons=..." TEXT-PART SHOT-NAME
  local box
  box=$(drive msgbox "$2" 30)
  case "$box" in
    "$3 text="*"$4"*) ok "$1" ;;
    *) bad "$1: [$box]" ;;
  esac
  shot "$5"
}

UNINST='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessory'
RUN='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
APP='HKLM\SOFTWARE\Velmora\Corvane'
TRAY='HKLM\SOFTWARE\Velmora\Tessory\Corvane'
STATE='HKLM\SOFTWARE\Velmora\TzOS\State'

new_case() {
  [ -n "$prefix" ] && { WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1; rm -rf "$prefix"; }
  prefix=$(tz_new_prefix)
  export WINEPREFIX=$prefix
  # The wineserver stays up between the programs: the component state key is volatile.
  wineserver -p
  quiet wine reg add 'HKCU\Software\Wine' /v Version /d "$1" /f
  # The adapter, where Windows NT and Windows 95/98 record it, so that the tray program
  # starts without its warning.
  quiet reg_view add 'HKLM\SYSTEM\CurrentControlSet\Control\Class\{4D36E972-E325-11CE-BFC1-08002BE10318}\0001' \
    /v DriverDesc /d "Velmora Tolvek PPPoE Adapter" /f
  quiet reg_view add 'HKLM\System\CurrentControlSet\Services\Class\Net\0001' /v DriverDesc /d "Velmora Tolvek PPPoE Adapter" /f
}

# The dialer's picture frame shows the picture: many colours inside it, where an empty frame
# has the dialog's one.
# The most colours seen in the frame over a few shots, 0.2 s apart: up to 15 shots, ending at
# the first that shows a picture when $2 is "picture", all 8 (1.6 s, longer than the picture
# takes to show) when it is "none".
frame_colours() {  # frame_colours TAG picture|none
  local n best=0 i
  for i in $(seq 1 $([ "$2" = picture ] && echo 15 || echo 8)); do
    n=$(picture_colours "$1")
    [ "${n:-0}" -gt "$best" ] && best=$n
    [ "$2" = picture ] && [ "$best" -gt 8 ] && break
    sleep 0.2
  done
  echo "$best"
}
picture_colours() {  # picture_colours TAG -> number of colours inside the dialer's picture frame
  local rect
  # "window=left,top,right,bottom client=WxH" of the frame (the caption also names the
  # dialer's message box; tzdrive takes the window that has the control)
  rect=$(drive --wait 20 rect "Tessory Dialer" 1003 | sed -n 's/^window=\([-0-9]*\),\([-0-9]*\),\([-0-9]*\),\([-0-9]*\) .*/\1 \2 \3 \4/p')
  region_colours "$1" $rect
}
region_colours() {  # region_colours TAG LEFT TOP RIGHT BOTTOM -> colours on the screen there
  local shot=$prefix/drive_c/shot-$1.bmp
  drive shot 'C:\shot-'"$1"'.bmp' >/dev/null
  [ $# -eq 5 ] && [ -f "$shot" ] || { echo 0; return; }
  python3 - "$shot" "${@:2}" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
off, = struct.unpack_from("<I", data, 10)
w, h, _, bpp = struct.unpack_from("<iiHH", data, 18)
left, top, right, bottom = (int(v) for v in sys.argv[2:6])
step = (w * bpp // 8 + 3) & ~3
colours = set()
for yy in range(top + 3, bottom - 3, 2):
    for xx in range(left + 3, right - 3, 2):
        row = (h - 1 - yy) if h > 0 else yy
        p = off + row * step + xx * (bpp // 8)
        colours.add(data[p:p + 3])
print(len(colours))
PY
}

for v in "${versions[@]}"; do
  new_case "$v"
  echo "# $v"
  [ "$v" = nt40 ] && quiet reg_view add "$APP" /v IPMTUNTFlag /d true /f  # adjusted on an earlier start

  cp "$setup" "$prefix/drive_c/TessorySetup.exe"
  if [ "$v" != winxp ]; then
    # Without Dial-Up Networking (its rasapi32.dll gone from the 32-bit system folder, as on a
    # machine where it was never added) Setup refuses before it changes anything.
    ras=$prefix/drive_c/windows/syswow64/rasapi32.dll
    mv "$ras" "$ras.away"
    check "$v: without Dial-Up Networking a silent install exits with 1157" 1157 "$(run_code 'C:\TessorySetup.exe' /S)"
    check "$v: ...and changes nothing" "absent absent (missing)" \
      "$(haskey "$UNINST") $(present "$prefix/drive_c/Program Files (x86)/Velmora") $(regval "$RUN" Tessory)"
    start_gui dun 'C:\TessorySetup.exe'
    check_box "$v: ...and says so with Setup's window" "$SETUP_CAPTION" "icon=stop buttons=OK" \
      'Dial-Up Networking is not installed on this computer.' "installer-no-dun-$v"
    drive dismiss "$SETUP_CAPTION" OK >/dev/null
    check "$v: ...and exits with 1157" 1157 "$(exit_code dun 20)"
    check "$v: ...and changes nothing" absent "$(haskey "$UNINST")"
    mv "$ras.away" "$ras"
  else
    # A folder given with /D= that holds another program's files under names Setup uses:
    # refused, nothing changed.
    other=$prefix/drive_c/Other
    mkdir -p "$other"; echo "another program's sound" >"$other/connect.wav"; echo "another uninstaller" >"$other/Uninstall.exe"
    quiet wine 'C:\TessorySetup.exe' /S '/D=C:\Other'
    check "$v: another program's files in the chosen folder: a silent install exits with 80" 80 $?
    check "$v: ...and changes nothing" "Uninstall.exe connect.wav|another program's sound|absent" \
      "$(ls "$other" | paste -sd' ')|$(cat "$other/connect.wav")|$(haskey "$UNINST")"
  fi

  # Silent install.
  quiet wine 'C:\TessorySetup.exe' /S
  check "$v: silent install exits with 0" 0 $?
  dir=$(regval "$UNINST" InstallLocation)
  case "$dir" in
    *'\Velmora\Tessory') ok "$v: installed into ...\\Velmora\\Tessory ($dir)" ;;
    *) bad "$v: install folder [$dir]" ;;
  esac
  udir=$(unix "$dir")
  listing=$(cd "$udir" 2>/dev/null && ls | paste -sd' ')
  check "$v: the installed files" "Corvane.exe TzDialer.exe TzOSControl.dll TzSetupUtils.dll Uninstall.exe connect.wav signin_zn.bmp" \
    "$(echo "$listing" | tr ' ' '\n' | grep -v -i '^ZnSetup\.' | paste -sd' ')"
  check "$v: no RAS simulator" absent "$(present "$udir/rasapi32.dll")"
  # The help files go in when the shipping build made them (beside the installer, in bin/).
  if [ -f "$(dirname "$setup")/bin/ZnSetup.hlp" ]; then
    check "$v: the help files beside the tray program" "present present" \
      "$(present "$udir/ZnSetup.hlp") $(present "$udir/ZnSetup.cnt")"
  fi
  check "$v: ShowSysTrayIcon" Yes "$(regval "$TRAY" ShowSysTrayIcon)"
  check "$v: BuildInfo" "$version" "$(regval "$APP" BuildInfo)"
  check "$v: SoundFile names the installed sound" "$dir\\connect.wav" "$(regval "$APP" SoundFile)"
  check "$v: the sound is a WAVE file" "RIFF WAVE" "$(head -c 12 "$udir/connect.wav" | tr -d '\0' | sed 's/\(RIFF\).*\(WAVE\)/\1 \2/')"
  check "$v: Run value starts the tray program" "\"$dir\\Corvane.exe\"" "$(regval "$RUN" Tessory)"
  check "$v: Add/Remove Programs entry" "Velmora Tessory $version|$version|Velmora|\"$dir\\Uninstall.exe\"" \
    "$(regval "$UNINST" DisplayName)|$(regval "$UNINST" DisplayVersion)|$(regval "$UNINST" Publisher)|$(regval "$UNINST" UninstallString)"
  smdir=$(unix 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Tessory')
  [ "$v" = win98 ] || [ -d "$smdir" ] || smdir=$(unix 'C:\users\Public\Start Menu\Programs\Tessory')
  if [ ! -d "$smdir" ]; then  # where this Wine keeps the common Start menu
    smdir=$(find "$prefix/drive_c" -type d -path '*Start Menu/Programs/Tessory' | head -n1)
  fi
  check "$v: Start-menu shortcuts" "Tessory Dialer.lnk|Uninstall Tessory.lnk" "$(ls "$smdir" 2>/dev/null | paste -sd'|')"
  check "$v: the uninstaller finds the Start-menu folder" "$smdir" "$(unix "$(regval "$UNINST" StartMenuFolder)")"
  if [ -f "$udir/Uninstall.exe" ]; then
    if out=$("$here/../harness/check-imports" "$udir" Uninstall.exe 2>&1); then ok "$v: the uninstaller's imports: $out"; else bad "$v: $out"; fi
    if out=$("$here/../harness/check-i486" "$udir/Uninstall.exe" 2>&1); then ok "$v: the uninstaller's instructions: $out"; else bad "$v: $out"; fi
  else
    bad "$v: no uninstaller written"
  fi

  # The tray program as the Run value starts it at log-on, from another folder.
  tray_cmd=$(regval "$RUN" Tessory)
  (cd / && wine "$(echo "$tray_cmd" | tr -d '"')" </dev/null >/dev/null 2>&1 &)
  if drive --hidden wait-window Corvane 30 >/dev/null; then ok "$v: the installed tray program runs"; else bad "$v: no tray frame"; fi
  check "$v: it runs from the install folder" 1 "$(running "$dir\\Corvane.exe" | wc -l)"
  check "$v: no warning about the adapter" "" "$(drive msgbox Tessory 1)"
  if [ "$v" = win98 ]; then
    check "$v: the installed components are loaded" "0x1 Corvane" "$(regval "$STATE" Loaded) $(regval "$STATE" LoadedBy)"
  fi
  check "$v: the shipping libraries keep no call records" "absent absent" \
    "$(present "$prefix/drive_c/windows/TzOSControl.log") $(present "$prefix/drive_c/windows/TzSetupUtils.log")"

  # The dialer from its shortcut: its working folder is the install folder, so the picture is
  # found. (Wine's own rasapi32 finds no adapter: the dialer says so over its dialog.)
  lnk="$smdir/Tessory Dialer.lnk"
  (cd / && wine start /unix "$lnk" </dev/null >/dev/null 2>&1 &)
  n=$(frame_colours "$v-shortcut" picture)
  if [ "${n:-0}" -gt 8 ]; then ok "$v: the dialer from its shortcut shows its picture ($n colours)"; else bad "$v: no picture from the shortcut ($n colours)"; fi
  check "$v: the dialer runs from the install folder" 1 "$(running "$dir\\TzDialer.exe" | wc -l)"

  # With the dialer running, Setup cannot replace it: a silent install ends with 32 and
  # changes nothing, and the tray program it ended runs again.
  before=$(fingerprint "$udir"); values=$(setup_values)
  quiet wine 'C:\TessorySetup.exe' /S
  check "$v: a silent install over the running dialer exits with 32" 32 $?
  check "$v: ...and changes no file" "$before" "$(fingerprint "$udir")"
  check "$v: ...and no value" "$values" "$(setup_values)"
  if wait_until 30 test "$(running "$dir\\Corvane.exe" | wc -l)" = 1; then ok "$v: ...and the tray program runs again"; else bad "$v: the tray program is not running again"; fi
  if [ "$v" = winxp ]; then
    # With its window, Setup asks to close the dialer; Cancel ends it with the same code.
    # Meanwhile its plug-ins lie in its temporary folder: their imports are checked.
    start_gui locked 'C:\TessorySetup.exe'
    win=$(drive wait-window "$SETUP_CAPTION" 30 | awk '{print $1}')
    drive wait-text "hwnd:$win" 1 "&Next >" 20 >/dev/null
    # The Welcome page's picture (a few shades of blue, dithered) is loaded through the System
    # plug-in; without it the panel at the left is the page's plain white.
    read -r l t r b < <(drive rect "hwnd:$win" | sed -n 's/^window=\([-0-9]*\),\([-0-9]*\),\([-0-9]*\),\([-0-9]*\) .*/\1 \2 \3 \4/p')
    for i in 1 2 3 4 5; do
      n=$(region_colours welcome "$((l + 10))" "$((t + 40))" "$((l + 150))" "$((b - 70))")
      [ "${n:-0}" -ge 3 ] && break
      sleep 0.2
    done
    if [ "${n:-0}" -ge 3 ]; then ok "$v: the Welcome page shows its picture ($n colours)"; else bad "$v: no picture on the Welcome page ($n colours)"; fi
    drive click "hwnd:$win" 1 >/dev/null
    drive wait-text "hwnd:$win" 1 "&Install" 20 >/dev/null && drive click "hwnd:$win" 1 >/dev/null
    check_box "$v: with its window Setup asks to close the dialer" "$SETUP_CAPTION" "icon=exclamation buttons=Retry,Cancel" \
      'Tessory cannot be set up while this file is in use:\r\n\r\n'"$dir"'\TzDialer.exe' installer-in-use
    plugins=$(ls -d "$prefix"/drive_c/users/*/Temp/ns*.tmp/*.dll 2>/dev/null)
    if [ -n "$plugins" ]; then
      if out=$("$here/../harness/check-imports" / $plugins 2>&1); then ok "$v: the imports of Setup's plug-ins ($(basename -a $plugins | paste -sd' ')): $out"; else bad "$v: $out"; fi
    else
      bad "$v: no plug-ins found in Setup's temporary folder"
    fi
    drive dismiss "$SETUP_CAPTION" Cancel >/dev/null
    check "$v: ...Cancel exits with 32" 32 "$(exit_code locked 30)"
    check "$v: ...and changes no file" "$before" "$(fingerprint "$udir")"
  fi
  drive kill-all TzDialer.exe >/dev/null
  drive wait-gone "Tessory Dialer" 10 >/dev/null
  if [ "$v" = winxp ]; then
    # Started from another folder the picture is not found: the check above can tell.
    (cd / && wine "$dir\\TzDialer.exe" </dev/null >/dev/null 2>&1 &)
    n=$(frame_colours "$v-elsewhere" none)
    if [ "${n:-0}" -ge 1 ] && [ "${n:-0}" -le 2 ]; then ok "$v: started elsewhere, no picture ($n colours)"; else bad "$v: a picture without the folder ($n colours)"; fi
    drive kill-all TzDialer.exe >/dev/null
  fi

  # What the tray program's user stores, then a second install over the running program.
  quiet reg_view add "$APP\\PoE" /v ServiceName /d "isp-service" /f
  tray_pid=$(running "$dir\\Corvane.exe")
  quiet wine 'C:\TessorySetup.exe' /S
  check "$v: second install exits with 0" 0 $?
  check "$v: the running tray program was ended" "" "$(running "$dir\\Corvane.exe" | grep -x "${tray_pid:-none}")"
  if wait_until 30 test "$(running "$dir\\Corvane.exe" | wc -l)" = 1; then ok "$v: ...and runs again"; else bad "$v: the tray program does not run again"; fi
  if [ "$v" = win98 ]; then
    loaded() { [ "$(regval "$STATE" Loaded) $(regval "$STATE" LoadedBy)" = "0x1 Corvane" ]; }
    if wait_until 30 loaded; then ok "$v: ...with its components loaded"; else bad "$v: components not loaded again: $(regval "$STATE" Loaded) $(regval "$STATE" LoadedBy)"; fi
  fi
  check "$v: the stored service name is kept" isp-service "$(regval "$APP\\PoE" ServiceName)"
  check "$v: still installed" present "$(present "$udir/Corvane.exe")"

  if [ "$v" = winxp ]; then
    # What another program (or the user) keeps in the install folder.
    echo notes >"$udir/notes.txt"; mkdir -p "$udir/Backup"; echo old >"$udir/Backup/old.txt"
  fi
  # Silent uninstall with the tray program running (Setup started it again). A second copy
  # started now would hold the files until it ends by itself (the uninstaller would find them
  # in use): wait for the one copy. The uninstaller runs a copy of itself from the temporary
  # folder and returns at once: wait for its work.
  wait_until 30 test "$(running "$dir\\Corvane.exe" | wc -l)" = 1
  drive --hidden wait-window Corvane 30 >/dev/null
  t0=$(date +%s)
  quiet wine "$dir\\Uninstall.exe" /S
  gone() { [ ! -e "$udir/Uninstall.exe" ] && ! reg_view query "$UNINST" >/dev/null; }
  if wait_until 60 gone; then ok "$v: uninstalled ($(($(date +%s) - t0)) s)"; else bad "$v: the uninstaller did not finish"; fi
  check "$v: the tray program was ended" 0 "$(running "$dir\\Corvane.exe" | wc -l)"
  if [ "$v" = winxp ]; then
    check "$v: only the other program's file and folder are left" "Backup|Backup/old.txt|notes.txt" \
      "$(cd "$udir" 2>/dev/null && find . -mindepth 1 | sed 's|^\./||' | sort | paste -sd'|')"
    check "$v: no shortcuts" absent "$(present "$smdir")"
  else
    check "$v: no install folder, no shortcuts" "absent absent" "$(present "$udir") $(present "$smdir")"
  fi
  check "$v: no Run value, no uninstall entry" "(missing) absent" "$(regval "$RUN" Tessory) $(haskey "$UNINST")"
  check "$v: none of the installer's values" "absent (missing) (missing)" \
    "$(haskey 'HKLM\SOFTWARE\Velmora\Tessory') $(regval "$APP" BuildInfo) $(regval "$APP" SoundFile)"
  check "$v: no runtime report, no component state left" "absent absent" \
    "$(present "$prefix/drive_c/windows/Tessory_Runtime.txt") $(haskey 'HKLM\SOFTWARE\Velmora\TzOS')"
  check "$v: the service name is kept" isp-service "$(regval "$APP\\PoE" ServiceName)"
  [ "$v" = nt40 ] && check "$v: the adjustment flag is kept" true "$(regval "$APP" IPMTUNTFlag)"
done

# Upgrade, downgrade, another folder and the maker's libraries, in one prefix as Windows 98
# (where the tray program loads the components).
if [ -n "$older" ] && [ -f "$older" ] && [ -n "$maker_libs" ]; then
  v=win98
  new_case "$v"
  echo "# $v: upgrade"
  cp "$setup" "$prefix/drive_c/TessorySetup.exe"
  cp "$older" "$prefix/drive_c/OlderSetup.exe"
  shipbin=$(dirname "$setup")/bin
  # Every installed file, by content: the build's own, none of the older build's.
  same_as_build() {  # same_as_build FOLDER -> the names that differ
    local f src
    for f in Corvane.exe TzDialer.exe TzOSControl.dll TzSetupUtils.dll ZnSetup.hlp ZnSetup.cnt signin_zn.bmp connect.wav; do
      case $f in signin_zn.bmp) src=$TZ_ROOT/dialer/res/$f ;; connect.wav) src=$TZ_ROOT/installer/$f ;; *) src=$shipbin/$f ;; esac
      [ -f "$src" ] || continue
      cmp -s "$src" "$1/$f" || echo "$f"
    done | paste -sd' '
  }
  quiet wine 'C:\OlderSetup.exe' /S
  check "$v: the older build installs" "0 $older_version" "$? $(regval "$UNINST" DisplayVersion)"
  dir=$(regval "$UNINST" InstallLocation); udir=$(unix "$dir")
  check "$v: ...its files, each with the older build's mark" "$(ls "$udir" | grep -vx Uninstall.exe | paste -sd' ')" \
    "$(cd "$udir" 2>/dev/null && grep -l 'Tessory older build' * | paste -sd' ')"
  (cd / && wine "$dir\\Corvane.exe" </dev/null >/dev/null 2>&1 &)
  drive --hidden wait-window Corvane 30 >/dev/null
  tray_pid=$(running "$dir\\Corvane.exe")

  quiet wine 'C:\TessorySetup.exe' /S
  check "$v: the upgrade exits with 0, in the same folder" "0 $dir" "$? $(regval "$UNINST" InstallLocation)"
  check "$v: ...every file is the new build's" "" "$(same_as_build "$udir")"
  check "$v: ...the version" "$version $version" "$(regval "$UNINST" DisplayVersion) $(regval "$APP" BuildInfo)"
  check "$v: ...the older tray program was ended" "" "$(running "$dir\\Corvane.exe" | grep -x "${tray_pid:-none}")"
  if wait_until 30 test "$(running "$dir\\Corvane.exe" | wc -l)" = 1; then ok "$v: ...and the new one runs"; else bad "$v: the tray program does not run after the upgrade"; fi

  # The older Setup over the newer install: refused, silently and with its window.
  before=$(fingerprint "$udir"); values=$(setup_values)
  check "$v: a downgrade exits with 1638" 1638 "$(run_code 'C:\OlderSetup.exe' /S)"
  check "$v: ...and changes no file" "$before" "$(fingerprint "$udir")"
  check "$v: ...and no value" "$values" "$(setup_values)"
  start_gui older 'C:\OlderSetup.exe'
  check_box "$v: ...and says so with its window" "Velmora Tessory $older_version Setup" "icon=stop buttons=OK" \
    "A newer version of Tessory ($version) is already installed" installer-downgrade
  drive dismiss "Velmora Tessory $older_version Setup" OK >/dev/null
  check "$v: ...and exits with 1638" 1638 "$(exit_code older 20)"

  # The maker's libraries in the system folder, and a move to a folder given with /D=.
  cp "$maker_libs/TzOSControl.dll" "$maker_libs/TzSetupUtils.dll" "$prefix/drive_c/windows/syswow64/"
  rm -f "$prefix/drive_c/windows/TzOSControl.log" "$prefix/drive_c/windows/TzSetupUtils.log"
  tray_pid=$(running "$dir\\Corvane.exe")
  # /D= takes the rest of the command line as it stands, unquoted, as typed at a prompt; wine
  # would quote an argument with a space, so the command goes through a batch file.
  printf '@C:\\TessorySetup.exe /S /D=C:\\Apps\\Tz Client\r\n@exit %%ERRORLEVEL%%\r\n' >"$prefix/drive_c/move.bat"
  quiet wine cmd /c 'C:\move.bat'
  check "$v: a re-install into another folder exits with 0" "0 C:\\Apps\\Tz Client" "$? $(regval "$UNINST" InstallLocation)"
  check "$v: ...the earlier folder is gone" absent "$(present "$udir")"
  newdir='C:\Apps\Tz Client'; unew=$(unix "$newdir")
  check "$v: ...its files, without component libraries of its own" \
    "Corvane.exe TzDialer.exe Uninstall.exe connect.wav signin_zn.bmp" \
    "$(cd "$unew" 2>/dev/null && ls | grep -v -i '^ZnSetup\.' | paste -sd' ')"
  check "$v: ...the maker's libraries are kept" "" "$(cmp "$maker_libs/TzOSControl.dll" "$prefix/drive_c/windows/syswow64/TzOSControl.dll")"
  if wait_until 30 test "$(running "$newdir\\Corvane.exe" | wc -l)" = 1; then ok "$v: ...the tray program runs from there"; else bad "$v: no tray program in the new folder"; fi
  if drive wait-line 'C:\windows\TzOSControl.log' 'TzOSLoadAll(Corvane) -> 1' 30 >/dev/null; then
    ok "$v: ...and loaded the maker's components"
  else
    bad "$v: the maker's components were not used: [$(tr -d '\r' <"$prefix/drive_c/windows/TzOSControl.log" 2>/dev/null | paste -sd'|')]"
  fi
  check "$v: ...the Add/Remove entry leads there" "$newdir\\Uninstall.exe" "$(regval "$UNINST" UninstallString | tr -d '"')"

  # A file that another program keeps open, readable and writable but not to be deleted or
  # renamed (a viewer showing the sign-in picture): Setup and the uninstaller find it free, but
  # cannot replace or remove it. Windows does that at the next restart (wineboot -r: pending
  # renames, then RunOnce), and both say so with 3010.
  RUNONCE='HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce'
  pic=$unew/signin_zn.bmp
  hold() {
    rm -f "$prefix/drive_c/hold.out"
    (cd "$bin" && wine tzdrive.exe hold "$newdir\\signin_zn.bmp" 600 </dev/null >"$prefix/drive_c/hold.out" 2>&1 &)
    wait_until 20 grep -q holding "$prefix/drive_c/hold.out" || bad "$v: the picture could not be held open"
  }
  release() { pkill -f 'tzdrive.exe hold'; wait_until 20 eval '! pgrep -f "tzdrive.exe hold" >/dev/null'; }
  echo "not the build's picture" >"$pic"
  hold
  check "$v: a repair with a file held open exits with 3010" 3010 "$(run_code 'C:\TessorySetup.exe' /S)"
  check "$v: ...the new file waits beside the held one" "present|not the build's picture" \
    "$(present "$pic.tz~")|$(cat "$pic")"
  release
  quiet wineboot -r
  check "$v: ...and takes its place at the restart" "absent|same" \
    "$(present "$pic.tz~")|$(cmp -s "$TZ_ROOT/dialer/res/signin_zn.bmp" "$pic" && echo same)"
  hold
  printf '@"%s\\Uninstall.exe" /S _?=%s\r\n@exit %%ERRORLEVEL%%\r\n' "$newdir" "$newdir" >"$prefix/drive_c/unin.bat"
  check "$v: an uninstall with a file held open exits with 3010" 3010 "$(run_code 'C:\windows\system32\cmd.exe' /c 'C:\unin.bat')"
  check "$v: ...removes every other file but the uninstaller, and the Run value" "Uninstall.exe signin_zn.bmp|(missing)" \
    "$(cd "$unew" 2>/dev/null && ls | grep -v -i '^ZnSetup\.' | paste -sd' ')|$(regval "$RUN" Tessory)"
  check "$v: ...keeps the Add/Remove entry and finishes at the next log-on" "present|\"$newdir\\Uninstall.exe\" /S" \
    "$(haskey "$UNINST")|$(regval "$RUNONCE" Tessory)"
  release
  quiet wineboot -r
  gone() { [ ! -e "$unew" ] && ! reg_view query "$UNINST" >/dev/null; }
  if wait_until 60 gone; then ok "$v: ...and is uninstalled after the restart"; else bad "$v: the uninstaller did not finish after the restart: [$(ls "$unew" 2>&1 | paste -sd' ')] $(haskey "$UNINST")"; fi
  check "$v: ...with nothing left to run" "(missing)" "$(regval "$RUNONCE" Tessory)"
  check "$v: ...the maker's libraries and their state key are kept" "present present present" \
    "$(present "$prefix/drive_c/windows/syswow64/TzOSControl.dll") $(present "$prefix/drive_c/windows/syswow64/TzSetupUtils.dll") $(haskey "$STATE")"
else
  echo "# the upgrade case needs TZ_OLDER_SETUP, TZ_OLDER_VERSION and TZ_MAKER_LIBS: skipped"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
