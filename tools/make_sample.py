#!/usr/bin/python3
"""Write samples/sample.zlc: a few dozen frames of the protocols people meet first.

Frames are built with scapy (an independent packet builder) and written as a
libpcap 2.4 savefile (little-endian, microsecond stamps, snap length 65535,
Ethernet). The output is deterministic: fixed addresses, ids and time stamps.
Usage: make_sample.py [OUT]
"""
import os
import struct
import sys

from scapy.all import (ARP, BOOTP, DHCP, DNS, DNSQR, DNSRR, Dot3, Ether, ICMP, ICMPv6EchoReply,
                       ICMPv6EchoRequest, ICMPv6ND_NA, ICMPv6ND_NS, ICMPv6ND_RA, ICMPv6NDOptPrefixInfo,
                       ICMPv6NDOptSrcLLAddr, ICMPv6NDOptDstLLAddr, IP, IPOption_RR, IPOption_Router_Alert,
                       IPv6, IPv6ExtHdrFragment, IPv6ExtHdrHopByHop, IPv6ExtHdrRouting, LLC, Raw, SNAP,
                       TCP, UDP, RouterAlert, STP, conf)
from scapy.contrib.igmp import IGMP

conf.verb = 0

CLIENT_MAC = "00:1b:21:3a:4f:01"
SERVER_MAC = "00:50:56:c0:00:08"
ROUTER_MAC = "00:0d:b9:41:6a:10"
BCAST = "ff:ff:ff:ff:ff:ff"
CLIENT = "192.168.10.23"
SERVER = "192.168.10.5"
ROUTER = "192.168.10.1"
DNS_SERVER = "192.168.10.53"
WEB = "93.184.216.34"


def eth(src=CLIENT_MAC, dst=ROUTER_MAC):
    return Ether(src=src, dst=dst)


def frames():
    f = []
    # ARP: who-has and reply
    f.append(Ether(src=CLIENT_MAC, dst=BCAST) / ARP(op=1, hwsrc=CLIENT_MAC, psrc=CLIENT, pdst=ROUTER))
    f.append(Ether(src=ROUTER_MAC, dst=CLIENT_MAC) / ARP(op=2, hwsrc=ROUTER_MAC, psrc=ROUTER,
                                                        hwdst=CLIENT_MAC, pdst=CLIENT))
    # DHCP discover / offer / request / ack
    xid = 0x3903F326
    chaddr = bytes.fromhex(CLIENT_MAC.replace(":", "")) + b"\x00" * 10
    common = [("subnet_mask", "255.255.255.0"), ("router", ROUTER), ("name_server", DNS_SERVER),
              ("lease_time", 86400), ("server_id", ROUTER)]
    f.append(Ether(src=CLIENT_MAC, dst=BCAST) / IP(src="0.0.0.0", dst="255.255.255.255", id=1) /
             UDP(sport=68, dport=67) / BOOTP(chaddr=chaddr, xid=xid, flags=0x8000) /
             DHCP(options=[("message-type", "discover"), ("client_id", b"\x01" + chaddr[:6]),
                           ("requested_addr", CLIENT), ("hostname", b"zelpan-host"),
                           ("param_req_list", [1, 3, 6, 15, 51, 54]), "end"]))
    f.append(Ether(src=ROUTER_MAC, dst=BCAST) / IP(src=ROUTER, dst="255.255.255.255", id=2) /
             UDP(sport=67, dport=68) / BOOTP(op=2, chaddr=chaddr, xid=xid, yiaddr=CLIENT, siaddr=ROUTER) /
             DHCP(options=[("message-type", "offer")] + common + [("domain", b"example.test"), "end"]))
    f.append(Ether(src=CLIENT_MAC, dst=BCAST) / IP(src="0.0.0.0", dst="255.255.255.255", id=3) /
             UDP(sport=68, dport=67) / BOOTP(chaddr=chaddr, xid=xid) /
             DHCP(options=[("message-type", "request"), ("requested_addr", CLIENT), ("server_id", ROUTER),
                           ("hostname", b"zelpan-host"), "end"]))
    f.append(Ether(src=ROUTER_MAC, dst=CLIENT_MAC) / IP(src=ROUTER, dst=CLIENT, id=4) /
             UDP(sport=67, dport=68) / BOOTP(op=2, chaddr=chaddr, xid=xid, yiaddr=CLIENT, siaddr=ROUTER) /
             DHCP(options=[("message-type", "ack")] + common + ["end"]))
    # DNS over UDP: a query and an answer with name compression (CNAME + A)
    f.append(eth() / IP(src=CLIENT, dst=DNS_SERVER, id=10) / UDP(sport=53124, dport=53) /
             DNS(id=0x1a2b, rd=1, qd=DNSQR(qname="www.example.test", qtype="A")))
    f.append(eth(ROUTER_MAC, CLIENT_MAC) / IP(src=DNS_SERVER, dst=CLIENT, id=11) / UDP(sport=53, dport=53124) /
             DNS(id=0x1a2b, qr=1, rd=1, ra=1, qd=DNSQR(qname="www.example.test", qtype="A"),
                 an=DNSRR(rrname="www.example.test", type="CNAME", rdata="web.example.test", ttl=3600) /
                 DNSRR(rrname="web.example.test", type="A", rdata=WEB, ttl=300)))
    # DNS answer over TCP (two-byte length prefix), an MX lookup
    mx = DNS(id=0x2c3d, qr=1, rd=1, ra=1, qd=DNSQR(qname="example.test", qtype="MX"),
             an=DNSRR(rrname="example.test", type="MX", rdata=b"\x00\x0a\x04mail\xc0\x0c", ttl=7200))
    raw = bytes(mx)
    f.append(eth(ROUTER_MAC, CLIENT_MAC) / IP(src=DNS_SERVER, dst=CLIENT, id=12) /
             TCP(sport=53, dport=40112, flags="PA", seq=7001, ack=3001, window=65160) /
             Raw(struct.pack(">H", len(raw)) + raw))
    # TCP with options: SYN (MSS, SACK permitted, timestamps, window scale), SYN+ACK, ACK
    f.append(eth() / IP(src=CLIENT, dst=WEB, id=20, flags="DF") /
             TCP(sport=40200, dport=80, flags="S", seq=1000, window=64240,
                 options=[("MSS", 1460), ("SAckOK", b""), ("Timestamp", (123456, 0)), ("NOP", None),
                          ("WScale", 7)]))
    f.append(eth(ROUTER_MAC, CLIENT_MAC) / IP(src=WEB, dst=CLIENT, id=21, flags="DF") /
             TCP(sport=80, dport=40200, flags="SA", seq=5000, ack=1001, window=65535,
                 options=[("MSS", 1400), ("NOP", None), ("NOP", None), ("SAckOK", b""), ("NOP", None),
                          ("WScale", 8)]))
    f.append(eth() / IP(src=CLIENT, dst=WEB, id=22, flags="DF") /
             TCP(sport=40200, dport=80, flags="A", seq=1001, ack=5001, window=502))
    # HTTP request and response
    f.append(eth() / IP(src=CLIENT, dst=WEB, id=23, flags="DF") /
             TCP(sport=40200, dport=80, flags="PA", seq=1001, ack=5001, window=502) /
             Raw(b"GET /index.html HTTP/1.1\r\nHost: www.example.test\r\nUser-Agent: zelpan-sample\r\n"
                 b"Accept: */*\r\n\r\n"))
    body = b"<html><head><title>Example</title></head><body><p>Zelpan sample page.</p></body></html>\n"
    f.append(eth(ROUTER_MAC, CLIENT_MAC) / IP(src=WEB, dst=CLIENT, id=24, flags="DF") /
             TCP(sport=80, dport=40200, flags="PA", seq=5001, ack=1090, window=501) /
             Raw(b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: %d\r\n\r\n" % len(body) + body))
    # A duplicate ACK with SACK blocks
    f.append(eth() / IP(src=CLIENT, dst=WEB, id=25, flags="DF") /
             TCP(sport=40200, dport=80, flags="A", seq=1090, ack=5001, window=501,
                 options=[("NOP", None), ("NOP", None), ("Timestamp", (123600, 99000)), ("NOP", None),
                          ("NOP", None), ("SAck", (5200, 5400, 5600, 5800))]))
    f.append(eth() / IP(src=CLIENT, dst=WEB, id=26, flags="DF") /
             TCP(sport=40200, dport=80, flags="FA", seq=1090, ack=5176, window=501))
    # ICMP echo request and reply; an unreachable carrying the offending header
    f.append(eth() / IP(src=CLIENT, dst=ROUTER, id=30) / ICMP(type=8, id=0x0101, seq=1) / Raw(b"abcdefgh" * 4))
    f.append(eth(ROUTER_MAC, CLIENT_MAC) / IP(src=ROUTER, dst=CLIENT, id=31) / ICMP(type=0, id=0x0101, seq=1) /
             Raw(b"abcdefgh" * 4))
    inner = IP(src=CLIENT, dst="203.0.113.9", id=32) / UDP(sport=33434, dport=33435) / Raw(b"\x00" * 12)
    f.append(eth(ROUTER_MAC, CLIENT_MAC) / IP(src=ROUTER, dst=CLIENT, id=33) / ICMP(type=3, code=3) /
             Raw(bytes(inner)[:28]))
    # IPv4 with options (record route, router alert) and a fragmented datagram
    f.append(eth() / IP(src=CLIENT, dst=SERVER, id=40, options=[IPOption_RR(routers=[ROUTER, "0.0.0.0"]),
                                                                  IPOption_Router_Alert()]) /
             UDP(sport=5000, dport=5001) / Raw(b"options"))
    big = IP(src=CLIENT, dst=SERVER, id=41) / UDP(sport=5002, dport=5003) / Raw(b"F" * 1600)
    from scapy.all import fragment
    for part in fragment(big, fragsize=1480):
        f.append(eth() / part)
    # A header with a wrong checksum
    bad = IP(src=CLIENT, dst=SERVER, id=42) / UDP(sport=5004, dport=5005) / Raw(b"bad checksum")
    bad = IP(bytes(bad))
    bad.chksum = (bad.chksum + 1) & 0xFFFF
    f.append(eth() / bad)
    # IGMP membership report
    f.append(eth(CLIENT_MAC, "01:00:5e:00:00:fb") / IP(src=CLIENT, dst="224.0.0.251", ttl=1, id=43,
                                                       options=[IPOption_Router_Alert()]) /
             IGMP(type=0x16, gaddr="224.0.0.251"))
    # IPv6: echo, neighbour discovery, extension headers
    ll_client = "fe80::21b:21ff:fe3a:4f01"
    ll_router = "fe80::20d:b9ff:fe41:6a10"
    f.append(eth(CLIENT_MAC, "33:33:ff:41:6a:10") / IPv6(src=ll_client, dst="ff02::1:ff41:6a10", hlim=255) /
             ICMPv6ND_NS(tgt=ll_router) / ICMPv6NDOptSrcLLAddr(lladdr=CLIENT_MAC))
    f.append(eth(ROUTER_MAC, CLIENT_MAC) / IPv6(src=ll_router, dst=ll_client, hlim=255) /
             ICMPv6ND_NA(tgt=ll_router, R=1, S=1, O=1) / ICMPv6NDOptDstLLAddr(lladdr=ROUTER_MAC))
    f.append(eth(ROUTER_MAC, "33:33:00:00:00:01") / IPv6(src=ll_router, dst="ff02::1", hlim=255) /
             ICMPv6ND_RA(routerlifetime=1800) / ICMPv6NDOptSrcLLAddr(lladdr=ROUTER_MAC) /
             ICMPv6NDOptPrefixInfo(prefix="2001:db8:10::", prefixlen=64))
    f.append(eth() / IPv6(src="2001:db8:10::23", dst="2001:db8:20::5") / ICMPv6EchoRequest(id=7, seq=1, data=b"ping6"))
    f.append(eth(ROUTER_MAC, CLIENT_MAC) / IPv6(src="2001:db8:20::5", dst="2001:db8:10::23") /
             ICMPv6EchoReply(id=7, seq=1, data=b"ping6"))
    f.append(eth() / IPv6(src="2001:db8:10::23", dst="2001:db8:20::5") /
             IPv6ExtHdrHopByHop(options=[RouterAlert()]) /
             IPv6ExtHdrRouting(addresses=["2001:db8:30::1"]) /
             IPv6ExtHdrFragment(id=0x1234, m=0, offset=0) /
             UDP(sport=6000, dport=6001) / Raw(b"extension headers"))
    f.append(eth() / IPv6(src="2001:db8:10::23", dst="2001:db8:20::5") /
             TCP(sport=40300, dport=443, flags="S", seq=9000, window=64800,
                 options=[("MSS", 1440), ("SAckOK", b""), ("Timestamp", (777, 0)), ("NOP", None), ("WScale", 7)]))
    # IEEE 802.3 with LLC: spanning tree BPDU (SAP 0x42) and SNAP carrying IPv4
    f.append(Dot3(src=ROUTER_MAC, dst="01:80:c2:00:00:00") / LLC(dsap=0x42, ssap=0x42, ctrl=3) /
             STP(rootid=32768, rootmac=ROUTER_MAC, bridgeid=32768, bridgemac=ROUTER_MAC, portid=0x8001))
    f.append(Dot3(src=CLIENT_MAC, dst=ROUTER_MAC) / LLC(dsap=0xAA, ssap=0xAA, ctrl=3) / SNAP(OUI=0, code=0x0800) /
             IP(src=CLIENT, dst=SERVER, id=50) / UDP(sport=5010, dport=5011) / Raw(b"over snap"))
    return f


# Application protocols come from one module per family in sample_parts/, each
# with a frames() list of Ethernet frames; they follow the frames above in this order.
PARTS = ["text", "snmpssl"]


def part_frames(names):
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "sample_parts"))
    out = []
    for name in names:
        if os.path.exists(os.path.join(sys.path[0], name + ".py")):
            out += __import__(name).frames()
    return out


def write_capture(out, packets, link=1):
    sec, usec = 1796716800, 125000  # 2026-12-08 08:00:00 UTC
    with open(out, "wb") as fh:
        fh.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, link))
        for i, p in enumerate(packets):
            b = bytes(p)
            fh.write(struct.pack("<IIII", sec, usec, len(b), len(b)))
            fh.write(b)
            usec += 1375 + 997 * (i % 7)
            if i % 5 == 4:
                usec += 250000
            sec += usec // 1000000
            usec %= 1000000


# Routing and older LAN protocols get captures of their own, so the main sample stays short.
OTHER_CAPTURES = {"routing.zlc": ["ripospf", "bgprsvp"], "legacy.zlc": ["netbios", "ppplegacy"]}
ALL_PARTS = PARTS + [n for names in OTHER_CAPTURES.values() for n in names]


def main():
    samples = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "samples")
    if len(sys.argv) > 1:
        write_capture(sys.argv[1], frames() + part_frames(PARTS))
        return
    write_capture(os.path.join(samples, "sample.zlc"), frames() + part_frames(PARTS))
    # The window tests count rows, hits and marks of the first frames alone.
    tests = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data")
    os.makedirs(tests, exist_ok=True)
    write_capture(os.path.join(tests, "sample.zlc"), frames())
    for name, parts in OTHER_CAPTURES.items():
        packets = part_frames(parts)
        if packets:
            write_capture(os.path.join(samples, name), packets)
    # A module may also give whole fixture captures of other link types: {file name: (link type, frames)}.
    for part in ALL_PARTS:
        part_frames([])  # puts sample_parts/ on the path
        if os.path.exists(os.path.join(os.path.dirname(os.path.abspath(__file__)), "sample_parts", part + ".py")):
            module = __import__(part)
            for name, (link, packets) in getattr(module, "fixtures", lambda: {})().items():
                write_capture(os.path.join(samples, name), packets, link)


if __name__ == "__main__":
    main()
