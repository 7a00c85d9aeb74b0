#!/usr/bin/python3
"""Write samples/fddi.zlc (link type 10) and samples/null.zlc (link type 0).

Small fixture captures for the FDDI and null/loopback link decoders. The network
payloads are built with scapy (an independent packet builder, so their checksums
are not ours); the link headers and the libpcap 2.4 savefile (little-endian,
microsecond stamps, snap length 65535, wire length = captured length) are packed
here with struct. The output is deterministic.
Usage: make_link_fixtures.py [OUT_DIR]   (default: the samples/ directory)
"""
import os
import struct
import sys

from scapy.all import ARP, ICMP, IP, IPv6, ICMPv6EchoRequest, LLC, STP, UDP, Raw, conf

conf.verb = 0

FDDI_DST = bytes.fromhex("00a0241b7c05")
FDDI_SRC = bytes.fromhex("08002b0a0b0c")
BASE_TIME = 1700000000


def fddi(control, payload=b"", dst=FDDI_DST, src=FDDI_SRC):
    return bytes([control]) + dst + src + payload


def llc_snap(oui, ethertype, payload):
    return bytes([0xAA, 0xAA, 0x03]) + struct.pack(">I", oui)[1:] + struct.pack(">H", ethertype) + payload


def fddi_frames():
    udp = bytes(IP(src="10.1.1.1", dst="10.1.1.2", id=100) / UDP(sport=5000, dport=5001) / Raw(b"hello"))
    icmp = bytes(IP(src="10.1.1.2", dst="10.1.1.1", id=101) / ICMP(type=8, id=7, seq=1) / Raw(b"ping"))
    arp = bytes(ARP(op=1, hwsrc="08:00:2b:0a:0b:0c", psrc="10.1.1.1", pdst="10.1.1.2"))
    stp = bytes(STP(rootid=32768, rootmac="08:00:2b:0a:0b:0c", bridgeid=32768, bridgemac="08:00:2b:0a:0b:0c"))
    return [
        fddi(0x50, llc_snap(0, 0x0800, udp)),                  # async LLC, SNAP, IPv4/UDP
        fddi(0x51, llc_snap(0, 0x0806, arp)),                  # SNAP type without a decoder
        fddi(0x41, bytes(range(20))),                          # SMT Information
        fddi(0xC2, bytes(8)),                                  # MAC Beacon
        fddi(0x80),                                            # token: header only
        fddi(0x50, bytes([0x42, 0x42, 0x03]) + stp),           # LLC to spanning tree
        fddi(0x54, llc_snap(0, 0x0800, icmp)),                 # priority 4, IPv4/ICMP
    ]


def null_frames():
    icmp = bytes(IP(src="127.0.0.1", dst="127.0.0.1", id=1) / ICMP(type=8, id=1, seq=1) / Raw(b"abcd"))
    udp = bytes(IP(src="127.0.0.1", dst="127.0.0.1", id=2) / UDP(sport=4000, dport=4001) / Raw(b"xyz"))
    echo6 = bytes(IPv6(src="::1", dst="::1") / ICMPv6EchoRequest(id=1, seq=1, data=b"v6"))
    udp6 = bytes(IPv6(src="::1", dst="::1") / UDP(sport=4002, dport=4003) / Raw(b"v6udp"))
    ppp_ip = bytes(IP(src="192.0.2.1", dst="192.0.2.2", id=3) / UDP(sport=4004, dport=4005) / Raw(b"ppp"))
    return [
        struct.pack("<I", 2) + icmp,                  # family 2, host (little-endian) order
        struct.pack(">I", 2) + udp,                   # family 2, the other byte order
        struct.pack("<I", 23) + echo6,                # family 23 (IPv6)
        struct.pack(">I", 23) + udp6,                 # family 23, the other byte order
        bytes([0xFF, 0x03, 0x00, 0x21]) + ppp_ip,     # PPP in HDLC framing
        struct.pack("<I", 7) + bytes(10),             # OSI: named, not decoded
        struct.pack("<I", 0x0800) + icmp,             # an EtherType in place of the family
        bytes([0x02, 0x00, 0x00]),                    # shorter than the family field
    ]


def write_pcap(path, link_type, frames):
    out = [struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, link_type)]
    for i, f in enumerate(frames):
        out.append(struct.pack("<IIII", BASE_TIME + i, 1000 * i, len(f), len(f)))
        out.append(f)
    data = b"".join(out)
    tmp = path + ".tmp"
    with open(tmp, "wb") as fh:
        fh.write(data)
    os.replace(tmp, path)
    print(f"{path}: {len(frames)} frames, {len(data)} bytes")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "samples")
    write_pcap(os.path.join(out_dir, "fddi.zlc"), 10, fddi_frames())
    write_pcap(os.path.join(out_dir, "null.zlc"), 0, null_frames())


if __name__ == "__main__":
    main()
