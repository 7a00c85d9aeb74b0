// Shared text forms: lookups, addresses, times, bit pictures, byte texts, byte
// readers and the bounded scanners.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "decode/engine.h"
#include "decode/format.h"

using namespace zelpan;

namespace {

std::vector<uint8_t> bytes_of(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::vector<uint8_t> words_to_bytes(std::initializer_list<unsigned> words) {
    std::vector<uint8_t> out;
    for (unsigned w : words) {
        out.push_back(uint8_t(w >> 8));
        out.push_back(uint8_t(w));
    }
    return out;
}

constexpr NameEntry colours[] = {{1, "red"}, {2, "green"}, {2, "second green"}, {0x1234, "blue"}, {0, nullptr}};

}  // namespace

// ---- lookups ----

TEST(ValueName, FormsByWidthAndHex) {
    struct Case { uint32_t value; int width, hex; const char* want; };
    const Case cases[] = {
        {1, 1, 0, "red(1)"},
        {2, 1, 0, "green(2)"},  // first matching row wins
        {5, 1, 1, "Unknown(0x05)"},
        {5, 1, 0, "Unknown(5)"},
        {0x1234, 2, 1, "blue(0x1234)"},
        {1, 3, 1, "red(0x000001)"},
        {1, 4, 1, "red(0x00000001)"},
        {0xABCDE, 7, 1, "Unknown(0xABCDE)"},
        {0, 2, 1, "Unknown(0x0000)"},  // key 0 of the end row is not a name
        {4000000000u, 1, 0, "Unknown(4000000000)"},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(value_name(c.value, colours, c.width, c.hex), c.want) << c.value;
    EXPECT_EQ(lookup_name(7, colours), nullptr);
    EXPECT_STREQ(lookup_name(0x1234, colours), "blue");
    EXPECT_EQ(lookup_name(1, nullptr), nullptr);
}

TEST(ValueName, HardwareTypes) {
    EXPECT_STREQ(hardware_type_name(1), "Ethernet(0x0001)");
    EXPECT_STREQ(hardware_type_name(0), "NET/ROM pseudo(0x0000)");
    EXPECT_STREQ(hardware_type_name(19), "ATM (RFC 2225)(0x0013)");
    EXPECT_STREQ(hardware_type_name(27), "EUI-64(0x001B)");
    EXPECT_STREQ(hardware_type_name(28), "Unknown(0x001C)");
    int rows = 0;
    for (const NameEntry* e = hardware_types; e->name; ++e) EXPECT_EQ(e->key, uint32_t(rows++));
    EXPECT_EQ(rows, 28);
}

TEST(ValueName, ThreeResultsLiveTogether) {
    const char* a = value_name(1, colours, 1, 0);
    const char* b = value_name(2, colours, 1, 0);
    const char* c = value_name(9, colours, 1, 0);
    EXPECT_STREQ(a, "red(1)");
    EXPECT_STREQ(b, "green(2)");
    EXPECT_STREQ(c, "Unknown(9)");
}

// ---- addresses ----

TEST(AddressText, MacAndIpv4) {
    const uint8_t mac[6] = {0x00, 0xA0, 0x24, 0x1B, 0x7C, 0x05};
    EXPECT_STREQ(mac_text(mac), "00:A0:24:1B:7C:05");
    const uint8_t ip[4] = {192, 168, 0, 255};
    EXPECT_STREQ(ipv4_text(ip), "192.168.0.255");
}

TEST(AddressText, Ipv6) {
    struct Case { std::initializer_list<unsigned> words; const char* want; };
    const Case cases[] = {
        {{0, 0, 0, 0, 0, 0, 0, 0}, "::"},
        {{0, 0, 0, 0, 0, 0, 0, 1}, "::1"},
        {{1, 0, 0, 0, 0, 0, 0, 0}, "1::"},
        {{0x2001, 0xDB8, 0, 0, 0, 0, 0, 1}, "2001:DB8::1"},
        {{0xFE80, 0, 0, 0, 0x2A0, 0x24FF, 0xFE1B, 0x7C05}, "FE80::2A0:24FF:FE1B:7C05"},
        {{0, 0, 0, 0, 0, 0xFFFF, 0xC0A8, 0x0001}, "::FFFF:192.168.0.1"},
        {{0, 0, 0, 0, 0xFFFF, 0, 0x0A00, 0x0001}, "::FFFF:0:10.0.0.1"},
        {{0, 0, 0, 0, 0xFFFF, 0, 0, 0}, "::FFFF:0:0.0.0.0"},
        {{0, 0, 0, 0, 0, 0xFFFF, 0, 0}, "::FFFF:0.0.0.0"},
        {{0, 0, 0, 0, 0xFFFF, 1, 0x102, 0x304}, "::FFFF:1:102:304"},
        {{0, 0, 0, 0, 0, 0, 0, 0xFFFF}, "::FFFF"},
        // short runs are written out, at the start, the middle and the end
        {{1, 2, 3, 4, 5, 6, 0, 0}, "1:2:3:4:5:6:0:0"},
        {{1, 2, 3, 4, 5, 6, 7, 0}, "1:2:3:4:5:6:7:0"},
        {{1, 2, 3, 4, 5, 0, 0, 0}, "1:2:3:4:5::"},
        {{0, 1, 2, 3, 4, 5, 6, 7}, "0:1:2:3:4:5:6:7"},
        {{0, 0, 1, 2, 3, 4, 5, 6}, "0:0:1:2:3:4:5:6"},
        {{0, 0, 0, 1, 2, 3, 4, 5}, "::1:2:3:4:5"},
        {{1, 0, 2, 0, 0, 3, 0, 0}, "1:0:2:0:0:3:0:0"},
        {{1, 0, 0, 0, 2, 3, 4, 5}, "1::2:3:4:5"},
        {{1, 2, 0, 0, 0, 0, 0, 3}, "1:2::3"},
        {{0xABCD, 0xEF01, 0x2345, 0x6789, 0xABCD, 0xEF01, 0x2345, 0x6789},
         "ABCD:EF01:2345:6789:ABCD:EF01:2345:6789"},
        {{0x00F0, 0x000A, 0x0100, 1, 2, 3, 4, 5}, "F0:A:100:1:2:3:4:5"},
        // the IPv4 forms need zeros from word 0; earlier words are kept otherwise
        {{0x2001, 0, 0, 0, 0xFFFF, 0, 0x102, 0x304}, "2001::FFFF:0:102:304"},
        {{1, 0, 0, 0, 0, 0xFFFF, 0xC0A8, 1}, "1::FFFF:C0A8:1"},
        // only one run becomes "::", so the text stays unambiguous
        {{0, 0, 0, 1, 0, 0, 0, 1}, "::1:0:0:0:1"},
        {{1, 0, 0, 0, 1, 0, 0, 0}, "1::1:0:0:0"},
        {{0, 0, 0, 1, 0, 0, 0, 0}, "::1:0:0:0:0"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> a = words_to_bytes(c.words);
        ASSERT_EQ(a.size(), 16u);
        EXPECT_STREQ(ipv6_text(a.data()), c.want);
    }
}

TEST(AddressText, HardwareAddress) {
    const uint8_t b[6] = {0x00, 0x11, 0x22, 0xAA, 0xBB, 0xCC};
    EXPECT_STREQ(hardware_address_text(b, 0, 1), "No address");
    EXPECT_STREQ(hardware_address_text(b, 6, 1), "00:11:22:AA:BB:CC");
    EXPECT_STREQ(hardware_address_text(b, 6, 6), "00:11:22:AA:BB:CC");
    EXPECT_STREQ(hardware_address_text(b, 4, 1), "00:11:22:AA");
    EXPECT_STREQ(hardware_address_text(b, 6, 15), "00:11:22:AA:BB:CC");
    EXPECT_STREQ(hardware_address_text(b, 2, 7), "00:11");
}

// ---- times ----

TEST(TimeText, TimeOfDay) {
    struct Case { uint32_t s, us; const char* want; };
    const Case cases[] = {
        {0, 5, "00:00:00.000005"},         // below one day: no shift
        {84600, 0, "23:30:00.000000"},     // still below one day
        {86399, 999999, "23:59:59.999999"},
        {86400, 0, "09:00:00.000000"},     // a real date: Japan time
        {86400 + 84600, 123456, "08:30:00.123456"},  // 23:30 UTC crosses midnight
        {1700000000, 1000, "07:13:20.001000"},
        {86400 + 14 * 3600 + 59 * 60 + 59, 0, "23:59:59.000000"},
        {86400 + 15 * 3600, 0, "00:00:00.000000"},
    };
    for (const Case& c : cases) EXPECT_STREQ(time_of_day_text(c.s, c.us), c.want) << c.s;
}

TEST(TimeText, DateTime) {
    struct Case { uint32_t s; const char* want; };
    const Case cases[] = {
        {0, "0000/00/00 00:00:00.000000"},
        {5, "1970/01/01 00:00:05.000000"},
        {84600, "1970/01/01 23:30:00.000000"},  // no shift below one day
        {86400, "1970/01/02 09:00:00.000000"},
        {171000, "1970/01/03 08:30:00.000000"},  // 23:30 UTC shows the next day
        {946683000, "2000/01/01 08:30:00.000000"},  // 1999-12-31 23:30 UTC
        {951750000, "2000/02/29 00:00:00.000000"},  // 2000 is a leap year
        {951750000 - 1, "2000/02/28 23:59:59.000000"},
        {951836400, "2000/03/01 00:00:00.000000"},
        {978274799, "2000/12/31 23:59:59.000000"},
        {978274800, "2001/01/01 00:00:00.000000"},  // shifted onto the 2001 start
        {1078066800, "2004/03/01 00:00:00.000000"},
        {1078066800 - 86400, "2004/02/29 00:00:00.000000"},
        {1700000000, "2023/11/15 07:13:20.000000"},
        {4107510000u, "2100/03/01 00:00:00.000000"},  // 2100 is not
        {4294967295u, "2106/02/07 15:28:15.000000"},  // no wrap past 32 bits
    };
    for (const Case& c : cases) EXPECT_STREQ(date_time_text(c.s, 0), c.want) << c.s;
    EXPECT_STREQ(date_time_text(1700000000, 42), "2023/11/15 07:13:20.000042");
}

TEST(TimeText, DateTimeAgreesWithTheCLibrary) {
    // Every real date is the UTC calendar of seconds + 9 hours: sparse over the
    // whole range, hourly around 2000 and 2001.
    struct Sweep { uint64_t from, to, step; };
    const Sweep sweeps[] = {{86400, 0xFFFFFFFFull, 86400ull * 13 + 3607}, {944000000, 984000000, 3600}};
    for (const Sweep& w : sweeps) {
        for (uint64_t s = w.from; s <= w.to; s += w.step) {
            for (uint64_t d : {0ull, 32399ull, 32400ull, 86399ull}) {
                uint64_t v = s + d;
                if (v > 0xFFFFFFFFull) continue;
                time_t t = time_t(v + 32400);
                struct tm tm;
                ASSERT_TRUE(gmtime_r(&t, &tm));
                char want[64];
                std::snprintf(want, sizeof want, "%04d/%02d/%02d %02d:%02d:%02d.000000", tm.tm_year + 1900,
                              tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
                ASSERT_STREQ(date_time_text(uint32_t(v), 0), want) << v;
            }
        }
    }
}

TEST(TimeText, Duration) {
    struct Case { uint32_t s; const char* want; };
    const Case cases[] = {
        {0, " 0 sec"},
        {1, " 1 sec"},
        {60, " 1 min"},
        {3661, " 1 hour 1 min 1 sec"},
        {86400, " 1 day"},
        {90061, " 1 day 1 hour 1 min 1 sec"},
        {86400 * 2 + 59, " 2 day 59 sec"},
        {4294967295u, " 49710 day 6 hour 28 min 15 sec"},
    };
    for (const Case& c : cases) EXPECT_STREQ(duration_text(c.s), c.want) << c.s;
}

TEST(TimeText, CalendarInLocalTime) {
    const char* old = std::getenv("TZ");
    std::string saved = old ? old : "";
    setenv("TZ", "UTC0", 1);
    tzset();
    EXPECT_STREQ(calendar_text(0, 5), "Jan  1, 1970 00:00:00.000000005");
    EXPECT_STREQ(calendar_text(1700000000, 123456789), "Nov 14, 2023 22:13:20.123456789");
    EXPECT_STREQ(calendar_text(951782400, 0), "Feb 29, 2000 00:00:00.000000000");
    EXPECT_STREQ(calendar_text(-1, 0), "Dec 31, 1969 23:59:59.000000000");
    EXPECT_STREQ(calendar_text(INT64_MAX, 0), "Not representable");
    setenv("TZ", "JST-9", 1);
    tzset();
    EXPECT_STREQ(calendar_text(0, 0), "Jan  1, 1970 09:00:00.000000000");
    if (old) setenv("TZ", saved.c_str(), 1);
    else unsetenv("TZ");
    tzset();
}

// ---- bit pictures ----

TEST(BitText, Pictures) {
    EXPECT_STREQ(bit_text8(0x45, 0, 4), "0100 ****");
    EXPECT_STREQ(bit_text8(0x03, 0, 6), "0000 00**");
    EXPECT_STREQ(bit_text8(0x03, 6, 2), "**** **11");
    EXPECT_STREQ(bit_text8(0xFF, 3, 2), "***1 1***");
    EXPECT_STREQ(bit_text8(0x1A5, 0, 8), "1010 0101");  // only the low 8 bits
    EXPECT_STREQ(bit_text8(0xFF, 0, 0), "**** ****");
    EXPECT_STREQ(bit_text16(0x8001, 0, 16), "1000 0000 0000 0001");
    EXPECT_STREQ(bit_text16(0x4000, 1, 3), "*100 **** **** ****");
    EXPECT_STREQ(bit_text16(0x00F0, 8, 4), "**** **** 1111 ****");
    EXPECT_STREQ(bit_text24(0x800001, 0, 24), "1000 0000 0000 0000 0000 0001");
    EXPECT_STREQ(bit_text24(0x000100, 15, 2), "**** **** **** ***1 0*** ****");
    EXPECT_EQ(std::strlen(bit_text16(0, 0, 16)), 19u);
    EXPECT_EQ(std::strlen(bit_text24(0, 0, 24)), 29u);
}

TEST(BitText, Flags) {
    EXPECT_STREQ(flag_text8(0x40, 1, "Don't Fragment", "May Fragment"), "*1** **** : Don't Fragment");
    EXPECT_STREQ(flag_text8(0x40, 2, "More Fragments", "Last Fragment"), "**0* **** : Last Fragment");
    EXPECT_STREQ(flag_text8(0x01, 7, "FIN(ON)", "FIN(OFF)"), "**** ***1 : FIN(ON)");
    EXPECT_STREQ(flag_text16(0x8000, 0, "on", "off"), "1*** **** **** **** : on");
    EXPECT_STREQ(flag_text16(0x8000, 15, "on", "off"), "**** **** **** ***0 : off");
    // A flag line does not disturb bit pictures the caller holds.
    const char* a = bit_text8(0x80, 0, 1);
    flag_text8(0, 0, "x", "y");
    flag_text8(0, 0, "x", "y");
    flag_text8(0, 0, "x", "y");
    EXPECT_STREQ(a, "1*** ****");
}

// ---- byte texts ----

TEST(ByteText, HexCutsAt384Characters) {
    std::vector<uint8_t> b(200);
    for (size_t i = 0; i < b.size(); ++i) b[i] = uint8_t(i);
    EXPECT_STREQ(hex_text(b.data(), 3, 0), "000102");
    EXPECT_STREQ(hex_text(b.data() + 10, 3, ':'), "0A:0B:0C");
    EXPECT_STREQ(hex_text(b.data(), 0, ':'), "");

    std::string sep = hex_text(b.data(), 200, ':');
    EXPECT_EQ(sep.size(), 387u);  // 128 bytes with their separators, then "..."
    EXPECT_EQ(sep.substr(0, 9), "00:01:02:");
    EXPECT_EQ(sep.substr(sep.size() - 6), "7F:...");

    EXPECT_EQ(std::string(hex_text(b.data(), 128, ':')).size(), 383u);  // fits whole
    EXPECT_EQ(std::string(hex_text(b.data(), 129, ':')).substr(381), "7F:...");

    std::string plain192 = hex_text(b.data(), 192, 0);
    EXPECT_EQ(plain192.size(), 384u);
    EXPECT_EQ(plain192.substr(380), "BEBF");
    std::string plain193 = hex_text(b.data(), 193, 0);
    EXPECT_EQ(plain193, plain192 + "...");
}

TEST(ByteText, Printable) {
    std::vector<uint8_t> b = bytes_of("GET /\x01rest");
    EXPECT_STREQ(printable_text(b.data(), int(b.size())), "GET /");
    EXPECT_STREQ(printable_text(b.data(), 3), "GET");
    EXPECT_STREQ(printable_text(b.data(), 0), "");
    std::vector<uint8_t> high = {'a', 0x7F, 'b'};
    EXPECT_STREQ(printable_text(high.data(), 3), "a");
    std::vector<uint8_t> longer(500, 'x');
    EXPECT_EQ(std::string(printable_text(longer.data(), 384)), std::string(384, 'x'));
    EXPECT_EQ(std::string(printable_text(longer.data(), 500)), std::string(384, 'x') + "...");
    longer[384] = 0;  // nothing cut when the next byte ends the text anyway
    EXPECT_EQ(std::string(printable_text(longer.data(), 500)), std::string(384, 'x'));
}

TEST(ByteText, Escaped) {
    std::vector<uint8_t> b = {'A', 0x0D, 0x0A};
    EXPECT_STREQ(escaped_text(b.data(), 3), "A\\015\\012");
    std::vector<uint8_t> c = {0x00, 0x1F, 0x20, 0x7E, 0x7F, 0x80, 0xE3, 0xFF};
    EXPECT_STREQ(escaped_text(c.data(), 8), "\\000\\037 ~\\177\\200\\343\\377");
    EXPECT_STREQ(escaped_text(b.data(), 0), "");
    EXPECT_STREQ(escaped_text(b.data(), -4), "");

    std::vector<uint8_t> text(400, 'y');
    EXPECT_EQ(std::string(escaped_text(text.data(), 400)), std::string(384, 'y') + "...");
    EXPECT_EQ(std::string(escaped_text(text.data(), 384)), std::string(384, 'y'));
    std::vector<uint8_t> ctl(200, 0x01);  // 96 escapes reach 384 characters
    std::string e = escaped_text(ctl.data(), 200);
    EXPECT_EQ(e.size(), 387u);
    EXPECT_EQ(e.substr(e.size() - 7), "\\001...");
}

TEST(ByteText, LineEnd) {
    struct Case { std::vector<uint8_t> bytes; int remaining; const char* want; };
    const Case cases[] = {
        {{'\r', '\n'}, 2, "\\r\\n"},
        {{'\r', 0}, 2, "\\r  "},
        {{'\r', 'x'}, 2, ""},
        {{'\r', '\n'}, 1, ""},  // a lone CR as the last byte
        {{'\n'}, 1, "\\n"},
        {{' '}, 1, "  "},
        {{'x'}, 1, ""},
        {{'\n'}, 0, ""},
    };
    for (const Case& c : cases) EXPECT_STREQ(line_end_text(c.bytes.data(), 0, c.remaining), c.want);
    std::vector<uint8_t> line = bytes_of("ab\r\n");
    EXPECT_STREQ(line_end_text(line.data(), 2, 2), "\\r\\n");
}

TEST(ByteText, CopyText) {
    std::vector<uint8_t> src(500);
    for (size_t i = 0; i < src.size(); ++i) src[i] = uint8_t('a' + i % 26);
    char target[388];
    copy_text(src.data(), 2, 3, target);
    EXPECT_STREQ(target, "cde");
    copy_text(src.data(), 0, 0, target);
    EXPECT_STREQ(target, "");
    copy_text(src.data(), 0, 384, target);
    EXPECT_EQ(std::strlen(target), 384u);
    copy_text(src.data(), 1, 385, target);
    EXPECT_EQ(std::string(target), std::string(reinterpret_cast<const char*>(src.data()) + 1, 384) + "...");
}

TEST(ByteText, HexDigitsToBytes) {
    uint8_t out[600];
    EXPECT_EQ(hex_digits_to_bytes("00A0ff1b", false, out, 600), 4);
    EXPECT_EQ(out[0], 0x00);
    EXPECT_EQ(out[1], 0xA0);
    EXPECT_EQ(out[2], 0xFF);
    EXPECT_EQ(out[3], 0x1B);
    EXPECT_EQ(hex_digits_to_bytes("12:ab-C3", true, out, 600), 3);
    EXPECT_EQ(out[1], 0xAB);
    EXPECT_EQ(out[2], 0xC3);
    EXPECT_EQ(hex_digits_to_bytes("G1x9", false, out, 600), 2);  // other characters count as 0
    EXPECT_EQ(out[0], 0x01);
    EXPECT_EQ(out[1], 0x09);
    EXPECT_EQ(hex_digits_to_bytes("123", false, out, 600), 1);  // a half pair is not a byte
    EXPECT_EQ(hex_digits_to_bytes("", false, out, 600), 0);
    EXPECT_EQ(hex_digits_to_bytes("11223344", false, out, 2), 2);
    std::string many(2000, 'E');
    EXPECT_EQ(hex_digits_to_bytes(many.c_str(), false, out, 600), 509);
}

TEST(ByteText, OidAndHex64) {
    const unsigned long arcs[] = {1, 3, 6, 1, 4294967295ul};
    EXPECT_STREQ(oid_text(arcs, 5), "1.3.6.1.4294967295");
    EXPECT_STREQ(oid_text(arcs, 1), "1");
    EXPECT_STREQ(oid_text(arcs, 0), "");
    std::vector<unsigned long> many(300, 12345);
    std::string t = oid_text(many.data(), 300);
    EXPECT_LE(t.size(), 511u);
    EXPECT_EQ(t.substr(t.size() - 3), "...");
    EXPECT_EQ(t.substr(0, 12), "12345.12345.");
    const uint8_t eight[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    EXPECT_STREQ(hex64_text(eight), "0x0123456789ABCDEF");
}

TEST(ByteText, TextfRotatesAndTruncates) {
    const char* a = textf("%d-%s", 1, "a");
    const char* b = textf("%d-%s", 2, "b");
    const char* c = textf("%d-%s", 3, "c");
    EXPECT_STREQ(a, "1-a");
    EXPECT_STREQ(b, "2-b");
    EXPECT_STREQ(c, "3-c");
    std::string big(1000, 'z');
    EXPECT_EQ(std::string(textf("%s", big.c_str())), std::string(511, 'z'));
}

// ---- byte readers ----

TEST(ByteReaders, BigEndianAndSwap) {
    const uint8_t p[4] = {0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(be16(p), 0x1234);
    EXPECT_EQ(be24(p), 0x123456u);
    EXPECT_EQ(be32(p), 0x12345678u);
    EXPECT_EQ(swap16(0x1234), 0x3412);
    EXPECT_EQ(read_be(p, 1), 0x12);
    EXPECT_EQ(read_be(p, 2), 0x1234);
    EXPECT_EQ(read_be(p, 3), 0x123456);
    EXPECT_EQ(read_be(p, 4), 0x12345678);
    EXPECT_EQ(read_be(p, 0), -1);
    EXPECT_EQ(read_be(p, 5), -1);
    EXPECT_EQ(read_be(p, -1), -1);
    const uint8_t ff[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(read_be(ff, 4), 4294967295L);  // no sign from the top byte
}

TEST(ByteReaders, IeeeFloatToInt) {
    auto bits = [](float f) {
        uint32_t u;
        std::memcpy(&u, &f, 4);
        return u;
    };
    struct Case { uint32_t bits; int32_t want; };
    const Case cases[] = {
        {bits(0.0f), 0},
        {0x80000000u, 0},  // negative zero
        {bits(0.999f), 0},
        {bits(-0.5f), 0},
        {bits(1.0f), 1},
        {bits(1.99f), 1},
        {bits(-1.99f), -1},
        {bits(1234567.8f), 1234567},
        {bits(16777216.0f), 16777216},
        {bits(1.0e9f), 1000000000},
        {bits(-2147483648.0f), INT32_MIN},
        {bits(2147483520.0f), 2147483520},  // the largest float below 2^31
        {bits(3.0e9f), INT32_MAX},           // too large: the limit
        {bits(-1.0e20f), INT32_MIN},
        {0x7F800000u, INT32_MAX},  // +infinity
        {0xFF800000u, INT32_MIN},  // -infinity
        {0x7FC00000u, INT32_MAX},  // NaN
        {0xFFC00000u, INT32_MIN},  // negative NaN
        {0x00000001u, 0},          // denormal
    };
    for (const Case& c : cases) EXPECT_EQ(ieee_float_to_int(c.bits), c.want) << std::hex << c.bits;
}

// ---- bounded scanners ----

namespace {

// A frame held in a buffer of exactly its size, current while the test runs.
struct Frame {
    std::vector<uint8_t> bytes;
    DecodeContext c;
    explicit Frame(const std::string& text) : bytes(text.begin(), text.end()) {
        c.mode = MODE_DISPLAY;
        c.bytes = bytes.data();
        c.captured_length = int32_t(bytes.size());
        make_current(&c);
    }
    ~Frame() { make_current(nullptr); }
    const uint8_t* p() const { return bytes.data(); }
    int n() const { return int(bytes.size()); }
};

}  // namespace

TEST(Scanners, FindLineEnd) {
    struct Case { std::string text; int start; int want; };
    const Case cases[] = {
        {"abc\r\ndef", 0, 3},
        {"abc\ndef", 0, 3},
        {std::string("ab\r\0x", 5), 0, 2},
        {"ab\rxy\n", 0, -1},  // a CR followed by anything else ends the search
        {"abc", 0, -1},
        {"ab\r", 0, -1},      // a CR as the last byte
        {"a\nb\nc", 2, 3},
        {"\n", 0, 0},
    };
    for (const Case& c : cases) {
        Frame f(c.text);
        EXPECT_EQ(find_line_end(f.p(), c.start, f.n()), c.want) << c.text;
    }
    Frame f("line\r\nmore");
    EXPECT_EQ(find_line_end(f.p(), 0, f.n() + 1), -1);  // range past the frame: not looked at
    EXPECT_EQ(find_line_end(f.p() + 6, 0, 5), -1);
    EXPECT_EQ(find_line_end(f.p(), 6, 6), -1);
    EXPECT_EQ(find_line_end(f.p(), -1, 4), -1);
    EXPECT_EQ(find_line_end(f.p(), 0, 6), 4);   // CR LF within n
    EXPECT_EQ(find_line_end(f.p(), 0, 5), -1);  // the LF lies beyond n
    EXPECT_EQ(find_line_end(f.p(), 0, 4), -1);
}

TEST(Scanners, StatusLineAndTaggedResponse) {
    struct Case { std::string text; int status; int tagged; };
    const Case cases[] = {
        {"A001 OK done\r\n", 12, 7},
        {"A1 NO fail\r\n", 10, 5},
        {"A1 BAD x\r\n", 8, 6},
        {"A1 BADLY\r\n", 8, 6},  // only the three letters are looked at
        {"A1 OKAY\r\n", 7, -1},
        {"A1 FETCH 1\r\n", 10, -1},
        {"a1 OK x\r\n", -1, -1},  // lower case is no tag
        {"A1OK x\r\n", 6, -1},    // the tag is "A1OK"
        {" OK x\r\n", -1, -1},    // no token
        {"A1 OK no line end", -1, 5},
        {"A1 OK", -1, -1},
        {"A1", -1, -1},
    };
    for (const Case& c : cases) {
        Frame f(c.text);
        EXPECT_EQ(status_line_test(f.p(), f.n()), c.status) << c.text;
        EXPECT_EQ(tagged_response_test(f.p(), f.n()), c.tagged) << c.text;
    }
    Frame f("A1 OK x\r\n");
    EXPECT_EQ(status_line_test(f.p(), f.n() + 1), -1);
    EXPECT_EQ(tagged_response_test(f.p(), f.n() + 1), -1);
    EXPECT_EQ(status_line_test(f.p(), 0), -1);
}

TEST(Scanners, DigitsByteAndCompare) {
    Frame f("220-Welcome x");
    EXPECT_EQ(digits_test(0, f.p(), 3, f.n()), 3);
    EXPECT_EQ(digits_test(0, f.p(), 4, f.n()), -1);
    EXPECT_EQ(digits_test(1, f.p(), 2, f.n()), 2);
    EXPECT_EQ(digits_test(0, f.p(), 3, 2), -1);  // beyond the limit
    EXPECT_EQ(digits_test(12, f.p(), 2, 100), -1);  // beyond the frame
    EXPECT_EQ(digits_test(-1, f.p(), 2, f.n()), -1);

    EXPECT_EQ(find_byte(f.p(), 0, f.n(), '-'), 3);
    EXPECT_EQ(find_byte(f.p(), 4, f.n(), 'x'), 12);
    EXPECT_EQ(find_byte(f.p(), 4, f.n(), '-'), -1);
    EXPECT_EQ(find_byte(f.p(), 0, f.n() + 1, '-'), -1);  // range past the frame

    EXPECT_EQ(compare_nocase(f.p() + 4, "WELCOME", 7), 0);
    EXPECT_EQ(compare_nocase(f.p() + 4, "welcome", 7), 0);
    EXPECT_EQ(compare_nocase(f.p() + 4, "WELCOMF", 7), -1);
    EXPECT_EQ(compare_nocase(f.p() + 4, "WEL", 7), -1);  // text shorter than n
    EXPECT_EQ(compare_nocase(f.p() + 11, " XY", 3), -1);  // range past the frame
    EXPECT_EQ(compare_nocase(f.p() + 11, " X", 2), 0);
    Frame g("`{~");  // neighbours of the letters are not folded
    EXPECT_EQ(compare_nocase(g.p(), "@[^", 3), -1);
    EXPECT_EQ(compare_nocase(g.p(), "`{~", 3), 0);
}

TEST(Scanners, RefuseBytesOutsideTheFrame) {
    std::vector<uint8_t> other = bytes_of("123\r\n");
    Frame f("abc");
    EXPECT_EQ(find_line_end(other.data(), 0, 5), -1);
    EXPECT_EQ(digits_test(0, other.data(), 3, 5), -1);
    make_current(nullptr);  // the idle context has no frame
    EXPECT_EQ(find_byte(f.p(), 0, 3, 'a'), -1);
}

TEST(Scanners, SignedNumber) {
    struct Case { const char* text; int want; };
    const Case cases[] = {
        {"123", 1}, {"+5", 1}, {"-0", 1}, {"", 0}, {"+", 0}, {"-", 0},
        {"12a", 0}, {" 12", 0}, {"1-2", 0}, {"++1", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(signed_number_test(c.text), c.want) << c.text;
    EXPECT_EQ(signed_number_test(nullptr), 0);
}
