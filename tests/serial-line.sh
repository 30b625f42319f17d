#!/usr/bin/env bash
# Runs the serial line tests with COM5 of the private Wine prefix on one end of
# a pseudo-terminal pair; the test itself plays the camera on the other end.
# Usage (inside tools/wine-session.sh): tests/serial-line.sh <driver_tests.exe>
set -euo pipefail
work=$(mktemp -d)
socat pty,raw,echo=0,link="$work/com5" pty,raw,echo=0,link="$work/camera" &
socat_pid=$!
trap 'kill $socat_pid 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -e "$work/com5" ] && [ -e "$work/camera" ] && break; sleep 0.1; done
ln -sfn "$(readlink -f "$work/com5")" "$WINEPREFIX/dosdevices/com5"
ORVEX_SERIAL_PEER="Z:$(readlink -f "$work/camera" | tr / '\\')" WINEDEBUG=-all \
    wine "$1" --gtest_filter='SerialLine*'
