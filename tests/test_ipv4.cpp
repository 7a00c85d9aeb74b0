// IPv4: header lines, checksum, fragments, options, malformed and cut headers,
// the IP protocol dispatch, AH and ESP.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "tests/support.h"

using namespace zelpan;
using zt::cat;
using zt::Frame;
using zt::has_line;
using zt::hex;

namespace {

const Frame DST = hex("00a0241b7c05");
const Frame SRC = hex("080020010203");

// Made with scapy: Ethernet II, IPv4 192.168.1.10 > 10.20.30.40, DS 0x52, DF,
// TTL 128, protocol 47, Record Route (one route) + End of Options, 8 data bytes.
const Frame REFERENCE = hex(
    "00a0241b7c05080020010203080047520024beef4000802f3e70c0a8010a0a141e2807070401020304000001020304050607");
// scapy: the TCP header of 1025 > 8080 PSH ACK seq 1000 ack 2000 window 8760,
// checksummed for 192.168.1.10 > 10.20.30.40.
const Frame TCP_HEADER = hex("04011f90000003e8000007d050182238745d0000");

Frame ether2(const Frame& payload, unsigned type = 0x0800) {
    return cat({DST, SRC, {uint8_t(type >> 8), uint8_t(type)}, payload});
}

uint16_t ones_sum(const Frame& b) {
    uint32_t s = 0;
    for (size_t i = 0; i + 1 < b.size(); i += 2) s += uint32_t(b[i]) << 8 | b[i + 1];
    while (s >> 16) s = (s & 0xFFFF) + (s >> 16);
    return uint16_t(~s);
}

struct Ip {
    uint8_t tos = 0;
    uint16_t id = 0x1234;
    uint16_t fragment = 0;  // flags and offset word
    uint8_t protocol = 47;
    Frame options;
    int ihl_words = -1;  // -1: from the options
    int total = -1;      // -1: header + payload
};

// An IPv4 datagram with a correct header checksum.
Frame ipv4(const Ip& h, const Frame& payload) {
    int ihl = h.ihl_words >= 0 ? h.ihl_words : int(5 + h.options.size() / 4);
    Frame hdr = {uint8_t(0x40 | ihl), h.tos, 0, 0, uint8_t(h.id >> 8), uint8_t(h.id),
                 uint8_t(h.fragment >> 8), uint8_t(h.fragment), 64, h.protocol, 0, 0,
                 192, 168, 1, 10, 10, 20, 30, 40};
    hdr = cat({hdr, h.options});
    int total = h.total >= 0 ? h.total : int(hdr.size() + payload.size());
    hdr[2] = uint8_t(total >> 8);
    hdr[3] = uint8_t(total);
    int covered = ihl * 4 < int(hdr.size()) ? ihl * 4 : int(hdr.size());
    uint16_t c = ones_sum(Frame(hdr.begin(), hdr.begin() + covered));
    hdr[10] = uint8_t(c >> 8);
    hdr[11] = uint8_t(c);
    return cat({hdr, payload});
}

bool has_top_line(const std::vector<std::string>& lines, const std::string& text) {
    for (const auto& l : lines)
        if (l == "  " + text) return true;
    return false;
}

bool has_text(const std::vector<std::string>& lines, const std::string& part) {
    for (const auto& l : lines)
        if (l.find(part) != std::string::npos) return true;
    return false;
}

bool has_line_starting(const std::vector<std::string>& lines, const std::string& prefix) {
    for (const auto& l : lines) {
        size_t i = l.find_first_not_of(' ');
        if (i != std::string::npos && l.compare(i, prefix.size(), prefix) == 0) return true;
    }
    return false;
}

int32_t find_line(const DetailTree& t, const std::string& text) {
    for (int32_t h = 1; h <= t.size(); ++h)
        if (t.text(h) == text) return h;
    return 0;
}

std::vector<std::pair<int, int>> layer_list(const Frame& f) {
    FrameLayerIndex ix = zt::layers(f);
    std::vector<std::pair<int, int>> out;
    for (int i = 0; i < ix.count; ++i) out.push_back({ix.entries[i].protocol, ix.entries[i].offset});
    return out;
}

std::string cut(const char* name, size_t n) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "%s header truncated (%zu bytes captured)", name, n);
    return buf;
}

}  // namespace

// ---- header lines and checksum ----

TEST(Ipv4, ReferenceDatagramLines) {
    zt::Summary s = zt::summarize(REFERENCE);
    EXPECT_EQ(s.col[2], "192.168.1.10");
    EXPECT_EQ(s.col[3], "10.20.30.40");
    EXPECT_EQ(s.col[4], "IP");
    EXPECT_EQ(s.col[5], "IP data 8 octets");

    auto lines = zt::detail(REFERENCE);
    const std::vector<std::string> expected = {
        "  Internet Protocol : 192.168.1.10 > 10.20.30.40",
        "    Version : 4",
        "    Internet Header Length : 28 bytes",
        "    Differentiated Services Field (0x52)",
        "      0101 00** : Differentiated services codepoint(Assured Forwarding 22(20))",
        "      **** **10 : Explicit Congestion Notification(ECT(0) (ECN-Capable Transport(0))(2))",
        "    Total Length : 36 bytes",
        "    Identification : 0xBEEF",
        "    Flags : 0x40",
        "      *1** **** : Don't Fragment",
        "      **0* **** : Last Fragment",
        "    Fragment Offset : 0",
        "    Time to Live : 128",
        "    Protocol : GRE(47)",
        "    Header Checksum : 0x3E70(correct)",
        "    Source : 192.168.1.10",
        "    Destination : 10.20.30.40",
        "    Options",
        "      Record Route(0x0707)",
        "        Pointer : 4",
        "        Route : 1.2.3.4",
        "  Data : 8 bytes",
    };
    auto at = std::find(lines.begin(), lines.end(), expected[0]);
    ASSERT_NE(at, lines.end());
    EXPECT_EQ(std::vector<std::string>(at, lines.end()), expected);

    DetailTree t;
    zt::display(t, REFERENCE);
    const struct {
        const char* text;
        uint32_t offset, length;
    } ranges[] = {
        {"Internet Protocol : 192.168.1.10 > 10.20.30.40", 14, 28},
        {"Header Checksum : 0x3E70(correct)", 24, 2},
        {"Fragment Offset : 0", 20, 2},
        {"Source : 192.168.1.10", 26, 4},
        {"Options", 34, 8},
        {"Record Route(0x0707)", 34, 7},
        {"Route : 1.2.3.4", 37, 4},
        {"Data : 8 bytes", 42, 8},
    };
    for (const auto& r : ranges) {
        int32_t h = find_line(t, r.text);
        ASSERT_NE(h, 0) << r.text;
        EXPECT_EQ(t.line(h).offset, r.offset) << r.text;
        EXPECT_EQ(t.line(h).length, r.length) << r.text;
    }
    EXPECT_EQ(t.line(find_line(t, "Internet Protocol : 192.168.1.10 > 10.20.30.40")).protocol, P_IP);
}

TEST(Ipv4, ChangedAddressGivesIncorrectChecksum) {
    Frame f = REFERENCE;
    f[29] = 0x0B;  // last byte of the source address
    auto lines = zt::detail(f);
    EXPECT_TRUE(has_line(lines, "Header Checksum : 0x3E70(incorrect,0x3E6F)"));
    EXPECT_EQ(zt::summarize(f).col[2], "192.168.1.11");
}

TEST(Ipv4, ChecksumSkip) {
    // RFC 1071's worked example.
    Frame b = hex("0001f203f4f5f6f7");
    Bytes v(b.data(), int(b.size()));
    EXPECT_EQ(checksum_skip(v, 8, 100, 0), 0x220D);
    EXPECT_EQ(checksum_skip(v, 8, 2, 2), 0x1411);  // without the word at offset 2
    // An odd last byte is a high byte; nothing past n or the view is read.
    Frame odd = hex("010203");
    Bytes o(odd.data(), 3);
    EXPECT_EQ(checksum_skip(o, 3, 100, 0), 0xFBFD);
    EXPECT_EQ(checksum_skip(o, 10, 100, 0), 0xFBFD);
    EXPECT_EQ(checksum_skip(o, 2, 100, 0), 0xFEFD);
}

TEST(Ipv4, DifferentiatedServicesNames) {
    const struct {
        uint8_t tos;
        const char* field;
        const char* dscp;
        const char* ecn;
    } cases[] = {
        {0x21, "Differentiated Services Field (0x21)",
         "0010 00** : Differentiated services codepoint(Class Selector 1(8))",
         "**** **01 : Explicit Congestion Notification(ECT(1) (ECN-Capable Transport(1))(1))"},
        {0xBB, "Differentiated Services Field (0xbb)",
         "1011 10** : Differentiated services codepoint(Expedited Forwarding(46))",
         "**** **11 : Explicit Congestion Notification(CE (Congestion Experienced)(3))"},
        {0x04, nullptr, "0000 01** : Differentiated services codepoint(Unknown(1))", nullptr},
    };
    for (const auto& c : cases) {
        Ip h;
        h.tos = c.tos;
        auto lines = zt::detail(ether2(ipv4(h, Frame(4, 0))));
        if (c.field) {
            EXPECT_TRUE(has_line(lines, c.field)) << c.field;
        }
        EXPECT_TRUE(has_line(lines, c.dscp)) << c.dscp;
        if (c.ecn) {
            EXPECT_TRUE(has_line(lines, c.ecn)) << c.ecn;
        }
    }
}

// ---- payload, padding, fragments ----

TEST(Ipv4, ProtocolDispatch) {
    const Frame payload(24, 0);
    const struct {
        uint8_t protocol;
        const char* line;
        bool dispatched;
    } cases[] = {
        {1, "Protocol : ICMP(1)", true},     {2, "Protocol : IGMP(2)", true},
        {6, "Protocol : TCP(6)", true},      {17, "Protocol : UDP(17)", true},
        {41, "Protocol : IPv6(41)", true},   {46, "Protocol : RSVP(46)", true},
        {50, "Protocol : ESP(50)", true},    {51, "Protocol : AH(51)", true},
        {58, "Protocol : ICMPv6(58)", true}, {88, "Protocol : EIGRP(88)", true},
        {89, "Protocol : OSPF(89)", true},   {47, "Protocol : GRE(47)", false},
        {4, "Protocol : IPIP(4)", false},    {132, "Protocol : SCTP(132)", false},
        {255, "Protocol : 0xFF(255)", false},
    };
    for (const auto& c : cases) {
        Ip h;
        h.protocol = c.protocol;
        auto lines = zt::detail(ether2(ipv4(h, payload)));
        EXPECT_TRUE(has_line(lines, c.line)) << c.line;
        EXPECT_EQ(has_top_line(lines, "Data : 24 bytes"), !c.dispatched) << c.line;
    }
    EXPECT_STREQ(ip_protocol_name(5), "0x05");
    // No decoder, no summary text of its own: the IP description stays.
    Ip gre;
    EXPECT_EQ(zt::summarize(ether2(ipv4(gre, payload))).col[5], "IP data 24 octets");
}

TEST(Ipv4, EthernetPaddingIsNotPassedOn) {
    Ip h;
    h.protocol = 6;
    Frame f = ether2(ipv4(h, TCP_HEADER));
    f.resize(60, 0);  // minimum Ethernet frame
    auto lines = zt::detail(f);
    // Six padding bytes given to TCP would change its checksum and show as data.
    EXPECT_TRUE(has_line(lines, "Checksum : 0x745D(correct)"));
    EXPECT_FALSE(has_top_line(lines, "Data : 6 bytes"));
    EXPECT_EQ(zt::summarize(f).col[4], "TCP");
}

TEST(Ipv4, TotalLengthAgainstCapturedBytes) {
    // Announced beyond the capture: the captured part is handed on.
    Ip h;
    h.total = 100;
    auto lines = zt::detail(ether2(ipv4(h, Frame(12, 0))));
    EXPECT_TRUE(has_line(lines, "Total Length : 100 bytes"));
    EXPECT_TRUE(has_line(lines, "Datagram truncated : 32 of 100 bytes captured"));
    EXPECT_TRUE(has_top_line(lines, "Data : 12 bytes"));
    EXPECT_EQ(zt::summarize(ether2(ipv4(h, Frame(12, 0)))).col[5], "IP data 80 octets");

    // Smaller than the header: nothing to hand on, a negative count.
    Ip small;
    small.total = 4;
    Frame f = ether2(ipv4(small, Frame(12, 0)));
    EXPECT_EQ(zt::summarize(f).col[5], "IP data -16 octets");
    lines = zt::detail(f);
    EXPECT_FALSE(has_line_starting(lines, "Data :"));
    EXPECT_FALSE(has_line_starting(lines, "Datagram truncated"));
}

TEST(Ipv4, Fragments) {
    Frame udp = hex("13881389000c0000 61626364");
    // A first fragment is decoded like a whole datagram.
    Ip first;
    first.protocol = 17;
    first.fragment = 0x2000;
    Frame f = ether2(ipv4(first, udp));
    EXPECT_EQ(zt::summarize(f).col[4], "UDP");
    auto lines = zt::detail(f);
    EXPECT_TRUE(has_line(lines, "**1* **** : More Fragments"));
    EXPECT_TRUE(has_line(lines, "Fragment Offset : 0"));
    EXPECT_TRUE(has_line_starting(lines, "User Datagram Protocol"));

    Ip later;
    later.protocol = 6;
    later.fragment = 1480 / 8;
    f = ether2(ipv4(later, TCP_HEADER));
    zt::Summary s = zt::summarize(f);
    EXPECT_EQ(s.col[4], "IP");
    EXPECT_EQ(s.col[5], "Fragmented datagram protocol=TCP(6) offset=1480");
    lines = zt::detail(f);
    EXPECT_TRUE(has_line(lines, "Fragment Offset : 1480"));
    EXPECT_TRUE(has_line(lines, "**0* **** : Last Fragment"));
    EXPECT_TRUE(has_top_line(lines, "Fragmented datagram : 20 bytes"));
    EXPECT_FALSE(has_line_starting(lines, "Transmission Control Protocol"));
    EXPECT_EQ(layer_list(f), (std::vector<std::pair<int, int>>{{P_ETHERNET2, 16}, {P_IP, 30}}));

    Ip odd;
    odd.protocol = 0x99;
    odd.fragment = 0x2001;  // More Fragments, offset 8
    EXPECT_EQ(zt::summarize(ether2(ipv4(odd, Frame(8, 0)))).col[5],
              "Fragmented datagram protocol=0x99(153) offset=8");
}

TEST(Ipv4, LlcSapSixIsNotTheNetworkLayer) {
    // Behind LLC SAP 0x06 no network type is set: the link layer keeps columns 2-4.
    Ip h;
    Frame dgram = ipv4(h, Frame(4, 0));
    Frame llc = cat({{0x06, 0x06, 0x03}, dgram});
    Frame f = cat({DST, SRC, {0x00, uint8_t(llc.size())}, llc});
    zt::Summary s = zt::summarize(f);
    EXPECT_EQ(s.col[2], "08:00:20:01:02:03");
    EXPECT_EQ(s.col[3], "00:A0:24:1B:7C:05");
    EXPECT_EQ(s.col[4], "LLC");
    EXPECT_EQ(s.col[5], "IP data 4 octets");
    auto lines = zt::detail(f);
    EXPECT_TRUE(has_top_line(lines, "Internet Protocol : 192.168.1.10 > 10.20.30.40"));
    EXPECT_TRUE(has_top_line(lines, "Data : 4 bytes"));
}

// ---- malformed and cut headers ----

TEST(Ipv4, HeaderLengthBelowTwentyIsMalformed) {
    for (int words : {0, 4}) {
        Ip h;
        h.ihl_words = words;
        h.options = hex("07070401020304 00");  // present, but not part of a valid header
        Frame f = ether2(ipv4(h, Frame(8, 0)));
        zt::Summary s = zt::summarize(f);
        EXPECT_EQ(s.col[2], "192.168.1.10");
        EXPECT_EQ(s.col[4], "IP");
        EXPECT_EQ(s.col[5], "IP invalid header length " + std::to_string(words * 4) + " bytes");
        auto lines = zt::detail(f);
        EXPECT_TRUE(has_line(lines, "Internet Header Length : " + std::to_string(words * 4) +
                                        " bytes (invalid, less than 20)"));
        EXPECT_TRUE(has_line_starting(lines, "Header Checksum : 0x"));
        EXPECT_TRUE(has_text(lines, "(not verified, invalid header length)"));
        EXPECT_TRUE(has_line(lines, "Destination : 10.20.30.40"));
        EXPECT_FALSE(has_line(lines, "Options"));
        EXPECT_FALSE(has_line_starting(lines, "Data :"));
        DetailTree t;
        zt::display(t, f);
        EXPECT_EQ(t.line(find_line(t, "Internet Protocol : 192.168.1.10 > 10.20.30.40")).length, 20u);
    }
}

TEST(Ipv4, HeaderCutInsideTheOptions) {
    Ip h;
    h.options = Frame(40, 0x01);  // IHL 60, all No Operation
    Frame whole = ether2(ipv4(h, Frame(8, 0)));
    Frame f(whole.begin(), whole.begin() + 14 + 30);
    zt::Summary s = zt::summarize(f);
    EXPECT_EQ(s.col[2], "192.168.1.10");
    EXPECT_EQ(s.col[5], cut("IP", 30));
    auto lines = zt::detail(f);
    char checksum[80];
    std::snprintf(checksum, sizeof checksum, "Header Checksum : 0x%02X%02X(not verified, header truncated)",
                  whole[24], whole[25]);
    EXPECT_TRUE(has_line(lines, checksum));
    EXPECT_TRUE(has_line(lines, "No Operation(0x01)"));
    EXPECT_TRUE(has_line(lines, "Options truncated : 10 of 40 bytes captured"));

    // The capture ends inside an option.
    h.options = cat({hex("0727 04"), Frame(37, 0)});
    whole = ether2(ipv4(h, {}));
    lines = zt::detail(Frame(whole.begin(), whole.begin() + 14 + 30));
    EXPECT_TRUE(has_line(lines, "Options truncated : 10 of 40 bytes captured"));
    EXPECT_FALSE(has_line(lines, "Record Route(0x0727)"));
}

// ---- options ----

TEST(Ipv4Options, NamedOptions) {
    const struct {
        const char* bytes;  // the option area, a multiple of 4 bytes
        std::vector<std::string> lines;
    } cases[] = {
        {"07070401020304 00", {"Record Route(0x0707)", "Pointer : 4", "Route : 1.2.3.4"}},
        {"0708040102030405", {"Record Route(0x0708)", "Route : 1.2.3.4", "invalid suboption length 1"}},
        {"830b040a0000010a000002 01",
         {"Loose Source Route(0x830b)", "Route : 10.0.0.1", "Route : 10.0.0.2", "No Operation(0x01)"}},
        {"440c05100000000100000002",
         {"Internet Timestamp(0x440c)", "Pointer : 5", "Overflow : 1", "Flag : Time stamps only(0x00)",
          "Timestamp = 1", "Timestamp = 2"}},
        {"440c0d010a00000100000064",
         {"Flag : Each timestamp is preceded with internet address(0x01)",
          "Internet address = 10.0.0.1 Timestamp = 100"}},
        {"440c05030a00000100000000",
         {"Flag : The internet address fields are prespecified(0x03)", "Internet address = 10.0.0.1 Timestamp = 0"}},
        {"440805010a000001", {"Internet Timestamp(0x4408)", "invalid suboption length 4"}},
        {"440a0500000000010000 0000", {"Timestamp = 1", "invalid suboption length 2"}},
        {"44040502", {"Flag : Unknown(0x02)"}},
        {"820bd7880005010261626300",
         {"Security(0x820b)", "Security : Secret(0xD788)", "Compartments : 5", "Handling Restrictions : 0x0102",
          "Transmission Control Code : 0x616263"}},
        {"820b12340000000000000000", {"Security : Unknown(0x1234)"}},
        {"88041234", {"Stream Identifier(0x8804) : 4660"}},
        {"94040000", {"Router Alert(0x9404) : Router shall examine packet(0)"}},
        {"9904abcd", {"option : 153 length=4"}},
    };
    for (const auto& c : cases) {
        Ip h;
        h.options = hex(c.bytes);
        ASSERT_EQ(h.options.size() % 4, 0u) << c.bytes;
        auto lines = zt::detail(ether2(ipv4(h, Frame(4, 0))));
        EXPECT_TRUE(has_line(lines, "Options")) << c.bytes;
        for (const auto& l : c.lines) EXPECT_TRUE(has_line(lines, l)) << c.bytes << ": " << l;
        EXPECT_TRUE(has_top_line(lines, "Data : 4 bytes")) << c.bytes;
    }
}

TEST(Ipv4Options, LengthsThatCannotBeWalked) {
    const struct {
        const char* bytes;
        const char* line;
    } cases[] = {
        // Length 0 or 1 would not advance the walk: the rest is shown as one line.
        {"07000000", "Record Route : invalid length 0, 4 bytes not decoded"},
        {"01990100", "option 153 : invalid length 1, 3 bytes not decoded"},
        {"07270400", "Record Route : length 39 runs past the header (4 bytes left)"},
        {"01010107", "Record Route : no length byte at the end of the header"},
        // Fixed fields that do not fit in the option's own length.
        {"82040000", "Security(0x8204) : invalid length"},
        {"88020000", "Stream Identifier(0x8802) : invalid length"},
        {"94030000", "Router Alert(0x9403) : invalid length"},
    };
    for (const auto& c : cases) {
        Ip h;
        h.options = hex(c.bytes);
        auto lines = zt::detail(ether2(ipv4(h, Frame(4, 0))));
        EXPECT_TRUE(has_line(lines, c.line)) << c.line;
        EXPECT_FALSE(has_line_starting(lines, "Security : ")) << c.line;
        EXPECT_TRUE(has_top_line(lines, "Data : 4 bytes")) << c.line;
    }
}

// ---- AH and ESP ----

namespace {
// AH: next header, length byte 4 (24 bytes), SPI 0x1234, sequence 5, 12 ICV bytes.
Frame ah(uint8_t next, uint8_t length_byte = 4) {
    Frame a = {next, length_byte, 0, 0, 0, 0, 0x12, 0x34, 0, 0, 0, 5};
    a.resize(size_t(length_byte) * 4 + 8 < 12 ? 12 : size_t(length_byte) * 4 + 8, 0xCC);
    return a;
}
}  // namespace

TEST(IpSec, AuthenticationHeaderThenTcp) {
    Ip h;
    h.protocol = 51;
    Frame f = ether2(ipv4(h, cat({ah(6), TCP_HEADER})));
    zt::Summary s = zt::summarize(f);
    EXPECT_EQ(s.col[4], "TCP");
    EXPECT_EQ(layer_list(f),
              (std::vector<std::pair<int, int>>{{P_ETHERNET2, 16}, {P_IP, 30}, {P_AH, 50}, {P_TCP, 74}}));
    auto lines = zt::detail(f);
    const char* expected[] = {
        "Next Header : TCP(0x06)", "Length : 24", "Security Parameters Index(SPI) : 0x00001234",
        "Sequence : 0x00000005", "Integrity Check Value (ICV)",
        // AH's next header is TCP's protocol; the pseudo-header addresses come from IPv4.
        "Checksum : 0x745D(correct)",
    };
    EXPECT_TRUE(has_top_line(lines, "Authentication Header"));
    for (const char* l : expected) EXPECT_TRUE(has_line(lines, l)) << l;

    DetailTree t;
    zt::display(t, f);
    int32_t a = find_line(t, "Authentication Header");
    EXPECT_EQ(t.line(a).offset, 34u);
    EXPECT_EQ(t.line(a).length, 24u);
    EXPECT_EQ(t.line(a).protocol, P_AH);
    int32_t icv = find_line(t, "Integrity Check Value (ICV)");
    EXPECT_EQ(t.line(icv).offset, 46u);
    EXPECT_EQ(t.line(icv).length, 12u);
}

TEST(IpSec, AuthenticationHeaderVariants) {
    Ip h;
    h.protocol = 51;
    auto lines = zt::detail(ether2(ipv4(h, cat({ah(47), Frame(4, 0)}))));
    EXPECT_TRUE(has_line(lines, "Next Header : GRE(0x2F)"));
    EXPECT_TRUE(has_top_line(lines, "Data : 4 bytes"));

    // A length byte of 0 leaves no room for the sequence number.
    Frame bad = ether2(ipv4(h, cat({ah(6, 0), TCP_HEADER})));
    zt::Summary s = zt::summarize(bad);
    EXPECT_EQ(s.col[4], "AH");
    EXPECT_EQ(s.col[5], "AH invalid length 8 bytes");
    lines = zt::detail(bad);
    EXPECT_TRUE(has_line(lines, "Length : 8 (invalid, less than 12)"));
    EXPECT_FALSE(has_line_starting(lines, "Transmission Control Protocol"));
    EXPECT_EQ(layer_list(bad), (std::vector<std::pair<int, int>>{{P_ETHERNET2, 16}, {P_IP, 30}, {P_AH, 50}}));

    // With stop set (the IPv6 walk) AH only returns its length.
    DecodeContext c;
    c.mode = MODE_DISPLAY;
    make_current(&c);
    Frame a = cat({ah(6), TCP_HEADER});
    EXPECT_EQ(decode_ah(0, Bytes(a.data(), int(a.size())), 1), 24);
    EXPECT_STREQ(c.columns[4], "AH");
    EXPECT_EQ(c.transport_protocol, 6);
    make_current(nullptr);
}

TEST(IpSec, EncapsulatingSecurityPayload) {
    Ip h;
    h.protocol = 50;
    Frame f = ether2(ipv4(h, cat({hex("0000abcd0000000a"), Frame(16, 0x55)})));
    zt::Summary s = zt::summarize(f);
    EXPECT_EQ(s.col[4], "ESP");
    EXPECT_EQ(s.col[5], "Security Parameters Index(SPI) : 0x0000ABCD");
    EXPECT_EQ(layer_list(f), (std::vector<std::pair<int, int>>{{P_ETHERNET2, 16}, {P_IP, 30}, {P_ESP, 50}}));
    auto lines = zt::detail(f);
    EXPECT_TRUE(has_top_line(lines, "Encapsulating Security Payload"));
    EXPECT_TRUE(has_line(lines, "Security Parameters Index(SPI) : 0x0000ABCD"));
    EXPECT_TRUE(has_line(lines, "Sequence Number : 0x0000000a"));
    EXPECT_TRUE(std::find(lines.begin(), lines.end(), "    Data : 16 bytes") != lines.end());

    lines = zt::detail(ether2(ipv4(h, hex("0000abcd0000000a"))));
    EXPECT_FALSE(has_line_starting(lines, "Data :"));
    lines = zt::detail(ether2(ipv4(h, hex("0000abcd0000000aff"))));
    EXPECT_TRUE(has_line(lines, "Data : 1 bytes"));
}

// ---- every length ----

namespace {
std::vector<zt::Summary> every_prefix(const Frame& f) {
    std::vector<zt::Summary> out;
    for (size_t n = 0; n <= f.size(); ++n) {
        Frame p(f.begin(), f.begin() + long(n));
        out.push_back(zt::summarize(p));
        EXPECT_GE(zt::detail(p).size(), 5u);
        DetailTree t;
        zt::display(t, p);
        FrameLayerIndex ix = zt::layers(p);
        EXPECT_GE(ix.count, 1);
    }
    return out;
}
}  // namespace

TEST(Ipv4Truncated, OptionsAhTcpAtEveryLength) {
    Ip h;
    h.protocol = 51;
    h.options = hex("44 0c 05 01 0a000001 00000064 820bd7880005010261626300");  // 24 bytes
    Frame f = ether2(ipv4(h, cat({ah(6), TCP_HEADER})));
    const size_t ip_end = 14 + 44, ah_end = ip_end + 24;
    auto s = every_prefix(f);
    for (size_t n = 14; n < s.size(); ++n) {
        SCOPED_TRACE(n);
        if (n < ip_end) {
            EXPECT_EQ(s[n].col[4], "IP");
            EXPECT_EQ(s[n].col[5], cut("IP", n - 14));
        } else if (n == ip_end) {
            EXPECT_EQ(s[n].col[4], "IP");
            EXPECT_EQ(s[n].col[5], "IP data 44 octets");
        } else if (n < ah_end) {
            EXPECT_EQ(s[n].col[4], "AH");
            EXPECT_EQ(s[n].col[5], cut("AH", n - ip_end));
        } else if (n == ah_end) {
            EXPECT_EQ(s[n].col[4], "AH");  // nothing after it to hand on
        } else if (n < ah_end + 20) {
            EXPECT_EQ(s[n].col[4], "TCP");
            EXPECT_EQ(s[n].col[5], cut("TCP", n - ah_end));
        }
    }
    // Inside the options: the checksum is not judged and the walk says where it stopped.
    auto lines = zt::detail(Frame(f.begin(), f.begin() + 14 + 30));
    EXPECT_TRUE(has_line_starting(lines, "Header Checksum : 0x"));
    EXPECT_TRUE(has_text(lines, "(not verified, header truncated)"));
    EXPECT_FALSE(has_text(lines, "(correct)"));
    EXPECT_FALSE(has_text(lines, "(incorrect"));
    EXPECT_TRUE(has_line(lines, "Options truncated : 10 of 24 bytes captured"));
    // Inside the fixed header: only whole fields.
    lines = zt::detail(Frame(f.begin(), f.begin() + 14 + 11));
    EXPECT_TRUE(has_top_line(lines, "Internet Protocol"));
    EXPECT_TRUE(has_line(lines, "Protocol : AH(51)"));
    EXPECT_FALSE(has_line_starting(lines, "Header Checksum"));
    EXPECT_TRUE(has_line(lines, "Header truncated : 11 of 44 bytes captured"));
    lines = zt::detail(Frame(f.begin(), f.begin() + 14 + 12));
    EXPECT_TRUE(has_line_starting(lines, "Header Checksum : 0x"));
    EXPECT_TRUE(has_text(lines, "(not verified, header truncated)"));
}

TEST(Ipv4Truncated, EspAtEveryLength) {
    Ip h;
    h.protocol = 50;
    Frame f = ether2(ipv4(h, cat({hex("0000abcd0000000a"), Frame(4, 0x55)})));
    auto s = every_prefix(f);
    for (size_t n = 35; n < 38; ++n) EXPECT_EQ(s[n].col[5], cut("ESP", n - 34)) << n;
    for (size_t n = 38; n < s.size(); ++n) EXPECT_EQ(s[n].col[5], "Security Parameters Index(SPI) : 0x0000ABCD");
    auto lines = zt::detail(Frame(f.begin(), f.begin() + 40));
    EXPECT_TRUE(has_line(lines, "Header truncated : 6 of 8 bytes captured"));
}
