#!/usr/bin/python3
"""Programs on the bus that call a service and never read what comes back: each caller (a
connection of its own) sends its calls as fast as it can and then holds its connection open without
reading, until this process is ended. Prints "SENT <n>" once every caller has sent its calls.

  bus_callers.py ADDRESS DEST PATH INTERFACE METHOD [--callers N] [--calls N] [--no-reply]
                 [--seconds S] [--int ARG | --string ARG]... [--read-on-input]

--calls 0 with --seconds S sends for S seconds; --int adds an int32 argument to every call,
--string a string one, in the order given.
--read-on-input: once a line comes on standard input, every caller reads what has come and goes on
reading (prints "READING").
"""

import argparse
import resource
import sys
import time

import dbus
import dbus.lowlevel


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
    options = parser.parse_args()

    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    wanted = min(hard, options.callers + 64)
    if soft < wanted:
        resource.setrlimit(resource.RLIMIT_NOFILE, (wanted, hard))

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
    for connection in connections:
        connection.flush()
    print("SENT %d" % sent, flush=True)
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


if __name__ == "__main__":
    sys.exit(main())
