"""PPPoE, AppleTalk DDP/NBP, spanning tree (STP, RSTP), GARP (GMRP, GVRP), NTP and
Sun RPC frames for samples/legacy.zlc, and the PPP link-type fixtures ppp.zlc
(link type 9) and null_ppp.zlc (null/loopback with PPP in HDLC framing)."""
import struct

from scapy.all import (CookedLinux, Dot3, Ether, IP, LLC, NTP, Raw, SNAP, STP, UDP, conf)
from scapy.layers.ppp import (HDLC, PPP, PPP_CHAP_ChallengeResponse, PPP_CHAP, PPP_IPCP,
                              PPP_IPCP_Option_DNS1, PPP_IPCP_Option_IPAddress, PPP_LCP_Auth_Protocol_Option,
                              PPP_LCP_Configure, PPP_LCP_Echo, PPP_LCP_Magic_Number_Option,
                              PPP_LCP_MRU_Option, PPPoE, PPPoED, PPPoED_Tags, PPPoETag)

conf.verb = 0

HOST_MAC = "00:1b:21:3a:4f:02"
AC_MAC = "00:0d:b9:41:6a:20"
BRIDGE_MAC = "00:0d:b9:41:6a:30"
BCAST = "ff:ff:ff:ff:ff:ff"
SESSION = 0x1234


def pppoe_discovery(code, src, dst, tags, session=0):
    return (Ether(src=src, dst=dst) / PPPoED(code=code, sessionid=session) /
            PPPoED_Tags(tag_list=[PPPoETag(tag_type=t, tag_value=v) for t, v in tags]))


def lcp_request():
    return PPP_LCP_Configure(code=1, id=1, options=[PPP_LCP_MRU_Option(max_recv_unit=1492),
                                                    PPP_LCP_Auth_Protocol_Option(auth_protocol=0xC223, algorithm=5),
                                                    PPP_LCP_Magic_Number_Option(magic_number=0x5A3C9E01)])


def ddp(dst_net, dst_node, dst_socket, src_net, src_node, src_socket, ddp_type, payload):
    length = 13 + len(payload)
    return (struct.pack(">HHHHBBBBB", length, 0, dst_net, src_net, dst_node, src_node, dst_socket, src_socket,
                        ddp_type) + payload)


def nbp_tuple(net, node, socket, enumerator, obj, typ, zone):
    out = struct.pack(">HBBB", net, node, socket, enumerator)
    for s in (obj, typ, zone):
        out += bytes([len(s)]) + s
    return out


def rpc_call(xid, program, version, procedure, body):
    return struct.pack(">IIIIII", xid, 0, 2, program, version, procedure) + bytes(16) + body


def rpc_reply(xid, body):
    return struct.pack(">III", xid, 1, 0) + bytes(8) + struct.pack(">I", 0) + body


def frames():
    f = []
    # PPPoE discovery: PADI, PADO, PADR, PADS; then a session with LCP and IPv4
    f.append(pppoe_discovery(0x09, HOST_MAC, BCAST, [(0x0101, b""), (0x0103, b"\x11\x22\x33\x44")]))
    f.append(pppoe_discovery(0x07, AC_MAC, HOST_MAC, [(0x0101, b""), (0x0102, b"zelpan-ac"),
                                                      (0x0103, b"\x11\x22\x33\x44"), (0x0104, bytes(range(16)))]))
    f.append(pppoe_discovery(0x19, HOST_MAC, AC_MAC, [(0x0101, b""), (0x0103, b"\x11\x22\x33\x44"),
                                                      (0x0104, bytes(range(16)))]))
    f.append(pppoe_discovery(0x65, AC_MAC, HOST_MAC, [(0x0101, b""), (0x0103, b"\x11\x22\x33\x44")], SESSION))
    f.append(Ether(src=HOST_MAC, dst=AC_MAC) / PPPoE(sessionid=SESSION) / PPP(proto=0xC021) / lcp_request())
    f.append(Ether(src=AC_MAC, dst=HOST_MAC) / PPPoE(sessionid=SESSION) / PPP(proto=0xC021) /
             PPP_LCP_Echo(code=9, id=2, magic_number=0x0BADCAFE, data=b"ping"))
    f.append(Ether(src=HOST_MAC, dst=AC_MAC) / PPPoE(sessionid=SESSION) / PPP(proto=0x0021) /
             IP(src="198.51.100.7", dst="203.0.113.1", id=60) / UDP(sport=5060, dport=5061) / Raw(b"over pppoe"))
    # AppleTalk: DDP carrying an NBP lookup and its reply, and an echo packet
    lookup = bytes([0x21, 0x07]) + nbp_tuple(1000, 12, 253, 0, b"=", b"LaserWriter", b"*")
    f.append(Dot3(src=HOST_MAC, dst="09:00:07:ff:ff:ff") / LLC(dsap=0xAA, ssap=0xAA, ctrl=3) /
             SNAP(OUI=0x080007, code=0x809B) / Raw(ddp(0, 255, 2, 1000, 12, 253, 2, lookup)))
    reply = bytes([0x32, 0x07]) + nbp_tuple(1000, 40, 129, 1, b"Office Printer", b"LaserWriter", b"*") + \
        nbp_tuple(1000, 41, 129, 2, b"Lab Printer", b"LaserWriter", b"*")
    f.append(Dot3(src=AC_MAC, dst=HOST_MAC) / LLC(dsap=0xAA, ssap=0xAA, ctrl=3) /
             SNAP(OUI=0x080007, code=0x809B) / Raw(ddp(1000, 12, 253, 1000, 40, 2, 2, reply)))
    f.append(Dot3(src=HOST_MAC, dst=AC_MAC) / LLC(dsap=0xAA, ssap=0xAA, ctrl=3) /
             SNAP(OUI=0x080007, code=0x809B) / Raw(ddp(1000, 40, 4, 1000, 12, 4, 4, b"\x01echo data")))
    # Spanning tree: a configuration BPDU, an RSTP BPDU and a topology change notification
    stp_dst = "01:80:c2:00:00:00"
    f.append(Dot3(src=BRIDGE_MAC, dst=stp_dst) / LLC(dsap=0x42, ssap=0x42, ctrl=3) /
             STP(rootid=32768, rootmac=BRIDGE_MAC, pathcost=4, bridgeid=32768, bridgemac=BRIDGE_MAC, portid=0x8001))
    f.append(Dot3(src=BRIDGE_MAC, dst=stp_dst) / LLC(dsap=0x42, ssap=0x42, ctrl=3) /
             STP(version=2, bpdutype=2, bpduflags=0x3C, rootid=4096, rootmac="00:0d:b9:00:00:01", pathcost=20000,
                 bridgeid=32768, bridgemac=BRIDGE_MAC, portid=0x8002) / Raw(b"\x00"))
    f.append(Dot3(src=BRIDGE_MAC, dst=stp_dst) / LLC(dsap=0x42, ssap=0x42, ctrl=3) / Raw(b"\x00\x00\x00\x80"))
    # GARP: a GVRP join for VLANs 10 and 20, a GMRP join for a group address
    gvrp = b"\x00\x01" + b"\x01" + b"\x04\x02\x00\x0a" + b"\x04\x02\x00\x14" + b"\x00" + b"\x00"
    f.append(Dot3(src=BRIDGE_MAC, dst="01:80:c2:00:00:21") / LLC(dsap=0x42, ssap=0x42, ctrl=3) / Raw(gvrp))
    gmrp = b"\x00\x01" + b"\x02" + b"\x08\x02\x01\x00\x5e\x00\x00\xfb" + b"\x00" + b"\x00"
    f.append(Dot3(src=BRIDGE_MAC, dst="01:80:c2:00:00:20") / LLC(dsap=0x42, ssap=0x42, ctrl=3) / Raw(gmrp))
    # NTP: a client request and the server's answer
    client, server = "192.0.2.30", "192.0.2.123"
    f.append(Ether(src=HOST_MAC, dst=AC_MAC) / IP(src=client, dst=server, id=70) / UDP(sport=123, dport=123) /
             NTP(leap=0, version=4, mode=3, stratum=0, poll=6, precision=-20, ref=0, orig=0, recv=0,
                 sent=3974083200.25))
    answer = bytes(NTP(leap=0, version=4, mode=4, stratum=1, poll=6, precision=-23, delay=0.0,
                       dispersion=0.000488, ref=3974083190.0, orig=3974083200.25, recv=3974083200.2504,
                       sent=3974083200.2505))
    answer = answer[:12] + b"GPS\x00" + answer[16:]  # a primary server names its reference source
    f.append(Ether(src=AC_MAC, dst=HOST_MAC) / IP(src=server, dst=client, id=71) / UDP(sport=123, dport=123) /
             Raw(answer))
    # Sun RPC over UDP: a portmapper GETPORT call (NFS version 3 over UDP) and its reply
    f.append(Ether(src=HOST_MAC, dst=AC_MAC) / IP(src=client, dst=server, id=72) / UDP(sport=700, dport=111) /
             Raw(rpc_call(0x5E1F0001, 100000, 2, 3, struct.pack(">IIII", 100003, 3, 17, 0))))
    f.append(Ether(src=AC_MAC, dst=HOST_MAC) / IP(src=server, dst=client, id=73) / UDP(sport=111, dport=700) /
             Raw(rpc_reply(0x5E1F0001, struct.pack(">I", 2049))))
    return f


def ppp_frames():
    ip = IP(src="10.64.0.2", dst="10.64.0.1", id=80) / UDP(sport=6000, dport=6001) / Raw(b"ppp link")
    return [
        HDLC() / PPP(proto=0xC021) / lcp_request(),
        HDLC() / PPP(proto=0xC021) / PPP_LCP_Configure(code=2, id=1, options=[PPP_LCP_MRU_Option(max_recv_unit=1492)]),
        HDLC() / PPP(proto=0xC223) / PPP_CHAP_ChallengeResponse(code=1, id=1, value=bytes(range(16)), optional_name=b"ac"),
        HDLC() / PPP(proto=0xC223) / PPP_CHAP_ChallengeResponse(code=2, id=1, value=bytes(range(16, 32)),
                                                               optional_name=b"zelpan"),
        HDLC() / PPP(proto=0xC223) / PPP_CHAP(code=3, id=1, data=b"Welcome"),
        HDLC() / PPP(proto=0x8021) / PPP_IPCP(code=1, id=1, options=[PPP_IPCP_Option_IPAddress(data="0.0.0.0"),
                                                                     PPP_IPCP_Option_DNS1(data="0.0.0.0")]),
        HDLC() / PPP(proto=0x8021) / PPP_IPCP(code=3, id=1, options=[PPP_IPCP_Option_IPAddress(data="10.64.0.2"),
                                                                     PPP_IPCP_Option_DNS1(data="10.64.0.53")]),
        HDLC() / PPP(proto=0x0021) / ip,
        bytes([0x21]) + bytes(ip),                        # address, control and protocol compressed
        HDLC() / PPP(proto=0x80FD) / Raw(b"\x01\x01\x00\x04"),   # CCP: no decoder, shown as PPP data
        bytes([0x0F, 0x00, 0x08, 0x00]) + bytes(ip),      # Cisco HDLC
    ]


def null_ppp_frames():
    ip = IP(src="10.65.0.2", dst="10.65.0.1", id=90) / UDP(sport=6002, dport=6003) / Raw(b"hdlc")
    return [
        HDLC() / PPP(proto=0xC021) / lcp_request(),
        HDLC() / PPP(proto=0x0021) / ip,
        HDLC() / PPP(proto=0xC223) / PPP_CHAP(code=4, id=2, data=b"Denied"),
    ]


def fixtures():
    return {"ppp.zlc": (9, ppp_frames()), "null_ppp.zlc": (0, null_ppp_frames())}
