// ICMP, ICMPv6 and IGMP: names, type-specific fields, checksum verdicts (and when
// none can be given), Neighbor Discovery options, Mobile IP extensions, IGMPv3
// records, and messages cut at every length.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <cstring>
#include <string>
#include <vector>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "tests/support.h"

using namespace zelpan;
using zt::Frame;
using zt::hex;

using zt::Lines;

namespace {

using Decoder = void (*)(int32_t, Bytes);

Frame eth4(const Frame& packet) { return zt::cat({hex("00005e005301 00005e005302 0800"), packet}); }
Frame eth6(const Frame& packet) { return zt::cat({hex("00005e005301 00005e005302 86dd"), packet}); }

// 192.0.2.1 > 192.0.2.2 with the given protocol around a message.
Frame ip4(uint8_t protocol, const Frame& message) {
    int total = 20 + int(message.size());
    Frame h = {0x45, 0, uint8_t(total >> 8), uint8_t(total), 0, 1, 0, 0, 64, protocol,
               0,    0, 192, 0, 2, 1, 192, 0, 2, 2};
    return zt::cat({h, message});
}

// 2001:db8::1 > 2001:db8::2 with next header 58.
Frame ip6(const Frame& message) {
    int p = int(message.size());
    return zt::cat({hex("60000000"), Frame{uint8_t(p >> 8), uint8_t(p), 58, 255},
                    hex("20010db8000000000000000000000001 20010db8000000000000000000000002"), message});
}


// Hands the message inside an Ethernet/IPv4 frame to a decoder the way IPv4 does:
// the view starts after the IPv4 header and ends at its total length or at the
// capture, whichever comes first; the context holds what IPv4 leaves behind.
// The frame is cut to `captured` bytes first.
struct Via4 {
    Frame frame;
    zt::Record record;
    DecodeContext c;
    Via4(const Frame& packet, size_t captured, int mode)
        : frame(cut(eth4(packet), captured)), record(frame) {
        c.mode = mode;
        c.record = record.data();
        c.bytes = record.data() + 16;
        c.captured_length = int(frame.size());
        c.network_type = 0x0800;
        c.ftp_tracking.ip_version = 1;
        std::memcpy(c.pseudo_header + 4, packet.data() + 12, 8);
        // What decode_ipv4 leaves for its payload.
        c.announced_length = (packet[2] << 8 | packet[3]) - (packet[0] & 15) * 4;
        c.more_fragments = (packet[6] & 0x20) ? 1 : 0;
        make_current(&c);
    }
    ~Via4() { make_current(nullptr); }
    static Frame cut(Frame f, size_t n) {
        if (n < f.size()) f.resize(n);
        return f;
    }
    Bytes message() const {
        int ihl = (frame[14] & 15) * 4;
        int total = frame[16] << 8 | frame[17];
        int size = std::min(total - ihl, int(frame.size()) - 14 - ihl);
        return Bytes(c.bytes + 14 + ihl, size);
    }
};

zt::Summary summary4(Decoder d, const Frame& packet, size_t captured = SIZE_MAX) {
    Via4 v(packet, captured, MODE_DISPLAY);
    d(0, v.message());
    zt::Summary s;
    for (int k = 0; k < 9; ++k) s.col[k] = v.c.columns[k];
    return s;
}

std::vector<std::string> detail4(Decoder d, const Frame& packet, size_t captured = SIZE_MAX) {
    Via4 v(packet, captured, MODE_TEXT_EXPORT);
    Lines sink;
    v.c.exporter = &sink;
    d(ROOT_NODE, v.message());
    return sink.out;
}

// Lines with their byte ranges (offsets in the frame) and depth.
struct Shown {
    std::string text;
    uint32_t offset, length;
    int depth;
};
std::vector<Shown> tree4(Decoder d, const Frame& packet, size_t captured = SIZE_MAX) {
    Via4 v(packet, captured, MODE_DISPLAY);
    DetailTree t;
    v.c.tree = &t;
    d(ROOT_NODE, v.message());
    std::vector<Shown> out;
    for (int32_t h = 1; h <= t.size(); ++h)
        out.push_back({std::string(t.text(h)), t.line(h).offset, t.line(h).length, t.depth(h)});
    return out;
}

FrameLayerIndex layers4(Decoder d, const Frame& packet, size_t captured = SIZE_MAX) {
    Via4 v(packet, captured, MODE_LAYER_INDEX);
    FrameLayerIndex ix;
    v.c.layer_index = &ix;
    d(0, v.message());
    return ix;
}

const Shown* find(const std::vector<Shown>& lines, const std::string& text) {
    for (const auto& l : lines)
        if (l.text == text) return &l;
    return nullptr;
}

// The lines under the first top-level line, indentation stripped.
std::vector<std::string> body(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (size_t i = 1; i < lines.size(); ++i) out.push_back(lines[i].substr(lines[i].find_first_not_of(' ')));
    return out;
}

// Every prefix of a message, in all three modes: nothing is read or shown beyond
// the capture, column 4 names the protocol, and a message shorter than its fixed
// part (cut(bytes captured) is true) says so.
void every_length(Decoder d, const Frame& packet, const char* name, const std::function<bool(size_t)>& cut) {
    size_t full = 14 + packet.size();
    for (size_t n = 14 + 20; n <= full; ++n) {
        zt::Summary s = summary4(d, packet, n);
        EXPECT_EQ(s.col[4], name) << n;
        size_t have = n - 34;
        if (cut(have)) {
            EXPECT_EQ(s.col[5], std::string(name) + " header truncated (" + std::to_string(have) + " bytes captured)")
                << n;
        } else {
            EXPECT_EQ(s.col[5].find("truncated"), std::string::npos) << n;
        }
        auto lines = detail4(d, packet, n);
        ASSERT_FALSE(lines.empty()) << n;
        bool cut_line = false;
        for (const auto& l : lines) cut_line |= l.find("Header truncated : ") != std::string::npos;
        EXPECT_EQ(cut_line, cut(have)) << n;
        for (const Shown& l : tree4(d, packet, n)) EXPECT_LE(l.offset + l.length, n) << n << " " << l.text;
        FrameLayerIndex ix = layers4(d, packet, n);
        ASSERT_EQ(ix.count, 1) << n;
        EXPECT_EQ(ix.entries[0].offset, 16 + 34) << n;
    }
}

// ICMP echo, 56 data bytes (scapy).
const Frame ECHO4 = hex(
    "45000054000100004001f6a4c0000201c00002020800fc1904d20001000102030405060708090a0b0c0d0e0f1011"
    "12131415161718191a1b1c1d1e1f202122232425262728292a2b2c2d2e2f3031323334353637");
// Port unreachable quoting a UDP datagram (scapy).
const Frame UNREACH = hex(
    "45000038000100004001f6c0c0000202c00002010303811a000000004500001c000100004011f6ccc0000201c000"
    "02020401829a0008f53e");
// Router advertisement, code 16: one address, then padding, mobility agent (one
// care-of address), prefix lengths, challenge and an unknown extension.
const Frame MOBILE_RA =
    ip4(1, hex("0910439d01020708 c0000201 00000000 00 100a00010258a400c0000264 130118 1804deadbeef 630107"));

}  // namespace

// ---- ICMP ----

TEST(Icmp, EchoSummaryDetailAndChecksums) {
    zt::Summary s = summary4(decode_icmp, ECHO4);
    EXPECT_EQ(s.col[4], "ICMP");
    EXPECT_EQ(s.col[5], "Type : Echo(8)");
    std::vector<std::string> expected = {
        "Type : Echo(8)",
        "Code : 0",
        "Header Checksum : 0xFC19(correct)",
        "Identifier : 0x04D2",
        "Sequence number : 0x0001",
        "Data : 56 bytes",
    };
    auto lines = detail4(decode_icmp, ECHO4);
    EXPECT_EQ(lines.front(), "  Internet Control Message Protocol");
    EXPECT_EQ(body(lines), expected);

    Frame changed = ECHO4;
    changed.back() = 0x38;
    EXPECT_TRUE(zt::has_line(detail4(decode_icmp, changed), "Header Checksum : 0xFC19(incorrect,0xFC18)"));

    // An odd length: the last byte counts as a high byte.
    Frame odd = hex("4500001f000100004001f6d9c0000201c000020208002eca04d20001616263");
    EXPECT_TRUE(zt::has_line(detail4(decode_icmp, odd), "Header Checksum : 0x2ECA(correct)"));

    auto tree = tree4(decode_icmp, ECHO4);
    ASSERT_FALSE(tree.empty());
    EXPECT_EQ(tree[0].offset, 34u);
    EXPECT_EQ(tree[0].length, 64u);
    const Shown* data = find(tree, "Data : 56 bytes");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->offset, 42u);
    EXPECT_EQ(data->length, 56u);
}

TEST(Icmp, NoVerdictOverBytesThatWereNotCaptured) {
    // Cut by the capture 30 bytes into the message.
    auto lines = detail4(decode_icmp, ECHO4, 14 + 20 + 30);
    EXPECT_TRUE(zt::has_line(lines, "Header Checksum : 0xFC19(not verified, 30 of 64 bytes captured)"));
    EXPECT_TRUE(zt::has_line(lines, "Data : 22 bytes"));
    EXPECT_EQ(summary4(decode_icmp, ECHO4, 14 + 20 + 30).col[5], "Type : Echo(8)");

    // The first fragment of a longer message.
    Frame first = ECHO4;
    first[6] = 0x20;
    EXPECT_TRUE(zt::has_line(detail4(decode_icmp, first), "Header Checksum : 0xFC19(not verified, first fragment)"));
}

TEST(Icmp, UnreachableCodesAndTheQuotedDatagram) {
    auto lines = detail4(decode_icmp, UNREACH);
    EXPECT_EQ(body(lines), (std::vector<std::string>{
                               "Type : Destination unreachable(3)",
                               "Code : Port unreachable(3)",
                               "Header Checksum : 0x811A(correct)",
                               "Internet Header + 64 bits of Original Data Datagram",
                           }));
    auto tree = tree4(decode_icmp, UNREACH);
    const Shown* quoted = find(tree, "Internet Header + 64 bits of Original Data Datagram");
    ASSERT_NE(quoted, nullptr);
    EXPECT_EQ(quoted->offset, 42u);
    EXPECT_EQ(quoted->length, 28u);

    Frame code20 = UNREACH;
    code20[21] = 20;
    EXPECT_TRUE(zt::has_line(detail4(decode_icmp, code20), "Code : Unknown(20)"));

    auto mtu = detail4(decode_icmp,
                       ip4(1, hex("03047ba100000578 4500001c000100004011f6ccc0000201c00002020401829a0008f53e")));
    EXPECT_TRUE(zt::has_line(mtu, "Code : Fragmentation needed and don't fragment was set(4)"));
    EXPECT_TRUE(zt::has_line(mtu, "MTU of next hop : 1400"));
    EXPECT_TRUE(zt::has_line(mtu, "Header Checksum : 0x7BA1(correct)"));
}

TEST(Icmp, TypeSpecificFields) {
    struct Case {
        const char* message;
        const char* summary;
        std::vector<std::string> lines;
    } cases[] = {
        {"0d00db8c00010002000003e8000007d000000bb8", "Type : Timestamp(13)",
         {"Type : Timestamp(13)", "Code : 0", "Header Checksum : 0xDB8C(correct)", "Identifier : 0x0001",
          "Sequence number : 0x0002", "Originate Timestamp : 1000", "Receive Timestamp : 2000",
          "Transmit Timestamp : 3000"}},
        {"0501bc1dc00002fe4500001c000100004011f6ccc0000201c00002020401829a0008f53e",
         "Type : Redirect(5)",
         {"Type : Redirect(5)", "Code : Redirect datagrams for the Host(1)", "Header Checksum : 0xBC1D(correct)",
          "Gateway Address : 192.0.2.254", "Internet Header + 64 bits of Original Data Datagram"}},
        {"0c00641d140000004500001c000100004011f6ccc0000201c00002020401829a0008f53e",
         "Type : Parameter Problem(12)",
         {"Type : Parameter Problem(12)", "Code : IP header bad(0)", "Header Checksum : 0x641D(correct)",
          "Pointer : 20", "Internet Header + 64 bits of Original Data Datagram"}},
        {"0b00791d000000004500001c000100004011f6ccc0000201c00002020401829a0008f53e",
         "Type : Time Exceeded(11)",
         {"Type : Time Exceeded(11)", "Code : TTL exceeded in transit(0)", "Header Checksum : 0x791D(correct)",
          "Internet Header + 64 bits of Original Data Datagram"}},
        {"1200eefc00010001ffffff00", "Type : Address Mask Reply(18)",
         {"Type : Address Mask Reply(18)", "Code : 0", "Header Checksum : 0xEEFC(correct)", "Identifier : 0x0001",
          "Sequence number : 0x0001", "Address Mask : 255.255.255.0"}},
        {"1e00e1ff00000000", "Type : Traceroute(30)",
         {"Type : Traceroute(30)", "Code : 0", "Header Checksum : 0xE1FF(correct)"}},
        {"6305000000000000", "Type : Unknown(99)",
         {"Type : Unknown(99)", "Code : 5", "Header Checksum : 0x0000(incorrect,0x9CFA)"}},
    };
    for (const Case& k : cases) {
        Frame p = ip4(1, hex(k.message));
        EXPECT_EQ(summary4(decode_icmp, p).col[5], k.summary);
        EXPECT_EQ(body(detail4(decode_icmp, p)), k.lines) << k.summary;
    }
}

TEST(Icmp, RouterAdvertisementWithMobilityExtensions) {
    std::vector<std::string> expected = {
        "Type : Mobile IP Advertisement(9)",
        "Code : 16",
        "Header Checksum : 0x439D(correct)",
        "Number of Addresses : 1",
        "Address Entry Size : 2",
        "Lifetime : 1800",
        "Router Address : 192.0.2.1",
        "Preference Level : 0",
        "IP Mobility control messages",
        "Extension(One byte Padding Extension(0))",
        "Type : One byte Padding Extension(0)",
        "Extension(Mobility Agent Advertisement Extension(16))",
        "Type : Mobility Agent Advertisement Extension(16)",
        "Length : 10",
        "Sequence Number : 1",
        "Registration Lifetime : 600",
        "Flags : 0xA4",
        "1*** **** : Registration ON",
        "*0** **** : Busy OFF",
        "**1* **** : Home agent ON",
        "***0 **** : Foreign agent OFF",
        "**** 0*** : Minimal encapsulation OFF",
        "**** *1** : GRE encapsulation ON",
        "**** **0* : Van Jacobson header compression OFF",
        "Care of Address : 192.0.2.100",
        "Extension(Prefix Lengths Extension(19))",
        "Type : Prefix Lengths Extension(19)",
        "Length : 1",
        "Prefix Length : 24",
        "Extension(Mobility IP Agent Advertisement Challenge Extension(24))",
        "Type : Mobility IP Agent Advertisement Challenge Extension(24)",
        "Length : 4",
        "Challenge : DEADBEEF",
        "Extension(Unknown(99))",
        "Unknown type(99)",
    };
    auto lines = detail4(decode_icmp, MOBILE_RA);
    EXPECT_EQ(body(lines), expected);
    EXPECT_EQ(summary4(decode_icmp, MOBILE_RA).col[5], "Type : Router Advertisement(9)");

    // The flag lines sit under the Flags line, the extensions under their heading.
    auto tree = tree4(decode_icmp, MOBILE_RA);
    EXPECT_EQ(find(tree, "Flags : 0xA4")->depth, 3);
    EXPECT_EQ(find(tree, "1*** **** : Registration ON")->depth, 4);
    EXPECT_EQ(find(tree, "Extension(Unknown(99))")->length, 3u);

    // An extension is as long as its length byte says, whatever its fields hold.
    lines = detail4(decode_icmp, ip4(1, hex("09100000 00020708 10070001 0258a400 c0 130118")));
    EXPECT_FALSE(zt::has_line(lines, "Care of Address : 192.0.2.100"));
    EXPECT_TRUE(zt::has_line(lines, "Extension(Prefix Lengths Extension(19))"));
    EXPECT_TRUE(zt::has_line(lines, "Prefix Length : 24"));
    lines = detail4(decode_icmp, ip4(1, hex("09100000 00020708 10020001 130118")));
    EXPECT_TRUE(zt::has_line(lines, "Sequence Number : 1"));
    EXPECT_FALSE(zt::has_line(lines, "Registration Lifetime : 600"));
    EXPECT_TRUE(zt::has_line(lines, "Prefix Length : 24"));

    // An entry size other than 2 words: the rest is plain data.
    Frame other = MOBILE_RA;
    other[20 + 5] = 3;
    EXPECT_TRUE(zt::has_line(detail4(decode_icmp, other), "Data : 33 bytes"));
    // More entries announced than there are bytes.
    Frame many = ip4(1, hex("0900000005020708c0000201"));
    EXPECT_TRUE(zt::has_line(detail4(decode_icmp, many), "Router Address entries truncated : 4 of 40 bytes captured"));
}

TEST(Icmp, CutAtEveryLength) {
    auto under = [](size_t fixed) { return [fixed](size_t have) { return have < fixed; }; };
    every_length(decode_icmp, ECHO4, "ICMP", under(8));
    every_length(decode_icmp, UNREACH, "ICMP", under(8));
    every_length(decode_icmp, ip4(1, hex("0d00db8c00010002000003e8000007d000000bb8")), "ICMP", under(20));
    every_length(decode_icmp, MOBILE_RA, "ICMP", under(8));
    // Cut inside an extension: it is shown as far as it goes.
    auto lines = detail4(decode_icmp, MOBILE_RA, 14 + 20 + 8 + 8 + 1 + 5);
    EXPECT_TRUE(zt::has_line(lines, "Extension truncated : 5 of 12 bytes captured"));
    EXPECT_TRUE(zt::has_line(lines, "Sequence Number : 1"));
    EXPECT_FALSE(zt::has_line(lines, "Registration Lifetime : 600"));
    // Cut right after an extension's type byte.
    lines = detail4(decode_icmp, MOBILE_RA, 14 + 20 + 8 + 8 + 1 + 1);
    EXPECT_TRUE(zt::has_line(lines, "Extension truncated : 1 of 2 bytes captured"));
}

// ---- ICMPv6 ----

TEST(Icmpv6, EchoAndChecksums) {
    // Echo request, id 0x1234, sequence 7, 9 data bytes (scapy).
    Frame echo = hex("8000435a1234000770696e672d64617461");
    Frame f = eth6(ip6(echo));
    zt::Summary s = zt::summarize(f);
    EXPECT_EQ(s.col[4], "ICMPv6");
    EXPECT_EQ(s.col[5], "Type : Echo Request(128)");
    auto lines = zt::detail(f);
    size_t at = 0;
    while (at < lines.size() && lines[at] != "  Internet Control Message Protocol v6") ++at;
    ASSERT_LT(at, lines.size());
    std::vector<std::string> rest;
    for (size_t i = at + 1; i < lines.size(); ++i) rest.push_back(lines[i].substr(lines[i].find_first_not_of(' ')));
    EXPECT_EQ(rest, (std::vector<std::string>{
                        "Type : Echo Request(128)",
                        "Code : 0",
                        "Checksum : 0x435A(correct)",
                        "Identifier : 0x1234",
                        "Sequence Number : 0x0007",
                        "Data  9 bytes",
                    }));
    Frame wrong = echo;
    wrong.back() ^= 1;
    EXPECT_TRUE(zt::has_line(zt::detail(eth6(ip6(wrong))), "Checksum : 0x435A(incorrect,0x445A)"));

    FrameLayerIndex ix = zt::layers(f);
    ASSERT_EQ(ix.count, 3);
    EXPECT_EQ(ix.entries[2].protocol, P_ICMP6);
    EXPECT_EQ(ix.entries[2].offset, 16 + 54);
    EXPECT_STREQ(ix.label, "ICMPv6");
}

TEST(Icmpv6, WithoutAnIpv6HeaderTheChecksumIsNotJudged) {
    auto lines = detail4(decode_icmpv6, ip4(58, hex("8000435a1234000770696e672d64617461")));
    EXPECT_TRUE(zt::has_line(lines, "Checksum : 0x435A(not verified, no IPv6 header)"));
}

TEST(Icmpv6, NeighborSolicitationWithSourceAddress) {
    Frame f = eth6(hex(
        "6000000000203afffe800000000000000000000000000001ff0200000000000000000001ff0000028700cb9500"
        "000000fe800000000000000000000000000002010100005e005302"));
    auto lines = zt::detail(f);
    std::vector<std::string> want = {
        "Type : Neighbor Solicitation(135)",
        "Code : 0",
        "Checksum : 0xCB95(correct)",
        "Target Address : FE80::2",
        "Options",
        "Type : Source link-layer address(1)",
        "Length : 8 bytes(1)",
        "Link-layer address : 00:00:5E:00:53:02",
    };
    for (const auto& w : want) EXPECT_TRUE(zt::has_line(lines, w)) << w;
    EXPECT_EQ(zt::summarize(f).col[5], "Type : Neighbor Solicitation(135)");
}

TEST(Icmpv6, NeighborAdvertisementListsEveryOption) {
    // Target link-layer address, then an option of unknown type 14.
    Frame f = eth6(hex(
        "6000000000283afffe800000000000000000000000000002fe8000000000000000000000000000018800f204c0"
        "000000fe800000000000000000000000000002020100005e0053010e01010203040506"));
    auto lines = zt::detail(f);
    std::vector<std::string> want = {
        "Checksum : 0xF204(correct)",
        "1*** **** : Router - ON",
        "*1** **** : Solicited - ON",
        "**0* **** : Override - OFF",
        "Target Address : FE80::2",
        "Type : Target link-layer address(2)",
        "Link-layer address : 00:00:5E:00:53:01",
        "Type : Unknown(14)",
        "Length : 8 bytes(1)",
        "Data 6 bytes",
    };
    for (const auto& w : want) EXPECT_TRUE(zt::has_line(lines, w)) << w;
}

TEST(Icmpv6, RouterAdvertisementWithPrefixMtuAndAddress) {
    Frame f = eth6(hex(
        "6000000000403afffe800000000000000000000000000001ff0200000000000000000000000000018600c54640"
        "88070800007530000003e8030440c000278d0000093a800000000020010db800010000000000000000000005"
        "010000000005dc010100005e005302"));
    auto lines = zt::detail(f);
    std::vector<std::string> want = {
        "Type : Router Advertisement(134)",
        "Checksum : 0xC546(correct)",
        "Cur Hop Limit : 64",
        "1*** **** : Managed address configuration - ON",
        "*0** **** : Other stateful configuration - OFF",
        "Router Lifetime : 1800",
        "Reachable Time : 30000",
        "Retrans Timer : 1000",
        "Type : Prefix information(3)",
        "Length : 32 bytes(4)",
        "Prefix length : 64",
        "1*** **** : On-link - ON",
        "*1** **** : autonomous address-configuration - ON",
        "Valid lifetime: 0x00278d00",
        "Preferred lifetime : 0x00093a80",
        "Prefix : 2001:DB8:1::",
        "Type : MTU(5)",
        "MTU : 1500",
        "Link-layer address : 00:00:5E:00:53:02",
    };
    for (const auto& w : want) EXPECT_TRUE(zt::has_line(lines, w)) << w;
    DetailTree t;
    zt::display(t, f);
    int32_t options = 0;
    for (int32_t h = 1; h <= t.size(); ++h)
        if (t.text(h) == "Options") options = h;
    ASSERT_NE(options, 0);
    EXPECT_EQ(t.line(options).offset, 14u + 40 + 16);
    EXPECT_EQ(t.line(options).length, 48u);
}

TEST(Icmpv6, OptionWalkEndsSoundly) {
    // A zero length cannot advance the walk.
    Frame ns = hex("87000000 00000000 fe800000000000000000000000000002 0100 112233445566 0101 000000000000");
    auto lines = zt::detail(eth6(ip6(ns)));
    EXPECT_TRUE(zt::has_line(lines, "Length : 0 bytes(0)"));
    EXPECT_TRUE(zt::has_line(lines, "Invalid option length : 16 bytes not decoded"));
    EXPECT_FALSE(zt::has_line(lines, "Length : 8 bytes(1)"));
    // An option longer than the message.
    ns = hex("87000000 00000000 fe800000000000000000000000000002 0304 40c0");
    lines = zt::detail(eth6(ip6(ns)));
    EXPECT_TRUE(zt::has_line(lines, "Prefix length : 64"));
    EXPECT_TRUE(zt::has_line(lines, "Option truncated : 4 of 32 bytes captured"));
    // One byte left over.
    ns = hex("87000000 00000000 fe800000000000000000000000000002 01");
    EXPECT_TRUE(zt::has_line(zt::detail(eth6(ip6(ns))), "Option truncated : 1 of 2 bytes captured"));
}

TEST(Icmpv6, OtherTypes) {
    // Unknown type 200 with code 5 and six bytes of body (scapy).
    Frame f = eth6(ip6(hex("c805b213616263646566")));
    EXPECT_EQ(zt::summarize(f).col[5], "ICMPv6 data 10 octets");
    auto lines = zt::detail(f);
    EXPECT_TRUE(zt::has_line(lines, "Type : Unknown(200)"));
    EXPECT_TRUE(zt::has_line(lines, "Code : Unknown(5)"));
    EXPECT_TRUE(zt::has_line(lines, "Checksum : 0xB213(correct)"));
    EXPECT_TRUE(zt::has_line(lines, "Data : 6 bytes"));

    // Packet Too Big (scapy), code texts of the error types.
    lines = zt::detail(eth6(ip6(hex("02003d380000050060000000000000000000000000000000"))));
    EXPECT_TRUE(zt::has_line(lines, "Maximum Transmission Unit(MTU) : 1280"));
    EXPECT_TRUE(zt::has_line(lines, "Data : 16 bytes"));
    EXPECT_TRUE(zt::has_line(lines, "Checksum : 0x3D38(correct)"));
    struct Case {
        const char* message;
        const char* line;
    } cases[] = {
        {"01040000 00000000", "Code : Port unreachable(4)"},
        {"01090000 00000000", "Code : Unknown(9)"},
        {"03010000 00000000", "Code : Reassembly(1)"},
        {"04020000 00000007", "Code : unrecognized IPv6 option(2)"},
        {"04020000 00000007", "Pointer : 0x00000007"},
        {"8aff0000 00000001 07a5 0005 00000000", "Code : Sequence Number Reset(255)"},
        {"8b010000 0000000000000000", "Code : Query subject(1)"},
        {"8c020000 0000000000000000", "Code : Unknown Query Type(2)"},
        {"85070000 00000000", "Code : 7"},
        {"82000000 03e80000 ff020000000000000000000000000001", "Maximum Response Delay : 1000"},
        {"82000000 03e80000 ff020000000000000000000000000001", "Multicast Address : FF02::1"},
        {"89000000 00000000 fe800000000000000000000000000001 20010db8000000000000000000000009",
         "Destination Address : 2001:DB8::9"},
    };
    for (const Case& k : cases) EXPECT_TRUE(zt::has_line(zt::detail(eth6(ip6(hex(k.message)))), k.line)) << k.line;

    // Router Renumbering: the flag lines under their Flags line.
    lines = zt::detail(eth6(ip6(hex("8a000000 00000001 07 a5 0005 00000000 616263"))));
    std::vector<std::string> want = {
        "SequenceNumber : 0x00000001", "SegmentNumber : 0x07a5", "Flags : 0xA5",
        "1*** **** : Test command",    "*0** **** : Result not requested",
        "**1* **** : All interfaces",  "***0 **** : Not site-specific",
        "**** 0*** : Complete result", "MaxDelay : 0x0005",
        "Message : 3 bytes",
    };
    for (const auto& w : want) EXPECT_TRUE(zt::has_line(lines, w)) << w;
}

TEST(Icmpv6, CutAtEveryLength) {
    const Frame ra = hex(
        "6000000000403afffe800000000000000000000000000001ff0200000000000000000000000000018600c54640"
        "88070800007530000003e8030440c000278d0000093a800000000020010db800010000000000000000000005"
        "010000000005dc010100005e005302");
    const Frame full = eth6(ra);
    for (size_t n = 54; n <= full.size(); ++n) {
        Frame f(full.begin(), full.begin() + long(n));
        zt::Summary s = zt::summarize(f);
        EXPECT_EQ(s.col[4], "ICMPv6") << n;
        size_t have = n - 54;
        std::string want = have < 16 ? "ICMPv6 header truncated (" + std::to_string(have) + " bytes captured)"
                                     : "Type : Router Advertisement(134)";
        EXPECT_EQ(s.col[5], want) << n;
        auto lines = zt::detail(f);
        if (n < full.size() && have >= 4) {
            EXPECT_TRUE(zt::has_line(lines, "Checksum : 0xC546(not verified, " + std::to_string(have) +
                                                " of 64 bytes captured)"))
                << n;
        }
        DetailTree t;
        zt::display(t, f);
        for (int32_t h = 1; h <= t.size(); ++h) EXPECT_LE(t.line(h).offset + t.line(h).length, n) << n;
        EXPECT_EQ(zt::layers(f).count, 3) << n;
    }
}

// ---- IGMP ----

TEST(Igmp, VersionsOneAndTwo) {
    // A version 2 report (scapy), with and without a damaged group address.
    Frame v2 = hex("4500001c00010000010216e3c0000201e00000fb161408f0e00000fb");
    EXPECT_EQ(summary4(decode_igmp, v2).col[5], "Type : Membership Report(0x16)");
    EXPECT_EQ(body(detail4(decode_igmp, v2)), (std::vector<std::string>{
                                                  "Type : Membership Report(0x16)",
                                                  "Max Response Time : 20 X 0.1sec",
                                                  "Checksum : 0x08F0(correct)",
                                                  "Group Address : 224.0.0.251",
                                              }));
    Frame bad = v2;
    bad.back() = 0xfc;
    EXPECT_TRUE(zt::has_line(detail4(decode_igmp, bad), "Checksum : 0x08F0(incorrect,0x08EF)"));

    // Behind a header with a Router Alert option, cut by the capture: no verdict.
    Frame alert = hex("46000020 0001 0000 01 02 0000 c0000201 e00000fb 94040000 161408f0e00000fb");
    EXPECT_TRUE(zt::has_line(detail4(decode_igmp, alert, 14 + 24 + 6),
                             "Checksum : 0x08F0(not verified, 6 of 8 bytes captured)"));
    EXPECT_TRUE(zt::has_line(detail4(decode_igmp, alert), "Checksum : 0x08F0(correct)"));

    // A version 1 report shows its checksum without a verdict, and nothing else.
    Frame v1 = hex("4500001c00010000010216e3c0000201e00000fb12000d04e00000fb");
    EXPECT_EQ(body(detail4(decode_igmp, v1)), (std::vector<std::string>{
                                                  "Type : Membership Report(0x12)",
                                                  "Checksum : 0x0D04",
                                                  "Group Address : 224.0.0.251",
                                              }));
    // A version 2 leave with four bytes after the message.
    auto lines = detail4(decode_igmp, ip4(2, hex("17000000 e00000fb 01020304")));
    EXPECT_TRUE(zt::has_line(lines, "Type : Leave Group(0x17)"));
    EXPECT_TRUE(zt::has_line(lines, "Data 4 bytes"));
    // A type without fields of its own.
    lines = detail4(decode_igmp, ip4(2, hex("13000000 00000000")));
    EXPECT_EQ(body(lines), (std::vector<std::string>{"Type : DVMRP Protocol(0x13)", "Data 8 bytes"}));
}

TEST(Igmp, VersionZero) {
    auto lines = detail4(decode_igmp, ip4(2, hex("0101a43912345678e00102030102030405060708")));
    EXPECT_EQ(body(lines), (std::vector<std::string>{
                               "Type : Create Group Request(0x01)",
                               "Code : Private group(1)",
                               "Checksum : 0xA439(correct)",
                               "Identifier : 305419896",
                               "Group Address : 224.1.2.3",
                               "Access Key : 0102030405060708",
                           }));
    EXPECT_TRUE(zt::has_line(detail4(decode_igmp, ip4(2, hex("040319f100000007e00102030000000000000000"))),
                             "Code : Request denied, Invalid group address(3)"));
    EXPECT_TRUE(zt::has_line(detail4(decode_igmp, ip4(2, hex("02071bed00000007e00102030000000000000000"))),
                             "Code : Request pending(7)"));
    EXPECT_TRUE(zt::has_line(detail4(decode_igmp, ip4(2, hex("03050000 00000007 e0010203 0000000000000000"))),
                             "Code : 5"));
}

TEST(Igmp, Version3QueryAndReport) {
    // Query with response code 0x80, one source (scapy).
    Frame q = hex("45c000240001000001021715c0000201e0000001118029f800000000027d0001c0000209");
    std::vector<std::string> expected = {
        "Type : Membership Query(0x11)",
        "Max Response Time : 128 X 0.1sec(0x80)",
        "*000 **** : Exponent(0)",
        "**** 0000 : Mantissa(0)",
        "Checksum : 0x29F8",
        "Group Address : 0.0.0.0",
        "Flags(0x02)",
        "**** 0*** : Suppress Router-Side Processing OFF",
        "**** *010 : Querier's Robustness(2)",
        "Querier's Query Interval Code : 125(0x7d)",
        "Number of Sources : 1",
        "Source Address : 192.0.2.9",
    };
    EXPECT_EQ(body(detail4(decode_igmp, q)), expected);
    // Larger codes: (mantissa | 0x10) << (exponent + 3).
    auto lines = detail4(decode_igmp, ip4(2, hex("11ff0000 00000000 0a9f 0000")));
    EXPECT_TRUE(zt::has_line(lines, "Max Response Time : 31744 X 0.1sec(0xFF)"));
    EXPECT_TRUE(zt::has_line(lines, "*111 **** : Exponent(7)"));
    EXPECT_TRUE(zt::has_line(lines, "Querier's Query Interval Code : 496(0x9f)"));
    EXPECT_TRUE(zt::has_line(lines, "**** *010 : Querier's Robustness(2)"));
    EXPECT_TRUE(zt::has_line(lines, "**** 1*** : Suppress Router-Side Processing ON"));

    // Report with two records, the second with two sources (scapy).
    Frame r = hex(
        "45c0003400010000010216f0c0000201e0000016220073e30000000204000000ef01010101000002ef020202c000"
        "0207c0000208");
    expected = {
        "Type : Membership Report(0x22)",
        "Checksum : 0x73E3",
        "Number of Group Records : 2",
        "Group Records",
        "Group Record",
        "Record Type : Change to Exclude mode(4)",
        "Auxiliary Data Length : 0 X 32 bits words",
        "Number of Sources : 0",
        "Multicast Address : 239.1.1.1",
        "Group Record",
        "Record Type : Mode is include(1)",
        "Auxiliary Data Length : 0 X 32 bits words",
        "Number of Sources : 2",
        "Multicast Address : 239.2.2.2",
        "Source Address : 192.0.2.7",
        "Source Address : 192.0.2.8",
    };
    EXPECT_EQ(body(detail4(decode_igmp, r)), expected);

    // Auxiliary data sits under the record list; a record longer than the message ends the walk.
    lines = detail4(decode_igmp, ip4(2, hex("22000000 00000002 05010000 ef010101 aabbccdd 06000005 ef020202")));
    EXPECT_TRUE(zt::has_line(lines, "Record Type : Allow new sources(5)"));
    EXPECT_TRUE(zt::has_line(lines, "Auxiliary Data"));
    EXPECT_TRUE(zt::has_line(lines, "Group Record truncated : 8 of 28 bytes captured"));
    EXPECT_FALSE(zt::has_line(lines, "Record Type : Block old sources(6)"));
}

TEST(Igmp, CutAtEveryLength) {
    auto under = [](size_t fixed) { return [fixed](size_t have) { return have < fixed; }; };
    every_length(decode_igmp, hex("4500001c00010000010216e3c0000201e00000fb161408f0e00000fb"), "IGMP", under(8));
    // Eight bytes make a version 2 query; more than eight, a version 3 query of 12.
    every_length(decode_igmp, hex("45c000240001000001021715c0000201e0000001118029f800000000027d0001c0000209"),
                 "IGMP", [](size_t have) { return have < 8 || (have > 8 && have < 12); });
    every_length(decode_igmp,
                 hex("45c0003400010000010216f0c0000201e0000016220073e30000000204000000ef01010101000002ef020202"
                     "c0000207c0000208"),
                 "IGMP", under(8));
    every_length(decode_igmp, ip4(2, hex("0101a43912345678e00102030102030405060708")), "IGMP", under(20));
    // A version 3 query cut inside its source list.
    auto lines = detail4(decode_igmp, hex("45c000240001000001021715c0000201e0000001118029f800000000027d0001c0000209"),
                         14 + 20 + 14);
    EXPECT_TRUE(zt::has_line(lines, "Source Address list truncated : 2 of 4 bytes captured"));
    EXPECT_TRUE(zt::has_line(lines, "Checksum : 0x29F8"));
}
