// TCP and UDP decoding, decoded directly with the context that IPv4 or IPv6
// would leave behind, plus the port dispatch and the learnt FTP data ports.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/format.h"
#include "tests/support.h"

using namespace zelpan;
using zt::cat;
using zt::Frame;
using zt::hex;

using zt::Lines;

namespace {

// What the IP layer leaves in the context for the transport decoders.
struct Network {
    int ip_version;        // 1 IPv4, 2 IPv6 (the innermost header)
    int32_t network_type;  // the outermost network layer
    Frame source, destination;
};
const Network v4{1, 0x0800, hex("0a000001"), hex("0a000002")};
const Network v6{2, 0x86DD, hex("20010db8000000000000000000000001"), hex("20010db8000000000000000000000002")};
// IPv6 carried in IPv4: network_type stays 0x0800.
const Network v6_in_v4{2, 0x0800, v6.source, v6.destination};

enum Transport { TCP = 6, UDP = 17 };

// Bytes standing for the link and IP headers in front of the segment, so that
// layer offsets and byte ranges come from a real position inside the frame.
constexpr int LEAD = 34;


// Runs decode_tcp / decode_udp on a frame that ends exactly where the segment
// ends (so the address sanitizer sees any read past it). The context lives as
// long as the object, like a window's context across a pass.
class Direct {
public:
    explicit Direct(const Network& net = v4) : net_(net) {}
    DecodeContext c;

    zt::Summary summary(Transport t, const Frame& seg) {
        run(0, MODE_DISPLAY, t, seg);
        zt::Summary s;
        for (int k = 0; k < 9; ++k) s.col[k] = c.columns[k];
        return s;
    }
    std::vector<std::string> detail(Transport t, const Frame& seg) {
        Lines sink;
        c.exporter = &sink;
        run(ROOT_NODE, MODE_TEXT_EXPORT, t, seg);
        c.exporter = nullptr;
        return sink.out;
    }
    FrameLayerIndex layers(Transport t, const Frame& seg) {
        FrameLayerIndex ix;
        c.layer_index = &ix;
        run(0, MODE_LAYER_INDEX, t, seg);
        c.layer_index = nullptr;
        return ix;
    }
    void tree(DetailTree& tree, Transport t, const Frame& seg) {
        tree.clear();
        c.tree = &tree;
        run(ROOT_NODE, MODE_DISPLAY, t, seg);
        c.tree = nullptr;
    }
    // Calls dispatch_port directly on a payload.
    std::vector<std::string> dispatch(int protocol, uint16_t s, uint16_t d, const Frame& payload) {
        Lines sink;
        c.exporter = &sink;
        prepare(MODE_TEXT_EXPORT, protocol, payload);
        dispatch_port(ROOT_NODE, Bytes(c.bytes + LEAD, int(payload.size())), s, d);
        make_current(nullptr);
        c.exporter = nullptr;
        return sink.out;
    }
    // Frame 1 of a new pass, which empties the learnt data ports.
    void decode_first_frame() {
        zt::Record r(hex("ffffffffffff 020000000001 9000"));
        c.mode = MODE_DISPLAY;
        make_current(&c);
        decode_frame(0, r.data(), 1, 1);
        make_current(nullptr);
    }

private:
    Network net_;
    std::unique_ptr<zt::Record> rec_;

    void prepare(int mode, int protocol, const Frame& seg) {
        c.more_fragments = 0;
        c.announced_length = -1;
        rec_ = std::make_unique<zt::Record>(cat({Frame(LEAD, 0xEE), seg}));
        c.mode = mode;
        c.record = rec_->data();
        c.bytes = record_bytes(rec_->data());
        c.captured_length = int32_t(LEAD + seg.size());
        c.network_type = net_.network_type;
        c.transport_protocol = protocol;
        c.app_port = 0;
        c.ftp_tracking.ip_version = net_.ip_version;
        // The transport decoder must fill bytes 0..3 itself.
        std::memset(c.pseudo_header, 0xA5, sizeof c.pseudo_header);
        std::memcpy(c.pseudo_header + 4, net_.source.data(), net_.source.size());
        std::memcpy(c.pseudo_header + 4 + net_.source.size(), net_.destination.data(), net_.destination.size());
        clear_columns(c, 1);
        make_current(&c);
    }
    void run(int32_t parent, int mode, Transport t, const Frame& seg) {
        prepare(mode, t == TCP ? 1 : 2, seg);  // the decoder sets its own number
        Bytes data(c.bytes + LEAD, int(seg.size()));
        if (t == TCP) decode_tcp(parent, data);
        else decode_udp(parent, data);
        make_current(nullptr);
    }
};

Frame be16(uint16_t v) { return {uint8_t(v >> 8), uint8_t(v)}; }
Frame be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

// A TCP segment with a zero checksum; options must be padded to 4 bytes.
Frame tcp_segment(uint16_t sport, uint16_t dport, uint8_t flags, uint32_t seq, uint32_t ack, uint16_t window,
                  const Frame& options = {}, const Frame& payload = {}) {
    uint8_t offset = uint8_t((20 + options.size()) / 4 << 4);
    return cat({be16(sport), be16(dport), be32(seq), be32(ack), {offset, flags}, be16(window), be16(0), be16(0),
                options, payload});
}
Frame udp_datagram(uint16_t sport, uint16_t dport, const Frame& payload) {
    return cat({be16(sport), be16(dport), be16(uint16_t(8 + payload.size())), be16(0), payload});
}

bool has(const std::vector<std::string>& lines, const std::string& text) { return zt::has_line(lines, text); }
// The top-level undecoded-payload line, exactly.
bool has_data_line(const std::vector<std::string>& lines, int n) {
    for (const auto& l : lines)
        if (l == "  Data : " + std::to_string(n) + " bytes") return true;
    return false;
}
// The lines from the one equal to first (indentation included) onwards.
std::vector<std::string> from_line(const std::vector<std::string>& lines, const std::string& first) {
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == first) return {lines.begin() + long(i), lines.end()};
    return {};
}

// Captured segments, checksums computed by scapy over the pseudo-headers of
// 10.0.0.1 > 10.0.0.2 and 2001:db8::1 > 2001:db8::2; the second of each pair
// carries "hellp" instead of "hello".
const Frame tcp4 = hex("04011f90000003e8000007d0501822380672000068656c6c6f");
const Frame tcp4_changed = hex("04011f90000003e8000007d0501822380572000068656c6c70");
const Frame udp4 = hex("04010202000da1fc68656c6c6f");
const Frame udp4_changed = hex("04010202000da0fc68656c6c70");
const Frame tcp6 = hex("04011f90000000010000000250120064ec8e000068656c6c6f");
const Frame tcp6_changed = hex("04011f90000000010000000250120064eb8e000068656c6c70");
const Frame udp6 = hex("13881389000d397c68656c6c6f");
const Frame udp6_changed = hex("13881389000d387c68656c6c70");
// A datagram whose sum comes out as zero; the sender wrote all ones.
const Frame udp4_zero_sum = hex("04010202000affffe5d4");

// ---- summary columns ----

TEST(TcpUdpSummary, ColumnTexts) {
    struct Case {
        Transport t;
        Frame seg;
        const char* col5;
    } cases[] = {
        // Two blanks between the flags and the numbers, one at the end.
        {TCP, tcp_segment(1025, 8080, 0x18, 1000, 2000, 8760), "1025(1025) > 8080(8080) ACK PSH  Ack=2000 Seq=1000 Win=8760 "},
        // A SYN with acknowledgment 0 has no Ack= part.
        {TCP, tcp_segment(1025, 80, 0x02, 7, 0, 65535), "1025(1025) > http(80) SYN  Seq=7 Win=65535 "},
        {TCP, tcp_segment(7, 9, 0x00, 0, 0, 0), "echo(7) > discard(9)  "},
        // URG, ECE and CWR are not named.
        {TCP, tcp_segment(21, 20, 0xFF, 0, 1, 0), "ftp(21) > ftp-data(20) ACK PSH RST SYN FIN  Ack=1 "},
        {TCP, tcp_segment(514, 514, 0x10, 1, 1, 1, {}, hex("00")), "shell(514) > shell(514) ACK  Ack=1 Seq=1 Win=1 "},
        // Without payload, so that no application decoder takes the columns.
        {UDP, udp_datagram(514, 514, {}), "syslog(514) > syslog(514) data 0 octets"},
        {UDP, udp_datagram(1025, 514, {}), "1025(1025) > syslog(514) data 0 octets"},
        {UDP, udp_datagram(3269, 1900, {}), "msft-gc-ssl(3269) > ssdp(1900) data 0 octets"},
    };
    for (const auto& k : cases) {
        Direct d;
        zt::Summary s = d.summary(k.t, k.seg);
        EXPECT_EQ(s.col[4], k.t == TCP ? "TCP" : "UDP");
        EXPECT_EQ(s.col[5], k.col5);
        EXPECT_EQ(d.c.transport_protocol, int(k.t));
        EXPECT_EQ(s.col[2], "");  // addresses belong to the IP layer
    }
}

TEST(TcpUdpSummary, TcpStoresPortsForFtpTracking) {
    Direct d;
    d.summary(TCP, tcp_segment(21, 3001, 0x12, 1, 1, 1));
    EXPECT_EQ(d.c.ftp_tracking.tcp_ports[0], 21);
    EXPECT_EQ(d.c.ftp_tracking.tcp_ports[1], 3001);
    // Layer-index passes are summary passes too.
    d.layers(TCP, tcp_segment(4000, 4001, 0x10, 1, 1, 1));
    EXPECT_EQ(d.c.ftp_tracking.tcp_ports[0], 4000);
    EXPECT_EQ(d.c.ftp_tracking.tcp_ports[1], 4001);
}

TEST(TcpUdpSummary, UdpLengthBelowHeaderIsNamed) {
    Frame seg = hex("04d2162e 0004 0000 aabbccdd");
    Direct d;
    EXPECT_EQ(d.summary(UDP, seg).col[5], "1234(1234) > 5678(5678) invalid length 4");
    auto lines = d.detail(UDP, seg);
    EXPECT_TRUE(has(lines, "Length : 4 bytes (invalid, less than 8)"));
    EXPECT_TRUE(has(lines, "Checksum : 0x0000(not verified, invalid length)"));
    EXPECT_FALSE(has_data_line(lines, 4));
}

// ---- port names ----

TEST(TcpUdpPortName, Table) {
    struct Case {
        uint16_t port;
        int protocol;
        const char* name;
    } cases[] = {
        {7, 6, "echo"},         {49, 6, "login"},          {513, 6, "login"},       {514, 6, "shell"},
        {514, 17, "syslog"},    {66, 6, "sql*net"},        {363, 6, "rsvp_tunnel"}, {585, 6, "imap4-ssl"},
        {574, 6, "ftp-agent"},  {1229, 17, "novell-zfs"},  {1900, 17, "ssdp"},      {3269, 6, "msft-gc-ssl"},
        {8080, 6, "8080"},      {0, 6, "0"},               {65535, 17, "65535"},    {1278, 6, "dellwebadmin-1"},
    };
    for (const auto& k : cases) EXPECT_STREQ(port_name(k.port, k.protocol), k.name) << k.port;
}

TEST(TcpUdpPortName, ThreeResultsFitInOneLine) {
    const char* a = port_name(21, 6);
    const char* b = port_name(12345, 6);
    const char* c = port_name(514, 17);
    EXPECT_STREQ(a, "ftp");
    EXPECT_STREQ(b, "12345");
    EXPECT_STREQ(c, "syslog");
}

// ---- detail lines ----

std::vector<std::string> flag_lines(uint8_t flags) {
    static const char* const names[8] = {"Congestion Window Reduced", "ECN-Echo", "Urgent Pointer", "Acknowledgment",
                                         "Push", "Reset", "Synchronize", "FIN"};
    std::vector<std::string> out;
    for (int i = 0; i < 8; ++i) {
        std::string on = std::string(names[i]) + "(ON)", off = std::string(names[i]) + "(OFF)";
        out.push_back(std::string(6, ' ') + flag_text8(flags, i, on.c_str(), off.c_str()));
    }
    return out;
}

TEST(TcpUdpDetail, TcpLines) {
    Direct d;
    auto lines = d.detail(TCP, tcp4);
    std::vector<std::string> want = {
        "  Transmission Control Protocol : 1025(1025) > 8080(8080) ACK PSH  Ack=2000 Seq=1000 Win=8760 ",
        "    Source Port : 1025(1025)",
        "    Destination Port : 8080(8080)",
        "    Sequence Number : 1000",
        "    Acknowledgment Number : 2000",
        "    Header Length : 20 bytes",
        "    Control Bits (0x18) ACK PSH ",
    };
    for (auto& f : flag_lines(0x18)) want.push_back(f);
    want.push_back("    Window : 8760");
    want.push_back("    Checksum : 0x0672(correct)");
    want.push_back("    Urgent Pointer : 0x0000");
    want.push_back("  Data : 5 bytes");
    EXPECT_EQ(lines, want);
    EXPECT_EQ(d.c.pseudo_header[0], 0);
    EXPECT_EQ(d.c.pseudo_header[1], 6);
    EXPECT_EQ(d.c.pseudo_header[2], 0);
    EXPECT_EQ(d.c.pseudo_header[3], tcp4.size());
}

TEST(TcpUdpDetail, UdpLines) {
    Direct d;
    auto lines = d.detail(UDP, udp4);
    std::vector<std::string> want = {
        "  User Datagram Protocol : 1025(1025) > syslog(514)",
        "    Source Port : 1025(1025)",
        "    Destination Port : syslog(514)",
        "    Length : 13 bytes",
        "    Checksum : 0xA1FC(correct)",
    };
    // syslog takes the payload: no Data line.
    ASSERT_GE(lines.size(), want.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + long(want.size())), want);
    EXPECT_FALSE(has_data_line(lines, 5));
    EXPECT_EQ(d.c.app_port, 514);
}

TEST(TcpUdpDetail, ByteRanges) {
    Frame seg = tcp_segment(1025, 8080, 0x10, 1, 2, 3, hex("020405b4"), hex("616263"));
    Direct d;
    DetailTree tree;
    d.tree(tree, TCP, seg);
    int32_t t = tree.first_top();
    ASSERT_TRUE(tree.valid(t));
    EXPECT_EQ(tree.line(t).protocol, P_TCP);
    EXPECT_EQ(tree.line(t).offset, uint32_t(LEAD));
    EXPECT_EQ(tree.line(t).length, 24u);
    bool checksum_seen = false, mss_seen = false;
    for (int32_t h = 1; h <= tree.size(); ++h) {
        std::string text(tree.text(h));
        if (text.rfind("Checksum : ", 0) == 0) {
            checksum_seen = true;
            EXPECT_EQ(tree.line(h).offset, uint32_t(LEAD + 16));
            EXPECT_EQ(tree.line(h).length, 2u);
        }
        if (text.rfind("Maximum Segment Size", 0) == 0) {
            mss_seen = true;
            EXPECT_EQ(tree.line(h).offset, uint32_t(LEAD + 20));
            EXPECT_EQ(tree.line(h).length, 4u);
        }
    }
    EXPECT_TRUE(checksum_seen);
    EXPECT_TRUE(mss_seen);
    int32_t data = tree.line(t).next_sibling;
    ASSERT_TRUE(tree.valid(data));
    EXPECT_EQ(tree.text(data), "Data : 3 bytes");
    EXPECT_EQ(tree.line(data).offset, uint32_t(LEAD + 24));
    EXPECT_EQ(tree.line(data).length, 3u);
}

TEST(TcpUdpDetail, HeaderLengthBelowTwentyIsNotDispatched) {
    for (uint8_t offset : {0x00, 0x40}) {
        Frame seg = tcp_segment(1025, 80, 0x18, 1, 1, 1, {}, hex("474554202f"));
        seg[12] = offset;
        Direct d;
        auto lines = d.detail(TCP, seg);
        EXPECT_TRUE(has(lines, "Header Length : " + std::to_string(offset >> 2) + " bytes (invalid, less than 20)"));
        EXPECT_TRUE(has_data_line(lines, 5));  // the bytes after the fixed header
        EXPECT_EQ(d.c.app_port, 0);            // not handed to HTTP
        EXPECT_EQ(d.summary(TCP, seg).col[5], "1025(1025) > http(80) ACK PSH  Ack=1 Seq=1 Win=1 ");
    }
}

// ---- checksums ----

TEST(TcpUdpChecksum, CorrectAndIncorrect) {
    auto with_field = [](Frame f, int at, uint16_t v) {
        f[size_t(at)] = uint8_t(v >> 8);
        f[size_t(at) + 1] = uint8_t(v);
        return f;
    };
    struct Case {
        const char* what;
        Network net;
        Transport t;
        Frame seg;
        const char* line;
    } cases[] = {
        {"tcp4", v4, TCP, tcp4, "Checksum : 0x0672(correct)"},
        {"tcp4 field", v4, TCP, with_field(tcp4, 16, 0x1234), "Checksum : 0x1234(incorrect,0x0672)"},
        {"tcp4 payload", v4, TCP, with_field(tcp4_changed, 16, 0x0672), "Checksum : 0x0672(incorrect,0x0572)"},
        {"tcp4 changed", v4, TCP, tcp4_changed, "Checksum : 0x0572(correct)"},
        {"udp4", v4, UDP, udp4, "Checksum : 0xA1FC(correct)"},
        {"udp4 field", v4, UDP, with_field(udp4, 6, 0x0001), "Checksum : 0x0001(incorrect,0xA1FC)"},
        {"udp4 payload", v4, UDP, with_field(udp4_changed, 6, 0xA1FC), "Checksum : 0xA1FC(incorrect,0xA0FC)"},
        // A zero field is compared like any other value.
        {"udp4 zero", v4, UDP, with_field(udp4, 6, 0), "Checksum : 0x0000(incorrect,0xA1FC)"},
        // A sum of zero is sent as all ones.
        {"udp4 ones", v4, UDP, udp4_zero_sum, "Checksum : 0xFFFF(correct)"},
        {"tcp6", v6, TCP, tcp6, "Checksum : 0xEC8E(correct)"},
        {"tcp6 field", v6, TCP, with_field(tcp6, 16, 0xEC8F), "Checksum : 0xEC8F(incorrect,0xEC8E)"},
        {"tcp6 payload", v6, TCP, with_field(tcp6_changed, 16, 0xEC8E), "Checksum : 0xEC8E(incorrect,0xEB8E)"},
        {"udp6", v6, UDP, udp6, "Checksum : 0x397C(correct)"},
        {"udp6 payload", v6, UDP, with_field(udp6_changed, 6, 0x397C), "Checksum : 0x397C(incorrect,0x387C)"},
        // IPv6 inside IPv4 still checks with the IPv6 addresses.
        {"tcp6 in ip4", v6_in_v4, TCP, tcp6, "Checksum : 0xEC8E(correct)"},
        {"udp6 in ip4", v6_in_v4, UDP, udp6, "Checksum : 0x397C(correct)"},
    };
    for (const auto& k : cases) {
        Direct d(k.net);
        auto lines = d.detail(k.t, k.seg);
        EXPECT_TRUE(has(lines, k.line)) << k.what;
    }
}

TEST(TcpUdpChecksum, WrongPseudoHeaderGivesIncorrect) {
    Network other = v4;
    other.source = hex("0a000003");
    struct Case {
        Network net;
        Transport t;
        Frame seg;
        const char* prefix;
    } cases[] = {
        {v4, TCP, tcp6, "Checksum : 0xEC8E(incorrect,0x"},  // IPv6 segment, IPv4 addresses
        {v6, TCP, tcp4, "Checksum : 0x0672(incorrect,0x"},
        {other, UDP, udp4, "Checksum : 0xA1FC(incorrect,0x"},
        {other, TCP, tcp4, "Checksum : 0x0672(incorrect,0x"},
    };
    for (const auto& k : cases) {
        Direct d(k.net);
        auto lines = d.detail(k.t, k.seg);
        bool found = false;
        for (const auto& l : lines) found = found || l.find(k.prefix) != std::string::npos;
        EXPECT_TRUE(found) << k.prefix;
    }
}

TEST(TcpUdpChecksum, UdpLengthDecidesWhatIsSummed) {
    // Bytes after the datagram (inside the IP payload) are neither summed nor dispatched.
    Direct d;
    auto lines = d.detail(UDP, cat({udp_datagram(1025, 4000, {}), hex("0000")}));
    EXPECT_FALSE(has_data_line(lines, 2));
    auto tail = d.detail(UDP, cat({udp4, hex("9999")}));
    EXPECT_TRUE(has(tail, "Checksum : 0xA1FC(correct)"));
    // A length beyond the captured bytes gives no verdict and reads nothing past them.
    Direct e(v6);
    Frame cut(udp6.begin(), udp6.end() - 2);
    auto c = e.detail(UDP, cut);
    EXPECT_TRUE(has(c, "Checksum : 0x397C(not verified, 11 of 13 bytes captured)"));
    EXPECT_TRUE(has_data_line(c, 3));
    EXPECT_EQ(e.summary(UDP, cut).col[5], "5000(5000) > 5001(5001) data 5 octets");
}

TEST(TcpUdpChecksum, SummaryMakesNoVerdict) {
    Direct d;
    EXPECT_EQ(d.summary(TCP, tcp4).col[5].find("correct"), std::string::npos);
    EXPECT_EQ(d.summary(UDP, udp6).col[5].find("correct"), std::string::npos);
}

// ---- options ----

std::vector<std::string> option_lines(const Frame& options) {
    Direct d;
    auto lines = d.detail(TCP, tcp_segment(1025, 8080, 0x10, 1, 1, 1, options));
    auto from = from_line(lines, "    Options");
    if (!from.empty()) from.erase(from.begin());
    return from;
}

TEST(TcpUdpOptions, EveryKind) {
    struct Case {
        const char* what;
        Frame options;
        std::vector<std::string> lines;
    } cases[] = {
        {"common",
         hex("020405b4 01 030307 0402 080a 00000064 000000c8 0512 00000001 00000002 00000003 00000004 00 00"),
         {"      Maximum Segment Size(0x0204) : 1460", "      No Operation(0x01)", "      Window Scale(0x0303) : 7 bytes",
          "      SACK Permitted(0x0402)", "      Timestamps(0x080A) : TSval=100 TSecr=200", "      SACK(0x0512)",
          "        Block : Left Edge=1 Right Edge=2", "        Block : Left Edge=3 Right Edge=4"}},
        {"sack rest and 32-bit values",
         hex("050d 00000005 00000006 aabbcc 0606 00000009 0706 0000000a 0b06 0000000b 0c06 0000000c 000000"),
         {"      SACK(0x050d)", "        Block : Left Edge=5 Right Edge=6", "        invalid suboption length : 3",
          "      Echo(0x0606) : 9", "      Echo Reply(0x0706) : 10", "      CC(0x0b06) : 11", "      CC.NEW(0x0c06) : 12"}},
        {"md5, cc.echo, unknown",
         hex("0d06 0000000d 1312 00112233445566778899aabbccddeeff 1e04 abcd 01 01 01 01"),
         {"      CC.ECHO(0x0d06) : 13", "      MD5 Signature(0x1312) : 00112233445566778899AABBCCDDEEFF",
          "      option : 30 length=4", "      No Operation(0x01)", "      No Operation(0x01)",
          "      No Operation(0x01)", "      No Operation(0x01)"}},
        {"short sack", hex("0502 0503 ff 00 00 00"),
         {"      SACK(0x0502)", "      SACK(0x0503)", "        invalid suboption length : 1"}},
        // Fixed-size kinds show their literal head and advance by their own size.
        {"fixed size", hex("020805b4 03090a 01"),
         {"      Maximum Segment Size(0x0204) : 1460", "      Window Scale(0x0303) : 10 bytes", "      No Operation(0x01)"}},
        {"short echo", hex("0604 0000 01 000000"), {"      Echo(0x0604) : invalid length", "      No Operation(0x01)"}},
    };
    for (const auto& k : cases) EXPECT_EQ(option_lines(k.options), k.lines) << k.what;
}

TEST(TcpUdpOptions, MalformedEndTheWalk) {
    struct Case {
        const char* what;
        Frame options;
        std::vector<std::string> lines;
    } cases[] = {
        {"length 0", hex("01 1e00 0102 0304 05 00000000"), {"      No Operation(0x01)", "      option 30 : invalid length 0, 11 bytes not decoded"}},
        {"length 1", hex("0501 020400000000"), {"      SACK : invalid length 1, 8 bytes not decoded"}},
        {"past the header", hex("1e0a 0000"), {"      option 30 : length 10 runs past the header (4 bytes left)"}},
        {"timestamps at the end", hex("010101 08"), {"      No Operation(0x01)", "      No Operation(0x01)", "      No Operation(0x01)",
                                                      "      Timestamps : length 10 runs past the header (1 bytes left)"}},
        {"md5 near the end", hex("1312 001122334455"), {"      MD5 Signature : length 18 runs past the header (8 bytes left)"}},
        {"mss near the end", hex("010102 04"), {"      No Operation(0x01)", "      No Operation(0x01)",
                                                 "      Maximum Segment Size : length 4 runs past the header (2 bytes left)"}},
        {"no length byte", hex("01010105"), {"      No Operation(0x01)", "      No Operation(0x01)", "      No Operation(0x01)",
                                              "      SACK : no length byte at the end of the header"}},
        {"sack past the header", hex("0510 00000001 00000002 0000"), {"      SACK : length 16 runs past the header (12 bytes left)"}},
    };
    for (const auto& k : cases) EXPECT_EQ(option_lines(k.options), k.lines) << k.what;
}

TEST(TcpUdpOptions, HeaderBeyondTheCapture) {
    // Header length 40, only 30 bytes captured.
    Frame full = tcp_segment(1025, 8080, 0x02, 1, 0, 1, hex("020405b4 080a 00000001 00000002 01 01 01 01 01 01"));
    Frame seg(full.begin(), full.begin() + 30);
    Direct d;
    auto lines = d.detail(TCP, seg);
    EXPECT_EQ(from_line(lines, "    Options"),
              (std::vector<std::string>{"    Options", "      Maximum Segment Size(0x0204) : 1460",
                                        "      Options truncated : 10 of 20 bytes captured"}));
    EXPECT_TRUE(has(lines, "Checksum : 0x0000(not verified, 30 of 40 header bytes present)"));
    // A cut on an option boundary still says so.
    Frame at_boundary(full.begin(), full.begin() + 24);
    EXPECT_EQ(from_line(d.detail(TCP, at_boundary), "    Options"),
              (std::vector<std::string>{"    Options", "      Maximum Segment Size(0x0204) : 1460",
                                        "      Options truncated : 4 of 20 bytes captured"}));
    EXPECT_EQ(d.summary(TCP, seg).col[5], "1025(1025) > 8080(8080) SYN  Seq=1 Win=1 ");
}

// ---- port dispatch ----

TEST(TcpUdpDispatch, PortTable) {
    struct Case {
        int protocol;
        uint16_t s, d;
        int app_port;  // 0: no decoder, a Data line
    } cases[] = {
        {6, 20, 4000, 20},    {6, 4000, 21, 21},    {6, 23, 4000, 23},    {6, 25, 4000, 25},   {17, 4000, 53, 53},
        {6, 53, 4000, 53},    {17, 67, 68, 67},     {6, 4000, 80, 80},    {17, 4000, 80, 1900}, {6, 110, 4000, 110},
        {17, 111, 4000, 111}, {17, 123, 123, 123},  {17, 137, 137, 137},  {17, 138, 138, 138}, {6, 139, 4000, 139},
        {6, 143, 4000, 143},  {17, 4000, 161, 161}, {17, 162, 4000, 162}, {6, 179, 4000, 179}, {6, 4000, 443, 443},
        {17, 500, 500, 500},  {17, 514, 4000, 514}, {6, 514, 4000, 0},    {17, 520, 520, 520}, {6, 520, 520, 0},
        {17, 521, 521, 521},  {6, 4000, 554, 554},  {6, 4000, 1900, 1900}, {17, 1900, 4000, 1900},
        // A lower entry wins whichever side it is on.
        {17, 80, 53, 53},     {6, 1900, 80, 80},    {17, 1900, 80, 1900}, {17, 21, 53, 21},    {6, 554, 20, 20},
        // Unknown ports, and ports that are not TCP or UDP.
        {6, 4000, 4001, 0},   {17, 8080, 1025, 0},  {1, 53, 53, 0},       {58, 80, 80, 0},
    };
    for (const auto& k : cases) {
        Direct d;
        auto lines = d.dispatch(k.protocol, k.s, k.d, hex("0102030405"));
        EXPECT_EQ(d.c.app_port, k.app_port) << k.protocol << " " << k.s << " > " << k.d;
        EXPECT_EQ(has_data_line(lines, 5), k.app_port == 0) << k.protocol << " " << k.s << " > " << k.d;
    }
}

TEST(TcpUdpDispatch, ThroughTheTransportDecoders) {
    Direct d;
    // syslog over UDP; shell over TCP with a Data line.
    d.detail(UDP, udp_datagram(514, 514, hex("3c31333e6869")));
    EXPECT_EQ(d.c.app_port, 514);
    auto tcp514 = d.detail(TCP, tcp_segment(514, 514, 0x18, 1, 1, 1, {}, hex("6869")));
    EXPECT_EQ(d.c.app_port, 0);
    EXPECT_TRUE(has_data_line(tcp514, 2));
    EXPECT_TRUE(has(tcp514, "Source Port : shell(514)"));
    // UDP port 80 goes to HTTP as SSDP.
    d.summary(UDP, udp_datagram(1025, 80, hex("4d2d534541524348")));
    EXPECT_EQ(d.c.app_port, 1900);
    // TCP port 520 is not RIP.
    EXPECT_TRUE(has_data_line(d.detail(TCP, tcp_segment(520, 520, 0x18, 1, 1, 1, {}, hex("0102"))), 2));
    EXPECT_EQ(d.c.app_port, 0);
    // Source 21 and destination 53 over UDP: FTP.
    d.detail(UDP, udp_datagram(21, 53, hex("0102")));
    EXPECT_EQ(d.c.app_port, 21);
    // No payload: nothing is dispatched, not even a Data line.
    auto empty = d.detail(TCP, tcp_segment(4000, 4001, 0x10, 1, 1, 1));
    EXPECT_FALSE(has(empty, "Data : 0 bytes"));
    EXPECT_EQ(d.c.app_port, 0);
}

// ---- learnt FTP data ports ----

TEST(TcpUdpDataPorts, Register) {
    Direct d;
    make_current(&d.c);
    EXPECT_EQ(register_data_port(3001, 20), 0);
    EXPECT_EQ(d.c.data_ports.any_entry, 1);
    EXPECT_EQ(register_data_port(3001, 20), 0);  // known: no second entry
    for (int i = 1; i < 16; ++i) EXPECT_EQ(register_data_port(uint16_t(5000 + i), 20), i);
    EXPECT_EQ(register_data_port(6000, 20), 16);  // a 17th port is not learnt
    EXPECT_EQ(register_data_port(5015, 20), 15);
    for (const auto& e : d.c.data_ports.entries) EXPECT_NE(e.port, 6000);
    make_current(nullptr);
}

TEST(TcpUdpDataPorts, LearntPortIsFtpData) {
    Direct d;
    Frame to_server = tcp_segment(1025, 3001, 0x18, 1, 1, 1, {}, hex("6869"));
    Frame from_server = tcp_segment(3001, 1025, 0x18, 1, 1, 1, {}, hex("6869"));
    EXPECT_TRUE(has_data_line(d.detail(TCP, to_server), 2));
    make_current(&d.c);
    register_data_port(3001, 20);
    make_current(nullptr);
    for (const Frame& seg : {to_server, from_server}) {
        EXPECT_FALSE(has_data_line(d.detail(TCP, seg), 2));
        EXPECT_EQ(d.c.app_port, 20);
        d.summary(TCP, seg);
        EXPECT_EQ(d.c.app_port, 20);
    }
    // Only TCP payload goes there.
    EXPECT_TRUE(has_data_line(d.detail(UDP, udp_datagram(3001, 1025, hex("6869"))), 2));
    EXPECT_EQ(d.c.app_port, 0);
    // Frame 1 of a new pass forgets the port.
    d.decode_first_frame();
    EXPECT_EQ(d.c.data_ports.any_entry, 0);
    EXPECT_TRUE(has_data_line(d.detail(TCP, from_server), 2));
    EXPECT_EQ(d.c.app_port, 0);
}

TEST(TcpUdpDataPorts, WalkStopsAtUnusedOrOtherApplication) {
    Direct d;
    d.c.data_ports.any_entry = 1;
    d.c.data_ports.entries[0] = {0, 0, 0};
    d.c.data_ports.entries[1] = {1, 3001, 20};  // behind an unused entry: not reached
    Frame seg = tcp_segment(3001, 1025, 0x18, 1, 1, 1, {}, hex("6869"));
    EXPECT_TRUE(has_data_line(d.detail(TCP, seg), 2));
    d.c.data_ports.entries[0] = {1, 3001, 99};  // first match is not FTP data: the walk ends
    d.c.data_ports.entries[1] = {1, 3001, 20};
    EXPECT_TRUE(has_data_line(d.detail(TCP, seg), 2));
    EXPECT_EQ(d.c.app_port, 0);
}

// ---- whole frames through Ethernet II and IP ----

// Generated by scapy: Ether / IP 10.0.0.1 > 10.0.0.2 (or IPv6 2001:db8::1 > ::2).
const Frame eth_tcp4 = hex(
    "00112233445566778899aabb08004500002d00010000400666c80a0000010a00000204011f90000003e8000007d0501822380672"
    "000068656c6c6f");
const Frame eth_udp6 = hex(
    "00112233445566778899aabb86dd60000000000d114020010db800000000000000000000000120010db800000000000000000000"
    "000213881389000d397c68656c6c6f");
const Frame eth_tcp6_in_4 = hex(
    "00112233445566778899aabb080045000055000100004029667d0a0000010a000002600000000019064020010db8000000000000"
    "00000000000120010db800000000000000000000000204011f90000000010000000250120064ec8e000068656c6c6f");
// A 40-byte datagram padded to 60 bytes.
const Frame eth_padded = hex(
    "00112233445566778899aabb08004500002800010000400666cd0a0000010a00000204011f9000000001000000025010006477da"
    "0000000000000000");
// First fragments (More Fragments, offset 0) of a TCP segment and a UDP datagram.
const Frame eth_tcp_fragment = hex(
    "00112233445566778899aabb08004500002c00072000400646c30a0000010a00000204011f900000000100000002501800640e41"
    "000078787878");
const Frame eth_udp_fragment = hex(
    "00112233445566778899aabb08004500002c00082000401146b70a0000010a00000213881389003046fd79797979797979797979"
    "797979797979");
// More Fragments set, but the whole datagram is in this fragment.
const Frame eth_udp_whole_in_fragment =
    hex("00112233445566778899aabb08004500002100092000401146c10a0000010a00000213881389000d80ee68656c6c6f");
const Frame eth_tcp6 = hex(
    "00112233445566778899aabb86dd600000000019064020010db800000000000000000000000120010db800000000000000000000"
    "000204011f90000000010000000250120064ec8e000068656c6c6f");

TEST(TcpUdpFrames, SummaryAndChecksums) {
    zt::Summary s = zt::summarize(eth_tcp4);
    EXPECT_EQ(s.col[2], "10.0.0.1");
    EXPECT_EQ(s.col[3], "10.0.0.2");
    EXPECT_EQ(s.col[4], "TCP");
    EXPECT_EQ(s.col[5], "1025(1025) > 8080(8080) ACK PSH  Ack=2000 Seq=1000 Win=8760 ");
    struct Case {
        const char* what;
        Frame frame;
        const char* line;
        int data;  // size of the top-level Data line, -1 for none
    } cases[] = {
        {"tcp4", eth_tcp4, "Checksum : 0x0672(correct)", 5},
        {"udp6", eth_udp6, "Checksum : 0x397C(correct)", 5},
        {"tcp6", eth_tcp6, "Checksum : 0xEC8E(correct)", 5},
        {"tcp6 in ip4", eth_tcp6_in_4, "Checksum : 0xEC8E(correct)", 5},
        // Ethernet padding is not part of the segment.
        {"padded", eth_padded, "Checksum : 0x77DA(correct)", -1},
        // A cut capture or a first fragment gives no verdict.
        {"tcp4 cut", Frame(eth_tcp4.begin(), eth_tcp4.end() - 3), "Checksum : 0x0672(not verified, 22 of 25 bytes captured)", 2},
        {"tcp6 cut", Frame(eth_tcp6.begin(), eth_tcp6.end() - 4), "Checksum : 0xEC8E(not verified, 21 of 25 bytes captured)", 1},
        {"tcp fragment", eth_tcp_fragment, "Checksum : 0x0E41(not verified, first fragment)", 4},
        {"udp fragment", eth_udp_fragment, "Checksum : 0x46FD(not verified, first fragment)", 16},
        // The UDP length tells what the sum covers: here all of it.
        {"udp in one fragment", eth_udp_whole_in_fragment, "Checksum : 0x80EE(correct)", 5},
    };
    for (const auto& k : cases) {
        auto lines = zt::detail(k.frame);
        EXPECT_TRUE(has(lines, k.line)) << k.what;
        for (int n = 0; n <= 64; ++n) EXPECT_EQ(has_data_line(lines, n), n == k.data) << k.what << " " << n;
    }
    zt::Summary padded = zt::summarize(eth_padded);
    EXPECT_EQ(padded.col[5], "1025(1025) > 8080(8080) ACK  Ack=2 Seq=1 Win=100 ");
}

TEST(TcpUdpFrames, LayerOffsets) {
    struct Case {
        Frame frame;
        std::vector<int> protocols, offsets;
    } cases[] = {
        {eth_tcp4, {P_ETHERNET2, P_IP, P_TCP}, {16, 30, 50}},
        {eth_udp6, {P_ETHERNET2, P_IP6, P_UDP}, {16, 30, 70}},
        // The inner IPv6 header does not name itself.
        {eth_tcp6_in_4, {P_ETHERNET2, P_IP, P_TCP}, {16, 30, 90}},
    };
    for (const auto& k : cases) {
        FrameLayerIndex ix = zt::layers(k.frame);
        ASSERT_EQ(ix.count, int(k.protocols.size()));
        for (int i = 0; i < ix.count; ++i) {
            EXPECT_EQ(ix.entries[i].protocol, k.protocols[size_t(i)]) << i;
            EXPECT_EQ(ix.entries[i].offset, k.offsets[size_t(i)]) << i;
        }
    }
}

// ---- truncated headers, layer index ----

TEST(TcpUdpLayers, EntryAtTheTransportHeader) {
    for (Transport t : {TCP, UDP}) {
        Direct d;
        FrameLayerIndex ix = d.layers(t, t == TCP ? tcp4 : udp6);  // ports without a decoder
        ASSERT_EQ(ix.count, 1);
        EXPECT_EQ(ix.entries[0].protocol, t == TCP ? P_TCP : P_UDP);
        EXPECT_EQ(ix.entries[0].offset, RECORD_HEADER + LEAD);
        EXPECT_STREQ(ix.label, t == TCP ? "TCP" : "UDP");
    }
}

TEST(TcpUdpTruncated, EveryLengthInEveryMode) {
    struct Case {
        Transport t;
        Frame seg;
        int header;
        const char* name;
        const char* col5;  // once the fixed header is whole
    } cases[] = {
        // Ports without a decoder: the transport layer stays the top one.
        {TCP, tcp_segment(8080, 1025, 0x18, 5, 6, 7, hex("020405b4 01030307 080a 00000064 000000c8 0000"), hex("485454502f312e30")),
         20, "TCP", "8080(8080) > 1025(1025) ACK PSH  Ack=6 Seq=5 Win=7 "},
        {UDP, udp6, 8, "UDP", "5000(5000) > 5001(5001) data 5 octets"},
    };
    for (const auto& k : cases) {
        for (size_t n = 0; n <= k.seg.size(); ++n) {
            Frame seg(k.seg.begin(), k.seg.begin() + long(n));
            Direct d;
            zt::Summary s = d.summary(k.t, seg);
            EXPECT_EQ(s.col[4], k.name) << n;
            if (int(n) < k.header)
                EXPECT_EQ(s.col[5], std::string(k.name) + " header truncated (" + std::to_string(n) + " bytes captured)");
            else
                EXPECT_EQ(s.col[5], k.col5) << n;

            FrameLayerIndex ix = d.layers(k.t, seg);
            ASSERT_EQ(ix.count, 1) << n;
            EXPECT_EQ(ix.entries[0].offset, RECORD_HEADER + LEAD);

            auto lines = d.detail(k.t, seg);
            ASSERT_FALSE(lines.empty()) << n;
            EXPECT_EQ(lines[0].rfind(k.t == TCP ? "  Transmission Control Protocol" : "  User Datagram Protocol", 0), 0u);
            bool cut = has(lines, "Header truncated : " + std::to_string(n) + " of " + std::to_string(k.header) +
                                      " bytes captured");
            EXPECT_EQ(cut, int(n) < k.header) << n;

            DetailTree tree;
            d.tree(tree, k.t, seg);
            ASSERT_GT(tree.size(), 0);
            for (int32_t h = 1; h <= tree.size(); ++h) {
                EXPECT_GE(tree.line(h).offset, uint32_t(LEAD)) << n << " " << tree.text(h);
                EXPECT_LE(tree.line(h).offset + tree.line(h).length, uint32_t(LEAD + n)) << n << " " << tree.text(h);
            }
        }
    }
}

TEST(TcpUdpTruncated, FieldsShownWhenCaptured) {
    Direct d;
    Frame seg(tcp4.begin(), tcp4.begin() + 14);
    auto lines = d.detail(TCP, seg);
    std::vector<std::string> want = {
        "  Transmission Control Protocol",
        "    Source Port : 1025(1025)",
        "    Destination Port : 8080(8080)",
        "    Sequence Number : 1000",
        "    Acknowledgment Number : 2000",
        "    Header Length : 20 bytes",
        "    Control Bits (0x18) ACK PSH ",
    };
    for (auto& f : flag_lines(0x18)) want.push_back(f);
    want.push_back("    Header truncated : 14 of 20 bytes captured");
    EXPECT_EQ(lines, want);
    auto udp = d.detail(UDP, Frame(udp4.begin(), udp4.begin() + 5));
    EXPECT_EQ(udp, (std::vector<std::string>{"  User Datagram Protocol", "    Source Port : 1025(1025)",
                                             "    Destination Port : syslog(514)",
                                             "    Header truncated : 5 of 8 bytes captured"}));
}

}  // namespace
