// OSPFv2 and OSPFv3 as the IP protocol dispatch hands them over: header and
// authentication rules, packet bodies, LSA bodies, traffic-engineering TLVs, and
// walks that end on a zero length, a short count or a cut capture.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "tests/support.h"

using namespace zelpan;
using zt::cat;
using zt::Frame;
using zt::hex;

namespace {

constexpr int LEAD = 34;  // Ethernet, IPv4

struct Ospf : zt::Direct {
    Ospf() : zt::Direct(decode_ospf, LEAD) {}
};

Frame cut(const Frame& f, size_t n) { return Frame(f.begin(), f.begin() + long(std::min(n, f.size()))); }
Frame be16(size_t v) { return Frame{uint8_t(v >> 8), uint8_t(v)}; }

// Router 10.0.0.1, checksum 0xABCD; auth is AuType and its 8 bytes. v3: instance 5.
Frame ospf2(uint8_t type, const Frame& body, const std::string& area = "00000000",
            const std::string& auth = "0000 0000000000000000") {
    return cat({Frame{2, type}, be16(24 + body.size()), hex("0a000001"), hex(area), hex("abcd"), hex(auth), body});
}
Frame ospf3(uint8_t type, const Frame& body) {
    return cat({Frame{3, type}, be16(16 + body.size()), hex("0a000001 00000000 abcd 05 00"), body});
}
// Age 1, router 10.0.0.1, sequence 0x80000001, checksum 0x1234.
Frame lsa2(uint8_t type, const std::string& id, const Frame& body) {
    return cat({hex("0001 02"), Frame{type}, hex(id), hex("0a000001 80000001 1234"), be16(20 + body.size()), body});
}
Frame lsa3(uint16_t type, const Frame& body) {
    return cat({hex("0001"), be16(type), hex("00000000 0a000001 80000001 1234"), be16(20 + body.size()), body});
}
Frame update(int version, std::initializer_list<Frame> lsas, uint8_t count) {
    Frame body = {0, 0, 0, count};
    for (const Frame& l : lsas) body = cat({body, l});
    return version == 2 ? ospf2(4, body) : ospf3(4, body);
}

size_t count_of(const std::vector<std::string>& lines, const std::string& text) {
    size_t n = 0;
    for (const std::string& l : lines) n += l.find(text) != std::string::npos;
    return n;
}

// The body lines of an update's one LSA (after its "Length" line), unindented.
std::vector<std::string> lsa_body(const std::vector<std::string>& lines) {
    size_t i = 0;
    while (i < lines.size() && lines[i].rfind("        Length : ", 0) != 0) ++i;
    std::vector<std::string> out;
    for (++i; i < lines.size(); ++i) out.push_back(lines[i].substr(8));
    return out;
}

std::pair<uint32_t, uint32_t> range_of(zt::Direct& d, const Frame& msg, const std::string& text) {
    DetailTree t;
    d.tree(t, msg);
    for (int32_t h = 1; h <= t.size(); ++h)
        if (t.text(h) == text) return {t.line(h).offset, t.line(h).length};
    return {0, 0};
}

void expect_lines(const std::vector<std::string>& lines, const std::vector<std::string>& want, const char* what) {
    for (const std::string& w : want) EXPECT_TRUE(zt::has_line(lines, w)) << what << ": " << w;
}

const Frame hello2 = hex("ffffff00 000a 02 01 00000028 0a000c01 0a000c02");
const Frame hello3 = hex("00000005 01 000013 000a 0028 0a000001 00000000");

}  // namespace

TEST(OspfSummary, VersionAndPacketType) {
    Ospf d;
    const std::vector<std::pair<Frame, std::string>> cases = {
        {ospf2(1, hello2), "OSPFv2|Packet type : Hello(1) "},
        {ospf2(2, Frame{}), "OSPFv2|Packet type : Database Description(2) "},
        {ospf3(3, Frame{}), "OSPFv3|Packet type : Link State Request(3) "},
        {ospf3(4, Frame{}), "OSPFv3|Packet type : Link State Update(4) "},
        {ospf2(5, Frame{}), "OSPFv2|Packet type : Link State Acknowledgment(5) "},
        {ospf2(6, Frame{}), "OSPFv2|Packet type : Unknown(6) "},
        {hex("04 01 0010"), "OSPF|Packet type : Hello(1) "},
        {hex("03"), "OSPFv3|OSPFv3 header truncated (1 bytes captured)"},
    };
    for (const auto& [msg, want] : cases) {
        zt::Summary s = d.summary(msg);
        EXPECT_EQ(s.col[4] + "|" + s.col[5], want);
        FrameLayerIndex ix = d.layers(msg);
        ASSERT_EQ(ix.count, 1);
        EXPECT_EQ(ix.entries[0].protocol, P_OSPF);
        EXPECT_EQ(ix.entries[0].offset, 16 + LEAD);
        EXPECT_STREQ(ix.label, "OSPF");
    }
}

TEST(OspfHeader, AuthenticationAndArea) {
    Ospf d;
    const Frame digest = hex("a0a1a2a3a4a5a6a7a8a9aaabacadaeaf");
    const Frame crypto = cat({ospf2(1, hello2, "00000001", "0002 0000 01 10 6b17b900"), digest});
    const std::string md5 = "Auth Data : A0A1A2A3A4A5A6A7A8A9AAABACADAEAF";
    std::vector<std::string> l = d.detail(ospf2(1, hello2));
    const std::vector<std::string> want = {
        "  Open Shortest Path First", "    OSPF header", "      Version : 2", "      Packet type : Hello(1)",
        "      Packet length : 44", "      Router ID : 10.0.0.1", "      Area ID : 0.0.0.0 (backbone)",
        "      Checksum : 0xABCD", "      AuType : Null authentication(0)", "      Auth Data : None",
    };
    EXPECT_EQ(std::vector<std::string>(l.begin(), l.begin() + 10), want);
    struct Case {
        Frame msg;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {ospf2(1, hello2, "0a000000", "0001 7a656c70616e0000"),
         {"Area ID : 10.0.0.0", "AuType : Simple password(1)", "Auth Data : 7A656C70616E0000"}},
        {crypto, {"AuType : Cryptographic authentication(2)", "Auth Key ID : 1", "Auth Data Length : 16",
                  "Cryptographic sequence number : 0x6B17B900", md5}},
        {ospf2(1, hello2, "00000000", "0009 0000000000000000"), {"AuType : Unknown(9)", "Auth Data : Unknown(9)"}},
        {ospf3(1, hello3), {"Version : 3", "Packet length : 36", "Instance ID : 5"}},
    };
    for (const Case& k : cases) expect_lines(d.detail(k.msg), k.lines, "header");
    // The digest lies behind the packet and is shown only when the capture ends with it.
    EXPECT_EQ(range_of(d, crypto, md5), std::make_pair(uint32_t(LEAD + 44), 16u));
    EXPECT_FALSE(zt::has_line(d.detail(cat({crypto, hex("00")})), md5));
    EXPECT_EQ(count_of(d.detail(crypto), "Neighbor"), 0u);
    EXPECT_EQ(range_of(d, ospf3(1, hello3), "Instance ID : 5"), std::make_pair(uint32_t(LEAD + 14), 2u));
}

// The digest after the packet is shown whenever the capture ends with it, also
// when it is empty.
TEST(OspfHeader, CryptographicDigestLine) {
    Ospf d;
    struct Case {
        const char* auth;  // AuType and its 8 bytes
        const char* digest;
        const char* line;  // nullptr: no "Auth Data" line
    } cases[] = {
        {"0002 0000 01 00 00000001", "", "Auth Data : "},
        {"0002 0000 01 00 00000001", "00", nullptr},
        {"0002 0000 01 04 00000001", "01020304", "Auth Data : 01020304"},
        {"0002 0000 01 04 00000001", "010203", nullptr},
        {"0002 0000 01 04 00000001", "", nullptr},
    };
    for (const Case& k : cases) {
        Frame msg = cat({ospf2(1, hello2, "00000001", k.auth), hex(k.digest)});
        std::vector<std::string> got;
        for (const std::string& l : d.detail(msg))
            if (l.find("Auth Data : ") != std::string::npos) got.push_back(l.substr(l.find_first_not_of(' ')));
        if (!k.line) {
            EXPECT_TRUE(got.empty()) << k.auth << " + " << k.digest;
            continue;
        }
        EXPECT_EQ(got, std::vector<std::string>{k.line}) << k.auth << " + " << k.digest;
        EXPECT_EQ(range_of(d, msg, k.line), std::make_pair(uint32_t(LEAD + 44), uint32_t(hex(k.digest).size())));
    }
}

TEST(OspfPackets, HelloAndNeighbours) {
    Ospf d;
    std::vector<std::string> v2 = d.detail(ospf2(1, cat({hello2, hex("0a000002 0a000003")})));
    expect_lines(v2, {"Network Mask : 255.255.255.0", "Hello Interval : 10 seconds", "Options : 0x02",
                      "**** **1* : E - ON", "**** *0** : MC - OFF", "**** 0*** : N/P - OFF", "***0 **** : EA - OFF",
                      "**0* **** : DC - OFF", "Router Priority : 1", "Router Dead Interval : 40 seconds",
                      "Designated Router : 10.0.12.1", "Backup Designated Router : 10.0.12.2"}, "v2");
    EXPECT_EQ(v2.back(), "      Neighbor : 10.0.0.3");
    EXPECT_EQ(range_of(d, ospf2(1, cat({hello2, hex("0a000002 0a000003")})), "Neighbor : 10.0.0.3"),
              std::make_pair(uint32_t(LEAD + 48), 4u));
    for (auto [extra, neighbours] : {std::pair<size_t, size_t>{0, 0}, {4, 1}, {8, 2}, {6, 1}})
        EXPECT_EQ(count_of(d.detail(ospf2(1, cat({hello2, Frame(extra, 1)}))), "Neighbor : "), neighbours) << extra;
    expect_lines(d.detail(ospf3(1, cat({hello3, hex("0a000002")}))),
                 {"Interface ID : 5", "Router Priority : 1", "Options : 0x000013",
                  "**** **** **** **** **** ***1 : V6 - ON", "**** **** **** **** ***1 **** : R - ON",
                  "**** **** **** **** **0* **** : DC - OFF", "Hello Interval : 10 seconds",
                  "Router Dead Interval : 40 seconds", "Designated Router : 10.0.0.1", "Neighbor : 10.0.0.2"}, "v3");
}

// (body length - 17) / 4 neighbours: a last one cut short is named with the
// bytes it has, never read past them.
TEST(OspfPackets, NeighbourCutShort) {
    Ospf d;
    struct Case {
        Frame msg;
        std::vector<std::string> neighbours;
        uint32_t last_length;
    };
    const Frame full = ospf2(1, cat({hello2, hex("0a000002 0a000003")}));
    const Case cases[] = {
        {ospf2(1, hello2), {}, 0},
        {ospf2(1, cat({hello2, hex("0a")})), {"Neighbor truncated : 1 of 4 bytes"}, 1},
        {ospf2(1, cat({hello2, hex("0a0000")})), {"Neighbor truncated : 3 of 4 bytes"}, 3},
        {ospf2(1, cat({hello2, hex("0a000002")})), {"Neighbor : 10.0.0.2"}, 4},
        {ospf2(1, cat({hello2, hex("0a000002 0a00")})), {"Neighbor : 10.0.0.2", "Neighbor truncated : 2 of 4 bytes"}, 2},
        {cut(full, full.size() - 1), {"Neighbor : 10.0.0.2", "Neighbor truncated : 3 of 4 bytes"}, 3},  // by the capture
        {full, {"Neighbor : 10.0.0.2", "Neighbor : 10.0.0.3"}, 4},
        {ospf3(1, cat({hello3, hex("0a00")})), {"Neighbor truncated : 2 of 4 bytes"}, 2},
    };
    for (const Case& k : cases) {
        std::vector<std::string> got;
        for (const std::string& l : d.detail(k.msg))
            if (l.find("Neighbor") != std::string::npos) got.push_back(l.substr(l.find_first_not_of(' ')));
        EXPECT_EQ(got, k.neighbours);
        if (k.neighbours.empty()) continue;
        uint32_t header = k.msg[0] == 2 ? 24 : 16;
        uint32_t at = LEAD + header + 20 + 4 * uint32_t(k.neighbours.size() - 1);
        EXPECT_EQ(range_of(d, k.msg, k.neighbours.back()), std::make_pair(at, k.last_length)) << k.neighbours.back();
    }
}

TEST(OspfPackets, DatabaseDescriptionRequestAcknowledgment) {
    Ospf d;
    const Frame header = lsa2(1, "0a000001", Frame{});
    std::vector<std::string> dd = d.detail(ospf2(2, cat({hex("05dc 02 05 00001267"), header, hex("000102030405")})));
    expect_lines(dd, {"Interface MTU : 1500", "Options : 0x02", "Flags : 0x05", "**** ***1 : MS - Master",
                      "**** **0* : M - OFF", "**** *1** : I - first", "DD Sequence number : 4711", "LSA header",
                      "LS age : 1 seconds", "LSA type : Router-LSA(1)", "Link State ID : 10.0.0.1",
                      "LS sequence number : 0x80000001", "LS checksum : 0x1234", "Length : 20"}, "dd v2");
    EXPECT_EQ(dd.back(), "      LSA header Length=6");
    // v3: options in bytes 1-3, MTU at 4, flags at 7, sequence at 8.
    std::vector<std::string> dd3 = d.detail(ospf3(2, cat({hex("00 000013 05dc 00 02 00000009"), lsa3(0x2001, {})})));
    expect_lines(dd3, {"Options : 0x000013", "Interface MTU : 1500", "Flags : 0x02", "**** **1* : M - more",
                       "**** ***0 : MS - Slave", "DD Sequence number : 9", "LSA type : Router-LSA(0x2001)",
                       "LS sequence number : 2147483649", "LS checksum : 0x1234"}, "dd v3");
    // Requests: (length + 11) / 12 nodes, a cut one included.
    std::vector<std::string> lsr = d.detail(ospf2(3, hex("00000001 0a000001 0a000001 00000007 0a000002 0a000003 00")));
    EXPECT_EQ(count_of(lsr, "Link State Request Packet"), 3u);
    expect_lines(lsr, {"LS Type : Router-LSA(0x00000001)", "LS Type : NSSA AS-External-LSA(0x00000007)",
                       "Advertising Router : 10.0.0.3"}, "lsr");
    expect_lines(d.detail(ospf3(3, hex("0000 2009 00000000 0a000001"))), {"LS Type : Intra-Area-Prefix-LSA(0x2009)"},
                 "lsr v3");
    EXPECT_EQ(count_of(d.detail(ospf2(5, cat({header, header}))), "LSA header"), 2u);
    EXPECT_EQ(d.detail(ospf2(5, Frame(19, 0))).back(), "      LSA header Length=19");
    EXPECT_EQ(d.detail(ospf2(9, Frame(5, 0))).back(), "    Uknown Packet Type(9) 5 bytes");
}

TEST(OspfLsa, VersionTwoBodies) {
    Ospf d;
    struct Case {
        Frame lsa;
        std::vector<std::string> body;
    };
    const Case cases[] = {
        {lsa2(1, "0a000001", hex("01 00 0002 0a000002 0a000c01 01 01 000a 05 00 0064 0a000c00 ffffff00 09 00 000a")),
         {"Flags : 0x01", "  **** ***1 : B - area border router", "  **** **0* : E - OFF", "  **** *0** : V - OFF",
          "Number of Links : 2", "Neighboring router's Router ID : 10.0.0.2", "Link Data : 10.0.12.1",
          "Type : Point-to-point connection to another router(1)", "Number of TOS : 1", "TOS : 0 metric : 10",
          "TOS : 5 Metric : 100", "Unknown link ID : 10.0.12.0", "Link Data : 255.255.255.0",
          "Type : Unknown link type(9)", "Number of TOS : 0", "TOS : 0 metric : 10"}},
        {lsa2(2, "0a000c01", hex("ffffff00 0a000001 0a000002")),
         {"Network Mask : 255.255.255.0", "Attached Router : 10.0.0.1", "Attached Router : 10.0.0.2"}},
        {lsa2(3, "0a050000", hex("ffff0000 00 00001e 08 000028")),
         {"Network Mask : 255.255.0.0", "Metric : 30", "TOS : 8 Metric : 40"}},
        {lsa2(5, "ac100000", hex("ffff0000 80 000014 00000000 0000004d 08 000028 0a000002 00000001")),
         {"Network Mask : 255.255.0.0", "External Type : Type 2 metric", "Metric : 20", "Forwarding Address : 0.0.0.0",
          "External Route Tag : 77", "External Type : Type 1 metric", "TOS : 8 Metric: 40",
          "Forwarding Address : 10.0.0.2", "External Route Tag : 1"}},
        {lsa2(6, "e0000001", hex("00000001")), {"Unknown LSA Type(6) 4 bytes"}},
        {lsa2(10, "04000001", hex("0001 0004 0a000001")), {"Unknown LSA Type 4 8 bytes"}},
    };
    for (const Case& k : cases) EXPECT_EQ(lsa_body(d.detail(update(2, {k.lsa}, 1))), k.body);
    expect_lines(d.detail(update(2, {lsa2(9, "04000001", hex("00000000"))}, 1)),
                 {"Opaque LSA Link-Local Scoping(9)", "Link State ID Opaque type : 4", "Link State ID Opaque ID : 1"},
                 "opaque");
}

TEST(OspfLsa, TrafficEngineering) {
    Ospf d;
    // 0x4B3EBC20 is 12500000.0 (100 Mbit/s); 0x3F000000 is 0.5.
    Frame link = hex("0001 0001 01000000  0003 0008 0a000c01 0a000d01  0007 0004 3f000000"
                     "000f 0024 01 02 0000 4b3ebc20 4b3ebc20 00000000 00000000 00000000 00000000 00000000 00000000"
                     "000e 0001 01000000");
    Frame body = cat({hex("0001 0004 0a000001 0002"), be16(link.size()), link, hex("0009 0002 abcd 0000")});
    Frame u = update(2, {lsa2(10, "01000007", body)}, 1);
    std::vector<std::string> l = lsa_body(d.detail(u));
    expect_lines(l, {"MPLS Traffic Engineering LSA", "TLV Type : Router Address(1)", "Router Address : 10.0.0.1",
                     "TLV Type : Link Information(2)", "TLV Length : 76", "TLV Type : Link Type(1)", "Link Type : 1",
                     "Local Interface IP Address : 10.0.12.1", "Local Interface IP Address : 10.0.13.1",
                     "Maximum Reservable Bandwidth : 0", "TLV Length : 36",
                     "Switching Type : Packet-Switch Capable-1 (PSC-1)(1)", "Encoding : Ethernet v2/DIX(2)",
                     "Pri 1 : 12500000 bytes/s(100000000 bits/s)", "Pri 7 : 0 bytes/s(0 bits/s)",
                     "TLV Type : Link Protection Type(14)", "Unknown Link sub-TLV : 14", "Unknown LSA : 9",
                     "TLV Type : Unknown(9)"}, "te");
    EXPECT_EQ(count_of(l, "Pri "), 8u);
    EXPECT_EQ(l.back(), "    TLV Data");
    // The body starts at LEAD + 48; ranges cover values, not their padding.
    EXPECT_EQ(range_of(d, u, "TLV Data"), std::make_pair(uint32_t(LEAD + 48 + 92), 2u));
    EXPECT_EQ(range_of(d, u, "Pri 0 : 12500000 bytes/s(100000000 bits/s)"), std::make_pair(uint32_t(LEAD + 48 + 48), 4u));
}

TEST(OspfLsa, VersionThreeBodies) {
    Ospf d;
    struct Case {
        Frame lsa;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {lsa3(0x2001, hex("09 000013 02 00 000a 00000005 00000006 0a000002")),
         {"Flags : 0x09", "**** ***1 : B - area border router", "**** 1*** : W - wild-card multicast receiver",
          "Type : Connection to a transit network(2)", "Metric : 10", "Interface ID : 5", "Neighbor Interface ID : 6",
          "Neighbor Router ID : 10.0.0.2"}},
        {lsa3(0x2002, hex("00 000013 0a000001")), {"Options : 0x000013", "Attached Router : 10.0.0.1"}},
        {lsa3(0x2003, hex("00 000014 40 00 0000 20010db8 00050006")),
         {"Metric : 20", "PrefixLength : 64", "PrefixOptions : 0x00", "**** ***0 : NU - unicast calculations included",
          "**** 0*** : P - propagate OFF", "Address Prefix : 2001:0DB8:0005:0006:"}},
        {lsa3(0x2004, hex("00 000013 00 000005 0a000009")),
         {"Options : 0x000013", "Metric : 5", "Destination Router ID : 10.0.0.9"}},
        // F, T and a referenced type: forwarding address, tag and ID follow the prefix.
        {lsa3(0x4005, hex("07 00001e 30 00 2001 20010db8 00770000 fe800000000000000000000000000001 00001234 0a0a0a0a")),
         {"Flags : 0x07", "**** ***1 : T - External Route Tag included", "**** **1* : F - Forwarding Address included",
          "**** *1** : E - Type 2 external metric", "Metric : 30", "PrefixLength : 48",
          "Referenced LS type : Router-LSA(0x2001)", "Address Prefix : 2001:0DB8:0077:0000:",
          "Forwarding Address : FE80::1", "External Route Tag : 0x00001234", "Referenced Link State ID : 10.10.10.10"}},
        {lsa3(0x4005, hex("00 00001e 00 01 0000 ffffffff")),
         {"**** ***0 : T - External Route Tag not included", "**** *0** : E - Type 1 external metric",
          "PrefixOptions : 0x01", "**** ***1 : NU - unicast calculations excluded", "Address Prefix : "}},
        {lsa3(0x2009, hex("0001 2001 00000000 0a000001 40 00 000a 20010db8 00120000")),
         {"Number of  prefixes : 1", "Referenced LS type : Router-LSA(0x2001)", "Referenced Link State ID : 0.0.0.0",
          "Referenced Advertising Router : 10.0.0.1", "PrefixLength : 64", "Metric : 10",
          "Address Prefix : 2001:0DB8:0012:0000:"}},
        {lsa3(0x2006, hex("00000001")), {"Unknown LSA Type : 0x2006 4 bytes"}},
    };
    for (const Case& k : cases) {
        std::vector<std::string> body = lsa_body(d.detail(update(3, {k.lsa}, 1)));
        expect_lines(body, k.lines, "v3");
        EXPECT_EQ(body.back().find_first_not_of(' '), body.back().find(k.lines.back())) << k.lines.back();
    }
    // Link-LSA prefixes; a length above 128 bits takes the words it says (7 for 200).
    Frame link = lsa3(0x0008, hex("01 000013 fe800000000000000200000000000001 00000002 40 00 0000 20010db8 00120000"
                                  "c8 00 0000 00010203 04050607 08090a0b 0c0d0e0f 10111213 14151617 18191a1b"));
    std::vector<std::string> l = d.detail(update(3, {link}, 1));
    expect_lines(l, {"Router Priority : 1", "Link-local Interface Address : FE80::200:0:0:1", "Number of prefixes : 2",
                     "PrefixLength : 200"}, "link");
    EXPECT_EQ(l.back(), "        Address Prefix : 0001:0203:0405:0607:0809:0A0B:0C0D:0E0F:1011:1213:1415:1617:1819:1A1B:");
    EXPECT_EQ(range_of(d, update(3, {link}, 1), "Address Prefix : 2001:0DB8:0012:0000:"),
              std::make_pair(uint32_t(LEAD + 16 + 4 + 48), 8u));
}

// (length + 31) / 32 words, up to 8 for a length of 255, and the next prefix
// follows them; a prefix the LSA or the capture cuts short gets no line.
TEST(OspfLsa, PrefixWordsFollowTheLength) {
    Ospf d;
    const Frame second = hex("40 00 0000 20010db8 00120000");
    const std::string second_text = "Address Prefix : 2001:0DB8:0012:0000:";
    Frame words(32);
    for (size_t i = 0; i < words.size(); ++i) words[i] = uint8_t(i);
    struct Case {
        uint8_t length;
        size_t bytes;
        std::string text;
    } cases[] = {
        {0, 0, "Address Prefix : "},
        {32, 4, "Address Prefix : 0001:0203:"},
        {64, 8, "Address Prefix : 0001:0203:0405:0607:"},
        {129, 20, "Address Prefix : 0001:0203:0405:0607:0809:0A0B:0C0D:0E0F:1011:1213:"},
        {255, 32, "Address Prefix : 0001:0203:0405:0607:0809:0A0B:0C0D:0E0F:1011:1213:1415:1617:1819:1A1B:1C1D:1E1F:"},
    };
    const Frame head = hex("01 000013 fe800000000000000200000000000001 00000002");
    for (const Case& k : cases) {
        Frame first = cat({Frame{k.length, 0, 0, 0}, Frame(words.begin(), words.begin() + long(k.bytes))});
        Frame msg = update(3, {lsa3(0x0008, cat({head, first, second}))}, 1);
        std::vector<std::string> l = d.detail(msg);
        EXPECT_TRUE(zt::has_line(l, k.text)) << int(k.length);
        EXPECT_EQ(range_of(d, msg, k.text), std::make_pair(uint32_t(LEAD + 16 + 4 + 20 + 24 + 4), uint32_t(k.bytes)))
            << int(k.length);
        EXPECT_EQ(l.back(), "        " + second_text) << int(k.length);
        EXPECT_EQ(count_of(l, "Address Prefix : "), 2u) << int(k.length);
    }
    // A length of 255 with 20 bytes in the LSA, and with 20 bytes in the capture.
    Frame short_lsa = update(3, {lsa3(0x0008, cat({head, Frame{255, 0, 0, 0}, Frame(words.begin(), words.begin() + 20)}))}, 1);
    EXPECT_EQ(count_of(d.detail(short_lsa), "Address Prefix : "), 0u);
    Frame whole = update(3, {lsa3(0x0008, cat({head, Frame{255, 0, 0, 0}, words}))}, 1);
    EXPECT_EQ(count_of(d.detail(cut(whole, whole.size() - 12)), "Address Prefix : "), 0u);
    EXPECT_EQ(count_of(d.detail(whole), "Address Prefix : "), 1u);
}

TEST(OspfLsa, WalksEnd) {
    Ospf d;
    const Frame net = lsa2(2, "0a000c01", hex("ffffff00 0a000001"));
    const std::pair<Frame, size_t> cases[] = {
        {update(2, {net, net}, 2), 2},
        {update(2, {net, net}, 1), 1},                                     // the count ends the walk
        {update(2, {net, net}, 200), 2},                                   // so does the end of the data
        {update(2, {net, cat({Frame(18, 0), hex("0000")}), net}, 3), 2},  // and a length of 0
        {update(2, {net, Frame(7, 0)}, 2), 1},                            // a short header gets one line
        {update(3, {lsa3(0x2002, hex("00 000013")), lsa3(0x2002, {})}, 9), 2},
    };
    for (const auto& [msg, lsas] : cases) EXPECT_EQ(count_of(d.detail(msg), "LSA type : "), lsas);
    EXPECT_EQ(d.detail(update(2, {net, Frame(7, 0)}, 2)).back(), "      LSA header Length=7");
    // A TE TLV of length 0 ends its walk; a sub-TLV past its TLV ends the sub-TLV walk.
    std::vector<std::string> te = d.detail(update(2, {lsa2(10, "01000001", hex("0001 0004 0a000001 0001 0000 0001 0004 0a000002"))}, 1));
    EXPECT_EQ(count_of(te, "Router Address : "), 1u);
    std::vector<std::string> sub = d.detail(update(2, {lsa2(10, "01000001", hex("0002 000c 0005 0010 00000007 0005 0004 00000008"))}, 1));
    EXPECT_TRUE(zt::has_line(sub, "Traffic Engineering Metric : 7"));
    EXPECT_FALSE(zt::has_line(sub, "Traffic Engineering Metric : 8"));
}

TEST(OspfTruncation, EveryCutEnds) {
    Ospf d;
    const Frame packets[] = {
        update(2, {lsa2(1, "0a000001", hex("00 00 0001 0a000002 0a000c01 01 01 000a 05 00 0064")),
                   lsa2(5, "ac100000", hex("ffff0000 80 000014 00000000 0000004d 08 000028 0a000002 00000001")),
                   lsa2(10, "01000001", hex("0001 0004 0a000001 0002 0014 0008 0008 3f800000 3f800000 0001 0001 01000000"))},
               3),
        update(3, {lsa3(0x4005, hex("07 00001e 30 00 2001 20010db8 00770000 fe800000000000000000000000000001 00001234 0a0a0a0a")),
                   lsa3(0x0008, hex("01 000013 fe800000000000000200000000000001 00000001 40 00 0000 20010db8 00120000"))},
               2),
        ospf2(1, cat({hello2, hex("0a000002")})),
        ospf3(2, cat({hex("00 000013 05dc 00 02 00000009"), lsa3(0x2001, {})})),
    };
    for (const Frame& p : packets) {
        for (size_t n = 0; n <= p.size(); ++n) {
            std::vector<std::string> lines = d.detail(cut(p, n));
            EXPECT_EQ(lines[0], "  Open Shortest Path First");
            // Without the version byte the header size is unknown; two bytes are wanted.
            size_t header = n == 0 ? 2 : p[0] == 2 ? 24 : 16;
            EXPECT_EQ(zt::has_line(lines, "Header truncated : " + std::to_string(n) + " of " + std::to_string(header) +
                                              " bytes captured"),
                      n < header);
            EXPECT_EQ(d.summary(cut(p, n)).col[4], n == 0 ? "OSPF" : p[0] == 2 ? "OSPFv2" : "OSPFv3");
        }
    }
}
