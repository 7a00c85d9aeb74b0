// ICMP (with the Mobile IP router advertisement extensions), ICMPv6 (with the
// Neighbor Discovery options) and IGMP versions 0 to 3.
#include <cstring>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/format.h"

namespace zelpan {


namespace {

constexpr NameEntry icmp_types[] = {
    {0, "Echo Reply"}, {3, "Destination unreachable"}, {4, "Source Quench"}, {5, "Redirect"},
    {8, "Echo"}, {9, "Router Advertisement"}, {10, "Router Solicitation"}, {11, "Time Exceeded"},
    {12, "Parameter Problem"}, {13, "Timestamp"}, {14, "Timestamp Reply"}, {15, "Infomation Request"},
    {16, "Infomation Replay"}, {17, "Address Mask Request"}, {18, "Address Mask Reply"},
    {30, "Traceroute"}, {31, "Datagram Conversion Error"}, {32, "Mobile Host Redirect"},
    {33, "IPv6 Where-Are-You"}, {34, "IPv6 I-Am-Here"}, {35, "Mobile Registration Request"},
    {36, "Mobile Registration Reply"}, {37, "Domain Name Request"}, {38, "Domain Name Reply"},
    {0, nullptr},
};

constexpr const char* unreachable_codes[] = {
    "Network unreachable",
    "Host unreachable",
    "Protocol unreachable",
    "Port unreachable",
    "Fragmentation needed and don't fragment was set",
    "Source route failed",
    "Desination network unknown",
    "Destination host unknown",
    "Source host isolated",
    "Communication with destination network is administratively prohibited",
    "Communication with destination host is administratively prohibited",
    "Destination network unreachable for TOS",
    "Destination host unreachable for TOS",
    "Communication administratively filtered",
    "Host precedence violation",
    "Precedence cutoff in effect",
};
constexpr const char* redirect_codes[] = {
    "Redirect datagrams for the Network",
    "Redirect datagrams for the Host",
    "Redirect datagrams for the TOS and Network",
    "Redirect datagrams for the TOS and Host",
};
constexpr const char* time_exceeded_codes[] = {"TTL exceeded in transit", "fragment reassembly time exceeded"};
constexpr const char* parameter_problem_codes[] = {"IP header bad", "Required option missing"};

constexpr NameEntry mobile_extension_names[] = {
    {0, "One byte Padding Extension"},
    {16, "Mobility Agent Advertisement Extension"},
    {19, "Prefix Lengths Extension"},
    {24, "Mobility IP Agent Advertisement Challenge Extension"},
    {0, nullptr},
};

constexpr const char* mobility_flags[7][2] = {
    {"Registration ON", "Registration OFF"},
    {"Busy ON", "Busy OFF"},
    {"Home agent ON", "Home agent OFF"},
    {"Foreign agent ON", "Foreign agent OFF"},
    {"Minimal encapsulation ON", "Minimal encapsulation OFF"},
    {"GRE encapsulation ON", "GRE encapsulation OFF"},
    {"Van Jacobson header compression ON", "Van Jacobson header compression OFF"},
};

constexpr NameEntry icmpv6_types[] = {
    {1, "Destination Unreachable"}, {2, "Packet Too Big"}, {3, "Time Exceeded"},
    {4, "Parameter Problem"}, {128, "Echo Request"}, {129, "Echo Reply"},
    {130, "Multicast Listener Query"}, {131, "Multicast Listener Report"},
    {132, "Multicast Listener Done"}, {133, "Router Solicitation"}, {134, "Router Advertisement"},
    {135, "Neighbor Solicitation"}, {136, "Neighbor Advertisement"}, {137, "Redirect"},
    {138, "Router Renumbering"}, {139, "Node Information Query"}, {140, "Node Information Reply"},
    {0, nullptr},
};
constexpr NameEntry icmpv6_unreachable_codes[] = {
    {0, "Route unreachable"}, {1, "Administratively prohibited"}, {2, "Not a neighbor"},
    {3, "Address unreachable"}, {4, "Port unreachable"}, {0, nullptr},
};
constexpr NameEntry icmpv6_time_exceeded_codes[] = {{0, "In transit"}, {1, "Reassembly"}, {0, nullptr}};
constexpr NameEntry icmpv6_parameter_codes[] = {
    {0, "erroneous header field"}, {1, "unrecognized Next Header type"}, {2, "unrecognized IPv6 option"},
    {0, nullptr},
};
constexpr NameEntry renumbering_codes[] = {
    {0, "Command"}, {1, "Result"}, {255, "Sequence Number Reset"}, {0, nullptr},
};
constexpr NameEntry node_query_codes[] = {
    {0, "Query subject = IPv6 addresses"}, {1, "Query subject"}, {2, "Query subject = IPv4 addresses"},
    {0, nullptr},
};
constexpr NameEntry node_reply_codes[] = {
    {0, "Successful"}, {1, "Refused"}, {2, "Unknown Query Type"}, {0, nullptr},
};
constexpr const char* renumbering_flags[5][2] = {
    {"Test command", "Not test command"},
    {"Result requested", "Result not requested"},
    {"All interfaces", "Not all interfaces"},
    {"Site-specific", "Not site-specific"},
    {"Processed previously", "Complete result"},
};

constexpr NameEntry nd_option_names[] = {
    {1, "Source link-layer address"}, {2, "Target link-layer address"}, {3, "Prefix information"},
    {4, "Redirected header"}, {5, "MTU"}, {7, "Advertisement Interval"}, {8, "Home Agent Information"},
    {201, "HMIPv6 MAP option"}, {0, nullptr},
};

constexpr NameEntry igmp_types[] = {
    {1, "Create Group Request"}, {2, "Create Group Reply"}, {3, "Join Group Request"},
    {4, "Join Group Reply"}, {5, "Leave Group Request"}, {6, "Leave Group Reply"},
    {7, "Confirm Group Request"}, {8, "Confirm Group Reply"}, {17, "Membership Query"},
    {18, "Membership Report"}, {19, "DVMRP Protocol"}, {20, "PIM Routing Message"},
    {22, "Membership Report"}, {23, "Leave Group"}, {30, "Traceroute Response"},
    {31, "Traceroute Query or Request"}, {34, "Membership Report"}, {0, nullptr},
};
constexpr NameEntry igmp_group_kinds[] = {{0, "Public group"}, {1, "Private group"}, {0, nullptr}};
constexpr NameEntry igmp_reply_codes[] = {
    {0, "Request granted"}, {1, "Request denied, No resources"}, {2, "Request denied, Invalid code"},
    {3, "Request denied, Invalid group address"}, {4, "Request denied, Invalid access key"}, {0, nullptr},
};
constexpr NameEntry igmp_record_types[] = {
    {1, "Mode is include"}, {2, "Mode is exclude"}, {3, "Change to Include mode"},
    {4, "Change to Exclude mode"}, {5, "Allow new sources"}, {6, "Block old sources"}, {0, nullptr},
};

// ---- shared pieces ----

// The checksum line: a verdict only when the whole message was captured.
void checksum_line(int32_t parent, const Bytes& data, const char* label, long claimed, uint16_t computed) {
    uint16_t field = data.be16(2);
    int n = data.size();
    if (claimed < 0)
        node(parent, data, 2, 2, "%s : 0x%04X(not verified, first fragment)", label, field);
    else if (claimed > n)
        node(parent, data, 2, 2, "%s : 0x%04X(not verified, %d of %ld bytes captured)", label, field, n, claimed);
    else if (computed == field)
        node(parent, data, 2, 2, "%s : 0x%04X(correct)", label, field);
    else
        node(parent, data, 2, 2, "%s : 0x%04X(incorrect,0x%04X)", label, field, computed);
}

// A list or record that the data ends inside.
void cut_line(int32_t parent, const Bytes& data, int offset, int need, const char* what) {
    int have = data.avail(offset, need);
    node(parent, data, offset, have, "%s truncated : %d of %d bytes captured", what, have, need);
}

// ---- ICMP ----

int icmp_header_size(uint8_t t) {
    switch (t) {
    case 0: case 3: case 5: case 8: case 9: case 12:
    case 13: case 14: case 15: case 16: case 17: case 18:
        return 8;
    default:
        return 4;
    }
}

// The fixed part of the message, its body included where the body is fixed.
int icmp_fixed_size(uint8_t t) {
    switch (t) {
    case 13: case 14: return 20;
    case 17: case 18: return 12;
    default: return icmp_header_size(t);
    }
}

const char* icmp_code_name(uint8_t t, uint8_t code, bool& tabled) {
    tabled = true;
    switch (t) {
    case 3: return code < 16 ? unreachable_codes[code] : nullptr;
    case 5: return code < 4 ? redirect_codes[code] : nullptr;
    case 11: return code < 2 ? time_exceeded_codes[code] : nullptr;
    case 12: return code < 2 ? parameter_problem_codes[code] : nullptr;
    default: tabled = false; return nullptr;
    }
}

void decode_icmp_mobile_extensions(int32_t parent, const Bytes& ext) {
    int32_t x = node(parent, ext, 0, ext.size(), "IP Mobility control messages");
    int off = 0;
    while (off < ext.size()) {
        uint8_t e = ext.u8(off);
        const char* name = value_name(e, mobile_extension_names, 1, 0);
        int size = 1;
        if (e != 0) {
            if (!ext.has(off + 1, 1)) {
                cut_line(x, ext, off, 2, "Extension");
                return;
            }
            size = ext.u8(off + 1) + 2;
        }
        Bytes one = ext.sub(off, size);
        int l = size - 2;
        int32_t en = node(x, ext, off, size, "%s(%s)", "Extension", name);
        switch (e) {
        case 0:
            node(en, one, 0, 1, "Type : %s", name);
            break;
        case 16: {
            node(en, one, 0, 1, "Type : %s", name);
            node(en, one, 1, 1, "Length : %ld", (long)l);
            if (one.has(2, 2)) node(en, one, 2, 2, "Sequence Number : %u", one.be16(2));
            if (one.has(4, 2)) node(en, one, 4, 2, "Registration Lifetime : %u", one.be16(4));
            if (one.has(6, 1)) {
                uint8_t flags = one.u8(6);
                int32_t f = node(en, one, 6, 1, "Flags : 0x%02X", flags);
                for (int i = 0; i < 7; ++i)
                    node(f, one, 6, 1, "%s", flag_text8(flags, i, mobility_flags[i][0], mobility_flags[i][1]));
            }
            for (int k = 0, at = 8; k < (l - 6) / 4 && one.has(at, 4); ++k, at += 4)
                node(en, one, at, 4, "Care of Address : %s", ipv4_text(one.at(at)));
            break;
        }
        case 19:
            node(en, one, 0, 1, "Type : %s", name);
            node(en, one, 1, 1, "Length : %ld", (long)l);
            for (int k = 0; k < l && one.has(2 + k, 1); ++k)
                node(en, one, 2 + k, 1, "Prefix Length : %u", one.u8(2 + k));
            break;
        case 24:
            node(en, one, 0, 1, "Type : %s", name);
            node(en, one, 1, 1, "Length : %ld", (long)l);
            if (one.has(2, l)) node(en, one, 2, l, "Challenge : %s", hex_text(one.at(2), l, 0));
            break;
        default:
            node(en, one, 0, size, "Unknown type(%u)", e);
            break;
        }
        if (one.size() < size) {
            node(en, one, 0, one.size(), "Extension truncated : %d of %d bytes captured", one.size(), size);
            return;
        }
        off += size;
    }
}

// Type 9: the address entries, then the mobility extensions (code 16).
void router_advertisement(int32_t parent, const Bytes& data, uint8_t code) {
    int n = data.size();
    int count = data.u8(4), entry_size = data.u8(5);
    if (entry_size != 2) {
        // Entries of another size cannot be told apart from what follows them.
        node(parent, data, 8, n - 8, "Data : %ld bytes", (long)(n - 8));
        return;
    }
    int off = 8;
    for (int k = 0; k < count; ++k, off += 8) {
        if (!data.has(off, 8)) {
            cut_line(parent, data, off, (count - k) * 8, "Router Address entries");
            return;
        }
        node(parent, data, off, 4, "Router Address : %s", ipv4_text(data.at(off)));
        node(parent, data, off + 4, 4, "Preference Level : %lu", (unsigned long)data.be32(off + 4));
    }
    if (code == 16 && off < n) decode_icmp_mobile_extensions(parent, data.from(off));
}

// ---- ICMPv6 ----

int icmpv6_fixed_size(uint8_t t) {
    switch (t) {
    case 1: case 2: case 3: case 4: case 128: case 129: case 133: return 8;
    case 134: case 138: return 16;
    case 130: case 131: case 132: case 135: case 136: return 24;
    case 137: return 40;
    default: return 4;
    }
}

// The code text of a type that has code texts; nullptr for the others.
const char* icmpv6_code_text(uint8_t t, uint8_t code) {
    const NameEntry* table;
    switch (t) {
    case 1: table = icmpv6_unreachable_codes; break;
    case 3: table = icmpv6_time_exceeded_codes; break;
    case 4: table = icmpv6_parameter_codes; break;
    case 138: table = renumbering_codes; break;
    case 139: table = node_query_codes; break;
    case 140: table = node_reply_codes; break;
    default:
        return lookup_name(t, icmpv6_types) ? nullptr : "Unknown";
    }
    const char* name = lookup_name(code, table);
    return name ? name : "Unknown";
}

// Over the pseudo-header that IPv6 left behind and the message, the field left out.
uint16_t icmpv6_checksum(const Bytes& msg) {
    const uint8_t* ph = ctx().ipv6_pseudo_header;
    uint32_t s = 0;
    for (int i = 0; i < 40; i += 2) s += uint32_t(ph[i]) << 8 | ph[i + 1];
    if (s > 0xFFFF) s = (s & 0xFFFF) + (s >> 16);
    int n = msg.size();
    for (int i = 0; i < n; i += 2) {
        if (i == 2) continue;
        s += i + 1 < n ? msg.be16(i) : uint32_t(msg.u8(i)) << 8;
        s = (s & 0xFFFF) + (s >> 16);
    }
    while (s > 0xFFFF) s = (s & 0xFFFF) + (s >> 16);
    return uint16_t(~s);
}

void decode_nd_options(int32_t parent, const Bytes& opts) {
    int length = opts.size();
    if (length <= 0) return;
    int32_t o = node(parent, opts, 0, length, "Options");
    int off = 0;
    while (off < length) {
        if (!opts.has(off, 2)) {
            cut_line(o, opts, off, 2, "Option");
            return;
        }
        uint8_t y = opts.u8(off), m = opts.u8(off + 1);
        int size = m * 8;
        const char* name = lookup_name(y, nd_option_names);
        node(o, opts, off, 1, "Type : %s(%u)", name ? name : "Unknown", y);
        node(o, opts, off + 1, 1, "Length : %u bytes(%u)", size, m);
        if (size == 0) {
            // A zero length cannot advance; what follows cannot be found.
            node(o, opts, off, length - off, "Invalid option length : %d bytes not decoded", length - off);
            return;
        }
        Bytes opt = opts.sub(off, size);
        bool whole = opt.size() == size;
        switch (y) {
        case 1:
        case 2:
            if (whole) node(o, opt, 2, size - 2, "Link-layer address : %s", hex_text(opt.at(2), size - 2, ':'));
            break;
        case 3:
            if (opt.has(2, 1)) node(o, opt, 2, 1, "Prefix length : %u", opt.u8(2));
            if (opt.has(3, 1)) {
                uint8_t f = opt.u8(3);
                node(o, opt, 3, 1, "%s", flag_text8(f, 0, "On-link - ON", "On-link - OFF"));
                node(o, opt, 3, 1, "%s",
                     flag_text8(f, 1, "autonomous address-configuration - ON",
                                "autonomous address-configuration - OFF"));
            }
            if (opt.has(4, 4)) node(o, opt, 4, 4, "Valid lifetime: 0x%08x", (unsigned)opt.be32(4));
            if (opt.has(8, 4)) node(o, opt, 8, 4, "Preferred lifetime : 0x%08x", (unsigned)opt.be32(8));
            if (opt.has(16, 16)) node(o, opt, 16, 16, "Prefix : %s", ipv6_text(opt.at(16)));
            break;
        case 4:
            if (size >= 8) node(o, opt, 8, size - 8, "IP header + data : %u bytes", unsigned(size - 8));
            node(o, opt, 2, size - 2, "Data %ld bytes", (long)(size - 2));
            break;
        case 5:
            if (opt.has(4, 4)) node(o, opt, 4, 4, "MTU : %lu", (unsigned long)opt.be32(4));
            break;
        default:
            node(o, opt, 2, size - 2, "Data %ld bytes", (long)(size - 2));
            break;
        }
        if (!whole) {
            node(o, opt, 0, opt.size(), "Option truncated : %d of %d bytes captured", opt.size(), size);
            return;
        }
        off += size;
    }
}

// The type-specific lines; fixed fields when captured, the variable parts only
// when the fixed part is whole.
void icmpv6_body(int32_t v, const Bytes& data, uint8_t t, bool whole) {
    int n = data.size();
    switch (t) {
    case 2:
        if (data.has(4, 4)) node(v, data, 4, 4, "Maximum Transmission Unit(MTU) : %lu", (unsigned long)data.be32(4));
        [[fallthrough]];
    case 1:
    case 3:
        if (whole) node(v, data, 8, n - 8, "Data : %ld bytes", (long)(n - 8));
        break;
    case 4:
        if (data.has(4, 4)) node(v, data, 4, 4, "Pointer : 0x%08X", (unsigned)data.be32(4));
        if (whole) node(v, data, 8, n - 8, "Data : %ld bytes", (long)(n - 8));
        break;
    case 128:
    case 129:
        if (data.has(4, 2)) node(v, data, 4, 2, "Identifier : 0x%04X", data.be16(4));
        if (data.has(6, 2)) node(v, data, 6, 2, "Sequence Number : 0x%04X", data.be16(6));
        if (n > 8) node(v, data, 8, n - 8, "Data  %ld bytes", (long)(n - 8));
        break;
    case 130:
    case 131:
    case 132:
        if (data.has(4, 2)) node(v, data, 4, 2, "Maximum Response Delay : %u", data.be16(4));
        if (data.has(8, 16)) node(v, data, 8, 16, "Multicast Address : %s", ipv6_text(data.at(8)));
        break;
    case 133:
        if (whole) decode_nd_options(v, data.from(8));
        break;
    case 134:
        if (data.has(4, 1)) node(v, data, 4, 1, "Cur Hop Limit : %lu", (unsigned long)data.u8(4));
        if (data.has(5, 1)) {
            uint8_t f = data.u8(5);
            node(v, data, 5, 1, "%s",
                 flag_text8(f, 0, "Managed address configuration - ON", "Managed address configuration - OFF"));
            node(v, data, 5, 1, "%s",
                 flag_text8(f, 1, "Other stateful configuration - ON", "Other stateful configuration - OFF"));
        }
        if (data.has(6, 2)) node(v, data, 6, 2, "Router Lifetime : %u", data.be16(6));
        if (data.has(8, 4)) node(v, data, 8, 4, "Reachable Time : %lu", (unsigned long)data.be32(8));
        if (data.has(12, 4)) node(v, data, 12, 4, "Retrans Timer : %lu", (unsigned long)data.be32(12));
        if (whole) decode_nd_options(v, data.from(16));
        break;
    case 136:
        if (data.has(4, 1)) {
            uint8_t f = data.u8(4);
            node(v, data, 4, 1, "%s", flag_text8(f, 0, "Router - ON", "Router - OFF"));
            node(v, data, 4, 1, "%s", flag_text8(f, 1, "Solicited - ON", "Solicited - OFF"));
            node(v, data, 4, 1, "%s", flag_text8(f, 2, "Override - ON", "Override - OFF"));
        }
        [[fallthrough]];
    case 135:
        if (data.has(8, 16)) node(v, data, 8, 16, "Target Address : %s", ipv6_text(data.at(8)));
        if (whole) decode_nd_options(v, data.from(24));
        break;
    case 137:
        if (data.has(8, 16)) node(v, data, 8, 16, "Target Address : %s", ipv6_text(data.at(8)));
        if (data.has(24, 16)) node(v, data, 24, 16, "Destination Address : %s", ipv6_text(data.at(24)));
        if (whole) decode_nd_options(v, data.from(40));
        break;
    case 138:
        if (data.has(4, 4)) node(v, data, 4, 4, "SequenceNumber : 0x%08X", (unsigned)data.be32(4));
        if (data.has(8, 2)) node(v, data, 8, 2, "SegmentNumber : 0x%04x", data.be16(8));
        if (data.has(9, 1)) {
            uint8_t f = data.u8(9);
            int32_t fl = node(v, data, 9, 1, "Flags : 0x%02X", f);
            for (int i = 0; i < 5; ++i)
                node(fl, data, 9, 1, "%s", flag_text8(f, i, renumbering_flags[i][0], renumbering_flags[i][1]));
        }
        if (data.has(10, 2)) node(v, data, 10, 2, "MaxDelay : 0x%04X", data.be16(10));
        if (n >= 17) node(v, data, 16, n - 16, "Message : %ld bytes", (long)(n - 16));
        break;
    default:
        node(v, data, 4, n - 4, "Data : %u bytes", unsigned(n - 4));
        break;
    }
}

// ---- IGMP ----

int igmp_fixed_size(uint8_t t, int n) {
    if (n == 0) return 8;
    if (t <= 15) return 20;
    switch (t) {
    case 17: return n > 8 ? 12 : 8;
    case 18: case 22: case 23: case 34: return 8;
    default: return 1;
    }
}

// IGMPv3 response and interval codes: small values as they are, else a
// floating-point form of mantissa and exponent.
unsigned long igmp_time(uint8_t code) {
    if (code < 128) return code;
    return (unsigned long)((code & 0x0F) | 0x10) << (((code >> 4) & 7) + 3);
}

void igmp_time_parts(int32_t parent, const Bytes& data, int at, uint8_t code) {
    if (code < 128) return;
    node(parent, data, at, 1, "%s : Exponent(%u)", bit_text8(code, 1, 3), (code >> 4) & 7);
    node(parent, data, at, 1, "%s : Mantissa(%u)", bit_text8(code, 4, 4), code & 0x0F);
}

// Returns the bytes used, or -1 when the data ended inside the source list.
int igmpv3_query(int32_t g, const Bytes& data) {
    uint8_t mrc = data.u8(1);
    int32_t m = node(g, data, 1, 1, "Max Response Time : %lu X 0.1sec(0x%02X)", igmp_time(mrc), mrc);
    igmp_time_parts(m, data, 1, mrc);
    node(g, data, 2, 2, "Checksum : 0x%04X", data.be16(2));
    if (data.has(4, 4)) node(g, data, 4, 4, "Group Address : %s", ipv4_text(data.at(4)));
    uint8_t flags = data.u8(8);
    int32_t f = node(g, data, 8, 1, "Flags(0x%02x)", flags);
    node(f, data, 8, 1, "%s",
         flag_text8(flags, 4, "Suppress Router-Side Processing ON", "Suppress Router-Side Processing OFF"));
    node(f, data, 8, 1, "%s : Querier's Robustness(%u)", bit_text8(flags, 5, 3), flags & 7);
    if (data.has(9, 1)) {
        uint8_t qqic = data.u8(9);
        int32_t q = node(g, data, 9, 1, "Querier's Query Interval Code : %lu(0x%02x)", igmp_time(qqic), qqic);
        igmp_time_parts(q, data, 9, qqic);
    }
    if (!data.has(10, 2)) return 12;
    int count = data.be16(10);
    node(g, data, 10, 2, "Number of Sources : %ld", (long)count);
    int off = 12;
    for (int k = 0; k < count; ++k, off += 4) {
        if (!data.has(off, 4)) {
            cut_line(g, data, off, (count - k) * 4, "Source Address list");
            return -1;
        }
        node(g, data, off, 4, "Source Address : %s", ipv4_text(data.at(off)));
    }
    return off;
}

// Returns the bytes used, or -1 when the data ended inside a record.
int igmpv3_report(int32_t g, const Bytes& data) {
    if (data.has(2, 2)) node(g, data, 2, 2, "Checksum : 0x%04X", data.be16(2));
    if (!data.has(6, 2)) return 8;
    int count = data.be16(6);
    node(g, data, 6, 2, "Number of Group Records : %ld", (long)count);
    if (count == 0) return 8;
    int32_t r = node(g, data, 8, data.size() - 8, "Group Records");
    int off = 8;
    for (int k = 0; k < count; ++k) {
        if (!data.has(off, 8)) {
            cut_line(r, data, off, 8, "Group Record");
            return -1;
        }
        int aux = data.u8(off + 1), sources = data.be16(off + 2);
        int size = 8 + 4 * (aux + sources);
        if (!data.has(off, size)) {
            cut_line(r, data, off, size, "Group Record");
            return -1;
        }
        int32_t rec = node(r, data, off, size, "Group Record");
        node(rec, data, off, 1, "Record Type : %s", value_name(data.u8(off), igmp_record_types, 1, 0));
        node(rec, data, off + 1, 1, "Auxiliary Data Length : %ld X 32 bits words", (long)aux);
        node(rec, data, off + 2, 2, "Number of Sources : %ld", (long)sources);
        node(rec, data, off + 4, 4, "Multicast Address : %s", ipv4_text(data.at(off + 4)));
        for (int s = 0; s < sources; ++s)
            node(rec, data, off + 8 + 4 * s, 4, "Source Address : %s", ipv4_text(data.at(off + 8 + 4 * s)));
        if (aux > 0) node(r, data, off + 8 + 4 * sources, aux * 4, "Auxiliary Data");
        off += size;
    }
    return off;
}

}  // namespace

void decode_icmp(int32_t parent, Bytes data) {
    int n = data.size();
    uint8_t t = data.u8(0), code = data.u8(1);
    int header = n >= 1 ? icmp_header_size(t) : 4;
    int need = n >= 1 ? icmp_fixed_size(t) : 4;

    if (parent == 0) {
        set_column("ICMP", 4, data.at(0), P_ICMP);
        if (n < need)
            truncated_summary("ICMP", data);
        else if (text_columns_wanted())
            set_columnf(5, nullptr, 0, "Type : %s", value_name(t, icmp_types, 1, 0));
        return;
    }

    int32_t ic = add_nodef(parent, data.at(0), n, P_ICMP, "Internet Control Message Protocol");
    if (data.has(0, 1)) {
        if (t == 9 && data.has(1, 1) && code == 16)
            node(ic, data, 0, 1, "Type : Mobile IP Advertisement(%u)", 9);
        else
            node(ic, data, 0, 1, "Type : %s", value_name(t, icmp_types, 1, 0));
    }
    if (data.has(1, 1)) {
        bool tabled;
        const char* name = icmp_code_name(t, code, tabled);
        if (!tabled)
            node(ic, data, 1, 1, "Code : %u", code);
        else
            node(ic, data, 1, 1, "Code : %s(%u)", name ? name : "Unknown", code);
    }
    if (data.has(2, 2))
        checksum_line(ic, data, "Header Checksum", announced_length(data), checksum_skip(data, n, 2, 2));

    switch (t) {
    case 0: case 8: case 13: case 14: case 15: case 16: case 17: case 18:
        if (data.has(4, 2)) node(ic, data, 4, 2, "Identifier : 0x%04X", data.be16(4));
        if (data.has(6, 2)) node(ic, data, 6, 2, "Sequence number : 0x%02X%02X", data.u8(6), data.u8(7));
        break;
    case 3:
        if (code == 4 && data.has(6, 2)) node(ic, data, 6, 2, "MTU of next hop : %u", data.be16(6));
        break;
    case 5:
        if (data.has(4, 4)) node(ic, data, 4, 4, "Gateway Address : %s", ipv4_text(data.at(4)));
        break;
    case 9:
        if (data.has(4, 1)) node(ic, data, 4, 1, "Number of Addresses : %ld", (long)data.u8(4));
        if (data.has(5, 1)) node(ic, data, 5, 1, "Address Entry Size : %ld", (long)data.u8(5));
        if (data.has(6, 2)) node(ic, data, 6, 2, "Lifetime : %u", data.be16(6));
        break;
    case 12:
        if (data.has(4, 1)) node(ic, data, 4, 1, "Pointer : %u", data.u8(4));
        break;
    }
    if (t == 13 || t == 14) {
        if (data.has(8, 4)) node(ic, data, 8, 4, "Originate Timestamp : %lu", (unsigned long)data.be32(8));
        if (data.has(12, 4)) node(ic, data, 12, 4, "Receive Timestamp : %lu", (unsigned long)data.be32(12));
        if (data.has(16, 4)) node(ic, data, 16, 4, "Transmit Timestamp : %lu", (unsigned long)data.be32(16));
    } else if ((t == 17 || t == 18) && data.has(8, 4)) {
        node(ic, data, 8, 4, "Address Mask : %s", ipv4_text(data.at(8)));
    }
    if (n < need) {
        truncated_line(ic, data, need);
        return;
    }

    int r = n - header;
    if (r <= 0) return;
    switch (t) {
    case 0:
    case 8:
        node(ic, data, header, r, "Data : %ld bytes", (long)r);
        break;
    case 3: case 4: case 5: case 11: case 12:
        node(ic, data, header, r, "Internet Header + 64 bits of Original Data Datagram");
        break;
    case 9:
        router_advertisement(ic, data, code);
        break;
    }
}

void decode_icmpv6(int32_t parent, Bytes data) {
    int n = data.size();
    uint8_t t = data.u8(0), code = data.u8(1);
    int need = icmpv6_fixed_size(t);
    const char* type_text = lookup_name(t, icmpv6_types);

    if (parent == 0) {
        set_column("ICMPv6", 4, data.at(0), P_ICMP6);
        if (n < need)
            truncated_summary("ICMPv6", data);
        else if (text_columns_wanted() && type_text)
            set_columnf(5, nullptr, 0, "Type : %s(%u)", type_text, t);
        else if (text_columns_wanted())
            set_columnf(5, nullptr, 0, "ICMPv6 data %u octets", unsigned(n));
        return;
    }

    int32_t v = add_nodef(parent, data.at(0), n, P_ICMP6, "Internet Control Message Protocol v6");
    if (data.has(0, 1)) node(v, data, 0, 1, "Type : %s(%u)", type_text ? type_text : "Unknown", t);
    if (data.has(1, 1)) {
        const char* code_text = icmpv6_code_text(t, code);
        if (code_text)
            node(v, data, 1, 1, "Code : %s(%u)", code_text, code);
        else
            node(v, data, 1, 1, "Code : %u", code);
    }
    if (data.has(2, 2)) {
        if (ctx().ftp_tracking.ip_version != 2)
            // Carried without IPv6 there is no pseudo-header to check against.
            node(v, data, 2, 2, "Checksum : 0x%04X(not verified, no IPv6 header)", data.be16(2));
        else
            checksum_line(v, data, "Checksum", announced_length(data), icmpv6_checksum(data));
    }
    bool whole = n >= need;
    if (n >= 5) icmpv6_body(v, data, t, whole);
    if (!whole) truncated_line(v, data, need);
}

void decode_igmp(int32_t parent, Bytes data) {
    int n = data.size();
    uint8_t t = data.u8(0), code = data.u8(1);
    int need = igmp_fixed_size(t, n);
    bool whole = n >= need;

    if (parent == 0) {
        set_column("IGMP", 4, data.at(0), P_IGMP);
        if (!whole)
            truncated_summary("IGMP", data);
        else if (text_columns_wanted())
            set_columnf(5, nullptr, 0, "Type : %s", value_name(t, igmp_types, 1, 1));
        return;
    }

    int32_t g = add_nodef(parent, data.at(0), n, P_IGMP, "Internet Group Management Protocol");
    if (data.has(0, 1)) node(g, data, 0, 1, "Type : %s", value_name(t, igmp_types, 1, 1));
    long claimed = announced_length(data);
    int used = 0;
    if (t <= 15) {
        if (data.has(1, 1)) {
            if (t == 1)
                node(g, data, 1, 1, "Code : %s", value_name(code, igmp_group_kinds, 1, 0));
            else if (t & 1)
                node(g, data, 1, 1, "Code : %u", code);
            else if (code <= 4)
                node(g, data, 1, 1, "Code : %s", value_name(code, igmp_reply_codes, 1, 0));
            else
                node(g, data, 1, 1, "Code : Request pending(%u)", code);
        }
        if (data.has(2, 2)) checksum_line(g, data, "Checksum", claimed, checksum_skip(data, n, 2, 2));
        if (data.has(4, 4)) node(g, data, 4, 4, "Identifier : %lu", (unsigned long)data.be32(4));
        if (data.has(8, 4)) node(g, data, 8, 4, "Group Address : %s", ipv4_text(data.at(8)));
        if (data.has(12, 8)) node(g, data, 12, 8, "Access Key : %s", hex_text(data.at(12), 8, 0));
        used = 20;
    } else if (t == 17 && n > 8) {
        used = igmpv3_query(g, data);
    } else if ((t == 17 || t == 18) && code == 0) {
        // Version 1 carries no verdict.
        if (data.has(2, 2)) node(g, data, 2, 2, "Checksum : 0x%04X", data.be16(2));
        if (data.has(4, 4)) node(g, data, 4, 4, "Group Address : %s", ipv4_text(data.at(4)));
        used = 8;
    } else if (t == 17 || t == 18 || t == 22 || t == 23) {
        if (data.has(1, 1)) node(g, data, 1, 1, "Max Response Time : %u X 0.1sec", code);
        if (data.has(2, 2)) checksum_line(g, data, "Checksum", claimed, checksum_skip(data, n, 2, 2));
        if (data.has(4, 4)) node(g, data, 4, 4, "Group Address : %s", ipv4_text(data.at(4)));
        used = 8;
    } else if (t == 34) {
        used = igmpv3_report(g, data);
    }
    if (!whole) {
        truncated_line(g, data, need);
        return;
    }
    if (used < 0) return;  // a list the data ended inside has been shown as far as it goes
    if (n - used > 0) node(g, data, used, n - used, "Data %ld bytes", (long)(n - used));
}

}  // namespace zelpan
