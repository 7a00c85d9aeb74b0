// OSPF versions 2 and 3: the five packet types, every LSA body, and the MPLS
// traffic-engineering opaque LSA with its link sub-TLVs.
#include <cstring>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/format.h"

namespace zelpan {

namespace {

constexpr int V2_HEADER = 24;
constexpr int V3_HEADER = 16;
constexpr int LSA_HEADER = 20;
constexpr int PRIORITIES = 8;

constexpr NameEntry packet_types[] = {
    {1, "Hello"}, {2, "Database Description"}, {3, "Link State Request"}, {4, "Link State Update"},
    {5, "Link State Acknowledgment"}, {0, nullptr},
};

constexpr NameEntry au_types[] = {
    {0, "Null authentication"}, {1, "Simple password"}, {2, "Cryptographic authentication"}, {0, nullptr},
};

constexpr NameEntry v2_lsa_types[] = {
    {1, "Router-LSA"}, {2, "Network-LSA"}, {3, "Summary-LSA (IP network)"}, {4, "Summary-LSA (ASBR)"},
    {5, "AS-External-LSA (ASBR)"}, {6, "Group-membership-LSA"}, {7, "NSSA AS-External-LSA"},
    {8, "External-Attributes-LSA"}, {9, "Opaque LSA Link-Local Scoping"},
    {10, "Opaque LSA Area-Local Scoping"}, {0, nullptr},
};

constexpr NameEntry v3_lsa_types[] = {
    {0x2001, "Router-LSA"}, {0x2002, "Network-LSA"}, {0x2003, "Inter-Area-Prefix-LSA"},
    {0x2004, "Inter-Area-Router-LSA"}, {0x4005, "AS-External-LSA"}, {0x2006, "Group-membership-LSA"},
    {0x2007, "Type-7-LSA"}, {0x0008, "Link-LSA"}, {0x2009, "Intra-Area-Prefix-LSA"}, {0, nullptr},
};

constexpr NameEntry link_types[] = {
    {1, "Point-to-point connection to another router"}, {2, "Connection to a transit network"},
    {3, "Connection to a stub network"}, {4, "Virtual link"}, {0, nullptr},
};
constexpr NameEntry link_id_meanings[] = {
    {1, "Neighboring router's Router ID"}, {2, "IP address of Designated Router"},
    {3, "IP network/subnet number"}, {4, "Neighboring router's Router ID"}, {0, nullptr},
};

constexpr NameEntry switching_capabilities[] = {
    {1, "Packet-Switch Capable-1 (PSC-1)"}, {2, "Packet-Switch Capable-2 (PSC-2)"},
    {3, "Packet-Switch Capable-3 (PSC-3)"}, {4, "Packet-Switch Capable-4 (PSC-4)"},
    {51, "Layer-2 Switch Capable (L2SC)"}, {100, "Time-Division-Multiplex Capable (TDM)"},
    {150, "Lambda-Switch Capable (LSC)"}, {200, "Fiber-Switch Capable (FSC)"}, {0, nullptr},
};

constexpr NameEntry encodings[] = {
    {1, "Packet"}, {2, "Ethernet v2/DIX"}, {3, "ANSI PDH"}, {4, "ETSI PDH"}, {5, "SDH ITU-T G.707"},
    {6, "SONET ANSI T1.105"}, {7, "Digital Wrapper"}, {8, "Lambda (photonic)"}, {9, "Fiber"},
    {10, "Ethernet 802.3"}, {11, "FiberChannel"}, {0, nullptr},
};

constexpr NameEntry te_link_subtlvs[] = {
    {1, "Link Type"}, {2, "Link ID"}, {3, "Local Interface IP Address"}, {4, "Remote Interface IP Address"},
    {5, "Traffic Engineering Metric"}, {6, "Maximum Bandwidth"}, {7, "Maximum Reservable Bandwidth"},
    {8, "Unreserved Bandwidth"}, {9, "Resource Class/Color"}, {11, "Link Local Identifier"},
    {12, "Link Remote Identifier"}, {14, "Link Protection Type"},
    {15, "Interface Switching Capability Descriptor"}, {16, "Shared Risk Link Group"}, {0, nullptr},
};

struct Bit {
    uint32_t mask;
    const char* on;
    const char* off;
};

constexpr Bit v2_option_bits[] = {
    {0x02, "E - ON", "E - OFF"}, {0x04, "MC - ON", "MC - OFF"}, {0x08, "N/P - ON", "N/P - OFF"},
    {0x10, "EA - ON", "EA - OFF"}, {0x20, "DC - ON", "DC - OFF"},
};
constexpr Bit v3_option_bits[] = {
    {0x01, "V6 - ON", "V6 - OFF"}, {0x02, "E - ON", "E - OFF"}, {0x04, "MC - ON", "MC - OFF"},
    {0x08, "N - ON", "N - OFF"}, {0x10, "R - ON", "R - OFF"}, {0x20, "DC - ON", "DC - OFF"},
};
constexpr Bit dd_flag_bits[] = {
    {0x01, "MS - Master", "MS - Slave"}, {0x02, "M - more", "M - OFF"}, {0x04, "I - first", "I - OFF"},
};
// v2 routers use the first three.
constexpr Bit router_flag_bits[] = {
    {0x01, "B - area border router", "B - OFF"}, {0x02, "E - AS boundary router", "E - OFF"},
    {0x04, "V - one or more virtual link endpoint", "V - OFF"},
    {0x08, "W - wild-card multicast receiver", "W - OFF"},
};
constexpr Bit external_flag_bits[] = {
    {0x01, "T - External Route Tag included", "T - External Route Tag not included"},
    {0x02, "F - Forwarding Address included", "F - Forwarding Address not included"},
    {0x04, "E - Type 2 external metric", "E - Type 1 external metric"},
};
constexpr Bit prefix_option_bits[] = {
    {0x01, "NU - unicast calculations excluded", "NU - unicast calculations included"},
    {0x02, "LA - local address capability ON", "LA - local address capability OFF"},
    {0x04, "MC - multicast calculations excluded", "MC - multicast calculations included"},
    {0x08, "P - propagate ON", "P - propagate OFF"},
};

template <size_t N>
constexpr int count_of(const Bit (&)[N]) {
    return int(N);
}

// Position of a one-bit mask in a field of width bits, counted from the top.
int bit_position(uint32_t mask, int width) {
    int p = width - 1;
    while (mask > 1) {
        mask >>= 1;
        --p;
    }
    return p;
}

// One bit-diagram line per bit, over the field's bytes (1 or 3).
void bit_lines(int32_t n, const Bytes& v, int at, int size, uint32_t value, const Bit* bits, int count) {
    for (int i = 0; i < count; ++i) {
        const Bit& b = bits[i];
        if (size == 1) {
            node(n, v, at, size, "%s", flag_text8(value, bit_position(b.mask, 8), b.on, b.off));
        } else {
            node(n, v, at, size, "%s : %s", bit_text24(value, bit_position(b.mask, 24), 1),
                 (value & b.mask) ? b.on : b.off);
        }
    }
}

void options(int32_t n, const Bytes& v, int at, bool v3) {
    if (!v3) {
        if (!v.has(at, 1)) return;
        uint8_t o = v.u8(at);
        int32_t on = node(n, v, at, 1, "Options : 0x%02X", o);
        bit_lines(on, v, at, 1, o, v2_option_bits, count_of(v2_option_bits));
    } else {
        if (!v.has(at, 3)) return;
        uint32_t o = v.be24(at);
        int32_t on = node(n, v, at, 3, "Options : 0x%06X", (unsigned)o);
        bit_lines(on, v, at, 3, o, v3_option_bits, count_of(v3_option_bits));
    }
}

void prefix_options(int32_t n, const Bytes& v, int at) {
    if (!v.has(at, 1)) return;
    uint8_t o = v.u8(at);
    int32_t on = node(n, v, at, 1, "PrefixOptions : 0x%02X", o);
    bit_lines(on, v, at, 1, o, prefix_option_bits, count_of(prefix_option_bits));
}

// A v3 address prefix: whole 32-bit words for the prefix length, as the length
// byte says even beyond 128 bits (at most 8 words, for 255). Returns the bytes the
// prefix occupies; one the capture cuts short is not shown.
int address_prefix(int32_t n, const Bytes& v, int at, int prefix_length) {
    constexpr int MAX_BYTES = (255 + 31) / 32 * 4;
    int bytes = (prefix_length + 31) / 32 * 4;
    if (bytes > MAX_BYTES) bytes = MAX_BYTES;
    if (!v.has(at, bytes)) return bytes;
    char text[MAX_BYTES * 5 / 2 + 1];
    int k = 0;
    for (int i = 0; i < bytes; ++i) {
        static const char hex[] = "0123456789ABCDEF";
        uint8_t b = v.u8(at + i);
        text[k++] = hex[b >> 4];
        text[k++] = hex[b & 15];
        if (i % 2 == 1) text[k++] = ':';
    }
    text[k] = 0;
    node(n, v, at, bytes, "Address Prefix : %s", text);
    return bytes;
}

void ipv4_line(int32_t n, const Bytes& v, int at, const char* label) {
    if (v.has(at, 4)) node(n, v, at, 4, "%s : %s", label, ipv4_text(v.at(at)));
}

const char* lsa_type_name(uint32_t type, bool v3) {
    return v3 ? value_name(type, v3_lsa_types, 2, 1) : value_name(type, v2_lsa_types, 1, 0);
}

// ---- traffic engineering ----

// Priorities 0..7 of a bandwidth list: single-precision bytes per second.
void priority_lines(int32_t n, const Bytes& v, int at) {
    for (int p = 0; p < PRIORITIES && v.has(at + 4 * p, 4); ++p) {
        uint32_t bits = v.be32(at + 4 * p);
        float f;
        std::memcpy(&f, &bits, 4);
        node(n, v, at + 4 * p, 4, "Pri %ld : %ld bytes/s(%.0f bits/s)", long(p), long(ieee_float_to_int(bits)),
             double(f) * 8.0);
    }
}

void link_subtlv_value(int32_t n, uint16_t type, const char* name, const Bytes& v) {
    switch (type) {
    case 1:
        if (v.has(0, 1)) node(n, v, 0, 1, "%s : %u", name, v.u8(0));
        break;
    case 2:
        ipv4_line(n, v, 0, name);
        break;
    case 3: case 4:
        for (int at = 0; v.has(at, 4); at += 4) ipv4_line(n, v, at, name);
        break;
    case 5: case 9: case 11: case 12:
        if (v.has(0, 4)) node(n, v, 0, 4, "%s : %lu", name, (unsigned long)v.be32(0));
        break;
    case 6: case 7:
        if (v.has(0, 4)) node(n, v, 0, 4, "%s : %ld", name, long(ieee_float_to_int(v.be32(0))));
        break;
    case 8:
        priority_lines(n, v, 0);
        break;
    case 15:
        if (v.has(0, 1)) node(n, v, 0, 1, "Switching Type : %s", value_name(v.u8(0), switching_capabilities, 1, 0));
        if (v.has(1, 1)) node(n, v, 1, 1, "Encoding : %s", value_name(v.u8(1), encodings, 1, 0));
        priority_lines(n, v, 4);
        break;
    default:
        node(n, v, 0, v.size(), "Unknown Link sub-TLV : %u", type);
        break;
    }
}

// Walks type-length-value items padded to 4 bytes. A length of 0 ends the walk,
// and so does an item running past the data (after it has been shown).
template <typename Item>
void tlv_walk(const Bytes& v, Item item) {
    for (int at = 0; v.has(at, 4);) {
        uint16_t type = v.be16(at), length = v.be16(at + 2);
        if (length == 0) return;
        item(type, length, v.sub(at, 4 + length));
        int next = at + 4 + ((length + 3) & ~3);
        if (next > v.size()) return;
        at = next;
    }
}

void link_information(int32_t n, const Bytes& value) {
    tlv_walk(value, [&](uint16_t type, uint16_t length, const Bytes& t) {
        const char* name = lookup_name(type, te_link_subtlvs);
        int32_t s = node(n, t, 0, t.size(), "%s", name ? name : "Unknown");
        node(s, t, 0, 2, "TLV Type : %s(%u)", name ? name : "Unknown", type);
        node(s, t, 2, 2, "TLV Length : %ld", long(length));
        link_subtlv_value(s, type, name ? name : "Unknown", t.from(4));
    });
}

void traffic_engineering(int32_t parent, const Bytes& body) {
    int32_t te = node(parent, body, 0, body.size(), "MPLS Traffic Engineering LSA");
    tlv_walk(body, [&](uint16_t type, uint16_t length, const Bytes& t) {
        Bytes value = t.from(4);
        int32_t n;
        switch (type) {
        case 1:
            n = node(te, t, 0, t.size(), "Router Address");
            node(n, t, 0, 2, "TLV Type : Router Address(%u)", type);
            node(n, t, 2, 2, "TLV Length : %ld", long(length));
            ipv4_line(n, value, 0, "Router Address");
            break;
        case 2:
            n = node(te, t, 0, t.size(), "Link Information");
            node(n, t, 0, 2, "TLV Type : Link Information(%u)", type);
            node(n, t, 2, 2, "TLV Length : %ld", long(length));
            link_information(n, value);
            break;
        default:
            n = node(te, t, 0, t.size(), "Unknown LSA : %u", type);
            node(n, t, 0, 2, "TLV Type : Unknown(%u)", type);
            node(n, t, 2, 2, "TLV Length : %ld", long(length));
            node(n, value, 0, value.size(), "TLV Data");
            break;
        }
    });
}

// ---- LSA bodies; l is the LSA (clipped to its length), bodies start at 20 ----

void external_type_line(int32_t n, const Bytes& l, int at) {
    if (!l.has(at, 1)) return;
    node(n, l, at, 1, "External Type : %s", (l.u8(at) & 0x80) ? "Type 2 metric" : "Type 1 metric");
}

void v2_router(int32_t n, const Bytes& l) {
    if (l.has(20, 1)) {
        uint8_t flags = l.u8(20);
        int32_t f = node(n, l, 20, 1, "Flags : 0x%02X", flags);
        bit_lines(f, l, 20, 1, flags, router_flag_bits, 3);
    }
    if (!l.has(22, 2)) return;
    int links = l.be16(22);
    node(n, l, 22, 2, "Number of Links : %ld", long(links));
    int at = 24;
    for (int i = 0; i < links && l.has(at, 1); ++i) {
        int type = l.u8(at + 8);
        int tos = l.u8(at + 9);
        if (l.has(at, 4)) {
            const char* meaning = lookup_name(type, link_id_meanings);
            node(n, l, at, 4, "%s : %s", meaning ? meaning : "Unknown link ID", ipv4_text(l.at(at)));
        }
        ipv4_line(n, l, at + 4, "Link Data");
        if (l.has(at + 8, 1)) {
            const char* name = lookup_name(type, link_types);
            node(n, l, at + 8, 1, "Type : %s(%u)", name ? name : "Unknown link type", type);
        }
        if (l.has(at + 9, 1)) node(n, l, at + 9, 1, "Number of TOS : %ld", long(tos));
        if (l.has(at + 10, 2)) node(n, l, at + 10, 2, "TOS : 0 metric : %u", l.be16(at + 10));
        for (int k = 0, e = at + 12; k < tos && l.has(e, 4); ++k, e += 4)
            node(n, l, e, 4, "TOS : %u Metric : %u", l.u8(e), l.be16(e + 2));
        at += 12 + 4 * tos;
    }
}

void v2_external(int32_t n, const Bytes& l) {
    ipv4_line(n, l, 20, "Network Mask");
    external_type_line(n, l, 24);
    if (l.has(25, 3)) node(n, l, 25, 3, "Metric : %lu", (unsigned long)l.be24(25));
    ipv4_line(n, l, 28, "Forwarding Address");
    if (l.has(32, 4)) node(n, l, 32, 4, "External Route Tag : %lu", (unsigned long)l.be32(32));
    for (int at = 36; l.has(at, 12); at += 12) {
        external_type_line(n, l, at);
        node(n, l, at, 4, "TOS : %u Metric: %lu", l.u8(at) & 0x7F, (unsigned long)l.be24(at + 1));
        ipv4_line(n, l, at + 4, "Forwarding Address");
        node(n, l, at + 8, 4, "External Route Tag : %lu", (unsigned long)l.be32(at + 8));
    }
}

void v2_body(int32_t n, const Bytes& l, uint32_t type, int body_length) {
    switch (type) {
    case 1:
        v2_router(n, l);
        break;
    case 2:
        ipv4_line(n, l, 20, "Network Mask");
        for (int at = 24; l.has(at, 4); at += 4) ipv4_line(n, l, at, "Attached Router");
        break;
    case 3: case 4:
        ipv4_line(n, l, 20, "Network Mask");
        if (l.has(25, 3)) node(n, l, 25, 3, "Metric : %lu", (unsigned long)l.be24(25));
        for (int at = 28; l.has(at, 4); at += 4)
            node(n, l, at, 4, "TOS : %u Metric : %lu", l.u8(at), (unsigned long)l.be24(at + 1));
        break;
    case 5: case 7:
        v2_external(n, l);
        break;
    case 9: case 10: case 11: {
        Bytes body = l.from(LSA_HEADER);
        uint8_t opaque = l.u8(4);
        if (opaque == 1)
            traffic_engineering(n, body);
        else
            node(n, body, 0, body.size(), "Unknown LSA Type %u %ld bytes", opaque, long(body_length));
        break;
    }
    default:
        node(n, l, LSA_HEADER, body_length, "Unknown LSA Type(%u) %ld bytes", type, long(body_length));
        break;
    }
}

void v3_router(int32_t n, const Bytes& l) {
    if (l.has(20, 1)) {
        uint8_t flags = l.u8(20);
        int32_t f = node(n, l, 20, 1, "Flags : 0x%02X", flags);
        bit_lines(f, l, 20, 1, flags, router_flag_bits, count_of(router_flag_bits));
    }
    for (int at = 24; l.has(at, 16); at += 16) {
        int type = l.u8(at);
        const char* name = lookup_name(type, link_types);
        node(n, l, at, 1, "Type : %s(%u)", name ? name : "Unknown link type", type);
        node(n, l, at + 2, 2, "Metric : %u", l.be16(at + 2));
        node(n, l, at + 4, 4, "Interface ID : %lu", (unsigned long)l.be32(at + 4));
        node(n, l, at + 8, 4, "Neighbor Interface ID : %lu", (unsigned long)l.be32(at + 8));
        ipv4_line(n, l, at + 12, "Neighbor Router ID");
    }
}

void prefix_length_line(int32_t n, const Bytes& l, int at) {
    if (l.has(at, 1)) node(n, l, at, 1, "PrefixLength : %ld", long(l.u8(at)));
}

void v3_external(int32_t n, const Bytes& l) {
    uint8_t flags = l.u8(20);
    if (l.has(20, 1)) {
        int32_t f = node(n, l, 20, 1, "Flags : 0x%02x", flags);
        bit_lines(f, l, 20, 1, flags, external_flag_bits, count_of(external_flag_bits));
    }
    if (l.has(21, 3)) node(n, l, 21, 3, "Metric : %lu", (unsigned long)l.be24(21));
    prefix_length_line(n, l, 24);
    prefix_options(n, l, 25);
    uint16_t referenced = l.be16(26);
    if (l.has(26, 2)) node(n, l, 26, 2, "Referenced LS type : %s", lsa_type_name(referenced, true));
    if (!l.has(24, 1)) return;
    int at = 28 + address_prefix(n, l, 28, l.u8(24));
    if (flags & 0x02) {
        if (l.has(at, 16)) node(n, l, at, 16, "Forwarding Address : %s", ipv6_text(l.at(at)));
        at += 16;
    }
    if (flags & 0x01) {
        if (l.has(at, 4)) node(n, l, at, 4, "External Route Tag : 0x%08X", (unsigned)l.be32(at));
        at += 4;
    }
    if (referenced != 0) ipv4_line(n, l, at, "Referenced Link State ID");
}

// Prefixes of link and intra-area-prefix LSAs: length, options, a 16-bit field
// (the metric, when shown), then the prefix words.
void prefix_list(int32_t n, const Bytes& l, int at, unsigned long count, bool metric) {
    for (unsigned long i = 0; i < count && l.has(at, 1); ++i) {
        prefix_length_line(n, l, at);
        prefix_options(n, l, at + 1);
        if (metric && l.has(at + 2, 2)) node(n, l, at + 2, 2, "Metric : %lu", (unsigned long)l.be16(at + 2));
        at += 4 + address_prefix(n, l, at + 4, l.u8(at));
    }
}

void v3_body(int32_t n, const Bytes& l, uint32_t type, int body_length) {
    switch (type) {
    case 0x2001:
        v3_router(n, l);
        break;
    case 0x2002:
        options(n, l, 21, true);
        for (int at = 24; l.has(at, 4); at += 4) ipv4_line(n, l, at, "Attached Router");
        break;
    case 0x2003:
        if (l.has(21, 3)) node(n, l, 21, 3, "Metric : %lu", (unsigned long)l.be24(21));
        prefix_length_line(n, l, 24);
        prefix_options(n, l, 25);
        if (l.has(24, 1)) address_prefix(n, l, 28, l.u8(24));
        break;
    case 0x2004:
        options(n, l, 21, true);
        if (l.has(25, 3)) node(n, l, 25, 3, "Metric : %lu", (unsigned long)l.be24(25));
        ipv4_line(n, l, 28, "Destination Router ID");
        break;
    case 0x4005:
        v3_external(n, l);
        break;
    case 0x0008:
        if (l.has(20, 1)) node(n, l, 20, 1, "Router Priority : %u", l.u8(20));
        options(n, l, 21, true);
        if (l.has(24, 16)) node(n, l, 24, 16, "Link-local Interface Address : %s", ipv6_text(l.at(24)));
        if (!l.has(40, 4)) break;
        node(n, l, 40, 4, "Number of prefixes : %lu", (unsigned long)l.be32(40));
        prefix_list(n, l, 44, l.be32(40), false);
        break;
    case 0x2009:
        if (!l.has(20, 2)) break;
        node(n, l, 20, 2, "Number of  prefixes : %lu", (unsigned long)l.be16(20));
        if (l.has(22, 2)) node(n, l, 22, 2, "Referenced LS type : %s", lsa_type_name(l.be16(22), true));
        ipv4_line(n, l, 24, "Referenced Link State ID");
        ipv4_line(n, l, 28, "Referenced Advertising Router");
        prefix_list(n, l, 32, l.be16(20), true);
        break;
    default:
        node(n, l, LSA_HEADER, body_length, "Unknown LSA Type : 0x%04X %ld bytes", type, long(body_length));
        break;
    }
}

// One LSA at b[at]: only its header (full false) or the whole LSA. Returns the
// bytes it occupies; 0 (a length field of 0) ends the walk.
int lsa(int32_t parent, const Bytes& b, int at, bool v3, bool full) {
    int left = b.size() - at;
    if (left < LSA_HEADER) {
        node(parent, b, at, left, "LSA header Length=%ld", long(left));
        return left;
    }
    Bytes h = b.from(at);
    uint32_t type = v3 ? h.be16(2) : h.u8(3);
    int length = h.be16(18);
    int32_t n = full ? node(parent, h, 0, length, "%s", lsa_type_name(type, v3))
                     : node(parent, h, 0, LSA_HEADER, "LSA header");
    node(n, h, 0, 2, "LS age : %u seconds", h.be16(0));
    if (v3)
        node(n, h, 2, 2, "LSA type : %s", lsa_type_name(type, true));
    else
        node(n, h, 3, 1, "LSA type : %s", lsa_type_name(type, false));
    if (!v3 && type >= 9 && type <= 11) {
        node(n, h, 4, 1, "Link State ID Opaque type : %u", h.u8(4));
        node(n, h, 5, 3, "Link State ID Opaque ID : %lu", (unsigned long)h.be24(5));
    } else {
        ipv4_line(n, h, 4, "Link State ID");
    }
    ipv4_line(n, h, 8, "Advertising Router");
    if (v3) {
        node(n, h, 12, 4, "LS sequence number : %lu", (unsigned long)h.be32(12));
        node(n, h, 16, 2, "LS checksum : 0x%04x", h.be16(16));
    } else {
        node(n, h, 12, 4, "LS sequence number : 0x%08X", (unsigned)h.be32(12));
        node(n, h, 16, 2, "LS checksum : 0x%04X", h.be16(16));
    }
    node(n, h, 18, 2, "Length : %ld", long(length));
    if (!full) return LSA_HEADER;
    if (length == 0) return 0;
    int body_length = length > LSA_HEADER ? length - LSA_HEADER : 0;
    Bytes l = h.first(length);
    if (v3)
        v3_body(n, l, type, body_length);
    else
        v2_body(n, l, type, body_length);
    return length;
}

// ---- packet bodies; b is the body ----

// (length - 17) / 4 neighbours: one that the body cuts short is counted too, but
// only the bytes it has are shown.
void neighbours(int32_t n, const Bytes& b) {
    if (b.size() <= 20) return;
    int count = (b.size() - 17) / 4;
    for (int i = 0, at = 20; i < count; ++i, at += 4) {
        if (b.has(at, 4))
            ipv4_line(n, b, at, "Neighbor");
        else
            node(n, b, at, 4, "Neighbor truncated : %d of 4 bytes", b.avail(at, 4));
    }
}

void hello(int32_t n, const Bytes& b, bool v3) {
    if (!v3) {
        ipv4_line(n, b, 0, "Network Mask");
        if (b.has(4, 2)) node(n, b, 4, 2, "Hello Interval : %u seconds", b.be16(4));
        options(n, b, 6, false);
        if (b.has(7, 1)) node(n, b, 7, 1, "Router Priority : %u", b.u8(7));
        if (b.has(8, 4)) node(n, b, 8, 4, "Router Dead Interval : %lu seconds", (unsigned long)b.be32(8));
    } else {
        if (b.has(0, 4)) node(n, b, 0, 4, "Interface ID : %lu", (unsigned long)b.be32(0));
        if (b.has(4, 1)) node(n, b, 4, 1, "Router Priority : %u", b.u8(4));
        options(n, b, 5, true);
        if (b.has(8, 2)) node(n, b, 8, 2, "Hello Interval : %u seconds", b.be16(8));
        if (b.has(10, 2)) node(n, b, 10, 2, "Router Dead Interval : %u seconds", b.be16(10));
    }
    ipv4_line(n, b, 12, "Designated Router");
    ipv4_line(n, b, 16, "Backup Designated Router");
    neighbours(n, b);
}

void lsa_headers(int32_t n, const Bytes& b, int at, bool v3) {
    while (at < b.size()) at += lsa(n, b, at, v3, false);
}

void database_description(int32_t n, const Bytes& b, bool v3) {
    int mtu = v3 ? 4 : 0, flags = v3 ? 7 : 3, sequence = v3 ? 8 : 4;
    if (!v3) {
        if (b.has(0, 2)) node(n, b, 0, 2, "Interface MTU : %u", b.be16(0));
        options(n, b, 2, false);
    } else {
        options(n, b, 1, true);
        if (b.has(mtu, 2)) node(n, b, mtu, 2, "Interface MTU : %u", b.be16(mtu));
    }
    if (b.has(flags, 1)) {
        uint8_t f = b.u8(flags);
        int32_t fn = node(n, b, flags, 1, "Flags : 0x%02X", f);
        bit_lines(fn, b, flags, 1, f, dd_flag_bits, count_of(dd_flag_bits));
    }
    if (!b.has(sequence, 4)) return;
    node(n, b, sequence, 4, "DD Sequence number : %lu", (unsigned long)b.be32(sequence));
    lsa_headers(n, b, sequence + 4, v3);
}

void link_state_requests(int32_t top, const Bytes& b, bool v3) {
    int count = (b.size() + 11) / 12;
    for (int i = 0; i < count; ++i) {
        Bytes r = b.sub(12 * i, 12);
        int32_t n = node(top, r, 0, 12, "Link State Request Packet");
        if (!v3 && r.has(0, 4))
            node(n, r, 0, 4, "LS Type : %s", value_name(r.be32(0), v2_lsa_types, 4, 1));
        else if (v3 && r.has(2, 2))
            node(n, r, 2, 2, "LS Type : %s", value_name(r.be16(2), v3_lsa_types, 2, 1));
        ipv4_line(n, r, 4, "Link State ID");
        ipv4_line(n, r, 8, "Advertising Router");
    }
}

void link_state_update(int32_t n, const Bytes& b, bool v3) {
    if (!b.has(0, 4)) return;
    unsigned long count = b.be32(0);
    node(n, b, 0, 4, "Number of LSAs : %lu", count);
    int at = 4;
    for (unsigned long i = 0; i < count && at < b.size(); ++i) {
        int used = lsa(n, b, at, v3, true);
        if (used <= 0) return;
        at += used;
    }
}

void ospf_header(int32_t top, const Bytes& d, bool v3, int header, int packet_length) {
    int32_t h = node(top, d, 0, header, "OSPF header");
    if (d.has(0, 1)) node(h, d, 0, 1, "Version : %u", d.u8(0));
    if (d.has(1, 1)) node(h, d, 1, 1, "Packet type : %s", value_name(d.u8(1), packet_types, 1, 0));
    if (d.has(2, 2)) node(h, d, 2, 2, "Packet length : %ld", long(packet_length));
    ipv4_line(h, d, 4, "Router ID");
    if (d.has(8, 4)) node(h, d, 8, 4, "Area ID : %s%s", ipv4_text(d.at(8)), d.be32(8) == 0 ? " (backbone)" : "");
    if (d.has(12, 2)) node(h, d, 12, 2, "Checksum : 0x%04X", d.be16(12));
    if (v3) {
        if (d.has(14, 1)) node(h, d, 14, 2, "Instance ID : %u", d.u8(14));
        return;
    }
    if (!d.has(14, 2)) return;
    uint16_t au = d.be16(14);
    node(h, d, 14, 2, "AuType : %s", value_name(au, au_types, 2, 0));
    switch (au) {
    case 0:
        node(h, d, 16, 8, "Auth Data : None");
        break;
    case 1:
        if (d.has(16, 8)) node(h, d, 16, 8, "Auth Data : %s", hex_text(d.at(16), 8, 0));
        break;
    case 2: {
        if (d.has(18, 1)) node(h, d, 18, 1, "Auth Key ID : %u", d.u8(18));
        if (d.has(19, 1)) node(h, d, 19, 1, "Auth Data Length : %ld", long(d.u8(19)));
        if (d.has(20, 4)) node(h, d, 20, 4, "Cryptographic sequence number : 0x%X", (unsigned)d.be32(20));
        int auth = d.u8(19);
        if (d.has(19, 1) && d.size() == packet_length + auth)
            node(h, d, packet_length, auth, "Auth Data : %s", hex_text(d.at(packet_length), auth, 0));
        break;
    }
    default:
        node(h, d, 16, 8, "Auth Data : Unknown(%u)", au);
        break;
    }
}

}  // namespace

void decode_ospf(int32_t parent, Bytes data) {
    const Bytes& d = data;
    uint8_t version = d.u8(0);
    uint8_t type = d.u8(1);
    if (parent == 0) {
        const char* name = version == 2 ? "OSPFv2" : version == 3 ? "OSPFv3" : "OSPF";
        set_column(name, 4, d.at(0), P_OSPF);
        if (!text_columns_wanted()) return;
        if (!d.has(0, 2))
            truncated_summary(name, d);
        else
            set_columnf(5, nullptr, 0, "Packet type : %s ", value_name(type, packet_types, 1, 0));
        return;
    }

    bool v3 = version == 3;
    int header = version == 2 ? V2_HEADER : v3 ? V3_HEADER : 0;
    int packet_length = d.be16(2);
    int32_t top = add_nodef(parent, d.at(0), d.size(), P_OSPF, "Open Shortest Path First");
    if (header) ospf_header(top, d, v3, header, packet_length);
    if (!d.has(0, header > 2 ? header : 2)) {
        truncated_line(top, d, header > 2 ? header : 2);
        return;
    }
    // The body ends where the packet says it does (what follows may be the
    // cryptographic digest), or with the capture.
    int end = packet_length >= header && packet_length <= d.size() ? packet_length : d.size();
    Bytes body = d.sub(header, end - header);
    int length = end - header;
    int32_t n;
    switch (type) {
    case 1:
        n = node(top, body, 0, length, "Hello Packet");
        hello(n, body, v3);
        break;
    case 2:
        n = node(top, body, 0, length, "Database Description Packet");
        database_description(n, body, v3);
        break;
    case 3:
        link_state_requests(top, body, v3);
        break;
    case 4:
        n = node(top, body, 0, length, "Link State Update Packet");
        link_state_update(n, body, v3);
        break;
    case 5:
        n = node(top, body, 0, length, "Link State Acknowledgment Packet");
        lsa_headers(n, body, 0, v3);
        break;
    default:
        node(top, body, 0, length, "Uknown Packet Type(%u) %ld bytes", type, long(length));
        break;
    }
}

}  // namespace zelpan
