#!/usr/bin/python3
"""Programs on the bus that call a service and never read what comes back: each caller (a
connection of its own) sends its calls as fast as it can and then holds its connection open without
reading, until this process is ended. Prints "SENT <n>" once every caller has sent its calls.

  bus_callers.py ADDRESS DEST PATH INTERFACE METHOD [--callers N] [--calls N] [--no-reply]
                 [--seconds S] [--int ARG | --string ARG]... [--read-on-input]
                 [--then-leave INTERFACE METHOD]

--calls 0 with --seconds S sends for S seconds; --int adds an int32 argument to every call,
--string a string one, in the order given.
--read-on-input: once a line comes on standard input, every caller reads what has come and goes on
reading (prints "READING").
--then-leave: after its calls, each caller sends one call of METHOD on INTERFACE with no answer
wanted, and the process ends at once (prints "SENT <n>" first).
--bare: each caller writes its calls to the bus's socket itself and never reads a byte. libdbus, which
the others use, reads what has come for it while it waits for the bus to take more; this one holds
everything the bus sends it unread for as long as it lives. Calls with string arguments or none, on a
unix socket bus; not with --read-on-input.
"""

import argparse
import os
import resource
import socket
import struct
import sys
import time

import dbus
import dbus.lowlevel


def padded(data, boundary):
    return data + b"\0" * (-len(data) % boundary)


def header_field(code, signature, value):
    """One field of a message header: a byte code and a variant of a string-like value."""
    data = struct.pack("<BB", code, 1) + signature.encode() + b"\0"
    raw = value.encode()
    if signature == "g":
        return data + struct.pack("<B", len(raw)) + raw + b"\0"
    return padded(data, 4) + struct.pack("<I", len(raw)) + raw + b"\0"


def bare_call(serial, destination, path, interface, member, no_reply=False, strings=()):
    """A method call with string arguments, marshalled little-endian by the D-Bus wire format."""
    body = b""
    for text in strings:
        raw = text.encode()
        body = padded(body, 4) + struct.pack("<I", len(raw)) + raw + b"\0"
    fields = b""
    for code, signature, value in ((1, "o", path), (2, "s", interface), (3, "s", member),
                                   (6, "s", destination), (8, "g", "s" * len(strings))):
        if value:
            fields = padded(fields, 8) + header_field(code, signature, value)
    flags = 1 if no_reply else 0
    header = struct.pack("<cBBBIII", b"l", 1, flags, 1, len(body), serial, len(fields)) + fields
    return padded(header, 8) + body


class BareCaller:
    """A connection of its own that says Hello, then only writes."""

    def __init__(self, address):
        transport, _, parameters = address.split(";")[0].partition(":")
        if transport != "unix":
            raise SystemExit("--bare needs a unix socket bus, not " + address)
        keys = dict(part.split("=", 1) for part in parameters.split(","))
        self.socket = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        if "path" in keys:
            self.socket.connect(keys["path"])
        elif "abstract" in keys:
            self.socket.connect("\0" + keys["abstract"])
        else:
            raise SystemExit("--bare needs a path or abstract unix address, not " + address)
        self.socket.sendall(b"\0AUTH EXTERNAL " + str(os.getuid()).encode().hex().encode() + b"\r\n")
        if not self._line().startswith(b"OK"):
            raise SystemExit("the bus did not accept the caller")
        self.socket.sendall(b"BEGIN\r\n")
        self.serial = 1
        self.socket.sendall(bare_call(self.serial, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                      "org.freedesktop.DBus", "Hello"))
        # The Hello answer (and the NameAcquired signal) stay unread too: nothing is ever read again.

    def _line(self):
        line = b""
        while not line.endswith(b"\r\n"):
            byte = self.socket.recv(1)
            if not byte:
                break
            line += byte
        return line

    def send(self, message_of_serial, count):
        batch = b"".join(message_of_serial(self.serial + 1 + i) for i in range(count))
        self.serial += count
        self.socket.sendall(batch)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("address")
    parser.add_argument("dest")
    parser.add_argument("path")
    parser.add_argument("interface")
    parser.add_argument("method")
    parser.add_argument("--callers", type=int, default=1)
    parser.add_argument("--calls", type=int, default=1)
    parser.add_argument("--no-reply", action="store_true")
    parser.add_argument("--seconds", type=float, default=0.0)
    parser.add_argument("--int", type=lambda value: dbus.Int32(int(value)), action="append",
                        dest="arguments", default=[])
    parser.add_argument("--string", type=dbus.String, action="append", dest="arguments")
    parser.add_argument("--read-on-input", action="store_true")
    parser.add_argument("--bare", action="store_true")
    parser.add_argument("--then-leave", nargs=2, metavar=("INTERFACE", "METHOD"))
    options = parser.parse_args()
    if options.bare and (any(not isinstance(a, dbus.String) for a in options.arguments)
                         or options.read_on_input):
        parser.error("--bare sends calls with string arguments only and never reads")

    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    wanted = min(hard, options.callers + 64)
    if soft < wanted:
        resource.setrlimit(resource.RLIMIT_NOFILE, (wanted, hard))

    if options.bare:
        return send_bare(options)
    connections = [dbus.bus.BusConnection(options.address) for _ in range(options.callers)]

    def call():
        message = dbus.lowlevel.MethodCallMessage(
            options.dest, options.path, options.interface, options.method)
        if options.arguments:
            message.append(*options.arguments)
        if options.no_reply:
            message.set_no_reply(True)
        return message

    sent = 0
    if options.calls > 0:
        for _ in range(options.calls):
            for connection in connections:
                connection.send_message(call())
                sent += 1
    else:
        end = time.monotonic() + options.seconds
        while time.monotonic() < end:
            for connection in connections:
                connection.send_message(call())
                sent += 1
    if options.then_leave:
        for connection in connections:
            last = dbus.lowlevel.MethodCallMessage(options.dest, options.path, *options.then_leave)
            last.set_no_reply(True)
            connection.send_message(last)
    for connection in connections:
        connection.flush()
    print("SENT %d" % sent, flush=True)
    if options.then_leave:
        return 0
    # End of input (nobody to say "read") is no word to read.
    if options.read_on_input and sys.stdin.readline():
        print("READING", flush=True)
        while True:
            # Waiting for the bus's answer, libdbus reads everything that came before it.
            for connection in connections:
                connection.call_blocking("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                         "org.freedesktop.DBus", "GetId", "", ())
            time.sleep(0.05)
    # Never reads: the answers stay with the bus, or with the service, until this process ends.
    while True:
        time.sleep(3600)


def send_bare(options):
    callers = [BareCaller(options.address) for _ in range(options.callers)]

    def call(serial):
        return bare_call(serial, options.dest, options.path, options.interface, options.method,
                         options.no_reply, options.arguments)

    sent = 0
    if options.calls > 0:
        for caller in callers:
            for first in range(0, options.calls, 100):
                count = min(100, options.calls - first)
                caller.send(call, count)
                sent += count
    else:
        end = time.monotonic() + options.seconds
        while time.monotonic() < end:
            for caller in callers:
                caller.send(call, 100)
                sent += 100
    print("SENT %d" % sent, flush=True)
    while True:
        time.sleep(3600)


if __name__ == "__main__":
    sys.exit(main())
