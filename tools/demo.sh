#!/usr/bin/env bash
# Registers the module in the private Wine prefix and opens Wine's explorer on
# it. With a DISPLAY the window stays open; without one it runs under Xvfb,
# saves build/demo/root.png and exits.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
export BUILD_DIR=$build

if [ -n "${DISPLAY:-}" ]; then
    # Wine's explorer cannot browse into a folder object that lacks
    # IPersistFolder2, so the junction does not open; the Location box does.
    echo "In Wine's explorer, type ::{7A3E91D0-5B2C-4E8F-9D61-2F0C8A4B7E13} into Location."
    exec "$root/tools/wine-session.sh" bash -c '
        "$0/install/register.sh" "$1/bin/orvexview.dll"
        wine explorer "C:\\"' "$root" "$build"
fi

mkdir -p "$build/demo"
"$root/tools/wine-session.sh" bash -c '
    set -e
    "$0/install/register.sh" "$1/bin/orvexview.dll"
    wine "$1/bin/module_tests.exe" --gtest_filter=ExplorerSmoke.* --gtest_brief=1
    cp "$1/test-output/explorer-root.png" "$1/demo/root.png"' "$root" "$build"
echo "screenshot: $build/demo/root.png"
