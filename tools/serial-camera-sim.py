#!/usr/bin/env python3
"""A late-1990s serial camera on a pseudo-terminal, for testing hosts.

It serves the pictures of a card directory (DCIM/100XXXXX/*.JPG) over the
Sierra-family serial protocol, paces its bytes at the negotiated line speed and
can be told to misbehave. Standard library only.

Start:
  serial-camera-sim.py --card DIR --link PATH [options]
      starts `socat` for a pty pair, serves on one end, makes PATH a symlink
      to the other end and prints that end's /dev/pts path as the first line
      on stdout once the camera listens. The pair lives as long as the
      simulator does; hosts may open and close their end as often as they like.
  serial-camera-sim.py --card DIR --port TTY [options]
      serves on a terminal someone else made (one end of your own socat pair).

Protocol subset (what a host sees)
----------------------------------
Bytes on the line are 8N1. The camera powers up at 19200 bps.
Single-byte signals:   0x00 host's wake-up -> camera answers NAK (0x15) and
                       returns to 19200 bps; 0x06 ACK; 0x15 NAK (resend);
                       0x11 camera's "cannot do that" answer to a command.
Host command packet:   0x1b, 0x43 or 0x53, length (16-bit LE), payload,
                       checksum (16-bit LE sum of the payload bytes).
                       A bad checksum is answered with NAK; the host resends.
Camera data packet:    0x02 (more follow) or 0x03 (last), sequence byte,
                       length (16-bit LE, at most 2048), payload, checksum.
                       The host answers each with ACK, or NAK to get it again.
Payload commands:
  00 r v32   set integer register r to v          -> ACK
  01 r       get integer register r               -> one data packet, v32 LE
  02 a x     action a              -> ACK (accepted), then ENQ when done
  03 r s...  set string register r                -> ACK
  04 r       get string register r                -> data packets
Registers (integers unless noted):
  4  current picture (1-based, in the current folder)
  10 pictures in the current folder      11 pictures left (free space)
  12 size of the current picture         13 size of its thumbnail
  14 (string) the current picture's bytes
  15 (string) its thumbnail: the JPEG stored as the EXIF thumbnail (IFD1)
  16 battery level    17 line speed: 1=9600 2=19200 3=38400 4=57600 5=115200
                      (the ACK goes out at the old speed, then the new applies)
  22, 25, 26, 27, 47 (strings) identity texts    28 free memory in bytes
  35, 51 and others   plain settings (read as stored, default 0)
  79 (string) file name of the current picture
  Texts (names, paths) go out with a terminating NUL; hosts rely on it.
  83 number of subfolders of the current folder; set to n (1-based) to pick one
  84 (string) get: the picked subfolder's name, or the current folder's path
     when none is picked; set: change folder ("\\DCIM\\100ABCDE")
Actions: 01 delete all pictures of the current folder, 07 delete the current
  picture, 04 end of session (back to 19200 bps), 02 capture is refused (0x11).

Failure options (each fires once per run unless said otherwise, during a
picture or thumbnail transfer, counted in payload bytes from the start of
that transfer):
  --drop-after N        stop mid-packet after N bytes and go silent, as if
                        switched off, for --off-seconds (default: for good);
                        then wake up fresh at 19200 bps.
  --corrupt-packet K    spoil one payload byte of the K-th picture or
                        thumbnail data packet of the run on its first sending
                        (1 = the first such packet; repeatable).
  --stall-after N       pause --stall-seconds (default 5) after N bytes, then
                        carry on as if nothing happened; in the first
                        --stall-times (default 1) transfers that get so far.
Other options: --log FILE (protocol trace), --pace-factor F (multiply the
line time, 0 = unpaced; default 1), --packet-size N (data payload per packet).
"""

import argparse
import os
import select
import signal
import subprocess
import sys
import termios
import time
import tty

ACK, NAK, ENQ, INVALID = 0x06, 0x15, 0x05, 0x11
SPEEDS = {1: 9600, 2: 19200, 3: 38400, 4: 57600, 5: 115200}
POWER_ON_SPEED = 19200


class LineDown(Exception):
    """The camera has gone silent mid-transfer (the drop failure)."""


def exif_thumbnail(jpeg):
    """Returns the JPEG bytes stored as IFD1's thumbnail of an EXIF JPEG, or b''."""
    pos = 2
    if jpeg[:2] != b"\xff\xd8":
        return b""
    while pos + 4 <= len(jpeg) and jpeg[pos] == 0xFF:
        marker = jpeg[pos + 1]
        size = int.from_bytes(jpeg[pos + 2:pos + 4], "big")
        if marker == 0xE1 and jpeg[pos + 4:pos + 10] == b"Exif\0\0":
            tiff = jpeg[pos + 10:pos + 2 + size]
            order = "little" if tiff[:2] == b"II" else "big"
            u16 = lambda o: int.from_bytes(tiff[o:o + 2], order)
            u32 = lambda o: int.from_bytes(tiff[o:o + 4], order)
            ifd0 = u32(4)
            ifd1 = u32(ifd0 + 2 + 12 * u16(ifd0))
            if not ifd1 or ifd1 + 2 > len(tiff):
                return b""
            offset = length = 0
            for i in range(u16(ifd1)):
                entry = ifd1 + 2 + 12 * i
                if u16(entry) == 0x0201:
                    offset = u32(entry + 8)
                elif u16(entry) == 0x0202:
                    length = u32(entry + 8)
            return bytes(tiff[offset:offset + length]) if length else b""
        if marker == 0xDA:
            break
        pos += 2 + size
    return b""


class Card:
    """The card as the camera sees it: a folder tree with pictures in it."""

    def __init__(self, root):
        self.root = os.path.abspath(root)
        self.folder = ""  # relative, '/'-separated; "" is the card's root

    def _dir(self, folder=None):
        folder = self.folder if folder is None else folder
        return os.path.join(self.root, *[p for p in folder.split("/") if p])

    def subfolders(self):
        path = self._dir()
        return sorted(n for n in os.listdir(path) if os.path.isdir(os.path.join(path, n)))

    def pictures(self):
        path = self._dir()
        return sorted(n for n in os.listdir(path)
                      if n.upper().endswith(".JPG") and os.path.isfile(os.path.join(path, n)))

    def change(self, text):
        text = text.replace("/", "\\")
        parts = [p for p in text.split("\\") if p]
        # A leading backslash starts from the root, anything else goes down
        # from the current folder; names match regardless of case, as on FAT.
        current = "" if text.startswith("\\") else self.folder
        for part in parts:
            names = {n.upper(): n for n in os.listdir(self._dir(current))
                     if os.path.isdir(os.path.join(self._dir(current), n))}
            if part.upper() not in names:
                return False
            current = (current + "/" + names[part.upper()]).lstrip("/")
        self.folder = current
        return True

    def path_text(self):
        return "\\" + "\\".join(p for p in self.folder.split("/") if p) + ("\\" if self.folder else "")

    def read(self, name):
        with open(os.path.join(self._dir(), name), "rb") as f:
            return f.read()

    def delete(self, name):
        os.remove(os.path.join(self._dir(), name))

    def free_bytes(self):
        st = os.statvfs(self.root)
        return min(st.f_bavail * st.f_frsize, 0x7FFFFFFF)


class Camera:
    def __init__(self, fd, card, opts, log):
        self.fd = fd
        self.card = card
        self.opts = opts
        self.log = log
        self.speed = POWER_ON_SPEED
        self.line_free_at = 0.0
        self.picture = 1
        self.folder_pick = 0
        self.settings = {}
        self.transfer_packets = 0
        self.corrupt = set(opts.corrupt_packet or [])
        self.drop_armed = opts.drop_after is not None
        self.stalls_left = opts.stall_times if opts.stall_after is not None else 0
        self.pending = bytearray()

    # -- line -------------------------------------------------------------
    def trace(self, text):
        if self.log:
            self.log.write("%.3f %s\n" % (time.monotonic(), text))
            self.log.flush()

    def send(self, data):
        """Writes bytes no faster than the line speed allows (10 bits a byte)."""
        byte_time = 10.0 / self.speed * self.opts.pace_factor
        view = memoryview(bytes(data))
        chunk = 64
        while view:
            now = time.monotonic()
            if self.line_free_at > now:
                time.sleep(self.line_free_at - now)
            piece = view[:chunk]
            written = 0
            while written < len(piece):
                select.select([], [self.fd], [], 1.0)
                try:
                    written += os.write(self.fd, piece[written:])
                except BlockingIOError:
                    pass
            self.line_free_at = max(self.line_free_at, time.monotonic()) + len(piece) * byte_time
            view = view[chunk:]

    def drain(self):
        """Waits until the bytes sent so far have left at the current speed."""
        now = time.monotonic()
        if self.line_free_at > now:
            time.sleep(self.line_free_at - now)

    def read_byte(self, timeout):
        if self.pending:
            return self.pending.pop(0)
        end = time.monotonic() + timeout if timeout is not None else None
        while True:
            left = None if end is None else max(0.0, end - time.monotonic())
            ready, _, _ = select.select([self.fd], [], [], left)
            if ready:
                try:
                    data = os.read(self.fd, 4096)
                except (BlockingIOError, InterruptedError):
                    continue
                except OSError:
                    # The other end is closed; wait for a host to open it again.
                    time.sleep(0.05)
                    data = b""
                if data:
                    self.pending.extend(data)
                    return self.pending.pop(0)
            if end is not None and time.monotonic() >= end:
                return None

    def read_exact(self, count, timeout):
        out = bytearray()
        while len(out) < count:
            b = self.read_byte(timeout)
            if b is None:
                return None
            out.append(b)
        return bytes(out)

    # -- packets ----------------------------------------------------------
    def send_signal(self, code):
        self.trace("-> %02x" % code)
        self.send(bytes([code]))

    def send_data(self, payload, transfer=False):
        """Sends payload as data packets, each acknowledged by the host.
        Returns False if the host stopped answering."""
        size = self.opts.packet_size
        chunks = [payload[i:i + size] for i in range(0, len(payload), size)] or [b""]
        offset = 0
        for seq, chunk in enumerate(chunks):
            last = seq == len(chunks) - 1
            packet = bytearray([0x03 if last else 0x02, seq & 0xFF])
            packet += len(chunk).to_bytes(2, "little") + chunk
            packet += (sum(chunk) & 0xFFFF).to_bytes(2, "little")
            if transfer:
                self.transfer_packets += 1
            first = True
            for attempt in range(8):
                wire = bytearray(packet)
                if first and transfer and self.transfer_packets in self.corrupt and chunk:
                    self.corrupt.discard(self.transfer_packets)
                    wire[4 + len(chunk) // 2] ^= 0x5A
                    self.trace("fail: corrupting packet %d" % self.transfer_packets)
                first = False
                self.trace("-> data %s seq %d len %d" % ("end" if last else "more", seq, len(chunk)))
                if transfer:
                    self.send_with_failures(wire, offset)
                else:
                    self.send(wire)
                answer = self.read_byte(self.opts.ack_timeout)
                if answer == ACK:
                    break
                if answer == NAK:
                    self.trace("<- NAK, sending again")
                    continue
                if answer is None:
                    self.trace("host silent after data packet; transfer abandoned")
                    return False
                # A new command: the host has moved on.
                self.pending.insert(0, answer)
                self.trace("<- %02x instead of ACK; transfer abandoned" % answer)
                return False
            else:
                return False
            offset += len(chunk)
        return True

    def send_with_failures(self, wire, offset):
        """Sends one packet of a picture transfer; offset counts its payload's
        place in the transfer, so the failures strike at the requested byte."""
        header = 4
        for threshold_name in ("drop_after", "stall_after"):
            armed = self.drop_armed if threshold_name == "drop_after" else self.stalls_left > 0
            threshold = getattr(self.opts, threshold_name)
            payload_len = len(wire) - header - 2
            if armed and offset <= threshold < offset + payload_len:
                cut = header + threshold - offset
                self.send(wire[:cut])
                self.drain()
                if threshold_name == "drop_after":
                    self.drop_armed = False
                    raise LineDown()
                self.stalls_left -= 1
                self.trace("fail: stalling %.1f s at byte %d" % (self.opts.stall_seconds, threshold))
                time.sleep(self.opts.stall_seconds)
                self.line_free_at = time.monotonic()
                self.send(wire[cut:])
                return
        self.send(wire)

    # -- commands ---------------------------------------------------------
    def current_name(self):
        names = self.card.pictures()
        if 1 <= self.picture <= len(names):
            return names[self.picture - 1]
        return None

    def get_int(self, reg):
        names = self.card.pictures()
        name = self.current_name()
        if reg == 4:
            return self.picture
        if reg == 10:
            return len(names)
        if reg == 11:
            return self.card.free_bytes() // 300000
        if reg == 12:
            return len(self.card.read(name)) if name else None
        if reg == 13:
            return len(exif_thumbnail(self.card.read(name))) if name else None
        if reg == 16:
            return 100
        if reg == 17:
            return next(k for k, v in SPEEDS.items() if v == self.speed)
        if reg == 28:
            return self.card.free_bytes()
        if reg == 83:
            return len(self.card.subfolders())
        return self.settings.get(reg, 0)

    def get_string(self, reg):
        name = self.current_name()
        if reg == 14:
            return self.card.read(name) if name else None
        if reg == 15:
            return exif_thumbnail(self.card.read(name)) if name else None
        if reg == 79:
            return name.encode("ascii", "replace") + b"\0" if name else None
        if reg == 84:
            subs = self.card.subfolders()
            if 1 <= self.folder_pick <= len(subs):
                return subs[self.folder_pick - 1].encode("ascii", "replace") + b"\0"
            return self.card.path_text().encode("ascii") + b"\0"
        texts = {22: b"SERIALSIM\0", 25: b"SIM-0001\0", 26: b"1.0\0", 27: b"Serial camera simulator\0"}
        return texts.get(reg)

    def command(self, payload):
        if not payload:
            return self.send_signal(INVALID)
        op = payload[0]
        reg = payload[1] if len(payload) > 1 else 0
        if op == 0x00 and len(payload) >= 6:
            value = int.from_bytes(payload[2:6], "little")
            self.trace("<- set int %d = %d" % (reg, value))
            if reg == 17:
                if value not in SPEEDS:
                    return self.send_signal(INVALID)
                self.send_signal(ACK)
                self.drain()
                self.speed = SPEEDS[value]
                self.trace("line speed now %d" % self.speed)
                return
            if reg == 4:
                self.picture = value
            elif reg == 83:
                self.folder_pick = value
            else:
                self.settings[reg] = value
            return self.send_signal(ACK)
        if op == 0x01:
            value = self.get_int(reg)
            self.trace("<- get int %d -> %s" % (reg, value))
            if value is None:
                return self.send_signal(INVALID)
            return self.send_data(value.to_bytes(4, "little"))
        if op == 0x02:
            self.trace("<- action %d" % reg)
            if reg == 0x07:  # delete the current picture
                name = self.current_name()
                if not name:
                    return self.send_signal(INVALID)
                self.send_signal(ACK)
                self.card.delete(name)
                self.trace("deleted %s" % name)
                return self.send_signal(ENQ)
            if reg == 0x01:  # delete all in the current folder
                self.send_signal(ACK)
                for name in self.card.pictures():
                    self.card.delete(name)
                return self.send_signal(ENQ)
            if reg == 0x04:  # end of session
                self.send_signal(ACK)
                self.drain()
                self.speed = POWER_ON_SPEED
                return
            return self.send_signal(INVALID)
        if op == 0x03:
            text = bytes(payload[2:]).rstrip(b"\0").decode("ascii", "replace")
            self.trace("<- set string %d = %r" % (reg, text))
            if reg == 84:
                self.folder_pick = 0
                self.picture = 1
                return self.send_signal(ACK if self.card.change(text) else INVALID)
            return self.send_signal(ACK)
        if op == 0x04:
            data = self.get_string(reg)
            self.trace("<- get string %d -> %s" % (reg, "none" if data is None else "%d bytes" % len(data)))
            if data is None:
                return self.send_signal(INVALID)
            self.send_data(data, transfer=reg in (14, 15))
            return
        self.trace("<- unknown command %s" % bytes(payload).hex())
        self.send_signal(INVALID)

    # -- main loop --------------------------------------------------------
    def serve(self):
        while True:
            try:
                self.serve_one()
            except LineDown:
                self.trace("fail: line dropped; camera off for %s s" % self.opts.off_seconds)
                self.switched_off()

    def switched_off(self):
        end = None if self.opts.off_seconds is None else time.monotonic() + self.opts.off_seconds
        while end is None or time.monotonic() < end:
            left = 1.0 if end is None else max(0.0, min(1.0, end - time.monotonic()))
            self.read_byte(left)  # hear nothing
        self.pending.clear()
        self.speed = POWER_ON_SPEED
        self.line_free_at = 0.0
        self.trace("camera on again at %d bps" % self.speed)

    def serve_one(self):
        b = self.read_byte(None)
        if b == 0x00:
            self.trace("<- wake-up")
            self.speed = POWER_ON_SPEED
            self.line_free_at = 0.0
            return self.send_signal(NAK)
        if b in (ACK, NAK, ENQ):
            self.trace("<- stray %02x" % b)
            return
        if b != 0x1B:
            self.trace("<- noise %02x" % b)
            return
        header = self.read_exact(3, 1.0)
        if header is None:
            self.trace("<- truncated header")
            return
        length = header[1] | header[2] << 8
        body = self.read_exact(length + 2, 2.0 + length * 20.0 / self.speed)
        if body is None:
            self.trace("<- truncated packet")
            return self.send_signal(NAK)
        payload, checksum = body[:length], body[length] | body[length + 1] << 8
        if sum(payload) & 0xFFFF != checksum:
            self.trace("<- bad checksum")
            return self.send_signal(NAK)
        self.command(payload)


def die_with_parent():
    """Lets socat end with us even if we are killed outright (Linux)."""
    try:
        import ctypes
        ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG
    except (OSError, AttributeError):
        pass


def start_socat(link):
    """Makes a pty pair with socat; returns (process, camera end, host end)."""
    base = os.path.abspath(link)
    cam_link = base + ".camera"
    for p in (base, cam_link):
        if os.path.islink(p):
            os.remove(p)
    proc = subprocess.Popen(
        ["socat", "-d", "-d",
         "pty,raw,echo=0,link=%s" % cam_link,
         "pty,raw,echo=0,link=%s" % base],
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
        preexec_fn=die_with_parent)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        if os.path.islink(cam_link) and os.path.islink(base):
            break
        if proc.poll() is not None:
            raise SystemExit("socat ended early: %s" % proc.stderr.read().decode(errors="replace"))
        time.sleep(0.02)
    else:
        proc.kill()
        raise SystemExit("socat made no pty pair")
    return proc, cam_link, base


def open_port(path):
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    tty.setraw(fd)
    attrs = termios.tcgetattr(fd)
    attrs[3] &= ~termios.ECHO
    termios.tcsetattr(fd, termios.TCSANOW, attrs)
    return fd


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--card", required=True, help="card root (holds DCIM)")
    where = parser.add_mutually_exclusive_group(required=True)
    where.add_argument("--port", help="serve on this existing terminal")
    where.add_argument("--link", help="make a socat pty pair; host end linked here")
    parser.add_argument("--log", help="protocol trace file")
    parser.add_argument("--pace-factor", type=float, default=1.0)
    parser.add_argument("--packet-size", type=int, default=2048)
    parser.add_argument("--ack-timeout", type=float, default=5.0)
    parser.add_argument("--drop-after", type=int)
    parser.add_argument("--off-seconds", type=float)
    parser.add_argument("--corrupt-packet", type=int, action="append")
    parser.add_argument("--stall-after", type=int)
    parser.add_argument("--stall-seconds", type=float, default=5.0)
    parser.add_argument("--stall-times", type=int, default=1)
    opts = parser.parse_args()
    if not 1 <= opts.packet_size <= 2048:
        parser.error("--packet-size must be 1..2048")
    if not os.path.isdir(opts.card):
        parser.error("no card directory %s" % opts.card)

    socat = None

    def stop(*_):
        if socat and socat.poll() is None:
            socat.terminate()
        sys.exit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    signal.signal(signal.SIGHUP, stop)
    try:
        if opts.link:
            socat, cam_end, host_end = start_socat(opts.link)
            fd = open_port(cam_end)
            print(os.path.realpath(host_end), flush=True)
        else:
            fd = open_port(opts.port)
        log = open(opts.log, "a") if opts.log else None
        Camera(fd, Card(opts.card), opts, log).serve()
    finally:
        if socat and socat.poll() is None:
            socat.terminate()


if __name__ == "__main__":
    main()
