// Linux cooked captures (v1, v2) and raw IP links: columns, detail lines, the
// EtherType dispatch, the layer index and conditions over them, cut headers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "condition/condition.h"
#include "condition/layer_index.h"
#include "decode/decoders.h"
#include "decode/engine.h"
#include "store/capture_file.h"
#include "store/frame_store.h"
#include "tests/support.h"

using namespace zelpan;
using zt::cat;
using zt::Frame;
using zt::hex;

namespace {

// IPv4/UDP 10.0.0.1:5000 > 10.0.0.2:5001 with 4 payload bytes (as in the link tests).
const Frame UDP_DATAGRAM = hex("4500002000020000401166c90a0000010a00000213881389000cfffb61626364");
// IPv6/UDP ::1 > ::2, ports 5000 > 5001, 2 payload bytes (checksum not checked here).
const Frame UDP6_DATAGRAM = hex("60000000000a1140" "00000000000000000000000000000001"
                                "00000000000000000000000000000002" "13881389000a00006869");
// ARP request: 00:50:56:C0:00:08 / 10.0.0.9 asks for 10.0.0.5.
const Frame ARP_REQUEST = hex("0001080006040001005056c000080a000009000000000000" "0a000005");
const Frame PEER = hex("005056c00008");

Frame be16(unsigned v) { return {uint8_t(v >> 8), uint8_t(v)}; }
Frame be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }
Frame address_field(const Frame& a) {
    Frame f = a;
    f.resize(8, 0);
    return f;
}

Frame cooked(unsigned packet_type, unsigned protocol, const Frame& payload, const Frame& address = PEER,
             unsigned device = 1, int stated_length = -1) {
    unsigned n = stated_length < 0 ? unsigned(address.size()) : unsigned(stated_length);
    return cat({be16(packet_type), be16(device), be16(n), address_field(address), be16(protocol), payload});
}
Frame cooked2(unsigned packet_type, unsigned protocol, const Frame& payload, uint32_t ifindex = 2,
              const Frame& address = PEER, unsigned device = 1) {
    return cat({be16(protocol), be16(0), be32(ifindex), be16(device), {uint8_t(packet_type)},
                {uint8_t(address.size())}, address_field(address), payload});
}

struct Layer {
    int protocol;
    int offset;
};
bool operator==(const Layer& a, const Layer& b) { return a.protocol == b.protocol && a.offset == b.offset; }
void PrintTo(const Layer& l, std::ostream* os) { *os << protocol_name(l.protocol - 1) << "@" << l.offset; }
std::vector<Layer> layer_list(const Frame& f, int link_type) {
    FrameLayerIndex ix = zt::layers(f, link_type);
    std::vector<Layer> out;
    for (int i = 0; i < ix.count; ++i) out.push_back({ix.entries[i].protocol, ix.entries[i].offset});
    return out;
}

// The lines below the frame's own (its four time lines differ between runs of a table).
std::vector<std::string> link_lines(const Frame& f, int link_type) {
    std::vector<std::string> all = zt::detail(f, link_type);
    return std::vector<std::string>(all.begin() + 5, all.end());
}

}  // namespace

// ---- Linux cooked v1 ----

TEST(Cooked, SummaryColumns) {
    struct Case {
        const char* what;
        int link_type;
        Frame frame;
        const char *source, *destination, *protocol, *description;  // nullptr: not checked
    } cases[] = {
        {"IPv4 to us", 113, cooked(0, 0x0800, UDP_DATAGRAM), "10.0.0.1", "10.0.0.2", "UDP", nullptr},
        {"IPv6 sent by us", 113, cooked(4, 0x86DD, UDP6_DATAGRAM), "::1", "::2", "UDP", nullptr},
        {"ARP broadcast", 113, cooked(1, 0x0806, ARP_REQUEST), "00:50:56:C0:00:08", "N/A", "ARP",
         "Who has 10.0.0.5 ? Tell 10.0.0.9"},
        {"no decoder for the type", 113, cooked(3, 0x88CC, Frame(12, 0)), "00:50:56:C0:00:08", "N/A",
         "LINUX COOKED", "LINUX COOKED data 12 octets (Unicast to another host(3))"},
        {"netlink: the protocol is a family", 113, cooked(0, 0x0800, UDP_DATAGRAM, {}, 824), "N/A", "N/A",
         "LINUX COOKED", "LINUX COOKED data 32 octets (Unicast to us(0))"},
        {"tunnel address of 4 bytes", 113, cooked(2, 0x1234, {}, hex("0a000001"), 768), "0A:00:00:01", "N/A",
         "LINUX COOKED", "LINUX COOKED data 0 octets (Multicast(2))"},
        {"address length beyond its field", 113, cooked(5, 0x1234, {}, hex("0102030405060708"), 32, 20),
         "01:02:03:04:05:06:07:08", "N/A", "LINUX COOKED", "LINUX COOKED data 0 octets (Loopback(5))"},
        {"unknown packet type", 113, cooked(9, 0x1234, {}), nullptr, nullptr, "LINUX COOKED",
         "LINUX COOKED data 0 octets (Unknown(9))"},
        {"v2 IPv4", 276, cooked2(0, 0x0800, UDP_DATAGRAM), "10.0.0.1", "10.0.0.2", "UDP", nullptr},
        {"v2 ARP", 276, cooked2(1, 0x0806, ARP_REQUEST), "00:50:56:C0:00:08", "N/A", "ARP", nullptr},
        {"v2 no decoder", 276, cooked2(4, 0x88CC, Frame(3, 0)), "00:50:56:C0:00:08", "N/A", "LINUX COOKED V2",
         "LINUX COOKED V2 data 3 octets (Sent by us(4))"},
        {"v2 no address", 276, cooked2(4, 0x88CC, {}, 1, {}), "N/A", "N/A", "LINUX COOKED V2", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        zt::Summary s = zt::summarize(c.frame, c.link_type);
        if (c.source) {
            EXPECT_EQ(s.col[2], c.source);
        }
        if (c.destination) {
            EXPECT_EQ(s.col[3], c.destination);
        }
        EXPECT_EQ(s.col[4], c.protocol);
        if (c.description) {
            EXPECT_EQ(s.col[5], c.description);
        }
    }
}

TEST(Cooked, DetailLinesOfBothVersions) {
    EXPECT_EQ(link_lines(cooked(4, 0x88CC, Frame(6, 0xAB), PEER, 772), 113),
              (std::vector<std::string>{
                  "  Linux Cooked Capture",
                  "    Packet Type : Sent by us(4)",
                  "    Address Type : Loopback(772)",
                  "    Address Length : 6",
                  "    Source : 00:50:56:C0:00:08",
                  "    Protocol : 0x88CC(0x88CC)",
                  "  Data : 6 bytes",
              }));
    EXPECT_EQ(link_lines(cooked(0, 0x0004, hex("AAAB03"), {}, 65534), 113)[0], "  Linux Cooked Capture");
    EXPECT_EQ(link_lines(cooked(0, 0x0004, hex("AAAB03"), {}, 65534), 113)[4], "    Source : No address");
    EXPECT_EQ(link_lines(cooked(0, 0x0004, hex("AAAB03"), {}, 65534), 113)[5], "    Protocol : IEEE 802.2 LLC(0x0004)");
    EXPECT_EQ(link_lines(cooked2(1, 0x9999, Frame(2, 0), 0x01020304, PEER, 801), 276),
              (std::vector<std::string>{
                  "  Linux Cooked Capture v2",
                  "    Protocol : 0x9999(0x9999)",
                  "    Reserved : 0x0000",
                  "    Interface Index : 16909060",
                  "    Address Type : IEEE 802.11(801)",
                  "    Packet Type : Broadcast(1)",
                  "    Address Length : 6",
                  "    Source : 00:50:56:C0:00:08",
                  "  Data : 2 bytes",
              }));
    // The byte ranges: the node covers the header, each line its field.
    DetailTree t;
    zt::display(t, cooked2(1, 0x9999, Frame(2, 0)), 276);
    struct Range {
        const char* prefix;
        uint32_t offset, length;
    } ranges[] = {{"Linux Cooked Capture v2", 0, 20}, {"Protocol", 0, 2}, {"Reserved", 2, 2},
                  {"Interface Index", 4, 4}, {"Address Type", 8, 2}, {"Packet Type", 10, 1},
                  {"Address Length", 11, 1}, {"Source", 12, 8}, {"Data", 20, 2}};
    for (const auto& r : ranges) {
        int32_t found = 0;
        for (int32_t h = 1; h <= t.size() && !found; ++h)
            if (t.text(h).rfind(r.prefix, 0) == 0) found = h;
        ASSERT_NE(found, 0) << r.prefix;
        EXPECT_EQ(t.line(found).offset, r.offset) << r.prefix;
        EXPECT_EQ(t.line(found).length, r.length) << r.prefix;
    }
    int32_t top = t.first_top();
    top = t.line(top).next_sibling;
    EXPECT_EQ(t.text(top), "Linux Cooked Capture v2");
    EXPECT_EQ(t.line(top).protocol, P_SLL);
    EXPECT_EQ(t.line(top).parent, ROOT_NODE);
}

TEST(Cooked, EtherTypeDispatchAndLayerIndex) {
    const Frame ipx = hex("ffff001e00000000000000000001000000000002000000000000000000030002");
    struct Case {
        const char* what;
        int link_type;
        Frame frame;
        std::vector<Layer> layers;
    } cases[] = {
        {"v1 IPv4/UDP", 113, cooked(0, 0x0800, UDP_DATAGRAM), {{P_SLL, 16}, {P_IP, 32}, {P_UDP, 52}}},
        {"v1 IPv6/UDP", 113, cooked(4, 0x86DD, UDP6_DATAGRAM), {{P_SLL, 16}, {P_IP6, 32}, {P_UDP, 72}}},
        {"v1 ARP", 113, cooked(1, 0x0806, ARP_REQUEST), {{P_SLL, 16}, {P_ARP, 32}}},
        {"v1 RARP", 113, cooked(1, 0x8035, ARP_REQUEST), {{P_SLL, 16}, {P_ARP, 32}}},
        {"v1 802.2 LLC", 113, cooked(2, 0x0004, hex("0606030000")), {{P_SLL, 16}, {P_LLC, 32}}},
        {"v1 netlink", 113, cooked(0, 0x0800, UDP_DATAGRAM, {}, 824), {{P_SLL, 16}}},
        {"v1 unknown type", 113, cooked(0, 0x88CC, UDP_DATAGRAM), {{P_SLL, 16}}},
        {"v2 IPv4/UDP", 276, cooked2(0, 0x0800, UDP_DATAGRAM), {{P_SLL, 16}, {P_IP, 36}, {P_UDP, 56}}},
        {"v2 IPv6/UDP", 276, cooked2(0, 0x86DD, UDP6_DATAGRAM), {{P_SLL, 16}, {P_IP6, 36}, {P_UDP, 76}}},
        {"v2 ARP", 276, cooked2(1, 0x0806, ARP_REQUEST), {{P_SLL, 16}, {P_ARP, 36}}},
        {"raw IPv4", 101, UDP_DATAGRAM, {{P_IP, 16}, {P_UDP, 36}}},
        {"raw IPv6", 101, UDP6_DATAGRAM, {{P_IP6, 16}, {P_UDP, 56}}},
    };
    // Novell raw 802.3 goes to IPX rather than to a data line.
    EXPECT_FALSE(zt::has_line(zt::detail(cooked(0, 0x0001, ipx), 113), "Data : 32 bytes"));
    EXPECT_TRUE(zt::has_line(zt::detail(cooked(0, 0x0002, ipx), 113), "Data : 32 bytes"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Layer> got = layer_list(c.frame, c.link_type);
        if (got.size() > c.layers.size()) got.resize(c.layers.size());
        EXPECT_EQ(got, c.layers);
    }
}

TEST(RawIp, EveryRawLinkTypeGoesByTheVersionNibble) {
    for (int link : {12, 14, 101, 228, 229}) {
        SCOPED_TRACE(link);
        zt::Summary v4 = zt::summarize(UDP_DATAGRAM, link);
        EXPECT_EQ(v4.col[2], "10.0.0.1");
        EXPECT_EQ(v4.col[3], "10.0.0.2");
        EXPECT_EQ(v4.col[4], "UDP");
        zt::Summary v6 = zt::summarize(UDP6_DATAGRAM, link);
        EXPECT_EQ(v6.col[2], "::1");
        EXPECT_EQ(v6.col[4], "UDP");
        zt::Summary other = zt::summarize(hex("5000000102"), link);
        EXPECT_EQ(other.col[4], "");
        EXPECT_EQ(other.col[5], "Unknown IP version 5, 5 octets");
        std::vector<std::string> lines = link_lines(hex("5000000102"), link);
        EXPECT_EQ(lines, std::vector<std::string>{"  Data : 5 bytes"});
        EXPECT_EQ(link_lines({}, link), std::vector<std::string>{});
        EXPECT_EQ(zt::summarize({}, link).col[5], "");
    }
    // Link types next to them keep the Ethernet decoder.
    for (int link : {11, 13, 100, 102, 227, 230, 112, 114, 275, 277})
        EXPECT_EQ(zt::summarize(cat({hex("00a0241b7c05080020010203"), be16(0x0800), UDP_DATAGRAM}), link).col[4],
                  "UDP")
            << link;
}

// Every cut of a cooked frame: the header's own name and a truncation note until
// it is whole, never a read past the cut (the sanitizer build checks that).
TEST(Cooked, CutAtEveryLength) {
    struct Case {
        int link_type;
        Frame frame;
        int header;
        const char* name;
    } cases[] = {{113, cooked(0, 0x0800, UDP_DATAGRAM), 16, "LINUX COOKED"},
                 {276, cooked2(0, 0x0800, UDP_DATAGRAM), 20, "LINUX COOKED V2"}};
    for (const auto& c : cases) {
        for (size_t n = 0; n <= c.frame.size(); ++n) {
            SCOPED_TRACE(std::to_string(c.link_type) + " cut " + std::to_string(n));
            Frame p(c.frame.begin(), c.frame.begin() + long(n));
            zt::Summary s = zt::summarize(p, c.link_type);
            std::vector<std::string> lines = zt::detail(p, c.link_type);
            DetailTree t;
            zt::display(t, p, c.link_type);
            for (int32_t h = 1; h <= t.size(); ++h) EXPECT_LE(t.line(h).offset + t.line(h).length, n);
            FrameLayerIndex ix = zt::layers(p, c.link_type);
            ASSERT_GE(ix.count, 1);
            EXPECT_EQ(ix.entries[0].protocol, P_SLL);
            if (int(n) < c.header) {
                EXPECT_EQ(s.col[4], c.name);
                EXPECT_EQ(s.col[5], std::string(c.name) + " header truncated (" + std::to_string(n) +
                                        " bytes captured)");
                EXPECT_EQ(s.col[2], "");
                EXPECT_TRUE(zt::has_line(lines, "Header truncated : " + std::to_string(n) + " of " +
                                                    std::to_string(c.header) + " bytes captured"));
                EXPECT_EQ(ix.count, 1);
            } else if (int(n) == c.header) {
                EXPECT_EQ(s.col[4], "IP");  // the IPv4 header is cut to nothing
            } else if (n == c.frame.size()) {
                EXPECT_EQ(s.col[4], "UDP");
            }
        }
    }
}

// Conditions reach the cooked header by its name and the layers above it as over
// Ethernet.
TEST(Cooked, ConditionsSeeTheLayers) {
    std::vector<Frame> frames = {cooked(0, 0x0800, UDP_DATAGRAM), cooked(4, 0x0806, ARP_REQUEST),
                                 cooked(4, 0x86DD, UDP6_DATAGRAM)};
    uint64_t need = STORE_HEAD;
    for (const auto& f : frames) need += 16 + f.size();
    FrameStore store;
    ASSERT_TRUE(store.allocate(uint32_t(need)));
    for (const auto& f : frames) ASSERT_NE(store.append(1, 2, f.data(), uint32_t(f.size())), nullptr);
    DecodeContext c;
    c.link_type = 113;
    LayerIndexList list;
    BuildLayerIndexes(c, store, list);
    ASSERT_EQ(list.size(), 3u);
    auto eval = [&](uint32_t i, const char* text) {
        ConditionParse p;
        ConditionExpression e;
        ParseCondition(p, text, 0, e);
        EXPECT_EQ(p.error_flags, 0u) << text;
        FrameLayerIndex ix;
        list.view(i, ix);
        return EvaluateCondition(store, ix, e);
    };
    EXPECT_EQ(eval(0, "sll"), 1);
    EXPECT_EQ(eval(0, "sll[0:2] == 4"), 0);
    EXPECT_EQ(eval(1, "sll[0:2] == 4"), 1);
    EXPECT_EQ(eval(1, "sll[14:2] == 0x0806"), 1);
    EXPECT_EQ(eval(0, "ip[9:1] == 17"), 1);
    EXPECT_EQ(eval(0, "udp[2:2] == 5001"), 1);
    EXPECT_EQ(eval(1, "arp[6:2] == 1"), 1);
    EXPECT_EQ(eval(2, "ip6[6:1] == 17"), 1);
    EXPECT_EQ(eval(2, "ethernet2"), 0);
    EXPECT_EQ(list.label(0), "UDP");
}

TEST(Cooked, FixtureCaptures) {
    struct Expect {
        std::vector<Layer> layers;
        const char* description;
    };
    const struct {
        const char* file;
        int link_type;
        std::vector<Expect> frames;
    } cases[] = {
        {"/samples/cooked.zlc",
         113,
         {{{{P_SLL, 16}, {P_IP, 32}, {P_UDP, 52}}, nullptr},
          {{{P_SLL, 16}, {P_IP, 32}, {P_TCP, 52}}, nullptr},
          {{{P_SLL, 16}, {P_ARP, 32}}, "Who has 10.0.0.5 ? Tell 10.0.0.9"},
          {{{P_SLL, 16}, {P_IP6, 32}}, nullptr},
          {{{P_SLL, 16}, {P_LLC, 32}}, nullptr},
          {{{P_SLL, 16}}, "LINUX COOKED data 16 octets (Unicast to us(0))"},
          {{{P_SLL, 16}}, "LINUX COOKED data 12 octets (Unicast to another host(3))"},
          {{{P_SLL, 16}}, "LINUX COOKED header truncated (10 bytes captured)"}}},
        {"/samples/cooked2.zlc",
         276,
         {{{{P_SLL, 16}, {P_IP, 36}, {P_UDP, 56}}, nullptr},
          {{{P_SLL, 16}, {P_IP6, 36}, {P_UDP, 76}}, nullptr},
          {{{P_SLL, 16}, {P_ARP, 36}}, nullptr},
          {{{P_SLL, 16}}, "LINUX COOKED V2 header truncated (15 bytes captured)"}}},
        {"/samples/rawip.zlc",
         101,
         {{{{P_IP, 16}, {P_ICMP, 36}}, nullptr},
          {{{P_IP6, 16}, {P_UDP, 56}}, nullptr},
          {{{P_IP, 16}, {P_TCP, 36}}, nullptr},
          {{}, "Unknown IP version 5, 20 octets"}}},
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
