#!/usr/bin/env bash
# Keeps the serial camera simulator honest: gphoto2, a camera client none of
# us wrote, talks to it over a socat pty pair as a Sierra-protocol camera and
# must list its folders and files, download a picture and a thumbnail
# identical to the card's, and delete one.
# Usage: tests/serial-camera-check.sh <make-card.exe | card directory>
# (make-card.exe runs through wine, so call it inside tools/wine-session.sh;
# a card directory is copied and used as it is.)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source_card=${1:?usage: serial-camera-check.sh <make-card.exe | card directory>}
model="Olympus C-2000Z"   # one of gphoto2's serial models served by its Sierra driver
speed=115200

work=$(mktemp -d "${TMPDIR:-/tmp}/serialcam-check.XXXXXX")
sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
        kill "$sim_pid" 2>/dev/null || true
        for _ in $(seq 20); do kill -0 "$sim_pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() {
    echo "FAIL: $*" >&2
    if [ -f "$work/sim.log" ]; then echo "--- simulator trace (tail)" >&2; tail -n 30 "$work/sim.log" >&2; fi
    exit 1
}
for tool in gphoto2 socat python3 cc cmp; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (tools/install-deps.sh)"
done

# A small card: four 640x480 pictures, two folders.
card="$work/card"
if [ -d "$source_card" ]; then
    cp -r "$source_card" "$card"
else
    command -v wine >/dev/null || fail "wine is needed to run $source_card"
    timeout -k 5 60 wine "$source_card" "$(winepath -w "$card" 2>/dev/null)" 4 640 >/dev/null 2>&1 \
        || fail "make-card did not make a card"
fi
[ -d "$card/DCIM" ] || fail "no DCIM folder in the card"

# Linux ptys have no modem lines; gphoto2 raises DTR and gives up when it cannot.
timeout 60 cc -shared -fPIC -O1 -o "$work/pty-modem-lines.so" "$root/tools/pty-modem-lines.c" -ldl \
    || fail "could not build the modem-line helper"

# The picture download's second packet arrives spoiled once; gphoto2 must
# notice and have it sent again.
timeout -k 5 120 python3 "$root/tools/serial-camera-sim.py" --card "$card" --link "$work/line" \
    --corrupt-packet 2 --log "$work/sim.log" >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; kill -0 "$sim_pid" 2>/dev/null || break; sleep 0.1; done
port=$(head -n1 "$work/sim.out" 2>/dev/null || true)
[ -n "$port" ] && [ -e "$port" ] || fail "the simulator gave no port: $(cat "$work/sim.err")"
echo "simulator on $port"

# gphoto2 keeps settings under $HOME; keep them out of the real one.
export HOME="$work/home"
mkdir -p "$HOME"
# gphoto2 traps SIGTERM to cancel cleanly and can spin on a dead line, hence -k.
gp() {
    LD_PRELOAD="$work/pty-modem-lines.so" timeout -k 5 40 \
        gphoto2 --port "serial:$port" --camera "$model" --speed "$speed" "$@"
}

# Folders.
gp --list-folders >"$work/folders.txt" 2>&1 || { cat "$work/folders.txt" >&2; fail "gphoto2 --list-folders"; }
for dir in "$card"/DCIM/*/; do
    name=$(basename "$dir")
    grep -qx " - $name" "$work/folders.txt" || { cat "$work/folders.txt" >&2; fail "folder $name not listed"; }
done
echo "folders: $(grep -c '^ - ' "$work/folders.txt") listed"

# Files, folder by folder, in the card's order.
list_files() {
    local folder=$1
    gp --folder "$folder" --list-files >"$work/files.txt" 2>&1 \
        || { cat "$work/files.txt" >&2; fail "gphoto2 --list-files in $folder"; }
    awk '/^#[0-9]+ /{print $2}' "$work/files.txt"
}
for dir in "$card"/DCIM/*/; do
    name=$(basename "$dir")
    expected=$(cd "$dir" && ls | { grep -i "\.jpg$" || true; } | sort)
    listed=$(list_files "/DCIM/$name")
    [ "$listed" = "$expected" ] || fail "files in $name: got [$listed], card has [$expected]"
    echo "files in /DCIM/$name: $(echo $listed)"
done

# A full picture, paced at the line speed.
folder=$(basename "$(ls -d "$card"/DCIM/*/ | head -n1)")
picture=$(cd "$card/DCIM/$folder" && ls | sort | sed -n 2p)
mkdir -p "$work/got"
start=$(date +%s.%N)
gp --folder "/DCIM/$folder" --get-file 2 --filename "$work/got/%f.%C" >"$work/get.txt" 2>&1 \
    || { cat "$work/get.txt" >&2; fail "gphoto2 --get-file"; }
elapsed=$(python3 -c 'import sys; print(float(sys.argv[1]) - float(sys.argv[2]))' "$(date +%s.%N)" "$start")
got=$(ls "$work/got")
cmp "$work/got/$got" "$card/DCIM/$folder/$picture" || fail "$picture differs from the card's"
grep -q "fail: corrupting packet 2" "$work/sim.log" && grep -q "<- NAK, sending again" "$work/sim.log" \
    || fail "the spoiled packet was not asked for again"
size=$(stat -c %s "$card/DCIM/$folder/$picture")
python3 - "$size" "$elapsed" "$speed" <<'EOF' || fail "the picture came faster than the line allows"
import sys
size, elapsed, speed = int(sys.argv[1]), float(sys.argv[2]), int(sys.argv[3])
line = size * 10 / speed
print("picture: %d bytes identical, %.1f s (line time %.1f s), one spoiled packet resent"
      % (size, elapsed, line))
sys.exit(0 if elapsed >= 0.9 * line else 1)
EOF

# Its thumbnail: the JPEG the picture carries as its EXIF thumbnail. Found
# here without parsing IFDs: the second JPEG start inside the APP1 segment.
python3 - "$card/DCIM/$folder/$(cd "$card/DCIM/$folder" && ls | sort | sed -n 1p)" "$work/thumb-card.jpg" <<'EOF' \
    || fail "the card's picture has no EXIF thumbnail"
import sys
data = open(sys.argv[1], "rb").read()
assert data[2:4] == b"\xff\xe1", "no APP1 first"
app1 = data[4:4 + int.from_bytes(data[4:6], "big")]
start = app1.index(b"\xff\xd8")
end = app1.rindex(b"\xff\xd9") + 2
open(sys.argv[2], "wb").write(app1[start:end])
EOF
rm -rf "$work/got"; mkdir -p "$work/got"
gp --folder "/DCIM/$folder" --get-thumbnail 1 --filename "$work/got/%f.%C" >"$work/thumb.txt" 2>&1 \
    || { cat "$work/thumb.txt" >&2; fail "gphoto2 --get-thumbnail"; }
thumb="$work/got/$(ls "$work/got")"
if ! cmp -s "$thumb" "$work/thumb-card.jpg"; then
    # gphoto2 2.5.x at times writes a serial-Sierra thumbnail to its file
    # twice: as it arrives, then again when its driver hands the whole back.
    cat "$work/thumb-card.jpg" "$work/thumb-card.jpg" | cmp -s - "$thumb" \
        || fail "the thumbnail differs from the card's EXIF thumbnail"
    echo "thumbnail: $(stat -c %s "$work/thumb-card.jpg") bytes identical (saved twice over by gphoto2)"
else
    echo "thumbnail: $(stat -c %s "$thumb") bytes identical"
fi

# Deleting the first picture of the last folder.
last=$(basename "$(ls -d "$card"/DCIM/*/ | tail -n1)")
victim=$(cd "$card/DCIM/$last" && ls | sort | head -n1)
keep=$(cd "$card/DCIM/$last" && ls | sort | tail -n +2)
gp --folder "/DCIM/$last" --delete-file 1 >"$work/delete.txt" 2>&1 \
    || { cat "$work/delete.txt" >&2; fail "gphoto2 --delete-file"; }
[ ! -e "$card/DCIM/$last/$victim" ] || fail "$victim is still on the card"
listed=$(list_files "/DCIM/$last")
[ "$listed" = "$keep" ] || fail "after deleting $victim gphoto2 lists [$listed], expected [$keep]"
echo "deleted $victim; /DCIM/$last now holds: $(echo $listed)"

kill -0 "$sim_pid" 2>/dev/null || fail "the simulator ended early"
echo "PASS"
