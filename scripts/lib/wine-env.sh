# shellcheck shell=bash
# A private Wine environment for running the program and its tests: a fresh
# 32-bit WINEPREFIX inside the build folder, a Wine virtual desktop (frames are
# drawn and modal windows close at once without a window manager), no crash
# dialog, one persistent wineserver for the whole run and, unless asked to use
# the current X display, a private Xvfb display. Everything is torn down on exit.
# Never touches ~/.wine or the user's display unless wine_env_up is told to use it.
#
# Usage (from a bash script):
#   source scripts/lib/wine-env.sh
#   wine_env_up <build-dir> [--use-display]   # --use-display: show on $DISPLAY if set
#   WINE_ENV_KEEP_PREFIX=<dir> wine_env_up ... # a lasting prefix there instead of a
#                                             # fresh one (scripts/run: settings survive)
#   WINE_ENV_DPI=144 wine_env_up ...          # the display's DPI (LogPixels) for every
#                                             # program started in it (default: Wine's, 96)
#   wine ...                                  # WINEPREFIX, DISPLAY etc. are exported
#   (wine_env_down runs from the EXIT trap; call it yourself to end earlier)
#
# Exports WINEPREFIX, WINEARCH, WINEDEBUG, WINEDLLOVERRIDES, DISPLAY,
# WINE_ENV_DESKTOP (the virtual desktop's size, WxH), and XDG_DATA_HOME and
# XDG_CONFIG_HOME in the environment's own folder: the menu entries Wine makes
# for Start-menu shortcuts land there, not in the user's applications menu.

WINE_ENV_DESKTOP=${WINE_ENV_DESKTOP:-1024x768}
WINE_ENV_DPI=${WINE_ENV_DPI:-}
_wine_env_xvfb_pid=""
_wine_env_prefix=""
_wine_env_tmp=""

_wine_env_log() { echo "wine-env: $*" >&2; }

# Starts a private Xvfb on a free display number and exports DISPLAY.
_wine_env_start_xvfb() {
  local fifo="$_wine_env_tmp/displayfd" n=0
  : >"$fifo"
  Xvfb -displayfd 9 -screen 0 "${WINE_ENV_DESKTOP}x24" -nolisten tcp -noreset \
    9>"$fifo" </dev/null >/dev/null 2>&1 &
  _wine_env_xvfb_pid=$!
  echo "$_wine_env_xvfb_pid" >"$_wine_env_tmp/xvfb.pid"
  while [ ! -s "$fifo" ]; do
    if ! kill -0 "$_wine_env_xvfb_pid" 2>/dev/null || [ $n -ge 100 ]; then
      _wine_env_log "Xvfb did not start"; return 1
    fi
    sleep 0.1; n=$((n + 1))
  done
  export DISPLAY=":$(head -n1 "$fifo" | tr -d '[:space:]')"
}

# Removes what a killed earlier run left in `build_dir` (its owner is gone).
_wine_env_clean_stale() {
  local dir owner xvfb
  for dir in "$1"/.wine-env.*; do
    [ -d "$dir" ] || continue
    owner=$(cat "$dir/owner" 2>/dev/null || true)
    if [ -n "$owner" ] && kill -0 "$owner" 2>/dev/null; then continue; fi
    if [ -d "$dir/prefix" ]; then
      WINEPREFIX="$dir/prefix" wineserver -k </dev/null >/dev/null 2>&1 || true
    fi
    xvfb=$(cat "$dir/xvfb.pid" 2>/dev/null || true)
    if [ -n "$xvfb" ] && [ "$(cat "/proc/$xvfb/comm" 2>/dev/null)" = Xvfb ]; then
      kill "$xvfb" 2>/dev/null || true
    fi
    rm -rf "$dir"
  done
}

wine_env_up() {
  local build_dir=$1 use_display=0
  [ "${2:-}" = "--use-display" ] && use_display=1
  mkdir -p "$build_dir"
  build_dir=$(cd "$build_dir" && pwd)
  _wine_env_clean_stale "$build_dir"
  _wine_env_tmp=$(mktemp -d "$build_dir/.wine-env.XXXXXX")
  echo $$ >"$_wine_env_tmp/owner"
  trap wine_env_down EXIT
  trap 'exit 130' INT TERM

  if [ $use_display -eq 0 ] || [ -z "${DISPLAY:-}" ]; then
    _wine_env_start_xvfb || return 1
  fi

  # A fresh prefix per run: nothing left over from an earlier run can leak in.
  _wine_env_prefix="$_wine_env_tmp/prefix"
  if [ -n "${WINE_ENV_KEEP_PREFIX:-}" ]; then
    mkdir -p "$WINE_ENV_KEEP_PREFIX"
    export WINEPREFIX=$(cd "$WINE_ENV_KEEP_PREFIX" && pwd)
  else
    export WINEPREFIX="$_wine_env_prefix"
  fi
  export XDG_DATA_HOME="$_wine_env_tmp/xdg-data" XDG_CONFIG_HOME="$_wine_env_tmp/xdg-config"
  export WINEARCH=win32 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINE_ENV_DESKTOP
  # Service processes must not hold our callers' pipes open (CTest would wait on them).
  wineboot -i </dev/null >/dev/null 2>&1
  # Debian's Wine does not find the fonts of fonts-wine on its own: without them
  # "MS Sans Serif" falls back to a wider face that cuts the captions, and the
  # caption buttons draw as letters (no Marlett). The prefix's Fonts folder works.
  cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  local dpi_reg=""
  case $WINE_ENV_DPI in
    '') ;;
    *[!0-9]*) _wine_env_log "WINE_ENV_DPI must be a number of dots per inch"; return 1 ;;
    *) dpi_reg=$(printf '\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"LogPixels"=dword:%08x\n' \
         "$WINE_ENV_DPI") ;;
  esac
  cat >"$_wine_env_tmp/setup.reg" <<EOF
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]
"Default"="$WINE_ENV_DESKTOP"

[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]
"ShowCrashDialog"=dword:00000000
$dpi_reg
EOF
  wine regedit /S "$_wine_env_tmp/setup.reg" </dev/null >/dev/null 2>&1
  # The desktop setting takes effect with a new wineserver.
  wineserver -w </dev/null >/dev/null 2>&1
  wineserver -p </dev/null >/dev/null 2>&1
  wine wineboot </dev/null >/dev/null 2>&1
}

wine_env_down() {
  trap - EXIT
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
  fi
  if [ -n "$_wine_env_xvfb_pid" ]; then
    kill "$_wine_env_xvfb_pid" 2>/dev/null || true
    wait "$_wine_env_xvfb_pid" 2>/dev/null || true
    _wine_env_xvfb_pid=""
  fi
  if [ -n "$_wine_env_tmp" ] && [ -d "$_wine_env_tmp" ]; then
    rm -rf "$_wine_env_tmp"
  fi
  _wine_env_tmp=""; _wine_env_prefix=""
}
