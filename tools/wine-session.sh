#!/usr/bin/env bash
# Runs a command inside the project's private Wine set-up: the prefix in the
# build tree, a display (Xvfb unless one is given) and one persistent
# wineserver. Stops everything it started when the command ends.
# Usage: tools/wine-session.sh [--xvfb] <command...>
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

force_xvfb=0
if [ "${1:-}" = "--xvfb" ]; then force_xvfb=1; shift; fi

export WINEPREFIX="$build/wineprefix"
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
wineserver=/usr/lib/wine/wineserver64

xvfb_pid=""
display_file=""
cleanup() {
    "$wineserver" -k >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" >/dev/null 2>&1 || true
    [ -n "$display_file" ] && rm -f "$display_file"
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ] || [ "$force_xvfb" = 1 ]; then
    display_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x960x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
    [ -s "$display_file" ] || { echo "Xvfb did not start" >&2; exit 1; }
    export DISPLAY=":$(head -n1 "$display_file")"
fi

mkdir -p "$WINEPREFIX"
"$wineserver" -p </dev/null >/dev/null 2>&1
if [ ! -f "$WINEPREFIX/.orvex-ready" ]; then
    wine wineboot -i </dev/null >/dev/null 2>&1
    # Without a window manager every closing top-level window would stall ~2 s.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    touch "$WINEPREFIX/.orvex-ready"
fi
# A crash prints its backtrace and ends the program instead of waiting in a dialog.
if [ ! -f "$WINEPREFIX/.orvex-crash-log" ]; then
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
    touch "$WINEPREFIX/.orvex-crash-log"
fi
wine cmd /c exit </dev/null >/dev/null 2>&1

"$@"
