#!/usr/bin/env bash
# Keeps the PTP/IP camera simulator honest: gphoto2, a camera client none of
# us wrote, talks to it over TCP as a Wi-Fi camera and must list its files,
# download a small picture, a picture over 1 MiB (fetched in parts) and a
# thumbnail identical to the card's, delete one, and list again through a
# 20 MB/s link.
# Usage: tests/ptpip-camera-check.sh   (native; needs gphoto2 and python3)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/ptpipcam-check.XXXXXX")
sim_pid=""
stop_sim() {
    if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
        kill "$sim_pid" 2>/dev/null || true
        for _ in $(seq 20); do kill -0 "$sim_pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$sim_pid" 2>/dev/null || true
    fi
    sim_pid=""
}
cleanup() { stop_sim; rm -rf "$work"; }
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() {
    echo "FAIL: $*" >&2
    if [ -f "$work/sim.log" ]; then echo "--- simulator trace (tail)" >&2; tail -n 30 "$work/sim.log" >&2; fi
    exit 1
}
for tool in gphoto2 python3 cmp timeout; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (tools/install-deps.sh)"
done

# A small card made here: flat grey baseline JPEGs with an EXIF date and a
# real EXIF (IFD1) thumbnail; IMG_0002 is padded with comment segments to
# pass 1 MiB. Each picture's thumbnail is also written out for comparing.
card="$work/card"
timeout 30 python3 - "$card" <<'EOF' || fail "could not make the card"
import math, os, random, struct, sys

def be16(v): return v.to_bytes(2, "big")

def segment(marker, body): return bytes([0xFF, marker]) + be16(len(body) + 2) + body

def jpeg(w, h, extra=b""):
    # One-symbol Huffman tables (DC difference 0, AC end-of-block): every
    # 8x8 block is four zero bits, a valid mid-grey picture.
    table = bytes([0, 1] + [0] * 14) + b"\0"
    blocks = math.ceil(w / 8) * math.ceil(h / 8)
    scan = bytes(blocks * 4 // 8) + (b"\x0f" if blocks % 2 else b"")
    return (b"\xff\xd8" + extra
            + segment(0xDB, b"\0" + bytes([1] * 64))
            + segment(0xC0, bytes([8]) + be16(h) + be16(w) + bytes([1, 1, 0x11, 0]))
            + segment(0xC4, b"\x00" + table) + segment(0xC4, b"\x10" + table)
            + segment(0xDA, bytes([1, 1, 0, 0, 63, 0])) + scan + b"\xff\xd9")

def exif(date, thumb):
    def entry(tag, typ, count, value): return struct.pack("<HHII", tag, typ, count, value)
    date_at, thumb_at = 98, 118
    ifd0 = struct.pack("<H", 2) + entry(0x0132, 2, 20, date_at) + entry(0x8769, 4, 1, 38) + struct.pack("<I", 56)
    exif_ifd = struct.pack("<H", 1) + entry(0x9003, 2, 20, date_at) + struct.pack("<I", 0)
    ifd1 = (struct.pack("<H", 3) + entry(0x0103, 3, 1, 6) + entry(0x0201, 4, 1, thumb_at)
            + entry(0x0202, 4, 1, len(thumb)) + struct.pack("<I", 0))
    tiff = b"II*\0" + struct.pack("<I", 8) + ifd0 + exif_ifd + ifd1 + date.encode() + b"\0" + thumb
    assert len(tiff) == thumb_at + len(thumb)
    return segment(0xE1, b"Exif\0\0" + tiff)

rng = random.Random(15740)
card = sys.argv[1]
pictures = [("100ORVEX", "IMG_0001.JPG", 640, 480, "2024:05:01 10:00:01", 0),
            ("100ORVEX", "IMG_0002.JPG", 800, 600, "2024:05:01 10:00:02", 21),
            ("100ORVEX", "IMG_0003.JPG", 320, 240, "2024:05:01 10:00:03", 0),
            ("101ORVEX", "IMG_0004.JPG", 640, 480, "2024:05:02 11:30:00", 0)]
for folder, name, w, h, date, pads in pictures:
    os.makedirs(os.path.join(card, "DCIM", folder), exist_ok=True)
    thumb = jpeg(160, 120, segment(0xFE, name.encode()))
    padding = b"".join(segment(0xFE, bytes(rng.getrandbits(8) for _ in range(65533)))
                       for _ in range(pads))
    with open(os.path.join(card, "DCIM", folder, name), "wb") as f:
        f.write(jpeg(w, h, exif(date, thumb) + padding))
    with open(os.path.join(card, "..", name + ".thumb"), "wb") as f:
        f.write(thumb)
EOF
big=$(stat -c %s "$card/DCIM/100ORVEX/IMG_0002.JPG")
[ "$big" -gt 1048576 ] || fail "IMG_0002.JPG is only $big bytes"

# gphoto2 keeps settings (and a PTP/IP GUID) under $HOME; keep them out of the real one.
export HOME="$work/home"
mkdir -p "$HOME"

start_sim() {
    : >"$work/sim.out"
    timeout -k 5 120 python3 "$root/tools/ptpip-camera-sim.py" --card "$card" --port 0 \
        --log "$work/sim.log" "$@" >"$work/sim.out" 2>"$work/sim.err" &
    sim_pid=$!
    for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; kill -0 "$sim_pid" 2>/dev/null || break; sleep 0.1; done
    address=$(head -n1 "$work/sim.out" 2>/dev/null || true)
    [ -n "$address" ] || fail "the simulator gave no address: $(cat "$work/sim.err")"
    echo "simulator on $address $*"
}
# Both connections of a session go to the simulator's one port.
gp() { timeout -k 5 30 gphoto2 --port "ptpip:$address:${address##*:}" "$@"; }
store=/store_00010001

list_files() {
    gp -L >"$work/list.txt" 2>&1 || { cat "$work/list.txt" >&2; fail "gphoto2 -L"; }
    awk '/^#[0-9]+ /{print $2}' "$work/list.txt"
}

start_sim
expected=$(cd "$card/DCIM" && ls */* | xargs -n1 basename)
listed=$(list_files)
[ "$listed" = "$expected" ] || { cat "$work/list.txt" >&2; fail "gphoto2 lists [$listed], the card has [$expected]"; }
grep '^#' "$work/list.txt" | sed 's/^/  /'
grep -q "^#1 *IMG_0001.JPG .* 640x480 *image/jpeg" "$work/list.txt" || fail "no pixel size in the listing"

get() {   # get <option> <number> <card file> <expected bytes file>
    rm -rf "$work/got"; mkdir -p "$work/got"
    gp --folder "$store/DCIM/100ORVEX" "$1" "$2" --filename "$work/got/%f.%C" >"$work/get.txt" 2>&1 \
        || { cat "$work/get.txt" >&2; fail "gphoto2 $1 $2"; }
    got="$work/got/$(ls "$work/got")"
    cmp "$got" "$4" || fail "$1 $2 differs from the card's $3"
    echo "$1 $2 ($3): $(stat -c %s "$got") bytes identical"
}
get --get-file 1 IMG_0001.JPG "$card/DCIM/100ORVEX/IMG_0001.JPG"
get --get-file 2 IMG_0002.JPG "$card/DCIM/100ORVEX/IMG_0002.JPG"
grep -q "op=0x101b" "$work/sim.log" || fail "the picture over 1 MiB was not fetched with GetPartialObject"
get --get-thumbnail 3 "IMG_0003.JPG's EXIF thumbnail" "$work/IMG_0003.JPG.thumb"

gp --folder "$store/DCIM/101ORVEX" --delete-file 1 >"$work/delete.txt" 2>&1 \
    || { cat "$work/delete.txt" >&2; fail "gphoto2 --delete-file"; }
[ ! -e "$card/DCIM/101ORVEX/IMG_0004.JPG" ] || fail "IMG_0004.JPG is still on the card"
grep -q "evt -> Event code=0x4003" "$work/sim.log" || fail "no ObjectRemoved event after the delete"
listed=$(list_files)
[ "$listed" = "$(printf 'IMG_0001.JPG\nIMG_0002.JPG\nIMG_0003.JPG')" ] || fail "after the delete gphoto2 lists [$listed]"
echo "deleted IMG_0004.JPG; the card and the listing no longer hold it"
kill -0 "$sim_pid" 2>/dev/null || fail "the simulator ended early"
stop_sim

# The same through a Wi-Fi-like 20 MB/s link: pacing must not upset the host.
start_sim --rate 20
listed=$(list_files)
[ "$(echo $listed)" = "IMG_0001.JPG IMG_0002.JPG IMG_0003.JPG" ] || fail "at 20 MB/s gphoto2 lists [$listed]"
echo "listing at 20 MB/s: $(echo $listed)"
begin=$(date +%s.%N)
get --get-file 2 IMG_0002.JPG "$card/DCIM/100ORVEX/IMG_0002.JPG"
python3 - "$big" "$begin" "$(date +%s.%N)" <<'EOF' || fail "IMG_0002.JPG came faster than 20 MB/s allows"
import sys
size, elapsed = int(sys.argv[1]), float(sys.argv[3]) - float(sys.argv[2])
print("  %d bytes in %.2f s with gphoto2's start-up (the link alone needs %.2f s)"
      % (size, elapsed, size / 20e6))
sys.exit(0 if elapsed >= size / 20e6 else 1)
EOF
kill -0 "$sim_pid" 2>/dev/null || fail "the simulator ended early"
stop_sim

# What gphoto2 never does, from a small client of our own: probes on both
# connections, a download cancelled by a Cancel packet and one by a
# CancelTransaction event, then a link dropped mid-picture and a new session.
start_sim --rate 20 --packet-size 16384 --drop-after 400000
timeout 30 python3 - "$address" "$card/DCIM/100ORVEX/IMG_0002.JPG" <<'EOF' || fail "probe, cancel or reconnection"
import socket, struct, sys, time
host, port = sys.argv[1].rsplit(":", 1)
picture = open(sys.argv[2], "rb").read()

def packet(ptype, payload=b""): return struct.pack("<II", 8 + len(payload), ptype) + payload

class Host:
    def __init__(self):
        self.cmd = socket.create_connection((host, int(port)), timeout=5)
        self.cmd.sendall(packet(1, bytes(16) + "check\0".encode("utf-16-le") + struct.pack("<I", 0x10000)))
        ptype, ack = self.read(self.cmd)
        assert ptype == 2, ptype
        self.evt = socket.create_connection((host, int(port)), timeout=5)
        self.evt.sendall(packet(3, ack[:4]))
        assert self.read(self.evt)[0] == 4
        self.tid = 0
        assert self.op(0x1002, 1)[0] == 0x2001

    def read(self, sock):
        def exactly(n):
            b = b""
            while len(b) < n:
                chunk = sock.recv(n - len(b))
                if not chunk:
                    raise EOFError("closed")
                b += chunk
            return b
        length, ptype = struct.unpack("<II", exactly(8))
        return ptype, exactly(length - 8)

    def op(self, code, *params, cancel=None):
        self.tid += 1
        tid = self.tid
        self.cmd.sendall(packet(6, struct.pack("<IHI", 1, code, tid)
                                + b"".join(struct.pack("<I", p) for p in params)))
        data, cancelled = b"", None
        while True:
            ptype, payload = self.read(self.cmd)
            if ptype == 7:
                code, rtid = struct.unpack_from("<HI", payload)
                assert rtid == tid, (rtid, tid)
                return code, data, cancelled and time.monotonic() - cancelled
            assert ptype in (9, 10, 12), ptype
            assert not (ptype == 12 and cancelled), "End Data after a cancel"
            if ptype != 9:
                data += payload[4:]
            if ptype == 10 and cancel and cancelled is None and len(data) >= 100000:
                cancelled = time.monotonic()
                if cancel == "packet":
                    self.cmd.sendall(packet(11, struct.pack("<I", tid)))
                else:
                    self.evt.sendall(packet(8, struct.pack("<HI", 0x4001, tid)))

h = Host()
for name, sock in (("event", h.evt), ("command", h.cmd)):
    sock.sendall(packet(13))
    assert h.read(sock)[0] == 14, name
print("probe answered on the event and the command connection")
for how in ("packet", "event"):
    code, data, after = h.op(0x1009, 4, cancel=how)
    assert code == 0x201F and len(data) < len(picture), (hex(code), len(data))
    assert after < 0.05, after
    print("cancel by %s: Transaction_Cancelled %.1f ms after it, %d of %d bytes sent"
          % (how, after * 1000, len(data), len(picture)))
assert h.op(0x1008, 999)[0] == 0x2009
h = Host()    # the drop counts each session's bytes from nought
try:
    h.op(0x1009, 4)
    sys.exit("the link was not dropped")
except (EOFError, ConnectionError):
    pass
code, data, _ = Host().op(0x1009, 4)
assert code == 0x2001 and data == picture
print("link dropped mid-picture; a new session brings all %d bytes" % len(data))
EOF
kill -0 "$sim_pid" 2>/dev/null || fail "the simulator ended early"
echo "PASS"
