#!/usr/bin/python3
"""Write the fuzz seed corpus from the sample captures.

fuzz/corpus/decode: one file per frame of every sample capture, the first byte
naming the link type (bits 0-1 and 3: 0 null, 1 Ethernet, 2 PPP, 3 FDDI, 8 Linux
cooked, 9 Linux cooked v2, 10 raw IP, 11 raw IPv6; bit 2 set = frame 1; bit 4
set = detail tree, clear = text export; every other frame takes each).
fuzz/corpus/capture_file: small capture files, well-formed and broken: libpcap
in its four forms, pcapng (both byte orders, every packet block, several
sections and link types, cut and inconsistent blocks) and the legacy formats.
Each starts with the harness's choice byte: written and read back (bit 0), the
marked frames or, for every other file, all of them (bit 1).
Usage: make_seeds.py
"""
import glob
import os
import struct

TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
LINK_INDEX = {0: 0, 1: 1, 9: 2, 10: 3, 113: 8, 276: 9, 101: 10, 229: 11}


def read_pcap(path):
    data = open(path, "rb").read()
    magic, _, _, _, _, _, link = struct.unpack("<IHHiIII", data[:24])
    assert magic == 0xA1B2C3D4
    frames, pos = [], 24
    while pos + 16 <= len(data):
        sec, usec, caplen, _ = struct.unpack("<IIII", data[pos:pos + 16])
        frames.append((sec, usec, data[pos + 16:pos + 16 + caplen]))
        pos += 16 + caplen
    return link, frames


def pcap(link, frames):
    out = struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, link)
    for sec, usec, b in frames:
        out += struct.pack("<IIII", sec, usec, len(b), len(b)) + b
    return out


def pcap_form(link, frames, big=False, nano=False):
    """The libpcap forms other writers use: big-endian, nanosecond stamps."""
    e = ">" if big else "<"
    out = struct.pack(e + "IHHiIII", 0xA1B23C4D if nano else 0xA1B2C3D4, 2, 4, 0, 0, 65535, link)
    for sec, usec, b in frames:
        out += struct.pack(e + "IIII", sec, usec * 1000 + 7 if nano else usec, len(b), len(b)) + b
    return out


def pad4(b):
    return b + b"\x00" * (-len(b) % 4)


def ng_block(kind, body, e="<", trailer_delta=0):
    body = pad4(body)
    n = len(body) + 12
    return struct.pack(e + "II", kind, n) + body + struct.pack(e + "I", n + trailer_delta)


def ng_option(code, value, e="<"):
    return struct.pack(e + "HH", code, len(value)) + pad4(value)


def ng_section(e="<"):
    return ng_block(0x0A0D0D0A, struct.pack(e + "IHHq", 0x1A2B3C4D, 1, 0, -1), e)


def ng_interface(link, e="<", snap=0, resolution=None):
    opts = b""
    if resolution is not None:
        opts = ng_option(9, bytes([resolution]), e) + ng_option(0, b"", e)
    return ng_block(1, struct.pack(e + "HHI", link, 0, snap) + opts, e)


def ng_enhanced(iface, units, b, e="<"):
    return ng_block(6, struct.pack(e + "IIIII", iface, units >> 32, units & 0xFFFFFFFF, len(b), len(b)) + pad4(b) +
                    ng_option(1, b"seed", e) + ng_option(0, b"", e), e)


def ng_obsolete(iface, units, b, e="<"):
    return ng_block(2, struct.pack(e + "HHIIII", iface, 0, units >> 32, units & 0xFFFFFFFF, len(b), len(b)) + b, e)


def ng_simple(b, e="<"):
    return ng_block(3, struct.pack(e + "I", len(b)) + b, e)


def pcapng(link, frames, e="<"):
    """One section: two interfaces of the link type (microseconds, nanoseconds);
    the frames in turn as enhanced, simple and obsolete packet blocks, with a
    name resolution and a statistics block among them."""
    out = ng_section(e) + ng_interface(link, e) + ng_interface(link, e, 128, 9)
    for i, (sec, usec, b) in enumerate(frames):
        kind = i % 3
        if kind == 0:
            out += ng_enhanced(0, sec * 1000000 + usec, b, e)
        elif kind == 1:
            out += ng_simple(b, e) + ng_block(4, struct.pack(e + "HH", 0, 0), e)
        else:
            out += ng_obsolete(1, sec * 1000000000 + usec * 1000, b, e) + ng_block(5, bytes(16), e)
    return out


def legacy(version, frames):
    body = b"".join(struct.pack("<III", s, u, len(b)) + b for s, u, b in frames)
    if version == 1:
        return b"abcdefg\x00" + struct.pack("<HI", len(frames), len(body)) + body
    return b"abcdev2\x00" + struct.pack("<II", len(body), len(frames)) + body


def write(directory, name, data):
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, name), "wb") as f:
        f.write(data)


def main():
    decode_dir = os.path.join(TOP, "fuzz", "corpus", "decode")
    file_dir = os.path.join(TOP, "fuzz", "corpus", "capture_file")
    for old in glob.glob(os.path.join(decode_dir, "*")) + glob.glob(os.path.join(file_dir, "*")):
        os.remove(old)
    written = [0]

    def write_file(name, data):
        written[0] += 1
        write(file_dir, name, bytes([1 | (2 if written[0] % 2 == 0 else 0)]) + data)

    for path in sorted(glob.glob(os.path.join(TOP, "samples", "*.zlc"))):
        stem = os.path.splitext(os.path.basename(path))[0]
        link, frames = read_pcap(path)
        for i, (_, _, b) in enumerate(frames):
            prefix = LINK_INDEX.get(link, 1) | (4 if i == 0 else 0) | (16 if i % 2 == 0 else 0)
            write(decode_dir, "%s-%03d" % (stem, i + 1), bytes([prefix]) + b)
    link, frames = read_pcap(os.path.join(TOP, "samples", "sample.zlc"))
    few = frames[:6]
    whole = pcap(link, few)
    write_file("pcap-six-frames", whole)
    write_file("pcap-header-only", whole[:24])
    write_file("pcap-cut-in-record-header", whole[:24 + 7])
    write_file("pcap-cut-in-frame-data", whole[:24 + 16 + 10])
    write_file("pcap-swapped-magic", struct.pack(">IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 1) + whole[24:])
    write_file("pcap-huge-length", whole[:24] + struct.pack("<IIII", 1, 2, 0xFFFFFFF0, 0xFFFFFFF0) + b"\x00" * 32)
    write_file("pcap-big-endian", pcap_form(link, few, big=True))
    write_file("pcap-nanosecond", pcap_form(link, few, nano=True))
    write_file("pcap-nanosecond-big-endian", pcap_form(link, few, big=True, nano=True))
    ng = pcapng(link, few)
    write_file("pcapng-six-frames", ng)
    write_file("pcapng-big-endian", pcapng(link, few, ">"))
    write_file("pcapng-sections", pcapng(link, few[:3]) + pcapng(link, few[3:], ">"))
    write_file("pcapng-two-link-types",
          ng_section() + ng_interface(link) + ng_interface(113) + ng_interface(101, resolution=0x94) +
          b"".join(ng_enhanced(i % 3, 1000 * i, b) for i, (_, _, b) in enumerate(few)))
    write_file("pcapng-cut-in-block", ng[:len(ng) - 9])
    write_file("pcapng-trailer-differs",
          ng_section() + ng_interface(link) + ng_block(6, struct.pack("<IIIII", 0, 0, 0, 4, 4) + b"abcd",
                                                       trailer_delta=4))
    write_file("pcapng-huge-lengths",
          ng_section() + ng_interface(link) + struct.pack("<IIIIIII", 6, 0xFFFFFFF0, 0, 0, 0, 0xFFFFFFF0, 64))
    for path in sorted(glob.glob(os.path.join(TOP, "samples", "*.pcapng"))):
        write_file("sample-" + os.path.basename(path), open(path, "rb").read())
    write_file("legacy1", legacy(1, few))
    write_file("legacy2", legacy(2, few))
    write_file("legacy1-understated-count", legacy(1, few)[:8] + struct.pack("<H", 2) + legacy(1, few)[10:])


if __name__ == "__main__":
    main()
