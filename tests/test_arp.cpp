// ARP, RARP, InARP and AARP, decoded directly as Ethernet II would hand them
// over, and through whole Ethernet frames once the link decoders are there.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "tests/support.h"

using namespace zelpan;
using zt::cat;
using zt::Frame;
using zt::hex;

using zt::Decoder;
using zt::Lines;

namespace {


// Bytes standing for the Ethernet header, so that layer offsets and byte ranges
// come from a real position inside the frame.
constexpr int LEAD = 14;



struct Direct : zt::Direct {
    explicit Direct(zt::Decoder d) : zt::Direct(d, LEAD) {}
};

Frame prefix(const Frame& f, size_t n) { return Frame(f.begin(), f.begin() + long(n)); }

// Generated with scapy: ARP(op=..., hwsrc=..., psrc=..., hwdst=..., pdst=...).
const Frame arp_request = hex("0001 0800 06 04 0001 001a2b3c4d5e c0a8010a 000000000000 c0a80101");
const Frame arp_reply = hex("0001 0800 06 04 0002 525400123456 c0a80101 001a2b3c4d5e c0a8010a");
const Frame rarp_request = hex("0001 0800 06 04 0003 001a2b3c4d5e 00000000 001a2b3c4d5e 00000000");
const Frame rarp_reply = hex("0001 0800 06 04 0004 525400123456 c0a80101 001a2b3c4d5e c0a8014d");
// Inverse ARP over Frame Relay: two-byte DLCIs as hardware addresses.
const Frame inarp_request = hex("000f 0800 02 04 0008 0451 0a000001 0452 00000000");
const Frame inarp_reply = hex("000f 0800 02 04 0009 0452 0a000002 0451 0a000001");

// AARP over Ethernet: AppleTalk addresses are a pad byte, network and node.
const Frame aarp_request = hex("0001 809b 06 04 0001 080007123456 0000ff11 000000000000 0000ff22");
const Frame aarp_reply = hex("0001 809b 06 04 0002 080007654321 0000ff22 080007123456 0000ff11");
const Frame aarp_probe = hex("0001 809b 06 04 0003 080007123456 00123405 000000000000 00123405");

Frame with_opcode(Frame f, uint16_t op) {
    f[6] = uint8_t(op >> 8);
    f[7] = uint8_t(op);
    return f;
}

}  // namespace

// ---- ARP, RARP, InARP ----

TEST(ArpSummary, VariantsAndTexts) {
    struct Case {
        Frame msg;
        const char* column4;
        const char* column5;
        int protocol;
    };
    const Case cases[] = {
        {arp_request, "ARP", "Who has 192.168.1.1 ? Tell 192.168.1.10", P_ARP},
        {arp_reply, "ARP", "192.168.1.1 is at 52:54:00:12:34:56", P_ARP},
        {rarp_request, "RARP", "Who is 00:1A:2B:3C:4D:5E ? Tell 00:1A:2B:3C:4D:5E", P_RARP},
        {rarp_reply, "RARP", "00:1A:2B:3C:4D:5E is at 192.168.1.77", P_RARP},
        {inarp_request, "InARP", "Who is 04:52 ? Tell 04:51", P_INARP},
        {inarp_reply, "InARP", "04:52 is at 10.0.0.2", P_INARP},
        {with_opcode(arp_request, 0), "ARP", "Unknown Opcode(0)", P_ARP},
        {with_opcode(arp_request, 5), "ARP", "Unknown Opcode(5)", P_ARP},
        {with_opcode(arp_request, 7), "ARP", "Unknown Opcode(7)", P_ARP},
        {with_opcode(arp_request, 10), "ARP", "Unknown Opcode(10)", P_ARP},
        {with_opcode(arp_request, 0x0100), "ARP", "Unknown Opcode(256)", P_ARP},
    };
    Direct d(decode_arp);
    for (const Case& k : cases) {
        zt::Summary s = d.summary(k.msg);
        EXPECT_EQ(s.col[4], k.column4) << k.column5;
        EXPECT_EQ(s.col[5], k.column5);
        EXPECT_EQ(s.col[2], "");  // ARP writes no address columns
        EXPECT_EQ(s.col[3], "");
        FrameLayerIndex ix = d.layers(k.msg);
        ASSERT_EQ(ix.count, 1);
        EXPECT_EQ(ix.entries[0].protocol, k.protocol);
        EXPECT_EQ(ix.entries[0].offset, 16 + LEAD);
        EXPECT_STREQ(ix.label, k.column4);
    }
}

TEST(ArpSummary, AddressForms) {
    Direct d(decode_arp);
    // A 16-byte protocol address is not IPv4 even for type 0x0800.
    Frame v6 = hex("0001 0800 06 10 0001 001a2b3c4d5e 20010db8000000000000000000000001 000000000000"
                   "20010db8000000000000000000000002");
    EXPECT_EQ(d.summary(v6).col[5],
              "Who has 20:01:0D:B8:00:00:00:00:00:00:00:00:00:00:00:02 ? "
              "Tell 20:01:0D:B8:00:00:00:00:00:00:00:00:00:00:00:01");
    // IEEE 802 (type 6) hardware uses the MAC form; an 8-byte Ethernet address does not.
    Frame ieee = arp_reply;
    ieee[1] = 6;
    EXPECT_EQ(d.summary(ieee).col[5], "192.168.1.1 is at 52:54:00:12:34:56");
    Frame long_hw = hex("0001 0800 08 04 0002 0102030405060708 c0a80101 1112131415161718 c0a8010a");
    EXPECT_EQ(d.summary(long_hw).col[5], "192.168.1.1 is at 01:02:03:04:05:06:07:08");
    // Protocol type other than IPv4: hex pairs.
    Frame other = arp_request;
    other[2] = 0x80;
    other[3] = 0x9B;
    EXPECT_EQ(d.summary(other).col[5], "Who has C0:A8:01:01 ? Tell C0:A8:01:0A");
}

TEST(ArpDetail, RequestLines) {
    Direct d(decode_arp);
    const std::vector<std::string> want = {
        "  Address Resolution Protocol",
        "    Hardware Address Space : Ethernet(0x0001)",
        "    Protocol Address Space : IP(0x0800)",
        "    Hardware Address Length : 6",
        "    Protocol Address Length : 4",
        "    Opcode : REQUEST(1)",
        "    Source Hardware Address  : 00:1A:2B:3C:4D:5E",
        "    Source Protocol Address : 192.168.1.10",
        "    Target Hardware Address  : 00:00:00:00:00:00",
        "    Target Protocol Address : 192.168.1.1",
    };
    EXPECT_EQ(d.detail(arp_request), want);
}

TEST(ArpDetail, VariantTitlesOpcodesAndTypes) {
    Direct d(decode_arp);
    struct Case {
        Frame msg;
        const char* title;
        const char* opcode;
    };
    const Case cases[] = {
        {arp_reply, "  Address Resolution Protocol", "    Opcode : REPLY(2)"},
        {rarp_request, "  Reverse Address Resolution Protocol", "    Opcode : REQUEST REVERSE(3)"},
        {rarp_reply, "  Reverse Address Resolution Protocol", "    Opcode : REPLY REVERSE(4)"},
        {with_opcode(arp_request, 5), "  Address Resolution Protocol", "    Opcode : DRARP REQUEST(5)"},
        {with_opcode(arp_request, 6), "  Address Resolution Protocol", "    Opcode : DRARP REPLY(6)"},
        {with_opcode(arp_request, 7), "  Address Resolution Protocol", "    Opcode : DRARP ERROR(7)"},
        {inarp_request, "  Inverse Address Resolution Protocol", "    Opcode : InARP REQUEST(8)"},
        {inarp_reply, "  Inverse Address Resolution Protocol", "    Opcode : InARP REPLY(9)"},
        {with_opcode(arp_request, 300), "  Address Resolution Protocol", "    Opcode : Unknown(300)"},
    };
    for (const Case& k : cases) {
        std::vector<std::string> lines = d.detail(k.msg);
        ASSERT_EQ(lines.size(), 10u);
        EXPECT_EQ(lines[0], k.title);
        EXPECT_EQ(lines[5], k.opcode);
    }
    std::vector<std::string> fr = d.detail(inarp_request);
    EXPECT_EQ(fr[1], "    Hardware Address Space : Frame Relay DLCI(0x000F)");
    EXPECT_EQ(fr[6], "    Source Hardware Address  : 04:51");
    EXPECT_EQ(fr[8], "    Target Hardware Address  : 04:52");
    // An unnamed hardware and protocol type.
    Frame odd = hex("00ff 1234 02 02 0001 aabb ccdd eeff 0102");
    std::vector<std::string> lines = d.detail(odd);
    EXPECT_EQ(lines[1], "    Hardware Address Space : Unknown(0x00FF)");
    EXPECT_EQ(lines[2], "    Protocol Address Space : 0x1234(0x1234)");
    EXPECT_EQ(lines[7], "    Source Protocol Address : CC:DD");
}

TEST(ArpDetail, NodeRangesAndProtocolIds) {
    Direct d(decode_arp);
    DetailTree t;
    // RARP and InARP messages still carry the ARP id in the tree.
    for (const Frame& m : {rarp_reply, inarp_request}) {
        d.tree(t, m);
        ASSERT_TRUE(t.valid(t.first_top()));
        EXPECT_EQ(t.line(t.first_top()).protocol, P_ARP);
    }
    // Padding after the message (as on a minimum Ethernet frame) is not ARP.
    d.tree(t, cat({arp_request, Frame(18, 0)}));
    const DetailTree::Line& top = t.line(t.first_top());
    EXPECT_EQ(top.offset, uint32_t(LEAD));
    EXPECT_EQ(top.length, 28u);
    ASSERT_EQ(t.size(), 10);
    // Target protocol address: bytes 24..27.
    EXPECT_EQ(t.text(10), "Target Protocol Address : 192.168.1.1");
    EXPECT_EQ(t.line(10).offset, uint32_t(LEAD + 24));
    EXPECT_EQ(t.line(10).length, 4u);
    // Huge address lengths: the node stops at the captured bytes.
    Frame big = cat({hex("0001 0800 ff ff 0001"), Frame(40, 0x11)});
    d.tree(t, big);
    EXPECT_EQ(t.line(t.first_top()).length, uint32_t(big.size()));
}

TEST(ArpTruncated, ShortMessages) {
    Direct d(decode_arp);
    EXPECT_EQ(d.summary(prefix(arp_request, 5)).col[5], "ARP header truncated (5 bytes captured)");
    EXPECT_EQ(d.summary(prefix(rarp_request, 20)).col[5], "RARP header truncated (20 bytes captured)");
    EXPECT_EQ(d.summary(prefix(inarp_request, 19)).col[4], "InARP");
    // Before the opcode is captured the message is plain ARP.
    EXPECT_EQ(d.summary(prefix(rarp_request, 7)).col[4], "ARP");
    const std::vector<std::string> want = {
        "  Address Resolution Protocol",
        "    Hardware Address Space : Ethernet(0x0001)",
        "    Protocol Address Space : IP(0x0800)",
        "    Hardware Address Length : 6",
        "    Protocol Address Length : 4",
        "    Opcode : REQUEST(1)",
        "    Source Hardware Address  : 00:1A:2B:3C:4D:5E",
        "    Source Protocol Address : 192.168.1.10",
        "    Header truncated : 20 of 28 bytes captured",
    };
    EXPECT_EQ(d.detail(prefix(arp_request, 20)), want);
    // Without the length bytes only the fixed part is known.
    const std::vector<std::string> three = {
        "  Address Resolution Protocol",
        "    Hardware Address Space : Ethernet(0x0001)",
        "    Header truncated : 3 of 8 bytes captured",
    };
    EXPECT_EQ(d.detail(prefix(arp_request, 3)), three);
}

// ---- AARP ----

TEST(AarpSummary, Texts) {
    struct Case {
        Frame msg;
        const char* column5;
    };
    const Case cases[] = {
        {aarp_request, "Who has 255.34 ? Tell 255.17"},
        {aarp_reply, "255.34 is at 08:00:07:65:43:21"},
        {aarp_probe, "Is there a 4660.5"},
        // The same opcodes written in the other byte order.
        {with_opcode(aarp_request, 0x0100), "Who has 255.34 ? Tell 255.17"},
        {with_opcode(aarp_reply, 0x0200), "255.34 is at 08:00:07:65:43:21"},
        {with_opcode(aarp_probe, 0x0300), "Is there a 4660.5"},
        {with_opcode(aarp_request, 4), "AppleTalk ARP Opcode=Unknown(4)"},
        {with_opcode(aarp_request, 0), "AppleTalk ARP Opcode=Unknown(0)"},
    };
    Direct d(decode_aarp);
    for (const Case& k : cases) {
        zt::Summary s = d.summary(k.msg);
        EXPECT_EQ(s.col[4], "AARP");
        EXPECT_EQ(s.col[5], k.column5);
        FrameLayerIndex ix = d.layers(k.msg);
        ASSERT_EQ(ix.count, 1);
        EXPECT_EQ(ix.entries[0].protocol, P_AARP);
        EXPECT_EQ(ix.entries[0].offset, 16 + LEAD);
        EXPECT_STREQ(ix.label, "AARP");
    }
}

TEST(AarpSummary, AddressForms) {
    Direct d(decode_aarp);
    Frame token = aarp_reply;  // Token Ring
    token[1] = 2;
    EXPECT_EQ(d.summary(token).col[5], "255.34 is at 08:00:07:65:43:21");
    // Not AppleTalk, or not four bytes: hex pairs.
    Frame ip = aarp_request;
    ip[2] = 0x08;
    ip[3] = 0x00;
    EXPECT_EQ(d.summary(ip).col[5], "Who has 00:00:FF:22 ? Tell 00:00:FF:11");
    Frame three = hex("0001 809b 06 03 0001 080007123456 00ff11 000000000000 00ff22");
    EXPECT_EQ(d.summary(three).col[5], "Who has 00:FF:22 ? Tell 00:FF:11");
}

TEST(AarpDetail, Lines) {
    Direct d(decode_aarp);
    const std::vector<std::string> want = {
        "  AppleTalk Address Resolution Protocol",
        "    Hardware Address Space : Ethernet(1)",
        "    Protocol Address Space : AppleTalk(0x809B)",
        "    Hardware Address Length : 6",
        "    Protocol Address Length : 4",
        "    Opcode : PROBE(3)",
        "    Source Hardware Address : 08:00:07:12:34:56",
        "    Source Protocol Address : 4660.5",
        "    Target Hardware Address : 00:00:00:00:00:00",
        "    Target Protocol Address : 4660.5",
    };
    EXPECT_EQ(d.detail(aarp_probe), want);
    std::vector<std::string> lines = d.detail(with_opcode(aarp_request, 0x0100));
    EXPECT_EQ(lines[5], "    Opcode : REQUEST(256)");
    EXPECT_EQ(d.detail(aarp_request)[5], "    Opcode : REQUEST(1)");
    EXPECT_EQ(d.detail(with_opcode(aarp_reply, 0x0200))[5], "    Opcode : REPLAY(512)");
    EXPECT_EQ(d.detail(with_opcode(aarp_reply, 9))[5], "    Opcode : Unknown(9)");
    Frame token = aarp_reply;
    token[1] = 2;
    EXPECT_EQ(d.detail(token)[1], "    Hardware Address Space : Token Ring(2)");
    token[1] = 6;
    EXPECT_EQ(d.detail(token)[1], "    Hardware Address Space : Unknown(6)");
}

TEST(AarpDetail, ShortMessages) {
    Direct d(decode_aarp);
    EXPECT_TRUE(d.detail(Frame()).empty());
    // Eight bytes: the five header lines; the addresses are missing.
    const std::vector<std::string> eight = {
        "  AppleTalk Address Resolution Protocol",
        "    Hardware Address Space : Ethernet(1)",
        "    Protocol Address Space : AppleTalk(0x809B)",
        "    Hardware Address Length : 6",
        "    Protocol Address Length : 4",
        "    Opcode : REQUEST(1)",
    };
    EXPECT_EQ(d.detail(prefix(aarp_request, 8)), eight);
    // Its summary is the opcode's, with no truncation text.
    struct Short {
        const char* bytes;
        const char* summary;
    } shorts[] = {
        {"0001 809b 06 04 0001", "Who has  ? Tell "},
        {"0001 809b 06 04 0200", " is at "},
        {"0001 809b 06 04 0300", "Is there a "},
        {"0001 809b 06 04 0009", "AppleTalk ARP Opcode=Unknown(9)"},
    };
    for (const Short& c : shorts) {
        EXPECT_EQ(d.summary(hex(c.bytes)).col[5], c.summary) << c.bytes;
        EXPECT_EQ(d.detail(hex(c.bytes)).size(), 6u) << c.bytes;
    }
    // A message with no addresses at all is whole at eight bytes.
    std::vector<std::string> bare = d.detail(hex("0001 809b 00 00 0003"));
    EXPECT_EQ(bare.size(), 6u);
    EXPECT_EQ(d.summary(hex("0001 809b 00 00 0003")).col[5], "Is there a ");
    EXPECT_EQ(d.summary(prefix(aarp_request, 27)).col[5], "AARP header truncated (27 bytes captured)");
    std::vector<std::string> cut = d.detail(prefix(aarp_request, 18));
    ASSERT_EQ(cut.size(), 9u);
    EXPECT_EQ(cut[7], "    Source Protocol Address : 255.17");
    EXPECT_EQ(cut[8], "    Header truncated : 18 of 28 bytes captured");
    // The node covers the whole captured length, padding included.
    DetailTree t;
    d.tree(t, cat({aarp_request, Frame(18, 0)}));
    EXPECT_EQ(t.line(t.first_top()).length, 46u);
    EXPECT_EQ(t.line(t.first_top()).protocol, P_AARP);
}

// ---- every prefix, every mode ----

// Cutting a message anywhere must leave sensible columns and lines: the protocol
// named, the truncation said when the message is not whole, and no byte range
// reaching past the capture (the sanitizer build checks the reads).
TEST(ArpTruncated, EveryLengthInEveryMode) {
    struct Case {
        Decoder decode;
        Frame msg;
        const char* name;   // column 4 once the opcode is captured
        int protocol;
    };
    const Case cases[] = {
        {decode_arp, arp_request, "ARP", P_ARP},
        {decode_arp, rarp_reply, "RARP", P_RARP},
        {decode_arp, inarp_reply, "InARP", P_INARP},
        {decode_aarp, aarp_probe, "AARP", P_AARP},
    };
    for (const Case& k : cases) {
        Direct d(k.decode);
        for (size_t n = 0; n <= k.msg.size(); ++n) {
            SCOPED_TRACE(std::string(k.name) + " length " + std::to_string(n));
            Frame m = prefix(k.msg, n);
            bool opcode = n >= 8;
            std::string name = opcode || k.decode == decode_aarp ? k.name : "ARP";
            // An AARP message of the header alone is not counted as cut.
            bool cut = n < k.msg.size() && !(k.decode == decode_aarp && n <= 8);
            zt::Summary s = d.summary(m);
            EXPECT_EQ(s.col[4], name);
            if (cut)
                EXPECT_EQ(s.col[5], name + " header truncated (" + std::to_string(n) + " bytes captured)");
            else
                EXPECT_EQ(s.col[5].find("truncated"), std::string::npos);

            FrameLayerIndex ix = d.layers(m);
            ASSERT_EQ(ix.count, 1);
            EXPECT_EQ(ix.entries[0].offset, 16 + LEAD);
            EXPECT_EQ(ix.entries[0].protocol, opcode || k.decode == decode_aarp ? k.protocol : P_ARP);

            std::vector<std::string> lines = d.detail(m);
            if (n == 0 && k.decode == decode_aarp) {
                EXPECT_TRUE(lines.empty());
                continue;
            }
            ASSERT_FALSE(lines.empty());
            bool said = lines.back().find("Header truncated : ") != std::string::npos;
            EXPECT_EQ(said, cut) << lines.back();

            DetailTree t;
            d.tree(t, m);
            for (int32_t h = 1; h <= t.size(); ++h)
                EXPECT_LE(t.line(h).offset + t.line(h).length, uint32_t(LEAD + n)) << t.text(h);
        }
    }
}

// ---- whole Ethernet frames ----

namespace {
Frame ethernet(const char* type, const Frame& payload) {
    return cat({hex("ffffffffffff 001a2b3c4d5e"), hex(type), payload});
}
}  // namespace

TEST(ArpFrames, ThroughEthernet) {
    Frame padded = ethernet("0806", cat({arp_request, Frame(18, 0)}));  // 60 bytes
    zt::Summary s = zt::summarize(padded);
    EXPECT_EQ(s.col[4], "ARP");
    EXPECT_EQ(s.col[5], "Who has 192.168.1.1 ? Tell 192.168.1.10");
    EXPECT_EQ(s.col[2], "00:1A:2B:3C:4D:5E");  // the MAC addresses stay
    EXPECT_EQ(s.col[3], "FF:FF:FF:FF:FF:FF");
    std::vector<std::string> lines = zt::detail(padded);
    EXPECT_TRUE(zt::has_line(lines, "Address Resolution Protocol"));
    EXPECT_TRUE(zt::has_line(lines, "Target Protocol Address : 192.168.1.1"));
    FrameLayerIndex ix = zt::layers(padded);
    ASSERT_EQ(ix.count, 2);
    EXPECT_EQ(ix.entries[1].protocol, P_ARP);
    EXPECT_EQ(ix.entries[1].offset, 16 + 14);

    // EtherType 0x8035 with opcode 1 is ARP, 0x0806 with opcode 3 is RARP.
    EXPECT_EQ(zt::summarize(ethernet("8035", arp_request)).col[4], "ARP");
    EXPECT_EQ(zt::summarize(ethernet("0806", rarp_request)).col[4], "RARP");
    EXPECT_EQ(zt::layers(ethernet("8035", rarp_reply)).entries[1].protocol, P_RARP);

    zt::Summary a = zt::summarize(ethernet("80f3", aarp_probe));
    EXPECT_EQ(a.col[4], "AARP");
    EXPECT_EQ(a.col[5], "Is there a 4660.5");
    // AARP in SNAP under IEEE 802.3.
    Frame snap = cat({hex("090007ffffff 080007123456"), hex("0024"), hex("aaaa03 080007 80f3"), aarp_probe});
    zt::Summary b = zt::summarize(snap);
    EXPECT_EQ(b.col[4], "AARP");
    EXPECT_EQ(b.col[5], "Is there a 4660.5");
}
