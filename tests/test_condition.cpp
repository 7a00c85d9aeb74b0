// The condition language: parsing, error bits and messages, normalisation, and
// evaluation against layer indexes (hand-made and from the decoders).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "condition/condition.h"
#include "condition/layer_index.h"
#include "tests/support.h"

using namespace zelpan;

namespace {

struct Parsed {
    ConditionParse p;
    ConditionExpression e;
};

Parsed parse(const std::string& text, int mode = VALUE_NUMBER) {
    Parsed r;
    ParseCondition(r.p, text.c_str(), mode, r.e);
    return r;
}

std::string hexstr(const uint8_t* b, int n) {
    std::string s;
    char buf[4];
    for (int i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", b[i]);
        s += buf;
    }
    return s;
}

// Ethernet II, IPv4 from 200.0.0.1, UDP 53 -> 0x1234, payload "abcd": 46 bytes.
zt::Frame udp_frame() {
    return zt::hex("66778899AABB 001122334455 0800"
                   "45000020 00014000 40110000 C8000001 0A000002"
                   "00351234 000C0000"
                   "61626364");
}

zt::Frame tcp_frame(uint8_t flags) {
    zt::Frame f = zt::hex("66778899AABB 001122334455 0800"
                          "45000028 00014000 40060000 0A000001 0A000002"
                          "9C400050 000003E8 00000000 5000FAF0 00000000");
    f[14 + 20 + 13] = flags;
    return f;
}

zt::Frame ipv6_udp_frame() {
    return zt::hex("66778899AABB 001122334455 86DD"
                   "60000000 00081140 20010DB8000000000000000000000001 20010DB8000000000000000000000002"
                   "17701771 00080000");
}

struct TestStore {
    FrameStore s;
    explicit TestStore(const std::vector<zt::Frame>& frames, uint32_t capacity = 1 << 20) {
        s.allocate(capacity);
        for (const auto& f : frames) s.append(1700000000, 0, f.data(), uint32_t(f.size()));
    }
};

// A layer index made by hand: {ProtocolId, frame offset} per layer.
FrameLayerIndex hand_index(const FrameStore& s, uint32_t i, std::initializer_list<std::pair<int, int>> layers) {
    FrameLayerIndex ix;
    ix.frame = s.at(i);
    for (auto [protocol, offset] : layers) {
        LayerEntry& e = ix.entries[ix.count++];
        e.start = record_bytes(ix.frame) + offset;
        e.protocol = protocol;
        e.offset = offset + RECORD_HEADER;
        ix.top_protocol = protocol;
    }
    return ix;
}

}  // namespace

TEST(ConditionParse, Normalisation) {
    struct Row {
        const char* typed;
        int mode;
        const char* normalised;
    } rows[] = {
        {"ip == 4", VALUE_NUMBER, "ip[0:1] == 4"},
        {"tcp[13] & 0x02 != 0", VALUE_NUMBER, "tcp[13:1] & 0x02 != 0"},
        {"tcp[20:3] == GET", VALUE_STRING, "tcp[20:3] == 0x474554"},
        {"ip[12:4]", VALUE_NUMBER, "ip"},
        {"tcp", VALUE_NUMBER, "tcp"},
        {"  tcp [ 13 ] &  0x02  !=0 ", VALUE_NUMBER, "tcp[13:1] & 0x02 != 0"},
        {"ip6[0:1] == 0x60", VALUE_NUMBER, "ip6[0:1] == 0x60"},
        {"ip[12:4] == 192", VALUE_NUMBER, "ip[12:4] == 192"},
        {"udp == 0x0035", VALUE_NUMBER, "udp[0:2] == 0x0035"},
        {"ip == 256", VALUE_NUMBER, "ip[0:2] == 256"},
        {"ip[2] > 65536", VALUE_NUMBER, "ip[2:3] > 65536"},
        {"ip => 4", VALUE_NUMBER, "ip[0:1] => 4"},
        {"ip[0:2 == 1", VALUE_NUMBER, "ip[0:2] == 1"},  // closing bracket left out
        {"ip[0x0c:4]] == 1", VALUE_NUMBER, "ip[0x0c:4] == 1"},  // a second "]" is harmless
        {"tcp&&2==2", VALUE_NUMBER, "tcp[0:1] & 2 == 2"},
        {"tcp[13] & 0x12", VALUE_NUMBER, "tcp[13:1] & 0x12"},
        {"http == a b ", VALUE_STRING, "http[0:4] == 0x61206220"},
        {"ip == 0xAb", VALUE_NUMBER, "ip[0:1] == 0xAb"},
    };
    for (const Row& r : rows) {
        Parsed x = parse(r.typed, r.mode);
        EXPECT_EQ(x.p.error_flags, 0u) << r.typed;
        EXPECT_STREQ(x.p.normalised, r.normalised) << r.typed;
        // Stored texts are read back in number mode and must come out the same.
        Parsed again = parse(x.p.normalised);
        EXPECT_EQ(again.p.error_flags, 0u) << r.normalised;
        EXPECT_STREQ(again.p.normalised, r.normalised);
        EXPECT_EQ(again.e.length, x.e.length) << r.typed;
        EXPECT_EQ(hexstr(again.e.value_bytes, 8), hexstr(x.e.value_bytes, 8)) << r.typed;
    }
}

TEST(ConditionParse, ErrorBits) {
    struct Row {
        std::string text;
        uint32_t flags;
    } rows[] = {
        {"ip" + std::string(254, ' '), 0x1},
        {"[ip", 0x2},
        {"ip & 1 [", 0x2},
        {"ip :", 0x4},
        {"ip[0 : 1 :", 0x4},
        {"ip ]", 0x8},
        {"ip[1:2] & 3 ]", 0x8},
        {"& ip", 0x10},
        {"ip[&0]", 0x10},
        {"ip[0:|1]", 0x10},
        {"ip == 1 & 2", 0x10 | 0x1000},
        {"ip !", 0x20},
        {"ip = 4", 0x20 | 0x1000},
        {"== ip", 0x40},
        {"ip[==0]", 0x40},
        {"ip & == 1", 0x40},
        {"xyz", 0x80},
        {"IP", 0x80},
        {"ip6x", 0x80},
        {"ip:", 0x80},  // ":" may not end a name
        {"ip[x]", 0x100 | 0x8},
        {"ip[", 0x100},
        {"ip[0:x]", 0x200 | 0x8},
        {"ip[0:", 0x200},
        {"ip & x", 0x400},
        {"ip &", 0x400},
        {"ip == x", 0x800},
        {"ip ==", 0x800},
        {"ip 5", 0x1000},
        {"tcp udp", 0x1000},
        {"ip[0:1] & 0x0102 == 1", 0x2000},
        {"ip[0:1] == 256", 0x4000},
        {"ip[0:2] != 0x010203", 0x4000},
        {"ip[0:2] > 0x010203", 0x8000},
        {"ip[0:5] > 1", 0x10000},
        {"ip[0:0] <= 1", 0x10000},
        {"ip[0:0x80000000] > 1", 0x10000},
        {"", 0x80},
    };
    for (const Row& r : rows) EXPECT_EQ(parse(r.text).p.error_flags, r.flags) << "[" << r.text << "]";
}

TEST(ConditionParse, MendedAmbiguities) {
    // A second comparison or bit operator would silently replace the first.
    EXPECT_EQ(parse("ip == 1 != 2").p.error_flags, 0x40u | 0x1000u);
    EXPECT_EQ(parse("ip == == 1").p.error_flags, 0x40u);
    EXPECT_EQ(parse("tcp[13] & 2 |").p.error_flags, 0x10u);
    EXPECT_EQ(parse("tcp[13] &| 2").p.error_flags, 0x10u);
    // The size checks hold without brackets too, so the normalised text parses again.
    EXPECT_EQ(parse("tcp[13] & 0x02 != 0x1234").p.error_flags, 0x4000u);
    EXPECT_EQ(parse("tcp[13:1] & 0x02 != 0x1234").p.error_flags, 0x4000u);
    EXPECT_EQ(parse("ip > 0x0000000001").p.error_flags, 0x10000u);
    // A normalised form that would not fit 255 bytes is refused like a long text.
    std::string s = "tcp[0:120] == " + std::string(120, 'A');
    EXPECT_EQ(parse(s, VALUE_STRING).p.error_flags, 0x1u);
}

TEST(ConditionParse, LengthLimit) {
    std::string t255 = "ip" + std::string(253, ' ');
    ASSERT_EQ(t255.size(), 255u);
    Parsed ok = parse(t255);
    EXPECT_EQ(ok.p.error_flags, 0u);
    EXPECT_STREQ(ok.p.normalised, "ip");
    Parsed bad = parse(t255 + " ");
    EXPECT_EQ(bad.p.error_flags, 0x1u);
    EXPECT_EQ(std::strlen(bad.p.normalised), 255u);
    EXPECT_EQ(ConditionErrorLines(bad.p.error_flags), std::vector<std::string>{"Error : 文字数が多すぎます(255ﾊﾞｲﾄ以上)。"});
}

TEST(ConditionParse, NamesNumbersAndValues) {
    EXPECT_EQ(parse("ip6[0:1] == 0x60").e.protocol_id, P_IP6);
    EXPECT_EQ(parse("ip[0:1] == 0x60").e.protocol_id, P_IP);
    EXPECT_EQ(parse("ipx").p.protocol_id, P_IPX);
    EXPECT_EQ(parse("ipxspx").p.protocol_id, P_IPXSPX);
    EXPECT_EQ(parse("ip6frag!=1").p.protocol_id, P_IP6FRAG);

    Parsed x = parse("ip[12:4] == 192");
    EXPECT_EQ(x.e.offset, 12);
    EXPECT_EQ(x.e.length, 4);
    EXPECT_EQ(hexstr(x.e.value_bytes, 4), "000000C0");
    EXPECT_STREQ(x.e.relational_operator, "==");
    EXPECT_EQ(x.e.bit_operation, 0);

    x = parse("tcp[0:3] & 0x102 == 0x2");
    EXPECT_EQ(x.e.bit_operation, 1);
    EXPECT_EQ(hexstr(x.e.mask_bytes, 3), "000102");
    EXPECT_EQ(hexstr(x.e.value_bytes, 3), "000002");
    EXPECT_EQ(parse("tcp[0:1] | 1 == 1").e.bit_operation, 2);

    // Byte counts of decimal values, and exact conversion beyond 32 bits.
    struct Dec {
        const char* v;
        int bytes;
        const char* hex;
    } decs[] = {{"0", 1, "00"},          {"255", 1, "FF"},         {"256", 2, "0100"},
                {"65535", 2, "FFFF"},    {"65536", 3, "010000"},   {"4294967295", 4, "FFFFFFFF"},
                {"4294967296", 5, "0100000000"}, {"00012", 1, "0C"}};
    for (const Dec& d : decs) {
        Parsed p = parse(std::string("udp == ") + d.v);
        ASSERT_EQ(p.p.error_flags, 0u) << d.v;
        EXPECT_EQ(p.e.length, d.bytes) << d.v;
        EXPECT_EQ(hexstr(p.e.value_bytes, d.bytes), d.hex) << d.v;
    }
    // Hexadecimal: digits / 2 rounded up; an odd leading digit is a byte of its own.
    Parsed h = parse("udp == 0x00035");
    EXPECT_EQ(h.e.length, 3);
    EXPECT_EQ(hexstr(h.e.value_bytes, 3), "000035");
    // Only a lower-case x makes a hexadecimal number.
    EXPECT_NE(parse("udp == 0X35").p.error_flags, 0u);

    // Offsets: hexadecimal up to 8 digits, decimal up to 9 characters, else -1.
    EXPECT_EQ(parse("ip[0x0000000c:1] == 1").e.offset, 12);
    EXPECT_EQ(parse("ip[0x00000000c:1] == 1").e.offset, -1);
    EXPECT_EQ(parse("ip[000000012:1] == 1").e.offset, 12);
    EXPECT_EQ(parse("ip[0000000012:1] == 1").e.offset, -1);
    EXPECT_EQ(parse("ip[" + std::string(124, '1') + ":1] == 1").p.error_flags, 0u);
    EXPECT_TRUE(parse("ip[" + std::string(125, '1') + ":1] == 1").p.error_flags & 0x100u);
    EXPECT_TRUE(parse("ip[0:" + std::string(125, '1') + "] == 1").p.error_flags & 0x200u);

    // String mode: printable characters to the end, at most 125.
    Parsed s = parse("tcp[20:3] == GET", VALUE_STRING);
    EXPECT_EQ(hexstr(s.e.value_bytes, 3), "474554");
    EXPECT_EQ(parse("tcp[0:125] == " + std::string(125, 'a'), VALUE_STRING).p.error_flags, 0x1u);  // normalised too long
    EXPECT_EQ(parse("tcp == " + std::string(126, 'a'), VALUE_STRING).p.error_flags, 0x800u);
    EXPECT_EQ(parse("tcp == ab\x01", VALUE_STRING).p.error_flags, 0x1000u);
    EXPECT_STREQ(parse("tcp[0:2] & 0x0f0f == ab", VALUE_STRING).p.normalised, "tcp[0:2] & 0x0f0f == 0x6162");
}

TEST(ConditionParse, FailedParseAndExpression) {
    ConditionExpression e;
    e.protocol_id = 99;
    e.length = 7;
    ConditionParse p;
    ParseCondition(p, "xyz == 1", VALUE_NUMBER, e);  // syntax error: untouched
    EXPECT_EQ(e.protocol_id, 99);
    EXPECT_EQ(e.length, 7);
    ParseCondition(p, "ip[0:1] == 256", VALUE_NUMBER, e);  // size error: cleared
    EXPECT_EQ(e.protocol_id, 0);
    EXPECT_EQ(e.length, 0);
    // The parse record is reused: nothing of the last parse survives.
    ParseCondition(p, "udp", VALUE_NUMBER, e);
    EXPECT_EQ(p.error_flags, 0u);
    EXPECT_STREQ(p.value, "");
    EXPECT_EQ(e.length, 0);
    EXPECT_EQ(e.protocol_id, P_UDP);
}

TEST(ConditionErrors, TextsCountsAndLines) {
    EXPECT_STREQ(ConditionErrorText(0x8000 | 0x1, 0x8000), "関係演算値のﾊﾞｲﾄ数が大きすぎます。");
    EXPECT_STREQ(ConditionErrorText(0x10000, 0x10000), "ｻｲｽﾞ値は１から４ﾊﾞｲﾄまでです。");
    EXPECT_STREQ(ConditionErrorText(0x2, 0x4), "");
    EXPECT_STREQ(ConditionErrorText(0x80000, 0x80000), "");
    EXPECT_EQ(CountErrorBits(0), 0);
    EXPECT_EQ(CountErrorBits(0x1FFFF), 17);
    EXPECT_EQ(CountErrorBits(0xFFF00000), 0);
    EXPECT_EQ(CountErrorBits(0x80000 | 0x1), 2);
    std::vector<std::string> want = {"Error : 識別子'['の出現位置が不正です。", "Error : ﾌﾟﾛﾄｺﾙ名が不正です。",
                                      "Error : ﾋﾞｯﾄ演算値のﾊﾞｲﾄ数が大きすぎます。"};
    EXPECT_EQ(ConditionErrorLines(0x2 | 0x80 | 0x2000 | 0x80000), want);
    EXPECT_EQ(ConditionErrorMessage(0x2 | 0x80), "Error : 識別子'['の出現位置が不正です。  \nError : ﾌﾟﾛﾄｺﾙ名が不正です。  \n");
}

TEST(ConditionEvaluate, HandIndexResults) {
    TestStore t({udp_frame()});
    FrameLayerIndex ix = hand_index(t.s, 0, {{P_ETHERNET2, 0}, {P_IP, 14}, {P_UDP, 34}});
    struct Row {
        const char* text;
        int negate;
        int result;
        int match_offset;
    } rows[] = {
        {"udp[0:2] == 0x0035", 0, 1, 34},
        {"udp[0:2] == 53", 0, 1, 34},
        {"udp[0:2] != 0x0035", 0, 0, 34},
        {"udp[0:2] != 0x0036", 0, 0, 34},  // the first byte is equal
        {"udp[0:2] != 0x1135", 0, 0, 34},  // so is the second
        {"udp[0:2] != 0x1136", 0, 1, 34},
        {"udp[2:2] == 0x1234", 0, 1, 36},
        {"ip[12:4] > 2147483648", 0, 1, 26},  // 200.0.0.1 = 3355443201, unsigned
        {"ip[12:4] < 2147483648", 0, 0, 26},
        {"ip[12:4] >= 3355443201", 0, 1, 26},
        {"ip[12:4] => 3355443202", 0, 0, 26},
        {"ip[12:4] <= 3355443200", 0, 0, 26},
        {"ip[12:4] =< 3355443201", 0, 1, 26},
        {"ip[12:4] < 4294967295", 0, 1, 26},
        {"ip[12:4] == 3355443201", 0, 1, 26},
        {"ip[0:1] & 0xf0 == 0x40", 0, 1, 14},
        {"ip & 0x0f == 5", 0, 1, 14},
        {"ip[0:1] | 0x0f == 0x4f", 0, 1, 14},
        {"ip[0:1] & 0xf0 == 0x45", 0, 1, 14},  // the value is masked as well
        {"udp[11:1] == 0x64", 0, 1, 45},
        {"udp", 0, 1, 34},
        {"udp", 1, 1, 34},  // presence ignores negate
        {"tcp", 0, 0, -1},
        {"tcp", 1, 0, -1},  // so does absence
        {"tcp[0:1] == 0", 1, 0, -1},
        {"udp[4:2] == 12", 1, 0, 38},
        {"udp[4:2] == 13", 1, 1, 38},
        {"udp[12:1] == 1", 0, EVAL_LENGTH, -1},  // past the captured end
        {"udp[12:1] == 1", 1, EVAL_LENGTH, -1},
        {"udp[13:1] == 1", 0, EVAL_OFFSET, -1},
        {"udp[0x80000000:1] == 1", 0, EVAL_OFFSET, -1},
        {"udp[0:257] == 1", 0, EVAL_LENGTH, -1},
        {"ip[0:1] & 0x40", 0, EVAL_NO_OPERATOR, 14},
    };
    for (const Row& r : rows) {
        Parsed x = parse(r.text);
        ASSERT_EQ(x.p.error_flags, 0u) << r.text;
        x.e.negate = r.negate;
        EXPECT_EQ(EvaluateCondition(t.s, ix, x.e), r.result) << r.text << " negate " << r.negate;
        EXPECT_EQ(x.e.match_offset, r.match_offset) << r.text;
    }
    Parsed m = parse("ip[0:1] & 0xf0 == 0x40");
    EvaluateCondition(t.s, ix, m.e);
    EXPECT_EQ(m.e.field_bytes[0], 0x40);

    Parsed op = parse("udp[0:2] == 1");
    std::strcpy(op.e.relational_operator, "<>");
    EXPECT_EQ(EvaluateCondition(t.s, ix, op.e), EVAL_UNKNOWN_OPERATOR);
    Parsed big = parse("udp[0:4] > 1");
    big.e.length = 5;
    EXPECT_EQ(EvaluateCondition(t.s, ix, big.e), EVAL_MAGNITUDE_LENGTH);
}

TEST(ConditionEvaluate, IndexChecks) {
    TestStore t({udp_frame()});
    Parsed x = parse("udp");
    FrameLayerIndex none;
    EXPECT_EQ(EvaluateCondition(t.s, none, x.e), EVAL_RECORD_OUTSIDE);
    FrameLayerIndex empty;
    empty.frame = t.s.at(0);
    EXPECT_EQ(EvaluateCondition(t.s, empty, x.e), EVAL_NO_LAYER);
    // A record outside the store (or beyond its used bytes) is not read.
    zt::Record outside(udp_frame());
    FrameLayerIndex foreign;
    foreign.frame = outside.data();
    foreign.count = 1;
    foreign.entries[0] = {outside.data() + 16 + 34, P_UDP, 50};
    EXPECT_EQ(EvaluateCondition(t.s, foreign, x.e), EVAL_RECORD_OUTSIDE);
    FrameLayerIndex ix = hand_index(t.s, 0, {{P_UDP, 34}});
    FrameStore empty_store;
    EXPECT_EQ(EvaluateCondition(empty_store, ix, x.e), EVAL_RECORD_OUTSIDE);
    uint32_t used = t.s.used_bytes();
    t.s.set_used_bytes(used - 1);
    EXPECT_EQ(EvaluateCondition(t.s, ix, x.e), EVAL_RECORD_OUTSIDE);
    t.s.set_used_bytes(used);
    EXPECT_EQ(EvaluateCondition(t.s, ix, x.e), 1);
    // A layer start outside the frame bytes counts as an offset beyond the end.
    ix.entries[0].start = record_bytes(ix.frame) + 47;
    EXPECT_EQ(EvaluateCondition(t.s, ix, x.e), EVAL_OFFSET);
}

TEST(ConditionEvaluate, DecodedFrames) {
    zt::Frame short_udp = udp_frame();
    short_udp.resize(40);  // 6 bytes of the UDP header captured
    TestStore t({tcp_frame(0x02), tcp_frame(0x10), ipv6_udp_frame(), udp_frame(), short_udp});
    DecodeContext c;
    c.link_type = 1;
    LayerIndexList list;
    BuildLayerIndexes(c, t.s, list);
    ASSERT_EQ(list.size(), 5u);
    auto eval = [&](uint32_t i, const char* text, int negate = 0) {
        Parsed x = parse(text);
        EXPECT_EQ(x.p.error_flags, 0u) << text;
        x.e.negate = negate;
        FrameLayerIndex ix;
        list.view(i, ix);
        return EvaluateCondition(t.s, ix, x.e);
    };
    EXPECT_EQ(eval(0, "tcp[13] & 0x02 != 0"), 1);
    EXPECT_EQ(eval(1, "tcp[13] & 0x02 != 0"), 0);
    EXPECT_EQ(eval(1, "tcp[13] & 0x02 != 0", 1), 1);
    EXPECT_EQ(eval(3, "tcp[13] & 0x02 != 0", 1), 0);  // no TCP layer, even negated
    EXPECT_EQ(eval(2, "ip6[0:1] & 0xf0 == 0x60"), 1);
    EXPECT_EQ(eval(2, "ip[0:1] & 0xf0 == 0x40"), 0);
    EXPECT_EQ(eval(2, "udp[2:2] == 6001"), 1);
    EXPECT_EQ(eval(3, "udp[0:2] == 53"), 1);
    EXPECT_EQ(eval(3, "ethernet2[12:2] == 0x0800"), 1);
    EXPECT_EQ(eval(4, "udp[4:2] == 12"), 1);
    EXPECT_EQ(eval(4, "udp[6:2] == 0"), EVAL_LENGTH);  // past the captured end
}

TEST(ConditionParse, RandomTextsStaySafeAndNormaliseStably) {
    // Texts made of the language's own characters: every accepted one normalises
    // to a text that parses again to itself, and evaluating it reads nothing
    // outside the frame.
    static const char* const tokens[] = {"ip", "ip6", "tcp", "udp", "[", "]", ":", "0", "13", "0x02", "0x1234",
                                         "255", "256", "4294967296", "==", "!=", ">", "<=", "=>", "&", "|", " ",
                                         "GET", "x", "\x01", "!"};
    constexpr uint32_t ntokens = sizeof tokens / sizeof tokens[0];
    TestStore t({udp_frame()});
    FrameLayerIndex ix = hand_index(t.s, 0, {{P_ETHERNET2, 0}, {P_IP, 14}, {P_UDP, 34}});
    uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    int accepted = 0;
    for (int n = 0; n < 20000; ++n) {
        std::string text = next() % 8 ? tokens[next() % 4] : "";
        int len = int(next() % 9);
        for (int k = 0; k < len; ++k) text += tokens[next() % ntokens];
        seed = seed * 1103515245u + 12345u;
        int mode = int((seed >> 20) & 1);
        Parsed x = parse(text, mode);
        if (x.p.error_flags) continue;
        ++accepted;
        Parsed again = parse(x.p.normalised);
        ASSERT_EQ(again.p.error_flags, 0u) << "[" << text << "] -> " << x.p.normalised;
        ASSERT_STREQ(again.p.normalised, x.p.normalised) << "[" << text << "]";
        int r = EvaluateCondition(t.s, ix, x.e);
        EXPECT_TRUE(r == 0 || r == 1 || r < -1) << text;
    }
    EXPECT_GT(accepted, 100);
}
