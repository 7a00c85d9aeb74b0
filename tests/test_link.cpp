// Link layer: Ethernet II / IEEE 802.3 choice, LLC formats and SAP dispatch,
// SNAP, FDDI, null/loopback, the layer index and frames cut at every length.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "store/capture_file.h"
#include "store/frame_store.h"
#include "tests/support.h"

using namespace zelpan;
using zt::cat;
using zt::Frame;
using zt::has_line;
using zt::hex;

namespace {

const Frame DST = hex("00a0241b7c05");
const Frame SRC = hex("080020010203");
const char* DST_TEXT = "00:A0:24:1B:7C:05";
const char* SRC_TEXT = "08:00:20:01:02:03";

// Made with scapy: IPv4 10.0.0.1 > 10.0.0.2, protocol 47 (no decoder), 4 payload bytes.
const Frame GRE_DATAGRAM = hex("4500001800010000402f66b40a0000010a00000200000800");
// IPv4/UDP 5000 > 5001 with 4 payload bytes.
const Frame UDP_DATAGRAM = hex("4500002000020000401166c90a0000010a00000213881389000cfffb61626364");
// IPv4 with Record Route and NOP options, TCP SYN 1025 > 8080.
const Frame TCP_DATAGRAM =
    hex("4700003000030000400653b70a0000010a000002070704010203040104011f90000000010000000050020200764e0000");

Frame be16(unsigned v) { return {uint8_t(v >> 8), uint8_t(v)}; }

Frame ether2(unsigned type, const Frame& payload) { return cat({DST, SRC, be16(type), payload}); }
Frame dot3(const Frame& payload) { return cat({DST, SRC, be16(unsigned(payload.size())), payload}); }
Frame llc(uint8_t dsap, uint8_t ssap, const Frame& control, const Frame& payload = {}) {
    return cat({{dsap, ssap}, control, payload});
}
Frame snap(uint32_t oui, unsigned type, const Frame& payload) {
    return cat({{uint8_t(oui >> 16), uint8_t(oui >> 8), uint8_t(oui)}, be16(type), payload});
}
Frame fddi(uint8_t control, const Frame& payload = {}) { return cat({{control}, DST, SRC, payload}); }

// The top-level lines of a detail export (two blanks of indentation).
bool has_top_line(const std::vector<std::string>& lines, const std::string& text) {
    for (const auto& l : lines)
        if (l == "  " + text) return true;
    return false;
}

int32_t find_line(const DetailTree& t, const std::string& text) {
    for (int32_t h = 1; h <= t.size(); ++h)
        if (t.text(h) == text) return h;
    return 0;
}

struct Layer {
    int protocol;
    int offset;
};
std::vector<Layer> layer_list(const Frame& f, int link_type = 1) {
    FrameLayerIndex ix = zt::layers(f, link_type);
    std::vector<Layer> out;
    for (int i = 0; i < ix.count; ++i) out.push_back({ix.entries[i].protocol, ix.entries[i].offset});
    return out;
}
bool operator==(const Layer& a, const Layer& b) { return a.protocol == b.protocol && a.offset == b.offset; }
void PrintTo(const Layer& l, std::ostream* os) { *os << protocol_name(l.protocol - 1) << "@" << l.offset; }

}  // namespace

// ---- Ethernet II and IEEE 802.3 ----

TEST(Ethernet, UnknownTypeShowsHexTwiceAndADataLine) {
    Frame f = ether2(0x88CC, Frame(10, 0x11));
    zt::Summary s = zt::summarize(f);
    EXPECT_EQ(s.col[2], SRC_TEXT);
    EXPECT_EQ(s.col[3], DST_TEXT);
    EXPECT_EQ(s.col[4], "ETHERNET II");
    EXPECT_EQ(s.col[5], "ETHERNET II data 10 octets");

    auto lines = zt::detail(f);
    EXPECT_TRUE(has_top_line(lines, "Ethernet II"));
    EXPECT_TRUE(has_line(lines, std::string("Destination : ") + DST_TEXT));
    EXPECT_TRUE(has_line(lines, std::string("Source : ") + SRC_TEXT));
    EXPECT_TRUE(has_line(lines, "Type : 0x88CC(0x88CC)"));
    EXPECT_TRUE(has_top_line(lines, "Data : 10 bytes"));
    EXPECT_TRUE(has_line(zt::detail(ether2(0x8100, {})), "Type : 802.1Q Virtual LAN(0x8100)"));
    EXPECT_STREQ(ethertype_name(0x1234), "0x1234");

    DetailTree t;
    zt::display(t, f);
    int32_t e = find_line(t, "Ethernet II");
    ASSERT_NE(e, 0);
    EXPECT_EQ(t.line(e).parent, ROOT_NODE);
    EXPECT_EQ(t.line(e).protocol, P_ETHERNET2);
    EXPECT_EQ(t.line(e).offset, 0u);
    EXPECT_EQ(t.line(e).length, 14u);
    int32_t ty = find_line(t, "Type : 0x88CC(0x88CC)");
    EXPECT_EQ(t.line(ty).offset, 12u);
    EXPECT_EQ(t.line(ty).length, 2u);
    int32_t d = find_line(t, "Data : 10 bytes");
    EXPECT_EQ(t.line(d).parent, ROOT_NODE);
    EXPECT_EQ(t.line(d).offset, 14u);
    EXPECT_EQ(t.line(d).length, 10u);
}

TEST(Ethernet, DispatchedTypesGetNoDataLine) {
    // Types with a decoder hand the payload on; the others end in a Data line.
    const struct {
        unsigned type;
        bool dispatched;
    } cases[] = {
        {0x0800, true}, {0x86DD, true}, {0x0806, true}, {0x8035, true}, {0x80F3, true},
        {0x8137, true}, {0x8863, true}, {0x8864, true}, {0xEF08, true}, {0x8021, true},
        {0xC021, true}, {0xC223, true}, {0xC023, false}, {0x8100, false}, {0x809B, false},
    };
    for (const auto& c : cases) {
        auto lines = zt::detail(ether2(c.type, Frame(30, 0)));
        EXPECT_EQ(has_top_line(lines, "Data : 30 bytes"), !c.dispatched) << std::hex << c.type;
    }
}

TEST(Ethernet, TypeLengthBoundaryIs1500) {
    Frame f1500 = cat({DST, SRC, be16(1500), llc(0x04, 0x04, {0x03}, Frame(40, 0))});
    Frame f1501 = cat({DST, SRC, be16(1501), Frame(43, 0)});
    EXPECT_EQ(layer_list(f1500).at(0), (Layer{P_IEEE8023, 16}));
    EXPECT_TRUE(has_line(zt::detail(f1500), "Length : 1500 bytes"));
    EXPECT_EQ(layer_list(f1501).at(0), (Layer{P_ETHERNET2, 16}));
    EXPECT_EQ(zt::summarize(f1501).col[4], "ETHERNET II");
    EXPECT_TRUE(has_line(zt::detail(f1501), "Type : 0x05DD(0x05DD)"));
}

TEST(Ethernet, Ieee8023LinesAndLengthField) {
    // The description uses the length field; the LLC layer takes the rest of the frame.
    Frame f = cat({DST, SRC, be16(46)});
    zt::Summary s = zt::summarize(f);
    EXPECT_EQ(s.col[2], SRC_TEXT);
    EXPECT_EQ(s.col[3], DST_TEXT);
    EXPECT_EQ(s.col[4], "IEEE 802.3");
    EXPECT_EQ(s.col[5], "IEEE 802.3 data 46 octets");
    auto lines = zt::detail(f);
    EXPECT_TRUE(has_top_line(lines, "IEEE 802.3"));
    EXPECT_TRUE(has_line(lines, "Length : 46 bytes"));
    EXPECT_FALSE(has_top_line(lines, "Logical Link Control"));  // nothing after the header

    // Padding after a short LLC payload is still handed to LLC.
    Frame padded = dot3(llc(0x04, 0x04, {0x03}, Frame(43, 0)));
    EXPECT_TRUE(has_top_line(zt::detail(padded), "Data : 43 bytes"));
}

TEST(Ethernet, RawNovellFrameGoesToIpxWithoutLlc) {
    Frame f = dot3(cat({{0xFF, 0xFF}, Frame(40, 0)}));
    auto lines = zt::detail(f);
    EXPECT_FALSE(has_top_line(lines, "Logical Link Control"));
    EXPECT_FALSE(has_top_line(lines, "Data : 40 bytes"));
    for (const Layer& l : layer_list(f)) EXPECT_NE(l.protocol, P_LLC);
    EXPECT_NE(zt::summarize(f).col[4], "LLC");
}

// ---- LLC ----

TEST(Llc, UnnumberedFormats) {
    const struct {
        Frame bytes;  // DSAP, SSAP, control, information
        const char* summary;
        const char* function_line;
    } cases[] = {
        {hex("040403"), "DSAP:0x04 U-format UI Command", "000* 00** : Function=Unnumbered Information(UI)"},
        {hex("040413"), "DSAP:0x04 U-format UI POOL", "000* 00** : Function=Unnumbered Information(UI)"},
        {hex("050403"), "DSAP:0x04 > SSAP:0x04 U-format UI Response", nullptr},
        {hex("0505F3"), "DSAP:0x04 > SSAP:0x04 U-format TEST Final", "111* 00** : Function=Test(TEST)"},
        {hex("04047F"), "DSAP:0x04 U-format SABME POOL",
         "011* 11** : Function=Set Asynchronous balanced mode extended(SABME)"},
        {hex("040427"), "DSAP:0x04 U-format AC Command", "001* 01** : Function=Acknowledged(AC)"},
        {hex("0404AF810102"), "DSAP:0x04 U-format XID Command: 01 02",
         "101* 11** : Function=Exchange Identification(XID)"},
        {hex("0404BF81AABB"), "DSAP:0x04 U-format XID POOL: AA BB", nullptr},
        {hex("0404AF8101"), "DSAP:0x04 U-format XID Command", nullptr},  // information cut short
    };
    for (const auto& c : cases) {
        Frame f = dot3(c.bytes);
        EXPECT_EQ(zt::summarize(f).col[5], c.summary);
        auto lines = zt::detail(f);
        if (c.function_line) {
            EXPECT_TRUE(has_line(lines, c.function_line)) << c.function_line;
        }
    }

    auto lines = zt::detail(dot3(hex("0513F3")));
    EXPECT_TRUE(has_line(lines, "DSAP : 0x04"));
    EXPECT_TRUE(has_line(lines, "I/G bit : Group"));
    EXPECT_TRUE(has_line(lines, "SSAP : 0x12"));
    EXPECT_TRUE(has_line(lines, "C/R bit : Response"));
    EXPECT_TRUE(has_line(lines, "Control : 0xF3"));
    EXPECT_TRUE(has_line(lines, "***1 **** : P/F bit(ON)"));
    EXPECT_TRUE(has_line(lines, "**** **11 : Unnumbered Format"));
}

TEST(Llc, SupervisoryAndInformationFormats) {
    // The 16-bit control field is byte 2 + byte 3 x 256.
    Frame rr = dot3(hex("0404010A"));
    EXPECT_EQ(zt::summarize(rr).col[5], "S-format RR N(R)=5 Command");
    auto lines = zt::detail(rr);
    EXPECT_TRUE(has_line(lines, "Control : 0x0A01"));
    EXPECT_TRUE(has_line(lines, "0000 101* **** **** : Sender Receive Sequence Number=5"));
    EXPECT_TRUE(has_line(lines, "**** ***0 **** **** : P/F bit(OFF)"));
    EXPECT_TRUE(has_line(lines, "**** **** **** 00** : Function=Receive Ready(RR)"));
    EXPECT_TRUE(has_line(lines, "**** **** **** **01 : Supervisory Format"));

    EXPECT_EQ(zt::summarize(dot3(hex("0404050B"))).col[5], "S-format RNR N(R)=5 POOL");
    EXPECT_EQ(zt::summarize(dot3(hex("05040900"))).col[5], "S-format REJ N(R)=0 Response");
    EXPECT_EQ(zt::summarize(dot3(hex("05040D01"))).col[5], "S-format 3 N(R)=0 Final");

    Frame i = dot3(hex("04040A0C"));
    EXPECT_EQ(zt::summarize(i).col[5], "I-format N(R)=6 N(S)=5 Command");
    lines = zt::detail(i);
    EXPECT_TRUE(has_line(lines, "Control : 0x0C0A"));
    EXPECT_TRUE(has_line(lines, "**** **** 0000 101* : Sender Send Sequence Number=5"));
    EXPECT_TRUE(has_line(lines, "**** **** **** ***0 : Information Trasfer Format"));

    DetailTree t;
    zt::display(t, i);
    int32_t l = find_line(t, "Logical Link Control");
    EXPECT_EQ(t.line(l).offset, 14u);
    EXPECT_EQ(t.line(l).length, 4u);
    EXPECT_EQ(t.line(l).protocol, P_LLC);
}

TEST(Llc, SapDispatch) {
    const Frame payload(24, 0);
    const struct {
        uint8_t dsap, ssap;
        Frame control;
        bool dispatched;
    } cases[] = {
        {0xAA, 0xAA, {0x03}, true},         // SNAP
        {0xAA, 0xAB, {0x03}, false},        // a response is not SNAP
        {0xAA, 0xAA, {0x13}, false},        // SNAP wants UI without P/F
        {0x42, 0x42, {0x03}, true},         // spanning tree
        {0x06, 0x06, {0x03}, true},         // IPv4
        {0xE0, 0xE0, {0x03}, true},         // IPX
        {0xF0, 0xF0, {0x03}, true},         // NetBIOS, UI
        {0xF0, 0xF0, {0x00, 0x00}, true},   // NetBIOS, I-format
        {0xF0, 0xF0, {0x01, 0x00}, false},  // S-format
        {0xF0, 0xF0, {0xE3}, false},        // TEST
        {0x04, 0x04, {0x03}, false},
    };
    for (const auto& c : cases) {
        auto lines = zt::detail(dot3(llc(c.dsap, c.ssap, c.control, payload)));
        EXPECT_TRUE(has_top_line(lines, "Logical Link Control"));
        EXPECT_EQ(has_top_line(lines, "Data : 24 bytes"), !c.dispatched)
            << std::hex << int(c.dsap) << " " << int(c.ssap) << " " << int(c.control[0]);
    }
    EXPECT_FALSE(has_top_line(zt::detail(dot3(llc(0xAA, 0xAB, {0x03}, payload))), "Sub-Network Access Protocol"));
}

// ---- SNAP ----

TEST(Snap, TypeLinesAndDispatch) {
    const struct {
        uint32_t oui;
        unsigned type;
        const char* oui_line;
        const char* type_line;
        bool dispatched;
    } cases[] = {
        {0x000000, 0x0800, "Organizationally Unique Identifier(OUI) : Ethernet(0x000000)", "Type : 0x0800", true},
        {0x080007, 0x809B, "Organizationally Unique Identifier(OUI) : AppleTalk(0x080007)",
         "Type : AppleTalk(0x809B)", true},
        {0x00000C, 0x2000, "Organizationally Unique Identifier(OUI) : Unknown(0x00000C)", "Type : 0x2000", false},
        {0x000000, 0x0806, nullptr, "Type : 0x0806", false},
    };
    for (const auto& c : cases) {
        Frame payload = c.type == 0x0800 ? GRE_DATAGRAM : Frame(24, 0);
        auto lines = zt::detail(dot3(llc(0xAA, 0xAA, {0x03}, snap(c.oui, c.type, payload))));
        EXPECT_TRUE(has_top_line(lines, "Sub-Network Access Protocol"));
        if (c.oui_line) {
            EXPECT_TRUE(has_line(lines, c.oui_line)) << c.oui_line;
        }
        EXPECT_TRUE(has_line(lines, c.type_line)) << c.type_line;
        EXPECT_EQ(has_top_line(lines, "Data : 24 bytes"), !c.dispatched) << c.type_line;
    }
}

TEST(Snap, IpBehindSnapIsTheNetworkLayer) {
    // SNAP sets the network type, so IPv4 writes the addresses; SNAP records no layer.
    Frame f = dot3(llc(0xAA, 0xAA, {0x03}, snap(0, 0x0800, GRE_DATAGRAM)));
    zt::Summary s = zt::summarize(f);
    EXPECT_EQ(s.col[2], "10.0.0.1");
    EXPECT_EQ(s.col[3], "10.0.0.2");
    EXPECT_EQ(s.col[4], "IP");
    EXPECT_EQ(s.col[5], "IP data 4 octets");
    EXPECT_EQ(layer_list(f), (std::vector<Layer>{{P_IEEE8023, 16}, {P_LLC, 30}, {P_IP, 38}}));
    EXPECT_TRUE(has_top_line(zt::detail(f), "Data : 4 bytes"));
}

// ---- FDDI ----

TEST(Fddi, ControlTexts) {
    const struct {
        uint8_t c;
        const char* text;
    } cases[] = {
        {0x00, "Void frame"}, {0xC0, "Restricted token"}, {0x4F, "SMT Next station addressing"},
        {0x42, "SMT frame Control=2"}, {0x58, "Asynchronous LLC frame Control=8"},
        {0x54, "Asynchronous LLC frame Priority=4"}, {0xD0, "Synchronous LLC frame"},
        {0xD3, "Synchronous LLC frame Control=3"}, {0x81, "Unknown frame type"},
    };
    for (const auto& c : cases) EXPECT_STREQ(fddi_control_text(c.c), c.text) << int(c.c);
}

TEST(Fddi, HeaderLinesAndPayload) {
    Frame smt = fddi(0x41, Frame(20, 0));
    zt::Summary s = zt::summarize(smt, 10);
    EXPECT_EQ(s.col[2], SRC_TEXT);
    EXPECT_EQ(s.col[3], DST_TEXT);
    EXPECT_EQ(s.col[4], "FDDI");
    EXPECT_EQ(s.col[5], "SMT Information 33 data octets");
    auto lines = zt::detail(smt, 10);
    EXPECT_TRUE(has_top_line(lines, "Fiber Distributed Data Interface"));
    EXPECT_TRUE(has_line(lines, "Frame Control : 0x41(SMT Information)"));
    EXPECT_TRUE(has_line(lines, "0100 **** : SMT frame(0x04)"));
    EXPECT_TRUE(has_line(lines, "**** 0001 : Subtype=Information(1)"));
    EXPECT_TRUE(has_line(lines, std::string("Destination : ") + DST_TEXT));
    EXPECT_TRUE(has_line(lines, std::string("Source : ") + SRC_TEXT));
    EXPECT_TRUE(has_top_line(lines, "Data 20 bytes"));

    lines = zt::detail(fddi(0xC2, Frame(8, 0)), 10);
    EXPECT_TRUE(has_line(lines, "1100 **** : MAC frame(0x0C)"));
    EXPECT_TRUE(has_line(lines, "**** 0010 : Subtype=Beacon(2)"));
    lines = zt::detail(fddi(0x53, llc(0x04, 0x04, {0x03}, Frame(8, 0))), 10);
    EXPECT_TRUE(has_line(lines, "0101 **** : Asynchronous LLC frame(0x05)"));
    EXPECT_TRUE(has_line(lines, "**** 0011 : Priority=3"));
    EXPECT_TRUE(has_top_line(lines, "Logical Link Control"));
    // Synchronous LLC is not handed to LLC.
    lines = zt::detail(fddi(0xD0, llc(0x04, 0x04, {0x03}, Frame(8, 0))), 10);
    EXPECT_FALSE(has_top_line(lines, "Logical Link Control"));
    EXPECT_TRUE(has_top_line(lines, "Data 11 bytes"));

    DetailTree t;
    zt::display(t, smt, 10);
    int32_t f = find_line(t, "Fiber Distributed Data Interface");
    EXPECT_EQ(t.line(f).length, 13u);
    EXPECT_EQ(t.line(f).protocol, P_FDDI);
    int32_t src = find_line(t, std::string("Source : ") + SRC_TEXT);
    EXPECT_EQ(t.line(src).offset, 7u);
}

TEST(Fddi, TokenOfThirteenBytesHasNoPayloadLine) {
    Frame token = fddi(0x80);
    ASSERT_EQ(token.size(), 13u);
    auto lines = zt::detail(token, 10);
    EXPECT_TRUE(has_line(lines, "Frame Control : 0x80(Non-restricted token)"));
    EXPECT_TRUE(has_line(lines, "1000 **** : Non-restricted Token(0x08)"));
    for (const auto& l : lines) EXPECT_NE(l.rfind("  Data", 0), 0u) << l;
    EXPECT_EQ(zt::summarize(token, 10).col[5], "Non-restricted token 13 data octets");
    for (const auto& l : zt::detail(fddi(0xC0), 10)) EXPECT_EQ(l.find("Subtype"), std::string::npos) << l;
}

TEST(Fddi, SnapIpLayers) {
    Frame f = fddi(0x50, llc(0xAA, 0xAA, {0x03}, snap(0, 0x0800, GRE_DATAGRAM)));
    EXPECT_EQ(layer_list(f, 10), (std::vector<Layer>{{P_FDDI, 16}, {P_LLC, 29}, {P_IP, 37}}));
    EXPECT_EQ(zt::summarize(f, 10).col[2], "10.0.0.1");
}

// ---- null/loopback ----

TEST(Null, FamiliesInBothByteOrders) {
    const struct {
        Frame header;
        const char* line;
    } cases[] = {
        {hex("02000000"), "Family : IP(0x00000002)"},
        {hex("00000002"), "Family : IP(0x00000002)"},
        {hex("17000000"), "Family : IPv6(0x00000017)"},
        {hex("00000017"), "Family : IPv6(0x00000017)"},
        {hex("1E000000"), "Family : Unknown(0x0000001E)"},
        {hex("00080000"), "Type : IP(0x0800)"},
    };
    for (const auto& c : cases) {
        Frame f = cat({c.header, Frame(10, 0)});
        auto lines = zt::detail(f, 0);
        EXPECT_TRUE(has_top_line(lines, "NULL/LOOPBACK"));
        EXPECT_TRUE(has_line(lines, c.line)) << c.line;
    }

    zt::Summary s = zt::summarize(cat({hex("07000000"), Frame(10, 0)}), 0);
    EXPECT_EQ(s.col[2], "N/A");
    EXPECT_EQ(s.col[3], "N/A");
    EXPECT_EQ(s.col[4], "NULL/LOOPBACK");
    EXPECT_EQ(s.col[5], "NULL/LOOPBACK data 14 octets");
}

TEST(Null, IpFamilyAndEtherTypeReachIpv4) {
    for (const Frame& header : {hex("02000000"), hex("00000002"), hex("00080000")}) {
        Frame f = cat({header, GRE_DATAGRAM});
        zt::Summary s = zt::summarize(f, 0);
        EXPECT_EQ(s.col[2], "10.0.0.1");
        EXPECT_EQ(s.col[3], "10.0.0.2");
        EXPECT_EQ(s.col[4], "IP");
        EXPECT_EQ(layer_list(f, 0), (std::vector<Layer>{{P_NULL, 16}, {P_IP, 20}}));
    }
    // An unknown family decodes nothing further.
    auto lines = zt::detail(cat({hex("07000000"), GRE_DATAGRAM}), 0);
    EXPECT_FALSE(has_top_line(lines, "Internet Protocol : 10.0.0.1 > 10.0.0.2"));
}

TEST(Null, ShortFramesShowNothingUnlessPpp) {
    for (const Frame& f : {Frame{}, hex("02"), hex("0200"), hex("020000")}) {
        zt::Summary s = zt::summarize(f, 0);
        for (int k = 2; k <= 5; ++k) EXPECT_EQ(s.col[k], "") << k;
        auto lines = zt::detail(f, 0);
        EXPECT_EQ(lines.size(), 5u);  // the frame node and its four lines only
        EXPECT_EQ(zt::layers(f, 0).count, 0);
    }
    // FF 03 is PPP in HDLC framing, whatever follows.
    for (const Frame& f : {hex("FF03"), cat({hex("FF030021"), GRE_DATAGRAM})}) {
        EXPECT_FALSE(has_top_line(zt::detail(f, 0), "NULL/LOOPBACK"));
        EXPECT_NE(zt::summarize(f, 0).col[4], "NULL/LOOPBACK");
    }
}

// ---- layer index ----

TEST(LinkLayers, WhichLayersAreRecorded) {
    EXPECT_EQ(layer_list(ether2(0x0800, GRE_DATAGRAM)), (std::vector<Layer>{{P_ETHERNET2, 16}, {P_IP, 30}}));
    EXPECT_EQ(layer_list(ether2(0x0800, UDP_DATAGRAM)),
              (std::vector<Layer>{{P_ETHERNET2, 16}, {P_IP, 30}, {P_UDP, 50}}));
    EXPECT_EQ(layer_list(ether2(0x88CC, Frame(20, 0))), (std::vector<Layer>{{P_ETHERNET2, 16}}));
    EXPECT_EQ(layer_list(dot3(llc(0x04, 0x04, {0x03}, Frame(8, 0)))),
              (std::vector<Layer>{{P_IEEE8023, 16}, {P_LLC, 30}}));
    // IPv4 behind LLC SAP 0x06 is not the network layer of the frame: no entry.
    EXPECT_EQ(layer_list(dot3(llc(0x06, 0x06, {0x03}, GRE_DATAGRAM))),
              (std::vector<Layer>{{P_IEEE8023, 16}, {P_LLC, 30}}));
    EXPECT_EQ(layer_list(dot3(llc(0x06, 0x06, {0x03}, UDP_DATAGRAM))),
              (std::vector<Layer>{{P_IEEE8023, 16}, {P_LLC, 30}, {P_UDP, 53}}));
}

// ---- cut frames ----

namespace {

// Decodes every prefix of a frame in the three modes; the sanitizer build
// catches any read past the prefix. Returns the summaries for further checks.
std::vector<zt::Summary> every_prefix(const Frame& f, int link_type) {
    std::vector<zt::Summary> out;
    for (size_t n = 0; n <= f.size(); ++n) {
        Frame p(f.begin(), f.begin() + long(n));
        out.push_back(zt::summarize(p, link_type));
        auto lines = zt::detail(p, link_type);
        EXPECT_GE(lines.size(), 5u);
        DetailTree t;
        zt::display(t, p, link_type);
        for (int32_t h = 1; h <= t.size(); ++h) EXPECT_LE(t.line(h).offset + t.line(h).length, n);
        FrameLayerIndex ix = zt::layers(p, link_type);
        for (int i = 0; i < ix.count; ++i) EXPECT_LE(ix.entries[i].offset, int(16 + n));
    }
    return out;
}

std::string cut(const char* name, size_t n) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "%s header truncated (%zu bytes captured)", name, n);
    return buf;
}

}  // namespace

TEST(LinkTruncated, EthernetIpTcpAtEveryLength) {
    Frame f = ether2(0x0800, TCP_DATAGRAM);  // IPv4 header of 28 bytes
    auto s = every_prefix(f, 1);
    for (size_t n = 0; n < s.size(); ++n) {
        SCOPED_TRACE(n);
        if (n < 14) {
            EXPECT_EQ(s[n].col[4], "ETHERNET II");
            EXPECT_EQ(s[n].col[5], cut("ETHERNET II", n));
            EXPECT_EQ(s[n].col[3], n >= 6 ? DST_TEXT : "");
            EXPECT_EQ(s[n].col[2], n >= 12 ? SRC_TEXT : "");
        } else if (n < 14 + 28) {
            EXPECT_EQ(s[n].col[4], "IP");
            EXPECT_EQ(s[n].col[5], cut("IP", n - 14));
            // Addresses only once the fixed header is whole.
            EXPECT_EQ(s[n].col[2], n >= 34 ? "10.0.0.1" : SRC_TEXT);
        } else if (n == 14 + 28) {
            EXPECT_EQ(s[n].col[4], "IP");  // nothing after the header to hand on
            EXPECT_EQ(s[n].col[5], "IP data 20 octets");
        } else if (n < 14 + 28 + 20) {
            EXPECT_EQ(s[n].col[4], "TCP");
            EXPECT_EQ(s[n].col[5], cut("TCP", n - 42));
        }
    }
    FrameLayerIndex ix = zt::layers(Frame(f.begin(), f.begin() + 20));
    ASSERT_EQ(ix.count, 2);
    EXPECT_EQ(ix.entries[1].protocol, P_IP);
    EXPECT_EQ(ix.entries[1].offset, 30);
}

TEST(LinkTruncated, LlcSnapAtEveryLength) {
    Frame f = dot3(llc(0xAA, 0xAA, {0x03}, snap(0, 0x0800, UDP_DATAGRAM)));
    auto s = every_prefix(f, 1);
    for (size_t n = 15; n < 17; ++n) EXPECT_EQ(s[n].col[5], cut("LLC", n - 14)) << n;
    for (size_t n = 17; n < 22; ++n) EXPECT_EQ(s[n].col[5], cut("SNAP", n - 17)) << n;
    EXPECT_EQ(s[22].col[5], cut("IP", 0));
    // An I-format control needs four bytes.
    Frame i = dot3(llc(0x04, 0x04, {0x00, 0x02}, Frame(6, 0)));
    auto si = every_prefix(i, 1);
    EXPECT_EQ(si[17].col[5], cut("LLC", 3));
    EXPECT_EQ(si[18].col[5], "I-format N(R)=1 N(S)=0 Command");
    auto lines = zt::detail(Frame(i.begin(), i.begin() + 17));
    EXPECT_TRUE(has_line(lines, "SSAP : 0x04"));
    EXPECT_TRUE(has_line(lines, "Header truncated : 3 of 4 bytes captured"));
}

TEST(LinkTruncated, FddiAndNullAtEveryLength) {
    Frame f = fddi(0x50, llc(0xAA, 0xAA, {0x03}, snap(0, 0x0800, UDP_DATAGRAM)));
    auto s = every_prefix(f, 10);
    for (size_t n = 0; n < 13; ++n) {
        EXPECT_EQ(s[n].col[4], "FDDI") << n;
        EXPECT_EQ(s[n].col[5], cut("FDDI", n)) << n;
        EXPECT_EQ(s[n].col[3], n >= 7 ? DST_TEXT : "") << n;
    }
    EXPECT_EQ(s[13].col[5], "Asynchronous LLC frame Priority=0 13 data octets");
    auto lines = zt::detail(Frame(f.begin(), f.begin() + 9), 10);
    EXPECT_TRUE(has_line(lines, std::string("Destination : ") + DST_TEXT));
    EXPECT_TRUE(has_line(lines, "Header truncated : 9 of 13 bytes captured"));

    Frame n = cat({hex("02000000"), UDP_DATAGRAM});
    auto sn = every_prefix(n, 0);
    for (size_t k = 0; k < 4; ++k) EXPECT_EQ(sn[k].col[4], "") << k;
    EXPECT_EQ(sn[4].col[5], cut("IP", 0));
    every_prefix(cat({hex("FF030021"), UDP_DATAGRAM}), 0);
}

// ---- fixture captures ----

TEST(LinkFixtures, FddiAndNullCaptures) {
    // Per frame: the layers these decoders record (later layers belong to others)
    // and, where the link layer has the last word, the description.
    struct Expect {
        std::vector<Layer> layers;
        const char* description;
    };
    const struct {
        const char* file;
        int link_type;
        std::vector<Expect> frames;
    } cases[] = {
        {"/samples/fddi.zlc",
         10,
         {{{{P_FDDI, 16}, {P_LLC, 29}, {P_IP, 37}}, nullptr},
          {{{P_FDDI, 16}, {P_LLC, 29}}, "DSAP:0xAA U-format UI Command"},
          {{{P_FDDI, 16}}, "SMT Information 33 data octets"},
          {{{P_FDDI, 16}}, "MAC Beacon 21 data octets"},
          {{{P_FDDI, 16}}, "Non-restricted token 13 data octets"},
          {{{P_FDDI, 16}, {P_LLC, 29}}, nullptr},
          {{{P_FDDI, 16}, {P_LLC, 29}, {P_IP, 37}}, nullptr}}},
        {"/samples/null.zlc",
         0,
         {{{{P_NULL, 16}, {P_IP, 20}}, nullptr},
          {{{P_NULL, 16}, {P_IP, 20}}, nullptr},
          {{{P_NULL, 16}}, nullptr},
          {{{P_NULL, 16}}, nullptr},
          {{}, nullptr},  // PPP in HDLC framing: the PPP decoder's
          {{{P_NULL, 16}}, "NULL/LOOPBACK data 14 octets"},
          {{{P_NULL, 16}, {P_IP, 20}}, nullptr},
          {{}, ""}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        FrameStore store;
        int32_t link_type = -1;
        ASSERT_EQ(LoadCaptureFile(std::string(ZELPAN_SOURCE_DIR) + c.file, store, link_type), "");
        EXPECT_EQ(link_type, c.link_type);
        ASSERT_EQ(store.frame_count(), c.frames.size());
        const uint8_t* r = store.first();
        for (uint32_t i = 0; r && i < store.frame_count(); ++i, r = store.next(r, i)) {
            SCOPED_TRACE(i + 1);
            const Expect& e = c.frames[i];
            Frame bytes(record_bytes(r), record_bytes(r) + record_length(r));
            std::vector<Layer> got = layer_list(bytes, link_type);
            if (got.size() > e.layers.size()) got.resize(e.layers.size());
            EXPECT_EQ(got, e.layers);
            if (e.description) {
                EXPECT_EQ(zt::summarize(bytes, link_type).col[5], e.description);
            }
        }
    }
}
