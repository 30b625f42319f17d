#!/usr/bin/env bash
# Runs tests at 192 DPI: Wine gives a program the LogPixels set when it starts.
# Usage (inside tools/wine-session.sh): tests/high-dpi.sh <test program> <gtest filter>
set -euo pipefail
key='HKCU\Control Panel\Desktop'
wine reg add "$key" /v LogPixels /t REG_DWORD /d 192 /f >/dev/null 2>&1
trap 'wine reg delete "$key" /v LogPixels /f >/dev/null 2>&1' EXIT
wine "$1" --gtest_filter="$2"
