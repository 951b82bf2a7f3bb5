#!/usr/bin/env python3
"""The plainest possible "Read encoders" over a pseudo-terminal: write the
request, block until the 11-byte reply is in, repeat. The yardstick for the
link's own round trip against the same controller.

usage: serial_roundtrip.py DEVICE [COUNT] [--all]
Prints one line: count, median and 99th percentile in microseconds; with
--all, then every round trip, one a line.
"""
import sys
import time

import serial

REQUEST = bytes.fromhex("AA 02 7A 01")
REPLY_LENGTH = 11
WARM_UP = 200


def main():
    device = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
    every = "--all" in sys.argv[3:]
    port = serial.Serial(device, 115200, timeout=1.0)
    port.reset_input_buffer()
    times = []
    for i in range(WARM_UP + count):
        start = time.perf_counter_ns()
        port.write(REQUEST)
        reply = port.read(REPLY_LENGTH)
        end = time.perf_counter_ns()
        if len(reply) != REPLY_LENGTH or reply[0] != 0x55:
            print(f"bad reply {reply.hex(' ')} at request {i}", file=sys.stderr)
            return 1
        if i >= WARM_UP:
            times.append((end - start) / 1000.0)
    port.close()
    ordered = sorted(times)
    median = ordered[len(ordered) // 2]
    p99 = ordered[min(len(ordered) - 1, (len(ordered) * 99) // 100)]
    print(f"python3-serial {count} {median:.1f} {p99:.1f}")
    if every:
        print("\n".join(f"{t:.1f}" for t in times))
    return 0


if __name__ == "__main__":
    sys.exit(main())
