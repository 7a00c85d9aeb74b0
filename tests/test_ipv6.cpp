// IPv6: the fixed header, the extension-header walk, the context it leaves for
// the transport and ICMPv6 checksums, and frames cut at every length.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "tests/support.h"

using namespace zelpan;
using zt::Frame;
using zt::hex;

namespace {

const Frame SRC = hex("20010db8000000000000000000000001");
const Frame DST = hex("20010db8000000000000000000000002");

Frame eth6(const Frame& packet) { return zt::cat({hex("00005e005301 00005e005302 86dd"), packet}); }
Frame eth4(const Frame& packet) { return zt::cat({hex("00005e005301 00005e005302 0800"), packet}); }

// A fixed header from 2001:db8::1 to 2001:db8::2; the payload length is the
// payload's size unless given.
Frame v6(uint8_t next, const Frame& payload, int payload_length = -1) {
    int p = payload_length < 0 ? int(payload.size()) : payload_length;
    Frame h = hex("60000000");
    h.push_back(uint8_t(p >> 8));
    h.push_back(uint8_t(p));
    h.push_back(next);
    h.push_back(64);
    return zt::cat({h, SRC, DST, payload});
}

// An options-type header (next, length in 8-octet units, body).
Frame ext(uint8_t next, const Frame& body) {
    Frame h{next, uint8_t((body.size() + 2) / 8 - 1)};
    return zt::cat({h, body});
}

// Layers as (ProtocolId, offset in the frame).
std::vector<std::pair<int, int>> layer_list(const Frame& f) {
    FrameLayerIndex ix = zt::layers(f);
    std::vector<std::pair<int, int>> out;
    for (int i = 0; i < ix.count; ++i) out.push_back({ix.entries[i].protocol, ix.entries[i].offset - 16});
    return out;
}

struct Top {
    std::string text;
    int protocol;
    uint32_t offset, length;
};
std::vector<Top> tops(const Frame& f) {
    DetailTree t;
    zt::display(t, f);
    std::vector<Top> out;
    for (int32_t h = t.first_top(); h; h = t.line(h).next_sibling)
        out.push_back({std::string(t.text(h)), t.line(h).protocol, t.line(h).offset, t.line(h).length});
    return out;
}

// The detail lines (indentation stripped) that follow the first line equal to head,
// up to the next top-level line.
std::vector<std::string> section(const std::vector<std::string>& lines, const std::string& head) {
    std::vector<std::string> out;
    bool in = false;
    for (const auto& l : lines) {
        bool top = l.rfind("  ", 0) == 0 && l.size() > 2 && l[2] != ' ';
        std::string text = l.substr(l.find_first_not_of(' '));
        if (in && top) break;
        if (in) out.push_back(text);
        if (top && text == head) in = true;
    }
    return out;
}

// The line under a given top-level head whose text starts with prefix.
std::string line_starting(const std::vector<std::string>& lines, const std::string& prefix) {
    for (const auto& l : lines) {
        std::string text = l.substr(l.find_first_not_of(' '));
        if (text.rfind(prefix, 0) == 0) return text;
    }
    return "";
}

// ICMPv6 echo request 2001:db8::1 > 2001:db8::2, traffic class 0xB8, flow 0x12345 (scapy).
const Frame ECHO6 = hex(
    "6b81234500113a4020010db800000000000000000000000120010db800000000000000000000000280"
    "00435a1234000770696e672d64617461");

// Hop-by-Hop (PadN) > Destination Options (PadN) > Routing type 0 (2001:db8::c, one
// segment left) > Fragment (offset 0, last) > ICMPv6 echo; scapy, whose checksum
// takes the routing header's final destination.
const Frame CHAIN6 = hex(
    "60000000003b004020010db800000000000000000000000120010db80000000000000000000000023c0001"
    "04000000002b000104000000002c0200010000000020010db800000000000000000000000c3a0000000000"
    "0007800031be0001000278797a");

}  // namespace

// ---- the fixed header ----

TEST(Ipv6Header, SummaryAndDetailLines) {
    Frame f = eth6(ECHO6);
    zt::Summary s = zt::summarize(f);
    EXPECT_EQ(s.col[2], "2001:DB8::1");
    EXPECT_EQ(s.col[3], "2001:DB8::2");
    EXPECT_EQ(s.col[4], "ICMPv6");

    auto lines = zt::detail(f);
    std::vector<std::string> expected = {
        "Version : 6",
        "Traffic Class : B8",
        "Flow Label : 0x12345",
        "Payload Length : 17",
        "Next Header : ICMPv6(0x3A)",
        "Hop Limit : 64",
        "Source : 2001:DB8::1",
        "Destination : 2001:DB8::2",
    };
    EXPECT_EQ(section(lines, "Internet Protocol Version 6 : 2001:DB8::1 > 2001:DB8::2"), expected);

    auto t = tops(f);
    ASSERT_GE(t.size(), 4u);
    EXPECT_EQ(t[2].protocol, P_IP6);
    EXPECT_EQ(t[2].offset, 14u);
    EXPECT_EQ(t[2].length, 40u);
    EXPECT_EQ(t[3].protocol, P_ICMP6);
}

TEST(Ipv6Header, NoNextHeaderLeavesIpv6ColumnsAndAPayloadDataLine) {
    Frame f = eth6(v6(59, hex("01020304")));
    zt::Summary s = zt::summarize(f);
    EXPECT_EQ(s.col[4], "IPv6");
    EXPECT_EQ(s.col[5], "IPv6 data 4 octets");
    auto t = tops(f);
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[3].text, "Data : 4 bytes");
    EXPECT_EQ(t[3].offset, 54u);
    EXPECT_EQ(t[3].length, 4u);
    EXPECT_EQ(layer_list(f), (std::vector<std::pair<int, int>>{{P_ETHERNET2, 0}, {P_IP6, 14}}));

    // Nothing after the header: no data line at all.
    EXPECT_EQ(tops(eth6(v6(59, {}))).size(), 3u);
}

TEST(Ipv6Header, ContextLeftForTheLayersAbove) {
    // Decoded on its own (no link layer): network_type 0 writes no address or protocol column.
    Frame pkt = v6(0, zt::cat({ext(59, hex("01040000 0000")), hex("aabbccdd")}));
    zt::Record r(pkt);
    DecodeContext c;
    c.mode = MODE_DISPLAY;
    c.record = r.data();
    c.bytes = r.data() + 16;
    c.captured_length = int(pkt.size());
    make_current(&c);
    decode_ipv6(0, Bytes(c.bytes, c.captured_length));
    make_current(nullptr);

    EXPECT_EQ(std::string(c.columns[4]), "");
    EXPECT_EQ(std::string(c.columns[2]), "");
    EXPECT_EQ(std::string(c.columns[5]), "IPv6 data 12 octets");
    EXPECT_EQ(c.ftp_tracking.ip_version, 2);
    EXPECT_EQ(c.transport_protocol, 59);
    EXPECT_EQ(0, std::memcmp(c.pseudo_header + 4, SRC.data(), 16));
    EXPECT_EQ(0, std::memcmp(c.pseudo_header + 20, DST.data(), 16));
    EXPECT_EQ(0, std::memcmp(c.ipv6_pseudo_header, SRC.data(), 16));
    EXPECT_EQ(0, std::memcmp(c.ipv6_pseudo_header + 16, DST.data(), 16));
    // Upper-layer length and next header after the Hop-by-Hop header.
    EXPECT_EQ(Frame(c.ipv6_pseudo_header + 32, c.ipv6_pseudo_header + 40), hex("00000004 000000 3b"));
}

TEST(Ipv6Header, PayloadLengthLimitsWhatIsHandedOn) {
    // Link padding after the packet is not the message's: the checksum still holds.
    Frame padded = eth6(zt::cat({ECHO6, hex("00000000")}));
    auto lines = zt::detail(padded);
    EXPECT_TRUE(zt::has_line(lines, "Checksum : 0x435A(correct)"));
    EXPECT_TRUE(zt::has_line(lines, "Data  9 bytes"));

    // A payload length beyond the capture: the message is what was captured, and
    // its checksum is not judged.
    Frame longer = ECHO6;
    longer[5] = 48;
    lines = zt::detail(eth6(longer));
    EXPECT_TRUE(zt::has_line(lines, "Payload Length : 48"));
    EXPECT_TRUE(zt::has_line(lines, "Checksum : 0x435A(not verified, 17 of 48 bytes captured)"));
}

TEST(Ipv6Header, CarriedInIpv4) {
    // IPv4 (protocol 41) > IPv6 > ICMPv6 echo, scapy.
    Frame tunnel = eth4(hex(
        "45000044000100004029f68cc0000201c00002026000000000083a4020010db80000000000000000000000"
        "0120010db80000000000000000000000028000243600090009"));
    zt::Summary s = zt::summarize(tunnel);
    EXPECT_EQ(s.col[2], "192.0.2.1");
    EXPECT_EQ(s.col[3], "192.0.2.2");
    EXPECT_EQ(s.col[4], "ICMPv6");
    auto lines = zt::detail(tunnel);
    EXPECT_TRUE(zt::has_line(lines, "Internet Protocol Version 6 : 2001:DB8::1 > 2001:DB8::2"));
    EXPECT_TRUE(zt::has_line(lines, "Checksum : 0x2436(correct)"));
    // The inner header records no layer of its own.
    EXPECT_EQ(layer_list(tunnel), (std::vector<std::pair<int, int>>{{P_ETHERNET2, 0}, {P_IP, 14}, {P_ICMP6, 74}}));

    // With nothing above it the inner header's description stays.
    Frame bare = eth4(zt::cat({hex("4500003c 0001 0000 40 29 0000 c0000201 c0000202"), v6(59, {})}));
    s = zt::summarize(bare);
    EXPECT_EQ(s.col[4], "IP");
    EXPECT_EQ(s.col[5], "IPv6 data 0 octets");
}

// ---- extension headers ----

TEST(Ipv6Extensions, HopByHopRouterAlertThenMld) {
    // MLD report behind a Hop-by-Hop header with Router Alert 0 and PadN (scapy).
    Frame f = eth6(hex(
        "6000000000200001fe800000000000000000000000000001ff0200000000000000000000000000163a0005"
        "02000001008300810b00000000ff0200000000000000000001ff000002"));
    auto lines = zt::detail(f);
    std::vector<std::string> expected = {
        "Next Header : ICMPv6(0x3A)",
        "Length : 0 (8-octet)",
        "Router Alert : Multicast Listener Discovery(0) (4 bytes)",
        "PadN : 2 bytes",
    };
    EXPECT_EQ(section(lines, "Hop-by-Hop Options Header"), expected);
    EXPECT_TRUE(zt::has_line(lines, "Type : Multicast Listener Report(131)"));
    EXPECT_TRUE(zt::has_line(lines, "Checksum : 0x810B(correct)"));
    EXPECT_TRUE(zt::has_line(lines, "Multicast Address : FF02::1:FF00:2"));
    EXPECT_EQ(layer_list(f), (std::vector<std::pair<int, int>>{
                                 {P_ETHERNET2, 0}, {P_IP6, 14}, {P_IP6OPT, 54}, {P_ICMP6, 62}}));
}

TEST(Ipv6Extensions, ChainToIcmpv6WithFinalDestination) {
    Frame f = eth6(CHAIN6);
    auto lines = zt::detail(f);
    EXPECT_EQ(section(lines, "Routing Header"), (std::vector<std::string>{
                                                    "Next header : IPv6 Fragment(0x2c)",
                                                    "Length : 2(24 bytes)",
                                                    "Type : 0",
                                                    "Segments Left : 1",
                                                    "Address 0 : 2001:DB8::C",
                                                }));
    EXPECT_EQ(section(lines, "Fragmention Header"), (std::vector<std::string>{
                                                        "Next header : ICMPv6(0x3a)",
                                                        "Offset : 0",
                                                        "More fragments : No",
                                                        "Identification : 0x00000007",
                                                    }));
    // The Destination Options header has the Hop-by-Hop head line and its ProtocolId.
    auto t = tops(f);
    ASSERT_EQ(t.size(), 8u);
    EXPECT_EQ(t[3].text, "Hop-by-Hop Options Header");
    EXPECT_EQ(t[4].text, "Hop-by-Hop Options Header");
    EXPECT_EQ(t[4].protocol, P_IP6OPT);
    EXPECT_EQ(t[4].offset, 62u);
    EXPECT_EQ(t[5].protocol, P_IP6ROUTE);
    EXPECT_EQ(t[5].length, 24u);
    EXPECT_EQ(t[6].protocol, P_IP6FRAG);
    EXPECT_EQ(t[6].length, 8u);
    EXPECT_EQ(t[7].offset, 102u);
    // The checksum is taken over the routing header's last address.
    EXPECT_TRUE(zt::has_line(lines, "Checksum : 0x31BE(correct)"));
    EXPECT_EQ(layer_list(f), (std::vector<std::pair<int, int>>{{P_ETHERNET2, 0},
                                                               {P_IP6, 14},
                                                               {P_IP6OPT, 54},
                                                               {P_IP6OPT, 62},
                                                               {P_IP6ROUTE, 70},
                                                               {P_IP6FRAG, 94},
                                                               {P_ICMP6, 102}}));
    zt::Summary s = zt::summarize(f);
    EXPECT_EQ(s.col[4], "ICMPv6");
    EXPECT_EQ(s.col[5], "Type : Echo Request(128)");
}

TEST(Ipv6Extensions, FirstFragmentThroughRoutingToUdp) {
    // Hop-by-Hop > Routing type 0 (two addresses, two left) > Fragment (offset 0,
    // more) > UDP 1025 > 4000 (scapy).
    Frame f = eth6(hex(
        "600000000045004020010db800000000000000000000000120010db80000000000000000000000022b0001"
        "04000000002c0400020000000020010db800000000000000000000000a20010db800000000000000000000"
        "000b11000001abcdef0104010fa0000d4ce368656c6c6f"));
    EXPECT_EQ(layer_list(f), (std::vector<std::pair<int, int>>{{P_ETHERNET2, 0},
                                                               {P_IP6, 14},
                                                               {P_IP6OPT, 54},
                                                               {P_IP6ROUTE, 62},
                                                               {P_IP6FRAG, 102},
                                                               {P_UDP, 110}}));
    auto lines = zt::detail(f);
    EXPECT_TRUE(zt::has_line(lines, "Address 0 : 2001:DB8::A"));
    EXPECT_TRUE(zt::has_line(lines, "Address 1 : 2001:DB8::B"));
    EXPECT_TRUE(zt::has_line(lines, "More fragments : Yes"));
    EXPECT_TRUE(zt::has_line(lines, "Identification : 0xabcdef01"));
    EXPECT_EQ(zt::summarize(f).col[4], "UDP");

    // Routing header (one segment left) > UDP: the UDP checksum is taken over the
    // final destination too (scapy).
    Frame routed = eth6(hex(
        "6000000000252b4020010db800000000000000000000000120010db8000000000000000000000002110200010000"
        "000020010db800000000000000000000000c04010fa0000d4ce268656c6c6f"));
    EXPECT_TRUE(zt::has_line(zt::detail(routed), "Checksum : 0x4CE2(correct)"));
}

TEST(Ipv6Extensions, LaterFragmentIsNotDecodedAsAnUpperLayer) {
    // Offset 1480, UDP named in the fragment header (scapy).
    Frame f = eth6(hex(
        "6000000000182c4020010db800000000000000000000000120010db8000000000000000000000002110005"
        "c8abcdef0130313233343536373839616263646566"));
    zt::Summary s = zt::summarize(f);
    EXPECT_EQ(s.col[4], "IPv6 Fragment");
    EXPECT_EQ(s.col[5], "Fragmented datagram protocol=UDP(17) offset=1480");
    auto t = tops(f);
    ASSERT_EQ(t.size(), 5u);
    EXPECT_EQ(t[3].text, "Fragmention Header");
    EXPECT_EQ(t[4].text, "Fragmented datagram : 16 bytes");
    EXPECT_EQ(t[4].protocol, 0);
    EXPECT_EQ(t[4].offset, 62u);
    EXPECT_TRUE(zt::has_line(zt::detail(f), "Offset : 1480"));
    EXPECT_EQ(layer_list(f),
              (std::vector<std::pair<int, int>>{{P_ETHERNET2, 0}, {P_IP6, 14}, {P_IP6FRAG, 54}}));
}

TEST(Ipv6Extensions, FirstFragmentLeavesTheMessageChecksumUnjudged) {
    Frame echo = hex("80000000000100020102030405060708");
    Frame f = eth6(v6(44, zt::cat({hex("3a000001 00000009"), echo})));
    auto lines = zt::detail(f);
    EXPECT_TRUE(zt::has_line(lines, "Checksum : 0x0000(not verified, first fragment)"));
    EXPECT_TRUE(zt::has_line(lines, "Data  8 bytes"));
}

TEST(Ipv6Extensions, AuthenticationHeaderIsWalkedOver) {
    // AH (next 58, 24 bytes) between the header and an ICMPv6 echo whose checksum
    // scapy computed for 2001:db8::1 > 2001:db8::2.
    Frame ah = hex("3a040000 00001000 00000001 0102030405060708090a0b0c");
    Frame echo = hex("8000bbe50005000661682d74657374");
    Frame f = eth6(v6(51, zt::cat({ah, echo})));
    EXPECT_EQ(layer_list(f), (std::vector<std::pair<int, int>>{
                                 {P_ETHERNET2, 0}, {P_IP6, 14}, {P_AH, 54}, {P_ICMP6, 78}}));
    EXPECT_TRUE(zt::has_line(zt::detail(f), "Checksum : 0xBBE5(correct)"));
}

TEST(Ipv6Extensions, RoutingAddressesByTypeAndLength) {
    Frame a0 = hex("20010db80000000000000000000000a0"), a1 = hex("20010db80000000000000000000000a1");
    struct Case {
        uint8_t type, length;
        int addresses;
    } cases[] = {{0, 4, 2}, {2, 2, 0}, {0, 1, 0}, {0, 48, 24}, {0, 49, 0}};
    for (const Case& k : cases) {
        int hl = (k.length + 1) * 8;
        Frame r = {59, k.length, k.type, 0, 0, 0, 0, 0};
        for (int off = 8; off + 16 <= hl; off += 16) r = zt::cat({r, (off / 16) % 2 ? a1 : a0});
        r.resize(size_t(hl), 0);
        auto lines = zt::detail(eth6(v6(43, r)));
        int shown = 0;
        for (const auto& l : lines)
            if (l.find("Address ") != std::string::npos) ++shown;
        EXPECT_EQ(shown, k.addresses) << "type " << int(k.type) << " length " << int(k.length);
        EXPECT_TRUE(zt::has_line(lines, "Length : " + std::to_string(k.length) + "(" + std::to_string(hl) + " bytes)"));
    }
    auto lines = zt::detail(eth6(v6(43, zt::cat({hex("3b040000 00000000"), a0, a1}))));
    EXPECT_TRUE(zt::has_line(lines, "Address 0 : 2001:DB8::A0"));
    EXPECT_TRUE(zt::has_line(lines, "Address 1 : 2001:DB8::A1"));
}

TEST(Ipv6Extensions, MobileIpv6Options) {
    Frame body = zt::cat({
        hex("070b 81 0102 ffffffff 0000003c"),                // Binding Acknowledgement
        hex("c608 a8 40 0005 0000012c"),                      // Binding Update
        hex("c910 20010db8000000000000000000000099"),         // Home Address
        hex("0800"),                                          // Binding Request
        hex("0202 1234"),                                     // Unique Identifier
        hex("0410 20010db80000000000000000000000aa"),         // Alternative Care-of Address
        hex("0103 000000"),                                   // PadN
    });
    auto lines = zt::detail(eth6(v6(60, ext(59, body))));
    std::vector<std::string> expected = {
        "Next Header : IPv6 No Next Header(0x3B)",
        "Length : 8 (8-octet)",
        "Option Type : 7(0x07) - Binding Acknowledgement",
        "Option Length : 11",
        "Status : 129 - Binding Update was rejected",
        "Sequence Number : 258",
        "Life Time : 4294967295 - Infinity",
        "Refresh : 60",
        "Option Type : 198(0xc6) - Binding Update",
        "Option Length : 8",
        "Binding Update Flags : 0xA8",
        "1*** **** Acknowledge",
        "*0** **** Home Registration",
        "**1* **** Router",
        "***0 **** Duplicate Address Detection",
        "**** 1*** MAP Registration",
        "Prefix Length : 64",
        "Sequence Number : 5",
        "Life Time: 300",
        "Option Type : 201(0xc9) - Home Address",
        "Option Length : 16",
        "Home Address : 20010DB8000000000000000000000099",
        "Option Type : 8(0x08) - Binding Request",
        "Option Length : 0",
        "Sub-Option Type: 2(0x02) - Unique Identifier Sub-Option",
        "Sub-Option Length : 2",
        "Unique Identifier : 4660",
        "Sub-Option Type: 4(0x04) - Alternative Care Of Address",
        "Sub-Option Length : 16",
        "Alternative Care of Address : 20010DB80000000000000000000000AA",
        "PadN : 5 bytes",
    };
    EXPECT_EQ(section(lines, "Hop-by-Hop Options Header"), expected);
}

TEST(Ipv6Extensions, BindingAcknowledgementStatusTexts) {
    struct Case {
        uint8_t status;
        const char* line;
    } cases[] = {
        {0, "Status : 0 - Binding Update accepted"},
        {5, "Status : 5 "},
        {128, "Status : 128 - Binding Update was rejected - Reason unspecified"},
        {129, "Status : 129 - Binding Update was rejected"},
        {133, "Status : 133 - Binding Update was rejected - Not home subnet"},
        {138, "Status : 138 - Binding Update was rejected - Duplicate Address Detection failed"},
        {200, "Status : 200 - Binding Update was rejected"},
    };
    for (const Case& k : cases) {
        Frame body = zt::cat({hex("070b"), Frame{k.status}, hex("0001 00000010 00000020 00")});
        auto lines = zt::detail(eth6(v6(0, ext(59, body))));
        EXPECT_TRUE(zt::has_line(lines, k.line)) << int(k.status);
        EXPECT_TRUE(zt::has_line(lines, "Life Time : 16"));
    }
}

TEST(Ipv6Extensions, OptionLengthsAndTheEndOfTheWalk) {
    Frame body = zt::cat({
        hex("00"),                 // Pad1
        hex("0101 00"),            // PadN 3
        hex("0504 00000000"),      // Router Alert with a wrong length
        hex("c204 00011170"),      // Jumbo Payload 70000
        hex("c202 0000"),          // Jumbo Payload with a wrong length
        hex("3e02 0000"),          // unknown: the walk ends here
        hex("0104 00000000"),      // not shown
    });
    auto lines = zt::detail(eth6(v6(0, ext(59, body))));
    std::vector<std::string> expected = {
        "Next Header : IPv6 No Next Header(0x3B)",
        "Length : 3 (8-octet)",
        "Pad1",
        "PadN : 3 bytes",
        "Router Alert : Invalid length (6 bytes)",
        "Jumbo Payload : 70000 bytes",
        "Jumbo Payload : Invalid length (4 bytes)",
    };
    EXPECT_EQ(section(lines, "Hop-by-Hop Options Header"), expected);

    // Router Alert values by name.
    lines = zt::detail(eth6(v6(0, ext(59, hex("0502 0001 0502 0009 0104 00000000")))));
    EXPECT_TRUE(zt::has_line(lines, "Router Alert : RSVP(1) (4 bytes)"));
    EXPECT_TRUE(zt::has_line(lines, "Router Alert : Unknown(9) (4 bytes)"));

    // A fixed-size Mobile IPv6 option that does not fit in its header is not read
    // beyond it; the walk goes on to the next header.
    Frame pad = hex("ffffffffffffffff");
    lines = zt::detail(eth6(v6(0, zt::cat({ext(59, hex("070b 81 000000")), pad}))));
    EXPECT_TRUE(zt::has_line(lines, "Option 7(0x07) : 13 bytes run past the end of the header (6 left)"));
    EXPECT_FALSE(zt::has_line(lines, "Option Type : 7(0x07) - Binding Acknowledgement"));
    EXPECT_TRUE(zt::has_line(lines, "Data : 8 bytes"));
    // Likewise a PadN whose length runs past the header.
    lines = zt::detail(eth6(v6(0, ext(59, hex("0109 00000000")))));
    EXPECT_TRUE(zt::has_line(lines, "Option 1(0x01) : 11 bytes run past the end of the header (6 left)"));
}

TEST(Ipv6Extensions, JumbogramRunsToTheEndOfTheCapture) {
    // Payload Length 0 with a Jumbo Payload option: the capture says how far it goes.
    Frame f = eth6(v6(0, zt::cat({ext(59, hex("c204 00000010")), hex("0102030405060708")}), 0));
    auto lines = zt::detail(f);
    EXPECT_TRUE(zt::has_line(lines, "Jumbo Payload : 16 bytes"));
    EXPECT_TRUE(zt::has_line(lines, "Data : 8 bytes"));
}

TEST(Ipv6Extensions, HeaderLongerThanThePayloadEndsTheWalk) {
    // The Hop-by-Hop header claims 16 bytes of an 8-byte payload (all captured).
    Frame f = eth6(v6(0, hex("3a01000000000000 8000000000000000"), 8));
    zt::Summary s = zt::summarize(f);
    EXPECT_EQ(s.col[4], "Hop-by-Hop");
    EXPECT_EQ(s.col[5], "Hop-by-Hop header truncated (8 bytes captured)");
    auto lines = zt::detail(f);
    EXPECT_TRUE(zt::has_line(lines, "Header truncated : 8 of 16 bytes captured"));
    EXPECT_FALSE(zt::has_line(lines, "Internet Control Message Protocol v6"));
}

// ---- frames cut short ----

TEST(Ipv6Truncated, ChainCutAtEveryLength) {
    const Frame full = eth6(CHAIN6);
    struct Range {
        size_t from;
        const char* column4;
        const char* name;  // truncated_summary name, or nullptr for a whole header
        int layers;
    } ranges[] = {
        {14, "IPv6", "IPv6", 2},       {54, "Hop-by-Hop", "Hop-by-Hop", 3},
        {62, "Hop-by-Hop", "Hop-by-Hop", 4}, {70, "IPv6 Routing", "IPv6 Routing", 5},
        {94, "IPv6 Fragment", "IPv6 Fragment", 6}, {102, "ICMPv6", "ICMPv6", 7},
        {110, "ICMPv6", nullptr, 7},
    };
    for (size_t n = 0; n <= full.size(); ++n) {
        Frame f(full.begin(), full.begin() + long(n));
        zt::Summary s = zt::summarize(f);
        auto lines = zt::detail(f);
        DetailTree tree;
        zt::display(tree, f);
        for (int32_t h = 1; h <= tree.size(); ++h)
            EXPECT_LE(tree.line(h).offset + tree.line(h).length, n) << "n=" << n << " " << tree.text(h);
        FrameLayerIndex ix = zt::layers(f);
        for (int i = 0; i < ix.count; ++i) {
            EXPECT_LE(ix.entries[i].offset - 16, int(n)) << n;
            if (i > 0) {
                EXPECT_GT(ix.entries[i].offset, ix.entries[i - 1].offset) << n;
            }
        }
        if (n < 14) continue;  // the link layer's own business
        const Range* r = nullptr;
        for (const Range& k : ranges)
            if (n >= k.from) r = &k;
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(s.col[4], r->column4) << n;
        EXPECT_EQ(ix.count, r->layers) << n;
        if (r->name) {
            std::string want = std::string(r->name) + " header truncated (" + std::to_string(n - r->from) +
                               " bytes captured)";
            EXPECT_EQ(s.col[5], want) << n;
            EXPECT_TRUE(line_starting(lines, "Header truncated : ") != "") << n;
        } else {
            EXPECT_EQ(s.col[5], "Type : Echo Request(128)") << n;
            std::string want = n == full.size() ? "Checksum : 0x31BE(correct)"
                                                : "Checksum : 0x31BE(not verified, " + std::to_string(n - 102) +
                                                      " of 11 bytes captured)";
            EXPECT_TRUE(zt::has_line(lines, want)) << n;
        }
    }
}

TEST(Ipv6Truncated, FixedHeaderShowsOnlyCapturedFields) {
    Frame f = eth6(ECHO6);
    f.resize(14 + 20);  // up to the middle of the source address
    auto lines = zt::detail(f);
    auto v6lines = section(lines, "Internet Protocol Version 6");
    EXPECT_EQ(v6lines, (std::vector<std::string>{
                           "Version : 6",
                           "Traffic Class : B8",
                           "Flow Label : 0x12345",
                           "Payload Length : 17",
                           "Next Header : ICMPv6(0x3A)",
                           "Hop Limit : 64",
                           "Header truncated : 20 of 40 bytes captured",
                       }));
    zt::Summary s = zt::summarize(f);
    EXPECT_EQ(s.col[4], "IPv6");
    EXPECT_EQ(s.col[2], "00:00:5E:00:53:02");  // the link layer's addresses stay
}
