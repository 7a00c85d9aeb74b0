// The decoders' formatter against the C library's, byte for byte, and the
// indexed name lookups.
#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "decode/engine.h"
#include "decode/format.h"
#include "decode/text_format.h"

using namespace zelpan;

namespace {

// Both formatters over the same arguments at a given size: text, return value and
// the bytes after the end (nothing past size may be written).
struct Result {
    int n;
    std::string bytes;
};

Result ours(size_t size, const char* format, ...) {
    std::string buf(size + 8, '\x7f');
    va_list ap;
    va_start(ap, format);
    int n = format_text(buf.data(), size, format, ap);
    va_end(ap);
    return {n, buf};
}

Result theirs(size_t size, const char* format, ...) {
    std::string buf(size + 8, '\x7f');
    va_list ap;
    va_start(ap, format);
    int n = std::vsnprintf(buf.data(), size, format, ap);
    va_end(ap);
    return {n, buf};
}

// Same call through both, at a roomy size and at a few cutting ones.
#define SAME(format, ...)                                                                   \
    do {                                                                                    \
        for (size_t size : {size_t(256), size_t(0), size_t(1), size_t(2), size_t(5)}) {     \
            Result a = ours(size, format, __VA_ARGS__);                                     \
            Result b = theirs(size, format, __VA_ARGS__);                                   \
            EXPECT_EQ(a.n, b.n) << format << " size " << size;                              \
            EXPECT_EQ(a.bytes, b.bytes) << format << " size " << size;                      \
        }                                                                                   \
    } while (0)

}  // namespace

TEST(TextFormat, FormsInUseMatchTheCLibrary) {
    const unsigned uvals[] = {0, 1, 9, 10, 15, 16, 255, 256, 4095, 65535, 65536, 99999, 0x7FFFFFFF,
                              0x80000000u, UINT_MAX};
    for (unsigned u : uvals) {
        SAME("%u|%02X|%04X|%02x|%08X|%X|%08x|%x|%06X|%03u|%04x|%4X|%05X|%04u|%02u", u, u, u, u, u, u, u, u, u,
             u, u, u, u, u, u);
        SAME("%c|%c", int(u & 0x7F), int(u & 0xFF));
    }
    const int ivals[] = {0, 1, -1, 7, -7, 42, -42, 100, 12345, -12345, INT_MAX, INT_MIN};
    for (int i : ivals) SAME("%d|%02d|%03d|%2d|%05d|%04d|% d|%i", i, i, i, i, i, i, i, i);
    const long lvals[] = {0, 1, -1, 123456789, -123456789, LONG_MAX, LONG_MIN};
    for (long l : lvals) {
        unsigned long ul = (unsigned long)l;
        SAME("%ld|%lu|%lX|%02lu|%09ld|%04lu|%03lu", l, ul, ul, ul, l, ul, ul);
    }
    const long long llvals[] = {0, 1, -1, 9999, 10000, LLONG_MAX, LLONG_MIN};
    for (long long ll : llvals) {
        unsigned long long ull = (unsigned long long)ll;
        SAME("%lld|%llu|%04llu", ll, ull, ull);
    }
    SAME("%llu", ULLONG_MAX);
    SAME("%zu|%zu|%zu", size_t(0), size_t(12345), SIZE_MAX);
    SAME("%s=%s!", "name", "");
    SAME("%.*s|%.*s|%.*s", 3, "abcdef", 0, "abc", 10, "ab");
    SAME("100%% of %s", "it");
    SAME("no conversions at all", 0);
}

TEST(TextFormat, FlagsWidthsAndPrecisions) {
    struct Case {
        const char* format;
    };
    const Case forms[] = {
        {"[%-5d]"}, {"[%+d]"}, {"[% d]"}, {"[%+ d]"}, {"[%-+6d]"}, {"[%06d]"}, {"[%-06d]"}, {"[%.3d]"},
        {"[%8.3d]"}, {"[%08.3d]"}, {"[%.0d]"}, {"[%+.0d]"}, {"[% .0d]"}, {"[%5.0d]"}, {"[%#x]"},
        {"[%#X]"}, {"[%#08x]"}, {"[%#.0x]"}, {"[%#5.3x]"}, {"[%o]"}, {"[%#o]"}, {"[%#.0o]"},
        {"[%#5o]"}, {"[%#.4o]"}, {"[%-#8o]"}, {"[%#08o]"}, {"[%+u]"}, {"[% u]"}, {"[%#u]"},
        {"[%+x]"}, {"[%-8X]"}, {"[%.10u]"}, {"[%020u]"},
    };
    const int values[] = {0, 1, -1, 8, 42, -42, 0x1F, 123456, INT_MIN, INT_MAX};
    for (const Case& c : forms)
        for (int v : values) SAME(c.format, v);
    // Texts, characters and pointers with widths, precisions and ignored flags.
    const char* texts[] = {"", "a", "abcdef", "a longer text than the width"};
    for (const char* t : texts) {
        SAME("[%8s][%-8s][%.2s][%8.2s][%-8.0s][%05s][%+s][%#s][% s]", t, t, t, t, t, t, t, t, t);
        SAME("[%*s][%-*s][%*s][%.*s][%.*s]", 6, t, 6, t, -6, t, -1, t, 2, t);
    }
    SAME("[%5c][%-5c][%05c][%c]", 'x', 'y', 'z', 0);
    SAME("[%p][%20p][%-20p]", (void*)0x1234, (void*)0xdeadbeef, (void*)1);
    SAME("[%p][%8p][%-8p]", (void*)nullptr, (void*)nullptr, (void*)nullptr);
    // glibc shows a null text as "(null)" only when the precision leaves room for it.
    const char* none = nullptr;
    SAME("[%s][%10s][%-10s][%.6s][%.5s][%.0s]", none, none, none, none, none, none);
    // Negative '*' width means left-justified; negative precision means none.
    SAME("[%*d][%*d][%.*d][%.*d][%*.*u]", -6, 42, 6, 42, -3, 7, 3, 7, 9, 4, 5u);
}

TEST(TextFormat, LengthModifiers) {
    SAME("%hhd %hhu %hhx %hd %hu %hX", 300, 300, 0x1FF, 70000, 70000, 0x12345);
    SAME("%hhd %hd", -129, -32769);
    SAME("%jd %ju %td %tu %zd %zx", intmax_t(-5), uintmax_t(UINTMAX_MAX), ptrdiff_t(-9), ptrdiff_t(9),
         size_t(SIZE_MAX), size_t(0xABCDEF));
    SAME("%lld %lli %llx %llo", LLONG_MIN, LLONG_MAX, ULLONG_MAX, ULLONG_MAX);
    SAME("%lx %lo %li", ULONG_MAX, 8UL, LONG_MIN);
}

TEST(TextFormat, FormsLeftToTheCLibrary) {
    // Floating point, positional arguments, wide texts, grouping: all still exact.
    SAME("%.3f|%g|%06.3f|%.0f|%e|%a|%.2f", 3.14159, 1e-5, 2.5, 0.5, 12345.678, 1.0, -0.005);
    SAME("%d then %.6f then %s", 7, 1.0 / 3, "after");
    SAME("%2$s %1$s", "world", "hello");
    SAME("%ls|%lc", L"wide", wint_t(L'w'));
    SAME("%'d", 1234567);
    SAME("%Lf", (long double)1.5);
}

TEST(TextFormat, TruncationKeepsTheFullLength) {
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(format_textf(buf, 0, "%s", "hello"), 5);
    EXPECT_EQ(buf[0], 'x');  // size 0 writes nothing
    EXPECT_EQ(format_textf(buf, 4, "%08X", 0xABCu), 8);
    EXPECT_STREQ(buf, "000");
    EXPECT_EQ(buf[4], 'x');
    EXPECT_EQ(format_textf(buf, 1, "%d", -5), 2);
    EXPECT_STREQ(buf, "");
    // A cut anywhere in a long line is the C library's cut.
    for (size_t size = 0; size < 40; ++size)
        SAME("%s=%04X (%d bytes) %-6s|%lu", "Type", 0x86DDu, -1500, "tail", 123456789UL);
}

TEST(TextFormat, RandomFormsMatchTheCLibrary) {
    std::mt19937 rng(20261208);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    const char* conversions[] = {"d", "i", "u", "x", "X", "o", "c", "s"};
    const char* lengths_int[] = {"", "", "", "hh", "h", "l", "ll", "z", "j", "t"};
    const char* words[] = {"", "ab", "Ethernet II", "a text of some length", nullptr};
    for (int round = 0; round < 4000; ++round) {
        std::string format = "<";
        const char* conversion = conversions[pick(8)];
        std::string spec = "%";
        for (char flag : std::string("-+ #0"))
            if (pick(4) == 0) spec += flag;
        bool star_width = false, star_precision = false;
        switch (pick(3)) {
        case 0: break;
        case 1: spec += std::to_string(pick(25)); break;
        case 2: spec += '*'; star_width = true; break;
        }
        switch (pick(3)) {
        case 0: break;
        case 1: spec += '.' + std::to_string(pick(12)); break;
        case 2: spec += ".*"; star_precision = true; break;
        }
        bool text = conversion[0] == 's' || conversion[0] == 'c';
        if (!text) spec += lengths_int[pick(10)];
        spec += conversion;
        format += spec + ">";
        int width = pick(30) - 10, precision = pick(16) - 4;
        uint64_t bits = (uint64_t(rng()) << 32) | rng();
        if (pick(3) == 0) bits >>= pick(64);
        const char* word = words[pick(5)];
        const char* f = format.c_str();
        // Arguments in the order the form takes them; an integer goes as long long,
        // which every integer length reads correctly on this ABI's registers and stack.
        for (size_t size : {size_t(64), size_t(3)}) {
            Result a{}, b{};
            long long v = (long long)bits;
            if (conversion[0] == 's') {
                if (star_width && star_precision) {
                    a = ours(size, f, width, precision, word);
                    b = theirs(size, f, width, precision, word);
                } else if (star_width) {
                    a = ours(size, f, width, word);
                    b = theirs(size, f, width, word);
                } else if (star_precision) {
                    a = ours(size, f, precision, word);
                    b = theirs(size, f, precision, word);
                } else {
                    a = ours(size, f, word);
                    b = theirs(size, f, word);
                }
            } else {
                if (star_width && star_precision) {
                    a = ours(size, f, width, precision, v);
                    b = theirs(size, f, width, precision, v);
                } else if (star_width) {
                    a = ours(size, f, width, v);
                    b = theirs(size, f, width, v);
                } else if (star_precision) {
                    a = ours(size, f, precision, v);
                    b = theirs(size, f, precision, v);
                } else {
                    a = ours(size, f, v);
                    b = theirs(size, f, v);
                }
            }
            ASSERT_EQ(a.n, b.n) << f << " width " << width << " precision " << precision << " value " << v;
            ASSERT_EQ(a.bytes, b.bytes) << f << " width " << width << " precision " << precision << " value " << v;
        }
    }
}

TEST(TextFormat, DigitWriters) {
    struct Case {
        uint64_t value;
        int width;
    };
    const Case cases[] = {{0, 0}, {0, 2}, {7, 3}, {255, 2}, {65535, 4}, {123456789, 0},
                          {0xFFFFFFFF, 8}, {0xFFFFFFFFFFFFFFFFull, 16}, {1, 16}};
    for (const Case& c : cases) {
        char got[64], want[64];
        *put_hex(got, c.value, c.width, true) = 0;
        std::snprintf(want, sizeof want, "%0*llX", c.width, (unsigned long long)c.value);
        EXPECT_STREQ(got, want);
        *put_hex(got, c.value, c.width, false) = 0;
        std::snprintf(want, sizeof want, "%0*llx", c.width, (unsigned long long)c.value);
        EXPECT_STREQ(got, want);
        *put_u64(got, c.value) = 0;
        std::snprintf(want, sizeof want, "%llu", (unsigned long long)c.value);
        EXPECT_STREQ(got, want);
        *put_i64(got, int64_t(c.value)) = 0;
        std::snprintf(want, sizeof want, "%lld", (long long)c.value);
        EXPECT_STREQ(got, want);
        *put_u32(got, uint32_t(c.value)) = 0;
        std::snprintf(want, sizeof want, "%u", unsigned(c.value));
        EXPECT_STREQ(got, want);
        *put_u32_zero(got, uint32_t(c.value), c.width) = 0;
        std::snprintf(want, sizeof want, "%0*u", c.width, unsigned(c.value));
        EXPECT_STREQ(got, want);
    }
    char got[32];
    *put_i64(got, INT64_MIN) = 0;
    EXPECT_STREQ(got, "-9223372036854775808");
    *put_u32_zero(got, 42, 20) = 0;
    EXPECT_STREQ(got, "00000000000000000042");
}

// set_columnf formats straight into the column (display) or into a short buffer
// (layer index): both must keep what set_column does with the same text.
TEST(TextFormat, FormattedColumnsMatchPlainColumns) {
    const size_t lengths[] = {0, 1, 29, 30, 31, 62, 63, 64, 65, 506, 507, 510, 511, 512, 513, 1023, 1024, 2000};
    for (size_t n : lengths) {
        std::string body(n > 6 ? n - 6 : 0, 'q');
        char want[4096];
        std::snprintf(want, sizeof want, "%.*s%06u", int(n > 6 ? n - 6 : 0), body.c_str(), 42u);
        for (int mode : {MODE_DISPLAY, MODE_LAYER_INDEX}) {
            DecodeContext plain, formatted;
            FrameLayerIndex plain_ix, formatted_ix;
            plain.mode = formatted.mode = mode;
            plain.layer_index = &plain_ix;
            formatted.layer_index = &formatted_ix;
            make_current(&plain);
            set_column(want, 4, nullptr, P_UDP);
            make_current(&formatted);
            set_columnf(4, nullptr, P_UDP, "%s%06u", body.c_str(), 42u);
            make_current(nullptr);
            EXPECT_STREQ(formatted.columns[4], plain.columns[4]) << n;
            EXPECT_EQ(formatted_ix.count, plain_ix.count) << n;
            EXPECT_STREQ(formatted_ix.label, plain_ix.label) << n;
        }
    }
}

// ---- indexed name lookups ----

namespace {

// Keys close together: the dense index.
constexpr NameEntry near_keys[] = {{5, "five"},   {7, "seven"},      {5, "second five"}, {0, "zero"},
                                   {9, "nine"},   {7, "second seven"}, {0, nullptr}};
// Keys spread over 32 bits: the hashed index.
constexpr NameEntry far_keys[] = {{0xFFFFFFFF, "top"},      {1, "one"},          {0x80000000, "half"},
                                  {0x12345678, "mixed"},    {1, "second one"},   {0xFFFFFFFF, "second top"},
                                  {70000, "seventy thousand"}, {0, nullptr}};
constexpr NameEntry no_rows[] = {{0, nullptr}};

const char* scan(uint32_t value, const NameEntry* table) {
    for (const NameEntry* e = table; e->name; ++e)
        if (e->key == value) return e->name;
    return nullptr;
}

}  // namespace

TEST(LookupName, FirstRowWinsAndAbsentKeysAreNull) {
    struct Case {
        const NameEntry* table;
        uint32_t value;
        const char* want;
    };
    const Case cases[] = {
        {near_keys, 5, "five"},       {near_keys, 7, "seven"},   {near_keys, 0, "zero"},
        {near_keys, 9, "nine"},       {near_keys, 6, nullptr},   {near_keys, 10, nullptr},
        {near_keys, 0xFFFFFFFF, nullptr},
        {far_keys, 0xFFFFFFFF, "top"}, {far_keys, 1, "one"},      {far_keys, 0x80000000, "half"},
        {far_keys, 0x12345678, "mixed"}, {far_keys, 70000, "seventy thousand"},
        {far_keys, 0, nullptr},        {far_keys, 2, nullptr},    {far_keys, 0xFFFFFFFE, nullptr},
        {no_rows, 0, nullptr},         {nullptr, 1, nullptr},
    };
    for (const Case& c : cases) {
        const char* got = lookup_name(c.value, c.table);
        if (c.want) EXPECT_STREQ(got, c.want) << c.value;
        else EXPECT_EQ(got, nullptr) << c.value;
    }
    // Every key of a real table, and the keys around them, as the plain scan finds them.
    for (uint32_t v = 0; v < 40; ++v) EXPECT_EQ(lookup_name(v, hardware_types), scan(v, hardware_types)) << v;
}

TEST(LookupName, ATableRebuiltAtTheSameAddressIsNotMistaken) {
    // Two different tables built in turn in the same stack space.
    for (int round = 0; round < 2; ++round) {
        NameEntry local[3] = {{uint32_t(round + 1), round ? "b" : "a"}, {100, "hundred"}, {0, nullptr}};
        EXPECT_STREQ(lookup_name(uint32_t(round + 1), local), round ? "b" : "a");
        EXPECT_EQ(lookup_name(uint32_t(2 - round), local), nullptr);
    }
}

// Looked up by no other test, so the threads below build their indexes at once.
constexpr NameEntry thread_near[] = {{3, "c"}, {1, "a"}, {2, "b"}, {1, "second a"}, {0, nullptr}};
constexpr NameEntry thread_far[] = {{0xC0000000, "high"}, {17, "low"}, {0x00FF0000, "middle"}, {0, nullptr}};

TEST(LookupName, ThreadsAtOnceAgreeWithOneThread) {
    const uint8_t address[16] = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    auto work = [&](std::string& out) {
        char line[160];
        for (int i = 0; i < 3000; ++i) {
            uint32_t v = uint32_t(i * 2654435761u);
            const char* a = lookup_name(v % 5, thread_near);
            const char* b = lookup_name(i % 2 ? v : i % 4 ? 17u : 0xC0000000u, thread_far);
            const char* c = lookup_name(v % 12, near_keys);
            format_textf(line, sizeof line, "%s|%s|%s|%s|%08X|%d|%s", a ? a : "-", b ? b : "-", c ? c : "-",
                         value_name(v % 30, hardware_types, 2, 1), v, int(v), ipv6_text(address));
            out += line;
            out += '\n';
        }
    };
    std::vector<std::string> outs(4);
    std::vector<std::thread> threads;
    for (auto& o : outs) threads.emplace_back(work, std::ref(o));
    for (auto& t : threads) t.join();
    std::string alone;
    work(alone);
    EXPECT_STREQ(lookup_name(1, thread_near), "a");  // the first row of the key
    EXPECT_STREQ(lookup_name(17, thread_far), "low");
    for (const auto& o : outs) EXPECT_EQ(o, alone);
}
