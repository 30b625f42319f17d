#!/usr/bin/env bash
# make bench-thumbs: a control filled from a card of 1,000 (then 5,000) 12 MP
# camera JPEGs through the disk driver, timed under Wine. The pictures are hard
# links of a few generated camera files, so the card costs little disk.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
export BUILD_DIR=$build
card="$build/bench/card"
mkdir -p "$card/source"

"$root/tools/wine-session.sh" bash -c '
    set -e
    card=$0
    if [ ! -f "$card/source/DCIM/100ORVEX/IMG_0001.JPG" ]; then
        wine "$BUILD_DIR/bin/make-card.exe" "$(winepath -w "$card/source")" 0 >/dev/null
        wine "$BUILD_DIR/bin/codec_bench.exe" --make "$(winepath -w "$card/source")" >/dev/null
    fi
    for n in 1000 5000; do
        dir="$card/$n"
        if [ ! -d "$dir" ]; then
            mkdir -p "$dir"
            for i in $(seq -w 1 $n); do ln "$card/source/12mp.jpg" "$dir/IMG_$i.JPG"; done
        fi
        echo "== $n cells"
        wine "$BUILD_DIR/bin/thumbs_bench.exe" "$(winepath -w "$dir")" | tr -d "\r"
    done' "$card"
