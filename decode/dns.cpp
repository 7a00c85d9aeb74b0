// DNS over UDP and TCP: header and flags, compressed names, the four sections and
// the resource record formats.
//
// Every read goes through the message view, which ends at the captured bytes;
// offsets are counted from the DNS header, the base of all compression pointers.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/format.h"
#include "decode/text_format.h"

namespace zelpan {

namespace {

constexpr int HEADER = 12;
constexpr int NAME_SIZE = 1025;  // dotted text of at most 1024 characters
constexpr int LINE_SIZE = 512;   // summary text and detail lines are cut beyond this

constexpr NameEntry opcodes[] = {
    {0, "Standard Query"}, {1, "Inverse Query"}, {2, "Status"}, {4, "Notify"}, {5, "Update"},
    {0, nullptr},
};

constexpr NameEntry response_codes[] = {
    {0, "No Error "}, {1, "Format Error"}, {2, "Server Failure"}, {3, "Non-Existent Domain"},
    {4, "Not Implemented"}, {5, "Query Refused"}, {6, "Name Exists when it should not"},
    {7, "RR Set Exists when it should not"}, {8, "RR Set that should exist does not"},
    {9, "Server Not Authoritative for zone"}, {10, "Name not contained in zone"},
    {16, "Bad OPT Version/TSIG Signature Failure"}, {17, "Key not recognized"},
    {18, "Signature out of time window"}, {19, "Bad TKEY Mode"}, {20, "Duplicate key name"},
    {21, "Algorithm not supported"},
    {0, nullptr},
};

constexpr NameEntry types[] = {
    {1, "A(host address)"}, {2, "NS(authoritative name server)"}, {3, "MD(mail destination)"},
    {4, "MF(mail forwarder)"}, {5, "CNAME(canonical name for an alias)"},
    {6, "SOA(marks the start of a zone of authority)"}, {7, "MB(mailbox domain name)"},
    {8, "MG(mail group member)"}, {9, "MR(mail rename domain name)"}, {10, "NULL(null RR)"},
    {11, "WKS(well known service description)"}, {12, "PTR(domain name pointer)"},
    {13, "HINFO(host information)"}, {14, "MINFO(mailbox or mail list information)"},
    {15, "MX(mail exchange)"}, {16, "TXT(text strings)"}, {17, "RP(responsible person)"},
    {18, "AFSDB(AFS data base location)"}, {19, "X25(X.25 address)"}, {20, "ISDN(ISDN address)"},
    {21, "RT(route-through)"}, {22, "NSAP(OSI NSAP)"}, {23, "NSAP-PTR(PTR equivalent for OSI NSAP)"},
    {24, "SIG(digital signature)"}, {25, "KEY(public key)"}, {28, "AAAA(IPv6 address)"},
    {30, "NXT(next)"}, {35, "NAPTR(naming authority pointer)"}, {36, "KX(key exchange)"},
    {37, "CERT(certificate)"}, {38, "A6(IPv6 address)"},
    {39, "DNAME(non-terminal DNS name redirection)"}, {41, "OPT(option)"},
    {249, "TKEY(transaction key)"}, {250, "TSIG(transaction signature)"},
    {251, "IXFR(incremental zone transfer)"},
    {252, "AXFR(request for a transfer of an entire zone of authority)"},
    {253, "MAILB(request for mailbox-related records(MB, MG or MR))"},
    {254, "MAILA(request for mail agent RRs(MD and MF))"}, {255, "*(request for all records)"},
    {0, nullptr},
};

constexpr NameEntry classes[] = {
    {0, "Unknown"}, {1, "IN(Internet)"}, {2, "CS(computer science network)"}, {3, "CH(Chaos system)"},
    {4, "HS(Hesiod)"}, {254, "NONE"}, {255, "*(any class)"},
    {0, nullptr},
};

// Short names and descriptions of record types, for SIG and the NXT bit map.
constexpr NameEntry type_mnemonics[] = {
    {0, "unused"}, {1, "A"}, {2, "NS"}, {3, "MD"}, {4, "MF"}, {5, "CNAME"}, {6, "SOA"}, {7, "MB"},
    {8, "MG"}, {9, "MR"}, {10, "NULL"}, {11, "WKS"}, {12, "PTR"}, {13, "HINFO"}, {14, "MINFO"},
    {15, "MX"}, {16, "TXT"}, {17, "RP"}, {18, "AFSDB"}, {19, "X25"}, {20, "ISDN"}, {21, "RT"},
    {22, "NSAP"}, {23, "NSAP-PTR"}, {24, "SIG"}, {25, "KEY"}, {26, "PX"}, {27, "GPOS"}, {28, "AAAA"},
    {29, "LOC"}, {30, "NXT"}, {31, "EID"}, {32, "NIMLOC"}, {33, "SRV"}, {34, "ATMA"}, {35, "NAPTR"},
    {36, "KX"}, {37, "CERT"}, {38, "A6"}, {39, "DNAME"}, {41, "OPT"}, {100, "UINFO"}, {101, "UID"},
    {102, "GID"}, {103, "UNSPEC"}, {249, "TKEY"}, {250, "TSIG"}, {251, "IXFR"}, {252, "AXFR"},
    {253, "MAILB"}, {254, "MAILA"}, {255, "*"}, {0xFF01, "WINS"}, {0xFF02, "WINS-R"},
    {0, nullptr},
};

constexpr NameEntry type_descriptions[] = {
    {0, "unused"}, {1, "Host address"}, {2, "Authoritative name server"}, {3, "Mail destination"},
    {4, "Mail forwarder"}, {5, "Canonical name for an alias"}, {6, "Marks the start of zone of authority"},
    {7, "Mailbox domain name"}, {8, "Mail group member"}, {9, "Mail rename domain name"},
    {10, "Null RR"}, {11, "Well known service description"}, {12, "Domain name pointer"},
    {13, "Host information"}, {14, "Mailbox or mail list information"}, {15, "Mail exchange"},
    {16, "Text strings"}, {17, "Responsible person"}, {18, "AFS data base location"},
    {19, "X.25 address"}, {20, "ISDN address"}, {21, "Route-through"}, {22, "OSI NSAP"},
    {23, "PTR equivalent for OSI NSAP"}, {24, "Digital signature"}, {25, "Public key"},
    {26, "Pointer to X.400/RFC822 mapping info"}, {27, "Geographical position"}, {28, "IPv6 address"},
    {29, "Location"}, {30, "Next"}, {31, "EID"}, {32, "NIMLOC"}, {33, "Service location"}, {34, "ATMA"},
    {35, "Naming authority pointer"}, {36, "Key exchange"}, {37, "Certificate"}, {38, "IPv6 address"},
    {39, "Non-terminal DNS name redirection"}, {40, "Unknown"}, {41, "Option"}, {100, "UINFO"},
    {101, "UID"}, {102, "GID"}, {103, "UNSPEC"}, {249, "Transaction Key"},
    {250, "Transaction Signature"}, {251, "Incremental zone transfer"},
    {252, "Request for a transfer of an entire zone of authority"},
    {253, "Request for mailbox-related records"}, {254, "Request for mail agent RRs"},
    {255, "Request for all records"}, {0xFF01, "WINS"}, {0xFF02, "WINS-R"},
    {0, nullptr},
};

constexpr NameEntry security_algorithms[] = {
    {1, "RSA/MD5"}, {2, "Diffie-Hellman"}, {3, "DSA"}, {4, "Elliptic curve crypto"},
    {252, "Indirect key"}, {253, "Private, domain name"}, {254, "Private, OID"},
    {0, nullptr},
};

constexpr NameEntry certificate_types[] = {
    {1, "PKIX"}, {2, "SPKI"}, {3, "PGP"}, {253, "URI Private"}, {254, "OID Private"},
    {0, nullptr},
};

constexpr NameEntry tkey_modes[] = {
    {1, "Server assignment"}, {2, "Diffie-Hellman exchange"}, {3, "GSS-API negotiation"},
    {4, "Resolver assignment"}, {5, "Key delete"},
    {0, nullptr},
};

constexpr NameEntry tsig_errors[] = {
    {16, "TSIG signature failure"}, {17, "Key not recognized"}, {18, "Signature out of time window"},
    {19, "Bad TKEY mode"}, {20, "Duplicate key name"}, {21, "Algorithm not supported"},
    {0, nullptr},
};

const char* type_mnemonic(uint32_t code) {
    const char* name = lookup_name(code, type_mnemonics);
    return name ? name : "Unknown";
}

const char* type_description(uint32_t code) {
    const char* name = lookup_name(code, type_descriptions);
    return name ? name : textf("Unknown RR type(%u)", code);
}

// A detail line over view[offset, offset + length), its text cut like a column
// (507 characters and "...") when it reaches 512: names alone can be 1024 long.
__attribute__((format(printf, 5, 6)))
int32_t line(int32_t parent, const Bytes& view, int offset, int length, const char* format, ...) {
    if (parent == 0) return 0;
    char buf[2048];
    va_list ap;
    va_start(ap, format);
    int n = format_text(buf, sizeof buf, format, ap);
    va_end(ap);
    if (n >= LINE_SIZE) std::memcpy(buf + LINE_SIZE - 5, "...", 4);
    return add_node(parent, buf, view.at(offset), view.avail(offset, length), 0);
}

// Dotted name text with a hard bound: characters beyond 1024 are dropped.
struct NameText {
    char* out;
    int n = 0;
    void put(const char* s, int len) {
        for (int i = 0; i < len && n < NAME_SIZE - 1; ++i) out[n++] = s[i];
        out[n] = 0;
    }
    void put(const char* s) { put(s, int(std::strlen(s))); }
    void replace(const char* s) {
        n = 0;
        put(s);
    }
    // A marker at the end that must stay visible even on a full text.
    void mark(const char* s) {
        int len = int(std::strlen(s));
        if (n > NAME_SIZE - 1 - len) n = NAME_SIZE - 1 - len;
        put(s, len);
    }
};

// Decodes the name at offset into out (NAME_SIZE bytes) and returns the bytes the
// name occupies at its own position. The walk ends on a zero length byte, on an
// unusable label, at the end of the captured message, or when pointers have walked
// limit bytes.
int decode_name(const Bytes& msg, int offset, char* out, int limit) {
    NameText text{out};
    out[0] = 0;
    int pos = offset;
    int walked = 0;
    int length = -1;  // fixed by the first pointer
    bool cut = false;
    int pointers = 0;
    uint8_t seen[0x4000 / 8];  // pointer targets, once a walk has taken many
    for (;;) {
        if (!msg.has(pos, 1)) {
            cut = true;
            break;
        }
        uint8_t b = msg.u8(pos);
        if (b == 0) break;
        switch (b & 0xC0) {
        case 0x00: {
            int avail = msg.avail(pos + 1, b);
            if (text.n > 0 && avail > 0) text.put(".");
            text.put(reinterpret_cast<const char*>(msg.at(pos + 1)), avail);
            walked += 1 + b;
            if (avail < b) {
                cut = true;
                break;
            }
            pos += 1 + b;
            continue;
        }
        case 0x40: {
            if ((b & 0x3F) != 1) {
                text.replace("Unknown Extended Label");
                if (length < 0) length = pos + 1 - offset;
                return length;
            }
            if (!msg.has(pos + 1, 1)) {
                cut = true;
                break;
            }
            long bits = msg.u8(pos + 1);
            int count = int((bits - 1) / 8 + 1);
            text.put("\\[x");
            int avail = msg.avail(pos + 2, count);
            for (int i = 0; i < avail; ++i) {
                char hx[3];
                format_textf(hx, sizeof hx, "%02x", msg.u8(pos + 2 + i));
                text.put(hx, 2);
            }
            if (avail < count) {
                cut = true;
                break;
            }
            char tail[24];
            format_textf(tail, sizeof tail, "/%ld]", bits);
            text.put(tail);
            walked += 1;
            pos += 2 + count;
            continue;
        }
        case 0xC0: {
            if (!msg.has(pos + 1, 1)) {
                cut = true;
                break;
            }
            if (length < 0) length = pos + 2 - offset;
            int target = (b & 0x3F) << 8 | msg.u8(pos + 1);
            walked += 2;
            if (walked >= limit) {
                text.replace("Pointer is looping");
                return length;
            }
            if (target >= msg.size()) {
                char t[48];
                format_textf(t, sizeof t, "Pointer out of range (offset %d)", target);
                text.replace(t);
                return length;
            }
            // A walk that comes back to a target it has jumped to will run round
            // until the limit: say so at once instead of walking up to 64 KB of
            // loop for every name. Legitimate names never get this far.
            if (++pointers > 64) {
                if (pointers == 65) std::memset(seen, 0, sizeof seen);
                uint8_t bit = uint8_t(1u << (target & 7));
                if (seen[target >> 3] & bit) {
                    text.replace("Pointer is looping");
                    return length;
                }
                seen[target >> 3] |= bit;
            }
            pos = target;
            continue;
        }
        default:
            // Label type 10 is reserved: the name cannot be read on from here.
            text.replace("Unknown Label Type");
            if (length < 0) length = pos + 1 - offset;
            return length;
        }
        break;  // a label ran past the captured bytes
    }
    if (cut) {
        // The capture ends inside the name: show what was read and say so.
        text.mark(text.n > 0 ? " (truncated)" : "Name truncated");
        if (length < 0) length = msg.size() - offset > 0 ? msg.size() - offset : 0;
        return length;
    }
    if (text.n == 0) text.replace("Root Domain");
    if (length < 0) length = pos + 1 - offset;
    return length;
}

// Bytes of one section from pos: the entries' lengths while they fit in left.
int section_length(const Bytes& msg, int pos, int left, int count, bool question) {
    char scratch[NAME_SIZE];
    int limit = pos + left;
    int counted = 0;
    for (int i = 0; i < count; ++i) {
        int n = decode_name(msg, pos + counted, scratch, limit);
        if (counted + n > left) return left;
        if (question) {
            counted += n + 4;
        } else {
            int at = pos + counted + n + 8;
            if (!msg.has(at, 2)) return left;
            counted += n + 10 + msg.be16(at);
        }
        if (counted >= left) return left;
    }
    return counted;
}

// The RDATA of one record, read through a view that ends at the RDATA length and
// at the captured bytes, whichever comes first.
struct Rdata {
    const Bytes& msg;
    int32_t node;
    int start;  // offset of the RDATA in the message
    int r;
    int limit;
    Bytes rd;
    bool reported = false;

    // Is [offset, offset + count) inside the RDATA and captured? Reports once if not.
    bool has(int offset, int count) {
        if (rd.has(offset, count)) return true;
        if (!reported) {
            reported = true;
            if (offset + count > r)
                line(node, msg, start, r, "RDATA too short : %d bytes", r);
            else
                line(node, msg, start, r, "RDATA truncated : %d of %d bytes captured", rd.size(), r);
        }
        return false;
    }
    // A name inside the RDATA: its line covers the bytes it occupies there.
    int name(int offset, char* out) {
        if (!has(offset, 1)) return -1;
        return decode_name(msg, start + offset, out, limit);
    }
    void name_line(int offset, int n, const char* label, const char* text) {
        line(node, msg, start + offset, n, "%s : %s", label, text);
    }
};

const char* loc_size_text(uint8_t v) {
    double cm = v >> 4;
    for (int e = v & 0x0F; e > 0; --e) cm *= 10;
    return textf("%g", cm / 100);
}

const char* loc_angle_text(uint32_t v, char positive, char negative) {
    uint32_t a;
    char hemisphere;
    if (v >= 0x80000000u) {
        a = v - 0x80000000u;
        hemisphere = positive;
    } else {
        a = 0x80000000u - v;
        hemisphere = negative;
    }
    return textf("%lu deg %lu min %lu.%03lu sec %c", (unsigned long)(a / 3600000),
                 (unsigned long)(a / 60000 % 60), (unsigned long)(a / 1000 % 60),
                 (unsigned long)(a % 1000), hemisphere);
}

void rdata_lines(Rdata& d, uint16_t type) {
    const Bytes& rd = d.rd;
    int32_t t = d.node;
    char name[NAME_SIZE];
    switch (type) {
    case 1:  // A
        if (d.has(0, 4)) line(t, d.msg, d.start, d.r, "Address : %s", ipv4_text(rd.at(0)));
        break;
    case 2:  // NS
    case 5:  // CNAME
    case 12: // PTR
        if (d.name(0, name) >= 0)
            line(t, d.msg, d.start, d.r, "%s : %s",
                 type == 2 ? "Name server" : type == 5 ? "Primary name" : "RDATA", name);
        break;
    case 6: {  // SOA
        int n1 = d.name(0, name);
        if (n1 < 0) break;
        d.name_line(0, n1, "Name server", name);
        int n2 = d.name(n1, name);
        if (n2 < 0) break;
        d.name_line(n1, n2, "Mailbox", name);
        static const char* const labels[5] = {
            "Serial number", "Refresh interval", "Retry interval", "Expire limit", "Minimum TTL",
        };
        for (int i = 0, o = n1 + n2; i < 5; ++i, o += 4) {
            if (!d.has(o, 4)) break;
            line(t, rd, o, 4, "%s : %lu", labels[i], (unsigned long)rd.be32(o));
        }
        break;
    }
    case 11: {  // WKS
        if (!d.has(0, 4)) break;
        line(t, rd, 0, 4, "ADDRESS : %s", ipv4_text(rd.at(0)));
        if (!d.has(4, 1)) break;
        uint8_t protocol = rd.u8(4);
        line(t, rd, 4, 1, "Protocol: %s", ip_protocol_name(protocol));
        for (int i = 5; i < d.r; ++i) {
            if (!d.has(i, 1)) break;
            uint8_t bits = rd.u8(i);
            if (bits == 0) continue;
            char list[LINE_SIZE];
            int n = 0;
            list[0] = 0;
            for (int b = 0; b < 8; ++b) {
                if (!(bits & (0x80 >> b))) continue;
                unsigned port = unsigned(i - 5) * 8 + unsigned(b);
                const char* sep = n > 0 ? ", " : "";
                if (protocol == 6)
                    n += format_textf(list + n, sizeof list - n, "%sTCP(%u)", sep, port);
                else if (protocol == 17)
                    n += format_textf(list + n, sizeof list - n, "%sUDP(%u)", sep, port);
                else
                    n += format_textf(list + n, sizeof list - n, "%s%u", sep, port);
            }
            line(t, rd, i, 1, "Bits : 0x%02x(%s)", bits, list);
        }
        break;
    }
    case 13: {  // HINFO
        int o = 0;
        for (const char* label : {"CPU", "OS"}) {
            if (!d.has(o, 1)) break;
            int len = rd.u8(o);
            if (!d.has(o + 1, len)) break;
            line(t, rd, o, 1 + len, "%s : %s", label, hex_text(rd.at(o + 1), len, 0));
            o += 1 + len;
        }
        break;
    }
    case 15:   // MX
    case 36: { // KX
        if (!d.has(0, 2)) break;
        line(t, rd, 0, 2, "Preference : %u", rd.be16(0));
        int n = d.name(2, name);
        if (n >= 0) d.name_line(2, n, type == 15 ? "Mailbox" : "Exchange", name);
        break;
    }
    case 16: {  // TXT
        for (int o = 0; o < d.r;) {
            if (!d.has(o, 1)) break;
            int len = rd.u8(o);
            if (!d.has(o + 1, len)) break;
            line(t, rd, o, 1 + len, "Text : %s", hex_text(rd.at(o + 1), len, 0));
            o += 1 + len;
        }
        break;
    }
    case 24: {  // SIG
        if (!d.has(0, 2)) break;
        uint16_t covered = rd.be16(0);
        line(t, rd, 0, 2, "Type covered : %s(%s)", type_mnemonic(covered), type_description(covered));
        if (!d.has(2, 1)) break;
        line(t, rd, 2, 1, "Algorithm : %s", value_name(rd.u8(2), security_algorithms, 2, 1));
        if (!d.has(3, 1)) break;
        line(t, rd, 3, 1, "Labels : %u", rd.u8(3));
        if (!d.has(4, 4)) break;
        line(t, rd, 4, 4, "Original TTL : %s", duration_text(rd.be32(4)));
        if (!d.has(8, 4)) break;
        line(t, rd, 8, 4, "Signature expiration : %s", calendar_text(rd.be32(8), 0));
        if (!d.has(12, 4)) break;
        line(t, rd, 12, 4, "Time inception : %s", calendar_text(rd.be32(12), 0));
        if (!d.has(16, 2)) break;
        line(t, rd, 16, 2, "Key tag : 0x%04X", rd.be16(16));
        int n = d.name(18, name);
        if (n < 0) break;
        d.name_line(18, n, "Signer's name", name);
        if (18 + n < d.r) line(t, rd, 18 + n, d.r - 18 - n, "Signature");
        break;
    }
    case 25: {  // KEY
        if (!d.has(0, 2)) break;
        uint16_t flags = rd.be16(0);
        int32_t f = line(t, rd, 0, 2, "Flags : 0x%04X", flags);
        line(f, rd, 0, 1, "%s",
             flag_text16(flags, 0, "Key prohibited for authentication", "Key permitted for authentication"));
        line(f, rd, 0, 1, "%s",
             flag_text16(flags, 1, "Key prohibited for confidentiality", "Key permitted for confidentiality"));
        if ((flags & 0xC000) != 0xC000) {
            line(f, rd, 0, 1, "%s",
                 flag_text16(flags, 6, "Key is associated with the owner named entity",
                             "Key is not associated with the owner named entity"));
            line(f, rd, 0, 1, "%s",
                 flag_text16(flags, 7, "This is a zone key for the owner named zone", "This is not a zone key"));
        }
        // The signatory field is the low nibble, in the second flag byte.
        line(f, rd, 1, 1, "%s : Signatory=%u", bit_text16(flags, 12, 4), flags & 0x0F);
        if (!d.has(2, 1)) break;
        line(t, rd, 2, 1, "Protocol : %u", rd.u8(2));
        if (!d.has(3, 1)) break;
        line(t, rd, 3, 1, "Algorithm : %s", value_name(rd.u8(3), security_algorithms, 2, 1));
        if (d.r > 4) line(t, rd, 4, d.r - 4, "Public key");
        break;
    }
    case 28:  // AAAA
        if (d.has(0, 16)) line(t, rd, 0, 16, "IPv6 address : %s", ipv6_text(rd.at(0)));
        break;
    case 29: {  // LOC
        if (!d.has(0, 1)) break;
        uint8_t version = rd.u8(0);
        line(t, rd, 0, 1, "Version : %u", version);
        if (version != 0) {
            line(t, d.msg, d.start, d.r, "LOC Data %ld byes", (long)d.r);
            break;
        }
        static const char* const sizes[3] = {"Size", "Horizontal precision", "Vertical precision"};
        for (int i = 0; i < 3; ++i) {
            if (!d.has(1 + i, 1)) return;
            line(t, rd, 1 + i, 1, "%s : %s m", sizes[i], loc_size_text(rd.u8(1 + i)));
        }
        if (!d.has(4, 4)) break;
        line(t, rd, 4, 4, "Latitude : %s", loc_angle_text(rd.be32(4), 'N', 'S'));
        if (!d.has(8, 4)) break;
        line(t, rd, 8, 4, "Longitude : %s", loc_angle_text(rd.be32(8), 'E', 'W'));
        if (!d.has(12, 4)) break;
        line(t, rd, 12, 4, "Altitude : %g m", double(int64_t(rd.be32(12)) - 10000000) / 100);
        break;
    }
    case 30: {  // NXT
        int n = d.name(0, name);
        if (n < 0) break;
        d.name_line(0, n, "Next domain name", name);
        for (int o = n; o < d.r; ++o) {
            if (!d.has(o, 1)) break;
            uint8_t bits = rd.u8(o);
            for (int b = 0; b < 8; ++b) {
                if (!(bits & (0x80 >> b))) continue;
                uint32_t code = uint32_t(o - n) * 8 + uint32_t(b);
                line(t, rd, o, 1, "RR type bit map : %s(%s)", type_mnemonic(code), type_description(code));
            }
        }
        break;
    }
    case 33: {  // SRV
        static const char* const labels[3] = {"Priority", "Weight", "Port"};
        for (int i = 0; i < 3; ++i) {
            if (!d.has(2 * i, 2)) return;
            line(t, rd, 2 * i, 2, "%s : %u", labels[i], rd.be16(2 * i));
        }
        int n = d.name(6, name);
        if (n >= 0) d.name_line(6, n, "Target", name);
        break;
    }
    case 37: {  // CERT
        if (!d.has(0, 2)) break;
        line(t, rd, 0, 2, "Type : %s", value_name(rd.be16(0), certificate_types, 2, 1));
        if (!d.has(2, 2)) break;
        line(t, rd, 2, 2, "Key tag : 0x%04X", rd.be16(2));
        if (!d.has(4, 1)) break;
        line(t, rd, 4, 1, "Algorithm : %s", value_name(rd.u8(4), security_algorithms, 1, 1));
        if (d.r > 5) line(t, rd, 5, d.r - 5, "Certificate");
        break;
    }
    case 38: {  // A6
        if (!d.has(0, 1)) break;
        int p = rd.u8(0);
        if (p > 128) {
            // No address has more than 128 bits: the rest cannot be placed.
            line(t, rd, 0, 1, "Prefix len : %u (invalid, above 128)", p);
            break;
        }
        line(t, rd, 0, 1, "Prefix len : %u", p);
        int suffix = p == 128 ? 0 : (127 - p) / 8 + 1;
        if (p < 128) {
            if (!d.has(1, suffix)) break;
            uint8_t address[16] = {};
            std::memcpy(address + 16 - suffix, rd.at(1), size_t(suffix));
            line(t, rd, 1, suffix, "Address suffix : %s", ipv6_text(address));
        }
        if (p >= 1) {
            int n = d.name(1 + suffix, name);
            if (n >= 0) line(t, d.msg, d.start + 1 + suffix, n, "Prefix name: %s", name);
        }
        break;
    }
    case 39: {  // DNAME
        int n = d.name(0, name);
        if (n >= 0) d.name_line(0, n, "Target name", name);
        break;
    }
    case 41:  // OPT
        line(t, d.msg, d.start, d.r, "OPT Data %ld bytes", (long)d.r);
        break;
    case 249: {  // TKEY
        int n = d.name(0, name);
        if (n < 0) break;
        d.name_line(0, n, "Algorithm name", name);
        int o = n;
        if (!d.has(o, 4)) break;
        line(t, rd, o, 4, "Inception time : %s", calendar_text(rd.be32(o), 0));
        if (!d.has(o + 4, 4)) break;
        line(t, rd, o + 4, 4, "Expiration times : %s", calendar_text(rd.be32(o + 4), 0));
        if (!d.has(o + 8, 2)) break;
        line(t, rd, o + 8, 2, "Mode : %s", value_name(rd.be16(o + 8), tkey_modes, 2, 0));
        if (!d.has(o + 10, 2)) break;
        line(t, rd, o + 10, 2, "Error code : %s", value_name(rd.be16(o + 10), tsig_errors, 2, 0));
        if (!d.has(o + 12, 2)) break;
        int key = rd.be16(o + 12);
        line(t, rd, o + 12, 2, "Key size : %u", unsigned(key));
        if (!d.has(o + 14, key)) break;
        line(t, rd, o + 14, key, "Key data");
        o += 14 + key;
        if (!d.has(o, 2)) break;
        int other = rd.be16(o);
        line(t, rd, o, 2, "Other size : %u", unsigned(other));
        if (!d.has(o + 2, other)) break;
        line(t, rd, o + 2, other, "Other data");
        break;
    }
    case 250: {  // TSIG
        int n = d.name(0, name);
        if (n < 0) break;
        d.name_line(0, n, "Algorithm name", name);
        int o = n;
        if (!d.has(o, 6)) break;
        line(t, rd, o, 6, "Time signed : %s%s", calendar_text(rd.be32(o + 2), 0),
             rd.be16(o) != 0 ? "(high bits set)" : "");
        if (!d.has(o + 6, 2)) break;
        line(t, rd, o + 6, 2, "Fudge : %u", rd.be16(o + 6));
        if (!d.has(o + 8, 2)) break;
        int mac = rd.be16(o + 8);
        line(t, rd, o + 8, 2, "MAC size : %u", unsigned(mac));
        if (!d.has(o + 10, mac)) break;
        line(t, rd, o + 10, mac, "MAC");
        o += 10 + mac;
        if (!d.has(o, 2)) break;
        line(t, rd, o, 2, "Original ID : %u", rd.be16(o));
        if (!d.has(o + 2, 2)) break;
        line(t, rd, o + 2, 2, "Error : %s", value_name(rd.be16(o + 2), tsig_errors, 2, 0));
        if (!d.has(o + 4, 2)) break;
        int other = rd.be16(o + 4);
        line(t, rd, o + 4, 2, "Other length : %u", unsigned(other));
        if (!d.has(o + 6, other)) break;
        line(t, rd, o + 6, other, "Other data");
        break;
    }
    default:
        line(t, d.msg, d.start, d.r, "RDATA : %ld bytes", (long)d.r);
        break;
    }
}

// One question (zone) entry at pos; returns the bytes it takes.
int question_entry(int32_t parent, const Bytes& msg, int pos, int limit) {
    char name[NAME_SIZE];
    int n = decode_name(msg, pos, name, limit);
    int at = pos + n;
    if (!msg.has(at, 4)) {
        int32_t e = msg.has(at, 2)
                        ? line(parent, msg, pos, n + 4, "%s %s", name, value_name(msg.be16(at), types, 2, 0))
                        : line(parent, msg, pos, n + 4, "%s", name);
        line(e, msg, pos, n, "NAME : %s", name);
        if (msg.has(at, 2)) line(e, msg, at, 2, "TYPE : %s", value_name(msg.be16(at), types, 2, 0));
        line(e, msg, pos, n + 4, "Record truncated : %d bytes captured", msg.avail(pos, n + 4));
        return n + 4;
    }
    uint16_t type = msg.be16(at), klass = msg.be16(at + 2);
    int32_t e = line(parent, msg, pos, n + 4, "%s %s %s", name, value_name(type, types, 2, 0),
                     value_name(klass, classes, 2, 0));
    line(e, msg, pos, n, "NAME : %s", name);
    line(e, msg, at, 2, "TYPE : %s", value_name(type, types, 2, 0));
    line(e, msg, at + 2, 2, "CLASS : %s", value_name(klass, classes, 2, 0));
    return n + 4;
}

// One resource record at pos; returns the bytes it takes (name, 10, RDATA).
int resource_record(int32_t parent, const Bytes& msg, int pos, int limit) {
    char name[NAME_SIZE];
    int n = decode_name(msg, pos, name, limit);
    int at = pos + n;
    bool whole = msg.has(at, 10);
    // A record cut inside its fixed fields shows the fields captured whole.
    int r = whole ? msg.be16(at + 8) : 0;
    int32_t e = msg.has(at, 2)
                    ? line(parent, msg, pos, n + 10 + r, "%s %s", name, value_name(msg.be16(at), types, 2, 0))
                    : line(parent, msg, pos, n + 10, "%s", name);
    line(e, msg, pos, n, "NAME : %s", name);
    if (!msg.has(at, 2)) {
        line(e, msg, pos, n + 10, "Record truncated : %d bytes captured", msg.avail(pos, n + 10));
        return n + 10;
    }
    uint16_t type = msg.be16(at);
    line(e, msg, at, 2, "TYPE : %s", value_name(type, types, 2, 0));
    if (type == 41) {
        uint16_t flags = msg.be16(at + 6);
        if (msg.has(at + 2, 2)) line(e, msg, at + 2, 2, "UDP payload size : %ld", (long)msg.be16(at + 2));
        if (msg.has(at + 4, 1))
            line(e, msg, at + 4, 1, "Upper 8 bits of extended 12-bit RCODE : 0x%06X", unsigned(msg.u8(at + 4)) << 4);
        if (msg.has(at + 5, 1)) line(e, msg, at + 5, 1, "EDNS0 Version : %u", msg.u8(at + 5));
        if (msg.has(at + 6, 2)) {
            line(e, msg, at + 6, 2, "%s : DO bit=%s", bit_text16(flags, 0, 1), (flags & 0x8000) ? "ON" : "OFF");
            line(e, msg, at + 6, 2, "%s : Z=%u", bit_text16(flags, 1, 15), flags & 0x7FFFu);
        }
    } else {
        if (msg.has(at + 2, 2)) line(e, msg, at + 2, 2, "CLASS : %s", value_name(msg.be16(at + 2), classes, 2, 0));
        if (msg.has(at + 4, 4)) line(e, msg, at + 4, 4, "TTL : %s", duration_text(msg.be32(at + 4)));
    }
    if (!whole) {
        line(e, msg, pos, n + 10, "Record truncated : %d bytes captured", msg.avail(pos, n + 10));
        return n + 10;
    }
    line(e, msg, at + 8, 2, "Length : %ld", (long)r);
    if (r > 0) {
        Rdata d{msg, e, at + 10, r, limit, msg.sub(at + 10, r)};
        rdata_lines(d, type);
        if (!d.reported && !msg.has(at + 10, r))
            line(e, msg, at + 10, r, "RDATA truncated : %d of %d bytes captured", d.rd.size(), r);
    }
    return n + 10 + r;
}

// A question or record section from pos with left bytes of the message after it;
// returns the bytes its entries take (which may reach past the captured end).
int decode_section(int32_t parent, const Bytes& msg, int pos, int left, int count, bool question,
                   const char* title) {
    int length = section_length(msg, pos, left, count, question);
    int32_t h = question ? line(parent, msg, pos, length, "%s", title)
                         : line(parent, msg, pos, length, "%s Records", title);
    int consumed = 0;
    int i = 0;
    for (; i < count; ++i) {
        if (i > 0 && consumed >= length) break;
        int at = pos + consumed;
        if (at >= msg.size()) break;
        // The pointer walk limit counts from each entry: its offset plus the section length.
        int limit = at + length;
        consumed += question ? question_entry(h, msg, at, limit) : resource_record(h, msg, at, limit);
    }
    if (i < count)
        line(h, msg, msg.size(), 0, "Records not captured : %d of %d", count - i, count);
    return consumed;
}

void dns_summary(const Bytes& msg) {
    int size = msg.size();
    uint16_t flags = msg.be16(2);
    char text[1024];
    if (flags & 0x8000) {
        set_columnf(5, nullptr, 0, "Response(%s)", value_name(flags & 0x0F, response_codes, 2, 0));
        return;
    }
    int n = format_textf(text, sizeof text, "%s ", value_name(flags >> 11 & 0x0F, opcodes, 1, 0));
    int questions = msg.be16(4);
    int limit = size - HEADER;
    int left = size - HEADER;
    int pos = HEADER;
    char name[NAME_SIZE];
    // Every question takes at least 4 bytes, so the walk ends with the data.
    // Once the text is longer than a column holds, more names change nothing.
    for (int taken = 0; taken < questions && left > 0 && n < LINE_SIZE; ++taken) {
        int len = decode_name(msg, pos, name, limit);
        if (n < int(sizeof text) - 1) n += format_textf(text + n, sizeof text - n, "%s ", name);
        if (n > int(sizeof text) - 1) n = int(sizeof text) - 1;
        pos += len + 4;
        left -= len + 4;
    }
    set_column(text, 5, nullptr, 0);
}

void dns_detail(int32_t parent, const Bytes& data, const Bytes& msg, bool prefixed) {
    int size = msg.size();
    int32_t top = add_nodef(parent, msg.at(0), size, P_DNS, "Domain Name System");
    if (size < HEADER) {
        line(top, msg, 0, size, "DNS data %ld bytes", (long)size);
        return;
    }
    if (prefixed) line(top, data, 0, 2, "Prefix : %d", data.be16(0));
    uint16_t flags = msg.be16(2);
    int opcode = flags >> 11 & 0x0F, rcode = flags & 0x0F;
    bool update = opcode == 5;
    line(top, msg, 0, 2, "Identifier : 0x%04X", msg.be16(0));
    int32_t f = line(top, msg, 2, 2, "Flag field (0x%04X)", flags);
    unsigned qr = flags >> 15;
    line(f, msg, 2, 1, "%s : Message=%s(%u)", bit_text16(flags, 0, 1), qr ? "Response" : "Query", qr);
    line(f, msg, 2, 1, "%s : Opcode=%s", bit_text16(flags, 1, 4), value_name(opcode, opcodes, 1, 0));
    // Bits 0-7 lie in the first flag byte, bits 8-15 in the second.
    line(f, msg, 2, 1, "%s", flag_text16(flags, 5, "Authoritative Answer(ON)", "Authoritative Answer(OFF)"));
    line(f, msg, 2, 1, "%s", flag_text16(flags, 6, "TrunCation(ON)", "TrunCation(OFF)"));
    line(f, msg, 2, 1, "%s", flag_text16(flags, 7, "Recursion Desired(ON)", "Recursion Desired(OFF)"));
    line(f, msg, 3, 1, "%s", flag_text16(flags, 8, "Recursion Available(ON)", "Recursion Available(OFF)"));
    line(f, msg, 3, 1, "%s", flag_text16(flags, 10, "Authentic Data(ON)", "Authentic Data(OFF)"));
    line(f, msg, 3, 1, "%s", flag_text16(flags, 11, "Checking Disabled(ON)", "Checking Disabled(OFF)"));
    line(f, msg, 3, 1, "%s : Response code=%s", bit_text16(flags, 12, 4), value_name(rcode, response_codes, 1, 0));

    static const char* const count_names[2][4] = {
        {"Query count", "Answer count", "Authority count", "Additional information count"},
        {"Zone count", "Prerequisite count", "Update count", "Additional information count"},
    };
    static const char* const titles[2][4] = {
        {"Query Records", "Answer", "Authority", "Additional information"},
        {"Zone Records", "Prerequisite", "Update", "Additional information"},
    };
    int counts[4];
    for (int k = 0; k < 4; ++k) {
        counts[k] = msg.be16(4 + 2 * k);
        if (counts[k] != 0) line(top, msg, 4 + 2 * k, 2, "%s : %u", count_names[update][k], unsigned(counts[k]));
    }
    int pos = HEADER;
    for (int k = 0; k < 4; ++k) {
        if (counts[k] == 0) continue;
        pos += decode_section(top, msg, pos, size - pos, counts[k], k == 0, titles[update][k]);
    }
    if (pos < size) line(top, msg, pos, size - pos, "Records : %lu bytes", (unsigned long)(size - pos));
}

}  // namespace

void decode_dns(int32_t parent, Bytes data) {
    // Over TCP a two-byte length may come first; only an exact match is taken as one.
    bool prefixed = ctx().transport_protocol == 6 && data.has(0, 2) && data.be16(0) == data.size() - 2;
    Bytes msg = prefixed ? data.from(2) : data;
    if (parent == 0) {
        set_column("DNS", 4, msg.at(0), P_DNS);
        if (!text_columns_wanted()) return;
        if (msg.size() < HEADER)
            set_columnf(5, nullptr, 0, "DNS data %ld octets", (long)msg.size());
        else
            dns_summary(msg);
        return;
    }
    dns_detail(parent, data, msg, prefixed);
}

}  // namespace zelpan
