#!/usr/bin/python3
"""Write the fixture captures of the other file forms and link types.

samples/formats.pcapng  pcapng, little-endian: two Ethernet interfaces (the first
                        with nanosecond stamps and a snap length of 96, the second
                        with the default microseconds), one enhanced, one simple
                        (cut to the snap length) and one obsolete packet block, and
                        a name resolution and an interface statistics block among
                        them (which a reader skips by their length).
samples/cooked.zlc      Linux cooked capture v1 (link type 113).
samples/cooked2.zlc     Linux cooked capture v2 (link type 276).
samples/rawip.zlc       raw IP (link type 101), IPv4 and IPv6.

The packets are built with scapy (an independent packet builder); the cooked
headers, pcapng blocks and libpcap 2.4 savefiles (little-endian, microsecond
stamps, snap length 65535) are packed here with struct. The output is
deterministic.
Usage: make_format_fixtures.py [OUT_DIR]   (default: the samples/ directory)
"""
import os
import struct
import sys

from scapy.all import (ARP, ICMP, IP, IPv6, ICMPv6EchoRequest, LLC, STP, TCP, UDP, Ether, Raw, conf)

conf.verb = 0

BASE_TIME = 1700000000
HOST_MAC = bytes.fromhex("001b213a4f01")
PEER_MAC = bytes.fromhex("00500056c008")


# ---- Linux cooked headers ----

def cooked(packet_type, protocol, payload, address=HOST_MAC, device=1):
    """Version 1: packet type, device type, address length, 8-byte address, protocol."""
    return (struct.pack(">HHH", packet_type, device, len(address)) + address.ljust(8, b"\x00")[:8] +
            struct.pack(">H", protocol) + payload)


def cooked2(packet_type, protocol, payload, ifindex=2, address=HOST_MAC, device=1):
    """Version 2: protocol, reserved, interface index, device type, packet type,
    address length, 8-byte address."""
    return (struct.pack(">HHIHBB", protocol, 0, ifindex, device, packet_type, len(address)) +
            address.ljust(8, b"\x00")[:8] + payload)


def udp4(src, dst, sport, dport, data, ident=1):
    return bytes(IP(src=src, dst=dst, id=ident) / UDP(sport=sport, dport=dport) / Raw(data))


def cooked_frames():
    syn = bytes(IP(src="10.0.0.5", dst="10.0.0.9", id=7) / TCP(sport=40000, dport=80, flags="S", seq=1))
    arp = bytes(ARP(op=1, hwsrc="00:50:00:56:c0:08", psrc="10.0.0.9", pdst="10.0.0.5"))
    echo6 = bytes(IPv6(src="::1", dst="::1") / ICMPv6EchoRequest(id=1, seq=1, data=b"v6"))
    stp = bytes(LLC(dsap=0x42, ssap=0x42, ctrl=3) /
                STP(rootid=32768, rootmac="00:50:00:56:c0:08", bridgeid=32768, bridgemac="00:50:00:56:c0:08"))
    return [
        cooked(0, 0x0800, udp4("10.0.0.9", "10.0.0.5", 53, 5353, b"abcd"), address=PEER_MAC),  # to us
        cooked(4, 0x0800, syn),                                                   # sent by us
        cooked(1, 0x0806, arp, address=PEER_MAC),                                 # broadcast ARP
        cooked(0, 0x86DD, echo6, address=bytes(6), device=772),                   # loopback, IPv6
        cooked(2, 0x0004, stp, address=PEER_MAC),                                 # 802.2 LLC frame
        cooked(0, 0x0000, bytes(16), address=b"", device=824),                    # netlink: not decoded
        cooked(3, 0x88CC, bytes(12), address=PEER_MAC),                           # no decoder for the type
        cooked(0, 0x0800, b"")[:10],                                              # header cut short
    ]


def cooked2_frames():
    udp6 = bytes(IPv6(src="fe80::1", dst="fe80::2") / UDP(sport=546, dport=547) / Raw(b"v6udp"))
    arp = bytes(ARP(op=1, hwsrc="00:50:00:56:c0:08", psrc="10.0.0.9", pdst="10.0.0.5"))
    return [
        cooked2(0, 0x0800, udp4("10.0.0.9", "10.0.0.5", 123, 123, b"ntp?"), address=PEER_MAC),
        cooked2(4, 0x86DD, udp6, ifindex=3),
        cooked2(1, 0x0806, arp, address=PEER_MAC),
        cooked2(0, 0x0800, b"")[:15],
    ]


def rawip_frames():
    icmp = bytes(IP(src="192.0.2.1", dst="192.0.2.2", id=5) / ICMP(type=8, id=3, seq=1) / Raw(b"ping"))
    udp6 = bytes(IPv6(src="2001:db8::1", dst="2001:db8::2") / UDP(sport=5000, dport=5001) / Raw(b"six"))
    syn = bytes(IP(src="192.0.2.2", dst="192.0.2.1", id=6) / TCP(sport=8080, dport=1025, flags="SA", seq=9, ack=2))
    return [icmp, udp6, syn, bytes([0x50]) + bytes(19)]


# ---- files ----

def write(path, data):
    tmp = path + ".tmp"
    with open(tmp, "wb") as fh:
        fh.write(data)
    os.replace(tmp, path)


def write_pcap(path, link_type, frames):
    out = [struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, link_type)]
    for i, f in enumerate(frames):
        out.append(struct.pack("<IIII", BASE_TIME + i, 1000 * i, len(f), len(f)))
        out.append(f)
    write(path, b"".join(out))
    print(f"{path}: {len(frames)} frames")


def pad4(b):
    return b + b"\x00" * (-len(b) % 4)


def option(code, value):
    return struct.pack("<HH", code, len(value)) + pad4(value)


def block(kind, body):
    body = pad4(body)
    n = len(body) + 12
    return struct.pack("<II", kind, n) + body + struct.pack("<I", n)


def pcapng_frames():
    a = Ether(src="00:1b:21:3a:4f:01", dst="00:50:56:c0:00:08")
    b = Ether(src="00:50:56:c0:00:08", dst="00:1b:21:3a:4f:01")
    return [
        bytes(a / IP(src="10.1.0.1", dst="10.1.0.2", id=1) / UDP(sport=4000, dport=53) / Raw(b"query")),
        bytes(b / IP(src="10.1.0.2", dst="10.1.0.1", id=2) / ICMP(type=0, id=1, seq=1) / Raw(b"x" * 120)),
        bytes(a / IP(src="10.1.0.1", dst="10.1.0.2", id=3) / TCP(sport=1025, dport=80, flags="S", seq=5)),
    ]


def write_pcapng(path):
    epb_frame, spb_frame, opb_frame = pcapng_frames()
    shb = block(0x0A0D0D0A, struct.pack("<IHHq", 0x1A2B3C4D, 1, 0, -1) +
                option(4, b"make_format_fixtures") + option(0, b""))
    # Interface 0: nanoseconds (if_tsresol 9), snap length 96; interface 1: default microseconds.
    idb0 = block(1, struct.pack("<HHI", 1, 0, 96) + option(2, b"eth0") + option(9, b"\x09") + option(0, b""))
    idb1 = block(1, struct.pack("<HHI", 1, 0, 0) + option(2, b"eth1"))
    ns = (BASE_TIME + 10) * 1000000000 + 123456789  # shown as .123456
    epb = block(6, struct.pack("<IIIII", 0, ns >> 32, ns & 0xFFFFFFFF, len(epb_frame), len(epb_frame)) +
                pad4(epb_frame) + option(2, struct.pack("<I", 1)) + option(0, b""))
    nrb = block(4, struct.pack("<HH", 1, 14) + bytes([10, 1, 0, 2]) + b"dns.test\x00\x00" + struct.pack("<HH", 0, 0))
    # A simple packet block has no interface field and no time: interface 0, whose
    # snap length cuts the packet.
    spb = block(3, struct.pack("<I", len(spb_frame)) + spb_frame[:96])
    us = (BASE_TIME + 11) * 1000000 + 654321
    opb = block(2, struct.pack("<HHIIII", 1, 0, us >> 32, us & 0xFFFFFFFF, len(opb_frame), len(opb_frame)) +
                opb_frame)
    isb = block(5, struct.pack("<III", 1, us >> 32, us & 0xFFFFFFFF) + option(0, b""))
    write(path, shb + idb0 + idb1 + epb + nrb + spb + opb + isb)
    print(f"{path}: 3 packet blocks")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "samples")
    write_pcapng(os.path.join(out_dir, "formats.pcapng"))
    write_pcap(os.path.join(out_dir, "cooked.zlc"), 113, cooked_frames())
    write_pcap(os.path.join(out_dir, "cooked2.zlc"), 276, cooked2_frames())
    write_pcap(os.path.join(out_dir, "rawip.zlc"), 101, rawip_frames())


if __name__ == "__main__":
    main()
