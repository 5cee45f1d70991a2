#!/usr/bin/python3
"""Reads ASC files with python-can's reader (Debian's python3-can) and prints every CAN message it finds, one line
each, in the order of the files given: microseconds since the file's trigger block began, channel number, then
"errorframe", or direction, identifier ("x" for an extended one), bit-rate switch, error state and the data bytes."""
import sys

import can

for path in sys.argv[1:]:
    reader = can.ASCReader(path, relative_timestamp=False)
    for message in reader:
        time = round((message.timestamp - reader.start_time) * 1e6)
        channel = message.channel + 1
        if message.is_error_frame:
            print(f"{time} {channel} errorframe")
            continue
        identifier = f"{message.arbitration_id:x}{'x' if message.is_extended_id else ''}"
        print(f"{time} {channel} {'rx' if message.is_rx else 'tx'} {identifier} brs={int(message.bitrate_switch)} "
              f"esi={int(message.error_state_indicator)} {message.data.hex() or '-'}")
