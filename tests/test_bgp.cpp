// BGP: the marker scan and its advance rules, the message bodies, path attributes,
// the prefix forms of each address family, and messages cut short by the capture.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "tests/support.h"

using namespace zelpan;
using zt::cat;
using zt::Frame;
using zt::hex;

namespace {

// Bytes standing for the Ethernet, IPv4 and TCP headers in front of the payload.
constexpr int LEAD = 54;

struct Direct : zt::Direct {
    Direct() : zt::Direct(decode_bgp, LEAD, [](DecodeContext& c) {
        c.transport_protocol = 6;
        c.app_port = 179;
    }) {}
};

Frame be16(unsigned v) { return {uint8_t(v >> 8), uint8_t(v)}; }

const Frame marker(16, 0xFF);

// A message whose length field is the true length.
Frame message(uint8_t type, const Frame& body = {}) {
    return cat({marker, be16(unsigned(19 + body.size())), {type}, body});
}
// A message header with any length field.
Frame header(unsigned length, uint8_t type) { return cat({marker, be16(length), {type}}); }

const Frame keepalive = message(4);

Frame attribute(uint8_t flags, uint8_t code, const Frame& value) {
    if (flags & 0x10) return cat({{flags, code}, be16(unsigned(value.size())), value});
    return cat({{flags, code, uint8_t(value.size())}, value});
}

Frame update(const Frame& withdrawn, const Frame& attributes, const Frame& nlri) {
    return message(2, cat({be16(unsigned(withdrawn.size())), withdrawn, be16(unsigned(attributes.size())),
                           attributes, nlri}));
}

// The lines below the first line equal to `head` (indentation stripped) that are
// nested deeper than it, with their indentation kept relative to it.
std::vector<std::string> under(const std::vector<std::string>& lines, const std::string& head) {
    for (size_t i = 0; i < lines.size(); ++i) {
        size_t indent = lines[i].find_first_not_of(' ');
        if (lines[i].substr(indent) != head) continue;
        std::vector<std::string> out;
        for (size_t j = i + 1; j < lines.size(); ++j) {
            size_t k = lines[j].find_first_not_of(' ');
            if (k <= indent) break;
            out.push_back(lines[j].substr(indent + 2));
        }
        return out;
    }
    return {"(no line " + head + ")"};
}

// The lines shown for one attribute after its Flags block, type and length lines.
std::vector<std::string> attribute_lines(const Frame& attr) {
    Direct d;
    std::vector<std::string> all = under(d.detail(update({}, attr, {})), "UPDATE Message");
    std::vector<std::string> out;
    bool after_length = false;
    for (const std::string& l : all) {
        if (l.rfind("    Length : ", 0) == 0) {
            after_length = true;
            continue;
        }
        if (!after_length) continue;
        if (l.rfind("Network Layer Reachability Information(NLRI)", 0) == 0) break;
        out.push_back(l.substr(4));
    }
    return out;
}

int count_prefix(const std::vector<std::string>& lines, const std::string& prefix) {
    int n = 0;
    for (const std::string& l : lines)
        if (l.find_first_not_of(' ') != std::string::npos && l.substr(l.find_first_not_of(' ')).rfind(prefix, 0) == 0)
            ++n;
    return n;
}

int count_exact(const std::vector<std::string>& lines, const std::string& text) {
    int n = 0;
    for (const std::string& l : lines)
        if (l.find_first_not_of(' ') != std::string::npos && l.substr(l.find_first_not_of(' ')) == text) ++n;
    return n;
}

}  // namespace

// ---- the marker scan ----

TEST(BgpScan, SummaryListsEveryMessageFound) {
    struct Case {
        const char* what;
        Frame payload;
        const char* column4;
        const char* column5;
    };
    const Case cases[] = {
        {"one keepalive", keepalive, "BGP", "KEEPALIVE Message(4)"},
        {"open and keepalive", cat({message(1, hex("04fde900b4c0000201 00")), keepalive}), "BGP",
         "OPEN Message(1) KEEPALIVE Message(4)"},
        {"starts mid-message", cat({hex("0102030405"), keepalive, message(5, hex("00010001"))}), "BGP",
         "KEEPALIVE Message(4) ROUTE REFRESH Message(5)"},
        {"bytes between messages", cat({keepalive, hex("00"), message(3, hex("0600"))}), "BGP",
         "KEEPALIVE Message(4) NOTIFICATION Message(3)"},
        {"unknown type and Cisco refresh", cat({message(9), message(128, hex("00010001"))}), "BGP",
         "Unknown(9) Cisco ROUTE REFRESH Message(128)"},
        // A length below 19 steps past the header: the type 0xFF and the next marker
        // must not be taken for a message starting at byte 18.
        {"length below the header", cat({header(5, 0xFF), keepalive}), "BGP", "Unknown(255) KEEPALIVE Message(4)"},
        {"length 0", cat({header(0, 4), keepalive}), "BGP", "KEEPALIVE Message(4) KEEPALIVE Message(4)"},
        // A length above 4096 is still used to step on: the keepalive inside it is skipped.
        {"length past the payload", cat({header(5000, 2), keepalive}), "BGP", "UPDATE Message(2)"},
        {"18 bytes", Frame(18, 0xFF), "", ""},
        {"19 bytes without a marker", Frame(19, 0xFE), "", ""},
        {"marker without room for the header", cat({Frame(10, 0), Frame(18, 0xFF)}), "", ""},
    };
    for (const Case& k : cases) {
        Direct d;
        zt::Summary s = d.summary(k.payload);
        EXPECT_EQ(s.col[4], k.column4) << k.what;
        EXPECT_EQ(s.col[5], k.column5) << k.what;
    }
}

TEST(BgpScan, LayerIndexStartsAtTheFirstMarker) {
    Direct d;
    FrameLayerIndex ix = d.layers(cat({hex("000102"), keepalive, keepalive}));
    ASSERT_EQ(ix.count, 1);
    EXPECT_EQ(ix.entries[0].protocol, P_BGP);
    EXPECT_EQ(ix.entries[0].offset, 16 + LEAD + 3);
    EXPECT_STREQ(ix.label, "BGP");

    FrameLayerIndex none = d.layers(Frame(30, 0));
    EXPECT_EQ(none.count, 0);
}

TEST(BgpScan, KeepaliveShowsOnlyItsHeader) {
    Direct d;
    const std::vector<std::string> want = {
        "  Border Gateway Protocol",
        "    KEEPALIVE Message",
        "      Marker : 16 bytes",
        "      Length : 19 bytes",
        "      Type : KEEPALIVE Message(4)",
    };
    EXPECT_EQ(d.detail(keepalive), want);
    // Too short for a header: only the protocol line.
    EXPECT_EQ(d.detail(Frame(18, 0xFF)), std::vector<std::string>{"  Border Gateway Protocol"});
}

TEST(BgpScan, LengthValidity) {
    struct Case {
        unsigned length;
        const char* line;
    };
    const Case cases[] = {
        {0, "Length : 0 bytes(invalid)"},       {18, "Length : 18 bytes(invalid)"},
        {19, "Length : 19 bytes"},              {4096, "Length : 4096 bytes"},
        {4097, "Length : 4097 bytes(invalid)"}, {65535, "Length : 65535 bytes(invalid)"},
    };
    for (const Case& k : cases) {
        Direct d;
        std::vector<std::string> lines = d.detail(cat({header(k.length, 4), Frame(30, 0)}));
        EXPECT_TRUE(zt::has_line(lines, k.line)) << k.length;
    }
}

TEST(BgpScan, MessageNodesAndByteRanges) {
    Direct d;
    Frame payload = cat({hex("aabb"), message(1, hex("04fde900b4c0000201 00")), keepalive});
    std::vector<std::string> lines = d.detail(payload);
    EXPECT_EQ(count_prefix(lines, "OPEN Message"), 1);
    EXPECT_EQ(count_prefix(lines, "KEEPALIVE Message"), 1);

    DetailTree tree;
    d.tree(tree, payload);
    auto find = [&](const std::string& text) {
        for (int32_t h = 1; h <= tree.size(); ++h)
            if (tree.text(h) == text) return h;
        return 0;
    };
    struct Range {
        const char* text;
        uint32_t offset, length;
    };
    const Range ranges[] = {
        {"Border Gateway Protocol", LEAD, uint32_t(payload.size())},
        {"OPEN Message", LEAD + 2, 29},
        {"Length : 29 bytes", LEAD + 2 + 16, 2},
        {"My Autonomous System : 65001", LEAD + 2 + 20, 2},
        {"BGP Identifier : 192.0.2.1", LEAD + 2 + 24, 4},
        {"KEEPALIVE Message", LEAD + 31, 19},
    };
    for (const Range& r : ranges) {
        int32_t h = find(r.text);
        ASSERT_NE(h, 0) << r.text;
        EXPECT_EQ(tree.line(h).offset, r.offset) << r.text;
        EXPECT_EQ(tree.line(h).length, r.length) << r.text;
    }
    EXPECT_EQ(tree.line(find("Border Gateway Protocol")).protocol, P_BGP);
}

// ---- OPEN ----

TEST(BgpOpen, ParametersAndCapabilities) {
    Frame caps = hex("0104 00020080"      // multiprotocol IPv6, Labeled VPN-IPv4
                     "0200 8000"          // route refresh, both codes
                     "0000"               // reserved
                     "0309 0001000102 0203 0301"  // ORF: two types
                     "4104 0000fde9");    // unknown (4-byte AS)
    Frame params = cat({hex("0103 aabbcc"), {2, uint8_t(caps.size())}, caps, hex("0900")});
    Frame body = cat({hex("04 fde9 00b4 c0000201"), {uint8_t(params.size())}, params});
    Direct d;
    const std::vector<std::string> want = {
        "Marker : 16 bytes",
        "Length : " + std::to_string(19 + body.size()) + " bytes",
        "Type : OPEN Message(1)",
        "Version : 4",
        "My Autonomous System : 65001",
        "Hold Time : 180",
        "BGP Identifier : 192.0.2.1",
        "Optional Parameters Length : " + std::to_string(params.size()) + " bytes",
        "Optional Parameters(" + std::to_string(params.size()) + " bytes)",
        "  Authentication Information(3 bytes)",
        "  Capabilities Optional Parameter(" + std::to_string(caps.size()) + " bytes)",
        "    Type : Capabilities(2)",
        "    Length : " + std::to_string(caps.size()) + " bytes",
        "    Multiprotocol extensions Capability(4 bytes)",
        "      Code : Multiprotocol extensions(1)",
        "      Length : 4",
        "      Address Family Identifier(AFI) : IP6(2)",
        "      Subsequent Address Family Identifier(SAFI) : Labeled VPN-IPv4(128)",
        "    Route refresh Capability(0 bytes)",
        "      Code : Route refresh(2)",
        "      Length : 0",
        "    Route refresh Capability(0 bytes)",
        "      Code : Route refresh(128)",
        "      Length : 0",
        "    Reserved Capability(0 bytes)",
        "      Code : Reserved(0)",
        "      Length : 0",
        "    Cooperative route filtering Capability(9 bytes)",
        "      Code : Cooperative route filtering(3)",
        "      Length : 9",
        "      Address Family Identifier(AFI) : IP(1)",
        "      Subsequent Address Family Identifier(SAFI) : Unicast(1)",
        "      Number of ORF Types : 2",
        "      ORF Type : Communities ORF-Type(2)",
        "      Send/Receive : Both(3)",
        "      ORF Type : Extended Communities ORF-Type(3)",
        "      Send/Receive : Receive(1)",
        "    Unknown Capability(65) : 4 bytes",
        "  Unknown Optional Parameter",
    };
    EXPECT_EQ(under(d.detail(message(1, body)), "OPEN Message"), want);
}

TEST(BgpOpen, WalksEndAtTheirLengths) {
    struct Case {
        const char* what;
        Frame params;  // the optional parameters
        const char* last;
    };
    const Case cases[] = {
        {"parameter past the list", hex("0209 0104"), "Optional Parameter : length 9 runs past the end of the data (4 bytes left)"},
        {"capability past the parameter", hex("0204 0105 0001"), "Capability : length 5 runs past the end of the data (4 bytes left)"},
        {"ORF count past the capability", hex("0209 0307 0001000105 0203"),
         "ORF Type : length 2 runs past the end of the data (0 bytes left)"},
        {"short multiprotocol value", hex("0204 0102 0001"), "Value too short : 2 of 4 bytes"},
    };
    for (const Case& k : cases) {
        Direct d;
        Frame body = cat({hex("04 fde9 00b4 c0000201"), {uint8_t(k.params.size())}, k.params});
        std::vector<std::string> lines = d.detail(message(1, body));
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().substr(lines.back().find_first_not_of(' ')), k.last) << k.what;
    }
}

// ---- UPDATE ----

TEST(BgpUpdate, WithdrawnAttributesAndNlri) {
    Direct d;
    Frame withdrawn = hex("18c63364 00 20c0000201");
    Frame attrs = attribute(0x40, 1, hex("00"));
    Frame nlri = hex("18cb0071 10 0a01 19ac100580");
    const std::vector<std::string> want = {
        "Marker : 16 bytes",
        "Length : 49 bytes",
        "Type : UPDATE Message(2)",
        "Unfeasible Routes Length : 10 bytes",
        "Withdrawn Routes(10 bytes)",
        "  198.51.100.0/24",
        "  0.0.0.0/0",
        "  192.0.2.1/32",
        "Total Path Attribute Length : 4 bytes",
        "Path Attributes(4 bytes)",
        "  ORIGIN",
        "    Flags(0x40)",
        "      0*** **** : well-known",
        "      *1** **** : transitive",
        "      **0* **** : complete",
        "      ***0 **** : one octets",
        "    Type Code : ORIGIN(1)",
        "    Length : 1 bytes",
        "    Value : IGP(0)",
        "Network Layer Reachability Information(NLRI)(12 bytes)",
        "  203.0.113.0/24",
        "  10.1.0.0/16",
        "  172.16.5.128/25",
    };
    EXPECT_EQ(under(d.detail(update(withdrawn, attrs, nlri)), "UPDATE Message"), want);
}

TEST(BgpUpdate, AttributeValues) {
    struct Case {
        const char* what;
        Frame attr;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"origin", attribute(0x40, 1, hex("02")), {"Value : INCOMPLETE(2)"}},
        {"origin unknown", attribute(0x40, 1, hex("07")), {"Value : Unknown(7)"}},
        {"as path", attribute(0x40, 2, hex("0202fde9fdf2 0101fc00")),
         {"AS Path Segment : AS_SEQUENCE(2)", "  Segment Type : AS_SEQUENCE(2)", "  Segment Length : 2",
          "  Segment Value : 65001", "  Segment Value : 65010", "AS Path Segment : AS_SET(1)",
          "  Segment Type : AS_SET(1)", "  Segment Length : 1", "  Segment Value : 64512"}},
        {"as path segment past the value", attribute(0x40, 2, hex("0203fde9")),
         {"AS Path Segment : length 6 runs past the end of the data (4 bytes left)"}},
        {"next hop", attribute(0x40, 3, hex("0a000c01")), {"Next Hop : 10.0.12.1"}},
        {"next hop too short", attribute(0x40, 3, hex("0a00")), {"Value too short : 2 of 4 bytes"}},
        {"med", attribute(0x80, 4, hex("ffffffff")), {"Multiple exit discriminator : 4294967295"}},
        {"local pref", attribute(0x40, 5, hex("00000064")), {"Local preference : 100"}},
        {"atomic aggregate", attribute(0x40, 6, {}), {}},
        {"aggregator", attribute(0xc0, 7, hex("fde9 c0000201")), {"AS number : 65001", "Aggregate route : 192.0.2.1"}},
        {"communities", attribute(0xc0, 8, hex("fde90078 ffffff02 ffffff03 ffffff04")),
         {"Community : 65001:120", "  Community AS : 65001", "  Community Value : 120",
          "Community : NO_ADVERTISE(0xFFFFFF02)", "Community : NO_EXPORT_SUBCONFED(0xFFFFFF03)",
          "Community : 65535:65284", "  Community AS : 65535", "  Community Value : 65284"}},
        {"originator", attribute(0x80, 9, hex("c0000209")), {"Originator identifier : 192.0.2.9"}},
        {"cluster list", attribute(0x80, 10, hex("c000020a c000020b")),
         {"Cluster identifier : 192.0.2.10", "Cluster identifier : 192.0.2.11"}},
        {"extended communities",
         attribute(0xc0, 16, hex("0002fde90000002a 0102c00002010007 0003fde900000001 0103c00002010008"
                                 "0005c0000201 0000 8001c0000202 0000 4004fde9 49742400 1234 0102030405 06")),
         {"Extended Communitys(64 byes)", "  Route Target : 65001 : 42", "  Route Target : 192.0.2.1 : 7",
          "  Route Origin : 65001 : 1", "  Route Origin : 192.0.2.1 : 8", "  OSPF Domain : 192.0.2.1",
          "  OSPF Router ID : 192.0.2.2", "  Link Bandwidth : 1000000.000000 bytes/sec",
          "  Unknown(0x1234) : 010203040506"}},
        {"ospf route type", attribute(0xc0, 16, hex("8000 0a000000 0201")),
         {"Extended Communitys(8 byes)", "  OSPF Route Type : Area 10.0.0.0, Network(2), Options 0x01"}},
        {"unknown type", attribute(0xc0, 99, hex("010203")), {"Invalid Path Attribute(99) : 3 bytes"}},
        {"extended length", attribute(0x50, 5, hex("000000c8")), {"Local preference : 200"}},
    };
    for (const Case& k : cases) EXPECT_EQ(attribute_lines(k.attr), k.lines) << k.what;
}

TEST(BgpUpdate, AttributeFlagsAndExtendedLength) {
    Direct d;
    std::vector<std::string> lines = under(d.detail(update({}, attribute(0xf0, 5, hex("00000001")), {})),
                                           "LOCAL_PREF");
    const std::vector<std::string> want = {
        "Flags(0xf0)",
        "  1*** **** : optional",
        "  *1** **** : transitive",
        "  **1* **** : partial",
        "  ***1 **** : two octets",
        "Type Code : LOCAL_PREF(5)",
        "Length : 4 bytes",
        "Local preference : 1",
    };
    EXPECT_EQ(lines, want);
}

TEST(BgpUpdate, AttributeWalkEnds) {
    struct Case {
        const char* what;
        Frame attrs;
        int origins;        // ORIGIN attributes shown
        const char* last;   // the last line, or "" when the walk ends cleanly
    };
    const Case cases[] = {
        // Length 0 is a valid value (ATOMIC_AGGREGATE): the walk goes on after it.
        {"zero-length values", cat({attribute(0x40, 6, {}), attribute(0x40, 1, hex("00")), attribute(0x40, 6, {}),
                                    attribute(0x40, 1, hex("01"))}), 2, ""},
        {"value past the attributes", cat({attribute(0x40, 1, hex("00")), hex("4001 09 00")}), 1,
         "ORIGIN : length 9 runs past the end of the data (4 bytes left)"},
        {"header cut", cat({attribute(0x40, 1, hex("00")), hex("50 01 00")}), 1,
         "Path Attribute : length 4 runs past the end of the data (3 bytes left)"},
    };
    for (const Case& k : cases) {
        Direct d;
        std::vector<std::string> lines = under(d.detail(update({}, k.attrs, {})), "Path Attributes(" +
                                               std::to_string(k.attrs.size()) + " bytes)");
        EXPECT_EQ(count_exact(lines, "ORIGIN"), k.origins) << k.what;
        if (*k.last) {
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines.back(), k.last) << k.what;
        } else {
            EXPECT_EQ(count_prefix(lines, "Path Attribute :"), 0) << k.what;
        }
    }
}

TEST(BgpUpdate, MultiprotocolReach) {
    Frame reach = hex("0002 01 20 20010db8000000000000000000000001 fe800000000000000000000000000001"
                      "01 04 0a0b"   // one SNPA of 4 semi-octets
                      "30 20010db80100 40 20010db800000010");
    std::vector<std::string> want = {
        "Address Family Identifier(AFI) : IP6(2)",
        "Subsequent Address Family Identifier(SAFI) : Unicast(1)",
        "Length of Next Hop Network Address : 32",
        "Next Hop Network Address(32 bytes)",
        "  Next hop : 2001:DB8::1",
        "  Next hop : FE80::1",
        "Number of SNPAs : 1",
        "Subnetwork Points of Attachment(SNPA)(3 bytes)",
        "  SNPA Length : 4",
        "  SNPA(2 bytes)",
        "Network Layer Reachability Information(NLRI)(16 bytes)",
        "  2001:DB8:100::/48",
        "  2001:DB8:0:10::/64",
    };
    // The SNPA takes 2 bytes (4 semi-octets); the byte after it starts the NLRI.
    EXPECT_EQ(attribute_lines(attribute(0x90, 14, reach)), want);

    Frame vpn = hex("0001 80 0c 0000fde900000007 0a000c01 00"
                    "70 003e81 0000fde900000007 0a141e");
    EXPECT_EQ(attribute_lines(attribute(0x90, 14, vpn)),
              (std::vector<std::string>{
                  "Address Family Identifier(AFI) : IP(1)",
                  "Subsequent Address Family Identifier(SAFI) : Labeled VPN-IPv4(128)",
                  "Length of Next Hop Network Address : 12",
                  "Next Hop Network Address(12 bytes)",
                  "  Next hop : Empty Label Stack RD=65001:7 IP=10.0.12.1",
                  "Number of SNPAs : 0",
                  "Subnetwork Points of Attachment(SNPA)(0 bytes)",
                  "Network Layer Reachability Information(NLRI)(15 bytes)",
                  "  Label Stack=1000 (bottom) RD=65001:7, IP=10.20.30.0/24",
              }));
}

// One prefix list of each family through MP_UNREACH_NLRI.
TEST(BgpUpdate, PrefixForms) {
    struct Case {
        const char* what;
        unsigned afi;
        uint8_t safi;
        Frame prefixes;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"ipv4", 1, 1, hex("00 08 0a 20 c0000201 1d c0000208"),
         {"0.0.0.0/0", "10.0.0.0/8", "192.0.2.1/32", "192.0.2.8/29"}},
        {"ipv4 length above 32 ends the list", 1, 2, hex("08 0a 21 c000020100 08 0b"),
         {"10.0.0.0/8", "Invalid prefix length : 33"}},
        {"ipv4 bytes past the list", 1, 1, hex("08 0a 18 c000"),
         {"10.0.0.0/8", "Prefix : length 24 runs past the end of the data (3 bytes left)"}},
        {"ipv6", 2, 4, hex("80 00000000000000000000000000000001 00 20 20010db8"), {"::1/128", "::/0", "2001:DB8::/32"}},
        {"ipv6 above 128", 2, 1, hex("81 00"), {"Invalid prefix length : 129"}},
        {"vpn, one label", 1, 128, hex("70 003e81 0000fde900000007 0a141e"),
         {"Label Stack=1000 (bottom) RD=65001:7, IP=10.20.30.0/24"}},
        {"vpn, two labels, address RD", 1, 128, hex("90 003e80 003e91 0001c00002010009 0a141e01"),
         {"Label Stack=1000,1001 (bottom) RD=192.0.2.1:9, IP=10.20.30.1/32"}},
        {"vpn, other RD type", 1, 128, hex("70 003e81 0005000000000000 0a141e 70 003e81 0000fde900000007 0a141e"),
         {"Unkown labeled VPN-IPv4 address format(5)", "Label Stack=1000 (bottom) RD=65001:7, IP=10.20.30.0/24"}},
        {"vpn without a bottom label", 1, 128, hex("30 003e80 003e90"), {"Invalid labeled VPN-IPv4 prefix length : 48"}},
        {"other safi", 1, 5, hex("080a"), {"Unkown SAFI(5)"}},
        // Labelled VPN prefixes of IPv6 carry an IPv6 prefix: not read as VPN-IPv4.
        {"ipv6 with the vpn safi", 2, 128, hex("98 003e81 0000fde900000007 20010db8"), {"Unkown SAFI(128)"}},
        {"other afi", 3, 1, hex("080a"), {"Unknown AFI(3)"}},
    };
    for (const Case& k : cases) {
        Frame value = cat({be16(k.afi), {k.safi}, k.prefixes});
        std::vector<std::string> lines = attribute_lines(attribute(0x90, 15, value));
        ASSERT_GE(lines.size(), 3u) << k.what;
        EXPECT_EQ(lines[2], "Withdrawn Routes(" + std::to_string(k.prefixes.size()) + " bytes)") << k.what;
        std::vector<std::string> got;
        for (size_t i = 3; i < lines.size(); ++i) got.push_back(lines[i].substr(2));
        EXPECT_EQ(got, k.lines) << k.what;
    }
}

// ---- NOTIFICATION and ROUTE-REFRESH ----

TEST(BgpNotification, CodesSubcodesAndData) {
    struct Case {
        Frame body;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {hex("0600"), {"Error Code : Cease(6)", "Error subcode : Unspecific(0)"}},
        {hex("0603"), {"Error Code : Cease(6)", "Error subcode : Unknown(3)"}},
        {hex("0400"), {"Error Code : Hold Timer Expired(4)", "Error subcode : Unspecific(0)"}},
        {hex("0102 0011"), {"Error Code : Message Header Error(1)", "Error subcode : Bad Message Length(2)",
                            "Data 2 bytes"}},
        {hex("0207 01"), {"Error Code : OPEN Message Error(2)", "Error subcode : Unsupported Capability(7)",
                          "Data 1 bytes"}},
        {hex("030b"), {"Error Code : UPDATE Message Error(3)", "Error subcode : Malformed AS_PATH(11)"}},
        {hex("030c"), {"Error Code : UPDATE Message Error(3)", "Error subcode : Unknown(12)"}},
        {hex("0700"), {"Error Code : Unknown(7)", "Error subcode : Unspecific(0)"}},
        {hex("06"), {"Message body truncated : 1 bytes"}},
    };
    for (const Case& k : cases) {
        Direct d;
        std::vector<std::string> lines = under(d.detail(message(3, k.body)), "NOTIFICATION Message");
        std::vector<std::string> body(lines.begin() + 3, lines.end());
        EXPECT_EQ(body, k.lines) << k.lines.front();
    }
}

TEST(BgpRouteRefresh, BothTypes) {
    for (uint8_t type : {uint8_t(5), uint8_t(128)}) {
        Direct d;
        std::vector<std::string> lines = under(d.detail(message(type, hex("0002 00 02"))), "ROUTE REFRESH Message");
        ASSERT_EQ(lines.size(), 5u);
        EXPECT_EQ(lines[3], "Address Family Identifier(AFI) : IP6(2)");
        EXPECT_EQ(lines[4], "Subsequent Address Family Identifier(SAFI) : Multicast(2)");
    }
}

// ---- truncation ----

// Every cut of a two-message payload: nothing is read past the capture (the
// sanitizer build checks), each message still found is shown, and the UPDATE's
// lines never claim bytes beyond the cut.
TEST(BgpTruncation, EveryCutOfAnUpdate) {
    Frame attrs = cat({attribute(0x40, 1, hex("00")), attribute(0x40, 2, hex("0201fde9")),
                       attribute(0x90, 14, hex("0002 01 10 20010db8000000000000000000000001 00 30 20010db80100")),
                       attribute(0xc0, 8, hex("fde90078"))});
    Frame full = cat({keepalive, update(hex("18c63364"), attrs, hex("18cb0071"))});
    for (size_t n = 0; n <= full.size(); ++n) {
        Frame cut(full.begin(), full.begin() + long(n));
        Direct d;
        std::vector<std::string> lines = d.detail(cut);
        zt::Summary s = d.summary(cut);
        int messages = n >= 19 + 19 ? 2 : n >= 19 ? 1 : 0;
        EXPECT_EQ(count_prefix(lines, "KEEPALIVE Message"), messages >= 1 ? 1 : 0) << n;
        EXPECT_EQ(count_prefix(lines, "UPDATE Message"), messages == 2 ? 1 : 0) << n;
        if (messages == 2) {
            EXPECT_EQ(s.col[5], "KEEPALIVE Message(4) UPDATE Message(2)") << n;
        }

        DetailTree tree;
        d.tree(tree, cut);
        for (int32_t h = 1; h <= tree.size(); ++h)
            EXPECT_LE(tree.line(h).offset + tree.line(h).length, LEAD + n) << n << " " << tree.text(h);
    }
}

TEST(BgpTruncation, BodyShorterThanItsLayout) {
    struct Case {
        uint8_t type;
        Frame body;
        const char* last;
    };
    const Case cases[] = {
        {1, hex("04fde9"), "Message body truncated : 3 bytes"},
        {2, hex("00"), "Message body truncated : 1 bytes"},
        {2, hex("0009 0000"), "Message body truncated : 4 bytes"},
        {5, hex("0001"), "Message body truncated : 2 bytes"},
    };
    for (const Case& k : cases) {
        Direct d;
        std::vector<std::string> lines = d.detail(message(k.type, k.body));
        EXPECT_EQ(lines.back().substr(lines.back().find_first_not_of(' ')), k.last) << int(k.type);
    }
}
