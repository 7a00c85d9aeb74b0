// IPv6: the fixed header, the extension-header walk (Hop-by-Hop and Destination
// Options with the Mobile IPv6 options, Routing, Fragment, AH) and the pseudo-header
// that the transport and ICMPv6 checksums need.
#include <cstring>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/format.h"

namespace zelpan {

// Read by the ICMP decoders (icmp.cpp): the packet now being decoded is the first
// of several fragments, so no message checksum can be verified from it.

namespace {

constexpr int IPV6_HEADER = 40;
constexpr int FRAGMENT_HEADER = 8;
constexpr int AH_FIXED = 12;  // next, length, reserved, SPI, sequence


constexpr NameEntry router_alert_names[] = {
    {0, "Multicast Listener Discovery"}, {1, "RSVP"}, {2, "Active Networks"}, {0, nullptr},
};

constexpr const char* binding_update_flags[5] = {
    "Acknowledge", "Home Registration", "Router", "Duplicate Address Detection", "MAP Registration",
};

constexpr NameEntry binding_ack_status[] = {
    {0, "- Binding Update accepted"},
    {128, "- Binding Update was rejected - Reason unspecified"},
    {130, "- Binding Update was rejected - Administratively prohibited"},
    {131, "- Binding Update was rejected - Insufficient resources"},
    {132, "- Binding Update was rejected - Home registration not supported"},
    {133, "- Binding Update was rejected - Not home subnet"},
    {136, "- Binding Update was rejected - Incorrect interface identifier length"},
    {137, "- Binding Update was rejected - Not home agent for this mobile node"},
    {138, "- Binding Update was rejected - Duplicate Address Detection failed"},
    {0, nullptr},
};

const char* binding_ack_text(uint8_t status) {
    const char* t = lookup_name(status, binding_ack_status);
    if (t) return t;
    return status > 128 ? "- Binding Update was rejected" : "";
}

// Bytes an option occupies: the fixed sizes of the Mobile IPv6 options, len + 2 for
// the others. 0 for a type that ends the walk.
int option_size(uint8_t type, uint8_t len) {
    switch (type) {
    case 1: case 5: case 194: return len + 2;
    case 7: return 13;
    case 198: return 10;
    case 201: return 18;
    case 8: return 2;
    case 2: return 4;
    case 4: return 18;
    default: return 0;
    }
}

// One option wholly inside the header and the captured bytes; opt holds exactly its bytes.
void option_lines(int32_t o, const Bytes& opt, uint8_t type, uint8_t len) {
    int size = opt.size();
    switch (type) {
    case 1:
        node(o, opt, 0, size, "PadN : %lu bytes", (unsigned long)size);
        break;
    case 5:
        if (len == 2)
            node(o, opt, 0, size, "Router Alert : %s (%lu bytes)",
                 value_name(opt.be16(2), router_alert_names, 2, 0), (unsigned long)size);
        else
            node(o, opt, 0, size, "Router Alert : %s (%lu bytes)", "Invalid length", (unsigned long)size);
        break;
    case 194:
        if (len == 4)
            node(o, opt, 0, size, "Jumbo Payload : %lu bytes", (unsigned long)opt.be32(2));
        else
            node(o, opt, 0, size, "Jumbo Payload : Invalid length (%lu bytes)", (unsigned long)size);
        break;
    case 7: {
        node(o, opt, 0, 1, "Option Type : %u(0x%02x) - Binding Acknowledgement", type, type);
        node(o, opt, 1, 1, "Option Length : %u", len);
        uint8_t status = opt.u8(2);
        node(o, opt, 2, 1, "Status : %u %s", status, binding_ack_text(status));
        node(o, opt, 3, 2, "Sequence Number : %u", opt.be16(3));
        uint32_t life = opt.be32(5);
        if (life == 0xFFFFFFFFu)
            node(o, opt, 5, 4, "Life Time : %lu - Infinity", (unsigned long)life);
        else
            node(o, opt, 5, 4, "Life Time : %lu", (unsigned long)life);
        node(o, opt, 9, 4, "Refresh : %lu", (unsigned long)opt.be32(9));
        break;
    }
    case 198: {
        node(o, opt, 0, 1, "Option Type : %u(0x%02x) - Binding Update", type, type);
        node(o, opt, 1, 1, "Option Length : %u", len);
        uint8_t flags = opt.u8(2);
        int32_t f = node(o, opt, 2, 1, "Binding Update Flags : 0x%02X", flags);
        for (int i = 0; i < 5; ++i) node(f, opt, 2, 1, "%s %s", bit_text8(flags, i, 1), binding_update_flags[i]);
        node(o, opt, 3, 1, "Prefix Length : %u", opt.u8(3));
        node(o, opt, 4, 2, "Sequence Number : %u", opt.be16(4));
        node(o, opt, 6, 4, "Life Time: %lu", (unsigned long)opt.be32(6));
        break;
    }
    case 201:
        node(o, opt, 0, 1, "Option Type : %u(0x%02x) - Home Address", type, type);
        node(o, opt, 1, 1, "Option Length : %u", len);
        node(o, opt, 2, 16, "Home Address : %s", hex_text(opt.at(2), 16, 0));
        break;
    case 8:
        node(o, opt, 0, 1, "Option Type : %u(0x%02x) - Binding Request", type, type);
        node(o, opt, 1, 1, "Option Length : %u", len);
        break;
    case 2:
        node(o, opt, 0, 1, "Sub-Option Type: %u(0x%02x) - Unique Identifier Sub-Option", type, type);
        node(o, opt, 1, 1, "Sub-Option Length : %u", len);
        node(o, opt, 2, 2, "Unique Identifier : %u", opt.be16(2));
        break;
    case 4:
        node(o, opt, 0, 1, "Sub-Option Type: %u(0x%02x) - Alternative Care Of Address", type, type);
        node(o, opt, 1, 1, "Sub-Option Length : %u", len);
        node(o, opt, 2, 16, "Alternative Care of Address : %s", hex_text(opt.at(2), 16, 0));
        break;
    }
}

// Hop-by-Hop and Destination Options. hdr runs from the header's first byte to the
// end of what is captured of the payload. Returns the header's length.
int decode_ipv6_options(int32_t parent, const Bytes& hdr, bool name) {
    int hl = hdr.has(0, 2) ? (hdr.u8(1) + 1) * 8 : 8;
    bool whole = hdr.has(0, hl);
    if (parent == 0) {
        if (name) set_column("Hop-by-Hop", 4, hdr.at(0), P_IP6OPT);
        if (!whole) truncated_summary("Hop-by-Hop", hdr);
        return hl;
    }
    Bytes h = hdr.first(hl);  // what is captured of this header
    int32_t o = add_nodef(parent, h.at(0), h.size(), P_IP6OPT, "%s Options Header", "Hop-by-Hop");
    if (h.has(0, 1)) node(o, h, 0, 1, "Next Header : %s(0x%02X)", ip_protocol_name(h.u8(0)), h.u8(0));
    if (h.has(1, 1)) node(o, h, 1, 1, "Length : %u (8-octet)", h.u8(1));
    int i = 2;
    while (i < hl && h.has(i, 1)) {
        uint8_t type = h.u8(i);
        if (type == 0) {
            node(o, h, i, 1, "Pad1");
            ++i;
            continue;
        }
        if (!h.has(i + 1, 1)) break;  // the capture ends before the length byte
        uint8_t len = h.u8(i + 1);
        int size = option_size(type, len);
        if (size == 0) break;  // an unknown type ends the list
        if (i + size > hl) {
            node(o, h, i, hl - i, "Option %u(0x%02x) : %d bytes run past the end of the header (%d left)", type,
                 type, size, hl - i);
            break;
        }
        if (!h.has(i, size)) break;
        option_lines(o, h.sub(i, size), type, len);
        i += size;
    }
    if (!whole) truncated_line(o, h, hl);
    return hl;
}

int decode_ipv6_routing(int32_t parent, const Bytes& hdr, bool name) {
    int hl = hdr.has(0, 2) ? (hdr.u8(1) + 1) * 8 : 8;
    bool whole = hdr.has(0, hl);
    if (parent == 0) {
        if (name) set_column("IPv6 Routing", 4, hdr.at(0), P_IP6ROUTE);
        if (!whole) truncated_summary("IPv6 Routing", hdr);
        return hl;
    }
    Bytes h = hdr.first(hl);
    int32_t r = add_nodef(parent, h.at(0), h.size(), P_IP6ROUTE, "Routing Header");
    if (h.has(0, 1)) node(r, h, 0, 1, "Next header : %s(0x%02x)", ip_protocol_name(h.u8(0)), h.u8(0));
    if (h.has(1, 1)) node(r, h, 1, 1, "Length : %u(%ld bytes)", h.u8(1), (long)hl);
    if (h.has(2, 1)) node(r, h, 2, 1, "Type : %u", h.u8(2));
    if (h.has(3, 1)) node(r, h, 3, 1, "Segments Left : %u", h.u8(3));
    if (h.has(2, 1) && h.u8(2) == 0 && hl <= 392) {
        long k = 0;
        for (int off = 8; off + 16 <= hl && h.has(off, 16); off += 16, ++k)
            node(r, h, off, 16, "Address %ld : %s", k, ipv6_text(h.at(off)));
    }
    if (!whole) truncated_line(r, h, hl);
    return hl;
}

int decode_ipv6_fragment(int32_t parent, const Bytes& hdr, bool name) {
    Bytes h = hdr.first(FRAGMENT_HEADER);
    bool whole = h.has(0, FRAGMENT_HEADER);
    if (parent == 0) {
        if (name) set_column("IPv6 Fragment", 4, h.at(0), P_IP6FRAG);
        if (!whole) truncated_summary("IPv6 Fragment", h);
        return FRAGMENT_HEADER;
    }
    int32_t f = add_nodef(parent, h.at(0), h.size(), P_IP6FRAG, "Fragmention Header");
    if (h.has(0, 1)) node(f, h, 0, 1, "Next header : %s(0x%02x)", ip_protocol_name(h.u8(0)), h.u8(0));
    if (h.has(2, 2)) {
        node(f, h, 2, 2, "Offset : %u", h.be16(2) & 0xFFF8u);
        node(f, h, 2, 2, "More fragments : %s", (h.u8(3) & 1) ? "Yes" : "No");
    }
    if (h.has(4, 4)) node(f, h, 4, 4, "Identification : 0x%08x", (unsigned)h.be32(4));
    if (!whole) truncated_line(f, h, FRAGMENT_HEADER);
    return FRAGMENT_HEADER;
}

void put_be32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// The upper-layer length and next header of the ICMPv6 pseudo-header.
void set_upper_layer(long length, uint8_t next) {
    uint8_t* ph = ctx().ipv6_pseudo_header;
    put_be32(ph + 32, length > 0 ? uint32_t(length) : 0);
    ph[36] = ph[37] = ph[38] = 0;
    ph[39] = next;
}

// With segments left to visit, the upper-layer checksums are taken over the last
// address of a type 0 or type 2 Routing header, the packet's final destination.
void final_destination(const Bytes& hdr, int hl) {
    if (!hdr.has(0, hl) || hl < 24 || (hl - 8) % 16 != 0) return;
    uint8_t type = hdr.u8(2);
    if ((type != 0 && type != 2) || hdr.u8(3) == 0) return;
    DecodeContext& c = ctx();
    std::memcpy(c.pseudo_header + 20, hdr.at(hl - 16), 16);
    std::memcpy(c.ipv6_pseudo_header + 16, hdr.at(hl - 16), 16);
}

}  // namespace

void decode_ipv6(int32_t parent, Bytes data) {
    DecodeContext& c = ctx();
    c.ftp_tracking.ip_version = 2;
    c.more_fragments = 0;
    // An IPv6 header inside another network layer leaves the outer one's columns.
    bool outer = c.network_type == 0x86DD;
    bool whole = data.has(0, IPV6_HEADER);

    if (whole) {
        std::memcpy(c.pseudo_header + 4, data.at(8), 32);
        std::memcpy(c.ipv6_pseudo_header, data.at(8), 32);
    } else {
        // Nothing is decoded past a cut header; leave no addresses of an earlier frame.
        std::memset(c.pseudo_header + 4, 0, 32);
        std::memset(c.ipv6_pseudo_header, 0, sizeof c.ipv6_pseudo_header);
    }
    uint16_t p = data.be16(4);
    uint8_t next = data.u8(6);

    if (parent == 0) {
        if (outer) {
            if (whole && text_columns_wanted()) {
                set_column(ipv6_text(data.at(8)), 2, nullptr, 0);
                set_column(ipv6_text(data.at(24)), 3, nullptr, 0);
            }
            set_column("IPv6", 4, data.at(0), P_IP6);
        }
        if (!whole) {
            truncated_summary("IPv6", data);
            return;
        }
        if (text_columns_wanted()) set_columnf(5, nullptr, 0, "IPv6 data %ld octets", (long)p);
    } else {
        int32_t v;
        if (whole)
            v = add_nodef(parent, data.at(0), IPV6_HEADER, P_IP6, "Internet Protocol Version 6 : %s > %s",
                          ipv6_text(data.at(8)), ipv6_text(data.at(24)));
        else
            v = add_nodef(parent, data.at(0), data.size(), P_IP6, "Internet Protocol Version 6");
        uint32_t word = data.be32(0);
        if (data.has(0, 1)) node(v, data, 0, 1, "Version : %u", data.u8(0) >> 4);
        if (data.has(0, 2)) node(v, data, 0, 2, "Traffic Class : %X", (unsigned)(data.be16(0) >> 4) & 0xFF);
        if (data.has(0, 4)) node(v, data, 0, 4, "Flow Label : 0x%05X", (unsigned)(word & 0xFFFFF));
        if (data.has(4, 2)) node(v, data, 4, 2, "Payload Length : %lu", (unsigned long)p);
        if (data.has(6, 1)) node(v, data, 6, 1, "Next Header : %s(0x%02X)", ip_protocol_name(next), next);
        if (data.has(7, 1)) node(v, data, 7, 1, "Hop Limit : %u", data.u8(7));
        if (data.has(8, 16)) node(v, data, 8, 16, "Source : %s", ipv6_text(data.at(8)));
        if (data.has(24, 16)) node(v, data, 24, 16, "Destination : %s", ipv6_text(data.at(24)));
        if (!whole) {
            truncated_line(v, data, IPV6_HEADER);
            return;
        }
    }

    // The Payload Length says how much follows; the capture may hold less (then the
    // views below simply end early) or more (link padding, which is not ours).
    // A Payload Length of 0 before a Hop-by-Hop header is a jumbogram: it runs to
    // the end of the capture.
    long remaining = (p == 0 && next == 0) ? long(data.size() - IPV6_HEADER) : long(p);
    set_upper_layer(remaining, next);
    int position = IPV6_HEADER;

    // Every header is at least 8 bytes long, so the walk ends within the payload.
    for (;;) {
        Bytes rest = data.sub(position, int(remaining > 0 ? remaining : 0));
        int h = 0, fixed = 8;
        switch (next) {
        case 0:
        case 60:
            if (remaining <= 0) return;
            h = decode_ipv6_options(parent, rest, outer);
            break;
        case 43:
            if (remaining <= 0) return;
            h = decode_ipv6_routing(parent, rest, outer);
            final_destination(rest, h);
            break;
        case 44: {
            if (remaining <= 0) return;
            h = decode_ipv6_fragment(parent, rest, outer);
            if (!rest.has(0, FRAGMENT_HEADER)) return;
            uint16_t word = rest.be16(2);
            uint8_t inner = rest.u8(0);
            if ((word & 0xFFF8) != 0) {
                // A later fragment carries the middle of a datagram, not an upper-layer header.
                c.transport_protocol = inner;
                Bytes payload = rest.from(FRAGMENT_HEADER);
                if (parent == 0) {
                    if (text_columns_wanted())
                        set_columnf(5, nullptr, 0, "Fragmented datagram protocol=%s(%d) offset=%u",
                                    ip_protocol_name(inner), inner, unsigned(word & 0xFFF8));
                } else if (payload.size() > 0) {
                    add_nodef(parent, payload.data(), payload.size(), 0, "Fragmented datagram : %d bytes",
                              payload.size());
                }
                return;
            }
            if (word & 1) c.more_fragments = 1;
            break;
        }
        case 51:
            if (remaining <= 0) return;
            h = decode_ah(parent, rest, 1);
            fixed = AH_FIXED;
            break;
        default:
            c.transport_protocol = next;
            c.announced_length = int32_t(remaining);
            if (remaining > 0) dispatch_ip_protocol(parent, rest, next);
            return;
        }
        // A header cut by the capture (or longer than the payload) has been shown
        // as far as it goes; nothing after it can be found.
        if (h < fixed || !rest.has(0, h)) return;
        next = rest.u8(0);
        remaining -= h;
        set_upper_layer(remaining, next);
        position += h;
    }
}

}  // namespace zelpan
