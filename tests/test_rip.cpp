// RIP, RIPng and EIGRP as the port and IP protocol dispatch hand them over: entry
// counts, per-family rules, TLV layouts, byte ranges and walks that end.
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

constexpr int UDP_LEAD = 42, IP_LEAD = 34;  // Ethernet, IPv4 (and UDP)

Frame cut(const Frame& f, size_t n) { return Frame(f.begin(), f.begin() + long(std::min(n, f.size()))); }

size_t count_of(const std::vector<std::string>& lines, const std::string& text) {
    size_t n = 0;
    for (const std::string& l : lines) n += l.find(text) != std::string::npos;
    return n;
}

// (frame offset, length) of the first display line with this text.
std::pair<uint32_t, uint32_t> range_of(zt::Direct& d, const Frame& msg, const std::string& text) {
    DetailTree t;
    d.tree(t, msg);
    for (int32_t h = 1; h <= t.size(); ++h)
        if (t.text(h) == text) return {t.line(h).offset, t.line(h).length};
    return {0, 0};
}

struct Rip : zt::Direct {
    Rip() : zt::Direct(decode_rip, UDP_LEAD) {}
};
struct Ripng : zt::Direct {
    Ripng() : zt::Direct(decode_ripng, UDP_LEAD) {}
};
struct Eigrp : zt::Direct {
    Eigrp() : zt::Direct(decode_eigrp, IP_LEAD) {}
};

const Frame v2_auth = hex("02 02 0000  ffff 0002 7a656c70616e00000000000000000000");
const Frame v2_route = hex("0002 0064 0a0a0000 ffff0000 c0a80afe 00000001");

// Version 2, checksum 0x1234, sequence 7, AS 100.
Frame eigrp_header(uint8_t opcode, uint32_t ack) {
    Frame f = hex("02 00 1234 00000000 00000007 00000000 00000064");
    f[1] = opcode;
    for (int i = 0; i < 4; ++i) f[size_t(12 + i)] = uint8_t(ack >> (24 - 8 * i));
    return f;
}

}  // namespace

TEST(RipSummary, CommandsAndLayer) {
    Rip d;
    const char* names[] = {"Unknown(0)", "Request(1)", "Response(2)", "Traceon(3)", "Traceoff(4)", "Reserved(5)",
                           "Unknown(6)"};
    for (uint8_t c = 0; c < 7; ++c) {
        zt::Summary s = d.summary(Frame{c, 2, 0, 0});
        EXPECT_EQ(s.col[4], "RIP");
        EXPECT_EQ(s.col[5], std::string("Command : ") + names[c]);
    }
    EXPECT_EQ(d.summary(Frame{}).col[5], "RIP header truncated (0 bytes captured)");
    FrameLayerIndex ix = d.layers(v2_auth);
    ASSERT_EQ(ix.count, 1);
    EXPECT_EQ(ix.entries[0].protocol, P_RIP);
    EXPECT_EQ(ix.entries[0].offset, 16 + UDP_LEAD);
}

TEST(RipDetail, FamiliesAndRanges) {
    Rip d;
    // Version 1 entry: no tag and no mask line, but the next hop all the same.
    Frame m = cat({v2_auth, v2_route, hex("0002 0000 0a010000 00000000 00000000 00000002"),
                   hex("0007 0000 0a010000 ffffff00 00000000 00000002")});
    const std::vector<std::string> want = {
        "  Routing Information Protocol", "    Command : Response(2)", "    Version : 2",
        "    Address Family Identifier : 0xFFFF", "      Authentication Type : 2",
        "      Authentication : 7A656C70616E00000000000000000000", "    Address Family Identifier : 0x0002",
        "      Route Tag : 100(0x0064)", "      IP : 10.10.0.0", "      Subnet Mask : 255.255.0.0",
        "      Next Hop : 192.168.10.254", "      Metric : 1", "    Address Family Identifier : 0x0002",
        "      IP : 10.1.0.0", "      Next Hop : 0.0.0.0", "      Metric : 2",
        "    Address Family Identifier : Unknown(0x0007)",
    };
    EXPECT_EQ(d.detail(m), want);
    EXPECT_EQ(range_of(d, m, want[5].substr(6)), std::make_pair(uint32_t(UDP_LEAD + 8), 16u));
    EXPECT_EQ(range_of(d, m, want[16].substr(4)), std::make_pair(uint32_t(UDP_LEAD + 64), 20u));
    EXPECT_EQ(range_of(d, m, "Metric : 1"), std::make_pair(uint32_t(UDP_LEAD + 40), 4u));
}

TEST(RipDetail, EntryCountFollowsTheLength) {
    Rip d;
    Frame response = hex("02 02 0000");
    for (int i = 0; i < 25; ++i) response = cat({response, v2_route});
    // (length + 15) / 20 entries; fewer than 5 bytes none. A cut entry shows its
    // whole fields and says so; one without its family shows only that.
    const std::pair<size_t, size_t> cases[] = {{504, 25}, {8, 1}, {5, 0}, {4, 0}, {24, 1}, {25, 1}, {46, 3}};
    for (auto [length, families] : cases) {
        std::vector<std::string> lines = d.detail(cut(response, length));
        EXPECT_EQ(count_of(lines, "Address Family Identifier"), families) << length;
        EXPECT_EQ(count_of(lines, "Entry truncated"), (length - 4) % 20 ? 1u : 0u) << length;
    }
    std::vector<std::string> l = d.detail(cut(response, 18));
    EXPECT_TRUE(zt::has_line(l, "IP : 10.10.0.0"));
    EXPECT_FALSE(zt::has_line(l, "Next Hop : 192.168.10.254"));
    EXPECT_TRUE(zt::has_line(l, "Entry truncated : 14 of 20 bytes captured"));
}

TEST(RipngDetail, NextHopAndPrefixEntries) {
    Ripng d;
    Frame m = cat({hex("02 01 0000 fe8000000000000002000cfffe07ac09 0000 00 ff"),
                   hex("20010db8000100000000000000000000 0010 30 01")});
    EXPECT_EQ(d.summary(m).col[4] + "|" + d.summary(m).col[5], "RIPng|Command : Response(2)");
    EXPECT_EQ(d.summary(hex("03 01")).col[5], "Command : Unknown(3)");
    EXPECT_EQ(d.layers(m).entries[0].protocol, P_RIPNG);
    const std::vector<std::string> want = {
        "  Routing Information Protocol", "    Command : Response(2)", "    Version : 1", "    Route Table Entry",
        "      IPv6 next hop address : FE80::200:CFF:FE07:AC09", "      prefix length : 0", "      metric : 255",
        "    Route Table Entry", "      IPv6 prefix : 2001:DB8:1::", "      route tag : 0x0010",
        "      prefix length : 48", "      metric : 1",
    };
    EXPECT_EQ(d.detail(m), want);
    EXPECT_EQ(range_of(d, m, "route tag : 0x0010"), std::make_pair(uint32_t(UDP_LEAD + 40), 2u));
    EXPECT_EQ(count_of(d.detail(cut(m, 4)), "Route Table Entry"), 0u);
    EXPECT_EQ(count_of(d.detail(cut(m, 5)), "Route Table Entry"), 1u);
}

TEST(EigrpSummary, OpcodeText) {
    Eigrp d;
    struct Case {
        uint8_t opcode;
        uint32_t ack;
        const char* text;
    };
    const Case cases[] = {
        {5, 0, "Hello(0x05)"}, {5, 9, "Acknowledge(0x05)"}, {1, 0, "Update(0x01)"}, {2, 0, "Request(0x02)"},
        {3, 0, "Query(0x03)"}, {4, 0, "Reply(0x04)"}, {6, 0, "IPX/SAP Update(0x06)"}, {32, 0, "Hello(0x20)"},
        {64, 0, "Acknowledge(0x40)"}, {10, 0, "Unknown(0x0A)"},
    };
    for (const Case& k : cases) {
        zt::Summary s = d.summary(eigrp_header(k.opcode, k.ack));
        EXPECT_EQ(s.col[4], "EIGRP");
        EXPECT_EQ(s.col[5], std::string("Opcode : ") + k.text);
    }
    EXPECT_EQ(d.layers(eigrp_header(5, 0)).entries[0].protocol, P_EIGRP);
}

TEST(EigrpDetail, HeaderAndShortMessages) {
    Eigrp d;
    const std::vector<std::string> want = {
        "  Cisco Enhanced Interior Gateway Routing Protocol", "    Version : 2", "    Opcode : Acknowledge(0x05)",
        "    Checksum : 0x1234", "    Flags : 0x00000000", "    Sequence number : 7", "    Acknowledge number : 3",
        "    Autonomous System number : 100",
    };
    EXPECT_EQ(d.detail(eigrp_header(5, 3)), want);
    // IPX/SAP updates are not walked.
    std::vector<std::string> sap = d.detail(cat({eigrp_header(6, 0), hex("0001 000c 0100010000000f00")}));
    EXPECT_EQ(sap.back(), "    Data : 12 bytes");
    std::vector<std::string> h = d.detail(cut(eigrp_header(1, 0), 14));
    EXPECT_TRUE(zt::has_line(h, "Sequence number : 7"));
    EXPECT_EQ(h.back(), "    Header truncated : 14 of 20 bytes captured");
}

// Each TLV: its node, then lines placed by offset (the last one tells most).
TEST(EigrpTlv, ValueLayouts) {
    Eigrp d;
    const std::vector<std::vector<std::string>> cases = {
        {"0001 000c 01 00 01 00 00 00 000f", "General EIGRP parameters(0x0001)", "K3 : 1", "Hold Time : 15"},
        {"0002 000c 0002 0004 a1b2c3d4", "Authentication data(0x0002)", "Data : 8 bytes"},
        {"0003 0009 04 c0a81401", "Sequence(0x0003)", "Address length : 4", "IP Address : 192.168.20.1"},
        {"0003 000f 0a 0000abcd 00000c07ac01", "Sequence(0x0003)", "IPX Address = ABCD.00000C07AC01"},
        {"0004 0008 0c04 0102", "EIGRP software version(0x0004)", "IOS Version = 12.4", "EIGRP Version = 1.2"},
        {"0005 0008 00000101", "Next Multicast Sequence(0x0005)", "Next Multicast Sequence : 257"},
        {"0102 001c 00000000 0001f400 00000100 0005dc 01 ff 02 0000 18 0a1e01", "IP internal routes(0x0102)",
         "MTU : 1500", "Load : 2", "Prefix Length : 24", "Destination = 10.30.1.0"},
        {"0103 002f c0a81401 c0a81409 000000c8 0000002a 00000014 0000 06 40 00000a00 00006400 0005dc 01 ff 01 0000"
         " 10 ac14",
         "IP external routes(0x0103)", "Originating Router : 192.168.20.9", "External Protocol Metric = 20",
         "External Protocol ID : OSPF(6)", "Flags : 0x40", "Delay : 2560", "Load : 1", "Destination : 172.20.0.0"},
        {"0202 001c 0064 0007 00000010 00000020 0005dc 02 fe 03 0000 0064 0065", "AppleTalk internal routes(0x0202)",
         "Next Hop Address : 100.7", "Hop Count : 2", "Cable Range = 100-101"},
        {"0203 002c 0064 0007 00000005 00000006 00000007 0b 01 0009 00000010 00000020 0005dc 02 fe 03 0000 0064 0065",
         "AppleTalk external routes(0x0203)", "Originating Router ID : 5", "External Protocol ID = 11", "Flags : 1",
         "External Protocol Metric : 9", "Delay : 16", "Load : 3", "Cable Range = 100-101"},
        {"0204 000c 0064 0065 00000009", "AppleTalk cable setup(0x0204)", "AppleTalk Cable Range : 100-101",
         "AppleTalk Router ID : 9"},
        {"0302 0022 0000abcd 00000c07ac01 00000010 00000020 0005dc 02 fe 03 0000 00c0ffee", "IPX internal routes(0x0302)",
         "Next Hop Address : ABCD", "Next Hop ID : 00000C07AC01", "Delay : 16", "Load : 3", "Destination Address = C0FFEE"},
        {"0303 0030 0000abcd 00000c07ac01 00000c07ac02 00000005 00000006 04 00 0007 0008 00000010 00000020 0005dc 02 fe 03",
         "IPX external routes(0x0303)", "Originating Router ID : 00000C07AC02", "External Protocol = 4",
         "External Metric : 7", "External Delay : 8", "Delay : 16", "Load : 3"},
    };
    for (const std::vector<std::string>& k : cases) {
        Frame tlv = hex(k[0]);
        std::vector<std::string> lines = d.detail(cat({eigrp_header(1, 0), tlv}));
        ASSERT_GE(lines.size(), 11u);
        EXPECT_EQ(lines[8], "    " + k[1]);
        EXPECT_EQ(lines[9], "      Type : " + k[1]);
        EXPECT_EQ(lines[10], "      Length : " + std::to_string(tlv.size()));
        for (size_t i = 2; i < k.size(); ++i) EXPECT_TRUE(zt::has_line(lines, k[i])) << k[i];
        EXPECT_EQ(lines.back(), "      " + k.back());
    }
    EXPECT_EQ(d.detail(cat({eigrp_header(1, 0), hex("0777 0006 abcd")})).back(), "      Length : 6");
}

// The authentication data is the TLV less its type and length; a capture that
// ends inside it keeps the count the TLV gives but covers only what is there.
TEST(EigrpTlv, AuthenticationDataCount) {
    Eigrp d;
    struct Case {
        const char* tlvs;
        const char* line;
        uint32_t length;  // bytes covered, from the value start
    } cases[] = {
        {"0002 000c 0002 0004 a1b2c3d4", "Data : 8 bytes", 8},
        {"0002 000c 0002 0004 a1b2c3d4 0005 0008 00000101", "Data : 8 bytes", 8},  // not into the next TLV
        {"0002 0028 0002 0010 a1b2c3d4", "Data : 36 bytes", 8},                    // cut by the capture
        {"0002 0028", "Data : 36 bytes", 0},
        {"0002 0004 0005 0008 00000101", "Data : 0 bytes", 0},
        {"0002 0003 00", "Data : 0 bytes", 0},  // shorter than its own header
    };
    for (const Case& k : cases) {
        Frame m = cat({eigrp_header(1, 0), hex(k.tlvs)});
        EXPECT_TRUE(zt::has_line(d.detail(m), k.line)) << k.tlvs;
        auto [offset, length] = range_of(d, m, k.line);
        if (k.length) EXPECT_EQ(offset, uint32_t(IP_LEAD + 24)) << k.tlvs;
        EXPECT_EQ(length, k.length) << k.tlvs;
    }
}

TEST(EigrpTlv, DestinationNeverExceedsTheAddress) {
    Eigrp d;
    const std::vector<std::string> cases[] = {
        {"18 0a1e01", "Destination = 10.30.1.0", "3"}, {"00", "Destination = 0.0.0.0", "0"},
        {"01 80", "Destination = 128.0.0.0", "1"},     {"28 0a0b0c0d0e", "Destination = 10.11.12.13", "4"},
    };
    for (const auto& k : cases) {
        Frame value = cat({hex("00000000 00000001 00000002 000000 00 00 00 0000"), hex(k[0])});
        Frame m = cat({eigrp_header(1, 0), Frame{0x01, 0x02, 0, uint8_t(4 + value.size())}, value});
        EXPECT_EQ(range_of(d, m, k[1]), std::make_pair(uint32_t(IP_LEAD + 45), uint32_t(std::stoi(k[2])))) << k[0];
    }
}

TEST(EigrpTlv, WalkEnds) {
    Eigrp d;
    const Frame version = hex("0004 0008 0c04 0102");
    struct Case {
        Frame tlvs;
        size_t nodes;
        const char* last;
    };
    const Case cases[] = {
        {cat({version, hex("0001 0000 0100 0005 0008 00000101")}), 1, "      EIGRP Version = 1.2"},  // length 0
        {cat({version, hex("0005 0010 00000101")}), 2, "      Next Multicast Sequence : 257"},       // past the data
        {cat({version, hex("0005 0010 0000")}), 2, "      Length : 16"},
        {hex("0002 0002 0002 0002"), 3, "    TLV truncated : 2 of 4 header bytes captured"},  // short lengths move on
    };
    for (const Case& k : cases) {
        std::vector<std::string> lines = d.detail(cat({eigrp_header(1, 0), k.tlvs}));
        EXPECT_EQ(count_of(lines, "  Type : "), k.nodes);
        EXPECT_EQ(lines.back(), k.last);
    }
    Frame m = cat({eigrp_header(1, 0), hex("0102 001c 00000000 0001f400 00000100 0005dc 01 ff 02 0000 18 0a1e01")});
    for (size_t n = 0; n <= m.size(); ++n) EXPECT_EQ(d.detail(cut(m, n))[0].substr(2, 5), "Cisco");
    EXPECT_FALSE(zt::has_line(d.detail(cut(m, 47)), "Destination = 10.30.1.0"));
}
