// DNS: header and flags, names with compression, the sections and record formats,
// DNS over TCP, malformed names and messages, and every truncation of an answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
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

using zt::Lines;

namespace {

enum Transport { TCP = 6, UDP = 17 };

// Bytes standing for the link, IP and transport headers in front of the message.
constexpr int LEAD = 42;



// decode_dns with the transport protocol that TCP or UDP would have left.
class Direct : public zt::Direct {
public:
    Direct() : zt::Direct(decode_dns, LEAD, [this](DecodeContext& c) { c.transport_protocol = transport_; }) {}
    zt::Summary summary(const Frame& m, Transport t = UDP) { transport_ = t; return zt::Direct::summary(m); }
    std::vector<std::string> detail(const Frame& m, Transport t = UDP) { transport_ = t; return zt::Direct::detail(m); }
    FrameLayerIndex layers(const Frame& m, Transport t = UDP) { transport_ = t; return zt::Direct::layers(m); }
    void tree(DetailTree& tree, const Frame& m, Transport t = UDP) { transport_ = t; zt::Direct::tree(tree, m); }

private:
    int transport_ = UDP;
};

Frame be16(uint16_t v) { return {uint8_t(v >> 8), uint8_t(v)}; }
Frame be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

// Uncompressed labels of a dotted name, ended by the zero byte.
Frame labels(const std::string& dotted) {
    Frame out;
    size_t i = 0;
    while (i < dotted.size()) {
        size_t dot = dotted.find('.', i);
        if (dot == std::string::npos) dot = dotted.size();
        out.push_back(uint8_t(dot - i));
        out.insert(out.end(), dotted.begin() + long(i), dotted.begin() + long(dot));
        i = dot + 1;
    }
    out.push_back(0);
    return out;
}
Frame ptr(uint16_t offset) { return {uint8_t(0xC0 | offset >> 8), uint8_t(offset)}; }

Frame header(uint16_t flags, uint16_t qd, uint16_t an, uint16_t ns = 0, uint16_t ar = 0, uint16_t id = 0x1234) {
    return cat({be16(id), be16(flags), be16(qd), be16(an), be16(ns), be16(ar)});
}
Frame question(const Frame& name, uint16_t type, uint16_t klass = 1) { return cat({name, be16(type), be16(klass)}); }
Frame record(const Frame& name, uint16_t type, const Frame& rdata, uint32_t ttl = 3600, uint16_t klass = 1) {
    return cat({name, be16(type), be16(klass), be32(ttl), be16(uint16_t(rdata.size())), rdata});
}

std::vector<std::string> strip(const std::vector<std::string>& lines, size_t from, size_t indent) {
    std::vector<std::string> out;
    for (size_t i = from; i < lines.size(); ++i) out.push_back(lines[i].substr(std::min(indent, lines[i].size())));
    return out;
}

bool any_line_contains(const std::vector<std::string>& lines, const std::string& part) {
    for (const auto& l : lines)
        if (l.find(part) != std::string::npos) return true;
    return false;
}

int32_t find_line(const DetailTree& t, const std::string& text) {
    for (int32_t h = 1; h <= t.size(); ++h)
        if (t.text(h) == text) return h;
    return 0;
}

// A standard query for www.example.com, type A, recursion desired (scapy).
const Frame query = hex("12340100000100000000000003777777076578616d706c6503636f6d0000010001");

// The answer to "example.com ANY" with compressed names: A, AAAA, CNAME, MX, NS,
// SOA, PTR, TXT, SRV, then an OPT record (checked against tshark).
const Frame answer = hex(
    "123481800001000900000001076578616d706c6503636f6d0000ff0001c00c0001000100000e1000045db8d822"
    "c00c001c000100000e10001020010db800000000000000000000000103777777c00c000500010000012c0002c00c"
    "c00c000f000100000e100009000a046d61696cc00cc00c00020001000151800006036e7331c00cc00c0006000100"
    "000e100023c07c0a686f73746d6173746572c00c78a3f17500001c2000000e10001275000000012c023334033231"
    "360331383402393307696e2d61646472046172706100000c000100000e100002c00cc00c0010000100000e10000f"
    "0b763d73706631202d616c6c026869045f736970045f746370c00c0021000100000e10000c000a003c13c4037369"
    "70c00c0000291000000080000000");

const std::vector<std::string> answer_lines = {
    "  Domain Name System",
    "    Identifier : 0x1234",
    "    Flag field (0x8180)",
    "      1*** **** **** **** : Message=Response(1)",
    "      *000 0*** **** **** : Opcode=Standard Query(0)",
    "      **** *0** **** **** : Authoritative Answer(OFF)",
    "      **** **0* **** **** : TrunCation(OFF)",
    "      **** ***1 **** **** : Recursion Desired(ON)",
    "      **** **** 1*** **** : Recursion Available(ON)",
    "      **** **** **0* **** : Authentic Data(OFF)",
    "      **** **** ***0 **** : Checking Disabled(OFF)",
    "      **** **** **** 0000 : Response code=No Error (0)",
    "    Query count : 1",
    "    Answer count : 9",
    "    Additional information count : 1",
    "    Query Records",
    "      example.com *(request for all records)(255) IN(Internet)(1)",
    "        NAME : example.com",
    "        TYPE : *(request for all records)(255)",
    "        CLASS : IN(Internet)(1)",
    "    Answer Records",
    "      example.com A(host address)(1)",
    "        NAME : example.com",
    "        TYPE : A(host address)(1)",
    "        CLASS : IN(Internet)(1)",
    "        TTL :  1 hour",
    "        Length : 4",
    "        Address : 93.184.216.34",
    "      example.com AAAA(IPv6 address)(28)",
    "        NAME : example.com",
    "        TYPE : AAAA(IPv6 address)(28)",
    "        CLASS : IN(Internet)(1)",
    "        TTL :  1 hour",
    "        Length : 16",
    "        IPv6 address : 2001:DB8::1",
    "      www.example.com CNAME(canonical name for an alias)(5)",
    "        NAME : www.example.com",
    "        TYPE : CNAME(canonical name for an alias)(5)",
    "        CLASS : IN(Internet)(1)",
    "        TTL :  5 min",
    "        Length : 2",
    "        Primary name : example.com",
    "      example.com MX(mail exchange)(15)",
    "        NAME : example.com",
    "        TYPE : MX(mail exchange)(15)",
    "        CLASS : IN(Internet)(1)",
    "        TTL :  1 hour",
    "        Length : 9",
    "        Preference : 10",
    "        Mailbox : mail.example.com",
    "      example.com NS(authoritative name server)(2)",
    "        NAME : example.com",
    "        TYPE : NS(authoritative name server)(2)",
    "        CLASS : IN(Internet)(1)",
    "        TTL :  1 day",
    "        Length : 6",
    "        Name server : ns1.example.com",
    "      example.com SOA(marks the start of a zone of authority)(6)",
    "        NAME : example.com",
    "        TYPE : SOA(marks the start of a zone of authority)(6)",
    "        CLASS : IN(Internet)(1)",
    "        TTL :  1 hour",
    "        Length : 35",
    "        Name server : ns1.example.com",
    "        Mailbox : hostmaster.example.com",
    "        Serial number : 2024010101",
    "        Refresh interval : 7200",
    "        Retry interval : 3600",
    "        Expire limit : 1209600",
    "        Minimum TTL : 300",
    "      34.216.184.93.in-addr.arpa PTR(domain name pointer)(12)",
    "        NAME : 34.216.184.93.in-addr.arpa",
    "        TYPE : PTR(domain name pointer)(12)",
    "        CLASS : IN(Internet)(1)",
    "        TTL :  1 hour",
    "        Length : 2",
    "        RDATA : example.com",
    "      example.com TXT(text strings)(16)",
    "        NAME : example.com",
    "        TYPE : TXT(text strings)(16)",
    "        CLASS : IN(Internet)(1)",
    "        TTL :  1 hour",
    "        Length : 15",
    "        Text : 763D73706631202D616C6C",
    "        Text : 6869",
    // SRV has an RDATA format but no row in the type table.
    "      _sip._tcp.example.com Unknown(33)",
    "        NAME : _sip._tcp.example.com",
    "        TYPE : Unknown(33)",
    "        CLASS : IN(Internet)(1)",
    "        TTL :  1 hour",
    "        Length : 12",
    "        Priority : 10",
    "        Weight : 60",
    "        Port : 5060",
    "        Target : sip.example.com",
    "    Additional information Records",
    "      Root Domain OPT(option)(41)",
    "        NAME : Root Domain",
    "        TYPE : OPT(option)(41)",
    "        UDP payload size : 4096",
    "        Upper 8 bits of extended 12-bit RCODE : 0x000000",
    "        EDNS0 Version : 0",
    "        1*** **** **** **** : DO bit=ON",
    "        *000 0000 0000 0000 : Z=0",
    "        Length : 0",
};

// A response holding one answer record (no question), for the RDATA formats.
Frame one_record(uint16_t type, const Frame& rdata, uint16_t klass = 1) {
    return cat({header(0x8400, 0, 1), record(labels("example.com"), type, rdata, 3600, klass)});
}
// The RDATA lines of that record, indented relative to the record's fields.
std::vector<std::string> rdata_lines(uint16_t type, const Frame& rdata) {
    Direct d;
    auto lines = d.detail(one_record(type, rdata));
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].rfind("        Length : ", 0) == 0) return strip(lines, i + 1, 8);
    ADD_FAILURE() << "no Length line";
    return {};
}

// Runs a test body with the local time zone set to UTC.
struct UtcZone {
    std::string saved;
    bool had;
    UtcZone() {
        const char* tz = std::getenv("TZ");
        had = tz != nullptr;
        if (had) saved = tz;
        setenv("TZ", "UTC0", 1);
        tzset();
    }
    ~UtcZone() {
        if (had) setenv("TZ", saved.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }
};

}  // namespace

// ---- summary ----

TEST(DnsSummary, QueryListsOpcodeAndNamesResponseOnlyItsCode) {
    Direct d;
    auto q = d.summary(query);
    EXPECT_EQ(q.col[4], "DNS");
    EXPECT_EQ(q.col[5], "Standard Query(0) www.example.com ");
    EXPECT_EQ(d.summary(answer).col[5], "Response(No Error (0))");

    struct Case {
        Frame message;
        std::string text;
    } cases[] = {
        // Two questions, the second compressed against the first.
        {cat({header(0x0000, 2, 0), question(labels("a.example"), 1), question(cat({hex("01 62"), ptr(14)}), 28)}),
         "Standard Query(0) a.example b.example "},
        // The count says three, but the bytes hold one question.
        {cat({header(0x2800, 3, 0), question(labels("zone.test"), 6)}), "Update(5) zone.test "},
        {cat({header(0x1000, 0, 0)}), "Status(2) "},
        {cat({header(0x1800, 0, 0)}), "Unknown(3) "},
        {cat({header(0x8183, 1, 0), question(labels("nx.test"), 1)}), "Response(Non-Existent Domain(3))"},
        {cat({header(0x800B, 0, 0)}), "Response(Unknown(11))"},
        {cat({header(0x0000, 1, 0), question(hex("00"), 2)}), "Standard Query(0) Root Domain "},
    };
    for (const auto& k : cases) EXPECT_EQ(d.summary(k.message).col[5], k.text);
}

TEST(DnsSummary, ShortMessagesShowTheirSize) {
    Direct d;
    for (int n = 0; n < 12; ++n) {
        Frame m(answer.begin(), answer.begin() + n);
        auto s = d.summary(m);
        EXPECT_EQ(s.col[4], "DNS") << n;
        EXPECT_EQ(s.col[5], "DNS data " + std::to_string(n) + " octets") << n;
        auto lines = d.detail(m);
        ASSERT_EQ(lines.size(), 2u) << n;
        EXPECT_EQ(lines[0], "  Domain Name System");
        EXPECT_EQ(lines[1], "    DNS data " + std::to_string(n) + " bytes");
    }
}

TEST(DnsSummary, LongNamesAreCutLikeColumns) {
    // 17 labels of 63 bytes: 1087 characters, more than a name text holds.
    std::string label(63, 'x'), dotted;
    for (int i = 0; i < 17; ++i) dotted += (i ? "." : "") + label;
    Frame m = cat({header(0x0000, 1, 0), question(labels(dotted), 1)});
    Direct d;
    auto s = d.summary(m);
    EXPECT_EQ(s.col[5].size(), 510u);
    EXPECT_EQ(s.col[5].substr(0, 18), "Standard Query(0) ");
    EXPECT_EQ(s.col[5].substr(507), "...");
    // Detail lines are cut the same way.
    auto lines = d.detail(m);
    EXPECT_TRUE(zt::has_line(lines, "NAME : " + dotted.substr(0, 500) + "..."));
    EXPECT_TRUE(zt::has_line(lines, "TYPE : A(host address)(1)"));  // found after the 1089 name bytes
    EXPECT_FALSE(any_line_contains(lines, "Records :"));
}

// ---- detail ----

TEST(DnsDetail, QueryLines) {
    Direct d;
    std::vector<std::string> want = {
        "  Domain Name System",
        "    Identifier : 0x1234",
        "    Flag field (0x0100)",
        "      0*** **** **** **** : Message=Query(0)",
        "      *000 0*** **** **** : Opcode=Standard Query(0)",
        "      **** *0** **** **** : Authoritative Answer(OFF)",
        "      **** **0* **** **** : TrunCation(OFF)",
        "      **** ***1 **** **** : Recursion Desired(ON)",
        "      **** **** 0*** **** : Recursion Available(OFF)",
        "      **** **** **0* **** : Authentic Data(OFF)",
        "      **** **** ***0 **** : Checking Disabled(OFF)",
        "      **** **** **** 0000 : Response code=No Error (0)",
        "    Query count : 1",
        "    Query Records",
        "      www.example.com A(host address)(1) IN(Internet)(1)",
        "        NAME : www.example.com",
        "        TYPE : A(host address)(1)",
        "        CLASS : IN(Internet)(1)",
    };
    EXPECT_EQ(d.detail(query), want);
}

TEST(DnsDetail, AnswerWithCompressedNames) {
    Direct d;
    EXPECT_EQ(d.detail(answer), answer_lines);
}

TEST(DnsDetail, AllFlagBitsAndAuthority) {
    // AA, TC, AD and CD set, a Z bit that is not shown, one authority record.
    Frame m = cat({header(0x86F5, 0, 0, 1, 0), record(labels("t"), 2, labels("ns.t"))});
    Direct d;
    auto lines = d.detail(m);
    std::vector<std::string> want = {
        "      1*** **** **** **** : Message=Response(1)",
        "      *000 0*** **** **** : Opcode=Standard Query(0)",
        "      **** *1** **** **** : Authoritative Answer(ON)",
        "      **** **1* **** **** : TrunCation(ON)",
        "      **** ***0 **** **** : Recursion Desired(OFF)",
        "      **** **** 1*** **** : Recursion Available(ON)",
        "      **** **** **1* **** : Authentic Data(ON)",
        "      **** **** ***1 **** : Checking Disabled(ON)",
        "      **** **** **** 0101 : Response code=Query Refused(5)",
        "    Authority count : 1",
        "    Authority Records",
    };
    ASSERT_GE(lines.size(), 3 + want.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 3, lines.begin() + 3 + long(want.size())), want);
    EXPECT_EQ(lines[2], "    Flag field (0x86F5)");
}

TEST(DnsDetail, UpdateNamesItsCountsAndSections) {
    Frame m = cat({header(0x2800, 1, 1, 1, 1), question(labels("example.com"), 6),
                   record(ptr(12), 255, {}, 0, 255), record(cat({hex("03 6e 65 77"), ptr(12)}), 1, hex("c0000201")),
                   record(hex("00"), 1, hex("0a000001"))});
    Direct d;
    auto lines = d.detail(m);
    for (const char* l : {"    Zone count : 1", "    Prerequisite count : 1", "    Update count : 1",
                          "    Additional information count : 1", "    Zone Records", "    Prerequisite Records",
                          "    Update Records", "    Additional information Records",
                          "      example.com SOA(marks the start of a zone of authority)(6) IN(Internet)(1)",
                          "      example.com *(request for all records)(255)", "        CLASS : *(any class)(255)",
                          "      new.example.com A(host address)(1)", "        Address : 192.0.2.1",
                          "      Root Domain A(host address)(1)",
                          "      *010 1*** **** **** : Opcode=Update(5)"})
        EXPECT_TRUE(zt::has_line(lines, std::string(l).substr(std::string(l).find_first_not_of(' ')))) << l;
    EXPECT_FALSE(any_line_contains(lines, "Query count"));
    EXPECT_FALSE(any_line_contains(lines, "Query Records"));
    EXPECT_FALSE(any_line_contains(lines, "Answer count"));
    EXPECT_FALSE(any_line_contains(lines, "Answer Records"));
    EXPECT_EQ(d.summary(m).col[5], "Update(5) example.com ");
}

TEST(DnsDetail, ZeroCountsGiveNoCountLineAndNoSection) {
    Direct d;
    auto lines = d.detail(header(0x8180, 0, 0));
    ASSERT_EQ(lines.size(), 12u);  // top, identifier, flag field and its nine lines
    EXPECT_FALSE(any_line_contains(lines, "count"));
    EXPECT_FALSE(any_line_contains(lines, "Records"));
}

TEST(DnsDetail, BytesAfterTheSectionsAreShown) {
    Direct d;
    auto lines = d.detail(cat({query, hex("de ad be ef 00")}));
    EXPECT_EQ(lines.back(), "    Records : 5 bytes");
}

TEST(DnsDetail, ByteRanges) {
    Direct d;
    DetailTree t;
    d.tree(t, answer);
    struct Case {
        std::string text;
        uint32_t offset, length;
    } cases[] = {
        {"Domain Name System", 0, 289},
        {"Identifier : 0x1234", 0, 2},
        {"Flag field (0x8180)", 2, 2},
        {"**** ***1 **** **** : Recursion Desired(ON)", 2, 1},  // bit 7 is in the first flag byte
        {"**** **** 1*** **** : Recursion Available(ON)", 3, 1},
        {"Query count : 1", 4, 2},
        {"Additional information count : 1", 10, 2},
        {"Query Records", 12, 17},
        {"example.com *(request for all records)(255) IN(Internet)(1)", 12, 17},
        {"Answer Records", 29, 249},
        {"example.com A(host address)(1)", 29, 16},
        {"Address : 93.184.216.34", 41, 4},
        {"Primary name : example.com", 89, 2},
        {"Mailbox : mail.example.com", 105, 7},
        {"Serial number : 2024010101", 157, 4},
        {"Text : 763D73706631202D616C6C", 229, 12},
        {"Target : sip.example.com", 272, 6},
        {"Additional information Records", 278, 11},
        {"Length : 0", 287, 2},
    };
    for (const auto& k : cases) {
        int32_t h = find_line(t, k.text);
        ASSERT_NE(h, 0) << k.text;
        EXPECT_EQ(t.line(h).offset, LEAD + k.offset) << k.text;
        EXPECT_EQ(t.line(h).length, k.length) << k.text;
    }
    EXPECT_EQ(t.line(find_line(t, "Domain Name System")).protocol, P_DNS);
    EXPECT_EQ(t.line(find_line(t, "Identifier : 0x1234")).protocol, 0);
}

// ---- record formats ----

TEST(DnsRecords, FormatsOfEveryType) {
    UtcZone utc;
    struct Case {
        const char* what;
        uint16_t type;
        Frame rdata;
        std::vector<std::string> lines;
    } cases[] = {
        {"WKS", 11, hex("c0000201 06 60 00 81"),
         {"ADDRESS : 192.0.2.1", "Protocol: TCP", "Bits : 0x60(TCP(1), TCP(2))", "Bits : 0x81(TCP(16), TCP(23))"}},
        {"WKS UDP", 11, hex("c0000201 11 00 40"), {"ADDRESS : 192.0.2.1", "Protocol: UDP", "Bits : 0x40(UDP(9))"}},
        {"WKS other", 11, hex("c0000201 ff 80"), {"ADDRESS : 192.0.2.1", "Protocol: 0xFF", "Bits : 0x80(0)"}},
        {"HINFO", 13, hex("03 783836 05 4c696e7578"), {"CPU : 783836", "OS : 4C696E7578"}},
        {"MB", 7, labels("mb.test"), {"RDATA : 9 bytes"}},
        {"KX", 36, cat({be16(5), labels("kx.test")}), {"Preference : 5", "Exchange : kx.test"}},
        {"DNAME", 39, labels("other.test"), {"Target name : other.test"}},
        {"LOC", 29, hex("00 12 16 13 89172dd0 70be15f0 00988d20"),
         {"Version : 0", "Size : 1 m", "Horizontal precision : 10000 m", "Vertical precision : 10 m",
          "Latitude : 42 deg 21 min 54.000 sec N", "Longitude : 71 deg 6 min 18.000 sec W", "Altitude : -24 m"}},
        {"LOC south east, high", 29, hex("00 00 00 00 7fffffff 80000001 00989680"),
         {"Version : 0", "Size : 0 m", "Horizontal precision : 0 m", "Vertical precision : 0 m",
          "Latitude : 0 deg 0 min 0.001 sec S", "Longitude : 0 deg 0 min 0.001 sec E", "Altitude : 0 m"}},
        {"LOC version 1", 29, hex("01 12 16 13"), {"Version : 1", "LOC Data 4 byes"}},
        {"KEY", 25, hex("4101 03 01 aabbcc"),
         {"Flags : 0x4101", "  0*** **** **** **** : Key permitted for authentication",
          "  *1** **** **** **** : Key prohibited for confidentiality",
          "  **** **0* **** **** : Key is not associated with the owner named entity",
          "  **** ***1 **** **** : This is a zone key for the owner named zone",
          "  **** **** **** 0001 : Signatory=1", "Protocol : 3", "Algorithm : RSA/MD5(0x0001)", "Public key"}},
        {"KEY no key", 25, hex("C000 03 fd"),
         {"Flags : 0xC000", "  1*** **** **** **** : Key prohibited for authentication",
          "  *1** **** **** **** : Key prohibited for confidentiality", "  **** **** **** 0000 : Signatory=0",
          "Protocol : 3", "Algorithm : Private, domain name(0x00FD)"}},
        {"SIG", 24, cat({hex("0001 03 02 00000e10"), be32(1700000000), be32(1699990000), hex("abcd"),
                         labels("signer.test"), hex("010203")}),
         {"Type covered : A(Host address)", "Algorithm : DSA(0x0003)", "Labels : 2", "Original TTL :  1 hour",
          "Signature expiration : Nov 14, 2023 22:13:20.000000000",
          "Time inception : Nov 14, 2023 19:26:40.000000000", "Key tag : 0xABCD", "Signer's name : signer.test",
          "Signature"}},
        {"SIG unknown covered type", 24, cat({hex("0028 09 00"), be32(0), be32(0), be32(0), hex("0000 00")}),
         {"Type covered : Unknown(Unknown)", "Algorithm : Unknown(0x0009)", "Labels : 0", "Original TTL :  0 sec",
          "Signature expiration : Jan  1, 1970 00:00:00.000000000",
          "Time inception : Jan  1, 1970 00:00:00.000000000", "Key tag : 0x0000", "Signer's name : Root Domain"}},
        {"NXT", 30, cat({labels("b.test"), hex("24 01 00 00 00 20")}),
         {"Next domain name : b.test", "RR type bit map : NS(Authoritative name server)",
          "RR type bit map : CNAME(Canonical name for an alias)", "RR type bit map : MX(Mail exchange)",
          "RR type bit map : Unknown(Unknown RR type(42))"}},
        {"CERT", 37, hex("0001 1234 05 3082"),
         {"Type : PKIX(0x0001)", "Key tag : 0x1234", "Algorithm : Unknown(0x05)", "Certificate"}},
        {"A6 prefix 64", 38, cat({hex("40 0000000000000001"), labels("p.test")}),
         {"Prefix len : 64", "Address suffix : ::1", "Prefix name: p.test"}},
        {"A6 prefix 0", 38, hex("00 20010db8000000000000000000000002"),
         {"Prefix len : 0", "Address suffix : 2001:DB8::2"}},
        {"A6 prefix 128", 38, cat({hex("80"), labels("p.test")}), {"Prefix len : 128", "Prefix name: p.test"}},
        {"A6 prefix above 128", 38, hex("81 00 01"), {"Prefix len : 129 (invalid, above 128)"}},
        {"OPT data", 41, hex("000a0008 0102030405060708"), {"OPT Data 12 bytes"}},
        {"TKEY", 249, cat({labels("gss-tsig"), be32(1700000000), be32(1700003600), hex("0003 0000 0002 beef 0001 ff")}),
         {"Algorithm name : gss-tsig", "Inception time : Nov 14, 2023 22:13:20.000000000",
          "Expiration times : Nov 14, 2023 23:13:20.000000000", "Mode : GSS-API negotiation(3)",
          "Error code : Unknown(0)", "Key size : 2", "Key data", "Other size : 1", "Other data"}},
        {"TSIG", 250, cat({labels("hmac-md5.sig-alg.reg.int"), hex("0000"), be32(1700000000),
                           hex("012c 0004 01020304 1234 0012 0000")}),
         {"Algorithm name : hmac-md5.sig-alg.reg.int", "Time signed : Nov 14, 2023 22:13:20.000000000",
          "Fudge : 300", "MAC size : 4", "MAC", "Original ID : 4660", "Error : Signature out of time window(18)",
          "Other length : 0", "Other data"}},
        {"TSIG high time bits", 250, cat({hex("00 0001"), be32(0), hex("0000 0000 0000 0000 0000")}),
         {"Algorithm name : Root Domain", "Time signed : Jan  1, 1970 00:00:00.000000000(high bits set)",
          "Fudge : 0", "MAC size : 0", "MAC", "Original ID : 0", "Error : Unknown(0)", "Other length : 0",
          "Other data"}},
    };
    for (const auto& k : cases) EXPECT_EQ(rdata_lines(k.type, k.rdata), k.lines) << k.what;
}

TEST(DnsRecords, OptRecordReplacesClassAndTtl) {
    // Extended RCODE 1, version 2, DO clear, Z 0x1234.
    Frame m = cat({header(0x8000, 0, 0, 0, 1), hex("00 0029 05b4 01 02 1234 0004 deadbeef")});
    Direct d;
    auto lines = d.detail(m);
    ASSERT_EQ(lines.size(), 24u);  // 12 header lines, the count, the section and 10 record lines
    std::vector<std::string> tail(lines.end() - 10, lines.end());
    std::vector<std::string> want = {
        "      Root Domain OPT(option)(41)",
        "        NAME : Root Domain",
        "        TYPE : OPT(option)(41)",
        "        UDP payload size : 1460",
        "        Upper 8 bits of extended 12-bit RCODE : 0x000010",
        "        EDNS0 Version : 2",
        "        0*** **** **** **** : DO bit=OFF",
        "        *001 0010 0011 0100 : Z=4660",
        "        Length : 4",
        "        OPT Data 4 bytes",
    };
    EXPECT_EQ(tail, want);
}

TEST(DnsRecords, RdataThatDoesNotHoldItsFields) {
    struct Case {
        const char* what;
        uint16_t type;
        Frame rdata;
        std::vector<std::string> lines;
    } cases[] = {
        {"A of 2 bytes", 1, hex("0a00"), {"RDATA too short : 2 bytes"}},
        {"AAAA of 4 bytes", 28, hex("0a000001"), {"RDATA too short : 4 bytes"}},
        {"MX without a name", 15, hex("000a"), {"Preference : 10", "RDATA too short : 2 bytes"}},
        {"SRV cut after the weight", 33, hex("0001 0002"), {"Priority : 1", "Weight : 2", "RDATA too short : 4 bytes"}},
        // The string lengths do not add up: the list stops at the RDATA's end.
        {"TXT overrun", 16, hex("02 6869 05 6162"), {"Text : 6869", "RDATA too short : 6 bytes"}},
        {"TXT empty string", 16, hex("00 01 41"), {"Text : ", "Text : 41"}},
        {"SOA without numbers", 6, cat({labels("a"), labels("b"), be32(7)}),
         {"Name server : a", "Mailbox : b", "Serial number : 7", "RDATA too short : 10 bytes"}},
        {"TSIG MAC past the end", 250, cat({hex("00 0000 00000000 0000 0010"), hex("01")}),
         {"Algorithm name : Root Domain", "Time signed : Jan  1, 1970 00:00:00.000000000", "Fudge : 0",
          "MAC size : 16", "RDATA too short : 12 bytes"}},
    };
    UtcZone utc;
    for (const auto& k : cases) EXPECT_EQ(rdata_lines(k.type, k.rdata), k.lines) << k.what;
}

// ---- names ----

TEST(DnsNames, LabelTypesPointersAndLimits) {
    // Each name sits in a question right after the header (offset 12).
    struct Case {
        const char* what;
        Frame name;  // bytes from offset 12 on, followed by type A, class IN
        std::string text;
        int length;  // bytes the name occupies at its own position
    } cases[] = {
        {"root", hex("00"), "Root Domain", 1},
        {"plain", labels("www.example.com"), "www.example.com", 17},
        {"bit-string label", cat({hex("41 10 abcd"), labels("test")}), "\\[xabcd/16].test", 10},
        {"bit-string of 0 bits", hex("41 00 ff 00"), "\\[xff/0]", 4},
        {"unknown extended label", hex("01 61 42"), "Unknown Extended Label", 3},
        {"reserved label type", hex("01 61 80"), "Unknown Label Type", 3},
        {"pointer to itself", ptr(12), "Pointer is looping", 2},
        {"pointer loop with labels", cat({hex("03 777777"), ptr(12)}), "Pointer is looping", 6},
        {"pointer out of range", ptr(0x3FFF), "Pointer out of range (offset 16383)", 2},
        {"pointer into the header", cat({hex("01 61"), ptr(3)}), "a", 4},
    };
    for (const auto& k : cases) {
        Frame m = cat({header(0x0000, 1, 0), k.name, be16(1), be16(1)});
        Direct d;
        auto lines = d.detail(m);
        EXPECT_TRUE(zt::has_line(lines, "NAME : " + k.text)) << k.what;
        // The fields after the name are found where the name's length says.
        EXPECT_TRUE(zt::has_line(lines, "TYPE : A(host address)(1)")) << k.what;
        EXPECT_TRUE(zt::has_line(lines, "CLASS : IN(Internet)(1)")) << k.what;
        EXPECT_FALSE(any_line_contains(lines, "Records :")) << k.what;
        DetailTree t;
        d.tree(t, m);
        int32_t h = find_line(t, "NAME : " + k.text);
        ASSERT_NE(h, 0) << k.what;
        EXPECT_EQ(t.line(h).offset, uint32_t(LEAD + 12)) << k.what;
        EXPECT_EQ(t.line(h).length, uint32_t(k.length)) << k.what;
    }
}

TEST(DnsNames, TwoPointersAtEachOtherInAnswers) {
    // The answer's name points at the additional record's name and back.
    Frame m = cat({header(0x8180, 0, 1, 0, 1), record(ptr(28), 1, hex("01020304")), record(ptr(12), 1, hex("05060708"))});
    Direct d;
    auto lines = d.detail(m);
    std::vector<std::string> want = {
        "      Pointer is looping A(host address)(1)", "        NAME : Pointer is looping",
        "        TYPE : A(host address)(1)",          "        CLASS : IN(Internet)(1)",
        "        TTL :  1 hour",                       "        Length : 4",
        "        Address : 1.2.3.4",
    };
    auto at = std::find(lines.begin(), lines.end(), "    Answer Records");
    ASSERT_NE(at, lines.end());
    EXPECT_EQ(std::vector<std::string>(at + 1, at + 8), want);
    EXPECT_TRUE(zt::has_line(lines, "Address : 5.6.7.8"));
    EXPECT_EQ(d.summary(m).col[5], "Response(No Error (0))");
    // In a query's question list the walk limit is the bytes after the header.
    Frame q = cat({header(0x0000, 2, 0), question(ptr(18), 1), question(ptr(12), 1)});
    EXPECT_EQ(d.summary(q).col[5], "Standard Query(0) Pointer is looping Pointer is looping ");
}

TEST(DnsNames, LoopThroughALabelEndsAtTheLimit) {
    // A pointer back to a 63-byte label: in the summary the limit is the 4000-odd
    // bytes after the header, so the text fills its 1024 characters before the end.
    Frame label = cat({Frame{63}, Frame(63, 'y')});
    Frame m = cat({header(0x0000, 1, 0), label, ptr(12), be16(1), be16(1), Frame(4000, 0)});
    Direct d;
    EXPECT_EQ(d.summary(m).col[5], "Standard Query(0) Pointer is looping ");
    auto lines = d.detail(m);
    EXPECT_TRUE(zt::has_line(lines, "NAME : Pointer is looping"));
    EXPECT_TRUE(zt::has_line(lines, "Records : 4000 bytes"));
}

// ---- DNS over TCP ----

TEST(DnsTcp, LengthPrefixIsTakenOnlyWhenItMatches) {
    Direct d;
    Frame seg = cat({be16(uint16_t(answer.size())), answer});
    auto lines = d.detail(seg, TCP);
    ASSERT_EQ(lines.size(), answer_lines.size() + 1);
    EXPECT_EQ(lines[0], "  Domain Name System");
    EXPECT_EQ(lines[1], "    Prefix : 289");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 2, lines.end()),
              std::vector<std::string>(answer_lines.begin() + 1, answer_lines.end()));
    EXPECT_EQ(d.summary(seg, TCP).col[5], "Response(No Error (0))");

    DetailTree t;
    d.tree(t, seg, TCP);
    int32_t top = find_line(t, "Domain Name System");
    EXPECT_EQ(t.line(top).offset, uint32_t(LEAD + 2));  // the message without the prefix
    EXPECT_EQ(t.line(top).length, 289u);
    int32_t prefix = find_line(t, "Prefix : 289");
    EXPECT_EQ(t.line(prefix).offset, uint32_t(LEAD));
    EXPECT_EQ(t.line(prefix).length, 2u);
    EXPECT_EQ(t.line(find_line(t, "Address : 93.184.216.34")).offset, uint32_t(LEAD + 2 + 41));

    // The same bytes over UDP: the prefix is read as the identifier.
    auto udp = d.detail(seg, UDP);
    EXPECT_EQ(udp[1], "    Identifier : 0x0121");
    EXPECT_FALSE(any_line_contains(udp, "Prefix"));
    // Over TCP a length that does not match: decoded from the first byte.
    Frame two = cat({seg, seg});
    auto mismatch = d.detail(two, TCP);
    EXPECT_EQ(mismatch[1], "    Identifier : 0x0121");
    EXPECT_FALSE(any_line_contains(mismatch, "Prefix"));
    // A message without a prefix over TCP is decoded as it stands.
    EXPECT_EQ(d.detail(answer, TCP), answer_lines);
}

TEST(DnsTcp, ShortMessageAfterThePrefix) {
    Direct d;
    Frame seg = hex("0004 12340100");
    EXPECT_EQ(d.summary(seg, TCP).col[5], "DNS data 4 octets");
    EXPECT_EQ(d.detail(seg, TCP), (std::vector<std::string>{"  Domain Name System", "    DNS data 4 bytes"}));
    EXPECT_EQ(d.layers(seg, TCP).entries[0].offset, 16 + LEAD + 2);
}

// ---- truncation ----

TEST(DnsTruncated, EveryLengthOfTheAnswerInEveryMode) {
    for (Transport t : {UDP, TCP}) {
        for (size_t n = 0; n <= answer.size(); ++n) {
            Frame m(answer.begin(), answer.begin() + long(n));
            // Over TCP the prefix announces the whole message, so it never matches a cut one.
            Frame seg = t == TCP ? cat({be16(uint16_t(answer.size())), m}) : m;
            SCOPED_TRACE(testing::Message() << (t == TCP ? "TCP " : "UDP ") << n);
            Direct d;
            auto s = d.summary(seg, t);
            EXPECT_EQ(s.col[4], "DNS");
            auto ix = d.layers(seg, t);
            ASSERT_EQ(ix.count, 1);
            EXPECT_EQ(ix.entries[0].offset, 16 + LEAD + (t == TCP && n == answer.size() ? 2 : 0));
            auto lines = d.detail(seg, t);
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines[0], "  Domain Name System");
            DetailTree tree;
            d.tree(tree, seg, t);
            for (int32_t h = 1; h <= tree.size(); ++h)
                EXPECT_LE(tree.line(h).offset + tree.line(h).length, LEAD + seg.size()) << tree.text(h);
            if (t == TCP) continue;  // a header made of the prefix: only safety is checked
            if (n < 12) {
                EXPECT_EQ(s.col[5], "DNS data " + std::to_string(n) + " octets");
                continue;
            }
            EXPECT_EQ(s.col[5], "Response(No Error (0))");
            if (n == answer.size()) {
                EXPECT_EQ(lines, answer_lines);
                continue;
            }
            // A cut message says so, and shows no more lines than the whole one.
            EXPECT_TRUE(any_line_contains(lines, "truncated") || any_line_contains(lines, "not captured"));
            EXPECT_LE(lines.size(), answer_lines.size());
        }
    }
}

TEST(DnsTruncated, WhatACutShows) {
    Direct d;
    struct Case {
        size_t length;
        std::vector<std::string> tail;  // the last lines shown
    } cases[] = {
        // Header only: the counts are there, the sections are not.
        {12, {"    Query Records", "      Records not captured : 1 of 1", "    Answer Records",
              "      Records not captured : 9 of 9", "    Additional information Records",
              "      Records not captured : 1 of 1"}},
        // Inside the question name.
        {16, {"    Query Records", "      exa (truncated)", "        NAME : exa (truncated)",
              "        Record truncated : 4 bytes captured", "    Answer Records"}},
        // Inside the A record's address.
        {43, {"        Length : 4", "        RDATA truncated : 2 of 4 bytes captured",
              "      Records not captured : 8 of 9", "    Additional information Records",
              "      Records not captured : 1 of 1"}},
        // Inside the fixed fields of the AAAA record.
        {52, {"      example.com AAAA(IPv6 address)(28)", "        NAME : example.com",
              "        TYPE : AAAA(IPv6 address)(28)", "        CLASS : IN(Internet)(1)",
              "        Record truncated : 7 bytes captured", "      Records not captured : 7 of 9"}},
    };
    for (const auto& k : cases) {
        auto lines = d.detail(Frame(answer.begin(), answer.begin() + long(k.length)));
        ASSERT_GE(lines.size(), k.tail.size()) << k.length;
        bool found = false;
        for (size_t i = 0; i + k.tail.size() <= lines.size() && !found; ++i)
            found = std::equal(k.tail.begin(), k.tail.end(), lines.begin() + long(i));
        EXPECT_TRUE(found) << k.length << "\n" << testing::PrintToString(lines);
    }
    EXPECT_EQ(d.summary(Frame(answer.begin(), answer.begin() + 16)).col[5], "Response(No Error (0))");
    EXPECT_EQ(d.summary(Frame(query.begin(), query.begin() + 20)).col[5], "Standard Query(0) www.exa (truncated) ");
    // Cut right after a length byte: no dot for a label with nothing captured.
    EXPECT_EQ(d.summary(Frame(query.begin(), query.begin() + 25)).col[5], "Standard Query(0) www.example (truncated) ");
}

TEST(DnsTruncated, HostileCountsEnd) {
    // Counts of 65535 in every section over a few bytes: every walk ends at the data.
    Direct d;
    Frame m = cat({header(0x8000, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF), hex("00 0001 0001"), ptr(12), hex("0001")});
    auto lines = d.detail(m);
    EXPECT_TRUE(zt::has_line(lines, "Records not captured : 65533 of 65535"));
    EXPECT_EQ(d.summary(cat({header(0x0000, 0xFFFF, 0), Frame(100, 0)})).col[5],
              "Standard Query(0) " + [] {
                  std::string s;
                  for (int i = 0; i < 20; ++i) s += "Root Domain ";
                  return s;
              }());
}

// ---- whole frames ----

namespace {
// Ethernet II, IPv4 and UDP or TCP in front of the messages above (scapy).
const Frame udp_query_frame = cat({hex("66778899aabb00112233445508004500003d000100004011f678c0000201c0000235"
                                       "9c4000350029825f"),
                                   query});
const Frame udp_answer_frame = cat({hex("00112233445566778899aabb08004500013d000100004011f578c0000235c0000201"
                                        "00359c400129bcc2"),
                                    answer});
const Frame tcp_answer_frame = cat({hex("00112233445566778899aabb08004500014b000100004006f575c0000235c0000201"
                                        "00359c41000003e8000007d05018200040f60000"),
                                    be16(uint16_t(answer.size())), answer});
}  // namespace

TEST(DnsFrames, ThroughEthernetIpAndTransport) {
    auto q = zt::summarize(udp_query_frame);
    EXPECT_EQ(q.col[4], "DNS");
    EXPECT_EQ(q.col[5], "Standard Query(0) www.example.com ");
    EXPECT_EQ(zt::summarize(udp_answer_frame).col[5], "Response(No Error (0))");
    auto tcp = zt::summarize(tcp_answer_frame);
    EXPECT_EQ(tcp.col[4], "DNS");
    EXPECT_EQ(tcp.col[5], "Response(No Error (0))");

    for (const Frame* f : {&udp_answer_frame, &tcp_answer_frame}) {
        auto lines = zt::detail(*f);
        auto at = std::find(lines.begin(), lines.end(), "  Domain Name System");
        ASSERT_NE(at, lines.end());
        std::vector<std::string> dns(at, lines.end());
        if (f == &tcp_answer_frame) {
            ASSERT_GE(dns.size(), 2u);
            EXPECT_EQ(dns[1], "    Prefix : 289");
            dns.erase(dns.begin() + 1);
        }
        EXPECT_EQ(dns, answer_lines);
    }
}

TEST(DnsFrames, LayerIndexStartsAtTheHeader) {
    // dns[2:1] & 0x80 is QR: the layer starts at the header, after the TCP prefix.
    struct Case {
        const Frame* frame;
        int offset;  // in the frame
        int layers;
    } cases[] = {{&udp_query_frame, 42, 4}, {&udp_answer_frame, 42, 4}, {&tcp_answer_frame, 56, 4}};
    for (const auto& k : cases) {
        auto ix = zt::layers(*k.frame);
        ASSERT_EQ(ix.count, k.layers);
        EXPECT_EQ(ix.entries[ix.count - 1].protocol, P_DNS);
        EXPECT_EQ(ix.entries[ix.count - 1].offset, 16 + k.offset);
        EXPECT_STREQ(ix.label, "DNS");
        uint8_t flags = (*k.frame)[size_t(k.offset + 2)];
        EXPECT_EQ(flags & 0x80, k.frame == &udp_query_frame ? 0 : 0x80);
    }
}

TEST(DnsFrames, EveryPrefixOfAFrame) {
    for (const Frame* f : {&udp_answer_frame, &tcp_answer_frame}) {
        for (size_t n = 0; n <= f->size(); ++n) {
            Frame cut(f->begin(), f->begin() + long(n));
            SCOPED_TRACE(n);
            auto s = zt::summarize(cut);
            zt::detail(cut);
            DetailTree t;
            zt::display(t, cut);
            for (int32_t h = 1; h <= t.size(); ++h) EXPECT_LE(t.line(h).offset + t.line(h).length, n);
            auto ix = zt::layers(cut);
            bool dns = ix.count > 0 && ix.entries[ix.count - 1].protocol == P_DNS;
            EXPECT_EQ(dns, s.col[4] == "DNS");
        }
    }
}

// ---- hostile messages ----

TEST(DnsHostile, RandomMutationsOfTheAnswer) {
    // Fixed seed: the same messages every run. Under the sanitizer build this
    // catches reads past the message; everywhere it catches walks that never end.
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    Direct d;
    for (int round = 0; round < 3000; ++round) {
        Frame m = answer;
        int edits = 1 + int(next() % 8);
        for (int e = 0; e < edits; ++e) {
            size_t at = next() % m.size();
            // Pointers, extended labels and big lengths are the interesting bytes.
            static const uint8_t picks[] = {0xC0, 0xC1, 0x3F, 0x41, 0x42, 0x80, 0xFF, 0x00, 0x0C};
            m[at] = next() % 2 ? picks[next() % sizeof picks] : uint8_t(next());
        }
        m.resize(m.size() - next() % 40);
        Transport t = round % 2 ? TCP : UDP;
        auto s = d.summary(m, t);
        ASSERT_EQ(s.col[4], "DNS") << round;
        ASSERT_LT(s.col[5].size(), 512u) << round;
        auto lines = d.detail(m, t);
        ASSERT_FALSE(lines.empty()) << round;
        for (const auto& l : lines) ASSERT_LT(l.size(), 512u + 16) << round;
        ASSERT_EQ(d.layers(m, t).count, 1) << round;
    }
}

TEST(DnsHostile, BigMessageOfLoopingNamesEndsQuickly) {
    // 64 KB over TCP, every question a pointer to a pointer to itself: each walk
    // could take tens of thousands of steps before reaching its limit.
    Frame m = header(0x0000, 10900, 0);
    for (int i = 0; i < 10900; ++i) m = cat({m, ptr(12), be16(1), be16(1)});
    Frame seg = cat({be16(uint16_t(m.size())), m});
    Direct d;
    auto s = d.summary(seg, TCP);
    EXPECT_EQ(s.col[5].substr(0, 37), "Standard Query(0) Pointer is looping ");
    EXPECT_EQ(s.col[5].substr(507), "...");
    auto lines = d.detail(seg, TCP);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "        NAME : Pointer is looping"), 10900);
}
