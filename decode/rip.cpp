// RIP (versions 1 and 2, with the authentication entry), RIPng and EIGRP with
// its parameter and route TLVs.

#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/format.h"

namespace zelpan {

namespace {

constexpr int RIP_HEADER = 4;
constexpr int RIP_ENTRY = 20;
constexpr int EIGRP_HEADER = 20;
constexpr int TLV_HEADER = 4;

constexpr NameEntry rip_commands[] = {
    {1, "Request"}, {2, "Response"}, {3, "Traceon"}, {4, "Traceoff"}, {5, "Reserved"}, {0, nullptr},
};
constexpr NameEntry ripng_commands[] = {{1, "Request"}, {2, "Response"}, {0, nullptr}};

constexpr NameEntry eigrp_opcodes[] = {
    {5, "Hello/Acknowledge"}, {1, "Update"}, {4, "Reply"}, {3, "Query"}, {2, "Request"},
    {6, "IPX/SAP Update"}, {32, "Hello"}, {64, "Acknowledge"}, {0, nullptr},
};

constexpr NameEntry eigrp_tlv_types[] = {
    {0x0001, "General EIGRP parameters"}, {0x0002, "Authentication data"}, {0x0003, "Sequence"},
    {0x0004, "EIGRP software version"}, {0x0005, "Next Multicast Sequence"},
    {0x0102, "IP internal routes"}, {0x0103, "IP external routes"},
    {0x0202, "AppleTalk internal routes"}, {0x0203, "AppleTalk external routes"},
    {0x0204, "AppleTalk cable setup"}, {0x0302, "IPX internal routes"}, {0x0303, "IPX external routes"},
    {0, nullptr},
};

constexpr NameEntry external_protocols[] = {
    {1, "IGRP"}, {2, "EIGRP"}, {3, "Static Route"}, {4, "RIP"}, {5, "Hello"}, {6, "OSPF"},
    {7, "IS-IS"}, {8, "EGP"}, {9, "BGP"}, {10, "IDRP"}, {11, "Directly Connected"}, {0, nullptr},
};

// A route entry cut short by the capture shows the fields it holds whole, then this.
void entry_cut(int32_t n, const Bytes& e) {
    if (e.size() < RIP_ENTRY)
        node(n, e, 0, e.size(), "Entry truncated : %d of %d bytes captured", e.size(), RIP_ENTRY);
}

// The command and version lines both RIPs start with; false when the entries
// are not to be walked (fewer than 5 bytes).
bool rip_head(int32_t n, const Bytes& d, const NameEntry* commands) {
    if (d.has(0, 1)) node(n, d, 0, 1, "Command : %s", value_name(d.u8(0), commands, 1, 0));
    if (d.has(1, 1)) node(n, d, 1, 1, "Version : %u", d.u8(1));
    return d.size() >= 5;
}

void rip_summary(const Bytes& d, const char* name, int protocol, const NameEntry* commands) {
    set_column(name, 4, d.at(0), protocol);
    if (!text_columns_wanted()) return;
    if (!d.has(0, 1))
        truncated_summary(name, d);
    else
        set_columnf(5, nullptr, 0, "Command : %s", value_name(d.u8(0), commands, 1, 0));
}

void rip_entry(int32_t parent, const Bytes& e) {
    if (!e.has(0, 2)) {
        entry_cut(parent, e);
        return;
    }
    uint16_t family = e.be16(0);
    if (family != 0xFFFF && family != 2) {
        node(parent, e, 0, RIP_ENTRY, "Address Family Identifier : Unknown(0x%04X)", family);
        return;
    }
    int32_t n = node(parent, e, 0, RIP_ENTRY, "Address Family Identifier : 0x%04X", family);
    if (family == 0xFFFF) {
        if (e.has(2, 2)) node(n, e, 2, 2, "Authentication Type : %u", e.be16(2));
        if (e.has(4, 16)) node(n, e, 4, 16, "Authentication : %s", hex_text(e.at(4), 16, 0));
    } else {
        uint16_t tag = e.be16(2);
        if (e.has(2, 2) && tag != 0) node(n, e, 2, 2, "Route Tag : %u(0x%04X)", tag, tag);
        if (e.has(4, 4)) node(n, e, 4, 4, "IP : %s", ipv4_text(e.at(4)));
        if (e.has(8, 4) && e.be32(8) != 0) node(n, e, 8, 4, "Subnet Mask : %s", ipv4_text(e.at(8)));
        if (e.has(12, 4)) node(n, e, 12, 4, "Next Hop : %s", ipv4_text(e.at(12)));
        if (e.has(16, 4)) node(n, e, 16, 4, "Metric : %lu", (unsigned long)e.be32(16));
    }
    entry_cut(n, e);
}

void ripng_entry(int32_t parent, const Bytes& e) {
    int32_t n = node(parent, e, 0, RIP_ENTRY, "Route Table Entry");
    bool next_hop = e.has(19, 1) && e.u8(19) == 0xFF;
    if (next_hop) {
        node(n, e, 0, 16, "IPv6 next hop address : %s", ipv6_text(e.at(0)));
    } else {
        if (e.has(0, 16)) node(n, e, 0, 16, "IPv6 prefix : %s", ipv6_text(e.at(0)));
        if (e.has(16, 2)) node(n, e, 16, 2, "route tag : 0x%04X", e.be16(16));
    }
    if (e.has(18, 1)) node(n, e, 18, 1, "prefix length : %u", e.u8(18));
    if (e.has(19, 1)) node(n, e, 19, 1, "metric : %u", e.u8(19));
    entry_cut(n, e);
}

// ---- EIGRP TLV values ----

// How one value field is shown after its label.
enum FieldKind : uint8_t {
    F_NUMBER,     // decimal, 1 to 4 bytes
    F_HEX,        // upper-case hex without leading zeros, 1 to 4 bytes
    F_IPV4,
    F_NODE_ID,    // 6 bytes as hex pairs without separators
    F_PAIR8,      // two bytes "%u.%u"
    F_PAIR16,     // two 16-bit numbers joined by the kind's separator: "." or "-"
    F_RANGE16,
    F_PROTOCOL,   // external protocol ID by name
    F_IP_DESTINATION,  // prefix-length bits after the prefix length byte
};

struct Field {
    uint8_t at;
    uint8_t size;
    FieldKind kind;
    const char* label;  // the line up to the value
};

constexpr Field parameters[] = {
    {0, 1, F_NUMBER, "K1 : "}, {1, 1, F_NUMBER, "K2 : "}, {2, 1, F_NUMBER, "K3 : "},
    {3, 1, F_NUMBER, "K4 : "}, {4, 1, F_NUMBER, "K5 : "}, {6, 2, F_NUMBER, "Hold Time : "},
};
constexpr Field software_version[] = {
    {0, 2, F_PAIR8, "IOS Version = "}, {2, 2, F_PAIR8, "EIGRP Version = "},
};
constexpr Field multicast_sequence[] = {{0, 4, F_NUMBER, "Next Multicast Sequence : "}};

// Delay to load, the same in every route TLV but for where it starts.
#define EIGRP_METRIC(at)                                                                          \
    {uint8_t(at), 4, F_NUMBER, "Delay : "}, {uint8_t((at) + 4), 4, F_NUMBER, "Bandwidth : "},     \
    {uint8_t((at) + 8), 3, F_NUMBER, "MTU : "}, {uint8_t((at) + 11), 1, F_NUMBER, "Hop Count : "}, \
    {uint8_t((at) + 12), 1, F_NUMBER, "Reliability : "}, {uint8_t((at) + 13), 1, F_NUMBER, "Load : "}

constexpr Field ip_internal[] = {
    {0, 4, F_IPV4, "Next Hop : "},
    EIGRP_METRIC(4),
    {20, 1, F_NUMBER, "Prefix Length : "},
    {21, 0, F_IP_DESTINATION, "Destination = "},
};
constexpr Field ip_external[] = {
    {0, 4, F_IPV4, "Next Hop : "},
    {4, 4, F_IPV4, "Originating Router : "},
    {8, 4, F_NUMBER, "Originating Autonomous System : "},
    {12, 4, F_NUMBER, "Arbitrary Tag : "},
    {16, 4, F_NUMBER, "External Protocol Metric = "},
    {22, 1, F_PROTOCOL, "External Protocol ID : "},
    {23, 1, F_HEX, "Flags : 0x"},
    EIGRP_METRIC(24),
    {40, 1, F_NUMBER, "Prefix Length : "},
    {41, 0, F_IP_DESTINATION, "Destination : "},
};
constexpr Field appletalk_internal[] = {
    {0, 4, F_PAIR16, "Next Hop Address : "},
    EIGRP_METRIC(4),
    {20, 4, F_RANGE16, "Cable Range = "},
};
constexpr Field appletalk_external[] = {
    {0, 4, F_PAIR16, "Next Hop Address : "},
    {4, 4, F_NUMBER, "Originating Router ID : "},
    {8, 4, F_NUMBER, "Originating Autonomous System : "},
    {12, 4, F_NUMBER, "Arbitrary Tag : "},
    {16, 1, F_NUMBER, "External Protocol ID = "},
    {17, 1, F_NUMBER, "Flags : "},
    {18, 2, F_NUMBER, "External Protocol Metric : "},
    EIGRP_METRIC(20),
    {36, 4, F_RANGE16, "Cable Range = "},
};
constexpr Field appletalk_cable[] = {
    {0, 4, F_RANGE16, "AppleTalk Cable Range : "}, {4, 4, F_NUMBER, "AppleTalk Router ID : "},
};
constexpr Field ipx_internal[] = {
    {0, 4, F_HEX, "Next Hop Address : "},
    {4, 6, F_NODE_ID, "Next Hop ID : "},
    EIGRP_METRIC(10),
    {26, 4, F_HEX, "Destination Address = "},
};
constexpr Field ipx_external[] = {
    {0, 4, F_HEX, "Next Hop Address : "},
    {4, 6, F_NODE_ID, "Next Hop ID : "},
    {10, 6, F_NODE_ID, "Originating Router ID : "},
    {16, 4, F_NUMBER, "Originating Autonomous System : "},
    {20, 4, F_NUMBER, "Arbitrary Tag : "},
    {24, 1, F_NUMBER, "External Protocol = "},
    {26, 2, F_NUMBER, "External Metric : "},
    {28, 2, F_NUMBER, "External Delay : "},
    EIGRP_METRIC(30),
};
#undef EIGRP_METRIC

struct TlvLayout {
    uint16_t type;
    const Field* fields;
    int count;
};

template <size_t N>
constexpr TlvLayout layout(uint16_t type, const Field (&f)[N]) {
    return {type, f, int(N)};
}

constexpr TlvLayout tlv_layouts[] = {
    layout(0x0001, parameters),         layout(0x0004, software_version),
    layout(0x0005, multicast_sequence), layout(0x0102, ip_internal),
    layout(0x0103, ip_external),        layout(0x0202, appletalk_internal),
    layout(0x0203, appletalk_external), layout(0x0204, appletalk_cable),
    layout(0x0302, ipx_internal),       layout(0x0303, ipx_external),
};

// The destination of an IP route: prefix-length bits rounded up to whole bytes,
// placed in a zeroed address. A prefix longer than 32 bits still fills only the
// four bytes of the address.
void ip_destination(int32_t n, const Bytes& v, const Field& f) {
    if (!v.has(f.at - 1, 1)) return;
    int bytes = (v.u8(f.at - 1) + 7) / 8;
    if (bytes > 4) bytes = 4;
    if (!v.has(f.at, bytes)) return;
    uint8_t address[4] = {};
    for (int i = 0; i < bytes; ++i) address[i] = v.u8(f.at + i);
    node(n, v, f.at, bytes, "%s%s", f.label, ipv4_text(address));
}

void field_line(int32_t n, const Bytes& v, const Field& f) {
    if (f.kind == F_IP_DESTINATION) {
        ip_destination(n, v, f);
        return;
    }
    if (!v.has(f.at, f.size)) return;
    switch (f.kind) {
    case F_NUMBER:
        node(n, v, f.at, f.size, "%s%lu", f.label, (unsigned long)read_be(v.at(f.at), f.size));
        break;
    case F_HEX:
        node(n, v, f.at, f.size, "%s%lX", f.label, (unsigned long)read_be(v.at(f.at), f.size));
        break;
    case F_IPV4:
        node(n, v, f.at, f.size, "%s%s", f.label, ipv4_text(v.at(f.at)));
        break;
    case F_NODE_ID:
        node(n, v, f.at, f.size, "%s%s", f.label, hex_text(v.at(f.at), 6, 0));
        break;
    case F_PAIR8:
        node(n, v, f.at, f.size, "%s%u.%u", f.label, v.u8(f.at), v.u8(f.at + 1));
        break;
    case F_PAIR16:
        node(n, v, f.at, f.size, "%s%u.%u", f.label, v.be16(f.at), v.be16(f.at + 2));
        break;
    case F_RANGE16:
        node(n, v, f.at, f.size, "%s%u-%u", f.label, v.be16(f.at), v.be16(f.at + 2));
        break;
    case F_PROTOCOL:
        node(n, v, f.at, f.size, "%s%s", f.label, value_name(v.u8(f.at), external_protocols, 1, 0));
        break;
    case F_IP_DESTINATION:
        break;
    }
}

// The sequence TLV: the first address of its list, by its length.
void sequence_lines(int32_t n, const Bytes& v) {
    if (!v.has(0, 1)) return;
    int length = v.u8(0);
    node(n, v, 0, 1, "Address length : %ld", long(length));
    if (length == 4 && v.has(1, 4)) {
        node(n, v, 1, 4, "IP Address : %s", ipv4_text(v.at(1)));
    } else if (length == 10 && v.has(1, 10)) {
        node(n, v, 1, 10, "IPX Address = %lX.%s", (unsigned long)v.be32(1), hex_text(v.at(5), 6, 0));
    }
}

void tlv_value(int32_t n, uint16_t type, uint16_t length, const Bytes& v) {
    if (type == 0x0002) {
        // The authentication block is the value (type, length, key, digest): the
        // TLV's length less the four bytes of its own type and length. A capture
        // that ends inside it limits the range, not the count.
        long data = length > TLV_HEADER ? long(length - TLV_HEADER) : 0;
        node(n, v, 0, int(data), "Data : %ld bytes", data);
        return;
    }
    if (type == 0x0003) {
        sequence_lines(n, v);
        return;
    }
    for (const TlvLayout& l : tlv_layouts) {
        if (l.type != type) continue;
        for (int i = 0; i < l.count; ++i) field_line(n, v, l.fields[i]);
        return;
    }
}

const char* eigrp_opcode_text(const Bytes& d) {
    uint8_t opcode = d.u8(1);
    if (opcode == 5) return textf("Opcode : %s(0x%02x)", d.be32(12) != 0 ? "Acknowledge" : "Hello", opcode);
    return textf("Opcode : %s", value_name(opcode, eigrp_opcodes, 1, 1));
}

void eigrp_tlvs(int32_t top, const Bytes& d) {
    for (int at = EIGRP_HEADER; at < d.size();) {
        if (!d.has(at, TLV_HEADER)) {
            node(top, d, at, d.size() - at, "TLV truncated : %d of %d header bytes captured", d.size() - at,
                 TLV_HEADER);
            return;
        }
        uint16_t type = d.be16(at), length = d.be16(at + 2);
        if (length == 0) return;
        Bytes tlv = d.sub(at, length);
        const char* name = value_name(type, eigrp_tlv_types, 2, 1);
        int32_t n = node(top, tlv, 0, length, "%s", name);
        node(n, tlv, 0, 2, "Type : %s", name);
        node(n, tlv, 2, 2, "Length : %u", length);
        tlv_value(n, type, length, tlv.from(TLV_HEADER));
        if (tlv.size() < length) return;  // runs past the data
        at += length;
    }
}

}  // namespace

void decode_rip(int32_t parent, Bytes data) {
    if (parent == 0) {
        rip_summary(data, "RIP", P_RIP, rip_commands);
        return;
    }
    int32_t top = add_nodef(parent, data.at(0), data.size(), P_RIP, "Routing Information Protocol");
    if (!rip_head(top, data, rip_commands)) return;
    int entries = (data.size() + 15) / RIP_ENTRY;
    for (int i = 0; i < entries; ++i) rip_entry(top, data.sub(RIP_HEADER + i * RIP_ENTRY, RIP_ENTRY));
}

void decode_ripng(int32_t parent, Bytes data) {
    if (parent == 0) {
        rip_summary(data, "RIPng", P_RIPNG, ripng_commands);
        return;
    }
    int32_t top = add_nodef(parent, data.at(0), data.size(), P_RIPNG, "Routing Information Protocol");
    if (!rip_head(top, data, ripng_commands)) return;
    int entries = (data.size() + 15) / RIP_ENTRY;
    for (int i = 0; i < entries; ++i) ripng_entry(top, data.sub(RIP_HEADER + i * RIP_ENTRY, RIP_ENTRY));
}

void decode_eigrp(int32_t parent, Bytes data) {
    if (parent == 0) {
        set_column("EIGRP", 4, data.at(0), P_EIGRP);
        if (!text_columns_wanted()) return;
        if (!data.has(0, 2))
            truncated_summary("EIGRP", data);
        else
            set_column(eigrp_opcode_text(data), 5, nullptr, 0);
        return;
    }
    const Bytes& d = data;
    int32_t top = add_nodef(parent, d.at(0), d.size(), P_EIGRP, "Cisco Enhanced Interior Gateway Routing Protocol");
    if (d.has(0, 1)) node(top, d, 0, 1, "Version : %u", d.u8(0));
    if (d.has(1, 1)) node(top, d, 1, 1, "%s", eigrp_opcode_text(d));
    if (d.has(2, 2)) node(top, d, 2, 2, "Checksum : 0x%04X", d.be16(2));
    if (d.has(4, 4)) node(top, d, 4, 4, "Flags : 0x%08x", (unsigned)d.be32(4));
    if (d.has(8, 4)) node(top, d, 8, 4, "Sequence number : %lu", (unsigned long)d.be32(8));
    if (d.has(12, 4)) node(top, d, 12, 4, "Acknowledge number : %lu", (unsigned long)d.be32(12));
    if (d.has(16, 4)) node(top, d, 16, 4, "Autonomous System number : %lu", (unsigned long)d.be32(16));
    if (!d.has(0, EIGRP_HEADER)) {
        truncated_line(top, d, EIGRP_HEADER);
        return;
    }
    if (d.u8(1) == 6) {
        node(top, d, EIGRP_HEADER, d.size() - EIGRP_HEADER, "Data : %ld bytes", long(d.size() - EIGRP_HEADER));
        return;
    }
    eigrp_tlvs(top, d);
}

}  // namespace zelpan
