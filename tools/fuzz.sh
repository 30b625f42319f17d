#!/usr/bin/env bash
# Builds the native fuzz targets and runs each for FUZZ_SECONDS (default 60).
# Inputs that crash are copied into tests/fuzz/crashers/, which the codec
# tests replay on every run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${FUZZ_DIR:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-60}
command -v clang++ >/dev/null || { apt-get install -y -qq --no-install-recommends clang libclang-rt-dev >/dev/null; }
CXX=clang++ cmake -S "$root/tests/fuzz" -B "$out" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$out" -j "$(nproc)" >/dev/null
status=0
for target in FuzzExif FuzzJpegHeader FuzzRawPreview FuzzMovieInfo FuzzPtpData; do
    corpus="$out/corpus-$target"
    mkdir -p "$corpus" "$out/artifacts"
    cp -n "$root"/tests/fuzz/seeds/* "$root"/tests/data/camera-files/* "$corpus"/ 2>/dev/null || true
    echo "== $target for ${seconds}s"
    if ! "$out/$target" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=1024 \
            -artifact_prefix="$out/artifacts/$target-" "$corpus" 2>"$out/$target.log"; then
        status=1
        tail -n 30 "$out/$target.log"
    fi
    grep -E "^#[0-9]+.*DONE|stat::number_of_executed_units" "$out/$target.log" | tail -n 1 || true
done
for crash in "$out"/artifacts/*; do
    [ -f "$crash" ] && cp "$crash" "$root/tests/fuzz/crashers/$(basename "$crash")"
done
exit $status
