// SNMP versions 1, 2c, 2u and 3 over UDP and TCP ports 161 and 162, read with a
// small BER reader of its own.
//
// A BER error ends the message where it is found: the lines added so far stay.
// Every read goes through the message view, so nothing past the captured bytes is
// touched; an element cut short by the capture ends the walk the same way.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/format.h"
#include "decode/text_format.h"

namespace zelpan {

namespace {

constexpr int STRING_KEPT = 448;  // characters of an OCTET STRING shown before "..."
constexpr int MAX_ARCS = 128;

// BER reader results. 2, 3 and 5 are BER errors; 1 means the capture ended inside
// the element; 4 a length that no capture can hold.
enum BerError { BER_OK = 0, BER_CUT = 1, BER_TAG = 2, BER_INDEFINITE = 3, BER_LENGTH = 4, BER_LONG = 5 };

enum TagClass { UNIVERSAL = 0, APPLICATION = 1, CONTEXT = 2, PRIVATE = 3 };

constexpr NameEntry versions[] = {
    {0, "1"}, {1, "2c"}, {2, "2u"}, {3, "3"},
    {0, nullptr},
};

constexpr NameEntry pdu_types[] = {
    {0, "GetRequest"}, {1, "GetNextRequest"}, {2, "Response"}, {3, "SetRequest"}, {4, "SNMPv1-Trap"},
    {5, "GetBulkRequest"}, {6, "InformRequest"}, {7, "SNMPv2-Trap"}, {8, "Report"},
    {0, nullptr},
};

constexpr NameEntry error_statuses[] = {
    {0, "noError"}, {1, "tooBig"}, {2, "noSuchName"}, {3, "badValue"}, {4, "readOnly"}, {5, "genError"},
    {6, "noAccess"}, {7, "wrongType"}, {8, "wrongLength"}, {9, "wrongEncoding"}, {10, "wrongValue"},
    {11, "noCreation"}, {12, "inconsistentValue"}, {13, "resourceUnavailable"}, {14, "commitFailed"},
    {15, "undoFailed"}, {16, "authorizationError"}, {17, "notWritable"}, {18, "inconsistentName"},
    {0, nullptr},
};

constexpr NameEntry trap_types[] = {
    {0, "coldStart"}, {1, "warmStart"}, {2, "linkDown"}, {3, "linkUp"}, {4, "authenticationFailed"},
    {5, "egpNeighborLoss"}, {6, "enterpriseSpecific"},
    {0, nullptr},
};

constexpr NameEntry security_models[] = {
    {0, "any"}, {1, "v1"}, {2, "v2c"}, {3, "usm"},
    {0, nullptr},
};

constexpr NameEntry qos_meanings[] = {
    {0, "No authentication or privacy"}, {1, "Authentication, no privacy"},
    {2, "Authentication and privacy"}, {3, "Authentication and privacy"},
    {0, nullptr},
};

const char* protocol_text(long version) {
    switch (version) {
    case 0: return "SNMPv1";
    case 1: return "SNMPv2c";
    case 2: return "SNMPv2u";
    case 3: return "SNMPv3";
    default: return "SNMP";
    }
}

// A name from a table, or "Unknown(n)".
const char* name_of(long value, const NameEntry* table) {
    const char* name = value >= 0 ? lookup_name(uint32_t(value), table) : nullptr;
    return name ? name : textf("Unknown(%ld)", value);
}

// One element's header as read at the cursor.
struct Element {
    int start = 0;      // offset of the tag byte
    int value = 0;      // offset of the first value byte
    int cls = 0;
    bool constructed = false;
    unsigned long number = 0;
    unsigned long length = 0;
    bool indefinite = false;
    // Bytes the element takes from its tag to the end of its value.
    long size() const { return long(value - start) + long(length); }
};

struct Ber {
    const Bytes& msg;
    int pos = 0;

    // Tag and length at the cursor; the cursor moves to the first value byte.
    int header(Element& e) {
        e = Element{};
        e.start = pos;
        int at = pos;
        if (!msg.has(at, 1)) return BER_CUT;
        uint8_t t = msg.u8(at++);
        e.cls = t >> 6;
        e.constructed = (t & 0x20) != 0;
        e.number = t & 0x1F;
        if (e.number == 31) {
            // High tag number: 7-bit groups, the last without bit 0x80.
            e.number = 0;
            for (int groups = 0;; ++groups) {
                if (!msg.has(at, 1)) return BER_CUT;
                uint8_t b = msg.u8(at++);
                if (groups >= 4) return BER_TAG;  // beyond any tag this reader knows
                e.number = e.number << 7 | (b & 0x7F);
                if (!(b & 0x80)) break;
            }
        }
        if (!msg.has(at, 1)) return BER_CUT;
        uint8_t l = msg.u8(at++);
        if (l < 0x80) {
            e.length = l;
        } else if (l == 0x80) {
            e.indefinite = true;
        } else {
            int count = l & 0x7F;
            if (!msg.has(at, count)) return count > 4 ? BER_LENGTH : BER_CUT;
            unsigned long n = 0;
            for (int i = 0; i < count; ++i) {
                if (n > 0xFFFFFFul) return BER_LENGTH;  // more than 32 bits
                n = n << 8 | msg.u8(at + i);
            }
            at += count;
            e.length = n;
        }
        e.value = at;
        pos = at;
        return BER_OK;
    }

    // A header whose tag must be (cls, constructed, number) and whose length is given.
    int expect(Element& e, int cls, bool constructed, unsigned long number) {
        int r = header(e);
        if (r) return r;
        if (e.cls != cls || e.constructed != constructed || e.number != number) return BER_TAG;
        if (e.indefinite) return BER_INDEFINITE;
        return BER_OK;
    }

    // The value bytes of a primitive element must all be captured; the cursor
    // moves past them.
    int value(const Element& e) {
        if (e.length > (unsigned long)msg.size()) return BER_CUT;
        if (!msg.has(e.value, int(e.length))) return BER_CUT;
        pos = e.value + int(e.length);
        return BER_OK;
    }

    // Skips a whole element (any tag); indefinite lengths cannot be skipped.
    int skip(Element& e) {
        int r = header(e);
        if (r) return r;
        if (e.indefinite) return BER_INDEFINITE;
        return value(e);
    }

    // Big-endian value of at most max_bytes, sign-extended when is_signed.
    int number(Element& e, long& out, bool is_signed) {
        int r = value(e);
        if (r) return r;
        int n = int(e.length);
        int first = 0;
        if (!is_signed && n == 5 && msg.u8(e.value) == 0) first = 1;  // room for a sign byte
        if (n - first > 4) return BER_LONG;
        unsigned long v = 0;
        if (is_signed && n > 0 && (msg.u8(e.value) & 0x80)) v = ~0ul;
        for (int i = first; i < n; ++i) v = v << 8 | msg.u8(e.value + i);
        out = is_signed ? long(v) : long(v & 0xFFFFFFFFul);
        return BER_OK;
    }

    int integer(Element& e, long& out) {
        int r = expect(e, UNIVERSAL, false, 2);
        return r ? r : number(e, out, true);
    }

    // Counter, Gauge, TimeTicks and the other unsigned application types.
    int unsigned_value(Element& e, unsigned long tag, long& out) {
        int r = expect(e, APPLICATION, false, tag);
        return r ? r : number(e, out, false);
    }

    int octets(Element& e) {
        int r = expect(e, UNIVERSAL, false, 4);
        return r ? r : value(e);
    }

    int null(Element& e) {
        int r = expect(e, UNIVERSAL, false, 5);
        return r ? r : value(e);
    }

    int sequence(Element& e) { return expect(e, UNIVERSAL, true, 16); }

    int oid(Element& e, char* text, int text_size) {
        int r = expect(e, UNIVERSAL, false, 6);
        if (r) return r;
        r = value(e);
        if (r) return r;
        return oid_value(e, text, text_size);
    }

    // The arcs of an OBJECT IDENTIFIER's value bytes as dotted text.
    int oid_value(const Element& e, char* text, int text_size) {
        unsigned long arcs[MAX_ARCS];
        int n = 0;
        unsigned long sub = 0;
        bool open = false;
        for (int i = 0; i < int(e.length); ++i) {
            uint8_t b = msg.u8(e.value + i);
            sub = sub << 7 | (b & 0x7F);
            open = (b & 0x80) != 0;
            if (open) continue;
            if (n == 0) {
                unsigned long first = sub < 40 ? 0 : sub < 80 ? 1 : 2;
                arcs[n++] = first;
                arcs[n++] = sub - first * 40;
            } else {
                if (n >= MAX_ARCS) return BER_LONG;
                arcs[n++] = sub;
            }
            sub = 0;
        }
        if (open) return BER_LONG;  // the last subidentifier runs past the length
        format_textf(text, size_t(text_size), "%s", oid_text(arcs, n));
        return BER_OK;
    }
};

// OCTET STRING bytes as text: the first 448 bytes, each unprintable byte as ".",
// then "..." when the string is longer.
const char* string_text(const Bytes& msg, const Element& e) {
    static thread_local char out[STRING_KEPT + 4];
    int n = int(e.length);
    int kept = n > STRING_KEPT ? STRING_KEPT : n;
    for (int i = 0; i < kept; ++i) {
        uint8_t b = msg.u8(e.value + i);
        out[i] = b >= 0x20 && b < 0x7F ? char(b) : '.';
    }
    if (n > STRING_KEPT) {
        std::memcpy(out + kept, "...", 4);
    } else {
        out[kept] = 0;
    }
    return out;
}

// Value bytes as hex pairs (cut with "..." like every byte text).
const char* value_hex(const Bytes& msg, const Element& e) {
    int n = int(e.length);
    return hex_text(msg.at(e.value), n > STRING_KEPT ? STRING_KEPT : n, ' ');
}

// Mostly printable strings are shown as text, binary ones as hex.
const char* octet_value_text(const Bytes& msg, const Element& e) {
    int n = int(e.length);
    for (int i = 0; i < n && i < STRING_KEPT; ++i) {
        uint8_t b = msg.u8(e.value + i);
        bool text = (b >= 0x20 && b < 0x7F) || b == '\t' || b == '\r' || b == '\n' || (b == 0 && i == n - 1);
        if (!text) return value_hex(msg, e);
    }
    return string_text(msg, e);
}

// A line over one element: its tag to the end of its captured value.
__attribute__((format(printf, 4, 5)))
int32_t element_line(int32_t parent, const Bytes& msg, const Element& e, const char* format, ...) {
    if (parent == 0) return 0;
    char buf[1024];
    va_list ap;
    va_start(ap, format);
    format_text(buf, sizeof buf, format, ap);
    va_end(ap);
    long size = e.size();
    return add_node(parent, buf, msg.at(e.start), msg.avail(e.start, size > 0x7FFFFFFF ? 0x7FFFFFFF : int(size)), 0);
}

// The decoding of one message: the cursor, the top node and how the walk ended.
struct Message {
    const Bytes& msg;  // the view the cursor walks (the whole message, or a part of it)
    Ber ber;
    int32_t top;       // 0 in summary mode
    bool summary;
    const Bytes& whole;
    long total;        // the size the outer SEQUENCE announces

    // Ends the walk: a message cut by the capture says so; a BER error is silent.
    bool failed(int r) const {
        if (r == BER_OK) return false;
        if (r == BER_CUT) truncated();
        return true;
    }
    void truncated() const {
        if (top != 0)
            add_nodef(top, whole.at(0), whole.size(), 0, "Message truncated : %d of %ld bytes captured",
                      whole.size(), total);
    }
};

int decode_value(Message& m, int32_t parent) {
    Ber& ber = m.ber;
    const Bytes& msg = m.msg;
    Element e;
    int r = ber.header(e);
    if (r) return r;
    if (e.indefinite) return BER_INDEFINITE;
    long v = 0;
    if (e.cls == UNIVERSAL && !e.constructed && e.number == 2) {
        if ((r = ber.number(e, v, true))) return r;
        element_line(parent, msg, e, "Value : %s %ld(0x%x)", "INTEGER", v, unsigned(v));
        return BER_OK;
    }
    if (e.cls == APPLICATION && !e.constructed && e.number >= 1 && e.number <= 3) {
        static const char* const names[] = {"COUNTER", "GAUGE", "TIMETICKS"};
        if ((r = ber.number(e, v, false))) return r;
        element_line(parent, msg, e, "Value : %s %lu(0x%x)", names[e.number - 1], (unsigned long)v, unsigned(v));
        return BER_OK;
    }
    if ((r = ber.value(e))) return r;
    if (e.cls == UNIVERSAL && !e.constructed) {
        switch (e.number) {
        case 5:
            element_line(parent, msg, e, "Value : %s", "NULL");
            return BER_OK;
        case 4:
            element_line(parent, msg, e, "Value : %s %s", "OCTET STRING", octet_value_text(msg, e));
            return BER_OK;
        case 6: {
            char text[512];
            if ((r = ber.oid_value(e, text, sizeof text))) return r;
            element_line(parent, msg, e, "Value : %s %s", "OBJECTID", text);
            return BER_OK;
        }
        case 3:
            element_line(parent, msg, e, "Value : %s %s", "BITSTR", value_hex(msg, e));
            return BER_OK;
        }
    }
    if (e.cls == APPLICATION && !e.constructed) {
        switch (e.number) {
        case 0: {
            char text[512];
            int n = 0;
            text[0] = 0;
            int count = int(e.length) > 64 ? 64 : int(e.length);
            for (int i = 0; i < count; ++i)
                n += format_textf(text + n, sizeof text - size_t(n), i == 0 ? "%03u" : ".%03u", msg.u8(e.value + i));
            if (count < int(e.length)) format_textf(text + n, sizeof text - size_t(n), "...");
            element_line(parent, msg, e, "Value : %s %s", "IPADDR", text);
            return BER_OK;
        }
        case 4:
            element_line(parent, msg, e, "Value : %s %s", "OPAQUE", value_hex(msg, e));
            return BER_OK;
        case 6: {
            int n = int(e.length);
            int first = n == 9 && msg.u8(e.value) == 0 ? 1 : 0;
            if (n - first > 8) {
                element_line(parent, msg, e, "Value : %s %s", "COUNTER64", value_hex(msg, e));
            } else {
                unsigned long long c = 0;
                for (int i = first; i < n; ++i) c = c << 8 | msg.u8(e.value + i);
                element_line(parent, msg, e, "Value : %s %llu", "COUNTER64", c);
            }
            return BER_OK;
        }
        }
    }
    if (e.cls == CONTEXT && e.number <= 2) {
        static const char* const names[] = {"NOSUCHOBJECT", "NOSUCHINSTANCE", "ENDOFMIBVIEW"};
        static const char* const texts[] = {"noSuchObject", "noSuchInstance", "endOfMibView"};
        element_line(parent, msg, e, "Value : %s %s", names[e.number], texts[e.number]);
        return BER_OK;
    }
    element_line(parent, msg, e, "Value : %s %s", "unsupported type", value_hex(msg, e));
    return BER_OK;
}

// The variable-binding list: a SEQUENCE of {OID, value} SEQUENCEs.
int decode_bindings(Message& m, int32_t parent) {
    Ber& ber = m.ber;
    Element list;
    int r = ber.sequence(list);
    if (r) return r;
    long end = list.value + long(list.length);
    if (end > m.msg.size()) end = m.msg.size();
    // Every binding takes at least its two header bytes, so the walk ends.
    for (unsigned long index = 1; ber.pos < end; ++index) {
        Element bind;
        if ((r = ber.sequence(bind))) return r;
        Element name;
        char text[512];
        if ((r = ber.oid(name, text, sizeof text))) return r;
        int32_t b = element_line(parent, m.msg, bind, "Object identifier %lu : %s", index, text);
        if ((r = decode_value(m, b))) return r;
    }
    return list.value + long(list.length) > m.msg.size() ? BER_CUT : BER_OK;
}

int decode_pdu(Message& m, int32_t parent) {
    Ber& ber = m.ber;
    const Bytes& msg = m.msg;
    Element pdu;
    int r = ber.header(pdu);
    if (r) return r;
    // Only a constructed context-specific element is a PDU.
    if (pdu.cls != CONTEXT || !pdu.constructed) return BER_TAG;
    if (pdu.indefinite) return BER_INDEFINITE;
    const char* type = name_of(long(pdu.number), pdu_types);
    if (m.summary) {
        if (text_columns_wanted()) set_columnf(5, nullptr, 0, "PDU type : %s", type);
        return BER_OK;
    }
    int32_t p = element_line(parent, msg, pdu, "PDU(Protocol Data Unit) type : %s", type);
    Element e;
    long v = 0;
    if (pdu.number == 4) {
        char text[512];
        if ((r = ber.oid(e, text, sizeof text))) return r;
        element_line(p, msg, e, "Enterprise : %s", text);
        if ((r = ber.expect(e, APPLICATION, false, 0))) return r;
        if ((r = ber.value(e))) return r;
        if (e.length == 4)
            element_line(p, msg, e, "Agent address : %s", ipv4_text(msg.at(e.value)));
        else
            element_line(p, msg, e, "Agent address : Invalid length(%lu)", e.length);
        if ((r = ber.integer(e, v))) return r;
        element_line(p, msg, e, "Trap type : %s", name_of(v, trap_types));
        if ((r = ber.integer(e, v))) return r;
        element_line(p, msg, e, "Specific Trap type : %u(%x)", unsigned(v), unsigned(v));
        if ((r = ber.unsigned_value(e, 3, v))) return r;
        element_line(p, msg, e, "Timestamp : %u", unsigned(v));
    } else {
        if ((r = ber.integer(e, v))) return r;
        element_line(p, msg, e, "Request ID : 0x%X", unsigned(v));
        bool bulk = pdu.number == 5;
        if ((r = ber.integer(e, v))) return r;
        if (bulk)
            element_line(p, msg, e, "Non Repeaters : %u", unsigned(v));
        else
            element_line(p, msg, e, "Error Status : %s", name_of(v, error_statuses));
        if ((r = ber.integer(e, v))) return r;
        element_line(p, msg, e, bulk ? "Max Repetitions : %u" : "Error Index : %u", unsigned(v));
    }
    return decode_bindings(m, p);
}

// SNMPv2u parameters (model 1): fixed fields, the user name, the digest and the
// context selector.
void decode_v2u_parameters(int32_t parent, const Bytes& msg, const Element& s) {
    Bytes p = msg.sub(s.value, int(s.length));
    int32_t n = node(parent, msg, s.value, int(s.length), "Parameters");
    if (!p.has(0, 1)) return;
    unsigned model = p.u8(0);
    node(n, p, 0, 1, "Model : %u", model);
    // The model's own bytes as they stand; model 1 is then taken apart field by field.
    node(n, p, 1, p.size() - 1, "Parameters : %s", hex_text(p.at(1), p.size() - 1, ' '));
    if (model != 1) return;
    if (!p.has(1, 1)) return;
    uint8_t qos = p.u8(1);
    int32_t q = node(n, p, 1, 1, "qoS : 0x%x", qos);
    node(q, p, 1, 1, "%s : %s", bit_text8(qos, 6, 2), lookup_name(qos & 3, qos_meanings));
    node(q, p, 1, 1, "%s",
         flag_text8(qos, 5, "Generation of report PDU allowed", "Generation of report PDU not allowed"));
    if (!p.has(2, 12)) return;
    node(n, p, 2, 12, "agentID : %s", hex_text(p.at(2), 12, ' '));
    if (!p.has(14, 4)) return;
    node(n, p, 14, 4, "agentBoots : %lu", (unsigned long)p.be32(14));
    if (!p.has(18, 4)) return;
    node(n, p, 18, 4, "agentTime : %lu", (unsigned long)p.be32(18));
    if (!p.has(22, 2)) return;
    node(n, p, 22, 2, "maxSize: %u", p.be16(22));
    if (!p.has(24, 1)) return;
    int user = p.u8(24);
    node(n, p, 24, 1, "userLen : %u", unsigned(user));
    if (!p.has(25, user)) return;
    node(n, p, 25, user, "userName : %s", printable_text(p.at(25), user));
    int at = 25 + user;
    if (!p.has(at, 1)) return;
    int auth = p.u8(at);
    node(n, p, at, 1, "authLen : %u", unsigned(auth));
    if (!p.has(at + 1, auth)) return;
    node(n, p, at + 1, auth, "authDigest : %s", hex_text(p.at(at + 1), auth, ' '));
    at += 1 + auth;
    node(n, p, at, p.size() - at, "contextSelector : %s", hex_text(p.at(at), p.size() - at, ' '));
}

// SNMPv3: global header, USM security parameters, then the scoped or encrypted PDU.
int decode_v3(Message& m, int32_t top) {
    Ber& ber = m.ber;
    const Bytes& msg = m.msg;
    Element header, e;
    long v = 0;
    int r = ber.sequence(header);
    if (r) return r;
    int32_t g = element_line(top, msg, header, "mesGlobal Header");
    node(g, msg, header.start, header.value - header.start, "mesGlobal Header Length : %lu", header.length);
    if ((r = ber.integer(e, v))) return r;
    element_line(g, msg, e, "mesID : %lu", (unsigned long)(uint32_t)v);
    if ((r = ber.integer(e, v))) return r;
    element_line(g, msg, e, "mesMaxSize : %lu", (unsigned long)(uint32_t)v);
    if ((r = ber.octets(e))) return r;
    if (e.length != 1) return BER_LENGTH;
    uint8_t flags = msg.u8(e.value);
    int32_t f = element_line(g, msg, e, "msgFlags : 0x%02x", flags);
    node(f, msg, e.value, 1, "%s", flag_text8(flags, 7, "auth ON", "auth OFF"));
    node(f, msg, e.value, 1, "%s", flag_text8(flags, 6, "priv ON", "priv OFF"));
    node(f, msg, e.value, 1, "%s", flag_text8(flags, 5, "reportable ON", "reportable OFF"));
    if ((r = ber.integer(e, v))) return r;
    element_line(g, msg, e, "mesSecurityModel: %s", name_of(v, security_models));

    // The security parameters are an OCTET STRING holding a SEQUENCE of their own.
    Element params;
    if ((r = ber.octets(params))) return r;
    int after = ber.pos;
    int32_t s = element_line(top, msg, params, "mesSecurityParameters(%lu bytes)", params.length);
    // Read inside the string only (it is captured whole): fields running past it
    // are a malformed message, which ends the walk silently.
    Bytes inside = msg.sub(params.value, int(params.length));
    Ber inner{inside};
    Element seq;
    if ((r = inner.sequence(seq))) return BER_LENGTH;
    node(s, inside, seq.start, seq.value - seq.start, "mesSecurityParameters Length : %ld", long(seq.length));
    const char* hex_fields[3] = {"msgAuthoritativeEngineID : %s", "msgAuthenticationParameters : %s",
                                 "msgPrivacyParameters : %s"};
    for (int field = 0; field < 6; ++field) {
        if (field == 1 || field == 2) {
            if ((r = inner.integer(e, v))) return BER_LENGTH;
            element_line(s, inside, e, field == 1 ? "msgAuthoritativeEngineBoots : %lu" : "msgAuthoritativeEngineTime : %lu",
                         (unsigned long)(uint32_t)v);
            continue;
        }
        if ((r = inner.octets(e))) return BER_LENGTH;
        if (field == 3)
            element_line(s, inside, e, "msgUserName : %s", string_text(inside, e));
        else
            element_line(s, inside, e, hex_fields[field == 0 ? 0 : field - 3], value_hex(inside, e));
    }
    ber.pos = after;

    if (flags & 0x02) {
        if ((r = ber.header(e))) return r;
        if (e.indefinite) return BER_INDEFINITE;
        if (m.summary) {
            if (text_columns_wanted()) set_columnf(5, nullptr, 0, "Encrypted PDU(%ld bytes)", long(e.length));
            return BER_OK;
        }
        element_line(top, msg, e, "Encrypted PDU(%ld bytes)", long(e.length));
        return BER_OK;
    }
    Element scoped;
    if ((r = ber.sequence(scoped))) return r;
    if ((r = ber.octets(e))) return r;
    element_line(top, msg, e, "contextEngineID : %s", value_hex(msg, e));
    if ((r = ber.octets(e))) return r;
    element_line(top, msg, e, "contextName : %s", string_text(msg, e));
    return decode_pdu(m, top);
}

}  // namespace

void decode_snmp(int32_t parent, Bytes data) {
    Ber ber{data};
    Element outer, version;
    long v = 0;
    if (ber.sequence(outer) || ber.integer(version, v)) return;
    bool summary = parent == 0;
    if (summary) {
        set_column(protocol_text(v), 4, data.at(0), P_SNMP);
        if (!text_columns_wanted()) return;
    }
    int32_t top = add_nodef(parent, data.at(0), data.size(), P_SNMP, "Simple Network Management Protocol");
    Message m{data, ber, top, summary, data, outer.size()};
    const char* name = lookup_name(uint32_t(v), versions);
    element_line(top, data, version, "Version : %s(0x%X)", name ? name : "Unknown", unsigned(v));
    Element e;
    int r = BER_OK;
    switch (v) {
    case 0:
    case 1:
        if ((r = m.ber.octets(e))) break;
        element_line(top, data, e, "Community : %s", string_text(data, e));
        r = decode_pdu(m, top);
        break;
    case 2:
        if ((r = m.ber.octets(e))) break;
        element_line(top, data, e, "Community : %s", string_text(data, e));
        if (!summary) decode_v2u_parameters(top, data, e);
        r = decode_pdu(m, top);
        break;
    case 3:
        r = decode_v3(m, top);
        break;
    default:
        break;
    }
    // A walk that ended early inside a cut message says so as well.
    if (!m.failed(r) && outer.size() > data.size()) m.truncated();
}

}  // namespace zelpan
