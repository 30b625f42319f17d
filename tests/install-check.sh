#!/usr/bin/env bash
# Installs OrvexView silently into the private Wine prefix, checks what the
# installation left (keys, files, the module Wine's explorer would load), uninstalls
# silently and checks that nothing is left.
# Usage (inside tools/wine-session.sh --xvfb): tests/install-check.sh <setup.exe> <installer_tests.exe>
set -euo pipefail
setup=$1 tests=$2
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
uninstall
wine "$tests" --gtest_filter='Uninstalled.*'
