// RIP, RIPng and EIGRP decoded directly as the port and IP protocol dispatch hand
// them over: entry counts and per-family rules, TLV layouts, byte ranges, and
// walks that end on a zero length, a length past the data or a cut capture.
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

constexpr int UDP_LEAD = 42;  // Ethernet, IPv4, UDP
constexpr int IP_LEAD = 34;   // Ethernet, IPv4

Frame cut(const Frame& f, size_t n) { return Frame(f.begin(), f.begin() + long(std::min(n, f.size()))); }

// Lines below the first one (the top node), without their common indentation.
std::vector<std::string> children(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (size_t i = 1; i < lines.size(); ++i) out.push_back(lines[i].substr(4));
    return out;
}

size_t count_of(const std::vector<std::string>& lines, const std::string& text) {
    size_t n = 0;
    for (const std::string& l : lines)
        if (l.find(text) != std::string::npos) ++n;
    return n;
}

// Byte range (frame offset, length) of the first display line with this text.
std::pair<uint32_t, uint32_t> range_of(zt::Direct& d, const Frame& msg, const std::string& text) {
    DetailTree t;
    d.tree(t, msg);
    for (int32_t h = 1; h <= t.size(); ++h)
        if (t.text(h) == text) return {t.line(h).offset, t.line(h).length};
    ADD_FAILURE() << "no line " << text;
    return {0, 0};
}

const Frame v2_auth = hex("02 02 0000  ffff 0002 7a656c70616e00000000000000000000");
const Frame v2_route = hex("0002 0064 0a0a0000 ffff0000 c0a80afe 00000001");
const Frame v1_route = hex("0002 0000 0a010000 00000000 00000000 00000002");

struct Rip : zt::Direct {
    Rip() : zt::Direct(decode_rip, UDP_LEAD) {}
};
struct Ripng : zt::Direct {
    Ripng() : zt::Direct(decode_ripng, UDP_LEAD) {}
};
struct Eigrp : zt::Direct {
    Eigrp() : zt::Direct(decode_eigrp, IP_LEAD) {}
};

Frame eigrp(const std::string& opcode_and_rest, const Frame& tlvs = {}) {
    return cat({hex("02 " + opcode_and_rest), tlvs});
}
// Version 2, opcode, checksum, flags, sequence 7, the acknowledge number, AS 100.
Frame eigrp_header(uint8_t opcode, uint32_t ack) {
    Frame f = hex("02 00 1234 00000000 00000007 00000000 00000064");
    f[1] = opcode;
    for (int i = 0; i < 4; ++i) f[size_t(12 + i)] = uint8_t(ack >> (24 - 8 * i));
    return f;
}

}  // namespace

TEST(RipSummary, CommandsAndLayer) {
    Rip d;
    const std::pair<uint8_t, const char*> cases[] = {
        {1, "Command : Request(1)"}, {2, "Command : Response(2)"}, {3, "Command : Traceon(3)"},
        {4, "Command : Traceoff(4)"}, {5, "Command : Reserved(5)"}, {6, "Command : Unknown(6)"},
    };
    for (auto [command, column5] : cases) {
        zt::Summary s = d.summary(Frame{command, 2, 0, 0});
        EXPECT_EQ(s.col[4], "RIP");
        EXPECT_EQ(s.col[5], column5);
    }
    EXPECT_EQ(d.summary(Frame{}).col[5], "RIP header truncated (0 bytes captured)");
    FrameLayerIndex ix = d.layers(v2_auth);
    ASSERT_EQ(ix.count, 1);
    EXPECT_EQ(ix.entries[0].protocol, P_RIP);
    EXPECT_EQ(ix.entries[0].offset, 16 + UDP_LEAD);
}

TEST(RipDetail, VersionTwoWithAuthentication) {
    Rip d;
    const std::vector<std::string> want = {
        "Command : Response(2)",
        "Version : 2",
        "Address Family Identifier : 0xFFFF",
        "  Authentication Type : 2",
        "  Authentication : 7A656C70616E00000000000000000000",
        "Address Family Identifier : 0x0002",
        "  Route Tag : 100(0x0064)",
        "  IP : 10.10.0.0",
        "  Subnet Mask : 255.255.0.0",
        "  Next Hop : 192.168.10.254",
        "  Metric : 1",
        // Version 1: no tag, no mask, the next hop all the same.
        "Address Family Identifier : 0x0002",
        "  IP : 10.1.0.0",
        "  Next Hop : 0.0.0.0",
        "  Metric : 2",
        "Address Family Identifier : Unknown(0x0007)",
    };
    Frame m = cat({v2_auth, v2_route, v1_route, hex("0007 0000 0a010000 ffffff00 00000000 00000002")});
    std::vector<std::string> lines = d.detail(m);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "  Routing Information Protocol");
    EXPECT_EQ(children(lines), want);

    // Entries are 20 bytes from byte 4; the key is the last 16 of the first.
    EXPECT_EQ(range_of(d, m, "Authentication : 7A656C70616E00000000000000000000"),
              std::make_pair(uint32_t(UDP_LEAD + 8), uint32_t(16)));
    EXPECT_EQ(range_of(d, m, "Address Family Identifier : Unknown(0x0007)"),
              std::make_pair(uint32_t(UDP_LEAD + 64), uint32_t(20)));
    EXPECT_EQ(range_of(d, m, "Metric : 1"), std::make_pair(uint32_t(UDP_LEAD + 40), uint32_t(4)));
}

TEST(RipDetail, EntryCountFollowsTheLength) {
    Rip d;
    Frame response = hex("02 02 0000");
    for (int i = 0; i < 25; ++i) response = cat({response, v2_route});
    struct Case {
        size_t length;
        size_t families;  // entries with their family captured
    };
    // (length + 15) / 20 entries: a partial entry still counts, fewer than 5 bytes none.
    const Case cases[] = {{504, 25}, {8, 1}, {5, 0}, {4, 0}, {24, 1}, {25, 1}, {44, 2}, {45, 2}, {46, 3}};
    for (const Case& k : cases) {
        std::vector<std::string> lines = d.detail(cut(response, k.length));
        EXPECT_EQ(count_of(lines, "Address Family Identifier"), k.families) << k.length;
        EXPECT_EQ(count_of(lines, "Entry truncated"), (k.length - 4) % 20 ? 1u : 0u) << k.length;
        EXPECT_EQ(count_of(lines, "Version : 2"), k.length >= 2 ? 1u : 0u);
    }
    // A cut entry shows the fields it holds whole and no more.
    std::vector<std::string> l = d.detail(cut(response, 4 + 14));
    EXPECT_TRUE(zt::has_line(l, "IP : 10.10.0.0"));
    EXPECT_FALSE(zt::has_line(l, "Next Hop : 192.168.10.254"));
    EXPECT_TRUE(zt::has_line(l, "Entry truncated : 14 of 20 bytes captured"));
}

TEST(RipngDetail, NextHopAndPrefixEntries) {
    Ripng d;
    Frame m = cat({hex("02 01 0000"),
                   hex("fe800000000000000200 0cfffe07ac09 0000 00 ff"),
                   hex("20010db8000100000000000000000000 0010 30 01")});
    EXPECT_EQ(d.summary(m).col[4], "RIPng");
    EXPECT_EQ(d.summary(m).col[5], "Command : Response(2)");
    EXPECT_EQ(d.summary(hex("03 01")).col[5], "Command : Unknown(3)");
    FrameLayerIndex ix = d.layers(m);
    ASSERT_EQ(ix.count, 1);
    EXPECT_EQ(ix.entries[0].protocol, P_RIPNG);
    const std::vector<std::string> want = {
        "Command : Response(2)",
        "Version : 1",
        "Route Table Entry",
        "  IPv6 next hop address : FE80::200:CFF:FE07:AC09",
        "  prefix length : 0",
        "  metric : 255",
        "Route Table Entry",
        "  IPv6 prefix : 2001:DB8:1::",
        "  route tag : 0x0010",
        "  prefix length : 48",
        "  metric : 1",
    };
    EXPECT_EQ(children(d.detail(m)), want);
    EXPECT_EQ(range_of(d, m, "route tag : 0x0010"), std::make_pair(uint32_t(UDP_LEAD + 40), uint32_t(2)));
    // Fewer than 5 bytes: command and version only; 5 bytes: one (cut) entry.
    EXPECT_EQ(count_of(d.detail(cut(m, 4)), "Route Table Entry"), 0u);
    EXPECT_EQ(count_of(d.detail(cut(m, 5)), "Route Table Entry"), 1u);
}

TEST(EigrpSummary, OpcodeText) {
    Eigrp d;
    struct Case {
        uint8_t opcode;
        uint32_t ack;
        const char* column5;
    };
    const Case cases[] = {
        {5, 0, "Opcode : Hello(0x05)"},     {5, 9, "Opcode : Acknowledge(0x05)"},
        {1, 0, "Opcode : Update(0x01)"},    {2, 0, "Opcode : Request(0x02)"},
        {3, 0, "Opcode : Query(0x03)"},     {4, 0, "Opcode : Reply(0x04)"},
        {6, 0, "Opcode : IPX/SAP Update(0x06)"}, {32, 0, "Opcode : Hello(0x20)"},
        {64, 0, "Opcode : Acknowledge(0x40)"},   {10, 0, "Opcode : Unknown(0x0A)"},
    };
    for (const Case& k : cases) {
        zt::Summary s = d.summary(eigrp_header(k.opcode, k.ack));
        EXPECT_EQ(s.col[4], "EIGRP");
        EXPECT_EQ(s.col[5], k.column5);
    }
    FrameLayerIndex ix = d.layers(eigrp_header(5, 0));
    ASSERT_EQ(ix.count, 1);
    EXPECT_EQ(ix.entries[0].protocol, P_EIGRP);
    EXPECT_EQ(ix.entries[0].offset, 16 + IP_LEAD);
}

TEST(EigrpDetail, Header) {
    Eigrp d;
    const std::vector<std::string> want = {
        "Version : 2",
        "Opcode : Acknowledge(0x05)",
        "Checksum : 0x1234",
        "Flags : 0x00000000",
        "Sequence number : 7",
        "Acknowledge number : 3",
        "Autonomous System number : 100",
    };
    std::vector<std::string> lines = d.detail(eigrp_header(5, 3));
    EXPECT_EQ(lines[0], "  Cisco Enhanced Interior Gateway Routing Protocol");
    EXPECT_EQ(children(lines), want);
    // IPX/SAP updates are not walked.
    std::vector<std::string> sap = d.detail(cat({eigrp_header(6, 0), hex("0001 000c 0100010000000f00")}));
    EXPECT_EQ(sap.back(), "    Data : 12 bytes");
    EXPECT_FALSE(zt::has_line(sap, "K1 : 1"));
    // A cut header shows its whole fields and says how much is missing.
    std::vector<std::string> cut_header = d.detail(cut(eigrp_header(1, 0), 14));
    EXPECT_TRUE(zt::has_line(cut_header, "Sequence number : 7"));
    EXPECT_FALSE(zt::has_line(cut_header, "Acknowledge number : 0"));
    EXPECT_EQ(cut_header.back(), "    Header truncated : 14 of 20 bytes captured");
}

// Each TLV's value lines, as the lines under its node.
TEST(EigrpTlv, ValueLayouts) {
    Eigrp d;
    struct Case {
        const char* tlv;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"0001 000c 01 00 01 00 00 00 000f",
         {"General EIGRP parameters(0x0001)", "  Type : General EIGRP parameters(0x0001)", "  Length : 12",
          "  K1 : 1", "  K2 : 0", "  K3 : 1", "  K4 : 0", "  K5 : 0", "  Hold Time : 15"}},
        {"0002 000c 0002 0004 a1b2c3d4",
         {"Authentication data(0x0002)", "  Type : Authentication data(0x0002)", "  Length : 12",
          "  Data : 8 bytes"}},
        {"0003 0009 04 c0a81401", {"Sequence(0x0003)", "  Type : Sequence(0x0003)", "  Length : 9",
                                   "  Address length : 4", "  IP Address : 192.168.20.1"}},
        {"0003 000f 0a 0000abcd 00000c07ac01", {"Sequence(0x0003)", "  Type : Sequence(0x0003)",
                                                 "  Length : 15", "  Address length : 10",
                                                 "  IPX Address = ABCD.00000C07AC01"}},
        {"0004 0008 0c04 0102", {"EIGRP software version(0x0004)", "  Type : EIGRP software version(0x0004)",
                                 "  Length : 8", "  IOS Version = 12.4", "  EIGRP Version = 1.2"}},
        {"0005 0008 00000101", {"Next Multicast Sequence(0x0005)", "  Type : Next Multicast Sequence(0x0005)",
                                "  Length : 8", "  Next Multicast Sequence : 257"}},
        {"0102 001c 00000000 0001f400 00000100 0005dc 01 ff 02 0000 18 0a1e01",
         {"IP internal routes(0x0102)", "  Type : IP internal routes(0x0102)", "  Length : 28",
          "  Next Hop : 0.0.0.0", "  Delay : 128000", "  Bandwidth : 256", "  MTU : 1500", "  Hop Count : 1",
          "  Reliability : 255", "  Load : 2", "  Prefix Length : 24", "  Destination = 10.30.1.0"}},
        {"0103 002f c0a81401 c0a81409 000000c8 0000002a 00000014 0000 06 40 00000a00 00006400 0005dc 01 ff 01"
         " 0000 10 ac14",
         {"IP external routes(0x0103)", "  Type : IP external routes(0x0103)", "  Length : 47",
          "  Next Hop : 192.168.20.1", "  Originating Router : 192.168.20.9",
          "  Originating Autonomous System : 200", "  Arbitrary Tag : 42", "  External Protocol Metric = 20",
          "  External Protocol ID : OSPF(6)", "  Flags : 0x40", "  Delay : 2560", "  Bandwidth : 25600",
          "  MTU : 1500", "  Hop Count : 1", "  Reliability : 255", "  Load : 1", "  Prefix Length : 16",
          "  Destination : 172.20.0.0"}},
        {"0202 001c 0064 0007 00000010 00000020 0005dc 02 fe 03 0000 0064 0065",
         {"AppleTalk internal routes(0x0202)", "  Type : AppleTalk internal routes(0x0202)", "  Length : 28",
          "  Next Hop Address : 100.7", "  Delay : 16", "  Bandwidth : 32", "  MTU : 1500", "  Hop Count : 2",
          "  Reliability : 254", "  Load : 3", "  Cable Range = 100-101"}},
        {"0203 002c 0064 0007 00000005 00000006 00000007 0b 01 0009 00000010 00000020 0005dc 02 fe 03 0000"
         " 0064 0065",
         {"AppleTalk external routes(0x0203)", "  Type : AppleTalk external routes(0x0203)", "  Length : 44",
          "  Next Hop Address : 100.7", "  Originating Router ID : 5", "  Originating Autonomous System : 6",
          "  Arbitrary Tag : 7", "  External Protocol ID = 11", "  Flags : 1", "  External Protocol Metric : 9",
          "  Delay : 16", "  Bandwidth : 32", "  MTU : 1500", "  Hop Count : 2", "  Reliability : 254",
          "  Load : 3", "  Cable Range = 100-101"}},
        {"0204 000c 0064 0065 00000009", {"AppleTalk cable setup(0x0204)", "  Type : AppleTalk cable setup(0x0204)",
                                          "  Length : 12", "  AppleTalk Cable Range : 100-101",
                                          "  AppleTalk Router ID : 9"}},
        {"0302 0022 0000abcd 00000c07ac01 00000010 00000020 0005dc 02 fe 03 0000 00c0ffee",
         {"IPX internal routes(0x0302)", "  Type : IPX internal routes(0x0302)", "  Length : 34",
          "  Next Hop Address : ABCD", "  Next Hop ID : 00000C07AC01", "  Delay : 16", "  Bandwidth : 32",
          "  MTU : 1500", "  Hop Count : 2", "  Reliability : 254", "  Load : 3",
          "  Destination Address = C0FFEE"}},
        {"0303 0030 0000abcd 00000c07ac01 00000c07ac02 00000005 00000006 04 00 0007 0008 00000010 00000020"
         " 0005dc 02 fe 03",
         {"IPX external routes(0x0303)", "  Type : IPX external routes(0x0303)", "  Length : 48",
          "  Next Hop Address : ABCD", "  Next Hop ID : 00000C07AC01", "  Originating Router ID : 00000C07AC02",
          "  Originating Autonomous System : 5", "  Arbitrary Tag : 6", "  External Protocol = 4",
          "  External Metric : 7", "  External Delay : 8", "  Delay : 16", "  Bandwidth : 32", "  MTU : 1500",
          "  Hop Count : 2", "  Reliability : 254", "  Load : 3"}},
        {"0777 0006 abcd", {"Unknown(0x0777)", "  Type : Unknown(0x0777)", "  Length : 6"}},
    };
    for (const Case& k : cases) {
        std::vector<std::string> lines = children(d.detail(cat({eigrp_header(1, 0), hex(k.tlv)})));
        lines.erase(lines.begin(), lines.begin() + 7);  // the header lines
        EXPECT_EQ(lines, k.lines) << k.tlv;
    }
}

TEST(EigrpTlv, DestinationNeverExceedsTheAddress) {
    Eigrp d;
    // Route TLVs of IP internal routes with prefix lengths 24, 0, 1, 32 and 40.
    struct Case {
        const char* tail;  // prefix length byte and destination bytes
        const char* destination;
        uint32_t bytes;
    };
    const Case cases[] = {
        {"18 0a1e01", "Destination = 10.30.1.0", 3}, {"00", "Destination = 0.0.0.0", 0},
        {"01 80", "Destination = 128.0.0.0", 1},     {"20 0a0b0c0d", "Destination = 10.11.12.13", 4},
        {"28 0a0b0c0d0e", "Destination = 10.11.12.13", 4},
    };
    for (const Case& k : cases) {
        Frame value = cat({hex("00000000 00000001 00000002 000000 00 00 00 0000"), hex(k.tail)});
        Frame tlv = cat({Frame{0x01, 0x02, 0, uint8_t(4 + value.size())}, value});
        Frame m = cat({eigrp_header(1, 0), tlv});
        EXPECT_TRUE(zt::has_line(d.detail(m), k.destination)) << k.tail;
        EXPECT_EQ(range_of(d, m, k.destination), std::make_pair(uint32_t(IP_LEAD + 20 + 25), k.bytes));
    }
}

TEST(EigrpTlv, WalkEnds) {
    Eigrp d;
    const Frame version = hex("0004 0008 0c04 0102");
    const Frame sequence = hex("0005 0008 00000101");
    struct Case {
        Frame tlvs;
        size_t tlv_nodes;
        const char* last;
    };
    const Case cases[] = {
        // A zero length ends the walk before anything after it.
        {cat({version, hex("0001 0000 0100"), sequence}), 1, "      EIGRP Version = 1.2"},
        // A length past the data: the TLV is shown as far as it goes, then the walk ends.
        {cat({version, hex("0005 0010 00000101")}), 2, "      Next Multicast Sequence : 257"},
        {cat({version, hex("0005 0010 0000")}), 2, "      Length : 16"},
        // A length below the TLV header still moves the walk on, by that length.
        {hex("0002 0002 0002 0002"), 3, "    TLV truncated : 2 of 4 header bytes captured"},
        // Fewer than 4 bytes where a TLV header belongs.
        {cat({version, hex("0005 00")}), 1, "    TLV truncated : 3 of 4 header bytes captured"},
    };
    for (const Case& k : cases) {
        std::vector<std::string> lines = d.detail(cat({eigrp_header(1, 0), k.tlvs}));
        EXPECT_EQ(count_of(lines, "  Type : "), k.tlv_nodes);
        EXPECT_EQ(lines.back(), k.last);
    }
}

TEST(EigrpDetail, EveryCutOfAnUpdateEnds) {
    Eigrp d;
    Frame m = cat({eigrp_header(1, 0), hex("0102 001c 00000000 0001f400 00000100 0005dc 01 ff 02 0000 18 0a1e01"),
                   hex("0204 000c 0064 0065 00000009")});
    for (size_t n = 0; n <= m.size(); ++n) {
        std::vector<std::string> lines = d.detail(cut(m, n));
        EXPECT_EQ(lines.empty(), false);
        zt::Summary s = d.summary(cut(m, n));
        EXPECT_EQ(s.col[4], "EIGRP");
    }
    EXPECT_TRUE(zt::has_line(d.detail(cut(m, 20 + 27)), "Prefix Length : 24"));
    EXPECT_FALSE(zt::has_line(d.detail(cut(m, 20 + 27)), "Destination = 10.30.1.0"));
}
