#!/usr/bin/python3
"""python-can's ASC writer (Debian's python3-can) on CAN messages the benchmark wrote out: each a little-endian u64
time stamp in ns, u32 identifier, u8 trace flags, u8 channel number, u8 data length, then 64 data bytes of which the
length count. Messages are made in pieces outside the timing; only the writer's calls and its closing are timed.
Prints the seconds and the messages written."""
import struct
import sys
import time

import can

RECORD = struct.Struct("<QIBBB64s")
EXTENDED, FD, BIT_RATE_SWITCH, ERROR_STATE = 0x01, 0x08, 0x20, 0x40
PIECE = 50_000


def messages(data, start, end):
    for offset in range(start * RECORD.size, end * RECORD.size, RECORD.size):
        stamp, identifier, flags, channel, length, payload = RECORD.unpack_from(data, offset)
        yield can.Message(timestamp=stamp / 1e9, arbitration_id=identifier, is_extended_id=bool(flags & EXTENDED),
                          channel=channel - 1, is_fd=bool(flags & FD), bitrate_switch=bool(flags & BIT_RATE_SWITCH),
                          error_state_indicator=bool(flags & ERROR_STATE), dlc=length, data=payload[:length])


def main(source, target):
    with open(source, "rb") as file:
        data = file.read()
    count = len(data) // RECORD.size
    writer = can.ASCWriter(target)
    seconds = 0.0
    for start in range(0, count, PIECE):
        piece = list(messages(data, start, min(count, start + PIECE)))
        began = time.perf_counter()
        for message in piece:
            writer.on_message_received(message)
        seconds += time.perf_counter() - began
    began = time.perf_counter()
    writer.stop()
    seconds += time.perf_counter() - began
    print(f"{seconds:.6f} {count}")


main(sys.argv[1], sys.argv[2])
