#!/usr/bin/env python3
"""An independent reader of MDF 4.10 files, written from the format's block definitions with the standard library
only: it checks the identification block, every block reachable from the header (identifier, reserved bytes,
length, 8-byte alignment, no overlap, the kinds each link may point to), the data lists and compressed blocks, and
the channel layout, then decodes every record. It prints what it read, one item per line, for the tests to compare;
a file that breaks the format makes it print "ERROR: ..." lines and exit with status 1.

Usage: mdf_check.py FILE
"""
import struct
import sys
import xml.etree.ElementTree as ET
import zlib

ERRORS = []

# Links each block kind has, with the kinds each may point to (None: any list of trailing links, checked apart).
LINKS = {
    b"HD": [("dg_first", {b"DG"}), ("fh_first", {b"FH"}), ("ch_first", {b"CH"}), ("at_first", {b"AT"}),
            ("ev_first", {b"EV"}), ("comment", {b"TX", b"MD"})],
    b"FH": [("fh_next", {b"FH"}), ("comment", {b"MD"})],
    b"DG": [("dg_next", {b"DG"}), ("cg_first", {b"CG"}), ("data", {b"DT", b"DZ", b"DL", b"HL"}),
            ("comment", {b"TX", b"MD"})],
    b"CG": [("cg_next", {b"CG"}), ("cn_first", {b"CN"}), ("acq_name", {b"TX"}), ("acq_source", {b"SI"}),
            ("sr_first", {b"SR"}), ("comment", {b"TX", b"MD"})],
    b"CN": [("cn_next", {b"CN"}), ("composition", {b"CN", b"CA"}), ("name", {b"TX"}), ("source", {b"SI"}),
            ("conversion", {b"CC"}), ("data", {b"SD", b"DZ", b"DL", b"HL", b"CN"}), ("unit", {b"TX", b"MD"}),
            ("comment", {b"TX", b"MD"})],
    b"CC": [("name", {b"TX"}), ("unit", {b"TX", b"MD"}), ("comment", {b"TX", b"MD"}), ("inverse", {b"CC"})],
    b"SI": [("name", {b"TX"}), ("path", {b"TX"}), ("comment", {b"TX", b"MD"})],
    b"EV": [("ev_next", {b"EV"}), ("parent", {b"EV"}), ("range", {b"EV"}), ("name", {b"TX"}),
            ("comment", {b"TX", b"MD"})],
    b"HL": [("dl_first", {b"DL"})],
    b"DL": [("dl_next", {b"DL"})],
    b"TX": [], b"MD": [], b"DT": [], b"SD": [], b"DZ": [],
}
# Fixed data section sizes (the kinds whose data section grows are checked where they are read).
DATA_SIZE = {b"HD": 32, b"FH": 16, b"DG": 8, b"CG": 32, b"CN": 72, b"SI": 8, b"HL": 8}
SYNC_FACTOR_NS = 0x3E112E0BE826D695


def error(text):
    ERRORS.append(text)


class Block:
    def __init__(self, kind, position, length, links, data):
        self.kind, self.position, self.length, self.links, self.data = kind, position, length, links, data


class MdfFile:
    def __init__(self, raw):
        self.raw = raw
        self.blocks = {}

    def block(self, position, allowed=None, where=""):
        if position == 0:
            return None
        if position in self.blocks:
            found = self.blocks[position]
            if allowed is not None and found.kind not in allowed:
                error(f"{where}: link to {found.kind!r} at {position}, expected one of {sorted(allowed)}")
            return found
        if position % 8:
            error(f"{where}: block at {position} is not 8-byte aligned")
        if position < 64 or position + 24 > len(self.raw):
            error(f"{where}: link {position} outside the file")
            return None
        ident, reserved, length, link_count = struct.unpack_from("<4sIQQ", self.raw, position)
        if ident[:2] != b"##" or ident[2:] not in LINKS:
            error(f"{where}: no known block at {position}: {ident!r}")
            return None
        kind = ident[2:]
        if allowed is not None and kind not in allowed:
            error(f"{where}: link to {kind!r} at {position}, expected one of {sorted(allowed)}")
        if reserved != 0:
            error(f"{kind!r} at {position}: reserved bytes {reserved:#x}")
        if length < 24 + 8 * link_count or position + length > len(self.raw):
            error(f"{kind!r} at {position}: length {length} with {link_count} links does not fit")
            return None
        links = list(struct.unpack_from(f"<{link_count}Q", self.raw, position + 24))
        data = self.raw[position + 24 + 8 * link_count:position + length]
        found = Block(kind, position, length, links, data)
        self.blocks[position] = found
        if kind in DATA_SIZE and len(data) != DATA_SIZE[kind]:
            error(f"{kind!r} at {position}: data section of {len(data)} bytes, expected {DATA_SIZE[kind]}")
        fixed = LINKS[kind]
        if kind not in (b"CC", b"EV", b"DL") and link_count != len(fixed):
            error(f"{kind!r} at {position}: {link_count} links, expected {len(fixed)}")
        return found

    def link(self, owner, index):
        name, allowed = LINKS[owner.kind][index]
        if index >= len(owner.links):
            return None
        return self.block(owner.links[index], allowed, f"{owner.kind.decode()}@{owner.position}.{name}")

    def text(self, owner, index):
        found = self.link(owner, index)
        if found is None:
            return None
        if found.kind not in (b"TX", b"MD"):
            return None
        if len(found.data) % 8 or b"\0" not in found.data:
            error(f"{found.kind!r} at {found.position}: text not zero-terminated in a multiple of 8 bytes")
        value = found.data.split(b"\0", 1)[0].decode("utf-8")
        if found.kind == b"MD":
            try:
                ET.fromstring(value)
            except ET.ParseError as failure:
                error(f"MD at {found.position} is not XML ({failure}): {value!r}")
        return value

    def check_overlaps(self):
        previous_end, previous = 0, None
        for position in sorted(self.blocks):
            found = self.blocks[position]
            if position < previous_end:
                error(f"{found.kind!r} at {position} overlaps {previous.kind!r} at {previous.position}")
            previous_end, previous = position + found.length, found


def data_stream(mdf, first, expected_kind, where):
    """The bytes of a data group's records or a channel's signal data, through HL, DL, DZ, DT and SD blocks."""
    if first is None:
        return b""
    if first.kind in (b"DT", b"SD"):
        if first.kind != expected_kind:
            error(f"{where}: {first.kind!r} where {expected_kind!r} data belong")
        return first.data
    if first.kind == b"DZ":
        return inflate(first, expected_kind, where)
    if first.kind == b"HL":
        flags, zip_type = struct.unpack_from("<HB", first.data)
        if flags != 0 or zip_type != 0:
            error(f"HL at {first.position}: flags {flags}, zip type {zip_type}")
        first = mdf.link(first, 0)
        if first is None:
            error(f"{where}: HL without a data list")
            return b""
    stream = bytearray()
    seen = set()
    while first is not None:
        if first.kind != b"DL":
            error(f"{where}: {first.kind!r} in a data list chain")
            break
        if first.position in seen:
            error(f"{where}: data list chain loops at {first.position}")
            break
        seen.add(first.position)
        flags = first.data[0]
        count = struct.unpack_from("<I", first.data, 4)[0]
        if flags & 1:
            error(f"DL at {first.position}: equal-length flag, expected offsets")
        if count != len(first.links) - 1 or len(first.data) != 8 + 8 * count:
            error(f"DL at {first.position}: {count} blocks, {len(first.links) - 1} data links, "
                  f"{len(first.data)} data bytes")
            break
        offsets = struct.unpack_from(f"<{count}Q", first.data, 8)
        for index in range(count):
            if offsets[index] != len(stream):
                error(f"DL at {first.position}: offset {index} is {offsets[index]}, the stream holds {len(stream)}")
            block = mdf.block(first.links[1 + index], {b"DT", b"SD", b"DZ"}, f"DL@{first.position}.data")
            if block is None:
                error(f"DL at {first.position}: data link {index} is empty")
                continue
            stream += inflate(block, expected_kind, where) if block.kind == b"DZ" else plain(block, expected_kind,
                                                                                             where)
        first = mdf.link(first, 0)
    return bytes(stream)


def plain(block, expected_kind, where):
    if block.kind != expected_kind:
        error(f"{where}: {block.kind!r} at {block.position} where {expected_kind!r} data belong")
    return block.data


def inflate(block, expected_kind, where):
    original, zip_type, _, parameter, original_length, length = struct.unpack_from("<2sBBIQQ", block.data)
    if original != expected_kind:
        error(f"{where}: DZ at {block.position} holds {original!r}, expected {expected_kind!r}")
    if zip_type != 0 or parameter != 0:
        error(f"DZ at {block.position}: zip type {zip_type}, parameter {parameter}")
    if 24 + length != len(block.data):
        error(f"DZ at {block.position}: {length} compressed bytes in a {len(block.data) - 24}-byte section")
    try:
        inflated = zlib.decompress(block.data[24:24 + length])
    except zlib.error as failure:
        error(f"DZ at {block.position}: does not inflate: {failure}")
        return b""
    if len(inflated) != original_length:
        error(f"DZ at {block.position}: inflates to {len(inflated)} bytes, expected {original_length}")
    return inflated


class Channel:
    def __init__(self, mdf, block):
        self.block = block
        (self.type, self.sync, self.data_type, self.bit_offset, self.byte_offset, self.bit_count, self.flags,
         _, _, _, _) = struct.unpack_from("<BBBBIIIIBBH", block.data)
        self.name = mdf.text(block, 2)
        self.unit = mdf.text(block, 6)
        self.comment = mdf.text(block, 7)
        self.conversion = conversion(mdf, mdf.link(block, 4))
        self.data = block.links[5]
        self.members = []
        member = mdf.link(block, 1)
        while member is not None:
            self.members.append(Channel(mdf, member))
            member = mdf.link(member, 0)

    def describe(self):
        text = (f"CHANNEL {self.name} type={self.type} sync={self.sync} dtype={self.data_type} "
                f"bit={self.byte_offset}.{self.bit_offset} bits={self.bit_count} flags={self.flags:#x}")
        if self.conversion:
            text += " conv=" + self.conversion.describe()
        if self.unit:
            text += f" unit={self.unit}"
        return text

    def raw(self, record):
        if self.type == 6:
            return None
        end_bit = self.bit_offset + self.bit_count
        chunk = record[self.byte_offset:self.byte_offset + (end_bit + 7) // 8]
        if len(chunk) * 8 < end_bit:
            error(f"channel {self.name} reaches past its {len(record)}-byte record")
            return None
        # A variable-length channel holds the offset of its value in the signal data, whatever the value's type.
        if self.data_type == 10 and self.type != 1:
            return chunk[:self.bit_count // 8]
        if self.data_type == 4:
            return struct.unpack_from("<d" if self.bit_count == 64 else "<f", chunk)[0]
        return (int.from_bytes(chunk, "little") >> self.bit_offset) & ((1 << self.bit_count) - 1)


class Conversion:
    def __init__(self, kind, values, texts):
        self.kind, self.values, self.texts = kind, values, texts

    def describe(self):
        if self.kind == 1:
            return f"linear({self.values[0]!r},{self.values[1]!r})"
        rows = ",".join(f"{value:g}:{text}" for value, text in zip(self.values, self.texts))
        return f"table({rows};default={self.texts[-1]})"

    def apply(self, value):
        if self.kind == 1:
            return self.values[0] + self.values[1] * value
        for key, text in zip(self.values, self.texts):
            if key == value:
                return text
        return self.texts[-1]


def conversion(mdf, block):
    if block is None:
        return None
    kind, _, flags, ref_count, value_count, _, _ = struct.unpack_from("<BBHHHdd", block.data)
    if len(block.links) != 4 + ref_count or len(block.data) != 24 + 8 * value_count:
        error(f"CC at {block.position}: {len(block.links)} links for {ref_count} references, "
              f"{len(block.data)} data bytes for {value_count} values")
        return None
    values = struct.unpack_from(f"<{value_count}d", block.data, 24)
    texts = []
    for index in range(ref_count):
        target = mdf.block(block.links[4 + index], {b"TX", b"MD", b"CC"}, f"CC@{block.position}.ref")
        texts.append(None if target is None else target.data.split(b"\0", 1)[0].decode())
    if kind == 1 and value_count != 2:
        error(f"CC at {block.position}: linear with {value_count} values")
    if kind == 7 and ref_count != value_count + 1:
        error(f"CC at {block.position}: value to text with {value_count} values and {ref_count} references")
    if kind not in (1, 7):
        error(f"CC at {block.position}: conversion type {kind} not expected")
    return Conversion(kind, values, texts)


def signal_entries(stream, where):
    """The offsets at which the values of a signal-data stream start, each a u32 length and that many bytes."""
    entries, offset = {}, 0
    while offset < len(stream):
        if offset + 4 > len(stream):
            error(f"{where}: signal data ends inside a length")
            break
        length = struct.unpack_from("<I", stream, offset)[0]
        if offset + 4 + length > len(stream):
            error(f"{where}: signal value at {offset} runs past the stream")
            break
        entries[offset] = stream[offset + 4:offset + 4 + length]
        offset += 4 + length
    return entries


def value_text(channel, value):
    if isinstance(value, (bytes, bytearray)):
        return value.hex() or "-"
    if channel.conversion is not None and channel.conversion.kind == 7:
        return f"{value}({channel.conversion.apply(value)})"
    return repr(value) if isinstance(value, float) else str(value)


def read_group(mdf, group_index, dg, out):
    record_id_size = dg.data[0]
    if record_id_size != 0:
        error(f"DG at {dg.position}: record id size {record_id_size}")
    cg = mdf.link(dg, 1)
    if cg is None:
        error(f"DG at {dg.position} has no channel group")
        return
    if mdf.link(cg, 0) is not None:
        error(f"DG at {dg.position}: more than one channel group in an unsorted group")
    record_id, cycles, flags, separator, data_bytes, invalidation = struct.unpack_from("<QQHH4xII", cg.data)
    acquisition = mdf.text(cg, 2)
    source = mdf.link(cg, 3)
    source_text = "-"
    if source is not None:
        source_type, bus_type = source.data[0], source.data[1]
        name = mdf.text(source, 0)
        comment = mdf.text(source, 2)
        number = "-"
        if comment:
            for element in ET.fromstring(comment).iter("e"):
                if element.get("name") == "ChannelNo":
                    number = element.text
        source_text = f"{name} sourcetype={source_type} bustype={bus_type} channelno={number}"
    out.append(f"GROUP {group_index} acq={acquisition} source={source_text} flags={flags} "
               f"separator={separator:#x} recordbytes={data_bytes} invalbytes={invalidation} cycles={cycles}")
    channels = []
    channel = mdf.link(cg, 1)
    while channel is not None:
        channels.append(Channel(mdf, channel))
        channel = mdf.link(channel, 0)
    flat = []
    for channel in channels:
        out.append(channel.describe())
        flat.append(channel)
        for member in channel.members:
            out.append("  " + member.describe())
            flat.append(member)
            end = 8 * member.byte_offset + member.bit_offset + member.bit_count
            if member.type != 6 and (8 * member.byte_offset + member.bit_offset < 8 * channel.byte_offset or
                                     end > 8 * channel.byte_offset + channel.bit_offset + channel.bit_count):
                error(f"member {member.name} lies outside its frame channel {channel.name}")
    for channel in flat:
        if channel.type != 6 and 8 * channel.byte_offset + channel.bit_offset + channel.bit_count > 8 * data_bytes:
            error(f"channel {channel.name} reaches past the {data_bytes}-byte record")
    records = data_stream(mdf, mdf.link(dg, 2), b"DT", f"DG@{dg.position}")
    if data_bytes == 0 or len(records) != cycles * data_bytes:
        error(f"DG at {dg.position}: {len(records)} record bytes for {cycles} records of {data_bytes} bytes")
        return
    signal_data = {}
    for channel in flat:
        if channel.type == 1:
            target = mdf.block(channel.data, {b"SD", b"DZ", b"DL", b"HL"}, f"CN {channel.name}.data")
            signal_data[channel.name] = signal_entries(data_stream(mdf, target, b"SD", channel.name), channel.name)
        elif channel.type == 5:
            size = mdf.block(channel.data, {b"CN"}, f"CN {channel.name}.data")
            channel.size_channel = next((c for c in flat if size is not None and c.block is size), None)
            if channel.size_channel is None:
                error(f"maximum-length channel {channel.name} without its size channel")
    for index in range(cycles):
        record = records[index * data_bytes:(index + 1) * data_bytes]
        fields = []
        for channel in flat:
            if channel.type == 6:
                value = channel.conversion.apply(index) if channel.conversion else index
                fields.append(f"{channel.name}={value_text(channel, value)}")
                continue
            value = channel.raw(record)
            if channel.members:
                continue
            if channel.type == 1:
                entries = signal_data.get(channel.name, {})
                if value not in entries:
                    error(f"record {index} of {acquisition}: {channel.name} offset {value} starts no signal value")
                    value = b""
                else:
                    value = entries[value]
            elif channel.type == 5 and getattr(channel, "size_channel", None) is not None:
                value = value[:channel.size_channel.raw(record)]
            fields.append(f"{channel.name}={value_text(channel, value)}")
        out.append(f"RECORD {index} " + " ".join(fields))


def read_events(mdf, hd, out):
    positions, events = {}, []
    event = mdf.link(hd, 4)
    while event is not None:
        if event.position in positions:
            error(f"event list loops at {event.position}")
            break
        positions[event.position] = len(events)
        events.append(event)
        event = mdf.link(event, 0)
    for index, event in enumerate(events):
        kind, sync, range_type, cause, flags, scope_count, _, _, base, factor = struct.unpack_from(
            "<BBBBB3xIHHqd", event.data)
        if len(event.data) != 32 or len(event.links) != 5 + scope_count:
            error(f"EV at {event.position}: {len(event.links)} links for {scope_count} scopes")
        if sync != 1 or struct.unpack("<Q", struct.pack("<d", factor))[0] != SYNC_FACTOR_NS:
            error(f"EV at {event.position}: sync type {sync}, factor {factor!r}")
        parent = mdf.link(event, 1)
        range_event = mdf.link(event, 2)
        scopes = []
        for link in event.links[5:]:
            scope = mdf.block(link, {b"CG", b"CN"}, f"EV@{event.position}.scope")
            if scope is not None and scope.kind == b"CG":
                scopes.append(mdf.text(scope, 2) or "-")
        out.append(f"EVENT {index} type={kind} range={range_type} cause={cause} time={base} "
                   f"name={mdf.text(event, 3)} parent={positions.get(parent.position) if parent else '-'} "
                   f"rangeevent={positions.get(range_event.position) if range_event else '-'} "
                   f"scopes={','.join(scopes) or '-'}")


def read(raw):
    out = []
    if len(raw) < 64:
        error("file shorter than its identification block")
        return out
    file_id, format_id, program = raw[0:8], raw[8:16], raw[16:24]
    version, = struct.unpack_from("<H", raw, 28)
    standard, custom = struct.unpack_from("<HH", raw, 60)
    if file_id not in (b"MDF     ", b"UnFinMF ") or format_id != b"4.10    " or version != 410:
        error(f"identification block: {file_id!r} {format_id!r} {version}")
    out.append(f"ID {file_id.decode().strip()} {program.rstrip(bytes(1)).decode()} {version} "
               f"unfinalized={standard},{custom}")
    mdf = MdfFile(raw)
    hd = mdf.block(64, {b"HD"}, "identification block")
    if hd is None:
        return out
    start, = struct.unpack_from("<Q", hd.data)
    comment = mdf.text(hd, 5)
    out.append(f"HD start={start} comment={comment.replace(chr(10), '|') if comment else None}")
    history = mdf.link(hd, 1)
    while history is not None:
        out.append(f"FH comment={mdf.text(history, 1)}")
        history = mdf.link(history, 0)
    read_events(mdf, hd, out)
    dg = mdf.link(hd, 0)
    index, seen = 0, set()
    while dg is not None and dg.position not in seen:
        seen.add(dg.position)
        read_group(mdf, index, dg, out)
        index += 1
        dg = mdf.link(dg, 0)
    mdf.check_overlaps()
    return out


def main():
    with open(sys.argv[1], "rb") as file:
        raw = file.read()
    try:
        lines = read(raw)
    except (struct.error, UnicodeDecodeError, ET.ParseError) as failure:
        error(f"unreadable: {failure!r}")
        lines = []
    for line in lines:
        print(line)
    for line in ERRORS:
        print("ERROR: " + line)
    return 1 if ERRORS else 0


if __name__ == "__main__":
    sys.exit(main())
