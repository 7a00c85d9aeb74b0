// SSL and TLS: the version classes and record tests, SSL 3.0/TLS records and
// handshake messages, SSL 2.0 records, and walks over records cut at every length.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
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

constexpr int LEAD = 54;  // Ethernet, IPv4 and TCP in front of the payload

struct Direct : zt::Direct {
    Direct() : zt::Direct(decode_ssl, LEAD) {}
};

// The local time zone set to UTC while a test runs (hello times are shown in local time).
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

Frame be16(unsigned v) { return {uint8_t(v >> 8), uint8_t(v)}; }
Frame be24(unsigned v) { return {uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }
Frame bytes(size_t n, uint8_t fill) { return Frame(n, fill); }

Frame record(uint8_t type, const Frame& body, unsigned version = 0x0301) {
    return cat({{type}, be16(version), be16(unsigned(body.size())), body});
}
Frame message(uint8_t type, const Frame& body) { return cat({{type}, be24(unsigned(body.size())), body}); }
// 2026-12-08 08:00:00 UTC and 28 random bytes.
const Frame random_field = cat({hex("6B17B900"), bytes(28, 0x77)});

Frame client_hello(const Frame& suites, const Frame& tail = {}) {
    return message(1, cat({be16(0x0301), random_field, {0}, be16(unsigned(suites.size())), suites, hex("0100"), tail}));
}
const Frame hello = record(22, client_hello(hex("0004 0005 000A C02F")));

const Frame server_flight = record(
    22, cat({message(2, cat({be16(0x0301), random_field, {4}, hex("DEADBEEF"), hex("0066"), {0}})),
             message(11, cat({be24(16), be24(5), bytes(5, 0x30), be24(5), bytes(5, 0x31)})), message(14, {})}));

std::vector<std::string> tail(const std::vector<std::string>& lines, size_t from) {
    return from <= lines.size() ? std::vector<std::string>(lines.begin() + long(from), lines.end())
                                : std::vector<std::string>{};
}

int32_t find_line(const DetailTree& t, const std::string& text) {
    for (int32_t h = 1; h <= t.size(); ++h)
        if (t.text(h) == text) return h;
    return 0;
}

}  // namespace

TEST(SslSummary, ClassesAndRecordTests) {
    Frame master_key = cat({hex("8100 02 010080 0000 0040 0000"), bytes(64, 0xE1), bytes(256 - 74, 0)});
    Frame v2_hello = cat({hex("8025 01 0301 000C 0000 0010 010080 0700C0 000005 00000A"), bytes(16, 0xC3)});
    Frame app_tls12 = record(23, bytes(20, 0x42), 0x0303);
    Frame mid_stream = hex("5A170301 00 11 22 33");
    struct Case {
        const char* what;
        Frame payload;
        const char* column4;
        const char* column5;
        int protocol;
        const char* top;
    } cases[] = {
        {"TLS", hello, "TLS", "Client Hello", P_TLS, "Transport Layer Security Protocol"},
        {"SSL 3.0", record(22, client_hello(hex("0004")), 0x0300), "SSLv3", "Client Hello", P_SSL,
         "Secure Sockets Layer Protocol"},
        {"SSLv2 class", master_key, "SSLv2", "SSLv2 Client Master Key", P_SSL, "Secure Sockets Layer Protocol"},
        {"SSLv2 hello of a TLS client", v2_hello, "SSL", "SSLv2 Client Hello", P_SSL, "Secure Sockets Layer Protocol"},
        {"TLS payload with an SSLv2 hello", hex("80 03 01 03 01"), "TLS", "SSLv2 Encrypted data 3 octets", P_TLS,
         "Transport Layer Security Protocol"},
        {"record of an unknown version", app_tls12, "SSL", "SSL data 25 octets", P_SSL, "Secure Sockets Layer Protocol"},
        {"middle of application data", mid_stream, "SSL", "SSL data 8 octets", P_SSL, "Secure Sockets Layer Protocol"},
        {"two bytes", hex("1603"), "SSL", "SSL data 2 octets", P_SSL, "Secure Sockets Layer Protocol"},
    };
    Direct d;
    for (const auto& k : cases) {
        auto s = d.summary(k.payload);
        EXPECT_EQ(s.col[4], k.column4) << k.what;
        EXPECT_EQ(s.col[5], k.column5) << k.what;
        auto ix = d.layers(k.payload);
        ASSERT_EQ(ix.count, 1) << k.what;
        EXPECT_EQ(ix.entries[0].protocol, k.protocol) << k.what;
        EXPECT_EQ(ix.entries[0].offset, 16 + LEAD) << k.what;
        auto lines = d.detail(k.payload);
        ASSERT_FALSE(lines.empty()) << k.what;
        EXPECT_EQ(lines[0], std::string("  ") + k.top) << k.what;
    }
    EXPECT_EQ(d.detail(mid_stream).back(), "    Data : 8 bytes");
    EXPECT_EQ(d.detail(app_tls12).size(), 2u);
    EXPECT_TRUE(zt::has_line(d.detail(hex("80 03 01 03 01")), "SSLv2 record layer(Encrypted data)"));
    // Labels beginning with SSL are recorded as "SSL" in the layer index.
    EXPECT_STREQ(d.layers(master_key).label, "SSL");
    EXPECT_STREQ(d.layers(hello).label, "TLS");
}

TEST(SslSummary, FirstRecordNamesTheSegment) {
    struct Case {
        Frame payload;
        const char* column5;
    } cases[] = {
        {record(20, {1}), "Change cipher spec"},
        {cat({record(23, bytes(30, 9)), record(21, hex("0100"))}), "Application data"},
        {record(21, hex("0230")), "Alert Level Fatal(2) Description Unknown CA(48)"},
        {record(21, hex("0330")), "Encrypted Alert"},
        {record(24, {}), "Invalid SSLv3 content type"},
        {server_flight, "Server Hello"},
        {record(22, bytes(40, 0xA5)), "Encrypted data"},
    };
    Direct d;
    for (const auto& k : cases) EXPECT_EQ(d.summary(k.payload).col[5], k.column5) << k.column5;
    EXPECT_EQ(d.summary(hex("160301")).col[5], "TLS header truncated (3 bytes captured)");
}

TEST(SslHandshake, ClientHello) {
    UtcZone utc;
    Direct d;
    std::vector<std::string> want = {
        "  Transport Layer Security Protocol",
        "    TLS record layer(Handshake)",
        "      ContentType : Handshake(22)",
        "      Protocol version : TLS 1.0(0x0301)",
        "      Length : 51",
        "      Handshake protocol(Client Hello)",
        "        Handshake Type : Client Hello(1)",
        "        Length : 47",
        "        Protocol version : TLS 1.0(0x0301)",
        "        gmt_unix_time : Dec  8, 2026 08:00:00.000000000",
        "        random bytes",
        "        Session ID length : 0",
        "        Session ID",
        "        Cipher suites length : 8",
        "        Cipher suites",
        "          Cipher suite : TLS_RSA_WITH_RC4_128_MD5(0x0004)",
        "          Cipher suite : TLS_RSA_WITH_RC4_128_SHA(0x0005)",
        "          Cipher suite : TLS_RSA_WITH_3DES_EDE_CBC_SHA(0x000A)",
        "          Cipher suite : Unknown(0xC02F)",
        "        Compression methods length : 1",
        "        Compression methods",
        "          Compression method : null(0)",
    };
    EXPECT_EQ(d.detail(hello), want);
    // The ends of the suite table and the bytes after the compression methods.
    auto lines = d.detail(record(22, client_hello(hex("0000 002B 002C 0062 0066 FEFE FFE1"), hex("000500FF01000100"))));
    EXPECT_EQ(tail(lines, 15), (std::vector<std::string>{
        "          Cipher suite : TLS_NULL_WITH_NULL_NULL(0x0000)",
        "          Cipher suite : TLS_KRB5_EXPORT_WITH_RC4_40_MD5(0x002B)",
        "          Cipher suite : Unknown(0x002C)",
        "          Cipher suite : TLS_RSA_EXPORT1024_WITH_DES_CBC_SHA(0x0062)",
        "          Cipher suite : TLS_DHE_DSS_WITH_RC4_128_SHA(0x0066)",
        "          Cipher suite : SSL_RSA_FIPS_WITH_DES_CBC_SHA(0xFEFE)",
        "          Cipher suite : SSL_RSA_FIPS_WITH_DES_CBC_SHA(0xFFE1)",
        "        Compression methods length : 1",
        "        Compression methods",
        "          Compression method : null(0)",
        "        Extensions : 8 bytes",
    }));

    DetailTree t;
    d.tree(t, hello);
    struct Range {
        const char* text;
        uint32_t offset, length;
    } ranges[] = {{"TLS record layer(Handshake)", 0, 56}, {"Length : 51", 3, 2}, {"Handshake protocol(Client Hello)", 5, 51},
                  {"gmt_unix_time : Dec  8, 2026 08:00:00.000000000", 11, 4}, {"random bytes", 15, 28},
                  {"Cipher suites", 46, 8}, {"Cipher suite : Unknown(0xC02F)", 52, 2}, {"Compression method : null(0)", 55, 1}};
    for (const auto& r : ranges) {
        int32_t h = find_line(t, r.text);
        ASSERT_NE(h, 0) << r.text;
        EXPECT_EQ(t.line(h).offset, LEAD + r.offset) << r.text;
        EXPECT_EQ(t.line(h).length, r.length) << r.text;
    }
    EXPECT_EQ(t.line(1).protocol, P_TLS);
}

TEST(SslHandshake, ServerFlight) {
    UtcZone utc;
    Direct d;
    std::vector<std::string> want = {
        "      Handshake protocol(Server Hello)",
        "        Handshake Type : Server Hello(2)",
        "        Length : 42",
        "        Protocol version : TLS 1.0(0x0301)",
        "        gmt_unix_time : Dec  8, 2026 08:00:00.000000000",
        "        random bytes",
        "        Session ID length : 4",
        "        Session ID",
        "        Cipher suite : TLS_DHE_DSS_WITH_RC4_128_SHA(0x0066)",
        "        Compression method : null(0)",
        "      Handshake protocol(Certificate)",
        "        Handshake Type : Certificate(11)",
        "        Length : 19",
        "        Certificate list length : 16",
        "        Certificates",
        "          Certificate length : 5",
        "          Certificate(1/2)",
        "          Certificate length : 5",
        "          Certificate(2/2)",
        "      Handshake protocol(Server Hello Done)",
        "        Handshake Type : Server Hello Done(14)",
        "        Length : 0",
    };
    EXPECT_EQ(tail(d.detail(server_flight), 5), want);
}

TEST(SslHandshake, OtherMessages) {
    Frame names = cat({be16(3), hex("414243"), be16(1), hex("44")});
    struct Case {
        const char* what;
        Frame messages;
        unsigned version;
        std::vector<std::string> lines;  // after the message's type and length
    } cases[] = {
        {"certificate request", message(13, cat({hex("02 01 04"), be16(unsigned(names.size())), names})), 0x0301,
         {"        Certificate types count : 2", "        Certificate types",
          "          Certificate type : RSA sign(1)", "          Certificate type : DSS fixed DH(4)",
          "        Distinguished names length : 8", "        Distinguished names",
          "          Distinguished name length : 3", "          Distinguished Name(1/2)",
          "          Distinguished name length : 1", "          Distinguished Name(2/2)"}},
        {"TLS finished", message(20, bytes(12, 1)), 0x0301, {"        Verify data"}},
        {"SSL 3.0 finished", message(20, bytes(36, 1)), 0x0300,
         {"        Verify data", "          MD5 hash", "          SHA-1 hash"}},
        {"hello request", message(0, {}), 0x0301, {}},
        {"client key exchange", message(16, bytes(5, 3)), 0x0301, {"        SSL Data 5 bytes"}},
        {"server key exchange", message(12, bytes(2, 3)), 0x0301, {"        SSL Data 2 bytes"}},
        {"certificate verify", message(15, {}), 0x0301, {"        SSL Data 0 bytes"}},
    };
    Direct d;
    for (const auto& k : cases) EXPECT_EQ(tail(d.detail(record(22, k.messages, k.version)), 8), k.lines) << k.what;

    // Encrypted handshakes: a length past the record, first or after a message.
    for (const Frame& body : {bytes(40, 0xA5), cat({hex("01 00 00 30"), bytes(8, 0)}),
                              cat({message(0, {}), hex("0E 00 00 01")})}) {
        auto lines = d.detail(record(22, body));
        EXPECT_EQ(lines.back(), "      Handshake protocol(Encrypted data)");
    }
    // A type without a name is still a message when its length fits: its body is
    // shown by size, like every other type without a layout of its own.
    EXPECT_EQ(tail(d.detail(record(22, cat({message(0, {}), message(4, bytes(6, 2))}))), 8),
              (std::vector<std::string>{"      Handshake protocol(Unknown(4))", "        Handshake Type : Unknown(4)",
                                        "        Length : 6", "        SSL Data 6 bytes"}));
    EXPECT_EQ(d.summary(record(22, message(99, {}))).col[5], "Unknown(99)");
}

TEST(SslRecords, AlertsAndContentTypes) {
    struct Case {
        Frame record;
        std::vector<std::string> lines;  // after the record header lines
    } cases[] = {
        {record(21, hex("0100")), {"      Alert protocol : Level Warning(1) Description Close Notify(0)"}},
        {record(21, hex("02640A")),
         {"      Alert protocol : Level Fatal(2) Description No Renegotiation(100)", "        Data 1 bytes"}},
        {record(21, hex("0129")), {"      Alert protocol : Encrypted Alert", "        Data 2 bytes"}},
        {record(21, hex("00 00")), {"      Alert protocol : Encrypted Alert", "        Data 2 bytes"}},
        {record(21, hex("01")), {"      Alert protocol : Encrypted Alert", "        Data 1 bytes"}},
        {record(20, {1}), {"      Change cipher spec"}},
        {record(23, bytes(7, 0)), {"      Application data"}},
        {record(19, bytes(3, 0)), {"      Invalid SSLv3 content type"}},
    };
    Direct d;
    for (const auto& k : cases) EXPECT_EQ(tail(d.detail(k.record), 5), k.lines) << k.lines[0];
    auto lines = d.detail(record(19, {}, 0x0300));
    EXPECT_EQ(lines[1], "    SSLv3 record layer(Unknown(19))");
    EXPECT_EQ(lines[3], "      Protocol version : SSL 3.0(0x0300)");
}

TEST(SslRecords, WalkStepsByLengthsAndEnds) {
    Direct d;
    // Three records of one segment, each stepped over by its length.
    auto lines = d.detail(cat({record(22, message(16, bytes(3, 0))), record(20, {1}), record(23, bytes(9, 0))}));
    std::vector<std::string> tops;
    for (const auto& l : lines)
        if (l.rfind("    TLS record layer", 0) == 0) tops.push_back(l);
    EXPECT_EQ(tops, (std::vector<std::string>{"    TLS record layer(Handshake)", "    TLS record layer(Change Cipher Spec)",
                                              "    TLS record layer(Application Data)"}));
    // An unknown-class payload: an SSLv2 hello then an SSL 3.0 alert, then bytes no test takes.
    Frame v2 = cat({hex("8016 01 0002 0003 0000 000A 010080"), bytes(10, 0xC3)});
    lines = d.detail(cat({v2, record(21, hex("0100"), 0x0300), hex("99 98 97")}));
    EXPECT_TRUE(zt::has_line(lines, "SSLv2 record layer(Client Hello)"));
    EXPECT_TRUE(zt::has_line(lines, "SSL record layer(Alert)"));
    EXPECT_EQ(lines.back(), "    Data : 3 bytes");
    // Empty records and empty messages: each step is still at least a header.
    Frame empties;
    for (int i = 0; i < 100; ++i) empties = cat({empties, record(23, {})});
    lines = d.detail(empties);
    EXPECT_EQ(lines.size(), 1u + 100u * 5u);
    Frame requests;
    for (int i = 0; i < 50; ++i) requests = cat({requests, message(0, {})});
    lines = d.detail(record(22, requests));
    EXPECT_EQ(lines.size(), 5u + 50u * 3u);
    // A record announcing more than the payload holds ends the walk.
    lines = d.detail(cat({hex("17 0301 4000"), bytes(10, 0)}));
    EXPECT_EQ(tail(lines, 5), (std::vector<std::string>{"      Record truncated : 10 of 16384 bytes captured",
                                                         "      Application data"}));
}

TEST(SslTruncated, EveryLength) {
    Direct d;
    for (const Frame& whole : {hello, server_flight}) {
        auto full = d.detail(whole);
        for (size_t n = 1; n < whole.size(); ++n) {
            Frame part(whole.begin(), whole.begin() + long(n));
            auto s = d.summary(part);
            EXPECT_EQ(s.col[4], n >= 3 ? "TLS" : "SSL") << n;
            auto lines = d.detail(part);
            if (n >= 3 && n < 5) {
                EXPECT_EQ(lines.back(), "    Header truncated : " + std::to_string(n) + " of 5 bytes captured");
            }
            if (n >= 5) {
                EXPECT_EQ(lines[5], "      Record truncated : " + std::to_string(n - 5) + " of " +
                                        std::to_string(whole.size() - 5) + " bytes captured") << n;
                EXPECT_LE(lines.size(), full.size() + 1) << n;
            }
        }
    }
    Frame v2 = cat({hex("8025 01 0301 000C 0000 0010 010080 0700C0 000005 00000A"), bytes(16, 0xC3)});
    for (size_t n = 1; n < v2.size(); ++n) {
        Frame part(v2.begin(), v2.begin() + long(n));
        auto s = d.summary(part);
        if (n < 3) {
            EXPECT_EQ(s.col[5], "SSL data " + std::to_string(n) + " octets") << n;
        } else {
            EXPECT_EQ(s.col[5], n < 11 ? "SSLv2 Encrypted data 37 octets" : "SSLv2 Client Hello") << n;
        }
        d.detail(part);
    }
}

TEST(SslVersion2, Messages) {
    Direct d;
    Frame v2 = cat({hex("8025 01 0301 000C 0000 0010 010080 0700C0 000005 00000A"), bytes(16, 0xC3)});
    EXPECT_EQ(d.detail(v2), (std::vector<std::string>{
        "  Secure Sockets Layer Protocol",
        "    SSLv2 record layer(Client Hello)",
        "      Length : 37",
        "      Message type : Client Hello(1)",
        "      Client Hello(1)",
        "        Version : TLS 1.0(0x0301)",
        "        Cipher spec length : 12",
        "        Session ID length : 0",
        "        Challenge length : 16",
        "        Cipher specs",
        "          Cipher spec : SSL2_RC4_128_WITH_MD5(0x010080)",
        "          Cipher spec : SSL2_DES_192_EDE3_CBC_WITH_MD5(0x0700C0)",
        "          Cipher spec : TLS_RSA_WITH_RC4_128_SHA(0x000005)",
        "          Cipher spec : TLS_RSA_WITH_3DES_EDE_CBC_SHA(0x00000A)",
        "        Session ID",
        "        Challenge",
    }));
    // A three-byte header, a master key with every part, then an encrypted record.
    Frame key = hex("02 080080 0002 0003 0001 AAAA BBBBBB CC");
    // Bytes 1-2 (length low byte and padding) 0x0002 make this the SSL 2.0 class.
    auto lines = d.detail(cat({hex("01 00 02"), key, bytes(256 - key.size(), 0), hex("8005"), bytes(5, 0x3C)}));
    EXPECT_EQ(lines, (std::vector<std::string>{
        "  Secure Sockets Layer Protocol",
        "    SSLv2 record layer(Client Master Key)",
        "      Is escape : OFF",
        "      Padding length : 2",
        "      Length : 256",
        "      Message type : Client Master Key(2)",
        "      Client Master Key(2)",
        "        Cipher spec : SSL2_RC4_64_WITH_MD5(0x080080)",
        "        Clear key length : 2",
        "        Encrypted key length : 3",
        "        Key argument length : 1",
        "        Clear key",
        "        Encrypted key",
        "        Key argument",
        "    SSLv2 record layer(Encrypted data)",
        "      Length : 5",
        "      Encrypted data",
    }));
    // Server hello; an escape bit; a record that cannot be read.
    Frame server = hex("04 01 01 0002 0003 0003 0002 303132 060040 ABCD");
    lines = d.detail(cat({hex("80"), {uint8_t(server.size())}, server}));
    EXPECT_EQ(tail(lines, 4), (std::vector<std::string>{
        "      Server Hello(4)",
        "        Session ID hit : 1",
        "        Certificate type : X.509 Certificate(1)",
        "        Version : SSL 2.0(0x0002)",
        "        Certificate length : 3",
        "        Cipher spec length : 3",
        "        Connection ID length : 2",
        "        Certificate",
        "        Cipher spec : SSL2_DES_64_CBC_WITH_MD5(0x060040)",
        "        Connection ID",
    }));
    EXPECT_EQ(d.summary(cat({hex("80"), {uint8_t(server.size())}, server})).col[5], "SSLv2 Server Hello");
    lines = d.detail(cat({hex("400002"), v2}));  // the SSL 2.0 class: bytes 1-2 are 0x0002
    EXPECT_EQ(lines[2], "      Is escape : ON");
    lines = d.detail(hex("800002 80"));
    EXPECT_EQ(lines.back(), "    SSLv2 Data 2 bytes");  // an empty record, then two bytes
}
