#!/usr/bin/env bash
# Runs the network camera driver's tests against the PTP/IP camera simulator:
# a card is made on drive C: of the prefix and served on a free loopback port,
# whose address reaches the tests as ORVEX_PTPIP_ADDRESS. Extra arguments go
# to the simulator (failure options). Usage (inside tools/wine-session.sh):
#   tests/ptpip-camera.sh <test program> <gtest filter> [simulator options]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tests=$1 filter=$2
shift 2
name=ptpcam-$$
work="$WINEPREFIX/drive_c/$name"
mkdir -p "$work"
sim_pid=
trap '[ -n "$sim_pid" ] && kill $sim_pid 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
WINEDEBUG=-all wine "$(dirname "$tests")/make-card.exe" "C:\\$name\\card" 6 >/dev/null
python3 "${SIMULATOR:-$root/tools/ptpip-camera-sim.py}" --card "$work/card" --port 0 \
    --log "$work/camera.log" "$@" > "$work/address" &
sim_pid=$!
for _ in $(seq 100); do [ -s "$work/address" ] && break; sleep 0.1; done
[ -s "$work/address" ] || { echo "the simulator did not start" >&2; exit 1; }
status=0
ORVEX_PTPIP_ADDRESS=$(head -n1 "$work/address") ORVEX_PTPIP_CARD="C:\\$name\\card" \
    WINEDEBUG=${TEST_WINEDEBUG:--all} wine "$tests" --gtest_filter="$filter" || status=$?
[ $status -eq 0 ] || tail -40 "$work/camera.log" >&2
exit $status
