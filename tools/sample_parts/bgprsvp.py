"""BGP and RSVP frames for samples/routing.zlc.

The messages are packed by hand (struct) from their RFC layouts so every field is
fixed and visible here; scapy builds the Ethernet, IP and TCP around them.
"""
import socket
import struct

from scapy.all import IP, TCP, Ether, Raw

R1_MAC = "00:0d:b9:41:6a:10"
R2_MAC = "00:0d:b9:41:6a:20"
R1 = "10.0.12.1"
R2 = "10.0.12.2"
MARKER = b"\xff" * 16


def ip4(text):
    return socket.inet_aton(text)


def bgp(msg_type, body=b""):
    return MARKER + struct.pack(">HB", 19 + len(body), msg_type) + body


def attr(flags, code, value):
    if flags & 0x10:
        return struct.pack(">BBH", flags, code, len(value)) + value
    return struct.pack(">BBB", flags, code, len(value)) + value


def prefix4(text, bits):
    return bytes([bits]) + ip4(text)[:(bits + 7) // 8]


def prefix6(text, bits):
    return bytes([bits]) + socket.inet_pton(socket.AF_INET6, text)[:(bits + 7) // 8]


def bgp_open():
    caps = (b"\x01\x04\x00\x01\x00\x01"      # multiprotocol IPv4 unicast
            + b"\x01\x04\x00\x02\x00\x01"    # multiprotocol IPv6 unicast
            + b"\x02\x00"                    # route refresh
            + b"\x80\x00"                    # route refresh (old code)
            + b"\x03\x07\x00\x01\x00\x01\x01\x02\x03")  # ORF: communities, both
    params = b"\x02" + bytes([len(caps)]) + caps
    body = struct.pack(">BHH4sB", 4, 65001, 180, ip4("192.0.2.1"), len(params)) + params
    return bgp(1, body)


def bgp_update():
    withdrawn = prefix4("198.51.100.0", 24)
    attrs = (attr(0x40, 1, b"\x00")                                          # ORIGIN IGP
             + attr(0x40, 2, b"\x02\x03" + struct.pack(">HHH", 65001, 65010, 64512))  # AS_SEQUENCE
             + attr(0x40, 3, ip4(R1))                                         # NEXT_HOP
             + attr(0x80, 4, struct.pack(">I", 100))                          # MED
             + attr(0x40, 5, struct.pack(">I", 200))                          # LOCAL_PREF
             + attr(0x40, 6, b"")                                             # ATOMIC_AGGREGATE
             + attr(0xC0, 7, struct.pack(">H", 65001) + ip4("192.0.2.1"))     # AGGREGATOR
             + attr(0xC0, 8, struct.pack(">II", (65001 << 16) | 120, 0xFFFFFF01))  # COMMUNITIES
             + attr(0x80, 9, ip4("192.0.2.9"))                                # ORIGINATOR_ID
             + attr(0x80, 10, ip4("192.0.2.10") + ip4("192.0.2.11"))          # CLUSTER_LIST
             + attr(0xC0, 16, struct.pack(">HHI", 0x0002, 65001, 42)           # route target
                    + struct.pack(">H4sH", 0x0103, ip4("192.0.2.1"), 7)))     # route origin
    nlri = prefix4("203.0.113.0", 24) + prefix4("10.1.0.0", 16) + prefix4("172.16.5.128", 25)
    body = struct.pack(">H", len(withdrawn)) + withdrawn + struct.pack(">H", len(attrs)) + attrs + nlri
    return bgp(2, body)


def bgp_update_mp():
    # IPv6 unicast reachability with a global next hop, and a labelled VPN-IPv4 route.
    reach6 = (struct.pack(">HBB", 2, 1, 16) + socket.inet_pton(socket.AF_INET6, "2001:db8::1") + b"\x00"
              + prefix6("2001:db8:100::", 48) + prefix6("2001:db8:200:10::", 64))
    vpn_prefix = (bytes([24 + 64 + 24]) + struct.pack(">I", (1000 << 4) | 1)[1:]
                  + struct.pack(">HHI", 0, 65001, 7) + ip4("10.20.30.0")[:3])
    reach_vpn = (struct.pack(">HBB", 1, 128, 12) + struct.pack(">HHI", 0, 0, 0) + ip4(R1) + b"\x00"
                 + vpn_prefix)
    unreach6 = struct.pack(">HB", 2, 1) + prefix6("2001:db8:300::", 48)
    attrs = (attr(0x40, 1, b"\x02") + attr(0x40, 2, b"")
             + attr(0x90, 14, reach6) + attr(0x90, 14, reach_vpn) + attr(0x90, 15, unreach6))
    return bgp(2, struct.pack(">H", 0) + struct.pack(">H", len(attrs)) + attrs)


def bgp_tcp(payload, sport=179, dport=50123, seq=1000, src=R1, dst=R2, smac=R1_MAC, dmac=R2_MAC):
    return (Ether(src=smac, dst=dmac) / IP(src=src, dst=dst, id=0x1200 + seq % 256, ttl=1) /
            TCP(sport=sport, dport=dport, flags="PA", seq=seq, ack=5000, window=16384) / Raw(payload))


def rsvp_object(cls, ctype, contents):
    return struct.pack(">HBB", 4 + len(contents), cls, ctype) + contents


def rsvp(msg_type, objects, ttl=63):
    body = b"".join(objects)
    return struct.pack(">BBHBBH", 0x10, msg_type, 0, ttl, 0, 8 + len(body)) + body


def token_bucket(rate, size, peak, m, big_m):
    return (struct.pack(">BBH", 127, 0, 5)
            + struct.pack(">fff", rate, size, peak) + struct.pack(">II", m, big_m))


def intserv(service, params):
    svc = struct.pack(">BBH", service, 0, len(params) // 4) + params
    return struct.pack(">BBH", 0, 0, len(svc) // 4) + svc


def rsvp_path():
    objects = [
        rsvp_object(1, 7, ip4("10.0.0.9") + struct.pack(">HH", 0, 17) + ip4("10.0.0.1")),  # LSP tunnel
        rsvp_object(3, 1, ip4(R1) + struct.pack(">I", 0x00000005)),
        rsvp_object(5, 1, struct.pack(">I", 30000)),
        rsvp_object(19, 1, struct.pack(">HH", 0, 0x0800)),
        rsvp_object(20, 1, b"\x01\x08" + ip4(R2) + b"\x20\x00"
                    + b"\x81\x08" + ip4("10.0.23.3") + b"\x20\x00"
                    + b"\x20\x04" + struct.pack(">H", 65010)),
        rsvp_object(207, 7, bytes([7, 7, 0x04, 8]) + b"R1-to-R9"),
        rsvp_object(11, 7, ip4("10.0.0.1") + struct.pack(">HH", 0, 1)),
        rsvp_object(12, 2, intserv(1, token_bucket(125000.0, 10000.0, 250000.0, 64, 1500))),
        rsvp_object(13, 2, struct.pack(">BBH", 0, 0, 8)
                    + struct.pack(">BBH", 1, 0, 6) + struct.pack(">BBHI", 4, 0, 1, 1)
                    + struct.pack(">BBHf", 6, 0, 1, 1.25e6) + struct.pack(">BBHI", 10, 0, 1, 1500)
                    + struct.pack(">BBH", 5, 0x80, 0)),
        rsvp_object(21, 1, b"\x01\x08" + ip4("10.0.0.1") + b"\x20\x00"),
    ]
    return rsvp(1, objects)


def rsvp_resv():
    objects = [
        rsvp_object(1, 7, ip4("10.0.0.9") + struct.pack(">HH", 0, 17) + ip4("10.0.0.1")),
        rsvp_object(3, 1, ip4(R2) + struct.pack(">I", 0x00000005)),
        rsvp_object(5, 1, struct.pack(">I", 30000)),
        rsvp_object(8, 1, struct.pack(">I", 0x00000012)),  # shared explicit
        rsvp_object(9, 2, intserv(5, token_bucket(125000.0, 10000.0, 250000.0, 64, 1500))),
        rsvp_object(10, 7, ip4("10.0.0.1") + struct.pack(">HH", 0, 1)),
        rsvp_object(16, 1, struct.pack(">I", 300016)),
        rsvp_object(21, 1, b"\x01\x08" + ip4("10.0.0.9") + b"\x20\x00" + b"\x03\x08\x01\x01"
                    + struct.pack(">I", 300016)),
    ]
    return rsvp(2, objects)


def rsvp_ip(payload, src, dst, smac, dmac, ident):
    return Ether(src=smac, dst=dmac) / IP(src=src, dst=dst, proto=46, id=ident, ttl=63) / Raw(payload)


def frames():
    f = []
    f.append(bgp_tcp(bgp_open(), sport=50123, dport=179, seq=1, src=R2, dst=R1, smac=R2_MAC, dmac=R1_MAC))
    f.append(bgp_tcp(bgp_open() + bgp(4), seq=1))                      # OPEN and KEEPALIVE together
    f.append(bgp_tcp(bgp(4), sport=50123, dport=179, seq=60, src=R2, dst=R1, smac=R2_MAC, dmac=R1_MAC))
    f.append(bgp_tcp(bgp_update(), seq=80))
    f.append(bgp_tcp(bgp_update_mp(), seq=300))
    f.append(bgp_tcp(bgp(5, struct.pack(">HBB", 1, 0, 1)), seq=500))   # ROUTE-REFRESH IPv4 unicast
    f.append(bgp_tcp(bgp(3, b"\x06\x00"), sport=50123, dport=179, seq=79, src=R2, dst=R1,
                     smac=R2_MAC, dmac=R1_MAC))                         # NOTIFICATION Cease
    f.append(bgp_tcp(bgp(3, b"\x02\x02" + struct.pack(">H", 65099)), seq=530))  # OPEN error: bad peer AS
    f.append(rsvp_ip(rsvp_path(), R1, R2, R1_MAC, R2_MAC, 0x3001))
    f.append(rsvp_ip(rsvp_resv(), R2, R1, R2_MAC, R1_MAC, 0x3002))
    return f
