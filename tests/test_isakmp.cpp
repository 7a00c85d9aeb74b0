// ISAKMP: the header, exchange and payload names, the payload chain and its ends,
// security associations with proposals, transforms and attributes, and the other
// payload bodies.
#include <gtest/gtest.h>

#include <cstdio>
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

constexpr int LEAD = 42;

Frame be16(uint16_t v) { return {uint8_t(v >> 8), uint8_t(v)}; }
Frame be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

Frame header(uint8_t next, uint8_t exchange, uint8_t flags = 0, uint32_t length = 0) {
    return cat({hex("1122334455667788 99AABBCCDDEEFF00"), {next, 0x10, exchange, flags}, be32(0x01020304),
                be32(length)});
}

// A generic payload: next type, reserved, length, body.
Frame payload(uint8_t next, const Frame& body) { return cat({{next, 0}, be16(uint16_t(4 + body.size())), body}); }

// Main mode SA offer (as scapy builds it): one proposal, one IKE transform.
const Frame attributes = hex("80010007 800E0080 80020002 80040002 80030001 800B0001 000C0004 00007080");
const Frame transform = payload(0, cat({{1, 1, 0, 0}, attributes}));
const Frame proposal = payload(0, cat({{1, 1, 0, 1}, transform}));
const Frame sa = payload(13, cat({be32(1), be32(1), proposal}));
const Frame vid = payload(0, hex("4048B7D56EBCE88525E7DE7F00D6C2D3"));
const Frame main_mode = cat({header(1, 2, 0, uint32_t(28 + sa.size() + vid.size())), sa, vid});

std::vector<std::string> stripped(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const auto& l : lines) out.push_back(l.substr(l.find_first_not_of(' ')));
    return out;
}

int32_t find_line(const DetailTree& t, const std::string& s) {
    for (int32_t h = 1; h <= t.size(); ++h)
        if (t.text(h) == s) return h;
    return 0;
}

}  // namespace

TEST(IsakmpSummary, ExchangeTypeNamesAndRanges) {
    struct Case {
        uint8_t type;
        const char* name;
    } cases[] = {
        // Named codes and the edges of each range.
        {2, "Identity Protection"}, {6, "Transaction"}, {7, "ISAKMP Future Use"}, {31, "ISAKMP Future Use"},
        {32, "Quick Mode"}, {33, "New Group Mode"}, {34, "DOI Specific Use"}, {239, "DOI Specific Use"},
        {240, "Private Use"},
    };
    zt::Direct d(decode_isakmp, LEAD);
    for (const Case& k : cases) {
        auto s = d.summary(header(0, k.type));
        EXPECT_EQ(s.col[4], "ISAKMP");
        char want[80];
        std::snprintf(want, sizeof want, "Exchange Type  : %s(%u)", k.name, k.type);
        EXPECT_EQ(s.col[5], want);
    }
    auto ix = d.layers(main_mode);
    ASSERT_EQ(ix.count, 1);
    EXPECT_EQ(ix.entries[0].protocol, P_ISAKMP);
    EXPECT_EQ(ix.entries[0].offset, 16 + LEAD);
    Frame cut = header(0, 2);
    cut.resize(27);
    EXPECT_EQ(d.summary(cut).col[5], "ISAKMP header truncated (27 bytes captured)");
}

TEST(IsakmpDetail, HeaderOnlyMessage) {
    zt::Direct d(decode_isakmp, LEAD);
    std::vector<std::string> want = {
        "Internet Security Association and Key Management Protocol", "Initiator Cookie", "Responder Cookie",
        "Next Payload : Security Association(SA)(1)", "Major Version : 1", "Minor Version : 0",
        "Exchange Type  : Identity Protection(2)", "Flags : 0x06", "**** ***0 : Encryption - OFF",
        "**** **1* : Commit - ON", "**** *1** : Authentication - ON", "Message ID : 0x01020304", "Length : 28",
    };
    // Exactly 28 bytes: the header lines only, whatever the next payload says.
    EXPECT_EQ(stripped(d.detail(header(1, 2, 0x06, 28))), want);
    DetailTree t;
    d.tree(t, header(1, 2, 0x06, 28));
    struct Range {
        const char* text;
        uint32_t offset, length;
    } ranges[] = {
        {"Initiator Cookie", 0, 8}, {"Responder Cookie", 8, 8}, {"Next Payload : Security Association(SA)(1)", 16, 1},
        {"Minor Version : 0", 17, 1}, {"Exchange Type  : Identity Protection(2)", 18, 1}, {"Flags : 0x06", 19, 1},
        {"Message ID : 0x01020304", 20, 4}, {"Length : 28", 24, 4},
    };
    for (const Range& r : ranges) {
        int32_t h = find_line(t, r.text);
        ASSERT_NE(h, 0) << r.text;
        EXPECT_EQ(t.line(h).offset, LEAD + r.offset) << r.text;
        EXPECT_EQ(t.line(h).length, r.length) << r.text;
    }
}

TEST(IsakmpDetail, MainModeSecurityAssociation) {
    zt::Direct d(decode_isakmp, LEAD);
    std::vector<std::string> want = {
        "Security Association(SA) Payloads", "Next Payload : Vendor ID(VID)(13)", "Payload Length : 60",
        "Domain of Interpretation(DOI) : IPSEC(1)", "Situation : IDENTITY(1)", "Proposal(P) Payloads",
        "Next Payload : NONE(0)", "Payload Length : 48", "Proposal : 1", "Protocol-Id : PROTO_ISAKMP(1)",
        "SPI Size : 0", "Number of transforms : 1", "Transform(T) Payloads", "Next Payload : NONE(0)",
        "Payload Length : 40", "Transform : 1", "Transform-Id : KEY_IKE(1)",
        "Encryption-Algorithm(1) : AES-CBC(7)", "Key-Length(14) : Key Length(128)", "Hash-Algorithm(2) : SHA(2)",
        "Group-Description(4) : Group Value(2)", "Authentication-Method(3) : PSK(1)",
        "Life-Type(11) : seconds(1)", "Life-Duration(12) : Duration Value(28800)", "Vendor ID(VID) Payloads",
        "Next Payload : NONE(0)", "Payload Length : 20", "Vendor ID",
    };
    auto lines = stripped(d.detail(main_mode));
    ASSERT_EQ(lines.size(), 13 + want.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 13, lines.end()), want);
    DetailTree t;
    d.tree(t, main_mode);
    struct Range {
        const char* text;
        uint32_t offset, length;
    } ranges[] = {
        {"Security Association(SA) Payloads", 28, 60}, {"Situation : IDENTITY(1)", 36, 4},
        {"Proposal(P) Payloads", 40, 48}, {"Transform(T) Payloads", 48, 40},
        {"Encryption-Algorithm(1) : AES-CBC(7)", 56, 4}, {"Life-Duration(12) : Duration Value(28800)", 80, 8},
        {"Vendor ID", 92, 16},
    };
    for (const Range& r : ranges) {
        int32_t h = find_line(t, r.text);
        ASSERT_NE(h, 0) << r.text;
        EXPECT_EQ(t.line(h).offset, LEAD + r.offset) << r.text;
        EXPECT_EQ(t.line(h).length, r.length) << r.text;
    }
    // Nesting: the transform under the proposal under the SA.
    int32_t tr = find_line(t, "Transform(T) Payloads");
    EXPECT_EQ(t.depth(tr), t.depth(find_line(t, "Proposal(P) Payloads")) + 1);
}

TEST(IsakmpDetail, TransformsByProtocolAndAttributeNames) {
    struct Case {
        uint8_t protocol, id;
        Frame attributes;
        std::vector<const char*> lines;
    } cases[] = {
        {3, 12, hex("80040001 80050002 80060100 80010002 00020004 00001000"),
         {"Protocol-Id : PROTO_IPSEC_ESP(3)", "Transform-Id : ESP_AES(12)", "Encapsulation-Mode(4) : Tunnel(1)",
          "Authentication-Algorithm(5) : HMAC-SHA(2)", "Key-Length(6) : Key Length(256)",
          "SA-Life-Type(1) : kilobytes(2)", "SA-Life-Duration(2) : Duration Value(4096)"}},
        {2, 3, hex("8004F001 80050009 80070010"),
         {"Protocol-Id : PROTO_IPSEC_AH(2)", "Transform-Id : AH_SHA(3)",
          "Encapsulation-Mode(4) : Check Point IPSec UDP Encapsulation(61441)",
          "Authentication-Algorithm(5) : unknown authentication value(9)", "Key-Rounds(7) : Key Rounds(16)"}},
        {4, 2, hex("80080003"), {"Protocol-Id : PROTO_IPCOMP(4)", "Transform-Id : IPCOMP_DEFLATE(2)",
                                 "Compress-Dictionary-Size(8) : log2 size(3)"}},
        {3, 99, hex("80040009 80630001"), {"Transform-Id : unknown ESP transform type(99)",
                                           "Encapsulation-Mode(4) : unknown encapsulation value(9)",
                                           "unknown attribute type(99) : unknown SA value(1)"}},
        {1, 1, hex("80010009 80020009 8003FDE9"), {"Encryption-Algorithm(1) : unknown encryption algorithm(9)",
                                                   "Hash-Algorithm(2) : unknown hash algorithm(9)",
                                                   "Authentication-Method(3) : XAUTHInitPreShared(65001)"}},
        {1, 7, {}, {"Transform-Id : unknown transform type(7)"}},
        {2, 9, {}, {"Transform-Id : unknown AH transform type(9)"}},
        {4, 9, {}, {"Transform-Id : unknown IPCOMP transform type(9)"}},
        {9, 1, {}, {"Protocol-Id : UNKNOWN-PROTO-TYPE(9)", "Transform-Id : 1"}},
        // A variable attribute running past its payload ends the attributes.
        {3, 3, hex("80040001 00020010 0001"), {"Encapsulation-Mode(4) : Tunnel(1)", "Data 6 bytes"}},
    };
    zt::Direct d(decode_isakmp, LEAD);
    for (const Case& k : cases) {
        Frame t = payload(0, cat({{1, k.id, 0, 0}, k.attributes}));
        Frame p = payload(0, cat({{1, k.protocol, 4, 1}, hex("DEADBEEF"), t}));
        Frame s = payload(0, cat({be32(1), be32(1), p}));
        auto lines = stripped(d.detail(cat({header(1, 32), s})));
        EXPECT_TRUE(zt::has_line(lines, "SPI Size : 4"));
        EXPECT_TRUE(zt::has_line(lines, "SPI"));
        for (const char* l : k.lines) EXPECT_TRUE(zt::has_line(lines, l)) << l;
    }
}

TEST(IsakmpDetail, OtherPayloadBodies) {
    struct Case {
        uint8_t type;
        Frame body;
        std::vector<const char*> lines;
    } cases[] = {
        {4, Frame(8, 1), {"Key Exchange(KEY) Payloads", "Key Exchange Data"}},
        {10, Frame(16, 4), {"Nonce(NONCE) Payloads", "Nonce Data"}},
        {5, hex("01 11 01F4 C0A80001"), {"ID Type : ID_IPV4_ADDR(1)", "Protoco-Id : UDP(17)", "Port : 500",
                                         "Identification Data"}},
        {5, hex("63 00 0000 41"), {"ID Type : unknown ID type(99)", "Protocol-Id : Unused", "Port : Unused"}},
        {6, hex("04 3082"), {"Certificate Encoding : 4(X.509 Certificate - Signature)", "Certificate Data"}},
        {7, hex("63"), {"Certificate Type : 99(Unknown)"}},
        {11, cat({be32(1), {3, 4}, be16(24578), hex("11223344"), hex("AABB")}),
         {"Domain of Interpretation(DOI) : IPSEC(1)", "Protocol-Id : PROTO_IPSEC_ESP(3)", "SPI Size : 4",
          "Notify Message Type : INITIAL-CONTACT(24578)", "Security Parameter Index(SPI)", "Notification Data"}},
        {11, cat({be32(2), {1, 0}, be16(14)}), {"Domain of Interpretation(DOI) : Unknown(2)",
                                                "Notify Message Type : NO-PROPOSAL-CHOSEN(14)"}},
        {11, cat({be32(1), {1, 0}, be16(9000)}), {"Notify Message Type : Private Use(9000)"}},
        {11, cat({be32(1), {1, 0}, be16(0)}), {"Notify Message Type : Unknown(0)"}},
        {12, cat({be32(1), {3, 4}, be16(2), hex("11111111 22222222")}),
         {"Number of SPIs : 2", "Security Parameter Index(SPI)(1)", "Security Parameter Index(SPI)(2)"}},
        {14, cat({{2, 0}, be16(7), hex("80010000 00010004 0A000001 C08F0001")}),
         {"Type : ISAKMP_CFG_REPLY(2)", "Identifier : 7", "INTERNAL_IP4_ADDRESS(0)",
          "INTERNAL_IP4_ADDRESS(4 bytes)", "XAUTH_STATUS(1)"}},
        {20, Frame(5, 0), {"RESERVED Payloads", "Data 5 bytes"}},
        {130, Frame(3, 0), {"Private USE Payloads", "Data 3 bytes"}},
        {1, cat({be32(2), Frame(6, 0)}), {"Domain of Interpretation(DOI) : Unknown(2)", "Situation : 6 bytes"}},
    };
    zt::Direct d(decode_isakmp, LEAD);
    for (const Case& k : cases) {
        auto lines = stripped(d.detail(cat({header(k.type, 5), payload(0, k.body)})));
        for (const char* l : k.lines) EXPECT_TRUE(zt::has_line(lines, l)) << l;
    }
    // A delete that announces more SPIs than it holds shows those there.
    auto lines = stripped(d.detail(cat({header(12, 5), payload(0, cat({be32(1), {3, 4}, be16(500), Frame(8, 0)}))})));
    EXPECT_TRUE(zt::has_line(lines, "Security Parameter Index(SPI)(2)"));
    EXPECT_FALSE(zt::has_line(lines, "Security Parameter Index(SPI)(3)"));
}

TEST(IsakmpChain, EveryWalkEnds) {
    zt::Direct d(decode_isakmp, LEAD);
    struct Case {
        const char* what;
        Frame msg;
        std::vector<const char*> last_lines;
    } cases[] = {
        {"length past the data", cat({header(10, 2), {0, 0}, be16(40), Frame(8, 0)}),
         {"Length : 0", "Nonce(NONCE) Payloads", "Payload not enough"}},
        {"fewer than 4 bytes left", cat({header(10, 2), payload(13, Frame(4, 0)), hex("0D0000")}),
         {"Data 3 bytes"}},
        {"zero length", cat({header(10, 2), {10, 0}, be16(0), Frame(40, 0)}),
         {"Nonce(NONCE) Payloads", "Next Payload : Nonce(NONCE)(10)", "Payload Length : 0"}},
        {"next type 0 ends before the data", cat({header(10, 2), payload(0, Frame(4, 0)), Frame(12, 0xAB)}),
         {"Nonce Data"}},
        {"encrypted", cat({header(5, 2, 0x01), Frame(48, 0x55)}), {"Encrypted Data : 48 bytes"}},
    };
    for (const Case& k : cases) {
        auto lines = stripped(d.detail(k.msg));
        ASSERT_GE(lines.size(), k.last_lines.size()) << k.what;
        std::vector<std::string> tail(lines.end() - long(k.last_lines.size()), lines.end());
        EXPECT_EQ(tail, std::vector<std::string>(k.last_lines.begin(), k.last_lines.end())) << k.what;
    }
    // Security associations inside proposals inside security associations, as deep as
    // the data allows: the nesting stops at the transform level.
    Frame body = Frame(4, 0);
    for (int i = 0; i < 200; ++i) body = payload(0, cat({be32(1), be32(1), body}));
    auto lines = stripped(d.detail(cat({header(1, 2), body})));
    EXPECT_LT(lines.size(), 60u);
}

TEST(IsakmpTruncated, EveryLengthOfTheMainModeOffer) {
    zt::Direct d(decode_isakmp, LEAD);
    size_t whole = stripped(d.detail(main_mode)).size();
    for (size_t n = 0; n <= main_mode.size(); ++n) {
        Frame m(main_mode.begin(), main_mode.begin() + long(n));
        SCOPED_TRACE(n);
        EXPECT_EQ(d.summary(m).col[4], "ISAKMP");
        DetailTree t;
        d.tree(t, m);
        for (int32_t h = 1; h <= t.size(); ++h)
            EXPECT_LE(t.line(h).offset + t.line(h).length, LEAD + n) << t.text(h);
        auto lines = stripped(d.detail(m));
        EXPECT_LE(lines.size(), whole);
        if (n < 28) {
            EXPECT_EQ(lines.back(), "Header truncated : " + std::to_string(n) + " of 28 bytes captured");
        }
        if (n > 28 && n < 88) {
            EXPECT_TRUE(zt::has_line(lines, "Payload not enough") || zt::has_line(lines, "Data 1 bytes") ||
                        zt::has_line(lines, "Data 2 bytes") || zt::has_line(lines, "Data 3 bytes"));
        }
    }
}
