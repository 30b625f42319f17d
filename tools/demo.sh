#!/usr/bin/env bash
# Registers the module in the private Wine prefix and opens Wine's explorer on
# it. With a DISPLAY the window stays open; without one it runs under Xvfb,
# saves build/demo/root.png and exits.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
export BUILD_DIR=$build

if [ -n "${DISPLAY:-}" ]; then
    exec "$root/tools/wine-session.sh" bash -c '
        "$0/install/register.sh" "$1/bin/orvexview.dll"
        wine explorer "C:\\OrvexView"' "$root" "$build"
fi

mkdir -p "$build/demo"
"$root/tools/wine-session.sh" bash -c '
    set -e
    "$0/install/register.sh" "$1/bin/orvexview.dll"
    wine "$1/bin/module_tests.exe" --gtest_filter=ExplorerSmoke.* --gtest_brief=1
    cp "$1/test-output/explorer-tree.png" "$1/demo/root.png"' "$root" "$build"
echo "screenshot: $build/demo/root.png"
