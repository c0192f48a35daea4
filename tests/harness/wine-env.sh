# Shared by the harness scripts: where the booted template prefix lives, how to make one,
# how to copy it for one run, and a display for programs that open windows.
TZ_ROOT=${TZ_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
TZ_WINE_DIR=${TZ_WINE_DIR:-$TZ_ROOT/build/wine}
TZ_TEMPLATE=$TZ_WINE_DIR/template
export WINEDEBUG=${WINEDEBUG:--all}

# Bump when the template's contents change, so an older one is made anew.
TZ_TEMPLATE_VERSION=4

# What the template depends on: its own version and the Wine installation. A prefix booted
# before 32-bit Wine was added cannot start 32-bit programs ("could not load kernel32.dll"),
# so a change of the installed Wine packages makes the template anew.
tz_template_key() {
  local wine_pkgs
  wine_pkgs=$(dpkg-query -W -f='${Package}:${Architecture}=${Version} ' wine wine32 wine64 libwine 'libwine:i386' 2>/dev/null)
  echo "$TZ_TEMPLATE_VERSION $wine_pkgs"
}

# Runs Wine's 64-bit loader: once wine32 is installed, a plain "wine reg" starts the 32-bit
# reg.exe whatever path is named, and /usr/bin/wine64 is gone from the PATH.
tz_wine64() {
  if [ -x /usr/lib/wine/wine64 ]; then /usr/lib/wine/wine64 "$@"; else wine "$@"; fi
}

# 32 or 64: the bitness of a Windows program, from its PE header's machine field.
tz_pe_bits() {
  local off machine
  off=$(od -An -t u4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ') || return 1
  [ -n "$off" ] || return 1
  machine=$(od -An -t x2 -j $((off + 4)) -N 2 "$1" 2>/dev/null | tr -d ' ')
  case "$machine" in
    14c|014c) echo 32 ;;
    8664) echo 64 ;;
    *) return 1 ;;
  esac
}

# reg.exe in the registry view of the program under test: a 32-bit program in a 64-bit
# prefix sees HKLM\SOFTWARE through Wow6432Node, as on 64-bit Windows. Call tz_reg_view_of
# with that program once; tz_reg then takes the arguments of reg.exe.
TZ_REG_BITS=${TZ_REG_BITS:-64}
tz_reg_view_of() {
  TZ_REG_BITS=$(tz_pe_bits "$1") || { echo "not a Windows program: $1" >&2; return 1; }
}
tz_reg() { tz_wine64 reg "$@" "/reg:$TZ_REG_BITS"; }

# Boots the template prefix once; later runs reuse it.
tz_make_template() {
  local key; key=$(tz_template_key)
  if [ "$(cat "$TZ_TEMPLATE/.tz-ready" 2>/dev/null)" = "$key" ]; then return 0; fi
  mkdir -p "$TZ_WINE_DIR"
  local lock="$TZ_WINE_DIR/.template.lock"
  (
    flock 9
    [ "$(cat "$TZ_TEMPLATE/.tz-ready" 2>/dev/null)" = "$key" ] && exit 0
    rm -rf "$TZ_TEMPLATE"
    WINEPREFIX="$TZ_TEMPLATE" WINEDLLOVERRIDES="mscoree=;mshtml=" wineboot -i >/dev/null 2>&1 || true
    WINEPREFIX="$TZ_TEMPLATE" wineserver -w
    [ -f "$TZ_TEMPLATE/system.reg" ] || { echo "the Wine prefix could not be booted (wineboot in $TZ_TEMPLATE)" >&2; exit 1; }
    # A program that crashes ends at once, with Wine's one-line report, instead of waiting in
    # the debugger until the test's time-out.
    local view
    for view in 64 32; do
      WINEPREFIX="$TZ_TEMPLATE" tz_wine64 reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
        /v Debugger /f "/reg:$view" >/dev/null 2>&1
    done
    WINEPREFIX="$TZ_TEMPLATE" wineserver -w
    # Wine's own MS Sans Serif and friends, as a Windows system has them: without them Wine
    # falls back to a wider font and the dialogs' labels no longer fit their template sizes.
    local fonts
    fonts=$(ls -d /usr/share/wine/fonts /usr/lib/wine/fonts 2>/dev/null | head -n1)
    if [ -n "$fonts" ]; then
      mkdir -p "$TZ_TEMPLATE/drive_c/windows/Fonts"
      cp "$fonts"/*.ttf "$fonts"/*.fon "$TZ_TEMPLATE/drive_c/windows/Fonts/" 2>/dev/null || true
    fi
    echo "$key" > "$TZ_TEMPLATE/.tz-ready"
  ) 9>"$lock"
}

# Prints the path of a fresh prefix: hard links to the template, the registry files copied
# for real since Wine rewrites them.
tz_new_prefix() {
  tz_make_template || return 1
  mkdir -p "$TZ_WINE_DIR/runs"
  local p
  p=$(mktemp -d "$TZ_WINE_DIR/runs/p.XXXXXX")
  cp -al "$TZ_TEMPLATE/." "$p/"
  local f
  for f in system.reg user.reg userdef.reg; do
    rm -f "$p/$f"; cp "$TZ_TEMPLATE/$f" "$p/$f"
  done
  # Everything else stays hard-linked: Wine and the programs only add files there (a file a
  # test rewrites in place must be removed first, or it would reach the template).
  [ -f "$TZ_TEMPLATE/drive_c/windows/win.ini" ] && { rm -f "$p/drive_c/windows/win.ini"; cp "$TZ_TEMPLATE/drive_c/windows/win.ini" "$p/drive_c/windows/win.ini"; }
  # Windows not managed by an X window manager: with none running (plain Xvfb), Wine otherwise
  # waits 2 s for one each time a captioned window is hidden, stalling the program under test.
  printf '\n[Software\\\\Wine\\\\X11 Driver]\n"Managed"="N"\n' >> "$p/user.reg"
  echo "$p"
}

# Makes sure DISPLAY names a running X server, starting Xvfb when there is none.
# Sets TZ_XVFB_PID when it started one. With TZ_PRIVATE_DISPLAY=1 (set by scripts/test, which
# runs tests side by side) it always starts one of its own, which the scripts it runs then
# share: windows, the pointer and the focus of two tests must not meet on one screen.
tz_ensure_display() {
  if [ "${TZ_PRIVATE_DISPLAY:-0}" = 1 ]; then
    unset DISPLAY
    export TZ_PRIVATE_DISPLAY=started
  fi
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  if [ -n "${DISPLAY:-}" ] && [ -z "$(command -v xdpyinfo)" ] && [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ]; then return 0; fi
  local fdfile; fdfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
  TZ_XVFB_PID=$!
  # Xvfb names its display once it is up: a second here, far longer on a slow machine (a virtual
  # machine without hardware help), so wait up to 60 s rather than go on without a display.
  local i n=""
  for i in $(seq 1 1200); do [ -s "$fdfile" ] && break; sleep 0.05; done
  n=$(head -n1 "$fdfile" 2>/dev/null)
  rm -f "$fdfile"
  [ -n "$n" ] || { echo "tz_ensure_display: Xvfb did not start within 60 s" >&2; return 1; }
  export DISPLAY=":$n"
}
