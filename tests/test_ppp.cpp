// PPP on its own link type, under null/loopback and behind Ethernet types, with
// LCP, IPCP and CHAP, and PPP over Ethernet (discovery and session).
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

using Layers = std::vector<std::pair<int, int>>;

Layers layer_list(const Frame& f, int link_type) {
    FrameLayerIndex ix = zt::layers(f, link_type);
    Layers out;
    for (int i = 0; i < ix.count; ++i) out.push_back({ix.entries[i].protocol, ix.entries[i].offset});
    return out;
}

// Detail lines after the frame node and its four lines.
std::vector<std::string> lines_of(const Frame& f, int link_type = 9) {
    std::vector<std::string> all = zt::detail(f, link_type);
    return std::vector<std::string>(all.begin() + 5, all.end());
}

const Frame HDLC = hex("FF03");
// IPv4 + UDP, 8 payload bytes.
const Frame IP_UDP = hex("45000024 00010000 40110000 0A400002 0A400001 17701771 0010 0000 7070706C696E6B21");
const Frame IP6_HDR = hex("60000000 0000 3B40 20010DB8000000000000000000000001 20010DB8000000000000000000000002");

// An LCP packet of the given code whose body is body.
Frame lcp(uint8_t code, const Frame& body, uint8_t id = 1) {
    uint16_t n = uint16_t(4 + body.size());
    return cat({HDLC, hex("C021"), Frame{code, id, uint8_t(n >> 8), uint8_t(n)}, body});
}
Frame ipcp(uint8_t code, const Frame& body) {
    uint16_t n = uint16_t(4 + body.size());
    return cat({HDLC, hex("8021"), Frame{code, 1, uint8_t(n >> 8), uint8_t(n)}, body});
}
Frame chap(uint8_t code, const Frame& body) {
    uint16_t n = uint16_t(4 + body.size());
    return cat({HDLC, hex("C223"), Frame{code, 7, uint8_t(n >> 8), uint8_t(n)}, body});
}

const Frame DST = hex("000DB9416A20");
const Frame SRC = hex("001B213A4F02");

Frame pppoe(uint16_t type, uint8_t code, uint16_t session, const Frame& payload, const Frame& padding = {}) {
    uint16_t n = uint16_t(payload.size());
    return cat({DST, SRC, Frame{uint8_t(type >> 8), uint8_t(type)}, Frame{0x11, code},
                Frame{uint8_t(session >> 8), uint8_t(session), uint8_t(n >> 8), uint8_t(n)}, payload, padding});
}

}  // namespace

// ---- PPP framing and protocol dispatch ----

TEST(PppDispatch, ColumnsAndLayersByProtocol) {
    struct Case {
        const char* what;
        Frame frame;
        int link_type;
        const char* column4;
        const char* column5;  // nullptr: written by a later layer, not checked
        Layers layers;
    };
    const Case cases[] = {
        {"LCP", lcp(1, hex("01040578")), 9, "PPP LCP", "Code : Configuration-Request(0x01)",
         {{P_PPP, 16}, {P_PPPLCP, 20}}},
        {"compressed IP", cat({hex("21"), IP_UDP}), 9, "UDP", nullptr, {{P_PPP, 16}, {P_IP, 17}, {P_UDP, 37}}},
        {"IP", cat({HDLC, hex("0021"), IP_UDP}), 9, "UDP", nullptr, {{P_PPP, 16}, {P_IP, 20}, {P_UDP, 40}}},
        {"IPv6", cat({HDLC, hex("0057"), IP6_HDR}), 9, "IPv6", nullptr, {{P_PPP, 16}, {P_IP6, 20}}},
        {"IPCP", ipcp(2, hex("0306 0A400002")), 9, "PPP IPCP", "Code : Configuration-Ack(0x02)",
         {{P_PPP, 16}, {P_PPPIPCP, 20}}},
        {"CHAP", chap(3, hex("4F4B")), 9, "PPP CHAP", "Code : Success(0x03)", {{P_PPP, 16}, {P_PPPCHAP, 20}}},
        {"other protocol", cat({HDLC, hex("80FD 01010004")}), 9, "PPP", "PPP data 4 octets",
         {{P_PPP, 16}, {P_PPPDATA, 20}}},
        {"Cisco HDLC", cat({hex("0F000800"), IP_UDP}), 9, "PPP", "Cisco HDLC 40 octets", {{P_PPP, 16}}},
        {"Cisco HDLC broadcast", hex("8F00 0800"), 9, "PPP", "Cisco HDLC 4 octets", {{P_PPP, 16}}},
        {"HDLC under null", lcp(9, hex("01020304")), 0, "PPP LCP", "Code : Echo-Request(0x09)",
         {{P_PPP, 16}, {P_PPPLCP, 20}}},
        {"Ethernet type C021", cat({DST, SRC, hex("C021 0A020008 01020304")}), 1, "PPP LCP",
         "Code : Echo-Reply(0x0A)", {{P_ETHERNET2, 16}, {P_PPP, 28}, {P_PPPLCP, 30}}},
        {"Ethernet type 8021", cat({DST, SRC, hex("8021 05010004")}), 1, "PPP IPCP",
         "Code : Termination-Request(0x05)", {{P_ETHERNET2, 16}, {P_PPP, 28}, {P_PPPIPCP, 30}}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        zt::Summary s = zt::summarize(k.frame, k.link_type);
        EXPECT_EQ(s.col[4], k.column4);
        if (k.column5) {
            EXPECT_EQ(s.col[5], k.column5);
        }
        EXPECT_EQ(layer_list(k.frame, k.link_type), k.layers);
    }
    // PPP carries the network layer: IPv4 names the addresses.
    zt::Summary ip = zt::summarize(cat({hex("21"), IP_UDP}), 9);
    EXPECT_EQ(ip.col[2], "10.64.0.2");
    EXPECT_EQ(ip.col[3], "10.64.0.1");
}

TEST(PppDetail, HeaderLinesAndRanges) {
    EXPECT_EQ(lines_of(cat({HDLC, hex("80FD 01010004")})),
              (std::vector<std::string>{"  Point-to-Point Protocol", "    Address : 0xFF", "    Control : 0x03",
                                        "    Protocol : Compression Control Protocol(0x80FD)", "  PPP",
                                        "    Data : 4 bytes"}));
    EXPECT_EQ(lines_of(hex("3D AABB")),
              (std::vector<std::string>{"  Point-to-Point Protocol", "    Protocol : Multi-Link(0x003D)", "  PPP",
                                        "    Data : 2 bytes"}));
    EXPECT_EQ(lines_of(hex("0F000800 AABB")), (std::vector<std::string>{"  Cisco HDLC Data 6 bytes"}));
    // Unnamed protocols: Unknown with the number.
    EXPECT_EQ(lines_of(hex("FF03 1234"))[3], "    Protocol : Unknown(0x1234)");

    DetailTree t;
    zt::display(t, cat({HDLC, hex("0021"), IP_UDP}), 9);
    int32_t p = 0;
    for (int32_t h = 1; h <= t.size(); ++h)
        if (t.text(h) == "Point-to-Point Protocol") p = h;
    ASSERT_NE(p, 0);
    EXPECT_EQ(t.line(p).protocol, P_PPP);
    EXPECT_EQ(t.line(p).offset, 0u);
    EXPECT_EQ(t.line(p).length, 4u);  // address, control, protocol
    EXPECT_EQ(t.text(p + 3), "Protocol : IP(0x0021)");
    EXPECT_EQ(t.line(p + 3).offset, 2u);
    EXPECT_EQ(t.line(p + 3).length, 2u);
}

TEST(PppTruncated, ShortFrames) {
    struct Case {
        Frame frame;
        const char* column4;
        const char* column5;
    };
    const Case cases[] = {
        {hex(""), "PPP", "PPP header truncated (0 bytes captured)"},
        {hex("FF03"), "PPP", "PPP header truncated (2 bytes captured)"},
        {hex("FF03C0"), "PPP", "PPP header truncated (3 bytes captured)"},
        {hex("FF03C02101"), "PPP LCP", "PPP LCP header truncated (1 bytes captured)"},
        {hex("FF03C2230101"), "PPP CHAP", "PPP CHAP header truncated (2 bytes captured)"},
    };
    for (const Case& k : cases) {
        zt::Summary s = zt::summarize(k.frame, 9);
        EXPECT_EQ(s.col[4], k.column4);
        EXPECT_EQ(s.col[5], k.column5);
    }
    EXPECT_EQ(lines_of(hex("FF03C0")),
              (std::vector<std::string>{"  Point-to-Point Protocol", "    Address : 0xFF", "    Control : 0x03",
                                        "    Header truncated : 3 of 4 bytes captured"}));
    EXPECT_EQ(lines_of(hex("FF03C021 0101")),
              (std::vector<std::string>{"  Point-to-Point Protocol", "    Address : 0xFF", "    Control : 0x03",
                                        "    Protocol : Link Control Protocol(0xC021)",
                                        "  PPP Link Control Protocol", "    Code : Configuration-Request(0x01)",
                                        "    Identifier : 0x01", "    Header truncated : 2 of 4 bytes captured"}));
    // An LCP packet cut inside its options: the walk ends at the captured bytes.
    Frame cut = lcp(1, hex("01040578 0506 12345678"));
    cut.resize(cut.size() - 3);
    std::vector<std::string> l = lines_of(cut);
    EXPECT_EQ(l.back(), "    Data truncated : 7 of 10 bytes captured");
    EXPECT_EQ(l[l.size() - 2], "      Option truncated : 3 of 6 bytes captured");
    EXPECT_EQ(l[l.size() - 3], "      Maximum-Receive-Unit : 1400");
}

// ---- LCP and IPCP ----

TEST(LcpOptions, FieldDecodersAndWalk) {
    struct Case {
        const char* options;
        std::vector<std::string> lines;  // under "Options %ld bytes"
    };
    const Case cases[] = {
        {"0104 05DC 0206 000A0000 0506 5A3C9E01",
         {"Maximum-Receive-Unit : 1500", "Async-Control-Character-Map : 0x000A0000", "Magic-Number : 0x5A3C9E01"}},
        {"0305 C223 81", {"Authentication-Protocol", "  Protocol : Challenge Handshake Authentication Protocol(0xC223)",
                          "  Algorithm : MS-CHAP-2(129)"}},
        {"0306 C023 AABB", {"Authentication-Protocol", "  Protocol : Password Authentication Protocol(0xC023)",
                            "  Data 2 bytes"}},
        {"0408 C025 000001F4", {"Quality-Protocol", "  Protocol : Link Quality Report(0xC025)", "  Data 4 bytes"}},
        {"0702 0802", {"Protocol-Field-Compression", "Address-and-Control-Field-Compression"}},
        {"0F03 01 1104 05F4", {"Compound-Frames : 0x01", "Multilink MRRU LCP : 0x05F4"}},
        {"0903 05", {"FCS-Alternatives", "  **** ***1 : Null FCS - ON", "  **** **0* : CCITT 16-bit FCS - OFF",
                     "  **** *1** : CCITT 32-bit - ON"}},
        {"0A03 08", {"Self-Describing-Padding : 8"}},
        {"0B05 04 AABB", {"Numbered-Mode", "  Window : 4", "  Address 2 bytes"}},
        {"0D06 01 353535", {"Callback", "  Operation : Message is dialing string(1)", "  Message 3 bytes"}},
        {"1307 02 0A000001", {"Endpoint Discriminator", "  Class : IP Address(2)", "  Address : 10.0.0.1"}},
        {"1306 02 0A0000", {"Endpoint Discriminator", "  Class : IP Address(2)", "  Address 3 bytes(correct=4)"}},
        {"1309 03 001B213A4F02", {"Endpoint Discriminator", "  Class : IEEE 802.1 Globally Assigned MAC Address(3)",
                                  "  Address : 00:1B:21:3A:4F:02"}},
        {"1318 01 000102030405060708090A0B0C0D0E0F10111213 14",
         {"Endpoint Discriminator", "  Class : Locally Assigned Address(1)", "  Address 21 bytes(correct<=20)"}},
        {"1313 05 000102030405060708090A0B0C0D0E0F",
         {"Endpoint Discriminator", "  Class : Public Switched Network Directory Number(5)",
          "  Address 16 bytes(correct<=15)"}},
        {"1C08 0000006A 6A61", {"Internationalization", "  MIBenum : UTF-8(106)", "  Language-Tag : ja"}},
        // The walk ends at an unknown type, at a length below 2, and at a zero length.
        {"0104 05DC 0603 00 0506 5A3C9E01", {"Maximum-Receive-Unit : 1500"}},
        {"0104 05DC 0501 5A3C9E01", {"Maximum-Receive-Unit : 1500", "Bad option(5) 1 bytes"}},
        {"0700 0104 05DC", {"Bad option(7) 0 bytes"}},
        {"0506 5A3C", {"Option truncated : 4 of 6 bytes captured"}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.options);
        Frame body = hex(k.options);
        std::vector<std::string> l = lines_of(lcp(1, body));
        ASSERT_GE(l.size(), 9u);
        EXPECT_EQ(l[8], "    Options " + std::to_string(body.size()) + " bytes");
        std::vector<std::string> got(l.begin() + 9, l.end());
        for (std::string& g : got) g = g.substr(6);
        EXPECT_EQ(got, k.lines);
    }
}

TEST(LcpCodes, BodyByCode) {
    struct Case {
        uint8_t code;
        const char* body;
        std::vector<std::string> lines;  // after Code, Identifier, Length
    };
    const Case cases[] = {
        {5, "AABBCC", {"Data 3 bytes"}},
        {7, "0101000A", {"Rejected-Packet 4 bytes"}},
        {8, "802B 0102", {"Rejected-Protocol : Novell IPX Control Protocol(0x802B)", "Rejected-Information 2 bytes"}},
        {9, "01020304 AA", {"Magic-Number : 0x01020304", "Data 1 bytes"}},
        {11, "01020304 AABB", {"Magic-Number : 0x01020304", "Data 2 bytes"}},
        {12, "01020304 7A656C70616E", {"Magic-Number : 0x01020304", "Message : zelpan"}},
        {12, "01020304", {"Magic-Number : 0x01020304", "Message : "}},
        {13, "01020304 00000E10 6869", {"Magic-Number : 0x01020304", "Seconds-Remaining : 3600", "Message : hi"}},
        {13, "01020304 00000E10", {"Magic-Number : 0x01020304", "Seconds-Remaining : 3600", "Message : "}},
        {14, "AABB", {"Data 2 bytes"}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(int(k.code));
        std::vector<std::string> l = lines_of(lcp(k.code, hex(k.body)));
        ASSERT_GE(l.size(), 8u);
        std::vector<std::string> got(l.begin() + 8, l.end());
        for (std::string& g : got) g = g.substr(4);
        EXPECT_EQ(got, k.lines);
    }
    EXPECT_EQ(lines_of(lcp(14, hex("")))[5], "    Code : Unknown(0x0E)");
    // A length field past the captured bytes: the body is cut where the capture ends.
    Frame big = cat({HDLC, hex("C021 0901 0040 01020304 AABB")});
    std::vector<std::string> l = lines_of(big);
    EXPECT_EQ(l[7], "    Length : 64");
    EXPECT_EQ(l[9], "    Data 56 bytes");
    EXPECT_EQ(l[10], "    Data truncated : 6 of 60 bytes captured");
}

// The control packet's node covers its announced length, or the captured bytes
// when fewer; a length below the header size is taken as it stands.
TEST(LcpCodes, NodeCoversAnnouncedLength) {
    struct Case {
        const char* what;
        Frame frame;
        uint32_t length;
    };
    const Case cases[] = {
        {"exact", cat({HDLC, hex("C021 0901 0008 01020304")}), 8},
        {"bytes after the packet", cat({HDLC, hex("C021 0901 0008 01020304 AABBCCDD")}), 8},
        {"length past the capture", cat({HDLC, hex("C021 0901 0040 01020304")}), 8},
        {"length 2", cat({HDLC, hex("C021 0901 0002 01020304")}), 2},
        {"length 0", cat({HDLC, hex("C021 0901 0000")}), 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        DetailTree t;
        zt::display(t, k.frame, 9);
        int32_t n = 0;
        for (int32_t h = 1; h <= t.size(); ++h)
            if (t.text(h) == "PPP Link Control Protocol") n = h;
        ASSERT_NE(n, 0);
        EXPECT_EQ(t.line(n).offset, 4u);
        EXPECT_EQ(t.line(n).length, k.length);
    }
}

TEST(Ipcp, OptionsAndCodes) {
    std::vector<std::string> l = lines_of(ipcp(1, hex("010A 0A000001 0A000002 0206 002D 0F01 0306 0A400002 "
                                                       "8106 08080808 8406 0A000035")));
    const std::vector<std::string> want = {
        "  PPP Internet Protocol Control Protocol",
        "    Code : Configuration-Request(0x01)",
        "    Identifier : 0x01",
        "    Length : 38",
        "    Options 34 bytes",
        "      IP-Addresses",
        "        Source IP Address : 10.0.0.1",
        "        Destination IP Address : 10.0.0.2",
        "      IP-Compression-Protocol",
        "        Protocol : Van Jacobson Compressed TCP/IP(0x002D)",
        "      IP-Address : 10.64.0.2",
        "      Primary DNS server Address : 8.8.8.8",
        "      Secondary NBNS server Address : 10.0.0.53",
    };
    EXPECT_EQ(std::vector<std::string>(l.begin() + 4, l.end()), want);
    // LCP-only option types end the IPCP walk; LCP-only codes are unknown to IPCP.
    l = lines_of(ipcp(1, hex("0506 01020304")));
    EXPECT_EQ(l.back(), "    Options 6 bytes");
    l = lines_of(ipcp(9, hex("01020304")));
    EXPECT_EQ(l[5], "    Code : Unknown(0x09)");
    EXPECT_EQ(l.back(), "    Data 4 bytes");
    EXPECT_EQ(zt::summarize(ipcp(9, hex("01020304")), 9).col[5], "Code : Unknown(0x09)");
}

TEST(Chap, CodesAndFields) {
    struct Case {
        uint8_t code;
        const char* body;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {1, "04 00010203 6163", {"Value-Size : 4 bytes", "Value : 4 bytes", "Name : ac"}},
        {2, "02 AABB 7A", {"Value-Size : 2 bytes", "Value : 2 bytes", "Name : z"}},
        // An empty name is still a name.
        {2, "02 AABB", {"Value-Size : 2 bytes", "Value : 2 bytes", "Name : "}},
        {3, "57656C636F6D65", {"Message : 7 bytes"}},
        {4, "", {"Message : 0 bytes"}},
        {9, "AABB", {"Code : 9 Data 2 bytes"}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.body);
        std::vector<std::string> l = lines_of(chap(k.code, hex(k.body)));
        ASSERT_GE(l.size(), 8u);
        EXPECT_EQ(l[4], "  PPP Challenge Handshake Authentication Protocol");
        EXPECT_EQ(l[6], "    Identifier : 0x07");
        std::vector<std::string> got(l.begin() + 8, l.end());
        for (std::string& g : got) g = g.substr(4);
        EXPECT_EQ(got, k.lines);
    }
    // The value size is believed only as far as the packet goes.
    std::vector<std::string> l = lines_of(chap(1, hex("FF 0102")));
    EXPECT_EQ(l.back(), "    Value : 255 bytes");
}

// ---- PPPoE ----

TEST(Pppoe, DiscoveryTags) {
    Frame padi = pppoe(0x8863, 0x09, 0, hex("0101 0000 0103 0004 11223344"));
    zt::Summary s = zt::summarize(padi);
    EXPECT_EQ(s.col[4], "PPPoEds");
    EXPECT_EQ(s.col[5], "Code : Active Discovery Initiation(PADI)(0x09)");
    EXPECT_EQ(layer_list(padi, 1), (Layers{{P_ETHERNET2, 16}, {P_PPPOEDS, 30}}));
    std::vector<std::string> l = lines_of(padi, 1);
    const std::vector<std::string> want = {
        "  PPP Over Ethernet Discovery Stage",
        "    Version : 1",
        "    Type : 1",
        "    Code : Active Discovery Initiation(PADI)(0x09)",
        "    Session ID : 0x0000",
        "    Length : 12",
        "    Tags",
        "      Tag : Service-Name(0x0101)",
        "        length : 0",
        "        value : ",
        "      Tag : Host-Uniq(0x0103)",
        "        length : 4",
        "        value : 4 bytes",
    };
    EXPECT_EQ(std::vector<std::string>(l.begin() + 4, l.end()), want);

    // End-Of-List ends the walk; unknown tags are named by number; text tags show text.
    l = lines_of(pppoe(0x8863, 0x07, 0, hex("0102 0002 6163 0999 0001 00 0000 0000 0101 0000")), 1);
    EXPECT_TRUE(zt::has_line(l, "value : ac"));
    EXPECT_TRUE(zt::has_line(l, "Tag : Unknown(0x0999)"));
    EXPECT_EQ(l.back(), "        value : 0 bytes");
    EXPECT_EQ(l[l.size() - 3], "      Tag : End-Of-List(0x0000)");
    // A tag running past the data, and a tag header cut short.
    l = lines_of(pppoe(0x8863, 0x19, 0, hex("0104 0010 AABB")), 1);
    EXPECT_EQ(l.back(), "        value : 2 of 16 bytes captured");
    l = lines_of(pppoe(0x8863, 0x19, 0, hex("0101 0000 01")), 1);
    EXPECT_EQ(l.back(), "      Tag truncated : 1 of 4 bytes captured");
    // Ethernet padding after the announced length is not read as tags.
    l = lines_of(pppoe(0x8863, 0xA7, 0x1234, hex(""), Frame(40, 0x01)), 1);
    EXPECT_EQ(l.back(), "    Length : 0");
}

TEST(Pppoe, SessionCarriesPpp) {
    Frame f = pppoe(0x8864, 0x00, 0x1234, hex("C021 0101 0008 01040578"), Frame(20, 0));
    zt::Summary s = zt::summarize(f);
    EXPECT_EQ(s.col[4], "PPP LCP");
    EXPECT_EQ(layer_list(f, 1), (Layers{{P_ETHERNET2, 16}, {P_PPPOESS, 30}, {P_PPP, 36}, {P_PPPLCP, 38}}));
    std::vector<std::string> l = lines_of(f, 1);
    EXPECT_EQ(l[4], "  PPP Over Ethernet Session Stage");
    EXPECT_EQ(l[7], "    Code : Session Data(0x00)");
    EXPECT_EQ(l[8], "    Session ID : 0x1234");
    EXPECT_EQ(l[10], "  Point-to-Point Protocol");
    EXPECT_EQ(l[11], "    Protocol : Link Control Protocol(0xC021)");
    EXPECT_TRUE(zt::has_line(l, "Maximum-Receive-Unit : 1400"));

    // IPv4 inside: the PPPoE length keeps the Ethernet padding out.
    Frame ip = pppoe(0x8864, 0x00, 0x1234, cat({hex("0021"), IP_UDP}), Frame(6, 0));
    EXPECT_EQ(zt::summarize(ip).col[2], "10.64.0.2");
    EXPECT_EQ(layer_list(ip, 1).at(3), (std::pair<int, int>{P_IP, 38}));

    // Cut inside the header.
    Frame cut = pppoe(0x8864, 0x00, 0x1234, hex(""));
    cut.resize(14 + 4);
    EXPECT_EQ(zt::summarize(cut).col[5], "PPPoEss header truncated (4 bytes captured)");
    l = lines_of(cut, 1);
    EXPECT_EQ(l.back(), "    Header truncated : 4 of 6 bytes captured");
    // A length past the captured bytes.
    Frame longer = pppoe(0x8864, 0x00, 0x1234, hex("C021 0101 0004"));
    longer[19] = 0x40;
    l = lines_of(longer, 1);
    EXPECT_TRUE(zt::has_line(l, "Payload truncated : 6 of 64 bytes captured"));
}
