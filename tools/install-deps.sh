#!/usr/bin/env bash
# Installs the build and test tools that are missing (Debian packages, as root).
set -euo pipefail
# The i686 compiler and wine32 build and run the 32-bit DLLs and their tests.
packages=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 fonts-wine xvfb
          g++-mingw-w64-i686-posix binutils-mingw-w64-i686 wine32:i386
          cmake make googletest nasm ghostscript python3 gcc libc6-dev gphoto2 socat nsis)
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing=()
for p in "${packages[@]}"; do have "$p" || missing+=("$p"); done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" != 0 ]; then
    echo "missing packages (install them as root): ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# wine32 is an i386 package: the architecture must be known before the update.
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
