"""SNMP and SSL/TLS sample frames: an SNMPv2c get and its response, an SNMPv1 trap,
a TLS 1.0 handshake with application data and a closing alert, and an SSL 2.0
client hello. Deterministic: fixed addresses, ids, randoms and time values."""
import struct

from scapy.all import Ether, IP, TCP, UDP, Raw
from scapy.layers.snmp import (SNMP, SNMPget, SNMPresponse, SNMPtrapv1, SNMPvarbind)
from scapy.asn1.asn1 import ASN1_OID, ASN1_STRING, ASN1_INTEGER, ASN1_NULL, ASN1_IPADDRESS, ASN1_TIME_TICKS

CLIENT_MAC = "00:1b:21:3a:4f:01"
ROUTER_MAC = "00:0d:b9:41:6a:10"
CLIENT = "192.168.10.23"
AGENT = "192.168.10.1"
WEB = "93.184.216.34"


def eth(src=CLIENT_MAC, dst=ROUTER_MAC):
    return Ether(src=src, dst=dst)


def snmp_frames():
    f = []
    oids = ["1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.3.0", "1.3.6.1.2.1.1.5.0"]
    get = SNMP(version=1, community="public",
               PDU=SNMPget(id=0x2A17, varbindlist=[SNMPvarbind(oid=ASN1_OID(o), value=ASN1_NULL(0)) for o in oids]))
    f.append(eth() / IP(src=CLIENT, dst=AGENT, id=40) / UDP(sport=50161, dport=161) / get)
    values = [ASN1_STRING(b"Zelpan test router, firmware 1.2"), ASN1_TIME_TICKS(8640042),
              ASN1_STRING(b"gw.example.test")]
    resp = SNMP(version=1, community="public",
                PDU=SNMPresponse(id=0x2A17, varbindlist=[SNMPvarbind(oid=ASN1_OID(o), value=v)
                                                         for o, v in zip(oids, values)]))
    f.append(eth(ROUTER_MAC, CLIENT_MAC) / IP(src=AGENT, dst=CLIENT, id=41) / UDP(sport=161, dport=50161) / resp)
    trap = SNMP(version=0, community="public",
                PDU=SNMPtrapv1(enterprise=ASN1_OID("1.3.6.1.4.1.8072.3.2.10"), agent_addr=ASN1_IPADDRESS(AGENT),
                               generic_trap=ASN1_INTEGER(3), specific_trap=ASN1_INTEGER(0),
                               time_stamp=ASN1_TIME_TICKS(123456),
                               varbindlist=[SNMPvarbind(oid=ASN1_OID("1.3.6.1.2.1.2.2.1.1.2"),
                                                        value=ASN1_INTEGER(2))]))
    f.append(eth(ROUTER_MAC, CLIENT_MAC) / IP(src=AGENT, dst=CLIENT, id=42) / UDP(sport=50162, dport=162) / trap)
    return f


def record(content_type, body, version=0x0301):
    return struct.pack(">BHH", content_type, version, len(body)) + body


def handshake(kind, body):
    return struct.pack(">B", kind) + struct.pack(">I", len(body))[1:] + body


def hello_random(seed):
    return struct.pack(">I", 1796716800) + bytes((seed + i * 7) & 0xFF for i in range(28))


def tls_frames():
    suites = [0x0004, 0x0005, 0x000A, 0x0013, 0x002F, 0x0035]
    client_hello = handshake(1, struct.pack(">H", 0x0301) + hello_random(1) + b"\x00" +
                             struct.pack(">H", 2 * len(suites)) + b"".join(struct.pack(">H", s) for s in suites) +
                             b"\x01\x00")
    session = bytes(range(0x40, 0x60))
    server_hello = handshake(2, struct.pack(">H", 0x0301) + hello_random(2) + bytes([len(session)]) + session +
                             struct.pack(">H", 0x0005) + b"\x00")
    cert = b"\x30\x82\x01\x10" + bytes((i * 13 + 5) & 0xFF for i in range(272))
    certificate = handshake(11, struct.pack(">I", len(cert) + 3)[1:] + struct.pack(">I", len(cert))[1:] + cert)
    done = handshake(14, b"")
    key_exchange = handshake(16, struct.pack(">H", 128) + bytes((i * 31 + 9) & 0xFF for i in range(128)))
    encrypted_finished = bytes((i * 53 + 17) & 0xFF for i in range(36))

    def c2s(seq, ack, payload, ident):
        return (eth() / IP(src=CLIENT, dst=WEB, id=ident, flags="DF") /
                TCP(sport=40300, dport=443, flags="PA", seq=seq, ack=ack, window=64240) / Raw(payload))

    def s2c(seq, ack, payload, ident):
        return (eth(ROUTER_MAC, CLIENT_MAC) / IP(src=WEB, dst=CLIENT, id=ident, flags="DF") /
                TCP(sport=443, dport=40300, flags="PA", seq=seq, ack=ack, window=65160) / Raw(payload))

    f = []
    c, s = 5001, 9001
    payloads = [
        ("c", record(22, client_hello)),
        ("s", record(22, server_hello + certificate + done)),
        ("c", record(22, key_exchange) + record(20, b"\x01") + record(22, encrypted_finished)),
        ("s", record(20, b"\x01") + record(22, bytes((i * 29 + 3) & 0xFF for i in range(36)))),
        ("c", record(23, bytes((i * 7 + 1) & 0xFF for i in range(96)))),
        ("s", record(23, bytes((i * 11 + 2) & 0xFF for i in range(320))) +
              record(23, bytes((i * 17 + 4) & 0xFF for i in range(48)))),
        ("c", record(21, bytes((i * 19 + 6) & 0xFF for i in range(22)))),
    ]
    for i, (side, payload) in enumerate(payloads):
        if side == "c":
            f.append(c2s(c, s, payload, 60 + i))
            c += len(payload)
        else:
            f.append(s2c(s, c, payload, 80 + i))
            s += len(payload)
    # An SSL 2.0 client hello offering SSLv2 and TLS suites, on a connection of its own.
    specs = [0x010080, 0x0700C0, 0x030080, 0x000005, 0x00000A]
    challenge = bytes(range(0xA0, 0xB0))
    body = (b"\x01" + struct.pack(">HHHH", 0x0301, 3 * len(specs), 0, len(challenge)) +
            b"".join(struct.pack(">I", x)[1:] for x in specs) + challenge)
    v2 = struct.pack(">H", 0x8000 | len(body)) + body
    f.append(eth() / IP(src=CLIENT, dst=WEB, id=90, flags="DF") /
             TCP(sport=40302, dport=443, flags="PA", seq=7001, ack=1, window=64240) / Raw(v2))
    return f


def frames():
    return snmp_frames() + tls_frames()
