"""RIP, RIPng, EIGRP and OSPF (v2 and v3) frames for the routing sample."""
from scapy.all import Ether, IP, IPv6, UDP, Raw
from scapy.layers.rip import RIP, RIPEntry, RIPAuth
from scapy.contrib.ripng import RIPng, RIPngEntry
from scapy.contrib.eigrp import EIGRP, EIGRPParam, EIGRPSwVer, EIGRPSeq, EIGRPIntRoute, EIGRPExtRoute
from scapy.contrib.ospf import (
    OSPF_Hdr, OSPF_Hello, OSPF_DBDesc, OSPF_LSReq, OSPF_LSReq_Item, OSPF_LSUpd, OSPF_LSAck, OSPF_LSA_Hdr,
    OSPF_Router_LSA, OSPF_Link, OSPF_Network_LSA, OSPF_SummaryIP_LSA, OSPF_SummaryASBR_LSA,
    OSPF_External_LSA, OSPF_NSSA_External_LSA, OSPF_Area_Scope_Opaque_LSA,
    OSPFv3_Hdr, OSPFv3_Hello, OSPFv3_LSUpd, OSPFv3_Router_LSA, OSPFv3_Link, OSPFv3_Network_LSA,
    OSPFv3_Inter_Area_Prefix_LSA, OSPFv3_AS_External_LSA, OSPFv3_Link_LSA, OSPFv3_Intra_Area_Prefix_LSA,
    OSPFv3_Prefix_Item,
)
import struct

R1_MAC = "00:00:0c:07:ac:01"
R2_MAC = "00:00:0c:07:ac:02"


def v4(src, dst, ttl=1, **kw):
    return Ether(src=R1_MAC, dst="01:00:5e:00:00:09") / IP(src=src, dst=dst, ttl=ttl, id=0x100, **kw)


def v6(dst):
    return Ether(src=R1_MAC, dst="33:33:00:00:00:05") / IPv6(src="fe80::200:cff:fe07:ac01", dst=dst, hlim=1)


def rip_frames():
    v1 = v4("192.168.10.1", "255.255.255.255") / UDP(sport=520, dport=520) / RIP(cmd=2, version=1)
    for net, metric in (("10.1.0.0", 1), ("10.2.0.0", 2), ("172.16.0.0", 3)):
        v1 = v1 / RIPEntry(AF=2, addr=net, mask="0.0.0.0", nextHop="0.0.0.0", metric=metric)
    v2 = (v4("192.168.10.1", "224.0.0.9") / UDP(sport=520, dport=520) / RIP(cmd=2, version=2) /
          RIPAuth(authtype=2, password="zelpan-rip") /
          RIPEntry(AF=2, RouteTag=100, addr="10.10.0.0", mask="255.255.0.0", nextHop="192.168.10.254", metric=1) /
          RIPEntry(AF=2, addr="10.20.30.0", mask="255.255.255.0", nextHop="0.0.0.0", metric=16))
    request = (v4("192.168.10.2", "224.0.0.9") / UDP(sport=520, dport=520) / RIP(cmd=1, version=2) /
               RIPEntry(AF=0, addr="0.0.0.0", metric=16))
    ripng = (v6("ff02::9") / UDP(sport=521, dport=521) / RIPng(cmd=2) /
             RIPngEntry(prefix_or_nh="fe80::200:cff:fe07:ac09", routetag=0, prefixlen=0, metric=0xFF) /
             RIPngEntry(prefix_or_nh="2001:db8:1::", routetag=0x10, prefixlen=48, metric=1) /
             RIPngEntry(prefix_or_nh="2001:db8:2:3::", routetag=0, prefixlen=64, metric=2))
    return [v1, v2, request, ripng]


def eigrp_frames():
    hello = (v4("192.168.20.1", "224.0.0.10", ttl=2) /
             EIGRP(opcode=5, asn=100, seq=0, ack=0,
                   tlvlist=[EIGRPParam(k1=1, k2=0, k3=1, k4=0, k5=0, holdtime=15),
                            EIGRPSwVer(ios="v12.4", eigrp="v1.2")]))
    update = (v4("192.168.20.1", "224.0.0.10", ttl=2) /
              EIGRP(opcode=1, flags=0, asn=100, seq=7, ack=3,
                    tlvlist=[EIGRPIntRoute(nexthop="0.0.0.0", delay=128000, bandwidth=256, mtu=1500, hopcount=0,
                                           reliability=255, load=1, prefixlen=24, dst="10.30.1.0"),
                             EIGRPExtRoute(nexthop="0.0.0.0", originrouter="192.168.20.9", originasn=200,
                                           tag=42, externalmetric=20, extprotocolid=6, flags=0x40,
                                           delay=2560, bandwidth=25600, mtu=1500, hopcount=1,
                                           reliability=255, load=1, prefixlen=16, dst="172.20.0.0")]))
    ack = v4("192.168.20.2", "192.168.20.1", ttl=2) / EIGRP(opcode=5, asn=100, seq=0, ack=7)
    return [hello, update, ack]


def te_lsa_body():
    """A traffic-engineering opaque body: router address and one link with sub-TLVs."""
    def tlv(t, v):
        pad = b"\x00" * (-len(v) % 4)
        return struct.pack(">HH", t, len(v)) + v + pad
    mbps = struct.pack(">f", 12500000.0)  # 100 Mbit/s in bytes per second
    link = (tlv(1, b"\x01") + tlv(2, bytes([10, 0, 0, 2])) + tlv(3, bytes([10, 0, 12, 1])) +
            tlv(4, bytes([10, 0, 12, 2])) + tlv(5, struct.pack(">I", 10)) + tlv(6, mbps) + tlv(7, mbps) +
            tlv(8, mbps * 8) + tlv(9, struct.pack(">I", 0x11)))
    return tlv(1, bytes([10, 0, 0, 1])) + tlv(2, link)


def ospf2_frames():
    hello = (v4("10.0.12.1", "224.0.0.5") /
             OSPF_Hdr(src="10.0.0.1", area="0.0.0.0") /
             OSPF_Hello(mask="255.255.255.0", hellointerval=10, options=0x02, prio=1, deadinterval=40,
                        router="10.0.12.1", backup="10.0.12.2", neighbors=["10.0.0.2"]))
    # Cryptographic authentication: the digest follows the packet.
    digest = bytes(range(0xA0, 0xB0))
    auth = (OSPF_Hdr(src="10.0.0.1", area="0.0.0.1", authtype=2, keyid=1, authdatalen=16, seq=1796716800) /
            OSPF_Hello(mask="255.255.255.252", options=0x12, prio=0, router="0.0.0.0", backup="0.0.0.0"))
    hello_md5 = v4("10.0.13.1", "224.0.0.5", proto=89) / Raw(bytes(auth) + digest)
    headers = [OSPF_LSA_Hdr(type=1, id="10.0.0.1", adrouter="10.0.0.1", seq=0x80000005),
               OSPF_LSA_Hdr(type=2, id="10.0.12.1", adrouter="10.0.0.1", seq=0x80000002),
               OSPF_LSA_Hdr(type=5, id="172.16.0.0", adrouter="10.0.0.3", seq=0x80000001)]
    dbd = (v4("10.0.12.1", "10.0.12.2") / OSPF_Hdr(src="10.0.0.1", area="0.0.0.0") /
           OSPF_DBDesc(mtu=1500, options=0x42, dbdescr=0x03, ddseq=4711, lsaheaders=headers))
    lsr = (v4("10.0.12.2", "10.0.12.1") / OSPF_Hdr(src="10.0.0.2", area="0.0.0.0") /
           OSPF_LSReq(requests=[OSPF_LSReq_Item(type=1, id="10.0.0.1", adrouter="10.0.0.1"),
                                OSPF_LSReq_Item(type=5, id="172.16.0.0", adrouter="10.0.0.3")]))
    router = OSPF_Router_LSA(id="10.0.0.1", adrouter="10.0.0.1", seq=0x80000005, flags=0x03, linklist=[
        OSPF_Link(id="10.0.0.2", data="10.0.12.1", type=1, metric=10),
        OSPF_Link(id="10.0.12.0", data="255.255.255.0", type=3, metric=10),
        OSPF_Link(id="10.0.13.2", data="10.0.13.1", type=2, metric=20)])
    network = OSPF_Network_LSA(id="10.0.13.2", adrouter="10.0.0.3", seq=0x80000002, mask="255.255.255.0",
                               routerlist=["10.0.0.3", "10.0.0.1"])
    summary = OSPF_SummaryIP_LSA(id="10.5.0.0", adrouter="10.0.0.1", seq=0x80000001, mask="255.255.0.0", metric=30)
    asbr = OSPF_SummaryASBR_LSA(id="10.0.0.9", adrouter="10.0.0.1", seq=0x80000001, metric=5)
    external = OSPF_External_LSA(id="172.16.0.0", adrouter="10.0.0.3", seq=0x80000001, mask="255.255.0.0",
                                 ebit=1, metric=20, fwdaddr="0.0.0.0", tag=77)
    nssa = OSPF_NSSA_External_LSA(id="172.17.0.0", adrouter="10.0.0.3", seq=0x80000001, mask="255.255.0.0",
                                  ebit=0, metric=15, fwdaddr="10.0.13.2", tag=0)
    opaque = OSPF_Area_Scope_Opaque_LSA(id="1.0.0.1", adrouter="10.0.0.1", seq=0x80000001, data=te_lsa_body())
    lsu = (v4("10.0.12.1", "224.0.0.5") / OSPF_Hdr(src="10.0.0.1", area="0.0.0.0") /
           OSPF_LSUpd(lsalist=[router, network, summary, asbr, external, nssa, opaque]))
    ack = (v4("10.0.12.2", "224.0.0.5") / OSPF_Hdr(src="10.0.0.2", area="0.0.0.0") /
           OSPF_LSAck(lsaheaders=headers[:2]))
    return [hello, hello_md5, dbd, lsr, lsu, ack]


def ospf3_frames():
    hello = (v6("ff02::5") / OSPFv3_Hdr(src="10.0.0.1", area="0.0.0.0") /
             OSPFv3_Hello(intid=5, prio=1, options=0x13, hellointerval=10, deadinterval=40,
                          router="10.0.0.1", backup="0.0.0.0", neighbors=["10.0.0.2"]))
    router = OSPFv3_Router_LSA(id="0.0.0.0", adrouter="10.0.0.1", seq=0x80000003, flags=0x01, options=0x13,
                               linklist=[OSPFv3_Link(type=2, metric=10, intid=5, neighintid=5,
                                                     neighbor="10.0.0.1")])
    network = OSPFv3_Network_LSA(id="0.0.0.5", adrouter="10.0.0.1", seq=0x80000001, options=0x13,
                                 routerlist=["10.0.0.1", "10.0.0.2"])
    inter = OSPFv3_Inter_Area_Prefix_LSA(id="0.0.0.1", adrouter="10.0.0.1", seq=0x80000001, metric=20,
                                         prefixlen=64, prefix="2001:db8:5:6::/64")
    external = OSPFv3_AS_External_LSA(id="0.0.0.2", adrouter="10.0.0.1", seq=0x80000001, flags=0x05, metric=30,
                                      prefixlen=48, prefix="2001:db8:77::/48", tag=0x1234)
    link = OSPFv3_Link_LSA(id="0.0.0.5", adrouter="10.0.0.1", seq=0x80000001, prio=1, options=0x13,
                           lladdr="fe80::200:cff:fe07:ac01",
                           prefixlist=[OSPFv3_Prefix_Item(prefixlen=64, prefix="2001:db8:12::/64")])
    intra = OSPFv3_Intra_Area_Prefix_LSA(id="0.0.0.0", adrouter="10.0.0.1", seq=0x80000001, reflstype=0x2001,
                                         reflsid="0.0.0.0", refadrouter="10.0.0.1",
                                         prefixlist=[OSPFv3_Prefix_Item(prefixlen=64, metric=10,
                                                                      prefix="2001:db8:12::/64")])
    lsu = (v6("ff02::5") / OSPFv3_Hdr(src="10.0.0.1", area="0.0.0.0") /
           OSPFv3_LSUpd(lsalist=[router, network, inter, external, link, intra]))
    return [hello, lsu]


def frames():
    return rip_frames() + eigrp_frames() + ospf2_frames() + ospf3_frames()
