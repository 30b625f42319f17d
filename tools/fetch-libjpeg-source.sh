#!/usr/bin/env bash
# Unpacks Debian's libjpeg-turbo source package into $1 (once). Uses a private
# apt list of the machine's own Debian sources turned into deb-src entries, so
# the system's apt set-up is left alone.
set -euo pipefail
dest=$1
[ -f "$dest/.unpacked" ] && exit 0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/sources.list.d" "$work/lists/partial"
for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && sed 's/^Types: deb$/Types: deb-src/' "$f" > "$work/sources.list.d/$(basename "$f")"
done
if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list > "$work/sources.list.d/main.list"
fi
opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$work/sources.list.d"
      -o "Dir::State::Lists=$work/lists" -o APT::Sandbox::User=root)
apt-get "${opts[@]}" update -qq
(cd "$work" && apt-get "${opts[@]}" source --download-only -qq libjpeg-turbo >/dev/null)
rm -rf "$dest"
mkdir -p "$dest"
tar -xzf "$work"/libjpeg-turbo_*.orig.tar.gz -C "$dest" --strip-components=1
touch "$dest/.unpacked"
