#!/usr/bin/python3
"""Write the fuzz seed corpus from the sample captures.

fuzz/corpus/decode: one file per frame of every sample capture, the first byte
naming the link type (0 null, 1 Ethernet, 2 PPP, 3 FDDI; bit 2 set = frame 1).
fuzz/corpus/capture_file: small capture files, well-formed and broken.
Usage: make_seeds.py
"""
import glob
import os
import struct

TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
LINK_INDEX = {0: 0, 1: 1, 9: 2, 10: 3}


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
    for path in sorted(glob.glob(os.path.join(TOP, "samples", "*.zlc"))):
        stem = os.path.splitext(os.path.basename(path))[0]
        link, frames = read_pcap(path)
        for i, (_, _, b) in enumerate(frames):
            prefix = LINK_INDEX.get(link, 1) | (4 if i == 0 else 0)
            write(decode_dir, "%s-%03d" % (stem, i + 1), bytes([prefix]) + b)
    link, frames = read_pcap(os.path.join(TOP, "samples", "sample.zlc"))
    few = frames[:6]
    whole = pcap(link, few)
    write(file_dir, "pcap-six-frames", whole)
    write(file_dir, "pcap-header-only", whole[:24])
    write(file_dir, "pcap-cut-in-record-header", whole[:24 + 7])
    write(file_dir, "pcap-cut-in-frame-data", whole[:24 + 16 + 10])
    write(file_dir, "pcap-swapped-magic", struct.pack(">IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 1) + whole[24:])
    write(file_dir, "pcap-huge-length", whole[:24] + struct.pack("<IIII", 1, 2, 0xFFFFFFF0, 0xFFFFFFF0) + b"\x00" * 32)
    write(file_dir, "legacy1", legacy(1, few))
    write(file_dir, "legacy2", legacy(2, few))
    write(file_dir, "legacy1-understated-count", legacy(1, few)[:8] + struct.pack("<H", 2) + legacy(1, few)[10:])


if __name__ == "__main__":
    main()
