#!/usr/bin/env bash
# make bench: codec timings under Wine beside native djpeg on the same files.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
out="$build/bench"
mkdir -p "$out"
command -v djpeg >/dev/null || apt-get install -y -qq --no-install-recommends libjpeg-turbo-progs >/dev/null

# djpeg streams PPM to /dev/null: decoding plus the cheapest output it has.
native_ms() {  # native_ms <runs> <djpeg arguments...>
    local runs=$1; shift
    djpeg -outfile /dev/null "$@"
    local start end
    start=$(date +%s%N)
    for _ in $(seq "$runs"); do djpeg -outfile /dev/null "$@"; done
    end=$(date +%s%N)
    echo "scale=2; ($end - $start) / 1000000 / $runs" | bc
}

export BUILD_DIR=$build
"$root/tools/wine-session.sh" bash -c '
    set -e
    out=$0
    [ -f "$out/24mp.jpg" ] || wine "$BUILD_DIR/bin/codec_bench.exe" --make "$(winepath -w "$out")" >/dev/null
    wine "$BUILD_DIR/bin/codec_bench.exe" "$(winepath -w "$out/12mp.jpg")" "$(winepath -w "$out/24mp.jpg")" \
        | tr -d "\r" > "$out/wine.txt"' "$out"

printf '%-10s %12s %12s %7s %12s %12s %7s %14s\n' image "full (Wine)" "djpeg" ratio "1/8 (Wine)" "djpeg 1/8" ratio "EXIF thumb"
while read -r path full eighth thumb; do
    name=$(basename "${path//\\//}")
    file="$out/$name"
    nfull=$(native_ms 5 "$file")
    neighth=$(native_ms 10 -scale 1/8 "$file")
    printf '%-10s %10s ms %9s ms %6.2fx %10s ms %9s ms %6.2fx %11s ms\n' "$name" "$full" "$nfull" \
        "$(echo "$full / $nfull" | bc -l)" "$eighth" "$neighth" "$(echo "$eighth / $neighth" | bc -l)" "$thumb"
done < "$out/wine.txt"
