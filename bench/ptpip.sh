#!/usr/bin/env bash
# make bench-ptpip: the network camera driver against the PTP/IP simulator on loopback.
#   copy at 20 MB/s (a Wi-Fi link): 200 pictures copied out, throughput against the cap (goal >= 90 %)
#   copy uncapped, beside a plain TCP transfer of the same bytes between the same two processes (goal <= 1.3x)
#   thumbnails of 1,000 pictures at 20 MB/s, against the time their bytes need at the cap (goal <= 1.2x)
#   a cancel of a download under way (at 1 MB/s): from the user's stop to the read's end (goal < 100 ms)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
export BUILD_DIR=$build ROOT=$root
"$root/tools/wine-session.sh" bash -c '
    set -e
    work=$(mktemp -d)
    trap "kill \${sim:-} 2>/dev/null; rm -rf $work" EXIT
    wine "$BUILD_DIR/bin/make-card.exe" "$(winepath -w "$work/copy")" 202 >/dev/null
    wine "$BUILD_DIR/bin/make-card.exe" "$(winepath -w "$work/thumbs")" 1002 640 >/dev/null
    serve() {  # serve <card> <lines> <options...>: the simulator, its <lines> addresses in $work/address
        [ -z "${sim:-}" ] || { kill $sim; wait $sim 2>/dev/null || true; }
        : > "$work/address"
        python3 "$ROOT/tools/ptpip-camera-sim.py" --card "$work/$1" --port 0 "${@:3}" > "$work/address" &
        sim=$!
        for _ in $(seq 100); do [ "$(wc -l < "$work/address")" -ge "$2" ] && break; sleep 0.1; done
    }
    bench() { (cd "$BUILD_DIR/bin" && wine ./ptpip_bench.exe "$@" | tr -d "\r"); }
    cap=20
    serve copy 1 --rate $cap
    bench copy "$(head -n1 "$work/address")" | tee "$work/capped.txt"
    awk -v cap=$cap "/^copy:/ { printf \"copy at %d MB/s: %.1f %% of the cap (goal >= 90 %%)\n\", cap, \$(NF-1) * 100 / cap }" "$work/capped.txt"
    serve copy 2 --plain-port 0
    bench copy "$(head -n1 "$work/address")" "$(sed -n "2s/^plain //p" "$work/address")"
    bench read "$(head -n1 "$work/address")" "$(sed -n "2s/^plain //p" "$work/address")"
    serve copy 1 --rate 1
    bench cancel "$(head -n1 "$work/address")"
    serve thumbs 1 --rate $cap
    bench thumbs "$(head -n1 "$work/address")" | tee "$work/thumbs.txt"
    serve thumbs 1
    bench thumbs "$(head -n1 "$work/address")" | sed "s/^thumbs:/thumbnails uncapped (the round trips alone):/"
    awk -v cap=$cap "/^thumbs:/ { need = \$4 / (cap * 1000); printf \"thumbnails: %.0f ms, their bytes need %.0f ms at the cap: %.2fx (goal <= 1.2x)\n\", \$7, need, \$7 / need }" "$work/thumbs.txt"'
