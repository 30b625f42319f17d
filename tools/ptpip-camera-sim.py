#!/usr/bin/env python3
"""A Wi-Fi camera speaking PTP/IP (PTP over TCP), for testing hosts.

It serves the pictures of a card directory (DCIM/<folders>/*) as one PTP
storage, on TCP port 15740 by default, and can be told to misbehave.
Standard library only.

Start:
  ptpip-camera-sim.py --card DIR [--host H] [--port P] [options]
      listens on H:P (default 127.0.0.1:15740; port 0 picks a free one) and
      prints "HOST:PORT" as the first line on stdout once it listens. Both
      connections of a session (command/data and event) go to that port.
      Sessions may follow one another for as long as the simulator runs; a
      new Init Command Request while a session is open drops the old one (a
      host reconnecting after losing the link).

PTP/IP packets (all integers little-endian)
-------------------------------------------
Every packet: u32 length (of the whole packet, header included), u32 type,
then the type's payload:
   1 Init Command Request   host GUID[16], friendly name (UTF-16LE, NUL
                            terminated), u32 protocol version
   2 Init Command Ack       u32 connection number, camera GUID[16], camera
                            name (UTF-16LE, NUL), u32 version 0x00010000
   3 Init Event Request     u32 connection number (from the Command Ack)
   4 Init Event Ack         (empty)
   5 Init Fail              u32 reason (1 rejected, 2 busy, 3 unspecified)
   6 Operation Request      u32 data phase info (1 none or camera->host,
                            2 host->camera), u16 operation code,
                            u32 transaction id, up to five u32 parameters
   7 Operation Response     u16 response code, u32 transaction id, u32
                            parameters
   8 Event                  u16 event code, u32 transaction id, u32 params
   9 Start Data             u32 transaction id, u64 total data length
  10 Data                   u32 transaction id, data bytes
  11 Cancel                 u32 transaction id
  12 End Data               u32 transaction id, the last data bytes
  13 Probe Request          (empty)
  14 Probe Response         (empty)
A data phase is Start Data, any number of Data packets (at most
--packet-size data bytes each) and one End Data carrying the rest (possibly
nothing); the Operation Response follows.

Cancelling: a host stops a camera->host data phase with a Cancel packet
(type 11, u32 transaction id) on either connection, or with a PTP
CancelTransaction event (type 8, code 0x4001, that transaction id) on the
event connection. The camera finishes the Data packet it is writing (so the
stream stays framed), sends no further Data and no End Data, and answers the
operation with Operation Response 0x201F (Transaction_Cancelled) carrying
the cancelled transaction id. A second cancel signal for a transaction that
is over is ignored. Host->camera data phases are read and thrown away (no
operation here takes data); a Cancel during one ends it with 0x201F too.

Probe Request (type 13) is answered with Probe Response (type 14) on the
connection it came on: the event connection, the command connection between
packets or while sending data, or a fresh connection that starts with one.

Events the camera sends (type 8 on the event connection):
  0x4002 ObjectAdded    transaction id 0xFFFFFFFF, param 1 the new handle
  0x4003 ObjectRemoved  transaction id of the DeleteObject, param 1 the handle

Operations
----------
  0x1001 GetDeviceInfo (works without a session)   0x1002 OpenSession
  0x1003 CloseSession      0x1004 GetStorageIDs     0x1005 GetStorageInfo
  0x1006 GetNumObjects     0x1007 GetObjectHandles  0x1008 GetObjectInfo
  0x1009 GetObject         0x100A GetThumb          0x100B DeleteObject
  0x101B GetPartialObject (handle, offset, max bytes; response param 1 is
         the number of bytes sent)
GetNumObjects/GetObjectHandles take storage id (0xFFFFFFFF all), format
(0 all) and parent (0 all objects, 0xFFFFFFFF the storage's root).
Objects: one storage 0x00010001; DCIM and every folder below it are
associations (0x3001, generic folder); JPEG files are EXIF/JPEG (0x3801) with
pixel size from the frame header, capture date from EXIF DateTimeOriginal
(else the file's time) and the EXIF IFD1 thumbnail (GetThumb sends exactly
those bytes); other files are undefined (0x3000). Answers: 0x2001 OK,
0x2003 Session_Not_Open, 0x2005 Operation_Not_Supported, 0x2006
Parameter_Not_Supported (DeleteObject of all), 0x2008 Invalid_StorageID,
0x2009 Invalid_ObjectHandle, 0x200F Access_Denied (a folder's bytes, deleting
a folder), 0x2010 No_Thumbnail_Present, 0x201A Invalid_ParentObject,
0x201D Invalid_Parameter, 0x201E Session_Already_Open, 0x2002 General_Error.
The manufacturer string is neutral so hosts take no vendor code paths.

Misbehaviour options
--------------------
  --drop-after N     in a session, after N data-phase bytes (payload of
                     Data/End Data packets) close both connections, mid-packet.
                     Fires in the first --drop-times sessions that get so far
                     (default 1; 0 = in every session).
  --stall-after N    in a session, after N data-phase bytes stop sending and
                     answer nothing (not even probes) without closing, for
                     --stall-seconds (default 0 = until the host hangs up),
                     then carry on; in the first --stall-times sessions
                     (default 1; 0 = every session).
  --rate MBPS        cap data-phase sending at MBPS * 10^6 bytes/s, paced in
                     pieces of about a millisecond.
  --new-every S      every S seconds copy a picture of the first folder to the
                     next IMG_NNNN.JPG there (numbered after the highest on the
                     card) and announce it (ObjectAdded); held back while stalled.
  --mutate SEED      spoil a fraction (--mutate-rate, default 0.05) of the
                     camera's packets and datasets, deterministically from SEED
                     and the session's number: packet lengths and types, Start
                     Data lengths, response codes and parameter counts, array
                     counts, string lengths and other dataset fields, truncated
                     datasets. The Init Acks and the first --mutate-skip packets
                     of a session (default 4) are left alone so a host gets
                     somewhat far.
  --log FILE         one line per packet (and per notable happening).
  --packet-size N    data bytes per Data packet (default 65536).
  --plain-port P     also serve plain TCP on P (0: a free port, printed as the
                     second stdout line "plain HOST:PORT"): a host sends a u64
                     count and gets that many of the card's bytes (benchmarks).
"""

import argparse
import os
import random
import re
import select
import shutil
import socket
import struct
import sys
import threading
import time
import traceback

STORAGE_ID = 0x00010001
FMT_UNDEFINED, FMT_ASSOCIATION, FMT_EXIF_JPEG = 0x3000, 0x3001, 0x3801

OK, GENERAL_ERROR, SESSION_NOT_OPEN = 0x2001, 0x2002, 0x2003
OP_NOT_SUPPORTED, PARAM_NOT_SUPPORTED = 0x2005, 0x2006
INVALID_STORAGE, INVALID_HANDLE, ACCESS_DENIED = 0x2008, 0x2009, 0x200F
NO_THUMBNAIL, INVALID_PARENT = 0x2010, 0x201A
INVALID_PARAMETER, SESSION_ALREADY_OPEN, TRANSACTION_CANCELLED = 0x201D, 0x201E, 0x201F

EV_CANCEL_TRANSACTION, EV_OBJECT_ADDED, EV_OBJECT_REMOVED = 0x4001, 0x4002, 0x4003

(INIT_CMD_REQ, INIT_CMD_ACK, INIT_EVT_REQ, INIT_EVT_ACK, INIT_FAIL, OP_REQ, OP_RESP,
 EVENT, START_DATA, DATA, CANCEL, END_DATA, PROBE_REQ, PROBE_RESP) = range(1, 15)
PACKET_NAMES = {1: "InitCommandRequest", 2: "InitCommandAck", 3: "InitEventRequest",
                4: "InitEventAck", 5: "InitFail", 6: "OperationRequest",
                7: "OperationResponse", 8: "Event", 9: "StartData", 10: "Data",
                11: "Cancel", 12: "EndData", 13: "ProbeRequest", 14: "ProbeResponse"}

OPERATIONS = [0x1001, 0x1002, 0x1003, 0x1004, 0x1005, 0x1006, 0x1007, 0x1008,
              0x1009, 0x100A, 0x100B, 0x101B]
EVENTS = [EV_CANCEL_TRANSACTION, EV_OBJECT_ADDED, EV_OBJECT_REMOVED]

MANUFACTURER = "Orvex Test Optics"
MODEL = "Orvex WiFi Simulator"
CAMERA_NAME = "Orvex Test Camera"
CAMERA_GUID = bytes.fromhex("4f52564558000000a1b2c3d4e5f60718")
MAX_HOST_PACKET = 16 << 20   # no operation here takes more from a host


class Dropped(Exception):
    """The session is over: the link went (or was made to go) down."""


# ---------------------------------------------------------------- card ----

def jpeg_facts(data):
    """(width, height, date "YYYYMMDDThhmmss" or None, thumbnail bytes or None)."""
    width = height = 0
    date = thumb = None
    if data[:2] != b"\xff\xd8":
        return width, height, date, thumb
    pos = 2
    while pos + 4 <= len(data):
        if data[pos] != 0xFF:
            break
        marker = data[pos + 1]
        if marker == 0xFF:
            pos += 1
            continue
        if marker in (0xD8, 0x01) or 0xD0 <= marker <= 0xD7:
            pos += 2
            continue
        if marker in (0xD9, 0xDA):
            break
        seglen = int.from_bytes(data[pos + 2:pos + 4], "big")
        seg = data[pos + 4:pos + 2 + seglen]
        if marker == 0xE1 and seg[:6] == b"Exif\0\0" and date is None and thumb is None:
            try:
                date, thumb = exif_facts(seg[6:])
            except (IndexError, struct.error, ValueError):
                pass
        elif 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC) and len(seg) >= 5:
            height = int.from_bytes(seg[1:3], "big")
            width = int.from_bytes(seg[3:5], "big")
            break
        pos += 2 + seglen
    return width, height, date, thumb


def exif_facts(tiff):
    """DateTimeOriginal (else DateTime) and the IFD1 JPEG thumbnail of a TIFF block."""
    end = {b"II": "<", b"MM": ">"}[tiff[:2]]
    u16 = lambda o: struct.unpack_from(end + "H", tiff, o)[0]
    u32 = lambda o: struct.unpack_from(end + "I", tiff, o)[0]

    def ifd(offset):
        entries = {}
        count = u16(offset)
        for i in range(count):
            e = offset + 2 + 12 * i
            tag, typ, n = u16(e), u16(e + 2), u32(e + 4)
            if typ == 2:   # ASCII
                where = e + 8 if n <= 4 else u32(e + 8)
                entries[tag] = tiff[where:where + n].split(b"\0")[0].decode("ascii", "replace")
            elif typ == 3:
                entries[tag] = u16(e + 8)
            elif typ == 4:
                entries[tag] = u32(e + 8)
        return entries, u32(offset + 2 + 12 * count)

    ifd0, next_ifd = ifd(u32(4))
    when = ifd0.get(0x0132)
    if 0x8769 in ifd0:
        exif, _ = ifd(ifd0[0x8769])
        when = exif.get(0x9003, when)
    date = None
    m = re.match(r"(\d{4}):(\d\d):(\d\d) (\d\d):(\d\d):(\d\d)", when or "")
    if m:
        date = "%s%s%sT%s%s%s" % m.groups()
    thumb = None
    if next_ifd:
        ifd1, _ = ifd(next_ifd)
        off, n = ifd1.get(0x0201), ifd1.get(0x0202)
        if off and n and off + n <= len(tiff):
            thumb = bytes(tiff[off:off + n])
    return date, thumb


def ptp_time(t):
    return time.strftime("%Y%m%dT%H%M%S", time.localtime(t))


class Obj:
    def __init__(self, handle, path, parent, is_dir):
        self.handle, self.path, self.parent, self.is_dir = handle, path, parent, is_dir
        self.name = os.path.basename(path)
        st = os.stat(path)
        self.mtime = ptp_time(st.st_mtime)
        self.size = 0 if is_dir else st.st_size
        self.fmt = FMT_ASSOCIATION if is_dir else FMT_UNDEFINED
        self.width = self.height = 0
        self.date = self.mtime
        self.thumb = None
        self.thumb_w = self.thumb_h = 0
        if not is_dir and self.name.lower().endswith((".jpg", ".jpeg")):
            with open(path, "rb") as f:
                data = f.read()
            self.fmt = FMT_EXIF_JPEG
            self.width, self.height, date, self.thumb = jpeg_facts(data)
            self.date = date or self.mtime
            if self.thumb:
                self.thumb_w, self.thumb_h, _, _ = jpeg_facts(self.thumb)


class Card:
    """The card's objects by handle; handles are given depth-first, sorted by name."""

    def __init__(self, root):
        self.root = root
        self.lock = threading.Lock()
        self.objects = {}
        self.next_handle = 1
        dcim = os.path.join(root, "DCIM")
        if not os.path.isdir(dcim):
            raise SystemExit("no DCIM folder in %s" % root)
        self._scan(dcim, 0)

    def _scan(self, path, parent):
        obj = self._add(path, parent, True)
        for entry in sorted(os.listdir(path)):
            full = os.path.join(path, entry)
            if os.path.isdir(full):
                self._scan(full, obj.handle)
            elif os.path.isfile(full):
                self._add(full, obj.handle, False)

    def _add(self, path, parent, is_dir):
        obj = Obj(self.next_handle, path, parent, is_dir)
        self.objects[obj.handle] = obj
        self.next_handle += 1
        return obj

    def get(self, handle):
        with self.lock:
            return self.objects.get(handle)

    def handles(self, fmt=0, parent=0):
        with self.lock:
            objs = sorted(self.objects.values(), key=lambda o: o.handle)
        if fmt:
            objs = [o for o in objs if o.fmt == fmt]
        if parent == 0xFFFFFFFF:
            objs = [o for o in objs if o.parent == 0]
        elif parent:
            objs = [o for o in objs if o.parent == parent]
        return [o.handle for o in objs]

    def remove(self, handle):
        with self.lock:
            obj = self.objects.pop(handle)
        os.remove(obj.path)

    def add_copy(self):
        """Copies a picture of the first folder to the next free IMG_NNNN.JPG; the new object."""
        with self.lock:
            objs = sorted(self.objects.values(), key=lambda o: o.handle)
            folders = [o for o in objs if o.is_dir and o.parent != 0] or [o for o in objs if o.is_dir]
            folder = folders[0]
            pictures = [o for o in objs if o.fmt == FMT_EXIF_JPEG]
            source = next((o for o in pictures if o.parent == folder.handle), None) \
                or (pictures[0] if pictures else None)
            if source is None:
                return None
            # numbered across the card, as cameras do, so no two folders share a name
            taken = [int(m.group(1)) for o in objs
                     for m in [re.match(r"IMG_(\d{4})\.JPG$", o.name, re.I)] if m]
            number = max(taken, default=0) + 1
            if number > 9999:
                return None
            path = os.path.join(folder.path, "IMG_%04d.JPG" % number)
            shutil.copyfile(source.path, path)
            return self._add(path, folder.handle, False)


# ------------------------------------------------------------ datasets ----

class Dataset:
    """A PTP dataset that remembers where its counts, string lengths and fields are."""

    def __init__(self):
        self.b = bytearray()
        self.fields = []   # (offset, size, kind)

    def num(self, fmt, v):
        self.fields.append((len(self.b), struct.calcsize("<" + fmt), "num"))
        self.b += struct.pack("<" + fmt, v)
        return self

    def u16(self, v): return self.num("H", v)
    def u32(self, v): return self.num("I", v)
    def u64(self, v): return self.num("Q", v)

    def str(self, s):
        s = s[:254]
        self.fields.append((len(self.b), 1, "strlen"))
        if not s:
            self.b.append(0)
        else:
            self.b.append(len(s) + 1)
            self.b += (s + "\0").encode("utf-16-le")
        return self

    def arr(self, fmt, items):
        self.fields.append((len(self.b), 4, "count"))
        self.b += struct.pack("<I", len(items))
        for v in items:
            self.b += struct.pack("<" + fmt, v)
        return self


def device_info():
    d = Dataset()
    d.u16(100).u32(0).u16(0).str("").u16(0)
    d.arr("H", OPERATIONS).arr("H", EVENTS).arr("H", []).arr("H", [])
    d.arr("H", [FMT_UNDEFINED, FMT_ASSOCIATION, FMT_EXIF_JPEG])
    d.str(MANUFACTURER).str(MODEL).str("1.0").str("ORVX0001")
    return d


def object_info(o):
    d = Dataset()
    d.u32(STORAGE_ID).u16(o.fmt).u16(0).u32(min(o.size, 0xFFFFFFFF))
    d.u16(FMT_EXIF_JPEG if o.thumb else 0).u32(len(o.thumb) if o.thumb else 0)
    d.u32(o.thumb_w).u32(o.thumb_h).u32(o.width).u32(o.height).u32(24 if o.width else 0)
    d.u32(o.parent).u16(1 if o.is_dir else 0).u32(0).u32(0)
    d.str(o.name).str(o.date).str(o.mtime).str("")
    return d


def storage_info(root):
    try:
        st = os.statvfs(root)
        total, free = st.f_blocks * st.f_frsize, st.f_bavail * st.f_frsize
    except OSError:
        total, free = 1 << 30, 1 << 29
    d = Dataset()
    d.u16(0x0004).u16(0x0003).u16(0x0000).u64(total).u64(free).u32(0xFFFFFFFF)
    d.str("SD card").str("ORVEX_CARD")
    return d


# -------------------------------------------------------------- server ----

class Log:
    def __init__(self, path):
        self.f = open(path, "a", buffering=1) if path else None
        self.lock = threading.Lock()
        self.t0 = time.monotonic()

    def __call__(self, text):
        if self.f:
            with self.lock:
                self.f.write("%10.6f %s\n" % (time.monotonic() - self.t0, text))


def describe(ptype, payload):
    name = PACKET_NAMES.get(ptype, "type%d" % ptype)
    try:
        if ptype in (OP_REQ,):
            phase, code, tid = struct.unpack_from("<IHI", payload)
            params = struct.unpack_from("<%dI" % ((len(payload) - 10) // 4), payload, 10)
            return "%s op=0x%04x tid=%d phase=%d params=%s" % (
                name, code, tid, phase, [hex(p) for p in params])
        if ptype in (OP_RESP, EVENT):
            code, tid = struct.unpack_from("<HI", payload)
            params = struct.unpack_from("<%dI" % ((len(payload) - 6) // 4), payload, 6)
            return "%s code=0x%04x tid=%d params=%s" % (name, code, tid, [hex(p) for p in params])
        if ptype == START_DATA:
            tid, total = struct.unpack_from("<IQ", payload)
            return "%s tid=%d total=%d" % (name, tid, total)
        if ptype in (DATA, END_DATA, CANCEL):
            return "%s tid=%d bytes=%d" % (name, struct.unpack_from("<I", payload)[0], len(payload) - 4)
        if ptype in (INIT_EVT_REQ, INIT_FAIL):
            return "%s %d" % (name, struct.unpack_from("<I", payload)[0])
        if ptype == INIT_CMD_REQ:
            host = payload[16:-4].decode("utf-16-le", "replace").rstrip("\0")
            return "%s host=%r" % (name, host)
    except struct.error:
        return "%s (short: %d bytes)" % (name, len(payload))
    return "%s len=%d" % (name, len(payload) + 8)


class Conn:
    """One non-blocking TCP connection with a packet reader."""

    def __init__(self, sock, label, log):
        self.sock, self.label, self.log = sock, label, log
        sock.setblocking(False)
        self.buf = bytearray()
        self.closed = False
        self.wlock = threading.Lock()

    def fill(self, timeout):
        """Reads what is there (waiting up to timeout); False when nothing came."""
        if self.closed:
            raise Dropped("%s closed" % self.label)
        try:
            r, _, _ = select.select([self.sock], [], [], timeout)
        except (ValueError, OSError):   # closed under us by another session
            raise Dropped("%s closed" % self.label)
        if not r:
            return False
        try:
            chunk = self.sock.recv(1 << 16)
        except BlockingIOError:
            return False
        except OSError as e:
            raise Dropped("%s: %s" % (self.label, e))
        if not chunk:
            raise Dropped("%s closed by the host" % self.label)
        self.buf += chunk
        return True

    def packet(self):
        """A whole packet from the buffer as (type, payload), or None."""
        if len(self.buf) < 8:
            return None
        length, ptype = struct.unpack_from("<II", self.buf)
        if length < 8 or length > MAX_HOST_PACKET:
            raise Dropped("%s: bad packet length %d (type %d)" % (self.label, length, ptype))
        if len(self.buf) < length:
            return None
        payload = bytes(self.buf[8:length])
        del self.buf[:length]
        self.log("%s <- %s" % (self.label, describe(ptype, payload)))
        return ptype, payload

    def read(self, timeout=None):
        deadline = None if timeout is None else time.monotonic() + timeout
        while True:
            p = self.packet()
            if p:
                return p
            wait = 1.0 if deadline is None else max(0.0, deadline - time.monotonic())
            if not self.fill(wait) and deadline is not None and time.monotonic() >= deadline:
                return None

    def write(self, data, on_readable=None):
        """Writes all of data; on_readable() runs whenever the host sends something."""
        view = memoryview(data)
        with self.wlock:
            while view:
                if self.closed:
                    raise Dropped("%s closed" % self.label)
                try:
                    r, w, _ = select.select([self.sock] if on_readable else [], [self.sock], [], 1.0)
                except (ValueError, OSError):
                    raise Dropped("%s closed" % self.label)
                if r:
                    on_readable()
                if w:
                    try:
                        n = self.sock.send(view)
                    except BlockingIOError:
                        continue
                    except OSError as e:
                        raise Dropped("%s: %s" % (self.label, e))
                    view = view[n:]

    def close(self):
        self.closed = True
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        try:
            self.sock.close()
        except OSError:
            pass


def packet(ptype, payload=b""):
    return struct.pack("<II", 8 + len(payload), ptype) + payload


class Mutator:
    """Deterministic spoiling of a session's outgoing packets and datasets."""

    def __init__(self, seed, session_no, channel, rate, skip, log):
        self.rng = random.Random("%s/%d/%s" % (seed, session_no, channel))
        self.rate, self.skip, self.log, self.count = rate, skip, log, 0

    def packet(self, ptype, data):
        self.count += 1
        if self.count <= self.skip or self.rng.random() >= self.rate:
            return data
        b = bytearray(data)
        choices = ["length", "type", "truncate"]
        if ptype == OP_RESP:
            choices += ["code", "params", "params"]
        if ptype == START_DATA:
            choices += ["total", "total"]
        how = self.rng.choice(choices)
        n = len(b)
        if how == "length":
            v = self.rng.choice([0, 7, n - 1, n + 1, n + self.rng.randint(2, 64), 0xFFFFFFFF,
                                 self.rng.getrandbits(32)])
            struct.pack_into("<I", b, 0, v & 0xFFFFFFFF)
        elif how == "type":
            struct.pack_into("<I", b, 4, self.rng.choice([0, 15, 0xFFFFFFFF, self.rng.randint(1, 14)]))
        elif how == "truncate":
            b = b[:self.rng.randint(0, max(0, n - 1))]
        elif how == "code":
            struct.pack_into("<H", b, 8, self.rng.choice([0, 0x2002, 0xFFFF, self.rng.getrandbits(16)]))
        elif how == "params":
            k = self.rng.randint(0, 7)
            b = b[:14] + bytes(self.rng.getrandbits(8) for _ in range(4 * k))
            struct.pack_into("<I", b, 0, len(b))
        elif how == "total":
            total = struct.unpack_from("<Q", b, 12)[0]
            v = self.rng.choice([0, total - 1, total + 1, total * 2, total | (1 << 40),
                                 0xFFFFFFFF, 0xFFFFFFFFFFFFFFFF])
            struct.pack_into("<Q", b, 12, v & 0xFFFFFFFFFFFFFFFF)
        self.log("mutate: %s of %s (%d -> %d bytes)" % (how, PACKET_NAMES.get(ptype), n, len(b)))
        return bytes(b)

    def dataset(self, ds):
        if self.rng.random() >= self.rate:
            return bytes(ds.b)
        b = bytearray(ds.b)
        if not ds.fields or self.rng.random() < 0.2:
            cut = self.rng.randint(0, max(0, len(b) - 1))
            self.log("mutate: dataset truncated %d -> %d bytes" % (len(b), cut))
            return bytes(b[:cut])
        off, size, kind = self.rng.choice(ds.fields)
        old = int.from_bytes(b[off:off + size], "little")
        if kind == "count":
            v = self.rng.choice([0, old + 1, old + 1000, 0xFFFFFFFF, max(0, old - 1)])
        elif kind == "strlen":
            v = self.rng.choice([0, 1, 0xFF, old + 1, max(0, old - 1)])
        else:
            v = self.rng.getrandbits(8 * size)
        b[off:off + size] = (v & ((1 << (8 * size)) - 1)).to_bytes(size, "little")
        self.log("mutate: dataset %s at %d: %d -> %d" % (kind, off, old, v))
        return bytes(b)


class Session:
    def __init__(self, server, number, cmd):
        self.server, self.number, self.cmd = server, number, cmd
        self.opts, self.card, self.log = server.opts, server.card, server.log
        self.evt = None
        self.pending = []
        self.stalled = False
        self.open_id = 0
        self.cancel_tid = None          # set by either connection's reader
        self.active_tid = None          # the transaction in a data phase
        self.data_sent = 0              # data-phase bytes this session
        self.over = False
        self.drop_fires = server.arm("drop")
        self.stall_fires = server.arm("stall")
        m = self.opts.mutate
        self.mut_cmd = Mutator(m, number, "cmd", self.opts.mutate_rate, self.opts.mutate_skip,
                               self.log) if m is not None else None
        self.mut_evt = Mutator(m, number, "evt", self.opts.mutate_rate, 0,
                               self.log) if m is not None else None

    # -- sending
    def send_cmd(self, ptype, payload=b"", data_bytes=0):
        raw = packet(ptype, payload)
        self.log("s%d cmd -> %s" % (self.number, describe(ptype, payload)))
        if self.mut_cmd:
            raw = self.mut_cmd.packet(ptype, raw)
        if data_bytes:
            self.send_paced(raw, len(raw) - data_bytes)
        else:
            self.cmd.write(raw, self.on_cmd_readable)

    def send_event(self, code, tid, params=()):
        while self.stalled and not self.over:   # a stalled camera says nothing, events included
            time.sleep(0.05)
        evt = self.evt
        if evt is None or evt.closed:
            return
        payload = struct.pack("<HI", code, tid) + b"".join(struct.pack("<I", p) for p in params)
        raw = packet(EVENT, payload)
        self.log("s%d evt -> %s" % (self.number, describe(EVENT, payload)))
        if self.mut_evt:
            raw = self.mut_evt.packet(EVENT, raw)
        try:
            evt.write(raw)
        except Dropped:
            pass

    def send_paced(self, raw, header_len):
        """Sends a Data/End Data packet: header, then data counted against the options."""
        self.cmd.write(raw[:header_len], self.on_cmd_readable)
        view = memoryview(raw)[header_len:]
        rate = self.opts.rate * 1e6 if self.opts.rate else 0
        piece = max(1024, int(rate / 1000)) if rate else 1 << 16
        while view:
            n = min(piece, len(view))
            limit = None
            if self.drop_fires and self.data_sent + n >= self.opts.drop_after:
                self.drop_fires = False
                if self.server.arm("drop", fire=True):
                    limit = ("drop", self.opts.drop_after - self.data_sent)
            elif self.stall_fires and self.data_sent + n >= self.opts.stall_after:
                self.stall_fires = False
                if self.server.arm("stall", fire=True):
                    limit = ("stall", self.opts.stall_after - self.data_sent)
            if limit:
                n = max(0, limit[1])
            if n:
                if rate:
                    due = self.pace_start + (self.pace_bytes + n) / rate
                    delay = due - time.monotonic()
                    if delay > 0:
                        time.sleep(delay)
                    self.pace_bytes += n
                self.cmd.write(view[:n], self.on_cmd_readable)
                self.data_sent += n
                view = view[n:]
            if limit and limit[0] == "drop":
                self.log("s%d fail: dropping the link after %d data bytes" % (self.number, self.data_sent))
                self.close()
                raise Dropped("dropped on purpose")
            if limit and limit[0] == "stall":
                self.stall()

    def stall(self):
        secs = self.opts.stall_seconds
        self.log("s%d fail: stalling after %d data bytes for %s" % (
            self.number, self.data_sent, "%g s" % secs if secs else "good"))
        end = time.monotonic() + secs if secs else None
        self.stalled = True
        try:
            while end is None or time.monotonic() < end:
                # keep reading so a host hanging up ends the stall; answer nothing
                self.cmd.fill(0.05 if end is None else max(0.0, min(0.05, end - time.monotonic())))
                self.cmd.buf.clear()
        finally:
            self.stalled = False
        self.pace_start, self.pace_bytes = time.monotonic(), 0
        self.log("s%d stall over" % self.number)

    def on_cmd_readable(self):
        self.cmd.fill(0)
        while True:
            p = self.cmd.packet()
            if p is None:
                return
            self.side_packet(self.cmd, *p)

    def side_packet(self, conn, ptype, payload):
        """Packets that may arrive at any time: probes and cancels."""
        if ptype == PROBE_REQ:
            raw = packet(PROBE_RESP)
            self.log("s%d %s -> ProbeResponse" % (self.number, conn.label))
            if conn is self.cmd:
                self.pending.append(raw)   # goes out between packets, never inside one
            else:
                conn.write(raw)
            return True
        tid = None
        if ptype == CANCEL and len(payload) >= 4:
            tid = struct.unpack_from("<I", payload)[0]
        elif ptype == EVENT and len(payload) >= 6:
            code, t = struct.unpack_from("<HI", payload)
            if code == EV_CANCEL_TRANSACTION:
                tid = t
        if tid is not None:
            if tid == self.active_tid:
                self.cancel_tid = tid
            else:
                self.log("s%d cancel of transaction %d, which is not in a data phase: ignored"
                         % (self.number, tid))
            return True
        return False

    def flush_pending(self):
        while self.pending:
            self.cmd.write(self.pending.pop(0))

    def send_data(self, tid, data):
        """One camera->host data phase; False when the host cancelled it."""
        self.active_tid, self.cancel_tid = tid, None
        self.pace_start, self.pace_bytes = time.monotonic(), 0
        try:
            self.send_cmd(START_DATA, struct.pack("<IQ", tid, len(data)))
            view = memoryview(data)
            size = self.opts.packet_size
            while True:
                self.flush_pending()
                if self.cancel_tid == tid:
                    self.log("s%d data phase of transaction %d cancelled after %d of %d bytes"
                             % (self.number, tid, len(data) - len(view), len(data)))
                    return False
                if len(view) <= size:
                    self.send_cmd(END_DATA, struct.pack("<I", tid) + view, len(view))
                    return True
                self.send_cmd(DATA, struct.pack("<I", tid) + view[:size], size)
                view = view[size:]
        finally:
            self.active_tid = None
            self.flush_pending()

    def respond(self, code, tid, params=()):
        self.send_cmd(OP_RESP, struct.pack("<HI", code, tid) + b"".join(
            struct.pack("<I", p & 0xFFFFFFFF) for p in params))

    def close(self):
        self.over = True
        self.cmd.close()
        if self.evt:
            self.evt.close()

    # -- the command loop
    def run(self):
        while not self.over:
            p = self.cmd.read()
            self.flush_pending()
            ptype, payload = p
            if self.side_packet(self.cmd, ptype, payload):
                self.flush_pending()
                continue
            if ptype == OP_REQ:
                if len(payload) < 10:
                    raise Dropped("short Operation Request")
                phase, code, tid = struct.unpack_from("<IHI", payload)
                params = list(struct.unpack_from("<%dI" % min(5, (len(payload) - 10) // 4), payload, 10))
                cancelled = False
                if phase == 2:
                    cancelled = not self.take_host_data(tid)
                if cancelled:
                    self.respond(TRANSACTION_CANCELLED, tid)
                    continue
                self.operation(code, tid, params, took_data=(phase == 2))
            else:
                self.log("s%d unexpected %s on the command connection: ignored"
                         % (self.number, PACKET_NAMES.get(ptype, "type %d" % ptype)))

    def take_host_data(self, tid):
        self.active_tid, self.cancel_tid = tid, None
        try:
            while True:
                ptype, payload = self.cmd.read()
                if ptype == CANCEL or (ptype == PROBE_REQ):
                    self.side_packet(self.cmd, ptype, payload)
                    self.flush_pending()
                    if self.cancel_tid == tid:
                        return False
                elif ptype == END_DATA:
                    return True
                elif ptype not in (START_DATA, DATA):
                    raise Dropped("%s inside a host data phase" % PACKET_NAMES.get(ptype, ptype))
        finally:
            self.active_tid = None

    def dataset(self, ds):
        return self.mut_cmd.dataset(ds) if self.mut_cmd else bytes(ds.b)

    def operation(self, code, tid, params, took_data):
        p = params + [0] * (5 - len(params))
        if took_data:
            return self.respond(OP_NOT_SUPPORTED, tid)
        if code == 0x1001:
            if self.send_data(tid, self.dataset(device_info())):
                self.respond(OK, tid)
            else:
                self.respond(TRANSACTION_CANCELLED, tid)
            return
        if code == 0x1002:
            if self.open_id:
                return self.respond(SESSION_ALREADY_OPEN, tid, [self.open_id])
            if p[0] == 0:
                return self.respond(INVALID_PARAMETER, tid)
            self.open_id = p[0]
            return self.respond(OK, tid)
        if code not in OPERATIONS:
            return self.respond(OP_NOT_SUPPORTED, tid)
        if not self.open_id:
            return self.respond(SESSION_NOT_OPEN, tid)
        if code == 0x1003:
            self.open_id = 0
            return self.respond(OK, tid)
        if code == 0x1004:
            return self.data_then_ok(tid, self.dataset(Dataset().arr("I", [STORAGE_ID])))
        if code == 0x1005:
            if p[0] != STORAGE_ID:
                return self.respond(INVALID_STORAGE, tid)
            return self.data_then_ok(tid, self.dataset(storage_info(self.card.root)))
        if code in (0x1006, 0x1007):
            if p[0] not in (STORAGE_ID, 0xFFFFFFFF):
                return self.respond(INVALID_STORAGE, tid)
            if p[2] not in (0, 0xFFFFFFFF):
                parent = self.card.get(p[2])
                if parent is None or not parent.is_dir:
                    return self.respond(INVALID_PARENT, tid)
            handles = self.card.handles(p[1], p[2])
            if code == 0x1006:
                return self.respond(OK, tid, [len(handles)])
            return self.data_then_ok(tid, self.dataset(Dataset().arr("I", handles)))
        if code == 0x100B and p[0] == 0xFFFFFFFF:
            return self.respond(PARAM_NOT_SUPPORTED, tid)
        obj = self.card.get(p[0])
        if obj is None:
            return self.respond(INVALID_HANDLE, tid)
        if code == 0x1008:
            return self.data_then_ok(tid, self.dataset(object_info(obj)))
        if code == 0x100A:
            if not obj.thumb:
                return self.respond(NO_THUMBNAIL, tid)
            return self.data_then_ok(tid, obj.thumb)
        if obj.is_dir:
            return self.respond(ACCESS_DENIED, tid)
        if code == 0x100B:
            try:
                self.card.remove(obj.handle)
            except OSError as e:
                self.log("s%d delete failed: %s" % (self.number, e))
                return self.respond(GENERAL_ERROR, tid)
            self.respond(OK, tid)
            self.server.broadcast(EV_OBJECT_REMOVED, tid, [obj.handle])
            return
        try:
            with open(obj.path, "rb") as f:
                if code == 0x1009:
                    data = f.read()
                else:
                    if p[1] > obj.size:
                        return self.respond(INVALID_PARAMETER, tid)
                    f.seek(p[1])
                    data = f.read(p[2])
        except OSError as e:
            self.log("s%d read failed: %s" % (self.number, e))
            return self.respond(GENERAL_ERROR, tid)
        if not self.send_data(tid, data):
            return self.respond(TRANSACTION_CANCELLED, tid)
        self.respond(OK, tid, [len(data)] if code == 0x101B else [])

    def data_then_ok(self, tid, data):
        self.respond(OK if self.send_data(tid, data) else TRANSACTION_CANCELLED, tid)

    # -- the event connection
    def run_events(self, evt):
        self.evt = evt
        while not self.over:
            if self.stalled:
                time.sleep(0.05)
                continue
            p = evt.read(timeout=0.5)
            if p is None:
                continue
            ptype, payload = p
            if not self.side_packet(evt, ptype, payload):
                self.log("s%d unexpected %s on the event connection: ignored"
                         % (self.number, PACKET_NAMES.get(ptype, "type %d" % ptype)))


class Server:
    def __init__(self, opts, card, log):
        self.opts, self.card, self.log = opts, card, log
        self.lock = threading.Lock()
        self.sessions = {}
        self.counter = 0
        self.fired = {"drop": 0, "stall": 0}

    def arm(self, what, fire=False):
        """Whether a failure may still fire (counted per run); fire=True uses one go."""
        after = getattr(self.opts, what + "_after")
        times = getattr(self.opts, what + "_times")
        if after is None:
            return False
        with self.lock:
            if times and self.fired[what] >= times:
                return False
            if fire:
                self.fired[what] += 1
            return True

    def broadcast(self, code, tid, params):
        with self.lock:
            sessions = list(self.sessions.values())
        for s in sessions:
            s.send_event(code, tid, params)

    def new_pictures(self, every):
        while True:
            time.sleep(every)
            try:
                obj = self.card.add_copy()
            except OSError as e:
                self.log("new picture failed: %s" % e)
                continue
            if obj:
                self.log("new picture %s handle %d" % (obj.path, obj.handle))
                self.broadcast(EV_OBJECT_ADDED, 0xFFFFFFFF, [obj.handle])

    def handle(self, sock, peer):
        label = "%s:%d" % peer
        conn = Conn(sock, "conn " + label, self.log)
        session = None
        try:
            p = conn.read(timeout=10)
            if p is None:
                raise Dropped("nothing from %s" % label)
            ptype, payload = p
            while ptype == PROBE_REQ:
                self.log("%s -> ProbeResponse" % conn.label)
                conn.write(packet(PROBE_RESP))
                ptype, payload = conn.read()
            if ptype == INIT_CMD_REQ:
                with self.lock:
                    self.counter += 1
                    number = self.counter
                    old = list(self.sessions.values())
                for s in old:
                    self.log("s%d dropped: a host opens a new session" % s.number)
                    s.close()
                conn.label = "s%d cmd" % number
                session = Session(self, number, conn)
                with self.lock:
                    self.sessions[number] = session
                ack = struct.pack("<I", number) + CAMERA_GUID + \
                    (CAMERA_NAME + "\0").encode("utf-16-le") + struct.pack("<I", 0x00010000)
                self.log("s%d cmd -> InitCommandAck %d" % (number, number))
                conn.write(packet(INIT_CMD_ACK, ack))
                session.run()
            elif ptype == INIT_EVT_REQ and len(payload) >= 4:
                number = struct.unpack_from("<I", payload)[0]
                with self.lock:
                    session = self.sessions.get(number)
                if session is None or session.evt is not None:
                    self.log("%s -> InitFail (no session %d waiting)" % (conn.label, number))
                    conn.write(packet(INIT_FAIL, struct.pack("<I", 1)))
                    session = None
                    return
                conn.label = "s%d evt" % number
                self.log("s%d evt -> InitEventAck" % number)
                conn.write(packet(INIT_EVT_ACK))
                session.run_events(conn)
            else:
                self.log("%s: %s as first packet; closing" % (conn.label, PACKET_NAMES.get(ptype, ptype)))
        except Dropped as e:
            self.log("%s: %s" % (conn.label, e))
        except Exception:
            self.log("%s: simulator error\n%s" % (conn.label, traceback.format_exc()))
            traceback.print_exc()
        finally:
            if session is not None:
                session.close()
                with self.lock:
                    if self.sessions.get(session.number) is session:
                        del self.sessions[session.number]
                        self.log("s%d over" % session.number)
            else:
                conn.close()


def serve_plain(listener, card):
    """The same bytes as pictures carry, on a bare TCP connection: what the link alone can do."""
    files = [o.path for o in list(card.objects.values()) if os.path.isfile(o.path)]
    payload = b"".join(open(path, "rb").read() for path in files[:200])[:64 << 20] or b"\0" * 65536
    while True:
        sock, _ = listener.accept()
        try:
            want = b""
            while len(want) < 8:
                part = sock.recv(8 - len(want))
                if not part:
                    break
                want += part
            left = struct.unpack("<Q", want)[0] if len(want) == 8 else 0
            while left > 0:
                piece = payload[:min(left, len(payload), 1 << 20)]
                sock.sendall(piece)
                left -= len(piece)
        except OSError:
            pass
        finally:
            sock.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--card", required=True, help="card root (holds DCIM)")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=15740)
    parser.add_argument("--log", help="packet trace file")
    parser.add_argument("--packet-size", type=int, default=65536)
    parser.add_argument("--drop-after", type=int)
    parser.add_argument("--drop-times", type=int, default=1)
    parser.add_argument("--stall-after", type=int)
    parser.add_argument("--stall-seconds", type=float, default=0.0)
    parser.add_argument("--stall-times", type=int, default=1)
    parser.add_argument("--rate", type=float, help="MB/s (10^6 bytes) for data phases")
    parser.add_argument("--new-every", type=float)
    parser.add_argument("--mutate", type=int)
    parser.add_argument("--mutate-rate", type=float, default=0.05)
    parser.add_argument("--mutate-skip", type=int, default=4)
    parser.add_argument("--plain-port", type=int,
                        help="also serve plain TCP: a host sends a u64 count and gets that many card bytes (benchmarks)")
    opts = parser.parse_args()
    if opts.packet_size < 1:
        parser.error("--packet-size must be positive")
    if opts.rate is not None and opts.rate <= 0:
        parser.error("--rate must be positive")
    if opts.new_every is not None and opts.new_every <= 0:
        parser.error("--new-every must be positive")
    if not os.path.isdir(opts.card):
        parser.error("no card directory %s" % opts.card)

    log = Log(opts.log)
    card = Card(opts.card)
    server = Server(opts, card, log)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((opts.host, opts.port))
    listener.listen(8)
    host, port = listener.getsockname()[:2]
    log("listening on %s:%d, %d objects" % (host, port, len(card.objects)))
    print("%s:%d" % (host, port), flush=True)
    if opts.new_every:
        threading.Thread(target=server.new_pictures, args=(opts.new_every,), daemon=True).start()
    if opts.plain_port is not None:
        plain = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        plain.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        plain.bind((opts.host, opts.plain_port))
        plain.listen(4)
        print("plain %s:%d" % plain.getsockname()[:2], flush=True)
        threading.Thread(target=serve_plain, args=(plain, card), daemon=True).start()
    try:
        while True:
            sock, peer = listener.accept()
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            log("connection from %s:%d" % peer[:2])
            threading.Thread(target=server.handle, args=(sock, peer[:2]), daemon=True).start()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
