"""What the Python tests under Wine share: the C++ tests' tests/support/wine_support.h.

wine_fact marks where Wine 8 does otherwise than Windows and a test accepts what Wine does: a
test states both behaviours where it relies on them; each is said once in the run's output."""

import struct
import time

_said = set()


def wine_fact(windows, wine):
    if (windows, wine) in _said:
        return
    _said.add((windows, wine))
    print(f"[ WINE FACT ] Windows: {windows}.\n              Wine: {wine}.", flush=True)


def log(message):
    print(message, flush=True)


def polled(read, good, timeout=10):
    """What `read()` gives once `good` holds of it, or what it gives after `timeout` seconds:
    for a check that then says what it saw."""
    deadline = time.monotonic() + timeout
    while True:
        value = read()
        if good(value) or time.monotonic() >= deadline:
            return value
        time.sleep(0.05)


def wait_for(condition, what, timeout=15):
    """Polls `condition` until it gives something true, and gives that; fails after `timeout`
    seconds, saying what was not seen."""
    value = polled(condition, bool, timeout)
    if not value:
        raise AssertionError(f"{what}: not seen within {timeout} s")
    return value


def pe_bits(path):
    """32 or 64 for a Windows program whose PE machine and optional header agree (i386 with
    PE32, x86-64 with PE32+); None for anything else."""
    with open(path, "rb") as f:
        data = f.read(4096)
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    machine, = struct.unpack_from("<H", data, offset + 4)
    magic, = struct.unpack_from("<H", data, offset + 24)
    return {(0x014C, 0x010B): 32, (0x8664, 0x020B): 64}.get((machine, magic))
