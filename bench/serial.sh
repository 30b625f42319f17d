#!/usr/bin/env bash
# make bench-serial: the serial camera driver against the camera simulator
# pacing its bytes at 115200 bps, through Wine's COM5 (a pseudo-terminal).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
export BUILD_DIR=$build ROOT=$root
"$root/tools/wine-session.sh" bash -c '
    set -e
    work=$(mktemp -d)
    trap "kill \$sim 2>/dev/null; rm -rf $work" EXIT
    wine "$BUILD_DIR/bin/make-card.exe" "$(winepath -w "$work/card")" 22 >/dev/null
    python3 "$ROOT/tools/serial-camera-sim.py" --card "$work/card" --link "$work/host" > "$work/pty" &
    sim=$!
    for _ in $(seq 100); do [ -s "$work/pty" ] && break; sleep 0.1; done
    ln -sfn "$(readlink -f "$work/host")" "$WINEPREFIX/dosdevices/com5"
    cd "$BUILD_DIR/bin" && wine ./serial_bench.exe | tr -d "\r"'
