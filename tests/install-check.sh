#!/usr/bin/env bash
# Installs OrvexView silently into the private Wine prefix, checks what the
# installation left (keys in both registry views, files, the modules a 64-bit
# and a 32-bit program load), uninstalls silently and checks that nothing is left.
# Usage (inside tools/wine-session.sh --xvfb):
#   tests/install-check.sh <setup.exe> <installer_tests.exe> <32-bit installer_tests.exe>
set -euo pipefail
setup=$1 tests=$2 tests32=$3
export WINEDEBUG=-all
dir="$WINEPREFIX/drive_c/Program Files/Pictavia/OrvexView"
uninstall() {
    [ -e "$dir/Uninstall.exe" ] || return 0
    wine "C:\\Program Files\\Pictavia\\OrvexView\\Uninstall.exe" /S
    # The uninstaller copies itself away and runs from there: wait for it.
    for _ in $(seq 300); do [ -e "$dir" ] || return 0; sleep 0.1; done
    echo "the uninstaller left $dir" >&2
}
trap uninstall EXIT
wine "$setup" /S
wine "$tests" --gtest_filter='Installed.*'
wine "$tests32" --gtest_filter='Installed.AProgramsOpenDialog*'
uninstall
wine "$tests" --gtest_filter='Uninstalled.*'
