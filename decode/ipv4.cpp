// IPv4 with its options and header checksum, the IPsec headers AH and ESP, and
// the IP protocol dispatch shared with IPv6.
#include <cstdio>
#include <cstring>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/format.h"
#include "decode/text_format.h"

namespace zelpan {

namespace {

constexpr int IPV4_HEADER = 20;
constexpr int AH_HEADER = 12;
constexpr int ESP_HEADER = 8;

constexpr NameEntry ip_protocol_names[] = {
    {0, "IPv6 Hop-by-Hop Option"},
    {1, "ICMP"},
    {2, "IGMP"},
    {3, "GGP"},
    {4, "IPIP"},
    {6, "TCP"},
    {8, "EGP"},
    {9, "IGRP"},
    {12, "PUP"},
    {17, "UDP"},
    {22, "IDP"},
    {29, "TP"},
    {41, "IPv6"},
    {43, "IPv6 Routing"},
    {44, "IPv6 Fragment"},
    {46, "RSVP"},
    {47, "GRE"},
    {50, "ESP"},
    {51, "AH"},
    {58, "ICMPv6"},
    {59, "IPv6 No Next Header"},
    {60, "IPv6 Destination Option"},
    {80, "EON"},
    {83, "VINES"},
    {88, "EIGRP"},
    {89, "OSPF"},
    {98, "ENCAP"},
    {103, "PIM"},
    {108, "IPComp"},
    {112, "VRRP"},
    {113, "PGM"},
    {132, "SCTP"},
    {0, nullptr},
};

constexpr NameEntry dscp_names[] = {
    {0, "Default"},
    {8, "Class Selector 1"},
    {16, "Class Selector 2"},
    {24, "Class Selector 3"},
    {32, "Class Selector 4"},
    {40, "Class Selector 5"},
    {48, "Class Selector 6"},
    {56, "Class Selector 7"},
    {10, "Assured Forwarding 11"},
    {12, "Assured Forwarding 12"},
    {14, "Assured Forwarding 13"},
    {18, "Assured Forwarding 21"},
    {20, "Assured Forwarding 22"},
    {22, "Assured Forwarding 23"},
    {26, "Assured Forwarding 31"},
    {28, "Assured Forwarding 32"},
    {30, "Assured Forwarding 33"},
    {34, "Assured Forwarding 41"},
    {36, "Assured Forwarding 42"},
    {38, "Assured Forwarding 43"},
    {46, "Expedited Forwarding"},
    {0, nullptr},
};

constexpr NameEntry ecn_names[] = {
    {0, "Not-ECT (Not ECN-Capable Transport)"},
    {1, "ECT(1) (ECN-Capable Transport(1))"},
    {2, "ECT(0) (ECN-Capable Transport(0))"},
    {3, "CE (Congestion Experienced)"},
    {0, nullptr},
};

constexpr NameEntry security_levels[] = {
    {0x0000, "Unclassified"}, {0xF135, "Confidential"}, {0x789A, "EFTO"},     {0xBC4D, "MMMM"},
    {0xAF13, "Restricted"},   {0xD788, "Secret"},       {0x6BC5, "Top secret"}, {0x35E2, "Reserved"},
    {0x9AF1, "Reserved"},     {0x4D78, "Reserved"},     {0x24BD, "Reserved"}, {0x135E, "Reserved"},
    {0x89AF, "Reserved"},     {0xC4D6, "Reserved"},     {0xE26B, "Reserved"}, {0, nullptr},
};

constexpr NameEntry timestamp_flags[] = {
    {0, "Time stamps only"},
    {1, "Each timestamp is preceded with internet address"},
    {3, "The internet address fields are prespecified"},
    {0, nullptr},
};

constexpr NameEntry router_alert_values[] = {{0, "Router shall examine packet"}, {0, nullptr}};

constexpr NameEntry ip_option_names[] = {
    {7, "Record Route"},         {131, "Loose Source Route"}, {137, "Strict Source Route"},
    {68, "Internet Timestamp"},  {130, "Security"},           {136, "Stream Identifier"},
    {148, "Router Alert"},       {0, nullptr},
};

using Decoder = void (*)(int32_t, Bytes);

void ah_and_payload(int32_t parent, Bytes data) { decode_ah(parent, data, 0); }

struct ProtocolRoute {
    uint8_t protocol;
    Decoder decode;
};
constexpr ProtocolRoute protocol_routes[] = {
    {1, decode_icmp},  {2, decode_igmp},    {6, decode_tcp},      {17, decode_udp},
    {41, decode_ipv6}, {46, decode_rsvp},   {50, decode_esp},     {51, ah_and_payload},
    {58, decode_icmpv6}, {88, decode_eigrp}, {89, decode_ospf},
};

const char* option_name(uint8_t type) {
    const char* name = lookup_name(type, ip_option_names);
    return name ? name : textf("option %u", type);
}

void route_option(int32_t o, const Bytes& opt, int len) {
    if (len >= 3) node(o, opt, 2, 1, "Pointer : %ld", long(opt.u8(2)));
    if (len < 4) return;
    int at = 3, r = len - 3;
    for (; r > 3; at += 4, r -= 4) node(o, opt, at, 4, "Route : %s", ipv4_text(opt.at(at)));
    if (r > 0) node(o, opt, at, r, "invalid suboption length %ld", long(r));
}

void timestamp_option(int32_t o, const Bytes& opt, int len) {
    if (len >= 3) node(o, opt, 2, 1, "Pointer : %ld", long(opt.u8(2)));
    if (len < 4) return;
    uint8_t b = opt.u8(3);
    unsigned flag = b & 0x0F;
    node(o, opt, 3, 1, "Overflow : %ld", long(b >> 4));
    node(o, opt, 3, 1, "Flag : %s", value_name(flag, timestamp_flags, 1, 1));
    if (len < 5) return;
    // Flags 1 and 3 pair each time stamp with an address (3: the sender named them).
    bool with_address = flag == 1 || flag == 3;
    int entry = with_address ? 8 : 4;
    int at = 4, r = len - 4;
    for (; r >= entry; at += entry, r -= entry) {
        if (with_address)
            node(o, opt, at, 8, "Internet address = %s Timestamp = %lu", ipv4_text(opt.at(at)),
                 (unsigned long)opt.be32(at + 4));
        else
            node(o, opt, at, 4, "Timestamp = %lu", (unsigned long)opt.be32(at));
    }
    if (r > 0) node(o, opt, at, r, "invalid suboption length %ld", long(r));
}

// One whole option; opt holds exactly its len bytes (len >= 2).
void option_lines(int32_t o, const Bytes& opt, uint8_t type, int len) {
    const char* name = lookup_name(type, ip_option_names);
    if (!name) {
        node(o, opt, 0, len, "option : %u length=%ld", type, long(len));
        return;
    }
    switch (type) {
    case 130:
        if (len < 11) break;
        {
            int32_t s = node(o, opt, 0, len, "%s(0x%02x%02x)", name, type, len);
            node(s, opt, 2, 2, "Security : %s", value_name(opt.be16(2), security_levels, 2, 1));
            node(s, opt, 4, 2, "Compartments : %u", opt.be16(4));
            node(s, opt, 6, 2, "Handling Restrictions : 0x%02x%02x", opt.u8(6), opt.u8(7));
            node(s, opt, 8, 3, "Transmission Control Code : 0x%02x%02x%02x", opt.u8(8), opt.u8(9), opt.u8(10));
        }
        return;
    case 136:
        if (len < 4) break;
        node(o, opt, 0, len, "%s(0x%02x%02x) : %u", name, type, len, opt.be16(2));
        return;
    case 148:
        if (len < 4) break;
        node(o, opt, 0, len, "%s(0x%02x%02x) : %s", name, type, len,
             value_name(opt.be16(2), router_alert_values, 2, 0));
        return;
    case 68: {
        int32_t t = node(o, opt, 0, len, "%s(0x%02x%02x)", name, type, len);
        timestamp_option(t, opt, len);
        return;
    }
    default: {
        int32_t r = node(o, opt, 0, len, "%s(0x%02x%02x)", name, type, len);
        route_option(r, opt, len);
        return;
    }
    }
    // A fixed-size option whose length byte leaves no room for its fields.
    node(o, opt, 0, len, "%s(0x%02x%02x) : invalid length", name, type, len);
}

// n is the option area the header announces; options holds what of it was captured.
void walk_ip_options(int32_t parent, const Bytes& options, int n) {
    if (parent == 0 || n <= 0) return;
    int32_t o = node(parent, options, 0, n, "Options");
    int avail = options.size() < n ? options.size() : n;
    int i = 0;
    while (i < avail) {
        uint8_t type = options.u8(i);
        if (type == 0) {
            ++i;
            continue;
        }
        if (type == 1) {
            node(o, options, i, 1, "No Operation(0x01)");
            ++i;
            continue;
        }
        if (i + 2 > n) {
            node(o, options, i, n - i, "%s : no length byte at the end of the header", option_name(type));
            return;
        }
        if (i + 2 > avail) break;
        int len = options.u8(i + 1);
        if (len < 2) {  // the walk could not advance
            node(o, options, i, n - i, "%s : invalid length %d, %d bytes not decoded", option_name(type), len,
                 n - i);
            return;
        }
        if (i + len > n) {
            node(o, options, i, n - i, "%s : length %d runs past the header (%d bytes left)", option_name(type),
                 len, n - i);
            return;
        }
        if (i + len > avail) break;  // the capture ends inside this option
        option_lines(o, options.sub(i, len), type, len);
        i += len;
    }
    if (avail < n) node(o, options, i, avail - i, "Options truncated : %d of %d bytes captured", avail, n);
}

// The lines of the fixed header whose bytes are captured, up to the addresses.
void fixed_header_lines(int32_t h, const Bytes& data, int ihl) {
    if (data.has(0, 1)) {
        uint8_t b = data.u8(0);
        node(h, data, 0, 1, "Version : %u", b >> 4);
        if (ihl < IPV4_HEADER)
            node(h, data, 0, 1, "Internet Header Length : %d bytes (invalid, less than 20)", ihl);
        else
            node(h, data, 0, 1, "Internet Header Length : %d bytes", ihl);
    }
    if (data.has(1, 1)) {
        uint8_t ds = data.u8(1);
        int32_t d = node(h, data, 1, 1, "Differentiated Services Field (0x%02x)", ds);
        node(d, data, 1, 1, "%s : Differentiated services codepoint(%s)", bit_text8(ds, 0, 6),
             value_name(ds >> 2, dscp_names, 1, 0));
        node(d, data, 1, 1, "%s : Explicit Congestion Notification(%s(%u))", bit_text8(ds, 6, 2),
             lookup_name(ds & 3, ecn_names), ds & 3);
    }
    if (data.has(2, 2)) node(h, data, 2, 2, "Total Length : %u bytes", data.be16(2));
    if (data.has(4, 2)) node(h, data, 4, 2, "Identification : 0x%04X", data.be16(4));
    if (data.has(6, 1)) {
        uint8_t fl = data.u8(6);
        int32_t f = node(h, data, 6, 1, "Flags : 0x%02X", fl);
        node(f, data, 6, 1, "%s", flag_text8(fl, 1, "Don't Fragment", "May Fragment"));
        node(f, data, 6, 1, "%s", flag_text8(fl, 2, "More Fragments", "Last Fragment"));
    }
    if (data.has(6, 2)) node(h, data, 6, 2, "Fragment Offset : %d", (data.be16(6) & 0x1FFF) * 8);
    if (data.has(8, 1)) node(h, data, 8, 1, "Time to Live : %u", data.u8(8));
    if (data.has(9, 1)) node(h, data, 9, 1, "Protocol : %s(%d)", ip_protocol_name(data.u8(9)), data.u8(9));
}

void address_lines(int32_t h, const Bytes& data) {
    if (data.has(12, 4)) node(h, data, 12, 4, "Source : %s", ipv4_text(data.at(12)));
    if (data.has(16, 4)) node(h, data, 16, 4, "Destination : %s", ipv4_text(data.at(16)));
}

}  // namespace

const char* ip_protocol_name(uint32_t protocol) {
    const char* name = lookup_name(protocol, ip_protocol_names);
    if (name) return name;
    thread_local char buffers[3][16];
    thread_local int next = 0;
    char* out = buffers[next];
    next = (next + 1) % 3;
    format_textf(out, sizeof buffers[0], "0x%02X", protocol);
    return out;
}

uint16_t checksum_skip(const Bytes& data, int n, int skip_at, int skip_len) {
    if (n > data.size()) n = data.size();
    uint32_t s = 0;
    for (int i = 0; i < n; i += 2) {
        if (i >= skip_at && i < skip_at + skip_len) continue;
        // An odd last byte is the high half of a word whose low half is zero.
        s += i + 1 < n ? data.be16(i) : uint32_t(data.u8(i)) << 8;
        s = (s & 0xFFFF) + (s >> 16);
    }
    return uint16_t(~s);
}

void decode_ip_options(int32_t node_handle, Bytes options) {
    walk_ip_options(node_handle, options, options.size());
}

void decode_ipv4(int32_t parent, Bytes data) {
    DecodeContext& c = ctx();
    int ihl = (data.u8(0) & 0x0F) * 4;
    bool outermost = c.network_type == 0x0800;
    bool fixed = data.has(0, IPV4_HEADER);
    // The header is whole when its announced length is valid and captured.
    bool whole = fixed && ihl >= IPV4_HEADER && data.has(0, ihl);

    c.ftp_tracking.ip_version = 1;
    if (data.has(9, 1)) c.transport_protocol = data.u8(9);
    if (fixed) std::memcpy(c.pseudo_header + 4, data.at(12), 8);

    if (parent == 0) {
        if (outermost) {
            if (fixed && text_columns_wanted()) {
                set_column(ipv4_text(data.at(12)), 2, nullptr, 0);
                set_column(ipv4_text(data.at(16)), 3, nullptr, 0);
            }
            set_column("IP", 4, data.at(0), P_IP);
        }
    }

    // Cut before the end of the fixed header: show what is there, go no further.
    if (!fixed) {
        if (parent == 0) {
            truncated_summary("IP", data);
        } else {
            int32_t h = add_nodef(parent, data.at(0), data.size(), P_IP, "Internet Protocol");
            fixed_header_lines(h, data, ihl);
            if (data.has(10, 2))
                node(h, data, 10, 2, "Header Checksum : 0x%04X(not verified, header truncated)", data.be16(10));
            address_lines(h, data);
            truncated_line(h, data, ihl > IPV4_HEADER ? ihl : IPV4_HEADER);
        }
        return;
    }

    uint16_t total = data.be16(2);
    uint8_t protocol = data.u8(9);
    int offset = (data.be16(6) & 0x1FFF) * 8;

    if (parent == 0) {
        if (text_columns_wanted()) {
            if (ihl < IPV4_HEADER)
                set_columnf(5, nullptr, 0, "IP invalid header length %d bytes", ihl);
            else if (!whole)
                truncated_summary("IP", data);
            else
                set_columnf(5, nullptr, 0, "IP data %d octets", int(total) - ihl);
        }
    } else {
        const char* source = ipv4_text(data.at(12));
        const char* destination = ipv4_text(data.at(16));
        int covered = ihl < IPV4_HEADER ? IPV4_HEADER : ihl;
        int32_t h = add_nodef(parent, data.at(0), covered, P_IP, "Internet Protocol : %s > %s", source,
                              destination);
        fixed_header_lines(h, data, ihl);
        uint16_t field = data.be16(10);
        if (ihl < IPV4_HEADER) {
            node(h, data, 10, 2, "Header Checksum : 0x%04X(not verified, invalid header length)", field);
        } else if (!whole) {
            node(h, data, 10, 2, "Header Checksum : 0x%04X(not verified, header truncated)", field);
        } else {
            uint16_t sum = checksum_skip(data, ihl, 10, 2);
            if (sum == field)
                node(h, data, 10, 2, "Header Checksum : 0x%04X(correct)", field);
            else
                node(h, data, 10, 2, "Header Checksum : 0x%04X(incorrect,0x%04X)", field, sum);
        }
        address_lines(h, data);
        if (ihl > IPV4_HEADER) walk_ip_options(h, data.sub(IPV4_HEADER, ihl - IPV4_HEADER), ihl - IPV4_HEADER);
        if (whole && total > data.size())
            node(h, data, 0, data.size(), "Datagram truncated : %d of %u bytes captured", data.size(), total);
    }

    // A malformed or cut header leaves no sound start for the payload.
    if (!whole) return;

    int size = data.size() - ihl;
    if (int(total) - ihl < size) size = int(total) - ihl;  // padding after the datagram is not passed on
    Bytes payload = data.sub(ihl, size);

    if (offset != 0) {
        if (parent != 0) {
            int shown = size > 0 ? size : 0;
            add_nodef(ROOT_NODE, payload.at(0), shown, 0, "Fragmented datagram : %d bytes", shown);
        } else if (text_columns_wanted()) {
            set_columnf(5, nullptr, 0, "Fragmented datagram protocol=%s(%d) offset=%u", ip_protocol_name(protocol),
                        protocol, unsigned(offset));
        }
        return;
    }
    c.announced_length = int32_t(total) - ihl;
    c.more_fragments = (data.u8(6) & 0x20) ? 1 : 0;
    if (size > 0) dispatch_ip_protocol(parent, payload, protocol);
}

long announced_length(const Bytes& data) {
    const DecodeContext& c = ctx();
    if (c.more_fragments) return -1;
    long n = data.size();
    return c.announced_length > n ? c.announced_length : n;
}

void dispatch_ip_protocol(int32_t parent, Bytes data, int protocol) {
    for (const ProtocolRoute& r : protocol_routes) {
        if (r.protocol != protocol) continue;
        r.decode(parent, data);
        return;
    }
    data_line(parent, data);
}

int decode_ah(int32_t parent, Bytes data, int stop) {
    DecodeContext& c = ctx();
    uint8_t next = data.u8(0);
    if (data.has(0, 1)) c.transport_protocol = next;
    int h = data.u8(1) * 4 + 8;
    if (parent == 0) set_column("AH", 4, data.at(0), P_AH);

    // The length field must leave room for the SPI and the sequence number.
    bool have_length = data.has(1, 1);
    bool malformed = have_length && h < AH_HEADER;
    int need = have_length ? h : AH_HEADER;
    if (malformed || !data.has(0, need)) {
        if (parent == 0) {
            if (malformed && text_columns_wanted())
                set_columnf(5, nullptr, 0, "AH invalid length %d bytes", h);
            else
                truncated_summary("AH", data);
            return h;
        }
        int32_t a = add_nodef(parent, data.at(0), data.avail(0, need), P_AH, "Authentication Header");
        if (data.has(0, 1)) node(a, data, 0, 1, "Next Header : %s(0x%02X)", ip_protocol_name(next), next);
        if (malformed)
            node(a, data, 1, 1, "Length : %u (invalid, less than 12)", unsigned(h));
        else if (have_length)
            node(a, data, 1, 1, "Length : %u", unsigned(h));
        if (data.has(4, 4)) node(a, data, 4, 4, "Security Parameters Index(SPI) : 0x%08X", data.be32(4));
        if (!malformed) {
            if (data.has(8, 4)) node(a, data, 8, 4, "Sequence : 0x%08X", data.be32(8));
            truncated_line(a, data, need);
        }
        return h;
    }

    if (parent != 0) {
        int32_t a = add_nodef(parent, data.at(0), h, P_AH, "Authentication Header");
        node(a, data, 0, 1, "Next Header : %s(0x%02X)", ip_protocol_name(next), next);
        node(a, data, 1, 1, "Length : %u", unsigned(h));
        node(a, data, 4, 4, "Security Parameters Index(SPI) : 0x%08X", data.be32(4));
        node(a, data, 8, 4, "Sequence : 0x%08X", data.be32(8));
        node(a, data, 12, h - AH_HEADER, "Integrity Check Value (ICV)");
    }
    if (stop == 0 && data.size() > h) {
        DecodeContext& c = ctx();
        if (c.announced_length >= 0) c.announced_length = c.announced_length > h ? c.announced_length - h : 0;
        dispatch_ip_protocol(parent, data.from(h), next);
    }
    return h;
}

void decode_esp(int32_t parent, Bytes data) {
    if (parent == 0) {
        set_column("ESP", 4, data.at(0), P_ESP);
        if (!text_columns_wanted()) return;
        if (data.has(0, 4))
            set_columnf(5, nullptr, 0, "Security Parameters Index(SPI) : 0x%08X", data.be32(0));
        else
            truncated_summary("ESP", data);
        return;
    }
    int32_t e = add_nodef(parent, data.at(0), data.size(), P_ESP, "Encapsulating Security Payload");
    if (data.has(0, 4)) node(e, data, 0, 4, "Security Parameters Index(SPI) : 0x%08X", data.be32(0));
    if (data.has(4, 4)) node(e, data, 4, 4, "Sequence Number : 0x%08x", data.be32(4));
    if (!data.has(0, ESP_HEADER)) {
        truncated_line(e, data, ESP_HEADER);
        return;
    }
    if (data.size() >= 9) node(e, data, 8, data.size() - 8, "Data : %ld bytes", long(data.size() - 8));
}

}  // namespace zelpan
