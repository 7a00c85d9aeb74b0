#include "condition/condition.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zelpan {

namespace {

// Walk state bits. The bracket part (lowest five bits) steps through 1, 3, 7, 15, 31.
constexpr uint32_t S_NAME = 0x1, S_OPEN = 0x2, S_OFFSET = 0x4, S_COLON = 0x8, S_LENGTH = 0x10;
constexpr uint32_t S_BIT_OPERATOR = 0x20, S_BIT_VALUE = 0x40, S_RELATION = 0x80, S_VALUE = 0x100;

// Tried in this order, so ">=" wins over ">".
constexpr const char* kOperators[] = {">=", "<=", "=>", "=<", "==", "!=", ">", "<"};

struct ErrorRow {
    uint32_t bit;
    const char* text;
};
constexpr ErrorRow kErrors[17] = {
    {0x1, "文字数が多すぎます(255ﾊﾞｲﾄ以上)。"},
    {0x2, "識別子'['の出現位置が不正です。"},
    {0x4, "識別子':'の出現位置が不正です。"},
    {0x8, "識別子']'の出現位置が不正です。"},
    {0x10, "ﾋﾞｯﾄ演算子の出現位置が不正です。"},
    {0x20, "関係演算子の書式が不正です。"},
    {0x40, "関係演算子の出現位置が不正です。"},
    {0x80, "ﾌﾟﾛﾄｺﾙ名が不正です。"},
    {0x100, "ｵﾌｾｯﾄ値が不正です。"},
    {0x200, "ｻｲｽﾞ値が不正です。"},
    {0x400, "ﾋﾞｯﾄ演算値が不正です。"},
    {0x800, "関係演算値が不正です。"},
    {0x1000, "値の出現位置が不正です。"},
    {0x2000, "ﾋﾞｯﾄ演算値のﾊﾞｲﾄ数が大きすぎます。"},
    {0x4000, "関係演算値のﾊﾞｲﾄ数が大きすぎます。"},
    {0x8000, "関係演算値のﾊﾞｲﾄ数が大きすぎます。"},
    {0x10000, "ｻｲｽﾞ値は１から４ﾊﾞｲﾄまでです。"},
};

// Offset and length numbers: at most 124 digits; values: at most 252 characters.
constexpr size_t MAX_FIELD_DIGITS = 124;
constexpr size_t MAX_VALUE_CHARS = 252;
constexpr size_t MAX_STRING_CHARS = 125;

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
int hex_value(char c) {
    if (is_digit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

bool name_may_end_with(char c) { return c == 0 || (c != 0 && std::strchr(" !&<=>[|", c) != nullptr); }

struct Number {
    size_t span = 0;    // characters of the whole number, 0 when none stands here
    size_t digits = 0;  // digits after "0x", or all decimal digits
    bool hex = false;
};

Number scan_number(const char* p) {
    Number n;
    if (p[0] == '0' && p[1] == 'x') {
        size_t d = 0;
        while (is_hex(p[2 + d])) ++d;
        if (d == 0) return n;  // "0x" without digits is no number
        n.hex = true;
        n.digits = d;
        n.span = 2 + d;
        return n;
    }
    size_t d = 0;
    while (is_digit(p[d])) ++d;
    n.digits = d;
    n.span = d;
    return n;
}

// A decimal text as little-endian bytes, exactly (values of any length).
int decimal_to_bytes(const char* text, size_t n, uint8_t* out, int out_size) {
    int used = 0;
    for (size_t i = 0; i < n; ++i) {
        unsigned carry = unsigned(text[i] - '0');
        for (int k = 0; k < used; ++k) {
            unsigned v = out[k] * 10u + carry;
            out[k] = uint8_t(v);
            carry = v >> 8;
        }
        while (carry && used < out_size) {
            out[used++] = uint8_t(carry);
            carry >>= 8;
        }
    }
    return used;
}

// Bytes a number text needs: hexadecimal digits / 2 rounded up; decimal the bytes of its value.
int32_t number_bytes(const char* text) {
    if (text[0] == '0' && text[1] == 'x') return int32_t((std::strlen(text + 2) + 1) / 2);
    uint8_t le[FIELD_SIZE] = {};
    int used = decimal_to_bytes(text, std::strlen(text), le, FIELD_SIZE);
    while (used > 0 && le[used - 1] == 0) --used;
    return used == 0 ? 1 : used;
}

// Offset and length texts to integers: "0x" with at most 8 digits, decimal with at
// most 9 characters; anything longer is -1.
int32_t field_number(const char* text) {
    if (!text[0]) return 0;
    if (text[0] == '0' && text[1] == 'x') {
        if (std::strlen(text + 2) > 8) return -1;
        return int32_t(uint32_t(std::strtoul(text + 2, nullptr, 16)));
    }
    if (std::strlen(text) > 9) return -1;
    return int32_t(std::strtol(text, nullptr, 10));
}

// Writes a number text right-aligned, big-endian, into the last bytes of out[0..length).
void fill_bytes(const char* text, int32_t length, uint8_t* out) {
    if (length <= 0 || length > FIELD_SIZE || !text[0]) return;
    if (text[0] == '0' && text[1] == 'x') {
        const char* digits = text + 2;
        int d = int(std::strlen(digits));
        int pos = length - 1;
        for (int k = d; k > 0 && pos >= 0; k -= 2, --pos) {
            int lo = hex_value(digits[k - 1]);
            int hi = k >= 2 ? hex_value(digits[k - 2]) : 0;
            out[pos] = uint8_t(hi << 4 | lo);
        }
        return;
    }
    uint8_t le[FIELD_SIZE] = {};
    int used = decimal_to_bytes(text, std::strlen(text), le, FIELD_SIZE);
    for (int k = 0; k < used && k < length; ++k) out[length - 1 - k] = le[k];
}

void copy_text(char* dst, size_t dst_size, const char* src, size_t n) {
    if (n >= dst_size) n = dst_size - 1;
    std::memcpy(dst, src, n);
    dst[n] = 0;
}

bool inside_brackets_before_number(uint32_t state) {
    return ((state & S_OPEN) && !(state & S_OFFSET)) || ((state & S_COLON) && !(state & S_LENGTH));
}

bool magnitude_operator(const char* op) {
    return std::strcmp(op, "==") != 0 && std::strcmp(op, "!=") != 0;
}

}  // namespace

ConditionParse& ParseCondition(ConditionParse& p, const char* text, int value_mode, ConditionExpression& e) {
    p = ConditionParse{};
    if (!text) text = "";
    size_t n = std::strlen(text);
    if (n >= CONDITION_TEXT_SIZE) {
        p.error_flags |= CE_TOO_LONG;
        copy_text(p.normalised, sizeof p.normalised, text, CONDITION_TEXT_SIZE - 1);
    } else {
        copy_text(p.normalised, sizeof p.normalised, text, n);
    }

    uint32_t& st = p.state;
    uint32_t& err = p.error_flags;
    int32_t given_length = 0;
    size_t i = 0;
    while (i < n) {
        char c = text[i];
        if (c == ' ') {
            ++i;
        } else if (c == '[') {
            if (st == S_NAME) st = S_NAME | S_OPEN;
            else err |= CE_OPEN_BRACKET;
            ++i;
        } else if (c == ':') {
            if (st == (S_NAME | S_OPEN | S_OFFSET)) st |= S_COLON;
            else err |= CE_COLON;
            ++i;
        } else if (c == ']') {
            if (st != 7 && st != 31) err |= CE_CLOSE_BRACKET;
            ++i;
        } else if (c == '&' || c == '|') {
            // A second operator after the bit value, or a different one before it,
            // would silently change the operation ("&&" stays one "&").
            bool again = (st & S_BIT_VALUE) || ((st & S_BIT_OPERATOR) && p.bit_operator[0] != c);
            if (!(st & S_NAME) || inside_brackets_before_number(st) || (st & S_RELATION) || again) {
                err |= CE_BIT_OPERATOR_POSITION;
            } else {
                p.bit_operator[0] = c;
                p.bit_operator[1] = 0;
                st |= S_BIT_OPERATOR;
            }
            ++i;
        } else if (c == '!' || c == '<' || c == '=' || c == '>') {
            // One comparison only: a second operator would replace the first unseen.
            bool placed = (st & S_NAME) && !inside_brackets_before_number(st) &&
                          !((st & S_BIT_OPERATOR) && !(st & S_BIT_VALUE)) && !(st & S_RELATION);
            if (!placed) {
                err |= CE_RELATION_POSITION;
                ++i;
                continue;
            }
            const char* found = nullptr;
            for (const char* op : kOperators)
                if (std::strncmp(text + i, op, std::strlen(op)) == 0) {
                    found = op;
                    break;
                }
            if (!found) {
                err |= CE_RELATION_FORM;
                ++i;
                continue;
            }
            copy_text(p.relational_operator, sizeof p.relational_operator, found, std::strlen(found));
            st |= S_RELATION;
            i += std::strlen(found);
        } else if (!(st & S_NAME)) {
            int found = -1;
            size_t len = 0;
            for (int row = 0; row < protocol_count(); ++row) {
                const char* name = protocol_name(row);
                size_t k = std::strlen(name);
                if (std::strncmp(text + i, name, k) == 0 && name_may_end_with(text[i + k])) {
                    found = row;
                    len = k;
                    break;
                }
            }
            if (found < 0) {
                err |= CE_PROTOCOL_NAME;
                // Past the length of the last name tried, never past the text.
                i += n - i < 3 ? n - i : 3;
                continue;
            }
            copy_text(p.protocol_name, sizeof p.protocol_name, text + i, len);
            p.protocol_id = protocol_id_at(found);
            st |= S_NAME;
            i += len;
        } else if (st == (S_NAME | S_OPEN) || st == (S_NAME | S_OPEN | S_OFFSET | S_COLON)) {
            bool offset = st == (S_NAME | S_OPEN);
            Number num = scan_number(text + i);
            if (num.span == 0 || num.digits > MAX_FIELD_DIGITS) {
                err |= offset ? CE_OFFSET_VALUE : CE_SIZE_VALUE;
                i += num.span ? num.span : 1;
                continue;
            }
            if (offset) {
                copy_text(p.offset_text, sizeof p.offset_text, text + i, num.span);
                st |= S_OFFSET;
            } else {
                copy_text(p.length_text, sizeof p.length_text, text + i, num.span);
                given_length = field_number(p.length_text);
                st |= S_LENGTH;
            }
            i += num.span;
        } else if ((st & S_BIT_OPERATOR) && !(st & S_BIT_VALUE)) {
            Number num = scan_number(text + i);
            if (num.span == 0 || num.span > MAX_VALUE_CHARS) {
                err |= CE_BIT_VALUE;
                i += num.span ? num.span : 1;
                continue;
            }
            copy_text(p.bit_value, sizeof p.bit_value, text + i, num.span);
            p.bit_value_bytes = number_bytes(p.bit_value);
            st |= S_BIT_VALUE;
            i += num.span;
        } else if ((st & S_RELATION) && !(st & S_VALUE)) {
            if (value_mode == VALUE_STRING) {
                size_t k = 0;
                while (i + k < n && text[i + k] >= 0x20 && text[i + k] <= 0x7E) ++k;
                if (k == 0 || k > MAX_STRING_CHARS) {
                    err |= CE_RELATION_VALUE;
                    i += k ? k : 1;
                    continue;
                }
                char* out = p.value;
                *out++ = '0';
                *out++ = 'x';
                for (size_t j = 0; j < k; ++j) {
                    static const char digits[] = "0123456789abcdef";
                    uint8_t ch = uint8_t(text[i + j]);
                    *out++ = digits[ch >> 4];
                    *out++ = digits[ch & 15];
                }
                *out = 0;
                p.value_bytes = int32_t(k);
                i += k;
            } else {
                Number num = scan_number(text + i);
                if (num.span == 0 || num.span > MAX_VALUE_CHARS) {
                    err |= CE_RELATION_VALUE;
                    i += num.span ? num.span : 1;
                    continue;
                }
                copy_text(p.value, sizeof p.value, text + i, num.span);
                p.value_bytes = number_bytes(p.value);
                i += num.span;
            }
            st |= S_VALUE;
        } else {
            err |= CE_VALUE_POSITION;
            ++i;
        }
    }
    // A text that ends where a number or value must follow is as wrong as one
    // with a bad number there; without this "ip ==" would match every IP frame.
    if (!(st & S_NAME)) err |= CE_PROTOCOL_NAME;
    if (st == (S_NAME | S_OPEN)) err |= CE_OFFSET_VALUE;
    if (st == (S_NAME | S_OPEN | S_OFFSET | S_COLON)) err |= CE_SIZE_VALUE;
    if ((st & S_BIT_OPERATOR) && !(st & S_BIT_VALUE)) err |= CE_BIT_VALUE;
    if ((st & S_RELATION) && !(st & S_VALUE)) err |= CE_RELATION_VALUE;

    if (err) return p;

    bool bit_operation = (st & S_BIT_OPERATOR) && (st & S_BIT_VALUE);
    bool comparison = (st & S_RELATION) && (st & S_VALUE);
    if (!bit_operation && !comparison) {
        p.offset_text[0] = 0;
        p.length_text[0] = 0;
        p.field_length = 0;
    } else {
        int32_t bit_bytes = bit_operation ? p.bit_value_bytes : -1;
        int32_t value_bytes = comparison ? p.value_bytes : -1;
        int32_t reference = bit_operation ? bit_bytes : value_bytes;
        uint32_t bracket = st & 0x1F;
        int32_t length;
        if (bracket == 1) {
            std::strcpy(p.offset_text, "0");
            length = reference;
            std::snprintf(p.length_text, sizeof p.length_text, "%d", length);
        } else if (bracket == 7) {
            length = reference;
            std::snprintf(p.length_text, sizeof p.length_text, "%d", length);
        } else {
            length = given_length;
        }
        p.field_length = length;
        // The size checks apply whatever the brackets: the normalised text always
        // carries [offset:length], so a text accepted here must parse again later.
        if (bit_operation && bit_bytes > length) err |= CE_BIT_VALUE_SIZE;
        if (comparison) {
            if (!magnitude_operator(p.relational_operator)) {
                if (value_bytes > length) err |= CE_EQUALITY_VALUE_SIZE;
            } else if (length == 0 || uint32_t(length) > 4) {
                err |= CE_MAGNITUDE_LENGTH;
            } else if (value_bytes > length) {
                err |= CE_MAGNITUDE_VALUE_SIZE;
            }
        }
    }

    e.protocol_id = 0;
    e.bit_operation = 0;
    e.relational_operator[0] = 0;
    e.length = 0;
    e.offset = 0;
    if (err) return p;

    char out[512];
    int k = std::snprintf(out, sizeof out, "%s", p.protocol_name);
    if (p.offset_text[0] && p.length_text[0])
        k += std::snprintf(out + k, sizeof out - size_t(k), "[%s:%s]", p.offset_text, p.length_text);
    if (bit_operation && k < int(sizeof out))
        k += std::snprintf(out + k, sizeof out - size_t(k), " %s %s", p.bit_operator, p.bit_value);
    if (comparison && k < int(sizeof out))
        k += std::snprintf(out + k, sizeof out - size_t(k), " %s %s", p.relational_operator, p.value);
    if (k >= CONDITION_TEXT_SIZE) {
        // The normalised form is what gets stored; it must fit as any condition does.
        err |= CE_TOO_LONG;
        return p;
    }
    std::memcpy(p.normalised, out, size_t(k) + 1);

    e.offset = field_number(p.offset_text);
    e.length = (p.offset_text[0] && p.length_text[0]) ? p.field_length : 0;
    e.bit_operation = bit_operation ? (p.bit_operator[0] == '&' ? 1 : 2) : 0;
    std::memset(e.mask_bytes, 0, sizeof e.mask_bytes);
    std::memset(e.value_bytes, 0, sizeof e.value_bytes);
    if (bit_operation) fill_bytes(p.bit_value, e.length, e.mask_bytes);
    if (comparison) fill_bytes(p.value, e.length, e.value_bytes);
    if (comparison) std::memcpy(e.relational_operator, p.relational_operator, sizeof e.relational_operator);
    e.protocol_id = p.protocol_id;
    e.match_offset = -1;
    return p;
}

int EvaluateCondition(const FrameStore& store, const FrameLayerIndex& index, ConditionExpression& e) {
    e.match_offset = -1;
    const uint8_t* block = store.block();
    if (!block || !index.frame) return EVAL_RECORD_OUTSIDE;
    // used_bytes counts the record bytes behind the head; it is trusted no further than the block.
    uint64_t used = store.used_bytes();
    uint64_t room = store.capacity() > STORE_HEAD ? store.capacity() - STORE_HEAD : 0;
    if (used > room) used = room;
    uintptr_t lo = uintptr_t(block) + STORE_HEAD, hi = lo + uintptr_t(used);
    uintptr_t rec = uintptr_t(index.frame);
    if (rec < lo || rec > hi || hi - rec < uintptr_t(RECORD_HEADER)) return EVAL_RECORD_OUTSIDE;
    uint32_t captured = record_length(index.frame);
    if (captured > hi - rec - RECORD_HEADER) return EVAL_RECORD_OUTSIDE;
    if (index.count <= 0) return EVAL_NO_LAYER;

    int layers = index.count < MAX_LAYERS ? index.count : MAX_LAYERS;
    const LayerEntry* layer = nullptr;
    for (int k = 0; k < layers; ++k)
        if (index.entries[k].protocol == e.protocol_id) {
            layer = &index.entries[k];
            break;
        }
    if (!layer) return 0;

    const uint8_t* bytes = record_bytes(index.frame);
    uintptr_t first = uintptr_t(bytes), end = first + captured, start = uintptr_t(layer->start);
    if (!layer->start || start < first || start > end) return EVAL_OFFSET;
    int64_t avail = int64_t(end - start);
    if (e.offset < 0 || e.offset > avail) return EVAL_OFFSET;
    if (e.length < 0 || e.length > FIELD_SIZE || e.length > avail - e.offset) return EVAL_LENGTH;

    e.match_offset = int32_t(start - first) + e.offset;
    if (e.length == 0) return 1;

    const uint8_t* field = layer->start + e.offset;
    uint8_t value[FIELD_SIZE];
    for (int k = 0; k < e.length; ++k) {
        uint8_t f = field[k], v = e.value_bytes[k];
        if (e.bit_operation == 1) {
            f &= e.mask_bytes[k];
            v &= e.mask_bytes[k];
        } else if (e.bit_operation == 2) {
            f |= e.mask_bytes[k];
            v |= e.mask_bytes[k];
        }
        e.field_bytes[k] = f;
        value[k] = v;
    }

    const char* op = e.relational_operator;
    if (!op[0]) return EVAL_NO_OPERATOR;
    bool truth;
    if (std::strcmp(op, "==") == 0) {
        truth = std::memcmp(e.field_bytes, value, size_t(e.length)) == 0;
    } else if (std::strcmp(op, "!=") == 0) {
        // Byte by byte: one equal byte makes it false.
        truth = true;
        for (int k = 0; k < e.length; ++k)
            if (e.field_bytes[k] == value[k]) {
                truth = false;
                break;
            }
    } else {
        int which = -1;
        for (int k = 0; k < 8; ++k)
            if (std::strcmp(op, kOperators[k]) == 0) which = k;
        if (which < 0 || which == 4 || which == 5) return EVAL_UNKNOWN_OPERATOR;
        if (e.length > 4) return EVAL_MAGNITUDE_LENGTH;
        uint32_t a = 0, b = 0;
        for (int k = 0; k < e.length; ++k) {
            a = a << 8 | e.field_bytes[k];
            b = b << 8 | value[k];
        }
        switch (which) {
        case 0: case 2: truth = a >= b; break;  // ">=", "=>"
        case 1: case 3: truth = a <= b; break;  // "<=", "=<"
        case 6: truth = a > b; break;
        default: truth = a < b; break;
        }
    }
    return e.negate ? !truth : truth;
}

const char* ConditionErrorText(uint32_t flags, uint32_t bit) {
    uint32_t m = flags & bit;
    for (const ErrorRow& r : kErrors)
        if (r.bit == m) return r.text;
    return "";
}

int CountErrorBits(uint32_t flags) {
    int n = 0;
    for (int b = 0; b < 20; ++b) n += (flags >> b) & 1;
    return n;
}

std::vector<std::string> ConditionErrorLines(uint32_t flags) {
    std::vector<std::string> lines;
    for (int b = 0; b < 20; ++b) {
        uint32_t bit = 1u << b;
        if (!(flags & bit)) continue;
        const char* text = ConditionErrorText(flags, bit);
        if (text[0]) lines.push_back(std::string("Error : ") + text);
    }
    return lines;
}

std::string ConditionErrorMessage(uint32_t flags) {
    std::string out;
    for (const std::string& l : ConditionErrorLines(flags)) out += l + "  \n";
    return out;
}

}  // namespace zelpan
