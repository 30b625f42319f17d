#!/usr/bin/env bash
# Runs the serial camera driver's tests against the camera simulator: a card
# is made, the simulator serves it on one end of a pseudo-terminal pair and
# COM5 (and LPT1) of the private Wine prefix is the other end. Extra arguments go to the
# simulator (failure options). Usage (inside tools/wine-session.sh):
#   tests/serial-camera.sh <test program> <gtest filter> [simulator options]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tests=$1 filter=$2
shift 2
# The card lives on drive C: of the prefix, so both sides name it plainly.
name=serialcam-$$
work="$WINEPREFIX/drive_c/$name"
mkdir -p "$work"
sim_pid=
trap '[ -n "$sim_pid" ] && kill $sim_pid 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
WINEDEBUG=-all wine "$(dirname "$tests")/make-card.exe" "C:\\$name\\card" 6 >/dev/null
python3 "${SIMULATOR:-$root/tools/serial-camera-sim.py}" --card "$work/card" --link "$work/host" \
    --log "$work/camera.log" "$@" > "$work/pty" &
sim_pid=$!
for _ in $(seq 100); do [ -s "$work/pty" ] && break; sleep 0.1; done
[ -s "$work/pty" ] || { echo "the simulator did not start" >&2; exit 1; }
# COM5 and LPT1 both lead to the camera (one of them open at a time).
ln -sfn "$(readlink -f "$work/host")" "$WINEPREFIX/dosdevices/com5"
ln -sfn "$(readlink -f "$work/host")" "$WINEPREFIX/dosdevices/lpt1"
status=0
ORVEX_SERIAL_CARD="C:\\$name\\card" ORVEX_SERIAL_LOG="C:\\$name\\camera.log" WINEDEBUG=${TEST_WINEDEBUG:--all} wine "$tests" --gtest_filter="$filter" || status=$?
[ $status -eq 0 ] || tail -40 "$work/camera.log" >&2
[ -z "${KEEP_CAMERA_LOG:-}" ] || cp "$work/camera.log" "$KEEP_CAMERA_LOG"
exit $status
