// The decoders format millions of short lines per pass; vsnprintf's generic
// machinery (locale, stream setup, wide characters) dominated the summary pass.
// This interprets the plain integer and text forms directly and hands every other
// form to vsnprintf, restarting from the beginning so the bytes never differ.
#include "decode/text_format.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace zelpan {

namespace {

const char DIGIT_PAIRS[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";
const char HEX_UPPER[] = "0123456789ABCDEF";
const char HEX_LOWER[] = "0123456789abcdef";

// Writes v in decimal ending just before end; returns the first digit.
char* decimal_backwards(char* end, uint64_t v) {
    char* p = end;
    while (v >= 100) {
        unsigned k = unsigned(v % 100) * 2;
        v /= 100;
        *--p = DIGIT_PAIRS[k + 1];
        *--p = DIGIT_PAIRS[k];
    }
    if (v >= 10) {
        unsigned k = unsigned(v) * 2;
        *--p = DIGIT_PAIRS[k + 1];
        *--p = DIGIT_PAIRS[k];
    } else {
        *--p = char('0' + v);
    }
    return p;
}

char* decimal_backwards32(char* end, uint32_t v) {
    char* p = end;
    while (v >= 100) {
        unsigned k = (v % 100) * 2;
        v /= 100;
        *--p = DIGIT_PAIRS[k + 1];
        *--p = DIGIT_PAIRS[k];
    }
    if (v >= 10) {
        unsigned k = v * 2;
        *--p = DIGIT_PAIRS[k + 1];
        *--p = DIGIT_PAIRS[k];
    } else {
        *--p = char('0' + v);
    }
    return p;
}

// Output with vsnprintf's truncation: counts everything, stores what fits.
struct Sink {
    char* out;
    size_t room;  // characters that may be stored (size - 1, or 0)
    size_t len = 0;

    void put(const char* s, size_t n) {
        if (len < room) {
            size_t k = room - len < n ? room - len : n;
            std::memcpy(out + len, s, k);
        }
        len += n;
    }
    void put1(char c) {
        if (len < room) out[len] = c;
        ++len;
    }
    void fill(char c, size_t n) {
        if (len < room) {
            size_t k = room - len < n ? room - len : n;
            std::memset(out + len, c, k);
        }
        len += n;
    }
};

struct Spec {
    bool minus = false, plus = false, space = false, hash = false, zero = false;
    int width = 0;
    int precision = -1;  // none
};

// Each field stays far below this, so a total never wraps; larger ones go to vsnprintf.
constexpr int FIELD_LIMIT = 1 << 24;

void pad_around(Sink& s, const Spec& spec, const char* text, size_t n) {
    size_t w = size_t(spec.width);
    if (w <= n) {
        s.put(text, n);
    } else if (spec.minus) {
        s.put(text, n);
        s.fill(' ', w - n);
    } else {
        s.fill(' ', w - n);
        s.put(text, n);
    }
}

void put_integer(Sink& s, const Spec& spec, char conversion, uint64_t magnitude, bool negative) {
    char buf[24];
    char* end = buf + sizeof buf;
    char* digits = end;
    if (!(spec.precision == 0 && magnitude == 0)) {
        switch (conversion) {
        case 'x':
        case 'X': {
            const char* set = conversion == 'x' ? HEX_LOWER : HEX_UPPER;
            do {
                *--digits = set[magnitude & 15];
                magnitude >>= 4;
            } while (magnitude);
            break;
        }
        case 'o':
            do {
                *--digits = char('0' + (magnitude & 7));
                magnitude >>= 3;
            } while (magnitude);
            break;
        default: digits = decimal_backwards(end, magnitude); break;
        }
    }
    size_t nd = size_t(end - digits);
    char prefix[2];
    size_t np = 0;
    if (conversion == 'd' || conversion == 'i') {
        if (negative) prefix[np++] = '-';
        else if (spec.plus) prefix[np++] = '+';
        else if (spec.space) prefix[np++] = ' ';
    } else if (spec.hash && (conversion == 'x' || conversion == 'X') && nd > 0 && *digits != '0') {
        prefix[np++] = '0';
        prefix[np++] = conversion;
    }
    size_t zeros = spec.precision > 0 && size_t(spec.precision) > nd ? size_t(spec.precision) - nd : 0;
    // "#o" shows a leading 0 unless the digits already begin with one.
    if (conversion == 'o' && spec.hash && zeros == 0 && (nd == 0 || *digits != '0')) zeros = 1;
    size_t body = np + zeros + nd;
    size_t pad = size_t(spec.width) > body ? size_t(spec.width) - body : 0;
    if (pad && !spec.minus) {
        if (spec.zero && spec.precision < 0) zeros += pad;
        else s.fill(' ', pad);
        pad = 0;
    }
    s.put(prefix, np);
    s.fill('0', zeros);
    s.put(digits, nd);
    s.fill(' ', pad);
}

enum Length { L_NONE, L_HH, L_H, L_L, L_LL, L_Z, L_J, L_T };

// -1: a form left to vsnprintf.
long long format_fast(char* out, size_t size, const char* f, va_list ap) {
    Sink s{out, size ? size - 1 : 0};
    for (;;) {
        const char* pct = std::strchr(f, '%');
        if (!pct) {
            s.put(f, std::strlen(f));
            break;
        }
        s.put(f, size_t(pct - f));
        const char* p = pct + 1;
        if (*p == '%') {
            s.put1('%');
            f = p + 1;
            continue;
        }
        Spec spec;
        for (;; ++p) {
            char c = *p;
            if (c == '-') spec.minus = true;
            else if (c == '+') spec.plus = true;
            else if (c == ' ') spec.space = true;
            else if (c == '#') spec.hash = true;
            else if (c == '0') spec.zero = true;
            else break;
        }
        if (*p == '*') {
            ++p;
            if (*p >= '0' && *p <= '9') return -1;  // "*m$"
            int w = va_arg(ap, int);
            if (w < 0) {
                if (w == INT_MIN) return -1;
                spec.minus = true;
                w = -w;
            }
            if (w > FIELD_LIMIT) return -1;
            spec.width = w;
        } else {
            int w = 0;
            while (*p >= '0' && *p <= '9') {
                w = w * 10 + (*p++ - '0');
                if (w > FIELD_LIMIT) return -1;
            }
            if (*p == '$') return -1;  // positional arguments
            spec.width = w;
        }
        if (*p == '.') {
            ++p;
            if (*p == '*') {
                ++p;
                if (*p >= '0' && *p <= '9') return -1;
                int q = va_arg(ap, int);
                if (q > FIELD_LIMIT) return -1;
                spec.precision = q < 0 ? -1 : q;
            } else {
                int q = 0;
                while (*p >= '0' && *p <= '9') {
                    q = q * 10 + (*p++ - '0');
                    if (q > FIELD_LIMIT) return -1;
                }
                spec.precision = q;
            }
        }
        Length length = L_NONE;
        switch (*p) {
        case 'h':
            ++p;
            if (*p == 'h') {
                ++p;
                length = L_HH;
            } else {
                length = L_H;
            }
            break;
        case 'l':
            ++p;
            if (*p == 'l') {
                ++p;
                length = L_LL;
            } else {
                length = L_L;
            }
            break;
        case 'z': ++p; length = L_Z; break;
        case 'j': ++p; length = L_J; break;
        case 't': ++p; length = L_T; break;
        default: break;
        }
        char conversion = *p;
        switch (conversion) {
        case 'd':
        case 'i': {
            long long v;
            switch (length) {
            case L_NONE: v = va_arg(ap, int); break;
            case L_HH: v = static_cast<signed char>(va_arg(ap, int)); break;
            case L_H: v = static_cast<short>(va_arg(ap, int)); break;
            case L_L: v = va_arg(ap, long); break;
            case L_LL: v = va_arg(ap, long long); break;
            case L_Z: v = static_cast<long long>(va_arg(ap, size_t)); break;
            case L_J: v = static_cast<long long>(va_arg(ap, intmax_t)); break;
            default: v = static_cast<long long>(va_arg(ap, ptrdiff_t)); break;
            }
            uint64_t magnitude = v < 0 ? uint64_t(0) - uint64_t(v) : uint64_t(v);
            put_integer(s, spec, conversion, magnitude, v < 0);
            break;
        }
        case 'u':
        case 'x':
        case 'X':
        case 'o': {
            uint64_t v;
            switch (length) {
            case L_NONE: v = va_arg(ap, unsigned); break;
            case L_HH: v = static_cast<unsigned char>(va_arg(ap, unsigned)); break;
            case L_H: v = static_cast<unsigned short>(va_arg(ap, unsigned)); break;
            case L_L: v = va_arg(ap, unsigned long); break;
            case L_LL: v = va_arg(ap, unsigned long long); break;
            case L_Z: v = va_arg(ap, size_t); break;
            case L_J: v = static_cast<uint64_t>(va_arg(ap, uintmax_t)); break;
            default: v = static_cast<uint64_t>(va_arg(ap, ptrdiff_t)); break;
            }
            put_integer(s, spec, conversion, v, false);
            break;
        }
        case 'c': {
            if (length != L_NONE) return -1;  // wide character
            char c = char(static_cast<unsigned char>(va_arg(ap, int)));
            pad_around(s, spec, &c, 1);
            break;
        }
        case 's': {
            if (length != L_NONE) return -1;  // wide text
            const char* text = va_arg(ap, const char*);
            size_t n;
            if (!text) {
                // As glibc: "(null)" only where the precision leaves room for all of it.
                text = spec.precision < 0 || spec.precision >= 6 ? "(null)" : "";
                n = std::strlen(text);
            } else if (spec.precision >= 0) {
                n = strnlen(text, size_t(spec.precision));
            } else {
                n = std::strlen(text);
            }
            pad_around(s, spec, text, n);
            break;
        }
        case 'p': {
            if (length != L_NONE || spec.precision >= 0 || spec.plus || spec.space || spec.hash || spec.zero)
                return -1;
            const void* v = va_arg(ap, const void*);
            char buf[24];
            char* end = buf + sizeof buf;
            char* q = end;
            if (!v) {
                q -= 5;
                std::memcpy(q, "(nil)", 5);
            } else {
                uintptr_t u = reinterpret_cast<uintptr_t>(v);
                do {
                    *--q = HEX_LOWER[u & 15];
                    u >>= 4;
                } while (u);
                *--q = 'x';
                *--q = '0';
            }
            pad_around(s, spec, q, size_t(end - q));
            break;
        }
        default: return -1;  // floating point, %n, %m, %%-with-flags, unknown, end of text
        }
        f = p + 1;
    }
    if (s.len > size_t(INT_MAX)) return -1;  // vsnprintf's overflow error
    if (size) out[s.len < s.room ? s.len : s.room] = 0;
    return (long long)s.len;
}

}  // namespace

int format_text(char* out, size_t size, const char* format, va_list ap) {
    va_list start;
    va_copy(start, ap);
    long long n = format_fast(out, size, format, ap);
    if (n < 0) n = std::vsnprintf(out, size, format, start);
    va_end(start);
    return int(n);
}

int format_textf(char* out, size_t size, const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    int n = format_text(out, size, format, ap);
    va_end(ap);
    return n;
}

char* put_u32(char* p, uint32_t v) {
    char buf[12];
    char* end = buf + sizeof buf;
    char* d = decimal_backwards32(end, v);
    size_t n = size_t(end - d);
    std::memcpy(p, d, n);
    return p + n;
}

char* put_u64(char* p, uint64_t v) {
    char buf[24];
    char* end = buf + sizeof buf;
    char* d = decimal_backwards(end, v);
    size_t n = size_t(end - d);
    std::memcpy(p, d, n);
    return p + n;
}

char* put_i64(char* p, int64_t v) {
    if (v < 0) {
        *p++ = '-';
        return put_u64(p, uint64_t(0) - uint64_t(v));
    }
    return put_u64(p, uint64_t(v));
}

char* put_u32_zero(char* p, uint32_t v, int width) {
    char buf[24];
    char* end = buf + sizeof buf;
    char* d = decimal_backwards32(end, v);
    if (width > 20) width = 20;
    while (end - d < width) *--d = '0';
    size_t n = size_t(end - d);
    std::memcpy(p, d, n);
    return p + n;
}

char* put_hex(char* p, uint64_t v, int width, bool upper) {
    const char* set = upper ? HEX_UPPER : HEX_LOWER;
    char buf[16];
    char* end = buf + sizeof buf;
    char* d = end;
    do {
        *--d = set[v & 15];
        v >>= 4;
    } while (v);
    if (width > 16) width = 16;
    while (end - d < width) *--d = '0';
    size_t n = size_t(end - d);
    std::memcpy(p, d, n);
    return p + n;
}

char* put_text(char* p, const char* text) {
    if (!text) return p;
    size_t n = std::strlen(text);
    std::memcpy(p, text, n);
    return p + n;
}

}  // namespace zelpan
