// Spanning tree (STP, RSTP) and GARP (GMRP, GVRP) behind LLC SAP 0x42.
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

constexpr int BPDU_AT = 17;  // 802.3 header and a 3-byte LLC header

Frame llc42(const Frame& pdu, const char* destination = "0180C2000000") {
    uint16_t n = uint16_t(3 + pdu.size());
    return cat({hex(destination), hex("000DB9416A30"), Frame{uint8_t(n >> 8), uint8_t(n)}, hex("424203"), pdu});
}

// Configuration BPDU: root 32768.00:0D:B9:41:6A:30, cost 4, bridge 32769.00:0D:B9:41:6A:31,
// port 0x8001, ages 1/20/2/15 seconds (in 1/256 s).
Frame bpdu(uint8_t version, uint8_t type, uint8_t flags) {
    return cat({Frame{0, 0, version, type, flags}, hex("8000 000DB9416A30 00000004 8001 000DB9416A31 8001"),
                hex("0100 1400 0200 0F00")});
}

std::vector<std::string> lines_from(const Frame& f, const std::string& first) {
    std::vector<std::string> all = zt::detail(f);
    std::vector<std::string> out;
    bool on = false;
    for (const std::string& l : all) {
        if (l == first) on = true;
        if (on) out.push_back(l);
    }
    return out;
}

}  // namespace

TEST(Stp, ConfigurationBpdu) {
    Frame f = llc42(bpdu(0, 0x00, 0x81));
    zt::Summary s = zt::summarize(f);
    EXPECT_EQ(s.col[4], "STP");
    EXPECT_EQ(s.col[5], "BPDU Type : Configuration(0x00)");
    FrameLayerIndex ix = zt::layers(f);
    ASSERT_EQ(ix.count, 3);
    EXPECT_EQ(ix.entries[2].protocol, P_STP);
    EXPECT_EQ(ix.entries[2].offset, 16 + BPDU_AT);
    const std::vector<std::string> want = {
        "  Spanning Tree Protocol",
        "    Protocol Identifier : 0x0000",
        "    Protocol Version Identifier : 0",
        "    BPDU(Bridge Protocol Data Unit) Type : Configuration(0x00)",
        "    Flags : 0x81",
        "      1*** **** : Topology Change Acknowledgment(ON)",
        "      **** ***1 : Topology Change(ON)",
        "    Root : 32768.00:0D:B9:41:6A:30",
        "    Root path cost : 4",
        "    Bridge : 32769.00:0D:B9:41:6A:31",
        "    Port : 0x8001",
        "    Message Age : 1 ",
        "    Max Age : 20 ",
        "    Hello Time : 2 ",
        "    Forward Delay : 15 ",
    };
    EXPECT_EQ(lines_from(f, "  Spanning Tree Protocol"), want);

    DetailTree t;
    zt::display(t, f);
    struct Range {
        const char* text;
        uint32_t offset, length;
    };
    const Range ranges[] = {
        {"Spanning Tree Protocol", 0, 35}, {"Root path cost : 4", 13, 4}, {"Bridge : 32769.00:0D:B9:41:6A:31", 17, 8},
        {"Port : 0x8001", 25, 2},          {"Hello Time : 2 ", 31, 2},     {"Forward Delay : 15 ", 33, 2},
    };
    for (const Range& r : ranges) {
        int32_t found = 0;
        for (int32_t h = 1; h <= t.size(); ++h)
            if (t.text(h) == r.text) found = h;
        ASSERT_NE(found, 0) << r.text;
        EXPECT_EQ(t.line(found).offset, BPDU_AT + r.offset) << r.text;
        EXPECT_EQ(t.line(found).length, r.length) << r.text;
    }
}

TEST(Stp, RapidSpanningTreeFlags) {
    Frame f = llc42(cat({bpdu(2, 0x02, 0x5E), hex("00")}));
    zt::Summary s = zt::summarize(f);
    EXPECT_EQ(s.col[4], "RSTP");
    EXPECT_EQ(s.col[5], "BPDU Type : Rapid Spanning Tree(0x02)");
    std::vector<std::string> l = lines_from(f, "  Rapid Spanning Tree Protocol");
    ASSERT_GE(l.size(), 13u);
    const std::vector<std::string> flags = {
        "    Flags : 0x5E",
        "      0*** **** : Topology Change Acknowledgment(OFF)",
        "      *1** **** : Agreement(ON)",
        "      **0* **** : Forwarding(OFF)",
        "      ***1 **** : Learning(ON)",
        "      **** 11** : Port Role=3",
        "      **** **1* : Proposal(ON)",
        "      **** ***0 : Topology Change(OFF)",
    };
    EXPECT_EQ(std::vector<std::string>(l.begin() + 4, l.begin() + 12), flags);
    // Port role 2 (root) in bits 0x0C.
    l = lines_from(llc42(bpdu(2, 0x02, 0x08)), "  Rapid Spanning Tree Protocol");
    EXPECT_EQ(l[9], "      **** 10** : Port Role=2");
    // Version 0 with the same flags shows only the two STP flag bits.
    l = lines_from(llc42(bpdu(0, 0x00, 0x5E)), "  Spanning Tree Protocol");
    EXPECT_EQ(l[6], "      **** ***0 : Topology Change(OFF)");
}

TEST(Stp, NotificationsUnknownAndTruncated) {
    std::vector<std::string> l = lines_from(llc42(hex("00000080")), "  Spanning Tree Protocol");
    EXPECT_EQ(l.back(), "    BPDU(Bridge Protocol Data Unit) Type : Topology Change Notification(0x80)");
    EXPECT_EQ(zt::summarize(llc42(hex("00000080"))).col[5], "BPDU Type : Topology Change Notification(0x80)");

    l = lines_from(llc42(hex("0001 0003 0405")), "  Spanning Tree Protocol");
    EXPECT_EQ(l, (std::vector<std::string>{"  Spanning Tree Protocol", "    Unknown : Data 6 bytes"}));
    // The summary names the type byte whatever the protocol identifier says.
    EXPECT_EQ(zt::summarize(llc42(hex("0001 0003 0405"))).col[5], "BPDU Type : Unknown(0x03)");
    EXPECT_EQ(zt::summarize(llc42(hex("0001 0002 0405"))).col[5], "BPDU Type : Rapid Spanning Tree(0x02)");
    EXPECT_EQ(zt::summarize(llc42(hex("0001 00"))).col[5], "STP header truncated (3 bytes captured)");
    EXPECT_EQ(zt::summarize(llc42(bpdu(0, 0x07, 0))).col[5], "BPDU Type : Unknown(0x07)");

    // Cut in the root path cost: the fields captured whole, then the truncation line.
    Frame cut = bpdu(0, 0, 0);
    cut.resize(15);
    l = lines_from(llc42(cut), "  Spanning Tree Protocol");
    EXPECT_EQ(l.back(), "    Header truncated : 15 of 35 bytes captured");
    EXPECT_EQ(l[l.size() - 2], "    Root : 32768.00:0D:B9:41:6A:30");
    EXPECT_EQ(zt::summarize(llc42(cut)).col[5], "STP header truncated (15 bytes captured)");
    EXPECT_EQ(zt::summarize(llc42(hex("000000"))).col[5], "STP header truncated (3 bytes captured)");
    EXPECT_EQ(zt::summarize(llc42(hex("0000 02 80"))).col[4], "RSTP");
}

TEST(Garp, GmrpAndGvrpByDestination) {
    // GVRP join for VLAN 10: protocol id 1, attribute type 1, one attribute, end marks.
    const Frame gvrp = hex("0001 01 0402000A 00 00");
    struct Case {
        const char* destination;
        const char* column4;
        const char* column5;
        int protocol;
        const char* title;
    };
    const Case cases[] = {
        {"0180C2000021", "GVRP", "GVRP data 9 octets", P_GVRP, "  GARP VLAN Registration Protocol"},
        {"0180C2000020", "GMRP", "GMRP data 9 octets", P_GMRP, "  GARP Multicast Registration Protocol"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.column4);
        Frame f = llc42(gvrp, k.destination);
        zt::Summary s = zt::summarize(f);
        EXPECT_EQ(s.col[4], k.column4);
        EXPECT_EQ(s.col[5], k.column5);
        FrameLayerIndex ix = zt::layers(f);
        ASSERT_EQ(ix.count, 3);
        EXPECT_EQ(ix.entries[2].protocol, k.protocol);
        EXPECT_EQ(ix.entries[2].offset, 16 + BPDU_AT);
        // The spanning tree decoder runs on the same bytes.
        EXPECT_EQ(lines_from(f, k.title), (std::vector<std::string>{k.title, "    Data : 9 bytes",
                                                                    "  Spanning Tree Protocol",
                                                                    "    Unknown : Data 9 bytes"}));
    }
    // A BPDU sent to a GARP address still names itself after GARP has.
    Frame b = llc42(bpdu(0, 0, 0), "0180C2000021");
    EXPECT_EQ(zt::summarize(b).col[4], "STP");
    FrameLayerIndex ix = zt::layers(b);
    ASSERT_EQ(ix.count, 4);
    EXPECT_EQ(ix.entries[2].protocol, P_GVRP);
    EXPECT_EQ(ix.entries[3].protocol, P_STP);
    // Other group addresses are plain spanning tree.
    EXPECT_EQ(zt::summarize(llc42(gvrp, "0180C2000022")).col[4], "STP");
    // Through the decoder directly, the context's destination decides.
    zt::Direct d(decode_stp, 17, [](DecodeContext& c) { c.destination_mac[5] = 0x20; });
    EXPECT_EQ(d.summary(gvrp).col[4], "GMRP");
}
