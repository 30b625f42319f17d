#!/usr/bin/env bash
# Writes what an installation writes into the Wine prefix of $WINEPREFIX: the
# class key and junction of the module, the settings key, and the cameras key
# with the disk driver serving "Hard Disk", a "Memory Card" model and a
# "Serial Camera" model (its card through the disk driver, the camera itself
# through the serial driver on COM1). Also
# makes the folder junction C:\OrvexView.
# The codec library is loaded by name, so it goes where every program finds it.
# Usage: install/register.sh <orvexview.dll> <diskcam.dll> [serialcam.dll]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

# .reg strings double their backslashes; sed's replacement halves them again.
reg_path() { winepath -w "$(readlink -f "$1")" 2>/dev/null | sed 's/\\/\\\\\\\\/g'; }
module=$(reg_path "$1")
driver=$(reg_path "$2")
serial=$(reg_path "${3:-$(dirname "$2")/serialcam.dll}")

reg=$(mktemp --suffix=.reg)
trap 'rm -f "$reg"' EXIT
sed -e "s|@MODULE_PATH@|$module|g" -e "s|@DRIVER_PATH@|$driver|g" -e "s|@SERIAL_DRIVER_PATH@|$serial|g" "$here/orvexview.reg.in" > "$reg"
wine regedit /S "$(winepath -w "$reg")"

cp "$(dirname "$(readlink -f "$1")")/pixcodec.dll" "$WINEPREFIX/drive_c/windows/system32/"

junction="$WINEPREFIX/drive_c/OrvexView"
mkdir -p "$junction"
printf '[.ShellClassInfo]\r\nCLSID={7A3E91D0-5B2C-4E8F-9D61-2F0C8A4B7E13}\r\n' > "$junction/desktop.ini"
wine attrib +s 'C:\OrvexView' >/dev/null 2>&1
