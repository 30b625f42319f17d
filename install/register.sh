#!/usr/bin/env bash
# Registers the module in the Wine prefix of $WINEPREFIX and makes the folder
# junction C:\OrvexView that opens the extension in the file browser.
# Usage: install/register.sh <path of orvexview.dll on this machine>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dll=$(readlink -f "$1")
windows_path=$(winepath -w "$dll" 2>/dev/null)
# .reg strings double their backslashes; sed's replacement halves them again.
escaped=$(printf '%s' "$windows_path" | sed 's/\\/\\\\\\\\/g')

reg=$(mktemp --suffix=.reg)
trap 'rm -f "$reg"' EXIT
sed "s|@MODULE_PATH@|$escaped|g" "$here/orvexview.reg.in" > "$reg"
wine regedit /S "$(winepath -w "$reg")"

junction="$WINEPREFIX/drive_c/OrvexView"
mkdir -p "$junction"
printf '[.ShellClassInfo]\r\nCLSID={7A3E91D0-5B2C-4E8F-9D61-2F0C8A4B7E13}\r\n' > "$junction/desktop.ini"
wine attrib +s 'C:\OrvexView' >/dev/null 2>&1
