// Shared text forms of the decoders. Every result lives in a thread-local buffer
// of the operation that made it; nothing here allocates.
#include "decode/format.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "decode/engine.h"
#include "decode/text_format.h"

namespace zelpan {

namespace {

// Three buffers used in turn, so three results of one operation fit in one line.
template <size_t N>
struct Ring {
    char buf[3][N];
    int next;
    char* take() {
        next = next == 2 ? 0 : next + 1;
        return buf[next];
    }
};

constexpr int TEXT_SIZE = 512;  // byte texts: 384 characters, "..." and the end
constexpr int CUT_AT = 384;

const char HEX[] = "0123456789ABCDEF";

bool leap_year(unsigned y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// "hh:mm:ss.mmmuuu"; the text is at most 19 characters (a stray microsecond
// count above a second widens the millisecond part). Returns the end (a NUL).
char* format_time_of_day(char* out, uint32_t seconds, uint32_t microseconds) {
    unsigned h = (seconds / 3600) % 24;
    if (seconds >= 86400) h += 9;  // real dates are shown in Japan time
    if (h >= 24) h -= 24;
    char* p = put_u32_zero(out, h, 2);
    *p++ = ':';
    p = put_u32_zero(p, (seconds / 60) % 60, 2);
    *p++ = ':';
    p = put_u32_zero(p, seconds % 60, 2);
    *p++ = '.';
    p = put_u32_zero(p, microseconds / 1000, 3);
    p = put_u32_zero(p, microseconds % 1000, 3);
    *p = 0;
    return p;
}

// A dotted quad, at most 15 characters; returns the end (no NUL).
char* put_ipv4(char* p, const uint8_t* four) {
    for (int i = 0; i < 4; ++i) {
        if (i) *p++ = '.';
        p = put_u32(p, four[i]);
    }
    return p;
}

void format_bits(char* out, uint32_t value, int width, int first, int count) {
    int k = 0;
    for (int i = 0; i < width; ++i) {
        if (i > 0 && i % 4 == 0) out[k++] = ' ';
        bool shown = i >= first && i - first < count;
        out[k++] = shown ? char('0' + ((value >> (width - 1 - i)) & 1)) : '*';
    }
    out[k] = 0;
}

const char* flag_text(uint32_t value, int width, int position, const char* on, const char* off) {
    static thread_local Ring<TEXT_SIZE> ring;
    char* out = ring.take();
    char bits[32];
    format_bits(bits, value, width, position, 1);
    bool set = position >= 0 && position < width && ((value >> (width - 1 - position)) & 1);
    const char* text = set ? on : off;
    if (!text) text = "";
    size_t n = std::strlen(text);
    if (n > TEXT_SIZE - 40) {  // long enough to be cut
        format_textf(out, TEXT_SIZE, "%s : %s", bits, text);
        return out;
    }
    char* p = put_text(out, bits);
    std::memcpy(p, " : ", 3);
    std::memcpy(p + 3, text, n + 1);
    return out;
}

// The scanners only look at frame bytes: [lo, hi) must lie within the current frame.
bool in_frame(const uint8_t* data, long long from, long long to) {
    const DecodeContext* c = current_context();
    if (!c || !c->bytes || c->captured_length <= 0 || !data || from < 0 || to < from) return false;
    uintptr_t begin = uintptr_t(c->bytes);
    uintptr_t end = begin + uintptr_t(c->captured_length);
    uintptr_t lo = uintptr_t(data) + uintptr_t(from);
    uintptr_t hi = uintptr_t(data) + uintptr_t(to);
    return lo >= begin && hi <= end && hi >= lo;
}

bool token_char(uint8_t b) { return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z'); }

// Length of a leading token of digits and capital letters that a blank follows, or -1.
int tag_length(const uint8_t* data, int n) {
    int i = 0;
    while (i < n && token_char(data[i])) ++i;
    if (i == 0 || i >= n || data[i] != ' ') return -1;
    return i;
}

// Line end within data[start, n), without the frame check.
int line_end(const uint8_t* data, int start, int n) {
    for (int i = start; i < n; ++i) {
        if (data[i] == '\n') return i;
        if (data[i] == '\r') return i + 1 < n && (data[i + 1] == '\n' || data[i + 1] == 0) ? i : -1;
    }
    return -1;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

}  // namespace

// ---- lookups ----

// Name tables are static arrays, so each gets an index once, found by its address:
// a dense array of rows over the key range when that is small, an open hash
// otherwise. Both keep only the first row of a key. Indexes live for the program;
// each thread finds them through its own cache, so lookups take no lock once warm.
namespace {

struct NameIndex {
    uint32_t first_key = 0;
    const char* first_name = nullptr;  // a different table at the same address is refused
    uint32_t base = 0;
    std::vector<uint32_t> dense;  // row + 1 for key base + i; 0 none
    std::vector<uint64_t> hashed;  // key << 32 | row + 1; 0 empty
    uint32_t mask = 0;
    int shift = 0;

    static uint32_t spot(uint32_t key, int shift) { return uint32_t((uint64_t(key) * 0x9E3779B97F4A7C15ull) >> shift); }

    const char* find(uint32_t value, const NameEntry* table) const {
        if (!dense.empty()) {
            uint32_t i = value - base;
            if (i >= dense.size() || !dense[i]) return nullptr;
            return table[dense[i] - 1].name;
        }
        if (hashed.empty()) return nullptr;
        for (uint32_t i = spot(value, shift);; i = (i + 1) & mask) {
            uint64_t e = hashed[i];
            if (!e) return nullptr;
            if (uint32_t(e >> 32) == value) return table[uint32_t(e) - 1].name;
        }
    }
};

std::unique_ptr<NameIndex> build_index(const NameEntry* table) {
    auto ix = std::make_unique<NameIndex>();
    uint32_t rows = 0, lo = UINT32_MAX, hi = 0;
    for (const NameEntry* e = table; e->name; ++e, ++rows) {
        if (e->key < lo) lo = e->key;
        if (e->key > hi) hi = e->key;
    }
    ix->first_key = table[0].key;
    ix->first_name = table[0].name;
    if (rows == 0) return ix;
    uint64_t span = uint64_t(hi) - lo + 1;
    if (span <= 256 || span <= uint64_t(rows) * 8) {
        ix->base = lo;
        ix->dense.assign(size_t(span), 0);
        for (uint32_t r = rows; r-- > 0;) ix->dense[table[r].key - lo] = r + 1;  // earlier rows overwrite
        return ix;
    }
    int bits = 3;
    while ((1u << bits) < rows * 2) ++bits;
    ix->shift = 64 - bits;
    ix->mask = (1u << bits) - 1;
    ix->hashed.assign(size_t(1) << bits, 0);
    for (uint32_t r = 0; r < rows; ++r) {
        uint32_t key = table[r].key;
        for (uint32_t i = NameIndex::spot(key, ix->shift);; i = (i + 1) & ix->mask) {
            uint64_t e = ix->hashed[i];
            if (!e) {
                ix->hashed[i] = uint64_t(key) << 32 | (r + 1);
                break;
            }
            if (uint32_t(e >> 32) == key) break;  // the first row keeps the key
        }
    }
    return ix;
}

struct IndexRegistry {
    std::mutex mutex;
    std::unordered_map<const NameEntry*, std::unique_ptr<NameIndex>> indexes;
};

const NameIndex* shared_index(const NameEntry* table) {
    // Never destroyed: threads may still look names up while the program ends.
    static IndexRegistry* registry = new IndexRegistry;
    std::lock_guard<std::mutex> lock(registry->mutex);
    auto& slot = registry->indexes[table];
    if (!slot) slot = build_index(table);
    return slot.get();
}

// Per-thread open table from table address to index; far larger than the number
// of name tables, it is emptied if it ever fills.
constexpr int CACHE_BITS = 9;
struct IndexCache {
    struct Slot {
        const NameEntry* table;
        const NameIndex* index;
    };
    Slot slots[1 << CACHE_BITS];
    int used;
};
thread_local IndexCache index_cache;

const NameIndex* index_for(const NameEntry* table) {
    IndexCache& c = index_cache;
    constexpr uint32_t mask = (1u << CACHE_BITS) - 1;
    uint32_t i = uint32_t((uint64_t(reinterpret_cast<uintptr_t>(table)) * 0x9E3779B97F4A7C15ull) >> (64 - CACHE_BITS));
    for (;; i = (i + 1) & mask) {
        if (c.slots[i].table == table) return c.slots[i].index;
        if (!c.slots[i].table) break;
    }
    const NameIndex* ix = shared_index(table);
    if (c.used >= (3 << CACHE_BITS) / 4) {
        std::memset(c.slots, 0, sizeof c.slots);
        c.used = 0;
        i = uint32_t((uint64_t(reinterpret_cast<uintptr_t>(table)) * 0x9E3779B97F4A7C15ull) >> (64 - CACHE_BITS));
        while (c.slots[i].table) i = (i + 1) & mask;
    }
    c.slots[i] = {table, ix};
    ++c.used;
    return ix;
}

}  // namespace

const char* lookup_name(uint32_t value, const NameEntry* table) {
    if (!table) return nullptr;
    const NameIndex* ix = index_for(table);
    if (ix->first_key == table[0].key && ix->first_name == table[0].name) return ix->find(value, table);
    // Not the table indexed at this address (one built on the stack, say): scan it.
    for (const NameEntry* e = table; e->name; ++e)
        if (e->key == value) return e->name;
    return nullptr;
}

const char* value_name(uint32_t value, const NameEntry* table, int width, int hex) {
    static thread_local Ring<TEXT_SIZE> ring;
    char* out = ring.take();
    const char* name = lookup_name(value, table);
    if (!name) name = "Unknown";
    size_t n = std::strlen(name);
    if (n > TEXT_SIZE - 24) {  // long enough to be cut
        const char* format = "%s(%u)";
        if (hex) {
            switch (width) {
            case 1: format = "%s(0x%02X)"; break;
            case 2: format = "%s(0x%04X)"; break;
            case 3: format = "%s(0x%06X)"; break;
            case 4: format = "%s(0x%08X)"; break;
            default: format = "%s(0x%X)"; break;
            }
        }
        format_textf(out, TEXT_SIZE, format, name, value);
        return out;
    }
    std::memcpy(out, name, n);
    char* p = out + n;
    *p++ = '(';
    if (hex) {
        *p++ = '0';
        *p++ = 'x';
        p = put_hex(p, value, width >= 1 && width <= 4 ? width * 2 : 0, true);
    } else {
        p = put_u32(p, value);
    }
    *p++ = ')';
    *p = 0;
    return out;
}

const NameEntry hardware_types[] = {
    {0, "NET/ROM pseudo"},
    {1, "Ethernet"},
    {2, "Experimental Ethernet"},
    {3, "AX.25"},
    {4, "ProNET"},
    {5, "Chaos"},
    {6, "IEEE 802"},
    {7, "ARCNET"},
    {8, "Hyperchannel"},
    {9, "Lanstar"},
    {10, "Autonet Short Address"},
    {11, "Localtalk"},
    {12, "LocalNet"},
    {13, "Ultra link"},
    {14, "SMDS"},
    {15, "Frame Relay DLCI"},
    {16, "ATM"},
    {17, "HDLC"},
    {18, "Fibre Channel"},
    {19, "ATM (RFC 2225)"},
    {20, "Serial Line"},
    {21, "ATM"},
    {22, "MIL-STD-188-220"},
    {23, "Metricom STRIP"},
    {24, "IEEE 1394.1995"},
    {25, "MAPOS"},
    {26, "Twinaxial"},
    {27, "EUI-64"},
    {0, nullptr},
};

const char* hardware_type_name(uint32_t type) { return value_name(type, hardware_types, 2, 1); }

// ---- addresses ----

const char* mac_text(const uint8_t* six) {
    static thread_local Ring<20> ring;
    char* out = ring.take();
    for (int i = 0; i < 6; ++i) {
        out[i * 3] = HEX[six[i] >> 4];
        out[i * 3 + 1] = HEX[six[i] & 15];
        out[i * 3 + 2] = i < 5 ? ':' : 0;
    }
    return out;
}

const char* ipv4_text(const uint8_t* four) {
    static thread_local Ring<16> ring;
    char* out = ring.take();
    *put_ipv4(out, four) = 0;
    return out;
}

const char* ipv6_text(const uint8_t* a) {
    static thread_local Ring<64> ring;
    char* out = ring.take();  // the longest form is 39 characters
    unsigned w[8];
    bool all_zero = true;
    for (int i = 0; i < 8; ++i) {
        w[i] = unsigned(a[2 * i] << 8 | a[2 * i + 1]);
        if (w[i]) all_zero = false;
    }
    if (all_zero) {
        std::memcpy(out, "::", 3);
        return out;
    }
    char* p = out;
    int k = 0;                // zero words just passed
    bool compressed = false;  // "::" may stand for one run only
    for (int i = 0; i < 8; ++i) {
        if (w[i] == 0) {
            ++k;
            continue;
        }
        if (k < 3 || compressed) {
            for (int z = 0; z < k; ++z) {
                *p++ = '0';
                *p++ = ':';
            }
            p = put_hex(p, w[i], 0, true);
        } else if (k == i && i == 4 && w[i] == 0xFFFF && w[5] == 0) {
            std::memcpy(out, "::FFFF:0:", 9);
            *put_ipv4(out + 9, a + 12) = 0;
            return out;
        } else if (k == i && i == 5 && w[i] == 0xFFFF) {
            std::memcpy(out, "::FFFF:", 7);
            *put_ipv4(out + 7, a + 12) = 0;
            return out;
        } else {
            // The preceding word already wrote its ":"; a run from word 0 needs both.
            if (k == i) *p++ = ':';
            *p++ = ':';
            p = put_hex(p, w[i], 0, true);
            compressed = true;
        }
        if (i <= 6) *p++ = ':';
        k = 0;
    }
    if (k >= 3 && !compressed) {
        *p++ = ':';
    } else {
        for (int z = 0; z < k; ++z) {
            if (z) *p++ = ':';
            *p++ = '0';
        }
    }
    *p = 0;
    return out;
}

const char* hardware_address_text(const uint8_t* bytes, int length, uint32_t type) {
    if (length <= 0 || !bytes) return "No address";
    if ((type == 1 || type == 6) && length == 6) return mac_text(bytes);
    return hex_text(bytes, length, ':');
}

// ---- times ----

const char* time_of_day_text(uint32_t seconds, uint32_t microseconds) {
    static thread_local char out[32];
    format_time_of_day(out, seconds, microseconds);
    return out;
}

const char* date_time_text(uint32_t seconds, uint32_t microseconds) {
    static thread_local char out[64];
    uint64_t s = seconds;
    if (s >= 86400) s += 32400;
    unsigned year = 0, month = 0, day = 0;
    if (s != 0) {
        if (s >= 978307200) {
            year = 2001;
            s -= 978307200;
        } else {
            year = 1970;
        }
        for (;;) {
            uint64_t span = (leap_year(year) ? 366u : 365u) * 86400ull;
            if (s < span) break;
            s -= span;
            ++year;
        }
        static const unsigned lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        month = 1;
        for (int m = 0; m < 11; ++m) {
            uint64_t span = (lengths[m] + (m == 1 && leap_year(year) ? 1u : 0u)) * 86400ull;
            if (s < span) break;
            s -= span;
            ++month;
        }
        day = unsigned(s / 86400) + 1;
    }
    char* p = put_u32_zero(out, year, 4);
    *p++ = '/';
    p = put_u32_zero(p, month, 2);
    *p++ = '/';
    p = put_u32_zero(p, day, 2);
    *p++ = ' ';
    format_time_of_day(p, seconds, microseconds);
    return out;
}

const char* duration_text(uint32_t seconds) {
    static thread_local char out[64];  // at most " 49710 day 23 hour 59 min 59 sec"
    char* p = out;
    auto part = [&p](uint32_t n, const char* unit) {
        *p++ = ' ';
        p = put_u32(p, n);
        p = put_text(p, unit);
    };
    if (seconds / 86400) part(seconds / 86400, " day");
    if ((seconds / 3600) % 24) part((seconds / 3600) % 24, " hour");
    if ((seconds / 60) % 60) part((seconds / 60) % 60, " min");
    if (seconds % 60) part(seconds % 60, " sec");
    if (seconds == 0) p = put_text(p, " 0 sec");
    *p = 0;
    return out;
}

const char* calendar_text(int64_t seconds, long nanoseconds) {
    static thread_local char out[96];
    static const char* const months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    time_t t = time_t(seconds);
    struct tm tm;
    if (int64_t(t) != seconds || !localtime_r(&t, &tm) || tm.tm_mon < 0 || tm.tm_mon > 11) {
        std::snprintf(out, sizeof out, "Not representable");
        return out;
    }
    std::snprintf(out, sizeof out, "%s %2d, %d %02d:%02d:%02d.%09ld", months[tm.tm_mon], tm.tm_mday,
                  tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec, nanoseconds);
    return out;
}

// ---- bit pictures ----

const char* bit_text8(uint32_t value, int first, int count) {
    static thread_local Ring<12> ring;
    char* out = ring.take();
    format_bits(out, value, 8, first, count);
    return out;
}

const char* bit_text16(uint32_t value, int first, int count) {
    static thread_local Ring<20> ring;
    char* out = ring.take();
    format_bits(out, value, 16, first, count);
    return out;
}

const char* bit_text24(uint32_t value, int first, int count) {
    static thread_local Ring<32> ring;
    char* out = ring.take();
    format_bits(out, value, 24, first, count);
    return out;
}

const char* flag_text8(uint32_t value, int position, const char* on, const char* off) {
    return flag_text(value, 8, position, on, off);
}

const char* flag_text16(uint32_t value, int position, const char* on, const char* off) {
    return flag_text(value, 16, position, on, off);
}

// ---- byte texts ----

const char* hex_text(const uint8_t* bytes, int n, char separator) {
    static thread_local Ring<TEXT_SIZE> ring;
    char* out = ring.take();
    int k = 0;
    for (int i = 0; bytes && i < n; ++i) {
        if (k >= CUT_AT) {
            std::memcpy(out + k, "...", 3);
            k += 3;
            break;
        }
        out[k++] = HEX[bytes[i] >> 4];
        out[k++] = HEX[bytes[i] & 15];
        if (separator && i + 1 < n) out[k++] = separator;
    }
    out[k] = 0;
    return out;
}

const char* printable_text(const uint8_t* bytes, int n) {
    static thread_local Ring<TEXT_SIZE> ring;
    char* out = ring.take();
    int k = 0;
    for (int i = 0; bytes && i < n; ++i) {
        if (bytes[i] < 0x20 || bytes[i] > 0x7E) break;
        if (k >= CUT_AT) {
            std::memcpy(out + k, "...", 3);
            k += 3;
            break;
        }
        out[k++] = char(bytes[i]);
    }
    out[k] = 0;
    return out;
}

const char* escaped_text(const uint8_t* bytes, int n) {
    static thread_local Ring<TEXT_SIZE> ring;
    char* out = ring.take();
    int k = 0;
    for (int i = 0; bytes && i < n; ++i) {
        if (k >= CUT_AT) {
            std::memcpy(out + k, "...", 3);
            k += 3;
            break;
        }
        uint8_t b = bytes[i];
        if (b >= 0x20 && b <= 0x7E) {
            out[k++] = char(b);
        } else {
            out[k++] = '\\';
            out[k++] = char('0' + (b >> 6));
            out[k++] = char('0' + ((b >> 3) & 7));
            out[k++] = char('0' + (b & 7));
        }
    }
    out[k] = 0;
    return out;
}

const char* line_end_text(const uint8_t* bytes, int position, int remaining) {
    if (!bytes || remaining <= 0) return "";
    const uint8_t* p = bytes + position;
    if (remaining >= 2 && p[0] == '\r') {
        if (p[1] == '\n') return "\\r\\n";
        if (p[1] == 0) return "\\r  ";
    }
    if (p[0] == '\n') return "\\n";
    if (p[0] == ' ') return "  ";
    return "";
}

void copy_text(const uint8_t* source, int position, int n, char* target) {
    if (!target) return;
    if (!source || n <= 0) {
        target[0] = 0;
        return;
    }
    if (n > CUT_AT) {
        std::memcpy(target, source + position, CUT_AT);
        std::memcpy(target + CUT_AT, "...", 4);
        return;
    }
    std::memcpy(target, source + position, size_t(n));
    target[n] = 0;
}

int hex_digits_to_bytes(const char* text, bool separated, uint8_t* out, int out_size) {
    if (!text || !out) return 0;
    int limit = out_size < 509 ? out_size : 509;
    int count = 0;
    const char* p = text;
    while (count < limit && p[0] && p[1]) {
        out[count++] = uint8_t(hex_value(p[0]) << 4 | hex_value(p[1]));
        if (separated) {
            if (!p[2]) break;  // never step over the end of the text
            p += 3;
        } else {
            p += 2;
        }
    }
    return count;
}

const char* oid_text(const unsigned long* arcs, int n) {
    static thread_local Ring<TEXT_SIZE> ring;
    char* out = ring.take();
    int pos = 0;
    out[0] = 0;
    for (int i = 0; arcs && i < n; ++i) {
        char arc[32];
        char* e = arc;
        if (i) *e++ = '.';
        e = put_u64(e, arcs[i]);
        *e = 0;
        int len = int(e - arc);
        // Keep room for the "..." that marks a cut.
        if (pos + len > TEXT_SIZE - 4) {
            std::memcpy(out + pos, "...", 4);
            break;
        }
        std::memcpy(out + pos, arc, size_t(len) + 1);
        pos += len;
    }
    return out;
}

const char* hex64_text(const uint8_t* eight) {
    static thread_local Ring<24> ring;
    char* out = ring.take();
    out[0] = '0';
    out[1] = 'x';
    for (int i = 0; i < 8; ++i) {
        out[2 + 2 * i] = HEX[eight[i] >> 4];
        out[3 + 2 * i] = HEX[eight[i] & 15];
    }
    out[18] = 0;
    return out;
}

// ---- byte readers ----

uint16_t be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
uint32_t be24(const uint8_t* p) { return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]; }
uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
uint16_t swap16(uint16_t v) { return uint16_t(v << 8 | v >> 8); }

long read_be(const uint8_t* p, int count) {
    if (count < 1 || count > 4 || !p) return -1;
    long v = 0;
    for (int i = 0; i < count; ++i) v = v << 8 | p[i];
    return v;
}

int32_t ieee_float_to_int(uint32_t bits) {
    bool negative = bits >> 31;
    int exponent = int((bits >> 23) & 0xFF);
    uint32_t mantissa = bits & 0x7FFFFF;
    if (exponent == 255) return negative ? INT32_MIN : INT32_MAX;  // infinity, NaN
    if (exponent < 127) return 0;                                  // zero and |x| < 1
    int e = exponent - 127;
    // 2^31 and more do not fit: the nearest value is the limit.
    if (e >= 31) return negative ? INT32_MIN : INT32_MAX;
    uint32_t m = mantissa | 0x800000;
    uint32_t magnitude = e >= 23 ? m << (e - 23) : m >> (23 - e);
    return negative ? -int32_t(magnitude) : int32_t(magnitude);
}

// ---- bounded text scanners ----

int find_line_end(const uint8_t* data, int start, int n) {
    if (start < 0 || start >= n || !in_frame(data, start, n)) return -1;
    return line_end(data, start, n);
}

int status_line_test(const uint8_t* data, int n) {
    if (n <= 0 || !in_frame(data, 0, n)) return -1;
    int t = tag_length(data, n);
    if (t < 0) return -1;
    return line_end(data, t + 1, n);
}

int tagged_response_test(const uint8_t* data, int n) {
    if (n <= 0 || !in_frame(data, 0, n)) return -1;
    int t = tag_length(data, n);
    if (t < 0) return -1;
    int i = t + 1;  // after the blank
    if (n - i >= 3) {
        if ((data[i] == 'O' && data[i + 1] == 'K' && data[i + 2] == ' ') ||
            (data[i] == 'N' && data[i + 1] == 'O' && data[i + 2] == ' '))
            return i + 2;
        if (data[i] == 'B' && data[i + 1] == 'A' && data[i + 2] == 'D') return i + 3;
    }
    return -1;
}

int digits_test(int start, const uint8_t* data, int n, int limit) {
    if (start < 0 || n < 0 || (long long)start + n > limit) return -1;
    if (!in_frame(data, start, (long long)start + n)) return -1;
    for (int i = start; i < start + n; ++i)
        if (data[i] < '0' || data[i] > '9') return -1;
    return n;
}

int find_byte(const uint8_t* data, int start, int n, uint8_t byte) {
    if (start < 0 || start >= n || !in_frame(data, start, n)) return -1;
    const void* hit = std::memchr(data + start, byte, size_t(n - start));
    return hit ? int(static_cast<const uint8_t*>(hit) - data) : -1;
}

int compare_nocase(const uint8_t* a, const char* b, int n) {
    if (n < 0 || !b || !in_frame(a, 0, n)) return -1;
    for (int i = 0; i < n; ++i) {
        if (!b[i]) return -1;  // the text is shorter than n
        uint8_t x = a[i], y = uint8_t(b[i]);
        if (x >= 'a' && x <= 'z') x = uint8_t(x - 32);
        if (y >= 'a' && y <= 'z') y = uint8_t(y - 32);
        if (x != y) return -1;
    }
    return 0;
}

int signed_number_test(const char* text) {
    if (!text || !*text) return 0;
    const char* p = text;
    if (*p == '+' || *p == '-') ++p;
    if (!*p) return 0;  // a sign alone is no number
    for (; *p; ++p)
        if (*p < '0' || *p > '9') return 0;
    return 1;
}

// ---- free formatting ----

const char* textf(const char* format, ...) {
    static thread_local Ring<TEXT_SIZE> ring;
    char* out = ring.take();
    va_list ap;
    va_start(ap, format);
    int n = format_text(out, TEXT_SIZE, format, ap);
    va_end(ap);
    if (n < 0) out[0] = 0;
    return out;
}

}  // namespace zelpan
