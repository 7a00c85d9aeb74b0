// AppleTalk DDP and NBP, as SNAP hands them over in IEEE 802.3 frames.
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

// 802.3 + LLC + SNAP (AppleTalk OUI, type 0x809B): DDP starts at byte 22.
constexpr int DDP_AT = 22;

Frame dot3_snap(const Frame& ddp) {
    uint16_t n = uint16_t(8 + ddp.size());
    return cat({hex("090007FFFFFF 001B213A4F02"), Frame{uint8_t(n >> 8), uint8_t(n)}, hex("AAAA03 080007 809B"), ddp});
}

// A DDP long header: hops 0, the given length field (0: header + payload),
// checksum 0x12AB, destination 1000.255:2, source 1001.12:253.
Frame ddp(uint8_t type, const Frame& payload, int length = 0, uint8_t hops = 0) {
    int n = length ? length : int(13 + payload.size());
    uint16_t first = uint16_t(hops << 10 | (n & 0x3FF));
    return cat({Frame{uint8_t(first >> 8), uint8_t(first)}, hex("12AB 03E8 03E9 FF 0C 02 FD"), Frame{type}, payload});
}

std::vector<std::string> lines_of(const Frame& f) {
    std::vector<std::string> all = zt::detail(f);
    std::vector<std::string> out;
    bool on = false;
    for (const std::string& l : all) {
        if (l == "  Datagram Delivery Protocol") on = true;
        if (on) out.push_back(l);
    }
    return out;
}

// NBP: function and count, id 7, then tuples.
const Frame LOOKUP_TUPLE = hex("03E8 0C FD 00 01 3D 0B 4C61736572577269746572 01 2A");  // =:LaserWriter@*
const Frame REPLY_TUPLE = hex("03E8 28 81 01 06 4F6666696365 0B 4C61736572577269746572 01 2A");

}  // namespace

TEST(DdpSummary, ColumnsByType) {
    struct Case {
        uint8_t type;
        Frame payload;
        const char* column4;
        const char* column5;
    };
    const Case cases[] = {
        {2, cat({hex("2107"), LOOKUP_TUPLE}), "NBP", "Operation : LOOKUP(2)"},
        {2, cat({hex("3107"), REPLY_TUPLE}), "NBP", "Operation : REPLY(3)"},
        {2, hex("5007"), "NBP", "Operation : Unknown(5)"},
        {4, hex("01AABB"), "DDP", "AppleTalk Echo Protocol packet data 3 octets"},
        {88, hex("AABB"), "DDP", "Cisco EIGRP for AppleTalk data 2 octets"},
        {8, hex("AABBCCDD"), "DDP", "DDP data 4 octets"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(int(k.type));
        Frame f = dot3_snap(ddp(k.type, k.payload));
        zt::Summary s = zt::summarize(f);
        EXPECT_EQ(s.col[2], "1001.12:253");
        EXPECT_EQ(s.col[3], "1000.255:2");
        EXPECT_EQ(s.col[4], k.column4);
        EXPECT_EQ(s.col[5], k.column5);
        FrameLayerIndex ix = zt::layers(f);
        // 802.3 and LLC; SNAP does not name itself.
        ASSERT_EQ(ix.count, k.type == 2 ? 4 : 3);
        EXPECT_EQ(ix.entries[2].protocol, P_DDP);
        EXPECT_EQ(ix.entries[2].offset, 16 + DDP_AT);
        if (k.type == 2) {
            EXPECT_EQ(ix.entries[3].protocol, P_NBP);
            EXPECT_EQ(ix.entries[3].offset, 16 + DDP_AT + 13);
        }
    }
}

TEST(DdpDetail, HeaderLinesAndPayload) {
    std::vector<std::string> l = lines_of(dot3_snap(ddp(4, hex("01AABB"), 0, 5)));
    const std::vector<std::string> want = {
        "  Datagram Delivery Protocol",
        "    Hop Count : 5",
        "    Length : 16",
        "    Checksum : 0x12ab",
        "    Destination network number : 1000",
        "    Network of origin : 1001",
        "    Destination node address : 255",
        "    Node of origin : 12",
        "    Destination socket number : 2",
        "    Source socket number : 253",
        "    DDP protocol type : AppleTalk Echo Protocol packet(4)",
        "  Data : 3 bytes",
    };
    EXPECT_EQ(l, want);
    // The length field bounds the payload: padding after it is not data.
    l = lines_of(cat({dot3_snap(ddp(4, hex("01AABB"))), Frame(10, 0)}));
    EXPECT_EQ(l.back(), "  Data : 3 bytes");
    // A length past the capture: the payload stops at the captured bytes.
    l = lines_of(dot3_snap(ddp(9, hex("AABB"), 100)));
    EXPECT_EQ(l[2], "    Length : 100");
    EXPECT_EQ(l[10], "    DDP protocol type : Unknown(9)");
    EXPECT_EQ(l.back(), "  Data : 2 bytes");
    EXPECT_EQ(zt::summarize(dot3_snap(ddp(9, hex("AABB"), 100))).col[5], "DDP data 87 octets");

    DetailTree t;
    zt::display(t, dot3_snap(ddp(4, hex("01AABB"))));
    for (int32_t h = 1; h <= t.size(); ++h) {
        if (t.text(h) == "Datagram Delivery Protocol") {
            EXPECT_EQ(t.line(h).protocol, P_DDP);
            EXPECT_EQ(t.line(h).offset, uint32_t(DDP_AT));
            EXPECT_EQ(t.line(h).length, 13u);
        }
        if (t.text(h) == "Node of origin : 12") {
            EXPECT_EQ(t.line(h).offset, uint32_t(DDP_AT + 9));
        }
        if (t.text(h) == "Destination socket number : 2") {
            EXPECT_EQ(t.line(h).offset, uint32_t(DDP_AT + 10));
        }
    }
    // Type 22 carries IPv4.
    Frame ip = hex("45000014 00010000 40FF0000 0A000001 0A000002");
    EXPECT_TRUE(zt::has_line(zt::detail(dot3_snap(ddp(22, ip))), "Internet Protocol : 10.0.0.1 > 10.0.0.2"));
}

TEST(DdpTruncated, ShortHeader) {
    Frame f = dot3_snap(ddp(4, hex("")));
    f.resize(DDP_AT + 9);
    zt::Summary s = zt::summarize(f);
    EXPECT_EQ(s.col[4], "DDP");
    EXPECT_EQ(s.col[5], "DDP header truncated (9 bytes captured)");
    EXPECT_EQ(s.col[2], "00:1B:21:3A:4F:02");  // the link layer's address stays
    std::vector<std::string> l = lines_of(f);
    EXPECT_EQ(l.back(), "    Header truncated : 9 of 13 bytes captured");
    EXPECT_EQ(l[l.size() - 2], "    Destination node address : 255");
}

TEST(Nbp, TuplesAndWalk) {
    Frame f = dot3_snap(ddp(2, cat({hex("3207"), REPLY_TUPLE, LOOKUP_TUPLE})));
    std::vector<std::string> l = lines_of(f);
    std::vector<std::string> nbp(l.begin() + 11, l.end());
    const std::vector<std::string> want = {
        "  Name-Binding Protocol",
        "    Operation : REPLY(3)",
        "    Count : 2",
        "    Network Name 1",
        "      Network number : 1000",
        "      Node ID : 40",
        "      Socket number : 129",
        "      Object name : Office",
        "      Type name : LaserWriter",
        "      Zone name : *",
        "    Network Name 2",
        "      Network number : 1000",
        "      Node ID : 12",
        "      Socket number : 253",
        "      Object name : =",
        "      Type name : LaserWriter",
        "      Zone name : *",
    };
    EXPECT_EQ(nbp, want);

    // A count past the tuples present: the walk ends with the data.
    l = lines_of(dot3_snap(ddp(2, cat({hex("2F07"), LOOKUP_TUPLE}))));
    EXPECT_EQ(l.back(), "      Zone name : *");
    EXPECT_TRUE(zt::has_line(l, "Count : 15"));
    // Count 0 shows no tuple even when bytes follow.
    l = lines_of(dot3_snap(ddp(2, cat({hex("2007"), LOOKUP_TUPLE}))));
    EXPECT_EQ(l.back(), "    Count : 0");
    // A name running past the data, and a tuple cut inside its fixed part.
    Frame cut = cat({hex("2107"), LOOKUP_TUPLE});
    cut.resize(cut.size() - 3);
    l = lines_of(dot3_snap(ddp(2, cut)));
    EXPECT_EQ(l.back(), "      Type name truncated : 10 of 11 bytes captured");
    l = lines_of(dot3_snap(ddp(2, hex("2107 03E8 0C"))));
    EXPECT_EQ(l.back(), "      Header truncated : 3 of 5 bytes captured");
    // Each tuple node covers its own tuple: fixed part and the three names.
    DetailTree t;
    zt::display(t, f);
    int seen = 0;
    for (int32_t h = 1; h <= t.size(); ++h) {
        if (t.text(h) == "Network Name 1") {
            EXPECT_EQ(t.line(h).offset, uint32_t(DDP_AT + 13 + 2));
            EXPECT_EQ(t.line(h).length, uint32_t(REPLY_TUPLE.size()));
            ++seen;
        }
        if (t.text(h) == "Network Name 2") {
            EXPECT_EQ(t.line(h).offset, uint32_t(DDP_AT + 13 + 2 + REPLY_TUPLE.size()));
            EXPECT_EQ(t.line(h).length, uint32_t(LOOKUP_TUPLE.size()));
            ++seen;
        }
    }
    EXPECT_EQ(seen, 2);
    // A tuple cut inside a name covers what was captured of it.
    DetailTree c;
    zt::display(c, dot3_snap(ddp(2, cut)));
    for (int32_t h = 1; h <= c.size(); ++h)
        if (c.text(h) == "Network Name 1") {
            EXPECT_EQ(c.line(h).length, uint32_t(cut.size() - 2));
        }
    EXPECT_EQ(zt::summarize(dot3_snap(ddp(2, hex("")))).col[5], "NBP header truncated (0 bytes captured)");
}
