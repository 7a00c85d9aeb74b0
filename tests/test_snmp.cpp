// SNMP: versions and PDUs in the summary, the BER walk with its error rules, value
// types, SNMPv2u and SNMPv3 headers, and messages cut at every length.
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

constexpr int LEAD = 42;  // Ethernet, IPv4 and UDP in front of the message

struct Direct : zt::Direct {
    Direct() : zt::Direct(decode_snmp, LEAD) {}
};

Frame tlv(uint8_t tag, const Frame& value) {
    size_t n = value.size();
    Frame head{tag};
    if (n < 0x80) head.push_back(uint8_t(n));
    else if (n < 0x100) head.insert(head.end(), {0x81, uint8_t(n)});
    else head.insert(head.end(), {0x82, uint8_t(n >> 8), uint8_t(n)});
    return cat({head, value});
}
Frame seq(std::initializer_list<Frame> parts) { return tlv(0x30, cat(parts)); }
Frame integer(long v) {
    Frame b;
    do {
        b.insert(b.begin(), uint8_t(v & 0xFF));
        v >>= 8;
    } while (!((v == 0 && !(b[0] & 0x80)) || (v == -1 && (b[0] & 0x80))));
    return tlv(0x02, b);
}
Frame str(const std::string& s) { return tlv(0x04, Frame(s.begin(), s.end())); }
const Frame null_value = hex("0500");
const Frame sys_descr = hex("06 08 2B06010201010100");  // 1.3.6.1.2.1.1.1.0
const Frame sys_name = hex("06 08 2B06010201010500");   // 1.3.6.1.2.1.1.5.0

Frame pdu(uint8_t type, long id, long a, long b, std::initializer_list<Frame> binds) {
    return tlv(uint8_t(0xA0 | type), cat({integer(id), integer(a), integer(b), seq(binds)}));
}
Frame message(long version, const Frame& pdu_bytes, const std::string& community = "public") {
    return seq({integer(version), str(community), pdu_bytes});
}

const Frame get = message(1, pdu(0, 0x2A17, 0, 0, {seq({sys_descr, null_value}), seq({sys_name, null_value})}));

const std::vector<std::string> get_lines = {
    "  Simple Network Management Protocol",
    "    Version : 2c(0x1)",
    "    Community : public",
    "    PDU(Protocol Data Unit) type : GetRequest",
    "      Request ID : 0x2A17",
    "      Error Status : noError",
    "      Error Index : 0",
    "      Object identifier 1 : 1.3.6.1.2.1.1.1.0",
    "        Value : NULL",
    "      Object identifier 2 : 1.3.6.1.2.1.1.5.0",
    "        Value : NULL",
};

// The value line of a response carrying one binding with this value.
std::vector<std::string> value_lines(const Frame& value) {
    Direct d;
    auto lines = d.detail(message(1, pdu(2, 1, 0, 0, {seq({sys_descr, value})})));
    return std::vector<std::string>(lines.begin() + 8, lines.end());
}

}  // namespace

TEST(SnmpSummary, VersionsAndPduTypes) {
    Direct d;
    struct Case {
        long version;
        const char* column;
    } versions[] = {{0, "SNMPv1"}, {1, "SNMPv2c"}, {2, "SNMPv2u"}, {3, "SNMPv3"}, {4, "SNMP"}, {-1, "SNMP"}};
    for (const auto& k : versions)
        EXPECT_EQ(d.summary(seq({integer(k.version)})).col[4], k.column) << k.version;
    const char* types[] = {"GetRequest", "GetNextRequest", "Response", "SetRequest", "SNMPv1-Trap",
                           "GetBulkRequest", "InformRequest", "SNMPv2-Trap", "Report", "Unknown(9)"};
    for (uint8_t t = 0; t < 10; ++t) {
        auto s = d.summary(message(1, tlv(uint8_t(0xA0 | t), {})));
        EXPECT_EQ(s.col[5], std::string("PDU type : ") + types[t]) << int(t);
    }
    auto ix = d.layers(get);
    ASSERT_EQ(ix.count, 1);
    EXPECT_EQ(ix.entries[0].protocol, P_SNMP);
    EXPECT_EQ(ix.entries[0].offset, 16 + LEAD);
    EXPECT_STREQ(ix.label, "SNMP");
}

TEST(SnmpSummary, ThroughUdpPorts) {
    Frame udp = hex("001122334455 66778899AABB 0800 45000000 00010000 40110000 0A000001 0A000002 C3500000 00000000");
    for (uint16_t port : {161, 162}) {
        Frame f = cat({udp, get});
        f[16] = uint8_t((f.size() - 14) >> 8);
        f[17] = uint8_t(f.size() - 14);
        f[36] = uint8_t(port >> 8);
        f[37] = uint8_t(port);
        f[38] = uint8_t((f.size() - 34) >> 8);
        f[39] = uint8_t(f.size() - 34);
        auto s = zt::summarize(f);
        EXPECT_EQ(s.col[4], "SNMPv2c") << port;
        EXPECT_EQ(s.col[5], "PDU type : GetRequest") << port;
    }
}

TEST(SnmpDetail, GetRequestAndByteRanges) {
    Direct d;
    EXPECT_EQ(d.detail(get), get_lines);
    DetailTree t;
    d.tree(t, get);
    struct Case {
        int handle;
        uint32_t offset, length;
    } cases[] = {{1, 0, uint32_t(get.size())}, {2, 2, 3}, {3, 5, 8}, {4, 13, uint32_t(get.size() - 13)},
                 {5, 15, 4}, {8, 27, 14}, {9, 39, 2}};
    for (const auto& k : cases) {
        EXPECT_EQ(t.line(k.handle).offset, LEAD + k.offset) << t.text(k.handle);
        EXPECT_EQ(t.line(k.handle).length, k.length) << t.text(k.handle);
    }
    EXPECT_EQ(t.line(1).protocol, P_SNMP);
}

TEST(SnmpDetail, ValueTypes) {
    struct Case {
        Frame value;
        const char* line;
    } cases[] = {
        {null_value, "Value : NULL"},
        {hex("0201FF"), "Value : INTEGER -1(0xffffffff)"},
        {hex("02020100"), "Value : INTEGER 256(0x100)"},
        {str("abc"), "Value : OCTET STRING abc"},
        {hex("0403000102"), "Value : OCTET STRING 00 01 02"},
        {hex("06032B0601"), "Value : OBJECTID 1.3.6.1"},
        {hex("0602 2705"), "Value : OBJECTID 0.39.5"},
        {hex("0602 5105"), "Value : OBJECTID 2.1.5"},
        {hex("0602 8837"), "Value : OBJECTID 2.999"},
        {hex("40040A000001"), "Value : IPADDR 010.000.000.001"},
        {hex("410500FFFFFFFF"), "Value : COUNTER 4294967295(0xffffffff)"},
        {hex("420107"), "Value : GAUGE 7(0x7)"},
        {hex("43020100"), "Value : TIMETICKS 256(0x100)"},
        {hex("4402ABCD"), "Value : OPAQUE AB CD"},
        {hex("030200F0"), "Value : BITSTR 00 F0"},
        {hex("460900FFFFFFFFFFFFFFFF"), "Value : COUNTER64 18446744073709551615"},
        {hex("460105"), "Value : COUNTER64 5"},
        {hex("8000"), "Value : NOSUCHOBJECT noSuchObject"},
        {hex("8100"), "Value : NOSUCHINSTANCE noSuchInstance"},
        {hex("8200"), "Value : ENDOFMIBVIEW endOfMibView"},
        {hex("470105"), "Value : unsupported type 05"},
    };
    for (const auto& k : cases)
        EXPECT_EQ(value_lines(k.value), std::vector<std::string>{std::string("        ") + k.line}) << k.line;
}

TEST(SnmpDetail, BerErrorsEndTheMessageAndKeepTheLines) {
    struct Case {
        const char* what;
        Frame value;
    } cases[] = {
        {"INTEGER of 5 bytes", hex("02050102030405")},
        {"unsigned of 5 bytes without a leading zero", hex("41050102030405")},
        {"indefinite length", hex("0480616200 00")},
        {"OID whose last subidentifier runs on", hex("06022B86")},
    };
    for (const auto& k : cases) {
        auto lines = value_lines(k.value);
        EXPECT_TRUE(lines.empty()) << k.what << ": " << (lines.empty() ? "" : lines[0]);
    }
    Direct d;
    // A 5-byte request id stops right after the PDU line.
    auto lines = d.detail(message(1, tlv(0xA0, cat({hex("02050102030405"), integer(0), integer(0), seq({})}))));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3], "    PDU(Protocol Data Unit) type : GetRequest");
    // A second binding in error keeps the first one.
    lines = d.detail(message(1, pdu(2, 1, 0, 0, {seq({sys_descr, str("x")}), seq({hex("0400"), null_value})})));
    EXPECT_EQ(lines.back(), "        Value : OCTET STRING x");
    // The outer SEQUENCE or the version wrong: nothing at all, not even the protocol.
    Frame set = get;
    set[0] = 0x31;
    for (const Frame& bad : {set, seq({str("1"), str("public")}), hex("3080020101")}) {
        EXPECT_TRUE(d.detail(bad).empty());
        EXPECT_EQ(d.summary(bad).col[4], "");
    }
    // A PDU must be context-specific and constructed.
    lines = d.detail(message(1, seq({integer(1)})));
    EXPECT_EQ(lines.back(), "    Community : public");
}

TEST(SnmpDetail, LongStringsAreCut) {
    Direct d;
    std::string community(500, 'c');
    auto lines = d.detail(message(0, pdu(0, 1, 0, 0, {}), community));
    EXPECT_EQ(lines[2], "    Community : " + std::string(448, 'c') + "...");
    lines = d.detail(message(0, pdu(0, 1, 0, 0, {}), std::string(448, 'c')));
    EXPECT_EQ(lines[2], "    Community : " + std::string(448, 'c'));
}

TEST(SnmpDetail, TrapAndBulk) {
    Direct d;
    Frame trap = message(0, tlv(0xA4, cat({hex("06072B060104013F01"), hex("4004C0A80A01"), integer(6), integer(17),
                                          hex("43020400"), seq({seq({sys_name, integer(-2)})})})));
    std::vector<std::string> want = {
        "    PDU(Protocol Data Unit) type : SNMPv1-Trap",
        "      Enterprise : 1.3.6.1.4.1.63.1",
        "      Agent address : 192.168.10.1",
        "      Trap type : enterpriseSpecific",
        "      Specific Trap type : 17(11)",
        "      Timestamp : 1024",
        "      Object identifier 1 : 1.3.6.1.2.1.1.5.0",
        "        Value : INTEGER -2(0xfffffffe)",
    };
    auto lines = d.detail(trap);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 3, lines.end()), want);
    lines = d.detail(message(0, tlv(0xA4, cat({hex("06012B"), hex("400200FF"), integer(9)}))));
    EXPECT_TRUE(zt::has_line(lines, "Agent address : Invalid length(2)"));
    EXPECT_TRUE(zt::has_line(lines, "Trap type : Unknown(9)"));

    lines = d.detail(message(1, pdu(5, 7, 1, 10, {seq({sys_descr, null_value})})));
    EXPECT_TRUE(zt::has_line(lines, "Non Repeaters : 1"));
    EXPECT_TRUE(zt::has_line(lines, "Max Repetitions : 10"));
    EXPECT_FALSE(zt::has_line(lines, "Error Status : noError"));
    lines = d.detail(message(1, pdu(2, 7, 18, 3, {})));
    EXPECT_TRUE(zt::has_line(lines, "Error Status : inconsistentName"));
    EXPECT_TRUE(zt::has_line(lines, "Error Index : 3"));
    EXPECT_TRUE(zt::has_line(d.detail(message(1, pdu(2, 7, 19, 3, {}))), "Error Status : Unknown(19)"));
}

TEST(SnmpDetail, Version2uParameters) {
    Frame params = cat({hex("01 05"), hex("000102030405060708090A0B"), hex("00000003 00000E10 05DC"),
                        hex("04"), Frame{'u', 's', 'e', 'r'}, hex("02 ABCD"), hex("C0FFEE")});
    Direct d;
    auto lines = d.detail(seq({integer(2), tlv(0x04, params), pdu(1, 1, 0, 0, {})}));
    std::vector<std::string> want = {
        "    Parameters",
        "      Model : 1",
        "      Parameters : 05 00 01 02 03 04 05 06 07 08 09 0A 0B 00 00 00 03 00 00 0E 10 05 DC 04 75 73 65 72 02 AB "
        "CD C0 FF EE",
        "      qoS : 0x5",
        "        **** **01 : Authentication, no privacy",
        "        **** *1** : Generation of report PDU allowed",
        "      agentID : 00 01 02 03 04 05 06 07 08 09 0A 0B",
        "      agentBoots : 3",
        "      agentTime : 3600",
        "      maxSize: 1500",
        "      userLen : 4",
        "      userName : user",
        "      authLen : 2",
        "      authDigest : AB CD",
        "      contextSelector : C0 FF EE",
        "    PDU(Protocol Data Unit) type : GetNextRequest",
    };
    ASSERT_GE(lines.size(), 3 + want.size());
    EXPECT_EQ(lines[1], "    Version : 2u(0x2)");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 3, lines.begin() + 3 + long(want.size())), want);

    // Another model, or a string holding the model byte only: its bytes are shown
    // whole and not taken apart, and the PDU still follows.
    struct {
        Frame params;
        std::vector<std::string> want;
    } others[] = {
        {hex("02 0102"), {"    Parameters", "      Model : 2", "      Parameters : 01 02",
                          "    PDU(Protocol Data Unit) type : GetNextRequest"}},
        {hex("01"), {"    Parameters", "      Model : 1", "      Parameters : ",
                     "    PDU(Protocol Data Unit) type : GetNextRequest"}},
    };
    for (const auto& o : others) {
        lines = d.detail(seq({integer(2), tlv(0x04, o.params), pdu(1, 1, 0, 0, {})}));
        ASSERT_GE(lines.size(), 3 + o.want.size());
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 3, lines.begin() + 3 + long(o.want.size())), o.want);
    }
}

TEST(SnmpDetail, Version3) {
    Frame usm = seq({tlv(0x04, hex("800000090300AABBCCDDEEFF")), integer(12), integer(3456), str("admin"),
                     tlv(0x04, hex("0102030405060708090A0B0C")), tlv(0x04, hex("1122334455667788"))});
    auto v3 = [&](uint8_t flags, const Frame& rest) {
        return seq({integer(3), seq({integer(91), integer(65507), tlv(0x04, {flags}), integer(3)}), tlv(0x04, usm),
                    rest});
    };
    Frame scoped = seq({tlv(0x04, hex("800000090300AABB")), str("ctx"), pdu(0, 5, 0, 0, {})});
    std::vector<std::string> want = {
        "  Simple Network Management Protocol",
        "    Version : 3(0x3)",
        "    mesGlobal Header",
        "      mesGlobal Header Length : 14",
        "      mesID : 91",
        "      mesMaxSize : 65507",
        "      msgFlags : 0x05",
        "        **** ***1 : auth ON",
        "        **** **0* : priv OFF",
        "        **** *1** : reportable ON",
        "      mesSecurityModel: usm",
        "    mesSecurityParameters(54 bytes)",
        "      mesSecurityParameters Length : 52",
        "      msgAuthoritativeEngineID : 80 00 00 09 03 00 AA BB CC DD EE FF",
        "      msgAuthoritativeEngineBoots : 12",
        "      msgAuthoritativeEngineTime : 3456",
        "      msgUserName : admin",
        "      msgAuthenticationParameters : 01 02 03 04 05 06 07 08 09 0A 0B 0C",
        "      msgPrivacyParameters : 11 22 33 44 55 66 77 88",
        "    contextEngineID : 80 00 00 09 03 00 AA BB",
        "    contextName : ctx",
        "    PDU(Protocol Data Unit) type : GetRequest",
        "      Request ID : 0x5",
        "      Error Status : noError",
        "      Error Index : 0",
    };
    Direct d;
    EXPECT_EQ(d.detail(v3(0x05, scoped)), want);
    EXPECT_EQ(d.summary(v3(0x05, scoped)).col[5], "PDU type : GetRequest");

    // With the priv flag the rest is only its size.
    auto lines = d.detail(v3(0x07, tlv(0x04, Frame(40, 0x5A))));
    EXPECT_EQ(lines.size(), 20u);
    EXPECT_EQ(lines.back(), "    Encrypted PDU(40 bytes)");
    EXPECT_EQ(d.summary(v3(0x07, tlv(0x04, Frame(40, 0x5A)))).col[5], "Encrypted PDU(40 bytes)");

    // Security parameters whose SEQUENCE runs past their string: malformed, not cut.
    lines = d.detail(seq({integer(3), seq({integer(1), integer(2), tlv(0x04, {0x00}), integer(3)}),
                          tlv(0x04, hex("3010 0400")), scoped}));
    EXPECT_EQ(lines.back(), "      msgAuthoritativeEngineID : ");
    EXPECT_TRUE(zt::has_line(lines, "mesSecurityParameters Length : 16"));

    // msgFlags of any other length than one ends the message before its line.
    lines = d.detail(seq({integer(3), seq({integer(1), integer(2), tlv(0x04, hex("0400")), integer(3)})}));
    EXPECT_EQ(lines.back(), "      mesMaxSize : 2");
}

TEST(SnmpTruncated, EveryLengthKeepsTheLinesAndSaysSo) {
    Frame v3 = seq({integer(3), seq({integer(91), integer(65507), tlv(0x04, {0x03}), integer(3)}),
                    tlv(0x04, seq({str("e"), integer(1), integer(2), str("u"), str(""), str("")})), tlv(0x04, Frame(9, 1))});
    Frame bulk = message(1, pdu(5, 1, 0, 5, {seq({sys_descr, hex("460101")}), seq({sys_name, str("n")})}));
    Direct d;
    for (const Frame& whole : {get, v3, bulk}) {
        auto full = d.detail(whole);
        ASSERT_GT(full.size(), 3u);
        for (size_t n = 0; n < whole.size(); ++n) {
            Frame part(whole.begin(), whole.begin() + long(n));
            auto lines = d.detail(part);
            auto s = d.summary(part);
            if (n < 5) {  // the SEQUENCE and the version are not both there
                EXPECT_TRUE(lines.empty()) << n;
                EXPECT_EQ(s.col[4], "") << n;
                continue;
            }
            EXPECT_EQ(s.col[4], whole == v3 ? "SNMPv3" : "SNMPv2c") << n;
            ASSERT_GE(lines.size(), 2u) << n;
            EXPECT_EQ(lines.back(), "    Message truncated : " + std::to_string(n) + " of " +
                                        std::to_string(whole.size()) + " bytes captured") << n;
            for (size_t i = 0; i + 1 < lines.size(); ++i) {
                ASSERT_LT(i, full.size()) << n;
                EXPECT_EQ(lines[i], full[i]) << n;
            }
        }
    }
}

TEST(SnmpTruncated, WalksEnd) {
    Direct d;
    // A binding list announcing more than the message holds, made of the smallest
    // bindings: each one is shown, then the cut.
    Frame many;
    for (int i = 0; i < 300; ++i) many = cat({many, hex("30040600 0500")});
    Frame m = message(1, tlv(0xA2, cat({integer(1), integer(0), integer(0), hex("3082FFFF"), many})));
    auto lines = d.detail(m);
    ASSERT_EQ(lines.size(), 7u + 600u + 1u);
    EXPECT_EQ(lines[7], "      Object identifier 1 : ");
    EXPECT_EQ(lines[605], "      Object identifier 300 : ");
    EXPECT_EQ(lines.back().rfind("    Message truncated : ", 0), 0u);
    // Empty bindings (no OID) end the walk at the first.
    lines = d.detail(message(1, pdu(2, 1, 0, 0, {hex("3000"), hex("3000")})));
    EXPECT_EQ(lines.size(), 7u);
    // A high tag number that never ends.
    EXPECT_TRUE(value_lines(hex("5F FFFFFFFFFF 01 00")).empty());
    // A length of more than four bytes.
    EXPECT_TRUE(value_lines(hex("04 85 0100000000 61")).empty());
}
