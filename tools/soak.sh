#!/usr/bin/env bash
# make soak: the long forms of the hardening runs, each with its seed printed
# so that a failure replays. About 90 minutes on a 2-core machine:
#   100,000 ID lists through every folder entry point            (~10 s)
#   10,000 mutated JPEG/PNG/EXIF files through driver and codec  (~1 min)
#   1,000 open/fill/close cycles of a camera view, leak check,    (~4.5 min)
#   and 1,000 visits each by two windows on two threads,          (~4 min)
#   on a card of 10,000 pictures
#   10,000 random user actions on that card of 10,000 pictures,   (~13 min)
#   a second window on another thread visiting it all the while
#   1,000 random user actions on the serial camera, paced         (~2 min)
#   10,000 sessions with a network camera whose answers are damaged (~32 min)
#   the native fuzzers (EXIF, JPEG header, RAW preview, movie header,
#   PTP datasets), SOAK_FUZZ_SECONDS each (300)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
export BUILD_DIR=$build
bin=$build/bin
start=$(date +%s)
step() { echo "== $* ($(( $(date +%s) - start )) s)"; }

step "ID lists"
ORVEX_FUZZ_LISTS=100000 "$root/tools/wine-session.sh" --xvfb wine "$bin/core_tests.exe" --gtest_filter='IdListFuzz.*'
step "pictures"
ORVEX_PICTURE_FUZZ=10000 "$root/tools/wine-session.sh" --xvfb wine "$bin/driver_tests.exe" --gtest_filter='PictureFuzz.*'
step "view lifetime and random actions on a card"
ORVEX_CYCLES=1000 ORVEX_ACTIONS=10000 ORVEX_CARD_PICTURES=10000 "$root/tools/wine-session.sh" --xvfb wine "$bin/core_tests.exe" \
    --gtest_filter='LongUse.OpeningFilling*:LongUse.TwoWindows*:LongUse.RandomUserActionsNeverCrash*'
step "random actions on the serial camera"
ORVEX_SERIAL_ACTIONS=1000 "$root/tools/wine-session.sh" --xvfb "$root/tests/serial-camera.sh" "$bin/core_tests.exe" \
    'LongUse.RandomUserActionsOnASerialCamera'
seed=${SOAK_PTP_SEED:-$RANDOM}
step "damaged answers from a network camera (seed $seed)"
ORVEX_PTP_SESSIONS=10000 ORVEX_PTP_SILENCE_MS=100 "$root/tools/wine-session.sh" "$root/tests/ptpip-camera.sh" \
    "$bin/driver_tests.exe" 'PtpDamagedAnswers.*' --mutate "$seed"
step "native fuzzers"
FUZZ_SECONDS=${SOAK_FUZZ_SECONDS:-300} "$root/tools/fuzz.sh"
step "soak done"
