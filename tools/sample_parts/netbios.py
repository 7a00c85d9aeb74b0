"""NetBIOS family, SMB, IPX (RIP, SAP, SPX, NetBIOS over IPX, NMPI) and ISAKMP frames.

NetBIOS over TCP/IP and ISAKMP are built with scapy; the IPX family and NetBIOS
Frames have no scapy layers, so they are packed here from their published layouts.
"""
import struct

from scapy.all import IP, LLC, TCP, UDP, Dot3, Ether, Raw
from scapy.layers.isakmp import (ISAKMP, ISAKMP_payload_ID, ISAKMP_payload_KE, ISAKMP_payload_Nonce,
                                 ISAKMP_payload_Proposal, ISAKMP_payload_SA, ISAKMP_payload_Transform,
                                 ISAKMP_payload_VendorID)
from scapy.layers.netbios import (NBNSHeader, NBNSQueryRequest, NBNSQueryResponse, NBNS_ADD_ENTRY, NBTDatagram,
                                  NBTSession)

A_MAC = "00:1b:21:3a:4f:01"
B_MAC = "00:50:56:c0:00:08"
BCAST = "ff:ff:ff:ff:ff:ff"
A = "192.168.10.23"
B = "192.168.10.5"
NODE_A = bytes.fromhex("001b213a4f01")
NODE_B = bytes.fromhex("005056c00008")


def netbios_name(text, kind):
    """A plain 16-byte NetBIOS name: 15 characters padded with blanks, then the type."""
    return text.encode().ljust(15, b" ") + bytes([kind])


def smb_header(command, flags=0x18, flags2=0xC853, tid=0, pid=0xFEFF, uid=0, mid=1):
    return (b"\xffSMB" + bytes([command, 0, 0]) + struct.pack("<HBH", 0, flags, flags2) + b"\x00" * 12 +
            struct.pack("<HHHH", tid, pid, uid, mid))


def smb_negotiate():
    dialects = b"".join(b"\x02" + d + b"\x00" for d in (b"PC NETWORK PROGRAM 1.0", b"LANMAN1.0", b"NT LM 0.12"))
    return smb_header(0x72) + b"\x00" + struct.pack("<H", len(dialects)) + dialects


def smb_mailslot():
    """A browser announcement as a transaction on \\MAILSLOT\\BROWSE (17 words)."""
    words = struct.pack("<HHHHBBHIHHHHHBB", 0, 33, 0, 0, 0, 0, 0, 0, 0, 0, 86, 33, 86, 3, 0) + struct.pack("<HHH", 1, 1, 2)
    data = b"\\MAILSLOT\\BROWSE\x00" + b"\x01" + b"\x00" * 32
    return smb_header(0x25, flags=0, flags2=0) + bytes([len(words) // 2]) + words + struct.pack("<H", len(data)) + data


def ipx(packet_type, dst_net, dst_node, dst_socket, src_net, src_node, src_socket, payload):
    header = struct.pack(">HHBB", 0xFFFF, 30 + len(payload), 0, packet_type)
    header += struct.pack(">I", dst_net) + dst_node + struct.pack(">H", dst_socket)
    header += struct.pack(">I", src_net) + src_node + struct.pack(">H", src_socket)
    return header + payload


def sap_entry(kind, name, net, node, socket, hops):
    return struct.pack(">H", kind) + name.ljust(48, b"\x00") + struct.pack(">I", net) + node + struct.pack(
        ">HH", socket, hops)


def netbios_frame(command, data1, data2, xmit, resp, tail, length):
    return struct.pack("<HH", length, 0xEFFF) + bytes([command, data1]) + struct.pack("<HHH", data2, xmit, resp) + tail


def frames():
    f = []
    # NetBIOS name service: a query and its positive answer
    f.append(Ether(src=A_MAC, dst=BCAST) / IP(src=A, dst="192.168.10.255", id=100) / UDP(sport=137, dport=137) /
             NBNSHeader(NAME_TRN_ID=0x8101, NM_FLAGS=0x11, QDCOUNT=1) /
             NBNSQueryRequest(QUESTION_NAME="FILESRV", SUFFIX="file server service"))
    f.append(Ether(src=B_MAC, dst=A_MAC) / IP(src=B, dst=A, id=101) / UDP(sport=137, dport=137) /
             NBNSHeader(NAME_TRN_ID=0x8101, RESPONSE=1, NM_FLAGS=0x58, ANCOUNT=1) /
             NBNSQueryResponse(RR_NAME="FILESRV", SUFFIX="file server service", TTL=300000,
                               ADDR_ENTRY=[NBNS_ADD_ENTRY(NB_ADDRESS=B)]))
    # NetBIOS datagram: a browser announcement carried in SMB
    f.append(Ether(src=A_MAC, dst=BCAST) / IP(src=A, dst="192.168.10.255", id=102) / UDP(sport=138, dport=138) /
             NBTDatagram(Type=0x11, Flags=0x02, ID=0x4242, SourceIP=A, SourcePort=138, SourceName="CLIENT",
                         SUFFIX1="workstation", DestinationName="WORKGROUP", SUFFIX2="domain master browser") /
             Raw(smb_mailslot()))
    # NetBIOS session: a session request, then SMB negotiate in a session message
    called = b"\x20" + b"".join(bytes([0x41 + (c >> 4), 0x41 + (c & 15)]) for c in b"FILESRV        \x20") + b"\x00"
    calling = b"\x20" + b"".join(bytes([0x41 + (c >> 4), 0x41 + (c & 15)]) for c in b"CLIENT         \x00") + b"\x00"
    f.append(Ether(src=A_MAC, dst=B_MAC) / IP(src=A, dst=B, id=103) /
             TCP(sport=49152, dport=139, flags="PA", seq=1, ack=1) /
             NBTSession(TYPE=0x81, LENGTH=len(called + calling)) / Raw(called + calling))
    neg = smb_negotiate()
    f.append(Ether(src=A_MAC, dst=B_MAC) / IP(src=A, dst=B, id=104) /
             TCP(sport=49152, dport=139, flags="PA", seq=73, ack=5) / NBTSession(TYPE=0x00, LENGTH=len(neg)) /
             Raw(neg))
    f.append(Ether(src=B_MAC, dst=A_MAC) / IP(src=B, dst=A, id=105) /
             TCP(sport=139, dport=49152, flags="PA", seq=5, ack=73) / NBTSession(TYPE=0x85, LENGTH=0))
    # NetBIOS Frames over LLC: a name query (UI) and session data carrying SMB (I-format)
    f.append(Dot3(src=A_MAC, dst="03:00:00:00:00:01") / LLC(dsap=0xF0, ssap=0xF0, ctrl=3) /
             Raw(netbios_frame(0x0A, 0, 0x0100, 0, 0x1234, netbios_name("FILESRV", 0x20) +
                               netbios_name("CLIENT", 0x00), 44)))
    f.append(Dot3(src=A_MAC, dst=B_MAC) / LLC(dsap=0xF0, ssap=0xF0, ctrl=0x02) /
             Raw(b"\x04" + netbios_frame(0x16, 0x08, 0, 0x0007, 0x0008, bytes([0x21, 0x05]), 14) + neg))
    # IPX over Ethernet II: RIP response with three routes, SAP response with two servers, SPX
    routes = b"".join(struct.pack(">IHH", net, hops, ticks) for net, hops, ticks in
                      ((0x0000C0DE, 1, 2), (0x00ABCDEF, 2, 3), (0x12345678, 3, 7)))
    f.append(Ether(src=B_MAC, dst=BCAST, type=0x8137) /
             Raw(ipx(1, 0, b"\xff" * 6, 0x0453, 0x0000C0DE, NODE_B, 0x0453, struct.pack(">H", 2) + routes)))
    servers = (sap_entry(0x0004, b"FS1", 0x0000C0DE, b"\x00\x00\x00\x00\x00\x01", 0x0451, 1) +
               sap_entry(0x0007, b"PRINTQ", 0x0000C0DE, b"\x00\x00\x00\x00\x00\x02", 0x8060, 2))
    f.append(Ether(src=B_MAC, dst=BCAST, type=0x8137) /
             Raw(ipx(4, 0, b"\xff" * 6, 0x0452, 0x0000C0DE, NODE_B, 0x0452, struct.pack(">H", 2) + servers)))
    spx = struct.pack(">BBHHHHH", 0x80, 0, 0x1001, 0xFFFF, 0, 0, 3)
    f.append(Ether(src=A_MAC, dst=B_MAC, type=0x8137) /
             Raw(ipx(5, 0x0000C0DE, NODE_B, 0x8060, 0x0000C0DE, NODE_A, 0x4003, spx)))
    # IPX over LLC (SAP 0xE0): a SAP GetNearestServer request
    f.append(Dot3(src=A_MAC, dst=BCAST) / LLC(dsap=0xE0, ssap=0xE0, ctrl=3) /
             Raw(ipx(0, 0, b"\xff" * 6, 0x0452, 0, NODE_A, 0x4004, struct.pack(">HH", 3, 0x0004))))
    # NetBIOS over IPX: a propagated Find Name with its route list, and a directed datagram with SMB
    route_list = struct.pack(">8I", 0x0000C0DE, 0, 0, 0, 0, 0, 0, 0)
    f.append(Ether(src=A_MAC, dst=BCAST, type=0x8137) /
             Raw(ipx(20, 0, b"\xff" * 6, 0x0455, 0x0000C0DE, NODE_A, 0x0455,
                     route_list + bytes([0x00, 1]) + netbios_name("FILESRV", 0x20))))
    f.append(Ether(src=A_MAC, dst=B_MAC, type=0x8137) /
             Raw(ipx(4, 0x0000C0DE, NODE_B, 0x0455, 0x0000C0DE, NODE_A, 0x0455,
                     bytes([0x00, 11]) + netbios_name("FILESRV", 0x20) + netbios_name("CLIENT", 0x00) +
                     smb_mailslot())))
    # NMPI: a name query
    f.append(Ether(src=A_MAC, dst=BCAST, type=0x8137) /
             Raw(ipx(4, 0, b"\xff" * 6, 0x0551, 0x0000C0DE, NODE_A, 0x0551,
                     route_list + bytes([0xF3, 1]) + struct.pack("<H", 0x0042) + netbios_name("FILESRV", 0x20) +
                     netbios_name("CLIENT", 0x00))))
    # ISAKMP main mode: SA offer and choice, key exchange, then the encrypted identification
    ci, cr = bytes.fromhex("1122334455667788"), bytes.fromhex("99aabbccddeeff00")
    attrs = [("Encryption", "AES-CBC"), ("KeyLength", 128), ("Hash", "SHA"), ("GroupDesc", "1024MODPgr"),
             ("Authentication", "PSK"), ("LifeType", "Seconds"), ("LifeDuration", 28800)]
    sa = ISAKMP_payload_SA(prop=ISAKMP_payload_Proposal(trans=ISAKMP_payload_Transform(transforms=attrs)))
    f.append(Ether(src=A_MAC, dst=B_MAC) / IP(src=A, dst=B, id=110) / UDP(sport=500, dport=500) /
             ISAKMP(init_cookie=ci, exch_type=2, next_payload=1) / sa /
             ISAKMP_payload_VendorID(load=bytes.fromhex("4048b7d56ebce88525e7de7f00d6c2d3")))
    f.append(Ether(src=B_MAC, dst=A_MAC) / IP(src=B, dst=A, id=111) / UDP(sport=500, dport=500) /
             ISAKMP(init_cookie=ci, resp_cookie=cr, exch_type=2, next_payload=1) / sa)
    f.append(Ether(src=A_MAC, dst=B_MAC) / IP(src=A, dst=B, id=112) / UDP(sport=500, dport=500) /
             ISAKMP(init_cookie=ci, resp_cookie=cr, exch_type=2, next_payload=4) /
             ISAKMP_payload_KE(load=bytes(range(128))) / ISAKMP_payload_Nonce(load=bytes(range(20))))
    f.append(Ether(src=A_MAC, dst=B_MAC) / IP(src=A, dst=B, id=113) / UDP(sport=500, dport=500) /
             ISAKMP(init_cookie=ci, resp_cookie=cr, exch_type=2, next_payload=5, flags=1) / Raw(bytes(range(48))))
    return f


def fixtures():
    # Raw Novell 802.3: IPX right after the length field, no LLC header (an IPX RIP request).
    body = ipx(1, 0, b"\xff" * 6, 0x0453, 0, NODE_A, 0x0453, struct.pack(">HIHH", 1, 0xFFFFFFFF, 0xFFFF, 0xFFFF))
    raw = bytes.fromhex("ffffffffffff") + NODE_A + struct.pack(">H", len(body)) + body
    return {"ipx8023.zlc": (1, [raw])}
