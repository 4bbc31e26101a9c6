#!/usr/bin/python3
"""A small VXI-11 instrument for the transfer tests.

ONC RPC over TCP on one loopback address: the portmapper on port 111
(version 2 GETPORT, versions 3 and 4 GETADDR) and the core channel
(create_link, device_write, device_read, destroy_link) on a port of its own.
Every call goes to the log, one line each; a device_write's bytes go to the
data file. A message ends with a write that carries the END flag; "*OPC?",
"SYST:ERR?" and "*IDN?" then queue their answer for the next device_read.

    vxi11_server.py ADDRESS LOG DATA [--error TEXT] [--silent] [--seconds N]

--error makes SYST:ERR? answer TEXT once after the first data message;
--silent answers no query (device_read times out); the server ends by itself
after N seconds (default 60).
"""
import os
import select
import socket
import struct
import sys
import threading
import time

PORTMAP = 100000
CORE = 0x0607AF
END_FLAG = 0x08
REASON_END = 0x04
ERR_NOT_SUPPORTED = 8
ERR_IO_TIMEOUT = 15
ERR_INVALID_LINK = 4


class Xdr:
    def __init__(self, data):
        self.data = data
        self.at = 0

    def uint(self):
        (v,) = struct.unpack_from(">I", self.data, self.at)
        self.at += 4
        return v

    def int(self):
        (v,) = struct.unpack_from(">i", self.data, self.at)
        self.at += 4
        return v

    def opaque(self):
        n = self.uint()
        v = self.data[self.at:self.at + n]
        self.at += (n + 3) // 4 * 4
        return v


def pack_opaque(b):
    return struct.pack(">I", len(b)) + b + b"\0" * ((4 - len(b) % 4) % 4)


class Instrument:
    def __init__(self, address, log, data, error, silent):
        self.address = address
        self.log = open(log, "a", buffering=1)
        self.data = open(data, "ab", buffering=0)
        self.error = error
        self.silent = silent
        self.core_port = 0
        self.links = {}
        self.next_link = 1
        self.lock = threading.Lock()

    def note(self, text):
        with self.lock:
            self.log.write(text + "\n")

    # --- portmapper -----------------------------------------------------------
    def portmap(self, vers, proc, x):
        if proc == 0:
            return b""
        if proc != 3:
            return None
        if vers == 2:
            prog, pvers, prot, _ = x.uint(), x.uint(), x.uint(), x.uint()
            port = self.core_port if prog == CORE and prot == 6 else 0
            self.note("portmap GETPORT %d %d -> %d" % (prog, pvers, port))
            return struct.pack(">I", port)
        prog, pvers = x.uint(), x.uint()
        netid = x.opaque().decode()
        addr = ""
        if prog == CORE and netid.startswith("tcp"):
            p = self.core_port
            addr = "%s.%d.%d" % (self.address, p >> 8, p & 0xFF)
        self.note("rpcbind GETADDR %d %d %s -> %s" % (prog, pvers, netid, addr))
        return pack_opaque(addr.encode())

    # --- core channel ---------------------------------------------------------
    def core(self, proc, x):
        if proc == 10:  # create_link
            x.int(); x.uint(); x.uint()
            device = x.opaque().decode()
            lid = self.next_link
            self.next_link += 1
            self.links[lid] = {"message": b"", "answers": []}
            self.note("create_link %s" % device)
            return struct.pack(">iiII", 0, lid, 0, 1 << 20)
        if proc == 11:  # device_write
            lid, _, _, flags = x.int(), x.uint(), x.uint(), x.int()
            chunk = x.opaque()
            link = self.links.get(lid)
            if link is None:
                return struct.pack(">iI", ERR_INVALID_LINK, 0)
            self.data.write(chunk)
            link["message"] += chunk
            self.note("device_write %d %s" % (len(chunk), "END" if flags & END_FLAG else "-"))
            if flags & END_FLAG:
                self.message(link, link["message"])
                link["message"] = b""
            return struct.pack(">iI", 0, len(chunk))
        if proc == 12:  # device_read
            lid, size, io_timeout = x.int(), x.uint(), x.uint()
            link = self.links.get(lid)
            if link is None:
                return struct.pack(">ii", ERR_INVALID_LINK, 0) + pack_opaque(b"")
            if not link["answers"]:
                self.note("device_read timeout")
                time.sleep(min(io_timeout, 2000) / 1000.0)
                return struct.pack(">ii", ERR_IO_TIMEOUT, 0) + pack_opaque(b"")
            answer = link["answers"].pop(0)[:size]
            self.note("device_read %r" % answer.decode(errors="replace"))
            return struct.pack(">ii", 0, REASON_END) + pack_opaque(answer)
        if proc == 23:  # destroy_link
            lid = x.int()
            self.links.pop(lid, None)
            self.note("destroy_link")
            return struct.pack(">i", 0)
        self.note("core procedure %d not supported" % proc)
        return struct.pack(">i", ERR_NOT_SUPPORTED)

    def message(self, link, text):
        query = text.strip().upper()
        shown = text[:40].decode(errors="replace").strip()
        self.note("message %d bytes: %s" % (len(text), shown))
        if self.silent:
            return
        if query == b"*OPC?":
            link["answers"].append(b"1\n")
        elif query == b"SYST:ERR?":
            if self.error:
                link["answers"].append(self.error.encode() + b"\n")
                self.error = None
            else:
                link["answers"].append(b'0,"No error"\n')
        elif query == b"*IDN?":
            link["answers"].append(b"ULDO test instrument,VXI-11,0,1\n")

    # --- RPC ------------------------------------------------------------------
    def call(self, record):
        x = Xdr(record)
        xid, kind = x.uint(), x.uint()
        if kind != 0:
            return None
        x.uint()  # rpc version
        prog, vers, proc = x.uint(), x.uint(), x.uint()
        x.uint(); x.opaque()  # credentials
        x.uint(); x.opaque()  # verifier
        head = struct.pack(">IIIII", xid, 1, 0, 0, 0)
        if prog == PORTMAP and vers in (2, 3, 4):
            body = self.portmap(vers, proc, x)
        elif prog == CORE and vers == 1:
            body = b"" if proc == 0 else self.core(proc, x)
        else:
            self.note("program %d version %d unavailable" % (prog, vers))
            return struct.pack(">IIIIII", xid, 1, 0, 0, 0, 1)
        if body is None:
            return struct.pack(">IIIIII", xid, 1, 0, 0, 0, 3)  # PROC_UNAVAIL
        return head + struct.pack(">I", 0) + body

    def serve(self, conn):
        buffer = b""
        record = b""
        with conn:
            while True:
                chunk = conn.recv(65536)
                if not chunk:
                    return
                buffer += chunk
                while len(buffer) >= 4:
                    (mark,) = struct.unpack_from(">I", buffer)
                    n = mark & 0x7FFFFFFF
                    if len(buffer) < 4 + n:
                        break
                    record += buffer[4:4 + n]
                    buffer = buffer[4 + n:]
                    if mark & 0x80000000:
                        reply = self.call(record)
                        record = b""
                        if reply is not None:
                            conn.sendall(struct.pack(">I", 0x80000000 | len(reply)) + reply)


def main():
    args = sys.argv[1:]
    error = None
    silent = False
    seconds = 60.0
    if "--error" in args:
        i = args.index("--error")
        error = args[i + 1]
        del args[i:i + 2]
    if "--silent" in args:
        args.remove("--silent")
        silent = True
    if "--seconds" in args:
        i = args.index("--seconds")
        seconds = float(args[i + 1])
        del args[i:i + 2]
    address, log, data = args
    instrument = Instrument(address, log, data, error, silent)
    listeners = []
    for port in (0, 111):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind((address, port))
        s.listen(8)
        listeners.append(s)
    instrument.core_port = listeners[0].getsockname()[1]
    instrument.note("listening on %s core port %d" % (address, instrument.core_port))
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        ready, _, _ = select.select(listeners, [], [], 0.2)
        for s in ready:
            conn, _ = s.accept()
            threading.Thread(target=instrument.serve, args=(conn,), daemon=True).start()
    os._exit(0)


if __name__ == "__main__":
    main()
