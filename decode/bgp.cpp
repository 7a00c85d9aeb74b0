// BGP-4 over TCP: messages found by their marker, OPEN with its optional
// parameters and capabilities, UPDATE with path attributes (multiprotocol
// reachability, communities, extended communities) and prefixes, NOTIFICATION and
// ROUTE-REFRESH.
//
// Each message is read through its own view, which ends where its length says or
// where the capture ends, whichever comes first; every list inside it is read
// through a narrower view again, so no length field can lead a read astray.
#include <cstdio>
#include <cstring>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/format.h"
#include "decode/text_format.h"

namespace zelpan {

namespace {

constexpr int HEADER = 19;
constexpr int MAX_LENGTH = 4096;
constexpr int PREFIX_TEXT = 256;

constexpr NameEntry message_types[] = {
    {1, "OPEN Message"}, {2, "UPDATE Message"}, {3, "NOTIFICATION Message"}, {4, "KEEPALIVE Message"},
    {5, "ROUTE REFRESH Message"}, {128, "Cisco ROUTE REFRESH Message"}, {0, nullptr},
};

constexpr NameEntry afis[] = {
    {0, "Reserved"}, {1, "IP"}, {2, "IP6"}, {3, "NSAP"}, {4, "HDLC (8-bit multidrop)"}, {5, "BBN 1822"},
    {6, "802"}, {7, "E.163"}, {8, "E.164"}, {9, "F.69"}, {10, "X.121"}, {11, "IPX"}, {12, "Appletalk"},
    {13, "Decnet IV"}, {14, "Banyan Vines"}, {15, "E.164 with NSAP subaddress"}, {65535, "Reserved"},
    {0, nullptr},
};

constexpr NameEntry safis[] = {
    {0, "Reserved"}, {1, "Unicast"}, {2, "Multicast"}, {3, "Unicast+Multicast"}, {4, "MPLS Labeled Prefix"},
    {128, "Labeled VPN-IPv4"}, {0, nullptr},
};

constexpr NameEntry orf_types[] = {
    {2, "Communities ORF-Type"}, {3, "Extended Communities ORF-Type"}, {0, nullptr},
};
constexpr NameEntry send_receive[] = {{1, "Receive"}, {2, "Send"}, {3, "Both"}, {0, nullptr}};

constexpr NameEntry error_codes[] = {
    {1, "Message Header Error"}, {2, "OPEN Message Error"}, {3, "UPDATE Message Error"},
    {4, "Hold Timer Expired"}, {5, "Finite State Machine Error"}, {6, "Cease"}, {0, nullptr},
};
constexpr NameEntry header_errors[] = {
    {1, "Connection Not Synchronized"}, {2, "Bad Message Length"}, {3, "Bad Message Type"}, {0, nullptr},
};
constexpr NameEntry open_errors[] = {
    {1, "Unsupported Version Number"}, {2, "Bad Peer AS"}, {3, "Bad BGP Identifier"},
    {4, "Unsupported Optional Parameter"}, {5, "Authentication Failure"}, {6, "Unacceptable Hold Time"},
    {7, "Unsupported Capability"}, {0, nullptr},
};
constexpr NameEntry update_errors[] = {
    {1, "Malformed Attribute List"}, {2, "Unrecognized Well-known Attribute"},
    {3, "Missing Well-known Attribute"}, {4, "Attribute Flags Error"}, {5, "Attribute Length Error"},
    {6, "Invalid ORIGIN Attribute"}, {7, "AS Routing Loop"}, {8, "Invalid NEXT_HOP Attribute"},
    {9, "Optional Attribute Error"}, {10, "Invalid Network Field"}, {11, "Malformed AS_PATH"},
    {0, nullptr},
};

constexpr NameEntry attribute_types[] = {
    {1, "ORIGIN"}, {2, "AS_PATH"}, {3, "NEXT_HOP"}, {4, "MULTI_EXIT_DISC"}, {5, "LOCAL_PREF"},
    {6, "ATOMIC_AGGREGATE"}, {7, "AGGREGATOR"}, {8, "COMMUNITIES"}, {9, "ORIGINATOR_ID"},
    {10, "CLUSTER_LIST"}, {14, "MP_REACH_NLRI"}, {15, "MP_UNREACH_NLRI"}, {16, "EXTENDED_COMMUNITIES"},
    {0, nullptr},
};

constexpr NameEntry origins[] = {{0, "IGP"}, {1, "EGP"}, {2, "INCOMPLETE"}, {0, nullptr}};
constexpr NameEntry segment_types[] = {
    {1, "AS_SET"}, {2, "AS_SEQUENCE"}, {3, "AS_CONFED_SEQUENCE"}, {4, "AS_CONFED_SET"}, {0, nullptr},
};

constexpr NameEntry well_known_communities[] = {
    {0xFFFFFF01, "NO_EXPORT"}, {0xFFFFFF02, "NO_ADVERTISE"}, {0xFFFFFF03, "NO_EXPORT_SUBCONFED"},
    {0, nullptr},
};

constexpr NameEntry extended_community_types[] = {
    {0x0002, "Route Target"}, {0x0102, "Route Target"}, {0x0003, "Route Origin"}, {0x0103, "Route Origin"},
    {0x4004, "Link Bandwidth"}, {0x0005, "OSPF Domain"}, {0x8000, "OSPF Route Type"},
    {0x8001, "OSPF Router ID"}, {0, nullptr},
};
constexpr NameEntry ospf_route_types[] = {{1, "Router"}, {2, "Network"}, {3, "Summary"}, {0, nullptr}};

const char* message_node_name(uint8_t type) {
    switch (type) {
    case 1: return "OPEN Message";
    case 2: return "UPDATE Message";
    case 3: return "NOTIFICATION Message";
    case 4: return "KEEPALIVE Message";
    case 5:
    case 128: return "ROUTE REFRESH Message";
    default: return "BGP Message";
    }
}

const char* afi_text(uint16_t afi) { return value_name(afi, afis, 2, 0); }
const char* safi_text(uint8_t safi) { return value_name(safi, safis, 1, 0); }

// A list whose next element claims more bytes than its enclosing data holds: the
// walk ends here, and the line says why.
void overrun_line(int32_t parent, const Bytes& v, int at, const char* what, long length) {
    node(parent, v, at, v.size() - at, "%s : length %ld runs past the end of the data (%d bytes left)", what,
         length, v.size() - at);
}

// A value shorter than its fixed layout.
void short_value(int32_t parent, const Bytes& v, int need) {
    node(parent, v, 0, v.size(), "Value too short : %d of %d bytes", v.size(), need);
}

// The message body ends (by its length or by the capture) before the next field.
void body_cut(int32_t parent, const Bytes& m) {
    int have = m.size() > HEADER ? m.size() - HEADER : 0;
    node(parent, m, HEADER, have, "Message body truncated : %d bytes", have);
}

bool supported_safi(uint8_t safi) { return (safi >= 1 && safi <= 4) || safi == 128; }

// Route distinguisher text "AS:number" or "address:number"; false for other types.
bool rd_text(const Bytes& v, int at, char* out, size_t size) {
    uint16_t type = v.be16(at);
    if (type == 0)
        format_textf(out, size, "%u:%lu", v.be16(at + 2), (unsigned long)v.be32(at + 4));
    else if (type == 1)
        format_textf(out, size, "%s:%u", ipv4_text(v.at(at + 2)), v.be16(at + 6));
    else
        return false;
    return true;
}

// One prefix of the given family at v[at]: its text in out and the bytes it takes,
// or -1 when it is invalid or cannot be read whole (the list ends there; out still
// says why when there is something to say, else it is empty).
int prefix_text(uint16_t afi, uint8_t safi, const Bytes& v, int at, char* out, size_t size) {
    out[0] = 0;
    if (afi != 1 && afi != 2) {
        format_textf(out, size, "Unknown AFI(%u)", afi);
        return -1;
    }
    if (!supported_safi(safi) || (afi == 2 && safi == 128)) {
        format_textf(out, size, "Unkown SAFI(%u)", safi);
        return -1;
    }
    if (!v.has(at, 1)) return -1;
    int bits = v.u8(at);
    if (safi == 128) {
        // Label stack, route distinguisher, then the IPv4 prefix, all counted in bits.
        char labels[PREFIX_TEXT] = "";
        int p = at + 1;
        int left = bits;
        for (;;) {
            if (left < 24 || !v.has(p, 3)) {
                format_textf(out, size, "Invalid labeled VPN-IPv4 prefix length : %d", bits);
                return -1;
            }
            uint32_t word = v.be24(p);
            bool bottom = word & 1;
            char next[PREFIX_TEXT];
            format_textf(next, sizeof next, "%s%u%s", labels, word >> 4, bottom ? " (bottom)" : ",");
            std::memcpy(labels, next, sizeof labels);
            p += 3;
            left -= 24;
            if (bottom) break;
        }
        if (left < 64 || left - 64 > 32 || !v.has(p, 8)) {
            format_textf(out, size, "Invalid labeled VPN-IPv4 prefix length : %d", bits);
            return -1;
        }
        int plen = left - 64;
        int bytes = (plen + 7) / 8;
        uint16_t rd_type = v.be16(p);
        if (!v.has(p + 8, bytes)) {
            format_textf(out, size, "Invalid labeled VPN-IPv4 prefix length : %d", bits);
            return -1;
        }
        uint8_t address[4] = {};
        std::memcpy(address, v.at(p + 8), size_t(bytes));
        if (rd_type == 0)
            format_textf(out, size, "Label Stack=%s RD=%u:%lu, IP=%s/%ld", labels, v.be16(p + 2),
                          (unsigned long)v.be32(p + 4), ipv4_text(address), long(plen));
        else if (rd_type == 1)
            format_textf(out, size, "Label Stack=%s RD=%s:%u, IP=%s/%ld", labels, ipv4_text(v.at(p + 2)),
                          v.be16(p + 6), ipv4_text(address), long(plen));
        else
            format_textf(out, size, "Unkown labeled VPN-IPv4 address format(%u)", rd_type);
        return p + 8 + bytes - at;
    }
    int max = afi == 1 ? 32 : 128;
    int bytes = (bits + 7) / 8;
    if (bits > max) {
        format_textf(out, size, "Invalid prefix length : %d", bits);
        return -1;
    }
    if (!v.has(at + 1, bytes)) {
        format_textf(out, size, "Prefix : length %d runs past the end of the data (%d bytes left)", bits,
                      v.size() - at);
        return -1;
    }
    uint8_t address[16] = {};
    std::memcpy(address, v.at(at + 1), size_t(bytes));
    if (afi == 1)
        format_textf(out, size, "%s/%ld", ipv4_text(address), long(bits));
    else
        format_textf(out, size, "%s/%d", ipv6_text(address), bits);
    return 1 + bytes;
}

// One line per prefix of v; an invalid prefix ends the list.
void prefix_lines(int32_t parent, uint16_t afi, uint8_t safi, const Bytes& v) {
    char text[PREFIX_TEXT];
    int at = 0;
    while (at < v.size()) {
        int n = prefix_text(afi, safi, v, at, text, sizeof text);
        if (n < 0) {
            if (text[0]) node(parent, v, at, v.size() - at, "%s", text);
            return;
        }
        node(parent, v, at, n, "%s", text);
        at += n;
    }
}

// ---- OPEN ----

void capability_lines(int32_t parent, const Bytes& v) {
    int at = 0;
    while (at < v.size()) {
        if (!v.has(at, 2)) {
            overrun_line(parent, v, at, "Capability", 2);
            return;
        }
        uint8_t code = v.u8(at);
        long len = v.u8(at + 1);
        if (!v.has(at + 2, int(len))) {
            overrun_line(parent, v, at, "Capability", len);
            return;
        }
        Bytes c = v.sub(at, int(len) + 2);
        Bytes value = c.from(2);
        int size = c.size();
        switch (code) {
        case 0: {
            int32_t n = node(parent, c, 0, size, "Reserved Capability(%ld bytes)", len);
            node(n, c, 0, 1, "Code : Reserved(%ld)", long(code));
            node(n, c, 1, 1, "Length : %ld", len);
            break;
        }
        case 1: {
            int32_t n = node(parent, c, 0, size, "Multiprotocol extensions Capability(%ld bytes)", len);
            node(n, c, 0, 1, "Code : Multiprotocol extensions(%ld)", long(code));
            node(n, c, 1, 1, "Length : %ld", len);
            if (!value.has(0, 4)) {
                short_value(n, value, 4);
                break;
            }
            node(n, value, 0, 2, "Address Family Identifier(AFI) : %s", afi_text(value.be16(0)));
            node(n, value, 3, 1, "Subsequent Address Family Identifier(SAFI) : %s", safi_text(value.u8(3)));
            break;
        }
        case 2:
        case 128: {
            int32_t n = node(parent, c, 0, size, "Route refresh Capability(%ld bytes)", len);
            node(n, c, 0, 1, "Code : Route refresh(%ld)", long(code));
            node(n, c, 1, 1, "Length : %ld", len);
            break;
        }
        case 3: {
            int32_t n = node(parent, c, 0, size, "Cooperative route filtering Capability(%ld bytes)", len);
            node(n, c, 0, 1, "Code : Cooperative route filtering(%ld)", long(code));
            node(n, c, 1, 1, "Length : %ld", len);
            if (!value.has(0, 5)) {
                short_value(n, value, 5);
                break;
            }
            node(n, value, 0, 2, "Address Family Identifier(AFI) : %s", afi_text(value.be16(0)));
            node(n, value, 3, 1, "Subsequent Address Family Identifier(SAFI) : %s", safi_text(value.u8(3)));
            long count = value.u8(4);
            node(n, value, 4, 1, "Number of ORF Types : %ld", count);
            int p = 5;
            for (long i = 0; i < count; ++i, p += 2) {
                if (!value.has(p, 2)) {
                    overrun_line(n, value, p, "ORF Type", 2);
                    break;
                }
                node(n, value, p, 1, "ORF Type : %s", value_name(value.u8(p), orf_types, 1, 0));
                node(n, value, p + 1, 1, "Send/Receive : %s", value_name(value.u8(p + 1), send_receive, 1, 0));
            }
            break;
        }
        default:
            node(parent, c, 0, size, "Unknown Capability(%ld) : %ld bytes", long(code), len);
            break;
        }
        at += size;
    }
}

void open_body(int32_t parent, const Bytes& m) {
    if (!m.has(HEADER, 10)) return body_cut(parent, m);
    node(parent, m, 19, 1, "Version : %u", m.u8(19));
    node(parent, m, 20, 2, "My Autonomous System : %u", m.be16(20));
    node(parent, m, 22, 2, "Hold Time : %u", m.be16(22));
    node(parent, m, 24, 4, "BGP Identifier : %s", ipv4_text(m.at(24)));
    long length = m.u8(28);
    node(parent, m, 28, 1, "Optional Parameters Length : %u bytes", unsigned(length));
    if (length == 0) return;
    Bytes params = m.sub(29, int(length));
    int32_t o = node(parent, m, 29, int(length), "Optional Parameters(%ld bytes)", length);
    int at = 0;
    while (at < params.size()) {
        if (!params.has(at, 2)) {
            overrun_line(o, params, at, "Optional Parameter", 2);
            return;
        }
        uint8_t type = params.u8(at);
        long len = params.u8(at + 1);
        if (!params.has(at + 2, int(len))) {
            overrun_line(o, params, at, "Optional Parameter", len);
            return;
        }
        Bytes p = params.sub(at, int(len) + 2);
        if (type == 1) {
            node(o, p, 0, p.size(), "Authentication Information(%ld bytes)", len);
        } else if (type == 2) {
            int32_t c = node(o, p, 0, p.size(), "Capabilities Optional Parameter(%ld bytes)", len);
            node(c, p, 0, 1, "Type : Capabilities(%ld)", long(type));
            node(c, p, 1, 1, "Length : %ld bytes", len);
            capability_lines(c, p.from(2));
        } else {
            node(o, p, 0, p.size(), "Unknown Optional Parameter");
        }
        at += p.size();
    }
}

// ---- UPDATE ----

void flag_lines(int32_t parent, const Bytes& a, uint8_t flags) {
    int32_t f = node(parent, a, 0, 1, "Flags(0x%02x)", flags);
    node(f, a, 0, 1, "%s", flag_text8(flags, 0, "optional", "well-known"));
    node(f, a, 0, 1, "%s", flag_text8(flags, 1, "transitive", "non-transitive"));
    node(f, a, 0, 1, "%s", flag_text8(flags, 2, "partial", "complete"));
    node(f, a, 0, 1, "%s", flag_text8(flags, 3, "two octets", "one octets"));
}

void as_path_lines(int32_t parent, const Bytes& v) {
    int at = 0;
    while (at < v.size()) {
        if (!v.has(at, 2)) {
            overrun_line(parent, v, at, "AS Path Segment", 2);
            return;
        }
        uint8_t type = v.u8(at);
        long count = v.u8(at + 1);
        if (!v.has(at + 2, int(count) * 2)) {
            overrun_line(parent, v, at, "AS Path Segment", count * 2);
            return;
        }
        const char* name = value_name(type, segment_types, 1, 0);
        int32_t s = node(parent, v, at, 2 + int(count) * 2, "AS Path Segment : %s", name);
        node(s, v, at, 1, "Segment Type : %s", name);
        node(s, v, at + 1, 1, "Segment Length : %ld", count);
        for (int i = 0; i < count; ++i) node(s, v, at + 2 + 2 * i, 2, "Segment Value : %u", v.be16(at + 2 + 2 * i));
        at += 2 + int(count) * 2;
    }
}

void community_lines(int32_t parent, const Bytes& v) {
    int at = 0;
    for (; v.has(at, 4); at += 4) {
        uint32_t c = v.be32(at);
        if (lookup_name(c, well_known_communities)) {
            node(parent, v, at, 4, "Community : %s", value_name(c, well_known_communities, 4, 1));
        } else {
            int32_t n = node(parent, v, at, 4, "Community : %u:%u", c >> 16, c & 0xFFFF);
            node(n, v, at, 2, "Community AS : %u", c >> 16);
            node(n, v, at + 2, 2, "Community Value : %u", c & 0xFFFF);
        }
    }
    if (at < v.size()) short_value(parent, v.from(at), 4);
}

void extended_community_lines(int32_t parent, const Bytes& v) {
    int32_t e = node(parent, v, 0, v.size(), "Extended Communitys(%ld byes)", long(v.size()));
    int at = 0;
    for (; v.has(at, 8); at += 8) {
        uint16_t type = v.be16(at);
        const char* name = lookup_name(type, extended_community_types);
        switch (type) {
        case 0x0002:
        case 0x0003:
            node(e, v, at, 8, "%s : %u : %lu", name, v.be16(at + 2), (unsigned long)v.be32(at + 4));
            break;
        case 0x0102:
        case 0x0103:
            node(e, v, at, 8, "%s : %s : %u", name, ipv4_text(v.at(at + 2)), v.be16(at + 6));
            break;
        case 0x0005:
        case 0x8001:
            node(e, v, at, 8, "%s : %s", name, ipv4_text(v.at(at + 2)));
            break;
        case 0x4004: {
            uint32_t bits = v.be32(at + 4);
            float bandwidth;
            std::memcpy(&bandwidth, &bits, sizeof bandwidth);
            node(e, v, at, 8, "%s : %f bytes/sec", name, double(bandwidth));
            break;
        }
        case 0x8000:
            node(e, v, at, 8, "%s : Area %s, %s, Options 0x%02X", name, ipv4_text(v.at(at + 2)),
                 value_name(v.u8(at + 6), ospf_route_types, 1, 0), v.u8(at + 7));
            break;
        default:
            node(e, v, at, 8, "%s : %s", value_name(type, extended_community_types, 2, 1),
                 hex_text(v.at(at + 2), 6, 0));
            break;
        }
    }
    if (at < v.size()) short_value(e, v.from(at), 8);
}

void next_hop_lines(int32_t parent, uint16_t afi, uint8_t safi, const Bytes& v) {
    int size;
    if (afi == 1 && safi == 128)
        size = 12;
    else if (afi == 1 && supported_safi(safi))
        size = 4;
    else if (afi == 2 && supported_safi(safi) && safi != 128)
        size = 16;
    else {
        if (afi != 1 && afi != 2)
            node(parent, v, 0, v.size(), "Next hop : Unknown AFI(%u)", afi);
        else
            node(parent, v, 0, v.size(), "Next hop : Unkown SAFI(%u)", safi);
        return;
    }
    int at = 0;
    for (; v.has(at, size); at += size) {
        if (size == 4) {
            node(parent, v, at, 4, "Next hop : %s", ipv4_text(v.at(at)));
        } else if (size == 16) {
            node(parent, v, at, 16, "Next hop : %s", ipv6_text(v.at(at)));
        } else {
            char rd[64];
            uint16_t type = v.be16(at);
            if (rd_text(v, at, rd, sizeof rd))
                node(parent, v, at, 12, "Next hop : Empty Label Stack RD=%s IP=%s", rd, ipv4_text(v.at(at + 8)));
            else
                node(parent, v, at, 12, "Next hop : Unknown labeled VPN-IPv4 address format(%u)", type);
        }
    }
    if (at < v.size()) short_value(parent, v.from(at), size);
}

void mp_reach_lines(int32_t parent, const Bytes& v) {
    if (!v.has(0, 4)) return short_value(parent, v, 4);
    uint16_t afi = v.be16(0);
    uint8_t safi = v.u8(2);
    long nh = v.u8(3);
    node(parent, v, 0, 2, "Address Family Identifier(AFI) : %s", afi_text(afi));
    node(parent, v, 2, 1, "Subsequent Address Family Identifier(SAFI) : %s", safi_text(safi));
    node(parent, v, 3, 1, "Length of Next Hop Network Address : %ld", nh);
    if (!v.has(4, int(nh))) return overrun_line(parent, v, 4, "Next Hop Network Address", nh);
    int32_t h = node(parent, v, 4, int(nh), "Next Hop Network Address(%ld bytes)", nh);
    next_hop_lines(h, afi, safi, v.sub(4, int(nh)));
    int at = 4 + int(nh);
    if (!v.has(at, 1)) return short_value(parent, v, at + 1);
    long snpas = v.u8(at);
    node(parent, v, at, 1, "Number of SNPAs : %ld", snpas);
    ++at;
    // SNPA lengths count semi-octets.
    int end = at;
    for (long i = 0; i < snpas; ++i) {
        if (!v.has(end, 1)) break;
        int bytes = (v.u8(end) + 1) / 2;
        if (!v.has(end + 1, bytes)) break;
        end += 1 + bytes;
    }
    int32_t s = node(parent, v, at, end - at, "Subnetwork Points of Attachment(SNPA)(%ld bytes)", long(end - at));
    for (long i = 0; i < snpas; ++i) {
        if (!v.has(at, 1)) return overrun_line(s, v, at, "SNPA", 1);
        long len = v.u8(at);
        int bytes = int(len + 1) / 2;
        if (!v.has(at + 1, bytes)) return overrun_line(s, v, at, "SNPA", bytes);
        node(s, v, at, 1, "SNPA Length : %ld", len);
        node(s, v, at + 1, bytes, "SNPA(%ld bytes)", long(bytes));
        at += 1 + bytes;
    }
    Bytes nlri = v.from(at);
    int32_t n = node(parent, v, at, nlri.size(), "Network Layer Reachability Information(NLRI)(%ld bytes)",
                     long(nlri.size()));
    prefix_lines(n, afi, safi, nlri);
}

void mp_unreach_lines(int32_t parent, const Bytes& v) {
    if (!v.has(0, 3)) return short_value(parent, v, 3);
    uint16_t afi = v.be16(0);
    uint8_t safi = v.u8(2);
    node(parent, v, 0, 2, "Address Family Identifier(AFI) : %s", afi_text(afi));
    node(parent, v, 2, 1, "Subsequent Address Family Identifier(SAFI) : %s", safi_text(safi));
    Bytes routes = v.from(3);
    int32_t w = node(parent, v, 3, routes.size(), "Withdrawn Routes(%ld bytes)", long(routes.size()));
    prefix_lines(w, afi, safi, routes);
}

// The value lines of one attribute; v holds exactly its value bytes.
void attribute_value(int32_t a, uint8_t type, const Bytes& v) {
    auto need = [&](int n) {
        if (v.has(0, n)) return true;
        short_value(a, v, n);
        return false;
    };
    switch (type) {
    case 1:
        if (need(1)) node(a, v, 0, 1, "Value : %s", value_name(v.u8(0), origins, 1, 0));
        break;
    case 2: as_path_lines(a, v); break;
    case 3:
        if (need(4)) node(a, v, 0, 4, "Next Hop : %s", ipv4_text(v.at(0)));
        break;
    case 4:
        if (need(4)) node(a, v, 0, 4, "Multiple exit discriminator : %lu", (unsigned long)v.be32(0));
        break;
    case 5:
        if (need(4)) node(a, v, 0, 4, "Local preference : %lu", (unsigned long)v.be32(0));
        break;
    case 6: break;
    case 7:
        if (!need(6)) break;
        node(a, v, 0, 2, "AS number : %u", v.be16(0));
        node(a, v, 2, 4, "Aggregate route : %s", ipv4_text(v.at(2)));
        break;
    case 8: community_lines(a, v); break;
    case 9:
        if (need(4)) node(a, v, 0, 4, "Originator identifier : %s", ipv4_text(v.at(0)));
        break;
    case 10: {
        int at = 0;
        for (; v.has(at, 4); at += 4) node(a, v, at, 4, "Cluster identifier : %s", ipv4_text(v.at(at)));
        if (at < v.size()) short_value(a, v.from(at), 4);
        break;
    }
    case 14: mp_reach_lines(a, v); break;
    case 15: mp_unreach_lines(a, v); break;
    case 16: extended_community_lines(a, v); break;
    default: node(a, v, 0, v.size(), "Invalid Path Attribute(%u) : %ld bytes", type, long(v.size())); break;
    }
}

// The attribute walk always advances by at least the attribute header, so it ends
// even on values of length 0 (ATOMIC_AGGREGATE has no other length).
void attribute_lines(int32_t parent, const Bytes& v) {
    int at = 0;
    while (at < v.size()) {
        uint8_t flags = v.u8(at);
        int head = (flags & 0x10) ? 4 : 3;
        if (!v.has(at, head)) {
            overrun_line(parent, v, at, "Path Attribute", head);
            return;
        }
        uint8_t type = v.u8(at + 1);
        long len = head == 4 ? v.be16(at + 2) : v.u8(at + 2);
        const char* name = lookup_name(type, attribute_types);
        if (!name) name = "Unknown";
        if (!v.has(at + head, int(len))) {
            overrun_line(parent, v, at, name, len);
            return;
        }
        Bytes attr = v.sub(at, head + int(len));
        int32_t a = node(parent, attr, 0, attr.size(), "%s", name);
        flag_lines(a, attr, flags);
        node(a, attr, 1, 1, "Type Code : %s", value_name(type, attribute_types, 1, 0));
        node(a, attr, 2, head - 2, "Length : %ld bytes", len);
        attribute_value(a, type, attr.from(head));
        at += attr.size();
    }
}

void update_body(int32_t parent, const Bytes& m) {
    if (!m.has(HEADER, 2)) return body_cut(parent, m);
    long withdrawn = m.be16(19);
    node(parent, m, 19, 2, "Unfeasible Routes Length : %ld bytes", withdrawn);
    if (withdrawn != 0) {
        int32_t w = node(parent, m, 21, int(withdrawn), "Withdrawn Routes(%ld bytes)", withdrawn);
        prefix_lines(w, 1, 1, m.sub(21, int(withdrawn)));
    }
    int at = 21 + int(withdrawn);
    if (!m.has(at, 2)) return body_cut(parent, m);
    long total = m.be16(at);
    node(parent, m, at, 2, "Total Path Attribute Length : %ld bytes", total);
    at += 2;
    int32_t p = node(parent, m, at, int(total), "Path Attributes(%ld bytes)", total);
    attribute_lines(p, m.sub(at, int(total)));
    at += int(total);
    if (at > m.size()) return;
    Bytes nlri = m.from(at);
    int32_t n = node(parent, m, at, nlri.size(), "Network Layer Reachability Information(NLRI)(%ld bytes)",
                     long(nlri.size()));
    prefix_lines(n, 1, 1, nlri);
}

// ---- NOTIFICATION and ROUTE-REFRESH ----

void notification_body(int32_t parent, const Bytes& m, long length) {
    if (!m.has(HEADER, 2)) return body_cut(parent, m);
    uint8_t code = m.u8(19), subcode = m.u8(20);
    node(parent, m, 19, 1, "Error Code : %s", value_name(code, error_codes, 1, 0));
    const NameEntry* table = code == 1 ? header_errors : code == 2 ? open_errors : code == 3 ? update_errors : nullptr;
    if (table)
        node(parent, m, 20, 1, "Error subcode : %s", value_name(subcode, table, 1, 0));
    else
        node(parent, m, 20, 1, "Error subcode : %s(%u)", subcode ? "Unknown" : "Unspecific", subcode);
    if (length >= 22) node(parent, m, 21, int(length - 21), "Data %ld bytes", length - 21);
}

void route_refresh_body(int32_t parent, const Bytes& m) {
    if (!m.has(HEADER, 4)) return body_cut(parent, m);
    node(parent, m, 19, 2, "Address Family Identifier(AFI) : %s", afi_text(m.be16(19)));
    node(parent, m, 22, 1, "Subsequent Address Family Identifier(SAFI) : %s", safi_text(m.u8(22)));
}

bool marker_at(const Bytes& data, int at) {
    for (int i = 0; i < 16; ++i)
        if (data.u8(at + i) != 0xFF) return false;
    return true;
}

// Appends " name(type)" (no blank before the first) to the summary text.
void append_type(char* out, size_t size, size_t& used, uint8_t type) {
    if (used + 1 >= size) return;
    int n = format_textf(out + used, size - used, "%s%s", used ? " " : "", value_name(type, message_types, 1, 0));
    if (n > 0) used += size_t(n) < size - used ? size_t(n) : size - used - 1;
}

}  // namespace

void decode_bgp(int32_t parent, Bytes data) {
    int32_t b = 0;
    if (parent != 0) b = add_nodef(parent, data.at(0), data.size(), P_BGP, "Border Gateway Protocol");
    if (data.size() <= HEADER - 1) return;

    char types[1024];
    size_t used = 0;
    types[0] = 0;
    bool first = true;
    const bool columns = parent == 0 && text_columns_wanted();

    int at = 0;
    while (at + HEADER <= data.size()) {
        if (!marker_at(data, at)) {
            ++at;
            continue;
        }
        long length = data.be16(at + 16);
        uint8_t type = data.u8(at + 18);
        if (parent == 0) {
            if (first) set_column("BGP", 4, data.at(at), P_BGP);
            first = false;
            if (!columns) return;  // layer index: the first message is all it needs
            append_type(types, sizeof types, used, type);
        } else {
            // A length below the header still covers (and steps past) the header.
            int span = length < HEADER ? HEADER : int(length);
            Bytes m = data.sub(at, span);
            int32_t n = node(b, m, 0, span, "%s", message_node_name(type));
            node(n, m, 0, 16, "Marker : 16 bytes");
            if (length < HEADER || length > MAX_LENGTH)
                node(n, m, 16, 2, "Length : %ld bytes(invalid)", length);
            else
                node(n, m, 16, 2, "Length : %ld bytes", length);
            node(n, m, 18, 1, "Type : %s", value_name(type, message_types, 1, 0));
            // A length below the header leaves no body to read.
            if (length >= HEADER) {
                switch (type) {
                case 1: open_body(n, m); break;
                case 2: update_body(n, m); break;
                case 3: notification_body(n, m, length); break;
                case 5:
                case 128: route_refresh_body(n, m); break;
                default: break;
                }
            }
        }
        at += length < HEADER ? HEADER : int(length);
    }
    if (columns && !first) set_column(types, 5, nullptr, 0);
}

}  // namespace zelpan
