# shellcheck shell=bash
# The shell library every script of the project sources (scripts/test,
# scripts/demo, scripts/wine-run, bench/run, fuzz/run, the UI tests' desktop
# keeper):
#
#   KVO_PACKAGES_TEST  the Debian packages scripts/test needs, and so CI
#   KVO_PACKAGES_DEMO  those scripts/demo needs
#   KVO_PACKAGES_FUZZ  those fuzz/run needs beyond a native build
#   WINE_LOADER, WINE_SERVER  Wine's loader and server, run by full path
#
#   kvo_install_packages PKG...  on Debian, install those of PKG that are
#                      missing (as root, or through sudo); 0 when all are there
#   kvo_start_xvfb FILE  start a virtual X display (Xvfb picks a free number
#                      and writes it into FILE); exports DISPLAY and sets
#                      KVO_XVFB_PID; its output goes to FILE.log
#   kvo_stop_xvfb      stop the display kvo_start_xvfb started
#   wine_env_setup     export the Wine environment; generate the ja_JP locale
#                      and initialise the prefix if that has not been done yet
#   wine_start_server  wine_env_setup, then make sure a wineserver is running
#                      for the prefix, booted with its background processes on
#                      /dev/null
#   wine_stop          end the prefix's wineserver and every Wine process in it
#
# WINEPREFIX defaults to <repo>/build/wineprefix. KVO_WINE_PERSIST is how many
# seconds a server started here stays after the last Windows program exits;
# empty (the default) means until wine_stop.
#
# Why the servers are started here with stdio on /dev/null: Wine's background
# processes (wineserver, services.exe, explorer.exe, ...) inherit the stdout and
# stderr of whichever program started them. Started from a test under ctest they
# would hold ctest's output pipe open and ctest would wait for them to exit.

KVO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# The packages, each named once. Every list holds only what some script or
# build really uses.
# The Windows build and its programs under Wine on a virtual display:
# googletest is the source tree the Windows tests build GoogleTest from,
# binutils-mingw-w64 has windres, fonts-wine the fonts the prefix gets,
# fonts-noto-cjk the Japanese glyphs, locales the ja_JP source for localedef.
_KVO_PACKAGES_WINDOWS=(
  make cmake googletest
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine64 fonts-wine fonts-noto-cjk xvfb locales
)
KVO_PACKAGES_FUZZ=(clang libclang-rt-14-dev)
# The native and sanitizer builds with GoogleTest, the Windows one, the fuzz
# targets, and python3 for scripts/check-package.
# shellcheck disable=SC2034  # for the scripts that source this
KVO_PACKAGES_TEST=(
  g++ libgtest-dev "${_KVO_PACKAGES_WINDOWS[@]}" "${KVO_PACKAGES_FUZZ[@]}" python3
)
# The Windows build, and imagemagick's import for the screenshot.
# shellcheck disable=SC2034
KVO_PACKAGES_DEMO=("${_KVO_PACKAGES_WINDOWS[@]}" imagemagick)

# Wine's loader and server, by full path: Debian's wine64 puts them here and
# nothing of theirs into PATH.
KVO_WINE_DIR=/usr/lib/wine
WINE_LOADER=$KVO_WINE_DIR/wine64
WINE_SERVER=$KVO_WINE_DIR/wineserver
: "${KVO_WINE_PERSIST=}"

kvo_install_packages() {
  if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "no dpkg-query; not checking packages" >&2
    return 0
  fi
  local missing=() p
  for p in "$@"; do
    [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" = "install ok installed" ] || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing ${missing[*]}" >&2
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q </dev/null &&
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
      apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
}

KVO_XVFB_PID=
kvo_start_xvfb() {
  local fd_file="$1" tries
  rm -f "$fd_file"
  # -displayfd picks a free display and writes its number once it accepts clients.
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp \
    3>"$fd_file" </dev/null >"$fd_file.log" 2>&1 &
  KVO_XVFB_PID=$!
  for ((tries = 0; tries < 100; tries++)); do
    if grep -q '^[0-9][0-9]*$' "$fd_file" 2>/dev/null; then
      export DISPLAY=":$(head -n 1 "$fd_file")"
      return 0
    fi
    kill -0 "$KVO_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  echo "Xvfb did not start (see $fd_file.log)" >&2
  return 1
}

kvo_stop_xvfb() {
  if [ -n "$KVO_XVFB_PID" ]; then
    kill "$KVO_XVFB_PID" 2>/dev/null && wait "$KVO_XVFB_PID" 2>/dev/null
    KVO_XVFB_PID=
  fi
  return 0
}

# One lock for locale generation, prefix initialisation and server start, so that
# parallel test jobs never do any of them twice at the same time. Wine programs
# started while it is held get "9>&-": the long-lived ones would otherwise keep
# the lock for as long as they live.
_kvo_wine_lock="$KVO_ROOT/build/.wine-setup.lock"

_kvo_wine_server_up() {
  # Returns 0 when a server was started now, 2 when one was already running.
  "$WINE_SERVER" "-p$KVO_WINE_PERSIST" </dev/null >/dev/null 2>&1 9>&-
}

_kvo_locale_ready() { [ -e "$KVO_ROOT/build/locale/ja_JP.UTF-8/LC_CTYPE" ]; }

_kvo_locale_generate() {
  # Wine takes the ANSI code page (932 for Japanese) from LC_CTYPE; the glibc
  # locale is built inside build/ so the system is left untouched.
  local dir="$KVO_ROOT/build/locale"
  rm -rf "$dir/ja_JP.UTF-8.tmp"
  # localedef -c exits 1 on mere warnings, so judge by the result.
  localedef -i ja_JP -c -f UTF-8 "$dir/ja_JP.UTF-8.tmp" </dev/null >/dev/null 2>&1
  if [ ! -e "$dir/ja_JP.UTF-8.tmp/LC_CTYPE" ]; then
    echo "lib.sh: localedef could not build ja_JP.UTF-8 in $dir" >&2
    return 1
  fi
  rm -rf "$dir/ja_JP.UTF-8"
  mv "$dir/ja_JP.UTF-8.tmp" "$dir/ja_JP.UTF-8"
}

_kvo_prefix_init() {
  mkdir -p "$WINEPREFIX" || return 1
  _kvo_wine_server_up
  case $? in 0|2) ;; *) echo "lib.sh: wineserver did not start" >&2; return 1 ;; esac
  # wineboot -i prints a harmless syswow64 rundll32 error on a 64-bit-only Wine.
  # (The registry reaches system.reg only when the server exits, so judge by the tree.)
  if ! "$WINE_LOADER" wineboot -i </dev/null >/dev/null 2>&1 9>&- ||
     [ ! -d "$WINEPREFIX/drive_c/windows/system32" ]; then
    echo "lib.sh: wineboot -i did not create the prefix $WINEPREFIX" >&2
    return 1
  fi
  # Without a window manager (Xvfb) unmanaged windows get Wine's own title bar,
  # and closing a managed window waits for a WM that never answers.
  "$WINE_LOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
    </dev/null >/dev/null 2>&1 9>&- || { echo "lib.sh: reg add failed" >&2; return 1; }
  # Wine only loads fonts from C:\windows\Fonts; without these the caption
  # buttons are drawn as letters.
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  cp -f /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" || return 1
  touch "$WINEPREFIX/.kvo-ready"
}

_kvo_wine_export() {
  export WINEPREFIX="${WINEPREFIX:-$KVO_ROOT/build/wineprefix}"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEARCH=win64
  # The locale must exist before LANG is set: bash itself applies LANG at once.
  export LOCPATH="$KVO_ROOT/build/locale"
  unset LC_ALL LC_CTYPE
  export LANG=ja_JP.UTF-8
}

wine_env_setup() {
  if _kvo_locale_ready && [ -e "${WINEPREFIX:-$KVO_ROOT/build/wineprefix}/.kvo-ready" ]; then
    _kvo_wine_export
    return 0
  fi
  mkdir -p "$KVO_ROOT/build/locale" || return 1
  {
    flock 9 || return 1
    _kvo_locale_ready || _kvo_locale_generate || return 1
    _kvo_wine_export
    [ -e "$WINEPREFIX/.kvo-ready" ] || _kvo_prefix_init || return 1
  } 9>"$_kvo_wine_lock"
}

wine_start_server() {
  wine_env_setup || return 1
  {
    flock 9 || return 1
    _kvo_wine_server_up
    case $? in
      0) # A fresh server: start the background processes now, detached from
         # whoever calls us next.
         "$WINE_LOADER" wineboot </dev/null >/dev/null 2>&1 9>&- ;;
      2) ;;
      *) echo "lib.sh: wineserver did not start" >&2; return 1 ;;
    esac
  } 9>"$_kvo_wine_lock"
}

wine_stop() {
  # Not wineserver -w: with a persistent server it waits forever.
  WINEPREFIX="${WINEPREFIX:-$KVO_ROOT/build/wineprefix}" \
    "$WINE_SERVER" -k </dev/null >/dev/null 2>&1
  return 0
}
