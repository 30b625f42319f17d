#!/usr/bin/env bash
# make bench-copyout: 200 12 MP camera JPEGs copied out through the camera
# view's data object (CF_HDROP rendering) beside a plain file copy, under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
export BUILD_DIR=$build
card="$build/bench/card"
mkdir -p "$card/source"

"$root/tools/wine-session.sh" bash -c '
    set -e
    card=$0
    if [ ! -f "$card/source/12mp.jpg" ]; then
        wine "$BUILD_DIR/bin/codec_bench.exe" --make "$(winepath -w "$card/source")" >/dev/null
    fi
    dir="$card/copyout"
    if [ ! -d "$dir" ]; then
        mkdir -p "$dir"
        for i in $(seq -w 1 200); do ln "$card/source/12mp.jpg" "$dir/IMG_$i.JPG"; done
    fi
    wine "$BUILD_DIR/bin/copyout_bench.exe" "$(winepath -w "$dir")" | tr -d "\r"' "$card"
