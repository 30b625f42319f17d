#!/usr/bin/env bash
# make bench-thumbs: folders of 1,000, 10,000 and 20,000 12 MP camera JPEGs opened in our view through the disk
# driver, timed under Wine. The pictures are hard links of one generated camera file, so they cost no disk.
# THUMBS_SIZES picks other sizes.
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
    for n in ${THUMBS_SIZES:-1000 10000 20000}; do
        dir="$card/$n"
        if [ ! -d "$dir" ]; then
            mkdir -p "$dir"
            perl -e '"'"'link $ARGV[0], sprintf("%s/IMG_%05d.JPG", $ARGV[1], $_) or die for 1..$ARGV[2]'"'"' \
                "$card/source/12mp.jpg" "$dir" "$n"
        fi
        echo "== $n pictures"
        wine "$BUILD_DIR/bin/thumbs_bench.exe" "$(winepath -w "$dir")" | tr -d "\r"
    done
    # The bench chose its folder and view as the user: the tests start from a user without settings.
    wine reg delete "HKCU\\Software\\Pictavia" /f >/dev/null 2>&1 || true' "$card"
